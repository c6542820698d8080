// CGdiObject and its kinds, with the per-thread map of temporary objects FromHandle gives.
#include "platform/afx/gdi.h"

#include <cstdlib>
#include <memory>
#include <unordered_map>

#include "platform/afx/app.h"
#include "platform/afx/dc.h"

IMPLEMENT_DYNAMIC(CGdiObject, CObject)
IMPLEMENT_DYNAMIC(CPen, CGdiObject)
IMPLEMENT_DYNAMIC(CBrush, CGdiObject)
IMPLEMENT_DYNAMIC(CFont, CGdiObject)
IMPLEMENT_DYNAMIC(CBitmap, CGdiObject)
IMPLEMENT_DYNAMIC(CRgn, CGdiObject)

namespace {

// Temporary objects never own their handle: it is detached before they go.
struct TempMap {
  std::unordered_map<HGDIOBJ, std::unique_ptr<CGdiObject>> objects;
  ~TempMap() { clear(); }
  void clear() {
    for (auto& [h, o] : objects) o->Detach();
    objects.clear();
  }
};
thread_local TempMap t_temporary;

std::unique_ptr<CGdiObject> makeFor(HGDIOBJ h) {
  switch (::GetObjectType(h)) {
    case OBJ_PEN: return std::make_unique<CPen>();
    case OBJ_BRUSH: return std::make_unique<CBrush>();
    case OBJ_FONT: return std::make_unique<CFont>();
    case OBJ_BITMAP: return std::make_unique<CBitmap>();
    case OBJ_REGION: return std::make_unique<CRgn>();
    default: return std::make_unique<CGdiObject>();
  }
}

template <class T>
T* typedTemporary(HGDIOBJ h) {
  if (!h) return nullptr;
  auto& slot = t_temporary.objects[h];
  if (!slot || !dynamic_cast<T*>(slot.get())) {
    if (slot) slot->Detach();
    slot = std::make_unique<T>();
    slot->m_hObject = h;
  }
  return static_cast<T*>(slot.get());
}

}  // namespace

// ---- CGdiObject ----

CGdiObject::~CGdiObject() { DeleteObject(); }

BOOL CGdiObject::Attach(HGDIOBJ hObject) {
  if (m_hObject || !hObject) return FALSE;
  m_hObject = hObject;
  return TRUE;
}

HGDIOBJ CGdiObject::Detach() {
  HGDIOBJ h = m_hObject;
  m_hObject = nullptr;
  return h;
}

BOOL CGdiObject::DeleteObject() {
  if (!m_hObject) return FALSE;
  return ::DeleteObject(Detach());
}

int CGdiObject::GetObject(int nCount, LPVOID lpObject) const { return ::GetObjectW(m_hObject, nCount, lpObject); }
UINT CGdiObject::GetObjectType() const { return m_hObject ? ::GetObjectType(m_hObject) : 0; }

BOOL CGdiObject::CreateStockObject(int nIndex) { return Attach(::GetStockObject(nIndex)); }

CGdiObject* PASCAL CGdiObject::FromHandle(HGDIOBJ hObject) {
  if (!hObject) return nullptr;
  auto& slot = t_temporary.objects[hObject];
  if (!slot) {
    slot = makeFor(hObject);
    slot->m_hObject = hObject;
  }
  return slot.get();
}

void PASCAL CGdiObject::DeleteTempMap() { t_temporary.clear(); }

// ---- CPen ----

CPen::CPen(int nPenStyle, int nWidth, COLORREF crColor) { CreatePen(nPenStyle, nWidth, crColor); }
BOOL CPen::CreatePen(int nPenStyle, int nWidth, COLORREF crColor) {
  return Attach(::CreatePen(nPenStyle, nWidth, crColor));
}
BOOL CPen::CreatePenIndirect(LPLOGPEN lpLogPen) { return Attach(::CreatePenIndirect(lpLogPen)); }
int CPen::GetLogPen(LOGPEN* pLogPen) const { return ::GetObjectW(m_hObject, sizeof(LOGPEN), pLogPen); }
CPen* PASCAL CPen::FromHandle(HPEN hPen) { return typedTemporary<CPen>(hPen); }

// ---- CBrush ----

CBrush::CBrush(COLORREF crColor) { CreateSolidBrush(crColor); }
CBrush::CBrush(int nIndex, COLORREF crColor) { CreateHatchBrush(nIndex, crColor); }
CBrush::CBrush(CBitmap* pBitmap) { CreatePatternBrush(pBitmap); }
BOOL CBrush::CreateSolidBrush(COLORREF crColor) { return Attach(::CreateSolidBrush(crColor)); }
BOOL CBrush::CreateHatchBrush(int nIndex, COLORREF crColor) { return Attach(::CreateHatchBrush(nIndex, crColor)); }
BOOL CBrush::CreatePatternBrush(CBitmap* pBitmap) {
  return pBitmap && Attach(::CreatePatternBrush(static_cast<HBITMAP>(pBitmap->m_hObject)));
}
BOOL CBrush::CreateBrushIndirect(const LOGBRUSH* lpLogBrush) { return Attach(::CreateBrushIndirect(lpLogBrush)); }
BOOL CBrush::CreateSysColorBrush(int nIndex) { return Attach(::GetSysColorBrush(nIndex)); }
int CBrush::GetLogBrush(LOGBRUSH* pLogBrush) const { return ::GetObjectW(m_hObject, sizeof(LOGBRUSH), pLogBrush); }
CBrush* PASCAL CBrush::FromHandle(HBRUSH hBrush) { return typedTemporary<CBrush>(hBrush); }

// ---- CFont ----

BOOL CFont::CreateFont(int nHeight, int nWidth, int nEscapement, int nOrientation, int nWeight, BYTE bItalic,
                       BYTE bUnderline, BYTE cStrikeOut, BYTE nCharSet, BYTE nOutPrecision, BYTE nClipPrecision,
                       BYTE nQuality, BYTE nPitchAndFamily, LPCWSTR lpszFacename) {
  return Attach(::CreateFontW(nHeight, nWidth, nEscapement, nOrientation, nWeight, bItalic, bUnderline, cStrikeOut,
                              nCharSet, nOutPrecision, nClipPrecision, nQuality, nPitchAndFamily, lpszFacename));
}

BOOL CFont::CreateFontIndirect(const LOGFONTW* lpLogFont) { return Attach(::CreateFontIndirectW(lpLogFont)); }

BOOL CFont::CreatePointFont(int nPointSize, LPCWSTR lpszFaceName, CDC* pDC) {
  LOGFONTW lf{};
  lf.lfCharSet = DEFAULT_CHARSET;
  lf.lfHeight = nPointSize;
  for (int i = 0; lpszFaceName && lpszFaceName[i] && i < LF_FACESIZE - 1; ++i) lf.lfFaceName[i] = lpszFaceName[i];
  return CreatePointFontIndirect(&lf, pDC);
}

BOOL CFont::CreatePointFontIndirect(const LOGFONTW* lpLogFont, CDC* pDC) {
  if (!lpLogFont) return FALSE;
  LOGFONTW lf = *lpLogFont;
  HDC dc = pDC ? pDC->m_hDC : nullptr;
  HDC screen = dc ? nullptr : ::GetDC(nullptr);
  int dpi = ::GetDeviceCaps(dc ? dc : screen, LOGPIXELSY);
  if (screen) ::ReleaseDC(nullptr, screen);
  // Tenths of a point to a (negative) character height in pixels.
  lf.lfHeight = -std::abs(::MulDiv(lf.lfHeight, dpi, 720));
  return CreateFontIndirect(&lf);
}

int CFont::GetLogFont(LOGFONTW* pLogFont) const { return ::GetObjectW(m_hObject, sizeof(LOGFONTW), pLogFont); }
CFont* PASCAL CFont::FromHandle(HFONT hFont) { return typedTemporary<CFont>(hFont); }

// ---- CBitmap ----

BOOL CBitmap::LoadBitmap(UINT nIDResource) { return LoadBitmap(MAKEINTRESOURCEW(nIDResource)); }
BOOL CBitmap::LoadBitmap(LPCWSTR lpszResourceName) {
  HINSTANCE module = AfxFindResourceHandle(lpszResourceName, RT_BITMAP);
  return Attach(::LoadBitmapW(module, lpszResourceName));
}
BOOL CBitmap::LoadOEMBitmap(UINT nIDBitmap) { return Attach(::LoadBitmapW(nullptr, MAKEINTRESOURCEW(nIDBitmap))); }
BOOL CBitmap::CreateBitmap(int nWidth, int nHeight, UINT nPlanes, UINT nBitcount, const void* lpBits) {
  return Attach(::CreateBitmap(nWidth, nHeight, nPlanes, nBitcount, lpBits));
}
BOOL CBitmap::CreateBitmapIndirect(LPBITMAP lpBitmap) { return Attach(::CreateBitmapIndirect(lpBitmap)); }
BOOL CBitmap::CreateCompatibleBitmap(CDC* pDC, int nWidth, int nHeight) {
  return Attach(::CreateCompatibleBitmap(pDC ? pDC->m_hDC : nullptr, nWidth, nHeight));
}
BOOL CBitmap::CreateDiscardableBitmap(CDC* pDC, int nWidth, int nHeight) {
  return CreateCompatibleBitmap(pDC, nWidth, nHeight);
}
int CBitmap::GetBitmap(BITMAP* pBitMap) const { return ::GetObjectW(m_hObject, sizeof(BITMAP), pBitMap); }
DWORD CBitmap::GetBitmapBits(DWORD dwCount, LPVOID lpBits) const {
  return static_cast<DWORD>(::GetBitmapBits(static_cast<HBITMAP>(m_hObject), static_cast<LONG>(dwCount), lpBits));
}
CSize CBitmap::GetBitmapDimension() const {
  SIZE s{0, 0};
  ::GetBitmapDimensionEx(static_cast<HBITMAP>(m_hObject), &s);
  return CSize(s);
}
CBitmap* PASCAL CBitmap::FromHandle(HBITMAP hBitmap) { return typedTemporary<CBitmap>(hBitmap); }

// ---- CRgn ----

BOOL CRgn::CreateRectRgn(int x1, int y1, int x2, int y2) { return Attach(::CreateRectRgn(x1, y1, x2, y2)); }
BOOL CRgn::CreateRectRgnIndirect(LPCRECT lpRect) { return Attach(::CreateRectRgnIndirect(lpRect)); }
BOOL CRgn::CreateEllipticRgn(int x1, int y1, int x2, int y2) { return Attach(::CreateEllipticRgn(x1, y1, x2, y2)); }
BOOL CRgn::CreateEllipticRgnIndirect(LPCRECT lpRect) {
  return lpRect && CreateEllipticRgn(lpRect->left, lpRect->top, lpRect->right, lpRect->bottom);
}
BOOL CRgn::CreateRoundRectRgn(int x1, int y1, int x2, int y2, int x3, int y3) {
  return Attach(::CreateRoundRectRgn(x1, y1, x2, y2, x3, y3));
}
BOOL CRgn::CreatePolygonRgn(LPPOINT lpPoints, int nCount, int nMode) {
  return Attach(::CreatePolygonRgn(lpPoints, nCount, nMode));
}
int CRgn::CombineRgn(const CRgn* pRgn1, const CRgn* pRgn2, int nCombineMode) {
  return ::CombineRgn(static_cast<HRGN>(m_hObject), pRgn1 ? static_cast<HRGN>(pRgn1->m_hObject) : nullptr,
                      pRgn2 ? static_cast<HRGN>(pRgn2->m_hObject) : nullptr, nCombineMode);
}
int CRgn::CopyRgn(const CRgn* pRgnSrc) { return CombineRgn(pRgnSrc, nullptr, RGN_COPY); }
BOOL CRgn::EqualRgn(const CRgn* pRgn) const {
  return pRgn && ::EqualRgn(static_cast<HRGN>(m_hObject), static_cast<HRGN>(pRgn->m_hObject));
}
int CRgn::OffsetRgn(int x, int y) { return ::OffsetRgn(static_cast<HRGN>(m_hObject), x, y); }
int CRgn::GetRgnBox(LPRECT lpRect) const { return ::GetRgnBox(static_cast<HRGN>(m_hObject), lpRect); }
BOOL CRgn::PtInRegion(int x, int y) const { return ::PtInRegion(static_cast<HRGN>(m_hObject), x, y); }
void CRgn::SetRectRgn(int x1, int y1, int x2, int y2) { ::SetRectRgn(static_cast<HRGN>(m_hObject), x1, y1, x2, y2); }
void CRgn::SetRectRgn(LPCRECT lpRect) {
  if (lpRect) SetRectRgn(lpRect->left, lpRect->top, lpRect->right, lpRect->bottom);
}
CRgn* PASCAL CRgn::FromHandle(HRGN hRgn) { return typedTemporary<CRgn>(hRgn); }

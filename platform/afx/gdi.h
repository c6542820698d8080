// The framework's drawing objects: CGdiObject owning one GDI handle (deleted with the object
// unless detached), and its kinds CPen, CBrush, CFont, CBitmap and CRgn.
//
// FromHandle gives a temporary object for a handle the caller does not own (from SelectObject,
// GetCurrentFont, ...): it never deletes the handle and lives until the thread's next idle time
// (CDC::DeleteTempMap), as the class library's temporary objects do.
#pragma once

#include "platform/afx/geometry.h"
#include "platform/afx/object.h"
#include "platform/win32/gdi.h"
#include "platform/win32/window.h"

class CDC;

class CGdiObject : public CObject {
  DECLARE_DYNAMIC(CGdiObject)

 public:
  CGdiObject() = default;
  ~CGdiObject() override;
  CGdiObject(const CGdiObject&) = delete;
  CGdiObject& operator=(const CGdiObject&) = delete;

  HGDIOBJ m_hObject = nullptr;

  operator HGDIOBJ() const { return m_hObject; }  // NOLINT: the class library converts implicitly
  HGDIOBJ GetSafeHandle() const { return m_hObject; }
  // FALSE when this object holds a handle already or hObject is null.
  BOOL Attach(HGDIOBJ hObject);
  HGDIOBJ Detach();
  // Deletes the handle (FALSE when there is none or GDI refuses).
  BOOL DeleteObject();
  int GetObject(int nCount, LPVOID lpObject) const;
  UINT GetObjectType() const;
  BOOL CreateStockObject(int nIndex);
  BOOL UnrealizeObject() { return m_hObject != nullptr; }

  static CGdiObject* PASCAL FromHandle(HGDIOBJ hObject);
  static void PASCAL DeleteTempMap();
};

class CPen : public CGdiObject {
  DECLARE_DYNAMIC(CPen)

 public:
  CPen() = default;
  CPen(int nPenStyle, int nWidth, COLORREF crColor);
  operator HPEN() const { return static_cast<HPEN>(m_hObject); }  // NOLINT
  BOOL CreatePen(int nPenStyle, int nWidth, COLORREF crColor);
  BOOL CreatePenIndirect(LPLOGPEN lpLogPen);
  int GetLogPen(LOGPEN* pLogPen) const;
  static CPen* PASCAL FromHandle(HPEN hPen);
};

class CBitmap;

class CBrush : public CGdiObject {
  DECLARE_DYNAMIC(CBrush)

 public:
  CBrush() = default;
  explicit CBrush(COLORREF crColor);
  CBrush(int nIndex, COLORREF crColor);
  explicit CBrush(CBitmap* pBitmap);
  operator HBRUSH() const { return static_cast<HBRUSH>(m_hObject); }  // NOLINT
  BOOL CreateSolidBrush(COLORREF crColor);
  BOOL CreateHatchBrush(int nIndex, COLORREF crColor);
  BOOL CreatePatternBrush(CBitmap* pBitmap);
  BOOL CreateBrushIndirect(const LOGBRUSH* lpLogBrush);
  BOOL CreateSysColorBrush(int nIndex);
  int GetLogBrush(LOGBRUSH* pLogBrush) const;
  static CBrush* PASCAL FromHandle(HBRUSH hBrush);
};

class CFont : public CGdiObject {
  DECLARE_DYNAMIC(CFont)

 public:
  operator HFONT() const { return static_cast<HFONT>(m_hObject); }  // NOLINT
  BOOL CreateFont(int nHeight, int nWidth, int nEscapement, int nOrientation, int nWeight, BYTE bItalic,
                  BYTE bUnderline, BYTE cStrikeOut, BYTE nCharSet, BYTE nOutPrecision, BYTE nClipPrecision,
                  BYTE nQuality, BYTE nPitchAndFamily, LPCWSTR lpszFacename);
  BOOL CreateFontIndirect(const LOGFONTW* lpLogFont);
  // nPointSize in tenths of a point; the height follows the DC's (else the screen's) LOGPIXELSY.
  BOOL CreatePointFont(int nPointSize, LPCWSTR lpszFaceName, CDC* pDC = nullptr);
  // lfHeight in tenths of a point.
  BOOL CreatePointFontIndirect(const LOGFONTW* lpLogFont, CDC* pDC = nullptr);
  int GetLogFont(LOGFONTW* pLogFont) const;
  static CFont* PASCAL FromHandle(HFONT hFont);
};

class CBitmap : public CGdiObject {
  DECLARE_DYNAMIC(CBitmap)

 public:
  operator HBITMAP() const { return static_cast<HBITMAP>(m_hObject); }  // NOLINT
  // From the resource chain (AfxFindResourceHandle).
  BOOL LoadBitmap(UINT nIDResource);
  BOOL LoadBitmap(LPCWSTR lpszResourceName);
  BOOL LoadOEMBitmap(UINT nIDBitmap);
  BOOL CreateBitmap(int nWidth, int nHeight, UINT nPlanes, UINT nBitcount, const void* lpBits);
  BOOL CreateBitmapIndirect(LPBITMAP lpBitmap);
  BOOL CreateCompatibleBitmap(CDC* pDC, int nWidth, int nHeight);
  BOOL CreateDiscardableBitmap(CDC* pDC, int nWidth, int nHeight);
  int GetBitmap(BITMAP* pBitMap) const;
  DWORD GetBitmapBits(DWORD dwCount, LPVOID lpBits) const;
  CSize GetBitmapDimension() const;
  static CBitmap* PASCAL FromHandle(HBITMAP hBitmap);
};

class CRgn : public CGdiObject {
  DECLARE_DYNAMIC(CRgn)

 public:
  operator HRGN() const { return static_cast<HRGN>(m_hObject); }  // NOLINT
  BOOL CreateRectRgn(int x1, int y1, int x2, int y2);
  BOOL CreateRectRgnIndirect(LPCRECT lpRect);
  BOOL CreateEllipticRgn(int x1, int y1, int x2, int y2);
  BOOL CreateEllipticRgnIndirect(LPCRECT lpRect);
  BOOL CreateRoundRectRgn(int x1, int y1, int x2, int y2, int x3, int y3);
  BOOL CreatePolygonRgn(LPPOINT lpPoints, int nCount, int nMode);
  int CombineRgn(const CRgn* pRgn1, const CRgn* pRgn2, int nCombineMode);
  int CopyRgn(const CRgn* pRgnSrc);
  BOOL EqualRgn(const CRgn* pRgn) const;
  int OffsetRgn(int x, int y);
  int OffsetRgn(POINT point) { return OffsetRgn(point.x, point.y); }
  int GetRgnBox(LPRECT lpRect) const;
  BOOL PtInRegion(int x, int y) const;
  BOOL PtInRegion(POINT point) const { return PtInRegion(point.x, point.y); }
  void SetRectRgn(int x1, int y1, int x2, int y2);
  void SetRectRgn(LPCRECT lpRect);
  static CRgn* PASCAL FromHandle(HRGN hRgn);
};

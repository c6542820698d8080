// CDC and its kinds: the device-context wrappers the window classes hand to their handlers
// (OnEraseBkgnd, OnCtlColor, OnDraw, DrawItem) and that painting code makes for itself:
// CPaintDC (BeginPaint/EndPaint), CClientDC (GetDC/ReleaseDC), CWindowDC (GetWindowDC/ReleaseDC).
// The drawing members pass straight to the calls of platform/win32/gdi.h; SelectObject returns
// the previous object as a temporary framework object (see platform/afx/gdi.h).
#pragma once

#include "platform/afx/cstring.h"
#include "platform/afx/gdi.h"
#include "platform/afx/geometry.h"
#include "platform/afx/object.h"
#include "platform/win32/gdi.h"
#include "platform/win32/window.h"

class CWnd;

class CDC : public CObject {
  DECLARE_DYNAMIC(CDC)

 public:
  CDC() = default;
  // Deletes a DC this object created (CreateCompatibleDC, CreateDC); an attached one is left.
  ~CDC() override;
  CDC(const CDC&) = delete;
  CDC& operator=(const CDC&) = delete;

  HDC m_hDC = nullptr;
  HDC m_hAttribDC = nullptr;

  HDC GetSafeHdc() const { return m_hDC; }
  operator HDC() const { return m_hDC; }  // NOLINT: the class library converts implicitly
  BOOL Attach(HDC hDC);
  HDC Detach();

  // A temporary object for a handle (null for a null handle), valid until the thread's next
  // idle time, as CWnd::FromHandle's objects are. DeleteTempMap also drops the temporary
  // drawing objects of platform/afx/gdi.h.
  static CDC* PASCAL FromHandle(HDC hDC);
  static void PASCAL DeleteTempMap();

  // ---- Making and ending ----
  BOOL CreateCompatibleDC(CDC* pDC);
  BOOL CreateDC(LPCWSTR lpszDriverName, LPCWSTR lpszDeviceName, LPCWSTR lpszOutput, const void* lpInitData);
  BOOL DeleteDC();
  int SaveDC();
  BOOL RestoreDC(int nSavedDC);
  CWnd* GetWindow() const;
  int GetDeviceCaps(int nIndex) const;

  // ---- Objects ----
  CPen* SelectObject(CPen* pPen);
  CBrush* SelectObject(CBrush* pBrush);
  CFont* SelectObject(CFont* pFont);
  CBitmap* SelectObject(CBitmap* pBitmap);
  CGdiObject* SelectObject(CGdiObject* pObject);
  // A region becomes the clipping region; returns the region kind.
  int SelectObject(CRgn* pRgn);
  HGDIOBJ SelectObject(HGDIOBJ hObject);
  CGdiObject* SelectStockObject(int nIndex);
  CPen* GetCurrentPen() const;
  CBrush* GetCurrentBrush() const;
  CFont* GetCurrentFont() const;
  CBitmap* GetCurrentBitmap() const;

  // ---- Attributes ----
  COLORREF SetTextColor(COLORREF crColor);
  COLORREF GetTextColor() const;
  COLORREF SetBkColor(COLORREF crColor);
  COLORREF GetBkColor() const;
  int SetBkMode(int nBkMode);
  int GetBkMode() const;
  int SetStretchBltMode(int nStretchMode);
  int GetStretchBltMode() const;
  int SetROP2(int nDrawMode);
  UINT SetTextAlign(UINT nFlags);
  CPoint SetViewportOrg(int x, int y);
  CPoint SetViewportOrg(POINT point) { return SetViewportOrg(point.x, point.y); }
  CPoint GetViewportOrg() const;
  CPoint OffsetViewportOrg(int nWidth, int nHeight);
  CPoint SetBrushOrg(int x, int y);

  // ---- Clipping ----
  int SelectClipRgn(CRgn* pRgn);
  int IntersectClipRect(int x1, int y1, int x2, int y2);
  int IntersectClipRect(LPCRECT lpRect);
  int ExcludeClipRect(int x1, int y1, int x2, int y2);
  int ExcludeClipRect(LPCRECT lpRect);
  int GetClipBox(LPRECT lpRect) const;

  // ---- Bitmaps ----
  BOOL BitBlt(int x, int y, int nWidth, int nHeight, CDC* pSrcDC, int xSrc, int ySrc, DWORD dwRop);
  BOOL StretchBlt(int x, int y, int nWidth, int nHeight, CDC* pSrcDC, int xSrc, int ySrc, int nSrcWidth,
                  int nSrcHeight, DWORD dwRop);
  BOOL TransparentBlt(int xDest, int yDest, int nDestWidth, int nDestHeight, CDC* pSrcDC, int xSrc, int ySrc,
                      int nSrcWidth, int nSrcHeight, UINT clrTransparent);
  BOOL PatBlt(int x, int y, int nWidth, int nHeight, DWORD dwRop);
  COLORREF GetPixel(int x, int y) const;
  COLORREF GetPixel(POINT point) const { return GetPixel(point.x, point.y); }
  COLORREF SetPixel(int x, int y, COLORREF crColor);
  COLORREF SetPixel(POINT point, COLORREF crColor) { return SetPixel(point.x, point.y, crColor); }

  // ---- Shapes ----
  void FillRect(LPCRECT lpRect, CBrush* pBrush);
  void FrameRect(LPCRECT lpRect, CBrush* pBrush);
  void InvertRect(LPCRECT lpRect);
  void FillSolidRect(LPCRECT lpRect, COLORREF clr);
  void FillSolidRect(int x, int y, int cx, int cy, COLORREF clr);
  void Draw3dRect(LPCRECT lpRect, COLORREF clrTopLeft, COLORREF clrBottomRight);
  void Draw3dRect(int x, int y, int cx, int cy, COLORREF clrTopLeft, COLORREF clrBottomRight);
  void DrawFocusRect(LPCRECT lpRect);
  BOOL DrawEdge(LPRECT lpRect, UINT nEdge, UINT nFlags);
  BOOL DrawFrameControl(LPRECT lpRect, UINT nType, UINT nState);
  BOOL Rectangle(int x1, int y1, int x2, int y2);
  BOOL Rectangle(LPCRECT lpRect);
  BOOL RoundRect(int x1, int y1, int x2, int y2, int x3, int y3);
  BOOL RoundRect(LPCRECT lpRect, POINT point);
  BOOL Ellipse(int x1, int y1, int x2, int y2);
  BOOL Ellipse(LPCRECT lpRect);
  CPoint MoveTo(int x, int y);
  CPoint MoveTo(POINT point) { return MoveTo(point.x, point.y); }
  BOOL LineTo(int x, int y);
  BOOL LineTo(POINT point) { return LineTo(point.x, point.y); }
  BOOL Polyline(const POINT* lpPoints, int nCount);
  BOOL Polygon(const POINT* lpPoints, int nCount);
  BOOL FillRgn(CRgn* pRgn, CBrush* pBrush);
  BOOL FrameRgn(CRgn* pRgn, CBrush* pBrush, int nWidth, int nHeight);
  BOOL PaintRgn(CRgn* pRgn);
  BOOL DrawIcon(int x, int y, HICON hIcon);
  BOOL DrawIcon(POINT point, HICON hIcon) { return DrawIcon(point.x, point.y, hIcon); }

  // ---- Text ----
  int DrawText(LPCWSTR lpszString, int nCount, LPRECT lpRect, UINT nFormat);
  int DrawText(const CString& str, LPRECT lpRect, UINT nFormat);
  BOOL TextOut(int x, int y, LPCWSTR lpszString, int nCount);
  BOOL TextOut(int x, int y, const CString& str);
  BOOL ExtTextOut(int x, int y, UINT nOptions, LPCRECT lpRect, LPCWSTR lpszString, UINT nCount, LPINT lpDxWidths);
  BOOL ExtTextOut(int x, int y, UINT nOptions, LPCRECT lpRect, const CString& str, LPINT lpDxWidths);
  CSize GetTextExtent(LPCWSTR lpszString, int nCount) const;
  CSize GetTextExtent(const CString& str) const;
  CSize GetOutputTextExtent(LPCWSTR lpszString, int nCount) const { return GetTextExtent(lpszString, nCount); }
  CSize GetOutputTextExtent(const CString& str) const { return GetTextExtent(str); }
  BOOL GetTextMetrics(LPTEXTMETRICW lpMetrics) const;
  int GetTextFace(int nCount, LPWSTR lpszFacename) const;

 protected:
  bool m_owned = false;  // this object made the DC and deletes it
};

// BeginPaint in the constructor, EndPaint in the destructor.
class CPaintDC : public CDC {
  DECLARE_DYNAMIC(CPaintDC)

 public:
  explicit CPaintDC(CWnd* pWnd);
  ~CPaintDC() override;

  PAINTSTRUCT m_ps{};

 protected:
  HWND m_hWnd = nullptr;
};

// GetDC in the constructor (a null window: the screen), ReleaseDC in the destructor.
class CClientDC : public CDC {
  DECLARE_DYNAMIC(CClientDC)

 public:
  explicit CClientDC(CWnd* pWnd);
  ~CClientDC() override;

 protected:
  HWND m_hWnd = nullptr;
};

// GetWindowDC in the constructor (a null window: the screen), ReleaseDC in the destructor.
class CWindowDC : public CDC {
  DECLARE_DYNAMIC(CWindowDC)

 public:
  explicit CWindowDC(CWnd* pWnd);
  ~CWindowDC() override;

 protected:
  HWND m_hWnd = nullptr;
};

// System metrics and colours, device capabilities, the fixed font metrics, and the fonts that
// controls and dialogs keep (WM_SETFONT / WM_GETFONT).
#include <algorithm>
#include <string>

#include "platform/base/text.h"
#include "platform/host/host.h"
#include "platform/win32/error.h"
#include "platform/win32/gdi.h"
#include "platform/win32/gdi_internal.h"
#include "platform/win32/shell.h"
#include "platform/win32/window.h"

namespace platform::gdi::detail {

namespace {

bool wide(char16_t c) {
  return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) || (c >= 0xAC00 && c <= 0xD7A3) ||
         (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
         (c >= 0xFFE0 && c <= 0xFFE6);
}

}  // namespace

FontMetrics metricsOf(const LOGFONTW& lf) {
  FontMetrics m;
  int charHeight;
  if (lf.lfHeight == 0) {
    m.height = 13;
    charHeight = 11;
  } else if (lf.lfHeight > 0) {
    m.height = lf.lfHeight;
    charHeight = m.height * 11 / 13;
  } else {
    charHeight = -lf.lfHeight;
    m.height = (charHeight * 13 + 10) / 11;
  }
  m.height = std::max(m.height, 1);
  charHeight = std::clamp(charHeight, 0, m.height);
  m.internalLeading = m.height - charHeight;
  m.descent = m.height / 5;
  m.ascent = m.height - m.descent;
  m.charWidth = lf.lfWidth > 0 ? lf.lfWidth : std::max(1, (m.height * 6 + 6) / 13);
  if (lf.lfWeight >= FW_BOLD) m.charWidth += 1;
  return m;
}

const LOGFONTW& defaultGuiFont() {
  static const LOGFONTW lf = [] {
    LOGFONTW f{};
    f.lfHeight = -11;
    f.lfWeight = FW_NORMAL;
    f.lfCharSet = DEFAULT_CHARSET;
    std::u16string_view face = u"MS Shell Dlg";
    std::copy(face.begin(), face.end(), f.lfFaceName);
    return f;
  }();
  return lf;
}

int charWidth(const FontMetrics& m, char16_t c) { return wide(c) ? 2 * m.charWidth : m.charWidth; }

int widthOf(const FontMetrics& m, std::u16string_view s) {
  int w = 0;
  for (char16_t c : s) w += charWidth(m, c);
  return w;
}

}  // namespace platform::gdi::detail

using namespace platform::gdi::detail;
using Guard = std::lock_guard<std::recursive_mutex>;

// ---- System metrics ----

namespace {

RECT workArea() {
  SIZE s = screenSizeFromFacts();
  std::string edge = platform::host::Host::current().fact(platform::host::fact::TaskbarPosition);
  const LONG t = platform::shell::kTaskbarThickness;
  if (edge == "top") return RECT{0, t, s.cx, s.cy};
  if (edge == "left") return RECT{t, 0, s.cx, s.cy};
  if (edge == "right") return RECT{0, 0, s.cx - t, s.cy};
  return RECT{0, 0, s.cx, s.cy - t};
}

}  // namespace

int GetSystemMetrics(int nIndex) {
  switch (nIndex) {
    case SM_CXSCREEN:
    case SM_CXVIRTUALSCREEN: return screenSizeFromFacts().cx;
    case SM_CYSCREEN:
    case SM_CYVIRTUALSCREEN: return screenSizeFromFacts().cy;
    case SM_XVIRTUALSCREEN:
    case SM_YVIRTUALSCREEN: return 0;
    case SM_CXFULLSCREEN: {
      RECT w = workArea();
      return w.right - w.left;
    }
    case SM_CYFULLSCREEN: {
      RECT w = workArea();
      return w.bottom - w.top - 19;
    }
    case SM_CXMAXIMIZED: {
      RECT w = workArea();
      return w.right - w.left + 8;
    }
    case SM_CYMAXIMIZED: {
      RECT w = workArea();
      return w.bottom - w.top + 8;
    }
    case SM_CXMAXTRACK: return screenSizeFromFacts().cx + 12;
    case SM_CYMAXTRACK: return screenSizeFromFacts().cy + 12;
    case SM_CXVSCROLL:
    case SM_CYHSCROLL:
    case SM_CYVSCROLL:
    case SM_CXHSCROLL:
    case SM_CYVTHUMB:
    case SM_CXHTHUMB: return 16;
    case SM_CYCAPTION: return 19;
    case SM_CXBORDER:
    case SM_CYBORDER: return 1;
    case SM_CXDLGFRAME:
    case SM_CYDLGFRAME: return 3;
    case SM_CXFRAME:
    case SM_CYFRAME: return 4;
    case SM_CXEDGE:
    case SM_CYEDGE: return 2;
    case SM_CXICON:
    case SM_CYICON:
    case SM_CXCURSOR:
    case SM_CYCURSOR: return 32;
    case SM_CXSMICON:
    case SM_CYSMICON: return 16;
    case SM_CYMENU: return 19;
    case SM_CYSMCAPTION: return 15;
    case SM_CXSIZE:
    case SM_CYSIZE: return 18;
    case SM_CXSMSIZE:
    case SM_CYSMSIZE: return 12;
    case SM_CXMENUSIZE:
    case SM_CYMENUSIZE: return 18;
    case SM_CXMIN: return 112;
    case SM_CYMIN: return 27;
    case SM_CXMINTRACK: return 112;
    case SM_CYMINTRACK: return 27;
    case SM_CXDOUBLECLK:
    case SM_CYDOUBLECLK: return 4;
    case SM_CXDRAG:
    case SM_CYDRAG: return 4;
    case SM_CXICONSPACING:
    case SM_CYICONSPACING: return 75;
    case SM_CXMENUCHECK:
    case SM_CYMENUCHECK: return 13;
    case SM_MOUSEPRESENT:
    case SM_MOUSEWHEELPRESENT:
    case SM_CMONITORS:
    case SM_SAMEDISPLAYFORMAT:
    case SM_NETWORK: return nIndex == SM_NETWORK ? 3 : 1;
    case SM_CMOUSEBUTTONS: return 3;
    case SM_CYKANJIWINDOW:
    case SM_DEBUG:
    case SM_SWAPBUTTON:
    case SM_MENUDROPALIGNMENT:
    case SM_DBCSENABLED:
    case SM_CLEANBOOT:
    case SM_SHOWSOUNDS:
    case SM_REMOTESESSION: return 0;
    default: return 0;
  }
}

DWORD GetSysColor(int nIndex) {
  static const COLORREF colors[] = {
      RGB(212, 208, 200),  // COLOR_SCROLLBAR
      RGB(0, 78, 152),     // COLOR_BACKGROUND
      RGB(0, 84, 227),     // COLOR_ACTIVECAPTION
      RGB(122, 150, 223),  // COLOR_INACTIVECAPTION
      RGB(255, 255, 255),  // COLOR_MENU
      RGB(255, 255, 255),  // COLOR_WINDOW
      RGB(0, 0, 0),        // COLOR_WINDOWFRAME
      RGB(0, 0, 0),        // COLOR_MENUTEXT
      RGB(0, 0, 0),        // COLOR_WINDOWTEXT
      RGB(255, 255, 255),  // COLOR_CAPTIONTEXT
      RGB(212, 208, 200),  // COLOR_ACTIVEBORDER
      RGB(212, 208, 200),  // COLOR_INACTIVEBORDER
      RGB(128, 128, 128),  // COLOR_APPWORKSPACE
      RGB(49, 106, 197),   // COLOR_HIGHLIGHT
      RGB(255, 255, 255),  // COLOR_HIGHLIGHTTEXT
      RGB(236, 233, 216),  // COLOR_BTNFACE
      RGB(172, 168, 153),  // COLOR_BTNSHADOW
      RGB(172, 168, 153),  // COLOR_GRAYTEXT
      RGB(0, 0, 0),        // COLOR_BTNTEXT
      RGB(216, 228, 248),  // COLOR_INACTIVECAPTIONTEXT
      RGB(255, 255, 255),  // COLOR_BTNHIGHLIGHT
      RGB(113, 111, 100),  // COLOR_3DDKSHADOW
      RGB(241, 239, 226),  // COLOR_3DLIGHT
      RGB(0, 0, 0),        // COLOR_INFOTEXT
      RGB(255, 255, 225),  // COLOR_INFOBK
      RGB(181, 181, 181),  // 25: unused
      RGB(0, 0, 128),      // COLOR_HOTLIGHT
      RGB(61, 149, 255),   // COLOR_GRADIENTACTIVECAPTION
      RGB(157, 185, 235),  // COLOR_GRADIENTINACTIVECAPTION
      RGB(49, 106, 197),   // COLOR_MENUHILIGHT
      RGB(236, 233, 216),  // COLOR_MENUBAR
  };
  if (nIndex < 0 || nIndex >= static_cast<int>(std::size(colors))) return 0;
  return colors[nIndex];
}

int GetDeviceCaps(HDC hdc, int index) {
  {
    Guard g(lock());
    if (hdc && !findDc(hdc)) return 0;
  }
  SIZE s = screenSizeFromFacts();
  switch (index) {
    case TECHNOLOGY: return DT_RASDISPLAY;
    case HORZRES:
    case DESKTOPHORZRES: return s.cx;
    case VERTRES:
    case DESKTOPVERTRES: return s.cy;
    // Millimetres at 96 dpi.
    case HORZSIZE: return MulDiv(s.cx, 254, 960);
    case VERTSIZE: return MulDiv(s.cy, 254, 960);
    case BITSPIXEL: return 32;
    case PLANES: return 1;
    case NUMBRUSHES:
    case NUMPENS:
    case NUMCOLORS: return -1;
    case NUMFONTS: return 0;
    case RASTERCAPS: return RC_BITBLT | RC_BITMAP64 | RC_DI_BITMAP | RC_DIBTODEV | RC_STRETCHBLT | RC_STRETCHDIB;
    case LOGPIXELSX:
    case LOGPIXELSY: return 96;
    case SIZEPALETTE:
    case NUMRESERVED: return 0;
    case COLORRES: return 24;
    case PHYSICALWIDTH:
    case PHYSICALHEIGHT: return 0;
    case VREFRESH: return 60;
    default: return 0;
  }
}

// ---- Text metrics ----

namespace {

TEXTMETRICW textMetricsOf(const LOGFONTW& font) {
  const LOGFONTW* lf = &font;
  FontMetrics m = metricsOf(*lf);
  TEXTMETRICW tm{};
  tm.tmHeight = m.height;
  tm.tmAscent = m.ascent;
  tm.tmDescent = m.descent;
  tm.tmInternalLeading = m.internalLeading;
  tm.tmExternalLeading = 0;
  tm.tmAveCharWidth = m.charWidth;
  tm.tmMaxCharWidth = 2 * m.charWidth;
  tm.tmWeight = lf->lfWeight ? lf->lfWeight : FW_NORMAL;
  tm.tmDigitizedAspectX = 96;
  tm.tmDigitizedAspectY = 96;
  tm.tmFirstChar = 0x20;
  tm.tmLastChar = 0xFFFC;
  tm.tmDefaultChar = 0x1F;
  tm.tmBreakChar = 0x20;
  tm.tmItalic = lf->lfItalic;
  tm.tmUnderlined = lf->lfUnderline;
  tm.tmStruckOut = lf->lfStrikeOut;
  tm.tmPitchAndFamily = static_cast<BYTE>((lf->lfPitchAndFamily & 0xF0) | 0x06);  // variable pitch, TrueType
  tm.tmCharSet = lf->lfCharSet;
  return tm;
}

}  // namespace

BOOL GetTextMetricsW(HDC hdc, LPTEXTMETRICW lptm) {
  Guard g(lock());
  Dc* dc = findDc(hdc);
  if (!dc || !lptm) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *lptm = textMetricsOf(fontOfDc(*dc));
  return TRUE;
}

BOOL GetTextExtentPoint32W(HDC hdc, LPCWSTR lpString, int c, LPSIZE psizl) {
  Guard g(lock());
  Dc* dc = findDc(hdc);
  if (!dc || !psizl || c < 0 || (c > 0 && !lpString)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  FontMetrics m = metricsOf(fontOfDc(*dc));
  psizl->cx = widthOf(m, std::u16string_view(lpString ? lpString : u"", static_cast<std::size_t>(c)));
  psizl->cy = m.height;
  return TRUE;
}

BOOL GetTextExtentPointW(HDC hdc, LPCWSTR lpString, int c, LPSIZE psizl) {
  return GetTextExtentPoint32W(hdc, lpString, c, psizl);
}

BOOL GetTextExtentExPointW(HDC hdc, LPCWSTR lpszString, int cchString, int nMaxExtent, LPINT lpnFit, LPINT lpnDx,
                           LPSIZE lpSize) {
  Guard g(lock());
  Dc* dc = findDc(hdc);
  if (!dc || !lpSize || cchString < 0 || (cchString > 0 && !lpszString)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  FontMetrics m = metricsOf(fontOfDc(*dc));
  int x = 0, fit = 0;
  for (int i = 0; i < cchString; ++i) {
    x += charWidth(m, lpszString[i]);
    if (lpnDx) lpnDx[i] = x;
    if (x <= nMaxExtent) fit = i + 1;
  }
  if (lpnFit) *lpnFit = fit;
  lpSize->cx = x;
  lpSize->cy = m.height;
  return TRUE;
}

namespace platform::gdi {

TEXTMETRICW fontMetrics(HFONT font) {
  Guard g(lock());
  auto o = findObject(font);
  return textMetricsOf(o && o->type == OBJ_FONT ? o->font : defaultGuiFont());
}

int textWidth(HFONT font, std::u16string_view text) {
  Guard g(lock());
  const LOGFONTW* lf = &defaultGuiFont();
  auto o = findObject(font);
  if (o && o->type == OBJ_FONT) lf = &o->font;
  return widthOf(metricsOf(*lf), text);
}

// ---- Fonts kept by windows ----

namespace {
constexpr const char16_t* kFontProp = u"KipoWindowFont";
constexpr const char16_t* kOwnedFontProp = u"KipoDialogFont";
}  // namespace

LRESULT windowFontMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_SETFONT) {
    if (wParam) SetPropW(hwnd, kFontProp, reinterpret_cast<HANDLE>(wParam));
    else RemovePropW(hwnd, kFontProp);
    if (LOWORD(lParam)) InvalidateRect(hwnd, nullptr, TRUE);
    return 0;
  }
  if (msg == WM_GETFONT) return reinterpret_cast<LRESULT>(GetPropW(hwnd, kFontProp));
  return 0;
}

HFONT createDialogFont(HWND dialog, int pointSize, int weight, bool italic, int charset, std::u16string_view face) {
  LOGFONTW lf{};
  lf.lfHeight = -MulDiv(pointSize, 96, 72);
  lf.lfWeight = weight ? weight : FW_NORMAL;
  lf.lfItalic = italic ? 1 : 0;
  lf.lfCharSet = static_cast<BYTE>(charset);
  std::copy_n(face.begin(), std::min<std::size_t>(face.size(), LF_FACESIZE - 1), lf.lfFaceName);
  HFONT font = CreateFontIndirectW(&lf);
  if (font) SetPropW(dialog, kOwnedFontProp, font);
  return font;
}

void releaseDialogFont(HWND dialog) {
  if (HANDLE font = RemovePropW(dialog, kOwnedFontProp)) DeleteObject(font);
}

}  // namespace platform::gdi

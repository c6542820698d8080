// Graphics: device contexts, bitmaps, pens, brushes, fonts, icons, blitting, text output and
// measurement, system metrics and colours.
//
// The screen. Each host has one screen image: a shared-memory file "screen.img" in the host's
// shm/ folder, mapped by every process of the host, holding a small header and the pixels
// (screen_width x screen_height from the host facts, 32 bits per pixel, top row first, bytes
// B G R 0 as a 32-bit DIB has them). It starts out filled with the desktop colour. A DC of a
// window (GetDC, GetWindowDC, BeginPaint) draws into that image at the window's screen position,
// clipped to the window's rectangle, its ancestors' rectangles and its window region; a window
// that is not visible draws nothing. A DC of the whole screen (GetDC(NULL), or a DC of the
// desktop window) draws and reads the whole image. Reading (BitBlt/StretchBlt/GetPixel from a
// window or screen DC) reads the image as it stands, so a capture sees what every process of the
// host drew there, other windows overlapping it included. Windows covering each other are not
// clipped against each other: the last one to draw wins.
//
// Windows have no non-client area here, so GetDC and GetWindowDC give the same origin.
//
// Memory DCs draw into the bitmap selected into them (at first a 1x1 monochrome one). Bitmaps
// keep 32-bit pixels; a monochrome bitmap (1 bit per pixel) keeps each pixel black or white
// (white when the sum R+G+B is at least 384). Colours are COLORREF values 0x00BBGGRR.
//
// Fonts have fixed metrics, the same on every machine, so layout and measurement are
// reproducible. For a font with height h (LOGFONT lfHeight):
//   - cell height tmHeight: 13 for h = 0; h for h > 0; for h < 0 (a character height)
//     ceil(-h * 13 / 11), so a -11 font (8 points at 96 dpi, the dialog font) has cells 13 high;
//   - tmInternalLeading = tmHeight - character height (for h >= 0 the character height is
//     tmHeight * 11 / 13, rounded down); tmExternalLeading = 0;
//   - tmAscent = tmHeight - tmDescent, tmDescent = tmHeight / 5 (rounded down);
//   - the width w of a character: lfWidth when it is above 0, else (tmHeight * 6 + 6) / 13
//     (rounded down, at least 1), plus 1 when lfWeight >= FW_BOLD; a wide East Asian character
//     (U+1100-115F, U+2E80-A4CF, U+AC00-D7A3, U+F900-FAFF, U+FE30-FE4F, U+FF00-FF60,
//     U+FFE0-FFE6) counts 2w; every other UTF-16 code unit counts w (a surrogate pair 2w);
//   - tmAveCharWidth = w, tmMaxCharWidth = 2w; italic and underline change no metric.
// So the default GUI font (and the system font) gives 6 x 13 per character, matching the
// dialog base units and platform::shell::textWidth. Text drawn into pixels is not lettering:
// each character that is not a space or control character is a solid block of the text colour
// from the cell's top + tmInternalLeading to the baseline (tmAscent), between the character's
// left edge + 1 and its right edge - 1; with OPAQUE background mode the whole cell is first
// filled with the background colour.
//
// Every drawing call is recorded in the process (platform::gdi::drawRecord below).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/base/types.h"

using LPINT = int*;

// ---- Colours ----

#ifndef RGB
#define RGB(r, g, b) \
  (static_cast<COLORREF>((static_cast<BYTE>(r) | (static_cast<WORD>(static_cast<BYTE>(g)) << 8)) | \
                         (static_cast<DWORD>(static_cast<BYTE>(b)) << 16)))
#define GetRValue(c) (static_cast<BYTE>(c))
#define GetGValue(c) (static_cast<BYTE>((static_cast<WORD>(c)) >> 8))
#define GetBValue(c) (static_cast<BYTE>((c) >> 16))
#endif
#define CLR_INVALID 0xFFFFFFFF
#define GDI_ERROR 0xFFFFFFFFL

// ---- Object types and stock objects ----

#define OBJ_PEN 1
#define OBJ_BRUSH 2
#define OBJ_DC 3
#define OBJ_PAL 5
#define OBJ_FONT 6
#define OBJ_BITMAP 7
#define OBJ_REGION 8
#define OBJ_MEMDC 10

#define WHITE_BRUSH 0
#define LTGRAY_BRUSH 1
#define GRAY_BRUSH 2
#define DKGRAY_BRUSH 3
#define BLACK_BRUSH 4
#define NULL_BRUSH 5
#define HOLLOW_BRUSH NULL_BRUSH
#define WHITE_PEN 6
#define BLACK_PEN 7
#define NULL_PEN 8
#define OEM_FIXED_FONT 10
#define ANSI_FIXED_FONT 11
#define ANSI_VAR_FONT 12
#define SYSTEM_FONT 13
#define DEVICE_DEFAULT_FONT 14
#define DEFAULT_PALETTE 15
#define SYSTEM_FIXED_FONT 16
#define DEFAULT_GUI_FONT 17
#define DC_BRUSH 18
#define DC_PEN 19

// Stock objects are never deleted (DeleteObject gives TRUE and leaves them).
HGDIOBJ GetStockObject(int i);
// The previous object of that kind, or null (ERROR_INVALID_HANDLE) for an unknown DC or object.
// A region selects as the clipping region and returns SIMPLEREGION/COMPLEXREGION/NULLREGION.
// A bitmap can be selected into a memory DC only, and into one DC at a time.
HGDIOBJ SelectObject(HDC hdc, HGDIOBJ h);
// Deletes a pen, brush, font, bitmap or region. FALSE for an unknown handle and for a bitmap
// selected into a DC (as Windows refuses it). Pens, brushes and fonts selected into a DC stay
// usable until they are replaced there.
BOOL DeleteObject(HGDIOBJ ho);
DWORD GetObjectType(HGDIOBJ h);
// Fills BITMAP, DIBSECTION, LOGPEN, LOGBRUSH or LOGFONTW (cbBuffer bytes at most); with a null
// buffer returns the size needed. 0 for an unknown handle.
int GetObjectW(HANDLE h, int c, LPVOID pv);
int GetObjectA(HANDLE h, int c, LPVOID pv);
#define GetObject GetObjectW
HGDIOBJ GetCurrentObject(HDC hdc, UINT type);

// ---- Device contexts ----

// A DC of the window's client area (= the whole window here); GetDC(NULL) is the screen.
HDC GetDC(HWND hWnd);
HDC GetWindowDC(HWND hWnd);
#define DCX_WINDOW 0x00000001L
#define DCX_CACHE 0x00000002L
#define DCX_CLIPCHILDREN 0x00000008L
#define DCX_CLIPSIBLINGS 0x00000010L
#define DCX_PARENTCLIP 0x00000020L
HDC GetDCEx(HWND hWnd, HRGN hrgnClip, DWORD flags);
// 1 when released, 0 for a DC that GetDC/GetWindowDC did not give.
int ReleaseDC(HWND hWnd, HDC hDC);
HWND WindowFromDC(HDC hDC);
// A memory DC (a 1x1 monochrome bitmap selected); hdc null or any DC.
HDC CreateCompatibleDC(HDC hdc);
// "DISPLAY" (or null driver with "DISPLAY" device) gives a screen DC to delete with DeleteDC.
HDC CreateDCW(LPCWSTR pwszDriver, LPCWSTR pwszDevice, LPCWSTR pszPort, const void* pdm);
BOOL DeleteDC(HDC hdc);
int SaveDC(HDC hdc);
BOOL RestoreDC(HDC hdc, int nSavedDC);

#define HORZSIZE 4
#define VERTSIZE 6
#define HORZRES 8
#define VERTRES 10
#define BITSPIXEL 12
#define PLANES 14
#define NUMBRUSHES 16
#define NUMPENS 18
#define NUMFONTS 22
#define NUMCOLORS 24
#define TECHNOLOGY 2
#define RASTERCAPS 38
#define LOGPIXELSX 88
#define LOGPIXELSY 90
#define SIZEPALETTE 104
#define NUMRESERVED 106
#define COLORRES 108
#define PHYSICALWIDTH 110
#define PHYSICALHEIGHT 111
#define VREFRESH 116
#define DESKTOPVERTRES 117
#define DESKTOPHORZRES 118
#define DT_RASDISPLAY 1
#define RC_BITBLT 1
#define RC_BITMAP64 8
#define RC_DI_BITMAP 0x0080
#define RC_DIBTODEV 0x0200
#define RC_STRETCHBLT 0x0800
#define RC_STRETCHDIB 0x2000
// The screen's values for every DC (a memory DC answers for the display it is compatible with):
// screen size from the host facts, 32 bits per pixel, 1 plane, 96 dpi, 60 Hz.
int GetDeviceCaps(HDC hdc, int index);

// ---- DC attributes ----

#define TRANSPARENT 1
#define OPAQUE 2
#define BLACKONWHITE 1
#define WHITEONBLACK 2
#define COLORONCOLOR 3
#define HALFTONE 4
#define STRETCH_ANDSCANS BLACKONWHITE
#define STRETCH_ORSCANS WHITEONBLACK
#define STRETCH_DELETESCANS COLORONCOLOR
#define STRETCH_HALFTONE HALFTONE
#define R2_BLACK 1
#define R2_NOT 6
#define R2_XORPEN 7
#define R2_COPYPEN 13
#define R2_WHITE 16

// Each returns the previous value (CLR_INVALID / 0 for an unknown DC).
COLORREF SetTextColor(HDC hdc, COLORREF color);
COLORREF GetTextColor(HDC hdc);
COLORREF SetBkColor(HDC hdc, COLORREF color);
COLORREF GetBkColor(HDC hdc);
int SetBkMode(HDC hdc, int mode);
int GetBkMode(HDC hdc);
// The mode used when StretchBlt shrinks: BLACKONWHITE (the default) ANDs the pixels that are
// dropped with the one kept, WHITEONBLACK ORs them, COLORONCOLOR keeps one, HALFTONE averages.
int SetStretchBltMode(HDC hdc, int mode);
int GetStretchBltMode(HDC hdc);
int SetROP2(HDC hdc, int rop2);
COLORREF SetDCBrushColor(HDC hdc, COLORREF color);
COLORREF SetDCPenColor(HDC hdc, COLORREF color);
// Logical coordinates: the viewport origin moves what is drawn (the mapping mode stays MM_TEXT).
BOOL SetViewportOrgEx(HDC hdc, int x, int y, LPPOINT lppt);
BOOL GetViewportOrgEx(HDC hdc, LPPOINT lppt);
BOOL OffsetViewportOrgEx(HDC hdc, int x, int y, LPPOINT lppt);
BOOL SetBrushOrgEx(HDC hdc, int x, int y, LPPOINT lppt);

// ---- Clipping ----

// Rectangles in logical coordinates; combined with the DC's own bounds (window, bitmap).
int SelectClipRgn(HDC hdc, HRGN hrgn);
int IntersectClipRect(HDC hdc, int left, int top, int right, int bottom);
int ExcludeClipRect(HDC hdc, int left, int top, int right, int bottom);
int GetClipBox(HDC hdc, LPRECT lprect);

// ---- Pens and brushes ----

#define PS_SOLID 0
#define PS_DASH 1
#define PS_DOT 2
#define PS_DASHDOT 3
#define PS_DASHDOTDOT 4
#define PS_NULL 5
#define PS_INSIDEFRAME 6
#define BS_SOLID 0
#define BS_NULL 1
#define BS_HOLLOW BS_NULL
#define BS_HATCHED 2
#define BS_PATTERN 3
#define HS_HORIZONTAL 0
#define HS_VERTICAL 1
#define HS_FDIAGONAL 2
#define HS_BDIAGONAL 3
#define HS_CROSS 4
#define HS_DIAGCROSS 5

struct LOGPEN {
  UINT lopnStyle;
  POINT lopnWidth;
  COLORREF lopnColor;
};
struct LOGBRUSH {
  UINT lbStyle;
  COLORREF lbColor;
  ULONG_PTR lbHatch;
};
using LPLOGPEN = LOGPEN*;
using LPLOGBRUSH = LOGBRUSH*;

// Dashed styles draw solid here.
HPEN CreatePen(int iStyle, int cWidth, COLORREF color);
HPEN CreatePenIndirect(const LOGPEN* plpen);
HBRUSH CreateSolidBrush(COLORREF color);
// Hatched brushes paint the hatch lines in the colour and leave the rest to the background
// (OPAQUE: background colour).
HBRUSH CreateHatchBrush(int iHatch, COLORREF color);
// The bitmap is copied; the brush tiles it from the brush origin.
HBRUSH CreatePatternBrush(HBITMAP hbm);
HBRUSH CreateBrushIndirect(const LOGBRUSH* plbrush);

// ---- Fonts ----

#define LF_FACESIZE 32
#define FW_DONTCARE 0
#define FW_THIN 100
#define FW_LIGHT 300
#define FW_NORMAL 400
#define FW_REGULAR 400
#define FW_MEDIUM 500
#define FW_SEMIBOLD 600
#define FW_BOLD 700
#define FW_HEAVY 900
#define ANSI_CHARSET 0
#define DEFAULT_CHARSET 1
#define SYMBOL_CHARSET 2
#define SHIFTJIS_CHARSET 128
#define GB2312_CHARSET 134
#define CHINESEBIG5_CHARSET 136
#define THAI_CHARSET 222
#define OEM_CHARSET 255
#define OUT_DEFAULT_PRECIS 0
#define OUT_TT_PRECIS 4
#define CLIP_DEFAULT_PRECIS 0
#define DEFAULT_QUALITY 0
#define ANTIALIASED_QUALITY 4
#define CLEARTYPE_QUALITY 5
#define DEFAULT_PITCH 0
#define FIXED_PITCH 1
#define VARIABLE_PITCH 2
#define FF_DONTCARE 0x00
#define FF_ROMAN 0x10
#define FF_SWISS 0x20
#define FF_MODERN 0x30

struct LOGFONTW {
  LONG lfHeight;
  LONG lfWidth;
  LONG lfEscapement;
  LONG lfOrientation;
  LONG lfWeight;
  BYTE lfItalic;
  BYTE lfUnderline;
  BYTE lfStrikeOut;
  BYTE lfCharSet;
  BYTE lfOutPrecision;
  BYTE lfClipPrecision;
  BYTE lfQuality;
  BYTE lfPitchAndFamily;
  WCHAR lfFaceName[LF_FACESIZE];
};
using LPLOGFONTW = LOGFONTW*;
using PLOGFONTW = LOGFONTW*;
using LOGFONT = LOGFONTW;
using LPLOGFONT = LOGFONTW*;
static_assert(sizeof(LOGFONTW) == 92, "Windows layout");

struct TEXTMETRICW {
  LONG tmHeight;
  LONG tmAscent;
  LONG tmDescent;
  LONG tmInternalLeading;
  LONG tmExternalLeading;
  LONG tmAveCharWidth;
  LONG tmMaxCharWidth;
  LONG tmWeight;
  LONG tmOverhang;
  LONG tmDigitizedAspectX;
  LONG tmDigitizedAspectY;
  WCHAR tmFirstChar;
  WCHAR tmLastChar;
  WCHAR tmDefaultChar;
  WCHAR tmBreakChar;
  BYTE tmItalic;
  BYTE tmUnderlined;
  BYTE tmStruckOut;
  BYTE tmPitchAndFamily;
  BYTE tmCharSet;
};
using LPTEXTMETRICW = TEXTMETRICW*;
using TEXTMETRIC = TEXTMETRICW;

// Metrics as described at the top of this file; the face name is kept, not looked up.
HFONT CreateFontW(int cHeight, int cWidth, int cEscapement, int cOrientation, int cWeight, DWORD bItalic,
                  DWORD bUnderline, DWORD bStrikeOut, DWORD iCharSet, DWORD iOutPrecision, DWORD iClipPrecision,
                  DWORD iQuality, DWORD iPitchAndFamily, LPCWSTR pszFaceName);
HFONT CreateFontIndirectW(const LOGFONTW* lplf);
BOOL GetTextMetricsW(HDC hdc, LPTEXTMETRICW lptm);
// Width and height (tmHeight) of the characters as they stand (no prefix, tab or line handling).
BOOL GetTextExtentPoint32W(HDC hdc, LPCWSTR lpString, int c, LPSIZE psizl);
BOOL GetTextExtentPointW(HDC hdc, LPCWSTR lpString, int c, LPSIZE psizl);
BOOL GetTextExtentExPointW(HDC hdc, LPCWSTR lpszString, int cchString, int nMaxExtent, LPINT lpnFit,
                           LPINT lpnDx, LPSIZE lpSize);
int GetTextFaceW(HDC hdc, int c, LPWSTR lpName);
// a * b / c rounded half away from zero; -1 when c is 0.
int MulDiv(int nNumber, int nNumerator, int nDenominator);

// ---- Bitmaps ----

struct BITMAP {
  LONG bmType;
  LONG bmWidth;
  LONG bmHeight;
  LONG bmWidthBytes;
  WORD bmPlanes;
  WORD bmBitsPixel;
  LPVOID bmBits;
};
using PBITMAP = BITMAP*;
using LPBITMAP = BITMAP*;

#define BI_RGB 0L
#define BI_RLE8 1L
#define BI_RLE4 2L
#define BI_BITFIELDS 3L
#define DIB_RGB_COLORS 0
#define DIB_PAL_COLORS 1

#pragma pack(push, 2)
struct BITMAPFILEHEADER {
  WORD bfType;
  DWORD bfSize;
  WORD bfReserved1;
  WORD bfReserved2;
  DWORD bfOffBits;
};
#pragma pack(pop)
static_assert(sizeof(BITMAPFILEHEADER) == 14, "Windows layout");

struct BITMAPINFOHEADER {
  DWORD biSize;
  LONG biWidth;
  LONG biHeight;
  WORD biPlanes;
  WORD biBitCount;
  DWORD biCompression;
  DWORD biSizeImage;
  LONG biXPelsPerMeter;
  LONG biYPelsPerMeter;
  DWORD biClrUsed;
  DWORD biClrImportant;
};
using LPBITMAPINFOHEADER = BITMAPINFOHEADER*;
using PBITMAPINFOHEADER = BITMAPINFOHEADER*;
static_assert(sizeof(BITMAPINFOHEADER) == 40, "Windows layout");

struct RGBQUAD {
  BYTE rgbBlue;
  BYTE rgbGreen;
  BYTE rgbRed;
  BYTE rgbReserved;
};
struct BITMAPINFO {
  BITMAPINFOHEADER bmiHeader;
  RGBQUAD bmiColors[1];
};
using LPBITMAPINFO = BITMAPINFO*;
using PBITMAPINFO = BITMAPINFO*;

struct DIBSECTION {
  BITMAP dsBm;
  BITMAPINFOHEADER dsBmih;
  DWORD dsBitfields[3];
  HANDLE dshSection;
  DWORD dsOffset;
};

// Black, with the screen's 32 bits per pixel (a memory DC's initial 1x1 bitmap makes a
// monochrome bitmap, as on Windows). 0 or negative sizes give the 1x1 monochrome stock bitmap.
HBITMAP CreateCompatibleBitmap(HDC hdc, int cx, int cy);
// Planes must be 1; 1, 4, 8, 16, 24 or 32 bits per pixel; bits (rows padded to 16 bits, top row
// first) may be null. 4- and 8-bit bitmaps use the default 16-colour palette / a grey ramp.
HBITMAP CreateBitmap(int nWidth, int nHeight, UINT nPlanes, UINT nBitCount, const void* lpBits);
HBITMAP CreateBitmapIndirect(const BITMAP* pbm);
// 24- and 32-bit BI_RGB sections only: *ppvBits receives the caller-visible bits (bottom-up for a
// positive height), which drawing updates and reads directly.
HBITMAP CreateDIBSection(HDC hdc, const BITMAPINFO* pbmi, UINT usage, void** ppvBits, HANDLE hSection,
                         DWORD offset);
// Reads lines [start, start + cLines) (counted from the bottom for a bottom-up header) as 24- or
// 32-bit BI_RGB; with null bits fills in the header (size, image size). Returns the lines copied.
int GetDIBits(HDC hdc, HBITMAP hbm, UINT start, UINT cLines, LPVOID lpvBits, LPBITMAPINFO lpbmi, UINT usage);
int SetDIBits(HDC hdc, HBITMAP hbm, UINT start, UINT cLines, const void* lpBits, const BITMAPINFO* lpbmi,
              UINT ColorUse);
HBITMAP CreateDIBitmap(HDC hdc, const BITMAPINFOHEADER* pbmih, DWORD flInit, const void* pjBits,
                       const BITMAPINFO* pbmi, UINT iUsage);
#define CBM_INIT 0x04L
LONG GetBitmapBits(HBITMAP hbit, LONG cb, LPVOID lpvBits);
BOOL GetBitmapDimensionEx(HBITMAP hbit, LPSIZE lpsize);

// ---- Raster operations ----

#define SRCCOPY 0x00CC0020
#define SRCPAINT 0x00EE0086
#define SRCAND 0x008800C6
#define SRCINVERT 0x00660046
#define SRCERASE 0x00440328
#define NOTSRCCOPY 0x00330008
#define NOTSRCERASE 0x001100A6
#define MERGECOPY 0x00C000CA
#define MERGEPAINT 0x00BB0226
#define PATCOPY 0x00F00021
#define PATPAINT 0x00FB0A09
#define PATINVERT 0x005A0049
#define DSTINVERT 0x00550009
#define BLACKNESS 0x00000042
#define WHITENESS 0x00FF0062
#define CAPTUREBLT 0x40000000

// Any ternary raster operation (source, destination and the selected brush as pattern).
// Source pixels outside the source's surface leave the destination pixel unchanged.
BOOL BitBlt(HDC hdc, int x, int y, int cx, int cy, HDC hdcSrc, int x1, int y1, DWORD rop);
// Growing repeats pixels (nearest); shrinking combines by the destination's stretch mode.
// Negative sizes mirror.
BOOL StretchBlt(HDC hdcDest, int xDest, int yDest, int wDest, int hDest, HDC hdcSrc, int xSrc, int ySrc,
                int wSrc, int hSrc, DWORD rop);
BOOL PatBlt(HDC hdc, int x, int y, int w, int h, DWORD rop);
// Pixels of crTransparent in the source are left out.
BOOL TransparentBlt(HDC hdcDest, int xoriginDest, int yoriginDest, int wDest, int hDest, HDC hdcSrc,
                    int xoriginSrc, int yoriginSrc, int wSrc, int hSrc, UINT crTransparent);
int StretchDIBits(HDC hdc, int xDest, int yDest, int DestWidth, int DestHeight, int xSrc, int ySrc, int SrcWidth,
                  int SrcHeight, const void* lpBits, const BITMAPINFO* lpbmi, UINT iUsage, DWORD rop);
int SetDIBitsToDevice(HDC hdc, int xDest, int yDest, DWORD w, DWORD h, int xSrc, int ySrc, UINT StartScan,
                      UINT cLines, const void* lpvBits, const BITMAPINFO* lpbmi, UINT ColorUse);
// CLR_INVALID outside the DC's surface.
COLORREF GetPixel(HDC hdc, int x, int y);
COLORREF SetPixel(HDC hdc, int x, int y, COLORREF color);

// ---- Shapes ----

// Rectangle: outline in the pen (inside the rectangle), inside in the brush; right and bottom
// edges excluded as on Windows.
BOOL Rectangle(HDC hdc, int left, int top, int right, int bottom);
BOOL Ellipse(HDC hdc, int left, int top, int right, int bottom);
BOOL RoundRect(HDC hdc, int left, int top, int right, int bottom, int width, int height);
BOOL MoveToEx(HDC hdc, int x, int y, LPPOINT lppt);
BOOL LineTo(HDC hdc, int x, int y);
BOOL Polyline(HDC hdc, const POINT* apt, int cpt);
BOOL Polygon(HDC hdc, const POINT* apt, int cpt);
int FillRect(HDC hDC, const RECT* lprc, HBRUSH hbr);
int FrameRect(HDC hDC, const RECT* lprc, HBRUSH hbr);
BOOL InvertRect(HDC hDC, const RECT* lprc);
BOOL FillRgn(HDC hdc, HRGN hrgn, HBRUSH hbr);
BOOL FrameRgn(HDC hdc, HRGN hrgn, HBRUSH hbr, int w, int h);
BOOL PaintRgn(HDC hdc, HRGN hrgn);
BOOL DrawFocusRect(HDC hDC, const RECT* lprc);

#define BDR_RAISEDOUTER 0x0001
#define BDR_SUNKENOUTER 0x0002
#define BDR_RAISEDINNER 0x0004
#define BDR_SUNKENINNER 0x0008
#define EDGE_RAISED (BDR_RAISEDOUTER | BDR_RAISEDINNER)
#define EDGE_SUNKEN (BDR_SUNKENOUTER | BDR_SUNKENINNER)
#define EDGE_ETCHED (BDR_SUNKENOUTER | BDR_RAISEDINNER)
#define EDGE_BUMP (BDR_RAISEDOUTER | BDR_SUNKENINNER)
#define BF_LEFT 0x0001
#define BF_TOP 0x0002
#define BF_RIGHT 0x0004
#define BF_BOTTOM 0x0008
#define BF_RECT (BF_LEFT | BF_TOP | BF_RIGHT | BF_BOTTOM)
#define BF_MIDDLE 0x0800
#define BF_ADJUST 0x2000
BOOL DrawEdge(HDC hdc, LPRECT qrc, UINT edge, UINT grfFlags);

#define DFC_CAPTION 1
#define DFC_MENU 2
#define DFC_SCROLL 3
#define DFC_BUTTON 4
#define DFCS_BUTTONCHECK 0x0000
#define DFCS_BUTTONRADIOIMAGE 0x0001
#define DFCS_BUTTONRADIOMASK 0x0002
#define DFCS_BUTTONRADIO 0x0004
#define DFCS_BUTTON3STATE 0x0008
#define DFCS_BUTTONPUSH 0x0010
#define DFCS_CAPTIONCLOSE 0x0000
#define DFCS_CAPTIONMIN 0x0001
#define DFCS_CAPTIONMAX 0x0002
#define DFCS_CAPTIONRESTORE 0x0003
#define DFCS_INACTIVE 0x0100
#define DFCS_PUSHED 0x0200
#define DFCS_CHECKED 0x0400
#define DFCS_TRANSPARENT 0x0800
#define DFCS_HOT 0x1000
#define DFCS_ADJUSTRECT 0x2000
#define DFCS_FLAT 0x4000
#define DFCS_MONO 0x8000
// Buttons: a 3D-face panel with a raised edge (sunken when DFCS_PUSHED or DFCS_CHECKED for a
// push button); check boxes and radio buttons a white box with a mark when checked. Captions,
// menus and scroll bars: a raised panel. DFCS_ADJUSTRECT shrinks *lprc by the edge (2 pixels).
BOOL DrawFrameControl(HDC hdc, LPRECT lprc, UINT uType, UINT uState);

// ---- Text ----

#define DT_TOP 0x00000000
#define DT_LEFT 0x00000000
#define DT_CENTER 0x00000001
#define DT_RIGHT 0x00000002
#define DT_VCENTER 0x00000004
#define DT_BOTTOM 0x00000008
#define DT_WORDBREAK 0x00000010
#define DT_SINGLELINE 0x00000020
#define DT_EXPANDTABS 0x00000040
#define DT_TABSTOP 0x00000080
#define DT_NOCLIP 0x00000100
#define DT_EXTERNALLEADING 0x00000200
#define DT_CALCRECT 0x00000400
#define DT_NOPREFIX 0x00000800
#define DT_INTERNAL 0x00001000
#define DT_EDITCONTROL 0x00002000
#define DT_PATH_ELLIPSIS 0x00004000
#define DT_END_ELLIPSIS 0x00008000
#define DT_MODIFYSTRING 0x00010000
#define DT_RTLREADING 0x00020000
#define DT_WORD_ELLIPSIS 0x00040000
#define DT_NOFULLWIDTHCHARBREAK 0x00080000
#define DT_HIDEPREFIX 0x00100000
#define DT_PREFIXONLY 0x00200000

// Lines break at CR LF, CR and LF (not with DT_SINGLELINE); with DT_WORDBREAK also where the
// next word would pass the right edge (spaces at the break are dropped; a word wider than the
// rectangle stays whole on its line, or with DT_EDITCONTROL is broken by characters). "&x" shows
// "x" and "&&" shows "&" unless DT_NOPREFIX. Tabs expand to the next multiple of 8 average
// character widths with DT_EXPANDTABS. DT_VCENTER and DT_BOTTOM apply to single lines only.
// DT_END_ELLIPSIS, DT_WORD_ELLIPSIS (single lines) and DT_PATH_ELLIPSIS cut a line that is too
// wide and add "..." (DT_MODIFYSTRING writes the cut text back when cch is -1 or leaves room).
// DT_CALCRECT draws nothing: it sets right to left + the widest line and bottom to top + the
// lines' height. Returns the height of the text (for DT_VCENTER/DT_BOTTOM the offset of its
// bottom from lpRect->top), 0 for empty text or on failure. cch -1: the string is NUL-terminated.
int DrawTextW(HDC hdc, LPCWSTR lpchText, int cchText, LPRECT lprc, UINT format);
int DrawTextA(HDC hdc, LPCSTR lpchText, int cchText, LPRECT lprc, UINT format);
struct DRAWTEXTPARAMS {
  UINT cbSize;
  int iTabLength;
  int iLeftMargin;
  int iRightMargin;
  UINT uiLengthDrawn;
};
using LPDRAWTEXTPARAMS = DRAWTEXTPARAMS*;
int DrawTextExW(HDC hdc, LPWSTR lpchText, int cchText, LPRECT lprc, UINT format, LPDRAWTEXTPARAMS lpdtp);

#define TA_LEFT 0
#define TA_RIGHT 2
#define TA_CENTER 6
#define TA_TOP 0
#define TA_BOTTOM 8
#define TA_BASELINE 24
#define TA_UPDATECP 1
UINT SetTextAlign(HDC hdc, UINT align);
UINT GetTextAlign(HDC hdc);
// The text at (x, y) per the text alignment; no prefix or line handling.
BOOL TextOutW(HDC hdc, int x, int y, LPCWSTR lpString, int c);
BOOL TextOutA(HDC hdc, int x, int y, LPCSTR lpString, int c);
#define ETO_OPAQUE 0x0002
#define ETO_CLIPPED 0x0004
BOOL ExtTextOutW(HDC hdc, int x, int y, UINT options, const RECT* lprect, LPCWSTR lpString, UINT c,
                 const INT* lpDx);

// ---- System metrics and colours ----

#define SM_CXSCREEN 0
#define SM_CYSCREEN 1
#define SM_CXVSCROLL 2
#define SM_CYHSCROLL 3
#define SM_CYCAPTION 4
#define SM_CXBORDER 5
#define SM_CYBORDER 6
#define SM_CXDLGFRAME 7
#define SM_CYDLGFRAME 8
#define SM_CXFIXEDFRAME SM_CXDLGFRAME
#define SM_CYFIXEDFRAME SM_CYDLGFRAME
#define SM_CYVTHUMB 9
#define SM_CXHTHUMB 10
#define SM_CXICON 11
#define SM_CYICON 12
#define SM_CXCURSOR 13
#define SM_CYCURSOR 14
#define SM_CYMENU 15
#define SM_CXFULLSCREEN 16
#define SM_CYFULLSCREEN 17
#define SM_CYKANJIWINDOW 18
#define SM_MOUSEPRESENT 19
#define SM_CYVSCROLL 20
#define SM_CXHSCROLL 21
#define SM_DEBUG 22
#define SM_SWAPBUTTON 23
#define SM_CXMIN 28
#define SM_CYMIN 29
#define SM_CXSIZE 30
#define SM_CYSIZE 31
#define SM_CXFRAME 32
#define SM_CYFRAME 33
#define SM_CXSIZEFRAME SM_CXFRAME
#define SM_CYSIZEFRAME SM_CYFRAME
#define SM_CXMINTRACK 34
#define SM_CYMINTRACK 35
#define SM_CXDOUBLECLK 36
#define SM_CYDOUBLECLK 37
#define SM_CXICONSPACING 38
#define SM_CYICONSPACING 39
#define SM_MENUDROPALIGNMENT 40
#define SM_DBCSENABLED 42
#define SM_CMOUSEBUTTONS 43
#define SM_CXEDGE 45
#define SM_CYEDGE 46
#define SM_CXSMICON 49
#define SM_CYSMICON 50
#define SM_CYSMCAPTION 51
#define SM_CXSMSIZE 52
#define SM_CYSMSIZE 53
#define SM_CXMENUSIZE 54
#define SM_CYMENUSIZE 55
#define SM_CXMAXTRACK 59
#define SM_CYMAXTRACK 60
#define SM_CXMAXIMIZED 61
#define SM_CYMAXIMIZED 62
#define SM_NETWORK 63
#define SM_CLEANBOOT 67
#define SM_CXDRAG 68
#define SM_CYDRAG 69
#define SM_SHOWSOUNDS 70
#define SM_CXMENUCHECK 71
#define SM_CYMENUCHECK 72
#define SM_MOUSEWHEELPRESENT 75
#define SM_XVIRTUALSCREEN 76
#define SM_YVIRTUALSCREEN 77
#define SM_CXVIRTUALSCREEN 78
#define SM_CYVIRTUALSCREEN 79
#define SM_CMONITORS 80
#define SM_SAMEDISPLAYFORMAT 81
#define SM_REMOTESESSION 0x1000
// Screen and work-area values from the host facts (the work area leaves out the taskbar); the
// rest are the fixed values of Windows XP's classic look at 96 dpi. 0 for an unknown index.
int GetSystemMetrics(int nIndex);

#define COLOR_SCROLLBAR 0
#define COLOR_BACKGROUND 1
#define COLOR_DESKTOP COLOR_BACKGROUND
#define COLOR_ACTIVECAPTION 2
#define COLOR_INACTIVECAPTION 3
#define COLOR_MENU 4
#define COLOR_WINDOW 5
#define COLOR_WINDOWFRAME 6
#define COLOR_MENUTEXT 7
#define COLOR_WINDOWTEXT 8
#define COLOR_CAPTIONTEXT 9
#define COLOR_ACTIVEBORDER 10
#define COLOR_INACTIVEBORDER 11
#define COLOR_APPWORKSPACE 12
#define COLOR_HIGHLIGHT 13
#define COLOR_HIGHLIGHTTEXT 14
#define COLOR_BTNFACE 15
#define COLOR_3DFACE COLOR_BTNFACE
#define COLOR_BTNSHADOW 16
#define COLOR_3DSHADOW COLOR_BTNSHADOW
#define COLOR_GRAYTEXT 17
#define COLOR_BTNTEXT 18
#define COLOR_INACTIVECAPTIONTEXT 19
#define COLOR_BTNHIGHLIGHT 20
#define COLOR_3DHIGHLIGHT COLOR_BTNHIGHLIGHT
#define COLOR_3DHILIGHT COLOR_BTNHIGHLIGHT
#define COLOR_BTNHILIGHT COLOR_BTNHIGHLIGHT
#define COLOR_3DDKSHADOW 21
#define COLOR_3DLIGHT 22
#define COLOR_INFOTEXT 23
#define COLOR_INFOBK 24
#define COLOR_HOTLIGHT 26
#define COLOR_GRADIENTACTIVECAPTION 27
#define COLOR_GRADIENTINACTIVECAPTION 28
#define COLOR_MENUHILIGHT 29
#define COLOR_MENUBAR 30
// Windows XP's default ("Luna", blue) colours; 0 for an unknown index.
DWORD GetSysColor(int nIndex);
// A brush of the colour that belongs to the system (DeleteObject leaves it); null for an unknown
// index.
HBRUSH GetSysColorBrush(int nIndex);

// ---- Icons, cursors and images ----

#ifndef IMAGE_BITMAP
#define IMAGE_BITMAP 0
#define IMAGE_ICON 1
#define IMAGE_CURSOR 2
#define IMAGE_ENHMETAFILE 3
#endif
#define LR_DEFAULTCOLOR 0x00000000
#define LR_MONOCHROME 0x00000001
#define LR_COPYRETURNORG 0x00000004
#define LR_COPYDELETEORG 0x00000008
#define LR_LOADFROMFILE 0x00000010
#define LR_LOADTRANSPARENT 0x00000020
#define LR_DEFAULTSIZE 0x00000040
#define LR_VGACOLOR 0x00000080
#define LR_LOADMAP3DCOLORS 0x00001000
#define LR_CREATEDIBSECTION 0x00002000
#define LR_SHARED 0x00008000

#ifndef IDI_APPLICATION
#define IDI_APPLICATION MAKEINTRESOURCEW(32512)
#define IDI_HAND MAKEINTRESOURCEW(32513)
#define IDI_QUESTION MAKEINTRESOURCEW(32514)
#define IDI_EXCLAMATION MAKEINTRESOURCEW(32515)
#define IDI_ASTERISK MAKEINTRESOURCEW(32516)
#define IDI_WARNING IDI_EXCLAMATION
#define IDI_ERROR IDI_HAND
#define IDI_INFORMATION IDI_ASTERISK
#endif
#define IDI_WINLOGO MAKEINTRESOURCEW(32517)
#ifndef ERROR_INVALID_CURSOR_HANDLE
#define ERROR_INVALID_CURSOR_HANDLE 1402L
#endif
#ifndef ERROR_INVALID_ICON_HANDLE
#define ERROR_INVALID_ICON_HANDLE 1414L
#endif

struct ICONINFO {
  BOOL fIcon;
  DWORD xHotspot;
  DWORD yHotspot;
  HBITMAP hbmMask;
  HBITMAP hbmColor;
};
using PICONINFO = ICONINFO*;

// From a file (LR_LOADFROMFILE: name is a path; .bmp for IMAGE_BITMAP, .ico for IMAGE_ICON) or
// from the module's RT_BITMAP / RT_GROUP_ICON resources (a null module with an IDI_ id: the
// system's icons). Icons pick the entry closest to the size asked (0 with LR_DEFAULTSIZE or
// without a size: 32 x 32). LR_LOADMAP3DCOLORS maps the greys 128, 192 and 223 to the 3D
// shadow, face and light colours. Null with ERROR_FILE_NOT_FOUND, ERROR_RESOURCE_NAME_NOT_FOUND
// or ERROR_INVALID_DATA (a damaged, compressed or PNG image).
HANDLE LoadImageW(HINSTANCE hInst, LPCWSTR name, UINT type, int cx, int cy, UINT fuLoad);
HANDLE LoadImageA(HINSTANCE hInst, LPCSTR name, UINT type, int cx, int cy, UINT fuLoad);
HBITMAP LoadBitmapW(HINSTANCE hInstance, LPCWSTR lpBitmapName);
// A module's icon (shared: DestroyIcon leaves it) or, with a null module, a system icon.
HICON LoadIconW(HINSTANCE hInstance, LPCWSTR lpIconName);
HANDLE CopyImage(HANDLE h, UINT type, int cx, int cy, UINT flags);
HICON CreateIconIndirect(PICONINFO piconinfo);
HICON CopyIcon(HICON hIcon);
BOOL DestroyIcon(HICON hIcon);
// Copies of the icon's bitmaps, for the caller to delete.
BOOL GetIconInfo(HICON hIcon, PICONINFO piconinfo);
#define DI_MASK 0x0001
#define DI_IMAGE 0x0002
#define DI_NORMAL 0x0003
#define DI_COMPAT 0x0004
#define DI_DEFAULTSIZE 0x0008
// Pixels the mask marks transparent leave the destination as it was.
BOOL DrawIcon(HDC hDC, int X, int Y, HICON hIcon);
BOOL DrawIconEx(HDC hdc, int xLeft, int yTop, HICON hIcon, int cxWidth, int cyWidth, UINT istepIfAniCur,
                HBRUSH hbrFlickerFreeDraw, UINT diFlags);
// The nIconIndex-th icon group of a program or module file (-1: the number of groups; a negative
// index other than -1: the group with that resource id). Null when the file has no such icon,
// (HICON)1 when it is not a program or module file.
HICON ExtractIconW(HINSTANCE hInst, LPCWSTR pszExeFileName, UINT nIconIndex);
UINT ExtractIconExW(LPCWSTR lpszFile, int nIconIndex, HICON* phiconLarge, HICON* phiconSmall, UINT nIcons);

// ---- Stand-in services ----

namespace platform::gdi {

// One recorded drawing call: the call's name ("FillRect", "DrawTextW", "BitBlt", ...), the
// window whose DC it drew on (null for memory and screen DCs), the rectangle it touched in the
// DC's device coordinates (client coordinates for a window), the text for text calls and the
// colour used (text colour, brush colour, or CLR_INVALID).
struct DrawCall {
  std::string call;
  HWND window = nullptr;
  HDC dc = nullptr;
  RECT rect{};
  std::u16string text;
  COLORREF color = CLR_INVALID;
};
// The process's recorded calls, oldest first (the last 20000 are kept).
std::vector<DrawCall> drawRecord();
void clearDrawRecord();

// The metrics of a font (null: the DC's selected font or the default GUI font).
TEXTMETRICW fontMetrics(HFONT font);
// Width in pixels of text in a font, per the rule at the top of this file.
int textWidth(HFONT font, std::u16string_view text);
// The font selected into a DC (the system font for a fresh DC); null for an unknown DC.
HFONT fontOf(HDC dc);

// The screen image's size and one pixel (tests and tools); CLR_INVALID outside.
SIZE screenSize();
COLORREF screenPixel(int x, int y);
// Fills the whole screen image with the desktop colour.
void clearScreen();
// Writes the screen image as it is now to a PNG file (a Linux path); false with the problem in
// words (the drawing helper or the file).
bool writeScreenPng(const std::string& linuxPath, std::string& problem);

// BeginPaint's DC for the window, clipped to the update rectangle (client coordinates), and
// its end in EndPaint.
HDC beginPaintDC(HWND hwnd, const RECT& update);
void endPaintDC(HWND hwnd, HDC dc);

// WM_SETFONT/WM_GETFONT handling for windows that keep a font (controls and dialogs).
LRESULT windowFontMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
// The font of a dialog template (point size at 96 dpi, weight, italic, charset, face); the
// dialog owns it and deletes it when destroyed (releaseDialogFont).
HFONT createDialogFont(HWND dialog, int pointSize, int weight, bool italic, int charset, std::u16string_view face);
void releaseDialogFont(HWND dialog);

}  // namespace platform::gdi

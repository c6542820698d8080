// The Active Desktop server: CLSID_ActiveDesktop with IActiveDesktop over the user's registry,
// where XP keeps the wallpaper, its style and the desktop switches. An object reads them when
// made; the Set calls change only the object until ApplyChanges saves them (AD_APPLY_SAVE) and
// repaints the desktop (AD_APPLY_REFRESH).
#pragma once

#include "platform/com/unknown.h"

DEFINE_GUID(CLSID_ActiveDesktop, 0x75048700, 0xEF1F, 0x11D0, 0x98, 0x88, 0x00, 0x60, 0x97, 0xDE, 0xAC, 0xF9);
DEFINE_GUID(IID_IActiveDesktop, 0xF490EB00, 0x1240, 0x11D1, 0x98, 0x88, 0x00, 0x60, 0x97, 0xDE, 0xAC, 0xF9);

// ApplyChanges flags.
#define AD_APPLY_SAVE 0x00000001
#define AD_APPLY_HTMLGEN 0x00000002
#define AD_APPLY_REFRESH 0x00000004
#define AD_APPLY_ALL (AD_APPLY_SAVE | AD_APPLY_HTMLGEN | AD_APPLY_REFRESH)
#define AD_APPLY_FORCE 0x00000008
#define AD_APPLY_BUFFERED_REFRESH 0x00000010
#define AD_APPLY_DYNAMICREFRESH 0x00000020

// Wallpaper styles.
#define WPSTYLE_CENTER 0
#define WPSTYLE_TILE 1
#define WPSTYLE_STRETCH 2
#define WPSTYLE_MAX 3

struct WALLPAPEROPT {
  DWORD dwSize;  // sizeof(WALLPAPEROPT)
  DWORD dwStyle;
};
using LPWALLPAPEROPT = WALLPAPEROPT*;
using LPCWALLPAPEROPT = const WALLPAPEROPT*;

struct COMPONENTSOPT {
  DWORD dwSize;  // sizeof(COMPONENTSOPT)
  BOOL fEnableComponents;
  BOOL fActiveDesktop;
};
using LPCOMPONENTSOPT = COMPONENTSOPT*;
using LPCCOMPONENTSOPT = const COMPONENTSOPT*;

// The calls in their interface order; those about patterns and desktop items are not carried
// and answer E_NOTIMPL.
struct IActiveDesktop : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE ApplyChanges(DWORD flags) = 0;
  // Copies at most cch - 1 characters and a NUL (E_INVALIDARG for no buffer or cch 0).
  virtual HRESULT STDMETHODCALLTYPE GetWallpaper(LPWSTR wallpaper, UINT cch, DWORD reserved) = 0;
  // An empty text means no wallpaper; E_INVALIDARG for null or text of MAX_PATH or more.
  virtual HRESULT STDMETHODCALLTYPE SetWallpaper(LPCWSTR wallpaper, DWORD reserved) = 0;
  // dwSize must be sizeof(WALLPAPEROPT), dwStyle below WPSTYLE_MAX (E_INVALIDARG otherwise).
  virtual HRESULT STDMETHODCALLTYPE GetWallpaperOptions(LPWALLPAPEROPT options, DWORD reserved) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetWallpaperOptions(LPCWALLPAPEROPT options, DWORD reserved) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetPattern(LPWSTR pattern, UINT cch, DWORD reserved) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetPattern(LPCWSTR pattern, DWORD reserved) = 0;
  // dwSize must be sizeof(COMPONENTSOPT) (E_INVALIDARG otherwise).
  virtual HRESULT STDMETHODCALLTYPE GetDesktopItemOptions(LPCOMPONENTSOPT options, DWORD reserved) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetDesktopItemOptions(LPCCOMPONENTSOPT options, DWORD reserved) = 0;

 protected:
  ~IActiveDesktop() = default;
};

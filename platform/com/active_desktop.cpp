// The Active Desktop server over the user's registry. XP keeps the wallpaper twice: in the
// Active Desktop key ("Internet Explorer\Desktop\General") and in "Control Panel\Desktop", which
// the desktop paints from; saving writes both. The desktop switches are the "GeneralFlags" of
// "Internet Explorer\Desktop\Components" (the stand-in's bits: 1 components on, 4 Active
// Desktop on).
#include "platform/com/active_desktop.h"

#include <atomic>
#include <string>

#include "platform/base/text.h"
#include "platform/com/runtime.h"
#include "platform/win32/error.h"
#include "platform/win32/message.h"
#include "platform/win32/registry.h"
#include "platform/win32/window.h"

namespace platform::com {

namespace {

constexpr const char16_t* kGeneral = u"Software\\Microsoft\\Internet Explorer\\Desktop\\General";
constexpr const char16_t* kComponents = u"Software\\Microsoft\\Internet Explorer\\Desktop\\Components";
constexpr const char16_t* kControlPanel = u"Control Panel\\Desktop";
constexpr DWORD kComponentsOn = 0x1;
constexpr DWORD kActiveDesktopOn = 0x4;

bool readText(const char16_t* path, const char16_t* name, std::u16string& out) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  char16_t data[MAX_PATH + 1] = {};
  DWORD type = 0, size = sizeof data - sizeof(char16_t);
  const LONG rc = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
  RegCloseKey(key);
  if (rc != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return false;
  out = data;
  return true;
}

bool readNumber(const char16_t* path, const char16_t* name, DWORD& out) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  DWORD type = 0, value = 0, size = sizeof value;
  const LONG rc = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
  RegCloseKey(key);
  if (rc != ERROR_SUCCESS || type != REG_DWORD) return false;
  out = value;
  return true;
}

class ActiveDesktop final : public IActiveDesktop {
 public:
  ActiveDesktop() { load(); }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    if (riid != IID_IUnknown && riid != IID_IActiveDesktop) {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    *object = static_cast<IActiveDesktop*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG n = --refs_;
    if (n == 0) delete this;
    return n;
  }

  HRESULT STDMETHODCALLTYPE ApplyChanges(DWORD flags) override {
    if (flags & AD_APPLY_SAVE) {
      if (HRESULT hr = save(); FAILED(hr)) return hr;
    }
    if (flags & (AD_APPLY_REFRESH | AD_APPLY_BUFFERED_REFRESH | AD_APPLY_DYNAMICREFRESH)) repaint();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetWallpaper(LPWSTR wallpaper, UINT cch, DWORD) override {
    if (!wallpaper || cch == 0) return E_INVALIDARG;
    const std::size_t n = std::min<std::size_t>(wallpaper_.size(), cch - 1);
    wallpaper_.copy(wallpaper, n);
    wallpaper[n] = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetWallpaper(LPCWSTR wallpaper, DWORD) override {
    if (!wallpaper) return E_INVALIDARG;
    std::u16string text(wallpaper);
    if (text.size() >= MAX_PATH) return E_INVALIDARG;
    wallpaper_ = std::move(text);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetWallpaperOptions(LPWALLPAPEROPT options, DWORD) override {
    if (!options || options->dwSize != sizeof(WALLPAPEROPT)) return E_INVALIDARG;
    options->dwStyle = style_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetWallpaperOptions(LPCWALLPAPEROPT options, DWORD) override {
    if (!options || options->dwSize != sizeof(WALLPAPEROPT) || options->dwStyle >= WPSTYLE_MAX) return E_INVALIDARG;
    style_ = options->dwStyle;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetPattern(LPWSTR, UINT, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetPattern(LPCWSTR, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetDesktopItemOptions(LPCOMPONENTSOPT options, DWORD) override {
    if (!options || options->dwSize != sizeof(COMPONENTSOPT)) return E_INVALIDARG;
    options->fEnableComponents = (flags_ & kComponentsOn) ? TRUE : FALSE;
    options->fActiveDesktop = (flags_ & kActiveDesktopOn) ? TRUE : FALSE;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetDesktopItemOptions(LPCCOMPONENTSOPT options, DWORD) override {
    if (!options || options->dwSize != sizeof(COMPONENTSOPT)) return E_INVALIDARG;
    flags_ = (flags_ & ~(kComponentsOn | kActiveDesktopOn)) | (options->fEnableComponents ? kComponentsOn : 0) |
             (options->fActiveDesktop ? kActiveDesktopOn : 0);
    return S_OK;
  }

 private:
  // The Active Desktop key first; a user who never applied anything through it has only the
  // control panel's values.
  void load() {
    if (!readText(kGeneral, u"Wallpaper", wallpaper_)) readText(kControlPanel, u"Wallpaper", wallpaper_);
    std::u16string tile, style;
    if (!readText(kGeneral, u"TileWallpaper", tile)) readText(kControlPanel, u"TileWallpaper", tile);
    if (!readText(kGeneral, u"WallpaperStyle", style)) readText(kControlPanel, u"WallpaperStyle", style);
    style_ = tile == u"1" ? WPSTYLE_TILE : style == u"2" ? WPSTYLE_STRETCH : WPSTYLE_CENTER;
    readNumber(kComponents, u"GeneralFlags", flags_);
  }

  HRESULT save() {
    const std::u16string tile = style_ == WPSTYLE_TILE ? u"1" : u"0";
    const std::u16string style = style_ == WPSTYLE_STRETCH ? u"2" : u"0";
    for (const char16_t* path : {kGeneral, kControlPanel}) {
      HKEY key = nullptr;
      LONG rc = RegCreateKeyExW(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr);
      if (rc != ERROR_SUCCESS) return HRESULT_FROM_WIN32(rc);
      for (const auto& [name, value] : {std::pair<const char16_t*, const std::u16string*>{u"Wallpaper", &wallpaper_},
                                        {u"TileWallpaper", &tile},
                                        {u"WallpaperStyle", &style}}) {
        if (rc == ERROR_SUCCESS)
          rc = RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value->c_str()),
                              static_cast<DWORD>((value->size() + 1) * sizeof(char16_t)));
      }
      RegCloseKey(key);
      if (rc != ERROR_SUCCESS) return HRESULT_FROM_WIN32(rc);
    }
    HKEY key = nullptr;
    LONG rc = RegCreateKeyExW(HKEY_CURRENT_USER, kComponents, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr);
    if (rc == ERROR_SUCCESS) {
      rc = RegSetValueExW(key, u"GeneralFlags", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&flags_), sizeof flags_);
      RegCloseKey(key);
    }
    return rc == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(rc);
  }

  // The desktop window repaints itself, background and all; without a desktop there is nothing
  // to repaint.
  static void repaint() {
    if (HWND desktop = FindWindowW(u"Progman", nullptr))
      RedrawWindow(desktop, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
  }

  std::atomic<ULONG> refs_{1};
  std::u16string wallpaper_;
  DWORD style_ = WPSTYLE_CENTER;
  DWORD flags_ = 0;
};

HRESULT createActiveDesktop(REFIID riid, void** object) {
  auto* desktop = new ActiveDesktop;
  HRESULT hr = desktop->QueryInterface(riid, object);
  desktop->Release();
  return hr;
}

const RegisterClass activeDesktopClass{CLSID_ActiveDesktop, nullptr, &createActiveDesktop};

}  // namespace

}  // namespace platform::com

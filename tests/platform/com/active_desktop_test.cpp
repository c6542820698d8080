// The Active Desktop server: what an object reads when made, what its Set calls change (only the
// object, until ApplyChanges saves), the registry values saving leaves for the next object and
// for the desktop, the argument checks, and the repaint of the desktop when applied.
#include "platform/com/active_desktop.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/base/text.h"
#include "platform/com/runtime.h"
#include "platform/win32/message.h"
#include "platform/win32/registry.h"
#include "platform/win32/window.h"
#include "tests/support/test_host.h"

namespace {

using platform::com::Ptr;
using platform::text::toUtf8;

std::string readText(const char16_t* path, const char16_t* name) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return "<no key>";
  char16_t data[MAX_PATH + 1] = {};
  DWORD type = 0, size = sizeof data - sizeof(char16_t);
  LONG rc = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
  RegCloseKey(key);
  return rc == ERROR_SUCCESS ? toUtf8(data) : "<no value>";
}

class ActiveDesktopTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(CoInitialize(nullptr), S_OK); }
  void TearDown() override { CoUninitialize(); }

  Ptr<IActiveDesktop> make() {
    Ptr<IActiveDesktop> desktop;
    EXPECT_EQ(CoCreateInstance(CLSID_ActiveDesktop, nullptr, CLSCTX_INPROC_SERVER, IID_IActiveDesktop, desktop.putVoid()),
              S_OK);
    return desktop;
  }
  static std::string wallpaper(IActiveDesktop* d) {
    WCHAR buffer[MAX_PATH] = {};
    EXPECT_EQ(d->GetWallpaper(buffer, MAX_PATH, 0), S_OK);
    return toUtf8(buffer);
  }
  static DWORD style(IActiveDesktop* d) {
    WALLPAPEROPT o{sizeof o, 99};
    EXPECT_EQ(d->GetWallpaperOptions(&o, 0), S_OK);
    return o.dwStyle;
  }
  static std::pair<BOOL, BOOL> switches(IActiveDesktop* d) {
    COMPONENTSOPT o{sizeof o, 7, 7};
    EXPECT_EQ(d->GetDesktopItemOptions(&o, 0), S_OK);
    return {o.fEnableComponents, o.fActiveDesktop};
  }

  kipotest::TestHost host_;
};

TEST_F(ActiveDesktopTest, ANewHostShowsTheControlPanelsWallpaper) {
  Ptr<IActiveDesktop> d = make();
  ASSERT_TRUE(d);
  EXPECT_EQ(wallpaper(d.get()), "C:\\WINDOWS\\Web\\Wallpaper\\Bliss.bmp");
  EXPECT_EQ(style(d.get()), static_cast<DWORD>(WPSTYLE_STRETCH));
  EXPECT_EQ(switches(d.get()), std::make_pair(FALSE, FALSE));
}

TEST_F(ActiveDesktopTest, SetsStayInTheObjectUntilApplied) {
  Ptr<IActiveDesktop> d = make();
  ASSERT_TRUE(d);
  ASSERT_EQ(d->SetWallpaper(u"C:\\pics\\sea.jpg", 0), S_OK);
  WALLPAPEROPT tile{sizeof tile, WPSTYLE_TILE};
  ASSERT_EQ(d->SetWallpaperOptions(&tile, 0), S_OK);
  COMPONENTSOPT on{sizeof on, TRUE, TRUE};
  ASSERT_EQ(d->SetDesktopItemOptions(&on, 0), S_OK);
  EXPECT_EQ(wallpaper(d.get()), "C:\\pics\\sea.jpg");
  EXPECT_EQ(style(d.get()), static_cast<DWORD>(WPSTYLE_TILE));
  EXPECT_EQ(switches(d.get()), std::make_pair(TRUE, TRUE));
  // Another object (another program) still sees the saved state.
  Ptr<IActiveDesktop> other = make();
  EXPECT_EQ(wallpaper(other.get()), "C:\\WINDOWS\\Web\\Wallpaper\\Bliss.bmp");
  EXPECT_EQ(readText(u"Control Panel\\Desktop", u"Wallpaper"), "C:\\WINDOWS\\Web\\Wallpaper\\Bliss.bmp");

  ASSERT_EQ(d->ApplyChanges(AD_APPLY_ALL), S_OK);
  Ptr<IActiveDesktop> after = make();
  EXPECT_EQ(wallpaper(after.get()), "C:\\pics\\sea.jpg");
  EXPECT_EQ(style(after.get()), static_cast<DWORD>(WPSTYLE_TILE));
  EXPECT_EQ(switches(after.get()), std::make_pair(TRUE, TRUE));
}

TEST_F(ActiveDesktopTest, SavingWritesBothKeysForEveryStyle) {
  struct Case {
    DWORD style;
    const char* tile;
    const char* wallpaperStyle;
  } const cases[] = {{WPSTYLE_CENTER, "0", "0"}, {WPSTYLE_TILE, "1", "0"}, {WPSTYLE_STRETCH, "0", "2"}};
  for (const auto& c : cases) {
    Ptr<IActiveDesktop> d = make();
    WALLPAPEROPT o{sizeof o, c.style};
    ASSERT_EQ(d->SetWallpaperOptions(&o, 0), S_OK);
    ASSERT_EQ(d->SetWallpaper(u"", 0), S_OK);  // no wallpaper
    ASSERT_EQ(d->ApplyChanges(AD_APPLY_SAVE), S_OK);
    for (const char16_t* key : {u"Control Panel\\Desktop", u"Software\\Microsoft\\Internet Explorer\\Desktop\\General"}) {
      EXPECT_EQ(readText(key, u"Wallpaper"), "") << toUtf8(key);
      EXPECT_EQ(readText(key, u"TileWallpaper"), c.tile) << toUtf8(key) << " style " << c.style;
      EXPECT_EQ(readText(key, u"WallpaperStyle"), c.wallpaperStyle) << toUtf8(key) << " style " << c.style;
    }
    EXPECT_EQ(style(make().get()), c.style);
  }
  // Applying without saving leaves the registry as it is.
  Ptr<IActiveDesktop> d = make();
  ASSERT_EQ(d->SetWallpaper(u"C:\\x.bmp", 0), S_OK);
  ASSERT_EQ(d->ApplyChanges(AD_APPLY_REFRESH), S_OK);
  EXPECT_EQ(readText(u"Control Panel\\Desktop", u"Wallpaper"), "");
}

TEST_F(ActiveDesktopTest, BadArgumentsChangeNothing) {
  Ptr<IActiveDesktop> d = make();
  ASSERT_TRUE(d);
  WCHAR small[5] = {u'#', u'#', u'#', u'#', u'#'};
  EXPECT_EQ(d->GetWallpaper(small, 5, 0), S_OK);  // cut to fit, always terminated
  EXPECT_EQ(toUtf8(small), "C:\\W");
  EXPECT_EQ(d->GetWallpaper(small, 0, 0), E_INVALIDARG);
  EXPECT_EQ(d->GetWallpaper(nullptr, 5, 0), E_INVALIDARG);
  EXPECT_EQ(d->SetWallpaper(nullptr, 0), E_INVALIDARG);
  EXPECT_EQ(d->SetWallpaper(std::u16string(MAX_PATH, u'a').c_str(), 0), E_INVALIDARG);
  WALLPAPEROPT badSize{sizeof(WALLPAPEROPT) + 4, WPSTYLE_CENTER}, badStyle{sizeof(WALLPAPEROPT), WPSTYLE_MAX};
  EXPECT_EQ(d->SetWallpaperOptions(&badSize, 0), E_INVALIDARG);
  EXPECT_EQ(d->SetWallpaperOptions(&badStyle, 0), E_INVALIDARG);
  EXPECT_EQ(d->GetWallpaperOptions(&badSize, 0), E_INVALIDARG);
  COMPONENTSOPT badComponents{sizeof(COMPONENTSOPT) - 4, TRUE, TRUE};
  EXPECT_EQ(d->SetDesktopItemOptions(&badComponents, 0), E_INVALIDARG);
  EXPECT_EQ(d->GetDesktopItemOptions(&badComponents, 0), E_INVALIDARG);
  EXPECT_EQ(d->SetPattern(u"(None)", 0), E_NOTIMPL);
  EXPECT_EQ(wallpaper(d.get()), "C:\\WINDOWS\\Web\\Wallpaper\\Bliss.bmp");
  EXPECT_EQ(style(d.get()), static_cast<DWORD>(WPSTYLE_STRETCH));
  EXPECT_EQ(switches(d.get()), std::make_pair(FALSE, FALSE));
}

int g_paints = 0;
LRESULT CALLBACK countPaints(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_PAINT) {
    ++g_paints;
    PAINTSTRUCT ps;
    BeginPaint(hwnd, &ps);
    EndPaint(hwnd, &ps);
    return 0;
  }
  return DefWindowProcW(hwnd, msg, wParam, lParam);
}

TEST_F(ActiveDesktopTest, ApplyingWithARefreshRepaintsTheDesktop) {
  WNDCLASSW wc{};
  wc.lpfnWndProc = countPaints;
  wc.lpszClassName = u"Progman";
  ASSERT_NE(RegisterClassW(&wc), 0);
  HWND desktop = CreateWindowExW(0, u"Progman", u"Program Manager", WS_POPUP | WS_VISIBLE, 0, 0, 100, 100, nullptr,
                                 nullptr, nullptr, nullptr);
  ASSERT_NE(desktop, nullptr);
  auto pump = [] {
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
  };
  pump();
  Ptr<IActiveDesktop> d = make();
  struct Case {
    DWORD flags;
    bool repaints;
  } const cases[] = {{AD_APPLY_SAVE, false}, {AD_APPLY_ALL, true}, {AD_APPLY_REFRESH, true}, {AD_APPLY_HTMLGEN, false}};
  for (const auto& c : cases) {
    g_paints = 0;
    ASSERT_EQ(d->ApplyChanges(c.flags), S_OK);
    pump();
    EXPECT_EQ(g_paints > 0, c.repaints) << "flags " << c.flags;
  }
  DestroyWindow(desktop);
  UnregisterClassW(u"Progman", nullptr);
}

}  // namespace

// The tray as host state: Shell_NotifyIconW's add/modify/delete rules and field cuts, what the
// host lists (to other processes too: the rows are in host.db), and a click sending the icon's
// callback message with the mouse messages in order.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "platform/win32/error.h"
#include "platform/win32/message.h"
#include "platform/win32/tray.h"
#include "platform/win32/window.h"
#include "tests/support/test_host.h"
#include "tests/support/test_windows.h"

namespace {

constexpr UINT kCallback = WM_APP + 7;
std::vector<std::pair<WPARAM, LPARAM>> g_calls;

LRESULT CALLBACK trayProc(HWND h, UINT msg, WPARAM w, LPARAM l) {
  if (msg == kCallback) {
    g_calls.emplace_back(w, l);
    return 0;
  }
  return DefWindowProcW(h, msg, w, l);
}

class TrayTest : public ::testing::Test {
 protected:
  void SetUp() override {
    kipotest::registerWindowClass(u"TrayTestWindow", trayProc);
    window = CreateWindowExW(0, u"TrayTestWindow", u"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    g_calls.clear();
  }
  void TearDown() override { DestroyWindow(window); }
  NOTIFYICONDATAW data(UINT id, UINT flags) const {
    NOTIFYICONDATAW d{};
    d.cbSize = sizeof d;
    d.hWnd = window;
    d.uID = id;
    d.uFlags = flags;
    d.uCallbackMessage = kCallback;
    return d;
  }
  void pump() {
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
  }
  kipotest::TestHost host;
  HWND window = nullptr;
};

TEST_F(TrayTest, AddModifyAndDeleteFollowTheShellsRules) {
  NOTIFYICONDATAW d = data(1, NIF_MESSAGE | NIF_TIP);
  std::char_traits<char16_t>::copy(d.szTip, u"Sync", 5);
  ASSERT_TRUE(Shell_NotifyIconW(NIM_ADD, &d));
  EXPECT_FALSE(Shell_NotifyIconW(NIM_ADD, &d));  // the same window and id
  NOTIFYICONDATAW other = data(2, NIF_TIP);
  EXPECT_FALSE(Shell_NotifyIconW(NIM_MODIFY, &other));
  EXPECT_FALSE(Shell_NotifyIconW(NIM_DELETE, &other));
  ASSERT_TRUE(Shell_NotifyIconW(NIM_ADD, &other));

  // A full tip field is cut to leave its terminator; a balloon's text and title are kept.
  NOTIFYICONDATAW m = data(1, NIF_TIP | NIF_INFO);
  for (int i = 0; i < 128; ++i) m.szTip[i] = u'a';
  std::char_traits<char16_t>::copy(m.szInfo, u"Done", 5);
  std::char_traits<char16_t>::copy(m.szInfoTitle, u"Kipo", 5);
  m.dwInfoFlags = NIIF_INFO;
  ASSERT_TRUE(Shell_NotifyIconW(NIM_MODIFY, &m));

  auto icons = platform::tray::icons();
  ASSERT_EQ(icons.size(), 2u);
  EXPECT_EQ(icons[0].id, 1u);
  EXPECT_EQ(icons[0].tip, std::u16string(127, u'a'));
  EXPECT_EQ(icons[0].callbackMessage, kCallback);  // kept from the add
  EXPECT_EQ(icons[0].info, u"Done");
  EXPECT_EQ(icons[0].infoTitle, u"Kipo");
  EXPECT_EQ(icons[0].infoFlags, static_cast<DWORD>(NIIF_INFO));
  EXPECT_EQ(icons[1].id, 2u);
  EXPECT_EQ(icons[1].callbackMessage, 0u);  // NIF_MESSAGE not given

  ASSERT_TRUE(Shell_NotifyIconW(NIM_DELETE, &other));
  EXPECT_EQ(platform::tray::icons().size(), 1u);

  NOTIFYICONDATAW bad = data(3, NIF_TIP);
  bad.hWnd = reinterpret_cast<HWND>(0x7777);
  EXPECT_FALSE(Shell_NotifyIconW(NIM_ADD, &bad));
  bad = data(3, NIF_TIP);
  bad.cbSize = 8;
  EXPECT_FALSE(Shell_NotifyIconW(NIM_ADD, &bad));
  EXPECT_FALSE(Shell_NotifyIconW(NIM_ADD, nullptr));
}

TEST_F(TrayTest, AClickSendsTheCallbackMessageWithTheMouseMessages) {
  NOTIFYICONDATAW d = data(9, NIF_MESSAGE);
  ASSERT_TRUE(Shell_NotifyIconW(NIM_ADD, &d));
  const auto icon = platform::tray::icons().at(0);
  struct Case {
    platform::tray::Click how;
    std::vector<LPARAM> mouse;
  };
  const Case cases[] = {
      {platform::tray::Click::Left, {WM_LBUTTONDOWN, WM_LBUTTONUP}},
      {platform::tray::Click::Right, {WM_RBUTTONDOWN, WM_RBUTTONUP}},
      {platform::tray::Click::Double, {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP}},
  };
  for (const Case& c : cases) {
    g_calls.clear();
    ASSERT_TRUE(platform::tray::click(icon, c.how));
    pump();
    ASSERT_EQ(g_calls.size(), c.mouse.size());
    for (std::size_t i = 0; i < c.mouse.size(); ++i) {
      EXPECT_EQ(g_calls[i].first, 9u);
      EXPECT_EQ(g_calls[i].second, c.mouse[i]);
    }
  }
  // A hidden icon takes no clicks.
  NOTIFYICONDATAW hide = data(9, NIF_STATE);
  hide.dwState = NIS_HIDDEN;
  hide.dwStateMask = NIS_HIDDEN;
  ASSERT_TRUE(Shell_NotifyIconW(NIM_MODIFY, &hide));
  EXPECT_FALSE(platform::tray::click(platform::tray::icons().at(0), platform::tray::Click::Left));
}

}  // namespace

// Menus: a menu template resource loaded into items (and malformed templates refused), the item
// calls' answers and previous states, search by command through submenus, DeleteMenu against
// RemoveMenu for submenus, menu bars of top-level windows only, and TrackPopupMenu's "#32768"
// window whose "MenuItem" children mirror the items.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/base/text.h"
#include "platform/base/types.h"
#include "platform/ui/driver.h"
#include "platform/win32/error.h"
#include "platform/win32/menu.h"
#include "platform/win32/message.h"
#include "platform/win32/resource.h"
#include "platform/win32/window.h"
#include "tests/support/test_host.h"
#include "ui_ids.h"

namespace {

std::u16string textOf(HMENU m, UINT item, UINT flags) {
  WCHAR buf[64] = {0};
  GetMenuStringW(m, item, buf, 64, flags);
  return buf;
}

class MenuTest : public ::testing::Test {
 protected:
  kipotest::TestHost host;
};

TEST_F(MenuTest, AResourceTemplateBecomesItsItems) {
  HMENU bar = LoadMenuW(nullptr, MAKEINTRESOURCEW(IDR_POPUP));
  ASSERT_NE(bar, nullptr);
  ASSERT_EQ(GetMenuItemCount(bar), 1);
  HMENU tray = GetSubMenu(bar, 0);
  ASSERT_NE(tray, nullptr);
  EXPECT_EQ(textOf(bar, 0, MF_BYPOSITION), u"Tray");
  // Open, Sync (grayed), separator, More (submenu), Exit.
  ASSERT_EQ(GetMenuItemCount(tray), 5);
  EXPECT_EQ(GetMenuItemID(tray, 0), static_cast<UINT>(ID_OPEN));
  EXPECT_EQ(GetMenuItemID(tray, 2), 0u);            // the separator
  EXPECT_EQ(GetMenuItemID(tray, 3), 0xFFFFFFFFu);   // a submenu
  EXPECT_EQ(GetMenuItemID(tray, 9), 0xFFFFFFFFu);   // out of range
  EXPECT_EQ(GetMenuState(tray, ID_SYNC, MF_BYCOMMAND), static_cast<UINT>(MF_GRAYED));
  EXPECT_EQ(GetMenuState(tray, 2, MF_BYPOSITION), static_cast<UINT>(MF_SEPARATOR));
  EXPECT_EQ(GetMenuState(tray, 3, MF_BYPOSITION), (1u << 8) | MF_POPUP);  // one item inside
  // By command, the search goes into submenus, from the top menu too.
  EXPECT_EQ(GetMenuState(bar, ID_ABOUT, MF_BYCOMMAND), static_cast<UINT>(MF_CHECKED));
  EXPECT_EQ(textOf(bar, ID_ABOUT, MF_BYCOMMAND), u"&About");
  EXPECT_EQ(GetMenuState(bar, 12345, MF_BYCOMMAND), 0xFFFFFFFFu);
  EXPECT_TRUE(DestroyMenu(bar));
  // Submenus go with their menu.
  EXPECT_FALSE(IsMenu(tray));
  EXPECT_FALSE(DestroyMenu(bar));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_MENU_HANDLE));
}

// A template: header, then (flags, [id], text) items.
struct TemplateWriter {
  std::vector<BYTE> bytes{0, 0, 0, 0};
  TemplateWriter& item(WORD flags, WORD id, std::u16string_view text) {
    word(flags);
    if (!(flags & MF_POPUP)) word(id);
    for (char16_t c : text) word(c);
    word(0);
    return *this;
  }
  void word(WORD w) {
    bytes.push_back(static_cast<BYTE>(w & 0xFF));
    bytes.push_back(static_cast<BYTE>(w >> 8));
  }
};

TEST_F(MenuTest, MalformedTemplatesAreRefused) {
  TemplateWriter good;
  good.item(MF_POPUP | MF_END, 0, u"File").item(0, 1, u"Open").item(MF_END, 2, u"Close");
  HMENU m = platform::menu::loadTemplate(good.bytes.data(), good.bytes.size());
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(GetMenuItemCount(GetSubMenu(m, 0)), 2);
  DestroyMenu(m);

  struct Case {
    const char* what;
    std::vector<BYTE> bytes;
  };
  TemplateWriter noEnd;
  noEnd.item(MF_POPUP | MF_END, 0, u"File").item(0, 1, u"Open");
  TemplateWriter badVersion = good;
  badVersion.bytes[0] = 1;
  std::vector<BYTE> cut(good.bytes.begin(), good.bytes.end() - 3);
  TemplateWriter unterminated;
  unterminated.word(MF_END);
  unterminated.word(7);
  unterminated.word(u'x');
  const Case cases[] = {{"a level that never ends", noEnd.bytes},
                        {"another template version", badVersion.bytes},
                        {"cut in the last text", cut},
                        {"a text without its end", unterminated.bytes},
                        {"only a header", {0, 0, 0, 0}},
                        {"less than a header", {0, 0}}};
  for (const Case& c : cases) {
    SetLastError(0);
    EXPECT_EQ(platform::menu::loadTemplate(c.bytes.data(), c.bytes.size()), nullptr) << c.what;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER)) << c.what;
  }
}

TEST_F(MenuTest, ItemCallsAnswerWithPreviousStatesAndFailOnMissingItems) {
  HMENU m = CreatePopupMenu();
  HMENU sub = CreatePopupMenu();
  ASSERT_TRUE(AppendMenuW(m, MF_STRING, 10, u"Ten"));
  ASSERT_TRUE(AppendMenuW(m, MF_SEPARATOR, 0, nullptr));
  ASSERT_TRUE(AppendMenuW(m, MF_POPUP, reinterpret_cast<UINT_PTR>(sub), u"Sub"));
  ASSERT_TRUE(AppendMenuW(sub, MF_STRING | MF_GRAYED, 20, u"Twenty"));
  ASSERT_TRUE(InsertMenuW(m, 0, MF_BYPOSITION | MF_STRING, 5, u"Five"));
  ASSERT_TRUE(InsertMenuW(m, 10, MF_BYCOMMAND | MF_STRING, 7, u"Seven"));  // before item 10
  EXPECT_EQ(GetMenuItemID(m, 0), 5u);
  EXPECT_EQ(GetMenuItemID(m, 1), 7u);
  EXPECT_EQ(GetMenuItemID(m, 2), 10u);
  EXPECT_FALSE(InsertMenuW(m, 777, MF_BYCOMMAND | MF_STRING, 8, u"Eight"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MENU_ITEM_NOT_FOUND));

  EXPECT_EQ(CheckMenuItem(m, 10, MF_BYCOMMAND | MF_CHECKED), static_cast<DWORD>(MF_UNCHECKED));
  EXPECT_EQ(CheckMenuItem(m, 10, MF_BYCOMMAND | MF_UNCHECKED), static_cast<DWORD>(MF_CHECKED));
  EXPECT_EQ(CheckMenuItem(m, 99, MF_BYCOMMAND | MF_CHECKED), static_cast<DWORD>(-1));
  EXPECT_EQ(EnableMenuItem(m, 20, MF_BYCOMMAND | MF_ENABLED), static_cast<BOOL>(MF_GRAYED));
  EXPECT_EQ(EnableMenuItem(m, 20, MF_BYCOMMAND | MF_DISABLED), static_cast<BOOL>(MF_ENABLED));
  EXPECT_EQ(EnableMenuItem(m, 99, MF_BYCOMMAND | MF_GRAYED), -1);

  // The default item, by position and by command, is the only one.
  EXPECT_TRUE(SetMenuDefaultItem(m, 2, TRUE));
  EXPECT_TRUE(SetMenuDefaultItem(m, 5, FALSE));
  EXPECT_EQ(GetMenuDefaultItem(m, TRUE, 0), 0u);
  EXPECT_EQ(GetMenuState(m, 10, MF_BYCOMMAND) & MF_DEFAULT, 0u);
  EXPECT_FALSE(SetMenuDefaultItem(m, 40, TRUE));
  EXPECT_TRUE(SetMenuDefaultItem(m, 0xFFFFFFFFu, TRUE));
  EXPECT_EQ(GetMenuDefaultItem(m, TRUE, 0), 0xFFFFFFFFu);

  // Text: length without a buffer, cut to the buffer with a NUL.
  EXPECT_EQ(GetMenuStringW(m, 10, nullptr, 0, MF_BYCOMMAND), 3);
  WCHAR small[3];
  EXPECT_EQ(GetMenuStringW(m, 10, small, 3, MF_BYCOMMAND), 2);
  EXPECT_EQ(std::u16string(small), u"Te");
  EXPECT_TRUE(ModifyMenuW(m, 10, MF_BYCOMMAND | MF_STRING | MF_CHECKED, 11, u"Eleven"));
  EXPECT_EQ(GetMenuState(m, 11, MF_BYCOMMAND), static_cast<UINT>(MF_CHECKED));
  EXPECT_FALSE(ModifyMenuW(m, 10, MF_BYCOMMAND | MF_STRING, 12, u"x"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MENU_ITEM_NOT_FOUND));

  MENUITEMINFOW mi{};
  mi.cbSize = sizeof mi;
  mi.fMask = MIIM_STRING | MIIM_ID | MIIM_STATE | MIIM_SUBMENU;
  WCHAR buf[4];
  mi.dwTypeData = buf;
  mi.cch = 4;
  ASSERT_TRUE(GetMenuItemInfoW(m, 4, TRUE, &mi));
  EXPECT_EQ(mi.hSubMenu, sub);
  EXPECT_EQ(std::u16string(buf), u"Sub");
  EXPECT_EQ(mi.cch, 3u);
  MENUITEMINFOW add{};
  add.cbSize = sizeof add;
  add.fMask = MIIM_STRING | MIIM_ID | MIIM_FTYPE;
  add.fType = MFT_RADIOCHECK;
  add.wID = 30;
  add.dwTypeData = const_cast<LPWSTR>(u"Thirty");
  ASSERT_TRUE(InsertMenuItemW(m, 0, TRUE, &add));
  EXPECT_EQ(GetMenuItemID(m, 0), 30u);

  // RemoveMenu keeps a submenu alive, DeleteMenu destroys it.
  ASSERT_TRUE(RemoveMenu(m, 5, MF_BYPOSITION));
  EXPECT_TRUE(IsMenu(sub));
  ASSERT_TRUE(AppendMenuW(m, MF_POPUP, reinterpret_cast<UINT_PTR>(sub), u"Sub"));
  ASSERT_TRUE(DeleteMenu(m, GetMenuItemCount(m) - 1, MF_BYPOSITION));
  EXPECT_FALSE(IsMenu(sub));
  EXPECT_FALSE(DeleteMenu(m, 99, MF_BYCOMMAND));
  EXPECT_EQ(GetMenuItemCount(reinterpret_cast<HMENU>(0x1234)), -1);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_MENU_HANDLE));
  DestroyMenu(m);
}

TEST_F(MenuTest, OnlyTopLevelWindowsHaveAMenuBar) {
  HWND top = CreateWindowExW(0, u"Static", u"top", WS_OVERLAPPED, 0, 0, 100, 100, nullptr, nullptr, nullptr, nullptr);
  HWND child = CreateWindowExW(0, u"Static", u"child", WS_CHILD, 0, 0, 10, 10, top, reinterpret_cast<HMENU>(7),
                               nullptr, nullptr);
  HMENU bar = CreateMenu();
  EXPECT_EQ(GetMenu(top), nullptr);
  EXPECT_TRUE(SetMenu(top, bar));
  EXPECT_EQ(GetMenu(top), bar);
  EXPECT_FALSE(SetMenu(child, bar));
  EXPECT_EQ(GetMenu(child), nullptr);
  EXPECT_EQ(GetDlgCtrlID(child), 7);
  EXPECT_FALSE(SetMenu(top, reinterpret_cast<HMENU>(0x4321)));
  EXPECT_TRUE(SetMenu(top, nullptr));
  EXPECT_EQ(GetMenu(top), nullptr);
  DestroyMenu(bar);
  DestroyWindow(top);
}

// While a popup is tracked: one "#32768" window owned by the caller, with a "MenuItem" child per
// item (separators left out), grayed ones disabled, checked ones answering BM_GETCHECK.
std::vector<std::string> g_seen;

TEST_F(MenuTest, AnOpenPopupIsAWindowWithItsItemsAsChildren) {
  HWND owner = CreateWindowExW(0, u"Static", u"owner", WS_POPUP | WS_VISIBLE, 0, 0, 100, 100, nullptr, nullptr,
                               nullptr, nullptr);
  HMENU bar = LoadMenuW(nullptr, MAKEINTRESOURCEW(IDR_POPUP));
  g_seen.clear();
  // Looks at the open menu from a timer, then dismisses it as Escape does.
  SetTimer(owner, 1, 10, [](HWND, UINT, UINT_PTR, DWORD) {
    HWND menu = FindWindowW(u"#32768", nullptr);
    if (!menu) return;
    for (HWND c = GetWindow(menu, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
      WCHAR t[32];
      GetWindowTextW(c, t, 32);
      std::string line = std::to_string(GetDlgCtrlID(c)) + " " + platform::text::toUtf8(t);
      if (!IsWindowEnabled(c)) line += " disabled";
      if (SendMessageW(c, BM_GETCHECK, 0, 0)) line += " checked";
      g_seen.push_back(line);
    }
    g_seen.push_back(GetWindow(menu, GW_OWNER) ? "owned" : "unowned");
    PostMessageW(menu, WM_KEYDOWN, VK_ESCAPE, 0);
  });
  EXPECT_EQ(TrackPopupMenu(GetSubMenu(bar, 0), TPM_RETURNCMD, 0, 0, 0, owner, nullptr), 0);
  KillTimer(owner, 1);
  EXPECT_EQ(g_seen, (std::vector<std::string>{"40001 &Open", "40002 &Sync now disabled", "0 &More",
                                              "40004 &About checked", "40003 E&xit", "owned"}));
  EXPECT_EQ(FindWindowW(u"#32768", nullptr), nullptr);
  EXPECT_FALSE(TrackPopupMenu(reinterpret_cast<HMENU>(0x999), 0, 0, 0, 0, owner, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_MENU_HANDLE));
  DestroyMenu(bar);
  DestroyWindow(owner);
}

}  // namespace

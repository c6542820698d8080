// The tray icon against the stand-in's notification area: add, modify, hide, show and delete as
// every process of the host sees them (kipo-host ui tray too); single, double and right clicks
// told apart; and the popup menu's items, defaults and commands, also picked from another process.
#include "app/tray_icon.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/lingrove.h"
#include "app/messages.h"
#include "lang/ids.h"
#include "platform/base/text.h"
#include "platform/win32/win32.h"
#include "tests/app/app_fixture.h"
#include "tests/support/test_host.h"
#include "tests/support/ui_script.h"

namespace {

constexpr UINT kTrayMessage = WM_USER + 10;

// What the popup menu held when it opened.
struct MenuItem {
  UINT id;
  std::u16string text;
  bool grayed;
};

// The tray icon's owner: hands the callback to the icon, notes commands and the menus it opened.
class TrayOwner : public CWnd {
 public:
  explicit TrayOwner(CTrayIcon& icon) : tray(icon) {
    CreateEx(0, AfxRegisterWndClass(0), u"Tray Owner", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr);
  }
  ~TrayOwner() override {
    if (m_hWnd != nullptr) DestroyWindow();
  }

  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message == kTrayMessage) {
      tray.onNotify(static_cast<UINT>(wParam), static_cast<UINT>(lParam));
      return 0;
    }
    if (message == WM_COMMAND) {
      commands.push_back(LOWORD(wParam));
      return 0;
    }
    if (message == WM_INITMENUPOPUP) {
      ++menusOpened;
      HMENU menu = reinterpret_cast<HMENU>(wParam);
      items.clear();
      for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        const UINT id = GetMenuItemID(menu, i);
        if (id == 0) continue;  // separator
        WCHAR text[128] = {};
        GetMenuStringW(menu, id, text, 128, MF_BYCOMMAND);
        items.push_back({id, text, (GetMenuState(menu, id, MF_BYCOMMAND) & MF_GRAYED) != 0});
      }
      defaultPosition = GetMenuDefaultItem(menu, TRUE, 0);
      if (duringMenu) duringMenu();
    }
    return CWnd::WindowProc(message, wParam, lParam);
  }

  const MenuItem* item(UINT id) const {
    for (const MenuItem& i : items)
      if (i.id == id) return &i;
    return nullptr;
  }

  CTrayIcon& tray;
  std::vector<UINT> commands;
  std::vector<MenuItem> items;
  int menusOpened = 0;
  UINT defaultPosition = 0;
  std::function<void()> duringMenu;
};

class TrayIconTest : public apptest::AppTest {
 protected:
  TrayIconTest() {
    installLanguages({"USA"});
    language = std::make_unique<Lingrove>(CString(u"USA"), FALSE);
    tray = std::make_unique<CTrayIcon>();
    owner = std::make_unique<TrayOwner>(*tray);
    tray->hooks.deviceName = [] { return CString(u"Kipo Drive"); };
    tray->hooks.updateItemAllowed = [this] { return updateAllowed; };
    tray->hooks.onDoubleClick = [this](UINT id, UINT message) { doubleClicks.push_back({id, message}); };
  }
  ~TrayIconTest() override {
    tray.reset();
    owner.reset();
  }

  bool create(const CString& tip = u"Double-click to synchronize Kipo Drive") {
    return tray->create(owner.get(), kTrayMessage, tip, nullptr, IDR_TRAY_LOGGED_OUT);
  }
  static std::vector<platform::tray::Icon> icons() { return platform::tray::icons(); }

  // Dispatches this thread's messages for `ms` of real time.
  static void pump(int ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    MSG msg;
    while (std::chrono::steady_clock::now() < end) {
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }
  void notify(std::initializer_list<UINT> mouseMessages) {
    for (UINT m : mouseMessages) tray->onNotify(IDR_TRAY_LOGGED_OUT, m);
  }

  CWinApp application{u"Kipo"};
  std::unique_ptr<Lingrove> language;
  std::unique_ptr<CTrayIcon> tray;
  std::unique_ptr<TrayOwner> owner;
  bool updateAllowed = false;
  std::vector<std::pair<UINT, UINT>> doubleClicks;
};

// ---- The icon in the notification area -------------------------------------------------------

TEST_F(TrayIconTest, AddModifyHideShowDeleteAsTheHostSeesThem) {
  EXPECT_FALSE(tray->setTip(u"not yet")) << "nothing to modify before create";
  ASSERT_TRUE(create());
  ASSERT_EQ(icons().size(), 1u);
  platform::tray::Icon icon = icons()[0];
  EXPECT_EQ(icon.window, static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(owner->GetSafeHwnd())));
  EXPECT_EQ(icon.id, static_cast<UINT>(IDR_TRAY_LOGGED_OUT));
  EXPECT_EQ(icon.callbackMessage, kTrayMessage);
  EXPECT_EQ(icon.tip, u"Double-click to synchronize Kipo Drive");
  EXPECT_EQ(icon.pid, GetCurrentProcessId());

  std::string listing;
  ASSERT_EQ(kipotest::runTool({"ui", "tray"}, &listing), 0);
  EXPECT_NE(listing.find("id=356"), std::string::npos) << listing;
  EXPECT_NE(listing.find("Double-click to synchronize Kipo Drive"), std::string::npos) << listing;

  const std::u16string longTip(200, u'x');
  EXPECT_TRUE(tray->setTip(CString(longTip.c_str())));
  EXPECT_EQ(icons()[0].tip, longTip.substr(0, 127)) << "cut to the shell's field";
  EXPECT_TRUE(tray->setIcon(reinterpret_cast<HICON>(0x1234)));
  EXPECT_EQ(icons()[0].icon, 0x1234u);
  EXPECT_TRUE(tray->showBalloon(u"You are logged out."));
  EXPECT_EQ(icons()[0].info, u"You are logged out.");
  EXPECT_EQ(icons()[0].infoTitle, u"Kipo");

  tray->hide();
  EXPECT_TRUE(icons().empty());
  EXPECT_TRUE(tray->isPresent() && tray->isHidden());
  EXPECT_TRUE(tray->setTip(u"changed while hidden"));
  EXPECT_TRUE(icons().empty()) << "a hidden icon stays out of the area";
  tray->show();
  ASSERT_EQ(icons().size(), 1u);
  EXPECT_EQ(icons()[0].tip, u"changed while hidden");
  EXPECT_EQ(icons()[0].callbackMessage, kTrayMessage);

  tray->remove();
  EXPECT_TRUE(icons().empty());
  EXPECT_FALSE(tray->isPresent());
  EXPECT_FALSE(tray->setIcon(nullptr));
  EXPECT_FALSE(tray->setTip(u"gone"));
  tray->show();
  EXPECT_TRUE(icons().empty()) << "show does not bring back a removed icon";

  ASSERT_TRUE(create());
  tray.reset();
  EXPECT_TRUE(icons().empty()) << "the destructor removes the icon";
}

TEST_F(TrayIconTest, CreateNeedsAnOwnerWindow) {
  EXPECT_FALSE(tray->create(nullptr, kTrayMessage, u"tip", nullptr, IDR_TRAY_LOGGED_OUT));
  TrayOwner gone(*tray);
  gone.DestroyWindow();
  EXPECT_FALSE(tray->create(&gone, kTrayMessage, u"tip", nullptr, IDR_TRAY_LOGGED_OUT));
  EXPECT_FALSE(tray->isPresent());
  EXPECT_TRUE(icons().empty());
}

// ---- Clicks --------------------------------------------------------------------------------------

TEST_F(TrayIconTest, ASingleClickOpensTheMenuOnlyAfterTheDoubleClickTime) {
  ASSERT_TRUE(create());
  kipotest::UiScript ui;
  ui.window(u"#32768").menu(ID_POPUP_EXIT);
  const auto clicked = std::chrono::steady_clock::now();
  notify({WM_LBUTTONDOWN, WM_LBUTTONUP});
  EXPECT_EQ(owner->menusOpened, 0) << "not at once: a second click may follow";
  EXPECT_TRUE(tray->isClickPending());
  for (int i = 0; i < 400 && owner->menusOpened == 0; ++i) pump(10);
  ASSERT_EQ(owner->menusOpened, 1);
  EXPECT_GE(std::chrono::steady_clock::now() - clicked, std::chrono::milliseconds(GetDoubleClickTime()));
  pump(50);
  EXPECT_EQ(owner->commands, std::vector<UINT>{ID_POPUP_EXIT});
  EXPECT_FALSE(tray->isClickPending());
  EXPECT_TRUE(doubleClicks.empty());
}

TEST_F(TrayIconTest, ADoubleClickGoesToTheHandlerAndOpensNoMenu) {
  ASSERT_TRUE(create());
  notify({WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP});
  pump(static_cast<int>(GetDoubleClickTime()) + 300);
  EXPECT_EQ(owner->menusOpened, 0);
  ASSERT_EQ(doubleClicks.size(), 1u);
  EXPECT_EQ(doubleClicks[0], std::make_pair(static_cast<UINT>(IDR_TRAY_LOGGED_OUT), static_cast<UINT>(WM_LBUTTONDBLCLK)));

  // A later single click is a click again.
  kipotest::UiScript ui;
  ui.window(u"#32768").menu(ID_POPUP_HELP);
  notify({WM_LBUTTONUP});
  for (int i = 0; i < 400 && owner->menusOpened == 0; ++i) pump(10);
  EXPECT_EQ(owner->menusOpened, 1);
}

TEST_F(TrayIconTest, ARightClickOpensTheMenuAtOnceAlsoWithAClickPending) {
  ASSERT_TRUE(create());
  kipotest::UiScript ui;
  ui.window(u"#32768").menu(ID_POPUP_SYNCHRONIZE);
  notify({WM_LBUTTONUP, WM_RBUTTONDOWN, WM_RBUTTONUP});
  EXPECT_EQ(owner->menusOpened, 1) << "opened within the right button's message";
  EXPECT_FALSE(tray->isClickPending());
  pump(static_cast<int>(GetDoubleClickTime()) + 300);
  EXPECT_EQ(owner->menusOpened, 1) << "the pending single click opens no second menu";
  EXPECT_EQ(owner->commands, std::vector<UINT>{ID_POPUP_SYNCHRONIZE});
}

TEST_F(TrayIconTest, AnotherIconsNotificationsAreNotTaken) {
  ASSERT_TRUE(create());
  EXPECT_FALSE(tray->onNotify(IDR_TRAY_LOGGED_IN, WM_RBUTTONUP));
  EXPECT_EQ(owner->menusOpened, 0);
}

TEST_F(TrayIconTest, AMenuSwitchedOffIgnoresClicks) {
  ASSERT_TRUE(create());
  // Message boxes switch the tray menu off while they are up.
  bool seenDuringBox = true;
  setMessageBoxSink([&](const MessageBoxRequest&) {
    notify({WM_RBUTTONUP, WM_LBUTTONDBLCLK});
    seenDuringBox = owner->menusOpened > 0 || !doubleClicks.empty();
    return IDOK;
  });
  showMessageText(u"A box");
  EXPECT_FALSE(seenDuringBox);
  EXPECT_TRUE(tray->setMenuEnabled(true)) << "the box switched it back on";
}

// ---- The popup menu ------------------------------------------------------------------------------

TEST_F(TrayIconTest, MenuItemsFollowTheDeviceAndTheSwitches) {
  ASSERT_TRUE(create());
  struct Case {
    const char* what;
    UINT menu;
    bool updateAllowed;
    std::vector<UINT> greyed;
  };
  const Case cases[] = {
      {"logged out, no update", IDR_TRAY_LOGGED_OUT, false, {}},
      {"logged out, update allowed", IDR_TRAY_LOGGED_OUT, true, {}},
      {"about and options greyed", IDR_TRAY_LOGGED_OUT, true, {ID_POPUP_ABOUT, ID_POPUP_OPTIONS}},
      {"logged in", IDR_TRAY_LOGGED_IN, true, {ID_POPUP_ABOUT}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    updateAllowed = c.updateAllowed;
    for (UINT id : {ID_POPUP_ABOUT, ID_POPUP_OPTIONS}) tray->setCommandEnabled(id, true);
    for (UINT id : c.greyed) tray->setCommandEnabled(id, false);
    EXPECT_TRUE(tray->setMenu(c.menu));
    kipotest::UiScript ui;
    ui.window(u"#32768").escape();
    const int before = owner->menusOpened;
    tray->showMenu();
    ASSERT_EQ(owner->menusOpened, before + 1);
    EXPECT_EQ(owner->defaultPosition, 0u);
    if (c.menu == IDR_TRAY_LOGGED_OUT) {
      ASSERT_NE(owner->item(ID_POPUP_NEW_DEVICE), nullptr);
      EXPECT_EQ(owner->item(ID_POPUP_NEW_DEVICE)->text, u"Use a &New Kipo Drive...");
      EXPECT_EQ(owner->item(ID_POPUP_CHECK_UPDATE) != nullptr, c.updateAllowed);
      EXPECT_NE(owner->item(ID_POPUP_SYNCHRONIZE), nullptr);
    } else {
      EXPECT_NE(owner->item(ID_POPUP_LOGOUT), nullptr);
      EXPECT_EQ(owner->item(ID_POPUP_SYNCHRONIZE), nullptr);
      EXPECT_EQ(owner->item(ID_POPUP_CHECK_UPDATE), nullptr);
    }
    for (const MenuItem& item : owner->items) {
      const bool greyed = std::find(c.greyed.begin(), c.greyed.end(), item.id) != c.greyed.end();
      EXPECT_EQ(item.grayed, greyed) << item.id;
    }
    EXPECT_FALSE(tray->isMenuShowing());
  }
  pump(20);
  EXPECT_TRUE(owner->commands.empty()) << "Escape picks nothing";
}

TEST_F(TrayIconTest, ASecondMenuRequestWhileOneIsOpenIsIgnored) {
  ASSERT_TRUE(create());
  owner->duringMenu = [this] {
    EXPECT_TRUE(tray->isMenuShowing());
    tray->showMenu();
    notify({WM_RBUTTONUP});
  };
  kipotest::UiScript ui;
  ui.window(u"#32768").menu(ID_POPUP_EXIT);
  tray->showMenu();
  pump(20);
  EXPECT_EQ(owner->menusOpened, 1);
  EXPECT_EQ(owner->commands, std::vector<UINT>{ID_POPUP_EXIT}) << "the open menu still works";
}

TEST_F(TrayIconTest, AMenuPickedFromAnotherProcess) {
  ASSERT_TRUE(create());
  std::string listing, menuListing;
  int picked = -1;
  // A person at the host: finds the icon, right-clicks it, reads the menu and picks Quit.
  std::thread person([&] {
    kipotest::runTool({"ui", "tray"}, &listing);
    kipotest::runTool({"ui", "tray", "click", "--icon", "0", "--right"});
    for (int i = 0; i < 200 && menuListing.find("menu ") == std::string::npos; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(25));
      menuListing.clear();
      kipotest::runTool({"ui", "list"}, &menuListing);
    }
    picked = kipotest::runTool({"ui", "menu", "--command", std::to_string(ID_POPUP_EXIT)});
  });
  for (int i = 0; i < 1000 && owner->commands.empty(); ++i) pump(10);
  person.join();
  EXPECT_EQ(picked, 0);
  EXPECT_NE(listing.find("icon 0"), std::string::npos) << listing;
  EXPECT_NE(menuListing.find("Use a &New Kipo Drive..."), std::string::npos) << menuListing;
  EXPECT_EQ(owner->commands, std::vector<UINT>{ID_POPUP_EXIT});
}

}  // namespace

// The general page driven as a user would: the options read and written on Apply (a value with no
// control kept as stored), what is shown on a U3 customization and for each kind of drive, the
// computer list and its buttons, and disconnecting a computer: the questions, the logout first,
// and the refusal to delete anything but one computer's own folder.
#include "ui/general_property_page.h"

#include <gtest/gtest.h>

#include <functional>

#include "app/preference_file.h"
#include "app/registry.h"
#include "lang/ids.h"
#include "platform/win32/win32.h"
#include "tests/support/ui_script.h"
#include "tests/ui/drive_dialog_fixture.h"
#include "tests/ui/options_fixture.h"
#include "ui/options_dialog.h"

namespace {

using optionstest::OptionsTest;
namespace fs = std::filesystem;

class GeneralPropertyPageTest : public OptionsTest {
 protected:
  // Runs the options with `steps` on the general page, `look` while it is up (through the set-up
  // button), then `end`.
  INT_PTR run(const std::function<void(platform::ui::Script&)>& steps, const std::function<void(CGeneralPropertyPage&)>& look,
              int end = IDOK) {
    COptionsDialog dialog(&doc, 0, nullptr);
    optionsHost.onSetup = [&] {
      if (look) look(dialog.generalPage());
    };
    kipotest::UiScript ui;
    platform::ui::Script& on = ui.dialog(IDD_OPTIONS);
    if (steps) steps(on);
    if (look) on.click(IDC_GENERAL_COMPUTER_USED);
    on.click(end);
    const INT_PTR result = dialog.DoModal();
    ui.verify();
    optionsHost.onSetup = nullptr;
    return result;
  }
  static bool prefAtRoot(const char16_t* name, bool fallback) {
    CPreferenceFile& store = getDevicePrefs();
    store.openRoot();
    bool value = fallback;
    store.getBool(name, value);
    return value;
  }
  static void setPrefAtRoot(const char16_t* name, bool value) {
    CPreferenceFile& store = getDevicePrefs();
    store.openRoot();
    store.setBool(name, value);
  }
  std::vector<std::string> autostartEvents() const {
    std::vector<std::string> out;
    for (const std::string& e : services.events)
      if (e.find("utostart") != std::string::npos) out.push_back(e);
    return out;
  }
  static bool visible(CWnd& page, int id) { return page.GetDlgItem(id) && page.GetDlgItem(id)->IsWindowVisible(); }
  static bool enabled(CWnd& page, int id) { return page.GetDlgItem(id) && page.GetDlgItem(id)->IsWindowEnabled(); }
};

TEST_F(GeneralPropertyPageTest, ApplyWritesTheOptionsAndKeepsTheOneWithoutAControl) {
  setPrefAtRoot(u"allowLoginThisComputer", true);
  EXPECT_EQ(run([](platform::ui::Script& on) { on.check(IDC_GENERAL_LOGOUT_BUTTON, false).check(IDC_GENERAL_AUTOSTART, true); },
                nullptr),
            IDOK);
  EXPECT_FALSE(prefAtRoot(u"showLogoutButton", true));
  EXPECT_TRUE(prefAtRoot(u"allowLoginThisComputer", false)) << "kept through Apply";
  EXPECT_TRUE(prefAtRoot(u"autoCheckSoftwareUpdates", false)) << "absent: true, written back";
  EXPECT_EQ(autostartEvents(), std::vector<std::string>{"enableAutostart"});
}

TEST_F(GeneralPropertyPageTest, CancelWritesNothing) {
  run([](platform::ui::Script& on) { on.check(IDC_GENERAL_LOGOUT_BUTTON, false); }, nullptr, IDCANCEL);
  EXPECT_TRUE(prefAtRoot(u"showLogoutButton", true));
  CPreferenceFile& store = getDevicePrefs();
  store.openRoot();
  bool value = false;
  EXPECT_FALSE(store.getBool(u"showLogoutButton", value)) << "nothing written";
  EXPECT_TRUE(autostartEvents().empty());
}

// What is shown: the update check never; the autostart box unless U3; the password button only
// with a device library object on a drive that is not the secure kind (7), which is the only kind
// that has one, so in the program it never shows.
TEST_F(GeneralPropertyPageTest, WhatIsShownFollowsTheCustomizationAndTheDrive) {
  drivetest::ScriptedSdk sdk;
  drivetest::DialogServices driveServices;
  struct Case {
    const char* name;
    bool u3, sdk;
    int kind;
    bool autostartShown, passwordShown;
  };
  const Case cases[] = {
      {"plain drive", false, false, 10, true, false},
      {"U3 customization", true, false, 10, false, false},
      {"library object on the secure kind", false, true, 7, true, false},
      {"library object on another kind", false, true, 10, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    optionsHost.u3 = c.u3;
    optionsHost.autostart = true;
    optionsHost.kind = c.kind;
    driveServices.sdk = c.sdk ? &sdk : nullptr;
    bool updates = true, autostart = false, password = false, autostartChecked = false;
    run(nullptr,
        [&](CGeneralPropertyPage& page) {
          updates = visible(page, IDC_GENERAL_AUTO_UPDATE);
          autostart = visible(page, IDC_GENERAL_AUTOSTART);
          password = visible(page, IDC_GENERAL_CHANGE_PASSWORD);
          autostartChecked = page.IsDlgButtonChecked(IDC_GENERAL_AUTOSTART);
        },
        IDCANCEL);
    EXPECT_FALSE(updates);
    EXPECT_EQ(autostart, c.autostartShown);
    EXPECT_EQ(password, c.passwordShown);
    EXPECT_EQ(autostartChecked, !c.u3) << "autostart reads false on a U3 customization";
  }
}

TEST_F(GeneralPropertyPageTest, ComputerListAndItsButtons) {
  struct Case {
    const char* name;
    std::function<void()> arrange;
    std::vector<CString> listed;
    bool buttons;
  };
  // This computer, "ALPHA", has its folder (the fixture's); another with a folder, one without.
  addProfile(u"BRAVO", u"Bravo");
  addProfile(u"CHARLIE", u"Charlie", false);
  std::vector<CString> listed;
  bool disconnect = false, rename = false;
  auto look = [&](CGeneralPropertyPage& page) {
    listed.clear();
    for (int i = 0; i < page.m_computers.GetCount(); ++i) {
      CString text;
      page.m_computers.GetLBText(i, text);
      listed.push_back(text);
    }
    disconnect = enabled(page, IDC_GENERAL_DISCONNECT);
    rename = enabled(page, IDC_GENERAL_RENAME);
  };
  run(nullptr, look, IDCANCEL);
  EXPECT_EQ(listed, (std::vector<CString>{self()->m_nickname, CString(u"Bravo")}));
  EXPECT_TRUE(disconnect);
  EXPECT_TRUE(rename);

  doc.markPrefsChanged(getProfileDatabase().findByNickname(u"Charlie"));
  run(nullptr, look, IDCANCEL);
  EXPECT_EQ(listed.size(), 3u) << "prefs changed count as listed";

  fs::remove_all(computersFolder());
  fs::create_directories(computersFolder());
  writeBytes(computersFolder() / "customizer.pref", "");
  getProfileDatabase().deleteAllProfiles();
  getProfileDatabase().loadProfiles();
  run(nullptr, look, IDCANCEL);
  EXPECT_TRUE(listed.empty());
  EXPECT_FALSE(disconnect);
  EXPECT_FALSE(rename);
}

TEST_F(GeneralPropertyPageTest, DisconnectingAComputerRemovesItsFolderAndProfile) {
  addProfile(u"BRAVO", u"Bravo");
  writeBytes(computersFolder() / "BRAVO" / "file.txt", "data");
  writeBytes(computersFolder() / "ALPHA" / "mine.txt", "mine");
  answers = {IDYES};
  run([](platform::ui::Script& on) { on.select(IDC_GENERAL_COMPUTERS, 1).click(IDC_GENERAL_DISCONNECT); }, nullptr, IDCANCEL);
  EXPECT_FALSE(fs::exists(computersFolder() / "BRAVO"));
  EXPECT_TRUE(fs::exists(computersFolder() / "ALPHA" / "mine.txt"));
  EXPECT_EQ(getProfileDatabase().findByNickname(u"Bravo"), nullptr);
  EXPECT_EQ(boxIds({IDS_GENERAL_DISCONNECT_SURE, IDS_GENERAL_DISCONNECTED}),
            (std::vector<UINT>{IDS_GENERAL_DISCONNECT_SURE, IDS_GENERAL_DISCONNECTED}));
}

TEST_F(GeneralPropertyPageTest, DisconnectWhileLoggedInAsksToLogOutFirst) {
  addProfile(u"BRAVO", u"Bravo");
  struct Case {
    const char* name;
    int logoutAnswer;
    bool logoutWorks;
    bool removed;
  };
  const Case cases[] = {
      {"No: nothing changes", IDNO, false, false},
      {"Yes, but the logout fails: nothing changes", IDYES, false, false},
      {"Yes and logged out: removed", IDYES, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    files().setPersonalized(true);
    optionsHost.logouts = 0;
    optionsHost.onLogout = [&] {
      if (c.logoutWorks) files().setPersonalized(false);
    };
    answers = {IDYES, c.logoutAnswer};
    run([](platform::ui::Script& on) { on.select(IDC_GENERAL_COMPUTERS, 1).click(IDC_GENERAL_DISCONNECT); }, nullptr, IDCANCEL);
    EXPECT_EQ(optionsHost.logouts, c.logoutAnswer == IDYES ? 1 : 0);
    EXPECT_EQ(!fs::exists(computersFolder() / "BRAVO"), c.removed);
    EXPECT_EQ(getProfileDatabase().findByNickname(u"Bravo") == nullptr, c.removed);
  }
  files().setPersonalized(false);
}

// A profile whose folder would be "Synchronized Computers" itself (an empty key) or outside it is
// refused with message 725 before anything of it is removed.
TEST_F(GeneralPropertyPageTest, DisconnectRefusesAFolderNotStrictlyInsideSynchronizedComputers) {
  EXPECT_TRUE(CGeneralPropertyPage::isInsideSynchronizedComputers(u"E:\\Synchronized Computers\\BRAVO"));
  EXPECT_TRUE(CGeneralPropertyPage::isInsideSynchronizedComputers(u"e:\\synchronized computers\\BRAVO(1)"));
  for (const char16_t* folder : {u"E:\\Synchronized Computers\\", u"E:\\Synchronized Computers", u"E:\\",
                                 u"E:\\Synchronized Computers\\..", u"E:\\Synchronized Computers\\..\\x",
                                 u"E:\\Other\\BRAVO", u"E:\\Synchronized Computers\\\\x"})
    EXPECT_FALSE(CGeneralPropertyPage::isInsideSynchronizedComputers(folder)) << utf8(CString(folder));

  CSystemProfile* empty = addProfile(u"", u"Nameless", false);
  ASSERT_TRUE(empty->getKey().IsEmpty());
  doc.markPrefsChanged(empty);
  writeBytes(computersFolder() / "ALPHA" / "mine.txt", "mine");
  answers = {IDYES};
  run([](platform::ui::Script& on) { on.select(IDC_GENERAL_COMPUTERS, 1).click(IDC_GENERAL_DISCONNECT); }, nullptr, IDCANCEL);
  EXPECT_TRUE(fs::exists(computersFolder() / "ALPHA" / "mine.txt")) << "no other computer's folder goes";
  EXPECT_NE(getProfileDatabase().findByNickname(u"Nameless"), nullptr);
  EXPECT_EQ(boxIds({IDS_GENERAL_DISCONNECT_SURE, IDS_GENERAL_DISCONNECT_FAILED}),
            (std::vector<UINT>{IDS_GENERAL_DISCONNECT_SURE, IDS_GENERAL_DISCONNECT_FAILED}));
}

}  // namespace

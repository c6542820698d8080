// The customizer document: the order of the login and logout passes and their progress, a failing
// or throwing snap-in that never stops a pass, the refusals before a login (no login computer, an
// unfinished synchronization, a failed last restore), `busy` and the close held back on every way
// out, synchronize's checks, opening the device (pref-file versions, a second load), closing it,
// and the removal of a computer's preference keys.
#include "app/customizer_doc.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "app/preference_file.h"
#include "app/profile_database.h"
#include "app/registry.h"
#include "lang/ids.h"
#include "tests/snapins/snapin_fixture.h"
#include "tests/support/test_windows.h"

namespace {

namespace fs = std::filesystem;
using snapintest::Journal;
using snapintest::Outcome;
using snapintest::SnapinTest;
using snapintest::TestSnapin;

const char16_t* const kProduct = u"HKEY_CURRENT_USER\\Software\\Brackwater\\Kipo";
const char16_t* const kLocalPrefs = u"HKEY_CURRENT_USER\\Software\\Brackwater\\Kipo\\localPrefs";
const char16_t* const kPrefs = u"HKEY_CURRENT_USER\\Software\\Brackwater\\Kipo\\Prefs";
const char16_t* const kAlphaPrefs =
    u"HKEY_CURRENT_USER\\Software\\Brackwater\\Kipo\\Prefs\\Synchronized Computers\\ALPHA";

// A document whose factory makes the test's snap-ins.
class TestDoc : public CCustomizerDoc {
 public:
  std::function<void(TestDoc&)> factory;

 protected:
  void makeCustomizers() override {
    if (factory) factory(*this);
  }
};

int g_closes = 0;
LRESULT CALLBACK frameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_CLOSE) {
    ++g_closes;
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

class CustomizerDocTest : public SnapinTest {
 protected:
  CustomizerDocTest() { doc.setEndOfPassPause(0); }
  ~CustomizerDocTest() override { kipotest::destroyThreadWindows(); }

  TestSnapin* add(const char16_t* name) {
    auto snapin = std::make_unique<TestSnapin>(journal, name);
    TestSnapin* raw = snapin.get();
    doc.addCustomizer(std::move(snapin));
    return raw;
  }
  void chooseLoginComputer() { ASSERT_TRUE(setLoginComputer(CString(u"ALPHA"))); }

  std::vector<std::string> steps(const std::string& step) const {
    std::vector<std::string> out;
    for (const std::string& entry : journal)
      if (entry.size() > step.size() && entry.compare(entry.size() - step.size(), step.size(), step) == 0)
        out.push_back(entry.substr(0, entry.find(':')));
    return out;
  }
  bool sent(const std::string& message) const {
    return std::find(services.messages.begin(), services.messages.end(), message) != services.messages.end();
  }
  bool happened(const std::string& event) const {
    return std::find(services.events.begin(), services.events.end(), event) != services.events.end();
  }
  bool logContains(const std::string& text) { return logBytes().find(text) != std::string::npos; }

  TestDoc doc;
};

TEST_F(CustomizerDocTest, FactoryListIsThePassOrder) {
  const std::vector<std::string> expected = {
      "COutlookProcessBackup", "CIEProcessCustomizer", "CWordProcessCustomizer", "CExcelProcessCustomizer",
      "CPowerPointProcessCustomizer", "CFileCustomizer", "CWallpaperCustomizer", "COutlookCustomizer",
      "COutlookSettingsCustomizer", "CEMailAccountsCustomizer", "COutlookABCustomizer", "CMsWordCustomizer",
      "CMsExcelCustomizer", "CMsPowerPointCustomizer", "CHistoryUserCustomizer", "CHistoryShellCustomizer",
      "CHistoryCacheCustomizer", "CHistoryDaysCustomizer", "CHomePageCustomizer", "CRecentDocsCustomizer",
      "COutlookProcessPersonalize", "COutlookSignatureCustomizer", "CCookiesCustomizer"};
  std::vector<std::string> names;
  for (const CustomizerFactoryEntry& entry : customizerFactory()) names.push_back(utf8(CString(entry.className)));
  EXPECT_EQ(names, expected);
}

// Backup of every snap-in, then personalize of those with something to carry, in factory order;
// a snap-in skipped for its source state still moves the progress on.
TEST_F(CustomizerDocTest, LoginRunsBothPassesInOrder) {
  chooseLoginComputer();
  add(u"A");
  TestSnapin* b = add(u"B");
  b->sourceState = kSourceNothing;
  b->outcomes["backup"] = Outcome::True;
  add(u"C");

  EXPECT_TRUE(doc.personalize());
  EXPECT_EQ(journal, (Journal{"A:backup", "B:backup", "C:backup", "A:personalize", "C:personalize",
                              "A:postPersonalize", "B:postPersonalize", "C:postPersonalize"}));
  // 100 / (2 * 3) = 16 per step.
  EXPECT_EQ(services.percents, (std::vector<int>{0, 16, 32, 48, 64, 80, 96, 100}));
  EXPECT_TRUE(sent("post:text Backing up B"));
  EXPECT_TRUE(sent("send:login 1"));
  EXPECT_EQ(services.events, (std::vector<std::string>{"saveComputer", "enableAutostart", "hook:1"}));
  EXPECT_EQ(regText(kProduct, u"Personalized"), "true");
  EXPECT_EQ(regText(kLocalPrefs, u"personalizing"), "false");
  EXPECT_TRUE(doc.isPersonalizeDone());
  EXPECT_FALSE(doc.isBusy());
  EXPECT_TRUE(logContains("Primary computer(Nickname): ALPHA (ALPHA)"));
}

// Whatever a step does (false, the program's exception, a class-library one, anything else), the
// pass goes on, the step is logged by name and reported once at the end.
TEST_F(CustomizerDocTest, FailingStepsNeverStopThePass) {
  chooseLoginComputer();
  add(u"Fichiers é")->outcomes["backup"] = Outcome::False;
  add(u"B")->outcomes["backup"] = Outcome::Throw;
  add(u"C")->outcomes["backup"] = Outcome::ThrowLibrary;
  add(u"D")->outcomes["personalize"] = Outcome::ThrowUndefined;
  add(u"E");

  EXPECT_FALSE(doc.personalize());
  EXPECT_EQ(steps(":backup"), (std::vector<std::string>{"Fichiers é", "B", "C", "D", "E"}));
  EXPECT_EQ(steps(":personalize"), (std::vector<std::string>{"Fichiers é", "B", "C", "D", "E"}));
  EXPECT_TRUE(logContains("Failed to backup Fichiers é<br>"));
  EXPECT_TRUE(logContains("Failed to backup B<br>"));
  EXPECT_TRUE(logContains("Failed to backup C<br>"));
  EXPECT_TRUE(logContains("{CustomizerDoc::personalize(personalize)}: Caught undefined exception.<br>"));
  EXPECT_TRUE(logContains("Failed to personalize D<br>"));
  // What the document cannot tell apart goes to the application, which knows structured exceptions.
  EXPECT_TRUE(happened("unknown:CustomizerDoc::personalize(personalize)"));
  EXPECT_TRUE(logContains("Fichiers é\nB\nC\nD\n"));
  ASSERT_EQ(boxes.size(), 1u);  // the program's exception is shown
  EXPECT_EQ(utf8(boxes[0].text), "Snap-in B gave up.");
  EXPECT_EQ(regText(kProduct, u"Personalized"), "true");
  EXPECT_FALSE(doc.isBusy());
}

// `busy` holds during the passes only, and is cleared on every way out, a close held back
// meanwhile then reaching the main window, also when the pass ends in an exception.
TEST_F(CustomizerDocTest, BusyClearedAndHeldCloseSentOnEveryWayOut) {
  kipotest::registerWindowClass(u"KipoDocTestFrame", frameProc);
  services.mainWindow = CreateWindowExW(0, u"KipoDocTestFrame", u"", WS_OVERLAPPEDWINDOW, 0, 0, 10, 10, nullptr,
                                        nullptr, nullptr, nullptr);
  ASSERT_NE(services.mainWindow, nullptr);
  chooseLoginComputer();
  for (bool escapes : {false, true}) {
    SCOPED_TRACE(escapes);
    journal.clear();
    g_closes = 0;
    CRegistry(CString(kLocalPrefs), true, true).deleteKey();
    TestDoc local;
    local.setEndOfPassPause(0);
    auto a = std::make_unique<TestSnapin>(journal, u"A");
    bool busyDuringBackup = false;
    a->during["backup"] = [&] {
      busyDuringBackup = local.isBusy();
      services.closePending = true;  // the pump held a WM_CLOSE back
    };
    if (escapes) a->outcomes["postPersonalize"] = Outcome::ThrowUndefined;
    local.addCustomizer(std::move(a));

    EXPECT_EQ(local.personalize(), !escapes);
    EXPECT_TRUE(busyDuringBackup);
    EXPECT_FALSE(local.isBusy());
    EXPECT_FALSE(services.closePending);
    pump();
    EXPECT_EQ(g_closes, 1);
    if (escapes) {
      EXPECT_TRUE(logContains("{CustomizerDoc::personalize}: Caught undefined exception."));
    }
  }
}

TEST_F(CustomizerDocTest, NoSnapinsNoPasses) {
  chooseLoginComputer();
  EXPECT_TRUE(doc.personalize());
  EXPECT_TRUE(sent("send:login 1"));
  EXPECT_EQ(regText(kProduct, u"Personalized"), "<none>");
  EXPECT_FALSE(happened("enableAutostart"));
  EXPECT_TRUE(doc.depersonalize());
  EXPECT_TRUE(sent("send:login 3"));
  EXPECT_FALSE(doc.synchronize(kSyncBothWays));
}

// Before any snap-in is touched: no login computer, an unfinished synchronization of the login
// computer, or a last restore that failed and the user cancels.
TEST_F(CustomizerDocTest, LoginRefusals) {
  add(u"A");
  EXPECT_FALSE(doc.personalize());  // nobody chose a computer
  EXPECT_TRUE(logContains("No login computer"));
  EXPECT_TRUE(sent("send:login 1"));
  EXPECT_TRUE(journal.empty());

  chooseLoginComputer();
  fs::create_directories(computersFolder());
  writeBytes(computersFolder() / "ALPHA.Sync", "");
  services.messages.clear();
  EXPECT_FALSE(doc.personalize());
  ASSERT_GE(boxes.size(), 2u);  // then the view's "login cancelled"
  EXPECT_EQ(utf8(boxes[0].text), utf8(formatMessageText(loadResString(IDS_DOC_SYNC_INCOMPLETE).GetString(), CString(u"ALPHA"))));
  EXPECT_TRUE(sent("send:login 1"));
  EXPECT_TRUE(journal.empty());
  fs::remove(computersFolder() / "ALPHA.Sync");

  struct Case {
    int answer;
    bool internetMailOnly;
    bool proceeds;
    size_t questions;
  };
  for (Case c : {Case{IDYES, false, false, 1}, Case{IDNO, false, true, 1}, Case{IDYES, true, true, 0}}) {
    SCOPED_TRACE(c.answer);
    journal.clear();
    boxes.clear();
    doc.getCustomizers()[0]->setPersonalized(false);
    doc.getCustomizers()[0]->setLastRestoreSucceeded(false);
    services.internetMailOnly = c.internetMailOnly;
    answers = {c.answer};
    EXPECT_EQ(doc.personalize(), c.proceeds);
    EXPECT_EQ(boxes.size(), c.questions);
    if (c.questions) {
      EXPECT_NE(utf8(boxes[0].text).find("A\n"), std::string::npos);
    }
    EXPECT_EQ(!steps(":backup").empty(), c.proceeds);
  }
}

TEST_F(CustomizerDocTest, AlreadyPersonalizedHostSkipsThePasses) {
  chooseLoginComputer();
  add(u"A")->setPersonalized(true);
  EXPECT_TRUE(doc.personalize());
  EXPECT_TRUE(journal.empty());
  EXPECT_TRUE(sent("send:login 1"));
  EXPECT_TRUE(happened("hook:1"));
  EXPECT_FALSE(happened("enableAutostart"));
}

// Depersonalize and restore from the last snap-in to the first; each restore's result is kept;
// a snap-in still personalized afterwards stops leave-no-trace.
TEST_F(CustomizerDocTest, LogoutWalksBackwards) {
  for (const char16_t* name : {u"A", u"B", u"C"}) add(name)->setPersonalized(true);
  static_cast<TestSnapin*>(doc.getCustomizers()[1].get())->outcomes["restore"] = Outcome::False;

  EXPECT_FALSE(doc.depersonalize());
  EXPECT_EQ(steps(":preDepersonalize"), (std::vector<std::string>{"A", "B", "C"}));
  EXPECT_EQ(steps(":depersonalize"), (std::vector<std::string>{"C", "B", "A"}));
  EXPECT_EQ(steps(":restore"), (std::vector<std::string>{"C", "B", "A"}));
  EXPECT_TRUE(steps(":leaveNoTrace").empty());
  EXPECT_TRUE(logContains("Leave-no-trace cannot procede while logged in."));
  EXPECT_TRUE(logContains("Failed to restore B<br>"));
  EXPECT_TRUE(doc.getCustomizers()[0]->getLastRestoreSucceeded());
  EXPECT_FALSE(doc.getCustomizers()[1]->getLastRestoreSucceeded());
  EXPECT_EQ(regText(kProduct, u"Personalized"), "false");
  EXPECT_TRUE(sent("send:login 3"));
  // The parked copies go before the login file, so a program killed between the two is recovered.
  EXPECT_EQ(services.events,
            (std::vector<std::string>{"disableAutostart", "hook:3", "deleteProductRegistryTraces", "deleteLoginFile"}));
  EXPECT_EQ(services.percents, (std::vector<int>{0, 16, 32, 48, 64, 80, 96, 100}));

  // A clean logout also leaves no trace; a frequently used computer keeps its autostart.
  journal.clear();
  services.events.clear();
  for (auto& snapin : doc.getCustomizers()) snapin->setPersonalized(true);
  static_cast<TestSnapin*>(doc.getCustomizers()[1].get())->outcomes.clear();
  openComputerPrefs(*self()).setBool(kFrequentUseComputerValue, true);
  EXPECT_TRUE(doc.depersonalize());
  EXPECT_EQ(steps(":leaveNoTrace"), (std::vector<std::string>{"A", "B", "C"}));
  EXPECT_FALSE(happened("disableAutostart"));
}

TEST_F(CustomizerDocTest, SynchronizeChecksUserAndMarksTheRun) {
  TestSnapin* a = add(u"A");
  doc.getSpaceMan().buildSpaceRecords();
  WCHAR name[256] = {};
  DWORD size = 256;
  ASSERT_TRUE(GetUserNameW(name, &size));
  const fs::path marker = computersFolder() / "ALPHA.Sync";
  fs::create_directories(computersFolder());

  a->setPersonalized(true);
  EXPECT_FALSE(doc.synchronize(kSyncBothWays));
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(utf8(boxes[0].text), utf8(loadResString(IDS_DOC_SYNC_WHILE_LOGGED_IN)));
  a->setPersonalized(false);

  // Somebody else synchronized last: No keeps everything as it was.
  ASSERT_TRUE(doc.setSynchronizedUser(CString(u"somebody else")));
  answers = {IDNO};
  EXPECT_FALSE(doc.synchronize(kSyncBothWays));
  EXPECT_FALSE(fs::exists(marker));
  EXPECT_EQ(utf8(doc.getSynchronizedUser()), "somebody else");

  answers = {IDYES};
  EXPECT_TRUE(doc.synchronize(kSyncBothWays));
  EXPECT_TRUE(fs::exists(marker));
  EXPECT_EQ(utf8(doc.getSynchronizedUser()), utf8(CString(name)));
  CRegistry computer{CString(kAlphaPrefs)};
  DWORD when = 0;
  EXPECT_TRUE(computer.getDword(u"Last Synchronization", when));
  EXPECT_GT(when, 0u);
  // The run itself comes through the coordinator's window, executed.
  pump();
  EXPECT_EQ(steps(":preExecute"), (std::vector<std::string>{"A"}));
}

// The drive's format version: written when older, refused when newer (nothing built, nothing of
// the session written back over the drive's file), a second load cleans up the first.
TEST_F(CustomizerDocTest, OpeningTheDevice) {
  doc.factory = [this](TestDoc& d) {
    d.addCustomizer(std::make_unique<TestSnapin>(journal, u"A"));
    d.addCustomizer(std::make_unique<TestSnapin>(journal, u"B"));
  };
  doc.loadFromDevice();
  EXPECT_TRUE(doc.isLoaded());
  EXPECT_EQ(doc.getCustomizerCount(), 2);
  EXPECT_EQ(regText(kPrefs, u"prefsVersion"), "<none>");  // a DWORD
  CRegistry prefs{CString(kPrefs)};
  DWORD version = 0;
  EXPECT_TRUE(prefs.getDword(u"prefsVersion", version));
  EXPECT_EQ(version, 101u);
  EXPECT_TRUE(keyExists(u"HKEY_CURRENT_USER\\Software\\Brackwater\\Kipo\\Prefs\\System Profiles\\ALPHA"));
  ASSERT_NE(doc.getSpaceMan().findSpaceRecord(self(), CString(u"B")), nullptr);

  doc.loadFromDevice();
  EXPECT_EQ(doc.getCustomizerCount(), 2);

  // A drive written by a newer version.
  doc.hostCleanUp();
  ASSERT_TRUE(CRegistry(CString(kPrefs), true, true).setDword(u"prefsVersion", 102));
  ASSERT_TRUE(getDevicePrefs().save());
  fs::create_directories(computersFolder());
  const fs::path file = computersFolder() / "customizer.pref";
  ASSERT_TRUE(fs::exists(file));
  const std::string before = readBytes(file);
  bool refused = false;
  try {
    doc.loadFromDevice();
  } catch (CCustomizerException* e) {
    refused = true;
    EXPECT_EQ(utf8(e->getMessage()), utf8(loadResString(IDS_DOC_PREFS_TOO_NEW)));
    e->Delete();
  }
  EXPECT_TRUE(refused);
  EXPECT_FALSE(doc.isLoaded());
  EXPECT_EQ(doc.getCustomizerCount(), 0);
  doc.hostCleanUp();
  EXPECT_EQ(readBytes(file), before);
}

// Closing the device writes the preferences back to the drive (not while the secure area is
// locked) and takes them off the host unless a snap-in still holds it.
TEST_F(CustomizerDocTest, ClosingTheDevice) {
  struct Case {
    bool personalized;
    bool locked;
  };
  for (Case c : {Case{false, false}, Case{true, false}, Case{false, true}}) {
    SCOPED_TRACE(std::to_string(c.personalized) + std::to_string(c.locked));
    CRegistry(CString(kLocalPrefs), true, true).deleteKey();
    CRegistry(CString(kPrefs), true, true).deleteKey();
    fs::remove_all(computersFolder());
    fs::create_directories(computersFolder());
    ASSERT_TRUE(CRegistry(CString(kPrefs), true, true).setDword(u"prefsVersion", 101));
    ASSERT_TRUE(getDevicePrefs().save());
    const fs::path file = computersFolder() / "customizer.pref";
    const std::string before = readBytes(file);

    doc.factory = [&](TestDoc& d) {
      auto snapin = std::make_unique<TestSnapin>(journal, u"A");
      if (c.personalized) snapin->setPersonalized(true);
      d.addCustomizer(std::move(snapin));
    };
    doc.loadFromDevice();
    ASSERT_TRUE(doc.markPrefsChanged(self()));
    services.secureAreaLoggedOut = c.locked;
    doc.hostCleanUp();
    EXPECT_FALSE(doc.isLoaded());
    EXPECT_EQ(doc.getCustomizerCount(), 0);
    EXPECT_EQ(readBytes(file) == before, c.locked);
    EXPECT_EQ(keyExists(kPrefs), c.personalized);
    // What was saved comes back.
    if (!c.locked) {
      ASSERT_TRUE(getDevicePrefs().load());
      EXPECT_EQ(regText(kAlphaPrefs, u"prefsChanged"), "true");
    }
    services.secureAreaLoggedOut = false;
  }
}

// The drive goes (or Windows ends the logon) while a synchronization pumps messages: the snap-ins
// the run is walking stay until it has stopped, then the device closes; a request still queued
// for them never runs.
TEST_F(CustomizerDocTest, ClosingTheDeviceDuringARun) {
  auto sync = std::make_unique<snapintest::TestSynchronizer>(journal);
  sync->plans = {{1, 1, "copy"}};
  doc.factory = [&](TestDoc& d) {
    auto a = std::make_unique<TestSnapin>(journal, u"A");
    d.getSpaceMan().addSynchronizer(a.get(), sync.get());
    d.addCustomizer(std::move(a));
    d.addCustomizer(std::make_unique<TestSnapin>(journal, u"B"));
  };
  doc.loadFromDevice();
  bool first = true;
  sync->duringCalculation = [&] {
    if (!first) return;
    first = false;
    doc.getSpaceMan().requestSynchronization(kSyncBothWays, nullptr, nullptr);
    doc.hostCleanUp();
    doc.loadFromDevice();  // refused meanwhile
    EXPECT_TRUE(doc.isLoaded());
    EXPECT_EQ(doc.getCustomizerCount(), 2);
  };
  doc.getSpaceMan().requestCalculation(kSyncBothWays, nullptr, nullptr);
  pump();
  EXPECT_FALSE(doc.isLoaded());
  EXPECT_EQ(doc.getCustomizerCount(), 0);
  EXPECT_EQ(std::count(journal.begin(), journal.end(), "calculate"), 1);
  EXPECT_TRUE(steps(":preExecute").empty());
  EXPECT_EQ(services.statusCodes.back(), 1);

  // A request queued before the device closed finds nothing to run.
  doc.loadFromDevice();
  journal.clear();
  doc.getSpaceMan().requestCalculation(kSyncBothWays, nullptr, nullptr);
  doc.hostCleanUp();
  pump();
  EXPECT_TRUE(journal.empty());
}

// Removing another computer deletes its keys where they are written and saves the file once
// both are gone; this computer's own keys are never removed this way.
TEST_F(CustomizerDocTest, DeleteComputerPrefKeys) {
  auto beta = std::make_unique<CSystemProfile>();
  beta->m_computerName = CString(u"BETA");
  beta->m_nickname = CString(u"Beta");
  CSystemProfile* b = beta.get();
  getProfileDatabase().profiles().push_back(std::move(beta));
  ASSERT_TRUE(getProfileDatabase().writeSystemProfiles());
  ASSERT_TRUE(doc.markPrefsChanged(b));
  ASSERT_TRUE(doc.markPrefsChanged(self()));
  fs::create_directories(computersFolder());
  ASSERT_TRUE(getDevicePrefs().save());

  const char16_t* betaPrefs = u"HKEY_CURRENT_USER\\Software\\Brackwater\\Kipo\\Prefs\\Synchronized Computers\\BETA";
  const char16_t* betaProfile = u"HKEY_CURRENT_USER\\Software\\Brackwater\\Kipo\\Prefs\\System Profiles\\BETA";
  EXPECT_FALSE(deleteComputerPrefKeys(self()));
  EXPECT_TRUE(keyExists(kAlphaPrefs));

  EXPECT_TRUE(doc.isPrefsChanged(b));
  EXPECT_TRUE(deleteComputerPrefKeys(b));
  EXPECT_FALSE(keyExists(betaPrefs));
  EXPECT_FALSE(keyExists(betaProfile));
  EXPECT_TRUE(keyExists(kAlphaPrefs));
  // The file holds the removal: loading it brings no BETA back.
  ASSERT_TRUE(getDevicePrefs().load());
  EXPECT_FALSE(keyExists(betaPrefs));
  EXPECT_FALSE(keyExists(betaProfile));
  EXPECT_TRUE(keyExists(kAlphaPrefs));
}

// With the diagnostic file on drive C: every step is announced before it runs.
TEST_F(CustomizerDocTest, DiagnosticModeAnnouncesEachStep) {
  chooseLoginComputer();
  add(u"A");
  host.write("KipoDiag.txt");
  EXPECT_TRUE(doc.personalize());
  EXPECT_TRUE(doc.depersonalize());
  std::vector<std::string> texts;
  for (const MessageBoxRequest& box : boxes) texts.push_back(utf8(box.text));
  EXPECT_EQ(texts, (std::vector<std::string>{
                       utf8(loadResString(IDS_DOC_DIAG_BACKUP)) + "A",
                       utf8(formatMessageText(loadResString(IDS_DOC_DIAG_PERSONALIZE).GetString(), CString(u"A"))),
                       utf8(loadResString(IDS_DOC_DIAG_DEPERSONALIZE)) + "A",
                       utf8(loadResString(IDS_DOC_DIAG_RESTORE)) + "A"}));
}

TEST_F(CustomizerDocTest, LookupsOverTheSnapins) {
  TestSnapin* history = add(u"History Cache");
  add(u"Home Page");
  EXPECT_EQ(doc.findCustomizer(CString(u"History Cache")), history);
  EXPECT_EQ(doc.findCustomizer(CString(u"history cache")), nullptr);
  EXPECT_FALSE(doc.removeProfileData(nullptr));
  EXPECT_TRUE(doc.removeProfileData(self()));
  EXPECT_EQ(doc.countComputersWithDeviceFolder(), 0);
  fs::create_directories(computersFolder() / "ALPHA");
  EXPECT_EQ(doc.countComputersWithDeviceFolder(), 1);
  EXPECT_FALSE(doc.isPrefsChanged(self()));
  EXPECT_TRUE(doc.markPrefsChanged(self()));
  EXPECT_TRUE(doc.isPrefsChanged(self()));
}

TEST_F(CustomizerDocTest, LoginComputerByNickname) {
  EXPECT_FALSE(setLoginComputer(CString(u"nobody")));
  EXPECT_TRUE(setLoginComputer(CString(u"ALPHA")));
  EXPECT_EQ(getProfileDatabase().getLoginProfile(), self());
  EXPECT_EQ(regText(kLocalPrefs, u"loginComputer"), "ALPHA");
}

}  // namespace

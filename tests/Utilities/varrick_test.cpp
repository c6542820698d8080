// Varrick on a host: it refuses while the main program's frame window exists and while the host
// is still personalized (deleting nothing), else removes exactly the product's data folder,
// autostart value and registry entries, schedules the RunOnce clean-up that a boot carries out,
// and speaks Japanese on a Japanese host.
#include <gtest/gtest.h>

#include "tests/Utilities/helper_fixture.h"

namespace {

using namespace helpers;

constexpr char16_t kUninstall[] = u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr char16_t kLocalPrefs[] = u"Software\\Brackwater\\Kipo\\localPrefs";

const std::u16string kRunning = u"Kipo is currently running. Please shutdown Kipo before attempting to uninstall.";
const std::u16string kDone =
    u"Kipo has been successfully uninstalled from your computer. You will need to restart your machine for the "
    u"changes to take effect.";
const std::u16string kLoggedIn =
    u"Kipo is still logged in on this computer. Please start Kipo and log out before uninstalling.";

class VarrickTest : public HelperTest {
 protected:
  // What an installed, logged-out product leaves on the host, and neighbours that must stay.
  void layOutProduct() {
    ASSERT_TRUE(fs::exists(linuxPath(productFolder_ + u"Varrick.exe")));
    fs::path data = linuxPath(dataFolder_);
    fs::create_directories(data / "Kipo" / "Logs" / "old");
    std::ofstream(data / "Kipo" / "Logs" / "old" / "a.log") << "x";
    std::ofstream(data / "Kipo" / "prefs.xml") << "x";
    std::ofstream(data / "readonly.dat") << "x";
    fs::create_directories(data / "Snapshots");
    std::ofstream(data / "Snapshots" / "s.dat") << "x";
    ASSERT_TRUE(SetFileAttributesW((dataFolder_ + u"readonly.dat").c_str(), FILE_ATTRIBUTE_READONLY));
    fs::create_directories(linuxPath(appData_ + u"\\BrackwaterTools"));
    setString(HKEY_CURRENT_USER, kRun, u"Kipo", program(u"Kipo.exe"));
    setString(HKEY_CURRENT_USER, kRun, u"Other", u"other.exe");
    setString(HKEY_CURRENT_USER, u"Software\\Brackwater\\Kipo\\install", u"installPath", productFolder_);
    setString(HKEY_CURRENT_USER, u"Software\\Brackwater\\Kipo\\localPrefs\\Snapins\\Files", u"personalized", u"false");
    setString(HKEY_CURRENT_USER, u"Software\\BrackwaterTools", u"keep", u"1");
    setString(HKEY_LOCAL_MACHINE, std::u16string(kUninstall) + u"\\Kipo", u"DisplayName", u"Kipo");
    setString(HKEY_LOCAL_MACHINE, std::u16string(kUninstall) + u"\\Kipo\\Sub", u"x", u"1");
    setString(HKEY_LOCAL_MACHINE, std::u16string(kUninstall) + u"\\Other", u"DisplayName", u"Other");
  }

  bool productUntouched() {
    return fs::exists(linuxPath(dataFolder_ + u"Kipo\\prefs.xml")) && fs::exists(linuxPath(dataFolder_ + u"readonly.dat")) &&
           readString(HKEY_CURRENT_USER, kRun, u"Kipo") != u"<missing>" &&
           keyExists(HKEY_CURRENT_USER, u"Software\\Brackwater\\Kipo\\install") &&
           keyExists(HKEY_LOCAL_MACHINE, std::u16string(kUninstall) + u"\\Kipo") &&
           valueNames(HKEY_LOCAL_MACHINE, kRunOnce).empty();
  }

  // Runs Varrick from the product folder, answers its box; false when no box came.
  bool runVarrick(Box& box, DWORD& exitCode) {
    Started varrick = start(program(u"Varrick.exe"), productFolder_);
    if (!varrick.process) return false;
    bool answered = answerBox(varrick.pid, box);
    EXPECT_TRUE(varrick.waitEnd());
    exitCode = varrick.exitCode();
    return answered;
  }
};

TEST_F(VarrickTest, RefusesWhileTheMainProgramsFrameExists) {
  layOutProduct();
  placeProgram(KIPO_STUB, productFolder_ + u"Kipo.exe");
  Started kipo = start(program(u"Kipo.exe") + u" --window");
  ASSERT_TRUE(eventually([] { return FindWindowW(u"KipoMainFrameClass", nullptr) != nullptr; }));

  Box box;
  DWORD code = 0;
  ASSERT_TRUE(runVarrick(box, code));
  EXPECT_EQ(code, 1u);
  EXPECT_EQ(box.caption, u"Kipo");
  EXPECT_EQ(box.text, kRunning);
  EXPECT_TRUE(productUntouched());
  PostMessageW(FindWindowW(u"KipoMainFrameClass", nullptr), WM_CLOSE, 0, 0);
  EXPECT_TRUE(kipo.waitEnd());
}

// A host still personalized by the product keeps the records that give it its own settings back.
TEST_F(VarrickTest, RefusesWhileTheHostIsStillPersonalized) {
  struct Case {
    const char* name;
    bool loginFile;
    const char16_t* personalized;  // value of one snap-in, or null
    bool refuses;
  };
  // The last case goes through: it comes last.
  const Case cases[] = {
      {"login file", true, nullptr, true},
      {"snap-in personalized", false, u"true", true},
      {"snap-in personalized, other case", false, u"TRUE", true},
      {"snap-ins all restored", false, u"false", false},
  };
  WCHAR computer[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD n = MAX_COMPUTERNAME_LENGTH + 1;
  ASSERT_TRUE(GetComputerNameW(computer, &n));
  const fs::path loginFile = linuxPath(appData_ + u"\\" + computer + u".login");
  const std::u16string snapin = std::u16string(kLocalPrefs) + u"\\Snapins\\Outlook";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    layOutProduct();
    if (c.loginFile) std::ofstream(loginFile) << "x";
    if (c.personalized) setString(HKEY_CURRENT_USER, snapin, u"personalized", c.personalized);

    Box box;
    DWORD code = 0;
    ASSERT_TRUE(runVarrick(box, code));
    EXPECT_EQ(code, c.refuses ? 1u : 0u);
    EXPECT_EQ(box.text, c.refuses ? kLoggedIn : kDone);
    EXPECT_EQ(productUntouched(), c.refuses);
    fs::remove(loginFile);
    setString(HKEY_CURRENT_USER, snapin, u"personalized", u"false");
  }
}

TEST_F(VarrickTest, RemovesExactlyTheProductAndABootFinishesTheJob) {
  layOutProduct();
  Box box;
  DWORD code = 1;
  ASSERT_TRUE(runVarrick(box, code));
  EXPECT_EQ(code, 0u);
  EXPECT_EQ(box.caption, u"Kipo");
  EXPECT_EQ(box.text, kDone);

  // Everything in the data folder went, read-only file included, except the running uninstaller;
  // what comes after its folder in the walk went too.
  fs::path data = linuxPath(dataFolder_);
  EXPECT_FALSE(fs::exists(data / "readonly.dat"));
  EXPECT_FALSE(fs::exists(data / "Snapshots"));
  EXPECT_FALSE(fs::exists(data / "Kipo" / "Logs"));
  EXPECT_FALSE(fs::exists(data / "Kipo" / "prefs.xml"));
  EXPECT_FALSE(fs::exists(data / "Kipo" / "Tolvane.exe"));
  EXPECT_TRUE(fs::exists(data / "Kipo" / "Varrick.exe"));
  EXPECT_TRUE(fs::exists(linuxPath(appData_ + u"\\BrackwaterTools")));

  EXPECT_EQ(readString(HKEY_CURRENT_USER, kRun, u"Kipo"), u"<missing>");
  EXPECT_EQ(readString(HKEY_CURRENT_USER, kRun, u"Other"), u"other.exe");
  EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, u"Software\\Brackwater"));
  EXPECT_TRUE(keyExists(HKEY_CURRENT_USER, u"Software\\BrackwaterTools"));
  EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, std::u16string(kUninstall) + u"\\Kipo"));
  EXPECT_TRUE(keyExists(HKEY_LOCAL_MACHINE, std::u16string(kUninstall) + u"\\Other"));

  EXPECT_EQ(valueNames(HKEY_LOCAL_MACHINE, kRunOnce), (std::vector<std::u16string>{u"Kipo1", u"Kipo2", u"Kipo3"}));
  EXPECT_EQ(readString(HKEY_LOCAL_MACHINE, kRunOnce, u"Kipo1"), u"cmd /c del /q \"" + dataFolder_ + u"Kipo\\Varrick.exe\"");
  EXPECT_EQ(readString(HKEY_LOCAL_MACHINE, kRunOnce, u"Kipo2"), u"cmd /c rmdir /q \"" + dataFolder_ + u"Kipo\\\"");
  EXPECT_EQ(readString(HKEY_LOCAL_MACHINE, kRunOnce, u"Kipo3"), u"cmd /c rmdir /q \"" + dataFolder_ + u"\"");

  // Each command needs the one before it: rmdir without /s removes only an empty folder.
  std::string out, err;
  ASSERT_EQ(kipotest::runTool({"boot"}, &out, &err), 0) << err;
  EXPECT_LT(out.find("RunOnce Kipo1"), out.find("RunOnce Kipo2")) << out;
  EXPECT_LT(out.find("RunOnce Kipo2"), out.find("RunOnce Kipo3")) << out;
  EXPECT_FALSE(fs::exists(data)) << out;
  EXPECT_TRUE(fs::exists(linuxPath(appData_)));
  EXPECT_TRUE(valueNames(HKEY_LOCAL_MACHINE, kRunOnce).empty());
}

// A host without any of the product's records (the uninstaller started from elsewhere).
TEST_F(VarrickTest, NothingToRemoveIsNoError) {
  placeProgram(linuxPath(productFolder_ + u"Varrick.exe").string(), u"C:\\Varrick.exe");
  fs::remove_all(linuxPath(dataFolder_));
  Started varrick = start(u"C:\\Varrick.exe");
  Box box;
  ASSERT_TRUE(answerBox(varrick.pid, box));
  ASSERT_TRUE(varrick.waitEnd());
  EXPECT_EQ(varrick.exitCode(), 0u);
  EXPECT_EQ(box.text, kDone);
  EXPECT_EQ(valueNames(HKEY_LOCAL_MACHINE, kRunOnce), (std::vector<std::u16string>{u"Kipo1", u"Kipo2", u"Kipo3"}));
}

// The user's locale picks the texts; the host's ANSI code page carries them to the box.
TEST_F(VarrickTest, SpeaksTheUsersLanguage) {
  struct Case {
    const char* locale;
    std::u16string running;
    std::u16string done;
  };
  const Case cases[] = {
      {"0409", kRunning, kDone},
      {"040c", kRunning, kDone},
      {"0411", u"Kipo は現在実行中です。アンインストールする前に Kipo を終了してください。",
       u"Kipo はコンピュータから正常にアンインストールされました。変更を有効にするには、コンピュータを再起動してください。"},
  };
  placeProgram(KIPO_STUB, u"C:\\Stub\\Kipo.exe");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.locale);
    setFacts({"--user-locale", c.locale, "--system-locale", c.locale});
    Started kipo = start(u"C:\\Stub\\Kipo.exe --window");
    ASSERT_TRUE(eventually([] { return FindWindowW(u"KipoMainFrameClass", nullptr) != nullptr; }));
    Box box;
    DWORD code = 0;
    ASSERT_TRUE(runVarrick(box, code));
    EXPECT_EQ(box.text, c.running);
    PostMessageW(FindWindowW(u"KipoMainFrameClass", nullptr), WM_CLOSE, 0, 0);
    EXPECT_TRUE(kipo.waitEnd());
    ASSERT_TRUE(runVarrick(box, code));
    EXPECT_EQ(box.text, c.done);
  }
}

}  // namespace

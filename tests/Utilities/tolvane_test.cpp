// Tolvane on a host: it keeps "KipoRecover" in RunOnce while the watched process runs, starts the
// main program with " -recover" in the product folder as soon as that process has ended (however
// it ended), and removes the value; a boot that finds the value left over runs it, and it starts
// nothing; without the application-data folder it writes no value and starts nothing.
#include <gtest/gtest.h>

#include "tests/Utilities/helper_fixture.h"

namespace {

using namespace helpers;

class TolvaneTest : public HelperTest {
 protected:
  void SetUp() override {
    HelperTest::SetUp();
    placeProgram(KIPO_STUB, productFolder_ + u"Kipo.exe");
    placeProgram(KIPO_STUB, u"C:\\Watched\\watched.exe");
  }
  std::u16string recoverValue() const { return u"cmd /c \"" + productFolder_ + u"\""; }
  // The stand-in main program's runs in recovery mode.
  std::vector<std::string> recoveryRuns() const {
    std::vector<std::string> runs;
    for (const auto& line : stubLines())
      if (line.rfind("Kipo.exe|", 0) == 0) runs.push_back(line);
    return runs;
  }
  // A run in recovery mode in the product folder: its argument and its current directory.
  static bool isRecoveryRun(const std::string& run, const std::u16string& folder) {
    std::size_t last = run.rfind('|');
    std::string commandLine = run.substr(0, last);
    return commandLine.size() > 9 && commandLine.substr(commandLine.size() - 9) == " -recover" &&
           run.substr(last + 1) + "\\" == toUtf8(folder);
  }
  // Waits for the one recovery run the watcher makes.
  void expectOneRecoveryRun() const {
    EXPECT_TRUE(eventually([&] { return !recoveryRuns().empty(); }));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    std::vector<std::string> runs = recoveryRuns();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_TRUE(isRecoveryRun(runs[0], productFolder_)) << runs[0];
  }
};

// Killed from outside (a crash) or ended normally: the recovery follows at once.
TEST_F(TolvaneTest, RecoveryFollowsTheEndOfTheWatchedProcess) {
  for (bool killed : {true, false}) {
    SCOPED_TRACE(killed ? "killed with SIGKILL" : "normal end");
    fs::remove(host_.c("kipo-stub.log"));
    fs::remove(host_.c("go"));
    Started watched = start(u"C:\\Watched\\watched.exe --wait C:\\go");
    Started tolvane = start(program(u"Tolvane.exe") + u" " + fromUtf8(std::to_string(watched.pid)), productFolder_);
    ASSERT_TRUE(eventually([&] { return readString(HKEY_LOCAL_MACHINE, kRunOnce, u"KipoRecover") != u"<missing>"; }));
    EXPECT_EQ(readString(HKEY_LOCAL_MACHINE, kRunOnce, u"KipoRecover"), recoverValue());
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_TRUE(tolvane.running()) << "waits while the watched process runs";
    EXPECT_TRUE(recoveryRuns().empty());

    if (killed)
      ::kill(static_cast<pid_t>(watched.pid), SIGKILL);
    else
      host_.write("go");
    ASSERT_TRUE(tolvane.waitEnd(10));
    EXPECT_EQ(tolvane.exitCode(), 0u);
    expectOneRecoveryRun();
    EXPECT_EQ(readString(HKEY_LOCAL_MACHINE, kRunOnce, u"KipoRecover"), u"<missing>");
    EXPECT_TRUE(watched.waitEnd());
  }
}

// A process id that names no running process: the recovery starts at once.
TEST_F(TolvaneTest, AnEndedOrWrongProcessIdStartsTheRecoveryAtOnce) {
  Started ended = start(u"C:\\Watched\\watched.exe");
  ASSERT_TRUE(ended.waitEnd());
  for (const std::u16string& id : {fromUtf8(std::to_string(ended.pid)), std::u16string(u"0"), std::u16string(u"junk")}) {
    SCOPED_TRACE(toUtf8(id));
    fs::remove(host_.c("kipo-stub.log"));
    Started tolvane = start(program(u"Tolvane.exe") + u" " + id, productFolder_);
    ASSERT_TRUE(tolvane.waitEnd(10));
    EXPECT_EQ(tolvane.exitCode(), 0u);
    expectOneRecoveryRun();
    EXPECT_EQ(readString(HKEY_LOCAL_MACHINE, kRunOnce, u"KipoRecover"), u"<missing>");
  }
}

TEST_F(TolvaneTest, WithoutAnArgumentItEndsWithOneAndDoesNothing) {
  Started tolvane = start(program(u"Tolvane.exe"), productFolder_);
  ASSERT_TRUE(tolvane.waitEnd(10));
  EXPECT_EQ(tolvane.exitCode(), 1u);
  EXPECT_TRUE(valueNames(HKEY_LOCAL_MACHINE, kRunOnce).empty());
  EXPECT_TRUE(stubLines().empty());
}

// The application-data folder cannot be had (its registered place is missing): the host folder
// would resolve against the current drive's root, so neither the RunOnce value nor the start
// happens; the watcher still ends with the watched process.
TEST_F(TolvaneTest, WithoutTheApplicationDataFolderNothingIsWrittenOrStarted) {
  placeProgram(KIPO_STUB, u"C:\\Brackwater\\Kipo\\Kipo.exe");
  setString(HKEY_CURRENT_USER, u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders",
            u"AppData", u"C:\\Nowhere\\Application Data");
  Started watched = start(u"C:\\Watched\\watched.exe --wait C:\\go");
  Started tolvane = start(program(u"Tolvane.exe") + u" " + fromUtf8(std::to_string(watched.pid)), productFolder_);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_TRUE(tolvane.running()) << "waits while the watched process runs";
  EXPECT_EQ(readString(HKEY_LOCAL_MACHINE, kRunOnce, u"KipoRecover"), u"<missing>");
  host_.write("go");
  ASSERT_TRUE(tolvane.waitEnd(10));
  EXPECT_EQ(tolvane.exitCode(), 0u);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_TRUE(recoveryRuns().empty());
  EXPECT_TRUE(valueNames(HKEY_LOCAL_MACHINE, kRunOnce).empty());
  EXPECT_TRUE(watched.waitEnd());
}

// The watcher lost while it waits (killed, then the power goes): at the next boot the value runs
// (it names the product folder, so cmd starts nothing) and is gone.
TEST_F(TolvaneTest, ABootRunsALeftOverRecoverValue) {
  Started watched = start(u"C:\\Watched\\watched.exe --wait C:\\go");
  Started tolvane = start(program(u"Tolvane.exe") + u" " + fromUtf8(std::to_string(watched.pid)), productFolder_);
  ASSERT_TRUE(eventually([&] { return readString(HKEY_LOCAL_MACHINE, kRunOnce, u"KipoRecover") != u"<missing>"; }));
  ::kill(static_cast<pid_t>(tolvane.pid), SIGKILL);
  ASSERT_TRUE(tolvane.waitEnd());

  std::string out, err;
  ASSERT_EQ(kipotest::runTool({"boot"}, &out, &err), 0) << err;
  EXPECT_TRUE(watched.waitEnd(1));
  EXPECT_NE(out.find("HKLM RunOnce KipoRecover: " + toUtf8(recoverValue())), std::string::npos) << out;
  EXPECT_EQ(readString(HKEY_LOCAL_MACHINE, kRunOnce, u"KipoRecover"), u"<missing>");
  EXPECT_TRUE(recoveryRuns().empty());
}

}  // namespace

// Halvern as a program of the host: "-s" closes the main program's frame window from another
// process and waits for it (ending it when it ignores the close) under the host's time scale, then
// removes the host data folder; the launch pad's environment reaches it through `kipo-host run
// --env`; a file it signs passes the main program's verification.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "tests/U3/halvern/halvern_fixture.h"

namespace {

using namespace halverntest;

class ProgramTest : public HalvernTest {
 protected:
  void SetUp() override {
    HalvernTest::SetUp();
    fs::copy_file(KIPO_HALVERN, programFolder() / "Halvern.exe", fs::copy_options::overwrite_existing);
    fs::create_directories(host.c("Standin"));
    fs::copy_file(KIPO_FOREIGN, host.c("Standin/Kipo.exe"), fs::copy_options::overwrite_existing);
    WCHAR appData[MAX_PATH] = {};
    ASSERT_EQ(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, 0, appData), S_OK);
    hostFolder_ = std::u16string(appData) + u"\\Brackwater";
  }
  void TearDown() override { kipotest::runTool({"shutdown"}); }

  // Starts the stand-in main program with a frame of this class; it ends with code 7 when closed.
  HANDLE startStandIn(const char16_t* frameClass, const char16_t* closeMode) {
    std::u16string line = std::u16string(u"C:\\Standin\\Kipo.exe --class ") + frameClass + u" --close " + closeMode +
                          u" --exit-code 7";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return nullptr;
    CloseHandle(pi.hThread);
    for (int i = 0; i < 2000 && !FindWindowW(frameClass, nullptr); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return pi.hProcess;
  }
  // Runs Halvern through the host tool and waits for it; the real seconds it took.
  double runHalvern(const std::string& arguments, const std::vector<std::string>& env = {}) {
    std::vector<std::string> args{"run", "C:\\U3\\Halvern.exe " + arguments, "--wait"};
    for (const auto& e : env) args.insert(args.end(), {"--env", e});
    auto start = std::chrono::steady_clock::now();
    std::string out, err;
    EXPECT_EQ(kipotest::runTool(args, &out, &err), 0) << err;
    EXPECT_NE(out.find("exit code 0 "), std::string::npos) << out;
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
  static DWORD exitCode(HANDLE process) {
    DWORD code = 1234;
    WaitForSingleObject(process, 10000);
    GetExitCodeProcess(process, &code);
    CloseHandle(process);
    return code;
  }
  void makeHostFolder() const {
    std::string folder = platform::host::resolvePath(hostFolder_).linux;
    spit(fs::path(folder) / "Kipo" / "settings.txt", "x");
  }
  bool hostFolderExists() const { return GetFileAttributesW(hostFolder_.c_str()) != INVALID_FILE_ATTRIBUTES; }

  std::u16string hostFolder_;
};

TEST_F(ProgramTest, AppStopClosesTheMainProgramAndRemovesTheHostFolder) {
  std::string err;
  // A scale that leaves the first wait of 80 s long enough (4 s) to tell from a close at once on a
  // loaded machine.
  ASSERT_EQ(kipotest::runTool({"set", "--time-scale", "20"}, nullptr, &err), 0) << err;
  for (const char16_t* frameClass : {u"KipoMainFrameClass", u"CustomizerMainFrameClass"}) {
    SCOPED_TRACE(toUtf8(frameClass));
    makeHostFolder();
    HANDLE standIn = startStandIn(frameClass, u"now");
    ASSERT_NE(standIn, nullptr);
    // Closed at once: inside the first wait.
    EXPECT_LT(runHalvern("-appStop"), 80.0 / 20);
    EXPECT_EQ(exitCode(standIn), 7u) << "closed by its window, not ended from outside";
    EXPECT_FALSE(hostFolderExists());
  }
}

TEST_F(ProgramTest, AMainProgramThatIgnoresTheCloseIsEndedAfterBothWaits) {
  std::string err;
  ASSERT_EQ(kipotest::runTool({"set", "--time-scale", "100"}, nullptr, &err), 0) << err;
  makeHostFolder();
  HANDLE standIn = startStandIn(u"KipoMainFrameClass", u"never");
  ASSERT_NE(standIn, nullptr);
  double seconds = runHalvern("-s");
  EXPECT_GE(seconds, 1.6) << "80 s and 80 s more at scale 100";
  EXPECT_LT(seconds, 1.6 + 3.0);
  EXPECT_EQ(exitCode(standIn), 0u) << "ended from outside with exit code 0";
  EXPECT_FALSE(hostFolderExists());
}

TEST_F(ProgramTest, WithoutAMainProgramNothingIsRemoved) {
  makeHostFolder();
  runHalvern("-s");
  EXPECT_TRUE(hostFolderExists());
}

// The launch pad's variables reach the program through the host tool.
TEST_F(ProgramTest, TheU3EnvironmentComesWithKipoHostRun) {
  host.write("Dev/Synchronized Computers/ALPHA/a.txt", "alpha");
  fs::create_directories(host.c("Dev/Documents"));
  runHalvern("-UpgradeKipo", {"U3_DEVICE_PATH=C:\\Dev", "U3_DEVICE_DOCUMENT_PATH=C:\\Dev\\Documents"});
  EXPECT_EQ(host.read("Dev/Documents/Synchronized Computers/ALPHA/a.txt"), "alpha");
  EXPECT_TRUE(host.gone("Dev/Synchronized Computers"));
}

TEST_F(ProgramTest, AFileSignedByTheProgramPassesTheMainProgramsCheck) {
  host.write("Signed Files/kipo.xml",
             "<Kipo><U3_Customization><OEMCustomer/></U3_Customization><Signature><HashValue/></Signature></Kipo>");
  runHalvern("-CreateHash \"C:\\Signed Files\\kipo.xml\"", {"U3_ENV_LANGUAGE=1036"});
  std::string err;
  EXPECT_EQ(kipotest::runProgram(KIPO_SIGN_TOOL, {"--verify", host.c("Signed Files/kipo.xml").string()}, nullptr, &err), 0)
      << err << host.read("Signed Files/kipo.xml");
}

}  // namespace

// kipo-host fault: faults added by the tool act in this process, faults added here act in the
// tool's process, and host-wide counting is shared between processes.
#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <chrono>
#include <string>

#include "platform/base/fault.h"
#include "platform/host/host.h"
#include "platform/win32/error.h"
#include "platform/win32/registry.h"
#include "tests/support/test_host.h"

namespace fault = platform::fault;
using kipotest::runTool;

namespace {

std::string toolCheck(const std::string& call, const std::string& subject = "") {
  std::string out;
  std::vector<std::string> args{"fault", "check", call};
  if (!subject.empty()) args.push_back(subject);
  EXPECT_EQ(runTool(args, &out), 0);
  return out;
}

}  // namespace

TEST(FaultTool, AddedByTheToolActsHereListAndClear) {
  kipotest::TestHost host;
  std::string out;
  ASSERT_EQ(runTool({"fault", "add", "RegSetValueExW", "--subject", "HKEY_CURRENT_USER\\Software\\Brackwater",
                     "--error", "ERROR_ACCESS_DENIED", "--count", "1"}, &out), 0);
  std::string id = out.substr(0, out.find('\n'));
  EXPECT_EQ(fault::check("RegSetValueExW", u"HKEY_CURRENT_USER\\Software\\Brackwater\\Kipo"),
            static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(fault::check("RegSetValueExW", u"HKEY_CURRENT_USER\\Software\\Brackwater\\Kipo"), 0u) << "count 1";

  ASSERT_EQ(runTool({"fault", "list"}, &out), 0);
  EXPECT_EQ(out, id + " RegSetValueExW subject=\"HKEY_CURRENT_USER\\Software\\Brackwater\" fail error=5 "
                      "ERROR_ACCESS_DENIED nth=1 count=1 seen=1\n");

  ASSERT_EQ(runTool({"fault", "add", "CreateFileW", "--delay", "10"}), 0);
  ASSERT_EQ(runTool({"fault", "clear", id}), 0);
  EXPECT_NE(runTool({"fault", "clear", id}), 0) << "already gone";
  EXPECT_EQ(fault::listHostFaults().size(), 1u);
  ASSERT_EQ(runTool({"fault", "clear"}), 0);
  EXPECT_TRUE(fault::listHostFaults().empty());
}

TEST(FaultTool, RefusesBadUsage) {
  kipotest::TestHost host;
  const std::vector<std::vector<std::string>> bad = {
      {"fault", "add", "ReadFile"},                                // no action
      {"fault", "add", "ReadFile", "--error", "0"},                // 0 is success, not a fault
      {"fault", "add", "ReadFile", "--error", "NO_SUCH_ERROR"},
      {"fault", "add", "ReadFile", "--kill", "--delay", "5"},      // two actions
      {"fault", "add", "ReadFile", "--crash", "--kill"},
      {"fault", "add", "ReadFile", "--kill", "--nth", "0"},
      {"fault", "add", "ReadFile", "--kill", "--bogus"},
      {"fault", "add", "ReadFile", "--delay", " -1"},             // no wrapped or saturated numbers
      {"fault", "add", "ReadFile", "--delay", "4294967296"},
      {"fault", "add", "ReadFile", "--error", "0x"},
      {"fault", "add", "ReadFile", "--kill", "--count", "+5"},
      {"fault", "frobnicate"},
      {"fault", "points", "extra"},
  };
  for (const auto& args : bad) EXPECT_EQ(runTool(args), 2) << args.back();
  EXPECT_TRUE(fault::listHostFaults().empty());
}

// A name no call checks could never fire: a test relying on it would pass without testing
// anything. The tool names what is wrong and where to look.
TEST(FaultTool, RefusesACallWithNoFaultPoint) {
  kipotest::TestHost host;
  for (const char* call : {"CreateFile", "CreateFileA", "createfilew", "TerminateProcess", ""}) {
    std::string out, err;
    EXPECT_EQ(runTool({"fault", "add", call, "--error", "5"}, &out, &err), 1) << call;
    EXPECT_NE(err.find("no fault point named \"" + std::string(call) + "\""), std::string::npos) << err;
    EXPECT_NE(err.find("fault points"), std::string::npos) << err;
    EXPECT_NE(runTool({"fault", "check", call}), 0) << call;
  }
  EXPECT_TRUE(fault::listHostFaults().empty());
  ASSERT_EQ(runTool({"fault", "add", "FindNextFileW", "--error", "5"}), 0) << "a checked call is accepted";
  EXPECT_EQ(fault::listHostFaults().size(), 1u);
}

TEST(FaultTool, PointsListsTheTableAndListStaysTheActiveFaults) {
  kipotest::TestHost host;
  std::string out;
  ASSERT_EQ(runTool({"fault", "points"}, &out), 0);
  // The tool's table is this process's table and the MAPI stand-in's calls, which it links so
  // that faults can be set on them.
  std::vector<std::string> names = fault::points();
  for (const char* mapiCall : {"IMAPIContainer::GetContentsTable", "IMAPIFolder::CreateFolder", "IMAPIFolder::CreateMessage", "IMAPIFolder::DeleteFolder",
                               "IMAPIFolder::DeleteMessages", "IMessage::CopyTo", "IMessage::SaveChanges",
                               "IMessage::SubmitMessage", "IMsgServiceAdmin::ConfigureMsgService",
                               "IMsgServiceAdmin::CreateMsgService"})
    if (std::find(names.begin(), names.end(), mapiCall) == names.end()) names.push_back(mapiCall);
  std::sort(names.begin(), names.end());
  std::string expected;
  for (const std::string& name : names) expected += name + "\n";
  EXPECT_EQ(out, expected);
  for (const char* name : {"CloseHandle", "CoCreateInstance", "FindWindowW", "SendMessageTimeoutW"})
    EXPECT_NE(out.find(std::string(name) + "\n"), std::string::npos) << name;
  ASSERT_EQ(runTool({"fault", "list"}, &out), 0);
  EXPECT_EQ(out, "") << "no fault is active";
}

// The crash is the platform's own access violation: the tool dies of SIGSEGV inside the call.
TEST(FaultTool, CrashFaultsTheCallingProcess) {
  kipotest::TestHost host;
  ASSERT_EQ(runTool({"fault", "add", "GetFileSize", "--crash", "--subject", "C:\\pref"}), 0);
  std::string out;
  ASSERT_EQ(runTool({"fault", "list"}, &out), 0);
  EXPECT_NE(out.find(" crash nth=1 count=0 seen=0"), std::string::npos) << out;
  EXPECT_EQ(toolCheck("GetFileSize", "C:\\other"), "0\n");
#if !defined(__SANITIZE_ADDRESS__)
  EXPECT_EQ(runTool({"fault", "check", "GetFileSize", "C:\\pref\\customizer.pref"}), 128 + SIGSEGV);
#endif
}

TEST(FaultTool, HostWideCountingIsSharedBetweenProcesses) {
  kipotest::TestHost host;
  fault::Fault f;
  f.call = "CopyFileW";
  f.error = ERROR_DISK_FULL;
  f.nth = 2;
  f.count = 2;
  fault::addHostFault(f);
  EXPECT_EQ(fault::check("CopyFileW"), 0u);                               // call 1, here
  EXPECT_EQ(toolCheck("CopyFileW"), "112\n");                              // call 2, there
  EXPECT_EQ(fault::check("CopyFileW"), static_cast<DWORD>(ERROR_DISK_FULL));  // call 3, here
  EXPECT_EQ(toolCheck("CopyFileW"), "0\n");                                // call 4, there
  EXPECT_EQ(toolCheck("DeleteFileW"), "0\n") << "other calls do not count";
  EXPECT_EQ(fault::listHostFaults().at(0).seen, 3u) << "a spent fault stops counting";
}

TEST(FaultTool, KillAndDelayActInTheOtherProcess) {
  kipotest::TestHost host;
  ASSERT_EQ(runTool({"fault", "add", "OpenProcess", "--kill", "--subject", "Kipo"}), 0);
  EXPECT_EQ(toolCheck("OpenProcess", "Other.exe"), "0\n");
  EXPECT_EQ(runTool({"fault", "check", "OpenProcess", "kipo.exe"}), 128 + 9) << "SIGKILL";

  // A delay is monotonic time: at scale 100, 3 s pass in about 30 ms.
  platform::host::Host::current().setFact(platform::host::fact::TimeScale, "100");
  ASSERT_EQ(runTool({"fault", "add", "ReadFile", "--delay", "3000"}), 0);
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(toolCheck("ReadFile"), "0\n");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

TEST(FaultTool, RegistryCallsObeyAFaultAddedByTheTool) {
  kipotest::TestHost host;
  ASSERT_EQ(runTool({"fault", "add", "RegSetValueExW", "--subject", "hkey_current_user\\software\\brackwater",
                     "--error", "112", "--nth", "2", "--count", "1"}),
            0);
  HKEY key = nullptr, other = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"Software\\Brackwater\\Kipo", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &key, nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"Software\\Other", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &other,
                            nullptr),
            ERROR_SUCCESS);
  DWORD one = 1;
  auto set = [&](HKEY k, const char16_t* name) {
    return RegSetValueExW(k, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), sizeof one);
  };
  EXPECT_EQ(set(other, u"x"), ERROR_SUCCESS) << "another key is not the subject";
  EXPECT_EQ(set(key, u"a"), ERROR_SUCCESS);
  EXPECT_EQ(set(key, u"b"), ERROR_DISK_FULL);
  EXPECT_EQ(set(key, u"c"), ERROR_SUCCESS);
  EXPECT_EQ(RegQueryValueExW(key, u"b", nullptr, nullptr, nullptr, nullptr), ERROR_FILE_NOT_FOUND)
      << "the failed call wrote nothing";
  RegCloseKey(key);
  RegCloseKey(other);

  // A kill fault ends the tool inside its registry call, before the write.
  ASSERT_EQ(runTool({"fault", "add", "SHSetValueW", "--kill"}), 0);
  EXPECT_EQ(runTool({"reg", "set", "HKEY_CURRENT_USER\\Software\\Brackwater", "killed", "--data", "1"}), 128 + 9);
  ASSERT_EQ(runTool({"fault", "clear"}), 0);
  EXPECT_NE(runTool({"reg", "query", "HKEY_CURRENT_USER\\Software\\Brackwater", "killed"}), 0);
}

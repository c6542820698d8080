// The process list interfaces as a program loads them by name (PSAPI, ToolHelp in kernel32,
// VDMDBG), the 16-bit task table behind VDMEnumTaskWOWEx that `kipo-host ps --add-16bit-task`
// fills, and the 8-bit snapshot entries in the host's ANSI code page.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/base/text.h"
#include "platform/host/host.h"
#include "platform/host/paths.h"
#include "platform/win32/win32.h"
#include "tests/support/test_host.h"

namespace {

namespace fs = std::filesystem;
using platform::text::toUtf8;

// Copies the stub program into the host under a Windows path, making the folders on the way.
void placeStub(const std::u16string& windowsPath) {
  for (std::size_t i = 3; i < windowsPath.size(); ++i)
    if (windowsPath[i] == u'\\') CreateDirectoryW(windowsPath.substr(0, i).c_str(), nullptr);
  fs::copy_file(KIPO_STUB, platform::host::resolvePath(windowsPath).linux, fs::copy_options::overwrite_existing);
}

struct Task {
  DWORD thread;
  WORD module, task;
  std::string moduleName, fileName;
};

struct Collect {
  std::vector<Task> tasks;
  std::size_t stopAfter = 0;  // 0: never stop
};

BOOL collect(DWORD thread, WORD module, WORD task, PSZ moduleName, PSZ fileName, LPARAM data) {
  auto* c = reinterpret_cast<Collect*>(data);
  c->tasks.push_back({thread, module, task, moduleName, fileName});
  return c->stopAfter && c->tasks.size() >= c->stopAfter;
}

class ToolhelpTest : public ::testing::Test {
 protected:
  void TearDown() override {
    host_.write("stop");
    for (HANDLE h : started_) {
      WaitForSingleObject(h, 20000);
      CloseHandle(h);
    }
  }
  // Starts the stub program under a Windows path; returns its id.
  DWORD run(const std::u16string& windowsPath) {
    placeStub(windowsPath);
    std::u16string line = u"\"" + windowsPath + u"\" --wait C:\\stop";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    EXPECT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    if (pi.hThread) CloseHandle(pi.hThread);
    if (pi.hProcess) started_.push_back(pi.hProcess);
    return pi.dwProcessId;
  }
  int addTask(DWORD pid, std::vector<std::string> more, std::string* out = nullptr, std::string* err = nullptr) {
    std::vector<std::string> args{"ps", "--add-16bit-task", std::to_string(pid)};
    args.insert(args.end(), more.begin(), more.end());
    return kipotest::runTool(args, out, err);
  }
  kipotest::TestHost host_;
  std::vector<HANDLE> started_;
};

TEST_F(ToolhelpTest, TheLibrariesExportWhatTheProcessListTakes) {
  const struct {
    const char* library;
    std::vector<const char*> entries;
  } libraries[] = {
      {"PSAPI", {"EnumProcesses", "EnumProcessModules", "GetModuleFileNameExA", "GetModuleBaseNameA"}},
      {"Kernel32",
       {"CreateToolhelp32Snapshot", "Process32First", "Process32Next", "Process32FirstW", "Module32First",
        "Module32Next"}},
      {"VDMDBG", {"VDMEnumTaskWOWEx"}},
  };
  for (const auto& l : libraries) {
    HMODULE m = LoadLibraryA(l.library);
    ASSERT_NE(m, nullptr) << l.library;
    for (const char* e : l.entries) EXPECT_NE(GetProcAddress(m, e), nullptr) << l.library << " " << e;
    EXPECT_EQ(GetProcAddress(m, "NoSuchEntry"), nullptr);
    FreeLibrary(m);
  }
  auto vdmEnum = reinterpret_cast<INT (*)(DWORD, TASKENUMPROCEX, LPARAM)>(
      GetProcAddress(LoadLibraryA("VDMDBG"), "VDMEnumTaskWOWEx"));
  ASSERT_NE(vdmEnum, nullptr);
  EXPECT_EQ(vdmEnum(GetCurrentProcessId(), collect, 0), 0);
}

TEST_F(ToolhelpTest, TasksOfAVirtualDosMachineInOrderOfCreation) {
  DWORD vdm = run(u"C:\\WINDOWS\\system32\\ntvdm.exe");
  DWORD other = run(u"C:\\Apps\\other.exe");
  std::string out, err;
  ASSERT_EQ(addTask(vdm, {"C:\\WIN16\\WRITE.EXE"}, &out, &err), 0) << err;
  ASSERT_EQ(addTask(vdm, {"C:\\WIN16\\SOL.EXE", "solitair"}), 0);
  EXPECT_EQ(addTask(other, {"C:\\X.EXE"}, nullptr, &err), 1);
  EXPECT_NE(err.find("not NTVDM.EXE"), std::string::npos) << err;
  EXPECT_EQ(addTask(999999, {"C:\\X.EXE"}), 1);
  EXPECT_EQ(addTask(vdm, {"C:\\X.EXE", "TOOLONGNAME"}), 2);

  Collect all;
  EXPECT_EQ(VDMEnumTaskWOWEx(vdm, collect, reinterpret_cast<LPARAM>(&all)), 2);
  ASSERT_EQ(all.tasks.size(), 2u);
  EXPECT_EQ(all.tasks[0].fileName, "C:\\WIN16\\WRITE.EXE");
  EXPECT_EQ(all.tasks[0].moduleName, "WRITE");
  EXPECT_EQ(out, "0x" + [&] {
    char b[8];
    std::snprintf(b, sizeof b, "%04X", all.tasks[0].task);
    return std::string(b);
  }() + "\n");
  EXPECT_EQ(all.tasks[1].moduleName, "SOLITAIR");
  EXPECT_NE(all.tasks[0].task, all.tasks[1].task);
  EXPECT_NE(all.tasks[0].module, all.tasks[1].module);

  Collect first;
  first.stopAfter = 1;
  EXPECT_EQ(VDMEnumTaskWOWEx(vdm, collect, reinterpret_cast<LPARAM>(&first)), 1);
  EXPECT_EQ(VDMEnumTaskWOWEx(other, collect, reinterpret_cast<LPARAM>(&first)), 0);
  EXPECT_EQ(VDMEnumTaskWOWEx(vdm, nullptr, 0), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

  // `ps` lists the tasks under their process.
  ASSERT_EQ(kipotest::runTool({"ps"}, &out), 0);
  std::size_t at = out.find("ntvdm.exe");
  ASSERT_NE(at, std::string::npos) << out;
  EXPECT_NE(out.find("WRITE    C:\\WIN16\\WRITE.EXE", at), std::string::npos) << out;
}

TEST_F(ToolhelpTest, TasksEndWithTheirProcess) {
  DWORD vdm = run(u"C:\\WINDOWS\\system32\\NTVDM.EXE");
  ASSERT_EQ(addTask(vdm, {"C:\\WIN16\\WRITE.EXE"}), 0);
  HANDLE h = started_.back();
  ASSERT_TRUE(TerminateProcess(h, 7));
  ASSERT_EQ(WaitForSingleObject(h, 20000), WAIT_OBJECT_0);
  Collect all;
  EXPECT_EQ(VDMEnumTaskWOWEx(vdm, collect, reinterpret_cast<LPARAM>(&all)), 0);
  EXPECT_EQ(addTask(vdm, {"C:\\WIN16\\WRITE.EXE"}), 1);
}

// The 8-bit snapshot entry carries the image name in the host's ANSI code page.
TEST(ToolhelpAnsiTest, SnapshotNamesInTheAnsiCodePage) {
  platform::host::HostOptions options;
  options.facts["system_locale"] = "0411";
  options.facts["user_locale"] = "0411";
  kipotest::TestHost host(options);
  const std::u16string path = u"C:\\Apps\\\u65e5\u672c.exe";
  placeStub(path);
  std::u16string line = u"\"" + path + u"\" --wait C:\\stop";
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  ASSERT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));

  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  ASSERT_NE(snapshot, INVALID_HANDLE_VALUE);
  PROCESSENTRY32 e{};
  e.dwSize = sizeof e;
  std::string found;
  for (BOOL ok = Process32First(snapshot, &e); ok; ok = Process32Next(snapshot, &e))
    if (e.th32ProcessID == pi.dwProcessId) found = e.szExeFile;
  CloseHandle(snapshot);
  EXPECT_EQ(found, "\x93\xfa\x96\x7b.exe");  // the two characters in code page 932

  host.write("stop");
  WaitForSingleObject(pi.hProcess, 20000);
  CloseHandle(pi.hProcess);
  if (pi.hThread) CloseHandle(pi.hThread);
}

}  // namespace

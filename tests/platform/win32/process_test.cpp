// Processes: command-line splitting, starting real programs by content, 32-bit exit codes, waits
// and termination, OpenProcess, the process snapshot and PSAPI, running images, standard handles.
#include "platform/win32/process.h"

#include <fcntl.h>
#include <signal.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "platform/base/text.h"
#include "platform/host/environment.h"
#include "platform/host/process_table.h"
#include "platform/win32/error.h"
#include "platform/win32/file.h"
#include "platform/win32/module.h"
#include "platform/win32/sync.h"
#include "platform/win32/system.h"
#include "tests/platform/win32/fixtures/probe.h"

extern char** environ;

namespace {

using platform::text::toUtf8;
using probetest::finish;
using probetest::ProbeHost;
using probetest::probeLine;
using probetest::start;

std::vector<std::u16string> argvOf(const char16_t* line) {
  int n = -1;
  LPWSTR* argv = CommandLineToArgvW(line, &n);
  EXPECT_NE(argv, nullptr);
  std::vector<std::u16string> out;
  for (int i = 0; argv && i < n; ++i) out.emplace_back(argv[i]);
  EXPECT_EQ(argv ? argv[n] : nullptr, nullptr) << "the array ends with a null pointer";
  EXPECT_EQ(LocalFree(argv), nullptr);
  return out;
}

TEST(CommandLineToArgvW, SplitsByTheWindowsRules) {
  struct Case {
    const char16_t* line;
    std::vector<std::u16string> args;
    const char* rule;
  } cases[] = {
      {u"prog a b", {u"prog", u"a", u"b"}, "blanks separate"},
      {u"prog  a\t\tb  ", {u"prog", u"a", u"b"}, "runs of blanks and tabs are one separator"},
      {u"\"C:\\Program Files\\x.exe\" \"a b\" c", {u"C:\\Program Files\\x.exe", u"a b", u"c"}, "quotes group"},
      {u"C:\\dir\\prog.exe x", {u"C:\\dir\\prog.exe", u"x"}, "backslashes in the program name are plain"},
      {u"p a\\\\b", {u"p", u"a\\\\b"}, "backslashes not before a quote are literal"},
      {u"p a\\\"b", {u"p", u"a\"b"}, "one backslash before a quote makes it literal"},
      {u"p a\\\\\"b c\"", {u"p", u"a\\b c"}, "2n backslashes before a quote: n, and the quote groups"},
      {u"p a\\\\\\\"b", {u"p", u"a\\\"b"}, "2n+1 backslashes before a quote: n and a literal quote"},
      {u"p \"C:\\dir\\\\\" next", {u"p", u"C:\\dir\\", u"next"}, "a doubled trailing backslash in quotes"},
      {u"p \"a\"\"b\"", {u"p", u"a\"b"}, "\"\" inside quotes is a literal quote"},
      {u"p \"a\"\"b c\"", {u"p", u"a\"b", u"c"}, "\"\" inside quotes also ends the quoted block"},
      {u"p \"a\"\"\"b c\"", {u"p", u"a\"b c"}, "a third quote opens a new block"},
      {u"p \"\"\"a b\"", {u"p", u"\"a", u"b"}, "\"\"\" at the start: a quote, the block closed"},
      {u"p \"\"", {u"p", u""}, "an empty quoted argument counts"},
      {u"p a\"b c\"d", {u"p", u"ab cd"}, "a quoted part inside an argument"},
  };
  for (const auto& c : cases) EXPECT_EQ(argvOf(c.line), c.args) << c.rule;
}

TEST(CommandLineToArgvW, QuotedArgumentsRoundTrip) {
  const std::u16string args[] = {u"plain", u"two words", u"", u"ends\\", u"in \"quotes\"", u"C:\\dir\\",
                                 u"a\\\\\"b", u"tab\there"};
  std::u16string line = u"prog";
  for (const auto& a : args) line += u" " + platform::process::quoteArgument(a);
  std::vector<std::u16string> split = argvOf(line.c_str());
  ASSERT_EQ(split.size(), std::size(args) + 1);
  for (std::size_t i = 0; i < std::size(args); ++i) EXPECT_EQ(split[i + 1], args[i]);
}

TEST(CommandLineToArgvW, EmptyLineGivesTheProgramPathAndNullCountFails) {
  kipotest::TestHost host;
  WCHAR path[MAX_PATH];
  DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  EXPECT_EQ(argvOf(u""), std::vector<std::u16string>{std::u16string(path, n)});
  SetLastError(0);
  EXPECT_EQ(CommandLineToArgvW(u"x", nullptr), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(GetCommandLineW, ProcessStartedFromLinuxGetsOneBuiltFromArgv) {
  kipotest::TestHost host;
  std::vector<std::u16string> args = argvOf(GetCommandLineW());
  WCHAR path[MAX_PATH];
  DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  ASSERT_FALSE(args.empty());
  EXPECT_EQ(args[0], std::u16string(path, n));
  EXPECT_EQ(platform::process::wideArgs(), args);
  EXPECT_EQ(std::string(GetCommandLineA()), toUtf8(GetCommandLineW()));
}

TEST(CreateProcessW, ChildSeesItsCommandLineDirectoryEnvironmentAndWindowsPath) {
  ProbeHost host;
  std::filesystem::create_directories(host.c("out dir"));
  const std::u16string line = probeLine(u"report \"C:\\out dir\\r.txt\" \"two words\" back\\\\slash \\\"q \"x\"\"y z\"");
  std::u16string env = u"PROBE_VAR=given value";
  env.push_back(u'\0');
  env += u"OTHER=1";
  env.push_back(u'\0');
  env.push_back(u'\0');
  PROCESS_INFORMATION pi = start(line, u"C:\\WINDOWS", env.data(), CREATE_UNICODE_ENVIRONMENT);
  EXPECT_NE(pi.dwProcessId, 0u);
  EXPECT_EQ(pi.dwThreadId, pi.dwProcessId);
  EXPECT_EQ(finish(pi), 0u);
  auto r = host.report("out dir/r.txt");
  EXPECT_EQ(r["cmdline"], toUtf8(line));
  EXPECT_EQ(r["argc"], "8");
  EXPECT_EQ(r["arg0"], toUtf8(probetest::kProbe));
  EXPECT_EQ(r["arg3"], "two words");
  EXPECT_EQ(r["arg4"], "back\\\\slash");
  EXPECT_EQ(r["arg5"], "\"q");
  EXPECT_EQ(r["arg6"], "x\"y");  // "" inside quotes: a quote, and the block ends
  EXPECT_EQ(r["arg7"], "z");
  EXPECT_EQ(r["cwd"], "C:\\WINDOWS");
  EXPECT_EQ(r["env"], "given value");
  EXPECT_EQ(r["module"], toUtf8(probetest::kProbe));
  EXPECT_EQ(r["pid"], std::to_string(pi.dwProcessId));
}

TEST(CreateProcessW, ChildInheritsTheCurrentBlockAndDirectory) {
  ProbeHost host;
  ASSERT_TRUE(SetEnvironmentVariableW(u"PROBE_VAR", u"inherited"));
  ASSERT_TRUE(SetCurrentDirectoryW(u"C:\\Program Files"));
  PROCESS_INFORMATION pi = start(probeLine(u"report C:\\r.txt"));
  EXPECT_EQ(finish(pi), 0u);
  auto r = host.report("r.txt");
  EXPECT_EQ(r["env"], "inherited");
  EXPECT_EQ(r["cwd"], "C:\\Program Files");
  SetCurrentDirectoryW(u"C:\\");
}

TEST(CreateProcessW, FindsTheProgramByTheWindowsSearchRules) {
  ProbeHost host;
  host.install("WINDOWS/system32/probe2.exe");
  struct Case {
    const char16_t* line;
    const char* module;
    const char* arg0;  // the child's argv[0] by the splitting rules
    const char* rule;
  } cases[] = {
      {u"C:\\Program Files\\Probe\\probe.exe report C:\\r.txt", "C:\\Program Files\\Probe\\probe.exe",
       "C:\\Program", "an unquoted path with blanks: the shortest prefix naming a file"},
      {u"probe2 report C:\\r.txt", "C:\\WINDOWS\\system32\\probe2.exe", "probe2",
       "a bare name in the system folder, .exe added"},
      {u"  \"C:\\Program Files\\Probe\\probe\" report C:\\r.txt", "C:\\Program Files\\Probe\\probe.exe", "",
       "a quoted name after blanks, .exe added (leading blanks make argv[0] empty)"},
  };
  for (const auto& c : cases) {
    std::filesystem::remove(host.c("r.txt"));
    PROCESS_INFORMATION pi = start(c.line);
    EXPECT_EQ(finish(pi), 0u) << c.rule;
    auto r = host.report("r.txt");
    EXPECT_EQ(r["module"], c.module) << c.rule;
    EXPECT_EQ(r["arg0"], c.arg0) << c.rule;
  }
}

TEST(CreateProcessW, RecognisesProgramsByContent) {
  ProbeHost host;
  host.install("Tools/tool.dat");  // an ELF image under a name that is no program's
  host.write("Tools/script.exe", "#!/bin/sh\nexit 3\n");  // no execute bits
  host.write("Tools/fake.exe", "MZ this is no program here\n");
  std::filesystem::create_directories(host.c("Tools/folder.exe"));
  struct Case {
    const char16_t* app;
    const char16_t* line;
    DWORD error;  // 0: runs
    DWORD exitCode;
  } cases[] = {
      {u"C:\\Tools\\tool.dat", u"tool exit 5", 0, 5},
      {u"C:\\Tools\\script.exe", nullptr, 0, 3},
      {u"C:\\Tools\\fake.exe", nullptr, ERROR_BAD_EXE_FORMAT, 0},
      {u"C:\\Tools\\missing.exe", nullptr, ERROR_FILE_NOT_FOUND, 0},
      {u"C:\\No Such Folder\\x.exe", nullptr, ERROR_PATH_NOT_FOUND, 0},
      {u"C:\\Tools\\folder.exe", nullptr, ERROR_ACCESS_DENIED, 0},
  };
  for (const auto& c : cases) {
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    std::u16string line = c.line ? c.line : u"";
    SetLastError(0);
    BOOL ok = CreateProcessW(c.app, c.line ? line.data() : nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi);
    if (c.error) {
      EXPECT_FALSE(ok) << toUtf8(c.app);
      EXPECT_EQ(GetLastError(), c.error) << toUtf8(c.app);
    } else {
      ASSERT_TRUE(ok) << toUtf8(c.app) << " error " << GetLastError();
      EXPECT_EQ(finish(pi), c.exitCode) << toUtf8(c.app);
    }
  }
}

TEST(CreateProcessW, BatchFilesRunThroughCmd) {
  ProbeHost host;
  host.write("job.bat", "@echo off\n");
  std::u16string line = u"C:\\job.bat first \"second arg\"";
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  // Without the host's cmd.exe the start fails as it would on Windows.
  SetLastError(0);
  EXPECT_FALSE(CreateProcessW(u"C:\\job.bat", line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  // A stand-in cmd.exe that records its arguments.
  host.write("WINDOWS/system32/cmd.exe", "#!/bin/sh\nprintf '%s|' \"$@\" > \"$KIPO_HOST/C/cmd-args\"\nexit 4\n");
  ASSERT_TRUE(CreateProcessW(u"C:\\job.bat", line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
  EXPECT_EQ(finish(pi), 4u);
  EXPECT_EQ(host.read("cmd-args"), "/c|C:\\job.bat|first|second arg|");
}

TEST(CreateProcessA, AnsiFormWithAHiddenWindow) {
  ProbeHost host;
  char line[] = "\"C:\\Program Files\\Probe\\probe.exe\" exit 3";
  STARTUPINFOA si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESHOWWINDOW;
  si.wShowWindow = 0;  // SW_HIDE
  PROCESS_INFORMATION pi{};
  ASSERT_TRUE(CreateProcessA(nullptr, line, nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi));
  EXPECT_EQ(finish(pi), 3u);
}

TEST(CreateProcessW, ChildrenAreReapedWithoutAnyWait) {
  ProbeHost host;
  PROCESS_INFORMATION pi = start(probeLine(u"exit 0"));
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);
  const std::string proc = "/proc/" + std::to_string(pi.dwProcessId);
  bool gone = false;
  for (int i = 0; i < 500 && !gone; ++i) {
    gone = !std::filesystem::exists(proc);
    if (!gone) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_TRUE(gone) << "no zombie is left behind";
}

TEST(ExitCodes, FullThirtyTwoBitsReadBack) {
  ProbeHost host;
  struct Case {
    const char16_t* args;
    DWORD code;
  } cases[] = {
      {u"exit -1", 0xFFFFFFFFu}, {u"return -1", 0xFFFFFFFFu}, {u"exit 300", 300u},
      {u"return 70000", 70000u}, {u"return 0", 0u},         {u"exit 1", 1u},
  };
  for (const auto& c : cases) {
    PROCESS_INFORMATION pi = start(probeLine(c.args));
    EXPECT_EQ(finish(pi), c.code) << toUtf8(c.args);
  }
}

TEST(ExitCodes, ChildDeadOfASignalGivesWhatWindowsWouldReport) {
  ProbeHost host;
  struct Case {
    int signal;
    DWORD code;
    const char* rule;
  } cases[] = {
      {SIGSEGV, 0xC0000005u, "an access violation"},
      {SIGBUS, 0xC0000005u, "a bus error is an access violation too"},
      {SIGFPE, 0xC0000094u, "an integer division by zero"},
      {SIGILL, 0xC000001Du, "an illegal instruction"},
      {SIGSTKFLT, 0xC00000FDu, "the fault handler's end of a thread that ran off its stack"},
      {SIGABRT, 3u, "abort() exits with 3"},
      {SIGKILL, 1u, "killed: as TerminateProcess(h, 1)"},
      {SIGTERM, 0xC000013Au, "asked to end: STATUS_CONTROL_C_EXIT"},
  };
  for (const auto& c : cases) {
    PROCESS_INFORMATION pi = start(probeLine(u"signal " + platform::text::fromUtf8(std::to_string(c.signal))));
    EXPECT_EQ(finish(pi), c.code) << c.rule;
  }
}

TEST(WaitForSingleObject, ProcessTimesOutWhileRunningThenSignals) {
  ProbeHost host;
  PROCESS_INFORMATION pi = start(probeLine(u"sleep 500"));
  EXPECT_EQ(WaitForSingleObject(pi.hProcess, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_EQ(WaitForSingleObject(pi.hProcess, 50), static_cast<DWORD>(WAIT_TIMEOUT));
  DWORD code = 0;
  EXPECT_TRUE(GetExitCodeProcess(pi.hProcess, &code));
  EXPECT_EQ(code, static_cast<DWORD>(STILL_ACTIVE));
  EXPECT_TRUE(GetExitCodeThread(pi.hThread, &code));
  EXPECT_EQ(code, static_cast<DWORD>(STILL_ACTIVE));
  HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE both[] = {event, pi.hThread};
  EXPECT_EQ(WaitForMultipleObjects(2, both, FALSE, INFINITE), WAIT_OBJECT_0 + 1);
  EXPECT_TRUE(GetExitCodeThread(pi.hThread, &code));
  EXPECT_EQ(code, 0u);
  EXPECT_EQ(WaitForSingleObject(pi.hProcess, 0), static_cast<DWORD>(WAIT_OBJECT_0)) << "stays signaled";
  CloseHandle(event);
  EXPECT_EQ(finish(pi), 0u);
}

TEST(TerminateProcess, RecordsTheCodeAndRefusesAnEndedProcess) {
  ProbeHost host;
  PROCESS_INFORMATION pi = start(probeLine(u"sleep 100000"));
  EXPECT_TRUE(TerminateProcess(pi.hProcess, 0xC0000409u));
  EXPECT_EQ(WaitForSingleObject(pi.hProcess, 20000), static_cast<DWORD>(WAIT_OBJECT_0));
  SetLastError(0);
  EXPECT_FALSE(TerminateProcess(pi.hProcess, 1));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(finish(pi), 0xC0000409u);
}

TEST(OpenProcess, LivingHostProcessesOnlyAndAccessIsChecked) {
  ProbeHost host;
  PROCESS_INFORMATION pi = start(probeLine(u"sleep 100000"));
  HANDLE query = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, pi.dwProcessId);
  ASSERT_NE(query, nullptr);
  HANDLE sync = OpenProcess(SYNCHRONIZE, FALSE, pi.dwProcessId);
  ASSERT_NE(sync, nullptr);
  EXPECT_EQ(GetProcessId(sync), pi.dwProcessId);
  DWORD code = 0;
  SetLastError(0);
  EXPECT_FALSE(GetExitCodeProcess(sync, &code));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  SetLastError(0);
  EXPECT_EQ(WaitForSingleObject(query, 0), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  SetLastError(0);
  EXPECT_FALSE(TerminateProcess(query, 1));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));

  ASSERT_TRUE(TerminateProcess(pi.hProcess, 9));
  EXPECT_EQ(WaitForSingleObject(sync, 20000), static_cast<DWORD>(WAIT_OBJECT_0)) << "a second handle sees the end";
  EXPECT_TRUE(GetExitCodeProcess(query, &code));
  EXPECT_EQ(code, 9u);
  const DWORD ended = pi.dwProcessId;
  EXPECT_EQ(finish(pi), 9u);
  CloseHandle(query);
  CloseHandle(sync);

  for (DWORD pid : {ended, 1u}) {  // an ended host process; a Linux process that is no host process
    SetLastError(0);
    EXPECT_EQ(OpenProcess(SYNCHRONIZE, FALSE, pid), nullptr) << pid;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER)) << pid;
  }
  HANDLE self = OpenProcess(PROCESS_QUERY_INFORMATION | SYNCHRONIZE, FALSE, GetCurrentProcessId());
  ASSERT_NE(self, nullptr);
  EXPECT_EQ(WaitForSingleObject(self, 10), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_TRUE(GetExitCodeProcess(GetCurrentProcess(), &code));
  EXPECT_EQ(code, static_cast<DWORD>(STILL_ACTIVE));
  CloseHandle(self);
}

TEST(OpenProcess, WaitsForAProcessThatIsNotItsChild) {
  ProbeHost host;
  // Started behind the platform's back (as another host program would be): only its row is known.
  std::string probe = host.c("Program Files/Probe/probe.exe").string();
  std::vector<char*> argv{probe.data(), const_cast<char*>("exit"), const_cast<char*>("7"),
                          const_cast<char*>("300"), nullptr};
  pid_t pid = 0;
  ASSERT_EQ(posix_spawn(&pid, probe.c_str(), nullptr, nullptr, argv.data(), environ), 0);
  platform::host::ProcessRow row;
  row.pid = static_cast<DWORD>(pid);
  row.start = platform::host::processStartTime(pid);
  row.parentPid = GetCurrentProcessId();
  row.imagePath = probetest::kProbe;
  row.imageName = u"probe.exe";
  platform::host::recordStartedProcess(row);
  HANDLE h = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, static_cast<DWORD>(pid));
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(WaitForSingleObject(h, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  // The exit status goes to this test's own waitpid: the platform does not reap what it did not start.
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WaitForSingleObject(h, 20000), static_cast<DWORD>(WAIT_OBJECT_0));
  DWORD code = 1234;
  EXPECT_TRUE(GetExitCodeProcess(h, &code));
  EXPECT_EQ(code, 7u) << "read from the process table";
  CloseHandle(h);
}

TEST(Toolhelp, SnapshotListsAStartedChildWithItsImageAndParent) {
  ProbeHost host;
  PROCESS_INFORMATION pi = start(probeLine(u"sleep 100000"));
  HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  ASSERT_NE(snap, INVALID_HANDLE_VALUE);
  PROCESSENTRY32W e{};
  e.dwSize = sizeof e - 1;
  SetLastError(0);
  EXPECT_FALSE(Process32FirstW(snap, &e));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_LENGTH));
  e.dwSize = sizeof e;
  bool sawChild = false, sawSelf = false;
  for (BOOL ok = Process32FirstW(snap, &e); ok; ok = Process32NextW(snap, &e)) {
    if (e.th32ProcessID == pi.dwProcessId) {
      sawChild = true;
      EXPECT_EQ(std::u16string(e.szExeFile), u"probe.exe");
      EXPECT_EQ(e.th32ParentProcessID, GetCurrentProcessId());
      EXPECT_GE(e.cntThreads, 1u);
    }
    if (e.th32ProcessID == GetCurrentProcessId()) sawSelf = true;
  }
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
  EXPECT_TRUE(sawChild);
  EXPECT_TRUE(sawSelf) << "the test program is a host process too";
  PROCESSENTRY32 a{};
  a.dwSize = sizeof a;
  ASSERT_TRUE(Process32First(snap, &a)) << "First starts over";
  CloseHandle(snap);

  snap = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, pi.dwProcessId);
  ASSERT_NE(snap, INVALID_HANDLE_VALUE);
  MODULEENTRY32 m{};
  m.dwSize = sizeof m;
  ASSERT_TRUE(Module32First(snap, &m));
  EXPECT_STREQ(m.szModule, "probe.exe");
  EXPECT_STREQ(m.szExePath, "C:\\Program Files\\Probe\\probe.exe");
  EXPECT_EQ(m.th32ProcessID, pi.dwProcessId);
  EXPECT_FALSE(Module32Next(snap, &m));
  CloseHandle(snap);

  TerminateProcess(pi.hProcess, 0);
  finish(pi);
  snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  e.dwSize = sizeof e;
  for (BOOL ok = Process32FirstW(snap, &e); ok; ok = Process32NextW(snap, &e))
    EXPECT_NE(e.th32ProcessID, pi.dwProcessId) << "an ended process is gone";
  CloseHandle(snap);
}

TEST(Psapi, EnumeratesProcessesAndNamesTheirImage) {
  ProbeHost host;
  PROCESS_INFORMATION pi = start(probeLine(u"sleep 100000"));
  // Looked up by name, as the process list does.
  HMODULE psapi = LoadLibraryW(u"PSAPI");
  ASSERT_NE(psapi, nullptr);
  using EnumFn = BOOL (*)(DWORD*, DWORD, DWORD*);
  auto enumProcesses = reinterpret_cast<EnumFn>(GetProcAddress(psapi, "EnumProcesses"));
  ASSERT_NE(enumProcesses, nullptr);
  EXPECT_NE(GetProcAddress(psapi, "GetModuleFileNameExA"), nullptr);
  HMODULE kernel = LoadLibraryW(u"Kernel32");
  for (const char* name : {"CreateToolhelp32Snapshot", "Process32First", "Process32Next", "Module32First", "Module32Next"})
    EXPECT_NE(GetProcAddress(kernel, name), nullptr) << name;

  DWORD ids[1024], needed = 0;
  ASSERT_TRUE(enumProcesses(ids, sizeof ids, &needed));
  EXPECT_NE(std::find(ids, ids + needed / sizeof(DWORD), pi.dwProcessId), ids + needed / sizeof(DWORD));
  DWORD one = 0;
  ASSERT_TRUE(enumProcesses(&one, sizeof one, &needed));
  EXPECT_EQ(needed, sizeof(DWORD)) << "a full buffer tells the caller to grow it";

  HANDLE h = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pi.dwProcessId);
  ASSERT_NE(h, nullptr);
  HMODULE mod = nullptr;
  ASSERT_TRUE(EnumProcessModules(h, &mod, sizeof mod, &needed));
  EXPECT_EQ(needed, sizeof(HMODULE));
  char name[MAX_PATH];
  EXPECT_EQ(GetModuleBaseNameA(h, mod, name, MAX_PATH), 9u);
  EXPECT_STREQ(name, "probe.exe");
  WCHAR path[MAX_PATH];
  DWORD n = GetModuleFileNameExW(h, nullptr, path, MAX_PATH);
  EXPECT_EQ(std::u16string(path, n), probetest::kProbe);
  char small[6];
  EXPECT_EQ(GetModuleFileNameExA(h, mod, small, sizeof small), 5u) << "truncated and terminated";
  EXPECT_STREQ(small, "C:\\Pr");
  HANDLE noRead = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, pi.dwProcessId);
  SetLastError(0);
  EXPECT_EQ(GetModuleFileNameExA(noRead, nullptr, name, MAX_PATH), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  CloseHandle(noRead);
  CloseHandle(h);
  TerminateProcess(pi.hProcess, 0);
  finish(pi);
}

TEST(RunningImage, CannotBeDeletedOrRenamedWhileItRuns) {
  ProbeHost host;
  PROCESS_INFORMATION pi = start(probeLine(u"sleep 100000"));
  SetLastError(0);
  EXPECT_FALSE(DeleteFileW(probetest::kProbe));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  SetLastError(0);
  EXPECT_FALSE(MoveFileW(probetest::kProbe, u"C:\\Program Files\\Probe\\renamed.exe"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  TerminateProcess(pi.hProcess, 0);
  finish(pi);
  EXPECT_TRUE(DeleteFileW(probetest::kProbe)) << GetLastError();
}

TEST(StdHandles, WriteFileReachesTheDescriptor) {
  kipotest::TestHost host;
  std::filesystem::path file = kipotest::freshTempDir("stdout") / "out";
  int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  std::fflush(stdout);
  int saved = ::dup(1);
  ::dup2(fd, 1);
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD written = 0;
  BOOL ok = WriteFile(out, "hello ", 6, &written, nullptr);
  DWORD chars = 0;
  BOOL console = WriteConsoleW(out, u"w\u00e9rld", 5, &chars, nullptr);
  FreeConsole();
  BOOL detached = WriteConsoleW(out, u"x", 1, &chars, nullptr);
  AllocConsole();
  ::dup2(saved, 1);
  ::close(saved);
  ::close(fd);
  EXPECT_TRUE(ok);
  EXPECT_EQ(written, 6u);
  EXPECT_TRUE(console);
  EXPECT_FALSE(detached);
  std::ifstream in(file);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(text, "hello w\xc3\xa9rld");
  EXPECT_EQ(GetStdHandle(STD_OUTPUT_HANDLE), out);
  EXPECT_EQ(GetStdHandle(5), INVALID_HANDLE_VALUE);
  std::filesystem::remove_all(file.parent_path());
}

TEST(StdHandles, GetFileTypeGivesTheDescriptorsRealType) {
  kipotest::TestHost host;
  std::filesystem::path dir = kipotest::freshTempDir("stdtype");
  int pipeEnds[2];
  ASSERT_EQ(::pipe(pipeEnds), 0);
  const int terminal = ::posix_openpt(O_RDWR | O_NOCTTY);
  struct Case {
    int fd;
    DWORD type;
    const char* what;
  } cases[] = {
      {::open((dir / "file").c_str(), O_RDWR | O_CREAT, 0644), FILE_TYPE_DISK, "a file"},
      {pipeEnds[0], FILE_TYPE_PIPE, "a pipe"},
      {terminal, FILE_TYPE_CHAR, "a terminal"},
      {::open("/dev/null", O_RDONLY), FILE_TYPE_CHAR, "the null device, as NUL"},
  };
  const int saved = ::dup(0);
  HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
  for (const auto& c : cases) {
    if (c.fd < 0) continue;  // no terminal to be had here
    ::dup2(c.fd, 0);
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(GetFileType(in), c.type) << c.what;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(NO_ERROR)) << c.what;
  }
  ::close(0);
  SetLastError(0);
  EXPECT_EQ(GetFileType(in), static_cast<DWORD>(FILE_TYPE_UNKNOWN)) << "a closed descriptor";
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  ::dup2(saved, 0);
  ::close(saved);
  for (const auto& c : cases)
    if (c.fd >= 0) ::close(c.fd);
  ::close(pipeEnds[1]);
  std::filesystem::remove_all(dir);
}

}  // namespace

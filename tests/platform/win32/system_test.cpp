// System facts and services: the environment block (built from the host, inherited from a
// parent, Linux variables hidden), its calls' size rules, names and versions from the host's
// facts, memory status, system folders, memory blocks, and FormatMessage with the system texts.
#include "platform/win32/system.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "platform/base/text.h"
#include "platform/host/environment.h"
#include "platform/host/host.h"
#include "platform/win32/registry.h"
#include "tests/support/test_host.h"

using platform::host::Host;
namespace fact = platform::host::fact;
using platform::text::toUtf8;

namespace {

constexpr char16_t kSentinel = 0xBDBD;

std::u16string env(const char16_t* name) {
  char16_t buf[1024];
  DWORD n = GetEnvironmentVariableW(name, buf, 1024);
  if (n == 0 || n >= 1024) return u"<missing>";
  return std::u16string(buf, n);
}

// Formats with the system's table, inserts ignored.
std::u16string systemText(DWORD code, DWORD flags = 0) {
  char16_t buf[512];
  DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | flags, nullptr, code, 0, buf,
                           512, nullptr);
  return n ? std::u16string(buf, n) : u"<none>";
}

std::u16string fromString(const char16_t* format, const DWORD_PTR* args, DWORD flags = 0) {
  char16_t buf[512];
  DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ARGUMENT_ARRAY | flags, format, 0, 0, buf, 512,
                           reinterpret_cast<va_list*>(const_cast<DWORD_PTR*>(args)));
  return n ? std::u16string(buf, n) : u"<failed>";
}

std::u16string fromVaList(const char16_t* format, ...) {
  va_list args;
  va_start(args, format);
  char16_t buf[512];
  DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_STRING, format, 0, 0, buf, 512, &args);
  va_end(args);
  return n ? std::u16string(buf, n) : u"<failed>";
}

void setRegistryString(HKEY root, const char16_t* key, const char16_t* name, const std::u16string& value,
                       DWORD type = REG_SZ) {
  HKEY k = nullptr;
  ASSERT_EQ(RegCreateKeyExW(root, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr), ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExW(k, name, 0, type, reinterpret_cast<const BYTE*>(value.c_str()),
                           static_cast<DWORD>((value.size() + 1) * 2)),
            ERROR_SUCCESS);
  RegCloseKey(k);
}

const char16_t* kMachineEnv = u"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";

}  // namespace

// --- environment --------------------------------------------------------------------------------

TEST(Environment, FreshProgramSeesTheXpVariablesOfItsHost) {
  kipotest::TestHost host;
  struct Case {
    const char16_t* name;
    const char16_t* value;
  } cases[] = {
      {u"ALLUSERSPROFILE", u"C:\\Documents and Settings\\All Users"},
      {u"APPDATA", u"C:\\Documents and Settings\\Robin\\Application Data"},
      {u"CommonProgramFiles", u"C:\\Program Files\\Common Files"},
      {u"ComSpec", u"C:\\WINDOWS\\system32\\cmd.exe"},
      {u"COMPUTERNAME", u"ALPHA"},
      {u"HOMEDRIVE", u"C:"},
      {u"HOMEPATH", u"\\Documents and Settings\\Robin"},
      {u"OS", u"Windows_NT"},
      {u"Path", u"C:\\WINDOWS\\system32;C:\\WINDOWS;C:\\WINDOWS\\System32\\Wbem"},
      {u"PATHEXT", u".COM;.EXE;.BAT;.CMD;.VBS;.VBE;.JS;.JSE;.WSF;.WSH"},
      {u"NUMBER_OF_PROCESSORS", u"1"},
      {u"PROCESSOR_ARCHITECTURE", u"x86"},
      {u"ProgramFiles", u"C:\\Program Files"},
      {u"SystemDrive", u"C:"},
      {u"SystemRoot", u"C:\\WINDOWS"},
      {u"TEMP", u"C:\\Documents and Settings\\Robin\\Local Settings\\Temp"},  // the user's wins
      {u"TMP", u"C:\\Documents and Settings\\Robin\\Local Settings\\Temp"},
      {u"USERDOMAIN", u"ALPHA"},
      {u"USERNAME", u"Robin"},
      {u"USERPROFILE", u"C:\\Documents and Settings\\Robin"},
      {u"windir", u"C:\\WINDOWS"},
      {u"appdata", u"C:\\Documents and Settings\\Robin\\Application Data"},  // names ignore case
      {u"PATH", u"C:\\WINDOWS\\system32;C:\\WINDOWS;C:\\WINDOWS\\System32\\Wbem"},
  };
  for (const auto& c : cases) EXPECT_EQ(toUtf8(env(c.name)), toUtf8(c.value)) << toUtf8(c.name);
}

TEST(Environment, LinuxVariablesAreNotVisible) {
  kipotest::TestHost host;
  ::setenv("KIPO_TEST_LINUX_ONLY", "1", 1);
  for (const char16_t* name : {u"KIPO_TEST_LINUX_ONLY", u"HOME", u"SHELL", u"KIPO_HOST", u"LANG"}) {
    char16_t buf[8] = {kSentinel};
    SetLastError(0);
    EXPECT_EQ(GetEnvironmentVariableW(name, buf, 8), 0u) << toUtf8(name);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ENVVAR_NOT_FOUND));
    EXPECT_EQ(buf[0], kSentinel);
  }
  ::unsetenv("KIPO_TEST_LINUX_ONLY");
}

TEST(Environment, FollowsTheHostFactsAndRegistryAtProgramStart) {
  platform::host::HostOptions options;
  options.facts[fact::ComputerName] = "bravo";
  options.facts[fact::UserName] = "Sam";
  kipotest::TestHost host(options);
  EXPECT_EQ(env(u"COMPUTERNAME"), u"BRAVO");
  EXPECT_EQ(env(u"USERPROFILE"), u"C:\\Documents and Settings\\Sam");
  EXPECT_EQ(env(u"TEMP"), u"C:\\Documents and Settings\\Sam\\Local Settings\\Temp");

  // A machine-wide value written now reaches programs started later, not the running one.
  setRegistryString(HKEY_LOCAL_MACHINE, kMachineEnv, u"KIPO_DRIVE", u"E");
  setRegistryString(HKEY_LOCAL_MACHINE, kMachineEnv, u"KIPO_HOME", u"%SystemRoot%\\Kipo", REG_EXPAND_SZ);
  setRegistryString(HKEY_CURRENT_USER, u"Environment", u"Path", u"C:\\Tools");
  EXPECT_EQ(env(u"KIPO_DRIVE"), u"<missing>");
  std::string out;
  ASSERT_EQ(kipotest::runTool({"env", "KIPO_DRIVE"}, &out), 0);
  EXPECT_EQ(out, "E\n");
  ASSERT_EQ(kipotest::runTool({"env", "KIPO_HOME"}, &out), 0);
  EXPECT_EQ(out, "C:\\WINDOWS\\Kipo\n") << "REG_EXPAND_SZ values are expanded";
  ASSERT_EQ(kipotest::runTool({"env", "PATH"}, &out), 0);
  EXPECT_EQ(out, "C:\\WINDOWS\\system32;C:\\WINDOWS;C:\\WINDOWS\\System32\\Wbem;C:\\Tools\n")
      << "a user Path adds to the machine's";

  // Told that the environment changed, a program (Explorer) takes it from the registry again.
  SetEnvironmentVariableW(u"MINE", u"1");
  platform::host::regenerateEnvironment();
  EXPECT_EQ(env(u"KIPO_DRIVE"), u"E");
  EXPECT_EQ(env(u"MINE"), u"<missing>");
}

TEST(Environment, ChildTakesTheBlockItsParentPassed) {
  kipotest::TestHost host;
  using namespace std::string_literals;
  std::u16string block = u"Path=C:\\only\0U3_DEVICE_PATH=E:\\\0WEIRD=100% \u00e9t\u00e9\0\0"s;
  EXPECT_EQ(platform::host::decodeFromParent(platform::host::encodeForChild(block)), block);

  ::setenv(platform::host::kEnvBlockVariable, platform::host::encodeForChild(block).c_str(), 1);
  std::string out;
  int rc = kipotest::runTool({"env"}, &out);
  ::unsetenv(platform::host::kEnvBlockVariable);
  ASSERT_EQ(rc, 0);
  EXPECT_EQ(out, "Path=C:\\only\nU3_DEVICE_PATH=E:\\\nWEIRD=100% \xc3\xa9t\xc3\xa9\n") << "nothing from the host added";

  platform::host::setInheritedEnvironment(block);
  EXPECT_EQ(env(u"u3_device_path"), u"E:\\");
  EXPECT_EQ(env(u"USERNAME"), u"<missing>");
}

TEST(Environment, GetEnvironmentVariableSizeRules) {
  kipotest::TestHost host;
  ASSERT_TRUE(SetEnvironmentVariableW(u"FIVE", u"Robin"));
  struct Case {
    DWORD size;
    DWORD result;
    bool copied;
  } cases[] = {
      {0, 6, false},    // asks for the size: with the NUL
      {5, 6, false},    // one short: still the size needed, buffer untouched
      {6, 5, true},     // exactly enough: the length without the NUL
      {100, 5, true},
  };
  for (const auto& c : cases) {
    char16_t buf[100];
    std::fill(std::begin(buf), std::end(buf), kSentinel);
    EXPECT_EQ(GetEnvironmentVariableW(u"five", c.size ? buf : nullptr, c.size), c.result) << c.size;
    if (c.copied) {
      EXPECT_EQ(std::u16string(buf), u"Robin");
      EXPECT_EQ(buf[6], kSentinel) << "nothing written past the NUL";
    } else {
      EXPECT_EQ(buf[0], kSentinel);
    }
  }
  // An empty value gives 0 as a missing one does, with no error.
  ASSERT_TRUE(SetEnvironmentVariableW(u"EMPTY", u""));
  char16_t buf[4] = {kSentinel, kSentinel};
  SetLastError(0xdeadbeef);
  EXPECT_EQ(GetEnvironmentVariableW(u"EMPTY", buf, 4), 0u);
  EXPECT_EQ(GetLastError(), 0u);
  EXPECT_EQ(buf[0], 0);

  char abuf[16];
  EXPECT_EQ(GetEnvironmentVariableA("FIVE", abuf, 16), 5u);
  EXPECT_STREQ(abuf, "Robin");
  EXPECT_EQ(GetEnvironmentVariableA("FIVE", abuf, 5), 6u);
}

TEST(Environment, SetReplacesDeletesAndRefusesBadNames) {
  kipotest::TestHost host;
  EXPECT_TRUE(SetEnvironmentVariableW(u"Kipo_Var", u"one"));
  EXPECT_TRUE(SetEnvironmentVariableW(u"KIPO_VAR", u"two"));
  EXPECT_EQ(env(u"kipo_var"), u"two");
  EXPECT_TRUE(SetEnvironmentVariableW(u"kipo_var", nullptr));
  EXPECT_EQ(env(u"KIPO_VAR"), u"<missing>");
  EXPECT_TRUE(SetEnvironmentVariableW(u"KIPO_VAR", nullptr)) << "deleting a missing variable is fine";
  for (const char16_t* bad : {u"", u"A=B"}) {
    SetLastError(0);
    EXPECT_FALSE(SetEnvironmentVariableW(bad, u"x")) << toUtf8(bad);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  }
  EXPECT_TRUE(SetEnvironmentVariableA("NARROW", "value"));
  EXPECT_EQ(env(u"NARROW"), u"value");
}

TEST(Environment, ExpandEnvironmentStrings) {
  kipotest::TestHost host;
  struct Case {
    const char16_t* in;
    const char16_t* out;
  } cases[] = {
      {u"%USERPROFILE%\\Desktop", u"C:\\Documents and Settings\\Robin\\Desktop"},
      {u"%userprofile%", u"C:\\Documents and Settings\\Robin"},
      {u"%USERNAME%%COMPUTERNAME%", u"RobinALPHA"},
      {u"%NO_SUCH_VAR%\\x", u"%NO_SUCH_VAR%\\x"},       // unknown: left as it is
      {u"50% of %USERNAME%", u"50% of Robin"},          // a lone % does not swallow the next name
      {u"100%", u"100%"},
      {u"%%", u"%%"},
      {u"%", u"%"},
      {u"", u""},
      {u"no variables", u"no variables"},
  };
  for (const auto& c : cases) {
    char16_t buf[256];
    DWORD n = ExpandEnvironmentStringsW(c.in, buf, 256);
    EXPECT_EQ(toUtf8(buf), toUtf8(c.out)) << toUtf8(c.in);
    EXPECT_EQ(n, platform::text::length(c.out) + 1) << "counts the NUL";
  }
  // Too small: the size needed, buffer untouched.
  char16_t small[4] = {kSentinel, kSentinel, kSentinel, kSentinel};
  EXPECT_EQ(ExpandEnvironmentStringsW(u"%USERNAME%!", small, 4), 7u);
  EXPECT_EQ(small[0], kSentinel);
  char abuf[64];
  EXPECT_EQ(ExpandEnvironmentStringsA("%SystemRoot%\\x", abuf, 64), 13u);
  EXPECT_STREQ(abuf, "C:\\WINDOWS\\x");
}

TEST(Environment, EnvironmentStringsAreSortedAndDoublyTerminated) {
  kipotest::TestHost host;
  SetEnvironmentVariableW(u"aaa_first", u"1");
  LPWSTR block = GetEnvironmentStringsW();
  ASSERT_NE(block, nullptr);
  std::vector<std::u16string> entries;
  for (LPWSTR p = block; *p; p += platform::text::length(p) + 1) entries.emplace_back(p);
  ASSERT_FALSE(entries.empty());
  EXPECT_EQ(entries.front(), u"aaa_first=1");
  for (std::size_t i = 1; i < entries.size(); ++i)
    EXPECT_LT(platform::text::compareNoCase(entries[i - 1], entries[i]), 0) << toUtf8(entries[i]);
  EXPECT_NE(std::find(entries.begin(), entries.end(), u"USERNAME=Robin"), entries.end());
  EXPECT_TRUE(FreeEnvironmentStringsW(block));
}

// --- names, versions, folders, memory -------------------------------------------------------------

TEST(SystemFacts, ComputerAndUserNameSizeRules) {
  platform::host::HostOptions options;
  options.facts[fact::ComputerName] = "bravo";
  kipotest::TestHost host(options);

  char16_t buf[32];
  std::fill(std::begin(buf), std::end(buf), kSentinel);
  DWORD size = 5;
  SetLastError(0);
  EXPECT_FALSE(GetComputerNameW(buf, &size));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BUFFER_OVERFLOW));
  EXPECT_EQ(size, 6u) << "the size needed, with the NUL";
  EXPECT_EQ(buf[0], kSentinel);
  size = MAX_COMPUTERNAME_LENGTH + 1;
  EXPECT_TRUE(GetComputerNameW(buf, &size));
  EXPECT_EQ(size, 5u) << "the length, without the NUL";
  EXPECT_EQ(std::u16string(buf), u"BRAVO") << "NetBIOS names are upper case";
  char abuf[16];
  size = 16;
  EXPECT_TRUE(GetComputerNameA(abuf, &size));
  EXPECT_STREQ(abuf, "BRAVO");

  std::fill(std::begin(buf), std::end(buf), kSentinel);
  size = 5;
  EXPECT_FALSE(GetUserNameW(buf, &size));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(size, 6u);
  EXPECT_EQ(buf[0], kSentinel);
  size = 6;
  EXPECT_TRUE(GetUserNameW(buf, &size));
  EXPECT_EQ(size, 6u) << "GetUserName counts the NUL on success too";
  EXPECT_EQ(std::u16string(buf), u"Robin");

  // A fact changed later is seen at once.
  Host::current().setFact(fact::ComputerName, "CHARLIE");
  size = 16;
  EXPECT_TRUE(GetComputerNameW(buf, &size));
  EXPECT_EQ(std::u16string(buf), u"CHARLIE");
}

TEST(SystemFacts, VersionFromTheHostFacts) {
  kipotest::TestHost host;
  OSVERSIONINFOEXW ex;
  std::memset(&ex, 0xBD, sizeof ex);
  ex.dwOSVersionInfoSize = sizeof ex;
  ASSERT_TRUE(GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&ex)));
  EXPECT_EQ(ex.dwMajorVersion, 5u);
  EXPECT_EQ(ex.dwMinorVersion, 1u);
  EXPECT_EQ(ex.dwBuildNumber, 2600u);
  EXPECT_EQ(ex.dwPlatformId, static_cast<DWORD>(VER_PLATFORM_WIN32_NT));
  EXPECT_EQ(std::u16string(ex.szCSDVersion), u"Service Pack 2");
  EXPECT_EQ(ex.wServicePackMajor, 2);
  EXPECT_EQ(ex.wServicePackMinor, 0);
  EXPECT_EQ(ex.wProductType, VER_NT_WORKSTATION);
  EXPECT_EQ(GetVersion(), 0x0A280105u);

  OSVERSIONINFOW plain;
  std::memset(&plain, 0xBD, sizeof plain);
  plain.dwOSVersionInfoSize = sizeof plain;
  ASSERT_TRUE(GetVersionExW(&plain));
  EXPECT_EQ(plain.dwBuildNumber, 2600u);

  OSVERSIONINFOW wrong;
  std::memset(&wrong, 0xBD, sizeof wrong);
  wrong.dwOSVersionInfoSize = sizeof wrong - 4;
  SetLastError(0);
  EXPECT_FALSE(GetVersionExW(&wrong));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(wrong.dwMajorVersion, 0xBDBDBDBDu) << "left alone";

  OSVERSIONINFOA a{};
  a.dwOSVersionInfoSize = sizeof a;
  ASSERT_TRUE(GetVersionExA(&a));
  EXPECT_STREQ(a.szCSDVersion, "Service Pack 2");

  Host::current().setFact(fact::WindowsVersion, "5.0");
  Host::current().setFact(fact::WindowsBuild, "2195");
  Host::current().setFact(fact::ServicePack, "Service Pack 4");
  ASSERT_TRUE(GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&ex)));
  EXPECT_EQ(ex.dwMinorVersion, 0u);
  EXPECT_EQ(ex.dwBuildNumber, 2195u);
  EXPECT_EQ(ex.wServicePackMajor, 4);
  EXPECT_EQ(GetVersion(), 0x08930005u);
}

TEST(SystemFacts, MemoryStatusFromTheMemoryFact) {
  kipotest::TestHost host;
  MEMORYSTATUSEX ms{};
  ms.dwLength = sizeof ms - 1;
  SetLastError(0);
  EXPECT_FALSE(GlobalMemoryStatusEx(&ms));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  ms.dwLength = sizeof ms;
  ASSERT_TRUE(GlobalMemoryStatusEx(&ms));
  EXPECT_EQ(ms.ullTotalPhys, 536870912u);
  EXPECT_LE(ms.ullAvailPhys, ms.ullTotalPhys);
  EXPECT_LE(ms.dwMemoryLoad, 100u);
  EXPECT_GT(ms.ullTotalPageFile, ms.ullTotalPhys);
  EXPECT_EQ(ms.ullTotalVirtual, 0x7FFE0000u);
  EXPECT_LE(ms.ullAvailVirtual, ms.ullTotalVirtual);

  Host::current().setFact(fact::MemoryBytes, "1073741824");
  MEMORYSTATUS old{};
  GlobalMemoryStatus(&old);
  EXPECT_EQ(old.dwLength, sizeof old);
  EXPECT_EQ(old.dwTotalPhys, 1073741824u);
}

TEST(SystemFacts, SystemFolders) {
  kipotest::TestHost host;
  char16_t buf[MAX_PATH];
  std::fill(std::begin(buf), std::end(buf), kSentinel);
  EXPECT_EQ(GetSystemDirectoryW(buf, 5), 20u) << "too small: the size needed with the NUL";
  EXPECT_EQ(buf[0], kSentinel);
  EXPECT_EQ(GetSystemDirectoryW(buf, MAX_PATH), 19u);
  EXPECT_EQ(std::u16string(buf), u"C:\\WINDOWS\\system32");
  EXPECT_EQ(GetWindowsDirectoryW(buf, MAX_PATH), 10u);
  EXPECT_EQ(std::u16string(buf), u"C:\\WINDOWS");
  EXPECT_EQ(GetSystemWindowsDirectoryW(buf, MAX_PATH), 10u);
  char abuf[MAX_PATH];
  EXPECT_EQ(GetSystemDirectoryA(abuf, MAX_PATH), 19u);
  EXPECT_EQ(abuf[0], 'C') << "the system drive is the first character";
}

TEST(Memory, FixedAndMoveableBlocks) {
  HLOCAL fixed = LocalAlloc(LPTR, 8);
  ASSERT_NE(fixed, nullptr);
  EXPECT_EQ(LocalLock(fixed), fixed) << "a fixed block's handle is its address";
  EXPECT_EQ(static_cast<unsigned char*>(fixed)[7], 0) << "zero-initialised";
  EXPECT_EQ(LocalSize(fixed), 8u);
  EXPECT_EQ(LocalFree(fixed), nullptr);

  HGLOBAL moveable = GlobalAlloc(GHND, 10);
  ASSERT_NE(moveable, nullptr);
  auto* p = static_cast<unsigned char*>(GlobalLock(moveable));
  ASSERT_NE(p, nullptr);
  EXPECT_NE(static_cast<void*>(p), moveable);
  EXPECT_EQ(p[9], 0);
  EXPECT_EQ(GlobalSize(moveable), 10u);
  EXPECT_EQ(GlobalHandle(p), moveable);
  EXPECT_EQ(GlobalLock(moveable), p);
  EXPECT_TRUE(GlobalUnlock(moveable)) << "still locked once";
  SetLastError(0xdeadbeef);
  EXPECT_FALSE(GlobalUnlock(moveable));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(NO_ERROR));
  EXPECT_EQ(GlobalFree(moveable), nullptr);
  SetLastError(0);
  EXPECT_EQ(GlobalFree(moveable), moveable) << "a freed handle is refused";
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_EQ(LocalFree(nullptr), nullptr);
}

// --- FormatMessage ------------------------------------------------------------------------------

TEST(FormatMessage, SystemTextsAsXpWordsThem) {
  struct Case {
    DWORD code;
    const char16_t* text;
  } cases[] = {
      {ERROR_SUCCESS, u"The operation completed successfully.\r\n"},
      {ERROR_FILE_NOT_FOUND, u"The system cannot find the file specified.\r\n"},
      {ERROR_PATH_NOT_FOUND, u"The system cannot find the path specified.\r\n"},
      {ERROR_ACCESS_DENIED, u"Access is denied.\r\n"},
      {ERROR_SHARING_VIOLATION, u"The process cannot access the file because it is being used by another process.\r\n"},
      {ERROR_INVALID_PARAMETER, u"The parameter is incorrect.\r\n"},
      {ERROR_DISK_FULL, u"There is not enough space on the disk.\r\n"},
      {ERROR_ALREADY_EXISTS, u"Cannot create a file when that file already exists.\r\n"},
      {ERROR_NO_MORE_ITEMS, u"No more data is available.\r\n"},
      {ERROR_CANCELLED, u"The operation was canceled by the user.\r\n"},
      {ERROR_BAD_EXE_FORMAT, u"%1 is not a valid Win32 application.\r\n"},  // insert ignored
      {0x80070005u, u"Access is denied.\r\n"},  // a Win32 HRESULT reads as its code
      {static_cast<DWORD>(E_FAIL), u"Unspecified error\r\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(toUtf8(systemText(c.code)), toUtf8(c.text)) << c.code;

  char16_t buf[64];
  EXPECT_EQ(FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, ERROR_FILE_NOT_FOUND, 0, buf, 64, nullptr), 44u);
  char abuf[64];
  EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, ERROR_ACCESS_DENIED,
                           0x400, abuf, 64, nullptr),
            19u);
  EXPECT_STREQ(abuf, "Access is denied.\r\n");
}

TEST(FormatMessage, EveryErrorCodeOfTheHeaderHasItsText) {
  auto header = std::filesystem::path(__FILE__).parent_path() / "../../../platform/win32/error.h";
  std::ifstream in(header);
  ASSERT_TRUE(in) << header;
  std::regex define(R"(^#define\s+((ERROR|WAIT)_\w+|NO_ERROR)\s+(\d+)L?)");
  int seen = 0;
  for (std::string line; std::getline(in, line);) {
    std::smatch m;
    if (!std::regex_search(line, m, define)) continue;
    DWORD code = static_cast<DWORD>(std::stoul(m[3]));
    ++seen;
    const char16_t* text = platform::win32::systemMessage(code);
    ASSERT_NE(text, nullptr) << m[1] << " (" << code << ") has no system text";
    std::u16string t(text);
    EXPECT_TRUE(t.size() > 2 && t.substr(t.size() - 2) == u"\r\n") << m[1];
    if (m[1] != "NO_ERROR") {
      DWORD back = 0;
      EXPECT_TRUE(platform::win32::errorByName(m[1].str(), back)) << m[1];
      EXPECT_EQ(back, code) << m[1];
    }
  }
  EXPECT_GT(seen, 100);
}

TEST(FormatMessage, FailuresAndTheirCodes) {
  char16_t buf[8];
  std::fill(std::begin(buf), std::end(buf), kSentinel);
  struct Case {
    DWORD flags, id, language, size;
    DWORD error;
  } cases[] = {
      {FORMAT_MESSAGE_FROM_SYSTEM, 0x12345, 0, 8, ERROR_MR_MID_NOT_FOUND},
      {FORMAT_MESSAGE_FROM_SYSTEM, ERROR_ACCESS_DENIED, 0x040C, 8, ERROR_RESOURCE_LANG_NOT_FOUND},  // French
      {FORMAT_MESSAGE_FROM_SYSTEM, ERROR_ACCESS_DENIED, 0, 8, ERROR_INSUFFICIENT_BUFFER},
      {FORMAT_MESSAGE_FROM_SYSTEM, ERROR_BAD_EXE_FORMAT, 0, 8, ERROR_INVALID_PARAMETER},  // inserts, no arguments
  };
  for (const auto& c : cases) {
    SetLastError(0);
    EXPECT_EQ(FormatMessageW(c.flags, nullptr, c.id, c.language, buf, c.size, nullptr), 0u) << c.id;
    EXPECT_EQ(GetLastError(), c.error) << c.id;
  }
  EXPECT_EQ(buf[0], kSentinel);
  EXPECT_NE(systemText(ERROR_ACCESS_DENIED), u"<none>");
  char16_t big[64];
  EXPECT_GT(FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, ERROR_ACCESS_DENIED, 0x0409, big, 64, nullptr), 0u);
}

TEST(FormatMessage, AllocatedBufferIsFreedWithLocalFree) {
  LPWSTR text = nullptr;
  DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                           nullptr, ERROR_DISK_FULL, 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
  ASSERT_EQ(n, 40u);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(std::u16string(text), u"There is not enough space on the disk.\r\n");
  EXPECT_GE(LocalSize(text), 41u * sizeof(char16_t));
  EXPECT_EQ(LocalFree(text), nullptr);
}

TEST(FormatMessage, InsertsAndEscapes) {
  const char16_t* exe = u"C:\\x.exe";
  DWORD_PTR one[] = {reinterpret_cast<DWORD_PTR>(exe)};
  char16_t buf[128];
  DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ARGUMENT_ARRAY, nullptr, ERROR_BAD_EXE_FORMAT, 0,
                           buf, 128, reinterpret_cast<va_list*>(one));
  EXPECT_EQ(std::u16string(buf, n), u"C:\\x.exe is not a valid Win32 application.\r\n");

  const char16_t* box = u"Box";
  DWORD_PTR args[] = {reinterpret_cast<DWORD_PTR>(box), 12, 255, static_cast<DWORD_PTR>(-5)};
  struct Case {
    const char16_t* format;
    const char16_t* out;
  } cases[] = {
      {u"%1 has %2!d! items (%3!04x!)%n", u"Box has 12 items (00ff)\r\n"},
      {u"%2!u! before %1", u"12 before Box"},                    // any order
      {u"[%1!5s!] [%1!-5s!] [%1!.2s!]", u"[  Box] [Box  ] [Bo]"},
      {u"%4!d! %4!u!", u"-5 4294967291"},                        // 32 bits unless told
      {u"100%% %. %! tab%tend", u"100% . ! tab\tend"},
      {u"stop here%0 not this", u"stop here"},
      {u"line one\r\nline two", u"line one\r\nline two"},          // the text's own breaks stay
  };
  for (const auto& c : cases) EXPECT_EQ(toUtf8(fromString(c.format, args)), toUtf8(c.out)) << toUtf8(c.format);

  EXPECT_EQ(fromVaList(u"%1 and %2!d! and %3!x!", u"wide", -7, 0xABCDu), u"wide and -7 and abcd");
  EXPECT_EQ(fromVaList(u"%2!S! %1!c!", static_cast<int>(u'Z'), "narrow"), u"narrow Z");
}

TEST(FormatMessage, WidthLimit) {
  // FORMAT_MESSAGE_MAX_WIDTH_MASK: the text's line breaks become spaces; %n breaks stay.
  EXPECT_EQ(systemText(ERROR_FILE_NOT_FOUND, FORMAT_MESSAGE_MAX_WIDTH_MASK),
            u"The system cannot find the file specified. ");
  DWORD_PTR none[] = {0};
  EXPECT_EQ(fromString(u"a\r\nb%nc", none, FORMAT_MESSAGE_MAX_WIDTH_MASK), u"a b\r\nc");
  // A width: lines break at the last space before it.
  std::u16string wrapped = fromString(u"The quick brown fox jumps over the lazy dog", none, 20);
  EXPECT_EQ(toUtf8(wrapped), "The quick brown fox\r\njumps over the lazy\r\ndog");
}

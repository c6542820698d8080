// What the tests of the helper programs share: a host with the programs installed, the stand-in
// main program, starting programs by Windows command line, waiting in real time (the host's time
// scale speeds up the programs' clocks, and this process's too), registry and message-box helpers.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/base/text.h"
#include "platform/host/paths.h"
#include "platform/win32/win32.h"
#include "tests/support/test_host.h"

namespace helpers {

namespace fs = std::filesystem;
using platform::text::fromUtf8;
using platform::text::toUtf8;

inline constexpr char16_t kRunOnce[] = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
inline constexpr char16_t kRun[] = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

// The Linux path of a Windows path of the host.
inline fs::path linuxPath(const std::u16string& windowsPath) {
  return fs::path(platform::host::resolvePath(windowsPath).linux);
}

inline std::string slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Makes the folders on the way to a Windows path, as Windows makes them.
inline void makeFolders(const std::u16string& windowsPath) {
  for (std::size_t i = 3; i < windowsPath.size(); ++i)
    if (windowsPath[i] == u'\\') CreateDirectoryW(windowsPath.substr(0, i).c_str(), nullptr);
}

// Copies a built program into the host under a Windows path (folders made as needed).
inline void placeProgram(const std::string& built, const std::u16string& windowsPath) {
  makeFolders(windowsPath);
  fs::copy_file(built, linuxPath(windowsPath), fs::copy_options::overwrite_existing);
}

// A started process; its handle is closed with it.
struct Started {
  HANDLE process = nullptr;
  DWORD pid = 0;
  Started() = default;
  Started(const Started&) = delete;
  Started& operator=(const Started&) = delete;
  Started(Started&& o) noexcept : process(o.process), pid(o.pid) { o.process = nullptr; }
  ~Started() {
    if (process) CloseHandle(process);
  }
  // True when it ended within `seconds` of real time.
  bool waitEnd(double seconds = 30) const {
    auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (WaitForSingleObject(process, 0) == WAIT_TIMEOUT) {
      if (std::chrono::steady_clock::now() > until) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
  }
  DWORD exitCode() const {
    DWORD code = 0;
    GetExitCodeProcess(process, &code);
    return code;
  }
  bool running() const { return WaitForSingleObject(process, 0) == WAIT_TIMEOUT; }
};

inline Started start(const std::u16string& commandLine, const std::u16string& folder = {}) {
  Started s;
  std::u16string line = commandLine;
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.empty() ? nullptr : folder.c_str(),
                      &si, &pi)) {
    ADD_FAILURE() << "cannot start " << toUtf8(commandLine) << ": error " << GetLastError();
    return s;
  }
  if (pi.hThread) CloseHandle(pi.hThread);
  s.process = pi.hProcess;
  s.pid = pi.dwProcessId;
  return s;
}

// Polls (in real time) until pred() holds; false after `seconds`.
template <class Pred>
bool eventually(Pred pred, double seconds = 20) {
  auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (!pred()) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

// ---- registry ----

inline void setString(HKEY root, const std::u16string& path, const char16_t* name, const std::u16string& data) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr), ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                           static_cast<DWORD>((data.size() + 1) * 2)),
            ERROR_SUCCESS);
  RegCloseKey(key);
}

inline bool keyExists(HKEY root, const std::u16string& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

// The value's text, or "<missing>".
inline std::u16string readString(HKEY root, const std::u16string& path, const char16_t* name) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return u"<missing>";
  WCHAR data[2048] = {};
  DWORD type = 0, size = sizeof data - 2;
  LONG rc = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
  RegCloseKey(key);
  if (rc != ERROR_SUCCESS) return u"<missing>";
  return std::u16string(data);
}

// Value names (subkey names) of a key in their order.
inline std::vector<std::u16string> keyNames(HKEY root, const std::u16string& path, bool subkeys) {
  std::vector<std::u16string> names;
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return names;
  for (DWORD i = 0;; ++i) {
    WCHAR name[256];
    DWORD n = 256;
    const LONG rc = subkeys ? RegEnumKeyExW(key, i, name, &n, nullptr, nullptr, nullptr, nullptr)
                            : RegEnumValueW(key, i, name, &n, nullptr, nullptr, nullptr, nullptr);
    if (rc != ERROR_SUCCESS) break;
    names.emplace_back(name, n);
  }
  RegCloseKey(key);
  return names;
}

inline std::vector<std::u16string> valueNames(HKEY root, const std::u16string& path) { return keyNames(root, path, false); }
inline std::vector<std::u16string> subkeyNames(HKEY root, const std::u16string& path) { return keyNames(root, path, true); }

// ---- message boxes of another process ----

// The first top-level "#32770" window of the process, or null.
inline HWND boxOf(DWORD pid) {
  for (HWND w = FindWindowExW(nullptr, nullptr, u"#32770", nullptr); w; w = FindWindowExW(nullptr, w, u"#32770", nullptr)) {
    DWORD owner = 0;
    GetWindowThreadProcessId(w, &owner);
    if (owner == pid) return w;
  }
  return nullptr;
}

struct Box {
  std::u16string caption;
  std::u16string text;
};

// Waits for the process's message box, reads it and presses OK.
inline bool answerBox(DWORD pid, Box& box, double seconds = 20) {
  HWND w = nullptr;
  if (!eventually([&] { return (w = boxOf(pid)) != nullptr; }, seconds)) return false;
  // The box is read once it is up (it is shown after its controls are filled).
  if (!eventually([&] { return IsWindowVisible(w) != FALSE; }, seconds)) return false;
  WCHAR buf[1024] = {};
  GetWindowTextW(w, buf, 1024);
  box.caption = buf;
  buf[0] = 0;
  if (HWND label = GetDlgItem(w, 0xFFFF)) GetWindowTextW(label, buf, 1024);
  box.text = buf;
  return PostMessageW(w, WM_COMMAND, IDOK, 0) != FALSE;
}

// ---- the host ----

class HelperTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Other rows of the install table are not these tests' business; the helpers must be there.
    std::string err;
    kipotest::runTool({"install"}, nullptr, &err);
    WCHAR appData[MAX_PATH] = {};
    ASSERT_EQ(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, 0, appData), S_OK);
    appData_ = appData;
    dataFolder_ = appData_ + u"\\Brackwater\\";
    productFolder_ = dataFolder_ + u"Kipo\\";
    for (const std::u16string& path : {productFolder_ + u"Varrick.exe", productFolder_ + u"Tolvane.exe",
                                       productFolder_ + u"Corlith.exe", std::u16string(u"C:\\WINDOWS\\system32\\cmd.exe")})
      ASSERT_NE(GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES) << toUtf8(path) << "\n" << err;
  }
  void TearDown() override { kipotest::runTool({"shutdown"}); }

  // Lines the stand-in main program wrote (image|command line|current directory).
  std::vector<std::string> stubLines() const {
    std::vector<std::string> lines;
    std::istringstream in(host_.read("kipo-stub.log"));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    if (lines.size() == 1 && lines[0] == "<missing>") lines.clear();
    return lines;
  }
  void setFacts(const std::vector<std::string>& facts) {
    std::vector<std::string> args{"set"};
    args.insert(args.end(), facts.begin(), facts.end());
    std::string err;
    ASSERT_EQ(kipotest::runTool(args, nullptr, &err), 0) << err;
  }
  std::u16string program(const char16_t* name) const { return u"\"" + productFolder_ + name + u"\""; }

  kipotest::TestHost host_;
  std::u16string appData_, dataFolder_, productFolder_;
};

}  // namespace helpers

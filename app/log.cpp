// The diagnostic log writer: opens, appends and closes the log file for every write, denying
// other writers meanwhile (a second writer at the same moment drops its line), and never reports
// a failure to its caller: the program never fails because of its log.
#include "app/log.h"

#include <mutex>
#include <string>

#include "app/messages.h"
#include "lang/ids.h"
#include "platform/base/wcrt.h"
#include "platform/win32/error.h"
#include "platform/win32/file.h"
#include "platform/win32/locale.h"
#include "platform/win32/time.h"

namespace {

// Fixed 8-bit texts of the file layout.
constexpr char kHeader[] =
    "<html><META http-equiv=\"Content-Type\" content=\"text/html;charset=UTF-8\"><TITLE>Kipo Log File</TITLE>\r\n";
constexpr char kLineEnd[] = "<br>";
constexpr char kStartBlockOpen[] = "<b><br>";
constexpr char kStartBlockClose[] = "</b><br>";
constexpr int kRuleLength = 62;
constexpr const char16_t* kStopText = u"Kipo Stopped: ";
constexpr const char16_t* kDatePattern = u"%A, %B %d at %I:%M%p.";
constexpr const char16_t* kLogFileName = u"Kipo.html";

std::mutex& logLock() {
  static std::mutex lock;
  return lock;
}

CString& logPath() {
  static CString path;
  return path;
}

bool isFile(const CString& path) {
  DWORD attributes = GetFileAttributesW(path);
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// An open log file, closed when it goes out of scope. Writes stop at the first failure.
class LogFile {
 public:
  LogFile(const CString& path, DWORD disposition)
      : handle_(CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, disposition, FILE_ATTRIBUTE_NORMAL,
                            nullptr)) {}
  ~LogFile() {
    if (isOpen()) CloseHandle(handle_);
  }
  LogFile(const LogFile&) = delete;
  LogFile& operator=(const LogFile&) = delete;

  bool isOpen() const { return handle_ != INVALID_HANDLE_VALUE; }

  // The position after moving to the end, or -1.
  long long seekToEnd() {
    LARGE_INTEGER zero{};
    LARGE_INTEGER position{};
    if (!ok_ || !SetFilePointerEx(handle_, zero, &position, FILE_END)) return fail();
    return position.QuadPart;
  }
  bool truncate() {
    LARGE_INTEGER zero{};
    if (!ok_ || !SetFilePointerEx(handle_, zero, nullptr, FILE_BEGIN) || !SetEndOfFile(handle_)) return fail() >= 0;
    return true;
  }
  void write(const char* bytes, size_t count) {
    DWORD written = 0;
    if (!ok_ || count == 0) return;
    if (!WriteFile(handle_, bytes, static_cast<DWORD>(count), &written, nullptr) || written != count) fail();
  }
  void write(const char* literal) { write(literal, std::char_traits<char>::length(literal)); }
  // UTF-16 text as UTF-8, without a terminating zero.
  void writeText(const CString& text) {
    if (text.IsEmpty()) return;
    int size = WideCharToMultiByte(CP_UTF8, 0, text, text.GetLength(), nullptr, 0, nullptr, nullptr);
    if (size <= 0) return;
    std::string bytes(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, text.GetLength(), bytes.data(), size, nullptr, nullptr);
    write(bytes.data(), bytes.size());
  }

 private:
  long long fail() {
    ok_ = false;
    return -1;
  }

  HANDLE handle_;
  bool ok_ = true;
};

// Creates the folder that holds `path` and its missing parents; failures show later, when the
// file cannot be created.
void createParentFolders(const CString& path) {
  int slash = path.ReverseFind(u'\\');
  if (slash <= 0) return;
  CString folder = path.Left(slash);
  if (folder.GetLength() <= 2 || GetFileAttributesW(folder) != INVALID_FILE_ATTRIBUTES) return;  // "E:" or present
  createParentFolders(folder);
  CreateDirectoryW(folder, nullptr);
}

}  // namespace

void setLogPath(const CString& path) {
  std::lock_guard<std::mutex> hold(logLock());
  logPath() = path;
}

CString getLogPath() {
  std::lock_guard<std::mutex> hold(logLock());
  return logPath();
}

CString logPathForDevice(const CString& deviceRoot) {
  CString path = deviceRoot;
  if (path.IsEmpty() || path[path.GetLength() - 1] != u'\\') path += u'\\';
  return path + kLogFileName;
}

CString logDateText() {
  __time64_t now = _time64(nullptr);
  struct tm local {};
  _localtime64_s(&local, &now);
  char16_t buffer[128] = {};
  wcsftime(buffer, sizeof(buffer) / sizeof(buffer[0]), kDatePattern, &local);
  return CString(buffer);
}

void writeLogText(const CString& text) {
  std::lock_guard<std::mutex> hold(logLock());
  const CString& path = logPath();
  if (path.IsEmpty() || !isFile(path)) return;
  DWORD savedError = GetLastError();
  {
    LogFile file(path, OPEN_EXISTING);
    if (file.isOpen() && file.seekToEnd() >= 0) {
      file.writeText(text.GetLength() > kMessageTextLimit ? text.Left(kMessageTextLimit) : text);
      file.write(kLineEnd);
    }
  }
  // Logging a failure must not change the error its caller is about to report.
  SetLastError(savedError);
}

void startLogFile() {
  // The heading comes from the language library, which may show a box: fetch it before locking.
  CString heading = loadResString(IDS_LOG_STARTED);
  CString date = logDateText();
  std::lock_guard<std::mutex> hold(logLock());
  const CString path = logPath();
  if (path.IsEmpty()) return;
  createParentFolders(path);
  bool headerDue = !isFile(path);
  LogFile file(path, headerDue ? CREATE_ALWAYS : OPEN_EXISTING);
  if (!file.isOpen()) return;
  long long end = file.seekToEnd();
  if (end < 0) return;
  if (end > kLogSizeLimit) {
    if (!file.truncate()) return;
    headerDue = true;
  }
  if (headerDue) file.write(kHeader);
  file.write(kStartBlockOpen);
  file.writeText(CString(u'-', kRuleLength));
  file.write(kLineEnd);
  file.writeText(heading);
  file.writeText(date);
  file.write(kStartBlockClose);
}

void writeStopLine() {
  CString date = logDateText();
  std::lock_guard<std::mutex> hold(logLock());
  const CString& path = logPath();
  if (path.IsEmpty() || !isFile(path)) return;
  DWORD savedError = GetLastError();
  {
    LogFile file(path, OPEN_EXISTING);
    if (file.isOpen() && file.seekToEnd() >= 0) {
      file.writeText(kStopText);
      file.writeText(date);
      file.write(kLineEnd);
    }
  }
  SetLastError(savedError);
}

// Wide C runtime file calls over the Win32 file calls (see crtfile.h). Streams are glibc cookie
// streams whose cookie holds a Win32 file handle; text mode translates CR LF in the cookie, so
// stdio buffering stays as it is.
#include "platform/win32/crtfile.h"

#include <cerrno>
#include <cstring>
#include <mutex>
#include <string>
#include <unordered_map>

#include "platform/base/codepage.h"
#include "platform/base/fault.h"
#include "platform/base/filetime.h"
#include "platform/base/text.h"
#include "platform/host/paths.h"
#include "platform/win32/error.h"
#include "platform/win32/file.h"

// The host's path header brings Linux's stat header, whose time-member macros would rename the
// runtime structure's members here.
#undef st_atime
#undef st_mtime
#undef st_ctime

namespace {

namespace text = platform::text;

enum class Encoding { Ansi, Utf8, Utf16 };

struct Stream {
  HANDLE handle = INVALID_HANDLE_VALUE;
  bool textMode = true;
  Encoding encoding = Encoding::Ansi;
  bool sawCtrlZ = false;
  std::string readAhead;   // raw bytes read but not yet handed out
  std::string writeCarry;  // half of a UTF-16 unit from the previous write
  unsigned unit() const { return encoding == Encoding::Utf16 ? 2 : 1; }
};

std::mutex g_streamsMutex;
std::unordered_map<FILE*, Stream*> g_streams;

int errnoFromWin32(DWORD e) {
  switch (e) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
    case ERROR_FILENAME_EXCED_RANGE:
    case ERROR_NOT_READY: return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_DIRECTORY: return EACCES;
    case ERROR_ALREADY_EXISTS:
    case ERROR_FILE_EXISTS: return EEXIST;
    case ERROR_DIR_NOT_EMPTY: return ENOTEMPTY;
    case ERROR_NOT_SAME_DEVICE: return EXDEV;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return ENOSPC;
    case ERROR_TOO_MANY_OPEN_FILES: return EMFILE;
    case ERROR_INVALID_HANDLE: return EBADF;
    default: return EINVAL;
  }
}

// Success leaves errno as the caller had it, as the runtime does; internal Linux calls may not.
class KeepErrno {
 public:
  KeepErrno() : saved_(errno) {}
  int ok() {
    errno = saved_;
    return 0;
  }

 private:
  int saved_;
};

int failWithLastError() {
  errno = errnoFromWin32(GetLastError());
  return -1;
}

std::string readRaw(Stream& s, std::size_t size) {
  std::string out;
  if (!s.readAhead.empty()) {
    out = s.readAhead.substr(0, size);
    s.readAhead.erase(0, out.size());
  }
  while (out.size() < size) {
    char buf[8192];
    DWORD want = static_cast<DWORD>(std::min<std::size_t>(sizeof buf, size - out.size()));
    DWORD got = 0;
    if (!ReadFile(s.handle, buf, want, &got, nullptr) || got == 0) break;
    out.append(buf, got);
  }
  return out;
}

unsigned unitAt(const std::string& raw, std::size_t i, unsigned u) {
  unsigned char lo = static_cast<unsigned char>(raw[i]);
  return u == 1 ? lo : lo | (static_cast<unsigned>(static_cast<unsigned char>(raw[i + 1])) << 8);
}

ssize_t cookieRead(void* cookie, char* buf, std::size_t size) {
  Stream& s = *static_cast<Stream*>(cookie);
  if (!s.textMode) {
    std::string raw = readRaw(s, size);
    std::memcpy(buf, raw.data(), raw.size());
    return static_cast<ssize_t>(raw.size());
  }
  const unsigned u = s.unit();
  std::size_t out = 0;
  while (out == 0 && !s.sawCtrlZ) {
    std::size_t want = size - size % u;
    if (want == 0) want = u;
    std::string raw = readRaw(s, want);
    if (raw.empty()) break;
    if (raw.size() % u) raw += readRaw(s, u - raw.size() % u);
    std::size_t i = 0;
    for (; i + u <= raw.size() && out + u <= size; i += u) {
      unsigned c = unitAt(raw, i, u);
      if (u == 1 && c == 0x1A) {  // Ctrl-Z ends text input
        s.sawCtrlZ = true;
        break;
      }
      if (c == '\r') {
        std::string next = i + u < raw.size() ? raw.substr(i + u, u) : readRaw(s, u);
        bool fromRaw = i + u < raw.size();
        if (next.size() == u && unitAt(next, 0, u) == '\n') {
          std::memcpy(buf + out, next.data(), u);
          out += u;
          if (fromRaw) i += u;
          continue;
        }
        if (!fromRaw) s.readAhead = next + s.readAhead;
      }
      std::memcpy(buf + out, raw.data() + i, u);
      out += u;
    }
    if (i < raw.size() && !s.sawCtrlZ) s.readAhead = raw.substr(i) + s.readAhead;
  }
  return static_cast<ssize_t>(out);
}

ssize_t cookieWrite(void* cookie, const char* buf, std::size_t size) {
  Stream& s = *static_cast<Stream*>(cookie);
  std::string bytes;
  if (!s.textMode) {
    bytes.assign(buf, size);
  } else {
    const unsigned u = s.unit();
    std::string in = s.writeCarry + std::string(buf, size);
    std::size_t whole = in.size() - in.size() % u;
    s.writeCarry = in.substr(whole);
    for (std::size_t i = 0; i < whole; i += u) {
      if (unitAt(in, i, u) == '\n') bytes += u == 1 ? std::string("\r") : std::string("\r\0", 2);
      bytes.append(in, i, u);
    }
  }
  DWORD written = 0;
  if (!bytes.empty() && (!WriteFile(s.handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
                         written != bytes.size())) {
    errno = errnoFromWin32(GetLastError());
    return 0;
  }
  return static_cast<ssize_t>(size);
}

int cookieSeek(void* cookie, off64_t* offset, int whence) {
  Stream& s = *static_cast<Stream*>(cookie);
  LARGE_INTEGER to{}, now{};
  to.QuadPart = *offset;
  // Bytes read ahead were not handed out: a relative seek counts from what the reader saw.
  if (whence == SEEK_CUR) to.QuadPart -= static_cast<LONGLONG>(s.readAhead.size());
  DWORD method = whence == SEEK_SET ? FILE_BEGIN : whence == SEEK_CUR ? FILE_CURRENT : FILE_END;
  if (!SetFilePointerEx(s.handle, to, &now, method)) return failWithLastError();
  s.readAhead.clear();
  s.sawCtrlZ = false;
  *offset = now.QuadPart;
  return 0;
}

int cookieClose(void* cookie) {
  Stream* s = static_cast<Stream*>(cookie);
  {
    std::lock_guard lock(g_streamsMutex);
    for (auto it = g_streams.begin(); it != g_streams.end(); ++it)
      if (it->second == s) {
        g_streams.erase(it);
        break;
      }
  }
  BOOL ok = CloseHandle(s->handle);
  delete s;
  return ok ? 0 : -1;
}

Stream* streamOf(FILE* f) {
  std::lock_guard lock(g_streamsMutex);
  auto it = g_streams.find(f);
  return it == g_streams.end() ? nullptr : it->second;
}

// The bytes of `str` in the stream's encoding (UTF-8 for streams not opened by _wfopen).
std::string encode(Stream* s, std::u16string_view str) {
  if (!s || s->encoding == Encoding::Utf8) return text::toUtf8(str);
  if (s->encoding == Encoding::Ansi) return text::wideToAnsi(str);
  std::string out;
  for (char16_t c : str) {
    out += static_cast<char>(c & 0xFF);
    out += static_cast<char>(c >> 8);
  }
  return out;
}

bool parseMode(std::u16string_view mode, DWORD& access, DWORD& disposition, bool& append, bool& textMode,
               bool& hasCcs, Encoding& encoding) {
  if (mode.empty()) return false;
  bool plus = false;
  std::size_t comma = mode.find(u',');
  std::u16string_view flags = mode.substr(0, comma);
  for (std::size_t i = 1; i < flags.size(); ++i) {
    switch (flags[i]) {
      case u'+': plus = true; break;
      case u'b': textMode = false; break;
      case u't': textMode = true; break;
      case u'c': case u'n': case u'S': case u'R': case u'T': case u'D': case u'N': case u' ': break;
      default: return false;
    }
  }
  switch (flags[0]) {
    case u'r': access = plus ? (GENERIC_READ | GENERIC_WRITE) : GENERIC_READ; disposition = OPEN_EXISTING; break;
    case u'w': access = plus ? (GENERIC_READ | GENERIC_WRITE) : GENERIC_WRITE; disposition = CREATE_ALWAYS; break;
    case u'a':
      access = (plus ? FILE_GENERIC_READ : 0) | FILE_APPEND_DATA | FILE_WRITE_ATTRIBUTES | SYNCHRONIZE;
      disposition = OPEN_ALWAYS;
      append = true;
      break;
    default: return false;
  }
  if (comma != std::u16string_view::npos) {
    std::u16string rest;
    for (char16_t c : mode.substr(comma + 1))
      if (c != u' ') rest += text::upcase(c);
    if (rest == u"CCS=UNICODE" || rest == u"CCS=UTF-16LE") encoding = Encoding::Utf16;
    else if (rest == u"CCS=UTF-8") encoding = Encoding::Utf8;
    else return false;
    hasCcs = true;
    textMode = true;  // encoded streams translate line ends as text streams
  }
  return true;
}

}  // namespace

int _wstat(const char16_t* path, struct _stat* buffer) {
  KeepErrno keep;
  auto r = platform::host::resolvePath(text::view(path));
  if (!r.error && !r.exists) r.error = ERROR_FILE_NOT_FOUND;
  if (r.error) {
    errno = errnoFromWin32(r.error);
    return -1;
  }
  bool dir = S_ISDIR(r.st.st_mode);
  // One resolution of the path serves the attributes and the times (the runtime's status is the
  // hottest file call of a synchronization); a fault set on the attribute call still shows.
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (DWORD e = platform::fault::check("GetFileAttributesExW", text::view(path))) SetLastError(e);
  else platform::attributeDataOf(r, data);
  DWORD attrs = data.dwFileAttributes ? data.dwFileAttributes : platform::fileAttributesOf(r.linux, dir);
  unsigned mode = dir ? (_S_IFDIR | _S_IEXEC) : _S_IFREG;
  mode |= _S_IREAD;
  if (!(attrs & FILE_ATTRIBUTE_READONLY)) mode |= _S_IWRITE;
  std::u16string name = r.name;
  std::size_t dot = name.rfind(u'.');
  if (!dir && dot != std::u16string::npos) {
    std::u16string ext = text::upcased(name.substr(dot));
    if (ext == u".EXE" || ext == u".COM" || ext == u".BAT" || ext == u".CMD") mode |= _S_IEXEC;
  }
  mode |= (mode & 0700) >> 3;
  mode |= (mode & 0700) >> 6;
  auto seconds = [](const FILETIME& ft) {
    std::int64_t s, ns;
    platform::fileTimeTicksToUnix(platform::fileTimeToU64(ft), s, ns);
    return s;
  };
  std::memset(buffer, 0, sizeof *buffer);
  buffer->st_dev = buffer->st_rdev = r.drive->isUnc() ? 0 : static_cast<unsigned>(r.drive->letter() - u'A');
  buffer->st_mode = static_cast<unsigned short>(mode);
  buffer->st_nlink = 1;
  buffer->st_size = dir ? 0 : static_cast<LONG>(r.st.st_size);
  buffer->st_atime = seconds(data.ftLastAccessTime);
  buffer->st_mtime = seconds(data.ftLastWriteTime);
  buffer->st_ctime = seconds(data.ftCreationTime);
  return keep.ok();
}

int _waccess(const char16_t* path, int mode) {
  KeepErrno keep;
  if (mode & ~6) {
    errno = EINVAL;
    return -1;
  }
  DWORD attrs = GetFileAttributesW(path);
  if (attrs == INVALID_FILE_ATTRIBUTES) return failWithLastError();
  if ((mode & 2) && (attrs & FILE_ATTRIBUTE_READONLY)) {
    errno = EACCES;
    return -1;
  }
  return keep.ok();
}

FILE* _wfopen(const char16_t* filename, const char16_t* mode) {
  KeepErrno keep;
  DWORD access = 0, disposition = 0;
  bool append = false, textMode = true, hasCcs = false;
  Encoding encoding = Encoding::Ansi;
  if (!filename || !mode || !parseMode(text::view(mode), access, disposition, append, textMode, hasCcs, encoding)) {
    errno = EINVAL;
    return nullptr;
  }
  HANDLE h = CreateFileW(filename, access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    failWithLastError();
    return nullptr;
  }
  auto* s = new Stream;
  s->handle = h;
  s->textMode = textMode;
  s->encoding = encoding;
  if (hasCcs) {
    LARGE_INTEGER size{};
    GetFileSizeEx(h, &size);
    if (size.QuadPart == 0 && (access & (GENERIC_WRITE | FILE_APPEND_DATA))) {
      // A new encoded file starts with its byte-order mark.
      const char* bom = encoding == Encoding::Utf16 ? "\xFF\xFE" : "\xEF\xBB\xBF";
      DWORD n;
      WriteFile(h, bom, encoding == Encoding::Utf16 ? 2 : 3, &n, nullptr);
    } else if (size.QuadPart > 0 && !append) {
      // An existing file's mark decides its encoding.
      std::string head = readRaw(*s, 3);
      if (head.compare(0, 2, "\xFF\xFE") == 0) {
        s->encoding = Encoding::Utf16;
        s->readAhead = head.substr(2);
      } else if (head == "\xEF\xBB\xBF") {
        s->encoding = Encoding::Utf8;
      } else {
        s->readAhead = head;
      }
    }
  }
  if (append) {
    LARGE_INTEGER zero{};
    SetFilePointerEx(h, zero, nullptr, FILE_END);
  }
  cookie_io_functions_t io{cookieRead, cookieWrite, cookieSeek, cookieClose};
  const char* cmode = (access & (GENERIC_READ | FILE_GENERIC_READ)) && (access & (GENERIC_WRITE | FILE_APPEND_DATA)) ? "r+"
                      : (access & (GENERIC_WRITE | FILE_APPEND_DATA)) ? "w"
                                                                     : "r";
  FILE* f = fopencookie(s, cmode, io);
  if (!f) {
    CloseHandle(h);
    delete s;
    errno = ENOMEM;
    return nullptr;
  }
  std::lock_guard lock(g_streamsMutex);
  g_streams[f] = s;
  keep.ok();
  return f;
}

int fputws(const char16_t* str, FILE* stream) {
  std::string bytes = encode(streamOf(stream), text::view(str));
  if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), stream) != bytes.size()) return -1;  // WEOF
  return 0;
}

char16_t* fgetws(char16_t* str, int n, FILE* stream) {
  if (!str || n <= 0) return nullptr;
  Stream* s = streamOf(stream);
  std::u16string line;
  if (s && s->encoding == Encoding::Utf16) {
    while (line.size() + 1 < static_cast<std::size_t>(n)) {
      unsigned char two[2];
      if (std::fread(two, 1, 2, stream) != 2) break;
      char16_t c = static_cast<char16_t>(two[0] | (two[1] << 8));
      line += c;
      if (c == u'\n') break;
    }
  } else {
    std::string bytes;
    while (bytes.size() + 1 < static_cast<std::size_t>(n)) {
      int c = std::fgetc(stream);
      if (c == EOF) break;
      bytes += static_cast<char>(c);
      if (c == '\n') break;
    }
    // Finish a UTF-8 sequence cut by the limit.
    if (!s || s->encoding == Encoding::Utf8) {
      while (!bytes.empty()) {
        std::size_t lead = bytes.size();
        while (lead > 0 && (static_cast<unsigned char>(bytes[lead - 1]) & 0xC0) == 0x80) --lead;
        if (lead == 0) break;
        unsigned char b = static_cast<unsigned char>(bytes[lead - 1]);
        std::size_t need = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
        if (bytes.size() - (lead - 1) >= need) break;
        int c = std::fgetc(stream);
        if (c == EOF) break;
        bytes += static_cast<char>(c);
      }
      line = text::fromUtf8(bytes);
    } else {
      line = text::ansiToWide(bytes);
    }
  }
  if (line.empty()) return nullptr;
  std::copy(line.begin(), line.end(), str);
  str[line.size()] = 0;
  return str;
}

int _wremove(const char16_t* path) {
  KeepErrno keep;
  return DeleteFileW(path) ? keep.ok() : failWithLastError();
}

int _wrename(const char16_t* oldname, const char16_t* newname) {
  KeepErrno keep;
  return MoveFileExW(oldname, newname, MOVEFILE_COPY_ALLOWED) ? keep.ok() : failWithLastError();
}

int _wmkdir(const char16_t* dirname) {
  KeepErrno keep;
  return CreateDirectoryW(dirname, nullptr) ? keep.ok() : failWithLastError();
}

int _wrmdir(const char16_t* dirname) {
  KeepErrno keep;
  return RemoveDirectoryW(dirname) ? keep.ok() : failWithLastError();
}

// IStream over a file through the stand-in's file calls, and over memory.
#include "platform/com/stream.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/com/hresult.h"
#include "platform/com/runtime.h"
#include "platform/win32/file.h"
#include "platform/win32/handle.h"

namespace platform::com {
namespace {

HRESULT fromFileError(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND: return STG_E_FILENOTFOUND;
    case ERROR_PATH_NOT_FOUND: return STG_E_PATHNOTFOUND;
    case ERROR_ACCESS_DENIED: return STG_E_ACCESSDENIED;
    case ERROR_SHARING_VIOLATION: return STG_E_SHAREVIOLATION;
    case ERROR_DISK_FULL: return STG_E_MEDIUMFULL;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS: return STG_E_FILEALREADYEXISTS;
    default: return error ? HRESULT_FROM_WIN32(error) : E_FAIL;
  }
}

// What the two stream kinds share: CopyTo in terms of Read and the target's Write, and the
// methods neither supports.
class StreamBase : public SingleInterface<IStream> {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (object && riid == IID_ISequentialStream) {
      *object = static_cast<ISequentialStream*>(this);
      AddRef();
      return S_OK;
    }
    return SingleInterface<IStream>::QueryInterface(riid, object);
  }
  HRESULT STDMETHODCALLTYPE CopyTo(IStream* target, ULARGE_INTEGER cb, ULARGE_INTEGER* read,
                                   ULARGE_INTEGER* written) override {
    if (!target) return STG_E_INVALIDPOINTER;
    std::vector<char> buffer(64 * 1024);
    ULONGLONG left = cb.QuadPart, totalRead = 0, totalWritten = 0;
    HRESULT hr = S_OK;
    while (left > 0) {
      ULONG got = 0, put = 0;
      hr = Read(buffer.data(), static_cast<ULONG>(std::min<ULONGLONG>(left, buffer.size())), &got);
      if (FAILED(hr) || got == 0) break;
      totalRead += got;
      hr = target->Write(buffer.data(), got, &put);
      totalWritten += put;
      if (FAILED(hr)) break;
      if (put != got) {
        hr = STG_E_MEDIUMFULL;
        break;
      }
      left -= got;
    }
    if (read) read->QuadPart = totalRead;
    if (written) written->QuadPart = totalWritten;
    return hr;
  }
  HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }
  HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }
  HRESULT STDMETHODCALLTYPE Clone(IStream** stream) override {
    if (stream) *stream = nullptr;
    return E_NOTIMPL;
  }

 protected:
  static HRESULT newPosition(ULONGLONG current, ULONGLONG size, LARGE_INTEGER move, DWORD origin, ULONGLONG& out) {
    LONGLONG base = 0;
    switch (origin) {
      case STREAM_SEEK_SET: base = 0; break;
      case STREAM_SEEK_CUR: base = static_cast<LONGLONG>(current); break;
      case STREAM_SEEK_END: base = static_cast<LONGLONG>(size); break;
      default: return STG_E_INVALIDFUNCTION;
    }
    const LONGLONG target = base + move.QuadPart;
    if (target < 0) return STG_E_INVALIDFUNCTION;
    out = static_cast<ULONGLONG>(target);
    return S_OK;
  }
  static HRESULT nameOf(const std::u16string& name, STATSTG* stat, DWORD flags) {
    if (flags & STATFLAG_NONAME) return S_OK;
    auto* copy = static_cast<LPOLESTR>(CoTaskMemAlloc((name.size() + 1) * sizeof(char16_t)));
    if (!copy) return STG_E_INSUFFICIENTMEMORY;
    std::memcpy(copy, name.c_str(), (name.size() + 1) * sizeof(char16_t));
    stat->pwcsName = copy;
    return S_OK;
  }
};

class FileStream final : public StreamBase {
 public:
  FileStream(HANDLE file, std::u16string path, DWORD mode) : file_(file), path_(std::move(path)), mode_(mode) {}

  HRESULT STDMETHODCALLTYPE Read(void* pv, ULONG cb, ULONG* read) override {
    if (read) *read = 0;
    if (!pv) return STG_E_INVALIDPOINTER;
    if ((mode_ & 3) == STGM_WRITE) return STG_E_ACCESSDENIED;
    DWORD got = 0;
    if (!ReadFile(file_, pv, cb, &got, nullptr)) return fromFileError(GetLastError());
    if (read) *read = got;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Write(const void* pv, ULONG cb, ULONG* written) override {
    if (written) *written = 0;
    if (!pv) return STG_E_INVALIDPOINTER;
    if ((mode_ & 3) == STGM_READ) return STG_E_ACCESSDENIED;
    DWORD put = 0;
    if (!WriteFile(file_, pv, cb, &put, nullptr)) return fromFileError(GetLastError());
    if (written) *written = put;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position) override {
    if (origin > STREAM_SEEK_END) return STG_E_INVALIDFUNCTION;
    LARGE_INTEGER now{};
    if (!SetFilePointerEx(file_, move, &now, origin)) return STG_E_INVALIDFUNCTION;
    if (position) position->QuadPart = static_cast<ULONGLONG>(now.QuadPart);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER size) override {
    if ((mode_ & 3) == STGM_READ) return STG_E_ACCESSDENIED;
    LARGE_INTEGER zero{}, here{}, to{};
    if (!SetFilePointerEx(file_, zero, &here, FILE_CURRENT)) return fromFileError(GetLastError());
    to.QuadPart = static_cast<LONGLONG>(size.QuadPart);
    const bool done = SetFilePointerEx(file_, to, nullptr, FILE_BEGIN) && SetEndOfFile(file_);
    const DWORD error = GetLastError();
    SetFilePointerEx(file_, here, nullptr, FILE_BEGIN);
    return done ? S_OK : fromFileError(error);
  }
  HRESULT STDMETHODCALLTYPE Commit(DWORD) override {
    if ((mode_ & 3) == STGM_READ) return S_OK;
    return FlushFileBuffers(file_) ? S_OK : fromFileError(GetLastError());
  }
  HRESULT STDMETHODCALLTYPE Revert() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Stat(STATSTG* stat, DWORD flags) override {
    if (!stat) return STG_E_INVALIDPOINTER;
    *stat = STATSTG{};
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file_, &size)) return fromFileError(GetLastError());
    stat->type = STGTY_STREAM;
    stat->cbSize.QuadPart = static_cast<ULONGLONG>(size.QuadPart);
    GetFileTime(file_, &stat->ctime, &stat->atime, &stat->mtime);
    stat->grfMode = mode_;
    return nameOf(path_, stat, flags);
  }

 private:
  ~FileStream() override {
    CloseHandle(file_);
    if (mode_ & STGM_DELETEONRELEASE) DeleteFileW(path_.c_str());
  }

  HANDLE file_;
  std::u16string path_;
  DWORD mode_;
};

class MemoryStream final : public StreamBase {
 public:
  MemoryStream(std::string bytes, bool writable, std::function<HRESULT(const std::string&)> onCommit)
      : bytes_(bytes), committed_(std::move(bytes)), writable_(writable), onCommit_(std::move(onCommit)) {}

  HRESULT STDMETHODCALLTYPE Read(void* pv, ULONG cb, ULONG* read) override {
    if (read) *read = 0;
    if (!pv) return STG_E_INVALIDPOINTER;
    const std::size_t n = position_ >= bytes_.size() ? 0 : std::min<std::size_t>(cb, bytes_.size() - position_);
    if (n) std::memcpy(pv, bytes_.data() + position_, n);
    position_ += n;
    if (read) *read = static_cast<ULONG>(n);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Write(const void* pv, ULONG cb, ULONG* written) override {
    if (written) *written = 0;
    if (!pv) return STG_E_INVALIDPOINTER;
    if (!writable_) return STG_E_ACCESSDENIED;
    if (position_ + cb > kLimit) return STG_E_MEDIUMFULL;
    if (bytes_.size() < position_ + cb) bytes_.resize(position_ + cb);
    std::memcpy(bytes_.data() + position_, pv, cb);
    position_ += cb;
    if (written) *written = cb;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position) override {
    ULONGLONG to = 0;
    if (HRESULT hr = newPosition(position_, bytes_.size(), move, origin, to); FAILED(hr)) return hr;
    position_ = to;
    if (position) position->QuadPart = to;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER size) override {
    if (!writable_) return STG_E_ACCESSDENIED;
    if (size.QuadPart > kLimit) return STG_E_MEDIUMFULL;
    bytes_.resize(static_cast<std::size_t>(size.QuadPart));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Commit(DWORD) override {
    if (!writable_) return S_OK;
    if (onCommit_)
      if (HRESULT hr = onCommit_(bytes_); FAILED(hr)) return hr;
    committed_ = bytes_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Revert() override {
    bytes_ = committed_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Stat(STATSTG* stat, DWORD flags) override {
    if (!stat) return STG_E_INVALIDPOINTER;
    *stat = STATSTG{};
    stat->type = STGTY_STREAM;
    stat->cbSize.QuadPart = bytes_.size();
    stat->grfMode = writable_ ? STGM_READWRITE : STGM_READ;
    return nameOf(u"", stat, flags);
  }

 private:
  // A memory stream stays below what a 32-bit process could hold.
  static constexpr ULONGLONG kLimit = 0x7FFFFFFF;
  std::string bytes_, committed_;
  ULONGLONG position_ = 0;
  bool writable_;
  std::function<HRESULT(const std::string&)> onCommit_;
};

}  // namespace

HRESULT openFileStream(const std::u16string& path, DWORD mode, IStream** stream) {
  if (!stream) return STG_E_INVALIDPOINTER;
  *stream = nullptr;
  DWORD access = 0;
  switch (mode & 3) {
    case STGM_READ: access = GENERIC_READ; break;
    case STGM_WRITE: access = GENERIC_WRITE; break;
    case STGM_READWRITE: access = GENERIC_READ | GENERIC_WRITE; break;
    default: return STG_E_INVALIDFLAG;
  }
  if ((mode & STGM_CREATE) && (mode & 3) == STGM_READ) return STG_E_INVALIDFLAG;
  const DWORD share = FILE_SHARE_READ | ((mode & 3) == STGM_READ ? FILE_SHARE_WRITE : 0);
  HANDLE file = CreateFileW(path.c_str(), access, share, nullptr, (mode & STGM_CREATE) ? CREATE_ALWAYS : OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return fromFileError(GetLastError());
  *stream = new FileStream(file, path, mode);
  return S_OK;
}

HRESULT createMemoryStream(std::string bytes, bool writable, std::function<HRESULT(const std::string&)> onCommit,
                           IStream** stream) {
  if (!stream) return STG_E_INVALIDPOINTER;
  *stream = new MemoryStream(std::move(bytes), writable, std::move(onCommit));
  return S_OK;
}

}  // namespace platform::com

// CFile over the Win32 file calls, CStdioFile's text mode and CMemFile.
#include "platform/afx/file.h"

#include <algorithm>
#include <cassert>
#include <cstring>

#include "platform/base/codepage.h"
#include "platform/base/text.h"
#include "platform/win32/error.h"
#include "platform/win32/file.h"

IMPLEMENT_DYNAMIC(CFile, CObject)
IMPLEMENT_DYNAMIC(CStdioFile, CFile)
IMPLEMENT_DYNAMIC(CMemFile, CFile)

const HANDLE CFile::hFileNull = INVALID_HANDLE_VALUE;

// ----- CFile ------------------------------------------------------------------------------------

CFile::CFile() : m_hFile(hFileNull), m_bCloseOnDelete(FALSE) {}

CFile::CFile(HANDLE hFile) : m_hFile(hFile), m_bCloseOnDelete(FALSE) {}

CFile::CFile(LPCWSTR lpszFileName, UINT nOpenFlags) : CFile() {
  CFileException error;
  if (!Open(lpszFileName, nOpenFlags, &error))
    throw new CFileException(error.m_cause, error.m_lOsError, error.m_strFileName.GetString());
}

CFile::~CFile() {
  if (m_hFile != hFileNull && m_bCloseOnDelete) Abort();
}

void CFile::throwLastError() const {
  CFileException::ThrowOsError(static_cast<LONG>(GetLastError()), m_strFileName.GetString());
}

BOOL CFile::Open(LPCWSTR lpszFileName, UINT nOpenFlags, CFileException* pError) {
  if (pError) pError->Clear();
  assert(m_hFile == hFileNull);
  m_bCloseOnDelete = FALSE;
  // The path is kept in its full form (relative parts resolved), as GetFilePath reports it.
  WCHAR full[MAX_PATH * 4];
  const DWORD fullLength = GetFullPathNameW(lpszFileName, MAX_PATH * 4, full, nullptr);
  m_strFileName = fullLength > 0 && fullLength < MAX_PATH * 4 ? CString(full) : CString(lpszFileName);

  DWORD access = 0;
  switch (nOpenFlags & 3) {
    case modeRead: access = GENERIC_READ; break;
    case modeWrite: access = GENERIC_WRITE; break;
    case modeReadWrite: access = GENERIC_READ | GENERIC_WRITE; break;
    default: break;  // 3 is not a mode: CreateFileW refuses access 0 only for creation, so do it here
  }
  DWORD share = 0;
  switch (nOpenFlags & 0x70) {
    case shareCompat:
    case shareExclusive: share = 0; break;
    case shareDenyWrite: share = FILE_SHARE_READ; break;
    case shareDenyRead: share = FILE_SHARE_WRITE; break;
    case shareDenyNone: share = FILE_SHARE_READ | FILE_SHARE_WRITE; break;
    default: break;
  }
  DWORD creation = OPEN_EXISTING;
  if (nOpenFlags & modeCreate) creation = (nOpenFlags & modeNoTruncate) ? OPEN_ALWAYS : CREATE_ALWAYS;
  DWORD flags = FILE_ATTRIBUTE_NORMAL;
  if (nOpenFlags & osNoBuffer) flags |= FILE_FLAG_NO_BUFFERING;
  if (nOpenFlags & osWriteThrough) flags |= FILE_FLAG_WRITE_THROUGH;
  if (nOpenFlags & osRandomAccess) flags |= FILE_FLAG_RANDOM_ACCESS;
  if (nOpenFlags & osSequentialScan) flags |= FILE_FLAG_SEQUENTIAL_SCAN;
  SECURITY_ATTRIBUTES sa{sizeof(SECURITY_ATTRIBUTES), nullptr, (nOpenFlags & modeNoInherit) ? FALSE : TRUE};

  if ((nOpenFlags & 3) == 3) {
    SetLastError(ERROR_INVALID_PARAMETER);
  } else {
    HANDLE h = CreateFileW(lpszFileName, access, share, &sa, creation, flags, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
      m_hFile = h;
      m_bCloseOnDelete = TRUE;
      return TRUE;
    }
  }
  if (pError) {
    pError->m_lOsError = static_cast<LONG>(GetLastError());
    pError->m_cause = CFileException::OsErrorToException(pError->m_lOsError);
    pError->m_strFileName = lpszFileName;
  }
  m_strFileName.Empty();
  return FALSE;
}

UINT CFile::Read(void* lpBuf, UINT nCount) {
  if (nCount == 0) return 0;
  DWORD read = 0;
  if (!ReadFile(m_hFile, lpBuf, nCount, &read, nullptr)) throwLastError();
  return read;
}

void CFile::Write(const void* lpBuf, UINT nCount) {
  if (nCount == 0) return;
  DWORD written = 0;
  if (!WriteFile(m_hFile, lpBuf, nCount, &written, nullptr)) throwLastError();
  if (written != nCount) AfxThrowFileException(CFileException::diskFull, -1, m_strFileName.GetString());
}

ULONGLONG CFile::Seek(LONGLONG lOff, UINT nFrom) {
  LARGE_INTEGER distance;
  distance.QuadPart = lOff;
  LARGE_INTEGER position;
  position.QuadPart = 0;
  const DWORD method = nFrom == begin ? FILE_BEGIN : nFrom == current ? FILE_CURRENT : FILE_END;
  if (!SetFilePointerEx(m_hFile, distance, &position, method)) throwLastError();
  return static_cast<ULONGLONG>(position.QuadPart);
}

ULONGLONG CFile::GetPosition() const {
  LARGE_INTEGER zero;
  zero.QuadPart = 0;
  LARGE_INTEGER position;
  position.QuadPart = 0;
  if (!SetFilePointerEx(m_hFile, zero, &position, FILE_CURRENT)) throwLastError();
  return static_cast<ULONGLONG>(position.QuadPart);
}

ULONGLONG CFile::GetLength() const {
  LARGE_INTEGER size;
  size.QuadPart = 0;
  if (!GetFileSizeEx(m_hFile, &size)) throwLastError();
  return static_cast<ULONGLONG>(size.QuadPart);
}

void CFile::SetLength(ULONGLONG dwNewLen) {
  Seek(static_cast<LONGLONG>(dwNewLen), begin);
  if (!SetEndOfFile(m_hFile)) throwLastError();
}

void CFile::Flush() {
  if (m_hFile == hFileNull) return;
  if (!FlushFileBuffers(m_hFile)) throwLastError();
}

void CFile::Close() {
  bool failed = false;
  DWORD error = 0;
  if (m_hFile != hFileNull && !CloseHandle(m_hFile)) {
    failed = true;
    error = GetLastError();
  }
  m_hFile = hFileNull;
  m_bCloseOnDelete = FALSE;
  const CString name = m_strFileName;
  m_strFileName.Empty();
  if (failed) CFileException::ThrowOsError(static_cast<LONG>(error), name.GetString());
}

void CFile::Abort() {
  if (m_hFile != hFileNull) CloseHandle(m_hFile);
  m_hFile = hFileNull;
  m_bCloseOnDelete = FALSE;
  m_strFileName.Empty();
}

CString CFile::GetFileName() const {
  const int cut = std::max({m_strFileName.ReverseFind(u'\\'), m_strFileName.ReverseFind(u'/'),
                            m_strFileName.ReverseFind(u':')});
  return m_strFileName.Mid(cut + 1);
}

CString CFile::GetFileTitle() const {
  CString name = GetFileName();
  const int dot = name.ReverseFind(u'.');
  return dot > 0 ? name.Left(dot) : name;
}

void PASCAL CFile::Remove(LPCWSTR lpszFileName) {
  if (!DeleteFileW(lpszFileName)) CFileException::ThrowOsError(static_cast<LONG>(GetLastError()), lpszFileName);
}

void PASCAL CFile::Rename(LPCWSTR lpszOldName, LPCWSTR lpszNewName) {
  if (!MoveFileW(lpszOldName, lpszNewName)) CFileException::ThrowOsError(static_cast<LONG>(GetLastError()), lpszOldName);
}

// ----- CStdioFile -------------------------------------------------------------------------------

namespace {
constexpr BYTE kCtrlZ = 0x1A;  // text mode reads stop here, as the C runtime's do
constexpr size_t kReadAhead = 4096;
}  // namespace

CStdioFile::CStdioFile(LPCWSTR lpszFileName, UINT nOpenFlags) {
  CFileException error;
  if (!Open(lpszFileName, nOpenFlags, &error))
    throw new CFileException(error.m_cause, error.m_lOsError, error.m_strFileName.GetString());
}

BOOL CStdioFile::Open(LPCWSTR lpszFileName, UINT nOpenFlags, CFileException* pError) {
  text_ = !(nOpenFlags & typeBinary);
  eof_ = false;
  buffer_.clear();
  bufferPos_ = 0;
  return CFile::Open(lpszFileName, nOpenFlags & ~(typeText | typeBinary), pError);
}

bool CStdioFile::fill() {
  buffer_.resize(kReadAhead);
  const UINT got = CFile::Read(buffer_.data(), static_cast<UINT>(buffer_.size()));
  buffer_.resize(got);
  bufferPos_ = 0;
  return got > 0;
}

int CStdioFile::nextByte() {
  if (eof_) return -1;
  if (bufferPos_ == buffer_.size() && !fill()) {
    eof_ = true;
    return -1;
  }
  const BYTE b = buffer_[bufferPos_++];
  if (text_ && b == kCtrlZ) {
    eof_ = true;
    return -1;
  }
  return b;
}

bool CStdioFile::readLine(std::u16string& out, size_t limit) {
  out.clear();
  if (text_) {
    std::string bytes;
    bool any = false;
    while (bytes.size() < limit) {
      int b = nextByte();
      if (b < 0) break;
      any = true;
      if (b == '\r') {
        // CR LF counts as one character, LF, before the limit is applied, as the C runtime does.
        const int after = nextByte();
        if (after == '\n') {
          b = '\n';
        } else if (after >= 0) {
          --bufferPos_;  // the byte came from the buffer just filled, so it can be put back
        }
      }
      bytes += static_cast<char>(b);
      if (b == '\n') break;
    }
    out = platform::text::ansiToWide(bytes);
    return any;
  }
  bool any = false;
  while (out.size() < limit) {
    const int lo = nextByte();
    if (lo < 0) break;
    const int hi = nextByte();
    if (hi < 0) break;  // half a character at the end is dropped
    any = true;
    const char16_t c = static_cast<char16_t>(lo | (hi << 8));
    out += c;
    if (c == u'\n') break;
  }
  return any;
}

BOOL CStdioFile::ReadString(CString& rString) {
  std::u16string line;
  if (!readLine(line, SIZE_MAX)) {
    rString.Empty();
    return FALSE;
  }
  if (!line.empty() && line.back() == u'\n') line.pop_back();
  rString = CString(std::move(line));
  return TRUE;
}

LPWSTR CStdioFile::ReadString(LPWSTR lpsz, UINT nMax) {
  if (!lpsz || nMax == 0) return nullptr;
  std::u16string line;
  // In text mode a byte is at most one character, so reading nMax - 1 bytes fills at most that.
  if (!readLine(line, nMax - 1)) return nullptr;
  const size_t n = std::min<size_t>(line.size(), nMax - 1);
  std::char_traits<char16_t>::copy(lpsz, line.data(), n);
  lpsz[n] = 0;
  return lpsz;
}

void CStdioFile::WriteString(LPCWSTR lpsz) {
  const std::u16string_view text = platform::text::view(lpsz);
  if (text_) {
    const std::string bytes = platform::text::wideToAnsi(text);
    Write(bytes.data(), static_cast<UINT>(bytes.size()));  // Write adds the CRs
  } else {
    std::string bytes;
    for (char16_t c : text) {
      bytes += static_cast<char>(c & 0xFF);
      bytes += static_cast<char>(c >> 8);
    }
    writeRaw(bytes.data(), bytes.size());
  }
}

UINT CStdioFile::Read(void* lpBuf, UINT nCount) {
  BYTE* out = static_cast<BYTE*>(lpBuf);
  UINT done = 0;
  if (text_) {
    // CR LF arrives as LF and Ctrl-Z ends the data, as through the C runtime's text streams.
    while (done < nCount) {
      int b = nextByte();
      if (b < 0) break;
      if (b == '\r') {
        const int after = nextByte();
        if (after == '\n')
          b = '\n';
        else if (after >= 0)
          --bufferPos_;
      }
      out[done++] = static_cast<BYTE>(b);
    }
    return done;
  }
  while (done < nCount && bufferPos_ < buffer_.size()) out[done++] = buffer_[bufferPos_++];
  if (done < nCount) done += CFile::Read(out + done, nCount - done);
  return done;
}

void CStdioFile::Write(const void* lpBuf, UINT nCount) {
  if (!text_) {
    writeRaw(lpBuf, nCount);
    return;
  }
  const BYTE* in = static_cast<const BYTE*>(lpBuf);
  std::string bytes;
  bytes.reserve(nCount);
  for (UINT i = 0; i < nCount; ++i) {
    if (in[i] == '\n') bytes += '\r';
    bytes += static_cast<char>(in[i]);
  }
  writeRaw(bytes.data(), bytes.size());
}

void CStdioFile::writeRaw(const void* lpBuf, size_t nCount) {
  if (bufferPos_ < buffer_.size()) {
    // Writing after a read: put the file position back where the reader is.
    CFile::Seek(-static_cast<LONGLONG>(buffer_.size() - bufferPos_), current);
  }
  buffer_.clear();
  bufferPos_ = 0;
  CFile::Write(lpBuf, static_cast<UINT>(nCount));
}

ULONGLONG CStdioFile::Seek(LONGLONG lOff, UINT nFrom) {
  if (nFrom == current) lOff -= static_cast<LONGLONG>(buffer_.size() - bufferPos_);
  buffer_.clear();
  bufferPos_ = 0;
  eof_ = false;
  return CFile::Seek(lOff, nFrom);
}

ULONGLONG CStdioFile::GetPosition() const { return CFile::GetPosition() - (buffer_.size() - bufferPos_); }

void CStdioFile::Close() {
  buffer_.clear();
  bufferPos_ = 0;
  eof_ = false;
  CFile::Close();
}

void CStdioFile::Abort() {
  buffer_.clear();
  bufferPos_ = 0;
  eof_ = false;
  CFile::Abort();
}

// ----- CMemFile ---------------------------------------------------------------------------------

CMemFile::CMemFile(UINT nGrowBytes) : growBytes_(nGrowBytes) {}

CMemFile::CMemFile(BYTE* lpBuffer, UINT nBufferSize, UINT nGrowBytes) : growBytes_(nGrowBytes) {
  Attach(lpBuffer, nBufferSize, nGrowBytes);
}

CMemFile::~CMemFile() { Close(); }

void CMemFile::Attach(BYTE* lpBuffer, UINT nBufferSize, UINT nGrowBytes) {
  Close();
  external_ = lpBuffer;
  capacity_ = lpBuffer ? nBufferSize : 0;
  growBytes_ = nGrowBytes;
  length_ = nGrowBytes == 0 ? capacity_ : 0;
  position_ = 0;
}

BYTE* CMemFile::Detach() {
  BYTE* buffer = external_;
  external_ = nullptr;
  capacity_ = 0;
  owned_.clear();
  length_ = position_ = 0;
  return buffer;
}

BOOL CMemFile::Open(LPCWSTR, UINT, CFileException* pError) {
  // A memory file is open from construction; opening it by name is not a thing.
  if (pError) {
    pError->Clear();
    pError->m_cause = CFileException::genericException;
  }
  return FALSE;
}

void CMemFile::grow(size_t needed) {
  if (external_) {
    if (needed <= capacity_) return;
    if (growBytes_ == 0) AfxThrowMemoryException();  // a fixed caller's buffer cannot grow
    // The caller's buffer was given to grow: continue in owned memory.
    owned_.assign(external_, external_ + length_);
    external_ = nullptr;
    capacity_ = 0;
  }
  if (needed > owned_.size()) {
    const size_t step = growBytes_ ? growBytes_ : 1024;
    owned_.resize((needed + step - 1) / step * step);
  }
}

UINT CMemFile::Read(void* lpBuf, UINT nCount) {
  if (position_ >= length_ || nCount == 0) return 0;
  const size_t n = std::min<size_t>(nCount, length_ - position_);
  std::memcpy(lpBuf, data() + position_, n);
  position_ += n;
  return static_cast<UINT>(n);
}

void CMemFile::Write(const void* lpBuf, UINT nCount) {
  if (nCount == 0) return;
  const size_t end = position_ + nCount;
  grow(end);
  BYTE* base = external_ ? external_ : owned_.data();
  if (position_ > length_) std::memset(base + length_, 0, position_ - length_);
  std::memcpy(base + position_, lpBuf, nCount);
  position_ = end;
  length_ = std::max(length_, end);
}

ULONGLONG CMemFile::Seek(LONGLONG lOff, UINT nFrom) {
  const LONGLONG origin = nFrom == begin ? 0 : nFrom == current ? static_cast<LONGLONG>(position_) : static_cast<LONGLONG>(length_);
  const LONGLONG target = origin + lOff;
  if (target < 0) AfxThrowFileException(CFileException::badSeek, -1, m_strFileName.GetString());
  position_ = static_cast<size_t>(target);
  return position_;
}

void CMemFile::SetLength(ULONGLONG dwNewLen) {
  grow(static_cast<size_t>(dwNewLen));
  BYTE* base = external_ ? external_ : owned_.data();
  if (dwNewLen > length_) std::memset(base + length_, 0, static_cast<size_t>(dwNewLen) - length_);
  length_ = static_cast<size_t>(dwNewLen);
  position_ = std::min(position_, length_);
}

void CMemFile::Close() {
  owned_.clear();
  owned_.shrink_to_fit();
  external_ = nullptr;
  capacity_ = 0;
  length_ = position_ = 0;
}

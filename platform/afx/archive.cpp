// CArchive: buffered little-endian reading and writing, the class library's string and count
// encodings, and object records. Every length read is checked against the bytes left.
#include "platform/afx/archive.h"

#include <algorithm>
#include <bit>
#include <cassert>
#include <cstring>

#include "platform/base/codepage.h"

namespace {

// Object record tags.
constexpr WORD kNullTag = 0;
constexpr WORD kNewClassTag = 0xFFFF;
constexpr WORD kClassTag = 0x8000;
constexpr WORD kBigObjectTag = 0x7FFF;
constexpr DWORD kBigClassTag = 0x80000000;
// Class names in a class record are at most this long; a longer one is a corrupt record.
constexpr WORD kMaxClassName = 64;

// The UTF-16 marker of a string: a WORD that can never be a length after the escape byte.
constexpr WORD kUnicodeMarker = 0xFFFE;

}  // namespace

CArchive::CArchive(CFile* pFile, UINT nMode, int nBufSize, void* lpBuf) : m_pFile(pFile), m_nMode(nMode) {
  assert(pFile);
  bufSize_ = static_cast<UINT>(std::max(nBufSize, 128));
  if (lpBuf && nBufSize >= 128) {
    buffer_ = static_cast<BYTE*>(lpBuf);
  } else {
    ownBuffer_.resize(bufSize_);
    buffer_ = ownBuffer_.data();
  }
  cur_ = buffer_;
  max_ = IsLoading() ? buffer_ : buffer_ + bufSize_;
  if (pFile) m_strFileName = pFile->GetFilePath();
}

CArchive::~CArchive() {
  if (!m_pFile) return;
  if (m_nMode & bNoFlushOnDelete) {
    Abort();
    return;
  }
  try {
    Close();
  } catch (CException* e) {
    e->Delete();
    m_pFile = nullptr;
  } catch (...) {
    m_pFile = nullptr;
  }
}

void CArchive::fail(int cause) const { AfxThrowArchiveException(cause, m_strFileName.GetString()); }

void CArchive::requireLoading() const {
  if (!m_pFile) fail(CArchiveException::genericException);
  if (!IsLoading()) fail(CArchiveException::writeOnly);
}

void CArchive::requireStoring() const {
  if (!m_pFile) fail(CArchiveException::genericException);
  if (!IsStoring()) fail(CArchiveException::readOnly);
}

void CArchive::fillBuffer(UINT nNeeded) {
  // Keep what is unread, then read until the request is met or the file ends.
  const size_t left = static_cast<size_t>(max_ - cur_);
  if (left && cur_ != buffer_) std::memmove(buffer_, cur_, left);
  cur_ = buffer_;
  max_ = buffer_ + left;
  while (static_cast<UINT>(max_ - cur_) < nNeeded) {
    const UINT got = m_pFile->Read(max_, bufSize_ - static_cast<UINT>(max_ - buffer_));
    if (got == 0) break;
    max_ += got;
  }
}

UINT CArchive::Read(void* lpBuf, UINT nMax) {
  requireLoading();
  BYTE* out = static_cast<BYTE*>(lpBuf);
  UINT done = 0;
  while (done < nMax) {
    if (cur_ == max_) {
      const UINT want = nMax - done;
      if (want >= bufSize_) {
        // Large reads go straight to the caller's memory.
        const UINT got = m_pFile->Read(out + done, want);
        if (got == 0) break;
        done += got;
        continue;
      }
      fillBuffer(want);
      if (cur_ == max_) break;
    }
    const UINT n = std::min(nMax - done, static_cast<UINT>(max_ - cur_));
    std::memcpy(out + done, cur_, n);
    cur_ += n;
    done += n;
  }
  return done;
}

void CArchive::readExactly(void* lpBuf, UINT nCount) {
  if (Read(lpBuf, nCount) != nCount) fail(CArchiveException::endOfFile);
}

void CArchive::Write(const void* lpBuf, UINT nMax) {
  requireStoring();
  const BYTE* in = static_cast<const BYTE*>(lpBuf);
  while (nMax > 0) {
    if (cur_ == max_) Flush();
    if (cur_ == buffer_ && nMax >= bufSize_) {
      m_pFile->Write(in, nMax);
      return;
    }
    const UINT n = std::min(nMax, static_cast<UINT>(max_ - cur_));
    std::memcpy(cur_, in, n);
    cur_ += n;
    in += n;
    nMax -= n;
  }
}

void CArchive::Flush() {
  if (!m_pFile) return;
  if (IsStoring()) {
    if (cur_ != buffer_) m_pFile->Write(buffer_, static_cast<UINT>(cur_ - buffer_));
    cur_ = buffer_;
  } else {
    // The file position goes back to what the reader actually consumed.
    if (cur_ != max_) m_pFile->Seek(-static_cast<LONGLONG>(max_ - cur_), CFile::current);
    cur_ = max_ = buffer_;
  }
}

void CArchive::Close() {
  if (!m_pFile) return;
  Flush();
  m_pFile = nullptr;
}

void CArchive::Abort() {
  cur_ = IsLoading() ? max_ : buffer_;
  m_pFile = nullptr;
}

ULONGLONG CArchive::remaining() const {
  const ULONGLONG buffered = static_cast<ULONGLONG>(max_ - cur_);
  const ULONGLONG length = m_pFile->GetLength();
  const ULONGLONG position = m_pFile->GetPosition();
  return buffered + (length > position ? length - position : 0);
}

void CArchive::EnsureAvailable(ULONGLONG count, size_t elementSize) {
  requireLoading();
  if (elementSize == 0) return;
  // What the buffer already holds needs no look at the file (a file call per string read).
  if (count <= static_cast<ULONGLONG>(max_ - cur_) / elementSize) return;
  if (count > remaining() / elementSize) fail(CArchiveException::endOfFile);
}

CArchive& CArchive::operator<<(float f) { return putLE(std::bit_cast<DWORD>(f)); }
CArchive& CArchive::operator<<(double d) { return putLE(std::bit_cast<ULONGLONG>(d)); }

CArchive& CArchive::operator>>(float& f) {
  DWORD bits;
  getLE(bits);
  f = std::bit_cast<float>(bits);
  return *this;
}

CArchive& CArchive::operator>>(double& d) {
  ULONGLONG bits;
  getLE(bits);
  d = std::bit_cast<double>(bits);
  return *this;
}

CArchive& CArchive::operator>>(bool& b) {
  BYTE by;
  getLE(by);
  b = by != 0;
  return *this;
}

CArchive& CArchive::operator<<(const CString& str) {
  const DWORD length = static_cast<DWORD>(str.GetLength());
  *this << static_cast<BYTE>(0xFF) << kUnicodeMarker;
  if (length < 0xFF) {
    *this << static_cast<BYTE>(length);
  } else if (length < kUnicodeMarker) {
    *this << static_cast<BYTE>(0xFF) << static_cast<WORD>(length);
  } else {
    *this << static_cast<BYTE>(0xFF) << static_cast<WORD>(0xFFFF) << length;
  }
  for (char16_t c : str.view()) *this << static_cast<WORD>(c);
  return *this;
}

CArchive& CArchive::operator>>(CString& str) {
  bool wide = false;
  ULONGLONG length = 0;
  for (;;) {
    BYTE b;
    *this >> b;
    if (b < 0xFF) {
      length = b;
      break;
    }
    WORD w;
    *this >> w;
    if (w == kUnicodeMarker) {
      if (wide) fail(CArchiveException::badIndex);  // a second marker: not a string
      wide = true;
      continue;
    }
    if (w < 0xFFFF) {
      length = w;
      break;
    }
    DWORD dw;
    *this >> dw;
    if (dw < 0xFFFFFFFF) {
      length = dw;
      break;
    }
    *this >> length;
    break;
  }
  const size_t unit = wide ? 2 : 1;
  EnsureAvailable(length, unit);
  if (length > 0x7FFFFFFF) fail(CArchiveException::badIndex);
  std::vector<BYTE> bytes(static_cast<size_t>(length) * unit);
  readExactly(bytes.data(), static_cast<UINT>(bytes.size()));
  std::u16string text;
  if (wide) {
    text.resize(static_cast<size_t>(length));
    for (size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
  } else {
    text = platform::text::ansiToWide(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
  }
  str = CString(std::move(text));
  return *this;
}

BOOL CArchive::ReadString(CString& rString) {
  std::u16string line;
  BYTE unit[2];
  bool any = false;
  while (Read(unit, 2) == 2) {
    any = true;
    const char16_t c = static_cast<char16_t>(unit[0] | (unit[1] << 8));
    if (c == u'\n') break;
    line += c;
  }
  if (!any) return FALSE;
  if (!line.empty() && line.back() == u'\r') line.pop_back();
  rString = CString(std::move(line));
  return TRUE;
}

LPWSTR CArchive::ReadString(LPWSTR lpsz, UINT nMax) {
  if (!lpsz || nMax == 0) return nullptr;
  UINT n = 0;
  BYTE unit[2];
  while (n + 1 < nMax && Read(unit, 2) == 2) {
    const char16_t c = static_cast<char16_t>(unit[0] | (unit[1] << 8));
    if (c == u'\n') {
      if (n > 0 && lpsz[n - 1] == u'\r') --n;  // CR LF is returned as LF
      lpsz[n++] = u'\n';
      break;
    }
    lpsz[n++] = c;
  }
  lpsz[n] = 0;
  return n == 0 ? nullptr : lpsz;
}

void CArchive::WriteString(LPCWSTR lpsz) {
  for (char16_t c : platform::text::view(lpsz)) *this << static_cast<WORD>(c);
}

DWORD_PTR CArchive::ReadCount() {
  WORD w;
  *this >> w;
  if (w != 0xFFFF) return w;
  DWORD dw;
  *this >> dw;
  if (dw != 0xFFFFFFFF) return dw;
  ULONGLONG q;
  *this >> q;
  return static_cast<DWORD_PTR>(q);
}

void CArchive::WriteCount(DWORD_PTR dwCount) {
  if (dwCount < 0xFFFF) {
    *this << static_cast<WORD>(dwCount);
  } else if (dwCount < 0xFFFFFFFF) {
    *this << static_cast<WORD>(0xFFFF) << static_cast<DWORD>(dwCount);
  } else {
    *this << static_cast<WORD>(0xFFFF) << static_cast<DWORD>(0xFFFFFFFF) << static_cast<ULONGLONG>(dwCount);
  }
}

// ----- object records ---------------------------------------------------------------------------

void CArchive::writeClass(const CRuntimeClass* pClass) {
  if (pClass->m_wSchema == 0xFFFF) AfxThrowNotSupportedException();  // not a DECLARE_SERIAL class
  auto found = storeMap_.find(pClass);
  if (found != storeMap_.end()) {
    const DWORD index = found->second;
    if (index < kBigObjectTag)
      *this << static_cast<WORD>(kClassTag | index);
    else
      *this << kBigObjectTag << static_cast<DWORD>(kBigClassTag | index);
    return;
  }
  const WORD nameLength = static_cast<WORD>(std::strlen(pClass->m_lpszClassName));
  *this << kNewClassTag << static_cast<WORD>(pClass->m_wSchema & ~VERSIONABLE_SCHEMA) << nameLength;
  Write(pClass->m_lpszClassName, nameLength);
  storeMap_[pClass] = storeCount_++;
}

void CArchive::WriteObject(const CObject* pOb) {
  requireStoring();
  if (!pOb) {
    *this << kNullTag;
    return;
  }
  auto found = storeMap_.find(pOb);
  if (found != storeMap_.end()) {
    const DWORD index = found->second;
    if (index < kBigObjectTag)
      *this << static_cast<WORD>(index);
    else
      *this << kBigObjectTag << index;
    return;
  }
  writeClass(pOb->GetRuntimeClass());
  storeMap_[pOb] = storeCount_++;
  const_cast<CObject*>(pOb)->Serialize(*this);
}

CRuntimeClass* CArchive::readClass(const CRuntimeClass* pClassRefRequested, UINT* pSchema, DWORD* pObTag) {
  if (loadArray_.empty()) loadArray_.push_back({nullptr, false, 0});  // index 0: the null tag
  WORD tag;
  *this >> tag;
  DWORD obTag;
  if (tag == kBigObjectTag) {
    *this >> obTag;
  } else {
    obTag = (static_cast<DWORD>(tag & kClassTag) << 16) | (tag & ~kClassTag);
  }
  if (!(obTag & kBigClassTag)) {
    *pObTag = obTag;
    return nullptr;
  }

  CRuntimeClass* pClass;
  UINT schema;
  if (tag == kNewClassTag) {
    WORD storedSchema, nameLength;
    *this >> storedSchema >> nameLength;
    if (nameLength == 0 || nameLength > kMaxClassName) fail(CArchiveException::badClass);
    char name[kMaxClassName + 1];
    readExactly(name, nameLength);
    name[nameLength] = 0;
    pClass = CRuntimeClass::FromName(name);
    if (!pClass) fail(CArchiveException::badClass);
    schema = storedSchema;
    if ((pClass->m_wSchema & ~VERSIONABLE_SCHEMA) != schema && !(pClass->m_wSchema & VERSIONABLE_SCHEMA))
      fail(CArchiveException::badSchema);
    loadArray_.push_back({pClass, true, schema});
  } else {
    const DWORD index = obTag & ~kBigClassTag;
    if (index == 0 || index >= loadArray_.size() || !loadArray_[index].isClass) fail(CArchiveException::badIndex);
    pClass = static_cast<CRuntimeClass*>(loadArray_[index].pointer);
    schema = loadArray_[index].schema;
  }
  if (pClassRefRequested && !pClass->IsDerivedFrom(pClassRefRequested)) fail(CArchiveException::badClass);
  *pSchema = schema;
  *pObTag = 0;
  return pClass;
}

CObject* CArchive::ReadObject(const CRuntimeClass* pClassRefRequested) {
  requireLoading();
  UINT schema = 0;
  DWORD obTag = 0;
  CRuntimeClass* pClass = readClass(pClassRefRequested, &schema, &obTag);
  if (!pClass) {
    if (obTag == 0) return nullptr;
    if (obTag >= loadArray_.size() || loadArray_[obTag].isClass || !loadArray_[obTag].pointer)
      fail(CArchiveException::badIndex);
    CObject* pOb = static_cast<CObject*>(loadArray_[obTag].pointer);
    if (pClassRefRequested && !pOb->IsKindOf(pClassRefRequested)) fail(CArchiveException::badClass);
    return pOb;
  }
  CObject* pOb = pClass->CreateObject();
  if (!pOb) fail(CArchiveException::badClass);
  const size_t index = loadArray_.size();
  loadArray_.push_back({pOb, false, 0});  // before Serialize, so the object may refer to itself
  const UINT outerSchema = schema_;
  schema_ = schema;
  try {
    pOb->Serialize(*this);
  } catch (...) {
    loadArray_[index].pointer = nullptr;
    schema_ = outerSchema;
    delete pOb;
    throw;
  }
  schema_ = outerSchema;
  return pOb;
}

UINT CArchive::GetObjectSchema() {
  const UINT schema = schema_;
  schema_ = static_cast<UINT>(-1);  // answered once per object, as the class library does
  return schema;
}

namespace platform::afx {
CObject* readObject(CArchive& ar, const CRuntimeClass* pClass) { return ar.ReadObject(pClass); }
}  // namespace platform::afx

// The product's own ".tar" archive (file_tar.h).
#include "snapins/file_tar.h"

#include <array>
#include <cstring>

#include "app/file_operation.h"
#include "app/file_util.h"
#include "app/log.h"
#include "platform/win32/win32.h"
#include "snapins/space_man.h"

namespace {

constexpr const char16_t* kLogRefusedName = u"{FileTar}: Refused to extract entry %d of %s: \"%s\" is not a file name.";
constexpr const char16_t* kLogBadHeader = u"{FileTar}: The archive %s is damaged; nothing was extracted.";
constexpr const char16_t* kLogExtractFailed = u"{FileTar}: Failed to extract %s from %s.";

constexpr ULONGLONG kHeaderStart = 4;

// Every byte or none: a short count is a failure.
bool readExactly(HANDLE file, void* buffer, DWORD count) {
  DWORD got = 0;
  return ReadFile(file, buffer, count, &got, nullptr) && got == count;
}

bool writeExactly(HANDLE file, const void* buffer, DWORD count) {
  DWORD put = 0;
  return WriteFile(file, buffer, count, &put, nullptr) && put == count;
}

bool seekTo(HANDLE file, ULONGLONG offset) {
  LARGE_INTEGER to{};
  to.QuadPart = static_cast<LONGLONG>(offset);
  return SetFilePointerEx(file, to, nullptr, FILE_BEGIN) != FALSE;
}

void putU32(BYTE* at, DWORD value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<BYTE>(value >> (8 * i));
}
void putU64(BYTE* at, ULONGLONG value) {
  for (int i = 0; i < 8; ++i) at[i] = static_cast<BYTE>(value >> (8 * i));
}
DWORD getU32(const BYTE* at) {
  DWORD value = 0;
  for (int i = 3; i >= 0; --i) value = (value << 8) | at[i];
  return value;
}
ULONGLONG getU64(const BYTE* at) {
  ULONGLONG value = 0;
  for (int i = 7; i >= 0; --i) value = (value << 8) | at[i];
  return value;
}

// Copies `size` bytes from the current position of one file to the other in chunks of
// kChunkBytes; false when either side comes up short.
bool copyBytes(HANDLE from, HANDLE to, ULONGLONG size) {
  std::array<BYTE, CFileTar::kChunkBytes> buffer{};
  while (size > 0) {
    const DWORD chunk = size < CFileTar::kChunkBytes ? static_cast<DWORD>(size) : CFileTar::kChunkBytes;
    if (!readExactly(from, buffer.data(), chunk) || !writeExactly(to, buffer.data(), chunk)) return false;
    size -= chunk;
  }
  return true;
}

bool isReservedDeviceName(const CString& name) {
  // The part before the first dot, without trailing spaces, is what Windows compares.
  CString base = name;
  const int dot = base.Find(u'.');
  if (dot >= 0) base = base.Left(dot);
  base.TrimRight(u' ');
  base.MakeUpper();
  for (const char16_t* reserved : {u"CON", u"PRN", u"AUX", u"NUL"})
    if (base == reserved) return true;
  if (base.GetLength() == 4 && (base.Left(3) == u"COM" || base.Left(3) == u"LPT")) {
    const char16_t digit = base[3];
    return digit >= u'1' && digit <= u'9';
  }
  return false;
}

}  // namespace

CFileTar::~CFileTar() { close(); }

void CFileTar::close() {
  if (m_file != INVALID_HANDLE_VALUE) CloseHandle(m_file);
  m_file = INVALID_HANDLE_VALUE;
  m_fileSize = 0;
}

bool CFileTar::addFile(const CString& path) {
  if (getCount() >= kMaxEntries || path.GetLength() > kMaxPathLength) return false;
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(path, GetFileExInfoStandard, &data)) return false;
  if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return false;
  Entry entry;
  entry.size = (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  entry.path = path;
  m_entries.push_back(std::move(entry));
  return true;
}

bool CFileTar::write(const CString& archivePath) {
  close();
  m_archivePath = archivePath;
  m_file = CreateFileW(archivePath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (m_file == INVALID_HANDLE_VALUE) return false;
  bool ok = true;
  BYTE count[4];
  putU32(count, static_cast<DWORD>(m_entries.size()));
  ok = writeExactly(m_file, count, sizeof count);
  ULONGLONG offset = kHeaderStart + kEntryBytes * m_entries.size();
  for (Entry& entry : m_entries) {
    if (!ok) break;
    entry.offset = offset;
    offset += entry.size;
    BYTE record[kEntryBytes] = {};
    putU64(record, entry.offset);
    putU64(record + 8, entry.size);
    const int length = entry.path.GetLength() < kMaxPathLength ? entry.path.GetLength() : kMaxPathLength;
    for (int i = 0; i < length; ++i) {
      const char16_t c = entry.path[i];
      record[16 + 2 * i] = static_cast<BYTE>(c & 0xff);
      record[17 + 2 * i] = static_cast<BYTE>(c >> 8);
    }
    ok = writeExactly(m_file, record, kEntryBytes);
  }
  for (const Entry& entry : m_entries) {
    if (!ok) break;
    HANDLE source = CreateFileW(entry.path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                nullptr);
    if (source == INVALID_HANDLE_VALUE) {
      ok = false;
      break;
    }
    // The header already promises this many bytes: a file that shrank since would shift every
    // later entry.
    ok = copyBytes(source, m_file, entry.size);
    CloseHandle(source);
  }
  close();
  return ok;
}

bool CFileTar::openForReading(const CString& archivePath) {
  close();
  m_archivePath = archivePath;
  m_file = CreateFileW(archivePath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (m_file == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(m_file, &size) || size.QuadPart < 0) {
    close();
    return false;
  }
  m_fileSize = static_cast<ULONGLONG>(size.QuadPart);
  return true;
}

int CFileTar::readHeader() {
  m_entries.clear();
  if (m_file == INVALID_HANDLE_VALUE || !seekTo(m_file, 0)) return -1;
  BYTE countBytes[4];
  if (!readExactly(m_file, countBytes, sizeof countBytes)) return -1;
  const DWORD count = getU32(countBytes);
  // The count is checked against the limit and the file's size before anything is allocated.
  if (count > static_cast<DWORD>(kMaxEntries)) return -1;
  const ULONGLONG dataStart = kHeaderStart + static_cast<ULONGLONG>(kEntryBytes) * count;
  if (dataStart > m_fileSize) return -1;
  std::vector<Entry> entries(count);
  for (Entry& entry : entries) {
    BYTE record[kEntryBytes];
    if (!readExactly(m_file, record, kEntryBytes)) return -1;
    entry.offset = getU64(record);
    entry.size = getU64(record + 8);
    if (entry.offset < dataStart || entry.offset > m_fileSize || entry.size > m_fileSize - entry.offset) return -1;
    std::u16string path;
    bool terminated = false;
    for (int i = 0; i < kPathChars; ++i) {
      const char16_t c = static_cast<char16_t>(record[16 + 2 * i] | (record[17 + 2 * i] << 8));
      if (c == 0) {
        terminated = true;
        break;
      }
      path.push_back(c);
    }
    if (!terminated) return -1;
    entry.path = CString(path.c_str());
  }
  m_entries = std::move(entries);
  return static_cast<int>(m_entries.size());
}

CString CFileTar::extractionName(const CString& storedPath) {
  const int slash = storedPath.ReverseFind(u'\\');
  const int forward = storedPath.ReverseFind(u'/');
  const CString name = storedPath.Mid((slash > forward ? slash : forward) + 1);
  if (name.IsEmpty() || name == u"." || name == u"..") return CString();
  for (int i = 0; i < name.GetLength(); ++i) {
    const char16_t c = name[i];
    if (c < 0x20) return CString();
    for (const char16_t* bad = u"<>:\"/\\|?*"; *bad; ++bad)
      if (c == *bad) return CString();
  }
  // Windows drops a trailing dot or space, so such a name would land on another file.
  const char16_t last = name[name.GetLength() - 1];
  if (last == u'.' || last == u' ') return CString();
  if (isReservedDeviceName(name)) return CString();
  return name;
}

bool CFileTar::extractEntry(int index, const CString& targetPath) {
  if (index < 0 || index >= getCount() || m_file == INVALID_HANDLE_VALUE) return false;
  const Entry& entry = m_entries[static_cast<size_t>(index)];
  HANDLE target = CreateFileW(targetPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (target == INVALID_HANDLE_VALUE) return false;
  bool ok = seekTo(m_file, entry.offset) && copyBytes(m_file, target, entry.size);
  // The format keeps no times: an extracted file gets the archive's, the time it was packed, so a
  // host file changed since then compares as newer and the next pack carries it.
  FILETIME packed{};
  if (ok && GetFileTime(m_file, nullptr, nullptr, &packed)) ok = SetFileTime(target, nullptr, nullptr, &packed) != FALSE;
  CloseHandle(target);
  // A half-written file would be packed into the next archive as if it were whole.
  if (!ok) DeleteFileW(targetPath);
  return ok;
}

int CFileTar::extractAll(const CString& archivePath, const CString& targetFolder, CSpaceRecord* record) {
  if (!openForReading(archivePath)) return 0;
  createDirectoryTree(targetFolder);
  if (readHeader() < 0) {
    writeLog(kLogBadHeader, archivePath);
    m_entries.clear();
    close();
    return 0;
  }
  int result = 1;
  for (int i = 0; i < getCount(); ++i) {
    if (record && record->isCancelled()) {
      result = 2;
      break;
    }
    const CString& stored = m_entries[static_cast<size_t>(i)].path;
    const CString name = extractionName(stored);
    if (name.IsEmpty()) {
      writeLog(kLogRefusedName, i, archivePath, stored);
      result = 0;
      continue;
    }
    if (!extractEntry(i, joinPath(targetFolder, name))) {
      writeLog(kLogExtractFailed, name, archivePath);
      result = 0;
    }
  }
  m_entries.clear();
  close();
  return result;
}

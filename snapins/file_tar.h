// The product's own ".tar" archive: a folder's files carried on the drive as one file. A count,
// then one 528-byte record per file (data offset, data size, the file's full host path as
// UTF-16), then the files' data back to back; all integers little-endian. The archive comes from
// a drive, so the reader trusts none of it: counts, names, offsets and sizes are checked against
// the file before anything is extracted, and only a plain file name is ever written to.
#pragma once

#include <vector>

#include "platform/afx/cstring.h"
#include "platform/base/types.h"

class CSpaceRecord;

class CFileTar {
 public:
  static constexpr int kMaxEntries = 16384;
  static constexpr DWORD kEntryBytes = 528;
  static constexpr int kPathChars = 256;  // the field, the terminating zero included
  static constexpr int kMaxPathLength = kPathChars - 1;
  static constexpr DWORD kChunkBytes = 8092;

  // One record of the header, as held in memory.
  struct Entry {
    ULONGLONG offset = 0;
    ULONGLONG size = 0;
    CString path;
  };

  CFileTar() = default;
  virtual ~CFileTar();
  CFileTar(const CFileTar&) = delete;
  CFileTar& operator=(const CFileTar&) = delete;

  // Appends the file with its size now; refused when missing, when the path is longer than
  // kMaxPathLength or when the archive already holds kMaxEntries.
  bool addFile(const CString& path);
  // Writes the archive (created or truncated). False on any failed write, and when a file cannot
  // be opened or no longer holds the bytes counted when it was added.
  bool write(const CString& archivePath);
  // Unpacks every entry into the folder (created), by the file-name part of its stored path, each
  // file with the archive's write time.
  // 1 when every entry was extracted, 0 otherwise (a bad header extracts nothing; an entry with a
  // name that is not a plain file name is skipped and logged), 2 when the record's run was
  // cancelled.
  int extractAll(const CString& archivePath, const CString& targetFolder, CSpaceRecord* record);

  // Reads and checks the header of the open archive: the count, then that many records. -1 when
  // the file is short or a record is inconsistent with it; otherwise the count.
  int readHeader();
  bool extractEntry(int index, const CString& targetPath);

  int getCount() const { return static_cast<int>(m_entries.size()); }
  const Entry& getEntry(int index) const { return m_entries[static_cast<size_t>(index)]; }
  // The name an entry is extracted under: the part after the last '\' or '/'; empty when that
  // part is not a name a file may have on Windows.
  static CString extractionName(const CString& storedPath);

 private:
  bool openForReading(const CString& archivePath);
  void close();

  std::vector<Entry> m_entries;
  CString m_archivePath;
  HANDLE m_file = INVALID_HANDLE_VALUE;
  ULONGLONG m_fileSize = 0;
};

// Snapshots of synchronized folders: CFileSnapshot is one file's state at the end of the last run,
// CSyncSnapshot the list of them and its file. The synchronizers compare host and drive against
// it to tell which side changed since then.
//
// File (little-endian, the class library's archive stream): u32 version (101 when written), u32
// record count, then per record: host path, relative path (archive strings), u32 modification
// time, u32 state, link text (archive string), u32 hidden (only when the version is above 100).
//
// Look-ups by host or relative path ignore case and go through a keyed index: a folder of many
// thousand files would otherwise cost a scan of the list per file. The list keeps its insertion
// order (the stored order); the index names the first record of each key.
#pragma once

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "app/file_operation.h"
#include "platform/afx/cstring.h"
#include "platform/afx/object.h"
#include "platform/base/types.h"

// State bits of a record, scratch data of one run.
inline constexpr DWORD kSnapshotVisited = 1;
inline constexpr DWORD kSnapshotExecuted = 2;
inline constexpr DWORD kSnapshotFailed = kSnapshotFailedBit;  // 4

inline constexpr DWORD kSnapshotVersion = 101;
// Files of this version and below have no hidden field.
inline constexpr DWORD kSnapshotVersionWithoutHidden = 100;

class CFileSnapshot : public CObject, public CSnapshotEntryState {
 public:
  CFileSnapshot() = default;
  // Stamps time and hidden flag from the host file; state 0.
  CFileSnapshot(const CString& hostPath, const CString& relativePath);
  CFileSnapshot(const CFileSnapshot& other) = default;
  CFileSnapshot(CFileSnapshot&& other) noexcept = default;
  CFileSnapshot& operator=(const CFileSnapshot& other) = default;
  CFileSnapshot& operator=(CFileSnapshot&& other) noexcept = default;
  ~CFileSnapshot() override = default;

  // Modification time and hidden flag from the host file at the host path.
  void stamp();
  void setStateFlags(DWORD bits) { state |= bits; }
  bool hasState(DWORD bit) const { return (state & bit) != 0; }
  // The file-operation engine's stamp of a failed request.
  void addStateBits(DWORD bits) override { setStateFlags(bits); }

  CString hostPath;
  CString relativePath;
  DWORD modificationTime = 0;  // seconds since 1970; 0 when it could not be read
  CString linkText;            // non-empty for records reached through a shortcut
  DWORD hidden = 0;
  DWORD state = 0;
};

class CSyncSnapshot : public CObject {
 public:
  CSyncSnapshot() = default;
  CSyncSnapshot(const CSyncSnapshot& other);
  CSyncSnapshot& operator=(const CSyncSnapshot& other);
  ~CSyncSnapshot() override = default;

  // The first record whose path equals the path ignoring case; null when none.
  CFileSnapshot* findByHostPath(const CString& path);
  CFileSnapshot* findByRelativePath(const CString& path);
  // Appends a stamped record; the pointer lives until the record is removed or the list replaced.
  CFileSnapshot* addEntry(const CString& hostPath, const CString& relativePath);
  // Appends a copy of the record as it is.
  CFileSnapshot* addRecord(const CFileSnapshot& record);
  CFileSnapshot* addRecord(CFileSnapshot&& record);
  // Removes that record (by identity); later records move up by one. False when it is not ours.
  bool removeEntry(const CFileSnapshot* record);

  CFileSnapshot* getAt(int index);
  const CFileSnapshot* getAt(int index) const;
  int getCount() const { return static_cast<int>(m_records.size()); }
  void clear();
  void clearStates();

  // One record per entry directly in the folder (files and sub-folders), paths relative to it.
  bool buildFromFolder(const CString& folder);
  // Appends a copy of every record whose host path is a shortcut.
  void copyShortcuts(std::vector<CFileSnapshot>& list) const;

  // Emptied first; false (and empty) for a missing, newer or damaged file. Counts and string
  // lengths are checked against what is left of the file before anything is allocated for them.
  bool read(const CString& path);
  // Version 101; states only when asked for. The file ends hidden and system.
  bool write(const CString& path, bool withStates) const;
  // Records not executed in this run (no bit 2) get back their state from the file at the path
  // (removed when the file has none); executed ones stay. Always true.
  bool revertUnexecuted(const CString& path);
  // The same for the records whose op failed (bit 4 without bit 2) only: a run that went on past a
  // failed op must not save a record claiming what the op did not do. Always true.
  bool revertFailed(const CString& path);

  DWORD version = kSnapshotVersion;

 private:
  // Records live on the heap so the indexes can point at them: a removal then moves pointers, not
  // records, and leaves every other look-up as it was.
  using Index = std::unordered_map<std::u16string, CFileSnapshot*>;
  static std::u16string foldKey(const CString& path);
  // Builds the indexes when a copy or a removal left them stale.
  void ensureIndex();
  void index(CFileSnapshot* record);
  CFileSnapshot* find(const CString& path, bool byHost);
  void adopt(std::vector<CFileSnapshot>&& records);
  // Records for which `reverts` holds get their state from the file at the path, or go.
  template <class Reverts>
  void revertFrom(const CString& path, Reverts&& reverts);

  std::vector<std::unique_ptr<CFileSnapshot>> m_records;
  Index m_byHost;
  Index m_byRelative;
  bool m_indexStale = false;
  // Two records share a key: removing the first must let a look-up find the next, which only a
  // rebuild can tell.
  bool m_sharedKeys = false;
};

// The Outlook snapshot "_Outlook.snap": every item pair the item synchronizer brought into step,
// with the folder trees of both stores, as they were after the last run. Both sides are compared
// against it. One copy lies beside the computer's folder on the drive, one in the host's device
// backup folder; both have this format.
//
// File (the class library's archive stream: u32 little-endian words, strings in its string form
// with the Unicode marker, byte strings as a u32 count and the bytes):
//   u32 version 103
//   root folder record (only in version 103 files; version 102 and older have none)
//   target folder map, source folder map: u32 map version 100, u32 count, that many folder
//     records in ascending order of their long-term id text
//   u32 entry count (entries of the source map, including those left out below)
//   entries in ascending source entry id order (shorter ids first), each a u32 state word and
//     the entry's records; an entry whose op failed in the run that created it is left out
//   u32 16: the end marker
// A version 101 file is an empty snapshot.
//
// This writer always writes the records the reader expects (an empty root record when there is
// no root, an empty map when there is none), so every file it writes reads back; files of the old
// writer, which left out a missing root or item parent folder record, stay readable. A damaged
// file fails the read as a whole, with a log line and message 553, and leaves the snapshot empty:
// the caller then has the other copy to turn to.
#pragma once

#include <map>
#include <memory>
#include <vector>

#include "outlook/outlook_snapshot_records.h"
#include "platform/afx/cstring.h"
#include "platform/base/types.h"

class CArchive;

inline constexpr DWORD kOutlookSnapshotVersion = 103;
// The version that carries nothing: such a file reads as an empty snapshot.
inline constexpr DWORD kOutlookSnapshotVersionEmpty = 101;
inline constexpr DWORD kOutlookFolderMapVersion = 100;

// Folder-map keys: long-term id texts, ordered by case-sensitive comparison.
using SnapshotFolderMap = std::map<CString, CSnapshotFolder>;

// The two folder maps: the current ones, given by the synchronizer before a save, and the last
// ones, read from the file.
class COutlookFolderSyncSnapshot {
 public:
  COutlookFolderSyncSnapshot() = default;
  virtual ~COutlookFolderSyncSnapshot() = default;
  COutlookFolderSyncSnapshot(const COutlookFolderSyncSnapshot&) = delete;
  COutlookFolderSyncSnapshot& operator=(const COutlookFolderSyncSnapshot&) = delete;

  // Storing writes the current target map, then the current source map (an empty map for one
  // not given); loading fills the last target map, then the last source map.
  void Serialize(CArchive& ar);
  // One map: loading keeps the first record of each long-term id; a count the file cannot hold
  // or a newer map version throws (the read fails).
  static void serializeFolderMap(CArchive& ar, const SnapshotFolderMap* current, SnapshotFolderMap* last);

  void setCurrentMaps(const SnapshotFolderMap* source, const SnapshotFolderMap* target) {
    currentSource = source;
    currentTarget = target;
  }
  void clear();

  const SnapshotFolderMap* currentSource = nullptr;  // not owned
  const SnapshotFolderMap* currentTarget = nullptr;  // not owned
  SnapshotFolderMap lastSource;
  SnapshotFolderMap lastTarget;
};

class COutlookSyncSnapshot {
 public:
  using EntryMap = std::map<SnapshotBytes, std::unique_ptr<CItemSnapshot>, SnapshotBytesLess>;

  COutlookSyncSnapshot() = default;
  virtual ~COutlookSyncSnapshot() = default;
  COutlookSyncSnapshot(const COutlookSyncSnapshot&) = delete;
  COutlookSyncSnapshot& operator=(const COutlookSyncSnapshot&) = delete;

  // Emptied first. False for a missing file; false with message 553 and a log line for a
  // damaged one; false with message 677 for a newer version (nothing is taken from it, and it
  // is left as it is). True otherwise, also for a version 101 file (empty).
  bool read(const CString& path);
  // Folds the new entries in (see Serialize) and writes the file, hidden and system. The file is
  // written beside the path first and then put in its place, so a failed write leaves the file
  // that was there intact. False when the folder cannot be made or the write fails.
  bool write(const CString& path, bool keepState);
  // Storing: new entries whose op succeeded (bit 2) join the maps unless their source id is
  // already there; the others are dropped; the new-entry list is emptied. Loading: the layout
  // above; throws the archive's exception on damage (the snapshot may then be partly filled).
  void Serialize(CArchive& ar, bool keepState);

  // Drops all entries, the root and both folder maps.
  void clear();

  CItemSnapshot* findBySource(const SnapshotBytes& entryId) const;
  CItemSnapshot* findByTarget(const SnapshotBytes& targetEntryId) const;
  // A new entry made from a copy of the item, state 1, kept in the new-entry list (not in the
  // maps) until the next write.
  CItemSnapshot* addEntry(const CSnapshotItem& item);
  // Removes the entry from wherever it is kept and deletes it; false (and nothing deleted) when
  // this snapshot does not hold it.
  bool removeEntry(CItemSnapshot* entry);
  // After an entry's ids changed (a copy made a new message on one side): the maps find it under
  // its new ids. An entry of the new-entry list is not in the maps and needs nothing; a new
  // source id that another entry holds leaves the entry under its old one.
  void rekeyEntry(CItemSnapshot* entry, const SnapshotBytes& oldSourceId, const SnapshotBytes& oldTargetId);

  const CSnapshotFolder* getRootFolder() const { return m_root.get(); }
  void setRootFolder(const CSnapshotFolder& folder) { m_root = std::make_unique<CSnapshotFolder>(folder); }
  // The synchronizer's current folder maps (by long-term id), written by the next write.
  void setFolderMaps(const SnapshotFolderMap* source, const SnapshotFolderMap* target) {
    m_folders.setCurrentMaps(source, target);
  }
  // The folder record of the last save with that long-term id text, from the last source map
  // (sourceSide) or the last target map; null when there is none.
  const CSnapshotFolder* findFolder(const CString& longTermId, bool sourceSide) const;

  const EntryMap& entries() const { return m_bySource; }
  const std::vector<std::unique_ptr<CItemSnapshot>>& newEntries() const { return m_new; }
  DWORD getVersionRead() const { return m_versionRead; }

 private:
  void storeEntries(CArchive& ar, bool keepState);
  void loadEntries(CArchive& ar);
  // Enters an entry in both maps; false (the entry is not taken) when its source id is there.
  bool enter(std::unique_ptr<CItemSnapshot>& entry);

  DWORD m_versionRead = 0;
  COutlookFolderSyncSnapshot m_folders;
  std::unique_ptr<CSnapshotFolder> m_root;
  EntryMap m_bySource;
  std::map<SnapshotBytes, CItemSnapshot*, SnapshotBytesLess> m_byTarget;  // not owning
  std::vector<std::unique_ptr<CItemSnapshot>> m_new;
};

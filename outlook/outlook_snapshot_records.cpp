// The Outlook snapshot file's folder, item and entry records (outlook_snapshot_records.h).
#include "outlook/outlook_snapshot_records.h"

#include "platform/afx/archive.h"
#include "platform/afx/file.h"

namespace {

// Every string the writers of this file ever wrote opens with 0xFF and the Unicode marker.
constexpr BYTE kUnicodeStringStart[3] = {0xFF, 0xFE, 0xFF};

// Whether a folder record follows at the archive's position, for items of the old writer, which
// left the record out for an item without a parent folder. What follows otherwise is the u32
// byte count of the entry id, which is small and fits in the file; a record opens with a string
// (the Unicode marker, or for a narrow string a length byte and its characters, which read as a
// count larger than the file).
bool folderRecordFollows(CArchive& ar) {
  DWORD word = 0;
  if (!peekSnapshotWord(ar, word)) return true;  // too short for either: the record's read reports it
  if ((word & 0xFFFFFF) == (kUnicodeStringStart[0] | (kUnicodeStringStart[1] << 8) | (kUnicodeStringStart[2] << 16)))
    return true;
  CFile* file = ar.GetFile();
  return word > file->GetLength() - file->GetPosition() - sizeof(word);
}

}  // namespace

bool peekSnapshotWord(CArchive& ar, DWORD& word) {
  ar.Flush();  // the file's position becomes what the archive consumed
  CFile* file = ar.GetFile();
  BYTE head[4] = {};
  const UINT got = file->Read(head, sizeof(head));
  file->Seek(-static_cast<LONGLONG>(got), CFile::current);
  if (got < sizeof(head)) return false;
  word = static_cast<DWORD>(head[0]) | (static_cast<DWORD>(head[1]) << 8) | (static_cast<DWORD>(head[2]) << 16) |
         (static_cast<DWORD>(head[3]) << 24);
  return true;
}

namespace {

void serializeIds(CArchive& ar, CSnapshotIds& ids) {
  if (ar.IsStoring())
    ar << ids.longTerm << ids.shortTerm;
  else
    ar >> ids.longTerm >> ids.shortTerm;
}

}  // namespace

void serializeSnapshotBytes(CArchive& ar, SnapshotBytes& bytes) {
  if (ar.IsStoring()) {
    ar << static_cast<DWORD>(bytes.size());
    if (!bytes.empty()) ar.Write(bytes.data(), static_cast<UINT>(bytes.size()));
    return;
  }
  DWORD count = 0;
  ar >> count;
  ar.EnsureAvailable(count, 1);
  bytes.assign(count, 0);
  if (count != 0 && ar.Read(bytes.data(), count) != count) ar.EnsureAvailable(count, 1);
}

void CSnapshotFolder::Serialize(CArchive& ar) {
  if (ar.IsStoring())
    ar << displayName << storeEntryId << sourceKey << parentSourceKey << changeKey;
  else
    ar >> displayName >> storeEntryId >> sourceKey >> parentSourceKey >> changeKey;
  serializeIds(ar, entryId);
  serializeIds(ar, parentEntryId);
  serializeIds(ar, counterpartId);
}

void CSnapshotItem::Serialize(CArchive& ar) {
  if (ar.IsStoring()) {
    ar << parentFolderName << subject << lastModified.dwHighDateTime << lastModified.dwLowDateTime;
    parentFolder.Serialize(ar);
  } else {
    ar >> parentFolderName >> subject >> lastModified.dwHighDateTime >> lastModified.dwLowDateTime;
    if (folderRecordFollows(ar))
      parentFolder.Serialize(ar);
    else
      parentFolder = CSnapshotFolder();
  }
  serializeSnapshotBytes(ar, entryId);
  serializeSnapshotBytes(ar, searchKey);
  serializeSnapshotBytes(ar, sourceKey);
  serializeSnapshotBytes(ar, changeKey);
}

void CItemSnapshot::Serialize(CArchive& ar, bool keepState) {
  if (ar.IsStoring()) {
    if ((state & (kItemSnapshotFailed | kItemSnapshotCreated)) == (kItemSnapshotFailed | kItemSnapshotCreated)) return;
    const DWORD word = keepState ? state : 0;
    ar << word;
    if (word == kItemSnapshotEndMarker) return;
  } else {
    ar >> state;
    if (state == kItemSnapshotEndMarker) return;
  }
  item.Serialize(ar);
  serializeSnapshotBytes(ar, targetEntryId);
  targetFolder.Serialize(ar);
}

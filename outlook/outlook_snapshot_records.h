// The records of the Outlook snapshot file: a folder as the file keeps it (names, keys and ids as
// text), a source item as it was when last brought into step, and one snapshot entry linking
// that item to its target copy. Each knows its own part of the file (outlook_snapshot.h holds the
// whole layout); the field names follow the item synchronizer's live folder and item records, so
// those convert to these field by field.
#pragma once

#include <vector>

#include "platform/afx/cstring.h"
#include "platform/base/types.h"

class CArchive;

// Entry ids, search, source and change keys as bytes.
using SnapshotBytes = std::vector<BYTE>;

// Shorter keys first; keys of one length by unsigned byte comparison (the order of the file's
// entries and of the entry maps).
struct SnapshotBytesLess {
  bool operator()(const SnapshotBytes& a, const SnapshotBytes& b) const {
    if (a.size() != b.size()) return a.size() < b.size();
    return a < b;
  }
};

// A MAPI id as upper-case hexadecimal text, kept apart for long-term and short-term ids.
struct CSnapshotIds {
  CString longTerm;
  CString shortTerm;
  bool isEmpty() const { return longTerm.IsEmpty() && shortTerm.IsEmpty(); }
  bool operator==(const CSnapshotIds&) const = default;
};

// A folder as the snapshot file keeps it: eleven strings. Container class, child flag, item
// count and sync settings are not kept. A record with no own id stands for "no folder".
struct CSnapshotFolder {
  CString displayName;
  CString storeEntryId;  // hex text, like the three keys that follow
  CString sourceKey;
  CString parentSourceKey;
  CString changeKey;
  CSnapshotIds entryId;
  CSnapshotIds parentEntryId;
  CSnapshotIds counterpartId;  // the paired folder's ids in the other store

  bool isEmpty() const { return entryId.isEmpty(); }
  bool operator==(const CSnapshotFolder&) const = default;

  // The eleven strings in file order. Loading throws the archive's exception on damage.
  void Serialize(CArchive& ar);
};

// A source item as it was at the last save: what the synchronizer compares both sides against.
struct CSnapshotItem {
  CString parentFolderName;
  CString subject;
  FILETIME lastModified{};
  SnapshotBytes entryId;  // the key of the snapshot's source map
  SnapshotBytes searchKey;
  SnapshotBytes sourceKey;
  SnapshotBytes changeKey;
  CSnapshotFolder parentFolder;  // empty when the item lies in no known folder
  ULONG size = 0;                // not kept in the file

  // Storing always writes the parent folder record (an empty one when there is none). Loading
  // also reads records of the old writer, which left the parent folder record out for an item
  // without one.
  void Serialize(CArchive& ar);
};

// State bits of a snapshot entry.
inline constexpr DWORD kItemSnapshotSeen = 1;       // seen in this run
inline constexpr DWORD kItemSnapshotSucceeded = 2;  // its op succeeded
inline constexpr DWORD kItemSnapshotFailed = 4;     // its op failed
inline constexpr DWORD kItemSnapshotCreated = 8;    // created in this run
inline constexpr DWORD kItemSnapshotEndMarker = 16;  // only in the file: no more entries

// One item pair that was in step: the source item, its target copy's id and the target folder.
class CItemSnapshot {
 public:
  CItemSnapshot() = default;
  explicit CItemSnapshot(const CSnapshotItem& source) : item(source) {}
  virtual ~CItemSnapshot() = default;
  CItemSnapshot(const CItemSnapshot&) = default;
  CItemSnapshot& operator=(const CItemSnapshot&) = default;

  bool hasState(DWORD bits) const { return (state & bits) != 0; }
  void addState(DWORD bits) { state |= bits; }
  void removeState(DWORD bits) { state &= ~bits; }
  void setTargetEntryId(const SnapshotBytes& id) { targetEntryId = id; }
  void setTargetFolder(const CSnapshotFolder& folder) { targetFolder = folder; }
  const CSnapshotFolder& getTargetFolder() const { return targetFolder; }

  // Storing: the state word (the entry's state with keepState, else 0), then, unless that word
  // is the end marker, the item record, the target id and the target folder. An entry whose op
  // failed in the run that created it (bits 4 and 8) writes nothing at all. Loading reads the
  // state word as stored and stops after it when it is the end marker.
  void Serialize(CArchive& ar, bool keepState);
  bool isEndMarker() const { return state == kItemSnapshotEndMarker; }

  DWORD state = 0;
  CSnapshotItem item;
  SnapshotBytes targetEntryId;  // the key of the snapshot's target map
  CSnapshotFolder targetFolder;
};

// The u32 at the archive's position, read ahead without consuming it; false when fewer than four
// bytes are left.
bool peekSnapshotWord(CArchive& ar, DWORD& word);

// A byte string of the file: a u32 count, then the bytes. Loading checks the count against what
// is left of the file first.
void serializeSnapshotBytes(CArchive& ar, SnapshotBytes& bytes);

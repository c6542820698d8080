// The item synchronizer's record of one MAPI message: the ids that identify it across runs and
// stores, the values compared between runs (last modification, size) and the folder it lies in.
// Filled from a contents-table row or from the message itself, with the item property list.
// Log lines carry "{Outlook Item}".
#pragma once

#include "outlook/entry_id.h"
#include "platform/afx/cstring.h"
#include "platform/base/types.h"
#include "platform/modules/mapi32/mapidefs.h"

class CArchive;
class CItemSnapshot;
class CMAPILoader;
class CMapiUtil;
class COutlookFolder;
struct CSnapshotFolder;
struct CSnapshotItem;
template <class Folder>
class CSyncFolderOf;

class COutlookItem {
 public:
  // The item property list: 14 tags, used as contents-table columns and for GetProps.
  static constexpr ULONG kPropertyCount = 14;
  static LPSPropTagArray propertyList();

  COutlookItem();
  virtual ~COutlookItem() = default;
  COutlookItem(const COutlookItem&) = default;
  COutlookItem& operator=(const COutlookItem&) = default;

  // From 14 values in the order of the list. False when a value the record needs is missing;
  // what could be read stays filled.
  bool initFromProps(const SPropValue* values);
  // GetProps of the list on the message; false unless exactly 14 values came back and they fill
  // the record.
  bool initFromMessage(IMAPIProp* message);
  // A contents-table row; a row that fails but names a long-term id is read again from the store.
  bool assignRow(const SRow& row, IMsgStore* store);
  // Opens the message by its entry id in the store and reads it; the result is whether the item
  // has a long-term id afterwards.
  bool reloadFromStore(IMsgStore* store);
  void setFolder(COutlookFolder* folder);
  void clear();

  // The four byte strings, then the texts, times, size, long-term flag, parent folder and
  // matched flag. False (logged) when a byte string could not be copied.
  bool copyFrom(const COutlookItem& other);
  bool setEntryId(const EntryIdBytes& bytes);
  bool setSearchKey(const EntryIdBytes& bytes);
  bool setSourceKey(const EntryIdBytes& bytes);
  bool setChangeKey(const EntryIdBytes& bytes);
  // Deletes the message by its entry id from the open folder; true when MAPI did.
  bool deleteFromFolder(IMAPIFolder* folder) const;
  // The item record of the snapshot file (the snapshot's item layout). Loading fills the ids,
  // texts and time; the parent folder record read is not kept (the item then lies in no folder).
  void Serialize(CArchive& ar);

  // Copy directions of copyTo.
  static constexpr int kSourceToTarget = 0;
  static constexpr int kTargetToSource = 1;
  // Copies this item's message from the source cache's open folder into the destination cache's
  // and records the new message N in `entry` (when given): its time, subject, size and search
  // key, and by direction which ids stand for which side. False without a destination cache, a
  // source store or a source cache, or when the copy fails (the entry is then untouched).
  bool copyTo(CSyncFolderOf<COutlookFolder>* destination, IMsgStore* destinationStore, IMsgStore* sourceStore,
              int direction, CItemSnapshot* entry, CSyncFolderOf<COutlookFolder>* source) const;

  CString parentFolderName;
  CString subject;
  CString parentEntryId;         // upper-case hex text
  EntryIdBytes entryId;          // long-term
  EntryIdBytes searchKey;
  EntryIdBytes sourceKey;
  EntryIdBytes changeKey;
  CString parentFolderSourceKey;  // the folder record's source key text
  FILETIME lastModified{};
  ULONG size = 0;
  bool hasLongTermId = false;
  COutlookFolder* parentFolder = nullptr;  // not owned
  bool matched = false;          // a source item found this target item
  CMAPILoader* mapiLoader;       // the process-wide objects, not owned
  CMapiUtil* mapiUtil;
};

// The snapshot file's forms of a folder record and of an item record (with its parent folder's).
CSnapshotFolder snapshotFolderOf(const COutlookFolder& folder);
CSnapshotItem snapshotItemOf(const COutlookItem& item);

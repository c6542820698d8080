// Item records filled from contents-table rows or from the messages themselves.
#include "outlook/outlook_item.h"

#include <memory>
#include <new>

#include "app/log.h"
#include "outlook/mapi_loader.h"
#include "outlook/mapi_util.h"
#include "outlook/outlook_folder.h"
#include "outlook/outlook_snapshot_records.h"
#include "outlook/sync_folder.h"
#include "platform/afx/archive.h"

namespace {

constexpr ULONG PR_SUBJECT_W = PROP_TAG(PT_UNICODE, 0x0037);
constexpr ULONG PR_MESSAGE_CLASS_W = PROP_TAG(PT_UNICODE, 0x001A);

// Positions in the item property list.
enum : ULONG {
  kEntryId, kSearchKey, kSubjectW, kSize, kModified, kLongTermId, kClassW, kParentId, kParentNameW,
  kSourceKey, kChangeKey, kSubjectA, kClassA, kParentNameA
};

SizedSPropTagArray(COutlookItem::kPropertyCount, kItemProperties) = {
    COutlookItem::kPropertyCount,
    {PR_ENTRYID, PR_SEARCH_KEY, PR_SUBJECT_W, PR_MESSAGE_SIZE, PR_LAST_MODIFICATION_TIME,
     PR_LONGTERM_ENTRYID_FROM_TABLE, PR_MESSAGE_CLASS_W, PR_PARENT_ENTRYID, PR_PARENT_DISPLAY_W, PR_SOURCE_KEY,
     PR_CHANGE_KEY, PR_SUBJECT_A, PR_MESSAGE_CLASS_A, PR_PARENT_DISPLAY_A}};

bool present(const SPropValue& v) { return PROP_TYPE(v.ulPropTag) != PT_ERROR; }

// A present binary value of the tag's type, as bytes.
bool binary(const SPropValue& v, EntryIdBytes& out) {
  if (!present(v) || PROP_TYPE(v.ulPropTag) != PT_BINARY) return false;
  out.assign(v.Value.bin.lpb, v.Value.bin.lpb + v.Value.bin.cb);
  return true;
}

bool longTermId(const SPropValue& v, EntryIdBytes& out) {
  return present(v) && PROP_TYPE(v.ulPropTag) == PT_BINARY && v.Value.bin.cb > 0 && v.Value.bin.lpb &&
         !isShortTermEntryId(v.Value.bin.lpb, v.Value.bin.cb) && binary(v, out);
}

bool text(const SPropValue& wide, const SPropValue& narrow, CString& out) {
  if (present(wide) && PROP_TYPE(wide.ulPropTag) == PT_UNICODE && wide.Value.lpszW) {
    out = CString(wide.Value.lpszW);
    return true;
  }
  if (present(narrow) && PROP_TYPE(narrow.ulPropTag) == PT_STRING8 && narrow.Value.lpszA) {
    out = CString(narrow.Value.lpszA);
    return true;
  }
  return false;
}

}  // namespace

LPSPropTagArray COutlookItem::propertyList() { return reinterpret_cast<LPSPropTagArray>(&kItemProperties); }

COutlookItem::COutlookItem() : mapiLoader(getMapiLoader()), mapiUtil(getMapiUtil()) {}

bool COutlookItem::initFromProps(const SPropValue* v) {
  bool result = true;
  if (longTermId(v[kLongTermId], entryId) || longTermId(v[kEntryId], entryId)) {
    hasLongTermId = true;
  } else {
    writeLog(u"{Outlook Item}: 3 methods of getting a long-term EntryId failed.");
    result = false;
  }
  if (!binary(v[kSearchKey], searchKey)) {
    writeLog(u"{Outlook Item}: Failed to copy search key property.");
    result = false;
  }
  if (present(v[kModified]) && PROP_TYPE(v[kModified].ulPropTag) == PT_SYSTIME) {
    lastModified = v[kModified].Value.ft;
  } else {
    lastModified = FILETIME{};
    result = false;
  }
  if (present(v[kSize]) && PROP_TYPE(v[kSize].ulPropTag) == PT_LONG) {
    size = v[kSize].Value.ul;
  } else {
    size = 0;
    writeLog(u"{Outlook Item}: Failed to copy message size property.");
    result = false;
  }
  if (!text(v[kSubjectW], v[kSubjectA], subject)) {
    subject = u"{Unknown}";
    writeLog(u"{Outlook Item}: Failed to copy message subject property.");
    result = false;
  }
  EntryIdBytes parent;
  if (binary(v[kParentId], parent)) {
    parentEntryId = hexFromBytes(parent);
  } else {
    writeLog(u"{Outlook Item}: Failed to copy Parent Id.");
    result = false;
  }
  text(v[kParentNameW], v[kParentNameA], parentFolderName);
  binary(v[kSourceKey], sourceKey);
  binary(v[kChangeKey], changeKey);
  return result;
}

bool COutlookItem::initFromMessage(IMAPIProp* message) {
  if (!message || !mapiLoader) return false;
  ULONG count = 0;
  LPSPropValue values = nullptr;
  const HRESULT hr = message->GetProps(propertyList(), 0, &count, &values);
  bool result = false;
  if (!FAILED(hr) && values && count == kPropertyCount) result = initFromProps(values);
  if (values) mapiLoader->MAPIFreeBuffer(values);
  return result;
}

bool COutlookItem::assignRow(const SRow& row, IMsgStore* store) {
  if (row.cValues < kPropertyCount || !row.lpProps) {
    writeLog(u"Attempt to assign itemRow with incorrect number of properties to OutlookItem");
    return false;
  }
  if (initFromProps(row.lpProps)) return true;
  return hasLongTermId && reloadFromStore(store);
}

bool COutlookItem::reloadFromStore(IMsgStore* store) {
  if (!mapiUtil || !store) return false;
  platform::com::Ptr<IUnknown> object;
  if (FAILED(mapiUtil->OpenEntry(store, entryId, object))) return false;
  platform::com::Ptr<IMAPIProp> message;
  if (FAILED(object.as(message))) return false;
  initFromMessage(message.get());
  return hasLongTermId;
}

void COutlookItem::setFolder(COutlookFolder* folder) {
  parentFolder = folder;
  if (!folder) return;
  if (parentFolderName.IsEmpty()) parentFolderName = folder->displayName;
  parentFolderSourceKey = folder->sourceKey;
}

void COutlookItem::clear() {
  parentFolderName.Empty();
  subject.Empty();
  parentEntryId.Empty();
  entryId.clear();
  searchKey.clear();
  sourceKey.clear();
  changeKey.clear();
  parentFolderSourceKey.Empty();
  lastModified = FILETIME{};
  size = 0;
  hasLongTermId = false;
  parentFolder = nullptr;
  matched = false;
}

namespace {

// A byte string copied into the record; the copy fails only when memory runs out.
bool copyBytes(EntryIdBytes& to, const EntryIdBytes& from, const char16_t* failure) {
  try {
    to = from;
    return true;
  } catch (const std::bad_alloc&) {
    writeLog(failure);
    return false;
  }
}

constexpr const char16_t* kLogEntryIdCopy = u"{Outlook Item}: Failed to copy entryId property.";
constexpr const char16_t* kLogSearchKeyCopy = u"{Outlook Item}: Failed to copy search key property.";
constexpr const char16_t* kLogSourceKeyCopy = u"{Outlook Item}: Failed to copy source key property.";
constexpr const char16_t* kLogChangeKeyCopy = u"{Outlook Item}: Failed to copy change key property.";

CSnapshotIds snapshotIdsOf(const CEntryIdText& ids) { return CSnapshotIds{ids.longTerm, ids.shortTerm}; }

}  // namespace

bool COutlookItem::setEntryId(const EntryIdBytes& bytes) { return copyBytes(entryId, bytes, kLogEntryIdCopy); }
bool COutlookItem::setSearchKey(const EntryIdBytes& bytes) { return copyBytes(searchKey, bytes, kLogSearchKeyCopy); }
bool COutlookItem::setSourceKey(const EntryIdBytes& bytes) { return copyBytes(sourceKey, bytes, kLogSourceKeyCopy); }
bool COutlookItem::setChangeKey(const EntryIdBytes& bytes) { return copyBytes(changeKey, bytes, kLogChangeKeyCopy); }

bool COutlookItem::copyFrom(const COutlookItem& other) {
  if (this == &other) return true;
  if (!setEntryId(other.entryId) || !setSearchKey(other.searchKey) || !setSourceKey(other.sourceKey) ||
      !setChangeKey(other.changeKey))
    return false;
  parentFolderName = other.parentFolderName;
  subject = other.subject;
  parentEntryId = other.parentEntryId;
  parentFolderSourceKey = other.parentFolderSourceKey;
  lastModified = other.lastModified;
  size = other.size;
  hasLongTermId = other.hasLongTermId;
  parentFolder = other.parentFolder;
  matched = other.matched;
  return true;
}

bool COutlookItem::deleteFromFolder(IMAPIFolder* folder) const {
  if (!folder || !mapiUtil) return false;
  return SUCCEEDED(mapiUtil->deleteMessage(folder, entryId));
}

void COutlookItem::Serialize(CArchive& ar) {
  CSnapshotItem record = snapshotItemOf(*this);
  record.Serialize(ar);
  if (ar.IsStoring()) return;
  parentFolderName = record.parentFolderName;
  subject = record.subject;
  lastModified = record.lastModified;
  entryId = record.entryId;
  searchKey = record.searchKey;
  sourceKey = record.sourceKey;
  changeKey = record.changeKey;
  hasLongTermId = !entryId.empty() && !isShortTermEntryId(entryId.data(), static_cast<ULONG>(entryId.size()));
  parentEntryId = folderIdText(record.parentFolder.entryId);
  parentFolderSourceKey = record.parentFolder.sourceKey;
  parentFolder = nullptr;
}

bool COutlookItem::copyTo(CSyncFolderOf<COutlookFolder>* destination, IMsgStore*, IMsgStore* sourceStore,
                          int direction, CItemSnapshot* entry, CSyncFolderOf<COutlookFolder>* source) const {
  if (!destination || !sourceStore || !source || !mapiUtil) return false;
  std::unique_ptr<COutlookItem> copy;
  if (FAILED(mapiUtil->CopyItem(entryId, source->folder(), destination->folder(), copy, 0)) || !copy) {
    writeLog(u"OutlookItem::CopyItem Failed to copy an item to the destination folder\n");
    return false;
  }
  if (!entry) return true;
  CSnapshotItem& record = entry->item;
  record.lastModified = copy->lastModified;
  record.subject = copy->subject;
  record.parentFolderName = parentFolderName;
  record.size = copy->size;
  record.searchKey = copy->searchKey;
  if (direction == kSourceToTarget) {
    record.parentFolder = parentFolder ? snapshotFolderOf(*parentFolder) : CSnapshotFolder();
    entry->setTargetEntryId(copy->entryId);
    entry->setTargetFolder(destination->record() ? snapshotFolderOf(*destination->record()) : CSnapshotFolder());
  } else {
    record.parentFolder = destination->record() ? snapshotFolderOf(*destination->record()) : CSnapshotFolder();
    record.entryId = copy->entryId;
    record.sourceKey = copy->sourceKey;
    record.changeKey = copy->changeKey;
    entry->setTargetEntryId(entryId);
    entry->setTargetFolder(source->record() ? snapshotFolderOf(*source->record()) : CSnapshotFolder());
  }
  return true;
}

CSnapshotFolder snapshotFolderOf(const COutlookFolder& folder) {
  CSnapshotFolder record;
  record.displayName = folder.displayName;
  record.storeEntryId = folder.storeEntryId;
  record.sourceKey = folder.sourceKey;
  record.parentSourceKey = folder.parentSourceKey;
  record.changeKey = folder.changeKey;
  record.entryId = snapshotIdsOf(folder.entryId);
  record.parentEntryId = snapshotIdsOf(folder.parentEntryId);
  record.counterpartId = snapshotIdsOf(folder.counterpartId);
  return record;
}

CSnapshotItem snapshotItemOf(const COutlookItem& item) {
  CSnapshotItem record;
  record.parentFolderName = item.parentFolderName;
  record.subject = item.subject;
  record.lastModified = item.lastModified;
  record.entryId = item.entryId;
  record.searchKey = item.searchKey;
  record.sourceKey = item.sourceKey;
  record.changeKey = item.changeKey;
  if (item.parentFolder) record.parentFolder = snapshotFolderOf(*item.parentFolder);
  record.size = item.size;
  return record;
}

// Folders and their records, message copies, the reading of a folder's items into its record,
// attachment names, entry-id comparison and parents, and the modified-since restriction.
#include <memory>
#include <string>
#include <vector>

#include "app/log.h"
#include "outlook/mapi_internal.h"
#include "outlook/mapi_restriction.h"
#include "outlook/mapi_util.h"
#include "outlook/outlook_folder.h"
#include "outlook/outlook_install.h"
#include "outlook/outlook_item.h"
#include "outlook/sync_folder.h"
#include "platform/win32/time.h"

namespace {

using namespace mapilayer;
using platform::com::Ptr;
using EntryId = CMapiUtil::EntryId;

constexpr ULONG PR_CONTAINER_CLASS_W = PROP_TAG(PT_UNICODE, 0x3613);
constexpr ULONG kAttachFileName = 0x3704001E;
constexpr ULONGLONG kFileTimeDay = 864000000000ULL;  // 100-nanosecond units in a day

// Read for one folder with GetProps and as the columns of hierarchy tables.
SizedSPropTagArray(13, kFolderProperties) = {
    13,
    {PR_ENTRYID, PR_LONGTERM_ENTRYID_FROM_TABLE, PR_CONTAINER_CLASS_W, PR_DISPLAY_NAME_W, PR_SUBFOLDERS,
     PR_PARENT_ENTRYID, PR_CONTENT_COUNT, PR_STORE_ENTRYID, PR_SOURCE_KEY, PR_CHANGE_KEY, PR_PARENT_SOURCE_KEY,
     PR_CONTAINER_CLASS_A, PR_DISPLAY_NAME_A}};
LPSPropTagArray folderProperties() { return reinterpret_cast<LPSPropTagArray>(&kFolderProperties); }

EntryId bytesOf(const SBinary& bin) { return EntryId(bin.lpb, bin.lpb + bin.cb); }

// An object opened from a store by id, as interface I.
template <class I>
HRESULT openIn(CMapiUtil& util, IMsgStore* store, const EntryId& id, Ptr<I>& out) {
  out.reset();
  Ptr<IUnknown> object;
  const HRESULT hr = util.OpenEntry(store, id, object);
  if (FAILED(hr)) return hr;
  return object.as(out);
}

template <class I>
HRESULT openIn(CMapiUtil& util, IMsgStore* store, const CString& hexId, Ptr<I>& out) {
  out.reset();
  Ptr<IUnknown> object;
  const HRESULT hr = util.OpenEntry(store, hexId, object);
  if (FAILED(hr)) return hr;
  return object.as(out);
}

HRESULT oneBinary(IMAPIProp* object, ULONG tag, EntryId& out) {
  Buffer<SPropValue> value;
  const HRESULT hr = loader().HrGetOneProp(object, tag, value.put());
  if (FAILED(hr)) return hr;
  if (!value.get() || PROP_TYPE(value->ulPropTag) != PT_BINARY) return MAPI_E_NOT_FOUND;
  out = bytesOf(value->Value.bin);
  return S_OK;
}

}  // namespace

HRESULT CMapiUtil::getLongTermEntryId(IMAPIFolder* folder, const EntryId& id, EntryId& longTerm) {
  longTerm.clear();
  if (!folder) return E_FAIL;
  return guarded(u"getLongTermEntryId", HRESULT(E_FAIL), [&]() -> HRESULT {
    Ptr<IUnknown> object;
    HRESULT hr = openMessageInFolder(folder, id, object);
    if (FAILED(hr)) return hr;
    Ptr<IMAPIProp> prop;
    hr = object.as(prop);
    if (FAILED(hr)) return hr;
    return oneBinary(prop.get(), PR_ENTRYID, longTerm);
  });
}

HRESULT CMapiUtil::openMessageInFolder(IMAPIFolder* folder, const EntryId& id, Ptr<IUnknown>& object) {
  object.reset();
  if (!folder) return E_FAIL;
  return guarded(u"openMessageInFolder", HRESULT(E_FAIL), [&] {
    ULONG type = 0;
    const HRESULT hr = folder->OpenEntry(static_cast<ULONG>(id.size()), entryPointer(id), nullptr, MAPI_BEST_ACCESS,
                                         &type, object.put());
    if (FAILED(hr)) object.reset();
    return hr;
  });
}

bool CMapiUtil::compareEntryIds(IMAPISession* session, const EntryId& a, const EntryId& b, bool& same) {
  same = false;
  return guarded(u"compareEntryIds", false, [&] {
    if (!session) return false;
    ULONG result = 0;
    const HRESULT hr = session->CompareEntryIDs(static_cast<ULONG>(a.size()), entryPointer(a),
                                                static_cast<ULONG>(b.size()), entryPointer(b), 0, &result);
    same = SUCCEEDED(hr) && result;
    return SUCCEEDED(hr);
  });
}

HRESULT CMapiUtil::compareEntryIds(IMsgStore* store, const EntryId& a, const EntryId& b, bool& same) {
  same = false;
  if (!store) return E_FAIL;
  return guarded(u"compareEntryIds", HRESULT(E_FAIL), [&] {
    ULONG result = 0;
    const HRESULT hr = store->CompareEntryIDs(static_cast<ULONG>(a.size()), entryPointer(a),
                                              static_cast<ULONG>(b.size()), entryPointer(b), 0, &result);
    same = SUCCEEDED(hr) && result;
    return hr;
  });
}

HRESULT CMapiUtil::getParentFolder(IMsgStore* store, IMAPIProp* object, Ptr<IMAPIFolder>& parent) {
  parent.reset();
  if (!store || !object) return E_FAIL;
  return guarded(u"getParentFolder", HRESULT(E_FAIL), [&]() -> HRESULT {
    EntryId id;
    const HRESULT hr = oneBinary(object, PR_PARENT_ENTRYID, id);
    if (FAILED(hr)) return hr;
    return openIn(*this, store, id, parent);
  });
}

HRESULT CMapiUtil::openIpmSubtree(IMsgStore* store, Ptr<IMAPIFolder>& folder) {
  folder.reset();
  if (!store) return E_FAIL;
  return guarded(u"openIpmSubtree", HRESULT(E_FAIL), [&]() -> HRESULT {
    EntryId id;
    const HRESULT hr = oneBinary(store, PR_IPM_SUBTREE_ENTRYID, id);
    if (FAILED(hr)) return hr;
    return openIn(*this, store, id, folder);
  });
}

HRESULT CMapiUtil::getFolderProperties(IMAPIFolder* folder, COutlookFolder& record) {
  if (!folder) return E_FAIL;
  return guarded(u"getFolderProperties", HRESULT(E_FAIL), [&]() -> HRESULT {
    ULONG count = 0;
    Buffer<SPropValue> values;
    const HRESULT hr = folder->GetProps(folderProperties(), 0, &count, values.put());
    if (FAILED(hr)) return hr;
    // Properties the folder lacks come back as error values (a warning), which the record skips.
    return fillFolderNode(values.get(), values.get() ? count : 0, record);
  });
}

HRESULT CMapiUtil::fillFolderNode(const SPropValue* values, ULONG count, COutlookFolder& record) {
  for (ULONG i = 0; i < count; ++i) {
    const SPropValue& v = values[i];
    switch (v.ulPropTag) {
      case PR_DISPLAY_NAME_W:
        if (v.Value.lpszW) record.displayName = CString(v.Value.lpszW);
        break;
      case PR_DISPLAY_NAME_A:
        if (v.Value.lpszA && record.displayName.IsEmpty()) record.displayName = CString(v.Value.lpszA);
        break;
      case PR_CONTAINER_CLASS_W:
        if (v.Value.lpszW) record.containerClass = CString(v.Value.lpszW);
        break;
      case PR_CONTAINER_CLASS_A:
        if (v.Value.lpszA && record.containerClass.IsEmpty()) record.containerClass = CString(v.Value.lpszA);
        break;
      case PR_ENTRYID:
      case PR_LONGTERM_ENTRYID_FROM_TABLE:
        record.entryId.set(v.Value.bin.lpb, v.Value.bin.cb);
        break;
      case PR_PARENT_ENTRYID:
        record.parentEntryId.set(v.Value.bin.lpb, v.Value.bin.cb);
        break;
      case PR_STORE_ENTRYID:
        record.storeEntryId = hexFromBytes(v.Value.bin.lpb, v.Value.bin.cb);
        break;
      case PR_SOURCE_KEY:
        record.sourceKey = hexFromBytes(v.Value.bin.lpb, v.Value.bin.cb);
        break;
      case PR_PARENT_SOURCE_KEY:
        record.parentSourceKey = hexFromBytes(v.Value.bin.lpb, v.Value.bin.cb);
        break;
      case PR_CHANGE_KEY:
        record.changeKey = hexFromBytes(v.Value.bin.lpb, v.Value.bin.cb);
        break;
      case PR_SUBFOLDERS:
        record.hasSubfolders = v.Value.b != 0;
        break;
      case PR_CONTENT_COUNT:
        record.itemCount = v.Value.ul;
        break;
      default:
        break;
    }
  }
  record.propertiesRead = true;
  return S_OK;
}

HRESULT CMapiUtil::getIpmSubtreeProperties(IMsgStore* store, COutlookFolder& record) {
  const HRESULT hr = guarded(u"getIpmSubtreeProperties", HRESULT(E_FAIL), [&]() -> HRESULT {
    Ptr<IMAPIFolder> top;
    const HRESULT r = openIpmSubtree(store, top);
    if (FAILED(r)) return r;
    return getFolderProperties(top.get(), record);
  });
  if (FAILED(hr)) writeLog(u"{Mapi Manager}: Failed to retrieve folder properties\n.");
  return hr;
}

HRESULT CMapiUtil::getSubfolders(COutlookFolder& parent, IMsgStore* store, IMAPIFolder* folder) {
  return guarded(u"getSubfolders", HRESULT(E_FAIL), [&]() -> HRESULT {
    Ptr<IMAPIFolder> opened(folder);
    if (!opened) {
      if (FAILED(openIn(*this, store, parent.entryId.longTerm, opened))) return E_FAIL;
    }
    Ptr<IMAPITable> table;
    HRESULT hr = opened->GetHierarchyTable(0, table.put());
    if (FAILED(hr)) return hr;
    Rows rows;
    hr = loader().HrQueryAllRows(table.get(), folderProperties(), nullptr, nullptr, 0, rows.put());
    if (FAILED(hr)) return hr;
    if (rows.count() > 0) parent.createChildList();
    for (ULONG i = 0; i < rows.count(); ++i) {
      auto child = std::make_unique<COutlookFolder>();
      const SRow& row = rows.get()->aRow[i];
      fillFolderNode(row.lpProps, row.cValues, *child);
      parent.addChild(std::move(child));
    }
    return hr;
  });
}

HRESULT CMapiUtil::createFolder(IMAPIFolder* parent, const CString& name, const CString& containerClass,
                                std::unique_ptr<COutlookFolder>& record) {
  record.reset();
  if (!parent) return E_FAIL;
  return guarded(u"createFolder", HRESULT(E_FAIL), [&]() -> HRESULT {
    std::string folderName = ansi(name), className = ansi(containerClass);
    Ptr<IMAPIFolder> folder;
    HRESULT hr = parent->CreateFolder(FOLDER_GENERIC, folderName.data(), nullptr, nullptr, OPEN_IF_EXISTS, folder.put());
    if (FAILED(hr)) return hr;
    SPropValue value{};
    value.ulPropTag = PR_CONTAINER_CLASS_A;
    value.Value.lpszA = className.data();
    hr = folder->SetProps(1, &value, nullptr);
    if (FAILED(hr)) return hr;
    hr = folder->SaveChanges(KEEP_OPEN_READWRITE);
    if (FAILED(hr)) return hr;
    auto made = std::make_unique<COutlookFolder>();
    hr = getFolderProperties(folder.get(), *made);
    if (FAILED(hr)) return hr;
    record = std::move(made);
    return S_OK;
  });
}

HRESULT CMapiUtil::deleteFolder(IMsgStore* store, IMAPIFolder* folder) {
  if (!store || !folder) return E_FAIL;
  return guarded(u"deleteFolder", HRESULT(E_FAIL), [&]() -> HRESULT {
    Ptr<IMAPIFolder> parent;
    HRESULT hr = getParentFolder(store, folder, parent);
    if (FAILED(hr)) return hr;
    EntryId id;
    hr = oneBinary(folder, PR_ENTRYID, id);
    if (FAILED(hr)) return hr;
    return deleteSubfolder(parent.get(), id);
  });
}

HRESULT CMapiUtil::deleteSubfolder(IMAPIFolder* parent, const EntryId& id) {
  if (!parent) return E_FAIL;
  return guarded(u"deleteSubfolder", HRESULT(E_FAIL), [&] {
    return parent->DeleteFolder(static_cast<ULONG>(id.size()), entryPointer(id), 0, nullptr,
                                DEL_FOLDERS | DEL_MESSAGES);
  });
}

bool CMapiUtil::getFolderHierarchyList(IMsgStore* store, IMAPIFolder* folder, const CString& parentPath,
                                       std::vector<std::unique_ptr<COutlookFolder>>& list) {
  if (!store || !folder) return false;
  return guarded(u"getFolderHierarchyList", false, [&] {
    Ptr<IMAPITable> table;
    if (FAILED(folder->GetHierarchyTable(0, table.put()))) return true;
    Rows rows;
    if (FAILED(loader().HrQueryAllRows(table.get(), folderProperties(), nullptr, nullptr, 0, rows.put()))) return true;
    bool result = true;
    for (ULONG i = 0; i < rows.count(); ++i) {
      auto record = std::make_unique<COutlookFolder>();
      const SRow& row = rows.get()->aRow[i];
      fillFolderNode(row.lpProps, row.cValues, *record);
      record->folderPath = parentPath.IsEmpty() ? record->displayName : joinFolderPath(parentPath, record->displayName);
      const CString path = record->folderPath;
      const bool hasChildren = record->hasSubfolders;
      const CString id = record->entryId.getId();
      list.push_back(std::move(record));
      if (!hasChildren) continue;
      Ptr<IMAPIFolder> child;
      if (FAILED(openIn(*this, store, id, child)) || !getFolderHierarchyList(store, child.get(), path, list))
        result = false;
    }
    return result;
  });
}

HRESULT CMapiUtil::CopyItem(const EntryId& sourceId, IMAPIFolder* source, IMAPIFolder* destination,
                            std::unique_ptr<COutlookItem>& item, ULONG creationFlags) {
  item.reset();
  if (!source || !destination) return E_FAIL;
  return guarded(u"CopyItem", HRESULT(E_FAIL), [&]() -> HRESULT {
    Ptr<IUnknown> object;
    Ptr<IMessage> original;
    HRESULT hr = openMessageInFolder(source, sourceId, object);
    if (SUCCEEDED(hr)) hr = object.as(original);
    if (FAILED(hr)) {
      writeLog(u"CopyItem::Failed to open an existing item for copying\n");
      return hr;
    }
    Ptr<IMessage> copy;
    hr = destination->CreateMessage(nullptr, creationFlags, copy.put());
    if (FAILED(hr)) {
      copy.reset();
      writeLog(u"CopyItem::Failed to create message in the destination folder\n");
      return hr;
    }
    if (getOutlookVersion() == 3 && isOutlook2000InternetMailOnly()) setSkipNextUninitialize();
    hr = original->CopyTo(0, nullptr, nullptr, 0, nullptr, &IID_IMessage, copy.get(), 0, nullptr);
    if (FAILED(hr)) {
      writeLog(u"CopyItem::Failed to copy props from origin to destination message\n");
      return hr;
    }
    hr = copy->SaveChanges(KEEP_OPEN_READWRITE);
    if (FAILED(hr)) {
      writeLog(u"CopyItem::Failed to save changes to the destination message after copy");
      return hr;
    }
    auto made = std::make_unique<COutlookItem>();
    if (made->initFromMessage(copy.get())) {
      item = std::move(made);
      return S_OK;
    }
    // A copy the synchronizer cannot identify would be copied again on the next run.
    EntryId copyId;
    if (SUCCEEDED(oneBinary(copy.get(), PR_ENTRYID, copyId))) deleteMessage(destination, copyId);
    return E_FAIL;
  });
}

bool CMapiUtil::getAttachmentList(IMsgStore* store, const COutlookItem& item, std::vector<CString>& names) {
  return guarded(u"getAttachmentList", false, [&] {
    if (!store) return false;
    Ptr<IMessage> message;
    if (FAILED(openIn(*this, store, item.entryId, message))) return false;
    Ptr<IMAPITable> table;
    if (FAILED(message->GetAttachmentTable(0, table.put()))) return false;
    SizedSPropTagArray(1, columns) = {1, {kAttachFileName}};
    Rows rows;
    if (FAILED(loader().HrQueryAllRows(table.get(), reinterpret_cast<LPSPropTagArray>(&columns), nullptr, nullptr, 0,
                                       rows.put())))
      return false;
    for (ULONG i = 0; i < rows.count(); ++i)
      if (isString8(rows.at(i, 0), kAttachFileName)) names.push_back(CString(rows.at(i, 0).Value.lpszA));
    return true;
  });
}

HRESULT CMapiUtil::getFolderEntries(COutlookFolder& record, IMsgStore* store, const CancelTest& cancelled) {
  if (record.syncInfo && record.syncInfo->state == CFolderSyncInfo::kSourceNotSynchronized) return S_OK;
  return guarded(u"getFolderEntries", HRESULT(E_FAIL), [&]() -> HRESULT {
    Ptr<IMAPIFolder> folder;
    HRESULT hr = openIn(*this, store, record.entryId.getId(), folder);
    if (FAILED(hr)) return hr;
    std::unique_ptr<CMAPIPropRestriction> restriction;
    if (record.syncInfo && record.syncInfo->dayWindow != -1)
      restriction = createModifiedSinceRestriction(record.syncInfo->dayWindow, record.syncInfo->dayWindowExtra);
    RowBatches batches;
    hr = getMapiFolderContents(folder.get(), batches, COutlookItem::propertyList(),
                               restriction ? restriction->getRestriction() : nullptr, cancelled);
    if (SUCCEEDED(hr)) transferEntriesToFolder(batches, record, store, folder.get(), cancelled);
    freeRowBatches(batches);
    return hr;
  });
}

void CMapiUtil::transferEntriesToFolder(const RowBatches& batches, COutlookFolder& record, IMsgStore* store,
                                        IMAPIFolder*, const CancelTest& cancelled) {
  guarded(u"transferEntriesToFolder", 0, [&] {
    if (batches.empty()) return 0;
    record.items = std::make_unique<COutlookFolder::ItemMap>();
    for (LPSRowSet rows : batches) {
      for (ULONG i = 0; rows && i < rows->cRows; ++i) {
        if (cancelled && cancelled()) return 0;
        auto item = std::make_unique<COutlookItem>();
        if (!item->assignRow(rows->aRow[i], store)) {
          writeLog(u"Outlook Synchronizer: Failed to initialize item in folder %s\n", record.displayName);
          continue;
        }
        item->setFolder(&record);
        EntryId key = item->entryId;
        (*record.items)[std::move(key)] = std::move(item);
      }
    }
    return 0;
  });
}

std::unique_ptr<CMAPIPropRestriction> CMapiUtil::createModifiedSinceRestriction(int days, UINT) {
  return guarded(u"createModifiedSinceRestriction", std::unique_ptr<CMAPIPropRestriction>(), [&] {
    std::unique_ptr<CMAPIPropRestriction> none;
    SYSTEMTIME now{};
    GetLocalTime(&now);
    FILETIME local{};
    if (!SystemTimeToFileTime(&now, &local)) return none;
    const ULONGLONG nowTicks = (static_cast<ULONGLONG>(local.dwHighDateTime) << 32) | local.dwLowDateTime;
    // Whole days back on the local clock; a window reaching before the file-time epoch has no cutoff.
    const long long span = static_cast<long long>(days);
    if (span > 0 && static_cast<ULONGLONG>(span) > nowTicks / kFileTimeDay) return none;
    const ULONGLONG cutoffTicks = nowTicks - static_cast<ULONGLONG>(span) * kFileTimeDay;
    FILETIME cutoffLocal{static_cast<DWORD>(cutoffTicks), static_cast<DWORD>(cutoffTicks >> 32)};
    SYSTEMTIME cutoff{};
    if (!FileTimeToSystemTime(&cutoffLocal, &cutoff) || !SystemTimeToFileTime(&cutoff, &cutoffLocal)) return none;
    FILETIME utc{};
    if (!LocalFileTimeToFileTime(&cutoffLocal, &utc)) return none;
    SPropValue value{};
    value.ulPropTag = PR_LAST_MODIFICATION_TIME;
    value.Value.ft = utc;
    return std::make_unique<CMAPIPropRestriction>(value, PR_LAST_MODIFICATION_TIME, RELOP_GE);
  });
}

// Outlook's hidden message-manager message (message_manager.h).
#include "outlook/message_manager.h"

#include <cstring>
#include <string>

#include "app/log.h"
#include "app/registry.h"
#include "outlook/mapi_internal.h"
#include "outlook/mapi_loader.h"
#include "outlook/mapi_util.h"
#include "outlook/outlook_install.h"
#include "outlook/outlook_item.h"
#include "platform/com/unknown.h"

namespace {

using mapilayer::guarded;
using platform::com::Ptr;

constexpr ULONG kConversationKeyTag = 0x000B0102;  // PR_CONVERSATION_KEY
constexpr const char16_t* kSubjectFormat = u"Outlook 10 Message Manager (%s)";
constexpr const char16_t* kLogDeleteFailed = u"{MessageManager}: Failed to delete target message manager.";
constexpr const char16_t* kLogQuitDeleting = u"{MessageManager}: Quit trying to delete target message manager.";
constexpr const char16_t* kLogSynchronizeFailed = u"{MessageManager}: Failed to copy message manager during synchronize.";

// The store's receive folder (the Inbox); empty when it cannot be opened.
Ptr<IMAPIFolder> openReceiveFolder(CMapiUtil& util, IMsgStore* store) {
  Ptr<IMAPIFolder> folder;
  CString hexId;
  if (!store || FAILED(util.getReceiveFolderEntryId(store, hexId, true)) || hexId.IsEmpty()) return folder;
  Ptr<IUnknown> object;
  if (FAILED(util.OpenEntry(store, hexId, object)) || !object || FAILED(object.as(folder))) folder.reset();
  return folder;
}

bool isMessageManagerRow(const SRow& row) {
  for (ULONG i = 0; i < row.cValues; ++i)
    if (mapilayer::isString8(row.lpProps[i], PR_MESSAGE_CLASS_A))
      return std::strcmp(row.lpProps[i].Value.lpszA, kMessageManagerClass) == 0;
  return false;
}

}  // namespace

CMessageManager::CMessageManager() : m_loader(getMapiLoader()), m_util(getMapiUtil()) {}

CMessageManager::~CMessageManager() = default;

bool CMessageManager::getMessageManager(IMsgStore* store, std::unique_ptr<COutlookItem>& item) {
  item.reset();
  return guarded(u"CMessageManager::getMessageManager", false, [&] {
    if (!m_util || !store) return false;
    Ptr<IMAPIFolder> folder = openReceiveFolder(*m_util, store);
    if (!folder) return false;
    Ptr<IMAPITable> table;
    if (FAILED(folder->GetContentsTable(MAPI_ASSOCIATED, table.put())) || !table) return false;
    if (FAILED(table->SetColumns(COutlookItem::propertyList(), 0))) return false;
    ULONG count = 0;
    if (FAILED(table->GetRowCount(0, &count)) || count == 0) return false;
    mapilayer::Rows rows;
    if (FAILED(table->QueryRows(static_cast<LONG>(count), 0, rows.put())) || !rows.get()) return false;
    for (ULONG i = 0; i < rows.count(); ++i) {
      const SRow& row = rows.get()->aRow[i];
      if (!isMessageManagerRow(row)) continue;
      auto found = std::make_unique<COutlookItem>();
      if (!found->assignRow(row, store)) continue;
      item = std::move(found);
      return true;
    }
    return false;
  });
}

bool CMessageManager::setupMessageManager(IMsgStore* store, const COutlookItem& item, const CString& subject,
                                          ULONG byteCount, const BYTE* bytes) {
  return guarded(u"CMessageManager::setupMessageManager", false, [&] {
    if (!m_util || !store) return false;
    Ptr<IUnknown> object;
    if (FAILED(m_util->OpenEntry(store, item.entryId, object)) || !object) return false;
    Ptr<IMessage> message;
    if (FAILED(object.as(message))) return false;
    std::string subjectText = mapilayer::ansi(subject);
    SPropValue values[2]{};
    values[0].ulPropTag = PR_SUBJECT_A;
    values[0].Value.lpszA = subjectText.data();
    values[1].ulPropTag = kConversationKeyTag;
    values[1].Value.bin.cb = byteCount;
    values[1].Value.bin.lpb = const_cast<BYTE*>(bytes);
    const HRESULT hr = message->SetProps(2, values, nullptr);
    message->SaveChanges(0);
    return SUCCEEDED(hr);
  });
}

bool CMessageManager::readProfileSearchKey(const CString& profileName, std::vector<BYTE>& bytes) {
  bytes.clear();
  return guarded(u"CMessageManager::readProfileSearchKey", false, [&] {
    CString path;
    path.Format(u"%s\\%s\\%s", getOutlookProfilesRegkey(), profileName, CString(kMessageManagerSection));
    // Opened without creating it: a profile is never given a section just to be read.
    CRegistry section(path);
    if (!section.isOpen()) return false;
    return section.getBytes(kMessageManagerSearchKeyValue, bytes);
  });
}

bool CMessageManager::personalize(IMsgStore* store, const CString& profileName) {
  return guarded(u"CMessageManager::personalize", false, [&] {
    std::unique_ptr<COutlookItem> item;
    if (!getMessageManager(store, item)) return false;
    std::vector<BYTE> key;
    if (!readProfileSearchKey(profileName, key)) return false;
    CString subject;
    subject.Format(kSubjectFormat, profileName);
    return setupMessageManager(store, *item, subject, static_cast<ULONG>(key.size()), key.data());
  });
}

bool CMessageManager::copyMessageManager(IMsgStore* source, IMsgStore* target) {
  return guarded(u"CMessageManager::copyMessageManager", false, [&] {
    if (!m_util) return false;
    Ptr<IMAPIFolder> targetFolder = openReceiveFolder(*m_util, target);
    if (!targetFolder) return false;
    int attempts = 0;
    for (std::unique_ptr<COutlookItem> old; getMessageManager(target, old);) {
      if (attempts == kMessageManagerDeleteAttempts) {
        writeLog(kLogQuitDeleting);
        break;
      }
      ++attempts;
      if (FAILED(m_util->deleteMessage(targetFolder.get(), old->entryId))) writeLog(kLogDeleteFailed);
    }
    std::unique_ptr<COutlookItem> original;
    if (!getMessageManager(source, original)) return true;
    Ptr<IMAPIFolder> sourceFolder = openReceiveFolder(*m_util, source);
    if (!sourceFolder) return false;
    std::unique_ptr<COutlookItem> copy;
    const HRESULT hr = m_util->CopyItem(original->entryId, sourceFolder.get(), targetFolder.get(), copy, MAPI_ASSOCIATED);
    return !FAILED(hr);
  });
}

bool CMessageManager::synchronize(IMsgStore* source, IMsgStore* target) {
  if (copyMessageManager(source, target)) return true;
  writeLog(kLogSynchronizeFailed);
  return false;
}

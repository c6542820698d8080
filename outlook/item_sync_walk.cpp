// The item synchronizer's run set-up: the calculation entry, special folders in the folder
// preferences, the folder trees with their maps, the two folder walks that mirror one tree onto
// the other, the folder settings that come from the preferences, and the loading of the snapshot
// (item_synchronizer.h).
#include "app/app_messages.h"
#include "app/file_operation.h"
#include "app/file_util.h"
#include "app/log.h"
#include "app/messages.h"
#include "app/program_texts.h"
#include "app/structured_exception.h"
#include "lang/ids.h"
#include "outlook/item_synchronizer.h"
#include "outlook/mapi_util.h"
#include "outlook/outlook_names.h"
#include "platform/win32/file.h"

namespace {

constexpr const char16_t* kBuildingList = u"Building synchronization list.";

struct SpecialFolderTag {
  UINT name;
  ULONG tag;  // 0: the receive folder (the Inbox)
};
// In the order they are tested; the first whose name matches wins.
constexpr SpecialFolderTag kSpecialFolders[] = {
    {IDS_OUTLOOK_INBOX, 0},
    {IDS_OUTLOOK_SENT_ITEMS, PR_IPM_SENTMAIL_ENTRYID},
    {IDS_OUTLOOK_DRAFTS, PR_IPM_DRAFTS_ENTRYID},
    {IDS_OUTLOOK_TASKS, PR_IPM_TASK_ENTRYID},
    {IDS_OUTLOOK_CALENDAR, PR_IPM_APPOINTMENT_ENTRYID},
    {IDS_OUTLOOK_CONTACTS, PR_IPM_CONTACT_ENTRYID},
    {IDS_OUTLOOK_NOTES, PR_IPM_NOTE_ENTRYID},
};

}  // namespace

int CItemSynchronizer::calculateSyncOps(CSpaceRecord* record, DWORD mode) {
  if (!enabled) return kSyncDone;
  if (!record) return kSyncFailed;
  currentRecord = record;
  postProgress(CString(kBuildingList), CString());
  if (!m_prefs) return kSyncFailed;
  resolveSpecialFolders();
  return beginSync(mode, m_snapshotPath);
}

void CItemSynchronizer::resolveSpecialFolders() {
  if (!m_prefs || !m_mapi) return;
  for (COutlookFolderSyncPref& pref : *m_prefs) {
    if (!pref.folderId.IsEmpty()) continue;
    for (const SpecialFolderTag& special : kSpecialFolders) {
      if (pref.itemPath.Compare(LoadResStringOutlook(special.name)) != 0) continue;
      CString id;
      if (special.tag == 0) m_mapi->getReceiveFolderEntryId(m_sourceStore.get(), id, false);
      else m_mapi->getSpecialFolderEntryId(m_sourceStore.get(), special.tag, id);
      pref.folderId = id;
      break;
    }
  }
}

int CItemSynchronizer::beginSync(DWORD, const CString& snapshotPath) {
  postProgress(loadResString(IDS_ITEM_SYNC_STARTING), CString());
  byteCount = 0;
  freeFolderLists();
  buildFolderLists();
  // With no usable snapshot every item would be copied again on both sides: the run stops.
  if (!loadSnapshot(snapshotPath)) return kSyncFailed;
  if (FAILED(openRootFolders())) return kSyncFailed;
  COutlookFolder* root = sourceRoot();
  const CSnapshotFolder* recorded = m_snapshot->getRootFolder();
  if (!recorded) {
    m_snapshot->setRootFolder(snapshotFolderOf(*root));
  } else {
    EntryIdBytes last;
    EntryIdBytes now;
    bool same = false;
    if (!m_mapi || !bytesFromHex(folderIdText(recorded->entryId), last) ||
        !bytesFromHex(root->entryId.getId(), now) || FAILED(m_mapi->compareEntryIds(m_sourceStore.get(), last, now, same)) ||
        !same) {
      writeLog(u"{Item Synchronizer}: The default Store on the source has changed.");
      showMessageById(IDS_ITEM_SYNC_STORE_CHANGED, g_applicationName, g_deviceName);
      return kSyncFailed;
    }
  }
  int result = trackItems();
  if (result != kSyncDone) return result;
  result = syncSrcFoldersAndContents();
  if (result != kSyncDone) return result;
  return syncTargetItems();
}

void CItemSynchronizer::buildFolderLists() {
  m_sourceList = std::make_unique<FolderList>();
  m_sourceList->push_back(std::make_unique<COutlookFolder>());
  m_targetList = std::make_unique<FolderList>();
  m_targetList->push_back(std::make_unique<COutlookFolder>());
  m_sourceByLong.clear();
  m_sourceByShort.clear();
  m_targetByLong.clear();
  m_targetByShort.clear();
  m_sourceItemFolder = std::make_unique<SyncFolder>();
  m_targetItemFolder = std::make_unique<SyncFolder>();
  m_sourceDestination = std::make_unique<SyncFolder>();
  m_targetDestination = std::make_unique<SyncFolder>();
  m_removedTarget.clear();
  m_removedSource.clear();
  m_unreadSource.clear();
  m_pairedSource.clear();
  m_listedAside.clear();
  m_opOf.clear();
}

void CItemSynchronizer::freeFolderLists() {
  // The caches and maps point into the trees: they go first.
  m_sourceItemFolder.reset();
  m_targetItemFolder.reset();
  m_sourceDestination.reset();
  m_targetDestination.reset();
  m_removedTarget.clear();
  m_removedSource.clear();
  m_unreadSource.clear();
  m_pairedSource.clear();
  m_listedAside.clear();
  m_opOf.clear();
  m_sourceByLong.clear();
  m_sourceByShort.clear();
  m_targetByLong.clear();
  m_targetByShort.clear();
  deleteFolderNodeList(m_sourceList);
  deleteFolderNodeList(m_targetList);
}

HRESULT CItemSynchronizer::openRootFolders() {
  COutlookFolder* source = sourceRoot();
  COutlookFolder* target = targetRoot();
  if (!m_mapi || !source || !target) return E_FAIL;
  HRESULT hr = m_mapi->getIpmSubtreeProperties(m_sourceStore.get(), *source);
  if (FAILED(hr)) return hr;
  source->syncInfo->recursive = true;
  source->syncInfo->state = CFolderSyncInfo::kSourceNotSynchronized;
  source->syncInfo->sizeLimitKb = -1;
  hr = m_mapi->getIpmSubtreeProperties(m_targetStore.get(), *target);
  if (FAILED(hr)) return hr;
  target->syncInfo->recursive = true;
  target->syncInfo->state = CFolderSyncInfo::kTargetFolder;
  target->syncInfo->sizeLimitKb = -1;
  sourceToTarget().linkFolders(*source, *target);
  return S_OK;
}

int CItemSynchronizer::walk(const char16_t* name, FolderList* list, const FolderMaps& maps, const StorePair& stores) {
  if (!list) return kSyncFailed;
  int result = kSyncFailed;
  guardedStep(name, [&] {
    try {
      syncFolderContentsAndMaps(*list, maps, stores);
    } catch (const WalkStopped&) {
      // A cancelled listing ends the walk; the run's own cancellation answers the coordinator.
    }
    result = kSyncDone;
  });
  return result;
}

int CItemSynchronizer::trackItems() {
  return walk(u"CItemSynchronizer::trackItems", m_targetList.get(), targetToSource(),
              StorePair{m_targetStore.get(), m_sourceStore.get()});
}

int CItemSynchronizer::syncSrcFoldersAndContents() {
  return walk(u"CItemSynchronizer::syncSrcFoldersAndContents", m_sourceList.get(), sourceToTarget(),
              StorePair{m_sourceStore.get(), m_targetStore.get()});
}

void CItemSynchronizer::syncFolderContentsAndMaps(FolderList& list, const FolderMaps& maps, const StorePair& stores) {
  bool stopped = false;
  guardedStep(u"CItemSynchronizer::syncFolderContentsAndMaps", [&] {
    try {
      mapOriginToDestination(list, maps, stores);
      for (auto& entry : list) {
        COutlookFolder& folder = *entry;
        if (cancelled()) return;
        const HRESULT hr =
            m_mapi ? m_mapi->getFolderEntries(folder, stores.origin, [this] { return cancelled(); }) : E_FAIL;
        if (hr == MAPI_E_USER_CANCEL) throw WalkStopped{};
        if (FAILED(hr)) {
          writeLog(u"Failed to get items from the folder %s\n", folder.displayName);
          if (stores.origin == m_sourceStore.get()) m_unreadSource.push_back(&folder);
        } else if (folder.syncInfo && folder.syncInfo->state == CFolderSyncInfo::kSourceSynchronized && folder.items &&
                   !folder.items->empty()) {
          syncFolderItems(folder);
        }
        if (!folder.hasSubfolders) continue;
        if (!folder.children && !loadSubfolders(folder, stores.origin)) continue;
        if (folder.children) syncFolderContentsAndMaps(*folder.children, maps, stores);
      }
    } catch (const WalkStopped&) {
      stopped = true;
    }
  });
  if (stopped) throw WalkStopped{};
}

bool CItemSynchronizer::loadSubfolders(COutlookFolder& folder, IMsgStore* store) {
  if (!m_mapi) return false;
  if (folder.children) folder.freeChildren();
  if (FAILED(m_mapi->getSubfolders(folder, store))) return false;
  inheritFolderSyncInfo(folder);
  return true;
}

const CFolderSyncInfo& CItemSynchronizer::handedDownSettings(const COutlookFolder& folder) const {
  const COutlookFolder* at = &folder;
  while (!at->syncInfo->recursive && at->parent && at->parent != at) at = at->parent;
  return *at->syncInfo;
}

void CItemSynchronizer::inheritFolderSyncInfo(COutlookFolder& folder) {
  if (!folder.children) return;
  const CFolderSyncInfo settings = handedDownSettings(folder);
  for (auto& child : *folder.children) {
    *child->syncInfo = settings;
    applyFolderSyncPref(*child);
  }
}

bool CItemSynchronizer::applyFolderSyncPref(COutlookFolder& folder) {
  if (!folder.syncInfo || folder.syncInfo->state == CFolderSyncInfo::kTargetFolder) return false;
  const COutlookFolderSyncPref* pref = findFolderSyncPref(folder.entryId);
  if (!pref || !pref->synchronize || pref->itemPath.Compare(folder.getPath()) != 0) return false;
  CFolderSyncInfo& info = *folder.syncInfo;
  info.state = CFolderSyncInfo::kSourceSynchronized;
  info.recursive = pref->recursive;
  if (pref->includeRecentItems) info.dayWindow = static_cast<int>(pref->daysOld);
  info.sizeLimitKb = pref->limitAttachmentSize ? static_cast<int>(pref->maxAttachmentSizeKb) : -1;
  info.conflictMode = pref->conflictResolution;
  return true;
}

const COutlookFolderSyncPref* CItemSynchronizer::findFolderSyncPref(const CEntryIdText& ids) {
  const CString text = ids.getId();
  if (text.IsEmpty() || !m_prefs || !m_mapi) return nullptr;
  EntryIdBytes id;
  if (!bytesFromHex(text, id)) return nullptr;
  for (const COutlookFolderSyncPref& pref : *m_prefs) {
    EntryIdBytes other;
    if (!bytesFromHex(pref.folderId, other) || other.empty()) continue;
    bool same = false;
    if (m_mapi->compareEntryIds(m_sourceSession.get(), id, other, same) && same) return &pref;
  }
  return nullptr;
}

void CItemSynchronizer::mapOriginToDestination(FolderList& list, const FolderMaps& maps, const StorePair& stores) {
  guardedStep(u"CItemSynchronizer::mapOriginToDestination", [&] {
    if (list.empty() || !m_mapi) return;
    COutlookFolder* p = list.front()->parent;
    if (!p) return;
    COutlookFolder* peer = maps.findPeer(*p);
    if (!peer) return;
    const bool sourceSide = p->syncInfo && p->syncInfo->state != CFolderSyncInfo::kTargetFolder;
    std::vector<COutlookFolder*>& removed = sourceSide ? m_removedSource : m_removedTarget;
    platform::com::Ptr<IMAPIFolder> peerOpen;
    for (auto& entry : list) {
      if (cancelled()) return;
      COutlookFolder& x = *entry;
      const CSnapshotFolder* last = m_snapshot->findFolder(x.entryId.longTerm, sourceSide);
      if (maps.findPeer(x)) continue;
      if (!peerOpen) {
        platform::com::Ptr<IUnknown> object;
        if (FAILED(m_mapi->OpenEntry(stores.destination, peer->entryId.getId(), object)) ||
            FAILED(object.as(peerOpen))) {
          peerOpen.reset();
          writeLog(u"failed to open parent folder %s on the destination store\n", peer->displayName);
        } else if (peer->hasSubfolders && !peer->children) {
          loadSubfolders(*peer, stores.destination);
        }
      }
      COutlookFolder* existing = peer->children ? peer->findChild(x.displayName) : nullptr;
      // MAPI takes folder names without regard to case: a folder renamed only in case keeps its
      // peer (else the peer would be deleted with its items as removed, and nothing copied).
      if (!existing && peer->children) {
        for (const auto& child : *peer->children) {
          if (child->displayName.CompareNoCase(x.displayName) == 0 && !maps.reversed().findPeer(*child)) {
            existing = child.get();
            break;
          }
        }
      }
      x.moved = last && ((p->moved || p->entryId.longTerm != last->parentEntryId.longTerm) ||
                         x.displayName.CompareNoCase(last->displayName) != 0);
      if (!existing) {
        if (!peerOpen) continue;
        if (!last || x.moved) {
          std::unique_ptr<COutlookFolder> made;
          if (SUCCEEDED(m_mapi->createFolder(peerOpen.get(), x.displayName, x.containerClass, made)) && made) {
            COutlookFolder* child = peer->addChild(std::move(made));
            // A folder made here takes the settings its new parent hands down, as a folder read
            // with its siblings would.
            *child->syncInfo = handedDownSettings(*peer);
            applyFolderSyncPref(*child);
            maps.linkFolders(x, *child);
          }
        } else {
          removed.push_back(&x);
        }
        continue;
      }
      if (x.moved && last && existing->entryId.longTerm == last->counterpartId.longTerm) x.moved = false;
      maps.linkFolders(x, *existing);
    }
  });
}

// ---- the snapshot at the start of a run ---------------------------------------------------------------

bool CItemSynchronizer::loadSnapshot(const CString& path) {
  m_snapshot->clear();
  const CString backup = getBackupSnapshotPath();
  if (m_firstSync) {
    if (fileExists(path)) {
      setHiddenAttribute(path, false);
      setSystemAttribute(path, false);
      if (!deleteFileOp(path)) writeLog(u"{Item Synchronizer}: Failed to remove snapshot from device on first sync.");
    }
    if (!backup.IsEmpty() && fileExists(backup)) {
      setHiddenAttribute(backup, false);
      setSystemAttribute(backup, false);
      if (!deleteFileOp(backup)) writeLog(u"{Item Synchronizer}: Failed to remove snapshot from backup on first sync.");
    }
    return true;
  }
  const bool onDrive = !path.IsEmpty() && fileExists(path);
  const bool backedUp = !backup.IsEmpty() && fileExists(backup);
  const auto toBackup = [&] {
    if (!copySnapshotCopy(path, backup))
      writeLog(u"{FileSynchronizer}: Failed to save a backup copy of snapshot file: %s to %s", path, backup);
    return true;
  };
  const auto toDrive = [&] {
    if (!copySnapshotCopy(backup, path))
      writeLog(u"{FileSynchronizer}: Failed to copy backup snapshot to device: %s to %s", backup, path);
    return true;
  };
  if (onDrive && backedUp) {
    if (compareFileTimes(path, backup) >= 0) {
      if (m_snapshot->read(path)) return toBackup();
      m_snapshot->clear();
      if (m_snapshot->read(backup)) return toDrive();
    } else {
      if (m_snapshot->read(backup)) return toDrive();
      m_snapshot->clear();
      if (m_snapshot->read(path)) return toBackup();
    }
  } else if (onDrive) {
    if (m_snapshot->read(path)) return toBackup();
  } else if (backedUp) {
    if (m_snapshot->read(backup)) return toDrive();
  } else {
    return true;
  }
  m_snapshot->clear();
  showMessageById(IDS_ITEM_SYNC_SNAPSHOT_UNREADABLE, g_applicationName, g_deviceName);
  return false;
}

bool CItemSynchronizer::copySnapshotCopy(const CString& from, const CString& to) {
  if (from.IsEmpty() || to.IsEmpty()) return false;
  // Copied beside the old copy first and put in its place only once complete: a copy that fails
  // half-way never replaces a readable one.
  if (!createDirectoryTree(getParentFolder(to))) return false;
  const CString fresh = to + CString(u".new");
  if (fileExists(fresh)) {
    setHiddenAttribute(fresh, false);
    setSystemAttribute(fresh, false);
    DeleteFileW(fresh);
  }
  if (!copyFileOp(from, fresh)) {
    if (fileExists(fresh)) DeleteFileW(fresh);
    return false;
  }
  setHiddenAttribute(fresh, false);
  setSystemAttribute(fresh, false);
  if (fileExists(to)) {
    setHiddenAttribute(to, false);
    setSystemAttribute(to, false);
  }
  if (!MoveFileExW(fresh, to, MOVEFILE_REPLACE_EXISTING)) {
    DeleteFileW(fresh);
    if (fileExists(to)) {
      setHiddenAttribute(to, true);
      setSystemAttribute(to, true);
    }
    return false;
  }
  setHiddenAttribute(to, true);
  setSystemAttribute(to, true);
  return true;
}

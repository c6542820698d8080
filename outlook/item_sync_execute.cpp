// The item synchronizer's execution: each queued op, the copies in either direction with their
// record in the snapshot, conflicts, the Outbox, the post-execution step with the snapshot's
// save and the crash marks (item_synchronizer.h).
#include "app/app_messages.h"
#include "app/document_host_services.h"
#include "app/log.h"
#include "app/messages.h"
#include "lang/ids.h"
#include "outlook/item_synchronizer.h"
#include "outlook/mapi_util.h"
#include "snapins/file_synchronizer.h"
#include "snapins/space_man.h"

int CItemSynchronizer::executeSyncOp(CSyncOp* op, DWORD) {
  if (cancelled()) return kSyncCancelled;
  if (!op) return kSyncFailed;
  auto* itemOp = dynamic_cast<CItemSyncOp*>(op);
  if (!itemOp) return kSyncNotMine;
  if (m_localPrefs) m_localPrefs->setString(kExecutingItemSyncOpValue, itemOp->getSubject());
  return executeItemOp(*itemOp) ? kSyncDone : kSyncFailed;
}

bool CItemSynchronizer::executeItemOp(CItemSyncOp& op) {
  documentHostServices().sendAppMessage(new CSyncStatus(CSyncStatus::kOpExecuting, &op));
  if (op.a && op.a->parentFolder && m_sourceItemFolder) m_sourceItemFolder->open(m_sourceStore.get(), op.a->parentFolder);
  if (op.b && op.b->parentFolder && m_targetItemFolder) m_targetItemFolder->open(m_targetStore.get(), op.b->parentFolder);
  bool ok = false;
  switch (op.kind) {
    case kItemOpSourceToTarget:
    case kItemOpSourceMoved: ok = copySourceToTarget(false, op); break;
    case kItemOpTargetToSource:
    case kItemOpTargetMoved: ok = copyTargetToSource(false, op); break;
    case kItemOpNone: ok = true; break;
    case kItemOpDeleteTarget:
      ok = op.b && m_targetItemFolder && m_targetItemFolder->record() == op.b->parentFolder &&
           op.b->deleteFromFolder(m_targetItemFolder->folder());
      if (ok) removeSnapshotEntry(op);
      break;
    case kItemOpConflict: ok = resolveConflict(op); break;
    default: writeLog(u"{Item Synchronizer}: Failed to execute unknown item sync operation."); break;
  }
  op.succeeded = ok;
  if (op.s) op.s->addState(ok ? kItemSnapshotSucceeded : kItemSnapshotFailed);
  return ok;
}

void CItemSynchronizer::removeSnapshotEntry(CItemSyncOp& op) {
  if (!op.s) return;
  m_snapshot->removeEntry(op.s);
  // The entry is gone: the op must not touch it again (its state is set after this).
  op.s = nullptr;
}

void CItemSynchronizer::rekey(CItemSnapshot* s, const SnapshotBytes& oldSource, const SnapshotBytes& oldTarget) {
  if (s) m_snapshot->rekeyEntry(s, oldSource, oldTarget);
}

bool CItemSynchronizer::copySourceToTarget(bool keepTarget, CItemSyncOp& op) {
  if (!op.a || !m_sourceItemFolder || !m_sourceItemFolder->record()) return false;
  COutlookFolder* destination = sourceToTarget().findPeer(*m_sourceItemFolder->record());
  if (!destination || !m_targetDestination->open(m_targetStore.get(), destination)) return false;
  const SnapshotBytes oldSource = op.s ? op.s->item.entryId : SnapshotBytes();
  const SnapshotBytes oldTarget = op.s ? op.s->targetEntryId : SnapshotBytes();
  if (!op.a->copyTo(m_targetDestination.get(), m_targetStore.get(), m_sourceStore.get(), COutlookItem::kSourceToTarget,
                    op.s, m_sourceItemFolder.get()))
    return false;
  rekey(op.s, oldSource, oldTarget);
  op.succeeded = true;
  if (!keepTarget && op.b && m_targetItemFolder->record() == op.b->parentFolder)
    op.b->deleteFromFolder(m_targetItemFolder->folder());
  return true;
}

bool CItemSynchronizer::copyTargetToSource(bool keepSource, CItemSyncOp& op) {
  if (!op.b || !m_targetItemFolder || !m_targetItemFolder->record()) return false;
  if (op.madeCopy) {
    if (op.s) {
      const SnapshotBytes oldSource = op.s->item.entryId;
      op.s->item = snapshotItemOf(*op.madeCopy);
      op.s->setTargetFolder(snapshotFolderOf(*m_targetItemFolder->record()));
      rekey(op.s, oldSource, op.s->targetEntryId);
    }
    op.succeeded = true;
    return !op.a || (m_sourceItemFolder->record() == op.a->parentFolder &&
                     op.a->deleteFromFolder(m_sourceItemFolder->folder()));
  }
  COutlookFolder* destination = targetToSource().findPeer(*m_targetItemFolder->record());
  if (!destination || !m_sourceDestination->open(m_sourceStore.get(), destination)) return false;
  const SnapshotBytes oldSource = op.s ? op.s->item.entryId : SnapshotBytes();
  const SnapshotBytes oldTarget = op.s ? op.s->targetEntryId : SnapshotBytes();
  if (!op.b->copyTo(m_sourceDestination.get(), m_sourceStore.get(), m_targetStore.get(), COutlookItem::kTargetToSource,
                    op.s, m_targetItemFolder.get()))
    return false;
  rekey(op.s, oldSource, oldTarget);
  op.succeeded = true;
  if (op.a && m_sourceItemFolder->record() == op.a->parentFolder) op.a->deleteFromFolder(m_sourceItemFolder->folder());
  if (!keepSource && op.s) submitIfOutbox(op);
  return true;
}

void CItemSynchronizer::submitIfOutbox(CItemSyncOp& op) {
  if (!m_mapi || !m_sourceDestination->record()) return;
  CString outbox;
  if (FAILED(m_mapi->getSpecialFolderEntryId(m_sourceStore.get(), PR_IPM_OUTBOX_ENTRYID, outbox))) return;
  EntryIdBytes outboxId;
  EntryIdBytes destinationId;
  bool same = false;
  if (!bytesFromHex(outbox, outboxId) || !bytesFromHex(m_sourceDestination->record()->entryId.getId(), destinationId) ||
      FAILED(m_mapi->compareEntryIds(m_sourceStore.get(), outboxId, destinationId, same)) || !same)
    return;
  if (!m_mapi->sendMessage(m_sourceDestination->folder(), op.s->item.entryId))
    showMessageById(IDS_ITEM_SYNC_SUBMIT_FAILED, op.b->subject);
}

bool CItemSynchronizer::resolveConflict(CItemSyncOp& op) {
  switch (op.conflictMode) {
    case CFolderSyncInfo::kTargetWins: return copyTargetToSource(false, op);
    case CFolderSyncInfo::kSourceWins: return copySourceToTarget(false, op);
    case CFolderSyncInfo::kKeepBoth: return keepBoth(op);
    default: return false;
  }
}

bool CItemSynchronizer::keepBoth(CItemSyncOp& op) {
  if (!op.a || !op.b) return false;
  CItemSnapshot* first = m_snapshot->addEntry(CSnapshotItem());
  CItemSyncOp toSource(kItemOpTargetToSource, this, static_cast<LONGLONG>(op.b->size), nullptr, op.b, first,
                       op.conflictMode);
  first->addState(kItemSnapshotSeen);
  bool ok = copyTargetToSource(true, toSource);
  first->addState(ok ? kItemSnapshotSucceeded : kItemSnapshotFailed);
  if (!ok) return false;
  CItemSnapshot* second = m_snapshot->addEntry(snapshotItemOf(*op.a));
  CItemSyncOp toTarget(kItemOpSourceToTarget, this, static_cast<LONGLONG>(op.a->size), op.a, nullptr, second,
                       op.conflictMode);
  second->addState(kItemSnapshotSeen);
  ok = copySourceToTarget(true, toTarget);
  if (ok) {
    second->addState(kItemSnapshotSucceeded);
    removeSnapshotEntry(op);
  } else {
    second->addState(kItemSnapshotFailed);
    first->removeState(kItemSnapshotSucceeded);
    first->addState(kItemSnapshotFailed);
  }
  return ok;
}

// ---- after the run --------------------------------------------------------------------------------------

bool CItemSynchronizer::postExecuteSyncOps(bool, int) {
  bool result = true;
  // A failed save leaves both copies as they were: a stale snapshot repeats only this run's
  // copies, where a deleted one would have every item copied again.
  if (!m_snapshotPath.IsEmpty() && !saveSnapshot(m_snapshotPath)) result = false;
  deleteRemovedFolders();
  setSyncInProgress(false);
  return result;
}

bool CItemSynchronizer::saveSnapshot(const CString& path) {
  m_savedSourceMap.clear();
  m_savedTargetMap.clear();
  for (const auto& [key, folder] : m_sourceByLong) m_savedSourceMap.emplace(key, snapshotFolderOf(*folder));
  for (const auto& [key, folder] : m_targetByLong) m_savedTargetMap.emplace(key, snapshotFolderOf(*folder));
  m_snapshot->setFolderMaps(&m_savedSourceMap, &m_savedTargetMap);
  const CString backup = getBackupSnapshotPath();
  const bool written = !backup.IsEmpty() && m_snapshot->write(backup, false);
  m_snapshot->setFolderMaps(nullptr, nullptr);
  if (!written) return false;
  if (!copySnapshotCopy(backup, path))
    writeLog(u"{FileSynchronizer}: Failed to copy backup snapshot to device: %s to %s", backup, path);
  return true;
}

void CItemSynchronizer::deleteRemovedFolders() {
  if (m_mapi) {
    platform::com::Ptr<IMAPIFolder> parent;
    CString parentId;
    for (COutlookFolder* folder : m_removedTarget) {
      const CString& parentText = folder->parentEntryId.longTerm;
      const CString& ownText = folder->entryId.longTerm;
      if (parentText.IsEmpty() || ownText.IsEmpty()) continue;
      if (!parent || parentId != parentText) {
        parent.reset();
        parentId = parentText;
        platform::com::Ptr<IUnknown> object;
        if (FAILED(m_mapi->OpenEntry(m_targetStore.get(), parentText, object)) || FAILED(object.as(parent))) {
          parent.reset();
          continue;
        }
      }
      EntryIdBytes id;
      if (bytesFromHex(ownText, id)) m_mapi->deleteSubfolder(parent.get(), id);
    }
  }
  m_removedTarget.clear();
  m_removedSource.clear();
}

bool CItemSynchronizer::setSyncInProgress(bool inProgress) {
  if (!m_localPrefs) return false;
  if (!m_localPrefs->setBool(kSyncInProgressValue, inProgress)) return false;
  if (inProgress) return true;
  if (m_localPrefs->valueExists(kExecutingSyncOpValue) && !m_localPrefs->deleteValue(kExecutingSyncOpValue))
    writeLog(u"Failed to delete local prefs value executingSyncOp");
  return true;
}

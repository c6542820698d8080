// The Outlook item synchronizer: construction, set-up and the choice of an op for every item
// (item_synchronizer.h). The run set-up and folder walks are in item_sync_walk.cpp, the
// execution in item_sync_execute.cpp.
#include "outlook/item_synchronizer.h"

#include <map>

#include "app/app_messages.h"
#include "app/document_host_services.h"
#include "app/file_util.h"
#include "app/folder_lookup.h"
#include "app/log.h"
#include "app/messages.h"
#include "app/system_profile.h"
#include "lang/ids.h"
#include "outlook/mapi_loader.h"
#include "outlook/mapi_util.h"
#include "snapins/space_man.h"

namespace {

constexpr ULONGLONG kTicksPerSecond = 10000000ULL;

ULONGLONG ticksOf(const FILETIME& time) {
  return (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

bool isZero(const FILETIME& time) { return ticksOf(time) == 0; }

// More than `seconds` apart (strictly).
bool differ(const FILETIME& a, const FILETIME& b, LONGLONG seconds) {
  const ULONGLONG x = ticksOf(a);
  const ULONGLONG y = ticksOf(b);
  const ULONGLONG apart = x > y ? x - y : y - x;
  return apart > static_cast<ULONGLONG>(seconds) * kTicksPerSecond;
}

bool later(const FILETIME& a, const FILETIME& b) { return ticksOf(a) > ticksOf(b); }

// The decision on the times of A, B and the snapshot (none of them zero).
DWORD kindByTimes(const FILETIME& a, const FILETIME& b, const FILETIME& last, LONGLONG tolerance) {
  if (!differ(a, b, tolerance)) return kItemOpNothing;
  const bool aChanged = differ(a, last, tolerance);
  const bool bChanged = differ(b, last, tolerance);
  if (aChanged && !bChanged) return later(a, last) ? kItemOpSourceToTarget : kItemOpNothing;
  if (aChanged && bChanged) return kItemOpConflict;
  return later(b, last) ? kItemOpTargetToSource : kItemOpNothing;
}

// Items the snapshot does not know, by search key (items of one key in the order they came).
using LooseItems = std::multimap<EntryIdBytes, COutlookItem*, EntryIdLess>;

void addLoose(LooseItems& loose, COutlookItem* item) {
  // Without a search key an item cannot be told to be a copy of another.
  if (!item->searchKey.empty()) loose.emplace(item->searchKey, item);
}

// The first item of that search key that fits; end() when none does.
template <class Fits>
LooseItems::iterator findLoose(LooseItems& loose, const EntryIdBytes& key, Fits fits) {
  const auto [first, last] = loose.equal_range(key);
  for (auto it = first; it != last; ++it)
    if (fits(*it->second)) return it;
  return loose.end();
}

}  // namespace

CItemSynchronizer::CItemSynchronizer()
    : m_snapshot(std::make_unique<COutlookSyncSnapshot>()),
      m_localPrefs(std::make_unique<CRegistry>(CString(kLocalPrefsKey), true, true)),
      m_mapi(getMapiUtil()),
      m_loader(getMapiLoader()) {
  buildFolderLists();
}

CItemSynchronizer::~CItemSynchronizer() {
  reset();
  freeSnapshots();
}

void CItemSynchronizer::reset() {
  m_snapshotPath.Empty();
  m_backupSnapshotPath.Empty();
  if (m_snapshot) m_snapshot->clear();
  m_sourceStore.reset();
  m_targetStore.reset();
  m_sourceSession.reset();
  m_targetSession.reset();
  freeFolderLists();
}

void CItemSynchronizer::freeSnapshots() {
  m_snapshot.reset();
  m_localPrefs.reset();
}

void CItemSynchronizer::setSourceSession(IMAPISession* session) {
  m_sourceSession = Session(session);
  m_exchange = m_mapi && session && m_mapi->isOneOfServiceExchange(session);
  writeLog(u"{ItemSynchronizer}: Mapi session used is %sexchange.", m_exchange ? u" " : u"not ");
}

void CItemSynchronizer::setTargetMessageStore(IMsgStore* store) {
  if (!store) writeLog(u"{ITEM SYNCHRONIZER}: Warning, setting targetMessageStore to NULL.");
  m_targetStore = Store(store);
}

CString CItemSynchronizer::getBackupSnapshotPath() {
  if (m_backupSnapshotPath.IsEmpty() && !m_snapshotPath.IsEmpty())
    m_backupSnapshotPath = joinPath(CFolderLookup::getDeviceBackupPath(), getFileName(m_snapshotPath));
  return m_backupSnapshotPath;
}

bool CItemSynchronizer::cancelled() { return currentRecord && currentRecord->isCancelled(); }

void CItemSynchronizer::postProgress(const CString& first, const CString& second) {
  documentHostServices().postAppMessage(new CProgress(first, second));
}

// ---- decisions -------------------------------------------------------------------------------------

DWORD CItemSynchronizer::determineSyncOp(COutlookItem* a, COutlookItem* b, CItemSnapshot* s) {
  if (!s || s->hasState(kItemSnapshotSeen)) return kItemOpNothing;
  s->addState(kItemSnapshotSeen);
  if (!a || !b) return kItemOpNothing;
  if (isZero(a->lastModified) || isZero(b->lastModified)) {
    writeLog(u"{ItemSynchronizer}: Skipping item with zero modification time: %s", a->subject);
    return kItemOpNothing;
  }
  const DWORD kind = kindByTimes(a->lastModified, b->lastModified, s->item.lastModified, tolerance());
  if (kind == kItemOpTargetToSource)
    writeLog(u"{ItemSynchronizer}: (B->A) both exist, determineSyncOp says target changed: %s", b->subject);
  return kind;
}

DWORD CItemSynchronizer::kindWithoutMarking(const COutlookItem& a, const COutlookItem& b, const CItemSnapshot& s) const {
  if (isZero(a.lastModified) || isZero(b.lastModified)) return kItemOpNothing;
  return adjustOpForMove(kindByTimes(a.lastModified, b.lastModified, s.item.lastModified, tolerance()),
                         getItemMoveState(&a, &b, &s));
}

int CItemSynchronizer::getItemMoveState(const COutlookItem* a, const COutlookItem* b, const CItemSnapshot* s) const {
  if (!s) return kMovedNone;
  int state = kMovedNone;
  const auto moved = [](const COutlookItem* item, const CSnapshotFolder& recorded) {
    if (!item || !item->parentFolder) return false;
    return item->parentFolder->moved || item->parentFolder->entryId.longTerm != recorded.entryId.longTerm;
  };
  if (moved(a, s->item.parentFolder)) state |= kMovedSource;
  if (moved(b, s->targetFolder)) state |= kMovedTarget;
  return state;
}

DWORD CItemSynchronizer::adjustOpForMove(DWORD kind, int moveState) {
  switch (moveState) {
    case kMovedBoth: return kItemOpConflict;
    case kMovedSource:
      return kind == kItemOpNothing || kind == kItemOpSourceToTarget ? kItemOpSourceMoved : kItemOpConflict;
    case kMovedTarget:
      return kind == kItemOpNothing || kind == kItemOpTargetToSource ? kItemOpTargetMoved : kItemOpConflict;
    default: return kind;
  }
}

bool CItemSynchronizer::isOverSizeLimit(const COutlookItem& item, const CFolderSyncInfo& info) {
  if (info.sizeLimitKb == -1) return false;
  const ULONGLONG limit = static_cast<ULONGLONG>(static_cast<UINT>(info.sizeLimitKb)) * 1024;
  return static_cast<ULONGLONG>(item.size) > limit;
}

bool CItemSynchronizer::syncFolderItems(COutlookFolder& folder) {
  if (!folder.items) return true;
  pairCutOffCopies(folder);
  bool result = true;
  for (auto& [id, item] : *folder.items) {
    if (cancelled()) return false;
    if (folder.syncInfo && isOverSizeLimit(*item, *folder.syncInfo)) continue;
    if (!syncSourceItem(item.get(), folder.syncInfo ? folder.syncInfo->conflictMode : CFolderSyncInfo::kKeepBoth)) {
      writeLog(u"Outlook Synchronizer: Failed to synchronize item in folder: %s\n", folder.displayName);
      result = false;
    }
  }
  return result;
}

bool CItemSynchronizer::syncSourceItem(COutlookItem* a, UINT conflictMode) {
  if (!a) return false;
  postProgress(formatMessageText(loadResString(IDS_SYNC_FILE_PROGRESS).GetString(), a->subject), CString());
  if (m_pairedSource.count(a)) return true;
  CItemSnapshot* s = m_snapshot->findBySource(a->entryId);
  COutlookItem* b = nullptr;
  DWORD kind = kItemOpNothing;
  if (s) {
    b = findTargetItem(s);
    // Without B: an item deleted on the target is neither deleted on the source nor copied
    // again. (A target copy left in a folder that is no longer paired is met by the target walk,
    // which deletes it and drops S; the next run copies A anew.)
    if (b) kind = adjustOpForMove(determineSyncOp(a, b, s), getItemMoveState(a, b, s));
  } else {
    kind = kItemOpSourceToTarget;
    s = m_snapshot->addEntry(snapshotItemOf(*a));
    if (!s) return false;
    s->addState(kItemSnapshotSeen | kItemSnapshotCreated);
  }
  return addItemOp(a, b, s, kind, conflictMode);
}

// A run cut off after some of its copies were made but before its snapshot was saved leaves
// copies that the snapshot does not know, and deciding on them as new items would copy every one
// of them back (or copy its original again). A copy is recognised by what MAPI carries over to it
// from its original: the search key (MAPI's mark of one message's copies; a message made anew
// gets a fresh one) and the modification time, together with where the synchronizer puts it: the
// folder paired with the original's. Subjects, sizes and the like are not looked at, so messages
// that merely look alike are never taken for one another; each item is paired at most once.
//
// What the cut-off run would have recorded is recorded instead:
// - a recorded item whose op copies it over (a change, a move, a conflict) and an unrecorded copy
//   of it: the entry follows the copy; the version the op replaced, still there when the run
//   stopped before deleting it, is deleted when it is unchanged on the drive (else it is kept as
//   an item of its own);
// - an unrecorded item and an unrecorded copy of it: a new entry pairs them.
void CItemSynchronizer::pairCutOffCopies(COutlookFolder& folder) {
  COutlookFolder* peer = sourceToTarget().findPeer(folder);
  if (!folder.items || !peer || !peer->items) return;
  LooseItems looseSource;
  LooseItems looseTarget;
  for (auto& [id, item] : *folder.items)
    if (!isRecorded(*item, true)) addLoose(looseSource, item.get());
  for (auto& [id, item] : *peer->items)
    if (!isRecorded(*item, false)) addLoose(looseTarget, item.get());
  if (looseSource.empty() && looseTarget.empty()) return;

  struct Replaced {
    COutlookItem* item;
    FILETIME recorded;
  };
  std::vector<Replaced> replaced;
  for (auto& [id, item] : *folder.items) {
    if (looseTarget.empty()) break;
    COutlookItem& a = *item;
    CItemSnapshot* s = m_snapshot->findBySource(a.entryId);
    if (!s) continue;
    const auto copy = findLoose(looseTarget, a.searchKey, [&](const COutlookItem& b) { return isCopyPair(a, b); });
    if (copy == looseTarget.end()) continue;
    COutlookItem* old = recordedItem(*s, false);
    if (old) {
      const DWORD kind = kindWithoutMarking(a, *old, *s);
      if (kind != kItemOpSourceToTarget && kind != kItemOpSourceMoved && kind != kItemOpConflict) continue;
    }
    const SnapshotBytes oldTarget = s->targetEntryId;
    const FILETIME recorded = s->item.lastModified;
    s->item = snapshotItemOf(a);
    s->setTargetEntryId(copy->second->entryId);
    s->setTargetFolder(snapshotFolderOf(*peer));
    rekey(s, a.entryId, oldTarget);
    looseTarget.erase(copy);
    if (!old) continue;
    replaced.push_back({old, recorded});
    // The other half of a conflict kept in both versions may be its copy on the host.
    if (old->parentFolder == peer) addLoose(looseTarget, old);
  }
  for (auto& [id, item] : *peer->items) {
    if (looseSource.empty()) break;
    COutlookItem& b = *item;
    CItemSnapshot* s = m_snapshot->findByTarget(b.entryId);
    if (!s) continue;
    const auto copy = findLoose(looseSource, b.searchKey, [&](const COutlookItem& a) { return isCopyPair(a, b); });
    if (copy == looseSource.end()) continue;
    COutlookItem* old = recordedItem(*s, true);
    DWORD kind = kItemOpNothing;
    if (old) {
      kind = kindWithoutMarking(*old, b, *s);
      if (kind != kItemOpTargetToSource && kind != kItemOpTargetMoved && kind != kItemOpConflict) continue;
    }
    if (old && kind != kItemOpConflict && !differ(old->lastModified, s->item.lastModified, tolerance())) {
      // The host version the copy replaces is as recorded: the op is finished, not repeated (a
      // second copy, with the first carried back as a message of its own, would double the mail).
      COutlookItem* made = copy->second;
      looseSource.erase(copy);
      m_pairedSource.insert(made);
      const auto planned = m_opOf.find(s);
      if (planned != m_opOf.end() && planned->second->a == old) {
        planned->second->madeCopy = made;
      } else {
        m_pairedSource.insert(old);
        addItemOp(old, &b, s, kind, folder.syncInfo ? folder.syncInfo->conflictMode : CFolderSyncInfo::kKeepBoth);
        if (const auto added = m_opOf.find(s); added != m_opOf.end()) added->second->madeCopy = made;
      }
      continue;
    }
    const SnapshotBytes oldSource = s->item.entryId;
    s->item = snapshotItemOf(*copy->second);
    s->setTargetFolder(snapshotFolderOf(*peer));
    rekey(s, oldSource, s->targetEntryId);
    looseSource.erase(copy);
    // The host version the op replaced, when the run stopped before deleting it, stays an item of
    // its own: no op deletes a host item by itself.
    if (old && old->parentFolder == &folder) addLoose(looseSource, old);
  }
  for (auto& [key, a] : looseSource) {
    const auto copy = findLoose(looseTarget, key, [&](const COutlookItem& b) { return isCopyPair(*a, b); });
    if (copy == looseTarget.end()) continue;
    COutlookItem* b = copy->second;
    looseTarget.erase(copy);
    CItemSnapshot* s = m_snapshot->addEntry(snapshotItemOf(*a));
    if (!s) continue;
    s->setTargetEntryId(b->entryId);
    s->setTargetFolder(snapshotFolderOf(*peer));
    s->addState(kItemSnapshotSeen | kItemSnapshotCreated | kItemSnapshotSucceeded);
    m_pairedSource.insert(a);
    b->matched = true;
  }
  for (const Replaced& old : replaced) {
    if (old.item->matched || differ(old.item->lastModified, old.recorded, tolerance())) continue;
    old.item->matched = true;
    addItemOp(nullptr, old.item, nullptr, kItemOpDeleteTarget, CFolderSyncInfo::kKeepBoth);
  }
}

bool CItemSynchronizer::isCopyPair(const COutlookItem& a, const COutlookItem& b) {
  if (a.searchKey.empty() || a.searchKey != b.searchKey) return false;
  if (isZero(a.lastModified) || differ(a.lastModified, b.lastModified, tolerance())) return false;
  if (!a.parentFolder || !b.parentFolder) return false;
  return sourceToTarget().findPeer(*a.parentFolder) == b.parentFolder;
}

bool CItemSynchronizer::isRecorded(const COutlookItem& item, bool sourceSide) const {
  if (sourceSide) return m_pairedSource.count(&item) || m_snapshot->findBySource(item.entryId);
  return item.matched || m_snapshot->findByTarget(item.entryId);
}

COutlookItem* CItemSynchronizer::unrecordedCopyInUncarriedFolder(const COutlookItem& b) {
  if (!m_mapi || !b.parentFolder || b.searchKey.empty()) return nullptr;
  COutlookFolder* home = targetToSource().findPeer(*b.parentFolder);
  if (!home || !home->syncInfo || home->syncInfo->state != CFolderSyncInfo::kSourceNotSynchronized) return nullptr;
  std::unique_ptr<COutlookFolder>& aside = m_listedAside[home];
  if (!aside) {
    aside = std::make_unique<COutlookFolder>();
    aside->displayName = home->displayName;
    aside->entryId = home->entryId;
    aside->parentEntryId = home->parentEntryId;
    aside->counterpartId = home->counterpartId;
    aside->syncInfo->state = CFolderSyncInfo::kSourceSynchronized;
    aside->syncInfo->dayWindow = -1;
    if (FAILED(m_mapi->getFolderEntries(*aside, m_sourceStore.get(), [this] { return cancelled(); })))
      aside->items.reset();
  }
  if (!aside->items) return nullptr;
  for (auto& [id, item] : *aside->items)
    if (!isRecorded(*item, true) && isCopyPair(*item, b)) return item.get();
  return nullptr;
}

COutlookItem* CItemSynchronizer::recordedItem(const CItemSnapshot& s, bool sourceSide) {
  const SnapshotBytes& id = sourceSide ? s.item.entryId : s.targetEntryId;
  if (id.empty()) return nullptr;
  const CSnapshotFolder& recorded = sourceSide ? s.item.parentFolder : s.targetFolder;
  COutlookFolder* folder = folderOfEntry(recorded.entryId, id, sourceSide);
  bool wasCancelled = false;
  return searchItem(folder, id, sourceSide, wasCancelled);
}

COutlookItem* CItemSynchronizer::searchItem(COutlookFolder* first, const SnapshotBytes& id, bool sourceSide,
                                            bool& wasCancelled) {
  wasCancelled = false;
  if (first) {
    if (COutlookItem* found = first->findItem(id)) return found;
  }
  for (const auto& [key, folder] : sourceSide ? m_sourceByLong : m_targetByLong) {
    if (folder == first) continue;
    if (cancelled()) {
      wasCancelled = true;
      return nullptr;
    }
    if (COutlookItem* found = folder->findItem(id)) return found;
  }
  return nullptr;
}

COutlookFolder* CItemSynchronizer::folderOfEntry(const CSnapshotIds& ids, const SnapshotBytes& entryId, bool sourceSide) {
  const FolderMaps maps = sourceSide ? sourceToTarget() : targetToSource();
  if (COutlookFolder* folder = maps.findFolder(ids)) return folder;
  return folderHolding(entryId, sourceSide);
}

COutlookFolder* CItemSynchronizer::folderHolding(const SnapshotBytes& entryId, bool sourceSide) {
  IMsgStore* store = sourceSide ? m_sourceStore.get() : m_targetStore.get();
  if (!m_mapi || !store || entryId.empty()) return nullptr;
  platform::com::Ptr<IUnknown> object;
  if (FAILED(m_mapi->OpenEntry(store, entryId, object))) return nullptr;
  platform::com::Ptr<IMAPIProp> message;
  if (FAILED(object.as(message))) return nullptr;
  COutlookItem read;
  read.initFromMessage(message.get());
  if (read.parentEntryId.IsEmpty()) return nullptr;
  const FolderIdMap& byLong = sourceSide ? m_sourceByLong : m_targetByLong;
  const auto found = byLong.find(read.parentEntryId);
  return found == byLong.end() ? nullptr : found->second;
}

COutlookItem* CItemSynchronizer::findTargetItem(CItemSnapshot* s) {
  if (!s || s->targetFolder.isEmpty()) return nullptr;
  COutlookFolder* folder = folderOfEntry(s->targetFolder.entryId, s->targetEntryId, false);
  if (!folder) return nullptr;
  bool wasCancelled = false;
  COutlookItem* b = searchItem(folder, s->targetEntryId, false, wasCancelled);
  if (b) b->matched = true;
  return b;
}

int CItemSynchronizer::syncTargetFolder(COutlookFolder& folder) {
  if (folder.items) {
    for (auto& [id, item] : *folder.items) {
      if (cancelled()) return kSyncCancelled;
      syncTargetItem(item.get());
    }
  }
  if (folder.children) {
    for (auto& child : *folder.children) syncTargetFolder(*child);
  }
  return kSyncDone;
}

int CItemSynchronizer::syncTargetItems() {
  COutlookFolder* root = targetRoot();
  if (root) syncTargetFolder(*root);
  return kSyncDone;
}

int CItemSynchronizer::syncTargetItem(COutlookItem* b) {
  if (!b) return kSyncFailed;
  postProgress(formatMessageText(loadResString(IDS_SYNC_FILE_PROGRESS).GetString(), b->subject), CString());
  if (b->matched) return kSyncDone;
  CItemSnapshot* s = m_snapshot->findByTarget(b->entryId);
  COutlookItem* a = nullptr;
  DWORD kind = kItemOpDeleteTarget;
  if (!s) {
    // A drive item copied into a host folder the run does not carry by a run cut off before its
    // snapshot was saved: its copy there is paired with it, not made again.
    if (COutlookItem* copy = unrecordedCopyInUncarriedFolder(*b)) {
      CSnapshotItem record = snapshotItemOf(*copy);
      record.parentFolder = snapshotFolderOf(*targetToSource().findPeer(*b->parentFolder));
      s = m_snapshot->addEntry(record);
      if (!s) return kSyncFailed;
      s->setTargetEntryId(b->entryId);
      s->setTargetFolder(snapshotFolderOf(*b->parentFolder));
      s->addState(kItemSnapshotSeen | kItemSnapshotCreated | kItemSnapshotSucceeded);
      m_pairedSource.insert(copy);
      b->matched = true;
      return kSyncDone;
    }
    kind = kItemOpTargetToSource;
    s = m_snapshot->addEntry(CSnapshotItem());
    if (!s) return kSyncFailed;
    s->addState(kItemSnapshotSeen | kItemSnapshotCreated);
  } else {
    COutlookFolder* folder = folderOfEntry(s->item.parentFolder.entryId, s->item.entryId, true);
    if (folder) {
      bool wasCancelled = false;
      a = searchItem(folder, s->item.entryId, true, wasCancelled);
      if (wasCancelled) return kSyncCancelled;
    }
    if (a) {
      kind = adjustOpForMove(determineSyncOp(a, b, s), getItemMoveState(a, b, s));
      if (kind != kItemOpTargetToSource) kind = kItemOpDeleteTarget;
    } else if (folder && folder->syncInfo && folder->syncInfo->state == CFolderSyncInfo::kSourceNotSynchronized &&
               folderHolding(s->item.entryId, true) == folder) {
      // The items of a folder the run does not carry are not listed, so the walk did not meet the
      // host item; it is still where it was, and its drive copy stays. (One gone or moved away,
      // such as a sent message that left the Outbox, takes its drive copy along.)
      kind = kItemOpNothing;
    } else if (!m_unreadSource.empty()) {
      // The source item may lie in a folder whose listing failed: deleting its target copy would
      // lose it for good (the entry would then say it was deleted on the target).
      kind = kItemOpNothing;
    }
  }
  return addItemOp(a, b, s, kind, CFolderSyncInfo::kKeepBoth) ? kSyncDone : kSyncFailed;
}

bool CItemSynchronizer::addItemOp(COutlookItem* a, COutlookItem* b, CItemSnapshot* s, DWORD kind, UINT conflictMode) {
  if (kind == kItemOpNothing) return true;
  LONGLONG delta = 0;
  if (kind == kItemOpDeleteTarget && b) delta = -static_cast<LONGLONG>(b->size);
  else if ((kind == kItemOpSourceToTarget || kind == kItemOpConflict) && a) delta = static_cast<LONGLONG>(a->size);
  byteCount += delta;
  if (!currentRecord) return true;
  auto op = std::make_unique<CItemSyncOp>(kind, this, delta, a, b, s, conflictMode);
  if (s) m_opOf[s] = op.get();
  currentRecord->addSyncOp(std::move(op));
  return true;
}

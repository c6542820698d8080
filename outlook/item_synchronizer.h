// The Outlook item synchronizer: keeps the mail items of the host's Outlook store (the source)
// and of the drive's personal folders file (the target) in step, item by item, against the
// Outlook snapshot of the last run. For each item the source item A, the target item B and the
// snapshot entry S that links them decide one op (CItemSyncOp); the run coordinator (CSpaceMan)
// asks for the plan, executes the ops through this object and calls its post-execution step,
// which saves the snapshot (a host-side backup copy, then the drive copy).
//
// A run first mirrors the target's folder tree onto the source, then the source's onto the
// target (folders created where missing, folders whose counterpart vanished since the last save
// deleted from the target after the run), reading every folder's items on the way; synchronized
// source folders (from the Outlook preferences' folder records) hand their items to the item
// step, and the target's items not met by the source side come last. Copies made by a run that
// was cut off before its snapshot was saved are recognised there and paired with their
// originals, not copied again (pairCutOffCopies).
#pragma once

#include <map>
#include <memory>
#include <set>
#include <vector>

#include "app/registry.h"
#include "outlook/item_sync_op.h"
#include "outlook/outlook_folder.h"
#include "outlook/outlook_folder_sync_pref.h"
#include "outlook/outlook_item.h"
#include "outlook/outlook_snapshot.h"
#include "outlook/sync_folder.h"
#include "outlook/sync_folder_map.h"
#include "platform/afx/cstring.h"
#include "platform/com/unknown.h"
#include "platform/modules/mapi32/mapidefs.h"
#include "snapins/sync_spec.h"

class CMAPILoader;
class CMapiUtil;

// Local preference written before each item op: the subject of the item being copied.
inline constexpr const char16_t* kExecutingItemSyncOpValue = u"executingItemSyncOp";
// The snapshot file's name after the computer's device folder path.
inline constexpr const char16_t* kOutlookSnapshotSuffix = u"_Outlook.snap";
// Modification times this close count as equal while the tolerance flag is set.
inline constexpr LONGLONG kItemTimeToleranceSeconds = 30;

class CItemSynchronizer : public CSynchronizer {
 public:
  using FolderMaps = CFolderMapsOf<COutlookFolder>;
  using FolderIdMap = FolderMaps::FolderIdMap;
  using SyncFolder = CSyncFolderOf<COutlookFolder>;
  using FolderList = COutlookFolder::ChildList;
  using Session = platform::com::Ptr<IMAPISession>;
  using Store = platform::com::Ptr<IMsgStore>;

  // Move states of getItemMoveState.
  static constexpr int kMovedNone = 0;
  static constexpr int kMovedSource = 1;
  static constexpr int kMovedTarget = 2;
  static constexpr int kMovedBoth = 3;

  CItemSynchronizer();
  ~CItemSynchronizer() override;

  // ---- the protocol ----
  // 1 also when disabled; 0 without a record or folder preferences; else beginSync's result.
  int calculateSyncOps(CSpaceRecord* record, DWORD mode) override;
  bool preExecuteSyncOps() override { return true; }
  // Saves the snapshot, deletes the target folders whose source counterpart was removed and
  // clears the crash mark. False when the snapshot could not be saved (both copies are then left
  // as they were).
  bool postExecuteSyncOps(bool succeeded, int argument) override;
  // kSyncCancelled, kSyncFailed (also for a null op), kSyncDone or kSyncNotMine.
  int executeSyncOp(CSyncOp* op, DWORD mode) override;
  LONGLONG getByteCount() override { return byteCount; }

  virtual int beginSync(DWORD mode, const CString& snapshotPath);
  // Forgets the paths, the snapshot's contents, the stores, the sessions and the folder trees.
  virtual void reset();
  virtual bool syncSourceItem(COutlookItem* a, UINT conflictMode);
  virtual void freeSnapshots();

  // ---- set-up by the Outlook snap-in ----
  void setSourceSession(IMAPISession* session);
  void setTargetSession(IMAPISession* session) { m_targetSession = Session(session); }
  void setSourceMessageStore(IMsgStore* store) { m_sourceStore = Store(store); }
  void setTargetMessageStore(IMsgStore* store);
  void setEnabled(bool on) { enabled = on; }
  void setTolerance(bool on) { m_tolerance = on; }
  void setFirstSync(bool on) { m_firstSync = on; }
  void setFolderSyncPrefs(std::vector<COutlookFolderSyncPref>* prefs) { m_prefs = prefs; }
  void setSnapshotPath(const CString& path) { m_snapshotPath = path; }
  // The host-side copy; by default the device backup folder joined with the snapshot's name.
  void setBackupSnapshotPath(const CString& path) { m_backupSnapshotPath = path; }
  CString getBackupSnapshotPath();
  bool isExchange() const { return m_exchange; }

  // ---- decisions ----
  DWORD determineSyncOp(COutlookItem* a, COutlookItem* b, CItemSnapshot* s);
  int getItemMoveState(const COutlookItem* a, const COutlookItem* b, const CItemSnapshot* s) const;
  static DWORD adjustOpForMove(DWORD kind, int moveState);
  bool syncFolderItems(COutlookFolder& folder);
  // Before a synchronized source folder's items are decided: the copies that a run cut off
  // before its snapshot was saved left in this folder and its peer are taken into the snapshot
  // instead of being copied again (see the definition for how a copy is recognised).
  void pairCutOffCopies(COutlookFolder& folder);
  COutlookItem* findTargetItem(CItemSnapshot* s);
  int syncTargetItems();
  int syncTargetItem(COutlookItem* b);
  bool addItemOp(COutlookItem* a, COutlookItem* b, CItemSnapshot* s, DWORD kind, UINT conflictMode);
  // Whether the item's size is over the folder's limit (kilobytes times 1024, in 64 bits).
  static bool isOverSizeLimit(const COutlookItem& item, const CFolderSyncInfo& info);

  // ---- run set-up and folder walks ----
  void resolveSpecialFolders();
  void buildFolderLists();
  void freeFolderLists();
  HRESULT openRootFolders();
  int trackItems();
  int syncSrcFoldersAndContents();
  bool loadSnapshot(const CString& path);
  bool loadSubfolders(COutlookFolder& folder, IMsgStore* store);
  void inheritFolderSyncInfo(COutlookFolder& folder);
  bool applyFolderSyncPref(COutlookFolder& folder);
  const COutlookFolderSyncPref* findFolderSyncPref(const CEntryIdText& ids);

  // ---- execution ----
  bool executeItemOp(CItemSyncOp& op);
  bool copySourceToTarget(bool keepTarget, CItemSyncOp& op);
  bool copyTargetToSource(bool keepSource, CItemSyncOp& op);
  bool resolveConflict(CItemSyncOp& op);
  bool keepBoth(CItemSyncOp& op);
  bool saveSnapshot(const CString& path);
  void deleteRemovedFolders();
  bool setSyncInProgress(bool inProgress);

  COutlookSyncSnapshot& snapshot() { return *m_snapshot; }
  COutlookFolder* sourceRoot() const { return m_sourceList && !m_sourceList->empty() ? m_sourceList->front().get() : nullptr; }
  COutlookFolder* targetRoot() const { return m_targetList && !m_targetList->empty() ? m_targetList->front().get() : nullptr; }
  const std::vector<COutlookFolder*>& removedTargetFolders() const { return m_removedTarget; }

 private:
  // The two stores of a walk: the origin (the list's side) and the destination.
  struct StorePair {
    IMsgStore* origin;
    IMsgStore* destination;
  };
  // A walk stopped for a listing that was cancelled.
  struct WalkStopped {};

  FolderMaps sourceToTarget() { return FolderMaps(m_sourceByLong, m_sourceByShort, m_targetByLong, m_targetByShort); }
  FolderMaps targetToSource() { return sourceToTarget().reversed(); }
  bool cancelled();
  void postProgress(const CString& first, const CString& second);
  LONGLONG tolerance() const { return m_tolerance ? kItemTimeToleranceSeconds : 0; }
  // Throws WalkStopped when a listing was cancelled.
  void syncFolderContentsAndMaps(FolderList& list, const FolderMaps& maps, const StorePair& stores);
  void mapOriginToDestination(FolderList& list, const FolderMaps& maps, const StorePair& stores);
  int walk(const char16_t* name, FolderList* list, const FolderMaps& maps, const StorePair& stores);
  int syncTargetFolder(COutlookFolder& folder);
  // The settings a folder hands its children: its own when recursive, else its nearest recursive
  // ancestor's.
  const CFolderSyncInfo& handedDownSettings(const COutlookFolder& folder) const;
  // A folder of the side's maps whose recorded ids are these; else the folder of the message of
  // that entry id, found by its parent id.
  COutlookFolder* folderOfEntry(const CSnapshotIds& ids, const SnapshotBytes& entryId, bool sourceSide);
  // The folder of the side's tree the store says holds the item now; null when either is unknown.
  COutlookFolder* folderHolding(const SnapshotBytes& entryId, bool sourceSide);
  // The item of that id in `first`, else in any other folder of the side's long-term map; null
  // when none or when cancelled (then `wasCancelled` is set).
  COutlookItem* searchItem(COutlookFolder* first, const SnapshotBytes& id, bool sourceSide, bool& wasCancelled);
  // Whether the host item and the drive item are copies of one message: MAPI copies keep the
  // message's search key and its modification time, and the synchronizer puts a copy into the
  // folder paired with its original's.
  bool isCopyPair(const COutlookItem& a, const COutlookItem& b);
  // Whether an item lies in the snapshot as this side's item of some entry, or was paired in
  // this run.
  bool isRecorded(const COutlookItem& item, bool sourceSide) const;
  // The kind determineSyncOp and adjustOpForMove give, without marking the entry seen.
  DWORD kindWithoutMarking(const COutlookItem& a, const COutlookItem& b, const CItemSnapshot& s) const;
  // An unrecorded host copy of the unrecorded drive item B in the host folder paired with B's,
  // when that folder is not carried (its items are then read here, aside from the tree, since
  // the walk does not list them); null when there is none.
  COutlookItem* unrecordedCopyInUncarriedFolder(const COutlookItem& b);
  // The item the entry names on that side, wherever it lies now; null when gone.
  COutlookItem* recordedItem(const CItemSnapshot& s, bool sourceSide);
  // After a copy changed an entry's ids: the snapshot's maps follow them.
  void rekey(CItemSnapshot* s, const SnapshotBytes& oldSource, const SnapshotBytes& oldTarget);
  // Drops S from the snapshot and clears the op's reference to it.
  void removeSnapshotEntry(CItemSyncOp& op);
  void submitIfOutbox(CItemSyncOp& op);
  bool copySnapshotCopy(const CString& from, const CString& to);

  bool m_tolerance = true;
  bool m_firstSync = false;
  bool m_exchange = false;
  CString m_snapshotPath;
  CString m_backupSnapshotPath;
  std::unique_ptr<COutlookSyncSnapshot> m_snapshot;
  std::unique_ptr<CRegistry> m_localPrefs;
  Store m_sourceStore;
  Store m_targetStore;
  Session m_sourceSession;
  Session m_targetSession;
  std::vector<COutlookFolderSyncPref>* m_prefs = nullptr;  // the snap-in's; not owned
  CMapiUtil* m_mapi;
  CMAPILoader* m_loader;

  std::unique_ptr<FolderList> m_sourceList;  // the source root alone
  std::unique_ptr<FolderList> m_targetList;  // the target root alone
  FolderIdMap m_sourceByLong;
  FolderIdMap m_sourceByShort;
  FolderIdMap m_targetByLong;
  FolderIdMap m_targetByShort;
  std::unique_ptr<SyncFolder> m_sourceItemFolder;
  std::unique_ptr<SyncFolder> m_targetItemFolder;
  std::unique_ptr<SyncFolder> m_sourceDestination;
  std::unique_ptr<SyncFolder> m_targetDestination;
  // Source folders whose items could not be read in this run: a target item whose source item
  // may lie in one of them is not taken for deleted.
  std::vector<COutlookFolder*> m_unreadSource;
  // Source items pairCutOffCopies dealt with: paired with their drive copies (their new entries
  // wait in the snapshot's new-entry list, where findBySource does not look), or in an op that
  // finishes a cut-off copy.
  std::set<const COutlookItem*> m_pairedSource;
  // The op planned for each snapshot entry in this run; not owned.
  std::map<const CItemSnapshot*, CItemSyncOp*> m_opOf;
  // The items of host folders the run does not carry, read for unrecordedCopyInUncarriedFolder;
  // by the folder of the tree.
  std::map<const COutlookFolder*, std::unique_ptr<COutlookFolder>> m_listedAside;
  std::vector<COutlookFolder*> m_removedTarget;  // folders of the trees; not owned
  std::vector<COutlookFolder*> m_removedSource;
  // The folder maps given to the snapshot for a save, in the file's form.
  SnapshotFolderMap m_savedSourceMap;
  SnapshotFolderMap m_savedTargetMap;
};

// The file synchronizer: keeps host files (A) and their copies in a per-computer folder of the
// drive (B) in step three-way against the snapshot of the last run (S), one CFileSyncOp per file.
// Runs are made safe against a crash: localPrefs records that a run is executing
// ("syncOperationInProgress") and which file is being copied ("executingSyncOp"), and the
// snapshot is kept twice (drive file D, host backup copy K) so an interrupted run is repaired:
// the file being copied becomes a conflict, the snapshot comes back from the state saved before.
#pragma once

#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "app/registry.h"
#include "platform/afx/coll.h"
#include "platform/afx/cstring.h"
#include "platform/base/types.h"
#include "snapins/sync_snapshot.h"
#include "snapins/sync_spec.h"

// Op kinds of the file synchronizer (kSyncOpDelete, 4, deletes B).
inline constexpr DWORD kFileOpNothing = 0;
inline constexpr DWORD kFileOpHostToDrive = 1;
inline constexpr DWORD kFileOpDriveToHost = 2;
inline constexpr DWORD kFileOpDeleteOnDrive = kSyncOpDelete;
inline constexpr DWORD kFileOpConflict = 5;

// Values under localPrefs.
inline constexpr const char16_t* kSyncInProgressValue = u"syncOperationInProgress";
inline constexpr const char16_t* kExecutingSyncOpValue = u"executingSyncOp";

// Time stamps this close count as equal (a FAT drive keeps times to 2 seconds).
inline constexpr LONG kSyncTimeTolerance = 2;

// "desktop.ini" as the file name of the path (after the last '\' or '/'), without case: the shell
// writes one into customized folders and it must never travel between computers.
bool isDesktopIniFile(const CString& path);

class CFileSynchronizer;

class CFileSyncOp : public CSyncOp {
 public:
  CFileSyncOp(DWORD opKind, CSynchronizer* opOwner, LONGLONG delta, const CString& a, const CString& b)
      : CSyncOp(opKind, opOwner, delta), pathA(a), pathB(b) {}

  bool askToContinue() override;
  // Same kind and both paths equal ignoring case.
  virtual bool isSameOp(const CFileSyncOp& other) const;
  // Carries the op out (kinds 1, 2, 4, 5); an op the mode skips counts as done. The snapshot's
  // record of A (when there is one) gains bit 2 on success, bit 4 on failure. 1 or 0.
  int perform(DWORD mode, CSyncSnapshot* snapshot);

  CString pathA;  // the host file
  CString pathB;  // the drive file
  DWORD result = kFileOpNotRun;  // the engine's code of the last operation
};

// One of the file snap-in's preference records of a folder or file to carry.
struct CFileSyncPrefRecord {
  bool synchronize = true;
  CString hostPath;     // profile-path form
  CString folderName;   // the folder on the drive; empty: the host folder's own name
  CString types;        // masks separated by ";"
  bool includeTypes = false;
  bool recursive = true;
  bool dayLimitOn = false;
  DWORD days = 0;
  CStringArray excludedHostPaths;
  CStringArray excludedDrivePaths;
};

class CFileSynchronizer : public CSynchronizer {
 public:
  // What the calculation needs to know of one file, taken from a folder listing so a tree of
  // many thousand files is not looked at again path by path.
  struct FileFacts {
    bool exists = false;
    LONG time = 0;         // modification time, seconds since 1970
    ULONGLONG size = 0;    // bytes
    DWORD attributes = 0;
  };
  // One file found on the drive, with the host folder it stands for and its facts when listed.
  struct DriveTreeEntry {
    bool visited = false;
    CString hostFolder;
    CString drivePath;
    LONG time = 0;
    ULONGLONG size = 0;
  };
  using DriveTree = std::vector<DriveTreeEntry>;

  // Opens localPrefs and reads the interrupted file ("executingSyncOp").
  CFileSynchronizer();
  // Reverts the stored snapshot's unexecuted records from the host copy, but only for a run this
  // object itself started and did not end, and only over a snapshot it had loaded.
  ~CFileSynchronizer() override;

  // ---- the protocol ----
  int calculateSyncOps(CSpaceRecord* record, DWORD mode) override;
  bool preExecuteSyncOps() override;
  bool postExecuteSyncOps(bool succeeded, int result) override;
  int executeSyncOp(CSyncOp* op, DWORD mode) override;

  // ---- calculation ----
  virtual int compareWithSnapshot(DWORD mode, const CString& snapshotPath,
                                  std::vector<CFileSyncPrefRecord>* records);
  virtual int firstSync(DWORD mode, const CString& snapshotPath);
  virtual bool planFile(const CString& hostPath, const CString& drivePath);
  virtual int syncFolder(const CString& folder, int depth, DriveTree& tree);
  virtual int syncFile(const CString& file, int depth, DriveTree& tree);
  int syncPrefs(DriveTree& tree);
  int drivePass();
  int deletionPass();
  // Kind for A, B and the record S (null: decideWithoutSnapshot).
  DWORD decide(const CString& a, const CString& b, CFileSnapshot* s);
  DWORD decideWithoutSnapshot(const CString& a, const CString& b);
  // Queues the op of the kind (0 queues nothing). False when the record refused it.
  bool addSyncOp(const CString& a, const CString& b, DWORD kind);
  // The change of the drive's contents the op makes.
  static LONGLONG byteDeltaOf(DWORD kind, const CString& a, const CString& b);
  // The same from facts already known (sizes in whole clusters of the drive).
  static LONGLONG byteDeltaOf(DWORD kind, const FileFacts& a, const FileFacts& b);
  // The facts of one path from one look at it; a folder or a missing path does not exist.
  static FileFacts factsOf(const CString& path);
  bool buildDriveTree(DriveTree& tree);

  // ---- crash marks and snapshots ----
  bool setSyncInProgress(bool inProgress);
  bool loadSnapshot(const CString& snapshotPath);
  bool saveSnapshot(const CString& snapshotPath, bool withStates);
  // The host copy K: the drive backup folder joined with the drive snapshot's file name.
  CString getBackupSnapshotPath();
  void setBackupSnapshotPath(const CString& path) { m_backupSnapshotPath = path; }

  // ---- paths and filters ----
  CString getDevicePath(const CString& hostPath);
  bool passesFilter(const CString& hostPath);
  bool isExcluded(const CString& path, bool hostSide);
  // "name(n).ext" for the first n of 1 to 9 not taken; empty (after message 523) when all are.
  static CString makeConflictPath(const CString& path);

  CSyncSnapshot& snapshot() { return m_snapshot; }
  const DriveTree& driveTree() const { return m_driveTree; }
  const CString& interruptedFile() const { return m_interruptedFile; }

  CString hostRoot;
  CString driveRoot;
  CString driveSnapshotPath;
  CString currentHostFolder;
  CString currentDriveFolder;
  CString fileTypes;
  bool includeTypes = false;
  bool twoSecondTolerance = true;
  bool unlimitedDepth = false;
  bool followFolderShortcuts = false;
  bool followFileShortcuts = true;
  bool singleFolderMode = false;
  bool conflictMode = false;
  bool conflictAgreed = false;
  bool firstSyncMode = false;
  LONG dayLimit = -1;
  int depthLimit = 0;
  CStringArray masks;
  CStringArray excludedHostPaths;
  CStringArray excludedDrivePaths;
  std::vector<CFileSyncPrefRecord>* prefRecords = nullptr;  // not owned

 protected:
  LONG tolerance() const { return twoSecondTolerance ? kSyncTimeTolerance : 0; }
  void markDriveVisited(const CString& drivePath);
  void postProgress(const CString& first, const CString& second);
  // The snapshot kept in step with the plan of one file: new record, fresh stamp or removal.
  void recordPlan(const CString& a, const CString& b, CFileSnapshot* s, DWORD kind);
  void putAside(const CFileSnapshot& record);
  void forgetAside(const CString& hostPath);
  // The records put aside whose deletion has not run, back into the stored snapshot.
  void restoreAside();
  // The plan of one file from facts already known: decision, queueing and the snapshot's record.
  bool planWithFacts(const CString& a, const FileFacts& factsA, const CString& b, const FileFacts& factsB,
                     CFileSnapshot* s);
  DWORD decideWithFacts(const CString& a, const FileFacts& factsA, const FileFacts& factsB, CFileSnapshot* s);
  DWORD decideWithoutSnapshotFacts(const CString& a, const FileFacts& factsA, const FileFacts& factsB);
  void recordPlanWithFacts(const CString& a, const FileFacts& factsA, const CString& b, const FileFacts& factsB,
                           CFileSnapshot* s, DWORD kind);
  // The facts of a drive path from the drive tree; looked at on the drive when the tree lacks it,
  // unless the tree covers its folder (a file of the host not yet on the drive is not asked for).
  FileFacts driveFactsOf(const CString& drivePath) const;
  bool knownMissing(const CString& drivePath) const;

  CSyncSnapshot m_snapshot;
  DriveTree m_driveTree;
  // Case-folded drive path -> entry of the drive tree.
  std::unordered_map<std::u16string, size_t> m_driveIndex;
  CRegistry m_localState;
  CString m_backupSnapshotPath;
  CString m_interruptedFile;
  DWORD m_mode = kSyncBothWays;
  CString m_fileProgressFormat;  // string 765, loaded once per calculation
  // Records of planned deletions, taken out of the snapshot when planned; those whose op has not
  // run go back in when the run does not succeed (else the next run would copy the file back).
  std::vector<CFileSnapshot> m_asideDeletions;
  // Case-folded host path -> put-aside records whose deletion has not run yet.
  std::unordered_multimap<std::u16string, size_t> m_asideIndex;
  // The facts of the file the folder walk hands to syncFile (null outside the walk).
  const CString* m_listedPath = nullptr;
  const FileFacts* m_listedFacts = nullptr;
  // The drive path markDriveVisited looked up last, and its entry of the drive tree.
  static constexpr size_t kNoDriveEntry = static_cast<size_t>(-1);
  CString m_lastDrivePath;
  size_t m_lastDriveEntry = kNoDriveEntry;
  // The drive folders the tree of this calculation holds whole, and the files it left out.
  bool m_driveTreeComplete = false;
  CStringArray m_driveTreeRoots;
  std::unordered_set<std::u16string> m_driveSkipped;
  // The host's special folders with their places under the drive root, for getDevicePath; asked
  // again at each calculation.
  std::vector<std::pair<CString, CString>> m_specialPlaces;
  CString m_specialPlacesRoot;
  CString m_myComputerPlace;  // "My Computer" under the drive root
  bool m_specialPlacesKnown = false;
  // The drive folder of single-folder mode for the current drive root and walk folder.
  CString m_deviceFolderRoot;
  CString m_deviceFolderName;
  CString m_deviceFolder;

 private:
  // This object wrote "syncOperationInProgress" = true and has not reached postExecuteSyncOps.
  bool m_runOpen = false;
  // The stored snapshot holds what loadSnapshot read (not an unloaded or failed one).
  bool m_snapshotLoaded = false;
};

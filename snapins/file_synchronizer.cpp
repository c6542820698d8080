// The file synchronizer and its op (file_synchronizer.h).
#include "snapins/file_synchronizer.h"

#include <algorithm>
#include <functional>
#include <unordered_set>
#include <utility>

#include "app/app_messages.h"
#include "app/document_host_services.h"
#include "app/file_operation.h"
#include "app/file_util.h"
#include "app/folder_lookup.h"
#include "app/log.h"
#include "app/messages.h"
#include "app/program_texts.h"
#include "app/shortcut.h"
#include "app/system_profile.h"
#include "lang/ids.h"
#include "platform/base/filetime.h"
#include "platform/base/text.h"
#include "platform/win32/file.h"
#include "snapins/space_man.h"

namespace {

constexpr const char16_t* kLogUnknownOp = u"{FILE SYNCHRONIZER}: Failed to execute unknown file sync operation.";
constexpr const char16_t* kLogDeleteExecutingFailed = u"Failed to delete local prefs value executingSyncOp";
constexpr const char16_t* kLogFirstSyncRemoveFailed =
    u"{File Synchronizer}: Failed to remove snapshot from device on first sync.";
constexpr const char16_t* kLogCopyBackupToDeviceFailed =
    u"{FileSynchronizer}: Failed to copy backup snapshot to device: %s to %s";
constexpr const char16_t* kLogCopyDeviceToBackupFailed =
    u"{FileSynchronizer}: Failed to save a backup copy of snapshot file: %s to %s";
constexpr const char16_t* kLogRevertSaved =
    u"{FileSynchronizer}: Successfully reverted snapshot for unexecuted files and saved to backup path.";
constexpr const char16_t* kLogRevertWriteFailed =
    u"{FileSynchronizer}: Failed to write snapshot to backup path after reverting unexecuted files: %s.";
constexpr const char16_t* kLogRevertFailed =
    u"{FileSynchronizer}: Failed to revert unexecuted files using backup snapshot: %s";
constexpr const char16_t* kLogRevertSkipped =
    u"{FileSynchronizer}: Kept the backup snapshot: the reverted snapshot is empty: %s";
constexpr const char16_t* kMyComputerFolder = u"My Computer";

CString fileNameOfPath(const CString& path) {
  const int slash = std::max(path.ReverseFind(u'\\'), path.ReverseFind(u'/'));
  return path.Mid(slash + 1);
}

// Base and extension of the file name part; the extension starts at the last '.' of the name.
void splitExtension(const CString& path, CString& base, CString& extension) {
  const int slash = std::max(path.ReverseFind(u'\\'), path.ReverseFind(u'/'));
  const int dot = path.ReverseFind(u'.');
  if (dot > slash) {
    base = path.Left(dot);
    extension = path.Mid(dot);
  } else {
    base = path;
    extension.Empty();
  }
}

// The path equals the folder or lies below it, ignoring case. Asked several times for every file
// of a calculation, so compared in place.
bool liesInside(const CString& path, const CString& folder) {
  const std::u16string_view p = path.view(), f = folder.view();
  if (f.empty() || p.size() < f.size() || !platform::text::equalNoCase(p.substr(0, f.size()), f)) return false;
  return p.size() == f.size() || f.back() == u'\\' || p[f.size()] == u'\\';
}

bool liesInsideAny(const CString& path, const CStringArray& folders) {
  for (INT_PTR i = 0; i < folders.GetSize(); ++i)
    if (liesInside(path, folders[i])) return true;
  return false;
}

std::u16string foldedKey(const CString& path) {
  std::u16string folded(path.GetString(), static_cast<size_t>(path.GetLength()));
  platform::text::upcaseInPlace(folded);
  return folded;
}

// A snapshot copy is hidden and system; a copy onto it must not trip over those attributes.
bool copySnapshotFile(const CString& from, const CString& to) {
  if (fileExists(to)) {
    setHiddenAttribute(to, false);
    setSystemAttribute(to, false);
  }
  const bool ok = doFileOperation(from, to, kFileOpCopy) == kFileOpDone;
  if (fileExists(to)) {
    setHiddenAttribute(to, true);
    setSystemAttribute(to, true);
  }
  return ok;
}

struct SpecialPlace {
  SpecialFolder folder;
  UINT word;
};
constexpr SpecialPlace kSpecialPlaces[] = {
    {SpecialFolder::Desktop, IDS_FOLDER_WORD_DESKTOP},
    {SpecialFolder::MyDocuments, IDS_FOLDER_WORD_MY_DOCUMENTS},
    {SpecialFolder::Favorites, IDS_FOLDER_WORD_FAVORITES},
};

LONG secondsOf(const FILETIME& time) {
  std::int64_t seconds = 0;
  std::int64_t nanoseconds = 0;
  platform::fileTimeTicksToUnix(platform::fileTimeToU64(time), seconds, nanoseconds);
  return static_cast<LONG>(seconds);
}

ULONGLONG sizeOf(DWORD high, DWORD low) { return (static_cast<ULONGLONG>(high) << 32) | low; }

// The size a file takes on the drive, in whole clusters as getFileSize counts it.
LONGLONG driveBytes(const CFileSynchronizer::FileFacts& facts) {
  if (!facts.exists) return 0;
  const ULONGLONG cluster = getDriveClusterSize();
  return static_cast<LONGLONG>(cluster ? (facts.size / cluster + 1) * cluster : facts.size);
}

// A listed file of a folder with its facts.
struct ListedFile {
  CString path;
  CFileSynchronizer::FileFacts facts;
};

// The files (with their facts) and the sub-folders directly in a folder, in listing order, from
// one listing. False when the folder cannot be listed.
bool listWithFacts(const CString& folder, std::vector<ListedFile>& files, CStringArray& folders) {
  WIN32_FIND_DATAW data;
  HANDLE h = FindFirstFileW(joinPath(folder, u"*.*").GetString(), &data);
  if (h == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
  do {
    const std::u16string_view name(data.cFileName);
    if (name == u"." || name == u"..") continue;
    CString path = joinPath(folder, CString(data.cFileName));
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      folders.Add(path);
      continue;
    }
    ListedFile file;
    file.path = std::move(path);
    file.facts.exists = true;
    file.facts.time = secondsOf(data.ftLastWriteTime);
    file.facts.size = sizeOf(data.nFileSizeHigh, data.nFileSizeLow);
    file.facts.attributes = data.dwFileAttributes;
    files.push_back(std::move(file));
  } while (FindNextFileW(h, &data));
  FindClose(h);
  return true;
}

}  // namespace

bool isDesktopIniFile(const CString& path) {
  // Asked for every file of both trees: the name is compared in place.
  const std::u16string_view text = path.view();
  const size_t slash = text.find_last_of(u"\\/");
  const std::u16string_view name = slash == std::u16string_view::npos ? text : text.substr(slash + 1);
  return platform::text::equalNoCase(name, u"desktop.ini");
}

// ---- CFileSyncOp ----------------------------------------------------------------------------------

bool CFileSyncOp::isSameOp(const CFileSyncOp& other) const {
  return hasSameKind(other) && equalsNoCase(pathA, other.pathA) && equalsNoCase(pathB, other.pathB);
}

int CFileSyncOp::perform(DWORD mode, CSyncSnapshot* snapshot) {
  documentHostServices().sendAppMessage(new CSyncStatus(CSyncStatus::kOpExecuting, this));
  CFileSnapshot* s = snapshot ? snapshot->findByHostPath(pathA) : nullptr;
  bool skipped = false;
  switch (kind) {
    case kFileOpHostToDrive:
      if (mode == kSyncDriveToHost) skipped = true;
      else result = doFileOperation(pathA, pathB, kFileOpCopy, s);
      break;
    case kFileOpDriveToHost:
      if (mode == kSyncHostToDrive) skipped = true;
      else result = doFileOperation(pathB, pathA, kFileOpCopy, s);
      break;
    case kFileOpDeleteOnDrive:
      result = doFileOperation(pathB, CString(), kFileOpDelete, s);
      break;
    case kFileOpConflict: {
      if (mode != kSyncBothWays) {
        skipped = true;
        break;
      }
      const CString conflictPath = CFileSynchronizer::makeConflictPath(pathB);
      if (conflictPath.IsEmpty()) {
        result = kFileOpGenericError;
        break;
      }
      result = doFileOperation(pathB, conflictPath, kFileOpCopy);
      if (result == kFileOpDone) result = doFileOperation(pathA, pathB, kFileOpCopy, s);
      if (result == kFileOpDone)
        result = doFileOperation(conflictPath, joinPath(getParentFolder(pathA), fileNameOfPath(conflictPath)), kFileOpCopy);
      break;
    }
    default:
      writeLog(kLogUnknownOp);
      result = kFileOpGenericError;
      break;
  }
  if (skipped) result = kFileOpDone;
  const bool done = result == kFileOpDone;
  if (s) s->setStateFlags(done ? kSnapshotExecuted : kSnapshotFailed);
  return done ? kSyncDone : kSyncFailed;
}

bool CFileSyncOp::askToContinue() {
  if (result == kFileOpDone) return true;
  CString operation;
  switch (kind) {
    case kFileOpHostToDrive: operation = formatMessageText(loadResString(IDS_SYNC_OP_COPY).GetString(), pathA, pathB); break;
    case kFileOpDriveToHost: operation = formatMessageText(loadResString(IDS_SYNC_OP_COPY).GetString(), pathB, pathA); break;
    case kFileOpDeleteOnDrive: operation = formatMessageText(loadResString(IDS_SYNC_OP_DELETE).GetString(), pathB); break;
    case kFileOpConflict: operation = formatMessageText(loadResString(IDS_SYNC_OP_CONFLICT).GetString(), pathA); break;
    default: operation = loadResString(IDS_SYNC_OP_UNKNOWN); break;
  }
  return askYesNoById(IDS_SYNC_OP_ASK_CONTINUE, operation, fileOperationErrorText(result));
}

// ---- CFileSynchronizer: life and the protocol -----------------------------------------------------

CFileSynchronizer::CFileSynchronizer() {
  m_localState.open(CString(kLocalPrefsKey), true, true);
  CString interrupted;
  if (m_localState.getString(kExecutingSyncOpValue, interrupted)) m_interruptedFile = interrupted;
}

CFileSynchronizer::~CFileSynchronizer() {
  // Only the run this object opened, and only over the snapshot it loaded: an empty or unloaded
  // snapshot written here would be adopted by the next load as the state of the last run.
  if (!m_runOpen || !m_snapshotLoaded) return;
  bool inProgress = false;
  if (!m_localState.getBool(kSyncInProgressValue, inProgress) || !inProgress) return;
  const CString backup = getBackupSnapshotPath();
  restoreAside();
  if (!m_snapshot.revertUnexecuted(backup)) {
    writeLog(kLogRevertFailed, backup);
    return;
  }
  if (m_snapshot.getCount() == 0) {
    writeLog(kLogRevertSkipped, backup);
    return;
  }
  if (m_snapshot.write(backup, false)) writeLog(kLogRevertSaved);
  else writeLog(kLogRevertWriteFailed, backup);
}

int CFileSynchronizer::calculateSyncOps(CSpaceRecord* record, DWORD mode) {
  currentRecord = record;
  m_mode = mode;
  m_asideDeletions.clear();
  m_asideIndex.clear();
  m_specialPlacesKnown = false;
  postProgress(loadResString(IDS_SYNC_CALCULATING), CString());
  m_fileProgressFormat = loadResString(IDS_SYNC_FILE_PROGRESS);
  const int result = prefRecords ? compareWithSnapshot(mode, driveSnapshotPath, prefRecords)
                                 : firstSync(mode, driveSnapshotPath);
  // The tree describes the drive as the calculation found it, not as the run will leave it.
  m_driveTreeComplete = false;
  return result;
}

bool CFileSynchronizer::preExecuteSyncOps() { return setSyncInProgress(true); }

bool CFileSynchronizer::postExecuteSyncOps(bool, int result) {
  // Deletions that did not run get their records back, also in a run that went on past a failed
  // one: the next run plans them again instead of taking the drive copy for a new file.
  restoreAside();
  bool save = result == kSyncDone;
  if (!save) {
    // Every record without an executed op gets its stored state.
    save = m_snapshot.revertUnexecuted(driveSnapshotPath);
  } else {
    // A run the user took on past failed ops: their records must not claim what did not happen (a
    // drive file whose copy to the host failed would read as deleted on the host next time, and
    // be deleted from the drive).
    m_snapshot.revertFailed(driveSnapshotPath);
  }
  bool ok = true;
  if (save) ok = !driveSnapshotPath.IsEmpty() && saveSnapshot(driveSnapshotPath, false);
  setSyncInProgress(false);
  return ok;
}

int CFileSynchronizer::executeSyncOp(CSyncOp* op, DWORD mode) {
  if (currentRecord && currentRecord->isCancelled()) return kSyncCancelled;
  if (!op) return kSyncFailed;
  auto* fileOp = dynamic_cast<CFileSyncOp*>(op);
  if (!fileOp) return kSyncNotMine;
  m_localState.setString(kExecutingSyncOpValue, fileOp->pathA);
  const int result = fileOp->perform(mode, &m_snapshot);
  if (result == kSyncDone && fileOp->kind == kFileOpDeleteOnDrive) forgetAside(fileOp->pathA);
  return result;
}

// ---- calculation ------------------------------------------------------------------------------------

void CFileSynchronizer::postProgress(const CString& first, const CString& second) {
  CDocumentHostServices& services = documentHostServices();
  services.postAppMessage(new CProgress(first, second));
}

int CFileSynchronizer::compareWithSnapshot(DWORD mode, const CString& snapshotPath,
                                           std::vector<CFileSyncPrefRecord>* records) {
  currentHostFolder.Empty();
  currentDriveFolder.Empty();
  byteCount = 0;
  masks.RemoveAll();
  dayLimit = -1;
  if (!loadSnapshot(snapshotPath)) return kSyncFailed;
  if (!buildDriveTree(m_driveTree)) return kSyncFailed;
  if (mode != kSyncDriveToHost && records) {
    const int result = syncPrefs(m_driveTree);
    if (result != kSyncDone) return result;
  }
  const int result = drivePass();
  return result == kSyncDone ? deletionPass() : result;
}

int CFileSynchronizer::firstSync(DWORD mode, const CString& snapshotPath) {
  currentHostFolder = hostRoot;
  currentDriveFolder.Empty();
  byteCount = 0;
  dayLimit = -1;
  if (!buildDriveTree(m_driveTree) || !loadSnapshot(snapshotPath)) return kSyncFailed;
  if (includeTypes && (followFileShortcuts || followFolderShortcuts)) fileTypes += u";*.lnk";
  masks.RemoveAll();
  splitSemicolonList(fileTypes, masks);
  if (enabled && mode != kSyncDriveToHost) {
    const int result = syncFolder(hostRoot, 0, m_driveTree);
    if (result != kSyncDone) return result;
  }
  const int result = drivePass();
  return result == kSyncDone ? deletionPass() : result;
}

int CFileSynchronizer::syncPrefs(DriveTree& tree) {
  for (CFileSyncPrefRecord& record : *prefRecords) {
    if (!record.synchronize) continue;
    excludedHostPaths.Copy(record.excludedHostPaths);
    excludedDrivePaths.Copy(record.excludedDrivePaths);
    const CString path = profilePathToHostPath(record.hostPath);
    dayLimit = record.dayLimitOn ? static_cast<LONG>(record.days) : -1;
    masks.RemoveAll();
    int result;
    if (fileExists(path) || (!directoryExists(path) && fileNameOfPath(path).Find(u'.') >= 0)) {
      hostRoot = getParentFolder(path);
      includeTypes = true;
      fileTypes = u"*.*";
      currentDriveFolder = record.folderName.IsEmpty() ? fileNameOfPath(hostRoot) : record.folderName;
      unlimitedDepth = false;
      depthLimit = 2;
      splitSemicolonList(fileTypes, masks);
      currentHostFolder = hostRoot;
      result = syncFile(path, 0, tree);
    } else {
      hostRoot = path;
      fileTypes = record.types;
      includeTypes = record.includeTypes;
      if (includeTypes && (followFileShortcuts || followFolderShortcuts)) fileTypes += u";*.lnk";
      currentDriveFolder = record.folderName.IsEmpty() ? fileNameOfPath(path) : record.folderName;
      depthLimit = 0;
      unlimitedDepth = record.recursive;
      splitSemicolonList(fileTypes, masks);
      result = syncFolder(hostRoot, 0, tree);
    }
    if (result != kSyncDone) return result;
  }
  return kSyncDone;
}

int CFileSynchronizer::syncFolder(const CString& folder, int depth, DriveTree& tree) {
  if (isExcluded(folder, true)) return kSyncDone;
  if (currentRecord) currentRecord->setPlannedBytes(byteCount);
  if (!directoryExists(folder)) return kSyncDone;
  const CString savedHost = currentHostFolder;
  const CString savedDrive = currentDriveFolder;
  if (depth > 0) currentDriveFolder = joinPath(currentDriveFolder, fileNameOfPath(folder));
  currentHostFolder = folder;
  auto restore = [&] {
    currentHostFolder = savedHost;
    currentDriveFolder = savedDrive;
  };
  std::vector<ListedFile> files;
  CStringArray folders;
  if (!listWithFacts(folder, files, folders)) {
    restore();
    return kSyncFailed;
  }
  for (const ListedFile& file : files) {
    if (!masks.IsEmpty() && !fileTypes.IsEmpty() && matchesFileMask(fileNameOfPath(file.path), masks) != includeTypes)
      continue;
    // The listing already knows the file: the plan takes its facts from there.
    m_listedPath = &file.path;
    m_listedFacts = &file.facts;
    const int result = syncFile(file.path, depth, tree);
    m_listedPath = nullptr;
    m_listedFacts = nullptr;
    if (result != kSyncDone) {
      restore();
      return result;
    }
  }
  for (INT_PTR i = 0; i < folders.GetSize(); ++i) {
    markDriveVisited(getDevicePath(folders[i]));
    if (depth < depthLimit || unlimitedDepth) {
      const int result = syncFolder(folders[i], depth + 1, tree);
      if (result != kSyncDone) {
        restore();
        return result;
      }
    }
  }
  restore();
  return kSyncDone;
}

int CFileSynchronizer::syncFile(const CString& file, int depth, DriveTree& tree) {
  if (currentRecord && currentRecord->isCancelled()) return kSyncCancelled;
  if (isExcluded(file, true)) return kSyncDone;
  postProgress(formatMessageText(m_fileProgressFormat.GetString(), fileNameOfPath(file)), CString());
  if (isShortcutFile(file)) {
    CShortcut shortcut(file);
    const int type = shortcut.getTargetType();
    const bool withinDepth = unlimitedDepth || depth < depthLimit;
    if (type == CShortcut::ExistingFile && followFileShortcuts && withinDepth) {
      const CString target = shortcut.getTargetPath();
      if (!fileExists(target)) return kSyncDone;
      const CString savedHost = currentHostFolder;
      const CString savedDrive = currentDriveFolder;
      currentHostFolder = getParentFolder(target);
      const int result = syncFile(target, depth + 1, tree);
      currentHostFolder = savedHost;
      currentDriveFolder = savedDrive;
      if (result != kSyncDone) return result;
      const CString drivePath = getDevicePath(file);
      CFileSnapshot* record = m_snapshot.findByHostPath(file);
      if (!record) {
        record = m_snapshot.addEntry(file, getRelativePath(drivePath, driveRoot));
        record->linkText = target;
      }
      record->setStateFlags(kSnapshotVisited);
      return kSyncDone;
    }
    if (type == CShortcut::ExistingFolder && followFolderShortcuts && withinDepth)
      return syncFolder(shortcut.getTargetPath(), depth + 1, tree);
  }
  const CString drivePath = getDevicePath(file);
  markDriveVisited(drivePath);
  return planFile(file, drivePath) ? kSyncDone : kSyncFailed;
}

bool CFileSynchronizer::planFile(const CString& hostPath, const CString& drivePath) {
  const bool listed = m_listedPath && m_listedFacts && *m_listedPath == hostPath;
  const FileFacts factsA = listed ? *m_listedFacts : factsOf(hostPath);
  return planWithFacts(hostPath, factsA, drivePath, driveFactsOf(drivePath), m_snapshot.findByHostPath(hostPath));
}

bool CFileSynchronizer::planWithFacts(const CString& a, const FileFacts& factsA, const CString& b,
                                      const FileFacts& factsB, CFileSnapshot* s) {
  const DWORD kind = decideWithFacts(a, factsA, factsB, s);
  if (kind != kFileOpNothing) {
    const LONGLONG delta = byteDeltaOf(kind, factsA, factsB);
    byteCount += delta;
    if (currentRecord && !currentRecord->addSyncOp(std::make_unique<CFileSyncOp>(kind, this, delta, a, b))) return false;
  }
  recordPlanWithFacts(a, factsA, b, factsB, s, kind);
  return true;
}

CFileSynchronizer::FileFacts CFileSynchronizer::driveFactsOf(const CString& drivePath) const {
  size_t entry = 0;
  if (m_lastDrivePath == drivePath) {
    // markDriveVisited looked this path up a moment ago.
    if (m_lastDriveEntry == kNoDriveEntry) return knownMissing(drivePath) ? FileFacts() : factsOf(drivePath);
    entry = m_lastDriveEntry;
  } else {
    const auto it = m_driveIndex.find(foldedKey(drivePath));
    if (it == m_driveIndex.end()) return knownMissing(drivePath) ? FileFacts() : factsOf(drivePath);
    entry = it->second;
  }
  FileFacts facts;
  facts.exists = true;
  facts.time = m_driveTree[entry].time;
  facts.size = m_driveTree[entry].size;
  return facts;
}

bool CFileSynchronizer::knownMissing(const CString& drivePath) const {
  // Only while the calculation's tree stands, and not for a file the tree left out on purpose.
  if (!m_driveTreeComplete || m_driveSkipped.count(foldedKey(drivePath))) return false;
  return liesInsideAny(drivePath, m_driveTreeRoots) && !equalsNoCase(drivePath, driveSnapshotPath);
}

CFileSynchronizer::FileFacts CFileSynchronizer::factsOf(const CString& path) {
  FileFacts facts;
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (path.IsEmpty() || !GetFileAttributesExW(path.GetString(), GetFileExInfoStandard, &data) ||
      (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
    return facts;
  facts.exists = true;
  facts.time = secondsOf(data.ftLastWriteTime);
  facts.size = sizeOf(data.nFileSizeHigh, data.nFileSizeLow);
  facts.attributes = data.dwFileAttributes;
  return facts;
}

void CFileSynchronizer::recordPlan(const CString& a, const CString& b, CFileSnapshot* s, DWORD kind) {
  recordPlanWithFacts(a, factsOf(a), b, factsOf(b), s, kind);
}

void CFileSynchronizer::recordPlanWithFacts(const CString& a, const FileFacts& factsA, const CString& b,
                                            const FileFacts& factsB, CFileSnapshot* s, DWORD kind) {
  if (kind == kFileOpDeleteOnDrive && s) {
    putAside(*s);
    m_snapshot.removeEntry(s);
    return;
  }
  // The record's stamp as the host file has it now (0 and not hidden when it is missing).
  const auto stampFrom = [&](CFileSnapshot& record) {
    record.modificationTime = factsA.exists ? static_cast<DWORD>(factsA.time) : 0;
    record.hidden = factsA.exists && (factsA.attributes & FILE_ATTRIBUTE_HIDDEN) ? 1 : 0;
    if (kind == kFileOpDriveToHost) record.modificationTime = factsB.exists ? static_cast<DWORD>(factsB.time) : 0;
  };
  if (!s) {
    // A file both sides hold alike gets its record too: without one, its later deletion on
    // either side would read as a new file on the other.
    if (kind != kFileOpNothing || (factsA.exists && factsB.exists)) {
      CFileSnapshot added;
      added.hostPath = a;
      added.relativePath = getRelativePath(b, driveRoot);
      stampFrom(added);
      added.setStateFlags(kSnapshotVisited);
      m_snapshot.addRecord(std::move(added));
    }
    return;
  }
  stampFrom(*s);
}

void CFileSynchronizer::putAside(const CFileSnapshot& record) {
  CFileSnapshot copy(record);
  copy.state = 0;
  m_asideIndex.emplace(foldedKey(copy.hostPath), m_asideDeletions.size());
  m_asideDeletions.push_back(std::move(copy));
}

void CFileSynchronizer::forgetAside(const CString& hostPath) {
  // The deletion ran: its record stays out (marked, so the list keeps its indexes).
  const auto it = m_asideIndex.find(foldedKey(hostPath));
  if (it == m_asideIndex.end()) return;
  m_asideDeletions[it->second].state = kSnapshotExecuted;
  m_asideIndex.erase(it);
}

void CFileSynchronizer::restoreAside() {
  for (const CFileSnapshot& record : m_asideDeletions)
    if (!record.hasState(kSnapshotExecuted)) m_snapshot.addRecord(record);
  m_asideDeletions.clear();
  m_asideIndex.clear();
}

DWORD CFileSynchronizer::decide(const CString& a, const CString& b, CFileSnapshot* s) {
  return decideWithFacts(a, factsOf(a), factsOf(b), s);
}

DWORD CFileSynchronizer::decideWithFacts(const CString& a, const FileFacts& factsA, const FileFacts& factsB,
                                         CFileSnapshot* s) {
  const bool hasA = factsA.exists;
  const bool hasB = factsB.exists;
  // The file being copied when a run was cut off: both halves may be torn, so both are kept.
  // Only when both exist: a crash during a delete leaves nothing to be in conflict with.
  if (hasA && hasB && !m_interruptedFile.IsEmpty() && equalsNoCase(a, m_interruptedFile)) {
    if (s) s->setStateFlags(kSnapshotVisited);
    return kFileOpConflict;
  }
  if (!s) return decideWithoutSnapshotFacts(a, factsA, factsB);
  if (s->hasState(kSnapshotVisited)) return kFileOpNothing;
  s->setStateFlags(kSnapshotVisited);
  const LONG limit = tolerance();
  if (hasA && hasB) {
    const LONG timeA = factsA.time;
    const LONG timeB = factsB.time;
    const LONG timeS = static_cast<LONG>(s->modificationTime);
    if (differsByMoreThan(timeA, timeB, limit)) {
      if (differsByMoreThan(timeA, timeS, limit)) {
        if (differsByMoreThan(timeB, timeS, limit)) return isShortcutFile(a) ? kFileOpNothing : kFileOpConflict;
        return passesFilter(a) ? kFileOpHostToDrive : kFileOpDeleteOnDrive;
      }
      return kFileOpDriveToHost;
    }
    return isExcluded(a, true) && !passesFilter(a) ? kFileOpDeleteOnDrive : kFileOpNothing;
  }
  if (hasA) return kFileOpHostToDrive;
  if (hasB) return kFileOpDeleteOnDrive;
  return kFileOpNothing;
}

DWORD CFileSynchronizer::decideWithoutSnapshot(const CString& a, const CString& b) {
  return decideWithoutSnapshotFacts(a, factsOf(a), factsOf(b));
}

DWORD CFileSynchronizer::decideWithoutSnapshotFacts(const CString& a, const FileFacts& factsA,
                                                    const FileFacts& factsB) {
  const bool hasA = factsA.exists;
  const bool hasB = factsB.exists;
  if (hasB && !hasA) return kFileOpDriveToHost;
  if (hasA && hasB) {
    const LONG timeA = factsA.time;
    const LONG timeB = factsB.time;
    const LONG limit = tolerance();
    if (timeB - timeA > limit) return conflictMode ? kFileOpConflict : kFileOpDriveToHost;
    if (!passesFilter(a)) return kFileOpDeleteOnDrive;
    if (timeA - timeB > limit) return conflictMode ? kFileOpConflict : kFileOpHostToDrive;
    return kFileOpNothing;
  }
  if (hasA) return passesFilter(a) ? kFileOpHostToDrive : kFileOpNothing;
  return kFileOpNothing;
}

LONGLONG CFileSynchronizer::byteDeltaOf(DWORD kind, const CString& a, const CString& b) {
  return byteDeltaOf(kind, factsOf(a), factsOf(b));
}

LONGLONG CFileSynchronizer::byteDeltaOf(DWORD kind, const FileFacts& a, const FileFacts& b) {
  switch (kind) {
    case kFileOpHostToDrive:
    case kFileOpConflict:
      return driveBytes(a) - driveBytes(b);
    case kFileOpDeleteOnDrive:
      // The drive loses B.
      return -driveBytes(b);
    default:
      return 0;
  }
}

bool CFileSynchronizer::addSyncOp(const CString& a, const CString& b, DWORD kind) {
  if (kind == kFileOpNothing) return true;
  const LONGLONG delta = byteDeltaOf(kind, a, b);
  byteCount += delta;
  if (!currentRecord) return true;
  return currentRecord->addSyncOp(std::make_unique<CFileSyncOp>(kind, this, delta, a, b));
}

void CFileSynchronizer::markDriveVisited(const CString& drivePath) {
  const auto it = m_driveIndex.find(foldedKey(drivePath));
  m_lastDrivePath = drivePath;
  m_lastDriveEntry = it == m_driveIndex.end() ? kNoDriveEntry : it->second;
  if (it != m_driveIndex.end()) m_driveTree[it->second].visited = true;
}

bool CFileSynchronizer::buildDriveTree(DriveTree& tree) {
  tree.clear();
  m_driveIndex.clear();
  m_lastDrivePath.Empty();
  m_driveTreeComplete = false;
  m_driveTreeRoots.RemoveAll();
  m_driveSkipped.clear();
  // Depth-first in listing order, each file with the host folder it stands for and its facts.
  std::function<bool(const CString&, const CString&)> walk = [&](const CString& folder, const CString& hostFolder) {
    WIN32_FIND_DATAW data;
    HANDLE h = FindFirstFileW(joinPath(folder, u"*.*").GetString(), &data);
    if (h == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
    bool ok = true;
    do {
      const std::u16string_view name(data.cFileName);
      if (name == u"." || name == u"..") continue;
      const CString entryName(data.cFileName);
      const CString path = joinPath(folder, entryName);
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        ok = walk(path, joinPath(hostFolder, entryName));
        continue;
      }
      // The snapshot files live beside the data they describe and are never data themselves.
      if (equalsNoCase(path, driveSnapshotPath) || isExcluded(path, false)) {
        m_driveSkipped.insert(foldedKey(path));
        continue;
      }
      DriveTreeEntry entry;
      entry.hostFolder = hostFolder;
      entry.drivePath = path;
      entry.time = secondsOf(data.ftLastWriteTime);
      entry.size = sizeOf(data.nFileSizeHigh, data.nFileSizeLow);
      m_driveIndex.emplace(foldedKey(path), tree.size());
      tree.push_back(std::move(entry));
    } while (ok && FindNextFileW(h, &data));
    FindClose(h);
    return ok;
  };
  const auto addFolder = [&](const CString& driveFolder, const CString& hostPlace) {
    // Walked whole (or found missing): a path below it that the tree lacks is not on the drive.
    m_driveTreeRoots.Add(driveFolder);
    if (!directoryExists(driveFolder)) return true;
    return walk(driveFolder, hostPlace);
  };
  if (singleFolderMode) return m_driveTreeComplete = addFolder(driveRoot, hostRoot);
  for (const SpecialPlace& place : kSpecialPlaces) {
    const SpecialFolderInfo info = specialFolderInfo(place.folder);
    if (info.path.IsEmpty()) continue;
    if (!addFolder(joinPath(driveRoot, loadResString(place.word)), info.path)) return false;
  }
  const CString myComputer = joinPath(driveRoot, CString(kMyComputerFolder));
  if (!directoryExists(myComputer)) {
    m_driveTreeRoots.Add(myComputer);
    return m_driveTreeComplete = true;
  }
  CStringArray places;
  if (!listSubfolders(myComputer, places, false)) return false;
  for (INT_PTR i = 0; i < places.GetSize(); ++i) {
    const CString& name = places[i];
    const CString hostPlace = name.GetLength() == 1 ? name + u":" : CString(u"\\\\") + name;
    if (!addFolder(joinPath(myComputer, name), hostPlace)) return false;
  }
  return m_driveTreeComplete = true;
}

int CFileSynchronizer::drivePass() {
  for (size_t i = 0; i < m_driveTree.size(); ++i) {
    if (m_driveTree[i].visited) continue;
    if (currentRecord && currentRecord->isCancelled()) return kSyncCancelled;
    const CString b = m_driveTree[i].drivePath;
    CString a = joinPath(m_driveTree[i].hostFolder, fileNameOfPath(b));
    postProgress(loadResString(IDS_SYNC_DRIVE_FILES),
                 formatMessageText(m_fileProgressFormat.GetString(), fileNameOfPath(b)));
    if (isExcluded(a, true)) continue;
    CFileSnapshot* s = m_snapshot.findByHostPath(a);
    if (!s) {
      s = m_snapshot.findByRelativePath(getRelativePath(b, driveRoot));
      if (s) a = s->hostPath;
    }
    if (isExcluded(b, false)) continue;
    const DWORD kind = decide(a, b, s);
    if (!addSyncOp(a, b, kind)) return kSyncFailed;
    recordPlan(a, b, s, kind);
  }
  return kSyncDone;
}

int CFileSynchronizer::deletionPass() {
  int i = 0;
  while (i < m_snapshot.getCount()) {
    CFileSnapshot* record = m_snapshot.getAt(i);
    if (record->hasState(kSnapshotVisited) || !record->linkText.IsEmpty()) {
      ++i;
      continue;
    }
    if (currentRecord && currentRecord->isCancelled()) return kSyncCancelled;
    const CString a = record->hostPath;
    const CString b = joinPath(driveRoot, record->relativePath);
    DWORD kind = decide(a, b, record);
    if (kind == kFileOpDriveToHost) {
      if (!addSyncOp(a, b, kind)) return kSyncFailed;
      ++i;
      continue;
    }
    if (isExcluded(b, false)) {
      ++i;
      continue;
    }
    kind = fileExists(b) ? kFileOpDeleteOnDrive : kFileOpNothing;
    if (!addSyncOp(a, b, kind)) return kSyncFailed;
    if (kind == kFileOpDeleteOnDrive) putAside(*record);
    m_snapshot.removeEntry(record);
  }
  return kSyncDone;
}

// ---- crash marks and snapshots ----------------------------------------------------------------------

bool CFileSynchronizer::setSyncInProgress(bool inProgress) {
  if (inProgress) {
    const bool ok = m_localState.setBool(kSyncInProgressValue, true);
    if (ok) m_localState.setString(kExecutingSyncOpValue, m_interruptedFile);
    m_runOpen = ok;
    return ok;
  }
  const bool ok = m_localState.setBool(kSyncInProgressValue, false);
  if (ok) {
    if (m_localState.valueExists(kExecutingSyncOpValue) && !m_localState.deleteValue(kExecutingSyncOpValue))
      writeLog(kLogDeleteExecutingFailed);
    m_interruptedFile.Empty();
  }
  m_runOpen = false;
  return ok;
}

CString CFileSynchronizer::getBackupSnapshotPath() {
  if (m_backupSnapshotPath.IsEmpty())
    m_backupSnapshotPath = joinPath(CFolderLookup::getDeviceBackupPath(), fileNameOfPath(driveSnapshotPath));
  return m_backupSnapshotPath;
}

bool CFileSynchronizer::loadSnapshot(const CString& snapshotPath) {
  m_snapshot.clear();
  m_snapshotLoaded = false;
  if (firstSyncMode) {
    if (fileExists(snapshotPath)) {
      setHiddenAttribute(snapshotPath, false);
      setSystemAttribute(snapshotPath, false);
      if (doFileOperation(snapshotPath, CString(), kFileOpDelete) != kFileOpDone) writeLog(kLogFirstSyncRemoveFailed);
    }
    m_snapshotLoaded = true;
    return true;
  }
  if (conflictMode && conflictAgreed) {
    m_snapshotLoaded = true;
    return true;
  }
  const CString backup = getBackupSnapshotPath();
  const bool hasD = fileExists(snapshotPath);
  const bool hasK = fileExists(backup);
  const auto adopt = [&](const CString& from, const CString& to, const char16_t* failure) {
    m_snapshotLoaded = true;
    if (!copySnapshotFile(from, to)) writeLog(failure, from, to);
    return true;
  };
  if (hasD && hasK) {
    if (compareFileTimes(snapshotPath, backup) >= 0) {
      if (m_snapshot.read(snapshotPath)) {
        m_snapshotLoaded = true;
        return true;
      }
      if (m_snapshot.read(backup)) return adopt(backup, snapshotPath, kLogCopyBackupToDeviceFailed);
    } else {
      if (m_snapshot.read(backup)) return adopt(backup, snapshotPath, kLogCopyBackupToDeviceFailed);
      if (m_snapshot.read(snapshotPath)) return adopt(snapshotPath, backup, kLogCopyDeviceToBackupFailed);
    }
  } else if (hasD) {
    if (m_snapshot.read(snapshotPath)) return adopt(snapshotPath, backup, kLogCopyDeviceToBackupFailed);
  } else if (hasK) {
    if (m_snapshot.read(backup)) return adopt(backup, snapshotPath, kLogCopyBackupToDeviceFailed);
    return true;
  } else {
    m_snapshotLoaded = true;
    return true;
  }
  conflictMode = true;
  if (!askYesNoById(IDS_SYNC_SNAPSHOT_UNREADABLE, g_applicationName)) return false;
  conflictAgreed = true;
  m_snapshotLoaded = true;
  return true;
}

bool CFileSynchronizer::saveSnapshot(const CString& snapshotPath, bool withStates) {
  const CString backup = getBackupSnapshotPath();
  if (!m_snapshot.write(backup, withStates)) return false;
  conflictMode = false;
  conflictAgreed = false;
  if (!copySnapshotFile(backup, snapshotPath)) writeLog(kLogCopyBackupToDeviceFailed, backup, snapshotPath);
  return true;
}

// ---- paths and filters ------------------------------------------------------------------------------

CString CFileSynchronizer::getDevicePath(const CString& hostPath) {
  if (singleFolderMode) {
    // The folder part is the same for every file of a folder: joined once per folder.
    if (m_deviceFolderRoot != driveRoot || m_deviceFolderName != currentDriveFolder || m_deviceFolder.IsEmpty()) {
      m_deviceFolderRoot = driveRoot;
      m_deviceFolderName = currentDriveFolder;
      m_deviceFolder = joinPath(driveRoot, currentDriveFolder);
    }
    // joinPath of the folder and the file name, made in one piece.
    const std::u16string_view host = hostPath.view();
    const size_t slash = host.find_last_of(u"\\/");
    const std::u16string_view name = slash == std::u16string_view::npos ? host : host.substr(slash + 1);
    if (name.empty()) return m_deviceFolder;
    if (m_deviceFolder.IsEmpty()) return CString(name);
    std::u16string path;
    path.reserve(static_cast<size_t>(m_deviceFolder.GetLength()) + 1 + name.size());
    path = m_deviceFolder.view();
    if (path.back() != u'\\' && name.front() != u'\\') path += u'\\';
    path += name;
    return CString(std::move(path));
  }
  // The special folders are asked once per calculation, not once per file.
  if (!m_specialPlacesKnown || m_specialPlacesRoot != driveRoot) {
    m_specialPlaces.clear();
    for (const SpecialPlace& place : kSpecialPlaces) {
      const SpecialFolderInfo info = specialFolderInfo(place.folder);
      if (!info.path.IsEmpty()) m_specialPlaces.push_back({info.path, joinPath(driveRoot, loadResString(place.word))});
    }
    m_specialPlacesRoot = driveRoot;
    m_myComputerPlace = joinPath(driveRoot, CString(kMyComputerFolder));
    m_specialPlacesKnown = true;
  }
  for (const auto& [hostFolder, driveFolder] : m_specialPlaces) {
    if (!liesInside(hostPath, hostFolder) || equalsNoCase(hostPath, hostFolder)) continue;
    CString rest = hostPath.Mid(hostFolder.GetLength());
    if (!rest.IsEmpty() && rest[0] == u'\\') rest = rest.Mid(1);
    return joinPath(driveFolder, rest);
  }
  const CString& myComputer = m_myComputerPlace;
  if (isUncPath(hostPath)) return joinPath(myComputer, hostPath.Mid(2));
  if (hostPath.GetLength() >= 2 && hostPath[1] == u':') {
    CString rest = hostPath.Mid(2);
    if (!rest.IsEmpty() && rest[0] == u'\\') rest = rest.Mid(1);
    return joinPath(joinPath(myComputer, hostPath.Left(1)), rest);
  }
  return joinPath(myComputer, hostPath);
}

bool CFileSynchronizer::passesFilter(const CString& hostPath) {
  if (!masks.IsEmpty() && matchesFileMask(fileNameOfPath(hostPath), masks) != includeTypes) return false;
  return dayLimit < 0 || isModifiedWithinDays(hostPath, static_cast<DWORD>(dayLimit));
}

bool CFileSynchronizer::isExcluded(const CString& path, bool hostSide) {
  if (isDesktopIniFile(path)) return true;
  return liesInsideAny(path, hostSide ? excludedHostPaths : excludedDrivePaths);
}

CString CFileSynchronizer::makeConflictPath(const CString& path) {
  CString base;
  CString extension;
  splitExtension(path, base, extension);
  for (int n = 1; n <= 9; ++n) {
    CString ending;
    ending.Format(u"(%d)", n);
    CString stem = base;
    if (stem.GetLength() >= ending.GetLength() && stem.Right(ending.GetLength()) == ending)
      stem = stem.Left(stem.GetLength() - ending.GetLength());
    CString candidate;
    candidate.Format(u"%s(%d)%s", stem.GetString(), n, extension.GetString());
    if (!pathExists(candidate)) return candidate;
  }
  showMessageById(IDS_SYNC_CONFLICT_NAMES_TAKEN, path);
  return CString();
}

// Move-aside items and the snap-in base that owns a list of them (move_aside.h).
#include "snapins/move_aside.h"

#include <set>

#include "app/file_operation.h"
#include "app/file_util.h"
#include "app/log.h"
#include "app/profile_database.h"
#include "app/system_profile.h"
#include "platform/afx/coll.h"
#include "platform/afx/exception.h"
#include "snapins/space_man.h"

namespace {

constexpr const char16_t* kFileBackupFailed = u"{FileMoveAsideCustomizer}: Failed to backup entry: %s";
constexpr const char16_t* kFileRecordFailed =
    u"{FileMoveAsideCustomizer}: Failed to record backup entry in registry: %s";
constexpr const char16_t* kFileBackupInUse = u"{FileMoveAsideCustomizer}: Backup path already exists, not moving: %s";
constexpr const char16_t* kFileSourceInUse =
    u"{FileMoveAsideCustomizer}: Not restoring entry over an existing item: %s";
constexpr const char16_t* kFolderBackupFailed = u"{MoveAsideCustomizer}: Failed to backup entry: %s";
constexpr const char16_t* kFolderRecordFailed = u"{MoveAsideCustomizer}: Failed to record backup entry in registry: %s";
constexpr const char16_t* kFolderBackupInUse = u"{MoveAsideCustomizer}: Backup path already exists, not moving: %s";
constexpr const char16_t* kFolderRestoreFailed = u"{MoveAsideCustomizer}: Failed to restore entry: %s";
constexpr const char16_t* kFolderSourceInUse = u"{MoveAsideCustomizer}: Not restoring entry over an existing item: %s";
constexpr const char16_t* kRecordDeleteFailed = u"{MoveAsideCustomizer}: Failed to delete backup registry entry: %d for %s";
constexpr const char16_t* kRecordReadFailed = u"{MoveAsideCustomizer}: Failed to read backup entry %d for %s.";
constexpr const char16_t* kFreeComponent = u"CMoveAsideCustomizer::freeMoveAsideVector";
constexpr const char16_t* kFreeUndefined = u"{CMoveAsideCustomizer::freeMoveAsideVector}: Caught undefined exception.";
constexpr const char16_t* kFreeException = u"{%s}: %s";

// A file goes to its new place by a rename when it stays in its folder, else by a move.
bool relocateFile(const CString& from, const CString& to) {
  return haveSameParentFolder(from, to) ? renameFileOp(from, to) : moveFileOp(from, to);
}

// The decimal number a record's subkey is named by; -1 for a name that is not one.
int recordIndex(const CString& name) {
  if (name.IsEmpty() || name.GetLength() > 9) return -1;
  int value = 0;
  for (int i = 0; i < name.GetLength(); ++i) {
    const char16_t c = name[i];
    if (c < u'0' || c > u'9') return -1;
    value = value * 10 + (c - u'0');
  }
  return value;
}

CString indexName(int index) {
  CString name;
  name.Format(u"%d", index);
  return name;
}

}  // namespace

// ---- CMoveAside ---------------------------------------------------------------------------------

CMoveAside::CMoveAside(const CString& typeName) : m_typeName(typeName) {}

CString CMoveAside::getDevicePath(CSystemProfile* profile) const {
  if (!profile) return CString();
  return joinPath(profile->getDeviceFolder(), m_profileRelativeDevicePath);
}

bool CMoveAside::writeRecord(CRegistry& key) const {
  bool ok = key.setString(kMoveAsideSourcePathValue, m_sourcePath);
  ok = key.setString(kMoveAsideBackupPathValue, m_backupPath) && ok;
  ok = key.setString(kMoveAsidePersonalizedPathValue, m_personalizedPath) && ok;
  ok = key.setString(kMoveAsideDevicePathValue, m_profileRelativeDevicePath) && ok;
  return key.setString(kMoveAsideTypeNameValue, m_typeName) && ok;
}

bool CMoveAside::readRecord(CRegistry& key) {
  bool ok = key.getString(kMoveAsideSourcePathValue, m_sourcePath);
  ok = key.getString(kMoveAsideBackupPathValue, m_backupPath) && ok;
  ok = key.getString(kMoveAsidePersonalizedPathValue, m_personalizedPath) && ok;
  ok = key.getString(kMoveAsideDevicePathValue, m_profileRelativeDevicePath) && ok;
  return key.getString(kMoveAsideTypeNameValue, m_typeName) && ok;
}

void CMoveAside::setPaths(const CString& sourcePath, const CString& backupPath, const CString& personalizedPath,
                          const CString& profileRelativeDevicePath) {
  m_sourcePath = sourcePath;
  m_backupPath = backupPath;
  m_personalizedPath = personalizedPath;
  m_profileRelativeDevicePath = profileRelativeDevicePath;
}

// ---- CFileMoveAside -------------------------------------------------------------------------------

CFileMoveAside::CFileMoveAside() : CMoveAside(CString(kMoveAsideFileType)) {}

bool CFileMoveAside::personalize(CSystemProfile* profile) {
  const CString device = getDevicePath(profile);
  if (!fileExists(device) || m_personalizedPath.IsEmpty()) return true;
  return copyFileOp(device, m_personalizedPath);
}

bool CFileMoveAside::depersonalize() { return deleteFileOp(m_personalizedPath); }

bool CFileMoveAside::moveAside(CRegistry& key) {
  if (!fileExists(m_sourcePath)) return true;
  // What lies at the backup path may be the host's own item from an earlier login that could not
  // be put back; moving onto it would lose it.
  if (pathExists(m_backupPath)) {
    writeLog(kFileBackupInUse, m_sourcePath);
    return false;
  }
  if (!relocateFile(m_sourcePath, m_backupPath)) {
    writeLog(kFileBackupFailed, m_sourcePath);
    return false;
  }
  if (!writeRecord(key)) {
    writeLog(kFileRecordFailed, m_sourcePath);
    return false;
  }
  return true;
}

bool CFileMoveAside::restore() {
  if (!fileExists(m_backupPath)) return false;
  if (pathExists(m_sourcePath)) {
    writeLog(kFileSourceInUse, m_sourcePath);
    return false;
  }
  return relocateFile(m_backupPath, m_sourcePath);
}

bool CFileMoveAside::removeDeviceCopy(CSystemProfile* profile) { return deleteFileOp(getDevicePath(profile)); }

bool CFileMoveAside::synchronize(CSystemProfile* profile) {
  if (!fileExists(m_sourcePath)) return true;
  return copyFileOp(m_sourcePath, getDevicePath(profile));
}

bool CFileMoveAside::isSafeToReplace() { return fileExists(m_backupPath) || !fileExists(m_sourcePath); }

ULONGLONG CFileMoveAside::getDeviceSize(CSystemProfile* profile) { return getFileSize(getDevicePath(profile), true); }

// ---- CFolderMoveAside -----------------------------------------------------------------------------

CFolderMoveAside::CFolderMoveAside() : CMoveAside(CString(kMoveAsideFolderType)) {}

bool CFolderMoveAside::personalize(CSystemProfile* profile) {
  const CString device = getDevicePath(profile);
  if (!directoryExists(device) || m_personalizedPath.IsEmpty()) return true;
  if (!createDirectoryTree(m_personalizedPath)) return false;
  return shellInterface().copyFolderContents(device, m_personalizedPath);
}

bool CFolderMoveAside::depersonalize() {
  // Without the host's folder aside, the folder in place may be the host's own.
  if (!directoryExists(m_personalizedPath) || !directoryExists(m_backupPath)) return true;
  return shellInterface().deleteFolder(m_personalizedPath, true);
}

bool CFolderMoveAside::moveAside(CRegistry& key) {
  if (!directoryExists(m_sourcePath)) return true;
  // The shell would merge into an existing folder and mix the two host items.
  if (pathExists(m_backupPath)) {
    writeLog(kFolderBackupInUse, m_sourcePath);
    return false;
  }
  if (!shellInterface().moveFolder(m_sourcePath, m_backupPath)) {
    writeLog(kFolderBackupFailed, m_sourcePath);
    return false;
  }
  if (!writeRecord(key)) {
    writeLog(kFolderRecordFailed, m_sourcePath);
    return false;
  }
  return true;
}

bool CFolderMoveAside::restore() {
  if (!directoryExists(m_backupPath)) return false;
  if (pathExists(m_sourcePath)) {
    writeLog(kFolderSourceInUse, m_sourcePath);
    return false;
  }
  if (!shellInterface().moveFolder(m_backupPath, m_sourcePath)) {
    writeLog(kFolderRestoreFailed, m_sourcePath);
    return false;
  }
  return true;
}

bool CFolderMoveAside::removeDeviceCopy(CSystemProfile* profile) {
  const CString device = getDevicePath(profile);
  if (!directoryExists(device)) return true;
  return shellInterface().deleteFolder(device, true);
}

bool CFolderMoveAside::synchronize(CSystemProfile* profile) {
  if (!directoryExists(m_sourcePath)) return true;
  return shellInterface().copyFolder(m_sourcePath, getDevicePath(profile));
}

bool CFolderMoveAside::isSafeToReplace() { return directoryExists(m_backupPath) || !directoryExists(m_sourcePath); }

ULONGLONG CFolderMoveAside::getDeviceSize(CSystemProfile* profile) {
  return getFolderSize(getDevicePath(profile), true);
}

// ---- CMoveAsideCustomizer -------------------------------------------------------------------------

CMoveAsideCustomizer::CMoveAsideCustomizer(const CString& name) : CCustomizer(name) {
  m_recordsKey.open(getRecordsKeyPath(), true, true);
}

CMoveAsideCustomizer::~CMoveAsideCustomizer() { freeMoveAsideVector(); }

CString CMoveAsideCustomizer::getRecordsKeyPath() const {
  CString path;
  path.Format(u"%s\\%s\\%s\\%s", CString(kLocalPrefsKey), CString(kSnapinsKeyName), m_name, CString(kMovedAsideKeyName));
  return path;
}

bool CMoveAsideCustomizer::backup() {
  const CString keyPath = getRecordsKeyPath();
  m_recordsKey.open(keyPath, true, true);
  // Records a failed restore left stand for host items still aside: put them back first, and keep
  // those that still fail rather than forget where the host's item is.
  bool ok = restoreRecordedEntries(m_recordsKey);
  std::set<int> used;
  CStringList kept;
  if (m_recordsKey.getSubkeyNames(kept, false) && !kept.IsEmpty()) {
    for (POSITION pos = kept.GetHeadPosition(); pos;) used.insert(recordIndex(kept.GetNext(pos)));
  } else {
    m_recordsKey.deleteKey();
    m_recordsKey.open(keyPath, true, true);
  }
  int next = 0;
  for (const auto& entry : m_entries) {
    while (used.count(next)) ++next;
    CRegistry record(keyPath + u"\\" + indexName(next), true, true);
    used.insert(next);
    if (!entry->moveAside(record)) ok = false;
    // A record key left empty by an entry with nothing to move is no record.
    if (record.getValueCount() <= 0) {
      record.deleteKey();
      used.erase(next);
    }
  }
  return CCustomizer::backup() && ok;
}

bool CMoveAsideCustomizer::personalize() {
  if (getSourceState() < kSourceCarry) return false;
  setPersonalized(true);
  CSystemProfile* profile = getProfileDatabase().getLoginProfile();
  bool ok = true;
  for (const auto& entry : m_entries)
    if (!entry->personalize(profile)) ok = false;
  return ok;
}

bool CMoveAsideCustomizer::depersonalize() {
  bool ok = true;
  for (const auto& entry : m_entries)
    if (!entry->depersonalize()) ok = false;
  return ok;
}

bool CMoveAsideCustomizer::restore() {
  m_recordsKey.open(getRecordsKeyPath(), true, true);
  const bool ok = restoreRecordedEntries(m_recordsKey);
  setPersonalized(false);
  return ok;
}

bool CMoveAsideCustomizer::restoreRecordedEntries(CRegistry& key) {
  CStringList names;
  if (!key.getSubkeyNames(names, false) || names.IsEmpty()) return true;
  bool ok = true;
  int position = 0;
  for (POSITION pos = names.GetHeadPosition(); pos; ++position) {
    const CString name = names.GetNext(pos);
    const int index = recordIndex(name) >= 0 ? recordIndex(name) : position;
    CRegistry record(key.getPath() + u"\\" + name, false, true);
    CString typeName;
    record.getString(kMoveAsideTypeNameValue, typeName);
    std::unique_ptr<CMoveAside> item;
    if (typeName == kMoveAsideFileType) {
      item = std::make_unique<CFileMoveAside>();
    } else if (typeName == kMoveAsideFolderType) {
      item = std::make_unique<CFolderMoveAside>();
    }
    const bool restored = !item || (item->readRecord(record) && item->restore());
    if (restored) {
      if (!record.deleteKey()) writeLog(kRecordDeleteFailed, index, m_name);
    } else {
      writeLog(kRecordReadFailed, index, m_name);
      ok = false;
    }
  }
  return ok;
}

bool CMoveAsideCustomizer::postCalculateSyncOps(int) { return true; }

bool CMoveAsideCustomizer::postExecuteSyncOps(CSystemProfile* profile, int executionResult) {
  if (!m_synchronizeAfterRuns || executionResult != 1) return true;
  bool ok = true;
  for (const auto& entry : m_entries)
    if (!entry->synchronize(profile)) ok = false;
  return ok;
}

ULONGLONG CMoveAsideCustomizer::getDeviceSpace(CSpaceRecord* record) {
  CSystemProfile* profile = record ? record->profile : nullptr;
  ULONGLONG total = 0;
  for (const auto& entry : m_entries) total += entry->getDeviceSize(profile);
  return total;
}

bool CMoveAsideCustomizer::removeProfileData(CSystemProfile* profile) {
  bool ok = true;
  for (const auto& entry : m_entries)
    if (!entry->removeDeviceCopy(profile)) ok = false;
  return ok;
}

int CMoveAsideCustomizer::getSourceState() {
  size_t safe = 0;
  for (const auto& entry : m_entries)
    if (entry->isSafeToReplace()) ++safe;
  if (safe == m_entries.size()) return kSourcePresent;
  return safe > 0 ? 1 : kSourceNothing;
}

void CMoveAsideCustomizer::freeMoveAsideVector() {
  try {
    m_entries.clear();
  } catch (CException* e) {
    WCHAR text[512] = {};
    e->GetErrorMessage(text, 512);
    writeLog(kFreeException, CString(kFreeComponent), CString(text));
    e->Delete();
  } catch (...) {
    writeLog(kFreeUndefined);
  }
}

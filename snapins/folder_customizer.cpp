// The folder snap-in (folder_customizer.h).
#include "snapins/folder_customizer.h"

#include <vector>

#include "app/file_operation.h"
#include "app/file_util.h"
#include "app/folder_lookup.h"
#include "app/log.h"
#include "app/profile_database.h"
#include "app/shortcut.h"
#include "app/system_profile.h"
#include "app/windows_helpers.h"
#include "platform/afx/file.h"
#include "platform/win32/win32.h"
#include "snapins/file_synchronizer.h"
#include "snapins/space_man.h"
#include "snapins/sync_snapshot.h"

namespace {

constexpr const char16_t* kBackupSnapshotSuffix = u"_backup.snap";
constexpr const char16_t* kSnapshotExtension = u".snap";
constexpr const char16_t* kShortcutExtension = u".lnk";
constexpr const char16_t* kOtherComputerShortcutFormat = u"%s\\%s %s.lnk";

constexpr const char16_t* kLogSyncPathEmpty = u"{FOLDER %s}: Profile %s sync path is empty.";
constexpr const char16_t* kLogBackupFailed = u"{FOLDER %s}: Failed to backup folder from: %s to: %s";
constexpr const char16_t* kLogCreateTargetFailed = u"{FOLDER %s}: Failed to create target directory: %s";
constexpr const char16_t* kLogListFailed = u"{Folder Customizer}: Failed to list files in folder: %s";
constexpr const char16_t* kLogCreateFolderFailed = u"{Folder Customizer}: Failed to create target directory: %s";
constexpr const char16_t* kLogNoConflictName = u"{Folder Customizer}: Failed to create conflict file name for: %s";
constexpr const char16_t* kLogShortcutTargetFailed = u"{Folder Customizer}: Failed to set shortcut target: %s";
constexpr const char16_t* kLogShortcutRetargetFailed = u"{Folder Customizer}: Failed to set shortcut %s target to: %s";
constexpr const char16_t* kLogLogoutSyncFailed = u"{FOLDER %s}: Failed to sync folder for logout: %s";
constexpr const char16_t* kLogCleanFileFailed = u"{FOLDER %s}: Failed to clean file: %s";
constexpr const char16_t* kLogReadBackupFailed = u"{FILE SYNCHRONIZER}: Failed to read backup snapshot file: %s";
constexpr const char16_t* kLogListHostFailed = u"{FILE SYNCHRONIZER}: Failed to list files in folder: %s";
constexpr const char16_t* kLogDeleteShortcutFailed = u"Failed to delete shortcut: %s";
constexpr const char16_t* kLogRestoreReadFailed =
    u"{FOLDER CUSTOMIZER}: Failed to read backup snapshot file during restore: %s";
constexpr const char16_t* kLogDeviceSpaceFailed = u"{FOLDER %s}: Failed to setup device path for profile %s.";
constexpr const char16_t* kLogMoveFailed = u"{FOLDER %s}: Failed to move %s to the device.";

CString lastName(const CString& path) {
  CString trimmed = path;
  while (trimmed.GetLength() > 1 && trimmed[trimmed.GetLength() - 1] == u'\\') trimmed = trimmed.Left(trimmed.GetLength() - 1);
  return getFileName(trimmed);
}

bool liesInside(const CString& path, const CString& folder) {
  if (folder.IsEmpty() || path.IsEmpty()) return false;
  CString prefix = folder;
  if (prefix[prefix.GetLength() - 1] != u'\\') prefix += u'\\';
  return startsWithNoCase(path, prefix);
}

// The whole file, or false when it cannot be read.
bool readWholeFile(const CString& path, std::vector<BYTE>& bytes) {
  CFile file;
  if (!file.Open(path.GetString(), CFile::modeRead | CFile::shareDenyNone)) return false;
  try {
    const ULONGLONG length = file.GetLength();
    // Shortcuts are small; anything large is no shortcut of ours.
    if (length > 1024 * 1024) return false;
    bytes.resize(static_cast<size_t>(length));
    UINT done = bytes.empty() ? 0 : file.Read(bytes.data(), static_cast<UINT>(bytes.size()));
    return done == bytes.size();
  } catch (CException* e) {
    e->Delete();
    return false;
  }
}

// Where the synchronizer put the target of a followed shortcut, below the computer's folder.
CString driveCopyOfLinkTarget(const CString& computerFolder, const CString& target) {
  CFileSynchronizer mapping;
  mapping.driveRoot = computerFolder;
  return mapping.getDevicePath(target);
}

}  // namespace

// ---- set-up --------------------------------------------------------------------------------------

bool CFolderCustomizer::thisComputerIsLoginComputer() {
  CSystemProfile* self = getProfileDatabase().getThisComputerProfile();
  return self && self->isLoginComputer();
}

bool CFolderCustomizer::setupDevicePath(CSystemProfile* profile, const CString& folderName) {
  devicePath.Empty();
  if (profile) {
    const CString computerFolder = profile->getDeviceFolder();
    if (!computerFolder.IsEmpty()) devicePath = joinPath(computerFolder, folderName);
  }
  if (!devicePath.IsEmpty()) return true;
  writeLog(kLogSyncPathEmpty, getName(), profile ? profile->getKey() : CString());
  return false;
}

CString CFolderCustomizer::getBackupSnapshotPath() const {
  return joinPath(CFolderLookup::getBackupPath(), lastName(hostFolder) + kBackupSnapshotSuffix);
}

ULONGLONG CFolderCustomizer::getSize() { return 0; }

bool CFolderCustomizer::retargetsShortcuts() { return true; }

bool CFolderCustomizer::copyFile(const CString& source, const CString& target) { return copyFileOp(source, target); }

// ---- backup and state ----------------------------------------------------------------------------

bool CFolderCustomizer::backup() {
  if (parkingFolder.IsEmpty()) return true;
  if (thisComputerIsLoginComputer()) {
    if (directoryExists(parkingFolder)) deleteFolder(parkingFolder);
    return CCustomizer::backup();
  }
  if (!directoryExists(hostFolder) && !createDirectoryTree(hostFolder)) {
    writeLog(kLogCreateTargetFailed, getName(), hostFolder);
    return false;
  }
  // A folder made just now is recorded too (empty): personalize needs the record to hide by.
  CSyncSnapshot snapshot;
  if (!snapshot.buildFromFolder(hostFolder) || !snapshot.write(getBackupSnapshotPath(), true)) {
    writeLog(kLogBackupFailed, getName(), hostFolder, parkingFolder);
    return false;
  }
  return CCustomizer::backup();
}

int CFolderCustomizer::getSourceState() {
  if (thisComputerIsLoginComputer()) return kSourcePresent;
  CSyncSnapshot snapshot;
  return snapshot.read(getBackupSnapshotPath()) ? kSourcePresent : kSourceNothing;
}

bool CFolderCustomizer::isPersonalized() {
  const CString computers = CFolderLookup::getSynchronizedComputersPath();
  if (computers.IsEmpty() || !directoryExists(hostFolder)) return false;
  CStringArray files;
  if (!listFiles(hostFolder, files, true, false)) return false;
  for (INT_PTR i = 0; i < files.GetSize(); ++i) {
    if (!isShortcutFile(files[i])) continue;
    CShortcut shortcut(files[i]);
    if (liesInside(shortcut.getTargetPath(), computers)) return true;
  }
  return false;
}

ULONGLONG CFolderCustomizer::getDeviceSpace(CSpaceRecord* record) {
  CSystemProfile* profile = record ? record->profile : nullptr;
  if (!setupDevicePath(profile, deviceFolderName)) {
    writeLog(kLogDeviceSpaceFailed, getName(), profile ? profile->m_nickname : CString());
    return 0;
  }
  return getFolderSize(devicePath, true);
}

// ---- login -----------------------------------------------------------------------------------------

bool CFolderCustomizer::personalize() {
  // The stored "personalized" of a snap-in without a name would land on the Snapins key itself;
  // whether this folder holds the host is read from its shortcuts instead (isPersonalized).
  if (getSourceState() < kSourceCarry) return false;
  m_personalized = true;
  const CString remembered = hostFolder;
  CSystemProfile* self = getProfileDatabase().getThisComputerProfile();
  if (!self) return false;
  bool ok = true;
  const bool selfIsLogin = self->isLoginComputer();
  for (auto& stored : getProfileDatabase().profiles()) {
    CSystemProfile* profile = stored.get();
    if (profile == self) continue;
    // An empty path is logged here and fails the login computer's personalize below.
    setupDevicePath(profile, deviceFolderName);
    if (profile->isLoginComputer() && !selfIsLogin) {
      hostFolder = remembered;
      if (!personalizeProfile(profile)) ok = false;
    }
  }
  hostFolder = remembered;
  notifyShellFolderChanged(hostFolder);
  return ok;
}

bool CFolderCustomizer::personalizeProfile(CSystemProfile* profile) {
  if (devicePath.IsEmpty()) return false;
  if (!createDirectoryTree(hostFolder)) writeLog(kLogCreateTargetFailed, getName(), hostFolder);
  if (!hideHostItems(hostFolder)) return false;
  if (!directoryExists(devicePath)) return true;

  CStringArray names;
  if (!listFolder(devicePath, names, false)) {
    writeLog(kLogListFailed, devicePath);
    return false;
  }
  for (INT_PTR i = 0; i < names.GetSize(); ++i) {
    const CString& name = names[i];
    if (!directoryExists(hostFolder) && !createDirectoryTree(hostFolder)) {
      writeLog(kLogCreateFolderFailed, hostFolder);
      return false;
    }
    const CString item = joinPath(devicePath, name);
    CString targetName = isShortcutFile(name) ? name : name + kShortcutExtension;
    if (pathExists(joinPath(hostFolder, targetName))) {
      targetName = makeConflictFileName(targetName, hostFolder);
      if (targetName.IsEmpty()) {
        writeLog(kLogNoConflictName, item);
        continue;
      }
    }
    const CString target = joinPath(hostFolder, targetName);
    if (isShortcutFile(name)) {
      copyFile(item, target);
    } else if (retargetsShortcuts()) {
      CShortcut shortcut(target);
      if (!shortcut.setTargetPath(item)) {
        writeLog(kLogShortcutTargetFailed, target);
        return false;
      }
    }
  }
  linkFollowedShortcuts(profile);
  return true;
}

void CFolderCustomizer::linkFollowedShortcuts(CSystemProfile* profile) {
  const CString computerFolder = profile->getDeviceFolder();
  CSyncSnapshot snapshot;
  if (!snapshot.read(computerFolder + kSnapshotExtension)) return;
  std::vector<CFileSnapshot> shortcuts;
  snapshot.copyShortcuts(shortcuts);
  for (const CFileSnapshot& record : shortcuts) {
    // A followed shortcut of this folder on the login computer: its record sits at
    // "<folder name>\<shortcut>" and names the shortcut's target in its link text.
    const int slash = record.relativePath.ReverseFind(u'\\');
    if (record.linkText.IsEmpty() || slash < 0 || !equalsNoCase(record.relativePath.Left(slash), deviceFolderName))
      continue;
    CString target = joinPath(hostFolder, getFileName(record.relativePath));
    if (fileExists(target)) {
      CShortcut existing(target);
      if (existing.getTargetType() == CShortcut::Program) {
        setHiddenAttribute(target, false);
        continue;
      }
      const CString free = makeConflictFileName(getFileName(target), hostFolder);
      if (free.IsEmpty()) {
        writeLog(kLogNoConflictName, target);
        continue;
      }
      target = joinPath(hostFolder, free);
    }
    const CString copy = driveCopyOfLinkTarget(computerFolder, record.linkText);
    if (!fileExists(copy)) continue;
    CShortcut shortcut(target);
    if (!shortcut.setTargetPath(copy)) writeLog(kLogShortcutRetargetFailed, target, copy);
  }
}

bool CFolderCustomizer::hideHostItems(const CString& folder) {
  CSyncSnapshot snapshot;
  if (!snapshot.read(getBackupSnapshotPath())) return false;
  CStringArray entries;
  if (!listFolder(folder, entries, true)) return true;
  for (INT_PTR i = 0; i < entries.GetSize(); ++i) {
    if (!isDesktopIniFile(entries[i])) setHiddenAttribute(entries[i], true);
  }
  return true;
}

// ---- logout ----------------------------------------------------------------------------------------

bool CFolderCustomizer::depersonalize() {
  CSystemProfile* self = getProfileDatabase().getThisComputerProfile();
  if (!self) return false;
  bool ok = true;
  for (auto& stored : getProfileDatabase().profiles()) {
    CSystemProfile* profile = stored.get();
    if (profile == self || profile->isLoginComputer()) continue;
    if (!depersonalizeProfile(profile, false)) ok = false;
  }
  if (!self->isLoginComputer()) {
    CSystemProfile* login = getProfileDatabase().getLoginProfile();
    if (login && !depersonalizeProfile(login, true)) ok = false;
  }
  if (ok) m_personalized = false;
  notifyShellFolderChanged(hostFolder);
  return ok;
}

bool CFolderCustomizer::depersonalizeProfile(CSystemProfile* profile, bool loginProfile) {
  if (!setupDevicePath(profile, deviceFolderName)) return false;
  if (loginProfile) {
    if (!cleanFolder(devicePath, hostFolder, getBackupSnapshotPath())) {
      writeLog(kLogLogoutSyncFailed, getName(), hostFolder);
      return false;
    }
    return true;
  }
  CString shortcut;
  shortcut.Format(kOtherComputerShortcutFormat, hostFolder, profile->m_nickname, deviceFolderName);
  if (fileExists(shortcut) && !deleteFileOp(shortcut)) {
    writeLog(kLogCleanFileFailed, getName(), shortcut);
    return false;
  }
  return true;
}

bool CFolderCustomizer::isShortcutWeMade(const CString& shortcut, const CString& drivePath) {
  CShortcut link(shortcut);
  if (liesInside(link.getTargetPath(), CFolderLookup::getSynchronizedComputersPath())) return true;
  std::vector<BYTE> ours;
  if (!readWholeFile(shortcut, ours)) return false;
  CStringArray names;
  if (!listFiles(drivePath, names, true, false)) return false;
  for (INT_PTR i = 0; i < names.GetSize(); ++i) {
    if (!isShortcutFile(names[i])) continue;
    std::vector<BYTE> theirs;
    if (readWholeFile(names[i], theirs) && theirs == ours) return true;
  }
  return false;
}

bool CFolderCustomizer::cleanFolder(const CString& drivePath, const CString& folder, const CString& backupSnapshotPath) {
  CSyncSnapshot snapshot;
  if (!snapshot.read(backupSnapshotPath)) {
    writeLog(kLogReadBackupFailed, backupSnapshotPath);
    return false;
  }
  CStringArray entries;
  if (!listFolder(folder, entries, true)) {
    writeLog(kLogListHostFailed, folder);
    return false;
  }
  bool ok = true;
  for (INT_PTR i = 0; i < entries.GetSize(); ++i) {
    const CString& entry = entries[i];
    if (snapshot.findByHostPath(entry)) continue;
    if (directoryExists(entry)) {
      CStringArray files;
      if (listFiles(entry, files, true, true)) {
        for (INT_PTR j = 0; j < files.GetSize(); ++j) {
          if (!moveFileToDevice(drivePath, folder, files[j])) ok = false;
        }
      } else {
        ok = false;
      }
      removeEmptyFolders(entry, true);
      continue;
    }
    if (isShortcutFile(entry) && isShortcutWeMade(entry, drivePath)) {
      if (!deleteFileOp(entry)) writeLog(kLogDeleteShortcutFailed, entry);
      continue;
    }
    if (!moveFileToDevice(drivePath, folder, entry)) ok = false;
  }
  return ok;
}

bool CFolderCustomizer::moveFileToDevice(const CString& drivePath, const CString& folder, const CString& file) {
  const CString relative = getRelativePath(file, folder);
  if (relative.IsEmpty()) return false;
  CString target = joinPath(drivePath, relative);
  if (!createDirectoryTree(getParentFolder(target))) return false;
  // A file the user made in the session never replaces one of the drive's.
  if (pathExists(target)) {
    target = CFileSynchronizer::makeConflictPath(target);
    if (target.IsEmpty()) return false;
  }
  bool goOn = true;
  if (doFileOperationWithPrompt(file, target, kFileOpCopy, goOn) != kFileOpDone) {
    if (goOn) writeLog(kLogMoveFailed, getName(), file);
    return !goOn;
  }
  goOn = true;
  if (doFileOperationWithPrompt(file, CString(), kFileOpDelete, goOn) != kFileOpDone) {
    if (goOn) writeLog(kLogMoveFailed, getName(), file);
    return !goOn;
  }
  const CString parent = getParentFolder(file);
  if (!equalsNoCase(parent, folder) && directoryExists(parent) && isFolderEmpty(parent)) RemoveDirectoryW(parent.GetString());
  return true;
}

// ---- restore ---------------------------------------------------------------------------------------

bool CFolderCustomizer::restore() {
  // A login as this very computer hid nothing and wrote no snapshot of its own: what is hidden
  // now is the user's doing on their own folder, and a snapshot still lying about belongs to an
  // earlier login as another computer.
  if (thisComputerIsLoginComputer()) return true;
  CSyncSnapshot snapshot;
  const CString snapshotPath = getBackupSnapshotPath();
  const bool known = snapshot.read(snapshotPath);
  if (!known) writeLog(kLogRestoreReadFailed, snapshotPath);
  CStringArray entries;
  if (!listFolder(hostFolder, entries, true)) return true;
  for (INT_PTR i = 0; i < entries.GetSize(); ++i) {
    if (isDesktopIniFile(entries[i])) continue;
    const CFileSnapshot* record = known ? snapshot.findByHostPath(entries[i]) : nullptr;
    // A host item recorded hidden gets its flag back: the login may have shown it (a program
    // shortcut standing in for one of the user's).
    setHiddenAttribute(entries[i], record && record->hidden);
  }
  return true;
}

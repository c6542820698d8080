// The file snap-in (file_customizer.h).
#include "snapins/file_customizer.h"

#include "app/app_messages.h"
#include "app/customizer_doc.h"
#include "app/document_host_services.h"
#include "app/file_operation.h"
#include "app/file_util.h"
#include "app/folder_lookup.h"
#include "app/log.h"
#include "app/messages.h"
#include "app/preference_file.h"
#include "app/program_texts.h"
#include "app/profile_database.h"
#include "app/registry.h"
#include "app/system_profile.h"
#include "lang/ids.h"
#include "platform/win32/win32.h"
#include "snapins/factory_context.h"
#include "snapins/space_man.h"

namespace {

constexpr const char16_t* kUserShellFolders =
    u"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
constexpr const char16_t* kShellFolders =
    u"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr const char16_t* kMenuOrderFavorites =
    u"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MenuOrder\\Favorites";
constexpr const char16_t* kExplorerAdvanced =
    u"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced";
constexpr const char16_t* kFavoritesValue = u"Favorites";
constexpr const char16_t* kFavoritesMenuOrderKey = u"FavoritesMenuOrder";
constexpr const char16_t* kHiddenValue = u"hidden";
constexpr const char16_t* kDipsKey = u"DIPS";
constexpr const char16_t* kComputerFavoritesKey = u"Favorites";
constexpr const char16_t* kMyComputerFolder = u"My Computer";
constexpr const char16_t* kOriginalDesktop = u"Original Desktop";
constexpr const char16_t* kOriginalMyDocuments = u"Original My Documents";
constexpr const char16_t* kSnapshotExtension = u".snap";
constexpr const char16_t* kOtherComputerShortcutFormat = u"%s\\%s Files.lnk";
constexpr DWORD kHideHiddenFiles = 2;
constexpr DWORD kShowHiddenFiles = 1;
constexpr DWORD kNoDayLimit = 0xFFFFFFFF;

constexpr const char16_t* kLogMenuOrderNotSynchronized = u"Failed to set Favorites Menu Order while synchronizing.";
constexpr const char16_t* kLogMenuOrderNotPersonalized = u"Failed to set Favorites Menu Order while personalizing.";
constexpr const char16_t* kLogHiddenNotRead = u"Failed to get Explorer's hidden parameter from registry.";
constexpr const char16_t* kLogHiddenNotSet =
    u"Failed to set Windows Explorer's show hidden files setting during personalize.";
constexpr const char16_t* kLogFavoritesPathMissing = u"Failed to find backed up favorites path.";
constexpr const char16_t* kLogHiddenNotRestored = u"Failed to get Windows Explorer hidden parameter from %s local registry.";

CString localPrefs() { return CString(kLocalPrefsKey); }

CString localPrefsPath(const char16_t* name) { return joinPath(localPrefs(), CString(name)); }

bool keyExists(const CString& path) { return CRegistry(path).isOpen(); }

// The computer's copy of Explorer's Favorites menu order, in the pref store.
CString computerFavoritesKey(const CSystemProfile& profile) {
  return joinPath(CPreferenceFile::getComputerPrefsPath(profile), CString(kComputerFavoritesKey));
}

// Copies the tree when its source exists. Without a source the destination goes too: the menu
// order there is none, and an empty key of ours must not stand in for it.
bool copyTreeIfPresent(const CString& source, const CString& destination) {
  if (keyExists(source)) return CRegistry::copyTree(source, destination);
  CRegistry target(destination);
  return !target.isOpen() || target.deleteKey();
}

bool lastNameIsFile(const CString& hostPath) { return fileExists(hostPath); }

bool liesBelow(const CString& path, const CString& folder) {
  if (folder.IsEmpty() || path.GetLength() <= folder.GetLength()) return false;
  CString prefix = folder;
  if (prefix[prefix.GetLength() - 1] != u'\\') prefix += u'\\';
  return startsWithNoCase(path, prefix);
}

std::unique_ptr<CFolderCustomizer> makeFolder(const CString& hostFolder, const char16_t* parking, UINT deviceName) {
  auto folder = std::make_unique<CFolderCustomizer>();
  folder->hostFolder = hostFolder;
  folder->parkingFolder = hostFolder.IsEmpty() ? CString() : joinPath(hostFolder, CString(parking));
  folder->deviceFolderName = loadResString(deviceName);
  folder->mode = 1;
  return folder;
}

}  // namespace

// ---- life ------------------------------------------------------------------------------------------

CFileCustomizer::CFileCustomizer() : CFileCustomizer(factorySpaceMan()) {}

CFileCustomizer::CFileCustomizer(CSpaceMan* spaceMan) : CCustomizer(CString(kFileCustomizerName)) {
  m_desktop = makeFolder(CFolderLookup::getDesktopPath(), kOriginalDesktop, IDS_FOLDER_WORD_DESKTOP);
  m_myDocuments = makeFolder(CFolderLookup::getMyDocumentsPath(), kOriginalMyDocuments, IDS_FOLDER_WORD_MY_DOCUMENTS);
  findDesktopListView(m_iconStore);
  m_synchronizer = std::make_unique<CFileSynchronizer>();
  m_synchronizer->followFileShortcuts = true;
  m_synchronizer->followFolderShortcuts = false;
  m_synchronizer->prefRecords = &m_syncRecords;
  CSystemProfile* self = getProfileDatabase().getThisComputerProfile();
  setUpSynchronizer(self);
  if (self) prepareRecords(self);
  if (spaceMan) spaceMan->addSynchronizer(this, m_synchronizer.get());
}

CFileCustomizer::~CFileCustomizer() = default;

void CFileCustomizer::setUpSynchronizer(CSystemProfile* profile) {
  const CString computerFolder = profile ? profile->getDeviceFolder() : CString();
  m_synchronizer->driveRoot = computerFolder;
  m_synchronizer->driveSnapshotPath = computerFolder.IsEmpty() ? CString() : computerFolder + kSnapshotExtension;
  // Recomputed from the snapshot's name on its next use.
  m_synchronizer->setBackupSnapshotPath(CString());
  bool anyFolder = false;
  for (const CString& name : {loadResString(IDS_FOLDER_WORD_DESKTOP), loadResString(IDS_FOLDER_WORD_FAVORITES),
                              loadResString(IDS_FOLDER_WORD_MY_DOCUMENTS), CString(kMyComputerFolder)}) {
    if (!computerFolder.IsEmpty() && directoryExists(joinPath(computerFolder, name))) anyFolder = true;
  }
  m_synchronizer->firstSyncMode = !anyFolder;
}

void CFileCustomizer::prepareRecords(CSystemProfile* profile) {
  CFileSyncPrefList& records = getFilePrefs(profile).records;
  std::vector<CString> hostPaths;
  for (auto& record : records) hostPaths.push_back(profilePathToHostPath(record->path));
  for (size_t i = 0; i < records.size(); ++i) {
    CFileSyncPref& record = *records[i];
    if (startsWithSpecialFolderName(record.path)) {
      record.deviceLocation = record.path;
    } else {
      const CString folder = lastNameIsFile(hostPaths[i]) ? getParentFolder(hostPaths[i]) : hostPaths[i];
      record.deviceLocation = joinPath(CString(kMyComputerFolder), getFileName(folder));
    }
    record.excluded.clear();
    if (lastNameIsFile(hostPaths[i]) || !directoryExists(hostPaths[i])) continue;
    for (size_t j = 0; j < records.size(); ++j) {
      if (j != i && liesBelow(hostPaths[j], hostPaths[i]))
        record.excluded.push_back(getRelativePath(hostPaths[j], hostPaths[i]));
    }
  }
  // What the synchronizer walks: the records as it reads them.
  // The records cannot be copied: the list is made at its size and filled in place.
  m_syncRecords = std::vector<CFileSyncPrefRecord>(records.size());
  for (size_t i = 0; i < records.size(); ++i) {
    const CFileSyncPref& record = *records[i];
    CFileSyncPrefRecord& walked = m_syncRecords[i];
    walked.synchronize = record.synchronize;
    walked.hostPath = record.path;
    walked.folderName = record.deviceLocation;
    walked.types = masksForFileCategories(record.label);
    walked.includeTypes = record.includeFileTypes;
    walked.recursive = record.recursive;
    walked.dayLimitOn = record.includeRecentFiles;
    walked.days = record.daysOld;
    for (const CString& excluded : record.excluded) {
      const CString hostPath = joinPath(hostPaths[i], excluded);
      walked.excludedHostPaths.Add(hostPath);
      walked.excludedDrivePaths.Add(m_synchronizer->getDevicePath(hostPath));
    }
  }
}

// ---- synchronization -------------------------------------------------------------------------------

bool CFileCustomizer::preCalculateSyncOps(CSystemProfile* profile) {
  if (!profile) return false;
  setUpSynchronizer(profile);
  prepareRecords(profile);
  return true;
}

bool CFileCustomizer::preExecuteSyncOps() { return m_synchronizer->preExecuteSyncOps(); }

bool CFileCustomizer::postExecuteSyncOps(CSystemProfile*, int executionResult) {
  bool ok = m_synchronizer->postExecuteSyncOps(true, executionResult);
  if (executionResult != kSyncDone) return ok;
  CSystemProfile* self = getProfileDatabase().getThisComputerProfile();
  if (!self) return false;
  if (!copyTreeIfPresent(CString(kMenuOrderFavorites), computerFavoritesKey(*self))) {
    writeLog(kLogMenuOrderNotSynchronized);
    ok = false;
  }
  documentHostServices().sendAppMessage(new CProgress(loadResString(IDS_FILES_DELETING_EMPTY_FOLDERS), CString()));
  const CString computerFolder = self->getDeviceFolder();
  if (directoryExists(computerFolder)) removeEmptyFolders(computerFolder, false);
  return ok;
}

ULONGLONG CFileCustomizer::getDeviceSpace(CSpaceRecord* record) {
  if (!record || !record->profile) return 0;
  const CString computerFolder = record->profile->getDeviceFolder();
  ULONGLONG bytes = 0;
  for (const CString& name : {CString(kMyComputerFolder), loadResString(IDS_FOLDER_WORD_MY_DOCUMENTS),
                              loadResString(IDS_FOLDER_WORD_DESKTOP), loadResString(IDS_FOLDER_WORD_FAVORITES)}) {
    const CString folder = joinPath(computerFolder, name);
    if (directoryExists(folder)) bytes += getFolderSize(folder, true);
  }
  record->setDeviceBytes(bytes);
  return bytes;
}

bool CFileCustomizer::removeProfileData(CSystemProfile* profile) {
  if (!profile) return true;
  const CString snapshot = profile->getDeviceFolder() + kSnapshotExtension;
  if (fileExists(snapshot) && !deleteFileOp(snapshot)) showMessageById(IDS_FILES_SNAPSHOT_NOT_DELETED, snapshot);
  return true;
}

// ---- state and passes --------------------------------------------------------------------------------

int CFileCustomizer::getSourceState() {
  if (m_desktop->getSourceState() < kSourceCarry || m_myDocuments->getSourceState() < kSourceCarry)
    return kSourceNothing;
  CRegistry local(localPrefs());
  CString favorites;
  if (!local.getString(kFavoritesValue, favorites)) return kSourceNothing;
  return hasSavedIconPositions() ? kSourceCarry : kSourceNothing;
}

bool CFileCustomizer::backup() {
  m_iconsSaved = saveDesktopIconPositions(m_iconStore);
  if (!m_iconsSaved) showMessageById(IDS_FILES_ICONS_NOT_SAVED);

  CString favorites;
  CRegistry shellFolders{CString(kUserShellFolders)};
  if (!shellFolders.getString(kFavoritesValue, favorites) || favorites.IsEmpty())
    favorites = CFolderLookup::getFavoritesPath();
  CRegistry local(localPrefs(), true, true);
  if (!local.setString(kFavoritesValue, favorites)) {
    showMessageById(IDS_FILES_FAVORITES_PATH_NOT_SAVED);
    return false;
  }
  if (!copyTreeIfPresent(CString(kMenuOrderFavorites), localPrefsPath(kFavoritesMenuOrderKey)))
    showMessageById(IDS_FILES_MENU_ORDER_NOT_SAVED);

  DWORD hidden = kHideHiddenFiles;
  CRegistry advanced{CString(kExplorerAdvanced)};
  if (!advanced.getDword(kHiddenValue, hidden)) {
    writeLog(kLogHiddenNotRead);
    hidden = kHideHiddenFiles;
  }
  setPersonalized(true);
  local.setDword(kHiddenValue, hidden);

  m_desktop->backup();
  m_myDocuments->backup();
  return CCustomizer::backup();
}

bool CFileCustomizer::personalize() {
  setPersonalized(true);
  bool ok = m_desktop->personalize();
  ok = m_myDocuments->personalize() && ok;

  CProfileDatabase& database = getProfileDatabase();
  if (CSystemProfile* login = database.getLoginProfile()) {
    const CString source = computerFavoritesKey(*login);
    // A computer that never synchronized has no menu order of its own: the host's stays.
    if (keyExists(source) && !CRegistry::copyTree(source, CString(kMenuOrderFavorites)))
      writeLog(kLogMenuOrderNotPersonalized);
  }
  if (!CRegistry(CString(kExplorerAdvanced), true, true).setDword(kHiddenValue, kHideHiddenFiles))
    writeLog(kLogHiddenNotSet);

  CSystemProfile* self = database.getThisComputerProfile();
  if (!self) return false;
  for (auto& stored : database.profiles()) {
    CSystemProfile* profile = stored.get();
    if (profile == self || !profile->isLoginComputer()) continue;
    CString favorites;
    favorites.Format(u"%s\\%s", profile->getDeviceFolder(), loadResString(IDS_FOLDER_WORD_FAVORITES));
    // Favorites added during the session land on the drive.
    createDirectoryTree(favorites);
    CRegistry(CString(kUserShellFolders), true, true).setString(kFavoritesValue, favorites, REG_SZ);
  }
  return ok;
}

bool CFileCustomizer::depersonalize() {
  bool ok = m_desktop->depersonalize();
  ok = m_myDocuments->depersonalize() && ok;
  CRegistry menuOrder{CString(kMenuOrderFavorites)};
  if (menuOrder.isOpen()) menuOrder.deleteKey();
  CProfileDatabase& database = getProfileDatabase();
  CSystemProfile* self = database.getThisComputerProfile();
  for (auto& stored : database.profiles()) {
    CSystemProfile* profile = stored.get();
    if (profile == self) continue;
    CString shortcut;
    shortcut.Format(kOtherComputerShortcutFormat, m_desktop->hostFolder, profile->m_nickname);
    if (fileExists(shortcut)) deleteFileOp(shortcut);
  }
  return ok;
}

bool CFileCustomizer::restore() {
  bool ok = true;
  if (m_desktop->restore()) {
    if (keyExists(localPrefsPath(kDipsKey))) {
      if (m_iconRestoreDelay) Sleep(m_iconRestoreDelay);
      if (!restoreDesktopIconPositions(m_iconStore)) {
        showMessageById(IDS_FILES_ICONS_NOT_RESTORED);
        ok = false;
      }
    }
  } else {
    ok = false;
  }

  CRegistry local(localPrefs(), true, true);
  CString favorites;
  if (local.getString(kFavoritesValue, favorites)) {
    if (CRegistry(CString(kUserShellFolders), true, true).setString(kFavoritesValue, favorites, REG_EXPAND_SZ))
      local.deleteValue(kFavoritesValue);
    else
      showMessageById(IDS_FILES_FAVORITES_PATH_NOT_RESTORED);
    CRegistry shellFolders(CString(kShellFolders), false, true);
    if (shellFolders.isOpen()) shellFolders.deleteValue(kFavoritesValue);
  } else {
    writeLog(kLogFavoritesPathMissing);
  }

  const CString savedOrder = localPrefsPath(kFavoritesMenuOrderKey);
  if (keyExists(savedOrder)) {
    if (CRegistry::copyTree(savedOrder, CString(kMenuOrderFavorites))) CRegistry(savedOrder).deleteKey();
    else showMessageById(IDS_FILES_MENU_ORDER_NOT_RESTORED);
  }

  DWORD hidden = kShowHiddenFiles;
  if (!local.getDword(kHiddenValue, hidden)) {
    writeLog(kLogHiddenNotRestored, g_applicationName);
    hidden = kShowHiddenFiles;
  }
  CRegistry(CString(kExplorerAdvanced), true, true).setDword(kHiddenValue, hidden);

  if (!m_myDocuments->restore()) {
    showMessageById(IDS_FILES_MY_DOCUMENTS_NOT_RESTORED);
    ok = false;
  }
  setPersonalized(false);
  return ok;
}

bool CFileCustomizer::leaveNoTrace() {
  CRegistry savedOrder{localPrefsPath(kFavoritesMenuOrderKey)};
  if (savedOrder.isOpen()) savedOrder.deleteKey();
  CRegistry(localPrefs(), false, true).deleteValue(kFavoritesValue);
  bool ok = m_desktop->leaveNoTrace();
  return m_myDocuments->leaveNoTrace() && ok;
}

// ---- preferences -------------------------------------------------------------------------------------

CFileCustomizerPrefs& CFileCustomizer::getFilePrefs(CSystemProfile* profile) {
  std::unique_ptr<CFileCustomizerPrefs>& prefs = m_filePrefs[profile];
  if (!prefs) {
    prefs = std::make_unique<CFileCustomizerPrefs>();
    prefs->setDefaults();
  }
  return *prefs;
}

CCustomizerPrefs& CFileCustomizer::getPrefs(CSystemProfile* profile) { return getFilePrefs(profile); }

bool CFileCustomizer::savePrefs(CSystemProfile* profile) {
  if (!profile) return false;
  return getFilePrefs(profile).write(profile, this);
}

bool CFileCustomizer::loadPrefs(CSystemProfile* profile) {
  if (!profile) return false;
  return getFilePrefs(profile).read(profile, this);
}

bool CFileCustomizer::loadAllPrefs() {
  bool ok = true;
  for (auto& stored : getProfileDatabase().profiles()) ok = loadPrefs(stored.get()) && ok;
  return ok;
}

bool CFileCustomizer::saveAllPrefs() {
  bool ok = true;
  for (auto& stored : getProfileDatabase().profiles()) ok = savePrefs(stored.get()) && ok;
  return ok;
}

bool CFileCustomizer::hasDefaultPrefs(CSystemProfile* profile) { return getFilePrefs(profile).isDefault(); }

void CFileCustomizer::setDefaultPrefs(CSystemProfile* profile) { getFilePrefs(profile).setDefaults(); }

CFileSyncPrefList& CFileCustomizer::fileSyncPrefs(CSystemProfile* profile) { return getFilePrefs(profile).records; }

bool CFileCustomizer::removeFileSyncPref(CSystemProfile* profile, const CFileSyncPref* record) {
  CFileSyncPrefList& records = fileSyncPrefs(profile);
  for (auto it = records.begin(); it != records.end(); ++it) {
    if (it->get() == record) {
      records.erase(it);
      return true;
    }
  }
  return false;
}

void CFileCustomizer::setDesktopSync(CSystemProfile* profile, bool synchronize) {
  CFileCustomizerPrefs& prefs = getFilePrefs(profile);
  const CString desktop = loadResString(IDS_FOLDER_WORD_DESKTOP);
  for (auto& record : prefs.records) {
    if (equalsNoCase(record->path, desktop)) {
      record->synchronize = synchronize;
      return;
    }
  }
  if (!synchronize) return;
  auto record = std::make_unique<CFileSyncPref>(prefs.desktopTemplate);
  record->synchronize = true;
  prefs.records.push_back(std::move(record));
}

void CFileCustomizer::setDesktopSyncDays(CSystemProfile* profile, bool synchronize, DWORD days) {
  CFileCustomizerPrefs& prefs = getFilePrefs(profile);
  const CString desktop = loadResString(IDS_FOLDER_WORD_DESKTOP);
  const auto apply = [&](CFileSyncPref& record) {
    record.synchronize = synchronize;
    record.includeRecentFiles = days != kNoDayLimit;
    record.daysOld = days;
  };
  for (auto& record : prefs.records) {
    if (equalsNoCase(record->path, desktop)) {
      apply(*record);
      return;
    }
  }
  if (!synchronize) return;
  auto record = std::make_unique<CFileSyncPref>(prefs.desktopTemplate);
  apply(*record);
  prefs.records.push_back(std::move(record));
}

void CFileCustomizer::setFavoritesSync(CSystemProfile* profile, bool on) {
  CFileCustomizerPrefs& prefs = getFilePrefs(profile);
  for (auto it = prefs.records.begin(); it != prefs.records.end(); ++it) {
    if (**it == prefs.favoritesTemplate) {
      if (!on) prefs.records.erase(it);
      return;
    }
  }
  if (on) prefs.records.push_back(std::make_unique<CFileSyncPref>(prefs.favoritesTemplate));
}

// The Outlook data snap-in (outlook_customizer.h).
#include "outlook/outlook_customizer.h"

#include "app/customizer_doc.h"
#include "app/customizer_exception.h"
#include "app/file_operation.h"
#include "app/file_util.h"
#include "app/folder_lookup.h"
#include "app/log.h"
#include "app/messages.h"
#include "app/preference_file.h"
#include "app/profile_database.h"
#include "app/registry.h"
#include "app/structured_exception.h"
#include "app/system_profile.h"
#include "lang/ids.h"
#include "outlook/email_accounts_customizer.h"
#include "outlook/mapi_internal.h"
#include "outlook/message_manager.h"
#include "outlook/outlook_install.h"
#include "outlook/outlook_profile_manager.h"
#include "platform/afx/exception.h"
#include "platform/win32/file.h"
#include "snapins/factory_context.h"
#include "snapins/space_man.h"
#include "ui/synchronize_progress_dialog.h"

namespace {

// The Exchange update run: mode 3, this snap-in alone.
constexpr DWORD kExchangeSyncMode = 3;

constexpr const char16_t* kPreCalculateName = u"COutlookCustomizer::preCalculateSyncOps";
constexpr const char16_t* kPostExecuteName = u"COutlookCustomizer::postExecuteSyncOps";
constexpr const char16_t* kUninitializeName = u"OutlookCustomizer::uninitializeMapiServices";

constexpr const char16_t* kLogBackupMapiFailed = u"{Outlook Customizer}: Backup failed to initialize mapi services.";
constexpr const char16_t* kLogDeleteProfilesFailed =
    u"{Outlook Customizer}: Failed to detele outlook profiles key before restore.";
constexpr const char16_t* kLogInitSyncFailed = u"{Outlook Customizer}: Failed to init synchronizer, trying again.";
constexpr const char16_t* kLogVersionNotSaved = u"{Outlook Customizer}: Failed to save outlook version to Kipo registry.";
constexpr const char16_t* kLogPstKeptPersonalized =
    u"{Outlook Customizer}: The Outlook data of %s is kept: Outlook runs on its personal folders file until the "
    u"logout.";
constexpr const char16_t* kLogOutlookNotConfigured =
    u"{Outlook Customizer}: Outlook has no mail profile on this computer; its folders are not synchronized.";
constexpr const char16_t* kLogOutlookFolderNotDeleted = u"{Outlook Customizer}: Failed to delete the folder %s.";

// Below `folder` (newline-separated names), ignoring case: `path` is `folder` or lies inside it.
bool liesBelowFolderPath(const CString& path, const CString& folder) {
  if (path.IsEmpty() || folder.IsEmpty()) return false;
  if (equalsNoCase(path, folder)) return true;
  return path.GetLength() > folder.GetLength() && startsWithNoCase(path, folder) && path[folder.GetLength()] == u'\n';
}

}  // namespace

bool overlapsAnyFolderPath(const CString& path, const std::vector<CString>& paths) {
  for (const CString& other : paths) {
    if (liesBelowFolderPath(path, other) || liesBelowFolderPath(other, path)) return true;
  }
  return false;
}

// ---- construction ---------------------------------------------------------------------------------

COutlookCustomizer::COutlookCustomizer()
    : m_document(factoryDocument()), m_itemSynchronizer(std::make_unique<CItemSynchronizer>()) {
  if (CSpaceMan* spaceMan = factorySpaceMan()) spaceMan->addSynchronizer(this, m_itemSynchronizer.get());
}

COutlookCustomizer::~COutlookCustomizer() {
  mapilayer::guarded(u"COutlookCustomizer::~COutlookCustomizer", false, [&] { return deleteSnapshotsIfPstSizesMatch(); });
  // The synchronizer's sessions and stores go before the profile manager ends MAPI.
  m_itemSynchronizer->reset();
  m_prefsByProfile.clear();
}

CString COutlookCustomizer::thisComputerOutlookKey() {
  return outlookPrefsKeyFor(getProfileDatabase().getThisComputerProfile());
}

CString COutlookCustomizer::getSnapshotPath(CSystemProfile* profile) {
  if (!profile) return CString();
  return profile->getDeviceFolder() + kOutlookSnapshotSuffix;
}

// ---- the link ---------------------------------------------------------------------------------------

bool COutlookCustomizer::drivePstExists(CSystemProfile* profile) { return COutlookCustomizerBase::drivePstExists(profile); }
bool COutlookCustomizer::isExchangeMode() { return m_exchangeMode; }
bool COutlookCustomizer::isExchangeEnabled() { return m_exchangeEnabled; }
bool COutlookCustomizer::isSupportedOutlookVersion() { return m_profileManager->isSupportedOutlookVersion(); }
CMapiUtil* COutlookCustomizer::getMapiUtil() { return m_profileManager->getMapiUtil(); }
CMAPILoader* COutlookCustomizer::getMapiLoader() { return m_profileManager->getMapiLoader(); }
bool COutlookCustomizer::isMsmapiInstalled() { return m_profileManager->isMsmapiInstalled(); }
CString COutlookCustomizer::getSourceProfileName() { return m_profileManager->getSourceProfileName(); }
CString COutlookCustomizer::getAccountsProfileName() { return m_profileManager->getAccountsProfileName(); }

void COutlookCustomizer::getSourceMapiSession(CMapiUtil::Session& session) {
  session = CMapiUtil::Session(m_profileManager->getSourceMapiSession());
}
void COutlookCustomizer::openDefaultMessageStore(CMapiUtil::Store& store) {
  store = CMapiUtil::Store(m_profileManager->openDefaultMessageStore());
}
void COutlookCustomizer::openSyncMessageStore(CMapiUtil::Store& store) {
  store = CMapiUtil::Store(m_profileManager->openSyncMessageStore());
}
void COutlookCustomizer::openPersonalizeMessageStore(CMapiUtil::Store& store) {
  store = CMapiUtil::Store(m_profileManager->openPersonalizeMessageStore());
}

bool COutlookCustomizer::personalizeMessageManager(IMsgStore* store, const CString& profileName) {
  return CMessageManager().personalize(store, profileName);
}

bool COutlookCustomizer::synchronizeMessageManager(IMsgStore* source, IMsgStore* target) {
  return CMessageManager().synchronize(source, target);
}

// ---- preferences ------------------------------------------------------------------------------------

COutlookCustomizerPrefs& COutlookCustomizer::getOutlookPrefs(CSystemProfile* profile) {
  auto& prefs = m_prefsByProfile[profile];
  if (!prefs) prefs = std::make_unique<COutlookCustomizerPrefs>();
  return *prefs;
}

CCustomizerPrefs& COutlookCustomizer::getPrefs(CSystemProfile* profile) { return getOutlookPrefs(profile); }

COutlookFolderSyncPrefList& COutlookCustomizer::folderSyncPrefs(CSystemProfile* profile) {
  return getOutlookPrefs(profile).records();
}

bool COutlookCustomizer::removeFolderSyncPref(CSystemProfile* profile, const COutlookFolderSyncPref* record) {
  if (!record) return false;
  COutlookFolderSyncPrefList& records = folderSyncPrefs(profile);
  for (auto it = records.begin(); it != records.end(); ++it) {
    if (it->get() == record) {
      records.erase(it);
      return true;
    }
  }
  return false;
}

void COutlookCustomizer::enableInboxSync(CSystemProfile* profile, bool enable) {
  getOutlookPrefs(profile).setInboxSync(enable, 0, true);
}

void COutlookCustomizer::setInboxSyncDays(CSystemProfile* profile, bool enable, DWORD days) {
  getOutlookPrefs(profile).setInboxSync(enable, days, false);
}

bool COutlookCustomizer::isOutlookConfigured() {
  CRegistry profiles(getOutlookProfilesRegkey());
  return profiles.isOpen() && profiles.getSubkeyCount() > 0;
}

bool COutlookCustomizer::savePrefs(CSystemProfile* profile) {
  if (!profile) return false;
  return getOutlookPrefs(profile).write(profile, this);
}

bool COutlookCustomizer::loadPrefs(CSystemProfile* profile) {
  if (!profile) return false;
  return getOutlookPrefs(profile).read(profile, this);
}

bool COutlookCustomizer::loadAllPrefs() {
  bool ok = true;
  for (auto& profile : getProfileDatabase().profiles()) {
    CSystemProfile* computer = profile.get();
    ok = getOutlookPrefs(computer).read(computer, this) && ok;
  }
  return ok;
}

bool COutlookCustomizer::saveAllPrefs() {
  bool ok = true;
  for (auto& profile : getProfileDatabase().profiles()) {
    CSystemProfile* computer = profile.get();
    ok = getOutlookPrefs(computer).write(computer, this) && ok;
  }
  return ok;
}

bool COutlookCustomizer::hasDefaultPrefs(CSystemProfile* profile) {
  return CCustomizer::hasDefaultPrefs(profile) && getOutlookPrefs(profile).isDefault();
}

void COutlookCustomizer::setDefaultPrefs(CSystemProfile* profile) {
  CCustomizer::setDefaultPrefs(profile);
  getOutlookPrefs(profile).setDefaults();
}

ULONGLONG COutlookCustomizer::getDeviceSpace(CSpaceRecord* record) {
  if (!record || !record->profile) return 0;
  const CString folder = COutlookProfileManager::getDeviceOutlookFolder(record->profile);
  const ULONGLONG bytes = directoryExists(folder) ? getFolderSize(folder, true) : 0;
  record->setDeviceBytes(bytes);
  return bytes;
}

// ---- passes -----------------------------------------------------------------------------------------

int COutlookCustomizer::getSourceState() {
  CRegistry host(getOutlookProfilesRegkey());
  CRegistry saved(joinPath(getLocalPrefsKey(), CString(kSavedProfilesKeyName)));
  if (!host.isOpen() || !saved.isOpen()) return kSourceNothing;
  CStringList hostNames;
  CStringList savedNames;
  if (!host.getSubkeyNames(hostNames, false) || !saved.getSubkeyNames(savedNames, false)) return kSourceNothing;
  for (POSITION pos = hostNames.GetHeadPosition(); pos;) {
    const CString name = hostNames.GetNext(pos);
    if (name == kPersonalizeProfileName) continue;
    bool found = false;
    for (POSITION at = savedNames.GetHeadPosition(); at && !found;) found = savedNames.GetNext(at) == name;
    if (!found) return kSourceNothing;
  }
  return kSourcePresent;
}

bool COutlookCustomizer::personalize() {
  if (!isSupportedOutlookVersion()) return true;
  if (getSourceState() < kSourceCarry) return false;
  m_sourceProfileName = m_profileManager->readSourceProfileName();
  CSystemProfile* login = getProfileDatabase().getLoginProfile();
  if (!login) return false;
  if (!drivePstExists(login)) return true;
  if (hasExchangeAccount(login) && !warnExchangeUnsupportedOnHost() && isExchangeReachable(login)) {
    auto* accounts = m_document ? dynamic_cast<CEMailAccountsCustomizer*>(
                                      m_document->findCustomizer(CString(kEMailAccountsSnapinName)))
                                : nullptr;
    CString server;
    CString mailbox;
    if (!accounts || !accounts->getExchangeNames(login, server, mailbox)) return false;
    if (!m_profileManager->createExchangeProfile(server, mailbox)) return false;
    m_exchangeMode = true;
  } else {
    if (!m_profileManager->createPersonalizeProfile(getDevicePstPath(login))) return false;
    m_exchangeMode = false;
  }
  setPersonalized(true);
  CRegistry options{CString(kExchangeClientOptionsKey)};
  if (options.isOpen()) options.setString(kPickLogonProfileValue, CString(u"0"));
  return true;
}

bool COutlookCustomizer::postPersonalize() {
  doExchangeSync();
  return true;
}

bool COutlookCustomizer::preDepersonalize() {
  doExchangeSync();
  return true;
}

bool COutlookCustomizer::depersonalize() {
  const CString key = thisComputerOutlookKey();
  if (!key.IsEmpty()) {
    CRegistry outlook(key, true, true);
    outlook.setString(kSourceMapiProfileNameValue, m_sourceProfileName);
  }
  return true;
}

bool COutlookCustomizer::backup() {
  if (!isSupportedOutlookVersion()) return true;
  CSystemProfile* login = getProfileDatabase().getLoginProfile();
  if (!login || !drivePstExists(login)) return true;
  if (m_profileManager->initializeMapiServices(false, nullptr) != kMapiInitReady) writeLog(kLogBackupMapiFailed);
  m_exchangeMode = hasExchangeAccount(login);
  CString source = m_profileManager->getSourceProfileName();
  if (source.IsEmpty()) {
    source = getDefaultProfile();
    m_profileManager->setSourceProfileName(source);
  }
  const CString local = getLocalPrefsKey();
  const CString savedPath = joinPath(local, CString(kSavedProfilesKeyName));
  if (!CRegistry::copyTree(getOutlookProfilesRegkey(), savedPath)) {
    showMessageById(IDS_OUTLOOK_BACKUP_PROFILES);
    CRegistry partial(savedPath);
    if (partial.isOpen()) partial.deleteKey();
    return false;
  }
  CRegistry localKey(local, true, true);
  if (!localKey.setString(kSourceProfileValue, source)) {
    showMessageById(IDS_OUTLOOK_BACKUP_SOURCE_NAME);
    return false;
  }
  CRegistry options{CString(kExchangeClientOptionsKey)};
  CString pick;
  if (options.isOpen() && options.getString(kPickLogonProfileValue, pick)) localKey.setString(kPickLogonProfileValue, pick);
  return CCustomizer::backup();
}

bool COutlookCustomizer::restore() {
  if (!isSupportedOutlookVersion()) return true;
  const CString local = getLocalPrefsKey();
  const CString savedPath = joinPath(local, CString(kSavedProfilesKeyName));
  CRegistry saved(savedPath);
  if (saved.isOpen()) {
    CRegistry host(getOutlookProfilesRegkey());
    if (host.isOpen() && !host.deleteKey()) writeLog(kLogDeleteProfilesFailed);
    if (!CRegistry::copyTree(savedPath, getOutlookProfilesRegkey())) showMessageById(IDS_OUTLOOK_RESTORE_PROFILES);
  }
  CRegistry localKey(local);
  CString pick;
  if (localKey.isOpen() && localKey.getString(kPickLogonProfileValue, pick)) {
    CRegistry options(CString(kExchangeClientOptionsKey), true, true);
    options.setString(kPickLogonProfileValue, pick);
  }
  // MAPI is torn down while the login still counts as personalized: the clean-up after it never
  // deletes the drive file Outlook has just used as the user's mailbox for the whole login.
  uninitializeMapiServices();
  setPersonalized(false);
  return true;
}

bool COutlookCustomizer::leaveNoTrace() { return true; }

// ---- Exchange -----------------------------------------------------------------------------------------

bool COutlookCustomizer::hasExchangeAccount(CSystemProfile* profile) {
  if (!m_document) return false;
  auto* accounts =
      dynamic_cast<CEMailAccountsCustomizer*>(m_document->findCustomizer(CString(kEMailAccountsSnapinName)));
  if (!accounts) return false;
  CString server;
  CString mailbox;
  if (!accounts->getExchangeNames(profile, server, mailbox)) return false;
  return !server.IsEmpty() && !mailbox.IsEmpty();
}

bool COutlookCustomizer::isExchangeReachable(CSystemProfile* profile) {
  if (!hasExchangeAccount(profile)) return false;
  auto* accounts =
      dynamic_cast<CEMailAccountsCustomizer*>(m_document->findCustomizer(CString(kEMailAccountsSnapinName)));
  CString server;
  CString mailbox;
  accounts->getExchangeNames(profile, server, mailbox);
  return m_profileManager->isExchangeServerReachable(server);
}

bool COutlookCustomizer::warnExchangeUnsupportedOnHost() {
  if (m_profileManager->getOutlookVersion() != 3 || !isOutlook2000InternetMailOnly()) return false;
  showMessageById(IDS_OUTLOOK_EXCHANGE_IMO);
  return true;
}

bool COutlookCustomizer::doExchangeSync() {
  if (!isPersonalized() || !m_exchangeMode || !m_document) return true;
  const std::vector<CCustomizer*> alone = {this};
  // The mailbox is pushed by executing the run's ops; a calculation alone would change nothing.
  m_document->getSpaceMan().requestSynchronization(kExchangeSyncMode, getProfileDatabase().getLoginProfile(), &alone);
  POSITION pos = m_document->GetFirstViewPosition();
  CView* view = pos ? m_document->GetNextView(pos) : nullptr;
  CSynchronizeProgressDialog progress(view);
  progress.m_subject = loadResString(IDS_OUTLOOK_EXCHANGE_UPDATE);
  progress.DoModal();
  return true;
}

// ---- synchronization --------------------------------------------------------------------------------

bool COutlookCustomizer::prepareDevicePst(CSystemProfile* profile) {
  if (!profile) return false;
  const CString folder = COutlookProfileManager::getDeviceOutlookFolder(profile);
  if (!directoryExists(folder) && !createDirectoryTree(folder)) return false;
  m_itemSynchronizer->setFirstSync(!drivePstExists(profile));
  return true;
}

void COutlookCustomizer::writeSourceProfileName(CRegistry& key) {
  const CString name = m_profileManager->getSourceProfileName();
  if (!name.IsEmpty()) key.setString(kSourceMapiProfileNameValue, name);
}

int COutlookCustomizer::initSynchronizer(CSystemProfile* profile) {
  if (!isSupportedOutlookVersion()) return kInitSyncReady;
  const CString snapshot = getSnapshotPath(profile);
  if (m_synchronizerReady && m_runProfile == profile && !snapshot.IsEmpty()) {
    // MAPI stays up between the synchronize dialog's searches, but its choices (the Inbox) may
    // have changed the records since: the next search works on them.
    copyRunFolderPrefs(profile);
    return kInitSyncReady;
  }
  if (!prepareDevicePst(profile)) return kInitSyncFailed;
  const int r = m_profileManager->initializeMapiServices(true, profile);
  if (r != kMapiInitReady) return r;
  CItemSynchronizer& sync = *m_itemSynchronizer;
  IMAPISession* source = nullptr;
  IMsgStore* sourceStore = nullptr;
  // A run after an earlier one of this login finds the personalize session closed; on Exchange it
  // is opened again, or the run would pair the drive file with the host's own profile.
  const bool personalized = m_document && m_document->isPersonalized();
  if (personalized && m_exchangeMode && !m_profileManager->hasPersonalizeSession())
    m_profileManager->getPersonalizeMapiSession();
  if (personalized && m_profileManager->hasPersonalizeSession() && m_profileManager->isPersonalizeSessionExchange()) {
    // An Exchange mailbox store is named after the mailbox: the session's default store is it.
    source = m_profileManager->getPersonalizeMapiSession();
    sourceStore = m_profileManager->openPersonalizeDefaultStore();
  } else {
    source = m_profileManager->getSourceMapiSession();
    sourceStore = m_profileManager->openDefaultMessageStore();
    const CString key = outlookPrefsKeyFor(profile);
    if (!key.IsEmpty()) {
      CRegistry outlook(key, true, true);
      writeSourceProfileName(outlook);
    }
  }
  sync.setSourceSession(source);
  sync.setSourceMessageStore(sourceStore);
  sync.setTargetSession(m_profileManager->getSyncMapiSession());
  sync.setTargetMessageStore(m_profileManager->openSyncMessageStore());
  copyRunFolderPrefs(profile);
  m_runProfile = profile;
  sync.setFolderSyncPrefs(&m_runFolderPrefs);
  sync.setSnapshotPath(snapshot);
  m_synchronizerReady = true;
  return r;
}

void COutlookCustomizer::copyRunFolderPrefs(CSystemProfile* profile) {
  m_runFolderPrefs.clear();
  for (const auto& record : folderSyncPrefs(profile)) m_runFolderPrefs.push_back(*record);
}

void COutlookCustomizer::keepResolvedFolderIds() {
  if (!m_runProfile) return;
  COutlookFolderSyncPrefList& records = folderSyncPrefs(m_runProfile);
  // The list does not change during a run; a record whose path no longer matches is left alone.
  for (size_t i = 0; i < records.size() && i < m_runFolderPrefs.size(); ++i) {
    COutlookFolderSyncPref& record = *records[i];
    const COutlookFolderSyncPref& run = m_runFolderPrefs[i];
    if (record.folderId.IsEmpty() && !run.folderId.IsEmpty() && record.itemPath == run.itemPath)
      record.folderId = run.folderId;
  }
}

bool COutlookCustomizer::preCalculateSyncOps(CSystemProfile* profile) {
  if (m_stopSyncThisRun) return true;
  // Outlook never set up on this host has no folders to carry; starting MAPI would only make a
  // profile on a host that had none.
  if (isSupportedOutlookVersion() && !isOutlookConfigured()) {
    writeLog(kLogOutlookNotConfigured);
    m_itemSynchronizer->setEnabled(false);
    return true;
  }
  int r = kInitSyncFailed;
  try {
    r = initSynchronizer(profile);
  } catch (CCustomizerException* e) {
    showMessageText(e->getMessage());
    e->Delete();
  } catch (CException* e) {
    CString text = exceptionErrorText(e);
    e->Delete();
    writeLogText(text.Left(1024));
  } catch (const CSE& e) {
    describeStructuredException(e, CString(kPreCalculateName), false);
  } catch (...) {
    writeLog(u"{%s}: Caught undefined exception.", kPreCalculateName);
  }
  if (r == kInitSyncFailed) {
    writeLog(kLogInitSyncFailed);
    m_itemSynchronizer->setEnabled(false);
    m_profileManager->showInitOutlookError();
  } else if (r == kInitSyncUnsupportedAccount) {
    m_profileManager->showUnsupportedAccountError();
  } else if (r == kInitSyncMapiNotStarted) {
    m_stopSyncThisRun = true;
  }
  m_itemSynchronizer->setEnabled(r == kInitSyncReady);
  return true;
}

bool COutlookCustomizer::postCalculateSyncOps(int) {
  if (m_synchronizerReady) keepResolvedFolderIds();
  return true;
}

bool COutlookCustomizer::preExecuteSyncOps() {
  if (!m_synchronizerReady) return true;
  const CString key = thisComputerOutlookKey();
  if (!key.IsEmpty()) {
    CRegistry outlook(key, true, true);
    outlook.setBool(kIsSynchronizedValue, true);
    writeSourceProfileName(outlook);
  }
  return m_itemSynchronizer->preExecuteSyncOps();
}

bool COutlookCustomizer::postExecuteSyncOps(CSystemProfile* profile, int executionResult) {
  if (!m_synchronizerReady || !isSupportedOutlookVersion()) return true;
  try {
    if (!m_itemSynchronizer->postExecuteSyncOps(profile != nullptr, executionResult)) return false;
    CRegistry computer(getComputerPrefsKey(profile), true, true);
    const CString version = getOutlookVersionString(m_profileManager->getOutlookVersion());
    if (!computer.setString(kOutlookVersionValue, version)) {
      writeLog(kLogVersionNotSaved);
      return false;
    }
    getDevicePrefs().save();
    return true;
  } catch (...) {
    mapilayer::reportCaught(kPostExecuteName);
  }
  uninitializeMapiServices();
  return true;
}

void COutlookCustomizer::postSynchronize() { uninitializeMapiServices(); }

bool COutlookCustomizer::uninitializeMapiServices() {
  m_stopSyncThisRun = false;
  if (!isSupportedOutlookVersion()) return true;
  bool ok = true;
  try {
    if (m_document) {
      m_document->postProgressText(loadResString(IDS_OUTLOOK_CLEANING_UP), CString());
      m_document->getSpaceMan().freeCustomizerSyncOps(this);
    }
    m_itemSynchronizer->reset();
    m_synchronizerReady = false;
    m_runProfile = nullptr;
    m_runFolderPrefs.clear();
    ok = m_profileManager->uninitializeMapiServices();
    if (!getProfileDatabase().getThisComputerProfile()) return false;
    deleteSnapshotsIfPstSizesMatch();
  } catch (...) {
    mapilayer::reportCaught(kUninitializeName);
    m_synchronizerReady = false;
    m_stopSyncThisRun = false;
  }
  return ok;
}

// ---- the drive's Outlook data -----------------------------------------------------------------------

bool COutlookCustomizer::deleteSnapshotsIfPstSizesMatch() {
  CSystemProfile* self = getProfileDatabase().getThisComputerProfile();
  if (!self) return false;
  // Preferences never read are not known to be empty: nothing is deleted on their account.
  auto it = m_prefsByProfile.find(self);
  const bool noRecords = it != m_prefsByProfile.end() && it->second->isLoaded() && it->second->records().empty();
  bool due = noRecords;
  if (!due) {
    const CString hostCopy = joinPath(CFolderLookup::getProductAppDataPath(), CString(kHostPstCopyName));
    const CString drivePst = getDevicePstPath(self);
    if (fileExists(hostCopy) && fileExists(drivePst)) {
      const ULONGLONG hostSize = getFileSize(hostCopy, false);
      due = hostSize != 0 && hostSize == getFileSize(drivePst, false);
    }
  }
  if (due && drivePstExists(self) && !deleteOutlookDeviceData(self)) return false;
  return true;
}

bool COutlookCustomizer::deleteOutlookDeviceData(CSystemProfile* profile) {
  if (!profile) return false;
  // Outlook works on the login computer's file for the whole login.
  if (isPersonalized() && profile == getProfileDatabase().getLoginProfile()) {
    writeLog(kLogPstKeptPersonalized, profile->getKey());
    return false;
  }
  const CString folder = COutlookProfileManager::getDeviceOutlookFolder(profile);
  if (directoryExists(folder) && !deleteFolder(folder)) {
    writeLog(kLogOutlookFolderNotDeleted, folder);
    return false;
  }
  const CString snapshot = getSnapshotPath(profile);
  if (fileExists(snapshot) && !DeleteFileW(snapshot)) showMessageById(IDS_OUTLOOK_SNAPSHOT_UNDELETABLE, snapshot);
  const CString backup = joinPath(CFolderLookup::getDeviceBackupPath(), fileNameOf(snapshot));
  if (fileExists(backup) && !DeleteFileW(backup)) showMessageById(IDS_OUTLOOK_BACKUP_SNAPSHOT_UNDELETABLE, backup);
  removeEmptyFolders(profile->getDeviceFolder(), false);
  return true;
}

bool COutlookCustomizer::removeProfileData(CSystemProfile* profile) {
  if (!m_document || !profile) return false;
  CSystemProfile* self = getProfileDatabase().getThisComputerProfile();
  if (profile == self && !uninitializeMapiServices()) return false;
  const CString key = outlookPrefsKeyFor(profile);
  if (!key.IsEmpty()) {
    CRegistry outlook(key, false, true);
    if (outlook.isOpen()) outlook.deleteValue(kSourceMapiProfileNameValue);
  }
  // Only this computer's name is the one the profile manager remembers.
  if (profile == self) {
    m_profileManager->setSourceProfileName(CString());
    m_sourceProfileName.Empty();
  }
  getOutlookPrefs(profile).setDefaults();
  return deleteOutlookDeviceData(profile);
}

// The customizer document: snap-in factory, the login, synchronize and logout passes, and the
// per-computer preferences it keeps (customizer_doc.h).
#include "app/customizer_doc.h"

#include <utility>

#include "app/app_messages.h"
#include "app/customizer_exception.h"
#include "app/document_host_services.h"
#include "app/file_util.h"
#include "app/folder_lookup.h"
#include "app/log.h"
#include "app/messages.h"
#include "app/profile_database.h"
#include "app/program_texts.h"
#include "app/registry.h"
#include "app/system_profile.h"
#include "app/windows_helpers.h"
#include "lang/ids.h"
#include "outlook/address_book_customizer.h"
#include "outlook/email_accounts_customizer.h"
#include "platform/afx/exception.h"
#include "outlook/outlook_customizer.h"
#include "outlook/outlook_process_customizer.h"
#include "outlook/outlook_settings_customizer.h"
#include "outlook/outlook_signature_customizer.h"
#include "platform/win32/win32.h"
#include "snapins/wallpaper_customizer.h"
#include "snapins/process_customizer.h"
#include "snapins/cookies_customizer.h"
#include "snapins/factory_context.h"
#include "snapins/history_cache_customizer.h"
#include "snapins/recent_docs_customizer.h"
#include "snapins/registry_key_customizer.h"
#include "snapins/registry_value_customizer.h"
#include "snapins/file_customizer.h"

namespace {

constexpr const char16_t* kProductKey = u"HKEY_CURRENT_USER\\Software\\Brackwater\\Kipo";
constexpr const char16_t* kPrefsKeyName = u"Prefs";
constexpr const char16_t* kPersonalizedProductValue = u"Personalized";
constexpr const char16_t* kPersonalizingValue = u"personalizing";
constexpr const char16_t* kSynchronizedComputersKey = u"Synchronized Computers";
constexpr const char16_t* kPrefsVersionValue = u"prefsVersion";
constexpr const char16_t* kPrefsChangedValue = u"prefsChanged";
constexpr const char16_t* kLastSynchronizationValue = u"Last Synchronization";
constexpr const char16_t* kSynchronizedUserValue = u"Synchronized User";
constexpr const char16_t* kPrefFileName = u"customizer.pref";
constexpr const char16_t* kDiagnosticFile = u"c:\\KipoDiag.txt";
constexpr const char16_t* kSyncMarkerSuffix = u".Sync";
// The key "deleteComputerPrefKeys" once named; the per-computer preferences live under
// "Synchronized Computers", which is what a removal deletes.
constexpr const char16_t* kSystemProfilesName = u"System Profiles";

// The view's "login cancelled" message.
constexpr UINT kLoginCancelledId = 647;

constexpr const char16_t* kLogPrimaryComputer = u"Primary computer(Nickname): %s (%s)";
constexpr const char16_t* kLogNoLoginProfile = u"{CustomizerDoc}: No login computer is chosen; the login is refused.";
constexpr const char16_t* kLogNoSnapins = u"{CustomizerDoc}: There are no snap-ins; the passes are skipped.";
constexpr const char16_t* kLogSaveComputerFailed = u"Failed to save your desktop setting before synchronizing.";
constexpr const char16_t* kLogAutostartFailed = u"Failed to set %s to run when windows starts.";
constexpr const char16_t* kLogAutostartNotRemoved = u"Failed to disable %s run when windows starts.";
constexpr const char16_t* kLogBackupFailed = u"Failed to backup %s";
constexpr const char16_t* kLogPersonalizeFailed = u"Failed to personalize %s";
constexpr const char16_t* kLogDepersonalizeFailed = u"Failed to depersonalize %s";
constexpr const char16_t* kLogRestoreFailed = u"Failed to restore %s";
constexpr const char16_t* kLogUserNameUnknown = u"{Customizer Doc}: Failed to get the current user name before synchronizing.";
constexpr const char16_t* kLogLeaveNoTraceRefused = u"{CustomizerDoc}: Leave-no-trace cannot procede while logged in.";
constexpr const char16_t* kLogPrefsNotDeleted = u"Failed to delete preferences from registry.";
constexpr const char16_t* kLogExceptionText = u"{%s}: %s";
constexpr const char16_t* kLogCleanUpAfterRun =
    u"{CustomizerDoc}: A synchronization runs; the device is closed when it has stopped.";
constexpr const char16_t* kLogReloadWhileRunning =
    u"{CustomizerDoc}: A synchronization runs; the device is not opened again.";
constexpr const char16_t* kLogMarkerNotCreated = u"{CustomizerDoc}: Failed to create the synchronize marker %s.";

constexpr const char16_t* kContextPersonalize = u"CustomizerDoc::personalize";
constexpr const char16_t* kContextBackupStep = u"CustomizerDoc::personalize(backup)";
constexpr const char16_t* kContextPersonalizeStep = u"CustomizerDoc::personalize(personalize)";
constexpr const char16_t* kContextSynchronize = u"CustomizerDoc::synchronize";
constexpr const char16_t* kContextDepersonalize = u"CustomizerDoc::depersonalize";
constexpr const char16_t* kContextDepersonalizeStep = u"CustomizerDoc::depersonalize(depersonalize)";
constexpr const char16_t* kContextRestoreStep = u"CustomizerDoc::depersonalize(restore)";

CString errorTextOf(CException* exception) {
  WCHAR text[1024] = {};
  exception->GetErrorMessage(text, 1024);
  return CString(text);
}

// Runs `step` in the guarded block every pass uses: the program's exception is shown (and
// logged), a class-library exception logged, anything else logged under the context. False when
// the step threw.
template <class Step>
bool guarded(const char16_t* context, Step&& step) {
  try {
    step();
    return true;
  } catch (CCustomizerException* e) {
    showMessageText(e->getMessage());
    e->Delete();
  } catch (CException* e) {
    writeLog(kLogExceptionText, CString(context), errorTextOf(e));
    e->Delete();
  } catch (...) {
    documentHostServices().reportUnknownException(CString(context));
  }
  return false;
}

bool diagnosticMode() { return fileExists(CString(kDiagnosticFile)); }

CString localPrefsKey() { return CString(kLocalPrefsKey); }

CString prefsRootPath() { return joinPath(CString(kProductKey), CString(kPrefsKeyName)); }

CString computerPrefsSubkey(const CSystemProfile& profile) {
  CString subkey;
  subkey.Format(u"%s\\%s", CString(kSynchronizedComputersKey), profile.getKey());
  return subkey;
}

bool isWindows2000OrLater() { return !isBeforeWindows2000(); }

// A snap-in under localPrefs\Snapins still holds the host.
bool anySnapinKeyPersonalized() {
  CRegistry snapins(joinPath(localPrefsKey(), CString(kSnapinsKeyName)));
  if (!snapins.isOpen()) return false;
  CStringList names;
  if (!snapins.getSubkeyNames(names, true)) return false;
  for (POSITION pos = names.GetHeadPosition(); pos;) {
    CRegistry snapin(names.GetNext(pos));
    bool personalized = false;
    if (snapin.getBool(kPersonalizedValue, personalized) && personalized) return true;
  }
  return false;
}

LONGLONG secondsNow() { return _time64(nullptr); }

}  // namespace

// ---- the factory ----------------------------------------------------------------------------------

namespace {
template <class T>
std::unique_ptr<CCustomizer> make() {
  return std::make_unique<T>();
}

std::unique_ptr<CCustomizer> makeOutlookCustomizer() {
  auto outlook = std::make_unique<COutlookCustomizer>();
  outlook->setExchangeEnabled(true);
  writeLog(u"Exchange is enabled");
  return outlook;
}
}  // namespace

// Every pass follows this order (the logout passes walk it backwards). An entry whose class is
// not part of the program yet has no maker; each later snap-in fills its own line. The Outlook
// data snap-in's maker also switches its Exchange synchronization on (setExchangeEnabled(true))
// and logs "Exchange is enabled".
const std::vector<CustomizerFactoryEntry>& customizerFactory() {
  static const std::vector<CustomizerFactoryEntry> entries = {
      {u"COutlookProcessBackup", &make<COutlookProcessBackup>},  // first: Outlook is dealt with before any backup
      {u"CIEProcessCustomizer", &make<CIEProcessCustomizer>},
      {u"CWordProcessCustomizer", &make<CWordProcessCustomizer>},
      {u"CExcelProcessCustomizer", &make<CExcelProcessCustomizer>},
      {u"CPowerPointProcessCustomizer", &make<CPowerPointProcessCustomizer>},
      {u"CFileCustomizer", &make<CFileCustomizer>},
      {u"CWallpaperCustomizer", &make<CWallpaperCustomizer>},
      {u"COutlookCustomizer", &makeOutlookCustomizer},
      {u"COutlookSettingsCustomizer", &make<COutlookSettingsCustomizer>},
      {u"CEMailAccountsCustomizer", &make<CEMailAccountsCustomizer>},
      {u"COutlookABCustomizer", &make<COutlookABCustomizer>},
      {u"CMsWordCustomizer", &make<CMsWordCustomizer>},
      {u"CMsExcelCustomizer", &make<CMsExcelCustomizer>},
      {u"CMsPowerPointCustomizer", &make<CMsPowerPointCustomizer>},
      {u"CHistoryUserCustomizer", &make<CHistoryUserCustomizer>},
      {u"CHistoryShellCustomizer", &make<CHistoryShellCustomizer>},
      {u"CHistoryCacheCustomizer", &make<CHistoryCacheCustomizer>},
      {u"CHistoryDaysCustomizer", &make<CHistoryDaysCustomizer>},
      {u"CHomePageCustomizer", &make<CHomePageCustomizer>},
      {u"CRecentDocsCustomizer", &make<CRecentDocsCustomizer>},
      {u"COutlookProcessPersonalize", &make<COutlookProcessPersonalize>},
      {u"COutlookSignatureCustomizer", &make<COutlookSignatureCustomizer>},
      {u"CCookiesCustomizer", &make<CCookiesCustomizer>},
  };
  return entries;
}

// ---- the document ---------------------------------------------------------------------------------

IMPLEMENT_DYNCREATE(CCustomizerDoc, CDocument)

BEGIN_MESSAGE_MAP(CCustomizerDoc, CDocument)
END_MESSAGE_MAP()

// Clears `busy` on every way out of a login pass, and lets a close the pump held back meanwhile
// reach the main window.
class CBusyScope {
 public:
  explicit CBusyScope(CCustomizerDoc& document) : m_document(document) {}
  ~CBusyScope() {
    m_document.m_busy = false;
    CDocumentHostServices& services = documentHostServices();
    if (!services.isClosePending()) return;
    HWND main = services.getMainWindow();
    if (main) PostMessageW(main, WM_CLOSE, 0, 0);
    services.clearClosePending();
    try {
      services.processMessages();
    } catch (...) {
      // Unwinding already: what a handler throws here has nowhere to go.
    }
  }
  CBusyScope(const CBusyScope&) = delete;
  CBusyScope& operator=(const CBusyScope&) = delete;

 private:
  CCustomizerDoc& m_document;
};

CCustomizerDoc::CCustomizerDoc() : m_spaceMan(m_customizers) {}

CCustomizerDoc::~CCustomizerDoc() { hostCleanUp(); }

CString CCustomizerDoc::getCustomizerPrefFilePath() {
  return joinPath(CFolderLookup::getSynchronizedComputersPath(), CString(kPrefFileName));
}

CString CCustomizerDoc::getSyncMarkerPath(const CSystemProfile& profile) {
  return profile.getDeviceFolder() + kSyncMarkerSuffix;
}

std::vector<CCustomizer*> CCustomizerDoc::getCustomizerPointers() const {
  std::vector<CCustomizer*> pointers;
  pointers.reserve(m_customizers.size());
  for (const auto& customizer : m_customizers) pointers.push_back(customizer.get());
  return pointers;
}

void CCustomizerDoc::addCustomizer(std::unique_ptr<CCustomizer> customizer) {
  if (customizer) m_customizers.push_back(std::move(customizer));
}

void CCustomizerDoc::addAdminOperation(std::unique_ptr<CAdminUserOperation> operation) {
  if (operation) m_adminOperations.push_back(std::move(operation));
}

void CCustomizerDoc::loadFromDevice() {
  if (m_spaceMan.isRunning()) {
    // The running synchronization walks the snap-ins this would replace.
    writeLog(kLogReloadWhileRunning);
    return;
  }
  if (m_loaded) hostCleanUp();
  m_personalizeDone = false;
  CPreferenceFile& store = getDevicePrefs();
  store.setFilePath(getCustomizerPrefFilePath());
  if (store.fileExists()) store.load();
  getProfileDatabase().loadProfiles();
  createCustomizers();
  m_spaceMan.buildSpaceRecords();

  CRegistry root(prefsRootPath(), true, true);
  DWORD version = 0;
  if (!root.getDword(kPrefsVersionValue, version)) version = 0;
  if (version > kPrefsVersion) {
    // Nothing of this session may be written over a newer program's files.
    discardCustomizers();
    throw new CCustomizerException(static_cast<UINT>(IDS_DOC_PREFS_TOO_NEW));
  }
  if (version < kPrefsVersion) {
    root.setDword(kPrefsVersionValue, kPrefsVersion);
    getProfileDatabase().writeSystemProfiles();
  }
  m_loaded = true;
}

void CCustomizerDoc::makeCustomizers() {
  const CFactoryDocumentScope factory(this);
  for (const CustomizerFactoryEntry& entry : customizerFactory()) {
    if (entry.create) addCustomizer(entry.create());
  }
}

void CCustomizerDoc::createCustomizers() {
  if (!m_customizers.empty()) discardCustomizers();
  makeCustomizers();
  for (auto& customizer : m_customizers) {
    if (customizer) customizer->loadAllPrefs();
  }
  if (!isWindows2000OrLater() || isUserAdministrator()) return;
  std::vector<CAdminUserOperation*> operations;
  bool needed = false;
  for (auto& operation : m_adminOperations) {
    operations.push_back(operation.get());
    if (operation->needsAdminRights()) needed = true;
  }
  CDocumentHostServices& services = documentHostServices();
  if (needed) services.runAdministratorLogon(operations, services.getMainWindow());
}

void CCustomizerDoc::discardCustomizers() {
  m_spaceMan.freeSyncOps();
  m_spaceMan.freeSynchronizers();
  m_customizers.clear();
}

bool CCustomizerDoc::isPersonalized() {
  for (auto& customizer : m_customizers) {
    if (customizer->isPersonalized()) return true;
  }
  return false;
}

CCustomizer* CCustomizerDoc::findCustomizer(const CString& name) {
  for (auto& customizer : m_customizers) {
    if (customizer->getName() == name) return customizer.get();
  }
  return nullptr;
}

bool CCustomizerDoc::removeProfileData(CSystemProfile* profile) {
  if (!profile) return false;
  bool ok = true;
  for (auto& customizer : m_customizers) ok = customizer->removeProfileData(profile) && ok;
  return ok;
}

bool CCustomizerDoc::postPersonalizeAll() {
  for (auto& customizer : m_customizers) customizer->postPersonalize();
  return true;
}

bool CCustomizerDoc::preDepersonalizeAll() {
  for (auto& customizer : m_customizers) customizer->preDepersonalize();
  return true;
}

bool CCustomizerDoc::checkLastRestore() {
  CString failed;
  for (auto& customizer : m_customizers) {
    if (!customizer->getLastRestoreSucceeded()) failed += customizer->getName() + u"\n";
  }
  if (failed.IsEmpty()) return true;
  if (documentHostServices().isOutlook2000InternetMailOnly()) return true;
  return !askYesNoById(IDS_DOC_LAST_RESTORE_FAILED, failed, g_applicationName);
}

void CCustomizerDoc::postProgress(int percent) {
  CDocumentHostServices& services = documentHostServices();
  services.postAppMessage(new CProgress(percent));
  services.processMessages();
}

void CCustomizerDoc::postProgressText(const CString& text1, const CString& text2) {
  CDocumentHostServices& services = documentHostServices();
  services.postAppMessage(new CProgress(text1, text2));
  services.processMessages();
}

// ---- login ----------------------------------------------------------------------------------------

bool CCustomizerDoc::personalize() {
  bool ok = false;
  guarded(kContextPersonalize, [&] { ok = personalizeSteps(); });
  return ok;
}

bool CCustomizerDoc::personalizeSteps() {
  CDocumentHostServices& services = documentHostServices();
  CSystemProfile* login = getProfileDatabase().getLoginProfile();
  if (!login) {
    writeLog(kLogNoLoginProfile);
    services.sendAppMessage(new CLoginMessage(CLoginMessage::kLoginEnded));
    return false;
  }
  if (fileExists(getSyncMarkerPath(*login))) {
    showMessageById(IDS_DOC_SYNC_INCOMPLETE, login->m_nickname);
    showMessageById(kLoginCancelledId);
    services.sendAppMessage(new CLoginMessage(CLoginMessage::kLoginEnded));
    return false;
  }
  if (!services.saveComputer()) writeLog(kLogSaveComputerFailed);
  if (!checkLastRestore()) {
    services.sendAppMessage(new CLoginMessage(CLoginMessage::kLoginEnded));
    return false;
  }

  bool ok = true;
  postProgress(0);
  writeLog(kLogPrimaryComputer, login->getKey(), login->m_nickname);
  CRegistry local(localPrefsKey(), true, true);
  CString failures;
  {
    CBusyScope busyScope(*this);
    if (!isPersonalized()) {
      if (m_customizers.empty()) {
        writeLog(kLogNoSnapins);
      } else {
        m_busy = true;
        if (!services.enableAutostart()) writeLog(kLogAutostartFailed, g_applicationName);
        local.setBool(kPersonalizingValue, true);
        ok = runPersonalizePasses(failures);
        postPersonalizeAll();
        local.setBool(kPersonalizingValue, false);
        CRegistry product(CString(kProductKey), true, true);
        product.setBool(kPersonalizedProductValue, true);
        m_personalizeDone = true;
      }
    }
    postProgressText(loadResString(IDS_DOC_LOGIN_DONE), CString());
    postProgress(100);
    if (!ok) writeLog(u"%s", formatMessageText(loadResString(IDS_DOC_LOGIN_FAILURES).GetString(), failures));
    if (m_endOfPassPause) Sleep(m_endOfPassPause);
    services.sendAppMessage(new CLoginMessage(CLoginMessage::kLoginEnded));
    services.runLoginLogoutHook(1);
    refreshDesktop();
  }
  m_personalizeTime = secondsNow();
  return ok;
}

bool CCustomizerDoc::runPersonalizePasses(CString& failures) {
  bool ok = true;
  const int step = 100 / (2 * getCustomizerCount());
  int progress = 0;
  for (size_t i = 0; i < m_customizers.size(); ++i) {
    CCustomizer* customizer = m_customizers[i].get();
    const CString name = customizer->getName();
    postProgressText(CString(u"Backing up ") + name, CString());
    if (diagnosticMode()) showMessageText(loadResString(IDS_DOC_DIAG_BACKUP) + name);
    bool stepOk = false;
    if (!guarded(kContextBackupStep, [&] { stepOk = customizer->backup(); })) stepOk = false;
    if (!stepOk) {
      ok = false;
      writeLog(kLogBackupFailed, name);
      failures += name + u"\n";
    }
    progress += step;
    postProgress(progress);
  }
  for (size_t i = 0; i < m_customizers.size(); ++i) {
    CCustomizer* customizer = m_customizers[i].get();
    const CString name = customizer->getName();
    postProgressText(loadResString(IDS_DOC_PERSONALIZING) + name, CString());
    if (customizer->getSourceState() >= kSourceCarry) {
      if (diagnosticMode()) showMessageById(IDS_DOC_DIAG_PERSONALIZE, name);
      bool stepOk = false;
      if (!guarded(kContextPersonalizeStep, [&] { stepOk = customizer->personalize(); })) stepOk = false;
      if (!stepOk) {
        ok = false;
        writeLog(kLogPersonalizeFailed, name);
        failures += name + u"\n";
      }
    }
    progress += step;
    postProgress(progress);
  }
  return ok;
}

// ---- synchronize ----------------------------------------------------------------------------------

bool CCustomizerDoc::synchronize(DWORD mode) {
  bool result = false;
  guarded(kContextSynchronize, [&] {
    if (m_customizers.empty()) return;
    if (isPersonalized()) {
      showMessageById(IDS_DOC_SYNC_WHILE_LOGGED_IN);
      return;
    }
    WCHAR buffer[256] = {};
    DWORD size = 256;
    CString user;
    if (GetUserNameW(buffer, &size)) {
      user = CString(buffer);
    } else if (isWindows2000OrLater()) {
      writeLog(kLogUserNameUnknown);
    }
    const CString stored = getSynchronizedUser();
    if (!user.IsEmpty() && !stored.IsEmpty() && user.CompareNoCase(stored.GetString()) != 0) {
      if (!askYesNoById(IDS_DOC_OTHER_USER, user, g_applicationName, stored)) return;
    }
    CSystemProfile* self = getProfileDatabase().getThisComputerProfile();
    if (!self) throw new CCustomizerException(static_cast<UINT>(IDS_DOC_NO_COMPUTER_PROFILE));
    const CString marker = getSyncMarkerPath(*self);
    HANDLE file = CreateFileW(marker.GetString(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      writeLog(kLogMarkerNotCreated, marker);
    } else {
      CloseHandle(file);
    }
    result = m_spaceMan.requestSynchronization(mode, nullptr, nullptr);
    if (result) {
      if (!setSynchronizedUser(user)) showMessageById(IDS_DOC_USER_NOT_SAVED, user);
      setLastSyncTime();
    }
  });
  return result;
}

// ---- logout ---------------------------------------------------------------------------------------

bool CCustomizerDoc::depersonalize() {
  bool ok = false;
  guarded(kContextDepersonalize, [&] { ok = depersonalizeSteps(); });
  return ok;
}

bool CCustomizerDoc::depersonalizeSteps() {
  CDocumentHostServices& services = documentHostServices();
  bool ok = true;
  CString failures;
  postProgress(0);
  if (isPersonalized()) {
    postProgressText(loadResString(IDS_DOC_LOGGING_OUT), CString());
    preDepersonalizeAll();
    ok = runDepersonalizePasses(failures);
    bool frequentUse = false;
    if (CSystemProfile* self = getProfileDatabase().getThisComputerProfile()) {
      openComputerPrefs(*self).getBool(kFrequentUseComputerValue, frequentUse);
    }
    if (!frequentUse && !services.disableAutostart()) writeLog(kLogAutostartNotRemoved, g_applicationName);
    CRegistry product(CString(kProductKey), true, true);
    product.setBool(kPersonalizedProductValue, false);
    m_personalizeDone = false;
    leaveNoTrace();
  }
  postProgress(100);
  postProgressText(loadResString(IDS_DOC_LOGOUT_DONE), CString());
  if (!ok) {
    writeLog(u"%s", formatMessageText(loadResString(IDS_DOC_LOGOUT_FAILURES).GetString(), failures,
                                      g_applicationName));
  }
  if (m_endOfPassPause) Sleep(m_endOfPassPause);
  CRegistry local(localPrefsKey(), true, true);
  local.setBool(kPersonalizingValue, false);
  services.sendAppMessage(new CLoginMessage(CLoginMessage::kLogoutEnded));
  services.runLoginLogoutHook(3);
  refreshDesktop();
  // The parked copies go first: a program killed between the two still finds the login file,
  // and its recovery run takes the rest away.
  services.deleteProductRegistryTraces();
  services.deleteLoginFile();
  return ok;
}

bool CCustomizerDoc::runDepersonalizePasses(CString& failures) {
  bool ok = true;
  const int count = getCustomizerCount();
  if (count == 0) return true;
  const int step = 100 / (2 * count);
  int progress = 0;
  for (int i = count - 1; i >= 0; --i) {
    CCustomizer* customizer = m_customizers[static_cast<size_t>(i)].get();
    const CString name = customizer->getName();
    postProgressText(loadResString(IDS_DOC_DEPERSONALIZING) + name, CString());
    if (diagnosticMode()) showMessageText(loadResString(IDS_DOC_DIAG_DEPERSONALIZE) + name);
    bool stepOk = false;
    if (!guarded(kContextDepersonalizeStep, [&] { stepOk = customizer->depersonalize(); })) stepOk = false;
    if (!stepOk) {
      ok = false;
      writeLog(kLogDepersonalizeFailed, name);
      failures += name + u"\n";
    }
    progress += step;
    postProgress(progress);
  }
  for (int i = count - 1; i >= 0; --i) {
    CCustomizer* customizer = m_customizers[static_cast<size_t>(i)].get();
    const CString name = customizer->getName();
    postProgressText(loadResString(IDS_DOC_RESTORING) + name, CString());
    if (diagnosticMode()) showMessageText(loadResString(IDS_DOC_DIAG_RESTORE) + name);
    bool stepOk = false;
    if (!guarded(kContextRestoreStep, [&] { stepOk = customizer->restore(); })) stepOk = false;
    customizer->setLastRestoreSucceeded(stepOk);
    if (!stepOk) {
      writeLog(kLogRestoreFailed, name);
      failures += name + u"\n";
      ok = false;
    }
    progress += step;
    postProgress(progress);
  }
  return ok;
}

bool CCustomizerDoc::leaveNoTrace() {
  if (isPersonalized()) {
    writeLog(kLogLeaveNoTraceRefused);
    return false;
  }
  bool ok = true;
  for (auto& customizer : m_customizers) ok = customizer->leaveNoTrace() && ok;
  return ok;
}

// ---- closing the device ---------------------------------------------------------------------------

void CCustomizerDoc::hostCleanUp() {
  if (!m_loaded) return;
  if (m_spaceMan.isRunning()) {
    // Reached through the run's message pump (the drive went, Windows is ending the logon): the
    // run's steps still hold the snap-ins, so they go when it has stopped.
    writeLog(kLogCleanUpAfterRun);
    m_spaceMan.stopRun([this] { hostCleanUp(); });
    return;
  }
  m_spaceMan.freeSyncOps();
  m_spaceMan.freeSynchronizers();
  deleteCustomizers();
  CPreferenceFile& store = getDevicePrefs();
  if (store.fileExists() && !documentHostServices().isSecureAreaLoggedOut()) store.save();
  if (!anySnapinKeyPersonalized()) {
    getProfileDatabase().deleteAllProfiles();
    store.openRoot();
    if (store.isOpen() && !store.deleteKey()) writeLog(kLogPrefsNotDeleted);
    store.open(CString(), false, false);
  }
  m_loaded = false;
}

void CCustomizerDoc::deleteCustomizers() {
  m_adminOperations.clear();
  for (auto& customizer : m_customizers) {
    customizer->saveAllPrefs();
    customizer.reset();
  }
  m_customizers.clear();
}

// ---- per-computer values --------------------------------------------------------------------------

bool CCustomizerDoc::isPrefsChanged(CSystemProfile* profile) {
  if (!profile) return false;
  CPreferenceFile& store = getDevicePrefs();
  store.openSubkey(computerPrefsSubkey(*profile));
  bool changed = false;
  if (!store.getBool(kPrefsChangedValue, changed)) changed = false;
  return changed;
}

bool CCustomizerDoc::markPrefsChanged(CSystemProfile* profile) {
  if (!profile) return false;
  CPreferenceFile& store = getDevicePrefs();
  store.openSubkey(computerPrefsSubkey(*profile));
  return store.setBool(kPrefsChangedValue, true);
}

bool CCustomizerDoc::setLastSyncTime() {
  openThisComputerPrefs().setDword(kLastSynchronizationValue, static_cast<DWORD>(secondsNow()));
  return true;
}

bool CCustomizerDoc::setSynchronizedUser(const CString& name) {
  return openThisComputerPrefs().setString(kSynchronizedUserValue, name);
}

CString CCustomizerDoc::getSynchronizedUser() {
  CString name;
  if (!openThisComputerPrefs().getString(kSynchronizedUserValue, name)) name.Empty();
  return name;
}

int CCustomizerDoc::countComputersWithDeviceFolder() {
  int count = 0;
  for (auto& profile : getProfileDatabase().profiles()) {
    if (profile->deviceFolderExists()) ++count;
  }
  return count;
}

CPreferenceFile& openComputerPrefs(const CSystemProfile& profile) {
  CPreferenceFile& store = getDevicePrefs();
  const CString subkey = computerPrefsSubkey(profile);
  // Writes go by path; the key is created so that reads through the handle find it too.
  CRegistry create(joinPath(prefsRootPath(), subkey), true, true);
  store.openSubkey(subkey);
  return store;
}

CPreferenceFile& openThisComputerPrefs() {
  CSystemProfile* self = getProfileDatabase().getThisComputerProfile();
  if (!self) throw new CCustomizerException(static_cast<UINT>(IDS_DOC_NO_COMPUTER_PROFILE));
  return openComputerPrefs(*self);
}

bool setLoginComputer(const CString& nickname) {
  CProfileDatabase& database = getProfileDatabase();
  CSystemProfile* profile = database.findByNickname(nickname);
  if (!profile) return false;
  if (CSystemProfile* current = database.getLoginProfile()) current->setLoginComputer(false);
  profile->setLoginComputer(true);
  return database.writeSystemProfiles();
}

bool deleteComputerPrefKeys(CSystemProfile* profile) {
  if (!profile) return false;
  if (profile == getProfileDatabase().getThisComputerProfile()) return false;
  const CString key = profile->getKey();
  auto deleteTree = [&](const char16_t* middle) {
    CString path;
    path.Format(u"%s\\%s\\%s\\%s", CString(kProductKey), CString(kPrefsKeyName), CString(middle), key);
    CRegistry tree(path);
    // A tree that is not there is gone already.
    if (!tree.isOpen()) return true;
    return tree.deleteKey();
  };
  const bool computersGone = deleteTree(kSynchronizedComputersKey);
  const bool profileGone = deleteTree(kSystemProfilesName);
  if (!computersGone || !profileGone) return false;
  return getDevicePrefs().save();
}

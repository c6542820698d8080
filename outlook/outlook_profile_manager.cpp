// The Outlook snap-in's MAPI profiles, sessions and stores (outlook_profile_manager.h).
#include "outlook/outlook_profile_manager.h"

#include "app/customizer_exception.h"
#include "app/document_host_services.h"
#include "app/file_util.h"
#include "app/log.h"
#include "app/messages.h"
#include "app/ping.h"
#include "app/preference_file.h"
#include "app/program_texts.h"
#include "app/registry.h"
#include "app/system_profile.h"
#include "lang/ids.h"
#include "outlook/mapi_internal.h"
#include "outlook/mapi_loader.h"
#include "outlook/outlook_customizer_base.h"
#include "outlook/outlook_install.h"
#include "platform/afx/coll.h"
#include "ui/dont_ask_dialog.h"

namespace {

constexpr DWORD kPingTimeoutMs = 5000;
constexpr int kQuestionWidth = 500;
constexpr int kQuestionHeight = 250;
constexpr const char16_t* kShowInitOutlookErrorPref = u"showInitOutlookError";

constexpr const char16_t* kLogMapiDetected = u"{Outlook Profile Manager}: Mapi is%sdetected.";
constexpr const char16_t* kLogVersionDetected = u"{Outlook Profile Manager}: Outlook version detected: %s";
constexpr const char16_t* kLogSyncSessionFailed = u"{Outlook Profile Manager}: Failed to open Synchronize Mapi session.";
constexpr const char16_t* kLogPersonalizeSessionFailed =
    u"{Outlook Profile Manager}: Failed to open personalize Mapi session.";
constexpr const char16_t* kLogOpenedDefault =
    u"{Outlook Profile Manager}: Opened default profile: %s in getSourceMapiSession.";
constexpr const char16_t* kLogNoDefaultName =
    u"{Outlook Profile Manager}: getSourceMapiSession failed to find the default profile name.";
constexpr const char16_t* kLogDefaultStoreFailed = u"{Outlook Profile Manager}: Failed to open default message store.";
constexpr const char16_t* kLogNoSourceName =
    u"{Outlook Profile Manager}: No source mapi profile name. If multiple profiles present, user will be prompted.";
constexpr const char16_t* kLogTargetProfileNull =
    u"{COutlookProfileManager::initializeMapiServices} error: targetProfile is NULL";
constexpr const char16_t* kLogSyncProfileFailed =
    u"{Outlook Profile Manager}: Failed to create %s MAPI profile in initializeMapiServices.";
constexpr const char16_t* kLogSourceStoreFailed =
    u"{Outlook Profile Manager}: Failed to create %s MAPI message store in source profile.";
constexpr const char16_t* kLogMapiException =
    u"{Outlook Profile Manager}: Mapi Exception occurred during InitSynchronizer. HResult: %08X";
constexpr const char16_t* kLogAddServiceFailed = u"{Outlook Profile Manager}: Failed to add message service to %s MAPI profile.";
constexpr const char16_t* kLogAddPstFailedTryInterstor =
    u"{Outlook Profile Manager}: Failed to add PST message service to %s MAPI profile, trying Interstor.";
constexpr const char16_t* kLogCloseSourceFailed = u"{Outlook Profile Manager}: Failed to close source mapi session.";
constexpr const char16_t* kLogCloseSyncBeforePersonalize =
    u"{OutlookCustomizer}: Failed to close %s sync profile prior to personalize.";
constexpr const char16_t* kLogRetargetFailed = u"{Outlook Profile Manager}: Failed to retarget default pst message service.";
constexpr const char16_t* kLogNoDefaultService =
    u"{Outlook Profile Manager}: Failed to find default message service for source profile";
constexpr const char16_t* kLogCreateProfileFailed = u"{Outlook Profile Manager}: Failed to create %s MAPI profile.";
constexpr const char16_t* kLogExchangeCreateFailed =
    u"{OutlookProfileManager}: Failed to create exchange profile for server: %s and mailbox: %s";
constexpr const char16_t* kLogExchangeStoreFailed =
    u"{OutlookProfileManager: Failed to get exchange personalize message store after profile created "
    u"successfully\nserver: %s and mailbox: %s.";
constexpr const char16_t* kLogExchangeFailed =
    u"{Outlook Profile Manager}: Failed to create exchange profile for server: %s mailbox: %s.";
constexpr const char16_t* kLogExchangeDisabled = u"{U3}Set exchange server not available.";
constexpr const char16_t* kLogDeleteProfileFailed = u"{Outlook Profile Manager}: Failed to delete the %s MAPI profile.";
constexpr const char16_t* kLogRemoveStoreFailed =
    u"{Outlook Profile Manager}: Failed to remove the %s message store from the source profile.";
constexpr const char16_t* kUninitializeName = u"COutlookProfileManager::uninitializeMapiServices";
constexpr const char16_t* kInitializeName = u"COutlookProfileManager::initializeMapiServices";

CString syncName() { return CString(kSyncProfileName); }
CString personalizeName() { return CString(kPersonalizeProfileName); }

HWND ownerWindow() { return documentHostServices().getMainWindow(); }

}  // namespace

COutlookProfileManager::COutlookProfileManager(COutlookCustomizerBase* owner) : m_owner(owner) {
  createMapiLoader();
  if (!::getMapiLoader()->isLoaded()) destroyMapiLoader();
  m_loader = ::getMapiLoader();
  createMapiUtil();
  m_util = ::getMapiUtil();
  m_outlookVersion = ::getOutlookVersion();
  m_msmapiInstalled = m_util && m_util->isMsmapi32Installed();
  writeLog(kLogMapiDetected, CString(m_loader ? u" " : u" not "));
  writeLog(kLogVersionDetected, getOutlookVersionString(m_outlookVersion));
}

COutlookProfileManager::~COutlookProfileManager() {
  releaseAll();
  destroyMapiLoader();
  destroyMapiUtil();
}

bool COutlookProfileManager::isSupportedOutlookVersion() const { return ::isSupportedOutlookVersion(); }

CString COutlookProfileManager::getDeviceOutlookFolder(CSystemProfile* profile) {
  if (!profile) return CString();
  return joinPath(profile->getDeviceFolder(), CString(kDeviceOutlookFolderName));
}

CString COutlookProfileManager::getDevicePstPath(CSystemProfile* profile) {
  if (!profile) return CString();
  return joinPath(getDeviceOutlookFolder(profile), CString(kDevicePstFileName));
}

// ---- names ------------------------------------------------------------------------------------------

CString COutlookProfileManager::readSourceProfileName() {
  const CString computer = CPreferenceFile::getThisComputerPrefsPath();
  if (computer.IsEmpty()) return CString();
  CRegistry key(joinPath(computer, CString(kDeviceOutlookFolderName)));
  CString name;
  if (!key.getString(kSourceMapiProfileNameValue, name)) name.Empty();
  return name;
}

CString COutlookProfileManager::getSourceProfileName() {
  if (!m_sourceProfileName.IsEmpty()) return m_sourceProfileName;
  CString name;
  if (m_owner && m_owner->isPersonalized()) {
    // The backup keeps the name beside the saved profiles tree, directly under the local key.
    CRegistry local(m_owner->getLocalPrefsKey());
    if (!local.getString(kSourceProfileValue, name) || name.IsEmpty()) name = getDefaultProfile();
  } else {
    name = readSourceProfileName();
  }
  if (name.IsEmpty()) {
    CRegistry profiles(getOutlookProfilesRegkey());
    CStringList names;
    if (profiles.getSubkeyNames(names, false) && names.GetCount() == 1) name = getDefaultProfile();
  }
  if (name.IsEmpty()) writeLog(kLogNoSourceName);
  return name;
}

CString COutlookProfileManager::getAccountsProfileName() {
  if (m_outlookVersion <= 3 && !m_msmapiInstalled) return getSourceProfileName();
  return personalizeName();
}

// ---- sessions and stores ----------------------------------------------------------------------------

IMAPISession* COutlookProfileManager::getSourceMapiSession() {
  if (m_sourceSession || !m_util) return m_sourceSession.get();
  const bool unnamed = m_sourceProfileName.IsEmpty();
  if (FAILED(m_util->logon(m_sourceSession, m_sourceProfileName))) m_sourceSession.reset();
  if (m_sourceSession && unnamed) {
    m_sourceProfileName = m_util->getProfileName(m_sourceSession.get());
    if (m_sourceProfileName.IsEmpty())
      writeLog(kLogNoDefaultName);
    else
      writeLog(kLogOpenedDefault, m_sourceProfileName);
  }
  return m_sourceSession.get();
}

IMAPISession* COutlookProfileManager::logOnOnce(CMapiUtil::Session& session, const CString& profile,
                                                const char16_t* failureLine) {
  if (session || !m_util) return session.get();
  if (FAILED(m_util->logon(session, profile)) || !session) {
    session.reset();
    writeLog(failureLine);
  }
  return session.get();
}

IMAPISession* COutlookProfileManager::getSyncMapiSession() {
  return logOnOnce(m_syncSession, syncName(), kLogSyncSessionFailed);
}

IMAPISession* COutlookProfileManager::getPersonalizeMapiSession() {
  return logOnOnce(m_personalizeSession, personalizeName(), kLogPersonalizeSessionFailed);
}

IMsgStore* COutlookProfileManager::openDefaultMessageStore() {
  if (m_defaultStore || !m_util) return m_defaultStore.get();
  if (IMAPISession* session = getSourceMapiSession()) m_util->openDefaultMessageStore(m_defaultStore, session);
  if (!m_defaultStore) writeLog(kLogDefaultStoreFailed);
  return m_defaultStore.get();
}

IMsgStore* COutlookProfileManager::openSyncMessageStore() {
  if (m_syncStore || !m_util) return m_syncStore.get();
  IMAPISession* session = nullptr;
  if (m_msmapiInstalled)
    session = getSyncMapiSession();
  else if (m_outlookVersion > 0)
    session = getSourceMapiSession();
  if (session) m_util->openMessageStore(m_syncStore, syncName(), session, false);
  return m_syncStore.get();
}

IMsgStore* COutlookProfileManager::openPersonalizeMessageStore() {
  if (m_personalizeStore || !m_util) return m_personalizeStore.get();
  if (IMAPISession* session = getPersonalizeMapiSession())
    m_util->openMessageStore(m_personalizeStore, personalizeName(), session, false);
  return m_personalizeStore.get();
}

IMsgStore* COutlookProfileManager::openPersonalizeDefaultStore() {
  if (m_personalizeDefaultStore || !m_util) return m_personalizeDefaultStore.get();
  if (IMAPISession* session = getPersonalizeMapiSession())
    m_util->openDefaultMessageStore(m_personalizeDefaultStore, session);
  return m_personalizeDefaultStore.get();
}

bool COutlookProfileManager::isPersonalizeSessionExchange() {
  return m_util && m_personalizeSession && m_util->isDefaultServiceExchange(m_personalizeSession.get());
}

// ---- start and stop ----------------------------------------------------------------------------------

int COutlookProfileManager::initializeMapiServices(bool forSync, CSystemProfile* profile) {
  try {
    m_sourceProfileName = getSourceProfileName();
    if (!m_util || !m_util->initializeMapi()) throw new CMapiException(CMapiException::kNotStarted);
    if (!forSync) return kMapiInitReady;
    const bool syncSide = m_msmapiInstalled ? m_syncSession && m_syncStore : static_cast<bool>(m_syncStore);
    if (m_sourceSession && m_defaultStore && syncSide) return kMapiInitReady;
    if (!openDefaultMessageStore()) return kMapiInitFailed;
    if (!profile) {
      writeLog(kLogTargetProfileNull);
      return kMapiInitFailed;
    }
    const CString pst = getDevicePstPath(profile);
    if (m_msmapiInstalled) {
      if (!createSyncProfile(pst)) {
        writeLog(kLogSyncProfileFailed, g_applicationName);
        uninitializeMapiServices();
        return kMapiInitFailed;
      }
    } else if (m_outlookVersion > 0) {
      if (!addPstStoreToProfile(m_sourceProfileName, pst)) writeLog(kLogSourceStoreFailed, g_applicationName);
      // The added store shows only in a session opened after it.
      m_defaultStore.reset();
      closeSourceSession();
      getSourceMapiSession();
      openSyncMessageStore();
    }
    return kMapiInitReady;
  } catch (CMapiException* e) {
    const UINT code = e->getCode();
    const HRESULT hr = e->getHresult();
    e->Delete();
    if (code == CMapiException::kNotStarted) {
      showInitOutlookError();
    } else {
      writeLog(kLogMapiException, static_cast<unsigned>(hr));
      uninitializeMapiServices();
    }
    return kMapiInitNotStarted;
  } catch (...) {
    mapilayer::reportCaught(kInitializeName);
  }
  return kMapiInitFailed;
}

bool COutlookProfileManager::uninitializeMapiServices() {
  m_sourceProfileName.Empty();
  if (!isSupportedOutlookVersion()) return true;
  bool ok = true;
  try {
    if (m_msmapiInstalled) {
      if (!closeSyncProfile()) ok = false;
      if (!closePersonalizeProfile()) ok = false;
    } else if (hasAddedPstStore()) {
      if (!removeAddedPstStore()) ok = false;
    }
    closeSourceSession();
    releaseAll();
    if (m_util && !m_util->uninitializeMapi()) ok = false;
  } catch (...) {
    mapilayer::reportCaught(kUninitializeName);
    ok = false;
  }
  return ok;
}

void COutlookProfileManager::closeSourceSession() {
  m_defaultStore.reset();
  if (!m_sourceSession) return;
  if (m_util) m_util->closeMapiSession(m_sourceSession);
  if (m_sourceSession) {
    writeLog(kLogCloseSourceFailed);
    m_sourceSession.reset();
  }
}

void COutlookProfileManager::releaseAll() {
  m_syncStore.reset();
  m_personalizeStore.reset();
  m_personalizeDefaultStore.reset();
  m_defaultStore.reset();
  m_syncSession.reset();
  m_personalizeSession.reset();
  m_sourceSession.reset();
  m_addedPstService = MAPIUID{};
  m_addedPstProfile.Empty();
}

bool COutlookProfileManager::deleteProfileIfPresent(const CString& name) {
  if (!m_util) return true;
  bool exists = false;
  if (!m_util->MAPIProfileExists(name, exists)) {
    // MAPI not running (a restore in a later run of the program): a profile whose key is gone
    // (the saved profiles are back) needs nothing more.
    if (!CRegistry(joinPath(getOutlookProfilesRegkey(), name)).isOpen()) return true;
    writeLog(kLogDeleteProfileFailed, name);
    return false;
  }
  if (!exists) return true;
  if (m_util->deleteMAPIProfile(name)) return true;
  writeLog(kLogDeleteProfileFailed, name);
  return false;
}

bool COutlookProfileManager::closeSyncProfile() {
  m_syncStore.reset();
  if (m_util && m_syncSession) m_util->closeMapiSession(m_syncSession);
  m_syncSession.reset();
  return deleteProfileIfPresent(syncName());
}

bool COutlookProfileManager::closePersonalizeProfile() {
  m_personalizeStore.reset();
  m_personalizeDefaultStore.reset();
  if (m_util && m_personalizeSession) m_util->closeMapiSession(m_personalizeSession);
  m_personalizeSession.reset();
  // Outlook runs on "Kipo" for the whole login; only the end of the login takes it away.
  if (m_owner && m_owner->isPersonalized()) return true;
  return deleteProfileIfPresent(personalizeName());
}

bool COutlookProfileManager::removeAddedPstStore() {
  bool ok = false;
  if (m_util) {
    CMapiUtil::ProfAdmin admin;
    m_util->getMapiProfAdmin(admin);
    CMapiUtil::ServiceAdmin services;
    // The session's own store goes with the service; nothing may hold it open.
    m_syncStore.reset();
    std::string name = mapilayer::profileAnsi(m_addedPstProfile);
    if (admin && SUCCEEDED(admin->AdminServices(name.data(), nullptr, 0, 0, services.put())) && services)
      ok = m_util->deleteMessageService(services.get(), &m_addedPstService);
  }
  if (!ok) writeLog(kLogRemoveStoreFailed, syncName());
  m_addedPstService = MAPIUID{};
  m_addedPstProfile.Empty();
  return ok;
}

// ---- profiles ------------------------------------------------------------------------------------------

bool COutlookProfileManager::addPstStoreToProfile(const CString& profileName, const CString& pst) {
  if (hasAddedPstStore()) return true;
  if (!m_util) return false;
  CMapiUtil::ProfAdmin admin;
  m_util->getMapiProfAdmin(admin);
  MAPIUID uid{};
  if (admin && (m_util->addPstMessageServiceToProfile(admin.get(), profileName, pst, syncName(), &uid) ||
                m_util->addInterstorMessageServiceToProfile(admin.get(), profileName, pst, syncName(), &uid))) {
    CMapiUtil::copyMapiUid(m_addedPstService, uid);
    m_addedPstProfile = profileName;
    return true;
  }
  writeLog(kLogAddServiceFailed, profileName);
  return false;
}

bool COutlookProfileManager::createSyncProfile(const CString& pst) {
  if (!m_util || !m_util->recreateProductProfile(syncName())) return false;
  if (openSyncMessageStore()) return true;
  m_syncStore.reset();
  if (m_syncSession) m_util->closeMapiSession(m_syncSession);
  m_syncSession.reset();
  // The store belongs to "KipoSync" itself; it is not one added to the source profile.
  CMapiUtil::ProfAdmin admin;
  m_util->getMapiProfAdmin(admin);
  if (admin && (m_util->addPstMessageServiceToProfile(admin.get(), syncName(), pst, syncName()) ||
                m_util->addInterstorMessageServiceToProfile(admin.get(), syncName(), pst, syncName())))
    return true;
  writeLog(kLogAddServiceFailed, syncName());
  return false;
}

bool COutlookProfileManager::createPstProfile(const CString& pst) {
  if (!m_util || !m_util->recreateProductProfile(personalizeName())) return false;
  if (openPersonalizeMessageStore()) return true;
  m_personalizeStore.reset();
  m_personalizeDefaultStore.reset();
  if (m_personalizeSession) m_util->closeMapiSession(m_personalizeSession);
  m_personalizeSession.reset();
  CMapiUtil::ProfAdmin admin;
  m_util->getMapiProfAdmin(admin);
  if (!admin) return false;
  if (m_util->addPstMessageServiceToProfile(admin.get(), personalizeName(), pst, personalizeName())) return true;
  writeLog(kLogAddPstFailedTryInterstor, personalizeName());
  if (m_util->addInterstorMessageServiceToProfile(admin.get(), personalizeName(), pst, personalizeName())) return true;
  writeLog(kLogAddServiceFailed, personalizeName());
  return false;
}

bool COutlookProfileManager::retargetDefaultPst(const CString& pst) {
  IMAPISession* session = m_util ? getSourceMapiSession() : nullptr;
  MAPIUID uid{};
  if (!session || !m_util->getDefaultServiceAndDeleteOthers(session, uid, true)) {
    writeLog(kLogRetargetFailed);
    writeLog(kLogNoDefaultService);
    return false;
  }
  CMapiUtil::ServiceAdmin services;
  if (FAILED(session->AdminServices(0, services.put())) || !services ||
      !m_util->configureMessageService(services.get(), &uid, personalizeName(), pst)) {
    writeLog(kLogRetargetFailed);
    return false;
  }
  return true;
}

bool COutlookProfileManager::createPersonalizeProfile(const CString& pst) {
  if ((m_owner && m_owner->getSourceState() < kSourceCarry) || !fileExists(pst)) return true;
  if (m_syncSession && !closeSyncProfile()) writeLog(kLogCloseSyncBeforePersonalize, g_applicationName);
  if (m_outlookVersion <= 3) {
    const int count = m_util ? m_util->getProfileCount() : -1;
    if (count == -1 || (count == 0 && m_msmapiInstalled)) {
      showFoldersUnavailable();
      return false;
    }
    if (!m_msmapiInstalled) {
      if (retargetDefaultPst(pst)) return true;
      showFoldersUnavailable();
      return false;
    }
  }
  if (!createPstProfile(pst)) {
    writeLog(kLogCreateProfileFailed, g_applicationName);
    showFoldersUnavailable();
    return false;
  }
  m_util->setDefaultProfile(personalizeName());
  return true;
}

bool COutlookProfileManager::createExchangeProfile(const CString& server, const CString& mailbox) {
  if (m_owner && m_owner->getSourceState() < kSourceCarry) return true;
  if (m_outlookVersion <= 3) {
    const int count = m_util ? m_util->getProfileCount() : -1;
    if (count == -1 || (count == 0 && m_msmapiInstalled)) {
      showFoldersUnavailable();
      return false;
    }
  }
  if (!m_msmapiInstalled || !m_util) {
    showFoldersUnavailable();
    return false;
  }
  // A "Kipo" left by an earlier login would make the new profile's creation fail.
  m_personalizeStore.reset();
  m_personalizeDefaultStore.reset();
  m_personalizeSession.reset();
  deleteProfileIfPresent(personalizeName());
  bool ok = SUCCEEDED(m_util->createExchangeProfile(personalizeName(), server, mailbox));
  if (!ok) {
    writeLog(kLogExchangeCreateFailed, server, mailbox);
  } else if (!openPersonalizeDefaultStore()) {
    writeLog(kLogExchangeStoreFailed, server, mailbox);
    ok = false;
  }
  if (!ok) {
    writeLog(kLogExchangeFailed, server, mailbox);
    showFoldersUnavailable();
    return false;
  }
  m_util->setDefaultProfile(personalizeName());
  m_sourceProfileName = personalizeName();
  return true;
}

bool COutlookProfileManager::isExchangeServerReachable(const CString& server) {
  if (!m_owner || !m_owner->isExchangeEnabled()) {
    writeLog(kLogExchangeDisabled);
    return false;
  }
  PingReply reply;
  return CPing().ping(server, reply, kPingTimeoutMs);
}

// ---- messages ------------------------------------------------------------------------------------------

void COutlookProfileManager::showSuppressibleError(UINT id) {
  const CString text = formatMessageText(loadResString(id), g_applicationName, g_applicationName);
  askUnlessSuppressed(ownerWindow(), text, loadResString(IDS_OUTLOOK_ALWAYS_SHOW_ERROR),
                      CString(kShowInitOutlookErrorPref), false, kQuestionWidth, kQuestionHeight);
}

void COutlookProfileManager::showInitOutlookError() { showSuppressibleError(IDS_OUTLOOK_INIT_ERROR); }

void COutlookProfileManager::showUnsupportedAccountError() { showSuppressibleError(IDS_OUTLOOK_UNSUPPORTED_ACCOUNT); }

void COutlookProfileManager::showFoldersUnavailable() {
  showMessageById(IDS_OUTLOOK_FOLDERS_UNAVAILABLE, g_applicationName, g_applicationName);
}

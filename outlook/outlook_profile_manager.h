// The Outlook snap-in's keeper of MAPI: it makes and drops the process-wide MAPI loader and
// utility object, and owns every profile, session and store the snap-in works with — the host's
// source profile (the user's everyday profile), the product's "KipoSync" profile over the drive's
// "Kipo.pst" (the other side of a synchronization run) and the "Kipo" profile Outlook runs on while
// the host is personalized (over the drive's file, or an Exchange mailbox). It also tells whether
// an Exchange server answers a ping.
//
// Sessions and stores are opened on demand and kept until uninitializeMapiServices. "KipoSync"
// lives only until then; "Kipo" lives as long as the host is personalized, so a synchronization run
// in the middle of a login never takes Outlook's profile away.
#pragma once

#include "outlook/mapi_util.h"
#include "platform/afx/cstring.h"
#include "platform/base/types.h"

class CMAPILoader;
class COutlookCustomizerBase;
class CSystemProfile;

inline constexpr const char16_t* kSyncProfileName = u"KipoSync";
inline constexpr const char16_t* kPersonalizeProfileName = u"Kipo";
inline constexpr const char16_t* kDevicePstFileName = u"Kipo.pst";
inline constexpr const char16_t* kDeviceOutlookFolderName = u"Outlook";
// Under the Outlook snap-in's local key: the source profile name its backup saved.
inline constexpr const char16_t* kSourceProfileValue = u"sourceProfile";
// Under "Outlook" of a computer's prefs path in the device store.
inline constexpr const char16_t* kSourceMapiProfileNameValue = u"sourceMapiProfileName";

// Results of initializeMapiServices.
inline constexpr int kMapiInitFailed = 0;
inline constexpr int kMapiInitReady = 1;
inline constexpr int kMapiInitNotStarted = 2;

class COutlookProfileManager {
 public:
  // Makes the MAPI loader (dropped again when the library did not load) and the utility object,
  // and reads the host's Outlook version; both findings are logged.
  explicit COutlookProfileManager(COutlookCustomizerBase* owner);
  // Releases every cached object, then the loader and the utility object.
  virtual ~COutlookProfileManager();
  COutlookProfileManager(const COutlookProfileManager&) = delete;
  COutlookProfileManager& operator=(const COutlookProfileManager&) = delete;

  bool isSupportedOutlookVersion() const;
  int getOutlookVersion() const { return m_outlookVersion; }
  // The full msmapi32 installation (false for Outlook 2000 for Internet mail only, and without a
  // utility object).
  bool isMsmapiInstalled() const { return m_msmapiInstalled; }
  CMAPILoader* getMapiLoader() const { return m_loader; }
  CMapiUtil* getMapiUtil() const { return m_util; }

  // The profile's folder on the drive joined with "Outlook", and that folder's "Kipo.pst"; empty
  // without a profile.
  static CString getDeviceOutlookFolder(CSystemProfile* profile);
  static CString getDevicePstPath(CSystemProfile* profile);

  // "sourceMapiProfileName" stored for this computer in the device store; empty when missing.
  CString readSourceProfileName();
  // The remembered name; else, while the owner is personalized, the "sourceProfile" its backup
  // saved (the host's default profile when there is none); else the one stored for this computer;
  // else the host's default profile when the host has exactly one. Empty leaves the choice to the
  // MAPI logon (logged).
  CString getSourceProfileName();
  // The owner's own remembered name, for its backup and for a computer's removal.
  void setSourceProfileName(const CString& name) { m_sourceProfileName = name; }
  // The source profile on Outlook 2000 without msmapi32 (accounts live in the user's own
  // profile); "Kipo" otherwise.
  CString getAccountsProfileName();

  // 1 ready, 0 failed, 2 MAPI cannot be started (message 544 offered) or its logon reported it
  // not initialized. Not for a run: MAPI started. For a run of `profile`: the source default store
  // open and the drive PST reachable through "KipoSync" (its own profile with msmapi32, else a
  // store added to the source profile).
  int initializeMapiServices(bool forSync, CSystemProfile* profile);
  // Releases everything and stops MAPI; "KipoSync" and an added store go, and "Kipo" too unless
  // the owner is personalized. False when a close failed; every step still runs.
  bool uninitializeMapiServices();

  // Cached, else a logon; null when the logon failed or was cancelled. A CMapiException* from the
  // logon (MAPI not initialized) passes.
  IMAPISession* getSourceMapiSession();
  IMAPISession* getSyncMapiSession();
  IMAPISession* getPersonalizeMapiSession();
  bool hasPersonalizeSession() const { return static_cast<bool>(m_personalizeSession); }
  // Cached, else opened; null on failure.
  IMsgStore* openDefaultMessageStore();
  IMsgStore* openSyncMessageStore();
  IMsgStore* openPersonalizeMessageStore();
  // The default store of the personalize session (an Exchange mailbox is named after its
  // mailbox, not "Kipo").
  IMsgStore* openPersonalizeDefaultStore();
  bool isPersonalizeSessionExchange();

  // Login over the drive's file; true when there is nothing to do.
  bool createPersonalizeProfile(const CString& pst);
  // Login of an Exchange user.
  bool createExchangeProfile(const CString& server, const CString& mailbox);
  // One ping with 5000 ms to wait; never sent while the owner is not enabled for Exchange.
  bool isExchangeServerReachable(const CString& server);

  // Message 544 (or 682) through the question the user can silence ("showInitOutlookError"), and
  // message 886.
  void showInitOutlookError();
  void showUnsupportedAccountError();
  void showFoldersUnavailable();

  // Building blocks, public for the owner and for tests.
  bool createSyncProfile(const CString& pst);
  bool createPstProfile(const CString& pst);
  bool retargetDefaultPst(const CString& pst);
  // Adds the file as a store to the named profile ("MSPST MS", else "INTERSTOR"); true at once
  // when one was added already.
  bool addPstStoreToProfile(const CString& profileName, const CString& pst);
  bool hasAddedPstStore() const { return !CMapiUtil::isNullUid(m_addedPstService); }
  // Closes the sync session and deletes "KipoSync" when it exists.
  bool closeSyncProfile();
  // Closes the personalize session; deletes "Kipo" (when it exists) only while the owner is not
  // personalized.
  bool closePersonalizeProfile();

 private:
  // The session on `profile`, logged on at the first call; `failureLine` is logged when it fails.
  IMAPISession* logOnOnce(CMapiUtil::Session& session, const CString& profile, const char16_t* failureLine);
  void closeSourceSession();
  // Deletes the store service added to the source profile.
  bool removeAddedPstStore();
  bool deleteProfileIfPresent(const CString& name);
  void releaseAll();
  void showSuppressibleError(UINT id);

  COutlookCustomizerBase* m_owner;
  CMAPILoader* m_loader = nullptr;
  CMapiUtil* m_util = nullptr;
  int m_outlookVersion = 0;
  bool m_msmapiInstalled = false;
  CString m_sourceProfileName;

  CMapiUtil::Session m_sourceSession;
  CMapiUtil::Session m_syncSession;
  CMapiUtil::Session m_personalizeSession;
  CMapiUtil::Store m_defaultStore;
  CMapiUtil::Store m_syncStore;
  CMapiUtil::Store m_personalizeStore;
  CMapiUtil::Store m_personalizeDefaultStore;
  MAPIUID m_addedPstService{};
  CString m_addedPstProfile;
};

// The Outlook data snap-in ("Outlook"): carries the user's Outlook on the drive. At login it saves
// the host's MAPI profiles tree and puts Outlook on a "Kipo" profile over the drive's "Kipo.pst"
// (or, for an Exchange user whose server answers, on an Exchange profile); at logout it puts the
// saved tree back. Synchronization runs keep the chosen host folders and the drive file in step
// through the item synchronizer, registered with the run coordinator. Everything MAPI goes through
// the profile manager of its base; the e-mail accounts and address book snap-ins reach it through
// COutlookSnapinLink, and the Outlook property page edits the folder records it keeps per
// computer.
#pragma once

#include <map>
#include <memory>
#include <vector>

#include "outlook/account_outlook_link.h"
#include "outlook/item_synchronizer.h"
#include "outlook/outlook_customizer_base.h"
#include "outlook/outlook_customizer_prefs.h"
#include "outlook/outlook_folder_sync_pref.h"
#include "platform/afx/cstring.h"
#include "platform/base/types.h"

class CCustomizerDoc;
class CRegistry;
class CSpaceRecord;
class CSystemProfile;

// Results of initSynchronizer.
inline constexpr int kInitSyncFailed = 0;
inline constexpr int kInitSyncReady = 1;
inline constexpr int kInitSyncMapiNotStarted = 2;
inline constexpr int kInitSyncUnsupportedAccount = 3;

// Beside the saved profiles tree under the snap-in's local key.
inline constexpr const char16_t* kSavedProfilesKeyName = u"Profiles";
inline constexpr const char16_t* kPickLogonProfileValue = u"PickLogonProfile";
inline constexpr const char16_t* kExchangeClientOptionsKey =
    u"HKEY_CURRENT_USER\\Software\\Microsoft\\Exchange\\Client\\Options";
// Under "Outlook" of a computer's prefs path in the device store.
inline constexpr const char16_t* kIsSynchronizedValue = u"isSynchronized";
inline constexpr const char16_t* kOutlookVersionValue = u"Outlook Version";
// The host's copy of the drive file, in the product's AppData folder, for the size comparison.
inline constexpr const char16_t* kHostPstCopyName = u"Kipo.pst";

// True when the newline-separated folder path lies below one of the listed folder paths, or one
// of them lies below it (names compared ignoring case); false for an empty list.
bool overlapsAnyFolderPath(const CString& path, const std::vector<CString>& paths);

class COutlookCustomizer : public COutlookCustomizerBase, public COutlookSnapinLink {
 public:
  // Registers the item synchronizer with the document the factory is building.
  COutlookCustomizer();
  ~COutlookCustomizer() override;

  // ---- passes ----
  bool personalize() override;
  bool postPersonalize() override;
  bool preDepersonalize() override;
  bool depersonalize() override;
  bool backup() override;
  bool restore() override;
  bool leaveNoTrace() override;

  // ---- synchronization steps ----
  bool preCalculateSyncOps(CSystemProfile* profile) override;
  bool postCalculateSyncOps(int calculationResult) override;
  bool preExecuteSyncOps() override;
  bool postExecuteSyncOps(CSystemProfile* profile, int executionResult) override;
  void postSynchronize() override;

  // ---- preferences ----
  bool savePrefs(CSystemProfile* profile) override;
  bool loadPrefs(CSystemProfile* profile) override;
  ULONGLONG getDeviceSpace(CSpaceRecord* record) override;
  bool loadAllPrefs() override;
  bool saveAllPrefs() override;
  bool hasDefaultPrefs(CSystemProfile* profile) override;
  void setDefaultPrefs(CSystemProfile* profile) override;
  bool removeProfileData(CSystemProfile* profile) override;
  // 3 when every host profile but "Kipo" is in the saved copy; 0 otherwise (nothing saved yet,
  // or a profile the backup did not see).
  int getSourceState() override;
  CCustomizerPrefs& getPrefs(CSystemProfile* profile) override;
  // The profile's preferences, made on first request.
  virtual COutlookCustomizerPrefs& getOutlookPrefs(CSystemProfile* profile);
  // Pushes the mailbox to the Exchange server when the host was personalized on Exchange.
  virtual bool doExchangeSync();

  // ---- for the property page and the synchronize dialog ----
  // The folder records of that computer; the page edits them in place (records it inserts are
  // owned by the list).
  COutlookFolderSyncPrefList& folderSyncPrefs(CSystemProfile* profile);
  // Removes and deletes the record; false when it is not in that computer's list.
  bool removeFolderSyncPref(CSystemProfile* profile, const COutlookFolderSyncPref* record);
  void enableInboxSync(CSystemProfile* profile, bool enable);
  void setInboxSyncDays(CSystemProfile* profile, bool enable, DWORD days);
  // Outlook has a mail profile on this host to work with (one at least in the MAPI profiles key);
  // the property page is not offered otherwise.
  bool isOutlookConfigured();

  // ---- used by the view and the options flow ----
  // Drops the drive's Outlook data of this computer when it has no folder records, or when the
  // host copy of the drive file has the drive file's size.
  bool deleteSnapshotsIfPstSizesMatch();
  // Ends MAPI after a run, at restore and when a computer is removed.
  bool uninitializeMapiServices();

  // ---- building blocks, public for tests ----
  bool prepareDevicePst(CSystemProfile* profile);
  int initSynchronizer(CSystemProfile* profile);
  bool hasExchangeAccount(CSystemProfile* profile);
  bool isExchangeReachable(CSystemProfile* profile);
  bool warnExchangeUnsupportedOnHost();
  void writeSourceProfileName(CRegistry& key);
  // The computer's Outlook folder on the drive, its snapshot and the snapshot's backup copy.
  bool deleteOutlookDeviceData(CSystemProfile* profile);
  // The device folder path with "_Outlook.snap" appended; empty without a profile.
  static CString getSnapshotPath(CSystemProfile* profile);
  CItemSynchronizer& itemSynchronizer() { return *m_itemSynchronizer; }
  bool isStopSyncThisRun() const { return m_stopSyncThisRun; }

  // ---- COutlookSnapinLink ----
  bool drivePstExists(CSystemProfile* profile) override;
  bool isExchangeMode() override;
  bool isExchangeEnabled() override;
  bool isSynchronizerReady() override { return m_synchronizerReady; }
  bool isSupportedOutlookVersion() override;
  CMapiUtil* getMapiUtil() override;
  CMAPILoader* getMapiLoader() override;
  bool isMsmapiInstalled() override;
  CString getSourceProfileName() override;
  CString getAccountsProfileName() override;
  void getSourceMapiSession(CMapiUtil::Session& session) override;
  void openDefaultMessageStore(CMapiUtil::Store& store) override;
  void openSyncMessageStore(CMapiUtil::Store& store) override;
  void openPersonalizeMessageStore(CMapiUtil::Store& store) override;
  bool personalizeMessageManager(IMsgStore* store, const CString& profileName) override;
  bool synchronizeMessageManager(IMsgStore* source, IMsgStore* target) override;

 private:
  // "Outlook" of this computer's prefs path in the device store; empty without this computer.
  static CString thisComputerOutlookKey();
  // The computer's records as the run's (the item synchronizer reads these).
  void copyRunFolderPrefs(CSystemProfile* profile);
  // Copies the resolved folder ids of the run's records back into the computer's records.
  void keepResolvedFolderIds();

  CCustomizerDoc* m_document;
  std::map<CSystemProfile*, std::unique_ptr<COutlookCustomizerPrefs>> m_prefsByProfile;
  std::unique_ptr<CItemSynchronizer> m_itemSynchronizer;
  // The records the item synchronizer works on during a run (it fills in the special folders'
  // ids), and the computer whose records they copy.
  std::vector<COutlookFolderSyncPref> m_runFolderPrefs;
  CSystemProfile* m_runProfile = nullptr;
  bool m_synchronizerReady = false;
  bool m_stopSyncThisRun = false;
  CString m_sourceProfileName;
};

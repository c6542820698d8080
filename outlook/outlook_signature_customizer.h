// The Outlook signature snap-in ("OutlookSignature"): carries the user's signatures folder
// ("AppData\Microsoft\Signatures"). At login the host's own folder is parked as "qx_Signatures"
// beside it and "Signatures" gets the drive's copy; at logout the parked folder goes back (the
// crash recovery relies on exactly this layout). A host that had no "Signatures" folder is
// recorded at backup, so the folder the login made (or Outlook made meanwhile) goes again at
// restore — also after a crash. Synchronization runs mirror the host folder onto the login
// computer's "Signatures" folder on the drive, only while the snap-in holds the host, so the host
// user's own signatures never reach the drive.
#pragma once

#include "snapins/customizer.h"
#include "snapins/simple_synchronizer.h"

class CCustomizerDoc;
class COutlookSignatureCustomizer;

inline constexpr const char16_t* kOutlookSignatureCustomizerName = u"OutlookSignature";
// Under the snap-in's local key: the host had no "Signatures" folder when it was backed up.
inline constexpr const char16_t* kNoHostSignaturesValue = u"noHostSignatures";

// The mirror of the signatures folder; plans nothing while its snap-in does not hold the host.
class CSignatureSynchronizer : public CSimpleSynchronizer {
 public:
  explicit CSignatureSynchronizer(COutlookSignatureCustomizer& owner) : m_owner(owner) {}
  int calculateSyncOps(CSpaceRecord* record, DWORD mode) override;

 private:
  COutlookSignatureCustomizer& m_owner;
};

class COutlookSignatureCustomizer : public CCustomizer {
 public:
  COutlookSignatureCustomizer();
  ~COutlookSignatureCustomizer() override;

  bool personalize() override;
  bool backup() override;
  bool restore() override;
  bool preExecuteSyncOps() override;
  bool postExecuteSyncOps(CSystemProfile* profile, int executionResult) override;
  void postSynchronize() override;
  bool savePrefs(CSystemProfile* profile) override;
  bool loadPrefs(CSystemProfile* profile) override;
  ULONGLONG getDeviceSpace(CSpaceRecord* record) override;
  bool loadAllPrefs() override;
  bool saveAllPrefs() override;
  // 2 without the Outlook snap-in or a supported Outlook; 3 once the host's folder is parked (or
  // when it has none); else 0.
  int getSourceState() override;
  bool isSynchronized(CSystemProfile* profile) override;
  void setSynchronized(CSystemProfile* profile, bool synchronize) override;

  // Parks the host's folder as "qx_Signatures"; true when the host has none (recorded).
  bool backupSignatures();
  // The login computer's drive copy into the host folder (made when missing); without a drive
  // copy the host folder is emptied.
  bool putSignaturesInPlace();
  // The parked folder back in place; a folder the host did not have is deleted.
  bool restoreSignatures();

  // The Outlook snap-in exists and the host's Outlook is supported.
  bool isAvailable() const;
  // Available, and the login computer has the drive file.
  bool isApplicable() const;
  bool getSynchronizeFlag() const { return m_synchronizeFlag; }
  CSignatureSynchronizer& getSynchronizer() { return m_synchronizer; }
  void setDocument(CCustomizerDoc* document) { m_document = document; }

  static CString getSignaturesFolder();
  static CString getBackupFolder();
  static CString getDeviceSignaturesFolder(CSystemProfile* profile);

 private:
  CCustomizerDoc* m_document;
  CSignatureSynchronizer m_synchronizer;
  bool m_synchronizeFlag = false;
};

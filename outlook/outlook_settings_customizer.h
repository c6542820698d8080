// The Outlook settings snap-in ("Outlook Settings"): carries Outlook's per-profile nickname cache
// ("<profile>.nk2") and favourites ("<profile>.fav") files of the host's Outlook folder through the
// move-aside machinery. On Outlook 2000 for Internet mail only (own-profile mode: the user's mail
// runs in the host user's own profile) the host's file is moved aside to "qx_<profile>.<ext>" and
// the drive's copy takes its place; on the other versions the host's file stays where it is and
// the drive's copy goes to "Kipo.<ext>", the file of the product's own profile. The favourites
// file is never put on the host, only carried back after a run.
//
// The snap-in acts only when the Outlook snap-in carries this host's Outlook over the login
// computer's drive file; it stands back while the host is personalized through Exchange.
#pragma once

#include "snapins/move_aside.h"

class CCustomizerDoc;
class COutlookCustomizerBase;

inline constexpr const char16_t* kOutlookSettingsCustomizerName = u"Outlook Settings";

class COutlookSettingMoveAside : public CFileMoveAside {
 public:
  // Paths in the host's Outlook folder ("AppData\Microsoft\Outlook"); none without a profile name.
  // `relativeDevicePath` lies in the computer's folder on the drive.
  COutlookSettingMoveAside(const CString& extension, const CString& profileName, int outlookVersion,
                           bool msmapiInstalled, const CString& relativeDevicePath, bool active);

  // Only an active entry is put on (and taken off) the host.
  bool personalize(CSystemProfile* profile) override;
  bool depersonalize() override;
  // Only in own-profile mode is the host's file moved aside (and checked for it).
  bool moveAside(CRegistry& key) override;
  bool isSafeToReplace() override;
  // Carries back the file the login put in place (and Outlook changed), not the host user's own.
  bool synchronize(CSystemProfile* profile) override;

  bool isOwnProfileMode() const { return m_outlookVersion < 4 && !m_msmapiInstalled; }
  bool isActive() const { return m_active; }
  const CString& getExtension() const { return m_extension; }

  // "AppData\Microsoft\Outlook" of the host.
  static CString getOutlookFolder();

 private:
  CString m_extension;
  CString m_profileName;
  int m_outlookVersion;
  bool m_msmapiInstalled;
  bool m_active;
};

class COutlookSettingsCustomizer : public CMoveAsideCustomizer {
 public:
  COutlookSettingsCustomizer();
  ~COutlookSettingsCustomizer() override;

  bool personalize() override;
  bool depersonalize() override;
  bool backup() override;
  bool restore() override;
  bool postCalculateSyncOps(int calculationResult) override;
  // The files go back to the drive only while this snap-in holds the host.
  bool postExecuteSyncOps(CSystemProfile* profile, int executionResult) override;

  // The nk2 and fav entries for the current source profile; always true.
  bool buildEntries();
  // The Outlook snap-in exists, the login computer's drive file exists, the host's Outlook is
  // supported and the login is not through Exchange.
  bool isApplicable() const;
  bool isOwnProfileMode() const { return m_outlookVersion < 4 && !m_msmapiInstalled; }
  void setDocument(CCustomizerDoc* document) { m_document = document; }

 private:
  COutlookCustomizerBase* outlook() const;

  CCustomizerDoc* m_document;
  int m_outlookVersion = 0;
  bool m_msmapiInstalled = false;
};

// What the Outlook data snap-in ("Outlook") offers its profile manager and the other Outlook
// snap-ins: the profile manager it owns, its Exchange flags, and where a computer's drive file
// lies. The Outlook snap-in derives from it; the process, settings, signature, address book and
// account snap-ins find it in their document by name (findOutlookCustomizer) and ask it, so they
// all see one profile manager and one view of the host's Outlook.
#pragma once

#include <memory>

#include "platform/afx/cstring.h"
#include "snapins/customizer.h"

class CCustomizerDoc;
class COutlookProfileManager;
class CSystemProfile;

inline constexpr const char16_t* kOutlookCustomizerName = u"Outlook";

class COutlookCustomizerBase : public CCustomizer {
 public:
  // Named "Outlook", with its profile manager (which starts the MAPI singletons).
  COutlookCustomizerBase();
  ~COutlookCustomizerBase() override;

  COutlookProfileManager* getProfileManager() const { return m_profileManager.get(); }

  // Set by the factory: the profile manager pings an Exchange server only when enabled.
  void setExchangeEnabled(bool enabled) { m_exchangeEnabled = enabled; }
  bool isExchangeEnabled() const { return m_exchangeEnabled; }
  // The host was personalized through an Exchange profile (or the login computer's account is an
  // Exchange account, after a backup).
  bool isExchangeMode() const { return m_exchangeMode; }
  void setExchangeMode(bool exchange) { m_exchangeMode = exchange; }

  // The profile manager's source profile name.
  CString getSourceProfileName();
  // The host's Outlook is one the snap-ins carry (2000, 2002 or 2003).
  bool isSupportedOutlookVersion() const;
  // "Kipo.pst" in the computer's "Outlook" folder on the drive, and whether it is a file there.
  CString getDevicePstPath(CSystemProfile* profile) const;
  bool drivePstExists(CSystemProfile* profile) const;

 protected:
  std::unique_ptr<COutlookProfileManager> m_profileManager;
  bool m_exchangeEnabled = false;
  bool m_exchangeMode = false;
};

// The document's snap-in named "Outlook" when it is an Outlook snap-in; null otherwise (or
// without a document).
COutlookCustomizerBase* findOutlookCustomizer(CCustomizerDoc* document);

// What the e-mail accounts and address book snap-ins need of the Outlook snap-in ("Outlook") and
// of the profile manager it owns: its state for this login, the MAPI objects it holds, and the
// message manager it runs. The Outlook snap-in implements COutlookSnapinLink beside CCustomizer;
// the two snap-ins find it in their document by its name and reach it only through this link, so
// they work (and do nothing) on a document without it.
#pragma once

#include "outlook/mapi_util.h"
#include "platform/afx/cstring.h"

class CCustomizer;
class CCustomizerDoc;
class CMAPILoader;
class CSystemProfile;

class COutlookSnapinLink {
 public:
  virtual ~COutlookSnapinLink() = default;

  // ---- the Outlook snap-in ----
  // "Kipo.pst" of that computer exists on the drive.
  virtual bool drivePstExists(CSystemProfile* profile) = 0;
  // The host was personalized through an Exchange profile.
  virtual bool isExchangeMode() = 0;
  // The factory enabled Exchange synchronization.
  virtual bool isExchangeEnabled() = 0;
  // The item synchronizer is set up for the run in progress.
  virtual bool isSynchronizerReady() = 0;

  // ---- its profile manager ----
  virtual bool isSupportedOutlookVersion() = 0;
  // Null when the profile manager has none.
  virtual CMapiUtil* getMapiUtil() = 0;
  virtual CMAPILoader* getMapiLoader() = 0;
  // CMapiUtil::isMsmapi32Installed as the profile manager saw it at its construction.
  virtual bool isMsmapiInstalled() = 0;
  // The host profile being carried.
  virtual CString getSourceProfileName() = 0;
  // The profile whose account store the accounts are written into ("Kipo", or the source
  // profile on an Outlook 2000 host set up for Internet mail only).
  virtual CString getAccountsProfileName() = 0;
  // Cached objects of the profile manager; empty when they cannot be opened.
  virtual void getSourceMapiSession(CMapiUtil::Session& session) = 0;
  virtual void openDefaultMessageStore(CMapiUtil::Store& store) = 0;
  virtual void openSyncMessageStore(CMapiUtil::Store& store) = 0;
  virtual void openPersonalizeMessageStore(CMapiUtil::Store& store) = 0;

  // ---- the message manager ----
  // Stamps the store's hidden message-manager message with the profile.
  virtual bool personalizeMessageManager(IMsgStore* store, const CString& profileName) = 0;
  // Copies the hidden message from the source store to the target store.
  virtual bool synchronizeMessageManager(IMsgStore* source, IMsgStore* target) = 0;
};

// The name the Outlook snap-in has in the document.
inline constexpr const char16_t* kOutlookSnapinName = u"Outlook";

// The document's snap-in named "Outlook", or null (no document, or no such snap-in).
CCustomizer* findOutlookSnapin(CCustomizerDoc* document);
// Its link, or null when it has none.
COutlookSnapinLink* outlookLinkOf(CCustomizer* outlook);

// A computer's Outlook values in the device pref store: its prefs path joined with "Outlook"
// ("Outlook Version", the carried account stores, the Outlook 2000 signature choice). Empty
// without a profile.
CString outlookPrefsKeyFor(CSystemProfile* profile);

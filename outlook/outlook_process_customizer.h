// The process snap-ins for Outlook: Outlook must not run while the Outlook snap-in swaps the MAPI
// profiles under it. COutlookProcessBackup (first in the factory's list) closes a running Outlook
// before anything is backed up and starts it again after restore when it had been running;
// COutlookProcessPersonalize (near the end of the list) closes it before the host is
// depersonalized. Both do nothing, successfully, when the document has no Outlook snap-in or the
// host's Outlook is not one the snap-ins carry.
//
// Outlook's main windows are "rctrl_renwnd32" titled "Microsoft Outlook" (2003: "Microsoft Office
// Outlook"). A close asks each window, answers Outlook's confirmation box (and Word's, when Word
// is Outlook's mail editor), and ends the process of each window that is left.
#pragma once

#include <memory>

#include "snapins/process_customizer.h"

class CCustomizerDoc;
class COutlookConfirmationCloser;

inline constexpr const char16_t* kOutlookProcessCustomizerName = u"Outlook Process Control";

class COutlookProcessCustomizer : public CProcessCustomizer {
 public:
  // `flags`: the phase mask (kProcessCloseAtBackup ...). The document is the factory's.
  explicit COutlookProcessCustomizer(DWORD flags);
  ~COutlookProcessCustomizer() override;

  // Each: success without acting unless the Outlook snap-in exists and carries this host's
  // Outlook. personalize's failure is logged; backup's shows message 883, restore's message 882.
  bool personalize() override;
  bool backup() override;
  bool restore() override;
  // True when every close step succeeded (also when Outlook was not running).
  bool closeProcess() override;

  // The Outlook snap-in exists and the host's Outlook is supported.
  bool isOutlookCarried() const;
  void setDocument(CCustomizerDoc* document) { m_document = document; }

 private:
  CCustomizerDoc* m_document;
  std::unique_ptr<COutlookConfirmationCloser> m_confirmationCloser;
};

// Phase mask 17: closes Outlook at backup, starts it again at restore when backup closed it.
class COutlookProcessBackup : public COutlookProcessCustomizer {
 public:
  COutlookProcessBackup();
  ~COutlookProcessBackup() override;
};

// Phase mask 4: closes Outlook at depersonalize.
class COutlookProcessPersonalize : public COutlookProcessCustomizer {
 public:
  COutlookProcessPersonalize();
  ~COutlookProcessPersonalize() override;
};

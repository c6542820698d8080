// COptionsDialog: what is synchronized for this computer. It hosts the property sheet with the
// general page, the page of files and the Outlook page, and the device usage meter above it. OK
// and Cancel wait for a running calculation (they are repeated when it stops); OK saves the
// device preference store, Cancel reloads every page's snap-in preferences first. Only one is
// shown at a time: a second DoModal focuses the one that is up.
#pragma once

#include <memory>

#include "app/app_messages.h"
#include "platform/afx/afxwin.h"
#include "ui/options_sheet.h"

class CCustomizerDoc;
class CGeneralPropertyPage;
class CSnapinPropertyPage;
class COptionsMeter;

class COptionsDialog : public CDialog, public CSwitchboardListener {
 public:
  // The result when the switchboard ends the dialog.
  static constexpr int kEndedBySwitchboard = 32771;

  COptionsDialog(CCustomizerDoc* doc, int page, CWnd* parent);
  ~COptionsDialog() override;

  INT_PTR DoModal() override;
  BOOL OnInitDialog() override;
  void OnOK() override;
  void OnCancel() override;
  BOOL DestroyWindow() override;
  void onMessage(CAppMessage* message) override;

  // Takes every page after the first out of the sheet.
  void removeExtraPages();
  // The meter reports that the choices do not fit on the device.
  bool choicesExceedCapacity();

  CSnapinPropertySheet& sheet() { return m_sheet; }
  CGeneralPropertyPage& generalPage() { return *m_generalPage; }
  CSnapinPropertyPage* filePage() { return m_filePage.get(); }
  CSnapinPropertyPage* outlookPage() { return m_outlookPage.get(); }
  // The dialog that is up, or null.
  static COptionsDialog* shown();

 private:
  // The OK or Cancel is repeated when the running calculation has stopped; false when none runs.
  bool deferWhileCalculating(WPARAM command);
  void saveDevicePrefs();

  std::unique_ptr<COptionsMeter> m_meter;
  CSnapinPropertySheet m_sheet;
  CCustomizerDoc* m_doc;
  std::unique_ptr<CGeneralPropertyPage> m_generalPage;
  std::unique_ptr<CSnapinPropertyPage> m_filePage;
  std::unique_ptr<CSnapinPropertyPage> m_outlookPage;
  bool m_listening = false;
};

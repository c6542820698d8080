// CSnapinPropertySheet: the property sheet inside the options dialog. Its tabs stay on one line,
// and its buttons work for the dialog around it: Apply applies the pages (unless the choices no
// longer fit on the device), OK applies and then asks the dialog to close, Cancel asks the dialog
// to cancel.
#pragma once

#include "platform/afx/afxwin.h"
#include "platform/afx/propsheet.h"

class COptionsDialog;

class CSnapinPropertySheet : public CPropertySheet {
  DECLARE_DYNAMIC(CSnapinPropertySheet)

 public:
  CSnapinPropertySheet(LPCWSTR caption, CWnd* parent, UINT firstPage = 0);

  BOOL OnInitDialog() override;
  BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;

  // Applies every page with changes; false when the choices exceed the device (nothing applied)
  // or a page kept its changes.
  bool applyPages();

  void setOptionsDialog(COptionsDialog* dialog) { m_options = dialog; }
  bool isInitialised() const { return m_initialised; }

 private:
  bool m_initialised = false;
  COptionsDialog* m_options = nullptr;
};

// CGeneralPropertyPage: the first page of the options, always shown. The program-wide options
// (logout button in the taskbar, start with Windows, update check) take effect on Apply; the
// actions on one synchronized computer (mark this computer used, change the drive password,
// rename, disconnect) take effect at once.
#pragma once

#include "platform/afx/afxwin.h"
#include "platform/afx/propsheet.h"
#include "platform/afx/ctrl_basic.h"
#include "platform/afx/ctrl_list.h"

class CSystemProfile;

class CGeneralPropertyPage : public CPropertyPage {
  DECLARE_DYNAMIC(CGeneralPropertyPage)

 public:
  CGeneralPropertyPage();

  BOOL OnInitDialog() override;
  BOOL OnApply() override;

  // Refills the combo box of computers.
  void fillComputerList();
  // The folder of `profile` on the drive, when it lies strictly inside "Synchronized Computers".
  static bool isInsideSynchronizedComputers(const CString& folder);

  CButton m_passwordButton;
  CComboBox m_computers;
  BOOL m_showLogoutButton = TRUE;
  bool m_allowLoginThisComputer = false;
  BOOL m_checkForUpdates = TRUE;
  BOOL m_startWithWindows = FALSE;

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  afx_msg void OnOptionClicked();
  afx_msg void OnComputerUsed();
  afx_msg void OnChangePassword();
  afx_msg void OnRename();
  afx_msg void OnDisconnect();
  DECLARE_MESSAGE_MAP()

 private:
  CString chosenNickname();
  bool m_initialised = false;
};

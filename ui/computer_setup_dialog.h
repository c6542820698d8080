// CComputerSetupDialog: how this computer is used with the drive: synchronization use (the program
// starts with Windows and keeps the drive in step) or login use (the program only carries another
// computer's settings here). The choice is this computer's "frequentUseComputer" preference.
#pragma once

#include "platform/afx/afxwin.h"

class CComputerSetupDialog : public CDialog {
 public:
  enum : int { kSynchronizationUse = 0, kLoginUse = 1 };

  explicit CComputerSetupDialog(CWnd* parent = nullptr);

  BOOL OnInitDialog() override;
  void OnOK() override;

  int m_mode = kSynchronizationUse;

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  afx_msg int OnCreate(LPCREATESTRUCT lpCreateStruct);
  DECLARE_MESSAGE_MAP()
};

// CConfirmProfileDialog: asks which stored computer profile is the host the program runs on, when
// the host looks changed (another name with the same disks, or the same name with other disks).
// After DoModal the caller reads m_newComputer first (Cancel: "New Computer"), then
// m_selectedIndex (the picked row, which is the profile's index in the database's list).
#pragma once

#include "platform/afx/afxwin.h"
#include "platform/afx/ctrl_view.h"

class CProfileDatabase;

class CConfirmProfileDialog : public CDialog {
 public:
  // kind 1: this computer's disks changed (text 589); kind 0: another profile has this computer's
  // disks (text 590); any other kind: no text. The database is not owned.
  CConfirmProfileDialog(int kind, CProfileDatabase* database, CWnd* parent = nullptr);

  BOOL OnInitDialog() override;
  void OnOK() override;
  void OnCancel() override;

  CListCtrl m_list;
  CString m_text;
  bool m_newComputer = false;
  int m_selectedIndex = -1;
  CProfileDatabase* m_database = nullptr;

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
};

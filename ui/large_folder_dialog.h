// CLargeFolderDialog: warns that a folder about to be synchronized holds many files. "Add folder"
// goes on, Cancel does not; with its box ticked the question is not asked again ("largeFoldersOk"
// of the device preferences), whichever button closed it.
#pragma once

#include "platform/afx/afxwin.h"
#include "platform/afx/ctrl_basic.h"

class CLargeFolderDialog : public CDialog {
 public:
  CLargeFolderDialog(CWnd* parent, const CString& folderPath);

  BOOL OnInitDialog() override;
  void OnOK() override;
  void OnCancel() override;

  CStatic m_pathStatic;
  int m_dontAskAgain = FALSE;
  CString m_folderPath;

 protected:
  void DoDataExchange(CDataExchange* pDX) override;

 private:
  void storeChoice();
};

// CDontAskMeAnymoreDialog and askUnlessSuppressed: a message or question with a check box that
// keeps it showing. Unticking the box stores "false" under the question's boolean preference in
// the device preference store, and the question is then answered yes without being shown.
#pragma once

#include "platform/afx/afxwin.h"
#include "platform/afx/ctrl_basic.h"

class CDontAskMeAnymoreDialog : public CDialog {
 public:
  // width and height -1: the template's.
  CDontAskMeAnymoreDialog(CWnd* parent, const CString& text, const CString& checkText, const CString& prefName,
                          bool showCancel, int width = -1, int height = -1);

  BOOL OnInitDialog() override;
  void OnOK() override;
  void OnCancel() override;

  CButton m_okButton;
  CButton m_cancelButton;
  CButton m_checkBox;
  CStatic m_messageStatic;
  CString m_text;
  int m_alwaysShow = TRUE;
  CString m_prefName;
  CString m_checkText;
  bool m_showCancel = false;
  int m_width = -1;
  int m_height = -1;

 protected:
  void DoDataExchange(CDataExchange* pDX) override;

 private:
  void layOut();
  void storeChoice();
};

// True when the question was answered OK, or is suppressed by its preference ("false").
bool askUnlessSuppressed(HWND parent, const CString& text, const CString& checkText, const CString& prefName,
                         bool showCancel = false, int width = -1, int height = -1);

// CNicknameDialog: names a computer for the login window. The name is at most 15 characters,
// holds none of the characters that a file name cannot hold, is not empty once trimmed, and is
// not another computer's. OK stores it in the computer's profile, marks this computer's nickname
// as set and tells the login window that the list of computers changed.
#pragma once

#include "platform/afx/afxwin.h"

class CNicknameDialog : public CDialog {
 public:
  static constexpr int kMaxLength = 15;

  // allowCancel 0: no Cancel button and no system menu, OK centred.
  CNicknameDialog(const CString& profileKey, const CString& nickname, CWnd* parent = nullptr, int allowCancel = 1);

  BOOL OnInitDialog() override;
  void OnOK() override;

  // A character a nickname may not hold: \ / : * ? " < > | or a line feed.
  static bool hasForbiddenCharacter(const CString& text);

  CString m_profileKey;
  CString m_nickname;
  CString m_lastValidNickname;
  int m_allowCancel = 1;

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  afx_msg void OnNicknameChanged();
  DECLARE_MESSAGE_MAP()
};

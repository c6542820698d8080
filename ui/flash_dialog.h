// CFlashDialog: the intro movie shown at start-up ("intro.swf" of the product's per-user folder in
// the Flash player control), with a box that keeps it showing at every start. Continue stores the
// box in "showIntroMovie" under the product's key; closing the dialog another way stores nothing.
#pragma once

#include "platform/afx/afxwin.h"
#include "platform/afx/ctrl_ole.h"

class CFlashDialog : public CDialog {
 public:
  explicit CFlashDialog(CWnd* parent = nullptr);

  BOOL OnInitDialog() override;
  void OnOK() override;

  static CString moviePath();

  int m_showAtStart = 1;
  CShockwaveFlash m_player;

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
};

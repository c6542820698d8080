// CProgressDialog: the modal window of a long operation, driven by the switchboard's CProgress
// messages: an animation, two lines of text, a progress bar, an optional Cancel/Close button and
// a "close automatically" box whose state is kept in the device preferences. The end of the
// operation reaches the dialog as a posted WM_USER+70, so it never ends inside a delivery.
#pragma once

#include "app/app_messages.h"
#include "platform/afx/afxwin.h"
#include "platform/afx/ctrl_basic.h"
#include "platform/afx/ctrl_common.h"

class CView;

// Posted by the dialog to itself: the operation has ended.
inline constexpr UINT WM_PROGRESS_FINISHED = WM_USER + 70;
// The result of a dialog that a plain CAppMessage of value 1 ended.
inline constexpr int kDialogEndedByApplication = 32771;

class CProgressDialog : public CDialog, public CProgressListener {
 public:
  CProgressDialog(bool closable, CView* view);
  ~CProgressDialog() override;

  BOOL OnInitDialog() override;
  void OnOK() override;
  void OnCancel() override;
  void onMessage(CAppMessage* message) override;
  void onProgress(CProgress* progress) override;
  // The operation has ended: stop listening, keep the box's state, then close (box ticked) or
  // wait for the user. Runs once.
  virtual void onFinished();

  bool isFinished() const { return m_finished; }
  // The dialog shown now (the innermost when one runs inside another's loop); null when none.
  static CProgressDialog* running() { return s_running; }
  // The result that ends the dialog from now on: IDCANCEL once the operation was cancelled.
  int endResult() const { return m_cancelled ? IDCANCEL : IDOK; }

  CString m_subject;
  BOOL m_closeAutomatically = FALSE;

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  void setLines(const CString& first, const CString& second);
  void savePrefs();
  // Unregisters from the switchboard (once).
  void stopListening();

  afx_msg int OnCreate(LPCREATESTRUCT create);
  afx_msg void OnClose();
  afx_msg void OnDestroy();
  afx_msg void OnAction();
  afx_msg HBRUSH OnCtlColor(CDC* dc, CWnd* window, UINT type);
  afx_msg LRESULT OnFinishedMessage(WPARAM, LPARAM);
  DECLARE_MESSAGE_MAP()

  CButton m_actionButton;
  CAnimateCtrl m_animation;
  CView* m_view;
  COLORREF m_secondLineColour = 0;
  bool m_closable;
  bool m_finished = false;
  // The operation was cancelled (or stopped by another party): it never ends with IDOK.
  bool m_cancelled = false;
  bool m_listening = false;
  CProgressDialog* m_outer = nullptr;

  static CProgressDialog* s_running;
};

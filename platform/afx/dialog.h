// CDialog: modal (DoModal returns the EndDialog code) and modeless dialogs from a template of
// the resource chain or from memory, with OnInitDialog, OnOK/OnCancel and data exchange.
// The dialog window runs AfxWndProc from its first message, so its message map sees everything;
// what the map leaves goes to the dialog manager's default procedure.
#pragma once

#include "platform/afx/ddx.h"
#include "platform/afx/wnd.h"
#include "platform/win32/dialog.h"

class CDialog : public CWnd {
  DECLARE_DYNAMIC(CDialog)

 public:
  CDialog() = default;
  explicit CDialog(LPCWSTR lpszTemplateName, CWnd* pParentWnd = nullptr);
  explicit CDialog(UINT nIDTemplate, CWnd* pParentWnd = nullptr);
  ~CDialog() override;

  // Modeless creation; TRUE when the window exists (it is shown when the template says WS_VISIBLE).
  virtual BOOL Create(LPCWSTR lpszTemplateName, CWnd* pParentWnd = nullptr);
  virtual BOOL Create(UINT nIDTemplate, CWnd* pParentWnd = nullptr);
  // From a template in memory that stays valid during the call.
  virtual BOOL CreateIndirect(LPCDLGTEMPLATE lpDialogTemplate, CWnd* pParentWnd = nullptr,
                              void* lpDialogInit = nullptr);
  // Makes DoModal use a template in memory (kept by the caller until DoModal returns).
  BOOL InitModalIndirect(LPCDLGTEMPLATE lpDialogTemplate, CWnd* pParentWnd = nullptr, void* lpDialogInit = nullptr);

  // Creates the dialog, disables its owner (the parent's top-level window, else the main window)
  // and runs the modal loop until EndDialog; returns EndDialog's code, -1 when the dialog could
  // not be created.
  virtual INT_PTR DoModal();
  void EndDialog(int nResult);

  void NextDlgCtrl() const;
  void PrevDlgCtrl() const;
  void GotoDlgCtrl(CWnd* pWndCtrl);
  void SetDefID(UINT nID);
  DWORD GetDefID() const;
  void MapDialogRect(LPRECT lpRect) const { ::MapDialogRect(m_hWnd, lpRect); }

  // The base fills the controls (UpdateData(FALSE)) and asks for the default focus.
  virtual BOOL OnInitDialog();
  // UpdateData(TRUE), then EndDialog(IDOK) when the data are valid.
  virtual void OnOK();
  virtual void OnCancel();

  BOOL PreTranslateMessage(MSG* pMsg) override;
  BOOL OnCmdMsg(UINT nID, int nCode, void* pExtra, AFX_CMDHANDLERINFO* pHandlerInfo) override;

  LPCWSTR m_lpszTemplateName = nullptr;
  LPCDLGTEMPLATE m_lpDialogTemplate = nullptr;
  // The initial data of the controls (a DLGINIT block) for a template in memory; a resource
  // template's comes from the resource of the same name.
  const void* m_lpDialogInit = nullptr;
  UINT m_nIDHelp = 0;
  CWnd* m_pParentWnd = nullptr;

 protected:
  afx_msg LRESULT HandleInitDialog(WPARAM, LPARAM);
  // The owner for DoModal: the parent's top-level window, else the main window.
  HWND PreModal();
  // The template's bytes and module; false when there is none.
  bool templateBytes(HINSTANCE& instance, const BYTE*& bytes, std::size_t& size) const;
  BOOL createFrom(HINSTANCE instance, const BYTE* bytes, std::size_t size, HWND parent);
  BOOL createFrom(HINSTANCE instance, const platform::dialog::DialogTemplate& t, HWND parent);
  // Sends the template's initial data to its controls; false when the data are malformed.
  BOOL ExecuteDlgInit();
  // Makes the template's ActiveX controls in their sites; false (after a trace) when one fails.
  bool createTemplateControls();

  // ActiveX controls the template names by class id: left out of the window's creation and made
  // in control sites as the dialog initialises, as the control container does.
  struct TemplateControl {
    platform::dialog::ItemTemplate item;
    std::size_t before = 0;  // how many of the template's other controls precede it
  };
  std::vector<TemplateControl> m_templateControls;
  HINSTANCE m_templateInstance = nullptr;
  bool m_initFailed = false;

  DECLARE_MESSAGE_MAP()
};

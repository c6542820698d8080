// Dialog data exchange: CDataExchange and the DDX_ (move a value between a control and a member)
// and DDV_ (check a value read from a control) functions a DoDataExchange calls. When a check
// fails on reading, the user is told, the control gets the focus (an edit's text selected) and
// Fail throws CUserException, which UpdateData turns into FALSE.
#pragma once

#include "platform/afx/cstring.h"
#include "platform/afx/object.h"
#include "platform/win32/window.h"

class CWnd;

class CDataExchange {
 public:
  CDataExchange(CWnd* pDlgWnd, BOOL bSaveAndValidate);

  BOOL m_bSaveAndValidate;
  CWnd* m_pDlgWnd;
  HWND m_hWndLastControl = nullptr;
  BOOL m_bEditLastControl = FALSE;

  // The control's window (remembered for Fail); a missing control is a programming error.
  HWND PrepareCtrl(int nIDC);
  HWND PrepareEditCtrl(int nIDC);
  // Focuses the last prepared control and throws CUserException.
  [[noreturn]] void Fail();
};

// Text of an edit (or any window) <-> member. Reading numbers: a text that is not a number (in
// range) tells the user and fails.
void AFXAPI DDX_Text(CDataExchange* pDX, int nIDC, CString& value);
void AFXAPI DDX_Text(CDataExchange* pDX, int nIDC, int& value);
void AFXAPI DDX_Text(CDataExchange* pDX, int nIDC, UINT& value);
void AFXAPI DDX_Text(CDataExchange* pDX, int nIDC, long& value);
void AFXAPI DDX_Text(CDataExchange* pDX, int nIDC, double& value);
// Check box state (BST_UNCHECKED, BST_CHECKED, BST_INDETERMINATE).
void AFXAPI DDX_Check(CDataExchange* pDX, int nIDC, int& value);
// nIDC is the first radio button of a group (WS_GROUP); value is the index of the checked one
// in the group, -1 for none.
void AFXAPI DDX_Radio(CDataExchange* pDX, int nIDC, int& value);
// Subclasses the control with rControl the first time (the wrapper then gets its messages).
void AFXAPI DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl);
// Combo box and list box selection by index and by text.
void AFXAPI DDX_CBIndex(CDataExchange* pDX, int nIDC, int& index);
void AFXAPI DDX_CBString(CDataExchange* pDX, int nIDC, CString& value);
void AFXAPI DDX_CBStringExact(CDataExchange* pDX, int nIDC, CString& value);
void AFXAPI DDX_LBIndex(CDataExchange* pDX, int nIDC, int& index);
void AFXAPI DDX_LBString(CDataExchange* pDX, int nIDC, CString& value);

// On reading: the text is at most nChars long; on writing: limits the edit (EM_LIMITTEXT).
void AFXAPI DDV_MaxChars(CDataExchange* pDX, const CString& value, int nChars);
void AFXAPI DDV_MinMaxInt(CDataExchange* pDX, int value, int minVal, int maxVal);
void AFXAPI DDV_MinMaxUInt(CDataExchange* pDX, UINT value, UINT minVal, UINT maxVal);
void AFXAPI DDV_MinMaxLong(CDataExchange* pDX, long value, long minVal, long maxVal);
// DWORD is UINT here, so DDX_Text for UINT serves DWORD members too.
inline void DDV_MinMaxDWord(CDataExchange* pDX, DWORD value, DWORD minVal, DWORD maxVal) {
  DDV_MinMaxUInt(pDX, value, minVal, maxVal);
}

// The messages the exchange sends to edits, list boxes and combo boxes (the controls answer them).
#ifndef EM_SETSEL
#define EM_SETSEL 0x00B1
#endif
#ifndef EM_LIMITTEXT
#define EM_LIMITTEXT 0x00C5
#endif

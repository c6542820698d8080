// CFileDialog: the class library's wrapper of the common open and save dialogs
// (GetOpenFileNameW / GetSaveFileNameW, platform/win32/commdlg.h). The filter is given in the
// library's form, "Description|pattern;pattern|...||"; m_ofn may be adjusted before DoModal (a
// larger lpstrFile buffer for many files, an initial folder). Hook procedures are not used: the
// dialog is the stand-in's own.
#pragma once

#include <vector>

#include "platform/afx/coll.h"
#include "platform/afx/cstring.h"
#include "platform/afx/dialog.h"
#include "platform/win32/commdlg.h"

class CFileDialog : public CDialog {
 public:
  explicit CFileDialog(BOOL bOpenFileDialog, LPCWSTR lpszDefExt = nullptr, LPCWSTR lpszFileName = nullptr,
                       DWORD dwFlags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, LPCWSTR lpszFilter = nullptr,
                       CWnd* pParentWnd = nullptr);

  // IDOK with the choice, IDCANCEL for Cancel or a failure (CommDlgExtendedError tells which).
  INT_PTR DoModal() override;

  CString GetPathName() const;   // the first (or only) chosen file's full path
  CString GetFileName() const;   // its name with the extension
  CString GetFileExt() const;    // its extension without the dot
  CString GetFileTitle() const;  // its name without the extension
  BOOL GetReadOnlyPref() const { return (m_ofn.Flags & OFN_READONLY) ? TRUE : FALSE; }
  // The chosen files one by one (several with OFN_ALLOWMULTISELECT); null when there is none.
  POSITION GetStartPosition() const;
  CString GetNextPathName(POSITION& pos) const;

  OPENFILENAMEW m_ofn{};

 private:
  void readChoice();

  BOOL m_bOpenFileDialog;
  std::u16string m_filter;  // NUL-separated, as the dialog takes it
  std::u16string m_defExt;
  WCHAR m_szFileName[MAX_PATH] = {};
  WCHAR m_szFileTitle[MAX_PATH] = {};
  std::vector<CString> m_paths;
};

// The shell's folder browser (SHBrowseForFolderW): a real modal "#32770" dialog with a tree of the
// host's folders, returning an item list that SHGetPathFromIDListW turns into the chosen path.
//
// Controls, with the ids of Windows' own browser:
//   0x3742  the caller's lpszTitle (a static)      0x3743  the status text (BIF_STATUSTEXT)
//   0x3741  the folder tree (SysTreeView32)         0x3744 / 0x3745  "Folder:" and its edit box
//                                                                    (BIF_EDITBOX only)
//   IDOK "OK", IDCANCEL "Cancel"
// The tree's top items are the desktop folder ("Desktop"), "My Documents" and each drive of the
// host ("Local Disk (C:)", "Removable Disk (E:)", or the volume label and the letter), or, with
// pidlRoot, that one folder. Subfolders are read when an item is first expanded (hidden and
// system folders are not shown). OK is enabled while a folder is selected.
//
// OK returns the selected folder's item list (CoTaskMemAlloc; the caller frees it with ILFree or
// the shell allocator) and puts its display name (the tree's text, MAX_PATH characters at most)
// into pszDisplayName. With BIF_EDITBOX a non-empty edit box wins: a name relative to the selected
// folder or an absolute path that is an existing folder; anything else calls the callback with
// BFFM_VALIDATEFAILEDW when BIF_VALIDATE is set (0 ends the dialog with no choice, anything else
// keeps it up) and otherwise shows "The folder '<text>' does not exist." and keeps the dialog up.
// Cancel returns null.
//
// The callback (lpfn) gets BFFM_INITIALIZED when the dialog is up and BFFM_SELCHANGED (with the
// item list, valid during the call) for each selection; it may send BFFM_SETSELECTIONW (wParam
// TRUE: lParam is a path; FALSE: an item list), BFFM_ENABLEOK (lParam TRUE or FALSE) and
// BFFM_SETSTATUSTEXTW.
#pragma once

#include "platform/base/types.h"
#include "platform/win32/message.h"
#include "platform/win32/shell.h"

using BFFCALLBACK = int(CALLBACK*)(HWND hwnd, UINT uMsg, LPARAM lParam, LPARAM lpData);

struct BROWSEINFOW {
  HWND hwndOwner;
  PCIDLIST_ABSOLUTE pidlRoot;
  LPWSTR pszDisplayName;
  LPCWSTR lpszTitle;
  UINT ulFlags;
  BFFCALLBACK lpfn;
  LPARAM lParam;
  int iImage;
};
using LPBROWSEINFOW = BROWSEINFOW*;

#define BIF_RETURNONLYFSDIRS 0x00000001
#define BIF_DONTGOBELOWDOMAIN 0x00000002
#define BIF_STATUSTEXT 0x00000004
#define BIF_RETURNFSANCESTORS 0x00000008
#define BIF_EDITBOX 0x00000010
#define BIF_VALIDATE 0x00000020
#define BIF_NEWDIALOGSTYLE 0x00000040
#define BIF_USENEWUI (BIF_NEWDIALOGSTYLE | BIF_EDITBOX)
#define BIF_BROWSEINCLUDEURLS 0x00000080
#define BIF_NONEWFOLDERBUTTON 0x00000200
#define BIF_BROWSEFORCOMPUTER 0x00001000
#define BIF_BROWSEFORPRINTER 0x00002000
#define BIF_BROWSEINCLUDEFILES 0x00004000

#define BFFM_INITIALIZED 1
#define BFFM_SELCHANGED 2
#define BFFM_VALIDATEFAILEDW 4
#define BFFM_ENABLEOK (WM_USER + 101)
#define BFFM_SETSELECTIONW (WM_USER + 103)
#define BFFM_SETSTATUSTEXTW (WM_USER + 104)

LPITEMIDLIST SHBrowseForFolderW(LPBROWSEINFOW lpbi);

namespace platform::shell {

inline constexpr int kBrowseTreeId = 0x3741;
inline constexpr int kBrowseTitleId = 0x3742;
inline constexpr int kBrowseStatusId = 0x3743;
inline constexpr int kBrowseFolderLabelId = 0x3744;
inline constexpr int kBrowseFolderEditId = 0x3745;

}  // namespace platform::shell

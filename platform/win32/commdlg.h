// The common file dialogs (comdlg32): GetOpenFileNameW and GetSaveFileNameW as real modal
// "#32770" dialogs over the host's folders and files, and CommDlgExtendedError.
//
// The dialog a user (or a test's UI driver, or `kipo-host ui`) works with has these controls, with
// the ids Windows' own file dialog gives them:
//   0x0443 (stc4)  "Look &in:"        0x0440 (stc1)  the current folder's path
//   0x0460 (lst1)  the folder's subfolders ("name\", with "..\" first below a root), then the
//                  files matching the chosen type, each group sorted without regard to case;
//                  hidden and system entries are not listed. Several files may be selected with
//                  OFN_ALLOWMULTISELECT. Selecting files puts their names into the file name
//                  field (quoted when several); double-clicking a folder opens it, a file chooses it.
//   0x0442 (stc3)  "File &name:"      0x047C (cmb13) the file name field (an edit control here)
//   0x0441 (stc2)  "Files of &type:"  0x0470 (cmb1)  the filter's descriptions (drop-down list)
//   0x0410 (chx1)  "Open as &read-only" (not shown with OFN_HIDEREADONLY or in the save dialog)
//   IDOK "&Open" / "&Save" (the default button), IDCANCEL "Cancel".
// The file name field takes a name or path relative to the current folder, an absolute path, "..",
// a folder (which is opened), a pattern with "*" or "?" (which becomes the list's filter), or with
// OFN_ALLOWMULTISELECT several quoted names. OK then checks, as Windows does:
//   OFN_PATHMUSTEXIST / OFN_FILEMUSTEXIST  "<path>\nPath does not exist.\nCheck the path and try again."
//   OFN_FILEMUSTEXIST                      "<name>\nFile not found.\nCheck the file name and try again."
//   OFN_OVERWRITEPROMPT (save)             "<name> already exists.\nDo you want to replace it?" (Yes/No)
// (message boxes owned by the dialog, captioned with its title); the dialog stays up after them.
// lpstrDefExt is appended to a name without an extension (opening: only when the name as typed
// does not exist).
//
// Results: TRUE with lpstrFile holding the full path, or with several files the folder, a NUL and
// each name followed by a NUL, then one more NUL (the Explorer form; without OFN_EXPLORER the
// folder and names are separated by spaces instead); nFileOffset and nFileExtension index the
// first name and its extension (0 for several files); lpstrFileTitle the name; nFilterIndex the
// chosen type (from 1); OFN_READONLY says whether the box was ticked. Unless OFN_NOCHANGEDIR the
// process's current directory becomes the chosen folder. FALSE with CommDlgExtendedError() 0 for
// Cancel; FNERR_BUFFERTOOSMALL (the first WORD of lpstrFile then holds the characters needed) when
// nMaxFile is too small; CDERR_STRUCTSIZE for a bad lStructSize; CDERR_INITIALIZATION without
// lpstrFile. Hook procedures and custom templates (OFN_ENABLEHOOK, OFN_ENABLETEMPLATE) are not
// offered: CDERR_DIALOGFAILURE.
//
// The initial folder is lpstrInitialDir, else the folder part of an absolute path in lpstrFile,
// else the current directory; the initial name is the name part of lpstrFile.
#pragma once

#include <cstddef>
#include <string_view>

#include "platform/base/types.h"

using LPOFNHOOKPROC = UINT_PTR(CALLBACK*)(HWND, UINT, WPARAM, LPARAM);

struct OPENFILENAMEW {
  DWORD lStructSize;
  HWND hwndOwner;
  HINSTANCE hInstance;
  LPCWSTR lpstrFilter;
  LPWSTR lpstrCustomFilter;
  DWORD nMaxCustFilter;
  DWORD nFilterIndex;
  LPWSTR lpstrFile;
  DWORD nMaxFile;
  LPWSTR lpstrFileTitle;
  DWORD nMaxFileTitle;
  LPCWSTR lpstrInitialDir;
  LPCWSTR lpstrTitle;
  DWORD Flags;
  WORD nFileOffset;
  WORD nFileExtension;
  LPCWSTR lpstrDefExt;
  LPARAM lCustData;
  LPOFNHOOKPROC lpfnHook;
  LPCWSTR lpTemplateName;
  void* pvReserved;
  DWORD dwReserved;
  DWORD FlagsEx;
};
using LPOPENFILENAMEW = OPENFILENAMEW*;
// The record's size before the Windows 2000 fields (pvReserved, dwReserved, FlagsEx).
#define OPENFILENAME_SIZE_VERSION_400W (offsetof(OPENFILENAMEW, lpTemplateName) + sizeof(LPCWSTR))

#define OFN_READONLY 0x00000001
#define OFN_OVERWRITEPROMPT 0x00000002
#define OFN_HIDEREADONLY 0x00000004
#define OFN_NOCHANGEDIR 0x00000008
#define OFN_SHOWHELP 0x00000010
#define OFN_ENABLEHOOK 0x00000020
#define OFN_ENABLETEMPLATE 0x00000040
#define OFN_ENABLETEMPLATEHANDLE 0x00000080
#define OFN_NOVALIDATE 0x00000100
#define OFN_ALLOWMULTISELECT 0x00000200
#define OFN_EXTENSIONDIFFERENT 0x00000400
#define OFN_PATHMUSTEXIST 0x00000800
#define OFN_FILEMUSTEXIST 0x00001000
#define OFN_CREATEPROMPT 0x00002000
#define OFN_SHAREAWARE 0x00004000
#define OFN_NOREADONLYRETURN 0x00008000
#define OFN_NOTESTFILECREATE 0x00010000
#define OFN_NONETWORKBUTTON 0x00020000
#define OFN_NOLONGNAMES 0x00040000
#define OFN_EXPLORER 0x00080000
#define OFN_NODEREFERENCELINKS 0x00100000
#define OFN_LONGNAMES 0x00200000
#define OFN_ENABLEINCLUDENOTIFY 0x00400000
#define OFN_ENABLESIZING 0x00800000
#define OFN_DONTADDTORECENT 0x02000000
#define OFN_FORCESHOWHIDDEN 0x10000000

// CommDlgExtendedError codes.
#define CDERR_DIALOGFAILURE 0xFFFF
#define CDERR_STRUCTSIZE 0x0001
#define CDERR_INITIALIZATION 0x0002
#define CDERR_NOTEMPLATE 0x0003
#define CDERR_NOHOOK 0x000B
#define FNERR_SUBCLASSFAILURE 0x3001
#define FNERR_INVALIDFILENAME 0x3002
#define FNERR_BUFFERTOOSMALL 0x3003

BOOL GetOpenFileNameW(LPOPENFILENAMEW lpofn);
BOOL GetSaveFileNameW(LPOPENFILENAMEW lpofn);
// The calling thread's last common-dialog error (0 after a success or a Cancel).
DWORD CommDlgExtendedError();

namespace platform::commdlg {

// Control ids of the file dialog (see the top of this file).
inline constexpr int kCurrentFolderId = 0x0440;  // stc1
inline constexpr int kFileTypeLabelId = 0x0441;  // stc2
inline constexpr int kFileNameLabelId = 0x0442;  // stc3
inline constexpr int kLookInLabelId = 0x0443;    // stc4
inline constexpr int kFileListId = 0x0460;       // lst1
inline constexpr int kFileTypeId = 0x0470;       // cmb1
inline constexpr int kFileNameId = 0x047C;       // cmb13
inline constexpr int kReadOnlyId = 0x0410;       // chx1

// Whether a file name matches one pattern of a filter ("*.txt", "*.*", "a?c"), without regard to
// case; "*.*" matches every name, as on Windows.
bool matchesPattern(std::u16string_view name, std::u16string_view pattern);

}  // namespace platform::commdlg

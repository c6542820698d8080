// The shell's file operation (SHFileOperationW): copy, move, delete and rename files and folder
// trees with Explorer's rules for targets, built on the Win32 file calls (platform/win32/file.h)
// so attributes, share modes, a full drive and injected faults act on every step.
//
// Targets, as on XP:
// - A source copied or moved to an existing folder goes inside it ("D:\x" to "E:\t" gives
//   "E:\t\x"), a folder onto an existing folder too. With several sources, or a wildcard source
//   ("D:\dir\*.*"), a missing target folder is created and everything goes inside it; with one
//   source and a missing target, the target is the new name (its parent folders are created).
// - FOF_MULTIDESTFILES pairs the i-th source with the i-th target.
// - A folder that meets a folder of the same name inside the target is merged into it; a file
//   replaces a file of the same name (read-only targets included).
// - Wildcards stand only in the last component; "*.*" matches every name. With FOF_FILESONLY a
//   wildcard takes only files.
//
// There is no user interface: the stand-in never asks. Every question XP would ask (replace a
// file, merge a folder, create the target folder, delete a read-only file) is answered yes, as
// FOF_NOCONFIRMATION and FOF_NOCONFIRMMKDIR would; FOF_SILENT, FOF_NOERRORUI and
// FOF_SIMPLEPROGRESS therefore change nothing. FOF_ALLOWUNDO deletes for real: the stand-in has no
// recycle bin. FOF_RENAMEONCOLLISION gives a copy or move that meets an existing name the name
// "Copy of <name>", then "Copy (2) of <name>", ... (also a copy of a file onto itself).
//
// Return values (what XP's shell returns for these cases): 0 on success; the Win32 error of the
// file call that failed (ERROR_FILE_NOT_FOUND 2 for a missing source, ERROR_PATH_NOT_FOUND 3,
// ERROR_ACCESS_DENIED 5, ERROR_SHARING_VIOLATION 32, ERROR_DISK_FULL 112, ...); the shell's own
// DE_* codes where it refuses before any file call (below). The first failure ends the operation
// (what a dismissed error box does) with fAnyOperationsAborted set; whatever was done before it
// stays done (no roll-back). A fault injected for "SHFileOperationW" (subject: the first source)
// fails the whole call with its code before anything is touched.
#pragma once

#include "platform/base/types.h"

#define FO_MOVE 0x0001
#define FO_COPY 0x0002
#define FO_DELETE 0x0003
#define FO_RENAME 0x0004

#define FOF_MULTIDESTFILES 0x0001
#define FOF_CONFIRMMOUSE 0x0002
#define FOF_SILENT 0x0004
#define FOF_RENAMEONCOLLISION 0x0008
#define FOF_NOCONFIRMATION 0x0010
#define FOF_WANTMAPPINGHANDLE 0x0020
#define FOF_ALLOWUNDO 0x0040
#define FOF_FILESONLY 0x0080
#define FOF_SIMPLEPROGRESS 0x0100
#define FOF_NOCONFIRMMKDIR 0x0200
#define FOF_NOERRORUI 0x0400
#define FOF_NOCOPYSECURITYATTRIBS 0x0800
#define FOF_NORECURSION 0x1000

// The shell's own refusals.
#define DE_SAMEFILE 0x71        // source and target are the same file
#define DE_MANYSRC1DEST 0x72    // FOF_MULTIDESTFILES with a target count that differs from the sources'
#define DE_DIFFDIR 0x73         // a rename into another folder
#define DE_ROOTDIR 0x74         // a drive root as source
#define DE_DESTSUBTREE 0x76     // a folder copied or moved into itself
#define DE_MANYDEST 0x7A        // several targets without FOF_MULTIDESTFILES
#define DE_INVALIDFILES 0x7C    // an empty source list, or an empty or missing target list
#define DE_FLDDESTISFILE 0x7E   // a folder onto an existing file
#define DE_FILEDESTISFLD 0x80   // a file onto an existing folder inside a merged folder
#define DE_ERROR_UNKNOWN 0x402  // wildcards in a rename, or a function other than FO_*

using FILEOP_FLAGS = WORD;

struct SHFILEOPSTRUCTW {
  HWND hwnd;
  UINT wFunc;
  LPCWSTR pFrom;  // paths, each NUL-ended, the list ended by one more NUL
  LPCWSTR pTo;    // the same form; null for FO_DELETE
  FILEOP_FLAGS fFlags;
  BOOL fAnyOperationsAborted;
  LPVOID hNameMappings;         // always set to null: name mappings are not offered
  LPCWSTR lpszProgressTitle;    // used with FOF_SIMPLEPROGRESS; there is no progress window
};
using LPSHFILEOPSTRUCTW = SHFILEOPSTRUCTW*;

int SHFileOperationW(LPSHFILEOPSTRUCTW lpFileOp);

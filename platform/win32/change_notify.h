// Folder change notifications (FindFirstChangeNotificationW and its companions): a waitable
// handle that becomes signalled when something the filter names changes in a folder, or in its
// whole tree when asked, and stays so until FindNextChangeNotification asks for the next change.
// As on Windows, changes made after the handle was signalled and before that call are not lost:
// the handle is signalled again at once.
//
// Which changes count: FILE_NOTIFY_CHANGE_FILE_NAME a file created, deleted or renamed;
// _DIR_NAME the same for a folder; _SIZE and _LAST_WRITE a write to a file; _LAST_ACCESS a read;
// _ATTRIBUTES, _CREATION and _SECURITY a change of an entry's attributes or times (the host keeps
// attributes and times together, so any of these flags sees either kind). The watched folder
// itself going away signals the handle too.
#pragma once

#include "platform/base/types.h"

#define FILE_NOTIFY_CHANGE_FILE_NAME 0x00000001
#define FILE_NOTIFY_CHANGE_DIR_NAME 0x00000002
#define FILE_NOTIFY_CHANGE_ATTRIBUTES 0x00000004
#define FILE_NOTIFY_CHANGE_SIZE 0x00000008
#define FILE_NOTIFY_CHANGE_LAST_WRITE 0x00000010
#define FILE_NOTIFY_CHANGE_LAST_ACCESS 0x00000020
#define FILE_NOTIFY_CHANGE_CREATION 0x00000040
#define FILE_NOTIFY_CHANGE_SECURITY 0x00000100

// A handle to wait on (WaitForSingleObject, MsgWaitForMultipleObjects), or INVALID_HANDLE_VALUE
// with ERROR_INVALID_PARAMETER (no filter flag, or an unknown one), ERROR_FILE_NOT_FOUND or
// ERROR_PATH_NOT_FOUND (no such folder), ERROR_DIRECTORY (the path names a file), or the path's
// own error (ERROR_INVALID_NAME, ERROR_NOT_READY, ...).
HANDLE FindFirstChangeNotificationW(LPCWSTR lpPathName, BOOL bWatchSubtree, DWORD dwNotifyFilter);
// Unsignals the handle, unless changes came since it was signalled (then it stays signalled).
// ERROR_INVALID_HANDLE for a handle that is not a change notification.
BOOL FindNextChangeNotification(HANDLE hChangeHandle);
// Ends the watch and closes the handle; ERROR_INVALID_HANDLE as above.
BOOL FindCloseChangeNotification(HANDLE hChangeHandle);

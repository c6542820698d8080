// Cursors: the standard system cursors (LoadCursorW with a null module and an IDC_ id), cursors
// from a module's resources, the current cursor (SetCursor, GetCursor) and its show count
// (ShowCursor). Nothing is drawn; the current cursor is process state a test can read, as a
// person would see the hourglass.
//
// Handles: a standard cursor is the value 0x7F020000 | id (the framework's LoadStandardCursor
// gives the same), a resource cursor the module's RT_GROUP_CURSOR resource handle; both are
// shared and never destroyed (DestroyCursor does nothing for them and answers TRUE).
#pragma once

#include "platform/base/types.h"
#include "platform/win32/resource.h"

#ifndef IDC_ARROW
#define IDC_ARROW MAKEINTRESOURCEW(32512)
#define IDC_IBEAM MAKEINTRESOURCEW(32513)
#define IDC_WAIT MAKEINTRESOURCEW(32514)
#define IDC_CROSS MAKEINTRESOURCEW(32515)
#define IDC_HAND MAKEINTRESOURCEW(32649)
#endif
#ifndef IDC_UPARROW
#define IDC_UPARROW MAKEINTRESOURCEW(32516)
#define IDC_SIZE MAKEINTRESOURCEW(32640)
#define IDC_ICON MAKEINTRESOURCEW(32641)
#define IDC_SIZENWSE MAKEINTRESOURCEW(32642)
#define IDC_SIZENESW MAKEINTRESOURCEW(32643)
#define IDC_SIZEWE MAKEINTRESOURCEW(32644)
#define IDC_SIZENS MAKEINTRESOURCEW(32645)
#define IDC_SIZEALL MAKEINTRESOURCEW(32646)
#define IDC_NO MAKEINTRESOURCEW(32648)
#define IDC_APPSTARTING MAKEINTRESOURCEW(32650)
#define IDC_HELP MAKEINTRESOURCEW(32651)
#endif

// hInstance null: one of the standard IDC_ cursors (NULL with ERROR_RESOURCE_NAME_NOT_FOUND for
// any other id or a name). Otherwise the module's cursor resource of that name or id (NULL with
// the error of FindResourceW when it has none).
HCURSOR LoadCursorW(HINSTANCE hInstance, LPCWSTR lpCursorName);
// Makes hCursor the current cursor of the process (null: no cursor) and returns the previous one.
HCURSOR SetCursor(HCURSOR hCursor);
// The current cursor; null until one is set.
HCURSOR GetCursor();
// Adds 1 (bShow) or subtracts 1 from the display count and returns the new count; the cursor is
// shown while the count is 0 or more. The count starts at 0 (a mouse is installed).
int ShowCursor(BOOL bShow);
BOOL DestroyCursor(HCURSOR hCursor);

namespace platform::cursor {

// The standard cursor of an IDC_ id (the value LoadCursorW(nullptr, id) gives), or null.
HCURSOR standardCursor(LPCWSTR id);
// The IDC_ number of a standard cursor handle, or 0 for any other handle.
int standardCursorId(HCURSOR cursor);
// How many times SetCursor has been called in this process (for tests that look for a flash of
// the wait cursor).
int setCursorCount();

}  // namespace platform::cursor

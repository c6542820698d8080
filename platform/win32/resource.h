// Resources of a module (string tables, dialog templates, menus, icons, bitmaps, HTML and binary
// resources, the version block): finding them by type, name and language, reaching their bytes,
// and loading strings. The bytes are in the Windows binary layouts the resource compiler writes
// (tools/kiporc/FORMAT.md); they stay valid while the module stays loaded.
#pragma once

#include "platform/base/types.h"
#include "platform/win32/locale.h"  // MAKELANGID and the LANG_* ids
#include "platform/win32/module.h"

#ifndef MAKEINTRESOURCEW
#define MAKEINTRESOURCEW(i) (reinterpret_cast<LPWSTR>(static_cast<ULONG_PTR>(static_cast<WORD>(i))))
#define MAKEINTRESOURCEA(i) (reinterpret_cast<LPSTR>(static_cast<ULONG_PTR>(static_cast<WORD>(i))))
#define MAKEINTRESOURCE(i) MAKEINTRESOURCEW(i)
#endif
#ifndef IS_INTRESOURCE
#define IS_INTRESOURCE(r) ((reinterpret_cast<ULONG_PTR>(r) >> 16) == 0)
#endif

#ifndef RT_STRING
#define RT_CURSOR MAKEINTRESOURCEW(1)
#define RT_BITMAP MAKEINTRESOURCEW(2)
#define RT_ICON MAKEINTRESOURCEW(3)
#define RT_MENU MAKEINTRESOURCEW(4)
#define RT_DIALOG MAKEINTRESOURCEW(5)
#define RT_STRING MAKEINTRESOURCEW(6)
#define RT_ACCELERATOR MAKEINTRESOURCEW(9)
#define RT_RCDATA MAKEINTRESOURCEW(10)
#define RT_GROUP_CURSOR MAKEINTRESOURCEW(12)
#define RT_GROUP_ICON MAKEINTRESOURCEW(14)
#define RT_VERSION MAKEINTRESOURCEW(16)
#define RT_HTML MAKEINTRESOURCEW(23)
#define RT_MANIFEST MAKEINTRESOURCEW(24)
#endif
#ifndef RT_DLGINIT
#define RT_DLGINIT MAKEINTRESOURCEW(240)
#endif

// A resource by name and type (each a MAKEINTRESOURCEW number, a name, or "#123"); names compare
// without regard to case. The language is chosen as Windows does: neutral, the user's language,
// its neutral and default forms, English (US), else the first one present. Null with
// ERROR_RESOURCE_DATA_NOT_FOUND (module without resources), ERROR_RESOURCE_TYPE_NOT_FOUND,
// ERROR_RESOURCE_NAME_NOT_FOUND or ERROR_RESOURCE_LANG_NOT_FOUND. A null module is the program.
HRSRC FindResourceW(HMODULE module, LPCWSTR name, LPCWSTR type);
// The same with a given language: that language, then its neutral form, then neutral.
HRSRC FindResourceExW(HMODULE module, LPCWSTR type, LPCWSTR name, WORD language);

// The resource's bytes (LockResource gives the pointer); read-only, valid while the module is
// loaded. Null with ERROR_INVALID_HANDLE when `resource` is not a resource of `module`.
HGLOBAL LoadResource(HMODULE module, HRSRC resource);
LPVOID LockResource(HGLOBAL data);
DWORD SizeofResource(HMODULE module, HRSRC resource);
// Resources are freed with their module; returns FALSE (success) as Win32 does.
BOOL FreeResource(HGLOBAL data);

// String `id` of the module's string table (block id / 16 + 1, entry id % 16).
// With bufferMax 0, *reinterpret_cast<LPWSTR*>(buffer) receives a read-only pointer to the text
// in the resource (not NUL-terminated) and the result is its length. Otherwise up to bufferMax-1
// characters are copied and terminated; the result is the number copied. A missing string gives
// 0; when its block exists the buffer is emptied, when the block is missing it is left unchanged.
int LoadStringW(HINSTANCE module, UINT id, LPWSTR buffer, int bufferMax);
// The same through the ANSI code page: bufferMax bytes including the NUL; 0 when bufferMax is 0.
int LoadStringA(HINSTANCE module, UINT id, LPSTR buffer, int bufferMax);

using ENUMRESNAMEPROCW = BOOL (*)(HMODULE module, LPCWSTR type, LPWSTR name, LONG_PTR param);
// Calls `callback` for each name of the type (names first, then numbers ascending), until it
// returns FALSE (then FALSE with ERROR_RESOURCE_ENUM_USER_STOP).
BOOL EnumResourceNamesW(HMODULE module, LPCWSTR type, ENUMRESNAMEPROCW callback, LONG_PTR param);

// BSTR: automation strings. The pointer addresses UTF-16 text; the 32-bit byte length sits just
// before it and a 16-bit NUL just after the last byte, so a BSTR may hold embedded NULs and still
// pass as an ordinary NUL-terminated string. A null BSTR is a valid empty string everywhere.
#pragma once

#include "platform/com/comtypes.h"

// A copy of text up to its NUL; null for null text or when memory runs out.
BSTR SysAllocString(const OLECHAR* text);
// length characters from text (which may hold NULs); null text gives that many zero characters.
BSTR SysAllocStringLen(const OLECHAR* text, UINT length);
// length bytes from bytes (null: zeros); SysStringByteLen then gives exactly length, odd or not.
BSTR SysAllocStringByteLen(LPCSTR bytes, UINT length);
// Replaces *target with a copy of text (which may point into *target); FALSE, *target unchanged,
// when memory runs out.
INT SysReAllocString(BSTR* target, const OLECHAR* text);
INT SysReAllocStringLen(BSTR* target, const OLECHAR* text, UINT length);
void SysFreeString(BSTR text);
// Length in characters (bytes / 2) and in bytes; 0 for a null BSTR.
UINT SysStringLen(BSTR text);
UINT SysStringByteLen(BSTR text);

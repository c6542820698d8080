// National language support: code page conversion (MultiByteToWideChar/WideCharToMultiByte),
// the host's code pages and locales (user locale and system locale are host facts), locale
// information for the locales the product knows, language id macros, and the user32/kernel32
// string helpers (lstr*, CharUpper/CharLower, IsChar*).
#pragma once

#include "platform/base/types.h"

using LCTYPE = DWORD;

// ---- code pages -------------------------------------------------------------------------------
#define CP_ACP 0
#define CP_OEMCP 1
#define CP_MACCP 2
#define CP_THREAD_ACP 3
#define CP_SYMBOL 42
#define CP_UTF7 65000
#define CP_UTF8 65001

#define MB_PRECOMPOSED 0x00000001
#define MB_COMPOSITE 0x00000002
#define MB_USEGLYPHCHARS 0x00000004
#define MB_ERR_INVALID_CHARS 0x00000008

#define WC_DISCARDNS 0x00000010
#define WC_SEPCHARS 0x00000020
#define WC_DEFAULTCHAR 0x00000040
#define WC_COMPOSITECHECK 0x00000200
#define WC_NO_BEST_FIT_CHARS 0x00000400

#define MAX_LEADBYTES 12
#define MAX_DEFAULTCHAR 2

struct CPINFO {
  UINT MaxCharSize;
  BYTE DefaultChar[MAX_DEFAULTCHAR];
  BYTE LeadByte[MAX_LEADBYTES];
};
using LPCPINFO = CPINFO*;

// Returns the number of characters written (or needed, when cchWideChar is 0), counting the NUL
// when cbMultiByte is -1; 0 on failure with ERROR_INVALID_PARAMETER, ERROR_INVALID_FLAGS,
// ERROR_INSUFFICIENT_BUFFER (the buffer then holds as much as fitted) or, with
// MB_ERR_INVALID_CHARS, ERROR_NO_UNICODE_TRANSLATION.
int MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte, LPWSTR lpWideCharStr,
                        int cchWideChar);
// Bytes written or needed, as above. lpDefaultChar (one character of the code page) replaces
// what the code page cannot hold and *lpUsedDefaultChar tells whether that happened; both must
// be null for CP_UTF8 and CP_UTF7.
int WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr, int cchWideChar, LPSTR lpMultiByteStr,
                        int cbMultiByte, LPCSTR lpDefaultChar, LPBOOL lpUsedDefaultChar);
UINT GetACP();
UINT GetOEMCP();
BOOL IsValidCodePage(UINT CodePage);
BOOL GetCPInfo(UINT CodePage, LPCPINFO lpCPInfo);
BOOL IsDBCSLeadByte(BYTE TestChar);
BOOL IsDBCSLeadByteEx(UINT CodePage, BYTE TestChar);

// ---- language and locale ids -----------------------------------------------------------------
#define MAKELANGID(p, s) (static_cast<WORD>((static_cast<WORD>(s) << 10) | static_cast<WORD>(p)))
#define PRIMARYLANGID(lgid) (static_cast<WORD>(lgid) & 0x3ff)
#define SUBLANGID(lgid) (static_cast<WORD>(lgid) >> 10)
#define MAKELCID(lgid, srtid) (static_cast<DWORD>((static_cast<DWORD>(static_cast<WORD>(srtid)) << 16) | static_cast<DWORD>(static_cast<WORD>(lgid))))
#define LANGIDFROMLCID(lcid) (static_cast<WORD>(lcid))
#define SORTIDFROMLCID(lcid) (static_cast<WORD>((static_cast<DWORD>(lcid) >> 16) & 0xf))
#define SORT_DEFAULT 0x0

#define LANG_NEUTRAL 0x00
#define LANG_INVARIANT 0x7f
#define LANG_ARABIC 0x01
#define LANG_BULGARIAN 0x02
#define LANG_CATALAN 0x03
#define LANG_CHINESE 0x04
#define LANG_CZECH 0x05
#define LANG_DANISH 0x06
#define LANG_GERMAN 0x07
#define LANG_GREEK 0x08
#define LANG_ENGLISH 0x09
#define LANG_SPANISH 0x0a
#define LANG_FINNISH 0x0b
#define LANG_FRENCH 0x0c
#define LANG_HEBREW 0x0d
#define LANG_HUNGARIAN 0x0e
#define LANG_ITALIAN 0x10
#define LANG_JAPANESE 0x11
#define LANG_KOREAN 0x12
#define LANG_DUTCH 0x13
#define LANG_NORWEGIAN 0x14
#define LANG_POLISH 0x15
#define LANG_PORTUGUESE 0x16
#define LANG_RUSSIAN 0x19
#define LANG_SWEDISH 0x1d
#define LANG_THAI 0x1e
#define LANG_TURKISH 0x1f
#define LANG_BASQUE 0x2d

#define SUBLANG_NEUTRAL 0x00
#define SUBLANG_DEFAULT 0x01
#define SUBLANG_SYS_DEFAULT 0x02
#define SUBLANG_CHINESE_TRADITIONAL 0x01
#define SUBLANG_CHINESE_SIMPLIFIED 0x02
#define SUBLANG_CHINESE_HONGKONG 0x03
#define SUBLANG_CHINESE_SINGAPORE 0x04
#define SUBLANG_CHINESE_MACAU 0x05
#define SUBLANG_DUTCH 0x01
#define SUBLANG_DUTCH_BELGIAN 0x02
#define SUBLANG_ENGLISH_US 0x01
#define SUBLANG_ENGLISH_UK 0x02
#define SUBLANG_ENGLISH_AUS 0x03
#define SUBLANG_ENGLISH_CAN 0x04
#define SUBLANG_ENGLISH_NZ 0x05
#define SUBLANG_ENGLISH_EIRE 0x06
#define SUBLANG_FRENCH 0x01
#define SUBLANG_FRENCH_BELGIAN 0x02
#define SUBLANG_FRENCH_CANADIAN 0x03
#define SUBLANG_FRENCH_SWISS 0x04
#define SUBLANG_GERMAN 0x01
#define SUBLANG_GERMAN_SWISS 0x02
#define SUBLANG_GERMAN_AUSTRIAN 0x03
#define SUBLANG_ITALIAN 0x01
#define SUBLANG_ITALIAN_SWISS 0x02
#define SUBLANG_JAPANESE_JAPAN 0x01
#define SUBLANG_KOREAN 0x01
#define SUBLANG_PORTUGUESE 0x02
#define SUBLANG_PORTUGUESE_BRAZILIAN 0x01
#define SUBLANG_SPANISH 0x01
#define SUBLANG_SPANISH_MEXICAN 0x02
#define SUBLANG_SPANISH_MODERN 0x03
#define SUBLANG_THAI_THAILAND 0x01

#define LANG_SYSTEM_DEFAULT MAKELANGID(LANG_NEUTRAL, SUBLANG_SYS_DEFAULT)
#define LANG_USER_DEFAULT MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT)
#define LOCALE_SYSTEM_DEFAULT MAKELCID(LANG_SYSTEM_DEFAULT, SORT_DEFAULT)
#define LOCALE_USER_DEFAULT MAKELCID(LANG_USER_DEFAULT, SORT_DEFAULT)
#define LOCALE_NEUTRAL MAKELCID(MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL), SORT_DEFAULT)
#define LOCALE_INVARIANT MAKELCID(MAKELANGID(LANG_INVARIANT, SUBLANG_NEUTRAL), SORT_DEFAULT)

// ---- locale information ----------------------------------------------------------------------
#define LOCALE_NOUSEROVERRIDE 0x80000000
#define LOCALE_USE_CP_ACP 0x40000000
#define LOCALE_RETURN_NUMBER 0x20000000

#define LOCALE_ILANGUAGE 0x00000001
#define LOCALE_SLANGUAGE 0x00000002
#define LOCALE_SABBREVLANGNAME 0x00000003
#define LOCALE_ICOUNTRY 0x00000005
#define LOCALE_SCOUNTRY 0x00000006
#define LOCALE_SABBREVCTRYNAME 0x00000007
#define LOCALE_IDEFAULTLANGUAGE 0x00000009
#define LOCALE_IDEFAULTCOUNTRY 0x0000000A
#define LOCALE_IDEFAULTCODEPAGE 0x0000000B
#define LOCALE_SLIST 0x0000000C
#define LOCALE_IMEASURE 0x0000000D
#define LOCALE_SDECIMAL 0x0000000E
#define LOCALE_STHOUSAND 0x0000000F
#define LOCALE_SCURRENCY 0x00000014
#define LOCALE_SDATE 0x0000001D
#define LOCALE_STIME 0x0000001E
#define LOCALE_SSHORTDATE 0x0000001F
#define LOCALE_SLONGDATE 0x00000020
#define LOCALE_S1159 0x00000028
#define LOCALE_S2359 0x00000029
#define LOCALE_SISO639LANGNAME 0x00000059
#define LOCALE_SISO3166CTRYNAME 0x0000005A
#define LOCALE_SENGLANGUAGE 0x00001001
#define LOCALE_SENGCOUNTRY 0x00001002
#define LOCALE_STIMEFORMAT 0x00001003
#define LOCALE_IDEFAULTANSICODEPAGE 0x00001004
#define LOCALE_IFIRSTDAYOFWEEK 0x0000100C

#define LCID_INSTALLED 0x00000001
#define LCID_SUPPORTED 0x00000002

// Characters written (or needed when cchData is 0) counting the NUL; 0 on failure with
// ERROR_INVALID_PARAMETER (unknown locale, bad buffer), ERROR_INVALID_FLAGS (unknown LCTYPE) or
// ERROR_INSUFFICIENT_BUFFER. LOCALE_RETURN_NUMBER gives a numeric item as a DWORD in the buffer.
int GetLocaleInfoW(LCID Locale, LCTYPE LCType, LPWSTR lpLCData, int cchData);
// As GetLocaleInfoW, in bytes of the locale's ANSI code page (the host's with LOCALE_USE_CP_ACP).
int GetLocaleInfoA(LCID Locale, LCTYPE LCType, LPSTR lpLCData, int cchData);
BOOL IsValidLocale(LCID Locale, DWORD dwFlags);

// The user locale is the host's user_locale fact, the system locale its system_locale fact. The
// user interface language is the system locale's language (a Windows installed in that language).
LCID GetUserDefaultLCID();
LCID GetSystemDefaultLCID();
LANGID GetUserDefaultLangID();
LANGID GetSystemDefaultLangID();
LANGID GetUserDefaultUILanguage();
LANGID GetSystemDefaultUILanguage();
// Per thread; the user default until SetThreadLocale.
LCID GetThreadLocale();
BOOL SetThreadLocale(LCID Locale);

// ---- string helpers --------------------------------------------------------------------------
// A null pointer counts as empty (Windows catches the fault and returns 0).
int lstrlenW(LPCWSTR lpString);
int lstrlenA(LPCSTR lpString);
// Windows compares these with the user locale's word sort. Here: symbols sort before digits,
// digits before letters, letters by the shared upper-casing table, and for lstrcmp a lower-case
// letter before its upper case; hyphens and apostrophes are not ignored as word sort does.
int lstrcmpW(LPCWSTR lpString1, LPCWSTR lpString2);
int lstrcmpA(LPCSTR lpString1, LPCSTR lpString2);
int lstrcmpiW(LPCWSTR lpString1, LPCWSTR lpString2);
int lstrcmpiA(LPCSTR lpString1, LPCSTR lpString2);
// Return the destination, or null when a pointer is null.
LPWSTR lstrcpyW(LPWSTR lpString1, LPCWSTR lpString2);
LPSTR lstrcpyA(LPSTR lpString1, LPCSTR lpString2);
// Copies at most iMaxLength - 1 characters and always ends with a NUL (when iMaxLength > 0).
LPWSTR lstrcpynW(LPWSTR lpString1, LPCWSTR lpString2, int iMaxLength);
LPSTR lstrcpynA(LPSTR lpString1, LPCSTR lpString2, int iMaxLength);
LPWSTR lstrcatW(LPWSTR lpString1, LPCWSTR lpString2);
LPSTR lstrcatA(LPSTR lpString1, LPCSTR lpString2);

// A value whose high word is zero is one character (returned converted, in the low word);
// anything else is a string converted in place and returned.
LPWSTR CharUpperW(LPWSTR lpsz);
LPSTR CharUpperA(LPSTR lpsz);
LPWSTR CharLowerW(LPWSTR lpsz);
LPSTR CharLowerA(LPSTR lpsz);
DWORD CharUpperBuffW(LPWSTR lpsz, DWORD cchLength);
DWORD CharLowerBuffW(LPWSTR lpsz, DWORD cchLength);
DWORD CharUpperBuffA(LPSTR lpsz, DWORD cchLength);
DWORD CharLowerBuffA(LPSTR lpsz, DWORD cchLength);
LPWSTR CharNextW(LPCWSTR lpsz);
LPWSTR CharPrevW(LPCWSTR lpszStart, LPCWSTR lpszCurrent);
// Steps over two-byte characters of the ANSI code page.
LPSTR CharNextA(LPCSTR lpsz);
LPSTR CharPrevA(LPCSTR lpszStart, LPCSTR lpszCurrent);
BOOL IsCharAlphaW(WCHAR ch);
BOOL IsCharAlphaNumericW(WCHAR ch);
BOOL IsCharUpperW(WCHAR ch);
BOOL IsCharLowerW(WCHAR ch);
BOOL IsCharAlphaA(CHAR ch);
BOOL IsCharAlphaNumericA(CHAR ch);

#define lstrlen lstrlenW
#define lstrcmp lstrcmpW
#define lstrcmpi lstrcmpiW
#define lstrcpy lstrcpyW
#define lstrcpyn lstrcpynW
#define lstrcat lstrcatW
#define CharUpper CharUpperW
#define CharLower CharLowerW
#define CharUpperBuff CharUpperBuffW
#define CharLowerBuff CharLowerBuffW
#define CharNext CharNextW
#define CharPrev CharPrevW
#define IsCharAlpha IsCharAlphaW
#define IsCharAlphaNumeric IsCharAlphaNumericW
#define IsCharUpper IsCharUpperW
#define IsCharLower IsCharLowerW
#define GetLocaleInfo GetLocaleInfoW

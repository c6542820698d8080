// 8-bit ("ANSI") text: conversion between UTF-16 and the host's ANSI code page (chosen by the
// host's system locale: 1252 for Western locales, 932 for Japanese, ...) or a named code page.
// Behind MultiByteToWideChar/WideCharToMultiByte and every "A" form of a call.
//
// Single-byte code pages are tables built once from iconv; the Windows definitions of bytes
// iconv leaves undefined are patched in (1252's 0x81, 0x8D, 0x8F, 0x90, 0x9D become U+0081...,
// as Windows maps them). Double-byte code pages (932, 936, 949, 950) go through iconv with
// descriptors cached per thread; 932's single bytes 0x80, 0xA0 and 0xFD-0xFF get the Windows
// values (U+0080, U+F8F0, U+F8F1-U+F8F3). Input bytes that are not a character of the code page
// become the code page's default Unicode character (U+30FB for 932, '?' otherwise) and are
// reported as invalid. Characters a code page cannot hold become the default character ('?');
// Windows' "best fit" substitutions (U+0100 to 'A') are not made.
#pragma once

#include <string>
#include <string_view>

#include "platform/base/types.h"

namespace platform::text {

inline constexpr UINT CodePageUtf8 = 65001;

// The host's ANSI code page number, from its system locale; 1252 in a process without a host.
// A process keeps its code page for the lifetime of its host, as Windows fixes it at boot.
UINT ansiCodePage();
// The host's OEM code page (437 for US English, 850 for most of Western Europe, ...).
UINT oemCodePage();
// The code pages Windows gives a locale (a full LCID or a language id).
UINT ansiCodePageOf(LCID locale);
UINT oemCodePageOf(LCID locale);

// Conversions through the host's ANSI code page; unmappable characters become '?'.
std::u16string ansiToWide(std::string_view text);
std::string wideToAnsi(std::u16string_view text);

// Whether conversions in `codePage` (a number, not CP_ACP) are available.
bool codePageSupported(UINT codePage);
// Whether `byte` starts a two-byte character in `codePage`.
bool isLeadByte(UINT codePage, unsigned char byte);

// Bytes in `codePage` to UTF-16, appended to `out`. Sets *invalid when some input was not a
// character of the code page (it was still mapped as described above). UTF-8 follows Windows
// XP: invalid sequences are dropped, encoded surrogate halves are decoded. False only when the
// code page is not supported.
bool decode(UINT codePage, std::string_view bytes, std::u16string& out, bool* invalid = nullptr);
// UTF-16 to bytes in `codePage`, appended to `out`. A character the code page cannot hold
// becomes `defaultChar` ("?" when empty) and sets *usedDefault. UTF-8 encodes unpaired
// surrogates as three-byte sequences, as Windows XP does. False only when not supported.
bool encode(UINT codePage, std::u16string_view text, std::string& out, std::string_view defaultChar = {},
            bool* usedDefault = nullptr);

}  // namespace platform::text

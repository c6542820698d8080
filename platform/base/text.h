// UTF-16 text inside the stand-in: conversion to and from the UTF-8 of Linux paths and SQLite,
// and the one upper-casing table behind every case-insensitive name comparison (registry keys,
// paths, window classes), as Windows has one table for all of them.
#pragma once

#include <string>
#include <string_view>

namespace platform::text {

// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string toUtf8(std::u16string_view text);
// UTF-8 to UTF-16; an invalid byte sequence becomes U+FFFD.
std::u16string fromUtf8(std::string_view text);

// Upper-case form of one UTF-16 code unit by the shared table (simple one-to-one mappings only,
// so lengths never change, as with Windows' table).
char16_t upcase(char16_t c);
std::u16string upcased(std::u16string_view text);
void upcaseInPlace(std::u16string& text);

// Ordinal comparison after upper-casing both sides: <0, 0, >0.
int compareNoCase(std::u16string_view a, std::u16string_view b);
inline bool equalNoCase(std::u16string_view a, std::u16string_view b) {
  return a.size() == b.size() && compareNoCase(a, b) == 0;
}

// Length of a NUL-terminated UTF-16 string (null counts as empty).
std::size_t length(const char16_t* s);

// Convenience for internal code: u16 from a NUL-terminated pointer, null giving empty.
inline std::u16string_view view(const char16_t* s) { return s ? std::u16string_view(s, length(s)) : std::u16string_view(); }

}  // namespace platform::text

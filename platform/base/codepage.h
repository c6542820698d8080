// 8-bit ("ANSI") text: conversion between UTF-16 and the host's ANSI code page (chosen by the
// host's system locale: 1252 for Western locales, 932 for Japanese, ...) or a named code page.
// Behind MultiByteToWideChar/WideCharToMultiByte and every "A" form of a call.
#pragma once

#include <string>
#include <string_view>

#include "platform/base/types.h"

namespace platform::text {

// The host's ANSI code page number.
UINT ansiCodePage();
// Conversions through the host's ANSI code page; unmappable characters become '?'.
std::u16string ansiToWide(std::string_view text);
std::string wideToAnsi(std::u16string_view text);

}  // namespace platform::text

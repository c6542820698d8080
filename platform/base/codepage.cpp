// Placeholder: Latin-1 until the code page tables land.
#include "platform/base/codepage.h"

namespace platform::text {

UINT ansiCodePage() { return 1252; }

std::u16string ansiToWide(std::string_view text) {
  std::u16string out;
  for (unsigned char c : text) out += static_cast<char16_t>(c);
  return out;
}

std::string wideToAnsi(std::u16string_view text) {
  std::string out;
  for (char16_t c : text) out += c < 0x100 ? static_cast<char>(c) : '?';
  return out;
}

}  // namespace platform::text

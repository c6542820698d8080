// Bytes of the class library's archive format written by hand, so a test can make any file a
// reader may meet (well-formed, cut short or lying about its sizes).
#pragma once

#include <cstdint>
#include <string>

namespace kipotest {

// The building calls chain; a test that needs records of its own derives with itself as `Self`.
template <class Self>
struct ArchiveBytesOf {
  std::string data;
  Self& u32(std::uint32_t v) {
    for (int i = 0; i < 4; ++i) data += static_cast<char>((v >> (8 * i)) & 0xFF);
    return self();
  }
  // A Unicode string: 0xFF, the marker 0xFFFE, the length byte, the UTF-16 units.
  Self& str(const std::u16string& s) {
    data += "\xFF\xFE\xFF";
    data += static_cast<char>(s.size());
    for (char16_t c : s) {
      data += static_cast<char>(c & 0xFF);
      data += static_cast<char>(c >> 8);
    }
    return self();
  }
  // A narrow string: the length byte and the characters.
  Self& narrow(const std::string& s) {
    data += static_cast<char>(s.size());
    data += s;
    return self();
  }
  // A byte string: its 32-bit length, then the bytes.
  Self& bytes(const std::string& b) {
    u32(static_cast<std::uint32_t>(b.size()));
    data += b;
    return self();
  }
  Self& raw(const std::string& s) {
    data += s;
    return self();
  }

 private:
  Self& self() { return static_cast<Self&>(*this); }
};

struct ArchiveBytes : ArchiveBytesOf<ArchiveBytes> {};

}  // namespace kipotest

// The key dump's byte layout: its tokens, a writer of its little-endian numbers and UTF-16 texts,
// a bounded cursor over a whole dump held in memory, and the reader of its key records.
#pragma once

#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "platform/base/types.h"

namespace dump {

inline constexpr char16_t kOpenKey = u'{';
inline constexpr char16_t kCloseKey = u'}';
inline constexpr char16_t kOpenValue = u'[';
inline constexpr char16_t kCloseValue = u']';

class Writer {
 public:
  void number(DWORD n) {
    char b[4] = {static_cast<char>(n), static_cast<char>(n >> 8), static_cast<char>(n >> 16),
                 static_cast<char>(n >> 24)};
    out_.append(b, 4);
  }
  void token(char16_t c) {
    out_ += static_cast<char>(c & 0xff);
    out_ += static_cast<char>(c >> 8);
  }
  void text(std::u16string_view s) {
    number(static_cast<DWORD>(s.size() * 2));
    for (char16_t c : s) token(c);
  }
  void bytes(std::string_view data) { out_.append(data); }
  void bytes(const BYTE* data, DWORD size) { out_.append(reinterpret_cast<const char*>(data), size); }
  const std::string& data() const { return out_; }

 private:
  std::string out_;
};

// Nothing is read past the buffer: every count is checked against what is left, and a read that
// does not fit fails without moving.
class Cursor {
 public:
  explicit Cursor(std::string_view bytes) : in_(bytes) {}

  std::size_t left() const { return in_.size() - at_; }

  bool number(DWORD& n) {
    if (left() < 4) return false;
    const auto* p = reinterpret_cast<const unsigned char*>(in_.data() + at_);
    n = static_cast<DWORD>(p[0]) | static_cast<DWORD>(p[1]) << 8 | static_cast<DWORD>(p[2]) << 16 |
        static_cast<DWORD>(p[3]) << 24;
    at_ += 4;
    return true;
  }

  bool token(char16_t& c) {
    if (left() < 2) return false;
    const auto* p = reinterpret_cast<const unsigned char*>(in_.data() + at_);
    c = static_cast<char16_t>(p[0] | p[1] << 8);
    at_ += 2;
    return true;
  }

  bool text(std::u16string& s) {
    DWORD size = 0;
    if (!number(size) || size % 2 || size > left()) return false;
    s.resize(size / 2);
    std::memcpy(s.data(), in_.data() + at_, size);
    at_ += size;
    return true;
  }

  bool bytes(DWORD size, std::string_view& data) {
    if (size > left()) return false;
    data = in_.substr(at_, size);
    at_ += size;
    return true;
  }

 protected:
  std::string_view in_;
  std::size_t at_ = 0;
};

struct Value {
  std::u16string name;
  DWORD type = 0;
  std::string_view data;  // points into the dump
};

struct Record {
  std::u16string path;
  std::vector<Value> values;
};

class Reader : public Cursor {
 public:
  using Cursor::Cursor;

  // The key records from here to the end of the data, nesting ignored (each record carries its
  // absolute path). The data may end wherever a record could begin or end: a writer that broke
  // off, or a file cut on a record boundary, leaves such a dump, and `cutShort` then says whether
  // keys were left open. False for data cut inside a record, a length past the end or an
  // unexpected token; `out` then holds whatever came before and must not be used.
  bool records(std::vector<Record>& out, bool& cutShort) {
    int depth = 0;
    cutShort = false;
    for (;;) {
      if (left() == 0) {
        cutShort = depth > 0;
        return true;
      }
      char16_t c = 0;
      if (!token(c)) return false;  // one stray byte
      if (c == kCloseKey && depth > 0) {
        --depth;
        continue;
      }
      if (c != kOpenKey) return false;
      ++depth;
      Record& record = out.emplace_back();
      if (!text(record.path)) return false;
      for (;;) {
        const std::size_t before = at_;
        if (left() == 0 || !token(c)) break;  // a stray byte fails at the top of the loop
        if (c != kOpenValue) {
          at_ = before;
          break;
        }
        Value& v = record.values.emplace_back();
        DWORD size = 0;
        if (!text(v.name) || !number(size) || !number(v.type) || !bytes(size, v.data)) return false;
        if (!token(c) || c != kCloseValue) return false;
      }
    }
  }
};

}  // namespace dump

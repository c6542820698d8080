// CString operations. Clamping and search rules follow the class library: bad counts are
// clamped, a start index outside the string finds nothing, empty search text replaces nothing.
#include "platform/afx/cstring.h"

#include <algorithm>
#include <cassert>
#include <array>
#include <mutex>
#include <shared_mutex>

#include "platform/base/codepage.h"
#include "platform/base/text.h"

namespace platform::afx {
namespace {

struct Loader {
  std::shared_mutex mutex;
  std::function<bool(UINT, std::u16string&)> function;
};

Loader& loader() {
  static Loader* l = new Loader;
  return *l;
}

// Lower-casing is the inverse of the one upper-casing table; where several characters share an
// upper case (k, and the Kelvin sign), the lowest code unit wins, which is the ordinary letter.
const std::array<char16_t, 0x10000>& lowerTable() {
  static const auto* table = [] {
    auto* t = new std::array<char16_t, 0x10000>;
    for (unsigned c = 0; c < 0x10000; ++c) (*t)[c] = static_cast<char16_t>(c);
    for (unsigned c = 0x10000; c-- > 0;) {
      char16_t up = text::upcase(static_cast<char16_t>(c));
      if (up != c) (*t)[up] = static_cast<char16_t>(c);
    }
    return t;
  }();
  return *table;
}

}  // namespace

// White space as the C runtime's iswspace sees it.
static bool isSpace(char16_t c) {
  return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
         (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F ||
         c == 0x3000;
}

static bool inSet(char16_t c, std::u16string_view set) { return set.find(c) != std::u16string_view::npos; }

void setStringLoader(std::function<bool(UINT id, std::u16string& out)> function) {
  std::unique_lock lock(loader().mutex);
  loader().function = std::move(function);
}

bool loadString(UINT id, std::u16string& out) {
  std::shared_lock lock(loader().mutex);
  if (!loader().function) return false;
  std::u16string text;
  if (!loader().function(id, text)) return false;
  out = std::move(text);
  return true;
}

}  // namespace platform::afx

namespace {
std::u16string_view textOf(const char16_t* s) { return platform::text::view(s); }
using platform::afx::inSet;
using platform::afx::isSpace;
}  // namespace

CString::CString(LPCWSTR text) : s_(textOf(text)) {}
CString::CString(LPCWSTR text, int length) {
  if (text && length > 0) s_.assign(text, static_cast<size_t>(length));
}
CString::CString(LPCSTR text) {
  if (text) s_ = platform::text::ansiToWide(text);
}
CString::CString(LPCSTR text, int length) {
  if (text && length > 0) s_ = platform::text::ansiToWide(std::string_view(text, static_cast<size_t>(length)));
}
CString::CString(char16_t ch, int repeat) {
  if (repeat > 0) s_.assign(static_cast<size_t>(repeat), ch);
}

CString& CString::operator=(LPCWSTR text) {
  s_ = textOf(text);  // safe when text points into s_: the view is copied before s_ changes size
  return *this;
}
CString& CString::operator=(LPCSTR text) { return *this = CString(text); }
CString& CString::operator=(char16_t ch) {
  s_.assign(1, ch);
  return *this;
}

char16_t CString::GetAt(int index) const {
  assert(index >= 0 && index <= GetLength());
  return s_[static_cast<size_t>(index)];
}

void CString::SetAt(int index, char16_t ch) {
  assert(index >= 0 && index < GetLength());
  s_[static_cast<size_t>(index)] = ch;
}

CString CString::Mid(int first) const { return Mid(first, GetLength()); }

CString CString::Mid(int first, int count) const {
  const int length = GetLength();
  first = std::clamp(first, 0, length);
  count = std::clamp(count, 0, length - first);
  return CString(std::u16string_view(s_).substr(static_cast<size_t>(first), static_cast<size_t>(count)));
}

CString CString::Left(int count) const { return Mid(0, count); }

CString CString::Right(int count) const {
  count = std::clamp(count, 0, GetLength());
  return Mid(GetLength() - count, count);
}

CString CString::SpanIncluding(LPCWSTR charSet) const {
  size_t n = 0;
  const std::u16string_view set = textOf(charSet);
  while (n < s_.size() && inSet(s_[n], set)) ++n;
  return Left(static_cast<int>(n));
}

CString CString::SpanExcluding(LPCWSTR charSet) const {
  size_t n = 0;
  const std::u16string_view set = textOf(charSet);
  while (n < s_.size() && !inSet(s_[n], set)) ++n;
  return Left(static_cast<int>(n));
}

CString CString::Tokenize(LPCWSTR delimiters, int& start) const {
  const std::u16string_view delims = textOf(delimiters);
  if (start >= 0 && start < GetLength()) {
    if (delims.empty()) return Mid(start);  // the class library leaves start where it was
    size_t from = static_cast<size_t>(start);
    while (from < s_.size() && inSet(s_[from], delims)) ++from;
    if (from < s_.size()) {
      size_t end = from;
      while (end < s_.size() && !inSet(s_[end], delims)) ++end;
      start = static_cast<int>(end) + 1;
      return Mid(static_cast<int>(from), static_cast<int>(end - from));
    }
  }
  start = -1;
  return CString();
}

int CString::Find(char16_t ch, int start) const {
  if (start < 0 || start >= GetLength()) return -1;
  size_t at = s_.find(ch, static_cast<size_t>(start));
  return at == std::u16string::npos ? -1 : static_cast<int>(at);
}

int CString::Find(LPCWSTR sub, int start) const {
  if (!sub || start < 0 || start > GetLength()) return -1;
  size_t at = s_.find(textOf(sub), static_cast<size_t>(start));
  return at == std::u16string::npos ? -1 : static_cast<int>(at);
}

int CString::ReverseFind(char16_t ch) const {
  size_t at = s_.rfind(ch);
  return at == std::u16string::npos ? -1 : static_cast<int>(at);
}

int CString::FindOneOf(LPCWSTR charSet) const {
  const std::u16string_view set = textOf(charSet);
  if (set.empty()) return -1;
  size_t at = s_.find_first_of(set);
  return at == std::u16string::npos ? -1 : static_cast<int>(at);
}

int CString::Replace(char16_t oldCh, char16_t newCh) {
  if (oldCh == newCh) return 0;  // the class library counts nothing when nothing would change
  int count = 0;
  for (char16_t& c : s_)
    if (c == oldCh) {
      c = newCh;
      ++count;
    }
  return count;
}

int CString::Replace(LPCWSTR oldText, LPCWSTR newText) {
  const std::u16string from(textOf(oldText));  // copies: either may point into this string
  const std::u16string to(textOf(newText));
  if (from.empty()) return 0;
  std::u16string out;
  int count = 0;
  size_t pos = 0;
  for (size_t at; (at = s_.find(from, pos)) != std::u16string::npos; pos = at + from.size()) {
    out.append(s_, pos, at - pos).append(to);
    ++count;
  }
  if (count == 0) return 0;
  out.append(s_, pos, std::u16string::npos);
  s_ = std::move(out);
  return count;
}

int CString::Remove(char16_t ch) {
  const size_t before = s_.size();
  std::erase(s_, ch);
  return static_cast<int>(before - s_.size());
}

int CString::Insert(int index, char16_t ch) {
  index = std::clamp(index, 0, GetLength());
  s_.insert(static_cast<size_t>(index), 1, ch);
  return GetLength();
}

int CString::Insert(int index, LPCWSTR text) {
  index = std::clamp(index, 0, GetLength());
  const std::u16string insert(textOf(text));
  s_.insert(static_cast<size_t>(index), insert);
  return GetLength();
}

int CString::Delete(int index, int count) {
  index = std::max(index, 0);
  count = std::max(count, 0);
  if (count > GetLength() - index) count = GetLength() - index;
  if (count > 0) s_.erase(static_cast<size_t>(index), static_cast<size_t>(count));
  return GetLength();
}

CString& CString::MakeUpper() {
  platform::text::upcaseInPlace(s_);
  return *this;
}

CString& CString::MakeLower() {
  const auto& table = platform::afx::lowerTable();
  for (char16_t& c : s_) c = table[c];
  return *this;
}

CString& CString::MakeReverse() {
  std::reverse(s_.begin(), s_.end());
  return *this;
}

CString& CString::TrimLeft() {
  size_t n = 0;
  while (n < s_.size() && isSpace(s_[n])) ++n;
  s_.erase(0, n);
  return *this;
}
CString& CString::TrimLeft(char16_t target) {
  size_t n = 0;
  while (n < s_.size() && s_[n] == target) ++n;
  s_.erase(0, n);
  return *this;
}
CString& CString::TrimLeft(LPCWSTR targets) {
  const std::u16string set(textOf(targets));
  size_t n = 0;
  while (n < s_.size() && inSet(s_[n], set)) ++n;
  s_.erase(0, n);
  return *this;
}
CString& CString::TrimRight() {
  size_t n = s_.size();
  while (n > 0 && isSpace(s_[n - 1])) --n;
  s_.resize(n);
  return *this;
}
CString& CString::TrimRight(char16_t target) {
  size_t n = s_.size();
  while (n > 0 && s_[n - 1] == target) --n;
  s_.resize(n);
  return *this;
}
CString& CString::TrimRight(LPCWSTR targets) {
  const std::u16string set(textOf(targets));
  size_t n = s_.size();
  while (n > 0 && inSet(s_[n - 1], set)) --n;
  s_.resize(n);
  return *this;
}
CString& CString::Trim() { return TrimRight().TrimLeft(); }
CString& CString::Trim(char16_t target) { return TrimRight(target).TrimLeft(target); }
CString& CString::Trim(LPCWSTR targets) {
  const std::u16string set(textOf(targets));
  return TrimRight(set.c_str()).TrimLeft(set.c_str());
}

int CString::compareView(std::u16string_view text) const {
  int r = std::u16string_view(s_).compare(text);
  return r < 0 ? -1 : r > 0 ? 1 : 0;
}

int CString::Compare(LPCWSTR text) const { return compareView(textOf(text)); }

int CString::CompareNoCase(LPCWSTR text) const {
  int r = platform::text::compareNoCase(s_, textOf(text));
  return r < 0 ? -1 : r > 0 ? 1 : 0;
}

BOOL CString::LoadString(UINT id) {
  std::u16string text;
  if (!platform::afx::loadString(id, text)) return FALSE;
  s_ = std::move(text);
  return TRUE;
}

LPWSTR CString::GetBuffer() { return s_.data(); }

LPWSTR CString::GetBuffer(int minLength) {
  if (minLength > GetLength()) s_.resize(static_cast<size_t>(minLength));
  return s_.data();
}

LPWSTR CString::GetBufferSetLength(int length) {
  s_.resize(static_cast<size_t>(std::max(length, 0)));
  return s_.data();
}

void CString::ReleaseBuffer(int newLength) {
  if (newLength < 0) {
    newLength = static_cast<int>(std::char_traits<char16_t>::length(s_.c_str()));
  }
  assert(newLength <= GetLength());
  s_.resize(static_cast<size_t>(std::min(newLength, GetLength())));
}

CString& CString::operator+=(LPCWSTR text) {
  s_ += textOf(text);
  return *this;
}

void CString::Append(LPCWSTR text, int length) {
  if (text && length > 0) s_.append(text, static_cast<size_t>(length));
}

CString operator+(const CString& a, const CString& b) { return CString(a.s_ + b.s_); }
CString operator+(const CString& a, LPCWSTR b) { return CString(a.s_ + std::u16string(textOf(b))); }
CString operator+(LPCWSTR a, const CString& b) { return CString(std::u16string(textOf(a)) + b.s_); }
CString operator+(const CString& a, char16_t b) { return CString(a.s_ + b); }
CString operator+(char16_t a, const CString& b) { return CString(a + b.s_); }

bool operator==(const CString& a, LPCWSTR b) { return a.s_ == textOf(b); }

std::u16string CString::formatMessage(std::u16string_view format, const platform::fmt::Arg* args, std::size_t count) {
  std::u16string out;
  for (size_t i = 0; i < format.size(); ++i) {
    const char16_t c = format[i];
    if (c != u'%' || i + 1 >= format.size()) {
      out += c;
      continue;
    }
    const char16_t next = format[++i];
    if (next >= u'1' && next <= u'9') {
      size_t n = next - u'0';
      if (i + 1 < format.size() && format[i + 1] >= u'0' && format[i + 1] <= u'9') n = n * 10 + (format[++i] - u'0');
      std::u16string conversion = u"%s";
      if (i + 1 < format.size() && format[i + 1] == u'!') {
        size_t close = format.find(u'!', i + 2);
        if (close != std::u16string_view::npos) {
          conversion = u"%" + std::u16string(format.substr(i + 2, close - i - 2));
          i = close;
        }
      }
      if (n <= count) out += platform::fmt::vformat(conversion, &args[n - 1], 1);
    } else if (next == u'0') {
      break;
    } else if (next == u'n') {
      out += u"\r\n";
    } else {
      out += next;  // %% and other escaped characters stand for themselves
    }
  }
  return out;
}

// CString: the framework's UTF-16 string with the class library's operations and their clamping
// rules (Left/Mid/Right never fail on out-of-range counts), buffer access for Win32 calls that
// fill a caller's buffer, printf-style Format over platform::fmt, and LoadString through the
// resource layer's string loader.
//
// Text is held in a std::u16string; a copy is a copy (no shared buffers), so LockBuffer only
// hands out the pointer. Narrow text given to a constructor goes through the host's ANSI code page.
#pragma once

#include <compare>
#include <functional>
#include <string>
#include <string_view>

#include "platform/base/format.h"
#include "platform/base/text.h"
#include "platform/base/types.h"

namespace platform::afx {

// The resource layer installs the function behind CString::LoadString (string id to text, false
// when the id has no string). Passing an empty function removes it.
void setStringLoader(std::function<bool(UINT id, std::u16string& out)> loader);
// The text of string resource `id`, or false when there is no loader or no such string.
bool loadString(UINT id, std::u16string& out);

}  // namespace platform::afx

class CString {
 public:
  CString() = default;
  CString(const CString&) = default;
  CString(CString&&) noexcept = default;
  CString(LPCWSTR text);  // NOLINT: implicit, as in the class library; null gives empty
  CString(LPCWSTR text, int length);
  CString(LPCSTR text);   // NOLINT: ANSI code page
  CString(LPCSTR text, int length);
  explicit CString(char16_t ch, int repeat = 1);
  explicit CString(std::u16string_view text) : s_(text) {}
  explicit CString(std::u16string text) : s_(std::move(text)) {}

  CString& operator=(const CString&) = default;
  CString& operator=(CString&&) noexcept = default;
  CString& operator=(LPCWSTR text);
  CString& operator=(LPCSTR text);
  CString& operator=(char16_t ch);

  int GetLength() const { return static_cast<int>(s_.size()); }
  BOOL IsEmpty() const { return s_.empty(); }
  void Empty() { s_.clear(); }
  // Index must be within [0, GetLength()); reading GetLength() gives the terminating NUL.
  char16_t GetAt(int index) const;
  void SetAt(int index, char16_t ch);
  char16_t operator[](int index) const { return GetAt(index); }

  LPCWSTR GetString() const { return s_.c_str(); }
  operator LPCWSTR() const { return s_.c_str(); }  // NOLINT: the class library converts implicitly
  // Internal convenience for the platform's own code.
  const std::u16string& str() const { return s_; }
  std::u16string_view view() const { return s_; }

  // Extraction; counts and indexes out of range are clamped, never an error.
  CString Left(int count) const;
  CString Mid(int first) const;
  CString Mid(int first, int count) const;
  CString Right(int count) const;
  CString SpanIncluding(LPCWSTR charSet) const;
  CString SpanExcluding(LPCWSTR charSet) const;
  // The next token after `start` (delimiters before it skipped); start becomes the index after
  // the token's delimiter, or -1 when no token is left (the returned string is then empty).
  CString Tokenize(LPCWSTR delimiters, int& start) const;

  // Searching: index of the first match or -1. A start outside the string finds nothing.
  int Find(char16_t ch, int start = 0) const;
  int Find(LPCWSTR sub, int start = 0) const;
  int ReverseFind(char16_t ch) const;
  int FindOneOf(LPCWSTR charSet) const;

  // Editing; each returns what the class library returns (a count or the new length).
  int Replace(char16_t oldCh, char16_t newCh);
  int Replace(LPCWSTR oldText, LPCWSTR newText);
  int Remove(char16_t ch);
  int Insert(int index, char16_t ch);
  int Insert(int index, LPCWSTR text);
  int Delete(int index, int count = 1);
  CString& MakeUpper();
  CString& MakeLower();
  CString& MakeReverse();
  CString& Trim();
  CString& Trim(char16_t target);
  CString& Trim(LPCWSTR targets);
  CString& TrimLeft();
  CString& TrimLeft(char16_t target);
  CString& TrimLeft(LPCWSTR targets);
  CString& TrimRight();
  CString& TrimRight(char16_t target);
  CString& TrimRight(LPCWSTR targets);

  // Ordinal comparison (<0, 0, >0). The NoCase forms use the system's one upper-casing table.
  // The C runtime's default locale collates ordinally, so Collate equals Compare.
  int Compare(LPCWSTR text) const;
  int CompareNoCase(LPCWSTR text) const;
  int Collate(LPCWSTR text) const { return Compare(text); }
  int CollateNoCase(LPCWSTR text) const { return CompareNoCase(text); }

  // printf-style formatting with Microsoft's rules; the format may be a string resource id.
  template <class... A>
  void Format(LPCWSTR format, const A&... args) {
    s_ = platform::fmt::format(format ? std::u16string_view(format) : std::u16string_view(), args...);
  }
  template <class... A>
  void Format(UINT formatId, const A&... args) {
    std::u16string f;
    platform::afx::loadString(formatId, f);
    s_ = platform::fmt::format(f, args...);
  }
  template <class... A>
  void AppendFormat(LPCWSTR format, const A&... args) {
    s_ += platform::fmt::format(format ? std::u16string_view(format) : std::u16string_view(), args...);
  }
  template <class... A>
  void AppendFormat(UINT formatId, const A&... args) {
    std::u16string f;
    platform::afx::loadString(formatId, f);
    s_ += platform::fmt::format(f, args...);
  }
  // FormatMessage-style inserts: %1..%99, each optionally with a printf conversion as %1!d!; a bare
  // insert is text. %% gives %, %n a line break (CR LF), %0 ends the text.
  template <class... A>
  void FormatMessage(LPCWSTR format, const A&... args) {
    if constexpr (sizeof...(A) == 0) {
      s_ = formatMessage(platform::text::view(format), nullptr, 0);
    } else {
      const platform::fmt::Arg list[] = {platform::fmt::Arg(args)...};
      s_ = formatMessage(platform::text::view(format), list, sizeof...(A));
    }
  }
  template <class... A>
  void FormatMessage(UINT formatId, const A&... args) {
    std::u16string f;
    platform::afx::loadString(formatId, f);
    FormatMessage(f.c_str(), args...);
  }

  // Loads string resource `id`; FALSE (and the string unchanged) when there is none.
  BOOL LoadString(UINT id);

  // Buffer access for calls that write into a caller's buffer: room for at least minLength
  // characters plus a NUL. ReleaseBuffer(-1) takes the text up to the first NUL.
  LPWSTR GetBuffer();
  LPWSTR GetBuffer(int minLength);
  LPWSTR GetBufferSetLength(int length);
  void ReleaseBuffer(int newLength = -1);
  void ReleaseBufferSetLength(int newLength) { ReleaseBuffer(newLength); }
  LPWSTR LockBuffer() { return s_.data(); }
  void UnlockBuffer() {}
  void Preallocate(int length) { s_.reserve(length > 0 ? static_cast<size_t>(length) : 0); }
  void FreeExtra() { s_.shrink_to_fit(); }

  CString& operator+=(const CString& text) { s_ += text.s_; return *this; }
  CString& operator+=(LPCWSTR text);
  CString& operator+=(LPCSTR text) { return *this += CString(text); }
  CString& operator+=(char16_t ch) { s_ += ch; return *this; }
  void Append(LPCWSTR text, int length);
  void Append(const CString& text) { s_ += text.s_; }
  void AppendChar(char16_t ch) { s_ += ch; }

  friend CString operator+(const CString& a, const CString& b);
  friend CString operator+(const CString& a, LPCWSTR b);
  friend CString operator+(LPCWSTR a, const CString& b);
  friend CString operator+(const CString& a, char16_t b);
  friend CString operator+(char16_t a, const CString& b);

  friend bool operator==(const CString& a, const CString& b) { return a.s_ == b.s_; }
  friend bool operator==(const CString& a, LPCWSTR b);
  friend std::strong_ordering operator<=>(const CString& a, const CString& b) { return a.compareView(b.s_) <=> 0; }
  friend std::strong_ordering operator<=>(const CString& a, LPCWSTR b) { return a.Compare(b) <=> 0; }

 private:
  int compareView(std::u16string_view text) const;
  static std::u16string formatMessage(std::u16string_view format, const platform::fmt::Arg* args, std::size_t count);

  std::u16string s_;
};

template <>
struct std::hash<CString> {
  std::size_t operator()(const CString& s) const noexcept { return std::hash<std::u16string>()(s.str()); }
};

using CStringW = CString;

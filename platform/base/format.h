// The printf-style formatter behind CString::Format, wsprintfW, swprintf and the product's own
// printf-style functions. It is a variadic template over typed arguments (no C varargs, so a class
// object can never be passed through "..."), and follows Microsoft's printf rules: in a wide format
// %s is wide text and %S narrow (the reverse in a narrow format), %hs is always narrow and %ls/%ws
// always wide, "l" is 32 bits, I64 and ll are 64 bits.
//
// Windows reads each argument as its conversion says, whatever was passed. An argument that does
// not fit its conversion (text of the other width, a 64-bit integer without I64 or ll, a floating
// value under an integer conversion or the reverse, a missing argument) is a product bug that
// Windows would print wrong or crash on. Here the typed argument is still printed sensibly, and
// the mismatch is reported: on a test host (the host fact test_host) the process ends with the
// format string on standard error, elsewhere one line per format and problem goes to standard
// error. Signedness is not a mismatch, nor are pointer-sized integers under a 32-bit conversion
// (pointers are 32 bits on the product's Windows target).
#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

#include "platform/base/types.h"

namespace platform::fmt {

// One argument of a format call, holding its value (or a pointer to its text: an Arg lives only
// for the duration of the call it is built for) and its C++ type class.
class Arg {
 public:
  enum class Kind : std::uint8_t {
    Signed,      // integers with their size in bytes (bool, enums and short promote as in C)
    Unsigned,
    Double,      // float, double, long double
    WideChar,    // char16_t
    NarrowChar,  // char
    WideText,    // UTF-16 text: pointer (may be null) and length, or NUL-terminated
    NarrowText,  // 8-bit text in the ANSI code page
    Pointer,     // any other pointer (%p), nullptr included
  };

  template <class T>
  Arg(const T& value) {  // NOLINT: implicit on purpose, format() builds Args from its arguments
    using D = std::remove_cv_t<std::decay_t<T>>;
    if constexpr (std::is_array_v<T>) {
      set(static_cast<const std::remove_extent_t<T>*>(value));
    } else {
      set(static_cast<const D&>(value));
    }
  }

  Kind kind() const { return kind_; }
  // Size in bytes of an integer argument's type (1, 2, 4 or 8).
  unsigned size() const { return size_; }
  // size_t, ptrdiff_t, intptr_t and the Windows types built on them (WPARAM, LPARAM, INT_PTR,
  // SIZE_T): 32 bits on the product's Windows target. On this build std::int64_t and
  // std::uint64_t are the same types, so they count as pointer-sized too; the Windows 64-bit
  // types (LONGLONG, ULONGLONG) are long long and count as 64 bits.
  bool pointerSized() const { return pointerSized_; }
  // The integer value widened by its own type's signedness (Signed, Unsigned, chars).
  std::uint64_t bits() const { return bits_; }
  double real() const { return real_; }
  const void* pointer() const { return pointer_; }
  // Text arguments: null for a null pointer; length npos means NUL-terminated.
  const char16_t* wide() const { return static_cast<const char16_t*>(pointer_); }
  const char* narrow() const { return static_cast<const char*>(pointer_); }
  std::size_t length() const { return length_; }

 private:
  template <class T>
  void set(const T& v) {
    if constexpr (std::is_same_v<T, bool>) {
      integer(static_cast<std::int64_t>(v), 4, true);
    } else if constexpr (std::is_same_v<T, char16_t>) {
      kind_ = Kind::WideChar;
      size_ = 2;
      bits_ = v;
    } else if constexpr (std::is_same_v<T, char>) {
      kind_ = Kind::NarrowChar;
      size_ = 1;
      bits_ = static_cast<unsigned char>(v);
    } else if constexpr (std::is_same_v<T, wchar_t> || std::is_same_v<T, char32_t>) {
      kind_ = Kind::WideChar;
      size_ = 2;
      bits_ = static_cast<std::uint64_t>(v) & 0xFFFF;
    } else if constexpr (std::is_enum_v<T>) {
      set(static_cast<std::underlying_type_t<T>>(v));
    } else if constexpr (std::is_integral_v<T>) {
      if constexpr (std::is_signed_v<T>)
        integer(static_cast<std::int64_t>(v), sizeof(T), true);
      else
        integer(static_cast<std::int64_t>(static_cast<std::uint64_t>(v)), sizeof(T), false);
      pointerSized_ = std::is_same_v<T, std::size_t> || std::is_same_v<T, std::ptrdiff_t> ||
                      std::is_same_v<T, std::intptr_t> || std::is_same_v<T, std::uintptr_t>;
    } else if constexpr (std::is_floating_point_v<T>) {
      kind_ = Kind::Double;
      size_ = 8;
      real_ = static_cast<double>(v);
    } else if constexpr (std::is_same_v<T, const char16_t*> || std::is_same_v<T, char16_t*>) {
      text(Kind::WideText, v);
    } else if constexpr (std::is_same_v<T, const char*> || std::is_same_v<T, char*>) {
      text(Kind::NarrowText, v);
    } else if constexpr (std::is_same_v<T, std::u16string> || std::is_same_v<T, std::u16string_view>) {
      text(Kind::WideText, v.data(), v.size());
    } else if constexpr (std::is_same_v<T, std::string> || std::is_same_v<T, std::string_view>) {
      text(Kind::NarrowText, v.data(), v.size());
    } else if constexpr (std::is_null_pointer_v<T>) {
      kind_ = Kind::Pointer;
      pointer_ = nullptr;
    } else if constexpr (std::is_pointer_v<T> && std::is_function_v<std::remove_pointer_t<T>>) {
      kind_ = Kind::Pointer;  // a function's address, through an integer (never a data pointer cast)
      pointer_ = reinterpret_cast<const void*>(reinterpret_cast<std::uintptr_t>(v));
    } else if constexpr (std::is_pointer_v<T>) {
      kind_ = Kind::Pointer;
      pointer_ = const_cast<const void*>(static_cast<const volatile void*>(v));
    } else if constexpr (requires(const T& t) {
                           { t.GetString() } -> std::convertible_to<const char16_t*>;
                         }) {
      text(Kind::WideText, static_cast<const char16_t*>(v.GetString()));
    } else if constexpr (requires(const T& t) {
                           { t.GetString() } -> std::convertible_to<const char*>;
                         }) {
      text(Kind::NarrowText, static_cast<const char*>(v.GetString()));
    } else if constexpr (std::is_convertible_v<const T&, const char16_t*>) {
      text(Kind::WideText, static_cast<const char16_t*>(v));
    } else {
      static_assert(sizeof(T) == 0, "this type cannot be a format argument");
    }
  }

  void integer(std::int64_t v, std::size_t size, bool isSigned) {
    kind_ = isSigned ? Kind::Signed : Kind::Unsigned;
    size_ = static_cast<std::uint8_t>(size);
    bits_ = static_cast<std::uint64_t>(v);
  }
  void text(Kind kind, const void* p, std::size_t length = std::string::npos) {
    kind_ = kind;
    pointer_ = p;
    length_ = length;
  }

  Kind kind_ = Kind::Signed;
  std::uint8_t size_ = 0;
  bool pointerSized_ = false;
  std::uint64_t bits_ = 0;
  double real_ = 0;
  const void* pointer_ = nullptr;
  std::size_t length_ = std::string::npos;
};

// Formats `format` with `count` arguments. Conversions without an argument produce nothing; %n
// is refused (produces nothing and consumes its argument). vformat follows the rules of the wide
// functions, vformatA those of the narrow ones; a mismatch is reported as said above.
std::u16string vformat(std::u16string_view format, const Arg* args, std::size_t count);
std::string vformatA(std::string_view format, const Arg* args, std::size_t count);

template <class... A>
std::u16string format(std::u16string_view f, const A&... a) {
  if constexpr (sizeof...(A) == 0) {
    return vformat(f, nullptr, 0);
  } else {
    const Arg args[] = {Arg(a)...};
    return vformat(f, args, sizeof...(A));
  }
}

template <class... A>
std::string formatA(std::string_view f, const A&... a) {
  if constexpr (sizeof...(A) == 0) {
    return vformatA(f, nullptr, 0);
  } else {
    const Arg args[] = {Arg(a)...};
    return vformatA(f, args, sizeof...(A));
  }
}

// Copies `text` into `buffer` truncated to `capacity - 1` units plus a NUL (wsprintf's rule);
// returns the number of units copied, not counting the NUL.
int storeTruncated(char16_t* buffer, std::size_t capacity, std::u16string_view text);
int storeTruncatedA(char* buffer, std::size_t capacity, std::string_view text);

// The buffer limit of wsprintfW/wsprintfA, in characters including the NUL.
inline constexpr std::size_t WsprintfLimit = 1024;

}  // namespace platform::fmt

// wsprintfW/wsprintfA: output is cut at 1023 characters and NUL-terminated; returns the number of
// characters stored, not counting the NUL.
template <class... A>
int wsprintfW(LPWSTR buffer, LPCWSTR format, const A&... args) {
  return platform::fmt::storeTruncated(buffer, platform::fmt::WsprintfLimit,
                                       platform::fmt::format(format ? std::u16string_view(format) : u"", args...));
}

template <class... A>
int wsprintfA(LPSTR buffer, LPCSTR format, const A&... args) {
  return platform::fmt::storeTruncatedA(buffer, platform::fmt::WsprintfLimit,
                                        platform::fmt::formatA(format ? std::string_view(format) : "", args...));
}

#define wsprintf wsprintfW

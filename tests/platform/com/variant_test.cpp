// VARIANT: conversions between the automation types (table), in-place and by-reference
// conversion, ownership rules of clear and copy, objects through their default property.
#include "platform/com/variant.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "platform/com/safearray.h"
#include "tests/platform/com/test_objects.h"

namespace {

// A VARIANT that frees what it holds at scope exit.
struct Var : VARIANT {
  Var() { VariantInit(this); }
  ~Var() { VariantClear(this); }
  Var(const Var&) = delete;
};

void setI4(VARIANT& v, LONG x) { v.vt = VT_I4; v.lVal = x; }

std::u16string text(const VARIANT& v) { return std::u16string(v.bstrVal, SysStringLen(v.bstrVal)); }

// One conversion: the source described by its type and a value given as text or number.
struct Source {
  VARTYPE vt;
  double number = 0;
  const char16_t* text = nullptr;
};

void build(const Source& s, VARIANT& v) {
  VariantInit(&v);
  v.vt = s.vt;
  switch (s.vt) {
    case VT_BSTR: v.bstrVal = SysAllocString(s.text); break;
    case VT_I1: v.cVal = static_cast<CHAR>(s.number); break;
    case VT_I2: v.iVal = static_cast<SHORT>(s.number); break;
    case VT_I4: v.lVal = static_cast<LONG>(s.number); break;
    case VT_I8: v.llVal = static_cast<LONGLONG>(s.number); break;
    case VT_UI1: v.bVal = static_cast<BYTE>(s.number); break;
    case VT_UI4: v.ulVal = static_cast<ULONG>(s.number); break;
    case VT_UI8: v.ullVal = s.text ? std::stoull(platform::text::toUtf8(s.text)) : static_cast<ULONGLONG>(s.number); break;
    case VT_R4: v.fltVal = static_cast<float>(s.number); break;
    case VT_R8: v.dblVal = s.number; break;
    case VT_DATE: v.date = s.number; break;
    case VT_CY: v.cyVal.int64 = static_cast<LONGLONG>(s.number * 10000); break;
    case VT_BOOL: v.boolVal = s.number ? VARIANT_TRUE : VARIANT_FALSE; break;
    case VT_ERROR: v.scode = static_cast<SCODE>(s.number); break;
    default: break;
  }
}

// The result as a number, whatever its numeric type.
double numberOf(const VARIANT& v) {
  switch (v.vt) {
    case VT_I1: return v.cVal;
    case VT_I2: return v.iVal;
    case VT_I4: return v.lVal;
    case VT_I8: return static_cast<double>(v.llVal);
    case VT_UI1: return v.bVal;
    case VT_UI2: return v.uiVal;
    case VT_UI4: return v.ulVal;
    case VT_UI8: return static_cast<double>(v.ullVal);
    case VT_R4: return v.fltVal;
    case VT_R8: return v.dblVal;
    case VT_DATE: return v.date;
    case VT_CY: return static_cast<double>(v.cyVal.int64) / 10000.0;
    case VT_BOOL: return v.boolVal;
    default: return NAN;
  }
}

struct Case {
  int line;
  Source source;
  VARTYPE target;
  USHORT flags;
  HRESULT expected;
  double number;                     // expected number (numeric targets)
  const char16_t* expectedText;      // expected text (VT_BSTR target)
};

const double kOnePmAndChange = 38719.0 + (13 * 3600 + 2 * 60 + 3) / 86400.0;

const Case kCases[] = {
    // Numbers to text, English formatting.
    {__LINE__, {VT_I4, 42}, VT_BSTR, 0, S_OK, 0, u"42"},
    {__LINE__, {VT_I4, -7}, VT_BSTR, 0, S_OK, 0, u"-7"},
    {__LINE__, {VT_I1, -5}, VT_BSTR, 0, S_OK, 0, u"-5"},
    {__LINE__, {VT_R8, 1.5}, VT_BSTR, 0, S_OK, 0, u"1.5"},
    {__LINE__, {VT_R8, 0.1}, VT_BSTR, 0, S_OK, 0, u"0.1"},
    {__LINE__, {VT_R8, 1e20}, VT_BSTR, 0, S_OK, 0, u"1E+20"},
    {__LINE__, {VT_R8, 123456789012345678.0}, VT_BSTR, 0, S_OK, 0, u"1.23456789012346E+17"},
    {__LINE__, {VT_R4, 0.1}, VT_BSTR, 0, S_OK, 0, u"0.1"},
    {__LINE__, {VT_CY, 1.5}, VT_BSTR, 0, S_OK, 0, u"1.5"},
    {__LINE__, {VT_CY, -12}, VT_BSTR, 0, S_OK, 0, u"-12"},
    {__LINE__, {VT_DATE, 38719.5}, VT_BSTR, 0, S_OK, 0, u"1/2/2006 12:00:00 PM"},
    {__LINE__, {VT_DATE, 38719}, VT_BSTR, 0, S_OK, 0, u"1/2/2006"},
    {__LINE__, {VT_DATE, 0}, VT_BSTR, 0, S_OK, 0, u"12:00:00 AM"},
    {__LINE__, {VT_EMPTY}, VT_BSTR, 0, S_OK, 0, u""},
    // Booleans: -1/0 by default, words on request; words and numbers back.
    {__LINE__, {VT_BOOL, 1}, VT_BSTR, 0, S_OK, 0, u"-1"},
    {__LINE__, {VT_BOOL, 0}, VT_BSTR, 0, S_OK, 0, u"0"},
    {__LINE__, {VT_BOOL, 1}, VT_BSTR, VARIANT_ALPHABOOL, S_OK, 0, u"True"},
    {__LINE__, {VT_BOOL, 0}, VT_BSTR, VARIANT_ALPHABOOL, S_OK, 0, u"False"},
    {__LINE__, {VT_BSTR, 0, u"True"}, VT_BOOL, 0, S_OK, -1, nullptr},
    {__LINE__, {VT_BSTR, 0, u" false "}, VT_BOOL, 0, S_OK, 0, nullptr},
    {__LINE__, {VT_BSTR, 0, u"-1"}, VT_BOOL, 0, S_OK, -1, nullptr},
    {__LINE__, {VT_BSTR, 0, u"0"}, VT_BOOL, 0, S_OK, 0, nullptr},
    {__LINE__, {VT_BSTR, 0, u"yes"}, VT_BOOL, 0, DISP_E_TYPEMISMATCH, 0, nullptr},
    {__LINE__, {VT_BOOL, 1}, VT_I4, 0, S_OK, -1, nullptr},
    {__LINE__, {VT_BOOL, 1}, VT_UI1, 0, S_OK, 255, nullptr},
    {__LINE__, {VT_BOOL, 1}, VT_UI4, 0, S_OK, 4294967295.0, nullptr},
    {__LINE__, {VT_I4, 5}, VT_BOOL, 0, S_OK, -1, nullptr},
    {__LINE__, {VT_R8, 0.0}, VT_BOOL, 0, S_OK, 0, nullptr},
    // Text to numbers.
    {__LINE__, {VT_BSTR, 0, u" 42 "}, VT_I4, 0, S_OK, 42, nullptr},
    {__LINE__, {VT_BSTR, 0, u"1,234"}, VT_I4, 0, S_OK, 1234, nullptr},
    {__LINE__, {VT_BSTR, 0, u"-2147483648"}, VT_I4, 0, S_OK, -2147483648.0, nullptr},
    {__LINE__, {VT_BSTR, 0, u"2147483648"}, VT_I4, 0, DISP_E_OVERFLOW, 0, nullptr},
    {__LINE__, {VT_BSTR, 0, u"1e3"}, VT_I4, 0, S_OK, 1000, nullptr},
    {__LINE__, {VT_BSTR, 0, u"&HFF"}, VT_I4, 0, S_OK, 255, nullptr},
    {__LINE__, {VT_BSTR, 0, u"1.5"}, VT_R8, 0, S_OK, 1.5, nullptr},
    {__LINE__, {VT_BSTR, 0, u"-.25"}, VT_R8, 0, S_OK, -0.25, nullptr},
    {__LINE__, {VT_BSTR, 0, u"1e400"}, VT_R8, 0, DISP_E_OVERFLOW, 0, nullptr},
    {__LINE__, {VT_BSTR, 0, u"1e-400"}, VT_R8, 0, S_OK, 0, nullptr},
    {__LINE__, {VT_BSTR, 0, u"12abc"}, VT_I4, 0, DISP_E_TYPEMISMATCH, 0, nullptr},
    {__LINE__, {VT_BSTR, 0, u""}, VT_I4, 0, DISP_E_TYPEMISMATCH, 0, nullptr},
    {__LINE__, {VT_BSTR, 0, u"abc"}, VT_R8, 0, DISP_E_TYPEMISMATCH, 0, nullptr},
    {__LINE__, {VT_BSTR, 0, u"1e"}, VT_R8, 0, DISP_E_TYPEMISMATCH, 0, nullptr},
    {__LINE__, {VT_BSTR, 0, u"18446744073709551615"}, VT_UI8, 0, S_OK, 18446744073709551615.0, nullptr},
    {__LINE__, {VT_BSTR, 0, u"1/2/2006 1:02:03 PM"}, VT_DATE, 0, S_OK, kOnePmAndChange, nullptr},
    {__LINE__, {VT_BSTR, 0, u"2006-01-02"}, VT_DATE, 0, S_OK, 38719, nullptr},
    {__LINE__, {VT_BSTR, 0, u"13/45/2006"}, VT_DATE, 0, DISP_E_TYPEMISMATCH, 0, nullptr},
    // Losing a fraction rounds half to even, from text, doubles and currency alike.
    {__LINE__, {VT_BSTR, 0, u"2.5"}, VT_I4, 0, S_OK, 2, nullptr},
    {__LINE__, {VT_BSTR, 0, u"3.5"}, VT_I4, 0, S_OK, 4, nullptr},
    {__LINE__, {VT_R8, -2.5}, VT_I4, 0, S_OK, -2, nullptr},
    {__LINE__, {VT_R8, 2.6}, VT_I2, 0, S_OK, 3, nullptr},
    {__LINE__, {VT_CY, 2.5}, VT_I4, 0, S_OK, 2, nullptr},
    {__LINE__, {VT_CY, 3.5}, VT_I4, 0, S_OK, 4, nullptr},
    {__LINE__, {VT_R8, 1.23456}, VT_CY, 0, S_OK, 1.2346, nullptr},
    // Ranges.
    {__LINE__, {VT_R8, 1e10}, VT_I4, 0, DISP_E_OVERFLOW, 0, nullptr},
    {__LINE__, {VT_I4, -1}, VT_UI4, 0, DISP_E_OVERFLOW, 0, nullptr},
    {__LINE__, {VT_I4, 256}, VT_UI1, 0, DISP_E_OVERFLOW, 0, nullptr},
    {__LINE__, {VT_I4, 255}, VT_UI1, 0, S_OK, 255, nullptr},
    {__LINE__, {VT_I4, 40000}, VT_I2, 0, DISP_E_OVERFLOW, 0, nullptr},
    {__LINE__, {VT_I4, -129}, VT_I1, 0, DISP_E_OVERFLOW, 0, nullptr},
    {__LINE__, {VT_UI8, 0, u"9223372036854775808"}, VT_I8, 0, DISP_E_OVERFLOW, 0, nullptr},
    {__LINE__, {VT_R8, 1e39}, VT_R4, 0, DISP_E_OVERFLOW, 0, nullptr},
    {__LINE__, {VT_R8, 1e300}, VT_CY, 0, DISP_E_OVERFLOW, 0, nullptr},
    {__LINE__, {VT_R8, 3e6}, VT_DATE, 0, DISP_E_OVERFLOW, 0, nullptr},
    {__LINE__, {VT_UI4, 4294967295.0}, VT_I8, 0, S_OK, 4294967295.0, nullptr},
    // Empty, null and error values.
    {__LINE__, {VT_EMPTY}, VT_I4, 0, S_OK, 0, nullptr},
    {__LINE__, {VT_NULL}, VT_I4, 0, DISP_E_TYPEMISMATCH, 0, nullptr},
    {__LINE__, {VT_NULL}, VT_BSTR, 0, DISP_E_TYPEMISMATCH, 0, nullptr},
    {__LINE__, {VT_ERROR, 5}, VT_I4, 0, DISP_E_TYPEMISMATCH, 0, nullptr},
    {__LINE__, {VT_I4, 5}, VT_ERROR, 0, DISP_E_TYPEMISMATCH, 0, nullptr},
    {__LINE__, {VT_I4, 5}, VT_VARIANT, 0, DISP_E_BADVARTYPE, 0, nullptr},
    {__LINE__, {VT_I4, 5}, 0x7F, 0, DISP_E_BADVARTYPE, 0, nullptr},
};

TEST(VariantChangeType, ConvertsByTheAutomationRules) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::Message() << "case at line " << c.line);
    Var source;
    build(c.source, source);
    Var result;
    result.vt = VT_I2;
    result.iVal = 12345;  // sentinel: a failure must leave it
    const HRESULT hr = VariantChangeType(&result, &source, c.flags, c.target);
    EXPECT_EQ(hr, c.expected) << std::hex << hr;
    if (FAILED(c.expected)) {
      EXPECT_EQ(result.vt, VT_I2);
      EXPECT_EQ(result.iVal, 12345);
      continue;
    }
    if (FAILED(hr)) continue;
    ASSERT_EQ(result.vt, c.target);
    if (c.target == VT_BSTR) {
      EXPECT_EQ(platform::text::toUtf8(text(result)), platform::text::toUtf8(c.expectedText));
    } else {
      EXPECT_NEAR(numberOf(result), c.number, std::fabs(c.number) * 1e-12 + 1e-9);
    }
  }
}

TEST(VariantChangeType, InPlaceReplacesTheValueOnlyOnSuccess) {
  Var v;
  v.vt = VT_BSTR;
  v.bstrVal = SysAllocString(u"not a number");
  EXPECT_EQ(VariantChangeType(&v, &v, 0, VT_I4), DISP_E_TYPEMISMATCH);
  ASSERT_EQ(v.vt, VT_BSTR);
  EXPECT_EQ(text(v), u"not a number");

  ASSERT_TRUE(SysReAllocString(&v.bstrVal, u"17"));
  EXPECT_EQ(VariantChangeType(&v, &v, 0, VT_I4), S_OK);
  EXPECT_EQ(v.vt, VT_I4);
  EXPECT_EQ(v.lVal, 17);
}

TEST(VariantChangeType, ByReferenceSourceConvertsWhatItPointsAt) {
  LONG stored = 99;
  Var ref;
  ref.vt = VT_BYREF | VT_I4;
  ref.plVal = &stored;
  Var out;
  ASSERT_EQ(VariantChangeType(&out, &ref, 0, VT_BSTR), S_OK);
  EXPECT_EQ(text(out), u"99");

  Var inner;
  inner.vt = VT_R8;
  inner.dblVal = 2.5;
  Var refToVariant;
  refToVariant.vt = VT_BYREF | VT_VARIANT;
  refToVariant.pvarVal = &inner;
  ASSERT_EQ(VariantChangeType(&out, &refToVariant, 0, VT_I4), S_OK);
  EXPECT_EQ(out.lVal, 2);
}

TEST(VariantChangeType, ByteArrayAndBstrHoldTheSameBytes) {
  Var s;
  s.vt = VT_BSTR;
  s.bstrVal = SysAllocStringByteLen("\x01\x02\x03", 3);
  Var bytes;
  ASSERT_EQ(VariantChangeType(&bytes, &s, 0, VT_ARRAY | VT_UI1), S_OK);
  ASSERT_EQ(bytes.vt, VT_ARRAY | VT_UI1);
  ASSERT_EQ(bytes.parray->rgsabound[0].cElements, 3u);
  EXPECT_EQ(static_cast<BYTE*>(bytes.parray->pvData)[2], 3);

  Var back;
  ASSERT_EQ(VariantChangeType(&back, &bytes, 0, VT_BSTR), S_OK);
  EXPECT_EQ(SysStringByteLen(back.bstrVal), 3u);
  EXPECT_EQ(VariantChangeType(&back, &bytes, 0, VT_I4), DISP_E_TYPEMISMATCH);
}

TEST(VariantChangeType, ObjectConvertsThroughItsDefaultProperty) {
  bool destroyed = false;
  auto* counter = new comtest::Counter(&destroyed);
  counter->value = 31;
  {
    Var object;
    object.vt = VT_DISPATCH;
    object.pdispVal = counter;  // takes the creation reference
    Var out;
    ASSERT_EQ(VariantChangeType(&out, &object, 0, VT_BSTR), S_OK);
    EXPECT_EQ(text(out), u"31");
    EXPECT_EQ(VariantChangeType(&out, &object, VARIANT_NOVALUEPROP, VT_I4), DISP_E_TYPEMISMATCH);

    Var asUnknown;
    ASSERT_EQ(VariantChangeType(&asUnknown, &object, 0, VT_UNKNOWN), S_OK);
    EXPECT_EQ(counter->refs(), 2u);
  }
  EXPECT_TRUE(destroyed) << "every reference taken by a conversion was given back";
}

TEST(Variant, ClearFreesWhatItOwnsAndRefusesWhatItCannot) {
  bool destroyed = false;
  Var v;
  v.vt = VT_UNKNOWN;
  v.punkVal = new comtest::Counter(&destroyed);
  EXPECT_EQ(VariantClear(&v), S_OK);
  EXPECT_TRUE(destroyed);
  EXPECT_EQ(v.vt, VT_EMPTY);

  // A reference owns nothing.
  bool alive = false;
  auto* counter = new comtest::Counter(&alive);
  IUnknown* held = counter;
  v.vt = VT_BYREF | VT_UNKNOWN;
  v.ppunkVal = &held;
  EXPECT_EQ(VariantClear(&v), S_OK);
  EXPECT_FALSE(alive);
  counter->Release();

  v.vt = 0x7F;  // no such type
  EXPECT_EQ(VariantClear(&v), DISP_E_BADVARTYPE);
  EXPECT_EQ(v.vt, 0x7F);
  v.vt = VT_EMPTY;

  v.vt = VT_ARRAY | VT_UI1;
  v.parray = SafeArrayCreateVector(VT_UI1, 0, 4);
  void* data;
  ASSERT_EQ(SafeArrayAccessData(v.parray, &data), S_OK);
  EXPECT_EQ(VariantClear(&v), DISP_E_ARRAYISLOCKED);
  EXPECT_EQ(v.vt, VT_ARRAY | VT_UI1);
  SafeArrayUnaccessData(v.parray);
}

TEST(Variant, CopyIsIndependentOfItsSource) {
  Var s;
  s.vt = VT_BSTR;
  s.bstrVal = SysAllocStringByteLen("abcde", 5);
  Var d;
  setI4(d, 1);
  ASSERT_EQ(VariantCopy(&d, &s), S_OK);
  ASSERT_EQ(d.vt, VT_BSTR);
  EXPECT_NE(d.bstrVal, s.bstrVal);
  EXPECT_EQ(SysStringByteLen(d.bstrVal), 5u) << "the byte length survives a copy";

  auto* counter = new comtest::Counter;
  Var o;
  o.vt = VT_DISPATCH;
  o.pdispVal = counter;
  Var oc;
  ASSERT_EQ(VariantCopy(&oc, &o), S_OK);
  EXPECT_EQ(counter->refs(), 2u);

  Var a;
  a.vt = VT_ARRAY | VT_BSTR;
  a.parray = SafeArrayCreateVector(VT_BSTR, 0, 1);
  LONG index = 0;
  BSTR x = SysAllocString(u"x");
  ASSERT_EQ(SafeArrayPutElement(a.parray, &index, x), S_OK);
  SysFreeString(x);
  Var ac;
  ASSERT_EQ(VariantCopy(&ac, &a), S_OK);
  EXPECT_NE(ac.parray, a.parray);
  BSTR first = static_cast<BSTR*>(a.parray->pvData)[0];
  BSTR copied = static_cast<BSTR*>(ac.parray->pvData)[0];
  EXPECT_NE(first, copied);
  EXPECT_EQ(std::u16string(copied), u"x");

  // A by-reference copy still points at the original; CopyInd takes the value.
  LONG target = 5;
  Var ref;
  ref.vt = VT_BYREF | VT_I4;
  ref.plVal = &target;
  Var rc;
  ASSERT_EQ(VariantCopy(&rc, &ref), S_OK);
  EXPECT_EQ(rc.plVal, &target);
  ASSERT_EQ(VariantCopyInd(&rc, &ref), S_OK);
  EXPECT_EQ(rc.vt, VT_I4);
  EXPECT_EQ(rc.lVal, 5);
}

TEST(Variant, DatesAndSystemTimesAgree) {
  struct {
    WORD year, month, day, hour, minute, second;
    double date;
  } cases[] = {
      {1899, 12, 30, 0, 0, 0, 0.0},
      {1900, 1, 1, 0, 0, 0, 2.0},
      {2006, 1, 2, 12, 0, 0, 38719.5},
      {1899, 12, 29, 6, 0, 0, -1.25},  // before the epoch the time still runs forward
      {100, 1, 1, 0, 0, 0, -657434.0},
      {9999, 12, 31, 0, 0, 0, 2958465.0},
  };
  for (const auto& c : cases) {
    SYSTEMTIME t{c.year, c.month, 0, c.day, c.hour, c.minute, c.second, 0};
    double date = -99;
    ASSERT_TRUE(SystemTimeToVariantTime(&t, &date)) << c.year;
    EXPECT_DOUBLE_EQ(date, c.date);
    SYSTEMTIME back{};
    ASSERT_TRUE(VariantTimeToSystemTime(c.date, &back));
    EXPECT_EQ(back.wYear, c.year);
    EXPECT_EQ(back.wMonth, c.month);
    EXPECT_EQ(back.wDay, c.day);
    EXPECT_EQ(back.wHour, c.hour);
  }
  SYSTEMTIME bad{2006, 2, 0, 29, 0, 0, 0, 0};
  double date;
  EXPECT_FALSE(SystemTimeToVariantTime(&bad, &date)) << "2006 had no 29 February";
  SYSTEMTIME out;
  EXPECT_FALSE(VariantTimeToSystemTime(2958466.0, &out));
  SYSTEMTIME monday{};
  ASSERT_TRUE(VariantTimeToSystemTime(38719.0, &monday));
  EXPECT_EQ(monday.wDayOfWeek, 1) << "2 January 2006 was a Monday";
}

}  // namespace

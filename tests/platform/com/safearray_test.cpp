// SAFEARRAY: byte arrays round trip, bounds and dimensions, locks, element ownership, resizing.
#include "platform/com/safearray.h"

#include <gtest/gtest.h>

#include <cstring>

#include "tests/platform/com/test_objects.h"

namespace {

TEST(SafeArray, ByteVectorRoundTripsThroughAccessData) {
  const BYTE payload[] = {0x00, 0xFF, 0x10, 0x7F, 0x80};
  SAFEARRAY* a = SafeArrayCreateVector(VT_UI1, 0, sizeof(payload));
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(SafeArrayGetDim(a), 1u);
  EXPECT_EQ(SafeArrayGetElemsize(a), 1u);
  VARTYPE vt = VT_EMPTY;
  EXPECT_EQ(SafeArrayGetVartype(a, &vt), S_OK);
  EXPECT_EQ(vt, VT_UI1);

  void* data = nullptr;
  ASSERT_EQ(SafeArrayAccessData(a, &data), S_OK);
  EXPECT_EQ(static_cast<BYTE*>(data)[0], 0) << "a new array is zero-filled";
  std::memcpy(data, payload, sizeof(payload));
  EXPECT_EQ(SafeArrayDestroy(a), DISP_E_ARRAYISLOCKED) << "destroyed while accessed";
  ASSERT_EQ(SafeArrayUnaccessData(a), S_OK);
  EXPECT_EQ(SafeArrayUnaccessData(a), E_UNEXPECTED) << "unbalanced unaccess";

  LONG lower = -1, upper = -1;
  EXPECT_EQ(SafeArrayGetLBound(a, 1, &lower), S_OK);
  EXPECT_EQ(SafeArrayGetUBound(a, 1, &upper), S_OK);
  EXPECT_EQ(lower, 0);
  EXPECT_EQ(upper, 4);
  EXPECT_EQ(SafeArrayGetUBound(a, 2, &upper), DISP_E_BADINDEX);
  EXPECT_EQ(SafeArrayGetLBound(a, 0, &lower), DISP_E_BADINDEX);

  for (LONG i = 0; i < 5; ++i) {
    BYTE b = 0x55;
    ASSERT_EQ(SafeArrayGetElement(a, &i, &b), S_OK);
    EXPECT_EQ(b, payload[i]);
  }
  LONG outside = 5;
  BYTE untouched = 0x55;
  EXPECT_EQ(SafeArrayGetElement(a, &outside, &untouched), DISP_E_BADINDEX);
  EXPECT_EQ(untouched, 0x55);
  EXPECT_EQ(SafeArrayDestroy(a), S_OK);
  EXPECT_EQ(SafeArrayDestroy(nullptr), S_OK);
}

TEST(SafeArray, EmptyVectorAndNonZeroLowerBound) {
  SAFEARRAY* empty = SafeArrayCreateVector(VT_UI1, 0, 0);
  ASSERT_NE(empty, nullptr);
  LONG upper = 0;
  EXPECT_EQ(SafeArrayGetUBound(empty, 1, &upper), S_OK);
  EXPECT_EQ(upper, -1);
  SafeArrayDestroy(empty);

  SAFEARRAY* a = SafeArrayCreateVector(VT_I4, 10, 3);
  LONG index = 12;
  LONG value = 7;
  ASSERT_EQ(SafeArrayPutElement(a, &index, &value), S_OK);
  EXPECT_EQ(static_cast<LONG*>(a->pvData)[2], 7);
  index = 9;
  EXPECT_EQ(SafeArrayPutElement(a, &index, &value), DISP_E_BADINDEX);
  SafeArrayDestroy(a);

  EXPECT_EQ(SafeArrayCreateVector(VT_EMPTY, 0, 1), nullptr) << "no array of nothing";
  EXPECT_EQ(SafeArrayCreate(VT_UI1, 0, nullptr), nullptr);
}

TEST(SafeArray, ElementsAreOwnedCopies) {
  SAFEARRAY* a = SafeArrayCreateVector(VT_BSTR, 0, 2);
  BSTR mine = SysAllocString(u"mine");
  LONG i = 0;
  ASSERT_EQ(SafeArrayPutElement(a, &i, mine), S_OK);
  BSTR stored = static_cast<BSTR*>(a->pvData)[0];
  EXPECT_NE(stored, mine) << "put copies the string";
  SysFreeString(mine);
  BSTR out = nullptr;
  ASSERT_EQ(SafeArrayGetElement(a, &i, &out), S_OK);
  EXPECT_NE(out, stored) << "get copies it too";
  EXPECT_EQ(std::u16string(out), u"mine");
  SysFreeString(out);
  BSTR again = SysAllocString(u"again");
  ASSERT_EQ(SafeArrayPutElement(a, &i, again), S_OK);  // replaces (and frees) the stored copy
  SysFreeString(again);
  SafeArrayDestroy(a);

  bool destroyed = false;
  auto* counter = new comtest::Counter(&destroyed);
  SAFEARRAY* objects = SafeArrayCreateVector(VT_UNKNOWN, 0, 1);
  ASSERT_EQ(SafeArrayPutElement(objects, &i, static_cast<IUnknown*>(counter)), S_OK);
  EXPECT_EQ(counter->refs(), 2u);
  counter->Release();
  EXPECT_FALSE(destroyed);
  SafeArrayDestroy(objects);
  EXPECT_TRUE(destroyed) << "destroying the array released its element";
}

TEST(SafeArray, TwoDimensionsAndResize) {
  SAFEARRAYBOUND bounds[2] = {{2, 1}, {3, 0}};  // (1 to 2, 0 to 2)
  SAFEARRAY* a = SafeArrayCreate(VT_I2, 2, bounds);
  ASSERT_NE(a, nullptr);
  LONG lower, upper;
  SafeArrayGetLBound(a, 1, &lower);
  SafeArrayGetUBound(a, 1, &upper);
  EXPECT_EQ(lower, 1);
  EXPECT_EQ(upper, 2);
  SafeArrayGetUBound(a, 2, &upper);
  EXPECT_EQ(upper, 2);
  for (LONG r = 1; r <= 2; ++r) {
    for (LONG c = 0; c <= 2; ++c) {
      LONG at[2] = {r, c};
      SHORT v = static_cast<SHORT>(r * 10 + c);
      ASSERT_EQ(SafeArrayPutElement(a, at, &v), S_OK);
    }
  }
  // The last dimension grows; every element keeps its indices.
  SAFEARRAYBOUND wider{4, 0};
  ASSERT_EQ(SafeArrayRedim(a, &wider), S_OK);
  SafeArrayGetUBound(a, 2, &upper);
  EXPECT_EQ(upper, 3);
  for (LONG r = 1; r <= 2; ++r) {
    for (LONG c = 0; c <= 3; ++c) {
      LONG at[2] = {r, c};
      SHORT v = -1;
      ASSERT_EQ(SafeArrayGetElement(a, at, &v), S_OK);
      EXPECT_EQ(v, c <= 2 ? r * 10 + c : 0);
    }
  }
  SAFEARRAY* copy = nullptr;
  ASSERT_EQ(SafeArrayCopy(a, &copy), S_OK);
  SafeArrayDestroy(a);
  LONG at[2] = {2, 2};
  SHORT v = 0;
  ASSERT_EQ(SafeArrayGetElement(copy, at, &v), S_OK);
  EXPECT_EQ(v, 22);
  SafeArrayDestroy(copy);
}

}  // namespace

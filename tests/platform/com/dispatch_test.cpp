// IDispatch as the product drives it: names to ids, methods with arguments in reverse order,
// property get and put (DISPID_PROPERTYPUT), exceptions, and DispGetParam's coercions.
#include "platform/com/dispatch.h"

#include <gtest/gtest.h>

#include "tests/platform/com/test_objects.h"

namespace {

using platform::com::Ptr;

VARIANT i4(LONG x) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_I4;
  v.lVal = x;
  return v;
}

TEST(Dispatch, NamesMethodsAndProperties) {
  Ptr<IDispatch> object;
  object.attach(new comtest::Counter);

  LPOLESTR names[] = {const_cast<LPOLESTR>(u"add"), const_cast<LPOLESTR>(u"Missing")};
  DISPID ids[2] = {99, 99};
  EXPECT_EQ(object->GetIDsOfNames(IID_NULL, names, 2, 0, ids), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(ids[0], comtest::kDispAdd);
  EXPECT_EQ(ids[1], DISPID_UNKNOWN);

  // Add(40, 2): arguments are passed last first.
  VARIANT args[2] = {i4(2), i4(40)};
  DISPPARAMS call{args, nullptr, 2, 0};
  VARIANT result;
  VariantInit(&result);
  ASSERT_EQ(object->Invoke(comtest::kDispAdd, IID_NULL, 0, DISPATCH_METHOD, &call, &result, nullptr, nullptr), S_OK);
  EXPECT_EQ(result.vt, VT_I4);
  EXPECT_EQ(result.lVal, 42);

  // Property put passes its value as the named argument DISPID_PROPERTYPUT.
  VARIANT value;
  VariantInit(&value);
  value.vt = VT_BSTR;
  value.bstrVal = SysAllocString(u"17");
  DISPID putId = DISPID_PROPERTYPUT;
  DISPPARAMS put{&value, &putId, 1, 1};
  ASSERT_EQ(object->Invoke(DISPID_VALUE, IID_NULL, 0, DISPATCH_PROPERTYPUT, &put, nullptr, nullptr, nullptr), S_OK);
  VariantClear(&value);
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  ASSERT_EQ(object->Invoke(DISPID_VALUE, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &result, nullptr, nullptr), S_OK);
  EXPECT_EQ(result.lVal, 17) << "the text argument was coerced to VT_I4";

  EXCEPINFO info{};
  EXPECT_EQ(object->Invoke(comtest::kDispFail, IID_NULL, 0, DISPATCH_METHOD, &none, &result, &info, nullptr),
            DISP_E_EXCEPTION);
  EXPECT_EQ(info.scode, E_ACCESSDENIED);
  EXPECT_EQ(std::u16string(info.bstrDescription), u"refused");
  SysFreeString(info.bstrDescription);
}

TEST(Dispatch, GetParamFindsAndCoercesArguments) {
  VARIANT text;
  VariantInit(&text);
  text.vt = VT_BSTR;
  text.bstrVal = SysAllocString(u"not a number");
  // Named argument 5 first, then positional arguments in reverse: call(first=7, second=text).
  VARIANT args[3] = {i4(55), text, i4(7)};
  DISPID named[1] = {5};
  DISPPARAMS params{args, named, 3, 1};

  VARIANT out;
  UINT argError = 99;
  ASSERT_EQ(DispGetParam(&params, 0, VT_BSTR, &out, &argError), S_OK);
  EXPECT_EQ(std::u16string(out.bstrVal), u"7");
  VariantClear(&out);
  ASSERT_EQ(DispGetParam(&params, 5, VT_I2, &out, &argError), S_OK);
  EXPECT_EQ(out.iVal, 55);
  EXPECT_EQ(DispGetParam(&params, 1, VT_I4, &out, &argError), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(argError, 1u) << "the index of the argument in rgvarg";
  EXPECT_EQ(out.vt, VT_EMPTY);
  argError = 99;
  EXPECT_EQ(DispGetParam(&params, 2, VT_I4, &out, &argError), DISP_E_PARAMNOTFOUND);
  EXPECT_EQ(argError, 99u);
  VariantClear(&text);
}

}  // namespace

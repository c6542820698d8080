// The iPod service stand-in: it starts only where it is installed, answers its dispatch ids over
// the host's iPod state, puts an iPod's folder on a drive in disk mode (seen by every process
// through the drive table) and keeps the disk use setting; bad indexes and counts are errors.
#include <gtest/gtest.h>

#include <fstream>
#include <initializer_list>
#include <vector>

#include "platform/com/com.h"
#include "platform/com/ipod_service.h"
#include "platform/host/ipod.h"
#include "platform/win32/win32.h"
#include "tests/support/test_host.h"

namespace {

namespace host = platform::host;

class IPodService : public ::testing::Test {
 protected:
  IPodService() { CoInitialize(nullptr); }
  ~IPodService() override {
    if (manager) manager->Release();
    CoUninitialize();
  }
  HRESULT create() {
    CLSID clsid{};
    EXPECT_EQ(CLSIDFromProgID(kIPodManagerProgId, &clsid), S_OK);
    return CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IDispatch, reinterpret_cast<void**>(&manager));
  }
  HRESULT call(DISPID id, WORD kind, std::initializer_list<LONG> args, LONG* result = nullptr, LONG put = 0) {
    std::vector<VARIANT> v(args.size() + (kind == DISPATCH_PROPERTYPUT));
    std::size_t i = v.size();
    for (LONG a : args) {
      VariantInit(&v[--i]);
      v[i].vt = VT_I4;
      v[i].lVal = a;
    }
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS p{v.data(), nullptr, static_cast<UINT>(v.size()), 0};
    if (kind == DISPATCH_PROPERTYPUT) {
      VariantInit(&v[0]);
      v[0].vt = VT_I4;
      v[0].lVal = put;
      p.rgdispidNamedArgs = &named;
      p.cNamedArgs = 1;
    }
    VARIANT r;
    VariantInit(&r);
    HRESULT hr = manager->Invoke(id, IID_NULL, 0, kind, &p, &r, nullptr, nullptr);
    if (result) *result = r.vt == VT_I4 ? r.lVal : -12345;
    return hr;
  }
  kipotest::TestHost testHost;
  IDispatch* manager = nullptr;
};

TEST_F(IPodService, StartsOnlyWhereInstalled) {
  EXPECT_EQ(create(), CO_E_SERVER_EXEC_FAILURE);
  EXPECT_EQ(manager, nullptr);
  host::setIPodServiceInstalled(true);
  ASSERT_EQ(create(), S_OK);
  IDispatch* settings = nullptr;
  EXPECT_EQ(manager->QueryInterface(IID_IiPodSettings, reinterpret_cast<void**>(&settings)), S_OK);
  if (settings) settings->Release();
}

TEST_F(IPodService, DiskModeIsADriveAtTheIPodsLetter) {
  host::setIPodServiceInstalled(true);
  ASSERT_EQ(create(), S_OK);
  LONG r = -1;
  EXPECT_EQ(call(15, DISPATCH_METHOD, {4}, &r), S_OK);
  EXPECT_EQ(r, 0) << "no iPod connected";

  const auto folder = kipotest::freshTempDir("ipod");
  std::ofstream(folder / "iPod_Control.txt") << "x";
  host::connectIPod(u"8K123", u'G', folder, 3);
  EXPECT_EQ(call(15, DISPATCH_METHOD, {4}, &r), S_OK);
  EXPECT_EQ(r, 1);
  EXPECT_EQ(call(19, DISPATCH_METHOD, {4, 1}, &r), S_OK);
  EXPECT_EQ(r, 0);
  EXPECT_EQ(GetLogicalDrives() & (1u << 6), 0u);

  EXPECT_EQ(call(17, DISPATCH_METHOD, {4, 1}), S_OK);
  EXPECT_NE(GetLogicalDrives() & (1u << 6), 0u);
  EXPECT_NE(GetFileAttributesW(u"G:\\iPod_Control.txt"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetDriveTypeW(u"G:\\"), static_cast<UINT>(DRIVE_REMOVABLE));
  EXPECT_EQ(call(19, DISPATCH_METHOD, {4, 1}, &r), S_OK);
  EXPECT_EQ(r, 1);
  EXPECT_EQ(call(18, DISPATCH_METHOD, {4, 1}), S_OK);
  EXPECT_EQ(GetLogicalDrives() & (1u << 6), 0u);

  EXPECT_EQ(call(2, DISPATCH_PROPERTYGET, {4, 1}, &r), S_OK);
  EXPECT_EQ(r, 3);
  EXPECT_EQ(call(4, DISPATCH_PROPERTYPUT, {4, 1}, nullptr, 1), S_OK);
  EXPECT_EQ(host::connectedIPods().at(0).diskUse, 1u);

  // Errors are the dispatcher's, and are not recorded as calls.
  EXPECT_EQ(call(19, DISPATCH_METHOD, {4, 2}, &r), DISP_E_BADINDEX);
  EXPECT_EQ(call(17, DISPATCH_METHOD, {4}), DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(call(2, DISPATCH_METHOD, {4, 1}), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(call(99, DISPATCH_METHOD, {4}), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(host::iPodServiceCalls(),
            (std::vector<std::string>{"15 method 4", "15 method 4", "19 method 4 1", "17 method 4 1", "19 method 4 1",
                                      "18 method 4 1", "2 get 4 1", "4 put 4 1 = 1"}));
}

}  // namespace

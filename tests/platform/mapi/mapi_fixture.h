// A test host with Outlook set up by `kipo-host outlook set`, and "mapi32.dll" loaded from the
// path the mail client's "DllPathEx" names, with its twelve entry points bound by name.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/base/text.h"
#include "platform/modules/mapi32/mapidefs.h"
#include "platform/win32/win32.h"
#include "tests/support/test_host.h"

namespace mapitest {

// The string value, or "" when missing.
inline std::u16string regText(HKEY root, const char16_t* path, const char16_t* name) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return u"";
  char16_t data[512] = {};
  DWORD type = 0, size = sizeof data - sizeof(char16_t);
  const LONG rc = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
  RegCloseKey(key);
  return rc == ERROR_SUCCESS && type == REG_SZ ? std::u16string(data) : u"";
}

struct Mapi {
  HMODULE module = nullptr;
  MAPIInitializeFn initialize = nullptr;
  MAPIUninitializeFn uninitialize = nullptr;
  MAPILogonExFn logonEx = nullptr;
  MAPIAdminProfilesFn adminProfiles = nullptr;
  FreeProwsFn freeProws = nullptr;
  MAPIFreeBufferFn freeBuffer = nullptr;
  MAPIAllocateBufferFn allocateBuffer = nullptr;
  MAPIAllocateMoreFn allocateMore = nullptr;
  HrAllocAdviseSinkFn allocAdviseSink = nullptr;
  HrQueryAllRowsFn queryAllRows = nullptr;
  HrGetOnePropFn getOneProp = nullptr;
  OpenStreamOnFileFn openStreamOnFile = nullptr;

  template <class F>
  void bind(F& slot, const char* name) {
    slot = reinterpret_cast<F>(GetProcAddress(module, name));
    EXPECT_NE(slot, nullptr) << name;
  }
  void load(const std::u16string& path) {
    module = LoadLibraryW(path.c_str());
    ASSERT_NE(module, nullptr) << platform::text::toUtf8(path) << " error " << GetLastError();
    bind(initialize, kMapiInitializeName);
    bind(uninitialize, kMapiUninitializeName);
    bind(logonEx, kMapiLogonExName);
    bind(adminProfiles, kMapiAdminProfilesName);
    bind(freeProws, kFreeProwsName);
    bind(freeBuffer, kMapiFreeBufferName);
    bind(allocateBuffer, kMapiAllocateBufferName);
    bind(allocateMore, kMapiAllocateMoreName);
    bind(allocAdviseSink, kHrAllocAdviseSinkName);
    bind(queryAllRows, kHrQueryAllRowsName);
    bind(getOneProp, kHrGetOnePropName);
    bind(openStreamOnFile, kOpenStreamOnFileName);
  }
};

class MapiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string err;
    ASSERT_EQ(kipotest::runTool({"outlook", "set", "--version", "2003"}, nullptr, &err), 0) << err;
    const std::u16string path =
        regText(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Clients\\Mail\\Microsoft Outlook", u"DllPathEx");
    ASSERT_FALSE(path.empty());
    ASSERT_NO_FATAL_FAILURE(mapi.load(path));
    MAPIINIT_0 init{MAPI_INIT_VERSION, MAPI_MULTITHREAD_NOTIFICATIONS};
    ASSERT_EQ(mapi.initialize(&init), S_OK);
    initialized = 1;
  }
  void TearDown() override {
    for (; initialized > 0; --initialized) mapi.uninitialize();
    if (mapi.module) FreeLibrary(mapi.module);
  }

  platform::com::Ptr<IProfAdmin> profAdmin() {
    platform::com::Ptr<IProfAdmin> admin;
    EXPECT_EQ(mapi.adminProfiles(0, admin.put()), S_OK);
    return admin;
  }
  // Creates profiles by name, in order.
  void makeProfiles(const std::vector<std::string>& names) {
    auto admin = profAdmin();
    for (const std::string& n : names)
      ASSERT_EQ(admin->CreateProfile(const_cast<LPSTR>(n.c_str()), nullptr, 0, 0), S_OK) << n;
  }
  // The rows' 8-bit strings of the first column.
  static std::vector<std::string> firstColumn(LPSRowSet rows) {
    std::vector<std::string> out;
    for (ULONG i = 0; rows && i < rows->cRows; ++i) {
      const SPropValue& v = rows->aRow[i].lpProps[0];
      out.push_back(PROP_TYPE(v.ulPropTag) == PT_STRING8 ? v.Value.lpszA : "<" + std::to_string(v.ulPropTag) + ">");
    }
    return out;
  }

  kipotest::TestHost host;
  Mapi mapi;
  int initialized = 0;
};

}  // namespace mapitest

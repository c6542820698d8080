// The Outlook automation stand-in: default folder names in the host's language, Quit recorded in
// the host's log, creation that starts no program, and GetActiveObject that answers only while a
// program named OUTLOOK.EXE runs on the host.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "platform/base/text.h"
#include "platform/com/com.h"
#include "platform/com/outlook_application.h"
#include "platform/host/host.h"
#include "platform/win32/win32.h"
#include "tests/support/test_host.h"

namespace {

namespace com = platform::com;
using com::Ptr;

constexpr char16_t kOutlook[] = u"\"C:\\Program Files\\Microsoft Office\\OFFICE11\\OUTLOOK.EXE\" --hidden";

class OutlookAutomation : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string err;
    ASSERT_EQ(kipotest::runTool({"outlook", "set", "--version", "2003"}, nullptr, &err), 0) << err;
    ASSERT_EQ(CoInitialize(nullptr), S_OK);
    ASSERT_EQ(CLSIDFromProgID(u"Outlook.Application", &clsid), S_OK);
  }
  void TearDown() override {
    if (outlook) {
      TerminateProcess(outlook, 1);
      WaitForSingleObject(outlook, 10000);
      CloseHandle(outlook);
    }
    CoUninitialize();
  }

  Ptr<IDispatch> create() {
    Ptr<IDispatch> app;
    EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IDispatch, reinterpret_cast<void**>(app.put())), S_OK);
    return app;
  }
  static DISPID idOf(IDispatch* object, const char16_t* name) {
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    EXPECT_EQ(object->GetIDsOfNames(IID_NULL, names, 1, 0, &id), S_OK) << platform::text::toUtf8(name);
    return id;
  }
  // Calls a member by name with at most one argument; the result is the caller's.
  static HRESULT call(IDispatch* object, const char16_t* name, WORD kind, VARIANT* arg, VARIANT* result) {
    DISPPARAMS params{arg, nullptr, arg ? 1u : 0u, 0};
    VariantInit(result);
    return object->Invoke(idOf(object, name), IID_NULL, 0, kind, &params, result, nullptr, nullptr);
  }
  // GetNamespace("MAPI").GetDefaultFolder(number).Name, or the first failure as "error N".
  static std::u16string folderName(IDispatch* app, LONG number) {
    VARIANT type, ns, n, folder, name;
    VariantInit(&type);
    type.vt = VT_BSTR;
    type.bstrVal = SysAllocString(u"MAPI");
    HRESULT hr = call(app, u"GetNamespace", DISPATCH_METHOD, &type, &ns);
    VariantClear(&type);
    if (FAILED(hr)) return u"error " + platform::text::fromUtf8(std::to_string(hr));
    VariantInit(&n);
    n.vt = VT_I4;
    n.lVal = number;
    hr = call(ns.pdispVal, u"GetDefaultFolder", DISPATCH_METHOD, &n, &folder);
    VariantClear(&ns);
    if (FAILED(hr)) return u"error " + platform::text::fromUtf8(std::to_string(static_cast<unsigned long>(hr)));
    hr = call(folder.pdispVal, u"Name", DISPATCH_PROPERTYGET, nullptr, &name);
    VariantClear(&folder);
    if (FAILED(hr) || name.vt != VT_BSTR) return u"error name";
    std::u16string out = name.bstrVal;
    VariantClear(&name);
    return out;
  }
  // Whether a process of the host has this image name.
  static bool runs(const char16_t* image) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W e{};
    e.dwSize = sizeof e;
    bool found = false;
    for (BOOL more = Process32FirstW(snapshot, &e); more; more = Process32NextW(snapshot, &e))
      found = found || platform::text::equalNoCase(e.szExeFile, image);
    CloseHandle(snapshot);
    return found;
  }
  void startOutlook() {
    std::u16string line = kOutlook;
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        << GetLastError();
    CloseHandle(pi.hThread);
    outlook = pi.hProcess;
    for (int i = 0; i < 1000 && !runs(u"OUTLOOK.EXE"); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }

  kipotest::TestHost host;
  CLSID clsid{};
  HANDLE outlook = nullptr;
};

TEST_F(OutlookAutomation, DefaultFolderNamesFollowTheHostLanguage) {
  struct Case {
    const char* locale;
    LONG folder;
    const char16_t* name;
  } cases[] = {
      {"0409", 6, u"Inbox"},
      {"0409", 5, u"Sent Items"},
      {"0409", 16, u"Drafts"},
      {"0409", 13, u"Tasks"},
      {"040C", 6, u"Bo\u00EEte de r\u00E9ception"},
      {"040C", 3, u"\u00C9l\u00E9ments supprim\u00E9s"},
      {"040C", 9, u"Calendrier"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.locale) + " " + std::to_string(c.folder));
    platform::host::Host::current().setFact("user_locale", c.locale);
    Ptr<IDispatch> app = create();
    ASSERT_TRUE(app);
    EXPECT_EQ(folderName(app.get(), c.folder), c.name);
  }
  // A number that is no default folder is an error, not a name.
  Ptr<IDispatch> app = create();
  EXPECT_EQ(folderName(app.get(), 7), u"error " + platform::text::fromUtf8(std::to_string(static_cast<unsigned long>(E_INVALIDARG))));
}

TEST_F(OutlookAutomation, QuitIsRecordedAndCreationStartsNoProgram) {
  Ptr<IDispatch> app = create();
  ASSERT_TRUE(app);
  EXPECT_FALSE(runs(u"OUTLOOK.EXE"));
  EXPECT_TRUE(com::outlookAutomationLog().empty());
  VARIANT r;
  ASSERT_EQ(call(app.get(), u"Quit", DISPATCH_METHOD, nullptr, &r), S_OK);
  EXPECT_EQ(com::outlookAutomationLog(), std::vector<std::u16string>{u"Quit"});
  ASSERT_EQ(call(create().get(), u"Quit", DISPATCH_METHOD, nullptr, &r), S_OK);
  EXPECT_EQ(com::outlookAutomationLog().size(), 2u);
}

TEST_F(OutlookAutomation, ActiveObjectOnlyWhileOutlookRuns) {
  Ptr<IUnknown> active;
  EXPECT_EQ(GetActiveObject(clsid, nullptr, active.put()), MK_E_UNAVAILABLE);
  EXPECT_FALSE(active);
  ASSERT_NO_FATAL_FAILURE(startOutlook());
  ASSERT_TRUE(runs(u"OUTLOOK.EXE"));
  ASSERT_EQ(GetActiveObject(clsid, nullptr, active.put()), S_OK);
  Ptr<IDispatch> app;
  ASSERT_EQ(active->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(app.put())), S_OK);
  EXPECT_EQ(folderName(app.get(), 4), u"Outbox");
  TerminateProcess(outlook, 0);
  ASSERT_EQ(WaitForSingleObject(outlook, 10000), WAIT_OBJECT_0);
  Ptr<IUnknown> after;
  EXPECT_EQ(GetActiveObject(clsid, nullptr, after.put()), MK_E_UNAVAILABLE);
}

// A host without Outlook has no automation class to create (the program id stays known to the
// stand-in, as a class whose server is missing).
TEST(OutlookAutomationWithoutOutlook, CreationFailsAsForAClassNotRegistered) {
  kipotest::TestHost host;
  ASSERT_EQ(CoInitialize(nullptr), S_OK);
  CLSID clsid{};
  ASSERT_EQ(CLSIDFromProgID(u"Outlook.Application", &clsid), S_OK);
  IUnknown* app = reinterpret_cast<IUnknown*>(0x1);
  EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_ALL, IID_IUnknown, reinterpret_cast<void**>(&app)),
            REGDB_E_CLASSNOTREG);
  EXPECT_EQ(app, nullptr);
  CoUninitialize();
}

}  // namespace

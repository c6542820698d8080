// The COM runtime: apartment balance, activation through the class registry with reference
// counts, program ids and GUID text, the running-object table.
#include "platform/com/runtime.h"

#include <gtest/gtest.h>

#include <thread>

#include "platform/base/fault.h"
#include "tests/platform/com/test_objects.h"
#include "tests/support/test_host.h"

namespace {

using platform::com::Ptr;

// {0D3F2A10-7E6B-4C5D-8A9B-1C2D3E4F5A6B}
DEFINE_GUID(CLSID_TestCounter, 0x0D3F2A10, 0x7E6B, 0x4C5D, 0x8A, 0x9B, 0x1C, 0x2D, 0x3E, 0x4F, 0x5A, 0x6B);
// {0D3F2A10-7E6B-4C5D-8A9B-1C2D3E4F5A6C}
DEFINE_GUID(CLSID_TestLocalCounter, 0x0D3F2A10, 0x7E6B, 0x4C5D, 0x8A, 0x9B, 0x1C, 0x2D, 0x3E, 0x4F, 0x5A, 0x6C);

int g_created = 0;

HRESULT createCounter(REFIID riid, void** object) {
  auto* counter = new comtest::Counter;
  ++g_created;
  HRESULT hr = counter->QueryInterface(riid, object);
  counter->Release();
  return hr;
}

platform::com::RegisterClass g_counterClass{CLSID_TestCounter, u"KipoTest.Counter.1", &createCounter};
platform::com::RegisterClass g_localCounterClass{CLSID_TestLocalCounter, u"KipoTest.LocalCounter", &createCounter,
                                                 CLSCTX_LOCAL_SERVER};

// Initialises COM for one test and balances it afterwards; activation needs a host (faults).
struct ComScope {
  ComScope() { EXPECT_EQ(CoInitialize(nullptr), S_OK); }
  ~ComScope() { CoUninitialize(); }
  kipotest::TestHost host;
};

TEST(ComRuntime, InitialisationIsCountedPerThreadAndModel) {
  kipotest::TestHost host;
  EXPECT_EQ(CoInitialize(nullptr), S_OK);
  EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_FALSE);
  EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE) << "not counted";
  EXPECT_EQ(OleInitialize(nullptr), S_FALSE);
  OleUninitialize();
  CoUninitialize();
  // One call still outstanding: COM is usable.
  Ptr<IUnknown> object;
  EXPECT_EQ(CoCreateInstance(CLSID_TestCounter, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, object.putVoid()), S_OK);
  object.reset();
  CoUninitialize();
  CoUninitialize();  // one too many: ignored

  void* sentinel = &sentinel;
  EXPECT_EQ(CoCreateInstance(CLSID_TestCounter, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &sentinel),
            CO_E_NOTINITIALIZED);
  EXPECT_EQ(sentinel, nullptr);
  EXPECT_EQ(CoInitialize(nullptr), S_OK) << "balanced: the next call starts afresh";
  CoUninitialize();
  EXPECT_EQ(CoInitialize(&sentinel), E_INVALIDARG);
}

TEST(ComRuntime, OtherThreadsHaveTheirOwnApartment) {
  ComScope com;
  HRESULT onOtherThread = E_FAIL;
  std::thread([&] { onOtherThread = CoInitializeEx(nullptr, COINIT_MULTITHREADED); CoUninitialize(); }).join();
  EXPECT_EQ(onOtherThread, S_OK);

  // While a thread is in the multithreaded apartment, uninitialised threads belong to it.
  ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);
  HRESULT created = E_FAIL;
  std::thread([&] {
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    std::thread([&] {
      Ptr<IUnknown> object;
      created = CoCreateInstance(CLSID_TestCounter, nullptr, CLSCTX_ALL, IID_IUnknown, object.putVoid());
    }).join();
    CoUninitialize();
  }).join();
  EXPECT_EQ(created, S_OK);
}

TEST(ComRuntime, CreateInstanceHandsOutOneCountedReference) {
  ComScope com;
  const int before = g_created;
  IDispatch* dispatch = nullptr;
  ASSERT_EQ(CoCreateInstance(CLSID_TestCounter, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                             reinterpret_cast<void**>(&dispatch)),
            S_OK);
  EXPECT_EQ(g_created, before + 1);
  auto* counter = static_cast<comtest::Counter*>(dispatch);
  EXPECT_EQ(counter->refs(), 1u);

  IUnknown* unknown = nullptr;
  ASSERT_EQ(dispatch->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
  EXPECT_EQ(counter->refs(), 2u);
  void* none = &none;
  EXPECT_EQ(dispatch->QueryInterface(IID_IClassFactory, &none), E_NOINTERFACE);
  EXPECT_EQ(none, nullptr);
  EXPECT_EQ(unknown->Release(), 1u);
  EXPECT_EQ(dispatch->Release(), 0u);

  // Through the class object, as CoCreateInstance does.
  Ptr<IClassFactory> factory;
  ASSERT_EQ(CoGetClassObject(CLSID_TestCounter, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory, factory.putVoid()),
            S_OK);
  Ptr<IDispatch> made;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IDispatch, made.putVoid()), S_OK);
  Ptr<IDispatch> aggregated;
  EXPECT_EQ(factory->CreateInstance(made.get(), IID_IUnknown, aggregated.putVoid()), CLASS_E_NOAGGREGATION);
}

TEST(ComRuntime, ActivationFailsByClassAndContext) {
  ComScope com;
  struct {
    int line;
    GUID clsid;
    DWORD context;
    HRESULT expected;
  } cases[] = {
      {__LINE__, CLSID_TestCounter, CLSCTX_INPROC_SERVER, S_OK},
      {__LINE__, CLSID_TestCounter, CLSCTX_LOCAL_SERVER, REGDB_E_CLASSNOTREG},
      {__LINE__, CLSID_TestLocalCounter, CLSCTX_LOCAL_SERVER, S_OK},
      {__LINE__, CLSID_TestLocalCounter, CLSCTX_INPROC_SERVER, REGDB_E_CLASSNOTREG},
      {__LINE__, CLSID_TestLocalCounter, CLSCTX_ALL, S_OK},
      {__LINE__, IID_IDispatch, CLSCTX_ALL, REGDB_E_CLASSNOTREG},
  };
  for (const auto& c : cases) {
    void* object = &object;
    EXPECT_EQ(CoCreateInstance(c.clsid, nullptr, c.context, IID_IUnknown, &object), c.expected) << "line " << c.line;
    if (SUCCEEDED(c.expected)) {
      static_cast<IUnknown*>(object)->Release();
    } else {
      EXPECT_EQ(object, nullptr) << "line " << c.line;
    }
  }
  void* object = &object;
  EXPECT_EQ(CoCreateInstance(CLSID_TestCounter, nullptr, CLSCTX_ALL, IID_IClassFactory, &object), E_NOINTERFACE);
  EXPECT_EQ(object, nullptr);
}

TEST(ComRuntime, InjectedFaultFailsActivationOfThatClass) {
  ComScope com;
  platform::fault::Fault fault;
  fault.call = "CoCreateInstance";
  fault.subject = u"{0d3f2a10-7e6b-4c5d-8a9b-1c2d3e4f5a6b}";
  fault.error = static_cast<DWORD>(REGDB_E_CLASSNOTREG);
  fault.count = 1;
  const auto id = platform::fault::inject(fault);
  Ptr<IUnknown> object;
  EXPECT_EQ(CoCreateInstance(CLSID_TestLocalCounter, nullptr, CLSCTX_ALL, IID_IUnknown, object.putVoid()), S_OK)
      << "another class is not affected";
  EXPECT_EQ(CoCreateInstance(CLSID_TestCounter, nullptr, CLSCTX_ALL, IID_IUnknown, object.putVoid()),
            REGDB_E_CLASSNOTREG);
  EXPECT_EQ(object.get(), nullptr);
  EXPECT_EQ(CoCreateInstance(CLSID_TestCounter, nullptr, CLSCTX_ALL, IID_IUnknown, object.putVoid()), S_OK)
      << "the fault was for one call";

  fault.error = ERROR_ACCESS_DENIED;
  fault.count = 0;
  platform::fault::removeLocal(id);
  const auto win32 = platform::fault::inject(fault);
  EXPECT_EQ(CoCreateInstance(CLSID_TestCounter, nullptr, CLSCTX_ALL, IID_IUnknown, object.putVoid()), E_ACCESSDENIED);
  platform::fault::removeLocal(win32);
}

TEST(ComRuntime, RegistrationEndsWithItsObject) {
  ComScope com;
  // {0D3F2A10-7E6B-4C5D-8A9B-1C2D3E4F5A6D}
  constexpr GUID clsid = {0x0D3F2A10, 0x7E6B, 0x4C5D, {0x8A, 0x9B, 0x1C, 0x2D, 0x3E, 0x4F, 0x5A, 0x6D}};
  Ptr<IUnknown> object;
  {
    platform::com::RegisterClass scoped{clsid, u"KipoTest.Scoped", &createCounter};
    EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, object.putVoid()), S_OK);
  }
  EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, object.putVoid()), REGDB_E_CLASSNOTREG);
  CLSID found;
  EXPECT_EQ(CLSIDFromProgID(u"KipoTest.Scoped", &found), CO_E_CLASSSTRING);
}

TEST(ComRuntime, ProgramIdsAndGuidText) {
  CLSID found = IID_IDispatch;
  ASSERT_EQ(CLSIDFromProgID(u"kipotest.counter.1", &found), S_OK) << "program ids ignore case";
  EXPECT_EQ(found, CLSID_TestCounter);
  EXPECT_EQ(CLSIDFromProgID(u"KipoTest.Nothing", &found), CO_E_CLASSSTRING);

  LPOLESTR progId = nullptr;
  ASSERT_EQ(ProgIDFromCLSID(CLSID_TestLocalCounter, &progId), S_OK);
  EXPECT_EQ(std::u16string(progId), u"KipoTest.LocalCounter");
  CoTaskMemFree(progId);
  EXPECT_EQ(ProgIDFromCLSID(IID_IDispatch, &progId), REGDB_E_CLASSNOTREG);

  OLECHAR text[39];
  text[38] = u'#';
  ASSERT_EQ(StringFromGUID2(CLSID_TestCounter, text, 39), 39);
  EXPECT_EQ(std::u16string(text), u"{0D3F2A10-7E6B-4C5D-8A9B-1C2D3E4F5A6B}");
  OLECHAR small[38] = {u'#'};
  EXPECT_EQ(StringFromGUID2(CLSID_TestCounter, small, 38), 0);
  EXPECT_EQ(small[0], u'#');

  struct {
    const char16_t* text;
    HRESULT clsidResult;
    HRESULT iidResult;
  } cases[] = {
      {u"{0d3f2a10-7e6b-4c5d-8a9b-1c2d3e4f5a6b}", S_OK, S_OK},
      {u"{0D3F2A10-7E6B-4C5D-8A9B-1C2D3E4F5A6B}", S_OK, S_OK},
      {u"KipoTest.Counter.1", S_OK, E_INVALIDARG},
      {u"0D3F2A10-7E6B-4C5D-8A9B-1C2D3E4F5A6B", CO_E_CLASSSTRING, E_INVALIDARG},
      {u"{0D3F2A10-7E6B-4C5D-8A9B-1C2D3E4F5A6G}", CO_E_CLASSSTRING, E_INVALIDARG},
      {u"{0D3F2A10-7E6B-4C5D-8A9B1-C2D3E4F5A6B}", CO_E_CLASSSTRING, E_INVALIDARG},
      {u"{0D3F2A10-7E6B-4C5D-8A9B-1C2D3E4F5A6B} ", CO_E_CLASSSTRING, E_INVALIDARG},
      {u"", CO_E_CLASSSTRING, E_INVALIDARG},
  };
  for (const auto& c : cases) {
    const std::string label = platform::text::toUtf8(c.text);
    CLSID clsid;
    EXPECT_EQ(CLSIDFromString(c.text, &clsid), c.clsidResult) << label;
    if (SUCCEEDED(c.clsidResult)) {
      EXPECT_EQ(clsid, CLSID_TestCounter) << label;
    }
    IID iid;
    EXPECT_EQ(IIDFromString(c.text, &iid), c.iidResult) << label;
  }
}

TEST(ComRuntime, RunningObjectTable) {
  ComScope com;
  // {0D3F2A10-7E6B-4C5D-8A9B-1C2D3E4F5A6E}
  constexpr GUID clsid = {0x0D3F2A10, 0x7E6B, 0x4C5D, {0x8A, 0x9B, 0x1C, 0x2D, 0x3E, 0x4F, 0x5A, 0x6E}};
  IUnknown* found = reinterpret_cast<IUnknown*>(&found);
  EXPECT_EQ(GetActiveObject(clsid, nullptr, &found), MK_E_UNAVAILABLE);
  EXPECT_EQ(found, nullptr);

  bool destroyed = false;
  auto* first = new comtest::Counter(&destroyed);
  DWORD strong = 0;
  ASSERT_EQ(RegisterActiveObject(first, clsid, ACTIVEOBJECT_STRONG, &strong), S_OK);
  first->Release();
  EXPECT_FALSE(destroyed) << "a strong registration keeps the object";

  auto* second = new comtest::Counter;
  DWORD weak = 0;
  EXPECT_EQ(RegisterActiveObject(second, clsid, ACTIVEOBJECT_WEAK, &weak), MK_S_MONIKERALREADYREGISTERED);
  EXPECT_EQ(second->refs(), 1u) << "a weak registration holds no reference";
  EXPECT_NE(weak, strong);

  ASSERT_EQ(GetActiveObject(clsid, nullptr, &found), S_OK);
  EXPECT_EQ(found, static_cast<IUnknown*>(first)) << "the first registration wins";
  found->Release();

  ASSERT_EQ(RevokeActiveObject(strong, nullptr), S_OK);
  EXPECT_TRUE(destroyed);
  EXPECT_EQ(RevokeActiveObject(strong, nullptr), E_INVALIDARG);
  ASSERT_EQ(GetActiveObject(clsid, nullptr, &found), S_OK);
  EXPECT_EQ(found, static_cast<IUnknown*>(second));
  found->Release();
  ASSERT_EQ(RevokeActiveObject(weak, nullptr), S_OK);
  EXPECT_EQ(second->Release(), 0u);
  EXPECT_EQ(GetActiveObject(clsid, nullptr, &found), MK_E_UNAVAILABLE);
}

TEST(ComRuntime, TaskMemoryAndOleRun) {
  void* p = CoTaskMemAlloc(0);
  EXPECT_NE(p, nullptr);
  p = CoTaskMemRealloc(p, 64);
  ASSERT_NE(p, nullptr);
  CoTaskMemFree(p);
  CoTaskMemFree(nullptr);
  comtest::Counter* counter = new comtest::Counter;
  EXPECT_EQ(OleRun(counter), S_OK);
  EXPECT_EQ(OleRun(nullptr), E_INVALIDARG);
  counter->Release();
}

}  // namespace

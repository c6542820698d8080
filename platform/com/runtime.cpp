// Apartments, task memory, the class registry, activation and the running-object table of one
// process. Tables are guarded by one mutex each; no lock is held while an object's own methods
// run (except AddRef), so a server may call back into the runtime from QueryInterface or Release.
#include "platform/com/runtime.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "platform/base/fault.h"
#include "platform/base/text.h"

namespace {

// ---- Apartments -------------------------------------------------------------------------------

struct Apartment {
  int count = 0;         // successful CoInitialize(Ex) calls not yet undone
  bool multithreaded = false;
  int oleCount = 0;      // successful OleInitialize calls not yet undone
};
thread_local Apartment t_apartment;
// Threads of the process in the multithreaded apartment: while there is one, every other
// thread of the process may use COM too, as a member of that apartment.
std::atomic<int> g_multithreadedThreads{0};

// ---- Class registry ---------------------------------------------------------------------------

struct ClassEntry {
  DWORD token;
  CLSID clsid;
  std::u16string progId;
  platform::com::CreateInstanceFn create;
  DWORD contexts;
};

struct ClassTable {
  std::mutex mutex;
  std::vector<ClassEntry> entries;  // in registration order
  DWORD nextToken = 1;
};

ClassTable& classTable() {
  static ClassTable table;
  return table;
}

// The latest registration of clsid for one of the contexts asked, or false.
bool findClass(REFCLSID clsid, DWORD contexts, ClassEntry& found) {
  ClassTable& table = classTable();
  std::lock_guard lock(table.mutex);
  for (auto it = table.entries.rbegin(); it != table.entries.rend(); ++it) {
    if (it->clsid == clsid && (it->contexts & contexts)) {
      found = *it;
      return true;
    }
  }
  return false;
}

// The generic factory over a class's creation function.
class ClassFactory final : public platform::com::SingleInterface<IClassFactory> {
 public:
  explicit ClassFactory(platform::com::CreateInstanceFn create) : create_(create) {}

  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    return create_(riid, object);
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

 private:
  platform::com::CreateInstanceFn create_;
};

// ---- Running-object table ---------------------------------------------------------------------

struct RunningEntry {
  DWORD registration;
  CLSID clsid;
  IUnknown* object;
  bool strong;
};

struct RunningTable {
  std::mutex mutex;
  std::vector<RunningEntry> entries;  // in registration order
  DWORD nextRegistration = 1;
};

RunningTable& runningTable() {
  static RunningTable table;
  return table;
}

struct ActiveSource {
  DWORD token;
  CLSID clsid;
  platform::com::ActiveObjectSourceFn source;
};
struct ActiveSources {
  std::mutex mutex;
  std::vector<ActiveSource> entries;
  DWORD nextToken = 1;
};
ActiveSources& activeSources() {
  static ActiveSources sources;
  return sources;
}

}  // namespace

// ---- Apartments -------------------------------------------------------------------------------

HRESULT CoInitializeEx(LPVOID reserved, DWORD coInit) {
  if (reserved) return E_INVALIDARG;
  const bool multithreaded = (coInit & COINIT_APARTMENTTHREADED) == 0;
  Apartment& a = t_apartment;
  if (a.count > 0) {
    if (a.multithreaded != multithreaded) return RPC_E_CHANGED_MODE;
    ++a.count;
    return S_FALSE;
  }
  a.count = 1;
  a.multithreaded = multithreaded;
  if (multithreaded) ++g_multithreadedThreads;
  return S_OK;
}

HRESULT CoInitialize(LPVOID reserved) { return CoInitializeEx(reserved, COINIT_APARTMENTTHREADED); }

void CoUninitialize() {
  Apartment& a = t_apartment;
  if (a.count == 0) return;
  if (--a.count == 0 && a.multithreaded) --g_multithreadedThreads;
}

HRESULT OleInitialize(LPVOID reserved) {
  HRESULT hr = CoInitializeEx(reserved, COINIT_APARTMENTTHREADED);
  if (FAILED(hr)) return hr;
  ++t_apartment.oleCount;
  return hr;
}

void OleUninitialize() {
  Apartment& a = t_apartment;
  if (a.oleCount == 0) return;
  --a.oleCount;
  CoUninitialize();
}

bool platform::com::comUsable() { return t_apartment.count > 0 || g_multithreadedThreads.load() > 0; }

// ---- Task memory ------------------------------------------------------------------------------

LPVOID CoTaskMemAlloc(SIZE_T bytes) { return std::malloc(bytes ? bytes : 1); }

LPVOID CoTaskMemRealloc(LPVOID memory, SIZE_T bytes) { return std::realloc(memory, bytes ? bytes : 1); }

void CoTaskMemFree(LPVOID memory) { std::free(memory); }

// ---- Class registry and activation --------------------------------------------------------------

DWORD platform::com::registerClass(REFCLSID clsid, const char16_t* progId, CreateInstanceFn create,
                                   DWORD contexts) {
  ClassTable& table = classTable();
  std::lock_guard lock(table.mutex);
  const DWORD token = table.nextToken++;
  table.entries.push_back({token, clsid, progId ? std::u16string(progId) : std::u16string(), create, contexts});
  return token;
}

void platform::com::unregisterClass(DWORD token) {
  ClassTable& table = classTable();
  std::lock_guard lock(table.mutex);
  std::erase_if(table.entries, [token](const ClassEntry& e) { return e.token == token; });
}

HRESULT CoGetClassObject(REFCLSID clsid, DWORD context, COSERVERINFO*, REFIID riid, LPVOID* object) {
  if (!object) return E_INVALIDARG;
  *object = nullptr;
  if (!platform::com::comUsable()) return CO_E_NOTINITIALIZED;
  ClassEntry entry;
  if (!findClass(clsid, context, entry)) return REGDB_E_CLASSNOTREG;
  auto* factory = new ClassFactory(entry.create);
  HRESULT hr = factory->QueryInterface(riid, object);
  factory->Release();
  return hr;
}

HRESULT CoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID riid, LPVOID* object) {
  if (!object) return E_INVALIDARG;
  *object = nullptr;
  if (!platform::com::comUsable()) return CO_E_NOTINITIALIZED;
  if (const DWORD error = platform::fault::check("CoCreateInstance", platform::com::formatGuid(clsid))) {
    // A fault's code is an HRESULT when it has the failure bit, else a Win32 error.
    return (error & 0x80000000u) ? static_cast<HRESULT>(error) : HRESULT_FROM_WIN32(error);
  }
  ClassEntry entry;
  if (!findClass(clsid, context, entry)) return REGDB_E_CLASSNOTREG;
  if (outer) return CLASS_E_NOAGGREGATION;
  HRESULT hr = entry.create(riid, object);
  if (FAILED(hr)) *object = nullptr;
  return hr;
}

HRESULT OleRun(LPUNKNOWN object) { return object ? S_OK : E_INVALIDARG; }

HRESULT CLSIDFromProgID(LPCOLESTR progId, LPCLSID clsid) {
  if (!progId || !clsid) return E_INVALIDARG;
  const std::u16string_view wanted = platform::text::view(progId);
  ClassTable& table = classTable();
  std::lock_guard lock(table.mutex);
  for (auto it = table.entries.rbegin(); it != table.entries.rend(); ++it) {
    if (!it->progId.empty() && platform::text::equalNoCase(it->progId, wanted)) {
      *clsid = it->clsid;
      return S_OK;
    }
  }
  *clsid = CLSID_NULL;
  return CO_E_CLASSSTRING;
}

HRESULT ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* progId) {
  if (!progId) return E_INVALIDARG;
  *progId = nullptr;
  std::u16string found;
  {
    ClassTable& table = classTable();
    std::lock_guard lock(table.mutex);
    for (auto it = table.entries.rbegin(); it != table.entries.rend(); ++it) {
      if (it->clsid == clsid && !it->progId.empty()) {
        found = it->progId;
        break;
      }
    }
  }
  if (found.empty()) return REGDB_E_CLASSNOTREG;
  auto* copy = static_cast<LPOLESTR>(CoTaskMemAlloc((found.size() + 1) * sizeof(OLECHAR)));
  if (!copy) return E_OUTOFMEMORY;
  std::memcpy(copy, found.c_str(), (found.size() + 1) * sizeof(OLECHAR));
  *progId = copy;
  return S_OK;
}

// ---- Running-object table -----------------------------------------------------------------------

HRESULT RegisterActiveObject(IUnknown* object, REFCLSID clsid, DWORD flags, LPDWORD registration) {
  if (!object || !registration) return E_INVALIDARG;
  if (!platform::com::comUsable()) return CO_E_NOTINITIALIZED;
  // The table keeps the object's identity (its IUnknown), as GetActiveObject hands that out.
  IUnknown* identity = nullptr;
  HRESULT hr = object->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity));
  if (FAILED(hr)) return hr;
  const bool strong = (flags & ACTIVEOBJECT_WEAK) == 0;
  if (!strong) identity->Release();
  RunningTable& table = runningTable();
  std::lock_guard lock(table.mutex);
  bool already = false;
  for (const RunningEntry& e : table.entries) already = already || e.clsid == clsid;
  *registration = table.nextRegistration++;
  table.entries.push_back({*registration, clsid, identity, strong});
  return already ? MK_S_MONIKERALREADYREGISTERED : S_OK;
}

HRESULT RevokeActiveObject(DWORD registration, LPVOID) {
  RunningEntry removed{};
  {
    RunningTable& table = runningTable();
    std::lock_guard lock(table.mutex);
    auto it = std::find_if(table.entries.begin(), table.entries.end(),
                           [registration](const RunningEntry& e) { return e.registration == registration; });
    if (it == table.entries.end()) return E_INVALIDARG;
    removed = *it;
    table.entries.erase(it);
  }
  if (removed.strong) removed.object->Release();
  return S_OK;
}

HRESULT GetActiveObject(REFCLSID clsid, LPVOID, IUnknown** object) {
  if (!object) return E_INVALIDARG;
  *object = nullptr;
  if (!platform::com::comUsable()) return CO_E_NOTINITIALIZED;
  RunningTable& table = runningTable();
  {
    std::lock_guard lock(table.mutex);
    for (const RunningEntry& e : table.entries) {
      if (e.clsid == clsid) {
        e.object->AddRef();
        *object = e.object;
        return S_OK;
      }
    }
  }
  platform::com::ActiveObjectSourceFn source = nullptr;
  {
    ActiveSources& sources = activeSources();
    std::lock_guard lock(sources.mutex);
    for (const ActiveSource& s : sources.entries)
      if (s.clsid == clsid) source = s.source;  // the latest registration wins
  }
  return source ? source(object) : MK_E_UNAVAILABLE;
}

namespace platform::com {

DWORD registerActiveObjectSource(REFCLSID clsid, ActiveObjectSourceFn source) {
  ActiveSources& sources = activeSources();
  std::lock_guard lock(sources.mutex);
  const DWORD token = sources.nextToken++;
  sources.entries.push_back({token, clsid, source});
  return token;
}

void unregisterActiveObjectSource(DWORD token) {
  ActiveSources& sources = activeSources();
  std::lock_guard lock(sources.mutex);
  std::erase_if(sources.entries, [token](const ActiveSource& s) { return s.token == token; });
}

}  // namespace platform::com

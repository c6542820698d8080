// The COM runtime of a process: apartments (CoInitialize and its balance), task memory, the
// class registry that the stand-in's servers register in, activation, and the running-object
// table.
//
// Local servers are in-process objects over host state (the host's database and files), so
// CLSCTX_LOCAL_SERVER activation creates the object in the calling process, and the
// running-object table is per process: an object registered by one program is not seen by
// another. A class is known by its registration in this process, not by the host's registry.
#pragma once

#include "platform/com/unknown.h"

struct COSERVERINFO;

// Initialises COM on the calling thread: S_OK the first time, S_FALSE for each further call in
// the same model (each must be balanced by CoUninitialize), RPC_E_CHANGED_MODE when the thread is
// already in the other model (not counted). reserved must be null.
HRESULT CoInitialize(LPVOID reserved);
HRESULT CoInitializeEx(LPVOID reserved, DWORD coInit);
// Undoes one successful CoInitialize(Ex); does nothing on a thread that is not initialised.
void CoUninitialize();
// CoInitializeEx in the single-threaded model, counted separately for OleUninitialize.
HRESULT OleInitialize(LPVOID reserved);
void OleUninitialize();

LPVOID CoTaskMemAlloc(SIZE_T bytes);
LPVOID CoTaskMemRealloc(LPVOID memory, SIZE_T bytes);
void CoTaskMemFree(LPVOID memory);

// Activation. CO_E_NOTINITIALIZED when the thread has not initialised COM (and no thread of
// the process is in the multithreaded model); REGDB_E_CLASSNOTREG when no class with that id is
// registered for any of the contexts asked; CLASS_E_NOAGGREGATION for an outer unknown.
// *object is null on failure. CoCreateInstance obeys injected faults for the call
// "CoCreateInstance" with the class id in braced form as subject; a fault's code with the
// failure bit set is returned as it is, any other as HRESULT_FROM_WIN32.
HRESULT CoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID riid, LPVOID* object);
HRESULT CoGetClassObject(REFCLSID clsid, DWORD context, COSERVERINFO* server, REFIID riid, LPVOID* object);
// Puts a created object into its running state; every stand-in server runs as soon as created.
HRESULT OleRun(LPUNKNOWN object);

// Program ids, matched without regard to case. CLSIDFromProgID: CO_E_CLASSSTRING for an unknown
// id. ProgIDFromCLSID: the id in task memory; REGDB_E_CLASSNOTREG when the class has none.
HRESULT CLSIDFromProgID(LPCOLESTR progId, LPCLSID clsid);
HRESULT ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* progId);

// The running-object table. Registration holds a reference (ACTIVEOBJECT_STRONG) or not
// (ACTIVEOBJECT_WEAK: the object must revoke itself before it goes); registering a class that is
// already there answers MK_S_MONIKERALREADYREGISTERED and GetActiveObject keeps giving the
// first. GetActiveObject: MK_E_UNAVAILABLE when nothing is registered for the class.
#define ACTIVEOBJECT_STRONG 0x0
#define ACTIVEOBJECT_WEAK 0x1
HRESULT RegisterActiveObject(IUnknown* object, REFCLSID clsid, DWORD flags, LPDWORD registration);
HRESULT RevokeActiveObject(DWORD registration, LPVOID reserved);
HRESULT GetActiveObject(REFCLSID clsid, LPVOID reserved, IUnknown** object);

namespace platform::com {

// Makes a new object of a class and asks it for riid (the object is released when that fails).
using CreateInstanceFn = HRESULT (*)(REFIID riid, void** object);

// Adds a class to the process's registry; the latest registration of a class id wins until it is
// withdrawn. progId may be null or empty. Returns a token for unregisterClass.
DWORD registerClass(REFCLSID clsid, const char16_t* progId, CreateInstanceFn create,
                    DWORD contexts = CLSCTX_INPROC_SERVER);
void unregisterClass(DWORD token);

// A registration for the lifetime of the object; servers declare one at namespace scope:
//   static platform::com::RegisterClass reg{CLSID_ShellLink, nullptr, &createShellLink};
// (A module that is unloaded so withdraws its classes.) Defined inline so that it works the
// same wherever the name comes from.
class RegisterClass {
 public:
  RegisterClass(REFCLSID clsid, const char16_t* progId, CreateInstanceFn create,
                DWORD contexts = CLSCTX_INPROC_SERVER)
      : token_(registerClass(clsid, progId, create, contexts)) {}
  ~RegisterClass() { unregisterClass(token_); }
  RegisterClass(const RegisterClass&) = delete;
  RegisterClass& operator=(const RegisterClass&) = delete;

 private:
  DWORD token_;
};

// A class whose running instance is another program of the host (a server started on its own)
// rather than an entry of this process's table: GetActiveObject asks its source when the table
// has nothing for the class. The source answers MK_E_UNAVAILABLE when the program is not running.
using ActiveObjectSourceFn = HRESULT (*)(IUnknown** object);
DWORD registerActiveObjectSource(REFCLSID clsid, ActiveObjectSourceFn source);
void unregisterActiveObjectSource(DWORD token);

class RegisterActiveObjectSource {
 public:
  RegisterActiveObjectSource(REFCLSID clsid, ActiveObjectSourceFn source)
      : token_(registerActiveObjectSource(clsid, source)) {}
  ~RegisterActiveObjectSource() { unregisterActiveObjectSource(token_); }
  RegisterActiveObjectSource(const RegisterActiveObjectSource&) = delete;
  RegisterActiveObjectSource& operator=(const RegisterActiveObjectSource&) = delete;

 private:
  DWORD token_;
};

// Whether COM may be used on the calling thread (initialised, or the process has a
// multithreaded apartment).
bool comUsable();

}  // namespace platform::com

// Modules: loading a library by its Windows name or path, looking up its exports by name or by
// ordinal, reference-counted unloading, and the names of loaded modules. A module is a shared
// object built by the project (with an export table declared by KIPO_EXPORT_TABLE), a file that
// holds only resources (a language library), or one of the platform's built-in modules
// ("kernel32.dll", "shell32.dll", ...), which have a stand-in file in the system folder.
#pragma once

#include "platform/base/types.h"

// An entry point of unknown type, cast by the caller to the type it knows. `void (*)()` rather
// than Windows' INT_PTR-returning form: it is the one function type the compiler lets be cast to
// any other without a -Wcast-function-type warning, and no caller calls it uncast.
using FARPROC = void (*)();
using NEARPROC = FARPROC;
using PROC = FARPROC;

#define DLL_PROCESS_DETACH 0
#define DLL_PROCESS_ATTACH 1
#define DLL_THREAD_ATTACH 2
#define DLL_THREAD_DETACH 3

#define DONT_RESOLVE_DLL_REFERENCES 0x00000001
#define LOAD_LIBRARY_AS_DATAFILE 0x00000002
#define LOAD_WITH_ALTERED_SEARCH_PATH 0x00000008

// Loads the module (or adds a reference to it when already loaded) and runs its entry point with
// DLL_PROCESS_ATTACH on first load. A bare name ("mapi32", "Lingrove_FRA.DLL"; ".dll" is added
// when the name has no extension) is looked for among the loaded modules, then in the program's
// folder, the system folder, the 16-bit system folder, the Windows folder, the current directory
// and the folders of PATH, and last among the built-in modules. Null with ERROR_MOD_NOT_FOUND
// when nothing is found, ERROR_BAD_EXE_FORMAT when the file is not a module (or its resource
// section is corrupt), ERROR_DLL_INIT_FAILED when the entry point refuses.
HMODULE LoadLibraryW(LPCWSTR fileName);
HMODULE LoadLibraryA(LPCSTR fileName);
// LOAD_LIBRARY_AS_DATAFILE maps only the resources: no code runs and no export is found.
// DONT_RESOLVE_DLL_REFERENCES loads the code without running the entry point. `file` must be null.
HMODULE LoadLibraryExW(LPCWSTR fileName, HANDLE file, DWORD flags);
HMODULE LoadLibraryExA(LPCSTR fileName, HANDLE file, DWORD flags);

// An export by its exact (case-sensitive, possibly decorated: "HrQueryAllRows@24") name, or by
// ordinal when procName is MAKEINTRESOURCEA(ordinal). Null with ERROR_PROC_NOT_FOUND.
FARPROC GetProcAddress(HMODULE module, LPCSTR procName);

// Drops one reference; the last one runs the entry point with DLL_PROCESS_DETACH and unloads.
// The program and the built-in modules stay loaded.
BOOL FreeLibrary(HMODULE module);

// A loaded module by name or path without adding a reference; null names the program.
HMODULE GetModuleHandleW(LPCWSTR moduleName);
HMODULE GetModuleHandleA(LPCSTR moduleName);

// The Windows path of a loaded module (null: the program). As on Windows XP, a buffer that is
// too small receives the first `size` characters without a terminating NUL, and the result is
// `size`; otherwise the result is the length without the NUL.
DWORD GetModuleFileNameW(HMODULE module, LPWSTR fileName, DWORD size);
DWORD GetModuleFileNameA(HMODULE module, LPSTR fileName, DWORD size);

// Thread notifications are never sent, so there is nothing to switch off.
BOOL DisableThreadLibraryCalls(HMODULE module);

// ---- export tables of the project's own modules ----
//
// A module source declares its exports once, at namespace scope:
//
//   KIPO_EXPORT_TABLE(DllMain,  // or nullptr when the module has no entry point
//                     KIPO_EXPORT("MAPIInitialize", 11, MAPIInitialize),
//                     KIPO_EXPORT("HrQueryAllRows@24", 75, HrQueryAllRows));
//
// Ordinals are those the module's callers may use with GetProcAddress; 0 means "by name only".
namespace platform::module {

struct ExportEntry {
  const char* name;  // null for an export by ordinal only
  WORD ordinal;
  FARPROC address;
};

using EntryPoint = BOOL (*)(HINSTANCE, DWORD, LPVOID);

inline constexpr DWORD kModuleTableMagic = 0x4B455854;  // "KEXT"

struct ModuleTable {
  DWORD magic;
  DWORD count;
  const ExportEntry* entries;
  EntryPoint entryPoint;
};

template <class F>
FARPROC exportAddress(F* function) {
  return reinterpret_cast<FARPROC>(function);
}

}  // namespace platform::module

#define KIPO_EXPORT(name, ordinal, function) \
  ::platform::module::ExportEntry { name, ordinal, ::platform::module::exportAddress(&function) }

#define KIPO_EXPORT_TABLE(entryPoint, ...)                                                          \
  static const ::platform::module::ExportEntry kipoModuleExports_[] = {__VA_ARGS__};               \
  extern "C" __attribute__((visibility("default"))) const ::platform::module::ModuleTable          \
      kipo_module_table = {::platform::module::kModuleTableMagic,                                   \
                           static_cast<DWORD>(sizeof(kipoModuleExports_) / sizeof(kipoModuleExports_[0])), \
                           kipoModuleExports_, entryPoint}

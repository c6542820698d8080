// Inside the module loader: the built-in modules and their registration, the resource sets of
// modules and files, and the one place where Windows paths of modules become Linux paths.
// Product code does not include this; Win32 calls in platform/win32 do.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/base/types.h"
#include "platform/host/module_format.h"
#include "platform/win32/module.h"

namespace platform::module {

// ---- built-in modules ----

struct BuiltinVersion {
  std::string fileVersion;     // "6.0.2900.0"
  std::string productVersion;  // same shape
  std::u16string description;
};

struct BuiltinModule {
  std::string name;  // file name in the system folder, e.g. "shell32.dll"
  bool alwaysLoaded = false;  // mapped into every process (kernel32), so GetModuleHandleW finds it
  BuiltinVersion (*version)() = nullptr;
  std::vector<ExportEntry> exports;
};

// Registers a built-in module; one static object per module.
struct RegisterBuiltinModule {
  RegisterBuiltinModule(const char* name, bool alwaysLoaded, BuiltinVersion (*version)());
};
// Adds an export to a built-in module (registered before or after the module itself).
struct RegisterBuiltinExport {
  RegisterBuiltinExport(const char* module, const char* name, WORD ordinal, FARPROC address);
};

// The built-in module of that file name (case-insensitive), or null.
const BuiltinModule* findBuiltin(std::u16string_view fileName);
std::vector<const BuiltinModule*> builtinModules();

// The stand-in file of a built-in module: a resource-only file whose marker resource names it.
std::vector<std::uint8_t> builtinStubFile(const BuiltinModule& module);
// Type of the marker resource that names the module a stand-in file stands for.
inline const char16_t kBuiltinMarkerType[] = u"KIPOBUILTIN";

// ---- resources ----

struct ResourceSet {
  std::vector<std::uint8_t> bytes;  // the section
  std::vector<rsrc::Entry> entries;
  const BuiltinModule* builtin = nullptr;  // set for a built-in module's stand-in file
  const std::uint8_t* data(const rsrc::Entry& e) const { return bytes.data() + e.offset; }
};

// The resources of a file. Null with a Windows error: ERROR_FILE_NOT_FOUND (no file),
// ERROR_RESOURCE_DATA_NOT_FOUND (no section), ERROR_BAD_FORMAT (corrupt section). A built-in
// module's stand-in file gets its generated resources (the version block) added.
std::shared_ptr<const ResourceSet> resourcesOfFile(const std::filesystem::path& linuxPath, DWORD& error);

// The resources of a built-in module that has no stand-in file in this host.
std::shared_ptr<const ResourceSet> resourcesOfBuiltin(const BuiltinModule& module);

// The resources of a loaded module (null: the program), or null with a Windows error:
// ERROR_MOD_NOT_FOUND for a handle that is not a loaded module, ERROR_RESOURCE_DATA_NOT_FOUND
// when the module has no resources.
std::shared_ptr<const ResourceSet> resourcesOfModule(HMODULE module, DWORD& error);

// The language the resource search prefers (the user's default language).
WORD preferredLanguage();

// ---- paths (over the drive table of platform/host/paths.h) ----

// The Windows path of a Linux file; a file outside every drive keeps its Linux path.
std::u16string windowsPathOf(const std::filesystem::path& linuxPath);
// The process's current directory as a Windows path.
std::u16string currentDirectory();
// The folders of the Windows PATH, in order.
std::vector<std::u16string> pathFolders();
// The system folder ("C:\WINDOWS\system32") and the Windows folder.
std::u16string systemFolder();
std::u16string windowsFolder();

// Overrides the program's Windows path (the process starter sets it when the image has a
// Windows name other than the one its Linux path maps to).
void setProgramWindowsPath(std::u16string path);

}  // namespace platform::module

#define KIPO_BUILTIN_CONCAT2(a, b) a##b
#define KIPO_BUILTIN_CONCAT(a, b) KIPO_BUILTIN_CONCAT2(a, b)
// One line beside a function makes it an export of a built-in module:
//   KIPO_BUILTIN_EXPORT("kernel32.dll", "GetDiskFreeSpaceExW", GetDiskFreeSpaceExW);
#define KIPO_BUILTIN_EXPORT(moduleName, exportName, function)                                     \
  static ::platform::module::RegisterBuiltinExport KIPO_BUILTIN_CONCAT(kipoBuiltinExport_, __COUNTER__)( \
      moduleName, exportName, 0, ::platform::module::exportAddress(&function))

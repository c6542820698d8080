// The module loader: one table of loaded modules per process (the program, shared objects with
// their export tables, resource-only files, built-in modules), reference counts, the search for a
// bare name, and the export lookups. The built-in "kernel32.dll" and "shell32.dll" are registered
// here; other facilities add exports to them with KIPO_BUILTIN_EXPORT.
#include "platform/win32/module.h"

#include <dlfcn.h>
#include <elf.h>
#include <fcntl.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/base/codepage.h"
#include "platform/base/fault.h"
#include "platform/base/text.h"
#include "platform/host/host.h"
#include "platform/host/module_registry.h"
#include "platform/host/paths.h"
#include "platform/win32/error.h"
#include "platform/win32/volume.h"

namespace platform::module {

namespace fs = std::filesystem;

namespace {

enum class Kind {
  Program,    // the running program's image
  Code,       // a shared object opened with dlopen
  Resources,  // resources only: a resource file, an executable image, or any module as data file
  Builtin,    // a built-in module of the platform
};

struct Module {
  Kind kind = Kind::Resources;
  bool datafile = false;  // loaded with LOAD_LIBRARY_AS_DATAFILE
  bool pinned = false;    // never unloaded (the program, kernel32)
  bool runEntry = true;   // entry point called (not with DONT_RESOLVE_DLL_REFERENCES)
  long refs = 1;
  std::u16string windowsPath;
  fs::path linuxPath;  // empty for a built-in module without its stand-in file
  dev_t dev = 0;
  ino_t ino = 0;
  void* dl = nullptr;
  const ModuleTable* table = nullptr;
  const BuiltinModule* builtin = nullptr;
  bool resourcesRead = false;
  std::shared_ptr<const ResourceSet> resources;
  DWORD resourceError = ERROR_RESOURCE_DATA_NOT_FOUND;

  HMODULE handle() { return reinterpret_cast<HMODULE>(this); }
};

struct Loader {
  // Recursive, like the loader lock: an entry point may load or free other modules.
  std::recursive_mutex lock;
  std::vector<std::unique_ptr<Module>> modules;
  Module* program = nullptr;
  std::u16string programPath;  // override of the program's Windows path
};

// Never destroyed: modules may still be freed by static destructors at exit.
Loader& loader() {
  static Loader* l = new Loader;
  return *l;
}

Module* programModule(Loader& l) {
  if (!l.program) {
    auto m = std::make_unique<Module>();
    m->kind = Kind::Program;
    m->pinned = true;
    std::error_code ec;
    m->linuxPath = fs::read_symlink("/proc/self/exe", ec);
    struct stat st {};
    if (::stat(m->linuxPath.c_str(), &st) == 0) {
      m->dev = st.st_dev;
      m->ino = st.st_ino;
    }
    l.program = m.get();
    l.modules.push_back(std::move(m));
  }
  return l.program;
}

Module* find(Loader& l, HMODULE handle) {
  if (!handle) return programModule(l);
  for (auto& m : l.modules)
    if (m->handle() == handle) return m.get();
  return nullptr;
}

std::u16string windowsPathOfModule(Loader& l, const Module& m) {
  if (m.kind != Kind::Program) return m.windowsPath;
  return l.programPath.empty() ? windowsPathOf(m.linuxPath) : l.programPath;
}

std::u16string_view baseName(std::u16string_view path) {
  std::size_t slash = path.find_last_of(u"\\/");
  return slash == std::u16string_view::npos ? path : path.substr(slash + 1);
}

std::u16string_view folderOf(std::u16string_view path) {
  std::size_t slash = path.find_last_of(u"\\/");
  return slash == std::u16string_view::npos ? std::u16string_view() : path.substr(0, slash);
}

bool isBareName(std::u16string_view name) { return name.find_first_of(u"\\/:") == std::u16string_view::npos; }

// ".dll" is added when the last component has no extension; a trailing dot means "none".
std::u16string withDefaultExtension(std::u16string_view name) {
  std::u16string out(name);
  std::u16string_view last = baseName(out);
  if (!last.empty() && last.back() == u'.')
    out.pop_back();
  else if (last.find(u'.') == std::u16string_view::npos)
    out += u".dll";
  return out;
}

struct Located {
  fs::path linux;
  std::u16string windows;
  struct stat st {};
};

// The regular file behind a Windows path (or an absolute Linux path), if there is one.
std::optional<Located> locateFile(std::u16string_view windowsPath) {
  Located found;
  if (!windowsPath.empty() && windowsPath[0] == u'/') {
    found.linux = text::toUtf8(windowsPath);
    found.windows = windowsPathOf(found.linux);
    if (::stat(found.linux.c_str(), &found.st) != 0) return std::nullopt;
  } else {
    host::ResolvedPath r = host::resolvePath(windowsPath);
    if (r.error || !r.exists) return std::nullopt;
    found.linux = r.linux;
    found.windows = r.full;
    found.st = r.st;
  }
  if (!S_ISREG(found.st.st_mode)) return std::nullopt;
  return found;
}

// Where a bare name is looked for, in XP's order (with safe search: current directory after the
// Windows folders).
std::vector<std::u16string> searchFolders(Loader& l) {
  std::vector<std::u16string> folders;
  std::u16string program = windowsPathOfModule(l, *programModule(l));
  if (!folderOf(program).empty()) folders.emplace_back(folderOf(program));
  folders.push_back(systemFolder());
  folders.push_back(windowsFolder() + u"\\system");
  folders.push_back(windowsFolder());
  folders.push_back(currentDirectory());
  for (auto& f : pathFolders()) folders.push_back(f);
  return folders;
}

std::u16string joinPath(std::u16string_view folder, std::u16string_view name) {
  std::u16string out(folder);
  if (!out.empty() && out.back() != u'\\' && out.back() != u'/') out += out[0] == u'/' ? u'/' : u'\\';
  out += name;
  return out;
}

enum class FileKind { SharedObject, Executable, NotElf };

FileKind classify(const fs::path& file) {
  int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return FileKind::NotElf;
  Elf64_Ehdr eh{};
  FileKind kind = FileKind::NotElf;
  if (::pread(fd, &eh, sizeof eh, 0) == static_cast<ssize_t>(sizeof eh) && std::memcmp(eh.e_ident, ELFMAG, SELFMAG) == 0 &&
      eh.e_ident[EI_CLASS] == ELFCLASS64) {
    if (eh.e_type == ET_EXEC) {
      kind = FileKind::Executable;
    } else if (eh.e_type == ET_DYN) {
      // A position-independent program has an interpreter; a library has none.
      kind = FileKind::SharedObject;
      for (unsigned i = 0; i < eh.e_phnum && i < 256; ++i) {
        Elf64_Phdr ph{};
        if (::pread(fd, &ph, sizeof ph, static_cast<off_t>(eh.e_phoff + i * sizeof ph)) != static_cast<ssize_t>(sizeof ph))
          break;
        if (ph.p_type == PT_INTERP) {
          kind = FileKind::Executable;
          break;
        }
      }
    }
  }
  ::close(fd);
  return kind;
}

// The export table the shared object itself defines (not one found in a library it depends on).
const ModuleTable* exportTableOf(void* dl) {
  void* sym = ::dlsym(dl, "kipo_module_table");
  if (!sym) return nullptr;
  struct link_map* own = nullptr;
  struct link_map* owner = nullptr;
  Dl_info info{};
  if (::dlinfo(dl, RTLD_DI_LINKMAP, &own) != 0 ||
      !::dladdr1(sym, &info, reinterpret_cast<void**>(&owner), RTLD_DL_LINKMAP) || owner != own)
    return nullptr;
  auto* table = static_cast<const ModuleTable*>(sym);
  return table->magic == kModuleTableMagic ? table : nullptr;
}

HMODULE fail(DWORD error) {
  SetLastError(error);
  return nullptr;
}

void addRef(Module& m) {
  if (!m.pinned) ++m.refs;
}

// A module object for a built-in module that has no stand-in file in this host.
Module* builtinWithoutFile(Loader& l, const BuiltinModule& builtin, bool datafile) {
  auto m = std::make_unique<Module>();
  m->kind = datafile ? Kind::Resources : Kind::Builtin;
  m->datafile = datafile;
  m->pinned = builtin.alwaysLoaded && !datafile;
  m->builtin = &builtin;
  m->windowsPath = joinPath(systemFolder(), text::fromUtf8(builtin.name));
  m->resources = resourcesOfBuiltin(builtin);
  m->resourcesRead = true;
  l.modules.push_back(std::move(m));
  return l.modules.back().get();
}

HMODULE load(std::u16string_view fileName, DWORD flags) {
  if (DWORD error = fault::check("LoadLibraryW", fileName)) return fail(error);
  if (fileName.empty()) return fail(ERROR_MOD_NOT_FOUND);
  const bool datafile = flags & LOAD_LIBRARY_AS_DATAFILE;
  const std::u16string name = withDefaultExtension(fileName);
  Loader& l = loader();
  std::lock_guard<std::recursive_mutex> hold(l.lock);

  std::optional<Located> file;
  const BuiltinModule* builtin = nullptr;
  // A module already loaded is shared; a data-file request takes a loaded module before a
  // data-file mapping.
  auto reuse = [&](auto&& same) -> Module* {
    for (int pass = 0; pass < (datafile ? 2 : 1); ++pass)
      for (auto& m : l.modules)
        if (m->datafile == (pass == 1) && same(*m)) return m.get();
    return nullptr;
  };
  if (isBareName(name)) {
    if (Module* m = reuse([&](Module& m) { return text::equalNoCase(baseName(windowsPathOfModule(l, m)), name); })) {
      addRef(*m);
      return m->handle();
    }
    for (const std::u16string& folder : searchFolders(l))
      if ((file = locateFile(joinPath(folder, name)))) break;
    if (!file) builtin = findBuiltin(name);
  } else {
    file = locateFile(name);
  }
  if (!file && !builtin) return fail(ERROR_MOD_NOT_FOUND);

  if (!file) {
    if (Module* m = reuse([&](Module& m) { return m.builtin == builtin && m.linuxPath.empty(); })) {
      addRef(*m);
      return m->handle();
    }
    return builtinWithoutFile(l, *builtin, datafile)->handle();
  }
  if (Module* m = reuse([&](Module& m) {
        return !m.linuxPath.empty() && m.dev == file->st.st_dev && m.ino == file->st.st_ino;
      })) {
    addRef(*m);
    return m->handle();
  }

  auto m = std::make_unique<Module>();
  m->linuxPath = file->linux;
  m->windowsPath = file->windows;
  m->dev = file->st.st_dev;
  m->ino = file->st.st_ino;
  m->datafile = datafile;
  m->runEntry = !(flags & DONT_RESOLVE_DLL_REFERENCES);
  DWORD resourceError = 0;
  m->resources = resourcesOfFile(file->linux, resourceError);
  m->resourcesRead = true;
  m->resourceError = m->resources ? 0 : resourceError;
  if (resourceError == ERROR_BAD_FORMAT) return fail(ERROR_BAD_EXE_FORMAT);
  if (resourceError && resourceError != ERROR_RESOURCE_DATA_NOT_FOUND) return fail(resourceError);

  const FileKind kind = classify(file->linux);
  if (m->resources && m->resources->builtin) {
    m->builtin = m->resources->builtin;
    m->kind = datafile ? Kind::Resources : Kind::Builtin;
    m->pinned = m->builtin->alwaysLoaded && !datafile;
  } else if (kind == FileKind::NotElf) {
    if (!m->resources) return fail(ERROR_BAD_EXE_FORMAT);
    m->kind = Kind::Resources;
  } else if (kind == FileKind::Executable || datafile) {
    m->kind = Kind::Resources;
  } else {
    m->kind = Kind::Code;
    ::dlerror();
    m->dl = ::dlopen(file->linux.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!m->dl) {
      const char* why = ::dlerror();
      return fail(why && std::strstr(why, "cannot open shared object file") ? ERROR_MOD_NOT_FOUND
                                                                            : ERROR_BAD_EXE_FORMAT);
    }
    m->table = exportTableOf(m->dl);
  }

  Module* added = m.get();
  l.modules.push_back(std::move(m));
  if (added->kind == Kind::Code && added->runEntry && added->table && added->table->entryPoint) {
    EntryPoint entry = added->table->entryPoint;
    if (!entry(added->handle(), DLL_PROCESS_ATTACH, nullptr)) {
      entry(added->handle(), DLL_PROCESS_DETACH, nullptr);
      void* dl = added->dl;
      std::erase_if(l.modules, [added](const auto& p) { return p.get() == added; });
      ::dlclose(dl);
      return fail(ERROR_DLL_INIT_FAILED);
    }
  }
  return added->handle();
}

// The module an export lookup searches, with its exports.
const ExportEntry* exportsOf(const Module& m, std::size_t& count) {
  count = 0;
  if (m.datafile) return nullptr;
  if (m.kind == Kind::Code && m.table) {
    count = m.table->count;
    return m.table->entries;
  }
  if (m.kind == Kind::Builtin && m.builtin) {
    count = m.builtin->exports.size();
    return m.builtin->exports.data();
  }
  return nullptr;
}

// A pinned module object for a built-in module every process has (kernel32).
Module* alwaysLoadedBuiltin(Loader& l, const BuiltinModule& builtin) {
  for (auto& m : l.modules)
    if (m->builtin == &builtin && !m->datafile) return m.get();
  std::u16string path = joinPath(systemFolder(), text::fromUtf8(builtin.name));
  if (std::optional<Located> file = locateFile(path)) {
    HMODULE h = load(file->windows, 0);
    Module* m = find(l, h);
    if (m && m->builtin == &builtin) return m;
  }
  return builtinWithoutFile(l, builtin, false);
}

}  // namespace

void setProgramWindowsPath(std::u16string path) {
  Loader& l = loader();
  std::lock_guard<std::recursive_mutex> hold(l.lock);
  l.programPath = std::move(path);
}

std::shared_ptr<const ResourceSet> resourcesOfModule(HMODULE handle, DWORD& error) {
  Loader& l = loader();
  std::lock_guard<std::recursive_mutex> hold(l.lock);
  Module* m = find(l, handle);
  if (!m) {
    error = ERROR_RESOURCE_DATA_NOT_FOUND;
    return nullptr;
  }
  if (!m->resourcesRead) {
    DWORD e = 0;
    m->resources = resourcesOfFile(m->linuxPath, e);
    m->resourceError = m->resources ? 0 : (e == ERROR_BAD_FORMAT ? e : ERROR_RESOURCE_DATA_NOT_FOUND);
    m->resourcesRead = true;
  }
  error = m->resourceError;
  return m->resources;
}

// ---- built-in modules of the platform ----

namespace {

BuiltinVersion kernel32Version() {
  host::Host& h = host::Host::current();
  std::string v = h.fact(host::fact::WindowsVersion) + "." + h.fact(host::fact::WindowsBuild);
  return {v, v, u"Kernel functions"};
}

BuiltinVersion shell32Version() {
  std::string v = host::Host::current().fact(host::fact::ShellVersion);
  return {v, v, u"Shell functions"};
}

RegisterBuiltinModule kernel32Module("kernel32.dll", true, kernel32Version);
RegisterBuiltinModule shell32Module("shell32.dll", false, shell32Version);

KIPO_BUILTIN_EXPORT("kernel32.dll", "LoadLibraryW", LoadLibraryW);
KIPO_BUILTIN_EXPORT("kernel32.dll", "LoadLibraryA", LoadLibraryA);
KIPO_BUILTIN_EXPORT("kernel32.dll", "LoadLibraryExW", LoadLibraryExW);
KIPO_BUILTIN_EXPORT("kernel32.dll", "LoadLibraryExA", LoadLibraryExA);
KIPO_BUILTIN_EXPORT("kernel32.dll", "GetProcAddress", GetProcAddress);
KIPO_BUILTIN_EXPORT("kernel32.dll", "FreeLibrary", FreeLibrary);
KIPO_BUILTIN_EXPORT("kernel32.dll", "GetModuleHandleW", GetModuleHandleW);
KIPO_BUILTIN_EXPORT("kernel32.dll", "GetModuleHandleA", GetModuleHandleA);
KIPO_BUILTIN_EXPORT("kernel32.dll", "GetModuleFileNameW", GetModuleFileNameW);
KIPO_BUILTIN_EXPORT("kernel32.dll", "GetModuleFileNameA", GetModuleFileNameA);
// Looked up by name by the product, so that it runs on systems without them.
KIPO_BUILTIN_EXPORT("kernel32.dll", "GetDiskFreeSpaceExW", GetDiskFreeSpaceExW);

}  // namespace

}  // namespace platform::module

using namespace platform::module;

HMODULE LoadLibraryW(LPCWSTR fileName) {
  if (!fileName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return load(platform::text::view(fileName), 0);
}

HMODULE LoadLibraryA(LPCSTR fileName) {
  if (!fileName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  std::u16string wide = platform::text::ansiToWide(fileName);
  return load(wide, 0);
}

HMODULE LoadLibraryExW(LPCWSTR fileName, HANDLE file, DWORD flags) {
  if (!fileName || file) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return load(platform::text::view(fileName), flags);
}

HMODULE LoadLibraryExA(LPCSTR fileName, HANDLE file, DWORD flags) {
  if (!fileName || file) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  std::u16string wide = platform::text::ansiToWide(fileName);
  return load(wide, flags);
}

FARPROC GetProcAddress(HMODULE module, LPCSTR procName) {
  Loader& l = loader();
  std::lock_guard<std::recursive_mutex> hold(l.lock);
  Module* m = find(l, module);
  if (!m) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  std::size_t count = 0;
  const ExportEntry* entries = exportsOf(*m, count);
  const auto raw = reinterpret_cast<ULONG_PTR>(procName);
  for (std::size_t i = 0; i < count; ++i) {
    const ExportEntry& e = entries[i];
    if (raw >> 16 == 0) {
      if (raw != 0 && e.ordinal == raw) return e.address;
    } else if (e.name && std::strcmp(e.name, procName) == 0) {
      return e.address;
    }
  }
  SetLastError(ERROR_PROC_NOT_FOUND);
  return nullptr;
}

BOOL FreeLibrary(HMODULE module) {
  Loader& l = loader();
  std::lock_guard<std::recursive_mutex> hold(l.lock);
  Module* m = module ? find(l, module) : nullptr;
  if (!m) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return FALSE;
  }
  if (m->pinned || --m->refs > 0) return TRUE;
  if (m->kind == Kind::Code && m->runEntry && m->table && m->table->entryPoint)
    m->table->entryPoint(m->handle(), DLL_PROCESS_DETACH, nullptr);
  void* dl = m->dl;
  std::erase_if(l.modules, [m](const auto& p) { return p.get() == m; });
  if (dl) ::dlclose(dl);
  return TRUE;
}

HMODULE GetModuleHandleW(LPCWSTR moduleName) {
  Loader& l = loader();
  std::lock_guard<std::recursive_mutex> hold(l.lock);
  if (!moduleName) return programModule(l)->handle();
  programModule(l);
  const std::u16string name = withDefaultExtension(platform::text::view(moduleName));
  if (isBareName(name)) {
    for (auto& m : l.modules)
      if (!m->datafile && platform::text::equalNoCase(baseName(windowsPathOfModule(l, *m)), name)) return m->handle();
    if (const BuiltinModule* builtin = findBuiltin(name); builtin && builtin->alwaysLoaded)
      return alwaysLoadedBuiltin(l, *builtin)->handle();
  } else if (std::optional<Located> file = locateFile(name)) {
    for (auto& m : l.modules)
      if (!m->datafile && !m->linuxPath.empty() && m->dev == file->st.st_dev && m->ino == file->st.st_ino)
        return m->handle();
    if (const BuiltinModule* builtin = findBuiltin(baseName(name)); builtin && builtin->alwaysLoaded &&
                                                                    platform::text::equalNoCase(folderOf(file->windows), systemFolder()))
      return alwaysLoadedBuiltin(l, *builtin)->handle();
  }
  SetLastError(ERROR_MOD_NOT_FOUND);
  return nullptr;
}

HMODULE GetModuleHandleA(LPCSTR moduleName) {
  if (!moduleName) return GetModuleHandleW(nullptr);
  std::u16string wide = platform::text::ansiToWide(moduleName);
  return GetModuleHandleW(wide.c_str());
}

namespace {

// The Windows path of a loaded module, or false with the last error set.
bool moduleFileName(HMODULE module, std::u16string& path) {
  Loader& l = loader();
  std::lock_guard<std::recursive_mutex> hold(l.lock);
  Module* m = find(l, module);
  if (!m || m->datafile) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return false;
  }
  path = windowsPathOfModule(l, *m);
  return true;
}

}  // namespace

DWORD GetModuleFileNameW(HMODULE module, LPWSTR fileName, DWORD size) {
  std::u16string path;
  if (!moduleFileName(module, path)) return 0;
  if (!fileName || size == 0) return 0;
  if (path.size() < size) {
    std::copy(path.begin(), path.end(), fileName);
    fileName[path.size()] = 0;
    return static_cast<DWORD>(path.size());
  }
  std::copy(path.begin(), path.begin() + size, fileName);
  return size;
}

DWORD GetModuleFileNameA(HMODULE module, LPSTR fileName, DWORD size) {
  std::u16string path;
  if (!moduleFileName(module, path)) return 0;
  if (!fileName || size == 0) return 0;
  std::string ansi = platform::text::wideToAnsi(path);
  if (ansi.size() < size) {
    std::copy(ansi.begin(), ansi.end(), fileName);
    fileName[ansi.size()] = 0;
    return static_cast<DWORD>(ansi.size());
  }
  std::copy(ansi.begin(), ansi.begin() + size, fileName);
  return size;
}

BOOL DisableThreadLibraryCalls(HMODULE) { return TRUE; }

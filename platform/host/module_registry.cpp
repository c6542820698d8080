// Built-in modules (registration, stand-in files in a new host's system folder, generated
// version blocks), resource sets read from files, and the path adapter of the module loader.
#include "platform/host/module_registry.h"

#include <algorithm>
#include <cassert>
#include <cstdlib>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>

#include "platform/base/text.h"
#include "platform/host/create.h"
#include "platform/host/environment.h"
#include "platform/host/host.h"
#include "platform/host/paths.h"
#include "platform/win32/error.h"

namespace platform::module {

namespace fs = std::filesystem;

namespace {

struct BuiltinTable {
  std::mutex lock;
  std::map<std::u16string, BuiltinModule> modules;  // key: upper-cased file name
  // Exports registered before their module (static initialisation order is unspecified).
  std::map<std::u16string, std::vector<ExportEntry>> pending;
};

BuiltinTable& builtinTable() {
  static BuiltinTable table;
  return table;
}

std::u16string keyOf(std::string_view name) { return text::upcased(text::fromUtf8(name)); }

constexpr WORD kEnglishUs = 0x0409;
constexpr WORD kUnicodeCodePage = 1200;

}  // namespace

RegisterBuiltinModule::RegisterBuiltinModule(const char* name, bool alwaysLoaded, BuiltinVersion (*version)()) {
  BuiltinTable& t = builtinTable();
  std::lock_guard<std::mutex> hold(t.lock);
  BuiltinModule& m = t.modules[keyOf(name)];
  m.name = name;
  m.alwaysLoaded = alwaysLoaded;
  m.version = version;
  auto it = t.pending.find(keyOf(name));
  if (it != t.pending.end()) {
    m.exports.insert(m.exports.end(), it->second.begin(), it->second.end());
    t.pending.erase(it);
  }
}

RegisterBuiltinExport::RegisterBuiltinExport(const char* module, const char* name, WORD ordinal, FARPROC address) {
  BuiltinTable& t = builtinTable();
  std::lock_guard<std::mutex> hold(t.lock);
  auto it = t.modules.find(keyOf(module));
  if (it != t.modules.end())
    it->second.exports.push_back({name, ordinal, address});
  else
    t.pending[keyOf(module)].push_back({name, ordinal, address});
}

const BuiltinModule* findBuiltin(std::u16string_view fileName) {
  BuiltinTable& t = builtinTable();
  std::lock_guard<std::mutex> hold(t.lock);
  auto it = t.modules.find(text::upcased(fileName));
  return it == t.modules.end() ? nullptr : &it->second;
}

std::vector<const BuiltinModule*> builtinModules() {
  BuiltinTable& t = builtinTable();
  std::lock_guard<std::mutex> hold(t.lock);
  std::vector<const BuiltinModule*> all;
  for (const auto& [key, m] : t.modules) all.push_back(&m);
  return all;
}

std::vector<std::uint8_t> builtinStubFile(const BuiltinModule& module) {
  rsrc::Resource marker;
  marker.type = rsrc::Id::of(kBuiltinMarkerType);
  marker.name = rsrc::Id::of(1);
  marker.language = 0;
  for (char16_t c : text::fromUtf8(module.name)) {
    marker.data.push_back(static_cast<std::uint8_t>(c));
    marker.data.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  return rsrc::writeResourceFile({marker});
}

namespace {

// The version block of a built-in module, made from the host facts each time it is read, so
// `kipo-host set shell_version 4.71` changes what the stand-in "shell32.dll" reports.
std::vector<std::uint8_t> builtinVersionBlock(const BuiltinModule& module) {
  BuiltinVersion v = module.version();
  rsrc::FixedInfo fixed;
  if (!rsrc::parseVersionText(v.fileVersion, fixed.fileVersionMS, fixed.fileVersionLS)) return {};
  if (!rsrc::parseVersionText(v.productVersion, fixed.productVersionMS, fixed.productVersionLS)) {
    fixed.productVersionMS = fixed.fileVersionMS;
    fixed.productVersionLS = fixed.fileVersionLS;
  }
  fixed.fileType = 2;  // VFT_DLL
  std::u16string name = text::fromUtf8(module.name);
  return rsrc::writeSimpleVersionInfo(fixed, kEnglishUs, kUnicodeCodePage,
                                      {{u"FileDescription", v.description},
                                       {u"FileVersion", text::fromUtf8(v.fileVersion)},
                                       {u"InternalName", name.substr(0, name.rfind(u'.'))},
                                       {u"OriginalFilename", name},
                                       {u"ProductVersion", text::fromUtf8(v.productVersion)}});
}

// Rebuilds a set with the generated resources of a built-in module after the file's own.
std::shared_ptr<ResourceSet> withBuiltinResources(const ResourceSet& file, const BuiltinModule& module) {
  std::vector<rsrc::Resource> all;
  bool hasVersion = false;
  for (const rsrc::Entry& e : file.entries) {
    rsrc::Resource r{e.type, e.name, e.language, {file.data(e), file.data(e) + e.size}};
    hasVersion |= !e.type.isText() && e.type.number == rsrc::kTypeVersion;
    all.push_back(std::move(r));
  }
  if (!hasVersion && module.version) {
    std::vector<std::uint8_t> block = builtinVersionBlock(module);
    if (!block.empty()) all.push_back({rsrc::Id::of(rsrc::kTypeVersion), rsrc::Id::of(1), kEnglishUs, block});
  }
  auto set = std::make_shared<ResourceSet>();
  set->bytes = rsrc::writeResourceFile(all);
  set->bytes.resize(set->bytes.size() - rsrc::kTrailerSize);
  std::string problem;
  bool ok = rsrc::parseSection(set->bytes.data(), set->bytes.size(), set->entries, problem);
  (void)ok;
  assert(ok);
  set->builtin = &module;
  return set;
}

const BuiltinModule* markedBuiltin(const ResourceSet& set) {
  for (const rsrc::Entry& e : set.entries) {
    if (e.type.text != kBuiltinMarkerType) continue;
    std::u16string name(e.size / 2, u'\0');
    for (std::size_t i = 0; i < name.size(); ++i)
      name[i] = static_cast<char16_t>(set.data(e)[2 * i] | (set.data(e)[2 * i + 1] << 8));
    return findBuiltin(name);
  }
  return nullptr;
}

}  // namespace

namespace {

std::shared_ptr<const ResourceSet> parsed(std::shared_ptr<ResourceSet> set, DWORD& error) {
  std::string problem;
  if (!rsrc::parseSection(set->bytes.data(), set->bytes.size(), set->entries, problem)) {
    error = ERROR_BAD_FORMAT;
    return nullptr;
  }
  if (const BuiltinModule* builtin = markedBuiltin(*set)) return withBuiltinResources(*set, *builtin);
  return set;
}

}  // namespace

std::shared_ptr<const ResourceSet> resourcesOfBuiltin(const BuiltinModule& module) {
  auto set = std::make_shared<ResourceSet>();
  set->bytes = builtinStubFile(module);
  set->bytes.resize(set->bytes.size() - rsrc::kTrailerSize);
  DWORD error = 0;
  return parsed(set, error);
}

std::shared_ptr<const ResourceSet> resourcesOfFile(const fs::path& linuxPath, DWORD& error) {
  auto set = std::make_shared<ResourceSet>();
  std::string problem;
  int err = 0;
  switch (rsrc::readSectionOfFile(linuxPath, set->bytes, problem, &err)) {
    case rsrc::Found::Unreadable:
      error = err ? host::errorFromErrno(err) : ERROR_READ_FAULT;
      return nullptr;
    case rsrc::Found::None:
      error = ERROR_RESOURCE_DATA_NOT_FOUND;
      return nullptr;
    case rsrc::Found::Corrupt:
      error = ERROR_BAD_FORMAT;
      return nullptr;
    case rsrc::Found::Section:
      break;
  }
  return parsed(set, error);
}

WORD preferredLanguage() {
  if (!host::Host::available()) return kEnglishUs;
  std::string locale = host::Host::current().fact(host::fact::UserLocale);
  char* end = nullptr;
  unsigned long lcid = std::strtoul(locale.c_str(), &end, 16);
  if (locale.empty() || *end || lcid == 0 || lcid > 0xFFFF) return kEnglishUs;
  return static_cast<WORD>(lcid);
}

// ---- paths ----

std::u16string windowsPathOf(const fs::path& linuxPath) {
  std::u16string w = host::windowsPathOf(linuxPath.string());
  return w.empty() ? text::fromUtf8(linuxPath.string()) : w;
}

std::u16string currentDirectory() { return host::currentDirectory(); }

std::u16string systemFolder() { return u"C:\\WINDOWS\\system32"; }
std::u16string windowsFolder() { return u"C:\\WINDOWS"; }

// XP's default PATH until the process environment is read here.
std::vector<std::u16string> pathFolders() {
  std::optional<std::u16string> path = host::getEnvironmentVariable(u"PATH");
  if (!path) return {systemFolder(), windowsFolder(), systemFolder() + u"\\Wbem"};
  std::vector<std::u16string> folders;
  std::size_t at = 0;
  while (at <= path->size()) {
    std::size_t end = path->find(u';', at);
    if (end == std::u16string::npos) end = path->size();
    if (end > at) folders.push_back(path->substr(at, end - at));
    at = end + 1;
  }
  return folders;
}

namespace {

// Every new host gets the stand-in files of the built-in modules in its system folder.
host::CreateStep builtinFiles(40, [](host::Host& h) {
  fs::path folder = h.cDrive() / "WINDOWS" / "system32";
  fs::create_directories(folder);
  for (const BuiltinModule* m : builtinModules()) {
    std::vector<std::uint8_t> bytes = builtinStubFile(*m);
    std::ofstream out(folder / m->name, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
});

}  // namespace

}  // namespace platform::module

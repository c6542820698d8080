// The process's environment block: built from the host's facts and registry, or taken from the
// parent, then changed only by this process's own calls.
#include "platform/host/environment.h"

#include <algorithm>
#include <cstdlib>
#include <mutex>

#include "platform/base/text.h"
#include "platform/host/host.h"
#include "platform/win32/registry.h"

namespace platform::host {

namespace {

constexpr const char16_t* kMachineEnvironmentKey =
    u"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";
constexpr const char16_t* kUserEnvironmentKey = u"Environment";
constexpr const char16_t* kUserShellFoldersKey =
    u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";

// Entries "NAME=value", sorted by upper-cased name.
using Entries = std::vector<std::u16string>;

std::u16string_view nameOf(const std::u16string& entry) {
  // A name may begin with '=' (Windows' hidden "=C:" entries), so the separator is searched from 1.
  auto eq = entry.find(u'=', 1);
  return std::u16string_view(entry).substr(0, eq == std::u16string::npos ? entry.size() : eq);
}

std::u16string_view valueOf(const std::u16string& entry) {
  auto eq = entry.find(u'=', 1);
  return eq == std::u16string::npos ? std::u16string_view() : std::u16string_view(entry).substr(eq + 1);
}

Entries::iterator lowerBound(Entries& entries, std::u16string_view name) {
  return std::lower_bound(entries.begin(), entries.end(), name, [](const std::u16string& e, std::u16string_view n) {
    return text::compareNoCase(nameOf(e), n) < 0;
  });
}

const std::u16string* find(const Entries& entries, std::u16string_view name) {
  auto it = lowerBound(const_cast<Entries&>(entries), name);
  if (it != entries.end() && text::equalNoCase(nameOf(*it), name)) return &*it;
  return nullptr;
}

void put(Entries& entries, std::u16string_view name, std::optional<std::u16string_view> value) {
  auto it = lowerBound(entries, name);
  bool exists = it != entries.end() && text::equalNoCase(nameOf(*it), name);
  if (!value) {
    if (exists) entries.erase(it);
    return;
  }
  std::u16string entry(name);
  entry += u'=';
  entry += *value;
  if (exists)
    *it = std::move(entry);  // Windows keeps the case of the name given last
  else
    entries.insert(it, std::move(entry));
}

std::u16string expand(const Entries& entries, std::u16string_view text) {
  std::u16string out;
  std::size_t i = 0;
  while (i < text.size()) {
    if (text[i] != u'%') {
      out += text[i++];
      continue;
    }
    std::size_t close = text.find(u'%', i + 1);
    if (close == std::u16string_view::npos) {
      out += text.substr(i);
      break;
    }
    std::u16string_view name = text.substr(i + 1, close - i - 1);
    const std::u16string* entry = name.empty() ? nullptr : find(entries, name);
    if (entry) {
      out += valueOf(*entry);
      i = close + 1;
    } else {
      // Not a variable: the '%' stays, and the closing one may open the next reference.
      out += text.substr(i, close - i);
      i = close;
    }
  }
  return out;
}

Entries parseBlock(std::u16string_view block) {
  Entries entries;
  std::size_t i = 0;
  while (i < block.size() && block[i] != 0) {
    std::size_t end = block.find(u'\0', i);
    if (end == std::u16string_view::npos) end = block.size();
    std::u16string entry(block.substr(i, end - i));
    if (entry.find(u'=', 1) != std::u16string::npos) put(entries, nameOf(entry), valueOf(entry));
    i = end + 1;
  }
  return entries;
}

// Adds the string values of a registry key in creation order, each REG_EXPAND_SZ expanded
// against the entries as they stand when it comes.
void mergeRegistryValues(Entries& entries, HKEY root, const char16_t* subKey) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, subKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return;
  for (DWORD index = 0;; ++index) {
    char16_t name[REG_MAX_VALUE_NAME + 1];
    DWORD nameLen = REG_MAX_VALUE_NAME + 1;
    DWORD type = 0;
    DWORD bytes = 0;
    LONG rc = RegEnumValueW(key, index, name, &nameLen, nullptr, &type, nullptr, &bytes);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    if (rc != ERROR_SUCCESS) continue;
    if (type != REG_SZ && type != REG_EXPAND_SZ) continue;
    std::u16string data(bytes / 2 + 1, u'\0');
    DWORD size = bytes;
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size) != ERROR_SUCCESS)
      continue;
    data.resize(size / 2);
    while (!data.empty() && data.back() == 0) data.pop_back();
    std::u16string value = type == REG_EXPAND_SZ ? expand(entries, data) : data;
    std::u16string_view n(name, nameLen);
    // A user Path adds to the machine's, as at logon.
    if (root == HKEY_CURRENT_USER && text::equalNoCase(n, u"Path")) {
      if (const std::u16string* machine = find(entries, n)) value = std::u16string(valueOf(*machine)) + u";" + value;
    }
    put(entries, n, std::u16string_view(value));
  }
  RegCloseKey(key);
}

std::optional<std::u16string> registryString(HKEY root, const char16_t* subKey, const char16_t* valueName) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, subKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return std::nullopt;
  DWORD type = 0, bytes = 0;
  std::optional<std::u16string> out;
  if (RegQueryValueExW(key, valueName, nullptr, &type, nullptr, &bytes) == ERROR_SUCCESS &&
      (type == REG_SZ || type == REG_EXPAND_SZ)) {
    std::u16string data(bytes / 2 + 1, u'\0');
    if (RegQueryValueExW(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &bytes) ==
        ERROR_SUCCESS) {
      data.resize(bytes / 2);
      while (!data.empty() && data.back() == 0) data.pop_back();
      out = std::move(data);
    }
  }
  RegCloseKey(key);
  return out;
}

struct State {
  std::mutex mutex;
  bool built = false;
  std::uint64_t epoch = 0;
  Entries entries;
  bool parentBlockConsumed = false;
};

State& state() {
  static State* s = new State;
  return *s;
}

// The entries, built when missing or made for another host. Called with the lock held; builds
// without it, since reading the registry may itself ask for the environment.
Entries& current(std::unique_lock<std::mutex>& lock) {
  State& s = state();
  std::uint64_t epoch = Host::epoch();
  if (s.built && s.epoch == epoch) return s.entries;
  Entries fresh;
  bool fromParent = false;
  if (!s.parentBlockConsumed) {
    s.parentBlockConsumed = true;
    if (const char* encoded = std::getenv(kEnvBlockVariable)) {
      fresh = parseBlock(decodeFromParent(encoded));
      fromParent = true;
    }
  }
  if (!fromParent) {
    lock.unlock();
    fresh = buildHostEnvironment(Host::current());
    lock.lock();
  }
  if (!(s.built && s.epoch == epoch)) {
    s.entries = std::move(fresh);
    s.epoch = epoch;
    s.built = true;
  }
  return s.entries;
}

}  // namespace

std::u16string folders::userProfile(Host& host) { return std::u16string(Profiles) + u"\\" + host.factW(fact::UserName); }

std::vector<std::u16string> buildHostEnvironment(Host& host) {
  Entries e;
  auto set = [&](std::u16string_view name, std::u16string_view value) { put(e, name, value); };
  std::u16string computer = text::upcased(host.factW(fact::ComputerName));
  std::u16string user = host.factW(fact::UserName);
  std::u16string profile = folders::userProfile(host);

  // What the system sets before any registry value.
  set(u"ALLUSERSPROFILE", folders::AllUsers);
  set(u"CommonProgramFiles", folders::CommonFiles);
  set(u"COMPUTERNAME", computer);
  set(u"ProgramFiles", folders::ProgramFiles);
  set(u"SystemDrive", folders::SystemDrive);
  set(u"SystemRoot", folders::Windows);
  mergeRegistryValues(e, HKEY_LOCAL_MACHINE, kMachineEnvironmentKey);

  // The user's logon.
  set(u"USERPROFILE", profile);
  set(u"HOMEDRIVE", folders::SystemDrive);
  set(u"HOMEPATH", profile.substr(2));
  set(u"USERNAME", user);
  set(u"USERDOMAIN", computer);
  set(u"LOGONSERVER", u"\\\\" + computer);
  set(u"SESSIONNAME", u"Console");
  std::u16string appData = profile + u"\\Application Data";
  if (auto shellFolder = registryString(HKEY_CURRENT_USER, kUserShellFoldersKey, u"AppData"))
    if (!shellFolder->empty()) appData = expand(e, *shellFolder);
  set(u"APPDATA", appData);
  mergeRegistryValues(e, HKEY_CURRENT_USER, kUserEnvironmentKey);
  return e;
}

std::optional<std::u16string> getEnvironmentVariable(std::u16string_view name) {
  std::unique_lock lock(state().mutex);
  const Entries& entries = current(lock);
  if (const std::u16string* entry = find(entries, name)) return std::u16string(valueOf(*entry));
  return std::nullopt;
}

bool setEnvironmentVariable(std::u16string_view name, std::optional<std::u16string_view> value) {
  if (name.empty() || name.find(u'=', 1) != std::u16string_view::npos) return false;
  std::unique_lock lock(state().mutex);
  put(current(lock), name, value);
  return true;
}

std::u16string environmentBlock() {
  std::unique_lock lock(state().mutex);
  std::u16string block;
  for (const auto& entry : current(lock)) {
    block += entry;
    block += u'\0';
  }
  if (block.empty()) block += u'\0';
  block += u'\0';
  return block;
}

std::u16string expandEnvironmentStrings(std::u16string_view text) {
  std::unique_lock lock(state().mutex);
  return expand(current(lock), text);
}

void setInheritedEnvironment(std::u16string_view block) {
  Entries entries = parseBlock(block);
  State& s = state();
  std::lock_guard lock(s.mutex);
  s.entries = std::move(entries);
  s.epoch = Host::epoch();
  s.built = true;
  s.parentBlockConsumed = true;
}

void regenerateEnvironment() {
  Entries fresh = buildHostEnvironment(Host::current());
  State& s = state();
  std::lock_guard lock(s.mutex);
  s.entries = std::move(fresh);
  s.epoch = Host::epoch();
  s.built = true;
  s.parentBlockConsumed = true;
}

std::string encodeForChild(std::u16string_view block) {
  std::string utf8 = text::toUtf8(block);
  std::string out;
  out.reserve(utf8.size());
  for (char c : utf8) {
    if (c == '%') out += "%25";
    else if (c == '\0') out += "%00";
    else out += c;
  }
  return out;
}

std::u16string decodeFromParent(std::string_view encoded) {
  std::string utf8;
  for (std::size_t i = 0; i < encoded.size(); ++i) {
    if (encoded.substr(i, 3) == "%25") {
      utf8 += '%';
      i += 2;
    } else if (encoded.substr(i, 3) == "%00") {
      utf8 += '\0';
      i += 2;
    } else {
      utf8 += encoded[i];
    }
  }
  return text::fromUtf8(utf8);
}

}  // namespace platform::host

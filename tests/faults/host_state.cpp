// Registry exports and file trees of a fault run's host and drive, and their differences.
#include "tests/faults/host_state.h"

#include <cstdio>
#include <fstream>
#include <sstream>

#include "platform/base/text.h"
#include "tests/support/test_host.h"

namespace faults {

namespace fs = std::filesystem;

namespace {

std::string upper(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return s;
}

std::string slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// The export's text as UTF-8.
std::string exportText(const std::string& bytes) {
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF && static_cast<unsigned char>(bytes[1]) == 0xFE) {
    std::u16string wide;
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2)
      wide.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) | (static_cast<unsigned char>(bytes[i + 1]) << 8)));
    return platform::text::toUtf8(wide);
  }
  if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) return bytes.substr(3);
  return bytes;
}

// Splits a value line at the "=" after its name; the name as written (quotes kept), "@" for the
// default value.
bool splitValue(const std::string& line, std::string& name, std::string& data) {
  std::size_t end = 0;
  if (line[0] == '@') {
    end = 1;
  } else {
    std::size_t i = 1;
    while (i < line.size() && line[i] != '"') i += line[i] == '\\' ? 2 : 1;
    if (i >= line.size()) return false;
    end = i + 1;
  }
  if (end >= line.size() || line[end] != '=') return false;
  name = upper(line.substr(0, end));
  data = line.substr(end + 1);
  return true;
}

}  // namespace

std::uint64_t hashBytes(const std::string& bytes) {
  std::uint64_t h = 1469598103934665603ull;  // FNV-1a: enough to tell versions of a file apart
  for (unsigned char c : bytes) {
    h ^= c;
    h *= 1099511628211ull;
  }
  return h;
}

std::uint64_t hashFile(const fs::path& file) { return hashBytes(slurp(file)); }

FileTree readTree(const fs::path& root, const std::function<bool(const std::string&)>& skip) {
  FileTree tree;
  std::error_code ec;
  if (!fs::is_directory(root, ec)) return tree;
  for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    std::string rel = fs::relative(it->path(), root, ec).generic_string();
    if (skip && skip(rel)) {
      if (it->is_directory(ec)) it.disable_recursion_pending();
      continue;
    }
    FileEntry e;
    if (it->is_directory(ec)) {
      e.folder = true;
    } else if (it->is_regular_file(ec)) {
      e.size = it->file_size(ec);
      e.hash = hashFile(it->path());
    }
    tree[rel] = e;
  }
  return tree;
}

RegistryState parseExport(const std::string& bytes) {
  RegistryState state;
  std::istringstream in(exportText(bytes));
  std::string key, line, pending;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!pending.empty()) {
      pending += line;
    } else {
      pending = line;
    }
    // A value's data continues on the next line after a trailing backslash.
    if (!pending.empty() && pending.back() == '\\' && pending[0] != '[') {
      pending.pop_back();
      continue;
    }
    std::string whole;
    whole.swap(pending);
    std::size_t first = whole.find_first_not_of(' ');
    if (first == std::string::npos) continue;
    whole = whole.substr(first);
    if (whole[0] == '[' && whole.back() == ']') {
      key = upper(whole.substr(1, whole.size() - 2));
      state[key];
    } else if ((whole[0] == '"' || whole[0] == '@') && !key.empty()) {
      std::string name, data;
      if (splitValue(whole, name, data)) state[key][name] = data;
    }
  }
  return state;
}

RegistryState exportRegistry(const std::vector<std::string>& roots, std::string& error) {
  RegistryState all;
  fs::path dir = kipotest::freshTempDir("export");
  for (const std::string& root : roots) {
    fs::path file = dir / "export.reg";
    std::string err;
    if (kipotest::runTool({"reg", "export", root, file.string()}, nullptr, &err) != 0) {
      error = "reg export " + root + ": " + err;
      all.clear();
      break;
    }
    RegistryState one = parseExport(slurp(file));
    all.insert(one.begin(), one.end());
  }
  std::error_code ec;
  fs::remove_all(dir, ec);
  return all;
}

std::vector<std::string> compareRegistry(const RegistryState& before, const RegistryState& after,
                                         const std::function<bool(const std::string&)>& ignore) {
  std::vector<std::string> out;
  for (const auto& [key, values] : before) {
    if (ignore && ignore(key)) continue;
    auto other = after.find(key);
    if (other == after.end()) {
      out.push_back("- [" + key + "]");
      continue;
    }
    for (const auto& [name, data] : values) {
      if (ignore && ignore(key + "\\" + name)) continue;
      auto v = other->second.find(name);
      if (v == other->second.end())
        out.push_back("- [" + key + "] " + name + "=" + data);
      else if (v->second != data)
        out.push_back("~ [" + key + "] " + name + "=" + data + " -> " + v->second);
    }
    for (const auto& [name, data] : other->second)
      if (!values.count(name) && !(ignore && ignore(key + "\\" + name)))
        out.push_back("+ [" + key + "] " + name + "=" + data);
  }
  for (const auto& [key, values] : after)
    if (!before.count(key) && !(ignore && ignore(key))) out.push_back("+ [" + key + "]");
  return out;
}

std::vector<std::string> compareTrees(const FileTree& before, const FileTree& after,
                                      const std::function<bool(const std::string&)>& ignore) {
  std::vector<std::string> out;
  auto describe = [](const FileEntry& e) {
    if (e.folder) return std::string("folder");
    char buf[64];
    std::snprintf(buf, sizeof buf, "%ju bytes #%016llx", e.size, static_cast<unsigned long long>(e.hash));
    return std::string(buf);
  };
  for (const auto& [path, entry] : before) {
    if (ignore && ignore(path)) continue;
    auto other = after.find(path);
    if (other == after.end())
      out.push_back("- " + path + " (" + describe(entry) + ")");
    else if (other->second.folder != entry.folder || other->second.size != entry.size || other->second.hash != entry.hash)
      out.push_back("~ " + path + " (" + describe(entry) + " -> " + describe(other->second) + ")");
  }
  for (const auto& [path, entry] : after)
    if (!before.count(path) && !(ignore && ignore(path))) out.push_back("+ " + path + " (" + describe(entry) + ")");
  return out;
}

}  // namespace faults

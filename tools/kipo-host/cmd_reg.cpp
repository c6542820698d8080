// kipo-host reg: query, set and delete keys and values of the host's registry, and export or
// import a subtree as a registry editor file. Everything goes through the Win32 registry calls,
// so this tool is one more process of the host with the host user's rights.
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/base/text.h"
#include "platform/host/registry_file.h"
#include "platform/win32/registry.h"
#include "tools/kipo-host/command.h"

namespace kipohost {
namespace {

namespace reg = platform::registry;
using platform::text::fromUtf8;
using platform::text::toUtf8;

struct TypeName {
  DWORD type;
  const char* name;
};
const TypeName kTypes[] = {
    {REG_NONE, "REG_NONE"},
    {REG_SZ, "REG_SZ"},
    {REG_EXPAND_SZ, "REG_EXPAND_SZ"},
    {REG_BINARY, "REG_BINARY"},
    {REG_DWORD, "REG_DWORD"},
    {REG_DWORD_BIG_ENDIAN, "REG_DWORD_BIG_ENDIAN"},
    {REG_LINK, "REG_LINK"},
    {REG_MULTI_SZ, "REG_MULTI_SZ"},
    {REG_RESOURCE_LIST, "REG_RESOURCE_LIST"},
    {REG_FULL_RESOURCE_DESCRIPTOR, "REG_FULL_RESOURCE_DESCRIPTOR"},
    {REG_RESOURCE_REQUIREMENTS_LIST, "REG_RESOURCE_REQUIREMENTS_LIST"},
    {REG_QWORD, "REG_QWORD"},
};

std::string typeName(DWORD type) {
  for (const auto& t : kTypes)
    if (t.type == type) return t.name;
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%x", type);
  return buf;
}

bool parseType(const std::string& s, DWORD& type) {
  for (const auto& t : kTypes)
    if (s == t.name) {
      type = t.type;
      return true;
    }
  std::uint64_t v;
  if (!parseUnsigned(s, 0xFFFFFFFFu, v)) return false;
  type = static_cast<DWORD>(v);
  return true;
}

std::string errorText(LONG rc) {
  switch (rc) {
    case ERROR_FILE_NOT_FOUND: return "not found";
    case ERROR_ACCESS_DENIED: return "access denied";
    case ERROR_KEY_DELETED: return "key deleted";
    case ERROR_BAD_PATHNAME: return "bad key path";
    case ERROR_INVALID_PARAMETER: return "invalid name";
    default: return "error " + std::to_string(rc);
  }
}

std::string wideBytes(const std::u16string& w) { return std::string(reinterpret_cast<const char*>(w.data()), w.size() * 2); }

std::u16string bytesToWide(const std::string& b) {
  std::u16string w(b.size() / 2, u'\0');
  if (!w.empty()) std::memcpy(w.data(), b.data(), w.size() * 2);
  return w;
}

// The bytes `--data` stands for with this type.
bool parseData(DWORD type, const std::string& text, std::string& out, std::string& problem) {
  out.clear();
  if (type == REG_SZ || type == REG_EXPAND_SZ) {
    out = wideBytes(fromUtf8(text) + u'\0');
    return true;
  }
  if (type == REG_MULTI_SZ) {
    // Items are separated by the two characters \0.
    std::u16string all;
    std::size_t pos = 0;
    if (!text.empty())
      for (;;) {
        std::size_t cut = text.find("\\0", pos);
        all += fromUtf8(text.substr(pos, cut == std::string::npos ? std::string::npos : cut - pos)) + u'\0';
        if (cut == std::string::npos) break;
        pos = cut + 2;
      }
    all += u'\0';
    out = wideBytes(all);
    return true;
  }
  if (type == REG_DWORD || type == REG_QWORD) {
    std::uint64_t v;
    if (!parseUnsigned(text, type == REG_DWORD ? 0xFFFFFFFFull : ~0ull, v)) {
      problem = "bad number " + text;
      return false;
    }
    out.assign(reinterpret_cast<const char*>(&v), type == REG_DWORD ? 4 : 8);
    return true;
  }
  // Any other type: hexadecimal bytes, optionally separated by commas or spaces.
  std::string digits;
  for (char c : text)
    if (c != ',' && c != ' ') digits += c;
  if (digits.size() % 2 || digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
    problem = "bad hex data " + text;
    return false;
  }
  for (std::size_t i = 0; i < digits.size(); i += 2) out += static_cast<char>(std::stoi(digits.substr(i, 2), nullptr, 16));
  return true;
}

std::string showData(DWORD type, const std::string& data) {
  if (type == REG_SZ || type == REG_EXPAND_SZ) {
    std::u16string w = bytesToWide(data);
    return toUtf8(w.substr(0, w.find(u'\0')));
  }
  if (type == REG_MULTI_SZ) {
    std::u16string w = bytesToWide(data);
    std::string out;
    std::size_t pos = 0;
    while (pos < w.size() && w[pos]) {
      std::size_t end = w.find(u'\0', pos);
      if (end == std::u16string::npos) end = w.size();
      if (!out.empty()) out += "\\0";
      out += toUtf8(w.substr(pos, end - pos));
      pos = end + 1;
    }
    return out;
  }
  char buf[32];
  if (type == REG_DWORD && data.size() == 4) {
    DWORD v;
    std::memcpy(&v, data.data(), 4);
    std::snprintf(buf, sizeof buf, "0x%x", v);
    return buf;
  }
  if (type == REG_QWORD && data.size() == 8) {
    std::uint64_t v;
    std::memcpy(&v, data.data(), 8);
    std::snprintf(buf, sizeof buf, "0x%" PRIx64, v);
    return buf;
  }
  std::string out;
  for (unsigned char c : data) {
    std::snprintf(buf, sizeof buf, "%02X", c);
    out += buf;
  }
  return out;
}

void printValue(const std::u16string& name, DWORD type, const std::string& data) {
  std::printf("    %s    %s    %s\n", name.empty() ? "(Default)" : toUtf8(name).c_str(), typeName(type).c_str(),
              showData(type, data).c_str());
}

// KEY into its root and subkey path; prints the problem and returns null when unknown.
HKEY splitKey(const std::string& key, std::u16string& sub) {
  std::u16string full = fromUtf8(key);
  std::u16string_view rest;
  HKEY root = reg::rootFromName(full, rest);
  if (root) sub = rest;
  return root;
}

// "NAME", "" or --default for the default value.
std::u16string valueName(const std::string& arg) { return arg == "--default" ? std::u16string() : fromUtf8(arg); }

int query(const std::vector<std::string>& args) {
  if (args.empty() || args.size() > 2) return usageError("reg query KEY [VALUE|--default]");
  std::u16string sub;
  HKEY root = splitKey(args[0], sub);
  if (!root) return usageError("unknown root key in " + args[0]);
  HKEY key;
  if (LONG rc = RegOpenKeyExW(root, sub.c_str(), 0, KEY_READ, &key)) return failure(args[0] + ": " + errorText(rc));
  int status = 0;
  if (args.size() == 2) {
    std::u16string name = valueName(args[1]);
    DWORD type = 0, size = 0;
    LONG rc = RegQueryValueExW(key, name.c_str(), nullptr, &type, nullptr, &size);
    std::string data(size, '\0');
    if (!rc) rc = RegQueryValueExW(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size);
    if (rc) {
      status = failure(args[0] + " " + args[1] + ": " + errorText(rc));
    } else {
      data.resize(size);
      printValue(name, type, data);
    }
  } else {
    std::printf("%s\n", args[0].c_str());
    std::vector<char16_t> name(REG_MAX_VALUE_NAME + 1);
    for (DWORD i = 0;; ++i) {
      DWORD cch = static_cast<DWORD>(name.size()), type = 0, size = 0;
      if (RegEnumValueW(key, i, name.data(), &cch, nullptr, &type, nullptr, &size)) break;
      std::u16string n(name.data(), cch);
      std::string data(size, '\0');
      if (RegQueryValueExW(key, n.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size)) continue;
      data.resize(size);
      printValue(n, type, data);
    }
    for (DWORD i = 0;; ++i) {
      DWORD cch = static_cast<DWORD>(name.size());
      if (RegEnumKeyExW(key, i, name.data(), &cch, nullptr, nullptr, nullptr, nullptr)) break;
      std::printf("%s\\%s\n", args[0].c_str(), toUtf8(std::u16string(name.data(), cch)).c_str());
    }
  }
  RegCloseKey(key);
  return status;
}

int set(const std::vector<std::string>& args) {
  if (args.size() < 2) return usageError("reg set KEY VALUE|--default [--type TYPE] [--data DATA]");
  DWORD type = REG_SZ;
  std::string dataText;
  for (std::size_t i = 2; i < args.size(); i += 2) {
    if (i + 1 >= args.size()) return usageError(args[i] + " needs an argument");
    if (args[i] == "--type") {
      if (!parseType(args[i + 1], type)) return usageError("unknown type " + args[i + 1]);
    } else if (args[i] == "--data") {
      dataText = args[i + 1];
    } else {
      return usageError("unknown option " + args[i]);
    }
  }
  std::string data, problem;
  if (!parseData(type, dataText, data, problem)) return usageError(problem);
  std::u16string sub;
  HKEY root = splitKey(args[0], sub);
  if (!root) return usageError("unknown root key in " + args[0]);
  std::u16string name = valueName(args[1]);
  DWORD rc = SHSetValueW(root, sub.c_str(), name.c_str(), type, data.data(), static_cast<DWORD>(data.size()));
  if (rc) return failure(args[0] + " " + args[1] + ": " + errorText(static_cast<LONG>(rc)));
  return 0;
}

int remove(const std::vector<std::string>& args) {
  if (args.empty() || args.size() > 2) return usageError("reg delete KEY [VALUE|--default]");
  std::u16string sub;
  HKEY root = splitKey(args[0], sub);
  if (!root) return usageError("unknown root key in " + args[0]);
  DWORD rc = args.size() == 2 ? SHDeleteValueW(root, sub.c_str(), valueName(args[1]).c_str()) : SHDeleteKeyW(root, sub.c_str());
  if (rc) return failure(args[0] + (args.size() == 2 ? " " + args[1] : "") + ": " + errorText(static_cast<LONG>(rc)));
  return 0;
}

int exportKey(const std::vector<std::string>& args) {
  if (args.size() != 2) return usageError("reg export KEY FILE");
  std::string bytes;
  if (LONG rc = reg::exportBytes(fromUtf8(args[0]), bytes)) return failure(args[0] + ": " + errorText(rc));
  std::ofstream out(args[1], std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) return failure("cannot write " + args[1]);
  return 0;
}

int importFile(const std::vector<std::string>& args) {
  if (args.empty() || args.size() > 2 || (args.size() == 2 && args[1] != "--progress"))
    return usageError("reg import FILE [--progress]");
  std::ifstream in(args[0], std::ios::binary);
  if (!in) return failure("cannot read " + args[0]);
  std::stringstream buf;
  buf << in.rdbuf();
  bool progress = args.size() == 2;
  auto result = reg::importBytes(buf.str(), [&](const std::u16string& key) {
    if (!progress) return;
    std::printf("committed [%s]\n", toUtf8(key).c_str());
    std::fflush(stdout);
  });
  if (!result.ok) return failure(args[0] + ": " + result.error);
  return 0;
}

int run(const std::vector<std::string>& args) {
  if (args.empty()) return usageError("reg needs query, set, delete, export or import");
  std::vector<std::string> rest(args.begin() + 1, args.end());
  if (args[0] == "query") return query(rest);
  if (args[0] == "set") return set(rest);
  if (args[0] == "delete") return remove(rest);
  if (args[0] == "export") return exportKey(rest);
  if (args[0] == "import") return importFile(rest);
  return usageError("unknown reg command " + args[0]);
}

RegisterCommand regCommand(
    {"reg",
     "reg query KEY [VALUE|--default]  show a key (values, subkeys) or one value\n"
     "reg set KEY VALUE|--default [--type REG_SZ|REG_EXPAND_SZ|REG_MULTI_SZ|REG_DWORD|REG_QWORD|\n"
     "        REG_BINARY|REG_NONE|NUMBER] [--data DATA]\n"
     "                                  set a value (MULTI_SZ items split by \\0; numbers decimal\n"
     "                                  or 0x; other types hex bytes); creates the key\n"
     "reg delete KEY [VALUE|--default] delete a value, or a key with all its subkeys\n"
     "reg export KEY FILE              write the subtree as a registry editor file (UTF-16)\n"
     "reg import FILE [--progress]     apply a registry editor file (UTF-16, UTF-8 or ANSI)\n"
     "   KEY is HKEY_CURRENT_USER\\... or HKCU\\..., HKLM, HKCR, HKU, HKCC",
     true, run});

}  // namespace
}  // namespace kipohost

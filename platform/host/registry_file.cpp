// Registry editor text files: the writer and the checking reader.
#include "platform/host/registry_file.h"

#include <cstring>
#include <optional>
#include <vector>

#include "platform/base/codepage.h"
#include "platform/base/text.h"
#include "platform/win32/registry.h"

namespace platform::registry {

namespace {

constexpr std::u16string_view kHeader5 = u"Windows Registry Editor Version 5.00";
constexpr std::u16string_view kHeader4 = u"REGEDIT4";
// The editor wraps hex data before this column.
constexpr std::size_t kWrapColumn = 77;
// Refuse values larger than this from a file (a 1 MB value is already far past what Windows advises).
constexpr std::size_t kMaxValueBytes = 64u << 20;

struct RootEntry {
  std::u16string_view full, shortName;
  HKEY key;
};

const RootEntry* roots() {
  static const RootEntry table[] = {
      {u"HKEY_CLASSES_ROOT", u"HKCR", HKEY_CLASSES_ROOT},   {u"HKEY_CURRENT_USER", u"HKCU", HKEY_CURRENT_USER},
      {u"HKEY_LOCAL_MACHINE", u"HKLM", HKEY_LOCAL_MACHINE}, {u"HKEY_USERS", u"HKU", HKEY_USERS},
      {u"HKEY_CURRENT_CONFIG", u"HKCC", HKEY_CURRENT_CONFIG}, {u"", u"", nullptr},
  };
  return table;
}

// ---- export ----

void appendQuoted(std::u16string& out, std::u16string_view s) {
  out += u'"';
  for (char16_t c : s) {
    if (c == u'"' || c == u'\\') out += u'\\';
    if (c == u'\r') {
      out += u"\\r";
      continue;
    }
    if (c == u'\n') {
      out += u"\\n";
      continue;
    }
    out += c;
  }
  out += u'"';
}

// REG_SZ data the quoted form gives back exactly: whole UTF-16 units, one NUL at the end and
// no other, and no line breaks.
bool plainText(std::string_view data, std::u16string& textOut) {
  if (data.size() < 2 || data.size() % 2) return false;
  std::u16string w(data.size() / 2, u'\0');
  std::memcpy(w.data(), data.data(), data.size());
  if (w.back() != 0) return false;
  w.pop_back();
  for (char16_t c : w)
    if (c == 0 || c == u'\r' || c == u'\n') return false;
  textOut = std::move(w);
  return true;
}

void appendHex(std::u16string& out, std::size_t lineStart, std::string_view data) {
  static const char16_t digits[] = u"0123456789abcdef";
  for (std::size_t i = 0; i < data.size(); ++i) {
    unsigned char b = static_cast<unsigned char>(data[i]);
    out += digits[b >> 4];
    out += digits[b & 15];
    if (i + 1 < data.size()) {
      out += u',';
      if (out.size() - lineStart >= kWrapColumn) {
        out += u"\\\r\n  ";
        lineStart = out.size() - 2;
      }
    }
  }
}

void appendValue(std::u16string& out, std::u16string_view name, DWORD type, std::string_view data) {
  std::size_t lineStart = out.size();
  if (name.empty()) out += u'@';
  else appendQuoted(out, name);
  out += u'=';
  std::u16string s;
  if (type == REG_SZ && plainText(data, s)) {
    appendQuoted(out, s);
  } else if (type == REG_DWORD && data.size() == 4) {
    DWORD v;
    std::memcpy(&v, data.data(), 4);
    char buf[16];
    std::snprintf(buf, sizeof buf, "dword:%08x", v);
    out += text::fromUtf8(buf);
  } else {
    if (type == REG_BINARY) {
      out += u"hex:";
    } else {
      char buf[24];
      std::snprintf(buf, sizeof buf, "hex(%x):", type);
      out += text::fromUtf8(buf);
    }
    appendHex(out, lineStart, data);
  }
  out += u"\r\n";
}

// `level` counts the keys walked from the exported one: the store keeps hives within
// REG_MAX_KEY_DEPTH levels (one more from HKEY_USERS), so a walk deeper than that is going round
// in circles (a damaged store) and stops with an error instead of exhausting the stack.
LONG exportKey(HKEY key, const std::u16string& path, std::u16string& out, std::size_t level = 0) {
  if (level > REG_MAX_KEY_DEPTH + 1) return ERROR_INVALID_DATA;
  out += u"\r\n[" + path + u"]\r\n";
  DWORD subkeys = 0, maxSub = 0, values = 0, maxName = 0, maxData = 0;
  if (LONG rc = RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, &maxSub, nullptr, &values, &maxName,
                                 &maxData, nullptr, nullptr))
    return rc;
  std::vector<char16_t> name(maxName + 1);
  std::string data(maxData, '\0');
  for (DWORD i = 0;; ++i) {
    DWORD cch = static_cast<DWORD>(name.size()), cb = static_cast<DWORD>(data.size()), type = 0;
    LONG rc = RegEnumValueW(key, i, name.data(), &cch, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &cb);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    if (rc == ERROR_MORE_DATA) {  // changed under us: grow and retry
      name.resize(REG_MAX_VALUE_NAME + 1);
      data.resize(std::max<std::size_t>(data.size() * 2, cb));
      --i;
      continue;
    }
    if (rc) return rc;
    appendValue(out, std::u16string_view(name.data(), cch), type, std::string_view(data.data(), cb));
  }
  std::vector<std::u16string> children;
  std::vector<char16_t> sub(REG_MAX_KEY_NAME + 1);
  for (DWORD i = 0;; ++i) {
    DWORD cch = static_cast<DWORD>(sub.size());
    LONG rc = RegEnumKeyExW(key, i, sub.data(), &cch, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    if (rc) return rc;
    // A name with a NUL in it would reopen this key (see above): the store is damaged.
    if (std::char_traits<char16_t>::length(sub.data()) != cch) return ERROR_INVALID_DATA;
    children.emplace_back(sub.data(), cch);
  }
  for (const auto& child : children) {
    HKEY h;
    if (LONG rc = RegOpenKeyExW(key, child.c_str(), 0, KEY_READ, &h)) {
      if (rc == ERROR_FILE_NOT_FOUND) continue;  // deleted meanwhile
      return rc;
    }
    LONG rc = exportKey(h, path + u"\\" + child, out, level + 1);
    RegCloseKey(h);
    if (rc) return rc;
  }
  return ERROR_SUCCESS;
}

// ---- import ----

enum class OpKind { Key, DeleteKey, Value, DeleteValue };

struct Op {
  OpKind kind;
  std::size_t line;
  HKEY root = nullptr;
  std::u16string sub, path;  // key
  std::u16string name;       // value
  DWORD type = 0;
  std::string data;
};

struct ParseError {
  std::size_t line;
  std::string what;
};

[[noreturn]] void fail(std::size_t line, const std::string& what) { throw ParseError{line, what}; }

bool validUtf8(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size()) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    std::size_t n = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : 9;
    if (n == 9 || i + n >= s.size()) return false;
    for (std::size_t k = 1; k <= n; ++k)
      if ((static_cast<unsigned char>(s[i + k]) >> 6) != 2) return false;
    i += n + 1;
  }
  return true;
}

std::u16string decode(std::string_view bytes) {
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF && static_cast<unsigned char>(bytes[1]) == 0xFE) {
    bytes.remove_prefix(2);
    if (bytes.size() % 2) fail(1, "UTF-16 text with an odd number of bytes");
    std::u16string w(bytes.size() / 2, u'\0');
    if (!w.empty()) std::memcpy(w.data(), bytes.data(), bytes.size());
    return w;
  }
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFE && static_cast<unsigned char>(bytes[1]) == 0xFF)
    fail(1, "big-endian UTF-16 is not a registry editor format");
  if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
  return validUtf8(bytes) ? text::fromUtf8(bytes) : text::ansiToWide(bytes);
}

bool isSpace(char16_t c) { return c == u' ' || c == u'\t'; }

std::u16string_view trim(std::u16string_view s) {
  while (!s.empty() && isSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && (isSpace(s.back()) || s.back() == u'\r')) s.remove_suffix(1);
  return s;
}

int hexDigit(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

// A hexadecimal number of 1..8 digits.
std::optional<DWORD> hexNumber(std::u16string_view s) {
  if (s.empty() || s.size() > 8) return std::nullopt;
  DWORD v = 0;
  for (char16_t c : s) {
    int d = hexDigit(c);
    if (d < 0) return std::nullopt;
    v = v * 16 + static_cast<DWORD>(d);
  }
  return v;
}

// A quoted string starting at s[pos] == '"'; pos ends after the closing quote.
std::u16string quoted(std::u16string_view s, std::size_t& pos, std::size_t line) {
  std::u16string out;
  ++pos;
  while (pos < s.size()) {
    char16_t c = s[pos++];
    if (c == u'"') return out;
    if (c == u'\\') {
      if (pos >= s.size()) break;
      char16_t e = s[pos++];
      if (e == u'"' || e == u'\\') out += e;
      else if (e == u'n') out += u'\n';
      else if (e == u'r') out += u'\r';
      else fail(line, "unknown escape \\" + text::toUtf8(std::u16string_view(&e, 1)) + " in a string");
      continue;
    }
    out += c;
  }
  fail(line, "string without its closing quote");
}

std::string hexBytes(std::u16string_view s, std::size_t line) {
  std::string out;
  s = trim(s);
  if (s.empty()) return out;
  std::size_t pos = 0;
  for (;;) {
    std::size_t comma = s.find(u',', pos);
    std::u16string_view tok = trim(s.substr(pos, comma == std::u16string_view::npos ? std::u16string_view::npos : comma - pos));
    auto v = hexNumber(tok);
    if (!v || tok.size() > 2) fail(line, "bad hex byte '" + text::toUtf8(tok) + "'");
    if (out.size() >= kMaxValueBytes) fail(line, "value data too large");
    out += static_cast<char>(*v);
    if (comma == std::u16string_view::npos) break;
    pos = comma + 1;
    if (trim(s.substr(pos)).empty()) break;  // a trailing comma
  }
  return out;
}

std::string wideBytes(std::u16string_view w) { return std::string(reinterpret_cast<const char*>(w.data()), w.size() * 2); }

// A key line's path: a known root and valid key names.
void parseKeyPath(std::u16string_view path, std::size_t line, Op& op) {
  std::u16string_view rest;
  op.root = rootFromName(path, rest);
  if (!op.root) fail(line, "unknown root key in [" + text::toUtf8(path) + "]");
  if (!rest.empty() && rest.back() == u'\\') rest.remove_suffix(1);
  // A NUL would cut the name short for every call that takes it, and reopen its parent.
  if (rest.find(u'\0') != std::u16string_view::npos) fail(line, "key name holding a NUL character");
  std::size_t pos = 0, levels = 0;
  while (!rest.empty() && pos <= rest.size()) {
    std::size_t cut = rest.find(u'\\', pos);
    std::size_t len = (cut == std::u16string_view::npos ? rest.size() : cut) - pos;
    if (len == 0) fail(line, "empty key name in [" + text::toUtf8(path) + "]");
    if (len > REG_MAX_KEY_NAME) fail(line, "key name longer than 255 characters");
    if (++levels > REG_MAX_KEY_DEPTH) fail(line, "key path deeper than 512 levels");
    if (cut == std::u16string_view::npos) break;
    pos = cut + 1;
  }
  op.sub = rest;
  op.path = rootName(op.root) + (rest.empty() ? u"" : u"\\") + std::u16string(rest);
}

void parseValueLine(std::u16string_view s, std::size_t line, bool ansiStrings, Op& op) {
  std::size_t pos = 0;
  if (s[0] == u'@') {
    pos = 1;
  } else {
    op.name = quoted(s, pos, line);
    if (op.name.size() > REG_MAX_VALUE_NAME) fail(line, "value name longer than 16383 characters");
    if (op.name.find(u'\0') != std::u16string::npos) fail(line, "value name holding a NUL character");
  }
  while (pos < s.size() && isSpace(s[pos])) ++pos;
  if (pos >= s.size() || s[pos] != u'=') fail(line, "expected = after the value name");
  std::u16string_view v = trim(s.substr(pos + 1));
  op.kind = OpKind::Value;
  if (v == u"-") {
    op.kind = OpKind::DeleteValue;
  } else if (!v.empty() && v[0] == u'"') {
    std::size_t p = 0;
    std::u16string str = quoted(v, p, line);
    if (!trim(v.substr(p)).empty()) fail(line, "text after the closing quote");
    str += u'\0';
    op.type = REG_SZ;
    op.data = wideBytes(str);
  } else if (v.substr(0, 6) == u"dword:") {
    auto n = hexNumber(trim(v.substr(6)));
    if (!n) fail(line, "bad dword '" + text::toUtf8(v.substr(6)) + "'");
    op.type = REG_DWORD;
    op.data.assign(reinterpret_cast<const char*>(&*n), 4);
  } else if (v.substr(0, 4) == u"hex:") {
    op.type = REG_BINARY;
    op.data = hexBytes(v.substr(4), line);
  } else if (v.substr(0, 4) == u"hex(") {
    std::size_t close = v.find(u')');
    auto t = close == std::u16string_view::npos ? std::nullopt : hexNumber(v.substr(4, close - 4));
    if (!t || close + 1 >= v.size() || v[close + 1] != u':') fail(line, "bad hex(type): prefix");
    op.type = *t;
    op.data = hexBytes(v.substr(close + 2), line);
    // The older format keeps expandable and multi-string data in the ANSI code page.
    if (ansiStrings && (op.type == REG_EXPAND_SZ || op.type == REG_MULTI_SZ)) op.data = wideBytes(text::ansiToWide(op.data));
  } else {
    fail(line, "unrecognised value data '" + text::toUtf8(v.substr(0, 20)) + "'");
  }
}

std::vector<Op> parse(std::string_view bytes) {
  std::u16string textAll = decode(bytes);
  std::u16string_view all = textAll;
  std::vector<Op> ops;
  std::size_t lineNo = 0, pos = 0;
  bool header = false, haveKey = false, regedit4 = false;
  while (pos < all.size()) {
    std::size_t nl = all.find(u'\n', pos);
    std::u16string_view raw = all.substr(pos, nl == std::u16string_view::npos ? std::u16string_view::npos : nl - pos);
    pos = nl == std::u16string_view::npos ? all.size() : nl + 1;
    std::size_t startLine = ++lineNo;
    std::u16string logical(trim(raw));
    // A line ending in a backslash goes on in the next line (hex data is wrapped this way).
    while (!logical.empty() && logical.back() == u'\\' && logical[0] != u'[' && pos < all.size()) {
      logical.pop_back();
      std::size_t n2 = all.find(u'\n', pos);
      std::u16string_view next = all.substr(pos, n2 == std::u16string_view::npos ? std::u16string_view::npos : n2 - pos);
      pos = n2 == std::u16string_view::npos ? all.size() : n2 + 1;
      ++lineNo;
      logical += trim(next);
    }
    std::u16string_view s = logical;
    if (!header) {
      if (s.empty()) continue;
      if (s != kHeader5 && s != kHeader4) fail(startLine, "not a registry file (no \"Windows Registry Editor Version 5.00\" header)");
      header = true;
      regedit4 = s == kHeader4;
      continue;
    }
    if (s.empty() || s[0] == u';') continue;
    Op op{};
    op.line = startLine;
    if (s[0] == u'[') {
      if (s.back() != u']') fail(startLine, "key line without its closing ]");
      std::u16string_view inner = s.substr(1, s.size() - 2);
      op.kind = OpKind::Key;
      if (!inner.empty() && inner[0] == u'-') {
        op.kind = OpKind::DeleteKey;
        inner.remove_prefix(1);
      }
      parseKeyPath(inner, startLine, op);
      haveKey = op.kind == OpKind::Key;
      if (op.kind == OpKind::Key || op.kind == OpKind::DeleteKey) ops.push_back(std::move(op));
      continue;
    }
    if (s[0] != u'"' && s[0] != u'@') fail(startLine, "expected [KEY], \"name\"= or @=");
    if (!haveKey) fail(startLine, "value outside a key");
    parseValueLine(s, startLine, regedit4, op);
    ops.push_back(std::move(op));
  }
  if (!header) fail(lineNo ? lineNo : 1, "empty file");
  return ops;
}

std::string errorText(LONG rc) {
  switch (rc) {
    case ERROR_ACCESS_DENIED: return "access denied";
    case ERROR_FILE_NOT_FOUND: return "not found";
    case ERROR_KEY_DELETED: return "key deleted";
    case ERROR_INVALID_PARAMETER: return "invalid key or value name";
    default: return "error " + std::to_string(rc);
  }
}

}  // namespace

HKEY rootFromName(std::u16string_view path, std::u16string_view& rest) {
  for (const RootEntry* r = roots(); r->key; ++r) {
    for (std::u16string_view name : {r->full, r->shortName}) {
      if (path.size() < name.size() || !text::equalNoCase(path.substr(0, name.size()), name)) continue;
      if (path.size() == name.size()) {
        rest = {};
        return r->key;
      }
      if (path[name.size()] == u'\\') {
        rest = path.substr(name.size() + 1);
        return r->key;
      }
    }
  }
  return nullptr;
}

std::u16string rootName(HKEY root) {
  for (const RootEntry* r = roots(); r->key; ++r)
    if (r->key == root) return std::u16string(r->full);
  return {};
}

LONG exportText(std::u16string_view path, std::u16string& out) {
  out.clear();
  std::u16string_view rest;
  HKEY root = rootFromName(path, rest);
  if (!root) return ERROR_INVALID_PARAMETER;
  if (!rest.empty() && rest.back() == u'\\') rest.remove_suffix(1);
  HKEY key;
  std::u16string sub(rest);
  if (LONG rc = RegOpenKeyExW(root, sub.c_str(), 0, KEY_READ, &key)) return rc;
  std::u16string body = std::u16string(kHeader5) + u"\r\n";
  LONG rc = exportKey(key, rootName(root) + (sub.empty() ? u"" : u"\\") + sub, body);
  RegCloseKey(key);
  if (rc) return rc;
  body += u"\r\n";
  out = std::move(body);
  return ERROR_SUCCESS;
}

LONG exportBytes(std::u16string_view path, std::string& out) {
  std::u16string t;
  out.clear();
  if (LONG rc = exportText(path, t)) return rc;
  out = "\xFF\xFE" + wideBytes(t);
  return ERROR_SUCCESS;
}

ImportResult importBytes(std::string_view bytes, const std::function<void(const std::u16string&)>& committed) {
  ImportResult result;
  std::vector<Op> ops;
  try {
    ops = parse(bytes);
  } catch (const ParseError& e) {
    result.error = "line " + std::to_string(e.line) + ": " + e.what;
    return result;
  }
  std::size_t i = 0;
  while (i < ops.size()) {
    // One section: a key line with its values, or a deletion, in one transaction.
    const Op& head = ops[i];
    std::size_t end = i + 1;
    if (head.kind == OpKind::Key)
      while (end < ops.size() && (ops[end].kind == OpKind::Value || ops[end].kind == OpKind::DeleteValue)) ++end;
    LONG rc = ERROR_SUCCESS;
    std::size_t failedLine = head.line;
    if (head.kind == OpKind::DeleteKey) {
      rc = static_cast<LONG>(SHDeleteKeyW(head.root, head.sub.c_str()));
      if (rc == ERROR_FILE_NOT_FOUND) rc = ERROR_SUCCESS;
    } else {
      std::vector<ValueChange> changes;
      for (std::size_t k = i + 1; k < end; ++k)
        changes.push_back({ops[k].name, ops[k].kind == OpKind::DeleteValue, ops[k].type, ops[k].data});
      int failed = -1;
      rc = writeKeySection(head.root, head.sub, changes, &failed);
      if (failed >= 0) failedLine = ops[i + 1 + static_cast<std::size_t>(failed)].line;
      if (rc == ERROR_SUCCESS) result.values += changes.size();
    }
    if (rc != ERROR_SUCCESS) {
      result.error = "line " + std::to_string(failedLine) + ": cannot write " + text::toUtf8(head.path) + ": " + errorText(rc);
      return result;
    }
    ++result.sections;
    if (committed) committed(head.path);
    i = end;
  }
  result.ok = true;
  return result;
}

}  // namespace platform::registry

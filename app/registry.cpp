// CRegistry: typed values, subtree copies and the key dump over the Win32 registry calls.
#include "app/registry.h"

#include <cstring>
#include <string>
#include <string_view>

#include "app/key_dump.h"
#include "app/file_util.h"
#include "app/log.h"
#include "app/messages.h"
#include "app/program_texts.h"
#include "lang/ids.h"
#include "platform/afx/file.h"
#include "platform/base/text.h"
#include "platform/com/bstr.h"
#include "platform/com/safearray.h"
#include "platform/win32/file.h"

namespace {

struct RootName {
  const char16_t* name;
  HKEY key;
};

// Looked up in this order; a path's root is the first name it begins with.
const RootName kRoots[] = {
    {u"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},   {u"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
    {u"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE}, {u"HKEY_USERS", HKEY_USERS},
    {u"HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG},
};

const RootName* rootOf(std::u16string_view path) {
  for (const auto& r : kRoots)
    if (path.starts_with(r.name)) return &r;
  return nullptr;
}

constexpr DWORD kValueNameChars = 16384;  // value names up to 16,383 characters and the NUL
constexpr DWORD kKeyNameChars = 260;
using dump::kCloseKey;
using dump::kCloseValue;
using dump::kOpenKey;
using dump::kOpenValue;

// The path upper-cased without trailing backslashes, for comparing key identities.
std::u16string keyIdentity(const CString& path) {
  std::u16string s = platform::text::upcased(path.view());
  while (!s.empty() && s.back() == u'\\') s.pop_back();
  return s;
}

// The same key, or one below the other (on backslash boundaries, without case).
bool sameOrNested(const CString& a, const CString& b) {
  std::u16string x = keyIdentity(a), y = keyIdentity(b);
  if (x.size() > y.size()) std::swap(x, y);
  return y.starts_with(x) && (y.size() == x.size() || y[x.size()] == u'\\');
}

// Calls fn(name, type, data, size) for each value of `key` in index order. True only when every
// value was read and taken and the enumeration ended with ERROR_NO_MORE_ITEMS.
template <class F>
bool forEachValue(HKEY key, F fn) {
  std::u16string name(kValueNameChars, u'\0');
  std::vector<BYTE> data(256);
  for (DWORD i = 0;; ++i) {
    DWORD nameLength, type, size;
    LONG rc;
    for (int attempt = 0;; ++attempt) {
      nameLength = kValueNameChars;
      type = 0;
      size = static_cast<DWORD>(data.size());
      rc = RegEnumValueW(key, i, name.data(), &nameLength, nullptr, &type, data.data(), &size);
      if (rc != ERROR_MORE_DATA || attempt == 3) break;
      data.resize(std::max<std::size_t>(size, data.size() * 2));
    }
    if (rc == ERROR_NO_MORE_ITEMS) return true;
    if (rc != ERROR_SUCCESS) return false;
    if (!fn(name.c_str(), std::u16string_view(name.data(), nameLength), type, data.data(), size)) return false;
  }
}

// Calls fn(name) for each direct subkey in index order; true only when every call succeeded and
// the enumeration ended with ERROR_NO_MORE_ITEMS.
template <class F>
bool forEachSubkey(HKEY key, F fn) {
  char16_t name[kKeyNameChars];
  for (DWORD i = 0;; ++i) {
    DWORD length = kKeyNameChars;
    LONG rc = RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_NO_MORE_ITEMS) return true;
    if (rc != ERROR_SUCCESS) return false;
    if (!fn(CString(std::u16string_view(name, length)))) return false;
  }
}

bool copyTreeBetween(const CString& source, const CString& destination) {
  HKEY handle = nullptr;
  if (RegOpenKeyExW(CRegistry::rootKeyFromName(source), CRegistry::subkeyFromName(source), 0, CRegistry::kWriteAccess,
                    &handle) != ERROR_SUCCESS)
    return false;
  HKEY root = CRegistry::rootKeyFromName(destination);
  CString sub = CRegistry::subkeyFromName(destination);
  DWORD rc = SHDeleteKeyW(root, sub);
  if ((rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND) || !CRegistry(destination, true, true).isOpen()) {
    RegCloseKey(handle);
    return false;
  }
  bool ok = forEachValue(handle, [&](LPCWSTR name, std::u16string_view, DWORD type, const BYTE* data, DWORD size) {
    return SHSetValueW(root, sub, name, type, size ? data : nullptr, size) == ERROR_SUCCESS;
  });
  ok = ok && forEachSubkey(handle, [&](const CString& name) {
    return copyTreeBetween(joinPath(source, name), joinPath(destination, name));
  });
  RegCloseKey(handle);
  return ok;
}

// ---- The key dump's byte layout -----------------------------------------------------------------

class DumpWriter : public dump::Writer {
 public:
  // One key record with its values and subkeys. False when a key could not be opened or read:
  // the record then stops where it broke, without its "}".
  bool record(const CString& path) {
    token(kOpenKey);
    text(path.view());
    HKEY handle = nullptr;
    HKEY root = CRegistry::rootKeyFromName(path);
    if (!root || RegOpenKeyExW(root, CRegistry::subkeyFromName(path), 0, CRegistry::kWriteAccess, &handle) !=
                     ERROR_SUCCESS)
      return false;
    bool ok = forEachValue(handle, [&](LPCWSTR, std::u16string_view name, DWORD type, const BYTE* data, DWORD size) {
      token(kOpenValue);
      text(name);
      number(size);
      number(type);
      bytes(data, size);
      token(kCloseValue);
      return true;
    });
    ok = ok && forEachSubkey(handle, [&](const CString& name) {
      return name.IsEmpty() || record(joinPath(path, name));
    });
    RegCloseKey(handle);
    if (ok) token(kCloseKey);
    return ok;
  }
};

bool readWholeFile(CFile& file, std::string& bytes) {
  try {
    ULONGLONG length = file.GetLength();
    if (length > 0x7fffffffu) return false;
    bytes.resize(static_cast<std::size_t>(length));
    std::size_t done = 0;
    while (done < bytes.size()) {
      UINT n = file.Read(bytes.data() + done, static_cast<UINT>(bytes.size() - done));
      if (n == 0) break;
      done += n;
    }
    bytes.resize(done);
    return true;
  } catch (CException* e) {
    e->Delete();
    return false;
  }
}

// The folder part of a file path exists as a folder (a path without one names the current folder).
bool folderOfFileExists(const CString& file) {
  int cut = file.ReverseFind(u'\\');
  if (cut < 0) return true;
  CString folder = file.Left(cut);
  if (folder.IsEmpty() || folder.view().back() == u':') folder = file.Left(cut + 1);
  DWORD attributes = GetFileAttributesW(folder);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Text up to its first NUL, never past the data.
CString textOfData(const std::vector<BYTE>& data) {
  std::u16string s(data.size() / 2, u'\0');
  std::memcpy(s.data(), data.data(), s.size() * 2);
  std::size_t nul = s.find(u'\0');
  if (nul != std::u16string::npos) s.resize(nul);
  return CString(std::move(s));
}

}  // namespace

// ---- Construction and opening ---------------------------------------------------------------------

CRegistry::CRegistry() = default;

CRegistry::CRegistry(const CString& path, bool create, bool writable) { open(path, create, writable); }

CRegistry::~CRegistry() { close(); }

void CRegistry::close() {
  if (m_key) RegCloseKey(m_key);
  m_key = nullptr;
}

HKEY CRegistry::rootKeyFromName(const CString& path) {
  const RootName* r = rootOf(path.view());
  return r ? r->key : nullptr;
}

CString CRegistry::subkeyFromName(const CString& path) {
  const RootName* r = rootOf(path.view());
  if (!r) return CString();
  std::size_t skip = std::char_traits<char16_t>::length(r->name) + 1;
  return skip >= path.view().size() ? CString() : CString(path.view().substr(skip));
}

bool CRegistry::open(const CString& path, bool create, bool writable) {
  close();
  m_path = path;
  HKEY root = rootKeyFromName(path);
  if (!root) return false;
  CString sub = subkeyFromName(path);
  HKEY key = nullptr;
  LONG rc;
  if (create) {
    if (!writable) return false;
    rc = RegCreateKeyExW(root, sub, 0, nullptr, REG_OPTION_NON_VOLATILE, kWriteAccess, nullptr, &key, nullptr);
  } else {
    rc = RegOpenKeyExW(root, sub, 0, writable ? kWriteAccess : kReadAccess, &key);
  }
  if (rc != ERROR_SUCCESS) return false;
  m_key = key;
  return true;
}

// ---- Reading values -------------------------------------------------------------------------------

CRegistry::Read CRegistry::readValue(LPCWSTR name, DWORD& type, std::vector<BYTE>& data) {
  data.clear();
  if (!m_key) return Read::Failed;
  DWORD size = 0;
  if (RegQueryValueExW(m_key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return Read::Failed;
  if (size == 0) return Read::Empty;
  data.assign(size, 0);
  if (RegQueryValueExW(m_key, name, nullptr, &type, data.data(), &size) != ERROR_SUCCESS) {
    data.clear();
    return Read::Failed;
  }
  data.resize(size);
  return Read::Data;
}

bool CRegistry::getString(LPCWSTR name, CString& value) {
  DWORD type = 0;
  std::vector<BYTE> data;
  value.Empty();
  switch (readValue(name, type, data)) {
    case Read::Failed:
      return false;
    case Read::Empty:
      return true;
    case Read::Data:
      break;
  }
  if (type != REG_SZ && type != REG_EXPAND_SZ) return false;
  value = textOfData(data);
  return true;
}

bool CRegistry::getBool(LPCWSTR name, bool& value) {
  CString text;
  if (!getString(name, text)) return false;
  text.MakeLower();
  if (text.view() == u"true") {
    value = true;
    return true;
  }
  if (text.view() == u"false") {
    value = false;
    return true;
  }
  return false;
}

bool CRegistry::getDword(LPCWSTR name, DWORD& value) {
  DWORD type = 0;
  std::vector<BYTE> data;
  if (readValue(name, type, data) != Read::Data || type != REG_DWORD || data.size() != 4) return false;
  std::memcpy(&value, data.data(), 4);
  return true;
}

bool CRegistry::getDword(LPCWSTR name, LONG& value) {
  DWORD number = 0;
  if (!getDword(name, number)) return false;
  value = static_cast<LONG>(number);
  return true;
}

bool CRegistry::getUInt64(LPCWSTR name, ULONGLONG& value) {
  DWORD type = 0;
  std::vector<BYTE> data;
  if (readValue(name, type, data) != Read::Data || type != REG_BINARY || data.size() != 8) return false;
  value = 0;
  for (int i = 7; i >= 0; --i) value = value << 8 | data[static_cast<std::size_t>(i)];
  return true;
}

bool CRegistry::getBinary(LPCWSTR name, BYTE* buffer, DWORD& size) {
  DWORD type = 0;
  std::vector<BYTE> data;
  if (readValue(name, type, data) == Read::Failed) return false;
  if (data.size() > size) {
    size = static_cast<DWORD>(data.size());
    return false;
  }
  if (!data.empty()) std::memcpy(buffer, data.data(), data.size());
  size = static_cast<DWORD>(data.size());
  return true;
}

bool CRegistry::getBytes(LPCWSTR name, std::vector<BYTE>& bytes) {
  DWORD type = 0;
  bytes.clear();
  return readValue(name, type, bytes) != Read::Failed;
}

bool CRegistry::getValueSize(LPCWSTR name, DWORD& size) {
  if (!m_key) return false;
  DWORD got = 0;
  if (RegQueryValueExW(m_key, name, nullptr, nullptr, nullptr, &got) != ERROR_SUCCESS) return false;
  size = got;
  return true;
}

bool CRegistry::getValueType(LPCWSTR name, DWORD& type) {
  if (!m_key) return false;
  DWORD got = 0, size = 0;
  if (RegQueryValueExW(m_key, name, nullptr, &got, nullptr, &size) != ERROR_SUCCESS) return false;
  type = got;
  return true;
}

bool CRegistry::valueExists(LPCWSTR name) {
  DWORD size = 0;
  return getValueSize(name, size);
}

bool CRegistry::getVariant(LPCWSTR name, DWORD registryType, VARTYPE variantType, VARIANT* value) {
  if (!value) return false;
  switch (variantType) {
    case VT_I4:
    case VT_UI4: {
      DWORD number = 0;
      if (!getDword(name, number)) return false;
      value->vt = variantType;
      value->ulVal = number;
      return true;
    }
    case VT_BSTR: {
      if (registryType == REG_SZ) {
        CString text;
        if (!getString(name, text)) return false;
        value->vt = VT_BSTR;
        value->bstrVal = SysAllocStringLen(text, static_cast<UINT>(text.GetLength()));
        return true;
      }
      if (registryType != REG_BINARY) return false;
      DWORD type = 0;
      std::vector<BYTE> data;
      Read r = readValue(name, type, data);
      if (r == Read::Failed) return false;
      value->vt = VT_BSTR;
      if (r == Read::Empty) {
        value->bstrVal = nullptr;
      } else {
        CString text = textOfData(data);
        value->bstrVal = SysAllocStringLen(text, static_cast<UINT>(text.GetLength()));
      }
      return true;
    }
    case VT_ARRAY | VT_UI1: {
      if (registryType != REG_BINARY) return false;
      std::vector<BYTE> bytes;
      return getBytes(name, bytes) && copyBytesIntoVariant(bytes, value);
    }
    default:
      return false;
  }
}

bool CRegistry::copyBytesIntoVariant(const std::vector<BYTE>& bytes, VARIANT* value) {
  SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size()));
  if (!array) return false;
  if (!bytes.empty()) {
    void* data = nullptr;
    if (FAILED(SafeArrayAccessData(array, &data))) {
      SafeArrayDestroy(array);
      return false;
    }
    std::memcpy(data, bytes.data(), bytes.size());
    SafeArrayUnaccessData(array);
  }
  value->vt = VT_ARRAY | VT_UI1;
  value->parray = array;
  return true;
}

bool CRegistry::copyVariantIntoBytes(const VARIANT& value, std::vector<BYTE>& bytes) {
  bytes.clear();
  if (value.vt != (VT_ARRAY | VT_UI1) || !value.parray || SafeArrayGetDim(value.parray) != 1) return false;
  LONG lower = 0, upper = -1;
  if (FAILED(SafeArrayGetLBound(value.parray, 1, &lower)) || FAILED(SafeArrayGetUBound(value.parray, 1, &upper)))
    return false;
  if (upper < lower) return true;
  void* data = nullptr;
  if (FAILED(SafeArrayAccessData(value.parray, &data))) return false;
  const auto* p = static_cast<const BYTE*>(data);
  bytes.assign(p, p + (static_cast<std::size_t>(upper) - static_cast<std::size_t>(lower) + 1));
  SafeArrayUnaccessData(value.parray);
  return true;
}

// ---- Writing values -------------------------------------------------------------------------------

bool CRegistry::setValue(LPCWSTR name, const void* data, DWORD size, DWORD registryType) {
  HKEY root = rootKeyFromName(m_path);
  if (!root) return false;
  return SHSetValueW(root, subkeyFromName(m_path), name, registryType, data, size) == ERROR_SUCCESS;
}

bool CRegistry::setString(LPCWSTR name, const CString& value, DWORD registryType) {
  return setValue(name, value.GetString(), static_cast<DWORD>(value.GetLength()) * 2, registryType);
}

bool CRegistry::setText(LPCWSTR name, LPCWSTR value) { return setString(name, CString(value), REG_SZ); }

bool CRegistry::setBool(LPCWSTR name, bool value) { return setString(name, value ? u"true" : u"false", REG_SZ); }

bool CRegistry::setDword(LPCWSTR name, DWORD value) {
  BYTE data[4] = {static_cast<BYTE>(value), static_cast<BYTE>(value >> 8), static_cast<BYTE>(value >> 16),
                  static_cast<BYTE>(value >> 24)};
  return setValue(name, data, 4, REG_DWORD);
}

bool CRegistry::setUInt64(LPCWSTR name, ULONGLONG value) {
  BYTE data[8];
  for (int i = 0; i < 8; ++i) data[i] = static_cast<BYTE>(value >> (8 * i));
  return setValue(name, data, 8, REG_BINARY);
}

bool CRegistry::setBinary(LPCWSTR name, const void* data, DWORD size) { return setValue(name, data, size, REG_BINARY); }

bool CRegistry::setVariant(LPCWSTR name, DWORD registryType, const VARIANT& value) {
  switch (value.vt) {
    case VT_I4:
    case VT_UI4:
      return setDword(name, value.ulVal);
    case VT_BSTR: {
      CString text(value.bstrVal, value.bstrVal ? static_cast<int>(SysStringLen(value.bstrVal)) : 0);
      if (registryType == REG_SZ) return setString(name, text, REG_SZ);
      // The text with its terminating NUL.
      if (registryType == REG_BINARY)
        return setValue(name, text.GetString(), static_cast<DWORD>(text.GetLength()) * 2 + 2, REG_BINARY);
      return false;
    }
    case VT_ARRAY | VT_UI1: {
      std::vector<BYTE> bytes;
      if (registryType != REG_BINARY || !copyVariantIntoBytes(value, bytes)) return false;
      return setValue(name, bytes.empty() ? nullptr : bytes.data(), static_cast<DWORD>(bytes.size()), REG_BINARY);
    }
    default:
      return false;
  }
}

// ---- Deleting, copying, renaming ------------------------------------------------------------------

bool CRegistry::deleteValue(LPCWSTR name) {
  HKEY root = rootKeyFromName(m_path);
  if (!root) return false;
  DWORD rc = SHDeleteValueW(root, subkeyFromName(m_path), name);
  return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND;
}

bool CRegistry::deleteKey() {
  close();
  HKEY root = rootKeyFromName(m_path);
  CString sub = subkeyFromName(m_path);
  if (!root || sub.IsEmpty()) return false;
  return SHDeleteKeyW(root, sub) == ERROR_SUCCESS;
}

bool CRegistry::copyValueTo(LPCWSTR name, const CString& destination) {
  HKEY root = rootKeyFromName(destination);
  if (!root) return false;
  DWORD type = 0;
  std::vector<BYTE> data;
  if (readValue(name, type, data) == Read::Failed) return false;
  return SHSetValueW(root, subkeyFromName(destination), name, type, data.empty() ? nullptr : data.data(),
                     static_cast<DWORD>(data.size())) == ERROR_SUCCESS;
}

bool CRegistry::copyTreeTo(const CString& destination) { return copyTree(m_path, destination); }

bool CRegistry::copyTree(const CString& source, const CString& destination) {
  if (!rootKeyFromName(source) || !rootKeyFromName(destination)) return false;
  // Replacing a root, or copying a tree into itself or over its own ancestor, would destroy the
  // source before it has been copied.
  if (subkeyFromName(destination).IsEmpty() || sameOrNested(source, destination)) return false;
  return copyTreeBetween(source, destination);
}

bool CRegistry::renameKey(const CString& newName) {
  int cut = m_path.ReverseFind(u'\\');
  CString folder = cut < 0 ? CString() : m_path.Left(cut);
  if (!copyTree(m_path, joinPath(folder, newName))) return false;
  {
    CRegistry own;
    if (!own.open(m_path, false, true)) return false;
  }
  return deleteKey();
}

// ---- Enumeration ----------------------------------------------------------------------------------

bool CRegistry::getSubkeyNames(CStringList& names, bool fullPaths) {
  if (!m_key) return false;
  names.RemoveAll();
  return forEachSubkey(m_key, [&](const CString& name) {
    if (name.IsEmpty()) return false;
    names.AddTail(fullPaths ? joinPath(m_path, name) : name);
    return true;
  });
}

int CRegistry::getSubkeyCount() {
  CStringList names;
  return getSubkeyNames(names, false) ? static_cast<int>(names.GetCount()) : -1;
}

bool CRegistry::getValueNames(CStringList& names) {
  if (!m_key) return false;
  std::u16string name(kValueNameChars, u'\0');
  for (DWORD i = 0;; ++i) {
    DWORD length = kValueNameChars;
    LONG rc = RegEnumValueW(m_key, i, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_NO_MORE_ITEMS) return true;
    if (rc != ERROR_SUCCESS) return false;
    names.AddTail(CString(std::u16string_view(name.data(), length)));
  }
}

int CRegistry::getValueCount() {
  CStringList names;
  return getValueNames(names) ? static_cast<int>(names.GetCount()) : -1;
}

// ---- Key dump -------------------------------------------------------------------------------------

bool CRegistry::saveToFile(const CString& file) {
  if (!folderOfFileExists(file)) {
    writeLog(u"Directory %s does not exist.", file);
    return false;
  }
  CFile out;
  if (!out.Open(file, CFile::modeCreate | CFile::modeWrite | CFile::shareExclusive | CFile::typeBinary)) {
    writeLog(u"Unable to create file %s.", file);
    return false;
  }
  DumpWriter dump;
  dump.number(static_cast<DWORD>(kDumpVersion));
  bool complete = dump.record(m_path);
  try {
    out.Write(dump.data().data(), static_cast<UINT>(dump.data().size()));
    out.Flush();
    out.Close();
  } catch (CException* e) {
    e->Delete();
    out.Abort();
    return false;
  }
  return complete;
}

bool CRegistry::loadFromFile(const CString& file) {
  close();
  m_path.Empty();
  m_cutShort = false;
  std::string bytes;
  {
    CFile in;
    if (!in.Open(file, CFile::modeRead | CFile::shareExclusive | CFile::typeBinary)) return false;
    bool read = readWholeFile(in, bytes);
    in.Abort();
    if (!read) {
      showMessageById(IDS_DUMP_FILE_UNREADABLE, file, g_applicationName);
      return false;
    }
  }
  return loadFromBuffer(bytes, file);
}

bool CRegistry::loadFromBuffer(std::string_view bytes, const CString& source, const RecordFilter& accept) {
  close();
  m_path.Empty();
  m_cutShort = false;
  dump::Reader reader(bytes);
  DWORD version = 0;
  if (!reader.number(version)) {
    showMessageById(IDS_DUMP_FILE_UNREADABLE, source, g_applicationName);
    return false;
  }
  m_formatVersion = static_cast<LONG>(version);
  if (m_formatVersion > kDumpVersion) {
    showMessageById(IDS_DUMP_FILE_NEWER, source, g_applicationName);
    return false;
  }
  std::vector<dump::Record> records;
  bool cutShort = false;
  bool sound = reader.records(records, cutShort);
  for (std::size_t i = 0; sound && i < records.size(); ++i) sound = rootKeyFromName(CString(records[i].path)) != nullptr;
  if (!sound) {
    showMessageById(IDS_DUMP_FILE_UNREADABLE, source, g_applicationName);
    return false;
  }
  m_cutShort = cutShort;
  // The whole dump is sound: write it, one transaction per key. A key that cannot be created
  // ends the restore (the load still succeeds: the dump was read); a value that cannot be
  // written is left out of its key's write and the rest are written.
  CString last;
  for (const dump::Record& record : records) {
    CString path(record.path);
    if (accept && !accept(path)) continue;
    if (!writeRecord(path, record.values)) {
      m_path = path;
      return true;
    }
    last = path;
  }
  if (!last.IsEmpty()) open(last, false, true);
  return true;
}

bool CRegistry::writeRecord(const CString& path, const std::vector<dump::Value>& values) {
  std::vector<platform::registry::ValueChange> changes;
  changes.reserve(values.size());
  for (const dump::Value& v : values) changes.push_back({v.name, false, v.type, std::string(v.data)});
  // The stand-in's whole-key write, the one registry call outside Win32 that product code makes:
  // a key and all its values in one registry transaction, where a RegSetValueExW per value is a
  // transaction each and makes a large pref file load ten times slower.
  const HKEY root = rootKeyFromName(path);
  const CString sub = subkeyFromName(path);
  for (;;) {
    int failed = -1;
    LONG rc = platform::registry::writeKeySection(root, sub.view(), changes, &failed);
    if (rc == ERROR_SUCCESS) return true;
    if (failed < 0 || static_cast<std::size_t>(failed) >= changes.size()) return false;
    changes.erase(changes.begin() + failed);
  }
}

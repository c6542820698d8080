// CRegistry: the program's one way into the Windows registry. A key is named by its full textual
// path, beginning with a root name ("HKEY_CURRENT_USER\Software\..."); an object opens that key,
// reads typed values through its handle, and writes values by path (creating the key when
// missing). It also copies, renames and deletes whole subtrees, and dumps a subtree to a binary
// file and back: the key dump, the format of the pref file that carries the user's preferences
// from host to host.
//
// Key dump (little-endian): a 32-bit version (100), then key records. A string is a 32-bit byte
// count and that many bytes of UTF-16 without a NUL; a token is one UTF-16 character.
//   key record:   "{" string(full path) value-records child-key-records "}"
//   value record: "[" string(name) u32(size) u32(type) data[size] "]"
// Records carry absolute paths, so a dump always restores the keys it was taken from.
#pragma once

#include <functional>
#include <string_view>
#include <vector>

#include "platform/afx/coll.h"
#include "platform/afx/cstring.h"
#include "platform/base/types.h"
#include "platform/com/variant.h"
#include "platform/win32/registry.h"

namespace dump {
struct Value;
}

class CRegistry {
 public:
  // Access of a key opened for reading, and of a "writable" key (KEY_READ | KEY_WRITE).
  static constexpr REGSAM kReadAccess = KEY_READ;
  static constexpr REGSAM kWriteAccess = KEY_READ | KEY_WRITE;
  // The format version the key dump is written with, and the newest one it reads.
  static constexpr LONG kDumpVersion = 100;

  CRegistry();
  CRegistry(const CString& path, bool create = false, bool writable = false);
  virtual ~CRegistry();
  CRegistry(const CRegistry&) = delete;
  CRegistry& operator=(const CRegistry&) = delete;

  // Closes any key held, keeps the path, then creates the key (only when writable) or opens it.
  bool open(const CString& path, bool create, bool writable);
  bool isOpen() const { return m_key != nullptr; }
  CString getPath() const { return m_path; }
  // The version field of the last dump read by loadFromFile.
  LONG getFormatVersion() const { return m_formatVersion; }

  // Reads through the open handle; all fail without one.
  bool getString(LPCWSTR name, CString& value);
  bool getBool(LPCWSTR name, bool& value);
  bool getDword(LPCWSTR name, DWORD& value);
  bool getDword(LPCWSTR name, LONG& value);
  bool getUInt64(LPCWSTR name, ULONGLONG& value);
  // `size` is the buffer's size on entry and the data's size on return; a buffer smaller than the
  // data fails and receives nothing.
  bool getBinary(LPCWSTR name, BYTE* buffer, DWORD& size);
  bool getBytes(LPCWSTR name, std::vector<BYTE>& bytes);
  bool getValueSize(LPCWSTR name, DWORD& size);
  bool getValueType(LPCWSTR name, DWORD& type);
  bool valueExists(LPCWSTR name);
  bool getVariant(LPCWSTR name, DWORD registryType, VARTYPE variantType, VARIANT* value);

  // Writes by path with SHSetValueW: the key is created when missing; no open handle needed.
  bool setValue(LPCWSTR name, const void* data, DWORD size, DWORD registryType);
  bool setString(LPCWSTR name, const CString& value, DWORD registryType = REG_SZ);
  bool setText(LPCWSTR name, LPCWSTR value);
  bool setBool(LPCWSTR name, bool value);
  bool setDword(LPCWSTR name, DWORD value);
  bool setUInt64(LPCWSTR name, ULONGLONG value);
  bool setBinary(LPCWSTR name, const void* data, DWORD size);
  bool setVariant(LPCWSTR name, DWORD registryType, const VARIANT& value);

  // True also when the value does not exist.
  bool deleteValue(LPCWSTR name);
  // Closes the handle and deletes the key with its whole subtree; the object keeps its path.
  // A root key itself is never deleted.
  bool deleteKey();
  // Copies one value (type and data) into the key at `destination`, created when missing.
  bool copyValueTo(LPCWSTR name, const CString& destination);
  bool copyTreeTo(const CString& destination);
  // Replaces the destination subtree with a copy of the source subtree. Refused when the two are
  // the same key or one lies below the other. True only when every value and subkey was copied.
  static bool copyTree(const CString& source, const CString& destination);
  // Copies the subtree to a sibling named `newName`, then deletes the original; the original is
  // kept whenever the copy is incomplete. The object keeps its old path.
  bool renameKey(const CString& newName);

  // Direct subkeys in index order (full paths with `fullPaths`); the list is cleared first.
  bool getSubkeyNames(CStringList& names, bool fullPaths);
  int getSubkeyCount();
  // Appends the value names in index order.
  bool getValueNames(CStringList& names);
  int getValueCount();

  // Dumps the subtree at this object's path; false when the file cannot be written or the dump
  // is incomplete (a key that could not be read ends it, as the partial file shows).
  bool saveToFile(const CString& file);
  // Reads a whole dump and only then writes it into the registry. A dump that ends where a record
  // could begin or end (a writer that broke off) restores what it holds; a damaged one (cut inside
  // a record, a length past its end, an unexpected token) writes nothing and shows message 678.
  bool loadFromFile(const CString& file);
  // The same for a dump already read into memory; `source` names it in the messages. Records
  // whose path `accept` refuses are neither written nor held (the caller says why).
  using RecordFilter = std::function<bool(const CString& path)>;
  bool loadFromBuffer(std::string_view bytes, const CString& source, const RecordFilter& accept = {});
  // The last dump loaded ended with keys still open: its writer broke off, or the file was cut on
  // a record boundary. What it held was restored; what followed is lost.
  bool wasCutShort() const { return m_cutShort; }

  // The predefined key a path begins with (root names are case-sensitive), or null.
  static HKEY rootKeyFromName(const CString& path);
  // The path after its root name and the one character that follows it.
  static CString subkeyFromName(const CString& path);

  static bool copyBytesIntoVariant(const std::vector<BYTE>& bytes, VARIANT* value);
  static bool copyVariantIntoBytes(const VARIANT& value, std::vector<BYTE>& bytes);

 private:
  void close();
  // The value's size, then its type and data read into a buffer of exactly that size.
  enum class Read { Failed, Empty, Data };
  Read readValue(LPCWSTR name, DWORD& type, std::vector<BYTE>& data);
  // Creates the key and writes its values in one transaction; a value the registry refuses is
  // left out. False when the key itself cannot be written.
  static bool writeRecord(const CString& path, const std::vector<dump::Value>& values);

  HKEY m_key = nullptr;
  CString m_path;
  LONG m_formatVersion = 0;
  bool m_cutShort = false;
};

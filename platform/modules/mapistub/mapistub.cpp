// "mapistub.dll": FGetComponentPath answers the path an install recorded for a component and
// qualifier, when the file is there; it installs nothing.
#include "platform/modules/mapistub/mapistub.h"

#include <cstring>
#include <string>

#include "platform/base/codepage.h"
#include "platform/base/text.h"
#include "platform/win32/file.h"
#include "platform/win32/module.h"
#include "platform/win32/registry.h"

namespace {

namespace text = platform::text;

// (component, qualifier or null, buffer, its size in bytes, install) -> TRUE with the path in
// the buffer (8-bit, NUL-terminated) when the component is recorded, its file exists and the
// path fits; FALSE and the buffer untouched otherwise.
BOOL FGetComponentPath(LPCSTR component, LPSTR qualifier, LPSTR dllPath, DWORD cbDllPath, BOOL) {
  if (!component || !*component || !dllPath || cbDllPath == 0) return FALSE;
  const std::u16string key = std::u16string(kComponentPathsKey) + u"\\" + text::ansiToWide(component);
  const std::u16string name = qualifier ? text::ansiToWide(qualifier) : std::u16string();
  HKEY k = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return FALSE;
  WCHAR value[MAX_PATH + 1] = {};
  DWORD type = 0, size = sizeof(value) - sizeof(WCHAR);
  const LONG e = RegQueryValueExW(k, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
  RegCloseKey(k);
  if (e != ERROR_SUCCESS || type != REG_SZ) return FALSE;
  std::u16string path(value, std::min<std::size_t>(size / sizeof(WCHAR), MAX_PATH));
  if (auto nul = path.find(u'\0'); nul != std::u16string::npos) path.resize(nul);
  if (path.empty()) return FALSE;
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return FALSE;
  const std::string narrow = text::wideToAnsi(path);
  if (narrow.size() + 1 > cbDllPath) return FALSE;
  std::memcpy(dllPath, narrow.c_str(), narrow.size() + 1);
  return TRUE;
}

}  // namespace

KIPO_EXPORT_TABLE(nullptr, KIPO_EXPORT(kFGetComponentPathName, 0, FGetComponentPath));

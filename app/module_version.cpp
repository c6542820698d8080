// CModuleVersion and the version comparisons; see module_version.h.
#include "app/module_version.h"

#include <array>
#include <cstring>

#include "app/file_util.h"
#include "app/folder_lookup.h"
#include "app/program_texts.h"

CModuleVersion::CModuleVersion() { std::memset(static_cast<VS_FIXEDFILEINFO*>(this), 0, sizeof(VS_FIXEDFILEINFO)); }

bool CModuleVersion::getFileVersionInfo(const CString& path) {
  std::memset(static_cast<VS_FIXEDFILEINFO*>(this), 0, sizeof(VS_FIXEDFILEINFO));
  m_block.clear();
  DWORD handle = 0;
  const DWORD size = GetFileVersionInfoSizeW(path.GetString(), &handle);
  if (size == 0) return false;
  m_block.assign(size, 0);
  if (!GetFileVersionInfoW(path.GetString(), handle, size, m_block.data())) {
    m_block.clear();
    return false;
  }
  LPVOID value = nullptr;
  UINT length = 0;
  if (VerQueryValueW(m_block.data(), u"\\", &value, &length) && value && length >= sizeof(VS_FIXEDFILEINFO))
    std::memcpy(static_cast<VS_FIXEDFILEINFO*>(this), value, sizeof(VS_FIXEDFILEINFO));
  if (VerQueryValueW(m_block.data(), u"\\VarFileInfo\\Translation", &value, &length) && value && length >= 4) {
    WORD pair[2];
    std::memcpy(pair, value, sizeof pair);
    m_language = pair[0];
    m_codePage = pair[1];
  }
  return dwSignature == kFixedFileInfoSignature;
}

namespace {

using Version = std::array<int, 4>;

bool readVersion(const CString& path, Version& v) {
  return getFileVersion(path, v[0], v[1], v[2], v[3]);
}

bool readOwnVersion(Version& v) { return getOwnExeVersion(v[0], v[1], v[2], v[3]); }

bool isGreater(const Version& given, const Version& own) {
  for (std::size_t i = 0; i < given.size(); ++i)
    if (given[i] != own[i]) return given[i] > own[i];
  return false;
}

}  // namespace

bool getFileVersion(const CString& path, int& a, int& b, int& c, int& d) {
  CModuleVersion version;
  if (!version.getFileVersionInfo(path)) return false;
  a = HIWORD(version.dwFileVersionMS);
  b = LOWORD(version.dwFileVersionMS);
  c = HIWORD(version.dwFileVersionLS);
  d = LOWORD(version.dwFileVersionLS);
  return true;
}

bool getOwnExeVersion(int& a, int& b, int& c, int& d) {
  CString folder = CFolderLookup::getProgramFolder();
  if (folder.IsEmpty()) return false;
  return getFileVersion(joinPath(folder, CString(kProductName) + u".exe"), a, b, c, d);
}

bool isNewerThanOwn(int a, int b, int c, int d, bool& newer) {
  Version own{};
  if (!readOwnVersion(own)) return false;
  newer = isGreater(Version{a, b, c, d}, own);
  return true;
}

bool isFileNewerThanOwn(const CString& path, bool& newer) {
  Version v{};
  if (!readVersion(path, v)) return false;
  return isNewerThanOwn(v[0], v[1], v[2], v[3], newer);
}

bool differsFromOwn(int a, int b, int c, int d, bool& differs) {
  Version own{};
  if (!readOwnVersion(own)) return false;
  differs = Version{a, b, c, d} != own;
  return true;
}

bool fileDiffersFromOwn(const CString& path, bool& differs) {
  Version v{};
  if (!readVersion(path, v)) return false;
  return differsFromOwn(v[0], v[1], v[2], v[3], differs);
}

CString getVersionText() {
  Version own{};
  if (!readOwnVersion(own)) return CString();
  CString text;
  text.Format(u"%s %d.%d.%d.%d", kProductName, own[0], own[1], own[2], own[3]);
  return text;
}

// The autostart entry and the copy of the program onto a drive.
#include "app/installer.h"

#include "app/file_operation.h"
#include "app/file_util.h"
#include "app/folder_lookup.h"
#include "app/log.h"
#include "app/messages.h"
#include "app/program_texts.h"
#include "app/registry.h"
#include "lang/ids.h"
#include "platform/win32/version.h"
#include "platform/win32/win32.h"

#include <array>
#include <cstring>
#include <vector>

namespace {

constexpr const char16_t* kRunKey = u"HKEY_CURRENT_USER\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr const char16_t* kAutostartFormat = u"\"%s\\%s\\%s.exe\" /launch";
constexpr const char16_t* kProgramCopyName = u"QX2.sav";
constexpr const char16_t* kSynchronizedComputersFolder = u"Synchronized Computers";
constexpr const char16_t* kLogNoFileVersion = u"{INSTALLER}: copyAppToPath failed to determine file version of %s";

using Version = std::array<WORD, 4>;

CString programFileName() { return CString(kProductName) + u".exe"; }

// The file version of a program file as four 16-bit parts, most significant first.
bool readFileVersion(const CString& path, Version& version) {
  DWORD handle = 0;
  DWORD size = GetFileVersionInfoSizeW(path.GetString(), &handle);
  if (size == 0) return false;
  std::vector<BYTE> block(size);
  if (!GetFileVersionInfoW(path.GetString(), 0, size, block.data())) return false;
  void* value = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(block.data(), u"\\", &value, &length) || !value || length < sizeof(VS_FIXEDFILEINFO))
    return false;
  VS_FIXEDFILEINFO info;
  std::memcpy(&info, value, sizeof info);
  if (info.dwSignature != VS_FFI_SIGNATURE) return false;
  version = {HIWORD(info.dwFileVersionMS), LOWORD(info.dwFileVersionMS), HIWORD(info.dwFileVersionLS),
             LOWORD(info.dwFileVersionLS)};
  return true;
}

// The running program's version: that of the product's program file in the program's folder.
bool readOwnVersion(Version& version) {
  return readFileVersion(joinPath(CFolderLookup::getProgramFolder(), programFileName()), version);
}

}  // namespace

bool CInstaller::addAutostart() {
  CString product(kProductName);
  CString command;
  command.Format(kAutostartFormat, CFolderLookup::getCompanyAppDataPath(), product, product);
  // Written with its terminating NUL, as programs that read the Run key expect of a REG_SZ.
  CRegistry run{CString(kRunKey)};
  return run.setValue(product.GetString(), command.GetString(), static_cast<DWORD>(command.GetLength() + 1) * 2,
                      REG_SZ);
}

bool CInstaller::removeAutostart() {
  CRegistry run(CString(kRunKey), false, true);
  if (!run.isOpen()) return true;  // no Run key, so no value
  return run.deleteValue(kProductName);
}

bool CInstaller::hasAutostart() {
  CRegistry run{CString(kRunKey)};
  CString command;
  return run.getString(kProductName, command);
}

bool CInstaller::isAppInstalledAt(const CString& folder) { return fileExists(joinPath(folder, programFileName())); }

bool copyAppToPath(const CString& folder, bool takeComputers, bool checkVersion) {
  const CString target = joinPath(folder, programFileName());
  bool copy = true;
  if (checkVersion && fileExists(target)) {
    Version theirs{};
    Version ours{};
    if (!readFileVersion(target, theirs) || !readOwnVersion(ours)) {
      writeLog(kLogNoFileVersion, target);
    } else if (theirs > ours) {  // part by part, most significant first
      copy = false;
    }
  }
  if (copy) {
    const CString source = joinPath(CFolderLookup::getProgramFolder(), CString(kProgramCopyName));
    if (!copyFileOp(source, target)) {
      showMessageById(IDS_APP_NOT_COPIED, source, target);
      return false;
    }
  }
  if (!takeComputers) return true;
  if (!directoryExists(joinPath(folder, CString(kSynchronizedComputersFolder)))) {
    const CString installPath = CFolderLookup::getInstallPath();
    if (installPath.IsEmpty()) {
      showMessageById(IDS_NO_INSTALL_PATH, CString(kProductName));
      return true;
    }
    const CString computers = joinPath(installPath, CString(kSynchronizedComputersFolder));
    if (directoryExists(computers)) {
      CShellInterface shell;
      shell.copyFolder(computers, folder);
    }
  }
  return true;
}

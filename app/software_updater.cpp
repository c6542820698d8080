// The update check against the version file and the start of a downloaded installer (see
// software_updater.h). The version file is read only as far as it arrived, and a downloaded
// installer is used only when the download dialog reports it complete.
#include "app/software_updater.h"

#include <memory>
#include <string>

#include "app/device_sdk.h"
#include "app/file_operation.h"
#include "app/file_util.h"
#include "app/folder_lookup.h"
#include "app/log.h"
#include "app/messages.h"
#include "app/module_version.h"
#include "app/program_texts.h"
#include "app/registry.h"
#include "app/secure_drive_services.h"
#include "lang/ids.h"
#include "platform/afx/inet.h"
#include "platform/base/wcrt.h"
#include "platform/win32/shell_execute.h"
#include "ui/download_dialog.h"

IMPLEMENT_DYNAMIC(CSoftwareUpdater, CObject)

namespace {

constexpr const char16_t* kVersionFileName = u"update.txt";
constexpr const char16_t* kCacheBreakFormat = u"?cacheBreak=%08X";
// The version file is four short numbers; a reply longer than this is not a version file and is
// not read further.
constexpr DWORD kVersionFileLimit = 4096;

CString& applicationBaseUrl() {
  static CString url(kDefaultUpdateBaseUrl);
  return url;
}

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

}  // namespace

void setUpdateBaseUrl(const CString& url) { applicationBaseUrl() = url; }

CString getUpdateBaseUrl() {
  CRegistry key(kUpdateOverrideKey);
  CString overrideUrl;
  if (key.isOpen() && key.getString(kUpdateOverrideValue, overrideUrl) && !overrideUrl.IsEmpty()) return overrideUrl;
  return applicationBaseUrl();
}

CString makeVersionFileUrl(const CString& base, unsigned cacheBreak) {
  CString url = joinUrlPath(base, kVersionFileName);
  url.AppendFormat(kCacheBreakFormat, cacheBreak);
  return url;
}

CString makeInstallerUrl(const CString& base) { return joinUrlPath(base, CString(kProductName) + u".exe"); }

bool CSoftwareUpdater::parseVersionText(const char* text, DWORD size, WORD (&parts)[4]) {
  WORD read[4] = {};
  DWORD at = 0;
  for (int i = 0; i < 4; ++i) {
    const DWORD blanksFrom = at;
    while (at < size && isBlank(text[at])) ++at;
    if (i > 0 && at == blanksFrom) return false;  // numbers must be apart
    if (at >= size || text[at] < '0' || text[at] > '9') return false;
    unsigned value = 0;
    while (at < size && text[at] >= '0' && text[at] <= '9') {
      value = value * 10 + static_cast<unsigned>(text[at] - '0');
      if (value > 0xFFFF) return false;
      ++at;
    }
    read[i] = static_cast<WORD>(value);
  }
  for (int i = 0; i < 4; ++i) parts[i] = read[i];
  return true;
}

bool CSoftwareUpdater::getServerVersionInfo() {
  major = minor = build = revision = 0;
  const CString url = makeVersionFileUrl(getUpdateBaseUrl(), static_cast<unsigned>(rand()));
  std::string body;
  try {
    CInternetSession session(kProductName);
    std::unique_ptr<CStdioFile> file(session.OpenURL(url, 1, INTERNET_FLAG_TRANSFER_ASCII | INTERNET_FLAG_RELOAD));
    auto* http = dynamic_cast<CHttpFile*>(file.get());
    DWORD status = 0;
    if (http == nullptr || !http->QueryInfoStatusCode(status) || status >= 400) {
      writeLog(u"{Software Updater}: The version file %s was not served (status %u).", url, status);
      return false;
    }
    char chunk[512];
    while (body.size() < kVersionFileLimit) {
      const UINT got = file->Read(chunk, sizeof(chunk));
      if (got == 0) break;
      body.append(chunk, got);
    }
    file->Close();
  } catch (CException* e) {
    WCHAR text[256] = {};
    e->GetErrorMessage(text, 256);
    writeLog(u"{Software Updater}: The version file %s could not be read: %s", url, text);
    e->Delete();
    return false;
  }
  WORD parts[4] = {};
  if (!parseVersionText(body.data(), static_cast<DWORD>(body.size()), parts)) return false;
  major = parts[0];
  minor = parts[1];
  build = parts[2];
  revision = parts[3];
  return major != 0 || minor != 0 || build != 0 || revision != 0;
}

bool CSoftwareUpdater::checkForUpdate(bool& newer) {
  newer = false;
  if (!getServerVersionInfo()) return false;
  if (!isNewerThanOwn(major, minor, build, revision, newer)) {
    writeLog(u"{Software Updater}: The program's own version cannot be read; no update is offered.");
    newer = false;
  }
  return true;
}

bool downloadInstaller(const CString& path) {
  CDownloadDlg dialog(path);
  const INT_PTR result = dialog.DoModal();
  return result == IDOK && dialog.downloadError() == DownloadState::kNoError && fileExists(path);
}

bool downloadAndRunUpdate(const CString& path) {
  if (CDeviceSdk* device = secureDriveServices().getDeviceSdk()) {
    bool open = false;
    if (!device->isLoggedIn(open)) {
      showMessageById(IDS_SECURE_AREA_STATE_UNKNOWN);
      return false;
    }
    if (open && !device->logout()) {
      showMessageById(IDS_SECURE_AREA_NOT_CLOSED);
      return false;
    }
  }
  if (!fileExists(path)) {
    showMessageById(IDS_UPDATE_NOT_FOUND, path);
    return false;
  }
  const CString copy = joinPath(CFolderLookup::getDevicePath(), CString(kProductName) + u".exe");
  if (!copyFileOp(path, copy)) {
    showMessageById(IDS_UPDATE_NOT_COPIED, path);
    return false;
  }
  return runUpdateInstaller(copy);
}

bool runUpdateInstaller(const CString& path) {
  showMessageById(IDS_UPDATE_STARTING, kProductName);
  CString parameters;
  parameters.Format(u"/update %s", CFolderLookup::getDevicePath());
  const HINSTANCE result =
      ShellExecuteW(nullptr, u"open", path, parameters, getParentFolder(path), SW_SHOWNORMAL);
  const auto code = reinterpret_cast<INT_PTR>(result);
  if (code <= 32) {
    writeLog(u"{Software Updater}: The installer %s could not be started (%d).", path, static_cast<int>(code));
    return false;
  }
  return true;
}

// Switching protection on and removing it again. Formatting empties the visible area, so the
// diagnostic log and the customization file are saved to the product's folder on the host first
// and copied back once the drive shows the new area; the program's saved copy "QX2.sav" goes to
// the public area's root so the drive stays usable without the program installed.
#include "app/secure_drive_setup.h"

#include "app/device_sdk.h"
#include "app/file_operation.h"
#include "app/file_util.h"
#include "app/folder_lookup.h"
#include "app/log.h"
#include "app/messages.h"
#include "app/program_texts.h"
#include "app/secure_drive_services.h"
#include "lang/ids.h"
#include "platform/win32/win32.h"
#include "ui/change_password_dialog.h"
#include "ui/enable_password_dialog.h"

namespace {

constexpr LPCWSTR kSavedProgram = u"QX2.sav";
constexpr LPCWSTR kSecureAreaName = u"DaroriDede";
// The public area left beside a new secure area, in MB.
constexpr int kPublicAreaSize = 10;
// Questions of the reformat are asked in English (neutral) when no translation exists.
constexpr WORD kEnglishLanguage = 9;

CString driveRoot() { return getPathRoot(CFolderLookup::getDevicePath()); }

CString programOnDrive() { return joinPath(driveRoot(), g_applicationName + u".exe"); }

// The log file and, when the customization came from a file, that file: their places on the drive.
struct CarriedFiles {
  CString log = getLogPath();
  CString customization = secureDriveServices().getCustomizationFilePath();

  static CString savedCopy(const CString& path) {
    return joinPath(CFolderLookup::getProductAppDataPath(), getFileName(path));
  }
  static void copy(const CString& source, const CString& target) {
    if (!source.IsEmpty() && !target.IsEmpty()) copyFileOp(source, target);
  }
  void saveToHost() const {
    if (!log.IsEmpty()) copy(log, savedCopy(log));
    if (!customization.IsEmpty()) copy(customization, savedCopy(customization));
  }
  void restoreToDrive() const {
    if (!log.IsEmpty()) copy(savedCopy(log), log);
    if (!customization.IsEmpty()) copy(savedCopy(customization), customization);
  }
};

void putProgramOnPublicArea() {
  const CString source = joinPath(CFolderLookup::getProductAppDataPath(), kSavedProgram);
  if (!copyFileOp(source, programOnDrive())) showMessageById(IDS_SD_COPY_PROGRAM_FAILED, g_applicationName);
}

}  // namespace

bool isPublicAreaOnly(const CString& root) {
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW(joinPath(root, u"*"), &data);
  if (find == INVALID_HANDLE_VALUE) return false;
  int count = 0;
  CString only;
  do {
    const CString name(data.cFileName);
    if (name == u"." || name == u"..") continue;
    ++count;
    only = name;
  } while (FindNextFileW(find, &data));
  FindClose(find);
  return count == 1 && only == g_applicationName + u".exe";
}

bool confirmReformat(bool enabling) {
  const CString action = loadResString(enabling ? IDS_SD_ACTION_ENABLE : IDS_SD_ACTION_DISABLE);
  const CString text = formatMessageText(loadResString(IDS_SD_CONFIRM_REFORMAT), action, g_applicationName,
                                         kSecureAreaName, g_deviceName);
  if (showMessageBox(nullptr, text, g_applicationName, MB_YESNO | MB_ICONWARNING | MB_SYSTEMMODAL,
                     kEnglishLanguage) != IDYES)
    return false;
  return askYesNoById(IDS_SD_CONFIRM_REFORMAT_2, g_deviceName);
}

bool changeSecureAreaPassword(CDeviceSdk* sdk, const CString& newPassword, const CString& secondText) {
  if (sdk == nullptr) return false;
  // A drive that holds nothing but the program loses nothing: no need to ask.
  if (sdk->hasSecureArea() || !isPublicAreaOnly(driveRoot())) {
    if (!confirmReformat(true)) return false;
  }
  const CarriedFiles files;
  files.saveToHost();
  if (!sdk->format(newPassword, secondText, kPublicAreaSize)) {
    showMessageById(IDS_SD_FORMAT_FAILED);
    return false;
  }
  putProgramOnPublicArea();
  files.restoreToDrive();
  showMessageById(IDS_SD_PROTECTION_READY, g_applicationName, kSecureAreaName);
  bool opened = false;
  if (!sdk->login(newPassword, opened) || !opened) {
    showMessageById(IDS_SD_LOGIN_FAILED);
    return false;
  }
  // The drive letter shows the secure area now: the files belong there.
  files.restoreToDrive();
  return true;
}

bool reformatSecureDrive(CDeviceSdk* sdk) {
  const CarriedFiles files;
  files.saveToHost();
  if (sdk == nullptr) return false;
  if (!confirmReformat(false)) return false;
  if (!sdk->removeSecureArea()) return false;
  putProgramOnPublicArea();
  files.restoreToDrive();
  CEnablePasswordDialog question;
  question.DoModal();
  if (question.passwordProtected) {
    CChangePasswordDialog firstPassword(CChangePasswordDialog::kFirstPasswordMode);
    firstPassword.DoModal();
  }
  return true;
}

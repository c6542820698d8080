// Where the program's folders are: the host's shell folders, the product's own folders on the
// host (application data, per-drive backup and device-specific folders, program and temporary
// folders) and on the drive (its root and the "Synchronized Computers" folder). No state: every
// lookup is computed afresh, so a path always reflects the current drive and host.
#pragma once

#include <functional>

#include "platform/afx/cstring.h"
#include "platform/afx/object.h"
#include "platform/base/types.h"

class CFolderLookup : public CObject {
 public:
  // The application object tells the lookup where the drive is (its device path, "X:\..."); until
  // it does, the device path is empty and so are the paths on the drive.
  static void setDevicePathSource(std::function<CString()> source);
  // Makes the path utilities take the five special folders from this lookup (Favorites keeps its
  // English name, failures are logged). Called once by the application at start-up.
  static void installSpecialFolderSource();

  // "User Shell Folders" value expanded (unexpanded when expansion fails); "Shell Folders" when
  // that value is empty or missing.
  static CString getShellFolder(const CString& valueName);
  static CString getCompanyAppDataPath();
  static CString getProductAppDataPath();
  static CString getBackupPath();
  // "%08x" of the drive's volume serial; the remembered "deviceSerialNumber" when it reads 0.
  static CString getDeviceSerialText();
  static CString getDeviceBackupPath();
  static CString getDeviceSpecificPath();
  static CString getPersonalizePath();
  static CString getSynchronizePath();

  // Shell folders: empty (and logged) when the host cannot name them.
  static CString getDesktopPath();
  static CString getDesktopName();
  static CString getCommonDesktopPath();
  static CString getMyDocumentsPath();
  static CString getMyDocumentsName();
  static CString getFavoritesPath();
  static CString getFavoritesName();  // "Favorites" on every language of Windows
  static CString getRecentPath();
  static CString getCookiesPath();
  static CString getCookiesName();
  static CString getHistoryPath();
  static CString getHistoryName();

  static CString getDevicePath();
  static CString getSynchronizedComputersPath();
  // Sub-folders of the "Synchronized Computers" folder; 0 when it does not exist.
  static int countSynchronizedComputers();
  // Folder of the running program file.
  static CString getProgramFolder();
  // The system temporary folder plus the product's name, created when missing. Throws a
  // CCustomizerException (string 543) when the system has no temporary path.
  static CString getTempFolder();
  // "installPath" of the machine's install key, else of the user's; empty when neither has it.
  static CString getInstallPath();
};

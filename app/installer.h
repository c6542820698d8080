// The program's place on the host and on drives: the autostart entry that starts the host's
// installed copy at logon, and copying the program file (with the stored computers of the host's
// installation) onto a drive.
#pragma once

#include "platform/afx/cstring.h"

class CInstaller {
 public:
  virtual ~CInstaller() = default;

  // The value named after the product under the user's Run key (created when missing), REG_SZ:
  // "\"<company app data>\Kipo\Kipo.exe\" /launch".
  static bool addAutostart();
  // True also when the value did not exist.
  static bool removeAutostart();
  static bool hasAutostart();
  // The product's program file ("Kipo.exe") exists in the folder.
  static bool isAppInstalledAt(const CString& folder);
};

// Copies the program (the "QX2.sav" copy kept in the program folder) to <folder>\Kipo.exe; with
// `checkVersion` a program file there that is newer than the running one is kept. With
// `takeComputers`, a destination without "Synchronized Computers" gets the installation's one.
// False only when the program file could not be copied (message 614).
bool copyAppToPath(const CString& folder, bool takeComputers, bool checkVersion);

// The update check and the update itself: the update server's version file "update.txt" read
// and compared with the program's own version, the new installer downloaded (through the
// download dialog, ui/download_dialog.h) and, once it is complete, copied to the drive and
// started. Requests go through the WinInet calls; all of it runs on the UI thread except the
// download, which has a worker thread of its own.
#pragma once

#include "platform/afx/cstring.h"
#include "platform/afx/object.h"
#include "platform/base/types.h"

// ---- Update server ----------------------------------------------------------------------------

// The base URL the program is built with, until the application gives another.
inline constexpr const char16_t* kDefaultUpdateBaseUrl = u"http://update.brackwater.com/kipo";
// Where an administrator (or a test) points the program at another update server: a non-empty
// REG_SZ value of this name under the product's key overrides the application's base URL.
inline constexpr const char16_t* kUpdateOverrideKey = u"HKEY_CURRENT_USER\\Software\\Brackwater\\Kipo";
inline constexpr const char16_t* kUpdateOverrideValue = u"updateServerURL";

// The application's update base URL (the customization's update address, or the default).
void setUpdateBaseUrl(const CString& url);
// The base URL in force: the override value when it is set and not empty, else the application's.
CString getUpdateBaseUrl();
// The version file's URL: base joined with "update.txt" by one "/", then "?cacheBreak=%08X".
CString makeVersionFileUrl(const CString& base, unsigned cacheBreak);
// The installer's URL: base joined with the product name and ".exe" by one "/".
CString makeInstallerUrl(const CString& base);

// ---- Version check ----------------------------------------------------------------------------

class CSoftwareUpdater : public CObject {
  DECLARE_DYNAMIC(CSoftwareUpdater)
 public:
  CSoftwareUpdater() = default;

  // Reads the version file into the four numbers. True when the server answered with a status
  // below 400 and the body, as far as it was received, starts with four numbers (0..65535, white
  // space between them) that are not all 0. On false the four numbers are 0.
  bool getServerVersionInfo();
  // newer = false; false when the version file could not be read; else newer = the server's
  // version is greater than the program's own, and true.
  bool checkForUpdate(bool& newer);

  // Parses the body of a version file: four unsigned 16-bit numbers separated by white space,
  // read only within `size` bytes. False (numbers unchanged) when any is missing or too large.
  static bool parseVersionText(const char* text, DWORD size, WORD (&parts)[4]);

  WORD major = 0;
  WORD minor = 0;
  WORD build = 0;
  WORD revision = 0;
};

// ---- Download and start ------------------------------------------------------------------------

// Runs the download dialog for `path`. True only when the installer arrived whole and was saved
// there; a failed, short or cancelled download leaves no file at `path` and gives false.
bool downloadInstaller(const CString& path);
// With a device object: the drive's secure area is closed first (messages 531, 511 and false
// when that fails). Then the downloaded file is copied into the drive's root as the product name
// with ".exe" and that copy is started (runUpdateInstaller); message 546 when the copy fails, 547
// when there is no downloaded file. True when the installer was started.
bool downloadAndRunUpdate(const CString& path);
// Message 636, then ShellExecute "open" on `path` with "/update <device path>" in the folder of
// `path`, shown normally. True only when the shell answered above 32 (a started program).
bool runUpdateInstaller(const CString& path);

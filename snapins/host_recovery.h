// The host-side safety net of a login: the login file (a snapshot of the host's shell folders,
// wallpaper value, default messaging profile and the entries of the desktop and My Documents),
// the host values parked under the product's own names while the user's copies are in place, the
// recovery that puts everything back after the program died while personalized, and the
// machine-wide environment write that start-up uses for the drive letter.
//
// Login file ("<AppData>\<computer name>.login"): UTF-8, CR LF line ends, in a fixed order:
//   1-5   "<User Shell Folders key>\<name>=<value>"  for Cookies, Desktop, Favorites, History, Personal
//   6-10  the same for the "Shell Folders" key
//   11    "HKEY_CURRENT_USER\Control Panel\Desktop=<ConvertedWallpaper>"
//   12    "<messaging profiles key>=<DefaultProfile>"
//   13    "Desktop number for current user is=<n>", then n lines "<path>=<Y|N>=<creation time>"
//   then  "Document number for current user is=<m>", then m such lines for My Documents.
// An entry line is split at its last two "=", so a path holding "=" reads back whole. Y marks an
// entry without the hidden attribute; the time is seconds since 1970 (0: it could not be read).
//
// Recovery never deletes what the user made: it deletes only the product's own shortcuts (those
// pointing into the drive's "Synchronized Computers" folder); any other entry that the login file
// does not hold, or whose creation time changed, is moved into a dated holding folder in the
// restored My Documents and its new path logged. A block of the file that does not parse whole
// leads to no removal from its folder.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/afx/cstring.h"
#include "platform/base/types.h"

// ---- The login file ----------------------------------------------------------------------------

// "<AppData>\<computer name>.login".
void getLoginFilePath(CString& path);
// The messaging profiles key of this Windows (the 9x path below major version 5).
void getMessagingProfilesKey(CString& key);
// Deletes the login file when it exists; true when it is gone afterwards.
bool deleteLoginFile();

// One desktop or My Documents entry as the login file records it.
struct LoginFileEntry {
  CString path;
  bool visible = true;     // "Y": the entry had no hidden attribute
  LONGLONG creationTime = 0;  // seconds since 1970; 0 when it could not be read
};

// One block of entries read back. `complete` is false when the count line or any entry line did
// not parse, or the file ended early: the entries then are what did parse.
struct LoginFileBlock {
  std::vector<LoginFileEntry> entries;
  bool complete = false;
};

// One of the twelve value lines. `present` is false when the line was missing or held no "=":
// nothing is written back for it.
struct LoginFileValue {
  CString text;
  bool present = false;
};

// What the login file holds.
struct LoginFileContents {
  LoginFileValue userShellFolders[5];  // Cookies, Desktop, Favorites, History, Personal
  LoginFileValue shellFolders[5];
  LoginFileValue convertedWallpaper;
  LoginFileValue defaultProfile;
  LoginFileBlock desktop;
  LoginFileBlock documents;
};

// The file's bytes for these contents (the header lines name the keys as saveComputer does).
std::string formatLoginFile(const LoginFileContents& contents);
// Reads the bytes of a login file; never fails: what does not parse is marked incomplete.
LoginFileContents parseLoginFile(std::string_view bytes);

// ---- Login and logout ---------------------------------------------------------------------------

// Writes the login file, then parks the Internet caches and the start page. False when the file
// could not be written whole (the parking still runs, unless the file could not be created).
bool saveComputer();
bool saveInternetCaches();
bool saveStartPage();
// Logout: deletes the parked start page, caches and URL history (nothing is copied back).
void deleteProductRegistryTraces();

// ---- Recovery -----------------------------------------------------------------------------------

// Puts the login file's values back and sorts the desktop and My Documents entries. False when a
// value could not be written or the file could not be read; `fileOpened` says whether it opened.
bool restoreRegistry(bool& fileOpened);
// The whole recovery: restoreRegistry, then (only when the login file opened) every parked value
// put back, the host marked as not personalized and the login file deleted.
void recoverComputer();

// The steps recoverComputer runs after restoreRegistry, each done as far as it goes.
bool unhideLocalSettings();
bool restoreDesktopWallpaper();
bool restoreTypedUrls();
bool restoreFavoritesSettings();
bool restoreInternetCaches();
bool restoreStartPage();
bool restoreSignatures();
// "Personalized" of the product key and "personalized" of every snap-in's key set to "false".
void markNotPersonalized();

// The folder in My Documents that recovery moves unrecorded entries into on this local date:
// "Kipo Recovered Items <yyyy-mm-dd>" (not created here).
CString getRecoveryHoldingFolder(const CString& myDocuments);

// ---- Environment ----------------------------------------------------------------------------------

// Writes the machine-wide environment variable and tells every top-level window (WM_SETTINGCHANGE
// "Environment", abort if hung, 5 s each); false when the registry write failed.
bool broadcastEnvironmentChange(const CString& name, const CString& value);

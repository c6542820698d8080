// The wallpaper snap-in: carries the desktop wallpaper (the image, its style and the Active
// Desktop switches). At login the host's own wallpaper is kept under the product key and the
// wallpaper of the computer the user logged in from is shown, with its image taken from the
// drive; at logout the host's own comes back. Synchronization runs (CWallpaperSynchronizer)
// carry the host's wallpaper image to the drive folder of the computer and its settings to the
// device pref store. The shell is driven through IActiveDesktop; outside Windows 2000 the
// desktop's registry values are written as well, since the desktop paints from them.
#pragma once

#include "platform/afx/cstring.h"
#include "platform/afx/object.h"
#include "platform/base/types.h"
#include "snapins/customizer.h"
#include "snapins/wallpaper_synchronizer.h"

class CRegistry;
class CSpaceMan;
class CSystemProfile;
class CWallpaperCustomizer;
struct IActiveDesktop;

// The stored values of the wallpaper prefs (the same wherever they are stored).
inline constexpr const char16_t* kWallpaperPathValue = u"wallpaperPath";
inline constexpr const char16_t* kWallpaperStyleValue = u"wallpaperStyle";
inline constexpr const char16_t* kActiveDesktopUsedValue = u"activeDesktopUsed";
inline constexpr const char16_t* kWebComponentsEnabledValue = u"webComponentsEnabled";
inline constexpr const char16_t* kWallpaperNonADPathValue = u"wallpaperNonADPath";
inline constexpr const char16_t* kWallpaperSnapinName = u"Wallpaper";
// Where the host's own wallpaper is kept from login to logout.
inline constexpr const char16_t* kWallpaperBackupKey = u"HKEY_CURRENT_USER\\Software\\Brackwater\\Kipo\\Wallpaper";

// One wallpaper setting: on a host, in the login backup or of a computer in the device store.
class CWallpaperPrefs : public CObject {
 public:
  explicit CWallpaperPrefs(CWallpaperCustomizer* owner) : m_customizer(owner) {}

  // Reads the five values; a missing style stays 2. False when the path, the style or the Active
  // Desktop switch could not be read (what could be read is kept).
  bool read(CRegistry& key);
  // Writes the five values; false when any write failed.
  bool write(CRegistry& key);
  // Fills the prefs from the host; false (logged) when the shell cannot be asked.
  bool capture();
  // Puts the prefs on the host: at login (personalizing) Active Desktop serves only images the
  // plain desktop cannot show; at restore the stored switches come back. Every step is tried;
  // false when any failed.
  bool apply(bool personalizing);

  CString wallpaperPath;
  DWORD wallpaperStyle = 2;
  bool activeDesktopUsed = false;
  bool webComponentsEnabled = false;
  CString wallpaperNonADPath;

 private:
  CWallpaperCustomizer* m_customizer;  // not owned
};

class CWallpaperCustomizer : public CCustomizer {
 public:
  // Registers its synchronizer with the running application's coordinator, when there is one.
  CWallpaperCustomizer();
  // Registers its synchronizer with `spaceMan` (none: not registered).
  explicit CWallpaperCustomizer(CSpaceMan* spaceMan);
  ~CWallpaperCustomizer() override;

  // The host's wallpaper into the login backup key; then the base backup.
  bool backup() override;
  // Shows the wallpaper of the computer the user logged in from; the host's own stays when that
  // is this computer or when the drive holds no wallpaper for it.
  bool personalize() override;
  // Puts back the host's wallpaper from the login backup. Without a backup nothing is changed
  // and the result is false.
  bool restore() override;
  // 3 when the login backup key exists and holds readable prefs, else 0.
  int getSourceState() override;
  // The on-drive size of the record's computer's wallpaper image.
  ULONGLONG getDeviceSpace(CSpaceRecord* record) override;
  bool preExecuteSyncOps() override;
  bool postExecuteSyncOps(CSystemProfile* profile, int executionResult) override;

  // The computer's wallpaper image on the drive: its drive folder joined with the file name of
  // its stored wallpaper path; empty when it has none (or the stored name is not a plain file
  // name).
  CString getComputerWallpaperPath(CSystemProfile* profile);
  // Reads the computer's prefs from the device store.
  bool readComputerPrefs(CSystemProfile* profile, CWallpaperPrefs& prefs);
  // Writes them there (the key is made when missing).
  bool writeComputerPrefs(CSystemProfile* profile, CWallpaperPrefs& prefs);
  // The shell's Active Desktop object, made on first use; null (logged) when it cannot be made.
  IActiveDesktop* getActiveDesktop();
  CWallpaperSynchronizer& synchronizer() { return m_synchronizer; }

 private:
  IActiveDesktop* m_activeDesktop = nullptr;  // owned reference, released by the destructor
  CWallpaperSynchronizer m_synchronizer;
};

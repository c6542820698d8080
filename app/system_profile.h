// One host computer the drive has served: its name, the nickname shown to the user, the conflict
// index that tells apart computers of the same name, and its fingerprint (the letters and volume
// serials of its fixed drives). Its key names its registry key in the pref store and its folder
// on the drive, so getKey and getDeviceFolder are used all over the program.
#pragma once

#include <vector>

#include "platform/afx/cstring.h"
#include "platform/afx/object.h"
#include "platform/base/types.h"

class CArchive;

// Where the profiles and the computer last logged in to are stored (the profile database reads
// what a profile writes).
inline constexpr const char16_t* kLocalPrefsKey = u"HKEY_CURRENT_USER\\Software\\Brackwater\\Kipo\\localPrefs";
inline constexpr const char16_t* kLoginComputerValue = u"loginComputer";
inline constexpr const char16_t* kSystemProfilesKey = u"System Profiles";

class CSystemProfile : public CObject {
  DECLARE_DYNAMIC(CSystemProfile)
 public:
  struct DriveEntry {
    WCHAR letter = 0;  // lower case
    DWORD serial = 0;
  };
  // compare() flags.
  static constexpr int kSameName = 1;
  static constexpr int kSomeDrivesMatch = 2;
  static constexpr int kAllDrivesMatch = 4;

  CSystemProfile() = default;
  ~CSystemProfile() override = default;

  // The computer name, or "%s(%d)" with the conflict index when that is not 0.
  CString getKey() const;
  // The drive's "Synchronized Computers" folder joined with the key.
  CString getDeviceFolder() const;
  bool deviceFolderExists() const;

  // Sets the login flag; when set also remembers the nickname as "loginComputer" in localPrefs.
  void setLoginComputer(bool login);
  bool isLoginComputer() const { return m_loginComputer; }

  // Fills name and drive list from the running host; the drive the program runs from is never
  // part of the fingerprint.
  bool captureFingerprint();
  bool upgrade();
  int compare(const CSystemProfile& other) const;
  bool isSameComputer(const CSystemProfile& other) const;

  // The stored form under "System Profiles\<key>" of the pref store.
  bool write() const;
  // Reads the stored form at `path` (relative to Prefs, "System Profiles\<name>").
  bool read(const CString& path);
  // Takes the host's current name: moves the pref keys and the drive folders of the old key.
  bool changeComputerName();

  // Loading reads one record of the legacy profile file; storing writes nothing.
  void Serialize(CArchive& ar) override;

  CString m_nickname;
  CString m_computerName;
  LONG m_conflictIndex = 0;
  bool m_upgradeRequired = false;
  std::vector<DriveEntry> m_drives;

 private:
  bool m_loginComputer = false;
};

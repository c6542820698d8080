// Registry value snap-ins: one value of the host user's profile carried by the drive. At login the
// host's own value is kept in the snap-in's local "backup" key and the value stored on the drive
// for the login computer takes its place; after each synchronization run the host's current value
// is saved to the drive for this computer; at logout the kept value goes back (a host that had no
// value is left without one). The history-folder snap-ins point the host's History folder at the
// drive instead of carrying a value; the cookies snap-in lives in cookies_customizer.h.
#pragma once

#include "platform/afx/cstring.h"
#include "snapins/customizer.h"

class CSystemProfile;

// Recorded in the backup key when the host had no value of that name.
inline constexpr const char16_t* kValueDoesNotExist = u"_value_does_not_exist_";

class CRegistryValueCustomizer : public CCustomizer {
 public:
  CRegistryValueCustomizer(const CString& name, const CString& keyPath, const CString& devicePrefsSubkey,
                           const CString& valueName);

  // The host's value (type and data) or the marker into the backup key; then the base backup.
  bool backup() override;
  // The login computer's value from the drive onto the host; true without one (the host keeps
  // its own).
  bool personalize() override;
  // The backup back onto the host; the marker deletes the host's value.
  bool restore() override;
  bool leaveNoTrace() override { return true; }
  // Saves the host's value to this computer's device key (removes it there when the snap-in is
  // not synchronized for this computer). Throws without a profile for this computer.
  bool postExecuteSyncOps(CSystemProfile* profile, int executionResult) override;
  void setName(const CString& name) override;
  // 3 when the backup key holds the value, else 0.
  int getSourceState() override;

  CString getKeyPath() const { return m_keyPath; }
  CString getBackupKeyPath() const { return m_backupKeyPath; }
  CString getValueName() const { return m_valueName; }
  // The device key of a computer's profile: its snap-in key joined with the device subkey.
  CString getDeviceKey(CSystemProfile* profile);

 protected:
  CString m_keyPath;
  CString m_devicePrefsSubkey;
  CString m_backupKeyPath;
  CString m_valueName;
};

// The drive's history folder of a computer: its drive folder joined with "History".
CString deviceHistoryFolder(CSystemProfile* profile);
// Whether the drive holds synchronized history files of the login computer (at least one file
// below "History.IE5" of its history folder); logs why not when the folder cannot be read.
bool hasDeviceHistory();

// The history-folder snap-ins: nothing is saved to the drive after a run.
class CHistoryCustomizer : public CRegistryValueCustomizer {
 public:
  using CRegistryValueCustomizer::CRegistryValueCustomizer;
  bool postExecuteSyncOps(CSystemProfile*, int) override { return true; }

 protected:
  // With history on the drive: the value "history" of the host key points at the drive's
  // history folder (personalized). Without: `withoutHistory`, nothing changed.
  bool pointAtDeviceHistory(bool withoutHistory);
};

// "History" of User Shell Folders; succeeds without history on the drive.
class CHistoryUserCustomizer : public CHistoryCustomizer {
 public:
  CHistoryUserCustomizer();
  bool personalize() override;
};

// "History" of Shell Folders; fails without history on the drive.
class CHistoryShellCustomizer : public CHistoryCustomizer {
 public:
  CHistoryShellCustomizer();
  bool personalize() override;
};

class CHistoryDaysCustomizer : public CRegistryValueCustomizer {
 public:
  CHistoryDaysCustomizer();
};

class CHomePageCustomizer : public CRegistryValueCustomizer {
 public:
  CHomePageCustomizer();
};

// The host keys of the members, shared with the cookies snap-in.
inline constexpr const char16_t* kUserShellFoldersKey =
    u"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
inline constexpr const char16_t* kShellFoldersKey =
    u"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
inline constexpr const char16_t* kUrlHistoryKey =
    u"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Url History";
inline constexpr const char16_t* kBrowserMainKey = u"HKEY_CURRENT_USER\\Software\\Microsoft\\Internet Explorer\\Main";

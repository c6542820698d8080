// Registry key snap-ins: a whole key with its values and subkeys. At login the host's copy of the
// key is kept below the snap-in's local "backup" key; at logout it is put back (a host that had
// no such key gets an empty one); after a synchronization run the host's key can be saved to the
// drive for this computer. The office snap-ins carry the programs' recent-file lists this way:
// nothing goes to the host or the drive, the host's lists simply come back at logout.
//
// A backup counts only once it is complete: the "backup" key records that beside the copied
// subkey, outside the tree that restore copies onto the host, and restore replaces the host's key
// only from a complete backup.
#pragma once

#include "platform/afx/cstring.h"
#include "snapins/customizer.h"

class CSystemProfile;

inline constexpr const char16_t* kSourceExistsValue = u"sourceExists";
// In the "backup" key: "true" once the copy below it is complete.
inline constexpr const char16_t* kBackupCompleteValue = u"backupComplete";

class CRegistryKeyCustomizer : public CCustomizer {
 public:
  CRegistryKeyCustomizer(const CString& name, const CString& keyPath, const CString& devicePrefsSubkey);

  // Copies the host key (when it holds anything) below the backup key, or records that it had
  // nothing; false when the copy is incomplete.
  bool backup() override;
  // Puts the complete backup back over the host key; false without one (the host is left alone).
  bool restore() override;
  bool leaveNoTrace() override { return true; }
  // Saves the host key to this computer's device key (or deletes it there when the snap-in is not
  // synchronized for this computer); true without a device subkey.
  bool postExecuteSyncOps(CSystemProfile* profile, int executionResult) override;
  int getSourceState() override;
  // Deletes the backup key.
  bool removeSourceData() override;
  void setName(const CString& name) override;

  CString getKeyPath() const { return m_keyPath; }
  void setKeyPath(const CString& keyPath);
  CString getBackupKeyPath() const { return m_backupKeyPath; }
  // The snap-in's "backup" key that holds the copy and the completeness mark.
  CString getBackupParentPath();
  CString getDevicePrefsSubkey() const { return m_devicePrefsSubkey; }

 protected:
  void updateBackupKeyPath();
  // Saves the key to the drive (the first half of postExecuteSyncOps).
  bool saveKeyToDevice();

  CString m_keyPath;
  CString m_devicePrefsSubkey;
  CString m_backupKeyPath;
};

// The office programs' versions by the text of "<Program>.Application\CurVer": 1 to 5 for the
// versions 7.0 to 11.0, 0 for anything else.
int officeVersionFromCurVer(const CString& program, const CString& curVer);
CString officeVersionName(int version);
// "HKEY_CURRENT_USER\Software\Microsoft\Office\<version>\<program>", empty for an unknown version.
CString officeKeyOf(const CString& program);

class CMsWordCustomizer : public CRegistryKeyCustomizer {
 public:
  CMsWordCustomizer();
};

class CMsExcelCustomizer : public CRegistryKeyCustomizer {
 public:
  CMsExcelCustomizer();
};

class CMsPowerPointCustomizer : public CRegistryKeyCustomizer {
 public:
  CMsPowerPointCustomizer();
};

// The device pref store: the user's preferences live in the registry under the product's "Prefs"
// key while the program runs and travel with the drive in the pref file "customizer.pref"
// between runs. CPreferenceFile is a CRegistry bound to that subtree and to that file; loading
// replaces the subtree with the file's content, saving dumps the subtree into the file.
//
// The file comes from a portable drive and is therefore outside input: a load writes only what
// lies under "Prefs", and after a load that failed the file is not overwritten by a save until a
// load succeeds or the store is pointed at the pref file of a newly opened device.
#pragma once

#include "app/registry.h"
#include "platform/afx/cstring.h"

class CSystemProfile;

class CPreferenceFile : public CRegistry {
 public:
  CPreferenceFile() = default;
  ~CPreferenceFile() override = default;

  // Remembers the name, then opens (writable, without creating) Prefs joined with the name.
  bool openSubkey(const CString& subkeyName);
  bool openRoot() { return openSubkey(CString()); }
  CString getSubkeyName() const { return m_subkeyName; }

  static CString getPrefsRootPath();
  // "<Prefs>\Synchronized Computers\<profile key>".
  static CString getComputerPrefsPath(const CSystemProfile& profile);
  // The same for this computer's stored profile; empty when it has none.
  static CString getThisComputerPrefsPath();

  // The document points the store at the pref file of the device it opened. A new device's file
  // may be saved again even when the last load (of another file) failed.
  void setFilePath(const CString& path);
  CString getFilePath() const { return m_filePath; }
  bool fileExists() const;

  // Dumps the Prefs subtree into a temporary file beside the pref file and replaces the pref file
  // with it only when the dump is complete; the pref file ends up hidden and system. Refused after
  // a failed load of the same file. The store is pointed back at the key it stood for.
  bool save();
  // Deletes the Prefs subtree, then writes the file's records that lie under Prefs (others are
  // logged and skipped). On success the store stands for the last key the file held.
  bool load();
  // A save would be refused because the last load of this file failed.
  bool isSaveBlocked() const { return m_saveBlocked; }

 private:
  bool deleteExistingPrefs();
  // Reopens the remembered subkey name.
  void restoreSubkey(const CString& subkeyName);

  CString m_subkeyName;
  CString m_filePath;
  bool m_saveBlocked = false;
};

// The process-wide device pref store.
CPreferenceFile& getDevicePrefs();

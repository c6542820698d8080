// The device pref store: the user's preferences live in the registry under the product's "Prefs"
// key while the program runs and travel with the drive in the pref file "customizer.pref"
// between runs. CPreferenceFile is a CRegistry bound to that subtree and to that file; loading
// replaces the subtree with the file's content, saving dumps the subtree into the file.
//
// The file comes from a portable drive and is therefore outside input: it is read once into
// memory and only that copy is parsed and written, and only what lies under "Prefs". Nothing may
// lose the user's settings on the drive: a file that failed to load is not overwritten while it
// is still there, and a file that loaded cut short is kept beside it before it is replaced.
#pragma once

#include <optional>

#include "app/registry.h"
#include "platform/afx/cstring.h"
#include "platform/base/types.h"

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

  // The document points the store at the pref file of the device it opened.
  void setFilePath(const CString& path);
  CString getFilePath() const { return m_filePath; }
  bool fileExists() const;

  // Dumps the Prefs subtree into a temporary file beside the pref file and replaces the pref file
  // with it only when the dump is complete; the pref file ends up hidden and system. Refused while
  // the file whose load failed is still at the path. Without a Prefs key nothing is written and
  // the result is true. The store is pointed back at the key it stood for.
  bool save();
  // Reads the whole file, deletes the Prefs subtree, then writes the file's records that lie under
  // Prefs (others are logged and skipped). On success the store stands for the last key the file
  // held. A file that cannot be read is reported to the user: this session's settings will not be
  // saved over it.
  bool load();
  // A save would be refused: the last load failed and its file is still at the path, unchanged.
  bool isSaveBlocked() const;

  // Which file is at a path: its size and last write time.
  struct FileIdentity {
    enum class State { Missing, Known, Unknown };  // Unknown: there, but it could not be looked at
    State state = State::Missing;
    CString path;
    ULONGLONG size = 0;
    ULONGLONG lastWrite = 0;
  };

 private:
  bool deleteExistingPrefs();
  // Reopens the remembered subkey name.
  void restoreSubkey(const CString& subkeyName);
  // Before a file that loaded cut short is first replaced: a copy of it beside it.
  bool keepCutShortFile();

  CString m_subkeyName;
  CString m_filePath;
  // The file whose load failed; saves are refused while it is still there.
  std::optional<FileIdentity> m_refusedFile;
  // The file that loaded cut short, until it has been kept.
  std::optional<FileIdentity> m_cutShortFile;
};

// The process-wide device pref store.
CPreferenceFile& getDevicePrefs();

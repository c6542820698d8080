// The file snap-in's preferences: one CFileSyncPref per folder or file the user chose to carry,
// kept per synchronized computer in CFileCustomizerPrefs, with the three items every drive starts
// with (Desktop, Favorites, My Documents).
//
// Stored in the device pref store under "Synchronized Computers\<profile key>\Files":
// "numFileSyncPrefs" (REG_DWORD) and one subkey "FileSyncPref<i>" per record with "filePath"
// (REG_SZ), "fileTypes" (the id of the label's string, 8 bytes REG_BINARY, 932 for "Url"),
// "includeFileTypes", "recursive", "synchronize", "includeRecentFiles" ("true"/"false") and
// "daysOld" (REG_DWORD). The pref file comes from the drive: a value that cannot be read leaves
// its field's default and is logged, and the records that can be read are all kept.
#pragma once

#include <memory>
#include <vector>

#include "platform/afx/cstring.h"
#include "platform/base/types.h"
#include "snapins/customizer.h"

class CU3CustomConfig;

// Stored numbers of the labels ("fileTypes"): the label's string id; "Url" is stored as 932.
inline constexpr DWORD kFileTypesUrl = 932;
inline constexpr const char16_t* kUrlFileTypesLabel = u"Url";

// One chosen item; the synchronizer is fed from it before every run.
class CFileSyncPref {
 public:
  // Label: string 380 (all files); flags as their defaults.
  explicit CFileSyncPref(const CString& filePath = CString());
  CFileSyncPref(const CFileSyncPref&) = default;
  CFileSyncPref& operator=(const CFileSyncPref&) = default;
  virtual ~CFileSyncPref() = default;

  // Path and label equal ignoring case, the four flags and daysOld equal.
  bool operator==(const CFileSyncPref& other) const;

  // The stored number of the label: 695, 729, 398, 600, 932 ("Url"), else 380.
  DWORD labelNumber() const;
  // The label of a stored number; false (label unchanged) for a number outside the table.
  bool setLabelFromNumber(ULONGLONG number);

  CString path;            // profile-path form ("Desktop\...", "C:\...")
  CString deviceLocation;  // recomputed before every run
  CString label;           // the file-type label
  bool includeFileTypes = true;
  bool recursive = true;
  bool synchronize = true;
  bool includeRecentFiles = false;
  DWORD daysOld = 0;
  std::vector<CString> excluded;  // sub-paths relative to path; recomputed before every run
};

using CFileSyncPrefList = std::vector<std::unique_ptr<CFileSyncPref>>;

class CFileCustomizerPrefs : public CCustomizerPrefs {
 public:
  // The three templates (Desktop, Favorites with label "Url", My Documents), with the presets of
  // the customization file when one is installed; the record list starts empty.
  CFileCustomizerPrefs();
  ~CFileCustomizerPrefs() override = default;
  CFileCustomizerPrefs(const CFileCustomizerPrefs&) = delete;
  CFileCustomizerPrefs& operator=(const CFileCustomizerPrefs&) = delete;

  // Base default and exactly the three templates, in order.
  bool isDefault() const override;
  // Base defaults; the records become copies of the three templates.
  void setDefaults() override;
  // Base read first. Without "numFileSyncPrefs": defaults, true. Otherwise every record; a value
  // that cannot be read keeps its default and makes the result false (logged). Reading stops at a
  // record key that is missing: a damaged count never makes up records.
  bool read(CSystemProfile* profile, CCustomizer* customizer) override;
  // Base write first; then the count and every record (a failed value makes the result false and
  // the loop goes on). Record keys left over from a longer list are deleted.
  bool write(CSystemProfile* profile, CCustomizer* customizer) override;

  CFileSyncPrefList records;
  CFileSyncPref desktopTemplate;
  CFileSyncPref favoritesTemplate;
  CFileSyncPref myDocumentsTemplate;

  // The customization whose default synchronization settings the Desktop and My Documents
  // templates take (the application installs its own; null: none).
  static void setCustomization(const CU3CustomConfig* config);
};

// True when the new record's folder lies inside, or contains, the folder of another record of
// the prefs (host paths; a record whose host path is a file never overlaps). A null record throws
// a CCustomizerException "No FileSyncPref".
bool fileSyncPrefOverlaps(const CFileCustomizerPrefs& prefs, const CFileSyncPref* record);

// The computers the drive remembers. CProfileDatabase keeps them in the pref store under
// "System Profiles", recognises the host the program runs on by name and fingerprint, asks the
// user (CConfirmProfileDialog) when the host looks changed, converts the legacy "Profiles.dat" of
// earlier versions once, and tracks which profile is the login computer.
#pragma once

#include <memory>
#include <vector>

#include "app/system_profile.h"
#include "platform/afx/cstring.h"
#include "platform/afx/object.h"

class CArchive;

class CProfileDatabase : public CObject {
  DECLARE_DYNAMIC(CProfileDatabase)
 public:
  // Change types of confirmProfileChange and of the confirm-profile dialog.
  static constexpr int kChangeName = 0;         // a stored profile has this host's disks, another name
  static constexpr int kChangeFingerprint = 1;  // a stored profile has this host's name, other disks

  CProfileDatabase() = default;
  ~CProfileDatabase() override;
  CProfileDatabase(const CProfileDatabase&) = delete;
  CProfileDatabase& operator=(const CProfileDatabase&) = delete;

  // The whole start-up sequence; called each time the device is opened, after the pref file.
  bool loadProfiles();
  CSystemProfile* getThisComputerProfile();
  CSystemProfile* getLoginProfile();
  CSystemProfile* findByNickname(const CString& nickname);
  CSystemProfile* findByKey(const CString& key);
  CSystemProfile* findByComputerName(const CString& name);
  bool removeProfile(CSystemProfile* profile);
  // Replaces "System Profiles" with the list. After a conversion of the legacy file it also saves
  // the pref file, and deletes the legacy file only when that save succeeded (false otherwise).
  bool writeSystemProfiles();
  // Reads a legacy "Profiles.dat" into the list; the list is replaced only when the whole file
  // was read and is of a version below 101.
  bool readSystemProfiles(const CString& file);
  void deleteAllProfiles();

  bool addThisComputer();
  // out: the index of the profile the user confirmed, or -1.
  bool resolveChangedComputer(int& profileIndex);
  bool confirmProfileChange(CSystemProfile* profile, int changeType);

  void Serialize(CArchive& ar) override;

  const CSystemProfile& thisComputer() const { return m_thisComputer; }
  // The stored profiles in list order; read directly by the login panel and the dialogs.
  std::vector<std::unique_ptr<CSystemProfile>>& profiles() { return m_profiles; }
  int getProfileCount() const { return static_cast<int>(m_profiles.size()); }
  CSystemProfile* getProfile(int index) {
    return index >= 0 && index < getProfileCount() ? m_profiles[static_cast<size_t>(index)].get() : nullptr;
  }
  LONG getArchiveVersion() const { return m_archiveVersion; }

 private:
  // Gives a found profile with an empty nickname its key as nickname.
  CSystemProfile* repairNickname(CSystemProfile* profile);
  void assignConflictIndex(CSystemProfile& profile) const;

  CSystemProfile m_thisComputer;
  std::vector<std::unique_ptr<CSystemProfile>> m_profiles;
  LONG m_archiveVersion = 0;
  // Profiles read by Serialize go here first; they replace the list only when all were read.
  std::vector<std::unique_ptr<CSystemProfile>> m_legacyProfiles;
  bool m_legacyComplete = false;
  // The legacy file was imported in this run: writeSystemProfiles may then delete it.
  bool m_legacyImported = false;
};

// The process-wide profile database.
CProfileDatabase& getProfileDatabase();
// The conflict index a profile named `name` takes among `profiles` (other than `self`): 0 when no
// other profile has that name, else one more than the largest index among those that have it.
LONG nextConflictIndex(const std::vector<std::unique_ptr<CSystemProfile>>& profiles, const CString& name,
                       const CSystemProfile* self);

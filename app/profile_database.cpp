// The profile database: loading the stored profiles (or converting the legacy "Profiles.dat"),
// recognising this host, asking the user when it looks changed, and writing the profiles back.
#include "app/profile_database.h"

#include <algorithm>

#include "app/file_util.h"
#include "app/folder_lookup.h"
#include "app/log.h"
#include "app/messages.h"
#include "app/preference_file.h"
#include "app/program_texts.h"
#include "app/registry.h"
#include "lang/ids.h"
#include "platform/afx/archive.h"
#include "platform/afx/file.h"
#include "platform/win32/win32.h"
#include "ui/confirm_profile_dialog.h"

IMPLEMENT_DYNAMIC(CProfileDatabase, CObject)

namespace {

constexpr const char16_t* kLegacyFileName = u"Profiles.dat";
constexpr LONG kFirstUnreadableLegacyVersion = 101;
constexpr UINT kLegacyBufferSize = 4096;

constexpr const char16_t* kLogCaptureFailed = u"{ProfileDatabase}: Failed to capture this computer's fingerprint.";
constexpr const char16_t* kLogNoComputerName =
    u"{ProfileDatabase}: This computer's name is unknown; it is neither matched with nor added to the profiles.";
constexpr const char16_t* kLogUpgradeFailed =
    u"{ProfileDatabase}: Failed to upgrade this computer profile during upgrade from old DB file.";
constexpr const char16_t* kLogWriteAfterUpgradeFailed =
    u"{ProfileDatabase}: Failed to write system profiles after upgrading database.";
constexpr const char16_t* kLogReadProfileFailed = u"{ProfileDatabase}: Failed to read profile: %s";
constexpr const char16_t* kLogLegacyReadFailed = u"Failed to read system profiles.";
constexpr const char16_t* kLogLegacyNotImported =
    u"{ProfileDatabase}: %s was not imported and is kept; the profiles are read from the registry.";
constexpr const char16_t* kLogLegacyNotDeleted = u"{ProfileDatabase}: Failed to delete %s.";
constexpr const char16_t* kLogLegacyKeptUnsaved =
    u"{ProfileDatabase}: The pref file could not be saved; %s is kept and converted again next time.";
constexpr const char16_t* kLogAddCaptureFailed =
    u"{ProfileDatabase}: Failed to capture computer fingerprint for this computer: %s";
constexpr const char16_t* kLogInvalidIndex =
    u"{ProfileDatabase}: Invalid profile index specified by confirm profile dialog.";
constexpr const char16_t* kLogUnsupportedChange =
    u"{ProfileDatabase}: Unsupported profile change type: %d for profile: %s";
constexpr const char16_t* kLogEmptyNickname = u"Empty nickname detected for profile: %s";
constexpr const char16_t* kLogNicknameSet = u"Set nickname to %s";

CString legacyFilePath() {
  return joinPath(CFolderLookup::getSynchronizedComputersPath(), CString(kLegacyFileName));
}

}  // namespace

CProfileDatabase& getProfileDatabase() {
  static CProfileDatabase database;
  return database;
}

LONG nextConflictIndex(const std::vector<std::unique_ptr<CSystemProfile>>& profiles, const CString& name,
                       const CSystemProfile* self) {
  bool taken = false;
  LONG largest = 0;
  for (const auto& p : profiles) {
    if (p.get() == self || !equalsNoCase(p->m_computerName, name)) continue;
    largest = taken ? std::max(largest, p->m_conflictIndex) : p->m_conflictIndex;
    taken = true;
  }
  return taken ? largest + 1 : 0;
}

CProfileDatabase::~CProfileDatabase() { deleteAllProfiles(); }

void CProfileDatabase::deleteAllProfiles() { m_profiles.clear(); }

CSystemProfile* CProfileDatabase::repairNickname(CSystemProfile* profile) {
  if (profile && profile->m_nickname.IsEmpty()) {
    const CString key = profile->getKey();
    writeLog(kLogEmptyNickname, key);
    profile->m_nickname = key;
    writeLog(kLogNicknameSet, key);
  }
  return profile;
}

CSystemProfile* CProfileDatabase::getThisComputerProfile() {
  for (const auto& p : m_profiles)
    if (p->isSameComputer(m_thisComputer)) return repairNickname(p.get());
  return nullptr;
}

CSystemProfile* CProfileDatabase::findByNickname(const CString& nickname) {
  for (const auto& p : m_profiles)
    if (equalsNoCase(p->m_nickname, nickname)) return p.get();
  return nullptr;
}

CSystemProfile* CProfileDatabase::findByKey(const CString& key) {
  for (const auto& p : m_profiles)
    if (equalsNoCase(p->getKey(), key)) return repairNickname(p.get());
  return nullptr;
}

CSystemProfile* CProfileDatabase::findByComputerName(const CString& name) {
  for (const auto& p : m_profiles)
    if (equalsNoCase(p->m_computerName, name)) return repairNickname(p.get());
  return nullptr;
}

CSystemProfile* CProfileDatabase::getLoginProfile() {
  for (const auto& p : m_profiles)
    if (p->isLoginComputer()) return p.get();
  CRegistry localPrefs(CString(kLocalPrefsKey), true, true);
  CString nickname;
  if (!localPrefs.getString(kLoginComputerValue, nickname)) return nullptr;
  CSystemProfile* profile = findByNickname(nickname);
  if (profile) profile->setLoginComputer(true);
  return profile;
}

bool CProfileDatabase::removeProfile(CSystemProfile* profile) {
  if (!profile || profile == getThisComputerProfile()) return false;
  auto it = std::find_if(m_profiles.begin(), m_profiles.end(), [&](const auto& p) { return p.get() == profile; });
  if (it == m_profiles.end()) return false;
  if (profile->isLoginComputer()) {
    if (CSystemProfile* self = getThisComputerProfile()) self->setLoginComputer(true);
  }
  m_profiles.erase(it);
  return true;
}

bool CProfileDatabase::writeSystemProfiles() {
  CPreferenceFile& prefs = getDevicePrefs();
  prefs.openSubkey(CString(kSystemProfilesKey));
  prefs.deleteKey();
  bool ok = true;
  for (const auto& p : m_profiles) ok = p->write() && ok;
  if (!ok) return false;
  // The legacy file goes only once its profiles were imported in this run and have reached the
  // drive's pref file: until then it is the drive's only record of them (an unplug before the
  // next save would lose every stored computer). A file that could not be read stays for a later
  // version to read.
  if (m_legacyImported) {
    const CString legacy = legacyFilePath();
    if (!getDevicePrefs().save()) {
      writeLog(kLogLegacyKeptUnsaved, legacy);
      return false;
    }
    if (fileExists(legacy) && !DeleteFileW(legacy.GetString())) writeLog(kLogLegacyNotDeleted, legacy);
    m_legacyImported = false;
  }
  return true;
}

void CProfileDatabase::Serialize(CArchive& ar) {
  if (ar.IsStoring()) return;
  m_legacyProfiles.clear();
  m_legacyComplete = false;
  int version = 0;
  ar >> version;
  m_archiveVersion = version;
  if (m_archiveVersion >= kFirstUnreadableLegacyVersion) {
    showMessageById(IDS_PROFILES_FILE_NEWER, g_applicationName);
    return;
  }
  DWORD count = 0;
  ar >> count;
  // Each record is read whole before the next; a count larger than the file runs into its end
  // and throws, so nothing is allocated ahead for it.
  for (DWORD i = 0; i < count; ++i) {
    auto profile = std::make_unique<CSystemProfile>();
    profile->Serialize(ar);
    m_legacyProfiles.push_back(std::move(profile));
  }
  m_legacyComplete = true;
}

bool CProfileDatabase::readSystemProfiles(const CString& file) {
  if (!fileExists(file)) return false;
  CFile in;
  if (!in.Open(file, CFile::modeRead | CFile::shareExclusive | CFile::typeBinary)) {
    writeLog(kLogLegacyReadFailed);
    return false;
  }
  bool read = false;
  try {
    CArchive ar(&in, CArchive::load, kLegacyBufferSize);
    Serialize(ar);
    ar.Close();
    read = m_legacyComplete;
  } catch (CException* e) {
    e->Delete();
    writeLog(kLogLegacyReadFailed);
  }
  in.Abort();
  if (!read) {
    m_legacyProfiles.clear();
    m_legacyComplete = false;
    return false;
  }
  m_profiles = std::move(m_legacyProfiles);
  m_legacyProfiles.clear();
  m_legacyComplete = false;
  m_legacyImported = true;
  return true;
}

bool CProfileDatabase::loadProfiles() {
  // Each opening of the device reads the list afresh.
  deleteAllProfiles();
  m_legacyImported = false;
  if (!m_thisComputer.captureFingerprint()) writeLog(kLogCaptureFailed);

  const CString legacy = legacyFilePath();
  bool fromLegacy = false;
  if (fileExists(legacy)) {
    if (readSystemProfiles(legacy)) {
      fromLegacy = true;
      if (CSystemProfile* self = getThisComputerProfile()) {
        if (!self->upgrade()) writeLog(kLogUpgradeFailed);
      }
      if (!writeSystemProfiles()) writeLog(kLogWriteAfterUpgradeFailed);
    } else {
      writeLog(kLogLegacyNotImported, legacy);
    }
  }
  if (!fromLegacy) {
    CPreferenceFile& prefs = getDevicePrefs();
    prefs.openSubkey(CString(kSystemProfilesKey));
    CStringList names;
    if (prefs.getSubkeyNames(names, false)) {
      for (POSITION pos = names.GetHeadPosition(); pos;) {
        const CString name = names.GetNext(pos);
        auto profile = std::make_unique<CSystemProfile>();
        const CString path = joinPath(CString(kSystemProfilesKey), name);
        if (!profile->read(path)) {
          writeLog(kLogReadProfileFailed, joinPath(CPreferenceFile::getPrefsRootPath(), path));
          continue;
        }
        m_profiles.push_back(std::move(profile));
      }
    }
  }

  // Without a name the host cannot be told apart from any other: matching it could rename a
  // stored profile to an empty key, and adding it would store a profile without a key.
  if (m_thisComputer.m_computerName.IsEmpty()) {
    writeLog(kLogNoComputerName);
    return true;
  }
  int index = -1;
  if (resolveChangedComputer(index) && index >= 0) writeSystemProfiles();
  if (addThisComputer()) writeSystemProfiles();
  return true;
}

bool CProfileDatabase::resolveChangedComputer(int& profileIndex) {
  profileIndex = -1;
  if (m_profiles.empty() || getThisComputerProfile()) return true;
  for (int i = 0; i < getProfileCount(); ++i) {
    CSystemProfile* profile = m_profiles[static_cast<size_t>(i)].get();
    const int flags = profile->compare(m_thisComputer);
    int changeType = -1;
    if (flags & CSystemProfile::kAllDrivesMatch) {
      if (flags & CSystemProfile::kSameName) return true;
      changeType = kChangeName;
    } else if (flags & CSystemProfile::kSomeDrivesMatch) {
      if (!(flags & CSystemProfile::kSameName)) return true;
      changeType = kChangeFingerprint;
    } else if (flags & CSystemProfile::kSameName) {
      profileIndex = i;
      return confirmProfileChange(profile, kChangeFingerprint);
    } else {
      continue;
    }
    if (confirmProfileChange(profile, changeType)) {
      profileIndex = i;
      return true;
    }
  }
  return true;
}

bool CProfileDatabase::confirmProfileChange(CSystemProfile* profile, int changeType) {
  (void)profile;  // the user picks the profile from the whole list
  CConfirmProfileDialog dialog(changeType, this, nullptr);
  dialog.DoModal();
  if (dialog.m_newComputer) return true;
  CSystemProfile* picked = getProfile(dialog.m_selectedIndex);
  if (!picked) {
    writeLog(kLogInvalidIndex);
    return false;
  }
  if (changeType == kChangeName) {
    if (!picked->changeComputerName()) {
      showMessageById(IDS_COMPUTER_NAME_UPDATE_FAILED, picked->m_nickname);
      return false;
    }
    return true;
  }
  if (changeType == kChangeFingerprint) {
    if (!picked->captureFingerprint()) {
      showMessageById(IDS_FINGERPRINT_UPDATE_FAILED, picked->m_nickname);
      return false;
    }
    return true;
  }
  writeLog(kLogUnsupportedChange, changeType, picked->getKey());
  return false;
}

void CProfileDatabase::assignConflictIndex(CSystemProfile& profile) const {
  const LONG index = nextConflictIndex(m_profiles, profile.m_computerName, &profile);
  if (index == 0) return;
  profile.m_conflictIndex = index;
  profile.m_nickname = profile.getKey();
}

bool CProfileDatabase::addThisComputer() {
  if (getThisComputerProfile()) return false;
  auto profile = std::make_unique<CSystemProfile>();
  if (!profile->captureFingerprint()) writeLog(kLogAddCaptureFailed, profile->getKey());
  if (profile->m_computerName.IsEmpty()) {
    writeLog(kLogNoComputerName);
    return false;
  }
  assignConflictIndex(*profile);
  profile->m_nickname = profile->getKey();
  m_profiles.push_back(std::move(profile));
  return true;
}

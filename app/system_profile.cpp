// A host computer's profile: its key and folder on the drive, its fingerprint, its stored form in
// the pref store and its record in the legacy profile file, and the change of its computer name.
#include "app/system_profile.h"

#include <string>

#include "app/file_operation.h"
#include "app/file_util.h"
#include "app/folder_lookup.h"
#include "app/log.h"
#include "app/messages.h"
#include "app/preference_file.h"
#include "app/profile_database.h"
#include "app/registry.h"
#include "lang/ids.h"
#include "platform/afx/archive.h"
#include "platform/win32/win32.h"

IMPLEMENT_DYNAMIC(CSystemProfile, CObject)

namespace {

constexpr const char16_t* kSynchronizedComputersKey = u"Synchronized Computers";
constexpr const char16_t* kDrivesKey = u"Drives";
constexpr const char16_t* kComputerNameValue = u"computerName";
constexpr const char16_t* kNicknameValue = u"nickName";
constexpr const char16_t* kConflictIndexValue = u"conflictIndex";
constexpr const char16_t* kUpgradeRequiredValue = u"upgradeRequired";
constexpr const char16_t* kPrefsVersionValue = u"prefsVersion";
constexpr const char16_t* kSyncMarkerSuffix = u".Sync";

constexpr const char16_t* kLogUpgradeFailed =
    u"{SystemProfile}: Failed to upgrade profile while reading profile preference.";
constexpr const char16_t* kLogKeyNotMoved = u"{SystemProfile}: Failed to move %s to %s.";
constexpr const char16_t* kLogFolderNotMoved = u"{SystemProfile}: Failed to move folder %s to %s.";

WCHAR lowerLetter(WCHAR c) { return c >= u'A' && c <= u'Z' ? static_cast<WCHAR>(c + (u'a' - u'A')) : c; }

CString hostComputerName() {
  WCHAR buffer[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
  if (!GetComputerNameW(buffer, &size)) return CString();
  return CString(buffer);
}

CString keyFor(const CString& computerName, LONG conflictIndex) {
  if (conflictIndex == 0) return computerName;
  CString key;
  key.Format(u"%s(%d)", computerName, conflictIndex);
  return key;
}

// Moves a pref key below Prefs to a sibling; a key that does not exist has nothing to move.
bool moveKey(const CString& relativePath, const CString& newName) {
  CRegistry key(joinPath(CPreferenceFile::getPrefsRootPath(), relativePath), false, true);
  if (!key.isOpen()) return true;
  if (key.renameKey(newName)) return true;
  writeLog(kLogKeyNotMoved, key.getPath(), newName);
  return false;
}

bool moveFolderOrFile(const CString& from, const CString& to) {
  if (MoveFileExW(from.GetString(), to.GetString(), 0)) return true;
  writeLog(kLogFolderNotMoved, from, to);
  return false;
}

}  // namespace

CString CSystemProfile::getKey() const { return keyFor(m_computerName, m_conflictIndex); }

CString CSystemProfile::getDeviceFolder() const {
  return joinPath(CFolderLookup::getSynchronizedComputersPath(), getKey());
}

bool CSystemProfile::deviceFolderExists() const { return directoryExists(getDeviceFolder()); }

void CSystemProfile::setLoginComputer(bool login) {
  m_loginComputer = login;
  if (!login) return;
  CRegistry localPrefs(CString(kLocalPrefsKey), true, true);
  localPrefs.setString(kLoginComputerValue, m_nickname);
}

bool CSystemProfile::captureFingerprint() {
  m_computerName = hostComputerName();
  if (m_computerName.IsEmpty()) return false;
  const CString devicePath = CFolderLookup::getDevicePath();
  const WCHAR deviceLetter = devicePath.IsEmpty() ? 0 : lowerLetter(devicePath[0]);

  WCHAR roots[512] = {};
  DWORD n = GetLogicalDriveStringsW(511, roots);
  if (n == 0 || n > 511) return false;
  m_drives.clear();
  for (const WCHAR* root = roots; *root; root += std::char_traits<char16_t>::length(root) + 1) {
    if (GetDriveTypeW(root) != DRIVE_FIXED) continue;
    const WCHAR letter = lowerLetter(root[0]);
    if (letter == deviceLetter) continue;  // the drive the program runs from is no part of the host
    m_drives.push_back({letter, getVolumeSerialNumber(CString(root))});
  }
  m_upgradeRequired = false;
  return true;
}

bool CSystemProfile::upgrade() {
  if (!captureFingerprint()) return false;
  m_upgradeRequired = false;
  return true;
}

int CSystemProfile::compare(const CSystemProfile& other) const {
  int flags = equalsNoCase(m_computerName, other.m_computerName) ? kSameName : 0;
  size_t matches = 0;
  for (size_t i = 0; i < m_drives.size() && i < other.m_drives.size(); ++i) {
    if (lowerLetter(m_drives[i].letter) == lowerLetter(other.m_drives[i].letter) &&
        m_drives[i].serial == other.m_drives[i].serial)
      ++matches;
  }
  if (matches == m_drives.size() && matches == other.m_drives.size())
    flags |= kAllDrivesMatch;
  else if (matches > 0)
    flags |= kSomeDrivesMatch;
  return flags;
}

bool CSystemProfile::isSameComputer(const CSystemProfile& other) const {
  const int flags = compare(other);
  return (flags & kSameName) && (flags & kAllDrivesMatch);
}

bool CSystemProfile::write() const {
  CPreferenceFile& prefs = getDevicePrefs();
  const CString path = joinPath(CString(kSystemProfilesKey), getKey());
  prefs.openSubkey(path);
  bool ok = prefs.setString(kComputerNameValue, m_computerName);
  ok = prefs.setString(kNicknameValue, m_nickname) && ok;
  ok = prefs.setDword(kConflictIndexValue, static_cast<DWORD>(m_conflictIndex)) && ok;
  ok = prefs.setBool(kUpgradeRequiredValue, m_upgradeRequired) && ok;
  // The key is made even without drives: a profile without one is read back, not dropped.
  const CString drivesPath = joinPath(path, CString(kDrivesKey));
  ok = CRegistry(joinPath(CPreferenceFile::getPrefsRootPath(), drivesPath), true, true).isOpen() && ok;
  prefs.openSubkey(drivesPath);
  for (const DriveEntry& drive : m_drives) {
    const WCHAR name[2] = {drive.letter, 0};
    ok = prefs.setDword(name, drive.serial) && ok;
  }
  return ok;
}

bool CSystemProfile::read(const CString& path) {
  CPreferenceFile& prefs = getDevicePrefs();
  m_drives.clear();
  prefs.openSubkey(path);
  bool ok = prefs.getString(kComputerNameValue, m_computerName);
  ok = prefs.getString(kNicknameValue, m_nickname) && ok;
  ok = prefs.getDword(kConflictIndexValue, m_conflictIndex) && ok;
  if (prefs.valueExists(kUpgradeRequiredValue)) {
    bool upgradeRequired = false;
    if (prefs.getBool(kUpgradeRequiredValue, upgradeRequired)) m_upgradeRequired = upgradeRequired;
  }

  prefs.openSubkey(joinPath(path, CString(kDrivesKey)));
  CStringList names;
  if (!prefs.getValueNames(names)) {
    ok = false;
  } else {
    for (POSITION pos = names.GetHeadPosition(); pos;) {
      const CString name = names.GetNext(pos);
      if (name.IsEmpty()) continue;
      DWORD serial = 0;
      if (!prefs.getDword(name.GetString(), serial)) {
        ok = false;
        continue;
      }
      m_drives.push_back({lowerLetter(name[0]), serial});
    }
  }

  // A profile converted from the legacy file carries only drive C; on that very host the full
  // fingerprint is taken now.
  if (m_upgradeRequired && !m_drives.empty() && m_drives[0].letter == u'c' && m_drives[0].serial != 0 &&
      m_drives[0].serial == getVolumeSerialNumber(CString(u"c:\\"))) {
    if (upgrade()) {
      prefs.openSubkey(path);
      prefs.deleteValue(kUpgradeRequiredValue);
    } else {
      writeLog(kLogUpgradeFailed);
    }
  }
  return ok;
}

bool CSystemProfile::changeComputerName() {
  const CString oldKey = getKey();
  const CString newName = hostComputerName();
  if (newName.IsEmpty()) return false;
  // The new key must not be that of another stored profile: a name already taken gets the next
  // conflict index, as a newly added computer would.
  CProfileDatabase& database = getProfileDatabase();
  const LONG newIndex = nextConflictIndex(database.profiles(), newName, this);
  const CString newKey = keyFor(newName, newIndex);

  // The folders are listed before anything moves, so a drive that cannot be listed leaves the
  // keys where they were as well.
  const CString computersFolder = CFolderLookup::getSynchronizedComputersPath();
  CStringArray folders;
  if (!listSubfolders(computersFolder, folders, true)) {
    showMessageById(IDS_LIST_COMPUTER_FOLDERS_FAILED);
    return false;
  }
  bool ok = moveKey(joinPath(CString(kSynchronizedComputersKey), oldKey), newKey);
  ok = moveKey(joinPath(CString(kSystemProfilesKey), oldKey), newKey) && ok;

  for (INT_PTR i = 0; i < folders.GetSize(); ++i) {
    const CString folder = folders[i];
    const CString name = getFileName(folder);
    if (!startsWithNoCase(name, oldKey)) continue;
    CSystemProfile* owner = database.findByKey(name);
    if (owner && owner != this) continue;  // another computer's folder (K(1) for K)
    const CString target = joinPath(computersFolder, newKey + name.Mid(oldKey.GetLength()));
    if (equalsNoCase(target, folder)) continue;
    ok = moveFolderOrFile(folder, target) && ok;
  }
  // The synchronize marker sits beside the folder, named after it: it stays with it.
  const CString marker = joinPath(computersFolder, oldKey + kSyncMarkerSuffix);
  if (fileExists(marker)) ok = moveFolderOrFile(marker, joinPath(computersFolder, newKey + kSyncMarkerSuffix)) && ok;

  m_computerName = newName;
  m_conflictIndex = newIndex;
  return ok;
}

void CSystemProfile::Serialize(CArchive& ar) {
  if (ar.IsStoring()) return;
  DWORD serial = 0;
  ar >> serial;
  ar >> m_computerName;
  LONG prefsVersion = 0;
  {
    CPreferenceFile& prefs = getDevicePrefs();
    const CString subkey = prefs.getSubkeyName();
    prefs.openRoot();
    if (!prefs.getDword(kPrefsVersionValue, prefsVersion)) prefsVersion = 0;
    prefs.openSubkey(subkey);
  }
  int conflictIndex = 0;
  if (prefsVersion >= 100) ar >> conflictIndex;
  m_conflictIndex = conflictIndex;
  BYTE ignored = 0;
  ar >> ignored;
  ar >> m_nickname;
  m_drives.assign(1, DriveEntry{u'c', serial});
  m_upgradeRequired = true;
}

// The snap-in base and its per-computer preferences (customizer.h).
#include "snapins/customizer.h"

#include "app/file_util.h"
#include "app/preference_file.h"
#include "app/profile_database.h"
#include "app/registry.h"
#include "app/system_profile.h"

namespace {

constexpr const char16_t* kSynchronizedComputersKey = u"Synchronized Computers";

// The store's subkey of one snap-in for one computer, below the store's root.
CString computerSnapinSubkey(const CSystemProfile& profile, const CCustomizer& customizer) {
  CString subkey;
  subkey.Format(u"%s\\%s\\%s", CString(kSynchronizedComputersKey), profile.getKey(), customizer.getName());
  return subkey;
}

}  // namespace

// ---- CCustomizerPrefs ---------------------------------------------------------------------------

bool CCustomizerPrefs::isDefault() const { return synchronize; }

void CCustomizerPrefs::setDefaults() { synchronize = true; }

bool CCustomizerPrefs::read(CSystemProfile* profile, CCustomizer* customizer) {
  if (!customizer || !profile) return false;
  CPreferenceFile& store = getDevicePrefs();
  if (!store.fileExists()) {
    setDefaults();
    return true;
  }
  store.openSubkey(computerSnapinSubkey(*profile, *customizer));
  bool value = synchronize;
  if (store.getBool(kSynchronizeValue, value)) synchronize = value;
  return true;
}

bool CCustomizerPrefs::write(CSystemProfile* profile, CCustomizer* customizer) {
  if (!customizer || !profile) return false;
  CPreferenceFile& store = getDevicePrefs();
  store.openSubkey(computerSnapinSubkey(*profile, *customizer));
  // Writes go by path, so a key that did not exist yet is created here.
  return store.setBool(kSynchronizeValue, synchronize);
}

// ---- CCustomizer ----------------------------------------------------------------------------------

IMPLEMENT_DYNAMIC(CCustomizer, CObject)

CCustomizer::CCustomizer(const CString& name) : m_name(name) {}

CCustomizer::~CCustomizer() = default;

bool CCustomizer::personalize() {
  if (getSourceState() < kSourceCarry) return false;
  setPersonalized(true);
  return true;
}

bool CCustomizer::postPersonalize() { return true; }
bool CCustomizer::preDepersonalize() { return true; }
bool CCustomizer::depersonalize() { return true; }
bool CCustomizer::backup() { return getSourceState() >= kSourceCarry; }

bool CCustomizer::restore() {
  setPersonalized(false);
  return true;
}

bool CCustomizer::leaveNoTrace() { return true; }
bool CCustomizer::preCalculateSyncOps(CSystemProfile*) { return true; }
bool CCustomizer::postCalculateSyncOps(int) { return true; }
bool CCustomizer::preExecuteSyncOps() { return true; }
bool CCustomizer::postExecuteSyncOps(CSystemProfile*, int) { return true; }
void CCustomizer::postSynchronize() {}

bool CCustomizer::savePrefs(CSystemProfile* profile) {
  if (!profile) return false;
  return getPrefs(profile).write(profile, this);
}

bool CCustomizer::loadPrefs(CSystemProfile* profile) {
  if (!profile) return false;
  return getPrefs(profile).read(profile, this);
}

ULONGLONG CCustomizer::getDeviceSpace(CSpaceRecord*) { return 0; }

bool CCustomizer::loadAllPrefs() {
  bool ok = true;
  for (auto& profile : getProfileDatabase().profiles()) {
    CSystemProfile* computer = profile.get();
    ok = getPrefs(computer).read(computer, this) && ok;
  }
  return ok;
}

bool CCustomizer::saveAllPrefs() {
  bool ok = true;
  for (auto& profile : getProfileDatabase().profiles()) {
    CSystemProfile* computer = profile.get();
    ok = getPrefs(computer).write(computer, this) && ok;
  }
  return ok;
}

bool CCustomizer::hasDefaultPrefs(CSystemProfile* profile) { return getPrefs(profile).isDefault(); }

void CCustomizer::setDefaultPrefs(CSystemProfile* profile) { getPrefs(profile).setDefaults(); }

bool CCustomizer::removeProfileData(CSystemProfile*) { return true; }

CString CCustomizer::getName() const { return m_name; }

void CCustomizer::setName(const CString& name) { m_name = name; }

int CCustomizer::getSourceState() { return kSourceCarry; }

bool CCustomizer::removeSourceData() { return true; }

bool CCustomizer::isSynchronized(CSystemProfile* profile) { return getPrefs(profile).synchronize; }

void CCustomizer::setSynchronized(CSystemProfile* profile, bool synchronize) {
  getPrefs(profile).synchronize = synchronize;
}

bool CCustomizer::getLastRestoreSucceeded() {
  CRegistry local(getLocalPrefsKey(), true, true);
  bool succeeded = true;
  if (!local.getBool(kLastRestoreSucceededValue, succeeded)) return true;
  return succeeded;
}

bool CCustomizer::setLastRestoreSucceeded(bool succeeded) {
  CRegistry local(getLocalPrefsKey(), true, true);
  return local.setBool(kLastRestoreSucceededValue, succeeded);
}

bool CCustomizer::isPersonalized() {
  CRegistry local(getLocalPrefsKey(), true, true);
  bool personalized = m_personalized;
  if (local.getBool(kPersonalizedValue, personalized)) m_personalized = personalized;
  return m_personalized;
}

CString CCustomizer::getComputerPrefsKey(CSystemProfile* profile) {
  if (!profile) return CString();
  return joinPath(CPreferenceFile::getComputerPrefsPath(*profile), m_name);
}

CString CCustomizer::getCurrentPrefsKey() {
  return getComputerPrefsKey(getProfileDatabase().getThisComputerProfile());
}

CString CCustomizer::getLocalPrefsKey() {
  return joinPath(joinPath(CString(kLocalPrefsKey), CString(kSnapinsKeyName)), m_name);
}

CString CCustomizer::getComputerFolder(CSystemProfile* profile) {
  if (!profile) return CString();
  return joinPath(profile->getDeviceFolder(), m_name);
}

bool CCustomizer::setPersonalized(bool personalized) {
  m_personalized = personalized;
  CRegistry local(getLocalPrefsKey(), true, true);
  return local.setBool(kPersonalizedValue, personalized);
}

CCustomizerPrefs& CCustomizer::getPrefs(CSystemProfile* profile) { return m_prefs[profile]; }

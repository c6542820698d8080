// Registry key snap-ins and the office recent-file lists (registry_key_customizer.h).
#include "snapins/registry_key_customizer.h"

#include "app/customizer_exception.h"
#include "app/file_util.h"
#include "app/log.h"
#include "app/profile_database.h"
#include "app/registry.h"

namespace {

constexpr const char16_t* kBackupKeyName = u"backup";
constexpr const char16_t* kOfficeKey = u"HKEY_CURRENT_USER\\Software\\Microsoft\\Office";

constexpr const char16_t* kLogRestoreReadFailed =
    u"{RegistryKeyCustomizer}: Failed to read backup registry during restore: %s.";
constexpr const char16_t* kLogNoCompleteBackup =
    u"{RegistryKeyCustomizer}: No complete backup to restore from: %s. The host key is left as it is.";

CString lastComponent(const CString& path) {
  const int slash = path.ReverseFind(u'\\');
  return slash < 0 ? path : path.Mid(slash + 1);
}

}  // namespace

CRegistryKeyCustomizer::CRegistryKeyCustomizer(const CString& name, const CString& keyPath,
                                               const CString& devicePrefsSubkey)
    : CCustomizer(name), m_keyPath(keyPath), m_devicePrefsSubkey(devicePrefsSubkey) {
  updateBackupKeyPath();
}

void CRegistryKeyCustomizer::updateBackupKeyPath() {
  m_backupKeyPath = joinPath(getBackupParentPath(), lastComponent(m_keyPath));
}

CString CRegistryKeyCustomizer::getBackupParentPath() { return joinPath(getLocalPrefsKey(), CString(kBackupKeyName)); }

void CRegistryKeyCustomizer::setKeyPath(const CString& keyPath) {
  m_keyPath = keyPath;
  updateBackupKeyPath();
}

void CRegistryKeyCustomizer::setName(const CString& name) {
  CCustomizer::setName(name);
  updateBackupKeyPath();
}

bool CRegistryKeyCustomizer::backup() {
  CRegistry mark(getBackupParentPath(), true, true);
  // Whatever was kept before no longer counts until this copy is whole.
  mark.deleteValue(kBackupCompleteValue);
  CRegistry host(m_keyPath, false, false);
  const bool holds = host.isOpen() && (host.getValueCount() != 0 || host.getSubkeyCount() != 0);
  if (holds) {
    if (!CRegistry::copyTree(m_keyPath, m_backupKeyPath)) return false;
  } else {
    CRegistry stale(m_backupKeyPath, false, true);
    if (stale.isOpen()) stale.deleteKey();
    CRegistry saved(m_backupKeyPath, true, true);
    if (!saved.setBool(kSourceExistsValue, false)) return false;
  }
  if (!mark.setBool(kBackupCompleteValue, true)) return false;
  return CCustomizer::backup();
}

int CRegistryKeyCustomizer::getSourceState() {
  CRegistry saved(m_backupKeyPath, true, true);
  bool exists = true;
  if (saved.getBool(kSourceExistsValue, exists) && !exists) return kSourcePresent;
  if (saved.getValueCount() > 0) return kSourcePresent;
  if (saved.getSubkeyCount() > 0) return kSourcePresent;
  return kSourceNothing;
}

bool CRegistryKeyCustomizer::restore() {
  bool result = false;
  CRegistry mark(getBackupParentPath(), false, false);
  bool complete = false;
  if (!mark.getBool(kBackupCompleteValue, complete) || !complete) {
    writeLog(kLogNoCompleteBackup, m_backupKeyPath);
  } else {
    CRegistry saved(m_backupKeyPath, true, true);
    bool exists = true;
    if (saved.getBool(kSourceExistsValue, exists) && !exists) {
      CRegistry host(m_keyPath, false, true);
      if (host.isOpen()) host.deleteKey();
      CRegistry recreated(m_keyPath, true, true);
      result = true;
    } else {
      result = CRegistry::copyTree(m_backupKeyPath, m_keyPath);
      if (!result) writeLog(kLogRestoreReadFailed, m_backupKeyPath);
    }
  }
  setPersonalized(false);
  return result;
}

bool CRegistryKeyCustomizer::saveKeyToDevice() {
  if (m_devicePrefsSubkey.IsEmpty()) return true;
  CSystemProfile* self = getProfileDatabase().getThisComputerProfile();
  if (!self) throw new CCustomizerException(CString(u"Null pointer"));
  const CString deviceKey = joinPath(getCurrentPrefsKey(), m_devicePrefsSubkey);
  if (isSynchronized(self)) return CRegistry::copyTree(m_keyPath, deviceKey);
  CRegistry device(deviceKey, false, true);
  return !device.isOpen() || device.deleteKey();
}

bool CRegistryKeyCustomizer::postExecuteSyncOps(CSystemProfile*, int) { return saveKeyToDevice(); }

bool CRegistryKeyCustomizer::removeSourceData() {
  CRegistry saved(getBackupParentPath(), false, true);
  return !saved.isOpen() || saved.deleteKey();
}

// ---- the office programs ------------------------------------------------------------------------

int officeVersionFromCurVer(const CString& program, const CString& curVer) {
  CString prefix;
  prefix.Format(u"%s.Application.", program);
  if (curVer.GetLength() < prefix.GetLength() || curVer.Left(prefix.GetLength()).Compare(prefix) != 0) return 0;
  const CString rest = curVer.Mid(prefix.GetLength());
  if (rest.Compare(u"7") == 0) return 1;
  if (rest.Compare(u"8") == 0) return 2;
  if (rest.Compare(u"9") == 0) return 3;
  if (rest.Compare(u"10") == 0) return 4;
  if (rest.Compare(u"11") == 0) return 5;
  return 0;
}

CString officeVersionName(int version) {
  switch (version) {
    case 1: return CString(u"7.0");
    case 2: return CString(u"8.0");
    case 3: return CString(u"9.0");
    case 4: return CString(u"10.0");
    case 5: return CString(u"11.0");
    default: return CString(u"Unknown");
  }
}

CString officeKeyOf(const CString& program) {
  CString curVerKey;
  curVerKey.Format(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\%s.Application\\CurVer", program);
  CRegistry classes(curVerKey, false, false);
  CString curVer;
  if (!classes.getString(u"", curVer)) return CString();
  const int version = officeVersionFromCurVer(program, curVer);
  if (version == 0) return CString();
  return joinPath(joinPath(CString(kOfficeKey), officeVersionName(version)), program);
}

CMsWordCustomizer::CMsWordCustomizer()
    : CRegistryKeyCustomizer(CString(u"Microsoft Word"), joinPath(officeKeyOf(CString(u"Word")), CString(u"Data")),
                             CString()) {}

CMsExcelCustomizer::CMsExcelCustomizer()
    : CRegistryKeyCustomizer(CString(u"Microsoft Excel"),
                             joinPath(officeKeyOf(CString(u"Excel")), CString(u"Recent Files")), CString()) {}

CMsPowerPointCustomizer::CMsPowerPointCustomizer()
    : CRegistryKeyCustomizer(CString(u"Microsoft PowerPoint"),
                             joinPath(officeKeyOf(CString(u"PowerPoint")), CString(u"Recent File List")), CString()) {}

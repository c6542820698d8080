// Registry value snap-ins and the history-folder snap-ins (registry_value_customizer.h).
#include "snapins/registry_value_customizer.h"

#include "app/customizer_exception.h"
#include "app/file_operation.h"
#include "app/file_util.h"
#include "app/log.h"
#include "app/messages.h"
#include "app/profile_database.h"
#include "app/registry.h"
#include "app/system_profile.h"
#include "lang/ids.h"

namespace {

constexpr const char16_t* kBackupKeyName = u"backup";
constexpr const char16_t* kHistoryIe5 = u"History.IE5";
constexpr const char16_t* kHistoryValueOnPersonalize = u"history";

constexpr const char16_t* kLogNoDeviceHistory =
    u"{HistoryCacheCustomizer}: Failed to list synchronized history files on device. Device is not available.";
constexpr const char16_t* kLogListDeviceHistoryFailed =
    u"{HistoryCacheCustomizer}: Failed to list synchronized history files on device.";

}  // namespace

// ---- CRegistryValueCustomizer -------------------------------------------------------------------

CRegistryValueCustomizer::CRegistryValueCustomizer(const CString& name, const CString& keyPath,
                                                   const CString& devicePrefsSubkey, const CString& valueName)
    : CCustomizer(name), m_keyPath(keyPath), m_devicePrefsSubkey(devicePrefsSubkey), m_valueName(valueName) {
  m_backupKeyPath = joinPath(getLocalPrefsKey(), CString(kBackupKeyName));
}

void CRegistryValueCustomizer::setName(const CString& name) {
  CCustomizer::setName(name);
  m_backupKeyPath = joinPath(getLocalPrefsKey(), CString(kBackupKeyName));
}

CString CRegistryValueCustomizer::getDeviceKey(CSystemProfile* profile) {
  if (!profile) return CString();
  return joinPath(getComputerPrefsKey(profile), m_devicePrefsSubkey);
}

bool CRegistryValueCustomizer::backup() {
  if (m_keyPath.IsEmpty() || m_backupKeyPath.IsEmpty()) return false;
  CRegistry host(m_keyPath, true, true);
  if (host.valueExists(m_valueName)) {
    if (!host.copyValueTo(m_valueName, m_backupKeyPath)) return false;
  } else {
    CRegistry saved(m_backupKeyPath, true, true);
    if (!saved.setString(m_valueName, CString(kValueDoesNotExist))) return false;
  }
  return CCustomizer::backup();
}

int CRegistryValueCustomizer::getSourceState() {
  CRegistry saved(m_backupKeyPath, false, false);
  return saved.isOpen() && saved.valueExists(m_valueName) ? kSourcePresent : kSourceNothing;
}

bool CRegistryValueCustomizer::personalize() {
  setPersonalized(false);
  CRegistry device(getDeviceKey(getProfileDatabase().getLoginProfile()), false, false);
  if (!device.isOpen() || !device.valueExists(m_valueName)) return true;
  setPersonalized(true);
  return device.copyValueTo(m_valueName, m_keyPath);
}

bool CRegistryValueCustomizer::restore() {
  setPersonalized(false);
  CRegistry saved(m_backupKeyPath, false, false);
  CString text;
  if (saved.getString(m_valueName, text) && text.Compare(kValueDoesNotExist) == 0) {
    CRegistry host(m_keyPath, false, true);
    return !host.isOpen() || host.deleteValue(m_valueName);
  }
  if (!saved.isOpen()) return false;
  return saved.copyValueTo(m_valueName, m_keyPath);
}

bool CRegistryValueCustomizer::postExecuteSyncOps(CSystemProfile*, int) {
  CSystemProfile* self = getProfileDatabase().getThisComputerProfile();
  if (!self) throw new CCustomizerException(CString(u"Null pointer"));
  const CString deviceKey = joinPath(getCurrentPrefsKey(), m_devicePrefsSubkey);
  if (!isSynchronized(self)) {
    CRegistry device(deviceKey, false, true);
    return !device.isOpen() || device.deleteValue(m_valueName);
  }
  CRegistry host(m_keyPath, false, false);
  return host.copyValueTo(m_valueName, deviceKey);
}

// ---- history on the drive -----------------------------------------------------------------------

CString deviceHistoryFolder(CSystemProfile* profile) {
  if (!profile) return CString();
  return joinPath(profile->getDeviceFolder(), loadResString(IDS_FOLDER_WORD_HISTORY));
}

bool hasDeviceHistory() {
  const CString folder = deviceHistoryFolder(getProfileDatabase().getLoginProfile());
  const CString ie5 = joinPath(folder, CString(kHistoryIe5));
  if (folder.IsEmpty() || !directoryExists(ie5)) {
    writeLog(kLogNoDeviceHistory);
    return false;
  }
  CStringArray files;
  if (!listFiles(ie5, files, true, true)) {
    writeLog(kLogListDeviceHistoryFailed);
    return false;
  }
  return files.GetSize() > 0;
}

// ---- the history-folder snap-ins ----------------------------------------------------------------

bool CHistoryCustomizer::pointAtDeviceHistory(bool withoutHistory) {
  if (!hasDeviceHistory()) return withoutHistory;
  setPersonalized(true);
  CRegistry host(m_keyPath, true, true);
  return host.setString(kHistoryValueOnPersonalize, deviceHistoryFolder(getProfileDatabase().getLoginProfile()));
}

CHistoryUserCustomizer::CHistoryUserCustomizer()
    : CHistoryCustomizer(CString(u"History User"), CString(kUserShellFoldersKey), CString(), CString(u"History")) {}

bool CHistoryUserCustomizer::personalize() {
  try {
    return pointAtDeviceHistory(true);
  } catch (CException* e) {
    e->Delete();
    return false;
  } catch (...) {
    return false;
  }
}

CHistoryShellCustomizer::CHistoryShellCustomizer()
    : CHistoryCustomizer(CString(u"History Shell"), CString(kShellFoldersKey), CString(), CString(u"History")) {}

bool CHistoryShellCustomizer::personalize() { return pointAtDeviceHistory(false); }

CHistoryDaysCustomizer::CHistoryDaysCustomizer()
    : CRegistryValueCustomizer(CString(u"History Days"), CString(kUrlHistoryKey), CString(), CString(u"DaysToKeep")) {}

CHomePageCustomizer::CHomePageCustomizer()
    : CRegistryValueCustomizer(CString(u"Home Page"), CString(kBrowserMainKey), CString(), CString(u"Start Page")) {}

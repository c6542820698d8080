// The Outlook signature snap-in (outlook_signature_customizer.h).
#include "outlook/outlook_signature_customizer.h"

#include "app/file_operation.h"
#include "app/file_util.h"
#include "app/folder_lookup.h"
#include "app/log.h"
#include "app/profile_database.h"
#include "app/registry.h"
#include "app/system_profile.h"
#include "outlook/outlook_customizer_base.h"
#include "snapins/factory_context.h"
#include "snapins/space_man.h"

namespace {

constexpr const char16_t* kAppDataValue = u"AppData";
constexpr const char16_t* kMicrosoftFolder = u"Microsoft";
constexpr const char16_t* kSignaturesFolder = u"Signatures";
constexpr const char16_t* kBackupFolder = u"qx_Signatures";

constexpr const char16_t* kLogBackupFailed = u"{OutlookSignatureCustomizer}: Failed to backup: %s";
constexpr const char16_t* kLogRestoreFailed = u"{OutlookSignatureCustomizer}: Failed to restore: %s";

CString microsoftFolder() {
  return joinPath(CFolderLookup::getShellFolder(CString(kAppDataValue)), CString(kMicrosoftFolder));
}

}  // namespace

int CSignatureSynchronizer::calculateSyncOps(CSpaceRecord* record, DWORD mode) {
  currentRecord = record;
  byteCount = 0;
  if (!m_owner.isAvailable() || !m_owner.isPersonalized()) return kSyncDone;
  // The host folder holds the login computer's signatures: they go back where they came from.
  const CString target =
      COutlookSignatureCustomizer::getDeviceSignaturesFolder(getProfileDatabase().getLoginProfile());
  if (!target.IsEmpty()) setTargetPath(target);
  if (getTargetPath().IsEmpty()) return kSyncDone;
  return CSimpleSynchronizer::calculateSyncOps(record, mode);
}

COutlookSignatureCustomizer::COutlookSignatureCustomizer()
    : CCustomizer(CString(kOutlookSignatureCustomizerName)), m_document(factoryDocument()), m_synchronizer(*this) {
  m_synchronizer.setSourcePath(getSignaturesFolder());
  m_synchronizer.setTargetPath(getDeviceSignaturesFolder(getProfileDatabase().getThisComputerProfile()));
  if (CSpaceMan* spaceMan = factorySpaceMan()) spaceMan->addSynchronizer(this, &m_synchronizer);
}

COutlookSignatureCustomizer::~COutlookSignatureCustomizer() = default;

CString COutlookSignatureCustomizer::getSignaturesFolder() { return joinPath(microsoftFolder(), CString(kSignaturesFolder)); }

CString COutlookSignatureCustomizer::getBackupFolder() { return joinPath(microsoftFolder(), CString(kBackupFolder)); }

CString COutlookSignatureCustomizer::getDeviceSignaturesFolder(CSystemProfile* profile) {
  if (!profile) return CString();
  return joinPath(profile->getDeviceFolder(), CString(kSignaturesFolder));
}

bool COutlookSignatureCustomizer::isAvailable() const {
  COutlookCustomizerBase* outlook = findOutlookCustomizer(m_document);
  return outlook && outlook->isSupportedOutlookVersion();
}

bool COutlookSignatureCustomizer::isApplicable() const {
  COutlookCustomizerBase* outlook = findOutlookCustomizer(m_document);
  return outlook && outlook->isSupportedOutlookVersion() &&
         outlook->drivePstExists(getProfileDatabase().getLoginProfile());
}

bool COutlookSignatureCustomizer::backupSignatures() {
  const CString signatures = getSignaturesFolder();
  const CString backup = getBackupFolder();
  CRegistry local(getLocalPrefsKey(), true, true);
  // A parked folder an unfinished restore left is the host's own: it is kept, never copied over.
  if (directoryExists(backup)) return local.setBool(kNoHostSignaturesValue, false);
  const bool hostHasNone = !directoryExists(signatures);
  // Remembered before anything changes, so a restore after a crash knows the folder is not the
  // host's.
  if (!local.setBool(kNoHostSignaturesValue, hostHasNone)) return false;
  if (hostHasNone) return true;
  if (!createDirectoryTree(backup) || !replaceFolderContentsByCopy(signatures, backup)) {
    writeLog(kLogBackupFailed, signatures);
    return false;
  }
  return true;
}

bool COutlookSignatureCustomizer::putSignaturesInPlace() {
  const CString signatures = getSignaturesFolder();
  const CString device = getDeviceSignaturesFolder(getProfileDatabase().getLoginProfile());
  if (!device.IsEmpty() && directoryExists(device)) {
    if (!directoryExists(signatures) && !createDirectoryTree(signatures)) return false;
    return replaceFolderContentsByCopy(device, signatures);
  }
  if (!directoryExists(signatures)) return true;
  return deleteFolderContents(signatures);
}

bool COutlookSignatureCustomizer::restoreSignatures() {
  const CString signatures = getSignaturesFolder();
  const CString backup = getBackupFolder();
  CRegistry local(getLocalPrefsKey(), true, true);
  bool hostHadNone = false;
  if (!local.getBool(kNoHostSignaturesValue, hostHadNone)) hostHadNone = false;
  if (directoryExists(backup) && directoryExists(signatures)) {
    if (!deleteFolder(signatures) || !renameFileOp(backup, signatures)) {
      writeLog(kLogRestoreFailed, signatures);
      return false;
    }
  } else if (hostHadNone && directoryExists(signatures)) {
    if (!deleteFolder(signatures)) {
      writeLog(kLogRestoreFailed, signatures);
      return false;
    }
  }
  local.deleteValue(kNoHostSignaturesValue);
  return true;
}

bool COutlookSignatureCustomizer::personalize() {
  if (getSourceState() < kSourceCarry) return false;
  if (!isApplicable()) return true;
  if (!putSignaturesInPlace()) return false;
  setPersonalized(true);
  return true;
}

bool COutlookSignatureCustomizer::backup() {
  if (!isApplicable()) return true;
  if (!backupSignatures()) return false;
  return CCustomizer::backup();
}

bool COutlookSignatureCustomizer::restore() {
  if (!restoreSignatures()) return false;
  setPersonalized(false);
  return true;
}

bool COutlookSignatureCustomizer::preExecuteSyncOps() { return true; }

bool COutlookSignatureCustomizer::postExecuteSyncOps(CSystemProfile*, int) { return true; }

void COutlookSignatureCustomizer::postSynchronize() {}

bool COutlookSignatureCustomizer::savePrefs(CSystemProfile* profile) { return CCustomizer::savePrefs(profile); }

bool COutlookSignatureCustomizer::loadPrefs(CSystemProfile* profile) { return CCustomizer::loadPrefs(profile); }

ULONGLONG COutlookSignatureCustomizer::getDeviceSpace(CSpaceRecord* record) {
  if (!isAvailable() || !record || !record->profile) return 0;
  const CString folder = getDeviceSignaturesFolder(record->profile);
  return directoryExists(folder) ? getFolderSize(folder, true) : 0;
}

bool COutlookSignatureCustomizer::loadAllPrefs() {
  const bool ok = CCustomizer::loadAllPrefs();
  if (isAvailable())
    if (CSystemProfile* self = getProfileDatabase().getThisComputerProfile()) m_synchronizeFlag = isSynchronized(self);
  return ok;
}

bool COutlookSignatureCustomizer::saveAllPrefs() { return CCustomizer::saveAllPrefs(); }

int COutlookSignatureCustomizer::getSourceState() {
  if (!isAvailable()) return kSourceCarry;
  if (directoryExists(getBackupFolder()) || !directoryExists(getSignaturesFolder())) return kSourcePresent;
  return kSourceNothing;
}

bool COutlookSignatureCustomizer::isSynchronized(CSystemProfile* profile) {
  return isAvailable() && CCustomizer::isSynchronized(profile);
}

void COutlookSignatureCustomizer::setSynchronized(CSystemProfile* profile, bool synchronize) {
  CCustomizer::setSynchronized(profile, synchronize);
  if (isAvailable()) m_synchronizeFlag = synchronize;
}

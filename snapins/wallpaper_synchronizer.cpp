// The wallpaper's synchronizer (wallpaper_synchronizer.h).
#include "snapins/wallpaper_synchronizer.h"

#include <memory>

#include "app/file_util.h"
#include "app/log.h"
#include "app/preference_file.h"
#include "app/profile_database.h"
#include "app/system_profile.h"
#include "snapins/file_synchronizer.h"
#include "snapins/space_man.h"
#include "snapins/wallpaper_customizer.h"

namespace {

constexpr const char16_t* kLogSyncCapture = u"{WALLPAPER}: Failed to capture wallpaper preferences for synchronize.";

LONGLONG onDriveSize(const CString& path) {
  return fileExists(path) ? static_cast<LONGLONG>(getFileSize(path, true)) : 0;
}

// The host image is newer than its copy on the drive (beyond the drive's 2-second time grain).
bool isNewerThanCopy(const CString& hostImage, const CString& driveImage) {
  const LONG host = getFileModificationTime(hostImage);
  const LONG drive = getFileModificationTime(driveImage);
  return host > drive && differsByMoreThan(host, drive, kSyncTimeTolerance);
}

}  // namespace

bool CWallpaperSynchronizer::addOp(DWORD kind, const CString& a, const CString& b, LONGLONG delta) {
  m_plannedBytes += delta;
  byteCount = m_plannedBytes;
  if (!currentRecord) return false;
  return currentRecord->addSyncOp(std::make_unique<CFileSyncOp>(kind, this, delta, a, b));
}

int CWallpaperSynchronizer::calculateSyncOps(CSpaceRecord* record, DWORD mode) {
  if (!record) return kSyncFailed;
  currentRecord = record;
  if (mode == kSyncDriveToHost) return kSyncDone;
  m_plannedBytes = 0;
  byteCount = 0;
  CWallpaperPrefs host(m_customizer);
  if (!m_customizer || !host.capture()) {
    writeLog(kLogSyncCapture);
    return kSyncFailed;
  }
  CSystemProfile* profile = record->profile;
  const CString oldImage = m_customizer->getComputerWallpaperPath(profile);
  const bool oldExists = !oldImage.IsEmpty() && fileExists(oldImage);
  bool ok = true;
  if (host.wallpaperPath.IsEmpty()) {
    if (oldExists) ok = addOp(kFileOpDeleteOnDrive, oldImage, oldImage, -onDriveSize(oldImage));
  } else if (profile) {
    const CString newImage = joinPath(profile->getDeviceFolder(), getFileName(host.wallpaperPath));
    const bool newExists = fileExists(newImage);
    if (m_customizer->isSynchronized(profile)) {
      // A copy on the drive of an image since changed under the same name is replaced too.
      if ((!newExists || isNewerThanCopy(host.wallpaperPath, newImage)) && !equalsNoCase(host.wallpaperPath, newImage))
        ok = addOp(kFileOpHostToDrive, host.wallpaperPath, newImage,
                   onDriveSize(host.wallpaperPath) - onDriveSize(newImage)) && ok;
      if (oldExists && !equalsNoCase(oldImage, newImage))
        ok = addOp(kFileOpDeleteOnDrive, oldImage, oldImage, -onDriveSize(oldImage)) && ok;
    } else if (newExists) {
      ok = addOp(kFileOpDeleteOnDrive, newImage, newImage, -onDriveSize(host.wallpaperPath)) && ok;
    }
  }
  record->setPlannedBytes(m_plannedBytes);
  return ok ? kSyncDone : kSyncFailed;
}

int CWallpaperSynchronizer::executeSyncOp(CSyncOp* op, DWORD mode) {
  if (currentRecord && currentRecord->isCancelled()) return kSyncCancelled;
  if (!op) return kSyncFailed;
  auto* fileOp = dynamic_cast<CFileSyncOp*>(op);
  if (!fileOp) return kSyncNotMine;
  return fileOp->perform(mode, nullptr);
}

bool CWallpaperSynchronizer::postExecuteSyncOps(bool, int result) {
  return postExecute(getProfileDatabase().getThisComputerProfile(), result);
}

bool CWallpaperSynchronizer::postExecute(CSystemProfile*, int result) {
  if (result != kSyncDone) return true;
  CWallpaperPrefs host(m_customizer);
  if (!m_customizer || !host.capture()) {
    writeLog(kLogSyncCapture);
    return false;
  }
  // The host's wallpaper is this computer's, whichever computer the run was for.
  CSystemProfile* self = getProfileDatabase().getThisComputerProfile();
  if (!self || !m_customizer->writeComputerPrefs(self, host)) return false;
  return getDevicePrefs().save();
}

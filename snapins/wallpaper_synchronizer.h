// The wallpaper's synchronizer: a run copies the host's current wallpaper image into the drive
// folder of the record's computer (and deletes the image it replaces there), and at the end of a
// successful run stores the host's wallpaper settings in the device pref store. Ops are
// CFileSyncOps executed by the file synchronizer's executor, without a snapshot: the image on
// the drive is compared with the host's by name and time only.
#pragma once

#include "platform/afx/cstring.h"
#include "platform/base/types.h"
#include "snapins/sync_spec.h"

class CSystemProfile;
class CWallpaperCustomizer;

class CWallpaperSynchronizer : public CSynchronizer {
 public:
  explicit CWallpaperSynchronizer(CWallpaperCustomizer* owner) : m_customizer(owner) {}

  // Mode 0 plans nothing. Otherwise captures the host's wallpaper and plans, for the record's
  // computer: the copy of the host image into its drive folder (when the folder lacks it or holds
  // an older one), the delete of the image it replaces, or, for a computer not synchronized, the
  // delete of the image. kSyncFailed when the host cannot be read, else kSyncDone.
  int calculateSyncOps(CSpaceRecord* record, DWORD mode) override;
  bool preExecuteSyncOps() override { return true; }
  // The slot of the protocol: the same as postExecute for this computer's profile.
  bool postExecuteSyncOps(bool succeeded, int result) override;
  // After a run that succeeded (result 1): captures the host's wallpaper into this computer's
  // prefs in the device store and saves the pref file (the save's result). Other runs: true.
  bool postExecute(CSystemProfile* profile, int result);
  // kSyncCancelled when the run is cancelled, kSyncFailed for no op, kSyncNotMine for an op that
  // is not a file op, else the file op carried out in the mode.
  int executeSyncOp(CSyncOp* op, DWORD mode) override;
  LONGLONG getByteCount() override { return m_plannedBytes; }

 private:
  // Queues a file op of the kind with the delta, adding the delta to the planned bytes.
  bool addOp(DWORD kind, const CString& a, const CString& b, LONGLONG delta);

  CWallpaperCustomizer* m_customizer;  // not owned: the snap-in that embeds this
  LONGLONG m_plannedBytes = 0;
};

// Recent documents: the shortcuts Windows adds to the user's Recent folder while the user works
// on a host are taken away again at logout. Backup records what the folder held before login as a
// snapshot file; leave-no-trace deletes every entry the snapshot does not hold.
#pragma once

#include "platform/afx/cstring.h"
#include "snapins/customizer.h"

class CRecentDocsCustomizer : public CCustomizer {
 public:
  CRecentDocsCustomizer();

  // Writes the snapshot of the Recent folder; then the base backup.
  bool backup() override;
  // Deletes the entries of the Recent folder that the snapshot does not hold; false without a
  // readable snapshot (nothing is deleted then).
  bool leaveNoTrace() override;

  // The Recent folder's backup snapshot: "Backup2\<Recent folder name>_backup.snap".
  static CString getBackupSnapshotPath();
};

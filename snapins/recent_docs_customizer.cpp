// Recent documents (recent_docs_customizer.h).
#include "snapins/recent_docs_customizer.h"

#include "app/file_operation.h"
#include "app/file_util.h"
#include "app/folder_lookup.h"
#include "app/log.h"
#include "snapins/sync_snapshot.h"

namespace {

constexpr const char16_t* kSnapshotSuffix = u"_backup.snap";
constexpr const char16_t* kLogReadFailed = u"{RecentDocs}: Failed to read backup snapshot: %s.";
constexpr const char16_t* kLogDeleteFailed = u"{RecentDocs}: Failed to delete file during leave no trace: %s";

}  // namespace

CRecentDocsCustomizer::CRecentDocsCustomizer() : CCustomizer(CString(u"Recent Documents")) {}

CString CRecentDocsCustomizer::getBackupSnapshotPath() {
  return joinPath(CFolderLookup::getBackupPath(), getFileName(CFolderLookup::getRecentPath()) + kSnapshotSuffix);
}

bool CRecentDocsCustomizer::backup() {
  CSyncSnapshot snapshot;
  if (!snapshot.buildFromFolder(CFolderLookup::getRecentPath())) return false;
  if (!snapshot.write(getBackupSnapshotPath(), true)) return false;
  return CCustomizer::backup();
}

bool CRecentDocsCustomizer::leaveNoTrace() {
  const CString snapshotPath = getBackupSnapshotPath();
  CSyncSnapshot snapshot;
  if (!snapshot.read(snapshotPath)) {
    writeLog(kLogReadFailed, snapshotPath);
    return false;
  }
  CStringArray entries;
  listFolder(CFolderLookup::getRecentPath(), entries, true);
  for (INT_PTR i = 0; i < entries.GetSize(); ++i) {
    const CString& path = entries[i];
    if (snapshot.findByHostPath(path)) continue;
    if (!deleteFileOp(path)) writeLog(kLogDeleteFailed, path);
  }
  return true;
}

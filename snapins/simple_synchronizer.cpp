// Whole-folder mirrors and their archive variant (simple_synchronizer.h).
#include "snapins/simple_synchronizer.h"

#include <set>
#include <string>

#include "app/file_operation.h"
#include "app/file_util.h"
#include "app/folder_lookup.h"
#include "app/log.h"
#include "app/messages.h"
#include "app/customizer_exception.h"
#include "lang/ids.h"
#include "platform/afx/exception.h"
#include "snapins/space_man.h"

namespace {

constexpr const char16_t* kLogUntarFailed = u"{TarSimpleSynchronizer}: Failed to untar %s to %s.";
constexpr const char16_t* kLogExecuteException = u"{TarSimpleSynchronizer}: %s";
constexpr const char16_t* kLogExecuteUndefined = u"{CTarSimpleSynchronizer::executeSyncOp}: Caught undefined exception.";
constexpr const char16_t* kTarExtension = u".tar";

// A path as a key that ignores case, as Windows compares names.
std::u16string foldedKey(const CString& path) {
  CString folded = path;
  folded.MakeLower();
  return std::u16string(folded.GetString());
}

LONGLONG driveSize(const CString& path) {
  return fileExists(path) ? static_cast<LONGLONG>(getFileSize(path, true)) : 0;
}

}  // namespace

// ---- CSimpleSynchronizer --------------------------------------------------------------------------

bool CSimpleSynchronizer::isExcluded(const CString& path) const {
  if (isDesktopIniFile(path)) return true;
  for (int i = 0; i < m_excludedPaths.GetSize(); ++i) {
    const CString& excluded = m_excludedPaths[i];
    if (excluded.IsEmpty()) continue;
    if (equalsNoCase(path, excluded) || startsWithNoCase(path, excluded + u"\\")) return true;
  }
  return false;
}

int CSimpleSynchronizer::planMirror(CSpaceRecord* record, const CString& source, const CString& target) {
  CStringArray sourceFiles;
  if (!listFiles(source, sourceFiles, true, true)) return kSyncFailed;
  // The target names the mirror keeps, so every other target file is planned for deletion.
  std::set<std::u16string> kept;
  for (int i = 0; i < sourceFiles.GetSize(); ++i) {
    if (record && record->isCancelled()) return kSyncCancelled;
    const CString& file = sourceFiles[i];
    const CString relative = getRelativePath(file, source);
    if (relative.IsEmpty() || isExcluded(file)) continue;
    const CString targetFile = joinPath(target, relative);
    kept.insert(foldedKey(relative));
    if (!fileExists(targetFile) || compareFileTimes(file, targetFile) > 0) addCopyOp(record, file, targetFile);
  }
  if (!directoryExists(target)) return kSyncDone;
  CStringArray targetFiles;
  if (!listFiles(target, targetFiles, true, true)) return kSyncFailed;
  for (int i = 0; i < targetFiles.GetSize(); ++i) {
    const CString& file = targetFiles[i];
    const CString relative = getRelativePath(file, target);
    if (relative.IsEmpty() || kept.count(foldedKey(relative))) continue;
    addDeleteOp(record, file);
  }
  return kSyncDone;
}

int CSimpleSynchronizer::calculateSyncOps(CSpaceRecord* record, DWORD) {
  currentRecord = record;
  byteCount = 0;
  if (enabled) return planMirror(record, m_sourceFolder, m_targetFolder);
  if (!directoryExists(m_targetFolder)) return kSyncDone;
  CStringArray targetFiles;
  if (!listFiles(m_targetFolder, targetFiles, true, true)) return kSyncFailed;
  for (int i = 0; i < targetFiles.GetSize(); ++i) addDeleteOp(record, targetFiles[i]);
  return kSyncDone;
}

bool CSimpleSynchronizer::addCopyOp(CSpaceRecord* record, const CString& sourceFile, const CString& targetFile) {
  const LONGLONG delta = driveSize(sourceFile) - driveSize(targetFile);
  byteCount += delta;
  auto op = std::make_unique<CFileSyncOp>(kFileOpHostToDrive, this, delta, sourceFile, targetFile);
  return record && record->addSyncOp(std::move(op));
}

bool CSimpleSynchronizer::addDeleteOp(CSpaceRecord* record, const CString& targetFile) {
  const LONGLONG delta = -driveSize(targetFile);
  byteCount += delta;
  auto op = std::make_unique<CFileSyncOp>(kFileOpDeleteOnDrive, this, delta, m_sourceFolder, targetFile);
  return record && record->addSyncOp(std::move(op));
}

bool CSimpleSynchronizer::preExecuteSyncOps() { return true; }

bool CSimpleSynchronizer::postExecuteSyncOps(bool, int) { return true; }

int CSimpleSynchronizer::executeSyncOp(CSyncOp* op, DWORD mode) {
  if (currentRecord && currentRecord->isCancelled()) return kSyncCancelled;
  if (!op) return kSyncFailed;
  auto* fileOp = dynamic_cast<CFileSyncOp*>(op);
  if (!fileOp) return kSyncNotMine;
  return fileOp->perform(mode, nullptr);
}

// ---- CTarFileSyncOp -------------------------------------------------------------------------------

bool CTarFileSyncOp::askToContinue() {
  if (!dynamic_cast<CTarSimpleSynchronizer*>(owner)) {
    showMessageById(IDS_ARCHIVE_OP_WRONG_OWNER);
    return false;
  }
  if (result == kFileOpDone) return true;
  const CString operation = kind == kFileOpHostToDrive
                                ? formatMessageText(loadResString(IDS_ARCHIVE_OP_COPY).GetString(), pathA, archive)
                                : loadResString(IDS_SYNC_OP_UNKNOWN);
  return askYesNoById(IDS_SYNC_OP_ASK_CONTINUE, operation, fileOperationErrorText(result));
}

// ---- CTarSimpleSynchronizer -----------------------------------------------------------------------

CTarSimpleSynchronizer::CTarSimpleSynchronizer() { reset(); }

void CTarSimpleSynchronizer::setTargetPath(const CString& path) {
  m_targetFolder = joinPath(CFolderLookup::getSynchronizePath(), fileNameOf(path));
  m_archivePath = path + kTarExtension;
  reset();
}

void CTarSimpleSynchronizer::reset() {
  if (!enabled && !m_targetFolder.IsEmpty() && directoryExists(m_targetFolder)) deleteFolder(m_targetFolder);
  m_archive = std::make_unique<CFileTar>();
  m_changed = false;
}

int CTarSimpleSynchronizer::calculateSyncOps(CSpaceRecord* record, DWORD) {
  currentRecord = record;
  byteCount = 0;
  if (!enabled) {
    if (fileExists(m_archivePath)) {
      const LONGLONG delta = -driveSize(m_archivePath);
      byteCount += delta;
      auto op = std::make_unique<CTarFileSyncOp>(kFileOpDeleteOnDrive, this, delta, m_sourceFolder, m_archivePath,
                                                 m_archivePath);
      if (record) record->addSyncOp(std::move(op));
    }
    return kSyncDone;
  }
  if (!m_extracted) {
    if (fileExists(m_archivePath)) {
      CFileTar reader;
      const int unpacked = reader.extractAll(m_archivePath, m_targetFolder, record);
      if (unpacked == kSyncCancelled) return kSyncCancelled;
      if (unpacked != kSyncDone) writeLog(kLogUntarFailed, m_archivePath, m_targetFolder);
    }
    m_extracted = true;
  }
  return planMirror(record, m_sourceFolder, m_targetFolder);
}

bool CTarSimpleSynchronizer::addCopyOp(CSpaceRecord* record, const CString& sourceFile, const CString& targetFile) {
  const LONGLONG delta = driveSize(sourceFile) - driveSize(targetFile);
  byteCount += delta;
  auto op = std::make_unique<CTarFileSyncOp>(kFileOpHostToDrive, this, delta, sourceFile, targetFile, m_archivePath);
  return record && record->addSyncOp(std::move(op));
}

bool CTarSimpleSynchronizer::addDeleteOp(CSpaceRecord* record, const CString& targetFile) {
  // The work-folder file goes, and the op marks the archive changed so the repack leaves it out.
  const LONGLONG delta = -driveSize(targetFile);
  byteCount += delta;
  auto op = std::make_unique<CTarFileSyncOp>(kFileOpDeleteOnDrive, this, delta, m_sourceFolder, targetFile,
                                             m_archivePath);
  return record && record->addSyncOp(std::move(op));
}

bool CTarSimpleSynchronizer::preExecuteSyncOps() { return true; }

int CTarSimpleSynchronizer::executeSyncOp(CSyncOp* op, DWORD mode) {
  try {
    if (currentRecord && currentRecord->isCancelled()) return kSyncCancelled;
    if (!op) return kSyncFailed;
    auto* tarOp = dynamic_cast<CTarFileSyncOp*>(op);
    if (!tarOp) return kSyncNotMine;
    m_changed = true;
    return tarOp->perform(mode, nullptr);
  } catch (CCustomizerException* e) {
    writeLog(kLogExecuteException, e->getMessage());
    e->Delete();
  } catch (CException* e) {
    WCHAR text[512] = {};
    e->GetErrorMessage(text, 512);
    writeLog(kLogExecuteException, CString(text));
    e->Delete();
  } catch (...) {
    writeLog(kLogExecuteUndefined);
  }
  return kSyncFailed;
}

bool CTarSimpleSynchronizer::postExecuteSyncOps(bool, int) {
  if (!m_archive) {
    reset();
    return false;
  }
  if (!enabled) {
    reset();
    return true;
  }
  if (!m_changed) return true;
  CStringArray files;
  if (!listFiles(m_targetFolder, files, true, true)) return false;
  // A file left out would be gone from the drive archive: pack all or replace nothing.
  bool packed = true;
  for (int i = 0; i < files.GetSize() && packed; ++i) packed = m_archive->addFile(files[i]);
  const CString written = m_targetFolder + kTarExtension;
  packed = packed && m_archive->write(written);
  bool copied = false;
  if (!packed) {
    showMessageById(IDS_ARCHIVE_PACK_FAILED, written);
  } else {
    copied = copyFileOp(written, m_archivePath);
    if (!copied) showMessageById(IDS_ARCHIVE_COPY_FAILED, written, m_archivePath);
  }
  if (fileExists(written)) deleteFileOp(written);
  reset();
  return packed && copied;
}

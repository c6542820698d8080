// Folders mirrored one way, whole: CSimpleSynchronizer makes a target folder equal to its source
// (copies of newer or missing files, deletions of files the source lacks, all planned so the plan
// and the meter show them). CTarSimpleSynchronizer carries the mirror on the drive as one archive
// file: the drive archive is unpacked into a host work folder, the work folder is mirrored, and
// the run's end repacks it next to the work folder and copies it over the drive archive, so the
// drive never holds a half-written one.
#pragma once

#include <memory>

#include "platform/afx/coll.h"
#include "platform/afx/cstring.h"
#include "snapins/file_synchronizer.h"
#include "snapins/file_tar.h"

class CSimpleSynchronizer : public CSynchronizer {
 public:
  CSimpleSynchronizer() = default;

  int calculateSyncOps(CSpaceRecord* record, DWORD mode) override;
  // True; the target is not emptied first (the plan already holds every change the mirror needs).
  bool preExecuteSyncOps() override;
  bool postExecuteSyncOps(bool succeeded, int result) override;
  int executeSyncOp(CSyncOp* op, DWORD mode) override;

  virtual void setSourcePath(const CString& path) { m_sourceFolder = path; }
  virtual void setTargetPath(const CString& path) { m_targetFolder = path; }
  virtual CString getSourcePath() const { return m_sourceFolder; }
  virtual CString getTargetPath() const { return m_targetFolder; }
  // Kind 1 (source to target), delta size(source) - size(target).
  virtual bool addCopyOp(CSpaceRecord* record, const CString& sourceFile, const CString& targetFile);
  // Kind 4 (delete the target file), delta minus its size.
  virtual bool addDeleteOp(CSpaceRecord* record, const CString& targetFile);
  virtual void addExcludedPath(const CString& path) { m_excludedPaths.Add(path); }
  // A "desktop.ini" file, or a path equal to or inside an excluded path.
  bool isExcluded(const CString& path) const;

 protected:
  // The mirror of source onto target: kSyncDone, or kSyncFailed when a folder cannot be listed.
  int planMirror(CSpaceRecord* record, const CString& source, const CString& target);

  CString m_sourceFolder;
  CString m_targetFolder;
  CStringArray m_excludedPaths;
};

class CTarSimpleSynchronizer;

// Kind 1 copies a host file into the work folder, kind 4 deletes a work-folder file (or, from a
// disabled synchronizer, the drive archive).
class CTarFileSyncOp : public CFileSyncOp {
 public:
  CTarFileSyncOp(DWORD opKind, CSynchronizer* opOwner, LONGLONG delta, const CString& a, const CString& b,
                 const CString& archivePath)
      : CFileSyncOp(opKind, opOwner, delta, a, b), archive(archivePath) {}
  bool askToContinue() override;

  CString archive;
};

class CTarSimpleSynchronizer : public CSimpleSynchronizer {
 public:
  CTarSimpleSynchronizer();

  int calculateSyncOps(CSpaceRecord* record, DWORD mode) override;
  bool preExecuteSyncOps() override;
  bool postExecuteSyncOps(bool succeeded, int result) override;
  int executeSyncOp(CSyncOp* op, DWORD mode) override;
  // The work folder becomes the synchronize folder joined with the path's file name; the archive
  // is the path with ".tar" appended.
  void setTargetPath(const CString& path) override;
  bool addCopyOp(CSpaceRecord* record, const CString& sourceFile, const CString& targetFile) override;
  bool addDeleteOp(CSpaceRecord* record, const CString& targetFile) override;

  // Disabled: the work folder is deleted. A new empty archive; changed := false.
  virtual void reset();
  CString getArchivePath() const { return m_archivePath; }
  CString getWorkFolder() const { return m_targetFolder; }
  bool isChanged() const { return m_changed; }

 private:
  CString m_archivePath;
  std::unique_ptr<CFileTar> m_archive;
  bool m_extracted = false;
  bool m_changed = false;
};

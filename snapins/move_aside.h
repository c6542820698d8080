// Host items that the user's copy replaces outright: the host's file or folder is moved out of the
// way for the time of the login and put back at logout. Every move is recorded in the registry
// the moment it happens, so a restore after a crash finds the items from the registry alone.
#pragma once

#include <memory>
#include <vector>

#include "app/registry.h"
#include "platform/afx/cstring.h"
#include "platform/base/types.h"
#include "snapins/customizer.h"

class CSystemProfile;

// Value names of one record, and the key below a snap-in's local key that holds the records.
inline constexpr const char16_t* kMoveAsideSourcePathValue = u"sourcePath";
inline constexpr const char16_t* kMoveAsideBackupPathValue = u"backupPath";
inline constexpr const char16_t* kMoveAsidePersonalizedPathValue = u"personalizedPath";
inline constexpr const char16_t* kMoveAsideDevicePathValue = u"profileRelativeDevicePath";
inline constexpr const char16_t* kMoveAsideTypeNameValue = u"typeName";
inline constexpr const char16_t* kMovedAsideKeyName = u"movedAside";
inline constexpr const char16_t* kMoveAsideFileType = u"File";
inline constexpr const char16_t* kMoveAsideFolderType = u"Folder";

class CMoveAside {
 public:
  explicit CMoveAside(const CString& typeName);
  virtual ~CMoveAside() = default;
  CMoveAside(const CMoveAside&) = delete;
  CMoveAside& operator=(const CMoveAside&) = delete;

  // Puts the user's copy from the drive at personalizedPath.
  virtual bool personalize(CSystemProfile* profile) = 0;
  virtual bool depersonalize() = 0;
  // Moves the host item to backupPath and records it in `key`. A missing host item is true and
  // records nothing; an existing backupPath is never moved onto (false, logged).
  virtual bool moveAside(CRegistry& key) = 0;
  // Puts the host item back. False when the backup is missing, and when sourcePath exists (the
  // item there is never replaced; the record stays for a later attempt).
  virtual bool restore() = 0;
  virtual bool isMoveAside() const { return true; }
  virtual bool removeDeviceCopy(CSystemProfile* profile) = 0;
  virtual bool synchronize(CSystemProfile* profile) = 0;
  virtual bool isSafeToReplace() = 0;
  virtual ULONGLONG getDeviceSize(CSystemProfile* profile) = 0;
  virtual CString getSourcePath() const { return m_sourcePath; }
  virtual CString getBackupPath() const { return m_backupPath; }
  virtual CString getPersonalizedPath() const { return m_personalizedPath; }
  // The profile's folder on the drive joined with profileRelativeDevicePath.
  virtual CString getDevicePath(CSystemProfile* profile) const;
  virtual CString getTypeName() const { return m_typeName; }

  // True only when all five values were written / read.
  bool writeRecord(CRegistry& key) const;
  bool readRecord(CRegistry& key);

  void setPaths(const CString& sourcePath, const CString& backupPath, const CString& personalizedPath,
                const CString& profileRelativeDevicePath);

 protected:
  CString m_sourcePath;
  CString m_backupPath;
  CString m_personalizedPath;
  CString m_profileRelativeDevicePath;
  CString m_typeName;
};

class CFileMoveAside : public CMoveAside {
 public:
  CFileMoveAside();
  bool personalize(CSystemProfile* profile) override;
  bool depersonalize() override;
  bool moveAside(CRegistry& key) override;
  bool restore() override;
  bool removeDeviceCopy(CSystemProfile* profile) override;
  bool synchronize(CSystemProfile* profile) override;
  bool isSafeToReplace() override;
  ULONGLONG getDeviceSize(CSystemProfile* profile) override;
};

class CFolderMoveAside : public CMoveAside {
 public:
  CFolderMoveAside();
  bool personalize(CSystemProfile* profile) override;
  bool depersonalize() override;
  bool moveAside(CRegistry& key) override;
  bool restore() override;
  bool removeDeviceCopy(CSystemProfile* profile) override;
  bool synchronize(CSystemProfile* profile) override;
  bool isSafeToReplace() override;
  ULONGLONG getDeviceSize(CSystemProfile* profile) override;
};

// A snap-in whose carried settings are a list of move-aside items.
class CMoveAsideCustomizer : public CCustomizer {
 public:
  explicit CMoveAsideCustomizer(const CString& name);
  ~CMoveAsideCustomizer() override;

  // Puts back what an earlier failed restore left, then moves every entry aside under a record
  // named by a free index.
  bool backup() override;
  bool personalize() override;
  bool depersonalize() override;
  bool restore() override;
  bool postCalculateSyncOps(int calculationResult) override;
  bool postExecuteSyncOps(CSystemProfile* profile, int executionResult) override;
  ULONGLONG getDeviceSpace(CSpaceRecord* record) override;
  bool removeProfileData(CSystemProfile* profile) override;
  int getSourceState() override;

  // "<localPrefs>\Snapins\<name>\movedAside".
  CString getRecordsKeyPath() const;
  // Puts back every item recorded below `key`, from the registry alone; a record that cannot be
  // put back stays. True when none stayed.
  bool restoreRecordedEntries(CRegistry& key);
  void freeMoveAsideVector();

  void addEntry(std::unique_ptr<CMoveAside> entry) { m_entries.push_back(std::move(entry)); }
  const std::vector<std::unique_ptr<CMoveAside>>& entries() const { return m_entries; }
  void setSynchronizeAfterRuns(bool on) { m_synchronizeAfterRuns = on; }

 protected:
  std::vector<std::unique_ptr<CMoveAside>> m_entries;
  CRegistry m_recordsKey;
  bool m_synchronizeAfterRuns = true;
};

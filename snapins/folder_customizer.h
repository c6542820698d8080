// The folder snap-in: one host shell folder (the desktop, My Documents) shows the user's folder of
// the same kind from the drive without copying it. At login the host's own items are hidden and
// one shortcut per item of the drive's folder is put in; at logout whatever the user created in
// the host folder during the session goes to the drive, the shortcuts the snap-in made are
// deleted, and the host's items are shown again as they were. The host folder's entries at login
// are kept in a backup snapshot ("<folder name>_backup.snap" in the host's backup folder), which
// tells the host's own items from the session's.
//
// The file snap-in owns the two instances and drives them from its own passes; a folder snap-in
// is never in the document's list by itself.
#pragma once

#include "platform/afx/cstring.h"
#include "platform/base/types.h"
#include "snapins/customizer.h"

class CFolderCustomizer : public CCustomizer {
 public:
  CFolderCustomizer() = default;
  ~CFolderCustomizer() override = default;

  // ---- passes ----
  // Login as this very computer: the parking folder goes; else the snapshot of the host folder's
  // entries is written (the folder is created first when missing). Then the base backup.
  bool backup() override;
  // Hides the host's items and links the drive items of the login computer (when it is not this
  // computer); the shell is told the folder changed.
  bool personalize() override;
  // Moves the session's items to the login computer's drive folder and deletes the shortcuts made
  // at login; deletes the "<nickname> <folder>.lnk" shortcuts of the other computers.
  bool depersonalize() override;
  // Entries recorded as hidden at login are hidden again; every other entry is shown. A login as
  // this very computer hid nothing, so nothing is touched. True.
  bool restore() override;
  ULONGLONG getDeviceSpace(CSpaceRecord* record) override;
  // 3 when this computer is the login computer or the backup snapshot can be read; else 0.
  int getSourceState() override;
  // The host folder holds a shortcut into the drive's "Synchronized Computers" folder.
  bool isPersonalized() override;

  // ---- own operations ----
  // Size query without callers; 0.
  virtual ULONGLONG getSize();
  // Logout: every host entry not in the backup snapshot goes to the drive (shortcuts this snap-in
  // made are deleted). False when the snapshot or the folder cannot be read, or a move failed.
  virtual bool cleanFolder(const CString& devicePath, const CString& hostFolder, const CString& backupSnapshotPath);
  // Copies the file to its place below the device path (a free conflict name when that place is
  // taken), then deletes it on the host; an emptied sub-folder goes too. A failed or cancelled copy
  // leaves the host file where it is; a cancel counts as success.
  virtual bool moveFileToDevice(const CString& devicePath, const CString& hostFolder, const CString& file);
  // Copy through the file-operation engine.
  virtual bool copyFile(const CString& source, const CString& target);
  // Items of the drive get shortcuts of their own (true).
  virtual bool retargetsShortcuts();
  // Hides every entry directly in the host folder except "desktop.ini"; false when the backup
  // snapshot cannot be read.
  virtual bool hideHostItems(const CString& hostFolder);

  // The device path for the profile: its folder on the drive joined with the folder name; false
  // (logged) when it comes out empty.
  bool setupDevicePath(CSystemProfile* profile, const CString& deviceFolderName);
  // "<host folder's last name>_backup.snap" in the host's backup folder.
  CString getBackupSnapshotPath() const;

  CString hostFolder;
  CString parkingFolder;
  CString devicePath;
  CString deviceFolderName;
  LONG mode = 1;

 private:
  static bool thisComputerIsLoginComputer();
  bool personalizeProfile(CSystemProfile* profile);
  bool depersonalizeProfile(CSystemProfile* profile, bool loginProfile);
  // Shortcut records of the login computer's file snapshot that lay directly in this folder.
  void linkFollowedShortcuts(CSystemProfile* profile);
  // A new shortcut in the host folder is ours when it points into "Synchronized Computers" or is
  // byte for byte a shortcut of the drive folder (the copies made at login).
  bool isShortcutWeMade(const CString& shortcut, const CString& devicePath);
};

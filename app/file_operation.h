// The file-operation engine and the shell interface: every copy, move, rename and delete of the
// program's files and folders goes through here. The engine runs one request on one file or
// folder and turns the system's error into one of twelve codes with a user-visible text; the
// wrappers serve callers that work on single files; the folder walkers list, count, empty and
// delete trees; CShellInterface copies, moves and deletes whole folders through the shell's file
// operation, with log lines tagged "{FILEOP}".
#pragma once

#include "app/customizer_exception.h"
#include "platform/afx/coll.h"
#include "platform/afx/cstring.h"
#include "platform/afx/object.h"
#include "platform/base/types.h"
#include "platform/win32/shell_fileop.h"

// ---- Requests -------------------------------------------------------------------------------------

enum FileOperationKind : DWORD {
  kFileOpMove = 1,
  kFileOpCopy = 2,
  kFileOpDelete = 3,
  kFileOpRename = 4,
};

// Error codes of a request.
enum FileOperationError : DWORD {
  kFileOpDone = 0,
  kFileOpNotRun = 1,
  kFileOpDiskFull = 2,
  kFileOpSharingViolation = 3,
  kFileOpNetworkPathNotFound = 4,
  kFileOpPathNotFound = 5,
  kFileOpNoDevice = 6,
  kFileOpNetworkAccessDenied = 7,
  kFileOpAccessDenied = 8,
  kFileOpTargetExists = 9,
  kFileOpSourceMissing = 10,
  kFileOpFolderNotCopied = 11,
  kFileOpGenericError = 12,
};

// The state bit a failed request sets on its snapshot entry.
inline constexpr DWORD kSnapshotFailedBit = 4;

// What a request needs of a file snapshot entry: a way to add state bits of the current run.
// The file snapshots implement it.
class CSnapshotEntryState {
 public:
  virtual void addStateBits(DWORD bits) = 0;

 protected:
  ~CSnapshotEntryState() = default;
};

// One request, built for one call.
struct fileOperationRequest {
  DWORD errorCode = kFileOpNotRun;
  CString source;
  CString target;  // empty for delete
  DWORD operation = 0;
  CSnapshotEntryState* snapshotEntry = nullptr;  // not owned; may be null
};

// Runs the request; stores and returns its error code.
DWORD executeFileOperation(fileOperationRequest& request);
DWORD doFileOperation(const CString& source, const CString& target, DWORD operation,
                      CSnapshotEntryState* snapshotEntry = nullptr);
// As doFileOperation; on an error asks whether to go on (string 443 with the request's text)
// and stores the answer in continueFlag, which is left as it is when there was no error.
DWORD doFileOperationWithPrompt(const CString& source, const CString& target, DWORD operation, bool& continueFlag,
                                CSnapshotEntryState* snapshotEntry = nullptr);
CString fileOperationRequestText(const fileOperationRequest& request);
CString fileOperationErrorText(DWORD code);
// The check after a system call that succeeded.
bool isRequestDone(const fileOperationRequest& request);

// The exception for a failed request: its code and the code's text. The engine itself reports
// codes and never throws; a caller that wants to unwind may throw this.
class CFileOperationException : public CCustomizerException {
  DECLARE_DYNAMIC(CFileOperationException)
 public:
  explicit CFileOperationException(DWORD errorCode);
  DWORD getErrorCode() const { return errorCode_; }

 private:
  DWORD errorCode_;
};

// ---- Wrappers ---------------------------------------------------------------------------------------

bool copyFileOp(const CString& source, const CString& target);
bool moveFileOp(const CString& source, const CString& target);
bool deleteFileOp(const CString& path);
bool renameFileOp(const CString& source, const CString& target);
// Creates the folder with all missing parents; true when it exists afterwards.
bool createDirectoryTree(const CString& path);
bool matchesFileMask(const CString& name, const CStringArray& masks);
CString masksForFileCategories(const CString& categories);

// ---- Folder walkers (absolute paths; "." and ".." skipped) ------------------------------------------

bool listFiles(const CString& folder, CStringArray& list, bool fullPaths, bool recursive);
bool listFilesMatching(const CString& folder, const CStringArray& masks, CStringArray& list, bool fullPaths,
                       bool recursive);
bool listSubfolders(const CString& folder, CStringArray& list, bool fullPaths);
bool listFolder(const CString& folder, CStringArray& list, bool fullPaths);
bool countFilesUpTo(const CString& folder, int& counter, int limit, bool recursive);
bool folderHasFileCount(const CString& folder, int limit, bool recursive);
bool isFolderEmpty(const CString& folder);
bool removeEmptyFolders(const CString& folder, bool removeSelf);
bool deleteFolderContents(const CString& folder);
bool deleteFolder(const CString& folder);
bool replaceFolderContentsByCopy(const CString& source, const CString& target);
bool replaceFolderContentsByMove(const CString& source, const CString& target);
bool listLogicalDrives(CStringArray& list);
// Removable drives only when the application asks for them (its removable-only flag).
void setRemovableDrivesOnly(bool on);
int countCandidateDrives();
// Appends to `letters` each present drive letter (A to Z) whose volume answers the storage
// device-number request and that could be the device's drive, unless it is there already; adds
// nothing when the system lists no present disk.
void enumerateUsbDrives(CString& letters);

// ---- The shell's file operation ----------------------------------------------------------------------

class shellFileOperation {
 public:
  shellFileOperation();

  void setup(UINT function, HWND owner, bool silent, bool allowUndo, bool filesOnly, bool noConfirmation,
             bool noConfirmMkdir, bool renameOnCollision, bool simpleProgress);
  void setup(UINT function, HWND owner, WORD flags);
  bool addSource(const CString& path);
  bool addTarget(const CString& path);
  void setTitle(const CString& title) { title_ = title; }
  // Runs the operation; true when the shell ran and returned 0.
  bool execute(bool& started, int& result, BOOL& aborted);
  void reset();

 private:
  bool armed_ = false;
  bool started_ = false;
  CStringArray sources_;
  CStringArray targets_;
  CString title_;
  SHFILEOPSTRUCTW op_;
};

// The flags of every shell operation of CShellInterface: no questions, the recycle bin where
// there is one, a simple progress window, folders made without asking.
inline constexpr WORD kShellInterfaceFlags = FOF_NOCONFIRMATION | FOF_ALLOWUNDO | FOF_SIMPLEPROGRESS | FOF_NOCONFIRMMKDIR;

class CShellInterface : public CObject {
 public:
  CShellInterface() = default;
  ~CShellInterface() override = default;

  bool copyFolder(const CString& source, const CString& target);
  bool moveFolder(const CString& source, const CString& target);
  bool deleteFolder(const CString& folder, bool quiet);
  bool copyFolderContents(const CString& source, const CString& target);
  bool moveFolderContents(const CString& source, const CString& target);
  // What the shell returned for the last operation that ran (0, a system error or a DE_ code).
  int lastResult() const { return lastResult_; }

 private:
  // One immediate operation: reset, set up, one source and one target, run.
  bool run(UINT function, const CString& source, const CString& target);

  shellFileOperation immediate_;
  int lastResult_ = 0;
};

// The program's one instance (two folder operations must not run at the same time).
CShellInterface& shellInterface();

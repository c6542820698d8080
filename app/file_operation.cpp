// The file-operation engine, its wrappers and folder walkers, and the shell interface; see
// file_operation.h. Single files go through the Win32 file calls, whole folders through the
// shell's file operation.
#include "app/file_operation.h"

#include <vector>

#include "app/file_util.h"
#include "app/log.h"
#include "app/messages.h"
#include "lang/ids.h"
#include "platform/win32/win32.h"

namespace {

// Log texts, exactly as the program writes them.
constexpr const char16_t* kLogCreateDirectory = u"Failed to create directory _T('%s')";
constexpr const char16_t* kLogRemoveEmptyFolder = u"{FileUtil}: Failed to remove empty folder: %s";
constexpr const char16_t* kLogRemoveFile = u"{FileUtil}: Failed to remove file: %s";
constexpr const char16_t* kLogListDrives = u"Failed to list logical drives";
constexpr const char16_t* kLogCopyingFolder = u"{FILEOP}: Copying folder from: %s to %s";
constexpr const char16_t* kLogCopyFailed = u"{FILEOP}: Copy failed from: %s to %s";
constexpr const char16_t* kLogMovingFolder = u"{FILEOP}: Moving folder from: %s to %s";
constexpr const char16_t* kLogMoveFailed = u"Move failed from: %s to %s";
constexpr const char16_t* kLogDeletingFolder = u"{FILEOP}: Deleting folder: %s";
constexpr const char16_t* kLogDeleteFailed = u"{FILEOP}: Delete folder failed: %s";
constexpr const char16_t* kLogCopyingContents = u"{FILEOP}: Copying folder contents from: %s to %s";
constexpr const char16_t* kLogCopyContentsFailed = u"{FILEOP}: Copy folder contents failed from: %s to %s";
constexpr const char16_t* kLogMovingContents = u"{FILEOP}: Moving folder contents from: %s to %s";
constexpr const char16_t* kLogMoveContentsFailed = u"{FILEOP}: Move folder contents failed from: %s to %s";

bool removableOnly = false;

// Whether two existing paths name one file or folder (another spelling, case or short name):
// both are opened without any access and their volume and file index compared.
bool sameFileObject(const CString& a, const CString& b) {
  auto identify = [](const CString& path, BY_HANDLE_FILE_INFORMATION& info) {
    HANDLE h = CreateFileW(path.GetString(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    bool ok = GetFileInformationByHandle(h, &info) != FALSE;
    CloseHandle(h);
    return ok;
  };
  BY_HANDLE_FILE_INFORMATION ia{}, ib{};
  if (!identify(a, ia) || !identify(b, ib)) return false;
  return ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber && ia.nFileIndexHigh == ib.nFileIndexHigh &&
         ia.nFileIndexLow == ib.nFileIndexLow;
}

DWORD mapSystemError(DWORD error) {
  switch (error) {
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS: return kFileOpTargetExists;
    case ERROR_DISK_FULL: return kFileOpDiskFull;
    case ERROR_NETWORK_ACCESS_DENIED: return kFileOpNetworkAccessDenied;
    case ERROR_PATH_NOT_FOUND: return kFileOpPathNotFound;
    case ERROR_ACCESS_DENIED: return kFileOpAccessDenied;
    case ERROR_SHARING_VIOLATION: return kFileOpSharingViolation;
    case ERROR_BAD_NETPATH: return kFileOpNetworkPathNotFound;
    default: return kFileOpGenericError;
  }
}

void clearReadOnlyAttribute(const CString& path) {
  DWORD attrs = GetFileAttributesW(path.GetString());
  if (attrs == INVALID_FILE_ATTRIBUTES || !(attrs & FILE_ATTRIBUTE_READONLY)) return;
  DWORD keep = attrs & ~(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY);
  SetFileAttributesW(path.GetString(), keep ? keep : FILE_ATTRIBUTE_NORMAL);
}

// A step done by the shell: its own result stands for the system's last error, which the log
// lines written meanwhile have overwritten.
bool shellStep(bool ok) {
  if (!ok) SetLastError(static_cast<DWORD>(shellInterface().lastResult()));
  return ok;
}

// What a path names now, from one attributes call: a synchronizer copies thousands of files in a
// row, and every look at a path is a path resolution of its own. `parentMissing` tells a path
// that is not there because its folder is not (the call's own error says so).
struct PathState {
  DWORD attributes = INVALID_FILE_ATTRIBUTES;
  bool parentMissing = false;
  bool exists() const { return attributes != INVALID_FILE_ATTRIBUTES; }
  bool isFile() const { return exists() && !(attributes & FILE_ATTRIBUTE_DIRECTORY); }
  bool isFolder() const { return exists() && (attributes & FILE_ATTRIBUTE_DIRECTORY); }
};

PathState pathState(const CString& path) {
  PathState state;
  if (path.IsEmpty()) return state;
  state.attributes = GetFileAttributesW(path.GetString());
  state.parentMissing = !state.exists() && GetLastError() == ERROR_PATH_NOT_FOUND;
  return state;
}

// The check after a file copy the system made: the source was a file, so the target must be one.
bool confirmCopy(const fileOperationRequest& r, DWORD& code, bool& decided) {
  code = pathState(r.target).isFile() ? kFileOpDone : kFileOpGenericError;
  decided = true;
  return true;
}

// The system calls of one request. Returns true when the call succeeded; a result already known
// (code 10, or nothing to do) is put in `code` with `decided`.
bool runSystemCall(const fileOperationRequest& r, DWORD& code, bool& decided) {
  const LPCWSTR source = r.source.GetString(), target = r.target.GetString();
  switch (r.operation) {
    case kFileOpMove:
      if (fileExists(r.source)) {
        // A file takes the target's full path as its new name, in whatever folder it names.
        createDirectoryTree(getParentFolder(r.target));
        return MoveFileW(source, target) != FALSE;
      }
      if (directoryExists(r.source)) {
        if (getPathRoot(r.source).CompareNoCase(getPathRoot(r.target)) != 0)
          return shellStep(shellInterface().copyFolder(r.source, r.target) &&
                           shellInterface().deleteFolder(r.source, false));
        return MoveFileW(source, target) != FALSE;
      }
      return MoveFileW(source, target) != FALSE;

    case kFileOpCopy: {
      // The copy is tried first: a synchronizer copies thousands of files in a row, and each look
      // at a path is a path resolution of its own. What has to happen before a copy (a target
      // that is the source itself or read-only, a folder still to be made, a source that is a
      // folder or missing) makes the system's copy fail without touching anything, so it is
      // looked into then, and the copy made again where that put things right.
      if (CopyFileW(source, target, FALSE)) return confirmCopy(r, code, decided);
      const DWORD error = GetLastError();
      const PathState from = pathState(r.source), to = pathState(r.target);
      if (from.isFile() && to.exists() && sameFileObject(r.source, r.target)) {
        // Onto itself: nothing to write, and the file must not be opened for writing.
        code = kFileOpDone;
        decided = true;
        return true;
      }
      if (from.isFile() && (to.parentMissing || (to.isFile() && (to.attributes & FILE_ATTRIBUTE_READONLY)))) {
        if (to.parentMissing) createDirectoryTree(getParentFolder(r.target));
        else SetFileAttributesW(target, FILE_ATTRIBUTE_NORMAL);
        if (!CopyFileW(source, target, FALSE)) return false;
        return confirmCopy(r, code, decided);
      }
      if (from.isFolder()) return shellStep(shellInterface().copyFolder(r.source, r.target));
      if (!from.exists()) {
        code = kFileOpSourceMissing;
        decided = true;
        return false;
      }
      SetLastError(error);
      return false;
    }

    case kFileOpDelete:
      if (fileExists(r.source)) {
        clearReadOnlyAttribute(r.source);
        return DeleteFileW(source) != FALSE;
      }
      if (directoryExists(r.source)) {
        clearReadOnlyAttribute(r.source);
        return RemoveDirectoryW(source) != FALSE;
      }
      return true;

    case kFileOpRename:
      return MoveFileW(source, target) != FALSE;

    default:
      code = kFileOpGenericError;
      decided = true;
      return false;
  }
}

}  // namespace

// ---- Requests -------------------------------------------------------------------------------------

DWORD executeFileOperation(fileOperationRequest& request) {
  request.errorCode = kFileOpGenericError;
  DWORD code = kFileOpGenericError;
  bool decided = false;
  bool succeeded = runSystemCall(request, code, decided);
  if (!decided) {
    if (succeeded) {
      code = isRequestDone(request) ? kFileOpDone : kFileOpGenericError;
    } else {
      code = mapSystemError(GetLastError());
    }
  }
  request.errorCode = code;
  if (request.snapshotEntry && code != kFileOpDone) request.snapshotEntry->addStateBits(kSnapshotFailedBit);
  return code;
}

DWORD doFileOperation(const CString& source, const CString& target, DWORD operation, CSnapshotEntryState* snapshotEntry) {
  fileOperationRequest request;
  request.source = source;
  request.target = target;
  request.operation = operation;
  request.snapshotEntry = snapshotEntry;
  return executeFileOperation(request);
}

DWORD doFileOperationWithPrompt(const CString& source, const CString& target, DWORD operation, bool& continueFlag,
                                CSnapshotEntryState* snapshotEntry) {
  fileOperationRequest request;
  request.source = source;
  request.target = target;
  request.operation = operation;
  request.snapshotEntry = snapshotEntry;
  DWORD code = executeFileOperation(request);
  if (code != kFileOpDone) continueFlag = askYesNoById(IDS_FILEOP_CONTINUE_QUESTION, fileOperationRequestText(request));
  return code;
}

CString fileOperationErrorText(DWORD code) {
  UINT id = IDS_FILEOP_UNKNOWN_ERROR;
  switch (code) {
    case kFileOpDiskFull: id = IDS_FILEOP_DISK_FULL; break;
    case kFileOpSharingViolation: id = IDS_FILEOP_SHARING_VIOLATION; break;
    case kFileOpNetworkPathNotFound: id = IDS_FILEOP_NETWORK_PATH_NOT_FOUND; break;
    case kFileOpPathNotFound: id = IDS_FILEOP_PATH_NOT_FOUND; break;
    case kFileOpNoDevice: id = IDS_FILEOP_NO_DEVICE; break;
    case kFileOpNetworkAccessDenied: id = IDS_FILEOP_NETWORK_ACCESS_DENIED; break;
    case kFileOpAccessDenied: id = IDS_FILEOP_ACCESS_DENIED; break;
    case kFileOpSourceMissing: id = IDS_FILEOP_SOURCE_MISSING; break;
    case kFileOpFolderNotCopied: id = IDS_FILEOP_FOLDER_NOT_COPIED; break;
    case kFileOpGenericError: id = IDS_FILEOP_FAILED; break;
    default: break;  // 1, 9 and anything unknown: the text for an error of unknown cause
  }
  return loadResString(id);
}

CString fileOperationRequestText(const fileOperationRequest& request) {
  if (request.errorCode == kFileOpDone) return loadResString(IDS_FILEOP_COMPLETED);
  CString text;
  switch (request.operation) {
    case kFileOpMove:
    case kFileOpCopy:
      text = formatMessageText(loadResString(IDS_FILEOP_COPY_MOVE_FAILED), getFileName(request.source),
                               getParentFolder(request.source), request.target);
      break;
    case kFileOpDelete:
      text = formatMessageText(loadResString(IDS_FILEOP_DELETE_FAILED), request.source);
      break;
    default:
      break;
  }
  return text + fileOperationErrorText(request.errorCode);
}

bool isRequestDone(const fileOperationRequest& request) {
  switch (request.operation) {
    case kFileOpCopy:
      // A folder copy is confirmed by the target folder, a file copy by the target file.
      if (directoryExists(request.source)) return directoryExists(request.target);
      return fileExists(request.target);
    case kFileOpDelete:
      return !pathExists(request.source);
    case kFileOpMove:
    case kFileOpRename:
      return pathExists(request.target);
    default:
      return false;
  }
}

IMPLEMENT_DYNAMIC(CFileOperationException, CCustomizerException)

CFileOperationException::CFileOperationException(DWORD errorCode)
    : CCustomizerException(fileOperationErrorText(errorCode)), errorCode_(errorCode) {}

// ---- Wrappers ---------------------------------------------------------------------------------------

namespace {

bool transferFileOp(const CString& source, const CString& target, DWORD operation) {
  if (source.IsEmpty() || target.IsEmpty() || !pathExists(source)) return false;
  if (!createDirectoryTree(getParentFolder(target))) return false;
  if (source == target) return true;
  return doFileOperation(source, target, operation) == kFileOpDone;
}

}  // namespace

bool copyFileOp(const CString& source, const CString& target) { return transferFileOp(source, target, kFileOpCopy); }
bool moveFileOp(const CString& source, const CString& target) { return transferFileOp(source, target, kFileOpMove); }

bool deleteFileOp(const CString& path) {
  if (!pathExists(path)) return true;
  setSystemAttribute(path, false);
  return doFileOperation(path, CString(), kFileOpDelete) == kFileOpDone;
}

bool renameFileOp(const CString& source, const CString& target) {
  if (source.IsEmpty() || target.IsEmpty() || !pathExists(source)) return false;
  if (fileExists(target)) {
    // A target that is the source under another spelling is not in the way: deleting it would
    // delete the source.
    if (!sameFileObject(source, target) && !deleteFileOp(target)) return false;
  } else if (!directoryExists(getParentFolder(target)) && !createDirectoryTree(getParentFolder(target))) {
    return false;
  }
  if (source == target) return true;
  return doFileOperation(source, target, kFileOpRename) == kFileOpDone;
}

bool createDirectoryTree(const CString& path) {
  if (path.IsEmpty()) return false;
  CString root = getPathRoot(path) + u'\\';
  if (!directoryExists(root)) return false;
  CString folder = path;
  folder.TrimRight(u'\\');
  if (folder.IsEmpty() || folder == u".") return false;
  std::vector<CString> missing;
  for (CString current = folder; _waccess(current.GetString(), 0) != 0 && !isRootPath(current);) {
    missing.push_back(current);
    CString parent = getParentFolder(current);
    if (parent.IsEmpty() || parent == current) break;
    current = parent;
  }
  for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
    if (CreateDirectoryW(it->GetString(), nullptr)) continue;
    if (GetLastError() == ERROR_ALREADY_EXISTS) return true;
    writeLog(kLogCreateDirectory, *it);
    return false;
  }
  return true;
}

bool matchesFileMask(const CString& name, const CStringArray& masks) {
  const CString byExtension = u'*' + getFileExtension(name);
  for (INT_PTR i = 0; i < masks.GetSize(); ++i) {
    const CString& mask = masks[i];
    if (mask == u"*.*" || mask.CompareNoCase(name) == 0 || mask.CompareNoCase(byExtension) == 0) return true;
  }
  return false;
}

CString masksForFileCategories(const CString& categories) {
  CStringArray entries;
  tokenize(categories, entries, u";", false);
  CString masks;
  for (INT_PTR i = 0; i < entries.GetSize(); ++i) {
    const CString& entry = entries[i];
    if (loadResString(IDS_CATEGORY_OFFICE_FILES).Find(entry.GetString()) >= 0)
      masks += u"*.doc;*.xls;*.ppt;*.txt;*.rtf;*.vsd";
    else if (loadResString(IDS_CATEGORY_EDITING_FILES).Find(entry.GetString()) >= 0)
      masks += u"*.pdf;*.ps";
    else if (loadResString(IDS_CATEGORY_AUDIO_FILES).Find(entry.GetString()) >= 0)
      masks += u"*.mp3;*.wav;*.au;*.m3u;*.aiff;*.wma";
    else if (loadResString(IDS_CATEGORY_PICTURE_FILES).Find(entry.GetString()) >= 0)
      masks += u"*.jpg;*.jpeg;*.gif;*.png;*.tiff;*.bmp;*.psd;*.pdd;*.pcd;*.pct;*.pic";
    else if (entry == u"Url")
      masks += u"*.url";
    else if (loadResString(IDS_CATEGORY_ALL_FILES).Find(entry.GetString()) >= 0)
      masks += u"*.*";
    masks += u';';
  }
  return masks;
}

// ---- Folder walkers -----------------------------------------------------------------------------------

namespace {

enum class Want { Files, Folders, All };

// Calls `visit(name, isFolder)` for every entry of the folder; false when it cannot be read or a
// visit says stop.
template <class Visit>
bool forEachEntry(const CString& folder, Visit visit) {
  WIN32_FIND_DATAW data;
  HANDLE h = FindFirstFileW(joinPath(folder, u"*.*").GetString(), &data);
  if (h == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
  bool ok = true;
  do {
    CString name = data.cFileName;
    if (name == u"." || name == u"..") continue;
    if (!visit(name, (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)) {
      ok = false;
      break;
    }
  } while (FindNextFileW(h, &data));
  FindClose(h);
  return ok;
}

bool collect(const CString& folder, const CStringArray* masks, CStringArray& list, bool fullPaths, bool recursive,
             Want want) {
  if (!isAbsolutePath(folder) || !directoryExists(folder)) return false;
  return forEachEntry(folder, [&](const CString& name, bool isFolder) {
    const CString path = joinPath(folder, name);
    const bool wanted = want == Want::All || (want == Want::Folders) == isFolder;
    if (wanted && (!masks || matchesFileMask(name, *masks))) list.Add(fullPaths ? path : name);
    if (isFolder && recursive) return collect(path, masks, list, fullPaths, true, want);
    return true;
  });
}

}  // namespace

bool listFiles(const CString& folder, CStringArray& list, bool fullPaths, bool recursive) {
  return collect(folder, nullptr, list, fullPaths, recursive, Want::Files);
}

bool listFilesMatching(const CString& folder, const CStringArray& masks, CStringArray& list, bool fullPaths,
                       bool recursive) {
  return collect(folder, &masks, list, fullPaths, recursive, Want::Files);
}

bool listSubfolders(const CString& folder, CStringArray& list, bool fullPaths) {
  return collect(folder, nullptr, list, fullPaths, false, Want::Folders);
}

bool listFolder(const CString& folder, CStringArray& list, bool fullPaths) {
  return collect(folder, nullptr, list, fullPaths, false, Want::All);
}

bool countFilesUpTo(const CString& folder, int& counter, int limit, bool recursive) {
  if (!directoryExists(folder)) return false;
  bool reached = counter >= limit;
  forEachEntry(folder, [&](const CString& name, bool isFolder) {
    if (reached) return false;
    if (isFolder) {
      if (recursive && countFilesUpTo(joinPath(folder, name), counter, limit, true)) reached = true;
    } else if (++counter >= limit) {
      reached = true;
    }
    return !reached;
  });
  return reached;
}

bool folderHasFileCount(const CString& folder, int limit, bool recursive) {
  int counter = 0;
  return countFilesUpTo(folder, counter, limit, recursive);
}

bool isFolderEmpty(const CString& folder) {
  bool empty = true;
  forEachEntry(folder, [&](const CString& name, bool isFolder) {
    empty = isFolder ? isFolderEmpty(joinPath(folder, name)) : false;
    return empty;
  });
  return empty;
}

bool removeEmptyFolders(const CString& folder, bool removeSelf) {
  if (!directoryExists(folder)) return true;
  bool ok = true;
  CStringArray subfolders;
  listSubfolders(folder, subfolders, true);
  for (INT_PTR i = 0; i < subfolders.GetSize(); ++i) {
    const CString& sub = subfolders[i];
    if (!removeEmptyFolders(sub, false)) ok = false;
    CStringArray left;
    listFolder(sub, left, false);
    if (left.GetSize() == 0 && doFileOperation(sub, CString(), kFileOpDelete) != kFileOpDone) {
      writeLog(kLogRemoveEmptyFolder, sub);
      ok = false;
    }
  }
  if (removeSelf && doFileOperation(folder, CString(), kFileOpDelete) != kFileOpDone) {
    writeLog(kLogRemoveEmptyFolder, folder);
    ok = false;
  }
  return ok;
}

bool deleteFolderContents(const CString& folder) {
  if (!directoryExists(folder)) return true;
  bool ok = true;
  CStringArray files;
  listFiles(folder, files, true, true);
  for (INT_PTR i = 0; i < files.GetSize(); ++i) {
    if (doFileOperation(files[i], CString(), kFileOpDelete) != kFileOpDone) {
      writeLog(kLogRemoveFile, files[i]);
      ok = false;
    }
  }
  removeEmptyFolders(folder, false);
  CStringArray left;
  listFolder(folder, left, false);
  return ok && left.GetSize() == 0;
}

bool deleteFolder(const CString& folder) {
  if (!directoryExists(folder)) return true;
  deleteFolderContents(folder);
  return removeEmptyFolders(folder, true);
}

bool replaceFolderContentsByCopy(const CString& source, const CString& target) {
  if (!directoryExists(source) || !directoryExists(target)) return false;
  if (!deleteFolderContents(target)) return false;
  return shellInterface().copyFolderContents(source, target);
}

bool replaceFolderContentsByMove(const CString& source, const CString& target) {
  if (!directoryExists(target)) return false;
  if (!deleteFolderContents(target)) return false;
  return shellInterface().moveFolderContents(source, target);
}

bool listLogicalDrives(CStringArray& list) {
  WCHAR buffer[4096] = {};
  DWORD n = GetLogicalDriveStringsW(4096, buffer);
  if (n == 0 || n > 4096) {
    writeLog(kLogListDrives);
    return false;
  }
  for (const WCHAR* p = buffer; *p; p += CString(p).GetLength() + 1) list.Add(CString(p));
  return true;
}

void setRemovableDrivesOnly(bool on) { removableOnly = on; }

int countCandidateDrives() {
  CStringArray drives;
  listLogicalDrives(drives);
  int count = 0;
  for (INT_PTR i = 0; i < drives.GetSize(); ++i)
    if (removableOnly ? isRemovableDrive(drives[i]) : isCandidateDeviceDrive(drives[i])) ++count;
  return count;
}

namespace {

bool anyDiskPresent() {
  HDEVINFO set = SetupDiGetClassDevsW(&GUID_DEVINTERFACE_DISK, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  if (set == INVALID_HANDLE_VALUE) return false;
  SP_DEVICE_INTERFACE_DATA iface{};
  iface.cbSize = sizeof iface;
  const bool any = SetupDiEnumDeviceInterfaces(set, nullptr, &GUID_DEVINTERFACE_DISK, 0, &iface) != FALSE;
  SetupDiDestroyDeviceInfoList(set);
  return any;
}

// A letter with no storage stack behind it (a share's, a substituted folder's) does not answer.
bool answersDeviceNumber(WCHAR letter) {
  WCHAR volume[] = u"\\\\.\\?:";
  volume[4] = letter;
  HANDLE h = CreateFileW(volume, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  STORAGE_DEVICE_NUMBER number{};
  DWORD got = 0;
  const BOOL ok =
      DeviceIoControl(h, IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, &number, sizeof number, &got, nullptr);
  CloseHandle(h);
  return ok && got >= sizeof number;
}

}  // namespace

void enumerateUsbDrives(CString& letters) {
  if (!anyDiskPresent()) return;
  const DWORD present = GetLogicalDrives();
  for (int i = 0; i < 26; ++i) {
    const auto letter = static_cast<WCHAR>(u'A' + i);
    if (!(present & (1u << i)) || letters.Find(letter) >= 0) continue;
    CString root;
    root.Format(u"%c:\\", letter);
    if (answersDeviceNumber(letter) && isCandidateDeviceDrive(root)) letters += letter;
  }
}

// ---- The shell's file operation ----------------------------------------------------------------------

namespace {

// One buffer of NUL-ended paths with one more NUL at the end.
std::u16string doubleNulList(const CStringArray& paths) {
  std::u16string out;
  for (INT_PTR i = 0; i < paths.GetSize(); ++i) {
    out += paths[i].str();
    out += u'\0';
  }
  out += u'\0';
  return out;
}

}  // namespace

shellFileOperation::shellFileOperation() : op_{} {}

void shellFileOperation::setup(UINT function, HWND owner, bool silent, bool allowUndo, bool filesOnly,
                               bool noConfirmation, bool noConfirmMkdir, bool renameOnCollision, bool simpleProgress) {
  WORD flags = 0;
  if (silent) flags |= FOF_SILENT;
  if (allowUndo) flags |= FOF_ALLOWUNDO;
  if (filesOnly) flags |= FOF_FILESONLY;
  if (noConfirmation) flags |= FOF_NOCONFIRMATION;
  if (noConfirmMkdir) flags |= FOF_NOCONFIRMMKDIR;
  if (renameOnCollision) flags |= FOF_RENAMEONCOLLISION;
  if (simpleProgress) flags |= FOF_SIMPLEPROGRESS;
  setup(function, owner, flags);
}

void shellFileOperation::setup(UINT function, HWND owner, WORD flags) {
  op_.wFunc = function;
  op_.hwnd = owner;
  op_.fFlags = flags;
  armed_ = true;
}

bool shellFileOperation::addSource(const CString& path) {
  sources_.Add(path);
  return true;
}

bool shellFileOperation::addTarget(const CString& path) {
  targets_.Add(path);
  return true;
}

bool shellFileOperation::execute(bool& started, int& result, BOOL& aborted) {
  started = false;
  result = 0;
  if (!armed_ || op_.wFunc < FO_MOVE || op_.wFunc > FO_RENAME || sources_.GetSize() == 0) return false;
  const INT_PTR targets = targets_.GetSize();
  if (op_.wFunc != FO_DELETE) {
    if (targets == 0 || (targets != 1 && targets != sources_.GetSize())) return false;
    if (targets > 1) op_.fFlags |= FOF_MULTIDESTFILES;
  }
  const std::u16string from = doubleNulList(sources_), to = doubleNulList(targets_);
  op_.pFrom = from.c_str();
  op_.pTo = op_.wFunc == FO_DELETE ? nullptr : to.c_str();
  op_.lpszProgressTitle = title_.GetString();
  started_ = true;
  started = true;
  result = SHFileOperationW(&op_);
  aborted = op_.fAnyOperationsAborted;
  op_.pFrom = nullptr;
  op_.pTo = nullptr;
  return started && result == 0;
}

void shellFileOperation::reset() {
  sources_.RemoveAll();
  targets_.RemoveAll();
  armed_ = false;
  started_ = false;
  title_.Empty();
  op_ = SHFILEOPSTRUCTW{};
}

// ---- CShellInterface ------------------------------------------------------------------------------------

bool CShellInterface::run(UINT function, const CString& source, const CString& target) {
  HWND desktop = GetDesktopWindow();
  if (!desktop) return false;
  immediate_.reset();
  immediate_.setup(function, desktop, kShellInterfaceFlags);
  immediate_.addSource(source);
  if (function != FO_DELETE) immediate_.addTarget(target);
  bool started = false;
  int result = 0;
  BOOL aborted = FALSE;
  bool ok = immediate_.execute(started, result, aborted);
  lastResult_ = result;
  return ok;
}

bool CShellInterface::copyFolder(const CString& source, const CString& target) {
  writeLog(kLogCopyingFolder, source, target);
  if (run(FO_COPY, source, target)) return true;
  writeLog(kLogCopyFailed, source, target);
  return false;
}

bool CShellInterface::moveFolder(const CString& source, const CString& target) {
  writeLog(kLogMovingFolder, source, target);
  if (run(FO_MOVE, source, target)) return true;
  writeLog(kLogMoveFailed, source, target);
  return false;
}

bool CShellInterface::deleteFolder(const CString& folder, bool quiet) {
  if (!directoryExists(folder)) return true;
  if (!quiet) writeLog(kLogDeletingFolder, folder);
  if (run(FO_DELETE, folder, CString())) return true;
  if (!quiet) writeLog(kLogDeleteFailed, folder);
  return false;
}

bool CShellInterface::copyFolderContents(const CString& source, const CString& target) {
  writeLog(kLogCopyingContents, source, target);
  if (!directoryExists(source)) return true;
  if (run(FO_COPY, joinPath(source, u"*.*"), target)) return true;
  writeLog(kLogCopyContentsFailed, source, target);
  return false;
}

bool CShellInterface::moveFolderContents(const CString& source, const CString& target) {
  writeLog(kLogMovingContents, source, target);
  if (!directoryExists(source)) return true;
  if (run(FO_MOVE, joinPath(source, u"*.*"), target)) return true;
  writeLog(kLogMoveContentsFailed, source, target);
  return false;
}

CShellInterface& shellInterface() {
  static CShellInterface instance;
  return instance;
}

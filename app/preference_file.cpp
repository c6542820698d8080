// The device pref store: loading the drive's pref file into the Prefs subtree, and saving the
// subtree back to the drive without ever leaving a half-written or default-filled pref file.
#include "app/preference_file.h"

#include <algorithm>
#include <string>

#include "app/file_operation.h"
#include "app/file_util.h"
#include "app/log.h"
#include "app/messages.h"
#include "app/profile_database.h"
#include "app/program_texts.h"
#include "app/system_profile.h"
#include "lang/ids.h"
#include "platform/win32/win32.h"

namespace {

constexpr const char16_t* kProductKey = u"HKEY_CURRENT_USER\\Software\\Brackwater\\Kipo";
constexpr const char16_t* kPrefsKeyName = u"Prefs";
constexpr const char16_t* kSynchronizedComputersKey = u"Synchronized Computers";
constexpr const char16_t* kTempSuffix = u".new";
constexpr const char16_t* kCutShortSuffix = u".cut";

constexpr const char16_t* kLogCannotCreateFolder = u"{PREF FILE}: Cannot create pref directory.";
constexpr const char16_t* kLogEmptySavePath = u"{PREF FILE}: Cannot save to empty file path.";
constexpr const char16_t* kLogEmptyLoadPath = u"{PREF FILE}: Cannot load from empty file path.";
constexpr const char16_t* kLogAlreadyInRegistry = u"{PREF FILE}: Data is already in registry. Deleting it.";
constexpr const char16_t* kLogNotDeleted = u"{PREF FILE}: Registry data was not successfully deleted.";
constexpr const char16_t* kLogDeleted = u"{PREF FILE}: Registry data successfully deleted.";
constexpr const char16_t* kLogReadFailed = u"{PREF FILE}: Failed to read file: %s.";
constexpr const char16_t* kLogReadError = u"{PREF FILE}: Cannot read %s (error %u).";
constexpr const char16_t* kLogSaveBlocked =
    u"{PREF FILE}: Not saving %s: it could not be loaded, and saving would replace it with defaults.";
constexpr const char16_t* kLogRefusalLifted =
    u"{PREF FILE}: %s is no longer the file that could not be loaded; it may be saved.";
constexpr const char16_t* kLogNoPrefs = u"{PREF FILE}: No preferences in the registry; %s was left as it was.";
constexpr const char16_t* kLogDumpFailed = u"{PREF FILE}: Failed to write %s; the pref file was left as it was.";
constexpr const char16_t* kLogReplaceFailed =
    u"{PREF FILE}: Failed to replace %s; the pref file was left as it was (error %u).";
constexpr const char16_t* kLogForeignRecord = u"{PREF FILE}: Skipped key outside the preferences in %s: %s";
constexpr const char16_t* kLogCutShort =
    u"{PREF FILE}: %s ends before all its keys were closed; the settings it holds were loaded.";
constexpr const char16_t* kLogCutShortKept = u"{PREF FILE}: Kept the cut-short %s as %s before replacing it.";
constexpr const char16_t* kLogCutShortKeptBefore =
    u"{PREF FILE}: %s was cut short; %s already exists and was left as it is.";
constexpr const char16_t* kLogCutShortNotKept =
    u"{PREF FILE}: Failed to keep the cut-short %s as %s; the pref file was left as it was (error %u).";

// A virus scanner or indexer may hold the file for a moment (at plug time, at logout): such
// refusals are retried for this long before the file is given up on.
constexpr DWORD kBusyRetryMs = 2000;
constexpr DWORD kBusyRetryStepMs = 100;
// Preferences take kilobytes; a file beyond this is not a pref file and is not read into memory.
constexpr ULONGLONG kMaxPrefFileBytes = 64ull << 20;

using FileIdentity = CPreferenceFile::FileIdentity;

bool isBusy(DWORD error) { return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION; }
bool isMissing(DWORD error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

ULONGLONG ticksOf(const FILETIME& t) { return static_cast<ULONGLONG>(t.dwHighDateTime) << 32 | t.dwLowDateTime; }

FileIdentity identify(const CString& path) {
  FileIdentity id;
  id.path = path;
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(path.GetString(), GetFileExInfoStandard, &data)) {
    id.state = isMissing(GetLastError()) ? FileIdentity::State::Missing : FileIdentity::State::Unknown;
    return id;
  }
  id.state = FileIdentity::State::Known;
  id.size = static_cast<ULONGLONG>(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
  id.lastWrite = ticksOf(data.ftLastWriteTime);
  return id;
}

// The file now at `path` is the one `was` describes. When either could not be looked at, it is
// taken to be the same: that errs on the side of the file on the drive.
bool isSameFile(const FileIdentity& was, const CString& path) {
  if (was.state == FileIdentity::State::Missing || !equalsNoCase(was.path, path)) return false;
  const FileIdentity now = identify(path);
  if (now.state == FileIdentity::State::Missing) return false;
  if (was.state == FileIdentity::State::Unknown || now.state == FileIdentity::State::Unknown) return true;
  return now.size == was.size && now.lastWrite == was.lastWrite;
}

enum class ReadResult { Read, Missing, TooLarge, Failed };

// One attempt at reading the whole file; `error` is the failing call's error.
ReadResult readOnce(const CString& path, std::string& bytes, DWORD& error) {
  bytes.clear();
  error = ERROR_SUCCESS;
  // Sharing reads only: a scanner that reads too does not stop us, and nobody writes meanwhile.
  HANDLE file = CreateFileW(path.GetString(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    error = GetLastError();
    return isMissing(error) ? ReadResult::Missing : ReadResult::Failed;
  }
  ReadResult result = ReadResult::Read;
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file, &size)) {
    error = GetLastError();
    result = ReadResult::Failed;
  } else if (size.QuadPart < 0 || static_cast<ULONGLONG>(size.QuadPart) > kMaxPrefFileBytes) {
    result = ReadResult::TooLarge;
  } else {
    bytes.resize(static_cast<std::size_t>(size.QuadPart));
    std::size_t done = 0;
    while (done < bytes.size()) {
      DWORD got = 0;
      const DWORD want = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 20));
      if (!ReadFile(file, bytes.data() + done, want, &got, nullptr)) {
        error = GetLastError();
        result = ReadResult::Failed;
        break;
      }
      if (got == 0) break;  // shorter than it said: what is there is the file
      done += got;
    }
    bytes.resize(done);
  }
  CloseHandle(file);
  return result;
}

// The whole file into memory, retrying while another program holds it.
ReadResult readPrefFile(const CString& path, std::string& bytes, DWORD& error) {
  const DWORD start = GetTickCount();
  for (;;) {
    const ReadResult r = readOnce(path, bytes, error);
    if (r != ReadResult::Failed || !isBusy(error) || GetTickCount() - start >= kBusyRetryMs) return r;
    Sleep(kBusyRetryStepMs);
  }
}

// Replaces `to` with `from`, retrying while another program holds `to`.
DWORD replaceFile(const CString& from, const CString& to) {
  const DWORD start = GetTickCount();
  for (;;) {
    if (MoveFileExW(from.GetString(), to.GetString(), MOVEFILE_REPLACE_EXISTING)) return ERROR_SUCCESS;
    const DWORD error = GetLastError();
    if (!isBusy(error) || GetTickCount() - start >= kBusyRetryMs) return error;
    Sleep(kBusyRetryStepMs);
  }
}

// The path is the Prefs key or lies below it (without regard to case, on a backslash boundary).
bool isUnderPrefs(const CString& path, const CString& root) {
  const int n = root.GetLength();
  if (path.GetLength() < n || !equalsNoCase(path.Left(n), root)) return false;
  return path.GetLength() == n || path[n] == u'\\';
}

// False only when the Prefs key is known to be absent.
bool prefsKeyMayExist() {
  const CString root = CPreferenceFile::getPrefsRootPath();
  HKEY key = nullptr;
  const LONG rc = RegOpenKeyExW(CRegistry::rootKeyFromName(root), CRegistry::subkeyFromName(root).GetString(), 0,
                                KEY_READ, &key);
  if (rc == ERROR_SUCCESS) RegCloseKey(key);
  return rc != ERROR_FILE_NOT_FOUND;
}

}  // namespace

CPreferenceFile& getDevicePrefs() {
  static CPreferenceFile store;
  return store;
}

CString CPreferenceFile::getPrefsRootPath() { return joinPath(CString(kProductKey), CString(kPrefsKeyName)); }

CString CPreferenceFile::getComputerPrefsPath(const CSystemProfile& profile) {
  CString path;
  path.Format(u"%s\\%s\\%s", getPrefsRootPath(), CString(kSynchronizedComputersKey), profile.getKey());
  return path;
}

CString CPreferenceFile::getThisComputerPrefsPath() {
  CSystemProfile* profile = getProfileDatabase().getThisComputerProfile();
  return profile ? getComputerPrefsPath(*profile) : CString();
}

bool CPreferenceFile::openSubkey(const CString& subkeyName) {
  m_subkeyName = subkeyName;
  open(joinPath(getPrefsRootPath(), subkeyName), false, true);
  return isOpen();
}

void CPreferenceFile::setFilePath(const CString& path) { m_filePath = path; }

bool CPreferenceFile::fileExists() const { return !m_filePath.IsEmpty() && ::fileExists(m_filePath); }

bool CPreferenceFile::isSaveBlocked() const { return m_refusedFile && isSameFile(*m_refusedFile, m_filePath); }

void CPreferenceFile::restoreSubkey(const CString& subkeyName) { openSubkey(subkeyName); }

bool CPreferenceFile::keepCutShortFile() {
  if (!m_cutShortFile) return true;
  if (!isSameFile(*m_cutShortFile, m_filePath)) {
    m_cutShortFile.reset();  // replaced or removed since: nothing of it is left to keep
    return true;
  }
  const CString kept = m_filePath + kCutShortSuffix;
  if (CopyFileW(m_filePath.GetString(), kept.GetString(), TRUE)) {
    setHiddenAttribute(kept, true);
    setSystemAttribute(kept, true);
    writeLog(kLogCutShortKept, m_filePath, kept);
  } else {
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
      writeLog(kLogCutShortNotKept, m_filePath, kept, error);
      return false;
    }
    writeLog(kLogCutShortKeptBefore, m_filePath, kept);
  }
  m_cutShortFile.reset();
  return true;
}

bool CPreferenceFile::save() {
  if (m_filePath.IsEmpty()) {
    writeLog(kLogEmptySavePath);
    return false;
  }
  if (m_refusedFile) {
    if (isSaveBlocked()) {
      writeLog(kLogSaveBlocked, m_filePath);
      return false;
    }
    writeLog(kLogRefusalLifted, m_filePath);
    m_refusedFile.reset();
  }
  // Nothing to save is no failure; an empty dump would wipe the drive's settings.
  if (!prefsKeyMayExist()) {
    writeLog(kLogNoPrefs, m_filePath);
    return true;
  }
  const CString folder = getParentFolder(m_filePath);
  if (!directoryExists(folder) && !createDirectoryTree(folder)) {
    writeLog(kLogCannotCreateFolder);
    return false;
  }
  const CString subkeyName = m_subkeyName;
  openRoot();

  // The dump goes to a file of its own first: the pref file is replaced only by a complete one.
  const CString temporary = m_filePath + kTempSuffix;
  if (pathExists(temporary)) SetFileAttributesW(temporary.GetString(), FILE_ATTRIBUTE_NORMAL);
  bool ok = saveToFile(temporary);
  if (!ok) {
    DeleteFileW(temporary.GetString());
    writeLog(kLogDumpFailed, m_filePath);
  } else if (!keepCutShortFile()) {
    DeleteFileW(temporary.GetString());
    ok = false;
  } else {
    const DWORD oldAttributes = GetFileAttributesW(m_filePath.GetString());
    if (oldAttributes != INVALID_FILE_ATTRIBUTES) SetFileAttributesW(m_filePath.GetString(), FILE_ATTRIBUTE_NORMAL);
    if (const DWORD error = replaceFile(temporary, m_filePath)) {
      DeleteFileW(temporary.GetString());
      if (oldAttributes != INVALID_FILE_ATTRIBUTES) SetFileAttributesW(m_filePath.GetString(), oldAttributes);
      writeLog(kLogReplaceFailed, m_filePath, error);
      ok = false;
    } else {
      setHiddenAttribute(m_filePath, true);
      setSystemAttribute(m_filePath, true);
    }
  }
  restoreSubkey(subkeyName);
  return ok;
}

bool CPreferenceFile::deleteExistingPrefs() {
  const CString root = getPrefsRootPath();
  {
    CRegistry prefs(root, false, true);
    if (!prefs.isOpen()) return true;
  }
  writeLog(kLogAlreadyInRegistry);
  if (isOpen()) deleteKey();
  CRegistry prefs(root, false, true);
  prefs.deleteKey();
  CRegistry check(root, false, true);
  const bool gone = !check.isOpen();
  writeLog(gone ? kLogDeleted : kLogNotDeleted);
  return gone;
}

bool CPreferenceFile::load() {
  const CString subkeyName = m_subkeyName;
  m_cutShortFile.reset();
  if (m_filePath.IsEmpty()) {
    deleteExistingPrefs();
    openRoot();
    writeLog(kLogEmptyLoadPath);
    m_subkeyName = subkeyName;
    return false;
  }
  std::string bytes;
  DWORD error = ERROR_SUCCESS;
  const ReadResult read = readPrefFile(m_filePath, bytes, error);
  const FileIdentity file = identify(m_filePath);
  // Only now, with the bytes in hand or the file given up on: the registry ends up holding
  // exactly what the file holds, and nothing after a failed load.
  deleteExistingPrefs();
  openRoot();  // the object holds no key now; it stands for the Prefs key (closed when gone)

  bool loaded = false;
  switch (read) {
    case ReadResult::Read: {
      const CString root = getPrefsRootPath();
      // Records aimed anywhere but the preferences are never written, whatever the file says.
      loaded = loadFromBuffer(bytes, m_filePath, [&](const CString& path) {
        if (isUnderPrefs(path, root)) return true;
        writeLog(kLogForeignRecord, m_filePath, path);
        return false;
      });
      break;
    }
    case ReadResult::Missing:
      break;
    case ReadResult::TooLarge:
      showMessageById(IDS_DUMP_FILE_UNREADABLE, m_filePath, g_applicationName);
      break;
    case ReadResult::Failed:
      writeLog(kLogReadError, m_filePath, error);
      showMessageById(IDS_PREF_FILE_UNREADABLE, m_filePath, g_applicationName);
      break;
  }
  if (!loaded) {
    writeLog(kLogReadFailed, m_filePath);
    restoreSubkey(subkeyName);
    // Whatever made the file unloadable, a save must not replace it with the defaults now in use.
    if (file.state == FileIdentity::State::Missing) m_refusedFile.reset();
    else m_refusedFile = file;
    return false;
  }
  m_refusedFile.reset();
  if (wasCutShort()) {
    writeLog(kLogCutShort, m_filePath);
    m_cutShortFile = file;
  }
  const CString root = getPrefsRootPath();
  const CString held = getPath();
  if (held.IsEmpty()) {
    openRoot();  // a file without records: the store stands for the (empty) Prefs key
  } else {
    m_subkeyName = held.GetLength() > root.GetLength() ? held.Mid(root.GetLength() + 1) : CString();
  }
  return true;
}

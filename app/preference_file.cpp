// The device pref store: loading the drive's pref file into the Prefs subtree, and saving the
// subtree back to the drive without ever leaving a half-written or default-filled pref file.
#include "app/preference_file.h"

#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "app/key_dump.h"
#include "app/file_operation.h"
#include "app/file_util.h"
#include "app/log.h"
#include "app/messages.h"
#include "app/profile_database.h"
#include "app/program_texts.h"
#include "app/system_profile.h"
#include "lang/ids.h"
#include "platform/afx/file.h"
#include "platform/win32/win32.h"

namespace {

constexpr const char16_t* kProductKey = u"HKEY_CURRENT_USER\\Software\\Brackwater\\Kipo";
constexpr const char16_t* kPrefsKeyName = u"Prefs";
constexpr const char16_t* kSynchronizedComputersKey = u"Synchronized Computers";
constexpr const char16_t* kTempSuffix = u".new";

constexpr const char16_t* kLogCannotCreateFolder = u"{PREF FILE}: Cannot create pref directory.";
constexpr const char16_t* kLogEmptySavePath = u"{PREF FILE}: Cannot save to empty file path.";
constexpr const char16_t* kLogEmptyLoadPath = u"{PREF FILE}: Cannot load from empty file path.";
constexpr const char16_t* kLogAlreadyInRegistry = u"{PREF FILE}: Data is already in registry. Deleting it.";
constexpr const char16_t* kLogNotDeleted = u"{PREF FILE}: Registry data was not successfully deleted.";
constexpr const char16_t* kLogDeleted = u"{PREF FILE}: Registry data successfully deleted.";
constexpr const char16_t* kLogReadFailed = u"{PREF FILE}: Failed to read file: %s.";
constexpr const char16_t* kLogSaveBlocked =
    u"{PREF FILE}: Not saving %s: it could not be loaded, and saving would replace it with defaults.";
constexpr const char16_t* kLogDumpFailed = u"{PREF FILE}: Failed to write %s; the pref file was left as it was.";
constexpr const char16_t* kLogReplaceFailed = u"{PREF FILE}: Failed to replace %s; the pref file was left as it was.";
constexpr const char16_t* kLogForeignRecord = u"{PREF FILE}: Skipped key outside the preferences in %s: %s";
constexpr const char16_t* kLogFilterFailed = u"{PREF FILE}: Cannot prepare the preferences of %s for loading.";

// ---- Checking a pref file before any of it is written -----------------------------------------
// The file is the key dump of the registry layer. It is read here once more, whole and bounded,
// only to find the records that lie outside the Prefs key: those are never written, whatever the
// file says. The records kept are written out again, flat, in the same format.

using dump::Cursor;
using dump::kCloseKey;
using dump::kCloseValue;
using dump::kOpenKey;
using dump::kOpenValue;

struct Record {
  std::u16string path;
  std::string_view values;  // the value records, exactly as they stand in the file
};

class DumpScanner : public Cursor {
 public:
  using Cursor::Cursor;

  // Every key record, depth ignored (each record carries its absolute path). False for a dump
  // that is cut inside a record, has a length past its end or an unexpected token; a dump that
  // ends where a record could begin or end is whole.
  bool records(std::vector<Record>& out) {
    int depth = 0;
    while (left() > 0) {
      char16_t c = 0;
      if (!token(c)) return false;
      if (c == kCloseKey && depth > 0) {
        --depth;
        continue;
      }
      if (c != kOpenKey) return false;
      ++depth;
      Record record;
      if (!text(record.path) || !CRegistry::rootKeyFromName(CString(record.path))) return false;
      const std::size_t valuesStart = at_;
      for (;;) {
        std::size_t before = at_;
        if (left() == 0) break;
        if (!token(c)) return false;
        if (c != kOpenValue) {
          at_ = before;
          break;
        }
        std::u16string name;
        DWORD size = 0;
        DWORD type = 0;
        if (!text(name) || !number(size) || !number(type) || size > left()) return false;
        at_ += size;
        if (!token(c) || c != kCloseValue) return false;
      }
      record.values = in_.substr(valuesStart, at_ - valuesStart);
      out.push_back(std::move(record));
    }
    return true;
  }
};

// The path is the Prefs key or lies below it (without regard to case, on a backslash boundary).
bool isUnderPrefs(const CString& path, const CString& root) {
  const int n = root.GetLength();
  if (path.GetLength() < n || !equalsNoCase(path.Left(n), root)) return false;
  return path.GetLength() == n || path[n] == u'\\';
}

enum class Check { Sound, Filtered, Unreadable, Damaged, Newer };

// Reads the whole pref file and decides whether it may be loaded as it stands (Sound), or only
// through the copy in `filtered` that lacks the records outside Prefs (Filtered).
Check checkPrefFile(const CString& file, std::string& filtered) {
  std::string bytes;
  {
    CFile in;
    if (!in.Open(file, CFile::modeRead | CFile::shareExclusive | CFile::typeBinary)) return Check::Unreadable;
    try {
      ULONGLONG length = in.GetLength();
      if (length > 0x7fffffffu) {
        in.Abort();
        return Check::Damaged;
      }
      bytes.resize(static_cast<std::size_t>(length));
      std::size_t done = 0;
      while (done < bytes.size()) {
        UINT n = in.Read(bytes.data() + done, static_cast<UINT>(bytes.size() - done));
        if (n == 0) break;
        done += n;
      }
      bytes.resize(done);
    } catch (CException* e) {
      e->Delete();
      in.Abort();
      return Check::Unreadable;
    }
    in.Abort();
  }
  DumpScanner scanner(bytes);
  DWORD version = 0;
  if (!scanner.number(version)) return Check::Damaged;
  if (static_cast<LONG>(version) > CRegistry::kDumpVersion) return Check::Newer;
  std::vector<Record> records;
  if (!scanner.records(records)) return Check::Damaged;

  const CString root = CPreferenceFile::getPrefsRootPath();
  bool foreign = false;
  dump::Writer out;
  out.number(version);
  for (const Record& r : records) {
    CString path(r.path);
    if (!isUnderPrefs(path, root)) {
      writeLog(kLogForeignRecord, file, path);
      foreign = true;
      continue;
    }
    out.token(kOpenKey);
    out.text(r.path);
    out.bytes(r.values);
    out.token(kCloseKey);
  }
  filtered = out.data();
  return foreign ? Check::Filtered : Check::Sound;
}

// Writes bytes to a new file in the system's temporary folder; its path, or empty on failure.
CString writeTemporaryFile(const std::string& bytes) {
  WCHAR folder[MAX_PATH + 1] = {};
  DWORD n = GetTempPathW(MAX_PATH, folder);
  if (n == 0 || n > MAX_PATH) return CString();
  WCHAR name[MAX_PATH + 1] = {};
  if (!GetTempFileNameW(folder, u"kpf", 0, name)) return CString();
  CString path(name);
  CFile out;
  if (!out.Open(path, CFile::modeCreate | CFile::modeWrite | CFile::shareExclusive | CFile::typeBinary)) {
    DeleteFileW(path.GetString());
    return CString();
  }
  try {
    out.Write(bytes.data(), static_cast<UINT>(bytes.size()));
    out.Close();
  } catch (CException* e) {
    e->Delete();
    out.Abort();
    DeleteFileW(path.GetString());
    return CString();
  }
  return path;
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

void CPreferenceFile::setFilePath(const CString& path) {
  m_filePath = path;
  m_saveBlocked = false;
}

bool CPreferenceFile::fileExists() const { return !m_filePath.IsEmpty() && ::fileExists(m_filePath); }

void CPreferenceFile::restoreSubkey(const CString& subkeyName) { openSubkey(subkeyName); }

bool CPreferenceFile::save() {
  if (m_filePath.IsEmpty()) {
    writeLog(kLogEmptySavePath);
    return false;
  }
  const CString folder = getParentFolder(m_filePath);
  if (!directoryExists(folder) && !createDirectoryTree(folder)) {
    writeLog(kLogCannotCreateFolder);
    return false;
  }
  if (m_saveBlocked) {
    writeLog(kLogSaveBlocked, m_filePath);
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
  } else {
    const DWORD oldAttributes = GetFileAttributesW(m_filePath.GetString());
    if (oldAttributes != INVALID_FILE_ATTRIBUTES) SetFileAttributesW(m_filePath.GetString(), FILE_ATTRIBUTE_NORMAL);
    if (!MoveFileExW(temporary.GetString(), m_filePath.GetString(), MOVEFILE_REPLACE_EXISTING)) {
      DeleteFileW(temporary.GetString());
      if (oldAttributes != INVALID_FILE_ATTRIBUTES) SetFileAttributesW(m_filePath.GetString(), oldAttributes);
      writeLog(kLogReplaceFailed, m_filePath);
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
  deleteExistingPrefs();
  // The object holds no key now; it stands for the Prefs key (closed when the key is gone).
  const CString subkeyName = m_subkeyName;
  openRoot();
  if (m_filePath.IsEmpty()) {
    writeLog(kLogEmptyLoadPath);
    m_subkeyName = subkeyName;
    return false;
  }

  std::string filtered;
  bool loaded = false;
  switch (checkPrefFile(m_filePath, filtered)) {
    case Check::Sound:
      loaded = loadFromFile(m_filePath);
      break;
    case Check::Filtered: {
      const CString temporary = writeTemporaryFile(filtered);
      if (temporary.IsEmpty()) {
        writeLog(kLogFilterFailed, m_filePath);
        break;
      }
      loaded = loadFromFile(temporary);
      DeleteFileW(temporary.GetString());
      break;
    }
    case Check::Unreadable:
      break;
    case Check::Damaged:
      showMessageById(IDS_DUMP_FILE_UNREADABLE, m_filePath, g_applicationName);
      break;
    case Check::Newer:
      showMessageById(IDS_DUMP_FILE_NEWER, m_filePath, g_applicationName);
      break;
  }
  if (!loaded) {
    writeLog(kLogReadFailed, m_filePath);
    restoreSubkey(subkeyName);
    // Whatever made the file unloadable, a save must not replace it with the defaults now in use.
    m_saveBlocked = ::fileExists(m_filePath);
    return false;
  }
  m_saveBlocked = false;
  const CString root = getPrefsRootPath();
  const CString held = getPath();
  if (held.IsEmpty()) {
    openRoot();  // a file without records: the store stands for the (empty) Prefs key
  } else {
    m_subkeyName = held.GetLength() > root.GetLength() ? held.Mid(root.GetLength() + 1) : CString();
  }
  return true;
}

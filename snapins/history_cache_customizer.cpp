// The browser's history cache and typed addresses (history_cache_customizer.h).
#include "snapins/history_cache_customizer.h"

#include "app/customizer_doc.h"
#include "app/file_operation.h"
#include "app/file_util.h"
#include "app/folder_lookup.h"
#include "app/log.h"
#include "app/messages.h"
#include "app/profile_database.h"
#include "app/registry.h"
#include "app/system_profile.h"
#include "app/windows_helpers.h"
#include "lang/ids.h"
#include "platform/afx/exception.h"
#include "platform/afx/file.h"
#include "snapins/factory_context.h"
#include "snapins/registry_value_customizer.h"
#include "snapins/space_man.h"

namespace {

constexpr const char16_t* kCacheTail =
    u"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\5.0\\Cache\\Extensible Cache";
constexpr const char16_t* kContainerPrefix = u"MSHist01";
constexpr const char16_t* kCachePathValue = u"CachePath";
constexpr const char16_t* kHistoryIe5 = u"History.IE5";
constexpr const char16_t* kTypedUrlsName = u"TypedURLs";
constexpr const char16_t* kTypedUrlsAsideName = u"TypedURLs_Kipo";
constexpr const char16_t* kUrlValuePrefix = u"url";

constexpr const char16_t* kLogNoHistoryCustomizer = u"{HistoryCacheCustomizer}: Failed to find History Customizer.";
constexpr const char16_t* kLogNoDeviceForCachePaths =
    u"{HistoryCacheCustomizer}: Failed to fixed up extended cache registry on device. Device is not available.";
constexpr const char16_t* kLogSizeMismatch = u"Error reading TypedURLs.dat - size mismatched.";
constexpr const char16_t* kLogTooLarge =
    u"{HistoryCacheCustomizer}: %s is larger than a typed-address list; only its first %d bytes are read.";
constexpr const char16_t* kLogTooMany =
    u"{HistoryCacheCustomizer}: TypedURLs.dat holds more than %d addresses; the rest are left out.";
constexpr const char16_t* kLogSetAsideFailed =
    u"{HistoryCacheCustomizer}: Failed to set the host's typed addresses aside; they are left in place.";
constexpr const char16_t* kLogFileError = u"{HistoryCacheCustomizer}: Failed to read or write %s: %s";

CString historyCacheKeyPath() {
  return joinPath(CString(isBeforeWindows2000() ? u"HKEY_LOCAL_MACHINE" : u"HKEY_CURRENT_USER"), CString(kCacheTail));
}

CString lastComponent(const CString& path) {
  const int slash = path.ReverseFind(u'\\');
  return slash < 0 ? path : path.Mid(slash + 1);
}

bool isContainerNoCase(const CString& name) { return startsWithNoCase(name, CString(kContainerPrefix)); }

CString urlValueName(int n) {
  CString name;
  name.Format(u"%s%d", CString(kUrlValuePrefix), n);
  return name;
}

CString exceptionText(CException* e) {
  WCHAR text[512] = {};
  e->GetErrorMessage(text, 512);
  return CString(text);
}

}  // namespace

// ---- the typed-address file and keys ------------------------------------------------------------

namespace typedurls {

std::vector<CString> parse(const BYTE* data, size_t size) {
  std::vector<CString> urls;
  std::u16string current;
  for (size_t i = 0; i + 1 < size; i += 2) {
    const char16_t unit = static_cast<char16_t>(data[i] | (data[i + 1] << 8));
    if (unit != 0) {
      current.push_back(unit);
      continue;
    }
    if (urls.size() == kMaxUrls) {
      writeLog(kLogTooMany, static_cast<int>(kMaxUrls));
      break;
    }
    urls.emplace_back(current);
    current.clear();
  }
  return urls;
}

std::vector<BYTE> serialize(const std::vector<CString>& urls) {
  std::vector<BYTE> bytes;
  for (const CString& url : urls) {
    for (int i = 0; i < url.GetLength(); ++i) {
      const char16_t unit = url[i];
      bytes.push_back(static_cast<BYTE>(unit & 0xff));
      bytes.push_back(static_cast<BYTE>(unit >> 8));
    }
    bytes.push_back(0);
    bytes.push_back(0);
  }
  return bytes;
}

bool readFile(const CString& path, std::vector<CString>& urls) {
  urls.clear();
  if (!fileExists(path)) return true;
  try {
    CFile file;
    CFileException error;
    if (!file.Open(path, CFile::modeRead | CFile::shareExclusive | CFile::typeBinary, &error)) {
      writeLog(kLogFileError, path, exceptionText(&error));
      return false;
    }
    ULONGLONG length = file.GetLength();
    if (length > kMaxFileBytes) {
      writeLog(kLogTooLarge, path, static_cast<int>(kMaxFileBytes));
      length = kMaxFileBytes;
    }
    std::vector<BYTE> bytes(static_cast<size_t>(length));
    UINT got = 0;
    while (got < length) {
      const UINT n = file.Read(bytes.data() + got, static_cast<UINT>(length) - got);
      if (n == 0) break;
      got += n;
    }
    if (got < length) writeLog(kLogSizeMismatch);
    file.Close();
    urls = parse(bytes.data(), got);
    return true;
  } catch (CException* e) {
    writeLog(kLogFileError, path, exceptionText(e));
    e->Delete();
    return false;
  }
}

bool writeFile(const CString& path, const std::vector<CString>& urls, bool shareCompatible) {
  try {
    createDirectoryTree(getParentFolder(path));
    CFile file;
    CFileException error;
    const UINT share = shareCompatible ? CFile::shareCompat : CFile::shareExclusive;
    if (!file.Open(path, CFile::modeCreate | CFile::modeWrite | share | CFile::typeBinary, &error)) {
      writeLog(kLogFileError, path, exceptionText(&error));
      return false;
    }
    const std::vector<BYTE> bytes = serialize(urls);
    if (!bytes.empty()) file.Write(bytes.data(), static_cast<UINT>(bytes.size()));
    file.Close();
    return true;
  } catch (CException* e) {
    writeLog(kLogFileError, path, exceptionText(e));
    e->Delete();
    return false;
  }
}

std::vector<CString> readKey(const CString& keyPath) {
  std::vector<CString> urls;
  CRegistry key(keyPath, false, false);
  if (!key.isOpen()) return urls;
  for (int n = 1;; ++n) {
    CString url;
    if (!key.getString(urlValueName(n), url)) break;
    urls.push_back(url);
  }
  return urls;
}

bool writeKey(const CString& keyPath, const std::vector<CString>& urls, int first) {
  CRegistry key(keyPath, true, true);
  bool ok = key.isOpen();
  int n = first;
  for (const CString& url : urls) {
    if (!key.setString(urlValueName(n++), url)) ok = false;
  }
  return ok;
}

}  // namespace typedurls

// ---- CHistoryCacheCustomizer --------------------------------------------------------------------

CHistoryCacheCustomizer::CHistoryCacheCustomizer()
    : CRegistryKeyCustomizer(CString(u"History Cache"), historyCacheKeyPath(), CString(u"Extensible Cache")),
      m_document(factoryDocument()) {
  setSynchronizerPaths();
  if (CSpaceMan* spaceMan = factorySpaceMan()) spaceMan->addSynchronizer(this, &m_synchronizer);
}

CHistoryCacheCustomizer::~CHistoryCacheCustomizer() = default;

void CHistoryCacheCustomizer::setSynchronizerPaths() {
  m_synchronizer.setSourcePath(CFolderLookup::getHistoryPath());
  m_synchronizer.setTargetPath(deviceHistoryFolder(getProfileDatabase().getThisComputerProfile()));
}

CString CHistoryCacheCustomizer::typedUrlsFile(CSystemProfile* profile) {
  if (!profile) return CString();
  return joinPath(profile->getDeviceFolder(), loadResString(IDS_FILE_NAME_TYPED_URLS));
}

bool CHistoryCacheCustomizer::personalize() {
  CCustomizer* user = m_document ? m_document->findCustomizer(CString(u"History User")) : nullptr;
  if (!dynamic_cast<CHistoryCustomizer*>(user)) {
    writeLog(kLogNoHistoryCustomizer);
    return false;
  }
  if (!hasDeviceHistory()) return true;
  setPersonalized(true);

  CStringList hostContainers;
  bool listed = false;
  {
    CRegistry host(m_keyPath, false, false);
    listed = host.getSubkeyNames(hostContainers, true);
  }
  if (listed) {
    for (POSITION pos = hostContainers.GetHeadPosition(); pos;) {
      const CString path = hostContainers.GetNext(pos);
      if (!isContainerNoCase(lastComponent(path))) continue;
      CRegistry container(path, false, true);
      container.deleteKey();
    }
  }

  CStringList deviceContainers;
  CRegistry device(joinPath(getComputerPrefsKey(getProfileDatabase().getLoginProfile()), m_devicePrefsSubkey), false,
                   false);
  if (device.getSubkeyNames(deviceContainers, false)) {
    for (POSITION pos = deviceContainers.GetHeadPosition(); pos;) {
      const CString name = deviceContainers.GetNext(pos);
      if (!isContainerNoCase(name)) continue;
      if (!CRegistry::copyTree(joinPath(device.getPath(), name), joinPath(m_keyPath, name))) return false;
    }
  }
  if (!fixCachePaths()) return false;
  return loadTypedUrls();
}

bool CHistoryCacheCustomizer::fixCachePaths() {
  const CString ie5 = joinPath(deviceHistoryFolder(getProfileDatabase().getLoginProfile()), CString(kHistoryIe5));
  if (!directoryExists(ie5)) {
    writeLog(kLogNoDeviceForCachePaths);
    return true;
  }
  CStringList names;
  CRegistry host(m_keyPath, false, false);
  if (!host.getSubkeyNames(names, false)) return true;
  bool ok = true;
  for (POSITION pos = names.GetHeadPosition(); pos;) {
    const CString name = names.GetNext(pos);
    if (name.Left(static_cast<int>(std::char_traits<char16_t>::length(kContainerPrefix))).Compare(kContainerPrefix) !=
        0)
      continue;
    CRegistry container(joinPath(m_keyPath, name), false, true);
    if (!container.setString(kCachePathValue, joinPath(ie5, name))) ok = false;
  }
  return ok;
}

bool CHistoryCacheCustomizer::loadTypedUrls() {
  CRegistry aside(CString(kTypedUrlsAsideKey), false, true);
  if (aside.isOpen()) aside.deleteKey();
  CRegistry typed(CString(kTypedUrlsKey), true, true);
  if (!typed.renameKey(CString(kTypedUrlsAsideName))) {
    // The host's list must not be mixed with the user's: it stays where it is.
    writeLog(kLogSetAsideFailed);
    return false;
  }
  CRegistry fresh(CString(kTypedUrlsKey), true, true);
  if (!fresh.isOpen()) return false;
  std::vector<CString> urls;
  if (!typedurls::readFile(typedUrlsFile(getProfileDatabase().getLoginProfile()), urls)) return false;
  return typedurls::writeKey(CString(kTypedUrlsKey), urls, 1);
}

bool CHistoryCacheCustomizer::depersonalize() {
  // Only a visit that set the host's list aside has a user's list to write back.
  if (!CRegistry(CString(kTypedUrlsAsideKey), false, false).isOpen()) return true;
  const CString file = typedUrlsFile(getProfileDatabase().getLoginProfile());
  if (file.IsEmpty()) return false;
  if (!typedurls::writeFile(file, typedurls::readKey(CString(kTypedUrlsKey)), false)) return false;
  CRegistry typed(CString(kTypedUrlsKey), false, true);
  if (typed.isOpen()) typed.deleteKey();
  CRegistry back(CString(kTypedUrlsAsideKey), false, true);
  return back.renameKey(CString(kTypedUrlsName));
}

bool CHistoryCacheCustomizer::restore() {
  CRegistry aside(CString(kTypedUrlsAsideKey), false, true);
  if (aside.isOpen()) {
    CRegistry typed(CString(kTypedUrlsKey), false, true);
    if (typed.isOpen()) typed.deleteKey();
    aside.renameKey(CString(kTypedUrlsName));
  }
  return CRegistryKeyCustomizer::restore();
}

bool CHistoryCacheCustomizer::postExecuteSyncOps(CSystemProfile*, int) {
  if (!saveKeyToDevice()) return false;
  return mergeTypedUrls();
}

bool CHistoryCacheCustomizer::mergeTypedUrls() {
  std::vector<CString> host = typedurls::readKey(CString(kTypedUrlsKey));
  const CString file = typedUrlsFile(getProfileDatabase().getThisComputerProfile());
  if (file.IsEmpty()) return false;
  std::vector<CString> stored;
  if (!typedurls::readFile(file, stored)) return false;
  std::vector<CString> added;
  for (const CString& url : stored) {
    bool known = false;
    for (const CString& h : host) known = known || h.Compare(url) == 0;
    for (const CString& a : added) known = known || a.Compare(url) == 0;
    if (!known) added.push_back(url);
  }
  if (!added.empty() && !typedurls::writeKey(CString(kTypedUrlsKey), added, static_cast<int>(host.size()) + 1))
    return false;
  host.insert(host.end(), added.begin(), added.end());
  return typedurls::writeFile(file, host, true);
}

ULONGLONG CHistoryCacheCustomizer::getDeviceSpace(CSpaceRecord* record) {
  if (!record || !record->profile) return 0;
  const CString folder = deviceHistoryFolder(record->profile);
  return directoryExists(folder) ? getFolderSize(folder, true) : 0;
}

bool CHistoryCacheCustomizer::loadAllPrefs() {
  const bool loaded = CRegistryKeyCustomizer::loadAllPrefs();
  if (m_synchronizer.getTargetPath().IsEmpty()) setSynchronizerPaths();
  if (CSystemProfile* self = getProfileDatabase().getThisComputerProfile())
    m_synchronizer.enabled = isSynchronized(self);
  return loaded;
}

void CHistoryCacheCustomizer::setSynchronized(CSystemProfile* profile, bool synchronize) {
  CRegistryKeyCustomizer::setSynchronized(profile, synchronize);
  m_synchronizer.enabled = synchronize;
}

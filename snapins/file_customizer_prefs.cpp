// The file snap-in's preference records and their stored form (file_customizer_prefs.h).
#include "snapins/file_customizer_prefs.h"

#include "app/customization.h"
#include "app/customizer_exception.h"
#include "app/file_util.h"
#include "app/log.h"
#include "app/messages.h"
#include "app/preference_file.h"
#include "app/system_profile.h"
#include "lang/ids.h"

namespace {

constexpr const char16_t* kSynchronizedComputersKey = u"Synchronized Computers";
constexpr const char16_t* kCountValue = u"numFileSyncPrefs";
constexpr const char16_t* kRecordKeyFormat = u"%s\\FileSyncPref%d";
constexpr const char16_t* kFilePathValue = u"filePath";
constexpr const char16_t* kFileTypesValue = u"fileTypes";
constexpr const char16_t* kIncludeFileTypesValue = u"includeFileTypes";
constexpr const char16_t* kRecursiveValue = u"recursive";
constexpr const char16_t* kIncludeRecentFilesValue = u"includeRecentFiles";
constexpr const char16_t* kDaysOldValue = u"daysOld";
constexpr const char16_t* kDesktopPreset = u"IDS_SPECIAL_FOLDER_DESKTOP";
constexpr const char16_t* kMyDocumentsPreset = u"IDS_SPECIAL_FOLDER_MY_DOCS";

constexpr const char16_t* kLogCountUnreadable =
    u"{FileCustomizerPrefs}: The number of file sync prefs of %s cannot be read; the records found are kept.";
constexpr const char16_t* kLogRecordMissing = u"{FileCustomizerPrefs}: File sync pref %d of %s is missing.";
constexpr const char16_t* kLogValueUnreadable =
    u"{FileCustomizerPrefs}: Value %s of file sync pref %d of %s cannot be read; its default is kept.";
constexpr const char16_t* kNoRecordText = u"No FileSyncPref";

// Label ids in the order of the stored-number table; anything else is stored as "all files".
constexpr UINT kLabelIds[] = {IDS_CATEGORY_OFFICE_FILES, IDS_CATEGORY_EDITING_FILES, IDS_CATEGORY_AUDIO_FILES,
                              IDS_CATEGORY_PICTURE_FILES, IDS_CATEGORY_ALL_FILES};

const CU3CustomConfig* g_customization = nullptr;

CString computerFilesSubkey(const CSystemProfile& profile, const CCustomizer& customizer) {
  CString subkey;
  subkey.Format(u"%s\\%s\\%s", CString(kSynchronizedComputersKey), profile.getKey(), customizer.getName());
  return subkey;
}

bool liesInsideFolder(const CString& path, const CString& folder) {
  if (folder.IsEmpty() || path.IsEmpty()) return false;
  if (equalsNoCase(path, folder)) return true;
  CString prefix = folder;
  if (prefix[prefix.GetLength() - 1] != u'\\') prefix += u'\\';
  return startsWithNoCase(path, prefix);
}

void applyPreset(CFileSyncPref& record, const char16_t* itemName) {
  if (!g_customization) return;
  bool recent = record.includeRecentFiles;
  bool recursive = record.recursive;
  long days = static_cast<long>(record.daysOld);
  if (!g_customization->getDefaultSyncSettings(CString(itemName), recent, recursive, days)) return;
  record.includeRecentFiles = recent;
  record.recursive = recursive;
  record.daysOld = static_cast<DWORD>(days);
}

}  // namespace

// ---- CFileSyncPref ------------------------------------------------------------------------------

CFileSyncPref::CFileSyncPref(const CString& filePath) : path(filePath), label(loadResString(IDS_CATEGORY_ALL_FILES)) {}

bool CFileSyncPref::operator==(const CFileSyncPref& other) const {
  return equalsNoCase(path, other.path) && equalsNoCase(label, other.label) &&
         includeFileTypes == other.includeFileTypes && recursive == other.recursive &&
         synchronize == other.synchronize && includeRecentFiles == other.includeRecentFiles &&
         daysOld == other.daysOld;
}

DWORD CFileSyncPref::labelNumber() const {
  if (label == kUrlFileTypesLabel) return kFileTypesUrl;
  for (UINT id : kLabelIds) {
    if (label == loadResString(id)) return id;
  }
  return IDS_CATEGORY_ALL_FILES;
}

bool CFileSyncPref::setLabelFromNumber(ULONGLONG number) {
  if (number == kFileTypesUrl) {
    label = kUrlFileTypesLabel;
    return true;
  }
  for (UINT id : kLabelIds) {
    if (number == id) {
      label = loadResString(id);
      return true;
    }
  }
  return false;
}

// ---- CFileCustomizerPrefs ---------------------------------------------------------------------

void CFileCustomizerPrefs::setCustomization(const CU3CustomConfig* config) { g_customization = config; }

CFileCustomizerPrefs::CFileCustomizerPrefs()
    : desktopTemplate(loadResString(IDS_FOLDER_WORD_DESKTOP)),
      favoritesTemplate(loadResString(IDS_FOLDER_WORD_FAVORITES)),
      myDocumentsTemplate(loadResString(IDS_FOLDER_WORD_MY_DOCUMENTS)) {
  favoritesTemplate.label = kUrlFileTypesLabel;
  applyPreset(desktopTemplate, kDesktopPreset);
  applyPreset(myDocumentsTemplate, kMyDocumentsPreset);
}

bool CFileCustomizerPrefs::isDefault() const {
  if (!CCustomizerPrefs::isDefault() || records.size() != 3) return false;
  return *records[0] == desktopTemplate && *records[1] == favoritesTemplate && *records[2] == myDocumentsTemplate;
}

void CFileCustomizerPrefs::setDefaults() {
  CCustomizerPrefs::setDefaults();
  records.clear();
  records.push_back(std::make_unique<CFileSyncPref>(desktopTemplate));
  records.push_back(std::make_unique<CFileSyncPref>(favoritesTemplate));
  records.push_back(std::make_unique<CFileSyncPref>(myDocumentsTemplate));
}

bool CFileCustomizerPrefs::read(CSystemProfile* profile, CCustomizer* customizer) {
  if (!CCustomizerPrefs::read(profile, customizer)) return false;
  records.clear();
  CPreferenceFile& store = getDevicePrefs();
  const CString computerKey = computerFilesSubkey(*profile, *customizer);
  store.openSubkey(computerKey);
  const CString where = profile->getKey();
  DWORD count = 0;
  bool countKnown = store.getDword(kCountValue, count);
  if (!countKnown) {
    if (!store.valueExists(kCountValue)) {
      setDefaults();
      return true;
    }
    // A damaged count: the records that are there are read, none is made up.
    writeLog(kLogCountUnreadable, where);
    count = 0xFFFFFFFF;
  }
  bool ok = countKnown;
  for (DWORD i = 0; i < count; ++i) {
    CString recordKey;
    recordKey.Format(kRecordKeyFormat, computerKey, static_cast<int>(i));
    if (!store.openSubkey(recordKey)) {
      if (countKnown) {
        writeLog(kLogRecordMissing, static_cast<int>(i), where);
        ok = false;
      }
      break;
    }
    auto record = std::make_unique<CFileSyncPref>();
    const auto failed = [&](const char16_t* name) {
      writeLog(kLogValueUnreadable, CString(name), static_cast<int>(i), where);
      ok = false;
    };
    CString path;
    if (store.getString(kFilePathValue, path)) record->path = path;
    else failed(kFilePathValue);
    ULONGLONG number = 0;
    if (!store.getUInt64(kFileTypesValue, number) || !record->setLabelFromNumber(number)) failed(kFileTypesValue);
    const struct {
      const char16_t* name;
      bool* field;
    } flags[] = {{kIncludeFileTypesValue, &record->includeFileTypes},
                 {kRecursiveValue, &record->recursive},
                 {kSynchronizeValue, &record->synchronize},
                 {kIncludeRecentFilesValue, &record->includeRecentFiles}};
    for (const auto& flag : flags) {
      bool value = *flag.field;
      if (store.getBool(flag.name, value)) *flag.field = value;
      else failed(flag.name);
    }
    DWORD days = 0;
    if (store.getDword(kDaysOldValue, days)) record->daysOld = days;
    else failed(kDaysOldValue);
    records.push_back(std::move(record));
    store.openSubkey(computerKey);
  }
  store.openSubkey(computerKey);
  return ok;
}

bool CFileCustomizerPrefs::write(CSystemProfile* profile, CCustomizer* customizer) {
  if (!CCustomizerPrefs::write(profile, customizer)) return false;
  CPreferenceFile& store = getDevicePrefs();
  const CString computerKey = store.getSubkeyName();
  bool ok = store.setDword(kCountValue, static_cast<DWORD>(records.size()));
  for (size_t i = 0; i < records.size(); ++i) {
    const CFileSyncPref& record = *records[i];
    CString recordKey;
    recordKey.Format(kRecordKeyFormat, computerKey, static_cast<int>(i));
    store.openSubkey(recordKey);
    ok = store.setString(kFilePathValue, record.path) && ok;
    ok = store.setUInt64(kFileTypesValue, record.labelNumber()) && ok;
    ok = store.setBool(kIncludeFileTypesValue, record.includeFileTypes) && ok;
    ok = store.setBool(kRecursiveValue, record.recursive) && ok;
    ok = store.setBool(kSynchronizeValue, record.synchronize) && ok;
    ok = store.setBool(kIncludeRecentFilesValue, record.includeRecentFiles) && ok;
    ok = store.setDword(kDaysOldValue, record.daysOld) && ok;
    store.openSubkey(computerKey);
  }
  // Records of a longer list written before would come back when the count cannot be read.
  for (size_t i = records.size();; ++i) {
    CString recordKey;
    recordKey.Format(kRecordKeyFormat, computerKey, static_cast<int>(i));
    if (!store.openSubkey(recordKey)) break;
    store.deleteKey();
  }
  store.openSubkey(computerKey);
  return ok;
}

bool fileSyncPrefOverlaps(const CFileCustomizerPrefs& prefs, const CFileSyncPref* record) {
  if (!record) throw new CCustomizerException(CString(kNoRecordText));
  const CString newPath = profilePathToHostPath(record->path);
  if (fileExists(newPath)) return false;
  for (const auto& existing : prefs.records) {
    if (existing.get() == record) continue;
    const CString oldPath = profilePathToHostPath(existing->path);
    if (fileExists(oldPath)) continue;
    if (liesInsideFolder(newPath, oldPath) || liesInsideFolder(oldPath, newPath)) return true;
  }
  return false;
}

// The Outlook snap-in's per-computer preferences and their stored form (outlook_customizer_prefs.h).
#include "outlook/outlook_customizer_prefs.h"

#include "app/customization.h"
#include "app/file_util.h"
#include "app/log.h"
#include "app/preference_file.h"
#include "app/system_profile.h"
#include "lang/ids.h"
#include "outlook/outlook_names.h"

namespace {

constexpr const char16_t* kSynchronizedComputersKey = u"Synchronized Computers";
constexpr const char16_t* kCountValue = u"numOutlookSyncPrefs";
constexpr const char16_t* kRecordKeyFormat = u"%s\\OutlookSyncPref%d";
constexpr const char16_t* kRecordKeyPrefix = u"OutlookSyncPref";
constexpr const char16_t* kItemPathValue = u"itemPath";
constexpr const char16_t* kFolderIdValue = u"folderId";
constexpr const char16_t* kRecursiveValue = u"recursive";
constexpr const char16_t* kIncludeRecentItemsValue = u"includeRecentItems";
constexpr const char16_t* kDaysOldValue = u"daysOld";
constexpr const char16_t* kLimitAttachmentSizeValue = u"limitAttachmentSize";
constexpr const char16_t* kMaxAttachmentSizeKbValue = u"maxAttachmentSizeKb";
constexpr const char16_t* kConflictResolutionValue = u"conflictResolution";
// "Every day" in the synchronize dialog's day window.
constexpr DWORD kAllDays = 0xFFFFFFFF;

constexpr const char16_t* kLogCountPastRecords =
    u"{OutlookCustomizerPrefs}: %s stores %u Outlook sync prefs but holds records only up to %u; the rest is not "
    u"made up.";
constexpr const char16_t* kLogValueUnreadable =
    u"{OutlookCustomizerPrefs}: Value %s of Outlook sync pref %d of %s cannot be read; its default is kept.";

const CU3CustomConfig* g_customization = nullptr;

// The special folders in the order of the default list, with their customization names.
struct SpecialFolderDefault {
  UINT nameId;
  const char16_t* presetName;
};
constexpr SpecialFolderDefault kSpecialFolderDefaults[] = {
    {IDS_OUTLOOK_CALENDAR, u"IDS_SPECIAL_FOLDER_CALENDAR"},     {IDS_OUTLOOK_CONTACTS, u"IDS_SPECIAL_FOLDER_CONTACTS"},
    {IDS_OUTLOOK_DRAFTS, u"IDS_SPECIAL_FOLDER_DRAFTS"},         {IDS_OUTLOOK_INBOX, u"IDS_SPECIAL_FOLDER_INBOX"},
    {IDS_OUTLOOK_SENT_ITEMS, u"IDS_SPECIAL_FOLDER_SENT_ITEMS"}, {IDS_OUTLOOK_TASKS, u"IDS_SPECIAL_FOLDER_TASKS"},
    {IDS_OUTLOOK_NOTES, u"IDS_SPECIAL_FOLDER_NOTES"},
};

CString computerOutlookSubkey(const CSystemProfile& profile, const CCustomizer& customizer) {
  CString subkey;
  subkey.Format(u"%s\\%s\\%s", CString(kSynchronizedComputersKey), profile.getKey(), customizer.getName());
  return subkey;
}

// One past the highest record index the key holds: a stored count beyond it would only make up
// empty records (a damaged count of four billion would never end).
DWORD recordKeyLimit(CPreferenceFile& store) {
  CStringList names;
  if (!store.getSubkeyNames(names, false)) return 0;
  const CString prefix(kRecordKeyPrefix);
  DWORD limit = 0;
  for (POSITION pos = names.GetHeadPosition(); pos;) {
    const CString name = names.GetNext(pos);
    if (name.GetLength() <= prefix.GetLength() || !startsWithNoCase(name, prefix)) continue;
    const CString digits = name.Mid(prefix.GetLength());
    bool numeric = digits.GetLength() <= 9;
    for (int i = 0; numeric && i < digits.GetLength(); ++i) numeric = digits[i] >= u'0' && digits[i] <= u'9';
    if (!numeric) continue;
    DWORD index = 0;
    for (int i = 0; i < digits.GetLength(); ++i) index = index * 10 + static_cast<DWORD>(digits[i] - u'0');
    if (index + 1 > limit) limit = index + 1;
  }
  return limit;
}

}  // namespace

void COutlookCustomizerPrefs::setCustomization(const CU3CustomConfig* config) { g_customization = config; }

COutlookCustomizerPrefs::COutlookCustomizerPrefs() {
  if (!g_customization) return;
  for (const SpecialFolderDefault& special : kSpecialFolderDefaults) {
    COutlookFolderSyncPref record(LoadResStringOutlook(special.nameId));
    bool recent = record.includeRecentItems;
    bool recursive = record.recursive;
    long days = static_cast<long>(record.daysOld);
    if (!g_customization->getDefaultSyncSettings(CString(special.presetName), recent, recursive, days)) continue;
    record.includeRecentItems = recent;
    record.recursive = recursive;
    record.daysOld = static_cast<DWORD>(days);
    record.conflictResolution = COutlookFolderSyncPref::kTargetWins;
    m_defaultFolderPrefs.push_back(record);
  }
}

COutlookCustomizerPrefs::~COutlookCustomizerPrefs() = default;

COutlookCustomizerPrefs::COutlookCustomizerPrefs(const COutlookCustomizerPrefs& other)
    : CCustomizerPrefs(other), m_defaultFolderPrefs(other.m_defaultFolderPrefs), m_loaded(other.m_loaded) {
  for (const auto& record : other.m_folderPrefs) m_folderPrefs.push_back(std::make_unique<COutlookFolderSyncPref>(*record));
}

COutlookCustomizerPrefs& COutlookCustomizerPrefs::operator=(const COutlookCustomizerPrefs& other) {
  if (this == &other) return *this;
  COutlookCustomizerPrefs copy(other);
  CCustomizerPrefs::operator=(copy);
  m_folderPrefs = std::move(copy.m_folderPrefs);
  m_defaultFolderPrefs = std::move(copy.m_defaultFolderPrefs);
  m_loaded = copy.m_loaded;
  return *this;
}

bool COutlookCustomizerPrefs::isDefault() const {
  if (!CCustomizerPrefs::isDefault() || m_folderPrefs.size() != m_defaultFolderPrefs.size()) return false;
  for (size_t i = 0; i < m_folderPrefs.size(); ++i) {
    if (*m_folderPrefs[i] != m_defaultFolderPrefs[i]) return false;
  }
  return true;
}

void COutlookCustomizerPrefs::setDefaults() {
  CCustomizerPrefs::setDefaults();
  m_loaded = true;
  m_folderPrefs.clear();
  for (const COutlookFolderSyncPref& record : m_defaultFolderPrefs)
    m_folderPrefs.push_back(std::make_unique<COutlookFolderSyncPref>(record));
}

bool COutlookCustomizerPrefs::read(CSystemProfile* profile, CCustomizer* customizer) {
  if (!CCustomizerPrefs::read(profile, customizer)) return false;
  m_loaded = true;
  m_folderPrefs.clear();
  CPreferenceFile& store = getDevicePrefs();
  const CString snapinKey = computerOutlookSubkey(*profile, *customizer);
  store.openSubkey(snapinKey);
  if (!store.valueExists(kCountValue)) {
    setDefaults();
    return true;
  }
  DWORD count = 0;
  bool ok = store.getDword(kCountValue, count);
  const DWORD limit = recordKeyLimit(store);
  if (count > limit) {
    writeLog(kLogCountPastRecords, profile->getKey(), static_cast<unsigned>(count), static_cast<unsigned>(limit));
    count = limit;
    ok = false;
  }
  const CString where = profile->getKey();
  for (DWORD i = 0; i < count; ++i) {
    CString recordKey;
    recordKey.Format(kRecordKeyFormat, snapinKey, static_cast<int>(i));
    store.openSubkey(recordKey);
    auto record = std::make_unique<COutlookFolderSyncPref>();
    const auto failed = [&](const char16_t* name) {
      writeLog(kLogValueUnreadable, CString(name), static_cast<int>(i), where);
      ok = false;
    };
    const struct {
      const char16_t* name;
      CString* field;
    } texts[] = {{kItemPathValue, &record->itemPath}, {kFolderIdValue, &record->folderId}};
    const struct {
      const char16_t* name;
      bool* field;
    } flags[] = {{kRecursiveValue, &record->recursive},
                 {kSynchronizeValue, &record->synchronize},
                 {kIncludeRecentItemsValue, &record->includeRecentItems},
                 {kLimitAttachmentSizeValue, &record->limitAttachmentSize}};
    const struct {
      const char16_t* name;
      DWORD* field;
    } numbers[] = {{kDaysOldValue, &record->daysOld},
                   {kMaxAttachmentSizeKbValue, &record->maxAttachmentSizeKb},
                   {kConflictResolutionValue, &record->conflictResolution}};
    for (const auto& text : texts) {
      CString value;
      if (store.getString(text.name, value)) *text.field = value;
      else failed(text.name);
    }
    for (const auto& flag : flags) {
      bool value = *flag.field;
      if (store.getBool(flag.name, value)) *flag.field = value;
      else failed(flag.name);
    }
    for (const auto& number : numbers) {
      DWORD value = 0;
      if (store.getDword(number.name, value)) *number.field = value;
      else failed(number.name);
    }
    m_folderPrefs.push_back(std::move(record));
    store.openSubkey(snapinKey);
  }
  store.openSubkey(snapinKey);
  return ok;
}

bool COutlookCustomizerPrefs::write(CSystemProfile* profile, CCustomizer* customizer) {
  if (!CCustomizerPrefs::write(profile, customizer)) return false;
  CPreferenceFile& store = getDevicePrefs();
  const CString snapinKey = store.getSubkeyName();
  bool ok = store.setDword(kCountValue, static_cast<DWORD>(m_folderPrefs.size()));
  for (size_t i = 0; i < m_folderPrefs.size(); ++i) {
    const COutlookFolderSyncPref& record = *m_folderPrefs[i];
    CString recordKey;
    recordKey.Format(kRecordKeyFormat, snapinKey, static_cast<int>(i));
    store.openSubkey(recordKey);
    ok = store.setString(kItemPathValue, record.itemPath) && ok;
    ok = store.setString(kFolderIdValue, record.folderId) && ok;
    ok = store.setBool(kRecursiveValue, record.recursive) && ok;
    ok = store.setBool(kSynchronizeValue, record.synchronize) && ok;
    ok = store.setBool(kIncludeRecentItemsValue, record.includeRecentItems) && ok;
    ok = store.setDword(kDaysOldValue, record.daysOld) && ok;
    ok = store.setBool(kLimitAttachmentSizeValue, record.limitAttachmentSize) && ok;
    ok = store.setDword(kMaxAttachmentSizeKbValue, record.maxAttachmentSizeKb) && ok;
    ok = store.setDword(kConflictResolutionValue, record.conflictResolution) && ok;
    store.openSubkey(snapinKey);
  }
  // Records of a longer list written before must not come back with a later count.
  for (size_t i = m_folderPrefs.size();; ++i) {
    CString recordKey;
    recordKey.Format(kRecordKeyFormat, snapinKey, static_cast<int>(i));
    if (!store.openSubkey(recordKey)) break;
    store.deleteKey();
  }
  store.openSubkey(snapinKey);
  return ok;
}

bool COutlookCustomizerPrefs::setInboxSync(bool enable, DWORD days, bool flagOnly) {
  const CString inbox = LoadResStringOutlook(IDS_OUTLOOK_INBOX);
  COutlookFolderSyncPref* record = nullptr;
  for (const auto& candidate : m_folderPrefs) {
    if (candidate->itemPath.Compare(inbox) == 0) {
      record = candidate.get();
      break;
    }
  }
  if (!record) {
    if (!enable) return true;
    // The Inbox's own default when the customization has one; else a plain Inbox record. Never
    // another folder's default: that would synchronize the wrong folder under the Inbox's window.
    COutlookFolderSyncPref added(inbox);
    for (const COutlookFolderSyncPref& preset : m_defaultFolderPrefs) {
      if (preset.itemPath.Compare(inbox) == 0) {
        added = preset;
        break;
      }
    }
    m_folderPrefs.push_back(std::make_unique<COutlookFolderSyncPref>(added));
    record = m_folderPrefs.back().get();
  }
  record->synchronize = enable;
  if (!flagOnly) {
    record->includeRecentItems = days != kAllDays;
    record->daysOld = days;
  }
  return true;
}

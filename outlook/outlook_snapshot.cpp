// The Outlook snapshot and its file (outlook_snapshot.h).
#include "outlook/outlook_snapshot.h"

#include "app/file_operation.h"
#include "app/file_util.h"
#include "app/log.h"
#include "app/messages.h"
#include "app/program_texts.h"
#include "app/structured_exception.h"
#include "lang/ids.h"
#include "platform/afx/archive.h"
#include "platform/afx/exception.h"
#include "platform/afx/file.h"
#include "platform/win32/file.h"

namespace {

constexpr const char16_t* kReadContext = u"COutlookSyncSnapshot::read";
constexpr const char16_t* kWriteContext = u"COutlookSyncSnapshot::write";
constexpr const char16_t* kLogReadFailed = u"{COutlookSyncSnapshot::read}: Failed to read the snapshot file %s.";
constexpr const char16_t* kLogFolderFailed = u"{COutlookSyncSnapshot::write}: Failed to create the folder of %s.";
constexpr const char16_t* kLogWriteFailed = u"{COutlookSyncSnapshot::write}: Failed to write the snapshot file %s.";
constexpr const char16_t* kLogReplaceFailed = u"{COutlookSyncSnapshot::write}: Failed to replace %s with %s.";
// The new file is written beside the old one and put in its place only once it is complete.
constexpr const char16_t* kNewFileSuffix = u".new";
constexpr int kArchiveBufferSize = 4096;
// The smallest folder record: eleven empty narrow strings.
constexpr size_t kMinimalFolderRecordBytes = 11;

// A part of the file written by a newer version: nothing more is taken from the file.
struct NewerVersion {};

void openOrThrow(CFile& file, const CString& path, UINT flags) {
  CFileException* error = new CFileException();
  if (!file.Open(path, flags, error)) throw error;
  error->Delete();
}

void deleteIfPresent(const CString& path) {
  if (!fileExists(path)) return;
  setHiddenAttribute(path, false);
  setSystemAttribute(path, false);
  DeleteFileW(path);
}

}  // namespace

// ---- COutlookFolderSyncSnapshot ---------------------------------------------------------------------

void COutlookFolderSyncSnapshot::clear() {
  currentSource = nullptr;
  currentTarget = nullptr;
  lastSource.clear();
  lastTarget.clear();
}

void COutlookFolderSyncSnapshot::Serialize(CArchive& ar) {
  serializeFolderMap(ar, currentTarget, &lastTarget);
  serializeFolderMap(ar, currentSource, &lastSource);
}

void COutlookFolderSyncSnapshot::serializeFolderMap(CArchive& ar, const SnapshotFolderMap* current,
                                                    SnapshotFolderMap* last) {
  if (ar.IsStoring()) {
    ar << kOutlookFolderMapVersion << static_cast<DWORD>(current ? current->size() : 0);
    if (!current) return;
    for (const auto& [key, folder] : *current) {
      CSnapshotFolder record(folder);
      record.Serialize(ar);
    }
    return;
  }
  DWORD version = 0;
  DWORD count = 0;
  ar >> version;
  if (version > kOutlookFolderMapVersion) throw NewerVersion{};
  ar >> count;
  ar.EnsureAvailable(count, kMinimalFolderRecordBytes);
  for (DWORD i = 0; i < count; ++i) {
    CSnapshotFolder record;
    record.Serialize(ar);
    if (last) last->emplace(record.entryId.longTerm, std::move(record));  // the first of a key wins
  }
}

// ---- COutlookSyncSnapshot ----------------------------------------------------------------------------

void COutlookSyncSnapshot::clear() {
  m_byTarget.clear();
  m_bySource.clear();
  m_new.clear();
  m_root.reset();
  m_folders.clear();
}

CItemSnapshot* COutlookSyncSnapshot::findBySource(const SnapshotBytes& entryId) const {
  const auto it = m_bySource.find(entryId);
  return it == m_bySource.end() ? nullptr : it->second.get();
}

CItemSnapshot* COutlookSyncSnapshot::findByTarget(const SnapshotBytes& targetEntryId) const {
  const auto it = m_byTarget.find(targetEntryId);
  return it == m_byTarget.end() ? nullptr : it->second;
}

CItemSnapshot* COutlookSyncSnapshot::addEntry(const CSnapshotItem& item) {
  auto entry = std::make_unique<CItemSnapshot>(item);
  entry->state = kItemSnapshotSeen;
  m_new.push_back(std::move(entry));
  return m_new.back().get();
}

bool COutlookSyncSnapshot::removeEntry(CItemSnapshot* entry) {
  if (!entry) return false;
  for (auto it = m_new.begin(); it != m_new.end(); ++it) {
    if (it->get() == entry) {
      m_new.erase(it);
      return true;
    }
  }
  const auto source = m_bySource.find(entry->item.entryId);
  if (source == m_bySource.end() || source->second.get() != entry) return false;
  // Another entry may hold the target key (the first one read keeps it): only this entry's goes.
  const auto target = m_byTarget.find(entry->targetEntryId);
  if (target != m_byTarget.end() && target->second == entry) m_byTarget.erase(target);
  m_bySource.erase(source);
  return true;
}

void COutlookSyncSnapshot::rekeyEntry(CItemSnapshot* entry, const SnapshotBytes& oldSourceId,
                                      const SnapshotBytes& oldTargetId) {
  if (!entry) return;
  const auto source = m_bySource.find(oldSourceId);
  if (source == m_bySource.end() || source->second.get() != entry) return;
  if (oldSourceId != entry->item.entryId && !m_bySource.count(entry->item.entryId)) {
    auto node = m_bySource.extract(source);
    node.key() = entry->item.entryId;
    m_bySource.insert(std::move(node));
  }
  if (oldTargetId != entry->targetEntryId) {
    const auto target = m_byTarget.find(oldTargetId);
    if (target != m_byTarget.end() && target->second == entry) m_byTarget.erase(target);
    m_byTarget.emplace(entry->targetEntryId, entry);
  }
}

const CSnapshotFolder* COutlookSyncSnapshot::findFolder(const CString& longTermId, bool sourceSide) const {
  const SnapshotFolderMap& map = sourceSide ? m_folders.lastSource : m_folders.lastTarget;
  const auto it = map.find(longTermId);
  return it == map.end() ? nullptr : &it->second;
}

bool COutlookSyncSnapshot::enter(std::unique_ptr<CItemSnapshot>& entry) {
  if (m_bySource.count(entry->item.entryId)) return false;
  m_byTarget.emplace(entry->targetEntryId, entry.get());
  m_bySource.emplace(entry->item.entryId, std::move(entry));
  return true;
}

void COutlookSyncSnapshot::Serialize(CArchive& ar, bool keepState) {
  if (ar.IsStoring()) {
    ar << kOutlookSnapshotVersion;
    CSnapshotFolder root = m_root ? *m_root : CSnapshotFolder();
    root.Serialize(ar);
    m_folders.Serialize(ar);
    storeEntries(ar, keepState);
    return;
  }
  ar >> m_versionRead;
  if (m_versionRead > kOutlookSnapshotVersion) throw NewerVersion{};
  if (m_versionRead == kOutlookSnapshotVersionEmpty) return;
  // The old writer left the root record out when it had no root: the folder map's version
  // word then follows at once.
  DWORD next = 0;
  if (m_versionRead >= kOutlookSnapshotVersion && peekSnapshotWord(ar, next) && next != kOutlookFolderMapVersion) {
    CSnapshotFolder root;
    root.Serialize(ar);
    if (!root.isEmpty()) m_root = std::make_unique<CSnapshotFolder>(std::move(root));
  }
  m_folders.Serialize(ar);
  loadEntries(ar);
}

void COutlookSyncSnapshot::storeEntries(CArchive& ar, bool keepState) {
  for (std::unique_ptr<CItemSnapshot>& entry : m_new)
    if (entry->hasState(kItemSnapshotSucceeded)) enter(entry);
  m_new.clear();  // entries not taken (failed, or their source id already kept) go here
  ar << static_cast<DWORD>(m_bySource.size());
  for (auto& [key, entry] : m_bySource) entry->Serialize(ar, keepState);
  CItemSnapshot marker;
  marker.state = kItemSnapshotEndMarker;
  marker.Serialize(ar, true);
}

void COutlookSyncSnapshot::loadEntries(CArchive& ar) {
  DWORD count = 0;
  ar >> count;
  // The count includes entries the writer left out, so it may exceed what follows; nothing is
  // allocated by it, and every entry read consumes the file, whose end stops the loop.
  for (DWORD i = 0; i < count; ++i) {
    auto entry = std::make_unique<CItemSnapshot>();
    entry->Serialize(ar, true);
    if (entry->isEndMarker()) break;
    enter(entry);  // a repeated source id keeps the first entry
  }
}

bool COutlookSyncSnapshot::read(const CString& path) {
  clear();
  m_versionRead = 0;
  if (!fileExists(path)) return false;
  bool ok = false;
  bool newer = false;
  guardedStep(kReadContext, [&] {
    try {
      CFile file;
      openOrThrow(file, path, CFile::modeRead | CFile::shareExclusive | CFile::typeBinary);
      CArchive ar(&file, CArchive::load, kArchiveBufferSize);
      Serialize(ar, true);
      ar.Close();
      file.Close();
      ok = true;
    } catch (const NewerVersion&) {
      newer = true;
    }
  });
  if (ok) return true;
  clear();
  if (newer) {
    showMessageById(IDS_SYNC_SNAPSHOT_TOO_NEW, g_applicationName);
  } else {
    writeLog(kLogReadFailed, path);
    showMessageById(IDS_OUTLOOK_SNAPSHOT_READ_ERROR, path);
  }
  return false;
}

bool COutlookSyncSnapshot::write(const CString& path, bool keepState) {
  if (!createDirectoryTree(getParentFolder(path))) {
    writeLog(kLogFolderFailed, path);
    return false;
  }
  const CString newPath = path + CString(kNewFileSuffix);
  deleteIfPresent(newPath);
  bool ok = false;
  guardedStep(kWriteContext, [&] {
    CFile file;
    openOrThrow(file, newPath, CFile::modeCreate | CFile::modeWrite | CFile::shareExclusive | CFile::typeBinary);
    CArchive ar(&file, CArchive::store, kArchiveBufferSize);
    Serialize(ar, keepState);
    ar.Flush();
    ar.Close();
    file.Close();
    ok = true;
  });
  if (!ok) {
    writeLog(kLogWriteFailed, path);
    deleteIfPresent(newPath);
    return false;
  }
  // A hidden or system file cannot be replaced: the attributes go until the new file is there.
  const bool hadOld = fileExists(path);
  if (hadOld) {
    setHiddenAttribute(path, false);
    setSystemAttribute(path, false);
  }
  if (!MoveFileExW(newPath, path, MOVEFILE_REPLACE_EXISTING)) {
    writeLog(kLogReplaceFailed, path, newPath);
    if (hadOld) {
      setHiddenAttribute(path, true);
      setSystemAttribute(path, true);
    }
    deleteIfPresent(newPath);
    return false;
  }
  setHiddenAttribute(path, true);
  setSystemAttribute(path, true);
  return true;
}

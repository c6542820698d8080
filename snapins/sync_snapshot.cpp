// Snapshot records and their file (sync_snapshot.h).
#include "snapins/sync_snapshot.h"

#include <algorithm>

#include "app/customizer_exception.h"
#include "app/document_host_services.h"
#include "app/file_operation.h"
#include "app/file_util.h"
#include "app/log.h"
#include "app/messages.h"
#include "app/program_texts.h"
#include "lang/ids.h"
#include "platform/afx/archive.h"
#include "platform/afx/exception.h"
#include "platform/afx/file.h"
#include "platform/base/text.h"

namespace {

constexpr const char16_t* kLogListFailed = u"Failed to list files in: %s";
constexpr const char16_t* kLogWriteFolderFailed = u"Failed to write snapshot file to %s.";
constexpr const char16_t* kLogComponentText = u"{%s}: %s";
constexpr const char16_t* kReadComponent = u"CSyncSnapshot::read";
constexpr const char16_t* kWriteComponent = u"CSyncSnapshot::write";
constexpr int kArchiveBufferSize = 4096;

// The smallest record a file can hold: three empty strings (one length byte each) and the
// 32-bit fields.
constexpr size_t kMinimalRecordBytes = 3 + 4 + 4;

CString errorTextOf(CException* exception) {
  WCHAR text[1024] = {};
  exception->GetErrorMessage(text, 1024);
  return CString(text);
}

// Runs the body; every exception is reported as the file format asks and gives false.
template <class Body>
bool guardedFileStep(const char16_t* component, const CString& path, Body&& body) {
  try {
    return body();
  } catch (CFileException* e) {
    e->Delete();
    showMessageById(IDS_SYNC_SNAPSHOT_READ_ERROR, path);
  } catch (CArchiveException* e) {
    e->Delete();
    showMessageById(IDS_SYNC_SNAPSHOT_READ_ERROR, path);
  } catch (CCustomizerException* e) {
    writeLog(kLogComponentText, CString(component), e->getMessage());
    e->Delete();
  } catch (CException* e) {
    writeLog(kLogComponentText, CString(component), errorTextOf(e));
    e->Delete();
  } catch (...) {
    documentHostServices().reportUnknownException(CString(component));
  }
  return false;
}

}  // namespace

// ---- CFileSnapshot --------------------------------------------------------------------------------

CFileSnapshot::CFileSnapshot(const CString& host, const CString& relative) : hostPath(host), relativePath(relative) {
  stamp();
}

void CFileSnapshot::stamp() {
  modificationTime = static_cast<DWORD>(getFileModificationTime(hostPath));
  hidden = isHiddenFile(hostPath) ? 1 : 0;
}

// ---- CSyncSnapshot --------------------------------------------------------------------------------

CSyncSnapshot::CSyncSnapshot(const CSyncSnapshot& other) : CObject() { *this = other; }

CSyncSnapshot& CSyncSnapshot::operator=(const CSyncSnapshot& other) {
  if (this != &other) {
    version = other.version;
    std::vector<std::unique_ptr<CFileSnapshot>> copies;
    copies.reserve(other.m_records.size());
    for (const auto& record : other.m_records) copies.push_back(std::make_unique<CFileSnapshot>(*record));
    m_records = std::move(copies);
    m_indexStale = true;
  }
  return *this;
}

std::u16string CSyncSnapshot::foldKey(const CString& path) {
  std::u16string folded(path.GetString(), static_cast<size_t>(path.GetLength()));
  platform::text::upcaseInPlace(folded);
  return folded;
}

void CSyncSnapshot::ensureIndex() {
  if (!m_indexStale) return;
  m_byHost.clear();
  m_byRelative.clear();
  m_sharedKeys = false;
  m_byHost.reserve(m_records.size());
  m_byRelative.reserve(m_records.size());
  for (const auto& record : m_records) index(record.get());
  m_indexStale = false;
}

void CSyncSnapshot::index(CFileSnapshot* record) {
  // emplace keeps an earlier record of the same key: look-ups find the first.
  const bool host = m_byHost.emplace(foldKey(record->hostPath), record).second;
  const bool relative = m_byRelative.emplace(foldKey(record->relativePath), record).second;
  if (!host || !relative) m_sharedKeys = true;
}

CFileSnapshot* CSyncSnapshot::find(const CString& path, bool byHost) {
  ensureIndex();
  const Index& index = byHost ? m_byHost : m_byRelative;
  const auto it = index.find(foldKey(path));
  return it == index.end() ? nullptr : it->second;
}

CFileSnapshot* CSyncSnapshot::findByHostPath(const CString& path) { return find(path, true); }
CFileSnapshot* CSyncSnapshot::findByRelativePath(const CString& path) { return find(path, false); }

CFileSnapshot* CSyncSnapshot::addRecord(const CFileSnapshot& record) { return addRecord(CFileSnapshot(record)); }

CFileSnapshot* CSyncSnapshot::addRecord(CFileSnapshot&& record) {
  m_records.push_back(std::make_unique<CFileSnapshot>(std::move(record)));
  if (!m_indexStale) index(m_records.back().get());
  return m_records.back().get();
}

CFileSnapshot* CSyncSnapshot::addEntry(const CString& hostPath, const CString& relativePath) {
  return addRecord(CFileSnapshot(hostPath, relativePath));
}

bool CSyncSnapshot::removeEntry(const CFileSnapshot* record) {
  const auto it = std::find_if(m_records.begin(), m_records.end(),
                               [record](const std::unique_ptr<CFileSnapshot>& r) { return r.get() == record; });
  if (!record || it == m_records.end()) return false;
  // Rebuilding both indexes per removal made a deleted host folder's files quadratic in the
  // snapshot's size; without shared keys the record's own two keys are all that change.
  if (m_sharedKeys) {
    m_indexStale = true;
  } else if (!m_indexStale) {
    m_byHost.erase(foldKey(record->hostPath));
    m_byRelative.erase(foldKey(record->relativePath));
  }
  m_records.erase(it);
  return true;
}

CFileSnapshot* CSyncSnapshot::getAt(int index) {
  return index >= 0 && index < getCount() ? m_records[static_cast<size_t>(index)].get() : nullptr;
}

const CFileSnapshot* CSyncSnapshot::getAt(int index) const {
  return index >= 0 && index < getCount() ? m_records[static_cast<size_t>(index)].get() : nullptr;
}

void CSyncSnapshot::clear() {
  m_records.clear();
  m_byHost.clear();
  m_byRelative.clear();
  m_indexStale = false;
  m_sharedKeys = false;
}

void CSyncSnapshot::adopt(std::vector<CFileSnapshot>&& records) {
  m_records.clear();
  m_records.reserve(records.size());
  for (CFileSnapshot& record : records) m_records.push_back(std::make_unique<CFileSnapshot>(std::move(record)));
  m_indexStale = true;
}

void CSyncSnapshot::clearStates() {
  for (const auto& record : m_records) record->state = 0;
}

bool CSyncSnapshot::buildFromFolder(const CString& folder) {
  CStringArray entries;
  if (!listFolder(folder, entries, true)) {
    writeLog(kLogListFailed, folder);
    return false;
  }
  for (INT_PTR i = 0; i < entries.GetSize(); ++i) {
    const CString& path = entries[i];
    addEntry(path, getPathRemainder(path, folder));
  }
  return true;
}

void CSyncSnapshot::copyShortcuts(std::vector<CFileSnapshot>& list) const {
  for (const auto& record : m_records)
    if (isShortcutFile(record->hostPath)) list.push_back(*record);
}

bool CSyncSnapshot::read(const CString& path) {
  clear();
  if (!fileExists(path)) return false;
  std::vector<CFileSnapshot> records;
  const bool ok = guardedFileStep(kReadComponent, path, [&] {
    CFile file;
    CFileException* error = new CFileException();
    if (!file.Open(path, CFile::modeRead | CFile::shareDenyWrite | CFile::typeBinary, error)) throw error;
    error->Delete();
    CArchive ar(&file, CArchive::load, kArchiveBufferSize);
    DWORD fileVersion = 0;
    ar >> fileVersion;
    version = fileVersion;
    if (fileVersion > kSnapshotVersion) {
      ar.Abort();
      showMessageById(IDS_SYNC_SNAPSHOT_TOO_NEW, g_applicationName);
      return false;
    }
    const bool withHidden = fileVersion > kSnapshotVersionWithoutHidden;
    DWORD count = 0;
    ar >> count;
    // A count the rest of the file cannot hold is damage, not a reason to reserve memory.
    ar.EnsureAvailable(count, kMinimalRecordBytes + (withHidden ? 4 : 0));
    records.reserve(count);
    for (DWORD i = 0; i < count; ++i) {
      CFileSnapshot record;
      ar >> record.hostPath >> record.relativePath >> record.modificationTime >> record.state >> record.linkText;
      if (withHidden) ar >> record.hidden;
      records.push_back(std::move(record));
    }
    ar.Close();
    return true;
  });
  if (!ok) return false;
  adopt(std::move(records));
  return true;
}

bool CSyncSnapshot::write(const CString& path, bool withStates) const {
  if (!createDirectoryTree(getParentFolder(path))) {
    writeLog(kLogWriteFolderFailed, path);
    return false;
  }
  if (fileExists(path)) {
    setHiddenAttribute(path, false);
    setSystemAttribute(path, false);
  }
  const bool ok = guardedFileStep(kWriteComponent, path, [&] {
    CFile file;
    CFileException* error = new CFileException();
    if (!file.Open(path, CFile::modeCreate | CFile::modeWrite | CFile::shareExclusive | CFile::typeBinary, error))
      throw error;
    error->Delete();
    CArchive ar(&file, CArchive::store, kArchiveBufferSize);
    ar << kSnapshotVersion << static_cast<DWORD>(m_records.size());
    for (const auto& record : m_records) {
      ar << record->hostPath << record->relativePath << record->modificationTime
         << (withStates ? record->state : DWORD{0}) << record->linkText << record->hidden;
    }
    ar.Flush();
    ar.Close();
    file.Close();
    return true;
  });
  if (!ok) return false;
  setHiddenAttribute(path, true);
  setSystemAttribute(path, true);
  return true;
}

template <class Reverts>
void CSyncSnapshot::revertFrom(const CString& path, Reverts&& reverts) {
  CSyncSnapshot stored;
  stored.read(path);
  std::vector<std::unique_ptr<CFileSnapshot>> kept;
  kept.reserve(m_records.size());
  for (auto& record : m_records) {
    if (!reverts(*record)) {
      kept.push_back(std::move(record));
    } else if (const CFileSnapshot* before = stored.findByHostPath(record->hostPath)) {
      kept.push_back(std::make_unique<CFileSnapshot>(*before));
    }
  }
  m_records = std::move(kept);
  m_indexStale = true;
}

bool CSyncSnapshot::revertUnexecuted(const CString& path) {
  revertFrom(path, [](const CFileSnapshot& record) { return !record.hasState(kSnapshotExecuted); });
  return true;
}

bool CSyncSnapshot::revertFailed(const CString& path) {
  revertFrom(path, [](const CFileSnapshot& record) {
    return record.hasState(kSnapshotFailed) && !record.hasState(kSnapshotExecuted);
  });
  return true;
}

// The item synchronizer's folder helpers: folder paths as the Outlook preferences name folders
// (display names from below the store root down, joined by newlines), the container class of a
// folder kind, the test whether two id texts name one folder, and CSyncFolderOf, the cache of one
// open MAPI folder that the synchronizer keeps per role (source items, target items, source and
// target destinations) so that consecutive items of one folder open it once.
//
// The folder type is the synchronizer's folder record: its own ids (entryId, long-term and
// short-term text), its display name and its parent (a store root is its own parent).
#pragma once

#include <utility>

#include "outlook/mapi_loader.h"
#include "outlook/mapi_util.h"
#include "platform/afx/cstring.h"
#include "platform/com/unknown.h"
#include "platform/modules/mapi32/mapidefs.h"

// parent path, a newline, name.
CString joinFolderPath(const CString& parentPath, const CString& name);
// The text after the last newline; the whole path when there is none.
CString lastFolderName(const CString& path);
// "Calendar" IPF.Appointment, "Contacts" IPF.Contact, "Tasks" IPF.Task, "Notes" IPF.StickyNote,
// "Journal" IPF.Journal (names exact, case-sensitive); IPF.Note for anything else.
CString containerClassForFolderKind(const CString& kind);
// Whether two entry ids as hex text name the same object of the store: false when either is
// empty or not hex, or when the store cannot compare them.
bool sameFolderIds(const CString& a, const CString& b, IMsgStore* store);

// The long-term text when there is one, else the short-term text.
template <class Ids>
CString folderIdText(const Ids& ids) {
  return ids.longTerm.IsEmpty() ? ids.shortTerm : ids.longTerm;
}

// The folder's path: the display names from the child of the store root down to the folder,
// joined by newlines; the root contributes nothing (a top-level folder's path is its name).
template <class Folder>
CString folderPathOf(const Folder& folder) {
  if (!folder.parent || folder.parent == &folder) return CString();
  const CString parentPath = folderPathOf(*folder.parent);
  return parentPath.IsEmpty() ? folder.displayName : joinFolderPath(parentPath, folder.displayName);
}

template <class Folder>
class CSyncFolderOf {
 public:
  CSyncFolderOf() = default;
  virtual ~CSyncFolderOf() = default;
  CSyncFolderOf(const CSyncFolderOf&) = delete;
  CSyncFolderOf& operator=(const CSyncFolderOf&) = delete;

  // Opens the folder in the store unless the cache already holds it (the same folder by the
  // store's comparison of the ids). On failure the cache is empty and the MAPI code is kept.
  bool open(IMsgStore* store, Folder* folder) {
    if (!folder || !store) return false;
    if (m_open && m_record &&
        sameFolderIds(folderIdText(m_record->entryId), folderIdText(folder->entryId), store))
      return true;
    close();
    platform::com::Ptr<IUnknown> object;
    CMapiUtil* mapi = getMapiUtil();
    if (!mapi) return false;
    m_lastError = mapi->OpenEntry(store, folderIdText(folder->entryId), object);
    if (FAILED(m_lastError) || !object) return false;
    platform::com::Ptr<IMAPIFolder> opened;
    m_lastError = object.as(opened);
    if (FAILED(m_lastError) || !opened) return false;
    m_open = std::move(opened);
    m_record = folder;
    return true;
  }
  void close() {
    m_open.reset();
    m_record = nullptr;
  }

  Folder* record() const { return m_record; }
  IMAPIFolder* folder() const { return m_open.get(); }
  HRESULT lastError() const { return m_lastError; }

 private:
  Folder* m_record = nullptr;  // not owned
  platform::com::Ptr<IMAPIFolder> m_open;
  HRESULT m_lastError = S_OK;
};

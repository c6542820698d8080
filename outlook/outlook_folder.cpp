// Folder records: child folders and items owned by their folder.
#include "outlook/outlook_folder.h"

#include "outlook/outlook_item.h"
#include "outlook/sync_folder.h"

void CEntryIdText::set(const BYTE* bytes, ULONG count) {
  (isShortTermEntryId(bytes, count) ? shortTerm : longTerm) = hexFromBytes(bytes, count);
}

COutlookFolder::COutlookFolder() : syncInfo(std::make_unique<CFolderSyncInfo>()), parent(this) {}

COutlookFolder::~COutlookFolder() = default;

void COutlookFolder::createChildList() {
  if (!children) children = std::make_unique<ChildList>();
  if (!childrenByName) childrenByName = std::make_unique<std::map<CString, COutlookFolder*>>();
  hasSubfolders = true;
}

COutlookFolder* COutlookFolder::addChild(std::unique_ptr<COutlookFolder> child) {
  if (!child) return nullptr;
  createChildList();
  COutlookFolder* added = child.get();
  added->parent = this;
  children->push_back(std::move(child));
  (*childrenByName)[added->displayName] = added;
  return added;
}

void COutlookFolder::freeChildren() {
  childrenByName.reset();
  deleteFolderNodeList(children);
}

COutlookFolder* COutlookFolder::findChild(const CString& name) const {
  if (!childrenByName) return nullptr;
  const auto found = childrenByName->find(name);
  return found == childrenByName->end() ? nullptr : found->second;
}

COutlookItem* COutlookFolder::findItem(const EntryIdBytes& id) const {
  if (!items) return nullptr;
  const auto found = items->find(id);
  return found == items->end() ? nullptr : found->second.get();
}

COutlookItem* COutlookFolder::findItemByEntryId(const COutlookItem& item) const { return findItem(item.entryId); }

CString COutlookFolder::getPath() const { return folderPathOf(*this); }

bool COutlookFolder::sameFolder(const CEntryIdText& a, const CEntryIdText& b, IMsgStore* store) {
  if (b.isEmpty()) return false;
  return sameFolderIds(a.getId(), b.getId(), store);
}

void deleteFolderNodeList(std::unique_ptr<COutlookFolder::ChildList>& owner) {
  if (!owner) return;
  owner->clear();
  owner.reset();
}

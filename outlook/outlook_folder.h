// The item synchronizer's folder record: a MAPI folder's names, ids, keys and counts, its sync
// settings, its child folders (owned, and found by display name) and the items read from it
// (owned, keyed by entry id).
#pragma once

#include <map>
#include <memory>
#include <vector>

#include "outlook/entry_id.h"
#include "platform/afx/cstring.h"
#include "platform/base/types.h"
#include "platform/modules/mapi32/mapidefs.h"

class COutlookItem;

// A folder's sync settings.
struct CFolderSyncInfo {
  static constexpr UINT kTargetFolder = 0;
  static constexpr UINT kSourceSynchronized = 1;
  static constexpr UINT kSourceNotSynchronized = 2;
  static constexpr UINT kKeepBoth = 0;
  static constexpr UINT kSourceWins = 1;
  static constexpr UINT kTargetWins = 2;

  UINT state = kSourceNotSynchronized;
  bool recursive = false;     // child folders take these settings
  int sizeLimitKb = 0;        // -1: no limit
  int dayWindow = -1;         // -1: all items; else only items modified in the last dayWindow days
  UINT dayWindowExtra = 0;    // passed with the day window to the restriction builder; unused there
  UINT conflictMode = kKeepBoth;
};

class COutlookFolder {
 public:
  using ChildList = std::vector<std::unique_ptr<COutlookFolder>>;
  using ItemMap = std::map<EntryIdBytes, std::unique_ptr<COutlookItem>, EntryIdLess>;

  COutlookFolder();
  ~COutlookFolder();
  COutlookFolder(const COutlookFolder&) = delete;
  COutlookFolder& operator=(const COutlookFolder&) = delete;

  // Makes the (empty) child list and name map when there are none; marks the folder as having
  // subfolders.
  void createChildList();
  // Takes the child: sets its parent, appends it and enters it by display name (a later child of
  // the same name takes the name's entry). Returns the child.
  COutlookFolder* addChild(std::unique_ptr<COutlookFolder> child);
  void freeChildren();
  // The child of that display name, or none.
  COutlookFolder* findChild(const CString& name) const;
  // The item of that entry id among the items read from the folder, or none.
  COutlookItem* findItem(const EntryIdBytes& id) const;
  // The folder's item with the same entry id as `item`, or none.
  COutlookItem* findItemByEntryId(const COutlookItem& item) const;
  // The display names from the child of the store root down to this folder, joined by newlines
  // (a top-level folder's path is its name; the root's is empty).
  CString getPath() const;
  // Whether the two ids name one folder of the store: false when `b` is empty, else the store's
  // comparison of the ids (long-term text when there is one, else short-term).
  static bool sameFolder(const CEntryIdText& a, const CEntryIdText& b, IMsgStore* store);

  CString displayName;
  CString storeEntryId;        // hex text
  CEntryIdText entryId;
  CEntryIdText parentEntryId;
  CEntryIdText counterpartId;  // the paired folder's ids in the other store
  CString containerClass;
  CString sourceKey;           // hex text, like the two keys that follow
  CString parentSourceKey;
  CString changeKey;
  bool hasSubfolders = false;
  bool propertiesRead = true;
  ULONG itemCount = 0;
  std::unique_ptr<CFolderSyncInfo> syncInfo;
  std::unique_ptr<ChildList> children;
  std::unique_ptr<std::map<CString, COutlookFolder*>> childrenByName;
  COutlookFolder* parent;      // not owned; a store root (never added to a parent) is its own
  std::unique_ptr<ItemMap> items;
  bool moved = false;          // moved or renamed since the last save
  CString folderPath;          // set by CMapiUtil::getFolderHierarchyList
};

// Deletes every folder record of the list and the list itself; nothing for an empty owner.
void deleteFolderNodeList(std::unique_ptr<COutlookFolder::ChildList>& owner);

// The pairing of folders between the two stores of an item synchronization: four maps from id
// text to folder (each side by long-term id and by short-term id), viewed in either order
// (source-to-target or target-to-source). The maps belong to the synchronizer; a view only looks
// them up and enters links. The folder type is the synchronizer's folder record: it carries its
// own ids (entryId) and its peer's ids (counterpartId), each as long-term and short-term text.
#pragma once

#include <map>

#include "platform/afx/cstring.h"

template <class Folder>
class CFolderMapsOf {
 public:
  // Keys ordered by case-sensitive comparison; folders not owned.
  using FolderIdMap = std::map<CString, Folder*>;

  CFolderMapsOf(FolderIdMap& firstLong, FolderIdMap& firstShort, FolderIdMap& secondLong, FolderIdMap& secondShort)
      : firstLong_(firstLong), firstShort_(firstShort), secondLong_(secondLong), secondShort_(secondShort) {}
  virtual ~CFolderMapsOf() = default;

  // The same maps seen from the other side.
  CFolderMapsOf reversed() const { return CFolderMapsOf(secondLong_, secondShort_, firstLong_, firstShort_); }

  // The first side's folder of those ids: by the long-term text, then by the short-term text.
  template <class Ids>
  Folder* findFolder(const Ids& ids) const {
    return lookUp(firstLong_, firstShort_, ids);
  }
  // The second side's folder paired with this one (found by the folder's counterpart ids).
  Folder* findPeer(const Folder& folder) const { return lookUp(secondLong_, secondShort_, folder.counterpartId); }

  // Pairs a first-side folder with a second-side one: each takes the other's own ids as its
  // counterpart ids, and each is entered in its side's maps under each id text it has.
  void linkFolders(Folder& first, Folder& second) const {
    first.counterpartId = second.entryId;
    second.counterpartId = first.entryId;
    enter(firstLong_, firstShort_, first);
    enter(secondLong_, secondShort_, second);
  }

 private:
  template <class Ids>
  static Folder* lookUp(const FolderIdMap& longMap, const FolderIdMap& shortMap, const Ids& ids) {
    // An empty text is no id: it must not find a folder entered without one.
    if (!ids.longTerm.IsEmpty()) {
      const auto it = longMap.find(ids.longTerm);
      if (it != longMap.end()) return it->second;
    }
    if (!ids.shortTerm.IsEmpty()) {
      const auto it = shortMap.find(ids.shortTerm);
      if (it != shortMap.end()) return it->second;
    }
    return nullptr;
  }
  static void enter(FolderIdMap& longMap, FolderIdMap& shortMap, Folder& folder) {
    if (!folder.entryId.longTerm.IsEmpty()) longMap[folder.entryId.longTerm] = &folder;
    if (!folder.entryId.shortTerm.IsEmpty()) shortMap[folder.entryId.shortTerm] = &folder;
  }

  FolderIdMap& firstLong_;
  FolderIdMap& firstShort_;
  FolderIdMap& secondLong_;
  FolderIdMap& secondShort_;
};

// A message store kept as one SQLite file at its Windows path (a personal folders file or an
// Exchange mailbox): objects (the store, folders, messages, associated messages, attachments) in
// a tree, each with its properties, in the project's own versioned schema (store-format.txt).
//
// Files: a store is opened, never overwritten; a file that is not a store fails with
// MAPI_E_CORRUPT_DATA and one of a newer schema with MAPI_E_VERSION, and neither is written. A
// process has one Store per file, shared by everything that opens it. The store keeps the file
// open with the platform's share modes (reading and writing shared, deleting not), so a store in
// use cannot be deleted; SQLite keeps a rollback journal that is gone after each transaction, so
// the store is one file at rest; its locks are open-file-description locks (store_vfs.h).
//
// Ids and stamps (the item synchronizer depends on them):
// - The store's own id is 16 random bytes made with the file and kept in it. An object's number
//   comes from an AUTOINCREMENT key, so it is never reused, also after the object is deleted.
// - Entry id (long-term) = 4 zero flag bytes, the store's id, the object's number (8 bytes,
//   little-endian): 28 bytes. It depends on the file's own id and the object only, never on the
//   file's path, drive letter, service or profile, so the same item has the same id through two
//   profiles, after a profile is made again, and on another host.
// - Source key = the store's id and the object's number (6 bytes, little-endian): 22 bytes.
// - A move within the store keeps the object, so its entry id, source key and
//   PR_LAST_MODIFICATION_TIME. A copy is a new object (new entry id and source key) carrying the
//   original's properties, PR_LAST_MODIFICATION_TIME and PR_SEARCH_KEY included.
// - PR_SEARCH_KEY: 16 random bytes given at creation, unless the creator sets one.
// - Every save gives a new PR_CHANGE_KEY (the store's id and a 6-byte change number kept in the
//   file) and stamps PR_LAST_MODIFICATION_TIME with the clock, unless the saver set that property
//   in the same transaction.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/modules/mapi32/props.h"

struct sqlite3;

namespace mapi {


enum class Kind : int { Store = 0, Folder = 1, Message = 2, Associated = 3, Attachment = 4, Recipient = 5 };
using ObjectId = std::int64_t;

class Store {
 public:
  static constexpr int kSchemaVersion = 1;
  static constexpr ObjectId kStoreObject = 1;
  static constexpr ObjectId kRootFolder = 2;

  // The store in the file at a Windows path: the one this process has open, else opened from
  // the file. With create, a missing file is made with the default folder tree, named in the host
  // user's language. MAPI_E_NOT_FOUND for a missing file without create; MAPI_E_NO_ACCESS when
  // the file cannot be opened (shared away, read-only); MAPI_E_CORRUPT_DATA, MAPI_E_VERSION as
  // above.
  static HRESULT open(const std::u16string& path, bool create, std::shared_ptr<Store>& out);
  ~Store();
  Store(const Store&) = delete;
  Store& operator=(const Store&) = delete;

  const std::string& uid() const { return uid_; }
  std::string entryId(ObjectId id) const;
  std::string sourceKey(ObjectId id) const;
  // The object a long-term entry id of this store names; nullopt for another store's or a
  // malformed id.
  std::optional<ObjectId> objectOf(const std::string& entryId) const;

  HRESULT kindOf(ObjectId id, Kind& kind, ObjectId& parent);
  HRESULT children(ObjectId parent, Kind kind, std::vector<ObjectId>& out);
  // The object's stored properties and the ones derived from its place (entry id, source key,
  // parent's, record keys, object type) and contents: a folder's message count (PR_CONTENT_COUNT)
  // and whether it has subfolders (PR_SUBFOLDERS); a message's size (PR_MESSAGE_SIZE, the bytes
  // of its stored properties) and its folder's name (PR_PARENT_DISPLAY).
  HRESULT props(ObjectId id, Row& out);
  // Every child of a kind with its properties as props() gives them, in one read (tables).
  // lean: each row carries its stored properties and PR_INSTANCE_KEY only, and the keys come from
  // tableDeriver() when a table is asked for them (a large folder's table is built faster).
  HRESULT childRows(ObjectId parent, Kind kind, std::vector<std::pair<ObjectId, Row>>& out, bool lean = false);
  // Derives the keys of lean rows of children of `parent` (PR_LONGTERM_ENTRYID_FROM_TABLE too).
  std::unique_ptr<Deriver> tableDeriver(ObjectId parent) const;
  // Writes `set` and removes `removed` in one transaction, with the stamps above.
  HRESULT save(ObjectId id, const Row& set, const std::vector<ULONG>& removed);
  HRESULT create(ObjectId parent, Kind kind, const Row& props, ObjectId& out);
  // Removes the object with everything under it.
  HRESULT remove(ObjectId id);
  HRESULT move(ObjectId id, ObjectId newParent);
  // The folder that receives messages of a class ("" and unknown classes: the default one).
  HRESULT receiveFolder(const std::u16string& messageClass, ObjectId& out);

 private:
  Store() = default;
  HRESULT openFile(const std::string& linuxPath, bool fresh);
  HRESULT makeDefaultTree();
  HRESULT exec(const char* sql);
  HRESULT nextChange(std::string& changeKey);
  void addDerived(ObjectId id, Kind kind, ObjectId parent, Row& row) const;
  std::size_t countChildren(ObjectId parent, Kind kind) const;
  std::u16string nameOf(ObjectId id) const;

  mutable std::recursive_mutex lock_;
  sqlite3* db_ = nullptr;
  void* shareHandle_ = nullptr;  // the platform handle that holds the file's share mode
  std::string uid_;
  std::string key_;  // the file's identity in the process's table of open stores
};

}  // namespace mapi

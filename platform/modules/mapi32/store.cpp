// Message stores in SQLite files (see store.h and store-format.txt).
#include "platform/modules/mapi32/store.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <cstring>
#include <map>
#include <random>

#include "platform/base/text.h"
#include "platform/com/outlook_folders.h"
#include "platform/host/paths.h"
#include "platform/modules/mapi32/profiles.h"
#include "platform/modules/mapi32/store_vfs.h"
#include "platform/win32/file.h"
#include "platform/win32/time.h"

namespace mapi {
namespace {

namespace text = platform::text;

constexpr char kFormat[] = "kipo-mapi-store";

// The stores open in this process, by the file's device and inode.
std::mutex g_openLock;
std::map<std::string, std::weak_ptr<Store>>& openStores() {
  static std::map<std::string, std::weak_ptr<Store>> stores;
  return stores;
}

std::string fileKey(const std::string& linuxPath) {
  struct stat st {};
  if (::stat(linuxPath.c_str(), &st) != 0) return {};
  return std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
}

std::string randomBytes(std::size_t n) {
  static std::random_device device;
  static std::mt19937_64 engine(device());
  static std::mutex lock;
  std::lock_guard<std::mutex> guard(lock);
  std::string out;
  while (out.size() < n) {
    const std::uint64_t r = engine();
    out.append(reinterpret_cast<const char*>(&r), std::min<std::size_t>(8, n - out.size()));
  }
  return out;
}

std::string littleEndian(std::uint64_t v, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
  return out;
}

ULONGLONG now() {
  FILETIME ft;
  GetSystemTimeAsFileTime(&ft);
  return (ULONGLONG(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

// A prepared statement, finalized at scope exit.
class Stmt {
 public:
  Stmt(sqlite3* db, const char* sql) { rc_ = sqlite3_prepare_v2(db, sql, -1, &s_, nullptr); }
  ~Stmt() { sqlite3_finalize(s_); }
  Stmt(const Stmt&) = delete;
  Stmt& operator=(const Stmt&) = delete;
  bool ok() const { return rc_ == SQLITE_OK; }
  Stmt& bind(int i, sqlite3_int64 v) {
    sqlite3_bind_int64(s_, i, v);
    return *this;
  }
  Stmt& bind(int i, const std::string& v) {
    sqlite3_bind_blob(s_, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
    return *this;
  }
  Stmt& bindText(int i, const std::string& v) {
    sqlite3_bind_text(s_, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
    return *this;
  }
  int step() { return rc_ = sqlite3_step(s_); }
  void reset() {
    sqlite3_reset(s_);
    sqlite3_clear_bindings(s_);
  }
  sqlite3_int64 integer(int c) { return sqlite3_column_int64(s_, c); }
  std::string blob(int c) {
    const void* p = sqlite3_column_blob(s_, c);
    const int n = sqlite3_column_bytes(s_, c);
    return p && n > 0 ? std::string(static_cast<const char*>(p), static_cast<std::size_t>(n)) : std::string();
  }
  int type(int c) { return sqlite3_column_type(s_, c); }

 private:
  sqlite3_stmt* s_ = nullptr;
  int rc_ = SQLITE_OK;
};

HRESULT fromSqlite(int rc) {
  switch (rc & 0xFF) {
    case SQLITE_OK: case SQLITE_DONE: case SQLITE_ROW: return S_OK;
    case SQLITE_NOTADB: case SQLITE_CORRUPT: case SQLITE_FORMAT: case SQLITE_SCHEMA: case SQLITE_MISMATCH:
      return MAPI_E_CORRUPT_DATA;
    case SQLITE_FULL: return MAPI_E_NOT_ENOUGH_DISK;
    case SQLITE_NOMEM: return MAPI_E_NOT_ENOUGH_MEMORY;
    case SQLITE_BUSY: case SQLITE_LOCKED: return MAPI_E_BUSY;
    case SQLITE_READONLY: case SQLITE_PERM: case SQLITE_CANTOPEN: return MAPI_E_NO_ACCESS;
    case SQLITE_IOERR: return MAPI_E_DISK_ERROR;
    default: return MAPI_E_CALL_FAILED;
  }
}

// A transaction that rolls back unless committed; inside another one it is a savepoint, so the
// calls that write can be parts of a larger write.
class Transaction {
 public:
  explicit Transaction(sqlite3* db) : db_(db), outer_(sqlite3_get_autocommit(db) != 0) {
    rc_ = sqlite3_exec(db_, outer_ ? "BEGIN IMMEDIATE" : "SAVEPOINT part", nullptr, nullptr, nullptr);
  }
  ~Transaction() {
    if (rc_ == SQLITE_OK && !done_)
      sqlite3_exec(db_, outer_ ? "ROLLBACK" : "ROLLBACK TO part; RELEASE part", nullptr, nullptr, nullptr);
  }
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;
  HRESULT begun() const { return fromSqlite(rc_); }
  HRESULT commit() {
    const int rc = sqlite3_exec(db_, outer_ ? "COMMIT" : "RELEASE part", nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK) done_ = true;
    return fromSqlite(rc);
  }

 private:
  sqlite3* db_;
  bool outer_;
  int rc_;
  bool done_ = false;
};

const char kSchema[] =
    "CREATE TABLE meta(key TEXT PRIMARY KEY, value);"
    "CREATE TABLE objects(id INTEGER PRIMARY KEY AUTOINCREMENT, parent INTEGER, kind INTEGER NOT NULL);"
    "CREATE INDEX objects_by_parent ON objects(parent, kind);"
    "CREATE TABLE props(object INTEGER NOT NULL, tag INTEGER NOT NULL, value BLOB NOT NULL,"
    "  PRIMARY KEY(object, tag)) WITHOUT ROWID;"
    "CREATE TABLE receive_folders(message_class TEXT PRIMARY KEY, folder INTEGER NOT NULL);";

// Properties derived from an object's place, never stored.
bool derived(ULONG tag) {
  switch (PROP_ID(tag)) {
    case PROP_ID(PR_ENTRYID): case PROP_ID(PR_RECORD_KEY): case PROP_ID(PR_SOURCE_KEY):
    case PROP_ID(PR_PARENT_ENTRYID): case PROP_ID(PR_PARENT_SOURCE_KEY): case PROP_ID(PR_STORE_RECORD_KEY):
    case PROP_ID(PR_INSTANCE_KEY): case PROP_ID(PR_OBJECT_TYPE): case PROP_ID(PR_CONTENT_COUNT):
    case PROP_ID(PR_SUBFOLDERS): case PROP_ID(PR_MESSAGE_SIZE): case PROP_ID(PR_PARENT_DISPLAY_W):
    case PROP_ID(PR_STORE_ENTRYID):
      return true;
    default:
      return false;
  }
}

// A message's size as the store counts it: the bytes of its stored properties.
LONG storedSize(const Row& row) {
  std::size_t size = 0;
  for (const Value& v : row)
    if (!derived(v.tag)) size += encodeValue(v).size();
  return static_cast<LONG>(std::min<std::size_t>(size, 0x7FFFFFFF));
}

}  // namespace

HRESULT Store::exec(const char* sql) { return fromSqlite(sqlite3_exec(db_, sql, nullptr, nullptr, nullptr)); }

HRESULT Store::open(const std::u16string& path, bool create, std::shared_ptr<Store>& out) {
  out.reset();
  const platform::host::ResolvedPath resolved = platform::host::resolvePath(path);
  if (resolved.error) return resolved.error == ERROR_ACCESS_DENIED ? MAPI_E_NO_ACCESS : MAPI_E_NOT_FOUND;
  std::lock_guard<std::mutex> guard(g_openLock);
  if (resolved.exists) {
    const std::string key = fileKey(resolved.linux);
    if (auto it = openStores().find(key); it != openStores().end())
      if (auto store = it->second.lock()) {
        out = store;
        return S_OK;
      }
  } else if (!create) {
    return MAPI_E_NOT_FOUND;
  }
  std::shared_ptr<Store> store(new Store());
  bool made = false;
  if (!resolved.exists) {
    // Made through the platform, so its rules for names, folders and drives hold.
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
      const DWORD e = GetLastError();
      return e == ERROR_PATH_NOT_FOUND || e == ERROR_FILE_NOT_FOUND ? MAPI_E_NOT_FOUND
             : e == ERROR_DISK_FULL                                 ? MAPI_E_NOT_ENOUGH_DISK
                                                                    : MAPI_E_NO_ACCESS;
    }
    CloseHandle(h);
    made = true;
  }
  HANDLE share = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
  if (share == INVALID_HANDLE_VALUE) {
    if (made) DeleteFileW(path.c_str());
    return MAPI_E_NO_ACCESS;
  }
  store->shareHandle_ = share;
  const std::string linuxPath = platform::host::resolvePath(path).linux;
  HRESULT hr = store->openFile(linuxPath, made);
  if (SUCCEEDED(hr) && made) hr = store->makeDefaultTree();
  if (FAILED(hr)) {
    store.reset();  // closes the file before a made one goes
    if (made) DeleteFileW(path.c_str());
    return hr;
  }
  store->key_ = fileKey(linuxPath);
  openStores()[store->key_] = store;
  out = store;
  return S_OK;
}

Store::~Store() {
  if (db_) sqlite3_close_v2(db_);
  if (shareHandle_) CloseHandle(static_cast<HANDLE>(shareHandle_));
  // A store that never opened was never listed (and is dropped under the table's lock).
  if (key_.empty()) return;
  std::lock_guard<std::mutex> guard(g_openLock);
  if (auto it = openStores().find(key_); it != openStores().end() && it->second.expired()) openStores().erase(it);
}

HRESULT Store::openFile(const std::string& linuxPath, bool fresh) {
  int rc = sqlite3_open_v2(linuxPath.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_FULLMUTEX, storeVfsName());
  if (rc != SQLITE_OK) return fromSqlite(rc) == MAPI_E_CORRUPT_DATA ? MAPI_E_CORRUPT_DATA : MAPI_E_NO_ACCESS;
  sqlite3_busy_timeout(db_, 10000);
  sqlite3_extended_result_codes(db_, 0);
  // A file made here gets the schema; anything else must be a store of ours already.
  if (fresh) {
    Transaction t(db_);
    if (HRESULT hr = t.begun(); FAILED(hr)) return hr;
    if (HRESULT hr = exec(kSchema); FAILED(hr)) return hr;
    uid_ = randomBytes(16);
    Stmt meta(db_, "INSERT INTO meta(key, value) VALUES('format', ?1), ('version', ?2), ('store_id', ?3), ('change', 0)");
    meta.bindText(1, kFormat).bind(2, kSchemaVersion).bind(3, uid_);
    if (meta.step() != SQLITE_DONE) return fromSqlite(sqlite3_errcode(db_));
    return t.commit();
  }
  Stmt read(db_, "SELECT key, value FROM meta WHERE key IN ('format', 'version', 'store_id')");
  if (!read.ok()) return MAPI_E_CORRUPT_DATA;
  std::string format;
  sqlite3_int64 version = -1;
  for (int r; (r = read.step()) != SQLITE_DONE;) {
    if (r != SQLITE_ROW) return fromSqlite(r) == MAPI_E_BUSY ? MAPI_E_BUSY : MAPI_E_CORRUPT_DATA;
    const std::string key = read.blob(0);
    if (key == "format") format = read.blob(1);
    if (key == "version" && read.type(1) == SQLITE_INTEGER) version = read.integer(1);
    if (key == "store_id" && read.type(1) == SQLITE_BLOB) uid_ = read.blob(1);
  }
  if (format != kFormat || version < 1 || uid_.size() != 16) return MAPI_E_CORRUPT_DATA;
  if (version > kSchemaVersion) return MAPI_E_VERSION;
  return S_OK;
}

HRESULT Store::makeDefaultTree() {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  const platform::com::OutlookFolderNames& names = platform::com::hostOutlookFolderNames();
  ObjectId store = 0, root = 0, top = 0;
  if (HRESULT hr = create(0, Kind::Store, {}, store); FAILED(hr)) return hr;
  if (HRESULT hr = create(store, Kind::Folder, {longValue(PR_FOLDER_TYPE, 0)}, root); FAILED(hr)) return hr;
  if (HRESULT hr = create(root, Kind::Folder, {textValue(PR_DISPLAY_NAME_W, names.topOfFolders), longValue(PR_FOLDER_TYPE, 1)}, top);
      FAILED(hr))
    return hr;
  struct Default {
    const char16_t* name;
    const char16_t* containerClass;
    ULONG storeTag;  // the store's property naming it, or 0
    ULONG inboxTag;  // the Inbox's property naming it, or 0
  };
  const Default folders[] = {
      {names.inbox, u"IPF.Note", 0, 0},
      {names.outbox, u"IPF.Note", PR_IPM_OUTBOX_ENTRYID, 0},
      {names.sentItems, u"IPF.Note", PR_IPM_SENTMAIL_ENTRYID, 0},
      {names.deletedItems, u"IPF.Note", PR_IPM_WASTEBASKET_ENTRYID, 0},
      {names.drafts, u"IPF.Note", 0, PR_IPM_DRAFTS_ENTRYID},
      {names.calendar, u"IPF.Appointment", 0, PR_IPM_APPOINTMENT_ENTRYID},
      {names.contacts, u"IPF.Contact", 0, PR_IPM_CONTACT_ENTRYID},
      {names.tasks, u"IPF.Task", 0, PR_IPM_TASK_ENTRYID},
      {names.notes, u"IPF.StickyNote", 0, PR_IPM_NOTE_ENTRYID},
      {names.journal, u"IPF.Journal", 0, 0},
  };
  Row storeProps = {binaryValue(PR_IPM_SUBTREE_ENTRYID, entryId(top))};
  Row inboxProps;
  ObjectId inbox = 0;
  for (const Default& d : folders) {
    ObjectId id = 0;
    if (HRESULT hr = create(top, Kind::Folder,
                            {textValue(PR_DISPLAY_NAME_W, d.name), longValue(PR_FOLDER_TYPE, 1),
                             textValue(PR_CONTAINER_CLASS_A, d.containerClass)},
                            id);
        FAILED(hr))
      return hr;
    if (!inbox) inbox = id;
    if (d.storeTag) storeProps.push_back(binaryValue(d.storeTag, entryId(id)));
    if (d.inboxTag) inboxProps.push_back(binaryValue(d.inboxTag, entryId(id)));
  }
  if (HRESULT hr = save(store, storeProps, {}); FAILED(hr)) return hr;
  if (HRESULT hr = save(inbox, inboxProps, {}); FAILED(hr)) return hr;
  Stmt receive(db_, "INSERT INTO receive_folders(message_class, folder) VALUES('', ?1), ('IPM', ?1), ('IPM.Note', ?1)");
  receive.bind(1, inbox);
  return receive.step() == SQLITE_DONE ? S_OK : fromSqlite(sqlite3_errcode(db_));
}

std::string Store::entryId(ObjectId id) const { return std::string(4, '\0') + uid_ + littleEndian(static_cast<std::uint64_t>(id), 8); }
std::string Store::sourceKey(ObjectId id) const { return uid_ + littleEndian(static_cast<std::uint64_t>(id), 6); }

std::optional<ObjectId> Store::objectOf(const std::string& entry) const {
  if (entry.size() != 28 || entry.compare(0, 4, std::string(4, '\0')) != 0 || entry.compare(4, 16, uid_) != 0)
    return std::nullopt;
  std::uint64_t id = 0;
  for (int i = 7; i >= 0; --i) id = (id << 8) | static_cast<unsigned char>(entry[20 + i]);
  if (id == 0 || id > static_cast<std::uint64_t>(INT64_MAX)) return std::nullopt;
  return static_cast<ObjectId>(id);
}

HRESULT Store::kindOf(ObjectId id, Kind& kind, ObjectId& parent) {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  Stmt s(db_, "SELECT kind, parent FROM objects WHERE id = ?1");
  s.bind(1, id);
  const int rc = s.step();
  if (rc == SQLITE_DONE) return MAPI_E_NOT_FOUND;
  if (rc != SQLITE_ROW) return fromSqlite(rc);
  const sqlite3_int64 k = s.integer(0);
  if (k < 0 || k > static_cast<int>(Kind::Recipient)) return MAPI_E_CORRUPT_DATA;
  kind = static_cast<Kind>(k);
  parent = s.integer(1);
  return S_OK;
}

HRESULT Store::children(ObjectId parent, Kind kind, std::vector<ObjectId>& out) {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  out.clear();
  Stmt s(db_, "SELECT id FROM objects WHERE parent = ?1 AND kind = ?2 ORDER BY id");
  s.bind(1, parent).bind(2, static_cast<int>(kind));
  for (int rc; (rc = s.step()) != SQLITE_DONE;) {
    if (rc != SQLITE_ROW) return fromSqlite(rc);
    out.push_back(s.integer(0));
  }
  return S_OK;
}

HRESULT Store::props(ObjectId id, Row& out) {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  out.clear();
  Kind kind;
  ObjectId parent = 0;
  if (HRESULT hr = kindOf(id, kind, parent); FAILED(hr)) return hr;
  Stmt s(db_, "SELECT tag, value FROM props WHERE object = ?1");
  s.bind(1, id);
  for (int rc; (rc = s.step()) != SQLITE_DONE;) {
    if (rc != SQLITE_ROW) return fromSqlite(rc);
    const sqlite3_int64 tag = s.integer(0);
    if (tag < 0 || tag > 0xFFFFFFFFll) return MAPI_E_CORRUPT_DATA;
    if (derived(static_cast<ULONG>(tag))) continue;
    // A value that does not decode for its type is damage, reported rather than guessed at.
    auto v = decodeValue(static_cast<ULONG>(tag), s.blob(1));
    if (!v) return MAPI_E_CORRUPT_DATA;
    out.push_back(std::move(*v));
  }
  addDerived(id, kind, parent, out);
  return S_OK;
}

void Store::addDerived(ObjectId id, Kind kind, ObjectId parent, Row& out) const {
  // Derived properties are never stored (save() skips them), so they are appended, not put.
  out.reserve(out.size() + 10);
  const std::string entry = entryId(id);
  out.push_back(binaryValue(PR_ENTRYID, entry));
  out.push_back(binaryValue(PR_STORE_RECORD_KEY, uid_));
  if (kind == Kind::Store) {
    out.push_back(binaryValue(PR_RECORD_KEY, uid_));
    return;
  }
  out.push_back(binaryValue(PR_RECORD_KEY, entry));
  out.push_back(binaryValue(PR_SOURCE_KEY, sourceKey(id)));
  out.push_back(binaryValue(PR_INSTANCE_KEY, littleEndian(static_cast<std::uint64_t>(id), 8)));
  if (parent > kStoreObject) {
    out.push_back(binaryValue(PR_PARENT_ENTRYID, entryId(parent)));
    out.push_back(binaryValue(PR_PARENT_SOURCE_KEY, sourceKey(parent)));
  }
  if (kind == Kind::Message || kind == Kind::Associated) {
    out.push_back(longValue(PR_MESSAGE_SIZE, storedSize(out)));
    out.push_back(textValue(PR_PARENT_DISPLAY_W, nameOf(parent)));
  } else if (kind == Kind::Folder) {
    out.push_back(longValue(PR_CONTENT_COUNT, static_cast<LONG>(countChildren(id, Kind::Message))));
    out.push_back(boolValue(PR_SUBFOLDERS, countChildren(id, Kind::Folder) > 0));
  }
}

std::size_t Store::countChildren(ObjectId parent, Kind kind) const {
  Stmt count(db_, "SELECT COUNT(*) FROM objects WHERE parent = ?1 AND kind = ?2");
  count.bind(1, parent).bind(2, static_cast<int>(kind));
  return count.step() == SQLITE_ROW ? static_cast<std::size_t>(count.integer(0)) : 0;
}

std::u16string Store::nameOf(ObjectId id) const {
  Stmt s(db_, "SELECT tag, value FROM props WHERE object = ?1 AND (tag >> 16) = ?2");
  s.bind(1, id).bind(2, PROP_ID(PR_DISPLAY_NAME_W));
  if (s.step() != SQLITE_ROW) return {};
  auto v = decodeValue(static_cast<ULONG>(s.integer(0)), s.blob(1));
  return v && isStringType(v->type()) ? v->text : std::u16string();
}

namespace {
class KeyDeriver final : public Deriver {
 public:
  KeyDeriver(std::string uid, ObjectId parent, std::u16string parentName)
      : uid_(std::move(uid)), parent_(parent), parentName_(std::move(parentName)) {}
  bool derive(const Row& row, ULONG tag, Value& out) const override {
    switch (PROP_ID(tag)) {
      case PROP_ID(PR_MESSAGE_SIZE):
        out = longValue(PR_MESSAGE_SIZE, storedSize(row));
        return true;
      case PROP_ID(PR_PARENT_DISPLAY_W):
        out = textValue(PR_PARENT_DISPLAY_W, parentName_);
        return true;
      default:
        break;
    }
    const Value* instance = find(row, PR_INSTANCE_KEY);
    if (!instance || instance->bytes.size() != 8) return false;
    const std::string& id = instance->bytes;
    switch (PROP_ID(tag)) {
      case PROP_ID(PR_ENTRYID):
      case PROP_ID(PR_RECORD_KEY):
      case PROP_ID(PR_LONGTERM_ENTRYID_FROM_TABLE):
        out = binaryValue(PROP_TAG(PT_BINARY, PROP_ID(tag)), std::string(4, '\0') + uid_ + id);
        return true;
      case PROP_ID(PR_SOURCE_KEY):
        out = binaryValue(PR_SOURCE_KEY, uid_ + id.substr(0, 6));
        return true;
      case PROP_ID(PR_STORE_RECORD_KEY):
        out = binaryValue(PR_STORE_RECORD_KEY, uid_);
        return true;
      case PROP_ID(PR_PARENT_ENTRYID):
        if (parent_ <= Store::kStoreObject) return false;
        out = binaryValue(PR_PARENT_ENTRYID, std::string(4, '\0') + uid_ + littleEndian(static_cast<std::uint64_t>(parent_), 8));
        return true;
      case PROP_ID(PR_PARENT_SOURCE_KEY):
        if (parent_ <= Store::kStoreObject) return false;
        out = binaryValue(PR_PARENT_SOURCE_KEY, uid_ + littleEndian(static_cast<std::uint64_t>(parent_), 6));
        return true;
      default:
        return false;
    }
  }

 private:
  std::string uid_;
  ObjectId parent_;
  std::u16string parentName_;
};
}  // namespace

std::unique_ptr<Deriver> Store::tableDeriver(ObjectId parent) const {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  return std::make_unique<KeyDeriver>(uid_, parent, nameOf(parent));
}

HRESULT Store::childRows(ObjectId parent, Kind kind, std::vector<std::pair<ObjectId, Row>>& out, bool lean) {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  out.clear();
  auto finish = [&](std::pair<ObjectId, Row>& row) {
    if (lean)
      row.second.push_back(binaryValue(PR_INSTANCE_KEY, littleEndian(static_cast<std::uint64_t>(row.first), 8)));
    else
      addDerived(row.first, kind, parent, row.second);
  };
  {
    Stmt count(db_, "SELECT COUNT(*) FROM objects WHERE parent = ?1 AND kind = ?2");
    count.bind(1, parent).bind(2, static_cast<int>(kind));
    if (count.step() == SQLITE_ROW && count.integer(0) > 0 && count.integer(0) < (1 << 24))
      out.reserve(static_cast<std::size_t>(count.integer(0)));
  }
  Stmt s(db_,
         "SELECT o.id, p.tag, p.value FROM objects o LEFT JOIN props p ON p.object = o.id "
         "WHERE o.parent = ?1 AND o.kind = ?2 ORDER BY o.id");
  s.bind(1, parent).bind(2, static_cast<int>(kind));
  for (int rc; (rc = s.step()) != SQLITE_DONE;) {
    if (rc != SQLITE_ROW) return fromSqlite(rc);
    const ObjectId id = s.integer(0);
    if (out.empty() || out.back().first != id) {
      if (!out.empty()) finish(out.back());
      out.emplace_back(id, Row{});
      out.back().second.reserve(16);
    }
    if (s.type(1) == SQLITE_NULL) continue;
    const sqlite3_int64 tag = s.integer(1);
    if (tag < 0 || tag > 0xFFFFFFFFll) return MAPI_E_CORRUPT_DATA;
    if (derived(static_cast<ULONG>(tag))) continue;
    auto v = decodeValue(static_cast<ULONG>(tag), s.blob(2));
    if (!v) return MAPI_E_CORRUPT_DATA;
    out.back().second.push_back(std::move(*v));
  }
  if (!out.empty()) finish(out.back());
  return S_OK;
}

HRESULT Store::nextChange(std::string& changeKey) {
  Stmt bump(db_, "UPDATE meta SET value = value + 1 WHERE key = 'change' RETURNING value");
  if (bump.step() != SQLITE_ROW) return fromSqlite(sqlite3_errcode(db_));
  changeKey = uid_ + littleEndian(static_cast<std::uint64_t>(bump.integer(0)), 6);
  return S_OK;
}


HRESULT Store::save(ObjectId id, const Row& set, const std::vector<ULONG>& removed) {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  Transaction t(db_);
  if (HRESULT hr = t.begun(); FAILED(hr)) return hr;
  Kind kind;
  ObjectId parent = 0;
  if (HRESULT hr = kindOf(id, kind, parent); FAILED(hr)) return hr;
  Stmt drop(db_, "DELETE FROM props WHERE object = ?1 AND (tag >> 16) = ?2");
  for (ULONG tag : removed) {
    drop.bind(1, id).bind(2, PROP_ID(tag));
    if (drop.step() != SQLITE_DONE) return fromSqlite(sqlite3_errcode(db_));
    drop.reset();
  }
  Row values = set;
  bool timeGiven = false;
  for (const Value& v : set)
    if (v.id() == PROP_ID(PR_LAST_MODIFICATION_TIME)) timeGiven = true;
  if (kind != Kind::Store) {
    std::string change;
    if (HRESULT hr = nextChange(change); FAILED(hr)) return hr;
    put(values, binaryValue(PR_CHANGE_KEY, change));
    if (!timeGiven) put(values, timeValue(PR_LAST_MODIFICATION_TIME, now()));
  }
  for (const Value& v : values) {
    if (derived(v.tag)) continue;
    // One value per id: another type under the same id goes first.
    Stmt other(db_, "DELETE FROM props WHERE object = ?1 AND (tag >> 16) = ?2");
    other.bind(1, id).bind(2, v.id());
    if (other.step() != SQLITE_DONE) return fromSqlite(sqlite3_errcode(db_));
    Stmt write(db_, "INSERT INTO props(object, tag, value) VALUES(?1, ?2, ?3)");
    write.bind(1, id).bind(2, static_cast<sqlite3_int64>(v.tag)).bind(3, encodeValue(v));
    if (write.step() != SQLITE_DONE) return fromSqlite(sqlite3_errcode(db_));
  }
  return t.commit();
}

HRESULT Store::create(ObjectId parent, Kind kind, const Row& props, ObjectId& out) {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  Transaction t(db_);
  if (HRESULT hr = t.begun(); FAILED(hr)) return hr;
  Stmt insert(db_, "INSERT INTO objects(parent, kind) VALUES(?1, ?2)");
  insert.bind(1, parent).bind(2, static_cast<int>(kind));
  if (insert.step() != SQLITE_DONE) return fromSqlite(sqlite3_errcode(db_));
  out = sqlite3_last_insert_rowid(db_);
  Row initial = props;
  if (kind != Kind::Store) {
    if (!find(initial, PR_CREATION_TIME)) put(initial, timeValue(PR_CREATION_TIME, now()));
    if (!find(initial, PR_SEARCH_KEY)) put(initial, binaryValue(PR_SEARCH_KEY, randomBytes(16)));
  }
  if (HRESULT hr = save(out, initial, {}); FAILED(hr)) return hr;
  return t.commit();
}

HRESULT Store::remove(ObjectId id) {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  if (id <= kRootFolder) return MAPI_E_NO_ACCESS;
  Transaction t(db_);
  if (HRESULT hr = t.begun(); FAILED(hr)) return hr;
  Stmt s(db_,
         "WITH RECURSIVE doomed(id) AS (SELECT ?1 UNION ALL SELECT o.id FROM objects o JOIN doomed d ON o.parent = d.id) "
         "SELECT id FROM doomed");
  s.bind(1, id);
  std::vector<ObjectId> doomed;
  for (int rc; (rc = s.step()) != SQLITE_DONE;) {
    if (rc != SQLITE_ROW) return fromSqlite(rc);
    doomed.push_back(s.integer(0));
  }
  for (ObjectId d : doomed) {
    Stmt a(db_, "DELETE FROM props WHERE object = ?1");
    a.bind(1, d);
    Stmt b(db_, "DELETE FROM objects WHERE id = ?1");
    b.bind(1, d);
    if (a.step() != SQLITE_DONE || b.step() != SQLITE_DONE) return fromSqlite(sqlite3_errcode(db_));
  }
  return t.commit();
}

HRESULT Store::move(ObjectId id, ObjectId newParent) {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  Stmt s(db_, "UPDATE objects SET parent = ?2 WHERE id = ?1");
  s.bind(1, id).bind(2, newParent);
  if (s.step() != SQLITE_DONE) return fromSqlite(sqlite3_errcode(db_));
  return sqlite3_changes(db_) ? S_OK : MAPI_E_NOT_FOUND;
}

HRESULT Store::receiveFolder(const std::u16string& messageClass, ObjectId& out) {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  // The longest class prefix that has a folder ("IPM.Note.X" -> "IPM.Note" -> "IPM" -> "").
  std::string cls = text::toUtf8(messageClass);
  for (;;) {
    Stmt s(db_, "SELECT folder FROM receive_folders WHERE message_class = ?1 COLLATE NOCASE");
    s.bindText(1, cls);
    const int rc = s.step();
    if (rc == SQLITE_ROW) {
      out = s.integer(0);
      return S_OK;
    }
    if (rc != SQLITE_DONE) return fromSqlite(rc);
    if (cls.empty()) return MAPI_E_NOT_FOUND;
    const auto dot = cls.rfind('.');
    cls = dot == std::string::npos ? std::string() : cls.substr(0, dot);
  }
}

}  // namespace mapi

// SQLite behind host.db.
#include "platform/host/database.h"

#include <cstring>
#include <sqlite3.h>

#include <vector>

namespace platform::host {

namespace {

std::vector<const char*>& schemaParts() {
  static std::vector<const char*> parts;
  return parts;
}

[[noreturn]] void fail(sqlite3* db, const std::string& what, int rc) {
  throw DbError(what + ": " + (db ? sqlite3_errmsg(db) : sqlite3_errstr(rc)), rc);
}

}  // namespace

SchemaPart::SchemaPart(const char* sql) { schemaParts().push_back(sql); }

Query::Query(Query&& other) noexcept : stmt_(other.stmt_), owned_(other.owned_) { other.stmt_ = nullptr; }

Query::~Query() {
  if (!stmt_) return;
  if (owned_) {
    sqlite3_finalize(stmt_);
  } else {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
  }
}

Query& Query::bind(int index, std::int64_t value) {
  sqlite3_bind_int64(stmt_, index, value);
  return *this;
}

Query& Query::bind(int index, std::string_view text) {
  sqlite3_bind_text(stmt_, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
  return *this;
}

Query& Query::bindBlob(int index, const void* data, std::size_t size) {
  static const char empty = 0;
  sqlite3_bind_blob(stmt_, index, size ? data : &empty, static_cast<int>(size), SQLITE_TRANSIENT);
  return *this;
}

Query& Query::bindNull(int index) {
  sqlite3_bind_null(stmt_, index);
  return *this;
}

bool Query::step() {
  int rc = sqlite3_step(stmt_);
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  fail(sqlite3_db_handle(stmt_), "step", rc);
}

void Query::run() {
  while (step()) {
  }
}

bool Query::isNull(int column) const { return sqlite3_column_type(stmt_, column) == SQLITE_NULL; }

std::int64_t Query::int64At(int column) const { return sqlite3_column_int64(stmt_, column); }

std::string Query::textAt(int column) const {
  const unsigned char* t = sqlite3_column_text(stmt_, column);
  int n = sqlite3_column_bytes(stmt_, column);
  return t ? std::string(reinterpret_cast<const char*>(t), static_cast<std::size_t>(n)) : std::string();
}

std::string_view Query::blobAt(int column) const {
  const void* p = sqlite3_column_blob(stmt_, column);
  int n = sqlite3_column_bytes(stmt_, column);
  return p ? std::string_view(static_cast<const char*>(p), static_cast<std::size_t>(n)) : std::string_view();
}

std::u16string Query::u16At(int column) const {
  std::string_view b = blobAt(column);
  std::u16string s(b.size() / 2, u'\0');
  if (!s.empty()) std::memcpy(s.data(), b.data(), s.size() * 2);
  return s;
}

Database::Database(const std::filesystem::path& file, bool create) {
  int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_FULLMUTEX | (create ? SQLITE_OPEN_CREATE : 0);
  int rc = sqlite3_open_v2(file.c_str(), &db_, flags, nullptr);
  if (rc != SQLITE_OK) {
    std::string msg = "cannot open " + file.string();
    sqlite3_close(db_);
    db_ = nullptr;
    fail(nullptr, msg, rc);
  }
  sqlite3_busy_timeout(db_, 30000);
  // SQLite reads the file only now: a damaged one fails here. The destructor does not run for a
  // constructor that throws, so the connection is closed before the error leaves.
  try {
    exec("PRAGMA journal_mode=WAL");
    exec("PRAGMA synchronous=NORMAL");
    exec("PRAGMA foreign_keys=ON");
    Transaction t(*this);
    for (const char* part : schemaParts()) exec(part);
    t.commit();
  } catch (const DbError& e) {
    close();
    throw DbError(file.string() + ": " + e.what(), e.code());
  }
}

void Database::close() {
  for (auto& [sql, stmt] : cache_) sqlite3_finalize(stmt);
  cache_.clear();
  sqlite3_close_v2(db_);
  db_ = nullptr;
}

Database::~Database() { close(); }

void Database::exec(std::string_view sql) {
  std::string s(sql);
  char* err = nullptr;
  int rc = sqlite3_exec(db_, s.c_str(), nullptr, nullptr, &err);
  if (rc != SQLITE_OK) {
    std::string msg = err ? err : sqlite3_errstr(rc);
    sqlite3_free(err);
    throw DbError("exec: " + msg, rc);
  }
}

Query Database::query(const std::string& sql) {
  auto it = cache_.find(sql);
  if (it == cache_.end()) {
    sqlite3_stmt* stmt = nullptr;
    int rc = sqlite3_prepare_v3(db_, sql.c_str(), static_cast<int>(sql.size()), SQLITE_PREPARE_PERSISTENT, &stmt, nullptr);
    if (rc != SQLITE_OK) fail(db_, "prepare " + sql, rc);
    it = cache_.emplace(sql, stmt).first;
  }
  return Query(it->second, false);
}

Query Database::prepare(std::string_view sql) {
  sqlite3_stmt* stmt = nullptr;
  int rc = sqlite3_prepare_v2(db_, sql.data(), static_cast<int>(sql.size()), &stmt, nullptr);
  if (rc != SQLITE_OK) fail(db_, "prepare " + std::string(sql), rc);
  return Query(stmt, true);
}

std::int64_t Database::lastInsertRowid() const { return sqlite3_last_insert_rowid(db_); }

int Database::changes() const { return sqlite3_changes(db_); }

std::int64_t Database::dataVersion() {
  auto q = query("PRAGMA data_version");
  return q.step() ? q.int64At(0) : -1;
}

// The transaction statements are prepared once: a registry write runs one transaction each, and
// parsing them again every time cost as much as the write itself.
Database::Transaction::Transaction(Database& db) : db_(db), lock_(db.mutex_), outer_(db.transactionDepth_ == 0) {
  if (outer_) db_.query("BEGIN IMMEDIATE").run();
  ++db_.transactionDepth_;
}

Database::Transaction::~Transaction() {
  --db_.transactionDepth_;
  if (!done_ && outer_) {
    try {
      db_.query("ROLLBACK").run();
    } catch (const DbError&) {
      // The transaction is gone already (an error rolled it back); nothing to undo.
    }
  }
}

void Database::Transaction::commit() {
  if (outer_) db_.query("COMMIT").run();
  done_ = true;
}

}  // namespace platform::host

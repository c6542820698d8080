// host.db: the SQLite database holding a host's durable state (registry, drive table, facts,
// faults, later windows and processes). One connection per process, WAL and synchronous=NORMAL,
// so a committed write survives the writer being killed and readers never block writers.
// Each facility adds its tables with a SchemaPart at namespace scope in its own source file.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>

struct sqlite3;
struct sqlite3_stmt;

namespace platform::host {

// A database failure inside the stand-in; Win32-shaped calls translate it to an error code.
class DbError : public std::runtime_error {
 public:
  DbError(const std::string& what, int code) : std::runtime_error(what), code_(code) {}
  int code() const { return code_; }

 private:
  int code_;
};

// One use of a prepared statement. A cached statement is reset and unbound when the Query ends;
// an owned one (Database::prepare) is finalized. Columns and parameters count from 0 and 1 as
// in SQLite.
class Query {
 public:
  Query(Query&& other) noexcept;
  Query& operator=(Query&&) = delete;
  ~Query();

  Query& bind(int index, std::int64_t value);
  Query& bind(int index, std::string_view text);
  Query& bindBlob(int index, const void* data, std::size_t size);
  Query& bindNull(int index);

  // Advances to the next row; false when done. Throws DbError on failure.
  bool step();
  // Runs a statement that returns no rows.
  void run();

  bool isNull(int column) const;
  std::int64_t int64At(int column) const;
  std::string textAt(int column) const;
  std::string_view blobAt(int column) const;  // valid until the next step
  // A UTF-16 text stored as a blob of its code units (an odd last byte is dropped).
  std::u16string u16At(int column) const;

 private:
  friend class Database;
  Query(sqlite3_stmt* stmt, bool owned) : stmt_(stmt), owned_(owned) {}
  sqlite3_stmt* stmt_;
  bool owned_;
};

class Database {
 public:
  // Opens (creating when asked) the database file and brings every registered schema part in.
  // Throws DbError naming the file when it cannot be opened or is not a usable database; no
  // connection is left open then.
  Database(const std::filesystem::path& file, bool create);
  ~Database();
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  // Serialises use of the connection and its cached statements between threads of a process.
  std::unique_lock<std::recursive_mutex> lock() { return std::unique_lock(mutex_); }

  void exec(std::string_view sql);
  // A statement prepared once per connection; not re-entrant: do not open the same text twice
  // at once (use prepare() for recursion).
  Query query(const std::string& sql);
  Query prepare(std::string_view sql);

  std::int64_t lastInsertRowid() const;
  int changes() const;
  // Changes whenever another connection (another process) has committed to the database since
  // the last look; this connection's own commits leave it as it is.
  std::int64_t dataVersion();

  // BEGIN IMMEDIATE ... COMMIT; rolls back when destroyed uncommitted. Nests by counting: only
  // the outermost begins and commits.
  class Transaction {
   public:
    explicit Transaction(Database& db);
    ~Transaction();
    void commit();

   private:
    Database& db_;
    std::unique_lock<std::recursive_mutex> lock_;
    bool outer_;
    bool done_ = false;
  };

 private:
  void close();

  sqlite3* db_ = nullptr;
  std::recursive_mutex mutex_;
  std::unordered_map<std::string, sqlite3_stmt*> cache_;
  int transactionDepth_ = 0;
};

// Registers CREATE TABLE IF NOT EXISTS statements run on every open.
struct SchemaPart {
  explicit SchemaPart(const char* sql);
};

}  // namespace platform::host

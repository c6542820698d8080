// Message store files: what a personal folders service configured with a new path makes (one
// SQLite file in the store schema, the default folder tree named in the host's language, the
// special-folder ids), an existing file opened and never overwritten, and files that are not
// stores or are of a newer schema refused without being written.
#include <sqlite3.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>
#include <fstream>
#include <map>

#include "platform/host/host.h"
#include "platform/modules/mapi32/store_vfs.h"
#include "tests/platform/mapi/mapi_fixture.h"

namespace {

namespace fs = std::filesystem;
using mapitest::MapiTest;
using platform::com::Ptr;

SPropValue text(ULONG tag, const char* value) {
  SPropValue v{};
  v.ulPropTag = tag;
  v.Value.lpszA = const_cast<LPSTR>(value);
  return v;
}

// Read-only access to a store file, as a test sees it.
class Db {
 public:
  explicit Db(const fs::path& file) { EXPECT_EQ(sqlite3_open_v2(file.c_str(), &db_, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK); }
  ~Db() { sqlite3_close(db_); }
  // The first column of every row, as bytes.
  std::vector<std::string> column(const std::string& sql) {
    std::vector<std::string> out;
    sqlite3_stmt* s = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(db_, sql.c_str(), -1, &s, nullptr), SQLITE_OK) << sql;
    while (s && sqlite3_step(s) == SQLITE_ROW) {
      const void* p = sqlite3_column_blob(s, 0);
      out.emplace_back(p ? static_cast<const char*>(p) : "", static_cast<std::size_t>(sqlite3_column_bytes(s, 0)));
    }
    sqlite3_finalize(s);
    return out;
  }
  std::string one(const std::string& sql) {
    auto c = column(sql);
    return c.empty() ? "<none>" : c[0];
  }

 private:
  sqlite3* db_ = nullptr;
};

void write(const fs::path& file, const std::string& bytes) {
  std::ofstream(file, std::ios::binary) << bytes;
}
std::string read(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// A UTF-16LE property value with its NUL, as the store keeps PT_UNICODE.
std::string utf16(std::u16string_view s) {
  std::string out;
  for (char16_t c : s) out += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
  return out + std::string(2, '\0');
}

class Stores : public MapiTest {
 protected:
  void SetUp() override {
    MapiTest::SetUp();
    makeProfiles({"P"});
    ASSERT_EQ(profAdmin()->AdminServices(const_cast<LPSTR>("P"), nullptr, 0, 0, services.put()), S_OK);
  }
  void TearDown() override {
    services.reset();
    MapiTest::TearDown();
  }
  // Adds a personal folders service configured with the path; the configuration's result.
  HRESULT addPst(const char* path) {
    EXPECT_EQ(services->CreateMsgService(const_cast<LPSTR>("MSPST MS"), nullptr, 0, 0), S_OK);
    Ptr<IMAPITable> table;
    EXPECT_EQ(services->GetMsgServiceTable(0, table.put()), S_OK);
    EXPECT_EQ(table->SeekRow(BOOKMARK_END, -1, nullptr), S_OK);
    SizedSPropTagArray(1, columns) = {1, {PR_SERVICE_UID}};
    EXPECT_EQ(table->SetColumns(reinterpret_cast<LPSPropTagArray>(&columns), 0), S_OK);
    LPSRowSet rows = nullptr;
    EXPECT_EQ(table->QueryRows(1, 0, &rows), S_OK);
    MAPIUID uid;
    std::memcpy(uid.ab, rows->aRow[0].lpProps[0].Value.bin.lpb, 16);
    mapi.freeProws(rows);
    SPropValue props[] = {text(PR_DISPLAY_NAME_A, "Folders"), text(PR_PST_PATH, path)};
    return services->ConfigureMsgService(&uid, 0, 0, 2, props);
  }
  // The folders under the top of the tree, by name, in order.
  static std::vector<std::string> topFolders(Db& db) {
    return db.column(
        "SELECT p.value FROM objects o JOIN props p ON p.object = o.id AND p.tag = 0x3001001F "
        "WHERE o.parent = 3 AND o.kind = 1 ORDER BY o.id");
  }
  Ptr<IMsgServiceAdmin> services;
};

TEST_F(Stores, ANewPersonalFoldersFileHoldsTheDefaultTreeAndSpecialFolderIds) {
  ASSERT_EQ(addPst("C:\\Mail\\kipo.pst"), MAPI_E_NOT_FOUND) << "no folder C:\\Mail";
  EXPECT_TRUE(host.gone("Mail/kipo.pst"));
  ASSERT_EQ(addPst("C:\\kipo.pst"), S_OK);
  // One file at rest: no journal beside it.
  EXPECT_TRUE(host.isFile("kipo.pst"));
  EXPECT_TRUE(host.gone("kipo.pst-journal"));
  EXPECT_TRUE(host.gone("kipo.pst-wal"));
  Db db(host.c("kipo.pst"));
  EXPECT_EQ(db.one("SELECT value FROM meta WHERE key = 'format'"), "kipo-mapi-store");
  EXPECT_EQ(db.one("SELECT value FROM meta WHERE key = 'version'"), "1");
  EXPECT_EQ(db.one("PRAGMA journal_mode"), "delete");
  const std::string storeId = db.one("SELECT value FROM meta WHERE key = 'store_id'");
  ASSERT_EQ(storeId.size(), 16u);
  const std::vector<std::u16string> names = {u"Inbox", u"Outbox", u"Sent Items", u"Deleted Items", u"Drafts",
                                             u"Calendar", u"Contacts", u"Tasks", u"Notes", u"Journal"};
  std::vector<std::string> expected;
  for (const auto& n : names) expected.push_back(utf16(n));
  EXPECT_EQ(topFolders(db), expected);

  // Entry ids: flags, the store's id, the object's number.
  auto entryOf = [&](int id) {
    std::string e = std::string(4, '\0') + storeId;
    for (int i = 0; i < 8; ++i) e += static_cast<char>((static_cast<std::uint64_t>(id) >> (8 * i)) & 0xFF);
    return e;
  };
  auto folderId = [&](std::u16string_view name) {
    return std::stoi(db.one("SELECT o.id FROM objects o JOIN props p ON p.object = o.id AND p.tag = 0x3001001F "
                            "WHERE p.value = x'" + [&] {
                              std::string h;
                              for (unsigned char c : utf16(name)) {
                                static const char d[] = "0123456789abcdef";
                                h += d[c >> 4];
                                h += d[c & 15];
                              }
                              return h;
                            }() + "'"));
  };
  auto storeProp = [&](int object, ULONG tag) {
    return db.one("SELECT value FROM props WHERE object = " + std::to_string(object) + " AND tag = " + std::to_string(tag));
  };
  EXPECT_EQ(storeProp(1, 0x35E00102), entryOf(3));
  EXPECT_EQ(storeProp(1, 0x35E20102), entryOf(folderId(u"Outbox")));
  EXPECT_EQ(storeProp(1, 0x35E40102), entryOf(folderId(u"Sent Items")));
  const int inbox = folderId(u"Inbox");
  const std::map<ULONG, std::u16string> onInbox = {{0x36D00102, u"Calendar"}, {0x36D10102, u"Contacts"},
                                                   {0x36D30102, u"Notes"},    {0x36D40102, u"Tasks"},
                                                   {0x36D70102, u"Drafts"}};
  for (const auto& [tag, name] : onInbox) EXPECT_EQ(storeProp(inbox, tag), entryOf(folderId(name))) << std::hex << tag;
  EXPECT_EQ(db.one("SELECT folder FROM receive_folders WHERE message_class = 'IPM.Note'"), std::to_string(inbox));
}

TEST_F(Stores, FolderNamesFollowTheHostLanguage) {
  platform::host::Host::current().setFact("user_locale", "040C");
  ASSERT_EQ(addPst("C:\\dossiers.pst"), S_OK);
  Db db(host.c("dossiers.pst"));
  const auto folders = topFolders(db);
  ASSERT_EQ(folders.size(), 10u);
  EXPECT_EQ(folders[0], utf16(u"Bo\u00EEte de r\u00E9ception"));
  EXPECT_EQ(folders[7], utf16(u"T\u00E2ches"));
}

TEST_F(Stores, AnExistingStoreIsOpenedNotOverwritten) {
  ASSERT_EQ(addPst("C:\\kipo.pst"), S_OK);
  const std::string before = read(host.c("kipo.pst"));
  // A second service on the same file opens it.
  ASSERT_EQ(addPst("C:\\kipo.pst"), S_OK);
  EXPECT_EQ(read(host.c("kipo.pst")), before);
}

TEST_F(Stores, FilesThatAreNotStoresOrAreNewerAreRefusedAndLeftAlone) {
  // A real store whose schema is newer than this reader.
  ASSERT_EQ(addPst("C:\\newer.pst"), S_OK);
  {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(host.c("newer.pst").c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "UPDATE meta SET value = 2 WHERE key = 'version'", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
  }
  // Databases and files that are not stores of ours.
  auto makeDb = [&](const std::string& name, const char* sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(host.c(name).c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK) << sql;
    sqlite3_close(db);
  };
  makeDb("nometa.pst", "CREATE TABLE t(x)");
  makeDb("otherformat.pst", "CREATE TABLE meta(key TEXT PRIMARY KEY, value);"
                            "INSERT INTO meta VALUES('format', 'something'), ('version', 1), ('store_id', zeroblob(16))");
  makeDb("shortid.pst", "CREATE TABLE meta(key TEXT PRIMARY KEY, value);"
                        "INSERT INTO meta VALUES('format', 'kipo-mapi-store'), ('version', 1), ('store_id', zeroblob(15))");
  makeDb("textversion.pst", "CREATE TABLE meta(key TEXT PRIMARY KEY, value);"
                            "INSERT INTO meta VALUES('format', 'kipo-mapi-store'), ('version', '1'), ('store_id', zeroblob(16))");
  write(host.c("text.pst"), "This is not a personal folders file, only some text that is long enough.\n");
  write(host.c("empty.pst"), "");
  struct Case {
    const char* file;
    HRESULT expected;
  };
  const Case cases[] = {
      {"newer.pst", MAPI_E_VERSION},          {"nometa.pst", MAPI_E_CORRUPT_DATA},
      {"otherformat.pst", MAPI_E_CORRUPT_DATA}, {"shortid.pst", MAPI_E_CORRUPT_DATA},
      {"textversion.pst", MAPI_E_CORRUPT_DATA}, {"text.pst", MAPI_E_CORRUPT_DATA},
      {"empty.pst", MAPI_E_CORRUPT_DATA},
  };
  for (const Case& c : cases) {
    const std::string before = read(host.c(c.file));
    const std::string path = std::string("C:\\") + c.file;
    EXPECT_EQ(addPst(path.c_str()), c.expected) << c.file;
    EXPECT_EQ(read(host.c(c.file)), before) << c.file << " was written";
    EXPECT_TRUE(host.gone(std::string(c.file) + "-journal")) << c.file;
  }
}

// A store's lock holds while the platform itself opens and closes the file in the same process
// (as a copy or a size query of the ".pst" does): another process's write waits for it. With
// SQLite's own POSIX locks the platform's close drops the lock and the other process writes in
// the middle of this one's transaction; that case is run too, to show the hazard is real.
TEST_F(Stores, LocksHoldThroughThePlatformsOwnOpensOfTheFile) {
  ASSERT_EQ(addPst("C:\\locked.pst"), S_OK);
  for (const bool ownLocks : {true, false}) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open_v2(host.c("locked.pst").c_str(), &db, SQLITE_OPEN_READWRITE, ownLocks ? mapi::storeVfsName() : nullptr),
              SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "BEGIN IMMEDIATE; UPDATE meta SET value = value WHERE key = 'change'", nullptr, nullptr, nullptr),
              SQLITE_OK);
    HANDLE h = CreateFileW(u"C:\\locked.pst", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    CloseHandle(h);
    std::atomic<bool> done{false};
    int rc = -1;
    std::thread other([&] {
      rc = kipotest::runTool({"mapi", "deliver", "C:\\locked.pst", "--from", "Other", "--subject", "meanwhile"});
      done = true;
    });
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(ownLocks ? 2 : 8);
    while (!done && std::chrono::steady_clock::now() < until) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const bool wroteMeanwhile = done;
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    other.join();
    if (ownLocks) {
      EXPECT_FALSE(wroteMeanwhile) << "the other process wrote while this one held the store";
      EXPECT_EQ(rc, 0) << "the other process's write once the lock was let go";
    } else {
      EXPECT_TRUE(wroteMeanwhile) << "with POSIX locks the platform's close would have to keep them";
    }
  }
}

}  // namespace

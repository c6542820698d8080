// Fuzz harness of the MAPI stand-in's reading of a message store's property rows: a valid store
// (a message with an attachment and a recipient in the Inbox) is made once, and each input is a
// list of rows the harness writes into a copy of it before the stand-in opens the copy, reads
// every object's properties, lists the tables, hands the values out as MAPI memory and saves.
// Input: records of [object 1 byte][tag 4 bytes LE][length 2 bytes LE][value bytes].
// What the stand-in writes it must read back: a decoded value encodes to bytes that decode again,
// and a message that read must still read after a save.
#include <sqlite3.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "platform/host/paths.h"
#include "platform/modules/mapi32/memory.h"
#include "platform/modules/mapi32/profiles.h"
#include "platform/modules/mapi32/store.h"
#include "platform/modules/mapi32/store_vfs.h"
#include "tests/fuzz/fuzz_host.h"

namespace {

constexpr const char16_t* kTemplate = u"C:\\fuzz\\template.pst";
constexpr const char16_t* kWork = u"C:\\fuzz\\work.pst";

struct Template {
  std::string bytes;
  mapi::ObjectId inbox = 0, message = 0, attachment = 0, recipient = 0;
};

std::string linuxOf(const char16_t* path) { return platform::host::resolvePath(path).linux; }

const Template& theTemplate() {
  static const Template t = [] {
    Template made;
    {
      std::shared_ptr<mapi::Store> store;
      if (FAILED(mapi::Store::open(kTemplate, true, store))) __builtin_trap();
      if (FAILED(store->receiveFolder(u"IPM.Note", made.inbox))) __builtin_trap();
      mapi::Row message{mapi::textValue(PR_SUBJECT_A, u"Quarterly figures"),
                        mapi::textValue(PR_MESSAGE_CLASS_A, u"IPM.Note"),
                        mapi::textValue(PR_BODY_A, u"See the attachment.")};
      if (FAILED(store->create(made.inbox, mapi::Kind::Message, message, made.message))) __builtin_trap();
      mapi::Row attachment{mapi::textValue(PR_DISPLAY_NAME_W, u"figures.xls"),
                           mapi::binaryValue(PROP_TAG(PT_BINARY, 0x3701), std::string("PK\3\4", 4))};
      if (FAILED(store->create(made.message, mapi::Kind::Attachment, attachment, made.attachment))) __builtin_trap();
      mapi::Row recipient{mapi::textValue(PR_DISPLAY_NAME_W, u"Ada Example")};
      if (FAILED(store->create(made.message, mapi::Kind::Recipient, recipient, made.recipient))) __builtin_trap();
    }  // the last reference closes the file
    std::ifstream in(linuxOf(kTemplate), std::ios::binary);
    made.bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (made.bytes.empty()) __builtin_trap();
    return made;
  }();
  return t;
}

struct Record {
  mapi::ObjectId object;
  ULONG tag;
  std::string value;
};

std::vector<Record> recordsOf(const std::uint8_t* data, std::size_t size, const Template& t) {
  const mapi::ObjectId objects[] = {mapi::Store::kStoreObject, mapi::Store::kRootFolder, t.inbox,
                                    t.message, t.attachment, t.recipient};
  std::vector<Record> out;
  std::size_t at = 0;
  while (size - at >= 7) {
    Record r;
    r.object = objects[data[at] % std::size(objects)];
    r.tag = static_cast<ULONG>(data[at + 1] | data[at + 2] << 8 | data[at + 3] << 16) |
            static_cast<ULONG>(data[at + 4]) << 24;
    std::size_t length = data[at + 5] | data[at + 6] << 8;
    at += 7;
    if (length > size - at) length = size - at;
    r.value.assign(reinterpret_cast<const char*>(data + at), length);
    at += length;
    out.push_back(std::move(r));
  }
  return out;
}

void writeRows(const std::vector<Record>& records) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(linuxOf(kWork).c_str(), &db, SQLITE_OPEN_READWRITE, mapi::storeVfsName()) != SQLITE_OK)
    __builtin_trap();
  // The copy is thrown away after the input: no need to wait for the disk.
  sqlite3_exec(db, "PRAGMA synchronous=OFF", nullptr, nullptr, nullptr);
  sqlite3_stmt* s = nullptr;
  sqlite3_prepare_v2(db, "INSERT OR REPLACE INTO props(object, tag, value) VALUES(?1, ?2, ?3)", -1, &s, nullptr);
  sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
  for (const Record& r : records) {
    sqlite3_bind_int64(s, 1, r.object);
    sqlite3_bind_int64(s, 2, r.tag);
    sqlite3_bind_blob(s, 3, r.value.data(), static_cast<int>(r.value.size()), SQLITE_TRANSIENT);
    sqlite3_step(s);
    sqlite3_reset(s);
  }
  sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  sqlite3_finalize(s);
  sqlite3_close(db);
}

// The row as a caller of IMAPIProp::GetProps and of a table's QueryRows gets it.
void handOut(const mapi::Row& row, const mapi::Deriver* deriver) {
  ULONG count = 0;
  LPSPropValue values = nullptr;
  if (SUCCEEDED(mapi::makeProps(row, nullptr, &count, &values))) mapi::freeBuffer(values);
  std::vector<ULONG> columns;
  for (const mapi::Value& v : row) columns.push_back(v.tag);
  columns.push_back(PR_ENTRYID);
  LPSRowSet rows = nullptr;
  if (SUCCEEDED(mapi::makeRowSet({&row}, columns, &rows, deriver))) mapi::freeRows(rows);
}

void checkRoundTrip(const Record& r) {
  const auto value = mapi::decodeValue(r.tag, r.value);
  if (!value) return;
  const std::string bytes = mapi::encodeValue(*value);
  const auto again = mapi::decodeValue(r.tag, bytes);
  if (!again) __builtin_trap();
  if (mapi::encodeValue(*again) != bytes) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  kipofuzz::ensureHost();
  const Template& t = theTemplate();
  const std::vector<Record> records = recordsOf(data, size, t);
  for (const Record& r : records) checkRoundTrip(r);
  {
    std::ofstream out(linuxOf(kWork), std::ios::binary | std::ios::trunc);
    out.write(t.bytes.data(), static_cast<std::streamsize>(t.bytes.size()));
  }
  writeRows(records);

  std::shared_ptr<mapi::Store> store;
  if (FAILED(mapi::Store::open(kWork, false, store))) return 0;
  for (mapi::ObjectId id : {mapi::Store::kStoreObject, mapi::Store::kRootFolder, t.inbox, t.message, t.attachment,
                            t.recipient}) {
    mapi::Row row;
    if (SUCCEEDED(store->props(id, row))) handOut(row, nullptr);
  }
  const std::pair<mapi::ObjectId, mapi::Kind> tables[] = {{mapi::Store::kRootFolder, mapi::Kind::Folder},
                                                          {t.inbox, mapi::Kind::Message},
                                                          {t.message, mapi::Kind::Attachment},
                                                          {t.message, mapi::Kind::Recipient}};
  for (const auto& [parent, kind] : tables)
    for (bool lean : {false, true}) {
      std::vector<std::pair<mapi::ObjectId, mapi::Row>> rows;
      if (FAILED(store->childRows(parent, kind, rows, lean))) continue;
      const std::unique_ptr<mapi::Deriver> deriver = lean ? store->tableDeriver(parent) : nullptr;
      for (const auto& [id, row] : rows) handOut(row, deriver.get());
    }
  mapi::Row before;
  if (SUCCEEDED(store->props(t.message, before))) {
    if (FAILED(store->save(t.message, {mapi::textValue(PR_SUBJECT_A, u"Re: Quarterly figures")}, {}))) return 0;
    mapi::Row after;
    if (FAILED(store->props(t.message, after))) __builtin_trap();
  }
  return 0;
}

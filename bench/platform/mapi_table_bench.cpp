// Reading 10,000 items' properties through a MAPI contents table in batches of 100 (the way the
// item synchronizer reads a folder), against a plain SQLite read of the same rows from the same
// store file. Goal: the table within 3 times the plain read. Each iteration times both, so the
// ratio is measured within one run; the counters give its minimum and median over the repeats.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "platform/base/text.h"
#include "platform/com/unknown.h"
#include "platform/modules/mapi32/mapidefs.h"
#include "platform/win32/win32.h"
#include "tests/support/test_host.h"

namespace {

using platform::com::Ptr;
using Clock = std::chrono::steady_clock;

constexpr int kItems = 10000;
constexpr LONG kBatch = 100;

std::string le(std::uint64_t v, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
  return out;
}

// Fills the Inbox (object 4 of a new store) with the items in one transaction, in the store's
// own value encoding.
void fillInbox(const std::string& file) {
  sqlite3* db = nullptr;
  sqlite3_open(file.c_str(), &db);
  sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
  sqlite3_stmt* object = nullptr;
  sqlite3_stmt* prop = nullptr;
  sqlite3_prepare_v2(db, "INSERT INTO objects(parent, kind) VALUES(4, 2)", -1, &object, nullptr);
  sqlite3_prepare_v2(db, "INSERT INTO props(object, tag, value) VALUES(?1, ?2, ?3)", -1, &prop, nullptr);
  auto put = [&](sqlite3_int64 id, ULONG tag, const std::string& value) {
    sqlite3_bind_int64(prop, 1, id);
    sqlite3_bind_int64(prop, 2, tag);
    sqlite3_bind_blob(prop, 3, value.data(), static_cast<int>(value.size()), SQLITE_TRANSIENT);
    sqlite3_step(prop);
    sqlite3_reset(prop);
  };
  for (int i = 0; i < kItems; ++i) {
    sqlite3_step(object);
    sqlite3_reset(object);
    const sqlite3_int64 id = sqlite3_last_insert_rowid(db);
    put(id, PR_SUBJECT_A, "Message number " + std::to_string(i) + std::string(1, '\0'));
    put(id, PR_MESSAGE_CLASS_A, std::string("IPM.Note") + '\0');
    put(id, PR_MESSAGE_FLAGS, le(1, 4));
    put(id, PR_LAST_MODIFICATION_TIME, le(0x01C7000000000000ull + static_cast<std::uint64_t>(i), 8));
    put(id, PR_SEARCH_KEY, le(static_cast<std::uint64_t>(i) * 2654435761u, 8) + le(static_cast<std::uint64_t>(i), 8));
  }
  sqlite3_finalize(object);
  sqlite3_finalize(prop);
  sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  sqlite3_close(db);
}

void BM_ContentsTableAgainstPlainSqlite(benchmark::State& state) {
  kipotest::TestHost host;
  std::string err;
  if (kipotest::runTool({"outlook", "set", "--version", "2003"}, nullptr, &err) != 0) {
    state.SkipWithError(("outlook set: " + err).c_str());
    return;
  }
  HMODULE module = LoadLibraryW(u"C:\\WINDOWS\\system32\\mapi32.dll");
  auto initialize = reinterpret_cast<MAPIInitializeFn>(GetProcAddress(module, kMapiInitializeName));
  auto uninitialize = reinterpret_cast<MAPIUninitializeFn>(GetProcAddress(module, kMapiUninitializeName));
  auto adminProfiles = reinterpret_cast<MAPIAdminProfilesFn>(GetProcAddress(module, kMapiAdminProfilesName));
  auto logon = reinterpret_cast<MAPILogonExFn>(GetProcAddress(module, kMapiLogonExName));
  auto freeProws = reinterpret_cast<FreeProwsFn>(GetProcAddress(module, kFreeProwsName));
  auto freeBuffer = reinterpret_cast<MAPIFreeBufferFn>(GetProcAddress(module, kMapiFreeBufferName));
  initialize(nullptr);
  {
    Ptr<IProfAdmin> admin;
    adminProfiles(0, admin.put());
    admin->CreateProfile(const_cast<LPSTR>("Bench"), nullptr, 0, 0);
    Ptr<IMsgServiceAdmin> services;
    admin->AdminServices(const_cast<LPSTR>("Bench"), nullptr, 0, 0, services.put());
    services->CreateMsgService(const_cast<LPSTR>("MSPST MS"), nullptr, 0, 0);
    Ptr<IMAPITable> table;
    services->GetMsgServiceTable(0, table.put());
    SizedSPropTagArray(1, uidColumn) = {1, {PR_SERVICE_UID}};
    table->SetColumns(reinterpret_cast<LPSPropTagArray>(&uidColumn), 0);
    LPSRowSet rows = nullptr;
    table->QueryRows(1, 0, &rows);
    MAPIUID uid;
    std::memcpy(uid.ab, rows->aRow[0].lpProps[0].Value.bin.lpb, 16);
    freeProws(rows);
    SPropValue props[2]{};
    props[0].ulPropTag = PR_PST_PATH;
    props[0].Value.lpszA = const_cast<LPSTR>("C:\\bench.pst");
    props[1].ulPropTag = PR_DISPLAY_NAME_A;
    props[1].Value.lpszA = const_cast<LPSTR>("Bench");
    if (FAILED(services->ConfigureMsgService(&uid, 0, 0, 2, props))) {
      state.SkipWithError("the store could not be made");
      return;
    }
  }
  const std::string file = host.c("bench.pst").string();
  fillInbox(file);

  Ptr<IMAPISession> session;
  logon(0, const_cast<LPSTR>("Bench"), nullptr, MAPI_EXTENDED | MAPI_EXPLICIT_PROFILE, session.put());
  Ptr<IMAPITable> stores;
  session->GetMsgStoresTable(0, stores.put());
  LPSRowSet storeRows = nullptr;
  stores->QueryRows(1, 0, &storeRows);
  Ptr<IMsgStore> store;
  session->OpenMsgStore(0, storeRows->aRow[0].lpProps[0].Value.bin.cb,
                        reinterpret_cast<LPENTRYID>(storeRows->aRow[0].lpProps[0].Value.bin.lpb), nullptr, 0, store.put());
  freeProws(storeRows);
  ULONG cb = 0;
  LPENTRYID inboxId = nullptr;
  store->GetReceiveFolder(const_cast<LPSTR>("IPM.Note"), 0, &cb, &inboxId, nullptr);
  Ptr<IUnknown> object;
  ULONG type = 0;
  store->OpenEntry(cb, inboxId, nullptr, 0, &type, object.put());
  freeBuffer(inboxId);
  Ptr<IMAPIFolder> inbox;
  inbox.attach(static_cast<IMAPIFolder*>(object.detach()));

  sqlite3* plain = nullptr;
  sqlite3_open_v2(file.c_str(), &plain, SQLITE_OPEN_READONLY, nullptr);

  std::vector<double> ratios, tableMs, plainMs;
  for (auto _ : state) {
    // Through the contents table, in batches.
    const auto t0 = Clock::now();
    Ptr<IMAPITable> contents;
    inbox->GetContentsTable(0, contents.put());
    SizedSPropTagArray(5, columns) = {
        5, {PR_ENTRYID, PR_SUBJECT_A, PR_MESSAGE_CLASS_A, PR_LAST_MODIFICATION_TIME, PR_SEARCH_KEY}};
    contents->SetColumns(reinterpret_cast<LPSPropTagArray>(&columns), TBL_BATCH);
    std::size_t seen = 0, bytes = 0;
    for (;;) {
      LPSRowSet rows = nullptr;
      if (FAILED(contents->QueryRows(kBatch, 0, &rows)) || !rows) break;
      const ULONG n = rows->cRows;
      for (ULONG i = 0; i < n; ++i) bytes += std::strlen(rows->aRow[i].lpProps[1].Value.lpszA);
      seen += n;
      freeProws(rows);
      if (n == 0) break;
    }
    contents.reset();
    const auto t1 = Clock::now();
    // The same rows read plainly.
    sqlite3_stmt* s = nullptr;
    sqlite3_prepare_v2(plain,
                       "SELECT o.id, p.tag, p.value FROM objects o JOIN props p ON p.object = o.id "
                       "WHERE o.parent = 4 AND o.kind = 2 ORDER BY o.id",
                       -1, &s, nullptr);
    std::size_t plainRows = 0, plainBytes = 0;
    sqlite3_int64 last = -1;
    while (sqlite3_step(s) == SQLITE_ROW) {
      const sqlite3_int64 id = sqlite3_column_int64(s, 0);
      if (id != last) ++plainRows, last = id;
      std::string value(static_cast<const char*>(sqlite3_column_blob(s, 2)), static_cast<std::size_t>(sqlite3_column_bytes(s, 2)));
      plainBytes += value.size();
    }
    sqlite3_finalize(s);
    const auto t2 = Clock::now();
    if (seen != kItems || plainRows != kItems) {
      state.SkipWithError("not every item was read");
      break;
    }
    benchmark::DoNotOptimize(bytes + plainBytes);
    const double a = std::chrono::duration<double, std::milli>(t1 - t0).count();
    const double b = std::chrono::duration<double, std::milli>(t2 - t1).count();
    tableMs.push_back(a);
    plainMs.push_back(b);
    ratios.push_back(a / b);
  }
  auto median = [](std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
  };
  if (!ratios.empty()) {
    state.counters["ratio_min"] = *std::min_element(ratios.begin(), ratios.end());
    state.counters["ratio_median"] = median(ratios);
    state.counters["table_ms_median"] = median(tableMs);
    state.counters["sqlite_ms_median"] = median(plainMs);
  }
  sqlite3_close(plain);
  inbox.reset();
  store.reset();
  session.reset();
  uninitialize();
  FreeLibrary(module);
}
BENCHMARK(BM_ContentsTableAgainstPlainSqlite)->Iterations(15)->Unit(benchmark::kMillisecond);

}  // namespace

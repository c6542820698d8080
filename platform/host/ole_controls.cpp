// The host's record of ActiveX control windows and print jobs (see ole_controls.h).
#include "platform/host/ole_controls.h"

#include "platform/base/clock.h"
#include "platform/base/text.h"
#include "platform/host/database.h"
#include "platform/host/host.h"
#include "platform/win32/process.h"
#include "platform/win32/window.h"

namespace platform::host {
namespace {

SchemaPart controlsSchema(
    "CREATE TABLE IF NOT EXISTS ole_controls (handle INTEGER PRIMARY KEY, clsid TEXT NOT NULL,"
    " property TEXT NOT NULL, value TEXT NOT NULL, page INTEGER NOT NULL)");
SchemaPart linksSchema(
    "CREATE TABLE IF NOT EXISTS ole_links (handle INTEGER NOT NULL, idx INTEGER NOT NULL, text TEXT NOT NULL,"
    " href TEXT NOT NULL, url TEXT NOT NULL, PRIMARY KEY (handle, idx))");
SchemaPart printJobsSchema(
    "CREATE TABLE IF NOT EXISTS print_jobs (id INTEGER PRIMARY KEY AUTOINCREMENT, time INTEGER NOT NULL,"
    " pid INTEGER NOT NULL, document TEXT NOT NULL, option INTEGER NOT NULL)");

std::int64_t key(HWND h) { return static_cast<std::int64_t>(reinterpret_cast<std::uintptr_t>(h)); }

void deleteRows(Database& db, HWND control) {
  db.query("DELETE FROM ole_controls WHERE handle = ?").bind(1, key(control)).run();
  db.query("DELETE FROM ole_links WHERE handle = ?").bind(1, key(control)).run();
}

}  // namespace

void recordControlState(HWND control, const ControlState& state) {
  Database& db = Host::current().db();
  Database::Transaction t(db);
  deleteRows(db, control);
  db.query("INSERT INTO ole_controls (handle, clsid, property, value, page) VALUES (?,?,?,?,?)")
      .bind(1, key(control))
      .bind(2, text::toUtf8(state.clsid))
      .bind(3, text::toUtf8(state.property))
      .bind(4, text::toUtf8(state.value))
      .bind(5, state.page)
      .run();
  std::int64_t index = 0;
  for (const ControlLink& link : state.links) {
    db.query("INSERT INTO ole_links (handle, idx, text, href, url) VALUES (?,?,?,?,?)")
        .bind(1, key(control))
        .bind(2, index++)
        .bind(3, text::toUtf8(link.text))
        .bind(4, text::toUtf8(link.href))
        .bind(5, text::toUtf8(link.url))
        .run();
  }
  t.commit();
}

void forgetControl(HWND control) {
  Database& db = Host::current().db();
  Database::Transaction t(db);
  deleteRows(db, control);
  t.commit();
}

std::optional<ControlState> controlState(HWND control) {
  if (!IsWindow(control)) return std::nullopt;
  Database& db = Host::current().db();
  auto lock = db.lock();
  ControlState state;
  {
    Query q = db.query("SELECT clsid, property, value, page FROM ole_controls WHERE handle = ?");
    q.bind(1, key(control));
    if (!q.step()) return std::nullopt;
    state.clsid = text::fromUtf8(q.textAt(0));
    state.property = text::fromUtf8(q.textAt(1));
    state.value = text::fromUtf8(q.textAt(2));
    state.page = q.int64At(3);
  }
  Query q = db.query("SELECT text, href, url FROM ole_links WHERE handle = ? ORDER BY idx");
  q.bind(1, key(control));
  while (q.step())
    state.links.push_back({text::fromUtf8(q.textAt(0)), text::fromUtf8(q.textAt(1)), text::fromUtf8(q.textAt(2))});
  return state;
}

void recordPrintJob(const PrintJob& job) {
  Database& db = Host::current().db();
  Database::Transaction t(db);
  db.query("INSERT INTO print_jobs (time, pid, document, option) VALUES (?,?,?,?)")
      .bind(1, static_cast<std::int64_t>(job.time ? job.time : clock::wallFileTime()))
      .bind(2, static_cast<std::int64_t>(job.pid ? job.pid : GetCurrentProcessId()))
      .bind(3, text::toUtf8(job.document))
      .bind(4, static_cast<std::int64_t>(job.option))
      .run();
  t.commit();
}

std::vector<PrintJob> printJobs() {
  Database& db = Host::current().db();
  auto lock = db.lock();
  Query q = db.query("SELECT id, time, pid, document, option FROM print_jobs ORDER BY id");
  std::vector<PrintJob> out;
  while (q.step()) {
    PrintJob j;
    j.id = q.int64At(0);
    j.time = static_cast<std::uint64_t>(q.int64At(1));
    j.pid = static_cast<DWORD>(q.int64At(2));
    j.document = text::fromUtf8(q.textAt(3));
    j.option = static_cast<DWORD>(q.int64At(4));
    out.push_back(std::move(j));
  }
  return out;
}

}  // namespace platform::host

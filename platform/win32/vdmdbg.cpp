// The host's table of 16-bit tasks and the VDMDBG enumeration over it (see vdmdbg.h).
#include "platform/win32/vdmdbg.h"

#include <algorithm>
#include <optional>

#include "platform/base/codepage.h"
#include "platform/base/text.h"
#include "platform/host/host.h"
#include "platform/host/module_registry.h"
#include "platform/host/process_table.h"
#include "platform/win32/error.h"

namespace platform::vdm {
namespace {

namespace host = platform::host;

host::SchemaPart vdmTasksSchema(
    "CREATE TABLE IF NOT EXISTS vdm_tasks (host_pid INTEGER NOT NULL, host_start INTEGER NOT NULL,"
    " task INTEGER NOT NULL, module INTEGER NOT NULL, thread_id INTEGER NOT NULL, module_name TEXT NOT NULL,"
    " file_name TEXT NOT NULL, PRIMARY KEY (host_pid, host_start, task))");

// The living process's start time when it is a virtual DOS machine.
std::optional<std::uint64_t> vdmStart(DWORD pid, bool& isProcess) {
  std::optional<host::ProcessRow> row = host::findLivingProcess(pid);
  isProcess = row.has_value();
  if (!row || !isVdmImage(row->imageName)) return std::nullopt;
  return row->start;
}

std::u16string defaultModuleName(std::u16string_view fileName) {
  std::size_t slash = fileName.find_last_of(u"\\/:");
  std::u16string_view base = slash == std::u16string_view::npos ? fileName : fileName.substr(slash + 1);
  std::size_t dot = base.rfind(u'.');
  if (dot != std::u16string_view::npos) base = base.substr(0, dot);
  return text::upcased(base.substr(0, MAX_MODULE_NAME - 1));
}

}  // namespace

bool isVdmImage(std::u16string_view imageName) { return text::upcased(imageName) == u"NTVDM.EXE"; }

AddResult addSixteenBitTask(DWORD hostPid, std::u16string_view fileName, std::u16string_view moduleName,
                            SixteenBitTask& task) {
  if (fileName.empty() || fileName.size() > MAX_PATH16 || moduleName.size() > MAX_MODULE_NAME - 1)
    return AddResult::BadName;
  bool isProcess = false;
  std::optional<std::uint64_t> start = vdmStart(hostPid, isProcess);
  if (!start) return isProcess ? AddResult::NotVdmProcess : AddResult::NoSuchProcess;
  host::Database& db = host::Host::current().db();
  host::Database::Transaction t(db);
  // Rows of an earlier process with the same id are stale.
  db.query("DELETE FROM vdm_tasks WHERE host_pid = ? AND host_start <> ?")
      .bind(1, static_cast<std::int64_t>(hostPid))
      .bind(2, static_cast<std::int64_t>(*start))
      .run();
  std::int64_t highest = 0;
  {
    host::Query q = db.query("SELECT COALESCE(MAX(task), 0) FROM vdm_tasks WHERE host_pid = ?");
    q.bind(1, static_cast<std::int64_t>(hostPid));
    if (q.step()) highest = q.int64At(0);
  }
  // Task and module handles of 16-bit Windows are even selectors; start where WOWEXEC's would end.
  std::int64_t next = std::max<std::int64_t>(highest, 0x0F00) + 0x10;
  if (next > 0xFFF0) return AddResult::BadName;
  task.hostPid = hostPid;
  task.task = static_cast<WORD>(next);
  task.module = static_cast<WORD>(next + 0x8);
  task.threadId = static_cast<DWORD>(hostPid * 16 + static_cast<DWORD>((next - 0x0F00) / 0x10));
  task.fileName = std::u16string(fileName);
  task.moduleName = moduleName.empty() ? defaultModuleName(fileName) : text::upcased(moduleName);
  db.query("INSERT INTO vdm_tasks (host_pid, host_start, task, module, thread_id, module_name, file_name)"
           " VALUES (?,?,?,?,?,?,?)")
      .bind(1, static_cast<std::int64_t>(hostPid))
      .bind(2, static_cast<std::int64_t>(*start))
      .bind(3, static_cast<std::int64_t>(task.task))
      .bind(4, static_cast<std::int64_t>(task.module))
      .bind(5, static_cast<std::int64_t>(task.threadId))
      .bind(6, text::toUtf8(task.moduleName))
      .bind(7, text::toUtf8(task.fileName))
      .run();
  t.commit();
  return AddResult::Added;
}

std::vector<SixteenBitTask> sixteenBitTasks(DWORD hostPid) {
  std::vector<SixteenBitTask> tasks;
  bool isProcess = false;
  std::optional<std::uint64_t> start = vdmStart(hostPid, isProcess);
  host::Database& db = host::Host::current().db();
  if (!start) {
    // The process ended (or never was one): its tasks went with it.
    host::Database::Transaction t(db);
    db.query("DELETE FROM vdm_tasks WHERE host_pid = ?").bind(1, static_cast<std::int64_t>(hostPid)).run();
    t.commit();
    return tasks;
  }
  auto lock = db.lock();
  host::Query q = db.query(
      "SELECT task, module, thread_id, module_name, file_name FROM vdm_tasks WHERE host_pid = ? AND host_start = ?"
      " ORDER BY task");
  q.bind(1, static_cast<std::int64_t>(hostPid)).bind(2, static_cast<std::int64_t>(*start));
  while (q.step()) {
    SixteenBitTask t;
    t.hostPid = hostPid;
    t.task = static_cast<WORD>(q.int64At(0));
    t.module = static_cast<WORD>(q.int64At(1));
    t.threadId = static_cast<DWORD>(q.int64At(2));
    t.moduleName = text::fromUtf8(q.textAt(3));
    t.fileName = text::fromUtf8(q.textAt(4));
    tasks.push_back(std::move(t));
  }
  return tasks;
}

}  // namespace platform::vdm

INT VDMEnumTaskWOWEx(DWORD dwProcessId, TASKENUMPROCEX fp, LPARAM lparam) {
  if (!fp) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  INT count = 0;
  for (const auto& t : platform::vdm::sixteenBitTasks(dwProcessId)) {
    // The callback gets its own buffers of the sizes 16-bit Windows allows.
    char moduleName[MAX_MODULE_NAME] = {};
    char fileName[MAX_PATH16 + 1] = {};
    std::string m = platform::text::wideToAnsi(t.moduleName);
    std::string f = platform::text::wideToAnsi(t.fileName);
    std::copy_n(m.begin(), std::min<std::size_t>(m.size(), MAX_MODULE_NAME - 1), moduleName);
    std::copy_n(f.begin(), std::min<std::size_t>(f.size(), MAX_PATH16), fileName);
    ++count;
    if (fp(t.threadId, t.module, t.task, moduleName, fileName, lparam)) break;
  }
  return count;
}

namespace {

platform::module::BuiltinVersion vdmdbgVersion() {
  platform::host::Host& h = platform::host::Host::current();
  std::string v = h.fact(platform::host::fact::WindowsVersion) + "." + h.fact(platform::host::fact::WindowsBuild) + ".0";
  return {v, v, u"VDMDBG.DLL"};
}

platform::module::RegisterBuiltinModule vdmdbgModule("VDMDBG.DLL", false, vdmdbgVersion);

}  // namespace

KIPO_BUILTIN_EXPORT("VDMDBG.DLL", "VDMEnumTaskWOWEx", VDMEnumTaskWOWEx);

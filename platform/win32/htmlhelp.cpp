// HtmlHelpW over host files and host.db; see htmlhelp.h.
#include "platform/win32/htmlhelp.h"

#include <map>
#include <mutex>

#include "platform/base/text.h"
#include "platform/host/host.h"
#include "platform/win32/error.h"
#include "platform/win32/file.h"
#include "platform/win32/message.h"
#include "platform/win32/process.h"
#include "platform/win32/window.h"

namespace platform::htmlhelp {
namespace {

using host::Host;

host::SchemaPart helpSchema(
    "CREATE TABLE IF NOT EXISTS help_requests ("
    " id INTEGER PRIMARY KEY AUTOINCREMENT, file TEXT NOT NULL, topic TEXT NOT NULL,"
    " command INTEGER NOT NULL, data INTEGER NOT NULL, shown INTEGER NOT NULL, pid INTEGER NOT NULL)");
constexpr std::int64_t kKept = 1000;
constexpr const char16_t* kWindowClass = u"HH Parent";

// The help windows of this process by upper-cased file path (each belongs to the thread that
// opened it).
std::mutex g_mutex;
std::map<std::u16string, HWND> g_windows;
DWORD g_nextCookie = 1;

LRESULT CALLBACK helpWindowProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCDESTROY) {
    std::lock_guard lock(g_mutex);
    for (auto it = g_windows.begin(); it != g_windows.end(); ++it)
      if (it->second == w) {
        g_windows.erase(it);
        break;
      }
  }
  return DefWindowProcW(w, msg, wp, lp);
}

bool registerClassOnce() {
  WNDCLASSW wc{};
  if (GetClassInfoW(nullptr, kWindowClass, &wc)) return true;
  wc.lpfnWndProc = helpWindowProc;
  wc.lpszClassName = kWindowClass;
  return RegisterClassW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

void record(const HelpRequest& r) {
  Host& host = Host::current();
  auto& db = host.db();
  host::Database::Transaction t(db);
  db.query("INSERT INTO help_requests (file, topic, command, data, shown, pid) VALUES (?1, ?2, ?3, ?4, ?5, ?6)")
      .bind(1, text::toUtf8(r.file))
      .bind(2, text::toUtf8(r.topic))
      .bind(3, static_cast<std::int64_t>(r.command))
      .bind(4, static_cast<std::int64_t>(r.data))
      .bind(5, r.shown ? 1 : 0)
      .bind(6, static_cast<std::int64_t>(GetCurrentProcessId()))
      .run();
  db.query("DELETE FROM help_requests WHERE id <= ?1").bind(1, db.lastInsertRowid() - kKept).run();
  t.commit();
}

bool isDisplayCommand(UINT c) {
  return c == HH_DISPLAY_TOPIC || c == HH_DISPLAY_TOC || c == HH_DISPLAY_INDEX || c == HH_DISPLAY_SEARCH ||
         c == HH_HELP_CONTEXT;
}

HWND showWindowFor(HWND caller, const std::u16string& file) {
  const std::u16string key = text::upcased(file);
  {
    std::lock_guard lock(g_mutex);
    auto it = g_windows.find(key);
    if (it != g_windows.end() && IsWindow(it->second)) {
      ShowWindow(it->second, SW_SHOWNORMAL);
      return it->second;
    }
  }
  if (!registerClassOnce()) return nullptr;
  const auto slash = file.find_last_of(u"\\/");
  std::u16string title = slash == std::u16string::npos ? file : file.substr(slash + 1);
  if (auto dot = title.find_last_of(u'.'); dot != std::u16string::npos) title.resize(dot);
  HWND w = CreateWindowExW(0, kWindowClass, title.c_str(), WS_OVERLAPPEDWINDOW | WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT,
                           640, 480, caller && IsWindow(caller) ? GetAncestor(caller, GA_ROOT) : nullptr, nullptr,
                           nullptr, nullptr);
  if (!w) return nullptr;
  std::lock_guard lock(g_mutex);
  g_windows[key] = w;
  return w;
}

}  // namespace

std::vector<HelpRequest> requests() {
  Host& host = Host::current();
  auto lock = host.db().lock();
  std::vector<HelpRequest> out;
  auto q = host.db().query("SELECT id, file, topic, command, data, shown, pid FROM help_requests ORDER BY id");
  while (q.step())
    out.push_back({q.int64At(0), text::fromUtf8(q.textAt(1)), text::fromUtf8(q.textAt(2)),
                   static_cast<UINT>(q.int64At(3)), static_cast<std::uint64_t>(q.int64At(4)), q.int64At(5) != 0,
                   q.int64At(6)});
  return out;
}

void clearRequests() {
  Host& host = Host::current();
  auto lock = host.db().lock();
  host.db().exec("DELETE FROM help_requests");
}

}  // namespace platform::htmlhelp

using namespace platform::htmlhelp;
namespace text = platform::text;

HWND HtmlHelpW(HWND hwndCaller, LPCWSTR pszFile, UINT uCommand, DWORD_PTR dwData) {
  HelpRequest r;
  r.command = uCommand;
  std::u16string fileSpec(text::view(pszFile));
  if (auto gt = fileSpec.find(u'>'); gt != std::u16string::npos) fileSpec.resize(gt);
  if (auto sep = fileSpec.find(u"::"); sep != std::u16string::npos) {
    r.topic = fileSpec.substr(sep + 2);
    fileSpec.resize(sep);
  }
  r.file = fileSpec;
  if (uCommand == HH_DISPLAY_TOPIC && r.topic.empty() && dwData)
    r.topic = std::u16string(text::view(reinterpret_cast<LPCWSTR>(dwData)));
  else if (uCommand == HH_HELP_CONTEXT)
    r.data = dwData;

  HWND result = nullptr;
  if (isDisplayCommand(uCommand)) {
    const DWORD attrs = r.file.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(r.file.c_str());
    if (attrs != INVALID_FILE_ATTRIBUTES && !(attrs & FILE_ATTRIBUTE_DIRECTORY)) result = showWindowFor(hwndCaller, r.file);
  } else if (uCommand == HH_CLOSE_ALL) {
    std::vector<HWND> mine;
    {
      std::lock_guard lock(g_mutex);
      for (auto& [k, w] : g_windows)
        if (GetWindowThreadProcessId(w, nullptr) == GetCurrentThreadId()) mine.push_back(w);
    }
    for (HWND w : mine) DestroyWindow(w);
  } else if (uCommand == HH_INITIALIZE && dwData) {
    std::lock_guard lock(g_mutex);
    *reinterpret_cast<DWORD*>(dwData) = g_nextCookie++;
  }
  r.shown = result != nullptr;
  record(r);
  return result;
}

// The in-process UI driver: the active script, matching the idle modal window against the next
// step, the user's actions on it, and the unanswered-window handling.
#include "platform/ui/driver.h"

#include <algorithm>
#include <exception>
#include <mutex>
#include <regex>
#include <string>
#include <vector>

#include "platform/afx/afxwin.h"
#include "platform/base/clock.h"
#include "platform/base/text.h"
#include "platform/ui/tree_items.h"
#include "platform/win32/controls/controls.h"
#include "platform/win32/dialog.h"
#include "platform/win32/menu.h"
#include "platform/win32/message.h"
#include "platform/win32/process.h"
#include "platform/win32/window.h"

namespace text = platform::text;

namespace platform::ui {

namespace {

constexpr const char16_t* kMenuClass = u"#32768";
constexpr UINT kEmSetSel = 0x00B1;
constexpr UINT kDlgcHasSetSel = 0x0008;

enum class MatchKind { Any, Dialog, Box, Window };
enum class ActionKind { Click, Type, Check, Select, Toggle, Menu, Enter, Escape, Close, Answer, Wait, SelectTree };

struct Matcher {
  MatchKind kind = MatchKind::Any;
  int id = 0;
  std::u16string pattern;
  std::wregex regex;  // wide (UTF-32) form: std::regex has no char16_t traits
};

struct Step {
  Matcher matcher;
  ActionKind action = ActionKind::Click;
  int id = 0;
  int value = 0;
  std::u16string text;
};

std::wstring wide(std::u16string_view s) {
  std::wstring out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    char32_t c = s[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] < 0xE000)
      c = 0x10000 + ((c - 0xD800) << 10) + (s[++i] - 0xDC00);
    out.push_back(static_cast<wchar_t>(c));
  }
  return out;
}

std::string utf8(std::u16string_view s) { return text::toUtf8(s); }

std::u16string classOf(HWND h) {
  WCHAR name[128] = {0};
  int n = GetClassNameW(h, name, 128);
  return std::u16string(name, static_cast<std::size_t>(std::max(n, 0)));
}

std::u16string textOf(HWND h) {
  int n = GetWindowTextLengthW(h);
  std::u16string s(static_cast<std::size_t>(std::max(n, 0)) + 1, u'\0');
  int got = GetWindowTextW(h, s.data(), n + 1);
  s.resize(static_cast<std::size_t>(std::max(got, 0)));
  return s;
}

std::string describeMatcher(const Matcher& m) {
  switch (m.kind) {
    case MatchKind::Dialog: return "dialog " + std::to_string(m.id);
    case MatchKind::Box: return "box /" + utf8(m.pattern) + "/";
    case MatchKind::Window: return "window " + utf8(m.pattern);
    default: return "any window";
  }
}

std::string describeStep(const Step& s) {
  static const char* kNames[] = {"click", "type",  "check",  "select", "toggle", "menu",
                                 "enter", "escape", "close", "answer", "wait",   "select tree item"};
  std::string out = describeMatcher(s.matcher) + ": " + kNames[static_cast<int>(s.action)];
  switch (s.action) {
    case ActionKind::Type:
    case ActionKind::SelectTree: out += " " + std::to_string(s.id) + " \"" + utf8(s.text) + "\""; break;
    case ActionKind::Check:
    case ActionKind::Select:
    case ActionKind::Toggle: out += " " + std::to_string(s.id) + " " + std::to_string(s.value); break;
    case ActionKind::Click:
    case ActionKind::Menu:
    case ActionKind::Answer:
    case ActionKind::Wait: out += " " + std::to_string(s.id); break;
    default: break;
  }
  return out;
}

// What a person sees of a window: its kind, caption and the texts of its controls.
std::string describeWindow(HWND w) {
  platform::dialog::MessageBoxInfo box;
  if (platform::dialog::messageBoxInfo(w, &box))
    return "message box \"" + utf8(box.caption) + "\": " + utf8(box.text);
  const std::u16string cls = classOf(w);
  std::string out;
  if (text::equalNoCase(cls, kMenuClass)) {
    out = "popup menu:";
    for (const auto& item : platform::menu::itemsOfWindow(w)) out += " [" + utf8(item.text) + "]";
    return out;
  }
  if (int id = platform::dialog::templateIdOf(w)) out = "dialog " + std::to_string(id);
  else out = "window of class " + utf8(cls);
  out += " \"" + utf8(textOf(w)) + "\"";
  for (HWND c = GetWindow(w, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
    std::u16string t = textOf(c);
    if (!t.empty() && IsWindowVisible(c)) out += " | " + utf8(t);
  }
  return out;
}

bool matches(const Matcher& m, HWND w) {
  switch (m.kind) {
    case MatchKind::Any: return true;
    case MatchKind::Dialog: return m.id != 0 && platform::dialog::templateIdOf(w) == m.id;
    case MatchKind::Box: {
      platform::dialog::MessageBoxInfo info;
      if (!platform::dialog::messageBoxInfo(w, &info)) return false;
      std::wstring t = wide(info.text);
      return std::regex_search(t, m.regex);
    }
    case MatchKind::Window: return text::equalNoCase(classOf(w), m.pattern);
  }
  return false;
}

// Ends a window nothing answers, without the product's own Cancel handling.
void endUnanswered(HWND w) {
  if (text::equalNoCase(classOf(w), kMenuClass)) {
    platform::menu::dismissWindow(w);
    return;
  }
  int result = IDCANCEL;
  platform::dialog::MessageBoxInfo box;
  if (platform::dialog::messageBoxInfo(w, &box) && (box.style & MB_TYPEMASK) == MB_OK) result = IDOK;
  if (CWnd* wnd = CWnd::FromHandlePermanent(w)) {
    if (auto* dlg = dynamic_cast<CDialog*>(wnd)) {
      dlg->EndDialog(result);
      return;
    }
    if (wnd->m_nFlags & CWnd::WF_MODALLOOP) {
      wnd->EndModalLoop(result);
      return;
    }
  }
  EndDialog(w, result);
}

}  // namespace

struct Script::State {
  std::mutex mutex;
  std::vector<Step> steps;
  std::size_t next = 0;
  Matcher current;
  std::vector<std::string> failures;
  std::vector<BoxRecord> boxes;
  std::uint64_t holdUntilMs = 0;  // a wait step holds the steps after it until then
  std::uint64_t wakeCall = 0;     // the scheduled wake-up of that wait, cancelled with the script

  void add(ActionKind a, int id = 0, int value = 0, std::u16string_view t = {}) {
    std::lock_guard lock(mutex);
    Step s;
    s.matcher = current;
    s.action = a;
    s.id = id;
    s.value = value;
    s.text = std::u16string(t);
    steps.push_back(std::move(s));
  }
  void fail(std::string why) {
    std::lock_guard lock(mutex);
    failures.push_back(std::move(why));
  }
};

namespace {

std::mutex g_activeMutex;
std::vector<std::shared_ptr<Script::State>> g_active;

std::shared_ptr<Script::State> active() {
  std::lock_guard lock(g_activeMutex);
  return g_active.empty() ? nullptr : g_active.back();
}

// Wakes the thread's modal loop so that its next idle moment comes (an action may cause no
// message at all).
void wake(DWORD thread) { PostThreadMessageW(thread, WM_NULL, 0, 0); }

HWND focusedIn(HWND w) {
  HWND f = GetFocus();
  return (f && (f == w || IsChild(w, f))) ? f : w;
}

// A key as the keyboard delivers it: queued, so the loop's dialog navigation sees it.
bool postKey(HWND w, UINT vk) {
  HWND target = focusedIn(w);
  if (!controls::userReachable(target)) return false;
  PostMessageW(target, WM_KEYDOWN, vk, 1);
  PostMessageW(target, WM_KEYUP, vk, static_cast<LPARAM>(0xC0000001u));
  return true;
}

// The control a person means by `id` in `w`: a child with that id, else one inside a child
// dialog (a property sheet's page, a panel), the visible one first.
HWND findControl(HWND w, int id) {
  if (HWND direct = GetDlgItem(w, id)) return direct;
  HWND hidden = nullptr;
  std::vector<HWND> pending;
  for (HWND c = GetWindow(w, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) pending.push_back(c);
  for (std::size_t i = 0; i < pending.size(); ++i) {
    HWND found = GetDlgItem(pending[i], id);
    if (found && IsWindowVisible(found)) return found;
    if (found && !hidden) hidden = found;
    for (HWND c = GetWindow(pending[i], GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) pending.push_back(c);
  }
  return hidden;
}

// Runs one action on `w`; an empty answer, or why it was refused.
std::string perform(const Step& s, HWND w) {
  using namespace platform::controls;
  auto control = [&](HWND& out) -> std::string {
    out = findControl(w, s.id);
    if (!out) return "no control " + std::to_string(s.id);
    if (!controls::userReachable(out)) return "control " + std::to_string(s.id) + " is disabled or hidden";
    return {};
  };
  HWND c = nullptr;
  std::string why;
  switch (s.action) {
    case ActionKind::Click:
    case ActionKind::Answer:
      if (!(why = control(c)).empty()) return why;
      return userClick(c) ? "" : "control " + std::to_string(s.id) + " refused the click";
    case ActionKind::Type:
      if (!(why = control(c)).empty()) return why;
      SetFocus(c);
      // What typing into a field replaces: its whole text, as focusing it by Tab selects it.
      if (SendMessageW(c, WM_GETDLGCODE, 0, 0) & kDlgcHasSetSel) SendMessageW(c, kEmSetSel, 0, -1);
      return userType(c, s.text) ? "" : "control " + std::to_string(s.id) + " refused the typing";
    case ActionKind::Check: {
      if (!(why = control(c)).empty()) return why;
      int state = s.value == BST_INDETERMINATE ? BST_INDETERMINATE : (s.value ? BST_CHECKED : BST_UNCHECKED);
      return userCheck(c, state) ? "" : "control " + std::to_string(s.id) + " did not take the check state";
    }
    case ActionKind::Select:
      if (!(why = control(c)).empty()) return why;
      return userSelect(c, s.value) ? "" : "control " + std::to_string(s.id) + " has no item " + std::to_string(s.value);
    case ActionKind::SelectTree: {
      if (!(why = control(c)).empty()) return why;
      auto items = readTreeItems(c);
      if (!items) return "control " + std::to_string(s.id) + " is not a tree view";
      const int found = findTreeItem(*items, s.text);
      if (found < 0) return "control " + std::to_string(s.id) + " has no item " + utf8(s.text);
      return userSelectTreeItem(c, (*items)[static_cast<std::size_t>(found)].handle)
                 ? ""
                 : "control " + std::to_string(s.id) + " did not let item " + utf8(s.text) + " be clicked";
    }
    case ActionKind::Toggle:
      if (!(why = control(c)).empty()) return why;
      return userToggleItemCheck(c, s.value) ? "" : "control " + std::to_string(s.id) + " has no check box at item " + std::to_string(s.value);
    case ActionKind::Menu:
      if (text::equalNoCase(classOf(w), kMenuClass)) return platform::menu::pickInWindow(w, static_cast<UINT>(s.id));
      if (!controls::userReachable(w)) return "the window is disabled or hidden";
      return platform::menu::pickFromMenuBar(w, static_cast<UINT>(s.id));
    case ActionKind::Enter: return postKey(w, VK_RETURN) ? "" : "the focused control is disabled or hidden";
    case ActionKind::Escape:
      if (text::equalNoCase(classOf(w), kMenuClass)) {
        platform::menu::dismissWindow(w);
        return "";
      }
      return postKey(w, VK_ESCAPE) ? "" : "the focused control is disabled or hidden";
    case ActionKind::Close:
      if (!controls::userReachable(w)) return "the window is disabled or hidden";
      PostMessageW(w, WM_SYSCOMMAND, SC_CLOSE, 0);
      return "";
    case ActionKind::Wait: return "";
  }
  return "";
}

// What became of the next step at an idle moment of `w`: run (and used up), held back by a wait,
// meant for another window, or there is none.
enum class Outcome { Ran, Held, NoMatch, NoSteps };

Outcome runNext(const std::shared_ptr<Script::State>& st, HWND w) {
  Step step;
  {
    std::lock_guard lock(st->mutex);
    if (st->holdUntilMs && platform::clock::monotonicMs() < st->holdUntilMs) return Outcome::Held;
    st->holdUntilMs = 0;
    if (st->next >= st->steps.size()) return Outcome::NoSteps;
    step = st->steps[st->next];
    if (step.action == ActionKind::Wait) {
      ++st->next;
      st->holdUntilMs = platform::clock::monotonicMs() + static_cast<std::uint64_t>(step.id);
      const DWORD thread = GetCurrentThreadId();
      st->wakeCall = platform::clock::schedule(st->holdUntilMs, [thread] { wake(thread); });
      return Outcome::Held;
    }
    if (!matches(step.matcher, w)) return Outcome::NoMatch;
    ++st->next;
  }
  std::string why = perform(step, w);
  if (!why.empty()) st->fail("refused (" + describeStep(step) + "): " + why + " in " + describeWindow(w));
  wake(GetCurrentThreadId());
  return Outcome::Ran;
}

}  // namespace

// ---- Script ----

Script::Script() : state_(std::make_shared<State>()) {
  std::lock_guard lock(g_activeMutex);
  g_active.push_back(state_);
}

Script::~Script() {
  {
    std::lock_guard lock(g_activeMutex);
    std::erase(g_active, state_);
  }
  // A wait still pending must not wake the thread once the script (and maybe its host) is gone.
  std::uint64_t call = 0;
  {
    std::lock_guard lock(state_->mutex);
    call = state_->wakeCall;
  }
  if (call) platform::clock::cancel(call);
}

Script& Script::dialog(int templateId) {
  std::lock_guard lock(state_->mutex);
  state_->current = Matcher{MatchKind::Dialog, templateId, {}, {}};
  return *this;
}

Script& Script::box(std::u16string_view textPattern) {
  std::lock_guard lock(state_->mutex);
  Matcher m;
  m.kind = MatchKind::Box;
  m.pattern = std::u16string(textPattern);
  try {
    m.regex = std::wregex(wide(textPattern), std::regex::ECMAScript);
  } catch (const std::regex_error&) {
    // A malformed pattern matches nothing; the test hears of it through failures().
    state_->failures.push_back("bad box pattern /" + utf8(textPattern) + "/");
    m.regex = std::wregex(L"(?!)");
  }
  state_->current = std::move(m);
  return *this;
}

Script& Script::window(std::u16string_view className) {
  std::lock_guard lock(state_->mutex);
  state_->current = Matcher{MatchKind::Window, 0, std::u16string(className), {}};
  return *this;
}

Script& Script::click(int controlId) { state_->add(ActionKind::Click, controlId); return *this; }
Script& Script::type(int controlId, std::u16string_view t) { state_->add(ActionKind::Type, controlId, 0, t); return *this; }
Script& Script::check(int controlId, int state) { state_->add(ActionKind::Check, controlId, state); return *this; }
Script& Script::select(int controlId, int index) { state_->add(ActionKind::Select, controlId, index); return *this; }
Script& Script::toggle(int controlId, int index) { state_->add(ActionKind::Toggle, controlId, index); return *this; }
Script& Script::selectTreeItem(int controlId, std::u16string_view path) {
  state_->add(ActionKind::SelectTree, controlId, 0, path);
  return *this;
}
Script& Script::menu(UINT commandId) { state_->add(ActionKind::Menu, static_cast<int>(commandId)); return *this; }
Script& Script::enter() { state_->add(ActionKind::Enter); return *this; }
Script& Script::escape() { state_->add(ActionKind::Escape); return *this; }
Script& Script::close() { state_->add(ActionKind::Close); return *this; }
Script& Script::answer(int buttonId) { state_->add(ActionKind::Answer, buttonId); return *this; }
Script& Script::wait(std::uint32_t ms) { state_->add(ActionKind::Wait, static_cast<int>(ms)); return *this; }

void Script::pump() {
  for (int guard = 0; guard < 10000; ++guard) {
    // Let what the last action caused happen first.
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        PostQuitMessage(static_cast<int>(msg.wParam));
        return;
      }
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    Step step;
    {
      std::lock_guard lock(state_->mutex);
      if (state_->next >= state_->steps.size()) return;
      step = state_->steps[state_->next];
    }
    if (step.action == ActionKind::Wait) {
      std::uint64_t until = platform::clock::monotonicMs() + static_cast<std::uint64_t>(step.id);
      {
        std::lock_guard lock(state_->mutex);
        ++state_->next;
      }
      // Messages keep flowing while the time passes (timers fire), as in a modal loop.
      while (platform::clock::monotonicMs() < until) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE,
                                  static_cast<DWORD>(until - platform::clock::monotonicMs()), QS_ALLINPUT);
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
          TranslateMessage(&msg);
          DispatchMessageW(&msg);
        }
      }
      continue;
    }
    // The thread's top-level windows a person could act on now.
    HWND target = nullptr;
    struct Search {
      const Step* step;
      HWND found;
    } search{&step, nullptr};
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND h, LPARAM p) -> BOOL {
          auto* s = reinterpret_cast<Search*>(p);
          if (IsWindowVisible(h) && IsWindowEnabled(h) && matches(s->step->matcher, h)) {
            s->found = h;
            return FALSE;
          }
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    target = search.found;
    if (!target) return;
    runNext(state_, target);
  }
}

bool Script::done() const {
  std::lock_guard lock(state_->mutex);
  return state_->next >= state_->steps.size();
}

std::vector<std::string> Script::remaining() const {
  std::lock_guard lock(state_->mutex);
  std::vector<std::string> out;
  for (std::size_t i = state_->next; i < state_->steps.size(); ++i) out.push_back(describeStep(state_->steps[i]));
  return out;
}

std::vector<std::string> Script::failures() const {
  std::lock_guard lock(state_->mutex);
  return state_->failures;
}

std::vector<BoxRecord> Script::boxes() const {
  std::lock_guard lock(state_->mutex);
  return state_->boxes;
}

// ---- Hooks ----

void modalIdle(HWND window) {
  std::shared_ptr<Script::State> st = active();
  if (!st || !IsWindow(window)) return;
  // Nothing the driver meets may escape into the product's modal loop.
  try {
    switch (runNext(st, window)) {
      case Outcome::Ran:
      case Outcome::Held: return;
      case Outcome::NoMatch:
      case Outcome::NoSteps: break;
    }
  } catch (const std::exception& e) {
    st->fail(std::string("the driver failed: ") + e.what());
  }
  std::string expected;
  {
    std::lock_guard lock(st->mutex);
    expected = st->next < st->steps.size() ? " (next step: " + describeStep(st->steps[st->next]) + ")" : "";
  }
  st->fail("unanswered " + describeWindow(window) + expected);
  endUnanswered(window);
  wake(GetCurrentThreadId());
}

void recordBox(const BoxRecord& box) {
  std::shared_ptr<Script::State> st = active();
  if (!st) return;
  std::lock_guard lock(st->mutex);
  st->boxes.push_back(box);
}

}  // namespace platform::ui

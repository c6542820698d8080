// Drives "Kipo.exe" through its tray menu, pull-down and dialogs with `kipo-host ui` and the
// window calls a person's actions come down to.
#include "tests/faults/kipo_session.h"

#include <signal.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>
#include <utility>

#include "platform/base/text.h"
#include "tests/support/test_host.h"

namespace faults {

namespace fs = std::filesystem;
using platform::text::toUtf8;

namespace {

constexpr char16_t kDialogClass[] = u"#32770";
constexpr char kSynchronizeCaption[] = "Kipo - Synchronizer";
constexpr char kProgressCaption[] = "Kipo - Progress";
constexpr char kMessageCaption[] = "Kipo - Message";
constexpr char kSearchComplete[] = "Kipo Meter - Search complete";
constexpr int kMeterControl = 1246;
constexpr int kProgressButton = 1030;
// The tray menu's commands.
constexpr int kLogInCommand = 341;
constexpr int kLogOutCommand = 338;
constexpr int kSynchronizeCommand = 344;
constexpr int kQuitCommand = 339;
constexpr char kPersonalizingLine[] = "Customizer View: Personalizing";
constexpr char16_t kLocalPrefsKey[] = u"Software\\Brackwater\\Kipo\\localPrefs";

double now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

void pause(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::size_t countOf(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

std::string windowText(HWND w) {
  WCHAR buf[2048] = {};
  GetWindowTextW(w, buf, 2048);
  return toUtf8(buf);
}

std::string controlText(HWND dialog, int id) {
  HWND control = GetDlgItem(dialog, id);
  return control ? windowText(control) : std::string();
}

// Every control's text of a dialog, for the run's log.
std::string dialogTexts(HWND dialog) {
  std::string all;
  EnumChildWindows(
      dialog,
      [](HWND child, LPARAM out) -> BOOL {
        std::string t = windowText(child);
        if (!t.empty()) {
          auto* s = reinterpret_cast<std::string*>(out);
          if (!s->empty()) *s += " | ";
          *s += t;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&all));
  return all;
}

std::string tool(const std::vector<std::string>& args) {
  std::string out;
  kipotest::runTool(args, &out);
  return out;
}

std::u16string readString(const char16_t* path, const char16_t* name) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return u"<missing>";
  WCHAR data[512] = {};
  DWORD type = 0, size = sizeof data - 2;
  LONG rc = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
  RegCloseKey(key);
  return rc == ERROR_SUCCESS ? std::u16string(data) : u"<missing>";
}

// The dialogs that are not answered: the pull-down login window (operated through its panel's
// links) and a notice that work goes on ("Please wait while Kipo logs you out..."), which closes
// by itself.
bool leftAlone(HWND w) {
  const std::string caption = windowText(w);
  return caption == "Kipo Login" || (caption == "Kipo" && dialogTexts(w).rfind("Please wait", 0) == 0);
}

}  // namespace

KipoSession::KipoSession(std::u16string productFolder, fs::path drive)
    : productFolder_(std::move(productFolder)), drive_(std::move(drive)) {}

KipoSession::~KipoSession() {
  if (process_) CloseHandle(process_);
}

std::string KipoSession::log() const {
  std::ifstream in(drive_ / "Kipo.html", std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

bool KipoSession::running() const { return process_ && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT; }

void KipoSession::kill() {
  if (!running()) return;
  ::kill(static_cast<pid_t>(pid_), SIGKILL);
  while (running()) pause(5);
}

void KipoSession::fail(const std::string& what) {
  std::string text = what;
  std::string l = log();
  for (std::size_t at; (at = l.find("<br>")) != std::string::npos;) l.replace(at, 4, "\n");
  if (l.size() > 3000) l = "..." + l.substr(l.size() - 3000);
  failure_ = text + "\n--- the log's end ---\n" + l;
}

bool KipoSession::trayTip(const std::string& part) const { return contains(tool({"ui", "tray"}), part); }

bool KipoSession::start() {
  if (process_) CloseHandle(process_);
  process_ = nullptr;
  std::u16string line = u"\"" + productFolder_ + u"Kipo.exe\" /handoff E:\\";
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, productFolder_.c_str(), &si, &pi)) {
    fail("cannot start Kipo.exe: error " + std::to_string(GetLastError()));
    return false;
  }
  if (pi.hThread) CloseHandle(pi.hThread);
  process_ = pi.hProcess;
  pid_ = pi.dwProcessId;
  // Start-up ends with the tray balloon telling the login state; a start-up synchronization may
  // come before it.
  return waitFor([&] { return trayTip("balloon=") && !FindWindowW(kDialogClass, u"Kipo - Progress"); }, 120,
                 "the end of the start-up") == Wait::Done;
}

bool KipoSession::pickTrayCommand(int command) {
  std::string err;
  for (int attempt = 0; attempt < 3; ++attempt) {
    if (!answerDialogs()) return false;
    tool({"ui", "tray", "click", "--icon", "0", "--right"});
    Wait w = waitFor([] { return contains(tool({"ui", "list"}), "class=#32768"); }, 10, "the tray menu");
    if (w == Wait::Unexpected || w == Wait::Ended) return false;
    if (w == Wait::Done) {
      if (kipotest::runTool({"ui", "menu", "--command", std::to_string(command)}, nullptr, &err) == 0) return true;
    }
  }
  fail("the tray menu's command " + std::to_string(command) + " could not be picked: " + err + "\n--- windows ---\n" +
       tool({"ui", "list"}));
  return false;
}

bool KipoSession::logIn() {
  if (!pickTrayCommand(kLogInCommand)) return false;
  std::string links;
  if (waitFor([&] {
        links = tool({"ui", "links", "--window", "Kipo Login", "--control", "1358"});
        return contains(links, "href=\"**ALPHA\"");
      }, 30, "the login panel's link of this computer") != Wait::Done)
    return false;
  // A click during the window's slide is not taken: a person clicks again when nothing happened.
  const std::size_t loginsBefore = countOf(log(), kPersonalizingLine);
  for (int attempt = 0;; ++attempt) {
    pause(1500);
    std::string err;
    if (kipotest::runTool({"ui", "follow", "--window", "Kipo Login", "--control", "1358", "--href", "**ALPHA"}, nullptr,
                          &err) != 0) {
      fail("following the login link: " + err);
      return false;
    }
    Wait w = waitFor([&] { return countOf(log(), kPersonalizingLine) > loginsBefore; }, 5, "the login to begin");
    if (w == Wait::Done) break;
    if (w != Wait::Timeout || attempt == 2) return false;
  }
  return waitFor([&] {
           return readString(kLocalPrefsKey, u"personalizing") == u"false" && trayTip("tip=\"Logged in");
         }, 120, "the end of the login") == Wait::Done;
}

bool KipoSession::synchronize() {
  return beginSynchronize() && waitUntil([&] { return runOver(); }, 300, "the end of the synchronization") && settle();
}

bool KipoSession::runOver() const {
  return runMessageAnswered_ && !FindWindowW(kDialogClass, u"Kipo - Synchronizer") &&
         !FindWindowW(kDialogClass, u"Kipo - Progress");
}

bool KipoSession::waitUntil(const std::function<bool()>& goal, double seconds, const std::string& what) {
  return waitFor(goal, seconds, what) == Wait::Done;
}

std::string KipoSession::plannedWork() {
  planOnly_ = true;
  planTaken_ = false;
  plan_.clear();
  bool ok = pickTrayCommand(kSynchronizeCommand) &&
            waitFor([&] { return planTaken_ && !FindWindowW(kDialogClass, u"Kipo - Synchronizer"); }, 300,
                    "the synchronize dialog's search") == Wait::Done;
  planOnly_ = false;
  return ok ? plan_ : std::string();
}

bool KipoSession::beginSynchronize() {
  syncConfirmed_ = progressClosed_ = runMessageAnswered_ = false;
  planOnly_ = false;
  return pickTrayCommand(kSynchronizeCommand);
}

bool KipoSession::settle() {
  double quietSince = now();
  return waitFor([&] {
           for (HWND w = FindWindowExW(nullptr, nullptr, kDialogClass, nullptr); w;
                w = FindWindowExW(nullptr, w, kDialogClass, nullptr))
             if (IsWindowVisible(w) && !leftAlone(w)) {
               quietSince = now();
               return false;
             }
           return now() - quietSince > 1.0;
         }, 120, "the end of the run's dialogs") == Wait::Done;
}

bool KipoSession::logOut() {
  if (!pickTrayCommand(kLogOutCommand)) return false;
  return waitFor([&] { return trayTip("tip=\"Double-click to synchronize") && !FindWindowW(kDialogClass, u"Kipo - Log Out"); },
                 300, "the end of the logout") == Wait::Done;
}

bool KipoSession::quit() {
  if (!pickTrayCommand(kQuitCommand)) return false;
  return waitEnd(120);
}

bool KipoSession::waitEnd(double seconds) {
  return waitFor([] { return false; }, seconds, "the program's end") == Wait::Ended;
}

KipoSession::Wait KipoSession::waitFor(const std::function<bool()>& goal, double seconds, const std::string& what) {
  const double until = now() + seconds;
  for (;;) {
    if (!answerDialogs()) return Wait::Unexpected;
    if (goal()) return Wait::Done;
    if (!running()) {
      fail("the program ended while waiting for " + what);
      return Wait::Ended;
    }
    if (now() > until) {
      std::string windows = tool({"ui", "list"});
      fail("no " + what + " within " + std::to_string(static_cast<int>(seconds)) + " s\n--- windows ---\n" + windows);
      return Wait::Timeout;
    }
    pause(20);
  }
}

bool KipoSession::answerDialogs() {
  for (HWND w = FindWindowExW(nullptr, nullptr, kDialogClass, nullptr); w;
       w = FindWindowExW(nullptr, w, kDialogClass, nullptr)) {
    if (!IsWindowVisible(w)) continue;
    auto acted = actedAt_.find(w);
    if (acted != actedAt_.end() && now() - acted->second < 3) continue;
    const std::string caption = windowText(w);
    if (!caption.empty()) blankSince_.erase(w);
    // The pull-down login window is a dialog too; it is operated through its panel's links.
    if (leftAlone(w)) continue;
    auto act = [&](int id, const std::string& action) {
      dialogs_.push_back({caption, dialogTexts(w), action});
      PostMessageW(w, WM_COMMAND, static_cast<WPARAM>(id), 0);
      actedAt_[w] = now();
    };
    if (caption == kSynchronizeCaption) {
      if (controlText(w, kMeterControl) != kSearchComplete) continue;
      if (upToDate_) {
        // The drive was up to date: a person closes the dialog.
        act(IDCANCEL, "Close (nothing to do)");
        upToDate_ = false;
      } else if (planOnly_) {
        plan_ = tool({"ui", "list", "--window", kSynchronizeCaption});
        planTaken_ = true;
        act(IDCANCEL, "cancel (plan taken)");
      } else {
        act(IDOK, "OK");
        syncConfirmed_ = true;
      }
    } else if (caption == kProgressCaption) {
      if (controlText(w, kProgressButton) != "&Close") continue;
      act(kProgressButton, "Close");
      progressClosed_ = true;
    } else if (caption == kMessageCaption || (caption == "Kipo" && GetDlgItem(w, 0xFFFF))) {
      // The program's messages, and its plain message boxes (captioned with its name alone).
      // A question takes its affirmative answer; a plain box its OK.
      int id = GetDlgItem(w, IDOK) ? IDOK : GetDlgItem(w, IDYES) ? IDYES : IDCANCEL;
      act(id, id == IDOK ? "OK" : id == IDYES ? "Yes" : "Cancel");
      // The message after a run's progress, or in place of it when there was nothing to do.
      if (syncConfirmed_) runMessageAnswered_ = true;
      if (dialogTexts(w).find("is up to date") != std::string::npos) upToDate_ = true;
    } else if (caption == "Kipo - Name the Computer" || caption == "Kipo - Log Out" ||
               caption == "Kipo - Close Programs") {
      if (GetDlgItem(w, IDYES)) act(IDYES, "Yes");
      else act(IDOK, "OK");
    } else if (caption.empty() && dialogTexts(w).empty() && now() - blankSince_.emplace(w, now()).first->second < 10) {
      // A dialog can be seen between its showing and its first text (being made, or going):
      // it is judged once it has had time to say what it is.
      continue;
    } else {
      dialogs_.push_back({caption, dialogTexts(w), "none: unexpected"});
      fail("an unexpected dialog \"" + caption + "\": " + dialogTexts(w));
      return false;
    }
  }
  return true;
}

}  // namespace faults

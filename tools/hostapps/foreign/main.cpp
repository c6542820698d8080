// The host's stand-in for the foreign programs the product closes and starts (the browser, the
// word processor, the spreadsheet, the presentation program and the mail client): one program
// installed under each of their image names. Its main window's class and title come from the
// image name unless the command line says otherwise, and so does what it does with WM_CLOSE:
//
//   --class NAME          main window class
//   --title TEXT          main window title
//   --close MODE          now (default) | never | delay:MS | confirm
//   --confirm-title TEXT  title of the confirmation box (default: the program's name)
//   --confirm-text TEXT   its question
//   --yes-text TEXT       text of its Yes button (default "&Yes"); --no-text likewise ("&No")
//   --veto                answer FALSE to WM_QUERYENDSESSION
//   --exit-code N         the code the program ends with
//   --hidden              keep the main window hidden
//   --visit URL           (the browser) visit the page and end at once, without a window
//   --log FILE            append one line per event ("<tag> start", "<tag> close", ...) to a
//                         Windows file; --tag TEXT names the program in it (default: image name)
//
// Run as OUTLOOK.EXE it is also the host's mail client (mail.h): it logs on to MAPI at start,
// sends on `kipo-host outlook send`, reports new Inbox items in its log, and logs off on WM_CLOSE
// before anything else (so before its confirmation box).
//
// The confirmation box is the program's modal dialog (class "#32770", owned by the main window)
// with a "Static" question and "Button" controls "&Yes" (IDYES), "&No" (IDNO) and "Cancel"
// (IDCANCEL): Yes or No (a click, or BM_CLICK from any process) ends the program, Cancel keeps it.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/base/text.h"
#include "platform/host/host.h"
#include "platform/win32/controls/commctrl.h"
#include "platform/win32/dialog.h"
#include "platform/win32/error.h"
#include "platform/win32/file.h"
#include "platform/win32/message.h"
#include "platform/win32/module.h"
#include "platform/win32/process.h"
#include "platform/win32/window.h"
#include "tools/hostapps/foreign/mail.h"
#include "tools/hostapps/foreign/visit.h"

namespace {

namespace text = platform::text;

constexpr UINT_PTR kCloseTimer = 1;
constexpr UINT_PTR kInboxTimer = 2;
constexpr UINT kInboxPollMs = 200;

struct Defaults {
  const char16_t* image;
  const char16_t* windowClass;
  const char16_t* title;
  const char16_t* name;  // the program's name, title of its confirmation box
};

// Main window class and title of each program as the product looks for them.
const Defaults kDefaults[] = {
    {u"IEXPLORE.EXE", u"IEFrame", u"about:blank - Microsoft Internet Explorer", u"Microsoft Internet Explorer"},
    {u"WINWORD.EXE", u"OpusApp", u"Document1 - Microsoft Word", u"Microsoft Office Word"},
    {u"EXCEL.EXE", u"XLMAIN", u"Microsoft Excel - Book1", u"Microsoft Office Excel"},
    {u"POWERPNT.EXE", u"PP11FrameClass", u"Microsoft PowerPoint - [Presentation1]", u"Microsoft Office PowerPoint"},
    {u"OUTLOOK.EXE", u"rctrl_renwnd32", u"Microsoft Outlook", u"Microsoft Office Outlook"},
};

enum class CloseMode { Now, Never, Delay, Confirm };

struct Settings {
  std::u16string image;
  std::u16string windowClass = u"KipoForeignFrame";
  std::u16string title = u"Foreign program";
  std::u16string confirmTitle = u"Foreign program";
  std::u16string confirmText = u"Do you want to save the changes to Document1?";
  std::u16string yesText = u"&Yes";
  std::u16string noText = u"&No";
  std::u16string tag;
  std::u16string log;
  CloseMode close = CloseMode::Now;
  UINT delayMs = 0;
  bool veto = false;
  bool hidden = false;
  bool mail = false;  // the program is Outlook
  DWORD exitCode = 0;
};

Settings g;

void logEvent(std::u16string_view event) {
  if (g.log.empty()) return;
  HANDLE h = CreateFileW(g.log.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return;
  SetFilePointer(h, 0, nullptr, FILE_END);
  std::string line = text::toUtf8(g.tag + u" " + std::u16string(event)) + "\r\n";
  DWORD written = 0;
  WriteFile(h, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  CloseHandle(h);
}

std::u16string imageName() {
  WCHAR path[MAX_PATH];
  DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::u16string p(path, n < MAX_PATH ? n : 0);
  return p.substr(p.find_last_of(u"\\/") + 1);
}

// Returns false with a message for a command line it cannot follow.
bool parseSettings() {
  g.image = imageName();
  for (const auto& d : kDefaults)
    if (text::equalNoCase(g.image, d.image)) g.windowClass = d.windowClass, g.title = d.title, g.confirmTitle = d.name;
  g.tag = g.image;
  const std::vector<std::u16string>& args = platform::process::wideArgs();
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::u16string& a = args[i];
    auto value = [&]() -> const std::u16string* { return i + 1 < args.size() ? &args[++i] : nullptr; };
    const std::u16string* v = nullptr;
    if (a == u"--hidden") {
      g.hidden = true;
    } else if (a == u"--veto") {
      g.veto = true;
    } else if (a == u"--class" && (v = value())) {
      g.windowClass = *v;
    } else if (a == u"--title" && (v = value())) {
      g.title = *v;
    } else if (a == u"--confirm-title" && (v = value())) {
      g.confirmTitle = *v;
    } else if (a == u"--confirm-text" && (v = value())) {
      g.confirmText = *v;
    } else if (a == u"--yes-text" && (v = value())) {
      g.yesText = *v;
    } else if (a == u"--no-text" && (v = value())) {
      g.noText = *v;
    } else if (a == u"--tag" && (v = value())) {
      g.tag = *v;
    } else if (a == u"--log" && (v = value())) {
      g.log = *v;
    } else if (a == u"--exit-code" && (v = value())) {
      g.exitCode = static_cast<DWORD>(std::strtoul(text::toUtf8(*v).c_str(), nullptr, 0));
    } else if (a == u"--close" && (v = value())) {
      if (*v == u"now") {
        g.close = CloseMode::Now;
      } else if (*v == u"never") {
        g.close = CloseMode::Never;
      } else if (*v == u"confirm") {
        g.close = CloseMode::Confirm;
      } else if (v->rfind(u"delay:", 0) == 0) {
        g.close = CloseMode::Delay;
        g.delayMs = static_cast<UINT>(std::strtoul(text::toUtf8(v->substr(6)).c_str(), nullptr, 10));
      } else {
        std::fprintf(stderr, "unknown close mode %s\n", text::toUtf8(*v).c_str());
        return false;
      }
    } else {
      std::fprintf(stderr, "unknown or incomplete option %s\n", text::toUtf8(a).c_str());
      return false;
    }
  }
  return true;
}

// ---- the confirmation box ----

// Appends a DWORD to a template in 16-bit units, low half first (templates are little-endian).
void putDword(std::vector<WORD>& t, DWORD v) {
  t.push_back(static_cast<WORD>(v & 0xFFFF));
  t.push_back(static_cast<WORD>(v >> 16));
}

void putText(std::vector<WORD>& t, const std::u16string& s) {
  for (char16_t c : s) t.push_back(static_cast<WORD>(c));
  t.push_back(0);
}

// One control of the box: class by its ordinal (0x80 Button, 0x82 Static), in dialog units.
void putItem(std::vector<WORD>& t, DWORD style, short x, short y, short cx, short cy, int id, WORD ordinal,
             const std::u16string& caption) {
  if (t.size() % 2) t.push_back(0);  // items start on a DWORD boundary
  putDword(t, WS_CHILD | WS_VISIBLE | style);
  putDword(t, 0);
  for (short v : {x, y, cx, cy}) t.push_back(static_cast<WORD>(v));
  t.push_back(static_cast<WORD>(id));
  t.push_back(0xFFFF);
  t.push_back(ordinal);
  putText(t, caption);
  t.push_back(0);  // no creation data
}

// The box as a dialog template in memory: the question, then Yes (the default), No and Cancel.
std::vector<WORD> confirmationTemplate() {
  std::vector<WORD> t;
  putDword(t, WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_CENTER);
  putDword(t, 0);
  t.push_back(4);  // controls
  for (short v : {0, 0, 220, 62}) t.push_back(static_cast<WORD>(v));
  t.push_back(0);  // no menu
  t.push_back(0);  // the dialog class
  putText(t, g.confirmTitle);
  putItem(t, 0, 10, 8, 200, 20, IDC_STATIC, 0x0082, g.confirmText);
  putItem(t, BS_DEFPUSHBUTTON | WS_TABSTOP, 12, 38, 60, 14, IDYES, 0x0080, g.yesText);
  putItem(t, BS_PUSHBUTTON | WS_TABSTOP, 80, 38, 60, 14, IDNO, 0x0080, g.noText);
  putItem(t, BS_PUSHBUTTON | WS_TABSTOP, 148, 38, 60, 14, IDCANCEL, 0x0080, u"Cancel");
  return t;
}

INT_PTR CALLBACK confirmProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM) {
  switch (msg) {
    case WM_INITDIALOG:
      logEvent(u"confirm shown");
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDYES || LOWORD(wParam) == IDNO || LOWORD(wParam) == IDCANCEL) {
        EndDialog(dialog, LOWORD(wParam));
        return TRUE;
      }
      break;
  }
  return FALSE;
}

// Asks, as the program's own modal box inside its WM_CLOSE; true when the answer lets it end
// (Yes saves, No discards; Cancel or closing the box keeps it running).
bool confirmClose(HWND owner) {
  static bool asking = false;
  if (asking) return false;  // a second WM_CLOSE while the box is up changes nothing
  asking = true;
  std::vector<WORD> tmpl = confirmationTemplate();
  INT_PTR answer = DialogBoxIndirectParamW(nullptr, reinterpret_cast<LPCDLGTEMPLATEW>(tmpl.data()), owner,
                                           confirmProc, 0);
  asking = false;
  logEvent(answer == IDYES ? u"confirm yes" : answer == IDNO ? u"confirm no" : u"confirm cancel");
  return answer == IDYES || answer == IDNO;
}

LRESULT CALLBACK mainProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_CLOSE:
      if (g.mail) {
        KillTimer(hwnd, kInboxTimer);
        hostapps::stopMail();
      }
      logEvent(u"close");
      switch (g.close) {
        case CloseMode::Now:
          DestroyWindow(hwnd);
          break;
        case CloseMode::Never:
          break;
        case CloseMode::Delay:
          SetTimer(hwnd, kCloseTimer, g.delayMs, nullptr);
          break;
        case CloseMode::Confirm:
          if (confirmClose(hwnd)) DestroyWindow(hwnd);
          break;
      }
      return 0;
    case WM_COPYDATA: {
      const auto* request = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
      if (!g.mail || !request || request->dwData != hostapps::kSendMailRequest) return 0;
      return hostapps::sendMailRequest(request->lpData, request->cbData);
    }
    case WM_TIMER:
      if (wParam == kInboxTimer) {
        hostapps::checkInbox();
        return 0;
      }
      if (wParam == kCloseTimer) {
        KillTimer(hwnd, kCloseTimer);
        DestroyWindow(hwnd);
      }
      return 0;
    case WM_QUERYENDSESSION:
      logEvent(g.veto ? u"queryendsession veto" : u"queryendsession ok");
      return g.veto ? FALSE : TRUE;
    case WM_ENDSESSION:
      logEvent(wParam ? u"endsession" : u"endsession cancelled");
      return 0;
    case WM_DESTROY:
      if (g.mail) hostapps::stopMail();
      PostQuitMessage(static_cast<int>(g.exitCode));
      return 0;
  }
  return DefWindowProcW(hwnd, msg, wParam, lParam);
}

}  // namespace

int main() {
  // The host first: a program of the host refuses to run without one, before anything else.
  platform::host::Host::current();
  const std::vector<std::u16string>& args = platform::process::wideArgs();
  if (args.size() == 3 && args[1] == u"--visit") {
    if (!text::equalNoCase(imageName(), u"IEXPLORE.EXE")) ExitProcess(ERROR_NOT_SUPPORTED);
    ExitProcess(static_cast<UINT>(visitPage(args[2])));
  }
  if (!parseSettings()) ExitProcess(ERROR_INVALID_PARAMETER);
  // The box's buttons and text are the system's controls.
  InitCommonControls();
  WNDCLASSW wc{};
  wc.lpfnWndProc = mainProc;
  wc.lpszClassName = g.windowClass.c_str();
  if (!RegisterClassW(&wc)) ExitProcess(1);
  HWND main = CreateWindowExW(0, g.windowClass.c_str(), g.title.c_str(), WS_OVERLAPPEDWINDOW | (g.hidden ? 0 : WS_VISIBLE),
                              0, 0, 800, 600, nullptr, nullptr, nullptr, nullptr);
  if (!main) ExitProcess(1);
  logEvent(u"start");
  if (text::equalNoCase(g.image, u"OUTLOOK.EXE")) {
    g.mail = true;
    hostapps::startMail(main, logEvent);
    SetTimer(main, kInboxTimer, kInboxPollMs, nullptr);
  }
  MSG m;
  while (GetMessageW(&m, nullptr, 0, 0) > 0) {
    TranslateMessage(&m);
    DispatchMessageW(&m);
  }
  logEvent(u"exit");
  ExitProcess(g.exitCode);
}

// The host's "explorer.exe": the shell process that owns the taskbar window "Shell_TrayWnd" and
// the desktop windows ("Progman" > "SHELLDLL_DefView" > "SysListView32"), pumps their messages,
// takes a fresh environment from the registry when told WM_SETTINGCHANGE "Environment" (as
// programs it starts afterwards see it), and ends with the session (WM_ENDSESSION after a
// WM_QUERYENDSESSION) or on WM_CLOSE to its taskbar window.
//
// It also starts command lines for others (shell_protocol.h): the start-up entries run that way.
//
// The desktop's list view holds the desktop icons (desktop.h), re-read on the "Refresh" command
// (WM_COMMAND 28931 to any of the desktop windows), when a program tells the shell of a change
// on the desktop, and when the Desktop folders change. Once its windows stand, Explorer
// broadcasts "TaskbarCreated", so programs put their tray icons back as after a restart.
//
// The taskbar keeps a button per window that has one (taskbar.h), looking at the host's windows
// a few times a second.
//
// A second explorer.exe started while the shell runs does not make a second desktop: it opens
// the folder named on its command line, if any, and ends.
#include <memory>
#include <string>
#include <vector>

#include "platform/base/text.h"
#include "platform/host/environment.h"
#include "platform/host/host.h"
#include "platform/host/process_table.h"
#include "platform/win32/controls/commctrl.h"
#include "platform/win32/message.h"
#include "platform/win32/process.h"
#include "platform/win32/shell.h"
#include "platform/win32/shell_execute.h"
#include "platform/win32/window.h"
#include "tools/hostapps/explorer/desktop.h"
#include "tools/hostapps/explorer/shell_protocol.h"
#include "tools/hostapps/explorer/taskbar.h"

namespace {

constexpr char16_t kTrayClass[] = u"Shell_TrayWnd";
constexpr char16_t kDesktopClass[] = u"Progman";
constexpr char16_t kDesktopTitle[] = u"Program Manager";
constexpr char16_t kViewClass[] = u"SHELLDLL_DefView";
constexpr char16_t kListClass[] = u"SysListView32";
constexpr char16_t kListTitle[] = u"FolderView";
constexpr char16_t kEnvironment[] = u"Environment";
constexpr char16_t kTaskbarCreated[] = u"TaskbarCreated";
constexpr WORD kRefreshCommand = 28931;
constexpr UINT_PTR kShellChangesTimer = 1;
constexpr UINT kShellChangesEveryMs = 200;
constexpr UINT_PTR kTaskbarTimer = 2;
constexpr UINT kTaskbarEveryMs = 250;

HWND g_tray = nullptr;
std::unique_ptr<hostapps::explorer::Desktop> g_desktop;
std::unique_ptr<hostapps::explorer::Taskbar> g_taskbar;

bool isEnvironmentChange(UINT msg, LPARAM lParam) {
  if (msg != WM_SETTINGCHANGE || !lParam) return false;
  return platform::text::equalNoCase(platform::text::view(reinterpret_cast<const char16_t*>(lParam)), kEnvironment);
}

// Starts a command line sent by hostapps::shell::kRunCommandLine; returns the process id or 0.
LRESULT runCommandLine(const COPYDATASTRUCT* data) {
  if (!data || data->dwData != hostapps::shell::kRunCommandLine || !data->lpData) return 0;
  std::u16string line(static_cast<const char16_t*>(data->lpData), data->cbData / sizeof(char16_t));
  while (!line.empty() && line.back() == 0) line.pop_back();
  if (line.empty()) return 0;
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return 0;
  CloseHandle(pi.hProcess);
  if (pi.hThread) CloseHandle(pi.hThread);
  return static_cast<LRESULT>(pi.dwProcessId);
}

// Every window of the shell shares this procedure: the session and the environment concern the
// process, whichever of its windows is told.
LRESULT CALLBACK shellProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (isEnvironmentChange(msg, lParam)) {
    platform::host::regenerateEnvironment();
    return 0;
  }
  switch (msg) {
    case WM_COPYDATA:
      return runCommandLine(reinterpret_cast<const COPYDATASTRUCT*>(lParam));
    case WM_QUERYENDSESSION:
      return TRUE;
    case WM_ENDSESSION:
      if (wParam) PostQuitMessage(0);
      return 0;
    case WM_CLOSE:
      if (hwnd == g_tray) PostQuitMessage(0);
      return 0;
    case WM_COMMAND:
      if (lParam) {
        if (g_taskbar && hwnd == g_taskbar->band() && HIWORD(wParam) == BN_CLICKED)
          g_taskbar->pressed(reinterpret_cast<HWND>(lParam));
      } else if (LOWORD(wParam) == kRefreshCommand && g_desktop) {
        g_desktop->refresh();
      }
      return 0;
    case WM_TIMER:
      if (wParam == kShellChangesTimer && g_desktop) g_desktop->checkShellChanges();
      if (wParam == kTaskbarTimer && g_taskbar) g_taskbar->update();
      return 0;
  }
  return DefWindowProcW(hwnd, msg, wParam, lParam);
}

bool registerClass(const char16_t* name) {
  WNDCLASSW wc{};
  wc.lpfnWndProc = shellProc;
  wc.lpszClassName = name;
  return RegisterClassW(&wc) != 0;
}

// The taskbar lies along the edge the host's facts name, as the shell reports it.
RECT taskbarRect(UINT* edge = nullptr) {
  APPBARDATA abd{};
  abd.cbSize = sizeof abd;
  SHAppBarMessage(ABM_GETTASKBARPOS, &abd);
  if (edge) *edge = abd.uEdge;
  return abd.rc;
}

// The screen less the taskbar: where desktop icons go.
RECT workArea(RECT screen, RECT bar, UINT edge) {
  switch (edge) {
    case ABE_LEFT: screen.left = bar.right; break;
    case ABE_TOP: screen.top = bar.bottom; break;
    case ABE_RIGHT: screen.right = bar.left; break;
    default: screen.bottom = bar.top; break;
  }
  return screen;
}

// Pumps messages and watches the Desktop folders until WM_QUIT; its exit code.
int run() {
  for (;;) {
    const std::vector<HANDLE> watches = g_desktop->watches();
    const auto n = static_cast<DWORD>(watches.size());
    DWORD r = MsgWaitForMultipleObjects(n, watches.data(), FALSE, INFINITE, QS_ALLINPUT);
    if (r < WAIT_OBJECT_0 + n) {
      g_desktop->changed(watches[r - WAIT_OBJECT_0]);
      continue;
    }
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
      if (m.message == WM_QUIT) return static_cast<int>(m.wParam);
      TranslateMessage(&m);
      DispatchMessageW(&m);
    }
  }
}

}  // namespace

int main() {
  // The host first: a program of the host refuses to run without one, before anything else.
  platform::host::Host::current();
  // In the process table from the start, so other programs can open it (memory they allocate in
  // it for the desktop's list view).
  platform::host::registerCurrentProcess();
  if (FindWindowW(kTrayClass, nullptr)) {
    const std::vector<std::u16string>& args = platform::process::wideArgs();
    if (args.size() > 1)
      ShellExecuteW(nullptr, u"open", args[1].c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    ExitProcess(0);
  }
  InitCommonControls();
  for (const char16_t* cls : {kTrayClass, kDesktopClass, kViewClass, hostapps::explorer::Taskbar::kBandClass})
    if (!registerClass(cls)) ExitProcess(1);

  UINT edge = ABE_BOTTOM;
  RECT bar = taskbarRect(&edge);
  g_tray = CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_TOPMOST, kTrayClass, u"", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN,
                           bar.left, bar.top, bar.right - bar.left, bar.bottom - bar.top, nullptr, nullptr, nullptr,
                           nullptr);
  platform::host::Host& host = platform::host::Host::current();
  RECT screen{0, 0, static_cast<LONG>(host.factNumber(platform::host::fact::ScreenWidth, 1024)),
              static_cast<LONG>(host.factNumber(platform::host::fact::ScreenHeight, 768))};
  HWND desktop = CreateWindowExW(WS_EX_TOOLWINDOW, kDesktopClass, kDesktopTitle,
                                 WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, 0, 0, screen.right,
                                 screen.bottom, nullptr, nullptr, nullptr, nullptr);
  HWND view = desktop ? CreateWindowExW(0, kViewClass, u"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0,
                                        screen.right, screen.bottom, desktop, nullptr, nullptr, nullptr)
                      : nullptr;
  HWND list = view ? CreateWindowExW(0, kListClass, kListTitle, WS_CHILD | WS_VISIBLE | LVS_ICON | LVS_ALIGNLEFT, 0,
                                     0, screen.right, screen.bottom, view,
                                     reinterpret_cast<HMENU>(static_cast<UINT_PTR>(1)), nullptr, nullptr)
                   : nullptr;
  if (!g_tray || !list) ExitProcess(1);
  g_desktop = std::make_unique<hostapps::explorer::Desktop>(list, workArea(screen, bar, edge));
  g_desktop->refresh();
  SetTimer(desktop, kShellChangesTimer, kShellChangesEveryMs, nullptr);
  g_taskbar = std::make_unique<hostapps::explorer::Taskbar>(g_tray);
  g_taskbar->update();
  SetTimer(g_tray, kTaskbarTimer, kTaskbarEveryMs, nullptr);
  SendNotifyMessageW(HWND_BROADCAST, RegisterWindowMessageW(kTaskbarCreated), 0, 0);

  const int code = run();
  g_desktop.reset();
  g_taskbar.reset();
  DestroyWindow(desktop);
  DestroyWindow(g_tray);
  ExitProcess(static_cast<UINT>(code));
}

// kipo-host shutdown and suspend: the end of a session (every top-level window asked while its
// thread may go on pumping messages, a refusal, a hung thread or no answer in time stopping it,
// then every window told and given time to finish, then the processes ended) and a suspend with
// its resume, sent as Windows sends them.
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/base/clock.h"
#include "platform/base/text.h"
#include "platform/host/process_table.h"
#include "platform/host/window_mirror.h"
#include "platform/host/window_table.h"
#include "platform/win32/error.h"
#include "platform/win32/message.h"
#include "platform/win32/process.h"
#include "platform/win32/window.h"
#include "tools/kipo-host/command.h"
#include "tools/kipo-host/host_control.h"

namespace kipohost {
namespace {

namespace text = platform::text;
namespace clk = platform::clock;

// A thread that has not looked at its queue for this long is hung (Windows' hung-app timeout).
constexpr std::uint32_t kHungMs = 5000;
// How long a window may take over WM_ENDSESSION before its process is ended anyway (XP's
// wait-to-kill timeout), and over a power event.
constexpr std::uint32_t kKillMs = 20000;
constexpr std::uint32_t kPowerMs = 20000;
// A cancelled session or a refused suspend is told to those who agreed; hung ones are skipped.
constexpr std::uint32_t kNoticeMs = 5000;
constexpr std::uint64_t kNoDeadline = ~std::uint64_t{0};

std::string describe(HWND w) {
  DWORD pid = 0;
  GetWindowThreadProcessId(w, &pid);
  WCHAR cls[256] = {}, title[256] = {};
  GetClassNameW(w, cls, 256);
  GetWindowTextW(w, title, 256);
  std::string image;
  if (auto row = platform::host::findLivingProcess(pid)) image = text::toUtf8(row->imageName);
  char handle[16];
  std::snprintf(handle, sizeof handle, "0x%08lX", static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(w)));
  return image + " (pid " + std::to_string(pid) + "), window " + handle + " \"" + text::toUtf8(cls) + "\" \"" +
         text::toUtf8(title) + "\"";
}

std::uint32_t msUntil(std::uint64_t deadline) {
  if (deadline == kNoDeadline) return clk::kInfinite - 1;
  const std::uint64_t now = clk::monotonicMs();
  if (now >= deadline) return 0;
  return static_cast<std::uint32_t>(std::min<std::uint64_t>(deadline - now, clk::kInfinite - 1));
}

struct Answer {
  enum Kind { Replied, Gone, Hung, OutOfTime } kind;
  LRESULT result = 0;
};

// Set when a send is left waiting on a window that never answered: the tool then ends without
// unwinding, as that thread cannot be called back.
bool g_abandonedSend = false;

// Sends `msg` and waits for the answer for as long as the window's thread keeps pumping messages
// (a handler may run a loop of its own for minutes); a thread that does not look at its queue
// for the hung-app timeout is hung. The send runs on a thread of its own while this one checks,
// with WM_NULL, that the window's thread still pumps.
Answer askWhilePumping(HWND w, UINT msg, WPARAM wParam, LPARAM lParam, std::uint64_t deadline) {
  struct State {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    BOOL ok = FALSE;
    DWORD error = 0;
    DWORD_PTR result = 0;
  };
  auto state = std::make_shared<State>();
  const std::uint32_t limit = msUntil(deadline);
  std::thread sender([state, w, msg, wParam, lParam, limit] {
    DWORD_PTR result = 0;
    const BOOL ok = SendMessageTimeoutW(w, msg, wParam, lParam, SMTO_NORMAL, limit, &result);
    const DWORD error = ok ? 0 : GetLastError();
    std::lock_guard lock(state->mutex);
    state->finished = true;
    state->ok = ok;
    state->error = error;
    state->result = result;
    state->done.notify_all();
  });

  // Called with the state locked and the send finished: the thread ends at once.
  auto finishedAnswer = [&]() -> Answer {
    sender.join();
    if (state->ok) return {Answer::Replied, static_cast<LRESULT>(state->result)};
    if (state->error == ERROR_TIMEOUT) return {Answer::OutOfTime};
    return {Answer::Gone};
  };
  for (;;) {
    {
      std::unique_lock lock(state->mutex);
      if (state->done.wait_for(lock, std::chrono::milliseconds(50), [&] { return state->finished; }))
        return finishedAnswer();
    }
    const std::uint32_t left = msUntil(deadline);
    if (left == 0) {
      std::lock_guard lock(state->mutex);
      if (state->finished) return finishedAnswer();
      g_abandonedSend = true;
      sender.detach();
      return {Answer::OutOfTime};
    }
    const std::uint32_t probe = std::min(kHungMs, left);
    DWORD_PTR ignored = 0;
    if (SendMessageTimeoutW(w, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, probe, &ignored)) continue;
    const DWORD error = GetLastError();
    std::lock_guard lock(state->mutex);
    if (state->finished) return finishedAnswer();
    if (error != ERROR_TIMEOUT) continue;  // the window went away: its send ends too
    g_abandonedSend = true;
    sender.detach();
    return {probe == kHungMs ? Answer::Hung : Answer::OutOfTime};
  }
}

int finish(int code) {
  if (g_abandonedSend) endAsHostProcess(code);
  return code;
}

void tellCancelled(const std::vector<HWND>& agreed) {
  for (HWND a : agreed) SendMessageTimeoutW(a, WM_ENDSESSION, FALSE, 0, SMTO_ABORTIFHUNG, kNoticeMs, nullptr);
}

int shutdown(const std::vector<std::string>& args) {
  std::uint64_t deadline = kNoDeadline;
  if (!args.empty()) {
    std::uint64_t seconds = 0;
    if (args.size() != 2 || args[0] != "--timeout" || !parseUnsigned(args[1], 4000000, seconds))
      return usageError("shutdown [--timeout SECONDS]");
    deadline = clk::monotonicMs() + seconds * 1000;
  }
  std::vector<HWND> agreed;
  for (HWND w : topLevelWindows()) {
    const Answer a = askWhilePumping(w, WM_QUERYENDSESSION, 0, 0, deadline);
    if (a.kind == Answer::Gone) continue;
    if (a.kind == Answer::Replied && a.result) {
      agreed.push_back(w);
      continue;
    }
    if (a.kind == Answer::Replied)
      std::printf("shutdown cancelled by %s\n", describe(w).c_str());
    else if (a.kind == Answer::Hung)
      std::printf("shutdown cancelled: %s is not responding (it has not looked at its messages for %u s)\n",
                  describe(w).c_str(), kHungMs / 1000);
    else
      std::printf("shutdown cancelled: %s did not answer within the time limit\n", describe(w).c_str());
    std::fflush(stdout);
    // Those that agreed learn that the session goes on.
    tellCancelled(agreed);
    return finish(1);
  }
  // Each window gets until the wait-to-kill timeout to finish its work (saving its files).
  for (HWND w : agreed) {
    const std::uint32_t limit = std::min(kKillMs, msUntil(deadline));
    if (!SendMessageTimeoutW(w, WM_ENDSESSION, TRUE, 0, SMTO_NORMAL, limit, nullptr) && GetLastError() == ERROR_TIMEOUT) {
      std::printf("%s did not finish ending its session in time; its process is ended\n", describe(w).c_str());
      std::fflush(stdout);
    }
  }
  std::vector<std::pair<DWORD, std::uint64_t>> owners;
  for (const auto& row : platform::host::foreignChildren(platform::host::kDesktopHandle))
    owners.emplace_back(row.pid, row.start);
  const int ended = killHostProcesses(owners);
  std::printf("session ended: %d processes ended\n", ended);
  return finish(0);
}

void sendPower(const std::vector<HWND>& windows, WPARAM event) {
  for (HWND w : windows) SendMessageTimeoutW(w, WM_POWERBROADCAST, event, 0, SMTO_ABORTIFHUNG, kPowerMs, nullptr);
}

int suspend(const std::vector<std::string>& args) {
  if (!args.empty()) return usageError("suspend takes no arguments");
  const std::vector<HWND> windows = topLevelWindows();
  std::vector<HWND> asked;
  for (HWND w : windows) {
    DWORD_PTR answer = TRUE;
    // Bit 0 of lParam: the program may ask the user. A hung window does not hold the machine up.
    if (!SendMessageTimeoutW(w, WM_POWERBROADCAST, PBT_APMQUERYSUSPEND, 1, SMTO_ABORTIFHUNG, kPowerMs, &answer)) {
      if (GetLastError() == ERROR_TIMEOUT) std::printf("no answer from %s; not a refusal\n", describe(w).c_str());
      continue;
    }
    if (answer == static_cast<DWORD_PTR>(BROADCAST_QUERY_DENY)) {
      std::printf("suspend refused by %s\n", describe(w).c_str());
      std::fflush(stdout);
      sendPower(asked, PBT_APMQUERYSUSPENDFAILED);
      return 1;
    }
    asked.push_back(w);
  }
  sendPower(windows, PBT_APMSUSPEND);
  std::printf("suspended\n");
  std::fflush(stdout);
  // The wake-up: automatic first, then the user's, as after a key press.
  const std::vector<HWND> awake = topLevelWindows();
  sendPower(awake, PBT_APMRESUMEAUTOMATIC);
  sendPower(awake, PBT_APMRESUMESUSPEND);
  std::printf("resumed\n");
  return 0;
}

RegisterCommand shutdownCommand({"shutdown",
                                 "shutdown [--timeout S]          end the session: WM_QUERYENDSESSION to every window (a refusal, a hung\n"
                                 "                                window or no answer within S seconds stops it), WM_ENDSESSION, end processes",
                                 true, shutdown});
RegisterCommand suspendCommand({"suspend",
                                "suspend                         ask every window to allow a suspend (a denial stops it), suspend, resume",
                                true, suspend});

}  // namespace
}  // namespace kipohost

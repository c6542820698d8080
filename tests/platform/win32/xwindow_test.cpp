// Windows and messages across processes: another process's windows found and queried through
// the host's window table (also while the owner is hung), closed from here, messages sent with
// their data marshalled, a send that comes back while the sender waits, timeouts and hung
// owners, broadcasts to every top-level window of every process, windows of a killed process,
// the channel's checks of what it receives, and device notifications.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <fstream>
#include <thread>

#include "platform/base/text.h"
#include "platform/host/host.h"
#include "platform/host/window_channel.h"
#include "platform/host/window_mirror.h"
#include "platform/win32/controls_msg.h"
#include "platform/win32/device_notify.h"
#include "tests/platform/win32/window_fixture.h"
#include "tests/platform/win32/winprobe_client.h"

using namespace wintest;
using kipotest::eventually;
using kipotest::WinProbe;

namespace {

using CrossProcess = WindowFixture;

std::u16string textOf(HWND h) {
  WCHAR buf[256];
  int n = GetWindowTextW(h, buf, 256);
  return std::u16string(buf, static_cast<std::size_t>(std::max(n, 0)));
}

std::vector<HWND> topLevel() {
  std::vector<HWND> out;
  EnumWindows(
      [](HWND h, LPARAM p) {
        reinterpret_cast<std::vector<HWND>*>(p)->push_back(h);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&out));
  return out;
}

bool contains(const std::vector<HWND>& v, HWND h) { return std::find(v.begin(), v.end(), h) != v.end(); }

// Whether a socket with this abstract name is bound on the machine.
bool socketBound(const std::string& name) {
  std::ifstream in("/proc/net/unix");
  std::string line, wanted = "@" + name.substr(1);
  while (std::getline(in, line))
    if (line.size() >= wanted.size() && line.compare(line.size() - wanted.size(), wanted.size(), wanted) == 0)
      return true;
  return false;
}

std::uint64_t startOf(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  std::getline(in, line);
  std::istringstream rest(line.substr(line.rfind(')') + 2));
  std::string field;
  for (int i = 3; i < 22; ++i) rest >> field;
  std::uint64_t start = 0;
  rest >> start;
  return start;
}

TEST_F(CrossProcess, AnotherProcesssWindowIsFoundQueriedAndClosed) {
  WinProbe probe({"--class", "KipoProbeAlpha", "--title", "Probe Alpha", "--children", "2"});
  const HWND main = probe.window();

  // Class and title compare case-insensitively, in both character forms.
  EXPECT_EQ(FindWindowW(u"kipoprobealpha", u"PROBE ALPHA"), main);
  EXPECT_EQ(FindWindowA("KipoProbeAlpha", nullptr), main);
  EXPECT_EQ(FindWindowW(nullptr, u"Probe Alpha"), main);
  EXPECT_TRUE(contains(topLevel(), main));

  WCHAR cls[64];
  EXPECT_EQ(GetClassNameW(main, cls, 64), 14);
  EXPECT_EQ(std::u16string(cls), u"KipoProbeAlpha");
  EXPECT_EQ(textOf(main), u"Probe Alpha");
  EXPECT_EQ(GetWindowTextLengthW(main), 11);
  DWORD pid = 0xdeadbeef;
  EXPECT_NE(GetWindowThreadProcessId(main, &pid), 0u);
  EXPECT_EQ(pid, static_cast<DWORD>(probe.pid()));
  EXPECT_TRUE(IsWindow(main));
  EXPECT_TRUE(IsWindowVisible(main));
  EXPECT_TRUE(IsWindowEnabled(main));
  RECT r{};
  ASSERT_TRUE(GetWindowRect(main, &r));
  EXPECT_EQ(r.left, 30);
  EXPECT_EQ(r.top, 40);
  EXPECT_EQ(r.right, 330);
  EXPECT_EQ(r.bottom, 240);
  const DWORD style = static_cast<DWORD>(GetWindowLongPtrW(main, GWL_STYLE));
  EXPECT_EQ(style & (WS_VISIBLE | WS_CAPTION | WS_THICKFRAME), static_cast<DWORD>(WS_VISIBLE | WS_CAPTION | WS_THICKFRAME));
  EXPECT_EQ(GetWindowLongPtrW(main, GWL_EXSTYLE), 0);

  // The children: by id, by tree walk, by enumeration, with screen rectangles.
  HWND first = GetDlgItem(main, 100), second = GetDlgItem(main, 101);
  ASSERT_TRUE(first && second);
  EXPECT_EQ(GetDlgCtrlID(second), 101);
  EXPECT_EQ(GetWindowLongPtrW(second, GWLP_ID), 101);
  EXPECT_EQ(GetParent(second), main);
  EXPECT_EQ(GetWindow(main, GW_CHILD), first);
  EXPECT_EQ(GetWindow(first, GW_HWNDNEXT), second);
  EXPECT_EQ(GetWindow(second, GW_HWNDPREV), first);
  EXPECT_EQ(FindWindowExW(main, nullptr, nullptr, u"child 1"), second);
  EXPECT_EQ(FindWindowExW(main, first, nullptr, nullptr), second);
  std::vector<HWND> kids;
  EnumChildWindows(
      main,
      [](HWND h, LPARAM p) {
        reinterpret_cast<std::vector<HWND>*>(p)->push_back(h);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&kids));
  EXPECT_EQ(kids, (std::vector<HWND>{first, second}));
  ASSERT_TRUE(GetWindowRect(second, &r));
  EXPECT_EQ(r.left, 30 + 15);
  EXPECT_EQ(r.top, 40 + 6);
  EXPECT_EQ(GetDlgItem(main, 999), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CONTROL_ID_NOT_FOUND));

  // Only the owner changes or destroys its windows.
  SetLastError(0);
  EXPECT_EQ(SetWindowLongPtrW(main, GWLP_ID, 5), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_FALSE(DestroyWindow(main));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));

  // Closed from here: the owner destroys its window and ends; every query forgets the windows.
  ASSERT_TRUE(PostMessageW(main, WM_CLOSE, 0, 0));
  EXPECT_EQ(probe.waitExit(10000), 0);
  for (HWND h : {main, first, second}) {
    EXPECT_FALSE(IsWindow(h));
    SetLastError(0);
    EXPECT_EQ(GetClassNameW(h, cls, 64), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
  }
  EXPECT_EQ(FindWindowW(u"KipoProbeAlpha", nullptr), nullptr);
  EXPECT_FALSE(contains(topLevel(), main));
}

TEST_F(CrossProcess, ChangesOfTheOwnerAreSeenByOthers) {
  WinProbe probe({"--class", "KipoProbeBeta", "--title", "beta", "--hidden", "--children", "1"});
  const HWND h = probe.window(), child = GetDlgItem(h, 100);
  // Hidden top-level windows are found too; a visible child of a hidden window is not visible.
  EXPECT_EQ(FindWindowW(u"KipoProbeBeta", nullptr), h);
  EXPECT_FALSE(IsWindowVisible(h));
  EXPECT_FALSE(IsWindowVisible(child));
  EXPECT_TRUE(GetWindowLongPtrW(child, GWL_STYLE) & WS_VISIBLE);
  // A text set through the window's procedure is the stored text others read.
  ASSERT_TRUE(SetWindowTextW(h, u"renamed"));
  EXPECT_EQ(textOf(h), u"renamed");
  EXPECT_EQ(FindWindowW(nullptr, u"beta"), nullptr);
  EXPECT_EQ(FindWindowW(nullptr, u"RENAMED"), h);
  // Visibility, position and state changed by the owner.
  ASSERT_EQ(SendMessageW(h, WM_USER + 4, 1, 0), 1);
  EXPECT_TRUE(IsWindowVisible(h));
  EXPECT_TRUE(IsWindowVisible(child));
  EXPECT_FALSE(IsWindowEnabled(h));
  RECT r{};
  ASSERT_TRUE(GetWindowRect(h, &r));
  EXPECT_EQ(r.left, 5);
  EXPECT_EQ(r.top, 6);
  EXPECT_EQ(r.right, 75);
  EXPECT_EQ(r.bottom, 86);
  ASSERT_TRUE(GetClientRect(h, &r));
  EXPECT_EQ(r.right, 70);
  EXPECT_EQ(r.bottom, 80);
}

// The table is written when a window changes, never per message.
TEST_F(CrossProcess, MessagesDoNotWriteTheWindowTable) {
  WinProbe probe({"--class", "KipoProbeQuiet", "--title", "quiet"});
  auto& counters = platform::host::Host::current().counters();
  const std::uint64_t before = counters.read(platform::host::Counter::Windows);
  WCHAR buf[16];
  for (int i = 0; i < 50; ++i) {
    SendMessageW(probe.window(), WM_GETTEXT, 16, reinterpret_cast<LPARAM>(buf));
    PostMessageW(probe.window(), WM_USER + 10, 0, 0);
    SendMessageW(probe.window(), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(u"quiet"));  // unchanged text
  }
  EXPECT_EQ(counters.read(platform::host::Counter::Windows), before);
  SendMessageW(probe.window(), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(u"loud"));
  EXPECT_EQ(counters.read(platform::host::Counter::Windows), before + 1);
}

TEST_F(CrossProcess, SentMessagesCarryTheirDataBothWays) {
  WinProbe probe({"--class", "KipoProbeGamma", "--title", "Gamma Window"});
  const HWND h = probe.window();

  // WM_GETTEXT: the reply fills the caller's buffer up to wParam characters, NUL included.
  WCHAR buf[16];
  std::fill(std::begin(buf), std::end(buf), u'\xbdbd');
  EXPECT_EQ(SendMessageW(h, WM_GETTEXT, 16, reinterpret_cast<LPARAM>(buf)), 12);
  EXPECT_EQ(std::u16string(buf), u"Gamma Window");
  EXPECT_EQ(buf[13], u'\xbdbd');
  std::fill(std::begin(buf), std::end(buf), u'\xbdbd');
  EXPECT_EQ(SendMessageW(h, WM_GETTEXT, 4, reinterpret_cast<LPARAM>(buf)), 3);
  EXPECT_EQ(std::u16string(buf), u"Gam");
  EXPECT_EQ(buf[4], u'\xbdbd');  // nothing written past wParam characters
  EXPECT_EQ(SendMessageW(h, WM_GETTEXTLENGTH, 0, 0), 12);

  // WM_COPYDATA: the record and its bytes arrive; the answer comes back.
  std::u16string payload = u"hello";
  COPYDATASTRUCT cds{5, static_cast<DWORD>(payload.size() * 2), payload.data()};
  EXPECT_EQ(SendMessageW(h, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&cds)), 15);
  EXPECT_EQ(textOf(h), u"hello");
  COPYDATASTRUCT empty{9, 0, nullptr};
  EXPECT_EQ(SendMessageW(h, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&empty)), 9);
  EXPECT_EQ(textOf(h), u"");

  // WM_SETTINGCHANGE carries its string or a null lParam.
  SendMessageW(h, WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>(u"Environment"));
  EXPECT_EQ(textOf(h), u"setting:Environment");
  SendMessageW(h, WM_SETTINGCHANGE, 0, 0);
  EXPECT_EQ(textOf(h), u"setting:(null)");

  // WM_SETTEXT, then read back by message and from the table.
  EXPECT_EQ(SendMessageW(h, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(u"Set Remotely")), TRUE);
  EXPECT_EQ(textOf(h), u"Set Remotely");

  // List box text: the reply's characters and NUL land in the caller's buffer.
  std::fill(std::begin(buf), std::end(buf), u'\xbdbd');
  EXPECT_EQ(SendMessageW(h, LB_GETTEXT, 7, reinterpret_cast<LPARAM>(buf)), 6);
  EXPECT_EQ(std::u16string(buf), u"item 7");
  EXPECT_EQ(buf[7], u'\xbdbd');

  // List-view item text: bounded by the caller's cchTextMax, pszText left as the caller's.
  LVITEMW item{};
  item.iSubItem = 2;
  item.cchTextMax = 6;
  item.pszText = buf;
  std::fill(std::begin(buf), std::end(buf), u'\xbdbd');
  EXPECT_EQ(SendMessageW(h, LVM_GETITEMTEXTW, 3, reinterpret_cast<LPARAM>(&item)), 5);
  EXPECT_EQ(std::u16string(buf), u"row 3");
  EXPECT_EQ(buf[6], u'\xbdbd');
  EXPECT_EQ(item.pszText, buf);

  // A message whose parameters are plain numbers passes them unchanged.
  DWORD_PTR result = 0;
  EXPECT_TRUE(SendMessageTimeoutW(h, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, 5000, &result));
  EXPECT_EQ(result, 12u);
}

TEST_F(CrossProcess, AWaitingSenderServesMessagesSentBackToIt) {
  HWND mine = make(WS_POPUP);
  g_hook = [&](HWND hwnd, UINT msg, WPARAM wParam, LPARAM) -> std::optional<LRESULT> {
    if (hwnd == mine && msg == WM_USER + 2) return static_cast<LRESULT>(wParam) * 10;
    return std::nullopt;
  };
  WinProbe probe({"--class", "KipoProbeDelta"});
  // The probe, handling WM_USER + 1, sends WM_USER + 2 to `mine` and adds one to the answer.
  EXPECT_EQ(SendMessageW(probe.window(), WM_USER + 1, reinterpret_cast<WPARAM>(mine), 4), 41);
  EXPECT_EQ(received(mine, {WM_USER + 2}).size(), 1u);
  // The same without serving: SMTO_BLOCK keeps the send back from this thread, so both time out.
  DWORD_PTR result = 0;
  SetLastError(0);
  EXPECT_EQ(SendMessageTimeoutW(probe.window(), WM_USER + 1, reinterpret_cast<WPARAM>(mine), 4, SMTO_BLOCK, 300,
                                &result),
            0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_TIMEOUT));
}

TEST_F(CrossProcess, AHungOwnerTimesOutSendsButStillAnswersQueries) {
  // Monotonic time runs ten times faster on this host: the 5-second hung limit takes 0.5 s.
  platform::host::Host::current().setFact(platform::host::fact::TimeScale, "10");
  WinProbe probe({"--class", "KipoProbeHung", "--title", "hung one"});
  const HWND h = probe.window();
  ASSERT_TRUE(PostMessageW(h, WM_USER + 3, 0, 0));  // the owner stops pumping for ever
  ASSERT_TRUE(eventually([&] { return textOf(h) == u"hanging"; }));

  DWORD_PTR result = 0xdeadbeef;
  SetLastError(0);
  auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(SendMessageTimeoutW(h, WM_NULL, 0, 0, SMTO_NORMAL, 2000, &result), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_TIMEOUT));
  EXPECT_EQ(result, 0xdeadbeefu);  // left unchanged on timeout
  EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(150));

  // Once it counts as hung, SMTO_ABORTIFHUNG gives up at once however long the timeout.
  std::this_thread::sleep_for(std::chrono::milliseconds(700));
  t0 = std::chrono::steady_clock::now();
  SetLastError(0);
  EXPECT_EQ(SendMessageTimeoutW(h, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 600000, &result), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_TIMEOUT));
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(500));

  // Queries never ask the owner.
  EXPECT_EQ(FindWindowW(u"KipoProbeHung", nullptr), h);
  EXPECT_EQ(FindWindowW(nullptr, u"hanging"), h);
  EXPECT_EQ(GetWindowTextLengthW(h), 7);
  EXPECT_TRUE(IsWindowVisible(h));
}

TEST_F(CrossProcess, BroadcastsReachEveryTopLevelWindowOfEveryProcess) {
  const UINT broadcast = RegisterWindowMessageW(u"KipoProbeBroadcast");
  HWND mine = make(WS_POPUP);  // hidden, in this process
  WinProbe a({"--class", "KipoProbeA", "--title", "alpha", "--hidden", "--second-hidden", "--message-only",
              "--children", "1"});
  WinProbe b({"--class", "KipoProbeB", "--title", "bravo"});
  const HWND aSecond = FindWindowW(nullptr, u"alpha second");
  const HWND aMessage = FindWindowExW(HWND_MESSAGE, nullptr, nullptr, u"alpha message");
  const HWND aChild = GetDlgItem(a.window(), 100);
  ASSERT_TRUE(aSecond && aMessage && aChild);
  EXPECT_EQ(FindWindowW(nullptr, u"alpha message"), nullptr);  // message-only windows are no top-level windows
  EXPECT_FALSE(contains(topLevel(), aMessage));

  DWORD_PTR result = 0;
  ASSERT_TRUE(SendMessageTimeoutW(HWND_BROADCAST, broadcast, 7, 0, SMTO_ABORTIFHUNG, 5000, &result));
  for (HWND h : {a.window(), aSecond, b.window()}) EXPECT_EQ(textOf(h), u"broadcast:7");
  EXPECT_EQ(textOf(aMessage), u"alpha message");
  EXPECT_EQ(textOf(aChild), u"child 0");
  EXPECT_EQ(received(mine, {broadcast}).size(), 1u);

  ASSERT_TRUE(PostMessageW(HWND_BROADCAST, broadcast, 9, 0));
  EXPECT_TRUE(eventually([&] { return textOf(a.window()) == u"broadcast:9" && textOf(aSecond) == u"broadcast:9" &&
                                      textOf(b.window()) == u"broadcast:9"; }));
  ASSERT_TRUE(SendNotifyMessageW(HWND_BROADCAST, WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>(u"Environment")));
  EXPECT_TRUE(eventually([&] { return textOf(a.window()) == u"setting:Environment" &&
                                      textOf(b.window()) == u"setting:Environment"; }));
  EXPECT_EQ(textOf(aMessage), u"alpha message");
}

TEST_F(CrossProcess, WindowsOfAKilledProcessVanish) {
  WinProbe probe({"--class", "KipoProbeKilled", "--title", "doomed", "--children", "1"});
  const HWND main = probe.window(), child = GetDlgItem(main, 100);
  ASSERT_TRUE(child);
  const std::string socket = platform::host::channelName(static_cast<DWORD>(probe.pid()), startOf(probe.pid()));
  EXPECT_TRUE(socketBound(socket));

  // A send waiting on the process when it dies ends with 0.
  std::thread killer([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    probe.kill();
  });
  SetLastError(0);
  EXPECT_EQ(SendMessageW(main, WM_USER + 3, 0, 0), 0);  // the handler never returns
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
  killer.join();

  for (HWND h : {main, child}) {
    EXPECT_FALSE(IsWindow(h));
    SetLastError(0);
    EXPECT_EQ(GetWindowTextLengthW(h), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    SetLastError(0);
    EXPECT_FALSE(PostMessageW(h, WM_CLOSE, 0, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    DWORD_PTR result;
    SetLastError(0);
    EXPECT_EQ(SendMessageTimeoutW(h, WM_NULL, 0, 0, SMTO_NORMAL, 1000, &result), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
  }
  EXPECT_EQ(FindWindowW(u"KipoProbeKilled", nullptr), nullptr);
  EXPECT_FALSE(contains(topLevel(), main));
  // Nothing is left behind: the rows are pruned, the socket is gone with its process.
  for (auto& row : platform::host::hostWindows()) EXPECT_NE(row.pid, static_cast<DWORD>(probe.pid()));
  EXPECT_FALSE(socketBound(socket));
}

// Frames that do not add up end the connection they came on; the listener carries on.
TEST_F(CrossProcess, TheChannelRefusesFramesThatDoNotAddUp) {
  WinProbe probe({"--class", "KipoProbeWire", "--title", "wire"});
  const std::string name = platform::host::channelName(static_cast<DWORD>(probe.pid()), startOf(probe.pid()));
  struct Frame {
    std::uint32_t kind, hwnd, message, flags;
    std::uint64_t wParam;
    std::int64_t lParam;
    std::uint32_t pid, thread;
    std::uint64_t callId;
    std::uint32_t length, reserved;
  };
  const auto hwnd = static_cast<std::uint32_t>(reinterpret_cast<UINT_PTR>(probe.window()));
  struct Case {
    const char* rule;
    Frame frame;
    std::vector<std::uint8_t> payload;
  } cases[] = {
      {"payload longer than the channel accepts", {2, hwnd, WM_NULL, 0, 0, 0, 1, 1, 1, 0x7FFFFFFF, 0}, {}},
      {"reserved field not zero", {2, hwnd, WM_NULL, 0, 0, 0, 1, 1, 1, 0, 7}, {}},
      {"unknown kind", {9, hwnd, WM_NULL, 0, 0, 0, 1, 1, 1, 0, 0}, {}},
      {"WM_SETTEXT with half a character", {2, hwnd, WM_SETTEXT, 0, 0, 0, 1, 1, 1, 2, 0}, {1, 65}},
      {"WM_COPYDATA without its dwData", {2, hwnd, WM_COPYDATA, 0, 0, 0, 1, 1, 1, 3, 0}, {1, 0, 0}},
      {"device record whose size disagrees", {2, hwnd, WM_DEVICECHANGE, 0, 0x8000, 0, 1, 1, 1, 12, 0},
       {40, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0}},
      {"a plain message with a payload", {1, hwnd, WM_NULL, 0, 0, 0, 1, 1, 1, 1, 0}, {0}},
  };
  static_assert(sizeof(Frame) == 56);
  for (auto& c : cases) {
    SCOPED_TRACE(c.rule);
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, name.data(), name.size());
    ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&addr),
                        static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + name.size())),
              0);
    ASSERT_EQ(::send(fd, &c.frame, sizeof c.frame, MSG_NOSIGNAL), static_cast<ssize_t>(sizeof c.frame));
    if (!c.payload.empty())
      ::send(fd, c.payload.data(), c.payload.size(), MSG_NOSIGNAL);
    char reply[64];
    timeval tv{5, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    EXPECT_EQ(::recv(fd, reply, sizeof reply, 0), 0);  // closed without an answer
    ::close(fd);
  }
  // The window still answers.
  EXPECT_EQ(SendMessageW(probe.window(), WM_GETTEXTLENGTH, 0, 0), 4);
  EXPECT_EQ(textOf(probe.window()), u"wire");
}

GUID classGuid(DWORD first) {
  GUID g{};
  g.Data1 = first;
  return g;
}

TEST_F(CrossProcess, DeviceChangesReachRegisteredAndTopLevelWindows) {
  using platform::host::broadcastDeviceChange;
  WinProbe all({"--class", "KipoProbeDevAll", "--title", "all", "--devnotify", "all"});
  WinProbe disks({"--class", "KipoProbeDevDisk", "--title", "disks", "--devnotify", "1234"});
  WinProbe none({"--class", "KipoProbeDevNone", "--title", "none"});

  auto disk = platform::host::interfaceRecord(classGuid(0x1234), u"\\\\?\\USBSTOR#Disk#7");
  EXPECT_EQ(broadcastDeviceChange(DBT_DEVICEARRIVAL,
                                  reinterpret_cast<const DEV_BROADCAST_HDR*>(disk.data())),
            2);
  EXPECT_EQ(textOf(all.window()), u"device:32768:interface:\\\\?\\USBSTOR#Disk#7");
  EXPECT_EQ(textOf(disks.window()), u"device:32768:interface:\\\\?\\USBSTOR#Disk#7");
  EXPECT_EQ(textOf(none.window()), u"none");

  auto other = platform::host::interfaceRecord(classGuid(0x9999), u"other");
  EXPECT_EQ(broadcastDeviceChange(DBT_DEVICEARRIVAL, reinterpret_cast<const DEV_BROADCAST_HDR*>(other.data())), 1);
  EXPECT_EQ(textOf(all.window()), u"device:32768:interface:other");
  EXPECT_EQ(textOf(disks.window()), u"device:32768:interface:\\\\?\\USBSTOR#Disk#7");

  // The volume form goes to every top-level window, registered or not.
  DEV_BROADCAST_VOLUME volume = platform::host::volumeRecord(1u << 4, DBTF_MEDIA);
  EXPECT_GE(broadcastDeviceChange(DBT_DEVICEREMOVECOMPLETE, reinterpret_cast<const DEV_BROADCAST_HDR*>(&volume)), 3);
  for (HWND h : {all.window(), disks.window(), none.window()}) EXPECT_EQ(textOf(h), u"device:32772:volume:16");

  // A killed registrant is skipped (and forgotten).
  disks.kill();
  EXPECT_EQ(broadcastDeviceChange(DBT_DEVICEARRIVAL, reinterpret_cast<const DEV_BROADCAST_HDR*>(disk.data())), 1);
}

TEST_F(CrossProcess, DeviceNotificationRegistrationChecksItsArguments) {
  HWND mine = make(WS_POPUP);
  WinProbe other({"--class", "KipoProbeDevOther"});
  DEV_BROADCAST_DEVICEINTERFACE_W filter{};
  filter.dbcc_size = sizeof filter;
  filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
  DEV_BROADCAST_VOLUME volume = platform::host::volumeRecord(1, 0);
  DEV_BROADCAST_DEVICEINTERFACE_W shortFilter = filter;
  shortFilter.dbcc_size = 8;
  struct Case {
    const char* rule;
    HWND window;
    void* filter;
    DWORD flags;
    DWORD error;
  } cases[] = {
      {"no filter", mine, nullptr, 0, ERROR_INVALID_PARAMETER},
      {"a record shorter than its header", mine, &shortFilter, 0, ERROR_INVALID_PARAMETER},
      {"a volume record cannot be registered", mine, &volume, 0, ERROR_INVALID_DATA},
      {"service handles are not windows", mine, &filter, DEVICE_NOTIFY_SERVICE_HANDLE, ERROR_INVALID_PARAMETER},
      {"another process's window", other.window(), &filter, 0, ERROR_INVALID_WINDOW_HANDLE},
      {"no window", nullptr, &filter, 0, ERROR_INVALID_WINDOW_HANDLE},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.rule);
    SetLastError(0);
    EXPECT_EQ(RegisterDeviceNotificationW(c.window, c.filter, c.flags), nullptr);
    EXPECT_EQ(GetLastError(), c.error);
  }
  HDEVNOTIFY n = RegisterDeviceNotificationW(mine, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
  ASSERT_NE(n, nullptr);
  EXPECT_TRUE(UnregisterDeviceNotification(n));
  SetLastError(0);
  EXPECT_FALSE(UnregisterDeviceNotification(n));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

}  // namespace

// A poster that writes its frame and exits at once hands over the frame and the end of its
// connection together; the frame must still be delivered.
TEST_F(CrossProcess, PostsAreDeliveredWhenThePosterExitsAtOnce) {
  HWND w = make();
  ASSERT_NE(w, nullptr);
  char handle[16];
  std::snprintf(handle, sizeof handle, "0x%08lX", static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(w)));
  constexpr int kPosts = 15;
  for (int i = 0; i < kPosts; ++i) ASSERT_EQ(kipotest::runTool({"post", handle, "0x0410", "0", "0"}), 0);
  EXPECT_TRUE(eventually([&] {
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
    return received(w, {WM_USER + 0x10}).size() == kPosts;
  })) << received(w, {WM_USER + 0x10}).size() << " of " << kPosts << " posts arrived";
}

// A long session of "Kipo.exe" on a host with Explorer, the host's Outlook and a USB drive E:,
// driven as a person drives it: the anchor tree (20,000 files in 400 folders) lies on the user's
// Desktop, where the file snap-in carries it, and the drive's personal folders file of this
// computer ("Kipo.pst" in its Outlook folder) holds 10,000 items, which each login puts Outlook on
// through the "Kipo" profile. The host's own default profile ("Outlook") has a small store of its
// own. Each session synchronizes through the tray (the synchronize dialog's search, OK, the
// progress to its end) with the Inbox ticked (the first session ticks it; its record is kept),
// logs in through the pull-down's panel and out through the taskbar's button. Mail arrives on
// both sides each session (on the host before the sync, on the drive's file during the login),
// so every run has items to carry both ways. One program runs all the sessions; its resident set
// (VmRSS, VmHWM of /proc) is read after each login and each logout, so a leak shows as growth
// from the first login to the end.
//
// Times are wall-clock milliseconds from the command to the state being reached:
// - login: from starting `kipo-host ui follow` on the panel's link of this computer to the tray
//   tip "Logged in..." (set once the personalize pass has ended); "+uncover" is on to the tray
//   balloon that ends the pull-down's uncover, after which the login instructions are asked;
// - logout: from OK in the logout question to the tray tip of a logged-out program (set once the
//   depersonalize and restore passes have ended);
// - sync: the calculation from the tray's Synchronize to "Search complete" (in the first session
//   with the second search the Inbox tick starts), the run from the dialog's OK to the progress
//   dialog's Close.
// The start of a `kipo-host` command is part of the login time; its own figure is printed so it
// can be taken off.
//
// Run: build/bench/kipo_long_session            50 sessions, full tree and store (long)
//      build/bench/kipo_long_session --quick    3 sessions, 2,000 files, 1,000 items
//      options: --sessions N, --folders N (50 files each), --items N
#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/win32/tray.h"
#include "tests/kipo/kipo_fixture.h"

namespace {

using namespace kipo;
using Clock = std::chrono::steady_clock;

constexpr char16_t kLocalPrefsKey[] = u"Software\\Brackwater\\Kipo\\localPrefs";
constexpr char16_t kPrefsKey[] = u"Software\\Brackwater\\Kipo\\Prefs";
constexpr char16_t kNicknameCaption[] = u"Kipo - Name the Computer";
constexpr char16_t kMessageCaption[] = u"Kipo - Message";
constexpr char16_t kLogoutCaption[] = u"Kipo - Log Out";
constexpr char16_t kLoginCaption[] = u"Kipo Login";
constexpr char kPersonalizingLine[] = "Customizer View: Personalizing";
constexpr char16_t kUpToDateCaption[] = u"Kipo";
constexpr char16_t kLoggedInTip[] = u"Logged in. Double-click to log out";
constexpr char16_t kLoggedOutTipStart[] = u"Double-click to synchronize";
constexpr char16_t kLoggedInBalloon[] = u"Logged in on this computer.";
constexpr char16_t kLoggedOutBalloon[] = u"Not logged in on this computer.";
constexpr char kComputer[] = "ALPHA";
constexpr char16_t kHostStorePath[] =
    u"C:\\Documents and Settings\\Robin\\Local Settings\\Application Data\\Microsoft\\Outlook\\Outlook.pst";
constexpr char kDriveStorePath[] = "E:\\Synchronized Computers\\ALPHA\\Outlook\\Kipo.pst";
constexpr int kSyncInbox = 1081;  // the synchronize dialog's Inbox choice
// Mail arriving each session: on the host before its sync, in the drive's file during its login.
constexpr int kHostMailPerSession = 3;
constexpr int kDriveMailPerSession = 2;
constexpr char kHostMailSubject[] = "Host mail";
constexpr char kDriveMailSubject[] = "Drive mail";
// The Outlook snap-in's item synchronizer opens its source session once per run.
constexpr char kItemSyncRunLine[] = "{ItemSynchronizer}: Mapi session used is not exchange.";

// The fixture's steps of a person at the tray, used outside a test.
struct Person : KipoTest {
  using KipoTest::openTrayMenu;
  using KipoTest::pickMenuCommand;
  using KipoTest::trayText;
  void TestBody() override {}
};

struct Options {
  int sessions = 50;
  int folders = 400;
  int items = 10000;
};

double msSince(Clock::time_point begin) { return std::chrono::duration<double, std::milli>(Clock::now() - begin).count(); }

// ---- the program's state, as the host shows it ----

// The tray icon of the process (tip and last balloon); false when it has none.
bool trayOf(DWORD pid, std::u16string& tip, std::u16string& balloon) {
  for (const platform::tray::Icon& icon : platform::tray::icons()) {
    if (icon.pid != pid) continue;
    tip = icon.tip;
    balloon = icon.info;
    return true;
  }
  return false;
}
bool tipIs(DWORD pid, const std::function<bool(const std::u16string&)>& test) {
  std::u16string tip, balloon;
  return trayOf(pid, tip, balloon) && test(tip);
}
bool balloonIs(DWORD pid, const char16_t* text) {
  std::u16string tip, balloon;
  return trayOf(pid, tip, balloon) && balloon == text;
}
bool loggedIn(DWORD pid) {
  return tipIs(pid, [](const std::u16string& tip) { return tip == kLoggedInTip; });
}
bool loggedOut(DWORD pid) {
  return tipIs(pid, [](const std::u16string& tip) { return tip.rfind(kLoggedOutTipStart, 0) == 0; });
}

// The resident set of a process from /proc, in KiB.
struct Memory {
  long rss = 0;
  long hwm = 0;
};
Memory memoryOf(DWORD pid) {
  Memory m;
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmRSS:", 0) == 0) m.rss = std::atol(line.c_str() + 6);
    if (line.rfind("VmHWM:", 0) == 0) m.hwm = std::atol(line.c_str() + 6);
  }
  return m;
}

// The resident KiB of each mapping of a process from /proc, by name ("[heap]", a file, "[anon]"
// for the nameless ones), so growth can be put down to the heap, a module or a shared image.
std::map<std::string, long> mappingsOf(DWORD pid) {
  std::map<std::string, long> rss;
  std::ifstream smaps("/proc/" + std::to_string(pid) + "/smaps");
  std::string name = "[anon]";
  for (std::string line; std::getline(smaps, line);) {
    if (line.rfind("Rss:", 0) == 0) {
      rss[name] += std::atol(line.c_str() + 4);
      continue;
    }
    // A mapping's header: "start-end perms offset dev inode [name]".
    const std::size_t dash = line.find('-');
    if (dash == std::string::npos || dash == 0 || line.find(':') < dash) continue;
    std::istringstream fields(line);
    std::string range, perms, offset, dev, inode;
    fields >> range >> perms >> offset >> dev >> inode;
    std::getline(fields >> std::ws, name);
    if (name.empty()) name = "[anon]";
  }
  return rss;
}

// The mappings whose resident size changed most between two samples.
void printGrowth(const std::map<std::string, long>& before, const std::map<std::string, long>& after) {
  std::vector<std::pair<long, std::string>> changes;
  std::map<std::string, long> all = before;
  for (const auto& [name, kib] : after) all.emplace(name, 0);
  for (const auto& [name, unused] : all) {
    const auto b = before.find(name), a = after.find(name);
    const long change = (a == after.end() ? 0 : a->second) - (b == before.end() ? 0 : b->second);
    if (change != 0) changes.emplace_back(change, name);
  }
  std::sort(changes.begin(), changes.end(), [](const auto& x, const auto& y) { return std::labs(x.first) > std::labs(y.first); });
  std::printf("resident change by mapping from the first login to the end (KiB):\n");
  for (std::size_t i = 0; i < changes.size() && i < 8; ++i) std::printf("  %+8ld %s\n", changes[i].first, changes[i].second.c_str());
}

HWND visibleDialog(const char16_t* caption) {
  HWND w = FindWindowW(u"#32770", caption);
  return w && IsWindowVisible(w) ? w : nullptr;
}

// The first synchronize dialog asks for this computer's nickname; OK keeps the offered one.
int g_nicknamesAnswered = 0;
void answerNicknameIfAsked() {
  HWND dialog = visibleDialog(kNicknameCaption);
  if (!dialog) return;
  PostMessageW(dialog, WM_COMMAND, IDOK, 0);
  eventually([&] { return !IsWindow(dialog); }, 10);
  ++g_nicknamesAnswered;
}

// Polls until pred() holds, answering the nickname question whenever it comes.
bool until(const std::function<bool()>& pred, double seconds) {
  return eventually([&] {
    answerNicknameIfAsked();
    return pred();
  }, seconds);
}

bool press(const char16_t* caption, int button, double seconds) {
  HWND dialog = nullptr;
  if (!until([&] { return (dialog = visibleDialog(caption)) != nullptr; }, seconds)) return false;
  PostMessageW(dialog, WM_COMMAND, static_cast<WPARAM>(button), 0);
  return eventually([&] { return !IsWindow(dialog); }, 10);
}

// ---- one session's steps; each fills its figures and returns false at the first step that did not come ----

struct Figures {
  double calcMs = 0, syncMs = 0, loginMs = 0, uncoverMs = 0, logoutMs = 0;
  bool upToDate = false;  // the run found nothing to carry
  bool inboxTicked = false;  // this session ticked the Inbox (it was not kept from before)
  bool storeCarried = false;  // logged in, Outlook was on the "Kipo" profile over the drive's file
  int itemRuns = 0;  // runs of the item synchronizer the log shows for this session's sync
  int copyLaterAsked = 0;  // the run offered to leave many items on the drive for later
  int driveItems = 0, hostItems = 0;  // items in the two stores after the sync
  int clicks = 0;         // clicks on the panel's link until the login was taken
  Memory afterLogin, afterLogout;
  std::map<std::string, long> mappingsAfterLogin, mappingsAfterLogout;
};

std::string g_failure;
bool fail(const std::string& step) {
  g_failure = step;
  return false;
}

bool synchronize(Figures& f) {
  Person::openTrayMenu();
  const Clock::time_point begin = Clock::now();
  if (Person::pickMenuCommand(344) != 0) return fail("the tray menu's Synchronize");
  HWND dialog = nullptr;
  if (!until([&] { return (dialog = FindWindowW(u"#32770", kSynchronizeCaption)) != nullptr; }, 60))
    return fail("the synchronize dialog");
  auto searched = [&] { return controlText(dialog, 1246) == u"Kipo Meter - Search complete"; };
  if (!until(searched, 1200)) return fail("the synchronize dialog's search");
  // The Inbox is carried once ticked; the tick is kept with this computer's Outlook records, so
  // only the first session makes it. It starts the search again.
  if (IsWindowEnabled(GetDlgItem(dialog, kSyncInbox)) && SendMessageW(GetDlgItem(dialog, kSyncInbox), BM_GETCHECK, 0, 0) != BST_CHECKED) {
    if (kipotest::runTool({"ui", "check", "--window", "Kipo - Synchronizer", "--control", std::to_string(kSyncInbox), "--state", "1"}) != 0)
      return fail("ticking the Inbox");
    if (!until([&] { return !searched(); }, 60)) return fail("the search the Inbox starts");
    if (!until(searched, 1200)) return fail("the synchronize dialog's search with the Inbox");
    f.inboxTicked = true;
  }
  if (SendMessageW(GetDlgItem(dialog, kSyncInbox), BM_GETCHECK, 0, 0) != BST_CHECKED) return fail("the Inbox choice");
  f.calcMs = msSince(begin);
  const Clock::time_point run = Clock::now();
  PostMessageW(dialog, WM_COMMAND, IDOK, 0);
  // With nothing to carry the program says so instead of running. With many items to copy from
  // the drive it offers to leave them for later; a person carrying the mail says No.
  HWND progress = nullptr, upToDate = nullptr;
  if (!until([&] {
        progress = FindWindowW(u"#32770", kProgressCaption);
        upToDate = visibleDialog(kUpToDateCaption);
        if (upToDate && GetDlgItem(upToDate, IDNO)) {
          PostMessageW(upToDate, WM_COMMAND, IDNO, 0);
          ++f.copyLaterAsked;
          const HWND asked = upToDate;
          eventually([&] { return !IsWindow(asked); }, 30);
          upToDate = nullptr;
        }
        return progress != nullptr || upToDate != nullptr;
      }, 60))
    return fail("the progress dialog");
  if (upToDate) {
    f.syncMs = msSince(run);
    f.upToDate = true;
    PostMessageW(upToDate, WM_COMMAND, IDOK, 0);
    if (!until([&] { return !IsWindow(upToDate); }, 30)) return fail("the up-to-date message");
    // The synchronize dialog stays up for another choice; a person closes it.
    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
  } else {
    if (!until([&] { return controlText(progress, 1030) == u"&Close"; }, 3600)) return fail("the end of the run");
    f.syncMs = msSince(run);
    PostMessageW(progress, WM_COMMAND, 1030, 0);
    if (!press(kMessageCaption, IDOK, 60)) return fail("the synchronized message");
  }
  if (!until([&] { return !IsWindow(dialog); }, 30)) return fail("the synchronize dialog's end");
  return true;
}

// The pull-down's rectangle, empty when it is not there.
RECT pulldownRect() {
  RECT r{};
  if (HWND w = FindWindowW(u"#32770", kLoginCaption)) GetWindowRect(w, &r);
  return r;
}
bool sameRect(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

// The pull-down has slid open: it left its resting place and has not moved for a while (the
// animation steps every 33 ms and eases out, so a pause of 300 ms is its end).
bool waitForSlideEnd(const RECT& resting) {
  RECT last = resting;
  Clock::time_point still = Clock::now();
  return until([&] {
    const RECT now = pulldownRect();
    if (!sameRect(now, last)) {
      last = now;
      still = Clock::now();
      return false;
    }
    return !sameRect(now, resting) && msSince(still) > 300;
  }, 60);
}

std::size_t countOf(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

bool logIn(DWORD pid, const fs::path& logFile, Figures& f) {
  // This computer may log in to itself (the drive's only computer).
  setString(HKEY_CURRENT_USER, kPrefsKey, u"allowLoginThisComputer", u"true");
  const RECT resting = pulldownRect();
  const std::string menu = Person::openTrayMenu();
  if (menu.find("menu item 341") == std::string::npos) return fail("the tray menu's Log in");
  if (Person::pickMenuCommand(341) != 0) return fail("the tray menu's Log in");
  const std::string href = std::string("href=\"**") + kComputer + "\"";
  if (!until([&] { return tool({"ui", "links", "--window", "Kipo Login", "--control", "1358"}).find(href) != std::string::npos; }, 60))
    return fail("the login panel's link of this computer");
  // A person clicks once the window has slid down (a click during a slide is not taken).
  if (!waitForSlideEnd(resting)) return fail("the pull-down's slide");
  // A click the pull-down did not take (its slide had not quite ended) starts no pass: it is
  // made again, and the time runs from the click that was taken.
  const std::size_t before = countOf(slurp(logFile), kPersonalizingLine);
  Clock::time_point begin;
  bool taken = false;
  for (f.clicks = 1; f.clicks <= 3 && !taken; ++f.clicks) {
    begin = Clock::now();
    if (kipotest::runTool({"ui", "follow", "--window", "Kipo Login", "--control", "1358", "--href", std::string("**") + kComputer}) != 0)
      return fail("following the panel's link");
    taken = eventually([&] { return loggedIn(pid) || countOf(slurp(logFile), kPersonalizingLine) > before; }, 8);
  }
  --f.clicks;
  if (!taken) return fail("the start of the login");
  if (!until([&] { return loggedIn(pid); }, 600)) return fail("the logged-in state");
  f.loginMs = msSince(begin);
  if (!until([&] { return balloonIs(pid, kLoggedInBalloon); }, 60)) return fail("the end of the uncover");
  f.uncoverMs = msSince(begin);
  // The login instructions follow the uncover unless the user turned them off.
  if (!until([&] { return visibleDialog(kMessageCaption) != nullptr ||
                          readString(HKEY_CURRENT_USER, kPrefsKey, u"showLoginInstructionMessage") == u"false"; }, 30))
    return fail("the login instructions");
  if (visibleDialog(kMessageCaption) && !press(kMessageCaption, IDOK, 10)) return fail("answering the login instructions");
  if (readString(HKEY_CURRENT_USER, kLocalPrefsKey, u"personalizing") != u"false") return fail("the end of the personalize pass");
  f.afterLogin = memoryOf(pid);
  f.mappingsAfterLogin = mappingsOf(pid);
  f.storeCarried = tool({"mapi", "profiles"}).find("Kipo (default)") != std::string::npos &&
                   tool({"mapi", "services", "Kipo"}).find(kDriveStorePath) != std::string::npos;
  return true;
}

// Mail delivered into a store's Inbox, a subject per message ("<subject> <session>.<n>").
bool deliver(const std::string& store, const char* subject, int session, int count) {
  for (int n = 1; n <= count; ++n) {
    if (kipotest::runTool({"mapi", "deliver", store, "--from", "colleague@example.com", "--subject",
                           std::string(subject) + " " + std::to_string(session) + "." + std::to_string(n)}) != 0)
      return fail(std::string("delivering ") + subject + " into " + store);
  }
  return true;
}

bool logOut(DWORD pid, Figures& f) {
  if (!until([] { return tool({"ui", "taskbar"}).find("text=\"Log out\"") != std::string::npos; }, 60))
    return fail("the taskbar's Log out button");
  if (kipotest::runTool({"ui", "taskbar", "click", "--window", "Log out"}) != 0) return fail("clicking Log out");
  HWND question = nullptr;
  if (!until([&] { return (question = visibleDialog(kLogoutCaption)) != nullptr; }, 60)) return fail("the logout question");
  const Clock::time_point begin = Clock::now();
  PostMessageW(question, WM_COMMAND, IDOK, 0);
  if (!until([&] { return loggedOut(pid); }, 600)) return fail("the logged-out state");
  f.logoutMs = msSince(begin);
  // The pull-down's uncover ends the logout: the flush to the drive and the balloon.
  if (!until([&] { return balloonIs(pid, kLoggedOutBalloon); }, 60)) return fail("the end of the logout");
  f.afterLogout = memoryOf(pid);
  f.mappingsAfterLogout = mappingsOf(pid);
  return true;
}

// ---- the host ----

Options parse(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto number = [&](int& into) {
      if (i + 1 < argc) into = std::max(1, std::atoi(argv[++i]));
    };
    if (a == "--quick") {
      o.sessions = 3;
      o.folders = 40;
      o.items = 1000;
    } else if (a == "--sessions") {
      number(o.sessions);
    } else if (a == "--folders") {
      number(o.folders);
    } else if (a == "--items") {
      number(o.items);
    } else {
      std::fprintf(stderr, "usage: %s [--quick] [--sessions N] [--folders N] [--items N]\n", argv[0]);
      std::exit(2);
    }
  }
  return o;
}

bool run(const std::string& what, const std::vector<std::string>& args) {
  std::string err;
  if (kipotest::runTool(args, nullptr, &err) == 0) return true;
  std::fprintf(stderr, "%s failed: %s\n", what.c_str(), err.c_str());
  return false;
}

// A store file made from a description: `items` messages spread over folders by shares in tenths.
bool makeStoreFile(const fs::path& description, const std::string& store, const std::string& label, int items,
                   const std::vector<std::pair<const char*, int>>& shares) {
  {
    std::ofstream out(description);
    int made = 0;
    for (std::size_t k = 0; k < shares.size(); ++k) {
      const int count = k + 1 == shares.size() ? items - made : items * shares[k].second / 10;
      out << "folder " << shares[k].first << "\n";
      for (int i = 0; i < count; ++i) out << "item IPM.Note " << label << " " << (made + i) << " of " << shares[k].first << "\n";
      made += count;
    }
  }
  return run("mapi make " + store, {"mapi", "make", store, "--from", description.string()});
}

// The host's Outlook: its default profile "Outlook" over a personal folders file with an Inbox of
// its own, and the drive's file of this computer with `items` messages in four folders (as
// earlier synchronizations left it).
bool makeStores(const kipotest::TestHost& host, const fs::path& drive, int items) {
  if (!run("outlook set", {"outlook", "set", "--version", "2003"})) return false;
  makeFolders(kHostStorePath);
  if (!makeStoreFile(host.folder() / "host-store.txt", toUtf8(kHostStorePath), "Host message", 100, {{"Inbox", 10}}) ||
      !run("mapi profile add", {"mapi", "profile", "add", "Outlook", "--pst", toUtf8(kHostStorePath), "--default"}))
    return false;
  fs::create_directories(drive / "Synchronized Computers" / kComputer / "Outlook");
  return makeStoreFile(host.folder() / "drive-store.txt", kDriveStorePath, "Message", items,
                       {{"Inbox", 4}, {"Inbox/Projects", 2}, {"Sent Items", 3}, {"Deleted Items", 1}});
}

// The items of a store file, and those whose subject starts with `subject`; -1 when it cannot be read.
std::pair<int, int> itemsOf(const std::string& store, const std::string& subject) {
  std::string out, err;
  if (kipotest::runTool({"mapi", "dump", store}, &out, &err) != 0) return {-1, -1};
  int items = 0, marked = 0;
  std::istringstream lines(out);
  for (std::string line; std::getline(lines, line);) {
    const std::size_t at = line.find_first_not_of(' ');
    if (at == std::string::npos || line.compare(at, 5, "item ") != 0) continue;
    ++items;
    // "item CLASS SUBJECT"
    const std::size_t space = line.find(' ', at + 5);
    if (space != std::string::npos && line.compare(space + 1, subject.size(), subject) == 0) ++marked;
  }
  return {items, marked};
}

// Files under a folder, and their bytes.
std::pair<long, unsigned long long> countFiles(const fs::path& root) {
  long files = 0;
  unsigned long long bytes = 0;
  std::error_code ec;
  if (!fs::exists(root, ec)) return {0, 0};
  for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (!it->is_regular_file(ec)) continue;
    ++files;
    bytes += it->file_size(ec);
  }
  return {files, bytes};
}

bool anyStoreFile(const fs::path& root) {
  std::error_code ec;
  if (!fs::exists(root, ec)) return false;
  for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    std::string ext = it->path().extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (ext == ".pst") return true;
  }
  return false;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

void printSeries(const char* name, const std::vector<double>& v) {
  if (v.empty()) return;
  std::printf("%-22s min %9.0f  median %9.0f  max %9.0f ms\n", name, *std::min_element(v.begin(), v.end()), median(v),
              *std::max_element(v.begin(), v.end()));
}

}  // namespace

int main(int argc, char** argv) {
  const Options options = parse(argc, argv);
  kipotest::TestHost host;
  if (!run("install", {"install"})) return 1;
  const fs::path drive = kipotest::freshTempDir("long-session-drive");
  if (!run("plug", {"plug", "E:", "--folder", drive.string(), "--serial", "4B1D0E5A", "--capacity", "4294967296"})) return 1;
  fs::copy_file(KIPO_PROGRAM, drive / "Kipo.exe", fs::copy_options::overwrite_existing);
  if (!run("boot", {"boot"})) return 1;
  // This computer was synchronized before, so the login panel lists it.
  fs::create_directories(drive / "Synchronized Computers" / kComputer);

  WCHAR path[MAX_PATH] = {};
  SHGetFolderPathW(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, 0, path);
  const fs::path anchor = linuxPath(std::u16string(path) + u"\\Anchor");
  const std::string make = "python3 '" KIPO_ANCHOR_SCRIPT "' '" + anchor.string() + "' --folders " + std::to_string(options.folders);
  if (std::system(make.c_str()) != 0) {
    std::fprintf(stderr, "cannot make the anchor tree: %s\n", make.c_str());
    return 1;
  }
  if (!makeStores(host, drive, options.items)) return 1;
  const int hostItemsBefore = itemsOf(toUtf8(kHostStorePath), kDriveMailSubject).first;
  const int driveItemsBefore = itemsOf(kDriveStorePath, kHostMailSubject).first;
  const auto [treeFiles, treeBytes] = countFiles(anchor);

  // The cost of starting one `kipo-host` command, part of each login figure.
  std::vector<double> toolStarts;
  for (int i = 0; i < 5; ++i) {
    const Clock::time_point begin = Clock::now();
    kipotest::runTool({"ui", "tray"});
    toolStarts.push_back(msSince(begin));
  }

  SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, 0, path);
  const std::u16string folder = std::u16string(path) + u"\\Brackwater\\Kipo\\";
  Started kipo = start(u"\"" + folder + u"Kipo.exe\" /handoff E:\\", folder);
  const DWORD pid = kipo.pid;
  auto log = [&] { return slurp(drive / "Kipo.html"); };
  if (!until([&] { return frameOf(pid) != nullptr || !kipo.running(); }, 60) || !kipo.running() ||
      !until([&] { return balloonIs(pid, kLoggedOutBalloon) || !kipo.running(); }, 120) || !kipo.running()) {
    std::fprintf(stderr, "Kipo did not start:\n%s\n", log().c_str());
    return 1;
  }

  std::printf("host tree: %ld files, %llu bytes on the Desktop; stores: %d items on the drive, %d on the host; %d sessions; "
              "Kipo pid %u\n",
              treeFiles, treeBytes, driveItemsBefore, hostItemsBefore, options.sessions, static_cast<unsigned>(pid));
  std::printf("%7s %9s %9s %9s %9s %9s %11s %11s %11s %6s %5s %5s %7s %7s\n", "session", "calc ms", "sync ms", "login ms",
              "+uncover", "logout ms", "RSS login", "RSS logout", "HWM KiB", "clicks", "runs", "pst", "drive", "host");
  std::printf("(sync ms marked =: the program found the drive up to date and ran nothing; calc ms marked +: the Inbox\n"
              " was ticked, a second search; clicks: on the panel's link until the login was taken; runs: runs of the\n"
              " item synchronizer in the log during the sync; pst: the login had Outlook on the drive's Kipo.pst;\n"
              " drive, host: the items of each store after the sync)\n");
  std::vector<Figures> sessions;
  for (int s = 1; s <= options.sessions; ++s) {
    Figures f;
    const std::size_t runsBefore = countOf(log(), kItemSyncRunLine);
    const bool ok = deliver(toUtf8(kHostStorePath), kHostMailSubject, s, kHostMailPerSession) && synchronize(f) &&
                    (f.itemRuns = static_cast<int>(countOf(log(), kItemSyncRunLine) - runsBefore), true) &&
                    (f.driveItems = itemsOf(kDriveStorePath, "").first, f.hostItems = itemsOf(toUtf8(kHostStorePath), "").first, true) &&
                    logIn(pid, drive / "Kipo.html", f) && deliver(kDriveStorePath, kDriveMailSubject, s, kDriveMailPerSession) &&
                    logOut(pid, f);
    if (!ok) {
      std::printf("session %d stopped at: %s\n", s, g_failure.c_str());
      std::printf("%s\n%s\n", Person::trayText().c_str(), tool({"ui", "list"}).c_str());
      std::string text = log();
      for (std::size_t at; (at = text.find("<br>")) != std::string::npos;) text.replace(at, 4, "\n");
      std::printf("log (end):\n%s\n", text.substr(text.size() > 6000 ? text.size() - 6000 : 0).c_str());
      break;
    }
    sessions.push_back(f);
    std::printf("%7d %8.0f%c %8.0f%c %9.0f %9.0f %9.0f %11ld %11ld %11ld %6d %5d %5s %7d %7d\n", s, f.calcMs,
                f.inboxTicked ? '+' : ' ', f.syncMs, f.upToDate ? '=' : ' ', f.loginMs, f.uncoverMs, f.logoutMs, f.afterLogin.rss,
                f.afterLogout.rss, f.afterLogout.hwm, f.clicks, f.itemRuns, f.storeCarried ? "yes" : "no", f.driveItems,
                f.hostItems);
    std::fflush(stdout);
  }

  const auto [driveFiles, driveBytes] = countFiles(drive / "Synchronized Computers" / kComputer);
  std::printf("\ndrive: %ld files, %llu bytes for %s; store carried: %s; nickname asked %d time(s)\n", driveFiles, driveBytes,
              kComputer, anyStoreFile(drive / "Synchronized Computers") ? "yes (a .pst on the drive)" : "no (no .pst on the drive)",
              g_nicknamesAnswered);
  // Mail that arrived on one side has reached the other: the host's in the drive's file after
  // each session's sync, the drive's on the host after the next session's sync.
  const int done = static_cast<int>(sessions.size());
  const auto [hostItems, driveMailOnHost] = itemsOf(toUtf8(kHostStorePath), kDriveMailSubject);
  const auto [driveItems, hostMailOnDrive] = itemsOf(kDriveStorePath, kHostMailSubject);
  std::printf("stores: drive %d -> %d items, host %d -> %d items; host mail on the drive %d of %d, drive mail on the host "
              "%d of %d (the last session's arrives with the next sync)\n",
              driveItemsBefore, driveItems, hostItemsBefore, hostItems, hostMailOnDrive, done * kHostMailPerSession,
              driveMailOnHost, std::max(0, done - 1) * kDriveMailPerSession);
  int copyLater = 0;
  for (const Figures& f : sessions) copyLater += f.copyLaterAsked;
  std::printf("the question whether to leave many items on the drive for later came %d time(s), answered No\n", copyLater);
  std::printf("logins with Outlook on the drive's Kipo.pst: %d of %d\n",
              static_cast<int>(std::count_if(sessions.begin(), sessions.end(), [](const Figures& f) { return f.storeCarried; })), done);
  if (!sessions.empty()) {
    const Figures& first = sessions.front();
    const Figures& last = sessions.back();
    std::printf("RSS after the first login %ld KiB, after the last login %ld KiB (%.3f), at the end %ld KiB (%.3f); peak %ld KiB\n",
                first.afterLogin.rss, last.afterLogin.rss, double(last.afterLogin.rss) / double(first.afterLogin.rss),
                last.afterLogout.rss, double(last.afterLogout.rss) / double(first.afterLogin.rss), last.afterLogout.hwm);
    printGrowth(first.mappingsAfterLogin, last.mappingsAfterLogout);
    std::vector<double> calc, sync, login, uncover, logout;
    for (const Figures& f : sessions) {
      calc.push_back(f.calcMs);
      sync.push_back(f.syncMs);
      login.push_back(f.loginMs);
      uncover.push_back(f.uncoverMs);
      logout.push_back(f.logoutMs);
    }
    printSeries("login", login);
    printSeries("login to uncover end", uncover);
    printSeries("logout", logout);
    printSeries("sync calculation", calc);
    printSeries("sync run", sync);
    // The first run copies the whole tree; the others find nothing to do.
    if (sync.size() > 1) printSeries("sync run (2nd on)", {sync.begin() + 1, sync.end()});
    printSeries("kipo-host start", toolStarts);
  }

  // Quit through the tray menu, then the host goes.
  Person::openTrayMenu();
  Person::pickMenuCommand(339);
  if (!kipo.waitEnd(60)) std::fprintf(stderr, "Kipo did not quit\n");
  eventually([] { return FindWindowW(kFrameClass, nullptr) == nullptr; }, 60);
  kipotest::runTool({"shutdown"});
  std::error_code ec;
  fs::remove_all(drive, ec);
  return sessions.size() == static_cast<std::size_t>(options.sessions) ? 0 : 1;
}

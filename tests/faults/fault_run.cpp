// A fault run: the host's layout, the session with its fault, the recovery and the checks.
#include "tests/faults/fault_run.h"

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <random>
#include <set>
#include <sstream>
#include <thread>

#include "platform/base/text.h"
#include "platform/host/host.h"
#include "platform/host/paths.h"
#include "platform/win32/win32.h"
#include "tests/faults/host_state.h"
#include "tests/faults/kipo_session.h"
#include "tests/support/test_host.h"

namespace faults {

namespace fs = std::filesystem;
using platform::text::fromUtf8;
using platform::text::toUtf8;

namespace {

constexpr char kSerial[] = "4B1D0E5A";
constexpr char kCapacity[] = "1073741824";
constexpr char kUserFolder[] = "Documents and Settings/Robin";
constexpr char kComputerFolder[] = "Synchronized Computers/ALPHA";
constexpr char kStorePath[] =
    "C:\\Documents and Settings\\Robin\\Local Settings\\Application Data\\Microsoft\\Outlook\\Outlook.pst";
// The user's mail on the drive, which the host's Outlook works on while the user is logged in and
// which the synchronization keeps in step with the host's own store for the carried folders.
constexpr char kDriveStorePath[] = "E:\\Synchronized Computers\\ALPHA\\Outlook\\Kipo.pst";
constexpr char kOutlookPrefsKey[] = "HKCU\\Software\\Brackwater\\Kipo\\Prefs\\Synchronized Computers\\ALPHA\\Outlook";
// The folders the synchronization carries (with their subfolders).
const std::vector<std::string> kCarriedFolders = {"Inbox", "Sent Items"};
// A host file the user keeps hidden: the session must leave its attribute as it was.
constexpr char kHiddenFile[] = "Desktop/desktop notes.txt";
// The session's mail: delivered while logged in; and the drive's item the user files into a
// folder of the host's tree.
const std::vector<std::string> kSessionMail = {"Trip to the coast", "Minutes of Monday"};
constexpr char kMovedItem[] = "Carried along";
constexpr char kMovedTo[] = "Inbox/Projects";
constexpr char kNewFolder[] = "Inbox/Trips";
constexpr char kRecoverLine[] = "handleStartupAction: Recover";
constexpr char kHoldingFolderPrefix[] = "Kipo Recovered Items";
// Never reached: a fault with this first call only counts the calls it matches.
constexpr std::uint32_t kCountOnly = 4000000000u;

std::uint32_t msSince(std::chrono::steady_clock::time_point t) {
  return static_cast<std::uint32_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t).count());
}

void pause(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::size_t countOf(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

void writeFile(const fs::path& p, const std::string& bytes) {
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary | std::ios::trunc) << bytes;
}

// Bytes no copy could make up: a part of them never hashes as the whole.
std::string noise(std::mt19937_64& rng, std::size_t size) {
  std::string s(size, '\0');
  for (char& c : s) c = static_cast<char>(rng() & 0xFF);
  return s;
}

int hostTool(const std::vector<std::string>& args, std::string* err = nullptr) {
  std::string out;
  return kipotest::runTool(args, &out, err);
}

std::string toolOut(const std::vector<std::string>& args) {
  std::string out;
  kipotest::runTool(args, &out);
  return out;
}

// Processes of the host by image name.
int processCount(const std::string& image) {
  std::string out = toolOut({"ps"});
  int n = 0;
  for (std::size_t at = out.find(image); at != std::string::npos; at = out.find(image, at + 1))
    if (at > 0 && out[at - 1] == ' ') ++n;
  return n;
}

// A store's folders and items as `kipo-host mapi dump` prints them: folder path ("/" between the
// names, "" for the top of the tree) -> the subjects of its items.
using MailTree = std::map<std::string, std::multiset<std::string>>;

bool dumpStore(const std::string& store, MailTree& tree, std::string& err) {
  std::string out;
  tree.clear();
  if (kipotest::runTool({"mapi", "dump", store}, &out, &err) != 0) return false;
  std::vector<std::string> at;  // the folder names down to the current line's depth
  std::istringstream in(out);
  tree[""];
  for (std::string line; std::getline(in, line);) {
    const std::size_t indent = line.find_first_not_of(' ');
    if (indent == std::string::npos) continue;
    const std::size_t depth = indent / 2;
    const std::size_t space = line.find(' ', indent);
    const std::string word = line.substr(indent, space == std::string::npos ? std::string::npos : space - indent);
    const std::string rest = space == std::string::npos ? std::string() : line.substr(space + 1);
    if (at.size() > depth) at.resize(depth);
    auto path = [&] {
      std::string p;
      for (const std::string& name : at) p += (p.empty() ? "" : "/") + name;
      return p;
    };
    if (word == "folder") {
      at.push_back(rest);
      tree[path()];
    } else if (word == "item") {
      // "item CLASS SUBJECT": the class has no spaces.
      const std::size_t split = rest.find(' ');
      tree[path()].insert(split == std::string::npos ? std::string() : rest.substr(split + 1));
    }
  }
  return true;
}

bool carried(const std::string& folder) {
  for (const std::string& top : kCarriedFolders)
    if (folder == top || folder.rfind(top + "/", 0) == 0) return true;
  return false;
}

// The folders of a store holding an item of that subject.
std::vector<std::string> foldersOf(const MailTree& tree, const std::string& subject) {
  std::vector<std::string> where;
  for (const auto& [folder, subjects] : tree)
    for (std::size_t n = subjects.count(subject); n > 0; --n) where.push_back(folder);
  return where;
}

std::string joined(const std::vector<std::string>& parts) {
  std::string all;
  for (const std::string& p : parts) all += (all.empty() ? "\"" : ", \"") + p + "\"";
  return all.empty() ? "nowhere" : all;
}

// The Linux folder the user's Desktop is now, as the shell folders say (a login may point it
// elsewhere).
fs::path currentDesktop() {
  HKEY key = nullptr;
  std::u16string path = u"C:\\Documents and Settings\\Robin\\Desktop";
  if (RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders", 0,
                    KEY_READ, &key) == ERROR_SUCCESS) {
    WCHAR data[1024] = {};
    DWORD type = 0, size = sizeof data - 2;
    if (RegQueryValueExW(key, u"Desktop", nullptr, &type, reinterpret_cast<BYTE*>(data), &size) == ERROR_SUCCESS) {
      WCHAR expanded[1024] = {};
      if (ExpandEnvironmentStringsW(data, expanded, 1024) > 0) path = expanded;
    }
    RegCloseKey(key);
  }
  return fs::path(platform::host::resolvePath(path).linux);
}

// Cancels a kill by time when the session ends first.
class KillTimer {
 public:
  KillTimer(KipoSession& session, std::uint32_t delayMs) : thread_([this, &session, delayMs] {
      std::unique_lock<std::mutex> lock(mutex_);
      if (!done_.wait_for(lock, std::chrono::milliseconds(delayMs), [this] { return cancelled_; })) {
        fired_ = session.running();
        session.kill();
      }
    }) {}
  ~KillTimer() { cancel(); }
  void cancel() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      cancelled_ = true;
    }
    done_.notify_all();
    if (thread_.joinable()) thread_.join();
  }
  bool fired() const { return fired_; }

 private:
  std::mutex mutex_;
  std::condition_variable done_;
  bool cancelled_ = false;
  bool fired_ = false;
  std::thread thread_;
};

class Run {
 public:
  Run(const RunSpec& spec, const fs::path& templateHost, const fs::path& folder, const fs::path& program)
      : spec_(spec), rng_(spec.seed), host_(folder / "host"), drive_(folder / "drive"), program_(program) {
    fs::copy(templateHost, host_, fs::copy_options::recursive);
    // The counters page belongs to the template's processes; a copy starts its own.
    std::error_code ec;
    fs::remove(host_ / "shm" / "counters", ec);
    fs::create_directories(drive_);
    ::setenv("KIPO_HOST", host_.c_str(), 1);
    platform::host::Host::reopen();
    hostTool({"install"});
    WCHAR appData[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, 0, appData);
    session_ = std::make_unique<KipoSession>(std::u16string(appData) + u"\\Brackwater\\Kipo\\", drive_);
  }
  ~Run() {
    kipotest::runTool({"shutdown", "--timeout", "10"});
    platform::host::Host::reopen();
    ::unsetenv("KIPO_HOST");
  }

  RunResult go() {
    try {
      if (layOut()) {
        if (spec_.mode == Mode::Pull || spec_.mode == Mode::CleanPull)
          pullRun();
        else
          crashRun();
      }
    } catch (const std::exception& e) {
      fail(std::string("the runner threw: ") + e.what());
    }
    if (result_.failure.empty() && !inconclusive_) result_.passed = true;
    for (const SeenDialog& d : session_->dialogs())
      result_.log.push_back("dialog \"" + d.caption + "\" [" + d.texts + "]: " + d.action);
    return result_;
  }

 private:
  void note(const std::string& line) { result_.log.push_back(line); }
  void fail(const std::string& what) {
    if (result_.failure.empty()) result_.failure = what;
  }
  bool failStep(const std::string& step) {
    fail(step + ": " + session_->failure());
    return false;
  }
  fs::path c(const std::string& rel) const { return host_ / "C" / rel; }
  fs::path computerFolder() const { return drive_ / kComputerFolder; }

  // The host as a user has it, and the drive with this computer's folder, so that the login
  // panel lists the computer.
  bool layOut() {
    std::string err;
    if (hostTool({"plug", "E:", "--folder", drive_.string(), "--serial", kSerial, "--capacity", kCapacity}, &err) != 0) {
      fail("plug: " + err);
      return false;
    }
    fs::copy_file(program_, drive_ / "Kipo.exe", fs::copy_options::overwrite_existing);
    fs::create_directories(computerFolder());
    if (hostTool({"boot"}, &err) != 0) {
      fail("boot: " + err);
      return false;
    }
    // The host's Outlook, so that the Outlook snap-ins take part in the session.
    if (hostTool({"outlook", "set", "--version", "2003"}, &err) != 0) {
      fail("outlook set: " + err);
      return false;
    }
    hostTool({"browse", "http://www.example.org/"});
    const std::string user = kUserFolder;
    writeFile(c(user + "/Desktop/report.txt"), "the host's own report\n");
    writeFile(c(user + "/Desktop/photo.bin"), noise(rng_, 300 * 1024));
    writeFile(c(user + "/My Documents/plans/plan.txt"), "the host's plan\n");
    writeFile(c(user + "/Favorites/Example.url"), "[InternetShortcut]\r\nURL=http://www.example.org/\r\n");
    for (const auto& [key, name, data] : std::vector<std::array<std::string, 3>>{
             {"HKCU\\Control Panel\\Desktop", "Wallpaper", "C:\\WINDOWS\\Web\\Wallpaper\\Bliss.bmp"},
             {"HKCU\\Software\\Microsoft\\Internet Explorer\\Main", "Start Page", "http://www.example.org/"},
             {"HKCU\\Software\\Brackwater\\Kipo\\Prefs", "allowLoginThisComputer", "true"}})
      if (hostTool({"reg", "set", key, name, "--type", "REG_SZ", "--data", data}, &err) != 0) {
        fail("reg set " + key + ": " + err);
        return false;
      }
    // Mail: the host's own store and profile, which a session must leave as they were.
    fs::path description = host_.parent_path() / "store.txt";
    writeFile(description,
              "folder Inbox\nitem IPM.Note Weekly report\nitem IPM.Note Lunch on Friday\n"
              "folder Inbox/Projects\nitem IPM.Note Plan\nfolder Sent Items\nitem IPM.Note Re: Weekly report\n");
    fs::create_directories(c(user + "/Local Settings/Application Data/Microsoft/Outlook"));
    if (hostTool({"mapi", "make", kStorePath, "--from", description.string()}, &err) != 0 ||
        hostTool({"mapi", "profile", "add", "Outlook", "--pst", kStorePath, "--default"}, &err) != 0) {
      fail("mail store: " + err);
      return false;
    }
    // The user's mail on the drive, and the folders the synchronization carries between it and
    // the host's store.
    fs::path driveDescription = host_.parent_path() / "drive-store.txt";
    writeFile(driveDescription, "folder Inbox\nitem IPM.Note " + std::string(kMovedItem) +
                                    "\nfolder Inbox/Projects\nfolder Sent Items\nitem IPM.Note Sent from the drive\n");
    fs::create_directories(computerFolder() / "Outlook");
    if (hostTool({"mapi", "make", kDriveStorePath, "--from", driveDescription.string()}, &err) != 0) {
      fail("the drive's mail store: " + err);
      return false;
    }
    std::vector<std::array<std::string, 4>> prefs = {
        {"", "synchronize", "REG_SZ", "true"},
        {"", "numOutlookSyncPrefs", "REG_DWORD", std::to_string(kCarriedFolders.size())}};
    for (std::size_t i = 0; i < kCarriedFolders.size(); ++i) {
      const std::string record = "\\OutlookSyncPref" + std::to_string(i);
      for (const auto& [name, type, data] : std::vector<std::array<std::string, 3>>{
               {"itemPath", "REG_SZ", kCarriedFolders[i]}, {"folderId", "REG_SZ", ""},
               {"recursive", "REG_SZ", "true"}, {"synchronize", "REG_SZ", "true"},
               {"includeRecentItems", "REG_SZ", "false"}, {"daysOld", "REG_DWORD", "30"},
               {"limitAttachmentSize", "REG_SZ", "false"}, {"maxAttachmentSizeKb", "REG_DWORD", "100"},
               {"conflictResolution", "REG_DWORD", "0"}})
        prefs.push_back({record, name, type, data});
    }
    for (const auto& [subkey, name, type, data] : prefs)
      if (hostTool({"reg", "set", kOutlookPrefsKey + subkey, name, "--type", type, "--data", data}, &err) != 0) {
        fail("the Outlook preferences: " + err);
        return false;
      }
    // A file the user keeps hidden on the Desktop.
    writeFile(c(user + "/" + kHiddenFile), "notes kept out of sight\n");
    if (hostTool({"attrib", hiddenFilePath(), "+H"}, &err) != 0) {
      fail("attrib: " + err);
      return false;
    }
    return true;
  }

  static std::string hiddenFilePath() {
    std::string path = "C:\\" + std::string(kUserFolder) + "/" + kHiddenFile;
    for (char& ch : path)
      if (ch == '/') ch = '\\';
    return path;
  }

  // ---- crash mode ----

  void crashRun() {
    if (!session_->start()) {
      failStep("start-up");
      return;
    }
    // Half the runs come to a computer the drive was synchronized with before (so that the
    // session's synchronization moves what was moved, mail included); the others make their
    // first synchronization in the session.
    if (spec_.seed % 2 == 1) {
      if (!session_->synchronize()) {
        failStep("the synchronization before the session");
        return;
      }
      note("synchronized before the session");
      pause(3000);  // edits within two seconds of a copy would go unseen by design (see pullRun)
    }
    before_ = capture();
    if (!result_.failure.empty()) return;

    const bool byCall = spec_.mode == Mode::Crash && !spec_.point.call.empty();
    const bool byTime = spec_.mode == Mode::Crash && spec_.point.call.empty();
    if (spec_.mode == Mode::Clean) addCountingFaults(killCalls());
    if (byCall) {
      std::string err;
      if (hostTool({"fault", "add", spec_.point.call, "--kill", "--nth", std::to_string(spec_.point.nth), "--count", "1"},
                   &err) != 0) {
        fail("fault add: " + err);
        return;
      }
    }
    const std::size_t recoveriesBefore = countOf(session_->log(), kRecoverLine);
    auto began = std::chrono::steady_clock::now();
    bool completed = false;
    {
      std::unique_ptr<KillTimer> timer;
      if (byTime) timer = std::make_unique<KillTimer>(*session_, spec_.point.delayMs);
      completed = session(true);
      if (timer) timer->cancel();
    }
    result_.sessionMs = msSince(began);
    if (spec_.mode == Mode::Clean) readCounts();
    const bool killed = !session_->running();
    const bool actedElsewhere = byCall && !killed && faultSeen() >= spec_.point.nth;
    hostTool({"fault", "clear"});
    if (actedElsewhere) {
      // Another program of the host made that call: the kill is not this run's question, and
      // what follows the death of that program is not the product's.
      result_.strikeNote = "the kill hit another process";
      note(result_.strikeNote);
      if (!completed) {
        inconclusive_ = true;
        result_.failure.clear();
        return;
      }
    }

    if (spec_.mode != Mode::Clean && killed) {
      result_.struck = true;
      note("killed during: " + step_);
      result_.failure.clear();  // the step the kill interrupted did not fail
      if (!awaitRecovery(recoveriesBefore)) return;
      // The person starts the program again and repeats the session.
      if (!session_->start()) {
        failStep("the start after the recovery");
        return;
      }
      if (!session(false)) return;
    } else if (!completed) {
      return;  // the failure is set
    } else if (spec_.mode == Mode::Crash && !actedElsewhere) {
      note(byCall ? "the kill point was not reached" : "the session ended before the kill");
    }
    checkAfterSession();
  }

  // Login, edits on both sides, logout (which brings the drive up to date), and a
  // synchronization (the logged-in tray menu offers none). `first`: the first time through.
  bool session(bool first) {
    step_ = "login";
    if (!session_->logIn()) return failStep("login");
    step_ = "edits";
    if (!edit(first)) return false;
    step_ = "logout";
    if (!session_->logOut()) return failStep("logout");
    step_ = "synchronization";
    auto syncBegan = std::chrono::steady_clock::now();
    if (!session_->synchronize()) return failStep("synchronization");
    result_.syncMs = msSince(syncBegan);
    step_ = "after the synchronization";
    return true;
  }

  // What the user makes during the session: a file on the Desktop wherever it now is, a document,
  // and a file in this computer's folder on the drive. A repeated session makes them again (the
  // person does the work again) only where they are not.
  bool edit(bool first) {
    auto make = [&](const fs::path& where, const std::string& bytes) {
      if (!first && fs::exists(where)) return;
      writeFile(where, bytes);
      made_.emplace(where.filename().string(), hashBytes(bytes));
      note("made " + where.string());
    };
    make(currentDesktop() / "session-desktop.txt", "made on the Desktop during the session\n");
    make(c(std::string(kUserFolder) + "/My Documents/session-letter.txt"), "a letter written during the session\n");
    make(computerFolder() / "Desktop" / "session-drive.txt", "put on the drive during the session\n");
    return editMail();
  }

  // The session's mail, in the drive's store that the host's Outlook is on while the user is
  // logged in: mail arrives, a folder is made and an item filed into another folder. A repeated
  // session does again only what is not there.
  bool editMail() {
    MailTree now;
    std::string err;
    auto tool = [&](const std::vector<std::string>& args, const std::string& what) {
      if (hostTool(args, &err) == 0) {
        note(what);
        return true;
      }
      fail(what + ": " + err);
      return false;
    };
    if (!dumpStore(kDriveStorePath, now, err)) {
      fail("mapi dump of the drive's store during the session: " + err);
      return false;
    }
    for (const std::string& subject : kSessionMail)
      if (foldersOf(now, subject).empty() &&
          !tool({"mapi", "deliver", kDriveStorePath, "--from", "friend@example.org", "--subject", subject},
                "delivered \"" + subject + "\""))
        return false;
    if (!now.count(kNewFolder)) {
      fs::path description = host_.parent_path() / "new-folder.txt";
      writeFile(description, "folder " + std::string(kNewFolder) + "\n");
      if (!tool({"mapi", "make", kDriveStorePath, "--from", description.string()}, "made the folder " + std::string(kNewFolder)))
        return false;
    }
    if (foldersOf(now, kMovedItem) != std::vector<std::string>{kMovedTo} &&
        !tool({"mapi", "move", kDriveStorePath, kMovedItem, kMovedTo}, "moved \"" + std::string(kMovedItem) + "\" to " + kMovedTo))
      return false;
    return true;
  }

  bool awaitRecovery(std::size_t recoveriesBefore) {
    // The watcher starts the recovery run once the program has ended; both end by themselves.
    auto recovered = [&] {
      return countOf(session_->log(), kRecoverLine) > recoveriesBefore && processCount("Kipo.exe") == 0 &&
             processCount("Tolvane.exe") == 0;
    };
    for (int i = 0; i < 3000 && !recovered(); ++i) pause(20);
    if (!recovered()) {
      fail("no recovery run after the kill (" + std::to_string(processCount("Kipo.exe")) + " Kipo.exe, " +
           std::to_string(processCount("Tolvane.exe")) + " Tolvane.exe)\n" + session_->log());
      return false;
    }
    note("recovered");
    return true;
  }

  // How many calls the run's one fault has matched.
  std::uint32_t faultSeen() {
    std::string list = toolOut({"fault", "list"});
    std::size_t at = list.find(" seen=");
    return at == std::string::npos ? 0 : static_cast<std::uint32_t>(std::stoul(list.substr(at + 6)));
  }

  void addCountingFaults(const std::vector<std::string>& calls) {
    for (const std::string& call : calls)
      hostTool({"fault", "add", call, "--delay", "0", "--nth", std::to_string(kCountOnly)});
  }

  void readCounts() {
    std::istringstream in(toolOut({"fault", "list"}));
    for (std::string line; std::getline(in, line);) {
      std::istringstream words(line);
      std::string id, call;
      words >> id >> call;
      std::size_t at = line.find(" seen=");
      if (!call.empty() && at != std::string::npos)
        result_.callCounts[call] = static_cast<std::uint32_t>(std::stoul(line.substr(at + 6)));
    }
  }

  struct State {
    RegistryState registry;
    FileTree host;
    FileTree drive;
    MailTree hostMail;
    MailTree driveMail;
  };

  State capture() {
    State s;
    std::string err;
    s.registry = exportRegistry({"HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE"}, err);
    if (!err.empty()) fail(err);
    s.host = readTree(host_ / "C");
    s.drive = readTree(drive_);
    if (!dumpStore(kStorePath, s.hostMail, err)) fail("mapi dump of the host's store: " + err);
    if (!dumpStore(kDriveStorePath, s.driveMail, err)) fail("mapi dump of the drive's store: " + err);
    return s;
  }

  // The registry the program may legitimately leave changed after a session, each with its
  // reason. `key` is a key path, or a key path, a backslash and a quoted value name.
  bool registryIgnored(const std::string& key) const {
    static const std::vector<std::string> prefixes = {
        // The program's own preferences and state while it runs (loaded from and saved to the
        // pref file on the drive; the login state, the profiles of the computers, run times).
        "HKEY_CURRENT_USER\\SOFTWARE\\BRACKWATER\\KIPO",
        // A login to this computer makes it a computer of frequent use, which keeps the
        // program's autostart value from then on.
        "HKEY_CURRENT_USER\\SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\RUN\\\"KIPO\"",
        // The Active Desktop object records there the wallpaper the restore applied through it;
        // the host's own wallpaper setting (Control Panel\\Desktop) is compared.
        "HKEY_CURRENT_USER\\SOFTWARE\\MICROSOFT\\INTERNET EXPLORER\\DESKTOP\\",
        // The shell's cache of the Favorites folder: the restore of the user's own path clears
        // it so that the shell works it out again from "User Shell Folders".
        "HKEY_CURRENT_USER\\SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\EXPLORER\\SHELL FOLDERS\\\"FAVORITES\"",
        // The MAPI stand-in's record of the sessions open on each profile, by process: a killed
        // program cannot take its own out, and a dead process's record counts as no session.
        "HKEY_CURRENT_USER\\SOFTWARE\\MICROSOFT\\WINDOWS MESSAGING SUBSYSTEM\\SESSIONS\\",
        // The Outlook automation stand-in's log of the calls it was given (a recovery asks
        // Outlook to quit).
        "HKEY_LOCAL_MACHINE\\SOFTWARE\\MICROSOFT\\OFFICE\\OUTLOOK\\AUTOMATIONLOG",
    };
    for (const std::string& p : prefixes)
      if (key.compare(0, p.size(), p) == 0) return true;
    // A registry key snap-in leaves an empty key where the host had none of the key it carries
    // (its restore removes what the session made there); an empty key holds no setting.
    auto added = after_.registry.find(key);
    if (added != after_.registry.end() && !before_.registry.count(key) && added->second.empty()) return true;
    return false;
  }

  // Host files the program may legitimately leave or change, each with its reason.
  static bool hostFileIgnored(const std::string& path) {
    static const std::vector<std::string> prefixes = {
        // The program's installed folder: its start-up page and the helpers it copies in.
        "Documents and Settings/Robin/Application Data/Brackwater",
    };
    for (const std::string& p : prefixes)
      if (path.compare(0, p.size(), p) == 0) return true;
    return false;
  }

  bool isHolding(const std::string& path) const {
    return contains(path, std::string("/") + kHoldingFolderPrefix) || path.rfind(kHoldingFolderPrefix, 0) == 0;
  }

  // Whether a file of that name and content is somewhere in the tree.
  static bool holds(const FileTree& tree, const std::string& name, std::uint64_t hash,
                    const std::function<bool(const std::string&)>& where = {}) {
    for (const auto& [path, e] : tree)
      if (!e.folder && e.hash == hash && fs::path(path).filename() == name && (!where || where(path))) return true;
    return false;
  }

  // A file the user made during the session, by its name and content. A synchronization cut off
  // by a crash keeps both sides of the file it was copying: the copy comes back as the conflict
  // copy "name(N).ext" with the user's bytes, which counts as the user's file too.
  bool madeByUser(const FileTree& tree, const std::string& path) const {
    auto e = tree.find(path);
    if (e == tree.end() || e->second.folder) return false;
    const auto madeAs = [&](const std::string& name) {
      auto range = made_.equal_range(name);
      for (auto it = range.first; it != range.second; ++it)
        if (it->second == e->second.hash) return true;
      return false;
    };
    const fs::path file = fs::path(path).filename();
    if (madeAs(file.string())) return true;
    const std::string stem = file.stem().string();
    const std::size_t open = stem.rfind('(');
    if (open == std::string::npos || stem.size() < open + 3 || stem.back() != ')') return false;
    const std::string number = stem.substr(open + 1, stem.size() - open - 2);
    if (number.find_first_not_of("0123456789") != std::string::npos) return false;
    return madeAs(stem.substr(0, open) + file.extension().string());
  }

  void checkAfterSession() {
    after_ = capture();
    const State& after = after_;
    if (!result_.failure.empty()) return;
    auto regDiff = compareRegistry(before_.registry, after.registry, [&](const std::string& k) { return registryIgnored(k); });
    for (const std::string& d : regDiff)
      if (contains(d, "\\WINDOWS MESSAGING SUBSYSTEM\\PROFILES")) {
        fail("the host's MAPI profiles differ from their state before the login: " + d);
        break;
      }
    if (!regDiff.empty()) {
      fail("the host's registry differs from its state before the login: " + regDiff.front() + " (" +
           std::to_string(regDiff.size()) + " differences)");
      for (const auto& d : regDiff) note("registry " + d);
    }
    // This computer is the one the user logs in to: what the user made during the session may
    // stay on it (it is checked below to be on the drive too), or be in the holding folder where
    // a recovery set it aside. Nothing else may differ.
    auto hostDiff = compareTrees(before_.host, after.host, [&](const std::string& p) {
      return hostFileIgnored(p) || isHolding(p) || (!before_.host.count(p) && madeByUser(after.host, p)) ||
             p == hostStoreFile();
    });
    if (!hostDiff.empty()) {
      fail("the host's files differ from their state before the login: " + hostDiff.front() + " (" +
           std::to_string(hostDiff.size()) + " differences)");
      for (const auto& d : hostDiff) note("host file " + d);
    }
    // No file of the user lost: what was on the drive is there still, and what the user made is
    // on the drive or in the holding folder.
    for (const auto& [path, e] : before_.drive)
      if (!e.folder && path.rfind(std::string(kComputerFolder) + "/", 0) == 0 && path != driveStoreFile() &&
          !holds(after.drive, fs::path(path).filename().string(), e.hash))
        fail("a file of the drive is lost: " + path);
    for (const auto& [name, hash] : made_)
      if (!holds(after.drive, name, hash) && !holds(after.host, name, hash, [&](const std::string& p) { return isHolding(p); }))
        fail("the user's " + name + " is neither on the drive nor in the holding folder");
    checkMail();
    // A hidden attribute lost is reported after the other checks, so that it hides none of them.
    const DWORD attributes = GetFileAttributesW(fromUtf8(hiddenFilePath()).c_str());
    std::string unhidden;
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_HIDDEN))
      unhidden = "the host's hidden " + hiddenFilePath() + " is no longer hidden (attributes " +
                 (attributes == INVALID_FILE_ATTRIBUTES ? std::string("none: the file is gone") : std::to_string(attributes)) + ")";
    if (result_.failure.empty()) checkNoPlannedWork();
    if (!unhidden.empty()) {
      note(unhidden);
      fail(unhidden);
    }
  }

  // The two stores' files as the host and drive trees name them: their content is compared
  // instead of their bytes, since the synchronization carries mail into both by design.
  static std::string hostStoreFile() {
    std::string path = std::string(kStorePath).substr(3);
    for (char& ch : path)
      if (ch == '\\') ch = '/';
    return path;
  }
  static std::string driveStoreFile() { return std::string(kComputerFolder) + "/Outlook/Kipo.pst"; }

  // Every message of the session is on the drive once and in its folder, and the synchronization
  // has put the carried folders of the two stores in step: each message once on each side,
  // none lost, none made up. What lies outside the carried folders is as it was on both sides.
  void checkMail() {
    // Every difference goes to the log; the first is the run's failure.
    auto fail = [this](const std::string& what) {
      note(what);
      this->fail(what);
    };
    const MailTree& host = after_.hostMail;
    const MailTree& drive = after_.driveMail;
    // Where each message belongs: the carried folders' items of both sides from before the
    // login (a first synchronization brings those of the one to the other), the moved item in
    // its new folder, the session's mail in the Inbox.
    std::map<std::string, std::string> expected;
    for (const MailTree* side : {&before_.hostMail, &before_.driveMail})
      for (const auto& [folder, subjects] : *side)
        if (carried(folder))
          for (const std::string& subject : subjects) expected[subject] = folder;
    expected[kMovedItem] = kMovedTo;
    for (const std::string& subject : kSessionMail) expected[subject] = "Inbox";
    struct Side {
      std::string name;
      const MailTree* was;
      const MailTree* tree;
    };
    const std::vector<Side> sides = {{"drive's", &before_.driveMail, &drive}, {"host's", &before_.hostMail, &host}};
    for (const auto& [name, was, tree] : sides) {
      for (const auto& [subject, folder] : expected) {
        const std::vector<std::string> where = foldersOf(*tree, subject);
        if (where.empty())
          fail("the " + name + " mail store lost \"" + subject + "\"");
        else if (where.size() > 1)
          fail("the " + name + " mail store holds \"" + subject + "\" " + std::to_string(where.size()) + " times (in " +
               joined(where) + ")");
        else if (where.front() != folder)
          fail("the " + name + " mail store holds \"" + subject + "\" in " + joined(where) + ", not in \"" + folder + "\"");
      }
      for (const auto& [folder, subjects] : *tree)
        for (const std::string& subject : subjects)
          if (carried(folder) && !expected.count(subject))
            fail("the " + name + " mail store holds \"" + subject + "\" in \"" + folder + "\", which nobody made");
      if (!tree->count(kNewFolder)) fail("the " + name + " mail store has no folder " + kNewFolder);
    }
    for (const auto& [name, was, now] : sides) {
      auto outside = [](const MailTree& tree) {
        MailTree rest;
        for (const auto& [folder, subjects] : tree)
          if (!carried(folder)) rest.emplace(folder, subjects);
        return rest;
      };
      const MailTree a = outside(*was), b = outside(*now);
      if (a != b)
        for (const auto& [folder, subjects] : b)
          if (!a.count(folder) || a.at(folder) != subjects)
            fail("the " + name + " mail store's folder \"" + folder + "\" outside the carried ones changed: " +
                 std::to_string(subjects.size()) + " items, " + std::to_string(a.count(folder) ? a.at(folder).size() : 0) +
                 " before");
      for (const auto& [folder, subjects] : a)
        if (!b.count(folder)) fail("the " + name + " mail store lost its folder \"" + folder + "\"");
    }
  }

  // After a full run with nothing changed since, a synchronization has nothing to do.
  void checkNoPlannedWork() {
    std::string plan = session_->plannedWork();
    if (plan.empty()) {
      failStep("the synchronize dialog after the session");
      return;
    }
    note("plan:\n" + plan);
    std::vector<std::string> rows = plannedRows(plan);
    if (!rows.empty()) fail("the next synchronization plans work: " + rows.front() + " (" + std::to_string(rows.size()) + " rows)");
  }

  // The rows of the synchronize dialog's list of operations in a `ui list` listing.
  static std::vector<std::string> plannedRows(const std::string& listing) {
    std::vector<std::string> rows;
    std::istringstream in(listing);
    bool inList = false;
    for (std::string line; std::getline(in, line);) {
      std::size_t first = line.find_first_not_of(' ');
      if (first == std::string::npos) continue;
      if (line.compare(first, 8, "control ") == 0) inList = contains(line, "class=SysListView32");
      else if (inList && line.compare(first, 5, "item ") == 0) rows.push_back(line.substr(first));
    }
    return rows;
  }

  // ---- drive-pull mode ----

  void pullRun() {
    if (!session_->start()) {
      failStep("start-up");
      return;
    }
    // A first run carries the host's files to the drive and leaves the snapshots.
    if (!session_->synchronize()) {
      failStep("the first synchronization");
      return;
    }
    // Edits on both sides between the runs: new files and a changed one on each. They come more
    // than two seconds after the first run's copies: the file synchronizer counts times that close
    // as equal (a FAT drive keeps times to two seconds), so an edit in the same two seconds would
    // go unseen by design.
    pause(3000);
    const fs::path hostDesktop = c(std::string(kUserFolder) + "/Desktop");
    const fs::path driveDesktop = computerFolder() / "Desktop";
    std::map<std::string, std::set<std::uint64_t>> versions;
    auto remember = [&](const fs::path& p) {
      std::error_code ec;
      if (fs::is_regular_file(p, ec)) versions[p.filename().string()].insert(hashFile(p));
    };
    for (const fs::path& side : {hostDesktop, driveDesktop}) {
      std::error_code ec;
      for (const auto& entry : fs::directory_iterator(side, ec)) remember(entry.path());
    }
    auto make = [&](const fs::path& p, const std::string& bytes) {
      writeFile(p, bytes);
      remember(p);
    };
    make(hostDesktop / "host-new.bin", noise(rng_, 1536 * 1024));
    make(hostDesktop / "report.txt", "the host's own report, changed before the run\n" + noise(rng_, 64 * 1024));
    make(driveDesktop / "drive-new.bin", noise(rng_, 1536 * 1024));
    make(driveDesktop / "photo.bin", noise(rng_, 400 * 1024));

    // The pull: while the chosen call is held back, or at the chosen time.
    const std::size_t devicesBefore = countOf(session_->log(), "Device Cluster Size: ");
    const bool byCall = spec_.mode == Mode::Pull && !spec_.point.call.empty();
    std::string err;
    if (spec_.mode == Mode::CleanPull) addCountingFaults(pullCalls());
    if (byCall && hostTool({"fault", "add", spec_.point.call, "--delay", "4000", "--nth", std::to_string(spec_.point.nth),
                            "--count", "1"}, &err) != 0) {
      fail("fault add: " + err);
      return;
    }
    auto began = std::chrono::steady_clock::now();
    if (!session_->beginSynchronize()) {
      failStep("the synchronization to pull the drive from");
      return;
    }
    if (spec_.mode == Mode::CleanPull) {
      if (!session_->waitUntil([&] { return session_->runOver(); }, 300, "the end of the synchronization") ||
          !session_->settle()) {
        failStep("the synchronization");
        return;
      }
      result_.syncMs = msSince(began);
      readCounts();
      hostTool({"fault", "clear"});
    } else {
      bool held = false;
      if (!session_->waitUntil([&] {
            if (session_->runOver()) return true;
            if (byCall) return held = faultSeen() >= spec_.point.nth;
            return msSince(began) >= spec_.point.delayMs;
          }, 300, "the moment to pull the drive")) {
        failStep("the synchronization to pull the drive from");
        return;
      }
      result_.struck = byCall ? held : !session_->runOver();
      if (hostTool({"unplug", "E:"}, &err) != 0) {
        fail("unplug: " + err);
        return;
      }
      hostTool({"fault", "clear"});
      note(result_.struck ? "pulled during the run" : "pulled after the run had ended");
      if (!session_->settle()) {
        failStep("the program after the drive was pulled");
        return;
      }
      if (hostTool({"plug", "E:", "--folder", drive_.string(), "--serial", kSerial, "--capacity", kCapacity}, &err) != 0) {
        fail("plug back: " + err);
        return;
      }
      // The program opens the device again when it arrives.
      for (int i = 0; i < 1000 && countOf(session_->log(), "Device Cluster Size: ") <= devicesBefore; ++i) pause(20);
      if (!session_->settle()) {
        failStep("the program after the drive came back");
        return;
      }
      if (!session_->synchronize()) {
        failStep("the synchronization after the drive came back");
        return;
      }
    }
    // Both sides hold every file, each as one whole version, the same on both.
    for (const fs::path& side : {hostDesktop, driveDesktop}) {
      for (const auto& [name, hashes] : versions) {
        fs::path p = side / name;
        std::error_code ec;
        if (!fs::is_regular_file(p, ec)) {
          fail("lost: " + p.string());
          continue;
        }
        if (!hashes.count(hashFile(p))) fail("a part presented as the whole: " + p.string());
      }
      std::error_code ec;
      for (const auto& entry : fs::directory_iterator(side, ec))
        if (entry.is_regular_file() && !versions.count(entry.path().filename().string()) &&
            entry.path().filename() != "desktop.ini")
          fail("a file nobody made: " + entry.path().string());
    }
    for (const auto& [name, hashes] : versions) {
      std::error_code ec;
      if (fs::is_regular_file(hostDesktop / name, ec) && fs::is_regular_file(driveDesktop / name, ec) &&
          hashFile(hostDesktop / name) != hashFile(driveDesktop / name))
        fail("the two sides differ after the run: " + name);
    }
    checkNoPlannedWork();
  }

  RunSpec spec_;
  std::mt19937_64 rng_;
  fs::path host_, drive_, program_;
  std::unique_ptr<KipoSession> session_;
  RunResult result_;
  State before_, after_;
  std::string step_;
  bool inconclusive_ = false;
  std::multimap<std::string, std::uint64_t> made_;
};

}  // namespace

const char* modeName(Mode mode) {
  switch (mode) {
    case Mode::Clean: return "clean";
    case Mode::Crash: return "crash";
    case Mode::CleanPull: return "cleanpull";
    case Mode::Pull: return "pull";
  }
  return "?";
}

std::string KillPoint::text() const {
  if (call.empty()) return "after " + std::to_string(delayMs) + " ms";
  return call + " #" + std::to_string(nth);
}

const std::vector<std::string>& killCalls() {
  static const std::vector<std::string> calls = {
      // Registry writes
      "RegSetValueExW", "RegCreateKeyExW", "RegDeleteValueW", "RegDeleteKeyW", "SHDeleteKeyW", "SHCopyKeyW",
      // File operations
      "CreateFileW", "WriteFile", "SetEndOfFile", "FlushFileBuffers", "SetFileTime", "SetFileAttributesW",
      "CopyFileW", "MoveFileExW", "DeleteFileW", "CreateDirectoryW", "RemoveDirectoryW", "SHFileOperationW",
      // The MAPI stand-in's writing calls and folder listing
      "IMsgServiceAdmin::CreateMsgService", "IMsgServiceAdmin::ConfigureMsgService", "IMAPIFolder::CreateMessage",
      "IMessage::CopyTo", "IMessage::SaveChanges", "IMAPIFolder::DeleteMessages", "IMAPIFolder::CreateFolder",
      "IMAPIFolder::DeleteFolder", "IMessage::SubmitMessage", "IMAPIContainer::GetContentsTable"};
  return calls;
}

const std::vector<std::string>& pullCalls() {
  static const std::vector<std::string> calls = {"CreateFileW", "WriteFile", "SetEndOfFile", "FlushFileBuffers",
                                                  "SetFileTime", "SetFileAttributesW", "CopyFileW", "MoveFileExW",
                                                  "DeleteFileW", "CreateDirectoryW", "RemoveDirectoryW"};
  return calls;
}

RunResult runOne(const RunSpec& spec, const fs::path& templateHost, const fs::path& folder, const fs::path& program) {
  Run run(spec, templateHost, folder, program);
  return run.go();
}

}  // namespace faults

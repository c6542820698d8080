// The update check and the update against a loopback HTTP server the test starts and stops: the
// version file read within what arrived, the comparison with the program's own version, the
// installer download with its dialog (whole, short, missing, unsaved, cancelled on a stalled
// server) and the start of the installer copied to the drive.
#include "app/software_updater.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "app/device_sdk.h"
#include "app/folder_lookup.h"
#include "app/lingrove.h"
#include "app/registry.h"
#include "app/secure_drive_services.h"
#include "lang/ids.h"
#include "loopback_server.h"
#include "platform/afx/afxwin.h"
#include "platform/base/text.h"
#include "platform/host/module_format.h"
#include "platform/net/servers.h"
#include "platform/win32/controls/commctrl.h"
#include "tests/app/app_fixture.h"
#include "tests/support/ui_script.h"
#include "ui/download_dialog.h"

namespace {

namespace fs = std::filesystem;
namespace rsrc = platform::rsrc;
using kipotest::HttpRequest;
using kipotest::LoopbackServer;

// A resource-only module file with a version block of a.b.c.d (the program's own version).
void writeVersionedFile(const fs::path& file, WORD a, WORD b, WORD c, WORD d) {
  rsrc::FixedInfo fixed;
  fixed.fileVersionMS = (static_cast<DWORD>(a) << 16) | b;
  fixed.fileVersionLS = (static_cast<DWORD>(c) << 16) | d;
  auto block = rsrc::writeSimpleVersionInfo(fixed, 0x0409, 1200, {{u"FileVersion", u"x"}});
  auto bytes = rsrc::writeResourceFile({{rsrc::Id::of(rsrc::kTypeVersion), rsrc::Id::of(1), 0x0409, block}});
  fs::create_directories(file.parent_path());
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// A device whose secure area is open or closed, and whose answers can fail.
class AreaSdk : public CDeviceSdk {
 public:
  bool login(const CString&, bool& opened) override { return opened = false; }
  bool checkPassword(const CString&, bool& matches) override { return matches = false; }
  bool logout() override {
    ++logouts;
    if (logoutWorks) open = false;
    return logoutWorks;
  }
  bool changePassword(const CString&, const CString&, const CString&, bool& changed) override { return changed = false; }
  CString getStoredPassword() override { return CString(); }
  CString getDrivePath() override { return u"C:\\Drive\\"; }
  bool getCapacity(std::uint64_t& bytes) override { return bytes = 0, true; }
  bool getPublicAreaSize(std::uint64_t& bytes) override { return bytes = 0, true; }
  bool getSecureAreaSize(std::uint64_t& bytes) override { return bytes = 0, true; }
  bool hasSecureArea() override { return true; }
  bool format(const CString&, const CString&, int) override { return false; }
  bool removeSecureArea() override { return false; }
  bool isLoggedIn(bool& isOpen) override {
    isOpen = open;
    return stateKnown;
  }
  bool isLoggedOut(bool& closed) override { return closed = !open, true; }
  bool supportsLogin() override { return true; }
  bool supportsResize() override { return true; }
  void readDeviceInfo() override {}

  bool open = false;
  bool stateKnown = true;
  bool logoutWorks = true;
  int logouts = 0;
};

class DeviceServices : public CSecureDriveServices {
 public:
  DeviceServices() { setSecureDriveServices(this); }
  ~DeviceServices() override { setSecureDriveServices(nullptr); }
  CDeviceSdk* getDeviceSdk() override { return sdk; }
  CDeviceSdk* sdk = nullptr;
};

class SoftwareUpdaterTest : public apptest::AppTest {
 protected:
  SoftwareUpdaterTest() {
    installLanguages({"USA"});
    language = std::make_unique<Lingrove>(CString(u"USA"), FALSE);
    platform::net::addServer({u"update.test", "127.0.0.1"});
    setUpdateBaseUrl(base());
    CFolderLookup::setDevicePathSource([] { return CString(u"C:\\Drive\\"); });
    fs::create_directories(host.c("Drive"));
    fs::create_directories(host.c("Temp/Kipo"));
  }
  ~SoftwareUpdaterTest() override {
    setUpdateBaseUrl(kDefaultUpdateBaseUrl);
    CFolderLookup::setDevicePathSource({});
  }

  CString base(const std::string& tail = "/kipo") const {
    return CString(platform::text::fromUtf8("http://update.test:" + std::to_string(server.port()) + tail).c_str());
  }

  // Serves `reply` (raw bytes) for every request and notes the paths asked for.
  void serve(std::string reply) {
    std::lock_guard lock(mutex);
    replies = {std::move(reply)};
  }
  std::vector<std::string> paths() {
    std::lock_guard lock(mutex);
    return asked;
  }

  // Runs the download dialog for the target; the dialog ends by itself.
  bool download(const CString& target) {
    kipotest::UiScript ui;
    ui.dialog(IDD_DOWNLOAD).wait(30000);
    const bool result = downloadInstaller(target);
    ui.acceptFailures();
    return result;
  }

  std::vector<CString> boxTexts() const {
    std::vector<CString> texts;
    for (const MessageBoxRequest& b : boxes) texts.push_back(b.text);
    return texts;
  }
  bool shown(UINT id) const {
    CString wanted = loadResString(id);
    if (int arg = wanted.Find(u'%'); arg >= 0) wanted = wanted.Left(arg);
    for (const MessageBoxRequest& b : boxes) {
      if (!wanted.IsEmpty() && b.text.Find(wanted) == 0) return true;
    }
    return false;
  }

  CWinApp application{u"Kipo"};
  std::unique_ptr<Lingrove> language;
  std::mutex mutex;
  std::vector<std::string> replies{kipotest::httpReply(404, "Not Found", "none")};
  std::vector<std::string> asked;
  std::atomic<bool> stall{false};
  LoopbackServer server{[this](const HttpRequest& request, const LoopbackServer::Send& send) {
    std::string reply;
    {
      std::lock_guard lock(mutex);
      asked.push_back(request.path);
      reply = replies.front();
    }
    send(reply);
    if (stall) server.waitForStop(std::chrono::seconds(20));
  }};
};

std::string installerBytes(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 7 + 3);
  return bytes;
}

// ---- The version file ---------------------------------------------------------------------------

TEST_F(SoftwareUpdaterTest, VersionFileIsReadWithinWhatArrived) {
  struct Case {
    const char* what;
    std::string reply;
    bool ok;
    WORD parts[4];
  };
  const Case cases[] = {
      {"four numbers", kipotest::httpReply(200, "OK", "2 0 0 0\r\n"), true, {2, 0, 0, 0}},
      {"tabs and line ends between", kipotest::httpReply(200, "OK", "1\t12\r\n300 65535"), true, {1, 12, 300, 65535}},
      {"text after the fourth", kipotest::httpReply(200, "OK", "3 1 4 1 5 9"), true, {3, 1, 4, 1}},
      {"all zero is a failed check", kipotest::httpReply(200, "OK", "0 0 0 0"), false, {0, 0, 0, 0}},
      {"empty body", kipotest::httpReply(200, "OK", ""), false, {0, 0, 0, 0}},
      {"three numbers", kipotest::httpReply(200, "OK", "1 2 3"), false, {0, 0, 0, 0}},
      {"a number past 16 bits", kipotest::httpReply(200, "OK", "70000 1 1 1"), false, {0, 0, 0, 0}},
      {"not numbers", kipotest::httpReply(200, "OK", "<html>moved</html>"), false, {0, 0, 0, 0}},
      {"error status with numbers", kipotest::httpReply(404, "Not Found", "9 9 9 9"), false, {0, 0, 0, 0}},
      {"server error", kipotest::httpReply(500, "Oops", "9 9 9 9"), false, {0, 0, 0, 0}},
      // 4 numbers announced in 40 bytes, but only "7 7" arrives: nothing past it may be read.
      {"reply cut short", "HTTP/1.1 200 OK\r\nContent-Length: 40\r\nConnection: close\r\n\r\n7 7", false, {0, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    serve(c.reply);
    CSoftwareUpdater updater;
    updater.major = 42;  // a check that fails leaves no number of an earlier one
    EXPECT_EQ(updater.getServerVersionInfo(), c.ok);
    EXPECT_EQ(updater.major, c.parts[0]);
    EXPECT_EQ(updater.minor, c.parts[1]);
    EXPECT_EQ(updater.build, c.parts[2]);
    EXPECT_EQ(updater.revision, c.parts[3]);
  }
}

TEST_F(SoftwareUpdaterTest, ParsingNeverReadsPastTheGivenSize) {
  WORD parts[4] = {9, 9, 9, 9};
  // The buffer holds four numbers, but only the first 5 bytes were received.
  const char buffer[] = "1 2 3 4";
  EXPECT_FALSE(CSoftwareUpdater::parseVersionText(buffer, 5, parts));
  EXPECT_EQ(parts[0], 9) << "left unchanged";
  EXPECT_TRUE(CSoftwareUpdater::parseVersionText(buffer, 7, parts));
  EXPECT_EQ(parts[3], 4);
}

TEST_F(SoftwareUpdaterTest, VersionFileUrlJoinsWithOneSlashAndBreaksCaches) {
  serve(kipotest::httpReply(200, "OK", "1 0 0 0"));
  for (const std::string tail : {"/kipo", "/kipo/"}) {
    setUpdateBaseUrl(base(tail));
    CSoftwareUpdater updater;
    EXPECT_TRUE(updater.getServerVersionInfo());
  }
  const std::vector<std::string> asked = paths();
  ASSERT_EQ(asked.size(), 2u);
  const std::regex expected(R"(/kipo/update\.txt\?cacheBreak=[0-9A-F]{8})");
  for (const std::string& p : asked) EXPECT_TRUE(std::regex_match(p, expected)) << p;
  EXPECT_EQ(makeInstallerUrl(CString(u"http://h/kipo")), CString(u"http://h/kipo/Kipo.exe"));
  EXPECT_EQ(makeInstallerUrl(CString(u"http://h/kipo/")), CString(u"http://h/kipo/Kipo.exe"));
}

TEST_F(SoftwareUpdaterTest, TheOverrideValueRedirectsTheCheck) {
  serve(kipotest::httpReply(200, "OK", "5 6 7 8"));
  setUpdateBaseUrl(u"http://nowhere.test/kipo");
  CSoftwareUpdater updater;
  EXPECT_FALSE(updater.getServerVersionInfo()) << "a server the host does not list";
  CRegistry key(kUpdateOverrideKey, true, true);
  ASSERT_TRUE(key.setString(kUpdateOverrideValue, base("/other")));
  EXPECT_TRUE(updater.getServerVersionInfo());
  EXPECT_EQ(updater.revision, 8);
  EXPECT_EQ(paths().back().rfind("/other/update.txt?", 0), 0u);
}

TEST_F(SoftwareUpdaterTest, NewerOnlyWhenTheServerVersionIsGreater) {
  writeVersionedFile(programFolder() / "Kipo.exe", 1, 9, 9, 9);
  struct Case {
    const char* server;
    bool newer;
  };
  const Case cases[] = {{"2 0 0 0", true}, {"1 9 9 9", false}, {"1 9 10 0", true}, {"1 9 9 10", true},
                        {"1 10 0 0", true}, {"1 9 8 99", false}, {"1 0 5 0", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.server);
    serve(kipotest::httpReply(200, "OK", c.server));
    CSoftwareUpdater updater;
    bool newer = !c.newer;
    EXPECT_TRUE(updater.checkForUpdate(newer));
    EXPECT_EQ(newer, c.newer);
  }
  serve(kipotest::httpReply(200, "OK", "0 0 0 0"));
  CSoftwareUpdater updater;
  bool newer = true;
  EXPECT_FALSE(updater.checkForUpdate(newer));
  EXPECT_FALSE(newer);
}

// ---- The installer download --------------------------------------------------------------------

TEST_F(SoftwareUpdaterTest, AWholeInstallerIsSaved) {
  const std::string bytes = installerBytes(3 * CDownloadDlg::kChunkBytes + 17);
  serve(kipotest::httpReply(200, "OK", bytes));
  EXPECT_TRUE(download(u"C:\\Temp\\Kipo\\Kipo.exe"));
  EXPECT_EQ(host.read("Temp/Kipo/Kipo.exe"), bytes);
  ASSERT_FALSE(paths().empty());
  EXPECT_EQ(paths().back(), "/kipo/Kipo.exe");
  EXPECT_TRUE(boxes.empty());
}

TEST_F(SoftwareUpdaterTest, AFailedDownloadLeavesNoFileAndSaysSo) {
  struct Case {
    const char* what;
    std::string reply;
    CString target;
    UINT message;
  };
  const std::string half = installerBytes(CDownloadDlg::kChunkBytes);
  const Case cases[] = {
      {"reply cut short of its length",
       "HTTP/1.1 200 OK\r\nContent-Length: 20480\r\nConnection: close\r\n\r\n" + half, u"C:\\Temp\\Kipo\\Kipo.exe",
       IDS_DOWNLOAD_FAILED},
      {"no installer on the server", kipotest::httpReply(404, "Not Found", "no such file"),
       u"C:\\Temp\\Kipo\\Kipo.exe", IDS_DOWNLOAD_FAILED},
      {"target folder missing", kipotest::httpReply(200, "OK", half), u"C:\\Missing\\Kipo.exe",
       IDS_DOWNLOAD_NOT_SAVED},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    boxes.clear();
    host.write("Temp/Kipo/Kipo.exe", "an older download");
    serve(c.reply);
    EXPECT_FALSE(download(c.target));
    if (c.target == CString(u"C:\\Temp\\Kipo\\Kipo.exe")) {
      EXPECT_TRUE(host.gone("Temp/Kipo/Kipo.exe"));
    }
    EXPECT_TRUE(host.gone("Missing"));
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(shown(c.message)) << platform::text::toUtf8(boxes[0].text.view());
  }
}

TEST_F(SoftwareUpdaterTest, AReplyWithoutALengthIsTakenWhole) {
  const std::string bytes = installerBytes(25000);
  serve("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + bytes);
  EXPECT_TRUE(download(u"C:\\Temp\\Kipo\\Kipo.exe"));
  EXPECT_EQ(host.read("Temp/Kipo/Kipo.exe"), bytes);
}

TEST_F(SoftwareUpdaterTest, ProgressIsAWholePercentOfAKnownLength) {
  struct Case {
    LONG received, total;
    int percent;
  };
  const Case cases[] = {{0, 1, 0},       {500, 1000, 50},   {999, 1000, 99}, {1000, 1000, 99},
                        {10, 0, 0},      {10, -1, 0},       {0x7FFFFFFF, 0x7FFFFFFF, 99},
                        {0x40000000, 0x7FFFFFFF, 50}};
  for (const Case& c : cases) {
    EXPECT_EQ(CDownloadDlg::progressPercent(c.received, c.total), c.percent) << c.received << "/" << c.total;
  }
}

TEST_F(SoftwareUpdaterTest, CancelOnAStalledServerReturnsAtOnceAndDeletesThePart) {
  // Half of the installer arrives, then the server goes quiet.
  serve("HTTP/1.1 200 OK\r\nContent-Length: 20480\r\nConnection: close\r\n\r\n" +
        installerBytes(CDownloadDlg::kChunkBytes));
  stall = true;
  kipotest::UiScript ui;
  ui.dialog(IDD_DOWNLOAD).wait(1500).click(IDCANCEL);
  // Someone watching the box while the server is quiet sees half of the bar.
  LRESULT shownPercent = -1;
  std::thread watcher([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    HWND box = FindWindowW(nullptr, u"Kipo - Downloading...");
    if (box != nullptr) shownPercent = SendMessageW(GetDlgItem(box, IDC_DOWNLOAD_PROGRESS), PBM_GETPOS, 0, 0);
  });
  const auto started = std::chrono::steady_clock::now();
  EXPECT_FALSE(downloadInstaller(u"C:\\Temp\\Kipo\\Kipo.exe"));
  const auto took = std::chrono::steady_clock::now() - started;
  watcher.join();
  EXPECT_EQ(shownPercent, 50);
  EXPECT_LT(took, std::chrono::seconds(8)) << "the read blocked on the stalled server must end with Cancel";
  EXPECT_TRUE(host.gone("Temp/Kipo/Kipo.exe"));
  EXPECT_TRUE(boxes.empty()) << "a cancel is no failure to report";
}

// ---- Starting the installer --------------------------------------------------------------------

// A program that notes its command line in the folder it was started in (written aside and
// renamed, so that the test never reads it half written).
const std::string kNotingInstaller = "#!/bin/sh\nprintf '%s' \"$*\" > started.tmp && mv started.tmp started.txt\n";

bool waitForFile(const kipotest::TestHost& host, const std::string& relative) {
  for (int i = 0; i < 500 && !host.isFile(relative); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  return host.isFile(relative);
}

TEST_F(SoftwareUpdaterTest, RunUpdateInstallerSucceedsOnlyWhenTheProgramStarted) {
  host.write("Drive/Kipo.exe", kNotingInstaller);
  fs::create_directories(host.c("Drive/Empty"));
  struct Case {
    const char* what;
    CString path;
    bool started;
  };
  const Case cases[] = {
      {"the installer", u"C:\\Drive\\Kipo.exe", true},
      {"no such file (shell error 2)", u"C:\\Drive\\Empty\\Kipo.exe", false},
      {"no such folder (shell error 3)", u"C:\\Drive\\Gone\\Kipo.exe", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    boxes.clear();
    EXPECT_EQ(runUpdateInstaller(c.path), c.started);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(shown(IDS_UPDATE_STARTING));
  }
  ASSERT_TRUE(waitForFile(host, "Drive/started.txt"));
  EXPECT_EQ(host.read("Drive/started.txt"), "/update C:\\Drive\\");
}

TEST_F(SoftwareUpdaterTest, DownloadAndRunCopiesToTheDriveAndStartsTheCopy) {
  serve(kipotest::httpReply(200, "OK", kNotingInstaller));
  ASSERT_TRUE(download(u"C:\\Temp\\Kipo\\Kipo.exe"));
  AreaSdk sdk;
  sdk.open = true;
  DeviceServices services;
  services.sdk = &sdk;
  EXPECT_TRUE(downloadAndRunUpdate(u"C:\\Temp\\Kipo\\Kipo.exe"));
  EXPECT_EQ(sdk.logouts, 1) << "the secure area is closed before the drive is written";
  EXPECT_EQ(host.read("Drive/Kipo.exe"), kNotingInstaller);
  ASSERT_TRUE(waitForFile(host, "Drive/started.txt"));
  EXPECT_EQ(host.read("Drive/started.txt"), "/update C:\\Drive\\");
}

TEST_F(SoftwareUpdaterTest, DownloadAndRunRefusesWithoutACompleteDownloadOrAClosedArea) {
  AreaSdk sdk;
  DeviceServices services;
  services.sdk = &sdk;
  struct Case {
    const char* what;
    bool downloaded, open, stateKnown, logoutWorks;
    UINT message;
  };
  const Case cases[] = {
      {"nothing downloaded", false, false, true, true, IDS_UPDATE_NOT_FOUND},
      {"area state unknown", true, false, false, true, IDS_SECURE_AREA_STATE_UNKNOWN},
      {"area does not close", true, true, true, false, IDS_SECURE_AREA_NOT_CLOSED},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    boxes.clear();
    if (c.downloaded) {
      host.write("Temp/Kipo/Kipo.exe", kNotingInstaller);
    } else {
      fs::remove(host.c("Temp/Kipo/Kipo.exe"));
    }
    sdk.open = c.open;
    sdk.stateKnown = c.stateKnown;
    sdk.logoutWorks = c.logoutWorks;
    EXPECT_FALSE(downloadAndRunUpdate(u"C:\\Temp\\Kipo\\Kipo.exe"));
    EXPECT_TRUE(host.gone("Drive/Kipo.exe")) << "nothing copied";
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(shown(c.message)) << platform::text::toUtf8(boxes[0].text.view());
  }
}

}  // namespace

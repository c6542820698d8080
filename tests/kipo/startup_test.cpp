// "Kipo.exe" on a host, end to end: a start with a drive builds the hidden frame, starts the
// watcher, writes the login page and the log and puts the helpers on the drive; every way start-up
// ends that a host can set up ends with its message and leaves the host as it was; a second
// start is refused without disturbing the first; a recovery run does nothing else.
#include <gtest/gtest.h>

#include "tests/kipo/kipo_fixture.h"

namespace {

using namespace kipo;

bool anyBoxSays(const std::vector<SeenBox>& boxes, const std::string& part) {
  for (const SeenBox& box : boxes)
    if (contains(utf8(box.text), part)) return true;
  return false;
}

std::string boxTexts(const std::vector<SeenBox>& boxes) {
  std::string all;
  for (const SeenBox& box : boxes) all += "[" + utf8(box.caption) + "] " + utf8(box.text) + "\n";
  return all;
}

TEST_F(KipoTest, AHandoffStartBuildsTheHiddenFrameAndPreparesHostAndDrive) {
  setString(HKEY_CURRENT_USER, kRun, u"Kipo", u"\"C:\\old\\Kipo.exe\" /launch");
  Started kipo = startKipo(u"/handoff E:\\");
  HWND frame = waitForFrame(kipo);
  ASSERT_NE(frame, nullptr) << log();

  // The frame: hidden, disabled, found by its class from another process.
  EXPECT_FALSE(IsWindowVisible(frame));
  EXPECT_FALSE(IsWindowEnabled(frame));
  EXPECT_EQ(FindWindowW(kFrameClass, nullptr), frame);

  // The watcher runs with this process's id; the autostart value is gone.
  EXPECT_EQ(countProcesses("Tolvane.exe"), 1);
  std::string ps;
  kipotest::runTool({"ps"}, &ps);
  EXPECT_TRUE(contains(ps, "Tolvane.exe\" " + std::to_string(kipo.pid))) << ps;
  EXPECT_EQ(readString(HKEY_CURRENT_USER, kRun, u"Kipo"), u"<missing>");

  // The handed-over drive became the stored one, and its letter is published machine-wide.
  EXPECT_EQ(readString(HKEY_CURRENT_USER, kInstallKey, u"devicePath"), u"E:\\");
  EXPECT_EQ(readString(HKEY_LOCAL_MACHINE, u"System\\CurrentControlSet\\Control\\Session Manager\\Environment",
                       u"KIPO_DRIVE"),
            u"E");

  // The login page, byte for byte around the texts of the language library.
  std::string page = slurp(linuxPath(productFolder_ + u"nologin.html"));
  EXPECT_EQ(page.rfind("<HTML>\r\n<META http-equiv=\"Content-Type\" content=\"text/html;charset=UTF-8\">\r\n"
                       "<TITLE>Kipo Nologin.html File</TITLE>\r\n\r\n<BODY>\r\n<style type=\"text/css\"></style>\r\n"
                       "<p class=Normal>\r\n<center>\r\nFirst synchronize this computer.",
                       0),
            0u)
      << page;
  EXPECT_TRUE(contains(page, "<a href=\"**qx_synchronize\">\r\nSynchronize now</a>\r\n</p></center>\r\n</BODY>\r\n</HTML>\r\n"))
      << page;

  // The helpers went to the drive, and the log is on it.
  EXPECT_TRUE(fs::is_regular_file(drive_ / "Varrick.exe"));
  EXPECT_EQ(slurp(drive_ / "kipo.xml"), slurp(linuxPath(productFolder_ + u"kipo.xml")));
  std::string text = log();
  for (const char* line : {"handleStartupAction: Handoff<br>", "App version: 1.0.0.1<br>", "Windows version: 5.1<br>",
                           "Internet Explorer  version: 6.0.2900.2180<br>", "Device Path: E:\\<br>",
                           "Device Cluster Size: "})
    EXPECT_TRUE(contains(text, line)) << line << "\n" << text;

  // The close may come while the start-up synchronization runs: it waits for the run to stop,
  // never destroying the document or the view under it.
  ASSERT_TRUE(closeKipo(kipo));
  EXPECT_EQ(kipo.exitCode(), 0u) << log();
  EXPECT_TRUE(contains(log(), "Kipo Stopped: ")) << "exit code " << std::hex << kipo.exitCode() << "\n" << log();
}

// A copy already on the drive is kept; a copy only in the product folder is not needed either.
TEST_F(KipoTest, HelpersAlreadyOnTheDriveAreKept) {
  { std::ofstream(drive_ / "Varrick.exe") << "mine"; }
  Started kipo = startKipo(u"/handoff E:\\");
  ASSERT_NE(waitForFrame(kipo), nullptr) << log();
  EXPECT_EQ(slurp(drive_ / "Varrick.exe"), "mine");
  ASSERT_TRUE(closeKipo(kipo)) << log();
}

// Rows of the start-up failure table a host can set up: each ends the program with its message
// (or none) before the frame, and the rows that end before the watcher start none.
TEST_F(KipoTest, StartupFailuresEndWithTheirMessage) {
  struct Row {
    const char* name;
    std::function<void()> setUp;
    std::u16string arguments;
    const char* message;  // part of a box's text; empty: no box expected
    bool watcherStarted;
  };
  auto renameLanguages = [&](bool away) {
    for (const char* code : {"USA", "GBR", "FRA", "DEU", "ESP", "ITA", "NLD", "PRT", "JPN", "CHS", "CHT", "THA"}) {
      fs::path file = linuxPath(productFolder_ + fromUtf8(std::string("Lingrove_") + code + ".DLL"));
      fs::path moved = file.string() + ".away";
      std::error_code ec;
      if (away) {
        fs::rename(file, moved, ec);
      } else {
        fs::rename(moved, file, ec);
      }
    }
  };
  const std::vector<Row> rows = {
      {"shell version 4.70", [&] { setFacts({"--shell-version", "4.70"}); }, u"/handoff E:\\",
       "Windows shell version 4.71 or later is required to run Kipo", false},
      {"no language library", [&] { renameLanguages(true); }, u"/handoff E:\\", "", false},
      {"no drive (the choice cancelled)", [] {}, u"", "Kipo could not find a drive it can run from", true},
      {"customization hash mismatch",
       [&] {
         std::string xml = slurp(linuxPath(productFolder_ + u"kipo.xml"));
         xml.replace(xml.find("name=\"Kipo\""), 11, "name=\"Kipa\"");
         std::ofstream(drive_ / "kipo.xml", std::ios::binary) << xml;
       },
       u"/handoff E:\\", "The customization file failed its integrity check.", true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    row.setUp();
    Started kipo = startKipo(row.arguments);
    std::vector<SeenBox> boxes = answerUntilEnd(kipo);
    ASSERT_FALSE(kipo.running()) << boxTexts(boxes);
    if (*row.message) {
      EXPECT_TRUE(anyBoxSays(boxes, row.message)) << boxTexts(boxes);
    }
    EXPECT_EQ(frameOf(kipo.pid), nullptr);
    if (!row.watcherStarted) {
      EXPECT_EQ(countProcesses("Tolvane.exe"), 0) << row.name;
    }
    // The next row starts from a clean host.
    kipotest::runTool({"shutdown"});
    setFacts({"--shell-version", "6.0"});
    renameLanguages(false);
    fs::copy_file(linuxPath(productFolder_ + u"kipo.xml"), drive_ / "kipo.xml", fs::copy_options::overwrite_existing);
  }
}

// The shell version gate compares (major, minor) as a pair: 4.71 and later start.
TEST_F(KipoTest, ShellVersionGate) {
  struct Row {
    const char* version;
    bool starts;
  };
  for (const Row& row : {Row{"4.0", false}, Row{"4.70", false}, Row{"4.71", true}, Row{"5.0", true}}) {
    SCOPED_TRACE(row.version);
    setFacts({"--shell-version", row.version});
    Started kipo = startKipo(u"/handoff E:\\");
    if (row.starts) {
      ASSERT_NE(waitForFrame(kipo), nullptr) << log();
      ASSERT_TRUE(closeKipo(kipo));
    } else {
      std::vector<SeenBox> boxes = answerUntilEnd(kipo);
      EXPECT_TRUE(anyBoxSays(boxes, "4.71 or later is required")) << boxTexts(boxes);
    }
    kipotest::runTool({"shutdown"});
  }
}

// A second (and a third) start shows message 892 and ends, leaving the first instance, its
// watcher and the autostart value as they were.
TEST_F(KipoTest, ASecondStartIsRefusedWithoutDisturbingTheFirst) {
  Started first = startKipo(u"/handoff E:\\");
  HWND frame = waitForFrame(first);
  ASSERT_NE(frame, nullptr) << log();
  setString(HKEY_CURRENT_USER, kRun, u"Kipo", u"\"x\" /launch");
  const std::u16string environment = u"System\\CurrentControlSet\\Control\\Session Manager\\Environment";
  for (const char16_t* arguments : {u"/launch", u"/handoff F:\\"}) {
    Started second = startKipo(arguments);
    std::vector<SeenBox> boxes = answerUntilEnd(second);
    ASSERT_FALSE(second.running());
    ASSERT_EQ(boxes.size(), 1u) << boxTexts(boxes);
    EXPECT_EQ(utf8(boxes[0].text), "Kipo cannot start: Kipo is already running.");
    EXPECT_EQ(countProcesses("Tolvane.exe"), 1);
    EXPECT_EQ(readString(HKEY_CURRENT_USER, kRun, u"Kipo"), u"\"x\" /launch");
    EXPECT_EQ(readString(HKEY_LOCAL_MACHINE, environment, u"KIPO_DRIVE"), u"E");
    EXPECT_TRUE(first.running());
    EXPECT_EQ(frameOf(first.pid), frame);
  }
  ASSERT_TRUE(closeKipo(first));
}

// The drive holds the program in another version: this instance starts the drive's copy and ends;
// the copy, which waits for this instance's frame to go, is not refused as a second instance.
TEST_F(KipoTest, ADifferentVersionOnTheDriveIsStartedInstead) {
  fs::copy_file(KIPO_OTHER_VERSION, drive_ / "Kipo.exe", fs::copy_options::overwrite_existing);
  // The copy on the drive finds its language library beside it.
  fs::copy_file(linuxPath(productFolder_ + u"Lingrove_USA.DLL"), drive_ / "Lingrove_USA.DLL");
  Started kipo = startKipo(u"/handoff E:\\");
  std::vector<SeenBox> boxes = answerUntilEnd(kipo);
  ASSERT_FALSE(kipo.running());
  EXPECT_TRUE(boxes.empty()) << boxTexts(boxes);
  EXPECT_TRUE(contains(log(), "{Customizer App}: The currently running version is different from the device "
                              "version...relaunch.<br>{Customizer App}: Relaunching setup app with device path: "
                              "E:\\Kipo.exe<br>"))
      << log();
  // The drive's copy runs with its frame, and opened the device.
  HWND frame = nullptr;
  ASSERT_TRUE(eventually([&] { return (frame = FindWindowW(kFrameClass, nullptr)) != nullptr; })) << log();
  DWORD copy = 0;
  GetWindowThreadProcessId(frame, &copy);
  EXPECT_NE(copy, kipo.pid);
  EXPECT_EQ(boxOf(copy), nullptr);
  EXPECT_TRUE(eventually([&] {
    std::string text = log();
    std::size_t relaunch = text.find("Relaunching setup app");
    return relaunch != std::string::npos && text.find("Device Cluster Size: ", relaunch) != std::string::npos;
  })) << log();
  PostMessageW(frame, WM_CLOSE, 0, 0);
  // The copy ends, and its watcher's recovery run after it, before the host goes away under them.
  EXPECT_TRUE(eventually([&] {
    std::string text = log();
    std::size_t recover = text.find("handleStartupAction: Recover");
    return recover != std::string::npos && text.find("Kipo Stopped: ", recover) != std::string::npos;
  })) << log();
}

// A frame of another image of the program (the instance that started this copy, ending) that goes
// within a moment does not make this start a second instance; one that stays does.
TEST_F(KipoTest, AFrameOfAnotherImageThatGoesAtOnceIsWaitedFor) {
  WNDCLASSW wc{};
  wc.lpfnWndProc = DefWindowProcW;
  wc.lpszClassName = kFrameClass;
  RegisterClassW(&wc);
  for (bool goes : {true, false}) {
    SCOPED_TRACE(goes ? "the frame goes" : "the frame stays");
    HWND other = CreateWindowExW(0, kFrameClass, u"Kipo", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(other, nullptr);
    Started kipo = startKipo(u"/handoff E:\\");
    if (goes) {
      std::this_thread::sleep_for(std::chrono::milliseconds(700));
      DestroyWindow(other);
      ASSERT_NE(waitForFrame(kipo), nullptr) << log();
      ASSERT_TRUE(closeKipo(kipo));
    } else {
      std::vector<SeenBox> boxes = answerUntilEnd(kipo);
      EXPECT_TRUE(anyBoxSays(boxes, "Kipo cannot start: Kipo is already running.")) << boxTexts(boxes);
      DestroyWindow(other);
    }
    kipotest::runTool({"shutdown"});
  }
}

// "recover" after "/" or "-", in any case: no watcher, no frame, no language library needed; and
// while an instance runs, the recovery leaves the host alone.
TEST_F(KipoTest, ARecoveryRunEndsAtOnce) {
  for (const char16_t* flag : {u"-recover", u"/RECOVER", u"-Recover"}) {
    SCOPED_TRACE(utf8(flag));
    Started kipo = startKipo(flag);
    ASSERT_TRUE(kipo.waitEnd(20));
    EXPECT_EQ(countProcesses("Tolvane.exe"), 0);
  }
}

}  // namespace

// kipo-host ui against the framework's fixture program running as another process: the tray icon
// listed and clicked, its popup menu listed and picked, a message box answered, a dialog's
// controls typed into, checked and clicked, a menu bar command, refusals, and the tray cleared
// when the program is killed; a web browser control's links listed and followed, with its
// BeforeNavigate2 cancelled or not by the program.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "afx_ids.h"
#include "tests/support/child_program.h"
#include "tests/support/test_host.h"

namespace {

using kipotest::runTool;

// The fixture program with its standard output on a pipe.
class Program : public kipotest::ChildProgram {
 public:
  explicit Program(const std::vector<std::string>& args) : ChildProgram(KIPO_AFX_FIXTURE, args) {}
};

// `kipo-host ui list` until its output contains `what` (10 s at most); the last output.
std::string listUntil(const std::string& what) {
  std::string out;
  for (int i = 0; i < 200; ++i) {
    out.clear();
    runTool({"ui", "list"}, &out);
    if (out.find(what) != std::string::npos) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return out;
}

int ui(const std::vector<std::string>& args, std::string* err = nullptr) {
  std::vector<std::string> all{"ui"};
  all.insert(all.end(), args.begin(), args.end());
  return runTool(all, nullptr, err);
}

std::string num(int n) { return std::to_string(n); }

class UiToolTest : public ::testing::Test {
 protected:
  kipotest::TestHost host_;
};

TEST_F(UiToolTest, TheTrayItsMenuABoxAndADialogOfAnotherProcess) {
  Program p({"/tray"});
  ASSERT_TRUE(p.saw("tray ready")) << p.output();

  std::string out;
  ASSERT_EQ(runTool({"ui", "tray"}, &out), 0);
  EXPECT_NE(out.find("icon 0 "), std::string::npos) << out;
  EXPECT_NE(out.find("id=1 "), std::string::npos) << out;
  EXPECT_NE(out.find("tip=\"Kipo Test\""), std::string::npos) << out;

  EXPECT_EQ(ui({"tray", "click", "--icon", "0"}), 0);
  EXPECT_TRUE(p.saw("tray left")) << p.output();
  EXPECT_EQ(ui({"tray", "click", "--icon", "0", "--double"}), 0);
  EXPECT_TRUE(p.saw("tray double")) << p.output();
  std::string err;
  EXPECT_EQ(ui({"tray", "click", "--icon", "5"}, &err), 1);

  // A right click opens the popup menu; its items are listed with their states.
  EXPECT_EQ(ui({"tray", "click", "--icon", "0", "--right"}), 0);
  out = listUntil("menu item " + num(ID_TRAY_ASK));
  EXPECT_NE(out.find("menu item " + num(ID_TRAY_ASK) + " class=MenuItem text=\"&Ask...\""), std::string::npos) << out;
  EXPECT_NE(out.find("menu item " + num(ID_TRAY_GRAYED) + " class=MenuItem text=\"&Grayed\" disabled"),
            std::string::npos)
      << out;
  EXPECT_EQ(ui({"menu", "--command", num(ID_TRAY_GRAYED)}, &err), 1);
  EXPECT_NE(err.find("grayed"), std::string::npos) << err;
  EXPECT_EQ(ui({"menu", "--command", num(ID_TRAY_ASK)}), 0);

  // The message box it asks, answered No.
  out = listUntil("Really go on?");
  EXPECT_NE(out.find("control 65535 class=Static text=\"Really go on?\""), std::string::npos) << out;
  EXPECT_NE(out.find("text=\"Kipo Test App\""), std::string::npos) << out;
  EXPECT_EQ(ui({"answer", "--button", "7"}), 0);
  EXPECT_TRUE(p.saw("ask 7")) << p.output();

  // The settings dialog: typing, a check box, OK.
  EXPECT_EQ(ui({"tray", "click", "--icon", "0", "--right"}), 0);
  listUntil("menu item " + num(ID_TRAY_SETTINGS));
  EXPECT_EQ(ui({"menu", "--command", num(ID_TRAY_SETTINGS)}), 0);
  out = listUntil("text=\"Settings\"");
  EXPECT_EQ(ui({"type", "--window", "Settings", "--control", num(IDC_NAME), "--text", "Ann"}), 0);
  EXPECT_EQ(ui({"check", "--window", "Settings", "--control", num(IDC_FLAG), "--state", "1"}), 0);
  EXPECT_EQ(ui({"select", "--window", "Settings", "--control", num(IDC_CHOICE), "--index", "2"}), 0);
  out = listUntil("item 2 \"two\" selected");
  EXPECT_NE(out.find("control " + num(IDC_FLAG) + " class=Button text=\"&Flag\" checked"), std::string::npos) << out;
  EXPECT_NE(out.find("control " + num(IDC_NAME) + " class=Edit text=\"Ann\""), std::string::npos) << out;
  EXPECT_EQ(ui({"select", "--window", "Settings", "--control", num(IDC_CHOICE), "--index", "3"}, &err), 1);
  // While the dialog is modal its owner refuses, and a missing control is named.
  EXPECT_EQ(ui({"close", "--window", "KipoTestMainFrame"}, &err), 1);
  EXPECT_NE(err.find("disabled"), std::string::npos) << err;
  EXPECT_EQ(ui({"click", "--window", "Settings", "--control", "4242"}, &err), 1);
  EXPECT_EQ(ui({"click", "--window", "Settings", "--control", "1"}), 0);
  EXPECT_TRUE(p.saw("settings 1 name=Ann flag=1 choice=2")) << p.output();

  // The frame's menu bar command, then closing the program.
  EXPECT_EQ(ui({"menu", "--window", "KipoTestMainFrame", "--command", num(ID_TEST_FRAME_ONLY)}), 0);
  EXPECT_TRUE(p.saw("route frame:only")) << p.output();
  EXPECT_EQ(ui({"close", "--window", "KipoTestMainFrame"}), 0);
  EXPECT_EQ(p.wait(), 7);
  out.clear();
  runTool({"ui", "tray"}, &out);
  EXPECT_EQ(out, "");
}

TEST_F(UiToolTest, AKilledProgramsTrayIconIsGone) {
  Program p({"/tray"});
  ASSERT_TRUE(p.saw("tray ready")) << p.output();
  std::string out;
  runTool({"ui", "tray"}, &out);
  EXPECT_NE(out.find("Kipo Test"), std::string::npos);
  p.kill();
  out.clear();
  runTool({"ui", "tray"}, &out);
  EXPECT_EQ(out, "");
}

TEST_F(UiToolTest, ABrowserControlsLinksAreListedAndFollowedFromAnotherProcess) {
  host_.write("pages/start.html",
              "<html><head><meta charset=\"utf-8\"></head><body>"
              "<a href=\"**Caf&eacute; Bar\">Caf\xC3\xA9 Bar</a> <a href=\"next.html\">Next</a>"
              " <a href=\"**qx_synchronize\">Sync</a></body></html>");
  host_.write("pages/next.html", "<html><body><a href=\"start.html\">Back</a></body></html>");
  Program p({"/browser"});
  ASSERT_TRUE(p.saw("browser ready")) << p.output();
  ASSERT_TRUE(p.saw("complete file:///C:/pages/start.html")) << p.output();

  std::string out;
  ASSERT_EQ(runTool({"ui", "list", "--window", "Controls"}, &out), 0);
  EXPECT_NE(out.find("control " + num(IDC_BROWSER) +
                     " class=Shell Embedding text=\"\" clsid={8856F961-340A-11D0-A96B-00C04FD705A2}"
                     " url=\"file:///C:/pages/start.html\" links=3"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("clsid={D27CDB6E-AE6D-11CF-96B8-444553540000} movie=\"C:\\\\intro.swf\""), std::string::npos)
      << out;

  ASSERT_EQ(runTool({"ui", "links", "--window", "Controls", "--control", num(IDC_BROWSER)}, &out), 0);
  EXPECT_EQ(out,
            "page \"file:///C:/pages/start.html\"\n"
            "link 0 text=\"Caf\xC3\xA9 Bar\" href=\"**Caf\xC3\xA9 Bar\" url=\"file:///C:/pages/**Caf\xC3\xA9 Bar\"\n"
            "link 1 text=\"Next\" href=\"next.html\" url=\"file:///C:/pages/next.html\"\n"
            "link 2 text=\"Sync\" href=\"**qx_synchronize\" url=\"file:///C:/pages/**qx_synchronize\"\n");

  // Cancelled by the program: the page stays.
  EXPECT_EQ(ui({"follow", "--window", "Controls", "--control", num(IDC_BROWSER), "--href", "**Caf\xC3\xA9 Bar"}), 0);
  EXPECT_TRUE(p.saw("before file:///C:/pages/**Caf\xC3\xA9 Bar cancel=1")) << p.output();
  // Not cancelled: the browser goes to the page, whose links replace the old ones.
  EXPECT_EQ(ui({"follow", "--window", "Controls", "--control", num(IDC_BROWSER), "--link", "1"}), 0);
  EXPECT_TRUE(p.saw("before file:///C:/pages/next.html cancel=0")) << p.output();
  EXPECT_TRUE(p.saw("complete file:///C:/pages/next.html")) << p.output();
  ASSERT_EQ(runTool({"ui", "links", "--window", "Controls", "--control", num(IDC_BROWSER)}, &out), 0);
  EXPECT_NE(out.find("link 0 text=\"Back\""), std::string::npos) << out;

  std::string err;
  EXPECT_EQ(ui({"follow", "--window", "Controls", "--control", num(IDC_BROWSER), "--link", "4"}, &err), 1);
  EXPECT_NE(err.find("no link 4"), std::string::npos) << err;
  EXPECT_EQ(ui({"follow", "--window", "Controls", "--control", num(IDC_BROWSER), "--href", "next.html"}, &err), 1);
  EXPECT_EQ(ui({"links", "--window", "Controls", "--control", "1"}, &err), 1);
  EXPECT_NE(err.find("not a web browser control"), std::string::npos) << err;
  EXPECT_EQ(ui({"follow", "--window", "Controls", "--control", num(IDC_BROWSER)}, &err), 2);
}

}  // namespace

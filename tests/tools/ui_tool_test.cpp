// kipo-host ui against the framework's fixture program running as another process: the tray icon
// listed and clicked, its popup menu listed and picked, a message box answered, a dialog's
// controls typed into, checked and clicked, a menu bar command, refusals, and the tray cleared
// when the program is killed.
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

}  // namespace

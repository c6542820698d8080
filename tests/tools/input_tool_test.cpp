// kipo-host input and help-requests: the show-desktop key pressed from another process minimises
// this process's windows (through their queue) and the same press brings them back; the records
// of input and HTML Help are listed.
#include <gtest/gtest.h>

#include <string>

#include "platform/win32/htmlhelp.h"
#include "platform/win32/input.h"
#include "platform/win32/win32.h"
#include "tests/support/test_host.h"
#include "tests/support/test_windows.h"

using kipotest::runTool;

namespace {

void pump() {
  MSG m;
  for (int i = 0; i < 50; ++i) {
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
    Sleep(10);
  }
}

TEST(InputTool, ShowDesktopFromAnotherProcessReachesThisProcessesWindows) {
  kipotest::TestHost host;
  kipotest::registerWindowClass(u"InputToolApp");
  HWND w = CreateWindowExW(0, u"InputToolApp", u"app", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 100, 100, nullptr,
                           nullptr, nullptr, nullptr);
  ASSERT_TRUE(w);

  ASSERT_EQ(runTool({"input", "press", "lwin", "d"}), 0);
  pump();
  EXPECT_TRUE(IsIconic(w));
  std::string out;
  ASSERT_EQ(runTool({"input"}, &out), 0);
  EXPECT_NE(out.find("key\t0x5B\t0x0000"), std::string::npos) << out;
  EXPECT_NE(out.find("key\t0x44\t0x0002"), std::string::npos) << out;
  EXPECT_NE(out.find("desktop shown\tyes"), std::string::npos) << out;

  ASSERT_EQ(runTool({"input", "press", "lwin", "d"}), 0);
  pump();
  EXPECT_FALSE(IsIconic(w));
  EXPECT_FALSE(platform::input::desktopShown());

  EXPECT_EQ(runTool({"input", "press", "nosuchkey"}), 2);
  DestroyWindow(w);
}

TEST(InputTool, HelpRequestsAreListed) {
  kipotest::TestHost host;
  host.write("Help/Kipo.chm", "ITSF");
  HWND shown = HtmlHelpW(nullptr, u"C:\\Help\\Kipo.chm::/index.htm", HH_DISPLAY_TOPIC, 0);
  EXPECT_TRUE(shown);
  EXPECT_FALSE(HtmlHelpW(nullptr, u"C:\\Help\\Kipo_FRA.chm", HH_DISPLAY_TOPIC, 0));
  std::string out;
  ASSERT_EQ(runTool({"help-requests"}, &out), 0);
  EXPECT_NE(out.find("C:\\Help\\Kipo.chm\t/index.htm\t0x0\tshown"), std::string::npos) << out;
  EXPECT_NE(out.find("C:\\Help\\Kipo_FRA.chm\t\t0x0\tfailed"), std::string::npos) << out;
  HtmlHelpW(nullptr, nullptr, HH_CLOSE_ALL, 0);
}

}  // namespace

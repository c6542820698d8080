// kipo-host screen: the host's screen image written as a PNG picture, and its usage errors;
// kipo-host print-jobs: the print requests the host recorded.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/host/ole_controls.h"
#include "tests/support/test_host.h"

namespace {

TEST(ScreenToolTest, WritesThePictureAndRefusesBadUse) {
  kipotest::TestHost host;
  const std::filesystem::path file = kipotest::freshTempDir("screen-tool") / "screen.png";
  ASSERT_EQ(kipotest::runTool({"screen", file.string()}), 0);
  std::ifstream in(file, std::ios::binary);
  std::string head(8, '\0');
  in.read(head.data(), 8);
  EXPECT_EQ(head, std::string("\x89PNG\r\n\x1a\n", 8));
  std::string err;
  EXPECT_EQ(kipotest::runTool({"screen"}, nullptr, &err), 2);
  EXPECT_EQ(kipotest::runTool({"screen", "/nonexistent-folder/screen.png"}, nullptr, &err), 1);
  EXPECT_NE(err.find("cannot create"), std::string::npos) << err;
}

TEST(PrintJobsToolTest, ListsTheRecordedJobsOldestFirst) {
  kipotest::TestHost host;
  std::string out;
  ASSERT_EQ(kipotest::runTool({"print-jobs"}, &out), 0);
  EXPECT_EQ(out, "");
  platform::host::recordPrintJob({0, 0, 42, u"file:///C:/EULA_FRA.html", 0});
  platform::host::recordPrintJob({0, 0, 43, u"file:///C:/caf\u00e9.html", 2});
  ASSERT_EQ(kipotest::runTool({"print-jobs"}, &out), 0);
  EXPECT_EQ(out, "1\t42\t0\tfile:///C:/EULA_FRA.html\n2\t43\t2\tfile:///C:/caf\xC3\xA9.html\n");
  EXPECT_EQ(kipotest::runTool({"print-jobs", "x"}), 2);
}

}  // namespace

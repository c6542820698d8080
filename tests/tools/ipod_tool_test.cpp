// kipo-host ipod, run as another process: the service installed or not, iPods connected with
// their letter and setting, disk mode as a drive this process sees come and go, and the refusals.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/host/ipod.h"
#include "platform/win32/win32.h"
#include "tests/support/test_host.h"

namespace {

using kipotest::runTool;

TEST(IPodTool, ShowsAndChangesTheIPodsAndTheService) {
  kipotest::TestHost host;
  const auto folder = kipotest::freshTempDir("ipod-tool");
  std::string out, err;
  ASSERT_EQ(runTool({"ipod"}, &out, &err), 0) << err;
  EXPECT_EQ(out, "service not installed\n");
  ASSERT_EQ(runTool({"ipod", "install"}), 0);
  ASSERT_EQ(runTool({"ipod", "connect", "8K1", "h:", folder.string(), "--disk-use", "2"}, nullptr, &err), 0) << err;
  ASSERT_EQ(runTool({"ipod", "mount", "8K1"}, nullptr, &err), 0) << err;
  EXPECT_NE(GetLogicalDrives() & (1u << 7), 0u);
  ASSERT_EQ(runTool({"ipod", "show"}, &out), 0);
  EXPECT_EQ(out, "service installed\n1 8K1 H: " + folder.string() + " disk-mode=on disk-use=2\n");

  struct Refusal {
    std::vector<std::string> args;
    int code;
  } refusals[] = {
      {{"ipod", "mount", "8K1"}, 1},                               // in disk mode already
      {{"ipod", "connect", "8K1", "J:", folder.string()}, 1},     // connected already
      {{"ipod", "connect", "8K2", "H:", folder.string()}, 1},     // the letter is the first one's
      {{"ipod", "connect", "8K2", "J:", folder.string() + "/absent"}, 1},
      {{"ipod", "set", "8K1", "--disk-use", "-1"}, 2},
      {{"ipod", "unmount", "NOPE"}, 1},
      {{"ipod", "frobnicate"}, 2},
  };
  for (const Refusal& r : refusals) {
    SCOPED_TRACE(r.args[1]);
    EXPECT_EQ(runTool(r.args, nullptr, &err), r.code) << err;
  }
  ASSERT_EQ(runTool({"ipod", "set", "8K1", "--disk-use", "1"}), 0);
  EXPECT_EQ(platform::host::connectedIPods().at(0).diskUse, 1u);
  // Disconnecting leaves disk mode first: the drive goes.
  ASSERT_EQ(runTool({"ipod", "disconnect", "8K1"}), 0);
  EXPECT_EQ(GetLogicalDrives() & (1u << 7), 0u);
  EXPECT_TRUE(platform::host::connectedIPods().empty());
  ASSERT_EQ(runTool({"ipod", "uninstall"}), 0);
  EXPECT_FALSE(platform::host::iPodServiceInstalled());
}

}  // namespace

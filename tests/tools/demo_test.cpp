// The demo script on the build as it is: its drive arrives as a USB drive, with the device nodes
// and the MountedDevices value the product looks for, the demo host boots, Kipo starts from the
// drive with its tray icon and log, quits through the tray menu, and the host shuts down.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/support/test_host.h"

namespace {

namespace fs = std::filesystem;

TEST(DemoScript, PlugsItsDriveAsAUsbDrive) {
  const fs::path source = fs::path(__FILE__).parent_path().parent_path().parent_path();
  const fs::path build = fs::path(KIPO_HOST_TOOL).parent_path().parent_path().parent_path();
  const fs::path demo = kipotest::freshTempDir("demo");
  ::setenv("KIPO_DEMO_DIR", demo.c_str(), 1);
  ::setenv("KIPO_BUILD_DIR", build.c_str(), 1);
  std::string out, err;
  int rc = kipotest::runProgram("/bin/bash", {(source / "tools" / "demo.sh").string(), "--no-setup"}, &out, &err);
  ::unsetenv("KIPO_DEMO_DIR");
  ::unsetenv("KIPO_BUILD_DIR");
  ASSERT_EQ(rc, 0) << out << err;
  EXPECT_NE(out.find("plugged E: "), std::string::npos) << out;
  // Kipo's start-up ended with its tray icon telling the login state; its log is on the drive.
  EXPECT_NE(out.find("id=356"), std::string::npos) << out;
  EXPECT_NE(out.find("balloon=\"Kipo\":\"Not logged in on this computer.\""), std::string::npos) << out;
  EXPECT_NE(out.find("handleStartupAction: Handoff"), std::string::npos) << out;
  EXPECT_NE(out.find("Device Path: E:\\"), std::string::npos) << out;
  // The tray menu was open, and Quit ended the program.
  EXPECT_NE(out.find("text=\"&Quit\""), std::string::npos) << out;
  std::size_t quit = out.find("== quit through the tray menu ==");
  ASSERT_NE(quit, std::string::npos) << out;
  EXPECT_EQ(out.find(" Kipo.exe ", quit), std::string::npos) << out;

  // The drive is in the table as removable and Windows has mounted its volume at E:.
  ::setenv("KIPO_HOST", (demo / "host").c_str(), 1);
  std::string drives, mounted;
  EXPECT_EQ(kipotest::runTool({"drive", "list"}, &drives, &err), 0) << err;
  EXPECT_EQ(kipotest::runTool({"reg", "query", "HKLM\\SYSTEM\\MountedDevices"}, &mounted, &err), 0) << err;
  EXPECT_NE(drives.find("E:\t" + (demo / "drive").string()), std::string::npos) << drives;
  EXPECT_NE(drives.find("\tlabel=KIPO DEMO\t"), std::string::npos) << drives;
  EXPECT_NE(mounted.find("\\DosDevices\\E:"), std::string::npos) << mounted;
  fs::remove_all(demo);
}

}  // namespace

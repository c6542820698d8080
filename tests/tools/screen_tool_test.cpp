// kipo-host screen: the host's screen image written as a PNG picture, and its usage errors.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

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

}  // namespace

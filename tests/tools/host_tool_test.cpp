// kipo-host set and env: facts are checked before they are stored; env shows the environment a
// program of the host starts with.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/host/host.h"
#include "tests/support/test_host.h"

using platform::host::Host;
using kipotest::runTool;

TEST(HostTool, SetRefusesValuesTheHostCannotUseAndKeepsTheOldOnes) {
  kipotest::TestHost host;
  const std::vector<std::vector<std::string>> bad = {
      {"--computer-name", "A-NAME-LONGER-THAN-15"},
      {"--computer-name", "with space"},
      {"--computer-name", ""},
      {"--user-name", "a/b"},
      {"--user-is-admin", "yes"},
      {"--test-host", "yes"},
      {"--user-locale", "409"},
      {"--time-zone", "Nowhere/Special"},
      {"--time-zone", "../../etc/passwd"},
      {"--time-scale", "0"},
      {"--time-scale", "fast"},
      {"--memory-bytes", "-1"},
      {"--taskbar-position", "middle"},
  };
  for (const auto& b : bad) {
    std::string err;
    EXPECT_EQ(runTool({"set", b[0], b[1]}, nullptr, &err), 2) << b[0] << " " << b[1];
    EXPECT_FALSE(err.empty());
  }
  EXPECT_EQ(Host::current().fact(platform::host::fact::ComputerName), "ALPHA");
  EXPECT_EQ(Host::current().fact(platform::host::fact::TimeZone), "UTC");

  EXPECT_EQ(runTool({"set", "--time-zone", "America/New_York", "--time-scale", "2.5", "--user-locale", "040c"}), 0);
  EXPECT_EQ(Host::current().fact(platform::host::fact::TimeZone), "America/New_York");
  EXPECT_EQ(Host::current().fact(platform::host::fact::TimeScale), "2.5");
}

TEST(HostTool, EnvShowsTheStartingEnvironment) {
  kipotest::TestHost host;
  std::string out;
  ASSERT_EQ(runTool({"env", "appdata"}, &out), 0);
  EXPECT_EQ(out, "C:\\Documents and Settings\\Robin\\Application Data\n");
  ASSERT_EQ(runTool({"env"}, &out), 0);
  EXPECT_NE(out.find("\nUSERNAME=Robin\n"), std::string::npos) << out;
  EXPECT_EQ(runTool({"env", "NO_SUCH_VARIABLE"}), 1);
}

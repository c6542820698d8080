// The host: facts with defaults, overrides at creation, change seen by another process.
#include "platform/host/host.h"

#include <gtest/gtest.h>

#include "tests/support/test_host.h"

using platform::host::Host;
namespace fact = platform::host::fact;

TEST(Host, FreshHostHasDefaultFactsAndXpLayout) {
  kipotest::TestHost host;
  EXPECT_EQ(Host::current().fact(fact::WindowsVersion), "5.1");
  EXPECT_EQ(Host::current().fact(fact::UserLocale), "0409");
  EXPECT_TRUE(std::filesystem::is_directory(host.c("Documents and Settings/Robin/Local Settings/Temporary Internet Files")));
  EXPECT_TRUE(std::filesystem::is_directory(host.c("WINDOWS/system32")));
}

TEST(Host, OptionsOverrideFactsAndUnknownFactIsRefused) {
  platform::host::HostOptions options;
  options.facts[fact::ComputerName] = "BRAVO";
  options.facts[fact::UserName] = "Sam";
  kipotest::TestHost host(options);
  EXPECT_EQ(Host::current().fact(fact::ComputerName), "BRAVO");
  EXPECT_TRUE(std::filesystem::is_directory(host.c("Documents and Settings/Sam/Desktop")));

  platform::host::HostOptions bad;
  bad.facts["no_such_fact"] = "1";
  EXPECT_THROW(platform::host::createHost(kipotest::freshTempDir("bad") / "h", bad), std::runtime_error);
}

TEST(Host, FactSetByAnotherProcessIsSeen) {
  kipotest::TestHost host;
  EXPECT_EQ(Host::current().fact(fact::ComputerName), "ALPHA");
  ASSERT_EQ(kipotest::runTool({"set", "--computer-name", "CHARLIE"}), 0);
  EXPECT_EQ(Host::current().fact(fact::ComputerName), "CHARLIE");
}

TEST(Host, ProgramWithoutHostRefusesWithClearMessage) {
  kipotest::TestHost host;
  ::unsetenv("KIPO_HOST");
  std::string err;
  EXPECT_EQ(kipotest::runTool({"info"}, nullptr, &err), 3);
  EXPECT_NE(err.find("KIPO_HOST"), std::string::npos) << err;
}

// The host: facts with defaults, overrides at creation, change seen by another process.
#include "platform/host/host.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/host/database.h"
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

namespace {

// How many of this process's descriptors are open on `file`.
int descriptorsOn(const std::filesystem::path& file) {
  int n = 0;
  std::error_code ec;
  const auto target = std::filesystem::canonical(file, ec);
  for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd", ec)) {
    std::error_code linkEc;
    if (std::filesystem::read_symlink(fd.path(), linkEc) == target) ++n;
  }
  return n;
}

}  // namespace

// A damaged host.db is an error that names the file, and leaves no connection open behind it.
TEST(Host, DamagedDatabaseIsNamedAndClosed) {
  const auto folder = kipotest::freshTempDir("damaged");
  const auto file = folder / "host.db";
  std::ofstream(file, std::ios::binary) << std::string(4096, 'x');
  try {
    platform::host::Database db(file, false);
    FAIL() << "a damaged database opened";
  } catch (const platform::host::DbError& e) {
    EXPECT_NE(std::string(e.what()).find(file.string()), std::string::npos) << e.what();
  }
  EXPECT_EQ(descriptorsOn(file), 0);

  // A program of the host says which file it could not use.
  kipotest::TestHost host;
  std::ofstream(host.folder() / "host.db", std::ios::binary | std::ios::trunc) << std::string(4096, 'x');
  std::filesystem::remove(host.folder() / "host.db-wal");
  std::filesystem::remove(host.folder() / "host.db-shm");
  std::string err;
  EXPECT_NE(kipotest::runTool({"info"}, nullptr, &err), 0);
  EXPECT_NE(err.find((host.folder() / "host.db").string()), std::string::npos) << err;
}

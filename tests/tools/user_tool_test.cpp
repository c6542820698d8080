// kipo-host user add/list/set, run as another process, and what this process's security calls
// then see of the users it made.
#include <gtest/gtest.h>

#include <string>

#include "platform/base/text.h"
#include "platform/host/host.h"
#include "platform/win32/handle.h"
#include "platform/win32/security.h"
#include "tests/support/test_host.h"

namespace {

using kipotest::runTool;
using platform::host::Host;

TEST(UserTool, AddListAndSetUsers) {
  kipotest::TestHost host;
  ASSERT_EQ(runTool({"user", "add", "Ada", "--password", "Secret1", "--admin", "yes"}), 0);
  ASSERT_EQ(runTool({"user", "add", "Ben"}), 0);

  std::string out;
  ASSERT_EQ(runTool({"user", "list"}, &out), 0);
  const std::string sid = platform::text::toUtf8(platform::security::userSid(u"Robin"));
  const std::string prefix = sid.substr(0, sid.rfind('-'));
  const std::string expected = "Robin                administrator " + prefix + "-1003  host user\n" +
                               "Ada                  administrator " + prefix + "-1004\n" +
                               "Ben                  user          " + prefix + "-1005\n";
  EXPECT_EQ(out, expected);

  // Refused: a taken name (in any case), a bad name, bad options, an unknown user.
  struct Refusal {
    std::vector<std::string> args;
    int code;
  } const refusals[] = {
      {{"user", "add", "ada"}, 1},
      {{"user", "add", "Robin"}, 1},
      {{"user", "add", "a/b"}, 1},
      {{"user", "add", "Cy", "--admin", "maybe"}, 2},
      {{"user", "add", "Cy", "--password"}, 2},
      {{"user", "set", "Nobody", "--admin", "yes"}, 1},
      {{"user", "set", "Ben"}, 2},
      {{"user", "frob"}, 2},
  };
  for (const auto& r : refusals) {
    std::string err;
    EXPECT_EQ(runTool(r.args, nullptr, &err), r.code) << r.args[1] << " " << r.args[2];
    EXPECT_FALSE(err.empty());
  }

  // Ben gets a password and becomes an administrator; his logon shows both.
  ASSERT_EQ(runTool({"user", "set", "ben", "--password", "pw2", "--admin", "yes"}), 0);
  HANDLE token = nullptr;
  EXPECT_FALSE(LogonUserW(u"Ben", nullptr, u"", LOGON32_LOGON_INTERACTIVE, LOGON32_PROVIDER_DEFAULT, &token));
  ASSERT_TRUE(LogonUserW(u"Ben", nullptr, u"pw2", LOGON32_LOGON_INTERACTIVE, LOGON32_PROVIDER_DEFAULT, &token));
  ASSERT_TRUE(ImpersonateLoggedOnUser(token));
  EXPECT_TRUE(IsUserAnAdmin());
  RevertToSelf();
  CloseHandle(token);
}

TEST(UserTool, HostUserAdministratorFlagIsTheFact) {
  kipotest::TestHost host;
  EXPECT_TRUE(IsUserAnAdmin());
  ASSERT_EQ(runTool({"set", "--user-is-admin", "0"}), 0);
  EXPECT_FALSE(IsUserAnAdmin());
  std::string out;
  ASSERT_EQ(runTool({"user", "list"}, &out), 0);
  EXPECT_EQ(out.find("Robin                user "), 0u) << out;

  ASSERT_EQ(runTool({"user", "set", "Robin", "--admin", "yes", "--password", "mine"}), 0);
  EXPECT_EQ(Host::current().fact(platform::host::fact::UserIsAdmin), "1");
  EXPECT_TRUE(IsUserAnAdmin());
  HANDLE token = nullptr;
  EXPECT_TRUE(LogonUserW(u"Robin", nullptr, u"mine", LOGON32_LOGON_INTERACTIVE, LOGON32_PROVIDER_DEFAULT, &token));
  CloseHandle(token);
}

}  // namespace

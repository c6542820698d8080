// The host's server table and trusted roots: what name lookup sees, without case, across
// processes of the host, and that a numeric address never needs the table.
#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>
#include <string>

#include "platform/net/servers.h"
#include "tests/support/test_host.h"

namespace {

namespace net = platform::net;

TEST(ServerTable, AddReplaceFindRemove) {
  kipotest::TestHost host;
  EXPECT_TRUE(net::servers().empty());
  net::addServer({u"Mail.Example.com", "10.0.0.5", true, 12});
  net::addServer({u"backup", "fd00::7", false, 1});
  // Same name in another case replaces, keeping the new spelling.
  net::addServer({u"MAIL.example.COM", "10.0.0.6", true, 30});

  auto list = net::servers();
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].name, u"backup");
  EXPECT_FALSE(list[0].reachable);
  EXPECT_EQ(list[1].name, u"MAIL.example.COM");
  EXPECT_EQ(list[1].address, "10.0.0.6");
  EXPECT_EQ(list[1].rttMs, 30u);

  std::optional<net::Server> found = net::findServer(u"mail.EXAMPLE.com");
  ASSERT_TRUE(found);
  EXPECT_EQ(found->address, "10.0.0.6");
  EXPECT_FALSE(net::findServer(u"mail"));
  EXPECT_FALSE(net::findServer(u""));

  EXPECT_TRUE(net::removeServer(u"BACKUP"));
  EXPECT_FALSE(net::removeServer(u"backup"));
  EXPECT_FALSE(net::findServer(u"backup"));
}

TEST(ServerTable, RefusesBadEntries) {
  kipotest::TestHost host;
  const net::Server bad[] = {
      {u"", "10.0.0.1"}, {u"a", ""}, {u"a", "mail.example.com"}, {u"a", "10.0.0.256"},
      {u"a", "10.0.0"},  {u"a", " 10.0.0.1"}, {u"a", "fe80::1%eth0"},
  };
  for (const auto& s : bad) EXPECT_THROW(net::addServer(s), std::invalid_argument) << s.address;
  EXPECT_TRUE(net::servers().empty());
}

TEST(ServerTable, ResolvesNumericAddressesAloneAndNamesOnlyThroughTheTable) {
  kipotest::TestHost host;
  net::addServer({u"update.example.com", "192.0.2.10"});
  // A name that is also a numeric address resolves to itself, whatever the table says.
  net::addServer({u"127.0.0.1", "192.0.2.99"});
  struct Case {
    std::u16string name;
    std::optional<std::string> address;
  } const cases[] = {
      {u"update.example.com", "192.0.2.10"},
      {u"UPDATE.EXAMPLE.COM", "192.0.2.10"},
      {u"127.0.0.1", "127.0.0.1"},
      {u"::1", "::1"},
      {u"2001:db8::1", "2001:db8::1"},
      {u"localhost", std::nullopt},  // no name escapes the table, not even this one
      {u"example.com", std::nullopt},
      {u"", std::nullopt},
      {u"300.1.1.1", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(net::resolveAddress(c.name), c.address) << std::string(c.name.begin(), c.name.end());
}

TEST(TrustedRoots, KeptOnceInOrder) {
  kipotest::TestHost host;
  EXPECT_TRUE(net::trustedRoots().empty());
  net::addTrustedRoot("-----BEGIN CERTIFICATE-----\nAAAA\n-----END CERTIFICATE-----\n");
  net::addTrustedRoot("-----BEGIN CERTIFICATE-----\nBBBB\n-----END CERTIFICATE-----\n");
  net::addTrustedRoot("-----BEGIN CERTIFICATE-----\nAAAA\n-----END CERTIFICATE-----\n");
  auto roots = net::trustedRoots();
  ASSERT_EQ(roots.size(), 2u);
  EXPECT_NE(roots[0].find("AAAA"), std::string::npos);
  EXPECT_NE(roots[1].find("BBBB"), std::string::npos);
}

}  // namespace

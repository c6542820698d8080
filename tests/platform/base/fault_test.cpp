// Fault injection through check(): which calls a fault picks (call name, subject prefix, nth and
// count), what it does (fail, delay, kill), and host-wide faults seen through the Faults counter.
#include "platform/base/fault.h"

#include <gtest/gtest.h>

#include <signal.h>

#include <cstdlib>

#include <string>
#include <vector>

#include "platform/base/clock.h"
#include "platform/base/text.h"
#include "platform/host/host.h"
#include "platform/win32/error.h"
#include "tests/support/test_host.h"

namespace fault = platform::fault;

namespace {

fault::Fault failing(const char* call, std::u16string subject, std::uint32_t nth = 1, std::uint32_t count = 0,
                     DWORD error = ERROR_ACCESS_DENIED) {
  fault::Fault f;
  f.call = call;
  f.subject = std::move(subject);
  f.error = error;
  f.nth = nth;
  f.count = count;
  return f;
}

// Which of `calls` consecutive matching calls fail (1-based call numbers).
std::vector<int> failingCalls(int calls, const char* call = "RegSetValueExW", std::u16string_view subject = u"") {
  std::vector<int> out;
  for (int i = 1; i <= calls; ++i)
    if (fault::check(call, subject) != 0) out.push_back(i);
  return out;
}

class FaultTest : public ::testing::Test {
 protected:
  void TearDown() override { fault::clearLocal(); }
  kipotest::TestHost host_;
};

}  // namespace

TEST_F(FaultTest, NothingSetMeansNoError) {
  EXPECT_EQ(fault::check("CreateFileW", u"C:\\x"), 0u);
  EXPECT_EQ(fault::check("RegOpenKeyExW"), 0u);
}

TEST_F(FaultTest, NthAndCountPickTheAffectedCalls) {
  struct Case {
    std::uint32_t nth, count;
    std::vector<int> failing;
  } cases[] = {
      {1, 0, {1, 2, 3, 4, 5, 6}},  // always
      {3, 1, {3}},                 // only the third call
      {2, 2, {2, 3}},              // two calls from the second
      {1, 2, {1, 2}},              // the first two
      {5, 0, {5, 6}},              // every call from the fifth on
  };
  for (const auto& c : cases) {
    fault::clearLocal();
    fault::inject(failing("RegSetValueExW", u"", c.nth, c.count));
    EXPECT_EQ(failingCalls(6), c.failing) << "nth " << c.nth << " count " << c.count;
  }
}

TEST_F(FaultTest, SubjectIsACaseInsensitivePrefixAndTheCallNameIsExact) {
  fault::inject(failing("CreateFileW", u"E:\\Synchronized Computers\\"));
  struct Case {
    const char* call;
    std::u16string subject;
    bool fails;
  } cases[] = {
      {"CreateFileW", u"E:\\Synchronized Computers\\ALPHA\\a.txt", true},
      {"CreateFileW", u"e:\\synchronized computers\\alpha", true},  // case-insensitive
      {"CreateFileW", u"E:\\Synchronized Computers\\", true},       // the prefix itself
      {"CreateFileW", u"E:\\Synchronized", false},                  // shorter than the prefix
      {"CreateFileW", u"C:\\Synchronized Computers\\", false},
      {"CreateFileA", u"E:\\Synchronized Computers\\x", false},     // another call
      {"createfilew", u"E:\\Synchronized Computers\\x", false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(fault::check(c.call, c.subject) != 0, c.fails) << c.call << " " << platform::text::toUtf8(c.subject);

  // Non-ASCII letters fold by the same table as names do.
  fault::clearLocal();
  fault::inject(failing("RegOpenKeyExW", u"HKEY_CURRENT_USER\\Software\\\u00e9t\u00e9"));
  EXPECT_NE(fault::check("RegOpenKeyExW", u"hkey_current_user\\SOFTWARE\\\u00c9T\u00c9\\x"), 0u);
}

TEST_F(FaultTest, EmptySubjectMatchesAnyAndTheErrorIsTheOneGiven) {
  fault::inject(failing("WriteFile", u"", 1, 0, ERROR_DISK_FULL));
  EXPECT_EQ(fault::check("WriteFile", u"C:\\a"), static_cast<DWORD>(ERROR_DISK_FULL));
  EXPECT_EQ(fault::check("WriteFile"), static_cast<DWORD>(ERROR_DISK_FULL));
}

TEST_F(FaultTest, FirstAddedWinsButEveryMatchingFaultCounts) {
  fault::inject(failing("MoveFileExW", u"", 1, 1, ERROR_SHARING_VIOLATION));
  fault::inject(failing("MoveFileExW", u"", 2, 1, ERROR_ACCESS_DENIED));
  EXPECT_EQ(fault::check("MoveFileExW"), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  EXPECT_EQ(fault::check("MoveFileExW"), static_cast<DWORD>(ERROR_ACCESS_DENIED)) << "the second fault saw call 1 too";
  EXPECT_EQ(fault::check("MoveFileExW"), 0u);
}

TEST_F(FaultTest, RemoveAndClearLocal) {
  std::uint64_t a = fault::inject(failing("CopyFileW", u""));
  fault::inject(failing("DeleteFileW", u""));
  EXPECT_TRUE(fault::removeLocal(a));
  EXPECT_FALSE(fault::removeLocal(a));
  EXPECT_EQ(fault::check("CopyFileW"), 0u);
  EXPECT_NE(fault::check("DeleteFileW"), 0u);
  fault::clearLocal();
  EXPECT_EQ(fault::check("DeleteFileW"), 0u);
}

TEST_F(FaultTest, DelayWaitsMonotonicTimeAndSucceeds) {
  platform::clock::VirtualClock vc(0);
  fault::Fault f;
  f.call = "ReadFile";
  f.action = fault::Action::Delay;
  f.delayMs = 2500;
  fault::inject(f);
  EXPECT_EQ(fault::check("ReadFile"), 0u);
  EXPECT_EQ(platform::clock::monotonicMs(), 2500u);
}

TEST_F(FaultTest, KillEndsTheCallingProcessWithSigkill) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        fault::Fault f;
        f.call = "RegFlushKey";
        f.action = fault::Action::Kill;
        fault::inject(f);
        fault::check("RegFlushKey");
        std::exit(0);
      },
      ::testing::KilledBySignal(SIGKILL), "");
}

// The crash action faults as the platform's own bad access would: the process dies of SIGSEGV
// (an access violation, 0xC0000005, to a host program's parent). AddressSanitizer reports the
// fault and exits instead, so the death is only checked without it.
#if !defined(__SANITIZE_ADDRESS__)
TEST_F(FaultTest, CrashEndsTheCallingProcessWithAnAccessViolation) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        fault::Fault f;
        f.call = "FindNextFileW";
        f.action = fault::Action::Crash;
        fault::inject(f);
        fault::check("FindNextFileW", u"C:\\*");
        std::exit(0);
      },
      ::testing::KilledBySignal(SIGSEGV), "");
}
#endif

TEST_F(FaultTest, ActionNamesRoundTrip) {
  for (auto a : {fault::Action::Fail, fault::Action::Delay, fault::Action::Kill, fault::Action::Crash}) {
    fault::Action back = fault::Action::Fail;
    EXPECT_TRUE(fault::parseAction(fault::actionName(a), back)) << fault::actionName(a);
    EXPECT_EQ(back, a);
  }
  fault::Action unchanged = fault::Action::Delay;
  EXPECT_FALSE(fault::parseAction("segv", unchanged));
  EXPECT_EQ(unchanged, fault::Action::Delay);
}

TEST_F(FaultTest, HostFaultIsSeenAfterItIsAddedAndGoneAfterItIsCleared) {
  EXPECT_EQ(fault::check("RegCreateKeyExW", u"HKEY_LOCAL_MACHINE\\SOFTWARE"), 0u);
  std::int64_t id = fault::addHostFault(failing("RegCreateKeyExW", u"HKEY_LOCAL_MACHINE\\", 1, 0, ERROR_ACCESS_DENIED));
  EXPECT_EQ(fault::check("RegCreateKeyExW", u"HKEY_LOCAL_MACHINE\\SOFTWARE"), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(fault::check("RegCreateKeyExW", u"HKEY_CURRENT_USER\\Software"), 0u);

  auto listed = fault::listHostFaults();
  ASSERT_EQ(listed.size(), 1u);
  EXPECT_EQ(listed[0].id, id);
  EXPECT_EQ(listed[0].seen, 1u) << "only matching calls are counted";

  EXPECT_TRUE(fault::clearHostFault(id));
  EXPECT_FALSE(fault::clearHostFault(id));
  EXPECT_EQ(fault::check("RegCreateKeyExW", u"HKEY_LOCAL_MACHINE\\SOFTWARE"), 0u);
}

TEST_F(FaultTest, HostFaultsBelongToTheirHost) {
  fault::addHostFault(failing("DeleteFileW", u""));
  EXPECT_NE(fault::check("DeleteFileW"), 0u);
  kipotest::TestHost other;  // a switch of host, as between tests
  EXPECT_EQ(fault::check("DeleteFileW"), 0u);
}

TEST(FaultWithoutHost, ProcessWithoutAHostHasOnlyItsOwnFaults) {
  const char* outer = std::getenv("KIPO_HOST");
  std::string saved = outer ? outer : "";
  ::unsetenv("KIPO_HOST");
  platform::host::Host::reopen();
  EXPECT_EQ(fault::check("CoCreateInstance", u"{x}"), 0u) << "no host: no host-wide faults, and no exit";
  fault::inject(failing("CoCreateInstance", u""));
  EXPECT_EQ(fault::check("CoCreateInstance", u"{x}"), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  fault::clearLocal();
  if (outer) ::setenv("KIPO_HOST", saved.c_str(), 1);
}

// The host's process table: rows keyed by process id and start time, dead rows ignored and pruned.
#include "platform/host/process_table.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

#include "platform/host/host.h"
#include "tests/support/test_host.h"

extern char** environ;

namespace {

using platform::host::ProcessRow;

ProcessRow rowFor(DWORD pid, std::uint64_t start, const char16_t* name) {
  ProcessRow r;
  r.pid = pid;
  r.start = start;
  r.parentPid = static_cast<DWORD>(::getpid());
  r.imagePath = std::u16string(u"C:\\") + name;
  r.imageName = name;
  return r;
}

std::int64_t rowsOf(DWORD pid) {
  auto& db = platform::host::Host::current().db();
  auto lock = db.lock();
  auto q = db.query("SELECT count(*) FROM processes WHERE pid = ?");
  q.bind(1, static_cast<std::int64_t>(pid));
  q.step();
  return q.int64At(0);
}

TEST(ProcessTable, AReusedIdIsNeverTakenForADeadProcess) {
  kipotest::TestHost host;
  const DWORD self = static_cast<DWORD>(::getpid());
  const std::uint64_t start = platform::host::currentStartTime();
  ASSERT_NE(start, 0u);
  EXPECT_TRUE(platform::host::processAlive(self, start));
  EXPECT_FALSE(platform::host::processAlive(self, start - 1)) << "same id, another start: another process";
  platform::host::registerCurrentProcess();
  // An older process that had this id.
  platform::host::recordStartedProcess(rowFor(self, start - 1, u"old.exe"));
  auto found = platform::host::findLivingProcess(self);
  ASSERT_TRUE(found);
  EXPECT_EQ(found->start, start);
  EXPECT_NE(found->imageName, u"old.exe");
  auto living = platform::host::livingProcesses();
  EXPECT_EQ(std::count_if(living.begin(), living.end(), [&](const ProcessRow& r) { return r.pid == self; }), 1);
  EXPECT_EQ(rowsOf(self), 1) << "the dead row was pruned";
}

// Liveness is asked again and again of the same process (every lookup of its windows): once
// seen running, its end is still seen at once, a zombie counting as ended.
TEST(ProcessTable, AProcessSeenRunningIsSeenEndedOnceItEnds) {
  pid_t child = 0;
  const char* argv[] = {"/bin/sleep", "30", nullptr};
  ASSERT_EQ(posix_spawn(&child, argv[0], nullptr, nullptr, const_cast<char**>(argv), environ), 0);
  const DWORD pid = static_cast<DWORD>(child);
  const std::uint64_t start = platform::host::processStartTime(child);
  ASSERT_NE(start, 0u);
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(platform::host::processAlive(pid, start)) << "ask " << i;
  EXPECT_FALSE(platform::host::processAlive(pid, start + 1)) << "same id, another start";
  ASSERT_EQ(::kill(child, SIGKILL), 0);
  siginfo_t info{};
  ASSERT_EQ(::waitid(P_PID, static_cast<id_t>(child), &info, WEXITED | WNOWAIT), 0) << "ended, not reaped";
  EXPECT_FALSE(platform::host::processAlive(pid, start)) << "a zombie has ended";
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_FALSE(platform::host::processAlive(pid, start));
  EXPECT_TRUE(platform::host::processAlive(static_cast<DWORD>(::getpid()), platform::host::currentStartTime()));
}

TEST(ProcessTable, EndedProcessesDisappearAndKeepARecordedCode) {
  kipotest::TestHost host;
  const char* argv[] = {"/bin/true", nullptr};
  pid_t pid = 0;
  ASSERT_EQ(posix_spawn(&pid, "/bin/true", nullptr, nullptr, const_cast<char**>(argv), environ), 0);
  const std::uint64_t start = platform::host::processStartTime(pid);
  platform::host::recordStartedProcess(rowFor(static_cast<DWORD>(pid), start, u"true.exe"));
  EXPECT_TRUE(platform::host::recordExitCode(static_cast<DWORD>(pid), start, 0xFFFFFFFFu));
  EXPECT_FALSE(platform::host::recordExitCode(static_cast<DWORD>(pid), start, 5)) << "the first code stays";
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  EXPECT_FALSE(platform::host::findLivingProcess(static_cast<DWORD>(pid)));
  platform::host::livingProcesses();
  EXPECT_EQ(platform::host::recordedExitCode(static_cast<DWORD>(pid), start), 0xFFFFFFFFu)
      << "a recorded code outlives the process for late readers";
}

}  // namespace

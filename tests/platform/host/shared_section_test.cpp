// The shared data section of a program image: one counter for every process of the same image,
// back to zero once no process maps it, also after processes are killed with SIGKILL.
#include "platform/host/shared_section.h"

#include <gtest/gtest.h>
#include <signal.h>

#include "platform/win32/sync.h"
#include "tests/platform/win32/fixtures/probe.h"

namespace {

using probetest::ProbeHost;

// Starts a probe that adds 1 to the counter and waits for C:\stop; returns the value it saw.
struct Instance {
  PROCESS_INFORMATION pi{};
  std::string value;
};

Instance startInstance(ProbeHost& host, const char16_t* program, const std::string& name) {
  Instance i;
  std::u16string line = u"\"" + std::u16string(program) + u"\" counter C:\\" + platform::text::fromUtf8(name) + u" C:\\stop";
  i.pi = probetest::start(line);
  EXPECT_TRUE(host.waitForFile(name)) << name;
  i.value = host.read(name);
  return i;
}

void stopAll(ProbeHost& host, std::initializer_list<Instance*> instances) {
  host.write("stop", "x");
  for (Instance* i : instances) probetest::finish(i->pi);
  std::filesystem::remove(host.c("stop"));
}

TEST(SharedSection, CounterIsSharedAndResetsWhenNoProcessMapsIt) {
  ProbeHost host;
  Instance a = startInstance(host, probetest::kProbe, "a");
  Instance b = startInstance(host, probetest::kProbe, "b");
  EXPECT_EQ(a.value, "1");
  EXPECT_EQ(b.value, "2");
  stopAll(host, {&a, &b});
  Instance c = startInstance(host, probetest::kProbe, "c");
  EXPECT_EQ(c.value, "1") << "back to zero after every mapper ended";
  stopAll(host, {&c});
}

TEST(SharedSection, ResetsAfterSigkillAndNotWhileAnyMapperLives) {
  ProbeHost host;
  Instance a = startInstance(host, probetest::kProbe, "a");
  Instance b = startInstance(host, probetest::kProbe, "b");
  ::kill(static_cast<pid_t>(b.pi.dwProcessId), SIGKILL);
  probetest::finish(b.pi);
  Instance c = startInstance(host, probetest::kProbe, "c");
  EXPECT_EQ(c.value, "3") << "a still maps it: never decremented, never reset";
  ::kill(static_cast<pid_t>(a.pi.dwProcessId), SIGKILL);
  ::kill(static_cast<pid_t>(c.pi.dwProcessId), SIGKILL);
  probetest::finish(a.pi);
  probetest::finish(c.pi);
  Instance d = startInstance(host, probetest::kProbe, "d");
  EXPECT_EQ(d.value, "1") << "killed mappers leave no lock behind";
  stopAll(host, {&d});
}

TEST(SharedSection, EachImageFileHasItsOwnSection) {
  ProbeHost host;
  host.install("Program Files/Probe/copy.exe");
  Instance a = startInstance(host, probetest::kProbe, "a");
  Instance b = startInstance(host, u"C:\\Program Files\\Probe\\copy.exe", "b");
  EXPECT_EQ(a.value, "1");
  EXPECT_EQ(b.value, "1") << "a copy is another image";
  stopAll(host, {&a, &b});
}

TEST(SharedSection, MappingsInOneProcessShareMemory) {
  kipotest::TestHost host;
  std::filesystem::path image = host.c("image.bin");
  std::ofstream(image) << "x";
  platform::SharedSection one("data", sizeof(LONG), image), two("data", sizeof(LONG), image);
  auto* p = static_cast<LONG*>(one.data());
  EXPECT_EQ(*p, 0);
  InterlockedIncrement(p);
  EXPECT_EQ(*static_cast<LONG*>(two.data()), 1);
  EXPECT_FALSE(one.file().empty());
  platform::SharedSection other("other", sizeof(LONG), image);
  EXPECT_EQ(*static_cast<LONG*>(other.data()), 0) << "another section of the same image";
}

}  // namespace

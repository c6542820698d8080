// The process list on a host: the modes the built-in libraries offer, the ToolHelp and PSAPI
// walks, and the 16-bit tasks of an NTVDM.EXE process reported once each, right after it.
#include <gtest/gtest.h>

#include <cstring>

#include "Utilities/Corlith/process_list.h"
#include "Utilities/Corlith/relauncher.h"
#include "tests/Utilities/helper_fixture.h"
#include "tests/support/faults.h"

namespace {

using namespace helpers;

struct Seen {
  std::string name;
  DWORD pid;
  WORD task;
};

std::vector<Seen> walk(CProcessList& list) {
  std::vector<Seen> all;
  CProcessRecord r;
  for (bool more = list.firstProcess(r); more; more = list.nextProcess(r)) all.push_back({r.imageName, r.processId, r.taskId});
  return all;
}

class ProcessListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    placeProgram(KIPO_STUB, u"C:\\WINDOWS\\system32\\NTVDM.EXE");
    placeProgram(KIPO_STUB, u"C:\\Apps\\worker.exe");
  }
  void TearDown() override {
    host_.write("stop");
    for (auto& s : started_) s.waitEnd();
  }
  DWORD run(const std::u16string& program) {
    started_.push_back(start(program + u" --wait C:\\stop"));
    return started_.back().pid;
  }
  kipotest::TestHost host_;
  std::vector<Started> started_;
};

TEST_F(ProcessListTest, ModesFollowTheLibrariesAndTheRequest) {
  CProcessList list;
  ASSERT_EQ(list.availableModes(), 7u);
  EXPECT_EQ(list.mode(), 6u) << "ToolHelp with 16-bit tasks";
  struct Case {
    DWORD request, inForce;
  };
  // A refused request leaves the mode as it was.
  const Case cases[] = {{1, 1}, {5, 5}, {4, 5}, {2, 2}, {3, 3}, {8, 3}, {6, 6}};
  for (const auto& c : cases) EXPECT_EQ(list.setMode(c.request), c.inForce) << c.request;
}

TEST_F(ProcessListTest, BothWalksNameEveryProcessOnce) {
  DWORD worker = run(u"C:\\Apps\\worker.exe");
  for (DWORD mode : {1u, 2u}) {
    SCOPED_TRACE(mode);
    CProcessList list;
    ASSERT_EQ(list.setMode(mode), mode);
    std::vector<Seen> all = walk(list);
    int workers = 0, selves = 0;
    for (const auto& s : all) {
      if (s.pid == worker) {
        EXPECT_EQ(s.name, "worker.exe");
        ++workers;
      }
      if (s.pid == GetCurrentProcessId()) ++selves;
      EXPECT_EQ(s.task, 0);
    }
    EXPECT_EQ(workers, 1);
    EXPECT_EQ(selves, 1);
    // A second walk starts over.
    EXPECT_EQ(walk(list).size(), all.size());
  }
}

TEST_F(ProcessListTest, PsapiNamesWhatItCannotOpen) {
  DWORD worker = run(u"C:\\Apps\\worker.exe");
  std::uint64_t fault = kipotest::failCall("OpenProcess", ERROR_ACCESS_DENIED);
  CProcessList list;
  list.setMode(1);
  std::vector<Seen> all = walk(list);
  platform::fault::removeLocal(fault);
  int named = 0;
  for (const auto& s : all) {
    if (s.pid != worker) continue;
    EXPECT_EQ(s.name, "N/A (security restriction)");
    ++named;
  }
  EXPECT_EQ(named, 1);
}

// Each task follows its NTVDM.EXE process, once, in the order the tasks were made; the mode
// without 16-bit tasks shows none.
TEST_F(ProcessListTest, SixteenBitTasksFollowTheirHostProcessOnce) {
  DWORD vdm = run(u"C:\\WINDOWS\\system32\\NTVDM.EXE");
  DWORD worker = run(u"C:\\Apps\\worker.exe");
  std::string out, err;
  ASSERT_EQ(kipotest::runTool({"ps", "--add-16bit-task", std::to_string(vdm), "C:\\WIN16\\WRITE.EXE"}, &out, &err), 0)
      << err;
  ASSERT_EQ(kipotest::runTool({"ps", "--add-16bit-task", std::to_string(vdm), "C:\\WIN16\\KIPO.EXE", "KIPO"}, &out, &err),
            0)
      << err;
  EXPECT_EQ(kipotest::runTool({"ps", "--add-16bit-task", std::to_string(worker), "C:\\X.EXE"}, &out, &err), 1);

  for (DWORD mode : {6u, 5u, 2u}) {
    SCOPED_TRACE(mode);
    CProcessList list;
    ASSERT_EQ(list.setMode(mode), mode);
    std::vector<Seen> all = walk(list);
    std::size_t at = 0;
    while (at < all.size() && all[at].pid != vdm) ++at;
    ASSERT_LT(at, all.size());
    EXPECT_EQ(all[at].task, 0);
    int tasks = 0;
    for (const auto& s : all) tasks += s.task != 0;
    if (mode == 2) {
      EXPECT_EQ(tasks, 0);
      continue;
    }
    ASSERT_EQ(tasks, 2) << [&] {
      std::string names;
      for (const auto& s : all) names += s.name + " " + std::to_string(s.pid) + "\n";
      return names;
    }();
    ASSERT_LT(at + 2, all.size());
    EXPECT_EQ(all[at + 1].name, "C:\\WIN16\\WRITE.EXE");
    EXPECT_EQ(all[at + 1].pid, vdm);
    EXPECT_NE(all[at + 1].task, 0);
    EXPECT_EQ(all[at + 2].name, "C:\\WIN16\\KIPO.EXE");
    EXPECT_NE(all[at + 2].task, all[at + 1].task);
    EXPECT_EQ(all[at + 3 < all.size() ? at + 3 : at].task, 0);
  }
}

TEST_F(ProcessListTest, ImageNamesCompareWholeAndInAnyCase) {
  placeProgram(KIPO_STUB, u"C:\\Apps\\kipo.exe");
  EXPECT_FALSE(isImageRunning("Kipo.exe"));
  run(u"C:\\Apps\\kipo.exe");
  EXPECT_TRUE(isImageRunning("Kipo.exe"));
  EXPECT_TRUE(isImageRunning("KIPO.EXE"));
  EXPECT_FALSE(isImageRunning("Kipo"));
  EXPECT_FALSE(isImageRunning("po.exe"));
}

}  // namespace

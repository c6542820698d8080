// Corlith on a host: it opens its program in its folder once no "Kipo.exe" (in any case) runs,
// gives up with -1 (read back as 0xFFFFFFFF) after 122 polls of 500 ms of the host's time, and
// wants two arguments.
#include <gtest/gtest.h>

#include "tests/Utilities/helper_fixture.h"

namespace {

using namespace helpers;

class CorlithTest : public HelperTest {
 protected:
  void SetUp() override {
    HelperTest::SetUp();
    placeProgram(KIPO_STUB, u"C:\\Target\\target.exe");
  }
  Started corlith(const std::u16string& args = u" C:\\Target\\target.exe C:\\Target") {
    return start(program(u"Corlith.exe") + args, productFolder_);
  }
  std::vector<std::string> targetRuns() const {
    std::vector<std::string> runs;
    for (const auto& line : stubLines())
      if (line.rfind("target.exe|", 0) == 0) runs.push_back(line);
    return runs;
  }
};

TEST_F(CorlithTest, OpensAtOnceWhenTheMainProgramIsNotRunning) {
  auto before = std::chrono::steady_clock::now();
  Started c = corlith();
  ASSERT_TRUE(c.waitEnd());
  EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(450)) << "no poll sleep";
  EXPECT_EQ(c.exitCode(), 0u);
  ASSERT_TRUE(eventually([&] { return !targetRuns().empty(); }));
  const std::string run = targetRuns().front();
  EXPECT_EQ(run.substr(run.rfind('|')), "|C:\\Target") << "opened in its folder";
}

// The name counts in any case; the program opens once the last copy has ended.
TEST_F(CorlithTest, WaitsForEveryCopyOfTheMainProgram) {
  placeProgram(KIPO_STUB, u"C:\\A\\Kipo.exe");
  placeProgram(KIPO_STUB, u"C:\\B\\kipo.exe");
  Started upper = start(u"C:\\A\\Kipo.exe --wait C:\\first");
  Started lower = start(u"C:\\B\\kipo.exe --wait C:\\second");
  Started c = corlith();
  std::this_thread::sleep_for(std::chrono::milliseconds(1200));
  host_.write("first");
  ASSERT_TRUE(upper.waitEnd());
  std::this_thread::sleep_for(std::chrono::milliseconds(1200));
  EXPECT_TRUE(c.running());
  EXPECT_TRUE(targetRuns().empty());
  host_.write("second");
  ASSERT_TRUE(c.waitEnd());
  EXPECT_EQ(c.exitCode(), 0u);
  EXPECT_TRUE(eventually([&] { return targetRuns().size() == 1; }));
}

// 122 polls of 500 ms are 61 s of the host's time: 0.61 s at time scale 100.
TEST_F(CorlithTest, GivesUpAfterTheLastPoll) {
  placeProgram(KIPO_STUB, u"C:\\A\\Kipo.exe");
  Started kipo = start(u"C:\\A\\Kipo.exe --wait C:\\never");
  setFacts({"--time-scale", "100"});
  auto before = std::chrono::steady_clock::now();
  Started c = corlith();
  ASSERT_TRUE(c.waitEnd(30));
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - before).count();
  EXPECT_EQ(c.exitCode(), 0xFFFFFFFFu);
  EXPECT_GE(seconds, 0.61 * 0.95);
  EXPECT_TRUE(targetRuns().empty());
  EXPECT_TRUE(kipo.running());
  host_.write("never");
}

TEST_F(CorlithTest, TooFewArgumentsEndAtOnce) {
  placeProgram(KIPO_STUB, u"C:\\A\\Kipo.exe");
  Started kipo = start(u"C:\\A\\Kipo.exe --wait C:\\go");
  for (const std::u16string& args : {std::u16string(), std::u16string(u" C:\\Target\\target.exe")}) {
    SCOPED_TRACE(toUtf8(args));
    Started c = corlith(args);
    ASSERT_TRUE(c.waitEnd(5));
    EXPECT_EQ(c.exitCode(), 0xFFFFFFFFu);
  }
  EXPECT_TRUE(targetRuns().empty());
  host_.write("go");
}

}  // namespace

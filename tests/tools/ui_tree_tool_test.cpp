// kipo-host ui on another program's tree view (the tree probe): its items listed with their depth,
// parent, item data and states, an item picked by its texts or by its number as a click picks it
// (the probe hears of a selection by mouse), and the refusals.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/child_program.h"
#include "tests/support/test_host.h"

namespace {

using kipotest::runTool;

int ui(const std::vector<std::string>& args, std::string* out = nullptr, std::string* err = nullptr) {
  std::vector<std::string> all{"ui"};
  all.insert(all.end(), args.begin(), args.end());
  return runTool(all, out, err);
}

TEST(UiTreeToolTest, AnotherProgramsTreeItemsAreListedAndPicked) {
  kipotest::TestHost host;
  kipotest::ChildProgram probe(KIPO_TREEPROBE, {});
  ASSERT_TRUE(probe.saw("ready")) << probe.output();

  std::string out;
  ASSERT_EQ(ui({"list", "--window", "tree probe"}, &out), 0);
  for (const char* line : {"    item 0 \"Outlook\" depth=0 parent=-1 data=0x1 expanded\n",
                           "    item 1 \"Inbox\" depth=1 parent=0 data=0x2 collapsed\n",
                           "    item 2 \"Sub\" depth=2 parent=1 data=0x3\n",
                           "    item 3 \"Sent Items\" depth=1 parent=0 data=0x4\n",
                           "    item 4 \"Other\" depth=0 parent=-1 data=0x5\n"})
    EXPECT_NE(out.find(line), std::string::npos) << line << out;

  // By its texts: the collapsed parent is opened on the way, as a person opens it.
  ASSERT_EQ(ui({"select", "--window", "tree probe", "--control", "1357", "--text", "Outlook\\Inbox\\Sub"}), 0);
  ASSERT_TRUE(probe.saw("selected Sub by 1")) << probe.output();
  out.clear();
  ui({"list", "--window", "selected Sub by 1"}, &out);
  EXPECT_NE(out.find("item 1 \"Inbox\" depth=1 parent=0 data=0x2 expanded\n"), std::string::npos) << out;
  EXPECT_NE(out.find("item 2 \"Sub\" depth=2 parent=1 data=0x3 selected\n"), std::string::npos) << out;

  // By its number in the list.
  ASSERT_EQ(ui({"select", "--window", "selected Sub by 1", "--control", "1357", "--index", "4"}), 0);
  EXPECT_TRUE(probe.saw("selected Other by 1")) << probe.output();

  struct Refusal {
    std::vector<std::string> args;
    const char* message;
  } refusals[] = {
      {{"--text", "Outlook\\Nothing"}, "no item Outlook\\Nothing"},
      {{"--text", "Sub"}, "no item Sub"},
      {{"--index", "5"}, "no item 5"},
  };
  for (const Refusal& r : refusals) {
    std::vector<std::string> args{"select", "--window", "selected Other by 1", "--control", "1357"};
    args.insert(args.end(), r.args.begin(), r.args.end());
    std::string err;
    EXPECT_EQ(ui(args, nullptr, &err), 1) << r.message;
    EXPECT_NE(err.find(r.message), std::string::npos) << err;
  }
}

}  // namespace

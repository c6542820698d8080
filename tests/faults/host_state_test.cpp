// The fault runner's comparisons: a registry export read back (UTF-16, continued lines, names
// with quotes, keys in any case) and the differences of registries and file trees, where a file
// of the same size with other bytes must count as changed.
#include "tests/faults/host_state.h"

#include <gtest/gtest.h>

#include <fstream>

#include "tests/support/test_host.h"

namespace {

using namespace faults;
namespace fs = std::filesystem;

std::string utf16(const std::string& ascii) {
  std::string out = "\xFF\xFE";
  for (char c : ascii) {
    out.push_back(c);
    out.push_back('\0');
  }
  return out;
}

TEST(FaultsHostState, AnExportIsReadBackValueByValue) {
  const std::string text =
      "Windows Registry Editor Version 5.00\r\n\r\n"
      "[HKEY_CURRENT_USER\\Software\\Test]\r\n"
      "@=\"default\"\r\n"
      "\"Plain\"=\"one\"\r\n"
      "\"With \\\"quote\\\"=x\"=dword:00000001\r\n"
      "\"Long\"=hex:01,02,\\\r\n  03,04\r\n\r\n"
      "[HKEY_CURRENT_USER\\Software\\Test\\Empty]\r\n";
  RegistryState state = parseExport(utf16(text));
  ASSERT_EQ(state.size(), 2u);
  const auto& values = state.at("HKEY_CURRENT_USER\\SOFTWARE\\TEST");
  EXPECT_EQ(values.at("@"), "\"default\"");
  EXPECT_EQ(values.at("\"PLAIN\""), "\"one\"");
  EXPECT_EQ(values.at("\"WITH \\\"QUOTE\\\"=X\""), "dword:00000001");
  EXPECT_EQ(values.at("\"LONG\""), "hex:01,02,  03,04");
  EXPECT_TRUE(state.at("HKEY_CURRENT_USER\\SOFTWARE\\TEST\\EMPTY").empty());
  // The same export in UTF-8 reads the same.
  EXPECT_EQ(parseExport(text), state);
}

TEST(FaultsHostState, RegistryDifferencesSkipTheIgnoredKeys) {
  RegistryState before = {{"K", {{"\"A\"", "1"}, {"\"B\"", "2"}}}, {"K\\GONE", {}}, {"OWN", {{"\"X\"", "1"}}}};
  RegistryState after = {{"K", {{"\"A\"", "1"}, {"\"B\"", "3"}, {"\"C\"", "4"}}}, {"K\\NEW", {}}, {"OWN", {{"\"X\"", "2"}}}};
  auto diff = compareRegistry(before, after, [](const std::string& key) { return key.rfind("OWN", 0) == 0; });
  std::vector<std::string> expected = {"~ [K] \"B\"=2 -> 3", "+ [K] \"C\"=4", "- [K\\GONE]", "+ [K\\NEW]"};
  EXPECT_EQ(diff, expected);
  EXPECT_TRUE(compareRegistry(before, before, {}).empty());
}

TEST(FaultsHostState, AFileOfTheSameSizeWithOtherBytesIsChanged) {
  fs::path root = kipotest::freshTempDir("tree");
  auto write = [&](const std::string& rel, const std::string& bytes) {
    fs::create_directories((root / rel).parent_path());
    std::ofstream(root / rel, std::ios::binary | std::ios::trunc) << bytes;
  };
  write("Desktop/a.txt", "abcd");
  write("Desktop/b.txt", "kept");
  write("Logs/run.log", "one");
  FileTree before = readTree(root);
  write("Desktop/a.txt", "abce");  // a cut or torn copy keeps the size
  fs::remove(root / "Desktop/b.txt");
  write("Desktop/c.txt", "new");
  write("Logs/run.log", "two");
  FileTree after = readTree(root, [](const std::string& p) { return p == "Logs"; });
  auto diff = compareTrees(before, after, [](const std::string& p) { return p.rfind("Logs", 0) == 0; });
  ASSERT_EQ(diff.size(), 3u);
  EXPECT_EQ(diff[0].substr(0, 15), "~ Desktop/a.txt");
  EXPECT_EQ(diff[1].substr(0, 15), "- Desktop/b.txt");
  EXPECT_EQ(diff[2].substr(0, 15), "+ Desktop/c.txt");
  EXPECT_EQ(after.count("Logs/run.log"), 0u);
  fs::remove_all(root);
}

}  // namespace

// The 8-bit file calls ANSI programs use: finding files (names in the host's ANSI code page, cut
// only at a character boundary), setting attributes and removing folders.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "platform/host/create.h"
#include "platform/win32/win32.h"
#include "tests/support/test_host.h"

namespace {

std::set<std::string> names(const char* pattern) {
  std::set<std::string> out;
  WIN32_FIND_DATAA d{};
  HANDLE h = FindFirstFileA(pattern, &d);
  if (h == INVALID_HANDLE_VALUE) return out;
  do out.insert(d.cFileName);
  while (FindNextFileA(h, &d));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
  FindClose(h);
  return out;
}

TEST(FileAnsiTest, FindAttributesAndRemoveOnAJapaneseHost) {
  platform::host::HostOptions options;
  options.facts["system_locale"] = "0411";
  kipotest::TestHost host(options);
  host.write("Data/\u65e5\u672c.txt");
  host.write("Data/plain.txt");
  host.write("Data/Sub/x");
  EXPECT_EQ(names("C:\\Data\\*"), (std::set<std::string>{".", "..", "\x93\xfa\x96\x7b.txt", "plain.txt", "Sub"}));

  WIN32_FIND_DATAA d{};
  EXPECT_EQ(FindFirstFileA("C:\\Nowhere\\*", &d), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));

  ASSERT_TRUE(SetFileAttributesA("C:\\Data\\\x93\xfa\x96\x7b.txt", FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(GetFileAttributesA("C:\\Data\\\x93\xfa\x96\x7b.txt"), static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
  EXPECT_FALSE(DeleteFileA("C:\\Data\\\x93\xfa\x96\x7b.txt"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));

  EXPECT_FALSE(RemoveDirectoryA("C:\\Data\\Sub"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DIR_NOT_EMPTY));
  ASSERT_TRUE(DeleteFileA("C:\\Data\\Sub\\x"));
  EXPECT_TRUE(RemoveDirectoryA("C:\\Data\\Sub"));
  EXPECT_TRUE(host.gone("Data/Sub"));
}

}  // namespace

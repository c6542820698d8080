// FindFirstFileW/FindNextFileW: wildcard matching as Windows does it (including the short names
// it also matches), "." and "..", order, the find data, and the three "nothing found" errors.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "platform/base/filetime.h"
#include "platform/base/text.h"
#include "platform/host/drives.h"
#include "platform/win32/error.h"
#include "platform/win32/file.h"
#include "platform/win32/volume.h"
#include "tests/support/test_host.h"

namespace {

namespace fs = std::filesystem;

std::string narrow(std::u16string_view s) { return platform::text::toUtf8(s); }

// Names found for a pattern, joined with '|', or "error N".
std::string findAll(const std::u16string& pattern) {
  WIN32_FIND_DATAW data;
  HANDLE h = FindFirstFileW(pattern.c_str(), &data);
  if (h == INVALID_HANDLE_VALUE) return "error " + std::to_string(GetLastError());
  std::string out = narrow(data.cFileName);
  while (FindNextFileW(h, &data)) out += "|" + narrow(data.cFileName);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
  EXPECT_TRUE(FindClose(h));
  return out;
}

class FindTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = host.c("Find");
    fs::create_directories(dir_ / "sub");
    for (const char* n : {"readme", "a.txt", "a.txt2", "ab", "abc", "abcd", "ab.txt", "Photo.JPEG", "x.y.z"})
      std::ofstream(dir_ / n) << n;
  }
  kipotest::TestHost host;
  fs::path dir_;
};

TEST_F(FindTest, WildcardsMatchAsWindowsDoes) {
  struct Case {
    const char16_t* pattern;
    const char* found;
  };
  const Case cases[] = {
      {u"*", ".|..|a.txt|a.txt2|ab|ab.txt|abc|abcd|Photo.JPEG|readme|sub|x.y.z"},
      {u"*.*", ".|..|a.txt|a.txt2|ab|ab.txt|abc|abcd|Photo.JPEG|readme|sub|x.y.z"},  // also names without a dot
      {u"*.txt", "a.txt|a.txt2|ab.txt"},   // a.txt2 through its short name A~1.TXT
      {u"*.jpe", "Photo.JPEG"},            // through PHOTO~1.JPE
      {u"*.", ".|..|ab|abc|abcd|readme|sub"},  // names without an extension
      {u"a?c", "abc"},
      {u"ab?", "ab|abc"},                  // '?' may match nothing at the end of a name
      {u"ab?.txt", "ab.txt"},              // ... or before a dot
      {u"???", "ab|abc|sub"},
      {u"A*", "a.txt|a.txt2|ab|ab.txt|abc|abcd"},
      {u"*.z", "x.y.z"},
      {u"x.y.z", "x.y.z"},
      {u"READ*", "readme"},
      {u"nomatch*", "error 2"},
      {u"absent.txt", "error 2"},
  };
  for (const auto& k : cases)
    EXPECT_EQ(findAll(u"C:\\Find\\" + std::u16string(k.pattern)), k.found) << narrow(k.pattern);
}

TEST_F(FindTest, FindDataAndErrors) {
  WIN32_FIND_DATAW data;
  std::memset(&data, 0xBD, sizeof data);
  HANDLE h = FindFirstFileW(u"c:\\find\\photo.jpeg", &data);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(narrow(data.cFileName), "Photo.JPEG");  // the name as stored
  EXPECT_EQ(narrow(data.cAlternateFileName), "PHOTO~1.JPE");
  EXPECT_EQ(data.nFileSizeLow, 10u);
  EXPECT_EQ(data.nFileSizeHigh, 0u);
  EXPECT_EQ(data.dwFileAttributes, static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE));
  FindClose(h);
  h = FindFirstFileW(u"C:\\Find\\su*", &data);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(data.dwFileAttributes, static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
  EXPECT_EQ(data.cAlternateFileName[0], 0);  // "sub" is already an 8.3 name
  FindClose(h);

  EXPECT_EQ(findAll(u"C:\\Missing\\*"), "error 3");
  EXPECT_EQ(findAll(u"C:\\Find\\a.txt\\*"), "error 3");
  fs::path e = kipotest::freshTempDir("empty-root");
  platform::host::Drive d;
  d.name = u"E:";
  d.root = e;
  platform::host::addDrive(d);
  EXPECT_EQ(findAll(u"E:\\*"), "error 2");  // a root has no "." and ".."
  std::ofstream(e / "only.txt") << "1";
  EXPECT_EQ(findAll(u"E:\\*"), "only.txt");
  EXPECT_FALSE(FindClose(INVALID_HANDLE_VALUE));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(FindTest, EntriesRemovedDuringTheSearchAreSkipped) {
  WIN32_FIND_DATAW data;
  HANDLE h = FindFirstFileW(u"C:\\Find\\ab*", &data);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(narrow(data.cFileName), "ab");
  fs::remove(dir_ / "ab.txt");
  std::vector<std::string> rest;
  while (FindNextFileW(h, &data)) rest.push_back(narrow(data.cFileName));
  FindClose(h);
  EXPECT_EQ(rest, (std::vector<std::string>{"abc", "abcd"}));
}

// A search holds its folder as Windows does: renaming the folder while the search runs does not
// end it.
TEST_F(FindTest, ASearchGoesOnWhenItsFolderIsRenamed) {
  WIN32_FIND_DATAW data;
  HANDLE h = FindFirstFileW(u"C:\\Find\\ab*", &data);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  ASSERT_TRUE(MoveFileW(u"C:\\Find", u"C:\\Found"));
  std::vector<std::string> rest;
  while (FindNextFileW(h, &data)) rest.push_back(narrow(data.cFileName) + " " + std::to_string(data.nFileSizeLow));
  FindClose(h);
  EXPECT_EQ(rest, (std::vector<std::string>{"ab.txt 6", "abc 3", "abcd 4"}));
}

// The find data agree with the per-file calls for what the stand-in stores beside a file
// (attributes, a creation time) and for what it does not.
TEST_F(FindTest, FindDataAgreeWithPerFileQueries) {
  auto set = [](const char16_t* path, DWORD attributes, const FILETIME* created) {
    if (attributes) {
      ASSERT_TRUE(SetFileAttributesW(path, attributes));
    }
    if (created) {
      HANDLE h = CreateFileW(path, FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
      ASSERT_NE(h, INVALID_HANDLE_VALUE);
      ASSERT_TRUE(SetFileTime(h, created, nullptr, nullptr));
      CloseHandle(h);
    }
  };
  FILETIME created{0x12345678, 0x01C00000};
  set(u"C:\\Find\\a.txt", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY, nullptr);
  set(u"C:\\Find\\ab", 0, &created);
  set(u"C:\\Find\\sub", FILE_ATTRIBUTE_SYSTEM, nullptr);
  set(u"C:\\Find\\abc", FILE_ATTRIBUTE_NORMAL, nullptr);  // stored, back to the plain value
  // Written through a handle after its archive bit was cleared: the bit comes back.
  set(u"C:\\Find\\abcd", FILE_ATTRIBUTE_NORMAL, nullptr);
  HANDLE w = CreateFileW(u"C:\\Find\\abcd", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  DWORD n = 0;
  ASSERT_TRUE(WriteFile(w, "more", 4, &n, nullptr));
  CloseHandle(w);
  WIN32_FIND_DATAW data;
  HANDLE h = FindFirstFileW(u"C:\\Find\\*", &data);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  int seen = 0;
  do {
    std::u16string path = u"C:\\Find\\" + std::u16string(data.cFileName);
    SCOPED_TRACE(narrow(path));
    WIN32_FILE_ATTRIBUTE_DATA one{};
    ASSERT_TRUE(GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &one));
    EXPECT_EQ(data.dwFileAttributes, one.dwFileAttributes);
    EXPECT_EQ(platform::fileTimeToU64(data.ftCreationTime), platform::fileTimeToU64(one.ftCreationTime));
    EXPECT_EQ(platform::fileTimeToU64(data.ftLastWriteTime), platform::fileTimeToU64(one.ftLastWriteTime));
    EXPECT_EQ(data.nFileSizeLow, one.nFileSizeLow);
    ++seen;
  } while (FindNextFileW(h, &data));
  FindClose(h);
  EXPECT_EQ(seen, 12);
  EXPECT_EQ(GetFileAttributesW(u"C:\\Find\\a.txt"), static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(GetFileAttributesW(u"C:\\Find\\abc"), static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL));
  EXPECT_EQ(GetFileAttributesW(u"C:\\Find\\abcd"), static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE));
  WIN32_FILE_ATTRIBUTE_DATA ab{};
  ASSERT_TRUE(GetFileAttributesExW(u"C:\\Find\\ab", GetFileExInfoStandard, &ab));
  EXPECT_EQ(platform::fileTimeToU64(ab.ftCreationTime), platform::fileTimeToU64(created));
}

}  // namespace

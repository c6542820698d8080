// Paths: full-path rules (relative, drive-relative, rooted, UNC, "\\?\", dots, separators),
// refused and stripped names, MAX_PATH, the current directory, short and long names, and where
// a Windows path lands on Linux.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "platform/base/text.h"
#include "platform/host/drives.h"
#include "platform/host/paths.h"
#include "platform/win32/error.h"
#include "platform/win32/file.h"
#include "platform/win32/volume.h"
#include "tests/support/test_host.h"

namespace {

namespace fs = std::filesystem;
constexpr DWORD kSentinel = 0xDEADBEEF;

std::string narrow(const std::u16string& s) { return platform::text::toUtf8(s); }

std::u16string fullPath(const std::u16string& in) {
  char16_t buf[600];
  DWORD n = GetFullPathNameW(in.c_str(), 600, buf, nullptr);
  if (n == 0 || n >= 600) return u"<error " + platform::text::fromUtf8(std::to_string(GetLastError())) + u">";
  return std::u16string(buf, n);
}

class PathTest : public ::testing::Test {
 protected:
  void SetUp() override {
    e_ = kipotest::freshTempDir("drive-e");
    fs::create_directories(e_ / "Work" / "Sub");
    platform::host::Drive d;
    d.name = u"E:";
    d.root = e_;
    d.type = DRIVE_REMOVABLE;
    platform::host::addDrive(d);
    share_ = kipotest::freshTempDir("share");
    d.name = u"\\\\Server\\Public";
    d.root = share_;
    d.type = DRIVE_REMOTE;
    platform::host::addDrive(d);
  }
  kipotest::TestHost host;
  fs::path e_, share_;
};

TEST_F(PathTest, FullPathNamesFollowWin32Rules) {
  ASSERT_TRUE(SetCurrentDirectoryW(u"C:\\WINDOWS\\system32"));
  ASSERT_TRUE(SetCurrentDirectoryW(u"E:\\Work"));  // E: remembers \Work
  ASSERT_TRUE(SetCurrentDirectoryW(u"C:\\WINDOWS"));
  struct Case {
    const char16_t* in;
    const char16_t* out;
  };
  const Case cases[] = {
      {u"C:\\a\\b.txt", u"C:\\a\\b.txt"},
      {u"file.txt", u"C:\\WINDOWS\\file.txt"},
      {u"..\\x", u"C:\\x"},
      {u"..\\..\\..\\x", u"C:\\x"},                  // ".." stops at the root
      {u".\\system32\\.\\drivers", u"C:\\WINDOWS\\system32\\drivers"},
      {u"\\rooted", u"C:\\rooted"},                  // the current drive's root
      {u"C:rel", u"C:\\WINDOWS\\rel"},               // drive-relative on the current drive
      {u"E:rel", u"E:\\Work\\rel"},                  // the drive's own current directory
      {u"F:rel", u"F:\\rel"},                        // a drive never visited: its root
      {u"C:/fwd/slashes//twice", u"C:\\fwd\\slashes\\twice"},
      {u"C:\\trail. . .", u"C:\\trail"},             // trailing dots and spaces of the last name
      {u"C:\\dots.\\x", u"C:\\dots\\x"},             // an inner name loses one trailing dot
      {u"C:\\two..\\x", u"C:\\two.\\x"},             // only one
      {u"C:\\sp. \\x", u"C:\\sp. \\x"},              // and keeps its trailing spaces
      {u"C:\\a\\b.\\..\\c", u"C:\\a\\c"},
      {u"C:\\folder\\", u"C:\\folder\\"},            // a trailing separator stays
      {u"\\\\Server\\Public\\a\\..\\b", u"\\\\Server\\Public\\b"},
      {u"\\\\Server\\Public\\..\\..", u"\\\\Server\\Public\\"},
      {u"\\\\?\\C:\\keep\\.\\as is. ", u"\\\\?\\C:\\keep\\.\\as is. "},  // no rules for \\?\ paths
  };
  for (const auto& k : cases) EXPECT_EQ(narrow(fullPath(k.in)), narrow(k.out)) << narrow(k.in);

  // lpFilePart points at the last name; the size rule: too small returns the size with NUL and
  // leaves the buffer alone.
  char16_t buf[64];
  char16_t* part = nullptr;
  DWORD n = GetFullPathNameW(u"C:\\a\\name.ext", 64, buf, &part);
  ASSERT_EQ(n, 13u);
  ASSERT_NE(part, nullptr);
  EXPECT_EQ(std::u16string(part), u"name.ext");
  buf[0] = u'#';
  EXPECT_EQ(GetFullPathNameW(u"C:\\a\\name.ext", 13, buf, &part), 14u);
  EXPECT_EQ(buf[0], u'#');
  part = reinterpret_cast<char16_t*>(&n);
  GetFullPathNameW(u"C:\\a\\", 64, buf, &part);
  EXPECT_EQ(part, nullptr);
}

TEST_F(PathTest, RefusedNamesAndStrippedNames) {
  const char16_t* refused[] = {
      u"C:\\a<b.txt", u"C:\\a>b", u"C:\\a\"b", u"C:\\a|b", u"C:\\a?b", u"C:\\a*b", u"C:\\a:b",
      u"C:\\tab\there", u"C:\\CON", u"C:\\con.txt", u"C:\\WINDOWS\\nul", u"C:\\Aux.log", u"C:\\COM1",
      u"C:\\lpt9.txt", u"C:\\prn\\x", u"C:\\bad|dir\\x.txt",
  };
  for (const char16_t* p : refused) {
    SetLastError(kSentinel);
    EXPECT_EQ(CreateFileW(p, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr), INVALID_HANDLE_VALUE) << narrow(p);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_NAME)) << narrow(p);
  }
  // Names that are fine: COM10, CONSOLE, a dot inside, spaces inside.
  for (const char16_t* p : {u"C:\\COM10", u"C:\\CONSOLE.txt", u"C:\\a.b.c", u"C:\\with space.txt"}) {
    HANDLE h = CreateFileW(p, GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    EXPECT_NE(h, INVALID_HANDLE_VALUE) << narrow(p);
    CloseHandle(h);
  }
  // Trailing dots and spaces vanish: "name. . " is "name".
  HANDLE h = CreateFileW(u"C:\\stripped. .", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  CloseHandle(h);
  EXPECT_TRUE(fs::exists(host.c("stripped")));
  EXPECT_NE(GetFileAttributesW(u"C:\\STRIPPED..."), INVALID_FILE_ATTRIBUTES);
}

TEST_F(PathTest, LongPathsAndTheVerbatimPrefix) {
  std::u16string dir = u"C:\\" + std::u16string(200, u'd');
  ASSERT_TRUE(CreateDirectoryW(dir.c_str(), nullptr));
  // CreateDirectoryW stops 12 short of MAX_PATH.
  std::u16string tooLongDir = dir + u"\\" + std::u16string(50, u'e');
  EXPECT_FALSE(CreateDirectoryW(tooLongDir.c_str(), nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE));
  std::u16string fits = dir + u"\\" + std::u16string(55, u'f');  // 259 characters
  ASSERT_EQ(fits.size(), 259u);
  HANDLE h = CreateFileW(fits.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  EXPECT_NE(h, INVALID_HANDLE_VALUE);
  CloseHandle(h);
  std::u16string over = fits + u"g";
  EXPECT_EQ(CreateFileW(over.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  std::u16string verbatim = u"\\\\?\\" + over;
  h = CreateFileW(verbatim.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  EXPECT_NE(h, INVALID_HANDLE_VALUE);
  CloseHandle(h);
  // "\\?\" keeps names literal but never lets ".." climb out of a drive.
  EXPECT_EQ(GetFileAttributesW(u"\\\\?\\C:\\..\\host.db"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_NAME));
}

TEST_F(PathTest, DrivesSharesAndMissingLetters) {
  std::ofstream(share_ / "Readme.txt") << "r";
  EXPECT_NE(GetFileAttributesW(u"\\\\SERVER\\public\\README.TXT"), INVALID_FILE_ATTRIBUTES);
  struct Case {
    const char16_t* path;
    DWORD error;
  };
  const Case cases[] = {
      {u"Q:\\x.txt", ERROR_PATH_NOT_FOUND},               // no such letter
      {u"\\\\Server\\Private\\x", ERROR_BAD_NET_NAME},    // known server, unknown share
      {u"\\\\Nobody\\Public\\x", ERROR_BAD_NETPATH},      // unknown server
      {u"E:\\Work\\missing\\x.txt", ERROR_PATH_NOT_FOUND},
      {u"E:\\Work\\missing.txt", ERROR_FILE_NOT_FOUND},
  };
  for (const auto& k : cases) {
    EXPECT_EQ(GetFileAttributesW(k.path), INVALID_FILE_ATTRIBUTES) << narrow(k.path);
    EXPECT_EQ(GetLastError(), k.error) << narrow(k.path);
  }
}

TEST_F(PathTest, LookupIsExactFirstThenCaseInsensitive) {
  // Two spellings on Linux: the exact one wins; another spelling finds one of them.
  std::ofstream(e_ / "Work" / "Data.txt") << "upper";
  std::ofstream(e_ / "Work" / "data.txt") << "lower";
  auto r = platform::host::resolvePath(u"E:\\Work\\data.txt");
  ASSERT_EQ(r.error, 0u);
  EXPECT_EQ(r.linux, (e_ / "Work" / "data.txt").string());
  r = platform::host::resolvePath(u"E:\\Work\\Data.txt");
  EXPECT_EQ(r.linux, (e_ / "Work" / "Data.txt").string());
  r = platform::host::resolvePath(u"e:\\WORK\\SUB\\New File.TXT");
  ASSERT_EQ(r.error, 0u);
  EXPECT_FALSE(r.exists);
  EXPECT_EQ(r.linux, (e_ / "Work" / "Sub" / "New File.TXT").string());
  // Non-ASCII names compare through the one upper-casing table.
  std::ofstream(e_ / "Work" / "\xC3\xA9t\xC3\xA9.txt") << "e";  // "été.txt"
  r = platform::host::resolvePath(u"E:\\work\\\u00C9T\u00C9.TXT");
  ASSERT_EQ(r.error, 0u);
  EXPECT_TRUE(r.exists);
  std::string out;
  ASSERT_EQ(kipotest::runTool({"path", "e:\\work\\sub"}, &out), 0);
  EXPECT_EQ(out, (e_ / "Work" / "Sub").string() + "\n");
}

// The case-insensitive look-up remembers folders' names; whatever changes a folder behind the
// stand-in's back (another process, a Linux tool) is seen at once, also right after this process
// made a file there itself.
TEST_F(PathTest, CaseInsensitiveLookupSeesChangesMadeElsewhere) {
  const fs::path work = e_ / "Work";
  auto spelled = [&](const std::u16string& path) {
    auto r = platform::host::resolvePath(path);
    if (r.error) return "<error " + std::to_string(r.error) + ">";
    return r.exists ? fs::path(r.linux).filename().string() : std::string("<missing>");
  };
  auto create = [](const std::u16string& path) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return GetLastError();
    CloseHandle(h);
    return static_cast<DWORD>(0);
  };
  EXPECT_EQ(spelled(u"E:\\Work\\REPORT.TXT"), "<missing>");  // the folder's names are now known
  std::ofstream(work / "Report.txt") << "r";
  EXPECT_EQ(spelled(u"E:\\Work\\REPORT.TXT"), "Report.txt");
  EXPECT_EQ(create(u"E:\\Work\\report.TXT"), static_cast<DWORD>(ERROR_FILE_EXISTS));
  fs::rename(work / "Report.txt", work / "Summary.txt");
  EXPECT_EQ(spelled(u"E:\\Work\\REPORT.TXT"), "<missing>");
  EXPECT_EQ(spelled(u"E:\\Work\\summary.txt"), "Summary.txt");
  // Made by this process, then by someone else: both found in another case.
  ASSERT_EQ(create(u"E:\\Work\\Mine.txt"), 0u);
  EXPECT_EQ(spelled(u"E:\\Work\\MINE.TXT"), "Mine.txt");
  std::ofstream(work / "Theirs.txt") << "t";
  EXPECT_EQ(spelled(u"E:\\Work\\THEIRS.TXT"), "Theirs.txt");
  EXPECT_EQ(create(u"E:\\Work\\theirs.txt"), static_cast<DWORD>(ERROR_FILE_EXISTS));
  // A folder replaced by another of the same name is read afresh.
  fs::remove_all(work / "Sub");
  fs::create_directories(work / "Sub");
  std::ofstream(work / "Sub" / "Fresh.txt") << "f";
  EXPECT_EQ(spelled(u"E:\\work\\sub\\FRESH.TXT"), "Fresh.txt");
  // Many files made here one after another are all found, in any case.
  for (int i = 0; i < 300; ++i)
    ASSERT_EQ(create(u"E:\\Work\\Sub\\Made " + platform::text::fromUtf8(std::to_string(i)) + u".txt"), 0u) << i;
  std::ofstream(work / "Sub" / "Late.txt") << "l";
  EXPECT_EQ(spelled(u"E:\\Work\\Sub\\MADE 299.TXT"), "Made 299.txt");
  EXPECT_EQ(spelled(u"E:\\Work\\Sub\\late.TXT"), "Late.txt");
}

TEST_F(PathTest, CurrentDirectory) {
  char16_t buf[MAX_PATH];
  EXPECT_EQ(GetCurrentDirectoryW(MAX_PATH, buf), 3u);  // the test runs outside any drive
  EXPECT_EQ(std::u16string(buf), u"C:\\");
  ASSERT_TRUE(SetCurrentDirectoryW(u"e:\\work\\"));
  DWORD n = GetCurrentDirectoryW(MAX_PATH, buf);
  EXPECT_EQ(std::u16string(buf, n), u"e:\\work");  // as given, without the trailing separator
  buf[0] = u'#';
  EXPECT_EQ(GetCurrentDirectoryW(3, buf), n + 1);
  EXPECT_EQ(buf[0], u'#');
  EXPECT_NE(GetFileAttributesW(u"Sub"), INVALID_FILE_ATTRIBUTES);  // relative to it
  EXPECT_FALSE(SetCurrentDirectoryW(u"E:\\nothing"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  std::ofstream(e_ / "file.txt") << "f";
  EXPECT_FALSE(SetCurrentDirectoryW(u"E:\\file.txt"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DIRECTORY));
  n = GetCurrentDirectoryW(MAX_PATH, buf);
  EXPECT_EQ(std::u16string(buf, n), u"e:\\work");  // unchanged by the failures
  EXPECT_EQ(platform::host::windowsPathOf((e_ / "Work" / "Sub").string()), u"E:\\Work\\Sub");
}

TEST_F(PathTest, ShortAndLongNames) {
  for (const char* name : {"Long Folder Name", "Long Folder Other", "short", "Mixed.Case.Name.text"})
    fs::create_directories(e_ / name);
  struct Case {
    const char16_t* in;
    const char16_t* shortName;
  };
  const Case cases[] = {
      {u"E:\\short", u"E:\\short"},                               // already 8.3: unchanged
      {u"E:\\Long Folder Name", u"E:\\LONGFO~1"},
      {u"E:\\Mixed.Case.Name.text", u"E:\\MIXEDC~1.TEX"},
      {u"E:\\Work\\Sub", u"E:\\Work\\Sub"},
  };
  char16_t buf[MAX_PATH];
  for (const auto& k : cases) {
    DWORD n = GetShortPathNameW(k.in, buf, MAX_PATH);
    ASSERT_GT(n, 0u) << narrow(k.in);
    EXPECT_EQ(narrow(std::u16string(buf, n)), narrow(k.shortName));
    n = GetLongPathNameW(buf, buf, MAX_PATH);
    ASSERT_GT(n, 0u);
    EXPECT_TRUE(platform::text::equalNoCase(std::u16string(buf, n), k.in)) << narrow(std::u16string(buf, n));
  }
  // The two "LONGFO" names are numbered in creation order, and a short name opens the long one.
  DWORD n = GetShortPathNameW(u"E:\\Long Folder Other", buf, MAX_PATH);
  EXPECT_EQ(narrow(std::u16string(buf, n)), "E:\\LONGFO~2");
  EXPECT_EQ(GetFileAttributesW(u"E:\\longfo~1"), static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
  EXPECT_EQ(GetShortPathNameW(u"E:\\absent folder", buf, MAX_PATH), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

// Short names are kept per process while their folder is unchanged. A change made behind the
// stand-in's back (Linux calls, as another process would make it) is seen at once: the listing,
// GetShortPathNameW and a look-up by short name give what a process computing afresh gives.
TEST_F(PathTest, KeptShortNamesFollowChangesToTheirFolder) {
  const fs::path work = e_ / "Work";
  using Aliases = std::map<std::string, std::string>;
  auto listed = [] {
    Aliases out;
    WIN32_FIND_DATAW d;
    HANDLE h = FindFirstFileW(u"E:\\Work\\*", &d);
    if (h == INVALID_HANDLE_VALUE) return out;
    do {
      if (d.cAlternateFileName[0]) out[narrow(d.cFileName)] = narrow(d.cAlternateFileName);
    } while (FindNextFileW(h, &d));
    FindClose(h);
    return out;
  };
  auto fresh = [&] {
    std::vector<std::u16string> names;
    for (const auto& e : fs::directory_iterator(work)) names.push_back(platform::text::fromUtf8(e.path().filename().string()));
    auto aliases = platform::host::shortNames(work.string(), names);
    Aliases out;
    for (std::size_t i = 0; i < names.size(); ++i)
      if (!aliases[i].empty()) out[narrow(names[i])] = narrow(aliases[i]);
    return out;
  };
  auto agree = [&](const char* step) {
    SCOPED_TRACE(step);
    Aliases now = listed();
    EXPECT_EQ(now, fresh());
    for (const auto& [name, alias] : now) {
      char16_t buf[MAX_PATH];
      std::u16string path = u"E:\\Work\\" + platform::text::fromUtf8(name);
      DWORD n = GetShortPathNameW(path.c_str(), buf, MAX_PATH);
      EXPECT_EQ(narrow(std::u16string(buf, n)), "E:\\Work\\" + alias);
      n = GetLongPathNameW((u"E:\\Work\\" + platform::text::fromUtf8(alias)).c_str(), buf, MAX_PATH);
      EXPECT_EQ(narrow(std::u16string(buf, n)), "E:\\Work\\" + name);
    }
    return now;
  };
  for (const char* name : {"Document one.txt", "Document two.txt", "Document three.txt"}) std::ofstream(work / name) << name;
  Aliases before = agree("made");
  EXPECT_EQ(before["Document one.txt"], "DOCUME~1.TXT");
  fs::remove(work / "Document one.txt");
  Aliases after = agree("first-born removed");
  int ones = 0;
  for (const auto& [name, alias] : after) ones += alias == "DOCUME~1.TXT";
  EXPECT_EQ(ones, 1);  // the numbers moved up, so kept ones would differ
  fs::rename(work / "Document two.txt", work / "Document renamed.txt");
  agree("renamed");
  for (int i = 0; i < 5; ++i) std::ofstream(work / ("Document more " + std::to_string(i) + ".txt")) << i;
  agree("past the fourth");
}

}  // namespace

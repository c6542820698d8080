// Path and file utilities: the rules of the path texts with their quirks (the dropped last piece
// of splitByChar, the whole name as "extension", the case-sensitive relative path, the extra
// cluster of sizes on the drive), case-blind helpers, time comparisons, size texts, conflict
// names, special folders matched on folder boundaries, and the string records of binary files.
#include "app/file_util.h"

#include <gtest/gtest.h>

#include <fstream>

#include "app/lingrove.h"
#include "app/program_texts.h"
#include "lang/ids.h"
#include "platform/host/drives.h"
#include "platform/win32/controls/commctrl.h"
#include "platform/win32/process.h"
#include "platform/win32/security.h"
#include "platform/win32/win32.h"
#include "tests/app/app_fixture.h"
#include "tests/support/test_windows.h"

namespace {

using apptest::AppTest;
namespace fs = std::filesystem;

class FileUtilTest : public AppTest {
 protected:
  FileUtilTest() {
    installLanguages({"USA"});
    language = std::make_unique<Lingrove>(CString(u"USA"), TRUE);
    createLog();
  }
  ~FileUtilTest() override {
    setSpecialFolderSource(nullptr);
    setDriveClusterSize(0);
  }
  void write(const std::string& rel, std::size_t bytes) {
    fs::create_directories(host.c(rel).parent_path());
    std::ofstream(host.c(rel), std::ios::binary) << std::string(bytes, 'x');
  }
  std::unique_ptr<Lingrove> language;
};

std::string u8(const CString& s) { return platform::text::toUtf8(s.view()); }

TEST(PathTextTest, JoinParentNameExtension) {
  struct Case {
    const char16_t *a, *b, *joined;
  };
  const Case joins[] = {
      {u"D:\\a\\", u"\\b", u"D:\\a\\b"}, {u"D:\\a", u"b", u"D:\\a\\b"}, {u"", u"b", u"b"},      {u"a", u"", u"a"},
      {u"D:\\a\\", u"b", u"D:\\a\\b"},   {u"D:\\a", u"\\b", u"D:\\a\\b"}, {u"D:\\", u"\\", u"D:\\"},
  };
  for (const Case& c : joins) EXPECT_EQ(u8(joinPath(c.a, c.b)), u8(c.joined)) << u8(c.a) << " + " << u8(c.b);
  EXPECT_EQ(u8(joinUrlPath(u"http://h/x/", u"/update.txt")), "http://h/x/update.txt");

  struct One {
    const char16_t *in, *out;
  };
  const One parents[] = {{u"D:\\file.txt", u"D:\\"}, {u"D:\\", u"D:\\"}, {u"name.txt", u""},
                         {u"D:\\a\\b", u"D:\\a"},   {u"\\\\srv\\share\\x", u"\\\\srv\\share"}};
  for (const One& c : parents) EXPECT_EQ(u8(getParentFolder(c.in)), u8(c.out)) << u8(c.in);

  const One extensions[] = {{u"D:\\a\\x.tar.gz", u".gz"}, {u"README", u"README"}, {u"D:\\a.b\\c", u".b\\c"}};
  for (const One& c : extensions) EXPECT_EQ(u8(getFileExtension(c.in)), u8(c.out)) << u8(c.in);
  EXPECT_EQ(u8(removeExtension(u"D:\\a\\x.tar.gz")), "D:\\a\\x.tar");
  EXPECT_EQ(u8(removeExtension(u"README")), "README");
  EXPECT_EQ(u8(getFileName(u"D:\\a\\x.txt")), "x.txt");
  EXPECT_EQ(u8(getFileName(u"x.txt")), "x.txt");
  EXPECT_TRUE(hasExtension(u"D:\\Link.LNK", u".lnk"));
  EXPECT_TRUE(isShortcutFile(u"a.Lnk"));
  EXPECT_TRUE(isProgramFile(u"setup.COM"));
  EXPECT_FALSE(isProgramFile(u"setup.cmd"));
}

TEST(PathTextTest, PathForms) {
  struct Case {
    const char16_t* path;
    bool absolute, root, driveSpec, unc;
    const char16_t *pathRoot, *server;
  };
  const Case cases[] = {
      {u"D:\\x", true, false, false, false, u"D:", u""},
      {u"D:\\", true, true, true, false, u"D:", u""},
      {u"D:", false, false, true, false, u"D:", u""},
      {u"\\\\srv\\share\\x", true, false, false, true, u"\\\\srv", u"\\\\srv"},
      {u"\\\\srv", true, false, false, true, u"\\\\srv", u"\\\\srv"},
      {u"x\\y", false, false, false, false, u"", u""},
      {u"1:\\", false, false, false, false, u"1:", u""},
      {u"D", false, false, false, false, u"", u""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(u8(c.path));
    EXPECT_EQ(isAbsolutePath(c.path), c.absolute);
    EXPECT_EQ(isRootPath(c.path), c.root);
    EXPECT_EQ(isDriveRoot(c.path), c.driveSpec);
    EXPECT_EQ(isUncPath(c.path), c.unc);
    EXPECT_EQ(u8(getPathRoot(c.path)), u8(c.pathRoot));
    EXPECT_EQ(u8(getUncServer(c.path)), u8(c.server));
  }
  EXPECT_EQ(u8(toForwardSlashes(u"a\\b\\c")), "a/b/c");
  EXPECT_TRUE(hasWildcards(u"a?.txt"));
  EXPECT_FALSE(hasWildcards(u"a.txt"));
}

TEST(PathTextTest, RelativePathAndRemainder) {
  struct Case {
    const char16_t *path, *base, *relative;
  };
  const Case cases[] = {
      {u"D:\\Data\\x.txt", u"D:\\data", u""},  // the comparison is case-sensitive
      {u"D:\\Data\\x.txt", u"D:\\Data\\", u"x.txt"},
      {u"D:\\Data\\x.txt", u"D:\\Data", u"x.txt"},
      {u"D:\\Database\\x", u"D:\\Data", u""},  // only on a backslash
      {u"D:\\Data", u"D:\\Data", u""},
      {u"Data\\x", u"Data", u""},  // both must be absolute
  };
  for (const Case& c : cases) EXPECT_EQ(u8(getRelativePath(c.path, c.base)), u8(c.relative)) << u8(c.path) << " | " << u8(c.base);

  // The characters in common and one more (the separator) are skipped, whatever they are.
  EXPECT_EQ(u8(getPathRemainder(u"D:\\a\\b\\c", u"D:\\a")), "b\\c");
  EXPECT_EQ(u8(getPathRemainder(u"D:\\a", u"D:\\a")), "");
  EXPECT_EQ(u8(getPathRemainder(u"D:\\a", u"D:\\a\\b")), "");
  EXPECT_EQ(u8(getPathRemainder(u"D:\\xyz\\f", u"D:\\xab")), "z\\f");
  EXPECT_TRUE(haveSameParentFolder(u"D:\\A\\x", u"d:\\a\\y"));
  EXPECT_FALSE(haveSameParentFolder(u"D:\\A\\x", u"D:\\B\\x"));
}

TEST(PathTextTest, SplittingDropsTheLastPiece) {
  struct Case {
    const char16_t* text;
    std::vector<std::string> pieces;
  };
  const Case cases[] = {
      {u"a;b", {"a"}}, {u"ab", {}}, {u"a;b;", {"a", "b"}}, {u";a", {""}}, {u"", {}},
  };
  for (const Case& c : cases) {
    CStringArray list;
    list.Add(u"kept");  // splitByChar appends
    splitByChar(c.text, list, u';');
    ASSERT_EQ(list.GetSize(), static_cast<INT_PTR>(c.pieces.size() + 1)) << u8(c.text);
    for (std::size_t i = 0; i < c.pieces.size(); ++i) EXPECT_EQ(u8(list[i + 1]), c.pieces[i]);
  }

  CStringArray list;
  list.Add(u"old");
  tokenize(u"  One Two;Three;;Four", list, u" ", true);  // the first piece ends at ' ', then ';'
  ASSERT_EQ(list.GetSize(), 4);
  EXPECT_EQ(u8(list[0]), "one");
  EXPECT_EQ(u8(list[1]), "two");
  EXPECT_EQ(u8(list[2]), "three");
  EXPECT_EQ(u8(list[3]), "four");
  splitSemicolonList(u"A;B", list);
  ASSERT_EQ(list.GetSize(), 2);
  EXPECT_EQ(u8(list[0]), "a");
}

TEST(TextCompareTest, CaseBlindHelpers) {
  EXPECT_EQ(findNoCase(u"Hello World", u"WORLD"), 6);
  EXPECT_EQ(findNoCase(u"Hello", u""), -1);
  EXPECT_EQ(findNoCase(u"", u"a"), -1);
  EXPECT_EQ(findNoCase(u"ab", u"abc"), -1);
  EXPECT_TRUE(startsWithNoCase(u"Desktop\\x", u"DESKTOP"));
  EXPECT_FALSE(startsWithNoCase(u"my Desktop", u"desktop"));
  EXPECT_FALSE(startsWithNoCase(u"abc", u"x"));
  EXPECT_TRUE(charsEqualNoCase(u'Q', u'q'));
  EXPECT_FALSE(charsEqualNoCase(u'\u00C4', u'\u00E4'));  // only A-Z fold
  EXPECT_TRUE(equalsNoCase(u"\u00C4bc", u"\u00E4BC"));
  CStringArray list;
  list.Add(u"One");
  EXPECT_TRUE(isInStringList(u"One", list));
  EXPECT_FALSE(isInStringList(u"one", list));
}

TEST(TimeCompareTest, TolerancesAndConversions) {
  EXPECT_FALSE(differsByMoreThan(100, 102, 2));
  EXPECT_TRUE(differsByMoreThan(100, 97, 2));
  auto ft = [](ULONGLONG ticks) { return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)}; };
  const ULONGLONG base = 130000000000000000ULL;  // 2012
  // The parts below a second are dropped before the span is taken: 2.95 s and 0.9 s are 2 s apart.
  EXPECT_FALSE(fileTimesDiffer(ft(base + 29500000), ft(base + 9000000), 2));
  EXPECT_TRUE(fileTimesDiffer(ft(base + 30000000), ft(base), 2));
  EXPECT_FALSE(fileTimesDiffer(ft(base + 29990000), ft(base), 2));
  EXPECT_TRUE(isFileTimeLater(ft(base + 1), ft(base)));
  EXPECT_FALSE(isFileTimeLater(ft(base), ft(base)));
  EXPECT_FALSE(isFileTimeLater(ft(0x8000000000000000ULL), ft(base)));  // not convertible
  EXPECT_TRUE(isZeroFileTime(ft(0)));
  EXPECT_FALSE(isZeroFileTime(ft(1ULL << 32)));
}

TEST(FormatSizeTest, KilobyteRules) {
  struct Case {
    LONGLONG bytes;
    const char* text;
  };
  const Case cases[] = {
      {0, "0 KB"},         {1, "1 KB"},          {1024, "1 KB"},        {1025, "1 KB"}, {2047, "1 KB"},
      {2048, "2 KB"},      {102399, "99 KB"},    {-1024, "-1 KB"},      {-5000, "-4 KB"},
      {102400, "100 KB"},  {-102400, "-100 KB"}, {2400000, "2.28 MB"},
  };
  for (const Case& c : cases) EXPECT_EQ(u8(formatFileSize(c.bytes)), c.text) << c.bytes;
}

TEST_F(FileUtilTest, FileTestsAndSizes) {
  write("d/eight.bin", 8192);
  write("d/empty.bin", 0);
  write("d/sub/one.bin", 1);
  EXPECT_TRUE(fileExists(u"C:\\d\\eight.bin"));
  EXPECT_FALSE(fileExists(u"C:\\d"));
  EXPECT_FALSE(fileExists(u""));
  EXPECT_TRUE(pathExists(u"C:\\d"));
  EXPECT_TRUE(directoryExists(u"C:\\d"));
  EXPECT_FALSE(directoryExists(u"C:\\d\\eight.bin"));
  EXPECT_EQ(getFileSize(u"C:\\d\\eight.bin", true), 8192u);  // no cluster size known yet
  setDriveClusterSize(4096);
  EXPECT_EQ(getFileSize(u"C:\\d\\eight.bin", true), 12288u);  // one cluster more than needed
  EXPECT_EQ(getFileSize(u"C:\\d\\empty.bin", true), 4096u);
  EXPECT_EQ(getFileSize(u"C:\\d\\eight.bin", false), 8192u);
  EXPECT_EQ(getFileSize(u"C:\\d\\none.bin", true), 0u);
  EXPECT_EQ(getFolderSize(u"C:\\d", false), 12288u + 4096u);
  EXPECT_EQ(getFolderSize(u"C:\\d", true), 12288u + 4096u + 4096u);
  EXPECT_EQ(getFolderSize(u"d", true), 0u);

  EXPECT_FALSE(isReadOnlyFile(u"C:\\d\\eight.bin"));
  EXPECT_TRUE(isReadOnlyFile(u"C:\\d\\none.bin"));
  ASSERT_TRUE(SetFileAttributesW(u"C:\\d\\eight.bin", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE));
  EXPECT_TRUE(isReadOnlyFile(u"C:\\d\\eight.bin"));
  EXPECT_TRUE(setHiddenAttribute(u"C:\\d\\eight.bin", true));
  EXPECT_TRUE(isHiddenFile(u"C:\\d\\eight.bin"));
  EXPECT_TRUE(clearReadOnly(u"C:\\d\\eight.bin"));
  EXPECT_EQ(GetFileAttributesW(u"C:\\d\\eight.bin"), static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
  EXPECT_FALSE(setHiddenAttribute(u"C:\\d\\none.bin", true));
  EXPECT_FALSE(isHiddenFile(u"C:\\d\\none.bin"));

  EXPECT_TRUE(setSystemAttribute(u"C:\\d\\empty.bin", true));
  EXPECT_TRUE(GetFileAttributesW(u"C:\\d\\empty.bin") & FILE_ATTRIBUTE_SYSTEM);
  EXPECT_NE(logBytes().find("Setting file \"C:\\d\\empty.bin' to system file<br>"), std::string::npos);

  EXPECT_GT(getFileModificationTime(u"C:\\d\\eight.bin"), 0);
  EXPECT_EQ(getFileModificationTime(u"C:\\d\\none.bin"), 0);
  EXPECT_TRUE(isModifiedWithinDays(u"C:\\d\\eight.bin", 1));
  EXPECT_TRUE(isModifiedWithinDays(u"C:\\d\\eight.bin", 0xFFFFFFFF));
  EXPECT_FALSE(isModifiedWithinDays(u"C:\\d\\none.bin", 0xFFFFFFFF));
  EXPECT_EQ(compareFileTimes(u"C:\\d\\eight.bin", u"C:\\d\\none.bin"), 1);
}

TEST_F(FileUtilTest, ShareRootIsAFolder) {
  fs::path share = kipotest::freshTempDir("share");
  platform::host::Drive d;
  d.name = u"\\\\srv\\docs";
  d.root = share;
  d.type = DRIVE_REMOTE;
  platform::host::addDrive(d);
  EXPECT_TRUE(directoryExists(u"\\\\srv\\docs"));
  EXPECT_FALSE(directoryExists(u"\\\\srv\\nothing"));
}

TEST_F(FileUtilTest, ConflictNames) {
  write("t/a.txt", 1);
  EXPECT_EQ(u8(makeConflictFileName(u"a.txt", u"C:\\t")), "_a.txt");
  write("t/_a.txt", 1);
  write("t/__a.txt", 1);
  EXPECT_EQ(u8(makeConflictFileName(u"a.txt", u"C:\\t")), "___a.txt");
  write("t/___a.txt", 1);
  write("t/____a.txt", 1);
  std::string before = logBytes();
  EXPECT_EQ(u8(makeConflictFileName(u"a.txt", u"C:\\t")), "");  // even though "_____a.txt" is free
  std::string added = logBytes().substr(before.size());
  EXPECT_EQ(added,
            "{FILE UTIL}: Failed to create new conflict file name for file C:\\t\\a.txt.\nThere are too many copies "
            "already.<br>");
}

TEST_F(FileUtilTest, VolumesAndDiskSpace) {
  fs::path e = kipotest::freshTempDir("vol");
  platform::host::Drive d;
  d.name = u"E:";
  d.root = e;
  d.type = DRIVE_REMOVABLE;
  d.clusterSize = 2048;
  d.capacity = 100 * 2048;
  d.serial = 0x1234ABCD;
  platform::host::addDrive(d);
  std::ofstream(e / "big.bin", std::ios::binary) << std::string(95 * 2048, 'x');
  platform::host::removeDrive(u"E:");
  platform::host::addDrive(d);  // counted again with the file

  bool ok = false, known = false;
  EXPECT_EQ(getDiskTotalSpace(u"E:\\", ok), 100u * 2048);
  EXPECT_TRUE(ok);
  EXPECT_EQ(getDiskFreeSpace(u"E:\\", ok), 5u * 2048);
  EXPECT_TRUE(isDiskSpaceLow(u"E:\\", 10, known));
  EXPECT_TRUE(known);
  EXPECT_FALSE(isDiskSpaceLow(u"E:\\", 40, known));  // 5 clusters free, the 40th part is 2.5
  EXPECT_EQ(getClusterSize(u"E:\\any\\path"), 2048u);
  EXPECT_EQ(getVolumeSerialNumber(u"E:\\"), 0x1234ABCDu);
  EXPECT_TRUE(isRemovableDrive(u"E:\\"));
  EXPECT_TRUE(isCandidateDeviceDrive(u"E:\\"));
  EXPECT_FALSE(isCandidateDeviceDrive(u"C:\\"));  // the drive of the system folder
  EXPECT_TRUE(isDriveReady(u"E:"));

  std::string before = logBytes();
  EXPECT_FALSE(isDriveReady(u"Q:"));
  EXPECT_EQ(getDiskFreeSpace(u"Q:\\", ok), 0u);
  EXPECT_FALSE(ok);
  EXPECT_EQ(getClusterSize(u"Q:\\"), 0u);
  EXPECT_EQ(getVolumeSerialNumber(u"Q:\\"), 0u);
  EXPECT_NE(logBytes().find("Failed to calculate free disk space: Q:\\.<br>", before.size()), std::string::npos);
}

// The special folders come from a fixed source here, so the rules show without a real profile.
class SpecialFolderTest : public FileUtilTest {
 protected:
  SpecialFolderTest() {
    setSpecialFolderSource([](SpecialFolder f) -> SpecialFolderInfo {
      switch (f) {
        case SpecialFolder::Desktop: return {u"C:\\Profile\\Desktop", u"Desktop"};
        case SpecialFolder::Favorites: return {u"C:\\Profile\\Favorites", u"Favoriten"};
        case SpecialFolder::MyDocuments: return {u"D:\\", u"Eigene Dateien"};
        case SpecialFolder::Cookies: return {CString(), u"Cookies"};
        case SpecialFolder::History: return {u"C:\\Profile\\History", u"Verlauf"};
      }
      return {};
    });
  }
};

TEST_F(SpecialFolderTest, PrefixMatchesOnFolderBoundariesOnly) {
  struct Case {
    const char16_t* path;
    const char* folder;
  };
  const Case cases[] = {
      {u"c:\\profile\\desktop\\x.txt", "Desktop"},
      {u"C:\\Profile\\Desktop", "Desktop"},
      {u"C:\\Profile\\Desktop2\\x", ""},  // a sibling whose name only begins alike
      {u"C:\\Profile\\Favorites\\Links\\a.url", "Favoriten"},
      {u"D:\\Work\\b.doc", "Eigene Dateien"},  // a folder at a drive root holds all of the drive
      {u"C:\\Profile\\HistoryOld", ""},
      {u"E:\\x", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(u8(findSpecialFolderOfPath(c.path)), c.folder) << u8(c.path);
}

TEST_F(SpecialFolderTest, ProfilePaths) {
  struct Case {
    const char16_t* host;
    bool words;
    const char16_t* profile;
  };
  const Case cases[] = {
      {u"C:\\Profile\\Desktop\\Sub\\A.txt", true, u"Desktop\\sub\\a.txt"},
      {u"C:\\Profile\\Favorites\\Links", true, u"Favoriten\\links"},  // Favorites by display name
      {u"C:\\Profile\\Favorites\\Links", false, u"C:\\Profile\\Favorites\\Links"},  // passed over
      {u"C:\\Profile\\History\\x", false, u"Verlauf\\x"},
      {u"C:\\Profile\\History\\x", true, u"History\\x"},
      {u"D:\\Letters\\x.doc", true, u"My Documents\\letters\\x.doc"},
      {u"C:\\Profile\\Desktop2\\x", true, u"C:\\Profile\\Desktop2\\x"},
      {u"C:\\Elsewhere\\X", true, u"C:\\Elsewhere\\X"},
  };
  for (const Case& c : cases) EXPECT_EQ(u8(hostPathToProfilePath(c.host, c.words)), u8(c.profile)) << u8(c.host);

  const Case back[] = {
      {u"desktop\\sub\\a.txt", true, u"C:\\Profile\\Desktop\\sub\\a.txt"},
      {u"Favorites\\x.url", true, u"C:\\Profile\\Favorites\\x.url"},
      {u"My Documents\\x.doc", true, u"D:\\x.doc"},
      {u"History", true, u"C:\\Profile\\History"},
      {u"Desktop2\\x", true, u"Desktop2\\x"},
      {u"Other\\x", true, u"Other\\x"},
  };
  for (const Case& c : back) EXPECT_EQ(u8(profilePathToHostPath(c.host)), u8(c.profile)) << u8(c.host);
  EXPECT_TRUE(startsWithSpecialFolderName(u"cookies\\a.txt"));
  EXPECT_TRUE(startsWithSpecialFolderName(u"My Documents"));
  EXPECT_FALSE(startsWithSpecialFolderName(u"My Documentsx"));
}

TEST_F(FileUtilTest, SpecialFoldersFromTheShell) {
  CString path = u"sentinel", name = u"sentinel";
  getSpecialFolder(CSIDL_PERSONAL, path, name);
  EXPECT_EQ(u8(name), "My Documents");
  EXPECT_TRUE(directoryExists(path)) << u8(path);
  getSpecialFolder(CSIDL_DRIVES, path, name);  // virtual: a name but no path
  EXPECT_TRUE(path.IsEmpty());
  getSpecialFolder(0x7777, path, name);
  EXPECT_TRUE(path.IsEmpty());
  EXPECT_TRUE(name.IsEmpty());
  SpecialFolderInfo desktop = specialFolderInfo(SpecialFolder::Desktop);
  EXPECT_FALSE(desktop.path.IsEmpty());
  EXPECT_EQ(u8(findSpecialFolderOfPath(joinPath(desktop.path, u"x.txt"))), u8(desktop.name));
}

TEST_F(FileUtilTest, StringRecords) {
  CFile file(u"C:\\records.bin", CFile::modeCreate | CFile::modeReadWrite);
  ASSERT_TRUE(writeStringToFile(u"Kipo", file));
  ASSERT_TRUE(writeStringToFile(u"", file));
  file.SeekToBegin();
  CString text = u"sentinel";
  ASSERT_TRUE(readStringFromFile(text, file));
  EXPECT_EQ(u8(text), "Kipo");
  ASSERT_TRUE(readStringFromFile(text, file));
  EXPECT_TRUE(text.IsEmpty());
  EXPECT_FALSE(readStringFromFile(text, file));  // end of file

  // A count past the end of the file is refused and the text kept.
  file.SeekToBegin();
  DWORD huge = 1000;
  file.Write(&huge, 4);
  file.SeekToBegin();
  text = u"kept";
  EXPECT_FALSE(readStringFromFile(text, file));
  EXPECT_EQ(u8(text), "kept");

  file.SeekToBegin();
  file.SetLength(0);
  file.Write(u"KeyX", 8);
  file.SeekToBegin();
  EXPECT_FALSE(readExpectedString(u"Key!", file));
  EXPECT_EQ(file.GetPosition(), 0u);  // moved back
  EXPECT_TRUE(readExpectedString(u"Key", file));
  EXPECT_EQ(file.GetPosition(), 6u);
  EXPECT_TRUE(seekBack(file, 6));
  EXPECT_FALSE(seekBack(file, 1));  // before the start
}

TEST_F(FileUtilTest, RevertToSelfClosesTheToken) {
  HANDLE token = nullptr;
  EXPECT_TRUE(revertToSelf(token));
  token = reinterpret_cast<HANDLE>(static_cast<INT_PTR>(0x7F0));  // no such handle
  std::size_t mark = logBytes().size();
  EXPECT_FALSE(revertToSelf(token));
  EXPECT_EQ(logBytes().substr(mark), "{revertToSelf}: Failed close admin user token handle.<br>");
  HANDLE process = nullptr;
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &process));
  EXPECT_TRUE(revertToSelf(process));
  EXPECT_EQ(process, nullptr);
}

TEST_F(FileUtilTest, PathsFromTheSystem) {
  SetEnvironmentVariableW(u"KIPO_TEST_VAR", u"value");
  EXPECT_EQ(u8(expandEnvironmentStrings(u"a%KIPO_TEST_VAR%b")), "avalueb");
  write("Long Folder Name/file.txt", 1);
  CString shortPath = getShortPath(u"C:\\Long Folder Name\\file.txt");
  EXPECT_FALSE(shortPath.IsEmpty());
  EXPECT_LT(shortPath.GetLength(), 28);
  EXPECT_TRUE(fileExists(shortPath));
}

}  // namespace

namespace {

// Windows of a plain class for the window helpers.
class WindowHelpersTest : public FileUtilTest {
 protected:
  WindowHelpersTest() {
    kipotest::registerWindowClass(u"KipoFileUtilTest");
  }
  ~WindowHelpersTest() override {
    for (HWND w : windows) DestroyWindow(w);
    g_applicationName = saved[0];
    g_deviceName = saved[1];
    g_makerWebAddress = saved[2];
    g_supportWebAddress = saved[3];
    g_supportEmailAddress = saved[4];
    setDeviceDisplayName(CString());
  }
  HWND make(LPCWSTR text, HWND parent = nullptr, int id = 0, LPCWSTR cls = u"KipoFileUtilTest", int height = 10) {
    HWND w = CreateWindowExW(0, cls, text, parent ? WS_CHILD : WS_POPUP, 0, 0, 100, height, parent,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
    if (w && !parent) windows.push_back(w);
    return w;
  }
  static std::string text(HWND w) {
    WCHAR buffer[256] = {};
    GetWindowTextW(w, buffer, 256);
    return platform::text::toUtf8(buffer);
  }
  std::vector<HWND> windows;
  const CString saved[5] = {g_applicationName, g_deviceName, g_makerWebAddress, g_supportWebAddress, g_supportEmailAddress};
};

TEST_F(WindowHelpersTest, PlaceholdersInTheWindowAndItsChildren) {
  g_applicationName = u"Carry %dn%";  // a later placeholder inside a value is replaced too
  g_deviceName = u"Stick";
  g_makerWebAddress = u"maker.example";
  g_supportWebAddress = u"help.example";
  g_supportEmailAddress = u"help@example";
  HWND top = make(u"%an% - %dn%");
  ASSERT_TRUE(top);
  HWND child = make(u"%ou% %su% %se% %xx%", top, 1);
  HWND plain = make(u"nothing here", top, 2);
  HWND grandchild = make(u"%an%", child, 3);
  replaceUiPlaceholders(top);
  EXPECT_EQ(text(top), "Carry Stick - Stick");
  EXPECT_EQ(text(child), "maker.example help.example help@example %xx%");
  EXPECT_EQ(text(plain), "nothing here");
  EXPECT_EQ(text(grandchild), "%an%");  // direct children only
  EXPECT_FALSE(replaceTextInWindow(plain, u"%an%", u"x"));
  EXPECT_TRUE(replaceTextInWindow(plain, u"here", u"there"));
  EXPECT_EQ(text(plain), "nothing there");

  HWND item = make(u"Plug in your %s.", top, 7);
  setDeviceDisplayName(u"Kipo Drive");
  EXPECT_TRUE(fillDeviceNameInDlgItem(top, 7));
  EXPECT_EQ(text(item), "Plug in your Kipo Drive.");
  EXPECT_FALSE(fillDeviceNameInDlgItem(top, 99));
  EXPECT_FALSE(fillDeviceNameInDlgItem(nullptr, 7));
}

TEST_F(WindowHelpersTest, FindingWindows) {
  EXPECT_EQ(getTaskbarHeight(), 0);
  kipotest::registerWindowClass(u"Shell_TrayWnd");
  HWND tray = make(u"", nullptr, 0, u"Shell_TrayWnd", 30);
  ASSERT_TRUE(tray);
  EXPECT_EQ(getTaskbarHeight(), 30);
  HWND w = make(u"Finder");
  EXPECT_EQ(findWindow(u"KipoFileUtilTest", u"Finder"), w);
  EXPECT_EQ(findWindow(CString(), u"Finder"), w);
  EXPECT_EQ(findWindow(u"KipoFileUtilTest", u"Nobody"), nullptr);

  // A 100-pixel window takes the start of the folder, "...", and the file name.
  CString compact = compactPathForWindow(w, u"C:\\Documents and Settings\\someone\\Desktop\\file.txt");
  EXPECT_LT(compact.GetLength(), 46);
  EXPECT_NE(compact.Find(u"..."), -1) << u8(compact);
  EXPECT_EQ(u8(compact.Right(9)), "\\file.txt");
}

TEST_F(WindowHelpersTest, ListBoxEntries) {
  InitCommonControls();
  HWND top = make(u"owner");
  HWND list = make(u"", top, 5, WC_LISTBOXW);
  ASSERT_TRUE(list);
  SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(u"First Entry"));
  SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(u"Second"));
  EXPECT_TRUE(listBoxContains(u"first entry", list));
  EXPECT_FALSE(listBoxContains(u"First", list));
}

}  // namespace

// The shell's file operation: Explorer's target rules for copy and move, wildcard sources,
// merging folders, delete and rename, the return codes and the aborted flag, and failures of the
// underlying file calls (share modes, a full drive, injected faults) reaching the caller.
#include "platform/win32/shell_fileop.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "platform/base/fault.h"
#include "platform/host/drives.h"
#include "platform/win32/error.h"
#include "platform/win32/file.h"
#include "platform/win32/volume.h"
#include "tests/support/test_host.h"

namespace {

namespace fs = std::filesystem;

std::u16string list(const std::vector<std::u16string>& paths) {
  std::u16string out;
  for (const auto& p : paths) out += p + u'\0';
  return out + u'\0';
}

struct Result {
  int rc;
  BOOL aborted;
};

Result run(UINT func, const std::vector<std::u16string>& from, const std::vector<std::u16string>& to,
           FILEOP_FLAGS flags = FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_SILENT) {
  std::u16string f = list(from), t = list(to);
  SHFILEOPSTRUCTW op{};
  op.wFunc = func;
  op.pFrom = f.c_str();
  op.pTo = to.empty() ? nullptr : t.c_str();
  op.fFlags = flags;
  op.fAnyOperationsAborted = 0x5A5A;  // sentinel: the call must set it either way
  int rc = SHFileOperationW(&op);
  return {rc, op.fAnyOperationsAborted};
}

class ShellFileOpTest : public ::testing::Test {
 protected:
  kipotest::TestHost host;

};

// Where a copy lands, by Explorer's rules: each case sets up the tree, copies, and names the
// files that must exist afterwards.
TEST_F(ShellFileOpTest, CopyTargetRules) {
  struct Case {
    const char* rule;
    std::vector<std::string> setup;  // files to create (a trailing '/' makes a folder)
    std::vector<std::u16string> from, to;
    std::vector<std::string> expect;
  };
  const Case cases[] = {
      {"a file to an existing folder goes inside it", {"s/a.txt", "t/"}, {u"C:\\s\\a.txt"}, {u"C:\\t"}, {"t/a.txt"}},
      {"a file to a missing name takes that name", {"s/a.txt"}, {u"C:\\s\\a.txt"}, {u"C:\\n\\m\\b.txt"}, {"n/m/b.txt"}},
      {"a folder onto an existing folder goes inside it", {"s/d/f.txt", "t/"}, {u"C:\\s\\d"}, {u"C:\\t"}, {"t/d/f.txt"}},
      {"a folder to a missing name takes that name", {"s/d/e/f.txt"}, {u"C:\\s\\d"}, {u"C:\\x\\y"}, {"x/y/e/f.txt"}},
      {"a wildcard source fills a created target folder", {"s/d/f.txt", "s/d/e/g.txt"}, {u"C:\\s\\d\\*.*"}, {u"C:\\w"}, {"w/f.txt", "w/e/g.txt"}},
      {"several sources fill a created target folder", {"s/a.txt", "s/b.txt"}, {u"C:\\s\\a.txt", u"C:\\s\\b.txt"}, {u"C:\\v"}, {"v/a.txt", "v/b.txt"}},
      {"a wildcard with an extension picks matching files", {"s/a.txt", "s/b.doc"}, {u"C:\\s\\*.txt"}, {u"C:\\u"}, {"u/a.txt"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rule);
    for (const auto& s : c.setup) {
      if (s.back() == '/') {
        fs::create_directories(host.c(s));
      } else {
        host.write(s, s);
      }
    }
    Result r = run(FO_COPY, c.from, c.to);
    EXPECT_EQ(r.rc, 0);
    EXPECT_FALSE(r.aborted);
    for (const auto& e : c.expect) EXPECT_TRUE(host.isFile(e)) << e;
    for (const auto& s : c.setup) {
      if (s.back() == '/') continue;
      EXPECT_TRUE(host.isFile(s)) << "copy keeps its source " << s;
    }
    fs::remove_all(host.c("s")), fs::remove_all(host.c("t"));
  }
  EXPECT_TRUE(host.gone("u/b.doc"));
}

TEST_F(ShellFileOpTest, CopyMergesFoldersAndReplacesReadOnlyFiles) {
  host.write("s/d/new.txt", "new");
  host.write("s/d/same.txt", "fresh");
  host.write("t/d/old.txt", "old");
  host.write("t/d/same.txt", "stale");
  ASSERT_TRUE(SetFileAttributesW(u"C:\\t\\d\\same.txt", FILE_ATTRIBUTE_READONLY));
  Result r = run(FO_COPY, {u"C:\\s\\d"}, {u"C:\\t"});
  EXPECT_EQ(r.rc, 0);
  EXPECT_EQ(host.read("t/d/new.txt"), "new");
  EXPECT_EQ(host.read("t/d/old.txt"), "old");
  EXPECT_EQ(host.read("t/d/same.txt"), "fresh");
}

TEST_F(ShellFileOpTest, MultiDestFilesPairsSourcesWithTargets) {
  host.write("s/a.txt", "A");
  host.write("s/b.txt", "B");
  Result r = run(FO_COPY, {u"C:\\s\\a.txt", u"C:\\s\\b.txt"}, {u"C:\\t\\one.txt", u"C:\\t\\two.txt"},
                 FOF_NOCONFIRMATION | FOF_MULTIDESTFILES);
  EXPECT_EQ(r.rc, 0);
  EXPECT_EQ(host.read("t/one.txt"), "A");
  EXPECT_EQ(host.read("t/two.txt"), "B");
  EXPECT_EQ(run(FO_COPY, {u"C:\\s\\a.txt", u"C:\\s\\b.txt"}, {u"C:\\t\\1", u"C:\\t\\2", u"C:\\t\\3"},
                FOF_MULTIDESTFILES).rc, DE_MANYSRC1DEST);
  EXPECT_EQ(run(FO_COPY, {u"C:\\s\\a.txt"}, {u"C:\\t\\1", u"C:\\t\\2"}).rc, DE_MANYDEST);
}

TEST_F(ShellFileOpTest, CopyOntoItself) {
  host.write("s/a.txt", "A");
  Result r = run(FO_COPY, {u"C:\\s\\a.txt"}, {u"c:\\S\\A.TXT"});
  EXPECT_EQ(r.rc, DE_SAMEFILE);
  EXPECT_TRUE(r.aborted);
  EXPECT_EQ(host.read("s/a.txt"), "A");
  // With FOF_RENAMEONCOLLISION the copy gets a new name, then the next one.
  EXPECT_EQ(run(FO_COPY, {u"C:\\s\\a.txt"}, {u"C:\\s\\a.txt"}, FOF_RENAMEONCOLLISION).rc, 0);
  EXPECT_EQ(run(FO_COPY, {u"C:\\s\\a.txt"}, {u"C:\\s"}, FOF_RENAMEONCOLLISION).rc, 0);
  EXPECT_EQ(host.read("s/Copy of a.txt"), "A");
  EXPECT_EQ(host.read("s/Copy (2) of a.txt"), "A");
}

TEST_F(ShellFileOpTest, FolderIntoItsOwnSubtreeIsRefused) {
  host.write("s/d/f.txt");
  EXPECT_EQ(run(FO_COPY, {u"C:\\s\\d"}, {u"C:\\s\\d\\inner"}).rc, DE_DESTSUBTREE);
  EXPECT_EQ(run(FO_MOVE, {u"C:\\s"}, {u"C:\\s\\d"}).rc, DE_DESTSUBTREE);
  EXPECT_TRUE(host.gone("s/d/inner"));
  EXPECT_TRUE(host.isFile("s/d/f.txt"));
}

TEST_F(ShellFileOpTest, MoveOnOneDriveAndAcrossDrives) {
  fs::path e = kipotest::freshTempDir("fileop-e");
  platform::host::Drive d;
  d.name = u"E:";
  d.root = e;
  d.type = DRIVE_REMOVABLE;
  platform::host::addDrive(d);

  host.write("s/d/f.txt", "F");
  host.write("s/d/sub/g.txt", "G");
  EXPECT_EQ(run(FO_MOVE, {u"C:\\s\\d"}, {u"C:\\m"}).rc, 0);  // missing target: the new name
  EXPECT_TRUE(host.gone("s/d"));
  EXPECT_EQ(host.read("m/sub/g.txt"), "G");

  // Another drive: the tree is copied and the source removed.
  EXPECT_EQ(run(FO_MOVE, {u"C:\\m"}, {u"E:\\"}).rc, 0);
  EXPECT_TRUE(host.gone("m"));
  EXPECT_TRUE(fs::is_regular_file(e / "m" / "sub" / "g.txt"));

  // Onto an existing folder of the same name: merged, the emptied source removed.
  host.write("back/m/old.txt", "O");
  EXPECT_EQ(run(FO_MOVE, {u"E:\\m"}, {u"C:\\back"}).rc, 0);
  EXPECT_EQ(host.read("back/m/f.txt"), "F");
  EXPECT_EQ(host.read("back/m/old.txt"), "O");
  EXPECT_FALSE(fs::exists(e / "m"));
}

TEST_F(ShellFileOpTest, MoveReplacesAnExistingFile) {
  host.write("s/a.txt", "new");
  host.write("t/a.txt", "old");
  EXPECT_EQ(run(FO_MOVE, {u"C:\\s\\a.txt"}, {u"C:\\t"}).rc, 0);
  EXPECT_EQ(host.read("t/a.txt"), "new");
  EXPECT_TRUE(host.gone("s/a.txt"));
}

TEST_F(ShellFileOpTest, DeleteTreesReadOnlyFilesAndWildcards) {
  host.write("d/a.txt");
  host.write("d/sub/b.txt");
  ASSERT_TRUE(SetFileAttributesW(u"C:\\d\\sub\\b.txt", FILE_ATTRIBUTE_READONLY));
  host.write("w/a.txt");
  host.write("w/keep/b.txt");
  // FOF_ALLOWUNDO deletes for real (no recycle bin).
  EXPECT_EQ(run(FO_DELETE, {u"C:\\d"}, {}, FOF_NOCONFIRMATION | FOF_ALLOWUNDO).rc, 0);
  EXPECT_TRUE(host.gone("d"));
  // FOF_FILESONLY with a wildcard: files only, folders stay.
  EXPECT_EQ(run(FO_DELETE, {u"C:\\w\\*.*"}, {}, FOF_NOCONFIRMATION | FOF_FILESONLY).rc, 0);
  EXPECT_TRUE(host.gone("w/a.txt"));
  EXPECT_TRUE(host.isFile("w/keep/b.txt"));
  EXPECT_EQ(run(FO_DELETE, {u"C:\\"}, {}).rc, DE_ROOTDIR);
}

TEST_F(ShellFileOpTest, Rename) {
  host.write("s/a.txt", "A");
  host.write("s/b.txt", "B");
  EXPECT_EQ(run(FO_RENAME, {u"C:\\s\\a.txt"}, {u"C:\\s\\A.TXT"}).rc, 0);  // case only
  EXPECT_TRUE(fs::is_regular_file(host.c("s") / "A.TXT"));
  EXPECT_EQ(run(FO_RENAME, {u"C:\\s\\A.TXT"}, {u"C:\\s\\b.txt"}).rc, ERROR_ALREADY_EXISTS);
  EXPECT_EQ(run(FO_RENAME, {u"C:\\s\\A.TXT"}, {u"C:\\other\\c.txt"}).rc, DE_DIFFDIR);
  EXPECT_EQ(run(FO_RENAME, {u"C:\\s\\A.TXT"}, {u"C:\\s\\c.txt"}).rc, 0);
  EXPECT_EQ(host.read("s/c.txt"), "A");
  EXPECT_EQ(host.read("s/b.txt"), "B");
}

TEST_F(ShellFileOpTest, RefusalsBeforeAnyWork) {
  host.write("s/a.txt");
  struct Case {
    const char* what;
    UINT func;
    std::vector<std::u16string> from, to;
    int rc;
  };
  const Case cases[] = {
      {"missing source", FO_COPY, {u"C:\\s\\a.txt", u"C:\\s\\none.txt"}, {u"C:\\t"}, ERROR_FILE_NOT_FOUND},
      {"missing source to delete", FO_DELETE, {u"C:\\s\\none.txt"}, {}, ERROR_FILE_NOT_FOUND},
      {"wildcard in a missing folder", FO_COPY, {u"C:\\nowhere\\*.*"}, {u"C:\\t"}, ERROR_PATH_NOT_FOUND},
      {"no target", FO_COPY, {u"C:\\s\\a.txt"}, {}, DE_INVALIDFILES},
      {"no source", FO_DELETE, {}, {}, DE_INVALIDFILES},
      {"unknown function", 9, {u"C:\\s\\a.txt"}, {u"C:\\t"}, DE_ERROR_UNKNOWN},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Result r = run(c.func, c.from, c.to);
    EXPECT_EQ(r.rc, c.rc);
    EXPECT_TRUE(r.aborted);
  }
  // The shell looks at every source first: the existing one was not copied.
  EXPECT_TRUE(host.gone("t"));
}

TEST_F(ShellFileOpTest, FailuresOfTheFileCallsReachTheCaller) {
  host.write("s/1.txt", "1");
  host.write("s/2.txt", "2");
  host.write("s/3.txt", "3");
  {
    // The second file copy fails: the first stays copied, the rest is abandoned.
    platform::fault::Fault f;
    f.call = "CopyFileW";
    f.error = ERROR_ACCESS_DENIED;
    f.nth = 2;
    f.count = 1;
    auto id = platform::fault::inject(f);
    Result r = run(FO_COPY, {u"C:\\s\\*.*"}, {u"C:\\t"});
    platform::fault::removeLocal(id);
    EXPECT_EQ(r.rc, ERROR_ACCESS_DENIED);
    EXPECT_TRUE(r.aborted);
    int copied = host.isFile("t/1.txt") + host.isFile("t/2.txt") + host.isFile("t/3.txt");
    EXPECT_EQ(copied, 1);
  }
  {
    // A file open without FILE_SHARE_READ cannot be copied.
    HANDLE h = CreateFileW(u"C:\\s\\2.txt", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(run(FO_COPY, {u"C:\\s\\2.txt"}, {u"C:\\u"}).rc, ERROR_SHARING_VIOLATION);
    CloseHandle(h);
  }
  {
    platform::fault::Fault f;
    f.call = "SHFileOperationW";
    f.subject = u"C:\\s";
    f.error = ERROR_NOT_READY;
    auto id = platform::fault::inject(f);
    EXPECT_EQ(run(FO_DELETE, {u"C:\\s\\1.txt"}, {}).rc, ERROR_NOT_READY);
    platform::fault::removeLocal(id);
    EXPECT_TRUE(host.isFile("s/1.txt"));
  }
}

TEST_F(ShellFileOpTest, CopyOntoAFullDrive) {
  fs::path e = kipotest::freshTempDir("fileop-small");
  platform::host::Drive d;
  d.name = u"F:";
  d.root = e;
  d.type = DRIVE_REMOVABLE;
  d.clusterSize = 4096;
  d.capacity = 2 * 4096;
  platform::host::addDrive(d);
  host.write("s/small.bin", std::string(4000, 'a'));
  host.write("s/big.bin", std::string(3 * 4096, 'b'));
  Result r = run(FO_COPY, {u"C:\\s\\small.bin", u"C:\\s\\big.bin"}, {u"F:\\x"});
  EXPECT_EQ(r.rc, ERROR_DISK_FULL);
  EXPECT_TRUE(r.aborted);
  EXPECT_TRUE(fs::is_regular_file(e / "x" / "small.bin"));
  EXPECT_FALSE(fs::exists(e / "x" / "big.bin"));  // a file that did not fit is not left behind
}

}  // namespace

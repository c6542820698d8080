// The archive format (round trip, chunk edges, limits, and a table of damaged archives that must
// extract nothing or only plain file names into the target), the whole-folder mirror (the target
// ends equal to the source, stale files planned as deletions) and the archive synchronizer's
// cycle of unpack, mirror and repack.
#include "snapins/simple_synchronizer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "app/folder_lookup.h"
#include "platform/host/paths.h"
#include "snapins/file_tar.h"
#include "snapins/space_man.h"
#include "tests/snapins/snapin_fixture.h"

namespace {

namespace fs = std::filesystem;
using snapintest::SnapinTest;
using snapintest::utf8;

class FolderSyncTest : public SnapinTest {
 protected:
  // The Linux path of a Windows path of the host (the file need not exist).
  static fs::path linuxOf(const CString& windowsPath) {
    auto resolved = platform::host::resolvePath(std::u16string(windowsPath.GetString()));
    return resolved.linux;
  }
  // Every file below the folder: relative path -> content.
  static std::map<std::string, std::string> tree(const fs::path& folder) {
    std::map<std::string, std::string> files;
    if (!fs::exists(folder)) return files;
    for (const auto& e : fs::recursive_directory_iterator(folder))
      if (e.is_regular_file()) files[fs::relative(e.path(), folder).generic_string()] = readBytes(e.path());
    return files;
  }
  static std::string pattern(std::size_t size, char seed) {
    std::string s(size, '\0');
    for (std::size_t i = 0; i < size; ++i) s[i] = static_cast<char>(seed + i * 7 % 251);
    return s;
  }

  struct Planned {
    DWORD kind;
    LONGLONG delta;
    std::string b;
    bool tarOp;
  };
  // Calculates with a record of this computer, then executes the plan as the coordinator does.
  std::vector<Planned> run(CSynchronizer& sync, int* postResult = nullptr) {
    CSpaceMan man(snapins);
    CSpaceRecord record(&man, nullptr, self(), {&sync});
    EXPECT_EQ(sync.calculateSyncOps(&record, kSyncHostToDrive), kSyncDone);
    std::vector<Planned> plan;
    LONGLONG sum = 0;
    for (const auto& op : man.getRunList()) {
      auto* fileOp = dynamic_cast<CFileSyncOp*>(op.get());
      EXPECT_NE(fileOp, nullptr);
      if (!fileOp) continue;
      plan.push_back({op->kind, op->byteDelta, utf8(fileOp->pathB), dynamic_cast<CTarFileSyncOp*>(op.get()) != nullptr});
      sum += op->byteDelta;
    }
    EXPECT_EQ(sync.getByteCount(), sum);
    EXPECT_TRUE(sync.preExecuteSyncOps());
    for (const auto& op : man.getRunList()) EXPECT_EQ(op->execute(kSyncHostToDrive), kSyncDone);
    const bool post = sync.postExecuteSyncOps(true, kSyncDone);
    if (postResult) *postResult = post ? 1 : 0;
    man.freeSyncOps();
    return plan;
  }

  CCustomizerList snapins;
};

// ---- the archive format ----

// Sizes at the copy chunk's edges, an empty file, and two files of one name in different folders
// (both stored, the later one wins in the flat target). The header holds the data offsets.
TEST_F(FolderSyncTest, ArchiveRoundTrip) {
  fs::create_directories(host.c("Pack/one"));
  fs::create_directories(host.c("Pack/two"));
  const std::map<std::string, std::string> files = {
      {"empty.txt", ""}, {"chunk.bin", pattern(8092, 'a')}, {"chunk1.bin", pattern(8093, 'b')},
      {"big.bin", pattern(20000, 'c')}, {"one/same.txt", "first"}, {"two/same.txt", "second"}};
  CFileTar tar;
  for (const auto& [name, bytes] : files) {
    writeBytes(host.c("Pack/" + name), bytes);
    std::string windows = "C:\\Pack\\" + name;
    std::replace(windows.begin(), windows.end(), '/', '\\');
    ASSERT_TRUE(tar.addFile(CString(windows.c_str())));
  }
  ASSERT_TRUE(tar.write(CString(u"E:\\pack.tar")));
  const std::string archive = readBytes(drive / "pack.tar");
  std::size_t dataBytes = 0;
  for (const auto& f : files) dataBytes += f.second.size();
  ASSERT_EQ(archive.size(), 4 + 528 * files.size() + dataBytes);
  EXPECT_EQ(archive.substr(0, 4), std::string("\x06\0\0\0", 4));
  std::uint64_t firstOffset = 0;
  std::memcpy(&firstOffset, archive.data() + 4, 8);
  EXPECT_EQ(firstOffset, 4 + 528 * files.size());
  EXPECT_EQ(archive.substr(20, 10), std::string("C\0:\0\\\0P\0a\0", 10));

  ASSERT_EQ(CFileTar().extractAll(CString(u"E:\\pack.tar"), CString(u"C:\\Out"), nullptr), 1);
  const std::map<std::string, std::string> expected = {
      {"empty.txt", ""}, {"chunk.bin", files.at("chunk.bin")}, {"chunk1.bin", files.at("chunk1.bin")},
      {"big.bin", files.at("big.bin")}, {"same.txt", "second"}};
  EXPECT_EQ(tree(host.c("Out")), expected);

  // No entries: four bytes, and an empty folder.
  ASSERT_TRUE(CFileTar().write(CString(u"E:\\empty.tar")));
  EXPECT_EQ(readBytes(drive / "empty.tar"), std::string(4, '\0'));
  ASSERT_EQ(CFileTar().extractAll(CString(u"E:\\empty.tar"), CString(u"C:\\Empty"), nullptr), 1);
  EXPECT_TRUE(host.isDir("Empty"));
  EXPECT_TRUE(tree(host.c("Empty")).empty());
}

TEST_F(FolderSyncTest, ArchiveLimits) {
  writeBytes(host.c("f.txt"), "x");
  CFileTar tar;
  for (int i = 0; i < CFileTar::kMaxEntries; ++i) ASSERT_TRUE(tar.addFile(CString(u"C:\\f.txt")));
  EXPECT_FALSE(tar.addFile(CString(u"C:\\f.txt")));
  EXPECT_EQ(tar.getCount(), CFileTar::kMaxEntries);

  CFileTar other;
  EXPECT_FALSE(other.addFile(CString(u"C:\\missing.txt")));
  CString longPath(u"C:\\");
  while (longPath.GetLength() < 256) longPath += u'a';
  EXPECT_FALSE(other.addFile(longPath));
  EXPECT_EQ(other.getCount(), 0);

  // A file that shrank after it was counted would shift every later entry: no archive.
  writeBytes(host.c("g.txt"), "twelve bytes");
  ASSERT_TRUE(other.addFile(CString(u"C:\\g.txt")));
  writeBytes(host.c("g.txt"), "short");
  EXPECT_FALSE(other.write(CString(u"E:\\g.tar")));
}

// An archive built by hand: entries (stored path, data), with the offsets a writer gives them.
struct Stored {
  std::u16string path;
  std::string data;
};
std::string buildArchive(const std::vector<Stored>& entries) {
  std::string header(4 + 528 * entries.size(), '\0');
  const std::uint32_t count = static_cast<std::uint32_t>(entries.size());
  std::memcpy(header.data(), &count, 4);
  std::uint64_t offset = header.size();
  std::string data;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    char* at = header.data() + 4 + 528 * i;
    const std::uint64_t size = entries[i].data.size();
    std::memcpy(at, &offset, 8);
    std::memcpy(at + 8, &size, 8);
    for (std::size_t c = 0; c < entries[i].path.size() && c < 256; ++c) {
      at[16 + 2 * c] = static_cast<char>(entries[i].path[c] & 0xff);
      at[17 + 2 * c] = static_cast<char>(entries[i].path[c] >> 8);
    }
    offset += size;
    data += entries[i].data;
  }
  return header + data;
}
void putU64At(std::string& bytes, std::size_t at, std::uint64_t value) { std::memcpy(bytes.data() + at, &value, 8); }
void putU32At(std::string& bytes, std::size_t at, std::uint32_t value) { std::memcpy(bytes.data() + at, &value, 4); }

// Damaged headers extract nothing; a stored name that is not a plain file name is skipped and
// logged while the other entries are extracted; no file ever lands outside the target folder.
TEST_F(FolderSyncTest, DamagedArchivesTable) {
  const std::vector<Stored> good = {{u"C:\\In\\a.txt", "alpha"}, {u"C:\\In\\b.txt", "bravo!"}};
  const std::size_t second = 4 + 528;  // entry 1's record
  struct Case {
    const char* what;
    std::function<std::string()> bytes;
    int result;
    std::map<std::string, std::string> extracted;
    bool logsRefusal = false;
  };
  const std::map<std::string, std::string> none;
  const std::map<std::string, std::string> onlyA = {{"a.txt", "alpha"}};
  const std::vector<Case> cases = {
      {"shorter than the count", [] { return std::string("\x01\0", 2); }, 0, none},
      {"empty file", [] { return std::string(); }, 0, none},
      {"count over the limit", [&] { auto b = buildArchive(good); putU32At(b, 0, 16385); return b; }, 0, none},
      {"count past the file", [&] { auto b = buildArchive(good); putU32At(b, 0, 3); return b; }, 0, none},
      {"count of all ones", [&] { auto b = buildArchive(good); putU32At(b, 0, 0xffffffffu); return b; }, 0, none},
      {"offset inside the header", [&] { auto b = buildArchive(good); putU64At(b, second, 4); return b; }, 0, none},
      {"size past the end", [&] { auto b = buildArchive(good); putU64At(b, second + 8, 7); return b; }, 0, none},
      {"offset past the end", [&] { auto b = buildArchive(good); putU64At(b, second, b.size() + 1); putU64At(b, second + 8, 0); return b; }, 0, none},
      {"offset and size wrap around",
       [&] { auto b = buildArchive(good); putU64At(b, second, 1068); putU64At(b, second + 8, ~0ull - 1000); return b; }, 0, none},
      {"data cut short", [&] { auto b = buildArchive(good); b.pop_back(); return b; }, 0, none},
      {"name not terminated", [&] { return buildArchive({good[0], {std::u16string(256, u'n'), "x"}}); }, 0, none},
      {"path of 255 characters",
       [&] { return buildArchive({good[0], {u"C:\\" + std::u16string(243, u'd') + u"\\long.txt", "x"}}); }, 1,
       {{"a.txt", "alpha"}, {"long.txt", "x"}}},
      {"name \"..\"", [&] { return buildArchive({good[0], {u"C:\\In\\..", "x"}}); }, 0, onlyA, true},
      {"name \".\"", [&] { return buildArchive({good[0], {u"C:\\In\\.", "x"}}); }, 0, onlyA, true},
      {"empty name", [&] { return buildArchive({good[0], {u"C:\\In\\", "x"}}); }, 0, onlyA, true},
      {"empty path", [&] { return buildArchive({good[0], {u"", "x"}}); }, 0, onlyA, true},
      {"stream name", [&] { return buildArchive({good[0], {u"C:\\In\\b.txt:hidden", "x"}}); }, 0, onlyA, true},
      {"wildcard", [&] { return buildArchive({good[0], {u"C:/In/b?.txt", "x"}}); }, 0, onlyA, true},
      {"control character", [&] { return buildArchive({good[0], {u"C:\\In\\b\x01.txt", "x"}}); }, 0, onlyA, true},
      {"device name", [&] { return buildArchive({good[0], {u"C:\\In\\con.txt", "x"}}); }, 0, onlyA, true},
      {"trailing dot", [&] { return buildArchive({good[0], {u"C:\\In\\b.", "x"}}); }, 0, onlyA, true},
      {"climbing path keeps its file name", [&] { return buildArchive({good[0], {u"..\\..\\..\\evil.txt", "x"}}); }, 1,
       {{"a.txt", "alpha"}, {"evil.txt", "x"}}},
      {"forward slashes", [&] { return buildArchive({good[0], {u"C:/In/../../b.txt", "x"}}); }, 1,
       {{"a.txt", "alpha"}, {"b.txt", "x"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(host.c("Out"));
    fs::remove_all(host.c("evil.txt"));
    writeBytes(drive / "bad.tar", c.bytes());
    const std::size_t mark = logBytes().size();
    EXPECT_EQ(CFileTar().extractAll(CString(u"E:\\bad.tar"), CString(u"C:\\Out\\Deep"), nullptr), c.result);
    EXPECT_EQ(tree(host.c("Out/Deep")), c.extracted);
    EXPECT_EQ(tree(host.c("Out")).size(), c.extracted.size());
    EXPECT_TRUE(host.gone("evil.txt"));
    bool refused = false;
    for (const std::string& line : linesSince(mark))
      if (line.rfind("{FileTar}: Refused to extract entry 1 of E:\\bad.tar", 0) == 0) refused = true;
    EXPECT_EQ(refused, c.logsRefusal);
  }
  // A missing archive is a failure too.
  EXPECT_EQ(CFileTar().extractAll(CString(u"E:\\none.tar"), CString(u"C:\\Out"), nullptr), 0);
}

// ---- the mirror ----

// Stale target files (also an excluded "Desktop.INI" and a file in a folder the source lacks) are
// planned as deletions with minus their size; newer and missing files as copies; an up-to-date
// target file is left and still there after the run: the target ends equal to the source.
TEST_F(FolderSyncTest, MirrorEndsEqualToTheSource) {
  fs::create_directories(host.c("Src/sub/deep"));
  fs::create_directories(host.c("Src/Skip"));
  writeBytes(host.c("Src/a.txt"), "same");
  writeBytes(host.c("Src/sub/b.txt"), "newer on the host");
  writeBytes(host.c("Src/sub/deep/c.txt"), "missing on the drive");
  writeBytes(host.c("Src/desktop.ini"), "[shell]");
  writeBytes(host.c("Src/Skip/x.txt"), "excluded");
  fs::create_directories(drive / "Mirror/sub/old");
  writeBytes(drive / "Mirror/a.txt", "same");
  writeBytes(drive / "Mirror/sub/b.txt", "old");
  writeBytes(drive / "Mirror/stale.txt", std::string(3000, 's'));
  writeBytes(drive / "Mirror/sub/old/gone.txt", "gone");
  writeBytes(drive / "Mirror/Desktop.INI", "[shell]");
  const auto now = fs::last_write_time(host.c("Src/a.txt"));
  fs::last_write_time(drive / "Mirror/a.txt", now + std::chrono::seconds(10));
  fs::last_write_time(drive / "Mirror/sub/b.txt", now - std::chrono::seconds(100));

  CSimpleSynchronizer sync;
  sync.setSourcePath(CString(u"C:\\Src"));
  sync.setTargetPath(CString(u"E:\\Mirror"));
  sync.addExcludedPath(CString(u"C:\\Src\\Skip"));
  const std::vector<Planned> plan = run(sync);

  std::map<std::string, Planned> byTarget;
  for (const Planned& p : plan) byTarget[p.b] = p;
  ASSERT_EQ(byTarget.size(), 5u);
  for (const char* copied : {"E:\\Mirror\\sub\\b.txt", "E:\\Mirror\\sub\\deep\\c.txt"}) {
    ASSERT_TRUE(byTarget.count(copied)) << copied;
    EXPECT_EQ(byTarget[copied].kind, kFileOpHostToDrive);
  }
  for (const char* deleted : {"E:\\Mirror\\stale.txt", "E:\\Mirror\\sub\\old\\gone.txt", "E:\\Mirror\\Desktop.INI"}) {
    ASSERT_TRUE(byTarget.count(deleted)) << deleted;
    EXPECT_EQ(byTarget[deleted].kind, kFileOpDeleteOnDrive);
    EXPECT_LT(byTarget[deleted].delta, 0);
  }
  EXPECT_LE(byTarget["E:\\Mirror\\stale.txt"].delta, -3000);

  std::map<std::string, std::string> expected = tree(host.c("Src"));
  expected.erase("desktop.ini");
  expected.erase("Skip/x.txt");
  EXPECT_EQ(tree(drive / "Mirror"), expected);
  // Run again: nothing left to do.
  EXPECT_TRUE(run(sync).empty());
}

// A disabled mirror plans the deletion of every target file.
TEST_F(FolderSyncTest, DisabledMirrorEmptiesTheTarget) {
  fs::create_directories(drive / "Mirror/sub");
  writeBytes(drive / "Mirror/sub/a.txt", "a");
  CSimpleSynchronizer sync;
  sync.enabled = false;
  sync.setSourcePath(CString(u"C:\\Src"));
  sync.setTargetPath(CString(u"E:\\Mirror"));
  const std::vector<Planned> plan = run(sync);
  ASSERT_EQ(plan.size(), 1u);
  EXPECT_EQ(plan[0].kind, kFileOpDeleteOnDrive);
  EXPECT_TRUE(tree(drive / "Mirror").empty());
}

// ---- the archive synchronizer ----

// First run packs the source; a later synchronizer unpacks the drive archive, plans a removed
// source file as a kind-4 op on its work-folder copy and a changed one as a copy, and the repack
// equals the source. A run with nothing to do leaves the drive archive alone.
TEST_F(FolderSyncTest, ArchiveCycleFollowsTheSource) {
  fs::create_directories(host.c("Cookies"));
  writeBytes(host.c("Cookies/one.txt"), "one");
  writeBytes(host.c("Cookies/two.txt"), "two");
  writeBytes(host.c("Cookies/three.txt"), "three");
  auto archiveTree = [&] {
    fs::remove_all(host.c("Check"));
    EXPECT_EQ(CFileTar().extractAll(CString(u"E:\\Cookies.tar"), CString(u"C:\\Check"), nullptr), 1);
    return tree(host.c("Check"));
  };
  {
    CTarSimpleSynchronizer sync;
    sync.setSourcePath(CString(u"C:\\Cookies"));
    sync.setTargetPath(CString(u"E:\\Cookies"));
    EXPECT_EQ(utf8(sync.getArchivePath()), "E:\\Cookies.tar");
    EXPECT_EQ(utf8(sync.getWorkFolder()), utf8(CFolderLookup::getSynchronizePath()) + "\\Cookies");
    int post = 0;
    EXPECT_EQ(run(sync, &post).size(), 3u);
    EXPECT_EQ(post, 1);
  }
  EXPECT_EQ(archiveTree(), tree(host.c("Cookies")));
  EXPECT_FALSE(fs::exists(linuxOf(CFolderLookup::getSynchronizePath() + u"\\Cookies.tar")));

  fs::remove(host.c("Cookies/two.txt"));
  writeBytes(host.c("Cookies/three.txt"), "three, changed");
  fs::last_write_time(host.c("Cookies/three.txt"), fs::file_time_type::clock::now() + std::chrono::seconds(30));
  fs::remove_all(linuxOf(CFolderLookup::getSynchronizePath()));  // a new session on another host
  {
    CTarSimpleSynchronizer sync;
    sync.setSourcePath(CString(u"C:\\Cookies"));
    sync.setTargetPath(CString(u"E:\\Cookies"));
    int post = 0;
    const std::vector<Planned> plan = run(sync, &post);
    EXPECT_EQ(post, 1);
    ASSERT_EQ(plan.size(), 2u);
    for (const Planned& p : plan) EXPECT_TRUE(p.tarOp);
    EXPECT_EQ(plan[0].kind, kFileOpDeleteOnDrive);  // deletions run first
    EXPECT_EQ(plan[0].b, utf8(sync.getWorkFolder()) + "\\two.txt");
    EXPECT_LT(plan[0].delta, 0);
    EXPECT_EQ(plan[1].kind, kFileOpHostToDrive);
  }
  EXPECT_EQ(archiveTree(), tree(host.c("Cookies")));

  // The host files unchanged since the pack: nothing to do.
  for (const char* name : {"Cookies/one.txt", "Cookies/three.txt"})
    fs::last_write_time(host.c(name), fs::file_time_type::clock::now() - std::chrono::hours(2));
  const auto stamp = fs::last_write_time(drive / "Cookies.tar") - std::chrono::hours(1);
  fs::last_write_time(drive / "Cookies.tar", stamp);
  {
    CTarSimpleSynchronizer sync;
    sync.setSourcePath(CString(u"C:\\Cookies"));
    sync.setTargetPath(CString(u"E:\\Cookies"));
    EXPECT_TRUE(run(sync).empty());
  }
  EXPECT_EQ(fs::last_write_time(drive / "Cookies.tar"), stamp);

  // Disabled: the drive archive is planned for deletion and the work folder goes.
  {
    CTarSimpleSynchronizer sync;
    sync.setSourcePath(CString(u"C:\\Cookies"));
    sync.setTargetPath(CString(u"E:\\Cookies"));
    sync.enabled = false;
    const std::vector<Planned> plan = run(sync);
    ASSERT_EQ(plan.size(), 1u);
    EXPECT_EQ(plan[0].b, "E:\\Cookies.tar");
    EXPECT_LT(plan[0].delta, 0);
  }
  EXPECT_FALSE(fs::exists(drive / "Cookies.tar"));
  EXPECT_FALSE(fs::exists(linuxOf(CFolderLookup::getSynchronizePath() + u"\\Cookies")));
}

}  // namespace

// Versions of program files against the running program's own: reading the block, and the
// newer / differs comparisons that decide updates and the relaunch from the drive.
#include "app/module_version.h"

#include <fstream>

#include "platform/host/module_format.h"
#include "tests/app/app_fixture.h"

namespace {

namespace rsrc = platform::rsrc;
using apptest::AppTest;

// A resource-only module file with a version block of a.b.c.d.
void writeVersionedFile(const std::filesystem::path& file, WORD a, WORD b, WORD c, WORD d,
                        std::uint16_t language = 0x0409, std::uint16_t codePage = 1200) {
  rsrc::FixedInfo fixed;
  fixed.fileVersionMS = (static_cast<DWORD>(a) << 16) | b;
  fixed.fileVersionLS = (static_cast<DWORD>(c) << 16) | d;
  auto block = rsrc::writeSimpleVersionInfo(fixed, language, codePage, {{u"FileVersion", u"x"}});
  auto bytes = rsrc::writeResourceFile({{rsrc::Id::of(rsrc::kTypeVersion), rsrc::Id::of(1), language, block}});
  std::filesystem::create_directories(file.parent_path());
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

class ModuleVersionTest : public AppTest {
 protected:
  void ownVersion(WORD a, WORD b, WORD c, WORD d) { writeVersionedFile(programFolder() / "Kipo.exe", a, b, c, d); }
};

TEST_F(ModuleVersionTest, ReadsTheFixedRecordAndTranslation) {
  writeVersionedFile(host.c("x/Tool.exe"), 3, 1, 4, 15, 0x040C, 1252);
  CModuleVersion v;
  EXPECT_EQ(v.dwSignature, 0u) << "zero until read";
  EXPECT_EQ(v.codePage(), 1252);
  ASSERT_TRUE(v.getFileVersionInfo(CString(u"C:\\x\\Tool.exe")));
  EXPECT_EQ(v.dwSignature, kFixedFileInfoSignature);
  EXPECT_EQ(v.dwFileVersionMS, 0x00030001u);
  EXPECT_EQ(v.language(), 0x040C);

  int a = -1, b = -1, c = -1, d = -1;
  ASSERT_TRUE(getFileVersion(CString(u"C:\\x\\Tool.exe"), a, b, c, d));
  EXPECT_EQ((std::vector<int>{a, b, c, d}), (std::vector<int>{3, 1, 4, 15}));
}

TEST_F(ModuleVersionTest, FilesWithoutABlockFail) {
  host.write("x/plain.exe", "MZ no resources");
  int a = -1, b = -1, c = -1, d = -1;
  for (const char16_t* path : {u"C:\\x\\plain.exe", u"C:\\x\\missing.exe"}) {
    EXPECT_FALSE(getFileVersion(CString(path), a, b, c, d));
    EXPECT_EQ(a, -1) << "outputs untouched";
  }
  bool flag = false;
  EXPECT_FALSE(isFileNewerThanOwn(CString(u"C:\\x\\plain.exe"), flag));
  EXPECT_FALSE(isNewerThanOwn(1, 0, 0, 0, flag)) << "no own program file to compare with";
  EXPECT_TRUE(getVersionText().IsEmpty());
}

TEST_F(ModuleVersionTest, ComparesWithTheOwnVersionPartByPart) {
  struct Case {
    int own[4];
    int given[4];
    bool newer, differs;
  } cases[] = {
      {{1, 2, 3, 4}, {1, 2, 3, 4}, false, false},
      {{1, 2, 3, 4}, {1, 2, 3, 5}, true, true},
      {{1, 2, 9, 9}, {1, 3, 0, 0}, true, true},  // decided at the first part that differs
      {{1, 3, 0, 0}, {1, 2, 0, 0}, false, true},
      {{1, 2, 3, 4}, {1, 2, 3, 3}, false, true},
      {{1, 0, 0, 0}, {0, 9, 9, 9}, false, true},
  };
  for (const Case& k : cases) {
    ownVersion(static_cast<WORD>(k.own[0]), static_cast<WORD>(k.own[1]), static_cast<WORD>(k.own[2]),
               static_cast<WORD>(k.own[3]));
    bool newer = !k.newer, differs = !k.differs;
    ASSERT_TRUE(isNewerThanOwn(k.given[0], k.given[1], k.given[2], k.given[3], newer));
    ASSERT_TRUE(differsFromOwn(k.given[0], k.given[1], k.given[2], k.given[3], differs));
    EXPECT_EQ(newer, k.newer) << k.given[0] << "." << k.given[1] << "." << k.given[2] << "." << k.given[3];
    EXPECT_EQ(differs, k.differs) << k.given[0] << "." << k.given[1] << "." << k.given[2] << "." << k.given[3];

    writeVersionedFile(host.c("E/Kipo.exe"), static_cast<WORD>(k.given[0]), static_cast<WORD>(k.given[1]),
                       static_cast<WORD>(k.given[2]), static_cast<WORD>(k.given[3]));
    bool fileNewer = !k.newer, fileDiffers = !k.differs;
    ASSERT_TRUE(isFileNewerThanOwn(CString(u"C:\\E\\Kipo.exe"), fileNewer));
    ASSERT_TRUE(fileDiffersFromOwn(CString(u"C:\\E\\Kipo.exe"), fileDiffers));
    EXPECT_EQ(fileNewer, k.newer);
    EXPECT_EQ(fileDiffers, k.differs);
  }
}

TEST_F(ModuleVersionTest, VersionTextNamesTheProduct) {
  ownVersion(2, 0, 13, 7);
  EXPECT_EQ(utf8(getVersionText()), "Kipo 2.0.13.7");
  int a = 0, b = 0, c = 0, d = 0;
  ASSERT_TRUE(getOwnExeVersion(a, b, c, d));
  EXPECT_EQ(c, 13);
}

}  // namespace

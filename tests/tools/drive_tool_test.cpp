// kipo-host drive, path and attrib, run as another process against the test's host.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "platform/host/drives.h"
#include "platform/win32/error.h"
#include "platform/win32/file.h"
#include "platform/win32/volume.h"
#include "tests/support/test_host.h"

namespace {

namespace fs = std::filesystem;
using kipotest::runTool;

TEST(DriveTool, AddListRemove) {
  kipotest::TestHost host;
  fs::path folder = kipotest::freshTempDir("tool-drive");
  std::ofstream(folder / "held.bin") << std::string(100, 'h');
  std::string out, err;
  ASSERT_EQ(runTool({"drive", "add", "k:", "--folder", folder.string(), "--type", "removable", "--serial", "1A2B3C4D",
                     "--label", "SYNC", "--fs", "FAT32", "--cluster", "512", "--capacity", "1048576"},
                    &out, &err),
            0)
      << err;
  // This process sees it at once.
  char16_t label[16], fsName[16];
  DWORD serial = 0;
  ASSERT_TRUE(GetVolumeInformationW(u"K:\\", label, 16, &serial, nullptr, nullptr, fsName, 16));
  EXPECT_EQ(std::u16string(label), u"SYNC");
  EXPECT_EQ(serial, 0x1A2B3C4Du);
  EXPECT_EQ(GetDriveTypeW(u"K:\\"), static_cast<UINT>(DRIVE_REMOVABLE));
  ULARGE_INTEGER avail{};
  ASSERT_TRUE(GetDiskFreeSpaceExW(u"K:\\", &avail, nullptr, nullptr));
  EXPECT_EQ(avail.QuadPart, 1048576u - 512);  // the file there was counted

  ASSERT_EQ(runTool({"drive", "list"}, &out), 0);
  EXPECT_NE(out.find("C:\t"), std::string::npos) << out;
  EXPECT_NE(out.find("K:\t" + folder.string() + "\tremovable\tserial=1A2B3C4D\tlabel=SYNC\tfs=FAT32\tcluster=512"
                     "\tcapacity=1048576\tused=512"),
            std::string::npos)
      << out;

  // A letter is taken once; a bad type is refused with usage.
  EXPECT_EQ(runTool({"drive", "add", "K:", "--folder", folder.string()}, nullptr, &err), 1);
  EXPECT_NE(err.find("already exists"), std::string::npos) << err;
  EXPECT_EQ(runTool({"drive", "add", "L:", "--folder", folder.string(), "--type", "floppy"}, nullptr, &err), 2);

  ASSERT_EQ(runTool({"drive", "remove", "K:"}), 0);
  EXPECT_EQ(GetDriveTypeW(u"K:\\"), static_cast<UINT>(DRIVE_NO_ROOT_DIR));
  EXPECT_EQ(runTool({"drive", "remove", "K:"}, nullptr, &err), 1);
}

// Numbers are refused rather than wrapped, and the system drive stays in the table.
TEST(DriveTool, RefusesBadNumbersAndTheSystemDrive) {
  kipotest::TestHost host;
  fs::path folder = kipotest::freshTempDir("tool-numbers");
  struct Case {
    std::vector<std::string> option;
  };
  const Case cases[] = {
      {{"--capacity", "-1"}},
      {{"--capacity", "18446744073709551615"}},  // 2^64 - 1: the table keeps signed numbers
      {{"--capacity", "9223372036854775808"}},   // 2^63
      {{"--capacity", "18446744073709551616"}},  // 2^64
      {{"--capacity", "99999999999999999999999"}},
      {{"--capacity", " 5"}},
      {{"--capacity", "+5"}},
      {{"--capacity", "5x"}},
      {{"--serial", "-1"}},
      {{"--serial", "0x12"}},
      {{"--cluster", "-512"}},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = {"drive", "add", "N:", "--folder", folder.string()};
    args.insert(args.end(), c.option.begin(), c.option.end());
    std::string err;
    EXPECT_EQ(runTool(args, nullptr, &err), 2) << c.option[0] << " " << c.option[1];
    EXPECT_EQ(GetDriveTypeW(u"N:\\"), static_cast<UINT>(DRIVE_NO_ROOT_DIR)) << c.option[1];
  }
  std::string out, err;
  ASSERT_EQ(runTool({"drive", "add", "N:", "--folder", folder.string(), "--capacity", "9223372036854775807"}, nullptr,
                    &err),
            0)
      << err;
  ASSERT_EQ(runTool({"drive", "list"}, &out), 0);
  EXPECT_NE(out.find("capacity=9223372036854775807"), std::string::npos) << out;

  for (const char* name : {"C:", "c:", "c", "C:\\"}) {
    EXPECT_EQ(runTool({"drive", "remove", name}, nullptr, &err), 1) << name;
    EXPECT_NE(err.find("system drive"), std::string::npos) << err;
    EXPECT_EQ(GetDriveTypeW(u"C:\\"), static_cast<UINT>(DRIVE_FIXED)) << name;
  }
}

TEST(DriveTool, RefusesAFolderWithoutUserXattrs) {
  kipotest::TestHost host;
  std::string err;
  EXPECT_EQ(runTool({"drive", "add", "P:", "--folder", "/proc"}, nullptr, &err), 1);
  EXPECT_NE(err.find("extended attributes"), std::string::npos) << err;
  EXPECT_EQ(runTool({"drive", "add", "P:", "--folder", "/no/such/folder"}, nullptr, &err), 1);
  EXPECT_EQ(GetDriveTypeW(u"P:\\"), static_cast<UINT>(DRIVE_NO_ROOT_DIR));
}

TEST(DriveTool, SharesAndPaths) {
  kipotest::TestHost host;
  fs::path folder = kipotest::freshTempDir("tool-share");
  fs::create_directories(folder / "Docs");
  ASSERT_EQ(runTool({"drive", "add", "\\\\fileserver\\team", "--folder", folder.string()}), 0);
  EXPECT_EQ(GetDriveTypeW(u"\\\\FILESERVER\\TEAM\\"), static_cast<UINT>(DRIVE_REMOTE));
  std::string out;
  ASSERT_EQ(runTool({"path", "\\\\FileServer\\Team\\docs\\new.txt"}, &out), 4);  // folder there, file not
  EXPECT_EQ(out, (folder / "Docs" / "new.txt").string() + "\n");
  ASSERT_EQ(runTool({"path", "c:\\windows"}, &out), 0);
  EXPECT_EQ(out, host.c("WINDOWS").string() + "\n");
  EXPECT_EQ(runTool({"path", "Q:\\x"}, &out), 1);
}

TEST(DriveTool, AttribShowsAndSets) {
  kipotest::TestHost host;
  std::ofstream(host.c("boot.ini")) << "[boot loader]";
  std::string out;
  ASSERT_EQ(runTool({"attrib", "C:\\BOOT.INI", "+R", "+H", "+S", "-A"}), 0);
  EXPECT_EQ(GetFileAttributesW(u"C:\\boot.ini"),
            static_cast<DWORD>(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
  ASSERT_EQ(runTool({"attrib", "C:\\boot.ini"}, &out), 0);
  EXPECT_EQ(out, " SHR     C:\\boot.ini\n");
  ASSERT_EQ(runTool({"attrib", "C:\\boot.ini", "-r", "-h", "-s"}), 0);
  EXPECT_EQ(GetFileAttributesW(u"C:\\boot.ini"), static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL));
  EXPECT_EQ(runTool({"attrib", "C:\\boot.ini", "+Q"}), 2);
  EXPECT_EQ(runTool({"attrib", "C:\\absent.ini"}), 1);
}

}  // namespace

// Volumes: drive letters, types, volume information and free space from the drive table.
#include "platform/win32/volume.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>

#include "platform/base/text.h"
#include "platform/host/drives.h"
#include "platform/win32/error.h"
#include "platform/win32/file.h"
#include "tests/support/test_host.h"

namespace {

namespace fs = std::filesystem;
constexpr DWORD kSentinel = 0xDEADBEEF;

class VolumeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    e_ = kipotest::freshTempDir("vol-e");
    platform::host::Drive d;
    d.name = u"E:";
    d.root = e_;
    d.type = DRIVE_REMOVABLE;
    d.serial = 0x12AB34CD;
    d.label = u"KIPO";
    d.fileSystem = u"FAT32";
    d.clusterSize = 8192;
    d.capacity = 1024 * 8192;
    platform::host::addDrive(d);
    d.name = u"\\\\Server\\Public";
    d.root = kipotest::freshTempDir("vol-share");
    d.type = DRIVE_REMOTE;
    d.capacity.reset();
    platform::host::addDrive(d);
  }
  kipotest::TestHost host;
  fs::path e_;
};

TEST_F(VolumeTest, LettersAndTypes) {
  EXPECT_EQ(GetLogicalDrives(), (1u << 2) | (1u << 4));
  char16_t buf[32];
  std::memset(buf, 0xBD, sizeof buf);
  DWORD n = GetLogicalDriveStringsW(32, buf);
  ASSERT_EQ(n, 8u);
  EXPECT_EQ(std::u16string(buf, 9), std::u16string(u"C:\\\0E:\\\0\0", 9));
  EXPECT_EQ(buf[9], 0xBDBD);  // nothing written past the final NUL
  EXPECT_EQ(GetLogicalDriveStringsW(8, buf), 9u);

  struct Case {
    const char16_t* root;
    UINT type;
  };
  const Case cases[] = {
      {u"C:\\", DRIVE_FIXED},          {u"e:\\", DRIVE_REMOVABLE},           {u"E:", DRIVE_REMOVABLE},
      {u"Q:\\", DRIVE_NO_ROOT_DIR},    {u"C:\\WINDOWS\\", DRIVE_NO_ROOT_DIR}, {u"\\\\server\\public\\", DRIVE_REMOTE},
      {u"\\\\server\\other\\", DRIVE_NO_ROOT_DIR}, {nullptr, DRIVE_FIXED},  // the current directory's drive
  };
  for (const auto& k : cases) EXPECT_EQ(GetDriveTypeW(k.root), k.type) << (k.root ? platform::text::toUtf8(k.root) : "null");
  EXPECT_EQ(GetDriveTypeA("E:\\"), static_cast<UINT>(DRIVE_REMOVABLE));
}

TEST_F(VolumeTest, VolumeInformation) {
  char16_t label[32], fsName[32];
  DWORD serial = kSentinel, maxLen = kSentinel, flags = kSentinel;
  ASSERT_TRUE(GetVolumeInformationW(u"E:\\", label, 32, &serial, &maxLen, &flags, fsName, 32));
  EXPECT_EQ(std::u16string(label), u"KIPO");
  EXPECT_EQ(std::u16string(fsName), u"FAT32");
  EXPECT_EQ(serial, 0x12AB34CDu);
  EXPECT_EQ(maxLen, 255u);
  EXPECT_EQ(flags & FILE_CASE_PRESERVED_NAMES, static_cast<DWORD>(FILE_CASE_PRESERVED_NAMES));
  EXPECT_EQ(flags & FILE_PERSISTENT_ACLS, 0u);
  ASSERT_TRUE(GetVolumeInformationW(u"C:\\", label, 32, &serial, nullptr, &flags, fsName, 32));
  EXPECT_EQ(std::u16string(label), u"");
  EXPECT_EQ(std::u16string(fsName), u"NTFS");
  EXPECT_EQ(flags & FILE_PERSISTENT_ACLS, static_cast<DWORD>(FILE_PERSISTENT_ACLS));
  char ansiLabel[32], ansiFs[32];
  ASSERT_TRUE(GetVolumeInformationA("E:\\", ansiLabel, 32, nullptr, nullptr, nullptr, ansiFs, 32));
  EXPECT_STREQ(ansiLabel, "KIPO");

  // Failures leave the out-parameters alone.
  struct Case {
    const char16_t* root;
    DWORD error;
  };
  const Case cases[] = {{u"Q:\\", ERROR_PATH_NOT_FOUND}, {u"E:", ERROR_INVALID_NAME}, {u"E:\\sub\\", ERROR_INVALID_NAME}};
  for (const auto& k : cases) {
    serial = kSentinel;
    EXPECT_FALSE(GetVolumeInformationW(k.root, label, 32, &serial, nullptr, nullptr, fsName, 32));
    EXPECT_EQ(GetLastError(), k.error);
    EXPECT_EQ(serial, kSentinel);
  }
  serial = kSentinel;
  EXPECT_FALSE(GetVolumeInformationW(u"E:\\", label, 4, &serial, nullptr, nullptr, nullptr, 0));  // "KIPO" needs 5
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_LENGTH));
  EXPECT_EQ(serial, kSentinel);
}

TEST_F(VolumeTest, FreeSpaceFollowsCapacityAndWrites) {
  DWORD spc = 0, bps = 0, freeClusters = 0, total = 0;
  ASSERT_TRUE(GetDiskFreeSpaceW(u"E:\\", &spc, &bps, &freeClusters, &total));
  EXPECT_EQ(spc * bps, 8192u);
  EXPECT_EQ(total, 1024u);
  EXPECT_EQ(freeClusters, 1024u);
  HANDLE h = CreateFileW(u"E:\\f.bin", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  DWORD n;
  ASSERT_TRUE(WriteFile(h, "x", 1, &n, nullptr));  // one byte takes a whole cluster
  CloseHandle(h);
  ASSERT_TRUE(GetDiskFreeSpaceW(u"E:\\", nullptr, nullptr, &freeClusters, nullptr));
  EXPECT_EQ(freeClusters, 1023u);
  ULARGE_INTEGER avail{}, bytes{}, freeBytes{};
  ASSERT_TRUE(CreateDirectoryW(u"E:\\Sub", nullptr));
  ASSERT_TRUE(GetDiskFreeSpaceExW(u"E:\\Sub", &avail, &bytes, &freeBytes));  // any folder of the drive
  EXPECT_EQ(bytes.QuadPart, 1024u * 8192);
  EXPECT_EQ(avail.QuadPart, 1023u * 8192);
  EXPECT_EQ(freeBytes.QuadPart, avail.QuadPart);
  avail.QuadPart = kSentinel;
  EXPECT_FALSE(GetDiskFreeSpaceExW(u"E:\\Missing", &avail, nullptr, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(avail.QuadPart, kSentinel);
  // Without a capacity: the Linux file system's numbers.
  ASSERT_TRUE(GetDiskFreeSpaceExW(u"C:\\", &avail, &bytes, nullptr));
  EXPECT_GT(bytes.QuadPart, 0u);
  EXPECT_LE(avail.QuadPart, bytes.QuadPart);
}

TEST_F(VolumeTest, ErrorModeReturnsThePreviousMode) {
  UINT before = SetErrorMode(SEM_FAILCRITICALERRORS);
  EXPECT_EQ(SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX), static_cast<UINT>(SEM_FAILCRITICALERRORS));
  SetErrorMode(before);
}

}  // namespace

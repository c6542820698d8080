// Version blocks read from files: this test program and copies of it and of kipo-host inside the
// host, the stand-in "shell32.dll" and "kernel32.dll" (made from the host facts), files without a
// block, cut buffers and damaged blocks.
#include "platform/win32/version.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "platform/base/text.h"
#include "platform/host/host.h"
#include "platform/host/module_format.h"
#include "platform/win32/error.h"
#include "tests/support/test_host.h"

namespace {

namespace fs = std::filesystem;
namespace rsrc = platform::rsrc;

void writeFile(const fs::path& to, const std::vector<std::uint8_t>& bytes) {
  fs::create_directories(to.parent_path());
  std::ofstream out(to, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// The whole block of a file, or empty with the last error from the size call.
std::vector<std::uint8_t> versionBlock(const char16_t* path) {
  DWORD handle = 0xdeadbeef;
  DWORD size = GetFileVersionInfoSizeW(path, &handle);
  EXPECT_EQ(handle, 0u);
  if (!size) return {};
  std::vector<std::uint8_t> block(size);
  EXPECT_TRUE(GetFileVersionInfoW(path, 0, size, block.data())) << GetLastError();
  return block;
}

VS_FIXEDFILEINFO fixedInfo(const std::vector<std::uint8_t>& block) {
  VS_FIXEDFILEINFO info{};
  void* p = nullptr;
  UINT length = 0;
  EXPECT_TRUE(VerQueryValueW(block.data(), u"\\", &p, &length));
  EXPECT_EQ(length, sizeof(VS_FIXEDFILEINFO));
  if (p) std::memcpy(&info, p, sizeof info);
  return info;
}

std::u16string stringValue(const std::vector<std::uint8_t>& block, const char16_t* path) {
  void* p = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(block.data(), path, &p, &length)) return u"<none>";
  EXPECT_GT(length, 0u) << "the length counts the NUL";
  const auto* text = static_cast<const char16_t*>(p);
  EXPECT_EQ(text[length - 1], 0);
  return std::u16string(text, length - 1);
}

class VersionTest : public ::testing::Test {
 protected:
  kipotest::TestHost host;

  // Copies a built file into the host and gives its Windows path.
  std::u16string install(const fs::path& from, const std::string& relative) {
    fs::path to = host.c(relative);
    fs::create_directories(to.parent_path());
    fs::copy_file(from, to, fs::copy_options::overwrite_existing);
    std::u16string windows = u"C:\\" + platform::text::fromUtf8(relative);
    for (char16_t& c : windows)
      if (c == u'/') c = u'\\';
    return windows;
  }
};

TEST_F(VersionTest, ProgramsCarryTheirVersionBlock) {
  const std::u16string copy = install("/proc/self/exe", "Program Files/Kipo/Kipo.exe");
  std::vector<std::uint8_t> block = versionBlock(copy.c_str());
  ASSERT_FALSE(block.empty()) << GetLastError();
  VS_FIXEDFILEINFO info = fixedInfo(block);
  EXPECT_EQ(info.dwSignature, 0xFEEF04BDu);
  EXPECT_EQ(info.dwStrucVersion, 0x00010000u);
  EXPECT_EQ(info.dwFileVersionMS, 0x00010002u);
  EXPECT_EQ(info.dwFileVersionLS, 0x00030004u);
  EXPECT_EQ(info.dwProductVersionMS, 0x00050006u);
  EXPECT_EQ(info.dwProductVersionLS, 0u);
  EXPECT_EQ(info.dwFileFlags, static_cast<DWORD>(VS_FF_PRERELEASE));
  EXPECT_EQ(info.dwFileOS, static_cast<DWORD>(VOS_NT_WINDOWS32));
  EXPECT_EQ(info.dwFileType, static_cast<DWORD>(VFT_APP));

  void* p = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(block.data(), u"\\VarFileInfo\\Translation", &p, &length));
  ASSERT_EQ(length, 4u);
  WORD pair[2];
  std::memcpy(pair, p, 4);
  EXPECT_EQ(pair[0], 0x0409);
  EXPECT_EQ(pair[1], 1200);

  struct Case {
    const char16_t* path;
    const char16_t* value;
  } cases[] = {
      {u"\\StringFileInfo\\040904b0\\FileVersion", u"1.2.3.4"},
      {u"\\StringFileInfo\\040904B0\\fileversion", u"1.2.3.4"},  // keys compare without case
      {u"\\StringFileInfo\\040904b0\\CompanyName", u"Kipo fixtures"},
      {u"\\StringFileInfo\\040904b0\\Comments", u""},
      {u"\\StringFileInfo\\040904b0\\ProductVersion", u"5.6"},
      {u"\\StringFileInfo\\040904b0\\NoSuchKey", u"<none>"},
      {u"\\StringFileInfo\\040c04b0\\FileVersion", u"<none>"},
  };
  for (const Case& c : cases) EXPECT_EQ(stringValue(block, c.path), c.value) << platform::text::toUtf8(c.path);

  // The tool the project installs carries its own block too.
  std::vector<std::uint8_t> tool = versionBlock(install(KIPO_HOST_TOOL, "Program Files/Kipo/kipo-host.exe").c_str());
  ASSERT_FALSE(tool.empty()) << GetLastError();
  EXPECT_EQ(fixedInfo(tool).dwFileVersionMS, 0x00010000u);
  EXPECT_EQ(stringValue(tool, u"\\StringFileInfo\\040904b0\\OriginalFilename"), u"kipo-host.exe");
}

TEST_F(VersionTest, ModulesCarryTheirVersionBlock) {
  std::vector<std::uint8_t> block = versionBlock(install(KIPO_FIXTURE_MODULE, "WINDOWS/system32/kipofix.dll").c_str());
  ASSERT_FALSE(block.empty()) << GetLastError();
  EXPECT_EQ(fixedInfo(block).dwFileType, static_cast<DWORD>(VFT_DLL));
}

TEST_F(VersionTest, StandInSystemModulesReportTheHostVersions) {
  std::vector<std::uint8_t> shell = versionBlock(u"C:\\WINDOWS\\system32\\shell32.dll");
  ASSERT_FALSE(shell.empty()) << GetLastError();
  EXPECT_EQ(fixedInfo(shell).dwFileVersionMS, 0x00060000u) << "default shell version 6.0";
  EXPECT_EQ(fixedInfo(shell).dwFileType, static_cast<DWORD>(VFT_DLL));
  EXPECT_EQ(stringValue(shell, u"\\StringFileInfo\\040904b0\\OriginalFilename"), u"shell32.dll");

  platform::host::Host::current().setFact(platform::host::fact::ShellVersion, "4.71");
  shell = versionBlock(u"c:\\windows\\system32\\SHELL32.DLL");
  ASSERT_FALSE(shell.empty());
  EXPECT_EQ(fixedInfo(shell).dwFileVersionMS, 0x00040047u) << "4.71 after `kipo-host set`";
  EXPECT_EQ(stringValue(shell, u"\\StringFileInfo\\040904b0\\FileVersion"), u"4.71");

  std::vector<std::uint8_t> kernel = versionBlock(u"C:\\WINDOWS\\system32\\kernel32.dll");
  ASSERT_FALSE(kernel.empty());
  EXPECT_EQ(fixedInfo(kernel).dwFileVersionMS, 0x00050001u);
  EXPECT_EQ(fixedInfo(kernel).dwFileVersionLS, 0x0A280000u) << "build 2600";
}

TEST_F(VersionTest, FilesWithoutABlockAnswerAsWindowsDoes) {
  writeFile(host.c("text.txt"), {'h', 'e', 'l', 'l', 'o'});
  writeFile(host.c("empty.txt"), {});
  install(KIPO_FIXTURE_LANGUAGE, "Program Files/Kipo/Lingrove_TST.DLL");
  fs::create_directories(host.c("Folder"));
  struct Case {
    const char16_t* path;
    DWORD error;
  } cases[] = {
      {u"C:\\text.txt", ERROR_RESOURCE_DATA_NOT_FOUND},
      {u"C:\\empty.txt", ERROR_RESOURCE_DATA_NOT_FOUND},
      {u"C:\\Program Files\\Kipo\\Lingrove_TST.DLL", ERROR_RESOURCE_TYPE_NOT_FOUND},  // resources, no block
      {u"C:\\nosuch.dll", ERROR_FILE_NOT_FOUND},
      {u"C:\\No Folder\\x.dll", ERROR_PATH_NOT_FOUND},
      {u"C:\\Folder", ERROR_ACCESS_DENIED},
  };
  for (const Case& c : cases) {
    SetLastError(0);
    DWORD handle = 0xdeadbeef;
    EXPECT_EQ(GetFileVersionInfoSizeW(c.path, &handle), 0u) << platform::text::toUtf8(c.path);
    EXPECT_EQ(GetLastError(), c.error) << platform::text::toUtf8(c.path);
    EXPECT_EQ(handle, 0u);
    std::uint8_t buffer[64];
    std::memset(buffer, 0xBD, sizeof buffer);
    EXPECT_FALSE(GetFileVersionInfoW(c.path, 0, sizeof buffer, buffer));
    EXPECT_EQ(GetLastError(), c.error);
    EXPECT_EQ(buffer[0], 0xBD) << "buffer untouched";
  }
}

TEST_F(VersionTest, ACutBufferIsNeverReadPastItsEnd) {
  const std::u16string copy = install("/proc/self/exe", "Kipo.exe");
  DWORD size = GetFileVersionInfoSizeW(copy.c_str(), nullptr);
  ASSERT_GT(size, 200u);
  // Room for the root and the fixed record, not for the string table.
  std::vector<std::uint8_t> cut(150, 0xBD);
  ASSERT_TRUE(GetFileVersionInfoW(copy.c_str(), 0, 100, cut.data()));
  EXPECT_EQ(cut[100], 0xBD) << "nothing past the given length";
  EXPECT_EQ(fixedInfo(cut).dwFileVersionMS, 0x00010002u);
  void* p = nullptr;
  UINT length = 7;
  EXPECT_FALSE(VerQueryValueW(cut.data(), u"\\VarFileInfo\\Translation", &p, &length));
  EXPECT_EQ(length, 0u);
}

TEST_F(VersionTest, DamagedBlocksFailCleanly) {
  rsrc::FixedInfo fixed;
  fixed.fileVersionMS = 0x00020000;
  const std::vector<std::uint8_t> good =
      rsrc::writeSimpleVersionInfo(fixed, 0x0409, 1200, {{u"FileVersion", u"2.0"}});
  auto withBlock = [](std::vector<std::uint8_t> block) {
    return rsrc::writeResourceFile({{rsrc::Id::of(rsrc::kTypeVersion), rsrc::Id::of(1), 0x0409, std::move(block)}});
  };
  auto set16 = [](std::vector<std::uint8_t> b, std::size_t at, WORD v) {
    b[at] = static_cast<std::uint8_t>(v);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
    return b;
  };
  // Offsets in the block: the root's header (6), key "VS_VERSION_INFO" with its NUL (32) and
  // padding (2), the record (52); then "StringFileInfo" (6 + 30), "040904b0" (6 + 18), and the
  // "FileVersion" node whose wValueLength follows its wLength.
  const std::size_t firstChild = 6 + 32 + 2 + 52;
  const std::size_t fileVersionValueLength = firstChild + 6 + 30 + 6 + 18 + 2;
  ASSERT_EQ(good[fileVersionValueLength], 4) << "\"2.0\" and its NUL";
  struct Case {
    const char* what;
    std::vector<std::uint8_t> block;
    bool sizeFails;  // GetFileVersionInfoSizeW refuses it already
  } cases[] = {
      {"root longer than the resource", set16(good, 0, static_cast<WORD>(good.size() + 8)), true},
      {"root shorter than a header", set16(good, 0, 4), true},
      {"child longer than its parent", set16(good, firstChild, 0x7000), false},
      {"child length zero", set16(good, firstChild, 0), false},
      {"key without end", [&] {
         auto b = good;
         for (std::size_t i = firstChild + 6; i < b.size(); ++i) b[i] = 'A';
         return b;
       }(), false},
      {"text value longer than its node", set16(good, fileVersionValueLength, 0x100), false},
  };
  for (const Case& c : cases) {
    writeFile(host.c("damaged.dll"), withBlock(c.block));
    SetLastError(0);
    DWORD size = GetFileVersionInfoSizeW(u"C:\\damaged.dll", nullptr);
    if (c.sizeFails) {
      EXPECT_EQ(size, 0u) << c.what;
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_FORMAT)) << c.what;
      continue;
    }
    ASSERT_GT(size, 0u) << c.what;
    std::vector<std::uint8_t> block(size);
    ASSERT_TRUE(GetFileVersionInfoW(u"C:\\damaged.dll", 0, size, block.data())) << c.what;
    void* p = nullptr;
    UINT length = 0;
    EXPECT_FALSE(VerQueryValueW(block.data(), u"\\StringFileInfo\\040904b0\\FileVersion", &p, &length)) << c.what;
    EXPECT_EQ(length, 0u);
  }
  // The good block itself answers.
  writeFile(host.c("damaged.dll"), withBlock(good));
  std::vector<std::uint8_t> block = versionBlock(u"C:\\damaged.dll");
  ASSERT_FALSE(block.empty());
  EXPECT_EQ(stringValue(block, u"\\StringFileInfo\\040904b0\\FileVersion"), u"2.0");
}

}  // namespace

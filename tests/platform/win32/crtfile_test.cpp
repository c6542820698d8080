// The wide C runtime file calls: text and binary streams, encodings, stat and access, and the
// errno values of failing calls.
#include "platform/win32/crtfile.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>
#include <string>

#include "platform/win32/file.h"
#include "tests/support/test_host.h"

// GoogleTest brings Linux's stat header, whose time-member macros would rename the runtime
// structure's members (product code never sees that header).
#undef st_atime
#undef st_mtime
#undef st_ctime

namespace {

namespace fs = std::filesystem;

std::string bytesOf(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class CrtFileTest : public ::testing::Test {
 protected:
  kipotest::TestHost host;
};

TEST_F(CrtFileTest, TextModeTranslatesLineEnds) {
  FILE* f = _wfopen(u"C:\\notes.txt", u"w");
  ASSERT_NE(f, nullptr);
  ASSERT_EQ(fputws(u"one\ntwo\rthree\n", f), 0);
  ASSERT_EQ(std::fclose(f), 0);
  EXPECT_EQ(bytesOf(host.c("notes.txt")), "one\r\ntwo\rthree\r\n");  // a lone CR stays

  f = _wfopen(u"c:\\NOTES.TXT", u"rt");
  ASSERT_NE(f, nullptr);
  char16_t line[64];
  ASSERT_NE(fgetws(line, 64, f), nullptr);
  EXPECT_EQ(std::u16string(line), u"one\n");
  ASSERT_NE(fgetws(line, 64, f), nullptr);
  EXPECT_EQ(std::u16string(line), u"two\rthree\n");
  EXPECT_EQ(fgetws(line, 64, f), nullptr);
  std::fclose(f);

  // Binary mode keeps the bytes; in text mode Ctrl-Z ends the input.
  std::ofstream(host.c("z.txt"), std::ios::binary) << "ab\r\ncd\x1A" "after";
  f = _wfopen(u"C:\\z.txt", u"rb");
  char buf[32];
  std::size_t n = std::fread(buf, 1, sizeof buf, f);
  std::fclose(f);
  EXPECT_EQ(std::string(buf, n), "ab\r\ncd\x1A" "after");
  f = _wfopen(u"C:\\z.txt", u"r");
  n = std::fread(buf, 1, sizeof buf, f);
  std::fclose(f);
  EXPECT_EQ(std::string(buf, n), "ab\ncd");
}

TEST_F(CrtFileTest, EncodedStreams) {
  FILE* f = _wfopen(u"C:\\u16.txt", u"w, ccs=UNICODE");
  ASSERT_NE(f, nullptr);
  fputws(u"h\u00E9\n", f);
  std::fclose(f);
  EXPECT_EQ(bytesOf(host.c("u16.txt")), std::string("\xFF\xFE" "h\0\xE9\0\r\0\n\0", 10));
  f = _wfopen(u"C:\\u16.txt", u"r, ccs=UTF-8");  // the mark wins over the mode
  char16_t line[16];
  ASSERT_NE(fgetws(line, 16, f), nullptr);
  EXPECT_EQ(std::u16string(line), u"h\u00E9\n");
  std::fclose(f);

  f = _wfopen(u"C:\\u8.txt", u"a,ccs=UTF-8");
  fputws(u"\u00E9", f);
  std::fclose(f);
  f = _wfopen(u"C:\\u8.txt", u"a,ccs=UTF-8");
  fputws(u"x", f);
  std::fclose(f);
  EXPECT_EQ(bytesOf(host.c("u8.txt")), "\xEF\xBB\xBF\xC3\xA9x");  // one mark, appended after it
  EXPECT_EQ(_wfopen(u"C:\\bad.txt", u"w, ccs=EBCDIC"), nullptr);
  EXPECT_EQ(errno, EINVAL);
}

TEST_F(CrtFileTest, StatAndAccess) {
  std::ofstream(host.c("tool.exe")) << std::string(1234, 'x');
  struct _stat st;
  ASSERT_EQ(_wstat(u"C:\\TOOL.EXE", &st), 0);
  EXPECT_EQ(st.st_size, 1234);
  EXPECT_EQ(st.st_mode & _S_IFMT, _S_IFREG);
  EXPECT_EQ(st.st_mode & 0777, 0777 & (_S_IREAD | _S_IWRITE | _S_IEXEC) * 0111 / 0100);
  EXPECT_EQ(st.st_dev, 2u);  // C:
  WIN32_FILE_ATTRIBUTE_DATA data{};
  ASSERT_TRUE(GetFileAttributesExW(u"C:\\tool.exe", GetFileExInfoStandard, &data));
  EXPECT_EQ(st.st_mtime, static_cast<std::int64_t>((((static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                                                     data.ftLastWriteTime.dwLowDateTime) - 116444736000000000ull) / 10000000));
  ASSERT_EQ(_wstat(u"C:\\WINDOWS", &st), 0);
  EXPECT_EQ(st.st_mode & _S_IFMT, _S_IFDIR);
  EXPECT_EQ(_wstat(u"C:\\absent", &st), -1);
  EXPECT_EQ(errno, ENOENT);

  ASSERT_TRUE(SetFileAttributesW(u"C:\\tool.exe", FILE_ATTRIBUTE_READONLY));
  ASSERT_EQ(_wstat(u"C:\\tool.exe", &st), 0);
  EXPECT_EQ(st.st_mode & _S_IWRITE, 0);
  struct Case {
    const char16_t* path;
    int mode, result, error;
  };
  const Case cases[] = {
      {u"C:\\tool.exe", 0, 0, 0},   {u"C:\\tool.exe", 4, 0, 0},       {u"C:\\tool.exe", 2, -1, EACCES},
      {u"C:\\tool.exe", 6, -1, EACCES}, {u"C:\\WINDOWS", 6, 0, 0}, {u"C:\\absent", 0, -1, ENOENT},
  };
  for (const auto& k : cases) {
    errno = 0;
    EXPECT_EQ(_waccess(k.path, k.mode), k.result);
    EXPECT_EQ(errno, k.error);
  }
  EXPECT_EQ(_wfopen(u"C:\\tool.exe", u"w"), nullptr);  // read-only
  EXPECT_EQ(errno, EACCES);
}

TEST_F(CrtFileTest, RemoveRenameAndFolders) {
  EXPECT_EQ(_wmkdir(u"C:\\Dir"), 0);
  EXPECT_EQ(_wmkdir(u"C:\\dir"), -1);
  EXPECT_EQ(errno, EEXIST);
  std::ofstream(host.c("Dir/f.txt")) << "f";
  EXPECT_EQ(_wrmdir(u"C:\\Dir"), -1);
  EXPECT_EQ(errno, ENOTEMPTY);
  std::ofstream(host.c("g.txt")) << "g";
  EXPECT_EQ(_wrename(u"C:\\g.txt", u"C:\\Dir\\f.txt"), -1);
  EXPECT_EQ(errno, EEXIST);
  EXPECT_EQ(_wrename(u"C:\\g.txt", u"C:\\Dir\\h.txt"), 0);
  EXPECT_EQ(_wremove(u"C:\\dir\\F.TXT"), 0);
  EXPECT_EQ(_wremove(u"C:\\dir\\f.txt"), -1);
  EXPECT_EQ(errno, ENOENT);
  EXPECT_EQ(_wremove(u"C:\\dir\\h.txt"), 0);
  EXPECT_EQ(_wrmdir(u"C:\\Dir"), 0);
  EXPECT_FALSE(fs::exists(host.c("Dir")));
}

}  // namespace

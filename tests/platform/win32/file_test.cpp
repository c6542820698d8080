// Files: CreateFileW dispositions and their last-error rules, reads and writes, the file pointer,
// read-only and hidden attributes, share modes within and between processes, copy, move, delete,
// folders, times, disk full on a small drive, and a drive removed under open handles.
#include "platform/win32/file.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "platform/base/fault.h"
#include "platform/base/filetime.h"
#include "platform/host/drives.h"
#include "platform/win32/error.h"
#include "platform/win32/registry.h"
#include "platform/win32/volume.h"
#include "tests/support/test_host.h"

namespace {

constexpr DWORD kSentinel = 0xDEADBEEF;
namespace fs = std::filesystem;

std::u16string W(const std::string& s) { return std::u16string(s.begin(), s.end()); }

// Writes `data` with CreateFileW/WriteFile (CREATE_ALWAYS); false when any step fails.
bool put(const std::u16string& path, const std::string& data) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  BOOL ok = WriteFile(h, data.data(), static_cast<DWORD>(data.size()), &written, nullptr);
  CloseHandle(h);
  return ok && written == data.size();
}

std::string get(const std::u16string& path) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return "<error " + std::to_string(GetLastError()) + ">";
  std::string out;
  char buf[4096];
  DWORD got = 0;
  while (ReadFile(h, buf, sizeof buf, &got, nullptr) && got) out.append(buf, got);
  CloseHandle(h);
  return out;
}

std::string linuxContent(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class FileTest : public ::testing::Test {
 protected:
  kipotest::TestHost host;
  fs::path c(const std::string& rel) { return host.c(rel); }
};

TEST_F(FileTest, DispositionsCreateOpenAndReportExisting) {
  struct Case {
    DWORD disposition;
    bool exists;
    bool opens;
    DWORD lastError;      // after the call
    std::string content;  // content afterwards ("old" was there when it existed)
  };
  const Case cases[] = {
      {CREATE_NEW, false, true, ERROR_SUCCESS, ""},
      {CREATE_NEW, true, false, ERROR_FILE_EXISTS, "old"},
      {CREATE_ALWAYS, false, true, ERROR_SUCCESS, ""},
      {CREATE_ALWAYS, true, true, ERROR_ALREADY_EXISTS, ""},
      {OPEN_EXISTING, false, false, ERROR_FILE_NOT_FOUND, "<none>"},
      {OPEN_EXISTING, true, true, ERROR_SUCCESS, "old"},
      {OPEN_ALWAYS, false, true, ERROR_SUCCESS, ""},
      {OPEN_ALWAYS, true, true, ERROR_ALREADY_EXISTS, "old"},
      {TRUNCATE_EXISTING, false, false, ERROR_FILE_NOT_FOUND, "<none>"},
      {TRUNCATE_EXISTING, true, true, ERROR_SUCCESS, ""},
  };
  int n = 0;
  for (const auto& k : cases) {
    std::string name = "case" + std::to_string(n++) + ".txt";
    if (k.exists) std::ofstream(c(name)) << "old";
    SetLastError(kSentinel);
    HANDLE h = CreateFileW((u"C:\\" + W(name)).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, k.disposition,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_EQ(h != INVALID_HANDLE_VALUE, k.opens) << name;
    EXPECT_EQ(GetLastError(), k.lastError) << name;
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    EXPECT_EQ(fs::exists(c(name)) ? linuxContent(c(name)) : "<none>", k.content) << name;
  }
}

TEST_F(FileTest, NamesAreCaseInsensitiveAndKeepTheirCase) {
  ASSERT_TRUE(put(u"C:\\Documents and Settings\\Robin\\My Documents\\Report.TXT", "data"));
  EXPECT_TRUE(fs::exists(c("Documents and Settings/Robin/My Documents/Report.TXT")));
  EXPECT_EQ(get(u"c:\\DOCUMENTS AND SETTINGS\\robin\\my documents\\report.txt"), "data");
  // Writing through another case reaches the same file and keeps the first spelling.
  ASSERT_TRUE(put(u"C:\\documents and settings\\ROBIN\\MY DOCUMENTS\\REPORT.txt", "again"));
  EXPECT_EQ(linuxContent(c("Documents and Settings/Robin/My Documents/Report.TXT")), "again");
  int files = 0;
  for (auto& e : fs::directory_iterator(c("Documents and Settings/Robin/My Documents")))
    files += e.is_regular_file();
  EXPECT_EQ(files, 1);
  // A new name under a differently spelt folder lands in the existing folder.
  ASSERT_TRUE(put(u"C:\\windows\\TEMP\\New.log", "x"));
  EXPECT_TRUE(fs::exists(c("WINDOWS/Temp/New.log")));
}

TEST_F(FileTest, ReadWriteAndFilePointerRules) {
  HANDLE h = CreateFileW(u"C:\\ptr.bin", GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  DWORD n = kSentinel;
  ASSERT_TRUE(WriteFile(h, "0123456789", 10, &n, nullptr));
  EXPECT_EQ(n, 10u);
  EXPECT_EQ(SetFilePointer(h, 2, nullptr, FILE_BEGIN), 2u);
  char buf[8] = {};
  ASSERT_TRUE(ReadFile(h, buf, 3, &n, nullptr));
  EXPECT_EQ(std::string(buf, n), "234");
  EXPECT_EQ(SetFilePointer(h, -2, nullptr, FILE_END), 8u);
  ASSERT_TRUE(ReadFile(h, buf, 8, &n, nullptr));
  EXPECT_EQ(std::string(buf, n), "89");
  // At the end a read succeeds with nothing read.
  n = kSentinel;
  ASSERT_TRUE(ReadFile(h, buf, 8, &n, nullptr));
  EXPECT_EQ(n, 0u);

  // Before the start: INVALID_SET_FILE_POINTER with ERROR_NEGATIVE_SEEK, position unchanged.
  EXPECT_EQ(SetFilePointer(h, -100, nullptr, FILE_CURRENT), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NEGATIVE_SEEK));
  EXPECT_EQ(SetFilePointer(h, 0, nullptr, FILE_CURRENT), 10u);

  // A real position whose low part is 0xFFFFFFFF is told apart by a cleared last error.
  LONG high = 0;
  SetLastError(kSentinel);
  EXPECT_EQ(SetFilePointer(h, -1, &high, FILE_BEGIN), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(NO_ERROR));
  EXPECT_EQ(high, 0);  // -1 with a high part of 0 is 0x00000000FFFFFFFF
  LARGE_INTEGER to{}, now{};
  to.QuadPart = 5;
  ASSERT_TRUE(SetFilePointerEx(h, to, &now, FILE_BEGIN));
  EXPECT_EQ(now.QuadPart, 5);
  ASSERT_TRUE(SetEndOfFile(h));
  DWORD sizeHigh = kSentinel;
  EXPECT_EQ(GetFileSize(h, &sizeHigh), 5u);
  EXPECT_EQ(sizeHigh, 0u);
  LARGE_INTEGER size{};
  ASSERT_TRUE(GetFileSizeEx(h, &size));
  EXPECT_EQ(size.QuadPart, 5);
  EXPECT_EQ(GetFileType(h), static_cast<DWORD>(FILE_TYPE_DISK));
  EXPECT_TRUE(FlushFileBuffers(h));
  ASSERT_TRUE(CloseHandle(h));
  EXPECT_EQ(linuxContent(c("ptr.bin")), "01234");

  // A handle without the right access: ERROR_ACCESS_DENIED, nothing changes.
  h = CreateFileW(u"C:\\ptr.bin", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  n = kSentinel;
  EXPECT_FALSE(WriteFile(h, "zz", 2, &n, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(n, 0u);
  CloseHandle(h);
  EXPECT_EQ(linuxContent(c("ptr.bin")), "01234");
  EXPECT_FALSE(ReadFile(h, buf, 1, &n, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(FileTest, ReadOnlyIsEnforced) {
  ASSERT_TRUE(put(u"C:\\ro.txt", "keep"));
  ASSERT_TRUE(SetFileAttributesW(u"C:\\ro.txt", FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(GetFileAttributesW(u"C:\\RO.TXT"), static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));

  EXPECT_EQ(CreateFileW(u"C:\\ro.txt", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_FALSE(put(u"C:\\ro.txt", "overwritten"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_FALSE(DeleteFileW(u"C:\\ro.txt"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  ASSERT_TRUE(put(u"C:\\other.txt", "other"));
  EXPECT_FALSE(MoveFileExW(u"C:\\other.txt", u"C:\\ro.txt", MOVEFILE_REPLACE_EXISTING));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_FALSE(CopyFileW(u"C:\\other.txt", u"C:\\ro.txt", FALSE));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(linuxContent(c("ro.txt")), "keep");

  // Reading is fine, and so is renaming (Windows lets a read-only file be renamed).
  EXPECT_EQ(get(u"C:\\ro.txt"), "keep");
  EXPECT_TRUE(MoveFileW(u"C:\\ro.txt", u"C:\\ro2.txt"));
  ASSERT_TRUE(SetFileAttributesW(u"C:\\ro2.txt", FILE_ATTRIBUTE_NORMAL));
  EXPECT_EQ(GetFileAttributesW(u"C:\\ro2.txt"), static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL));
  EXPECT_TRUE(DeleteFileW(u"C:\\ro2.txt"));
}

TEST_F(FileTest, AttributesOfNewFilesFoldersAndHiddenOverwrite) {
  ASSERT_TRUE(put(u"C:\\plain.txt", "x"));
  EXPECT_EQ(GetFileAttributesW(u"C:\\plain.txt"), static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE));
  EXPECT_EQ(GetFileAttributesW(u"C:\\WINDOWS"), static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
  EXPECT_EQ(GetFileAttributesW(u"C:\\nothing"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(GetFileAttributesW(u"C:\\nowhere\\nothing"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));

  // Writing sets the archive bit again.
  ASSERT_TRUE(SetFileAttributesW(u"C:\\plain.txt", FILE_ATTRIBUTE_NORMAL));
  HANDLE h = CreateFileW(u"C:\\plain.txt", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  DWORD n;
  ASSERT_TRUE(WriteFile(h, "y", 1, &n, nullptr));
  CloseHandle(h);
  EXPECT_EQ(GetFileAttributesW(u"C:\\plain.txt"), static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE));

  // CREATE_ALWAYS over a hidden file must ask for hidden too.
  h = CreateFileW(u"C:\\secret.txt", GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_HIDDEN, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  CloseHandle(h);
  EXPECT_EQ(GetFileAttributesW(u"C:\\secret.txt"), static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
  EXPECT_EQ(CreateFileW(u"C:\\secret.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  h = CreateFileW(u"C:\\secret.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_HIDDEN, nullptr);
  EXPECT_NE(h, INVALID_HANDLE_VALUE);
  CloseHandle(h);

  WIN32_FILE_ATTRIBUTE_DATA data;
  std::memset(&data, 0xBD, sizeof data);
  ASSERT_TRUE(put(u"C:\\sized.bin", std::string(5000, 'z')));
  ASSERT_TRUE(GetFileAttributesExW(u"C:\\SIZED.BIN", GetFileExInfoStandard, &data));
  EXPECT_EQ(data.nFileSizeLow, 5000u);
  EXPECT_EQ(data.nFileSizeHigh, 0u);
  EXPECT_EQ(data.dwFileAttributes, static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE));
}

TEST_F(FileTest, ShareModesConflictWithinAProcess) {
  ASSERT_TRUE(put(u"C:\\shared.txt", "s"));
  struct Case {
    DWORD firstAccess, firstShare, secondAccess, secondShare;
    bool secondOpens;
  };
  const DWORD R = GENERIC_READ, Wr = GENERIC_WRITE, RW = GENERIC_READ | GENERIC_WRITE;
  const DWORD sR = FILE_SHARE_READ, sRW = FILE_SHARE_READ | FILE_SHARE_WRITE;
  const Case cases[] = {
      {R, sR, R, sR, true},     // readers sharing read
      {R, 0, R, sRW, false},    // the first denies reading
      {R, sR, Wr, sRW, false},  // the first denies writing
      {R, sRW, Wr, 0, false},   // the second would deny the first's reading
      {R, sRW, Wr, sR, true},   // denying writes nobody does is fine
      {Wr, sR, R, sR, false},   // the second denies writing the first does
      {Wr, sRW, R, sRW, true},
      {RW, sRW, RW, sRW, true},
      {FILE_READ_ATTRIBUTES, 0, RW, 0, true},  // attribute-only opens take no part
      {RW, 0, FILE_READ_ATTRIBUTES, 0, true},
  };
  int i = 0;
  for (const auto& k : cases) {
    HANDLE a = CreateFileW(u"C:\\shared.txt", k.firstAccess, k.firstShare, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(a, INVALID_HANDLE_VALUE) << i;
    SetLastError(kSentinel);
    HANDLE b = CreateFileW(u"C:\\SHARED.TXT", k.secondAccess, k.secondShare, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(b != INVALID_HANDLE_VALUE, k.secondOpens) << "case " << i;
    if (b == INVALID_HANDLE_VALUE)
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION)) << "case " << i;
    else
      CloseHandle(b);
    CloseHandle(a);
    ++i;
  }
  // Closing the handle ends its share state.
  HANDLE a = CreateFileW(u"C:\\shared.txt", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  CloseHandle(a);
  HANDLE b = CreateFileW(u"C:\\shared.txt", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_NE(b, INVALID_HANDLE_VALUE);
  CloseHandle(b);
}

TEST_F(FileTest, OpenFileCannotBeDeletedOrRenamedWithoutShareDelete) {
  ASSERT_TRUE(put(u"C:\\busy.txt", "b"));
  HANDLE h = CreateFileW(u"C:\\busy.txt", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  // XP answers ERROR_SHARING_VIOLATION for both.
  EXPECT_FALSE(DeleteFileW(u"C:\\busy.txt"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  EXPECT_FALSE(MoveFileW(u"C:\\busy.txt", u"C:\\moved.txt"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  EXPECT_TRUE(fs::exists(c("busy.txt")));
  CloseHandle(h);

  h = CreateFileW(u"C:\\busy.txt", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_TRUE(MoveFileW(u"C:\\busy.txt", u"C:\\moved.txt"));
  EXPECT_TRUE(DeleteFileW(u"C:\\moved.txt"));
  CloseHandle(h);
}

// A second process holds the file open without sharing; this one must see the conflict, and
// must be free again once that process has gone (killed, not closed).
TEST_F(FileTest, ShareModesHoldBetweenProcesses) {
  ASSERT_TRUE(put(u"C:\\Locked.dat", "L"));
  int ready[2], release[2];
  ASSERT_EQ(::pipe(ready), 0);
  ASSERT_EQ(::pipe(release), 0);
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    HANDLE h = CreateFileW(u"C:\\locked.dat", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    char ok = h != INVALID_HANDLE_VALUE ? 'y' : 'n';
    (void)!::write(ready[1], &ok, 1);
    char x;
    (void)!::read(release[0], &x, 1);
    ::_exit(0);
  }
  char ok = 0;
  ASSERT_EQ(::read(ready[0], &ok, 1), 1);
  ASSERT_EQ(ok, 'y');
  EXPECT_EQ(CreateFileW(u"C:\\LOCKED.DAT", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  EXPECT_FALSE(DeleteFileW(u"C:\\Locked.dat"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  EXPECT_FALSE(CopyFileW(u"C:\\Locked.dat", u"C:\\copy.dat", FALSE));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  ::kill(child, SIGKILL);
  int status;
  ::waitpid(child, &status, 0);
  HANDLE h = CreateFileW(u"C:\\Locked.dat", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_NE(h, INVALID_HANDLE_VALUE);
  CloseHandle(h);
  for (int fd : {ready[0], ready[1], release[0], release[1]}) ::close(fd);
}

TEST_F(FileTest, CopyKeepsWriteTimeAndAttributes) {
  ASSERT_TRUE(put(u"C:\\src.txt", "payload"));
  HANDLE h = CreateFileW(u"C:\\src.txt", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  FILETIME old = platform::u64ToFileTime(platform::unixToFileTimeTicks(1100000000, 123456700));  // 2004
  ASSERT_TRUE(SetFileTime(h, nullptr, nullptr, &old));
  CloseHandle(h);
  ASSERT_TRUE(SetFileAttributesW(u"C:\\src.txt", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));

  ASSERT_TRUE(CopyFileW(u"C:\\SRC.TXT", u"C:\\WINDOWS\\dst.txt", TRUE));
  EXPECT_EQ(get(u"C:\\WINDOWS\\dst.txt"), "payload");
  EXPECT_EQ(GetFileAttributesW(u"C:\\WINDOWS\\dst.txt"), static_cast<DWORD>(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
  WIN32_FILE_ATTRIBUTE_DATA data{};
  ASSERT_TRUE(GetFileAttributesExW(u"C:\\WINDOWS\\dst.txt", GetFileExInfoStandard, &data));
  EXPECT_EQ(platform::fileTimeToU64(data.ftLastWriteTime), platform::fileTimeToU64(old));

  // bFailIfExists: ERROR_FILE_EXISTS and the target untouched.
  ASSERT_TRUE(put(u"C:\\other.txt", "other"));
  EXPECT_FALSE(CopyFileW(u"C:\\other.txt", u"C:\\WINDOWS\\dst.txt", TRUE));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));
  EXPECT_FALSE(CopyFileW(u"C:\\missing.txt", u"C:\\x.txt", FALSE));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_FALSE(CopyFileW(u"C:\\WINDOWS", u"C:\\x.txt", FALSE));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(get(u"C:\\WINDOWS\\dst.txt"), "payload");
}

TEST_F(FileTest, CreationTimeCanBeSetAndReadBack) {
  ASSERT_TRUE(put(u"C:\\t.txt", "t"));
  HANDLE h = CreateFileW(u"C:\\t.txt", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  FILETIME created = platform::u64ToFileTime(126000000000000000ull);
  FILETIME written = platform::u64ToFileTime(127000000000000000ull);
  ASSERT_TRUE(SetFileTime(h, &created, nullptr, &written));
  FILETIME c1{kSentinel, kSentinel}, a1{kSentinel, kSentinel}, w1{kSentinel, kSentinel};
  ASSERT_TRUE(GetFileTime(h, &c1, &a1, &w1));
  EXPECT_EQ(platform::fileTimeToU64(c1), 126000000000000000ull);
  EXPECT_EQ(platform::fileTimeToU64(w1), 127000000000000000ull);
  EXPECT_NE(a1.dwHighDateTime, kSentinel);
  CloseHandle(h);
  // Without FILE_WRITE_ATTRIBUTES the times stay.
  h = CreateFileW(u"C:\\t.txt", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  FILETIME other = platform::u64ToFileTime(128000000000000000ull);
  EXPECT_FALSE(SetFileTime(h, nullptr, nullptr, &other));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  CloseHandle(h);
  WIN32_FILE_ATTRIBUTE_DATA data{};
  ASSERT_TRUE(GetFileAttributesExW(u"C:\\t.txt", GetFileExInfoStandard, &data));
  EXPECT_EQ(platform::fileTimeToU64(data.ftLastWriteTime), 127000000000000000ull);
  EXPECT_EQ(platform::fileTimeToU64(data.ftCreationTime), 126000000000000000ull);
}

TEST_F(FileTest, MoveFileRules) {
  ASSERT_TRUE(put(u"C:\\a.txt", "A"));
  ASSERT_TRUE(put(u"C:\\b.txt", "B"));
  // Onto an existing file: ERROR_ALREADY_EXISTS, both untouched.
  EXPECT_FALSE(MoveFileW(u"C:\\a.txt", u"C:\\b.txt"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  EXPECT_EQ(get(u"C:\\a.txt"), "A");
  EXPECT_EQ(get(u"C:\\b.txt"), "B");
  // With MOVEFILE_REPLACE_EXISTING it replaces.
  ASSERT_TRUE(MoveFileExW(u"C:\\a.txt", u"C:\\b.txt", MOVEFILE_REPLACE_EXISTING));
  EXPECT_EQ(get(u"C:\\b.txt"), "A");
  EXPECT_FALSE(fs::exists(c("a.txt")));
  // A change of case only renames.
  ASSERT_TRUE(MoveFileW(u"C:\\b.txt", u"C:\\B.TXT"));
  EXPECT_TRUE(fs::exists(c("B.TXT")));
  EXPECT_FALSE(fs::exists(c("b.txt")));
  // Folders move within a drive.
  ASSERT_TRUE(CreateDirectoryW(u"C:\\Folder", nullptr));
  ASSERT_TRUE(put(u"C:\\Folder\\in.txt", "in"));
  ASSERT_TRUE(MoveFileW(u"C:\\folder", u"C:\\Renamed"));
  EXPECT_EQ(get(u"C:\\Renamed\\in.txt"), "in");
  EXPECT_FALSE(MoveFileW(u"C:\\missing", u"C:\\x"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_FALSE(MoveFileW(u"C:\\Renamed", u"C:\\nowhere\\x"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

TEST_F(FileTest, MoveAcrossDrivesCopiesFilesAndRefusesFolders) {
  fs::path e = kipotest::freshTempDir("drive-e");
  platform::host::Drive d;
  d.name = u"E:";
  d.root = e;
  d.type = DRIVE_REMOVABLE;
  platform::host::addDrive(d);
  ASSERT_TRUE(put(u"C:\\doc.txt", "doc"));
  ASSERT_TRUE(SetFileAttributesW(u"C:\\doc.txt", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
  WIN32_FILE_ATTRIBUTE_DATA before{};
  ASSERT_TRUE(GetFileAttributesExW(u"C:\\doc.txt", GetFileExInfoStandard, &before));

  EXPECT_FALSE(MoveFileExW(u"C:\\doc.txt", u"E:\\doc.txt", 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_SAME_DEVICE));
  ASSERT_TRUE(MoveFileW(u"C:\\doc.txt", u"E:\\doc.txt"));
  EXPECT_FALSE(fs::exists(c("doc.txt")));
  EXPECT_EQ(linuxContent(e / "doc.txt"), "doc");
  WIN32_FILE_ATTRIBUTE_DATA after{};
  ASSERT_TRUE(GetFileAttributesExW(u"E:\\doc.txt", GetFileExInfoStandard, &after));
  EXPECT_EQ(after.dwFileAttributes, before.dwFileAttributes);
  EXPECT_EQ(platform::fileTimeToU64(after.ftLastWriteTime), platform::fileTimeToU64(before.ftLastWriteTime));

  ASSERT_TRUE(CreateDirectoryW(u"C:\\Dir", nullptr));
  EXPECT_FALSE(MoveFileW(u"C:\\Dir", u"E:\\Dir"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_SAME_DEVICE));
  EXPECT_TRUE(fs::is_directory(c("Dir")));
}

// A FAT drive keeps write times to 2 seconds, rounded up; the NTFS source keeps its own. Every
// way of reading a time (handle, path, find data) sees the same value.
TEST_F(FileTest, FatDrivesKeepWriteTimesToTwoSeconds) {
  platform::host::Drive d;
  d.name = u"E:";
  d.root = kipotest::freshTempDir("drive-fat");
  d.type = DRIVE_REMOVABLE;
  d.fileSystem = u"FAT32";
  platform::host::addDrive(d);
  constexpr std::uint64_t kSecond = 10000000;
  const std::uint64_t even = platform::unixToFileTimeTicks(1100000000, 0);  // an even second
  struct Case {
    std::uint64_t given, onFat;
  };
  const Case cases[] = {
      {even, even},                              // on the grid: unchanged
      {even + 1, even + 2 * kSecond},            // one tick past: the next 2-second mark
      {even + kSecond, even + 2 * kSecond},      // an odd second
      {even + kSecond + 1234567, even + 2 * kSecond},
      {even + 2 * kSecond - 1, even + 2 * kSecond},
  };
  auto writeTimes = [](const std::u16string& path) {
    std::vector<std::uint64_t> out;
    WIN32_FILE_ATTRIBUTE_DATA data{};
    out.push_back(GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) ? platform::fileTimeToU64(data.ftLastWriteTime) : 0);
    WIN32_FIND_DATAW found{};
    HANDLE f = FindFirstFileW(path.c_str(), &found);
    out.push_back(f != INVALID_HANDLE_VALUE ? platform::fileTimeToU64(found.ftLastWriteTime) : 0);
    if (f != INVALID_HANDLE_VALUE) FindClose(f);
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    FILETIME w{};
    out.push_back(h != INVALID_HANDLE_VALUE && GetFileTime(h, nullptr, nullptr, &w) ? platform::fileTimeToU64(w) : 0);
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    return out;
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.given - even);
    ASSERT_TRUE(put(u"C:\\src.txt", "payload"));
    HANDLE h = CreateFileW(u"C:\\src.txt", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    FILETIME given = platform::u64ToFileTime(c.given);
    ASSERT_TRUE(SetFileTime(h, nullptr, nullptr, &given));
    CloseHandle(h);
    ASSERT_TRUE(CopyFileW(u"C:\\src.txt", u"E:\\copy.txt", FALSE));
    EXPECT_EQ(writeTimes(u"C:\\src.txt"), std::vector<std::uint64_t>(3, c.given));
    EXPECT_EQ(writeTimes(u"E:\\copy.txt"), std::vector<std::uint64_t>(3, c.onFat));
    // Set directly on the FAT drive: the same grid.
    h = CreateFileW(u"E:\\copy.txt", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_TRUE(SetFileTime(h, nullptr, nullptr, &given));
    CloseHandle(h);
    EXPECT_EQ(writeTimes(u"E:\\copy.txt"), std::vector<std::uint64_t>(3, c.onFat));
  }
}

TEST_F(FileTest, FoldersCreateAndRemove) {
  EXPECT_TRUE(CreateDirectoryW(u"C:\\New", nullptr));
  EXPECT_FALSE(CreateDirectoryW(u"C:\\NEW", nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  EXPECT_FALSE(CreateDirectoryW(u"C:\\a\\b", nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  ASSERT_TRUE(put(u"C:\\New\\f.txt", "f"));
  EXPECT_FALSE(RemoveDirectoryW(u"C:\\new"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DIR_NOT_EMPTY));
  EXPECT_FALSE(RemoveDirectoryW(u"C:\\new\\f.txt"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DIRECTORY));
  EXPECT_FALSE(DeleteFileW(u"C:\\new"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  ASSERT_TRUE(DeleteFileW(u"C:\\new\\F.TXT"));
  EXPECT_FALSE(DeleteFileW(u"C:\\new\\f.txt"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  // The current directory is held open.
  ASSERT_TRUE(SetCurrentDirectoryW(u"C:\\New"));
  EXPECT_FALSE(RemoveDirectoryW(u"C:\\New"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  ASSERT_TRUE(SetCurrentDirectoryW(u"C:\\"));
  EXPECT_TRUE(RemoveDirectoryW(u"C:\\New"));
  EXPECT_FALSE(fs::exists(c("New")));

  // Folders open only with FILE_FLAG_BACKUP_SEMANTICS.
  EXPECT_EQ(CreateFileW(u"C:\\WINDOWS", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  HANDLE h = CreateFileW(u"C:\\WINDOWS", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  FILETIME w{};
  EXPECT_TRUE(GetFileTime(h, nullptr, nullptr, &w));
  CloseHandle(h);
}

TEST_F(FileTest, DiskFullOnASmallDrive) {
  fs::path e = kipotest::freshTempDir("small");
  std::ofstream(e / "already.bin") << std::string(5000, 'a');  // two clusters of 4096
  platform::host::Drive d;
  d.name = u"F:";
  d.root = e;
  d.type = DRIVE_REMOVABLE;
  d.clusterSize = 4096;
  d.capacity = 6 * 4096;
  platform::host::addDrive(d);
  ULARGE_INTEGER freeBytes{}, total{}, totalFree{};
  ASSERT_TRUE(GetDiskFreeSpaceExW(u"F:\\", &freeBytes, &total, &totalFree));
  EXPECT_EQ(total.QuadPart, 6u * 4096);
  EXPECT_EQ(freeBytes.QuadPart, 4u * 4096);

  HANDLE h = CreateFileW(u"F:\\big.bin", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  std::string block(4096, 'b');
  DWORD n = 0;
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(WriteFile(h, block.data(), 4096, &n, nullptr)) << i;
  // The fourth cluster fits; one byte more does not, and a write that does not fit writes nothing.
  std::string tooMuch(4097, 'c');
  n = kSentinel;
  EXPECT_FALSE(WriteFile(h, tooMuch.data(), 4097, &n, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DISK_FULL));
  EXPECT_EQ(n, 0u);
  LARGE_INTEGER size{};
  ASSERT_TRUE(GetFileSizeEx(h, &size));
  EXPECT_EQ(size.QuadPart, 3 * 4096);
  ASSERT_TRUE(WriteFile(h, block.data(), 4096, &n, nullptr));
  ASSERT_TRUE(GetDiskFreeSpaceExW(u"F:\\", &freeBytes, nullptr, nullptr));
  EXPECT_EQ(freeBytes.QuadPart, 0u);
  // Extending with SetEndOfFile is held to the same limit.
  LARGE_INTEGER far{};
  far.QuadPart = 10 * 4096;
  ASSERT_TRUE(SetFilePointerEx(h, far, nullptr, FILE_BEGIN));
  EXPECT_FALSE(SetEndOfFile(h));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DISK_FULL));
  CloseHandle(h);
  EXPECT_EQ(linuxContent(e / "big.bin"), std::string(4 * 4096, 'b'));
  EXPECT_FALSE(CopyFileW(u"F:\\already.bin", u"F:\\copy.bin", FALSE));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DISK_FULL));
  EXPECT_FALSE(fs::exists(e / "copy.bin"));

  // Deleting gives the space back; another process sees the same count.
  ASSERT_TRUE(DeleteFileW(u"F:\\BIG.BIN"));
  ASSERT_TRUE(GetDiskFreeSpaceExW(u"F:\\", &freeBytes, nullptr, nullptr));
  EXPECT_EQ(freeBytes.QuadPart, 4u * 4096);
  std::string out;
  ASSERT_EQ(kipotest::runTool({"drive", "list"}, &out), 0);
  EXPECT_NE(out.find("capacity=24576\tused=8192"), std::string::npos) << out;
  EXPECT_TRUE(CopyFileW(u"F:\\already.bin", u"F:\\copy.bin", FALSE));
}

TEST_F(FileTest, HandlesOnARemovedDriveAreNotReady) {
  fs::path e = kipotest::freshTempDir("gone");
  platform::host::Drive d;
  d.name = u"G:";
  d.root = e;
  d.type = DRIVE_REMOVABLE;
  platform::host::addDrive(d);
  HANDLE h = CreateFileW(u"G:\\open.txt", GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  // Removed by another process, as unplugging will.
  ASSERT_EQ(kipotest::runTool({"drive", "remove", "G:"}), 0);
  DWORD n = kSentinel;
  EXPECT_FALSE(WriteFile(h, "x", 1, &n, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_READY));
  char buf[4];
  EXPECT_FALSE(ReadFile(h, buf, 1, &n, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_READY));
  EXPECT_TRUE(CloseHandle(h));
  EXPECT_EQ(CreateFileW(u"G:\\open.txt", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  // A drive whose folder has vanished is not ready.
  fs::path h2 = kipotest::freshTempDir("vanish");
  d.name = u"H:";
  d.root = h2;
  platform::host::addDrive(d);
  fs::remove(h2);
  EXPECT_EQ(GetFileAttributesW(u"H:\\x"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_READY));
}

TEST_F(FileTest, TempPathAndTempFileNames) {
  char16_t path[MAX_PATH];
  DWORD n = GetTempPathW(MAX_PATH, path);
  ASSERT_GT(n, 3u);
  EXPECT_EQ(path[n - 1], u'\\');
  EXPECT_EQ(GetTempPathW(1, path), n + 1);
  char16_t name[MAX_PATH];
  UINT u = GetTempFileNameW(u"C:\\WINDOWS\\Temp", u"kpx", 0, name);
  ASSERT_NE(u, 0u);
  std::u16string s(name);
  EXPECT_EQ(s.rfind(u"C:\\WINDOWS\\Temp\\kpx", 0), 0u);
  EXPECT_EQ(s.substr(s.size() - 4), u".tmp");
  EXPECT_NE(GetFileAttributesW(name), INVALID_FILE_ATTRIBUTES);  // created
  // With a number given, only the name is made.
  EXPECT_EQ(GetTempFileNameW(u"C:\\WINDOWS\\Temp\\", u"abcdef", 0x1A2B, name), 0x1A2Bu);
  EXPECT_EQ(std::u16string(name), u"C:\\WINDOWS\\Temp\\abc1A2B.tmp");
  EXPECT_EQ(GetFileAttributesW(name), INVALID_FILE_ATTRIBUTES);
}

TEST_F(FileTest, DeleteOnCloseAndAnsiForms) {
  HANDLE h = CreateFileA("C:\\scratch.tmp", GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(fs::exists(c("scratch.tmp")));
  CloseHandle(h);
  EXPECT_FALSE(fs::exists(c("scratch.tmp")));
  ASSERT_TRUE(put(u"C:\\ansi.txt", "a"));
  EXPECT_EQ(GetFileAttributesA("C:\\ANSI.TXT"), static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE));
  EXPECT_TRUE(DeleteFileA("c:\\ansi.txt"));
}

}  // namespace

namespace {

TEST_F(FileTest, DelayedRenamesAreRecordedForTheNextStart) {
  ASSERT_TRUE(put(u"C:\\old.dll", "o"));
  ASSERT_TRUE(MoveFileExW(u"C:\\old.dll", nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
  ASSERT_TRUE(MoveFileExW(u"C:\\new.dll", u"C:\\WINDOWS\\new.dll", MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_REPLACE_EXISTING));
  EXPECT_TRUE(fs::exists(c("old.dll")));  // nothing happens now
  HKEY key;
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SYSTEM\\CurrentControlSet\\Control\\Session Manager", 0, KEY_READ, &key),
            ERROR_SUCCESS);
  char16_t data[256];
  DWORD type = 0, size = sizeof data;
  ASSERT_EQ(RegQueryValueExW(key, u"PendingFileRenameOperations", nullptr, &type, reinterpret_cast<BYTE*>(data), &size),
            ERROR_SUCCESS);
  RegCloseKey(key);
  EXPECT_EQ(type, static_cast<DWORD>(REG_MULTI_SZ));
  // A deletion has an empty target; "!" marks a target that may be replaced.
  const char16_t list[] = u"\\??\\C:\\old.dll\0\0\\??\\C:\\new.dll\0!\\??\\C:\\WINDOWS\\new.dll\0";
  const std::u16string expected(list, sizeof list / 2);  // with the literal's NUL: the closing one
  EXPECT_EQ(std::u16string(data, size / 2), expected);
  EXPECT_FALSE(MoveFileExW(u"C:\\a", u"C:\\b", MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_COPY_ALLOWED));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

}  // namespace

namespace {

TEST_F(FileTest, InjectedFaultsFailCallsForTheirPathsOnly) {
  platform::fault::Fault f;
  f.call = "CreateFileW";
  f.subject = u"C:\\WINDOWS";
  f.error = ERROR_DISK_FULL;
  platform::fault::inject(f);
  EXPECT_EQ(CreateFileW(u"C:\\WINDOWS\\x.txt", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DISK_FULL));
  EXPECT_FALSE(fs::exists(c("WINDOWS/x.txt")));
  EXPECT_TRUE(put(u"C:\\elsewhere.txt", "e"));
  platform::fault::clearLocal();
  EXPECT_TRUE(put(u"C:\\WINDOWS\\x.txt", "x"));
}

}  // namespace

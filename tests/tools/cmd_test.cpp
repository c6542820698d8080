// The host's cmd.exe, run as a real process of a test host: the forms an uninstaller and a
// watcher write (del, rmdir, move, a program or folder after /c), cmd's quote rule after /c, batch
// files (also started by CreateProcessW), exit codes and what cmd prints.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/base/text.h"
#include "platform/host/process_table.h"
#include "platform/win32/error.h"
#include "platform/win32/file.h"
#include "platform/win32/process.h"
#include "platform/win32/sync.h"
#include "tests/support/test_host.h"

namespace {

namespace fs = std::filesystem;
using platform::text::fromUtf8;
using platform::text::toUtf8;

// cmd's code for a command it cannot find.
constexpr DWORD kNotRecognized = 9009;

struct Outcome {
  DWORD code = 0xDEADBEEF;
  std::string out, err;
};

// Captures one of this process's descriptors into a file while a child shares it.
class Capture {
 public:
  Capture(int fd, const fs::path& file) : fd_(fd), saved_(::dup(fd)) {
    int f = ::open(file.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
    ::dup2(f, fd);
    ::close(f);
  }
  ~Capture() {
    ::dup2(saved_, fd_);
    ::close(saved_);
  }

 private:
  int fd_, saved_;
};

std::string slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class CmdTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string err;
    ASSERT_EQ(kipotest::runTool({"install"}, nullptr, &err), 0) << err;
    fs::create_directories(host_.c("t"));
  }

  // Starts `line` with CreateProcessW, its standard input empty, and waits for it.
  Outcome run(const std::string& line) {
    Outcome r;
    fs::path outFile = kipotest::freshTempDir("cmd-out") / "out", errFile = outFile.parent_path() / "err";
    std::u16string wide = fromUtf8(line);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    {
      std::fflush(stdout);
      std::fflush(stderr);
      Capture in(0, "/dev/null"), out(1, outFile), err(2, errFile);
      if (!CreateProcessW(nullptr, wide.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        r.code = 0x80000000u | GetLastError();
        return r;
      }
      WaitForSingleObject(pi.hProcess, INFINITE);
    }
    GetExitCodeProcess(pi.hProcess, &r.code);
    CloseHandle(pi.hProcess);
    if (pi.hThread) CloseHandle(pi.hThread);
    r.out = slurp(outFile);
    r.err = slurp(errFile);
    return r;
  }

  fs::path c(const std::string& rel) { return host_.c(rel); }
  void write(const std::string& rel, const std::string& content = "x") { host_.write(rel, content); }
  void setAttributes(const std::string& windowsPath, DWORD attributes) {
    ASSERT_TRUE(SetFileAttributesW(fromUtf8(windowsPath).c_str(), attributes)) << windowsPath;
  }

  kipotest::TestHost host_;
};

TEST_F(CmdTest, DelDeletesMatchingFilesAndSparesReadOnlyHiddenAndOthers) {
  write("t/a.tmp");
  write("t/b.tmp");
  write("t/keep.txt");
  write("t/hidden.tmp");
  write("t/ro.tmp");
  setAttributes("C:\\t\\hidden.tmp", FILE_ATTRIBUTE_HIDDEN);
  setAttributes("C:\\t\\ro.tmp", FILE_ATTRIBUTE_READONLY);

  Outcome r = run("cmd /c del /q \"C:\\t\\*.tmp\"");
  EXPECT_EQ(r.code, 0u) << "del leaves the exit code alone whatever it could not delete";
  EXPECT_FALSE(fs::exists(c("t/a.tmp")));
  EXPECT_FALSE(fs::exists(c("t/b.tmp")));
  EXPECT_TRUE(fs::exists(c("t/keep.txt")));
  EXPECT_TRUE(fs::exists(c("t/hidden.tmp"))) << "del without /a skips hidden files";
  EXPECT_TRUE(fs::exists(c("t/ro.tmp"))) << "del without /f skips read-only files";
  EXPECT_NE(r.err.find("C:\\t\\ro.tmp\nAccess is denied."), std::string::npos) << r.err;

  r = run("cmd /c del /q /f \"C:\\t\\ro.tmp\"");
  EXPECT_EQ(r.code, 0u);
  EXPECT_FALSE(fs::exists(c("t/ro.tmp"))) << "/f deletes read-only files";

  r = run("cmd /c del /q \"C:\\t\\missing.txt\"");
  EXPECT_EQ(r.code, 0u);
  EXPECT_NE(r.err.find("Could Not Find C:\\t\\missing.txt"), std::string::npos) << r.err;
}

TEST_F(CmdTest, DelOfAFileOpenWithoutShareDeleteFailsAndKeepsIt) {
  write("t/open.txt");
  HANDLE h = CreateFileW(u"C:\\t\\open.txt", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  Outcome r = run("cmd /c del /q \"C:\\t\\open.txt\"");
  CloseHandle(h);
  EXPECT_TRUE(fs::exists(c("t/open.txt")));
  EXPECT_NE(r.err.find("C:\\t\\open.txt\n"), std::string::npos) << r.err;
}

TEST_F(CmdTest, DelOfAFolderEmptiesItAndFaultsOfTheFileCallsReachCmd) {
  write("t/dir/one.txt");
  write("t/dir/two.txt");
  write("t/dir/sub/three.txt");
  // A host-wide fault: the second file's deletion fails as a locked file's would.
  std::string err;
  ASSERT_EQ(kipotest::runTool({"fault", "add", "DeleteFileW", "--error", "32", "--subject", "C:\\t\\dir\\two"},
                              nullptr, &err),
            0)
      << err;
  Outcome r = run("cmd /c del /q \"C:\\t\\dir\"");
  EXPECT_EQ(r.code, 0u);
  EXPECT_FALSE(fs::exists(c("t/dir/one.txt")));
  EXPECT_TRUE(fs::exists(c("t/dir/two.txt")));
  EXPECT_TRUE(fs::exists(c("t/dir/sub/three.txt"))) << "without /s subfolders are left alone";
  EXPECT_NE(r.err.find("C:\\t\\dir\\two.txt\nThe process cannot access the file because it is being used by another "
                       "process."),
            std::string::npos)
      << r.err;
}

TEST_F(CmdTest, RmdirForms) {
  // rmdir /q removes only an empty folder; the code is the Win32 error of the failure.
  write("t/full/f.txt");
  fs::create_directories(c("t/Empty Folder"));
  write("t/tree/ro.txt");
  write("t/tree/deep/er/x.txt");
  setAttributes("C:\\t\\tree\\ro.txt", FILE_ATTRIBUTE_READONLY);
  write("t/file.txt");

  struct Case {
    const char* line;
    DWORD code;
    const char* message;  // on standard error
    const char* gone;     // folder that must be gone, or null
    const char* kept;     // folder that must remain, or null
  } cases[] = {
      {"cmd /c rmdir /q \"C:\\t\\full\"", ERROR_DIR_NOT_EMPTY, "The directory is not empty.", nullptr, "t/full"},
      {"cmd /c rmdir /q \"C:\\t\\Empty Folder\\\"", 0, "", "t/Empty Folder", nullptr},
      {"cmd /c rmdir \"C:\\t\\tree\" /s /q", 0, "", "t/tree", nullptr},
      {"cmd /c rmdir /q \"C:\\t\\nothing\"", ERROR_FILE_NOT_FOUND, "The system cannot find the file specified.",
       nullptr, nullptr},
      {"cmd /c rd /q C:\\t\\file.txt", ERROR_DIRECTORY, "The directory name is invalid.", nullptr, "t/file.txt"},
      {"cmd /c rmdir /s/q C:\\t\\full", 0, "", "t/full", nullptr},
      {"cmd /c rmdir /q /x \"C:\\t\\Empty Folder\"", 1, "Invalid switch - \"X\".", nullptr, nullptr},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.line);
    Outcome r = run(k.line);
    EXPECT_EQ(r.code, k.code) << r.err;
    if (*k.message) { EXPECT_NE(r.err.find(k.message), std::string::npos) << r.err; }
    if (!*k.message) { EXPECT_EQ(r.err, ""); }
    if (k.gone) { EXPECT_FALSE(fs::exists(c(k.gone))); }
    if (k.kept) { EXPECT_TRUE(fs::exists(c(k.kept))); }
  }
}

TEST_F(CmdTest, MoveFileAndFolder) {
  write("t/src/Kipo Synchronized Computers/a.txt", "a");
  fs::create_directories(c("t/docs"));
  // Into an existing folder named with a trailing backslash: the folder keeps its name.
  Outcome r = run("cmd /C move \"C:\\t\\src\\Kipo Synchronized Computers\" \"C:\\t\\docs\\\"");
  EXPECT_EQ(r.code, 0u) << r.err;
  EXPECT_EQ(slurp(c("t/docs/Kipo Synchronized Computers/a.txt")), "a");
  EXPECT_FALSE(fs::exists(c("t/src/Kipo Synchronized Computers")));

  write("t/one.txt", "new");
  write("t/two.txt", "old");
  // Onto an existing file a command line asks first; with no answer nothing moves.
  r = run("cmd /c move C:\\t\\one.txt C:\\t\\two.txt");
  EXPECT_NE(r.out.find("Overwrite C:\\t\\two.txt? (Yes/No/All):"), std::string::npos) << r.out;
  EXPECT_EQ(slurp(c("t/two.txt")), "old");
  r = run("cmd /c move /y C:\\t\\one.txt C:\\t\\two.txt");
  EXPECT_EQ(r.code, 0u) << r.err;
  EXPECT_EQ(slurp(c("t/two.txt")), "new");
  EXPECT_FALSE(fs::exists(c("t/one.txt")));

  r = run("cmd /c move C:\\t\\none.txt C:\\t\\x.txt");
  EXPECT_EQ(r.code, 1u);
  EXPECT_NE(r.err.find("The system cannot find the file specified."), std::string::npos) << r.err;
}

TEST_F(CmdTest, QuoteRuleAfterSlashC) {
  // A batch file in a folder with a blank records its first argument.
  write("t/my tools/rec.bat", "@echo off\r\necho [%~1]>>C:\\t\\log.txt\r\nexit /b 4\r\n");
  struct Case {
    const char* line;
    DWORD code;
    const char* logged;  // what rec.bat appended, or "" when it did not run
  } cases[] = {
      // Exactly two quotes around an executable with a blank: the quotes stay.
      {"cmd /c \"C:\\t\\my tools\\rec.bat\"", 4, "[]"},
      // More quotes: the first and the last quote of the line are removed.
      {"cmd /c \"\"C:\\t\\my tools\\rec.bat\" \"a b\"\"", 4, "[a b]"},
      {"cmd /c \"C:\\t\\my tools\\rec.bat\" \"a b\"", kNotRecognized, ""},
      // /S always removes them.
      {"cmd /s /c \"C:\\t\\my tools\\rec.bat\"", kNotRecognized, ""},
      // Unquoted, the path ends at its first blank.
      {"cmd /c C:\\t\\my tools\\rec.bat", kNotRecognized, ""},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.line);
    fs::remove(c("t/log.txt"));
    Outcome r = run(k.line);
    EXPECT_EQ(r.code, k.code) << r.err;
    EXPECT_EQ(slurp(c("t/log.txt")), *k.logged ? std::string(k.logged) + "\r\n" : "");
    if (!*k.logged) { EXPECT_NE(r.err.find("' is not recognized as an internal or external command"), std::string::npos); }
  }
}

TEST_F(CmdTest, BatchFileStartedByCreateProcessRunsItsLines) {
  write("t/job.bat",
        "@echo off\r\n"
        "rem a remark\r\n"
        "echo start %1>>C:\\t\\log.txt\r\n"
        "if exist \"C:\\t\\flag.txt\" echo flag>>C:\\t\\log.txt\r\n"
        "if not exist C:\\t\\none.txt goto skip\r\n"
        "echo not skipped>>C:\\t\\log.txt\r\n"
        ":skip\r\n"
        "del /q C:\\t\\flag.txt\r\n"
        "exit /b 3\r\n"
        "echo after exit>>C:\\t\\log.txt\r\n");
  write("t/flag.txt");
  // A batch file named as the program goes through "cmd.exe /c".
  Outcome r = run("\"C:\\t\\job.bat\" first");
  EXPECT_EQ(r.code, 3u) << r.err;
  EXPECT_EQ(slurp(c("t/log.txt")), "start first\r\nflag\r\n");
  EXPECT_FALSE(fs::exists(c("t/flag.txt")));
}

TEST_F(CmdTest, ProgramsFoldersAndUnknownCommands) {
  // A program after /c runs, is waited for, and its code is cmd's.
  Outcome r = run("cmd /c C:\\WINDOWS\\system32\\cmd.exe /c exit 70000");
  EXPECT_EQ(r.code, 70000u);
  // && and || follow the code of the command before them.
  r = run("cmd /c rmdir C:\\t\\none 2>nul || echo failed>C:\\t\\log.txt");
  EXPECT_EQ(slurp(c("t/log.txt")), "failed\r\n");
  EXPECT_EQ(r.err, "");

  // A folder is opened by the shell, not run.
  fs::create_directories(c("t/Kipo"));
  std::size_t before = platform::host::shellOpens().size();
  r = run("cmd /c \"C:\\t\\Kipo\\\"");
  EXPECT_EQ(r.code, 0u) << r.err;
  auto opens = platform::host::shellOpens();
  ASSERT_EQ(opens.size(), before + 1);
  EXPECT_EQ(opens.back().kind, "folder");
  EXPECT_EQ(toUtf8(opens.back().target).rfind("C:\\t\\Kipo", 0), 0u) << toUtf8(opens.back().target);

  // A pipe is refused whole: neither side runs. "||", a quoted or an escaped "|" are no pipe.
  for (const char* line : {"cmd /c echo left>C:\\t\\pipe.txt | more", "cmd /c mkdir C:\\t\\piped|find \"x\""}) {
    r = run(line);
    EXPECT_EQ(r.code, 1u) << line;
    EXPECT_NE(r.err.find("cannot connect commands with a pipe (|)"), std::string::npos) << r.err;
  }
  EXPECT_FALSE(fs::exists(c("t/pipe.txt")));
  EXPECT_FALSE(fs::exists(c("t/piped")));
  r = run("cmd /c echo \"a|b\" a^|b>C:\\t\\bar.txt");
  EXPECT_EQ(r.code, 0u) << r.err;
  EXPECT_EQ(slurp(c("t/bar.txt")), "\"a|b\" a|b\r\n");

  r = run("cmd /c nosuchthing arg");
  EXPECT_EQ(r.code, kNotRecognized);
  EXPECT_NE(r.err.find("'nosuchthing' is not recognized as an internal or external command,\noperable program or "
                       "batch file."),
            std::string::npos)
      << r.err;
}

}  // namespace

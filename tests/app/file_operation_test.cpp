// The file-operation engine: its error codes from the system's errors (through injected faults),
// the texts of the codes, the snapshot entry marked on failure, the wrappers' early answers,
// moves and renames to other names, copies onto the same file, folder copies, a full drive, the
// folder walkers, and the shell interface's folder operations with their log lines.
#include "app/file_operation.h"

#include <gtest/gtest.h>

#include <fstream>

#include "app/file_util.h"
#include "app/lingrove.h"
#include "app/secure_drive_services.h"
#include "lang/ids.h"
#include "platform/base/fault.h"
#include "platform/host/device_tree.h"
#include "platform/host/drives.h"
#include "platform/win32/win32.h"
#include "tests/app/app_fixture.h"
#include "tests/support/usb_drive.h"

namespace {

using apptest::AppTest;
namespace fs = std::filesystem;

// The message-box answers Yes and No.
constexpr int kYes = 6;
constexpr int kNo = 7;

std::string u8(const CString& s) { return platform::text::toUtf8(s.view()); }

struct Entry : CSnapshotEntryState {
  DWORD bits = 0;
  void addStateBits(DWORD b) override { bits |= b; }
};

// Makes one named call fail while alive.
class ScopedFault {
 public:
  ScopedFault(const char* call, DWORD error, const std::u16string& subject = {}) {
    platform::fault::Fault f;
    f.call = call;
    f.error = error;
    f.subject = subject;
    id_ = platform::fault::inject(f);
  }
  ~ScopedFault() { platform::fault::removeLocal(id_); }

 private:
  std::uint64_t id_;
};

class FileOperationTest : public AppTest {
 protected:
  FileOperationTest() {
    installLanguages({"USA"});
    language = std::make_unique<Lingrove>(CString(u"USA"), TRUE);
    createLog();
  }
  // The log lines written since `mark` (a size of the log), split at "<br>".
  std::vector<std::string> linesSince(std::size_t mark) {
    std::vector<std::string> lines;
    std::string s = logBytes().substr(mark);
    for (std::size_t pos; (pos = s.find("<br>")) != std::string::npos; s.erase(0, pos + 4)) lines.push_back(s.substr(0, pos));
    return lines;
  }
  std::unique_ptr<Lingrove> language;
};

TEST_F(FileOperationTest, SystemErrorsBecomeCodes) {
  struct Case {
    DWORD system;
    DWORD code;
    const char* text;
  };
  const Case cases[] = {
      {ERROR_FILE_EXISTS, 9, "An error of unknown cause occurred."},
      {ERROR_ALREADY_EXISTS, 9, "An error of unknown cause occurred."},
      {ERROR_DISK_FULL, 2, "There is not enough space on the disk."},
      {ERROR_NETWORK_ACCESS_DENIED, 7, "Network access is denied."},
      {ERROR_PATH_NOT_FOUND, 5, "The path could not be found."},
      {ERROR_ACCESS_DENIED, 8, "Access is denied."},
      {ERROR_SHARING_VIOLATION, 3, "The file is in use by another program."},
      {ERROR_BAD_NETPATH, 4, "The network path could not be found."},
      {ERROR_FILE_NOT_FOUND, 12, "The operation failed."},
      {ERROR_NOT_READY, 12, "The operation failed."},
  };
  host.write("s/a.txt", "A");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.system);
    Entry entry;
    {
      ScopedFault fault("CopyFileW", c.system);
      EXPECT_EQ(doFileOperation(u"C:\\s\\a.txt", u"C:\\t\\a.txt", kFileOpCopy, &entry), c.code);
    }
    EXPECT_EQ(entry.bits, kSnapshotFailedBit);
    EXPECT_EQ(u8(fileOperationErrorText(c.code)), c.text);
  }
  // Each of the four system calls is mapped the same way.
  {
    ScopedFault fault("MoveFileExW", ERROR_SHARING_VIOLATION);
    EXPECT_EQ(doFileOperation(u"C:\\s\\a.txt", u"C:\\s\\b.txt", kFileOpMove), 3u);
    EXPECT_EQ(doFileOperation(u"C:\\s\\a.txt", u"C:\\s\\b.txt", kFileOpRename), 3u);
  }
  {
    ScopedFault fault("DeleteFileW", ERROR_ACCESS_DENIED);
    EXPECT_EQ(doFileOperation(u"C:\\s\\a.txt", CString(), kFileOpDelete), 8u);
  }
  EXPECT_EQ(host.read("s/a.txt"), "A");
  Entry entry;
  EXPECT_EQ(doFileOperation(u"C:\\s\\a.txt", u"C:\\t\\a.txt", kFileOpCopy, &entry), 0u);
  EXPECT_EQ(entry.bits, 0u);  // success leaves the entry alone
}

TEST_F(FileOperationTest, CodesWithoutASystemError) {
  // The texts of the codes no step produces, and of unknown codes.
  EXPECT_EQ(u8(fileOperationErrorText(1)), "An error of unknown cause occurred.");
  EXPECT_EQ(u8(fileOperationErrorText(6)), "The device does not exist.");
  EXPECT_EQ(u8(fileOperationErrorText(11)), "The folder cannot be copied.");
  EXPECT_EQ(u8(fileOperationErrorText(77)), "An error of unknown cause occurred.");

  fileOperationRequest request;
  EXPECT_EQ(request.errorCode, 1u);  // built, not run
  request.source = u"C:\\nothing.txt";
  request.target = u"C:\\t\\nothing.txt";
  request.operation = kFileOpCopy;
  EXPECT_EQ(executeFileOperation(request), 10u);
  EXPECT_EQ(request.errorCode, 10u);
  EXPECT_EQ(u8(fileOperationErrorText(10)), "The source file does not exist.");
  EXPECT_EQ(u8(fileOperationRequestText(request)),
            "Could not copy or move the file nothing.txt from C:\\ to C:\\t\\nothing.txt.\nThe source file does not exist.");

  request.operation = 9;
  EXPECT_EQ(executeFileOperation(request), 12u);

  host.write("s/a.txt");
  request = fileOperationRequest();
  request.source = u"C:\\s\\a.txt";
  request.operation = kFileOpDelete;
  EXPECT_EQ(executeFileOperation(request), 0u);
  EXPECT_EQ(u8(fileOperationRequestText(request)), "The operation completed successfully.");
  request.errorCode = 8;
  EXPECT_EQ(u8(fileOperationRequestText(request)), "Could not delete C:\\s\\a.txt.\nAccess is denied.");
  request.operation = kFileOpRename;
  EXPECT_EQ(u8(fileOperationRequestText(request)), "Access is denied.");
}

TEST_F(FileOperationTest, DeleteAndCopyRules) {
  // Nothing at the path: true without the engine (a fault on every delete would show).
  {
    ScopedFault fault("DeleteFileW", ERROR_ACCESS_DENIED);
    ScopedFault fault2("RemoveDirectoryW", ERROR_ACCESS_DENIED);
    EXPECT_TRUE(deleteFileOp(u"C:\\nothing.txt"));
  }
  // A system file is deleted too (its system attribute cleared first).
  host.write("sys.txt");
  ASSERT_TRUE(SetFileAttributesW(u"C:\\sys.txt", FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY));
  EXPECT_TRUE(deleteFileOp(u"C:\\sys.txt"));
  EXPECT_TRUE(host.gone("sys.txt"));

  // A folder that still holds a file: remove-directory refuses, deleteFolder removes the tree.
  host.write("tree/sub/f.txt");
  EXPECT_EQ(doFileOperation(u"C:\\tree", CString(), kFileOpDelete), 12u);
  EXPECT_TRUE(deleteFolder(u"C:\\tree"));
  EXPECT_TRUE(host.gone("tree"));
  EXPECT_TRUE(deleteFolder(u"C:\\tree"));

  // The same text for source and target: true, nothing copied (a fault would show).
  host.write("s/a.txt", "A");
  {
    ScopedFault fault("CopyFileW", ERROR_ACCESS_DENIED);
    EXPECT_TRUE(copyFileOp(u"C:\\s\\a.txt", u"C:\\s\\a.txt"));
  }
  EXPECT_FALSE(copyFileOp(u"C:\\s\\none.txt", u"C:\\t\\x.txt"));
  EXPECT_FALSE(copyFileOp(CString(), u"C:\\t\\x.txt"));

  // Onto a read-only file: its attributes are reset first.
  host.write("t/a.txt", "old");
  ASSERT_TRUE(SetFileAttributesW(u"C:\\t\\a.txt", FILE_ATTRIBUTE_READONLY));
  EXPECT_TRUE(copyFileOp(u"C:\\s\\a.txt", u"C:\\t\\a.txt"));
  EXPECT_EQ(host.read("t/a.txt"), "A");

  // The target's folders are created.
  EXPECT_TRUE(copyFileOp(u"C:\\s\\a.txt", u"C:\\new\\deep\\a.txt"));
  EXPECT_EQ(host.read("new/deep/a.txt"), "A");
}

// A file copy looks at each path once and decides by what it found there: the outcome for each
// kind of target, with the code the caller sees.
TEST_F(FileOperationTest, FileCopyByWhatTheTargetNames) {
  host.write("s/a.txt", "A");
  host.write("t/old.txt", "old");
  host.write("t/folder/inner.txt", "inner");
  struct Case {
    const char16_t* target;
    DWORD code;
    const char* landed;  // the host path that must then hold "A", or null
  };
  const Case cases[] = {
      {u"C:\\n\\deep\\a.txt", 0, "n/deep/a.txt"},  // missing folders are created
      {u"C:\\t\\new.txt", 0, "t/new.txt"},           // an existing folder
      {u"C:\\t\\old.txt", 0, "t/old.txt"},           // an existing file is replaced
      {u"C:\\t\\folder", 8, nullptr},                 // a folder is never replaced by a file
      {u"C:\\t\\old.txt\\x.txt", 5, nullptr},        // a file stands where a folder is needed
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(u8(CString(c.target)));
    Entry entry;
    EXPECT_EQ(doFileOperation(u"C:\\s\\a.txt", c.target, kFileOpCopy, &entry), c.code);
    EXPECT_EQ(entry.bits, c.code ? kSnapshotFailedBit : 0u);
    if (c.landed) {
      EXPECT_EQ(host.read(c.landed), "A");
    }
  }
  EXPECT_EQ(host.read("t/folder/inner.txt"), "inner");
  EXPECT_TRUE(host.isFile("t/old.txt"));
}

TEST_F(FileOperationTest, TargetThatExistsIsCodeNine) {
  host.write("s/a.txt", "A");
  host.write("s/b.txt", "B");
  EXPECT_EQ(doFileOperation(u"C:\\s\\a.txt", u"C:\\s\\b.txt", kFileOpRename), 9u);
  EXPECT_EQ(doFileOperation(u"C:\\s\\a.txt", u"C:\\s\\b.txt", kFileOpMove), 9u);
  EXPECT_EQ(host.read("s/b.txt"), "B");
  // renameFileOp deletes an existing target first.
  EXPECT_TRUE(renameFileOp(u"C:\\s\\a.txt", u"C:\\s\\b.txt"));
  EXPECT_EQ(host.read("s/b.txt"), "A");
  EXPECT_TRUE(host.gone("s/a.txt"));
}

TEST_F(FileOperationTest, MoveToAnotherNameTakesThatName) {
  host.write("s/a.txt", "A");
  EXPECT_EQ(doFileOperation(u"C:\\s\\a.txt", u"C:\\t\\sub\\renamed.txt", kFileOpMove), 0u);
  EXPECT_TRUE(host.isFile("t/sub/renamed.txt"));  // a file, not a folder holding one
  EXPECT_EQ(host.read("t/sub/renamed.txt"), "A");
  EXPECT_TRUE(host.gone("s/a.txt"));
  EXPECT_TRUE(host.gone("t/sub/renamed.txt/a.txt"));

  host.write("s/b.txt", "B");
  EXPECT_TRUE(moveFileOp(u"C:\\s\\b.txt", u"C:\\u\\other.txt"));
  EXPECT_EQ(host.read("u/other.txt"), "B");
  EXPECT_TRUE(renameFileOp(u"C:\\u\\other.txt", u"C:\\v\\third.txt"));
  EXPECT_EQ(host.read("v/third.txt"), "B");
}

TEST_F(FileOperationTest, SameFileUnderAnotherSpelling) {
  host.write("s/a.txt", "A");
  // A copy onto itself is done without opening the file for writing: a handle that denies
  // writing would make any such open fail.
  HANDLE h = CreateFileW(u"C:\\s\\a.txt", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(doFileOperation(u"C:\\s\\a.txt", u"c:\\S\\A.TXT", kFileOpCopy), 0u);
  EXPECT_TRUE(copyFileOp(u"C:\\s\\a.txt", u"C:\\S\\a.txt"));
  CloseHandle(h);
  EXPECT_EQ(host.read("s/a.txt"), "A");

  // A rename onto itself changes only the case; the source is never deleted.
  EXPECT_TRUE(renameFileOp(u"C:\\s\\a.txt", u"C:\\s\\A.TXT"));
  EXPECT_TRUE(fs::is_regular_file(host.c("s") / "A.TXT"));
  EXPECT_EQ(host.read("s/A.TXT"), "A");
  EXPECT_TRUE(moveFileOp(u"C:\\s\\A.TXT", u"C:\\s\\a.txt"));
  EXPECT_EQ(host.read("s/a.txt"), "A");
}

TEST_F(FileOperationTest, FolderCopiesAndMoves) {
  host.write("s/d/f.txt", "F");
  host.write("s/d/e/g.txt", "G");
  EXPECT_EQ(doFileOperation(u"C:\\s\\d", u"C:\\c\\d", kFileOpCopy), 0u);  // confirmed by the folder
  EXPECT_EQ(host.read("c/d/e/g.txt"), "G");
  EXPECT_TRUE(moveFileOp(u"C:\\s\\d", u"C:\\m\\d"));  // the wrapper makes the target's folder
  EXPECT_EQ(host.read("m/d/f.txt"), "F");
  EXPECT_TRUE(host.gone("s/d"));

  // Another drive: copied by the shell, then the source deleted.
  fs::path e = kipotest::freshTempDir("ops-e");
  platform::host::Drive d;
  d.name = u"E:";
  d.root = e;
  d.type = DRIVE_REMOVABLE;
  platform::host::addDrive(d);
  std::size_t mark = logBytes().size();
  EXPECT_EQ(doFileOperation(u"C:\\m\\d", u"E:\\d", kFileOpMove), 0u);
  EXPECT_TRUE(fs::is_regular_file(e / "d" / "e" / "g.txt"));
  EXPECT_TRUE(host.gone("m/d"));
  std::vector<std::string> lines = linesSince(mark);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "{FILEOP}: Copying folder from: C:\\m\\d to E:\\d");
  EXPECT_EQ(lines[1], "{FILEOP}: Deleting folder: C:\\m\\d");
}

TEST_F(FileOperationTest, CopyOntoAFullDrive) {
  fs::path f = kipotest::freshTempDir("ops-full");
  platform::host::Drive d;
  d.name = u"F:";
  d.root = f;
  d.type = DRIVE_REMOVABLE;
  d.clusterSize = 4096;
  d.capacity = 4 * 4096;
  platform::host::addDrive(d);
  host.write("s/big.bin", std::string(5 * 4096, 'b'));
  Entry entry;
  EXPECT_EQ(doFileOperation(u"C:\\s\\big.bin", u"F:\\big.bin", kFileOpCopy, &entry), 2u);
  EXPECT_EQ(entry.bits, kSnapshotFailedBit);
  EXPECT_FALSE(fs::exists(f / "big.bin"));
  EXPECT_FALSE(copyFileOp(u"C:\\s\\big.bin", u"F:\\x\\big.bin"));
  // A folder that does not fit: the shell's own error is the one mapped (not the log's).
  host.write("s/dir/big.bin", std::string(5 * 4096, 'b'));
  EXPECT_EQ(doFileOperation(u"C:\\s\\dir", u"F:\\dir", kFileOpCopy), 2u);
}

TEST_F(FileOperationTest, PromptOnErrorOnly) {
  host.write("s/a.txt", "A");
  bool goOn = true;
  EXPECT_EQ(doFileOperationWithPrompt(u"C:\\s\\a.txt", u"C:\\t\\a.txt", kFileOpCopy, goOn), 0u);
  EXPECT_TRUE(goOn);
  EXPECT_TRUE(boxes.empty());

  ScopedFault fault("CopyFileW", ERROR_ACCESS_DENIED);
  answers.push_back(kNo);
  EXPECT_EQ(doFileOperationWithPrompt(u"C:\\s\\a.txt", u"C:\\t\\b.txt", kFileOpCopy, goOn), 8u);
  EXPECT_FALSE(goOn);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(u8(boxes[0].text),
            "Could not copy or move the file a.txt from C:\\s to C:\\t\\b.txt.\nAccess is denied.\n\nDo you want to "
            "continue the current operation?");
  answers.push_back(kYes);
  doFileOperationWithPrompt(u"C:\\s\\a.txt", u"C:\\t\\b.txt", kFileOpCopy, goOn);
  EXPECT_TRUE(goOn);
}

TEST_F(FileOperationTest, CreateDirectoryTree) {
  EXPECT_TRUE(createDirectoryTree(u"C:\\one\\two\\three\\\\"));
  EXPECT_TRUE(host.isDir("one/two/three"));
  EXPECT_TRUE(createDirectoryTree(u"C:\\one\\two"));
  EXPECT_FALSE(createDirectoryTree(u"Q:\\x"));  // no such drive
  EXPECT_FALSE(createDirectoryTree(CString()));
  host.write("file");
  std::size_t mark = logBytes().size();
  EXPECT_FALSE(createDirectoryTree(u"C:\\file\\sub"));
  std::vector<std::string> lines = linesSince(mark);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], "Failed to create directory _T('C:\\file\\sub')");
}

// The drive-selection dialog's list without the device monitor: plugged USB drives answer the
// storage device-number request; the system drive, a drive with no storage stack behind its
// letter and a letter the text already holds are left out.
TEST_F(FileOperationTest, UsbDriveLettersFromTheStorageRequests) {
  kipotest::plugUsbDrive(u'F', kipotest::freshTempDir("usb-f"), u"090C", u"1000", u"USBF01");
  kipotest::plugUsbDrive(u'E', kipotest::freshTempDir("usb-e"), u"0EA0", u"2469", u"USBE01");
  platform::host::Drive plain;
  plain.name = u"G:";
  plain.root = kipotest::freshTempDir("plain-g");
  plain.type = DRIVE_REMOVABLE;
  platform::host::addDrive(plain);
  ASSERT_EQ(GetDriveTypeW(u"G:\\"), static_cast<UINT>(DRIVE_REMOVABLE));

  struct Case {
    const char16_t* before;
    const char* after;
  };
  for (const Case& c : {Case{u"", "EF"}, Case{u"F", "FE"}, Case{u"EF", "EF"}, Case{u"Z", "ZEF"}}) {
    SCOPED_TRACE(u8(c.before));
    CString letters = c.before;
    enumerateUsbDrives(letters);
    EXPECT_EQ(u8(letters), c.after);
  }
  // What the dialog's standby path is given when the application installs nothing of its own.
  EXPECT_EQ(u8(secureDriveServices().enumerateUsbDrives()), "EF");
  ASSERT_TRUE(platform::host::unplugDrive(u'E'));
  EXPECT_EQ(u8(secureDriveServices().enumerateUsbDrives()), "F");
  ASSERT_TRUE(platform::host::unplugDrive(u'F'));
  EXPECT_EQ(u8(secureDriveServices().enumerateUsbDrives()), "");
}

TEST_F(FileOperationTest, MasksAndCategories) {
  CStringArray masks;
  masks.Add(u"*.txt");
  masks.Add(u"Exact.Doc");
  EXPECT_TRUE(matchesFileMask(u"NOTES.TXT", masks));
  EXPECT_TRUE(matchesFileMask(u"exact.doc", masks));
  EXPECT_FALSE(matchesFileMask(u"other.doc", masks));
  EXPECT_FALSE(matchesFileMask(u"a.txt", CStringArray()));
  masks.Add(u"*.*");
  EXPECT_TRUE(matchesFileMask(u"anything", masks));

  EXPECT_EQ(u8(masksForFileCategories(u"Office;Url;Nothing;Audio")),
            "*.doc;*.xls;*.ppt;*.txt;*.rtf;*.vsd;*.url;;*.mp3;*.wav;*.au;*.m3u;*.aiff;*.wma;");
  EXPECT_EQ(u8(masksForFileCategories(u"All Files")), "*.*;");
}

TEST_F(FileOperationTest, FolderWalkers) {
  host.write("w/a.txt");
  host.write("w/b.doc");
  host.write("w/sub/c.txt");
  host.write("w/sub/deep/d.txt");
  fs::create_directories(host.c("w/empty/inner"));

  CStringArray list;
  EXPECT_TRUE(listFiles(u"C:\\w", list, false, false));
  EXPECT_EQ(list.GetSize(), 2);
  list.RemoveAll();
  EXPECT_TRUE(listFiles(u"C:\\w", list, true, true));
  EXPECT_EQ(list.GetSize(), 4);
  EXPECT_TRUE(isInStringList(u"C:\\w\\sub\\deep\\d.txt", list));
  EXPECT_FALSE(listFiles(u"C:\\none", list, true, true));
  EXPECT_FALSE(listFiles(u"w", list, true, true));
  CStringArray masks;
  masks.Add(u"*.txt");
  list.RemoveAll();
  EXPECT_TRUE(listFilesMatching(u"C:\\w", masks, list, false, true));
  EXPECT_EQ(list.GetSize(), 3);
  list.RemoveAll();
  EXPECT_TRUE(listSubfolders(u"C:\\w", list, false));
  EXPECT_EQ(list.GetSize(), 2);
  list.RemoveAll();
  EXPECT_TRUE(listFolder(u"C:\\w", list, false));
  EXPECT_EQ(list.GetSize(), 4);

  EXPECT_TRUE(folderHasFileCount(u"C:\\w", 4, true));
  EXPECT_FALSE(folderHasFileCount(u"C:\\w", 5, true));
  EXPECT_FALSE(folderHasFileCount(u"C:\\w", 3, false));
  EXPECT_FALSE(folderHasFileCount(u"C:\\none", 1, true));
  EXPECT_TRUE(isFolderEmpty(u"C:\\w\\empty"));
  EXPECT_FALSE(isFolderEmpty(u"C:\\w"));

  EXPECT_TRUE(removeEmptyFolders(u"C:\\w", false));
  EXPECT_TRUE(host.gone("w/empty"));
  EXPECT_TRUE(host.isFile("w/sub/deep/d.txt"));

  // A file held open without delete sharing stays; the walk reports it and goes on.
  HANDLE h = CreateFileW(u"C:\\w\\sub\\c.txt", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  std::size_t mark = logBytes().size();
  EXPECT_FALSE(deleteFolderContents(u"C:\\w"));
  std::vector<std::string> lines = linesSince(mark);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], "{FileUtil}: Failed to remove file: C:\\w\\sub\\c.txt");
  EXPECT_TRUE(host.gone("w/a.txt"));
  EXPECT_TRUE(host.gone("w/sub/deep"));
  EXPECT_FALSE(deleteFolder(u"C:\\w"));
  CloseHandle(h);
  EXPECT_TRUE(deleteFolder(u"C:\\w"));
  EXPECT_TRUE(host.gone("w"));
}

TEST_F(FileOperationTest, ReplaceFolderContents) {
  host.write("src/new.txt", "N");
  host.write("src/sub/x.txt", "X");
  host.write("dst/old.txt", "O");
  EXPECT_TRUE(replaceFolderContentsByCopy(u"C:\\src", u"C:\\dst"));
  EXPECT_TRUE(host.gone("dst/old.txt"));
  EXPECT_EQ(host.read("dst/new.txt"), "N");
  EXPECT_EQ(host.read("dst/sub/x.txt"), "X");
  EXPECT_TRUE(host.isFile("src/new.txt"));
  EXPECT_FALSE(replaceFolderContentsByCopy(u"C:\\src", u"C:\\missing"));

  host.write("dst2/old.txt", "O");
  EXPECT_TRUE(replaceFolderContentsByMove(u"C:\\src", u"C:\\dst2"));
  EXPECT_EQ(host.read("dst2/sub/x.txt"), "X");
  EXPECT_TRUE(host.gone("src/new.txt"));
  EXPECT_TRUE(host.gone("dst2/old.txt"));
}

TEST_F(FileOperationTest, ShellInterfaceLogLines) {
  host.write("s/d/f.txt", "F");
  CShellInterface& shell = shellInterface();
  struct Case {
    const char* what;
    std::function<bool()> run;
    bool result;
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      {"contents of a missing folder", [&] { return shell.copyFolderContents(u"C:\\none", u"C:\\t"); }, true,
       {"{FILEOP}: Copying folder contents from: C:\\none to C:\\t"}},
      {"move contents of a missing folder", [&] { return shell.moveFolderContents(u"C:\\none", u"C:\\t"); }, true,
       {"{FILEOP}: Moving folder contents from: C:\\none to C:\\t"}},
      {"copy to a missing target takes its name",
       [&] { return shell.copyFolder(u"C:\\s\\d", u"C:\\c") && fs::is_regular_file(host.c("c/f.txt")); }, true,
       {"{FILEOP}: Copying folder from: C:\\s\\d to C:\\c"}},
      {"copy of a missing folder", [&] { return shell.copyFolder(u"C:\\none", u"C:\\c2"); }, false,
       {"{FILEOP}: Copying folder from: C:\\none to C:\\c2", "{FILEOP}: Copy failed from: C:\\none to C:\\c2"}},
      {"move of a missing folder", [&] { return shell.moveFolder(u"C:\\none", u"C:\\c2"); }, false,
       {"{FILEOP}: Moving folder from: C:\\none to C:\\c2", "Move failed from: C:\\none to C:\\c2"}},
      {"quiet delete", [&] { return shell.deleteFolder(u"C:\\c", true); }, true, {}},
      {"delete of a missing folder", [&] { return shell.deleteFolder(u"C:\\c", false); }, true, {}},
      {"contents", [&] { return shell.copyFolderContents(u"C:\\s", u"C:\\t"); }, true,
       {"{FILEOP}: Copying folder contents from: C:\\s to C:\\t"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::size_t mark = logBytes().size();
    EXPECT_EQ(c.run(), c.result);
    EXPECT_EQ(linesSince(mark), c.lines);
  }
  EXPECT_TRUE(host.gone("c"));
  EXPECT_EQ(host.read("t/d/f.txt"), "F");  // the contents went into the target

  // A delete that fails is logged unless quiet.
  ScopedFault fault("SHFileOperationW", ERROR_ACCESS_DENIED);
  std::size_t mark = logBytes().size();
  EXPECT_FALSE(shell.deleteFolder(u"C:\\t", false));
  EXPECT_EQ(linesSince(mark), (std::vector<std::string>{"{FILEOP}: Deleting folder: C:\\t",
                                                         "{FILEOP}: Delete folder failed: C:\\t"}));
  mark = logBytes().size();
  EXPECT_FALSE(shell.deleteFolder(u"C:\\t", true));
  EXPECT_TRUE(linesSince(mark).empty());
}

TEST_F(FileOperationTest, ShellOperationRecord) {
  host.write("s/a.txt", "A");
  host.write("s/b.txt", "B");
  shellFileOperation op;
  bool started = true;
  int result = -1;
  BOOL aborted = TRUE;
  EXPECT_FALSE(op.execute(started, result, aborted));  // not armed
  EXPECT_FALSE(started);
  EXPECT_EQ(result, 0);
  op.setup(FO_COPY, nullptr, true, false, false, true, true, false, false);
  op.addSource(u"C:\\s\\a.txt");
  op.addSource(u"C:\\s\\b.txt");
  EXPECT_FALSE(op.execute(started, result, aborted));  // no target
  op.addTarget(u"C:\\t\\1.txt");
  op.addTarget(u"C:\\t\\2.txt");
  EXPECT_TRUE(op.execute(started, result, aborted));  // two targets: one for each source
  EXPECT_TRUE(started);
  EXPECT_FALSE(aborted);
  EXPECT_EQ(host.read("t/1.txt"), "A");
  EXPECT_EQ(host.read("t/2.txt"), "B");
  op.addTarget(u"C:\\t\\3.txt");
  EXPECT_FALSE(op.execute(started, result, aborted));  // three targets for two sources
  op.reset();
  op.setup(FO_DELETE, nullptr, kShellInterfaceFlags);
  op.addSource(u"C:\\t\\9.txt");
  EXPECT_FALSE(op.execute(started, result, aborted));
  EXPECT_TRUE(started);
  EXPECT_EQ(result, ERROR_FILE_NOT_FOUND);
  EXPECT_TRUE(aborted);
}

}  // namespace

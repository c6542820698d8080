// Folder change notifications: which changes signal a handle for which filter, with and without
// the subtree, that a signalled handle stays so until FindNextChangeNotification and keeps the
// changes made meanwhile, and the errors of a bad folder, filter or handle.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "platform/base/text.h"
#include "platform/win32/change_notify.h"
#include "platform/win32/error.h"
#include "platform/win32/file.h"
#include "platform/win32/sync.h"
#include "tests/support/test_host.h"

namespace {

using platform::text::fromUtf8;

// How long a change may take to be seen, and how long an absent one is waited for.
constexpr DWORD kSeenMs = 5000;
constexpr DWORD kAbsentMs = 300;

bool makeFile(const std::u16string& path, const char* data = "") {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD n = 0;
  WriteFile(h, data, static_cast<DWORD>(std::char_traits<char>::length(data)), &n, nullptr);
  return CloseHandle(h);
}

bool appendTo(const std::u16string& path) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  SetFilePointer(h, 0, nullptr, FILE_END);
  DWORD n = 0;
  WriteFile(h, "more", 4, &n, nullptr);
  return CloseHandle(h);
}

class ChangeNotifyTest : public ::testing::Test {
 protected:
  // A fresh folder C:\<name> holding "f.txt" and "sub\g.txt".
  std::u16string folder(const std::string& name) {
    std::u16string dir = u"C:\\" + fromUtf8(name);
    EXPECT_TRUE(CreateDirectoryW(dir.c_str(), nullptr));
    EXPECT_TRUE(makeFile(dir + u"\\f.txt", "abc"));
    EXPECT_TRUE(CreateDirectoryW((dir + u"\\sub").c_str(), nullptr));
    EXPECT_TRUE(makeFile(dir + u"\\sub\\g.txt", "abc"));
    return dir;
  }
  kipotest::TestHost host_;
};

TEST_F(ChangeNotifyTest, EachFilterSeesItsChanges) {
  using Action = std::function<bool(const std::u16string&)>;
  const Action createFile = [](const std::u16string& d) { return makeFile(d + u"\\new.txt"); };
  const Action deleteFile = [](const std::u16string& d) { return DeleteFileW((d + u"\\f.txt").c_str()) != 0; };
  const Action renameFile = [](const std::u16string& d) {
    return MoveFileW((d + u"\\f.txt").c_str(), (d + u"\\g.txt").c_str()) != 0;
  };
  const Action createDir = [](const std::u16string& d) { return CreateDirectoryW((d + u"\\nd").c_str(), nullptr) != 0; };
  const Action removeDir = [](const std::u16string& d) {
    return DeleteFileW((d + u"\\sub\\g.txt").c_str()) && RemoveDirectoryW((d + u"\\sub").c_str());
  };
  const Action writeFile = [](const std::u16string& d) { return appendTo(d + u"\\f.txt"); };
  const Action readOnly = [](const std::u16string& d) {
    return SetFileAttributesW((d + u"\\f.txt").c_str(), FILE_ATTRIBUTE_READONLY) != 0;
  };
  const Action createInSub = [](const std::u16string& d) { return makeFile(d + u"\\sub\\new.txt"); };
  const Action writeInSub = [](const std::u16string& d) { return appendTo(d + u"\\sub\\g.txt"); };
  // A folder made and filled at once: the file inside is seen although the folder was new.
  const Action fillNewDir = [](const std::u16string& d) {
    return CreateDirectoryW((d + u"\\nd").c_str(), nullptr) && makeFile(d + u"\\nd\\x.txt");
  };
  const Action fileInNewDir = [](const std::u16string& d) { return makeFile(d + u"\\nd\\x.txt"); };

  struct Case {
    const char* what;
    DWORD filter;
    bool subtree;
    Action action;
    bool signals;
    Action before = nullptr;  // done before the handle is made
  } cases[] = {
      {"file created", FILE_NOTIFY_CHANGE_FILE_NAME, false, createFile, true},
      {"file deleted", FILE_NOTIFY_CHANGE_FILE_NAME, false, deleteFile, true},
      {"file renamed", FILE_NOTIFY_CHANGE_FILE_NAME, false, renameFile, true},
      {"folder created, file names watched", FILE_NOTIFY_CHANGE_FILE_NAME, false, createDir, false},
      {"file written, file names watched", FILE_NOTIFY_CHANGE_FILE_NAME, false, writeFile, false},
      {"folder created", FILE_NOTIFY_CHANGE_DIR_NAME, false, createDir, true},
      {"folder removed", FILE_NOTIFY_CHANGE_DIR_NAME, false, removeDir, true},
      {"file created, folder names watched", FILE_NOTIFY_CHANGE_DIR_NAME, false, createFile, false},
      {"file written, last write", FILE_NOTIFY_CHANGE_LAST_WRITE, false, writeFile, true},
      {"file written, size", FILE_NOTIFY_CHANGE_SIZE, false, writeFile, true},
      {"attributes", FILE_NOTIFY_CHANGE_ATTRIBUTES, false, readOnly, true},
      {"attributes, file names watched", FILE_NOTIFY_CHANGE_FILE_NAME, false, readOnly, false},
      {"file created in a subfolder", FILE_NOTIFY_CHANGE_FILE_NAME, false, createInSub, false},
      {"file created in a subfolder, subtree", FILE_NOTIFY_CHANGE_FILE_NAME, true, createInSub, true},
      {"file written in a subfolder, subtree", FILE_NOTIFY_CHANGE_LAST_WRITE, true, writeInSub, true},
      {"new folder filled at once, subtree", FILE_NOTIFY_CHANGE_FILE_NAME, true, fillNewDir, true},
      {"file in a folder made after the watch", FILE_NOTIFY_CHANGE_FILE_NAME, true, fileInNewDir, true, createDir},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::u16string dir = folder("W" + std::to_string(n++));
    HANDLE h = FindFirstChangeNotificationW(dir.c_str(), c.subtree, c.filter);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << GetLastError();
    if (c.before) {
      // Made after the watch began but before the change counted: wait for it to be seen first.
      ASSERT_TRUE(c.before(dir));
      WaitForSingleObject(h, kAbsentMs);
      FindNextChangeNotification(h);
    }
    EXPECT_EQ(WaitForSingleObject(h, 0), static_cast<DWORD>(WAIT_TIMEOUT)) << "nothing changed yet";
    ASSERT_TRUE(c.action(dir));
    EXPECT_EQ(WaitForSingleObject(h, c.signals ? kSeenMs : kAbsentMs),
              static_cast<DWORD>(c.signals ? WAIT_OBJECT_0 : WAIT_TIMEOUT));
    EXPECT_TRUE(FindCloseChangeNotification(h));
  }
}

TEST_F(ChangeNotifyTest, SignalledUntilAskedForTheNextAndChangesMeanwhileKept) {
  const std::u16string dir = folder("Kept");
  HANDLE h = FindFirstChangeNotificationW(dir.c_str(), FALSE, FILE_NOTIFY_CHANGE_FILE_NAME);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  ASSERT_TRUE(makeFile(dir + u"\\one"));
  ASSERT_EQ(WaitForSingleObject(h, kSeenMs), static_cast<DWORD>(WAIT_OBJECT_0));
  // A wait does not consume the signal.
  EXPECT_EQ(WaitForSingleObject(h, 0), static_cast<DWORD>(WAIT_OBJECT_0));
  ASSERT_TRUE(FindNextChangeNotification(h));
  EXPECT_EQ(WaitForSingleObject(h, kAbsentMs), static_cast<DWORD>(WAIT_TIMEOUT));

  // A change while signalled survives the next FindNextChangeNotification, once.
  ASSERT_TRUE(makeFile(dir + u"\\two"));
  ASSERT_EQ(WaitForSingleObject(h, kSeenMs), static_cast<DWORD>(WAIT_OBJECT_0));
  ASSERT_TRUE(makeFile(dir + u"\\three"));
  WaitForSingleObject(h, kAbsentMs);  // time for the second change to arrive
  ASSERT_TRUE(FindNextChangeNotification(h));
  EXPECT_EQ(WaitForSingleObject(h, 0), static_cast<DWORD>(WAIT_OBJECT_0));
  ASSERT_TRUE(FindNextChangeNotification(h));
  EXPECT_EQ(WaitForSingleObject(h, kAbsentMs), static_cast<DWORD>(WAIT_TIMEOUT));

  // Two handles on one folder each see the change.
  HANDLE other = FindFirstChangeNotificationW(dir.c_str(), TRUE, FILE_NOTIFY_CHANGE_FILE_NAME);
  ASSERT_NE(other, INVALID_HANDLE_VALUE);
  ASSERT_TRUE(DeleteFileW((dir + u"\\one").c_str()));
  HANDLE both[] = {h, other};
  EXPECT_EQ(WaitForMultipleObjects(2, both, TRUE, kSeenMs), static_cast<DWORD>(WAIT_OBJECT_0));
  EXPECT_TRUE(FindCloseChangeNotification(other));

  // The watched folder going away is a change.
  const std::u16string gone = dir + u"\\sub";
  ASSERT_TRUE(DeleteFileW((gone + u"\\g.txt").c_str()));
  HANDLE g = FindFirstChangeNotificationW(gone.c_str(), FALSE, FILE_NOTIFY_CHANGE_ATTRIBUTES);
  ASSERT_NE(g, INVALID_HANDLE_VALUE);
  ASSERT_TRUE(RemoveDirectoryW(gone.c_str()));
  EXPECT_EQ(WaitForSingleObject(g, kSeenMs), static_cast<DWORD>(WAIT_OBJECT_0));
  EXPECT_TRUE(FindCloseChangeNotification(g));

  EXPECT_TRUE(FindCloseChangeNotification(h));
  EXPECT_EQ(WaitForSingleObject(h, 0), static_cast<DWORD>(WAIT_FAILED)) << "closed";
}

TEST_F(ChangeNotifyTest, BadFoldersFiltersAndHandles) {
  folder("Bad");
  struct Case {
    const char16_t* path;
    DWORD filter;
    DWORD error;
  } cases[] = {
      {u"C:\\Bad", 0, ERROR_INVALID_PARAMETER},
      {u"C:\\Bad", 0x200, ERROR_INVALID_PARAMETER},
      {u"C:\\Bad", FILE_NOTIFY_CHANGE_FILE_NAME | 0x80, ERROR_INVALID_PARAMETER},
      {u"C:\\Bad\\missing", FILE_NOTIFY_CHANGE_FILE_NAME, ERROR_FILE_NOT_FOUND},
      {u"C:\\Bad\\missing\\deeper", FILE_NOTIFY_CHANGE_FILE_NAME, ERROR_PATH_NOT_FOUND},
      {u"C:\\Bad\\f.txt", FILE_NOTIFY_CHANGE_FILE_NAME, ERROR_DIRECTORY},
      {u"C:\\Bad\\a<b", FILE_NOTIFY_CHANGE_FILE_NAME, ERROR_INVALID_NAME},
      {u"Q:\\", FILE_NOTIFY_CHANGE_FILE_NAME, ERROR_PATH_NOT_FOUND},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(platform::text::toUtf8(c.path) + " filter " + std::to_string(c.filter));
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(FindFirstChangeNotificationW(c.path, FALSE, c.filter), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), c.error);
  }
  // A relative path is taken against the current directory, as every file call does.
  ASSERT_TRUE(SetCurrentDirectoryW(u"C:\\Bad"));
  HANDLE rel = FindFirstChangeNotificationW(u"sub", FALSE, FILE_NOTIFY_CHANGE_FILE_NAME);
  ASSERT_NE(rel, INVALID_HANDLE_VALUE);
  ASSERT_TRUE(makeFile(u"C:\\Bad\\sub\\x"));
  EXPECT_EQ(WaitForSingleObject(rel, kSeenMs), static_cast<DWORD>(WAIT_OBJECT_0));
  EXPECT_TRUE(FindCloseChangeNotification(rel));

  // Another kind of handle, and a closed one.
  HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  SetLastError(0xDEADBEEF);
  EXPECT_FALSE(FindNextChangeNotification(event));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  SetLastError(0xDEADBEEF);
  EXPECT_FALSE(FindCloseChangeNotification(event));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_TRUE(CloseHandle(event)) << "left open by the refused close";
  SetLastError(0xDEADBEEF);
  EXPECT_FALSE(FindNextChangeNotification(rel));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

}  // namespace

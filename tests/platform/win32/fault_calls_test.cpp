// The fault points of the file, handle, window-finding and send calls: a fault fails the call
// with its error for its subject only and leaves the object as it was; a send faults only when
// it goes to another thread or process (a send on the window's own thread is a plain call).
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>

#include "platform/base/fault.h"
#include "platform/win32/file.h"
#include "platform/win32/handle.h"
#include "tests/platform/win32/window_fixture.h"
#include "tests/platform/win32/winprobe_client.h"
#include "tests/support/faults.h"

using namespace wintest;

namespace {

using FaultCalls = WindowFixture;

HANDLE openForWrite(const char16_t* path) {
  return CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Runs `call` and tells whether it failed with `error` as its last error.
::testing::AssertionResult failsWith(const std::function<bool()>& call, DWORD error) {
  SetLastError(0xDEADBEEF);
  if (call()) return ::testing::AssertionFailure() << "the call succeeded";
  if (GetLastError() != error) return ::testing::AssertionFailure() << "last error " << GetLastError();
  return ::testing::AssertionSuccess();
}

}  // namespace

TEST_F(FaultCalls, FileCallsFailForTheirSubjectAndLeaveTheFileAsItWas) {
  ASSERT_TRUE(CreateDirectoryW(u"C:\\faults", nullptr));
  HANDLE file = openForWrite(u"C:\\faults\\pref.dat");
  HANDLE other = openForWrite(u"C:\\faults\\other.dat");
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  ASSERT_NE(other, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(file, "0123456789", 10, &written, nullptr));
  ASSERT_TRUE(WriteFile(other, "0123456789", 10, &written, nullptr));

  struct Case {
    const char* call;
    std::function<bool(HANDLE)> run;  // true on success
  } cases[] = {
      {"GetFileSize", [](HANDLE h) { return GetFileSize(h, nullptr) == 10; }},
      {"GetFileSizeEx",
       [](HANDLE h) {
         LARGE_INTEGER size;
         size.QuadPart = -1;
         return GetFileSizeEx(h, &size) && size.QuadPart == 10;
       }},
      {"SetFilePointer", [](HANDLE h) { return SetFilePointer(h, 3, nullptr, FILE_BEGIN) == 3; }},
      {"SetFilePointerEx",
       [](HANDLE h) {
         LARGE_INTEGER to, now;
         to.QuadPart = 4;
         now.QuadPart = -1;
         return SetFilePointerEx(h, to, &now, FILE_BEGIN) && now.QuadPart == 4;
       }},
      {"FlushFileBuffers", [](HANDLE h) { return FlushFileBuffers(h) != FALSE; }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.call);
    ASSERT_TRUE(SetFilePointer(file, 7, nullptr, FILE_BEGIN) == 7);
    auto id = kipotest::failCall(c.call, ERROR_LOCK_VIOLATION, u"c:\\FAULTS\\pref");
    EXPECT_TRUE(failsWith([&] { return c.run(file); }, ERROR_LOCK_VIOLATION));
    EXPECT_TRUE(c.run(other)) << "another file is not the subject";
    platform::fault::removeLocal(id);
    LARGE_INTEGER zero{}, at{};
    ASSERT_TRUE(SetFilePointerEx(file, zero, &at, FILE_CURRENT));
    EXPECT_EQ(at.QuadPart, 7) << "the failed call did not move the file pointer";
    EXPECT_TRUE(c.run(file));
  }

  // A close that fails leaves the handle open and usable.
  kipotest::failCall("CloseHandle", ERROR_ACCESS_DENIED, u"C:\\faults\\pref.dat", 1, 1);
  EXPECT_TRUE(failsWith([&] { return CloseHandle(file) != FALSE; }, ERROR_ACCESS_DENIED));
  EXPECT_EQ(GetFileSize(file, nullptr), 10u);
  EXPECT_TRUE(CloseHandle(file));
  EXPECT_TRUE(failsWith([&] { return CloseHandle(file) != FALSE; }, ERROR_INVALID_HANDLE));
  EXPECT_TRUE(CloseHandle(other));
  platform::fault::clearLocal();
}

// The subject of FindNextFileW is the pattern given to FindFirstFileW; the failed call does not
// use up an entry.
TEST_F(FaultCalls, FindNextFileFailsForItsSearchAndResumes) {
  ASSERT_TRUE(CreateDirectoryW(u"C:\\faults", nullptr));
  for (const char16_t* name : {u"C:\\faults\\a.txt", u"C:\\faults\\b.txt"}) CloseHandle(openForWrite(name));
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW(u"C:\\faults\\*.txt", &data);
  ASSERT_NE(find, INVALID_HANDLE_VALUE);
  EXPECT_EQ(std::u16string(data.cFileName), u"a.txt");
  kipotest::failCall("FindNextFileW", ERROR_NOT_READY, u"C:\\faults\\", 1, 1);
  HANDLE elsewhere = FindFirstFileW(u"C:\\*", &data);
  ASSERT_NE(elsewhere, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(FindNextFileW(elsewhere, &data)) << "another search is not the subject";
  EXPECT_TRUE(failsWith([&] { return FindNextFileW(find, &data) != FALSE; }, ERROR_NOT_READY));
  ASSERT_TRUE(FindNextFileW(find, &data));
  EXPECT_EQ(std::u16string(data.cFileName), u"b.txt");
  EXPECT_TRUE(failsWith([&] { return FindNextFileW(find, &data) != FALSE; }, ERROR_NO_MORE_FILES));
  FindClose(find);
  FindClose(elsewhere);
  platform::fault::clearLocal();
}

TEST_F(FaultCalls, FindWindowFailsForItsClass) {
  HWND mine = make(WS_POPUP, nullptr, 0, u"mine");
  kipotest::failCall("FindWindowW", ERROR_ACCESS_DENIED, u"kipotestwindow");
  EXPECT_TRUE(failsWith([] { return FindWindowW(kClass, nullptr) != nullptr; }, ERROR_ACCESS_DENIED));
  SetLastError(0xDEADBEEF);
  EXPECT_EQ(FindWindowW(u"NoSuchClass", nullptr), nullptr);
  EXPECT_NE(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED)) << "another class is not the subject";
  platform::fault::clearLocal();
  EXPECT_EQ(FindWindowW(kClass, nullptr), mine);
}

TEST_F(FaultCalls, SendFaultsActOnlyAcrossThreads) {
  HWND mine = make(WS_POPUP);
  g_hook = [](HWND, UINT m, WPARAM, LPARAM) -> std::optional<LRESULT> {
    if (m == WM_USER) return 7;
    return std::nullopt;
  };
  kipotest::failCall("SendMessageW", ERROR_ACCESS_DENIED);
  kipotest::failCall("SendMessageTimeoutW", ERROR_ACCESS_DENIED);
  EXPECT_EQ(SendMessageW(mine, WM_USER, 0, 0), 7) << "a send on the window's own thread never faults";
  DWORD_PTR result = 0;
  EXPECT_TRUE(SendMessageTimeoutW(mine, WM_USER, 0, 0, SMTO_NORMAL, 1000, &result));
  EXPECT_EQ(result, 7u);

  clearLog();
  std::atomic<bool> done{false};
  LRESULT sent = -1, timed = -1;
  DWORD sentError = 0, timedError = 0;
  std::thread worker([&] {
    SetLastError(0);
    sent = SendMessageW(mine, WM_USER, 0, 0);
    sentError = GetLastError();
    SetLastError(0);
    timed = SendMessageTimeoutW(mine, WM_USER, 0, 0, SMTO_NORMAL, 1000, nullptr);
    timedError = GetLastError();
    done = true;
  });
  MSG m;
  while (!done) {
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
    std::this_thread::yield();
  }
  worker.join();
  EXPECT_EQ(sent, 0);
  EXPECT_EQ(sentError, static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(timed, 0);
  EXPECT_EQ(timedError, static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_TRUE(received(mine, {WM_USER}).empty()) << "the window procedure was not called";
  platform::fault::clearLocal();
}

TEST_F(FaultCalls, SendFaultsActOnAnotherProcesssWindow) {
  kipotest::WinProbe probe({"--class", "KipoFaultProbe", "--title", "fault probe"});
  kipotest::failCall("SendMessageW", ERROR_ACCESS_DENIED, {}, 1, 1);
  kipotest::failCall("SendMessageTimeoutW", ERROR_TIMEOUT, {}, 1, 1);
  EXPECT_TRUE(failsWith([&] { return SendMessageW(probe.window(), WM_GETTEXTLENGTH, 0, 0) != 0; },
                        ERROR_ACCESS_DENIED));
  DWORD_PTR result = 0;
  EXPECT_TRUE(failsWith(
      [&] { return SendMessageTimeoutW(probe.window(), WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, 5000, &result) != 0; },
      ERROR_TIMEOUT));
  EXPECT_EQ(SendMessageW(probe.window(), WM_GETTEXTLENGTH, 0, 0), 11) << "\"fault probe\"";
  platform::fault::clearLocal();
}

// The diagnostic log file: its bytes (header, start block, entries, stop line) under a fixed
// clock, the size limit at start-up, logging switched off by the file's absence, cut messages,
// outside texts kept literal, and a log held by another writer.
#include "app/log.h"

#include <gtest/gtest.h>

#include "app/lingrove.h"
#include "app/messages.h"
#include "platform/base/clock.h"
#include "platform/win32/error.h"
#include "platform/win32/file.h"
#include "platform/win32/time.h"
#include "tests/app/app_fixture.h"

namespace {

using apptest::AppTest;

constexpr char kHeader[] =
    "<html><META http-equiv=\"Content-Type\" content=\"text/html;charset=UTF-8\"><TITLE>Kipo Log File</TITLE>\r\n";
const std::string kRule(62, '-');

class LogTest : public AppTest {
 protected:
  LogTest() {
    // Thursday, 10 December 2026, 13:58:30 UTC; the host's time zone is UTC.
    SYSTEMTIME st{};
    st.wYear = 2026;
    st.wMonth = 12;
    st.wDay = 10;
    st.wHour = 13;
    st.wMinute = 58;
    st.wSecond = 30;
    FILETIME ft{};
    SystemTimeToFileTime(&st, &ft);
    clock.fixWallTime((static_cast<std::uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime);
    installLanguages({"USA"});
  }

  std::string startBlock() const {
    return "<b><br>" + kRule + "<br>Kipo Started: Thursday, December 10 at 01:58PM.</b><br>";
  }

  platform::clock::VirtualClock clock;
};

TEST_F(LogTest, NewLogHasHeaderStartBlockEntriesAndStopLineByteForByte) {
  Lingrove language(CString(u"USA"), TRUE);
  ASSERT_EQ(language.loaded, 1u);
  setLogPath(logPathForDevice(CString(u"C:\\")));
  ASSERT_FALSE(std::filesystem::exists(logFile()));

  startLogFile();
  writeLog(u"{FILEOP}: Copying folder from: %s to %s", u"C:\\a", CString(u"E:\\b"));
  writeLog(u"{Customizer App}: %d%% d\u00e9j\u00e0 vu", 42);
  writeStopLine();

  EXPECT_EQ(logBytes(), std::string(kHeader) + startBlock() +
                            "{FILEOP}: Copying folder from: C:\\a to E:\\b<br>"
                            "{Customizer App}: 42% d\xC3\xA9j\xC3\xA0 vu<br>"
                            "Kipo Stopped: Thursday, December 10 at 01:58PM.<br>");
  EXPECT_TRUE(boxes.empty());
}

TEST_F(LogTest, StartEmptiesOnlyALogLongerThanTheLimit) {
  Lingrove language(CString(u"USA"), TRUE);
  struct Case {
    size_t size;
    bool emptied;
  } cases[] = {{0, false}, {102399, false}, {102400, false}, {102401, true}, {300000, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    const std::string old(c.size, 'x');
    createLog(old);
    startLogFile();
    EXPECT_EQ(logBytes(), c.emptied ? std::string(kHeader) + startBlock() : old + startBlock());
  }
}

TEST_F(LogTest, StartCreatesMissingFoldersOfTheLogPath) {
  Lingrove language(CString(u"USA"), TRUE);
  setLogPath(CString(u"C:\\Logs\\Deep\\Kipo.html"));
  startLogFile();
  EXPECT_EQ(readBytes(host.c("Logs/Deep/Kipo.html")), std::string(kHeader) + startBlock());
}

TEST_F(LogTest, WithoutTheFileNothingIsWrittenOrCreated) {
  writeLog(u"{X}: no path yet");
  writeStopLine();

  setLogPath(CString(apptest::kLogPath));
  writeLog(u"{X}: %s", u"nobody reads this");
  writeStopLine();
  EXPECT_FALSE(std::filesystem::exists(logFile()));

  // A folder of the log's name does not count as the log.
  std::filesystem::create_directory(logFile());
  writeLog(u"{X}: still nothing");
  writeStopLine();
  EXPECT_TRUE(std::filesystem::is_directory(logFile()));
  EXPECT_TRUE(std::filesystem::is_empty(logFile()));
}

TEST_F(LogTest, EntriesFollowEachOtherOnOneLineAndAreCutAt4096Characters) {
  createLog();
  writeLog(u"{A}: one");
  writeLog(u"{B}: two");
  writeLog(u"%s", CString(u'y', 5000));
  EXPECT_EQ(logBytes(), "{A}: one<br>{B}: two<br>" + std::string(4096, 'y') + "<br>");
}

TEST_F(LogTest, TextsFromOutsideAreLoggedLiterally) {
  createLog();
  const CString fileName(u"E:\\Docs\\100%s%n%d%x%%.txt");
  writeLog(u"{FileUtil}: Deleting %s", fileName);
  writeLogText(CString(u"{FileUtil}: %s%n as it stands"));
  EXPECT_EQ(logBytes(),
            "{FileUtil}: Deleting E:\\Docs\\100%s%n%d%x%%.txt<br>"
            "{FileUtil}: %s%n as it stands<br>");
}

TEST_F(LogTest, ALogHeldByAnotherWriterDropsTheLineAndKeepsTheCallersError) {
  createLog("kept");
  HANDLE other = CreateFileW(apptest::kLogPath, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(other, INVALID_HANDLE_VALUE);
  SetLastError(1234);
  writeLog(u"{X}: dropped");
  writeStopLine();
  EXPECT_EQ(GetLastError(), 1234u);
  CloseHandle(other);
  writeLog(u"{X}: written");
  EXPECT_EQ(logBytes(), "kept{X}: written<br>");
}

}  // namespace

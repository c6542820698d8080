// The application object in this process: its reading of the command line, the code table of
// structured exceptions, a processor fault in a message handler caught by the nested pump and by
// the message loop (which go on), and a close that arrives during a login pass held back until
// the pass has ended, on every way out of it.
#include <gtest/gtest.h>

#include "app/customizer_doc.h"
#include "app/kipo/customizer_app.h"
#include "app/registry.h"
#include "app/structured_exception.h"
#include "platform/win32/seh.h"
#include "tests/snapins/snapin_fixture.h"

namespace {

using snapintest::Journal;
using snapintest::Outcome;
using snapintest::TestSnapin;

struct Word {
  const char16_t* text;
  bool flag;
};

struct CommandLineRow {
  const char* name;
  std::vector<Word> words;
  int startMode;
  const char16_t* devicePath;
  const char16_t* language;
  const char16_t* fileName;  // what the class library's own parsing kept
};

// Feeds the words to the application's parser as the class library does.
void parse(CCustomizerApp& app, CCustomizerCommandLineInfo& info, const std::vector<Word>& words) {
  for (std::size_t i = 0; i < words.size(); ++i)
    info.ParseParam(words[i].text, words[i].flag ? TRUE : FALSE, i + 1 == words.size() ? TRUE : FALSE);
  (void)app;
}

class AppObjectTest : public apptest::ProfilesTest {};

TEST_F(AppObjectTest, CommandLineTable) {
  const std::vector<CommandLineRow> rows = {
      {"nothing", {}, kStartLaunch, u"", u"", u""},
      {"handoff and a drive root", {{u"handoff", true}, {u"E:\\", false}}, kStartHandoff, u"E:\\", u"", u""},
      {"handoff in any case", {{u"HandOff", true}, {u"F:\\", false}}, kStartHandoff, u"F:\\", u"", u""},
      {"a path without handoff goes to the class library", {{u"E:\\", false}}, kStartLaunch, u"", u"", u"E:\\"},
      {"launch", {{u"launch", true}}, kStartLaunch, u"", u"", u""},
      {"recover", {{u"recover", true}}, kStartRecover, u"", u"", u""},
      {"RECOVER", {{u"RECOVER", true}}, kStartRecover, u"", u"", u""},
      {"LANG= with a flag sign", {{u"LANG=fra", true}}, kStartLaunch, u"", u"FRA", u""},
      // The class library sees a language word too: a plain one becomes its file name.
      {"lang= as a plain word", {{u"lang=jpnx", false}}, kStartLaunch, u"", u"JPN", u"lang=jpnx"},
      {"LANG without =", {{u"LANGUAGE", true}}, kStartLaunch, u"", u"", u""},
      {"a language between handoff and the root",
       {{u"handoff", true}, {u"lang=deu", false}, {u"G:\\", false}}, kStartHandoff, u"G:\\", u"DEU", u"lang=deu"},
      {"an unknown flag changes nothing", {{u"verbose", true}}, kStartLaunch, u"", u"", u""},
      {"recover after handoff: no device path", {{u"handoff", true}, {u"recover", true}, {u"E:\\", false}},
       kStartRecover, u"", u"", u"E:\\"},
  };
  for (const CommandLineRow& row : rows) {
    SCOPED_TRACE(row.name);
    CCustomizerApp app;
    CCustomizerCommandLineInfo info(app);
    parse(app, info, row.words);
    EXPECT_EQ(app.startMode, row.startMode);
    EXPECT_EQ(snapintest::utf8(app.devicePath), snapintest::utf8(CString(row.devicePath)));
    EXPECT_EQ(snapintest::utf8(app.languageCode), snapintest::utf8(CString(row.language)));
    EXPECT_EQ(snapintest::utf8(info.m_strFileName), snapintest::utf8(CString(row.fileName)));
    // The drive is published only once start-up knows it is the one instance.
    EXPECT_EQ(app.deviceFromCommandLine, *row.devicePath != 0);
  }
}

TEST_F(AppObjectTest, StructuredExceptionTexts) {
  struct Row {
    DWORD code;
    const char* text;
  };
  for (const Row& row : {Row{0xC0000005u, "{ctx}: Access violation."}, Row{0xC0000094u, "{ctx}: Division by zero."},
                         Row{0xC000001Du, "{ctx}: Illegal instruction."}, Row{0xC00000FDu, "{ctx}: Stack overflow."},
                         Row{0x80000003u, "{ctx}: Breakpoint."}, Row{0xC000008Eu, "{ctx}: Unknown exception occurred."},
                         Row{0x12345678u, "{ctx}: Unknown exception occurred."}}) {
    EXCEPTION_RECORD record{};
    record.ExceptionCode = row.code;
    CSE e(record, CONTEXT{});
    EXPECT_EQ(snapintest::utf8(describeStructuredExceptionText(e, CString(u"ctx"))), row.text);
  }
}

// A window whose handler of WM_USER+1 dereferences null, and which counts WM_USER+2.
constexpr UINT kFault = WM_USER + 1;
constexpr UINT kCount = WM_USER + 2;
int g_counted = 0;

LRESULT CALLBACK faultingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kFault) {
    volatile int* nowhere = nullptr;
    *nowhere = 1;
  }
  if (message == kCount) {
    ++g_counted;
    return 0;
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

HWND makeFaultingWindow() {
  WNDCLASSW wc{};
  wc.lpfnWndProc = faultingProc;
  wc.lpszClassName = u"KipoFaultingWindow";
  RegisterClassW(&wc);
  return CreateWindowExW(0, u"KipoFaultingWindow", u"", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
}

TEST_F(AppObjectTest, AFaultInAMessageHandlerIsLoggedAndTheLoopGoesOn) {
  if (!platform::seh::available()) GTEST_SKIP() << "faults are not translated in this build";
  CCustomizerApp app;
  app.installServices();
  installStructuredExceptionTranslator();
  HWND window = makeFaultingWindow();
  ASSERT_NE(window, nullptr);
  g_counted = 0;

  // The nested pump: the fault ends this pump; the next one dispatches what is left.
  PostMessageW(window, kFault, 0, 0);
  PostMessageW(window, kCount, 0, 0);
  app.processMessages();
  EXPECT_NE(logBytes().find("{CCustomizerApp::processMessages}: Access violation.<br>"), std::string::npos)
      << logBytes();
  app.processMessages();
  EXPECT_EQ(g_counted, 1);

  // The message loop: it reports the fault and goes on to the next message, then ends on the quit.
  PostMessageW(window, kFault, 0, 0);
  PostMessageW(window, kCount, 0, 0);
  PostQuitMessage(0);
  app.Run();
  EXPECT_NE(logBytes().find("{CCustomizerApp::Run}: Access violation.<br>"), std::string::npos) << logBytes();
  EXPECT_EQ(g_counted, 2);
  DestroyWindow(window);
}

// The document of the test: one snap-in whose personalize step runs what the test gives it.
class OneSnapinDoc : public CCustomizerDoc {
 public:
  explicit OneSnapinDoc(Journal& journal) : journal_(journal) {}
  TestSnapin* snapin = nullptr;

 protected:
  void makeCustomizers() override {
    auto made = std::make_unique<TestSnapin>(journal_, u"Alpha");
    snapin = made.get();
    addCustomizer(std::move(made));
  }

 private:
  Journal& journal_;
};

// The main window of the test: counts WM_CLOSE and stays.
class CloseCounter : public CWnd {
 public:
  int closes = 0;
  BOOL create() { return CreateEx(0, AfxRegisterWndClass(0), u"main", 0, 0, 0, 10, 10, nullptr, nullptr); }

 protected:
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message == WM_CLOSE) {
      ++closes;
      return 0;
    }
    return CWnd::WindowProc(message, wParam, lParam);
  }
};

TEST_F(AppObjectTest, ACloseDuringTheLoginPassIsHeldBackAndSentAfterIt) {
  for (Outcome outcome : {Outcome::True, Outcome::Throw, Outcome::ThrowUndefined}) {
    SCOPED_TRACE(static_cast<int>(outcome));
    getProfileDatabase().loadProfiles();
    ASSERT_TRUE(setLoginComputer(CString(u"ALPHA")));
    CCustomizerApp app;
    app.devicePath = u"E:\\";
    app.installServices();
    CloseCounter main;
    ASSERT_TRUE(main.create());
    app.m_pMainWnd = &main;
    Journal journal;
    OneSnapinDoc doc(journal);
    doc.setEndOfPassPause(0);
    app.customizerDocument = &doc;
    doc.createCustomizers();
    ASSERT_NE(doc.snapin, nullptr);

    int closesDuring = -1;
    bool heldDuring = false;
    doc.snapin->outcomes["personalize"] = outcome;
    doc.snapin->during["personalize"] = [&] {
      main.PostMessage(WM_CLOSE);
      app.processMessages();
      closesDuring = main.closes;
      heldDuring = app.pendingClose;
    };
    doc.personalize();
    EXPECT_EQ(closesDuring, 0);
    EXPECT_TRUE(heldDuring);
    EXPECT_FALSE(app.pendingClose);
    app.processMessages();
    EXPECT_EQ(main.closes, 1);

    // Outside a pass a close goes through at once.
    main.PostMessage(WM_CLOSE);
    app.processMessages();
    EXPECT_EQ(main.closes, 2);

    app.customizerDocument = nullptr;
    app.m_pMainWnd = nullptr;
    main.DestroyWindow();
    CRegistry(CString(u"HKEY_CURRENT_USER\\Software\\Brackwater\\Kipo\\localPrefs"), false, true).deleteKey();
  }
}

}  // namespace

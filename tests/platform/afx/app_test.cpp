// The application framework end to end: a document template makes document, frame and view;
// commands are routed view -> document -> frame -> application; closing the main frame ends the
// application; the multiple-document frames; the profile in the registry; the resource chain
// (a language library before the program); and the fixture program as another process, whose
// renamed main frame is found by its class name and closed from here.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "afx_classes.h"
#include "platform/base/text.h"
#include "platform/win32/commdlg.h"
#include "platform/win32/file.h"
#include "platform/win32/module.h"
#include "platform/win32/registry.h"
#include "tests/support/child_program.h"
#include "tests/support/test_host.h"
#include "tests/support/ui_script.h"

namespace {

namespace fs = std::filesystem;

class AppTest : public ::testing::Test {
 protected:
  AppTest() { g_route.clear(); }
  ~AppTest() override {
    if (app_.m_pMainWnd && app_.m_pMainWnd->m_hWnd) app_.m_pMainWnd->DestroyWindow();
    app_.CloseAllDocuments(TRUE);
    AfxSetResourceHandle(nullptr);
    CWnd::DeleteTempMap();
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
    }
  }
  CTestDoc* newSdiDocument() {
    app_.addSdiTemplate();
    app_.OnFileNew();
    POSITION pos = app_.GetFirstDocTemplatePosition();
    CDocTemplate* t = app_.GetNextDocTemplate(pos);
    POSITION d = t->GetFirstDocPosition();
    return d ? static_cast<CTestDoc*>(t->GetNextDoc(d)) : nullptr;
  }

  kipotest::TestHost host_;
  CTestApp app_;
};

TEST_F(AppTest, FileNewMakesDocumentFrameAndViewAndTheMainWindow) {
  app_.m_nCmdShow = SW_SHOWNORMAL;
  CTestDoc* doc = newSdiDocument();
  ASSERT_NE(doc, nullptr);
  EXPECT_EQ(doc->m_nNewCalls, 1);
  ASSERT_NE(app_.m_pMainWnd, nullptr);
  ASSERT_TRUE(app_.m_pMainWnd->IsKindOf(RUNTIME_CLASS(CTestFrame)));
  auto* frame = static_cast<CTestFrame*>(app_.m_pMainWnd);
  EXPECT_EQ(AfxGetMainWnd(), frame);
  CView* view = frame->GetActiveView();
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(view->GetDocument(), doc);
  EXPECT_EQ(static_cast<CTestView*>(view)->m_nInitialUpdates, 1);
  EXPECT_EQ(view->GetParent(), frame);
  POSITION pos = doc->GetFirstViewPosition();
  EXPECT_EQ(doc->GetNextView(pos), view);
  EXPECT_EQ(pos, nullptr);
  // The frame's class is the renamed one, its title "document - application", and it is shown.
  EXPECT_EQ(FindWindowW(KIPO_TEST_FRAME_CLASS, nullptr), frame->m_hWnd);
  CString title;
  frame->GetWindowText(title);
  EXPECT_EQ(title, CString(u"Untitled - Kipo Test"));
  EXPECT_TRUE(frame->IsWindowVisible());
  EXPECT_EQ(app_.m_nCmdShow, -1) << "the show command is used once";
  // The view fills the frame's client area.
  CRect client, pane;
  frame->GetClientRect(&client);
  view->GetClientRect(&pane);
  EXPECT_EQ(pane.Size(), client.Size());

  // A second File New reuses the single document and frame.
  app_.OnFileNew();
  EXPECT_EQ(doc->m_nNewCalls, 2);
  EXPECT_EQ(app_.m_pMainWnd, frame);
}

TEST_F(AppTest, CommandsAreRoutedViewDocumentFrameApplication) {
  ASSERT_NE(newSdiDocument(), nullptr);
  CWnd* frame = app_.m_pMainWnd;
  struct Case {
    UINT id;
    const char* expected;  // null: nobody
  };
  const Case cases[] = {
      {ID_TEST_EVERYWHERE, "view:everywhere"}, {ID_TEST_VIEW_ONLY, "view:only"}, {ID_TEST_DOC_ONLY, "doc:only"},
      {ID_TEST_FRAME_ONLY, "frame:only"},      {ID_TEST_APP_ONLY, "app:only"},   {ID_TEST_DISABLED, nullptr},
      {0x7777, nullptr},
  };
  for (const Case& c : cases) {
    g_route.clear();
    frame->SendMessage(WM_COMMAND, c.id, 0);
    if (c.expected) EXPECT_EQ(g_route, std::vector<std::string>{c.expected}) << c.id;
    else EXPECT_TRUE(g_route.empty()) << c.id;
  }
  // A posted command goes through the loop the same way.
  g_route.clear();
  frame->PostMessage(WM_COMMAND, ID_TEST_DOC_ONLY, 0);
  MSG m;
  while (PeekMessageW(&m, nullptr, WM_COMMAND, WM_COMMAND, PM_REMOVE)) DispatchMessageW(&m);
  EXPECT_EQ(g_route, std::vector<std::string>{"doc:only"});
}

TEST_F(AppTest, UpdateAllViewsSkipsTheSender) {
  CTestDoc* doc = newSdiDocument();
  ASSERT_NE(doc, nullptr);
  auto* view = static_cast<CTestView*>(static_cast<CFrameWnd*>(app_.m_pMainWnd)->GetActiveView());
  int before = view->m_nUpdates;
  doc->UpdateAllViews(nullptr);
  EXPECT_EQ(view->m_nUpdates, before + 1);
  doc->UpdateAllViews(view);
  EXPECT_EQ(view->m_nUpdates, before + 1);
  doc->SetModifiedFlag();
  EXPECT_TRUE(doc->IsModified());
}

TEST_F(AppTest, SaveModifiedAsksYesNoCancelAndSavesOnYes) {
  CTestDoc* doc = newSdiDocument();
  ASSERT_NE(doc, nullptr);
  {
    kipotest::UiScript ui;  // any box would be unanswered and fail the test
    EXPECT_TRUE(doc->SaveModified()) << "an unmodified document closes without a question";
  }
  doc->SetModifiedFlag();
  struct Case {
    int button;
    BOOL result;
  } cases[] = {{IDCANCEL, FALSE}, {IDNO, TRUE}};
  for (const auto& c : cases) {
    kipotest::UiScript ui;
    ui.box(u"^Save changes to Untitled\\?$").answer(c.button);
    EXPECT_EQ(doc->SaveModified(), c.result) << c.button;
    ASSERT_EQ(ui.boxes().size(), 1u);
    EXPECT_EQ(ui.boxes()[0].style & 0xFu, static_cast<UINT>(MB_YESNOCANCEL));
    EXPECT_TRUE(doc->IsModified()) << "nothing was saved";
  }
  EXPECT_FALSE(fs::exists(host_.c("saved.kdoc")));

  // Yes without a path asks for one, saves there and takes it.
  {
    kipotest::UiScript ui;
    ui.box(u"Untitled").answer(IDYES).window(u"#32770").type(platform::commdlg::kFileNameId, u"C:\\saved.kdoc").click(IDOK);
    EXPECT_TRUE(doc->SaveModified());
  }
  EXPECT_TRUE(fs::exists(host_.c("saved.kdoc")));
  EXPECT_EQ(platform::text::toUtf8(doc->GetPathName().GetString()), "C:\\saved.kdoc");
  EXPECT_FALSE(doc->IsModified());

  // Yes with a path saves over the file without asking for a name.
  host_.write("saved.kdoc", "stale");
  doc->SetModifiedFlag();
  {
    kipotest::UiScript ui;
    ui.box(u"^Save changes to C:\\\\saved\\.kdoc\\?$").answer(IDYES);
    EXPECT_TRUE(doc->SaveModified());
  }
  EXPECT_EQ(fs::file_size(host_.c("saved.kdoc")), 0u) << "rewritten by the document";

  // A read-only file asks for another name; cancelling that dialog keeps the document open.
  ASSERT_TRUE(SetFileAttributesW(u"C:\\saved.kdoc", FILE_ATTRIBUTE_READONLY));
  doc->SetModifiedFlag();
  {
    kipotest::UiScript ui;
    ui.box(u"saved").answer(IDYES).window(u"#32770").click(IDCANCEL);
    EXPECT_FALSE(doc->SaveModified());
  }
  EXPECT_TRUE(doc->IsModified());
  SetFileAttributesW(u"C:\\saved.kdoc", FILE_ATTRIBUTE_NORMAL);
}

TEST_F(AppTest, ClosingTheMainFrameClosesTheDocumentAndQuits) {
  ASSERT_NE(newSdiDocument(), nullptr);
  HWND frame = app_.m_pMainWnd->m_hWnd;
  ::PostMessageW(frame, WM_CLOSE, 0, 0);
  EXPECT_EQ(app_.Run(), 0);
  EXPECT_FALSE(::IsWindow(frame));
  EXPECT_EQ(app_.m_pMainWnd, nullptr);
  POSITION pos = app_.GetFirstDocTemplatePosition();
  EXPECT_EQ(app_.GetNextDocTemplate(pos)->GetFirstDocPosition(), nullptr) << "the document is gone";
}

TEST_F(AppTest, MultipleDocumentFramesNumberTheirDocumentsAndRouteToTheActiveChild) {
  auto* main = new CTestMDIFrame;
  ASSERT_TRUE(main->LoadFrame(IDR_MAINFRAME));
  app_.m_pMainWnd = main;
  ASSERT_NE(main->m_hWndMDIClient, nullptr);
  auto* t = new CMultiDocTemplate(IDR_KIPODOC, RUNTIME_CLASS(CTestDoc), RUNTIME_CLASS(CTestChildFrame),
                                  RUNTIME_CLASS(CTestView));
  app_.AddDocTemplate(t);
  CDocument* first = t->OpenDocumentFile(nullptr);
  CDocument* second = t->OpenDocumentFile(nullptr);
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(first->GetTitle(), CString(u"KipoDoc1"));
  EXPECT_EQ(second->GetTitle(), CString(u"KipoDoc2"));
  CMDIChildWnd* active = main->MDIGetActive();
  ASSERT_NE(active, nullptr);
  EXPECT_EQ(active->GetActiveDocument(), second);
  EXPECT_EQ(active->GetParent()->m_hWnd, main->m_hWndMDIClient);
  g_route.clear();
  main->SendMessage(WM_COMMAND, ID_TEST_EVERYWHERE, 0);
  EXPECT_EQ(g_route, std::vector<std::string>{"view:everywhere"});

  // Closing the active child hands the activation to the other one.
  active->SendMessage(WM_CLOSE);
  CMDIChildWnd* now = main->MDIGetActive();
  ASSERT_NE(now, nullptr);
  EXPECT_EQ(now->GetActiveDocument(), first);
  POSITION pos = t->GetFirstDocPosition();
  EXPECT_EQ(t->GetNextDoc(pos), first);
  EXPECT_EQ(pos, nullptr) << "the closed child's document went with it";
}

TEST_F(AppTest, TheProfileLivesUnderTheRegistryKey) {
  EXPECT_EQ(app_.GetProfileString(u"Settings", u"Name", u"fallback"), CString(u"fallback")) << "no registry key yet";
  EXPECT_FALSE(app_.WriteProfileInt(u"Settings", u"Count", 1));
  app_.SetRegistryKey(u"Kipo Test Maker");
  EXPECT_EQ(app_.GetProfileInt(u"Settings", u"Count", -3), static_cast<UINT>(-3));
  EXPECT_TRUE(app_.WriteProfileString(u"Settings", u"Name", u"Kipo"));
  EXPECT_TRUE(app_.WriteProfileInt(u"Settings", u"Count", 42));
  BYTE blob[] = {1, 2, 0, 3};
  EXPECT_TRUE(app_.WriteProfileBinary(u"Settings", u"Blob", blob, sizeof blob));
  EXPECT_EQ(app_.GetProfileString(u"Settings", u"Name"), CString(u"Kipo"));
  EXPECT_EQ(app_.GetProfileInt(u"Settings", u"Count", 0), 42u);
  LPBYTE data = nullptr;
  UINT size = 0;
  ASSERT_TRUE(app_.GetProfileBinary(u"Settings", u"Blob", &data, &size));
  EXPECT_EQ(std::vector<BYTE>(data, data + size), std::vector<BYTE>(blob, blob + 4));
  delete[] data;
  // A value of another type reads as missing.
  EXPECT_EQ(app_.GetProfileInt(u"Settings", u"Name", 7), 7u);
  // The place, as other programs see it.
  DWORD value = 0, bytes = sizeof value, type = 0;
  HKEY key;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\Kipo Test Maker\\Kipo Test App\\Settings", 0, KEY_READ, &key),
            ERROR_SUCCESS);
  EXPECT_EQ(RegQueryValueExW(key, u"Count", nullptr, &type, reinterpret_cast<LPBYTE>(&value), &bytes), ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(value, 42u);
  RegCloseKey(key);
  // A null value deletes the entry; a null entry the section.
  EXPECT_TRUE(app_.WriteProfileString(u"Settings", u"Name", nullptr));
  EXPECT_EQ(app_.GetProfileString(u"Settings", u"Name", u"gone"), CString(u"gone"));
  EXPECT_TRUE(app_.WriteProfileString(u"Settings", nullptr, nullptr));
  EXPECT_EQ(app_.GetProfileInt(u"Settings", u"Count", 9), 9u);
}

TEST_F(AppTest, TheResourceChainLooksInTheLanguageLibraryFirst) {
  CString s;
  ASSERT_TRUE(s.LoadString(IDS_HELLO));
  EXPECT_EQ(s, CString(u"Hello from the program"));
  fs::create_directories(host_.c("Program Files/Kipo"));
  fs::copy_file(KIPO_FIXTURE_LANGUAGE, host_.c("Program Files/Kipo/Lingrove_TST.DLL"),
                fs::copy_options::overwrite_existing);
  HMODULE lang = LoadLibraryW(u"C:\\Program Files\\Kipo\\Lingrove_TST.DLL");
  ASSERT_NE(lang, nullptr);
  AfxSetResourceHandle(lang);
  EXPECT_EQ(AfxGetResourceHandle(), lang);
  ASSERT_TRUE(s.LoadString(IDS_HELLO));
  EXPECT_EQ(s, CString(u"Bonjour de la biblioth\u00e8que"));
  ASSERT_TRUE(s.LoadString(IDS_PROGRAM_ONLY)) << "missing from the library: the program's";
  EXPECT_EQ(s, CString(u"Only in the program"));
  EXPECT_EQ(AfxFindResourceHandle(MAKEINTRESOURCEW(IDD_PLAIN), RT_DIALOG), lang);
  EXPECT_EQ(AfxFindResourceHandle(MAKEINTRESOURCEW(IDD_SETTINGS), RT_DIALOG), AfxGetInstanceHandle());
  s = u"unchanged";
  EXPECT_FALSE(s.LoadString(4242));
  EXPECT_EQ(s, CString(u"unchanged"));

  // Dialogs come through the chain too: the library's caption.
  CDialog dlg;
  ASSERT_TRUE(dlg.Create(IDD_PLAIN));
  CString caption;
  dlg.GetWindowText(caption);
  EXPECT_EQ(caption, CString(u"Dialogue"));
  dlg.DestroyWindow();
  AfxSetResourceHandle(nullptr);
  ASSERT_TRUE(dlg.Create(IDD_PLAIN));
  dlg.GetWindowText(caption);
  EXPECT_EQ(caption, CString(u"Program dialog"));
  FreeLibrary(lang);
}

TEST_F(AppTest, WorkerThreadsRunAndDeleteThemselves) {
  static std::atomic<int> ran{0};
  static int eleven = 11;
  ran = 0;
  CWinThread* t = AfxBeginThread([](LPVOID p) -> UINT {
    ran = *static_cast<int*>(p);
    return 3;
  }, &eleven, THREAD_PRIORITY_NORMAL, 0, CREATE_SUSPENDED);
  ASSERT_NE(t, nullptr);
  t->m_bAutoDelete = FALSE;
  t->ResumeThread();
  ASSERT_EQ(WaitForSingleObject(t->m_hThread, 5000), WAIT_OBJECT_0);
  DWORD code = 0;
  GetExitCodeThread(t->m_hThread, &code);
  EXPECT_EQ(code, 3u);
  EXPECT_EQ(ran, 11);
  delete t;
}

// ---- The fixture program as another process ----

// The fixture program with its standard output on a pipe.
class Fixture : public kipotest::ChildProgram {
 public:
  explicit Fixture(const std::vector<std::string>& args) : ChildProgram(KIPO_AFX_FIXTURE, args) {}
};

TEST_F(AppTest, ParseParamGetsEachWordWithFlagsStripped) {
  Fixture f({"/exit-now", "-Embedding", "C:\\docs\\a file.kdoc", "second"});
  std::string out = f.readUntil("shell");
  EXPECT_EQ(f.wait(), 7) << "InitInstance failed: ExitInstance's code";
  EXPECT_NE(out.find("param [exit-now] flag=1 last=0\n"
                     "param [Embedding] flag=1 last=0\n"
                     "param [C:\\docs\\a file.kdoc] flag=0 last=0\n"
                     "param [second] flag=0 last=1\n"
                     "shell 1 file [C:\\docs\\a file.kdoc]"),
            std::string::npos)
      << out;
}

TEST_F(AppTest, AnotherProcessFindsTheRenamedFrameAndClosesTheApplication) {
  Fixture f({});
  std::string out = f.readUntil("ready ");
  ASSERT_NE(out.find("ready "), std::string::npos) << out;
  HWND frame = FindWindowW(KIPO_TEST_FRAME_CLASS, nullptr);
  ASSERT_NE(frame, nullptr);
  EXPECT_EQ(std::to_string(reinterpret_cast<UINT_PTR>(frame)), out.substr(out.find("ready ") + 6, out.find('\n', out.find("ready ")) - out.find("ready ") - 6));
  WCHAR title[64];
  GetWindowTextW(frame, title, 64);
  EXPECT_EQ(std::u16string(title), u"Untitled - Kipo Test");
  EXPECT_TRUE(IsWindowVisible(frame));
  ASSERT_TRUE(PostMessageW(frame, WM_CLOSE, 0, 0));
  out = f.readUntil("exit");
  EXPECT_EQ(f.wait(), 7);
  EXPECT_NE(out.find("exit"), std::string::npos);
  EXPECT_EQ(FindWindowW(KIPO_TEST_FRAME_CLASS, nullptr), nullptr);
}

TEST_F(AppTest, AProgramsMessageBoxIsAWindowAnotherProcessCanAnswer) {
  Fixture f({"/box"});
  // The box is created hidden and shown once laid out: wait for it to be up.
  HWND box = nullptr;
  for (int i = 0; i < 500 && !(box && IsWindowVisible(box)); ++i) {
    box = FindWindowW(u"#32770", u"Kipo Test App");
    if (!(box && IsWindowVisible(box))) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ASSERT_NE(box, nullptr) << f.readUntil("box");
  EXPECT_TRUE(IsWindowVisible(box));
  ASSERT_TRUE(PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDNO, BN_CLICKED), 0));
  std::string out = f.readUntil("box ");
  EXPECT_EQ(f.wait(), 7);
  EXPECT_NE(out.find("box 7\n"), std::string::npos) << out;  // IDNO
}

}  // namespace

// CWnd and message maps: a CWnd is tied to its window from the first message, handlers are found
// by message, command id, range, notification and reflection, update-UI handlers can veto menu
// commands, subclassing passes what the map leaves to the old procedure, an exception escaping a
// handler is answered by the thread, and the handle map's objects live as documented.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/afx/app.h"
#include "platform/afx/exception.h"
#include "platform/afx/wnd.h"
#include "platform/base/text.h"
#include "platform/win32/error.h"
#include "platform/win32/process.h"
#include "tests/support/test_host.h"

namespace {

std::vector<std::string> g_seen;
UINT g_registered = 0;
constexpr UINT kNmClick = static_cast<UINT>(-2);

class CProbeWnd : public CWnd {
 public:
  bool tiedInCreate = false;
  bool closeDestroys = false;
  int createAnswer = 0;
  bool throwInCreate = false;

  int OnCreate(LPCREATESTRUCT) {
    tiedInCreate = FromHandlePermanent(m_hWnd) == this;
    g_seen.push_back("create");
    if (throwInCreate) AfxThrowUserException();
    return createAnswer;
  }
  void OnClose() {
    g_seen.push_back("close");
    if (closeDestroys) CWnd::OnClose();
  }
  void OnTimer(UINT_PTR id) { g_seen.push_back("timer " + std::to_string(id)); }
  LRESULT OnDouble(WPARAM w, LPARAM) { return static_cast<LRESULT>(w * 2); }
  LRESULT OnRegistered(WPARAM, LPARAM l) { return l + 1; }
  LRESULT OnThrow(WPARAM, LPARAM) { AfxThrowNotSupportedException(); }
  void OnCommand100() { g_seen.push_back("cmd 100"); }
  void OnRange(UINT id) { g_seen.push_back("range " + std::to_string(id)); }
  void OnVetoed() { g_seen.push_back("vetoed ran"); }
  void OnUpdateVetoed(CCmdUI* ui) { ui->Enable(FALSE); }
  void OnClicked() { g_seen.push_back("clicked 400"); }
  void OnClick(NMHDR* n, LRESULT* r) {
    g_seen.push_back("notify " + std::to_string(n->idFrom));
    *r = 99;
  }
  void PostNcDestroy() override { g_seen.push_back("postncdestroy"); }
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CProbeWnd, CWnd)
  ON_WM_CREATE()
  ON_WM_CLOSE()
  ON_WM_TIMER()
  ON_MESSAGE(WM_USER + 1, OnDouble)
  ON_MESSAGE(WM_USER + 2, OnThrow)
  ON_REGISTERED_MESSAGE(g_registered, OnRegistered)
  ON_COMMAND(100, OnCommand100)
  ON_COMMAND_RANGE(200, 210, OnRange)
  ON_COMMAND(300, OnVetoed)
  ON_UPDATE_COMMAND_UI(300, OnUpdateVetoed)
  ON_BN_CLICKED(400, OnClicked)
  ON_NOTIFY(kNmClick, 500, OnClick)
END_MESSAGE_MAP()

// A derived class: its entry for a message wins over the base's, the base's others still apply.
class CDerivedProbe : public CProbeWnd {
 public:
  LRESULT OnDoubleTriple(WPARAM w, LPARAM) { return static_cast<LRESULT>(w * 3); }
  DECLARE_MESSAGE_MAP()
};
BEGIN_MESSAGE_MAP(CDerivedProbe, CProbeWnd)
  ON_MESSAGE(WM_USER + 1, OnDoubleTriple)
END_MESSAGE_MAP()

// A control-like child that takes its own clicks back (reflection) before the parent sees them.
class CReflectingChild : public CWnd {
 public:
  bool take = true;
  void OnReflectedClick() { g_seen.push_back("child took click"); }
  BOOL OnChildNotify(UINT m, WPARAM w, LPARAM l, LRESULT* r) override {
    return take && CWnd::OnChildNotify(m, w, l, r);
  }
  DECLARE_MESSAGE_MAP()
};
BEGIN_MESSAGE_MAP(CReflectingChild, CWnd)
  ON_CONTROL_REFLECT(BN_CLICKED, OnReflectedClick)
END_MESSAGE_MAP()

class CTestThreadApp : public CWinApp {
 public:
  std::vector<UINT> exceptionMessages;
  LRESULT ProcessWndProcException(CException* e, const MSG* pMsg) override {
    exceptionMessages.push_back(pMsg->message);
    return CWinApp::ProcessWndProcException(e, pMsg);
  }
};

class WndTest : public ::testing::Test {
 protected:
  WndTest() {
    g_seen.clear();
    g_registered = RegisterWindowMessageW(u"KipoWndTestMessage");
    platform::afx::setMessageBoxHook([this](const CString& text, UINT) {
      boxes_.push_back(platform::text::toUtf8(text.view()));
      return IDOK;
    });
  }
  ~WndTest() override {
    platform::afx::setMessageBoxHook(nullptr);
    CWnd::DeleteTempMap();
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
    }
  }
  BOOL create(CWnd& w, DWORD style = WS_OVERLAPPEDWINDOW, HWND parent = nullptr, UINT id = 0) {
    return w.CreateEx(0, AfxRegisterWndClass(0), u"probe", style, 0, 0, 100, 100, parent,
                      reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)));
  }

  kipotest::TestHost host_;
  CTestThreadApp app_;
  std::vector<std::string> boxes_;
};

TEST_F(WndTest, TheObjectIsTiedBeforeItsFirstHandlerRuns) {
  CProbeWnd w;
  ASSERT_TRUE(create(w));
  EXPECT_TRUE(w.tiedInCreate);
  EXPECT_EQ(CWnd::FromHandlePermanent(w.m_hWnd), &w);
  EXPECT_EQ(CWnd::FromHandle(w.m_hWnd), &w);
  EXPECT_EQ(w.GetSafeHwnd(), w.m_hWnd);
  EXPECT_EQ(platform::afx::hwndOf(&w), w.m_hWnd);
  EXPECT_EQ(platform::afx::hwndOf(nullptr), nullptr);
}

TEST_F(WndTest, MessagesReachTheirHandlersWithTheirAnswers) {
  CProbeWnd w;
  ASSERT_TRUE(create(w));
  EXPECT_EQ(w.SendMessage(WM_USER + 1, 21), 42);
  EXPECT_EQ(w.SendMessage(g_registered, 0, 9), 10) << "a registered message by its variable";
  w.SetTimer(5, 10, nullptr);
  MSG m;
  while (GetMessageW(&m, nullptr, 0, 0)) {
    DispatchMessageW(&m);
    if (m.message == WM_TIMER) break;
  }
  w.KillTimer(5);
  w.SendMessage(WM_CLOSE);
  EXPECT_TRUE(::IsWindow(w.m_hWnd)) << "OnClose without the default keeps the window";
  EXPECT_EQ(g_seen, (std::vector<std::string>{"create", "timer 5", "close"}));
  // A message without an entry gets the default (here: WM_SETTEXT stores the text).
  w.SetWindowText(u"renamed");
  CString text;
  w.GetWindowText(text);
  EXPECT_EQ(text, CString(u"renamed"));
}

TEST_F(WndTest, DerivedMapsOverrideAndInherit) {
  CDerivedProbe w;
  ASSERT_TRUE(create(w));
  EXPECT_EQ(w.SendMessage(WM_USER + 1, 5), 15);
  EXPECT_EQ(w.SendMessage(g_registered, 0, 1), 2);
  EXPECT_TRUE(w.tiedInCreate);
}

TEST_F(WndTest, CommandsByIdRangeAndUpdateUi) {
  CProbeWnd w;
  ASSERT_TRUE(create(w));
  g_seen.clear();
  struct Case {
    WPARAM wParam;
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {100, {"cmd 100"}},
      {200, {"range 200"}},
      {210, {"range 210"}},
      {211, {}},
      {MAKEWPARAM(100, 1), {"cmd 100"}},  // an accelerator's command
      {300, {}},                          // its update-UI handler disabled it
  };
  for (const Case& c : cases) {
    g_seen.clear();
    w.SendMessage(WM_COMMAND, c.wParam, 0);
    EXPECT_EQ(g_seen, c.expected) << "wParam " << c.wParam;
  }
  // The update-UI pass itself: the handler's verdict, and disabling when nothing handles an id.
  platform::afx::ProbeCmdUI ui;
  ui.m_nID = 300;
  EXPECT_TRUE(ui.DoUpdate(&w, TRUE));
  EXPECT_FALSE(ui.m_bEnabled);
  platform::afx::ProbeCmdUI orphan;
  orphan.m_nID = 999;
  orphan.DoUpdate(&w, TRUE);
  EXPECT_FALSE(orphan.m_bEnabled);
  platform::afx::ProbeCmdUI handled;
  handled.m_nID = 100;
  handled.DoUpdate(&w, TRUE);
  EXPECT_TRUE(handled.m_bEnabled) << "a command with a handler stays enabled";
}

TEST_F(WndTest, ControlNotificationsAndReflection) {
  CProbeWnd parent;
  ASSERT_TRUE(create(parent));
  CReflectingChild child;
  ASSERT_TRUE(create(child, WS_CHILD | WS_VISIBLE, parent.m_hWnd, 400));
  CProbeWnd stranger;
  ASSERT_TRUE(create(stranger));
  g_seen.clear();
  const LPARAM fromChild = reinterpret_cast<LPARAM>(child.m_hWnd);
  parent.SendMessage(WM_COMMAND, MAKEWPARAM(400, BN_CLICKED), fromChild);
  EXPECT_EQ(g_seen, std::vector<std::string>{"child took click"});
  child.take = false;
  g_seen.clear();
  parent.SendMessage(WM_COMMAND, MAKEWPARAM(400, BN_CLICKED), fromChild);
  EXPECT_EQ(g_seen, std::vector<std::string>{"clicked 400"});
  g_seen.clear();
  parent.SendMessage(WM_COMMAND, MAKEWPARAM(400, BN_CLICKED), reinterpret_cast<LPARAM>(stranger.m_hWnd));
  EXPECT_TRUE(g_seen.empty()) << "a window that is no child of ours sends no control notification";

  NMHDR n{child.m_hWnd, 500, kNmClick};
  g_seen.clear();
  EXPECT_EQ(parent.SendMessage(WM_NOTIFY, 500, reinterpret_cast<LPARAM>(&n)), 99);
  EXPECT_EQ(g_seen, std::vector<std::string>{"notify 500"});
}

TEST_F(WndTest, SubclassingPutsTheMapFirstAndUnsubclassingRestores) {
  HWND plain = CreateWindowExW(0, AfxRegisterWndClass(CS_DBLCLKS), u"plain", WS_OVERLAPPEDWINDOW, 0, 0, 50, 50,
                               nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(plain, nullptr);
  EXPECT_EQ(CWnd::FromHandlePermanent(plain), nullptr) << "made without a CWnd";
  CWnd* temp = CWnd::FromHandle(plain);
  ASSERT_NE(temp, nullptr);
  EXPECT_EQ(CWnd::FromHandle(plain), temp) << "one temporary object per handle";

  CProbeWnd w;
  ASSERT_TRUE(w.SubclassWindow(plain));
  EXPECT_EQ(CWnd::FromHandlePermanent(plain), &w);
  EXPECT_EQ(::SendMessageW(plain, WM_USER + 1, 4, 0), 8);
  ::SetWindowTextW(plain, u"still default");
  WCHAR text[32];
  ::GetWindowTextW(plain, text, 32);
  EXPECT_EQ(std::u16string(text), u"still default");
  EXPECT_FALSE(CWnd().Attach(plain)) << "a window has one permanent object";
  EXPECT_EQ(w.UnsubclassWindow(), plain);
  EXPECT_EQ(w.m_hWnd, nullptr);
  EXPECT_EQ(::SendMessageW(plain, WM_USER + 1, 4, 0), 0) << "the map no longer answers";
  ::DestroyWindow(plain);
}

TEST_F(WndTest, AttachDetachAndDestruction) {
  HWND h = CreateWindowExW(0, AfxRegisterWndClass(0), u"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  {
    CWnd w;
    ASSERT_TRUE(w.Attach(h));
    EXPECT_EQ(CWnd::FromHandlePermanent(h), &w);
    EXPECT_EQ(w.Detach(), h);
    EXPECT_EQ(CWnd::FromHandlePermanent(h), nullptr);
  }
  EXPECT_TRUE(::IsWindow(h)) << "a detached object leaves its window alone";
  {
    CWnd w;
    w.Attach(h);
  }
  EXPECT_FALSE(::IsWindow(h)) << "an attached object takes its window with it";

  CProbeWnd p;
  ASSERT_TRUE(create(p));
  HWND ph = p.m_hWnd;
  g_seen.clear();
  p.DestroyWindow();
  EXPECT_EQ(p.m_hWnd, nullptr);
  EXPECT_EQ(CWnd::FromHandlePermanent(ph), nullptr);
  EXPECT_EQ(g_seen, std::vector<std::string>{"postncdestroy"});
}

TEST_F(WndTest, ExceptionsInHandlersAreAnsweredByTheThread) {
  CProbeWnd refuses;
  refuses.throwInCreate = true;
  EXPECT_FALSE(create(refuses)) << "WM_CREATE answered -1";
  EXPECT_EQ(refuses.m_hWnd, nullptr);

  CProbeWnd w;
  ASSERT_TRUE(create(w));
  EXPECT_EQ(w.SendMessage(WM_USER + 2), 0);
  EXPECT_EQ(app_.exceptionMessages, (std::vector<UINT>{WM_CREATE, WM_USER + 2}));
  ASSERT_EQ(boxes_.size(), 1u) << "the user is told of the second, not of the CUserException";
  EXPECT_TRUE(::IsWindow(w.m_hWnd));
}

TEST_F(WndTest, TheMainWindowsEndQuitsItsThread) {
  auto* w = new CProbeWnd;
  w->closeDestroys = true;
  ASSERT_TRUE(create(*w));
  app_.m_pMainWnd = w;
  w->PostMessage(WM_CLOSE);
  EXPECT_EQ(app_.Run(), 0) << "Run returns ExitInstance's code after WM_QUIT";
  EXPECT_EQ(app_.m_pMainWnd, nullptr);
  EXPECT_EQ(g_seen.back(), "postncdestroy");
  delete w;
}

TEST_F(WndTest, RunCallsOnIdleUntilItDeclinesAndSurvivesExceptions) {
  // OnIdle(0), OnIdle(1) when the queue empties; a message starts a new idle period.
  struct IdleApp : CWinApp {
    std::vector<LONG> idle;
    CWnd* target = nullptr;
    BOOL OnIdle(LONG n) override {
      idle.push_back(n);
      BOOL more = CWinApp::OnIdle(n);
      if (!more && idle.size() == 2) target->PostMessage(WM_USER + 2);  // throws in its handler
      if (!more && idle.size() == 4) PostQuitMessage(5);
      return more;
    }
  };
  // A second application object is not AfxGetApp, but runs its own loop just the same.
  IdleApp idleApp;
  CProbeWnd w;
  ASSERT_TRUE(create(w));
  idleApp.target = &w;
  idleApp.m_pMainWnd = &w;
  EXPECT_EQ(idleApp.Run(), 5);
  idleApp.m_pMainWnd = nullptr;
  EXPECT_EQ(idleApp.idle, (std::vector<LONG>{0, 1, 0, 1}));
  EXPECT_EQ(app_.exceptionMessages, std::vector<UINT>{WM_USER + 2}) << "the loop went on after the exception";
}

}  // namespace

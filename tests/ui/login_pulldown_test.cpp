// The login pull-down: its geometry (panel, tab, progress, open and resting places with and
// without a top taskbar), the login messages (a computer chosen while closed, or while logged in),
// and the wait for a logout that answers Windows' end-of-session question, under the host's time
// scale (a 10-second logout lets Windows end, a 40-second one does not).
#include "ui/login_pulldown.h"

#include <gtest/gtest.h>

#include "app/customizer_doc.h"
#include "app/profile_database.h"
#include "lang/ids.h"
#include "platform/afx/ole.h"
#include "platform/afx/occ.h"
#include "platform/win32/win32.h"
#include "tests/ui/login_fixture.h"

namespace {

using logintest::LoginTest;
using logintest::ScriptedHost;

class LoginPulldownTest : public LoginTest {
 protected:
  ScriptedHost loginHost;
};

std::string text(const CRect& r) {
  return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) + "," +
         std::to_string(r.bottom);
}

TEST(PulldownGeometry, PlacesPanelTabAndProgressAndRestsBelowATopTaskbar) {
  struct Case {
    int W, H, tw, th, Sw, Sh, taskbar;
    const char *tabBox, *progress, *open, *resting;
  };
  const Case cases[] = {
      {459, 150, 120, 22, 1024, 768, 0, "169,150,289,172", "180,150,276,172", "283,0,742,172", "283,-150,742,22"},
      {459, 150, 120, 22, 1024, 768, 30, "169,150,289,172", "180,150,276,172", "283,30,742,202", "283,-120,742,52"},
      {340, 215, 121, 23, 800, 600, 0, "110,215,231,238", "121,215,218,238", "230,0,570,238", "230,-215,570,23"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.open);
    const CPulldownGeometry g = CPulldownGeometry::compute(c.W, c.H, c.tw, c.th, c.Sw, c.Sh, c.taskbar);
    EXPECT_EQ(text(g.panel), "0,0," + std::to_string(c.W) + "," + std::to_string(c.H));
    EXPECT_EQ(text(g.tabBox), c.tabBox);
    EXPECT_EQ(text(g.progress), c.progress);
    EXPECT_EQ(text(g.open), c.open);
    EXPECT_EQ(text(g.resting), c.resting);
    // The tab narrows by 10 pixels on each side toward its bottom.
    EXPECT_EQ(g.tab[1].x - g.tab[0].x, 10);
    EXPECT_EQ(g.tab[3].x - g.tab[2].x, 10);
    EXPECT_EQ(text(g.uncoverStart), "0,0," + std::to_string(c.Sw) + "," + std::to_string(c.Sh));
    EXPECT_EQ(text(g.uncoverEnd), "0," + std::to_string(c.Sh) + "," + std::to_string(c.Sw) + "," + std::to_string(c.Sh));
  }
}

TEST_F(LoginPulldownTest, AComputerChosenWhileClosedLogsInAtOnce) {
  CSystemProfile* beta = addProfile(u"BETA", u"Laptop");
  CLoginPulldown pulldown;
  CLoginMessage chosen(beta);
  pulldown.onLoginMessage(&chosen);
  EXPECT_EQ(loginHost.personalizeCalls, 1) << "never kept pending for a later opening";
  EXPECT_EQ(pulldown.m_pendingLoginProfile, nullptr);
  EXPECT_EQ(getProfileDatabase().getLoginProfile(), beta);

  // Logged in already: message 381, nothing starts.
  loginHost.personalized = true;
  pulldown.onLoginMessage(&chosen);
  EXPECT_EQ(loginHost.personalizeCalls, 1);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(utf8(boxes[0].text), "You are already logged in. Please log out first.");

  // Closing a closed window does nothing.
  CLoginMessage close(CLoginMessage::kSynchronizeLink);
  pulldown.onLoginMessage(&close);
  EXPECT_FALSE(pulldown.isOpen());
  EXPECT_FALSE(pulldown.isAnimating());
}

TEST_F(LoginPulldownTest, EndOfSessionWaitsUpToThirtySecondsForTheLogout) {
  platform::host::Host::current().setFact(platform::host::fact::TimeScale, "200");
  CCustomizerDoc document;
  struct Case {
    DWORD logoutMs;
    bool restores;
    bool allowed;
  };
  const Case cases[] = {
      {10000, true, true},   // restored in time
      {40000, true, false},  // restored too late
      {0, false, false},     // never restored: refused once 30 seconds have passed
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.logoutMs);
    loginHost.personalized = true;
    loginHost.doc = &document;
    loginHost.onLogout = [&] {
      Sleep(c.logoutMs);
      if (c.restores) loginHost.personalized = false;
    };
    CLoginPulldown pulldown;
    const DWORD start = GetTickCount();
    EXPECT_EQ(pulldown.waitForLogout(), c.allowed);
    EXPECT_LE(GetTickCount() - start, 45000u);
    EXPECT_EQ(loginHost.logouts.back(), true) << "the logout is silent";
  }
  // Without a document the answer is no at once, and no logout starts.
  loginHost.doc = nullptr;
  loginHost.logouts.clear();
  CLoginPulldown pulldown;
  EXPECT_FALSE(pulldown.waitForLogout());
  EXPECT_TRUE(loginHost.logouts.empty());
}

// The window made from its template: it rests with only its tab on screen, shaped, and shows
// percentages (never texts) in its progress bar.
TEST_F(LoginPulldownTest, MadeFromItsTemplateItRestsAtTheTopCentre) {
  AfxOleInit();
  AfxEnableControlContainer();
  setScreen(1024, 768);
  addProfile(u"ALPHA", u"Home");
  addProfile(u"BETA", u"Laptop");
  {
    CLoginPulldown pulldown;
    ASSERT_TRUE(pulldown.Create(IDD_LOGIN_PULLDOWN, nullptr));
    EXPECT_TRUE(boxes.empty()) << utf8(boxes.empty() ? CString() : boxes[0].text);
    CRect window;
    pulldown.GetWindowRect(&window);
    const CPulldownGeometry& g = pulldown.m_geometry;
    EXPECT_EQ(g.panel.Width(), 306);
    EXPECT_EQ(text(window), text(g.resting));
    EXPECT_EQ(window.bottom, g.tabBox.Height()) << "only the tab shows";
    EXPECT_EQ(window.left, 1024 / 2 - 306 / 2);
    HRGN shape = CreateRectRgn(0, 0, 0, 0);
    EXPECT_NE(GetWindowRgn(pulldown.m_hWnd, shape), ERROR) << "the window is shaped";
    DeleteObject(shape);
    EXPECT_NE(pulldown.m_loginPanel.m_hWnd, nullptr);

    CProgress percent(40);
    pulldown.onMessage(&percent);
    EXPECT_EQ(pulldown.m_progress.GetPos(), 40);
    CProgress texts(CString(u"a"), CString(u"b"));
    pulldown.onMessage(&texts);
    EXPECT_EQ(pulldown.m_progress.GetPos(), 40);
  }
  OleUninitialize();
}

}  // namespace

// The link controls: how a click follows the link in each mode and what the link then shows
// (visited, or never for the notify-parent mode; visited again after the mouse leaves a hovered
// link); the bitmap link's bitmaps; and the about box's two logo links.
#include <gtest/gtest.h>

#include <cstring>

#include "lang/ids.h"
#include "platform/afx/ole.h"
#include "platform/host/process_table.h"
#include "platform/win32/win32.h"
#include "tests/ui/login_fixture.h"
#include "ui/about_dialog.h"
#include "ui/autosize_bitmap_hlink_ctrl.h"
#include "ui/hlink_ctrl.h"

namespace {

using logintest::LoginTest;

constexpr char16_t kUrl[] = u"http://www.brackwater.com/kipo";

// A top-level window that keeps the link notifications it gets.
class LinkParent : public CWnd {
 public:
  LinkParent() {
    CreateEx(0, AfxRegisterWndClass(0), u"links", WS_POPUP | WS_VISIBLE, 0, 0, 300, 200, nullptr, nullptr);
  }
  ~LinkParent() override { DestroyWindow(); }
  std::vector<HWND> clicked;

 protected:
  afx_msg LRESULT OnLinkClicked(WPARAM, LPARAM lParam) {
    clicked.push_back(reinterpret_cast<HWND>(lParam));
    return 0;
  }
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(LinkParent, CWnd)
  ON_MESSAGE(WM_KIPO_LINK_CLICKED, OnLinkClicked)
END_MESSAGE_MAP()

void pump() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

std::size_t opensOf(const std::u16string& url) {
  std::size_t n = 0;
  for (const auto& open : platform::host::shellOpens())
    if (open.target == url && open.verb == u"open") ++n;
  return n;
}

class LinkControlsTest : public LoginTest {
 protected:
  LinkControlsTest() { AfxOleInit(); }
  ~LinkControlsTest() override { OleUninitialize(); }

  static void click(CWnd& link) {
    link.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    link.SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    pump();
  }
  static void moveTo(CWnd& link, int x, int y) { link.SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(x, y)); }
};

TEST_F(LinkControlsTest, AClickFollowsTheLinkByItsMode) {
  struct Case {
    const char* label;
    LONG mode;
    bool enabled;
    std::size_t opens;  // the shell's "open" of the address
    bool notified;      // WM_USER+160 to the parent
    LONG state;         // after the click
  };
  const Case cases[] = {
      {"Internet shortcut", CHLinkCtrl::kModeInternetShortcut, true, 1, false, CHLinkCtrl::kStateVisited},
      {"shell open", CHLinkCtrl::kModeShellOpen, true, 1, false, CHLinkCtrl::kStateVisited},
      {"notify the parent: never visited", CHLinkCtrl::kModeNotifyParent, true, 0, true, CHLinkCtrl::kStateNormal},
      {"disabled", CHLinkCtrl::kModeShellOpen, false, 0, false, CHLinkCtrl::kStateNormal},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    LinkParent parent;
    CHLinkCtrl link;
    ASSERT_TRUE(link.Create(u"Brackwater", WS_CHILD | WS_VISIBLE, CRect(10, 10, 110, 30), &parent, 100));
    link.setURL(kUrl);
    link.m_mode = c.mode;
    link.m_enabled = c.enabled;
    const std::size_t before = opensOf(kUrl);
    click(link);
    EXPECT_EQ(opensOf(kUrl) - before, c.opens);
    EXPECT_EQ(parent.clicked, c.notified ? std::vector<HWND>{link.m_hWnd} : std::vector<HWND>{});
    EXPECT_EQ(link.m_state, c.state);
    link.DestroyWindow();
  }
}

TEST_F(LinkControlsTest, TheMouseOverALinkShowsTheHoverColourUntilItLeaves) {
  LinkParent parent;
  CHLinkCtrl link;
  ASSERT_TRUE(link.Create(u"Brackwater", WS_CHILD | WS_VISIBLE, CRect(10, 10, 110, 30), &parent, 100));
  link.setURL(kUrl);
  link.m_mode = CHLinkCtrl::kModeShellOpen;

  moveTo(link, 5, 5);
  EXPECT_EQ(link.m_state, CHLinkCtrl::kStateHover);
  EXPECT_EQ(link.stateColor(), RGB(255, 0, 0));
  EXPECT_EQ(GetCapture(), link.m_hWnd) << "the leave is seen through the capture";
  moveTo(link, 500, 5);
  EXPECT_EQ(link.m_state, CHLinkCtrl::kStateNormal);
  EXPECT_NE(GetCapture(), link.m_hWnd);

  // Followed while hovered: it stays red under the mouse and is visited once the mouse leaves.
  moveTo(link, 5, 5);
  click(link);
  EXPECT_EQ(link.m_state, CHLinkCtrl::kStateHover);
  moveTo(link, -3, 5);
  EXPECT_EQ(link.m_state, CHLinkCtrl::kStateVisited);
  EXPECT_EQ(link.stateColor(), RGB(128, 0, 128));

  // Without hover tracking the mouse changes nothing.
  link.m_hoverEnabled = false;
  moveTo(link, 5, 5);
  EXPECT_EQ(link.m_state, CHLinkCtrl::kStateVisited);
  link.DestroyWindow();
}

TEST_F(LinkControlsTest, ABitmapLinkLoadsByIdOrNameAndPaintsWithoutOne) {
  LinkParent parent;
  CAutosizeBitmapHLinkCtrl link;
  ASSERT_TRUE(link.Create(u"", WS_CHILD | WS_VISIBLE | SS_CENTER, CRect(0, 0, 60, 20), &parent, 101));
  EXPECT_EQ(link.GetStyle() & SS_TYPEMASK, static_cast<DWORD>(SS_OWNERDRAW)) << "drawn by the control";

  EXPECT_TRUE(link.setBitmap(IDB_MAKER_LOGO));
  EXPECT_EQ(link.m_bitmapInfo.bmWidth, 120);
  EXPECT_EQ(link.m_bitmapInfo.bmHeight, 40);
  // A name that is no resource loads nothing and the id is forgotten.
  EXPECT_FALSE(link.setBitmap(CString(u"NO_SUCH_BITMAP")));
  EXPECT_EQ(link.m_bitmapId, -1);
  EXPECT_EQ(utf8(link.m_bitmapName), "NO_SUCH_BITMAP");
  // The old bitmap stays shown until a new one loads.
  EXPECT_NE(link.bitmapHandle(), nullptr);
  link.m_bitmapId = IDB_CUSTOMER_LOGO;
  link.m_bitmapName.Empty();
  link.reload();
  EXPECT_EQ(link.m_bitmapId, IDB_CUSTOMER_LOGO);
  EXPECT_EQ(link.m_bitmapInfo.bmWidth, 120);
  link.DestroyWindow();
}

// The about box's logos are links: the maker's to its site, the customer's bitmap from the
// customization's file, or bitmap 949 when that file does not load.
class LogoHost : public logintest::ScriptedHost {
 public:
  CString customerLogoFile() override { return logo; }
  CString logo;
};

TEST_F(LinkControlsTest, TheAboutBoxLogosAreLinks) {
  LogoHost host;
  struct Case {
    const char* label;
    const char16_t* logo;
    int bitmapId;
  };
  const Case cases[] = {
      {"no logo named", u"", IDB_CUSTOMER_LOGO},
      {"an unreadable logo file", u"C:\\missing\\logo.bmp", IDB_CUSTOMER_LOGO},
      {"the customization's logo", u"C:\\logo.bmp", -1},
  };
  // The customer's logo file: a bitmap of another size than the built-in one.
  {
    BITMAPINFOHEADER info{};
    info.biSize = sizeof info;
    info.biWidth = 33;
    info.biHeight = 17;
    info.biPlanes = 1;
    info.biBitCount = 24;
    const DWORD row = (33 * 3 + 3) & ~3u;
    std::string bytes(14, '\0');
    const DWORD size = 14 + sizeof info + row * 17;
    bytes[0] = 'B';
    bytes[1] = 'M';
    std::memcpy(&bytes[2], &size, 4);
    const DWORD offset = 14 + sizeof info;
    std::memcpy(&bytes[10], &offset, 4);
    bytes.append(reinterpret_cast<const char*>(&info), sizeof info);
    bytes.append(row * 17, '\x7f');
    HANDLE file = CreateFileW(u"C:\\logo.bmp", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    host.logo = c.logo;
    CAboutDialog about;
    ASSERT_TRUE(about.Create(IDD_ABOUT, nullptr));
    CRect place, maker;
    about.GetDlgItem(IDC_ABOUT_MAKER_LOGO)->GetWindowRect(&place);
    about.m_makerLink.GetWindowRect(&maker);
    EXPECT_EQ(maker, place) << "the link takes the place of its static";
    EXPECT_EQ(utf8(about.m_makerLink.m_url), utf8(CString(kMakerWebSite)));
    EXPECT_EQ(about.m_makerLink.m_bitmapId, IDB_MAKER_LOGO);
    EXPECT_EQ(about.m_customerLink.m_bitmapId, c.bitmapId);
    EXPECT_EQ(about.m_customerLink.m_bitmapInfo.bmWidth, c.bitmapId == -1 ? 33 : 120);
    CString tip;
    about.m_makerTip.GetText(tip, &about.m_makerLink);
    EXPECT_EQ(utf8(tip), utf8(CString(kMakerWebSite)));
    // A click on the maker's logo opens its site.
    const std::size_t before = opensOf(kMakerWebSite);
    click(about.m_makerLink);
    EXPECT_EQ(opensOf(kMakerWebSite), before + 1);
    about.DestroyWindow();
  }
}

}  // namespace

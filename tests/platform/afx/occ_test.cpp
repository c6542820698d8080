// ActiveX controls in dialogs: a template naming controls by class id with initial data, the
// control sites and GetControlUnknown, the web browser's navigation, links and BeforeNavigate2
// through an event sink map (cancelled or not), its printable document, the Flash player's movie,
// and a dialog whose control cannot be made failing its initialisation.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "afx_ids.h"
#include "platform/afx/app.h"
#include "platform/afx/ctrl_ole.h"
#include "platform/afx/dialog.h"
#include "platform/afx/ole.h"
#include "platform/base/text.h"
#include "platform/com/controls.h"
#include "platform/com/runtime.h"
#include "platform/host/ole_controls.h"
#include "platform/host/process_table.h"
#include "platform/win32/controls_msg.h"
#include "platform/win32/gdi.h"
#include "tests/support/test_host.h"

namespace {

// The framework's trace lines are what a failed dialog leaves; this program wants to see them.
const bool g_traceOn = (setenv("KIPO_TRACE", "1", 1), true);

std::u16string textOf(const VARIANT* v) {
  if (v && v->vt == VT_BSTR && v->bstrVal) return v->bstrVal;
  return u"<not text>";
}

class CBrowserDlg : public CDialog {
 public:
  CBrowserDlg() : CDialog(IDD_CONTROLS) {}
  CWebBrowser2 m_browser;
  CShockwaveFlash m_movie;
  std::vector<std::u16string> m_before;
  std::vector<std::u16string> m_completed;
  bool m_cancelStars = true;

  void DoDataExchange(CDataExchange* pDX) override {
    DDX_Control(pDX, IDC_BROWSER, m_browser);
    DDX_Control(pDX, IDC_MOVIE, m_movie);
  }
  // The login panel's rule: a "**" link is a command, never a page.
  void OnBeforeNavigate2(LPDISPATCH, VARIANT* URL, VARIANT*, VARIANT*, VARIANT*, VARIANT*, BOOL* Cancel) {
    m_before.push_back(textOf(URL));
    if (m_cancelStars && textOf(URL).find(u"**") != std::u16string::npos) *Cancel = TRUE;
  }
  void OnDocumentComplete(LPDISPATCH, VARIANT* URL) { m_completed.push_back(textOf(URL)); }
  DECLARE_EVENTSINK_MAP()
};

BEGIN_EVENTSINK_MAP(CBrowserDlg, CDialog)
  ON_EVENT(CBrowserDlg, IDC_BROWSER, DISPID_BEFORENAVIGATE2, OnBeforeNavigate2,
           VTS_DISPATCH VTS_PVARIANT VTS_PVARIANT VTS_PVARIANT VTS_PVARIANT VTS_PVARIANT VTS_PBOOL)
  ON_EVENT(CBrowserDlg, IDC_BROWSER, DISPID_DOCUMENTCOMPLETE, OnDocumentComplete, VTS_DISPATCH VTS_PVARIANT)
END_EVENTSINK_MAP()

constexpr char kStartPage[] =
    "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">"
    "<title>Start</title></head><body><table><tr>\n"
    "<td><a href=\"**Caf&eacute; Bar\">Caf\xC3\xA9   Bar</a></td>\n"
    "<td><a href=\"**Jos%C3%A9%20PC\">Jos\xC3\xA9 PC</a></td>\n"
    "<td><a href=\"next.html\">Next page</a></td>\n"
    "<td><a href=\"sub/../other.html?x=1#top\">Other</a></td>\n"
    "<td><a href=\"http://example.com/a%20b\">Web</a></td>\n"
    "<td><a href=\"/root.html\">Root</a></td>\n"
    "</tr></table>\n"
    "<script>document.write('<a href=\"written.html\">by script</a>')</script>\n"
    "</body></html>\n";

class OccTest : public ::testing::Test {
 protected:
  OccTest() {
    host_.write("pages/start.html", kStartPage);
    host_.write("pages/next.html", "<html><body><p>Second <a href=\"start.html\">back</a></p></body></html>");
    host_.write("pages/broken.html",
                "<html><body><a href='one.html'>One<p><a href=two.html>Two</td></tr></table>"
                "<a href=\"three.html\">Three <b>bold</a></i><a href=\"four.html");
    AfxOleInit();
  }
  ~OccTest() override {
    OleUninitialize();
    CWnd::DeleteTempMap();
  }
  static std::optional<platform::host::ControlState> stateOf(CWnd& w) { return platform::host::controlState(w.m_hWnd); }
  // Follows link `index` as kipo-host ui does: the follow message with the page's number.
  static void follow(CWnd& browser, std::size_t index) {
    const UINT message = RegisterWindowMessageW(platform::com::kFollowLinkMessage);
    auto state = stateOf(browser);
    ASSERT_TRUE(state);
    browser.SendMessage(message, index, static_cast<LPARAM>(state->page));
  }
  kipotest::TestHost host_;
  CWinApp app_;
};

// Runs first in this program, while nothing has enabled the container.
TEST_F(OccTest, WithoutTheContainerSwitchADialogWithControlsFailsItsInitialisation) {
  if (platform::afx::controlContainerEnabled()) GTEST_SKIP() << "another test of this program enabled it first";
  CBrowserDlg dlg;
  testing::internal::CaptureStderr();
  EXPECT_EQ(dlg.DoModal(), -1);
  const std::string trace = testing::internal::GetCapturedStderr();
  EXPECT_NE(trace.find("control container is not enabled"), std::string::npos) << trace;
  EXPECT_EQ(dlg.m_hWnd, nullptr);
  AfxEnableControlContainer();
  CBrowserDlg again;
  ASSERT_TRUE(again.Create(IDD_CONTROLS));
  EXPECT_NE(again.m_browser.GetControlUnknown(), nullptr);
}

TEST_F(OccTest, ATemplateMakesEachControlInItsSiteWithItsInitialData) {
  AfxEnableControlContainer();
  CBrowserDlg dlg;
  ASSERT_TRUE(dlg.Create(IDD_CONTROLS));

  // The browser: a child window with the template's id, at the template's place in pixels.
  CWnd* browser = dlg.GetDlgItem(IDC_BROWSER);
  ASSERT_NE(browser, nullptr);
  EXPECT_EQ(browser->m_hWnd, dlg.m_browser.m_hWnd) << "DDX_Control tied the wrapper to the control's window";
  WCHAR cls[64] = {0};
  GetClassNameW(browser->m_hWnd, cls, 64);
  EXPECT_EQ(std::u16string(cls), u"Shell Embedding");
  RECT r{};
  ::GetWindowRect(browser->m_hWnd, &r);
  dlg.ScreenToClient(&r);
  EXPECT_EQ(r.left, 12);  // 8 dialog units across are 12 pixels, 12 down are 19.5, rounded
  EXPECT_EQ(r.top, 20);
  EXPECT_EQ(r.right - r.left, 270);
  EXPECT_TRUE(::GetWindowLongW(browser->m_hWnd, GWL_STYLE) & WS_TABSTOP);
  // The controls take their template places among the other controls (the tab order).
  std::vector<int> order;
  for (HWND c = ::GetWindow(dlg.m_hWnd, GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT)) order.push_back(::GetDlgCtrlID(c));
  EXPECT_EQ(order, (std::vector<int>{IDC_STATIC, IDC_BROWSER, IDC_MOVIE, IDC_CHOICE, IDOK}));

  platform::com::Ptr<IWebBrowser2> web;
  IUnknown* unknown = dlg.m_browser.GetControlUnknown();
  ASSERT_NE(unknown, nullptr);
  EXPECT_EQ(unknown->QueryInterface(IID_IWebBrowser2, web.putVoid()), S_OK);
  EXPECT_EQ(dlg.GetControlUnknown(), nullptr) << "the dialog itself is no control";
  auto state = stateOf(dlg.m_browser);
  ASSERT_TRUE(state);
  EXPECT_EQ(state->clsid, u"{8856F961-340A-11D0-A96B-00C04FD705A2}");

  // The player loaded its movie from the initial data; the combo box got its strings.
  EXPECT_EQ(dlg.m_movie.GetMovie(), CString(u"C:\\intro.swf"));
  dlg.m_movie.SetMovie(u"C:\\Documents and Settings\\intro.swf");
  state = stateOf(dlg.m_movie);
  ASSERT_TRUE(state);
  EXPECT_EQ(state->clsid, u"{D27CDB6E-AE6D-11CF-96B8-444553540000}");
  EXPECT_EQ(state->property, u"Movie");
  EXPECT_EQ(state->value, u"C:\\Documents and Settings\\intro.swf");
  ASSERT_EQ(dlg.SendDlgItemMessage(IDC_CHOICE, CB_GETCOUNT), 2);
  WCHAR item[16] = {0};
  dlg.SendDlgItemMessage(IDC_CHOICE, CB_GETLBTEXT, 1, reinterpret_cast<LPARAM>(item));
  EXPECT_EQ(std::u16string(item), u"two");

  // The control goes with its dialog, and so does the host's record of it.
  HWND h = dlg.m_browser.m_hWnd;
  dlg.DestroyWindow();
  EXPECT_FALSE(platform::host::controlState(h));
}

TEST_F(OccTest, ADialogWhoseControlCannotBeMadeFailsDoModalAndCreate) {
  AfxEnableControlContainer();
  struct Case {
    const char* rule;
    UINT templateId;
    bool comReady;
    const char* trace;
  };
  for (const Case& c : {Case{"a class id nobody registered", IDD_BAD_CONTROL, true, "could not be made"},
                        Case{"COM not initialised on the thread", IDD_CONTROLS, false, "0x800401F0"}}) {
    if (!c.comReady) OleUninitialize();
    CDialog modal(c.templateId);
    testing::internal::CaptureStderr();
    EXPECT_EQ(modal.DoModal(), -1) << c.rule;
    const std::string trace = testing::internal::GetCapturedStderr();
    EXPECT_NE(trace.find(c.trace), std::string::npos) << c.rule << ": " << trace;
    CDialog modeless;
    EXPECT_FALSE(modeless.Create(c.templateId)) << c.rule;
    EXPECT_EQ(modeless.m_hWnd, nullptr) << c.rule;
    if (!c.comReady) AfxOleInit();
  }
  EXPECT_EQ(FindWindowW(nullptr, u"Missing control"), nullptr) << "no dialog window is left behind";
}

TEST_F(OccTest, APagesLinksAreReadAsWrittenWithoutRunningIt) {
  AfxEnableControlContainer();
  CBrowserDlg dlg;
  ASSERT_TRUE(dlg.Create(IDD_CONTROLS));
  dlg.m_browser.Navigate(u"C:\\pages\\start.html", nullptr, nullptr, nullptr, nullptr);
  EXPECT_EQ(dlg.m_browser.GetLocationURL(), CString(u"file:///C:/pages/start.html")) << "a path shows as a file URL";
  auto state = stateOf(dlg.m_browser);
  ASSERT_TRUE(state);
  struct Expected {
    const char16_t* text;
    const char16_t* href;
    const char16_t* url;
  };
  const Expected expected[] = {
      {u"Caf\u00e9 Bar", u"**Caf\u00e9 Bar", u"file:///C:/pages/**Caf\u00e9 Bar"},  // entity replaced, nothing escaped
      {u"Jos\u00e9 PC", u"**Jos%C3%A9%20PC", u"file:///C:/pages/**Jos%C3%A9%20PC"},  // escapes kept
      {u"Next page", u"next.html", u"file:///C:/pages/next.html"},
      {u"Other", u"sub/../other.html?x=1#top", u"file:///C:/pages/other.html?x=1#top"},
      {u"Web", u"http://example.com/a%20b", u"http://example.com/a%20b"},
      {u"Root", u"/root.html", u"file:///root.html"},
  };
  ASSERT_EQ(state->links.size(), std::size(expected)) << "the script's link is not there: nothing runs";
  for (std::size_t i = 0; i < std::size(expected); ++i) {
    EXPECT_EQ(state->links[i].text, expected[i].text) << i;
    EXPECT_EQ(state->links[i].href, expected[i].href) << i;
    EXPECT_EQ(state->links[i].url, expected[i].url) << i;
  }

  // The control draws the page plainly: text in black, the links' texts in blue.
  dlg.ShowWindow(SW_SHOW);
  ::InvalidateRect(dlg.m_browser.m_hWnd, nullptr, TRUE);
  ::UpdateWindow(dlg.m_browser.m_hWnd);
  RECT area{};
  ::GetWindowRect(dlg.m_browser.m_hWnd, &area);
  int blue = 0, black = 0;
  for (LONG y = area.top; y < area.bottom; ++y)
    for (LONG x = area.left; x < area.right; ++x) {
      const COLORREF c = platform::gdi::screenPixel(x, y);
      blue += c == RGB(0, 0, 255);
      black += c == RGB(0, 0, 0);
    }
  EXPECT_GT(blue, 50);
  EXPECT_GT(black, 50);

  // A malformed page still loads, with the links the parser recovered (the last one's quote
  // is never closed: the attribute runs to the end).
  dlg.m_browser.Navigate(u"file:///C:/pages/broken.html", nullptr, nullptr, nullptr, nullptr);
  state = stateOf(dlg.m_browser);
  ASSERT_TRUE(state);
  std::vector<std::u16string> hrefs;
  for (const auto& l : state->links) hrefs.push_back(l.href);
  EXPECT_EQ(hrefs, (std::vector<std::u16string>{u"one.html", u"two.html", u"three.html", u"four.html"}));
  EXPECT_EQ(dlg.m_browser.GetLocationURL(), CString(u"file:///C:/pages/broken.html"));
}

TEST_F(OccTest, BeforeNavigate2ReachesTheSinkMapAndItsCancelKeepsThePage) {
  AfxEnableControlContainer();
  CBrowserDlg dlg;
  ASSERT_TRUE(dlg.Create(IDD_CONTROLS));
  dlg.m_browser.Navigate(u"file:///C:/pages/start.html", nullptr, nullptr, nullptr, nullptr);
  ASSERT_EQ(dlg.m_before, std::vector<std::u16string>{u"file:///C:/pages/start.html"});
  EXPECT_EQ(dlg.m_completed, std::vector<std::u16string>{u"file:///C:/pages/start.html"});
  const std::size_t opensBefore = platform::host::shellOpens().size();

  // Cancelled: the handler saw the URL as written and the page stayed.
  follow(dlg.m_browser, 1);
  EXPECT_EQ(dlg.m_before.back(), u"file:///C:/pages/**Jos%C3%A9%20PC");
  EXPECT_EQ(dlg.m_browser.GetLocationURL(), CString(u"file:///C:/pages/start.html"));
  EXPECT_EQ(stateOf(dlg.m_browser)->links.size(), 6u);

  // Not cancelled, a local page: the browser goes there and reads its links.
  follow(dlg.m_browser, 2);
  EXPECT_EQ(dlg.m_before.back(), u"file:///C:/pages/next.html");
  EXPECT_EQ(dlg.m_browser.GetLocationURL(), CString(u"file:///C:/pages/next.html"));
  auto state = stateOf(dlg.m_browser);
  ASSERT_EQ(state->links.size(), 1u);
  EXPECT_EQ(state->links[0].url, u"file:///C:/pages/start.html");

  // A link number of the page before is refused rather than followed on this one.
  const std::size_t events = dlg.m_before.size();
  const UINT message = RegisterWindowMessageW(platform::com::kFollowLinkMessage);
  EXPECT_EQ(dlg.m_browser.SendMessage(message, 0, static_cast<LPARAM>(state->page - 1)), 0);
  EXPECT_EQ(dlg.m_before.size(), events);

  // Not cancelled, a web address: the shell is asked to open it; the page stays.
  follow(dlg.m_browser, 0);  // back to the start page
  follow(dlg.m_browser, 4);
  EXPECT_EQ(dlg.m_before.back(), u"http://example.com/a%20b");
  EXPECT_EQ(dlg.m_browser.GetLocationURL(), CString(u"file:///C:/pages/start.html"));
  auto opens = platform::host::shellOpens();
  ASSERT_EQ(opens.size(), opensBefore + 1);
  EXPECT_EQ(opens.back().target, u"http://example.com/a%20b");
  EXPECT_EQ(opens.back().kind, "url");

  // A handler that lets "**" through: a local address that does not exist shows an empty page.
  dlg.m_cancelStars = false;
  follow(dlg.m_browser, 0);
  EXPECT_EQ(dlg.m_browser.GetLocationURL(), CString(u"file:///C:/pages/**Caf\u00e9 Bar"));
  EXPECT_TRUE(stateOf(dlg.m_browser)->links.empty());
  EXPECT_EQ(dlg.m_browser.GetDocument(), nullptr);
}

TEST_F(OccTest, TheSinkMapRefusesArgumentsThatDoNotFitTheHandler) {
  AfxEnableControlContainer();
  CBrowserDlg dlg;
  ASSERT_TRUE(dlg.Create(IDD_CONTROLS));
  VARIANT args[2];
  VariantInit(&args[0]);
  VariantInit(&args[1]);
  args[0].vt = VT_I4;  // the URL should be a VARIANT* (any), the browser an IDispatch
  args[1].vt = VT_BSTR;
  args[1].bstrVal = SysAllocString(u"not a browser");
  DISPPARAMS params{args, nullptr, 2, 0};
  EXPECT_EQ(platform::afx::dispatchEvent(&dlg, IDC_BROWSER, DISPID_DOCUMENTCOMPLETE, &params), DISP_E_TYPEMISMATCH);
  params.cArgs = 1;
  EXPECT_EQ(platform::afx::dispatchEvent(&dlg, IDC_BROWSER, DISPID_DOCUMENTCOMPLETE, &params), DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(platform::afx::dispatchEvent(&dlg, IDC_MOVIE, DISPID_DOCUMENTCOMPLETE, &params), DISP_E_MEMBERNOTFOUND)
      << "the entry is for another control";
  EXPECT_TRUE(dlg.m_completed.empty());
  VariantClear(&args[1]);
}

TEST_F(OccTest, TheDocumentPrintsAsAHostPrintJob) {
  AfxEnableControlContainer();
  CBrowserDlg dlg;
  ASSERT_TRUE(dlg.Create(IDD_CONTROLS));
  EXPECT_EQ(dlg.m_browser.GetDocument(), nullptr) << "no page yet";
  EXPECT_TRUE(dlg.m_browser.GetRegisterAsDropTarget());
  dlg.m_browser.SetRegisterAsDropTarget(FALSE);
  EXPECT_FALSE(dlg.m_browser.GetRegisterAsDropTarget());
  dlg.m_browser.Navigate(u"file:///C:/pages/next.html", nullptr, nullptr, nullptr, nullptr);
  platform::com::Ptr<IDispatch> document;
  document.attach(dlg.m_browser.GetDocument());
  ASSERT_TRUE(document);
  platform::com::Ptr<IOleCommandTarget> target;
  ASSERT_EQ(document.as(target), S_OK);
  EXPECT_EQ(target->Exec(nullptr, OLECMDID_PRINT, OLECMDEXECOPT_DODEFAULT, nullptr, nullptr), S_OK);
  EXPECT_EQ(target->Exec(nullptr, 17 /* select all */, OLECMDEXECOPT_DODEFAULT, nullptr, nullptr),
            OLECMDERR_E_NOTSUPPORTED);
  const GUID otherGroup = IID_IDispatch;
  EXPECT_EQ(target->Exec(&otherGroup, OLECMDID_PRINT, 0, nullptr, nullptr), OLECMDERR_E_UNKNOWNGROUP);
  auto jobs = platform::host::printJobs();
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_EQ(jobs[0].document, u"file:///C:/pages/next.html");
  EXPECT_EQ(jobs[0].option, static_cast<DWORD>(OLECMDEXECOPT_DODEFAULT));
  EXPECT_EQ(jobs[0].pid, GetCurrentProcessId());
}

TEST_F(OccTest, CreateControlMakesAControlInAnyFrameworkWindowAndAWrapperRefusesOtherWindows) {
  AfxEnableControlContainer();
  CDialog host(IDD_PLAIN);
  ASSERT_TRUE(host.Create(IDD_PLAIN));
  CShockwaveFlash player;
  ASSERT_TRUE(player.CreateControl(u"ShockwaveFlash.ShockwaveFlash", nullptr, WS_CHILD | WS_VISIBLE,
                                   CRect(0, 0, 40, 30), &host, 77));
  EXPECT_EQ(::GetDlgCtrlID(player.m_hWnd), 77);
  EXPECT_EQ(player.GetMovie(), CString());
  CWebBrowser2 notABrowser;
  ASSERT_TRUE(notABrowser.SubclassDlgItem(IDOK, &host));
  try {
    notABrowser.GetLocationURL();
    ADD_FAILURE() << "a button is no browser";
  } catch (COleException* e) {
    EXPECT_EQ(e->m_sc, E_NOINTERFACE);
    e->Delete();
  }
  CWebBrowser2 unknownClass;
  EXPECT_FALSE(unknownClass.CreateControl(u"{0BAD0BAD-1111-2222-3333-444444444444}", nullptr, WS_CHILD,
                                          CRect(0, 0, 10, 10), &host, 78));
}

}  // namespace

// Property sheets: pages made from their templates as children of the sheet, switching with the
// pages' vetoes, Apply enabled by SetModified, OK applying every page, Cancel resetting them,
// pages added and removed while the sheet is up, PSH_NOAPPLYNOW, and a sheet as a child window.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "afx_ids.h"
#include "platform/afx/app.h"
#include "platform/afx/propsheet.h"
#include "platform/win32/controls/commctrl.h"
#include "tests/support/test_host.h"

namespace {

std::vector<std::string> g_log;

class CPageOne : public CPropertyPage {
 public:
  CPageOne() : CPropertyPage(IDD_PAGE_ONE) {}
  int m_count = 5;
  void DoDataExchange(CDataExchange* pDX) override {
    DDX_Text(pDX, IDC_COUNT, m_count);
    DDV_MinMaxInt(pDX, m_count, 1, 9);
  }
  BOOL OnApply() override {
    g_log.push_back("one:apply");
    return CPropertyPage::OnApply();
  }
  void OnReset() override { g_log.push_back("one:reset"); }
};

class CPageTwo : public CPropertyPage {
 public:
  CPageTwo() : CPropertyPage(IDD_PAGE_TWO) {}
  bool refuse = false;
  BOOL OnSetActive() override {
    g_log.push_back("two:setactive");
    return refuse ? FALSE : CPropertyPage::OnSetActive();
  }
  BOOL OnApply() override {
    g_log.push_back("two:apply");
    return TRUE;
  }
  void OnReset() override { g_log.push_back("two:reset"); }
};

// A sheet that runs a script once it is up and its loop runs.
class CTestSheet : public CPropertySheet {
 public:
  CTestSheet() : CPropertySheet(u"Options") {}
  std::function<void(CTestSheet&)> script;
  LRESULT OnInitSheet(WPARAM w, LPARAM l) {
    LRESULT r = OnSheetInit(w, l);
    PostMessage(WM_APP);
    return r;
  }
  LRESULT OnScript(WPARAM, LPARAM) {
    if (script) script(*this);
    return 0;
  }
  bool buttonEnabled(int id) { return GetDlgItem(id) && GetDlgItem(id)->IsWindowEnabled(); }
  DECLARE_MESSAGE_MAP()
};
BEGIN_MESSAGE_MAP(CTestSheet, CPropertySheet)
  ON_MESSAGE(WM_INITDIALOG, OnInitSheet)
  ON_MESSAGE(WM_APP, OnScript)
END_MESSAGE_MAP()

class PropSheetTest : public ::testing::Test {
 protected:
  PropSheetTest() {
    g_log.clear();
    platform::afx::setMessageBoxHook([this](const CString&, UINT) {
      ++boxes_;
      return IDOK;
    });
    sheet_.AddPage(&one_);
    sheet_.AddPage(&two_);
  }
  ~PropSheetTest() override {
    platform::afx::setMessageBoxHook(nullptr);
    CWnd::DeleteTempMap();
  }
  kipotest::TestHost host_;
  CWinApp app_;
  CPageOne one_;
  CPageTwo two_;
  CTestSheet sheet_;
  int boxes_ = 0;
};

TEST_F(PropSheetTest, PagesTabsAndButtons) {
  struct Seen {
    int tabs = -1;
    CString firstTab;
    bool pageIsChild = false, twoCreated = true, applyEnabled = true, applyAfterModify = false;
  } seen;
  sheet_.script = [&](CTestSheet& s) {
    CWnd* tab = s.GetTabControl();
    seen.tabs = static_cast<int>(tab->SendMessage(TCM_GETITEMCOUNT));
    WCHAR text[32] = {0};
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = text;
    item.cchTextMax = 32;
    tab->SendMessage(TCM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
    seen.firstTab = text;
    seen.pageIsChild = ::GetParent(one_.m_hWnd) == s.m_hWnd && (one_.GetStyle() & WS_CHILD) && one_.IsWindowVisible();
    seen.twoCreated = two_.m_hWnd != nullptr;
    seen.applyEnabled = s.buttonEnabled(ID_APPLY_NOW);
    one_.SetModified();
    seen.applyAfterModify = s.buttonEnabled(ID_APPLY_NOW);
    s.PressButton(PSBTN_OK);
  };
  EXPECT_EQ(sheet_.DoModal(), IDOK);
  EXPECT_EQ(seen.tabs, 2);
  EXPECT_EQ(seen.firstTab, CString(u"First"));
  EXPECT_TRUE(seen.pageIsChild);
  EXPECT_FALSE(seen.twoCreated) << "a page is made when first shown";
  EXPECT_FALSE(seen.applyEnabled);
  EXPECT_TRUE(seen.applyAfterModify);
  EXPECT_EQ(g_log, std::vector<std::string>{"one:apply"}) << "only created pages are applied";
  EXPECT_EQ(one_.m_hWnd, nullptr);
}

TEST_F(PropSheetTest, SwitchingAsksBothPages) {
  struct Seen {
    BOOL vetoed = TRUE, invalidLeave = TRUE, ok = FALSE;
    int activeAfterVeto = -1, activeAfterInvalid = -1, activeAfterOk = -1;
    bool oneHidden = false;
  } seen;
  sheet_.script = [&](CTestSheet& s) {
    two_.refuse = true;
    seen.vetoed = s.SetActivePage(1);
    seen.activeAfterVeto = s.GetActiveIndex();
    two_.refuse = false;
    one_.SetDlgItemText(IDC_COUNT, u"42");  // out of range: page one refuses to be left
    seen.invalidLeave = s.SetActivePage(1);
    seen.activeAfterInvalid = s.GetActiveIndex();
    one_.SetDlgItemText(IDC_COUNT, u"7");
    seen.ok = s.SetActivePage(&two_);
    seen.activeAfterOk = s.GetActiveIndex();
    seen.oneHidden = !one_.IsWindowVisible() && two_.IsWindowVisible();
    s.PressButton(PSBTN_CANCEL);
  };
  EXPECT_EQ(sheet_.DoModal(), IDCANCEL);
  EXPECT_FALSE(seen.vetoed);
  EXPECT_EQ(seen.activeAfterVeto, 0);
  EXPECT_FALSE(seen.invalidLeave);
  EXPECT_EQ(seen.activeAfterInvalid, 0);
  EXPECT_EQ(boxes_, 1) << "the user was told why the page cannot be left";
  EXPECT_TRUE(seen.ok);
  EXPECT_EQ(seen.activeAfterOk, 1);
  EXPECT_TRUE(seen.oneHidden);
  EXPECT_EQ(one_.m_count, 7);
  EXPECT_EQ(g_log, (std::vector<std::string>{"two:setactive", "two:setactive", "one:reset", "two:reset"}));
}

TEST_F(PropSheetTest, PagesAddedAndRemovedWhileUp) {
  CPageTwo third;
  struct Seen {
    int countAfterAdd = 0, countAfterRemove = 0, activeAfterRemove = -1, tabs = 0;
    bool thirdHasWindow = true;
  } seen;
  sheet_.m_psh.dwFlags |= PSH_NOAPPLYNOW;
  sheet_.script = [&](CTestSheet& s) {
    s.AddPage(&third);
    seen.countAfterAdd = s.GetPageCount();
    s.RemovePage(0);  // the active page
    seen.countAfterRemove = s.GetPageCount();
    seen.activeAfterRemove = s.GetActiveIndex();
    seen.tabs = static_cast<int>(s.GetTabControl()->SendMessage(TCM_GETITEMCOUNT));
    s.RemovePage(&third);
    seen.thirdHasWindow = third.m_hWnd != nullptr;
    s.PressButton(PSBTN_CANCEL);
  };
  EXPECT_EQ(sheet_.DoModal(), IDCANCEL);
  EXPECT_EQ(seen.countAfterAdd, 3);
  EXPECT_EQ(seen.countAfterRemove, 2);
  EXPECT_EQ(seen.activeAfterRemove, 0);
  EXPECT_EQ(sheet_.GetPage(0), &two_);
  EXPECT_EQ(seen.tabs, 2);
  EXPECT_FALSE(seen.thirdHasWindow);
  EXPECT_EQ(one_.m_hWnd, nullptr);
}

TEST_F(PropSheetTest, AnExceptionFromAHandlerEndsTheSheetAndFreesTheOwner) {
  CWnd owner;
  ASSERT_TRUE(owner.CreateEx(0, AfxRegisterWndClass(0), u"owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 200,
                             nullptr, nullptr));
  sheet_.m_pParentWnd = &owner;
  sheet_.script = [](CTestSheet&) { throw 42; };  // as the translator throws from a handler that faulted
  EXPECT_THROW(sheet_.DoModal(), int);
  EXPECT_TRUE(owner.IsWindowEnabled());
  EXPECT_EQ(sheet_.m_hWnd, nullptr) << "the sheet is gone";
  EXPECT_EQ(one_.m_hWnd, nullptr) << "and its pages";
  sheet_.script = [](CTestSheet& s) { s.GetDlgItem(IDCANCEL)->PostMessage(BM_CLICK); };
  EXPECT_EQ(sheet_.DoModal(), IDCANCEL) << "the next one runs";
  EXPECT_TRUE(owner.IsWindowEnabled());
}

TEST_F(PropSheetTest, NoApplyButtonWithPshNoApplyNow) {
  bool hasApply = true;
  sheet_.m_psh.dwFlags |= PSH_NOAPPLYNOW;
  sheet_.script = [&](CTestSheet& s) {
    hasApply = s.GetDlgItem(ID_APPLY_NOW) != nullptr;
    s.GetDlgItem(IDCANCEL)->PostMessage(BM_CLICK);
  };
  EXPECT_EQ(sheet_.DoModal(), IDCANCEL);
  EXPECT_FALSE(hasApply);
}

TEST_F(PropSheetTest, AsAChildWindow) {
  CWnd host;
  ASSERT_TRUE(host.CreateEx(0, AfxRegisterWndClass(0), u"host", WS_OVERLAPPEDWINDOW, 0, 0, 500, 400, nullptr, nullptr));
  ASSERT_TRUE(sheet_.Create(&host, WS_CHILD | WS_VISIBLE));
  EXPECT_EQ(sheet_.GetParent(), &host);
  for (int id : {IDOK, IDCANCEL, ID_APPLY_NOW})
    EXPECT_NE(sheet_.GetDlgItem(id), nullptr) << "a modeless sheet keeps its buttons, also as a child: " << id;
  EXPECT_EQ(sheet_.GetTabControl()->SendMessage(TCM_GETITEMCOUNT), 2);
  EXPECT_EQ(sheet_.GetActivePage(), &one_);
  EXPECT_TRUE(::IsChild(host.m_hWnd, one_.m_hWnd));
  EXPECT_TRUE(sheet_.SetActivePage(1));
  EXPECT_EQ(sheet_.GetActivePage(), &two_);
  sheet_.DestroyWindow();
  EXPECT_EQ(one_.m_hWnd, nullptr) << "pages go with their sheet";
}

}  // namespace

// The framework's user-facing surfaces driven by the UI driver in this process: a CDialog's modal
// loop answered (or ended unanswered), AfxMessageBox as a real box owned by the main window, the
// frame's menu bar loaded with it and its update-UI handlers run before a pick, and CMenu.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "afx_classes.h"
#include "platform/afx/menu.h"
#include "platform/base/text.h"
#include "platform/win32/controls_msg.h"
#include "tests/support/test_host.h"
#include "tests/support/ui_script.h"

namespace {

class CNameDlg : public CDialog {
 public:
  CNameDlg() : CDialog(IDD_SETTINGS) {}
  CString m_name;
  BOOL m_flag = FALSE;
  int m_nameChanges = 0;
  void OnOK() override {
    GetDlgItemText(IDC_NAME, m_name);
    m_flag = IsDlgButtonChecked(IDC_FLAG) == BST_CHECKED;
    CDialog::OnOK();
  }
  void OnCancel() override {
    cancelHandled = true;
    CDialog::OnCancel();
  }
  void OnNameChange() { ++m_nameChanges; }
  bool cancelHandled = false;
  DECLARE_MESSAGE_MAP()
};
BEGIN_MESSAGE_MAP(CNameDlg, CDialog)
  ON_EN_CHANGE(IDC_NAME, OnNameChange)
END_MESSAGE_MAP()

class AfxUiTest : public ::testing::Test {
 protected:
  AfxUiTest() { g_route.clear(); }
  ~AfxUiTest() override {
    if (app_.m_pMainWnd && app_.m_pMainWnd->m_hWnd) app_.m_pMainWnd->DestroyWindow();
    app_.CloseAllDocuments(TRUE);
    CWnd::DeleteTempMap();
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
    }
  }
  CFrameWnd* newFrame() {
    app_.addSdiTemplate();
    app_.OnFileNew();
    return static_cast<CFrameWnd*>(app_.m_pMainWnd);
  }

  kipotest::TestHost host_;
  CTestApp app_;
};

TEST_F(AfxUiTest, ADialogsModalLoopIsDrivenByTemplateId) {
  CNameDlg dlg;
  kipotest::UiScript ui;
  ui.dialog(IDD_SETTINGS).type(IDC_NAME, u"Bo").check(IDC_FLAG, true).click(IDOK);
  EXPECT_EQ(dlg.DoModal(), IDOK);
  EXPECT_EQ(dlg.m_name, u"Bo");
  EXPECT_TRUE(dlg.m_flag);
  EXPECT_EQ(dlg.m_nameChanges, 2);  // one EN_CHANGE per character typed
}

TEST_F(AfxUiTest, AnUnansweredFrameworkDialogEndsWithCancelWithoutItsHandler) {
  CNameDlg dlg;
  platform::ui::Script s;
  EXPECT_EQ(dlg.DoModal(), IDCANCEL);
  EXPECT_FALSE(dlg.cancelHandled);
  ASSERT_EQ(s.failures().size(), 1u);
  EXPECT_NE(s.failures()[0].find("dialog 300 \"Settings\""), std::string::npos) << s.failures()[0];
}

TEST_F(AfxUiTest, AfxMessageBoxIsARealBoxOwnedByTheMainWindow) {
  CFrameWnd* frame = newFrame();
  ASSERT_NE(frame, nullptr);
  kipotest::UiScript ui;
  ui.box(u"^Go on\\?$").answer(IDNO).box(u"Done").enter();
  EXPECT_EQ(AfxMessageBox(u"Go on?", MB_YESNO), IDNO);
  EXPECT_EQ(AfxMessageBox(u"Done"), IDOK);
  const auto boxes = ui.boxes();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].caption, u"Kipo Test App");
  EXPECT_EQ(boxes[0].owner, frame->m_hWnd);
  // The framework's icon for a type given none.
  EXPECT_EQ(boxes[0].style, static_cast<UINT>(MB_YESNO | MB_ICONQUESTION));
  EXPECT_EQ(boxes[1].style, static_cast<UINT>(MB_OK | MB_ICONEXCLAMATION));
  EXPECT_TRUE(frame->IsWindowEnabled());
}

TEST_F(AfxUiTest, TheFramesMenuBarComesFromItsResourceAndItsPicksRunUpdateUi) {
  CFrameWnd* frame = newFrame();
  ASSERT_NE(frame, nullptr);
  CMenu* bar = frame->GetMenu();
  ASSERT_NE(bar, nullptr);
  EXPECT_EQ(bar->GetMenuItemCount(), 1u);
  CMenu* test = bar->GetSubMenu(0);
  ASSERT_NE(test, nullptr);
  EXPECT_EQ(test->GetMenuItemID(0), static_cast<UINT>(ID_TEST_FRAME_ONLY));
  CString label;
  test->GetMenuString(3, label, MF_BYPOSITION);
  EXPECT_EQ(label, u"&Disabled");

  platform::ui::Script s;
  s.window(KIPO_TEST_FRAME_CLASS).menu(ID_TEST_FRAME_ONLY).menu(ID_TEST_DISABLED).menu(ID_TEST_EVERYWHERE);
  s.pump();
  EXPECT_TRUE(s.done());
  // The view's update handler grayed the item when the popup opened: the pick was refused.
  std::erase(g_route, std::string("view:draw"));
  EXPECT_EQ(g_route, (std::vector<std::string>{"frame:only", "view:everywhere"}));
  ASSERT_EQ(s.failures().size(), 1u);
  EXPECT_NE(s.failures()[0].find("grayed"), std::string::npos);
  EXPECT_EQ(test->GetMenuState(ID_TEST_DISABLED, MF_BYCOMMAND) & MF_GRAYED, static_cast<UINT>(MF_GRAYED));
}

TEST_F(AfxUiTest, CMenuEditsItemsAndTracksAPopup) {
  CFrameWnd* frame = newFrame();
  CMenu menu;
  ASSERT_TRUE(menu.LoadMenu(IDR_TRAY_MENU));
  CMenu* popup = menu.GetSubMenu(0);
  ASSERT_NE(popup, nullptr);
  EXPECT_EQ(popup->GetMenuItemCount(), 5u);
  EXPECT_TRUE(popup->SetDefaultItem(1, TRUE));
  EXPECT_EQ(popup->GetDefaultItem(0, FALSE), static_cast<UINT>(ID_TRAY_SETTINGS));
  EXPECT_EQ(popup->CheckMenuItem(ID_TRAY_ASK, MF_CHECKED), static_cast<UINT>(MF_UNCHECKED));
  EXPECT_EQ(popup->CheckMenuItem(ID_TRAY_ASK, MF_UNCHECKED), static_cast<UINT>(MF_CHECKED));
  EXPECT_EQ(popup->EnableMenuItem(ID_TRAY_GRAYED, MF_ENABLED), static_cast<UINT>(MF_GRAYED));
  EXPECT_TRUE(popup->ModifyMenu(ID_TRAY_EXIT, MF_BYCOMMAND | MF_STRING, ID_TRAY_EXIT, u"&Quit"));
  EXPECT_TRUE(popup->DeleteMenu(3, MF_BYPOSITION));  // the separator
  EXPECT_EQ(popup->GetMenuItemCount(), 4u);
  CString label;
  popup->GetMenuString(ID_TRAY_EXIT, label, MF_BYCOMMAND);
  EXPECT_EQ(label, u"&Quit");

  kipotest::UiScript ui;
  ui.window(u"#32768").menu(ID_TRAY_GRAYED);
  EXPECT_EQ(popup->TrackPopupMenu(TPM_RETURNCMD | TPM_NONOTIFY, 0, 0, frame), static_cast<BOOL>(ID_TRAY_GRAYED));
  // The temporary CMenu does not destroy what it wraps; the owner does.
  EXPECT_TRUE(::IsMenu(popup->m_hMenu));
  HMENU h = menu.m_hMenu;
  menu.DestroyMenu();
  EXPECT_FALSE(::IsMenu(h));
}

}  // namespace

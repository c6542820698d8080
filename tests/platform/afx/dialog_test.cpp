// CDialog with the real control classes: DoModal returns what was pressed (a click, Enter,
// Escape), data exchange fills the controls and reads them back, a failed check keeps the dialog
// up with the user told and the control focused, the owner is disabled while modal, in-memory
// templates, and notifications from a user's typing reach the dialog's map.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "afx_ids.h"
#include "platform/afx/app.h"
#include "platform/afx/dialog.h"
#include "platform/base/text.h"
#include "platform/win32/controls_msg.h"
#include "tests/support/test_host.h"

namespace {

class CSettingsDlg : public CDialog {
 public:
  CSettingsDlg(CWnd* parent = nullptr) : CDialog(IDD_SETTINGS, parent) {}
  CString m_name = u"initial";
  int m_flag = BST_CHECKED;
  int m_count = 5;
  int m_option = 1;
  int m_choice = 2;
  int m_nameChanges = 0;
  std::function<void(CSettingsDlg&)> onInit;

  BOOL OnInitDialog() override {
    for (const char16_t* s : {u"zero", u"one", u"two"})
      SendDlgItemMessage(IDC_CHOICE, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(s));
    BOOL r = CDialog::OnInitDialog();
    if (onInit) onInit(*this);
    return r;
  }
  void DoDataExchange(CDataExchange* pDX) override {
    DDX_Text(pDX, IDC_NAME, m_name);
    DDV_MaxChars(pDX, m_name, 10);
    DDX_Check(pDX, IDC_FLAG, m_flag);
    DDX_Text(pDX, IDC_COUNT, m_count);
    DDV_MinMaxInt(pDX, m_count, 1, 99);
    DDX_Radio(pDX, IDC_OPTION_A, m_option);
    DDX_CBIndex(pDX, IDC_CHOICE, m_choice);
  }
  void OnNameChange() { ++m_nameChanges; }
  HWND m_focusAtProbe = nullptr;
  bool m_throwOnProbe = false;
  LRESULT OnProbe(WPARAM, LPARAM) {
    if (m_throwOnProbe) throw 42;  // as the translator throws from a handler that faulted
    m_focusAtProbe = ::GetFocus();
    return 0;
  }
  void click(int id) { GetDlgItem(id)->PostMessage(BM_CLICK); }
  DECLARE_MESSAGE_MAP()
};
BEGIN_MESSAGE_MAP(CSettingsDlg, CDialog)
  ON_EN_CHANGE(IDC_NAME, OnNameChange)
  ON_MESSAGE(WM_APP, OnProbe)
END_MESSAGE_MAP()

class AfxDialogTest : public ::testing::Test {
 protected:
  AfxDialogTest() {
    platform::afx::setMessageBoxHook([this](const CString& text, UINT) {
      boxes_.push_back(platform::text::toUtf8(text.view()));
      return IDOK;
    });
  }
  ~AfxDialogTest() override {
    platform::afx::setMessageBoxHook(nullptr);
    CWnd::DeleteTempMap();
  }
  kipotest::TestHost host_;
  CWinApp app_;
  std::vector<std::string> boxes_;
};

TEST_F(AfxDialogTest, OkReadsTheControlsBackAndReturnsIdOk) {
  CSettingsDlg dlg;
  bool filled = false;
  dlg.onInit = [&](CSettingsDlg& d) {
    // What UpdateData(FALSE) put in the controls.
    CString name;
    d.GetDlgItemText(IDC_NAME, name);
    filled = name == CString(u"initial") && d.IsDlgButtonChecked(IDC_FLAG) == BST_CHECKED &&
             d.IsDlgButtonChecked(IDC_OPTION_B) == BST_CHECKED && d.GetDlgItemInt(IDC_COUNT) == 5 &&
             d.SendDlgItemMessage(IDC_CHOICE, CB_GETCURSEL) == 2;
    d.SetDlgItemText(IDC_NAME, u"Kipo");
    d.SetDlgItemInt(IDC_COUNT, 12);
    d.CheckRadioButton(IDC_OPTION_A, IDC_OPTION_B, IDC_OPTION_A);
    d.CheckDlgButton(IDC_FLAG, BST_UNCHECKED);
    d.SendDlgItemMessage(IDC_CHOICE, CB_SETCURSEL, 0);
    d.click(IDOK);
  };
  EXPECT_EQ(dlg.DoModal(), IDOK);
  EXPECT_TRUE(filled);
  EXPECT_EQ(dlg.m_name, CString(u"Kipo"));
  EXPECT_EQ(dlg.m_count, 12);
  EXPECT_EQ(dlg.m_flag, BST_UNCHECKED);
  EXPECT_EQ(dlg.m_option, 0);
  EXPECT_EQ(dlg.m_choice, 0);
  EXPECT_EQ(dlg.m_hWnd, nullptr) << "the window is gone after DoModal";
  EXPECT_TRUE(boxes_.empty());
}

TEST_F(AfxDialogTest, KeysEndTheDialogAsTheirButtonsDo) {
  struct Case {
    WPARAM vk;
    INT_PTR expected;
  };
  for (const Case& c : {Case{VK_ESCAPE, IDCANCEL}, Case{VK_RETURN, IDOK}}) {
    CSettingsDlg dlg;
    dlg.onInit = [&](CSettingsDlg& d) {
      d.SetDlgItemText(IDC_NAME, u"changed");
      d.GetDlgItem(IDC_NAME)->PostMessage(WM_KEYDOWN, c.vk, 1);
    };
    EXPECT_EQ(dlg.DoModal(), c.expected) << c.vk;
    EXPECT_EQ(dlg.m_name, CString(c.expected == IDOK ? u"changed" : u"initial")) << "Cancel reads nothing back";
  }
}

TEST_F(AfxDialogTest, AFailedCheckKeepsTheDialogUpAndFocusesTheControl) {
  CSettingsDlg dlg;
  HWND countEdit = nullptr;
  dlg.onInit = [&](CSettingsDlg& d) {
    countEdit = d.GetDlgItem(IDC_COUNT)->m_hWnd;
    d.SetDlgItemText(IDC_COUNT, u"500");
    d.click(IDOK);
    d.PostMessage(WM_APP);
    d.click(IDCANCEL);
  };
  EXPECT_EQ(dlg.DoModal(), IDCANCEL);
  EXPECT_EQ(boxes_, std::vector<std::string>{"Please enter an integer between 1 and 99."});
  EXPECT_EQ(dlg.m_focusAtProbe, countEdit) << "the failing control has the focus afterwards";
  EXPECT_EQ(dlg.m_count, 500) << "the member was read before the check failed";

  struct Case {
    const char16_t* count;
    const char* message;
  };
  for (const Case& c : {Case{u"12x", "Please enter an integer."}, Case{u"", "Please enter an integer."}}) {
    boxes_.clear();
    CSettingsDlg again;
    again.onInit = [&](CSettingsDlg& d) {
      d.SetDlgItemText(IDC_COUNT, c.count);
      d.click(IDOK);
      d.click(IDCANCEL);
    };
    EXPECT_EQ(again.DoModal(), IDCANCEL);
    EXPECT_EQ(boxes_, std::vector<std::string>{c.message});
  }
}

TEST_F(AfxDialogTest, TheOwnerIsDisabledWhileModal) {
  CWnd owner;
  ASSERT_TRUE(owner.CreateEx(0, AfxRegisterWndClass(0), u"owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 200,
                             nullptr, nullptr));
  CSettingsDlg dlg(&owner);
  bool enabledDuring = true;
  HWND dialogOwner = nullptr;
  dlg.onInit = [&](CSettingsDlg& d) {
    enabledDuring = owner.IsWindowEnabled();
    dialogOwner = ::GetWindow(d.m_hWnd, GW_OWNER);
    d.click(IDCANCEL);
  };
  EXPECT_EQ(dlg.DoModal(), IDCANCEL);
  EXPECT_FALSE(enabledDuring);
  EXPECT_EQ(dialogOwner, owner.m_hWnd);
  EXPECT_TRUE(owner.IsWindowEnabled());
}

TEST_F(AfxDialogTest, AnExceptionFromAHandlerEndsTheDialogAndFreesTheOwner) {
  CWnd owner;
  ASSERT_TRUE(owner.CreateEx(0, AfxRegisterWndClass(0), u"owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 200,
                             nullptr, nullptr));
  CSettingsDlg dlg(&owner);
  dlg.m_throwOnProbe = true;
  dlg.onInit = [&](CSettingsDlg& d) { d.PostMessage(WM_APP); };
  EXPECT_THROW(dlg.DoModal(), int);
  EXPECT_TRUE(owner.IsWindowEnabled());
  EXPECT_EQ(dlg.m_hWnd, nullptr) << "the dialog is gone";
  dlg.m_throwOnProbe = false;
  dlg.onInit = [&](CSettingsDlg& d) { d.click(IDCANCEL); };
  EXPECT_EQ(dlg.DoModal(), IDCANCEL) << "the next one runs";
  EXPECT_TRUE(owner.IsWindowEnabled());
}

TEST_F(AfxDialogTest, TypingSendsTheNotificationsAUserCauses) {
  CSettingsDlg dlg;
  dlg.onInit = [&](CSettingsDlg& d) {
    d.m_nameChanges = 0;
    CWnd* name = d.GetDlgItem(IDC_NAME);
    name->PostMessage(WM_CHAR, u'a', 1);
    name->PostMessage(WM_CHAR, u'b', 1);
    d.click(IDCANCEL);
  };
  EXPECT_EQ(dlg.DoModal(), IDCANCEL);
  EXPECT_EQ(dlg.m_nameChanges, 2);
}

// An in-memory template: a caption and an OK button by the Button class ordinal.
std::vector<WORD> okTemplate() {
  std::vector<WORD> w;
  auto dword = [&](DWORD v) {
    w.push_back(LOWORD(v));
    w.push_back(HIWORD(v));
  };
  dword(WS_POPUP | WS_CAPTION | DS_MODALFRAME);
  dword(0);
  w.insert(w.end(), {1, 0, 0, 120, 60, 0, 0});
  for (char16_t c : std::u16string(u"In memory")) w.push_back(c);
  w.push_back(0);
  if (w.size() % 2) w.push_back(0);
  dword(WS_CHILD | WS_VISIBLE | WS_TABSTOP | 0x1 /* BS_DEFPUSHBUTTON */);
  dword(0);
  w.insert(w.end(), {10, 30, 50, 14, IDOK, 0xFFFF, 0x0080, u'O', u'K', 0, 0});
  return w;
}

TEST_F(AfxDialogTest, InMemoryTemplatesModalAndModeless) {
  std::vector<WORD> t = okTemplate();
  struct CMemoryDlg : CDialog {
    BOOL OnInitDialog() override {
      CDialog::OnInitDialog();
      GetDlgItem(IDOK)->PostMessage(WM_KEYDOWN, VK_RETURN, 1);
      return TRUE;
    }
  } dlg;
  ASSERT_TRUE(dlg.InitModalIndirect(reinterpret_cast<LPCDLGTEMPLATE>(t.data())));
  EXPECT_EQ(dlg.DoModal(), IDOK);

  CDialog modeless;
  ASSERT_TRUE(modeless.CreateIndirect(reinterpret_cast<LPCDLGTEMPLATE>(t.data())));
  CString caption;
  modeless.GetWindowText(caption);
  EXPECT_EQ(caption, CString(u"In memory"));
  CWnd* ok = modeless.GetDlgItem(IDOK);
  ASSERT_NE(ok, nullptr);
  CString label;
  ok->GetWindowText(label);
  EXPECT_EQ(label, CString(u"OK"));
  EXPECT_EQ(HIWORD(modeless.GetDefID()), DC_HASDEFID);
  EXPECT_EQ(LOWORD(modeless.GetDefID()), IDOK);
  EXPECT_TRUE(modeless.DestroyWindow());
  EXPECT_EQ(modeless.m_hWnd, nullptr);
}

}  // namespace

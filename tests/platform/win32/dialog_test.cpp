// The dialog manager: template parsing (and its bounds checks on every length), creation of a
// dialog and its controls, WM_INITDIALOG's focus rule, the default procedure, the modal loop and
// its owner, keyboard navigation, and the dialog-item helpers. Controls are of a class the test
// registers, so these rules do not depend on the real control classes.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "fixture_ids.h"
#include "platform/win32/dialog.h"
#include "platform/win32/error.h"
#include "platform/win32/process.h"
#include "platform/win32/resource.h"
#include "platform/win32/window.h"
#include "tests/support/test_host.h"
#include "tests/support/test_windows.h"

namespace {

constexpr const char16_t* kCtl = u"KipoDlgTestCtl";
// Low nibble of a test control's style: what it says it is in WM_GETDLGCODE.
constexpr DWORD kPush = 0x0, kDefPush = 0x1, kEditLike = 0xE;
constexpr UINT kEmSetSel = 0x00B1;

std::vector<HWND> g_selAll;  // controls that got EM_SETSEL(0, -1)

LRESULT CALLBACK testCtlProc(HWND h, UINT msg, WPARAM w, LPARAM l) {
  DWORD kind = static_cast<DWORD>(GetWindowLongW(h, GWL_STYLE)) & 0x0F;
  switch (msg) {
    case WM_GETDLGCODE:
      if (kind == kEditLike) return DLGC_HASSETSEL | DLGC_WANTCHARS | DLGC_WANTARROWS;
      return DLGC_BUTTON | (kind == kDefPush ? DLGC_DEFPUSHBUTTON : DLGC_UNDEFPUSHBUTTON);
    case BM_CLICK:
      SendMessageW(GetParent(h), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(h), BN_CLICKED), reinterpret_cast<LPARAM>(h));
      return 0;
    case BM_SETSTYLE:
      SetWindowLongW(h, GWL_STYLE, static_cast<LONG>((static_cast<DWORD>(GetWindowLongW(h, GWL_STYLE)) & ~0x0Fu) | (w & 0x0F)));
      return 0;
    case BM_SETCHECK:
      SetWindowLongPtrW(h, GWLP_USERDATA, static_cast<LONG_PTR>(w));
      return 0;
    case BM_GETCHECK:
      return GetWindowLongPtrW(h, GWLP_USERDATA);
    case kEmSetSel:
      if (w == 0 && l == -1) g_selAll.push_back(h);
      return 0;
    default:
      return DefWindowProcW(h, msg, w, l);
  }
}

// Builds a classic in-memory template.
class Template {
 public:
  Template(DWORD style, const char16_t* title, short cx, short cy) {
    dword(style);
    dword(0);
    words_.push_back(0);  // item count, patched by item()
    words_.insert(words_.end(), {0, 0, static_cast<WORD>(cx), static_cast<WORD>(cy), 0, 0});
    str(title);
  }
  Template& item(DWORD style, short x, short y, short cx, short cy, WORD id, const char16_t* cls,
                 const char16_t* text = u"") {
    if (words_.size() % 2) words_.push_back(0);
    dword(style | WS_CHILD | WS_VISIBLE);
    dword(0);
    words_.insert(words_.end(), {static_cast<WORD>(x), static_cast<WORD>(y), static_cast<WORD>(cx),
                                 static_cast<WORD>(cy), id});
    str(cls);
    str(text);
    words_.push_back(0);
    ++words_[4];
    return *this;
  }
  const DLGTEMPLATE* get() const { return reinterpret_cast<const DLGTEMPLATE*>(words_.data()); }
  const BYTE* bytes() const { return reinterpret_cast<const BYTE*>(words_.data()); }
  std::size_t size() const { return words_.size() * 2; }

 private:
  void dword(DWORD v) {
    words_.push_back(LOWORD(v));
    words_.push_back(HIWORD(v));
  }
  void str(const char16_t* s) {
    while (*s) words_.push_back(*s++);
    words_.push_back(0);
  }
  std::vector<WORD> words_;
};

// A dialog with an edit-like control (no tab stop), two push buttons (OK default) and Cancel.
Template standardTemplate() {
  Template t(WS_POPUP | WS_CAPTION, u"Test", 200, 100);
  t.item(kEditLike | WS_TABSTOP, 5, 5, 100, 12, 10, kCtl)
      .item(kPush, 5, 20, 40, 14, 11, kCtl)  // no WS_TABSTOP
      .item(kDefPush | WS_TABSTOP, 50, 80, 40, 14, IDOK, kCtl, u"OK")
      .item(kPush | WS_TABSTOP, 100, 80, 40, 14, IDCANCEL, kCtl, u"Cancel");
  return t;
}

struct DlgLog {
  std::vector<UINT> commands;
  HWND initFocusArg = nullptr;
  LPARAM initParam = 0;
  INT_PTR initAnswer = TRUE;
  bool ownerEnabledDuringModal = true;
  HWND owner = nullptr;
  INT_PTR endWith = -2;  // EndDialog code for the first command, or -2 to keep going
};
DlgLog* g_dlg = nullptr;

INT_PTR CALLBACK testDlgProc(HWND h, UINT msg, WPARAM w, LPARAM l) {
  switch (msg) {
    case WM_INITDIALOG:
      g_dlg->initFocusArg = reinterpret_cast<HWND>(w);
      g_dlg->initParam = l;
      return g_dlg->initAnswer;
    case WM_COMMAND:
      g_dlg->commands.push_back(LOWORD(w));
      if (g_dlg->owner) g_dlg->ownerEnabledDuringModal = IsWindowEnabled(g_dlg->owner);
      if (g_dlg->endWith != -2) EndDialog(h, g_dlg->endWith + LOWORD(w));
      return TRUE;
    case WM_USER + 7:
      SetWindowLongPtrW(h, DWLP_MSGRESULT, 77);
      return TRUE;
    case WM_CTLCOLORDLG:
      return 0x1234;
    default:
      return FALSE;
  }
}

class DialogTest : public ::testing::Test {
 protected:
  DialogTest() {
    kipotest::registerWindowClass(kCtl, testCtlProc);
    g_dlg = &log_;
    g_selAll.clear();
  }
  ~DialogTest() override {
    kipotest::destroyThreadWindows();
    g_dlg = nullptr;
  }
  // Pumps what is queued through the dialog's navigation.
  void pump(HWND dlg) {
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE))
      if (!IsDialogMessageW(dlg, &m)) {
        TranslateMessage(&m);
        DispatchMessageW(&m);
      }
  }
  void key(HWND dlg, HWND target, WPARAM vk) {
    PostMessageW(target, WM_KEYDOWN, vk, 1);
    pump(dlg);
  }

  kipotest::TestHost host_;
  DlgLog log_;
  Template t_ = standardTemplate();
};

// ---- Templates ----

TEST_F(DialogTest, ParsesClassicAndExtendedTemplatesOfAModule) {
  auto parse = [](int id, platform::dialog::DialogTemplate& out) {
    HRSRC r = FindResourceW(nullptr, MAKEINTRESOURCEW(id), RT_DIALOG);
    EXPECT_NE(r, nullptr);
    auto* bytes = static_cast<const BYTE*>(LockResource(LoadResource(nullptr, r)));
    return platform::dialog::parseTemplate(bytes, SizeofResource(nullptr, r), out);
  };
  platform::dialog::DialogTemplate plain, ex;
  ASSERT_TRUE(parse(IDD_PLAIN, plain));
  EXPECT_FALSE(plain.extended);
  EXPECT_EQ(plain.title, u"Plain dialog");
  EXPECT_EQ(plain.faceName, u"MS Shell Dlg");
  EXPECT_EQ(plain.pointSize, 8);
  EXPECT_EQ(plain.x, 10);
  EXPECT_EQ(plain.cx, 200);
  ASSERT_GE(plain.items.size(), 2u);
  // Ordinal classes become their names.
  EXPECT_EQ(plain.items[0].className, u"Static");
  EXPECT_EQ(plain.items[1].className, u"Edit");
  EXPECT_EQ(plain.items[1].id, static_cast<DWORD>(IDC_NAME));

  ASSERT_TRUE(parse(IDD_EXTENDED, ex));
  EXPECT_TRUE(ex.extended);
  EXPECT_EQ(ex.helpId, 77u);
  EXPECT_EQ(ex.weight, 400);
  EXPECT_EQ(ex.charset, 1);
  ASSERT_EQ(ex.items.size(), 2u);
  EXPECT_EQ(ex.items[0].className, u"SysListView32");
  EXPECT_EQ(ex.items[0].exStyle, static_cast<DWORD>(WS_EX_CLIENTEDGE));
  EXPECT_EQ(ex.items[1].helpId, 55u);
}

TEST_F(DialogTest, EveryTruncationOfATemplateIsRejected) {
  for (int id : {IDD_PLAIN, IDD_EXTENDED}) {
    HRSRC r = FindResourceW(nullptr, MAKEINTRESOURCEW(id), RT_DIALOG);
    ASSERT_NE(r, nullptr);
    auto* bytes = static_cast<const BYTE*>(LockResource(LoadResource(nullptr, r)));
    DWORD size = SizeofResource(nullptr, r);
    // Trailing padding after the last item may be cut; anything before the last item's end may not.
    platform::dialog::DialogTemplate full;
    ASSERT_TRUE(platform::dialog::parseTemplate(bytes, size, full));
    std::size_t minimal = size;
    while (minimal > 0) {
      platform::dialog::DialogTemplate t;
      if (!platform::dialog::parseTemplate(bytes, minimal - 1, t)) break;
      --minimal;
    }
    for (std::size_t n = 0; n < minimal; ++n) {
      platform::dialog::DialogTemplate t;
      EXPECT_FALSE(platform::dialog::parseTemplate(bytes, n, t)) << "id " << id << " cut to " << n;
    }
    EXPECT_GE(minimal + 4, static_cast<std::size_t>(size)) << "only padding may go";
  }
}

TEST_F(DialogTest, CorruptCountsAreRejected) {
  std::vector<BYTE> bytes(t_.bytes(), t_.bytes() + t_.size());
  bytes[8] = 0xFF;  // item count 0xFF04: far more items than bytes
  bytes[9] = 0xFF;
  platform::dialog::DialogTemplate t;
  EXPECT_FALSE(platform::dialog::parseTemplate(bytes.data(), bytes.size(), t));
  EXPECT_FALSE(platform::dialog::parseTemplate(nullptr, 100, t));
}

// ---- Creation ----

TEST_F(DialogTest, CreatesControlsInDialogUnitsAndGivesTheFirstTabStopTheFocus) {
  HWND dlg = CreateDialogIndirectParamW(nullptr, t_.get(), nullptr, testDlgProc, 0x55);
  ASSERT_NE(dlg, nullptr);
  WCHAR cls[16];
  GetClassNameW(dlg, cls, 16);
  EXPECT_EQ(std::u16string(cls), u"#32770");
  HWND edit = GetDlgItem(dlg, 10);
  HWND ok = GetDlgItem(dlg, IDOK);
  ASSERT_NE(edit, nullptr);
  ASSERT_NE(ok, nullptr);
  // 6x13 base units: x * 6 / 4, y * 13 / 8.
  RECT r;
  GetWindowRect(ok, &r);
  POINT origin{0, 0};
  ClientToScreen(dlg, &origin);
  EXPECT_EQ(r.left - origin.x, 75);
  EXPECT_EQ(r.top - origin.y, 130);
  EXPECT_EQ(r.right - r.left, 60);
  EXPECT_EQ(r.bottom - r.top, 23);  // 14 * 13 / 8 = 22.75
  GetClientRect(dlg, &r);
  EXPECT_EQ(r.right, 300);
  EXPECT_EQ(r.bottom, 163);  // 100 * 13 / 8 = 162.5 rounds up
  EXPECT_EQ(log_.initFocusArg, edit);
  EXPECT_EQ(log_.initParam, 0x55);
  EXPECT_EQ(GetFocus(), edit);
  EXPECT_EQ(g_selAll, std::vector<HWND>{edit}) << "an edit given the focus has its text selected";
  // Not WS_VISIBLE in the template: a modeless dialog stays hidden.
  EXPECT_FALSE(IsWindowVisible(dlg));
}

TEST_F(DialogTest, InitDialogAnsweringFalseKeepsItsOwnFocus) {
  log_.initAnswer = FALSE;
  HWND dlg = CreateDialogIndirectParamW(nullptr, t_.get(), nullptr, testDlgProc, 0);
  ASSERT_NE(dlg, nullptr);
  EXPECT_NE(GetFocus(), GetDlgItem(dlg, 10));
}

TEST_F(DialogTest, AControlOfAnUnknownClassFailsTheDialog) {
  Template t(WS_POPUP, u"Bad", 100, 50);
  t.item(kPush, 0, 0, 10, 10, 1, kCtl).item(0, 0, 0, 10, 10, 2, u"NoSuchClass");
  EXPECT_EQ(CreateDialogIndirectParamW(nullptr, t.get(), nullptr, testDlgProc, 0), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CANNOT_FIND_WND_CLASS));
  EXPECT_EQ(FindWindowW(u"#32770", u"Bad"), nullptr) << "the half-made dialog is destroyed";

  Template tolerant(WS_POPUP | DS_NOFAILCREATE, u"Tolerant", 100, 50);
  tolerant.item(kPush, 0, 0, 10, 10, 1, kCtl).item(0, 0, 0, 10, 10, 2, u"NoSuchClass");
  HWND dlg = CreateDialogIndirectParamW(nullptr, tolerant.get(), nullptr, testDlgProc, 0);
  ASSERT_NE(dlg, nullptr);
  EXPECT_NE(GetDlgItem(dlg, 1), nullptr);
  EXPECT_EQ(GetDlgItem(dlg, 2), nullptr);
}

TEST_F(DialogTest, DefaultProcedureAnswers) {
  HWND dlg = CreateDialogIndirectParamW(nullptr, t_.get(), nullptr, testDlgProc, 0);
  ASSERT_NE(dlg, nullptr);
  // A handled message's answer is DWLP_MSGRESULT, except for the messages answered directly.
  EXPECT_EQ(SendMessageW(dlg, WM_USER + 7, 0, 0), 77);
  EXPECT_EQ(SendMessageW(dlg, WM_CTLCOLORDLG, 0, 0), 0x1234);
  // The default push button of the template is the default id; DM_SETDEFID moves it.
  EXPECT_EQ(SendMessageW(dlg, DM_GETDEFID, 0, 0), MAKELONG(IDOK, DC_HASDEFID));
  SendMessageW(dlg, DM_SETDEFID, IDCANCEL, 0);
  EXPECT_EQ(SendMessageW(dlg, DM_GETDEFID, 0, 0), MAKELONG(IDCANCEL, DC_HASDEFID));
  EXPECT_EQ(GetWindowLongW(GetDlgItem(dlg, IDOK), GWL_STYLE) & 0x0F, static_cast<LONG>(kPush));
  EXPECT_EQ(GetWindowLongW(GetDlgItem(dlg, IDCANCEL), GWL_STYLE) & 0x0F, static_cast<LONG>(kDefPush));
  // WM_CLOSE turns into Cancel.
  SendMessageW(dlg, WM_CLOSE, 0, 0);
  pump(dlg);
  EXPECT_EQ(log_.commands, std::vector<UINT>{IDCANCEL});
}

// ---- Modal loop ----

TEST_F(DialogTest, DialogBoxReturnsTheEndDialogCodeAndDisablesTheOwnerMeanwhile) {
  HWND owner = CreateWindowExW(0, kCtl, u"Owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300, 300, nullptr, nullptr,
                               nullptr, nullptr);
  ASSERT_NE(owner, nullptr);
  log_.owner = owner;
  log_.endWith = 100;
  // What a user's click would do once the loop runs.
  struct Poster {
    static INT_PTR CALLBACK proc(HWND h, UINT msg, WPARAM w, LPARAM l) {
      if (msg == WM_INITDIALOG) PostMessageW(GetDlgItem(h, IDCANCEL), BM_CLICK, 0, 0);
      return testDlgProc(h, msg, w, l);
    }
  };
  INT_PTR result = DialogBoxIndirectParamW(nullptr, t_.get(), owner, Poster::proc, 0);
  EXPECT_EQ(result, 100 + IDCANCEL);
  EXPECT_FALSE(log_.ownerEnabledDuringModal);
  EXPECT_TRUE(IsWindowEnabled(owner));
  EXPECT_EQ(FindWindowW(u"#32770", u"Test"), nullptr) << "the dialog is destroyed";
}

TEST_F(DialogTest, DialogBoxFailures) {
  Template bad(WS_POPUP, u"Bad", 10, 10);
  bad.item(0, 0, 0, 1, 1, 1, u"NoSuchClass");
  EXPECT_EQ(DialogBoxIndirectParamW(nullptr, bad.get(), nullptr, testDlgProc, 0), -1);
  EXPECT_EQ(DialogBoxParamW(nullptr, MAKEINTRESOURCEW(4242), nullptr, testDlgProc, 0), -1);
  EXPECT_EQ(DialogBoxIndirectParamW(nullptr, t_.get(), reinterpret_cast<HWND>(0x7777), testDlgProc, 0), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}

TEST_F(DialogTest, QuitDuringAModalLoopEndsItAndIsPostedAgain) {
  struct Quitter {
    static INT_PTR CALLBACK proc(HWND h, UINT msg, WPARAM w, LPARAM l) {
      if (msg == WM_INITDIALOG) PostQuitMessage(3);
      return testDlgProc(h, msg, w, l);
    }
  };
  DialogBoxIndirectParamW(nullptr, t_.get(), nullptr, Quitter::proc, 0);
  MSG m;
  ASSERT_TRUE(PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(m.message, static_cast<UINT>(WM_QUIT));
  EXPECT_EQ(m.wParam, 3u);
}

// ---- Keyboard navigation ----

TEST_F(DialogTest, EnterAndEscapePressTheRightButton) {
  HWND dlg = CreateDialogIndirectParamW(nullptr, t_.get(), nullptr, testDlgProc, 0);
  ASSERT_NE(dlg, nullptr);
  HWND edit = GetDlgItem(dlg, 10);
  struct Case {
    const char* what;
    std::function<void()> setup;
    HWND target;
    WPARAM vk;
    std::vector<UINT> expected;
  };
  std::vector<Case> cases = {
      {"Enter in an edit presses the default button", [] {}, edit, VK_RETURN, {IDOK}},
      {"Enter on a push button presses that button", [] {}, GetDlgItem(dlg, IDCANCEL), VK_RETURN, {IDCANCEL}},
      {"Escape is Cancel", [] {}, edit, VK_ESCAPE, {IDCANCEL}},
      {"a disabled default button does nothing", [&] { EnableWindow(GetDlgItem(dlg, IDOK), FALSE); }, edit,
       VK_RETURN, {}},
      {"without a default id Enter is IDOK", [&] {
         EnableWindow(GetDlgItem(dlg, IDOK), TRUE);
         SendMessageW(dlg, DM_SETDEFID, 0, 0);
       }, edit, VK_RETURN, {IDOK}},
  };
  for (auto& c : cases) {
    c.setup();
    log_.commands.clear();
    key(dlg, c.target, c.vk);
    EXPECT_EQ(log_.commands, c.expected) << c.what;
  }
}

TEST_F(DialogTest, TabMovesAmongTabStopsSkippingDisabledAndWrapping) {
  HWND dlg = CreateDialogIndirectParamW(nullptr, t_.get(), nullptr, testDlgProc, 0);
  ASSERT_NE(dlg, nullptr);
  HWND edit = GetDlgItem(dlg, 10), ok = GetDlgItem(dlg, IDOK), cancel = GetDlgItem(dlg, IDCANCEL);
  ASSERT_EQ(GetFocus(), edit);
  key(dlg, edit, VK_TAB);
  EXPECT_EQ(GetFocus(), ok) << "the control without WS_TABSTOP is skipped";
  EnableWindow(cancel, FALSE);
  key(dlg, ok, VK_TAB);
  EXPECT_EQ(GetFocus(), edit) << "disabled Cancel skipped, wrapping to the first";
  SendMessageW(dlg, WM_NEXTDLGCTL, 1, 0);
  EXPECT_EQ(GetFocus(), ok) << "WM_NEXTDLGCTL(1) goes back";
  SendMessageW(dlg, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(edit), TRUE);
  EXPECT_EQ(GetFocus(), edit) << "WM_NEXTDLGCTL with a window";
  EXPECT_EQ(GetNextDlgTabItem(dlg, nullptr, TRUE), ok);
}

TEST_F(DialogTest, ArrowsMoveWithinAGroup) {
  Template t(WS_POPUP, u"Groups", 100, 100);
  t.item(kPush | WS_GROUP | WS_TABSTOP, 0, 0, 10, 10, 1, kCtl)
      .item(kPush, 0, 10, 10, 10, 2, kCtl)
      .item(kPush, 0, 20, 10, 10, 3, kCtl)
      .item(kPush | WS_GROUP | WS_TABSTOP, 0, 30, 10, 10, 4, kCtl);
  HWND dlg = CreateDialogIndirectParamW(nullptr, t.get(), nullptr, testDlgProc, 0);
  ASSERT_NE(dlg, nullptr);
  HWND one = GetDlgItem(dlg, 1), two = GetDlgItem(dlg, 2), three = GetDlgItem(dlg, 3);
  EXPECT_EQ(GetNextDlgGroupItem(dlg, one, FALSE), two);
  EXPECT_EQ(GetNextDlgGroupItem(dlg, three, FALSE), one) << "wraps within the group";
  EXPECT_EQ(GetNextDlgGroupItem(dlg, one, TRUE), three);
  EnableWindow(two, FALSE);
  EXPECT_EQ(GetNextDlgGroupItem(dlg, one, FALSE), three);
  SetFocus(one);
  key(dlg, one, VK_DOWN);
  EXPECT_EQ(GetFocus(), three);
}

// ---- Items ----

TEST_F(DialogTest, DlgItemInt) {
  HWND dlg = CreateDialogIndirectParamW(nullptr, t_.get(), nullptr, testDlgProc, 0);
  ASSERT_NE(dlg, nullptr);
  struct Case {
    const char16_t* text;
    BOOL isSigned;
    BOOL translated;
    UINT value;
  };
  const Case cases[] = {
      {u" 12 ", TRUE, TRUE, 12},
      {u"-5", TRUE, TRUE, static_cast<UINT>(-5)},
      {u"-5", FALSE, FALSE, 0},
      {u"12a", TRUE, FALSE, 0},
      {u"", TRUE, FALSE, 0},
      {u"4294967295", FALSE, TRUE, 4294967295u},
      {u"4294967296", FALSE, FALSE, 0},
      {u"2147483648", TRUE, FALSE, 0},
      {u"-2147483648", TRUE, TRUE, 0x80000000u},
  };
  for (const Case& c : cases) {
    SetDlgItemTextW(dlg, 10, c.text);
    BOOL translated = 0xBD;
    EXPECT_EQ(GetDlgItemInt(dlg, 10, &translated, c.isSigned), c.value) << std::string(c.text, c.text + 3);
    EXPECT_EQ(translated, c.translated);
  }
  SetDlgItemInt(dlg, 10, static_cast<UINT>(-42), TRUE);
  WCHAR buffer[16];
  EXPECT_EQ(GetDlgItemTextW(dlg, 10, buffer, 16), 3u);
  EXPECT_EQ(std::u16string(buffer), u"-42");
  // A missing item: an emptied buffer and 0.
  buffer[0] = u'x';
  EXPECT_EQ(GetDlgItemTextW(dlg, 999, buffer, 16), 0u);
  EXPECT_EQ(buffer[0], 0);
  EXPECT_FALSE(SetDlgItemTextW(dlg, 999, u"x"));
}

TEST_F(DialogTest, CheckRadioButtonChecksOneOfTheRange) {
  Template t(WS_POPUP, u"Radios", 100, 100);
  t.item(kPush, 0, 0, 10, 10, 1, kCtl).item(kPush, 0, 10, 10, 10, 2, kCtl).item(kPush, 0, 20, 10, 10, 3, kCtl);
  HWND dlg = CreateDialogIndirectParamW(nullptr, t.get(), nullptr, testDlgProc, 0);
  ASSERT_NE(dlg, nullptr);
  CheckDlgButton(dlg, 1, BST_CHECKED);
  CheckRadioButton(dlg, 1, 3, 2);
  EXPECT_EQ(IsDlgButtonChecked(dlg, 1), static_cast<UINT>(BST_UNCHECKED));
  EXPECT_EQ(IsDlgButtonChecked(dlg, 2), static_cast<UINT>(BST_CHECKED));
  EXPECT_EQ(IsDlgButtonChecked(dlg, 3), static_cast<UINT>(BST_UNCHECKED));
  EXPECT_EQ(SendDlgItemMessageW(dlg, 2, BM_GETCHECK, 0, 0), BST_CHECKED);
}

TEST_F(DialogTest, MapDialogRectUsesTheFixedBaseUnits) {
  EXPECT_EQ(GetDialogBaseUnits(), MAKELONG(6, 13));
  struct Case {
    RECT in, out;
  };
  const Case cases[] = {
      {{0, 0, 4, 8}, {0, 0, 6, 13}},
      {{1, 1, 3, 3}, {2, 2, 5, 5}},  // 1.5 -> 2, 1.625 -> 2, 4.5 -> 5, 4.875 -> 5
      {{-4, -8, 0, 0}, {-6, -13, 0, 0}},
  };
  for (const Case& c : cases) {
    RECT r = c.in;
    EXPECT_TRUE(MapDialogRect(nullptr, &r));
    EXPECT_TRUE(EqualRect(&r, &c.out)) << r.left << "," << r.top << "," << r.right << "," << r.bottom;
  }
}

// ---- Message boxes ----

// What the "user" does once the box is up: run from a thread timer inside the box's loop.
std::function<void(HWND box)> g_user;
void CALLBACK actOnBox(HWND, UINT, UINT_PTR id, DWORD) {
  HWND box = FindWindowW(u"#32770", u"Box test");
  if (!box) return;
  KillTimer(nullptr, id);
  g_user(box);
}

int runBox(UINT type, std::function<void(HWND)> user, HWND owner = nullptr) {
  g_user = std::move(user);
  SetTimer(nullptr, 0, 10, actOnBox);
  return MessageBoxW(owner, u"Line one\nline two", u"Box test", type);
}

void click(HWND box, int id) { PostMessageW(GetDlgItem(box, id), BM_CLICK, 0, 0); }
void press(HWND box, WPARAM vk) { PostMessageW(GetFocus() ? GetFocus() : box, WM_KEYDOWN, vk, 1); }

TEST_F(DialogTest, MessageBoxesAnswerTheButtonPressed) {
  struct Case {
    UINT type;
    std::function<void(HWND)> user;
    int expected;
  };
  const Case cases[] = {
      {MB_OK, [](HWND b) { click(b, IDOK); }, IDOK},
      {MB_OK, [](HWND b) { press(b, VK_ESCAPE); }, IDOK},
      {MB_YESNO, [](HWND b) { click(b, IDNO); }, IDNO},
      {MB_YESNO | MB_DEFBUTTON2, [](HWND b) { press(b, VK_RETURN); }, IDNO},
      {MB_YESNO, [](HWND b) {
         press(b, VK_ESCAPE);  // no Cancel button: nothing happens
         click(b, IDYES);
       }, IDYES},
      {MB_YESNOCANCEL, [](HWND b) { press(b, VK_ESCAPE); }, IDCANCEL},
      {MB_ABORTRETRYIGNORE, [](HWND b) { click(b, IDIGNORE); }, IDIGNORE},
      {MB_CANCELTRYCONTINUE, [](HWND b) { click(b, IDCONTINUE); }, IDCONTINUE},
  };
  for (const Case& c : cases) EXPECT_EQ(runBox(c.type, c.user), c.expected) << c.type;
}

TEST_F(DialogTest, AMessageBoxShowsItsTextAndButtonsAndDisablesItsOwner) {
  HWND owner = CreateWindowExW(0, kCtl, u"Owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300, 300, nullptr, nullptr,
                               nullptr, nullptr);
  std::u16string text;
  std::vector<std::u16string> buttons;
  bool ownerEnabled = true;
  HWND boxOwner = nullptr;
  int result = runBox(MB_OKCANCEL | MB_ICONQUESTION, [&](HWND box) {
    WCHAR buffer[64];
    GetDlgItemTextW(box, 0xFFFF, buffer, 64);
    text = buffer;
    for (int id : {IDOK, IDCANCEL}) {
      GetDlgItemTextW(box, id, buffer, 64);
      buttons.push_back(buffer);
    }
    ownerEnabled = IsWindowEnabled(owner);
    boxOwner = GetWindow(box, GW_OWNER);
    click(box, IDCANCEL);
  }, owner);
  EXPECT_EQ(result, IDCANCEL);
  EXPECT_EQ(text, u"Line one\nline two");
  EXPECT_EQ(buttons, (std::vector<std::u16string>{u"OK", u"Cancel"}));
  EXPECT_FALSE(ownerEnabled);
  EXPECT_EQ(boxOwner, owner);
  EXPECT_TRUE(IsWindowEnabled(owner));
}

}  // namespace

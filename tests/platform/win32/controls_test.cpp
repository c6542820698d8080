// The control window classes: what a user's action sends the parent against what a program's
// message sends (nothing, mostly), and the rules of each class the product relies on: radio
// groups, edit limits and masks, sorted lists, list-view state notifications, find and sort, tree
// walking, expanding and selection vetoes, tab vetoes, owner-draw messages.
#include <fstream>
#include <map>
#include <utility>
#include <vector>

#include "platform/base/text.h"
#include "platform/win32/controls/controls.h"
#include "platform/win32/gdi.h"
#include "platform/win32/controls/imagelist_draw.h"
#include "platform/win32/resource.h"
#include "tests/platform/win32/window_fixture.h"

using namespace wintest;
namespace controls = platform::controls;

namespace {

// A notification the parent received, copied while it was valid.
struct Note {
  UINT msg;   // WM_COMMAND or WM_NOTIFY
  int code;   // notification code
  UINT id;    // control id
  int item = 0;
  UINT oldState = 0;
  UINT newState = 0;
  HTREEITEM treeOld = nullptr;
  HTREEITEM treeNew = nullptr;
  UINT action = 0;
};

constexpr UINT kId = 100;

class ControlsTest : public WindowFixture {
 protected:
  ControlsTest() {
    InitCommonControls();
    parent_ = make(WS_OVERLAPPEDWINDOW | WS_VISIBLE);
    g_hook = [this](HWND h, UINT msg, WPARAM wParam, LPARAM lParam) -> std::optional<LRESULT> {
      if (h != parent_) return std::nullopt;
      if (msg == WM_COMMAND) {
        notes_.push_back({msg, HIWORD(wParam), LOWORD(wParam)});
        if (onCommand_) onCommand_(notes_.back());
        return 0;
      }
      if (msg == WM_NOTIFY) {
        auto* hdr = reinterpret_cast<NMHDR*>(lParam);
        Note n{msg, static_cast<int>(hdr->code), static_cast<UINT>(hdr->idFrom)};
        EXPECT_EQ(wParam, hdr->idFrom);
        WCHAR cls[32] = {};
        GetClassNameW(hdr->hwndFrom, cls, 32);
        std::u16string_view c = platform::text::view(cls);
        if (c == WC_LISTVIEWW && hdr->code != NM_CLICK && hdr->code != NM_DBLCLK && hdr->code != NM_RCLICK &&
            hdr->code != NM_SETFOCUS && hdr->code != NM_KILLFOCUS) {
          auto* nm = reinterpret_cast<NMLISTVIEW*>(lParam);
          n.item = nm->iItem;
          n.oldState = nm->uOldState;
          n.newState = nm->uNewState;
          if (hdr->code == LVN_COLUMNCLICK) n.item = nm->iSubItem;
        } else if (c == WC_LISTVIEWW && (hdr->code == NM_CLICK || hdr->code == NM_DBLCLK)) {
          n.item = reinterpret_cast<NMITEMACTIVATE*>(lParam)->iItem;
        } else if (c == WC_TREEVIEWW && hdr->code != NM_CLICK && hdr->code != NM_DBLCLK && hdr->code != NM_RCLICK) {
          auto* nm = reinterpret_cast<NMTREEVIEWW*>(lParam);
          n.treeOld = nm->itemOld.hItem;
          n.treeNew = nm->itemNew.hItem;
          n.action = nm->action;
        }
        notes_.push_back(n);
        auto veto = answers_.find(n.code);
        return veto == answers_.end() ? 0 : veto->second;
      }
      if (msg == WM_DRAWITEM) {
        drawn_.push_back(*reinterpret_cast<DRAWITEMSTRUCT*>(lParam));
        return TRUE;
      }
      if (msg == WM_MEASUREITEM) {
        auto* mis = reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
        measured_.push_back(*mis);
        if (measureHeight_) mis->itemHeight = measureHeight_;
        return TRUE;
      }
      if (msg == WM_DELETEITEM) {
        deletedData_.push_back(reinterpret_cast<DELETEITEMSTRUCT*>(lParam)->itemData);
        return TRUE;
      }
      return std::nullopt;
    };
  }

  HWND control(const char16_t* cls, DWORD style, const char16_t* text = u"", RECT r = {0, 0, 100, 100}) {
    HWND h = CreateWindowExW(0, cls, text, WS_CHILD | WS_VISIBLE | style, r.left, r.top, r.right - r.left,
                             r.bottom - r.top, parent_, reinterpret_cast<HMENU>(static_cast<UINT_PTR>(kId)), nullptr,
                             nullptr);
    EXPECT_TRUE(h) << "class " << platform::text::toUtf8(cls);
    return h;
  }

  // Codes of the notifications received since the last call.
  std::vector<int> codes() {
    std::vector<int> out;
    for (auto& n : notes_) out.push_back(n.code);
    notes_.clear();
    return out;
  }

  std::u16string windowText(HWND h) {
    WCHAR buf[256] = {};
    GetWindowTextW(h, buf, 256);
    return buf;
  }

  HWND parent_ = nullptr;
  std::vector<Note> notes_;
  std::map<int, LRESULT> answers_;
  std::function<void(const Note&)> onCommand_;
  std::vector<DRAWITEMSTRUCT> drawn_;
  std::vector<MEASUREITEMSTRUCT> measured_;
  std::vector<ULONG_PTR> deletedData_;
  UINT measureHeight_ = 0;
};

using Codes = std::vector<int>;

// ---- Registration ----

TEST_F(ControlsTest, EveryClassIsRegisteredAndCreatesWindows) {
  INITCOMMONCONTROLSEX bad{sizeof(INITCOMMONCONTROLSEX) + 1, ICC_WIN95_CLASSES};
  EXPECT_FALSE(InitCommonControlsEx(&bad));
  INITCOMMONCONTROLSEX good{sizeof(INITCOMMONCONTROLSEX), ICC_WIN95_CLASSES};
  EXPECT_TRUE(InitCommonControlsEx(&good));
  for (const char16_t* cls : {WC_BUTTONW, WC_EDITW, WC_STATICW, WC_LISTBOXW, WC_COMBOBOXW, WC_LISTVIEWW, WC_TREEVIEWW,
                              PROGRESS_CLASSW, WC_TABCONTROLW, ANIMATE_CLASSW}) {
    HWND h = control(cls, 0);
    WCHAR name[64] = {};
    GetClassNameW(h, name, 64);
    EXPECT_EQ(std::u16string(name), std::u16string(cls));
    EXPECT_TRUE(DestroyWindow(h));
  }
  // Class names compare without regard to case, as any class's do.
  HWND b = CreateWindowExW(0, u"BUTTON", u"x", WS_CHILD, 0, 0, 10, 10, parent_, nullptr, nullptr, nullptr);
  EXPECT_TRUE(b);
  HWND tip = CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP, 0, 0, 0, 0, parent_, nullptr, nullptr, nullptr);
  EXPECT_TRUE(tip);
}

// ---- Buttons ----

TEST_F(ControlsTest, ButtonClicksNotifyButProgrammaticChangesDoNot) {
  HWND push = control(WC_BUTTONW, BS_PUSHBUTTON, u"OK");
  SendMessageW(push, BM_CLICK, 0, 0);
  EXPECT_EQ(codes(), Codes{BN_CLICKED});
  EXPECT_EQ(notes_.size(), 0u);

  SendMessageW(push, BM_SETSTATE, TRUE, 0);
  EXPECT_EQ(SendMessageW(push, BM_GETSTATE, 0, 0) & BST_PUSHED, BST_PUSHED);
  SendMessageW(push, BM_SETSTATE, FALSE, 0);
  EXPECT_EQ(codes(), Codes{});

  // A disabled button ignores BM_CLICK; the user cannot click it, nor a hidden one.
  EnableWindow(push, FALSE);
  SendMessageW(push, BM_CLICK, 0, 0);
  EXPECT_FALSE(controls::userClick(push));
  EXPECT_EQ(codes(), Codes{});
  EnableWindow(push, TRUE);
  ShowWindow(push, SW_HIDE);
  EXPECT_FALSE(controls::userClick(push));
  ShowWindow(push, SW_SHOW);
  // A control inside a disabled window is out of reach too.
  EnableWindow(parent_, FALSE);
  EXPECT_FALSE(controls::userClick(push));
  EnableWindow(parent_, TRUE);
  EXPECT_TRUE(controls::userClick(push));
  EXPECT_EQ(codes(), Codes{BN_CLICKED});

  // A press released outside the button is no click.
  SendMessageW(push, WM_LBUTTONDOWN, 1, MAKELPARAM(5, 5));
  SendMessageW(push, WM_LBUTTONUP, 0, MAKELPARAM(500, 5));
  EXPECT_EQ(codes(), Codes{});
  // The space bar clicks on release.
  SendMessageW(push, WM_KEYDOWN, VK_SPACE, 0);
  EXPECT_EQ(codes(), Codes{});
  SendMessageW(push, WM_KEYUP, VK_SPACE, 0);
  EXPECT_EQ(codes(), Codes{BN_CLICKED});
}

TEST_F(ControlsTest, CheckBoxStatesFollowTheirStyle) {
  struct Case {
    DWORD style;
    std::vector<LRESULT> afterClicks;  // state after each of three clicks
  };
  const Case cases[] = {
      {BS_AUTOCHECKBOX, {BST_CHECKED, BST_UNCHECKED, BST_CHECKED}},
      {BS_AUTO3STATE, {BST_CHECKED, BST_INDETERMINATE, BST_UNCHECKED}},
      {BS_CHECKBOX, {BST_UNCHECKED, BST_UNCHECKED, BST_UNCHECKED}},  // the program checks it
  };
  for (const Case& c : cases) {
    HWND box = control(WC_BUTTONW, c.style, u"box");
    for (LRESULT want : c.afterClicks) {
      SendMessageW(box, BM_CLICK, 0, 0);
      EXPECT_EQ(SendMessageW(box, BM_GETCHECK, 0, 0), want) << "style " << c.style;
    }
    EXPECT_EQ(codes(), (Codes{BN_CLICKED, BN_CLICKED, BN_CLICKED}));
    DestroyWindow(box);
  }
  // BM_SETCHECK sends nothing; indeterminate is checked on a two-state box; a push button has no state.
  HWND two = control(WC_BUTTONW, BS_AUTOCHECKBOX);
  SendMessageW(two, BM_SETCHECK, BST_INDETERMINATE, 0);
  EXPECT_EQ(SendMessageW(two, BM_GETCHECK, 0, 0), BST_CHECKED);
  HWND push = control(WC_BUTTONW, BS_PUSHBUTTON);
  SendMessageW(push, BM_SETCHECK, BST_CHECKED, 0);
  EXPECT_EQ(SendMessageW(push, BM_GETCHECK, 0, 0), BST_UNCHECKED);
  EXPECT_EQ(codes(), Codes{});
  // userCheck clicks until the state is reached.
  HWND three = control(WC_BUTTONW, BS_AUTO3STATE);
  EXPECT_TRUE(controls::userCheck(three, BST_INDETERMINATE));
  EXPECT_EQ(codes(), (Codes{BN_CLICKED, BN_CLICKED}));
  EXPECT_FALSE(controls::userCheck(push, BST_CHECKED));
}

TEST_F(ControlsTest, AutoRadioButtonUnchecksOnlyItsGroup) {
  HWND a = control(WC_BUTTONW, BS_AUTORADIOBUTTON | WS_GROUP, u"a");
  HWND b = control(WC_BUTTONW, BS_AUTORADIOBUTTON, u"b");
  HWND c = control(WC_BUTTONW, BS_RADIOBUTTON, u"c");  // plain radios of the group are unchecked too
  HWND d = control(WC_BUTTONW, BS_AUTORADIOBUTTON | WS_GROUP, u"d");  // the next group
  SendMessageW(a, BM_SETCHECK, BST_CHECKED, 0);
  SendMessageW(c, BM_SETCHECK, BST_CHECKED, 0);
  SendMessageW(d, BM_SETCHECK, BST_CHECKED, 0);
  EXPECT_EQ(codes(), Codes{});

  ASSERT_TRUE(controls::userClick(b));
  EXPECT_EQ(SendMessageW(a, BM_GETCHECK, 0, 0), BST_UNCHECKED);
  EXPECT_EQ(SendMessageW(b, BM_GETCHECK, 0, 0), BST_CHECKED);
  EXPECT_EQ(SendMessageW(c, BM_GETCHECK, 0, 0), BST_UNCHECKED);
  EXPECT_EQ(SendMessageW(d, BM_GETCHECK, 0, 0), BST_CHECKED);
  EXPECT_EQ(codes(), Codes{BN_CLICKED});
  // The checked radio button is its group's tab stop.
  EXPECT_TRUE(GetWindowLongPtrW(b, GWL_STYLE) & WS_TABSTOP);
  EXPECT_FALSE(GetWindowLongPtrW(a, GWL_STYLE) & WS_TABSTOP);
  // A plain radio button does not check itself.
  SendMessageW(c, BM_CLICK, 0, 0);
  EXPECT_EQ(SendMessageW(c, BM_GETCHECK, 0, 0), BST_UNCHECKED);
}

TEST_F(ControlsTest, OwnerDrawButtonAndStaticAskTheParentToDraw) {
  HWND button = control(WC_BUTTONW, BS_OWNERDRAW, u"", {5, 5, 45, 25});
  HWND label = control(WC_STATICW, SS_OWNERDRAW, u"", {0, 30, 20, 40});
  clearLog();
  SendMessageW(button, BM_SETSTATE, TRUE, 0);
  UpdateWindow(button);
  UpdateWindow(label);
  ASSERT_EQ(drawn_.size(), 2u);
  EXPECT_EQ(drawn_[0].CtlType, static_cast<UINT>(ODT_BUTTON));
  EXPECT_EQ(drawn_[0].CtlID, kId);
  EXPECT_EQ(drawn_[0].hwndItem, button);
  EXPECT_EQ(drawn_[0].itemAction, static_cast<UINT>(ODA_DRAWENTIRE));
  EXPECT_TRUE(drawn_[0].itemState & ODS_SELECTED);
  EXPECT_EQ(drawn_[0].rcItem.right, 40);
  EXPECT_EQ(drawn_[0].rcItem.bottom, 20);
  EXPECT_EQ(drawn_[1].CtlType, static_cast<UINT>(ODT_STATIC));
  // The colour message comes before the drawing, as when a control paints.
  EXPECT_EQ(received(parent_, {WM_CTLCOLORBTN, WM_DRAWITEM, WM_CTLCOLORSTATIC}),
            (std::vector<UINT>{WM_CTLCOLORBTN, WM_DRAWITEM, WM_CTLCOLORSTATIC, WM_DRAWITEM}));
}

TEST_F(ControlsTest, ControlsSendTheirColourMessageWhenPainting) {
  struct Case {
    const char16_t* cls;
    DWORD style;
    UINT message;
  };
  const Case cases[] = {
      {WC_BUTTONW, BS_PUSHBUTTON, WM_CTLCOLORBTN},          {WC_BUTTONW, BS_AUTOCHECKBOX, WM_CTLCOLORSTATIC},
      {WC_BUTTONW, BS_GROUPBOX, WM_CTLCOLORSTATIC},         {WC_EDITW, 0, WM_CTLCOLOREDIT},
      {WC_EDITW, ES_READONLY, WM_CTLCOLORSTATIC},           {WC_STATICW, SS_LEFT, WM_CTLCOLORSTATIC},
      {WC_LISTBOXW, 0, WM_CTLCOLORLISTBOX},                 {WC_COMBOBOXW, CBS_DROPDOWN, WM_CTLCOLOREDIT},
      {WC_COMBOBOXW, CBS_DROPDOWNLIST, WM_CTLCOLORLISTBOX},
  };
  for (const Case& c : cases) {
    HWND h = control(c.cls, c.style);
    clearLog();
    UpdateWindow(h);
    std::vector<UINT> got = received(parent_, {WM_CTLCOLOREDIT, WM_CTLCOLORLISTBOX, WM_CTLCOLORBTN, WM_CTLCOLORSTATIC});
    EXPECT_EQ(got, std::vector<UINT>{c.message}) << platform::text::toUtf8(c.cls) << " style " << c.style;
    // Once painted, the control is valid until something changes.
    clearLog();
    UpdateWindow(h);
    EXPECT_TRUE(received(parent_, {c.message}).empty());
    DestroyWindow(h);
  }
}

TEST_F(ControlsTest, ParentMayDestroyAControlFromItsNotification) {
  HWND push = control(WC_BUTTONW, BS_PUSHBUTTON);
  onCommand_ = [&](const Note& n) {
    if (n.code == BN_CLICKED) DestroyWindow(push);
  };
  SendMessageW(push, BM_CLICK, 0, 0);
  EXPECT_FALSE(IsWindow(push));
}

// ---- Edit ----

TEST_F(ControlsTest, EditNotifiesTypingAndSetTextButNotSelection) {
  HWND edit = control(WC_EDITW, ES_AUTOHSCROLL);
  ASSERT_TRUE(controls::userType(edit, u"ab"));
  EXPECT_EQ(windowText(edit), u"ab");
  EXPECT_EQ(codes(), (Codes{EN_SETFOCUS, EN_UPDATE, EN_CHANGE, EN_UPDATE, EN_CHANGE}));
  EXPECT_TRUE(SendMessageW(edit, EM_GETMODIFY, 0, 0));

  // WM_SETTEXT on a single-line edit notifies (and clears the modified flag).
  SetWindowTextW(edit, u"hello world");
  EXPECT_EQ(codes(), (Codes{EN_UPDATE, EN_CHANGE}));
  EXPECT_FALSE(SendMessageW(edit, EM_GETMODIFY, 0, 0));

  SendMessageW(edit, EM_SETSEL, 6, -1);
  DWORD start = 0xdeadbeef, end = 0xdeadbeef;
  SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  EXPECT_EQ(start, 6u);
  EXPECT_EQ(end, 11u);
  EXPECT_EQ(codes(), Codes{});
  SendMessageW(edit, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(u"there"));
  EXPECT_EQ(windowText(edit), u"hello there");
  EXPECT_EQ(codes(), (Codes{EN_UPDATE, EN_CHANGE}));
  // Backspace deletes the character before the caret; a reversed selection reads in order.
  controls::userType(edit, u"\b");
  EXPECT_EQ(windowText(edit), u"hello ther");
  SendMessageW(edit, EM_SETSEL, 5, 0);
  SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  EXPECT_EQ(start, 0u);
  EXPECT_EQ(end, 5u);

  // A multi-line edit does not send EN_CHANGE for WM_SETTEXT.
  HWND multi = control(WC_EDITW, ES_MULTILINE);
  codes();
  SetWindowTextW(multi, u"x");
  EXPECT_EQ(codes(), Codes{EN_UPDATE});
}

TEST_F(ControlsTest, EditLimitNumberReadOnlyAndPassword) {
  HWND edit = control(WC_EDITW, 0);
  EXPECT_EQ(SendMessageW(edit, EM_GETLIMITTEXT, 0, 0), 30000);
  SendMessageW(edit, EM_LIMITTEXT, 3, 0);
  controls::userType(edit, u"abcd");
  EXPECT_EQ(windowText(edit), u"abc");
  EXPECT_EQ(codes(), (Codes{EN_SETFOCUS, EN_UPDATE, EN_CHANGE, EN_UPDATE, EN_CHANGE, EN_UPDATE, EN_CHANGE, EN_MAXTEXT}));
  // The limit is for the user; the program may set a longer text.
  SetWindowTextW(edit, u"longer text");
  EXPECT_EQ(windowText(edit), u"longer text");
  SendMessageW(edit, EM_LIMITTEXT, 0, 0);
  EXPECT_EQ(SendMessageW(edit, EM_GETLIMITTEXT, 0, 0), 0x7FFFFFFE);

  HWND number = control(WC_EDITW, ES_NUMBER);
  controls::userType(number, u"1a2-3");
  EXPECT_EQ(windowText(number), u"123");

  HWND readOnly = control(WC_EDITW, ES_READONLY, u"fixed");
  controls::userType(readOnly, u"x");
  EXPECT_EQ(windowText(readOnly), u"fixed");
  SendMessageW(readOnly, EM_SETREADONLY, FALSE, 0);
  EXPECT_FALSE(GetWindowLongPtrW(readOnly, GWL_STYLE) & ES_READONLY);
  controls::userType(readOnly, u"!");
  EXPECT_EQ(windowText(readOnly), u"!fixed");

  HWND upper = control(WC_EDITW, ES_UPPERCASE);
  controls::userType(upper, u"Ab");
  EXPECT_EQ(windowText(upper), u"AB");

  HWND password = control(WC_EDITW, ES_PASSWORD, u"secret");
  EXPECT_EQ(SendMessageW(password, EM_GETPASSWORDCHAR, 0, 0), u'*');
  EXPECT_EQ(windowText(password), u"secret");  // the program reads the real text
  SendMessageW(password, EM_SETPASSWORDCHAR, u'#', 0);
  EXPECT_EQ(SendMessageW(password, EM_GETPASSWORDCHAR, 0, 0), u'#');
  SendMessageW(password, EM_SETPASSWORDCHAR, 0, 0);
  EXPECT_FALSE(GetWindowLongPtrW(password, GWL_STYLE) & ES_PASSWORD);
  EXPECT_EQ(SendMessageW(edit, EM_GETPASSWORDCHAR, 0, 0), 0);
}

TEST_F(ControlsTest, MultiLineEditLines) {
  HWND edit = control(WC_EDITW, ES_MULTILINE | ES_WANTRETURN, u"first\r\nsecond line\r\n");
  EXPECT_EQ(SendMessageW(edit, EM_GETLINECOUNT, 0, 0), 3);
  EXPECT_EQ(SendMessageW(edit, EM_LINEINDEX, 1, 0), 7);
  EXPECT_EQ(SendMessageW(edit, EM_LINEINDEX, 3, 0), -1);
  EXPECT_EQ(SendMessageW(edit, EM_LINELENGTH, 8, 0), 11);  // by a character of the line
  EXPECT_EQ(SendMessageW(edit, EM_LINEFROMCHAR, 8, 0), 1);
  WCHAR buffer[32];
  std::fill(std::begin(buffer), std::end(buffer), u'\xBDBD');
  *reinterpret_cast<WORD*>(buffer) = 6;
  EXPECT_EQ(SendMessageW(edit, EM_GETLINE, 1, reinterpret_cast<LPARAM>(buffer)), 6);
  EXPECT_EQ(std::u16string(buffer, 6), u"second");
  EXPECT_EQ(buffer[6], u'\xBDBD');  // no terminator written
  // Return typed into a multi-line edit breaks the line; a single-line edit ignores it.
  SendMessageW(edit, EM_SETSEL, 0, 0);
  controls::userType(edit, u"\r");
  EXPECT_EQ(SendMessageW(edit, EM_GETLINECOUNT, 0, 0), 4);
  HWND single = control(WC_EDITW, 0, u"one");
  EXPECT_EQ(SendMessageW(single, EM_GETLINECOUNT, 0, 0), 1);
  controls::userType(single, u"\r");
  EXPECT_EQ(windowText(single), u"one");
}

// ---- Static ----

TEST_F(ControlsTest, StaticNotifiesClicksOnlyWithSsNotify) {
  HWND quiet = control(WC_STATICW, SS_LEFT, u"label");
  HWND loud = control(WC_STATICW, SS_NOTIFY, u"link");
  controls::userClick(quiet);
  EXPECT_EQ(codes(), Codes{});
  controls::userClick(loud);
  EXPECT_EQ(codes(), Codes{STN_CLICKED});

  HWND icon = control(WC_STATICW, SS_ICON);
  auto first = reinterpret_cast<HICON>(static_cast<UINT_PTR>(0x1234));
  auto second = reinterpret_cast<HICON>(static_cast<UINT_PTR>(0x5678));
  EXPECT_EQ(SendMessageW(icon, STM_SETICON, reinterpret_cast<WPARAM>(first), 0), 0);
  EXPECT_EQ(SendMessageW(icon, STM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(second)),
            reinterpret_cast<LRESULT>(first));
  EXPECT_EQ(SendMessageW(icon, STM_GETICON, 0, 0), reinterpret_cast<LRESULT>(second));
  auto bitmap = reinterpret_cast<HBITMAP>(static_cast<UINT_PTR>(0x9abc));
  HWND picture = control(WC_STATICW, SS_BITMAP);
  SendMessageW(picture, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap));
  EXPECT_EQ(SendMessageW(picture, STM_GETIMAGE, IMAGE_BITMAP, 0), reinterpret_cast<LRESULT>(bitmap));
  EXPECT_EQ(SendMessageW(picture, STM_GETIMAGE, IMAGE_ICON, 0), 0);
}

// ---- List box ----

std::vector<std::u16string> listTexts(HWND lb) {
  std::vector<std::u16string> out;
  auto n = SendMessageW(lb, LB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < n; ++i) {
    WCHAR buf[64] = {};
    EXPECT_EQ(SendMessageW(lb, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(buf)),
              SendMessageW(lb, LB_GETTEXTLEN, static_cast<WPARAM>(i), 0));
    out.push_back(buf);
  }
  return out;
}

TEST_F(ControlsTest, SortedListBoxOrdersWithoutRegardToCase) {
  HWND lb = control(WC_LISTBOXW, LBS_SORT);
  for (const char16_t* s : {u"delta", u"Alpha", u"charlie", u"BRAVO", u"alpha"})
    SendMessageW(lb, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(s));
  EXPECT_EQ(listTexts(lb), (std::vector<std::u16string>{u"Alpha", u"alpha", u"BRAVO", u"charlie", u"delta"}));
  // LB_INSERTSTRING places where told, even in a sorted list; -1 appends; past the end fails.
  EXPECT_EQ(SendMessageW(lb, LB_INSERTSTRING, 0, reinterpret_cast<LPARAM>(u"zulu")), 0);
  EXPECT_EQ(SendMessageW(lb, LB_INSERTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(u"echo")), 6);
  EXPECT_EQ(SendMessageW(lb, LB_INSERTSTRING, 9, reinterpret_cast<LPARAM>(u"x")), LB_ERR);
  EXPECT_EQ(SendMessageW(lb, LB_GETTEXTLEN, 7, 0), LB_ERR);

  struct Find {
    UINT msg;
    int start;
    const char16_t* text;
    LRESULT want;
  };
  const Find finds[] = {
      {LB_FINDSTRING, -1, u"ALP", 1},       // prefix, any case
      {LB_FINDSTRING, 1, u"alp", 2},        // starts after `start`
      {LB_FINDSTRING, 2, u"alp", 1},        // and wraps
      {LB_FINDSTRINGEXACT, -1, u"alp", LB_ERR},
      {LB_FINDSTRINGEXACT, -1, u"bravo", 3},
      {LB_FINDSTRING, -1, u"", 0},          // the empty prefix matches the first item after start
      {LB_FINDSTRING, -1, u"nothing", LB_ERR},
  };
  for (const Find& f : finds)
    EXPECT_EQ(SendMessageW(lb, f.msg, static_cast<WPARAM>(f.start), reinterpret_cast<LPARAM>(f.text)), f.want)
        << platform::text::toUtf8(f.text) << " from " << f.start;
}

TEST_F(ControlsTest, ListBoxSelectionNotifiesOnlyTheUser) {
  HWND lb = control(WC_LISTBOXW, LBS_NOTIFY, u"", {0, 0, 100, 40});  // three rows visible
  for (const char16_t* s : {u"a", u"b", u"c", u"d", u"e", u"f"})
    SendMessageW(lb, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(s));
  EXPECT_EQ(SendMessageW(lb, LB_GETCURSEL, 0, 0), LB_ERR);
  EXPECT_EQ(SendMessageW(lb, LB_SETCURSEL, 1, 0), 1);
  EXPECT_EQ(SendMessageW(lb, LB_SELECTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(u"c")), 2);
  EXPECT_EQ(SendMessageW(lb, LB_SETCURSEL, 9, 0), LB_ERR);
  EXPECT_EQ(SendMessageW(lb, LB_GETCURSEL, 0, 0), 2);
  EXPECT_EQ(codes(), Codes{});

  // The user's click on row 5 (scrolled into view first) selects it and notifies.
  ASSERT_TRUE(controls::userSelect(lb, 5));
  EXPECT_EQ(SendMessageW(lb, LB_GETCURSEL, 0, 0), 5);
  EXPECT_EQ(codes(), (Codes{LBN_SETFOCUS, LBN_SELCHANGE}));
  // Clicking the selected row changes nothing; a double click tells the parent.
  controls::userSelect(lb, 5);
  EXPECT_EQ(codes(), Codes{});
  controls::userDoubleClickItem(lb, 4);
  EXPECT_EQ(codes(), (Codes{LBN_SELCHANGE, LBN_DBLCLK}));
  // Arrow keys move the selection as the user's action.
  controls::userKey(lb, VK_DOWN);
  EXPECT_EQ(SendMessageW(lb, LB_GETCURSEL, 0, 0), 5);
  EXPECT_EQ(codes(), Codes{LBN_SELCHANGE});
  EXPECT_FALSE(controls::userSelect(lb, 6));

  // Without LBS_NOTIFY the parent hears nothing at all.
  HWND silent = control(WC_LISTBOXW, 0);
  SendMessageW(silent, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(u"x"));
  SetFocus(silent);
  EXPECT_EQ(codes(), Codes{LBN_KILLFOCUS});  // from the list box that had the focus
  controls::userSelect(silent, 0);
  EXPECT_EQ(SendMessageW(silent, LB_GETCURSEL, 0, 0), 0);
  EXPECT_EQ(codes(), Codes{});

  // Deleting items moves the selection with its item, or drops it.
  EXPECT_EQ(SendMessageW(lb, LB_DELETESTRING, 0, 0), 5);
  EXPECT_EQ(SendMessageW(lb, LB_GETCURSEL, 0, 0), 4);
  SendMessageW(lb, LB_DELETESTRING, 4, 0);
  EXPECT_EQ(SendMessageW(lb, LB_GETCURSEL, 0, 0), LB_ERR);
  EXPECT_EQ(SendMessageW(lb, LB_DELETESTRING, 4, 0), LB_ERR);
}

TEST_F(ControlsTest, MultipleSelectionListBoxAndItemData) {
  HWND lb = control(WC_LISTBOXW, LBS_MULTIPLESEL | LBS_NOTIFY);
  for (int i = 0; i < 4; ++i) {
    std::u16string s(1, static_cast<char16_t>(u'a' + i));
    SendMessageW(lb, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(s.c_str()));
    SendMessageW(lb, LB_SETITEMDATA, static_cast<WPARAM>(i), 100 + i);
  }
  EXPECT_EQ(SendMessageW(lb, LB_SETCURSEL, 1, 0), LB_ERR);  // single-selection only
  SendMessageW(lb, LB_SETSEL, TRUE, 1);
  SendMessageW(lb, LB_SETSEL, TRUE, 3);
  EXPECT_EQ(SendMessageW(lb, LB_GETSELCOUNT, 0, 0), 2);
  int items[4] = {-1, -1, -1, -1};
  EXPECT_EQ(SendMessageW(lb, LB_GETSELITEMS, 4, reinterpret_cast<LPARAM>(items)), 2);
  EXPECT_EQ(items[0], 1);
  EXPECT_EQ(items[1], 3);
  EXPECT_EQ(items[2], -1);
  EXPECT_EQ(codes(), Codes{});
  // A click toggles a row.
  controls::userSelect(lb, 1);
  EXPECT_EQ(SendMessageW(lb, LB_GETSEL, 1, 0), 0);
  EXPECT_EQ(codes(), (Codes{LBN_SETFOCUS, LBN_SELCHANGE}));
  SendMessageW(lb, LB_SETSEL, FALSE, -1);
  EXPECT_EQ(SendMessageW(lb, LB_GETSELCOUNT, 0, 0), 0);

  EXPECT_EQ(SendMessageW(lb, LB_GETITEMDATA, 2, 0), 102);
  EXPECT_EQ(SendMessageW(lb, LB_GETITEMDATA, 4, 0), LB_ERR);
  // Items with data announce their removal.
  SendMessageW(lb, LB_DELETESTRING, 0, 0);
  SendMessageW(lb, LB_SETITEMDATA, 0, 0);
  SendMessageW(lb, LB_RESETCONTENT, 0, 0);
  EXPECT_EQ(deletedData_, (std::vector<ULONG_PTR>{100, 102, 103}));
  EXPECT_EQ(SendMessageW(lb, LB_GETCOUNT, 0, 0), 0);
  // The single-selection messages fail on a multiple-selection list and the other way round.
  HWND single = control(WC_LISTBOXW, 0);
  EXPECT_EQ(SendMessageW(single, LB_GETSELCOUNT, 0, 0), LB_ERR);
}

TEST_F(ControlsTest, OwnerDrawListBoxMeasuresOnceAndDrawsVisibleRows) {
  measureHeight_ = 20;
  HWND lb = control(WC_LISTBOXW, LBS_OWNERDRAWFIXED | LBS_HASSTRINGS, u"", {0, 0, 80, 50});
  ASSERT_EQ(measured_.size(), 1u);
  EXPECT_EQ(measured_[0].CtlType, static_cast<UINT>(ODT_LISTBOX));
  EXPECT_EQ(measured_[0].itemID, 0u);
  EXPECT_EQ(SendMessageW(lb, LB_GETITEMHEIGHT, 0, 0), 20);
  for (const char16_t* s : {u"one", u"two", u"three", u"four"})
    SendMessageW(lb, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(s));
  SendMessageW(lb, LB_SETCURSEL, 1, 0);
  drawn_.clear();
  UpdateWindow(lb);
  ASSERT_EQ(drawn_.size(), 2u);  // 50 pixels hold two rows of 20
  EXPECT_EQ(drawn_[0].itemID, 0u);
  EXPECT_EQ(drawn_[1].itemID, 1u);
  EXPECT_EQ(drawn_[1].rcItem.top, 20);
  EXPECT_TRUE(drawn_[1].itemState & ODS_SELECTED);
  EXPECT_FALSE(drawn_[0].itemState & ODS_SELECTED);
  EXPECT_EQ(listTexts(lb)[2], u"three");
}

// ---- Combo box ----

TEST_F(ControlsTest, DropDownListComboPicksByUserWithNotifications) {
  HWND combo = control(WC_COMBOBOXW, CBS_DROPDOWNLIST | CBS_SORT, u"", {0, 0, 100, 20});
  for (const char16_t* s : {u"pear", u"Apple", u"fig"})
    SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(s));
  EXPECT_EQ(SendMessageW(combo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(u"FIG")), 1);
  EXPECT_EQ(SendMessageW(combo, CB_SETCURSEL, 2, 0), 2);
  EXPECT_EQ(windowText(combo), u"pear");
  EXPECT_EQ(SendMessageW(combo, CB_SELECTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(u"ap")), 0);
  EXPECT_EQ(windowText(combo), u"Apple");
  // The selection field of a drop-down list only shows items.
  EXPECT_EQ(SendMessageW(combo, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(u"kiwi")), CB_ERR);
  EXPECT_EQ(SendMessageW(combo, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(u"fig")), TRUE);
  EXPECT_EQ(SendMessageW(combo, CB_GETCURSEL, 0, 0), 1);
  EXPECT_EQ(codes(), Codes{});

  ASSERT_TRUE(controls::userSelect(combo, 2));
  EXPECT_EQ(SendMessageW(combo, CB_GETCURSEL, 0, 0), 2);
  EXPECT_EQ(windowText(combo), u"pear");
  EXPECT_FALSE(SendMessageW(combo, CB_GETDROPPEDSTATE, 0, 0));
  EXPECT_EQ(codes(), (Codes{CBN_SETFOCUS, CBN_DROPDOWN, CBN_SELENDOK, CBN_CLOSEUP, CBN_SELCHANGE}));
  WCHAR buf[16];
  EXPECT_EQ(SendMessageW(combo, CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(buf)), 5);
  EXPECT_EQ(std::u16string(buf), u"Apple");
  SendMessageW(combo, CB_SETITEMDATA, 1, 77);
  EXPECT_EQ(SendMessageW(combo, CB_GETITEMDATA, 1, 0), 77);
  EXPECT_EQ(SendMessageW(combo, CB_DELETESTRING, 2, 0), 2);
  EXPECT_EQ(SendMessageW(combo, CB_GETCURSEL, 0, 0), CB_ERR);
  EXPECT_EQ(windowText(combo), u"");
}

TEST_F(ControlsTest, DropDownComboTypesIntoItsField) {
  HWND combo = control(WC_COMBOBOXW, CBS_DROPDOWN, u"", {0, 0, 100, 20});
  SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(u"one"));
  SendMessageW(combo, CB_LIMITTEXT, 4, 0);
  controls::userType(combo, u"hello");
  EXPECT_EQ(windowText(combo), u"hell");
  EXPECT_EQ(codes(), (Codes{CBN_SETFOCUS, CBN_EDITUPDATE, CBN_EDITCHANGE, CBN_EDITUPDATE, CBN_EDITCHANGE,
                            CBN_EDITUPDATE, CBN_EDITCHANGE, CBN_EDITUPDATE, CBN_EDITCHANGE}));
  SetWindowTextW(combo, u"anything");
  EXPECT_EQ(windowText(combo), u"anything");
  EXPECT_EQ(codes(), Codes{});
}

// ---- List view ----

class ListViewTest : public ControlsTest {
 protected:
  HWND makeList(DWORD style = LVS_REPORT, RECT r = {0, 0, 200, 100}) {
    HWND lv = control(WC_LISTVIEWW, style, u"", r);
    LVCOLUMNW col{};
    col.mask = LVCF_TEXT | LVCF_WIDTH;
    col.cx = 80;
    col.pszText = const_cast<LPWSTR>(u"Name");
    EXPECT_EQ(SendMessageW(lv, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&col)), 0);
    col.pszText = const_cast<LPWSTR>(u"Size");
    EXPECT_EQ(SendMessageW(lv, LVM_INSERTCOLUMNW, 1, reinterpret_cast<LPARAM>(&col)), 1);
    return lv;
  }
  int add(HWND lv, const char16_t* text, LPARAM param, int at = 1000) {
    LVITEMW it{};
    it.mask = LVIF_TEXT | LVIF_PARAM;
    it.iItem = at;
    it.pszText = const_cast<LPWSTR>(text);
    it.lParam = param;
    return static_cast<int>(SendMessageW(lv, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&it)));
  }
  std::u16string itemText(HWND lv, int i, int sub = 0) {
    WCHAR buf[64] = {};
    LVITEMW it{};
    it.iSubItem = sub;
    it.pszText = buf;
    it.cchTextMax = 64;
    SendMessageW(lv, LVM_GETITEMTEXTW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&it));
    return buf;
  }
  BOOL setState(HWND lv, int i, UINT state, UINT mask) {
    LVITEMW it{};
    it.state = state;
    it.stateMask = mask;
    return static_cast<BOOL>(SendMessageW(lv, LVM_SETITEMSTATE, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&it)));
  }
  std::vector<std::u16string> order(HWND lv) {
    std::vector<std::u16string> out;
    for (int i = 0; i < SendMessageW(lv, LVM_GETITEMCOUNT, 0, 0); ++i) out.push_back(itemText(lv, i));
    return out;
  }
};

TEST_F(ListViewTest, ItemsSubItemsAndColumns) {
  HWND lv = makeList();
  EXPECT_EQ(add(lv, u"b", 2), 0);
  EXPECT_EQ(add(lv, u"a", 1, 0), 0);  // at the index given
  EXPECT_EQ(codes(), (Codes{static_cast<int>(LVN_INSERTITEM), static_cast<int>(LVN_INSERTITEM)}));
  LVITEMW sub{};
  sub.iSubItem = 1;
  sub.pszText = const_cast<LPWSTR>(u"10 KB");
  EXPECT_TRUE(SendMessageW(lv, LVM_SETITEMTEXTW, 1, reinterpret_cast<LPARAM>(&sub)));
  EXPECT_EQ(itemText(lv, 1, 1), u"10 KB");
  EXPECT_EQ(itemText(lv, 0, 1), u"");
  // Text is cut to the caller's buffer.
  WCHAR small[3];
  LVITEMW get{};
  get.pszText = small;
  get.cchTextMax = 3;
  get.iSubItem = 1;
  EXPECT_EQ(SendMessageW(lv, LVM_GETITEMTEXTW, 1, reinterpret_cast<LPARAM>(&get)), 2);
  EXPECT_EQ(std::u16string(small), u"10");

  LVITEMW item{};
  item.mask = LVIF_PARAM | LVIF_IMAGE;
  item.iItem = 0;
  item.iImage = 3;
  EXPECT_TRUE(SendMessageW(lv, LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item)));
  item.lParam = 0xdeadbeef;
  item.iImage = -7;
  EXPECT_TRUE(SendMessageW(lv, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)));
  EXPECT_EQ(item.iImage, 3);
  EXPECT_EQ(item.lParam, 0);

  // A column inserted before a sub-item's column moves that text along; deleting it moves it back.
  LVCOLUMNW col{};
  col.mask = LVCF_WIDTH;
  col.cx = 30;
  EXPECT_EQ(SendMessageW(lv, LVM_INSERTCOLUMNW, 1, reinterpret_cast<LPARAM>(&col)), 1);
  EXPECT_EQ(itemText(lv, 1, 2), u"10 KB");
  EXPECT_TRUE(SendMessageW(lv, LVM_DELETECOLUMN, 1, 0));
  EXPECT_EQ(itemText(lv, 1, 1), u"10 KB");
  EXPECT_EQ(SendMessageW(lv, LVM_GETCOLUMNWIDTH, 1, 0), 80);
  SendMessageW(lv, LVM_SETCOLUMNWIDTH, 1, MAKELPARAM(LVSCW_AUTOSIZE, 0));
  EXPECT_EQ(SendMessageW(lv, LVM_GETCOLUMNWIDTH, 1, 0), 5 * 6 + 12);
  WCHAR name[16];
  col.mask = LVCF_TEXT;
  col.pszText = name;
  col.cchTextMax = 16;
  EXPECT_TRUE(SendMessageW(lv, LVM_GETCOLUMNW, 0, reinterpret_cast<LPARAM>(&col)));
  EXPECT_EQ(std::u16string(name), u"Name");

  codes();
  EXPECT_TRUE(SendMessageW(lv, LVM_DELETEITEM, 0, 0));
  EXPECT_FALSE(SendMessageW(lv, LVM_DELETEITEM, 5, 0));
  EXPECT_EQ(codes(), Codes{static_cast<int>(LVN_DELETEITEM)});
  add(lv, u"c", 3);
  codes();
  // A parent answering LVN_DELETEALLITEMS with TRUE gets no per-item notice.
  answers_[static_cast<int>(LVN_DELETEALLITEMS)] = TRUE;
  EXPECT_TRUE(SendMessageW(lv, LVM_DELETEALLITEMS, 0, 0));
  EXPECT_EQ(codes(), Codes{static_cast<int>(LVN_DELETEALLITEMS)});
  EXPECT_EQ(SendMessageW(lv, LVM_GETITEMCOUNT, 0, 0), 0);
}

TEST_F(ListViewTest, StateChangesAreAnnouncedAndMayBeVetoed) {
  HWND lv = makeList(LVS_REPORT | LVS_SINGLESEL);
  add(lv, u"a", 1);
  add(lv, u"b", 2);
  add(lv, u"c", 3);
  codes();
  EXPECT_TRUE(setState(lv, 1, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED));
  ASSERT_EQ(notes_.size(), 2u);
  EXPECT_EQ(notes_[0].code, static_cast<int>(LVN_ITEMCHANGING));
  EXPECT_EQ(notes_[1].code, static_cast<int>(LVN_ITEMCHANGED));
  EXPECT_EQ(notes_[1].item, 1);
  EXPECT_EQ(notes_[1].oldState, 0u);
  EXPECT_EQ(notes_[1].newState, static_cast<UINT>(LVIS_SELECTED | LVIS_FOCUSED));
  codes();
  // Setting a state an item has already sends nothing.
  setState(lv, 1, LVIS_SELECTED, LVIS_SELECTED);
  EXPECT_EQ(codes(), Codes{});

  // Single selection: selecting another deselects the first (announced first); the focus moves.
  setState(lv, 2, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  std::vector<std::pair<int, int>> changed;
  for (const Note& n : notes_)
    if (n.code == static_cast<int>(LVN_ITEMCHANGED)) changed.emplace_back(n.item, static_cast<int>(n.newState));
  notes_.clear();
  EXPECT_EQ(changed, (std::vector<std::pair<int, int>>{{1, LVIS_SELECTED}, {1, 0}, {2, LVIS_SELECTED | LVIS_FOCUSED}}));
  EXPECT_EQ(SendMessageW(lv, LVM_GETSELECTEDCOUNT, 0, 0), 1);
  EXPECT_EQ(SendMessageW(lv, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED), 2);
  EXPECT_EQ(SendMessageW(lv, LVM_GETNEXTITEM, 2, LVNI_SELECTED), -1);
  EXPECT_EQ(SendMessageW(lv, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED), 2);
  EXPECT_EQ(SendMessageW(lv, LVM_GETNEXTITEM, 0, LVNI_ALL), 1);
  EXPECT_EQ(SendMessageW(lv, LVM_GETITEMSTATE, 2, LVIS_SELECTED), LVIS_SELECTED);

  // A parent answering LVN_ITEMCHANGING with TRUE keeps the state as it was.
  answers_[static_cast<int>(LVN_ITEMCHANGING)] = TRUE;
  EXPECT_FALSE(setState(lv, 0, LVIS_CUT, LVIS_CUT));
  EXPECT_EQ(SendMessageW(lv, LVM_GETITEMSTATE, 0, LVIS_CUT), 0);
  EXPECT_EQ(codes(), Codes{static_cast<int>(LVN_ITEMCHANGING)});
}

TEST_F(ListViewTest, UserClicksSelectAndNotify) {
  HWND lv = makeList();
  for (int i = 0; i < 10; ++i) add(lv, u"row", i);
  setState(lv, 0, LVIS_SELECTED, LVIS_SELECTED);
  codes();
  // Row 8 lies below the visible rows; the click scrolls to it first.
  ASSERT_TRUE(controls::userSelect(lv, 8));
  EXPECT_EQ(SendMessageW(lv, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED), 8);
  EXPECT_EQ(SendMessageW(lv, LVM_GETSELECTEDCOUNT, 0, 0), 1);
  EXPECT_GT(SendMessageW(lv, LVM_GETTOPINDEX, 0, 0), 0);
  Note last = notes_.back();
  EXPECT_EQ(last.code, static_cast<int>(NM_CLICK));
  EXPECT_EQ(last.item, 8);
  codes();
  ASSERT_TRUE(controls::userClickColumn(lv, 1));
  ASSERT_EQ(notes_.size(), 1u);
  EXPECT_EQ(notes_[0].code, static_cast<int>(LVN_COLUMNCLICK));
  EXPECT_EQ(notes_[0].item, 1);  // the column
  codes();
  ASSERT_TRUE(controls::userDoubleClickItem(lv, 8));
  Codes got = codes();
  EXPECT_EQ(std::count(got.begin(), got.end(), static_cast<int>(NM_DBLCLK)), 1);
  EXPECT_EQ(got.back(), static_cast<int>(LVN_ITEMACTIVATE));
  EXPECT_FALSE(controls::userSelect(lv, 10));
}

TEST_F(ListViewTest, CheckBoxesAreStateImages) {
  HWND lv = makeList();
  add(lv, u"a", 1);
  SendMessageW(lv, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_CHECKBOXES, LVS_EX_CHECKBOXES);
  add(lv, u"b", 2);
  EXPECT_EQ(SendMessageW(lv, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0), LVS_EX_CHECKBOXES);
  // Every item starts unchecked (state image 1).
  EXPECT_EQ(SendMessageW(lv, LVM_GETITEMSTATE, 0, LVIS_STATEIMAGEMASK), INDEXTOSTATEIMAGEMASK(1));
  EXPECT_EQ(SendMessageW(lv, LVM_GETITEMSTATE, 1, LVIS_STATEIMAGEMASK), INDEXTOSTATEIMAGEMASK(1));
  codes();
  SetFocus(lv);
  EXPECT_EQ(codes(), Codes{static_cast<int>(NM_SETFOCUS)});
  ASSERT_TRUE(controls::userToggleItemCheck(lv, 1));
  EXPECT_EQ(SendMessageW(lv, LVM_GETITEMSTATE, 1, LVIS_STATEIMAGEMASK), INDEXTOSTATEIMAGEMASK(2));
  EXPECT_EQ(SendMessageW(lv, LVM_GETITEMSTATE, 1, LVIS_SELECTED), 0);  // the check box click does not select
  ASSERT_EQ(codes(), (Codes{static_cast<int>(LVN_ITEMCHANGING), static_cast<int>(LVN_ITEMCHANGED)}));
  // Space toggles the focused item.
  setState(lv, 0, LVIS_FOCUSED, LVIS_FOCUSED);
  controls::userKey(lv, VK_SPACE);
  EXPECT_EQ(SendMessageW(lv, LVM_GETITEMSTATE, 0, LVIS_STATEIMAGEMASK), INDEXTOSTATEIMAGEMASK(2));
  HWND plain = makeList();
  add(plain, u"x", 0);
  EXPECT_FALSE(controls::userToggleItemCheck(plain, 0));
}

// New items take the first free grid cell (75 pixels apart, rows across): in an icon view as
// they come, so the cell a moved item left is the next one taken; in a report view once a
// position is needed, in the order of the rows, also after the view turned to icons.
TEST_F(ListViewTest, NewItemsTakeTheFirstFreeCell) {
  using Cell = std::pair<LONG, LONG>;
  auto position = [](HWND lv, int i) {
    POINT p{-1, -1};
    SendMessageW(lv, LVM_GETITEMPOSITION, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&p));
    return Cell{p.x, p.y};
  };
  HWND icons = makeList(LVS_ICON, {0, 0, 160, 300});  // two cells across
  for (const char16_t* text : {u"a", u"b", u"c"}) add(icons, text, 0);
  EXPECT_EQ(position(icons, 0), Cell(0, 0));
  EXPECT_EQ(position(icons, 1), Cell(75, 0));
  EXPECT_EQ(position(icons, 2), Cell(0, 75));
  POINT away{75, 150};
  ASSERT_TRUE(SendMessageW(icons, LVM_SETITEMPOSITION32, 0, reinterpret_cast<LPARAM>(&away)));
  add(icons, u"d", 0);
  add(icons, u"e", 0);
  EXPECT_EQ(position(icons, 3), Cell(0, 0));
  EXPECT_EQ(position(icons, 4), Cell(75, 75));

  HWND rows = makeList(LVS_REPORT, {0, 0, 160, 300});
  for (int i = 0; i < 5; ++i) add(rows, u"row", i);
  SetWindowLongW(rows, GWL_STYLE, (GetWindowLongW(rows, GWL_STYLE) & ~LVS_TYPEMASK) | LVS_ICON);
  LVHITTESTINFO hit{};
  hit.pt = POINT{80, 80};
  EXPECT_EQ(SendMessageW(rows, LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)), 3);
  const std::vector<Cell> cells{{0, 0}, {75, 0}, {0, 75}, {75, 75}, {0, 150}};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(position(rows, i), cells[static_cast<std::size_t>(i)]) << "row " << i;
}

TEST_F(ListViewTest, FindAndSort) {
  HWND lv = makeList();
  add(lv, u"Gamma", 30);
  add(lv, u"alpha", 10);
  add(lv, u"Beta", 20);
  add(lv, u"alphabet", 40);
  struct Case {
    UINT flags;
    const char16_t* text;
    LPARAM param;
    int start;
    LRESULT want;
  };
  const Case cases[] = {
      {LVFI_PARAM, nullptr, 20, -1, 2},
      {LVFI_PARAM, nullptr, 99, -1, -1},
      {LVFI_STRING, u"ALPHA", 0, -1, 1},       // whole text, any case
      {LVFI_STRING, u"alp", 0, -1, -1},
      {LVFI_PARTIAL | LVFI_STRING, u"alp", 0, 1, 3},  // starts after `start`
      {LVFI_PARTIAL | LVFI_STRING, u"alp", 0, 3, -1},  // no wrap unless asked
      {LVFI_PARTIAL | LVFI_STRING | LVFI_WRAP, u"alp", 0, 3, 1},
  };
  for (const Case& c : cases) {
    LVFINDINFOW fi{};
    fi.flags = c.flags;
    fi.psz = c.text;
    fi.lParam = c.param;
    EXPECT_EQ(SendMessageW(lv, LVM_FINDITEMW, static_cast<WPARAM>(c.start), reinterpret_cast<LPARAM>(&fi)), c.want)
        << "flags " << c.flags << " start " << c.start;
  }
  // The callback compares item data; its third argument is the caller's.
  auto byParam = [](LPARAM a, LPARAM b, LPARAM sort) -> int {
    return static_cast<int>(sort == 1 ? a - b : b - a);
  };
  EXPECT_TRUE(SendMessageW(lv, LVM_SORTITEMS, 1, reinterpret_cast<LPARAM>(static_cast<PFNLVCOMPARE>(byParam))));
  EXPECT_EQ(order(lv), (std::vector<std::u16string>{u"alpha", u"Beta", u"Gamma", u"alphabet"}));
  SendMessageW(lv, LVM_SORTITEMS, 0, reinterpret_cast<LPARAM>(static_cast<PFNLVCOMPARE>(byParam)));
  EXPECT_EQ(order(lv), (std::vector<std::u16string>{u"alphabet", u"Gamma", u"Beta", u"alpha"}));

  // A sorted list view places new items by text.
  HWND sorted = makeList(LVS_REPORT | LVS_SORTASCENDING);
  for (const char16_t* s : {u"b", u"C", u"a"}) add(sorted, s, 0, 0);
  EXPECT_EQ(order(sorted), (std::vector<std::u16string>{u"a", u"b", u"C"}));
}

// ---- Tree view ----

class TreeViewTest : public ControlsTest {
 protected:
  HTREEITEM insert(HWND tv, HTREEITEM parent, const char16_t* text, HTREEITEM after = TVI_LAST, LPARAM param = 0) {
    TVINSERTSTRUCTW is{};
    is.hParent = parent;
    is.hInsertAfter = after;
    is.item.mask = TVIF_TEXT | TVIF_PARAM;
    is.item.pszText = const_cast<LPWSTR>(text);
    is.item.lParam = param;
    return reinterpret_cast<HTREEITEM>(SendMessageW(tv, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&is)));
  }
  HTREEITEM next(HWND tv, UINT code, HTREEITEM item) {
    return reinterpret_cast<HTREEITEM>(SendMessageW(tv, TVM_GETNEXTITEM, code, reinterpret_cast<LPARAM>(item)));
  }
  std::u16string itemText(HWND tv, HTREEITEM item) {
    WCHAR buf[64] = {};
    TVITEMW it{};
    it.mask = TVIF_TEXT;
    it.hItem = item;
    it.pszText = buf;
    it.cchTextMax = 64;
    if (!SendMessageW(tv, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&it))) return u"<none>";
    return buf;
  }
  std::vector<std::u16string> childTexts(HWND tv, HTREEITEM parent) {
    std::vector<std::u16string> out;
    for (HTREEITEM c = next(tv, TVGN_CHILD, parent); c; c = next(tv, TVGN_NEXT, c)) out.push_back(itemText(tv, c));
    return out;
  }
  LRESULT selectItem(HWND tv, HTREEITEM item) {
    return SendMessageW(tv, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item));
  }
};

TEST_F(TreeViewTest, InsertionPlacesAndWalks) {
  HWND tv = control(WC_TREEVIEWW, TVS_HASBUTTONS | TVS_LINESATROOT, u"", {0, 0, 200, 200});
  HTREEITEM root = insert(tv, TVI_ROOT, u"Root");
  HTREEITEM b = insert(tv, root, u"b");
  HTREEITEM d = insert(tv, root, u"d");
  HTREEITEM c = insert(tv, root, u"C", TVI_SORT);  // before the first child that sorts after it
  HTREEITEM first = insert(tv, root, u"first", TVI_FIRST);
  HTREEITEM afterB = insert(tv, root, u"after b", b);
  EXPECT_EQ(childTexts(tv, root), (std::vector<std::u16string>{u"first", u"b", u"after b", u"C", u"d"}));
  // TVI_SORT does not sort the others: it goes before the first greater one it meets.
  HTREEITEM a = insert(tv, root, u"a", TVI_SORT);
  EXPECT_EQ(next(tv, TVGN_CHILD, root), a);
  SendMessageW(tv, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(a));
  EXPECT_EQ(SendMessageW(tv, TVM_GETCOUNT, 0, 0), 6);
  EXPECT_FALSE(insert(tv, reinterpret_cast<HTREEITEM>(static_cast<UINT_PTR>(0x7777)), u"orphan"));

  struct Walk {
    UINT code;
    HTREEITEM from;
    HTREEITEM want;
  };
  const Walk walks[] = {
      {TVGN_ROOT, nullptr, root},     {TVGN_CHILD, root, first}, {TVGN_NEXT, first, b},
      {TVGN_PREVIOUS, afterB, b},     {TVGN_PARENT, c, root},    {TVGN_PARENT, root, nullptr},
      {TVGN_NEXT, d, nullptr},        {TVGN_CHILD, d, nullptr},  {TVGN_CARET, nullptr, nullptr},
      {TVGN_NEXTVISIBLE, root, nullptr},  // children of a collapsed item are not visible
  };
  for (const Walk& w : walks)
    EXPECT_EQ(next(tv, w.code, w.from), w.want) << "code " << w.code << " from " << platform::text::toUtf8(itemText(tv, w.from));

  TVITEMW it{};
  it.mask = TVIF_CHILDREN | TVIF_PARAM;
  it.hItem = root;
  it.lParam = 0xdead;
  ASSERT_TRUE(SendMessageW(tv, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&it)));
  EXPECT_EQ(it.cChildren, 1);
  EXPECT_EQ(it.lParam, 0);

  SendMessageW(tv, TVM_SORTCHILDREN, FALSE, reinterpret_cast<LPARAM>(root));
  EXPECT_EQ(childTexts(tv, root), (std::vector<std::u16string>{u"after b", u"b", u"C", u"d", u"first"}));

  // A deleted item's handle names nothing afterwards.
  codes();
  EXPECT_TRUE(SendMessageW(tv, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(root)));
  EXPECT_EQ(codes(), Codes(6, static_cast<int>(TVN_DELETEITEMW)));  // children first, then the item
  EXPECT_EQ(itemText(tv, b), u"<none>");
  EXPECT_FALSE(SendMessageW(tv, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(b)));
  EXPECT_EQ(SendMessageW(tv, TVM_GETCOUNT, 0, 0), 0);
}

TEST_F(TreeViewTest, SelectionNotifiesAndMayBeVetoed) {
  HWND tv = control(WC_TREEVIEWW, TVS_HASBUTTONS | TVS_LINESATROOT, u"", {0, 0, 200, 200});
  HTREEITEM root = insert(tv, TVI_ROOT, u"Root", TVI_LAST, 1);
  HTREEITEM a = insert(tv, root, u"a", TVI_LAST, 2);
  HTREEITEM b = insert(tv, root, u"b", TVI_LAST, 3);
  EXPECT_TRUE(selectItem(tv, a));
  // Selecting a hidden item expands its parent first (the first expansion is announced).
  Codes got = codes();
  EXPECT_EQ(got, (Codes{static_cast<int>(TVN_SELCHANGINGW), static_cast<int>(TVN_ITEMEXPANDINGW),
                        static_cast<int>(TVN_ITEMEXPANDEDW), static_cast<int>(TVN_SELCHANGEDW)}));
  EXPECT_EQ(next(tv, TVGN_CARET, nullptr), a);
  EXPECT_EQ(SendMessageW(tv, TVM_GETITEMSTATE, reinterpret_cast<WPARAM>(root), TVIS_EXPANDED), TVIS_EXPANDED);
  EXPECT_EQ(SendMessageW(tv, TVM_GETITEMSTATE, reinterpret_cast<WPARAM>(a), TVIS_SELECTED), TVIS_SELECTED);

  answers_[static_cast<int>(TVN_SELCHANGINGW)] = TRUE;
  EXPECT_FALSE(selectItem(tv, b));
  EXPECT_EQ(next(tv, TVGN_CARET, nullptr), a);
  ASSERT_EQ(notes_.size(), 1u);
  EXPECT_EQ(notes_[0].treeOld, a);
  EXPECT_EQ(notes_[0].treeNew, b);
  EXPECT_EQ(notes_[0].action, static_cast<UINT>(TVC_UNKNOWN));
  notes_.clear();
  answers_.clear();

  // The user's click says it came from the mouse.
  ASSERT_TRUE(controls::userSelectTreeItem(tv, b));
  EXPECT_EQ(next(tv, TVGN_CARET, nullptr), b);
  ASSERT_GE(notes_.size(), 2u);
  EXPECT_EQ(notes_[1].code, static_cast<int>(TVN_SELCHANGEDW));
  EXPECT_EQ(notes_[1].action, static_cast<UINT>(TVC_BYMOUSE));
  codes();

  // Deleting the selected item selects its next sibling, else the previous, else the parent.
  SendMessageW(tv, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(b));
  EXPECT_EQ(next(tv, TVGN_CARET, nullptr), a);
  SendMessageW(tv, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(a));
  EXPECT_EQ(next(tv, TVGN_CARET, nullptr), root);
}

TEST_F(TreeViewTest, ExpandingAnnouncesTheFirstTimeOrForTheUser) {
  HWND tv = control(WC_TREEVIEWW, TVS_HASBUTTONS | TVS_LINESATROOT, u"", {0, 0, 200, 200});
  HTREEITEM root = insert(tv, TVI_ROOT, u"Root");
  HTREEITEM leaf = insert(tv, root, u"leaf");
  HTREEITEM child = insert(tv, leaf, u"child");
  const Codes announced{static_cast<int>(TVN_ITEMEXPANDINGW), static_cast<int>(TVN_ITEMEXPANDEDW)};
  EXPECT_TRUE(SendMessageW(tv, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(root)));
  EXPECT_EQ(codes(), announced);
  EXPECT_TRUE(SendMessageW(tv, TVM_EXPAND, TVE_COLLAPSE, reinterpret_cast<LPARAM>(root)));
  EXPECT_TRUE(SendMessageW(tv, TVM_EXPAND, TVE_TOGGLE, reinterpret_cast<LPARAM>(root)));
  EXPECT_EQ(codes(), Codes{});  // expanded once already
  EXPECT_EQ(SendMessageW(tv, TVM_GETITEMSTATE, reinterpret_cast<WPARAM>(root), TVIS_EXPANDEDONCE | TVIS_EXPANDED),
            TVIS_EXPANDEDONCE | TVIS_EXPANDED);
  // An item without children cannot expand, unless it says it has some (filled when expanding).
  EXPECT_FALSE(SendMessageW(tv, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(child)));
  TVITEMW it{};
  it.mask = TVIF_CHILDREN;
  it.hItem = child;
  it.cChildren = 1;
  SendMessageW(tv, TVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&it));
  EXPECT_TRUE(SendMessageW(tv, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(child)));
  EXPECT_EQ(codes(), announced);

  // The user's clicks on the button always announce, and a veto keeps the item closed.
  ASSERT_TRUE(controls::userToggleTreeItem(tv, root));
  EXPECT_EQ(SendMessageW(tv, TVM_GETITEMSTATE, reinterpret_cast<WPARAM>(root), TVIS_EXPANDED), 0);
  Codes got = codes();
  ASSERT_GE(got.size(), 3u);
  EXPECT_EQ(Codes(got.end() - 3, got.end() - 1), announced);
  EXPECT_EQ(got.back(), static_cast<int>(NM_CLICK));
  answers_[static_cast<int>(TVN_ITEMEXPANDINGW)] = TRUE;
  controls::userToggleTreeItem(tv, root);
  EXPECT_EQ(SendMessageW(tv, TVM_GETITEMSTATE, reinterpret_cast<WPARAM>(root), TVIS_EXPANDED), 0);
  answers_.clear();
  // A leaf has no button to click.
  controls::userSelectTreeItem(tv, child);
  EXPECT_EQ(next(tv, TVGN_CARET, nullptr), child);
  EXPECT_TRUE(controls::userToggleTreeItem(tv, leaf));  // collapses; the selection moves up
  EXPECT_EQ(next(tv, TVGN_CARET, nullptr), leaf);
  HTREEITEM bare = insert(tv, root, u"bare");
  EXPECT_FALSE(controls::userToggleTreeItem(tv, bare));
}

// ---- Progress, tab, animation, tooltip, image list ----

TEST_F(ControlsTest, ProgressBarKeepsItsPositionInRange) {
  HWND bar = control(PROGRESS_CLASSW, 0);
  PBRANGE range{-1, -1};
  EXPECT_EQ(SendMessageW(bar, PBM_GETRANGE, TRUE, reinterpret_cast<LPARAM>(&range)), 0);
  EXPECT_EQ(range.iHigh, 100);
  EXPECT_EQ(SendMessageW(bar, PBM_SETRANGE32, 10, 50), MAKELRESULT(0, 100));
  EXPECT_EQ(SendMessageW(bar, PBM_GETPOS, 0, 0), 10);  // pulled into the new range
  EXPECT_EQ(SendMessageW(bar, PBM_SETPOS, 70, 0), 10);
  EXPECT_EQ(SendMessageW(bar, PBM_GETPOS, 0, 0), 50);
  EXPECT_EQ(SendMessageW(bar, PBM_DELTAPOS, static_cast<WPARAM>(-15), 0), 50);
  EXPECT_EQ(SendMessageW(bar, PBM_SETSTEP, 20, 0), 10);
  EXPECT_EQ(SendMessageW(bar, PBM_STEPIT, 0, 0), 35);
  EXPECT_EQ(SendMessageW(bar, PBM_GETPOS, 0, 0), 15);  // past the end wraps to the start
  EXPECT_EQ(SendMessageW(bar, PBM_GETRANGE, FALSE, 0), 50);
}

TEST_F(ControlsTest, TabSelectionByUserMayBeVetoed) {
  HWND tabs = control(WC_TABCONTROLW, 0, u"", {0, 0, 300, 200});
  EXPECT_EQ(SendMessageW(tabs, TCM_GETCURSEL, 0, 0), -1);
  for (const char16_t* t : {u"General", u"Files", u"Advanced"}) {
    TCITEMW it{};
    it.mask = TCIF_TEXT | TCIF_PARAM;
    it.pszText = const_cast<LPWSTR>(t);
    it.lParam = t[0];
    SendMessageW(tabs, TCM_INSERTITEMW, 10, reinterpret_cast<LPARAM>(&it));
  }
  EXPECT_EQ(SendMessageW(tabs, TCM_GETITEMCOUNT, 0, 0), 3);
  EXPECT_EQ(SendMessageW(tabs, TCM_GETCURSEL, 0, 0), 0);  // the first tab is current
  EXPECT_EQ(SendMessageW(tabs, TCM_SETCURSEL, 1, 0), 0);
  EXPECT_EQ(codes(), Codes{});

  answers_[static_cast<int>(TCN_SELCHANGING)] = TRUE;
  ASSERT_TRUE(controls::userSelect(tabs, 2));
  EXPECT_EQ(SendMessageW(tabs, TCM_GETCURSEL, 0, 0), 1);
  Codes got = codes();
  EXPECT_EQ(got.front(), static_cast<int>(TCN_SELCHANGING));
  EXPECT_EQ(std::count(got.begin(), got.end(), static_cast<int>(TCN_SELCHANGE)), 0);
  answers_.clear();
  controls::userSelect(tabs, 2);
  EXPECT_EQ(SendMessageW(tabs, TCM_GETCURSEL, 0, 0), 2);
  got = codes();
  EXPECT_EQ(Codes(got.begin(), got.begin() + 2),
            (Codes{static_cast<int>(TCN_SELCHANGING), static_cast<int>(TCN_SELCHANGE)}));

  WCHAR buf[16];
  TCITEMW it{};
  it.mask = TCIF_TEXT | TCIF_PARAM;
  it.pszText = buf;
  it.cchTextMax = 16;
  ASSERT_TRUE(SendMessageW(tabs, TCM_GETITEMW, 1, reinterpret_cast<LPARAM>(&it)));
  EXPECT_EQ(std::u16string(buf), u"Files");
  EXPECT_EQ(it.lParam, u'F');
  RECT r{0, 0, 300, 200};
  SendMessageW(tabs, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&r));
  EXPECT_LT(r.left, r.right);
  EXPECT_GT(r.top, controls::kTabHeight);
  SendMessageW(tabs, TCM_ADJUSTRECT, TRUE, reinterpret_cast<LPARAM>(&r));
  EXPECT_EQ(r.top, 0);
  EXPECT_EQ(r.right, 300);
  // Deleting the current tab leaves none current.
  SendMessageW(tabs, TCM_DELETEITEM, 2, 0);
  EXPECT_EQ(SendMessageW(tabs, TCM_GETCURSEL, 0, 0), -1);
}

TEST_F(ControlsTest, AnimationRecordsWhatItOpenedAndAnnouncesPlaying) {
  HWND anim = control(ANIMATE_CLASSW, 0);
  // No module of the test has an "AVI" resource; a missing file fails too.
  EXPECT_FALSE(SendMessageW(anim, ACM_OPENW, 0, reinterpret_cast<LPARAM>(MAKEINTRESOURCEW(350))));
  EXPECT_FALSE(SendMessageW(anim, ACM_OPENW, 0, reinterpret_cast<LPARAM>(u"C:\\missing.avi")));
  EXPECT_FALSE(SendMessageW(anim, ACM_PLAY, static_cast<WPARAM>(-1), MAKELPARAM(0, 0xFFFF)));
  std::ofstream(host_.c("find.avi")) << "RIFF";
  ASSERT_TRUE(SendMessageW(anim, ACM_OPENW, 0, reinterpret_cast<LPARAM>(u"C:\\find.avi")));
  controls::AnimationInfo info;
  ASSERT_TRUE(controls::animationInfo(anim, &info));
  EXPECT_TRUE(info.open);
  EXPECT_FALSE(info.fromResource);
  EXPECT_EQ(info.name, u"C:\\find.avi");
  EXPECT_EQ(codes(), Codes{});
  EXPECT_TRUE(SendMessageW(anim, ACM_PLAY, static_cast<WPARAM>(-1), MAKELPARAM(0, 0xFFFF)));
  EXPECT_TRUE(SendMessageW(anim, ACM_ISPLAYING, 0, 0));
  EXPECT_TRUE(SendMessageW(anim, ACM_STOP, 0, 0));
  EXPECT_FALSE(SendMessageW(anim, ACM_ISPLAYING, 0, 0));
  EXPECT_EQ(codes(), (Codes{ACN_START, ACN_STOP}));
  // Closing (a null name) stops a playing clip.
  SendMessageW(anim, ACM_PLAY, 1, 0);
  SendMessageW(anim, ACM_OPENW, 0, 0);
  EXPECT_EQ(codes(), (Codes{ACN_START, ACN_STOP}));
  ASSERT_TRUE(controls::animationInfo(anim, &info));
  EXPECT_FALSE(info.open);
  EXPECT_FALSE(controls::animationInfo(parent_, &info));
}

TEST_F(ControlsTest, TooltipKeepsItsTools) {
  HWND tip = CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, 0, 0, 0, 0, parent_, nullptr,
                             nullptr, nullptr);
  ASSERT_TRUE(tip);
  HWND target = control(WC_BUTTONW, 0);
  TOOLINFOW ti{};
  ti.cbSize = sizeof(ti);
  ti.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  ti.hwnd = parent_;
  ti.uId = reinterpret_cast<UINT_PTR>(target);
  ti.lpszText = const_cast<LPWSTR>(u"Click me");
  EXPECT_TRUE(SendMessageW(tip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti)));
  EXPECT_EQ(SendMessageW(tip, TTM_GETTOOLCOUNT, 0, 0), 1);
  ti.lpszText = const_cast<LPWSTR>(u"Updated");
  SendMessageW(tip, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&ti));
  WCHAR buf[80] = {};
  TOOLINFOW get = ti;
  get.lpszText = buf;
  SendMessageW(tip, TTM_GETTEXTW, 80, reinterpret_cast<LPARAM>(&get));
  EXPECT_EQ(std::u16string(buf), u"Updated");
  EXPECT_EQ(SendMessageW(tip, TTM_SETMAXTIPWIDTH, 0, 300), -1);
  EXPECT_EQ(SendMessageW(tip, TTM_GETMAXTIPWIDTH, 0, 0), 300);
  SendMessageW(tip, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
  EXPECT_EQ(SendMessageW(tip, TTM_GETTOOLCOUNT, 0, 0), 0);
}

TEST(ImageListTest, KeepsWhatItWasGiven) {
  HIMAGELIST list = ImageList_Create(16, 16, ILC_COLORDDB | ILC_MASK, 1, 2);
  ASSERT_TRUE(list);
  auto bitmap = reinterpret_cast<HBITMAP>(static_cast<UINT_PTR>(0x100));
  auto icon = reinterpret_cast<HICON>(static_cast<UINT_PTR>(0x200));
  EXPECT_EQ(ImageList_Add(list, bitmap, nullptr), 0);
  EXPECT_EQ(ImageList_AddMasked(list, bitmap, 0xFF00FF), 1);
  EXPECT_EQ(ImageList_AddIcon(list, icon), 2);
  EXPECT_EQ(ImageList_ReplaceIcon(list, 0, icon), 0);
  EXPECT_EQ(ImageList_ReplaceIcon(list, 3, icon), -1);
  EXPECT_EQ(ImageList_Add(list, nullptr, nullptr), -1);
  EXPECT_EQ(ImageList_GetImageCount(list), 3);
  EXPECT_TRUE(ImageList_Remove(list, 1));
  EXPECT_FALSE(ImageList_Remove(list, 2));
  EXPECT_EQ(ImageList_GetImageCount(list), 2);
  EXPECT_EQ(ImageList_SetBkColor(list, 0x123456), CLR_NONE);
  EXPECT_EQ(ImageList_GetBkColor(list), 0x123456u);
  int cx = 0, cy = 0;
  EXPECT_TRUE(ImageList_GetIconSize(list, &cx, &cy));
  EXPECT_EQ(cx, 16);
  EXPECT_TRUE(ImageList_RemoveAll(list));
  EXPECT_EQ(ImageList_GetImageCount(list), 0);
  EXPECT_TRUE(ImageList_Destroy(list));
  // A destroyed (or never made) list is refused, not followed.
  EXPECT_FALSE(ImageList_Destroy(list));
  EXPECT_EQ(ImageList_Add(list, bitmap, nullptr), -1);
  EXPECT_EQ(ImageList_GetImageCount(reinterpret_cast<HIMAGELIST>(static_cast<UINT_PTR>(0x42))), 0);
  EXPECT_FALSE(ImageList_Create(0, 16, ILC_COLOR, 1, 1));
}

// A bitmap image is copied at the list's image size from its top left corner; other draw styles,
// a wrong index and a bitmap deleted after it was added draw nothing and answer FALSE.
TEST_F(ControlsTest, ImageListDrawsABitmapImageAtTheListSize) {
  HDC screen = GetDC(nullptr);
  HDC target = CreateCompatibleDC(screen);
  HBITMAP canvas = CreateCompatibleBitmap(screen, 12, 12);
  HGDIOBJ oldCanvas = SelectObject(target, canvas);
  RECT all{0, 0, 12, 12};
  FillRect(target, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));

  HDC paint = CreateCompatibleDC(screen);
  HBITMAP red = CreateCompatibleBitmap(screen, 6, 6);
  HGDIOBJ oldPaint = SelectObject(paint, red);
  HBRUSH redBrush = CreateSolidBrush(RGB(255, 0, 0));
  RECT six{0, 0, 6, 6};
  FillRect(paint, &six, redBrush);
  SelectObject(paint, oldPaint);

  HIMAGELIST list = ImageList_Create(4, 4, ILC_COLORDDB, 1, 2);
  ASSERT_TRUE(list);
  ASSERT_EQ(ImageList_Add(list, red, nullptr), 0);
  EXPECT_TRUE(ImageList_Draw(list, 0, target, 2, 3, ILD_NORMAL));
  EXPECT_EQ(GetPixel(target, 2, 3), RGB(255, 0, 0));
  EXPECT_EQ(GetPixel(target, 5, 6), RGB(255, 0, 0));
  EXPECT_EQ(GetPixel(target, 6, 3), RGB(255, 255, 255)) << "the list's width, not the bitmap's";
  EXPECT_EQ(GetPixel(target, 2, 7), RGB(255, 255, 255)) << "the list's height, not the bitmap's";

  EXPECT_FALSE(ImageList_Draw(list, 1, target, 0, 0, ILD_NORMAL));
  EXPECT_FALSE(ImageList_Draw(list, 0, target, 0, 0, 0x0010 /* ILD_TRANSPARENT */));
  EXPECT_FALSE(ImageList_Draw(list, 0, nullptr, 0, 0, ILD_NORMAL));
  EXPECT_EQ(GetPixel(target, 0, 0), RGB(255, 255, 255));
  DeleteObject(red);
  EXPECT_FALSE(ImageList_Draw(list, 0, target, 0, 0, ILD_NORMAL)) << "the list keeps the handle, not a copy";
  EXPECT_EQ(GetPixel(target, 0, 0), RGB(255, 255, 255));

  ImageList_Destroy(list);
  DeleteObject(redBrush);
  DeleteDC(paint);
  SelectObject(target, oldCanvas);
  DeleteObject(canvas);
  DeleteDC(target);
  ReleaseDC(nullptr, screen);
}

}  // namespace

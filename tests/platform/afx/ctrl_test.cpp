// The control wrappers: the check list box's checks (clicks, space bar, styles, disabled items,
// checks that move with their items), owner-draw messages reaching the wrapper's DrawItem through
// the parent's reflection, notifications reaching the parent's message map, and the list view,
// tree view and image list wrappers the product leans on.
#include <gtest/gtest.h>

#include <vector>

#include "platform/afx/ctrl_basic.h"
#include "platform/afx/ctrl_common.h"
#include "platform/afx/ctrl_list.h"
#include "platform/afx/ctrl_view.h"
#include "platform/win32/controls/controls.h"
#include "tests/support/test_host.h"

namespace controls = platform::controls;

namespace {

constexpr UINT kListId = 200;
constexpr UINT kTreeId = 201;
constexpr UINT kCheckListId = 202;

// A parent window whose message map records what its controls tell it.
class CParent : public CWnd {
 public:
  std::vector<int> checkChanges;  // control ids
  std::vector<UINT> listNotes;
  std::vector<HTREEITEM> treeSelections;
  std::vector<UINT> drawn;  // control ids of WM_DRAWITEM that nobody reflected

 protected:
  void OnCheckChange() { checkChanges.push_back(static_cast<int>(kCheckListId)); }
  void OnListChanged(NMHDR* hdr, LRESULT* result) {
    listNotes.push_back(hdr->code);
    *result = 0;
  }
  void OnTreeSelChanged(NMHDR* hdr, LRESULT*) {
    treeSelections.push_back(reinterpret_cast<NMTREEVIEW*>(hdr)->itemNew.hItem);
  }
  void OnDrawItem(int id, LPDRAWITEMSTRUCT) { drawn.push_back(static_cast<UINT>(id)); }

  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CParent, CWnd)
  ON_CONTROL(CLBN_CHKCHANGE, kCheckListId, OnCheckChange)
  ON_NOTIFY(LVN_ITEMCHANGED, kListId, OnListChanged)
  ON_NOTIFY(TVN_SELCHANGED, kTreeId, OnTreeSelChanged)
  ON_WM_DRAWITEM()
END_MESSAGE_MAP()

// Owner-draw wrappers that count their DrawItem calls.
class CCountingButton : public CButton {
 public:
  std::vector<UINT> states;
  void DrawItem(LPDRAWITEMSTRUCT dis) override { states.push_back(dis->itemState); }
};

class CCountingStatic : public CStatic {
 public:
  int draws = 0;
  void DrawItem(LPDRAWITEMSTRUCT) override { ++draws; }
};

class CtrlTest : public ::testing::Test {
 protected:
  CtrlTest() {
    EXPECT_TRUE(parent_.CreateEx(0, AFX_WND_CLASS_NAME, u"parent", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 400, 300,
                                 nullptr, nullptr));
  }
  ~CtrlTest() override { parent_.DestroyWindow(); }

  kipotest::TestHost host_;
  CParent parent_;
};

const RECT kRect{0, 0, 150, 100};

// ---- CCheckListBox ----

TEST_F(CtrlTest, CheckListBoxTogglesOnItsCheckBoxAndSpace) {
  CCheckListBox list;
  ASSERT_TRUE(list.Create(WS_CHILD | WS_VISIBLE | LBS_NOTIFY, kRect, &parent_, kCheckListId));
  // An owner-draw list of strings, rows tall enough for a check box.
  EXPECT_EQ(list.GetStyle() & (LBS_OWNERDRAWFIXED | LBS_HASSTRINGS), static_cast<DWORD>(LBS_OWNERDRAWFIXED | LBS_HASSTRINGS));
  EXPECT_GE(list.GetItemHeight(0), controls::kCheckListBoxCheckWidth + 2);
  for (const char16_t* s : {u"Documents", u"Music", u"Pictures"}) list.AddString(s);
  EXPECT_EQ(list.GetCheck(1), 0);

  // A click on the check box toggles it, selects the row and tells the parent.
  ASSERT_TRUE(controls::userToggleItemCheck(list, 1));
  EXPECT_EQ(list.GetCheck(1), 1);
  EXPECT_EQ(list.GetCurSel(), 1);
  EXPECT_EQ(parent_.checkChanges.size(), 1u);
  // A click on the text only selects.
  ASSERT_TRUE(controls::userSelect(list, 2));
  EXPECT_EQ(list.GetCheck(2), 0);
  EXPECT_EQ(list.GetCurSel(), 2);
  EXPECT_EQ(parent_.checkChanges.size(), 1u);
  // The space bar toggles the selected row.
  controls::userKey(list, VK_SPACE);
  EXPECT_EQ(list.GetCheck(2), 1);
  EXPECT_EQ(parent_.checkChanges.size(), 2u);
  // The program's SetCheck tells nobody.
  list.SetCheck(0, 1);
  EXPECT_EQ(parent_.checkChanges.size(), 2u);

  // A disabled item takes no clicks at all.
  list.Enable(0, FALSE);
  EXPECT_FALSE(list.IsEnabled(0));
  controls::userToggleItemCheck(list, 0);
  controls::userSelect(list, 0);
  EXPECT_EQ(list.GetCheck(0), 1);
  EXPECT_EQ(list.GetCurSel(), 2);
  EXPECT_EQ(parent_.checkChanges.size(), 2u);

  // Checks travel with their items.
  list.InsertString(0, u"Desktop");
  EXPECT_EQ(list.GetCheck(0), 0);
  EXPECT_EQ(list.GetCheck(1), 1);
  EXPECT_FALSE(list.IsEnabled(1));
  EXPECT_EQ(list.GetCheck(2), 1);
  list.DeleteString(1);
  EXPECT_EQ(list.GetCheck(1), 1);
  EXPECT_TRUE(list.IsEnabled(1));
  CString text;
  list.GetText(1, text);
  EXPECT_EQ(text, CString(u"Music"));
  list.ResetContent();
  list.AddString(u"again");
  EXPECT_EQ(list.GetCheck(0), 0);
}

TEST_F(CtrlTest, CheckListBoxStylesDecideHowChecksCycle) {
  struct Case {
    UINT style;
    std::vector<int> afterClicks;
    std::size_t notes;
  };
  const Case cases[] = {
      {BS_AUTOCHECKBOX, {1, 0, 1}, 3},
      {BS_AUTO3STATE, {1, 2, 0}, 3},
      {BS_CHECKBOX, {0, 0, 0}, 0},  // the program checks it
  };
  for (const Case& c : cases) {
    CCheckListBox list;
    ASSERT_TRUE(list.Create(WS_CHILD | WS_VISIBLE, kRect, &parent_, kCheckListId));
    list.SetCheckStyle(c.style);
    EXPECT_EQ(list.GetCheckStyle(), c.style);
    list.AddString(u"item");
    parent_.checkChanges.clear();
    for (int want : c.afterClicks) {
      controls::userToggleItemCheck(list, 0);
      EXPECT_EQ(list.GetCheck(0), want) << "style " << c.style;
    }
    EXPECT_EQ(parent_.checkChanges.size(), c.notes);
    list.DestroyWindow();
  }
}

// ---- Owner draw through reflection ----

TEST_F(CtrlTest, OwnerDrawWrappersDrawWhatTheParentReflects) {
  CCountingButton button;
  ASSERT_TRUE(button.Create(u"", WS_CHILD | WS_VISIBLE | BS_OWNERDRAW, RECT{0, 0, 40, 20}, &parent_, 300));
  CCountingStatic label;
  ASSERT_TRUE(label.Create(u"", WS_CHILD | WS_VISIBLE | SS_OWNERDRAW, RECT{0, 30, 40, 50}, &parent_, 301));
  button.UpdateWindow();
  label.UpdateWindow();
  button.SetState(TRUE);
  button.UpdateWindow();
  ASSERT_EQ(button.states.size(), 2u);
  EXPECT_FALSE(button.states[0] & ODS_SELECTED);
  EXPECT_TRUE(button.states[1] & ODS_SELECTED);
  EXPECT_EQ(label.draws, 1);
  // The parent's own handler does not see what its children drew themselves.
  EXPECT_TRUE(parent_.drawn.empty());

  // A plain owner-draw button without a drawing wrapper leaves it to the parent.
  HWND bare = CreateWindowExW(0, WC_BUTTONW, u"", WS_CHILD | WS_VISIBLE | BS_OWNERDRAW, 50, 0, 20, 20, parent_,
                              reinterpret_cast<HMENU>(static_cast<UINT_PTR>(302)), nullptr, nullptr);
  UpdateWindow(bare);
  EXPECT_EQ(parent_.drawn, std::vector<UINT>{302});
  EXPECT_EQ(button.GetButtonStyle(), static_cast<UINT>(BS_OWNERDRAW));
}

// ---- CListCtrl ----

TEST_F(CtrlTest, ListCtrlItemsSelectionAndChecks) {
  CListCtrl list;
  ASSERT_TRUE(list.Create(WS_CHILD | WS_VISIBLE | LVS_REPORT, RECT{0, 0, 300, 200}, &parent_, kListId));
  EXPECT_EQ(list.InsertColumn(0, u"Name", LVCFMT_LEFT, 120), 0);
  EXPECT_EQ(list.InsertColumn(1, u"Size", LVCFMT_RIGHT, 60), 1);
  EXPECT_EQ(list.GetColumnWidth(1), 60);
  for (int i = 0; i < 4; ++i) {
    CString name;
    name.Format(u"file%d", i);
    EXPECT_EQ(list.InsertItem(i, name), i);
    list.SetItemText(i, 1, u"1 KB");
    list.SetItemData(i, 1000 + i);
  }
  EXPECT_EQ(list.GetItemCount(), 4);
  EXPECT_EQ(list.GetItemText(2, 0), CString(u"file2"));
  EXPECT_EQ(list.GetItemText(2, 1), CString(u"1 KB"));
  EXPECT_EQ(list.GetItemData(3), 1003u);

  // Selection changes reach the parent's map; the selected items iterate in order.
  list.SetItemState(1, LVIS_SELECTED, LVIS_SELECTED);
  list.SetItemState(3, LVIS_SELECTED, LVIS_SELECTED);
  EXPECT_EQ(parent_.listNotes.size(), 2u);
  std::vector<int> selected;
  for (POSITION pos = list.GetFirstSelectedItemPosition(); pos;) selected.push_back(list.GetNextSelectedItem(pos));
  EXPECT_EQ(selected, (std::vector<int>{1, 3}));
  EXPECT_EQ(list.GetSelectedCount(), 2u);
  list.SetItemState(-1, 0, LVIS_SELECTED);
  EXPECT_FALSE(list.GetFirstSelectedItemPosition());

  list.SetExtendedStyle(LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
  EXPECT_FALSE(list.GetCheck(0));
  EXPECT_TRUE(list.SetCheck(0));
  EXPECT_TRUE(list.GetCheck(0));
  list.SetCheck(0, FALSE);
  EXPECT_FALSE(list.GetCheck(0));

  LVFINDINFO find{};
  find.flags = LVFI_PARAM;
  find.lParam = 1002;
  EXPECT_EQ(list.FindItem(&find), 2);
  auto descending = [](LPARAM a, LPARAM b, LPARAM) -> int { return static_cast<int>(b - a); };
  EXPECT_TRUE(list.SortItems(descending, 0));
  EXPECT_EQ(list.GetItemText(0, 0), CString(u"file3"));
  EXPECT_TRUE(list.DeleteItem(0));
  EXPECT_TRUE(list.DeleteAllItems());
  EXPECT_EQ(list.GetItemCount(), 0);
}

// ---- CTreeCtrl ----

TEST_F(CtrlTest, TreeCtrlBuildsWalksAndSelects) {
  CTreeCtrl tree;
  ASSERT_TRUE(tree.Create(WS_CHILD | WS_VISIBLE | TVS_HASBUTTONS | TVS_LINESATROOT, RECT{0, 0, 200, 200}, &parent_,
                          kTreeId));
  HTREEITEM drive = tree.InsertItem(u"E:");
  HTREEITEM docs = tree.InsertItem(u"Documents", drive);
  HTREEITEM music = tree.InsertItem(u"Music", 1, 2, drive);
  HTREEITEM first = tree.InsertItem(u"Archive", drive, TVI_FIRST);
  tree.SetItemData(music, 42);

  EXPECT_EQ(tree.GetRootItem(), drive);
  EXPECT_EQ(tree.GetChildItem(drive), first);
  EXPECT_EQ(tree.GetNextSiblingItem(first), docs);
  EXPECT_EQ(tree.GetPrevSiblingItem(music), docs);
  EXPECT_EQ(tree.GetParentItem(music), drive);
  EXPECT_EQ(tree.GetParentItem(drive), nullptr);
  EXPECT_TRUE(tree.ItemHasChildren(drive));
  EXPECT_FALSE(tree.ItemHasChildren(music));
  EXPECT_EQ(tree.GetItemText(music), CString(u"Music"));
  EXPECT_EQ(tree.GetItemData(music), 42u);
  int image = -1, selectedImage = -1;
  ASSERT_TRUE(tree.GetItemImage(music, image, selectedImage));
  EXPECT_EQ(image, 1);
  EXPECT_EQ(selectedImage, 2);
  EXPECT_EQ(tree.GetCount(), 4u);

  ASSERT_TRUE(tree.SelectItem(docs));
  EXPECT_EQ(tree.GetSelectedItem(), docs);
  EXPECT_EQ(parent_.treeSelections, std::vector<HTREEITEM>{docs});
  EXPECT_TRUE(tree.GetItemState(drive, TVIS_EXPANDED) & TVIS_EXPANDED);
  tree.Expand(drive, TVE_COLLAPSE);
  EXPECT_EQ(tree.GetSelectedItem(), drive);
  EXPECT_TRUE(tree.SetItemText(docs, u"My Documents"));
  EXPECT_EQ(tree.GetItemText(docs), CString(u"My Documents"));
  EXPECT_TRUE(tree.DeleteAllItems());
  EXPECT_EQ(tree.GetCount(), 0u);
  EXPECT_EQ(tree.GetItemText(docs), CString());
}

// ---- CImageList ----

TEST_F(CtrlTest, ImageListOwnsItsHandleUnlessDetached) {
  auto bitmap = reinterpret_cast<HBITMAP>(static_cast<UINT_PTR>(0x10));
  auto icon = reinterpret_cast<HICON>(static_cast<UINT_PTR>(0x20));
  HIMAGELIST handle;
  {
    CImageList images;
    ASSERT_TRUE(images.Create(16, 16, ILC_COLORDDB | ILC_MASK, 1, 2));
    EXPECT_FALSE(images.Create(16, 16, ILC_COLOR, 1, 1));  // holds one already
    EXPECT_EQ(images.Add(bitmap, static_cast<COLORREF>(0xFF00FF)), 0);
    EXPECT_EQ(images.Add(icon), 1);
    EXPECT_EQ(images.GetImageCount(), 2);
    handle = images;
  }
  EXPECT_EQ(ImageList_GetImageCount(handle), 0);  // destroyed with its object
  EXPECT_FALSE(ImageList_Destroy(handle));

  CImageList owner;
  ASSERT_TRUE(owner.Create(16, 16, ILC_COLOR32, 0, 4));
  owner.Add(icon);
  CListCtrl list;
  ASSERT_TRUE(list.Create(WS_CHILD | LVS_REPORT, kRect, &parent_, kListId));
  EXPECT_EQ(list.SetImageList(&owner, LVSIL_SMALL), nullptr);
  CImageList* previous = list.SetImageList(nullptr, LVSIL_SMALL);
  ASSERT_TRUE(previous);
  EXPECT_EQ(previous->m_hImageList, owner.m_hImageList);
  list.DestroyWindow();
  // The list handed back stays its owner's.
  EXPECT_EQ(owner.GetImageCount(), 1);
  HIMAGELIST detached = owner.Detach();
  EXPECT_EQ(owner.GetSafeHandle(), nullptr);
  EXPECT_EQ(ImageList_GetImageCount(detached), 1);
  EXPECT_TRUE(ImageList_Destroy(detached));
}

// ---- The thin wrappers ----

TEST_F(CtrlTest, ThinWrappersReachTheirControls) {
  CEdit edit;
  ASSERT_TRUE(edit.Create(WS_CHILD | WS_VISIBLE | ES_MULTILINE, kRect, &parent_, 400));
  edit.SetWindowText(u"one\r\ntwo");
  edit.LimitText(50);
  EXPECT_EQ(edit.GetLimitText(), 50u);
  EXPECT_EQ(edit.GetLineCount(), 2);
  WCHAR line[8] = {};
  EXPECT_EQ(edit.GetLine(1, line, 7), 3);
  EXPECT_EQ(std::u16string(line, 3), u"two");
  edit.SetSel(0, 3);
  edit.ReplaceSel(u"ONE");
  int start = -1, end = -1;
  edit.GetSel(start, end);
  EXPECT_EQ(start, 3);
  EXPECT_EQ(end, 3);
  EXPECT_TRUE(edit.GetModify());

  CComboBox combo;
  ASSERT_TRUE(combo.Create(WS_CHILD | WS_VISIBLE | CBS_DROPDOWNLIST, kRect, &parent_, 401));
  combo.AddString(u"alpha");
  combo.AddString(u"beta");
  EXPECT_EQ(combo.SelectString(-1, u"BE"), 1);
  CString text;
  combo.GetLBText(combo.GetCurSel(), text);
  EXPECT_EQ(text, CString(u"beta"));

  CProgressCtrl progress;
  ASSERT_TRUE(progress.Create(WS_CHILD, kRect, &parent_, 402));
  progress.SetRange32(0, 10);
  progress.SetStep(3);
  progress.StepIt();
  EXPECT_EQ(progress.GetPos(), 3);
  int lower = -1, upper = -1;
  progress.GetRange(lower, upper);
  EXPECT_EQ(upper, 10);

  CTabCtrl tabs;
  ASSERT_TRUE(tabs.Create(WS_CHILD | WS_VISIBLE, kRect, &parent_, 403));
  tabs.InsertItem(0, u"General");
  tabs.InsertItem(1, u"Advanced");
  EXPECT_EQ(tabs.SetCurSel(1), 0);
  EXPECT_EQ(tabs.GetCurSel(), 1);

  CAnimateCtrl animation;
  ASSERT_TRUE(animation.Create(WS_CHILD, kRect, &parent_, 404));
  EXPECT_FALSE(animation.Open(350u));  // the program has no such clip
  EXPECT_FALSE(animation.IsPlaying());

  CToolTipCtrl tip;
  ASSERT_TRUE(tip.Create(&parent_));
  EXPECT_TRUE(tip.AddTool(&edit, u"Type here"));
  EXPECT_TRUE(tip.AddTool(&parent_, u"Area", &kRect, 7));
  EXPECT_EQ(tip.GetToolCount(), 2);
  tip.UpdateTipText(u"Type a name", &edit);
  CString tipText;
  tip.GetText(tipText, &edit);
  EXPECT_EQ(tipText, CString(u"Type a name"));
  tip.DelTool(&parent_, 7);
  EXPECT_EQ(tip.GetToolCount(), 1);
  EXPECT_EQ(tip.SetMaxTipWidth(200), -1);
}

}  // namespace

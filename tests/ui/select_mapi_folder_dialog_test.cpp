// The folder selection dialog on a store made by `kipo-host mapi make`, driven as a person would:
// the store's folders below the root "Outlook", a folder deep in the tree chosen with its path and
// id, the root refused while the dialog stays open, and a store whose folders cannot be read.
#include "ui/select_mapi_folder_dialog.h"

#include <gtest/gtest.h>

#include "lang/ids.h"
#include "platform/base/text.h"
#include "platform/ui/tree_items.h"
#include "tests/support/ui_script.h"
#include "tests/ui/mapi_store_fixture.h"

namespace {

using outlookpagetest::MapiStoreTest;

class SelectMapiFolderDialogTest : public MapiStoreTest {
 protected:
  std::vector<UINT> shownIds() const { return boxIds({IDS_SELECT_MAPI_FOLDER_NO_ROOT, IDS_SELECT_MAPI_FOLDER_NO_TREE}); }
};

TEST_F(SelectMapiFolderDialogTest, AFolderDeepInTheTreeIsChosenWithItsPathAndId) {
  ASSERT_NO_FATAL_FAILURE(openStore());
  CSelectMapiFolderDialog dialog(store.get(), nullptr);
  kipotest::UiScript ui;
  ui.dialog(IDD_SELECT_MAPI_FOLDER).selectTreeItem(IDC_SELECT_MAPI_FOLDER_TREE, u"Outlook\\Inbox\\Projects\\2026");
  ui.dialog(IDD_SELECT_MAPI_FOLDER).click(IDOK);
  EXPECT_EQ(dialog.DoModal(), IDOK);
  ui.verify();
  EXPECT_EQ(utf8(dialog.getFolderPath()), "Inbox\nProjects\n2026");
  EXPECT_EQ(dialog.getFolderId(), folderId(CString(u"Inbox\nProjects\n2026")));
  EXPECT_FALSE(dialog.getFolderId().IsEmpty());
  EXPECT_TRUE(boxes.empty());
}

// The dialog with what its tree shows at the moment OK is pressed.
class ReadingDialog : public CSelectMapiFolderDialog {
 public:
  using CSelectMapiFolderDialog::CSelectMapiFolderDialog;
  void OnOK() override {
    if (auto items = platform::ui::readTreeItems(m_tree.m_hWnd))
      for (const auto& item : *items)
        outline.push_back(std::string(static_cast<std::size_t>(item.depth) * 2, ' ') +
                          platform::text::toUtf8(item.text) + (item.expanded ? " +" : "") + (item.selected ? " *" : ""));
    CSelectMapiFolderDialog::OnOK();
  }
  std::vector<std::string> outline;
};

TEST_F(SelectMapiFolderDialogTest, TheTreeHoldsTheStoresFoldersBelowAnOpenRoot) {
  ASSERT_NO_FATAL_FAILURE(openStore());
  ReadingDialog dialog(store.get(), nullptr);
  kipotest::UiScript ui;
  ui.dialog(IDD_SELECT_MAPI_FOLDER).selectTreeItem(IDC_SELECT_MAPI_FOLDER_TREE, u"Outlook\\Archive\\Sent Items").click(IDOK);
  EXPECT_EQ(dialog.DoModal(), IDOK);
  ui.verify();
  // Only the root was open; picking the folder opened its parent as a click on its button does.
  EXPECT_EQ(dialog.outline, (std::vector<std::string>{
                                "Outlook +", "  Inbox", "    Projects", "      2026", "  Outbox", "  Sent Items",
                                "  Deleted Items", "  Drafts", "  Calendar", "  Contacts", "  Tasks", "  Notes",
                                "  Journal", "  Archive +", "    Sent Items *"}));
  EXPECT_EQ(utf8(dialog.getFolderPath()), "Archive\nSent Items");
}

TEST_F(SelectMapiFolderDialogTest, TheRootKeepsTheDialogOpenAndAnUnreadableStoreCancelsIt) {
  ASSERT_NO_FATAL_FAILURE(openStore());
  {
    CSelectMapiFolderDialog dialog(store.get(), nullptr);
    kipotest::UiScript ui;
    ui.dialog(IDD_SELECT_MAPI_FOLDER)
        .selectTreeItem(IDC_SELECT_MAPI_FOLDER_TREE, u"Outlook")
        .click(IDOK)
        .selectTreeItem(IDC_SELECT_MAPI_FOLDER_TREE, u"Outlook\\Archive")
        .click(IDOK);
    EXPECT_EQ(dialog.DoModal(), IDOK);
    ui.verify();
    EXPECT_EQ(shownIds(), std::vector<UINT>{IDS_SELECT_MAPI_FOLDER_NO_ROOT});
    EXPECT_EQ(utf8(dialog.getFolderPath()), "Archive");
  }
  boxes.clear();
  // Without a store there is no tree: the message, and the dialog ends by itself.
  CSelectMapiFolderDialog dialog(nullptr, nullptr);
  EXPECT_EQ(dialog.DoModal(), IDCANCEL);
  EXPECT_EQ(shownIds(), std::vector<UINT>{IDS_SELECT_MAPI_FOLDER_NO_TREE});
}

}  // namespace

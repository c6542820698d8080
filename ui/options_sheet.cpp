// The options dialog's property sheet and its buttons.
#include "ui/options_sheet.h"

#include "app/messages.h"
#include "lang/ids.h"
#include "platform/win32/win32.h"
#include "ui/dialog_support.h"
#include "ui/options_dialog.h"
#include "ui/snapin_property_page.h"

IMPLEMENT_DYNAMIC(CSnapinPropertySheet, CPropertySheet)

namespace {

constexpr DWORD kTabsMultiline = 0x200;

}  // namespace

CSnapinPropertySheet::CSnapinPropertySheet(LPCWSTR caption, CWnd* parent, UINT firstPage)
    : CPropertySheet(caption, parent, firstPage) {}

BOOL CSnapinPropertySheet::OnInitDialog() {
  if (CWnd* tabs = GetTabControl()) tabs->ModifyStyle(kTabsMultiline, 0);
  const BOOL result = CPropertySheet::OnInitDialog();
  if (!(GetStyle() & WS_CHILD)) CenterWindow();
  m_initialised = true;
  return result;
}

bool CSnapinPropertySheet::applyPages() {
  if (m_options != nullptr && m_options->choicesExceedCapacity()) {
    showMessageById(IDS_OPTIONS_NO_SPACE, deviceDisplayName());
    return false;
  }
  // Every page with changes is applied, not only the one in front: the others would otherwise be
  // lost when OK closes the dialog.
  bool kept = false;
  for (int i = 0; i < GetPageCount(); ++i) {
    CPropertyPage* page = GetPage(i);
    if (page == nullptr || page->m_hWnd == nullptr) continue;
    auto* snapinPage = dynamic_cast<CSnapinPropertyPage*>(page);
    const bool changed = snapinPage != nullptr ? snapinPage->isModified() : page->IsModified() != FALSE;
    if (!changed) continue;
    page->OnApply();
    if (snapinPage != nullptr && snapinPage->isModified()) {
      kept = true;
    } else {
      page->SetModified(FALSE);
    }
  }
  return !kept;
}

BOOL CSnapinPropertySheet::OnCommand(WPARAM wParam, LPARAM lParam) {
  CWnd* owner = GetParent();
  switch (LOWORD(wParam)) {
    case ID_APPLY_NOW:
      applyPages();
      return TRUE;
    case IDOK:
      if (!applyPages()) return TRUE;
      if (owner != nullptr) owner->SendMessage(WM_COMMAND, IDOK, 0);
      return TRUE;
    case IDCANCEL:
      if (owner != nullptr) owner->SendMessage(WM_COMMAND, IDCANCEL, 0);
      return TRUE;
    default:
      return CPropertySheet::OnCommand(wParam, lParam);
  }
}

// The folder selection dialog: the store's folder tree read through the MAPI utility object, and
// the choice of one folder below the root.
#include "ui/select_mapi_folder_dialog.h"

#include <vector>

#include "app/file_util.h"
#include "app/messages.h"
#include "lang/ids.h"
#include "outlook/mapi_loader.h"
#include "outlook/mapi_util.h"
#include "outlook/sync_folder.h"
#include "ui/dialog_support.h"

namespace {

constexpr const char16_t* kRootText = u"Outlook";

}  // namespace

BEGIN_MESSAGE_MAP(CSelectMapiFolderDialog, CDialog)
  ON_WM_DESTROY()
END_MESSAGE_MAP()

CSelectMapiFolderDialog::CSelectMapiFolderDialog(IMsgStore* store, CWnd* parent)
    : CDialog(IDD_SELECT_MAPI_FOLDER, parent), m_store(store) {}

CSelectMapiFolderDialog::~CSelectMapiFolderDialog() { deleteFolderNodeList(m_folders); }

void CSelectMapiFolderDialog::DoDataExchange(CDataExchange* pDX) {
  CDialog::DoDataExchange(pDX);
  DDX_Control(pDX, IDC_SELECT_MAPI_FOLDER_TREE, m_tree);
}

BOOL CSelectMapiFolderDialog::OnInitDialog() {
  CDialog::OnInitDialog();
  setDialogBigIcon(*this);
  replaceUiPlaceholders(m_hWnd);
  if (!buildTree()) {
    showMessageById(IDS_SELECT_MAPI_FOLDER_NO_TREE);
    EndDialog(IDCANCEL);
    return TRUE;
  }
  m_tree.Expand(m_tree.GetRootItem(), TVE_EXPAND);
  return TRUE;
}

bool CSelectMapiFolderDialog::buildTree() {
  CMapiUtil* util = getMapiUtil();
  if (util == nullptr || !m_store) return false;
  platform::com::Ptr<IMAPIFolder> top;
  if (FAILED(util->openIpmSubtree(m_store.get(), top)) || !top) return false;
  auto folders = std::make_unique<COutlookFolder::ChildList>();
  if (!util->getFolderHierarchyList(m_store.get(), top.get(), CString(), *folders)) {
    m_folders = std::move(folders);
    return false;
  }
  m_folders = std::move(folders);
  const HTREEITEM root = m_tree.InsertItem(kRootText, TVI_ROOT, TVI_LAST);
  if (root == nullptr) return false;
  // The list is depth first: a folder's parent is the nearest folder before it whose path is a
  // prefix of its own, so the chain of open ancestors is a stack.
  struct Open {
    CString path;
    HTREEITEM item;
  };
  std::vector<Open> open;
  for (const auto& folder : *m_folders) {
    while (!open.empty() && folder->folderPath.Find(open.back().path + u"\n") != 0) open.pop_back();
    const HTREEITEM parent = open.empty() ? root : open.back().item;
    const HTREEITEM item = m_tree.InsertItem(folder->displayName, parent, TVI_LAST);
    if (item == nullptr) return false;
    m_tree.SetItemData(item, reinterpret_cast<DWORD_PTR>(folder.get()));
    open.push_back({folder->folderPath, item});
  }
  return true;
}

void CSelectMapiFolderDialog::OnOK() {
  const HTREEITEM selected = m_tree.GetSelectedItem();
  HTREEITEM parent = selected != nullptr ? m_tree.GetParentItem(selected) : nullptr;
  // The root (or nothing) chosen: the dialog stays for another choice.
  if (parent == nullptr) {
    showMessageById(IDS_SELECT_MAPI_FOLDER_NO_ROOT);
    return;
  }
  CString path = m_tree.GetItemText(selected);
  // Every ancestor below the root goes before the name.
  for (; m_tree.GetParentItem(parent) != nullptr; parent = m_tree.GetParentItem(parent))
    path = joinFolderPath(m_tree.GetItemText(parent), path);
  const auto* folder = reinterpret_cast<const COutlookFolder*>(m_tree.GetItemData(selected));
  m_folderPath = path;
  m_folderId = folder != nullptr ? folder->entryId.getId() : CString();
  CDialog::OnOK();
}

void CSelectMapiFolderDialog::OnDestroy() {
  if (m_tree.m_hWnd != nullptr) m_tree.DeleteAllItems();
  CDialog::OnDestroy();
}

// CSelectMapiFolderDialog: the tree of a message store's folders below a root item "Outlook", from
// which the Outlook page adds a folder. After IDOK it gives the chosen folder's path (its names
// from the top of the store down, joined by newlines) and its entry id as hex text. The root
// itself cannot be chosen.
#pragma once

#include <memory>

#include "outlook/outlook_folder.h"
#include "platform/afx/afxwin.h"
#include "platform/afx/ctrl_view.h"
#include "platform/afx/dialog.h"
#include "platform/com/unknown.h"
#include "platform/modules/mapi32/mapidefs.h"

class CSelectMapiFolderDialog : public CDialog {
 public:
  // Holds its own reference to the store for the dialog's life.
  CSelectMapiFolderDialog(IMsgStore* store, CWnd* parent);
  ~CSelectMapiFolderDialog() override;

  BOOL OnInitDialog() override;
  void OnOK() override;

  const CString& getFolderPath() const { return m_folderPath; }
  const CString& getFolderId() const { return m_folderId; }

  CTreeCtrl m_tree;

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  afx_msg void OnDestroy();
  DECLARE_MESSAGE_MAP()

 private:
  // The root item and one item per folder below it; false when the store's folders cannot be read.
  bool buildTree();

  platform::com::Ptr<IMsgStore> m_store;
  CString m_folderPath;
  CString m_folderId;
  // The folder records the items' data point to.
  std::unique_ptr<COutlookFolder::ChildList> m_folders;
};

// COutlookPropertyPage: the options page of the Outlook folders that synchronization runs carry
// for this computer. Each listed folder is one COutlookFolderSyncPref record of the Outlook
// snap-in's list for this computer's profile, edited in place (saved or reloaded by
// CSnapinPropertyPage). Folders come from the store's folder tree (CSelectMapiFolderDialog) or
// from one button per Outlook special folder. List rows find their records by identity (item
// data), and the records stand in the list's order.
#pragma once

#include <memory>

#include "outlook/outlook_folder_sync_pref.h"
#include "platform/afx/afxwin.h"
#include "platform/afx/ctrl_basic.h"
#include "platform/afx/ctrl_common.h"
#include "platform/afx/ctrl_list.h"
#include "ui/file_property_page.h"
#include "ui/snapin_property_page.h"

class COutlookCustomizer;

class COutlookPropertyPage : public CSnapinPropertyPage {
  DECLARE_DYNAMIC(COutlookPropertyPage)

 public:
  explicit COutlookPropertyPage(COutlookCustomizer* snapin);
  ~COutlookPropertyPage() override;

  BOOL OnInitDialog() override;
  BOOL OnSetActive() override;
  BOOL PreTranslateMessage(MSG* pMsg) override;
  void refreshCommon() override;
  void pullCommon() override;

  // Adds the folder unless its id is listed already; false when nothing was added.
  bool addFolder(const CString& folderId, const CString& itemPath);
  // The record of a list row, or null.
  COutlookFolderSyncPref* recordOfRow(int row);
  COutlookFolderSyncPref* selectedRecord();
  // The string id of the recent-items radio's label for a folder path.
  static UINT recentLabelFor(const CString& itemPath);

  CUnderlinedLabel m_pathLabel;
  CCheckListBox m_folders;
  BOOL m_includeSubfolders = FALSE;
  CString m_daysText = u"0";
  int m_itemChoice = -1;  // 0: recent items only, 1: all items
  CString m_shownPath;
  BOOL m_sizeLimitOn = FALSE;
  CString m_sizeText;
  int m_conflictChoice = -1;  // radio index: 0 computer wins, 1 device wins, 2 keep both

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  afx_msg void OnFolderSelected();
  afx_msg void OnFolderCheck();
  afx_msg void OnSubfolders();
  afx_msg void OnSizeLimit();
  afx_msg void OnDaysChanged();
  afx_msg void OnSizeChanged();
  afx_msg void OnRecentOnly();
  afx_msg void OnAllItems();
  afx_msg void OnComputerWins();
  afx_msg void OnDeviceWins();
  afx_msg void OnKeepBoth();
  afx_msg void OnAddFolders();
  afx_msg void OnRemove();
  afx_msg void OnAddInbox();
  afx_msg void OnAddDrafts();
  afx_msg void OnAddSentItems();
  afx_msg void OnAddContacts();
  afx_msg void OnAddCalendar();
  afx_msg void OnAddNotes();
  afx_msg void OnAddTasks();
  DECLARE_MESSAGE_MAP()

 private:
  // Shows the selected record in the controls.
  void showRecord();
  // A list row for the record, selected and checked; -1 when it has no display path or no id.
  int addEntry(COutlookFolderSyncPref* record);
  void updateHorizontalExtent();
  // Adds a special folder by the property tag of its entry id (0: the Inbox) and its name's id.
  void addSpecialFolder(ULONG tag, UINT nameId);
  void setConflict(DWORD resolution);
  // The record of the selection after pulling the controls, or null (logged).
  COutlookFolderSyncPref* editedRecord();

  COutlookCustomizer* m_outlook;
  COutlookFolderSyncPrefList* m_records = nullptr;
  CFont m_buttonFont;
  CFont m_folderButtonFont;
  // The conflict radios' tooltips, in the order 1187, 1188, 1189.
  std::unique_ptr<CToolTipCtrl> m_tips[3];
  bool m_showing = false;
};

// CFilePropertyPage: the options page of the files and folders the file snap-in carries for this
// computer. Each listed item is one CFileSyncPref record of the snap-in's list for this
// computer's profile, edited in place (saved or reloaded by CSnapinPropertyPage). Items come from
// the add buttons or from files and folders dropped on the page. The hidden Favorites record is
// never listed; list rows find their records by identity (item data), never by position.
#pragma once

#include <vector>

#include "platform/afx/afxwin.h"
#include "platform/afx/ctrl_basic.h"
#include "platform/afx/ctrl_list.h"
#include "platform/win32/dragdrop.h"
#include "snapins/file_customizer_prefs.h"
#include "ui/snapin_property_page.h"

class CFileCustomizer;

// The selected item's name, drawn with a line along its bottom edge.
class CUnderlinedLabel : public CStatic {
 public:
  void DrawItem(LPDRAWITEMSTRUCT draw) override;
};

class CFilePropertyPage : public CSnapinPropertyPage, public IDropTarget {
  DECLARE_DYNAMIC(CFilePropertyPage)

 public:
  // The file types list, in order: the stored label id of each entry.
  static constexpr UINT kTypeLabelIds[] = {380, 695, 729, 398, 600};
  static constexpr int kTypeCount = 5;

  explicit CFilePropertyPage(CFileCustomizer* snapin);
  ~CFilePropertyPage() override;

  BOOL OnInitDialog() override;
  BOOL DestroyWindow() override;
  void refreshCommon() override;
  void pullCommon() override;

  // Adds an item (every way of adding ends here); false when it was refused or cancelled.
  bool addItem(const CString& displayName, const CString& hostPath);
  // The record of a list row, or null.
  CFileSyncPref* recordOfRow(int row);
  CFileSyncPref* selectedRecord();
  // The display name of a record: the desktop's and My Documents' names for their words.
  static CString displayNameOf(const CFileSyncPref& record);

  // ---- IDropTarget ----
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE DragEnter(IDataObject* data, DWORD keys, POINTL pt, DWORD* effect) override;
  HRESULT STDMETHODCALLTYPE DragOver(DWORD keys, POINTL pt, DWORD* effect) override;
  HRESULT STDMETHODCALLTYPE DragLeave() override;
  HRESULT STDMETHODCALLTYPE Drop(IDataObject* data, DWORD keys, POINTL pt, DWORD* effect) override;

  CUnderlinedLabel m_nameLabel;
  CCheckListBox m_items;
  CCheckListBox m_types;
  BOOL m_includeSubfolders = FALSE;
  CString m_daysText = u"0";
  int m_fileChoice = -1;  // 0: recently changed files only, 1: all files
  CString m_shownName;

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  afx_msg void OnItemSelected();
  afx_msg void OnItemCheck();
  afx_msg void OnTypeCheck();
  afx_msg void OnSubfolders();
  afx_msg void OnDaysChanged();
  afx_msg void OnRecentOnly();
  afx_msg void OnAllFiles();
  afx_msg void OnAddFiles();
  afx_msg void OnAddFolder();
  afx_msg void OnAddDesktop();
  afx_msg void OnAddMyDocuments();
  afx_msg void OnRemove();
  DECLARE_MESSAGE_MAP()

 private:
  // Shows the selected record in the controls.
  void showSelected();
  void enableDetails(bool enabled);
  // Adding needs this computer's profile (message 411 otherwise).
  bool isThisComputer();
  CString typeText(int entry) const;

  CFileCustomizer* m_fileSnapin;
  CFileSyncPrefList* m_records = nullptr;
  std::vector<CString> m_dragPaths;
  CFont m_buttonFont;
  HICON m_icon = nullptr;
  bool m_dropRegistered = false;
  bool m_showing = false;
};

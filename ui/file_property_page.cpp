// The page of files: the item list, the selected item's settings, adding and removing items.
#include "ui/file_property_page.h"

#include "app/customizer_exception.h"
#include "app/file_operation.h"
#include "app/file_util.h"
#include "app/folder_lookup.h"
#include "app/log.h"
#include "app/messages.h"
#include "app/preference_file.h"
#include "app/profile_database.h"
#include "app/program_texts.h"
#include "app/shortcut.h"
#include "app/windows_helpers.h"
#include "lang/ids.h"
#include "platform/win32/win32.h"
#include "platform/win32/shell_browse.h"
#include "snapins/file_customizer.h"
#include "ui/dialog_support.h"
#include "ui/options_host.h"

IMPLEMENT_DYNAMIC(CFilePropertyPage, CSnapinPropertyPage)

namespace {

// The patterns shown after each type's label (entry 0, all files, has none).
constexpr const char16_t* kTypePatterns[] = {
    nullptr,
    u"*.doc;*.xls;*.ppt;*.txt;*.rtf;*.vsd",
    u"*.pdf;*.ps",
    u"*.mp3;*.wav;*.au;*.m3u;*.aiff;*.wma",
    u"*.jpg;*.jpeg;*.gif;*.png;*.tiff;*.bmp;*.psd;*.pdd;*.pcd;*.pct;*.pic",
};
constexpr int kLargeFolderFiles = 1000;
constexpr const char16_t* kLargeFoldersOk = u"largeFoldersOk";
constexpr int kShell32Icon = 100;
constexpr int kDaysDigits = 4;

struct ButtonCaption {
  int control;
  UINT text;
};
constexpr ButtonCaption kButtonCaptions[] = {
    {IDC_FILES_ADD_FOLDER, IDS_FILES_ADD_FOLDER_CAPTION},     {IDC_FILES_ADD_FILES, IDS_FILES_ADD_FILES_CAPTION},
    {IDC_FILES_ADD_MY_DOCUMENTS, IDS_FILES_MY_DOCUMENTS_CAPTION}, {IDC_FILES_ADD_DESKTOP, IDS_FILES_ADD_DESKTOP_CAPTION},
    {IDC_FILES_REMOVE, IDS_FILES_REMOVE_CAPTION},
};

bool sameText(const CString& a, const CString& b) { return a.CompareNoCase(b) == 0; }

}  // namespace

void CUnderlinedLabel::DrawItem(LPDRAWITEMSTRUCT draw) {
  CDC* dc = CDC::FromHandle(draw->hDC);
  CRect rect(draw->rcItem);
  CString text;
  GetWindowText(text);
  dc->SetBkMode(TRANSPARENT);
  dc->DrawText(text, &rect, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS);
  dc->MoveTo(rect.left, rect.bottom - 1);
  dc->LineTo(rect.right, rect.bottom - 1);
}

BEGIN_MESSAGE_MAP(CFilePropertyPage, CSnapinPropertyPage)
  ON_LBN_SELCHANGE(IDC_FILES_ITEMS, OnItemSelected)
  ON_CONTROL(CLBN_CHKCHANGE, IDC_FILES_ITEMS, OnItemCheck)
  ON_CONTROL(CLBN_CHKCHANGE, IDC_FILES_TYPES, OnTypeCheck)
  ON_BN_CLICKED(IDC_FILES_SUBFOLDERS, OnSubfolders)
  ON_EN_CHANGE(IDC_FILES_DAYS, OnDaysChanged)
  ON_BN_CLICKED(IDC_FILES_RECENT_ONLY, OnRecentOnly)
  ON_BN_CLICKED(IDC_FILES_ALL_FILES, OnAllFiles)
  ON_BN_CLICKED(IDC_FILES_ADD_FILES, OnAddFiles)
  ON_BN_CLICKED(IDC_FILES_ADD_FOLDER, OnAddFolder)
  ON_BN_CLICKED(IDC_FILES_ADD_DESKTOP, OnAddDesktop)
  ON_BN_CLICKED(IDC_FILES_ADD_MY_DOCUMENTS, OnAddMyDocuments)
  ON_BN_CLICKED(IDC_FILES_REMOVE, OnRemove)
END_MESSAGE_MAP()

CFilePropertyPage::CFilePropertyPage(CFileCustomizer* snapin)
    : CSnapinPropertyPage(IDD_FILE_PAGE, snapin), m_fileSnapin(snapin) {}

CFilePropertyPage::~CFilePropertyPage() {
  if (m_icon != nullptr) DestroyIcon(m_icon);
}

void CFilePropertyPage::DoDataExchange(CDataExchange* pDX) {
  CSnapinPropertyPage::DoDataExchange(pDX);
  DDX_Control(pDX, IDC_FILES_SELECTED_NAME, m_nameLabel);
  DDX_Control(pDX, IDC_FILES_ITEMS, m_items);
  DDX_Control(pDX, IDC_FILES_TYPES, m_types);
  DDX_Check(pDX, IDC_FILES_SUBFOLDERS, m_includeSubfolders);
  DDX_Text(pDX, IDC_FILES_DAYS, m_daysText);
  DDX_Radio(pDX, IDC_FILES_RECENT_ONLY, m_fileChoice);
  DDX_Text(pDX, IDC_FILES_SELECTED_NAME, m_shownName);
}

CString CFilePropertyPage::typeText(int entry) const {
  const CString label = loadResString(kTypeLabelIds[entry]);
  if (kTypePatterns[entry] == nullptr) return label;
  CString text;
  text.Format(label, kTypePatterns[entry]);
  return text;
}

BOOL CFilePropertyPage::OnInitDialog() {
  CSnapinPropertyPage::OnInitDialog();
  m_dropRegistered = SUCCEEDED(RegisterDragDrop(m_hWnd, this));
  if (!m_dropRegistered) writeLog(u"{FilePropertyPage}: Unable to register drop target");
  SendDlgItemMessage(IDC_FILES_DAYS, EM_LIMITTEXT, kDaysDigits, 0);
  for (int i = 0; i < kTypeCount; ++i) m_types.AddString(typeText(i));
  for (const ButtonCaption& button : kButtonCaptions) SetDlgItemText(button.control, loadResString(button.text));
  const CString shell32 = getShell32Path();
  if (shell32.IsEmpty()) {
    writeLog(u"{FilePropertyPage}: Failed to find shell32.dll");
  } else {
    m_icon = ExtractIconW(AfxGetInstanceHandle(), shell32, kShell32Icon);
    if (m_icon == nullptr) writeLog(u"{FilePropertyPage}: Failed to extract icon from shell32.dll");
    else SendDlgItemMessage(IDC_FILES_ICON, STM_SETICON, reinterpret_cast<WPARAM>(m_icon), 0);
  }
  if (m_profile != nullptr && m_fileSnapin != nullptr) m_records = &m_fileSnapin->fileSyncPrefs(m_profile);
  refreshCommon();
  m_initialised = true;
  return TRUE;
}

BOOL CFilePropertyPage::DestroyWindow() {
  if (m_dropRegistered && m_hWnd != nullptr) RevokeDragDrop(m_hWnd);
  m_dropRegistered = false;
  return CSnapinPropertyPage::DestroyWindow();
}

CString CFilePropertyPage::displayNameOf(const CFileSyncPref& record) {
  if (sameText(record.path, loadResString(IDS_FOLDER_WORD_DESKTOP))) return CFolderLookup::getDesktopName();
  if (sameText(record.path, loadResString(IDS_FOLDER_WORD_MY_DOCUMENTS))) return CFolderLookup::getMyDocumentsName();
  return record.path;
}

void CFilePropertyPage::refreshCommon() {
  if (m_items.m_hWnd == nullptr) return;
  m_items.ResetContent();
  if (m_records != nullptr) {
    const CString favorites = loadResString(IDS_FOLDER_WORD_FAVORITES);
    for (auto& record : *m_records) {
      if (!record || sameText(record->path, favorites)) continue;
      const int row = m_items.AddString(displayNameOf(*record));
      m_items.SetItemDataPtr(row, record.get());
      m_items.SetCheck(row, record->synchronize ? BST_CHECKED : BST_UNCHECKED);
    }
  }
  m_items.SetCurSel(0);
  showSelected();
}

void CFilePropertyPage::pullCommon() {
  CSnapinPropertyPage::pullCommon();
  if (m_hWnd != nullptr && !m_showing) UpdateData(TRUE);
}

CFileSyncPref* CFilePropertyPage::recordOfRow(int row) {
  if (row < 0 || row >= m_items.GetCount() || m_records == nullptr) return nullptr;
  auto* record = static_cast<CFileSyncPref*>(m_items.GetItemDataPtr(row));
  // Only a record that is still in the snap-in's list is handed out.
  for (auto& held : *m_records)
    if (held.get() == record) return record;
  return nullptr;
}

CFileSyncPref* CFilePropertyPage::selectedRecord() {
  const int row = m_items.GetCurSel();
  CFileSyncPref* record = recordOfRow(row);
  if (record == nullptr && row != LB_ERR) {
    CString text;
    m_items.GetText(row, text);
    writeLog(u"Failed to find FileSyncPref for path: %s", text);
  }
  return record;
}

void CFilePropertyPage::enableDetails(bool enabled) {
  for (int id : {IDC_FILES_TYPES, IDC_FILES_SUBFOLDERS, IDC_FILES_DAYS, IDC_FILES_RECENT_ONLY, IDC_FILES_ALL_FILES})
    if (CWnd* control = GetDlgItem(id)) control->EnableWindow(enabled);
}

void CFilePropertyPage::showSelected() {
  CFileSyncPref* record = m_items.GetCount() > 0 ? selectedRecord() : nullptr;
  m_showing = true;
  if (record == nullptr) {
    m_shownName.Empty();
    m_fileChoice = -1;
    m_daysText = u"0";
    m_includeSubfolders = FALSE;
    for (int i = 0; i < m_types.GetCount(); ++i) m_types.SetCheck(i, BST_UNCHECKED);
    enableDetails(false);
  } else {
    m_shownName = displayNameOf(*record);
    m_fileChoice = record->includeRecentFiles ? 0 : 1;
    m_daysText.Format(u"%d", static_cast<int>(record->daysOld));
    const bool special = sameText(record->path, loadResString(IDS_FOLDER_WORD_DESKTOP)) ||
                         sameText(record->path, loadResString(IDS_FOLDER_WORD_MY_DOCUMENTS));
    if (!special && fileExists(profilePathToHostPath(record->path))) {
      enableDetails(false);
    } else {
      enableDetails(true);
      // One type per record: the stored label id picks its entry; any other label is all files.
      const DWORD label = record->labelNumber();
      int checked = 0;
      for (int i = 0; i < kTypeCount; ++i)
        if (kTypeLabelIds[i] == label) checked = i;
      for (int i = 0; i < m_types.GetCount(); ++i) m_types.SetCheck(i, i == checked ? BST_CHECKED : BST_UNCHECKED);
      m_includeSubfolders = record->recursive ? TRUE : FALSE;
      if (CWnd* days = GetDlgItem(IDC_FILES_DAYS)) days->EnableWindow(record->includeRecentFiles);
    }
  }
  UpdateData(FALSE);
  m_showing = false;
  m_nameLabel.Invalidate();
}

void CFilePropertyPage::OnItemSelected() { showSelected(); }

void CFilePropertyPage::OnItemCheck() {
  const int row = m_items.GetCurSel();
  // The check box clicked may be on another row than the selection: the list selects it first.
  CFileSyncPref* record = recordOfRow(row);
  if (record == nullptr) return;
  pullCommon();
  record->synchronize = m_items.GetCheck(row) == BST_CHECKED;
  setModified();
}

void CFilePropertyPage::OnTypeCheck() {
  CFileSyncPref* record = selectedRecord();
  if (record == nullptr) return;
  pullCommon();
  // The row whose mark changed is the list's caret row.
  const int changed = m_types.GetCaretIndex();
  int chosen = 0;
  if (changed > 0 && changed < kTypeCount && m_types.GetCheck(changed) == BST_CHECKED) chosen = changed;
  // The stored format keeps one label per record: a second mark would be stored as one id and
  // read back as all files.
  for (int i = 0; i < m_types.GetCount(); ++i) m_types.SetCheck(i, i == chosen ? BST_CHECKED : BST_UNCHECKED);
  record->setLabelFromNumber(kTypeLabelIds[chosen]);
  setModified();
}

void CFilePropertyPage::OnSubfolders() {
  CFileSyncPref* record = selectedRecord();
  if (record == nullptr) return;
  pullCommon();
  record->recursive = m_includeSubfolders != FALSE;
  setModified();
}

void CFilePropertyPage::OnDaysChanged() {
  if (m_showing) return;
  CFileSyncPref* record = selectedRecord();
  if (record == nullptr) return;
  pullCommon();
  // The edit takes digits only, at most four.
  DWORD days = 0;
  for (int i = 0; i < m_daysText.GetLength() && m_daysText[i] >= u'0' && m_daysText[i] <= u'9'; ++i)
    days = days * 10 + static_cast<DWORD>(m_daysText[i] - u'0');
  record->daysOld = days;
  setModified();
}

void CFilePropertyPage::OnRecentOnly() {
  CFileSyncPref* record = selectedRecord();
  if (record == nullptr) return;
  pullCommon();
  record->includeRecentFiles = true;
  if (CWnd* days = GetDlgItem(IDC_FILES_DAYS)) days->EnableWindow(TRUE);
  setModified();
}

void CFilePropertyPage::OnAllFiles() {
  CFileSyncPref* record = selectedRecord();
  if (record == nullptr) return;
  pullCommon();
  record->includeRecentFiles = false;
  if (CWnd* days = GetDlgItem(IDC_FILES_DAYS)) days->EnableWindow(FALSE);
  setModified();
}

bool CFilePropertyPage::isThisComputer() {
  if (m_profile != nullptr && m_profile == getProfileDatabase().getThisComputerProfile()) return true;
  showMessageById(IDS_FILES_OTHER_COMPUTER);
  return false;
}

bool CFilePropertyPage::addItem(const CString& displayName, const CString& hostPath) {
  if (displayName.IsEmpty()) {
    showMessageById(IDS_FILES_EMPTY_NAME);
    return false;
  }
  if (m_items.FindStringExact(-1, displayName) != LB_ERR) {
    showMessageById(IDS_FILES_ALREADY_LISTED, hostPath);
    return false;
  }
  if (isShortcutFile(hostPath)) {
    CShortcut shortcut(hostPath);
    if (shortcut.getTargetType() == CShortcut::ExistingFolder) {
      showMessageById(IDS_FILES_FOLDER_SHORTCUT, g_applicationName, hostPath);
      return false;
    }
  }
  const CString deviceRoot = getPathRoot(CFolderLookup::getDevicePath());
  if (!deviceRoot.IsEmpty() && sameText(getPathRoot(hostPath), deviceRoot)) {
    showMessageById(IDS_FILES_ON_DEVICE, deviceDisplayName());
    return false;
  }
  if (directoryExists(hostPath)) {
    bool largeOk = false;
    CPreferenceFile& store = getDevicePrefs();
    const CString current = store.getSubkeyName();
    store.openRoot();
    store.getBool(kLargeFoldersOk, largeOk);
    store.openSubkey(current);
    if (!largeOk) {
      bool large = false;
      {
        CWaitCursor wait;
        large = folderHasFileCount(hostPath, kLargeFolderFiles, true);
      }
      if (large && optionsHost().runLargeFolderDialog(this, hostPath) != IDOK) return false;
    }
  }
  if (m_records == nullptr) return false;
  auto record = std::make_unique<CFileSyncPref>(hostPathToProfilePath(hostPath, true));
  // Judged before the record joins the list, which would otherwise contain it.
  const bool overlaps = m_fileSnapin != nullptr && fileSyncPrefOverlaps(m_fileSnapin->getFilePrefs(m_profile), record.get());
  CFileSyncPref* added = record.get();
  m_records->push_back(std::move(record));
  const int row = m_items.AddString(displayName);
  m_items.SetItemDataPtr(row, added);
  m_items.SetCheck(row, BST_CHECKED);
  if (overlaps) showMessageById(IDS_FILES_OVERLAPS);
  m_items.SetCurSel(row);
  showSelected();
  setModified();
  return true;
}

void CFilePropertyPage::OnAddFiles() {
  CFileDialog dialog(TRUE, nullptr, nullptr, OFN_ALLOWMULTISELECT | OFN_FILEMUSTEXIST, u"All Files (*.*)|*.*||", this);
  const CString desktop = CFolderLookup::getDesktopPath();
  dialog.m_ofn.lpstrInitialDir = desktop.GetString();
  if (dialog.DoModal() != IDOK) return;
  POSITION position = dialog.GetStartPosition();
  while (position != nullptr) {
    const CString path = dialog.GetNextPathName(position);
    addItem(path, path);
  }
}

void CFilePropertyPage::OnAddFolder() {
  if (!isThisComputer()) return;
  const CString title = loadResString(IDS_FILES_CHOOSE_FOLDER);
  WCHAR name[MAX_PATH] = {};
  BROWSEINFOW info{};
  info.hwndOwner = m_hWnd;
  info.pszDisplayName = name;
  info.lpszTitle = title.GetString();
  info.ulFlags = BIF_RETURNONLYFSDIRS;
  LPITEMIDLIST chosen = SHBrowseForFolderW(&info);
  if (chosen == nullptr) return;
  WCHAR path[MAX_PATH] = {};
  const BOOL found = SHGetPathFromIDListW(chosen, path);
  ILFree(chosen);
  if (found) addItem(CString(path), CString(path));
}

void CFilePropertyPage::OnAddDesktop() { addItem(loadResString(IDS_FOLDER_WORD_DESKTOP), CFolderLookup::getDesktopPath()); }

void CFilePropertyPage::OnAddMyDocuments() {
  if (!isThisComputer()) return;
  addItem(CFolderLookup::getMyDocumentsName(), CFolderLookup::getMyDocumentsPath());
}

void CFilePropertyPage::OnRemove() {
  const int row = m_items.GetCurSel();
  CFileSyncPref* record = recordOfRow(row);
  if (row == LB_ERR) return;
  if (record != nullptr) {
    const CString path = record->path;
    if (m_fileSnapin == nullptr || !m_fileSnapin->removeFileSyncPref(m_profile, record))
      showMessageById(IDS_FILES_NOT_REMOVED, path);
  }
  m_items.DeleteString(static_cast<UINT>(row));
  const int count = m_items.GetCount();
  if (count > 0) m_items.SetCurSel(row < count ? row : count - 1);
  showSelected();
  setModified();
}

// ---- drop target ----------------------------------------------------------------------------------

HRESULT CFilePropertyPage::QueryInterface(REFIID riid, void** out) {
  if (out == nullptr) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_IDropTarget) {
    *out = static_cast<IDropTarget*>(this);
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

// The page's lifetime is the options dialog's; the registration does not own it.
ULONG CFilePropertyPage::AddRef() { return 1; }
ULONG CFilePropertyPage::Release() { return 1; }

HRESULT CFilePropertyPage::DragEnter(IDataObject* data, DWORD, POINTL, DWORD* effect) {
  m_dragPaths.clear();
  FORMATETC format{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
  STGMEDIUM medium{};
  if (data != nullptr && SUCCEEDED(data->GetData(&format, &medium))) {
    auto drop = static_cast<HDROP>(medium.hGlobal);
    const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
      const UINT length = DragQueryFileW(drop, i, nullptr, 0);
      std::u16string path(length + 1, u'\0');
      DragQueryFileW(drop, i, path.data(), length + 1);
      path.resize(length);
      m_dragPaths.emplace_back(path.c_str());
    }
    ReleaseStgMedium(&medium);
  }
  if (effect != nullptr) *effect = DROPEFFECT_MOVE;
  return S_OK;
}

HRESULT CFilePropertyPage::DragOver(DWORD, POINTL, DWORD* effect) {
  if (effect != nullptr) *effect = DROPEFFECT_MOVE;
  return S_OK;
}

HRESULT CFilePropertyPage::DragLeave() { return S_OK; }

HRESULT CFilePropertyPage::Drop(IDataObject*, DWORD, POINTL, DWORD* effect) {
  const std::vector<CString> paths = std::move(m_dragPaths);
  m_dragPaths.clear();
  if (!paths.empty() && isThisComputer()) {
    for (const CString& path : paths) addItem(path, path);
  }
  // The source keeps its files: they are carried, not moved.
  if (effect != nullptr) *effect = DROPEFFECT_NONE;
  return S_OK;
}

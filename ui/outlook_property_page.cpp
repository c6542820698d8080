// The Outlook page: the folder list, the selected folder's settings, adding folders from the
// store's tree or by special folder, removing, and the checks that Outlook is usable at all.
#include "ui/outlook_property_page.h"

#include <vector>

#include "app/customizer_doc.h"
#include "app/file_util.h"
#include "app/log.h"
#include "app/messages.h"
#include "app/profile_database.h"
#include "app/program_texts.h"
#include "lang/ids.h"
#include "outlook/mapi_loader.h"
#include "outlook/mapi_util.h"
#include "outlook/outlook_customizer.h"
#include "outlook/outlook_install.h"
#include "outlook/outlook_names.h"
#include "outlook/outlook_profile_manager.h"
#include "outlook/sync_folder.h"
#include "platform/win32/win32.h"
#include "ui/options_host.h"
#include "ui/select_mapi_folder_dialog.h"

IMPLEMENT_DYNAMIC(COutlookPropertyPage, CSnapinPropertyPage)

namespace {

constexpr int kDigits = 4;
constexpr DWORD kNoSizeLimit = 0xFFFFFFFF;
constexpr const char16_t* kDefaultSize = u"100";
// Mouse messages relayed to a conflict radio's tooltip: from WM_MOUSEFIRST up to, not including,
// this one.
constexpr UINT kRelayEnd = 526;
constexpr const char16_t* kSentItemsName = u"Sent Items";

struct ButtonCaption {
  int control;
  UINT text;
};
constexpr ButtonCaption kButtonCaptions[] = {
    {IDC_OUTLOOK_ADD_FOLDERS, IDS_FILES_ADD_FOLDER_CAPTION}, {IDC_OUTLOOK_REMOVE, IDS_FILES_REMOVE_CAPTION},
    {IDC_OUTLOOK_ADD_INBOX, IDS_OUTLOOK_INBOX_CAPTION},      {IDC_OUTLOOK_ADD_DRAFTS, IDS_OUTLOOK_DRAFTS_CAPTION},
    {IDC_OUTLOOK_ADD_SENT_ITEMS, IDS_OUTLOOK_SENT_CAPTION},  {IDC_OUTLOOK_ADD_CONTACTS, IDS_OUTLOOK_CONTACTS_CAPTION},
    {IDC_OUTLOOK_ADD_CALENDAR, IDS_OUTLOOK_CALENDAR_CAPTION}, {IDC_OUTLOOK_ADD_NOTES, IDS_OUTLOOK_NOTES_CAPTION},
    {IDC_OUTLOOK_ADD_TASKS, IDS_OUTLOOK_TASKS_CAPTION},
};

// The conflict radios in the order of their radio index, with the resolution each stands for and
// its tooltip text.
struct ConflictRadio {
  int control;
  DWORD resolution;
  UINT tip;
};
constexpr ConflictRadio kConflictRadios[] = {
    {IDC_OUTLOOK_COMPUTER_WINS, COutlookFolderSyncPref::kSourceWins, IDS_OUTLOOK_TIP_COMPUTER_WINS},
    {IDC_OUTLOOK_DEVICE_WINS, COutlookFolderSyncPref::kTargetWins, IDS_OUTLOOK_TIP_DEVICE_WINS},
    {IDC_OUTLOOK_KEEP_BOTH, COutlookFolderSyncPref::kKeepBoth, IDS_OUTLOOK_TIP_KEEP_BOTH},
};

// The edits take digits only; what is not a number reads as 0 and stops at the first other
// character.
DWORD numberOf(const CString& text) {
  DWORD value = 0;
  for (int i = 0; i < text.GetLength() && text[i] >= u'0' && text[i] <= u'9'; ++i)
    value = value * 10 + static_cast<DWORD>(text[i] - u'0');
  return value;
}

// The text after the last backslash: folder paths hold none, so a nested folder's path is
// taken whole and only a top-level "Sent Items" is the sent folder.
CString fileNamePart(const CString& path) { return path.Mid(path.ReverseFind(u'\\') + 1); }

// The default store of the host's profile, MAPI started first: the page may open before any
// run or login started it. Null when it cannot be had.
IMsgStore* defaultStore(COutlookCustomizer* outlook) {
  COutlookProfileManager* manager = outlook != nullptr ? outlook->getProfileManager() : nullptr;
  if (manager == nullptr) return nullptr;
  try {
    if (manager->initializeMapiServices(false, nullptr) != kMapiInitReady) return nullptr;
    return manager->openDefaultMessageStore();
  } catch (CMapiException* e) {
    writeLog(u"{OutlookPropertyPage}: MAPI is not initialized.");
    e->Delete();
    return nullptr;
  }
}

}  // namespace

BEGIN_MESSAGE_MAP(COutlookPropertyPage, CSnapinPropertyPage)
  ON_LBN_SELCHANGE(IDC_OUTLOOK_FOLDERS, OnFolderSelected)
  ON_CONTROL(CLBN_CHKCHANGE, IDC_OUTLOOK_FOLDERS, OnFolderCheck)
  ON_BN_CLICKED(IDC_OUTLOOK_SUBFOLDERS, OnSubfolders)
  ON_BN_CLICKED(IDC_OUTLOOK_SIZE_LIMIT, OnSizeLimit)
  ON_EN_CHANGE(IDC_OUTLOOK_DAYS, OnDaysChanged)
  ON_EN_CHANGE(IDC_OUTLOOK_SIZE, OnSizeChanged)
  ON_BN_CLICKED(IDC_OUTLOOK_RECENT_ONLY, OnRecentOnly)
  ON_BN_CLICKED(IDC_OUTLOOK_ALL_ITEMS, OnAllItems)
  ON_BN_CLICKED(IDC_OUTLOOK_COMPUTER_WINS, OnComputerWins)
  ON_BN_CLICKED(IDC_OUTLOOK_DEVICE_WINS, OnDeviceWins)
  ON_BN_CLICKED(IDC_OUTLOOK_KEEP_BOTH, OnKeepBoth)
  ON_BN_CLICKED(IDC_OUTLOOK_ADD_FOLDERS, OnAddFolders)
  ON_BN_CLICKED(IDC_OUTLOOK_REMOVE, OnRemove)
  ON_BN_CLICKED(IDC_OUTLOOK_ADD_INBOX, OnAddInbox)
  ON_BN_CLICKED(IDC_OUTLOOK_ADD_DRAFTS, OnAddDrafts)
  ON_BN_CLICKED(IDC_OUTLOOK_ADD_SENT_ITEMS, OnAddSentItems)
  ON_BN_CLICKED(IDC_OUTLOOK_ADD_CONTACTS, OnAddContacts)
  ON_BN_CLICKED(IDC_OUTLOOK_ADD_CALENDAR, OnAddCalendar)
  ON_BN_CLICKED(IDC_OUTLOOK_ADD_NOTES, OnAddNotes)
  ON_BN_CLICKED(IDC_OUTLOOK_ADD_TASKS, OnAddTasks)
END_MESSAGE_MAP()

COutlookPropertyPage::COutlookPropertyPage(COutlookCustomizer* snapin)
    : CSnapinPropertyPage(IDD_OUTLOOK_PAGE, snapin), m_outlook(snapin) {}

COutlookPropertyPage::~COutlookPropertyPage() = default;

void COutlookPropertyPage::DoDataExchange(CDataExchange* pDX) {
  CSnapinPropertyPage::DoDataExchange(pDX);
  DDX_Control(pDX, IDC_OUTLOOK_SELECTED_PATH, m_pathLabel);
  DDX_Control(pDX, IDC_OUTLOOK_FOLDERS, m_folders);
  DDX_Check(pDX, IDC_OUTLOOK_SUBFOLDERS, m_includeSubfolders);
  DDX_Text(pDX, IDC_OUTLOOK_DAYS, m_daysText);
  DDX_Radio(pDX, IDC_OUTLOOK_RECENT_ONLY, m_itemChoice);
  DDX_Text(pDX, IDC_OUTLOOK_SELECTED_PATH, m_shownPath);
  DDX_Check(pDX, IDC_OUTLOOK_SIZE_LIMIT, m_sizeLimitOn);
  DDX_Text(pDX, IDC_OUTLOOK_SIZE, m_sizeText);
  DDX_Radio(pDX, IDC_OUTLOOK_COMPUTER_WINS, m_conflictChoice);
}

BOOL COutlookPropertyPage::OnInitDialog() {
  CSnapinPropertyPage::OnInitDialog();
  for (const ButtonCaption& button : kButtonCaptions) SetDlgItemText(button.control, loadResString(button.text));
  SendDlgItemMessage(IDC_OUTLOOK_DAYS, EM_LIMITTEXT, kDigits, 0);
  SendDlgItemMessage(IDC_OUTLOOK_SIZE, EM_LIMITTEXT, kDigits, 0);
  for (std::size_t i = 0; i < std::size(kConflictRadios); ++i) {
    CWnd* radio = GetDlgItem(kConflictRadios[i].control);
    auto tip = std::make_unique<CToolTipCtrl>();
    if (radio == nullptr || !tip->Create(this)) continue;
    tip->Activate(TRUE);
    tip->AddTool(radio, loadResString(kConflictRadios[i].tip));
    m_tips[i] = std::move(tip);
  }
  if (m_outlook != nullptr) m_records = &m_outlook->folderSyncPrefs(getProfileDatabase().getThisComputerProfile());
  refreshCommon();
  m_initialised = true;
  return TRUE;
}

BOOL COutlookPropertyPage::OnSetActive() {
  if (!isSupportedOutlookVersion()) {
    showMessageById(IDS_OUTLOOK_UNSUPPORTED_VERSION, g_applicationName, g_applicationName);
    return FALSE;
  }
  if (m_outlook == nullptr || !m_outlook->isOutlookConfigured()) {
    showMessageById(IDS_OUTLOOK_NOT_CONFIGURED);
    return FALSE;
  }
  if (defaultStore(m_outlook) == nullptr) {
    showMessageById(IDS_OUTLOOK_NO_DEFAULT_STORE, g_applicationName);
    return FALSE;
  }
  return CSnapinPropertyPage::OnSetActive();
}

BOOL COutlookPropertyPage::PreTranslateMessage(MSG* pMsg) {
  if (pMsg != nullptr && pMsg->message >= WM_MOUSEFIRST && pMsg->message < kRelayEnd) {
    for (std::size_t i = 0; i < std::size(kConflictRadios); ++i) {
      CWnd* radio = GetDlgItem(kConflictRadios[i].control);
      if (m_tips[i] == nullptr || radio == nullptr || pMsg->hwnd != radio->m_hWnd) continue;
      ::SetWindowPos(m_tips[i]->m_hWnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
      m_tips[i]->RelayEvent(pMsg);
    }
  }
  return CSnapinPropertyPage::PreTranslateMessage(pMsg);
}

void COutlookPropertyPage::refreshCommon() {
  CSnapinPropertyPage::refreshCommon();
  if (!m_initialised || m_folders.m_hWnd == nullptr) return;
  m_folders.ResetContent();
  if (m_records != nullptr) {
    for (auto& record : *m_records) {
      if (!record) continue;
      const int row = addEntry(record.get());
      if (row >= 0) m_folders.SetCheck(row, record->synchronize ? BST_CHECKED : BST_UNCHECKED);
    }
  }
  if (m_folders.GetCount() > 0) m_folders.SetCurSel(0);
  m_showing = true;
  UpdateData(FALSE);
  m_showing = false;
  showRecord();
}

void COutlookPropertyPage::pullCommon() {
  CSnapinPropertyPage::pullCommon();
  if (m_initialised && m_hWnd != nullptr && !m_showing) UpdateData(TRUE);
}

int COutlookPropertyPage::addEntry(COutlookFolderSyncPref* record) {
  const CString text = convertToDisplayFolderPath(record->itemPath);
  if (text.IsEmpty() || record->folderId.IsEmpty()) return -1;
  const int row = m_folders.AddString(text);
  if (row < 0) return -1;
  m_folders.SetItemDataPtr(row, record);
  m_folders.SetCurSel(row);
  m_folders.SetCheck(row, BST_CHECKED);
  return row;
}

COutlookFolderSyncPref* COutlookPropertyPage::recordOfRow(int row) {
  if (row < 0 || row >= m_folders.GetCount() || m_records == nullptr) return nullptr;
  auto* record = static_cast<COutlookFolderSyncPref*>(m_folders.GetItemDataPtr(row));
  // Only a record that is still in the snap-in's list is handed out.
  for (auto& held : *m_records)
    if (held.get() == record) return record;
  return nullptr;
}

COutlookFolderSyncPref* COutlookPropertyPage::selectedRecord() { return recordOfRow(m_folders.GetCurSel()); }

COutlookFolderSyncPref* COutlookPropertyPage::editedRecord() {
  pullCommon();
  COutlookFolderSyncPref* record = selectedRecord();
  if (record == nullptr) writeLog(u"Failed to find OutlookSyncPref");
  return record;
}

UINT COutlookPropertyPage::recentLabelFor(const CString& itemPath) {
  // The kind of the whole path: a special folder's name is a top-level path of its own.
  const CString kind = containerClassForFolderKind(itemPath);
  if (kind == u"IPF.Appointment") return IDS_OUTLOOK_RECENT_APPOINTMENTS;
  if (kind == u"IPF.Contact") return IDS_OUTLOOK_RECENT_CONTACTS;
  if (kind == u"IPF.Task") return IDS_OUTLOOK_RECENT_TASKS;
  if (kind == u"IPF.StickyNote") return IDS_OUTLOOK_RECENT_NOTES;
  if (kind == u"IPF.Journal") return IDS_OUTLOOK_RECENT_JOURNAL;
  if (kind == u"IPF.Note" && fileNamePart(itemPath) == kSentItemsName) return IDS_OUTLOOK_RECENT_SENT;
  return IDS_OUTLOOK_RECENT_MESSAGES;
}

void COutlookPropertyPage::showRecord() {
  COutlookFolderSyncPref* record = selectedRecord();
  // Without a selection the controls keep what they show.
  if (record == nullptr) return;
  m_showing = true;
  m_shownPath = convertToDisplayFolderPath(record->itemPath);
  m_itemChoice = record->includeRecentItems ? 0 : 1;
  m_daysText.Format(u"%d", static_cast<int>(record->daysOld));
  if (CWnd* days = GetDlgItem(IDC_OUTLOOK_DAYS)) days->EnableWindow(record->includeRecentItems);
  m_sizeLimitOn = record->limitAttachmentSize ? TRUE : FALSE;
  if (CWnd* size = GetDlgItem(IDC_OUTLOOK_SIZE)) size->EnableWindow(record->limitAttachmentSize);
  if (record->maxAttachmentSizeKb == kNoSizeLimit) m_sizeText = kDefaultSize;
  else m_sizeText.Format(u"%lu", record->maxAttachmentSizeKb);
  if (CWnd* subfolders = GetDlgItem(IDC_OUTLOOK_SUBFOLDERS)) subfolders->EnableWindow(TRUE);
  m_includeSubfolders = record->recursive ? TRUE : FALSE;
  SetDlgItemText(IDC_OUTLOOK_RECENT_ONLY, loadResString(recentLabelFor(record->itemPath)));
  m_conflictChoice = -1;
  for (std::size_t i = 0; i < std::size(kConflictRadios); ++i)
    if (kConflictRadios[i].resolution == record->conflictResolution) m_conflictChoice = static_cast<int>(i);
  UpdateData(FALSE);
  m_showing = false;
  m_pathLabel.Invalidate();
}

void COutlookPropertyPage::OnFolderSelected() { showRecord(); }

void COutlookPropertyPage::OnFolderCheck() {
  const int row = m_folders.GetCurSel();
  pullCommon();
  COutlookFolderSyncPref* record = recordOfRow(row);
  if (record == nullptr) {
    writeLog(u"Failed to find OutlookSyncPref");
    return;
  }
  record->synchronize = m_folders.GetCheck(row) == BST_CHECKED;
  setModified();
}

void COutlookPropertyPage::OnSubfolders() {
  if (COutlookFolderSyncPref* record = editedRecord()) {
    record->recursive = m_includeSubfolders != FALSE;
    setModified();
  }
}

void COutlookPropertyPage::OnSizeLimit() {
  if (COutlookFolderSyncPref* record = editedRecord()) {
    record->maxAttachmentSizeKb = numberOf(m_sizeText);
    record->limitAttachmentSize = m_sizeLimitOn != FALSE;
    if (CWnd* size = GetDlgItem(IDC_OUTLOOK_SIZE)) size->EnableWindow(record->limitAttachmentSize);
    setModified();
  }
}

void COutlookPropertyPage::OnDaysChanged() {
  if (m_showing) return;
  if (COutlookFolderSyncPref* record = editedRecord()) {
    record->daysOld = numberOf(m_daysText);
    setModified();
  }
}

void COutlookPropertyPage::OnSizeChanged() {
  if (m_showing) return;
  if (COutlookFolderSyncPref* record = editedRecord()) {
    record->maxAttachmentSizeKb = numberOf(m_sizeText);
    setModified();
  }
}

void COutlookPropertyPage::OnRecentOnly() {
  if (COutlookFolderSyncPref* record = editedRecord()) {
    record->includeRecentItems = true;
    if (CWnd* days = GetDlgItem(IDC_OUTLOOK_DAYS)) days->EnableWindow(TRUE);
    setModified();
  }
}

void COutlookPropertyPage::OnAllItems() {
  if (COutlookFolderSyncPref* record = editedRecord()) {
    record->includeRecentItems = false;
    if (CWnd* days = GetDlgItem(IDC_OUTLOOK_DAYS)) days->EnableWindow(FALSE);
    setModified();
  }
}

void COutlookPropertyPage::setConflict(DWORD resolution) {
  if (COutlookFolderSyncPref* record = editedRecord()) {
    record->conflictResolution = resolution;
    setModified();
  }
}

void COutlookPropertyPage::OnComputerWins() { setConflict(COutlookFolderSyncPref::kSourceWins); }
void COutlookPropertyPage::OnDeviceWins() { setConflict(COutlookFolderSyncPref::kTargetWins); }
void COutlookPropertyPage::OnKeepBoth() { setConflict(COutlookFolderSyncPref::kKeepBoth); }

bool COutlookPropertyPage::addFolder(const CString& folderId, const CString& itemPath) {
  if (m_records == nullptr) return false;
  std::vector<CString> listed;
  for (const auto& record : *m_records) {
    if (!record) continue;
    if (record->folderId.CompareNoCase(folderId) == 0) return false;
    listed.push_back(record->itemPath);
  }
  auto record = std::make_unique<COutlookFolderSyncPref>(itemPath, folderId);
  if (overlapsAnyFolderPath(itemPath, listed)) showMessageById(IDS_FILES_OVERLAPS);
  const int row = addEntry(record.get());
  // A folder without an id or a display path is not listed, and its record goes.
  if (row < 0) return false;
  const auto at = std::min<std::size_t>(static_cast<std::size_t>(row), m_records->size());
  m_records->insert(m_records->begin() + static_cast<std::ptrdiff_t>(at), std::move(record));
  showRecord();
  setModified();
  return true;
}

void COutlookPropertyPage::OnAddFolders() {
  if (m_profile == nullptr || m_profile != getProfileDatabase().getThisComputerProfile()) {
    showMessageById(IDS_FILES_OTHER_COMPUTER);
    return;
  }
  IMsgStore* store = defaultStore(m_outlook);
  if (store == nullptr) return;
  CSelectMapiFolderDialog dialog(store, this);
  if (dialog.DoModal() == IDOK) addFolder(dialog.getFolderId(), dialog.getFolderPath());
}

void COutlookPropertyPage::addSpecialFolder(ULONG tag, UINT nameId) {
  CCustomizerDoc* doc = optionsHost().document();
  auto* outlook = doc != nullptr ? dynamic_cast<COutlookCustomizer*>(doc->findCustomizer(kOutlookCustomizerName)) : nullptr;
  IMsgStore* store = defaultStore(outlook);
  CMapiUtil* util = getMapiUtil();
  if (util == nullptr || store == nullptr) return;
  CString id;
  if (tag == 0) {
    // The Inbox's id is taken as it comes: without one the folder is not listed.
    util->getReceiveFolderEntryId(store, id, false);
  } else if (FAILED(util->getSpecialFolderEntryId(store, tag, id))) {
    return;
  }
  if (!addFolder(id, LoadResStringOutlook(nameId)) || tag != PR_IPM_APPOINTMENT_ENTRYID) return;
  // A calendar changed on both sides is taken from the device from the start.
  COutlookFolderSyncPref* record = selectedRecord();
  if (record == nullptr) return;
  record->conflictResolution = COutlookFolderSyncPref::kTargetWins;
  showRecord();
  setModified();
}

void COutlookPropertyPage::OnAddInbox() { addSpecialFolder(0, IDS_OUTLOOK_INBOX); }
void COutlookPropertyPage::OnAddDrafts() { addSpecialFolder(PR_IPM_DRAFTS_ENTRYID, IDS_OUTLOOK_DRAFTS); }
void COutlookPropertyPage::OnAddSentItems() { addSpecialFolder(PR_IPM_SENTMAIL_ENTRYID, IDS_OUTLOOK_SENT_ITEMS); }
void COutlookPropertyPage::OnAddContacts() { addSpecialFolder(PR_IPM_CONTACT_ENTRYID, IDS_OUTLOOK_CONTACTS); }
void COutlookPropertyPage::OnAddCalendar() { addSpecialFolder(PR_IPM_APPOINTMENT_ENTRYID, IDS_OUTLOOK_CALENDAR); }
void COutlookPropertyPage::OnAddNotes() { addSpecialFolder(PR_IPM_NOTE_ENTRYID, IDS_OUTLOOK_NOTES); }
void COutlookPropertyPage::OnAddTasks() { addSpecialFolder(PR_IPM_TASK_ENTRYID, IDS_OUTLOOK_TASKS); }

void COutlookPropertyPage::OnRemove() {
  const int row = m_folders.GetCurSel();
  if (row == LB_ERR) return;
  if (COutlookFolderSyncPref* record = recordOfRow(row)) {
    const CString path = record->itemPath;
    if (m_outlook == nullptr || !m_outlook->removeFolderSyncPref(m_profile, record))
      showMessageById(IDS_OUTLOOK_NOT_REMOVED, path);
  }
  m_folders.DeleteString(static_cast<UINT>(row));
  const int count = m_folders.GetCount();
  if (count > 0) m_folders.SetCurSel(row < count ? row : count - 1);
  showRecord();
  setModified();
}

// The synchronize dialog: what a run would move, the device meter, the narrowing choices, OK.
#include "ui/synchronize_dialog.h"

#include <algorithm>
#include <vector>

#include "app/customizer_doc.h"
#include "app/customizer_exception.h"
#include "app/file_util.h"
#include "app/folder_lookup.h"
#include "app/log.h"
#include "app/messages.h"
#include "app/preference_file.h"
#include "app/profile_database.h"
#include "app/program_texts.h"
#include "app/registry.h"
#include "app/system_profile.h"
#include "app/view_surfaces.h"
#include "app/windows_helpers.h"
#include "app/xmessagebox.h"
#include "lang/ids.h"
#include "outlook/item_sync_op.h"
#include "outlook/outlook_customizer.h"
#include "outlook/outlook_folder_sync_pref.h"
#include "outlook/outlook_names.h"
#include "outlook/outlook_item.h"
#include "platform/win32/win32.h"
#include "snapins/file_customizer.h"
#include "snapins/file_customizer_prefs.h"
#include "snapins/file_synchronizer.h"
#include "snapins/space_man.h"
#include "ui/dialog_support.h"
#include "ui/login_host.h"
#include "ui/nickname_dialog.h"
#include "ui/progress_dialog.h"

namespace {

constexpr const char16_t* kLogMeterNameFailed = u"{SynchronizeDialog}: Failed to insert device meter application name.";
constexpr const char16_t* kKilobytesSynchronizedValue = u"kilobytesSynchronized";
constexpr UINT_PTR kStartTimerId = 1;
constexpr UINT kStartTimerPeriod = 200;
constexpr int kScrollEvery = 50;
constexpr int kManyCopiesToComputer = 100;
// The file snap-in's day count that sets no day limit.
constexpr DWORD kNoDayLimit = 0xFFFFFFFF;
constexpr const char16_t* kFilesName = u"Files";
constexpr const char16_t* kOutlookName = u"Outlook";
constexpr const char16_t* kOutlookSignatureName = u"OutlookSignature";
constexpr const char16_t* kNicknameSetPref = u"nicknameSet";
// The browser's own settings, carried with the Favorites choice.
constexpr const char16_t* kBrowserCustomizers[] = {u"Cookies", u"History Cache", u"Home Page"};

// The leading decimal digits of a day field (none: 0); `***` is no day limit.
DWORD dayLimitOf(const CString& text) {
  if (text == kNoDayLimitText) return kNoDayLimit;
  DWORD days = 0;
  for (int i = 0; i < text.GetLength() && text[i] >= u'0' && text[i] <= u'9'; ++i)
    days = days * 10 + static_cast<DWORD>(text[i] - u'0');
  return days;
}

struct SortContext {
  std::vector<CString> texts;  // by item data
};

int CALLBACK compareRows(LPARAM first, LPARAM second, LPARAM context) {
  const auto* sort = reinterpret_cast<const SortContext*>(context);
  const auto at = [&](LPARAM data) -> const CString& {
    static const CString kEmpty;
    return data >= 0 && static_cast<std::size_t>(data) < sort->texts.size() ? sort->texts[data] : kEmpty;
  };
  return at(first).CompareNoCase(at(second).GetString());
}

}  // namespace

CSynchronizeDialog2* CSynchronizeDialog2::s_active = nullptr;
int CSynchronizeDialog2::s_opMessages = 0;

BEGIN_MESSAGE_MAP(CSynchronizeDialog2, CDialog)
  ON_WM_CREATE()
  ON_WM_CLOSE()
  ON_WM_DESTROY()
  ON_WM_CTLCOLOR()
  ON_WM_QUERYENDSESSION()
  ON_WM_ENDSESSION()
  ON_BN_CLICKED(IDC_SYNC_MORE_OPTIONS, OnMoreOptions)
  ON_BN_CLICKED(IDC_SYNC_DESKTOP, OnDesktopClicked)
  ON_BN_CLICKED(IDC_SYNC_INBOX, OnInboxClicked)
  ON_BN_CLICKED(IDC_SYNC_IE_SETTINGS, OnIeSettingsClicked)
  ON_EN_CHANGE(IDC_SYNC_DESKTOP_DAYS, OnDaysChanged)
  ON_EN_CHANGE(IDC_SYNC_INBOX_DAYS, OnDaysChanged)
  ON_NOTIFY(LVN_COLUMNCLICK, IDC_SYNC_LIST, OnColumnClick)
  ON_MESSAGE(WM_SYNC_CLOSE_BEFORE_EXIT, OnCloseBeforeExit)
END_MESSAGE_MAP()

CSynchronizeDialog2::CSynchronizeDialog2(CView* parent)
    : CDialog(IDD_SYNCHRONIZE, parent), m_meter(this), m_view(parent) {
  m_document = parent ? dynamic_cast<CCustomizerDoc*>(parent->GetDocument()) : nullptr;
  if (!m_document) m_document = loginHost().document();
}

COutlookCustomizer* CSynchronizeDialog2::outlook() const {
  return m_document ? dynamic_cast<COutlookCustomizer*>(m_document->findCustomizer(CString(kOutlookName))) : nullptr;
}

CFileCustomizer* CSynchronizeDialog2::files() const {
  return m_document ? dynamic_cast<CFileCustomizer*>(m_document->findCustomizer(CString(kFilesName))) : nullptr;
}

CSynchronizeDialog2::~CSynchronizeDialog2() {
  unregisterListener();
  if (s_active == this) s_active = nullptr;
}

CSpaceMan* CSynchronizeDialog2::spaceMan() const { return m_document ? &m_document->getSpaceMan() : nullptr; }

bool CSynchronizeDialog2::calculating() const {
  CSpaceMan* coordinator = spaceMan();
  if (!coordinator) return false;
  if (coordinator->isRunning()) return true;
  HWND window = coordinator->windowHandle();
  MSG waiting;
  return window && PeekMessageW(&waiting, window, WM_SPACEMAN_REQUEST, WM_SPACEMAN_REQUEST, PM_NOREMOVE);
}

bool CSynchronizeDialog2::outlookSupported() const {
  COutlookCustomizer* mail = outlook();
  return mail && mail->isSupportedOutlookVersion();
}

bool CSynchronizeDialog2::nicknameChosen() {
  CSystemProfile* self = getProfileDatabase().getThisComputerProfile();
  if (!self) return true;
  bool chosen = false;
  try {
    openThisComputerPrefs().getBool(kNicknameSetPref, chosen);
  } catch (CCustomizerException* e) {
    writeLog(u"{SynchronizeDialog}: %s", e->getMessage());
    e->Delete();
    return true;
  }
  if (chosen) return true;
  CNicknameDialog nickname(self->getKey(), self->m_nickname, this);
  m_nickname = &nickname;
  const bool named = nickname.DoModal() == IDOK;
  m_nickname = nullptr;
  return named && !m_endedByApplication;
}

void CSynchronizeDialog2::endByApplication() {
  m_endedByApplication = true;
  // The nickname question runs its own loop inside this dialog's start: it goes first.
  if (m_nickname && m_nickname->m_hWnd) m_nickname->EndDialog(IDCANCEL);
  if (m_hWnd) EndDialog(kDialogEndedByApplication);
}

void CSynchronizeDialog2::registerListener() {
  if (!m_listening) m_listening = loginHost().addListener(this);
}

void CSynchronizeDialog2::unregisterListener() {
  if (m_listening) loginHost().removeListener(this);
  m_listening = false;
}

INT_PTR CSynchronizeDialog2::DoModal() {
  if (s_active) {
    if (s_active->m_hWnd) {
      s_active->SetFocus();
      s_active->BringWindowToTop();
    }
    return IDCANCEL;
  }
  s_active = this;
  INT_PTR result = IDCANCEL;
  try {
    result = CDialog::DoModal();
  } catch (CException* e) {
    e->Delete();
    showMessageById(IDS_SYNC_DIALOG_FAILED);
    result = IDCANCEL;
  } catch (...) {
    showMessageById(IDS_SYNC_DIALOG_FAILED);
    result = IDCANCEL;
  }
  s_active = nullptr;
  return result;
}

void CSynchronizeDialog2::DoDataExchange(CDataExchange* pDX) {
  CDialog::DoDataExchange(pDX);
  DDX_Control(pDX, IDC_SYNC_LIST, m_list);
  DDX_Check(pDX, IDC_SYNC_IE_SETTINGS, m_ieSettings);
  DDX_Text(pDX, IDC_SYNC_SECOND_TEXT, m_secondText);
  DDX_Check(pDX, IDC_SYNC_DESKTOP, m_desktop);
  DDX_Check(pDX, IDC_SYNC_INBOX, m_inbox);
  DDX_Text(pDX, IDC_SYNC_INBOX_DAYS, m_inboxDays);
  DDV_MaxChars(pDX, m_inboxDays, 4);
  DDX_Text(pDX, IDC_SYNC_DESKTOP_DAYS, m_desktopDays);
  DDV_MaxChars(pDX, m_desktopDays, 4);
}

int CSynchronizeDialog2::OnCreate(LPCREATESTRUCT create) {
  if (CDialog::OnCreate(create) == -1) return -1;
  ModifyStyle(0, WS_THICKFRAME);
  return 0;
}

BOOL CSynchronizeDialog2::OnInitDialog() {
  CDialog::OnInitDialog();
  if (CWnd* group = GetDlgItem(IDC_SYNC_METER_GROUP);
      !group || !replaceWindowText(group->m_hWnd, CString(u"%s"), g_applicationName))
    writeLog(kLogMeterNameFailed);
  SetWindowLongPtrW(m_hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));

  CRegistry local(CString(kLocalPrefsKey), true, true);
  bool interrupted = false;
  if (local.getBool(kSyncInProgressValue, interrupted) && interrupted)
    showMessageById(IDS_SYNC_INTERRUPTED, g_applicationName);
  bool spaceKnown = false;
  if (isDiskSpaceLow(CFolderLookup::getDevicePath(), 10, spaceKnown) && spaceKnown)
    showMessageById(IDS_SYNC_DEVICE_LOW, deviceDisplayName(), deviceDisplayName());

  registerListener();
  SetDlgItemText(IDC_SYNC_STATUS, loadResString(IDS_SYNC_INITIALISING));
  if (m_meter.Create(IDD_DEVICE_USAGE, this)) {
    if (CWnd* place = GetDlgItem(IDC_SYNC_METER_PLACE)) {
      CRect r;
      place->GetWindowRect(&r);
      ScreenToClient(&r);
      m_meter.SetWindowPos(nullptr, r.left, r.top, r.Width(), r.Height(), SWP_NOZORDER);
    }
    m_meter.ShowWindow(SW_SHOW);
    m_meter.ShowWindow(SW_HIDE);
  }

  m_list.InsertColumn(0, loadResString(IDS_SYNC_COLUMN_NAME), LVCFMT_LEFT, 125);
  m_list.InsertColumn(1, loadResString(IDS_SYNC_COLUMN_FOLDER), LVCFMT_LEFT, 200);
  m_list.InsertColumn(2, loadResString(IDS_SYNC_COLUMN_SIZE), LVCFMT_LEFT, 100);
  m_list.SetExtendedStyle(LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT);
  setDialogBigIcon(*this);
  replaceUiPlaceholders(m_hWnd);
  // Without an options dialog in this program there is nothing more to choose.
  if (!viewSurfaces().hasOptionsDialog()) GetDlgItem(IDC_SYNC_MORE_OPTIONS)->EnableWindow(FALSE);

  // A computer synchronizes under a name the login window can show: it is asked for once.
  if (!nicknameChosen()) {
    if (!m_endedByApplication) CDialog::OnCancel();
    unregisterListener();
    return TRUE;
  }

  updateDisplay();
  if (!outlookSupported()) {
    GetDlgItem(IDC_SYNC_INBOX_DAYS)->EnableWindow(FALSE);
    CheckDlgButton(IDC_SYNC_INBOX, BST_UNCHECKED);
    m_inbox = FALSE;
    GetDlgItem(IDC_SYNC_INBOX)->EnableWindow(FALSE);
    GetDlgItem(IDC_SYNC_INBOX_DAYS_LABEL)->EnableWindow(FALSE);
  }
  if (!files()) {
    GetDlgItem(IDC_SYNC_DESKTOP_DAYS)->EnableWindow(FALSE);
    GetDlgItem(IDC_SYNC_DESKTOP)->EnableWindow(FALSE);
  }
  m_initialised = true;
  startCalculation();
  return TRUE;
}

void CSynchronizeDialog2::updateDisplay() {
  // Filling the day fields notifies their changes: those are not the user's.
  m_updatingDisplay = true;
  CSystemProfile* self = getProfileDatabase().getThisComputerProfile();
  CFileCustomizer* fileSnapin = files();
  if (fileSnapin && self) {
    const CString desktopWord = loadResString(IDS_FOLDER_WORD_DESKTOP);
    const CString favoritesWord = loadResString(IDS_FOLDER_WORD_FAVORITES);
    const CFileSyncPref* desktop = nullptr;
    const CFileSyncPref* favorites = nullptr;
    for (const auto& record : fileSnapin->fileSyncPrefs(self)) {
      if (!desktop && record->path.CompareNoCase(desktopWord.GetString()) == 0) desktop = record.get();
      if (!favorites && record->path.CompareNoCase(favoritesWord.GetString()) == 0) favorites = record.get();
    }
    if (desktop) {
      m_desktop = desktop->synchronize ? TRUE : FALSE;
      m_desktopDays = desktop->includeRecentFiles ? formatMessageText(u"%d", static_cast<int>(desktop->daysOld))
                                                  : CString(kNoDayLimitText);
    } else {
      m_desktop = FALSE;
      m_desktopDays = kNoDayLimitText;
    }
    m_ieSettings = favorites ? TRUE : FALSE;
  }
  COutlookCustomizer* mail = outlook();
  if (mail && self && outlookSupported()) {
    const CString inboxName = LoadResStringOutlook(IDS_OUTLOOK_INBOX);
    const COutlookFolderSyncPref* inbox = nullptr;
    for (const auto& record : mail->folderSyncPrefs(self)) {
      if (record->itemPath == inboxName) {
        inbox = record.get();
        break;
      }
    }
    if (inbox) {
      m_inbox = inbox->synchronize ? TRUE : FALSE;
      m_inboxDays = inbox->includeRecentItems ? formatMessageText(u"%d", static_cast<int>(inbox->daysOld))
                                              : CString(kNoDayLimitText);
    } else {
      m_inbox = FALSE;
      m_inboxDays = kNoDayLimitText;
    }
  } else {
    m_inbox = FALSE;
    m_inboxDays.Empty();
  }
  const bool starred = m_desktopDays == kNoDayLimitText || m_inboxDays == kNoDayLimitText;
  if (CWnd* footnote = GetDlgItem(IDC_SYNC_FOOTNOTE)) footnote->ShowWindow(starred ? SW_SHOW : SW_HIDE);
  UpdateData(FALSE);
  m_updatingDisplay = false;
  enableOptionControls();
}

void CSynchronizeDialog2::enableOptionControls() {
  GetDlgItem(IDC_SYNC_DESKTOP_DAYS)->EnableWindow(files() && IsDlgButtonChecked(IDC_SYNC_DESKTOP) == BST_CHECKED);
  if (!outlookSupported()) {
    CheckDlgButton(IDC_SYNC_INBOX, BST_UNCHECKED);
    GetDlgItem(IDC_SYNC_INBOX)->EnableWindow(FALSE);
    GetDlgItem(IDC_SYNC_INBOX_DAYS)->EnableWindow(FALSE);
    return;
  }
  GetDlgItem(IDC_SYNC_INBOX_DAYS)->EnableWindow(IsDlgButtonChecked(IDC_SYNC_INBOX) == BST_CHECKED);
}

void CSynchronizeDialog2::applySettings() {
  if (m_hWnd) UpdateData(TRUE);
  CSystemProfile* self = getProfileDatabase().getThisComputerProfile();
  if (!self || !m_document) return;
  if (CFileCustomizer* fileSnapin = files()) {
    fileSnapin->setDesktopSyncDays(self, m_desktop != FALSE, dayLimitOf(m_desktopDays));
    fileSnapin->setFavoritesSync(self, m_ieSettings != FALSE);
    for (const char16_t* name : kBrowserCustomizers) {
      if (CCustomizer* browser = m_document->findCustomizer(CString(name))) {
        browser->setSynchronized(self, m_ieSettings != FALSE);
        browser->savePrefs(self);
      }
    }
    if (!fileSnapin->savePrefs(self)) showMessageById(IDS_SYNC_FILE_PREFS_NOT_SAVED);
  }
  const bool inbox = m_inbox != FALSE && outlookSupported();
  if (COutlookCustomizer* mail = outlook()) {
    // `***` is stored as no day window (as for the Desktop), not as the flag alone: the record
    // would otherwise keep the window the field no longer shows. An Outlook the dialog cannot
    // narrow only has its Inbox turned off.
    if (outlookSupported()) {
      mail->setInboxSyncDays(self, inbox, dayLimitOf(m_inboxDays));
    } else {
      mail->enableInboxSync(self, false);
    }
    if (!mail->savePrefs(self)) showMessageById(IDS_SYNC_OUTLOOK_PREFS_NOT_SAVED);
  }
  // The signature snap-in follows the Inbox choice.
  if (CCustomizer* signature = m_document->findCustomizer(CString(kOutlookSignatureName))) {
    signature->setSynchronized(self, inbox);
    signature->savePrefs(self);
  }
}

void CSynchronizeDialog2::killStartTimer() {
  if (m_timer && m_hWnd) KillTimer(kStartTimerId);
  m_timer = 0;
}

void CSynchronizeDialog2::startCalculation() {
  killStartTimer();
  m_startRequested = false;
  if (CWnd* waiting = GetDlgItem(IDC_SYNC_WAITING)) waiting->ShowWindow(SW_HIDE);
  m_plannedTotal = 0;
  m_list.DeleteAllItems();
  if (CSpaceMan* coordinator = spaceMan())
    coordinator->requestCalculation(kSyncBothWays, getProfileDatabase().getThisComputerProfile(), nullptr);
}

void CSynchronizeDialog2::OnDesktopClicked() {
  if (!files()) return;
  UpdateData(TRUE);
  enableOptionControls();
  applySettings();
  startCalculation();
}

void CSynchronizeDialog2::OnInboxClicked() {
  if (!outlook()) return;
  UpdateData(TRUE);
  enableOptionControls();
  applySettings();
  startCalculation();
}

void CSynchronizeDialog2::OnIeSettingsClicked() {
  applySettings();
  startCalculation();
}

void CSynchronizeDialog2::OnDaysChanged() {
  if (!m_initialised || m_updatingDisplay) return;
  applySettings();
  startCalculation();
}

void CSynchronizeDialog2::deferCommand(UINT command, LPARAM control) {
  CSpaceMan* coordinator = spaceMan();
  if (coordinator && !coordinator->hasPendingRequest() &&
      coordinator->setPendingRequest(m_hWnd, WM_COMMAND, command, control))
    return;
  m_deferredCommand = command;
}

void CSynchronizeDialog2::OnMoreOptions() {
  CSpaceMan* coordinator = spaceMan();
  if (coordinator && coordinator->isRunning()) {
    m_plannedTotal = 0;
    CWnd* button = GetDlgItem(IDC_SYNC_MORE_OPTIONS);
    deferCommand(IDC_SYNC_MORE_OPTIONS, reinterpret_cast<LPARAM>(button ? button->m_hWnd : nullptr));
    return;
  }
  if (!viewSurfaces().hasOptionsDialog()) return;
  applySettings();
  unregisterListener();
  m_meter.ShowWindow(SW_HIDE);
  viewSurfaces().runOptionsDialog(m_view);
  if (s_active != this || !m_hWnd) return;
  m_meter.ShowWindow(SW_SHOW);
  m_meter.RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
  RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
  registerListener();
  updateDisplay();
  startCalculation();
}

void CSynchronizeDialog2::onMessage(CAppMessage* message) {
  if (!m_hWnd) return;
  if (message->value == 1 && !dynamic_cast<CProgress*>(message) && !dynamic_cast<CSyncStatus*>(message)) {
    endByApplication();
    return;
  }
  CSyncStatusListener::onMessage(message);
  CProgressListener::onMessage(message);
}

void CSynchronizeDialog2::onProgress(CProgress*) {}

void CSynchronizeDialog2::onSyncStatus(CSyncStatus* status) {
  if (!m_hWnd) return;
  switch (status->code) {
    case CSyncStatus::kCalculationBegins:
      m_list.DeleteAllItems();
      m_favoritesTotal = m_cookiesTotal = m_historyTotal = 0;
      m_rowCount = 0;
      SetDlgItemText(IDC_SYNC_METER_GROUP, formatMessageText(loadResString(IDS_SYNC_METER_SEARCHING), g_applicationName));
      if (m_meter.m_hWnd) m_meter.ShowWindow(SW_SHOW);
      break;
    case CSyncStatus::kCalculationEnded: {
      if (m_list.GetItemCount() > 0) m_list.EnsureVisible(0, FALSE);
      m_meter.setSearching(false);
      SetDlgItemText(IDC_SYNC_METER_GROUP, formatMessageText(loadResString(IDS_SYNC_METER_SEARCHED), g_applicationName));
      CSpaceMan* coordinator = spaceMan();
      // The end of the run: a click kept while another request was pending goes out again.
      if (m_deferredCommand && coordinator && !coordinator->isRunning()) {
        PostMessage(WM_COMMAND, m_deferredCommand);
        m_deferredCommand = 0;
      }
      break;
    }
    case CSyncStatus::kOpQueued:
      if (++s_opMessages >= kScrollEvery) {
        s_opMessages = 0;
        if (m_list.GetItemCount() > 0) m_list.EnsureVisible(m_list.GetItemCount() - 1, FALSE);
      }
      addOpRow(status->op);
      break;
    default:
      break;
  }
}

void CSynchronizeDialog2::addOpRow(CSyncOp* op) {
  if (const auto* file = dynamic_cast<const CFileSyncOp*>(op)) {
    addFileOpRow(*file);
  } else if (const auto* item = dynamic_cast<const CItemSyncOp*>(op)) {
    addItemOpRow(*item);
  }
}

void CSynchronizeDialog2::addItemOpRow(const CItemSyncOp& op) {
  const auto sizeOf = [](const COutlookItem* item) { return item ? static_cast<LONGLONG>(item->size) : LONGLONG{0}; };
  const CString folder = itemFolderText(op.b ? op.b : op.a);
  const CString textA = itemDisplayText(op.a);
  const CString textB = itemDisplayText(op.b);
  switch (op.getKind()) {
    case kItemOpSourceToTarget:
      appendRow(textA, folder, formatFileSize(sizeOf(op.a)));
      m_plannedTotal += sizeOf(op.a);
      break;
    case kItemOpTargetToSource:
      appendRow(CString(u"+ ") + textB, folder, formatFileSize(sizeOf(op.b)));
      break;
    case kItemOpDeleteTarget:
      appendRow(CString(u"x ") + textB, folder, formatFileSize(sizeOf(op.b)));
      m_plannedTotal -= sizeOf(op.b);
      break;
    case kItemOpConflict:
      appendRow(CString(u"** ") + textA, folder, formatFileSize(sizeOf(op.a)));
      m_plannedTotal += sizeOf(op.a);
      break;
    case kItemOpTargetMoved:
      appendRow(CString(u"-> ") + textB, folder, formatFileSize(sizeOf(op.a)));
      break;
    case kItemOpSourceMoved:
      appendRow(CString(u"<- ") + textA, folder, formatFileSize(sizeOf(op.b)));
      break;
    default:
      break;
  }
}

void CSynchronizeDialog2::appendRow(const CString& name, const CString& folder, const CString& size) {
  const int row = m_list.InsertItem(m_rowCount, name);
  if (row < 0) return;
  m_list.SetItemText(row, 1, folder);
  m_list.SetItemText(row, 2, size);
  m_list.SetItemData(row, static_cast<DWORD_PTR>(row));
  ++m_rowCount;
}

bool CSynchronizeDialog2::addToFolderRow(const CFileSyncOp& op) {
  struct Group {
    CString path;
    CString name;
    LONGLONG* total;
  };
  const Group groups[] = {
      {CFolderLookup::getFavoritesPath(), CFolderLookup::getFavoritesName(), &m_favoritesTotal},
      {CFolderLookup::getCookiesPath(), CFolderLookup::getCookiesName(), &m_cookiesTotal},
      {CFolderLookup::getHistoryPath(), CFolderLookup::getHistoryName(), &m_historyTotal},
  };
  for (const Group& group : groups) {
    if (group.path.IsEmpty() || !startsWithNoCase(op.pathA, group.path)) continue;
    *group.total += op.byteDelta;
    m_plannedTotal += op.byteDelta;
    LVFINDINFO find{};
    find.flags = LVFI_STRING;
    find.psz = group.name.GetString();
    int row = m_list.FindItem(&find, -1);
    if (row < 0) {
      appendRow(group.name, CString(), formatFileSize(*group.total));
    } else {
      m_list.SetItemText(row, 2, formatFileSize(*group.total));
    }
    return true;
  }
  return false;
}

void CSynchronizeDialog2::addFileOpRow(const CFileSyncOp& op) {
  if (addToFolderRow(op)) return;
  const CString folderA = hostPathToProfilePath(getParentFolder(op.pathA), true);
  switch (op.kind) {
    case kFileOpHostToDrive:
      appendRow(fileNameOf(op.pathA), folderA, formatFileSize(static_cast<LONGLONG>(getFileSize(op.pathA, true))));
      m_plannedTotal += op.byteDelta;
      break;
    case kFileOpDriveToHost:
      appendRow(CString(u"+ ") + fileNameOf(op.pathA), folderA,
                formatFileSize(static_cast<LONGLONG>(getFileSize(op.pathB, true))));
      break;
    case kFileOpDeleteOnDrive:
      appendRow(CString(u"x ") + fileNameOf(op.pathB), getParentFolder(op.pathB),
                formatFileSize(static_cast<LONGLONG>(getFileSize(op.pathB, true))));
      m_plannedTotal += op.byteDelta;
      break;
    case kFileOpConflict:
      appendRow(CString(u"** ") + fileNameOf(op.pathA), folderA,
                formatFileSize(static_cast<LONGLONG>(getFileSize(op.pathA, true))));
      m_plannedTotal += op.byteDelta;
      break;
    default:
      break;
  }
}

void CSynchronizeDialog2::OnColumnClick(NMHDR* header, LRESULT* result) {
  *result = 0;
  const auto* click = reinterpret_cast<const NMLISTVIEW*>(header);
  if (click->iSubItem != 0 && click->iSubItem != 1) return;
  SortContext context;
  const int count = m_list.GetItemCount();
  context.texts.resize(static_cast<std::size_t>(count));
  for (int row = 0; row < count; ++row) {
    const DWORD_PTR data = m_list.GetItemData(row);
    if (data < static_cast<DWORD_PTR>(count)) context.texts[data] = m_list.GetItemText(row, click->iSubItem);
  }
  m_list.SortItems(compareRows, reinterpret_cast<DWORD_PTR>(&context));
  for (int row = 0; row < count; ++row) m_list.SetItemData(row, static_cast<DWORD_PTR>(row));
}

void CSynchronizeDialog2::OnOK() {
  if (m_startRequested) {
    showMessageById(IDS_SYNC_WAIT_FOR_SEARCH);
    return;
  }
  m_startRequested = true;
  if (!calculating()) {
    onPreSyncCalculationFinished();
    return;
  }
  m_timer = SetTimer(kStartTimerId, kStartTimerPeriod, timerProc);
}

void CALLBACK CSynchronizeDialog2::timerProc(HWND window, UINT, UINT_PTR, DWORD) {
  auto* dialog = reinterpret_cast<CSynchronizeDialog2*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (dialog) dialog->onStartTimer();
}

void CSynchronizeDialog2::onStartTimer() {
  if (calculating()) {
    static const char16_t* const kDots[] = {u"", u".", u"..", u"..."};
    if (CWnd* waiting = GetDlgItem(IDC_SYNC_WAITING)) waiting->ShowWindow(SW_SHOW);
    if (m_dots > 3) m_dots = 0;
    SetDlgItemText(IDC_SYNC_WAITING, formatMessageText(loadResString(IDS_SYNC_WAITING), kDots[m_dots]));
    ++m_dots;
    return;
  }
  onPreSyncCalculationFinished();
}

bool CSynchronizeDialog2::checkSpace() {
  if (m_plannedTotal <= 0) return true;
  const CString device = CFolderLookup::getDevicePath();
  bool freeKnown = false;
  bool totalKnown = false;
  const LONGLONG free = static_cast<LONGLONG>(getDiskFreeSpace(device, freeKnown));
  const LONGLONG total = static_cast<LONGLONG>(getDiskTotalSpace(device, totalKnown));
  if (freeKnown && free < m_plannedTotal) {
    showMessageById(IDS_SYNC_NOT_ENOUGH_SPACE, deviceDisplayName(), deviceDisplayName());
    m_startRequested = false;
    return false;
  }
  if (freeKnown && totalKnown && total - free + m_plannedTotal > (total / 10) * 9)
    return askYesNoById(IDS_SYNC_ALMOST_FULL_QUESTION, deviceDisplayName(), deviceDisplayName());
  return true;
}

bool CSynchronizeDialog2::confirmLargeCopy() {
  CSpaceMan* coordinator = spaceMan();
  if (!coordinator || coordinator->countSyncOps(kFileOpDriveToHost) < kManyCopiesToComputer) return true;
  return !askYesNoById(IDS_SYNC_MANY_ITEMS_QUESTION, g_applicationName, deviceDisplayName(), deviceDisplayName());
}

void CSynchronizeDialog2::savePreferenceStore() {
  if (!getDevicePrefs().save()) showMessageById(IDS_SYNC_PREFS_NOT_SAVED, deviceDisplayName());
}

void CSynchronizeDialog2::onPreSyncCalculationFinished() {
  if (CWnd* waiting = GetDlgItem(IDC_SYNC_WAITING)) waiting->ShowWindow(SW_HIDE);
  killStartTimer();
  m_startRequested = false;
  if (!checkSpace()) return;
  if (!confirmLargeCopy()) return;
  // With nothing to do the run is skipped, unless an earlier run of this computer was cut off:
  // its marker stays until a run completes, and while it stays every login is refused, so the
  // empty run goes ahead to completion, saves the snapshots and takes the marker away.
  CSystemProfile* self = getProfileDatabase().getThisComputerProfile();
  const bool unfinishedRun = self && fileExists(CCustomizerDoc::getSyncMarkerPath(*self));
  if (m_rowCount == 0 && !unfinishedRun) {
    showMessageById(IDS_SYNC_UP_TO_DATE, deviceDisplayName());
    return;
  }
  if (m_meter.m_hWnd) m_meter.DestroyWindow();
  EndDialog(IDOK);
  m_ended = true;
  // The run's progress follows while this modal loop still stands: the dialog is out of sight.
  ShowWindow(SW_HIDE);
  unregisterListener();
  applySettings();
  CPreferenceFile& prefs = getDevicePrefs();
  if (!prefs.save()) {
    showMessageById(IDS_SYNC_PREFS_NOT_SAVED, deviceDisplayName());
  } else if (m_plannedTotal > 0) {
    prefs.openRoot();
    ULONGLONG kilobytes = 0;
    prefs.getUInt64(kKilobytesSynchronizedValue, kilobytes);
    kilobytes += static_cast<ULONGLONG>(static_cast<double>(m_plannedTotal) * 0.001);
    prefs.setUInt64(kKilobytesSynchronizedValue, kilobytes);
    prefs.save();
  }
  loginHost().synchronize(kSyncBothWays);
}

void CSynchronizeDialog2::OnCancel() {
  // Ended with OK, the dialog only waits for the run it started: a cancel is no longer its own
  // (the drive going away stops that run through the coordinator).
  if (m_ended) return;
  CSpaceMan* coordinator = spaceMan();
  if (coordinator && coordinator->isRunning()) {
    unregisterListener();
    SetDlgItemText(IDC_SYNC_STATUS, loadResString(IDS_SYNC_CLEANING_UP));
    if (m_meter.m_hWnd) m_meter.DestroyWindow();
    RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
    killStartTimer();
    m_plannedTotal = 0;
    if (coordinator->hasPendingRequest()) {
      // Listen on to learn when the run has ended.
      registerListener();
      m_deferredCommand = IDCANCEL;
      return;
    }
    coordinator->setPendingRequest(m_hWnd, WM_COMMAND, IDCANCEL, 0);
    return;
  }
  applySettings();
  savePreferenceStore();
  CDialog::OnCancel();
  unregisterListener();
}

void CSynchronizeDialog2::OnClose() { OnCancel(); }

void CSynchronizeDialog2::OnDestroy() {
  unregisterListener();
  killStartTimer();
  CDialog::OnDestroy();
}

HBRUSH CSynchronizeDialog2::OnCtlColor(CDC* dc, CWnd* window, UINT type) {
  HBRUSH brush = CDialog::OnCtlColor(dc, window, type);
  if (window && window->GetDlgCtrlID() == IDC_SYNC_WAITING) dc->SetTextColor(m_waitingColour);
  return brush;
}

BOOL CSynchronizeDialog2::OnQueryEndSession() { return TRUE; }

void CSynchronizeDialog2::OnEndSession(BOOL) {}

LRESULT CSynchronizeDialog2::OnCloseBeforeExit(WPARAM, LPARAM) {
  showXMessageBox(m_hWnd, loadResString(IDS_CLOSE_SYNC_BEFORE_EXIT), g_applicationName, MB_OK | MB_ICONINFORMATION,
                  nullptr, nullptr);
  return 0;
}

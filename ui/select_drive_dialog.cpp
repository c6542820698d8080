// The drive-choice dialog. Its list follows the drives every two seconds; a drive that appeared
// since the last refresh is preselected, and otherwise the user's selection is kept while that
// drive is still there.
#include "ui/select_drive_dialog.h"

#include <algorithm>

#include "app/file_util.h"
#include "app/folder_lookup.h"
#include "app/log.h"
#include "app/messages.h"
#include "app/program_texts.h"
#include "app/secure_drive_services.h"
#include "lang/ids.h"
#include "ui/dialog_support.h"

namespace {

constexpr LPCWSTR kLogNameNotReplaced = u"{SelectDriveDialog}: Failed to replace device name.";
constexpr UINT_PTR kRefreshTimer = 1;
constexpr UINT kRefreshMs = 2000;

CString entryFor(WCHAR letter) { return CString(letter) + u":"; }

}  // namespace

BEGIN_MESSAGE_MAP(CSelectDriveDialog, CDialog)
  ON_WM_CREATE()
  ON_WM_TIMER()
END_MESSAGE_MAP()

CSelectDriveDialog::CSelectDriveDialog(CWnd* parent) : CDialog(IDD_SELECT_DRIVE, parent) {}

CSelectDriveDialog::~CSelectDriveDialog() { unregisterClient(); }

void CSelectDriveDialog::DoDataExchange(CDataExchange* pDX) {
  CDialog::DoDataExchange(pDX);
  DDX_Control(pDX, IDC_SD_DRIVES, m_drives);
  DDX_CBString(pDX, IDC_SD_DRIVES, m_choice);
}

int CSelectDriveDialog::OnCreate(LPCREATESTRUCT create) {
  if (CDialog::OnCreate(create) == -1) return -1;
  ModifyStyle(0, WS_THICKFRAME);
  return 0;
}

BOOL CSelectDriveDialog::OnInitDialog() {
  CDialog::OnInitDialog();
  const bool instruction = fillDeviceNameInDlgItem(m_hWnd, IDC_SD_INSTRUCTION);
  const bool label = fillDeviceNameInDlgItem(m_hWnd, IDC_SD_LABEL);
  if (!instruction || !label) writeLog(kLogNameNotReplaced);
  setDialogBigIcon(*this);
  replaceUiPlaceholders(m_hWnd);
  refreshDrives();
  if (m_drives.GetCount() == 0) showMessageById(IDS_SD_NO_REMOVABLE_DRIVE, deviceDisplayName(), g_applicationName);
  secureDriveServices().setDeviceChangeClient(this);
  SetTimer(kRefreshTimer, kRefreshMs, nullptr);
  return TRUE;
}

void CSelectDriveDialog::OnTimer(UINT_PTR id) {
  if (id == kRefreshTimer) refreshDrives();
  CDialog::OnTimer(id);
}

bool CSelectDriveDialog::refreshDrives() {
  CSecureDriveServices& services = secureDriveServices();
  m_drives.EnableWindow(TRUE);
  if (!services.usesDeviceMonitor() && services.standbyRequested()) {
    // The standby view asks for another drive than the one in use: never offer that one.
    const CString letters = services.enumerateUsbDrives();
    const CString devicePath = CFolderLookup::getDevicePath();
    const WCHAR current = devicePath.IsEmpty() ? WCHAR{0} : devicePath[0];
    CString remembered;
    m_drives.GetWindowText(remembered);
    m_drives.ResetContent();
    for (WCHAR letter : letters.view())
      if (!charsEqualNoCase(letter, current)) m_drives.AddString(entryFor(letter));
    if (m_drives.GetCount() > 0) {
      if (remembered.IsEmpty() || m_drives.SelectString(-1, remembered) < 0) m_drives.SetCurSel(0);
    }
    services.clearStandbyRequest();
    return true;
  }

  m_monitor.refresh();
  CString letters;
  for (const auto& [letter, info] : m_monitor.getDevices()) letters += letter;
  std::u16string sorted(letters.view());
  std::sort(sorted.begin(), sorted.end());
  std::u16string old(m_lastLetters.view());
  std::u16string added;
  std::set_difference(sorted.begin(), sorted.end(), old.begin(), old.end(), std::back_inserter(added));
  const bool changed = sorted != old;
  m_lastLetters = CString(sorted);
  if (changed) {
    CString remembered;
    m_drives.GetWindowText(remembered);
    m_drives.ResetContent();
    for (WCHAR letter : sorted) m_drives.AddString(entryFor(letter));
    if (!remembered.IsEmpty()) m_drives.SelectString(-1, remembered);
  }
  if (m_drives.GetCount() == 0) m_drives.EnableWindow(FALSE);
  services.clearStandbyRequest();
  if (added.empty()) return false;
  m_drives.SelectString(-1, entryFor(added.front()));
  return true;
}

void CSelectDriveDialog::OnOK() {
  if (m_drives.GetCount() == 0) {
    showMessageById(IDS_SD_INSERT_DRIVE, deviceDisplayName());
    return;
  }
  unregisterClient();
  CDialog::OnOK();
}

void CSelectDriveDialog::OnCancel() {
  unregisterClient();
  CDialog::OnCancel();
}

bool CSelectDriveDialog::onDeviceChange(const CString&, bool) { return true; }

CString CSelectDriveDialog::selectedDriveRoot() const {
  if (m_choice.IsEmpty()) return CString();
  return m_choice.Left(2) + u"\\";
}

void CSelectDriveDialog::unregisterClient() {
  CSecureDriveServices& services = secureDriveServices();
  if (services.getDeviceChangeClient() == static_cast<CDeviceChangeClient*>(this)) services.setDeviceChangeClient(nullptr);
}

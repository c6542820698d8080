// The common-properties panel: used and selected bytes of one snap-in.
#include "ui/snapin_common_page.h"

#include "app/file_util.h"
#include "lang/ids.h"
#include "snapins/space_man.h"
#include "ui/login_host.h"
#include "ui/snapin_property_page.h"

namespace {

constexpr UINT kRefreshTexts = WM_USER + 100;

}  // namespace

BEGIN_MESSAGE_MAP(CSnapinCommonPropertiesDialog, CDialog)
  ON_MESSAGE(kRefreshTexts, OnRefreshTexts)
END_MESSAGE_MAP()

CSnapinCommonPropertiesDialog::CSnapinCommonPropertiesDialog(CSnapinPropertyPage* page, CCustomizer* snapin)
    : CDialog(IDD_SNAPIN_COMMON, nullptr), m_snapin(snapin), m_page(page) {}

CSnapinCommonPropertiesDialog::~CSnapinCommonPropertiesDialog() {
  if (m_listening) loginHost().removeListener(this);
}

void CSnapinCommonPropertiesDialog::DoDataExchange(CDataExchange* pDX) {
  CDialog::DoDataExchange(pDX);
  DDX_Text(pDX, IDC_COMMON_SELECTED, m_selectedText);
  DDX_Text(pDX, IDC_COMMON_USED, m_usedText);
}

BOOL CSnapinCommonPropertiesDialog::OnInitDialog() {
  CDialog::OnInitDialog();
  replaceUiPlaceholders(m_hWnd);
  m_initialised = true;
  m_listening = loginHost().addListener(this);
  refresh();
  return TRUE;
}

BOOL CSnapinCommonPropertiesDialog::DestroyWindow() {
  if (m_listening) loginHost().removeListener(this);
  m_listening = false;
  m_initialised = false;
  return CDialog::DestroyWindow();
}

void CSnapinCommonPropertiesDialog::refresh() {
  if (m_initialised && m_hWnd != nullptr) UpdateData(FALSE);
}

void CSnapinCommonPropertiesDialog::pull() {
  if (m_initialised && m_hWnd != nullptr && m_snapin != nullptr && m_page != nullptr && m_page->isModified())
    UpdateData(TRUE);
}

void CSnapinCommonPropertiesDialog::setPlannedBytes(LONGLONG bytes) {
  m_selectedText = bytes >= 0 ? formatFileSize(bytes) : CString(u"-") + formatFileSize(-bytes);
  if (m_hWnd != nullptr) PostMessage(kRefreshTexts);
}

void CSnapinCommonPropertiesDialog::setDeviceBytes(LONGLONG bytes) { m_usedText = formatFileSize(bytes); }

LRESULT CSnapinCommonPropertiesDialog::OnRefreshTexts(WPARAM, LPARAM) {
  refresh();
  return 0;
}

void CSnapinCommonPropertiesDialog::onSyncStatus(CSyncStatus* status) {
  CSpaceRecord* record = m_page != nullptr ? m_page->spaceRecord() : nullptr;
  if (record == nullptr || status->record != record) return;
  switch (status->code) {
    case CSyncStatus::kPlannedBytesSet:
    case CSyncStatus::kOpQueued:
      setPlannedBytes(record->plannedBytes);
      break;
    case CSyncStatus::kDeviceBytesSet:
      setDeviceBytes(static_cast<LONGLONG>(record->deviceBytes));
      break;
    default:
      break;
  }
}

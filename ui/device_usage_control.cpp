// The device usage strip: the bar, its legend, the used and capacity texts and the search
// animation, fed by the run coordinator's status messages.
#include "ui/device_usage_control.h"

#include "app/file_util.h"
#include "app/folder_lookup.h"
#include "app/log.h"
#include "app/messages.h"
#include "lang/ids.h"
#include "ui/login_host.h"

namespace {

constexpr const char16_t* kLogNoAnimation = u"{DeviceUsageControl}: Failed to open findfile animation.";
constexpr const char16_t* kLogNoTotalSpace = u"{Device Meter}: Failed to calculate device's total disk space: %s";

// Status codes the strip follows besides the coordinator's: 7 the selected bytes and 8 the used
// bytes changed (no sender produces them today).
constexpr LONG kSelectedBytesChanged = 7;
constexpr LONG kUsedBytesChanged = 8;

}  // namespace

// ---- legend -------------------------------------------------------------------------------------

BEGIN_MESSAGE_MAP(CDeviceUsageLegend, CDialog)
  ON_WM_CTLCOLOR()
END_MESSAGE_MAP()

CDeviceUsageLegend::CDeviceUsageLegend(CDeviceUsageControl* owner)
    : CDialog(IDD_DEVICE_USAGE_LEGEND, owner), m_owner(owner) {}

HBRUSH CDeviceUsageLegend::OnCtlColor(CDC* dc, CWnd* window, UINT type) {
  HBRUSH brush = CDialog::OnCtlColor(dc, window, type);
  const int id = window ? window->GetDlgCtrlID() : 0;
  if (id == IDC_LEGEND_USED_BOX) return static_cast<HBRUSH>(m_owner->meter().usedBrush().GetSafeHandle());
  if (id == IDC_LEGEND_SELECTED_BOX) return static_cast<HBRUSH>(m_owner->meter().selectedBrush().GetSafeHandle());
  return brush;
}

// ---- the strip ----------------------------------------------------------------------------------

BEGIN_MESSAGE_MAP(CDeviceUsageControl, CDialog)
  ON_WM_SIZE()
  ON_WM_DESTROY()
END_MESSAGE_MAP()

CDeviceUsageControl::CDeviceUsageControl(CWnd* parent)
    : CDialog(IDD_DEVICE_USAGE, parent), m_meter(this), m_legend(this) {}

CDeviceUsageControl::~CDeviceUsageControl() { unregister(); }

void CDeviceUsageControl::unregister() {
  if (m_listening) loginHost().removeListener(this);
  m_listening = false;
}

void CDeviceUsageControl::DoDataExchange(CDataExchange* pDX) {
  CDialog::DoDataExchange(pDX);
  DDX_Control(pDX, IDC_DEVICE_USAGE_ANIMATION, m_animation);
  DDX_Text(pDX, IDC_DEVICE_USAGE_CAPACITY, m_capacityText);
  DDX_Text(pDX, IDC_DEVICE_USAGE_USED, m_usedText);
}

BOOL CDeviceUsageControl::OnInitDialog() {
  CDialog::OnInitDialog();
  replaceUiPlaceholders(m_hWnd);
  if (m_legend.Create(IDD_DEVICE_USAGE_LEGEND, this)) m_legend.ShowWindow(SW_SHOW);
  if (m_meter.Create(IDD_DEVICE_METER, this)) m_meter.ShowWindow(SW_SHOW);
  if (!m_animation.Open(IDR_AVI_FIND_FILE)) writeLog(kLogNoAnimation);
  m_animation.SetWindowPos(nullptr, 0, 3, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  m_listening = loginHost().addListener(this);

  const CString device = CFolderLookup::getDevicePath();
  bool totalKnown = false;
  const ULONGLONG total = getDiskTotalSpace(device, totalKnown);
  if (!totalKnown) writeLog(kLogNoTotalSpace, device);
  const LONGLONG capacity = totalKnown ? static_cast<LONGLONG>(total) : 0;
  m_meter.setCapacity(capacity);
  m_capacityText = formatMessageText(u"%s\n%s", loadResString(IDS_METER_CAPACITY), formatFileSize(capacity));
  UpdateData(FALSE);
  m_ready = true;
  bool freeKnown = false;
  const ULONGLONG free = getDiskFreeSpace(device, freeKnown);
  setUsed(capacity - static_cast<LONGLONG>(freeKnown ? free : 0));
  // The layout follows the size the parent gives; lay out for the template's own size now.
  CRect client;
  GetClientRect(&client);
  OnSize(SIZE_RESTORED, client.Width(), client.Height());
  return TRUE;
}

BOOL CDeviceUsageControl::DestroyWindow() {
  unregister();
  m_ready = false;
  return CDialog::DestroyWindow();
}

void CDeviceUsageControl::OnDestroy() {
  // Destroyed with its parent rather than through DestroyWindow: it stops listening all the same.
  unregister();
  m_ready = false;
  CDialog::OnDestroy();
}

void CDeviceUsageControl::setSelected(LONGLONG bytes) {
  if (m_ready) m_meter.setSelected(bytes);
}

void CDeviceUsageControl::setUsed(LONGLONG bytes) {
  if (!m_ready) return;
  m_meter.setUsed(bytes);
  m_usedText = formatMessageText(u"%s\n%s", loadResString(IDS_METER_USED), formatFileSize(bytes));
  SetDlgItemText(IDC_DEVICE_USAGE_USED, m_usedText);
}

void CDeviceUsageControl::setSearching(bool on) {
  if (!m_ready || !m_hWnd || !m_animation.m_hWnd) return;
  if (on) {
    m_animation.ShowWindow(SW_SHOW);
    m_animation.Play(0, 65535, static_cast<UINT>(-1));
  } else {
    m_animation.Stop();
    m_animation.ShowWindow(SW_HIDE);
    Invalidate();
  }
}

void CDeviceUsageControl::onSyncStatus(CSyncStatus* status) {
  switch (status->code) {
    case CSyncStatus::kCalculationBegins:
      setSelected(0);
      setSearching(true);
      break;
    case CSyncStatus::kCalculationEnded:
      setSearching(false);
      break;
    case kSelectedBytesChanged:
    case CSyncStatus::kOpQueued:
      setSelected(status->value);
      break;
    case kUsedBytesChanged:
      setUsed(status->value);
      break;
    default:
      break;
  }
}

void CDeviceUsageControl::OnSize(UINT type, int cx, int cy) {
  CDialog::OnSize(type, cx, cy);
  if (!m_ready || !m_legend.m_hWnd || !m_meter.m_hWnd) return;
  CRect legend;
  m_legend.GetWindowRect(&legend);
  const int lw = legend.Width();
  CWnd* usedText = GetDlgItem(IDC_DEVICE_USAGE_USED);
  CWnd* capacityText = GetDlgItem(IDC_DEVICE_USAGE_CAPACITY);
  CWnd* back = GetDlgItem(IDC_DEVICE_USAGE_BACK);
  int uw = 0;
  if (usedText) {
    CRect r;
    usedText->GetWindowRect(&r);
    uw = r.Width();
  }
  CClientDC dc(this);
  if (HFONT font = GetFontHandle()) ::SelectObject(dc.GetSafeHdc(), font);
  CRect measure(0, 0, 0, 0);
  dc.DrawText(loadResString(IDS_METER_CAPACITY), &measure, DT_CALCRECT | DT_SINGLELINE);
  const int tw = measure.Width();
  const int r1 = cx - lw - 5 - tw;
  m_legend.MoveWindow(cx - lw, 0, lw, cy);
  if (back) back->MoveWindow(uw + 6, 0, r1 - (uw + 6), cy);
  if (capacityText) capacityText->MoveWindow(r1 + 2, 3, tw, cy - 3);
  if (usedText) usedText->MoveWindow(0, 3, uw, cy - 3);
  m_meter.MoveWindow(uw + 9, 3, (r1 - 6) - (uw + 9), (cy - 3) - 3);
}

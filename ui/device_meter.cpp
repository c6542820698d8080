// The device usage bar: used bytes, the bytes a run would add or free, and their label.
#include "ui/device_meter.h"

#include <cstdlib>
#include <utility>

#include "app/file_util.h"
#include "app/folder_lookup.h"
#include "app/log.h"
#include "app/messages.h"
#include "lang/ids.h"

namespace {

constexpr COLORREF kBlue = RGB(0, 0, 200);
constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kGreen = RGB(44, 174, 0);
constexpr const char16_t* kLogNoTotalSpace = u"{Device Meter}: Failed to calculate device's total disk space: %s";

}  // namespace

BEGIN_MESSAGE_MAP(CDeviceMeter, CDialog)
  ON_WM_PAINT()
END_MESSAGE_MAP()

CDeviceMeter::CDeviceMeter(CWnd* parent)
    : CDialog(IDD_DEVICE_METER, parent),
      m_bluePen(PS_SOLID, 1, kBlue),
      m_blueHatchBrush(HS_DIAGCROSS, kBlue),
      m_redPen(PS_SOLID, 1, kRed),
      m_redHatchBrush(HS_DIAGCROSS, kRed),
      m_thickBluePen(PS_SOLID, 3, kBlue),
      m_solidBlueBrush(kBlue),
      m_whiteBrush(kWhite),
      m_whitePen(PS_SOLID, 1, kWhite),
      m_parent(parent) {
  const CString device = CFolderLookup::getDevicePath();
  bool ok = false;
  const ULONGLONG total = getDiskTotalSpace(device, ok);
  if (ok) {
    m_capacity = static_cast<LONGLONG>(total);
  } else {
    writeLog(kLogNoTotalSpace, device);
  }
}

CDeviceMeter::~CDeviceMeter() = default;

void CDeviceMeter::changed(LONGLONG& field, LONGLONG bytes) {
  if (field == bytes) return;
  field = bytes;
  if (m_hWnd) ::InvalidateRect(m_hWnd, nullptr, TRUE);
}

void CDeviceMeter::setSelected(LONGLONG bytes) { changed(m_selected, bytes); }
void CDeviceMeter::setUsed(LONGLONG bytes) { changed(m_used, bytes); }

int CDeviceMeter::toX(LONGLONG bytes, int width, int right) const {
  if (m_capacity == 0) return 0;
  const LONGLONG x = static_cast<LONGLONG>(width) * bytes / m_capacity;
  if (x < 0) return 0;
  return x > right ? right : static_cast<int>(x);
}

void CDeviceMeter::OnPaint() {
  CPaintDC dc(this);
  CRect client;
  GetClientRect(&client);
  const int width = client.Width();

  dc.SelectObject(&m_whitePen);
  dc.SelectObject(&m_whiteBrush);
  dc.Rectangle(&client);

  const int usedRight = toX(m_used, width, client.right);
  int selectedLeft = usedRight;
  int selectedRight = toX(m_used + m_selected, width, client.right);
  if (selectedRight < selectedLeft) std::swap(selectedLeft, selectedRight);

  // A bar that starts at the very edge would lose its left border line.
  const int usedLeft = (client.left == 0 && selectedLeft == 0) ? 1 : client.left;
  // A bar without width is not drawn: nothing used (or no known capacity) leaves the ground white.
  if (usedRight > usedLeft) {
    dc.SelectObject(&m_thickBluePen);
    dc.SelectObject(&m_solidBlueBrush);
    dc.Rectangle(usedLeft, client.top, usedRight, client.bottom);
  }

  const bool over = isOverCapacity();
  dc.SelectObject(over ? &m_redPen : &m_bluePen);
  dc.SelectObject(over ? &m_redHatchBrush : &m_blueHatchBrush);
  CRect selected(selectedLeft, client.top + 3, selectedRight, client.bottom - 3);
  if (selected.Width() > 0) dc.Rectangle(&selected);
  dc.SetTextColor(over ? kRed : kBlue);
  dc.SetBkColor(kWhite);

  if (m_selected == 0) return;
  if (m_selected < 0) dc.SetTextColor(kGreen);
  const CString label =
      formatFileSize(std::llabs(m_selected)) + loadResString(m_selected > 0 ? IDS_METER_SELECTED : IDS_METER_FREED);
  if (CWnd* owner = m_parent ? m_parent : GetParent()) {
    if (HFONT font = owner->GetFontHandle()) ::SelectObject(dc.GetSafeHdc(), font);
  }
  const int textWidth = dc.GetTextExtent(label).cx;
  const int w = textWidth + 2;
  CRect text(client);
  if (textWidth < selected.Width()) {
    text.left = selected.left + (selected.Width() - w) / 2;
  } else if (selected.right + w <= client.right) {
    text.left = selected.right;
  } else if (selected.left - w >= client.left) {
    text.left = selected.left - w;
  } else {
    text.left = selected.left + (selected.Width() - w) / 2;
    if (text.left + w > client.right) text.left = client.right - w;
    if (text.left < client.left) text.left = client.left;
  }
  text.right = text.left + w;
  if (text.right > client.right) text.right = client.right;
  dc.DrawText(label, &text, DT_SINGLELINE | DT_VCENTER | DT_CENTER);
}

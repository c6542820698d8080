// CDeviceUsageControl: the strip that the synchronize and options dialogs embed to show how full
// the drive is and how much a pending synchronization would add or free. It holds the bar
// (CDeviceMeter), its colour legend (CDeviceUsageLegend), the used and capacity texts and a
// search animation, and follows the run coordinator's status messages while it exists.
#pragma once

#include <memory>

#include "app/app_messages.h"
#include "platform/afx/afxwin.h"
#include "platform/afx/ctrl_common.h"
#include "ui/device_meter.h"

class CDeviceUsageControl;

// The legend: a solid box for the used bytes, a hatched one for the selected bytes.
class CDeviceUsageLegend : public CDialog {
 public:
  explicit CDeviceUsageLegend(CDeviceUsageControl* owner);

 protected:
  afx_msg HBRUSH OnCtlColor(CDC* dc, CWnd* window, UINT type);
  DECLARE_MESSAGE_MAP()

 private:
  CDeviceUsageControl* m_owner;
};

class CDeviceUsageControl : public CDialog, public CSyncStatusListener {
 public:
  explicit CDeviceUsageControl(CWnd* parent = nullptr);
  ~CDeviceUsageControl() override;

  // Only while ready (between the end of OnInitDialog and DestroyWindow).
  void setSelected(LONGLONG bytes);
  void setUsed(LONGLONG bytes);
  void setSearching(bool on);

  BOOL OnInitDialog() override;
  BOOL DestroyWindow() override;
  void onSyncStatus(CSyncStatus* status) override;

  bool isReady() const { return m_ready; }
  CDeviceMeter& meter() { return m_meter; }

  CAnimateCtrl m_animation;
  CString m_capacityText;
  CString m_usedText;

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  afx_msg void OnSize(UINT type, int cx, int cy);
  afx_msg void OnDestroy();
  DECLARE_MESSAGE_MAP()

 private:
  void unregister();

  bool m_ready = false;
  bool m_listening = false;
  CDeviceMeter m_meter;
  CDeviceUsageLegend m_legend;
};

// CSelectDriveDialog: asks which removable drive is the product's device. Lists the drive letters
// of the present USB drives, refreshes the list every 2000 ms, preselects a drive just plugged in,
// and gives the chosen drive's root (selectedDriveRoot). While up it is the detector's change
// client (it takes every change and lets its timer do the refresh).
#pragma once

#include <memory>

#include "app/device_change_client.h"
#include "app/usb_device_monitor.h"
#include "platform/afx/afxwin.h"
#include "platform/afx/ctrl_list.h"

class CSelectDriveDialog : public CDialog, public CDeviceChangeClient {
 public:
  explicit CSelectDriveDialog(CWnd* parent = nullptr);
  ~CSelectDriveDialog() override;

  BOOL OnInitDialog() override;
  void OnOK() override;
  void OnCancel() override;
  bool onDeviceChange(const CString& interfaceName, bool removed) override;

  // The first two characters of the chosen text followed by "\"; empty when nothing is chosen.
  CString selectedDriveRoot() const;

  // Rebuilds the list; true when a drive was preselected (a new one, or on the standby path).
  bool refreshDrives();

  CComboBox m_drives;
  CString m_choice;
  CUsbDeviceMonitor m_monitor;
  CString m_lastLetters;  // sorted drive letters of the last refresh

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  afx_msg int OnCreate(LPCREATESTRUCT create);
  afx_msg void OnTimer(UINT_PTR id);
  DECLARE_MESSAGE_MAP()

 private:
  void unregisterClient();
};

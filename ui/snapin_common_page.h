// CSnapinCommonPropertiesDialog: the small panel on a snap-in's options page that shows the bytes
// the snap-in uses on the device and the bytes it would synchronize; it follows the run
// coordinator's status messages for the page's space record.
#pragma once

#include "app/app_messages.h"
#include "platform/afx/afxwin.h"

class CCustomizer;
class CSnapinPropertyPage;

class CSnapinCommonPropertiesDialog : public CDialog, public CSyncStatusListener {
 public:
  CSnapinCommonPropertiesDialog(CSnapinPropertyPage* page, CCustomizer* snapin);
  ~CSnapinCommonPropertiesDialog() override;

  BOOL OnInitDialog() override;
  BOOL DestroyWindow() override;
  void onSyncStatus(CSyncStatus* status) override;

  // Pushes the texts to the controls once initialised.
  virtual void refresh();
  // Reads the controls back (initialised, with a snap-in, on a modified page).
  virtual void pull();
  virtual void setPlannedBytes(LONGLONG bytes);
  virtual void setDeviceBytes(LONGLONG bytes);

  CString m_selectedText;
  CString m_usedText;

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  afx_msg LRESULT OnRefreshTexts(WPARAM, LPARAM);
  DECLARE_MESSAGE_MAP()

 private:
  bool m_initialised = false;
  bool m_listening = false;
  CCustomizer* m_snapin;
  CSnapinPropertyPage* m_page;
};

// CSynchronizeDialog2: the modal window where a user synchronizes the device with this computer.
// It asks the run coordinator for a calculation in both directions as soon as it opens, lists
// every operation the run would perform as the calculation reports it, keeps the total the device
// would gain, shows the device usage meter, lets the user narrow the run (Desktop files of the
// last days, Outlook Inbox items of the last days, browser settings) and, on OK, checks the space,
// closes and hands over to the view's synchronization with its progress dialog.
//
// A click that needs the calculation to stop first (Cancel, More options) is never waited for: it
// is handed to the coordinator as a pending WM_COMMAND and comes back once the calculation has
// stopped; when another request is pending already, the click is kept here and sent again at the
// end of the run.
#pragma once

#include "app/app_messages.h"
#include "platform/afx/afxwin.h"
#include "platform/afx/ctrl_view.h"
#include "ui/device_usage_control.h"

class CCustomizer;
class CCustomizerDoc;
class CFileCustomizer;
class CFileSyncOp;
class COutlookCustomizer;
class CItemSyncOp;
class CSpaceMan;
class CSyncOp;

// WM_USER+170: asks the user to close the dialog before Windows ends.
inline constexpr UINT WM_SYNC_CLOSE_BEFORE_EXIT = WM_USER + 170;
// What a day field shows when it sets no day limit.
inline constexpr const char16_t* kNoDayLimitText = u"***";

class CSynchronizeDialog2 : public CDialog, public CSyncStatusListener, public CProgressListener {
 public:
  explicit CSynchronizeDialog2(CView* parent);
  ~CSynchronizeDialog2() override;

  INT_PTR DoModal() override;
  BOOL OnInitDialog() override;
  void OnOK() override;
  void OnCancel() override;

  // Reads the current choices into the controls.
  virtual void updateDisplay();
  // Writes the controls' choices into the snap-ins' preferences.
  virtual void applySettings();
  // Timer step after OK while the calculation still runs.
  virtual void onStartTimer();

  void onMessage(CAppMessage* message) override;
  void onSyncStatus(CSyncStatus* status) override;
  void onProgress(CProgress* progress) override;

  // Ends the dialog with kDialogEndedByApplication (the program closes or the drive went away),
  // and the nickname question when it is open.
  void endByApplication();

  // The dialog shown modally now; null when none.
  static CSynchronizeDialog2* active() { return s_active; }

  LONGLONG plannedTotal() const { return m_plannedTotal; }
  int rowCount() const { return m_rowCount; }
  CListCtrl& list() { return m_list; }
  CDeviceUsageControl& usageMeter() { return m_meter; }

  CString m_secondText;
  BOOL m_ieSettings = TRUE;
  BOOL m_desktop = TRUE;
  BOOL m_inbox = TRUE;
  CString m_inboxDays;
  CString m_desktopDays;

 protected:
  void DoDataExchange(CDataExchange* pDX) override;

  afx_msg int OnCreate(LPCREATESTRUCT create);
  afx_msg void OnClose();
  afx_msg void OnMoreOptions();
  afx_msg void OnDesktopClicked();
  afx_msg void OnInboxClicked();
  afx_msg void OnIeSettingsClicked();
  afx_msg void OnDaysChanged();
  afx_msg void OnColumnClick(NMHDR* header, LRESULT* result);
  afx_msg HBRUSH OnCtlColor(CDC* dc, CWnd* window, UINT type);
  afx_msg BOOL OnQueryEndSession();
  afx_msg void OnEndSession(BOOL ending);
  afx_msg LRESULT OnCloseBeforeExit(WPARAM, LPARAM);
  afx_msg void OnDestroy();
  DECLARE_MESSAGE_MAP()

 private:
  CSpaceMan* spaceMan() const;
  // The document's file snap-in, looked up at each use: the document drops its snap-ins when
  // the drive goes away, also while this dialog waits for a stopped calculation.
  CFileCustomizer* files() const;
  // A calculation runs, or one waits in the coordinator's queue.
  bool calculating() const;
  // Installed Outlook that the dialog can narrow (no Outlook snap-in: never).
  bool outlookSupported() const;
  // The document's Outlook snap-in, looked up at each use as the file snap-in is.
  COutlookCustomizer* outlook() const;
  // This computer's nickname was chosen, or the user chose it now; false when refused.
  bool nicknameChosen();
  void registerListener();
  void unregisterListener();
  void enableOptionControls();
  void startCalculation();
  void onPreSyncCalculationFinished();
  bool checkSpace();
  bool confirmLargeCopy();
  void killStartTimer();
  void savePreferenceStore();
  // A row for a queued op; ops of every synchronizer are listed here.
  void addOpRow(CSyncOp* op);
  void addFileOpRow(const CFileSyncOp& op);
  void addItemOpRow(const CItemSyncOp& op);
  bool addToFolderRow(const CFileSyncOp& op);
  void appendRow(const CString& name, const CString& folder, const CString& size);
  // Hands `command` to the coordinator to come back once the calculation has stopped; when it
  // cannot take it (another request is pending), keeps it to post at the end of the run.
  void deferCommand(UINT command, LPARAM control);

  static void CALLBACK timerProc(HWND window, UINT, UINT_PTR, DWORD);

  CListCtrl m_list;
  CDeviceUsageControl m_meter;
  CView* m_view;
  CCustomizerDoc* m_document = nullptr;
  LONGLONG m_plannedTotal = 0;
  int m_rowCount = 0;
  bool m_startRequested = false;
  int m_dots = 0;
  UINT_PTR m_timer = 0;
  COLORREF m_waitingColour = 0xFF0000;
  LONGLONG m_favoritesTotal = 0;
  LONGLONG m_cookiesTotal = 0;
  LONGLONG m_historyTotal = 0;
  bool m_listening = false;
  UINT m_deferredCommand = 0;
  bool m_initialised = false;
  bool m_updatingDisplay = false;
  bool m_ended = false;
  bool m_endedByApplication = false;
  CDialog* m_nickname = nullptr;  // while the nickname question is open

  static CSynchronizeDialog2* s_active;
  static int s_opMessages;
};

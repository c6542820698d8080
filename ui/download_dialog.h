// CDownloadDlg: the modal "Downloading..." box of the update. A worker thread fetches the new
// installer into a file while the box shows its progress every 200 ms; Cancel stops the worker
// at once, also while a read waits on a stalled server (the Internet file is closed under it).
// Only a download that arrived whole is kept: any failure, a short reply or a cancel deletes the
// partial file (and an earlier file at the target). DoModal gives IDOK for a whole installer,
// IDABORT after a failure was reported to the user, IDCANCEL after Cancel.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/afx/afxwin.h"
#include "platform/net/wininet.h"

// What the dialog and its worker share. `total` and `received` are written by the worker only;
// the Internet handles are published under `lock` so that Cancel can close them under the
// worker's feet.
struct DownloadState {
  enum : LONG { kNoError = 0, kOpenFailed = 1, kTransferFailed = 2, kSaveFailed = 3, kCancelled = 4 };

  CString path;
  CString url;
  std::atomic<bool> running{false};
  std::atomic<bool> done{true};
  HANDLE event = nullptr;             // auto-reset, set by the worker when it ends
  std::atomic<LONG> error{kNoError};
  std::atomic<LONG> total{1};         // the announced length; 1 until known, 0 when none was given
  std::atomic<LONG> received{0};

  std::mutex lock;
  HINTERNET session = nullptr;
  HINTERNET file = nullptr;
};

class CDownloadDlg : public CDialog {
 public:
  static constexpr DWORD kChunkBytes = 10240;
  static constexpr UINT kTimerMs = 200;

  CDownloadDlg(const CString& targetPath, CWnd* parent = nullptr);
  ~CDownloadDlg() override;

  BOOL OnInitDialog() override;
  void OnCancel() override;

  // Stops a worker that still runs, then starts one that writes `targetPath` from `url`.
  void startDownload(const CString& targetPath, const CString& url);
  // Stops the worker and waits for it: running cleared, the Internet file closed so a blocked
  // read returns, then the event.
  void stopDownload();

  // Whole percent of the announced length; 0 while it is unknown or 0.
  static int progressPercent(LONG received, LONG total);

  // The error the worker ended with (DownloadState's codes); meaningful once the dialog ended.
  LONG downloadError() const { return m_state->error.load(); }

  CString m_path;

 protected:
  afx_msg void OnTimer(UINT_PTR id);
  DECLARE_MESSAGE_MAP()

 private:
  static void work(std::shared_ptr<DownloadState> state);

  std::shared_ptr<DownloadState> m_state = std::make_shared<DownloadState>();
  std::thread m_worker;
  bool m_reported = false;
};

// The installer download dialog and its worker (see download_dialog.h). The worker is the only
// writer of the target file and the only one that deletes it; the dialog only stops it.
#include "ui/download_dialog.h"

#include <algorithm>
#include <vector>

#include "app/file_util.h"
#include "app/log.h"
#include "app/messages.h"
#include "app/program_texts.h"
#include "app/software_updater.h"
#include "lang/ids.h"
#include "platform/afx/waitcursor.h"
#include "platform/win32/controls/commctrl.h"
#include "platform/win32/win32.h"

namespace {

constexpr UINT_PTR kProgressTimer = 1;

// Closes what the worker has open on the network, once: after this a read blocked on the file
// returns with an error.
void closeInternetHandles(DownloadState& state) {
  std::lock_guard guard(state.lock);
  if (state.file != nullptr) InternetCloseHandle(state.file);
  if (state.session != nullptr) InternetCloseHandle(state.session);
  state.file = nullptr;
  state.session = nullptr;
}

// Publishes a handle the worker just opened; false (and the handle closed) when Cancel came first.
bool publish(DownloadState& state, HINTERNET handle, HINTERNET DownloadState::*slot) {
  std::lock_guard guard(state.lock);
  if (!state.running) {
    InternetCloseHandle(handle);
    return false;
  }
  state.*slot = handle;
  return true;
}

}  // namespace

BEGIN_MESSAGE_MAP(CDownloadDlg, CDialog)
  ON_WM_TIMER()
END_MESSAGE_MAP()

CDownloadDlg::CDownloadDlg(const CString& targetPath, CWnd* parent) : CDialog(IDD_DOWNLOAD, parent), m_path(targetPath) {}

CDownloadDlg::~CDownloadDlg() { stopDownload(); }

BOOL CDownloadDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  replaceUiPlaceholders(m_hWnd);
  SendDlgItemMessageW(m_hWnd, IDC_DOWNLOAD_PROGRESS, PBM_SETRANGE, 0, MAKELPARAM(0, 99));
  startDownload(m_path, makeInstallerUrl(getUpdateBaseUrl()));
  SetTimer(kProgressTimer, kTimerMs, nullptr);
  return TRUE;
}

void CDownloadDlg::startDownload(const CString& targetPath, const CString& url) {
  stopDownload();
  m_reported = false;
  auto state = std::make_shared<DownloadState>();
  state->path = targetPath;
  state->url = url;
  state->error = DownloadState::kNoError;
  state->total = 1;
  state->received = 0;
  state->running = true;
  state->done = false;
  state->event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  m_state = state;
  m_worker = std::thread(&CDownloadDlg::work, state);
}

void CDownloadDlg::stopDownload() {
  if (!m_worker.joinable()) return;
  m_state->running = false;
  closeInternetHandles(*m_state);
  if (m_state->event != nullptr) {
    WaitForSingleObject(m_state->event, INFINITE);
    CloseHandle(m_state->event);
    m_state->event = nullptr;
  }
  m_worker.join();
  m_state->done = true;
}

int CDownloadDlg::progressPercent(LONG received, LONG total) {
  if (total <= 0 || received <= 0) return 0;
  const long long percent = static_cast<long long>(received) * 100 / total;
  return static_cast<int>(std::min<long long>(percent, 99));
}

void CDownloadDlg::OnTimer(UINT_PTR id) {
  if (id != kProgressTimer) return;
  SendDlgItemMessageW(m_hWnd, IDC_DOWNLOAD_PROGRESS, PBM_SETPOS,
                      static_cast<WPARAM>(progressPercent(m_state->received, m_state->total)), 0);
  if (!m_state->done || m_reported) return;
  m_reported = true;
  KillTimer(kProgressTimer);
  stopDownload();
  if (m_state->error != DownloadState::kNoError) {
    writeLog(u"{Download}: The download of %s into %s ended with error %d after %d bytes.", m_state->url, m_path,
             static_cast<int>(m_state->error), static_cast<int>(m_state->received));
  }
  switch (m_state->error.load()) {
    case DownloadState::kNoError:
      EndDialog(IDOK);
      return;
    case DownloadState::kSaveFailed:
      showMessageById(IDS_DOWNLOAD_NOT_SAVED, m_path);
      break;
    default:
      showMessageById(IDS_DOWNLOAD_FAILED);
      break;
  }
  // A failed download ends the dialog with something other than OK, so that no caller takes
  // the missing file for an installer.
  EndDialog(IDABORT);
}

void CDownloadDlg::OnCancel() {
  CWaitCursor wait;
  KillTimer(kProgressTimer);
  stopDownload();
  CDialog::OnCancel();
}

void CDownloadDlg::work(std::shared_ptr<DownloadState> state) {
  DownloadState& s = *state;
  LONG error = DownloadState::kNoError;
  bool created = false;
  CFile target;
  // An earlier download at the target must not pass for this one when this one fails.
  DeleteFileW(s.path);
  HINTERNET session = InternetOpenW(kProductName, PRE_CONFIG_INTERNET_ACCESS, nullptr, nullptr, 0);
  HINTERNET file = nullptr;
  if (session == nullptr || !publish(s, session, &DownloadState::session)) {
    error = DownloadState::kOpenFailed;
  } else {
    file = InternetOpenUrlW(session, s.url, nullptr, 0, INTERNET_FLAG_TRANSFER_BINARY | INTERNET_FLAG_RELOAD, 1);
    DWORD status = 0, size = sizeof(status);
    if (file == nullptr || !publish(s, file, &DownloadState::file)) {
      error = DownloadState::kOpenFailed;
    } else if (!HttpQueryInfoW(file, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr) ||
               status >= 400) {
      error = DownloadState::kOpenFailed;
    }
  }
  if (error == DownloadState::kNoError) {
    DWORD length = 0, size = sizeof(length);
    // No announced length (or one beyond what the counters hold) leaves the progress unknown.
    if (HttpQueryInfoW(file, HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, &length, &size, nullptr) &&
        length <= 0x7FFFFFFF) {
      s.total = static_cast<LONG>(length);
    } else {
      s.total = 0;
    }
    try {
      if (!target.Open(s.path, CFile::modeCreate | CFile::modeWrite | CFile::typeBinary)) {
        throw new CFileException(CFileException::genericException, static_cast<LONG>(GetLastError()), s.path);
      }
      created = true;
      std::vector<BYTE> chunk(kChunkBytes);
      while (s.running) {
        DWORD got = 0;
        if (!InternetReadFile(file, chunk.data(), kChunkBytes, &got)) {
          error = DownloadState::kTransferFailed;
          break;
        }
        if (got == 0) break;
        target.Write(chunk.data(), got);
        s.received += static_cast<LONG>(got);
      }
      target.Close();
    } catch (CFileException* e) {
      e->Delete();
      target.Abort();
      error = DownloadState::kSaveFailed;
    }
    if (error == DownloadState::kNoError && !s.running) error = DownloadState::kCancelled;
    // A reply that ended before its announced length is no installer.
    if (error == DownloadState::kNoError && s.total > 0 && s.received != s.total) error = DownloadState::kTransferFailed;
  }
  closeInternetHandles(s);
  if (error != DownloadState::kNoError && created) DeleteFileW(s.path);
  s.error = error;
  s.running = false;
  s.done = true;
  SetEvent(s.event);
}

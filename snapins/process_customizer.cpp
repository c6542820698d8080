// The process snap-ins (process_customizer.h).
#include "snapins/process_customizer.h"

#include "app/file_util.h"
#include "app/log.h"
#include "app/messages.h"
#include "app/profile_database.h"
#include "app/program_texts.h"
#include "app/window_finder.h"
#include "app/windows_helpers.h"
#include "lang/ids.h"
#include "outlook/confirmation_closer.h"
#include "platform/afx/coll.h"
#include "platform/win32/message.h"
#include "platform/win32/time.h"
#include "platform/win32/window.h"

namespace {

constexpr DWORD kPollMs = 1000;
constexpr DWORD kWordStepMs = 500;
constexpr DWORD kDefaultWaitSeconds = 20;
constexpr DWORD kMemberFlags = kProcessCloseAtBackup | kProcessCloseAtDepersonalize;
constexpr DWORD kDefaultFlags = kProcessCloseAtBackup | kProcessCloseAtDepersonalize | kProcessRestartAtRestore;
constexpr int kFirstPowerPointFrame = 7;
constexpr int kLastPowerPointFrame = 19;

constexpr const char16_t* kDefaultName = u"Process Control";
constexpr const char16_t* kPowerPointFrameFormat = u"PP%dFrameClass";
constexpr const char16_t* kWordDialogTitle = u"Microsoft Word";
constexpr const char16_t* kWordOfficeDialogTitle = u"Microsoft Office Word";
constexpr const char16_t* kDialogClass = u"#32770";

constexpr const char16_t* kLogListFailed = u"{ProcessCustomizer}: Failed to list processes while checking for: %s.";
constexpr const char16_t* kLogStillRunning = u"{ProcessCustomizer}: %s (%s) still runs after it was asked to close.";
constexpr const char16_t* kLogPostFailed = u"{ProcessCustomizer}: Failed to ask a window of %s (%s) to close.";
constexpr const char16_t* kLogWordConfirmation = u"{CWordProcessCustomizer}: Close Microsoft Word confirmation window.";

}  // namespace

// ---- CProcessCustomizer ---------------------------------------------------------------------------

CProcessCustomizer::CProcessCustomizer()
    : CProcessCustomizer(CString(kDefaultName), CString(), CString(), CString(), CString(), false, kDefaultFlags, true,
                         kDefaultWaitSeconds) {}

CProcessCustomizer::CProcessCustomizer(const CString& name, const CString& displayName, const CString& windowTitle,
                                       const CString& windowClass, const CString& imageName, bool startWithoutCheck,
                                       DWORD flags, bool startMinimized, DWORD waitSeconds)
    : CCustomizer(name),
      m_displayName(displayName),
      m_windowTitle(windowTitle),
      m_windowClass(windowClass),
      m_imageName(imageName),
      m_startWithoutCheck(startWithoutCheck),
      m_flags(flags),
      m_startMinimized(startMinimized),
      m_waitSeconds(waitSeconds) {}

CProcessCustomizer::~CProcessCustomizer() = default;

bool CProcessCustomizer::isProcessRunning() {
  CStringArray names;
  if (!listUserProcessNames(names)) {
    writeLog(kLogListFailed, m_imageName);
    return false;
  }
  const CString image = getFileName(m_imageName);
  if (image.IsEmpty()) return false;
  for (INT_PTR i = 0; i < names.GetSize(); ++i) {
    if (names[i].CompareNoCase(image.GetString()) == 0) return true;
  }
  return false;
}

std::vector<HWND> CProcessCustomizer::findMainWindows() const {
  std::vector<HWND> windows;
  CWindowFinder().findWindows(m_windowClass, m_windowTitle, windows);
  return windows;
}

void CProcessCustomizer::waitForExit(const std::function<void()>& eachPoll) {
  for (DWORD i = 0; i < m_waitSeconds; ++i) {
    if (!isProcessRunning()) return;
    if (eachPoll) eachPoll();
    Sleep(kPollMs);
  }
}

int CProcessCustomizer::requestClose() {
  const std::vector<HWND> windows = findMainWindows();
  bool allPosted = true;
  for (HWND window : windows) {
    if (!PostMessageW(window, WM_CLOSE, 0, 0)) {
      writeLog(kLogPostFailed, m_displayName, m_imageName);
      allPosted = false;
    }
  }
  // Nothing asked, nothing to wait for; a failed request will not end the program either.
  if (!windows.empty() && allPosted) waitForExit();
  return static_cast<int>(windows.size());
}

bool CProcessCustomizer::closeEnded() {
  if (!isProcessRunning()) return true;
  writeLog(kLogStillRunning, m_displayName, m_imageName);
  return false;
}

bool CProcessCustomizer::closeProcess() {
  requestClose();
  return closeEnded();
}

bool CProcessCustomizer::startProcess() {
  if (!m_startWithoutCheck && !fileExists(m_imageName)) return true;
  return shellOpen(m_imageName, m_startMinimized);
}

bool CProcessCustomizer::needsCloseAtLogin() { return (m_flags & kProcessCloseAtBackup) && isProcessRunning(); }

bool CProcessCustomizer::needsCloseAtLogout() {
  return (m_flags & (kProcessCloseAtDepersonalize | kProcessCloseAtRestore)) && isProcessRunning();
}

bool CProcessCustomizer::backup() {
  m_closedByBackup = false;
  if ((m_flags & kProcessCloseAtBackup) && isProcessRunning()) {
    if (!closeProcess()) return false;
    m_closedByBackup = true;
  }
  return CCustomizer::backup();
}

bool CProcessCustomizer::personalize() {
  if (m_flags & kProcessStartAtPersonalize) return startProcess();
  return true;
}

bool CProcessCustomizer::depersonalize() {
  if ((m_flags & kProcessCloseAtDepersonalize) && isProcessRunning()) return closeProcess();
  return true;
}

bool CProcessCustomizer::restore() {
  if ((m_flags & kProcessCloseAtRestore) && isProcessRunning() && !closeProcess()) {
    showMessageById(IDS_PROC_CLOSE_FAILED_LOGOUT, g_applicationName, m_displayName, m_displayName, m_displayName);
  }
  if ((m_flags & kProcessRestartAtRestore) && m_closedByBackup) return startProcess();
  setPersonalized(false);
  return true;
}

// ---- the members ----------------------------------------------------------------------------------

namespace {

// Office's snap-ins are not synchronized for this computer unless the user says so.
void stopSynchronizingHere(CCustomizer& customizer) {
  if (CSystemProfile* self = getProfileDatabase().getThisComputerProfile()) customizer.setSynchronized(self, false);
}

}  // namespace

CIEProcessCustomizer::CIEProcessCustomizer()
    : CProcessCustomizer(CString(u"IE Process Control"), CString(u"Internet Explorer"), CString(), CString(u"IEFrame"),
                         CString(u"IExplore.exe"), false, kMemberFlags, false, kDefaultWaitSeconds) {}

CWordProcessCustomizer::CWordProcessCustomizer()
    : CProcessCustomizer(CString(u"Word Process Control"), CString(u"Microsoft Word"), CString(), CString(u"OpusApp"),
                         CString(u"winword.exe"), false, kMemberFlags, false, kDefaultWaitSeconds),
      m_confirmationCloser(std::make_unique<CConfirmationCloser>(
          CString(kWordDialogTitle), CString(kWordOfficeDialogTitle), CString(kDialogClass))) {
  stopSynchronizingHere(*this);
}

CWordProcessCustomizer::~CWordProcessCustomizer() = default;

bool CWordProcessCustomizer::closeConfirmationWindow() { return m_confirmationCloser->closeWindows(); }

void CWordProcessCustomizer::answerConfirmation() {
  if (m_confirmationCloser->closeWindows()) writeLog(kLogWordConfirmation);
}

bool CWordProcessCustomizer::closeWordWindows(int& asked) {
  asked = 0;
  bool ok = true;
  for (HWND window : findMainWindows()) {
    ShowWindow(window, SW_SHOWNORMAL);
    if (!PostMessageW(window, WM_CLOSE, 0, 0)) {
      writeLog(kLogPostFailed, m_displayName, m_imageName);
      ok = false;
      continue;
    }
    ++asked;
    // Word asks about unsaved documents inside its WM_CLOSE: give the box time to come up.
    Sleep(kWordStepMs);
    answerConfirmation();
  }
  return ok;
}

bool CWordProcessCustomizer::closeWordWindows() {
  int asked = 0;
  return closeWordWindows(asked);
}

bool CWordProcessCustomizer::closeProcess() {
  int asked = 0;
  if (!closeWordWindows(asked)) return false;
  if (asked > 0) {
    Sleep(kWordStepMs);
    // A box that came up later than the first look is answered while Word is waited for.
    waitForExit([this] { answerConfirmation(); });
  }
  return closeEnded();
}

CExcelProcessCustomizer::CExcelProcessCustomizer()
    : CProcessCustomizer(CString(u"Excel Process Control"), CString(u"Microsoft Excel"), CString(), CString(u"XLMAIN"),
                         CString(u"excel.exe"), false, kMemberFlags, false, kDefaultWaitSeconds) {
  stopSynchronizingHere(*this);
}

bool CExcelProcessCustomizer::closeProcess() {
  // A minimized Excel window does not take the close until it is restored.
  for (HWND window : findMainWindows()) PostMessageW(window, WM_SYSCOMMAND, SC_RESTORE, 0);
  return CProcessCustomizer::closeProcess();
}

CPowerPointProcessCustomizer::CPowerPointProcessCustomizer()
    : CProcessCustomizer(CString(u"PowerPoint Process Control"), CString(u"Microsoft PowerPoint"), CString(),
                         CString(), CString(u"powerpnt.exe"), false, kMemberFlags, false, kDefaultWaitSeconds) {
  m_windowClass.Format(kPowerPointFrameFormat, kFirstPowerPointFrame);
  stopSynchronizingHere(*this);
}

bool CPowerPointProcessCustomizer::closeProcess() {
  // Each PowerPoint version has its own frame class; the process list is checked once, after all.
  for (int version = kFirstPowerPointFrame; version <= kLastPowerPointFrame; ++version) {
    m_windowClass.Format(kPowerPointFrameFormat, version);
    requestClose();
  }
  return closeEnded();
}

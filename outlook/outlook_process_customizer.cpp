// The Outlook process snap-ins (outlook_process_customizer.h).
#include "outlook/outlook_process_customizer.h"

#include <vector>

#include "app/customizer_doc.h"
#include "app/file_util.h"
#include "app/log.h"
#include "app/messages.h"
#include "app/program_texts.h"
#include "app/window_finder.h"
#include "lang/ids.h"
#include "outlook/confirmation_closer.h"
#include "outlook/outlook_customizer_base.h"
#include "outlook/outlook_install.h"
#include "outlook/outlook_profile_manager.h"
#include "platform/win32/message.h"
#include "platform/win32/time.h"
#include "platform/win32/window.h"
#include "snapins/factory_context.h"

namespace {

constexpr DWORD kWaitSeconds = 20;
constexpr DWORD kWordConfirmationWaitMs = 1000;
constexpr DWORD kConfirmationWaitMs = 500;
constexpr DWORD kEndProcessWaitMs = 5000;

constexpr const char16_t* kProgramTitle = u"Microsoft Outlook";
constexpr const char16_t* kMainWindowClass = u"rctrl_renwnd32";
constexpr const char16_t* kMainWindowTitle = u"Microsoft Outlook";
constexpr const char16_t* kOfficeMainWindowTitle = u"Microsoft Office Outlook";
constexpr const char16_t* kWordProcessName = u"Word Process Control";

constexpr const char16_t* kLogPersonalizeFailed = u"Failed to open Outlook during personalize.";
constexpr const char16_t* kLogConfirmationClosed = u"{OutlookProcessCustomizer}: Close Outlook confirmation window.";

std::vector<HWND> outlookWindows(const char16_t* title) {
  std::vector<HWND> windows;
  CWindowFinder().findWindows(CString(kMainWindowClass), CString(title), windows);
  return windows;
}

}  // namespace

COutlookProcessCustomizer::COutlookProcessCustomizer(DWORD flags)
    : CProcessCustomizer(CString(kOutlookProcessCustomizerName), CString(kProgramTitle), CString(kMainWindowTitle),
                         CString(kMainWindowClass), getOutlookExePath(), false, flags, false, kWaitSeconds),
      m_document(factoryDocument()),
      m_confirmationCloser(std::make_unique<COutlookConfirmationCloser>()) {}

COutlookProcessCustomizer::~COutlookProcessCustomizer() = default;

bool COutlookProcessCustomizer::isOutlookCarried() const {
  COutlookCustomizerBase* outlook = findOutlookCustomizer(m_document);
  return outlook && outlook->isSupportedOutlookVersion();
}

bool COutlookProcessCustomizer::personalize() {
  if (!isOutlookCarried()) return true;
  if (CProcessCustomizer::personalize()) return true;
  writeLog(kLogPersonalizeFailed);
  return false;
}

bool COutlookProcessCustomizer::backup() {
  if (!isOutlookCarried()) return true;
  if (CProcessCustomizer::backup()) return true;
  showMessageById(IDS_OUTLOOK_CLOSE_FAILED_LOGIN, g_applicationName);
  return false;
}

bool COutlookProcessCustomizer::restore() {
  if (!isOutlookCarried()) return true;
  if (CProcessCustomizer::restore()) return true;
  showMessageById(IDS_OUTLOOK_CLOSE_FAILED_LOGOUT, g_applicationName);
  return false;
}

bool COutlookProcessCustomizer::closeProcess() {
  const std::vector<HWND> plain = outlookWindows(kMainWindowTitle);
  const std::vector<HWND> office = outlookWindows(kOfficeMainWindowTitle);
  if (plain.empty() && office.empty()) return true;

  // Word may be Outlook's mail editor, with a question of its own that holds Outlook up.
  if (m_document) {
    auto* word = dynamic_cast<CWordProcessCustomizer*>(m_document->findCustomizer(CString(kWordProcessName)));
    if (word && word->isProcessRunning()) {
      word->closeConfirmationWindow();
      Sleep(kWordConfirmationWaitMs);
    }
  }

  bool ok = true;
  for (const std::vector<HWND>* windows : {&plain, &office})
    for (HWND window : *windows)
      if (!PostMessageW(window, WM_CLOSE, 0, 0)) ok = false;
  if (ok) {
    Sleep(kConfirmationWaitMs);
    if (m_confirmationCloser->closeWindows()) writeLog(kLogConfirmationClosed);
  }
  if (isProcessRunning()) {
    for (const char16_t* title : {kMainWindowTitle, kOfficeMainWindowTitle})
      for (HWND window : outlookWindows(title))
        if (!closeProcessOfWindow(window, kEndProcessWaitMs)) ok = false;
    // An Outlook whose windows are gone may still be writing its profile on the way out; the
    // profiles must not change under it.
    waitForExit();
    if (isProcessRunning()) ok = false;
  }
  return ok;
}

COutlookProcessBackup::COutlookProcessBackup()
    : COutlookProcessCustomizer(kProcessCloseAtBackup | kProcessRestartAtRestore) {}

COutlookProcessBackup::~COutlookProcessBackup() = default;

COutlookProcessPersonalize::COutlookProcessPersonalize() : COutlookProcessCustomizer(kProcessCloseAtDepersonalize) {}

COutlookProcessPersonalize::~COutlookProcessPersonalize() = default;

// The confirmation closer (confirmation_closer.h).
#include "outlook/confirmation_closer.h"

#include <string_view>

#include "app/log.h"
#include "app/messages.h"
#include "lang/ids.h"
#include "platform/win32/message.h"
#include "platform/win32/window.h"

namespace {

constexpr int kNameLimit = 1024;
constexpr const char16_t* kButtonClass = u"Button";
constexpr const char16_t* kLogFound = u"Found %s Confirmation Window: 0x%08X";

constexpr const char16_t* kOutlookFirstTitle = u"Microsoft Outlook";
constexpr const char16_t* kOutlookSecondTitle = u"Microsoft Office Outlook";
constexpr const char16_t* kDialogClass = u"#32770";

CString classNameOf(HWND window) {
  WCHAR buffer[kNameLimit + 1] = {};
  GetClassNameW(window, buffer, kNameLimit);
  return CString(buffer);
}

CString textOf(HWND window) {
  WCHAR buffer[kNameLimit + 1] = {};
  GetWindowTextW(window, buffer, kNameLimit);
  return CString(buffer);
}

bool startsWith(const CString& text, const CString& prefix) { return text.view().starts_with(prefix.view()); }

}  // namespace

// ---- CConfirmationCloser ----------------------------------------------------------------------

CConfirmationCloser::CConfirmationCloser(const CString& firstTitle, const CString& secondTitle,
                                         const CString& windowClass)
    : m_firstTitle(firstTitle), m_secondTitle(secondTitle), m_windowClass(windowClass) {}

CConfirmationCloser::~CConfirmationCloser() = default;

bool CConfirmationCloser::closeWindows() {
  m_found = false;
  EnumWindows(closeConfirmationCallback, reinterpret_cast<LPARAM>(this));
  return m_found;
}

bool CConfirmationCloser::isConfirmationWindow(HWND window) const {
  const CString title = textOf(window);
  if (!startsWith(title, m_firstTitle) && !startsWith(title, m_secondTitle)) return false;
  return startsWith(classNameOf(window), m_windowClass);
}

COutlookConfirmationCloser::COutlookConfirmationCloser()
    : CConfirmationCloser(CString(kOutlookFirstTitle), CString(kOutlookSecondTitle), CString(kDialogClass)) {}

COutlookConfirmationCloser::~COutlookConfirmationCloser() = default;

// ---- the Yes button ---------------------------------------------------------------------------

bool isConfirmButton(HWND window) {
  if (!startsWith(classNameOf(window), CString(kButtonClass))) return false;
  const CString yes = loadResString(IDS_CONFIRM_YES_PREFIX);
  // Without the language's Yes text every button would match, No and Cancel included.
  if (yes.IsEmpty()) return false;
  return startsWith(textOf(window), yes);
}

BOOL CALLBACK findConfirmButton(HWND window, LPARAM param) {
  if (isConfirmButton(window)) *reinterpret_cast<HWND*>(param) = window;
  return TRUE;
}

bool clickConfirmButton(HWND window) {
  HWND button = nullptr;
  EnumChildWindows(window, findConfirmButton, reinterpret_cast<LPARAM>(&button));
  if (!button) return false;
  ShowWindow(window, SW_SHOWDEFAULT);
  // Sent twice: a box that is only coming to the front may take the first click for that. Each
  // click has been handled by the program's thread when SendMessageW returns.
  SendMessageW(button, BM_CLICK, 0, 0);
  SendMessageW(button, BM_CLICK, 0, 0);
  return true;
}

BOOL CALLBACK closeConfirmationCallback(HWND window, LPARAM param) {
  auto* closer = reinterpret_cast<CConfirmationCloser*>(param);
  if (!closer->isConfirmationWindow(window)) return TRUE;
  writeLog(kLogFound, closer->getFirstTitle(), static_cast<DWORD>(reinterpret_cast<UINT_PTR>(window)));
  if (clickConfirmButton(window)) closer->setFound(true);
  return TRUE;
}

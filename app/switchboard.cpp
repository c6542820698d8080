// The switchboard and its hidden window (switchboard.h), and the message classes and typed
// listeners (app_messages.h).
#include "app/switchboard.h"

#include <algorithm>
#include <memory>

// ---- messages and typed listeners -------------------------------------------------------------

IMPLEMENT_DYNCREATE(CAppMessage, CObject)
IMPLEMENT_DYNCREATE(CLoginMessage, CAppMessage)
IMPLEMENT_DYNCREATE(CAnimationStatus, CAppMessage)
IMPLEMENT_DYNCREATE(CProgress, CAppMessage)
IMPLEMENT_DYNCREATE(CSyncStatus, CAppMessage)

void CSyncStatusListener::onMessage(CAppMessage* message) {
  if (auto* status = dynamic_cast<CSyncStatus*>(message)) onSyncStatus(status);
}

void CProgressListener::onMessage(CAppMessage* message) {
  if (auto* progress = dynamic_cast<CProgress*>(message)) onProgress(progress);
}

void CLoginMessageListener::onMessage(CAppMessage* message) {
  if (auto* login = dynamic_cast<CLoginMessage*>(message)) onLoginMessage(login);
}

void CAnimationStatusListener::onMessage(CAppMessage* message) {
  if (auto* status = dynamic_cast<CAnimationStatus*>(message)) onAnimationStatus(status);
}

// ---- the hidden window ------------------------------------------------------------------------

namespace {
constexpr const char16_t* kWindowName = u"QX Switchboard";
}

BEGIN_MESSAGE_MAP(CSwitchboardWindow, CWnd)
  ON_MESSAGE(WM_SWITCHBOARD_MESSAGE, OnAppMessage)
END_MESSAGE_MAP()

BOOL CSwitchboardWindow::create(HWND parent) {
  LPCWSTR windowClass = AfxRegisterWndClass(0);
  return CreateEx(0, windowClass, kWindowName, 0, 0, 0, 10, 10, parent, nullptr);
}

LRESULT CSwitchboardWindow::OnAppMessage(WPARAM wParam, LPARAM) {
  m_switchboard->deliver(wParam);
  return 0;
}

void CSwitchboardWindow::PostNcDestroy() { m_switchboard->windowDestroyed(); }

// ---- the switchboard --------------------------------------------------------------------------

IMPLEMENT_DYNCREATE(CSwitchboard, CObject)

CSwitchboard::CSwitchboard() : m_window(this) {
  CWnd* mainWindow = AfxGetMainWnd();
  m_window.create(platform::afx::hwndOf(mainWindow));
}

CSwitchboard::~CSwitchboard() {
  if (m_window.GetSafeHwnd()) m_window.DestroyWindow();
  windowDestroyed();
}

bool CSwitchboard::windowExists() const {
  HWND window = m_window.GetSafeHwnd();
  return window && IsWindow(window);
}

void CSwitchboard::windowDestroyed() {
  // Whatever was queued for the window is lost with it; the messages are still ours to free.
  std::unordered_set<CAppMessage*> orphans;
  orphans.swap(m_pending);
  for (CAppMessage* message : orphans) delete message;
}

bool CSwitchboard::addListener(CSwitchboardListener* listener) {
  if (!listener) return false;
  listeners.push_back(listener);
  return true;
}

bool CSwitchboard::removeListener(CSwitchboardListener* listener) {
  if (!listener) return false;
  auto entry = std::find(listeners.begin(), listeners.end(), listener);
  if (entry == listeners.end()) return false;
  if (m_dispatchDepth > 0) {
    *entry = nullptr;
    m_hasRemoved = true;
  } else {
    listeners.erase(entry);
  }
  return true;
}

int CSwitchboard::listenerCount() const {
  return static_cast<int>(std::count_if(listeners.begin(), listeners.end(), [](auto* l) { return l != nullptr; }));
}

void CSwitchboard::compactListeners() {
  if (!m_hasRemoved) return;
  listeners.erase(std::remove(listeners.begin(), listeners.end(), nullptr), listeners.end());
  m_hasRemoved = false;
}

bool CSwitchboard::postMessage(CAppMessage* message) {
  if (!message) return false;
  // Posted twice before its delivery: it is waiting once already and stays ours.
  if (m_pending.count(message)) return false;
  std::unique_ptr<CAppMessage> owned(message);
  if (!windowExists()) return true;
  m_pending.insert(message);
  if (!PostMessageW(m_window.GetSafeHwnd(), WM_SWITCHBOARD_MESSAGE, reinterpret_cast<WPARAM>(message), 0)) {
    m_pending.erase(message);
    return false;
  }
  owned.release();  // now in m_pending
  return true;
}

bool CSwitchboard::sendMessage(CAppMessage* message) {
  if (!message) return false;
  if (m_pending.count(message)) return false;
  if (!windowExists()) {
    delete message;
    return true;
  }
  m_pending.insert(message);
  SendMessageW(m_window.GetSafeHwnd(), WM_SWITCHBOARD_MESSAGE, reinterpret_cast<WPARAM>(message), 0);
  // Normally delivered (and deleted) by now; if the window went on the way, it was freed with it.
  if (m_pending.erase(message)) delete message;
  return true;
}

void CSwitchboard::deliver(WPARAM wParam) {
  auto* message = reinterpret_cast<CAppMessage*>(wParam);
  // Only compared as an address until it is found among our own messages.
  if (!m_pending.erase(message)) return;
  dispatch(message);
}

void CSwitchboard::dispatch(CAppMessage* message) {
  if (!message) return;
  std::unique_ptr<CAppMessage> owned(message);
  struct DepthGuard {
    CSwitchboard& board;
    explicit DepthGuard(CSwitchboard& b) : board(b) { ++board.m_dispatchDepth; }
    ~DepthGuard() {
      if (--board.m_dispatchDepth == 0) board.compactListeners();
    }
  } guard(*this);
  // The count is read again after each call: listeners appended meanwhile get the message too.
  for (std::size_t i = 0; i < listeners.size(); ++i) {
    if (CSwitchboardListener* listener = listeners[i]) listener->onMessage(message);
  }
}

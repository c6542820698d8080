// The switchboard: the main program's in-process event hub. Work deep inside the document, the
// run coordinator or a synchronizer reports progress, synchronization status, login state and the
// end of window animations by handing a heap message to the switchboard; every window that wants
// to know registers a listener. Delivery happens on the UI thread through the hidden window
// "QX Switchboard": later (post: WM_USER+40 through the message loop or the nested pump) or at
// once (send).
//
// Ownership: a message handed to postMessage or sendMessage belongs to the switchboard whatever
// happens next. It is deleted after its last listener, when there is no window to deliver it
// through, when the post fails, when a listener throws, or when the switchboard (or its window)
// goes while it is still queued. The caller never touches it again.
//
// WM_USER+40 reaches the hidden window from anywhere, another process included, so its parameter
// is trusted only when it names a message this switchboard handed to its window and has not yet
// delivered; anything else is ignored.
//
// Listeners may register and unregister while a dispatch runs, also from nested sends: one added
// then receives the current message too; one removed is not called again, by this dispatch or an
// outer one, and the listeners after it still receive the message.
#pragma once

#include <unordered_set>
#include <vector>

#include "app/app_messages.h"
#include "platform/afx/afxwin.h"

// Window message of a posted or sent switchboard message; wParam: the CAppMessage.
inline constexpr UINT WM_SWITCHBOARD_MESSAGE = WM_USER + 40;

class CSwitchboard;

// The switchboard's hidden window.
class CSwitchboardWindow : public CWnd {
 public:
  explicit CSwitchboardWindow(CSwitchboard* owner) : m_switchboard(owner) {}

  // Creates the window "QX Switchboard", owned by `parent` (none: null).
  BOOL create(HWND parent);

 protected:
  afx_msg LRESULT OnAppMessage(WPARAM wParam, LPARAM lParam);
  void PostNcDestroy() override;
  DECLARE_MESSAGE_MAP()

 private:
  CSwitchboard* m_switchboard;
};

class CSwitchboard : public CObject {
  DECLARE_DYNCREATE(CSwitchboard)
 public:
  // Creates the hidden window, owned by the main window when one exists.
  CSwitchboard();
  // Destroys the window (queued messages are then never delivered) and frees every message still
  // waiting; the listeners are forgotten, not deleted.
  ~CSwitchboard() override;
  CSwitchboard(const CSwitchboard&) = delete;
  CSwitchboard& operator=(const CSwitchboard&) = delete;

  // Null: false. Otherwise appends the listener (also when it is registered already).
  bool addListener(CSwitchboardListener* listener);
  // Removes the first registration of the listener; false when it has none.
  bool removeListener(CSwitchboardListener* listener);

  // Queues the message for delivery through the message loop. True when queued, and (delivering
  // nothing) when the window does not exist; false when the post failed or the message is null
  // or already waiting. The message is the switchboard's in every case.
  bool postMessage(CAppMessage* message);
  // Delivers the message to every listener before returning (then it has been deleted). True
  // also when there is no window (nothing delivered, message deleted); false for null.
  bool sendMessage(CAppMessage* message);

  // Calls every listener with the message in registration order, then deletes it. A listener's
  // exception ends the dispatch (the later listeners do not see the message) and propagates to
  // the caller; the message is deleted all the same. Null: nothing.
  void dispatch(CAppMessage* message);

  // Called by the window for WM_USER+40: dispatches wParam when it is a message of this
  // switchboard still waiting for delivery, else ignores it.
  void deliver(WPARAM wParam);

  HWND windowHandle() const { return m_window.GetSafeHwnd(); }
  // Registrations (removed ones excluded) and messages still waiting, for diagnostics and tests.
  int listenerCount() const;
  int pendingCount() const { return static_cast<int>(m_pending.size()); }

 private:
  friend class CSwitchboardWindow;
  bool windowExists() const;
  // The window is gone: nothing still queued for it will arrive.
  void windowDestroyed();
  void compactListeners();

  // Removed entries stay as null while any dispatch runs, so the positions that running
  // dispatches hold stay valid; they are dropped when the outermost dispatch ends.
  std::vector<CSwitchboardListener*> listeners;
  int m_dispatchDepth = 0;
  bool m_hasRemoved = false;
  // Messages handed to the window and not yet delivered; owned.
  std::unordered_set<CAppMessage*> m_pending;
  CSwitchboardWindow m_window;
};

// Command targets and message maps: CCmdTarget (the class whose message map answers commands,
// update-UI requests and notifications), CCmdUI, and the macros that build a class's map.
//
// A map entry holds a small "thunk" instantiated for the handler's exact member-function type:
// each ON_* macro casts the handler to the signature that message has, so a handler with the
// wrong signature does not compile, and no argument ever travels through C varargs. Handlers are
// named without their class, as the class library's wizards write them:
//   BEGIN_MESSAGE_MAP(CMainFrame, CFrameWnd)
//     ON_WM_CREATE()
//     ON_COMMAND(ID_FILE_SYNC, OnFileSync)
//     ON_COMMAND(ID_FILE_NEW, CWinApp::OnFileNew)   // a base class's handler
//   END_MESSAGE_MAP()
#pragma once

#include <type_traits>

#include "platform/afx/cstring.h"
#include "platform/afx/object.h"
#include "platform/win32/dialog.h"
#include "platform/win32/message.h"

class CCmdTarget;
class CCmdUI;
class CWnd;

#ifndef afx_msg
#define afx_msg
#endif

// nCode values of OnCmdMsg besides control notification codes; a WM_NOTIFY code arrives as
// MAKELONG(code, WM_NOTIFY).
#define CN_COMMAND 0
#define CN_UPDATE_COMMAND_UI (-1)
// Messages a parent reflects back to the child control they came from.
#define WM_REFLECT_BASE 0xBC00

// The framework's own command ids.
#define ID_APP_ABOUT 0xE140
#define ID_APP_EXIT 0xE141
#define ID_FILE_NEW 0xE100
#define ID_FILE_OPEN 0xE101
#define ID_FILE_CLOSE 0xE102
#define ID_FILE_SAVE 0xE103
#define ID_FILE_SAVE_AS 0xE104
#define ID_HELP 0xE146
#define ID_WINDOW_NEW 0xE130
#define ID_WINDOW_CASCADE 0xE132
#define ID_WINDOW_TILE_HORZ 0xE133
#define ID_WINDOW_TILE_VERT 0xE134
#define AFX_IDW_PANE_FIRST 0xE900
#define AFX_IDW_PANE_LAST 0xE9FF
// The id of the first MDI child window in the MDI client.
#define AFX_IDM_FIRST_MDICHILD 0xFF00

// What OnCmdMsg's pExtra points to for a WM_NOTIFY.
struct AFX_NOTIFY {
  LRESULT* pResult;
  NMHDR* pNMHDR;
};

// Filled instead of calling the handler when OnCmdMsg is asked only whether one exists.
struct AFX_CMDHANDLERINFO {
  CCmdTarget* pTarget;
};

namespace platform::afx {

// One call through a map entry: the message and, for commands and notifications, the id, code
// and extra record. The thunk sets `result` and returns whether the message counts as handled.
struct MsgCall {
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  LRESULT result;
  UINT nID;
  int nCode;
  void* pExtra;
};
using Thunk = BOOL (*)(CCmdTarget* target, MsgCall& call);

}  // namespace platform::afx

struct AFX_MSGMAP_ENTRY {
  UINT nMessage;           // window message, WM_COMMAND, WM_NOTIFY or WM_REFLECT_BASE + one of them
  UINT nCode;              // command or notification code
  UINT nID;                // first command or control id
  UINT nLastID;            // last id of a range (== nID otherwise)
  const UINT* pRegistered; // a registered message's variable, read when the map is searched
  platform::afx::Thunk pfn;
};

struct AFX_MSGMAP {
  const AFX_MSGMAP* (*pfnGetBaseMap)();
  const AFX_MSGMAP_ENTRY* lpEntries;
};

namespace platform::afx {

// The first entry of the map chain (the class's own map, then its bases') that handles the
// message (for WM_COMMAND/WM_NOTIFY and their reflections: that code and id), or null.
const AFX_MSGMAP_ENTRY* findMessageEntry(const AFX_MSGMAP* map, UINT message, UINT code, UINT id);

}  // namespace platform::afx

// Menu items the update-UI pass reaches; the menus implement it.
namespace platform::afx {
struct MenuItemUI {
  virtual ~MenuItemUI() = default;
  virtual void enable(UINT index, bool on) = 0;
  virtual void check(UINT index, int state) = 0;
  virtual void radio(UINT index, bool on) = 0;
  virtual void text(UINT index, LPCWSTR text) = 0;
};
}  // namespace platform::afx

// The object an update-UI handler is given: one menu item (m_pMenuItems, m_nIndex) or one window
// (m_pOther: a button, a toolbar's control). Handlers call Enable/SetCheck/SetText.
class CCmdUI {
 public:
  virtual ~CCmdUI() = default;

  UINT m_nID = 0;
  UINT m_nIndex = 0;
  UINT m_nIndexMax = 0;
  platform::afx::MenuItemUI* m_pMenuItems = nullptr;
  CWnd* m_pOther = nullptr;
  BOOL m_bEnableChanged = FALSE;
  BOOL m_bContinueRouting = FALSE;

  virtual void Enable(BOOL bOn = TRUE);
  // 0 unchecked, 1 checked, 2 indeterminate.
  virtual void SetCheck(int nCheck = 1);
  virtual void SetRadio(BOOL bOn = TRUE);
  virtual void SetText(LPCWSTR lpszText);
  // Lets the next target in the route handle the same request too.
  void ContinueRouting() { m_bContinueRouting = TRUE; }

  // Asks pTarget's route for an update-UI handler. With bDisableIfNoHndler, an item with neither
  // an update-UI handler that enabled/disabled it nor a command handler is disabled.
  BOOL DoUpdate(CCmdTarget* pTarget, BOOL bDisableIfNoHndler);
};

namespace platform::afx {
// The update-UI request OnCommand makes before running a menu or accelerator command: it only
// records whether a handler disabled the command.
class ProbeCmdUI : public CCmdUI {
 public:
  BOOL m_bEnabled = TRUE;
  void Enable(BOOL bOn = TRUE) override {
    m_bEnabled = bOn;
    m_bEnableChanged = TRUE;
  }
  void SetCheck(int) override {}
  void SetRadio(BOOL) override {}
  void SetText(LPCWSTR) override {}
};
}  // namespace platform::afx

class CCmdTarget : public CObject {
  DECLARE_DYNAMIC(CCmdTarget)

 public:
  CCmdTarget() = default;
  ~CCmdTarget() override = default;

  // Routes a command (nCode CN_COMMAND or a control notification code), an update-UI request
  // (CN_UPDATE_COMMAND_UI, pExtra a CCmdUI*) or a notification (MAKELONG(code, WM_NOTIFY), pExtra
  // an AFX_NOTIFY*) to this object's map. With pHandlerInfo, only says whether a handler exists.
  virtual BOOL OnCmdMsg(UINT nID, int nCode, void* pExtra, AFX_CMDHANDLERINFO* pHandlerInfo);

  // The wait cursor: nothing is shown on this host; the calls nest as in the class library.
  void BeginWaitCursor() { ++m_nWaitCursor; }
  void EndWaitCursor() {
    if (m_nWaitCursor > 0) --m_nWaitCursor;
  }
  void RestoreWaitCursor() {}

 protected:
  static const AFX_MSGMAP* PASCAL GetThisMessageMap();
  virtual const AFX_MSGMAP* GetMessageMap() const;
  // Calls the handler of one entry found in this object's map.
  BOOL DispatchEntry(const AFX_MSGMAP_ENTRY* entry, platform::afx::MsgCall& call) { return entry->pfn(this, call); }

  int m_nWaitCursor = 0;
};

// ---- Building message maps ----

#define DECLARE_MESSAGE_MAP()                              \
 protected:                                                \
  static const AFX_MSGMAP* PASCAL GetThisMessageMap();     \
  const AFX_MSGMAP* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                           \
  const AFX_MSGMAP* theClass::GetMessageMap() const { return GetThisMessageMap(); }      \
  const AFX_MSGMAP* PASCAL theClass::GetThisMessageMap() {                               \
    using ThisClass = theClass;                                                          \
    using TheBaseClass = baseClass;                                                      \
    static_assert(std::is_base_of_v<TheBaseClass, ThisClass>, "message map base");       \
    static const AFX_MSGMAP_ENTRY _messageEntries[] = {

#define END_MESSAGE_MAP()                                                                \
  {0, 0, 0, 0, nullptr, nullptr}};                                                       \
  static const AFX_MSGMAP messageMap = {&TheBaseClass::GetThisMessageMap, &_messageEntries[0]}; \
  return &messageMap;                                                                    \
  }

namespace platform::afx::thunk {

template <class T>
struct Member;
template <class C, class R, class... A>
struct Member<R (C::*)(A...)> {
  using Class = C;
};
template <class Sig, auto F>
auto* self(CCmdTarget* target) {
  static_assert(std::is_convertible_v<decltype(F), Sig>, "the handler does not have this message's signature");
  return static_cast<typename Member<decltype(F)>::Class*>(target);
}

template <class Sig, auto F>
BOOL command(CCmdTarget* t, MsgCall&) {
  (self<Sig, F>(t)->*F)();
  return TRUE;
}
template <class Sig, auto F>
BOOL commandEx(CCmdTarget* t, MsgCall& c) {
  return (self<Sig, F>(t)->*F)(c.nID);
}
template <class Sig, auto F>
BOOL commandRange(CCmdTarget* t, MsgCall& c) {
  (self<Sig, F>(t)->*F)(c.nID);
  return TRUE;
}
template <class Sig, auto F>
BOOL updateUI(CCmdTarget* t, MsgCall& c) {
  (self<Sig, F>(t)->*F)(static_cast<CCmdUI*>(c.pExtra));
  return TRUE;
}
template <class Sig, auto F>
BOOL notify(CCmdTarget* t, MsgCall& c) {
  auto* n = static_cast<AFX_NOTIFY*>(c.pExtra);
  (self<Sig, F>(t)->*F)(n->pNMHDR, n->pResult);
  return TRUE;
}
template <class Sig, auto F>
BOOL notifyEx(CCmdTarget* t, MsgCall& c) {
  auto* n = static_cast<AFX_NOTIFY*>(c.pExtra);
  return (self<Sig, F>(t)->*F)(n->pNMHDR, n->pResult);
}
template <class Sig, auto F>
BOOL notifyRange(CCmdTarget* t, MsgCall& c) {
  auto* n = static_cast<AFX_NOTIFY*>(c.pExtra);
  (self<Sig, F>(t)->*F)(c.nID, n->pNMHDR, n->pResult);
  return TRUE;
}
template <class Sig, auto F>
BOOL notifyRangeEx(CCmdTarget* t, MsgCall& c) {
  auto* n = static_cast<AFX_NOTIFY*>(c.pExtra);
  return (self<Sig, F>(t)->*F)(c.nID, n->pNMHDR, n->pResult);
}
template <class Sig, auto F>
BOOL message(CCmdTarget* t, MsgCall& c) {
  c.result = (self<Sig, F>(t)->*F)(c.wParam, c.lParam);
  return TRUE;
}

}  // namespace platform::afx::thunk

// An entry whose handler is `fn` of ThisClass cast to signature `sig`, called through `thunk`.
#define AFX_ENTRY(msg, code, id, lastId, sig, thunkName, fn)                                        \
  {static_cast<UINT>(msg), static_cast<UINT>(code), static_cast<UINT>(id), static_cast<UINT>(lastId), \
   nullptr, &::platform::afx::thunk::thunkName<sig, &ThisClass::fn>},

#define ON_COMMAND(id, fn) AFX_ENTRY(WM_COMMAND, CN_COMMAND, id, id, void (ThisClass::*)(), command, fn)
#define ON_COMMAND_EX(id, fn) AFX_ENTRY(WM_COMMAND, CN_COMMAND, id, id, BOOL (ThisClass::*)(UINT), commandEx, fn)
#define ON_COMMAND_RANGE(id, idLast, fn) \
  AFX_ENTRY(WM_COMMAND, CN_COMMAND, id, idLast, void (ThisClass::*)(UINT), commandRange, fn)
#define ON_UPDATE_COMMAND_UI(id, fn) \
  AFX_ENTRY(WM_COMMAND, CN_UPDATE_COMMAND_UI, id, id, void (ThisClass::*)(CCmdUI*), updateUI, fn)
#define ON_UPDATE_COMMAND_UI_RANGE(id, idLast, fn) \
  AFX_ENTRY(WM_COMMAND, CN_UPDATE_COMMAND_UI, id, idLast, void (ThisClass::*)(CCmdUI*), updateUI, fn)

// Control notifications by WM_COMMAND.
#define ON_CONTROL(code, id, fn) AFX_ENTRY(WM_COMMAND, code, id, id, void (ThisClass::*)(), command, fn)
#define ON_CONTROL_RANGE(code, id, idLast, fn) \
  AFX_ENTRY(WM_COMMAND, code, id, idLast, void (ThisClass::*)(UINT), commandRange, fn)

// Notifications by WM_NOTIFY (the code compares as its low 16 bits).
#define ON_NOTIFY(code, id, fn) \
  AFX_ENTRY(WM_NOTIFY, static_cast<WORD>(code), id, id, void (ThisClass::*)(NMHDR*, LRESULT*), notify, fn)
#define ON_NOTIFY_EX(code, id, fn) \
  AFX_ENTRY(WM_NOTIFY, static_cast<WORD>(code), id, id, BOOL (ThisClass::*)(NMHDR*, LRESULT*), notifyEx, fn)
#define ON_NOTIFY_RANGE(code, id, idLast, fn)                                                               \
  AFX_ENTRY(WM_NOTIFY, static_cast<WORD>(code), id, idLast, void (ThisClass::*)(UINT, NMHDR*, LRESULT*), \
            notifyRange, fn)
#define ON_NOTIFY_EX_RANGE(code, id, idLast, fn)                                                            \
  AFX_ENTRY(WM_NOTIFY, static_cast<WORD>(code), id, idLast, BOOL (ThisClass::*)(UINT, NMHDR*, LRESULT*), \
            notifyRangeEx, fn)

// Notifications the parent reflects back to the control (handled in the control's own map).
#define ON_CONTROL_REFLECT(code, fn) \
  AFX_ENTRY(WM_REFLECT_BASE + WM_COMMAND, code, 0, 0, void (ThisClass::*)(), command, fn)
#define ON_NOTIFY_REFLECT(code, fn)                                                               \
  AFX_ENTRY(WM_REFLECT_BASE + WM_NOTIFY, static_cast<WORD>(code), 0, 0,                        \
            void (ThisClass::*)(NMHDR*, LRESULT*), notify, fn)
#define ON_NOTIFY_REFLECT_EX(code, fn)                                                            \
  AFX_ENTRY(WM_REFLECT_BASE + WM_NOTIFY, static_cast<WORD>(code), 0, 0,                        \
            BOOL (ThisClass::*)(NMHDR*, LRESULT*), notifyEx, fn)

// Any message by number, and registered messages by the variable holding their number.
#define ON_MESSAGE(msg, fn) AFX_ENTRY(msg, 0, 0, 0, LRESULT (ThisClass::*)(WPARAM, LPARAM), message, fn)
#define ON_REGISTERED_MESSAGE(var, fn)                                   \
  {0xC000, 0, 0, 0, &(var),                                              \
   &::platform::afx::thunk::message<LRESULT (ThisClass::*)(WPARAM, LPARAM), &ThisClass::fn>},
#define ON_THREAD_MESSAGE(msg, fn) \
  AFX_ENTRY(msg, 0, 0, 0, void (ThisClass::*)(WPARAM, LPARAM), threadMessage, fn)

namespace platform::afx::thunk {
template <class Sig, auto F>
BOOL threadMessage(CCmdTarget* t, MsgCall& c) {
  (self<Sig, F>(t)->*F)(c.wParam, c.lParam);
  return TRUE;
}
}  // namespace platform::afx::thunk

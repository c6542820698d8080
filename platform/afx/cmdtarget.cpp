// CCmdTarget's map search and command dispatch, and CCmdUI's defaults for windows.
#include "platform/afx/cmdtarget.h"

#include "platform/afx/wnd.h"

IMPLEMENT_DYNAMIC(CCmdTarget, CObject)

const AFX_MSGMAP_ENTRY* platform::afx::findMessageEntry(const AFX_MSGMAP* map, UINT message, UINT code, UINT id) {
  const bool byCode = message == WM_COMMAND || message == WM_NOTIFY || message == WM_REFLECT_BASE + WM_COMMAND ||
                      message == WM_REFLECT_BASE + WM_NOTIFY;
  for (; map; map = map->pfnGetBaseMap ? map->pfnGetBaseMap() : nullptr) {
    for (const AFX_MSGMAP_ENTRY* e = map->lpEntries; e && e->pfn; ++e) {
      if (e->pRegistered) {
        if (*e->pRegistered != 0 && *e->pRegistered == message) return e;
        continue;
      }
      if (e->nMessage != message) continue;
      if (!byCode) return e;
      if (e->nCode == code && id >= e->nID && id <= e->nLastID) return e;
    }
    // The root map's base pointer leads back to itself.
    if (map->pfnGetBaseMap && map->pfnGetBaseMap() == map) break;
  }
  return nullptr;
}

const AFX_MSGMAP* PASCAL CCmdTarget::GetThisMessageMap() {
  static const AFX_MSGMAP_ENTRY entries[] = {{0, 0, 0, 0, nullptr, nullptr}};
  static const AFX_MSGMAP map = {nullptr, &entries[0]};
  return &map;
}

const AFX_MSGMAP* CCmdTarget::GetMessageMap() const { return GetThisMessageMap(); }

BOOL CCmdTarget::OnCmdMsg(UINT nID, int nCode, void* pExtra, AFX_CMDHANDLERINFO* pHandlerInfo) {
  UINT message = WM_COMMAND;
  UINT code = static_cast<UINT>(nCode);
  if (nCode != CN_UPDATE_COMMAND_UI && HIWORD(static_cast<UINT>(nCode)) == WM_NOTIFY) {
    message = WM_NOTIFY;
    code = LOWORD(static_cast<UINT>(nCode));
  }
  const AFX_MSGMAP_ENTRY* entry = platform::afx::findMessageEntry(GetMessageMap(), message, code, nID);
  if (!entry) return FALSE;
  if (pHandlerInfo) {
    pHandlerInfo->pTarget = this;
    return TRUE;
  }
  platform::afx::MsgCall call{message, 0, 0, 0, nID, nCode, pExtra};
  if (nCode == CN_UPDATE_COMMAND_UI) {
    auto* ui = static_cast<CCmdUI*>(pExtra);
    ui->m_bContinueRouting = FALSE;
    DispatchEntry(entry, call);
    return !ui->m_bContinueRouting;
  }
  return DispatchEntry(entry, call);
}

// ---- CCmdUI ----

void CCmdUI::Enable(BOOL bOn) {
  if (m_pMenuItems) {
    m_pMenuItems->enable(m_nIndex, bOn != FALSE);
  } else if (m_pOther) {
    // A control losing the focus as it is disabled passes it on, as a dialog does.
    if (!bOn && ::GetFocus() == m_pOther->m_hWnd) {
      HWND parent = ::GetParent(m_pOther->m_hWnd);
      if (parent) ::SendMessageW(parent, WM_NEXTDLGCTL, 0, FALSE);
    }
    m_pOther->EnableWindow(bOn);
  }
  m_bEnableChanged = TRUE;
}

void CCmdUI::SetCheck(int nCheck) {
  if (m_pMenuItems) m_pMenuItems->check(m_nIndex, nCheck);
  else if (m_pOther) m_pOther->SendMessage(BM_SETCHECK, static_cast<WPARAM>(nCheck), 0);
}

void CCmdUI::SetRadio(BOOL bOn) {
  if (m_pMenuItems) m_pMenuItems->radio(m_nIndex, bOn != FALSE);
  else SetCheck(bOn ? 1 : 0);
}

void CCmdUI::SetText(LPCWSTR lpszText) {
  if (m_pMenuItems) m_pMenuItems->text(m_nIndex, lpszText);
  else if (m_pOther) m_pOther->SetWindowText(lpszText);
}

BOOL CCmdUI::DoUpdate(CCmdTarget* pTarget, BOOL bDisableIfNoHndler) {
  if (m_nID == 0 || !pTarget) return TRUE;
  m_bEnableChanged = FALSE;
  BOOL handled = pTarget->OnCmdMsg(m_nID, CN_UPDATE_COMMAND_UI, this, nullptr);
  if (bDisableIfNoHndler && !m_bEnableChanged) {
    AFX_CMDHANDLERINFO info{nullptr};
    if (!pTarget->OnCmdMsg(m_nID, CN_COMMAND, this, &info)) Enable(FALSE);
  }
  return handled;
}

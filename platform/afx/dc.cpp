// CDC's per-thread temporary map and CPaintDC.
#include "platform/afx/dc.h"

#include <memory>
#include <unordered_map>

#include "platform/afx/wnd.h"

IMPLEMENT_DYNAMIC(CDC, CObject)
IMPLEMENT_DYNAMIC(CPaintDC, CDC)

namespace {
thread_local std::unordered_map<HDC, std::unique_ptr<CDC>> t_temporary;
}

BOOL CDC::Attach(HDC hDC) {
  if (m_hDC || !hDC) return FALSE;
  m_hDC = hDC;
  return TRUE;
}

HDC CDC::Detach() {
  HDC h = m_hDC;
  m_hDC = nullptr;
  return h;
}

CDC* PASCAL CDC::FromHandle(HDC hDC) {
  if (!hDC) return nullptr;
  auto& slot = t_temporary[hDC];
  if (!slot) {
    slot = std::make_unique<CDC>();
    slot->m_hDC = hDC;
  }
  return slot.get();
}

void PASCAL CDC::DeleteTempMap() { t_temporary.clear(); }

CPaintDC::CPaintDC(CWnd* pWnd) : m_hWnd(pWnd->m_hWnd) { m_hDC = ::BeginPaint(m_hWnd, &m_ps); }

CPaintDC::~CPaintDC() {
  ::EndPaint(m_hWnd, &m_ps);
  m_hDC = nullptr;
}

// The framework's start-up switches over the COM runtime and the rich-edit classes. See ole.h.
#include "platform/afx/ole.h"

#include <atomic>

#include "platform/com/runtime.h"
#include "platform/win32/controls/richedit.h"
#include "platform/win32/error.h"

namespace {

std::atomic<bool> g_controlContainer{false};

}  // namespace

BOOL AfxOleInit() {
  const HRESULT hr = OleInitialize(nullptr);
  return SUCCEEDED(hr) ? TRUE : FALSE;
}

void AfxEnableControlContainer() { g_controlContainer = true; }

BOOL AfxInitRichEdit() { return platform::controls::registerRichEditClasses(1) ? TRUE : FALSE; }

BOOL AfxInitRichEdit2() { return platform::controls::registerRichEditClasses(2) ? TRUE : FALSE; }

namespace platform::afx {

bool controlContainerEnabled() { return g_controlContainer; }

}  // namespace platform::afx

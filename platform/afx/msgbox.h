// The framework's message box (AfxMessageBox, CWinApp::DoMessageBox, CException::ReportError):
// a real MessageBoxW owned by the window the user is working in.
#pragma once

#include "platform/base/types.h"

namespace platform::afx {

// Shows `text` in a message box: owned by this thread's active window, else the main window (the
// top-level window either belongs to), captioned with the application's name, and with the icon
// the framework gives each type when the caller names none (exclamation for OK and OK/Cancel,
// question for Yes/No and Yes/No/Cancel). Returns the button pressed.
int frameworkMessageBox(LPCWSTR text, UINT type);

}  // namespace platform::afx

// The framework's start-up switches for OLE, the ActiveX control container and the rich-edit
// control, which an application's InitInstance calls before it creates windows.
#pragma once

#include "platform/base/types.h"

// Initialises OLE on the calling thread (OleInitialize); TRUE when it is initialised afterwards,
// FALSE when OleInitialize failed (the thread is in the multithreaded model, for one).
BOOL AfxOleInit();
// Lets windows of this process hold ActiveX controls. Nothing else changes now: the control
// container asks platform::afx::controlContainerEnabled before it creates a control.
void AfxEnableControlContainer();
// Makes the rich-edit window classes available: version 1 ("RICHEDIT") for AfxInitRichEdit,
// version 2 ("RichEdit20W", "RichEdit20A") for AfxInitRichEdit2. TRUE once they are there.
BOOL AfxInitRichEdit();
BOOL AfxInitRichEdit2();

namespace platform::afx {

// Whether AfxEnableControlContainer was called in this process.
bool controlContainerEnabled();

}  // namespace platform::afx

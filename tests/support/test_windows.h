// Window chores the tests share: registering a plain class for a test's procedure, and leaving
// the thread with no windows and nothing queued.
#pragma once

#include "platform/win32/message.h"
#include "platform/win32/window.h"

namespace kipotest {

// Registers a class of this name and procedure (nothing else set); 0 when it already exists.
ATOM registerWindowClass(LPCWSTR name, WNDPROC proc = DefWindowProcW);

// Destroys every window of the calling thread, then empties its queue: the messages left are
// dispatched when `dispatchLeftovers`, else dropped.
void destroyThreadWindows(bool dispatchLeftovers = false);

}  // namespace kipotest

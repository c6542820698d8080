// The browser stand-in's visit of a page: what a browser leaves behind for one address typed
// into its address bar.
#pragma once

#include <string>

// Records the visit of `url` (an http or https address) in the current user's history, typed
// addresses and cookies. Returns 0 or a Windows error code.
unsigned long visitPage(const std::u16string& url);

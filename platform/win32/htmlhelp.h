// HTML Help (hhctrl's HtmlHelpW): opening a compiled help file at a topic. There is no help
// viewer: a call that would show help checks that the ".chm" file exists on the host, opens (or
// reuses) a top-level window of class "HH Parent" of the calling thread, titled with the file's
// name and owned by hwndCaller, and records the request in host.db
// (platform::htmlhelp::requests) with the topic it was asked for. Every call is recorded, also
// the ones that fail.
//
// pszFile is "path.chm", optionally followed by "::/topic.htm" and ">window"; for
// HH_DISPLAY_TOPIC dwData may name the topic instead (a string, or 0).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/base/types.h"

#define HH_DISPLAY_TOPIC 0x0000
#define HH_HELP_FINDER 0x0000
#define HH_DISPLAY_TOC 0x0001
#define HH_DISPLAY_INDEX 0x0002
#define HH_DISPLAY_SEARCH 0x0003
#define HH_HELP_CONTEXT 0x000F
#define HH_CLOSE_ALL 0x0012
#define HH_INITIALIZE 0x001C
#define HH_UNINITIALIZE 0x001D

// The help window for the display commands (HH_DISPLAY_TOPIC, HH_DISPLAY_TOC, HH_DISPLAY_INDEX,
// HH_DISPLAY_SEARCH, HH_HELP_CONTEXT with dwData the context number); NULL when the file does
// not exist or is not a file, or the window cannot be made. HH_CLOSE_ALL destroys this thread's
// help windows and returns NULL. HH_INITIALIZE stores a cookie at *(DWORD*)dwData;
// HH_UNINITIALIZE takes it back; both return NULL. Any other command: NULL.
HWND HtmlHelpW(HWND hwndCaller, LPCWSTR pszFile, UINT uCommand, DWORD_PTR dwData);

namespace platform::htmlhelp {

// One HtmlHelpW call as recorded.
struct HelpRequest {
  std::int64_t id = 0;
  std::u16string file;   // the help file's path, as given (without "::" or ">")
  std::u16string topic;  // the topic asked for, or empty
  UINT command = 0;
  std::uint64_t data = 0;  // dwData, for commands where it is a number (0 otherwise)
  bool shown = false;      // a help window was shown
  std::int64_t processId = 0;
};
// The host's recorded requests, oldest first (the last 1000 are kept).
std::vector<HelpRequest> requests();
void clearRequests();

}  // namespace platform::htmlhelp

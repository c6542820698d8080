// The channel between the processes of a host, which carries window messages to another
// process's windows. Each process that owns windows (or waits for a reply from another process)
// listens on an abstract Unix socket named "\0kipo/<hash of the host folder>/<pid>-<start time>":
// nothing on disk, so a killed process leaves nothing behind, and a reused process id never
// reaches a stranger. A listener thread takes requests and puts them into the queue of the
// window's thread, as local posted and sent messages are; the window procedure runs on that
// thread, and its reply goes back over the connection the request came on. A sender waits for
// the reply as for a local one (serving messages sent to it meanwhile); a connection that closes
// (the target died) fails every call still waiting on it.
//
// Wire format (host byte order; both ends run on one machine): each frame is a fixed 56-byte
// header followed by `payload length` bytes.
//   u32 kind (1 post, 2 send, 3 notify, 4 reply)  u32 window handle  u32 message
//   u32 flags (requests: SMTO_* flags; reply: status 0 ok, 1 no such window, 2 hung)
//   u64 wParam  i64 lParam (reply: the result)  u32 sender pid  u32 sender thread
//   u64 call id (send and its reply)  u32 payload length  u32 reserved (0)
// Only the messages whose parameters Windows marshals carry a payload (text, WM_COPYDATA,
// WM_DEVICECHANGE records, list box, combo box and list-view text and items, and a list-view or
// tree-view message's pointer into memory allocated in the target; see window_channel.cpp); for them the
// header's lParam is not used. Every length is checked on
// receipt: a frame that does not add up ends the connection.
#pragma once

#include <cstdint>
#include <string>

#include "platform/base/types.h"

namespace platform::host {

struct WindowRow;

// Makes sure this process listens for the current host (again after the process switched hosts).
// Cheap once listening.
void ensureChannel();

// Posts to a window of another process; FALSE with ERROR_INVALID_WINDOW_HANDLE when its process
// cannot be reached.
bool postToProcess(const WindowRow& target, UINT msg, WPARAM wParam, LPARAM lParam);
// Sends to a window of another process and waits for the reply (SMTO_BLOCK: without serving
// messages sent to this thread meanwhile; SMTO_ABORTIFHUNG: a hung receiving thread fails the
// call at once). False with ERROR_INVALID_WINDOW_HANDLE when the window or its process is gone,
// ERROR_TIMEOUT when `timeoutMs` passed or the thread is hung, ERROR_INVALID_PARAMETER for a
// record that cannot be marshalled.
bool sendToProcess(const WindowRow& target, UINT msg, WPARAM wParam, LPARAM lParam, UINT flags,
                   std::uint32_t timeoutMs, LRESULT* result);
// Sends without waiting for the reply.
bool notifyProcess(const WindowRow& target, UINT msg, WPARAM wParam, LPARAM lParam);

// The socket name (with its leading NUL) of a process of the current host.
std::string channelName(DWORD pid, std::uint64_t start);

}  // namespace platform::host

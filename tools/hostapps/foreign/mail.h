// The mail side of the Outlook stand-in (the foreign program run as OUTLOOK.EXE): it loads the
// host's "mapi32.dll", logs on as Outlook does at start, sends what `kipo-host outlook send` asks
// through the default store's Outbox, and watches the Inbox.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "platform/win32/window.h"

namespace hostapps {

// WM_COPYDATA that asks the program to send a message: dwData is this value, the data the
// recipient's address, the subject and the body, each UTF-16 text ending in a NUL. The answer
// (SendMessage's result) is the HRESULT of the submission.
inline constexpr ULONG_PTR kSendMailRequest = 0x4B4D534E;

// Starts the mail side in a program with that main window: logs on (the profile dialog owned by
// `owner` when HKCU\Software\Microsoft\Exchange\Client\Options "PickLogonProfile" is not "0",
// else the default profile with no dialog) and reports what it does through `log`
// ("logon PROFILE", "logon failed 0xHR", "inbox SUBJECT", "sent SUBJECT", "logoff"). A host
// without MAPI leaves the program without mail.
void startMail(HWND owner, std::function<void(std::u16string_view)> log);
// Each item of the Inbox not reported before is logged as "inbox SUBJECT".
void checkInbox();
// The request of a kSendMailRequest message; an HRESULT.
LRESULT sendMailRequest(const void* data, DWORD size);
// Logs off (and logs "logoff") when logged on.
void stopMail();

}  // namespace hostapps

// Program-wide texts that exist before the application object starts: the product name, and the
// branding texts the customization file replaces (application name, device name, the maker's
// addresses, the update server). Read and replaced on the user-interface thread only.
#pragma once

#include "platform/afx/cstring.h"
#include "platform/base/types.h"

// The product's own name: program and log file names, fixed log texts.
inline constexpr const char16_t* kProductName = u"Kipo";

// Branding texts, defaults until the customization file replaces them.
extern CString g_applicationName;      // caption of the program's message boxes
extern CString g_deviceName;           // "USB device"
extern CString g_makerWebAddress;
extern CString g_supportWebAddress;
extern CString g_supportEmailAddress;
extern CString g_companyName;
extern CString g_updateAddress;        // base address of the update server
extern CString g_homeAddress;

// The caption of every standard message box of the program: the application name.
CString programCaption();

// The message Explorer broadcasts when it restarts ("TaskbarCreated"): the tray icon is added again.
// The host's number for that name, the same in every process.
UINT taskbarCreatedMessage();

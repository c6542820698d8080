// The Outlook automation stand-in ("Outlook.Application"): the application object, its MAPI
// namespace and the default folders, whose names come from the host's folder-name table.
//
// Members by name (GetIDsOfNames) and dispatch id:
//   Application  GetNamespace(type) 0x110 -> Namespace ("MAPI" only); Quit() 0x113
//   Namespace    GetDefaultFolder(n) 0x20B -> Folder (the default-folder numbers below)
//   Folder       Name 0x2102 (property get)
// CoCreateInstance makes the object in the caller and starts no program; on a host without
// Outlook (no "HKEY_LOCAL_MACHINE\SOFTWARE\Classes\Outlook.Application") it fails with
// REGDB_E_CLASSNOTREG. GetActiveObject answers
// while a process whose image is OUTLOOK.EXE runs on the host (the running-object table is per
// process, so the running program is seen through the host's process list). Quit is recorded in
// the host's automation log:
//   HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Office\Outlook\AutomationLog  "<8-digit number>" REG_SZ
#pragma once

#include <string>
#include <vector>

#include "platform/com/dispatch.h"

extern const CLSID CLSID_OutlookApplicationStandIn;

namespace platform::com {

inline constexpr const char16_t* kOutlookApplicationProgId = u"Outlook.Application";
inline constexpr char16_t kOutlookAutomationLogKey[] = u"SOFTWARE\\Microsoft\\Office\\Outlook\\AutomationLog";

inline constexpr DISPID kDispGetNamespace = 0x110;
inline constexpr DISPID kDispQuit = 0x113;
inline constexpr DISPID kDispGetDefaultFolder = 0x20B;
inline constexpr DISPID kDispName = 0x2102;

// The default folders GetDefaultFolder knows.
enum OutlookDefaultFolder : LONG {
  kFolderDeletedItems = 3,
  kFolderOutbox = 4,
  kFolderSentMail = 5,
  kFolderInbox = 6,
  kFolderCalendar = 9,
  kFolderContacts = 10,
  kFolderJournal = 11,
  kFolderNotes = 12,
  kFolderTasks = 13,
  kFolderDrafts = 16,
};

// The calls recorded in the automation log, oldest first.
std::vector<std::u16string> outlookAutomationLog();

}  // namespace platform::com

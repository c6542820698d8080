// Which Outlook the host has and where its MAPI lives: the version from the automation class's
// current version, the Internet-mail-only setup of Outlook 2000, the MAPI profiles' registry key,
// the default profile and the Office MAPI library's path as the component installer records it.
#pragma once

#include "platform/afx/cstring.h"

// 0 unknown, 1 Outlook 97, 2 Outlook 98, 3 Outlook 2000, 4 Outlook 2002, 5 Outlook 2003.
int getOutlookVersion();
CString getOutlookVersionString(int version);
bool isSupportedOutlookVersion();
bool isOutlook2000InternetMailOnly();
// Full path of "outlook.exe": the install root of Outlook 2002 or 2003 as the registry gives it,
// else Office's default folder.
CString getOutlookExePath();
// Full registry path (with its root name) of the current user's MAPI profiles.
CString getOutlookProfilesRegkey();
CString getDefaultProfile();
// The Office MAPI library's full path, empty when the host has no Office MAPI component.
CString getMapiInstallationPath();

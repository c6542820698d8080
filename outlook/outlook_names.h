// Outlook's folder names as the user sees them: the special folders' names in Outlook's own
// language (asked from Outlook once per process, else the language library's), folder paths in
// their display form, and a folder path relative to another.
#pragma once

#include "platform/afx/cstring.h"
#include "platform/base/types.h"

// The special folder's localized name. The first call asks Outlook for all seven (and quits an
// Outlook it started); without Outlook the language library's names are kept.
CString LoadResStringOutlook(UINT id);
// Newlines between the folder names become backslashes.
CString convertToDisplayFolderPath(const CString& path);
// The part of `path` below `prefix` (whole folder names, case-sensitive); empty when `path` does
// not lie below it.
CString getMapiFolderRelativePath(const CString& path, const CString& prefix);

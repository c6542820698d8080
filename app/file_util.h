// Path and file utilities used all over the program: path texts with the backslash, case-blind
// text helpers, file tests, attributes and times, volumes and disk space, the five special
// folders the program carries and their profile-path form, the conflict-name scheme of the
// synchronizers, the string records of binary files, and a few window helpers.
// None of these throws; failures come back as empty texts, 0, -1 or false. The synchronizers
// depend on the exact rules of the time comparisons and of the conflict names.
#pragma once

#include <functional>

#include "platform/afx/coll.h"
#include "platform/afx/cstring.h"
#include "platform/afx/file.h"
#include "platform/base/types.h"

// ---- Path texts ---------------------------------------------------------------------------------

// Joins with exactly one separator between the parts; an empty part gives the other one.
CString joinPathWith(const CString& a, const CString& b, WCHAR separator);
CString joinPath(const CString& a, const CString& b);
CString joinUrlPath(const CString& a, const CString& b);
// A root stays itself; otherwise the text before the last backslash ("D:" gets its backslash
// back); empty without a backslash.
CString getParentFolder(const CString& path);
CString getFileName(const CString& path);
CString fileNameOf(const CString& path);
CString removeExtension(const CString& path);
// From the last '.' on, dot included; the whole text when there is no '.'.
CString getFileExtension(const CString& path);
bool hasExtension(const CString& path, const CString& ext);
bool isShortcutFile(const CString& path);
bool isProgramFile(const CString& path);
// "\\server..." or "X:\..." (at least 3 characters).
bool isAbsolutePath(const CString& path);
// Exactly "X:\".
bool isRootPath(const CString& path);
// A drive specification: "X:" or "X:\".
bool isDriveRoot(const CString& path);
bool isUncPath(const CString& path);
// "X:" for a drive path; "\\server" for a UNC path; empty otherwise.
CString getPathRoot(const CString& path);
CString getUncServer(const CString& path);
CString toForwardSlashes(const CString& path);
bool hasWildcards(const CString& text);
// The path after the characters it shares with the prefix and one more (the separator).
CString getPathRemainder(const CString& path, const CString& prefix);
bool haveSameParentFolder(const CString& a, const CString& b);
// The rest after "base\" (exact case); empty unless both are absolute and path lies below base.
CString getRelativePath(const CString& path, const CString& base);
CString getShortPath(const CString& path);
CString compactPathForWindow(HWND window, const CString& path);
CString expandEnvironmentStrings(const CString& text);
// Appends every piece that is followed by a separator; the text after the last one is dropped.
void splitByChar(const CString& text, CStringArray& list, WCHAR separator);
// Clears the list; the first piece ends at any of `delimiters`, later ones at ';'.
void tokenize(const CString& text, CStringArray& list, const CString& delimiters, bool lower);
void splitSemicolonList(const CString& text, CStringArray& list);

// ---- Texts and comparisons ----------------------------------------------------------------------

bool equalsNoCase(const CString& a, const CString& b);
// Index of the first case-blind occurrence; -1 when either is empty, part is longer, or absent.
int findNoCase(const CString& text, const CString& part);
bool startsWithNoCase(const CString& text, const CString& part);
// Equal, or equal after folding A-Z only.
bool charsEqualNoCase(WCHAR a, WCHAR b);
bool isInStringList(const CString& text, const CStringArray& list);
bool listBoxContains(const CString& text, HWND listBox);

// ---- File tests and attributes --------------------------------------------------------------------

bool fileExists(const CString& path);
bool pathExists(const CString& path);
bool directoryExists(const CString& path);
bool isReadOnlyFile(const CString& path);
bool isHiddenFile(const CString& path);
bool setHiddenAttribute(const CString& path, bool on);
bool setSystemAttribute(const CString& path, bool on);
bool clearReadOnly(const CString& path);
// Seconds since 1970 (32 bits); 0 when the file cannot be looked at.
LONG getFileModificationTime(const CString& path);
LONG getFileCreationTime(const CString& path);
bool isModifiedWithinDays(const CString& path, DWORD days);
int compareFileTimes(const CString& a, const CString& b);
// |t1 - t2| > tolerance (equal to the tolerance is the same time).
bool differsByMoreThan(LONG t1, LONG t2, LONG tolerance);
// Whole UTC seconds apart by more than the tolerance; a time that cannot be converted differs.
bool fileTimesDiffer(const FILETIME& ft1, const FILETIME& ft2, DWORD toleranceSeconds);
bool isFileTimeLater(const FILETIME& ft1, const FILETIME& ft2);
bool isZeroFileTime(const FILETIME& ft);
// With onDrive and a known drive cluster size: (size / cluster + 1) x cluster, which counts one
// cluster more for a size that is an exact multiple, and one for an empty file.
ULONGLONG getFileSize(const CString& path, bool onDrive);
ULONGLONG getFolderSize(const CString& folder, bool recursive);
// The drive's cluster size, measured when the drive is opened; 0 until then.
void setDriveClusterSize(DWORD bytes);
DWORD getDriveClusterSize();

// ---- Volumes and disk space -----------------------------------------------------------------------

bool isRemovableDrive(const CString& root);
bool isCandidateDeviceDrive(const CString& root);
ULONGLONG getDiskFreeSpace(const CString& path, bool& ok);
ULONGLONG getDiskTotalSpace(const CString& path, bool& ok);
bool isDiskSpaceLow(const CString& path, ULONGLONG divisor, bool& known);
bool isDriveReady(const CString& drive);
DWORD getClusterSize(const CString& path);
DWORD getVolumeSerialNumber(const CString& root);
CString formatFileSize(LONGLONG bytes);

// ---- Special folders -------------------------------------------------------------------------------

enum class SpecialFolder { Desktop, Favorites, MyDocuments, Cookies, History };
struct SpecialFolderInfo {
  CString path;  // the host's folder; empty when the host has none
  CString name;  // its display name
};
// Where the host paths and display names come from. The folder lookup installs its own; without
// one, the shell is asked (getSpecialFolder with the folder's CSIDL).
using SpecialFolderSource = std::function<SpecialFolderInfo(SpecialFolder)>;
void setSpecialFolderSource(SpecialFolderSource source);
SpecialFolderInfo specialFolderInfo(SpecialFolder folder);

// Both outputs are emptied first and each set only when its step and those before succeeded.
void getSpecialFolder(int csidl, CString& path, CString& name);
// The first of Desktop, Favorites, My Documents, Cookies, History that contains the path (on a
// backslash boundary, case-blind) as its display name; empty when none.
CString findSpecialFolderOfPath(const CString& path);
bool startsWithSpecialFolderName(const CString& text);
CString hostPathToProfilePath(const CString& path, bool useWords);
CString profilePathToHostPath(const CString& text);

// ---- Other -------------------------------------------------------------------------------------------

void replaceUiPlaceholders(HWND window);
bool replaceTextInWindow(HWND window, const CString& from, const CString& to);
// "_name" .. "____name", the first not taken in the folder; empty (and logged) when all are.
CString makeConflictFileName(const CString& name, const CString& folder);
// String records of binary files: a 32-bit byte count, then the UTF-16 text without terminator.
bool writeStringToFile(const CString& text, CFile& file);
bool readStringFromFile(CString& text, CFile& file);
bool readExpectedString(const CString& expected, CFile& file);
bool seekBack(CFile& file, LONGLONG bytes);
HWND findWindow(const CString& className, const CString& title);
int getTaskbarHeight();
bool closeProcessOfWindow(HWND window, DWORD timeoutMs);
bool revertToSelf(HANDLE& token);
// The device's display name shown by the application; set by the application object.
void setDeviceDisplayName(const CString& name);
bool fillDeviceNameInDlgItem(HWND dialog, int itemId);

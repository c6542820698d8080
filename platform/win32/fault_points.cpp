// The fault points of the Win32-shaped calls: every call name that asks platform::fault::check()
// in platform/win32, joined to the table of fault points when the platform library loads.
// A call that gains a fault check adds its name here; tests/platform/base/fault_points_test.cpp
// fails on a checked name that is missing and on a listed name that nothing checks.
#include "platform/base/fault.h"

namespace {

const platform::fault::Points kWin32Points{
    // Files and folders
    "CreateFileW", "ReadFile", "WriteFile", "SetEndOfFile", "SetFileTime", "FlushFileBuffers",
    "GetFileSize", "GetFileSizeEx", "SetFilePointer", "SetFilePointerEx", "CloseHandle",
    "GetFileAttributesW", "GetFileAttributesExW", "SetFileAttributesW", "CopyFileW", "MoveFileExW",
    "DeleteFileW", "CreateDirectoryW", "RemoveDirectoryW", "FindFirstFileW", "FindNextFileW",
    "SetCurrentDirectoryW", "FindFirstChangeNotificationW",
    // Volumes and devices
    "GetVolumeInformationW", "GetDiskFreeSpaceExW", "GetVolumeNameForVolumeMountPointW", "DeviceIoControl",
    // Registry
    "RegOpenKeyExW", "RegOpenKeyExA", "RegOpenKeyW", "RegCreateKeyExW", "RegCreateKeyExA", "RegCreateKeyW",
    "RegCreateKeyA", "RegFlushKey", "RegQueryValueExW", "RegQueryValueExA", "RegSetValueExW", "RegSetValueExA",
    "RegDeleteValueW", "RegDeleteValueA", "RegDeleteKeyW", "RegDeleteKeyA", "RegEnumKeyExW", "RegEnumKeyExA",
    "RegEnumKeyW", "RegEnumKeyA", "RegEnumValueW", "RegEnumValueA", "RegQueryInfoKeyW", "SHSetValueW",
    "SHSetValueA", "SHGetValueW", "SHGetValueA", "SHDeleteValueW", "SHDeleteKeyW", "SHDeleteKeyA",
    "SHDeleteEmptyKeyW", "SHCopyKeyW",
    // Processes, modules, security
    "CreateProcessW", "OpenProcess", "CreateToolhelp32Snapshot", "LoadLibraryW", "GetFileVersionInfoW",
    "LogonUserW", "LogonUserA", "CryptAcquireContextW", "CryptGenKey", "CryptCreateHash", "CryptHashData",
    "CryptGetHashParam",
    // Windows and messages (SendMessageW and SendMessageTimeoutW: only a send to another thread)
    "CreateWindowExW", "FindWindowW", "PostMessageW", "PostThreadMessageW", "SendMessageW",
    "SendMessageTimeoutW", "RegisterWindowMessageW",
    // Shell
    "ShellExecuteW", "SHFileOperationW",
};

}  // namespace

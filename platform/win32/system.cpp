// System facts and services: environment calls over the process's block, names and versions from
// the host's facts, memory status, system folders, memory blocks, and FormatMessage with the
// system's English error texts.
#include "platform/win32/system.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <vector>

#include "platform/base/codepage.h"
#include "platform/base/text.h"
#include "platform/host/environment.h"
#include "platform/host/host.h"
#include "platform/win32/crypt.h"
#include "platform/win32/security.h"

namespace {

using platform::host::Host;
namespace fact = platform::host::fact;
namespace text = platform::text;

struct Message {
  DWORD code;
  const char* name;
  const char16_t* text;
};

// The system's English message texts, worded as Windows XP words them, each ending in CR LF.
#define M(code, text) {static_cast<DWORD>(code), #code, u"" text "\r\n"}
#define N(code, name, text) {static_cast<DWORD>(code), name, u"" text "\r\n"}
const Message kMessages[] = {
    M(ERROR_SUCCESS, "The operation completed successfully."),
    M(ERROR_INVALID_FUNCTION, "Incorrect function."),
    M(ERROR_FILE_NOT_FOUND, "The system cannot find the file specified."),
    M(ERROR_PATH_NOT_FOUND, "The system cannot find the path specified."),
    M(ERROR_TOO_MANY_OPEN_FILES, "The system cannot open the file."),
    M(ERROR_ACCESS_DENIED, "Access is denied."),
    M(ERROR_INVALID_HANDLE, "The handle is invalid."),
    M(ERROR_NOT_ENOUGH_MEMORY, "Not enough storage is available to process this command."),
    M(ERROR_BAD_ENVIRONMENT, "The environment is incorrect."),
    M(ERROR_BAD_FORMAT, "An attempt was made to load a program with an incorrect format."),
    M(ERROR_INVALID_ACCESS, "The access code is invalid."),
    M(ERROR_INVALID_DATA, "The data is invalid."),
    M(ERROR_OUTOFMEMORY, "Not enough storage is available to complete this operation."),
    M(ERROR_INVALID_DRIVE, "The system cannot find the drive specified."),
    M(ERROR_CURRENT_DIRECTORY, "The directory cannot be removed."),
    M(ERROR_NOT_SAME_DEVICE, "The system cannot move the file to a different disk drive."),
    M(ERROR_NO_MORE_FILES, "There are no more files."),
    M(ERROR_WRITE_PROTECT, "The media is write protected."),
    M(ERROR_NOT_READY, "The device is not ready."),
    M(ERROR_CRC, "Data error (cyclic redundancy check)."),
    M(ERROR_SEEK, "The drive cannot locate a specific area or track on the disk."),
    M(ERROR_WRITE_FAULT, "The system cannot write to the specified device."),
    M(ERROR_READ_FAULT, "The system cannot read from the specified device."),
    M(ERROR_GEN_FAILURE, "A device attached to the system is not functioning."),
    M(ERROR_SHARING_VIOLATION, "The process cannot access the file because it is being used by another process."),
    M(ERROR_LOCK_VIOLATION,
      "The process cannot access the file because another process has locked a portion of the file."),
    M(ERROR_HANDLE_EOF, "Reached the end of the file."),
    M(ERROR_HANDLE_DISK_FULL, "The disk is full."),
    M(ERROR_NOT_SUPPORTED, "The request is not supported."),
    M(ERROR_BAD_NETPATH, "The network path was not found."),
    M(ERROR_NETWORK_ACCESS_DENIED, "Network access is denied."),
    M(ERROR_BAD_NET_NAME, "The network name cannot be found."),
    M(ERROR_FILE_EXISTS, "The file exists."),
    M(ERROR_CANNOT_MAKE, "The directory or file cannot be created."),
    M(ERROR_INVALID_PARAMETER, "The parameter is incorrect."),
    M(ERROR_BROKEN_PIPE, "The pipe has been ended."),
    M(ERROR_OPEN_FAILED, "The system cannot open the device or file specified."),
    M(ERROR_BUFFER_OVERFLOW, "The file name is too long."),
    M(ERROR_DISK_FULL, "There is not enough space on the disk."),
    M(ERROR_CALL_NOT_IMPLEMENTED, "This function is not supported on this system."),
    M(ERROR_SEM_TIMEOUT, "The semaphore timeout period has expired."),
    M(ERROR_INSUFFICIENT_BUFFER, "The data area passed to a system call is too small."),
    M(ERROR_INVALID_NAME, "The filename, directory name, or volume label syntax is incorrect."),
    M(ERROR_INVALID_LEVEL, "The system call level is not correct."),
    M(ERROR_MOD_NOT_FOUND, "The specified module could not be found."),
    M(ERROR_PROC_NOT_FOUND, "The specified procedure could not be found."),
    M(ERROR_WAIT_NO_CHILDREN, "There are no child processes to wait for."),
    M(ERROR_NEGATIVE_SEEK, "An attempt was made to move the file pointer before the beginning of the file."),
    M(ERROR_DIR_NOT_EMPTY, "The directory is not empty."),
    M(ERROR_BAD_ARGUMENTS, "One or more arguments are not correct."),
    M(ERROR_BAD_PATHNAME, "The specified path is invalid."),
    M(ERROR_BUSY, "The requested resource is in use."),
    M(ERROR_ALREADY_EXISTS, "Cannot create a file when that file already exists."),
    M(ERROR_BAD_EXE_FORMAT, "%1 is not a valid Win32 application."),
    M(ERROR_ENVVAR_NOT_FOUND, "The system could not find the environment option that was entered."),
    M(ERROR_FILENAME_EXCED_RANGE, "The filename or extension is too long."),
    M(ERROR_BAD_PIPE, "The pipe state is invalid."),
    M(ERROR_PIPE_BUSY, "All pipe instances are busy."),
    M(ERROR_NO_DATA, "The pipe is being closed."),
    M(ERROR_MORE_DATA, "More data is available."),
    M(WAIT_TIMEOUT, "The wait operation timed out."),
    M(ERROR_NO_MORE_ITEMS, "No more data is available."),
    M(ERROR_DIRECTORY, "The directory name is invalid."),
    M(ERROR_NOT_OWNER, "Attempt to release mutex not owned by caller."),
    M(ERROR_PARTIAL_COPY, "Only part of a ReadProcessMemory or WriteProcessMemory request was completed."),
    M(ERROR_MR_MID_NOT_FOUND, "The system cannot find message text for message number 0x%1 in the message file for %2."),
    M(ERROR_INVALID_ADDRESS, "Attempt to access invalid address."),
    M(ERROR_ARITHMETIC_OVERFLOW, "Arithmetic result exceeded 32 bits."),
    M(ERROR_PIPE_CONNECTED, "There is a process on other end of the pipe."),
    M(ERROR_OPERATION_ABORTED,
      "The I/O operation has been aborted because of either a thread exit or an application request."),
    M(ERROR_IO_INCOMPLETE, "Overlapped I/O event is not in a signaled state."),
    M(ERROR_IO_PENDING, "Overlapped I/O operation is in progress."),
    M(ERROR_NOACCESS, "Invalid access to memory location."),
    M(ERROR_INVALID_FLAGS, "Invalid flags."),
    M(ERROR_UNRECOGNIZED_VOLUME,
      "The volume does not contain a recognized file system.\r\n"
      "Please make sure that all required file system drivers are loaded and that the volume is not corrupted."),
    M(ERROR_FILE_INVALID,
      "The volume for a file has been externally altered so that the opened file is no longer valid."),
    M(ERROR_NO_TOKEN, "An attempt was made to reference a token that does not exist."),
    M(ERROR_BADKEY, "The configuration registry key is invalid."),
    M(ERROR_CANTOPEN, "The configuration registry key could not be opened."),
    M(ERROR_CANTREAD, "The configuration registry key could not be read."),
    M(ERROR_CANTWRITE, "The configuration registry key could not be written."),
    M(ERROR_REGISTRY_RECOVERED,
      "One of the files in the registry database had to be recovered by use of a log or alternate copy. "
      "The recovery was successful."),
    M(ERROR_REGISTRY_CORRUPT,
      "The registry is corrupted. The structure of one of the files containing registry data is corrupted, "
      "or the system's memory image of the file is corrupted, or the file could not be recovered because the "
      "alternate copy or log was absent or corrupted."),
    M(ERROR_REGISTRY_IO_FAILED,
      "An I/O operation initiated by the registry failed unrecoverably. The registry could not read in, or "
      "write out, or flush, one of the files that contain the system's image of the registry."),
    M(ERROR_NOT_REGISTRY_FILE,
      "The system has attempted to load or restore a file into the registry, but the specified file is not in "
      "a registry file format."),
    M(ERROR_KEY_DELETED, "Illegal operation attempted on a registry key that has been marked for deletion."),
    M(ERROR_KEY_HAS_CHILDREN, "Cannot create a symbolic link in a registry key that already has subkeys or values."),
    M(ERROR_CHILD_MUST_BE_VOLATILE, "Cannot create a stable subkey under a volatile parent key."),
    M(ERROR_SERVICE_DOES_NOT_EXIST, "The specified service does not exist as an installed service."),
    M(ERROR_PROCESS_ABORTED, "The process terminated unexpectedly."),
    M(ERROR_END_OF_MEDIA, "The physical end of the tape has been reached."),
    M(ERROR_NO_UNICODE_TRANSLATION, "No mapping for the Unicode character exists in the target multi-byte code page."),
    M(ERROR_DLL_INIT_FAILED, "A dynamic link library (DLL) initialization routine failed."),
    M(ERROR_IO_DEVICE, "The request could not be performed because of an I/O device error."),
    M(ERROR_DEVICE_NOT_CONNECTED, "The device is not connected."),
    M(ERROR_TOO_MANY_LINKS, "An attempt was made to create more links on a file than the file system supports."),
    M(ERROR_OLD_WIN_VERSION, "The specified program requires a newer version of Windows."),
    M(ERROR_NO_MORE_USER_HANDLES,
      "The current process has used all of its system allowance of handles for Window Manager objects."),
    M(ERROR_MESSAGE_SYNC_ONLY, "The message can be used only with synchronous operations."),
    M(ERROR_NOT_FOUND, "Element not found."),
    M(ERROR_CANCELLED, "The operation was canceled by the user."),
    M(ERROR_PRIVILEGE_NOT_HELD, "A required privilege is not held by the client."),
    M(ERROR_LOGON_FAILURE, "Logon failure: unknown user name or bad password."),
    M(ERROR_NONE_MAPPED, "No mapping between account names and security IDs was done."),
    M(ERROR_NO_IMPERSONATION_TOKEN,
      "An attempt has been made to operate on an impersonation token by a thread that is not currently "
      "impersonating a client."),
    M(ERROR_ACCOUNT_RESTRICTION,
      "Logon failure: user account restriction.  Possible reasons are blank passwords not allowed, logon hour "
      "restrictions, or a policy restriction has been enforced."),
    M(ERROR_INVALID_SID, "The security ID structure is invalid."),
    M(ERROR_BAD_IMPERSONATION_LEVEL,
      "Either a required impersonation level was not provided, or the provided impersonation level is invalid."),
    M(ERROR_LOGON_TYPE_NOT_GRANTED,
      "Logon failure: the user has not been granted the requested logon type at this computer."),
    M(ERROR_INVALID_WINDOW_HANDLE, "Invalid window handle."),
    M(ERROR_INVALID_MENU_HANDLE, "Invalid menu handle."),
    M(ERROR_MENU_ITEM_NOT_FOUND, "Menu item was not found."),
    M(ERROR_TLW_WITH_WSCHILD, "Cannot create a top-level child window."),
    M(ERROR_CANNOT_FIND_WND_CLASS, "Cannot find window class."),
    M(ERROR_WINDOW_OF_OTHER_THREAD, "Invalid window; it belongs to other thread."),
    M(ERROR_CLASS_ALREADY_EXISTS, "Class already exists."),
    M(ERROR_CLASS_DOES_NOT_EXIST, "Class does not exist."),
    M(ERROR_CLASS_HAS_WINDOWS, "Class still has open windows."),
    M(ERROR_INVALID_INDEX, "Invalid index."),
    M(ERROR_INVALID_THREAD_ID, "Invalid thread identifier."),
    M(ERROR_TIMEOUT, "This operation returned because the timeout period expired."),
    M(ERROR_UNKNOWN_PRODUCT, "This action is only valid for products that are currently installed."),
    M(ERROR_INVALID_USER_BUFFER, "The supplied user buffer is not valid for the requested operation."),
    M(ERROR_NOT_A_REPARSE_POINT, "The file or directory is not a reparse point."),
    M(ERROR_RESOURCE_DATA_NOT_FOUND, "The specified image file did not contain a resource section."),
    M(ERROR_RESOURCE_TYPE_NOT_FOUND, "The specified resource type cannot be found in the image file."),
    M(ERROR_RESOURCE_NAME_NOT_FOUND, "The specified resource name cannot be found in the image file."),
    M(ERROR_RESOURCE_LANG_NOT_FOUND, "The specified resource language ID cannot be found in the image file."),
    // Further codes by number, so that a code error.h names later has its text already.
    N(7, "ERROR_ARENA_TRASHED", "The storage control blocks were destroyed."),
    N(9, "ERROR_INVALID_BLOCK", "The storage control block address is invalid."),
    N(20, "ERROR_BAD_UNIT", "The system cannot find the device specified."),
    N(22, "ERROR_BAD_COMMAND", "The device does not recognize the command."),
    N(24, "ERROR_BAD_LENGTH", "The program issued a command but the command length is incorrect."),
    N(26, "ERROR_NOT_DOS_DISK", "The specified disk or diskette cannot be accessed."),
    N(27, "ERROR_SECTOR_NOT_FOUND", "The drive cannot find the sector requested."),
    N(28, "ERROR_OUT_OF_PAPER", "The printer is out of paper."),
    N(36, "ERROR_SHARING_BUFFER_EXCEEDED", "Too many files opened for sharing."),
    N(54, "ERROR_NETWORK_BUSY", "The network is busy."),
    N(59, "ERROR_UNEXP_NET_ERR", "An unexpected network error occurred."),
    N(64, "ERROR_NETNAME_DELETED", "The specified network name is no longer available."),
    N(84, "ERROR_OUT_OF_STRUCTURES", "Storage to process this request is not available."),
    N(85, "ERROR_ALREADY_ASSIGNED", "The local device name is already in use."),
    N(86, "ERROR_INVALID_PASSWORD", "The specified network password is not correct."),
    N(103, "ERROR_TOO_MANY_SEM_REQUESTS", "The semaphore cannot be set again."),
    N(105, "ERROR_SEM_OWNER_DIED", "The previous ownership of this semaphore has ended."),
    N(117, "ERROR_INVALID_CATEGORY", "The IOCTL call made by the application program is not correct."),
    N(132, "ERROR_SEEK_ON_DEVICE", "The file pointer cannot be set on the specified device or file."),
    N(158, "ERROR_NOT_LOCKED", "The segment is already unlocked."),
    N(164, "ERROR_MAX_THRDS_REACHED", "No more threads can be created in the system."),
    N(167, "ERROR_LOCK_FAILED", "Unable to lock a region of a file."),
    N(186, "ERROR_INVALID_FLAG_NUMBER", "The flag passed is not correct."),
    N(187, "ERROR_SEM_NOT_FOUND", "The specified system semaphore name was not found."),
    N(212, "ERROR_LOCKED", "The segment is locked and cannot be reallocated."),
    N(214, "ERROR_TOO_MANY_MODULES", "Too many dynamic-link modules are attached to this program or dynamic-link module."),
    N(233, "ERROR_PIPE_NOT_CONNECTED", "No process is on the other end of the pipe."),
    N(254, "ERROR_INVALID_EA_NAME", "The specified extended attribute name was invalid."),
    N(255, "ERROR_EA_LIST_INCONSISTENT", "The extended attributes are inconsistent."),
    N(266, "ERROR_CANNOT_COPY", "The copy functions cannot be used."),
    N(275, "ERROR_EAS_DIDNT_FIT", "The extended attributes did not fit in the buffer."),
    N(282, "ERROR_EAS_NOT_SUPPORTED", "The mounted file system does not support extended attributes."),
    N(298, "ERROR_TOO_MANY_POSTS", "Too many posts were made to a semaphore."),
    N(300, "ERROR_OPLOCK_NOT_GRANTED", "The oplock request is denied."),
    N(1001, "ERROR_STACK_OVERFLOW", "Recursion too deep; the stack overflowed."),
    N(1002, "ERROR_INVALID_MESSAGE", "The window cannot act on the sent message."),
    N(1003, "ERROR_CAN_NOT_COMPLETE", "Cannot complete this function."),
    N(1009, "ERROR_BADDB", "The configuration registry database is corrupt."),
    N(1062, "ERROR_SERVICE_NOT_ACTIVE", "The service has not been started."),
    N(1073, "ERROR_SERVICE_EXISTS", "The specified service already exists."),
    N(1112, "ERROR_NO_MEDIA_IN_DRIVE", "No media in drive."),
    N(1155, "ERROR_NO_ASSOCIATION", "No application is associated with the specified file for this operation."),
    N(1156, "ERROR_DDE_FAIL", "An error occurred in sending the command to the application."),
    N(1157, "ERROR_DLL_NOT_FOUND", "One of the library files needed to run this application cannot be found."),
    N(1169, "ERROR_NO_MATCH", "There was no match for the specified key in the index."),
    N(1170, "ERROR_SET_NOT_FOUND", "The property set specified does not exist on the object."),
    N(1222, "ERROR_NO_NETWORK", "The network is not present or not started."),
    N(1300, "ERROR_NOT_ALL_ASSIGNED", "Not all privileges referenced are assigned to the caller."),
    N(1317, "ERROR_NO_SUCH_USER", "The specified user does not exist."),
    N(1331, "ERROR_ACCOUNT_DISABLED", "Logon failure: account currently disabled."),
    N(1392, "ERROR_FILE_CORRUPT", "The file or directory is corrupted and unreadable."),
    N(1393, "ERROR_DISK_CORRUPT", "The disk structure is corrupted and unreadable."),
    N(1402, "ERROR_INVALID_CURSOR_HANDLE", "Invalid cursor handle."),
    N(1403, "ERROR_INVALID_ACCEL_HANDLE", "Invalid accelerator table handle."),
    N(1404, "ERROR_INVALID_HOOK_HANDLE", "Invalid hook handle."),
    N(1405, "ERROR_INVALID_DWP_HANDLE", "Invalid handle to a multiple-window position structure."),
    N(1409, "ERROR_HOTKEY_ALREADY_REGISTERED", "Hot key is already registered."),
    N(1414, "ERROR_INVALID_ICON_HANDLE", "Invalid icon handle."),
    N(1418, "ERROR_CLIPBOARD_NOT_OPEN", "Thread does not have a clipboard open."),
    N(1419, "ERROR_HOTKEY_NOT_REGISTERED", "Hot key is not registered."),
    N(1420, "ERROR_WINDOW_NOT_DIALOG", "The window is not a valid dialog window."),
    N(1421, "ERROR_CONTROL_ID_NOT_FOUND", "Control ID not found."),
    N(1422, "ERROR_INVALID_COMBOBOX_MESSAGE", "Invalid message for a combo box because it does not have an edit control."),
    N(1423, "ERROR_WINDOW_NOT_COMBOBOX", "The window is not a combo box."),
    N(1424, "ERROR_INVALID_EDIT_HEIGHT", "Height must be less than 256."),
    N(1425, "ERROR_DC_NOT_FOUND", "Invalid device context (DC) handle."),
    N(1426, "ERROR_INVALID_HOOK_FILTER", "Invalid hook procedure type."),
    N(1427, "ERROR_INVALID_FILTER_PROC", "Invalid hook procedure."),
    N(1428, "ERROR_HOOK_NEEDS_HMOD", "Cannot set nonlocal hook without a module handle."),
    N(1429, "ERROR_GLOBAL_ONLY_HOOK", "This hook procedure can only be set globally."),
    N(1431, "ERROR_HOOK_NOT_INSTALLED", "The hook procedure is not installed."),
    N(1432, "ERROR_INVALID_LB_MESSAGE", "Invalid message for single-selection list box."),
    N(1434, "ERROR_LB_WITHOUT_TABSTOPS", "This list box does not support tab stops."),
    N(1435, "ERROR_DESTROY_OBJECT_OF_OTHER_THREAD", "Cannot destroy object created by another thread."),
    N(1436, "ERROR_CHILD_WINDOW_MENU", "Child windows cannot have menus."),
    N(1437, "ERROR_NO_SYSTEM_MENU", "The window does not have a system menu."),
    N(1438, "ERROR_INVALID_MSGBOX_STYLE", "Invalid message box style."),
    N(1439, "ERROR_INVALID_SPI_VALUE", "Invalid system-wide (SPI_*) parameter."),
    N(1440, "ERROR_SCREEN_ALREADY_LOCKED", "Screen already locked."),
    N(1441, "ERROR_HWNDS_HAVE_DIFF_PARENT", "All handles to windows in a multiple-window position structure must have the same parent."),
    N(1442, "ERROR_NOT_CHILD_WINDOW", "The window is not a child window."),
    N(1443, "ERROR_INVALID_GW_COMMAND", "Invalid GW_* command."),
    N(1445, "ERROR_NON_MDICHILD_WINDOW", "Cannot process a message from a window that is not a multiple document interface (MDI) window."),
    N(1446, "ERROR_POPUP_ALREADY_ACTIVE", "Popup menu already active."),
    N(1447, "ERROR_NO_SCROLLBARS", "The window does not have scroll bars."),
    N(1448, "ERROR_INVALID_SCROLLBAR_RANGE", "Scroll bar range cannot be greater than MAXLONG."),
    N(1449, "ERROR_INVALID_SHOWWIN_COMMAND", "Cannot show or remove the window in the way specified."),
    N(1450, "ERROR_NO_SYSTEM_RESOURCES", "Insufficient system resources exist to complete the requested service."),
    N(1455, "ERROR_COMMITMENT_LIMIT", "The paging file is too small for this operation to complete."),
    N(1722, "RPC_S_SERVER_UNAVAILABLE", "The RPC server is unavailable."),
    N(1816, "ERROR_NOT_ENOUGH_QUOTA", "Not enough quota is available to process this command."),
    N(2202, "ERROR_BAD_USERNAME", "The specified username is invalid."),
    N(2250, "ERROR_NOT_CONNECTED", "This network connection does not exist."),
    N(2404, "ERROR_DEVICE_IN_USE", "The device is in use by an active process and cannot be disconnected."),
    N(15106, "ERROR_RESOURCE_ENUM_USER_STOP", "User stopped resource enumeration."),
    // COM status codes of their own (those of the Win32 facility read as the Win32 code's text).
    M(E_UNEXPECTED, "Catastrophic failure"),
    M(E_NOTIMPL, "Not implemented"),
    M(E_NOINTERFACE, "No such interface supported"),
    M(E_POINTER, "Invalid pointer"),
    M(E_ABORT, "Operation aborted"),
    M(E_FAIL, "Unspecified error"),
    // CryptoAPI status codes.
    M(NTE_BAD_UID, "Bad UID."),
    M(NTE_BAD_HASH, "Bad Hash."),
    M(NTE_BAD_KEY, "Bad Key."),
    M(NTE_BAD_LEN, "Bad Length."),
    M(NTE_BAD_DATA, "Bad Data."),
    M(NTE_BAD_SIGNATURE, "Invalid Signature."),
    M(NTE_BAD_VER, "Bad Version of provider."),
    M(NTE_BAD_ALGID, "Invalid algorithm specified."),
    M(NTE_BAD_FLAGS, "Invalid flags specified."),
    M(NTE_BAD_TYPE, "Invalid type specified."),
    M(NTE_BAD_KEY_STATE, "Key not valid for use in specified state."),
    M(NTE_BAD_HASH_STATE, "Hash not valid for use in specified state."),
    M(NTE_NO_KEY, "Key does not exist."),
    M(NTE_NO_MEMORY, "Insufficient memory available for the operation."),
    M(NTE_EXISTS, "Object already exists."),
    M(NTE_PERM, "Access denied."),
    M(NTE_NOT_FOUND, "Object was not found."),
    M(NTE_DOUBLE_ENCRYPT, "Data already encrypted."),
    M(NTE_BAD_PROVIDER, "Invalid provider specified."),
    M(NTE_BAD_PROV_TYPE, "Invalid provider type specified."),
    M(NTE_BAD_PUBLIC_KEY, "Provider's public key is invalid."),
    M(NTE_BAD_KEYSET, "Keyset does not exist"),
    M(NTE_PROV_TYPE_NOT_DEF, "Provider type not defined."),
    M(NTE_PROV_TYPE_ENTRY_BAD, "Provider type as registered is invalid."),
    M(NTE_KEYSET_NOT_DEF, "The keyset is not defined."),
    M(NTE_KEYSET_ENTRY_BAD, "Keyset as registered is invalid."),
    M(NTE_PROV_TYPE_NO_MATCH, "Provider type does not match registered value."),
    M(NTE_SIGNATURE_FILE_BAD, "The digital signature file is corrupt."),
    M(NTE_PROVIDER_DLL_FAIL, "Provider DLL failed to initialize correctly."),
    M(NTE_PROV_DLL_NOT_FOUND, "Provider DLL could not be found."),
    M(NTE_BAD_KEYSET_PARAM, "The Keyset parameter is invalid."),
    M(NTE_FAIL, "An internal error occurred."),
    M(NTE_SYS_ERR, "A base error occurred."),
};
#undef M
#undef N

const Message* findMessage(DWORD code) {
  for (const auto& m : kMessages)
    if (m.code == code) return &m;
  return nullptr;
}

// Copies `value` and its NUL when it fits in `size` characters: returns the length; else the
// size needed with the NUL, leaving the buffer alone.
template <class Char>
DWORD copyOut(std::basic_string_view<Char> value, Char* buffer, DWORD size) {
  if (!buffer || size <= value.size()) return static_cast<DWORD>(value.size() + 1);
  std::copy(value.begin(), value.end(), buffer);
  buffer[value.size()] = 0;
  return static_cast<DWORD>(value.size());
}

std::u16string wide(LPCSTR s) { return s ? text::ansiToWide(s) : std::u16string(); }

}  // namespace

// --- environment --------------------------------------------------------------------------------

DWORD GetEnvironmentVariableW(LPCWSTR lpName, LPWSTR lpBuffer, DWORD nSize) {
  if (!lpName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  auto value = platform::host::getEnvironmentVariable(text::view(lpName));
  if (!value) {
    SetLastError(ERROR_ENVVAR_NOT_FOUND);
    return 0;
  }
  // An empty value gives 0 like a missing one; the last error tells them apart.
  if (value->empty()) SetLastError(ERROR_SUCCESS);
  return copyOut<char16_t>(*value, lpBuffer, nSize);
}

DWORD GetEnvironmentVariableA(LPCSTR lpName, LPSTR lpBuffer, DWORD nSize) {
  if (!lpName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  auto value = platform::host::getEnvironmentVariable(wide(lpName));
  if (!value) {
    SetLastError(ERROR_ENVVAR_NOT_FOUND);
    return 0;
  }
  if (value->empty()) SetLastError(ERROR_SUCCESS);
  std::string ansi = text::wideToAnsi(*value);
  return copyOut<char>(ansi, lpBuffer, nSize);
}

BOOL SetEnvironmentVariableW(LPCWSTR lpName, LPCWSTR lpValue) {
  std::optional<std::u16string_view> value;
  if (lpValue) value = text::view(lpValue);
  if (!lpName || !platform::host::setEnvironmentVariable(text::view(lpName), value)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return TRUE;
}

BOOL SetEnvironmentVariableA(LPCSTR lpName, LPCSTR lpValue) {
  if (!lpName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::u16string name = wide(lpName), value = wide(lpValue);
  return SetEnvironmentVariableW(name.c_str(), lpValue ? value.c_str() : nullptr);
}

DWORD ExpandEnvironmentStringsW(LPCWSTR lpSrc, LPWSTR lpDst, DWORD nSize) {
  if (!lpSrc) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::u16string out = platform::host::expandEnvironmentStrings(text::view(lpSrc));
  copyOut<char16_t>(out, lpDst, nSize);
  return static_cast<DWORD>(out.size() + 1);
}

DWORD ExpandEnvironmentStringsA(LPCSTR lpSrc, LPSTR lpDst, DWORD nSize) {
  if (!lpSrc) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::string out = text::wideToAnsi(platform::host::expandEnvironmentStrings(wide(lpSrc)));
  copyOut<char>(out, lpDst, nSize);
  return static_cast<DWORD>(out.size() + 1);
}

LPWSTR GetEnvironmentStringsW() {
  std::u16string block = platform::host::environmentBlock();
  auto* copy = static_cast<LPWSTR>(std::malloc(block.size() * sizeof(char16_t)));
  if (!copy) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  std::copy(block.begin(), block.end(), copy);
  return copy;
}

BOOL FreeEnvironmentStringsW(LPWSTR penv) {
  std::free(penv);
  return TRUE;
}

// --- names and versions -------------------------------------------------------------------------

namespace {

// NetBIOS names are upper case and at most 15 characters, whatever the fact says.
std::u16string computerName() {
  std::u16string name = text::upcased(Host::current().factW(fact::ComputerName));
  if (name.size() > MAX_COMPUTERNAME_LENGTH) name.resize(MAX_COMPUTERNAME_LENGTH);
  return name;
}

template <class Char>
BOOL computerNameInto(const std::basic_string<Char>& name, Char* buffer, LPDWORD size) {
  if (!size) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!buffer || *size <= name.size()) {
    *size = static_cast<DWORD>(name.size() + 1);
    SetLastError(ERROR_BUFFER_OVERFLOW);
    return FALSE;
  }
  std::copy(name.begin(), name.end(), buffer);
  buffer[name.size()] = 0;
  *size = static_cast<DWORD>(name.size());
  return TRUE;
}

template <class Char>
BOOL userNameInto(const std::basic_string<Char>& name, Char* buffer, LPDWORD size) {
  if (!size) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  DWORD needed = static_cast<DWORD>(name.size() + 1);
  if (!buffer || *size < needed) {
    *size = needed;
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  std::copy(name.begin(), name.end(), buffer);
  buffer[name.size()] = 0;
  *size = needed;
  return TRUE;
}

struct Version {
  DWORD major = 5, minor = 1, build = 2600;
  std::u16string csd;
  WORD spMajor = 0;
};

Version hostVersion() {
  Host& host = Host::current();
  Version v;
  std::string ver = host.fact(fact::WindowsVersion);
  unsigned major = 0, minor = 0;
  if (std::sscanf(ver.c_str(), "%u.%u", &major, &minor) >= 1) {
    v.major = major;
    v.minor = minor;
  }
  v.build = static_cast<DWORD>(host.factNumber(fact::WindowsBuild, 2600));
  v.csd = host.factW(fact::ServicePack);
  // "Service Pack 2" -> 2
  auto digit = std::find_if(v.csd.begin(), v.csd.end(), [](char16_t c) { return c >= u'0' && c <= u'9'; });
  for (auto it = digit; it != v.csd.end() && *it >= u'0' && *it <= u'9'; ++it)
    v.spMajor = static_cast<WORD>(v.spMajor * 10 + (*it - u'0'));
  return v;
}

template <class Info, class Char>
void fillVersion(Info* info, const Version& v, const std::basic_string<Char>& csd) {
  info->dwMajorVersion = v.major;
  info->dwMinorVersion = v.minor;
  info->dwBuildNumber = v.build;
  info->dwPlatformId = VER_PLATFORM_WIN32_NT;
  std::size_t n = std::min<std::size_t>(csd.size(), 127);
  std::copy(csd.begin(), csd.begin() + static_cast<std::ptrdiff_t>(n), info->szCSDVersion);
  std::fill(info->szCSDVersion + n, info->szCSDVersion + 128, Char(0));
}

template <class InfoEx>
void fillVersionEx(InfoEx* info, const Version& v) {
  info->wServicePackMajor = v.spMajor;
  info->wServicePackMinor = 0;
  info->wSuiteMask = VER_SUITE_SINGLEUSERTS;
  info->wProductType = VER_NT_WORKSTATION;
  info->wReserved = 0;
}

}  // namespace

BOOL GetComputerNameW(LPWSTR lpBuffer, LPDWORD nSize) { return computerNameInto(computerName(), lpBuffer, nSize); }

BOOL GetComputerNameA(LPSTR lpBuffer, LPDWORD nSize) {
  return computerNameInto(text::wideToAnsi(computerName()), lpBuffer, nSize);
}

// The calling thread's effective user: an impersonating thread answers the impersonated user.
BOOL GetUserNameW(LPWSTR lpBuffer, LPDWORD pcbBuffer) {
  return userNameInto(platform::security::effectiveIdentity().name, lpBuffer, pcbBuffer);
}

BOOL GetUserNameA(LPSTR lpBuffer, LPDWORD pcbBuffer) {
  return userNameInto(text::wideToAnsi(platform::security::effectiveIdentity().name), lpBuffer, pcbBuffer);
}

BOOL GetVersionExW(LPOSVERSIONINFOW info) {
  if (!info || (info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOW) &&
                info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOEXW))) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  Version v = hostVersion();
  fillVersion(info, v, v.csd);
  if (info->dwOSVersionInfoSize == sizeof(OSVERSIONINFOEXW)) fillVersionEx(reinterpret_cast<OSVERSIONINFOEXW*>(info), v);
  return TRUE;
}

BOOL GetVersionExA(LPOSVERSIONINFOA info) {
  if (!info || (info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA) &&
                info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOEXA))) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  Version v = hostVersion();
  fillVersion(info, v, text::wideToAnsi(v.csd));
  if (info->dwOSVersionInfoSize == sizeof(OSVERSIONINFOEXA)) fillVersionEx(reinterpret_cast<OSVERSIONINFOEXA*>(info), v);
  return TRUE;
}

DWORD GetVersion() {
  Version v = hostVersion();
  return (v.major & 0xFF) | ((v.minor & 0xFF) << 8) | ((v.build & 0x7FFF) << 16);
}

// --- memory status ------------------------------------------------------------------------------

namespace {

struct MemoryFigures {
  std::uint64_t totalPhys, availPhys, totalPage, availPage, totalVirtual, availVirtual;
  DWORD load;
};

// Kilobytes of a /proc/meminfo line, 0 when missing.
std::uint64_t meminfoKb(const std::string& field) {
  std::ifstream in("/proc/meminfo");
  std::string name;
  std::uint64_t kb = 0;
  std::string unit;
  while (in >> name >> kb) {
    std::getline(in, unit);
    if (name == field + ":") return kb;
  }
  return 0;
}

MemoryFigures memoryFigures() {
  MemoryFigures m{};
  long fact = Host::current().factNumber(fact::MemoryBytes, 536870912);
  m.totalPhys = fact > 0 ? static_cast<std::uint64_t>(fact) : 536870912u;
  std::uint64_t linuxTotal = meminfoKb("MemTotal"), linuxAvail = meminfoKb("MemAvailable");
  double freeShare = linuxTotal ? static_cast<double>(linuxAvail) / static_cast<double>(linuxTotal) : 0.5;
  m.availPhys = static_cast<std::uint64_t>(static_cast<double>(m.totalPhys) * std::clamp(freeShare, 0.0, 1.0));
  m.load = static_cast<DWORD>(100 - (m.availPhys * 100) / m.totalPhys);
  // An XP page file is one and a half times the memory; the commit limit adds the memory.
  m.totalPage = m.totalPhys + m.totalPhys * 3 / 2;
  m.availPage = m.totalPage - (m.totalPhys - m.availPhys);
  m.totalVirtual = 0x7FFE0000u;
  long pages = 0, resident = 0;
  if (FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  std::uint64_t used = static_cast<std::uint64_t>(resident) * static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE));
  m.availVirtual = m.totalVirtual - std::min<std::uint64_t>(used, m.totalVirtual / 2);
  return m;
}

}  // namespace

void GlobalMemoryStatus(LPMEMORYSTATUS s) {
  if (!s) return;
  MemoryFigures m = memoryFigures();
  s->dwLength = sizeof(MEMORYSTATUS);
  s->dwMemoryLoad = m.load;
  s->dwTotalPhys = m.totalPhys;
  s->dwAvailPhys = m.availPhys;
  s->dwTotalPageFile = m.totalPage;
  s->dwAvailPageFile = m.availPage;
  s->dwTotalVirtual = m.totalVirtual;
  s->dwAvailVirtual = m.availVirtual;
}

BOOL GlobalMemoryStatusEx(LPMEMORYSTATUSEX s) {
  if (!s || s->dwLength != sizeof(MEMORYSTATUSEX)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  MemoryFigures m = memoryFigures();
  s->dwMemoryLoad = m.load;
  s->ullTotalPhys = m.totalPhys;
  s->ullAvailPhys = m.availPhys;
  s->ullTotalPageFile = m.totalPage;
  s->ullAvailPageFile = m.availPage;
  s->ullTotalVirtual = m.totalVirtual;
  s->ullAvailVirtual = m.availVirtual;
  s->ullAvailExtendedVirtual = 0;
  return TRUE;
}

// --- system folders -----------------------------------------------------------------------------

namespace {
UINT folderW(const char16_t* folder, LPWSTR buffer, UINT size) {
  return copyOut<char16_t>(std::u16string_view(folder), buffer, size);
}
UINT folderA(const char16_t* folder, LPSTR buffer, UINT size) {
  std::string ansi = text::wideToAnsi(folder);
  return copyOut<char>(ansi, buffer, size);
}
}  // namespace

UINT GetSystemDirectoryW(LPWSTR b, UINT n) { return folderW(platform::host::folders::System, b, n); }
UINT GetSystemDirectoryA(LPSTR b, UINT n) { return folderA(platform::host::folders::System, b, n); }
UINT GetWindowsDirectoryW(LPWSTR b, UINT n) { return folderW(platform::host::folders::Windows, b, n); }
UINT GetWindowsDirectoryA(LPSTR b, UINT n) { return folderA(platform::host::folders::Windows, b, n); }
UINT GetSystemWindowsDirectoryW(LPWSTR b, UINT n) { return folderW(platform::host::folders::Windows, b, n); }

// --- local and global memory --------------------------------------------------------------------

namespace {

// Every block is [Block][data]; a fixed block's handle is the data's address, a moveable one's
// the Block's. The table of live handles lets a stale or foreign handle fail cleanly.
struct alignas(16) Block {
  SIZE_T size;
  UINT flags;
  int locks;
};

std::mutex g_memMutex;
std::unordered_map<void*, Block*> g_blocks;  // handle -> block

void* dataOf(Block* b) { return reinterpret_cast<char*>(b) + sizeof(Block); }

Block* blockOf(void* handle) {
  auto it = g_blocks.find(handle);
  return it == g_blocks.end() ? nullptr : it->second;
}

void* memAlloc(UINT flags, SIZE_T bytes) {
  auto* b = static_cast<Block*>(std::malloc(sizeof(Block) + std::max<SIZE_T>(bytes, 1)));
  if (!b) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  b->size = bytes;
  b->flags = flags;
  b->locks = 0;
  if (flags & GMEM_ZEROINIT) std::memset(dataOf(b), 0, bytes);
  void* handle = (flags & GMEM_MOVEABLE) ? static_cast<void*>(b) : dataOf(b);
  std::lock_guard lock(g_memMutex);
  g_blocks.emplace(handle, b);
  return handle;
}

void* memFree(void* handle) {
  if (!handle) return nullptr;
  std::lock_guard lock(g_memMutex);
  auto it = g_blocks.find(handle);
  if (it == g_blocks.end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return handle;
  }
  std::free(it->second);
  g_blocks.erase(it);
  return nullptr;
}

void* memLock(void* handle) {
  std::lock_guard lock(g_memMutex);
  Block* b = blockOf(handle);
  if (!b) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if (b->flags & GMEM_MOVEABLE) ++b->locks;
  return dataOf(b);
}

BOOL memUnlock(void* handle) {
  std::lock_guard lock(g_memMutex);
  Block* b = blockOf(handle);
  if (!b) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!(b->flags & GMEM_MOVEABLE)) return TRUE;
  if (b->locks > 0) --b->locks;
  if (b->locks > 0) return TRUE;
  SetLastError(NO_ERROR);
  return FALSE;
}

SIZE_T memSize(void* handle) {
  std::lock_guard lock(g_memMutex);
  Block* b = blockOf(handle);
  if (!b) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  return b->size;
}

}  // namespace

HLOCAL LocalAlloc(UINT f, SIZE_T n) { return memAlloc(f, n); }
HLOCAL LocalFree(HLOCAL h) { return memFree(h); }
LPVOID LocalLock(HLOCAL h) { return memLock(h); }
BOOL LocalUnlock(HLOCAL h) { return memUnlock(h); }
SIZE_T LocalSize(HLOCAL h) { return memSize(h); }
HGLOBAL GlobalAlloc(UINT f, SIZE_T n) { return memAlloc(f, n); }
HGLOBAL GlobalFree(HGLOBAL h) { return memFree(h); }
LPVOID GlobalLock(HGLOBAL h) { return memLock(h); }
BOOL GlobalUnlock(HGLOBAL h) { return memUnlock(h); }
SIZE_T GlobalSize(HGLOBAL h) { return memSize(h); }

HGLOBAL GlobalHandle(LPCVOID p) {
  std::lock_guard lock(g_memMutex);
  void* data = const_cast<void*>(p);
  if (Block* b = blockOf(data); b && !(b->flags & GMEM_MOVEABLE)) return data;
  void* header = static_cast<char*>(data) - sizeof(Block);
  if (Block* b = blockOf(header); b && (b->flags & GMEM_MOVEABLE)) return header;
  SetLastError(ERROR_INVALID_HANDLE);
  return nullptr;
}

// --- FormatMessage ------------------------------------------------------------------------------

namespace {

// Where insert values come from: an array of DWORD_PTR, or a va_list read in insert order.
class InsertSource {
 public:
  enum class Kind { Pointer, Int32, Int64, Double };

  InsertSource(const DWORD_PTR* array, va_list* list) : array_(array), list_(list) {}
  bool empty() const { return !array_ && !list_; }

  // A va_list can only be read in order, so the kinds of all inserts are declared first.
  void declare(int index, Kind kind) {
    if (index > 0) kinds_[index] = kind;
  }

  void load() {
    if (array_ || !list_) return;
    int last = kinds_.empty() ? 0 : kinds_.rbegin()->first;
    va_list copy;
    va_copy(copy, *list_);
    for (int i = 1; i <= last; ++i) {
      auto it = kinds_.find(i);
      Kind kind = it == kinds_.end() ? Kind::Pointer : it->second;
      Value v{};
      switch (kind) {
        case Kind::Pointer: v.bits = reinterpret_cast<std::uintptr_t>(va_arg(copy, void*)); break;
        case Kind::Int32: v.bits = va_arg(copy, unsigned); break;
        case Kind::Int64: v.bits = va_arg(copy, unsigned long long); break;
        case Kind::Double: v.real = va_arg(copy, double); break;
      }
      values_[i] = v;
    }
    va_end(copy);
  }

  std::uint64_t bits(int index) const {
    if (array_) return array_[index - 1];
    auto it = values_.find(index);
    return it == values_.end() ? 0 : it->second.bits;
  }
  double real(int index) const {
    if (array_) {
      double d;
      std::memcpy(&d, &array_[index - 1], sizeof d);
      return d;
    }
    auto it = values_.find(index);
    return it == values_.end() ? 0.0 : it->second.real;
  }

 private:
  struct Value {
    std::uint64_t bits;
    double real;
  };
  const DWORD_PTR* array_;
  va_list* list_;
  std::map<int, Kind> kinds_;
  std::map<int, Value> values_;
};

// One "%n!format!" insert: its number and printf-style format ("s" when none is given).
struct Insert {
  int index = 0;
  std::string spec = "s";
};

// Parses an insert at text[i] == '%' followed by a digit; advances i past it.
Insert parseInsert(std::u16string_view text, std::size_t& i) {
  Insert ins;
  std::size_t j = i + 1;
  ins.index = text[j++] - u'0';
  if (j < text.size() && text[j] >= u'0' && text[j] <= u'9') ins.index = ins.index * 10 + (text[j++] - u'0');
  if (j < text.size() && text[j] == u'!') {
    std::size_t close = text.find(u'!', j + 1);
    if (close != std::u16string_view::npos) {
      ins.spec = text::toUtf8(text.substr(j + 1, close - j - 1));
      j = close + 1;
    }
  }
  i = j;
  return ins;
}

InsertSource::Kind kindOf(const std::string& spec) {
  char conv = spec.empty() ? 's' : spec.back();
  if (conv == 's' || conv == 'S' || conv == 'p') return InsertSource::Kind::Pointer;
  if (conv == 'e' || conv == 'E' || conv == 'f' || conv == 'g' || conv == 'G') return InsertSource::Kind::Double;
  if (spec.find("I64") != std::string::npos || spec.find("ll") != std::string::npos) return InsertSource::Kind::Int64;
  return InsertSource::Kind::Int32;
}

// The text of one insert by its printf-style format, Microsoft's meaning of the size letters.
std::u16string formatInsert(const Insert& ins, const InsertSource& source, bool wideCall) {
  std::string spec = ins.spec.empty() ? "s" : ins.spec;
  char conv = spec.back();
  // Split flags, width and precision from the size and conversion letters.
  std::size_t body = 0;
  while (body < spec.size() && std::strchr("-+ #0123456789.", spec[body])) ++body;
  std::string flags = spec.substr(0, body);
  std::string size = spec.substr(body, spec.size() - body - 1);
  if (conv == 's' || conv == 'S') {
    bool wideText = (conv == 's') == wideCall;
    if (size == "h") wideText = false;
    if (size == "l" || size == "w") wideText = true;
    std::u16string value;
    auto p = reinterpret_cast<const void*>(static_cast<std::uintptr_t>(source.bits(ins.index)));
    if (!p) value = u"(null)";
    else if (wideText) value = text::view(static_cast<const char16_t*>(p));
    else value = text::ansiToWide(static_cast<const char*>(p));
    // Width and precision as printf applies them to text.
    bool left = flags.find('-') != std::string::npos;
    std::size_t dot = flags.find('.');
    std::string widthPart = flags.substr(0, dot);
    std::size_t digit = widthPart.find_first_of("123456789");
    int width = digit == std::string::npos ? 0 : std::atoi(widthPart.c_str() + digit);
    int precision = dot == std::string::npos ? -1 : std::atoi(flags.c_str() + dot + 1);
    if (precision >= 0 && value.size() > static_cast<std::size_t>(precision)) value.resize(static_cast<std::size_t>(precision));
    if (value.size() < static_cast<std::size_t>(width)) {
      std::u16string pad(static_cast<std::size_t>(width) - value.size(), u' ');
      value = left ? value + pad : pad + value;
    }
    return value;
  }
  if (conv == 'c' || conv == 'C') {
    return std::u16string(1, static_cast<char16_t>(source.bits(ins.index) & 0xFFFF));
  }
  char buf[128];
  std::string f = "%" + flags;
  if (conv == 'e' || conv == 'E' || conv == 'f' || conv == 'g' || conv == 'G') {
    std::snprintf(buf, sizeof buf, (f + conv).c_str(), source.real(ins.index));
  } else if (conv == 'p') {
    std::snprintf(buf, sizeof buf, "%0*llX", static_cast<int>(sizeof(void*) * 2),
                  static_cast<unsigned long long>(source.bits(ins.index)));
  } else if (std::strchr("diuxXo", conv)) {
    bool is64 = kindOf(spec) == InsertSource::Kind::Int64;
    std::uint64_t bits = source.bits(ins.index);
    bool isSigned = conv == 'd' || conv == 'i';
    if (is64) {
      if (isSigned) std::snprintf(buf, sizeof buf, (f + "ll" + conv).c_str(), static_cast<long long>(bits));
      else std::snprintf(buf, sizeof buf, (f + "ll" + conv).c_str(), static_cast<unsigned long long>(bits));
    } else if (size == "h") {
      if (isSigned) std::snprintf(buf, sizeof buf, (f + conv).c_str(), static_cast<int>(static_cast<std::int16_t>(bits)));
      else std::snprintf(buf, sizeof buf, (f + conv).c_str(), static_cast<unsigned>(static_cast<std::uint16_t>(bits)));
    } else {
      if (isSigned) std::snprintf(buf, sizeof buf, (f + conv).c_str(), static_cast<int>(static_cast<std::int32_t>(bits)));
      else std::snprintf(buf, sizeof buf, (f + conv).c_str(), static_cast<unsigned>(static_cast<std::uint32_t>(bits)));
    }
  } else {
    return text::fromUtf8("%" + std::to_string(ins.index) + "!" + ins.spec + "!");
  }
  return text::fromUtf8(buf);
}

// Breaks lines longer than `width` at their last space (or at the width), as FormatMessage's
// width limit does; hard breaks (%n) stay.
std::u16string wrap(const std::u16string& in, unsigned width) {
  std::u16string out;
  std::size_t lineStart = 0;
  for (char16_t c : in) {
    out += c;
    if (c == u'\n') {
      lineStart = out.size();
      continue;
    }
    if (out.size() - lineStart > width) {
      std::size_t space = out.find_last_of(u' ', out.size() - 1);
      if (space != std::u16string::npos && space > lineStart) {
        out.replace(space, 1, u"\r\n");
        lineStart = space + 2;
      } else {
        out.insert(out.size() - 1, u"\r\n");
        lineStart = out.size() - 1;
      }
    }
  }
  return out;
}

// The formatted message, or an error code.
DWORD formatMessage(DWORD flags, std::u16string_view message, InsertSource& source, bool wideCall, std::u16string& out) {
  const bool ignoreInserts = flags & FORMAT_MESSAGE_IGNORE_INSERTS;
  const unsigned width = flags & FORMAT_MESSAGE_MAX_WIDTH_MASK;
  if (!ignoreInserts) {
    for (std::size_t i = 0; i < message.size();) {
      if (message[i] == u'%' && i + 1 < message.size() && message[i + 1] >= u'1' && message[i + 1] <= u'9') {
        Insert ins = parseInsert(message, i);
        if (source.empty()) return ERROR_INVALID_PARAMETER;
        source.declare(ins.index, kindOf(ins.spec));
      } else {
        ++i;
      }
    }
    source.load();
  }
  for (std::size_t i = 0; i < message.size();) {
    char16_t c = message[i];
    if (c == u'\r' || c == u'\n') {
      // A line break of the message text itself: kept, or a space under a width limit.
      std::size_t n = (c == u'\r' && i + 1 < message.size() && message[i + 1] == u'\n') ? 2 : 1;
      out += width ? std::u16string(u" ") : std::u16string(message.substr(i, n));
      i += n;
      continue;
    }
    if (c != u'%' || i + 1 >= message.size()) {
      out += c;
      ++i;
      continue;
    }
    char16_t e = message[i + 1];
    if (e >= u'1' && e <= u'9') {
      std::size_t start = i;
      Insert ins = parseInsert(message, i);
      if (ignoreInserts) out += message.substr(start, i - start);
      else out += formatInsert(ins, source, wideCall);
      continue;
    }
    i += 2;
    switch (e) {
      case u'0': return width && width != FORMAT_MESSAGE_MAX_WIDTH_MASK ? (out = wrap(out, width), 0u) : 0u;
      case u'n': out += u"\r\n"; break;
      case u'r': out += u'\r'; break;
      case u't': out += u'\t'; break;
      default: out += e; break;  // %% %. %! and "% " give the character itself
    }
  }
  if (width && width != FORMAT_MESSAGE_MAX_WIDTH_MASK) out = wrap(out, width);
  return 0;
}

// Resolves the message source; 0 or an error code.
DWORD findSource(DWORD flags, LPCVOID source, DWORD id, DWORD language, bool wideCall, std::u16string& message) {
  if (flags & FORMAT_MESSAGE_FROM_STRING) {
    if (!source) return ERROR_INVALID_PARAMETER;
    message = wideCall ? std::u16string(text::view(static_cast<const char16_t*>(source)))
                       : text::ansiToWide(static_cast<const char*>(source));
    return 0;
  }
  if (!(flags & FORMAT_MESSAGE_FROM_SYSTEM)) {
    // Message tables of modules are not kept: a module has none.
    return (flags & FORMAT_MESSAGE_FROM_HMODULE) ? ERROR_RESOURCE_TYPE_NOT_FOUND : ERROR_INVALID_PARAMETER;
  }
  // The system's texts are English: a neutral (0x00) or English (0x09) primary language finds them.
  WORD primary = static_cast<WORD>(language & 0x3FF);
  if (language != 0 && primary != 0x00 && primary != 0x09) return ERROR_RESOURCE_LANG_NOT_FOUND;
  const char16_t* text = platform::win32::systemMessage(id);
  if (!text) return ERROR_MR_MID_NOT_FOUND;
  message = text;
  return 0;
}

template <class Char>
DWORD deliver(DWORD flags, const std::basic_string<Char>& out, Char* buffer, DWORD size) {
  if (flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) {
    if (!buffer) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return 0;
    }
    SIZE_T chars = std::max<SIZE_T>(out.size() + 1, size);
    auto* block = static_cast<Char*>(LocalAlloc(LMEM_FIXED, chars * sizeof(Char)));
    if (!block) return 0;
    std::copy(out.begin(), out.end(), block);
    block[out.size()] = 0;
    *reinterpret_cast<Char**>(buffer) = block;
    return static_cast<DWORD>(out.size());
  }
  if (!buffer || size < out.size() + 1) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::copy(out.begin(), out.end(), buffer);
  buffer[out.size()] = 0;
  return static_cast<DWORD>(out.size());
}

DWORD formatCommon(DWORD flags, LPCVOID source, DWORD id, DWORD language, va_list* args, bool wideCall,
                   std::u16string& out) {
  std::u16string message;
  if (DWORD rc = findSource(flags, source, id, language, wideCall, message)) return rc;
  const DWORD_PTR* array = (flags & FORMAT_MESSAGE_ARGUMENT_ARRAY) ? reinterpret_cast<const DWORD_PTR*>(args) : nullptr;
  InsertSource inserts(array, array ? nullptr : args);
  return formatMessage(flags, message, inserts, wideCall, out);
}

}  // namespace

DWORD FormatMessageW(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId, DWORD dwLanguageId, LPWSTR lpBuffer,
                     DWORD nSize, va_list* Arguments) {
  std::u16string out;
  if (DWORD rc = formatCommon(dwFlags, lpSource, dwMessageId, dwLanguageId, Arguments, true, out)) {
    SetLastError(rc);
    return 0;
  }
  return deliver<char16_t>(dwFlags, out, lpBuffer, nSize);
}

DWORD FormatMessageA(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId, DWORD dwLanguageId, LPSTR lpBuffer,
                     DWORD nSize, va_list* Arguments) {
  std::u16string out;
  if (DWORD rc = formatCommon(dwFlags, lpSource, dwMessageId, dwLanguageId, Arguments, false, out)) {
    SetLastError(rc);
    return 0;
  }
  return deliver<char>(dwFlags, text::wideToAnsi(out), lpBuffer, nSize);
}

namespace platform::win32 {

const char16_t* systemMessage(DWORD code) {
  if (const Message* m = findMessage(code)) return m->text;
  // An HRESULT of the Win32 facility reads as the Win32 code's text.
  if ((code & 0xFFFF0000u) == 0x80070000u)
    if (const Message* m = findMessage(code & 0xFFFFu)) return m->text;
  return nullptr;
}

std::string errorName(DWORD code) {
  const Message* m = findMessage(code);
  return m ? m->name : std::string();
}

bool errorByName(std::string_view name, DWORD& code) {
  for (const auto& m : kMessages)
    if (name == m.name) {
      code = m.code;
      return true;
    }
  return false;
}

}  // namespace platform::win32

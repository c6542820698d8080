// Fennock's entry point, its export table, and the exports that start programs, create and
// delete files, give the last error's text and look for a device by name in the device tree.
#include <algorithm>
#include <cstring>
#include <string>

#include "fennock/fennock_internal.h"
#include "platform/base/codepage.h"
#include "platform/base/text.h"
#include "platform/com/runtime.h"
#include "platform/win32/cfgmgr.h"
#include "platform/win32/error.h"
#include "platform/win32/file.h"
#include "platform/win32/locale.h"
#include "platform/win32/module.h"
#include "platform/win32/rpc.h"
#include "platform/win32/setupapi.h"
#include "platform/win32/shell_execute.h"
#include "platform/win32/system.h"
#include "platform/win32/window.h"

namespace fennock {

HINSTANCE g_module = nullptr;
HWND g_setupWindow = nullptr;

std::string upperAnsi(const std::string& text) {
  return platform::text::wideToAnsi(platform::text::upcased(platform::text::ansiToWide(text)));
}

}  // namespace fennock

// Declared by the Parts of the library that define them (drives.cpp, ipod.cpp).
int Fennock_iPodMount(HWND, ULONG_PTR, const char*);
int Fennock_iPodEnableDiskUse(HWND, ULONG_PTR, const char*);
int Fennock_iPodGetDiskUse(HWND, ULONG_PTR, const char*);
int Fennock_iPodIsMounted(HWND, ULONG_PTR, const char*);
int Fennock_iPodFindFirstIpod(HWND, ULONG_PTR, const char*);
int Fennock_GetDriveDesignation(HWND, ULONG_PTR, const char*);
int Fennock_EnumDriveDesignation(HWND, ULONG_PTR, const char*);
int Fennock_EnumUSBDriveDesignation(HWND, ULONG_PTR, const char*);
int Fennock_GetDriveDlg(HWND, ULONG_PTR, const char*);
int Fennock_InstallableDriveExists(HWND, ULONG_PTR, const char*);

namespace {

using fennock::upperAnsi;

constexpr int kFailure = -1;
constexpr DWORD kComputerNameChars = 258;
constexpr ULONG kPropertyBytes = 1024;
constexpr const char* kUnknownDevice = "Unknown Device";

bool caseSensitive(ULONG_PTR flag) {
  const auto* value = reinterpret_cast<const int*>(flag);
  return value && *value != 0;
}

// A text property of a node, or false when it has none (or it does not fit the buffer).
bool nodeText(DEVINST node, ULONG property, HMACHINE machine, std::string& text) {
  char buffer[kPropertyBytes] = {};
  ULONG length = kPropertyBytes;
  ULONG type = 0;
  if (CM_Get_DevNode_Registry_Property_ExA(node, property, &type, buffer, &length, 0, machine) != CR_SUCCESS) return false;
  if (length == 0 || length > kPropertyBytes) return false;
  buffer[kPropertyBytes - 1] = 0;
  text.assign(buffer, strnlen(buffer, length));
  return true;
}

// Whether the node's setup class has an image: only the device manager's known classes count.
bool knownClass(DEVINST node, HMACHINE machine, SP_CLASSIMAGELIST_DATA& images) {
  std::string guidText;
  if (!nodeText(node, CM_DRP_CLASSGUID, machine, guidText)) return false;
  if (!guidText.empty() && guidText.front() == '{') guidText.erase(0, 1);
  if (!guidText.empty() && guidText.back() == '}') guidText.pop_back();
  GUID classGuid{};
  if (UuidFromStringA(reinterpret_cast<const unsigned char*>(guidText.c_str()), &classGuid) != RPC_S_OK) return false;
  int index = 0;
  return SetupDiGetClassImageIndex(&images, &classGuid, &index) != FALSE;
}

bool findDevice(DEVINST node, const std::string& pattern, bool upper, HMACHINE machine, SP_CLASSIMAGELIST_DATA& images) {
  for (;;) {
    DEVINST sibling = 0;
    const bool hasSibling = CM_Get_Sibling_Ex(&sibling, node, 0, machine) == CR_SUCCESS;
    if (knownClass(node, machine, images)) {
      std::string name;
      if (!nodeText(node, CM_DRP_FRIENDLYNAME, machine, name) && !nodeText(node, CM_DRP_DEVICEDESC, machine, name))
        name = kUnknownDevice;
      if (upper) name = upperAnsi(name);
      if (name.find(pattern) != std::string::npos) return true;
    }
    DEVINST child = 0;
    if (CM_Get_Child_Ex(&child, node, 0, machine) == CR_SUCCESS && findDevice(child, pattern, upper, machine, images))
      return true;
    if (!hasSibling) return false;
    node = sibling;
  }
}

}  // namespace

int Fennock_LaunchApp(HWND window, ULONG_PTR, const char* path) {
  if (!path) return kFailure;
  const std::size_t length = std::strlen(path);
  // The program's folder is cut from a copy in a fixed buffer: a longer path is refused.
  if (length > static_cast<std::size_t>(kFennockLaunchPathChars)) return kFailure;
  char folder[kFennockLaunchPathChars + 1] = {};
  std::memcpy(folder, path, length);
  const char* directory = folder;
  if (char* last = std::strrchr(folder, '\\')) {
    last[1] = 0;
    if (last == folder) directory = nullptr;
  }
  HINSTANCE started = ShellExecuteA(window, "open", path, nullptr, directory, SW_SHOW);
  return reinterpret_cast<INT_PTR>(started) > 32 ? 0 : kFailure;
}

int Fennock_CreateFile(HWND, ULONG_PTR error, const char* path) {
  HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_FLAG_OVERLAPPED | FILE_ATTRIBUTE_NORMAL,
                            nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    if (auto* code = reinterpret_cast<int*>(error)) *code = static_cast<int>(GetLastError());
    return kFailure;
  }
  CloseHandle(file);
  return 0;
}

int Fennock_DeleteFile(HWND, ULONG_PTR, const char* path) { return DeleteFileA(path) ? 0 : kFailure; }

int Fennock_FormatLastErrorMessage(HWND, ULONG_PTR buffer, const char*) {
  const DWORD code = GetLastError();
  auto* out = reinterpret_cast<char*>(buffer);
  if (!out) return 0;
  char* message = nullptr;
  const DWORD length =
      FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                     code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPSTR>(&message), 0, nullptr);
  // The caller's buffer has the documented size: a longer message is cut, never overrun.
  const std::size_t copied = message ? std::min<std::size_t>(length, kFennockErrorTextBytes - 1) : 0;
  if (copied) std::memcpy(out, message, copied);
  out[copied] = 0;
  if (message) LocalFree(message);
  return 0;
}

int Fennock_GetDevice(HWND, ULONG_PTR caseFlag, const char* name) {
  if (!name) return 0;
  const bool upper = !caseSensitive(caseFlag);
  const std::string pattern = upper ? upperAnsi(name) : std::string(name);
  char computer[kComputerNameChars + 1] = {};
  DWORD size = kComputerNameChars;
  if (!GetComputerNameA(computer, &size)) return 0;
  const std::string machineName = std::string("\\\\") + computer;
  HMACHINE machine = nullptr;
  if (CM_Connect_MachineA(machineName.c_str(), &machine) != CR_SUCCESS) return 0;
  SP_CLASSIMAGELIST_DATA images{};
  images.cbSize = sizeof images;
  const bool haveImages = SetupDiGetClassImageList(&images) != FALSE;
  int found = 0;
  DEVINST root = 0, first = 0;
  if (haveImages && CM_Locate_DevNode_ExA(&root, nullptr, CM_LOCATE_DEVNODE_NORMAL, machine) == CR_SUCCESS &&
      CM_Get_Child_Ex(&first, root, 0, machine) == CR_SUCCESS)
    found = findDevice(first, pattern, upper, machine, images) ? 1 : 0;
  if (haveImages) SetupDiDestroyClassImageList(&images);
  CM_Disconnect_Machine(machine);
  return found;
}

namespace {

BOOL FennockMain(HINSTANCE module, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    // The setup program's thread, on which the iPod service is then called.
    CoInitialize(nullptr);
    fennock::g_module = module;
  } else if (reason == DLL_THREAD_ATTACH) {
    DisableThreadLibraryCalls(module);
  }
  return TRUE;
}

}  // namespace

KIPO_EXPORT_TABLE(FennockMain,
                  KIPO_EXPORT("Fennock_LaunchApp", 1, Fennock_LaunchApp),
                  KIPO_EXPORT("Fennock_CreateFile", 2, Fennock_CreateFile),
                  KIPO_EXPORT("Fennock_DeleteFile", 3, Fennock_DeleteFile),
                  KIPO_EXPORT("Fennock_FormatLastErrorMessage", 4, Fennock_FormatLastErrorMessage),
                  KIPO_EXPORT("Fennock_GetDevice", 5, Fennock_GetDevice),
                  KIPO_EXPORT("Fennock_iPodMount", 6, Fennock_iPodMount),
                  KIPO_EXPORT("Fennock_iPodEnableDiskUse", 7, Fennock_iPodEnableDiskUse),
                  KIPO_EXPORT("Fennock_iPodGetDiskUse", 8, Fennock_iPodGetDiskUse),
                  KIPO_EXPORT("Fennock_iPodIsMounted", 9, Fennock_iPodIsMounted),
                  KIPO_EXPORT("Fennock_iPodFindFirstIpod", 10, Fennock_iPodFindFirstIpod),
                  KIPO_EXPORT("Fennock_GetDriveDesignation", 11, Fennock_GetDriveDesignation),
                  KIPO_EXPORT("Fennock_EnumDriveDesignation", 12, Fennock_EnumDriveDesignation),
                  KIPO_EXPORT("Fennock_EnumUSBDriveDesignation", 13, Fennock_EnumUSBDriveDesignation),
                  KIPO_EXPORT("Fennock_GetDriveDlg", 14, Fennock_GetDriveDlg),
                  KIPO_EXPORT("Fennock_InstallableDriveExists", 15, Fennock_InstallableDriveExists));

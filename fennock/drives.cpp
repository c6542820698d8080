// Fennock's drive exports: the disks of the disk interface class with their device numbers and
// friendly names, the drive letters that answer the same device-number request, the letter of a
// disk found by name, the letter lists of all and of USB drives, and the drive-choice dialog.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "fennock/fennock_internal.h"
#include "platform/base/codepage.h"
#include "platform/base/text.h"
#include "platform/win32/controls_msg.h"
#include "platform/win32/dialog.h"
#include "platform/win32/error.h"
#include "platform/win32/file.h"
#include "platform/win32/ioctl.h"
#include "platform/win32/resource.h"
#include "platform/win32/setupapi.h"
#include "platform/win32/system.h"
#include "platform/win32/volume.h"
#include "platform/win32/window.h"

namespace fennock {

namespace {

constexpr DWORD kFriendlyNameBytes = 1024;
constexpr DWORD kDescriptorBytes = 551;
constexpr DWORD kBusTypeOffset = 28;
constexpr int kLetterCount = 26;
constexpr char kNoChoice = ' ';
constexpr const char* kSetupWindowClass = "DlgcacClsName";
constexpr const char* kJapanese = "JPN";

struct DiskRecord {
  DWORD deviceType = 0;
  DWORD deviceNumber = 0;
  std::string friendlyName;
};

struct DriveRecord {
  char letter = 0;
  DWORD deviceType = 0;
  DWORD deviceNumber = 0;
};

// The device type and number of an open disk or volume; false when it does not answer in full.
bool deviceNumberOf(HANDLE device, DWORD& type, DWORD& number) {
  STORAGE_DEVICE_NUMBER answer{};
  DWORD returned = 0;
  if (!DeviceIoControl(device, IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, &answer, sizeof answer, &returned, nullptr) ||
      returned < sizeof answer)
    return false;
  type = answer.DeviceType;
  number = answer.DeviceNumber;
  return true;
}

bool onUsbBus(HANDLE device) {
  STORAGE_PROPERTY_QUERY query{};
  query.PropertyId = StorageDeviceProperty;
  query.QueryType = PropertyStandardQuery;
  BYTE descriptor[kDescriptorBytes] = {};
  DWORD returned = 0;
  if (!DeviceIoControl(device, IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query, descriptor, kDescriptorBytes, &returned,
                       nullptr))
    return false;
  // The bus type is read only when the answer reaches it.
  if (returned < kBusTypeOffset + sizeof(DWORD)) return false;
  DWORD busType = 0;
  std::memcpy(&busType, descriptor + kBusTypeOffset, sizeof busType);
  return busType == BusTypeUsb;
}

// The disks of the disk interface class in discovery order; false when the class cannot be listed.
bool diskList(std::vector<DiskRecord>& disks) {
  HDEVINFO set = SetupDiGetClassDevsA(&GUID_DEVINTERFACE_DISK, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  if (set == INVALID_HANDLE_VALUE) return false;
  for (DWORD i = 0;; ++i) {
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    if (!SetupDiEnumDeviceInfo(set, i, &device)) break;
    SP_DEVICE_INTERFACE_DATA face{};
    face.cbSize = sizeof face;
    if (!SetupDiEnumDeviceInterfaces(set, &device, &GUID_DEVINTERFACE_DISK, 0, &face)) continue;
    DWORD need = 0;
    SetupDiGetDeviceInterfaceDetailA(set, &face, nullptr, 0, &need, nullptr);
    if (need < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)) continue;
    std::vector<BYTE> buffer(need);
    auto* detail = reinterpret_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_A>(buffer.data());
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    if (!SetupDiGetDeviceInterfaceDetailA(set, &face, detail, need, nullptr, nullptr)) continue;
    HANDLE disk = CreateFileA(detail->DevicePath, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (disk == INVALID_HANDLE_VALUE) continue;
    DiskRecord record;
    if (deviceNumberOf(disk, record.deviceType, record.deviceNumber)) {
      char name[kFriendlyNameBytes] = {};
      DWORD size = 0;
      if (SetupDiGetDeviceRegistryPropertyA(set, &device, SPDRP_FRIENDLYNAME, nullptr, reinterpret_cast<PBYTE>(name),
                                            kFriendlyNameBytes - 1, &size))
        record.friendlyName.assign(name, strnlen(name, kFriendlyNameBytes - 1));
      disks.push_back(std::move(record));
    }
    CloseHandle(disk);
  }
  SetupDiDestroyDeviceInfoList(set);
  return true;
}

// The drives A to Z that answer the device-number request (on a USB bus only when usbOnly).
std::vector<DriveRecord> driveScan(bool usbOnly) {
  std::vector<DriveRecord> drives;
  const UINT previous = SetErrorMode(SEM_FAILCRITICALERRORS);
  const DWORD present = GetLogicalDrives();
  for (int i = 0; i < kLetterCount; ++i) {
    if (!(present & (1u << i))) continue;
    const char letter = static_cast<char>('A' + i);
    const std::string volume = std::string("\\\\.\\") + letter + ":";
    HANDLE handle = CreateFileA(volume.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) continue;
    DriveRecord drive;
    drive.letter = letter;
    if (deviceNumberOf(handle, drive.deviceType, drive.deviceNumber) && (!usbOnly || onUsbBus(handle)))
      drives.push_back(drive);
    CloseHandle(handle);
  }
  SetErrorMode(previous);
  return drives;
}

std::string rootOf(char letter) {
  char root[8] = {};
  std::snprintf(root, sizeof root, "%c:\\", letter);
  return root;
}

char systemDriveLetter() {
  char folder[MAX_PATH] = {};
  if (!GetSystemDirectoryA(folder, MAX_PATH)) return 0;
  return static_cast<char>(std::toupper(static_cast<unsigned char>(folder[0])));
}

int positionOf(ULONG_PTR pointer) {
  const auto* index = reinterpret_cast<const int*>(pointer);
  return index ? *index : 0;
}

// ---- the drive-choice dialog ----

char g_chosenLetter = kNoChoice;

const char* typeWord(UINT type) {
  switch (type) {
    case DRIVE_REMOVABLE:
      return "Removable";
    case DRIVE_FIXED:
      return "Fixed";
    case DRIVE_REMOTE:
      return "Remote";
    case DRIVE_RAMDISK:
      return "RAM Disk";
    default:
      return "Unknown";
  }
}

void centreOnDesktop(HWND dialog) {
  RECT desktop{}, own{};
  GetWindowRect(GetDesktopWindow(), &desktop);
  GetWindowRect(dialog, &own);
  const int x = desktop.left + ((desktop.right - desktop.left) - (own.right - own.left)) / 2;
  const int y = desktop.top + ((desktop.bottom - desktop.top) - (own.bottom - own.top)) / 2;
  SetWindowPos(dialog, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  SetWindowPos(dialog, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

std::u16string lineText(HWND list, int index) {
  const LRESULT length = SendMessageW(list, LB_GETTEXTLEN, static_cast<WPARAM>(index), 0);
  if (length < 0) return {};
  std::u16string text(static_cast<std::size_t>(length) + 1, u'\0');
  const LRESULT copied = SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
  text.resize(copied > 0 ? static_cast<std::size_t>(copied) : 0);
  return text;
}

void fillDriveList(HWND dialog) {
  HWND list = GetDlgItem(dialog, IDC_FENNOCK_DRIVE_LIST);
  const char system = systemDriveLetter();
  for (int position = 0;; ++position) {
    const char letter = driveLetterAt(position);
    if (!letter) break;
    const std::string root = rootOf(letter);
    const UINT type = GetDriveTypeA(root.c_str());
    if (type == DRIVE_NO_ROOT_DIR || type == DRIVE_CDROM || letter == system) continue;
    char volume[MAX_PATH + 1] = {};
    if (root.size() == 3 && !GetVolumeInformationA(root.c_str(), volume, MAX_PATH + 1, nullptr, nullptr, nullptr, nullptr, 0))
      volume[0] = 0;
    char line[MAX_PATH + 64] = {};
    std::snprintf(line, sizeof line, "%s  %s (%s)", root.substr(0, 2).c_str(), volume, typeWord(type));
    const std::u16string wide = platform::text::ansiToWide(line);
    SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide.c_str()));
  }
  const LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0);
  if (count > 0) EnableWindow(GetDlgItem(dialog, IDOK), TRUE);
  int removable = -1, fixed = -1;
  for (int i = 0; i < count; ++i) {
    const std::u16string text = lineText(list, i);
    if (removable < 0 && text.find(u"Removable") != std::u16string::npos) removable = i;
    if (fixed < 0 && text.find(u"Fixed") != std::u16string::npos) fixed = i;
  }
  const int preselect = removable >= 0 ? removable : fixed;
  if (preselect >= 0) SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(preselect), 0);
}

INT_PTR CALLBACK driveDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG: {
      centreOnDesktop(dialog);
      g_chosenLetter = kNoChoice;
      EnableWindow(GetDlgItem(dialog, IDOK), FALSE);
      if (HWND setup = FindWindowA(kSetupWindowClass, nullptr)) UpdateWindow(setup);
      fillDriveList(dialog);
      return TRUE;
    }
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK) {
        HWND list = GetDlgItem(dialog, IDC_FENNOCK_DRIVE_LIST);
        const LRESULT selected = SendMessageW(list, LB_GETCURSEL, 0, 0);
        // Without a selection no line is read: the choice stays blank.
        if (selected != LB_ERR) {
          const std::u16string text = lineText(list, static_cast<int>(selected));
          if (!text.empty() && text[0] < 0x80) g_chosenLetter = static_cast<char>(text[0]);
        }
        EndDialog(dialog, IDOK);
        return TRUE;
      }
      if (LOWORD(wParam) == IDCANCEL) {
        EndDialog(dialog, IDCANCEL);
        return TRUE;
      }
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace

std::vector<char> driveLetters(bool usbOnly) {
  std::vector<char> letters;
  std::vector<DiskRecord> disks;
  if (!diskList(disks) || disks.empty()) return letters;
  for (const DriveRecord& d : driveScan(usbOnly))
    if (letters.size() < static_cast<std::size_t>(kLetterCount)) letters.push_back(d.letter);
  return letters;
}

char driveLetterAt(int position) {
  const std::vector<char> letters = driveLetters(false);
  if (position < 0 || position >= kLetterCount || static_cast<std::size_t>(position) >= letters.size()) return 0;
  return letters[static_cast<std::size_t>(position)];
}

}  // namespace fennock

using namespace fennock;

int Fennock_GetDriveDesignation(HWND, ULONG_PTR caseFlag, const char* name) {
  if (!name) return 0;
  const auto* flag = reinterpret_cast<const int*>(caseFlag);
  const bool upper = !(flag && *flag);
  const std::string pattern = upper ? upperAnsi(name) : std::string(name);
  std::vector<DiskRecord> disks;
  if (!diskList(disks)) return 0;
  for (const DriveRecord& drive : driveScan(false)) {
    for (const DiskRecord& disk : disks) {
      if (disk.deviceType != drive.deviceType || disk.deviceNumber != drive.deviceNumber) continue;
      const std::string diskName = upper ? upperAnsi(disk.friendlyName) : disk.friendlyName;
      if (diskName.find(pattern) != std::string::npos) return static_cast<unsigned char>(drive.letter);
    }
  }
  return 0;
}

int Fennock_EnumDriveDesignation(HWND, ULONG_PTR index, const char*) {
  return static_cast<unsigned char>(driveLetterAt(positionOf(index)));
}

int Fennock_EnumUSBDriveDesignation(HWND, ULONG_PTR index, const char*) {
  const int position = positionOf(index);
  const std::vector<char> letters = driveLetters(true);
  if (position < 0 || position >= kLetterCount || static_cast<std::size_t>(position) >= letters.size()) return 0;
  return static_cast<unsigned char>(letters[static_cast<std::size_t>(position)]);
}

int Fennock_InstallableDriveExists(HWND, ULONG_PTR, const char*) {
  const char system = systemDriveLetter();
  const std::vector<char> letters = driveLetters(false);
  for (char letter : letters) {
    const UINT type = GetDriveTypeA(rootOf(letter).c_str());
    if ((type == DRIVE_REMOVABLE || type == DRIVE_FIXED) && letter != system) return 1;
  }
  return 0;
}

int Fennock_GetDriveDlg(HWND window, ULONG_PTR, const char* language) {
  g_setupWindow = window;
  const int templateId =
      language && std::strcmp(language, kJapanese) == 0 ? IDD_FENNOCK_DRIVE_JAPANESE : IDD_FENNOCK_DRIVE_ENGLISH;
  HWND owner = FindWindowA(kSetupWindowClass, nullptr);
  g_chosenLetter = kNoChoice;
  DialogBoxParamW(g_module, MAKEINTRESOURCEW(templateId), owner, driveDialogProc, 0);
  return static_cast<unsigned char>(g_chosenLetter);
}

// The Setup API's 8-bit calls (over the wide ones) and the class image list.
#include <cstddef>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

#include "platform/base/codepage.h"
#include "platform/base/text.h"
#include "platform/win32/controls/commctrl.h"
#include "platform/win32/device_text.h"
#include "platform/win32/error.h"
#include "platform/win32/setupapi.h"

namespace host = platform::host;

namespace platform::device {

std::vector<std::uint8_t> ansiPropertyData(const host::DeviceProperty& p) {
  if (p.type != REG_SZ && p.type != REG_EXPAND_SZ && p.type != REG_MULTI_SZ) return p.data;
  // Whole UTF-16 units only; the NULs inside a multi-string survive the conversion.
  std::u16string wide(p.data.size() / 2, u'\0');
  std::memcpy(wide.data(), p.data.data(), wide.size() * 2);
  std::string narrow = platform::text::wideToAnsi(wide);
  return std::vector<std::uint8_t>(narrow.begin(), narrow.end());
}

}  // namespace platform::device

HDEVINFO SetupDiGetClassDevsA(const GUID* ClassGuid, PCSTR Enumerator, HWND hwndParent, DWORD Flags) {
  std::u16string enumerator = Enumerator ? platform::text::ansiToWide(Enumerator) : std::u16string();
  return SetupDiGetClassDevsW(ClassGuid, Enumerator ? enumerator.c_str() : nullptr, hwndParent, Flags);
}

BOOL SetupDiGetDeviceInterfaceDetailA(HDEVINFO DeviceInfoSet, PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData,
                                      PSP_DEVICE_INTERFACE_DETAIL_DATA_A Detail, DWORD DetailSize, PDWORD RequiredSize,
                                      PSP_DEVINFO_DATA DeviceInfoData) {
  // The wide path first (it checks the set and the interface), then its 8-bit form.
  DWORD wideSize = 0;
  SetupDiGetDeviceInterfaceDetailW(DeviceInfoSet, DeviceInterfaceData, nullptr, 0, &wideSize, nullptr);
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return FALSE;
  std::vector<std::uint8_t> buffer(wideSize);
  auto* wide = reinterpret_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_W>(buffer.data());
  wide->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
  SP_DEVINFO_DATA owner{};
  owner.cbSize = sizeof owner;
  if (DeviceInfoData && DeviceInfoData->cbSize != sizeof(SP_DEVINFO_DATA)) {
    SetLastError(ERROR_INVALID_USER_BUFFER);
    return FALSE;
  }
  if (!SetupDiGetDeviceInterfaceDetailW(DeviceInfoSet, DeviceInterfaceData, wide, wideSize, nullptr, &owner))
    return FALSE;
  const std::string path = platform::text::wideToAnsi(platform::text::view(wide->DevicePath));
  const DWORD need = static_cast<DWORD>(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath) + path.size() + 1);
  if (RequiredSize) *RequiredSize = need;
  if (Detail && Detail->cbSize != sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)) {
    SetLastError(ERROR_INVALID_USER_BUFFER);
    return FALSE;
  }
  if (!Detail || DetailSize < need) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  std::memcpy(Detail->DevicePath, path.c_str(), path.size() + 1);
  if (DeviceInfoData) *DeviceInfoData = owner;
  return TRUE;
}

BOOL SetupDiGetDeviceRegistryPropertyA(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData, DWORD Property,
                                       PDWORD PropertyRegDataType, PBYTE PropertyBuffer, DWORD PropertyBufferSize,
                                       PDWORD RequiredSize) {
  // The wide call checks the set, the device and the code, and gives the stored form.
  DWORD type = 0, wideSize = 0;
  if (!SetupDiGetDeviceRegistryPropertyW(DeviceInfoSet, DeviceInfoData, Property, &type, nullptr, 0, &wideSize) &&
      GetLastError() != ERROR_INSUFFICIENT_BUFFER)
    return FALSE;
  host::DeviceProperty stored;
  stored.type = type;
  stored.data.resize(wideSize);
  if (wideSize && !SetupDiGetDeviceRegistryPropertyW(DeviceInfoSet, DeviceInfoData, Property, &type, stored.data.data(),
                                                     wideSize, nullptr))
    return FALSE;
  const std::vector<std::uint8_t> data = platform::device::ansiPropertyData(stored);
  if (PropertyRegDataType) *PropertyRegDataType = type;
  if (RequiredSize) *RequiredSize = static_cast<DWORD>(data.size());
  if (!PropertyBuffer || PropertyBufferSize < data.size()) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  if (!data.empty()) std::memcpy(PropertyBuffer, data.data(), data.size());
  return TRUE;
}

// ---- the class image list ----

namespace {

// The displayed setup classes, in the order of their images.
const GUID kDisplayedClasses[] = {
    host::kClassComputer,
    host::kClassDiskDrive,
    host::kClassVolume,
    host::kClassUsb,
    host::kClassProcessor,
    host::kClassKeyboard,
    {0x4D36E96F, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}},  // Mouse
    {0x4D36E968, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}},  // Display
    {0x4D36E965, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}},  // CDROM
    {0x4D36E97D, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}},  // System
    {0x745A17A0, 0x74D3, 0x11D0, {0xB6, 0xFE, 0x00, 0xA0, 0xC9, 0x0F, 0x57, 0xDA}},  // HIDClass
};
constexpr int kIconSize = 16;

std::mutex g_listLock;
std::map<ULONG_PTR, HIMAGELIST> g_lists;  // Reserved token -> the list it was made with
ULONG_PTR g_nextList = 0x1C0;

bool knownList(PSP_CLASSIMAGELIST_DATA data) {
  std::lock_guard hold(g_listLock);
  auto it = g_lists.find(data->Reserved);
  return it != g_lists.end() && it->second == data->ImageList;
}

}  // namespace

BOOL SetupDiGetClassImageList(PSP_CLASSIMAGELIST_DATA data) {
  if (!data || data->cbSize != sizeof(SP_CLASSIMAGELIST_DATA)) {
    SetLastError(ERROR_INVALID_USER_BUFFER);
    return FALSE;
  }
  constexpr int count = static_cast<int>(sizeof kDisplayedClasses / sizeof kDisplayedClasses[0]);
  HIMAGELIST list = ImageList_Create(kIconSize, kIconSize, ILC_COLOR32 | ILC_MASK, count, 0);
  if (!list) return FALSE;
  std::lock_guard hold(g_listLock);
  data->ImageList = list;
  data->Reserved = g_nextList++;
  g_lists[data->Reserved] = list;
  return TRUE;
}

BOOL SetupDiGetClassImageIndex(PSP_CLASSIMAGELIST_DATA data, const GUID* classGuid, int* imageIndex) {
  if (!data || data->cbSize != sizeof(SP_CLASSIMAGELIST_DATA)) {
    SetLastError(ERROR_INVALID_USER_BUFFER);
    return FALSE;
  }
  if (!classGuid || !imageIndex || !knownList(data)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  for (std::size_t i = 0; i < sizeof kDisplayedClasses / sizeof kDisplayedClasses[0]; ++i)
    if (host::sameGuid(kDisplayedClasses[i], *classGuid)) {
      *imageIndex = static_cast<int>(i);
      return TRUE;
    }
  SetLastError(ERROR_INVALID_CLASS);
  return FALSE;
}

BOOL SetupDiDestroyClassImageList(PSP_CLASSIMAGELIST_DATA data) {
  if (!data || data->cbSize != sizeof(SP_CLASSIMAGELIST_DATA)) {
    SetLastError(ERROR_INVALID_USER_BUFFER);
    return FALSE;
  }
  HIMAGELIST list = nullptr;
  {
    std::lock_guard hold(g_listLock);
    auto it = g_lists.find(data->Reserved);
    if (it == g_lists.end() || it->second != data->ImageList) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    list = it->second;
    g_lists.erase(it);
  }
  ImageList_Destroy(list);
  data->ImageList = nullptr;
  data->Reserved = 0;
  return TRUE;
}

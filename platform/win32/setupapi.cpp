// Device information sets over the host's device tree.
#include "platform/win32/setupapi.h"

#include <cstddef>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/base/text.h"
#include "platform/host/device_tree.h"
#include "platform/win32/error.h"

namespace host = platform::host;

const GUID GUID_DEVINTERFACE_DISK = host::kInterfaceDisk;
const GUID GUID_DEVINTERFACE_VOLUME = host::kInterfaceVolume;
const GUID GUID_DEVINTERFACE_USB_DEVICE = host::kInterfaceUsbDevice;

namespace {

struct Member {
  host::DeviceNode node;
  std::vector<host::DeviceInterfaceEntry> interfaces;
};

struct DeviceInfoSet {
  std::vector<Member> members;
};

std::mutex g_mutex;
std::map<std::intptr_t, std::shared_ptr<DeviceInfoSet>> g_sets;
std::intptr_t g_next = 0x5E70;

std::shared_ptr<DeviceInfoSet> find(HDEVINFO h) {
  std::lock_guard lock(g_mutex);
  auto it = g_sets.find(reinterpret_cast<std::intptr_t>(h));
  if (it == g_sets.end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return it->second;
}

HDEVINFO newSet() {
  std::lock_guard lock(g_mutex);
  std::intptr_t id = g_next++;
  g_sets[id] = std::make_shared<DeviceInfoSet>();
  return reinterpret_cast<HDEVINFO>(id);
}

const Member* memberOf(DeviceInfoSet& set, PSP_DEVINFO_DATA data) {
  if (!data || data->cbSize != sizeof(SP_DEVINFO_DATA)) {
    SetLastError(ERROR_INVALID_USER_BUFFER);
    return nullptr;
  }
  for (const Member& m : set.members)
    if (m.node.id == data->DevInst) return &m;
  SetLastError(ERROR_NO_SUCH_DEVINST);
  return nullptr;
}

void fill(SP_DEVINFO_DATA* d, const Member& m) {
  d->ClassGuid = m.node.classGuid;
  d->DevInst = m.node.id;
  d->Reserved = 0;
}

constexpr DWORD kKnownFlags = DIGCF_DEFAULT | DIGCF_PRESENT | DIGCF_ALLCLASSES | DIGCF_PROFILE | DIGCF_DEVICEINTERFACE;

bool addDevices(DeviceInfoSet& set, const GUID* classGuid, PCWSTR enumerator, DWORD flags) {
  if (flags & ~kKnownFlags) {
    SetLastError(ERROR_INVALID_FLAGS);
    return false;
  }
  const bool all = flags & DIGCF_ALLCLASSES;
  if (!all && !classGuid) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  const bool interfaces = flags & DIGCF_DEVICEINTERFACE;
  std::u16string enumeratorPrefix;
  if (enumerator && *enumerator && !interfaces) enumeratorPrefix = platform::text::upcased(platform::text::view(enumerator)) + u"\\";
  for (auto& node : host::deviceNodes(flags & DIGCF_PRESENT)) {
    if (node.parent == 0) continue;  // the root is not a device of any class
    if (!enumeratorPrefix.empty() && !platform::text::upcased(node.instanceId).starts_with(enumeratorPrefix)) continue;
    Member m;
    m.node = node;
    m.interfaces = host::deviceInterfaces(node.id);
    bool wanted;
    if (interfaces) {
      wanted = false;
      for (const auto& i : m.interfaces)
        if (all || host::sameGuid(i.classGuid, *classGuid)) wanted = true;
    } else {
      wanted = all || host::sameGuid(node.classGuid, *classGuid);
    }
    if (!wanted) continue;
    bool already = false;
    for (const Member& e : set.members) already = already || e.node.id == node.id;
    if (!already) set.members.push_back(std::move(m));
  }
  return true;
}

// Interfaces of the set (or of one member) of the class, in member order.
std::vector<const host::DeviceInterfaceEntry*> interfacesOf(const DeviceInfoSet& set, const Member* only, const GUID& guid) {
  std::vector<const host::DeviceInterfaceEntry*> out;
  for (const Member& m : set.members) {
    if (only && &m != only) continue;
    for (const auto& i : m.interfaces)
      if (host::sameGuid(i.classGuid, guid)) out.push_back(&i);
  }
  return out;
}

}  // namespace

HDEVINFO SetupDiCreateDeviceInfoList(const GUID*, HWND) { return newSet(); }

HDEVINFO SetupDiGetClassDevsExW(const GUID* ClassGuid, PCWSTR Enumerator, HWND, DWORD Flags, HDEVINFO DeviceInfoSet,
                                PCWSTR MachineName, PVOID) {
  if (MachineName && *MachineName) {
    SetLastError(ERROR_INVALID_MACHINENAME);
    return INVALID_HANDLE_VALUE;
  }
  std::shared_ptr<::DeviceInfoSet> target;
  HDEVINFO handle = DeviceInfoSet;
  if (DeviceInfoSet && DeviceInfoSet != INVALID_HANDLE_VALUE) {
    target = find(DeviceInfoSet);
    if (!target) return INVALID_HANDLE_VALUE;
  }
  auto fresh = std::make_shared<::DeviceInfoSet>();
  ::DeviceInfoSet& into = target ? *target : *fresh;
  if (!addDevices(into, ClassGuid, Enumerator, Flags)) return INVALID_HANDLE_VALUE;
  if (!target) {
    handle = newSet();
    std::lock_guard lock(g_mutex);
    g_sets[reinterpret_cast<std::intptr_t>(handle)] = fresh;
  }
  return handle;
}

HDEVINFO SetupDiGetClassDevsW(const GUID* ClassGuid, PCWSTR Enumerator, HWND hwndParent, DWORD Flags) {
  return SetupDiGetClassDevsExW(ClassGuid, Enumerator, hwndParent, Flags, nullptr, nullptr, nullptr);
}

BOOL SetupDiDestroyDeviceInfoList(HDEVINFO DeviceInfoSet) {
  std::lock_guard lock(g_mutex);
  if (!g_sets.erase(reinterpret_cast<std::intptr_t>(DeviceInfoSet))) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}

BOOL SetupDiEnumDeviceInfo(HDEVINFO DeviceInfoSet, DWORD MemberIndex, PSP_DEVINFO_DATA DeviceInfoData) {
  auto set = find(DeviceInfoSet);
  if (!set) return FALSE;
  if (!DeviceInfoData || DeviceInfoData->cbSize != sizeof(SP_DEVINFO_DATA)) {
    SetLastError(ERROR_INVALID_USER_BUFFER);
    return FALSE;
  }
  if (MemberIndex >= set->members.size()) {
    SetLastError(ERROR_NO_MORE_ITEMS);
    return FALSE;
  }
  fill(DeviceInfoData, set->members[MemberIndex]);
  return TRUE;
}

BOOL SetupDiEnumDeviceInterfaces(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData, const GUID* InterfaceClassGuid,
                                 DWORD MemberIndex, PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData) {
  auto set = find(DeviceInfoSet);
  if (!set) return FALSE;
  if (!InterfaceClassGuid) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!DeviceInterfaceData || DeviceInterfaceData->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)) {
    SetLastError(ERROR_INVALID_USER_BUFFER);
    return FALSE;
  }
  const Member* only = nullptr;
  if (DeviceInfoData && !(only = memberOf(*set, DeviceInfoData))) return FALSE;
  auto list = interfacesOf(*set, only, *InterfaceClassGuid);
  if (MemberIndex >= list.size()) {
    SetLastError(ERROR_NO_MORE_ITEMS);
    return FALSE;
  }
  const host::DeviceInterfaceEntry* i = list[MemberIndex];
  DeviceInterfaceData->InterfaceClassGuid = i->classGuid;
  bool present = false;
  for (const Member& m : set->members)
    if (m.node.id == i->node) present = m.node.present;
  DeviceInterfaceData->Flags = present ? SPINT_ACTIVE : 0;
  // Reserved carries which interface this is: its place among all interfaces of the set.
  std::size_t ordinal = 0;
  for (const Member& m : set->members)
    for (const auto& e : m.interfaces) {
      if (&e == i) DeviceInterfaceData->Reserved = ordinal + 1;
      ++ordinal;
    }
  return TRUE;
}

BOOL SetupDiGetDeviceInterfaceDetailW(HDEVINFO DeviceInfoSet, PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData,
                                      PSP_DEVICE_INTERFACE_DETAIL_DATA_W Detail, DWORD DetailSize, PDWORD RequiredSize,
                                      PSP_DEVINFO_DATA DeviceInfoData) {
  auto set = find(DeviceInfoSet);
  if (!set) return FALSE;
  if (!DeviceInterfaceData || DeviceInterfaceData->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)) {
    SetLastError(ERROR_INVALID_USER_BUFFER);
    return FALSE;
  }
  const host::DeviceInterfaceEntry* entry = nullptr;
  const Member* owner = nullptr;
  std::size_t ordinal = 0;
  for (const Member& m : set->members)
    for (const auto& e : m.interfaces)
      if (++ordinal == DeviceInterfaceData->Reserved) entry = &e, owner = &m;
  if (!entry) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (DeviceInfoData && DeviceInfoData->cbSize != sizeof(SP_DEVINFO_DATA)) {
    SetLastError(ERROR_INVALID_USER_BUFFER);
    return FALSE;
  }
  const DWORD need = static_cast<DWORD>(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath) +
                                        (entry->path.size() + 1) * sizeof(WCHAR));
  if (RequiredSize) *RequiredSize = need;
  if (Detail && Detail->cbSize != sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) {
    SetLastError(ERROR_INVALID_USER_BUFFER);
    return FALSE;
  }
  if (!Detail || DetailSize < need) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  std::memcpy(Detail->DevicePath, entry->path.c_str(), (entry->path.size() + 1) * sizeof(WCHAR));
  if (DeviceInfoData) fill(DeviceInfoData, *owner);
  return TRUE;
}

BOOL SetupDiGetDeviceInstanceIdW(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData, PWSTR DeviceInstanceId,
                                 DWORD DeviceInstanceIdSize, PDWORD RequiredSize) {
  auto set = find(DeviceInfoSet);
  if (!set) return FALSE;
  const Member* m = memberOf(*set, DeviceInfoData);
  if (!m) return FALSE;
  const DWORD need = static_cast<DWORD>(m->node.instanceId.size() + 1);
  if (RequiredSize) *RequiredSize = need;
  if (!DeviceInstanceId || DeviceInstanceIdSize < need) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  std::memcpy(DeviceInstanceId, m->node.instanceId.c_str(), need * sizeof(WCHAR));
  return TRUE;
}

BOOL SetupDiGetDeviceRegistryPropertyW(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData, DWORD Property,
                                       PDWORD PropertyRegDataType, PBYTE PropertyBuffer, DWORD PropertyBufferSize,
                                       PDWORD RequiredSize) {
  auto set = find(DeviceInfoSet);
  if (!set) return FALSE;
  const Member* m = memberOf(*set, DeviceInfoData);
  if (!m) return FALSE;
  if (Property >= SPDRP_MAXIMUM_PROPERTY) {
    SetLastError(ERROR_INVALID_REG_PROPERTY);
    return FALSE;
  }
  auto p = host::deviceProperty(m->node.id, Property);
  if (!p) {
    SetLastError(ERROR_INVALID_DATA);
    return FALSE;
  }
  if (PropertyRegDataType) *PropertyRegDataType = p->type;
  if (RequiredSize) *RequiredSize = static_cast<DWORD>(p->data.size());
  if (!PropertyBuffer || PropertyBufferSize < p->data.size()) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  std::memcpy(PropertyBuffer, p->data.data(), p->data.size());
  return TRUE;
}

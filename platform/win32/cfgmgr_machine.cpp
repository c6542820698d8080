// The configuration manager on a machine handle (only the local machine is within reach) and the
// 8-bit registry properties of device nodes.
#include <cstring>
#include <mutex>
#include <set>
#include <string>

#include "platform/base/codepage.h"
#include "platform/base/text.h"
#include "platform/host/device_tree.h"
#include "platform/win32/cfgmgr.h"
#include "platform/win32/device_text.h"
#include "platform/win32/system.h"

namespace host = platform::host;

namespace {

std::mutex g_machineLock;
std::set<ULONG_PTR> g_machines;
ULONG_PTR g_nextMachine = 0x3A40;

bool connected(HMACHINE machine) {
  if (!machine) return true;  // the local machine
  std::lock_guard hold(g_machineLock);
  return g_machines.count(reinterpret_cast<ULONG_PTR>(machine)) != 0;
}

CONFIGRET connect(std::u16string_view name, PHMACHINE phMachine) {
  if (!phMachine) return CR_INVALID_POINTER;
  *phMachine = nullptr;
  if (!name.empty()) {
    if (name.size() < 3 || name[0] != u'\\' || name[1] != u'\\') return CR_INVALID_MACHINENAME;
    char16_t computer[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    if (!GetComputerNameW(computer, &size) || !platform::text::equalNoCase(name.substr(2), std::u16string_view(computer, size)))
      return CR_MACHINE_UNAVAILABLE;
  }
  std::lock_guard hold(g_machineLock);
  ULONG_PTR token = g_nextMachine++;
  g_machines.insert(token);
  *phMachine = reinterpret_cast<HMACHINE>(token);
  return CR_SUCCESS;
}

}  // namespace

CONFIGRET CM_Connect_MachineW(const char16_t* UNCServerName, PHMACHINE phMachine) {
  return connect(UNCServerName ? platform::text::view(UNCServerName) : std::u16string_view(), phMachine);
}

CONFIGRET CM_Connect_MachineA(const char* UNCServerName, PHMACHINE phMachine) {
  std::u16string name = UNCServerName ? platform::text::ansiToWide(UNCServerName) : std::u16string();
  return connect(name, phMachine);
}

CONFIGRET CM_Disconnect_Machine(HMACHINE hMachine) {
  if (!hMachine) return CR_SUCCESS;  // the local machine needs no connection
  std::lock_guard hold(g_machineLock);
  return g_machines.erase(reinterpret_cast<ULONG_PTR>(hMachine)) ? CR_SUCCESS : CR_INVALID_POINTER;
}

CONFIGRET CM_Locate_DevNode_ExW(PDEVINST pdnDevInst, const char16_t* pDeviceID, ULONG ulFlags, HMACHINE hMachine) {
  if (!connected(hMachine)) return CR_INVALID_POINTER;
  return CM_Locate_DevNodeW(pdnDevInst, pDeviceID, ulFlags);
}

CONFIGRET CM_Locate_DevNode_ExA(PDEVINST pdnDevInst, const char* pDeviceID, ULONG ulFlags, HMACHINE hMachine) {
  std::u16string id = pDeviceID ? platform::text::ansiToWide(pDeviceID) : std::u16string();
  return CM_Locate_DevNode_ExW(pdnDevInst, pDeviceID ? id.c_str() : nullptr, ulFlags, hMachine);
}

CONFIGRET CM_Get_Parent_Ex(PDEVINST pdnDevInst, DEVINST dnDevInst, ULONG ulFlags, HMACHINE hMachine) {
  if (!connected(hMachine)) return CR_INVALID_POINTER;
  return CM_Get_Parent(pdnDevInst, dnDevInst, ulFlags);
}

CONFIGRET CM_Get_Child_Ex(PDEVINST pdnDevInst, DEVINST dnDevInst, ULONG ulFlags, HMACHINE hMachine) {
  if (!connected(hMachine)) return CR_INVALID_POINTER;
  return CM_Get_Child(pdnDevInst, dnDevInst, ulFlags);
}

CONFIGRET CM_Get_Sibling_Ex(PDEVINST pdnDevInst, DEVINST dnDevInst, ULONG ulFlags, HMACHINE hMachine) {
  if (!connected(hMachine)) return CR_INVALID_POINTER;
  return CM_Get_Sibling(pdnDevInst, dnDevInst, ulFlags);
}

CONFIGRET CM_Get_DevNode_Registry_Property_ExA(DEVINST dnDevInst, ULONG ulProperty, PULONG pulRegDataType, PVOID Buffer,
                                               PULONG pulLength, ULONG ulFlags, HMACHINE hMachine) {
  if (!connected(hMachine)) return CR_INVALID_POINTER;
  if (!pulLength || (!Buffer && *pulLength)) return CR_INVALID_POINTER;
  if (ulFlags) return CR_INVALID_FLAG;
  if (ulProperty < CM_DRP_MIN || ulProperty > CM_DRP_MAX) return CR_INVALID_PROPERTY;
  auto node = host::deviceNode(dnDevInst);
  if (!node || !node->present) return CR_INVALID_DEVNODE;
  auto stored = host::deviceProperty(dnDevInst, ulProperty - 1);
  if (!stored) return CR_NO_SUCH_VALUE;
  const std::vector<std::uint8_t> data = platform::device::ansiPropertyData(*stored);
  if (pulRegDataType) *pulRegDataType = stored->type;
  const ULONG room = *pulLength;
  *pulLength = static_cast<ULONG>(data.size());
  if (room < data.size()) return CR_BUFFER_SMALL;
  if (!data.empty()) std::memcpy(Buffer, data.data(), data.size());
  return CR_SUCCESS;
}

CONFIGRET CM_Get_DevNode_Registry_PropertyA(DEVINST dnDevInst, ULONG ulProperty, PULONG pulRegDataType, PVOID Buffer,
                                            PULONG pulLength, ULONG ulFlags) {
  return CM_Get_DevNode_Registry_Property_ExA(dnDevInst, ulProperty, pulRegDataType, Buffer, pulLength, ulFlags, nullptr);
}

// Configuration-manager walk over the present nodes of the host's device tree.
#include "platform/win32/cfgmgr.h"

#include <cstring>

#include "platform/base/text.h"
#include "platform/host/device_tree.h"

namespace host = platform::host;

namespace {

bool presentNode(DEVINST id, host::DeviceNode& out) {
  auto n = host::deviceNode(id);
  if (!n || !n->present) return false;
  out = *n;
  return true;
}

// What the tree walks check first: the out pointer (cleared), no flags, a present node.
CONFIGRET startWalk(PDEVINST pdnDevInst, DEVINST dnDevInst, ULONG ulFlags, host::DeviceNode& n) {
  if (!pdnDevInst) return CR_INVALID_POINTER;
  *pdnDevInst = 0;
  if (ulFlags) return CR_INVALID_FLAG;
  if (!presentNode(dnDevInst, n)) return CR_INVALID_DEVNODE;
  return CR_SUCCESS;
}

}  // namespace

CONFIGRET CM_Get_Parent(PDEVINST pdnDevInst, DEVINST dnDevInst, ULONG ulFlags) {
  host::DeviceNode n;
  if (CONFIGRET rc = startWalk(pdnDevInst, dnDevInst, ulFlags, n); rc != CR_SUCCESS) return rc;
  if (!n.parent) return CR_NO_SUCH_DEVNODE;
  *pdnDevInst = n.parent;
  return CR_SUCCESS;
}

CONFIGRET CM_Get_Child(PDEVINST pdnDevInst, DEVINST dnDevInst, ULONG ulFlags) {
  host::DeviceNode n;
  if (CONFIGRET rc = startWalk(pdnDevInst, dnDevInst, ulFlags, n); rc != CR_SUCCESS) return rc;
  auto children = host::deviceChildren(dnDevInst, true);
  if (children.empty()) return CR_NO_SUCH_DEVNODE;
  *pdnDevInst = children.front();
  return CR_SUCCESS;
}

CONFIGRET CM_Get_Sibling(PDEVINST pdnDevInst, DEVINST dnDevInst, ULONG ulFlags) {
  host::DeviceNode n;
  if (CONFIGRET rc = startWalk(pdnDevInst, dnDevInst, ulFlags, n); rc != CR_SUCCESS) return rc;
  if (!n.parent) return CR_NO_SUCH_DEVNODE;
  auto siblings = host::deviceChildren(n.parent, true);
  for (std::size_t i = 0; i + 1 < siblings.size(); ++i)
    if (siblings[i] == dnDevInst) {
      *pdnDevInst = siblings[i + 1];
      return CR_SUCCESS;
    }
  return CR_NO_SUCH_DEVNODE;
}

CONFIGRET CM_Get_Device_IDW(DEVINST dnDevInst, PWSTR Buffer, ULONG BufferLen, ULONG ulFlags) {
  if (!Buffer) return CR_INVALID_POINTER;
  if (ulFlags) return CR_INVALID_FLAG;
  auto n = host::deviceNode(dnDevInst);
  if (!n) return CR_INVALID_DEVNODE;
  const std::u16string& id = n->instanceId;
  if (BufferLen < id.size()) {
    std::memcpy(Buffer, id.data(), BufferLen * sizeof(char16_t));
    return CR_BUFFER_SMALL;
  }
  std::memcpy(Buffer, id.data(), id.size() * sizeof(char16_t));
  if (BufferLen > id.size()) Buffer[id.size()] = 0;
  return CR_SUCCESS;
}

CONFIGRET CM_Get_Device_ID_Size(PULONG pulLen, DEVINST dnDevInst, ULONG ulFlags) {
  if (!pulLen) return CR_INVALID_POINTER;
  *pulLen = 0;
  if (ulFlags) return CR_INVALID_FLAG;
  auto n = host::deviceNode(dnDevInst);
  if (!n) return CR_INVALID_DEVNODE;
  *pulLen = static_cast<ULONG>(n->instanceId.size());
  return CR_SUCCESS;
}

CONFIGRET CM_Locate_DevNodeW(PDEVINST pdnDevInst, const char16_t* pDeviceID, ULONG ulFlags) {
  if (!pdnDevInst) return CR_INVALID_POINTER;
  *pdnDevInst = 0;
  if (ulFlags & ~static_cast<ULONG>(CM_LOCATE_DEVNODE_PHANTOM)) return CR_INVALID_FLAG;
  if (!pDeviceID || !*pDeviceID) {
    *pdnDevInst = host::deviceRoot();
    return CR_SUCCESS;
  }
  std::u16string_view id = platform::text::view(pDeviceID);
  if (id.size() > MAX_DEVICE_ID_LEN) return CR_INVALID_DEVICE_ID;
  auto n = host::deviceByInstanceId(id);
  if (!n || (!n->present && !(ulFlags & CM_LOCATE_DEVNODE_PHANTOM))) return CR_NO_SUCH_DEVNODE;
  *pdnDevInst = n->id;
  return CR_SUCCESS;
}

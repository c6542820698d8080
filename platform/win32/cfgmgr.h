// Configuration-manager calls over the host's device tree: walking the present device nodes
// (parent, first child, next sibling), their instance ids, and locating a node by id.
#pragma once

#include "platform/base/types.h"

using DEVINST = DWORD;
using DEVNODE = DWORD;
using PDEVINST = DEVINST*;
using CONFIGRET = DWORD;
using DEVINSTID_W = char16_t*;

#define CR_SUCCESS 0x00000000
#define CR_INVALID_POINTER 0x00000003
#define CR_INVALID_FLAG 0x00000004
#define CR_INVALID_DEVNODE 0x00000005
#define CR_NO_SUCH_DEVNODE 0x0000000D
#define CR_BUFFER_SMALL 0x0000001A
#define CR_INVALID_DEVICE_ID 0x0000001E

#define CM_LOCATE_DEVNODE_NORMAL 0x00000000
#define CM_LOCATE_DEVNODE_PHANTOM 0x00000001

#define MAX_DEVICE_ID_LEN 200

// Nodes that are not present have no parent, child or sibling in this walk (CR_NO_SUCH_DEVNODE).
CONFIGRET CM_Get_Parent(PDEVINST pdnDevInst, DEVINST dnDevInst, ULONG ulFlags);
CONFIGRET CM_Get_Child(PDEVINST pdnDevInst, DEVINST dnDevInst, ULONG ulFlags);
CONFIGRET CM_Get_Sibling(PDEVINST pdnDevInst, DEVINST dnDevInst, ULONG ulFlags);
// Copies the id; a buffer without room for it gives CR_BUFFER_SMALL with as much as fits and no
// NUL; room for the id but not the NUL gives CR_SUCCESS without the NUL, as on Windows.
CONFIGRET CM_Get_Device_IDW(DEVINST dnDevInst, PWSTR Buffer, ULONG BufferLen, ULONG ulFlags);
CONFIGRET CM_Get_Device_ID_Size(PULONG pulLen, DEVINST dnDevInst, ULONG ulFlags);
// A null or empty id names the root. A node that is not present is found only with
// CM_LOCATE_DEVNODE_PHANTOM.
CONFIGRET CM_Locate_DevNodeW(PDEVINST pdnDevInst, const char16_t* pDeviceID, ULONG ulFlags);

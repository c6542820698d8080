// Configuration-manager calls over the host's device tree: walking the present device nodes
// (parent, first child, next sibling), their instance ids, their registry properties, and
// locating a node by id; the _Ex forms on a machine handle, which is only ever the local machine.
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
#define CR_INVALID_DATA 0x0000001F
#define CR_NO_SUCH_VALUE 0x00000025
#define CR_INVALID_MACHINENAME 0x0000002F
#define CR_MACHINE_UNAVAILABLE 0x00000031
#define CR_INVALID_PROPERTY 0x00000035

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

// ---- machines: the local one only ----

using HMACHINE = void*;
using PHMACHINE = HMACHINE*;

// A null or empty name, or "\\\\" and the host's computer name (any case), connects to this
// machine; any other machine is out of reach: CR_MACHINE_UNAVAILABLE. A name that does not start
// with two backslashes: CR_INVALID_MACHINENAME.
CONFIGRET CM_Connect_MachineA(const char* UNCServerName, PHMACHINE phMachine);
CONFIGRET CM_Connect_MachineW(const char16_t* UNCServerName, PHMACHINE phMachine);
// CR_INVALID_POINTER for a handle that is not connected.
CONFIGRET CM_Disconnect_Machine(HMACHINE hMachine);

// As the forms without _Ex; a null machine is the local one, a handle that is not connected
// gives CR_INVALID_POINTER.
CONFIGRET CM_Locate_DevNode_ExA(PDEVINST pdnDevInst, const char* pDeviceID, ULONG ulFlags, HMACHINE hMachine);
CONFIGRET CM_Locate_DevNode_ExW(PDEVINST pdnDevInst, const char16_t* pDeviceID, ULONG ulFlags, HMACHINE hMachine);
CONFIGRET CM_Get_Parent_Ex(PDEVINST pdnDevInst, DEVINST dnDevInst, ULONG ulFlags, HMACHINE hMachine);
CONFIGRET CM_Get_Child_Ex(PDEVINST pdnDevInst, DEVINST dnDevInst, ULONG ulFlags, HMACHINE hMachine);
CONFIGRET CM_Get_Sibling_Ex(PDEVINST pdnDevInst, DEVINST dnDevInst, ULONG ulFlags, HMACHINE hMachine);

// Registry property codes of a device node: the SPDRP_ code plus one.
#define CM_DRP_DEVICEDESC 0x00000001
#define CM_DRP_HARDWAREID 0x00000002
#define CM_DRP_COMPATIBLEIDS 0x00000003
#define CM_DRP_SERVICE 0x00000005
#define CM_DRP_CLASS 0x00000008
#define CM_DRP_CLASSGUID 0x00000009
#define CM_DRP_DRIVER 0x0000000A
#define CM_DRP_MFG 0x0000000C
#define CM_DRP_FRIENDLYNAME 0x0000000D
#define CM_DRP_LOCATION_INFORMATION 0x0000000E
#define CM_DRP_ENUMERATOR_NAME 0x00000017
#define CM_DRP_MIN 0x00000001
#define CM_DRP_MAX 0x00000025

// The property with its type; text in the ANSI code page. *pulLength is the buffer's size in
// bytes and receives the property's: CR_BUFFER_SMALL when it does not fit (nothing copied),
// CR_NO_SUCH_VALUE when the node does not have it, CR_INVALID_PROPERTY for a code outside
// CM_DRP_MIN..CM_DRP_MAX, CR_INVALID_DEVNODE for a node that is not present.
CONFIGRET CM_Get_DevNode_Registry_PropertyA(DEVINST dnDevInst, ULONG ulProperty, PULONG pulRegDataType, PVOID Buffer,
                                            PULONG pulLength, ULONG ulFlags);
CONFIGRET CM_Get_DevNode_Registry_Property_ExA(DEVINST dnDevInst, ULONG ulProperty, PULONG pulRegDataType,
                                               PVOID Buffer, PULONG pulLength, ULONG ulFlags, HMACHINE hMachine);

// Status codes of COM, OLE Automation and the class and object tables, with their Windows numbers
// (the product logs and compares them). The generic ones (S_OK, E_FAIL, ...) are in win32/error.h.
#pragma once

#include "platform/win32/error.h"

using SCODE = LONG;

#define MAKE_HRESULT(sev, fac, code) \
  static_cast<HRESULT>((static_cast<DWORD>(sev) << 31) | (static_cast<DWORD>(fac) << 16) | static_cast<DWORD>(code))
#define HRESULT_CODE(hr) ((hr) & 0xFFFF)
#define HRESULT_FACILITY(hr) (((hr) >> 16) & 0x1FFF)
#define SCODE_CODE(sc) ((sc) & 0xFFFF)

// Dispatch and variant conversion.
#define DISP_E_UNKNOWNINTERFACE static_cast<HRESULT>(0x80020001L)
#define DISP_E_MEMBERNOTFOUND static_cast<HRESULT>(0x80020003L)
#define DISP_E_PARAMNOTFOUND static_cast<HRESULT>(0x80020004L)
#define DISP_E_TYPEMISMATCH static_cast<HRESULT>(0x80020005L)
#define DISP_E_UNKNOWNNAME static_cast<HRESULT>(0x80020006L)
#define DISP_E_NONAMEDARGS static_cast<HRESULT>(0x80020007L)
#define DISP_E_BADVARTYPE static_cast<HRESULT>(0x80020008L)
#define DISP_E_EXCEPTION static_cast<HRESULT>(0x80020009L)
#define DISP_E_OVERFLOW static_cast<HRESULT>(0x8002000AL)
#define DISP_E_BADINDEX static_cast<HRESULT>(0x8002000BL)
#define DISP_E_UNKNOWNLCID static_cast<HRESULT>(0x8002000CL)
#define DISP_E_ARRAYISLOCKED static_cast<HRESULT>(0x8002000DL)
#define DISP_E_BADPARAMCOUNT static_cast<HRESULT>(0x8002000EL)
#define DISP_E_PARAMNOTOPTIONAL static_cast<HRESULT>(0x8002000FL)
#define DISP_E_BADCALLEE static_cast<HRESULT>(0x80020010L)
#define DISP_E_NOTACOLLECTION static_cast<HRESULT>(0x80020011L)
#define DISP_E_DIVBYZERO static_cast<HRESULT>(0x80020012L)
#define TYPE_E_ELEMENTNOTFOUND static_cast<HRESULT>(0x8002802BL)

// Class registry, activation, apartments and the running-object table.
#define CLASS_E_NOAGGREGATION static_cast<HRESULT>(0x80040110L)
#define CLASS_E_CLASSNOTAVAILABLE static_cast<HRESULT>(0x80040111L)
#define REGDB_E_READREGDB static_cast<HRESULT>(0x80040150L)
#define REGDB_E_CLASSNOTREG static_cast<HRESULT>(0x80040154L)
#define MK_E_UNAVAILABLE static_cast<HRESULT>(0x800401E3L)
#define MK_S_MONIKERALREADYREGISTERED static_cast<HRESULT>(0x000401E7L)
#define CO_E_NOTINITIALIZED static_cast<HRESULT>(0x800401F0L)
#define CO_E_CLASSSTRING static_cast<HRESULT>(0x800401F3L)
#define CO_E_IIDSTRING static_cast<HRESULT>(0x800401F4L)
#define CO_E_OBJNOTREG static_cast<HRESULT>(0x800401FBL)
#define RPC_E_CHANGED_MODE static_cast<HRESULT>(0x80010106L)
#define OLE_E_NOTRUNNING static_cast<HRESULT>(0x80040005L)

// Structured storage codes that persistence interfaces report.
#define STG_E_FILENOTFOUND static_cast<HRESULT>(0x80030002L)
#define STG_E_PATHNOTFOUND static_cast<HRESULT>(0x80030003L)
#define STG_E_ACCESSDENIED static_cast<HRESULT>(0x80030005L)
#define STG_E_INVALIDHEADER static_cast<HRESULT>(0x800300FBL)

// The iPod maker's local service "IPodService.iPodManager.1" over the host's iPod state
// (platform/host/ipod.h): a late-bound manager object, and its settings interface
// IID_IiPodSettings, both answering IDispatch::Invoke by dispatch id with 32-bit integer
// arguments (the first is always the caller's session kind, 4). Activation fails with
// CO_E_SERVER_EXEC_FAILURE while the service is not installed on the host.
//
//   manager  6 method (4)            open a session          7 method (4)   close it
//            15 method (4) -> I4     index of the first connected iPod (1...), 0 when none
//            19 method (4, i) -> I4  1 when iPod i is in disk mode (mounted), else 0
//            17 method (4, i)        disk mode on (mounts its drive)   18 off (unmounts)
//   settings 2 get (4, i) -> I4      the disk use setting     4 put (4, i, value)
//
// A device index that names no connected iPod: DISP_E_BADINDEX; a wrong argument count:
// DISP_E_BADPARAMCOUNT; another id or kind: DISP_E_MEMBERNOTFOUND. Every call answered is
// recorded in the host's call list (platform::host::iPodServiceCalls).
#pragma once

#include "platform/com/dispatch.h"

#define CO_E_SERVER_EXEC_FAILURE static_cast<HRESULT>(0x80080005L)

// {0B4F16A4-5C86-4F1F-9C0E-2F3A4D8E6B71}: the stand-in's class id for the program id.
extern const CLSID CLSID_IPodManagerStandIn;
// {3BE5A207-40F6-4F25-BF37-27B898660B67}
extern const IID IID_IiPodSettings;

inline constexpr const char16_t* kIPodManagerProgId = u"IPodService.iPodManager.1";

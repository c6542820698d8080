// The COM core in one include: runtime and class registry, GUIDs, IUnknown and IDispatch,
// BSTR, VARIANT and SAFEARRAY.
#pragma once

#include "platform/com/bstr.h"
#include "platform/com/dispatch.h"
#include "platform/com/guid.h"
#include "platform/com/hresult.h"
#include "platform/com/runtime.h"
#include "platform/com/safearray.h"
#include "platform/com/unknown.h"
#include "platform/com/variant.h"

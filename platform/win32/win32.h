// Every Win32-shaped facility of the stand-in in one include, as product code expects from one
// system header. Internal headers (handle tables, wait loops) are not part of it.
#pragma once

#include "platform/base/types.h"
#include "platform/base/wcrt.h"
#include "platform/win32/controls_msg.h"
#include "platform/win32/crtfile.h"
#include "platform/win32/device_notify.h"
#include "platform/win32/error.h"
#include "platform/win32/file.h"
#include "platform/win32/handle.h"
#include "platform/win32/locale.h"
#include "platform/win32/message.h"
#include "platform/win32/module.h"
#include "platform/win32/registry.h"
#include "platform/win32/resource.h"
#include "platform/win32/system.h"
#include "platform/win32/time.h"
#include "platform/win32/version.h"
#include "platform/win32/volume.h"
#include "platform/win32/window.h"

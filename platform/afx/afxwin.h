// The application framework's window layer in one include: application and threads, command
// targets, windows, frames, documents and views, dialogs, data exchange and property sheets.
#pragma once

#include "platform/afx/afx.h"
#include "platform/afx/app.h"
#include "platform/afx/cmdtarget.h"
#include "platform/afx/dc.h"
#include "platform/afx/ddx.h"
#include "platform/afx/dialog.h"
#include "platform/afx/filedialog.h"
#include "platform/afx/doc.h"
#include "platform/afx/frame.h"
#include "platform/afx/menu.h"
#include "platform/afx/ole.h"
#include "platform/afx/gdi.h"
#include "platform/afx/geometry.h"
#include "platform/afx/propsheet.h"
#include "platform/afx/view.h"
#include "platform/afx/waitcursor.h"
#include "platform/afx/wnd.h"

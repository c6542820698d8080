// "mapistub.dll": where an installed MAPI component lives. The stand-in reads the paths an Office
// install records (`kipo-host outlook set` writes them) from one registry key, a value per
// qualifier:
//   HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Installer\Components\{component}
//     <qualifier>   REG_SZ, the full path of the component's file ("" names the unqualified one)
#pragma once

#include "platform/modules/mapi32/mapidefs.h"

inline constexpr char16_t kComponentPathsKey[] = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\Components";
// The Office MAPI component.
inline constexpr char kMapiComponentId[] = "{FF1D0740-D227-11D1-A4B0-006008AF820E}";

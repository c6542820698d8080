// CComputerWallpaperSource: what the login panel asks of the wallpaper snap-in (the customizer
// named "Wallpaper"): the path of the wallpaper image stored for a computer.
#pragma once

#include "platform/afx/cstring.h"

class CSystemProfile;

class CComputerWallpaperSource {
 public:
  virtual ~CComputerWallpaperSource() = default;
  virtual CString getComputerWallpaperPath(CSystemProfile* profile) = 0;
};

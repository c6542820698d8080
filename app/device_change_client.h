// The one-operation interface through which a dialog that waits for the drive (the automatic
// logout countdown, the drive choice) takes the device detector's volume arrivals and removals
// for itself while it is up. The detector holds one client pointer; a dialog sets itself as the
// client when it initialises and clears the pointer when it ends or is destroyed.
#pragma once

#include "platform/afx/cstring.h"

class CDeviceChangeClient {
 public:
  virtual ~CDeviceChangeClient() = default;
  // A volume interface arrived (removed false) or went away (removed true); the result is what
  // the detector's onDeviceChange returns.
  virtual bool onDeviceChange(const CString& interfaceName, bool removed) = 0;
};

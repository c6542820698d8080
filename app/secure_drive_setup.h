// The drive detector's two flows that rebuild a secure drive: switching password protection on
// (a fresh secure area with a first password) and removing the secure area after a forgotten
// password, with their confirmation questions. CDeviceDetector's operations of the same names
// call these with its device library object (null when the drive has none).
#pragma once

#include "platform/afx/cstring.h"

class CDeviceSdk;

// Creates the secure area protected by `newPassword`, puts the program on the public area,
// opens the new area and moves the log and customization file into it. False when refused or
// failed (every failure after the questions has shown its message).
bool changeSecureAreaPassword(CDeviceSdk* sdk, const CString& newPassword, const CString& secondText);
// Removes the secure area (after the two questions), puts the program back on the public area,
// then offers to switch protection on again.
bool reformatSecureDrive(CDeviceSdk* sdk);
// The two questions before the drive is erased; true only when both are answered Yes.
bool confirmReformat(bool enabling);
// The drive root holds exactly one entry, "<application name>.exe" (exact case).
bool isPublicAreaOnly(const CString& driveRoot);

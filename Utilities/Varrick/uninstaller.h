// Varrick, the uninstaller: removes the product from the host for the current user (its data
// folder, autostart value, registry tree and the machine's uninstall entry) and leaves RunOnce
// commands that delete what cannot go while it runs. It refuses while the main program runs, and
// while the host still carries a login of the product (the records needed to give the host its
// own settings back would be lost).
#pragma once

#include <string>

#include "platform/win32/win32.h"

// The whole program; returns its exit status (1 refused, 0 done).
int uninstallMain();

// Deletes the folder with everything in it (read-only files included); true when the folder
// itself was removed. A file that cannot be deleted (the running uninstaller) is left, with the
// folders that hold it; everything else goes.
bool deleteFolderTree(const std::string& folder);

// Deletes "Kipo" under HKEY_CURRENT_USER's Run key.
void removeAutostartValue();

// Deletes the key with all its subkeys; true when it is gone or never was there.
bool deleteRegistryKeyTree(HKEY root, const std::string& subKey);

// Writes the three RunOnce commands that delete the uninstaller's file, the program folder and
// the data folder (which ends in a backslash); true when all three were written.
bool scheduleRunOnceCleanup(const std::string& dataFolder);

// Whether the host is still personalized by the product: its login file exists, or a snap-in's
// "personalized" value under localPrefs\Snapins reads "true".
bool isHostStillPersonalized();

// What the three console helper programs share: the current user's application-data folder as
// an 8-bit path, and their arguments in the ANSI code page as an 8-bit program's main gets them.
#pragma once

#include <string>
#include <vector>

// The path of CSIDL_APPDATA into `buffer` (MAX_PATH characters): the folder's item list, its
// name for parsing through the parent folder, then its path. False when any step fails.
bool getAppDataFolder(char* buffer);

// The program's arguments (argv[0] first), split by the Windows rules and converted to the ANSI
// code page.
std::vector<std::string> ansiArguments();

// What a fresh host's registry holds, as a fresh Windows XP user profile has it: shell folders,
// the machine and user "Environment" keys, computer name, Windows and Internet Explorer versions,
// desktop and international settings, the Run keys. Written once by a CreateStep (order 20)
// through the Win32 registry calls, from the host facts at creation. `kipo-host set` changing a
// fact afterwards (computer_name, user_locale, ...) does not rewrite these values, as renaming a
// Windows machine does not rewrite what programs copied; calls that read the fact directly
// (GetComputerNameW, GetLocaleInfoW) follow the new value.
#pragma once

#include <vector>

namespace platform::host {

struct ShellFolder {
  const char16_t* name;      // value name under "Shell Folders" / "User Shell Folders"
  const char16_t* relative;  // path below the profile (user) or All Users (common) folder
};

// The user's folders (relative to %USERPROFILE%) and the common ones (to %ALLUSERSPROFILE%).
const std::vector<ShellFolder>& userShellFolders();
const std::vector<ShellFolder>& commonShellFolders();

}  // namespace platform::host

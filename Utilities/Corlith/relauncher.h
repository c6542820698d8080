// Corlith, the relauncher: waits until no copy of the main program runs any more (polling every
// 500 ms, giving up after 122 polls) and then opens the program named on its command line.
#pragma once

#include <string>
#include <vector>

// The whole program with its ANSI arguments (argv[0] first): argv[1] the program to open,
// argv[2] its working folder. Returns 0 after the open, -1 with too few arguments or when the
// main program still runs after the last poll.
int launcherMain(const std::vector<std::string>& args);

// Whether a process (or 16-bit task) with that image name runs, compared whole and without
// regard to case.
bool isImageRunning(const std::string& imageName);

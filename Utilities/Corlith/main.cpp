// Corlith.exe: opens a program once the main program has ended (a console program that shows
// nothing).
#include "Utilities/Corlith/relauncher.h"
#include "Utilities/common/console_program.h"

int main() { return launcherMain(ansiArguments()); }

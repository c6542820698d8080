// Tolvane.exe: the watcher of one run of the main program (a console program that shows nothing).
#include "Utilities/Tolvane/watcher.h"
#include "Utilities/common/console_program.h"

int main() { return watcherMain(ansiArguments()); }

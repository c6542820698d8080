// Varrick.exe: the product's uninstaller (a console program that shows only message boxes).
#include "Utilities/Varrick/uninstaller.h"

int main() { return uninstallMain(); }

// The host program of the start benchmark: it links the platform library and makes one call
// into it, so its start pays for loading the platform and whatever the platform loads with it.
#include "platform/win32/win32.h"

int main() { return lstrlenW(u"start") == 5 ? 0 : 1; }

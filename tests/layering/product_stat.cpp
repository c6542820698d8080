// Compiled as product code by the layering check: a file that takes the platform's headers a
// product file takes and calls the Linux ::stat must not compile, because no platform header may
// bring a Linux header with it. The twin build adds <sys/stat.h> itself and must compile, so the
// failing build fails for the missing declaration and nothing else.
#include "platform/afx/afx.h"
#include "platform/afx/afxwin.h"
#include "platform/base/format.h"
#include "platform/base/wcrt.h"
#include "platform/com/com.h"
#include "platform/win32/win32.h"

#ifdef KIPO_LAYERING_TWIN
#include <sys/stat.h>
#endif

int layeringProbe(const char* path) {
  struct stat st;
  return ::stat(path, &st);
}

// Defaults of the program-wide branding texts, in one translation unit so that they are built
// in this order before any code of the program runs and destroyed in reverse order at exit.
#include "app/program_texts.h"

#include "platform/win32/message.h"

CString g_applicationName(u"Kipo");
CString g_deviceName(u"USB device");
CString g_makerWebAddress(u"http://www.brackwater.com");
CString g_supportWebAddress(u"http://www.brackwater.com/support");
CString g_supportEmailAddress(u"support@brackwater.com");
CString g_companyName(u"Brackwater");
CString g_updateAddress(u"http://update.brackwater.com/updateUnicode");
CString g_homeAddress(u"http://update.brackwater.com/updateUnicode");

CString programCaption() { return g_applicationName; }

// Not cached: registering a known name again gives the same number, and a test may switch hosts.
UINT taskbarCreatedMessage() { return RegisterWindowMessageW(u"TaskbarCreated"); }

// Resource ids of the program file itself (the language libraries hold the texts: lang/ids_app.h).
#pragma once

#define IDI_KIPO_TRAY             939  // the tray and dialog icon while nobody is logged in
#define IDI_KIPO_TRAY_LOGGED_IN   941  // the tray icon while a user is logged in
#define IDR_KIPO_FRAME            128  // the frame's and the documents' strings

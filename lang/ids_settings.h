// String ids of the browser settings snap-ins (cookies, history, typed addresses). Only #define
// lines (see ids.h).
#pragma once

#define IDS_COOKIES_DEPERSONALIZE_FAILED  529  // log text: the unpacked cookies could not be removed
#define IDS_COOKIES_SHELL_FOLDER_FAILED   567  // the Cookies shell folder value could not be written

// String and dialog ids of: the login surface (pull-down window, login panel, logout question and
// button, close-programs list, don't-ask-again question, about box). Only #define lines (see ids.h).
#pragma once

// ---- Don't-ask-again question -------------------------------------------------------------------
#define IDD_DONT_ASK                     269
#define IDC_DONT_ASK_CHECK               1067
#define IDC_DONT_ASK_TEXT                1268

// ---- Logout question and button -----------------------------------------------------------------
#define IDD_LOGOUT                       279
#define IDC_LOGOUT_TEXT                  1267
#define IDS_LOGOUT_OF_COMPUTER           660  // %s nickname: log out of it? this restores the computer

// ---- Close-programs list ------------------------------------------------------------------------
#define IDD_CLOSE_PROCESSES              260
#define IDC_CLOSE_PROCESSES_LIST         1179
#define IDC_CLOSE_PROCESSES_TEXT         1268
#define IDC_CLOSE_PROCESSES_CHECK        1067
#define IDS_CLOSE_PROGRAMS_LOGOUT        431  // the programs to close before logging out
#define IDS_CLOSE_PROGRAMS_CHECK_LOGIN   383  // check box: always show this list at login
#define IDS_CLOSE_PROGRAMS_CHECK_LOGOUT  384  // check box: always show this list at logout
#define IDS_CLOSE_PROGRAMS_SURE_LOGIN    909  // %s product, %s product: close automatically from now on?
#define IDS_CLOSE_PROGRAMS_SURE_LOGOUT   910  // %s product, %s product

// ---- Login pull-down and panel ------------------------------------------------------------------
#define IDD_LOGIN_PANEL                  277
#define IDC_LOGIN_BROWSER                1358
#define IDS_LOGIN_ALREADY_LOGGED_IN      381
#define IDS_LOGIN_SCREEN_SIZE_FAILED     512
#define IDS_LOGIN_REGIONS_FAILED         513
#define IDS_LOGIN_PANEL_NOT_CREATED      522
#define IDS_LOGIN_PANEL_NOT_DESTROYED    530
#define IDS_LOGIN_PAGE_NOT_WRITTEN       542
#define IDS_LOGIN_COMPUTER_NOT_SET       571  // %s nickname
#define IDS_LOGIN_INSTRUCTIONS           649  // %s nickname
#define IDS_LOGIN_THIS_COMPUTER          415  // %s nickname, %s device
#define IDS_LOGIN_NO_PREVIEW             687
#define IDS_LOGIN_NO_PREVIEW_WHY         688  // %s device

// ---- About box ----------------------------------------------------------------------------------
#define IDD_ABOUT                        255
#define IDC_ABOUT_CONTACT                1360
#define IDC_ABOUT_VERSION                1347
#define IDC_ABOUT_MAKER_LOGO             1359
#define IDC_ABOUT_CUSTOMER_LOGO          1245
#define IDS_ABOUT_CAPTION                362  // %s product
#define IDS_ABOUT_VERSION                363  // %s product, four version numbers

// ---- Login pull-down window (its template, tab bitmaps and HTML live in the program file) -------
#define IDD_LOGIN_PULLDOWN               278
#define IDC_PULLDOWN_TAB                 942
#define IDC_PULLDOWN_TAB_HOT             943
#define IDC_PULLDOWN_PROGRESS            944
#define IDB_PULLDOWN_TAB                 234
#define IDB_PULLDOWN_TAB_HOT             235

// ---- Computer nickname --------------------------------------------------------------------------
#define IDD_NICKNAME                     280
#define IDC_NICKNAME_EDIT                1149
#define IDC_NICKNAME_COMPUTER            1259
#define IDS_NICKNAME_NO_PROFILE          419  // %s computer key: no profile for this computer
#define IDS_NICKNAME_EMPTY               619
#define IDS_NICKNAME_BAD_CHARACTERS      620
#define IDS_NICKNAME_TAKEN               623

// ---- Computer set-up: synchronization or login use ----------------------------------------------
#define IDD_COMPUTER_SETUP               261
#define IDC_SETUP_SYNC_MODE              1204
#define IDC_SETUP_LOGIN_MODE             1196
#define IDC_SETUP_SYNC_TEXT              1263
#define IDC_SETUP_LOGIN_TEXT             1325
#define IDS_SETUP_AUTOSTART_FAILED       566  // %s product

// ---- Large-folder warning -----------------------------------------------------------------------
#define IDD_LARGE_FOLDER                 274
#define IDC_LARGE_FOLDER_PATH            1283
#define IDC_LARGE_FOLDER_DONT_ASK        1073

// ---- Licence agreement --------------------------------------------------------------------------
#define IDD_LICENSE                      275
#define IDC_LICENSE_TEXT                 32781
#define IDC_LICENSE_ACCEPT               1006
#define IDC_LICENSE_DECLINE              1033
#define IDC_LICENSE_PRINT                1048
#define IDC_LICENSE_BROWSER              1164

// ---- Intro movie --------------------------------------------------------------------------------
#define IDD_INTRO_MOVIE                  272
#define IDC_INTRO_PLAYER                 1212
#define IDC_INTRO_SHOW_AT_START          1094

// ---- About box logos (bitmaps of the language library) ------------------------------------------
#define IDB_MAKER_LOGO                   937
#define IDB_CUSTOMER_LOGO                949

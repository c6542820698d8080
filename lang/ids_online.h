// String, dialog and menu ids of: online services (update check, installer download, usage
// reports), the tray icon's menus, the window animator and the wait box. Only #define lines (see ids.h).
#pragma once

// ---- Online services ----------------------------------------------------------------------------
#define IDS_REPORT_PATH                  406  // object path of the usage-report server (stored name)
#define IDS_REPORT_HOST                  407  // host name of the usage-report server (stored name)
#define IDS_HTTPS_CONNECT_FAILED         413  // the report server could not be connected to
#define IDS_HTTPS_SESSION_FAILED         417  // no Internet session
#define IDS_HTTPS_REQUEST_FAILED         418  // the request could not be opened or sent
#define IDS_SECURE_AREA_NOT_CLOSED       511  // the drive's secure area could not be closed
#define IDS_SECURE_AREA_STATE_UNKNOWN    531  // whether the secure area is open could not be found out
#define IDS_UPDATE_NOT_COPIED            546  // %s the downloaded installer that could not be copied
#define IDS_UPDATE_NOT_FOUND             547  // %s the downloaded installer that is missing
#define IDS_UPDATE_STARTING              636  // the installer of the new version starts now
#define IDS_DOWNLOAD_FAILED              887  // the installer could not be downloaded
#define IDS_DOWNLOAD_NOT_SAVED           891  // %s the target that could not be written

// ---- Download dialog ----------------------------------------------------------------------------
#define IDD_DOWNLOAD                     323
#define IDC_DOWNLOAD_PROGRESS            945

// ---- Wait box -----------------------------------------------------------------------------------
#define IDD_WAIT                         301
#define IDC_WAIT_TEXT                    1356

// ---- Window animator ----------------------------------------------------------------------------
#define IDS_NO_PERFORMANCE_COUNTER       731  // the performance counter cannot be read
#define IDS_NO_PERFORMANCE_FREQUENCY     732  // the performance counter's frequency cannot be read

// ---- Tray menus (menu ids equal the tray icon's id) and their commands ---------------------------
#define IDR_TRAY_LOGGED_OUT              356
#define IDR_TRAY_LOGGED_IN               357
#define ID_POPUP_ABOUT                   336
#define ID_POPUP_CHECK_UPDATE            337
#define ID_POPUP_LOGOUT                  338
#define ID_POPUP_EXIT                    339
#define ID_POPUP_HELP                    340
#define ID_POPUP_LOGIN                   341
#define ID_POPUP_OPTIONS                 342
#define ID_POPUP_SYNCHRONIZE             344
#define ID_POPUP_NEW_DEVICE              32774
#define ID_POPUP_SHOW_LOGIN              32780

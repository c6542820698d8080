// String, menu and icon ids of: application object and start-up, main frame and root views,
// customizer view. Only #define lines (see ids.h).
#pragma once

// Application object and start-up
#define IDS_APP_SHELL32_MISSING          776  // Shell32.dll not found
#define IDS_APP_SHELL_VERSION_UNKNOWN    594  // the shell version could not be determined
#define IDS_APP_SHELL_TOO_OLD            777  // %s: product; shell 4.71 or later is required
#define IDS_APP_PREFS_UNREADABLE         734  // %s product, %s folder, %s device: a file could not be read
#define IDS_APP_MUST_END                 580  // %s product, %s product, %s log path, %s support e-mail
#define IDS_APP_STARTUP_ERROR            788  // an error occurred while starting the application
#define IDS_APP_CUSTOMIZATION_BAD        575  // the customization file failed its integrity check
#define IDS_APP_ALREADY_RUNNING          892  // %s cannot start; %s is already running (product twice)
#define IDS_APP_INSTALL_FAILED           390  // could not copy %s (product) to your %s (device)
#define IDS_APP_PATH_NOT_SAVED           394  // the address of %s (device) could not be saved
#define IDS_APP_NOT_REMOVABLE            762  // %s product, %s root, %s product, %s device
#define IDS_APP_DIAGNOSTIC_MODE          475  // %s product: diagnostic mode is active
#define IDS_APP_EARLIER_NOT_REMOVED      721  // the earlier version could not be uninstalled
#define IDS_APP_TRAY_TIP                 825  // double-click to synchronize %s
#define IDS_APP_NOLOGIN_TEXT             948  // the login panel's text when nobody is logged in
#define IDS_APP_NOLOGIN_LINK             947  // Synchronize now

// Main frame and root views
#define IDR_MAINFRAME_KIPO               128  // the frame's and documents' strings
#define IDS_VIEW_KEEP_AUTOSTART          399  // %s product: keep starting with Windows?
#define IDS_VIEW_HELP_FAILED             596  // the help file could not be shown
#define IDS_VIEW_LOCATE_FOR_ACTION       664  // %s device, %s action, %s device
#define IDS_VIEW_DRIVE_NOT_FOUND         663  // %s product, %s device
#define IDS_VIEW_COPIED_TO_NEW_DRIVE     388  // %s product, %s device

// Customizer view
#define IDS_VIEW_ALREADY_LOGGED_IN       720
#define IDS_VIEW_BUSY                    387  // %s product
#define IDS_VIEW_LOGIN_CANCELLED         647
#define IDS_VIEW_LOGOUT_CANCELLED        657
#define IDS_VIEW_LOGGING_OUT             936
#define IDS_VIEW_SYNCHRONIZED            694  // %s computer, %s device, %s device
#define IDS_VIEW_SYNCHRONIZED_IPOD       763  // %s device
#define IDS_VIEW_SYNCHRONIZED_OTHER      764  // %s device
#define IDS_VIEW_AUTOSTART_FAILED        506  // %s product
#define IDS_VIEW_BUSY_CLOSE_DIALOGS      392  // %s product, %s product
#define IDS_VIEW_NOT_LOGGED_IN           416
#define IDS_VIEW_WAIT_FOR_OPERATION      429  // %s product
#define IDS_VIEW_BUSY_OPTIONS            391  // %s product, %s product
#define IDS_VIEW_SERVER_UNREACHABLE      884
#define IDS_VIEW_INSTALL_UPDATE          613
#define IDS_VIEW_NO_UPDATE               686  // %s product
#define IDS_VIEW_LOGOUT_BEFORE_UPDATE    656
#define IDS_VIEW_UPDATE_WHILE_LOGGED_IN  422
#define IDS_VIEW_TEMP_FOLDER_FAILED      505  // %s path
#define IDS_VIEW_UPDATE_FAILED           579
#define IDS_VIEW_LOGOUT_BEFORE_NEW_DRIVE 655
#define IDS_VIEW_SAME_DRIVE              470  // %s device, %s device
#define IDS_VIEW_NEW_DRIVE_READY         393
#define IDS_VIEW_LOGOUT_BUTTON           654
#define IDS_VIEW_TRAY_TIP_LOGGED_IN      810
#define IDS_VIEW_INFO_LOGGED_OUT         796
#define IDS_VIEW_INFO_LOGGED_IN          797
#define IDS_VIEW_SESSION_LEFT_OVER       661
#define IDS_VIEW_SYNC_PROGRESS_CAPTION   856
#define IDS_VIEW_LOGIN_FAILED            651
#define IDS_VIEW_LOGOUT_FAILED           662
#define IDS_VIEW_CLOSE_PROGRAMS_LOGIN    430  // the programs to close before logging in
#define IDS_VIEW_CONFIRM_LOGOUT          2101 // the logout confirmation's question

// The tray icon while a user is logged in (the menus and their commands: ids_online.h).
#define IDI_KIPO_PERSONALIZED            941

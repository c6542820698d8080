// String and dialog ids of: the options dialog and its property sheet, the common-properties
// panel, the general page, the page of files, and the administrator logon dialog. Only #define
// lines (see ids.h).
#pragma once

// ---- Options dialog, property sheet, common-properties panel ------------------------------------
#define IDD_OPTIONS                      281
#define IDC_OPTIONS_METER_PLACE          1247
#define IDD_SNAPIN_COMMON                292
#define IDC_COMMON_USED                  1317
#define IDC_COMMON_SELECTED              1318
#define IDC_PAGE_COMMON_PLACE            1235
#define IDS_OPTIONS_PREFS_NOT_SAVED      722  // %s device
#define IDS_OPTIONS_NO_SPACE             692  // %s device
#define IDS_OPTIONS_NO_COMPUTER_SETTINGS 572

// ---- General page -------------------------------------------------------------------------------
#define IDD_GENERAL_PAGE                 308
#define IDC_GENERAL_LOGOUT_BUTTON        1093
#define IDC_GENERAL_AUTO_UPDATE          1069
#define IDC_GENERAL_AUTOSTART            1086
#define IDC_GENERAL_COMPUTER_USED        1031
#define IDC_GENERAL_CHANGE_PASSWORD      1054
#define IDC_GENERAL_COMPUTERS            1117
#define IDC_GENERAL_DISCONNECT           1051
#define IDC_GENERAL_RENAME               1053
#define IDS_GENERAL_NO_PROFILE_RENAME    541  // %s nickname
#define IDS_GENERAL_NO_OPTIONS_DIALOG    537
#define IDS_GENERAL_DISCONNECT_SURE      466  // %s device, %s nickname
#define IDS_GENERAL_LOGOUT_FIRST         659
#define IDS_GENERAL_NO_PROFILE           540  // %s nickname
#define IDS_GENERAL_DISCONNECT_FAILED    725  // %s nickname
#define IDS_GENERAL_PROFILES_NOT_WRITTEN 578
#define IDS_GENERAL_DISCONNECTED         436  // %s nickname

// ---- Page of files ------------------------------------------------------------------------------
#define IDD_FILE_PAGE                    307
#define IDC_FILES_ITEMS                  1182
#define IDC_FILES_ADD_FILES              1012
#define IDC_FILES_ADD_FOLDER             1013
#define IDC_FILES_ADD_DESKTOP            1010
#define IDC_FILES_ADD_MY_DOCUMENTS       1017
#define IDC_FILES_REMOVE                 1034
#define IDC_FILES_SELECTED_NAME          1052
#define IDC_FILES_RECENT_ONLY            1208
#define IDC_FILES_ALL_FILES              1206
#define IDC_FILES_DAYS                   1134
#define IDC_FILES_SUBFOLDERS             1096
#define IDC_FILES_TYPES                  1176
#define IDC_FILES_ICON                   1252
#define IDS_FILES_ADD_FILES_CAPTION      369
#define IDS_FILES_ADD_FOLDER_CAPTION     370
#define IDS_FILES_ADD_DESKTOP_CAPTION    367
#define IDS_FILES_MY_DOCUMENTS_CAPTION   672
#define IDS_FILES_REMOVE_CAPTION         746
#define IDS_FILES_EMPTY_NAME             587
#define IDS_FILES_ALREADY_LISTED         632  // %s path
#define IDS_FILES_FOLDER_SHORTCUT        421  // %s product, %s path
#define IDS_FILES_ON_DEVICE              584  // %s device
#define IDS_FILES_OTHER_COMPUTER         411
#define IDS_FILES_CHOOSE_FOLDER          767
#define IDS_FILES_NOT_REMOVED            535  // %s path
#define IDS_FILES_OVERLAPS               855
#define IDS_FILES_BUTTON_FONT_HEIGHT     1366

// ---- Administrator logon ------------------------------------------------------------------------
#define IDD_ADMIN_LOGON                  300
#define IDC_ADMIN_TEXT                   1300
#define IDC_ADMIN_STEPS                  1178
#define IDC_ADMIN_MORE_INFO              1044
#define IDC_ADMIN_USER                   1161
#define IDC_ADMIN_PASSWORD               1151
#define IDS_ADMIN_FIELDS_UNREADABLE      561
#define IDS_ADMIN_LOGON_FAILED           652
#define IDS_ADMIN_LOGON_DONE             653  // %s product
#define IDS_ADMIN_NO_STEPS               684
#define IDS_ADMIN_SELECT_STEP            768

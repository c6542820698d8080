// String and dialog ids of: The secure-drive layer and the drive dialogs. Only #define lines (see ids.h).
#pragma once

// ---- Secure-drive layer -----------------------------------------------------------------------
#define IDS_SD_FORMAT_FAILED         490  // the secure area could not be created
#define IDS_SD_COPY_PROGRAM_FAILED   389  // %s.exe could not be copied to the public area
#define IDS_SD_PROTECTION_READY      610  // protection is on; %s program, %s area name
#define IDS_SD_LOGIN_FAILED          728  // the secure area could not be opened
#define IDS_SD_CONFIRM_REFORMAT      588  // %s action, %s app, %s area name, %s device: all data lost
#define IDS_SD_ACTION_ENABLE         487  // "switch password protection on" (argument of 588)
#define IDS_SD_ACTION_DISABLE        478  // "remove the password protection" (argument of 588)
#define IDS_SD_CONFIRM_REFORMAT_2    667  // second question: really erase %s?
#define IDS_OTI_LOCKED_REPLUG        710  // third wrong password: unplug and plug the drive in
#define IDS_OTI_OPERATION_FAILED     754  // the drive reported an error
#define IDS_OTI_RESIZE_FAILED        766  // the drive could not be resized

// ---- Timed dialog and automatic logout -------------------------------------------------------
#define IDD_AUTO_LOGOUT              257
#define IDC_AUTO_LOGOUT_UNPLUGGED    1348
#define IDC_AUTO_LOGOUT_FILES_STAY   1349
#define IDC_AUTO_LOGOUT_HOW_TO       1364
#define IDS_TIMED_TITLE              433  // "%s (closes in %d seconds)"

// ---- Drive password dialogs ------------------------------------------------------------------
#define IDD_CHANGE_PASSWORD          259
#define IDD_FIRST_PASSWORD           273
#define IDD_PASSWORD                 283
#define IDC_PW_CURRENT               1132
#define IDC_PW_NEW                   1146
#define IDC_PW_CONFIRM               1129
#define IDC_PW_FORMATTING            1258
#define IDC_PW_PROMPT                1256
#define IDC_PW_PASSWORD              1151
#define IDC_PW_CHANGE                1029
#define IDC_PW_FORGOT                1038
#define IDS_PW_EMPTY_QUESTION        403
#define IDS_PW_NO_SECURE_AREA        488
#define IDS_PW_READ_CURRENT_FAILED   550
#define IDS_PW_NOT_VERIFIED          576
#define IDS_PW_WRONG_TRY_AGAIN       625
#define IDS_PW_CHANGED               708
#define IDS_PW_MISMATCH              709
#define IDS_PW_INCORRECT             713
#define IDS_PW_NOT_SUPPORTED         714
#define IDS_PW_NOT_CHANGED           715
#define IDS_PW_TOO_MANY_WRONG        716
#define IDS_PW_INIT_FAILED           889

// ---- Password protection question ----------------------------------------------------------
#define IDD_ENABLE_PASSWORD          270
#define IDC_EP_NO_PASSWORD           1199
#define IDC_EP_PASSWORD              1194
#define IDS_EP_MUST_CHOOSE           489

// ---- Drive selection dialog ------------------------------------------------------------------
#define IDD_SELECT_DRIVE             289
#define IDC_SD_INSTRUCTION           1314
#define IDC_SD_LABEL                 1250
#define IDC_SD_DRIVES                1114
#define IDS_SD_NO_REMOVABLE_DRIVE    689
#define IDS_SD_INSERT_DRIVE          612

// The program's big icon on every dialog.
#define IDI_KIPO_DIALOG              939

// String and dialog ids of: Pref file, profile database and the computer set-up dialogs. Only #define lines (see ids.h).
#pragma once

// ---- Folder lookup and installer ----------------------------------------------------------------
#define IDS_TEMP_FOLDER_NOT_CREATED      454  // %s the temporary folder that could not be created
#define IDS_TEMP_PATH_UNAVAILABLE        543  // the system gives no temporary folder
#define IDS_APP_NOT_COPIED               614  // %s program file (source), %s target
#define IDS_NO_INSTALL_PATH              615  // %s product name: no installation to take the computers from

// ---- Profile database ---------------------------------------------------------------------------
#define IDS_CONFIRM_PROFILE_FINGERPRINT  589  // %s product name: this computer's disks changed
#define IDS_CONFIRM_PROFILE_NAME         590  // %s product name: this computer's name changed
#define IDS_LIST_COMPUTER_FOLDERS_FAILED 645  // the drive's computer folders cannot be listed
#define IDS_PROFILES_FILE_NEWER          676  // %s product name: legacy profile file of a newer version
#define IDS_FINGERPRINT_UPDATE_FAILED    898  // %s nickname
#define IDS_COMPUTER_NAME_UPDATE_FAILED  899  // %s nickname

// ---- Confirm-profile dialog ---------------------------------------------------------------------
#define IDD_CONFIRM_PROFILE              262
#define IDC_CONFIRM_PROFILE_LIST         1180
#define IDC_CONFIRM_PROFILE_TEXT         1268
#define IDS_COLUMN_COMPUTER_NAME         435  // list column: the profile's key
#define IDS_COLUMN_NAME                  679  // list column: the nickname
#define IDS_SELECT_COMPUTER              769  // OK pressed without a selected row

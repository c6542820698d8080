// String and dialog ids of the Outlook page of the options and of the folder selection dialog.
// The page shares 370 and 746 (button captions), 411 (other computer) and 855 (overlapping
// items) with the page of files. Only #define lines (see ids.h).
#pragma once

// ---- Outlook page -------------------------------------------------------------------------------
#define IDD_OUTLOOK_PAGE                 309
#define IDC_OUTLOOK_FOLDERS              1182
#define IDC_OUTLOOK_ADD_FOLDERS          1007
#define IDC_OUTLOOK_REMOVE               1034
#define IDC_OUTLOOK_ADD_INBOX            1015
#define IDC_OUTLOOK_ADD_DRAFTS           1011
#define IDC_OUTLOOK_ADD_SENT_ITEMS       1021
#define IDC_OUTLOOK_ADD_CONTACTS         1009
#define IDC_OUTLOOK_ADD_CALENDAR         1008
#define IDC_OUTLOOK_ADD_NOTES            1019
#define IDC_OUTLOOK_ADD_TASKS            1022
#define IDC_OUTLOOK_SELECTED_PATH        1052
#define IDC_OUTLOOK_RECENT_ONLY          1209
#define IDC_OUTLOOK_ALL_ITEMS            1207
#define IDC_OUTLOOK_DAYS                 1134
#define IDC_OUTLOOK_SUBFOLDERS           1097
#define IDC_OUTLOOK_SIZE_LIMIT           1077
#define IDC_OUTLOOK_SIZE                 1142
#define IDC_OUTLOOK_COMPUTER_WINS        1187
#define IDC_OUTLOOK_DEVICE_WINS          1188
#define IDC_OUTLOOK_KEEP_BOTH            1189
#define IDS_OUTLOOK_CALENDAR_CAPTION     365
#define IDS_OUTLOOK_CONTACTS_CAPTION     366
#define IDS_OUTLOOK_DRAFTS_CAPTION       368
#define IDS_OUTLOOK_INBOX_CAPTION        371
#define IDS_OUTLOOK_NOTES_CAPTION        372
#define IDS_OUTLOOK_SENT_CAPTION         373
#define IDS_OUTLOOK_TASKS_CAPTION        374
#define IDS_OUTLOOK_FOLDER_FONT_HEIGHT   783
#define IDS_OUTLOOK_TIP_KEEP_BOTH        437
#define IDS_OUTLOOK_TIP_COMPUTER_WINS    438
#define IDS_OUTLOOK_TIP_DEVICE_WINS      439
#define IDS_OUTLOOK_RECENT_APPOINTMENTS  602
#define IDS_OUTLOOK_RECENT_CONTACTS      603
#define IDS_OUTLOOK_RECENT_MESSAGES      604
#define IDS_OUTLOOK_RECENT_JOURNAL       605
#define IDS_OUTLOOK_RECENT_SENT          606
#define IDS_OUTLOOK_RECENT_NOTES         607
#define IDS_OUTLOOK_RECENT_TASKS         608
#define IDS_OUTLOOK_NOT_REMOVED          536  // %s folder path
#define IDS_OUTLOOK_UNSUPPORTED_VERSION  681  // %s product, %s product
#define IDS_OUTLOOK_NOT_CONFIGURED       703
#define IDS_OUTLOOK_NO_DEFAULT_STORE     545  // %s product

// ---- Folder selection ---------------------------------------------------------------------------
#define IDD_SELECT_MAPI_FOLDER           288
#define IDC_SELECT_MAPI_FOLDER_TREE      1357
#define IDS_SELECT_MAPI_FOLDER_NO_TREE   514
#define IDS_SELECT_MAPI_FOLDER_NO_ROOT   412

// String and dialog ids of the synchronize dialog, the progress dialogs and the device usage meter.
// Only #define lines (see ids.h).
#pragma once

// ---- Device usage meter -------------------------------------------------------------------------
#define IDD_DEVICE_METER                 266
#define IDD_DEVICE_USAGE                 267
#define IDD_DEVICE_USAGE_LEGEND          268
#define IDC_DEVICE_USAGE_ANIMATION       1000
#define IDC_DEVICE_USAGE_USED            1345
#define IDC_DEVICE_USAGE_CAPACITY        1336
#define IDC_DEVICE_USAGE_BACK            1261
#define IDC_LEGEND_USED_BOX              1343
#define IDC_LEGEND_USED_TEXT             1344
#define IDC_LEGEND_SELECTED_BOX          1303
#define IDC_LEGEND_SELECTED_TEXT         1304
#define IDS_METER_USED                   904  // label of the used bytes ("Used:")
#define IDS_METER_CAPACITY               859  // label of the drive's size ("Capacity:")
#define IDS_METER_SELECTED               770  // after a size: the bytes a run would add
#define IDS_METER_FREED                  591  // after a size: the bytes a run would free

// ---- Synchronize dialog -------------------------------------------------------------------------
#define IDD_SYNCHRONIZE                  295
#define IDC_SYNC_STATUS                  1320
#define IDC_SYNC_FOOTNOTE                1280
#define IDC_SYNC_LIST                    1177
#define IDC_SYNC_IE_SETTINGS             1099
#define IDC_SYNC_WAITING                 1237
#define IDC_SYNC_SECOND_TEXT             1277
#define IDC_SYNC_DESKTOP                 1071
#define IDC_SYNC_INBOX                   1081
#define IDC_SYNC_INBOX_DAYS              1150
#define IDC_SYNC_DESKTOP_DAYS            1153
#define IDC_SYNC_METER_GROUP             1246
#define IDC_SYNC_METER_PLACE             1247
#define IDC_SYNC_INBOX_DAYS_LABEL        1365
#define IDC_SYNC_MORE_OPTIONS            1023
#define IDS_SYNC_INITIALISING            611  // status while the synchronizers start
#define IDS_SYNC_CLEANING_UP             427  // status after a cancel during the search
#define IDS_SYNC_COLUMN_NAME             673
#define IDS_SYNC_COLUMN_FOLDER           601
#define IDS_SYNC_COLUMN_SIZE             779
#define IDS_SYNC_METER_SEARCHING         474  // %s product: the group's caption during the search
#define IDS_SYNC_METER_SEARCHED          473  // %s product: the group's caption after the search
#define IDS_SYNC_WAITING                 586  // %s dots: the run starts when the search ends
#define IDS_SYNC_WAIT_FOR_SEARCH         908  // OK pressed again during the search
#define IDS_SYNC_UP_TO_DATE              897  // %s device: nothing to synchronize
#define IDS_SYNC_PREFS_NOT_SAVED         564  // %s device: the pref store could not be saved
#define IDS_SYNC_FILE_PREFS_NOT_SAVED    507  // the file snap-in's settings could not be saved
#define IDS_SYNC_OUTLOOK_PREFS_NOT_SAVED 508  // the Outlook settings could not be saved
#define IDS_SYNC_NOT_ENOUGH_SPACE        691  // %s device, %s device
#define IDS_SYNC_ALMOST_FULL_QUESTION    634  // %s device, %s device: fill it beyond 90 percent?
#define IDS_SYNC_MANY_ITEMS_QUESTION     635  // %s product, %s device, %s device: cancel the run?
#define IDS_SYNC_INTERRUPTED             618  // %s product: the last run was interrupted
#define IDS_SYNC_DEVICE_LOW              640  // %s device, %s device: less than a tenth is free
#define IDS_SYNC_DIALOG_FAILED           534  // the synchronize dialog could not be shown

// ---- Progress dialogs ---------------------------------------------------------------------------
#define IDD_PROGRESS                     286
#define IDC_PROGRESS_ACTION              1030
#define IDC_PROGRESS_ANIMATION           1000
#define IDC_PROGRESS_FIRST_LINE          1278
#define IDC_PROGRESS_SECOND_LINE         1277
#define IDC_PROGRESS_CLOSE_AUTOMATICALLY 1070
#define IDC_PROGRESS_BAR                 1183
#define IDS_PROGRESS_CLOSE               428  // the action button once the operation has ended
#define IDS_PROGRESS_STARTING            786  // before the subject: "Starting: "
#define IDS_PROGRESS_SYNC_DONE           853
#define IDS_PROGRESS_SYNC_CANCELLED      852
#define IDS_PROGRESS_CANCELLING          410
#define IDS_PROGRESS_FILE_TO_DEVICE      448  // %s device
#define IDS_PROGRESS_FILE_FROM_DEVICE    447  // %s device
#define IDS_PROGRESS_FILE_DELETE         749  // %s device
#define IDS_PROGRESS_FILE_CONFLICT       445
#define IDS_PROGRESS_ITEM_TO_DEVICE      450  // %s device
#define IDS_PROGRESS_ITEM_FROM_DEVICE    449  // %s device
#define IDS_PROGRESS_ITEM_DELETE         750  // %s device
#define IDS_PROGRESS_ITEM_CONFLICT       446
#define IDS_PROGRESS_ITEM_MOVE           670

// ---- Animations (in the program file) -----------------------------------------------------------
#define IDR_AVI_COPY_FILE                349
#define IDR_AVI_FIND_FILE                350

// String ids of the file and folder snap-ins. Only #define lines (see ids.h).
#pragma once

#define IDS_FILES_SNAPSHOT_NOT_DELETED     555  // %s path: the snapshot file of a removed computer stays
#define IDS_FILES_ICONS_NOT_RESTORED       558  // the desktop icon positions could not be put back
#define IDS_FILES_MY_DOCUMENTS_NOT_RESTORED 559 // My Documents could not be restored
#define IDS_FILES_ICONS_NOT_SAVED          562  // the desktop icon positions could not be saved
#define IDS_FILES_FAVORITES_PATH_NOT_SAVED 563  // the Favorites location could not be saved
#define IDS_FILES_MENU_ORDER_NOT_SAVED     568  // the Favorites menu order could not be saved
#define IDS_FILES_MENU_ORDER_NOT_RESTORED  569  // the Favorites menu order could not be put back
#define IDS_FILES_FAVORITES_PATH_NOT_RESTORED 570  // the Favorites location could not be put back
#define IDS_FILES_DELETING_EMPTY_FOLDERS   748  // progress text: deleting empty folders on the drive

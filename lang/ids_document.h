// String ids of the document and its snap-in passes. Only #define lines (see ids.h).
#pragma once

#define IDS_DOC_SYNC_INCOMPLETE         954  // %s nickname: its last synchronization did not complete
#define IDS_DOC_DIAG_BACKUP             400  // diagnostic mode, before a backup step (then the name)
#define IDS_DOC_PERSONALIZING           479  // progress text before a personalize step (then the name)
#define IDS_DOC_DIAG_PERSONALIZE        718  // %s snap-in: diagnostic mode, before a personalize step
#define IDS_DOC_LOGIN_DONE              648  // progress text at the end of a login
#define IDS_DOC_LOGIN_FAILURES          784  // %s the snap-ins that could not log in
#define IDS_DOC_LAST_RESTORE_FAILED     737  // %s snap-ins, %s product: cancel this login?
#define IDS_DOC_SYNC_WHILE_LOGGED_IN    420  // no synchronization while logged in
#define IDS_DOC_OTHER_USER              476  // %s current user, %s product, %s stored user: continue?
#define IDS_DOC_USER_NOT_SAVED          573  // %s user name
#define IDS_DOC_LOGGING_OUT             646  // progress text at the start of a logout
#define IDS_DOC_DEPERSONALIZING         751  // progress text before a depersonalize step (then the name)
#define IDS_DOC_DIAG_DEPERSONALIZE      469  // diagnostic mode, before a depersonalize step (then the name)
#define IDS_DOC_RESTORING               758  // progress text before a restore step (then the name)
#define IDS_DOC_DIAG_RESTORE            757  // diagnostic mode, before a restore step (then the name)
#define IDS_DOC_LOGOUT_DONE             658  // progress text at the end of a logout
#define IDS_DOC_LOGOUT_FAILURES         785  // %s the snap-ins, %s product
#define IDS_DOC_PREFS_TOO_NEW           903  // the drive's files come from a newer version
#define IDS_DOC_NO_COMPUTER_PROFILE     539  // this computer has no profile on the drive

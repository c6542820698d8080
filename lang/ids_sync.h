// String ids of the snapshots and the file synchronizer. Only #define lines (see ids.h).
#pragma once

#define IDS_SYNC_CALCULATING          405  // progress text while a synchronizer plans its ops
#define IDS_SYNC_DRIVE_FILES          472  // progress text of the pass over files found on the drive
#define IDS_SYNC_FILE_PROGRESS        765  // %s file name: progress text of one file
#define IDS_SYNC_OP_COPY              518  // %s source, %s target: a failed copy
#define IDS_SYNC_OP_CONFLICT          520  // %s host file: a failed conflict copy
#define IDS_SYNC_OP_DELETE            525  // %s drive file: a failed deletion
#define IDS_SYNC_OP_UNKNOWN           896  // a failed op of another kind
#define IDS_SYNC_OP_ASK_CONTINUE      444  // %s operation, %s reason: continue?
#define IDS_SYNC_CONFLICT_NAMES_TAKEN 523  // %s path: all nine conflict names are taken
#define IDS_SYNC_SNAPSHOT_UNREADABLE  552  // %s application: the snapshot is unreadable, go on with conflicts?
#define IDS_SYNC_SNAPSHOT_TOO_NEW     677  // %s application: the snapshot is of a newer version
#define IDS_SYNC_SNAPSHOT_READ_ERROR  735  // %s path: the snapshot file could not be read
#define IDS_OUTLOOK_SNAPSHOT_READ_ERROR 553  // %s path: the Outlook snapshot file could not be read

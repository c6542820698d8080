// String ids of the Outlook data snap-in's messages. Only #define lines (see ids.h).
#pragma once

#define IDS_OUTLOOK_CLEANING_UP          426  // progress text while MAPI is ended after a run
#define IDS_OUTLOOK_BACKUP_PROFILES      509  // the host's Outlook profiles cannot be saved
#define IDS_OUTLOOK_BACKUP_SOURCE_NAME   510  // the source profile name cannot be saved
#define IDS_OUTLOOK_SNAPSHOT_UNDELETABLE 556  // %s path: the Outlook snapshot cannot be deleted
#define IDS_OUTLOOK_BACKUP_SNAPSHOT_UNDELETABLE 557  // %s path: its backup copy cannot be deleted
#define IDS_OUTLOOK_RESTORE_PROFILES     560  // the host's Outlook profiles cannot be put back
#define IDS_OUTLOOK_EXCHANGE_UPDATE      900  // progress caption of the Exchange server update
#define IDS_OUTLOOK_EXCHANGE_IMO         916  // Exchange mail on an Internet-mail-only Outlook 2000

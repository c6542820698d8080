// String ids of the Outlook item synchronizer. Only #define lines (see ids.h).
#pragma once

#define IDS_ITEM_SYNC_STARTING           787  // progress text: the Outlook synchronization starts
#define IDS_ITEM_SYNC_STORE_CHANGED      465  // %s application, %s device: the host's message store moved
#define IDS_ITEM_SYNC_SNAPSHOT_UNREADABLE 554  // %s application, %s device: no Outlook snapshot could be read
#define IDS_ITEM_SYNC_SUBMIT_FAILED      574  // %s subject: a message copied to the Outbox could not be sent
#define IDS_ITEM_OP_COPY                 519  // %s subject: a failed item copy
#define IDS_ITEM_OP_CONFLICT             521  // %s subject: a failed conflict copy
#define IDS_ITEM_OP_DELETE               527  // %s subject: a failed item deletion
#define IDS_ITEM_OP_MOVE                 548  // %s subject: a failed item move

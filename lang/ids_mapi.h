// String ids of the MAPI layer and of Outlook's special folders (the names used when Outlook
// cannot be asked for its own). Only #define lines (see ids.h).
#pragma once

#define IDS_MAPI_EXCEPTION               665  // the MAPI layer's exception
#define IDS_OUTLOOK_ERROR_NO_MESSAGE     702  // Outlook reported an error without a message
#define IDS_OUTLOOK_INBOX                925
#define IDS_OUTLOOK_DRAFTS               926
#define IDS_OUTLOOK_SENT_ITEMS           927
#define IDS_OUTLOOK_CALENDAR             928
#define IDS_OUTLOOK_CONTACTS             929
#define IDS_OUTLOOK_TASKS                930
#define IDS_OUTLOOK_NOTES                931

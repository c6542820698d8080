// String ids of the Outlook profile manager's messages. Only #define lines (see ids.h).
#pragma once

#define IDS_OUTLOOK_INIT_ERROR           544  // %s product x2: Outlook's services cannot be started
#define IDS_OUTLOOK_UNSUPPORTED_ACCOUNT  682  // the Outlook setup cannot be synchronized
#define IDS_OUTLOOK_FOLDERS_UNAVAILABLE  886  // %s product x2: the synchronized Outlook folders cannot be shown
#define IDS_OUTLOOK_ALWAYS_SHOW_ERROR    950  // check box of the Outlook error questions

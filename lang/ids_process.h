// String ids of the process snap-ins and the confirmation closer. Only #define lines (see ids.h).
#pragma once

#define IDS_PROC_CLOSE_FAILED_LOGOUT  881  // %s product, %s program x3: the program could not be closed at logout
#define IDS_CONFIRM_YES_PREFIX        912  // the Yes button's text as Windows dialogs of this language show it
#define IDS_OUTLOOK_CLOSE_FAILED_LOGOUT  882  // %s product: Outlook could not be closed at logout
#define IDS_OUTLOOK_CLOSE_FAILED_LOGIN   883  // %s product: Outlook could not be closed at login

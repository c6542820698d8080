// String ids of the e-mail accounts snap-in and its account records. Only #define lines (see ids.h).
#pragma once

#define IDS_ACCOUNTS_NOT_COPIED             515  // the host's account store could not be carried
#define IDS_ACCOUNTS_LMOS_NOT_PERSONALIZED  549  // %s: an account leaving mail on the server
#define IDS_ACCOUNTS_LMOS_DROPPED           637  // followed by the names of the accounts left out
#define IDS_ACCOUNTS_LMOS_LOGIN_ONLY        638  // followed by the names (Outlook 2002/2003)
#define IDS_ACCOUNTS_LMOS_OUTLOOK2000       639  // followed by the names (Outlook 2000)
#define IDS_ACCOUNTS_SYNC_PROGRESS          857  // progress text after a synchronization run

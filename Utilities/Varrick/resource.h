// Ids of Varrick's own strings: English and Japanese text of each message.
#pragma once

#define IDS_KIPO_RUNNING 101
#define IDS_KIPO_RUNNING_JPN 102
#define IDS_UNINSTALLED 103
#define IDS_UNINSTALLED_JPN 104
#define IDS_STILL_LOGGED_IN 105
#define IDS_STILL_LOGGED_IN_JPN 106

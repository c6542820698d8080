// The records the MAPI functions, the item synchronizer and the snapshot share: folders with
// their sync settings, items, entry-id text and the restrictions handed to MAPI.
#pragma once

#include "outlook/entry_id.h"
#include "outlook/mapi_restriction.h"
#include "outlook/outlook_folder.h"
#include "outlook/outlook_item.h"

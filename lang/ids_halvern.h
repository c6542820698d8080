// String ids of: the U3 launch pad's utility Halvern (its commands' messages). Only #define lines (see ids.h).
#pragma once

#define IDS_HALVERN_DATA_NOT_REMOVED      865  // the per-computer folders could not be removed from the device
#define IDS_HALVERN_DATA_REMOVED          866  // the per-computer folders were removed from the device
#define IDS_HALVERN_REMOVE_DATA_QUESTION  867  // Yes/No: remove the per-computer folders from the device?
#define IDS_HALVERN_CREATE_PROCESS_FAILED 868  // %d: the error code; printed, ends with a line break
#define IDS_HALVERN_KEY_CONTAINER_FAILED  869  // the default CryptoAPI key container could not be removed
#define IDS_HALVERN_REGISTRY_NOT_REMOVED  870  // the product's registry tree could not be removed
#define IDS_HALVERN_REGISTRY_KEY_MISSING  871  // ... key not found (ends with a line break)
#define IDS_HALVERN_REGISTRY_KEY_UNOPENED 872  // ... error opening the key (ends with a line break)

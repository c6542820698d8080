// String and dialog ids of: Switchboard, Windows helpers, folder lookup and installer, customization file. Only #define lines (see ids.h).
#pragma once

// Switchboard and customization file
#define IDS_CUSTOMIZATION_CAPTION        873  // caption of the customization file's integrity boxes
#define IDS_CUSTOMIZATION_SIGN_FAILED    874  // %s: the file's path; it could not be signed
#define IDS_CUSTOMIZATION_DAMAGED        875  // the customization file has been damaged (hash differs)
#define IDS_CUSTOMIZATION_HASH_MISSING   876  // damaged: its integrity hash is missing
#define IDS_CUSTOMIZATION_READ_ERROR     877  // the customization file cannot be read as XML
#define IDS_CUSTOMIZATION_HASH_NOT_SET   878  // the integrity hash cannot be stored in the file
#define IDS_CUSTOMIZATION_VERIFY_FAILED  879  // %s: the file's path; it failed its integrity check
#define IDS_CUSTOMIZATION_NOT_SAVED      880  // the customization file cannot be updated
#define IDS_CUSTOMIZATION_UNREADABLE     890  // %s: the file's path; missing or not readable
#define IDS_DEFAULT_DEVICE_NAME          955  // the drive's name when the customization gives none

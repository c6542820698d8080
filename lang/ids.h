// String and dialog ids shared by the product's code ("lang/ids.h") and by every language
// library's resource scripts (lang/<CODE>/*.rc). Every library is built from these same ids.
// Only #define lines: the resource compiler reads nothing else from a header.
//
// Keep each id in the section of the component that uses it; an id is defined once. Texts that
// name stored data (folder, file, key and value names) go into lang/stored_names.rc, which
// every library shares untranslated.
#pragma once

// Later components keep their ids in headers of their own.
#include "ids_devices.h"
#include "ids_document.h"
#include "ids_secure_drive.h"
#include "ids_profiles.h"
#include "ids_services.h"
#include "ids_halvern.h"
#include "ids_app.h"
#include "ids_online.h"
#include "ids_sync.h"
#include "ids_archive.h"
#include "ids_process.h"
#include "ids_mapi.h"
#include "ids_accounts.h"
#include "ids_outlook_profiles.h"
#include "ids_outlook_snapin.h"
#include "ids_settings.h"
#include "ids_files.h"
#include "ids_login.h"
#include "ids_synchronize.h"
#include "ids_options.h"
#include "ids_outlook_page.h"
#include "ids_items.h"

// ---- Diagnostic log, message boxes, resource strings ------------------------------------------
#define IDS_LOG_STARTED             668  // heading of the log's start block, before the date
#define IDS_RESOURCE_STRING_MISSING 755  // message of the box shown for a missing string id
#define IDS_CLOSE_SYNC_BEFORE_EXIT  432  // close the synchronize dialog before leaving Windows

// Texts of the custom message box's check box and buttons.
#define IDS_XMB_DONT_ASK_AGAIN      480
#define IDS_XMB_DONT_SHOW_AGAIN     481
#define IDS_XMB_DONT_TELL_AGAIN     482
#define IDS_XMB_OK                  696
#define IDS_XMB_CANCEL              408
#define IDS_XMB_IGNORE              599
#define IDS_XMB_RETRY               759
#define IDS_XMB_ABORT               361
#define IDS_XMB_HELP                595
#define IDS_XMB_YES                 913
#define IDS_XMB_NO                  680
#define IDS_XMB_CONTINUE            442
#define IDS_XMB_YES_TO_ALL          914
#define IDS_XMB_NO_TO_ALL           690
#define IDS_XMB_TRY_AGAIN           864
#define IDS_XMB_REPORT              752
#define IDS_XMB_IGNORE_ALL          598
#define IDS_XMB_SKIP                782
#define IDS_XMB_SKIP_ALL            781

// ---- Registry access, pref file, profile database ---------------------------------------------
#define IDS_DUMP_FILE_NEWER         582  // a key dump file written by a newer version (file, product)
#define IDS_DUMP_FILE_UNREADABLE    678  // a key dump file that cannot be read (file, product)
#define IDS_PREF_FILE_UNREADABLE    2001 // the pref file could not be read; settings are not saved (file, product)

// ---- Path and file utilities, file-operation engine -------------------------------------------
#define IDS_FILEOP_ACCESS_DENIED          364  // file-operation error 8
#define IDS_CATEGORY_ALL_FILES            380  // file category: all files
#define IDS_CATEGORY_AUDIO_FILES          398  // file category: audio files
#define IDS_FILEOP_FOLDER_NOT_COPIED      414  // file-operation error 11
#define IDS_FILEOP_CONTINUE_QUESTION      443  // %s (request text), then: continue the operation?
#define IDS_FILEOP_NO_DEVICE              471  // file-operation error 6
#define IDS_FILEOP_PATH_NOT_FOUND         483  // file-operation error 5
#define IDS_FILEOP_COPY_MOVE_FAILED       516  // %s file name, %s its folder, %s target
#define IDS_FILEOP_DELETE_FAILED          526  // %s path
#define IDS_FILEOP_SOURCE_MISSING         581  // file-operation error 10
#define IDS_FILEOP_COMPLETED              583  // a request that succeeded
#define IDS_FILEOP_FAILED                 592  // file-operation error 12
#define IDS_CATEGORY_PICTURE_FILES        600  // file category: picture files
#define IDS_FILEOP_NETWORK_ACCESS_DENIED  674  // file-operation error 7
#define IDS_FILEOP_NETWORK_PATH_NOT_FOUND 675  // file-operation error 4
#define IDS_CATEGORY_OFFICE_FILES         695  // file category: office files
#define IDS_FILEOP_DISK_FULL              701  // file-operation error 2
#define IDS_CATEGORY_EDITING_FILES        729  // file category: editing files
#define IDS_FILEOP_SHARING_VIOLATION      775  // file-operation error 3
#define IDS_FILEOP_UNKNOWN_ERROR          895  // file-operation errors 1, 9 and unknown codes
// Words that stand for a special folder at the start of a profile path (stored: stored_names.rc).
#define IDS_FOLDER_WORD_DESKTOP           920
#define IDS_FOLDER_WORD_MY_DOCUMENTS      921
#define IDS_FOLDER_WORD_FAVORITES         922
#define IDS_FOLDER_WORD_COOKIES           923
#define IDS_FOLDER_WORD_HISTORY           924
// The typed-address file in a computer's drive folder (stored: stored_names.rc).
#define IDS_FILE_NAME_TYPED_URLS          932

// ---- Folder lookup, customization file --------------------------------------------------------

// ---- Dialogs ----------------------------------------------------------------------------------

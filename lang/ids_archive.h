// String ids of whole-folder and archive synchronization. Only #define lines (see ids.h).
#pragma once

#define IDS_ARCHIVE_PACK_FAILED       397  // %s path: the archive could not be written
#define IDS_ARCHIVE_COPY_FAILED       396  // %s archive written, %s drive archive: it could not be copied over
#define IDS_ARCHIVE_OP_COPY           517  // %s host file, %s archive: a failed copy into the archive
#define IDS_ARCHIVE_OP_WRONG_OWNER    593  // an archive operation without its archive synchronizer

// String and dialog ids of: Drive detection and the USB monitor. Only #define lines (see ids.h).
#pragma once

#define IDS_DEV_SETUP_CALL_FAILED        385  // %s: the Setup API call that failed
#define IDS_DEV_ADMIN_WARNING            376  // no administrator: %s app, %s area, %s app, %s app, %s area, %s area, %s folder, %s app
#define IDS_DEV_DRIVE_TOO_SMALL          378  // no administrator, drive too small: %s app, %s area, %s area, %s app
#define IDS_DEV_ADMIN_WARNING_CHECK      382  // check-box text of the administrator warning
#define IDS_DEV_DRIVE_TOO_SMALL_ADMIN    451  // drive too small for a secure area: %s app, %s area, %s app, %s area, %s area, %s app
#define IDS_DEV_WRONG_PASSWORD           626  // %s app: the password was wrong
#define IDS_DEV_NO_DRIVE                 629  // %s app: no drive found
#define IDS_DEV_DETECTION_FAILED         630  // %s app, %s device, %s app: the drive could not be detected
#define IDS_DEV_PASSWORD_CANCELLED       693  // %s app: no password given
#define IDS_DEV_FORGOT_WHILE_LOGGED_IN   741  // %s device, %s app: log out before resetting the password
#define IDS_DEV_REFORMAT_FAILED          747  // %s app, %s area, %s app: the secure area could not be removed
#define IDS_DEV_AREA_STATE_UNKNOWN       789  // the secure area's state could not be read

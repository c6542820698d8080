// Resource ids of Fennock.dll: the drive-choice dialog's templates and controls. Only #define lines.
#pragma once

#define IDD_FENNOCK_DRIVE_ENGLISH 101
#define IDD_FENNOCK_DRIVE_JAPANESE 102
#define IDC_FENNOCK_DRIVE_LIST 1001
#define IDC_FENNOCK_DRIVE_TEXT 1003

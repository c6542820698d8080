// Volumes as Win32 reports them: which drive letters exist, their types, serial numbers, labels,
// file systems and free space, all from the host's drive table (platform/host/drives.h). A drive
// with a capacity reports capacity minus the bytes it holds; one without reports its Linux file
// system's space.
#pragma once

#include "platform/base/types.h"

#define DRIVE_UNKNOWN 0
#define DRIVE_NO_ROOT_DIR 1
#define DRIVE_REMOVABLE 2
#define DRIVE_FIXED 3
#define DRIVE_REMOTE 4
#define DRIVE_CDROM 5
#define DRIVE_RAMDISK 6

// GetVolumeInformationW file system flags.
#define FILE_CASE_SENSITIVE_SEARCH 0x00000001
#define FILE_CASE_PRESERVED_NAMES 0x00000002
#define FILE_UNICODE_ON_DISK 0x00000004
#define FILE_PERSISTENT_ACLS 0x00000008
#define FILE_FILE_COMPRESSION 0x00000010
#define FILE_VOLUME_QUOTAS 0x00000020
#define FILE_SUPPORTS_SPARSE_FILES 0x00000040
#define FILE_SUPPORTS_REPARSE_POINTS 0x00000080
#define FILE_SUPPORTS_OBJECT_IDS 0x00010000
#define FILE_SUPPORTS_ENCRYPTION 0x00020000
#define FILE_NAMED_STREAMS 0x00040000
#define FILE_READ_ONLY_VOLUME 0x00080000

// SetErrorMode.
#define SEM_FAILCRITICALERRORS 0x0001
#define SEM_NOGPFAULTERRORBOX 0x0002
#define SEM_NOALIGNMENTFAULTEXCEPT 0x0004
#define SEM_NOOPENFILEERRORBOX 0x8000

// Bit n set for each existing drive letter 'A' + n.
DWORD GetLogicalDrives();
// "C:\<NUL>E:\<NUL><NUL>"; returns the length without the final NUL, or when nBufferLength is too
// small the size needed (buffer untouched).
DWORD GetLogicalDriveStringsW(DWORD nBufferLength, LPWSTR lpBuffer);
// DRIVE_NO_ROOT_DIR for a letter or share that does not exist or a path that is not a root;
// null asks about the current directory's drive.
UINT GetDriveTypeW(LPCWSTR lpRootPathName);
UINT GetDriveTypeA(LPCSTR lpRootPathName);
// lpRootPathName must be a root with its trailing separator ("E:\", "\\server\share\").
BOOL GetVolumeInformationW(LPCWSTR lpRootPathName, LPWSTR lpVolumeNameBuffer, DWORD nVolumeNameSize,
                           LPDWORD lpVolumeSerialNumber, LPDWORD lpMaximumComponentLength,
                           LPDWORD lpFileSystemFlags, LPWSTR lpFileSystemNameBuffer, DWORD nFileSystemNameSize);
BOOL GetVolumeInformationA(LPCSTR lpRootPathName, LPSTR lpVolumeNameBuffer, DWORD nVolumeNameSize,
                           LPDWORD lpVolumeSerialNumber, LPDWORD lpMaximumComponentLength,
                           LPDWORD lpFileSystemFlags, LPSTR lpFileSystemNameBuffer, DWORD nFileSystemNameSize);
BOOL GetDiskFreeSpaceW(LPCWSTR lpRootPathName, LPDWORD lpSectorsPerCluster, LPDWORD lpBytesPerSector,
                       LPDWORD lpNumberOfFreeClusters, LPDWORD lpTotalNumberOfClusters);
// Any existing folder of the drive; null: the current directory's drive.
BOOL GetDiskFreeSpaceExW(LPCWSTR lpDirectoryName, PULARGE_INTEGER lpFreeBytesAvailableToCaller,
                         PULARGE_INTEGER lpTotalNumberOfBytes, PULARGE_INTEGER lpTotalNumberOfFreeBytes);
// Process-wide; returns the previous mode. The stand-in never shows critical-error boxes, so the
// mode is only kept and reported.
UINT SetErrorMode(UINT uMode);

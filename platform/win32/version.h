// Version blocks of files: the VS_VERSIONINFO resource of any program or module file (the
// project's own programs and modules, the stand-ins of the system's modules), read without
// loading the file, and queried by path ("\", "\VarFileInfo\Translation",
// "\StringFileInfo\040904b0\FileVersion").
#pragma once

#include "platform/base/types.h"

struct VS_FIXEDFILEINFO {
  DWORD dwSignature;  // 0xFEEF04BD
  DWORD dwStrucVersion;
  DWORD dwFileVersionMS;
  DWORD dwFileVersionLS;
  DWORD dwProductVersionMS;
  DWORD dwProductVersionLS;
  DWORD dwFileFlagsMask;
  DWORD dwFileFlags;
  DWORD dwFileOS;
  DWORD dwFileType;
  DWORD dwFileSubtype;
  DWORD dwFileDateMS;
  DWORD dwFileDateLS;
};
static_assert(sizeof(VS_FIXEDFILEINFO) == 52, "the fixed record is 13 DWORDs");

#define VS_FFI_SIGNATURE 0xFEEF04BDL
#define VS_FFI_STRUCVERSION 0x00010000L
#define VS_FFI_FILEFLAGSMASK 0x0000003FL
#define VS_FF_DEBUG 0x00000001L
#define VS_FF_PRERELEASE 0x00000002L
#define VOS_NT_WINDOWS32 0x00040004L
#define VFT_UNKNOWN 0x00000000L
#define VFT_APP 0x00000001L
#define VFT_DLL 0x00000002L

// The size of buffer GetFileVersionInfoW needs (*handle is set to 0), or 0 with the last error:
// ERROR_FILE_NOT_FOUND / ERROR_PATH_NOT_FOUND (no file), ERROR_RESOURCE_DATA_NOT_FOUND (no
// resources), ERROR_RESOURCE_TYPE_NOT_FOUND (resources but no version block), ERROR_BAD_FORMAT
// (a corrupt resource section or version block).
DWORD GetFileVersionInfoSizeW(LPCWSTR fileName, LPDWORD handle);
// Copies the file's version block into data (at most `length` bytes; a shorter buffer receives
// the start of the block, cut so that queries stay inside it). FALSE with the errors above.
BOOL GetFileVersionInfoW(LPCWSTR fileName, DWORD handle, DWORD length, LPVOID data);
// A value of a block read by GetFileVersionInfoW: "\" gives the VS_FIXEDFILEINFO (length in
// bytes), "\VarFileInfo\Translation" the language and code-page pairs (length in bytes), a
// string path the NUL-terminated text (length in characters with the NUL). Keys compare without
// regard to case. FALSE with *length 0 when there is no such value.
BOOL VerQueryValueW(LPCVOID block, LPCWSTR subBlock, LPVOID* buffer, PUINT length);

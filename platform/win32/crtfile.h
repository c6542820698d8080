// The C runtime's wide file calls on char16_t paths: _wstat, _waccess, _wfopen with text ("t",
// CR LF translation, Ctrl-Z ends input) and binary ("b") modes and the ",ccs=UNICODE",
// ",ccs=UTF-16LE" and ",ccs=UTF-8" encodings, fputws/fgetws on such streams, _wremove,
// _wrename, _wmkdir, _wrmdir. They go through the Win32 file calls, so paths, read-only
// attributes, share modes and disk-full limits behave as there; failures set errno.
// Streams are C FILE objects: fclose, fread, fwrite, fseek work on them as usual.
#pragma once

#include <cstdint>
#include <cstdio>

#include "platform/base/types.h"

// The runtime's structure has plain time members. Linux's stat header names its own through
// macros; product code never sees that header, and a file of the platform that takes it before
// this one loses them here (one that takes it after must not use these members).
#ifdef st_atime
#undef st_atime
#endif
#ifdef st_mtime
#undef st_mtime
#endif
#ifdef st_ctime
#undef st_ctime
#endif

#define _S_IFMT 0xF000
#define _S_IFDIR 0x4000
#define _S_IFCHR 0x2000
#define _S_IFREG 0x8000
#define _S_IREAD 0x0100
#define _S_IWRITE 0x0080
#define _S_IEXEC 0x0040

struct _stat {
  unsigned int st_dev;      // drive number, 0 for A:
  unsigned short st_ino;
  unsigned short st_mode;
  short st_nlink;
  short st_uid;
  short st_gid;
  unsigned int st_rdev;
  LONG st_size;             // 32 bits, as the runtime's _off_t
  std::int64_t st_atime;    // seconds since 1970
  std::int64_t st_mtime;
  std::int64_t st_ctime;    // creation time, as on Windows
};

int _wstat(const char16_t* path, struct _stat* buffer);
// mode 0: exists, 2: writable, 4: readable, 6: both. 0, or -1 with errno ENOENT or EACCES.
int _waccess(const char16_t* path, int mode);
FILE* _wfopen(const char16_t* filename, const char16_t* mode);
// The stream's encoding decides the bytes: ANSI code page without ccs, else UTF-16LE or UTF-8.
int fputws(const char16_t* str, FILE* stream);
// Reads up to n-1 characters, through the first '\n'; null at end of file with nothing read.
char16_t* fgetws(char16_t* str, int n, FILE* stream);
int _wremove(const char16_t* path);
int _wrename(const char16_t* oldname, const char16_t* newname);
int _wmkdir(const char16_t* dirname);
int _wrmdir(const char16_t* dirname);

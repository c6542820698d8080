// IStream: byte streams over a file (the MAPI stand-in's OpenStreamOnFile) or over memory (an
// attachment's data), with the sequential-stream methods, seeking, sizing, copying and Stat.
#pragma once

#include <functional>
#include <string>

#include "platform/base/types.h"
#include "platform/com/persist.h"
#include "platform/com/unknown.h"

#define STGM_CREATE 0x00001000L
#define STGM_DELETEONRELEASE 0x04000000L

#define STREAM_SEEK_SET 0
#define STREAM_SEEK_CUR 1
#define STREAM_SEEK_END 2

#define STGC_DEFAULT 0
#define STGC_OVERWRITE 1

#define STATFLAG_DEFAULT 0
#define STATFLAG_NONAME 1

#define STGTY_STREAM 2

#define STG_E_INVALIDFUNCTION static_cast<HRESULT>(0x80030001L)
#define STG_E_TOOMANYOPENFILES static_cast<HRESULT>(0x80030004L)
#define STG_E_INVALIDHANDLE static_cast<HRESULT>(0x80030006L)
#define STG_E_INSUFFICIENTMEMORY static_cast<HRESULT>(0x80030008L)
#define STG_E_INVALIDPOINTER static_cast<HRESULT>(0x80030009L)
#define STG_E_WRITEFAULT static_cast<HRESULT>(0x8003001DL)
#define STG_E_READFAULT static_cast<HRESULT>(0x8003001EL)
#define STG_E_SHAREVIOLATION static_cast<HRESULT>(0x80030020L)
#define STG_E_LOCKVIOLATION static_cast<HRESULT>(0x80030021L)
#define STG_E_FILEALREADYEXISTS static_cast<HRESULT>(0x80030050L)
#define STG_E_INVALIDPARAMETER static_cast<HRESULT>(0x80030057L)
#define STG_E_MEDIUMFULL static_cast<HRESULT>(0x80030070L)
#define STG_E_INVALIDFLAG static_cast<HRESULT>(0x800300FFL)

struct STATSTG {
  LPOLESTR pwcsName;  // CoTaskMemAlloc'd, unless STATFLAG_NONAME
  DWORD type;
  ULARGE_INTEGER cbSize;
  FILETIME mtime;
  FILETIME ctime;
  FILETIME atime;
  DWORD grfMode;
  DWORD grfLocksSupported;
  CLSID clsid;
  DWORD grfStateBits;
  DWORD reserved;
};

struct ISequentialStream : IUnknown {
  // Reads up to cb bytes; fewer (and S_OK) at the end. read may be null.
  virtual HRESULT STDMETHODCALLTYPE Read(void* pv, ULONG cb, ULONG* read) = 0;
  virtual HRESULT STDMETHODCALLTYPE Write(const void* pv, ULONG cb, ULONG* written) = 0;

 protected:
  ~ISequentialStream() = default;
};

struct IStream : ISequentialStream {
  virtual HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER size) = 0;
  // Copies cb bytes (or up to the end) from the current position into target's.
  virtual HRESULT STDMETHODCALLTYPE CopyTo(IStream* target, ULARGE_INTEGER cb, ULARGE_INTEGER* read,
                                           ULARGE_INTEGER* written) = 0;
  virtual HRESULT STDMETHODCALLTYPE Commit(DWORD flags) = 0;
  virtual HRESULT STDMETHODCALLTYPE Revert() = 0;
  virtual HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER cb, DWORD type) = 0;
  virtual HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER cb, DWORD type) = 0;
  virtual HRESULT STDMETHODCALLTYPE Stat(STATSTG* stat, DWORD flags) = 0;
  virtual HRESULT STDMETHODCALLTYPE Clone(IStream** stream) = 0;

 protected:
  ~IStream() = default;
};
using LPSTREAM = IStream*;

DEFINE_OLEGUID(IID_ISequentialStream, 0x0C733A30, 0x2A1C, 0x11CE);
DEFINE_OLEGUID(IID_IStream, 0x0000000C, 0, 0);
KIPO_COM_INTERFACE(ISequentialStream, IID_ISequentialStream)
KIPO_COM_INTERFACE(IStream, IID_IStream)

namespace platform::com {

// A stream over the file at a Windows path, opened through the stand-in's file calls (so share
// modes and the drive's rules hold). mode: STGM_READ/WRITE/READWRITE, STGM_CREATE (create or
// truncate; without it the file must exist), STGM_DELETEONRELEASE. Writes go straight to the
// file; Commit flushes. Fails with an STG_E_* code from the file call's error.
HRESULT openFileStream(const std::u16string& path, DWORD mode, IStream** stream);

// A stream over bytes in memory; writable streams hand their bytes to onCommit at each Commit
// (so an owner can keep them), and Revert goes back to the bytes of the last commit.
HRESULT createMemoryStream(std::string bytes, bool writable,
                           std::function<HRESULT(const std::string&)> onCommit, IStream** stream);

}  // namespace platform::com

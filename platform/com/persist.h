// IPersist and IPersistFile: objects that load and save themselves as files by name.
#pragma once

#include "platform/com/unknown.h"

// Storage access modes of IPersistFile::Load (only the access bits matter to the stand-in).
#define STGM_READ 0x00000000L
#define STGM_WRITE 0x00000001L
#define STGM_READWRITE 0x00000002L
#define STGM_SHARE_DENY_NONE 0x00000040L
#define STGM_SHARE_DENY_READ 0x00000030L
#define STGM_SHARE_DENY_WRITE 0x00000020L
#define STGM_SHARE_EXCLUSIVE 0x00000010L

struct IPersist : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetClassID(CLSID* clsid) = 0;

 protected:
  ~IPersist() = default;
};

struct IPersistFile : IPersist {
  // S_OK when changed since the last load or save, S_FALSE otherwise.
  virtual HRESULT STDMETHODCALLTYPE IsDirty() = 0;
  virtual HRESULT STDMETHODCALLTYPE Load(LPCOLESTR fileName, DWORD mode) = 0;
  // A null fileName saves to the current file; remember makes fileName the current file.
  virtual HRESULT STDMETHODCALLTYPE Save(LPCOLESTR fileName, BOOL remember) = 0;
  virtual HRESULT STDMETHODCALLTYPE SaveCompleted(LPCOLESTR fileName) = 0;
  // The current file in task memory; S_FALSE (and the default pattern) when there is none.
  virtual HRESULT STDMETHODCALLTYPE GetCurFile(LPOLESTR* fileName) = 0;

 protected:
  ~IPersistFile() = default;
};

KIPO_COM_INTERFACE(IPersist, IID_IPersist)
KIPO_COM_INTERFACE(IPersistFile, IID_IPersistFile)

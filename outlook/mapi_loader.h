// The MAPI library, loaded at run time and never linked: the loader that finds it and binds its
// twelve entry points by name, the process-wide loader and utility singletons, and the exception
// the MAPI layer throws.
#pragma once

#include "app/customizer_exception.h"
#include "platform/modules/mapi32/mapidefs.h"

class CMAPILoader {
 public:
  CMAPILoader();
  virtual ~CMAPILoader();
  CMAPILoader(const CMAPILoader&) = delete;
  CMAPILoader& operator=(const CMAPILoader&) = delete;

  bool load();
  bool isLoaded() const { return loaded; }

  MAPIInitializeFn MAPIInitialize = nullptr;
  MAPIUninitializeFn MAPIUninitialize = nullptr;
  MAPILogonExFn MAPILogonEx = nullptr;
  MAPIAdminProfilesFn MAPIAdminProfiles = nullptr;
  FreeProwsFn FreeProws = nullptr;
  MAPIFreeBufferFn MAPIFreeBuffer = nullptr;
  MAPIAllocateBufferFn MAPIAllocateBuffer = nullptr;
  MAPIAllocateMoreFn MAPIAllocateMore = nullptr;
  HrAllocAdviseSinkFn HrAllocAdviseSink = nullptr;
  HrQueryAllRowsFn HrQueryAllRows = nullptr;
  HrGetOnePropFn HrGetOneProp = nullptr;
  OpenStreamOnFileFn OpenStreamOnFile = nullptr;

 private:
  HMODULE module = nullptr;
  bool loaded = false;
};

// The loader singleton: made once (kept even when loading failed, so the owner can see that),
// deleted by destroyMapiLoader, which also clears the MAPI layer's reference to it.
void createMapiLoader();
CMAPILoader* getMapiLoader();
void destroyMapiLoader();

// The loader the MAPI functions call through, set by CMapiUtil::initializeMapi.
CMAPILoader* mapiLoaderReference();

class CMapiUtil;
void createMapiUtil();
CMapiUtil* getMapiUtil();
void destroyMapiUtil();

// Thrown by pointer; the message is always string 665.
class CMapiException : public CCustomizerException {
 public:
  static constexpr UINT kNotStarted = 1;
  static constexpr UINT kNotInitialized = 2;
  CMapiException(UINT code, HRESULT hr);
  explicit CMapiException(UINT code);
  ~CMapiException() override;

  UINT getCode() const { return code_; }
  HRESULT getHresult() const { return hr_; }

 private:
  UINT code_;
  HRESULT hr_;
};

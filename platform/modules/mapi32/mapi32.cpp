// "mapi32.dll": the Extended MAPI stand-in's entry points. MAPI is initialised per process with a
// count (each MAPIInitialize needs its MAPIUninitialize); profiles are administered through
// MAPIAdminProfiles; the helper functions (HrQueryAllRows, HrGetOneProp, FreeProws) work on any
// table or property object and free what they allocated on failure.
#include <atomic>
#include <cstring>
#include <mutex>

#include "platform/base/codepage.h"
#include "platform/base/text.h"
#include "platform/modules/mapi32/logon_dialog.h"
#include "platform/modules/mapi32/mapidefs.h"
#include "platform/modules/mapi32/memory.h"
#include "platform/modules/mapi32/points.h"
#include "platform/modules/mapi32/profiles.h"
#include "platform/modules/mapi32/session.h"
#include "platform/win32/file.h"
#include "platform/win32/module.h"

namespace {

namespace text = platform::text;

std::mutex g_initLock;
ULONG g_initCount = 0;

bool initialized() {
  std::lock_guard<std::mutex> lock(g_initLock);
  return g_initCount > 0;
}

constexpr ULONG kKnownInitFlags = MAPI_MULTITHREAD_NOTIFICATIONS | 0x00000008 /* no CoInitialize */ | MAPI_NT_SERVICE;

// The module's fault points join the process's table while it is loaded.
const bool kPointsJoined = (mapi::joinFaultPoints(), true);

HRESULT MAPIInitialize(LPVOID mapiInit) {
  if (mapiInit) {
    const auto* init = static_cast<const MAPIINIT_0*>(mapiInit);
    if (init->ulVersion != MAPI_INIT_VERSION) return MAPI_E_VERSION;
    if (init->ulFlags & ~kKnownInitFlags) return MAPI_E_UNKNOWN_FLAGS;
  }
  std::lock_guard<std::mutex> lock(g_initLock);
  ++g_initCount;
  return S_OK;
}

void MAPIUninitialize() {
  std::lock_guard<std::mutex> lock(g_initLock);
  if (g_initCount > 0) --g_initCount;
}

// A session on the named profile; without a name, on the default profile when the caller allows
// it, else on the one the user chooses in the profile dialog (MAPI_LOGON_UI).
HRESULT MAPILogonEx(ULONG_PTR uiParam, LPSTR profileName, LPSTR, ULONG flags, LPMAPISESSION* session) {
  if (!session) return MAPI_E_INVALID_PARAMETER;
  *session = nullptr;
  if (!initialized()) return MAPI_E_NOT_INITIALIZED;
  if (flags & MAPI_UNICODE) return MAPI_E_BAD_CHARWIDTH;
  std::u16string profile = profileName ? text::ansiToWide(profileName) : std::u16string();
  if (profile.empty()) {
    if (flags & MAPI_USE_DEFAULT) {
      profile = mapi::defaultProfile();
    } else if (flags & MAPI_LOGON_UI) {
      if (HRESULT hr = mapi::chooseProfile(reinterpret_cast<HWND>(uiParam), profile); FAILED(hr)) return hr;
    } else {
      return MAPI_E_LOGON_FAILED;
    }
  }
  return mapi::newSession(profile, session);
}

HRESULT MAPIAdminProfiles(ULONG flags, LPPROFADMIN* profAdmin) {
  if (!profAdmin) return MAPI_E_INVALID_PARAMETER;
  *profAdmin = nullptr;
  if (!initialized()) return MAPI_E_NOT_INITIALIZED;
  if (flags & ~ULONG(MAPI_UNICODE)) return MAPI_E_UNKNOWN_FLAGS;
  if (flags & MAPI_UNICODE) return MAPI_E_BAD_CHARWIDTH;
  return mapi::newProfAdmin(profAdmin);
}

void FreeProws(LPSRowSet rows) { mapi::freeRows(rows); }
ULONG MAPIFreeBuffer(LPVOID buffer) { return mapi::freeBuffer(buffer); }
SCODE MAPIAllocateBuffer(ULONG cb, LPVOID* buffer) { return mapi::allocateBuffer(cb, buffer); }
SCODE MAPIAllocateMore(ULONG cb, LPVOID object, LPVOID* buffer) { return mapi::allocateMore(cb, object, buffer); }

class AdviseSink final : public platform::com::SingleInterface<IMAPIAdviseSink> {
 public:
  AdviseSink(LPNOTIFCALLBACK callback, LPVOID context) : callback_(callback), context_(context) {}
  ULONG STDMETHODCALLTYPE OnNotify(ULONG count, LPNOTIFICATION notifications) override {
    return callback_ ? static_cast<ULONG>((*callback_)(context_, count, notifications)) : 0;
  }

 private:
  LPNOTIFCALLBACK callback_;
  LPVOID context_;
};

HRESULT HrAllocAdviseSink(LPNOTIFCALLBACK callback, LPVOID context, LPMAPIADVISESINK* sink) {
  if (!sink) return MAPI_E_INVALID_PARAMETER;
  *sink = nullptr;
  if (!callback) return MAPI_E_INVALID_PARAMETER;
  *sink = new AdviseSink(callback, context);
  return S_OK;
}

// Every row of the table from its beginning, with the columns and restriction given (when given),
// in one row set; MAPI_E_TABLE_TOO_BIG when maxRows is positive and the table has more rows.
HRESULT HrQueryAllRows(LPMAPITABLE table, LPSPropTagArray columns, LPSRestriction restriction,
                       LPSSortOrderSet sortOrder, LONG maxRows, LPSRowSet* rows) {
  if (!rows) return MAPI_E_INVALID_PARAMETER;
  *rows = nullptr;
  if (!table || maxRows < 0) return MAPI_E_INVALID_PARAMETER;
  if (columns)
    if (HRESULT hr = table->SetColumns(columns, TBL_BATCH); FAILED(hr)) return hr;
  if (restriction)
    if (HRESULT hr = table->Restrict(restriction, TBL_BATCH); FAILED(hr)) return hr;
  if (sortOrder)
    if (HRESULT hr = table->SortTable(sortOrder, TBL_BATCH); FAILED(hr)) return hr;
  if (HRESULT hr = table->SeekRow(BOOKMARK_BEGINNING, 0, nullptr); FAILED(hr)) return hr;
  ULONG count = 0;
  if (HRESULT hr = table->GetRowCount(0, &count); FAILED(hr)) return hr;
  if (maxRows > 0 && count > static_cast<ULONG>(maxRows)) return MAPI_E_TABLE_TOO_BIG;
  LPSRowSet all = nullptr;
  // One query for the rows counted, then more until the table gives none, so rows added
  // meanwhile are not lost.
  for (LONG batch = static_cast<LONG>(count ? count : 1);; batch = 1000) {
    LPSRowSet part = nullptr;
    if (HRESULT hr = table->QueryRows(batch, 0, &part); FAILED(hr)) {
      mapi::freeRows(all);
      return hr;
    }
    const ULONG got = part->cRows;
    if (!all) {
      all = part;
    } else if (got == 0) {
      mapi::freeBuffer(part);
    } else {
      const ULONG total = all->cRows + got;
      if (maxRows > 0 && total > static_cast<ULONG>(maxRows)) {
        mapi::freeRows(part);
        mapi::freeRows(all);
        return MAPI_E_TABLE_TOO_BIG;
      }
      LPVOID block = nullptr;
      if (SCODE sc = mapi::allocateBuffer(static_cast<ULONG>(CbNewSRowSet(total)), &block); sc != S_OK) {
        mapi::freeRows(part);
        mapi::freeRows(all);
        return sc;
      }
      auto* joined = static_cast<LPSRowSet>(block);
      joined->cRows = total;
      std::memcpy(joined->aRow, all->aRow, all->cRows * sizeof(SRow));
      std::memcpy(joined->aRow + all->cRows, part->aRow, got * sizeof(SRow));
      // The rows' values now belong to the joined set; only the old sets' own blocks go.
      mapi::freeBuffer(all);
      mapi::freeBuffer(part);
      all = joined;
    }
    if (got == 0) break;
  }
  *rows = all;
  return S_OK;
}

// One property of an object in its own buffer; the property's error (MAPI_E_NOT_FOUND) when the
// object does not have it, with nothing left allocated.
HRESULT HrGetOneProp(LPMAPIPROP object, ULONG tag, LPSPropValue* value) {
  if (!value) return MAPI_E_INVALID_PARAMETER;
  *value = nullptr;
  if (!object) return MAPI_E_INVALID_PARAMETER;
  SizedSPropTagArray(1, tags) = {1, {tag}};
  ULONG count = 0;
  LPSPropValue values = nullptr;
  HRESULT hr = object->GetProps(reinterpret_cast<LPSPropTagArray>(&tags), 0, &count, &values);
  if (FAILED(hr)) return hr;
  if (count != 1 || !values) {
    mapi::freeBuffer(values);
    return MAPI_E_CALL_FAILED;
  }
  if (PROP_TYPE(values->ulPropTag) == PT_ERROR) {
    hr = values->Value.err;
    mapi::freeBuffer(values);
    return hr;
  }
  *value = values;
  return S_OK;
}

HRESULT fromStreamError(HRESULT hr) {
  if (hr == STG_E_FILENOTFOUND || hr == STG_E_PATHNOTFOUND) return MAPI_E_NOT_FOUND;
  if (hr == STG_E_ACCESSDENIED || hr == STG_E_SHAREVIOLATION) return MAPI_E_NO_ACCESS;
  return hr;
}

// A stream on the file named by fileName (8-bit); with SOF_UNIQUEFILENAME fileName is a folder
// and the stream is on a new temporary file there, named with prefix, deleted on release.
HRESULT OpenStreamOnFile(LPALLOCATEBUFFER allocate, LPFREEBUFFER free, ULONG flags, LPSTR fileName, LPSTR prefix,
                         LPSTREAM* stream) {
  if (!stream) return MAPI_E_INVALID_PARAMETER;
  *stream = nullptr;
  if (!allocate || !free) return MAPI_E_INVALID_PARAMETER;
  std::u16string path = fileName ? text::ansiToWide(fileName) : std::u16string();
  ULONG mode = flags & ~ULONG(SOF_UNIQUEFILENAME);
  if (flags & SOF_UNIQUEFILENAME) {
    if (path.empty()) {
      WCHAR temp[MAX_PATH];
      if (!GetTempPathW(MAX_PATH, temp)) return MAPI_E_CALL_FAILED;
      path = temp;
    }
    WCHAR unique[MAX_PATH];
    const std::u16string pre = prefix ? text::ansiToWide(prefix) : u"SOF";
    if (!GetTempFileNameW(path.c_str(), pre.c_str(), 0, unique)) return MAPI_E_CALL_FAILED;
    path = unique;
    mode |= STGM_CREATE | STGM_DELETEONRELEASE;
    if ((mode & 3) == STGM_READ) mode |= STGM_READWRITE;
  } else if (path.empty()) {
    return MAPI_E_INVALID_PARAMETER;
  }
  return fromStreamError(platform::com::openFileStream(path, mode, stream));
}

}  // namespace

KIPO_EXPORT_TABLE(nullptr,
                  KIPO_EXPORT(kMapiInitializeName, 0, MAPIInitialize),
                  KIPO_EXPORT(kMapiUninitializeName, 0, MAPIUninitialize),
                  KIPO_EXPORT(kMapiLogonExName, 0, MAPILogonEx),
                  KIPO_EXPORT(kMapiAdminProfilesName, 0, MAPIAdminProfiles),
                  KIPO_EXPORT(kFreeProwsName, 0, FreeProws),
                  KIPO_EXPORT(kMapiFreeBufferName, 0, MAPIFreeBuffer),
                  KIPO_EXPORT(kMapiAllocateBufferName, 0, MAPIAllocateBuffer),
                  KIPO_EXPORT(kMapiAllocateMoreName, 0, MAPIAllocateMore),
                  KIPO_EXPORT(kHrAllocAdviseSinkName, 0, HrAllocAdviseSink),
                  KIPO_EXPORT(kHrQueryAllRowsName, 0, HrQueryAllRows),
                  KIPO_EXPORT(kHrGetOnePropName, 0, HrGetOneProp),
                  KIPO_EXPORT(kOpenStreamOnFileName, 0, OpenStreamOnFile));

// What the MAPI layer's source files share: the failure convention every function follows, the
// loader the functions call through, MAPI's 8-bit names, and rows freed with MAPI's FreeProws.
#pragma once

#include <string>
#include <vector>

#include "outlook/mapi_loader.h"
#include "platform/afx/cstring.h"
#include "platform/modules/mapi32/mapidefs.h"

namespace mapilayer {

extern CMAPILoader* g_loaderReference;

// Thrown when the layer has no usable loader: the owner already knows (it discarded the loader),
// so the function only fails, without a message.
struct NoLoader {};

// Called in a catch-all handler: shows the program's own exceptions, logs the class library's and
// the structured ones, and logs "{name}: Caught undefined exception." for anything else.
void reportCaught(const char16_t* name);

template <class R, class F>
R guarded(const char16_t* name, R failure, F&& body) {
  try {
    return body();
  } catch (...) {
    reportCaught(name);
  }
  return failure;
}

// The loader the layer was initialised with; throws NoLoader without a usable one, so a call is a
// failure of its function, never a jump through an empty pointer.
CMAPILoader& loader();

std::string ansi(const CString& text);
// A profile name as MAPI receives it: at most 255 characters.
std::string profileAnsi(const CString& name);

inline bool isString8(const SPropValue& v, ULONG tag) { return v.ulPropTag == tag && v.Value.lpszA; }

// A MAPI buffer freed with MAPIFreeBuffer.
template <class T>
class Buffer {
 public:
  Buffer() : free_(loader().MAPIFreeBuffer) {}
  ~Buffer() {
    if (p_) free_(p_);
  }
  Buffer(const Buffer&) = delete;
  Buffer& operator=(const Buffer&) = delete;
  T** put() { return &p_; }
  T* get() const { return p_; }
  T* operator->() const { return p_; }

 private:
  MAPIFreeBufferFn free_;
  T* p_ = nullptr;
};

inline LPENTRYID entryPointer(const std::vector<BYTE>& id) {
  return reinterpret_cast<LPENTRYID>(const_cast<BYTE*>(id.data()));
}

class Rows {
 public:
  Rows() : free_(loader().FreeProws) {}
  ~Rows() {
    if (rows_) free_(rows_);
  }
  Rows(const Rows&) = delete;
  Rows& operator=(const Rows&) = delete;
  LPSRowSet* put() { return &rows_; }
  LPSRowSet get() const { return rows_; }
  ULONG count() const { return rows_ ? rows_->cRows : 0; }
  const SPropValue& at(ULONG row, ULONG column) const { return rows_->aRow[row].lpProps[column]; }

 private:
  FreeProwsFn free_;
  LPSRowSet rows_ = nullptr;
};

}  // namespace mapilayer

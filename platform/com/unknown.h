// The root interface every object implements, the class factory, and Ptr<I>, a small owning
// interface pointer for the stand-in's own servers and for code that wants release on scope exit.
#pragma once

#include <atomic>
#include <utility>

#include "platform/com/guid.h"

#define STDMETHOD(method) virtual HRESULT STDMETHODCALLTYPE method
#define STDMETHOD_(type, method) virtual type STDMETHODCALLTYPE method
#define STDMETHODIMP HRESULT STDMETHODCALLTYPE
#define STDMETHODIMP_(type) type STDMETHODCALLTYPE
#define PURE = 0

// Interfaces are abstract classes with no data and no virtual destructor, so an object is only
// ever destroyed by its own Release.
struct IUnknown {
  virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) = 0;
  virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
  virtual ULONG STDMETHODCALLTYPE Release() = 0;

 protected:
  ~IUnknown() = default;
};
using LPUNKNOWN = IUnknown*;

struct IClassFactory : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** object) = 0;
  virtual HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) = 0;

 protected:
  ~IClassFactory() = default;
};
using LPCLASSFACTORY = IClassFactory*;

KIPO_COM_INTERFACE(IUnknown, IID_IUnknown)
KIPO_COM_INTERFACE(IClassFactory, IID_IClassFactory)

namespace platform::com {

// Owns one reference. put() hands out the slot for an out-parameter after releasing what was
// held; attach() takes over a reference without AddRef, detach() gives it up.
template <class I>
class Ptr {
 public:
  Ptr() = default;
  Ptr(std::nullptr_t) {}
  explicit Ptr(I* p) : p_(p) {
    if (p_) p_->AddRef();
  }
  Ptr(const Ptr& other) : Ptr(other.p_) {}
  Ptr(Ptr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  Ptr& operator=(Ptr other) noexcept {
    std::swap(p_, other.p_);
    return *this;
  }
  ~Ptr() { reset(); }

  void reset() {
    if (I* p = std::exchange(p_, nullptr)) p->Release();
  }
  void attach(I* p) {
    reset();
    p_ = p;
  }
  I* detach() { return std::exchange(p_, nullptr); }
  I** put() {
    reset();
    return &p_;
  }
  void** putVoid() { return reinterpret_cast<void**>(put()); }

  I* get() const { return p_; }
  I* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }

  // QueryInterface for J into out (released first).
  template <class J>
  HRESULT as(Ptr<J>& out) const {
    out.reset();
    if (!p_) return E_POINTER;
    return p_->QueryInterface(iidOf<J>(), out.putVoid());
  }

 private:
  I* p_ = nullptr;
};

// The IUnknown of a stand-in's own object that exposes the one interface I: QueryInterface
// answers IUnknown and I, and the last Release deletes the object.
template <class I>
class SingleInterface : public I {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    if (riid == IID_IUnknown || riid == iidOf<I>()) {
      *object = static_cast<I*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }

 protected:
  virtual ~SingleInterface() = default;

 private:
  std::atomic<ULONG> refs_{1};
};

}  // namespace platform::com

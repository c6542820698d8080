// The root of the framework's class tree: CObject with run-time class information, dynamic
// creation by class name and the hook for archive serialization, plus the diagnostic macros
// (ASSERT, VERIFY, TRACE) the product's code is sprinkled with.
//
// Every class that says IMPLEMENT_DYNAMIC/DYNCREATE/SERIAL registers its CRuntimeClass in one
// process-wide table (the platform is one shared library), so CRuntimeClass::FromName finds
// classes of every module, which is what reading an archive by class name needs.
#pragma once

#include <cstdlib>

#include "platform/base/codepage.h"
#include "platform/base/format.h"
#include "platform/base/types.h"

class CObject;
class CArchive;
class CString;

#ifndef AFXAPI
#define AFXAPI
#endif
#ifndef PASCAL
#define PASCAL
#endif
#ifndef AFX_CDECL
#define AFX_CDECL
#endif

// Marks a schema number as "the reader accepts every schema and asks GetObjectSchema".
#define VERSIONABLE_SCHEMA (0x80000000)

struct CRuntimeClass {
  // Class names are narrow, as written into archives.
  LPCSTR m_lpszClassName;
  int m_nObjectSize;
  UINT m_wSchema;  // 0xFFFF for classes that cannot be serialized
  CObject* (*m_pfnCreateObject)();
  CRuntimeClass* m_pBaseClass;

  // A new object of this class, or null when the class has no dynamic creation.
  CObject* CreateObject();
  BOOL IsDerivedFrom(const CRuntimeClass* pBaseClass) const;

  // The registered class of that exact (case-sensitive) name, or null.
  static CRuntimeClass* PASCAL FromName(LPCSTR lpszClassName);
  static CRuntimeClass* PASCAL FromName(LPCWSTR lpszClassName);
  static CObject* PASCAL CreateObject(LPCSTR lpszClassName);
  static CObject* PASCAL CreateObject(LPCWSTR lpszClassName);
};

namespace platform::afx {

// Adds a class to the process-wide table; called by the IMPLEMENT_* macros at static
// initialization. Registering the same class twice is harmless.
struct ClassRegistration {
  explicit ClassRegistration(CRuntimeClass* pClass);
};

// Whether TRACE output is wanted: the KIPO_TRACE environment variable is set and not "0".
bool traceEnabled();
// Writes UTF-16 text to standard error as UTF-8.
void traceWrite(std::u16string_view text);
// Reports a failed ASSERT (file and line) and ends the process, as a debug build stops there.
[[noreturn]] void assertFailed(const char* expression, const char* file, int line);

template <class... A>
void trace(const char16_t* format, const A&... args) {
  if (traceEnabled()) traceWrite(platform::fmt::format(format ? format : u"", args...));
}
// A narrow format follows the narrow rules (%s narrow text, %S wide), as the narrow TRACE does.
template <class... A>
void trace(const char* format, const A&... args) {
  if (traceEnabled()) traceWrite(platform::text::ansiToWide(platform::fmt::formatA(format ? format : "", args...)));
}

}  // namespace platform::afx

// Diagnostic output of the framework's Dump: a stream that goes where TRACE goes.
class CDumpContext {
 public:
  CDumpContext& operator<<(LPCWSTR text);
  CDumpContext& operator<<(LPCSTR text);
  CDumpContext& operator<<(int value);
  CDumpContext& operator<<(UINT value);
  CDumpContext& operator<<(const void* pointer);
};
extern CDumpContext afxDump;

class CObject {
 public:
  virtual CRuntimeClass* GetRuntimeClass() const;
  virtual ~CObject() = default;
  virtual void Serialize(CArchive& ar);
  virtual void AssertValid() const;
  virtual void Dump(CDumpContext& dc) const;

  BOOL IsKindOf(const CRuntimeClass* pClass) const;
  BOOL IsSerializable() const;

  static CRuntimeClass classCObject;

 protected:
  CObject() = default;
  CObject(const CObject&) = default;
  CObject& operator=(const CObject&) = default;
};

#define RUNTIME_CLASS(class_name) (&class_name::class##class_name)

#define DECLARE_DYNAMIC(class_name)            \
 public:                                       \
  static CRuntimeClass class##class_name;      \
  CRuntimeClass* GetRuntimeClass() const override;

#define DECLARE_DYNCREATE(class_name) \
  DECLARE_DYNAMIC(class_name)         \
  static CObject* PASCAL CreateObject();

#define DECLARE_SERIAL(class_name)  \
  DECLARE_DYNCREATE(class_name)     \
  friend CArchive& AFXAPI operator>>(CArchive& ar, class_name*& pOb);

// The CRuntimeClass is constant-initialized, so RUNTIME_CLASS works in other static initializers.
#define IMPLEMENT_RUNTIMECLASS(class_name, base_class_name, wSchema, pfnNew)                          \
  CRuntimeClass class_name::class##class_name = {#class_name, static_cast<int>(sizeof(class_name)),  \
                                                 static_cast<UINT>(wSchema), pfnNew,                  \
                                                 RUNTIME_CLASS(base_class_name)};                     \
  static const ::platform::afx::ClassRegistration _init_##class_name(RUNTIME_CLASS(class_name));     \
  CRuntimeClass* class_name::GetRuntimeClass() const { return RUNTIME_CLASS(class_name); }

#define IMPLEMENT_DYNAMIC(class_name, base_class_name) \
  IMPLEMENT_RUNTIMECLASS(class_name, base_class_name, 0xFFFF, nullptr)

#define IMPLEMENT_DYNCREATE(class_name, base_class_name)                 \
  CObject* PASCAL class_name::CreateObject() { return new class_name; } \
  IMPLEMENT_RUNTIMECLASS(class_name, base_class_name, 0xFFFF, class_name::CreateObject)

#define IMPLEMENT_SERIAL(class_name, base_class_name, wSchema)                               \
  CObject* PASCAL class_name::CreateObject() { return new class_name; }                     \
  IMPLEMENT_RUNTIMECLASS(class_name, base_class_name, wSchema, class_name::CreateObject)    \
  CArchive& AFXAPI operator>>(CArchive& ar, class_name*& pOb) {                             \
    pOb = static_cast<class_name*>(::platform::afx::readObject(ar, RUNTIME_CLASS(class_name))); \
    return ar;                                                                               \
  }

namespace platform::afx {
// CArchive::ReadObject, reachable from IMPLEMENT_SERIAL without including archive.h here.
CObject* readObject(CArchive& ar, const CRuntimeClass* pClass);
// The object itself when it is of that class (or derived), else null.
CObject* dynamicDownCast(const CRuntimeClass* pClass, CObject* pObject);
}  // namespace platform::afx

#define DYNAMIC_DOWNCAST(class_name, object) \
  (static_cast<class_name*>(::platform::afx::dynamicDownCast(RUNTIME_CLASS(class_name), object)))
#define STATIC_DOWNCAST(class_name, object) \
  (ASSERT((object) == nullptr || (object)->IsKindOf(RUNTIME_CLASS(class_name))), static_cast<class_name*>(object))

// Debug checks: active in builds without NDEBUG (a failure reports and stops), compiled away
// otherwise without evaluating the expression, as in the product's release build. VERIFY always
// evaluates its expression.
#ifdef NDEBUG
#define ASSERT(f) (static_cast<void>(sizeof(!(f))))
#define ASSERT_VALID(pOb) (static_cast<void>(sizeof(pOb)))
#define VERIFY(f) (static_cast<void>(f))
#else
#define ASSERT(f) ((f) ? static_cast<void>(0) : ::platform::afx::assertFailed(#f, __FILE__, __LINE__))
#define ASSERT_VALID(pOb) (ASSERT((pOb) != nullptr), (pOb)->AssertValid())
#define VERIFY(f) ASSERT(f)
#endif
#define ASSERT_KINDOF(class_name, object) ASSERT((object)->IsKindOf(RUNTIME_CLASS(class_name)))

#define TRACE(...) ::platform::afx::trace(__VA_ARGS__)
#define TRACE0(f) TRACE(f)
#define TRACE1(f, a) TRACE(f, a)
#define TRACE2(f, a, b) TRACE(f, a, b)
#define TRACE3(f, a, b, c) TRACE(f, a, b, c)

// CObject, the process-wide table of run-time classes and the diagnostic output behind TRACE.
#include "platform/afx/object.h"

#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "platform/base/text.h"

namespace {

struct ClassTable {
  std::mutex mutex;
  std::vector<CRuntimeClass*> classes;
};

ClassTable& classTable() {
  static ClassTable* table = new ClassTable;  // never destroyed: classes outlive static teardown
  return *table;
}

}  // namespace

CRuntimeClass CObject::classCObject = {"CObject", static_cast<int>(sizeof(CObject)), 0xFFFF, nullptr, nullptr};
static const platform::afx::ClassRegistration registerCObject(RUNTIME_CLASS(CObject));

CRuntimeClass* CObject::GetRuntimeClass() const { return RUNTIME_CLASS(CObject); }
void CObject::Serialize(CArchive&) {}
void CObject::AssertValid() const {}
void CObject::Dump(CDumpContext& dc) const {
  dc << "a " << GetRuntimeClass()->m_lpszClassName << " at " << static_cast<const void*>(this) << "\n";
}

BOOL CObject::IsKindOf(const CRuntimeClass* pClass) const { return GetRuntimeClass()->IsDerivedFrom(pClass); }

BOOL CObject::IsSerializable() const { return GetRuntimeClass()->m_wSchema != 0xFFFF; }

CObject* CRuntimeClass::CreateObject() { return m_pfnCreateObject ? m_pfnCreateObject() : nullptr; }

BOOL CRuntimeClass::IsDerivedFrom(const CRuntimeClass* pBaseClass) const {
  for (const CRuntimeClass* c = this; c; c = c->m_pBaseClass)
    if (c == pBaseClass) return TRUE;
  return FALSE;
}

CRuntimeClass* PASCAL CRuntimeClass::FromName(LPCSTR lpszClassName) {
  if (!lpszClassName) return nullptr;
  ClassTable& table = classTable();
  std::lock_guard lock(table.mutex);
  for (CRuntimeClass* c : table.classes)
    if (std::strcmp(c->m_lpszClassName, lpszClassName) == 0) return c;
  return nullptr;
}

CRuntimeClass* PASCAL CRuntimeClass::FromName(LPCWSTR lpszClassName) {
  if (!lpszClassName) return nullptr;
  return FromName(platform::text::toUtf8(platform::text::view(lpszClassName)).c_str());
}

CObject* PASCAL CRuntimeClass::CreateObject(LPCSTR lpszClassName) {
  CRuntimeClass* c = FromName(lpszClassName);
  return c ? c->CreateObject() : nullptr;
}

CObject* PASCAL CRuntimeClass::CreateObject(LPCWSTR lpszClassName) {
  CRuntimeClass* c = FromName(lpszClassName);
  return c ? c->CreateObject() : nullptr;
}

namespace platform::afx {

ClassRegistration::ClassRegistration(CRuntimeClass* pClass) {
  ClassTable& table = classTable();
  std::lock_guard lock(table.mutex);
  for (CRuntimeClass* c : table.classes)
    if (c == pClass) return;
  table.classes.push_back(pClass);
}

CObject* dynamicDownCast(const CRuntimeClass* pClass, CObject* pObject) {
  return pObject && pObject->IsKindOf(pClass) ? pObject : nullptr;
}

bool traceEnabled() {
  static const bool enabled = [] {
    const char* v = std::getenv("KIPO_TRACE");
    return v && *v && std::strcmp(v, "0") != 0;
  }();
  return enabled;
}

void traceWrite(std::u16string_view text) {
  std::string utf8 = text::toUtf8(text);
  std::fwrite(utf8.data(), 1, utf8.size(), stderr);
}

void assertFailed(const char* expression, const char* file, int line) {
  std::fprintf(stderr, "ASSERT failed: %s (%s:%d)\n", expression, file, line);
  std::abort();
}

}  // namespace platform::afx

CDumpContext afxDump;

CDumpContext& CDumpContext::operator<<(LPCWSTR text) {
  if (platform::afx::traceEnabled()) platform::afx::traceWrite(platform::text::view(text));
  return *this;
}
CDumpContext& CDumpContext::operator<<(LPCSTR text) {
  if (platform::afx::traceEnabled() && text) std::fputs(text, stderr);
  return *this;
}
CDumpContext& CDumpContext::operator<<(int value) {
  if (platform::afx::traceEnabled()) std::fprintf(stderr, "%d", value);
  return *this;
}
CDumpContext& CDumpContext::operator<<(UINT value) {
  if (platform::afx::traceEnabled()) std::fprintf(stderr, "%u", value);
  return *this;
}
CDumpContext& CDumpContext::operator<<(const void* pointer) {
  if (platform::afx::traceEnabled()) std::fprintf(stderr, "%p", pointer);
  return *this;
}

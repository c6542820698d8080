// Folder paths, container classes and the comparison of folder ids (sync_folder.h).
#include "outlook/sync_folder.h"

#include <vector>

namespace {

constexpr WCHAR kFolderPathSeparator = u'\n';

struct KindClass {
  const char16_t* kind;
  const char16_t* containerClass;
};
constexpr KindClass kKindClasses[] = {
    {u"Calendar", u"IPF.Appointment"}, {u"Contacts", u"IPF.Contact"}, {u"Tasks", u"IPF.Task"},
    {u"Notes", u"IPF.StickyNote"},     {u"Journal", u"IPF.Journal"},
};
constexpr const char16_t* kDefaultContainerClass = u"IPF.Note";

}  // namespace

CString joinFolderPath(const CString& parentPath, const CString& name) {
  CString path(parentPath);
  path += kFolderPathSeparator;
  path += name;
  return path;
}

CString lastFolderName(const CString& path) {
  const int at = path.ReverseFind(kFolderPathSeparator);
  return at < 0 ? path : path.Mid(at + 1);
}

CString containerClassForFolderKind(const CString& kind) {
  for (const KindClass& entry : kKindClasses)
    if (kind.Compare(entry.kind) == 0) return CString(entry.containerClass);
  return CString(kDefaultContainerClass);
}

bool sameFolderIds(const CString& a, const CString& b, IMsgStore* store) {
  if (!store || a.IsEmpty() || b.IsEmpty()) return false;
  std::vector<BYTE> first;
  std::vector<BYTE> second;
  if (!bytesFromHex(a, first) || !bytesFromHex(b, second)) return false;
  ULONG equal = 0;
  const HRESULT hr = store->CompareEntryIDs(static_cast<ULONG>(first.size()), reinterpret_cast<LPENTRYID>(first.data()),
                                            static_cast<ULONG>(second.size()),
                                            reinterpret_cast<LPENTRYID>(second.data()), 0, &equal);
  return SUCCEEDED(hr) && equal != 0;
}

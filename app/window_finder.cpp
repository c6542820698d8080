// The window search of CWindowFinder; see window_finder.h.
#include "app/window_finder.h"

#include "platform/win32/window.h"

namespace {

constexpr int kNameLimit = 1024;

struct Search {
  const CWindowFinder* finder;
  const CString* className;
  const CString* title;
  std::vector<HWND>* found;
};

BOOL CALLBACK visitWindow(HWND w, LPARAM param) {
  auto& s = *reinterpret_cast<Search*>(param);
  WCHAR buffer[kNameLimit + 1] = {};
  if (!s.className->IsEmpty()) {
    GetClassNameW(w, buffer, kNameLimit);
    if (*s.className != buffer) return TRUE;
  }
  if (!s.title->IsEmpty()) {
    buffer[0] = 0;
    GetWindowTextW(w, buffer, kNameLimit);
    CString title(buffer);
    if (s.finder->m_partialTitle ? title.Find(s.title->GetString()) < 0 : title != *s.title) return TRUE;
  }
  s.found->push_back(w);
  return TRUE;
}

}  // namespace

bool CWindowFinder::findWindows(const CString& className, const CString& title, std::vector<HWND>& windows) const {
  windows.clear();
  Search s{this, &className, &title, &windows};
  EnumWindows(visitWindow, reinterpret_cast<LPARAM>(&s));
  return !windows.empty();
}

// CFileDialog over the common dialog calls; see filedialog.h.
#include "platform/afx/filedialog.h"

#include <cstring>

#include "platform/afx/app.h"
#include "platform/base/text.h"

CFileDialog::CFileDialog(BOOL bOpenFileDialog, LPCWSTR lpszDefExt, LPCWSTR lpszFileName, DWORD dwFlags,
                         LPCWSTR lpszFilter, CWnd* pParentWnd)
    : m_bOpenFileDialog(bOpenFileDialog) {
  m_pParentWnd = pParentWnd;
  m_ofn.lStructSize = sizeof m_ofn;
  m_ofn.lpstrFile = m_szFileName;
  m_ofn.nMaxFile = MAX_PATH;
  m_ofn.lpstrFileTitle = m_szFileTitle;
  m_ofn.nMaxFileTitle = MAX_PATH;
  m_ofn.Flags = dwFlags | OFN_EXPLORER;
  if (lpszDefExt) {
    m_defExt = platform::text::view(lpszDefExt);
    m_ofn.lpstrDefExt = m_defExt.c_str();
  }
  if (lpszFileName) {
    const auto name = platform::text::view(lpszFileName);
    const std::size_t n = std::min<std::size_t>(name.size(), MAX_PATH - 1);
    std::memcpy(m_szFileName, name.data(), n * 2);
    m_szFileName[n] = 0;
  }
  if (lpszFilter) {
    // "A|*.a|B|*.b||": every "|" ends a text, as the NULs of the dialog's form do.
    m_filter = platform::text::view(lpszFilter);
    for (char16_t& c : m_filter)
      if (c == u'|') c = u'\0';
    m_filter.push_back(u'\0');
    m_ofn.lpstrFilter = m_filter.c_str();
  }
}

INT_PTR CFileDialog::DoModal() {
  CWnd* owner = m_pParentWnd ? m_pParentWnd : AfxGetMainWnd();
  m_ofn.hwndOwner = owner ? owner->GetSafeHwnd() : nullptr;
  m_paths.clear();
  const BOOL ok = m_bOpenFileDialog ? GetOpenFileNameW(&m_ofn) : GetSaveFileNameW(&m_ofn);
  if (!ok) return IDCANCEL;
  readChoice();
  return IDOK;
}

void CFileDialog::readChoice() {
  const WCHAR* p = m_ofn.lpstrFile;
  std::u16string first(platform::text::view(p));
  const bool several = (m_ofn.Flags & OFN_ALLOWMULTISELECT) && m_ofn.nMaxFile > first.size() + 1 &&
                       p[first.size() + 1] != 0;
  if (!several) {
    if (!first.empty()) m_paths.emplace_back(first.c_str());
    return;
  }
  std::u16string folder = first;
  if (!folder.empty() && folder.back() != u'\\') folder += u'\\';
  for (const WCHAR* name = p + first.size() + 1; *name; name += platform::text::length(name) + 1)
    m_paths.emplace_back((folder + std::u16string(platform::text::view(name))).c_str());
}

POSITION CFileDialog::GetStartPosition() const {
  return m_paths.empty() ? nullptr : reinterpret_cast<POSITION>(static_cast<std::uintptr_t>(1));
}

CString CFileDialog::GetNextPathName(POSITION& pos) const {
  const auto index = reinterpret_cast<std::uintptr_t>(pos) - 1;
  if (!pos || index >= m_paths.size()) {
    pos = nullptr;
    return CString();
  }
  pos = index + 1 < m_paths.size() ? reinterpret_cast<POSITION>(index + 2) : nullptr;
  return m_paths[index];
}

CString CFileDialog::GetPathName() const { return m_paths.empty() ? CString() : m_paths.front(); }

CString CFileDialog::GetFileName() const {
  CString path = GetPathName();
  const int cut = path.ReverseFind(u'\\');
  return cut < 0 ? path : path.Mid(cut + 1);
}

CString CFileDialog::GetFileExt() const {
  CString name = GetFileName();
  const int dot = name.ReverseFind(u'.');
  return dot < 0 ? CString() : name.Mid(dot + 1);
}

CString CFileDialog::GetFileTitle() const {
  CString name = GetFileName();
  const int dot = name.ReverseFind(u'.');
  return dot < 0 ? name : name.Left(dot);
}

// CShortcut over the shell-link object; see shortcut.h.
#include "app/shortcut.h"

#include "app/file_util.h"
#include "platform/com/runtime.h"

namespace {

constexpr DWORD kResolveFlags = SLR_NO_UI | SLR_NOUPDATE | SLR_NOSEARCH | SLR_NOTRACK | SLR_NOLINKINFO;  // 0x79
static_assert(kResolveFlags == 0x79);
constexpr const char16_t* kProgramExtensions[] = {u".exe", u".bat", u".com"};

}  // namespace

CShortcut::CShortcut(const CString& path) : m_path(path) {
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                              reinterpret_cast<void**>(&m_link)))) {
    m_link = nullptr;
    return;
  }
  if (FAILED(m_link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&m_persistFile))))
    m_persistFile = nullptr;
}

CShortcut::~CShortcut() {
  if (m_persistFile) m_persistFile->Release();
  if (m_link) m_link->Release();
}

bool CShortcut::load() {
  if (m_loaded) return true;
  if (!m_link || !m_persistFile) return false;
  if (FAILED(m_persistFile->Load(m_path.GetString(), STGM_READ))) return false;
  m_loaded = true;
  return true;
}

CString CShortcut::getTargetPath() {
  if (!m_targetPath.IsEmpty()) return m_targetPath;
  if (!load()) return CString();
  m_link->Resolve(nullptr, kResolveFlags);
  WCHAR buffer[MAX_PATH] = {};
  if (SUCCEEDED(m_link->GetPath(buffer, MAX_PATH, nullptr, SLGP_UNCPRIORITY))) m_targetPath = buffer;
  return m_targetPath;
}

int CShortcut::getTargetType() {
  CString target = getTargetPath();
  CString lower = target;
  lower.MakeLower();
  for (const char16_t* ext : kProgramExtensions) {
    const int n = static_cast<int>(std::char_traits<char16_t>::length(ext));
    if (lower.GetLength() >= n && lower.Right(n) == ext) return Program;
  }
  if (!target.IsEmpty() && directoryExists(target)) return ExistingFolder;
  if (fileExists(target)) return ExistingFile;
  return Missing;
}

bool CShortcut::save() {
  if (FAILED(m_persistFile->Save(m_path.GetString(), TRUE))) return false;
  m_loaded = true;
  return true;
}

bool CShortcut::setTargetPath(const CString& target) {
  if (!m_link || !m_persistFile) return false;
  load();  // a new shortcut has no file yet
  if (FAILED(m_link->SetPath(target.GetString()))) return false;
  m_targetPath.Empty();
  return save();
}

bool CShortcut::setArguments(const CString& arguments) {
  if (!m_link || !m_persistFile) return false;
  load();
  if (FAILED(m_link->SetArguments(arguments.GetString()))) return false;
  return save();
}

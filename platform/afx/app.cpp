// CWinThread's message loop and threads, CWinApp (profile, command line, templates, resources),
// CCommandLineInfo, the resource chain behind CString::LoadString, and AfxWinMain.
#include "platform/afx/app.h"

#include <atomic>

#include "platform/afx/doc.h"
#include "platform/afx/exception.h"
#include "platform/afx/frame.h"
#include "platform/base/text.h"
#include "platform/host/host.h"
#include "platform/win32/cursor.h"
#include "platform/win32/error.h"
#include "platform/win32/gdi.h"
#include "platform/win32/handle.h"
#include "platform/win32/module.h"
#include "platform/win32/process.h"
#include "platform/win32/resource.h"

IMPLEMENT_DYNAMIC(CWinThread, CCmdTarget)
IMPLEMENT_DYNAMIC(CWinApp, CWinThread)

namespace {

// The framework's string ids.
constexpr UINT kIdsAppTitle = 0xE000;  // the application's title, when the program has one
constexpr UINT kIdleUpdateCmdUi = 0x0363;

std::atomic<CWinApp*> g_app{nullptr};
std::atomic<HINSTANCE> g_resourceHandle{nullptr};
thread_local CWinThread* t_thread = nullptr;

// The modules of the resource chain, in search order, without repeats.
std::vector<HINSTANCE> resourceChain() {
  std::vector<HINSTANCE> chain;
  if (HINSTANCE r = g_resourceHandle.load()) chain.push_back(r);
  HINSTANCE program = AfxGetInstanceHandle();
  if (chain.empty() || chain.front() != program) chain.push_back(program);
  return chain;
}

bool loadChainString(UINT id, std::u16string& out) {
  for (HINSTANCE module : resourceChain()) {
    LPCWSTR text = nullptr;
    int n = LoadStringW(module, id, reinterpret_cast<LPWSTR>(&text), 0);
    if (n > 0 && text) {
      out.assign(text, static_cast<std::size_t>(n));
      return true;
    }
  }
  return false;
}

// CString::LoadString goes through the resource chain from the start.
const bool g_loaderInstalled = [] {
  platform::afx::setStringLoader(&loadChainString);
  return true;
}();

CString profileKeyPath(const CWinApp& app) {
  CString path(u"Software\\");
  path += app.m_pszRegistryKey;
  path += u"\\";
  path += app.m_pszAppName ? app.m_pszAppName : u"";
  return path;
}

}  // namespace

// ---- CWinThread ----

CWinThread::CWinThread() = default;

CWinThread::CWinThread(AFX_THREADPROC pfnThreadProc, LPVOID pParam)
    : m_pfnThreadProc(pfnThreadProc), m_pThreadParams(pParam) {}

CWinThread::~CWinThread() {
  if (m_hThread) CloseHandle(m_hThread);
  if (t_thread == this) t_thread = nullptr;
}

DWORD CWinThread::threadEntry(LPVOID param) {
  auto* thread = static_cast<CWinThread*>(param);
  t_thread = thread;
  DWORD code;
  if (thread->m_pfnThreadProc) {
    code = thread->m_pfnThreadProc(thread->m_pThreadParams);
  } else if (thread->InitInstance()) {
    code = static_cast<DWORD>(thread->Run());
  } else {
    code = static_cast<DWORD>(thread->ExitInstance());
  }
  CWnd::DeleteTempMap();
  t_thread = nullptr;
  if (thread->m_bAutoDelete) delete thread;
  return code;
}

BOOL CWinThread::CreateThread(DWORD dwCreateFlags, UINT nStackSize, LPSECURITY_ATTRIBUTES lpSecurityAttrs) {
  if (m_hThread) return FALSE;
  // Started suspended so that m_hThread is set before the thread can delete this object.
  DWORD id = 0;
  HANDLE h = ::CreateThread(lpSecurityAttrs, nStackSize, &CWinThread::threadEntry, this,
                            dwCreateFlags | CREATE_SUSPENDED, &id);
  if (!h) return FALSE;
  m_hThread = h;
  m_nThreadID = id;
  if (!(dwCreateFlags & CREATE_SUSPENDED)) ::ResumeThread(h);
  return TRUE;
}

DWORD CWinThread::ResumeThread() { return ::ResumeThread(m_hThread); }

BOOL CWinThread::PostThreadMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  return ::PostThreadMessageW(m_nThreadID, message, wParam, lParam);
}

BOOL CWinThread::InitInstance() { return FALSE; }

int CWinThread::Run() {
  BOOL idle = TRUE;
  LONG idleCount = 0;
  for (;;) {
    while (idle && !PeekMessageW(&m_msgCur, nullptr, 0, 0, PM_NOREMOVE)) {
      if (!OnIdle(idleCount++)) idle = FALSE;
    }
    do {
      if (!PumpMessage()) return ExitInstance();
      if (IsIdleMessage(&m_msgCur)) {
        idle = TRUE;
        idleCount = 0;
      }
    } while (PeekMessageW(&m_msgCur, nullptr, 0, 0, PM_NOREMOVE));
  }
}

BOOL CWinThread::PumpMessage() {
  if (!GetMessageW(&m_msgCur, nullptr, 0, 0)) return FALSE;
  if (m_msgCur.message != WM_KICKIDLE && !PreTranslateMessage(&m_msgCur)) {
    TranslateMessage(&m_msgCur);
    DispatchMessageW(&m_msgCur);
  }
  return TRUE;
}

BOOL CWinThread::dispatchThreadMessage(MSG* pMsg) {
  const AFX_MSGMAP_ENTRY* e = platform::afx::findMessageEntry(GetMessageMap(), pMsg->message, 0, 0);
  if (!e) return FALSE;
  platform::afx::MsgCall call{pMsg->message, pMsg->wParam, pMsg->lParam, 0, 0, 0, nullptr};
  return DispatchEntry(e, call);
}

BOOL CWinThread::PreTranslateMessage(MSG* pMsg) {
  if (!pMsg->hwnd) return dispatchThreadMessage(pMsg);
  CWnd* mainWnd = GetMainWnd();
  HWND stop = mainWnd ? mainWnd->m_hWnd : nullptr;
  if (CWnd::WalkPreTranslateTree(stop, pMsg)) return TRUE;
  // A message of a window outside the main window (a modeless dialog) still reaches the main
  // window's translation (its accelerators).
  if (!mainWnd || !mainWnd->m_hWnd || !stop) return FALSE;
  for (HWND h = pMsg->hwnd; h; h = ::GetParent(h))
    if (h == stop) return FALSE;
  return mainWnd->PreTranslateMessage(pMsg);
}

BOOL CWinThread::OnIdle(LONG lCount) {
  if (lCount <= 0) {
    CWnd* mainWnd = GetMainWnd();
    if (mainWnd && mainWnd->m_hWnd && mainWnd->IsWindowVisible()) {
      mainWnd->SendMessageToDescendants(kIdleUpdateCmdUi, TRUE, 0, TRUE);
      mainWnd->SendMessage(kIdleUpdateCmdUi, TRUE, 0);
    }
  } else {
    CWnd::DeleteTempMap();
  }
  return lCount < 1;
}

BOOL CWinThread::IsIdleMessage(MSG* pMsg) {
  return pMsg->message != WM_PAINT && pMsg->message != WM_TIMER && pMsg->message != kIdleUpdateCmdUi &&
         pMsg->message != WM_KICKIDLE;
}

int CWinThread::ExitInstance() { return static_cast<int>(m_msgCur.wParam); }

LRESULT CWinThread::ProcessWndProcException(CException* e, const MSG* pMsg) {
  if (pMsg && pMsg->message == WM_CREATE) return -1;
  if (pMsg && pMsg->message == WM_PAINT) {
    ::ValidateRect(pMsg->hwnd, nullptr);
    return 0;
  }
  // A CUserException means the user has been told already.
  if (!e->IsKindOf(RUNTIME_CLASS(CUserException))) e->ReportError();
  return 0;
}

CWnd* CWinThread::GetMainWnd() {
  if (m_pActiveWnd) return m_pActiveWnd;
  return m_pMainWnd;
}

const AFX_MSGMAP* CWinThread::GetMessageMap() const { return GetThisMessageMap(); }
const AFX_MSGMAP* PASCAL CWinThread::GetThisMessageMap() {
  static const AFX_MSGMAP_ENTRY entries[] = {{0, 0, 0, 0, nullptr, nullptr}};
  static const AFX_MSGMAP map = {&CCmdTarget::GetThisMessageMap, &entries[0]};
  return &map;
}

// ---- CCommandLineInfo ----

void CCommandLineInfo::ParseParam(const WCHAR* pszParam, BOOL bFlag, BOOL bLast) {
  if (bFlag) ParseParamFlag(pszParam);
  else ParseParamNotFlag(pszParam);
  ParseLast(bLast);
}

void CCommandLineInfo::ParseParamFlag(const WCHAR* pszParam) {
  std::u16string_view p = platform::text::view(pszParam);
  using platform::text::equalNoCase;
  if (equalNoCase(p, u"pt")) m_nShellCommand = FilePrintTo;
  else if (equalNoCase(p, u"p")) m_nShellCommand = FilePrint;
  else if (equalNoCase(p, u"dde")) m_nShellCommand = FileDDE;
  else if (equalNoCase(p, u"Register") || equalNoCase(p, u"Regserver")) m_nShellCommand = AppRegister;
  else if (equalNoCase(p, u"Unregister") || equalNoCase(p, u"Unregserver")) m_nShellCommand = AppUnregister;
  else if (equalNoCase(p, u"Embedding")) m_bRunEmbedded = TRUE;
  else if (equalNoCase(p, u"Automation")) m_bRunAutomated = TRUE;
}

void CCommandLineInfo::ParseParamNotFlag(const WCHAR* pszParam) {
  if (m_strFileName.IsEmpty()) m_strFileName = pszParam;
  else if (m_nShellCommand == FilePrintTo && m_strPrinterName.IsEmpty()) m_strPrinterName = pszParam;
  else if (m_nShellCommand == FilePrintTo && m_strDriverName.IsEmpty()) m_strDriverName = pszParam;
  else if (m_nShellCommand == FilePrintTo && m_strPortName.IsEmpty()) m_strPortName = pszParam;
}

void CCommandLineInfo::ParseLast(BOOL bLast) {
  if (!bLast) return;
  if (m_nShellCommand == FileNew && !m_strFileName.IsEmpty()) m_nShellCommand = FileOpen;
  m_bShowSplash = !m_bRunEmbedded && !m_bRunAutomated;
}

// ---- CWinApp ----

CWinApp::CWinApp(LPCWSTR lpszAppName) {
  if (lpszAppName) m_pszAppName = keepString(std::u16string(platform::text::view(lpszAppName)));
  CWinApp* expected = nullptr;
  // The first application object of the process is the application.
  g_app.compare_exchange_strong(expected, this);
}

CWinApp::~CWinApp() {
  for (POSITION pos = m_templateList.GetHeadPosition(); pos;)
    delete static_cast<CDocTemplate*>(m_templateList.GetNext(pos));
  m_templateList.RemoveAll();
  CWinApp* self = this;
  g_app.compare_exchange_strong(self, nullptr);
}

LPCWSTR CWinApp::keepString(std::u16string text) {
  // A deque keeps earlier strings where they are.
  m_ownedStrings.push_back(std::move(text));
  return m_ownedStrings.back().c_str();
}

BOOL CWinApp::InitApplication() { return TRUE; }
BOOL CWinApp::InitInstance() { return TRUE; }
int CWinApp::Run() {
  // Without a main window there is nothing to run for.
  if (!m_pMainWnd) AfxPostQuitMessage(0);
  return CWinThread::Run();
}
int CWinApp::ExitInstance() { return CWinThread::ExitInstance(); }
BOOL CWinApp::OnIdle(LONG lCount) { return CWinThread::OnIdle(lCount); }

void CWinApp::SetRegistryKey(LPCWSTR lpszRegistryKey) {
  m_pszRegistryKey = keepString(std::u16string(platform::text::view(lpszRegistryKey)));
  // The profile is the registry from now on, named after the application.
  m_pszProfileName = m_pszAppName;
}

void CWinApp::SetRegistryKey(UINT nIDRegistryKey) {
  CString key;
  key.LoadString(nIDRegistryKey);
  SetRegistryKey(key.GetString());
}

HKEY CWinApp::GetAppRegistryKey() {
  if (!m_pszRegistryKey || !m_pszAppName) return nullptr;
  HKEY key = nullptr;
  CString path = profileKeyPath(*this);
  if (RegCreateKeyExW(HKEY_CURRENT_USER, path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE | KEY_READ, nullptr, &key,
                      nullptr) != ERROR_SUCCESS)
    return nullptr;
  return key;
}

HKEY CWinApp::GetSectionKey(LPCWSTR lpszSection) {
  HKEY app = GetAppRegistryKey();
  if (!app) return nullptr;
  HKEY section = nullptr;
  LONG rc = RegCreateKeyExW(app, lpszSection, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE | KEY_READ, nullptr,
                            &section, nullptr);
  RegCloseKey(app);
  return rc == ERROR_SUCCESS ? section : nullptr;
}

CString CWinApp::GetProfileString(LPCWSTR lpszSection, LPCWSTR lpszEntry, LPCWSTR lpszDefault) {
  CString fallback(lpszDefault);
  HKEY key = GetSectionKey(lpszSection);
  if (!key) return fallback;
  DWORD type = 0, size = 0;
  CString result = fallback;
  if (RegQueryValueExW(key, lpszEntry, nullptr, &type, nullptr, &size) == ERROR_SUCCESS && type == REG_SZ) {
    std::u16string buffer(size / sizeof(WCHAR) + 1, u'\0');
    DWORD bytes = static_cast<DWORD>(buffer.size() * sizeof(WCHAR));
    if (RegQueryValueExW(key, lpszEntry, nullptr, &type, reinterpret_cast<LPBYTE>(buffer.data()), &bytes) ==
        ERROR_SUCCESS) {
      buffer.resize(bytes / sizeof(WCHAR));
      while (!buffer.empty() && buffer.back() == u'\0') buffer.pop_back();
      result = CString(std::move(buffer));
    }
  }
  RegCloseKey(key);
  return result;
}

BOOL CWinApp::WriteProfileString(LPCWSTR lpszSection, LPCWSTR lpszEntry, LPCWSTR lpszValue) {
  if (!lpszEntry) {
    HKEY app = GetAppRegistryKey();
    if (!app) return FALSE;
    LONG rc = RegDeleteKeyW(app, lpszSection);
    RegCloseKey(app);
    return rc == ERROR_SUCCESS;
  }
  HKEY key = GetSectionKey(lpszSection);
  if (!key) return FALSE;
  LONG rc;
  if (!lpszValue) {
    rc = RegDeleteValueW(key, lpszEntry);
  } else {
    auto v = platform::text::view(lpszValue);
    rc = RegSetValueExW(key, lpszEntry, 0, REG_SZ, reinterpret_cast<const BYTE*>(lpszValue),
                        static_cast<DWORD>((v.size() + 1) * sizeof(WCHAR)));
  }
  RegCloseKey(key);
  return rc == ERROR_SUCCESS;
}

UINT CWinApp::GetProfileInt(LPCWSTR lpszSection, LPCWSTR lpszEntry, int nDefault) {
  HKEY key = GetSectionKey(lpszSection);
  if (!key) return static_cast<UINT>(nDefault);
  DWORD type = 0, value = 0, size = sizeof(value);
  LONG rc = RegQueryValueExW(key, lpszEntry, nullptr, &type, reinterpret_cast<LPBYTE>(&value), &size);
  RegCloseKey(key);
  if (rc != ERROR_SUCCESS || type != REG_DWORD || size != sizeof(value)) return static_cast<UINT>(nDefault);
  return value;
}

BOOL CWinApp::WriteProfileInt(LPCWSTR lpszSection, LPCWSTR lpszEntry, int nValue) {
  HKEY key = GetSectionKey(lpszSection);
  if (!key) return FALSE;
  DWORD value = static_cast<DWORD>(nValue);
  LONG rc = RegSetValueExW(key, lpszEntry, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
  RegCloseKey(key);
  return rc == ERROR_SUCCESS;
}

BOOL CWinApp::GetProfileBinary(LPCWSTR lpszSection, LPCWSTR lpszEntry, LPBYTE* ppData, UINT* pBytes) {
  *ppData = nullptr;
  *pBytes = 0;
  HKEY key = GetSectionKey(lpszSection);
  if (!key) return FALSE;
  DWORD type = 0, size = 0;
  BOOL ok = FALSE;
  if (RegQueryValueExW(key, lpszEntry, nullptr, &type, nullptr, &size) == ERROR_SUCCESS && type == REG_BINARY) {
    auto* data = new BYTE[size ? size : 1];
    if (RegQueryValueExW(key, lpszEntry, nullptr, &type, data, &size) == ERROR_SUCCESS) {
      *ppData = data;
      *pBytes = size;
      ok = TRUE;
    } else {
      delete[] data;
    }
  }
  RegCloseKey(key);
  return ok;
}

BOOL CWinApp::WriteProfileBinary(LPCWSTR lpszSection, LPCWSTR lpszEntry, LPBYTE pData, UINT nBytes) {
  HKEY key = GetSectionKey(lpszSection);
  if (!key) return FALSE;
  LONG rc = RegSetValueExW(key, lpszEntry, 0, REG_BINARY, pData, nBytes);
  RegCloseKey(key);
  return rc == ERROR_SUCCESS;
}

void CWinApp::ParseCommandLine(CCommandLineInfo& rCmdInfo) {
  const auto& args = platform::process::wideArgs();
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::u16string& word = args[i];
    const bool flag = !word.empty() && (word[0] == u'/' || word[0] == u'-');
    const bool last = i + 1 == args.size();
    rCmdInfo.ParseParam(flag ? word.c_str() + 1 : word.c_str(), flag, last);
  }
}

BOOL CWinApp::ProcessShellCommand(CCommandLineInfo& rCmdInfo) {
  switch (rCmdInfo.m_nShellCommand) {
    case CCommandLineInfo::FileNew:
      if (!OnCmdMsg(ID_FILE_NEW, CN_COMMAND, nullptr, nullptr)) OnFileNew();
      return m_pMainWnd != nullptr;
    case CCommandLineInfo::FileOpen:
      return OpenDocumentFile(rCmdInfo.m_strFileName) != nullptr;
    case CCommandLineInfo::FileNothing:
      return TRUE;
    default:
      // Printing, DDE and registration are not part of this framework.
      return FALSE;
  }
}

void CWinApp::AddDocTemplate(CDocTemplate* pTemplate) {
  pTemplate->LoadTemplate();
  m_templateList.AddTail(pTemplate);
}

POSITION CWinApp::GetFirstDocTemplatePosition() const { return m_templateList.GetHeadPosition(); }

CDocTemplate* CWinApp::GetNextDocTemplate(POSITION& pos) const {
  return static_cast<CDocTemplate*>(m_templateList.GetNext(pos));
}

CDocument* CWinApp::OpenDocumentFile(LPCWSTR lpszFileName) {
  POSITION pos = m_templateList.GetHeadPosition();
  if (!pos) return nullptr;
  return static_cast<CDocTemplate*>(m_templateList.GetNext(pos))->OpenDocumentFile(lpszFileName);
}

BOOL CWinApp::SaveAllModified() {
  for (POSITION pos = m_templateList.GetHeadPosition(); pos;)
    if (!static_cast<CDocTemplate*>(m_templateList.GetNext(pos))->SaveAllModified()) return FALSE;
  return TRUE;
}

void CWinApp::CloseAllDocuments(BOOL bEndSession) {
  for (POSITION pos = m_templateList.GetHeadPosition(); pos;)
    static_cast<CDocTemplate*>(m_templateList.GetNext(pos))->CloseAllDocuments(bEndSession);
}

void CWinApp::OnFileNew() {
  // With one template the new document is of that kind; choosing among several asks the user,
  // which the first template stands in for.
  POSITION pos = m_templateList.GetHeadPosition();
  if (pos) static_cast<CDocTemplate*>(m_templateList.GetNext(pos))->OpenDocumentFile(nullptr);
}

void CWinApp::OnAppExit() {
  if (m_pMainWnd && m_pMainWnd->m_hWnd) m_pMainWnd->SendMessage(WM_CLOSE);
}

HICON CWinApp::LoadIcon(UINT nIDResource) const { return LoadIcon(MAKEINTRESOURCEW(nIDResource)); }
HICON CWinApp::LoadIcon(LPCWSTR lpszResourceName) const {
  for (HINSTANCE module : resourceChain())
    if (FindResourceW(module, lpszResourceName, RT_GROUP_ICON)) return LoadIconW(module, lpszResourceName);
  return nullptr;
}
HICON CWinApp::LoadStandardIcon(LPCWSTR lpszIconName) const { return LoadIconW(nullptr, lpszIconName); }
HCURSOR CWinApp::LoadCursor(UINT nIDResource) const {
  for (HINSTANCE module : resourceChain())
    if (HCURSOR c = LoadCursorW(module, MAKEINTRESOURCEW(nIDResource))) return c;
  return nullptr;
}
HCURSOR CWinApp::LoadStandardCursor(LPCWSTR lpszCursorName) const { return LoadCursorW(nullptr, lpszCursorName); }

int CWinApp::DoMessageBox(LPCWSTR lpszPrompt, UINT nType, UINT) {
  return platform::afx::showMessage(CString(lpszPrompt), nType);
}

BEGIN_MESSAGE_MAP(CWinApp, CWinThread)
  ON_COMMAND(ID_APP_EXIT, OnAppExit)
END_MESSAGE_MAP()

// ---- Globals ----

CWinApp* AFXAPI AfxGetApp() { return g_app.load(); }

CWinThread* AFXAPI AfxGetThread() { return t_thread ? t_thread : AfxGetApp(); }

CWnd* AFXAPI AfxGetMainWnd() {
  CWinThread* thread = AfxGetThread();
  if (thread && thread->GetMainWnd()) return thread->GetMainWnd();
  CWinApp* app = AfxGetApp();
  return app ? app->GetMainWnd() : nullptr;
}

HINSTANCE AFXAPI AfxGetInstanceHandle() {
  CWinApp* app = AfxGetApp();
  if (app && app->m_hInstance) return app->m_hInstance;
  return GetModuleHandleW(nullptr);
}

HINSTANCE AFXAPI AfxGetResourceHandle() {
  HINSTANCE r = g_resourceHandle.load();
  return r ? r : AfxGetInstanceHandle();
}

void AFXAPI AfxSetResourceHandle(HINSTANCE hInstResource) { g_resourceHandle.store(hInstResource); }

HINSTANCE AFXAPI AfxFindResourceHandle(LPCWSTR lpszName, LPCWSTR lpszType) {
  for (HINSTANCE module : resourceChain())
    if (FindResourceW(module, lpszName, lpszType)) return module;
  return AfxGetResourceHandle();
}

LPCWSTR AFXAPI AfxGetAppName() {
  CWinApp* app = AfxGetApp();
  return app ? app->m_pszAppName : nullptr;
}

CWinThread* AFXAPI AfxBeginThread(AFX_THREADPROC pfnThreadProc, LPVOID pParam, int nPriority, UINT nStackSize,
                                  DWORD dwCreateFlags, LPSECURITY_ATTRIBUTES lpSecurityAttrs) {
  auto* thread = new CWinThread(pfnThreadProc, pParam);
  if (!thread->CreateThread(dwCreateFlags | CREATE_SUSPENDED, nStackSize, lpSecurityAttrs)) {
    delete thread;
    return nullptr;
  }
  thread->SetThreadPriority(nPriority);
  if (!(dwCreateFlags & CREATE_SUSPENDED)) thread->ResumeThread();
  return thread;
}

CWinThread* AFXAPI AfxBeginThread(CRuntimeClass* pThreadClass, int nPriority, UINT nStackSize, DWORD dwCreateFlags,
                                  LPSECURITY_ATTRIBUTES lpSecurityAttrs) {
  if (!pThreadClass || !pThreadClass->IsDerivedFrom(RUNTIME_CLASS(CWinThread))) return nullptr;
  auto* thread = static_cast<CWinThread*>(pThreadClass->CreateObject());
  if (!thread) return nullptr;
  if (!thread->CreateThread(dwCreateFlags | CREATE_SUSPENDED, nStackSize, lpSecurityAttrs)) {
    delete thread;
    return nullptr;
  }
  thread->SetThreadPriority(nPriority);
  if (!(dwCreateFlags & CREATE_SUSPENDED)) thread->ResumeThread();
  return thread;
}

void AFXAPI AfxEndThread(UINT nExitCode, BOOL bDelete) {
  CWinThread* thread = t_thread;
  CWnd::DeleteTempMap();
  t_thread = nullptr;
  if (thread && bDelete && thread->m_bAutoDelete) delete thread;
  ExitThread(nExitCode);
}

void AFXAPI AfxPostQuitMessage(int nExitCode) { PostQuitMessage(nExitCode); }

namespace {
thread_local MSG t_pumpedWithoutThread{};
}  // namespace

MSG platform::afx::lastPumpedMessage() {
  if (CWinThread* thread = AfxGetThread()) return thread->m_msgCur;
  return t_pumpedWithoutThread;
}

BOOL AFXAPI AfxPumpMessage() {
  CWinThread* thread = AfxGetThread();
  if (thread) return thread->PumpMessage();
  MSG& msg = t_pumpedWithoutThread;
  if (!GetMessageW(&msg, nullptr, 0, 0)) return FALSE;
  if (!CWnd::WalkPreTranslateTree(nullptr, &msg)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return TRUE;
}

int AFXAPI AfxMessageBox(LPCWSTR lpszText, UINT nType, UINT nIDHelp) {
  if (CWinApp* app = AfxGetApp()) return app->DoMessageBox(lpszText, nType, nIDHelp);
  return platform::afx::showMessage(CString(lpszText), nType);
}

int AFXAPI AfxMessageBox(UINT nIDPrompt, UINT nType, UINT nIDHelp) {
  CString text;
  text.LoadString(nIDPrompt);
  if (nIDHelp == static_cast<UINT>(-1)) nIDHelp = nIDPrompt;
  return AfxMessageBox(text, nType, nIDHelp);
}

BOOL AFXAPI AfxWinInit(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPWSTR lpCmdLine, int nCmdShow) {
  CWinApp* app = AfxGetApp();
  if (!app) return FALSE;
  // The host is opened before the command line is first read: reading it first, in a process
  // that has not used the host yet, waits on itself inside the process layer.
  platform::host::Host::current();
  app->m_hInstance = hInstance ? hInstance : GetModuleHandleW(nullptr);
  app->m_hPrevInstance = hPrevInstance;
  app->m_nCmdShow = nCmdShow;
  if (lpCmdLine) {
    app->m_lpCmdLine = lpCmdLine;
  } else {
    // The command line after the program's name.
    static std::u16string rest;
    const auto& args = platform::process::wideArgs();
    rest.clear();
    for (std::size_t i = 1; i < args.size(); ++i) {
      if (i > 1) rest += u' ';
      rest += platform::process::quoteArgument(args[i]);
    }
    app->m_lpCmdLine = rest.data();
  }
  static std::u16string exeName, appName;
  if (!app->m_pszExeName) {
    WCHAR path[260] = {0};
    DWORD n = GetModuleFileNameW(nullptr, path, 260);
    std::u16string_view p(path, n < 260 ? n : 0);
    auto slash = p.find_last_of(u"\\/");
    if (slash != std::u16string_view::npos) p.remove_prefix(slash + 1);
    auto dot = p.rfind(u'.');
    if (dot != std::u16string_view::npos) p = p.substr(0, dot);
    exeName = p;
    app->m_pszExeName = exeName.c_str();
  }
  if (!app->m_pszAppName) {
    std::u16string title;
    appName = loadChainString(kIdsAppTitle, title) ? title : exeName;
    if (appName.empty() && app->m_pszExeName) appName = platform::text::view(app->m_pszExeName);
    app->m_pszAppName = appName.c_str();
  }
  return TRUE;
}

int AFXAPI AfxWinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPWSTR lpCmdLine, int nCmdShow) {
  CWinApp* app = AfxGetApp();
  if (!app || !AfxWinInit(hInstance, hPrevInstance, lpCmdLine, nCmdShow)) return -1;
  // A program run through the framework's entry shows its boxes as windows, owned by the main
  // window and captioned with the application's name; other processes (tests, tools) keep the
  // default until they install their own.
  platform::afx::setMessageBoxHook([](const CString& text, UINT type) {
    CWnd* main = AfxGetMainWnd();
    return MessageBoxW(main ? main->GetSafeHwnd() : nullptr, text, AfxGetAppName(), type);
  });
  if (!app->InitApplication() || !app->InitInstance()) {
    if (app->m_pMainWnd && app->m_pMainWnd->m_hWnd) app->m_pMainWnd->DestroyWindow();
    return app->ExitInstance();
  }
  return app->Run();
}

// The application object and threads: CWinThread (the message loop with idle processing and
// PreTranslateMessage, worker threads by AfxBeginThread), CWinApp (initialization, the profile
// under HKCU\Software\<key>\<app>, command-line parsing, document templates, the resource
// chain), CCommandLineInfo, and the Afx... globals.
//
// The resource chain: resources (strings, dialogs, menus, icons) are looked for first in the
// resource handle (a language library set by AfxSetResourceHandle), then in the program itself.
// CString::LoadString and Format(id) go through it once an application object exists.
#pragma once

#include <deque>
#include <string>

#include "platform/afx/cmdtarget.h"
#include "platform/afx/coll.h"
#include "platform/afx/cstring.h"
#include "platform/afx/wnd.h"
#include "platform/win32/cursor.h"  // IDC_* for LoadStandardCursor
#include "platform/win32/gdi.h"     // IDI_* for LoadStandardIcon
#include "platform/win32/process.h"  // CREATE_SUSPENDED for AfxBeginThread
#include "platform/win32/registry.h"
#include "platform/win32/resource.h"
#include "platform/win32/sync.h"

class CDocTemplate;
class CDocument;
class CException;

using AFX_THREADPROC = UINT (*)(LPVOID);

#ifndef THREAD_PRIORITY_NORMAL
#define THREAD_PRIORITY_NORMAL 0
#endif

// Posted to a window when the modal loop of CWnd::RunModalLoop goes idle.
#define WM_KICKIDLE 0x036A

class CWinThread : public CCmdTarget {
  DECLARE_DYNAMIC(CWinThread)

 public:
  CWinThread();
  // A worker thread running pfnThreadProc(pParam) once CreateThread is called.
  CWinThread(AFX_THREADPROC pfnThreadProc, LPVOID pParam);
  ~CWinThread() override;

  CWnd* m_pMainWnd = nullptr;
  CWnd* m_pActiveWnd = nullptr;
  BOOL m_bAutoDelete = TRUE;
  HANDLE m_hThread = nullptr;
  DWORD m_nThreadID = 0;
  MSG m_msgCur{};
  AFX_THREADPROC m_pfnThreadProc = nullptr;
  LPVOID m_pThreadParams = nullptr;

  operator HANDLE() const { return m_hThread; }  // NOLINT

  // Starts the thread (CREATE_SUSPENDED waits for ResumeThread). A worker runs its procedure; a
  // user-interface thread runs InitInstance, then Run when that succeeded, then ExitInstance.
  BOOL CreateThread(DWORD dwCreateFlags = 0, UINT nStackSize = 0, LPSECURITY_ATTRIBUTES lpSecurityAttrs = nullptr);
  DWORD ResumeThread();
  BOOL PostThreadMessage(UINT message, WPARAM wParam, LPARAM lParam);
  BOOL SetThreadPriority(int) { return m_hThread != nullptr; }

  virtual BOOL InitInstance();
  // The message loop: OnIdle(0), OnIdle(1), ... while the queue is empty and OnIdle asks for
  // more, then waits; each message goes through PumpMessage. Returns ExitInstance's code when
  // WM_QUIT arrives.
  virtual int Run();
  // Walks from the message's window up to the main window, giving each permanent CWnd's
  // PreTranslateMessage a chance; TRUE when one took the message.
  virtual BOOL PreTranslateMessage(MSG* pMsg);
  // Gets one message and dispatches it (unless PreTranslateMessage took it); FALSE on WM_QUIT.
  virtual BOOL PumpMessage();
  // lCount counts the idle calls since the last message: at 0 the main window and its children
  // get WM_IDLEUPDATECMDUI, at 1 temporary objects are deleted; TRUE asks for another call.
  virtual BOOL OnIdle(LONG lCount);
  // Whether the message ends an idle period (WM_PAINT, WM_TIMER and repeated mouse moves do not).
  virtual BOOL IsIdleMessage(MSG* pMsg);
  virtual int ExitInstance();
  // A CException* that escaped a message handler: WM_CREATE answers -1, WM_PAINT validates the
  // window; otherwise the error is reported to the user. The caller deletes the exception.
  virtual LRESULT ProcessWndProcException(CException* e, const MSG* pMsg);
  virtual CWnd* GetMainWnd();

  // Routes the thread's message map for thread messages (hwnd null).
  BOOL dispatchThreadMessage(MSG* pMsg);

 protected:
  static DWORD threadEntry(LPVOID param);
  DECLARE_MESSAGE_MAP()
};

class CCommandLineInfo : public CObject {
 public:
  CCommandLineInfo() = default;
  ~CCommandLineInfo() override = default;

  // Called once per word of the command line after the program's name: pszParam without its
  // leading '/' or '-' when bFlag; bLast for the final word.
  virtual void ParseParam(const WCHAR* pszParam, BOOL bFlag, BOOL bLast);

  BOOL m_bShowSplash = TRUE;
  BOOL m_bRunEmbedded = FALSE;
  BOOL m_bRunAutomated = FALSE;
  enum {
    FileNew,
    FileOpen,
    FilePrint,
    FilePrintTo,
    FileDDE,
    AppRegister,
    AppUnregister,
    FileNothing = -1
  } m_nShellCommand = FileNew;
  CString m_strFileName;
  CString m_strPrinterName;
  CString m_strDriverName;
  CString m_strPortName;

 protected:
  void ParseParamFlag(const WCHAR* pszParam);
  void ParseParamNotFlag(const WCHAR* pszParam);
  void ParseLast(BOOL bLast);
};

class CWinApp : public CWinThread {
  DECLARE_DYNAMIC(CWinApp)

 public:
  // The one application object of the program (AfxGetApp), usually a global.
  explicit CWinApp(LPCWSTR lpszAppName = nullptr);
  ~CWinApp() override;

  HINSTANCE m_hInstance = nullptr;
  HINSTANCE m_hPrevInstance = nullptr;
  LPWSTR m_lpCmdLine = nullptr;
  int m_nCmdShow = SW_SHOWNORMAL;
  LPCWSTR m_pszAppName = nullptr;
  LPCWSTR m_pszExeName = nullptr;
  LPCWSTR m_pszHelpFilePath = nullptr;
  LPCWSTR m_pszProfileName = nullptr;
  LPCWSTR m_pszRegistryKey = nullptr;

  virtual BOOL InitApplication();
  BOOL InitInstance() override;
  int Run() override;
  int ExitInstance() override;
  BOOL OnIdle(LONG lCount) override;

  // ---- The profile: HKEY_CURRENT_USER\Software\<registry key>\<application name>\<section> ----

  void SetRegistryKey(LPCWSTR lpszRegistryKey);
  void SetRegistryKey(UINT nIDRegistryKey);
  // The application's key (created when missing), or null without SetRegistryKey. Closed by the
  // caller.
  HKEY GetAppRegistryKey();
  HKEY GetSectionKey(LPCWSTR lpszSection);
  // The value (REG_SZ) or lpszDefault when the value, section or registry key is missing.
  CString GetProfileString(LPCWSTR lpszSection, LPCWSTR lpszEntry, LPCWSTR lpszDefault = nullptr);
  // A null entry deletes the section; a null value deletes the entry.
  BOOL WriteProfileString(LPCWSTR lpszSection, LPCWSTR lpszEntry, LPCWSTR lpszValue);
  // The value (REG_DWORD) or nDefault.
  UINT GetProfileInt(LPCWSTR lpszSection, LPCWSTR lpszEntry, int nDefault);
  BOOL WriteProfileInt(LPCWSTR lpszSection, LPCWSTR lpszEntry, int nValue);
  // *ppData is new[]'d for the caller; FALSE (and *ppData null) when missing.
  BOOL GetProfileBinary(LPCWSTR lpszSection, LPCWSTR lpszEntry, LPBYTE* ppData, UINT* pBytes);
  BOOL WriteProfileBinary(LPCWSTR lpszSection, LPCWSTR lpszEntry, LPBYTE pData, UINT nBytes);

  // ---- Command line, documents ----

  // Calls rCmdInfo.ParseParam for each word of the program's command line.
  void ParseCommandLine(CCommandLineInfo& rCmdInfo);
  // FileNew: ID_FILE_NEW through the command map (OnFileNew); FileOpen: OpenDocumentFile;
  // FileNothing: nothing. FALSE when the command failed or left no main window.
  BOOL ProcessShellCommand(CCommandLineInfo& rCmdInfo);
  void AddDocTemplate(CDocTemplate* pTemplate);
  POSITION GetFirstDocTemplatePosition() const;
  CDocTemplate* GetNextDocTemplate(POSITION& pos) const;
  virtual CDocument* OpenDocumentFile(LPCWSTR lpszFileName);
  virtual BOOL SaveAllModified();
  virtual void CloseAllDocuments(BOOL bEndSession);

  afx_msg void OnFileNew();
  afx_msg void OnAppExit();

  // ---- Resources ----

  // Handle values standing for icons and cursors (null when the resource is not in the chain);
  // the same resource gives the same value.
  HICON LoadIcon(UINT nIDResource) const;
  HICON LoadIcon(LPCWSTR lpszResourceName) const;
  HICON LoadStandardIcon(LPCWSTR lpszIconName) const;
  HCURSOR LoadCursor(UINT nIDResource) const;
  HCURSOR LoadStandardCursor(LPCWSTR lpszCursorName) const;

  // AfxMessageBox goes through here; the default shows a message box owned by the main window.
  virtual int DoMessageBox(LPCWSTR lpszPrompt, UINT nType, UINT nIDPrompt);

 protected:
  CPtrList m_templateList;
  std::deque<std::u16string> m_ownedStrings;
  LPCWSTR keepString(std::u16string text);
  DECLARE_MESSAGE_MAP()
};

// ---- Globals ----

CWinApp* AFXAPI AfxGetApp();
// The current thread's CWinThread (the application object on the main thread), or null.
CWinThread* AFXAPI AfxGetThread();
// The main window of the current thread's CWinThread, else the application's.
CWnd* AFXAPI AfxGetMainWnd();
HINSTANCE AFXAPI AfxGetInstanceHandle();
HINSTANCE AFXAPI AfxGetResourceHandle();
void AFXAPI AfxSetResourceHandle(HINSTANCE hInstResource);
// The first module of the resource chain that has the resource (the resource handle, then the
// program); the resource handle when none has it.
HINSTANCE AFXAPI AfxFindResourceHandle(LPCWSTR lpszName, LPCWSTR lpszType);
LPCWSTR AFXAPI AfxGetAppName();
// A worker thread running pfnThreadProc(pParam); its CWinThread deletes itself when it ends
// (m_bAutoDelete). Null when the thread cannot be started.
CWinThread* AFXAPI AfxBeginThread(AFX_THREADPROC pfnThreadProc, LPVOID pParam, int nPriority = THREAD_PRIORITY_NORMAL,
                                  UINT nStackSize = 0, DWORD dwCreateFlags = 0,
                                  LPSECURITY_ATTRIBUTES lpSecurityAttrs = nullptr);
// A user-interface thread of a CWinThread-derived class (dynamically creatable).
CWinThread* AFXAPI AfxBeginThread(CRuntimeClass* pThreadClass, int nPriority = THREAD_PRIORITY_NORMAL,
                                  UINT nStackSize = 0, DWORD dwCreateFlags = 0,
                                  LPSECURITY_ATTRIBUTES lpSecurityAttrs = nullptr);
void AFXAPI AfxEndThread(UINT nExitCode, BOOL bDelete = TRUE);
// Posts WM_QUIT to the current thread.
void AFXAPI AfxPostQuitMessage(int nExitCode);
// Gets and dispatches one message through the current thread's PumpMessage; FALSE on WM_QUIT.
BOOL AFXAPI AfxPumpMessage();
namespace platform::afx {
// The message AfxPumpMessage last took on this thread (the thread object's m_msgCur when there
// is one), so modal loops can tell whether they are idle again.
MSG lastPumpedMessage();
}  // namespace platform::afx
// A message box through the application's DoMessageBox (nIDPrompt: a string resource).
int AFXAPI AfxMessageBox(LPCWSTR lpszText, UINT nType = 0, UINT nIDHelp = 0);
int AFXAPI AfxMessageBox(UINT nIDPrompt, UINT nType = 0, UINT nIDHelp = (UINT)-1);

// Sets up the application object: instance handle (null: the program), command line (null: the
// program's, after its name), m_nCmdShow, m_pszExeName (the program's file name without
// extension) and m_pszAppName (when the constructor gave none: string 0xE000 of the resource
// chain, else the exe name). FALSE without an application object.
BOOL AFXAPI AfxWinInit(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPWSTR lpCmdLine, int nCmdShow);

// The program's entry into the framework: sets the application's instance handle, command line
// and names, runs InitApplication and InitInstance, then Run (or ExitInstance when InitInstance
// failed), and returns the exit code. A program's main calls it:
//   int main() { return AfxWinMain(nullptr, nullptr, nullptr, SW_SHOWNORMAL); }
int AFXAPI AfxWinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPWSTR lpCmdLine, int nCmdShow);


// The process snap-ins: some host programs keep settings in memory and write them back when they
// close, so they must not run while the program changes or puts back those settings. A process
// snap-in stands for one such program: at login its backup closes the program when it runs, at
// logout its depersonalize (or restore) closes it again before the settings go back, and it can
// start the program after personalizing or again after restore. CProcessCustomizer does the work;
// the browser, Word, Excel and PowerPoint snap-ins preset it (the Outlook process snap-ins build
// on the same class). The close-programs dialog asks the same snap-ins whether their program has
// to be closed first.
//
// A close posts WM_CLOSE to the program's main windows and polls the process list once a second,
// on the calling (user-interface) thread. Whatever happened on the way, a close answers true only
// when the program no longer runs at its end; when it still runs that is logged.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "platform/afx/cstring.h"
#include "platform/base/types.h"
#include "snapins/customizer.h"

class CConfirmationCloser;

// The `flags` of a process snap-in: at which steps it closes or starts its program.
inline constexpr DWORD kProcessCloseAtBackup = 1;
inline constexpr DWORD kProcessStartAtPersonalize = 2;
inline constexpr DWORD kProcessCloseAtDepersonalize = 4;
inline constexpr DWORD kProcessCloseAtRestore = 8;
// Start again at restore when backup closed the program.
inline constexpr DWORD kProcessRestartAtRestore = 16;

class CProcessCustomizer : public CCustomizer {
 public:
  // "Process Control", no program, flags 21 (close at backup and depersonalize, start again at
  // restore), started minimized, 20 polls.
  CProcessCustomizer();
  CProcessCustomizer(const CString& name, const CString& displayName, const CString& windowTitle,
                     const CString& windowClass, const CString& imageName, bool startWithoutCheck, DWORD flags,
                     bool startMinimized, DWORD waitSeconds);
  ~CProcessCustomizer() override;

  // A running process of the current user has the file-name part of `imageName` (case ignored).
  // A process list that cannot be taken is logged and counts as not running.
  virtual bool isProcessRunning();
  // Asks the program's main windows to close and waits for it; true when it no longer runs.
  virtual bool closeProcess();
  // Opens `imageName` with the shell (minimized with `startMinimized`); true when the shell took
  // it, and true without starting anything when `imageName` must exist as a file and does not.
  virtual bool startProcess();

  // For the close-programs dialog: the program runs and the login (flag 1) or the logout (flag 4
  // or 8) would close it.
  virtual bool needsCloseAtLogin();
  virtual bool needsCloseAtLogout();

  // Closes the running program with flag 1 (false when that fails); remembers that it did.
  bool backup() override;
  // Starts the program with flag 2. The snap-in is never marked personalized.
  bool personalize() override;
  // Closes the running program with flag 4.
  bool depersonalize() override;
  // Closes the running program with flag 8 (a failure shows message 881 and does not fail the
  // step); with flag 16 starts it again when backup closed it, otherwise clears "personalized".
  bool restore() override;

  const CString& getDisplayName() const { return m_displayName; }
  const CString& getWindowTitle() const { return m_windowTitle; }
  const CString& getWindowClass() const { return m_windowClass; }
  const CString& getImageName() const { return m_imageName; }
  DWORD getFlags() const { return m_flags; }
  DWORD getWaitSeconds() const { return m_waitSeconds; }
  bool wasClosedByBackup() const { return m_closedByBackup; }

 protected:
  // Posts WM_CLOSE to every top-level window of `m_windowClass` whose title is `m_windowTitle`
  // (any title when empty) and, when every post went through, waits for the program to end
  // (waitForExit). No window: nothing is posted and nothing waited for. The number of windows
  // found.
  int requestClose();
  // Polls up to `m_waitSeconds` times, 1000 ms apart, until the program no longer runs; `eachPoll`
  // (when given) runs before every wait.
  void waitForExit(const std::function<void()>& eachPoll = nullptr);
  // The one check at the end of a close: true when the program no longer runs; logged when it
  // still does.
  bool closeEnded();
  // The top-level windows of `m_windowClass` with the title `m_windowTitle`.
  std::vector<HWND> findMainWindows() const;

  CString m_displayName;
  CString m_windowTitle;
  CString m_windowClass;
  CString m_imageName;
  bool m_startWithoutCheck = false;
  DWORD m_flags = 0;
  bool m_startMinimized = false;
  bool m_closedByBackup = false;
  DWORD m_waitSeconds = 0;
};

// Internet Explorer: "IEFrame" windows of "IExplore.exe".
class CIEProcessCustomizer : public CProcessCustomizer {
 public:
  CIEProcessCustomizer();
};

// Word: "OpusApp" windows of "winword.exe", closed one by one with Word's save question answered
// Yes by a confirmation closer the snap-in owns.
class CWordProcessCustomizer : public CProcessCustomizer {
 public:
  CWordProcessCustomizer();
  ~CWordProcessCustomizer() override;

  // The Word window closer, then a wait for Word to end that keeps answering its save question;
  // false when a close request could not be posted.
  bool closeProcess() override;
  // Shows each Word window, posts WM_CLOSE to it and, after 500 ms, presses Yes in Word's
  // confirmation box. False when a post failed (the other windows are still handled).
  virtual bool closeWordWindows();
  // Presses Yes in Word's confirmation box (Word may be Outlook's mail editor); true when a box
  // was answered.
  bool closeConfirmationWindow();

 private:
  bool closeWordWindows(int& asked);
  void answerConfirmation();

  std::unique_ptr<CConfirmationCloser> m_confirmationCloser;
};

// Excel: "XLMAIN" windows of "excel.exe", restored first so a minimized one takes the close.
class CExcelProcessCustomizer : public CProcessCustomizer {
 public:
  CExcelProcessCustomizer();
  bool closeProcess() override;
};

// PowerPoint: the frame classes "PP7FrameClass" to "PP19FrameClass" of "powerpnt.exe", each in
// turn; `m_windowClass` keeps the last.
class CPowerPointProcessCustomizer : public CProcessCustomizer {
 public:
  CPowerPointProcessCustomizer();
  bool closeProcess() override;
};

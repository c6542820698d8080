// The surfaces of the user interface that the customizer view opens and that later parts of the
// program bring: the login pull-down, the logout button, the close-programs and logout questions,
// the don't-ask-again question, the computer set-up dialog, the intro movie, the about box, the
// options and synchronize dialogs. The view calls them only through this interface; a part that
// brings a surface installs its implementation with setViewSurfaces. Until then the default stands
// in: the don't-ask-again question itself, plain Yes/No message boxes of the same texts for the
// close-programs and logout questions, no pull-down and no logout button (requests run without them),
// the set-up dialog and the movie skipped, no about box or options dialog (their tray items are
// greyed), and no synchronize dialog (the Synchronize command then does nothing).
#pragma once

#include "platform/afx/cstring.h"
#include "platform/base/types.h"

class CView;

class CViewSurfaces {
 public:
  virtual ~CViewSurfaces() = default;

  // askUnlessSuppressed(owner, text, check-box text, preference, 0, -1, -1): true on OK. Not shown
  // (true) when the boolean preference of that name in the device preference store is false.
  virtual bool askUnlessSuppressed(HWND owner, const CString& text, const CString& checkBoxText,
                                   const CString& preferenceName);
  // The close-programs dialog for a login or a logout: false when the user cancelled.
  virtual bool closePrograms(bool forLogin, HWND owner);
  // The logout confirmation: true to log out.
  virtual bool confirmLogout(HWND owner);
  virtual void runComputerSetup(HWND owner);
  virtual void showIntroMovie();
  // The about box and the options dialog; false when this program has none yet.
  virtual bool hasAboutBox();
  virtual void showAboutBox(HWND owner);
  virtual bool hasOptionsDialog();
  virtual void runOptionsDialog(CView* view);
  // The synchronize dialog: IDOK after a run, IDCANCEL, or 32771. The default has none (IDCANCEL).
  virtual int runSynchronizeDialog(CView* view);

  // The login pull-down (the default has none: requests run without it).
  virtual bool pulldownExists();
  virtual bool createPulldown(HWND parent);
  virtual void destroyPulldown();
  virtual void slidePulldownOpen();
  virtual void slidePulldownClosed();
  virtual bool isPulldownAnimating();
  virtual void stopPulldownAnimations();
  virtual bool coverScreenWithCapture();
  // Starts a logout through the pull-down (CLoginMessage type 2 with the flag); false when there
  // is none, and the view then runs the logout itself.
  virtual bool startPulldownLogout(bool flag);

  // The logout button (the default has none).
  virtual bool logoutButtonExists();
  virtual void createLogoutButton(const CString& caption);
  virtual void closeLogoutButton();
};

// The surfaces in force (the default until a part installs its own).
CViewSurfaces& viewSurfaces();
// Installs `surfaces` (not owned; null restores the default).
void setViewSurfaces(CViewSurfaces* surfaces);

// CUiSurfaces: the customizer view's surfaces as this user interface brings them: the login
// pull-down, the logout button, the close-programs list, the logout question, the don't-ask-again
// question, the computer set-up dialog, the intro movie, the about box, the synchronize and
// options dialogs.
#pragma once

#include <memory>

#include "app/view_surfaces.h"

class CLoginPulldown;
class CLogoutButton;

class CUiSurfaces : public CViewSurfaces {
 public:
  CUiSurfaces();
  ~CUiSurfaces() override;

  bool askUnlessSuppressed(HWND owner, const CString& text, const CString& checkBoxText,
                           const CString& preferenceName) override;
  bool closePrograms(bool forLogin, HWND owner) override;
  bool confirmLogout(HWND owner) override;
  void runComputerSetup(HWND owner) override;
  void showIntroMovie() override;
  bool hasAboutBox() override { return true; }
  void showAboutBox(HWND owner) override;
  int runSynchronizeDialog(CView* view) override;
  bool hasOptionsDialog() override { return true; }
  void runOptionsDialog(CView* view) override;

  bool pulldownExists() override;
  bool createPulldown(HWND parent) override;
  void destroyPulldown() override;
  void slidePulldownOpen() override;
  void slidePulldownClosed() override;
  bool isPulldownAnimating() override;
  void stopPulldownAnimations() override;
  bool coverScreenWithCapture() override;
  bool startPulldownLogout(bool flag) override;

  bool logoutButtonExists() override;
  void createLogoutButton(const CString& caption) override;
  void closeLogoutButton() override;

  CLoginPulldown* pulldown() { return m_pulldown.get(); }

 private:
  std::unique_ptr<CLoginPulldown> m_pulldown;
  std::unique_ptr<CLogoutButton> m_logoutButton;
};

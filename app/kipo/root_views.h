// The two root views of the main frame and the standby pair. CRootView turns the tray menus'
// commands into virtual hooks; CStandbyView (with CStandbyDoc) is active while no drive is open
// and asks for the drive whenever the user wants something of it.
#pragma once

#include "platform/afx/afxwin.h"

class CRootView : public CView {
  DECLARE_DYNAMIC(CRootView)

 public:
  // A tray mouse message (icon id, mouse message).
  virtual void OnTrayIconNotify(UINT iconId, UINT mouseMessage);
  virtual void OnPopupSynchronize();
  virtual void OnPopupLogout();
  // The autostart question when the drive is gone, then the program's exit.
  virtual void OnPopupExit();
  virtual void OnPopupOptions();
  // "Kipo.chm" (or "Kipo_<code>.chm") of the product folder, else the online help page.
  virtual void OnPopupHelp();
  virtual void OnPopupCheckUpdate();

  void OnDraw(CDC*) override {}

 protected:
  CRootView() = default;
  afx_msg void OnCommandSynchronize() { OnPopupSynchronize(); }
  afx_msg void OnCommandLogout() { OnPopupLogout(); }
  afx_msg void OnCommandExit() { OnPopupExit(); }
  afx_msg void OnCommandOptions() { OnPopupOptions(); }
  afx_msg void OnCommandHelp() { OnPopupHelp(); }
  afx_msg void OnCommandCheckUpdate() { OnPopupCheckUpdate(); }
  afx_msg void OnCommandAbout();
  afx_msg void OnCommandNothing() {}
  DECLARE_MESSAGE_MAP()
};

class CStandbyDoc : public CDocument {
  DECLARE_DYNCREATE(CStandbyDoc)

 public:
  CStandbyDoc() = default;
};

class CStandbyView : public CRootView {
  DECLARE_DYNCREATE(CStandbyView)

 public:
  CStandbyView() = default;

  void OnTrayIconNotify(UINT iconId, UINT mouseMessage) override;
  void OnPopupSynchronize() override { askForDrive(u"Synchronize"); }
  void OnPopupLogout() override { askForDrive(u"Logout"); }
  void OnPopupOptions() override { askForDrive(u"Options"); }
  void OnPopupCheckUpdate() override { askForDrive(u"Check Update"); }

 protected:
  // Question 664 for the action; on Yes the drive choice, then WM_USER+20 to open it.
  bool askForDrive(const char16_t* action);
  afx_msg void OnUseNewDrive();
  DECLARE_MESSAGE_MAP()
};

// The online help page: the maker's help server with the language code twice.
inline constexpr const char16_t* kOnlineHelpPattern = u"http://help.brackwater.example/%s/kipo.htm?lang=%s";

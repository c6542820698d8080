// COptionsHost: what the options dialog and its pages need of the program around them that the
// user interface does not own: the document, the application's facts (U3 customization,
// autostart, the drive's kind, this computer known to the application), the device usage meter
// and the dialogs of other parts (computer set-up, nickname, large folder). The program installs
// its implementation with setOptionsHost; the default answers from the login host and the view
// surfaces, has no meter, no nickname dialog, and lets a large folder be added without asking.
#pragma once

#include <memory>

#include "platform/afx/afxwin.h"

class CCustomizerDoc;
class CSystemProfile;

// The device usage meter above the property sheet.
class COptionsMeter {
 public:
  virtual ~COptionsMeter() = default;
  // Creates the meter as a child of `parent` on `place` (client co-ordinates) and shows it.
  virtual bool create(CWnd* parent, const RECT& place) = 0;
  virtual void destroy() = 0;
  // Used plus planned bytes exceed the device's capacity.
  virtual bool exceedsCapacity() = 0;
};

class COptionsHost {
 public:
  virtual ~COptionsHost() = default;

  virtual CCustomizerDoc* document();
  // The customization installed is a U3 one (no autostart then).
  virtual bool isU3Customization();
  virtual bool isAutostartEnabled();
  // The drive's kind (CDeviceDetector's DeviceKind).
  virtual int deviceKind();
  // The application counts this computer as known although its folder is not on the drive.
  virtual bool isThisComputerKnown();
  // A synchronize dialog is shown (it opens the options on the page of files, also for a computer
  // whose folder is not on the drive yet).
  virtual bool isSynchronizeDialogShown();
  // The view's logout (the options ask for it before a computer is disconnected).
  virtual void logout();

  virtual std::unique_ptr<COptionsMeter> createMeter();
  virtual void runComputerSetup(HWND owner);
  // The nickname dialog for the profile: IDOK when renamed; the default has none (IDCANCEL).
  virtual int runNicknameDialog(CSystemProfile* profile, CWnd* parent);
  // The warning before a folder of many files is added: IDOK to add it.
  virtual int runLargeFolderDialog(CWnd* parent, const CString& folder);
};

COptionsHost& optionsHost();
// Installs `host` (not owned; null restores the default).
void setOptionsHost(COptionsHost* host);

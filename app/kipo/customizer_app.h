// CCustomizerApp: the main program's application object. It decides whether this process may run
// at all (shell version, a running instance), starts the recovery watcher, loads the language
// library, finds the drive, starts the log, builds the hidden main frame with its two document
// templates, loads and checks the customization and opens the device; afterwards it owns the
// program-wide objects (switchboard, tray icon, drive detector, customization, language library),
// keeps the device state, runs the nested message pump that long work uses, holds back a close
// while a login pass runs and turns exceptions that reach the message loop into log lines.
// CCustomizerCommandLineInfo reads the command line into it.
#pragma once

#include <memory>

#include "app/customization.h"
#include "app/device_detector.h"
#include "app/installer.h"
#include "app/lingrove.h"
#include "app/user_credentials.h"
#include "app/switchboard.h"
#include "platform/afx/afxwin.h"

class CCustomizerDoc;
class CCustomizerView;
class CStandbyView;
class CSpaceMan;
class CTrayIcon;
class CAppServices;

// Start modes of the command line.
inline constexpr int kStartHandoff = 0;
inline constexpr int kStartLaunch = 1;
inline constexpr int kStartRecover = 2;

// Device states.
inline constexpr int kNoDeviceOpen = 0;
inline constexpr int kDeviceOpen = 1;
inline constexpr int kDeviceUndecided = 2;

// Window classes of a main frame that count as a running instance.
inline constexpr const char16_t* kEarlierMainFrameClass = u"CustomizerMainFrameClass";
inline constexpr const char16_t* kMainFrameClass = u"KipoMainFrameClass";

class CCustomizerApp : public CWinApp {
 public:
  CCustomizerApp();
  ~CCustomizerApp() override;

  BOOL InitInstance() override;
  int Run() override;
  int ExitInstance() override;
  LRESULT ProcessWndProcException(CException* e, const MSG* pMsg) override;

  // The nested pump: dispatches what is waiting in the queue and returns; a WM_CLOSE that arrives
  // while the document is busy is held back (pendingClose) instead.
  void processMessages();
  bool handleStartupAction();
  bool openDevice();
  void setDevicePresence(int state);
  bool onDeviceRemoved();
  bool reopenSecureArea();
  void updateSecureDriveSupport();
  // The device root (empty when none is known): the command line's, the device object's, else the
  // stored one (which may ask the user to choose a drive).
  static CString getDevicePath();
  bool readStoredDevicePath(bool allowChoice);
  bool chooseDevice(CString& path);
  void storeDevicePath(const CString& path);
  void setDriveEnvironment();
  bool relaunchFromDevice();
  bool runLoginLogoutHook(int kind);
  bool isHostPersonalized();
  bool initProfileDatabase();
  bool isAlreadyRunning();
  bool checkShellVersion();
  bool matchLanguage(CString& code);
  void writeNoLoginPage();
  void startLogFile();
  void writeStopLine();
  void createTrayIcon();
  LRESULT forwardTrayNotification(UINT mouseMessage);
  HWND getMessageBoxOwner();
  CCustomizerDoc* getDocument();
  CCustomizerView* getView();
  CStandbyView* getStandbyView();
  CSpaceMan* getSpaceMan();
  bool enableAutostart();
  bool disableAutostart();
  bool isAutostartEnabled();
  void onEndSession();
  void shutdownDeviceSide();
  CString getLanguage() const { return languageCode; }

  // The switchboard's four wrappers; without a switchboard a message is freed and nothing is
  // delivered.
  bool addListener(CSwitchboardListener* listener);
  bool removeListener(CSwitchboardListener* listener);
  bool postAppMessage(CAppMessage* message);
  bool sendAppMessage(CAppMessage* message);

  afx_msg void OnFileNew();

  // Installs the application's services for the library parts (start-up does it before it reads
  // the command line); they stay until the application object goes.
  void installServices();

  CAppServices* services() { return m_services.get(); }
  CDeviceDetector& getDeviceDetector() { return deviceDetector; }
  CU3CustomConfig& getCustomization() { return customization; }
  CSwitchboard* getSwitchboard() { return switchboard.get(); }
  int getDeviceState() const { return deviceState; }
  // The standby view's "use the new drive" command is choosing a drive.
  void setChoosingNewDrive(bool on) { choosingNewDrive = on; }

  CString logPath;
  bool pendingClose = false;
  int startMode = kStartLaunch;
  CString devicePath;
  CInstaller installer;
  bool alreadyRunning = false;
  int deviceState = kDeviceUndecided;
  CDocTemplate* customizerTemplate = nullptr;
  CDocTemplate* standbyTemplate = nullptr;
  CDocument* customizerDocument = nullptr;
  CDocument* standbyDocument = nullptr;
  std::unique_ptr<CSwitchboard> switchboard;
  CDeviceDetector deviceDetector;
  CUserCredentials adminCredentials;
  CString languageCode;
  // The device path came from the command line: published (KIPO_DRIVE) once start-up knows it is
  // the one instance, and taken as the drive choice when none is stored.
  bool deviceFromCommandLine = false;
  std::unique_ptr<Lingrove> language;
  CU3CustomConfig customization;

 protected:
  DECLARE_MESSAGE_MAP()

 private:
  bool initInstanceSteps();
  void removeServices();
  void deleteSwitchboard();
  void copyToDeviceWhenMissing(const CString& fileName);
  void runRecovery();
  void logHostFacts();

  bool exitDone = false;
  // A recovery run never asks for a drive: it runs unattended after a crash.
  bool allowDriveChoice = true;
  bool choosingNewDrive = false;
  std::unique_ptr<CAppServices> m_services;
};

// Reads the command line into the application: "LANG=xxx" (any case, with or without a flag
// sign) the language, the flags handoff, launch and recover the start mode, and after handoff a
// plain word the device path.
class CCustomizerCommandLineInfo : public CCommandLineInfo {
 public:
  explicit CCustomizerCommandLineInfo(CCustomizerApp& app);
  void ParseParam(const WCHAR* pszParam, BOOL bFlag, BOOL bLast) override;

 private:
  CCustomizerApp& m_app;
};

// The application object of this program (null before it is constructed).
CCustomizerApp* customizerApp();

// The unhandled-exception filter: message 580 on the main thread, then the process ends.
LONG unhandledExceptionFilter(EXCEPTION_POINTERS* pointers);

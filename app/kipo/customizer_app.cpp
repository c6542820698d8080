// The application object: start-up in its fixed order, the device state, the nested pump with the
// held-back close, the guarded message loop and the end of the run.
#include "app/kipo/customizer_app.h"
#include "app/window_animator.h"

#include <ctime>

#include "app/customizer_exception.h"
#include "app/device_sdk.h"
#include "app/file_operation.h"
#include "app/file_util.h"
#include "app/folder_lookup.h"
#include "app/kipo/app_services.h"
#include "app/kipo/main_frame.h"
#include "app/kipo/root_views.h"
#include "app/log.h"
#include "app/messages.h"
#include "app/module_version.h"
#include "app/program_texts.h"
#include "app/registry.h"
#include "app/structured_exception.h"
#include "app/windows_helpers.h"
#include "lang/ids.h"
#include "platform/afx/archive.h"
#include "platform/afx/ole.h"
#include "platform/host/shared_section.h"
#include "platform/win32/win32.h"
#include "outlook/outlook_customizer_prefs.h"
#include "snapins/file_customizer_prefs.h"
#include "ui/select_drive_dialog.h"

namespace {

constexpr const char16_t* kInstallKey = u"HKEY_CURRENT_USER\\Software\\Brackwater\\Kipo\\install";
constexpr const char16_t* kProductKey = u"HKEY_CURRENT_USER\\Software\\Brackwater\\Kipo";
constexpr const char16_t* kSnapinsKey = u"HKEY_CURRENT_USER\\Software\\Brackwater\\Kipo\\localPrefs\\Snapins";
constexpr const char16_t* kIeKey = u"HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Internet Explorer";
constexpr const char16_t* kDevicePathValue = u"devicePath";
constexpr const char16_t* kSerialValue = u"deviceSerialNumber";
constexpr const char16_t* kRegistryKeyName = u"BrackwaterTechnologies";
constexpr const char16_t* kWatcherProgram = u"Tolvane.exe";
constexpr const char16_t* kUninstaller = u"Varrick.exe";
constexpr const char16_t* kNoLoginPage = u"nologin.html";
constexpr const char16_t* kDiagnosticFile = u"c:\\KipoDiag.txt";
constexpr const char16_t* kComputersFolder = u"Synchronized Computers";
constexpr UINT kTrayCallbackMessage = WM_USER + 10;
constexpr UINT kTrayIconId = 356;
// How long a start waits for the main frame of another image of the program to go.
constexpr DWORD kFrameWaitMs = 3000;
constexpr DWORD kFrameWaitStepMs = 50;

// Every start that passes the shell-version gate counts itself here; never decremented, so the
// count only falls back to zero when no process of this image is left.
KIPO_SHARED_DATA(LONG, g_instanceCount);

CCustomizerApp* g_app = nullptr;

CString withBackslash(CString path) {
  if (!path.IsEmpty() && path[path.GetLength() - 1] != u'\\') path += u'\\';
  return path;
}

bool isFolder(const CString& path) {
  DWORD attributes = GetFileAttributesW(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

CString deviceDisplayName() {
  return g_app ? g_app->getDeviceDetector().getDeviceDisplayName() : g_deviceName;
}

bool onMainThread() {
  return g_app && GetCurrentThreadId() == g_app->m_nThreadID;
}

void showMustEnd(const CString& logPath) {
  if (!onMainThread()) return;
  showMessageById(IDS_APP_MUST_END, kProductName, kProductName,
                  logPath.IsEmpty() ? CString(u"Kipo.html") : logPath, g_supportEmailAddress);
}

// Appends `piece` to the file as it stands (8-bit).
bool writePiece(HANDLE file, const std::string& piece) {
  DWORD written = 0;
  return WriteFile(file, piece.data(), static_cast<DWORD>(piece.size()), &written, nullptr) && written == piece.size();
}

std::string utf8Of(const CString& text) {
  std::size_t length = 0;
  char* bytes = toUtf8(text, length);
  if (!bytes) return {};
  std::string result(bytes, length > 0 ? length - 1 : 0);
  free(bytes);
  return result;
}

CDocument* firstDocumentOf(CDocTemplate* docTemplate) {
  if (!docTemplate) return nullptr;
  POSITION pos = docTemplate->GetFirstDocPosition();
  return pos ? docTemplate->GetNextDoc(pos) : nullptr;
}

}  // namespace

CCustomizerApp* customizerApp() { return g_app; }

BEGIN_MESSAGE_MAP(CCustomizerApp, CWinApp)
  ON_COMMAND(ID_FILE_NEW, OnFileNew)
  ON_COMMAND(ID_APP_EXIT, CWinApp::OnAppExit)
END_MESSAGE_MAP()

// ---- the command line ---------------------------------------------------------------------------

CCustomizerCommandLineInfo::CCustomizerCommandLineInfo(CCustomizerApp& app) : m_app(app) {}

void CCustomizerCommandLineInfo::ParseParam(const WCHAR* pszParam, BOOL bFlag, BOOL bLast) {
  CString lower(pszParam);
  lower.MakeLower();
  CString upper(pszParam);
  upper.MakeUpper();
  if (upper.Find(u"LANG") >= 0) {
    int equals = upper.Find(u'=');
    if (equals >= 0) m_app.languageCode = upper.Mid(equals + 1, 3);
    CCommandLineInfo::ParseParam(pszParam, bFlag, bLast);
    return;
  }
  if (bFlag) {
    int mode = -1;
    if (lower == u"handoff") mode = kStartHandoff;
    if (lower == u"launch") mode = kStartLaunch;
    if (lower == u"recover") mode = kStartRecover;
    if (mode >= 0) {
      m_app.startMode = mode;
      CCommandLineInfo::ParseParam(pszParam, bFlag, bLast);
      return;
    }
  }
  if (m_app.startMode == kStartHandoff && !bFlag) {
    m_app.devicePath = pszParam;
    // Published once start-up knows this is the only instance.
    m_app.deviceFromCommandLine = true;
    return;
  }
  CCommandLineInfo::ParseParam(pszParam, bFlag, bLast);
}

// ---- construction and the end of the run --------------------------------------------------------

CCustomizerApp::CCustomizerApp() : CWinApp(kProductName) { g_app = this; }

CCustomizerApp::~CCustomizerApp() {
  removeServices();
  if (g_app == this) g_app = nullptr;
}

void CCustomizerApp::installServices() {
  m_services = std::make_unique<CAppServices>(*this);
  m_services->install();
}

void CCustomizerApp::removeServices() {
  if (m_services) m_services->uninstall();
  m_services.reset();
}

// ---- start-up -----------------------------------------------------------------------------------

BOOL CCustomizerApp::InitInstance() {
  installStructuredExceptionTranslator();
  SetUnhandledExceptionFilter(&unhandledExceptionFilter);
  bool started = false;
  bool failed = false;
  try {
    started = initInstanceSteps();
  } catch (CArchiveException* e) {
    failed = true;
    if (e->m_cause == CArchiveException::endOfFile) {
      CRegistry prefs(formatMessageText(u"%s\\%s", kProductKey, u"Prefs"), false, true);
      if (prefs.isOpen()) prefs.deleteKey();
      showMessageById(IDS_APP_PREFS_UNREADABLE, kProductName, kComputersFolder, deviceDisplayName());
    } else {
      showMessageText(exceptionErrorText(e));
    }
    e->Delete();
  } catch (CCustomizerException* e) {
    failed = true;
    showMessageText(e->getMessage());
    e->Delete();
  } catch (CException* e) {
    failed = true;
    showMessageText(exceptionErrorText(e));
    e->Delete();
  } catch (const CSE& e) {
    failed = true;
    describeStructuredException(e, CString(u"Application startup"), true);
  } catch (...) {
    failed = true;
    showMessageById(IDS_APP_STARTUP_ERROR);
  }
  if (failed) {
    showMustEnd(logPath);
    deleteSwitchboard();
    return FALSE;
  }
  if (!started) deleteSwitchboard();
  return started ? TRUE : FALSE;
}

bool CCustomizerApp::initInstanceSteps() {
  alreadyRunning = isAlreadyRunning();
  if (!checkShellVersion()) return false;
  InterlockedIncrement(g_instanceCount.get());

  AfxOleInit();
  AfxEnableControlContainer();
  AfxInitRichEdit();
  INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_WIN95_CLASSES};
  InitCommonControlsEx(&controls);
  SetRegistryKey(kRegistryKeyName);

  installServices();
  CCustomizerCommandLineInfo commandLine(*this);
  ParseCommandLine(commandLine);

  if (startMode == kStartRecover) {
    runRecovery();
    return false;
  }

  // The language library comes before the watcher (message 892 needs it), and a second start
  // ends before it starts a watcher, removes the autostart value or publishes its drive, so the
  // running instance is left as it was.
  language = std::make_unique<Lingrove>(languageCode, TRUE);
  if (!language->loaded) return false;
  languageCode = language->code;
  if (alreadyRunning) {
    showMessageById(IDS_APP_ALREADY_RUNNING, kProductName, kProductName);
    return false;
  }
  if (deviceFromCommandLine) setDriveEnvironment();

  // The watcher: a recovery run follows this process's end, however it ends.
  CString pid;
  pid.Format(u"%lu", GetCurrentProcessId());
  CString watcherFolder = CFolderLookup::getShellFolder(CString(u"AppData")) + u"\\Brackwater\\Kipo\\";
  SHELLEXECUTEINFOW watcher{};
  watcher.cbSize = sizeof watcher;
  watcher.fMask = SEE_MASK_NOCLOSEPROCESS;
  watcher.lpVerb = u"open";
  watcher.lpFile = kWatcherProgram;
  watcher.lpParameters = pid;
  watcher.lpDirectory = watcherFolder;
  watcher.nShow = SW_SHOWNORMAL;
  if (ShellExecuteExW(&watcher) && watcher.hProcess) CloseHandle(watcher.hProcess);

  writeNoLoginPage();
  disableAutostart();

  CString device = getDevicePath();
  if (device.IsEmpty()) {
    showMessageById(IDS_DEV_NO_DRIVE, kProductName);
    return false;
  }
  device = withBackslash(device);

  logPath = logPathForDevice(device);
  setLogPath(logPath);
  copyToDeviceWhenMissing(CString(kUninstaller));
  copyToDeviceWhenMissing(CString(kCustomizationFileName));
  startLogFile();

  switchboard = std::make_unique<CSwitchboard>();
  // The ends of the pull-down's slide and of the screen cover's withdrawal reach the view and
  // the pull-down through it.
  CWindowAnimator::setSwitchboard(switchboard.get());

  standbyTemplate = new CMultiDocTemplate(IDR_MAINFRAME_KIPO, RUNTIME_CLASS(CStandbyDoc), RUNTIME_CLASS(CMDIChildWnd),
                                          RUNTIME_CLASS(CStandbyView));
  customizerTemplate = m_services->createCustomizerTemplate();
  if (customizerTemplate) AddDocTemplate(customizerTemplate);
  AddDocTemplate(standbyTemplate);

  auto frame = std::make_unique<CMainFrame>();
  if (!frame->LoadFrame(IDR_MAINFRAME_KIPO, 0x00CF8000)) return false;
  m_pMainWnd = frame.release();

  if (!isFolder(getDevicePath())) return false;

  customization.setPaths(withBackslash(getDevicePath()), CString(kCustomizationFileName));
  if (!customization.load()) return false;
  if (!matchLanguage(languageCode)) return false;
  setDeviceDisplayName(deviceDetector.getDeviceDisplayName());
  if (customization.loaded && !customization.verifySignature()) {
    showMessageById(IDS_APP_CUSTOMIZATION_BAD);
    return false;
  }
  // The file snap-in's Desktop and My Documents records and the Outlook snap-in's special folders
  // start from the preset settings.
  if (customization.loaded) {
    CFileCustomizerPrefs::setCustomization(&customization);
    COutlookCustomizerPrefs::setCustomization(&customization);
  }

  CCommandLineInfo shellCommand;
  if (!ProcessShellCommand(shellCommand)) return false;

  srand(static_cast<unsigned>(time(nullptr)));
  m_nCmdShow = SW_HIDE;
  m_pMainWnd->ShowWindow(SW_HIDE);
  m_pMainWnd->UpdateWindow();

  customizerDocument = firstDocumentOf(customizerTemplate);
  standbyDocument = firstDocumentOf(standbyTemplate);

  createTrayIcon();
  return handleStartupAction();
}

void CCustomizerApp::runRecovery() {
  allowDriveChoice = false;
  // The log of the stored drive, when it is there, gets the recovery's lines.
  if (readStoredDevicePath(false)) {
    logPath = logPathForDevice(devicePath);
    setLogPath(logPath);
  }
  writeLog(u"handleStartupAction: Recover");
  // A running instance is still responsible for the host: recovering under it would undo its
  // session.
  if (FindWindowW(kEarlierMainFrameClass, nullptr) || FindWindowW(kMainFrameClass, nullptr)) {
    writeLog(u"handleStartupAction: An instance is running; nothing is recovered.");
    return;
  }
  m_services->recoverComputer();
}

void CCustomizerApp::copyToDeviceWhenMissing(const CString& fileName) {
  CString target = withBackslash(getDevicePath()) + fileName;
  if (fileExists(target)) return;
  copyFileOp(CFolderLookup::getProductAppDataPath() + u"\\" + fileName, target);
}

void CCustomizerApp::OnFileNew() {
  if (standbyTemplate) standbyTemplate->OpenDocumentFile(nullptr);
  if (customizerTemplate) customizerTemplate->OpenDocumentFile(nullptr);
}

bool CCustomizerApp::checkShellVersion() {
  CString shell = getShell32Path();
  if (!fileExists(shell)) {
    showMessageById(IDS_APP_SHELL32_MISSING);
    return false;
  }
  int major = 0, minor = 0, build = 0, revision = 0;
  if (!getFileVersion(shell, major, minor, build, revision)) {
    showMessageById(IDS_APP_SHELL_VERSION_UNKNOWN);
    return true;
  }
  if (major > 4 || (major == 4 && minor >= 71)) return true;
  showMessageById(IDS_APP_SHELL_TOO_OLD, kProductName);
  return false;
}

bool CCustomizerApp::isAlreadyRunning() {
  if (*g_instanceCount >= 1) return true;
  // Only a frame of another image of the program: when it is the instance that started this
  // copy of the drive and is ending, it is gone in a moment.
  auto frameExists = [] {
    return FindWindowW(kEarlierMainFrameClass, nullptr) != nullptr || FindWindowW(kMainFrameClass, nullptr) != nullptr;
  };
  for (DWORD waited = 0; frameExists(); waited += kFrameWaitStepMs) {
    if (waited >= kFrameWaitMs) return true;
    Sleep(kFrameWaitStepMs);
  }
  return false;
}

bool CCustomizerApp::handleStartupAction() {
  if (startMode == kStartHandoff) {
    writeLog(u"handleStartupAction: Handoff");
  } else if (startMode == kStartLaunch) {
    writeLog(u"handleStartupAction: Start");
  } else {
    writeLog(u"handleStartupAction: Unknown");
    return true;
  }
  if (alreadyRunning) {
    showMessageById(IDS_APP_ALREADY_RUNNING, kProductName, kProductName);
    return false;
  }
  bool known = false;
  if (deviceFromCommandLine && !CRegistry(CString(kInstallKey)).valueExists(kDevicePathValue) && isFolder(devicePath)) {
    // The drive handed over on the command line is the choice the drive dialog would ask for.
    storeDevicePath(devicePath);
    known = true;
  } else {
    known = readStoredDevicePath(true);
  }
  logHostFacts();

  if (!removeEarlierProduct({CString(u"Marrowvale"), CString(u"Ferrowind"), CString(kEarlierMainFrameClass)}))
    writeLogText(loadResString(IDS_APP_EARLIER_NOT_REMOVED));

  if (!known || !fileExists(withBackslash(getDevicePath()) + kProductName + u".exe")) {
    setDevicePresence(kNoDeviceOpen);
    return true;
  }
  updateSecureDriveSupport();
  return openDevice();
}

void CCustomizerApp::logHostFacts() {
  int a = 0, b = 0, c = 0, d = 0;
  getOwnExeVersion(a, b, c, d);
  writeLog(u"App version: %d.%d.%d.%d", a, b, c, d);
  OSVERSIONINFOW os{};
  os.dwOSVersionInfoSize = sizeof os;
  GetVersionExW(&os);
  writeLog(u"Windows version: %d.%d", static_cast<int>(os.dwMajorVersion), static_cast<int>(os.dwMinorVersion));
  CString ieVersion;
  CRegistry ie{CString(kIeKey)};
  if (!ie.getString(u"Version", ieVersion) || ieVersion.IsEmpty()) ieVersion = u"Unknown";
  writeLog(u"Internet Explorer  version: %s", ieVersion);
  MEMORYSTATUSEX memory{};
  memory.dwLength = sizeof memory;
  GlobalMemoryStatusEx(&memory);
  writeLog(u"Physical Memory (RAM): Total=%dM Available=%dM", static_cast<int>(memory.ullTotalPhys >> 20),
           static_cast<int>(memory.ullAvailPhys >> 20));
  writeLog(u"Desktop Path: %s", CFolderLookup::getDesktopPath());
  writeLog(u"Common Desktop Path: %s", CFolderLookup::getCommonDesktopPath());
  writeLog(u"Device Path: %s", getDevicePath());
  writeLog(u"Favorites Path: %s", CFolderLookup::getFavoritesPath());
  writeLog(u"My Documents Path: %s", CFolderLookup::getMyDocumentsPath());
  writeLog(u"Application Data Path: %s", CFolderLookup::getCompanyAppDataPath());
  writeLog(u"Backup Path: %s", CFolderLookup::getBackupPath());
  writeLog(u"Device Specific Backup Path: %s", CFolderLookup::getDeviceBackupPath());
}

// ---- the device ---------------------------------------------------------------------------------

bool CCustomizerApp::openDevice() {
  if (deviceState == kDeviceOpen) return true;
  m_services->showTrayIcon(false);
  if (relaunchFromDevice()) return false;
  if (!deviceDetector.openSecureArea()) {
    m_services->showTrayIcon(true);
    return false;
  }
  setDevicePresence(kDeviceOpen);
  initProfileDatabase();
  CString root = withBackslash(getDevicePath());
  if (GetDriveTypeW(root) != DRIVE_REMOVABLE) {
    showMessageById(IDS_APP_NOT_REMOVABLE, kProductName, root, kProductName, deviceDisplayName());
    return false;
  }
  m_services->showTrayIcon(true);
  return m_services->startCustomizerView();
}

void CCustomizerApp::setDevicePresence(int state) {
  deviceDetector.OnDeviceArrival(state);
  if (state == kNoDeviceOpen) {
    if (isHostPersonalized()) {
      if (getDevicePath().IsEmpty()) {
        CRegistry install{CString(kInstallKey)};
        install.getString(kDevicePathValue, devicePath);
        setDriveEnvironment();
      }
      if (customizerDocument) {
        m_services->loadDevicePreferences();
        if (m_pMainWnd) m_pMainWnd->SendMessage(WM_USER + 50);
        if (!isHostPersonalized()) m_services->hostCleanup();
      }
    }
    if (m_pMainWnd && getStandbyView()) {
      m_services->destroyLoginPulldown();
      m_services->activateView(reinterpret_cast<CView*>(getStandbyView()));
    }
  } else {
    CString root = withBackslash(getDevicePath());
    DWORD clusterSize = getClusterSize(root);
    setDriveClusterSize(clusterSize);
    CRegistry install(CString(kInstallKey), true, true);
    install.setDword(kSerialValue, getVolumeSerialNumber(root));
    writeLog(u"Device Cluster Size: %d", static_cast<int>(clusterSize));
    if (m_pMainWnd && getView()) m_services->activateCustomizerView();
  }
  deviceState = state;
}

bool CCustomizerApp::onDeviceRemoved() {
  m_services->cancelOpenDialogs();
  if (deviceState != kNoDeviceOpen) {
    setDevicePresence(kNoDeviceOpen);
    if (customizerDocument) m_services->hostCleanup();
  }
  return true;
}

bool CCustomizerApp::reopenSecureArea() {
  m_services->showTrayIcon(false);
  m_services->enableOpenDialogs(false);
  if (!deviceDetector.openSecureArea()) return false;
  updateSecureDriveSupport();
  m_services->showTrayIcon(true);
  m_services->enableOpenDialogs(true);
  return true;
}

void CCustomizerApp::updateSecureDriveSupport() { ::updateSecureDriveSupport(); }

CString CCustomizerApp::getDevicePath() {
  CCustomizerApp* app = g_app;
  if (!app) return CString();
  if (!app->devicePath.IsEmpty()) return app->devicePath;
  if (CDeviceSdk* sdk = app->deviceDetector.getDeviceSdk()) return sdk->getDrivePath();
  if (app->readStoredDevicePath(app->allowDriveChoice)) return app->devicePath;
  return CString();
}

bool CCustomizerApp::readStoredDevicePath(bool allowChoice) {
  CString stored;
  CRegistry install{CString(kInstallKey)};
  if (!install.isOpen() || !install.getString(kDevicePathValue, stored)) {
    if (allowChoice) return chooseDevice(devicePath);
    return false;
  }
  bool ok = false;
  if (!isFolder(stored)) return false;
  getDiskFreeSpace(stored, ok);
  if (!ok) return false;
  devicePath = stored;
  setDriveEnvironment();
  return true;
}

bool CCustomizerApp::chooseDevice(CString& path) {
  CSelectDriveDialog dialog;
  if (dialog.DoModal() == IDCANCEL) return false;
  path = dialog.selectedDriveRoot();
  if (!isFolder(path)) {
    path.Empty();
    return false;
  }
  if (!CInstaller::isAppInstalledAt(path) && !copyAppToPath(path, true, false))
    showMessageById(IDS_APP_INSTALL_FAILED, kProductName, deviceDisplayName());
  storeDevicePath(path);
  return true;
}

void CCustomizerApp::storeDevicePath(const CString& path) {
  CRegistry install(CString(kInstallKey), true, true);
  if (!install.isOpen() || !install.setString(kDevicePathValue, path))
    showMessageById(IDS_APP_PATH_NOT_SAVED, deviceDisplayName());
  devicePath = path;
  setDriveEnvironment();
}

void CCustomizerApp::setDriveEnvironment() {
  if (devicePath.IsEmpty()) return;
  if (m_services) m_services->publishDriveLetter(devicePath.Left(1));
}

bool CCustomizerApp::relaunchFromDevice() {
  CString file = withBackslash(getDevicePath()) + kProductName + u".exe";
  bool differs = false;
  if (!fileDiffersFromOwn(file, differs) || !differs) return false;
  writeLog(u"{Customizer App}: The currently running version is different from the device version...relaunch.");
  writeLog(u"{Customizer App}: Relaunching setup app with device path: %s", file);
  CString folder = withBackslash(getDevicePath());
  // The copy waits a moment for this instance's frame to go (isAlreadyRunning), which the exit
  // below destroys at once.
  HINSTANCE result = ShellExecuteW(nullptr, u"open", file, u"", folder, SW_SHOWNORMAL);
  if (reinterpret_cast<INT_PTR>(result) <= 32) return false;
  if (m_pMainWnd) m_pMainWnd->SendMessage(WM_COMMAND, ID_APP_EXIT);
  return true;
}

bool CCustomizerApp::runLoginLogoutHook(int kind) {
  const char16_t* names[2] = {nullptr, nullptr};
  if (kind == 1) {
    names[0] = u"KipoLogin.bat";
    names[1] = u"KipoLogin.exe";
  } else if (kind == 3) {
    names[0] = u"KipoLogout.bat";
    names[1] = u"KipoLogout.exe";
  } else {
    return false;
  }
  for (const char16_t* name : names) {
    CString file = getDevicePath() + name;
    if (fileExists(file)) return shellOpen(file, false);
  }
  return false;
}

bool CCustomizerApp::isHostPersonalized() {
  CRegistry snapins{CString(kSnapinsKey)};
  CStringList names;
  if (!snapins.isOpen() || !snapins.getSubkeyNames(names, true)) return false;
  for (POSITION pos = names.GetHeadPosition(); pos;) {
    CRegistry snapin{names.GetNext(pos)};
    bool personalized = false;
    if (snapin.getBool(u"personalized", personalized) && personalized) return true;
  }
  return false;
}

bool CCustomizerApp::initProfileDatabase() {
  if (!customizerDocument)
    throw new CCustomizerException(CString(u"Unable to initialize profile database because document not created."));
  m_services->loadDevicePreferences();
  return true;
}

bool CCustomizerApp::matchLanguage(CString& code) { return matchLanguageToCustomization(code, customization); }

void CCustomizerApp::writeNoLoginPage() {
  CString path = CFolderLookup::getProductAppDataPath() + u"\\" + kNoLoginPage;
  HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  const std::string pieces[] = {
      "<HTML>\r\n<META http-equiv=\"Content-Type\" content=\"text/html;charset=UTF-8\">\r\n"
      "<TITLE>Kipo Nologin.html File</TITLE>\r\n",
      "\r\n<BODY>\r\n",
      "<style type=\"text/css\">",
      "</style>\r\n",
      "<p class=Normal>\r\n<center>\r\n",
      utf8Of(loadResString(IDS_APP_NOLOGIN_TEXT)),
      "<img src=\"takedevice.gif\" width=\"278\" height=\"109\">\r\n",
      "<a href=\"**qx_synchronize\">\r\n",
      utf8Of(loadResString(IDS_APP_NOLOGIN_LINK)),
      "</a>\r\n</p>",
      "</center>\r\n</BODY>\r\n</HTML>\r\n",
  };
  for (const std::string& piece : pieces)
    if (!writePiece(file, piece)) break;
  CloseHandle(file);
}

void CCustomizerApp::startLogFile() { ::startLogFile(); }

void CCustomizerApp::writeStopLine() { ::writeStopLine(); }

void CCustomizerApp::createTrayIcon() { m_services->createTrayIcon(kTrayCallbackMessage, kTrayIconId); }

LRESULT CCustomizerApp::forwardTrayNotification(UINT mouseMessage) {
  CRootView* view = deviceState == kDeviceOpen ? m_services->customizerRootView() : getStandbyView();
  if (view) view->OnTrayIconNotify(kTrayIconId, mouseMessage);
  return 0;
}

HWND CCustomizerApp::getMessageBoxOwner() {
  if (HWND owner = m_services ? m_services->openDialogWindow() : nullptr) return owner;
  return m_pMainWnd ? m_pMainWnd->GetSafeHwnd() : nullptr;
}

CCustomizerDoc* CCustomizerApp::getDocument() { return m_services ? m_services->document() : nullptr; }

CCustomizerView* CCustomizerApp::getView() { return m_services ? m_services->view() : nullptr; }

CStandbyView* CCustomizerApp::getStandbyView() {
  if (!standbyDocument) return nullptr;
  POSITION pos = standbyDocument->GetFirstViewPosition();
  return pos ? static_cast<CStandbyView*>(standbyDocument->GetNextView(pos)) : nullptr;
}

CSpaceMan* CCustomizerApp::getSpaceMan() { return m_services ? m_services->spaceMan() : nullptr; }

bool CCustomizerApp::enableAutostart() { return CInstaller::addAutostart(); }

bool CCustomizerApp::disableAutostart() { return CInstaller::removeAutostart(); }

bool CCustomizerApp::isAutostartEnabled() { return !customization.loaded && CInstaller::hasAutostart(); }

void CCustomizerApp::onEndSession() {
  if (customizerDocument) m_services->hostCleanup();
}

void CCustomizerApp::deleteSwitchboard() {
  CWindowAnimator::setSwitchboard(nullptr);
  switchboard.reset();
}

void CCustomizerApp::shutdownDeviceSide() {
  DeviceKind kind = kNoDeviceKind;
  if (deviceDetector.detectDeviceKind(kind) && kind != kNoDeviceKind) {
    if (CDeviceSdk* sdk = deviceDetector.getDeviceSdk()) sdk->logout();
  }
  deleteSwitchboard();
  language.reset();
}

int CCustomizerApp::ExitInstance() {
  // WM_ENDSESSION runs it already; the framework's own call afterwards must not repeat it.
  if (exitDone) return 0;
  exitDone = true;
  writeStopLine();
  deleteSwitchboard();
  language.reset();
  return CWinApp::ExitInstance();
}

// ---- the switchboard ----------------------------------------------------------------------------

bool CCustomizerApp::addListener(CSwitchboardListener* listener) {
  return switchboard ? switchboard->addListener(listener) : false;
}

bool CCustomizerApp::removeListener(CSwitchboardListener* listener) {
  return switchboard ? switchboard->removeListener(listener) : false;
}

bool CCustomizerApp::postAppMessage(CAppMessage* message) {
  if (switchboard) return switchboard->postMessage(message);
  delete message;
  return true;
}

bool CCustomizerApp::sendAppMessage(CAppMessage* message) {
  if (switchboard) return switchboard->sendMessage(message);
  delete message;
  return true;
}

// ---- the message loop ---------------------------------------------------------------------------

void CCustomizerApp::processMessages() {
  guardedStep(u"CCustomizerApp::processMessages", [&] {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        // The outer loop ends on it.
        PostQuitMessage(static_cast<int>(msg.wParam));
        return;
      }
      if (msg.message == WM_CLOSE && m_services->isDocumentBusy()) {
        pendingClose = true;
        continue;
      }
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  });
}

int CCustomizerApp::Run() {
  for (;;) {
    int result = 0;
    bool ended = false;
    guardedStep(u"CCustomizerApp::Run", [&] {
      result = CWinApp::Run();
      ended = true;
    });
    if (ended) return result;
  }
}

LRESULT CCustomizerApp::ProcessWndProcException(CException* e, const MSG*) {
  CString text = e && e->IsKindOf(RUNTIME_CLASS(CCustomizerException))
                     ? static_cast<CCustomizerException*>(e)->getMessage()
                     : exceptionErrorText(e);
  writeLog(u"ProcessWndProcException: %s", text);
  if (e) e->Delete();
  return 0;
}

LONG unhandledExceptionFilter(EXCEPTION_POINTERS*) {
  showMustEnd(g_app ? g_app->logPath : CString());
  return EXCEPTION_EXECUTE_HANDLER;
}

// The wallpaper snap-in and its prefs (wallpaper_customizer.h).
#include "snapins/wallpaper_customizer.h"

#include "app/customizer_doc.h"
#include "app/file_util.h"
#include "app/log.h"
#include "app/preference_file.h"
#include "app/profile_database.h"
#include "app/registry.h"
#include "app/system_profile.h"
#include "app/windows_helpers.h"
#include "platform/com/active_desktop.h"
#include "platform/com/runtime.h"
#include "platform/win32/win32.h"
#include "snapins/desktop_icons.h"
#include "snapins/factory_context.h"
#include "snapins/space_man.h"

namespace {

constexpr const char16_t* kLastThemeKey =
    u"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\LastTheme";
constexpr const char16_t* kControlPanelDesktopKey = u"HKEY_CURRENT_USER\\Control Panel\\Desktop";
constexpr const char16_t* kWallpaperRegValue = u"Wallpaper";
constexpr const char16_t* kWallpaperStyleRegValue = u"WallpaperStyle";
constexpr const char16_t* kSynchronizedComputersKey = u"Synchronized Computers";
// The shell's own converted copy of a wallpaper on XP; the theme names the image it came from.
constexpr const char16_t* kConvertedWallpaperName = u"wallpaper1.bmp";
constexpr const char16_t* kNoWallpaperText = u"(None)";
constexpr const char16_t* kTwoQuotes = u"\"\"";
constexpr UINT kWallpaperBufferLength = 260;

constexpr const char16_t* kLogNoActiveDesktop = u"Failed to create IActiveDesktop interface. IE 4.7 or greater required.";
constexpr const char16_t* kLogTranslatePath = u"{WALLPAPER}: Failed to translate environment path: %s";
constexpr const char16_t* kLogGetWallpaper = u"{WALLPAPER}: Failed to get wallpaper path";
constexpr const char16_t* kLogGetOptions = u"{WALLPAPER}: Failed to get wallpaper options";
constexpr const char16_t* kLogGetComponents = u"{WALLPAPER}: Failed to get components options";
constexpr const char16_t* kLogApplySwitches = u"{WALLPAPER}: Failed to apply active desktop settings.";
constexpr const char16_t* kLogBackupCapture = u"{WALLPAPER}: Failed to capture wallpaper preferences for backup.";
constexpr const char16_t* kLogBackupSave = u"{WALLPAPER}: Failed to save wallpaper preferences for backup.";
constexpr const char16_t* kLogNoBackup = u"{WALLPAPER}: Failed to restore because there is no backup.";
constexpr const char16_t* kLogRestoreRead = u"{WALLPAPER}: Failed to read wallpaper preferences for restore.";
constexpr const char16_t* kLogRestoreApply = u"{WALLPAPER}: Failed to apply wallpaper preferences for restore";

// "Synchronized Computers\<key>\Wallpaper", below the store's root.
CString computerSubkey(const CSystemProfile& profile, const CCustomizer& customizer) {
  CString subkey;
  subkey.Format(u"%s\\%s\\%s", CString(kSynchronizedComputersKey), profile.getKey(), customizer.getName());
  return subkey;
}

// The name a stored wallpaper path gives its image on the drive. The path comes from the drive's
// pref file: a name that could reach outside the computer's folder ("." or "..", a drive or
// folder part left after the last backslash) or that no file can have (the two quotes that
// stand for no wallpaper) gives none.
CString driveImageName(const CString& storedPath) {
  const CString name = getFileName(storedPath);
  if (name.IsEmpty() || name == u"." || name == u"..") return CString();
  for (const char16_t c : {u'/', u':', u'*', u'?', u'"', u'<', u'>', u'|'}) {
    if (name.Find(c) >= 0) return CString();
  }
  return name;
}

// The environment references of a text expanded; false when the system cannot expand it.
bool expandEnvironmentText(const CString& text, CString& expanded) {
  const DWORD needed = ExpandEnvironmentStringsW(text.GetString(), nullptr, 0);
  if (needed == 0) return false;
  CString out;
  const DWORD n = ExpandEnvironmentStringsW(text.GetString(), out.GetBuffer(static_cast<int>(needed)), needed);
  if (n == 0 || n > needed) {
    out.ReleaseBuffer(0);
    return false;
  }
  out.ReleaseBuffer(static_cast<int>(n) - 1);
  expanded = out;
  return true;
}

bool setSwitches(IActiveDesktop* desktop, bool activeDesktop, bool components) {
  COMPONENTSOPT options{};
  options.dwSize = sizeof options;
  options.fEnableComponents = components ? TRUE : FALSE;
  options.fActiveDesktop = activeDesktop ? TRUE : FALSE;
  if (SUCCEEDED(desktop->SetDesktopItemOptions(&options, 0))) return true;
  writeLog(kLogApplySwitches);
  return false;
}

}  // namespace

// ---- CWallpaperPrefs --------------------------------------------------------------------------------

bool CWallpaperPrefs::read(CRegistry& key) {
  bool ok = key.getString(kWallpaperPathValue, wallpaperPath);
  DWORD style = 2;
  if (key.getDword(kWallpaperStyleValue, style)) wallpaperStyle = style;
  else ok = false;
  bool used = activeDesktopUsed;
  if (key.getBool(kActiveDesktopUsedValue, used)) activeDesktopUsed = used;
  else ok = false;
  bool components = webComponentsEnabled;
  if (key.getBool(kWebComponentsEnabledValue, components)) webComponentsEnabled = components;
  key.getString(kWallpaperNonADPathValue, wallpaperNonADPath);
  return ok;
}

bool CWallpaperPrefs::write(CRegistry& key) {
  bool ok = key.setString(kWallpaperPathValue, wallpaperPath);
  ok = key.setDword(kWallpaperStyleValue, wallpaperStyle) && ok;
  ok = key.setBool(kActiveDesktopUsedValue, activeDesktopUsed) && ok;
  ok = key.setBool(kWebComponentsEnabledValue, webComponentsEnabled) && ok;
  ok = key.setString(kWallpaperNonADPathValue, wallpaperNonADPath) && ok;
  return ok;
}

bool CWallpaperPrefs::capture() {
  IActiveDesktop* desktop = m_customizer ? m_customizer->getActiveDesktop() : nullptr;
  if (!desktop) return false;
  WCHAR buffer[kWallpaperBufferLength] = {};
  const bool windows2000 = isWindows2000();
  if (isWindowsXP()) {
    CString themed;
    CRegistry(CString(kLastThemeKey)).getString(kWallpaperRegValue, themed);
    if (!expandEnvironmentText(themed, wallpaperPath)) {
      writeLog(kLogTranslatePath, themed);
      return false;
    }
    if (SUCCEEDED(desktop->GetWallpaper(buffer, kWallpaperBufferLength, 0))) {
      const CString answer(buffer);
      if (!equalsNoCase(getFileName(answer), CString(kConvertedWallpaperName))) wallpaperPath = answer;
    }
  } else {
    if (FAILED(desktop->GetWallpaper(buffer, kWallpaperBufferLength, 0))) {
      writeLog(kLogGetWallpaper);
      return false;
    }
    wallpaperPath = CString(buffer);
    if (windows2000) {
      wallpaperNonADPath.Empty();
      CRegistry(CString(kControlPanelDesktopKey)).getString(kWallpaperRegValue, wallpaperNonADPath);
      if (wallpaperNonADPath == kNoWallpaperText || !fileExists(wallpaperNonADPath)) wallpaperNonADPath.Empty();
    }
  }
  WALLPAPEROPT options{};
  options.dwSize = sizeof options;
  if (FAILED(desktop->GetWallpaperOptions(&options, 0))) {
    writeLog(kLogGetOptions);
    return false;
  }
  wallpaperStyle = options.dwStyle;
  COMPONENTSOPT components{};
  components.dwSize = sizeof components;
  if (FAILED(desktop->GetDesktopItemOptions(&components, 0))) {
    writeLog(kLogGetComponents);
    return false;
  }
  webComponentsEnabled = components.fEnableComponents != FALSE;
  activeDesktopUsed = components.fActiveDesktop != FALSE;
  if (windows2000) {
    if (!activeDesktopUsed) wallpaperPath = wallpaperNonADPath;
    if (!fileExists(wallpaperPath)) wallpaperPath.Empty();
  }
  return true;
}

bool CWallpaperPrefs::apply(bool personalizing) {
  IActiveDesktop* desktop = m_customizer ? m_customizer->getActiveDesktop() : nullptr;
  if (!desktop) return false;
  bool ok = true;
  const bool windows2000 = isWindows2000();
  if (personalizing) {
    // XP paints any image without Active Desktop; older systems need it for all but bitmaps.
    const bool needsActiveDesktop = !isWindowsXP() && !equalsNoCase(getFileExtension(wallpaperPath), CString(u".bmp"));
    ok = setSwitches(desktop, needsActiveDesktop, false) && ok;
  } else {
    if (windows2000) {
      ok = SUCCEEDED(desktop->SetWallpaper(wallpaperNonADPath.GetString(), 0)) && ok;
      ok = SUCCEEDED(desktop->ApplyChanges(AD_APPLY_ALL)) && ok;
    }
    ok = setSwitches(desktop, activeDesktopUsed, webComponentsEnabled) && ok;
  }
  const CString wallpaper = wallpaperPath == kTwoQuotes ? CString() : wallpaperPath;
  ok = SUCCEEDED(desktop->SetWallpaper(wallpaper.GetString(), 0)) && ok;
  WALLPAPEROPT options{};
  options.dwSize = sizeof options;
  options.dwStyle = wallpaperStyle;
  ok = SUCCEEDED(desktop->SetWallpaperOptions(&options, 0)) && ok;
  if (!windows2000) {
    CRegistry controlPanel(CString(kControlPanelDesktopKey), true, true);
    CString style;
    style.Format(u"%d", static_cast<int>(wallpaperStyle));
    ok = controlPanel.setString(kWallpaperRegValue, wallpaper) && ok;
    ok = controlPanel.setString(kWallpaperStyleRegValue, style) && ok;
  }
  ok = SUCCEEDED(desktop->ApplyChanges(AD_APPLY_ALL)) && ok;
  CDesktopIconStore store;
  if (findDesktopListView(store)) InvalidateRect(store.listView, nullptr, TRUE);
  return ok;
}

// ---- CWallpaperCustomizer -----------------------------------------------------------------------------

CWallpaperCustomizer::CWallpaperCustomizer() : CWallpaperCustomizer(factorySpaceMan()) {}

CWallpaperCustomizer::CWallpaperCustomizer(CSpaceMan* spaceMan)
    : CCustomizer(CString(kWallpaperSnapinName)), m_synchronizer(this) {
  if (spaceMan) spaceMan->addSynchronizer(this, &m_synchronizer);
}

CWallpaperCustomizer::~CWallpaperCustomizer() {
  if (m_activeDesktop) m_activeDesktop->Release();
}

IActiveDesktop* CWallpaperCustomizer::getActiveDesktop() {
  if (m_activeDesktop) return m_activeDesktop;
  if (FAILED(CoCreateInstance(CLSID_ActiveDesktop, nullptr, CLSCTX_INPROC_SERVER, IID_IActiveDesktop,
                              reinterpret_cast<void**>(&m_activeDesktop))) ||
      !m_activeDesktop) {
    m_activeDesktop = nullptr;
    writeLog(kLogNoActiveDesktop);
  }
  return m_activeDesktop;
}

bool CWallpaperCustomizer::backup() {
  CWallpaperPrefs prefs(this);
  if (!prefs.capture()) {
    writeLog(kLogBackupCapture);
    return false;
  }
  CRegistry key(CString(kWallpaperBackupKey), true, true);
  if (!key.isOpen() || !prefs.write(key)) {
    writeLog(kLogBackupSave);
    return false;
  }
  return CCustomizer::backup();
}

int CWallpaperCustomizer::getSourceState() {
  CRegistry key{CString(kWallpaperBackupKey)};
  if (!key.isOpen()) return kSourceNothing;
  CWallpaperPrefs prefs(this);
  return prefs.read(key) ? kSourcePresent : kSourceNothing;
}

bool CWallpaperCustomizer::personalize() {
  setPersonalized(true);
  CProfileDatabase& profiles = getProfileDatabase();
  CSystemProfile* self = profiles.getThisComputerProfile();
  if (self && self->isLoginComputer()) return true;
  CSystemProfile* login = profiles.getLoginProfile();
  CWallpaperPrefs prefs(this);
  if (!login || !readComputerPrefs(login, prefs)) return true;
  prefs.wallpaperPath = getComputerWallpaperPath(login);
  if (!prefs.apply(true)) return false;
  m_personalized = true;
  return true;
}

bool CWallpaperCustomizer::restore() {
  bool ok = true;
  if (getSourceState() == kSourceNothing) {
    writeLog(kLogNoBackup);
    ok = false;
  }
  CRegistry key{CString(kWallpaperBackupKey)};
  if (!key.isOpen()) {
    // Nothing was kept at login: whatever the host shows now is all there is to keep.
    writeLog(kLogRestoreRead);
    setPersonalized(false);
    return false;
  }
  CWallpaperPrefs prefs(this);
  if (!prefs.read(key)) {
    writeLog(kLogRestoreRead);
    ok = false;
  }
  if (!prefs.apply(false)) {
    writeLog(kLogRestoreApply);
    ok = false;
  }
  setPersonalized(false);
  return ok;
}

ULONGLONG CWallpaperCustomizer::getDeviceSpace(CSpaceRecord* record) {
  if (!record || !record->profile) return 0;
  const CString image = getComputerWallpaperPath(record->profile);
  const ULONGLONG bytes = !image.IsEmpty() && fileExists(image) ? getFileSize(image, true) : 0;
  record->setDeviceBytes(bytes);
  return bytes;
}

bool CWallpaperCustomizer::preExecuteSyncOps() { return m_synchronizer.preExecuteSyncOps(); }

bool CWallpaperCustomizer::postExecuteSyncOps(CSystemProfile* profile, int executionResult) {
  return m_synchronizer.postExecute(profile, executionResult);
}

bool CWallpaperCustomizer::readComputerPrefs(CSystemProfile* profile, CWallpaperPrefs& prefs) {
  if (!profile) return false;
  CPreferenceFile& store = getDevicePrefs();
  if (!store.openSubkey(computerSubkey(*profile, *this))) return false;
  return prefs.read(store);
}

bool CWallpaperCustomizer::writeComputerPrefs(CSystemProfile* profile, CWallpaperPrefs& prefs) {
  if (!profile) return false;
  CPreferenceFile& store = getDevicePrefs();
  // Writes go by path: a computer without stored prefs gets its key here.
  store.openSubkey(computerSubkey(*profile, *this));
  return prefs.write(store);
}

CString CWallpaperCustomizer::getComputerWallpaperPath(CSystemProfile* profile) {
  if (!profile) return CString();
  CPreferenceFile& store = getDevicePrefs();
  if (!store.openSubkey(computerSubkey(*profile, *this))) return CString();
  CString stored;
  if (!store.getString(kWallpaperPathValue, stored) || stored.IsEmpty()) return CString();
  const CString name = driveImageName(stored);
  if (name.IsEmpty()) return CString();
  return joinPath(profile->getDeviceFolder(), name);
}

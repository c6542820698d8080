// A fresh host's registry contents, written through the Win32 registry calls while the host is
// being created (after the registry's own structural keys, order 10).
#include "platform/host/host_registry.h"

#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <string>

#include "platform/base/text.h"
#include "platform/host/create.h"
#include "platform/host/environment.h"
#include "platform/host/host.h"
#include "platform/win32/locale.h"
#include "platform/win32/registry.h"

namespace platform::host {

namespace {

constexpr const char16_t* kExplorer = u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer";
constexpr const char16_t* kStartPage = u"http://www.microsoft.com/isapi/redir.dll?prd=ie&pver=6&ar=msnhome";
constexpr const char16_t* kWallpaper = u"C:\\WINDOWS\\Web\\Wallpaper\\Bliss.bmp";

// An open key for writing; creation failing means the host cannot be made.
class Key {
 public:
  Key(HKEY root, std::u16string_view path) {
    std::u16string p(path);
    LONG rc = RegCreateKeyExW(root, p.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_, nullptr);
    if (rc != ERROR_SUCCESS)
      throw std::runtime_error("cannot create registry key " + text::toUtf8(p) + " (error " + std::to_string(rc) + ")");
  }
  ~Key() { RegCloseKey(key_); }
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;

  void text(const char16_t* name, std::u16string_view value, DWORD type = REG_SZ) {
    std::u16string data(value);
    set(name, type, data.c_str(), static_cast<DWORD>((data.size() + 1) * sizeof(char16_t)));
  }
  void expandable(const char16_t* name, std::u16string_view value) { text(name, value, REG_EXPAND_SZ); }
  void number(const char16_t* name, DWORD value) { set(name, REG_DWORD, &value, sizeof value); }

 private:
  void set(const char16_t* name, DWORD type, const void* data, DWORD size) {
    LONG rc = RegSetValueExW(key_, name, 0, type, static_cast<const BYTE*>(data), size);
    if (rc != ERROR_SUCCESS)
      throw std::runtime_error("cannot set registry value " + text::toUtf8(name) + " (error " + std::to_string(rc) + ")");
  }
  HKEY key_ = nullptr;
};

void writeShellFolders(Host& host) {
  const std::u16string profile = folders::userProfile(host);
  {
    Key shell(HKEY_CURRENT_USER, std::u16string(kExplorer) + u"\\Shell Folders");
    Key user(HKEY_CURRENT_USER, std::u16string(kExplorer) + u"\\User Shell Folders");
    for (const auto& f : userShellFolders()) {
      shell.text(f.name, profile + u"\\" + f.relative);
      user.expandable(f.name, std::u16string(u"%USERPROFILE%\\") + f.relative);
    }
  }
  Key shell(HKEY_LOCAL_MACHINE, std::u16string(kExplorer) + u"\\Shell Folders");
  Key user(HKEY_LOCAL_MACHINE, std::u16string(kExplorer) + u"\\User Shell Folders");
  for (const auto& f : commonShellFolders()) {
    shell.text(f.name, std::u16string(folders::AllUsers) + u"\\" + f.relative);
    user.expandable(f.name, std::u16string(u"%ALLUSERSPROFILE%\\") + f.relative);
  }
}

void writeEnvironment() {
  // Creation order is the order the environment is built in: SystemRoot comes from the system.
  Key machine(HKEY_LOCAL_MACHINE, u"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment");
  machine.expandable(u"ComSpec", u"%SystemRoot%\\system32\\cmd.exe");
  machine.text(u"FP_NO_HOST_CHECK", u"NO");
  machine.text(u"NUMBER_OF_PROCESSORS", u"1");
  machine.text(u"OS", u"Windows_NT");
  machine.expandable(u"Path", u"%SystemRoot%\\system32;%SystemRoot%;%SystemRoot%\\System32\\Wbem");
  machine.text(u"PATHEXT", u".COM;.EXE;.BAT;.CMD;.VBS;.VBE;.JS;.JSE;.WSF;.WSH");
  machine.text(u"PROCESSOR_ARCHITECTURE", u"x86");
  machine.text(u"PROCESSOR_IDENTIFIER", u"x86 Family 6 Model 15 Stepping 6, GenuineIntel");
  machine.text(u"PROCESSOR_LEVEL", u"6");
  machine.text(u"PROCESSOR_REVISION", u"0f06");
  machine.expandable(u"TEMP", u"%SystemRoot%\\TEMP");
  machine.expandable(u"TMP", u"%SystemRoot%\\TEMP");
  machine.expandable(u"windir", u"%SystemRoot%");

  Key user(HKEY_CURRENT_USER, u"Environment");
  user.expandable(u"TEMP", u"%USERPROFILE%\\Local Settings\\Temp");
  user.expandable(u"TMP", u"%USERPROFILE%\\Local Settings\\Temp");
}

// "6.0.2900.2180" -> "62900.2180", as Internet Explorer writes its Build value.
std::u16string ieBuild(const std::string& version) {
  unsigned a = 0, b = 0, c = 0, d = 0;
  if (std::sscanf(version.c_str(), "%u.%u.%u.%u", &a, &b, &c, &d) != 4) return text::fromUtf8(version);
  return text::fromUtf8(std::to_string(a) + std::to_string(c) + "." + std::to_string(d));
}

void writeSystemIdentity(Host& host) {
  const std::u16string computer = text::upcased(host.factW(fact::ComputerName));
  for (const char16_t* which : {u"ComputerName", u"ActiveComputerName"}) {
    Key k(HKEY_LOCAL_MACHINE, std::u16string(u"SYSTEM\\CurrentControlSet\\Control\\ComputerName\\") + which);
    k.text(u"ComputerName", computer);
  }
  {
    Key nt(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion");
    nt.text(u"CurrentBuildNumber", host.factW(fact::WindowsBuild));
    nt.text(u"CurrentType", u"Uniprocessor Free");
    nt.text(u"CurrentVersion", host.factW(fact::WindowsVersion));
    nt.text(u"CSDVersion", host.factW(fact::ServicePack));
    nt.text(u"PathName", folders::Windows);
    nt.text(u"ProductName", u"Microsoft Windows XP");
    nt.text(u"RegisteredOrganization", u"");
    nt.text(u"RegisteredOwner", host.factW(fact::UserName));
    nt.text(u"SoftwareType", u"SYSTEM");
    nt.text(u"SystemRoot", folders::Windows);
  }
  {
    Key win(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion");
    win.text(u"CommonFilesDir", folders::CommonFiles);
    win.expandable(u"DevicePath", u"%SystemRoot%\\inf");
    win.text(u"MediaPath", u"C:\\WINDOWS\\Media");
    win.text(u"ProductName", u"Microsoft Windows XP");
    win.text(u"ProgramFilesDir", folders::ProgramFiles);
    win.expandable(u"ProgramFilesPath", u"%ProgramFiles%");
    win.expandable(u"WallPaperDir", u"%SystemRoot%\\Web\\Wallpaper");
  }
  Key ie(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Microsoft\\Internet Explorer");
  ie.text(u"Build", ieBuild(host.fact(fact::IeVersion)));
  ie.text(u"Version", host.factW(fact::IeVersion));
}

void writeUserSettings() {
  {
    Key main(HKEY_CURRENT_USER, u"Software\\Microsoft\\Internet Explorer\\Main");
    main.text(u"Start Page", kStartPage);
    main.text(u"Local Page", u"C:\\WINDOWS\\system32\\blank.htm");
  }
  {
    Key history(HKEY_CURRENT_USER, u"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Url History");
    history.number(u"DaysToKeep", 20);
  }
  {
    Key advanced(HKEY_CURRENT_USER, std::u16string(kExplorer) + u"\\Advanced");
    advanced.number(u"Hidden", 2);
    advanced.number(u"HideFileExt", 1);
    advanced.number(u"ShowSuperHidden", 0);
  }
  {
    Key desktop(HKEY_CURRENT_USER, u"Control Panel\\Desktop");
    desktop.text(u"TileWallpaper", u"0");
    desktop.text(u"Wallpaper", kWallpaper);
    desktop.text(u"WallpaperStyle", u"2");
  }
  {
    Key theme(HKEY_CURRENT_USER, u"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\LastTheme");
    theme.expandable(u"ThemeFile", u"%WinDir%\\Resources\\Themes\\Luna.theme");
    theme.expandable(u"Wallpaper", u"%SystemRoot%\\Web\\Wallpaper\\Bliss.bmp");
  }
  Key run(HKEY_CURRENT_USER, u"Software\\Microsoft\\Windows\\CurrentVersion\\Run");
  Key userRunOnce(HKEY_CURRENT_USER, u"Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce");
  Key machineRun(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run");
  Key machineRunOnce(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce");
}

// "Control Panel\International" as XP writes it for the user's locale, from the locale's own
// data (not a user override, there being none yet).
void writeInternational(Host& host) {
  std::string localeHex = host.fact(fact::UserLocale);
  LCID lcid = static_cast<LCID>(std::strtoul(localeHex.c_str(), nullptr, 16));
  char locale[16];
  std::snprintf(locale, sizeof locale, "%08X", lcid);
  Key intl(HKEY_CURRENT_USER, u"Control Panel\\International");
  intl.text(u"Locale", text::fromUtf8(locale));
  struct Item {
    const char16_t* name;
    LCTYPE type;
  } const items[] = {
      {u"iCountry", LOCALE_ICOUNTRY},         {u"iFirstDayOfWeek", LOCALE_IFIRSTDAYOFWEEK},
      {u"iMeasure", LOCALE_IMEASURE},         {u"s1159", LOCALE_S1159},
      {u"s2359", LOCALE_S2359},               {u"sCountry", LOCALE_SCOUNTRY},
      {u"sCurrency", LOCALE_SCURRENCY},       {u"sDate", LOCALE_SDATE},
      {u"sDecimal", LOCALE_SDECIMAL},         {u"sLanguage", LOCALE_SABBREVLANGNAME},
      {u"sList", LOCALE_SLIST},               {u"sLongDate", LOCALE_SLONGDATE},
      {u"sShortDate", LOCALE_SSHORTDATE},     {u"sThousand", LOCALE_STHOUSAND},
      {u"sTime", LOCALE_STIME},               {u"sTimeFormat", LOCALE_STIMEFORMAT},
  };
  for (const auto& item : items) {
    char16_t value[128];
    if (GetLocaleInfoW(lcid, item.type | LOCALE_NOUSEROVERRIDE, value, 128) > 0) intl.text(item.name, value);
  }
}

// The wallpaper the registry names exists, as on XP: a 1x1 bitmap standing in for the picture.
void writeWallpaperFile(Host& host) {
  static const unsigned char kBitmap[] = {
      'B', 'M', 58, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0,  // file header: size 58, bits at 54
      40, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 24, 0, 0, 0, 0, 0, 4, 0, 0, 0,
      0x13, 0x0B, 0, 0, 0x13, 0x0B, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // 72 dpi, no palette
      0xE0, 0x90, 0x40, 0,                                         // one sky-blue pixel, padded
  };
  std::ofstream out(host.cDrive() / "WINDOWS" / "Web" / "Wallpaper" / "Bliss.bmp", std::ios::binary);
  out.write(reinterpret_cast<const char*>(kBitmap), sizeof kBitmap);
}

CreateStep freshRegistry(20, [](Host& host) {
  writeShellFolders(host);
  writeEnvironment();
  writeSystemIdentity(host);
  writeUserSettings();
  writeInternational(host);
  writeWallpaperFile(host);
});

}  // namespace

const std::vector<ShellFolder>& userShellFolders() {
  static const std::vector<ShellFolder> folders = {
      {u"AppData", u"Application Data"},
      {u"Cache", u"Local Settings\\Temporary Internet Files"},
      {u"Cookies", u"Cookies"},
      {u"Desktop", u"Desktop"},
      {u"Favorites", u"Favorites"},
      {u"History", u"Local Settings\\History"},
      {u"Local AppData", u"Local Settings\\Application Data"},
      {u"Local Settings", u"Local Settings"},
      {u"My Music", u"My Documents\\My Music"},
      {u"My Pictures", u"My Documents\\My Pictures"},
      {u"NetHood", u"NetHood"},
      {u"Personal", u"My Documents"},
      {u"PrintHood", u"PrintHood"},
      {u"Programs", u"Start Menu\\Programs"},
      {u"Recent", u"Recent"},
      {u"SendTo", u"SendTo"},
      {u"Start Menu", u"Start Menu"},
      {u"Startup", u"Start Menu\\Programs\\Startup"},
      {u"Templates", u"Templates"},
  };
  return folders;
}

const std::vector<ShellFolder>& commonShellFolders() {
  static const std::vector<ShellFolder> folders = {
      {u"Common AppData", u"Application Data"},
      {u"Common Desktop", u"Desktop"},
      {u"Common Documents", u"Documents"},
      {u"Common Programs", u"Start Menu\\Programs"},
      {u"Common Start Menu", u"Start Menu"},
      {u"Common Startup", u"Start Menu\\Programs\\Startup"},
  };
  return folders;
}

}  // namespace platform::host

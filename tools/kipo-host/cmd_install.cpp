// kipo-host install: copies the built programs, modules, language libraries and the host's own
// programs into a host under their Windows names, and leaves the registry entries an install
// of them leaves (App Paths). kInstallTable below is the one list of what goes where.
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "platform/base/text.h"
#include "platform/host/paths.h"
#include "platform/win32/error.h"
#include "platform/win32/file.h"
#include "platform/win32/registry.h"
#include "platform/win32/system.h"
#include "tools/kipo-host/command.h"

namespace kipohost {
namespace {

namespace fs = std::filesystem;
namespace text = platform::text;

struct InstallEntry {
  const char* built;            // path of the built file, relative to the build folder
  const char16_t* windowsPath;  // where it goes in the host
  bool appPath;                 // registered under App Paths by its file name
  bool optional = false;        // a build may lack it: skipped with a line, not a failure
};

// What `kipo-host install` puts where. Later programs and modules of the product are added here.
const InstallEntry kInstallTable[] = {
    {"tools/hostapps/cmd.exe", u"C:\\WINDOWS\\system32\\cmd.exe", false},
    {"tools/hostapps/explorer.exe", u"C:\\WINDOWS\\explorer.exe", false},
    {"tools/hostapps/foreign.exe", u"C:\\Program Files\\Internet Explorer\\IEXPLORE.EXE", true},
    {"tools/hostapps/foreign.exe", u"C:\\Program Files\\Microsoft Office\\OFFICE11\\WINWORD.EXE", true},
    {"tools/hostapps/foreign.exe", u"C:\\Program Files\\Microsoft Office\\OFFICE11\\EXCEL.EXE", true},
    {"tools/hostapps/foreign.exe", u"C:\\Program Files\\Microsoft Office\\OFFICE11\\POWERPNT.EXE", true},
    {"tools/hostapps/foreign.exe", u"C:\\Program Files\\Microsoft Office\\OFFICE11\\OUTLOOK.EXE", true},
    // The helper programs live in the product folder under the user's application data.
    {"Utilities/Varrick.exe", u"%APPDATA%\\Brackwater\\Kipo\\Varrick.exe", false},
    {"Utilities/Tolvane.exe", u"%APPDATA%\\Brackwater\\Kipo\\Tolvane.exe", false},
    {"Utilities/Corlith.exe", u"%APPDATA%\\Brackwater\\Kipo\\Corlith.exe", false},
    // The secure-drive library (also in the system folder, where the program started from a drive
    // finds it by name) and the program's saved copy the protection flow puts on a drive.
    {"platform/modules/opdsl/OPDSL.dll", u"%APPDATA%\\Brackwater\\Kipo\\OPDSL.dll", false},
    {"platform/modules/opdsl/OPDSL.dll", u"C:\\WINDOWS\\system32\\OPDSL.dll", false},
    {"platform/modules/opdsl/QX2.sav", u"%APPDATA%\\Brackwater\\Kipo\\QX2.sav", false},
    // The product's own programs, language libraries, help file and signed default customization
    // file, in the program folder, as far as this build makes them.
    {"app/Kipo.exe", u"%APPDATA%\\Brackwater\\Kipo\\Kipo.exe", false, true},
    {"lang/Lingrove_USA.DLL", u"%APPDATA%\\Brackwater\\Kipo\\Lingrove_USA.DLL", false, true},
    {"lang/Lingrove_GBR.DLL", u"%APPDATA%\\Brackwater\\Kipo\\Lingrove_GBR.DLL", false, true},
    {"lang/Lingrove_FRA.DLL", u"%APPDATA%\\Brackwater\\Kipo\\Lingrove_FRA.DLL", false, true},
    {"lang/Lingrove_DEU.DLL", u"%APPDATA%\\Brackwater\\Kipo\\Lingrove_DEU.DLL", false, true},
    {"lang/Lingrove_ESP.DLL", u"%APPDATA%\\Brackwater\\Kipo\\Lingrove_ESP.DLL", false, true},
    {"lang/Lingrove_ITA.DLL", u"%APPDATA%\\Brackwater\\Kipo\\Lingrove_ITA.DLL", false, true},
    {"lang/Lingrove_NLD.DLL", u"%APPDATA%\\Brackwater\\Kipo\\Lingrove_NLD.DLL", false, true},
    {"lang/Lingrove_PRT.DLL", u"%APPDATA%\\Brackwater\\Kipo\\Lingrove_PRT.DLL", false, true},
    {"lang/Lingrove_JPN.DLL", u"%APPDATA%\\Brackwater\\Kipo\\Lingrove_JPN.DLL", false, true},
    {"lang/Lingrove_CHS.DLL", u"%APPDATA%\\Brackwater\\Kipo\\Lingrove_CHS.DLL", false, true},
    {"lang/Lingrove_CHT.DLL", u"%APPDATA%\\Brackwater\\Kipo\\Lingrove_CHT.DLL", false, true},
    {"lang/Lingrove_THA.DLL", u"%APPDATA%\\Brackwater\\Kipo\\Lingrove_THA.DLL", false, true},
    {"help/Kipo.chm", u"%APPDATA%\\Brackwater\\Kipo\\Kipo.chm", false, true},
    {"app/kipo.xml", u"%APPDATA%\\Brackwater\\Kipo\\kipo.xml", false, true},
};

constexpr char16_t kAppPaths[] = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";

// The build folder this kipo-host belongs to: <build>/tools/kipo-host/kipo-host.
fs::path defaultBuildFolder() {
  std::error_code ec;
  fs::path self = fs::read_symlink("/proc/self/exe", ec);
  if (ec) return {};
  return self.parent_path().parent_path().parent_path();
}

bool setString(HKEY key, const char16_t* name, const std::u16string& value) {
  return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                        static_cast<DWORD>((value.size() + 1) * sizeof(char16_t))) == ERROR_SUCCESS;
}

// Puts one file in place. Returns an empty string or what went wrong.
std::string installFile(const fs::path& source, const std::u16string& windowsPath) {
  std::u16string folder = windowsPath.substr(0, windowsPath.find_last_of(u'\\'));
  // Each missing folder on the way is made as Windows makes it (attributes and all).
  for (std::size_t i = 3; i <= folder.size(); ++i) {
    if (i < folder.size() && folder[i] != u'\\') continue;
    std::u16string part = folder.substr(0, i);
    if (GetFileAttributesW(part.c_str()) == INVALID_FILE_ATTRIBUTES && !CreateDirectoryW(part.c_str(), nullptr))
      return "cannot make " + text::toUtf8(part) + " (error " + std::to_string(GetLastError()) + ")";
  }
  platform::host::ResolvedPath target = platform::host::resolvePath(windowsPath);
  if (target.error) return "cannot place " + text::toUtf8(windowsPath) + " (error " + std::to_string(target.error) + ")";
  // A running program's image cannot be replaced, as on Windows.
  if (target.exists && platform::isRunningImage(target.linux))
    return text::toUtf8(windowsPath) + " is running (error " + std::to_string(ERROR_ACCESS_DENIED) + ")";
  std::error_code ec;
  fs::path temporary = target.linux + ".kipo-install";
  fs::copy_file(source, temporary, fs::copy_options::overwrite_existing, ec);
  if (!ec) fs::rename(temporary, target.linux, ec);
  if (ec) {
    fs::remove(temporary);
    return "cannot copy " + source.string() + ": " + ec.message();
  }
  fs::permissions(target.linux, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                    fs::perms::others_read | fs::perms::others_exec, ec);
  return {};
}

int install(const std::vector<std::string>& args) {
  fs::path build = defaultBuildFolder();
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--from" && i + 1 < args.size()) {
      build = args[++i];
    } else {
      return usageError("install [--from BUILD_DIR]");
    }
  }
  if (build.empty() || !fs::is_directory(build)) return failure("no build folder " + build.string());
  int problems = 0;
  for (const auto& entry : kInstallTable) {
    fs::path source = build / entry.built;
    if (!fs::is_regular_file(source)) {
      if (entry.optional) {
        std::fprintf(stderr, "kipo-host: skipped, not in this build: %s\n", source.c_str());
        continue;
      }
      std::fprintf(stderr, "kipo-host: not built: %s\n", source.c_str());
      ++problems;
      continue;
    }
    // A path may name the user's folders through the environment ("%APPDATA%").
    WCHAR expanded[MAX_PATH * 2] = {};
    DWORD length = ExpandEnvironmentStringsW(entry.windowsPath, expanded, MAX_PATH * 2);
    const std::u16string windowsPath = length && length <= MAX_PATH * 2 ? expanded : entry.windowsPath;
    std::string problem = installFile(source, windowsPath);
    if (!problem.empty()) {
      std::fprintf(stderr, "kipo-host: %s\n", problem.c_str());
      ++problems;
      continue;
    }
    std::printf("%s\n", text::toUtf8(windowsPath).c_str());
    if (!entry.appPath) continue;
    std::u16string path = windowsPath;
    std::u16string name = path.substr(path.find_last_of(u'\\') + 1);
    std::u16string folder = path.substr(0, path.find_last_of(u'\\'));
    HKEY key = nullptr;
    LONG rc = RegCreateKeyExW(HKEY_LOCAL_MACHINE, (kAppPaths + name).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                              KEY_WRITE, nullptr, &key, nullptr);
    if (rc == ERROR_SUCCESS) {
      if (!setString(key, u"", path) || !setString(key, u"Path", folder)) rc = ERROR_ACCESS_DENIED;
      RegCloseKey(key);
    }
    if (rc != ERROR_SUCCESS) {
      std::fprintf(stderr, "kipo-host: App Paths of %s not registered (error %ld)\n", text::toUtf8(name).c_str(),
                   static_cast<long>(rc));
      ++problems;
    }
  }
  return problems ? 1 : 0;
}

RegisterCommand installCommand({"install",
                                "install [--from BUILD_DIR]      copy the built programs into the host under their Windows names",
                                true, install});

}  // namespace
}  // namespace kipohost

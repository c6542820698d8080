// kipo-host outlook: gives the host the Outlook install the product looks for — its version in
// the registry, the MAPI libraries in the system folder (and, for a full install, the Office MAPI
// library where the MAPI stub says it is), the mail client's "DllPathEx" and Outlook's program —
// and asks a running Outlook to send a message.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "platform/base/text.h"
#include "platform/host/paths.h"
#include "platform/modules/mapistub/mapistub.h"
#include "platform/win32/error.h"
#include "platform/win32/file.h"
#include "platform/win32/locale.h"
#include "platform/win32/registry.h"
#include "platform/win32/message.h"
#include "platform/win32/window.h"
#include "tools/hostapps/foreign/mail.h"
#include "tools/kipo-host/command.h"

namespace kipohost {
namespace {

namespace fs = std::filesystem;
namespace text = platform::text;

struct OutlookVersion {
  const char* name;             // as typed: "2000"
  const char16_t* curVer;       // Outlook.Application\CurVer
  const char16_t* office;       // "9.0"
  const char16_t* programDir;   // Outlook's folder (InstallRoot's "Path" from 2002 on)
  const char16_t* qualifier;    // the MAPI component's qualifier this version records
  const char16_t* program;      // Outlook's program file name as the install writes it
};
const OutlookVersion kVersions[] = {
    {"2000", u"Outlook.Application.9", u"9.0", u"C:\\Program Files\\Microsoft Office\\Office\\", u"Microsoft\\Office\\9.0\\Outlook", u"outlook.exe"},
    {"2002", u"Outlook.Application.10", u"10.0", u"C:\\Program Files\\Microsoft Office\\Office10\\", u"", u"OUTLOOK.EXE"},
    {"2003", u"Outlook.Application.11", u"11.0", u"C:\\Program Files\\Microsoft Office\\OFFICE11\\", u"", u"OUTLOOK.EXE"},
};

constexpr char16_t kSystemMapi[] = u"C:\\WINDOWS\\system32\\mapi32.dll";
constexpr char16_t kSystemStub[] = u"C:\\WINDOWS\\system32\\mapistub.dll";
constexpr char16_t kOfficeMapiFolder[] = u"C:\\Program Files\\Common Files\\System\\MSMAPI\\";
constexpr char16_t kMailClientKey[] = u"SOFTWARE\\Clients\\Mail\\Microsoft Outlook";

fs::path buildFolder() {
  std::error_code ec;
  fs::path self = fs::read_symlink("/proc/self/exe", ec);
  return ec ? fs::path() : self.parent_path().parent_path().parent_path();
}

// Copies a built file to a Windows path, making the folders on the way. Empty or what failed.
std::string place(const fs::path& source, const std::u16string& windowsPath) {
  const std::u16string folder = windowsPath.substr(0, windowsPath.find_last_of(u'\\'));
  for (std::size_t i = 3; i <= folder.size(); ++i) {
    if (i < folder.size() && folder[i] != u'\\') continue;
    const std::u16string part = folder.substr(0, i);
    if (GetFileAttributesW(part.c_str()) == INVALID_FILE_ATTRIBUTES && !CreateDirectoryW(part.c_str(), nullptr))
      return "cannot make " + text::toUtf8(part) + " (error " + std::to_string(GetLastError()) + ")";
  }
  const platform::host::ResolvedPath target = platform::host::resolvePath(windowsPath);
  if (target.error) return "cannot place " + text::toUtf8(windowsPath) + " (error " + std::to_string(target.error) + ")";
  std::error_code ec;
  const fs::path temporary = target.linux + ".kipo-install";
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

LONG setValue(const std::u16string& path, const char16_t* name, DWORD type, const void* data, DWORD size) {
  HKEY key = nullptr;
  LONG rc = RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr,
                            &key, nullptr);
  if (rc != ERROR_SUCCESS) return rc;
  rc = RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size);
  RegCloseKey(key);
  return rc;
}
LONG setString(const std::u16string& path, const char16_t* name, const std::u16string& value) {
  return setValue(path, name, REG_SZ, value.c_str(), static_cast<DWORD>((value.size() + 1) * sizeof(char16_t)));
}

int outlookSet(const std::vector<std::string>& args) {
  const OutlookVersion* version = nullptr;
  bool internetOnly = false;
  fs::path build = buildFolder();
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--version" && i + 1 < args.size()) {
      const std::string& v = args[++i];
      for (const OutlookVersion& known : kVersions)
        if (v == known.name) version = &known;
      if (!version) return usageError("outlook set: --version is 2000, 2002 or 2003");
    } else if (args[i] == "--internet-mail-only") {
      internetOnly = true;
    } else if (args[i] == "--from" && i + 1 < args.size()) {
      build = args[++i];
    } else {
      return usageError("outlook set --version 2000|2002|2003 [--internet-mail-only]");
    }
  }
  if (!version) return usageError("outlook set --version 2000|2002|2003 [--internet-mail-only]");
  if (internetOnly && std::string(version->name) != "2000")
    return usageError("outlook set: --internet-mail-only is an Outlook 2000 setup");

  const fs::path mapi = build / "platform/modules/mapi32/mapi32.dll";
  const fs::path stub = build / "platform/modules/mapistub/mapistub.dll";
  const fs::path program = build / "tools/hostapps/foreign.exe";
  for (const fs::path& built : {mapi, stub, program})
    if (!fs::is_regular_file(built)) return failure("not built: " + built.string());

  // What an earlier setting left that this one would not write goes first.
  for (const OutlookVersion& other : kVersions)
    SHDeleteKeyW(HKEY_LOCAL_MACHINE, (u"SOFTWARE\\Microsoft\\Office\\" + std::u16string(other.office) + u"\\Outlook").c_str());
  SHDeleteKeyW(HKEY_LOCAL_MACHINE, (std::u16string(kComponentPathsKey) + u"\\" + text::fromUtf8(kMapiComponentId)).c_str());

  std::vector<std::pair<fs::path, std::u16string>> files = {
      {mapi, kSystemMapi}, {stub, kSystemStub}, {program, std::u16string(version->programDir) + version->program}};
  // The Office MAPI library sits in a folder named by the install's language.
  const std::u16string officeMapi =
      kOfficeMapiFolder + text::fromUtf8(std::to_string(GetSystemDefaultLCID() & 0xFFFF)) + u"\\MSMAPI32.DLL";
  if (!internetOnly) files.emplace_back(mapi, officeMapi);
  for (const auto& [source, target] : files)
    if (std::string problem = place(source, target); !problem.empty()) return failure(problem);

  const std::u16string office = u"SOFTWARE\\Microsoft\\Office\\" + std::u16string(version->office) + u"\\Outlook";
  LONG rc = setString(u"SOFTWARE\\Classes\\Outlook.Application\\CurVer", u"", version->curVer);
  if (rc == ERROR_SUCCESS && std::string(version->name) == "2000") {
    const DWORD mailSupport = internetOnly ? 0 : 1;
    rc = setValue(office + u"\\Setup", u"MailSupport", REG_DWORD, &mailSupport, sizeof(mailSupport));
  } else if (rc == ERROR_SUCCESS) {
    rc = setString(office + u"\\InstallRoot", u"Path", version->programDir);
  }
  if (rc == ERROR_SUCCESS) rc = setString(kMailClientKey, u"", u"Microsoft Outlook");
  if (rc == ERROR_SUCCESS) rc = setString(kMailClientKey, u"DllPathEx", internetOnly ? kSystemMapi : officeMapi);
  if (rc == ERROR_SUCCESS && !internetOnly)
    rc = setString(std::u16string(kComponentPathsKey) + u"\\" + text::fromUtf8(kMapiComponentId), version->qualifier,
                   officeMapi);
  if (rc != ERROR_SUCCESS) return failure("registry write failed (error " + std::to_string(rc) + ")");
  std::printf("Outlook %s%s\n", version->name, internetOnly ? " (Internet mail only)" : "");
  return 0;
}

// `outlook send --to ADDR --subject S --body B`: the running Outlook submits the message.
int outlookSend(const std::vector<std::string>& args) {
  constexpr const char* kUsage = "outlook send --to ADDR --subject S --body B";
  std::string to, subject, body;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (i + 1 >= args.size()) return usageError(kUsage);
    if (args[i] == "--to") to = args[++i];
    else if (args[i] == "--subject") subject = args[++i];
    else if (args[i] == "--body") body = args[++i];
    else return usageError(kUsage);
  }
  if (to.empty()) return usageError(kUsage);
  HWND outlook = FindWindowW(u"rctrl_renwnd32", nullptr);
  if (!outlook) return failure("Outlook is not running");
  std::u16string request;
  for (const std::string& part : {to, subject, body}) request += text::fromUtf8(part) + u'\0';
  COPYDATASTRUCT data{hostapps::kSendMailRequest, static_cast<DWORD>(request.size() * sizeof(char16_t)), request.data()};
  const auto hr = static_cast<HRESULT>(SendMessageW(outlook, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data)));
  if (FAILED(hr)) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(static_cast<std::uint32_t>(hr)));
    return failure(std::string("Outlook did not send the message (") + code + ")");
  }
  return 0;
}

int outlookCommand(const std::vector<std::string>& args) {
  constexpr const char* kUsage =
      "outlook set --version 2000|2002|2003 [--internet-mail-only] | outlook send --to ADDR --subject S --body B";
  if (args.empty()) return usageError(kUsage);
  const std::vector<std::string> rest(args.begin() + 1, args.end());
  if (args[0] == "set") return outlookSet(rest);
  if (args[0] == "send") return outlookSend(rest);
  return usageError(kUsage);
}

RegisterCommand outlookCommandEntry(
    {"outlook",
     "outlook set --version 2000|2002|2003 [--internet-mail-only] [--from BUILD_DIR]\n"
     "                                 install Outlook's registry entries, MAPI libraries and program\n"
     "outlook send --to ADDR --subject S --body B\n"
     "                                 the running Outlook submits a message",
     true, outlookCommand});

}  // namespace
}  // namespace kipohost

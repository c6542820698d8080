// The host's Outlook install as the registry and the component installer describe it.
#include "outlook/outlook_install.h"

#include "app/file_util.h"
#include "app/log.h"
#include "app/registry.h"
#include "app/structured_exception.h"
#include "platform/afx/exception.h"
#include "platform/modules/mapi32/mapidefs.h"
#include "platform/win32/win32.h"

namespace {

constexpr char kMapiComponent[] = "{FF1D0740-D227-11D1-A4B0-006008AF820E}";

}  // namespace

int getOutlookVersion() {
  return guardedValue(u"getOutlookVersion", 0, [] {
    CRegistry key(CString(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\Outlook.Application\\CurVer"));
    CString value;
    if (!key.getString(u"", value)) return 0;
    const std::u16string_view v(value.GetString(), static_cast<std::size_t>(value.GetLength()));
    constexpr std::u16string_view prefix = u"Outlook.Application.";
    if (v.size() < prefix.size() + 1 || v.substr(0, prefix.size()) != prefix) return 0;
    switch (v[prefix.size()]) {
      case u'7': return 1;
      case u'8': return 2;
      case u'9': return 3;
      case u'1':
        if (v.size() != prefix.size() + 2) return 0;
        return v.back() == u'0' ? 4 : v.back() == u'1' ? 5 : 0;
      default: return 0;
    }
  });
}

CString getOutlookVersionString(int version) {
  switch (version) {
    case 1: return CString(u"97");
    case 2: return CString(u"98");
    case 3: return CString(u"2000");
    case 4: return CString(u"2002");
    case 5: return CString(u"2003");
    default: return CString(u"Unknown");
  }
}

bool isSupportedOutlookVersion() {
  const int v = getOutlookVersion();
  return v >= 3 && v <= 5;
}

bool isOutlook2000InternetMailOnly() {
  CRegistry key(CString(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Office\\9.0\\Outlook\\Setup"));
  LONG support = -1;
  if (!key.getDword(u"MailSupport", support)) support = -1;
  return support == 0;
}

CString getOutlookExePath() {
  return guardedValue(u"getOutlookExePath", CString(), [] {
    CString folder;
    const int version = getOutlookVersion();
    if (version == 4 || version == 5) {
      CRegistry key(CString(version == 4 ? u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Office\\10.0\\Outlook\\InstallRoot"
                                         : u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Office\\11.0\\Outlook\\InstallRoot"),
                    true, true);
      if (!key.getString(u"path", folder)) folder.Empty();
    }
    if (folder.IsEmpty()) folder = u"C:\\Program Files\\Microsoft Office\\Office";
    return joinPath(folder, CString(u"outlook.exe"));
  });
}

CString getOutlookProfilesRegkey() {
  OSVERSIONINFOW info{};
  info.dwOSVersionInfoSize = sizeof info;
  const bool nt5 = GetVersionExW(&info) && info.dwMajorVersion >= 5;
  return CString(nt5 ? u"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows Messaging "
                       u"Subsystem\\Profiles"
                     : u"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows Messaging Subsystem\\Profiles");
}

CString getDefaultProfile() {
  return guardedValue(u"getDefaultProfile", CString(), [] {
    // Read only: a host whose Outlook has no profile keeps no profiles key.
    CRegistry key(getOutlookProfilesRegkey());
    CString name;
    if (!key.getString(u"DefaultProfile", name)) name = CString();
    return name;
  });
}

CString getMapiInstallationPath() {
  return guardedValue(u"getMapiInstallationPath", CString(), [] {
    HMODULE stub = LoadLibraryW(u"mapistub.dll");
    // The system library's name with its trailing blank is the form the stub's own loaders use.
    if (!stub) stub = LoadLibraryW(u"mapi32.dll ");
    if (!stub) return CString();
    std::string path;
    if (auto find = reinterpret_cast<FGetComponentPathFn>(GetProcAddress(stub, kFGetComponentPathName))) {
      char buffer[MAX_PATH] = {};
      char q1[] = "Microsoft\\Office\\9.0\\Outlook";
      char q2[] = "Microsoft\\Office\\9.0\\Common\\LanguageResources";
      if (find(kMapiComponent, q1, buffer, sizeof buffer, FALSE) ||
          find(kMapiComponent, q2, buffer, sizeof buffer, FALSE) ||
          (find(kMapiComponent, nullptr, buffer, sizeof buffer, FALSE) && buffer[0])) {
        buffer[sizeof buffer - 1] = 0;
        path = buffer;
      }
    }
    FreeLibrary(stub);
    return CString(platform::text::ansiToWide(path));
  });
}

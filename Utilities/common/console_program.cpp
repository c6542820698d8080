// The application-data folder and the ANSI arguments of the console helper programs.
#include "Utilities/common/console_program.h"

#include "platform/win32/win32.h"

bool getAppDataFolder(char* buffer) {
  buffer[0] = 0;
  LPITEMIDLIST folder = nullptr;
  if (FAILED(SHGetFolderLocation(nullptr, CSIDL_APPDATA, nullptr, 0, &folder)) || !folder) return false;
  bool ok = false;
  IShellFolder* parent = nullptr;
  LPCITEMIDLIST last = nullptr;
  if (SUCCEEDED(SHBindToParent(folder, IID_IShellFolder, reinterpret_cast<void**>(&parent), &last)) && parent) {
    STRRET name{};
    WCHAR parsed[MAX_PATH] = {};
    // A folder the shell cannot name for parsing has no file-system path worth using.
    if (SUCCEEDED(parent->GetDisplayNameOf(last, SHGDN_FORPARSING, &name)) &&
        SUCCEEDED(StrRetToBufW(&name, last, parsed, MAX_PATH)))
      ok = SHGetPathFromIDListA(folder, buffer) != FALSE;
    parent->Release();
  }
  ILFree(folder);
  if (!ok) buffer[0] = 0;
  return ok;
}

std::vector<std::string> ansiArguments() {
  std::vector<std::string> args;
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!wide) return args;
  for (int i = 0; i < count; ++i) {
    int size = WideCharToMultiByte(CP_ACP, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
    std::string a(size > 0 ? static_cast<std::size_t>(size) : 1u, '\0');
    if (size > 0) WideCharToMultiByte(CP_ACP, 0, wide[i], -1, a.data(), size, nullptr, nullptr);
    a.resize(a.find('\0'));
    args.push_back(std::move(a));
  }
  LocalFree(wide);
  return args;
}

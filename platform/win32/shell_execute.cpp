// ShellExecuteW and ShellExecuteExW (see shell_execute.h).
#include "platform/win32/shell_execute.h"

#include <sys/stat.h>

#include <optional>
#include <string>

#include "platform/base/codepage.h"
#include "platform/base/fault.h"
#include "platform/base/text.h"
#include "platform/host/module_registry.h"
#include "platform/host/paths.h"
#include "platform/host/process_table.h"
#include "platform/win32/error.h"
#include "platform/win32/process.h"
#include "platform/win32/registry.h"
#include "platform/win32/window.h"

namespace platform {

namespace {

constexpr UINT_PTR kSuccess = 42;

struct Outcome {
  UINT_PTR result = kSuccess;
  DWORD error = 0;
  HANDLE process = nullptr;
};

Outcome failure(UINT_PTR result, DWORD error) { return {result, error, nullptr}; }

std::optional<std::u16string> classesValue(const std::u16string& key, const char16_t* value) {
  HKEY k = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return std::nullopt;
  DWORD type = 0, size = 0;
  std::optional<std::u16string> out;
  if (RegQueryValueExW(k, value, nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
    std::u16string data(size / sizeof(WCHAR) + 1, u'\0');
    DWORD bytes = static_cast<DWORD>(data.size() * sizeof(WCHAR));
    if (RegQueryValueExW(k, value, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &bytes) == ERROR_SUCCESS) {
      data.resize(bytes / sizeof(WCHAR));
      while (!data.empty() && data.back() == u'\0') data.pop_back();
      out = std::move(data);
    }
  }
  RegCloseKey(k);
  return out;
}

// The command registered for a verb of a class key ("txtfile", "http"); a null verb takes the
// class's default verb, else "open".
std::optional<std::u16string> verbCommand(const std::u16string& classKey, std::u16string_view verb) {
  std::u16string v(verb);
  if (v.empty()) {
    std::optional<std::u16string> def = classesValue(classKey + u"\\shell", nullptr);
    v = def && !def->empty() ? *def : u"open";
  }
  return classesValue(classKey + u"\\shell\\" + v + u"\\command", nullptr);
}

bool isUrl(std::u16string_view s) {
  std::size_t colon = s.find(u':');
  if (colon == std::u16string_view::npos || colon < 2 || colon + 1 >= s.size()) return false;
  for (std::size_t i = 0; i < colon; ++i) {
    char16_t c = s[i];
    bool ok = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (i > 0 && ((c >= u'0' && c <= u'9') || c == u'+' || c == u'-' || c == u'.'));
    if (!ok) return false;
  }
  return true;
}

std::u16string_view extensionOf(std::u16string_view path) {
  std::size_t slash = path.find_last_of(u"\\/");
  std::size_t dot = path.rfind(u'.');
  if (dot == std::u16string_view::npos || (slash != std::u16string_view::npos && dot < slash)) return {};
  return path.substr(dot);
}

bool isProgramExtension(std::u16string_view ext) {
  for (std::u16string_view p : {u".exe", u".com", u".scr", u".bat", u".cmd", u".pif"})
    if (text::equalNoCase(ext, p)) return true;
  return false;
}

std::u16string join(std::u16string_view folder, std::u16string_view name) {
  std::u16string out(folder);
  if (!out.empty() && out.back() != u'\\' && out.back() != u'/') out += u'\\';
  out += name;
  return out;
}

bool isRelative(std::u16string_view p) {
  if (p.size() >= 2 && p[1] == u':') return false;
  if (!p.empty() && (p[0] == u'\\' || p[0] == u'/')) return false;
  return true;
}

// Finds the file: error 0 and the resolved path, or the error code.
host::ResolvedPath findFile(std::u16string_view file, std::u16string_view directory, DWORD& error) {
  std::vector<std::u16string> bases;
  if (isRelative(file)) {
    if (!directory.empty()) bases.push_back(join(directory, file));
    bases.emplace_back(file);
    if (file.find_first_of(u"\\/") == std::u16string_view::npos) {
      bases.push_back(join(module::systemFolder(), file));
      bases.push_back(join(module::windowsFolder(), file));
      for (const auto& f : module::pathFolders()) bases.push_back(join(f, file));
    }
  } else {
    bases.emplace_back(file);
  }
  const bool bareExtension = extensionOf(file).empty();
  error = ERROR_FILE_NOT_FOUND;
  bool pathMissing = false;
  for (const auto& base : bases) {
    std::vector<std::u16string> names{base};
    if (bareExtension)
      for (const char16_t* e : {u".exe", u".com", u".bat", u".cmd"}) names.push_back(base + e);
    for (const auto& n : names) {
      host::ResolvedPath r = host::resolvePath(n);
      if (r.error == ERROR_PATH_NOT_FOUND) pathMissing = true;
      if (r.error || !r.exists) continue;
      error = 0;
      return r;
    }
  }
  if (pathMissing && bases.size() == 1) error = ERROR_PATH_NOT_FOUND;
  return {};
}

UINT_PTR resultOfStartError(DWORD e) {
  switch (e) {
    case ERROR_FILE_NOT_FOUND: return SE_ERR_FNF;
    case ERROR_PATH_NOT_FOUND:
    case ERROR_DIRECTORY: return SE_ERR_PNF;
    case ERROR_BAD_EXE_FORMAT: return ERROR_BAD_FORMAT;
    case ERROR_NOT_ENOUGH_MEMORY: return SE_ERR_OOM;
    default: return SE_ERR_ACCESSDENIED;
  }
}

Outcome execute(std::u16string_view verb, std::u16string_view file, std::u16string_view parameters,
                std::u16string_view directory, int show) {
  if (DWORD e = fault::check("ShellExecuteW", file)) return failure(e <= 32 ? e : SE_ERR_ACCESSDENIED, e);
  if (file.empty()) return failure(SE_ERR_FNF, ERROR_FILE_NOT_FOUND);
  host::ShellOpen record;
  record.verb = verb.empty() ? u"open" : std::u16string(verb);
  record.parameters = parameters;
  record.directory = directory;
  record.show = show;

  if (isUrl(file) && !(file.size() >= 2 && file[1] == u':')) {
    std::u16string scheme(file.substr(0, file.find(u':')));
    std::optional<std::u16string> command;
    if (classesValue(scheme, u"URL Protocol")) command = verbCommand(scheme, verb);
    if (!command) return failure(SE_ERR_NOASSOC, ERROR_NO_ASSOCIATION);
    record.kind = "url";
    record.target = file;
    record.handler = *command;
    host::recordShellOpen(record);
    return {};
  }

  DWORD error = 0;
  host::ResolvedPath r = findFile(file, directory, error);
  if (error) return failure(error == ERROR_PATH_NOT_FOUND ? SE_ERR_PNF : SE_ERR_FNF, error);
  record.target = r.full;

  if (S_ISDIR(r.st.st_mode)) {
    if (!verb.empty() && !text::equalNoCase(verb, u"open") && !text::equalNoCase(verb, u"explore"))
      return failure(SE_ERR_NOASSOC, ERROR_NO_ASSOCIATION);
    record.kind = "folder";
    record.handler = u"explorer.exe";
    host::recordShellOpen(record);
    return {};
  }

  std::u16string_view ext = extensionOf(r.full);
  if (isProgramExtension(ext)) {
    if (!verb.empty() && !text::equalNoCase(verb, u"open") && !text::equalNoCase(verb, u"runas"))
      return failure(SE_ERR_NOASSOC, ERROR_NO_ASSOCIATION);
    std::u16string line = process::quoteArgument(r.full);
    if (!parameters.empty()) line += u" " + std::u16string(parameters);
    std::u16string dir(directory);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = static_cast<WORD>(show);
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(r.full.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        dir.empty() ? nullptr : dir.c_str(), &si, &pi)) {
      DWORD e = GetLastError();
      return failure(resultOfStartError(e), e);
    }
    CloseHandle(pi.hThread);
    return {kSuccess, 0, pi.hProcess};
  }

  std::optional<std::u16string> command;
  if (!ext.empty()) {
    std::u16string extKey(ext);
    std::optional<std::u16string> progId = classesValue(extKey, nullptr);
    if (progId && !progId->empty()) command = verbCommand(*progId, verb);
    if (!command) command = verbCommand(extKey, verb);
  }
  if (!command) return failure(SE_ERR_NOASSOC, ERROR_NO_ASSOCIATION);
  record.kind = "document";
  record.handler = *command;
  host::recordShellOpen(record);
  return {};
}

std::u16string wide(LPCSTR s) { return s ? text::ansiToWide(s) : std::u16string(); }

}  // namespace
}  // namespace platform

HINSTANCE ShellExecuteW(HWND, LPCWSTR lpOperation, LPCWSTR lpFile, LPCWSTR lpParameters, LPCWSTR lpDirectory,
                        INT nShowCmd) {
  platform::Outcome o = platform::execute(platform::text::view(lpOperation), platform::text::view(lpFile),
                                          platform::text::view(lpParameters), platform::text::view(lpDirectory),
                                          nShowCmd);
  if (o.process) CloseHandle(o.process);
  SetLastError(o.error);
  return reinterpret_cast<HINSTANCE>(o.result);
}

HINSTANCE ShellExecuteA(HWND hwnd, LPCSTR lpOperation, LPCSTR lpFile, LPCSTR lpParameters, LPCSTR lpDirectory,
                        INT nShowCmd) {
  std::u16string op = platform::wide(lpOperation), file = platform::wide(lpFile),
                 params = platform::wide(lpParameters), dir = platform::wide(lpDirectory);
  return ShellExecuteW(hwnd, lpOperation ? op.c_str() : nullptr, file.c_str(), params.c_str(), dir.c_str(), nShowCmd);
}

BOOL ShellExecuteExW(LPSHELLEXECUTEINFOW info) {
  if (!info || info->cbSize != sizeof(SHELLEXECUTEINFOW)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  info->hProcess = nullptr;
  platform::Outcome o = platform::execute(platform::text::view(info->lpVerb), platform::text::view(info->lpFile),
                                          platform::text::view(info->lpParameters),
                                          platform::text::view(info->lpDirectory), info->nShow);
  info->hInstApp = reinterpret_cast<HINSTANCE>(o.result);
  if (o.process) {
    if (info->fMask & SEE_MASK_NOCLOSEPROCESS)
      info->hProcess = o.process;
    else
      CloseHandle(o.process);
  }
  SetLastError(o.error);
  return o.result > 32 ? TRUE : FALSE;
}

BOOL ShellExecuteExA(LPSHELLEXECUTEINFOA info) {
  if (!info || info->cbSize != sizeof(SHELLEXECUTEINFOA)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::u16string verb = platform::wide(info->lpVerb), file = platform::wide(info->lpFile),
                 params = platform::wide(info->lpParameters), dir = platform::wide(info->lpDirectory);
  SHELLEXECUTEINFOW w{};
  w.cbSize = sizeof w;
  w.fMask = info->fMask;
  w.hwnd = info->hwnd;
  w.lpVerb = info->lpVerb ? verb.c_str() : nullptr;
  w.lpFile = file.c_str();
  w.lpParameters = params.c_str();
  w.lpDirectory = dir.c_str();
  w.nShow = info->nShow;
  BOOL ok = ShellExecuteExW(&w);
  info->hInstApp = w.hInstApp;
  info->hProcess = w.hProcess;
  return ok;
}

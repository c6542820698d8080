// Halvern's commands on the running main program, the host's registry and folders, the device's
// document folder and CryptoAPI's default key container. Folders are removed and moved by the
// command interpreter, as the launch pad's other tools do.
#include <cstdio>
#include <string>

#include "U3/halvern/halvern.h"
#include "app/messages.h"
#include "app/program_texts.h"
#include "platform/base/format.h"
#include "platform/base/text.h"
#include "platform/win32/crypt.h"
#include "platform/win32/dialog.h"
#include "platform/win32/error.h"
#include "platform/win32/file.h"
#include "platform/win32/message.h"
#include "platform/win32/process.h"
#include "platform/win32/sync.h"
#include "platform/win32/system.h"
#include "platform/win32/window.h"

namespace {

constexpr const char16_t* kFrameClasses[] = {u"CustomizerMainFrameClass", u"KipoMainFrameClass"};
constexpr DWORD kCloseWaitMs = 80000;
constexpr DWORD kPathChars = 260;
constexpr int kRegistryPathChars = 520;
constexpr DWORD kSubkeyNameChars = 260;
constexpr const char16_t* kMakerFolder = u"Brackwater";
constexpr const char16_t* kMakerKey = u"Software\\Brackwater";
// The per-computer folders the main program keeps on the device.
constexpr const char16_t* kComputersFolder = u"Synchronized Computers";
constexpr const char16_t* kRemoveCommand = u"cmd /C rmdir \"%s\" /S /Q";
constexpr const char16_t* kMoveCommand = u"cmd /C move \"%s\" \"%s\"";
constexpr const char16_t* kNoDocumentPathText = u"Unable to get U3_DEVICE_PATH environment variable.";
constexpr const char* kKeyContainerRemovedText = "A default key container has been removed.\n";
constexpr UINT kRemoveDataQuestionStyle = MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2;  // 0x124

// The variable's value, or false when it is not set or does not fit the program's buffer.
bool environmentValue(const char16_t* name, CString& value) {
  char16_t buffer[kPathChars] = {};
  DWORD length = GetEnvironmentVariableW(name, buffer, kPathChars);
  if (length == 0 || length >= kPathChars) return false;
  value = buffer;
  return true;
}

CString withBackslash(CString path) {
  if (path.IsEmpty() || path[path.GetLength() - 1] != u'\\') path += u'\\';
  return path;
}

bool isFolder(const CString& path) {
  DWORD attributes = GetFileAttributesW(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool deleteTreeAt(HKEY root, std::u16string& path) {
  if (RegDeleteKeyW(root, path.c_str()) == ERROR_SUCCESS) return true;
  HKEY key = nullptr;
  LONG opened = RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key);
  if (opened == ERROR_FILE_NOT_FOUND) {
    showHalvernMessage(IDS_HALVERN_REGISTRY_KEY_MISSING, MB_ICONINFORMATION);
    return true;
  }
  if (opened != ERROR_SUCCESS) {
    showHalvernMessage(IDS_HALVERN_REGISTRY_KEY_UNOPENED, MB_ICONERROR);
    return false;
  }
  const std::size_t keep = path.size();
  if (path.empty() || path.back() != u'\\') path += u'\\';
  const std::size_t base = path.size();
  bool deleted = true;
  for (;;) {
    char16_t name[kSubkeyNameChars] = {};
    DWORD nameChars = kSubkeyNameChars;
    if (RegEnumKeyExW(key, 0, name, &nameChars, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    // The path lives in a buffer of fixed size: a deeper path is a failure, never a longer buffer.
    if (base + nameChars >= static_cast<std::size_t>(kRegistryPathChars)) {
      deleted = false;
      break;
    }
    path.resize(base);
    path.append(name, nameChars);
    if (!deleteTreeAt(root, path)) {
      deleted = false;
      break;
    }
  }
  path.resize(keep);
  RegCloseKey(key);
  if (!deleted) return false;
  return RegDeleteKeyW(root, path.c_str()) == ERROR_SUCCESS;
}

}  // namespace

bool waitForProcessEnd(DWORD processId) {
  if (HANDLE process = OpenProcess(PROCESS_ALL_ACCESS, FALSE, processId)) {
    DWORD waited = WaitForSingleObject(process, kCloseWaitMs);
    CloseHandle(process);
    if (waited == WAIT_OBJECT_0) return false;
  }
  if (HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, processId)) {
    if (WaitForSingleObject(process, kCloseWaitMs) != WAIT_OBJECT_0) TerminateProcess(process, 0);
    CloseHandle(process);
  }
  return true;
}

bool runHidden(const CString& commandLine) {
  std::u16string line(commandLine.GetString(), static_cast<std::size_t>(commandLine.GetLength()));
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION started{};
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started)) {
    DWORD error = GetLastError();
    CString text = formatMessageText(loadHalvernString(IDS_HALVERN_CREATE_PROCESS_FAILED), static_cast<int>(error));
    std::fputs(platform::text::toUtf8(std::u16string_view(text.GetString(), text.GetLength())).c_str(), stdout);
    std::fflush(stdout);
    return false;
  }
  if (started.hThread) CloseHandle(started.hThread);
  WaitForSingleObject(started.hProcess, INFINITE);
  CloseHandle(started.hProcess);
  return true;
}

bool removeFolderTree(const CString& folder) { return runHidden(formatMessageText(kRemoveCommand, folder)); }

int stopMainProgram() {
  HWND frame = nullptr;
  for (const char16_t* frameClass : kFrameClasses)
    if ((frame = FindWindowW(frameClass, nullptr)) != nullptr) break;
  if (!frame) return static_cast<int>(GetLastError());
  DWORD processId = 0;
  GetWindowThreadProcessId(frame, &processId);
  int posted = PostMessageW(frame, WM_CLOSE, 0, 0);
  waitForProcessEnd(processId);

  CString appData;
  if (!environmentValue(u"APPDATA", appData)) return posted;
  CString hostFolder = withBackslash(appData) + kMakerFolder;
  if (!isFolder(hostFolder)) return 0;
  removeFolderTree(hostFolder);
  return posted;
}

bool deleteRegistryTree(HKEY root, const CString& subKey) {
  if (subKey.GetLength() >= kRegistryPathChars) return false;
  std::u16string path(subKey.GetString(), static_cast<std::size_t>(subKey.GetLength()));
  return deleteTreeAt(root, path);
}

int cleanUpHost() {
  if (deleteRegistryTree(HKEY_CURRENT_USER, CString(kMakerKey))) return kHalvernOk;
  showHalvernMessage(IDS_HALVERN_REGISTRY_NOT_REMOVED, MB_ICONWARNING);
  return kHalvernFailed;
}

int uninstallDeviceData() {
  CString documents;
  if (!environmentValue(u"U3_DEVICE_DOCUMENT_PATH", documents)) {
    showMessageBox(nullptr, CString(kNoDocumentPathText), programCaption(), MB_ICONERROR);
    return kHalvernFailed;
  }
  CString folder = withBackslash(documents) + kComputersFolder;
  if (!isFolder(folder)) return kHalvernOk;
  if (showHalvernMessage(IDS_HALVERN_REMOVE_DATA_QUESTION, kRemoveDataQuestionStyle) != IDYES) return kHalvernOk;
  if (!removeFolderTree(folder)) {
    showHalvernMessage(IDS_HALVERN_DATA_NOT_REMOVED, MB_ICONERROR);
    return kHalvernFailed;
  }
  showHalvernMessage(IDS_HALVERN_DATA_REMOVED, MB_ICONINFORMATION);
  return kHalvernOk;
}

DWORD deleteDefaultKeyContainer() {
  HCRYPTPROV provider = 0;
  if (!CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_DELETEKEYSET)) {
    DWORD error = GetLastError();
    return error ? error : NTE_BAD_KEYSET;
  }
  std::fputs(kKeyContainerRemovedText, stdout);
  std::fflush(stdout);
  return 0;
}

int removeKeyContainer() {
  if (deleteDefaultKeyContainer() == 0) return kHalvernOk;
  showHalvernMessage(IDS_HALVERN_KEY_CONTAINER_FAILED, MB_ICONERROR);
  return kHalvernFailed;
}

int moveSynchronizedComputers() {
  CString device, documents;
  // Without the launch pad's variables there is no device to move from.
  if (!environmentValue(u"U3_DEVICE_PATH", device) || !environmentValue(u"U3_DEVICE_DOCUMENT_PATH", documents))
    return kHalvernOk;
  device = withBackslash(device);
  documents = withBackslash(documents);
  CString source = device + kComputersFolder;
  CString target = documents + kComputersFolder;
  if (!isFolder(source) || GetFileAttributesW(target) != INVALID_FILE_ATTRIBUTES) return kHalvernOk;
  return runHidden(formatMessageText(kMoveCommand, source, documents)) ? kHalvernOk : kHalvernFailed;
}

// CDeviceSdk's shared body and COtiSdk over OPDSL.dll: the library bound by name and ordinal,
// the notification window and its waits, the device-information parser, the encoded password
// field, and the login, logout, password change and resize flows.
#include "app/device_sdk.h"

#include <algorithm>
#include <vector>

#include "app/aes.h"
#include "app/log.h"
#include "app/messages.h"
#include "app/program_texts.h"
#include "app/secure_drive_services.h"
#include "app/windows_helpers.h"
#include "lang/ids.h"
#include "platform/modules/opdsl/opdsl.h"
#include "platform/win32/win32.h"

namespace {

// ---- Texts and constants --------------------------------------------------------------------

constexpr LPCWSTR kNotifyWindowText = u"QX OTI Notify";
constexpr LPCWSTR kLogDeviceInfoFailed = u"{OtiSdk}: Failed to get device info. Error code: %d";
constexpr LPCWSTR kLogLoginResult = u"{OtiSdk}: OTI login result code: %d";
constexpr LPCWSTR kLogResultCode = u"{OtiSdk}: The device reported code %d.";
constexpr LPCWSTR kLogFormatResult = u"{OtiSdk}: Formatting returned code %d.";
constexpr LPCWSTR kLogLibraryMissing = u"{OtiSdk}: The secure-drive library or its function %s is not available.";
constexpr LPCWSTR kLogTagTooLong = u"{OtiSdk}: Device information tag %s is longer than %d characters; ignored.";
constexpr LPCWSTR kLogTagUnterminated = u"{OtiSdk}: Device information tag %s is not closed; ignored.";
constexpr LPCWSTR kLogHintInvalid = u"{OtiSdk}: The stored password field is not valid; ignored.";
constexpr LPCWSTR kLogSecureSizeInvalid =
    u"{OtiSdk}: Cannot create a secure area: capacity %d MB leaves %d MB beside a public area of %d MB.";
constexpr LPCWSTR kFormatRequest =
    u"<otidevice0><otiSN>%s</otiSN><otiPW>%s</otiPW><otiHint>%s</otiHint><otiSecuSize>%d</otiSecuSize>"
    u"<otiLun2Size>%d</otiLun2Size><otiCopyFile0>%s</otiCopyFile0><otiCopyFile1>%s</otiCopyFile1>"
    u"<otiMsgID>%d</otiMsgID></otidevice0>";

// The library reports to us under this message identifier.
constexpr int kMessageId = 80;
constexpr int kLoginMode = 2;
constexpr int kLogoutMode = 1;
constexpr int kDeviceInfoSize = 10240;
constexpr int kWaitPasses = 200;
constexpr DWORD kWaitSleepMs = 100;
constexpr int kCompareLength = 12;
constexpr int kMaxPasswordLength = 15;
constexpr int kMaxBlocks = 1024;
// The tag reader's limit on one tag's content.
constexpr int kMaxTagContent = 511;
constexpr int kMegabyte = 1000000;

// The AES-128 key of the password field.
constexpr char kDeviceKey[] = "QuillFernMossOak";

// A missing function answers like a drive that is not there.
bool available(bool bound, LPCWSTR name) {
  if (bound) return true;
  writeLog(kLogLibraryMissing, name);
  return false;
}

// ---- 8-bit text -----------------------------------------------------------------------------

std::string toAnsi(const CString& text) {
  if (text.IsEmpty()) return {};
  const int size = WideCharToMultiByte(CP_ACP, 0, text, text.GetLength(), nullptr, 0, nullptr, nullptr);
  if (size <= 0) return {};
  std::string out(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_ACP, 0, text, text.GetLength(), out.data(), size, nullptr, nullptr);
  return out;
}

// ---- Base64 ----------------------------------------------------------------------------------

// The shared decoder skips what it does not know; a stored field must be clean Base64 instead:
// the alphabet, padding only at the end, a whole number of groups.
bool isCleanBase64(const std::string& text) {
  if (text.size() % 4 != 0) return false;
  std::size_t padding = 0;
  for (char c : text) {
    const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '/';
    if (c == '=') ++padding;
    else if (!letter || padding != 0) return false;
  }
  return padding <= 2;
}

CEncryptionRijndael& deviceCipher() {
  static CEncryptionRijndael cipher = [] {
    CEncryptionRijndael c;
    const std::uint8_t zeroChain[16] = {};
    c.makeKey(reinterpret_cast<const std::uint8_t*>(kDeviceKey), zeroChain, 16, 16);
    return c;
  }();
  return cipher;
}

// ---- Device-information tags ----------------------------------------------------------------

enum class TagResult { found, missing, refused };

// The content between the first "<name>" and the first "</name>" after it.
TagResult findTag(const CString& text, const CString& name, int maxContent, CString& content) {
  const CString open = u"<" + name + u">";
  const CString close = u"</" + name + u">";
  const int start = text.Find(open);
  if (start < 0) return TagResult::missing;
  const int from = start + open.GetLength();
  const int end = text.Find(close, from);
  if (end < 0) {
    writeLog(kLogTagUnterminated, name);
    return TagResult::refused;
  }
  if (maxContent > 0 && end - from > maxContent) {
    writeLog(kLogTagTooLong, name, maxContent);
    return TagResult::refused;
  }
  content = text.Mid(from, end - from);
  return TagResult::found;
}

// The code's text; a code without one is logged by its number.
void logResult(int code) {
  const CString text = otiResultText(code);
  if (text.IsEmpty()) writeLog(kLogResultCode, code);
  else writeLog(u"%s", text);
}

bool isOpen(int state) { return state == 1; }
bool isClosed(int state) { return state == 0 || state == 2; }

}  // namespace

// ---- The library --------------------------------------------------------------------------------

struct OpdslBinding {
  HMODULE module = nullptr;
  OTiDll_RegisterWindowFn registerWindow = nullptr;
  OTiDll_GetDeviceInfoFn getDeviceInfo = nullptr;
  OTiDll_IsLoginFn isLogin = nullptr;
  OTiDll_LoginFn login = nullptr;
  OTiDll_LogoutFn logout = nullptr;
  OTiDll_ChangePWFn changePassword = nullptr;
  OTiDll_ResizeFn resize = nullptr;

  OpdslBinding() {
    module = LoadLibraryW(kOpdslModuleNameW);
    if (module == nullptr) return;
    registerWindow = bind<OTiDll_RegisterWindowFn>(MAKEINTRESOURCEA(kOpdslRegisterWindowOrdinal));
    getDeviceInfo = bind<OTiDll_GetDeviceInfoFn>(MAKEINTRESOURCEA(kOpdslGetDeviceInfoOrdinal));
    isLogin = bind<OTiDll_IsLoginFn>(kOpdslIsLogin);
    login = bind<OTiDll_LoginFn>(kOpdslLogin);
    logout = bind<OTiDll_LogoutFn>(kOpdslLogout);
    changePassword = bind<OTiDll_ChangePWFn>(kOpdslChangePW);
    resize = bind<OTiDll_ResizeFn>(kOpdslResize);
  }
  ~OpdslBinding() {
    if (module != nullptr) FreeLibrary(module);
  }
  OpdslBinding(const OpdslBinding&) = delete;
  OpdslBinding& operator=(const OpdslBinding&) = delete;

  template <class F>
  F bind(LPCSTR name) const {
    return reinterpret_cast<F>(GetProcAddress(module, name));
  }
};

// ---- Encoded field --------------------------------------------------------------------------

std::string encodeDeviceField(const CString& text, bool encrypt) {
  std::vector<std::uint8_t> bytes;
  bytes.reserve(static_cast<std::size_t>(text.GetLength()) * 2);
  for (char16_t ch : text.view()) {
    bytes.push_back(static_cast<std::uint8_t>(ch & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(ch >> 8));
  }
  if (encrypt) {
    if (bytes.size() < 16) bytes.resize(16, 0);
    deviceCipher().encryptBlock(bytes.data(), bytes.data());
  }
  return toAnsi(base64Encode(bytes));
}

bool decodeDeviceField(const std::string& field, bool decrypt, CString& text) {
  text.Empty();
  if (!isCleanBase64(field)) return false;
  std::vector<BYTE> bytes = base64Decode(CString(field.c_str()));
  if (decrypt && bytes.size() >= 16) deviceCipher().decryptBlock(bytes.data(), bytes.data());
  std::u16string out;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const char16_t ch = static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
    // The zero padding of a short password is not part of it.
    if (ch == 0) break;
    out += ch;
  }
  text = CString(std::move(out));
  return true;
}

CString otiResultText(int code) {
  switch (code) {
    case 2: return u"No Device";
    case 6: return u"OTiEng_Write_Protect_On";
    case 31: return u"Old password invalid";
    case 47: return u"Parameters invalid";
    case 49: return u"Not support in this platform";
    case 263: return u"Old password invalid";
    case 264: return u"Password error three times, replug device.";
    case 265: return u"No security area";
    default: return CString();
  }
}

// ---- CDeviceSdk -----------------------------------------------------------------------------

bool CDeviceSdk::notifyShellOfDrive() {
  const CString path = getDrivePath();
  if (path.IsEmpty()) return false;
  SHChangeNotify(SHCNE_UPDATEDIR, SHCNF_PATHW, path.GetString(), nullptr);
  return true;
}

// ---- COtiNotificationWindow -----------------------------------------------------------------

BEGIN_MESSAGE_MAP(COtiNotificationWindow, CWnd)
  ON_MESSAGE(kOpdslNotifyMessage, OnOtiNotify)
  ON_MESSAGE(kOpdslResultMessage, OnOtiResult)
  ON_MESSAGE(kOpdslInfoReadyMessage, OnDeviceInfoReady)
END_MESSAGE_MAP()

bool COtiNotificationWindow::create() {
  LPCWSTR windowClass = AfxRegisterWndClass(0);
  return CreateEx(0, windowClass, kNotifyWindowText, WS_POPUP, 0, 0, 10, 10, nullptr, nullptr) != FALSE;
}

LRESULT COtiNotificationWindow::OnOtiNotify(WPARAM wParam, LPARAM lParam) {
  if (wParam != static_cast<WPARAM>(kMessageId)) return 0;
  const int code = LOWORD(lParam);
  if (HIWORD(lParam) == 0) {
    if (code == kOpdslLockedUntilReplug) {
      // The drive refuses every password until it is plugged in again.
      showMessageById(IDS_OTI_LOCKED_REPLUG);
      secureDriveServices().endProgram(0);
      return 0;
    }
    logResult(code);
    showMessageById(IDS_OTI_OPERATION_FAILED);
    done = true;
  }
  if (code == kOpdslReportReady) {
    if (owner) owner->fetchDeviceInfo();
    done = true;
  }
  return 0;
}

LRESULT COtiNotificationWindow::OnOtiResult(WPARAM wParam, LPARAM lParam) {
  if (wParam != static_cast<WPARAM>(kMessageId)) return 0;
  const int code = LOWORD(lParam);
  if (HIWORD(lParam) == 0) {
    logResult(code);
    showMessageById(IDS_OTI_RESIZE_FAILED);
    done = true;
  }
  if (code == kOpdslReportReady) done = true;
  return 0;
}

LRESULT COtiNotificationWindow::OnDeviceInfoReady(WPARAM, LPARAM) {
  if (owner) owner->fetchDeviceInfo();
  done = true;
  return 0;
}

// ---- COtiSdk --------------------------------------------------------------------------------

COtiSdk::COtiSdk() : library(std::make_unique<OpdslBinding>()), notificationWindow(this) {
  adminLogon = secureDriveServices().createAdminLogon();
  if (!notificationWindow.create()) return;
  notificationWindow.done = false;
  // Without the library nothing will report: waiting would only hold up the start.
  if (!available(library->registerWindow != nullptr, u"#1")) return;
  library->registerWindow(notificationWindow.GetSafeHwnd());
  // The first report is normally the device information; whether it came is not needed here.
  waitForNotification();
}

COtiSdk::~COtiSdk() {
  if (adminLogon) adminLogon->revertToSelf();
  if (notificationWindow.GetSafeHwnd() != nullptr) notificationWindow.DestroyWindow();
}

bool COtiSdk::waitForNotification() {
  for (int pass = 0; pass < kWaitPasses; ++pass) {
    secureDriveServices().processMessages();
    if (notificationWindow.done) return true;
    Sleep(kWaitSleepMs);
  }
  secureDriveServices().processMessages();
  return notificationWindow.done;
}

void COtiSdk::fetchDeviceInfo() {
  std::vector<char> buffer(kDeviceInfoSize, '\0');
  int result = kOpdslNoDevice;
  if (available(library->getDeviceInfo != nullptr, u"#2"))
    result = library->getDeviceInfo(buffer.data(), kDeviceInfoSize);
  if (result != 0) writeLog(kLogDeviceInfoFailed, result);
  // Only up to the first NUL, and never past the buffer.
  const auto end = std::find(buffer.begin(), buffer.end(), '\0');
  parseDeviceInfo(CString(buffer.data(), static_cast<int>(end - buffer.begin())));
}

void COtiSdk::parseDeviceInfo(const CString& text) {
  if (text.IsEmpty()) return;
  for (int index = 0; index < kMaxBlocks; ++index) {
    CString blockName;
    blockName.Format(u"otidevice%d", index);
    CString block;
    if (findTag(text, blockName, 0, block) != TagResult::found) continue;
    CString value;
    if (findTag(block, u"otivid", kMaxTagContent, value) == TagResult::found) vendorId = value;
    if (findTag(block, u"otipid", kMaxTagContent, value) == TagResult::found) productId = value;
    if (findTag(block, u"otisn", kMaxTagContent, value) == TagResult::found) serialNumber = value;
    if (findTag(block, u"otidrive", kMaxTagContent, value) == TagResult::found) driveLetter = value;
    if (findTag(block, u"otiallcapa", kMaxTagContent, value) == TagResult::found) capacity = _wtoi(value);
    if (findTag(block, u"otisecurity", kMaxTagContent, value) == TagResult::found) secureAreaSize = _wtoi(value);
    if (findTag(block, u"otilun2", kMaxTagContent, value) == TagResult::found) lun2Size = _wtoi(value);
    if (findTag(block, u"otipwhint", kMaxTagContent, value) == TagResult::found) {
      if (value.IsEmpty()) {
        storedPassword.Empty();
      } else {
        CString decoded;
        if (decodeDeviceField(toAnsi(value), true, decoded)) storedPassword = decoded;
        else writeLog(kLogHintInvalid);
      }
    }
  }
}

bool COtiSdk::queryLoginState(int& state) {
  if (!available(library->isLogin != nullptr, u"OTiDll_IsLogin")) return false;
  int s = -1;
  if (library->isLogin(notificationWindow.GetSafeHwnd(), toAnsi(serialNumber).c_str(), &s) != 0) return false;
  state = s;
  return true;
}

bool COtiSdk::checkPassword(const CString& password, bool& matches) {
  matches = password.Left(kCompareLength) == storedPassword.Left(kCompareLength);
  return true;
}

bool COtiSdk::login(const CString& password, bool& opened) {
  int state = 0;
  if (queryLoginState(state) && isOpen(state)) {
    // Already open: the caller must learn so, or it would take the area for closed.
    opened = true;
    return true;
  }
  bool matches = false;
  checkPassword(password, matches);
  if (!matches) {
    opened = false;
    return false;
  }
  notificationWindow.done = false;
  int result = kOpdslNoDevice;
  if (available(library->login != nullptr, u"OTiDll_Login"))
    result = library->login(notificationWindow.GetSafeHwnd(), toAnsi(serialNumber).c_str(),
                           encodeDeviceField(kDevicePassword, false).c_str(), kLoginMode, kMessageId);
  bool open = false;
  if (waitForNotification() && isLoggedIn(open) && open) {
    opened = true;
    notifyShellOfDrive();
    return true;
  }
  writeLog(kLogLoginResult, result);
  return false;
}

bool COtiSdk::logout() {
  int state = 0;
  if (queryLoginState(state) && isClosed(state)) return true;
  notificationWindow.done = false;
  int result = kOpdslNoDevice;
  if (available(library->logout != nullptr, u"OTiDll_Logout"))
    result = library->logout(notificationWindow.GetSafeHwnd(), toAnsi(serialNumber).c_str(), kLogoutMode, kMessageId);
  for (int poll = 0; poll < kWaitPasses; ++poll) {
    bool open = true;
    if (isLoggedIn(open) && !open) {
      notifyShellOfDrive();
      return true;
    }
    Sleep(kWaitSleepMs);
  }
  writeLog(kLogLoginResult, result);
  return false;
}

bool COtiSdk::changePassword(const CString& oldPassword, const CString& newPassword, const CString&, bool& changed) {
  changed = false;
  if (oldPassword.GetLength() > kMaxPasswordLength || newPassword.GetLength() > kMaxPasswordLength) return false;
  bool matches = false;
  checkPassword(oldPassword, matches);
  if (!matches) return false;
  if (!available(library->changePassword != nullptr, u"OTiDll_ChangePW")) return false;
  const std::string device = encodeDeviceField(kDevicePassword, false);
  const int result = library->changePassword(notificationWindow.GetSafeHwnd(), toAnsi(serialNumber).c_str(),
                                            device.c_str(), device.c_str(), encodeDeviceField(newPassword, true).c_str());
  if (result == kOpdslLockedUntilReplug) {
    showMessageById(IDS_OTI_LOCKED_REPLUG);
    secureDriveServices().endProgram(0);
    return false;
  }
  changed = result == 0;
  // Only a change the drive took replaces our copy; else the drive still holds the old one.
  if (changed) storedPassword = newPassword;
  return true;
}

CString COtiSdk::getStoredPassword() { return storedPassword; }

CString COtiSdk::getDrivePath() { return driveLetter + u":\\"; }

bool COtiSdk::getCapacity(std::uint64_t& bytes) {
  bytes = static_cast<std::uint64_t>(static_cast<std::int64_t>(capacity) * kMegabyte);
  return true;
}

bool COtiSdk::getPublicAreaSize(std::uint64_t& bytes) {
  const std::int64_t mb = static_cast<std::int64_t>(capacity) - lun2Size - secureAreaSize;
  bytes = static_cast<std::uint64_t>(mb * kMegabyte);
  return true;
}

bool COtiSdk::getSecureAreaSize(std::uint64_t& bytes) {
  bytes = static_cast<std::uint64_t>(static_cast<std::int64_t>(secureAreaSize) * kMegabyte);
  return true;
}

bool COtiSdk::hasSecureArea() { return secureAreaSize > 0; }

bool COtiSdk::resize(const CString& request) {
  notificationWindow.done = false;
  if (!available(library->resize != nullptr, u"OTiDll_Resize")) return false;
  const int result = library->resize(notificationWindow.GetSafeHwnd(), toAnsi(request).c_str());
  if (result != 0) {
    writeLog(kLogFormatResult, result);
    return false;
  }
  return true;
}

bool COtiSdk::format(const CString& password, const CString&, int publicSize) {
  // The library counts sizes in MB, as `capacity` is. Half the drive goes to the secure area,
  // less the public area asked for. (Dividing the capacity by 1024 first, as if it were in KB,
  // mixed units and gave a negative size on every drive below 20 GB.)
  const int secureSize = capacity / 2 - publicSize;
  if (secureSize <= 0) {
    writeLog(kLogSecureSizeInvalid, capacity, secureSize, publicSize);
    return false;
  }
  CString request;
  request.Format(kFormatRequest, serialNumber, CString(encodeDeviceField(kDevicePassword, false).c_str()),
                 CString(encodeDeviceField(password, true).c_str()), secureSize, 0, CString(), CString(), kMessageId);
  if (!resize(request)) return false;
  if (!waitForNotification()) return false;
  return hasSecureArea();
}

bool COtiSdk::removeSecureArea() {
  CString request;
  request.Format(kFormatRequest, serialNumber, CString(), CString(), 0, 0, CString(), CString(), kMessageId);
  if (!resize(request)) return false;
  // Only the library's immediate answer counts; the wait just lets the report arrive.
  waitForNotification();
  return true;
}

bool COtiSdk::isLoggedIn(bool& open) {
  if (!hasSecureArea()) {
    open = false;
    return true;
  }
  int state = 0;
  if (!queryLoginState(state)) return false;
  open = isOpen(state);
  return true;
}

bool COtiSdk::isLoggedOut(bool& closed) {
  int state = 0;
  if (!queryLoginState(state)) return false;
  closed = isClosed(state);
  return true;
}

bool COtiSdk::supportsLogin() { return true; }

bool COtiSdk::supportsResize() { return true; }

void COtiSdk::readDeviceInfo() {
  if (!available(library->getDeviceInfo != nullptr, u"#2")) return;
  std::vector<char> buffer(kDeviceInfoSize, '\0');
  library->getDeviceInfo(buffer.data(), kDeviceInfoSize);
}

bool COtiSdk::notifyShellOfDrive() { return true; }

// The secure-drive controller library stand-in: drives of the maker (platform/host/
// secure_area.h) opened, closed, re-passworded and repartitioned on request, with the answers
// posted to the caller's notification window as the controller's own library posts them.
#include "platform/modules/opdsl/opdsl.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>

#include "platform/base/base64.h"
#include "platform/base/codepage.h"
#include "platform/base/text.h"
#include "platform/host/secure_area.h"
#include "platform/win32/message.h"
#include "platform/win32/module.h"

namespace {

namespace host = platform::host;
namespace text = platform::text;
namespace fs = std::filesystem;

static_assert(sizeof(host::kFactoryDevicePassword) == sizeof(kOpdslFactoryDevicePassword));

// The window of this process that hears of results (ordinal 1).
HWND g_window = nullptr;

HWND target(HWND given) { return g_window ? g_window : given; }

void post(HWND window, UINT message, int messageId, int code, int high) {
  if (window) PostMessageW(window, message, static_cast<WPARAM>(messageId), MAKELPARAM(code, high));
}

std::optional<host::SecureAreaDrive> plugged(const char* serial) {
  if (!serial) return std::nullopt;
  auto d = host::secureAreaDrive(text::ansiToWide(serial));
  if (!d || !d->letter) return std::nullopt;
  return d;
}

// A password field: Base64 of the password's UTF-16LE bytes (not encrypted).
std::optional<std::u16string> decodePasswordField(const char* field) {
  std::string bytes;
  if (!field || !platform::base64::decode(field, bytes) || bytes.size() % 2) return std::nullopt;
  std::u16string s(bytes.size() / 2, u'\0');
  for (std::size_t i = 0; i < s.size(); ++i)
    s[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) | (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
  return s;
}

bool passwordMatches(const host::SecureAreaDrive& d, const char* field) {
  auto p = decodePasswordField(field);
  return p && !d.devicePassword.empty() && *p == d.devicePassword;
}

// A wrong device password: the third since the drive was plugged locks it until it is plugged
// again.
int wrongPassword(host::SecureAreaDrive& d) {
  ++d.wrongPasswords;
  host::saveSecureAreaDrive(d);
  return d.wrongPasswords >= 3 ? kOpdslLockedUntilReplug : kOpdslWrongPassword;
}

// The content of the first <tag>...</tag> of the request; none when missing.
std::optional<std::string> tagOf(std::string_view request, const std::string& tag) {
  const std::string open = "<" + tag + ">", close = "</" + tag + ">";
  auto a = request.find(open);
  if (a == std::string_view::npos) return std::nullopt;
  a += open.size();
  auto b = request.find(close, a);
  if (b == std::string_view::npos) return std::nullopt;
  return std::string(request.substr(a, b - a));
}

bool parseCount(const std::optional<std::string>& s, std::uint32_t& out) {
  if (!s || s->empty() || s->size() > 9) return false;
  for (char c : *s)
    if (c < '0' || c > '9') return false;
  out = static_cast<std::uint32_t>(std::strtoul(s->c_str(), nullptr, 10));
  return true;
}

// Formatting an area empties it (the folder itself stays).
void emptyFolder(const fs::path& folder) {
  std::error_code ec;
  if (folder.empty() || !fs::is_directory(folder, ec)) return;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code e2;
    fs::remove_all(it->path(), e2);
  }
}

std::string deviceInfoText() {
  std::string out;
  int index = 0;
  for (const host::SecureAreaDrive& d : host::pluggedSecureAreaDrives()) {
    const std::string block = "otidevice" + std::to_string(index++);
    auto tag = [&](const char* name, const std::string& value) { out += "<" + std::string(name) + ">" + value + "</" + name + ">"; };
    out += "<" + block + ">";
    tag("otivid", text::wideToAnsi(d.vendorId));
    tag("otipid", text::wideToAnsi(d.productId));
    tag("otisn", text::wideToAnsi(d.serial));
    tag("otiallcapa", std::to_string(d.capacityMb));
    tag("otisecurity", std::to_string(d.secureMb));
    tag("otilun2", std::to_string(d.lun2Mb));
    tag("otipwhint", d.hintField);
    tag("otidrive", std::string(1, static_cast<char>(d.letter)));
    out += "</" + block + ">";
  }
  return out;
}

// ---- the exports ----

int registerWindow(HWND window) {
  g_window = window;
  // The device information is ready from the start: the first report follows at once.
  post(window, kOpdslNotifyMessage, kOpdslDefaultMessageId, kOpdslReportReady, 1);
  return kOpdslOk;
}

int getDeviceInfo(char* buffer, int size) {
  if (!buffer || size <= 0) return kOpdslInvalidParameters;
  const std::string info = deviceInfoText();
  if (info.empty()) return kOpdslNoDevice;
  if (info.size() >= static_cast<std::size_t>(size)) return kOpdslInvalidParameters;
  std::memcpy(buffer, info.c_str(), info.size() + 1);
  return kOpdslOk;
}

int isLogin(HWND, const char* serialNumber, int* state) {
  if (!state) return kOpdslInvalidParameters;
  auto d = plugged(serialNumber);
  if (!d) return kOpdslNoDevice;
  *state = d->secureMb == 0 ? 2 : d->open ? 1 : 0;
  return kOpdslOk;
}

int login(HWND window, const char* serialNumber, const char* password, int, int messageId) {
  HWND to = target(window);
  auto d = plugged(serialNumber);
  int code = kOpdslOk;
  if (!d) {
    code = kOpdslNoDevice;
  } else if (d->secureMb == 0) {
    code = kOpdslNoSecureArea;
  } else if (d->wrongPasswords >= 3) {
    code = kOpdslLockedUntilReplug;
  } else if (!passwordMatches(*d, password)) {
    code = wrongPassword(*d);
  }
  if (code != kOpdslOk) {
    post(to, kOpdslNotifyMessage, messageId, code, 0);
    return code;
  }
  d->wrongPasswords = 0;
  if (d->open)
    host::saveSecureAreaDrive(*d);
  else
    host::showSecureArea(*d, true);
  post(to, kOpdslNotifyMessage, messageId, kOpdslReportReady, 1);
  return kOpdslOk;
}

int logout(HWND window, const char* serialNumber, int, int messageId) {
  HWND to = target(window);
  auto d = plugged(serialNumber);
  if (!d) {
    post(to, kOpdslNotifyMessage, messageId, kOpdslNoDevice, 0);
    return kOpdslNoDevice;
  }
  if (d->open) host::showSecureArea(*d, false);
  post(to, kOpdslNotifyMessage, messageId, kOpdslReportReady, 1);
  return kOpdslOk;
}

int changePassword(HWND, const char* serialNumber, const char* oldPassword, const char* newPassword, const char* hint) {
  auto d = plugged(serialNumber);
  if (!d) return kOpdslNoDevice;
  if (d->secureMb == 0) return kOpdslNoSecureArea;
  if (d->wrongPasswords >= 3) return kOpdslLockedUntilReplug;
  if (!passwordMatches(*d, oldPassword)) return wrongPassword(*d);
  auto next = decodePasswordField(newPassword);
  if (!next || next->empty()) return kOpdslInvalidParameters;
  d->devicePassword = *next;
  d->hintField = hint ? hint : "";
  d->wrongPasswords = 0;
  host::saveSecureAreaDrive(*d);
  return kOpdslOk;
}

int resize(HWND window, const char* formatRequest) {
  if (!formatRequest) return kOpdslInvalidParameters;
  const std::string_view request(formatRequest);
  auto serial = tagOf(request, "otiSN");
  std::uint32_t secureMb = 0, lun2Mb = 0, messageId = kOpdslDefaultMessageId;
  if (!serial || !parseCount(tagOf(request, "otiSecuSize"), secureMb)) return kOpdslInvalidParameters;
  if (auto lun2 = tagOf(request, "otiLun2Size"); lun2 && !parseCount(lun2, lun2Mb)) return kOpdslInvalidParameters;
  if (auto id = tagOf(request, "otiMsgID"); id && !parseCount(id, messageId)) return kOpdslInvalidParameters;
  auto d = plugged(serial->c_str());
  if (!d) return kOpdslNoDevice;
  if (static_cast<std::uint64_t>(secureMb) + lun2Mb > d->capacityMb) return kOpdslInvalidParameters;
  std::u16string password;
  if (secureMb > 0) {
    auto p = decodePasswordField(tagOf(request, "otiPW").value_or("").c_str());
    if (!p || p->empty()) return kOpdslInvalidParameters;
    password = *p;
  }
  // Both areas are formatted; the letter shows the new public area.
  emptyFolder(d->publicRoot);
  emptyFolder(d->secureRoot);
  d->secureMb = secureMb;
  d->lun2Mb = lun2Mb;
  d->devicePassword = password;
  d->hintField = secureMb > 0 ? tagOf(request, "otiHint").value_or("") : std::string();
  d->wrongPasswords = 0;
  host::showSecureArea(*d, false);
  HWND to = target(window);
  post(to, kOpdslInfoReadyMessage, static_cast<int>(messageId), 0, 0);
  post(to, kOpdslResultMessage, static_cast<int>(messageId), kOpdslReportReady, 1);
  return kOpdslOk;
}

}  // namespace

KIPO_EXPORT_TABLE(nullptr,
                  KIPO_EXPORT(nullptr, kOpdslRegisterWindowOrdinal, registerWindow),
                  KIPO_EXPORT(nullptr, kOpdslGetDeviceInfoOrdinal, getDeviceInfo),
                  KIPO_EXPORT(kOpdslIsLogin, 3, isLogin),
                  KIPO_EXPORT(kOpdslLogin, 4, login),
                  KIPO_EXPORT(kOpdslLogout, 5, logout),
                  KIPO_EXPORT(kOpdslChangePW, 6, changePassword),
                  KIPO_EXPORT(kOpdslResize, 7, resize));

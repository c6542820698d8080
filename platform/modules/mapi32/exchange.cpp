// Exchange mailboxes of the simulated host.
#include "platform/modules/mapi32/exchange.h"

#include <cstdio>
#include <memory>

#include "platform/base/text.h"
#include "platform/modules/mapi32/store.h"
#include "platform/net/servers.h"
#include "platform/win32/registry.h"

namespace mapi {
namespace {

std::u16string readString(HKEY key, const char16_t* name) {
  char16_t data[1024] = {};
  DWORD type = 0, size = sizeof data - sizeof(char16_t);
  if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size) != ERROR_SUCCESS || type != REG_SZ)
    return {};
  return std::u16string(data, std::min<std::size_t>(size / sizeof(char16_t), 1023)).c_str();
}

LONG writeString(HKEY key, const char16_t* name, const std::u16string& value) {
  return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                        static_cast<DWORD>((value.size() + 1) * sizeof(char16_t)));
}

std::u16string mailboxKey(const std::u16string& server, const std::u16string& name) {
  return std::u16string(kMailboxesKey) + u"\\" + server + u"\\" + name;
}

}  // namespace

std::u16string Mailbox::address() const { return u"/o=" + organization + u"/ou=" + site + u"/cn=Recipients/cn=" + name; }

std::u16string Mailbox::homeMta() const {
  return u"/o=" + organization + u"/ou=" + site + u"/cn=Configuration/cn=Servers/cn=" + server + u"/cn=Microsoft MTA";
}

HRESULT findMailbox(const std::u16string& server, const std::u16string& name, Mailbox& out) {
  if (server.empty()) return MAPI_E_NETWORK_ERROR;
  auto listed = platform::net::findServer(server);
  if (!listed || !listed->reachable) return MAPI_E_NETWORK_ERROR;
  if (name.empty() || name.find(u'\\') != std::u16string::npos) return MAPI_E_NOT_FOUND;
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, mailboxKey(listed->name, name).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
    return MAPI_E_NOT_FOUND;
  out.server = listed->name;
  out.name = name;
  out.organization = readString(key, u"Organization");
  out.site = readString(key, u"Site");
  out.path = readString(key, u"Path");
  RegCloseKey(key);
  return out.path.empty() ? MAPI_E_CORRUPT_DATA : S_OK;
}

HRESULT addMailbox(const Mailbox& mailbox) {
  if (!platform::net::findServer(mailbox.server)) return MAPI_E_NETWORK_ERROR;
  if (mailbox.name.empty() || mailbox.name.find(u'\\') != std::u16string::npos) return MAPI_E_INVALID_PARAMETER;
  std::shared_ptr<Store> store;
  if (HRESULT hr = Store::open(mailbox.path, true, store); FAILED(hr)) return hr;
  HKEY key = nullptr;
  LONG e = RegCreateKeyExW(HKEY_LOCAL_MACHINE, mailboxKey(mailbox.server, mailbox.name).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                           nullptr, &key, nullptr);
  if (e == ERROR_SUCCESS) {
    e = writeString(key, u"Organization", mailbox.organization);
    if (e == ERROR_SUCCESS) e = writeString(key, u"Site", mailbox.site);
    if (e == ERROR_SUCCESS) e = writeString(key, u"Path", mailbox.path);
    RegCloseKey(key);
  }
  return e == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(e);
}

std::vector<Mailbox> allMailboxes() {
  std::vector<Mailbox> out;
  HKEY root = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kMailboxesKey, 0, KEY_READ, &root) != ERROR_SUCCESS) return out;
  for (DWORD i = 0;; ++i) {
    WCHAR server[256];
    DWORD n = 256;
    if (RegEnumKeyExW(root, i, server, &n, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    HKEY serverKey = nullptr;
    if (RegOpenKeyExW(root, server, 0, KEY_READ, &serverKey) != ERROR_SUCCESS) continue;
    for (DWORD j = 0;; ++j) {
      WCHAR name[256];
      DWORD m = 256;
      if (RegEnumKeyExW(serverKey, j, name, &m, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
      HKEY key = nullptr;
      if (RegOpenKeyExW(serverKey, name, 0, KEY_READ, &key) != ERROR_SUCCESS) continue;
      out.push_back({server, name, readString(key, u"Organization"), readString(key, u"Site"), readString(key, u"Path")});
      RegCloseKey(key);
    }
    RegCloseKey(serverKey);
  }
  RegCloseKey(root);
  return out;
}

HRESULT logSent(const std::u16string& sender, const std::vector<std::u16string>& recipients, const std::u16string& subject) {
  HKEY key = nullptr;
  LONG e = RegCreateKeyExW(HKEY_LOCAL_MACHINE, kSentLogKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
  if (e != ERROR_SUCCESS) return HRESULT_FROM_WIN32(e);
  DWORD values = 0;
  RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr, nullptr, nullptr, nullptr);
  std::u16string line = sender + u"\t";
  for (std::size_t i = 0; i < recipients.size(); ++i) line += (i ? u"; " : u"") + recipients[i];
  line += u"\t" + subject;
  char number[16];
  std::snprintf(number, sizeof number, "%08u", static_cast<unsigned>(values + 1));
  e = writeString(key, platform::text::fromUtf8(number).c_str(), line);
  RegCloseKey(key);
  return e == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(e);
}

std::vector<std::u16string> sentLog() {
  std::vector<std::u16string> out;
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSentLogKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return out;
  for (DWORD i = 0;; ++i) {
    WCHAR name[64];
    DWORD n = 64, type = 0, size = 0;
    if (RegEnumValueW(key, i, name, &n, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) break;
    if (type == REG_SZ) out.push_back(readString(key, name));
  }
  RegCloseKey(key);
  return out;
}

}  // namespace mapi

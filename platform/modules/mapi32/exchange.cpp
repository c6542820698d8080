// Exchange mailboxes of the simulated host.
#include "platform/modules/mapi32/exchange.h"

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

}  // namespace mapi

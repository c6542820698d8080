// The Outlook stand-in's mail: a MAPI session on the host's profiles through the host's own
// "mapi32.dll", loaded at run time as Outlook loads it.
#include "tools/hostapps/foreign/mail.h"

#include <cstdint>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "platform/base/codepage.h"
#include "platform/base/text.h"
#include "platform/com/unknown.h"
#include "platform/modules/mapi32/mapidefs.h"
#include "platform/win32/module.h"
#include "platform/win32/registry.h"

namespace hostapps {
namespace {

namespace text = platform::text;
using platform::com::Ptr;

constexpr char16_t kMailClientKey[] = u"SOFTWARE\\Clients\\Mail\\Microsoft Outlook";
constexpr char16_t kSystemMapi[] = u"C:\\WINDOWS\\system32\\mapi32.dll";
constexpr char16_t kOptionsKey[] = u"Software\\Microsoft\\Exchange\\Client\\Options";

struct Mail {
  std::function<void(std::u16string_view)> log;
  HMODULE module = nullptr;
  MAPIInitializeFn initialize = nullptr;
  MAPIUninitializeFn uninitialize = nullptr;
  MAPILogonExFn logonEx = nullptr;
  FreeProwsFn freeProws = nullptr;
  MAPIFreeBufferFn freeBuffer = nullptr;
  HrGetOnePropFn getOneProp = nullptr;
  bool initialized = false;
  Ptr<IMAPISession> session;
  Ptr<IMsgStore> store;
  std::u16string owner;  // the default store's display name, the sender of what it sends
  std::set<std::string> seen;  // entry ids of Inbox items already reported
};
Mail g;

std::u16string regText(HKEY root, const char16_t* path, const char16_t* name) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return u"";
  char16_t data[MAX_PATH + 1] = {};
  DWORD type = 0, size = sizeof data - sizeof(char16_t);
  const LONG rc = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
  RegCloseKey(key);
  return rc == ERROR_SUCCESS && type == REG_SZ ? std::u16string(data) : u"";
}

std::u16string hex(HRESULT hr) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "0x%08X", static_cast<unsigned>(static_cast<std::uint32_t>(hr)));
  return text::fromUtf8(buffer);
}

template <class F>
bool bind(F& slot, const char* name) {
  slot = reinterpret_cast<F>(GetProcAddress(g.module, name));
  return slot != nullptr;
}

// The folder an entry id of the store names.
HRESULT openFolder(const SBinary& id, Ptr<IMAPIFolder>& out) {
  Ptr<IUnknown> object;
  ULONG type = 0;
  HRESULT hr = g.store->OpenEntry(id.cb, reinterpret_cast<LPENTRYID>(id.lpb), nullptr, MAPI_BEST_ACCESS, &type, object.put());
  if (FAILED(hr)) return hr;
  return object->QueryInterface(IID_IMAPIFolder, reinterpret_cast<void**>(out.put()));
}

// Opens the session's default store.
HRESULT openDefaultStore() {
  Ptr<IMAPITable> stores;
  HRESULT hr = g.session->GetMsgStoresTable(0, stores.put());
  if (FAILED(hr)) return hr;
  SizedSPropTagArray(3, columns) = {3, {PR_ENTRYID, PR_DEFAULT_STORE, PR_DISPLAY_NAME_A}};
  if (FAILED(hr = stores->SetColumns(reinterpret_cast<LPSPropTagArray>(&columns), 0))) return hr;
  LPSRowSet rows = nullptr;
  if (FAILED(hr = stores->QueryRows(100, 0, &rows))) return hr;
  hr = MAPI_E_NOT_FOUND;
  for (ULONG i = 0; i < rows->cRows && hr == MAPI_E_NOT_FOUND; ++i) {
    const SRow& row = rows->aRow[i];
    if (row.cValues < 3 || row.lpProps[0].ulPropTag != PR_ENTRYID || row.lpProps[1].ulPropTag != PR_DEFAULT_STORE ||
        !row.lpProps[1].Value.b)
      continue;
    const SBinary& id = row.lpProps[0].Value.bin;
    hr = g.session->OpenMsgStore(0, id.cb, reinterpret_cast<LPENTRYID>(id.lpb), nullptr, MDB_WRITE | MDB_NO_DIALOG,
                                 g.store.put());
    if (row.lpProps[2].ulPropTag == PR_DISPLAY_NAME_A) g.owner = text::ansiToWide(row.lpProps[2].Value.lpszA);
  }
  g.freeProws(rows);
  return hr;
}

}  // namespace

void startMail(HWND owner, std::function<void(std::u16string_view)> log) {
  g.log = std::move(log);
  std::u16string path = regText(HKEY_LOCAL_MACHINE, kMailClientKey, u"DllPathEx");
  if (path.empty()) path = kSystemMapi;
  g.module = LoadLibraryW(path.c_str());
  if (!g.module) return;  // no MAPI on this host: a program without mail
  if (!bind(g.initialize, kMapiInitializeName) || !bind(g.uninitialize, kMapiUninitializeName) ||
      !bind(g.logonEx, kMapiLogonExName) || !bind(g.freeProws, kFreeProwsName) ||
      !bind(g.freeBuffer, kMapiFreeBufferName) || !bind(g.getOneProp, kHrGetOnePropName)) {
    g.log(u"logon failed no MAPI");
    return;
  }
  MAPIINIT_0 init{MAPI_INIT_VERSION, 0};
  HRESULT hr = g.initialize(&init);
  g.initialized = SUCCEEDED(hr);
  const bool silent = regText(HKEY_CURRENT_USER, kOptionsKey, u"PickLogonProfile") == u"0";
  if (SUCCEEDED(hr))
    hr = g.logonEx(reinterpret_cast<ULONG_PTR>(owner), nullptr, nullptr,
                   MAPI_EXTENDED | MAPI_NEW_SESSION | (silent ? MAPI_USE_DEFAULT : MAPI_LOGON_UI), g.session.put());
  if (SUCCEEDED(hr)) hr = openDefaultStore();
  if (FAILED(hr)) {
    g.store.reset();
    if (g.session) g.session->Logoff(0, 0, 0);
    g.session.reset();
    g.log(u"logon failed " + hex(hr));
    return;
  }
  g.log(u"logon " + g.owner);
  checkInbox();
}

void checkInbox() {
  if (!g.store) return;
  LPENTRYID inboxId = nullptr;
  ULONG size = 0;
  if (FAILED(g.store->GetReceiveFolder(const_cast<LPSTR>("IPM.Note"), 0, &size, &inboxId, nullptr))) return;
  Ptr<IMAPIFolder> inbox;
  HRESULT hr = openFolder(SBinary{size, reinterpret_cast<LPBYTE>(inboxId)}, inbox);
  g.freeBuffer(inboxId);
  Ptr<IMAPITable> contents;
  if (FAILED(hr) || FAILED(inbox->GetContentsTable(0, contents.put()))) return;
  SizedSPropTagArray(2, columns) = {2, {PR_ENTRYID, PR_SUBJECT_A}};
  if (FAILED(contents->SetColumns(reinterpret_cast<LPSPropTagArray>(&columns), 0))) return;
  for (;;) {
    LPSRowSet rows = nullptr;
    if (FAILED(contents->QueryRows(50, 0, &rows))) return;
    const ULONG count = rows->cRows;
    for (ULONG i = 0; i < count; ++i) {
      const SRow& row = rows->aRow[i];
      if (row.cValues < 2 || row.lpProps[0].ulPropTag != PR_ENTRYID) continue;
      const SBinary& id = row.lpProps[0].Value.bin;
      if (!g.seen.insert(std::string(reinterpret_cast<const char*>(id.lpb), id.cb)).second) continue;
      g.log(u"inbox " + (row.lpProps[1].ulPropTag == PR_SUBJECT_A ? text::ansiToWide(row.lpProps[1].Value.lpszA) : u""));
    }
    g.freeProws(rows);
    if (count == 0) return;
  }
}

LRESULT sendMailRequest(const void* data, DWORD size) {
  if (!g.store) return MAPI_E_LOGON_FAILED;
  // Three texts, each ending in a NUL.
  if (!data || size % sizeof(char16_t)) return MAPI_E_INVALID_PARAMETER;
  std::u16string all(static_cast<const char16_t*>(data), size / sizeof(char16_t));
  std::vector<std::string> parts;
  for (std::size_t start = 0; start < all.size();) {
    const std::size_t end = all.find(u'\0', start);
    if (end == std::u16string::npos) return MAPI_E_INVALID_PARAMETER;
    parts.push_back(text::wideToAnsi(all.substr(start, end - start)));
    start = end + 1;
  }
  if (parts.size() != 3 || parts[0].empty()) return MAPI_E_INVALID_PARAMETER;

  LPSPropValue outboxId = nullptr;
  HRESULT hr = g.getOneProp(g.store.get(), PR_IPM_OUTBOX_ENTRYID, &outboxId);
  if (FAILED(hr)) return hr;
  Ptr<IMAPIFolder> outbox;
  hr = openFolder(outboxId->Value.bin, outbox);
  g.freeBuffer(outboxId);
  if (FAILED(hr)) return hr;
  Ptr<IMessage> message;
  if (FAILED(hr = outbox->CreateMessage(nullptr, 0, message.put()))) return hr;
  const std::string sender = text::wideToAnsi(g.owner);
  SPropValue props[4]{};
  props[0].ulPropTag = PR_MESSAGE_CLASS_A;
  props[0].Value.lpszA = const_cast<LPSTR>("IPM.Note");
  props[1].ulPropTag = PR_SUBJECT_A;
  props[1].Value.lpszA = parts[1].data();
  props[2].ulPropTag = PR_BODY_A;
  props[2].Value.lpszA = parts[2].data();
  props[3].ulPropTag = PR_SENDER_NAME_A;
  props[3].Value.lpszA = const_cast<LPSTR>(sender.c_str());
  if (FAILED(hr = message->SetProps(4, props, nullptr))) return hr;
  SPropValue recipient[3]{};
  recipient[0].ulPropTag = PR_DISPLAY_NAME_A;
  recipient[0].Value.lpszA = parts[0].data();
  recipient[1].ulPropTag = PR_EMAIL_ADDRESS_A;
  recipient[1].Value.lpszA = parts[0].data();
  recipient[2].ulPropTag = PR_RECIPIENT_TYPE;
  recipient[2].Value.l = MAPI_TO;
  ADRLIST list{1, {{0, 3, recipient}}};
  if (FAILED(hr = message->ModifyRecipients(MODRECIP_ADD, &list))) return hr;
  if (FAILED(hr = message->SubmitMessage(0))) return hr;
  g.log(u"sent " + text::ansiToWide(parts[1]));
  return S_OK;
}

void stopMail() {
  if (g.session) {
    g.store.reset();
    g.session->Logoff(0, 0, 0);
    g.session.reset();
    g.log(u"logoff");
  }
  if (g.initialized) g.uninitialize();
  g.initialized = false;
}

}  // namespace hostapps

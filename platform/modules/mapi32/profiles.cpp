// MAPI profiles in the host registry and the administration objects over them.
#include "platform/modules/mapi32/profiles.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <random>

#include "platform/base/codepage.h"
#include "platform/base/fault.h"
#include "platform/base/text.h"
#include "platform/host/process_table.h"
#include "platform/modules/mapi32/exchange.h"
#include "platform/modules/mapi32/memory.h"
#include "platform/modules/mapi32/store.h"
#include "platform/modules/mapi32/table.h"
#include "platform/win32/registry.h"
#include "platform/win32/system.h"

namespace mapi {
namespace {

namespace text = platform::text;
using platform::com::SingleInterface;

constexpr char16_t kDefaultProfileValue[] = u"DefaultProfile";
constexpr std::size_t kMaxProfileName = 255;  // a registry key name

// The message services the stand-in knows, by name, with their providers.
struct ProviderKind {
  const char16_t* dll;
  const char16_t* display;
  LONG resourceType;
};
struct ServiceKind {
  const char16_t* name;
  const char16_t* display;  // the display name when the caller gives none
  bool store;               // holds a message store (may be the default store)
  std::vector<ProviderKind> providers;
};
const std::vector<ServiceKind>& serviceKinds() {
  static const std::vector<ServiceKind> kinds = {
      {u"MSPST MS", u"Personal Folders", true, {{u"MSPST.DLL", u"Personal Folders", MAPI_STORE_PROVIDER}}},
      {u"INTERSTOR", u"Personal Folders", true, {{u"MSPST.DLL", u"Personal Folders", MAPI_STORE_PROVIDER}}},
      {u"MSEMS",
       u"Microsoft Exchange Server",
       true,
       {{u"EMSMDB.DLL", u"Microsoft Exchange Message Store", MAPI_STORE_PROVIDER},
        {u"EMSABP.DLL", u"Microsoft Exchange Directory Service", MAPI_AB_PROVIDER},
        {u"EMSMDB.DLL", u"Microsoft Exchange Transport", MAPI_TRANSPORT_PROVIDER}}},
      {u"CONTAB", u"Outlook Address Book", false, {{u"CONTAB.DLL", u"Outlook Address Book", MAPI_AB_PROVIDER}}},
      {u"IMAIL", u"Internet E-mail", false, {{u"IMAIL.DLL", u"Internet E-mail", MAPI_TRANSPORT_PROVIDER}}},
  };
  return kinds;
}
const ServiceKind* serviceKind(std::u16string_view name) {
  for (const ServiceKind& k : serviceKinds())
    if (text::equalNoCase(k.name, name)) return &k;
  return nullptr;
}

// The fault set on a write call, as the HRESULT it fails with (0: go on).
HRESULT faultOf(std::string_view call, std::u16string_view subject) {
  const DWORD error = platform::fault::check(call, subject);
  return static_cast<HRESULT>(error);
}

class Key {
 public:
  Key() = default;
  ~Key() {
    if (key_) RegCloseKey(key_);
  }
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;
  LONG open(const std::u16string& path, REGSAM access) {
    return RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, access, &key_);
  }
  LONG create(const std::u16string& path) {
    return RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                           nullptr, &key_, nullptr);
  }
  HKEY get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

std::u16string profileKey(const std::u16string& profile) { return profilesKeyPath() + u"\\" + profile; }
std::u16string sectionKey(const std::u16string& profile, const MAPIUID& uid) {
  return profileKey(profile) + u"\\" + sectionName(uid);
}

MAPIUID newUid() {
  static std::random_device device;
  static std::mt19937_64 engine(device());
  MAPIUID uid;
  for (int i = 0; i < 16; i += 8) {
    const std::uint64_t r = engine();
    std::memcpy(uid.ab + i, &r, 8);
  }
  return uid;
}
std::string uidBytes(const MAPIUID& uid) { return std::string(reinterpret_cast<const char*>(uid.ab), 16); }

// A list of ids kept as one binary value (16 bytes each); a length that is not a multiple of 16
// is a damaged list and reads as empty.
std::vector<MAPIUID> idList(const Value* v) {
  std::vector<MAPIUID> out;
  if (!v || v->type() != PT_BINARY || v->bytes.size() % 16) return out;
  for (std::size_t i = 0; i < v->bytes.size(); i += 16) {
    MAPIUID uid;
    std::memcpy(uid.ab, v->bytes.data() + i, 16);
    out.push_back(uid);
  }
  return out;
}
Value idListValue(ULONG tag, const std::vector<MAPIUID>& ids) {
  std::string bytes;
  for (const MAPIUID& uid : ids) bytes += uidBytes(uid);
  return binaryValue(tag, bytes);
}
bool sameUid(const MAPIUID& a, const MAPIUID& b) { return std::memcmp(a.ab, b.ab, 16) == 0; }

std::u16string ansi(LPSTR s) { return s ? text::ansiToWide(s) : std::u16string(); }

HRESULT copyLastError(LPMAPIERROR* error) {
  if (error) *error = nullptr;
  return S_OK;
}

// ---- profile sections ----

class ProfSect final : public SingleInterface<IProfSect> {
 public:
  ProfSect(std::u16string profile, MAPIUID uid, bool writable)
      : profile_(std::move(profile)), uid_(uid), writable_(writable) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (object && riid == IID_IMAPIProp) {
      *object = static_cast<IMAPIProp*>(this);
      AddRef();
      return S_OK;
    }
    return SingleInterface<IProfSect>::QueryInterface(riid, object);
  }
  HRESULT STDMETHODCALLTYPE GetLastError(HRESULT, ULONG, LPMAPIERROR* error) override { return copyLastError(error); }
  // Changes are written through at once; there is nothing left to save.
  HRESULT STDMETHODCALLTYPE SaveChanges(ULONG) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetProps(LPSPropTagArray tags, ULONG, ULONG* count, LPSPropValue* values) override {
    if (!profileExists(profile_)) return MAPI_E_OBJECT_DELETED;
    return makeProps(readSection(profile_, uid_), tags, count, values);
  }
  HRESULT STDMETHODCALLTYPE GetPropList(ULONG, LPSPropTagArray* tags) override {
    if (!tags) return MAPI_E_INVALID_PARAMETER;
    Row row = readSection(profile_, uid_);
    LPVOID block = nullptr;
    if (SCODE sc = allocateBuffer(static_cast<ULONG>(CbNewSPropTagArray(row.size() + 1)), &block); sc != S_OK) return sc;
    auto* list = static_cast<LPSPropTagArray>(block);
    list->cValues = static_cast<ULONG>(row.size());
    for (std::size_t i = 0; i < row.size(); ++i) list->aulPropTag[i] = row[i].tag;
    *tags = list;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OpenProperty(ULONG, LPCIID, ULONG, ULONG, LPUNKNOWN* object) override {
    if (object) *object = nullptr;
    return MAPI_E_NO_SUPPORT;
  }
  HRESULT STDMETHODCALLTYPE SetProps(ULONG count, LPSPropValue values, LPSPropProblemArray* problems) override {
    if (problems) *problems = nullptr;
    if (!writable_) return MAPI_E_NO_ACCESS;
    if (count && !values) return MAPI_E_INVALID_PARAMETER;
    Row row;
    for (ULONG i = 0; i < count; ++i) {
      Value v;
      if (HRESULT hr = fromMapi(values[i], v); FAILED(hr)) return hr;
      row.push_back(std::move(v));
    }
    return writeSection(profile_, uid_, row);
  }
  HRESULT STDMETHODCALLTYPE DeleteProps(LPSPropTagArray tags, LPSPropProblemArray* problems) override {
    if (problems) *problems = nullptr;
    if (!writable_) return MAPI_E_NO_ACCESS;
    if (!tags) return MAPI_E_INVALID_PARAMETER;
    return deleteSectionProps(profile_, uid_, std::vector<ULONG>(tags->aulPropTag, tags->aulPropTag + tags->cValues));
  }
  HRESULT STDMETHODCALLTYPE CopyTo(ULONG, LPCIID, LPSPropTagArray, ULONG_PTR, LPVOID, LPCIID, LPVOID, ULONG,
                                   LPSPropProblemArray*) override {
    return MAPI_E_NO_SUPPORT;
  }
  HRESULT STDMETHODCALLTYPE CopyProps(LPSPropTagArray, ULONG_PTR, LPVOID, LPCIID, LPVOID, ULONG,
                                      LPSPropProblemArray*) override {
    return MAPI_E_NO_SUPPORT;
  }
  HRESULT STDMETHODCALLTYPE GetNamesFromIDs(LPSPropTagArray*, LPGUID, ULONG, ULONG*, LPMAPINAMEID**) override {
    return MAPI_E_NO_SUPPORT;
  }
  HRESULT STDMETHODCALLTYPE GetIDsFromNames(ULONG, LPMAPINAMEID*, ULONG, LPSPropTagArray*) override {
    return MAPI_E_NO_SUPPORT;
  }

 private:
  std::u16string profile_;
  MAPIUID uid_;
  bool writable_;
};

HRESULT openSection(const std::u16string& profile, LPMAPIUID uid, ULONG flags, LPPROFSECT* out) {
  if (!out) return MAPI_E_INVALID_PARAMETER;
  *out = nullptr;
  if (!uid) return MAPI_E_INVALID_PARAMETER;
  if (!profileExists(profile)) return MAPI_E_NOT_FOUND;
  *out = new ProfSect(profile, *uid, (flags & MAPI_MODIFY) != 0);
  return S_OK;
}

// ---- providers and services ----

std::vector<MAPIUID> providerIds(const std::u16string& profile, const MAPIUID& service) {
  Row row = readSection(profile, service);
  return idList(find(row, PR_STORE_PROVIDERS));
}

Row providerRow(const std::u16string& profile, const MAPIUID& provider) {
  Row row = readSection(profile, provider);
  put(row, binaryValue(PR_INSTANCE_KEY, uidBytes(provider)));
  return row;
}

HRESULT addProvider(const std::u16string& profile, const MAPIUID& service, const Row& serviceRow,
                    const ProviderKind& kind, const Row& extra, MAPIUID* created) {
  const MAPIUID uid = newUid();
  Row row = extra;
  put(row, binaryValue(PR_INSTANCE_KEY, uidBytes(uid)));
  put(row, binaryValue(PR_SERVICE_UID, uidBytes(service)));
  put(row, textValue(PR_PROVIDER_DLL_NAME_A, kind.dll));
  put(row, textValue(PR_PROVIDER_DISPLAY_A, kind.display));
  if (const Value* name = find(serviceRow, PR_DISPLAY_NAME_A)) put(row, textValue(PR_DISPLAY_NAME_A, name->text));
  if (const Value* name = find(serviceRow, PR_SERVICE_NAME_A)) put(row, textValue(PR_SERVICE_NAME_A, name->text));
  put(row, longValue(PR_RESOURCE_TYPE, kind.resourceType));
  put(row, longValue(PR_RESOURCE_FLAGS, 0));
  if (HRESULT hr = writeSection(profile, uid, row); FAILED(hr)) return hr;
  std::vector<MAPIUID> ids = providerIds(profile, service);
  ids.push_back(uid);
  if (HRESULT hr = writeSection(profile, service, {idListValue(PR_STORE_PROVIDERS, ids)}); FAILED(hr)) return hr;
  if (created) *created = uid;
  return S_OK;
}

LONG deleteSection(const std::u16string& profile, const MAPIUID& uid) {
  return static_cast<LONG>(SHDeleteKeyW(HKEY_CURRENT_USER, sectionKey(profile, uid).c_str()));
}

class ProviderAdmin final : public SingleInterface<IProviderAdmin> {
 public:
  ProviderAdmin(std::u16string profile, MAPIUID service) : profile_(std::move(profile)), service_(service) {}

  HRESULT STDMETHODCALLTYPE GetLastError(HRESULT, ULONG, LPMAPIERROR* error) override { return copyLastError(error); }
  HRESULT STDMETHODCALLTYPE GetProviderTable(ULONG, LPMAPITABLE* table) override {
    if (!table) return MAPI_E_INVALID_PARAMETER;
    std::vector<Row> rows;
    for (const MAPIUID& p : providerIds(profile_, service_)) rows.push_back(providerRow(profile_, p));
    return newTable(std::move(rows), {PR_INSTANCE_KEY, PR_PROVIDER_DISPLAY_A, PR_RESOURCE_TYPE}, table);
  }
  HRESULT STDMETHODCALLTYPE CreateProvider(LPSTR name, ULONG count, LPSPropValue props, ULONG_PTR, ULONG,
                                           MAPIUID* uid) override {
    if (!name || !*name || (count && !props)) return MAPI_E_INVALID_PARAMETER;
    Row service = readSection(profile_, service_);
    if (!find(service, PR_SERVICE_NAME_A)) return MAPI_E_NOT_FOUND;
    Row extra;
    for (ULONG i = 0; i < count; ++i) {
      Value v;
      if (HRESULT hr = fromMapi(props[i], v); FAILED(hr)) return hr;
      put(extra, std::move(v));
    }
    // A provider is named by its section in the service's entry of the profile (e.g. "CONTABP"
    // of the address book service); it belongs to the service's library.
    const std::u16string section = ansi(name);
    const ServiceKind* kind = serviceKind(find(service, PR_SERVICE_NAME_A)->text);
    ProviderKind provider{kind && !kind->providers.empty() ? kind->providers[0].dll : section.c_str(), section.c_str(),
                          kind && !kind->providers.empty() ? kind->providers[0].resourceType : MAPI_AB_PROVIDER};
    const std::u16string display = provider.display;
    provider.display = display.c_str();
    MAPIUID created{};
    if (HRESULT hr = addProvider(profile_, service_, service, provider, extra, &created); FAILED(hr)) return hr;
    if (uid) *uid = created;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE DeleteProvider(LPMAPIUID uid) override {
    if (!uid) return MAPI_E_INVALID_PARAMETER;
    std::vector<MAPIUID> ids = providerIds(profile_, service_);
    auto it = std::find_if(ids.begin(), ids.end(), [&](const MAPIUID& p) { return sameUid(p, *uid); });
    if (it == ids.end()) return MAPI_E_NOT_FOUND;
    ids.erase(it);
    if (HRESULT hr = writeSection(profile_, service_, {idListValue(PR_STORE_PROVIDERS, ids)}); FAILED(hr)) return hr;
    deleteSection(profile_, *uid);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OpenProfileSection(LPMAPIUID uid, LPCIID, ULONG flags, LPPROFSECT* section) override {
    return openSection(profile_, uid, flags, section);
  }

 private:
  std::u16string profile_;
  MAPIUID service_;
};

class ServiceAdmin final : public SingleInterface<IMsgServiceAdmin> {
 public:
  explicit ServiceAdmin(std::u16string profile) : profile_(std::move(profile)) {}

  HRESULT STDMETHODCALLTYPE GetLastError(HRESULT, ULONG, LPMAPIERROR* error) override { return copyLastError(error); }
  HRESULT STDMETHODCALLTYPE GetMsgServiceTable(ULONG, LPMAPITABLE* table) override {
    if (!table) return MAPI_E_INVALID_PARAMETER;
    *table = nullptr;
    if (!profileExists(profile_)) return MAPI_E_OBJECT_DELETED;
    std::vector<Row> rows;
    for (const MAPIUID& s : serviceIds(profile_)) {
      Row row = readSection(profile_, s);
      put(row, binaryValue(PR_SERVICE_UID, uidBytes(s)));
      put(row, binaryValue(PR_INSTANCE_KEY, uidBytes(s)));
      rows.push_back(std::move(row));
    }
    return newTable(std::move(rows), {PR_SERVICE_UID, PR_SERVICE_NAME_A, PR_DISPLAY_NAME_A, PR_RESOURCE_FLAGS}, table);
  }
  HRESULT STDMETHODCALLTYPE CreateMsgService(LPSTR service, LPSTR displayName, ULONG_PTR, ULONG) override {
    if (!service || !*service) return MAPI_E_INVALID_PARAMETER;
    const std::u16string name = ansi(service);
    if (HRESULT hr = faultOf("IMsgServiceAdmin::CreateMsgService", name); hr) return hr;
    if (!profileExists(profile_)) return MAPI_E_OBJECT_DELETED;
    const ServiceKind* kind = serviceKind(name);
    if (!kind) return MAPI_E_NOT_FOUND;
    std::vector<MAPIUID> services = serviceIds(profile_);
    // The first store service of a profile holds its default store.
    bool hasDefault = false;
    for (const MAPIUID& s : services) {
      Row row = readSection(profile_, s);
      const Value* flags = find(row, PR_RESOURCE_FLAGS);
      if (flags && (flags->i & SERVICE_DEFAULT_STORE)) hasDefault = true;
    }
    const MAPIUID uid = newUid();
    Row row;
    put(row, textValue(PR_SERVICE_NAME_A, kind->name));
    put(row, textValue(PR_DISPLAY_NAME_A, displayName && *displayName ? ansi(displayName) : kind->display));
    put(row, longValue(PR_RESOURCE_FLAGS, kind->store && !hasDefault ? SERVICE_DEFAULT_STORE : 0));
    put(row, binaryValue(PR_SERVICE_UID, uidBytes(uid)));
    put(row, textValue(PR_PROVIDER_DISPLAY_A, kind->display));
    if (kind->store && !text::equalNoCase(kind->name, u"MSEMS")) put(row, longValue(PR_STORE_SUPPORT_MASK, kPstSupportMask));
    if (HRESULT hr = writeSection(profile_, uid, row); FAILED(hr)) return hr;
    for (const ProviderKind& p : kind->providers)
      if (HRESULT hr = addProvider(profile_, uid, row, p, {}, nullptr); FAILED(hr)) return hr;
    services.push_back(uid);
    return writeSection(profile_, kProfileSection, {idListValue(PR_SERVICES, services)});
  }
  HRESULT STDMETHODCALLTYPE DeleteMsgService(LPMAPIUID uid) override {
    if (!uid) return MAPI_E_INVALID_PARAMETER;
    std::vector<MAPIUID> services = serviceIds(profile_);
    auto it = std::find_if(services.begin(), services.end(), [&](const MAPIUID& s) { return sameUid(s, *uid); });
    if (it == services.end()) return MAPI_E_NOT_FOUND;
    for (const MAPIUID& p : providerIds(profile_, *uid)) deleteSection(profile_, p);
    deleteSection(profile_, *uid);
    services.erase(it);
    return writeSection(profile_, kProfileSection, {idListValue(PR_SERVICES, services)});
  }
  HRESULT STDMETHODCALLTYPE CopyMsgService(LPMAPIUID, LPSTR, LPCIID, LPCIID, LPVOID, ULONG_PTR, ULONG) override {
    return MAPI_E_NO_SUPPORT;
  }
  HRESULT STDMETHODCALLTYPE RenameMsgService(LPMAPIUID, ULONG, LPSTR) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE ConfigureMsgService(LPMAPIUID uid, ULONG_PTR, ULONG, ULONG count, LPSPropValue props) override {
    if (!uid || (count && !props)) return MAPI_E_INVALID_PARAMETER;
    Row service = readSection(profile_, *uid);
    const Value* name = find(service, PR_SERVICE_NAME_A);
    if (!name) return MAPI_E_NOT_FOUND;
    if (HRESULT hr = faultOf("IMsgServiceAdmin::ConfigureMsgService", name->text); hr) return hr;
    Row changes;
    for (ULONG i = 0; i < count; ++i) {
      Value v;
      if (HRESULT hr = fromMapi(props[i], v); FAILED(hr)) return hr;
      put(changes, std::move(v));
    }
    // A personal folders service without a file cannot be configured without a dialog.
    const ServiceKind* kind = serviceKind(name->text);
    if (kind && (text::equalNoCase(kind->name, u"MSPST MS") || text::equalNoCase(kind->name, u"INTERSTOR")) &&
        !find(changes, PR_PST_PATH) && !find(service, PR_PST_PATH))
      return MAPI_E_UNCONFIGURED;
    // An Exchange service names a mailbox of a listed, reachable server.
    if (kind && text::equalNoCase(kind->name, u"MSEMS")) {
      const Value* server = find(changes, PR_PROFILE_UNRESOLVED_SERVER);
      if (!server) server = find(service, PR_PROFILE_UNRESOLVED_SERVER);
      const Value* mailbox = find(changes, PR_PROFILE_UNRESOLVED_NAME);
      if (!mailbox) mailbox = find(service, PR_PROFILE_UNRESOLVED_NAME);
      if (!server || !mailbox) return MAPI_E_UNCONFIGURED;
      Mailbox found;
      if (HRESULT hr = findMailbox(server->text, mailbox->text, found); FAILED(hr)) return hr;
    }
    // A personal folders file is opened (made when missing) before the profile names it: a
    // file that is not a store, or of a newer schema, leaves the service as it was.
    if (kind && kind->store && !text::equalNoCase(kind->name, u"MSEMS")) {
      const Value* path = find(changes, PR_PST_PATH);
      if (!path) path = find(service, PR_PST_PATH);
      std::shared_ptr<Store> store;
      if (HRESULT hr = Store::open(path->text, true, store); FAILED(hr)) return hr;
    }
    if (HRESULT hr = writeSection(profile_, *uid, changes); FAILED(hr)) return hr;
    // The providers see the configuration too (the store provider opens its file by it).
    for (const MAPIUID& p : providerIds(profile_, *uid))
      if (HRESULT hr = writeSection(profile_, p, changes); FAILED(hr)) return hr;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OpenProfileSection(LPMAPIUID uid, LPCIID, ULONG flags, LPPROFSECT* section) override {
    return openSection(profile_, uid, flags, section);
  }
  HRESULT STDMETHODCALLTYPE MsgServiceTransportOrder(ULONG, LPMAPIUID, ULONG) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE AdminProviders(LPMAPIUID uid, ULONG, LPPROVIDERADMIN* providerAdmin) override {
    if (!providerAdmin) return MAPI_E_INVALID_PARAMETER;
    *providerAdmin = nullptr;
    if (!uid) return MAPI_E_INVALID_PARAMETER;
    Row service = readSection(profile_, *uid);
    if (!find(service, PR_SERVICE_NAME_A)) return MAPI_E_NOT_FOUND;
    *providerAdmin = new ProviderAdmin(profile_, *uid);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetPrimaryIdentity(LPMAPIUID, ULONG) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE GetProviderTable(ULONG, LPMAPITABLE* table) override {
    if (!table) return MAPI_E_INVALID_PARAMETER;
    std::vector<Row> rows;
    for (const MAPIUID& s : serviceIds(profile_))
      for (const MAPIUID& p : providerIds(profile_, s)) rows.push_back(providerRow(profile_, p));
    return newTable(std::move(rows), {PR_INSTANCE_KEY, PR_PROVIDER_DISPLAY_A, PR_RESOURCE_TYPE}, table);
  }

 private:
  std::u16string profile_;
};

// ---- profile administration ----

bool validName(LPSTR name) { return name && *name && std::strlen(name) <= kMaxProfileName && !std::strchr(name, '\\'); }

class ProfAdmin final : public SingleInterface<IProfAdmin> {
 public:
  HRESULT STDMETHODCALLTYPE GetLastError(HRESULT, ULONG, LPMAPIERROR* error) override { return copyLastError(error); }
  HRESULT STDMETHODCALLTYPE GetProfileTable(ULONG, LPMAPITABLE* table) override {
    if (!table) return MAPI_E_INVALID_PARAMETER;
    const std::u16string byDefault = defaultProfile();
    std::vector<Row> rows;
    for (const std::u16string& name : profileNames())
      rows.push_back({textValue(PR_DISPLAY_NAME_A, name), boolValue(PR_DEFAULT_PROFILE, text::equalNoCase(name, byDefault))});
    return newTable(std::move(rows), {PR_DISPLAY_NAME_A, PR_DEFAULT_PROFILE}, table);
  }
  HRESULT STDMETHODCALLTYPE CreateProfile(LPSTR name, LPSTR, ULONG_PTR, ULONG) override {
    if (!validName(name)) return MAPI_E_INVALID_PARAMETER;
    const std::u16string profile = ansi(name);
    if (profileExists(profile)) return MAPI_E_NO_ACCESS;
    if (isMarkedForDeletion(profile)) return MAPI_E_NO_ACCESS;
    const MAPIUID key = newUid();
    if (HRESULT hr = writeSection(profile, kProfileSection, {binaryValue(PR_SEARCH_KEY, uidBytes(key))}); FAILED(hr))
      return hr;
    // With no default profile (none named, or the one named is gone) the new one becomes it.
    const std::u16string current = defaultProfile();
    if (current.empty() || !profileExists(current)) return setDefault(profile);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE DeleteProfile(LPSTR name, ULONG) override {
    if (!name || !*name) return MAPI_E_INVALID_PARAMETER;
    return deleteProfile(ansi(name));
  }
  HRESULT STDMETHODCALLTYPE ChangeProfilePassword(LPSTR, LPSTR, LPSTR, ULONG) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE CopyProfile(LPSTR oldName, LPSTR, LPSTR newName, ULONG_PTR, ULONG) override {
    if (!oldName || !*oldName || !validName(newName)) return MAPI_E_INVALID_PARAMETER;
    const std::u16string from = ansi(oldName), to = ansi(newName);
    if (!profileExists(from)) return MAPI_E_NOT_FOUND;
    if (profileExists(to)) return MAPI_E_NO_ACCESS;
    Key target;
    if (LONG e = target.create(profileKey(to)); e != ERROR_SUCCESS) return HRESULT_FROM_WIN32(e);
    if (DWORD e = SHCopyKeyW(HKEY_CURRENT_USER, profileKey(from).c_str(), target.get(), 0); e != ERROR_SUCCESS)
      return HRESULT_FROM_WIN32(e);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE RenameProfile(LPSTR oldName, LPSTR password, LPSTR newName, ULONG_PTR ui, ULONG flags) override {
    const bool wasDefault = oldName && text::equalNoCase(ansi(oldName), defaultProfile());
    if (HRESULT hr = CopyProfile(oldName, password, newName, ui, flags); FAILED(hr)) return hr;
    if (HRESULT hr = deleteProfile(ansi(oldName)); FAILED(hr)) return hr;
    return wasDefault ? setDefault(ansi(newName)) : S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetDefaultProfile(LPSTR name, ULONG) override {
    if (!name) {
      Key key;
      if (key.open(profilesKeyPath(), KEY_ALL_ACCESS) == ERROR_SUCCESS) RegDeleteValueW(key.get(), kDefaultProfileValue);
      return S_OK;
    }
    const std::u16string profile = ansi(name);
    if (!profileExists(profile)) return MAPI_E_NOT_FOUND;
    return setDefault(profile);
  }
  HRESULT STDMETHODCALLTYPE AdminServices(LPSTR name, LPSTR, ULONG_PTR, ULONG, LPSERVICEADMIN* serviceAdmin) override {
    if (!serviceAdmin) return MAPI_E_INVALID_PARAMETER;
    *serviceAdmin = nullptr;
    if (!name || !*name) return MAPI_E_INVALID_PARAMETER;
    const std::u16string profile = ansi(name);
    if (!profileExists(profile)) return MAPI_E_NOT_FOUND;
    *serviceAdmin = new ServiceAdmin(profile);
    return S_OK;
  }

 private:
  static HRESULT setDefault(const std::u16string& profile) {
    Key key;
    if (LONG e = key.create(profilesKeyPath()); e != ERROR_SUCCESS) return HRESULT_FROM_WIN32(e);
    LONG e = RegSetValueExW(key.get(), kDefaultProfileValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(profile.c_str()),
                            static_cast<DWORD>((profile.size() + 1) * sizeof(char16_t)));
    return e == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(e);
  }
};

}  // namespace

std::u16string profilesKeyPath() {
  OSVERSIONINFOW info{};
  info.dwOSVersionInfoSize = sizeof(info);
  const bool nt = !GetVersionExW(&info) || info.dwMajorVersion >= 5;
  return nt ? u"Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows Messaging Subsystem\\Profiles"
            : u"Software\\Microsoft\\Windows Messaging Subsystem\\Profiles";
}

std::u16string sectionName(const MAPIUID& uid) {
  static const char16_t digits[] = u"0123456789abcdef";
  std::u16string out;
  for (BYTE b : uid.ab) {
    out += digits[b >> 4];
    out += digits[b & 15];
  }
  return out;
}

std::u16string propertyValueName(ULONG tag) {
  char buffer[16];
  std::snprintf(buffer, sizeof(buffer), "%04x%04x", static_cast<unsigned>(PROP_TYPE(tag)), static_cast<unsigned>(PROP_ID(tag)));
  return text::fromUtf8(buffer);
}

std::string encodeValue(const Value& v) {
  auto le = [](ULONGLONG x, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += static_cast<char>((x >> (8 * i)) & 0xFF);
    return out;
  };
  auto bitsOf = [](double d) {
    ULONGLONG x;
    std::memcpy(&x, &d, 8);
    return x;
  };
  switch (v.type()) {
    case PT_I2: case PT_BOOLEAN: return le(static_cast<ULONGLONG>(v.i), 2);
    case PT_LONG: case PT_ERROR: return le(static_cast<ULONGLONG>(v.i), 4);
    case PT_I8: case PT_SYSTIME: case PT_CURRENCY: return le(static_cast<ULONGLONG>(v.i), 8);
    case PT_R4: {
      const float f = static_cast<float>(v.d);
      std::uint32_t x;
      std::memcpy(&x, &f, 4);
      return le(x, 4);
    }
    case PT_DOUBLE: case PT_APPTIME: return le(bitsOf(v.d), 8);
    case PT_STRING8: return narrow(v.text) + std::string(1, '\0');
    case PT_UNICODE: {
      std::string out;
      for (char16_t c : v.text) out += le(c, 2);
      return out + std::string(2, '\0');
    }
    case PT_BINARY: case PT_CLSID: return v.bytes;
    default: {
      std::string out = le(v.multi.size(), 4);
      for (const std::string& m : v.multi) out += le(m.size(), 4) + m;
      return out;
    }
  }
}

std::optional<Value> decodeValue(ULONG tag, const std::string& bytes) {
  Value v;
  v.tag = tag;
  auto le = [&](std::size_t at, int n) {
    ULONGLONG x = 0;
    for (int i = 0; i < n; ++i) x |= ULONGLONG(static_cast<unsigned char>(bytes[at + i])) << (8 * i);
    return x;
  };
  switch (PROP_TYPE(tag)) {
    case PT_I2: case PT_BOOLEAN:
      if (bytes.size() != 2) return std::nullopt;
      v.i = PROP_TYPE(tag) == PT_BOOLEAN ? (le(0, 2) ? 1 : 0) : static_cast<short>(le(0, 2));
      return v;
    case PT_LONG: case PT_ERROR:
      if (bytes.size() != 4) return std::nullopt;
      v.i = static_cast<LONG>(le(0, 4));
      return v;
    case PT_I8: case PT_SYSTIME: case PT_CURRENCY:
      if (bytes.size() != 8) return std::nullopt;
      v.i = static_cast<LONGLONG>(le(0, 8));
      return v;
    case PT_R4: {
      if (bytes.size() != 4) return std::nullopt;
      const std::uint32_t x = static_cast<std::uint32_t>(le(0, 4));
      float f;
      std::memcpy(&f, &x, 4);
      v.d = f;
      return v;
    }
    case PT_DOUBLE: case PT_APPTIME: {
      if (bytes.size() != 8) return std::nullopt;
      const ULONGLONG x = le(0, 8);
      std::memcpy(&v.d, &x, 8);
      return v;
    }
    case PT_STRING8: {
      // Up to the first NUL; a value without one is taken whole.
      v.text = widen(std::string_view(bytes.data(), std::min(bytes.size(), bytes.find('\0'))));
      return v;
    }
    case PT_UNICODE: {
      if (bytes.size() % 2) return std::nullopt;
      for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const char16_t c = static_cast<char16_t>(le(i, 2));
        if (!c) break;
        v.text += c;
      }
      return v;
    }
    case PT_BINARY: v.bytes = bytes; return v;
    case PT_CLSID:
      if (bytes.size() != sizeof(GUID)) return std::nullopt;
      v.bytes = bytes;
      return v;
    case PT_MV_BINARY: case PT_MV_STRING8: case PT_MV_LONG: {
      if (bytes.size() < 4) return std::nullopt;
      const ULONGLONG count = le(0, 4);
      std::size_t at = 4;
      // Each value takes at least its 4-byte length: a count beyond that is damage.
      if (count > (bytes.size() - at) / 4) return std::nullopt;
      for (ULONGLONG k = 0; k < count; ++k) {
        if (bytes.size() - at < 4) return std::nullopt;
        const ULONGLONG n = le(at, 4);
        at += 4;
        if (n > bytes.size() - at) return std::nullopt;
        if (PROP_TYPE(tag) == PT_MV_LONG && n != 4) return std::nullopt;
        v.multi.emplace_back(bytes.substr(at, static_cast<std::size_t>(n)));
        at += static_cast<std::size_t>(n);
      }
      if (at != bytes.size()) return std::nullopt;
      return v;
    }
    default:
      return std::nullopt;
  }
}

std::vector<std::u16string> profileNames() {
  std::vector<std::u16string> out;
  Key key;
  if (key.open(profilesKeyPath(), KEY_READ) != ERROR_SUCCESS) return out;
  for (DWORD i = 0;; ++i) {
    WCHAR name[256];
    DWORD size = 256;
    if (RegEnumKeyExW(key.get(), i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    std::u16string profile(name, size);
    if (!isMarkedForDeletion(profile)) out.push_back(profile);
  }
  return out;
}

bool profileExists(const std::u16string& name) {
  if (name.empty() || name.find(u'\\') != std::u16string::npos) return false;
  Key key;
  return key.open(profileKey(name), KEY_READ) == ERROR_SUCCESS && !isMarkedForDeletion(name);
}

std::u16string defaultProfile() {
  Key key;
  if (key.open(profilesKeyPath(), KEY_READ) != ERROR_SUCCESS) return {};
  DWORD type = 0, size = 0;
  if (RegQueryValueExW(key.get(), kDefaultProfileValue, nullptr, &type, nullptr, &size) != ERROR_SUCCESS || type != REG_SZ)
    return {};
  std::u16string value(size / sizeof(char16_t) + 1, u'\0');
  size = static_cast<DWORD>(value.size() * sizeof(char16_t));
  if (RegQueryValueExW(key.get(), kDefaultProfileValue, nullptr, &type, reinterpret_cast<BYTE*>(value.data()), &size) !=
      ERROR_SUCCESS)
    return {};
  value.resize(std::min<std::size_t>(size / sizeof(char16_t), value.size()));
  if (auto nul = value.find(u'\0'); nul != std::u16string::npos) value.resize(nul);
  return value;
}

Row readSection(const std::u16string& profile, const MAPIUID& uid) {
  Row row;
  Key key;
  if (key.open(sectionKey(profile, uid), KEY_READ) != ERROR_SUCCESS) return row;
  for (DWORD i = 0;; ++i) {
    WCHAR name[64];
    DWORD nameSize = 64, type = 0, size = 0;
    LONG e = RegEnumValueW(key.get(), i, name, &nameSize, nullptr, &type, nullptr, &size);
    if (e == ERROR_NO_MORE_ITEMS) break;
    if (e != ERROR_SUCCESS && e != ERROR_MORE_DATA) continue;
    if (nameSize != 8 || type != REG_BINARY) continue;
    std::string bytes(size, '\0');
    DWORD got = size;
    nameSize = 64;
    if (RegEnumValueW(key.get(), i, name, &nameSize, nullptr, &type, reinterpret_cast<BYTE*>(bytes.data()), &got) !=
        ERROR_SUCCESS)
      continue;
    bytes.resize(std::min<std::size_t>(got, bytes.size()));
    ULONG tag = 0;
    bool hex = true;
    for (int k = 0; k < 8; ++k) {
      const char16_t c = name[k];
      const int d = c >= u'0' && c <= u'9' ? c - u'0' : c >= u'a' && c <= u'f' ? c - u'a' + 10 : c >= u'A' && c <= u'F' ? c - u'A' + 10 : -1;
      if (d < 0) hex = false;
      tag = (tag << 4) | static_cast<ULONG>(d < 0 ? 0 : d);
    }
    if (!hex) continue;
    // The name is type then id; a tag is id then type.
    const ULONG type16 = tag >> 16, id = tag & 0xFFFF;
    if (auto v = decodeValue(PROP_TAG(type16, id), bytes)) put(row, std::move(*v));
  }
  return row;
}

HRESULT writeSection(const std::u16string& profile, const MAPIUID& uid, const Row& values) {
  if (values.empty()) return S_OK;
  Key key;
  if (LONG e = key.create(sectionKey(profile, uid)); e != ERROR_SUCCESS) return HRESULT_FROM_WIN32(e);
  for (const Value& v : values) {
    // One property per id: a value of the same id under another type goes.
    for (ULONG t : {ULONG(PT_STRING8), ULONG(PT_UNICODE)})
      if (isStringType(v.type()) && t != v.type()) RegDeleteValueW(key.get(), propertyValueName(PROP_TAG(t, v.id())).c_str());
    const std::string bytes = encodeValue(v);
    LONG e = RegSetValueExW(key.get(), propertyValueName(v.tag).c_str(), 0, REG_BINARY,
                            reinterpret_cast<const BYTE*>(bytes.data()), static_cast<DWORD>(bytes.size()));
    if (e != ERROR_SUCCESS) return HRESULT_FROM_WIN32(e);
  }
  return S_OK;
}

HRESULT deleteSectionProps(const std::u16string& profile, const MAPIUID& uid, const std::vector<ULONG>& tags) {
  Key key;
  if (key.open(sectionKey(profile, uid), KEY_ALL_ACCESS) != ERROR_SUCCESS) return S_OK;
  const Row row = readSection(profile, uid);
  for (ULONG tag : tags)
    if (const Value* v = find(row, tag)) RegDeleteValueW(key.get(), propertyValueName(v->tag).c_str());
  return S_OK;
}

std::vector<MAPIUID> serviceIds(const std::u16string& profile) {
  Row row = readSection(profile, kProfileSection);
  return idList(find(row, PR_SERVICES));
}

std::vector<PersonalFolders> personalFoldersFiles() {
  std::vector<PersonalFolders> out;
  for (const std::u16string& profile : profileNames()) {
    std::vector<std::u16string> addresses;
    std::vector<std::pair<std::u16string, std::u16string>> files;  // path, display name
    for (const MAPIUID& uid : serviceIds(profile)) {
      const Row service = readSection(profile, uid);
      const Value* name = find(service, PR_SERVICE_NAME_A);
      if (!name) continue;
      if (text::equalNoCase(name->text, u"IMAIL")) {
        if (const Value* address = find(service, PR_EMAIL_ADDRESS_A); address && !address->text.empty())
          addresses.push_back(address->text);
      } else if (text::equalNoCase(name->text, u"MSPST MS") || text::equalNoCase(name->text, u"INTERSTOR")) {
        const Value* path = find(service, PR_PST_PATH);
        const Value* display = find(service, PR_DISPLAY_NAME_A);
        if (path && !path->text.empty()) files.emplace_back(path->text, display ? display->text : u"");
      }
    }
    for (const auto& file : files) {
      // Not a structured binding: clang 14 (the fuzz build's compiler) cannot capture one.
      const std::u16string& path = file.first;
      const std::u16string& display = file.second;
      auto same = std::find_if(out.begin(), out.end(), [&](const PersonalFolders& p) { return text::equalNoCase(p.path, path); });
      if (same == out.end()) same = out.insert(out.end(), PersonalFolders{path, {}});
      if (!display.empty()) same->owners.push_back(display);
      same->owners.insert(same->owners.end(), addresses.begin(), addresses.end());
    }
  }
  return out;
}

namespace {

constexpr char16_t kSessionsKey[] = u"Software\\Microsoft\\Windows Messaging Subsystem\\Sessions";
constexpr char16_t kDeletePending[] = u"DeletePending";

std::u16string sessionsKey(const std::u16string& profile) { return std::u16string(kSessionsKey) + u"\\" + profile; }

// The live sessions on a profile and whether its deletion is pending.
void sessionState(const std::u16string& profile, int& live, bool& pending) {
  live = 0;
  pending = false;
  Key key;
  if (key.open(sessionsKey(profile), KEY_READ) != ERROR_SUCCESS) return;
  for (DWORD i = 0;; ++i) {
    WCHAR name[128];
    DWORD n = 128;
    if (RegEnumValueW(key.get(), i, name, &n, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    const std::u16string value(name, n);
    if (value == kDeletePending) {
      pending = true;
      continue;
    }
    unsigned long pid = 0;
    unsigned long long start = 0;
    if (std::sscanf(text::toUtf8(value).c_str(), "%lu.%llu.", &pid, &start) == 2 &&
        platform::host::processAlive(static_cast<DWORD>(pid), start))
      ++live;
  }
}

// Deletes a marked profile once no session holds it.
void finishPendingDeletion(const std::u16string& profile) {
  int live = 0;
  bool pending = false;
  sessionState(profile, live, pending);
  if (!pending || live) return;
  SHDeleteKeyW(HKEY_CURRENT_USER, profileKey(profile).c_str());
  SHDeleteKeyW(HKEY_CURRENT_USER, sessionsKey(profile).c_str());
  Key key;
  if (text::equalNoCase(profile, defaultProfile()) && key.open(profilesKeyPath(), KEY_ALL_ACCESS) == ERROR_SUCCESS)
    RegDeleteValueW(key.get(), kDefaultProfileValue);
}

}  // namespace

HRESULT deleteProfile(const std::u16string& profile) {
  if (!profileExists(profile)) return MAPI_E_NOT_FOUND;
  // Sessions open on it: marked, and deleted when the last one ends.
  int live = 0;
  bool pending = false;
  sessionState(profile, live, pending);
  if (live) {
    Key key;
    if (LONG e = key.create(sessionsKey(profile)); e != ERROR_SUCCESS) return HRESULT_FROM_WIN32(e);
    const DWORD one = 1;
    LONG e = RegSetValueExW(key.get(), kDeletePending, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), sizeof one);
    return e == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(e);
  }
  const bool wasDefault = text::equalNoCase(profile, defaultProfile());
  if (DWORD e = SHDeleteKeyW(HKEY_CURRENT_USER, profileKey(profile).c_str()); e != ERROR_SUCCESS)
    return HRESULT_FROM_WIN32(e);
  if (wasDefault) {
    Key key;
    if (key.open(profilesKeyPath(), KEY_ALL_ACCESS) == ERROR_SUCCESS) RegDeleteValueW(key.get(), kDefaultProfileValue);
  }
  return S_OK;
}

bool isMarkedForDeletion(const std::u16string& profile) {
  int live = 0;
  bool pending = false;
  sessionState(profile, live, pending);
  if (pending && !live) finishPendingDeletion(profile);
  return pending;
}

std::u16string registerSession(const std::u16string& profile) {
  static std::atomic<unsigned> counter{0};
  char name[96];
  std::snprintf(name, sizeof name, "%lu.%llu.%u", static_cast<unsigned long>(::getpid()),
                static_cast<unsigned long long>(platform::host::currentStartTime()), ++counter);
  const std::u16string value = text::fromUtf8(name);
  Key key;
  if (key.create(sessionsKey(profile)) == ERROR_SUCCESS) {
    const DWORD one = 1;
    RegSetValueExW(key.get(), value.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), sizeof one);
  }
  return value;
}

void unregisterSession(const std::u16string& profile, const std::u16string& name) {
  {
    Key key;
    if (key.open(sessionsKey(profile), KEY_ALL_ACCESS) == ERROR_SUCCESS) RegDeleteValueW(key.get(), name.c_str());
  }
  finishPendingDeletion(profile);
}

HRESULT newServiceAdmin(const std::u16string& profile, LPSERVICEADMIN* out) {
  if (!out) return MAPI_E_INVALID_PARAMETER;
  *out = nullptr;
  if (!profileExists(profile)) return MAPI_E_NOT_FOUND;
  *out = new ServiceAdmin(profile);
  return S_OK;
}

HRESULT openProfileSection(const std::u16string& profile, LPMAPIUID uid, ULONG flags, LPPROFSECT* out) {
  return openSection(profile, uid, flags, out);
}

HRESULT newProfAdmin(LPPROFADMIN* out) {
  if (!out) return MAPI_E_INVALID_PARAMETER;
  *out = new ProfAdmin();
  return S_OK;
}

}  // namespace mapi

// SIDs, tokens, logon and impersonation over the host's users (see security.h for the model).
//
// A token holds who it stands for (user, administrator flag) and its kind; its SIDs and groups
// are derived when asked. The groups of an interactive XP logon, in XP's order: the machine's
// "None" group, Everyone, Administrators (administrators only; owner of what they create),
// Users, INTERACTIVE, Authenticated Users, LOCAL.
#include "platform/win32/security.h"

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include "platform/base/codepage.h"
#include "platform/base/fault.h"
#include "platform/base/text.h"
#include "platform/host/host.h"
#include "platform/host/registry_store.h"
#include "platform/host/users.h"
#include "platform/win32/handle.h"
#include "platform/win32/system.h"

namespace platform::security {

namespace {

using host::Host;

// A SID in its binary layout.
using SidBytes = std::string;

constexpr std::u16string_view kNtAuthority = u"NT AUTHORITY";
constexpr std::u16string_view kBuiltin = u"BUILTIN";

const HANDLE kCurrentProcess = reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1));
const HANDLE kCurrentThread = reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-2));

std::atomic<ProcessUserQuery> g_processQuery{nullptr};

struct TokenData {
  std::u16string user;
  bool admin = false;
  TOKEN_TYPE type = TokenPrimary;
  SECURITY_IMPERSONATION_LEVEL level = SecurityAnonymous;
};

class Token : public KernelObject {
 public:
  Token(std::shared_ptr<const TokenData> data, ACCESS_MASK access) : data_(std::move(data)), access_(access) {}
  const std::shared_ptr<const TokenData>& data() const { return data_; }
  ACCESS_MASK access() const { return access_; }

 private:
  std::shared_ptr<const TokenData> data_;
  ACCESS_MASK access_;
};

// The calling thread's impersonation, if any.
thread_local std::shared_ptr<const TokenData> t_impersonation;

// --- SID text and bytes ---------------------------------------------------------------------

bool validSid(const void* p) {
  if (!p) return false;
  auto* s = static_cast<const BYTE*>(p);
  return s[0] == SID_REVISION && s[1] <= SID_MAX_SUB_AUTHORITIES;
}

std::size_t sidLength(const void* p) { return 8 + 4 * static_cast<const BYTE*>(p)[1]; }

SidBytes bytesOf(const void* p) { return SidBytes(static_cast<const char*>(p), sidLength(p)); }

SidBytes makeSid(std::uint64_t authority, std::initializer_list<DWORD> subs) {
  SidBytes s(8 + 4 * subs.size(), '\0');
  s[0] = SID_REVISION;
  s[1] = static_cast<char>(subs.size());
  for (int i = 0; i < 6; ++i) s[2 + i] = static_cast<char>((authority >> (8 * (5 - i))) & 0xFF);
  std::size_t at = 8;
  for (DWORD v : subs) {
    std::memcpy(&s[at], &v, 4);
    at += 4;
  }
  return s;
}

std::u16string sidText(const void* p) {
  auto* s = static_cast<const BYTE*>(p);
  std::uint64_t authority = 0;
  for (int i = 0; i < 6; ++i) authority = (authority << 8) | s[2 + i];
  std::string out = "S-" + std::to_string(s[0]) + "-";
  if (authority >> 32) {
    char buf[20];
    std::snprintf(buf, sizeof buf, "0x%012llX", static_cast<unsigned long long>(authority));
    out += buf;
  } else {
    out += std::to_string(authority);
  }
  for (int i = 0; i < s[1]; ++i) {
    DWORD v;
    std::memcpy(&v, s + 8 + 4 * i, 4);
    out += "-" + std::to_string(v);
  }
  return text::fromUtf8(out);
}

// Parses "S-1-<authority>(-<sub>)*"; nothing for any other text.
std::optional<SidBytes> parseSidText(std::u16string_view t) {
  struct Abbrev {
    std::u16string_view code;
    std::u16string_view sid;
  };
  static const Abbrev abbrevs[] = {{u"WD", u"S-1-1-0"},      {u"BA", u"S-1-5-32-544"}, {u"BU", u"S-1-5-32-545"},
                                   {u"BG", u"S-1-5-32-546"}, {u"PU", u"S-1-5-32-547"}, {u"SY", u"S-1-5-18"},
                                   {u"AU", u"S-1-5-11"},     {u"IU", u"S-1-5-4"}};
  for (const auto& a : abbrevs)
    if (t == a.code) t = a.sid;
  if (t.size() < 2 || text::upcase(t[0]) != u'S' || t[1] != u'-') return std::nullopt;
  std::vector<std::uint64_t> parts;
  std::size_t i = 2;
  while (true) {
    std::size_t end = t.find(u'-', i);
    std::u16string_view part = t.substr(i, end == std::u16string_view::npos ? std::u16string_view::npos : end - i);
    if (part.empty() || part.size() > 14) return std::nullopt;
    std::uint64_t v = 0;
    int base = 10;
    if (parts.size() == 1 && part.size() > 2 && part[0] == u'0' && (part[1] == u'x' || part[1] == u'X')) {
      base = 16;
      part.remove_prefix(2);
    }
    for (char16_t c : part) {
      int d = (c >= u'0' && c <= u'9') ? c - u'0'
              : (base == 16 && c >= u'a' && c <= u'f') ? c - u'a' + 10
              : (base == 16 && c >= u'A' && c <= u'F') ? c - u'A' + 10
                                                         : -1;
      if (d < 0) return std::nullopt;
      v = v * base + static_cast<unsigned>(d);
    }
    parts.push_back(v);
    if (end == std::u16string_view::npos) break;
    i = end + 1;
  }
  // Revision 1, an authority of 48 bits, 1 to 15 sub-authorities of 32 bits.
  if (parts.size() < 3 || parts.size() > 2 + SID_MAX_SUB_AUTHORITIES || parts[0] != SID_REVISION ||
      parts[1] >> 48)
    return std::nullopt;
  SidBytes s(8 + 4 * (parts.size() - 2), '\0');
  s[0] = SID_REVISION;
  s[1] = static_cast<char>(parts.size() - 2);
  for (int k = 0; k < 6; ++k) s[2 + k] = static_cast<char>((parts[1] >> (8 * (5 - k))) & 0xFF);
  for (std::size_t k = 2; k < parts.size(); ++k) {
    if (parts[k] > 0xFFFFFFFFu) return std::nullopt;
    DWORD v = static_cast<DWORD>(parts[k]);
    std::memcpy(&s[8 + 4 * (k - 2)], &v, 4);
  }
  return s;
}

SidBytes sidOfUser(std::u16string_view name) { return *parseSidText(userSid(name)); }

// "S-1-5-21-a-b-c", the machine's account domain, from the host user's SID.
std::u16string machineDomainText() {
  std::u16string sid = userSid(Host::current().factW(host::fact::UserName));
  return sid.substr(0, sid.rfind(u'-'));
}

std::u16string computerName() { return text::upcased(Host::current().factW(host::fact::ComputerName)); }

// --- accounts -------------------------------------------------------------------------------

struct Account {
  std::u16string name;
  std::u16string domain;
  SID_NAME_USE use = SidTypeInvalid;
  SidBytes sid;
};

// The well-known groups and aliases every XP machine has (the machine's own ones are added by
// accounts()).
std::vector<Account> wellKnownAccounts() {
  constexpr std::uint64_t nt = 5;
  return {
      {u"Everyone", u"", SidTypeWellKnownGroup, makeSid(1, {SECURITY_WORLD_RID})},
      {u"LOCAL", u"", SidTypeWellKnownGroup, makeSid(2, {SECURITY_LOCAL_RID})},
      {u"INTERACTIVE", std::u16string(kNtAuthority), SidTypeWellKnownGroup, makeSid(nt, {SECURITY_INTERACTIVE_RID})},
      {u"Authenticated Users", std::u16string(kNtAuthority), SidTypeWellKnownGroup,
       makeSid(nt, {SECURITY_AUTHENTICATED_USER_RID})},
      {u"SYSTEM", std::u16string(kNtAuthority), SidTypeWellKnownGroup, makeSid(nt, {SECURITY_LOCAL_SYSTEM_RID})},
      {u"Administrators", std::u16string(kBuiltin), SidTypeAlias,
       makeSid(nt, {SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS})},
      {u"Users", std::u16string(kBuiltin), SidTypeAlias, makeSid(nt, {SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_USERS})},
      {u"Guests", std::u16string(kBuiltin), SidTypeAlias, makeSid(nt, {SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_GUESTS})},
      {u"Power Users", std::u16string(kBuiltin), SidTypeAlias,
       makeSid(nt, {SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_POWER_USERS})},
  };
}

// Every account of the host: the well-known ones, the machine domain and its "None" group, and
// the users.
std::vector<Account> accounts() {
  std::vector<Account> all = wellKnownAccounts();
  const std::u16string computer = computerName();
  const std::u16string domain = machineDomainText();
  all.push_back({computer, u"", SidTypeDomain, *parseSidText(domain)});
  all.push_back({u"None", computer, SidTypeGroup, *parseSidText(domain + u"-513")});
  for (const auto& u : host::listUsers(Host::current())) all.push_back({u.name, computer, SidTypeUser, sidOfUser(u.name)});
  return all;
}


// --- groups of a token ----------------------------------------------------------------------

struct Group {
  SidBytes sid;
  DWORD attributes;
};

constexpr DWORD kOn = SE_GROUP_MANDATORY | SE_GROUP_ENABLED_BY_DEFAULT | SE_GROUP_ENABLED;

SidBytes adminsSid() { return makeSid(5, {SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS}); }

std::vector<Group> groupsOf(const TokenData& t) {
  std::vector<Group> g;
  g.push_back({*parseSidText(machineDomainText() + u"-513"), kOn});
  g.push_back({makeSid(1, {SECURITY_WORLD_RID}), kOn});
  if (t.admin) g.push_back({adminsSid(), kOn | SE_GROUP_OWNER});
  g.push_back({makeSid(5, {SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_USERS}), kOn});
  g.push_back({makeSid(5, {SECURITY_INTERACTIVE_RID}), kOn});
  g.push_back({makeSid(5, {SECURITY_AUTHENTICATED_USER_RID}), kOn});
  g.push_back({makeSid(2, {SECURITY_LOCAL_RID}), kOn});
  return g;
}

bool isMember(const TokenData& t, const SidBytes& sid) {
  if (sid == sidOfUser(t.user)) return true;
  for (const auto& g : groupsOf(t))
    if (g.sid == sid && (g.attributes & SE_GROUP_ENABLED)) return true;
  return false;
}

std::shared_ptr<const TokenData> processTokenData(std::u16string user, bool admin) {
  auto d = std::make_shared<TokenData>();
  d->user = std::move(user);
  d->admin = admin;
  d->type = TokenPrimary;
  return d;
}

std::shared_ptr<const TokenData> effectiveTokenData() {
  if (t_impersonation) return t_impersonation;
  Identity self = processIdentity();
  return processTokenData(self.name, self.admin);
}

ACCESS_MASK mapTokenAccess(ACCESS_MASK a) {
  ACCESS_MASK out = a & ~(GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | GENERIC_ALL | MAXIMUM_ALLOWED);
  if (a & GENERIC_READ) out |= TOKEN_READ;
  if (a & GENERIC_WRITE) out |= TOKEN_WRITE;
  if (a & GENERIC_EXECUTE) out |= TOKEN_EXECUTE;
  if (a & (GENERIC_ALL | MAXIMUM_ALLOWED)) out |= TOKEN_ALL_ACCESS;
  return out;
}

BOOL fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

BOOL giveToken(std::shared_ptr<const TokenData> data, ACCESS_MASK access, PHANDLE out) {
  *out = registerHandle(std::make_shared<Token>(std::move(data), mapTokenAccess(access)));
  return TRUE;
}

// --- writing into callers' buffers ----------------------------------------------------------

template <class Char>
std::basic_string<Char> narrowOrWide(std::u16string_view s) {
  if constexpr (sizeof(Char) == 1)
    return text::wideToAnsi(s);
  else
    return std::u16string(s);
}

// Copies with a NUL when it fits; the size rule of the account lookups.
template <class Char>
bool fits(const std::basic_string<Char>& s, const Char* buffer, const DWORD* size) {
  return buffer && size && *size >= s.size() + 1;
}
template <class Char>
void put(const std::basic_string<Char>& s, Char* buffer, LPDWORD size) {
  std::copy(s.begin(), s.end(), buffer);
  buffer[s.size()] = 0;
  *size = static_cast<DWORD>(s.size());
}

template <class Char>
BOOL lookupSid(PSID sid, Char* name, LPDWORD cchName, Char* domain, LPDWORD cchDomain, PSID_NAME_USE use) {
  if (!validSid(sid) || !cchName || !cchDomain) return fail(ERROR_INVALID_PARAMETER);
  const SidBytes wanted = bytesOf(sid);
  for (const auto& a : accounts()) {
    if (a.sid != wanted) continue;
    auto n = narrowOrWide<Char>(a.name);
    auto d = narrowOrWide<Char>(a.domain);
    if (!fits(n, name, cchName) || !fits(d, domain, cchDomain)) {
      *cchName = static_cast<DWORD>(n.size() + 1);
      *cchDomain = static_cast<DWORD>(d.size() + 1);
      return fail(ERROR_INSUFFICIENT_BUFFER);
    }
    put(n, name, cchName);
    put(d, domain, cchDomain);
    if (use) *use = a.use;
    return TRUE;
  }
  return fail(ERROR_NONE_MAPPED);
}

template <class Char>
BOOL sidToString(PSID sid, Char** out) {
  if (!validSid(sid) || !out) return fail(ERROR_INVALID_PARAMETER);
  auto t = narrowOrWide<Char>(sidText(sid));
  auto* mem = static_cast<Char*>(LocalAlloc(LMEM_FIXED, (t.size() + 1) * sizeof(Char)));
  if (!mem) return fail(ERROR_NOT_ENOUGH_MEMORY);
  std::copy(t.begin(), t.end(), mem);
  mem[t.size()] = 0;
  *out = mem;
  return TRUE;
}

BOOL stringToSid(std::optional<std::u16string_view> t, PSID* out) {
  if (!t || !out) return fail(ERROR_INVALID_PARAMETER);
  std::optional<SidBytes> s = parseSidText(*t);
  if (!s) return fail(ERROR_INVALID_SID);
  void* mem = LocalAlloc(LMEM_FIXED, s->size());
  if (!mem) return fail(ERROR_NOT_ENOUGH_MEMORY);
  std::memcpy(mem, s->data(), s->size());
  *out = mem;
  return TRUE;
}

// Lays out a structure of `header` bytes followed by the SIDs; returns the SIDs' addresses.
std::vector<void*> layoutSids(BYTE* buffer, std::size_t header, const std::vector<SidBytes>& sids) {
  std::vector<void*> at;
  std::size_t off = header;
  for (const auto& s : sids) {
    std::memcpy(buffer + off, s.data(), s.size());
    at.push_back(buffer + off);
    off += s.size();
  }
  return at;
}

std::size_t totalOf(std::size_t header, const std::vector<SidBytes>& sids) {
  std::size_t n = header;
  for (const auto& s : sids) n += s.size();
  return n;
}

}  // namespace

Identity processIdentity() {
  Host& host = Host::current();
  return {host.factW(host::fact::UserName), host.fact(host::fact::UserIsAdmin) != "0", false};
}

Identity effectiveIdentity() {
  if (auto t = t_impersonation) return {t->user, t->admin, true};
  return processIdentity();
}

std::u16string userSid(std::u16string_view userName) {
  auto lock = registry::lock();
  return registry::Store::get().userSid(userName);
}

void setProcessUserQuery(ProcessUserQuery query) { g_processQuery.store(query); }

// ---- the Win32 calls, inside the namespace for the helpers; exported below -----------------

namespace {

BOOL openProcessToken(HANDLE process, DWORD access, PHANDLE out) {
  if (!out) return fail(ERROR_INVALID_PARAMETER);
  if (process == kCurrentProcess) {
    Identity self = processIdentity();
    return giveToken(processTokenData(self.name, self.admin), access, out);
  }
  std::u16string user;
  if (ProcessUserQuery q = g_processQuery.load()) {
    if (!q(process, &user)) return fail(ERROR_INVALID_HANDLE);
  } else {
    if (!lookupHandle(process) || lookupHandleAs<Token>(process)) return fail(ERROR_INVALID_HANDLE);
    user = processIdentity().name;
  }
  std::optional<host::HostUser> found = host::findUser(Host::current(), user);
  return giveToken(processTokenData(user, found && found->admin), access, out);
}

BOOL tokenInformation(HANDLE handle, TOKEN_INFORMATION_CLASS cls, LPVOID info, DWORD length, PDWORD returned) {
  auto token = lookupHandleAs<Token>(handle);
  if (!token) return fail(ERROR_INVALID_HANDLE);
  if (!(token->access() & TOKEN_QUERY)) return fail(ERROR_ACCESS_DENIED);
  if (!returned) return fail(ERROR_NOACCESS);
  const TokenData& t = *token->data();

  std::vector<SidBytes> sids;
  std::size_t header = 0;
  std::vector<Group> groups;
  switch (cls) {
    case TokenUser:
      header = sizeof(TOKEN_USER);
      sids = {sidOfUser(t.user)};
      break;
    case TokenGroups:
      groups = groupsOf(t);
      header = offsetof(TOKEN_GROUPS, Groups) + groups.size() * sizeof(SID_AND_ATTRIBUTES);
      for (const auto& g : groups) sids.push_back(g.sid);
      break;
    case TokenOwner:
      header = sizeof(TOKEN_OWNER);
      sids = {t.admin ? adminsSid() : sidOfUser(t.user)};
      break;
    case TokenPrimaryGroup:
      header = sizeof(TOKEN_PRIMARY_GROUP);
      sids = {*parseSidText(machineDomainText() + u"-513")};
      break;
    case TokenType:
      header = sizeof(TOKEN_TYPE);
      break;
    case TokenImpersonationLevel:
      if (t.type != TokenImpersonation) return fail(ERROR_INVALID_PARAMETER);
      header = sizeof(SECURITY_IMPERSONATION_LEVEL);
      break;
    default:
      return fail(ERROR_INVALID_PARAMETER);
  }
  const std::size_t needed = totalOf(header, sids);
  *returned = static_cast<DWORD>(needed);
  if (!info || length < needed) return fail(ERROR_INSUFFICIENT_BUFFER);

  auto* buffer = static_cast<BYTE*>(info);
  std::vector<void*> at = layoutSids(buffer, header, sids);
  switch (cls) {
    case TokenUser: {
      auto* u = static_cast<TOKEN_USER*>(info);
      u->User.Sid = at[0];
      u->User.Attributes = 0;
      break;
    }
    case TokenGroups: {
      auto* g = static_cast<TOKEN_GROUPS*>(info);
      g->GroupCount = static_cast<DWORD>(groups.size());
      for (std::size_t i = 0; i < groups.size(); ++i) {
        g->Groups[i].Sid = at[i];
        g->Groups[i].Attributes = groups[i].attributes;
      }
      break;
    }
    case TokenOwner: static_cast<TOKEN_OWNER*>(info)->Owner = at[0]; break;
    case TokenPrimaryGroup: static_cast<TOKEN_PRIMARY_GROUP*>(info)->PrimaryGroup = at[0]; break;
    case TokenType: *static_cast<TOKEN_TYPE*>(info) = t.type; break;
    case TokenImpersonationLevel: *static_cast<SECURITY_IMPERSONATION_LEVEL*>(info) = t.level; break;
    default: break;
  }
  return TRUE;
}

template <class Char>
BOOL logon(std::optional<std::u16string> user, std::optional<std::u16string> domain, std::u16string password,
           DWORD type, DWORD provider, PHANDLE out) {
  if (!user || !out) return fail(ERROR_INVALID_PARAMETER);
  if (provider > LOGON32_PROVIDER_WINNT50) return fail(ERROR_INVALID_PARAMETER);
  if (DWORD e = fault::check(sizeof(Char) == 1 ? "LogonUserA" : "LogonUserW", *user)) return fail(e);
  switch (type) {
    case LOGON32_LOGON_INTERACTIVE:
    case LOGON32_LOGON_NETWORK:
    case LOGON32_LOGON_UNLOCK:
    case LOGON32_LOGON_NETWORK_CLEARTEXT:
    case LOGON32_LOGON_NEW_CREDENTIALS: break;
    case LOGON32_LOGON_BATCH:
    case LOGON32_LOGON_SERVICE: return fail(ERROR_LOGON_TYPE_NOT_GRANTED);
    default: return fail(ERROR_INVALID_PARAMETER);
  }
  if (domain && !domain->empty() && *domain != u"." && !text::equalNoCase(*domain, computerName()))
    return fail(ERROR_LOGON_FAILURE);
  std::optional<host::HostUser> found = host::findUser(Host::current(), *user);
  // Passwords are case-sensitive; user names are not.
  if (!found || found->password != password) return fail(ERROR_LOGON_FAILURE);
  if (password.empty() && (type == LOGON32_LOGON_NETWORK || type == LOGON32_LOGON_NETWORK_CLEARTEXT))
    return fail(ERROR_ACCOUNT_RESTRICTION);
  return giveToken(processTokenData(found->name, found->admin), TOKEN_ALL_ACCESS, out);
}

std::optional<std::u16string> wide(LPCWSTR s) {
  if (!s) return std::nullopt;
  return std::u16string(text::view(s));
}
std::optional<std::u16string> wide(LPCSTR s) {
  if (!s) return std::nullopt;
  return text::ansiToWide(s);
}

}  // namespace

}  // namespace platform::security

using namespace platform::security;

BOOL AllocateAndInitializeSid(PSID_IDENTIFIER_AUTHORITY authority, BYTE count, DWORD s0, DWORD s1, DWORD s2, DWORD s3,
                              DWORD s4, DWORD s5, DWORD s6, DWORD s7, PSID* sid) {
  if (!authority || !sid || count > 8) return fail(ERROR_INVALID_PARAMETER);
  const DWORD subs[8] = {s0, s1, s2, s3, s4, s5, s6, s7};
  auto* p = static_cast<BYTE*>(std::malloc(8 + 4 * count));
  if (!p) return fail(ERROR_NOT_ENOUGH_MEMORY);
  p[0] = SID_REVISION;
  p[1] = count;
  std::memcpy(p + 2, authority->Value, 6);
  std::memcpy(p + 8, subs, 4 * count);
  *sid = p;
  return TRUE;
}

PVOID FreeSid(PSID sid) {
  std::free(sid);
  return nullptr;
}

BOOL IsValidSid(PSID sid) { return validSid(sid) ? TRUE : FALSE; }

BOOL EqualSid(PSID a, PSID b) {
  if (!validSid(a) || !validSid(b)) return FALSE;
  return bytesOf(a) == bytesOf(b) ? TRUE : FALSE;
}

DWORD GetLengthSid(PSID sid) { return validSid(sid) ? static_cast<DWORD>(sidLength(sid)) : 0; }

BOOL CopySid(DWORD length, PSID dest, PSID source) {
  if (!validSid(source) || !dest) return fail(ERROR_INVALID_PARAMETER);
  if (length < sidLength(source)) return fail(ERROR_INSUFFICIENT_BUFFER);
  std::memmove(dest, source, sidLength(source));
  return TRUE;
}

BOOL ConvertSidToStringSidW(PSID sid, LPWSTR* out) { return sidToString(sid, out); }
BOOL ConvertSidToStringSidA(PSID sid, LPSTR* out) { return sidToString(sid, out); }
BOOL ConvertStringSidToSidW(LPCWSTR s, PSID* out) { return stringToSid(wide(s), out); }
BOOL ConvertStringSidToSidA(LPCSTR s, PSID* out) { return stringToSid(wide(s), out); }

BOOL LookupAccountSidW(LPCWSTR, PSID sid, LPWSTR name, LPDWORD cchName, LPWSTR domain, LPDWORD cchDomain,
                       PSID_NAME_USE use) {
  return lookupSid(sid, name, cchName, domain, cchDomain, use);
}

BOOL LookupAccountSidA(LPCSTR, PSID sid, LPSTR name, LPDWORD cchName, LPSTR domain, LPDWORD cchDomain,
                       PSID_NAME_USE use) {
  return lookupSid(sid, name, cchName, domain, cchDomain, use);
}

BOOL LookupAccountNameW(LPCWSTR, LPCWSTR accountName, PSID sid, LPDWORD cbSid, LPWSTR domain, LPDWORD cchDomain,
                        PSID_NAME_USE use) {
  if (!accountName || !cbSid || !cchDomain) return fail(ERROR_INVALID_PARAMETER);
  std::u16string_view full = platform::text::view(accountName);
  std::u16string_view wantDomain, name = full;
  bool qualified = false;
  if (auto cut = full.find(u'\\'); cut != std::u16string_view::npos) {
    wantDomain = full.substr(0, cut);
    name = full.substr(cut + 1);
    qualified = true;
  }
  const std::vector<Account> all = accounts();
  const Account* found = nullptr;
  for (const auto& a : all)
    if (platform::text::equalNoCase(a.name, name) && (!qualified || platform::text::equalNoCase(a.domain, wantDomain))) {
      found = &a;
      break;
    }
  if (!found) return fail(ERROR_NONE_MAPPED);
  const std::u16string& d = found->domain;
  if (!sid || *cbSid < found->sid.size() || !domain || *cchDomain < d.size() + 1) {
    *cbSid = static_cast<DWORD>(found->sid.size());
    *cchDomain = static_cast<DWORD>(d.size() + 1);
    return fail(ERROR_INSUFFICIENT_BUFFER);
  }
  std::memcpy(sid, found->sid.data(), found->sid.size());
  *cbSid = static_cast<DWORD>(found->sid.size());
  std::copy(d.begin(), d.end(), domain);
  domain[d.size()] = 0;
  *cchDomain = static_cast<DWORD>(d.size());
  if (use) *use = found->use;
  return TRUE;
}

BOOL OpenProcessToken(HANDLE process, DWORD access, PHANDLE token) { return openProcessToken(process, access, token); }

BOOL OpenThreadToken(HANDLE thread, DWORD access, BOOL, PHANDLE token) {
  if (!token) return fail(ERROR_INVALID_PARAMETER);
  if (thread != kCurrentThread) return fail(ERROR_INVALID_HANDLE);
  std::shared_ptr<const TokenData> t = t_impersonation;
  if (!t) return fail(ERROR_NO_TOKEN);
  return giveToken(t, access, token);
}

BOOL GetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS cls, LPVOID info, DWORD length, PDWORD returned) {
  return tokenInformation(token, cls, info, length, returned);
}

BOOL CheckTokenMembership(HANDLE token, PSID sid, PBOOL member) {
  if (!member || !validSid(sid)) return fail(ERROR_INVALID_PARAMETER);
  std::shared_ptr<const TokenData> data;
  if (!token) {
    data = effectiveTokenData();
  } else {
    auto t = platform::lookupHandleAs<Token>(token);
    if (!t) return fail(ERROR_INVALID_HANDLE);
    if (t->data()->type != TokenImpersonation) return fail(ERROR_NO_IMPERSONATION_TOKEN);
    if (!(t->access() & TOKEN_QUERY)) return fail(ERROR_ACCESS_DENIED);
    data = t->data();
  }
  *member = isMember(*data, bytesOf(sid)) ? TRUE : FALSE;
  return TRUE;
}

BOOL DuplicateToken(HANDLE existing, SECURITY_IMPERSONATION_LEVEL level, PHANDLE out) {
  if (!out || level > SecurityDelegation) return fail(ERROR_INVALID_PARAMETER);
  auto t = platform::lookupHandleAs<Token>(existing);
  if (!t) return fail(ERROR_INVALID_HANDLE);
  if (!(t->access() & TOKEN_DUPLICATE)) return fail(ERROR_ACCESS_DENIED);
  auto copy = std::make_shared<TokenData>(*t->data());
  copy->type = TokenImpersonation;
  copy->level = level;
  return giveToken(std::move(copy), TOKEN_IMPERSONATE | TOKEN_QUERY, out);
}

BOOL LogonUserW(LPCWSTR user, LPCWSTR domain, LPCWSTR password, DWORD type, DWORD provider, PHANDLE token) {
  return logon<char16_t>(wide(user), wide(domain), wide(password).value_or(u""), type, provider, token);
}

BOOL LogonUserA(LPCSTR user, LPCSTR domain, LPCSTR password, DWORD type, DWORD provider, PHANDLE token) {
  return logon<char>(wide(user), wide(domain), wide(password).value_or(u""), type, provider, token);
}

BOOL ImpersonateLoggedOnUser(HANDLE token) {
  auto t = platform::lookupHandleAs<Token>(token);
  if (!t) return fail(ERROR_INVALID_HANDLE);
  const ACCESS_MASK needed = TOKEN_QUERY | (t->data()->type == TokenPrimary ? TOKEN_DUPLICATE : TOKEN_IMPERSONATE);
  if ((t->access() & needed) != needed) return fail(ERROR_ACCESS_DENIED);
  auto acting = std::make_shared<TokenData>(*t->data());
  acting->type = TokenImpersonation;
  if (acting->level < SecurityImpersonation) acting->level = SecurityImpersonation;
  t_impersonation = std::move(acting);
  return TRUE;
}

BOOL RevertToSelf() {
  t_impersonation.reset();
  return TRUE;
}

BOOL IsUserAnAdmin() {
  return isMember(*effectiveTokenData(), adminsSid()) ? TRUE : FALSE;
}

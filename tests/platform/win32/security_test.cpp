// Users, SIDs and tokens: administrator checks for two users through logon and impersonation,
// the token size probe, SID texts, account lookups with their buffer rules, and what an
// impersonating thread sees of the registry.
#include "platform/win32/security.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/base/text.h"
#include "platform/host/host.h"
#include "platform/host/users.h"
#include "platform/win32/handle.h"
#include "platform/win32/process.h"
#include "platform/win32/registry.h"
#include "platform/win32/sync.h"
#include "platform/win32/system.h"
#include "tests/support/test_host.h"

namespace {

using platform::host::Host;
namespace fact = platform::host::fact;
namespace text = platform::text;

const HANDLE kSentinelHandle = reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(0xdeadbeef));
constexpr DWORD kSentinel = 0xdeadbeef;
constexpr BYTE kPad = 0xbd;

std::u16string userName() {
  char16_t buf[UNLEN + 1];
  DWORD size = UNLEN + 1;
  if (!GetUserNameW(buf, &size)) return u"<failed>";
  return buf;
}

std::u16string sidString(PSID sid) {
  LPWSTR s = nullptr;
  if (!ConvertSidToStringSidW(sid, &s)) return u"<failed>";
  std::u16string out(s);
  LocalFree(s);
  return out;
}

// The product's own check: the thread token, or on ERROR_NO_TOKEN the process token; its groups
// read after a size probe; true when one of them is BUILTIN\Administrators.
bool productIsUserAdministrator() {
  HANDLE token = nullptr;
  if (!OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token)) {
    if (GetLastError() != ERROR_NO_TOKEN) return false;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  }
  DWORD size = 0;
  bool result = false;
  if (!GetTokenInformation(token, TokenGroups, nullptr, 0, &size) && GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
    std::vector<BYTE> buffer(size);
    if (GetTokenInformation(token, TokenGroups, buffer.data(), size, &size)) {
      SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
      PSID admins = nullptr;
      if (AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, &admins)) {
        auto* groups = reinterpret_cast<TOKEN_GROUPS*>(buffer.data());
        for (DWORD i = 0; i < groups->GroupCount; ++i)
          if (EqualSid(groups->Groups[i].Sid, admins)) result = true;
        FreeSid(admins);
      }
    }
  }
  CloseHandle(token);
  return result;
}

LONG writeMachineValue() {
  return static_cast<LONG>(SHSetValueW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\KipoTest", u"v", REG_SZ, u"x", 4));
}

// Every way the product and the layer ask "is this an administrator?", for one line of a table.
void expectAdmin(bool admin, int line) {
  SCOPED_TRACE("line " + std::to_string(line));
  EXPECT_EQ(IsUserAnAdmin(), admin ? TRUE : FALSE);
  EXPECT_EQ(productIsUserAdministrator(), admin);
  SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
  PSID admins = nullptr;
  ASSERT_TRUE(AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, &admins));
  BOOL member = static_cast<BOOL>(kSentinel);
  EXPECT_TRUE(CheckTokenMembership(nullptr, admins, &member));
  EXPECT_EQ(member, admin ? TRUE : FALSE);
  FreeSid(admins);
  EXPECT_EQ(writeMachineValue(), admin ? ERROR_SUCCESS : ERROR_ACCESS_DENIED);
}

class Security : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(platform::host::addUser(Host::current(), {u"Ada", u"Secret1", true, false}, nullptr));
    ASSERT_TRUE(platform::host::addUser(Host::current(), {u"Ben", u"pw", false, false}, nullptr));
  }
  void TearDown() override { RevertToSelf(); }

  HANDLE logon(const char16_t* user, const char16_t* password) {
    HANDLE token = kSentinelHandle;
    EXPECT_TRUE(LogonUserW(user, nullptr, password, LOGON32_LOGON_INTERACTIVE, LOGON32_PROVIDER_DEFAULT, &token))
        << text::toUtf8(user) << " error " << GetLastError();
    return token;
  }

  kipotest::TestHost host_;
};

TEST_F(Security, AdministratorChecksFollowTheImpersonatedUser) {
  Host::current().setFact(fact::UserIsAdmin, "0");
  expectAdmin(false, __LINE__);
  EXPECT_EQ(userName(), u"Robin");

  HANDLE ada = logon(u"Ada", u"Secret1");
  ASSERT_TRUE(ImpersonateLoggedOnUser(ada));
  expectAdmin(true, __LINE__);
  EXPECT_EQ(userName(), u"Ada");
  // Another thread of the process still acts as the process's user.
  std::thread other([] {
    EXPECT_EQ(userName(), u"Robin");
    EXPECT_FALSE(IsUserAnAdmin());
    HANDLE t = kSentinelHandle;
    EXPECT_FALSE(OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &t));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_TOKEN));
  });
  other.join();

  // Impersonating another user replaces the first; reverting returns to the process's user.
  HANDLE ben = logon(u"ben", u"pw");
  ASSERT_TRUE(ImpersonateLoggedOnUser(ben));
  expectAdmin(false, __LINE__);
  EXPECT_EQ(userName(), u"Ben") << "the account's own spelling";
  EXPECT_TRUE(RevertToSelf());
  expectAdmin(false, __LINE__);
  EXPECT_EQ(userName(), u"Robin");
  EXPECT_TRUE(RevertToSelf()) << "also when not impersonating";

  // The process user's flag is read live, as `kipo-host set` changes it.
  Host::current().setFact(fact::UserIsAdmin, "1");
  expectAdmin(true, __LINE__);
  EXPECT_TRUE(CloseHandle(ada));
  EXPECT_TRUE(CloseHandle(ben));
}

TEST_F(Security, ThreadTokenExistsOnlyWhileImpersonating) {
  HANDLE t = kSentinelHandle;
  SetLastError(0);
  EXPECT_FALSE(OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, FALSE, &t));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_TOKEN));
  EXPECT_EQ(t, kSentinelHandle) << "left alone on failure";

  HANDLE ben = logon(u"Ben", u"pw");
  ASSERT_TRUE(ImpersonateLoggedOnUser(ben));
  ASSERT_TRUE(OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, FALSE, &t));
  BYTE buffer[256];
  DWORD size = 0;
  ASSERT_TRUE(GetTokenInformation(t, TokenUser, buffer, sizeof buffer, &size));
  EXPECT_EQ(sidString(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid), platform::security::userSid(u"Ben"));
  TOKEN_TYPE type = static_cast<TOKEN_TYPE>(0);
  ASSERT_TRUE(GetTokenInformation(t, TokenType, &type, sizeof type, &size));
  EXPECT_EQ(type, TokenImpersonation);
  CloseHandle(t);
  RevertToSelf();
  t = kSentinelHandle;
  EXPECT_FALSE(OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, FALSE, &t));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_TOKEN));
  CloseHandle(ben);
}

TEST_F(Security, TokenSizeProbeFailsWith122AndLeavesTheBufferAlone) {
  HANDLE token = nullptr;
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
  for (TOKEN_INFORMATION_CLASS cls : {TokenUser, TokenGroups, TokenOwner, TokenPrimaryGroup}) {
    SCOPED_TRACE(static_cast<int>(cls));
    // The product asks with 8 bytes first.
    BYTE small[8];
    std::memset(small, kPad, sizeof small);
    DWORD needed = kSentinel;
    SetLastError(0);
    EXPECT_FALSE(GetTokenInformation(token, cls, small, sizeof small, &needed));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    ASSERT_NE(needed, kSentinel);
    ASSERT_GT(needed, 8u);
    for (BYTE b : small) EXPECT_EQ(b, kPad);
    // Exactly the size asked for is enough; nothing is written past it.
    std::vector<BYTE> buffer(needed + 1, kPad);
    DWORD returned = kSentinel;
    ASSERT_TRUE(GetTokenInformation(token, cls, buffer.data(), needed, &returned));
    EXPECT_EQ(returned, needed);
    EXPECT_EQ(buffer[needed], kPad);
  }

  BYTE buffer[256];
  DWORD size = 0;
  ASSERT_TRUE(GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size));
  EXPECT_EQ(size, sizeof(TOKEN_USER) + 28) << "S-1-5-21-a-b-c-rid takes 28 bytes";
  PSID user = reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid;
  EXPECT_TRUE(IsValidSid(user));
  EXPECT_EQ(sidString(user), platform::security::userSid(u"Robin"));

  // Without TOKEN_QUERY, and on a handle that is no token.
  HANDLE noQuery = nullptr;
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_DUPLICATE, &noQuery));
  EXPECT_FALSE(GetTokenInformation(noQuery, TokenUser, buffer, sizeof buffer, &size));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_FALSE(GetTokenInformation(kSentinelHandle, TokenUser, buffer, sizeof buffer, &size));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  CloseHandle(noQuery);
  CloseHandle(token);
}

TEST_F(Security, TokenGroupsHoldAdministratorsOnlyForAdministrators) {
  struct Case {
    const char16_t* user;
    const char16_t* password;
    bool admin;
  } const cases[] = {{u"Ada", u"Secret1", true}, {u"Ben", u"pw", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(text::toUtf8(c.user));
    HANDLE token = logon(c.user, c.password);
    DWORD size = 0;
    EXPECT_FALSE(GetTokenInformation(token, TokenGroups, nullptr, 0, &size));
    std::vector<BYTE> buffer(size);
    ASSERT_TRUE(GetTokenInformation(token, TokenGroups, buffer.data(), size, &size));
    auto* groups = reinterpret_cast<TOKEN_GROUPS*>(buffer.data());
    std::vector<std::u16string> names;
    for (DWORD i = 0; i < groups->GroupCount; ++i) {
      names.push_back(sidString(groups->Groups[i].Sid));
      EXPECT_TRUE(groups->Groups[i].Attributes & SE_GROUP_ENABLED) << text::toUtf8(names.back());
    }
    auto has = [&](const char16_t* sid) { return std::find(names.begin(), names.end(), sid) != names.end(); };
    EXPECT_TRUE(has(u"S-1-1-0"));
    EXPECT_TRUE(has(u"S-1-5-32-545"));
    EXPECT_TRUE(has(u"S-1-5-4"));
    EXPECT_EQ(has(u"S-1-5-32-544"), c.admin);
    // A logon token is primary: membership is asked of an impersonation copy.
    PSID admins = nullptr;
    ASSERT_TRUE(ConvertStringSidToSidW(u"S-1-5-32-544", &admins));
    BOOL member = static_cast<BOOL>(kSentinel);
    EXPECT_FALSE(CheckTokenMembership(token, admins, &member));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_IMPERSONATION_TOKEN));
    EXPECT_EQ(member, static_cast<BOOL>(kSentinel));
    HANDLE copy = nullptr;
    ASSERT_TRUE(DuplicateToken(token, SecurityIdentification, &copy));
    EXPECT_TRUE(CheckTokenMembership(copy, admins, &member));
    EXPECT_EQ(member, c.admin ? TRUE : FALSE);
    LocalFree(admins);
    CloseHandle(copy);
    CloseHandle(token);
  }
}

TEST_F(Security, LogonChecksUserDomainPasswordAndType) {
  struct Case {
    const char16_t* user;
    const char16_t* domain;
    const char16_t* password;
    DWORD type;
    DWORD error;  // 0: succeeds
  } const cases[] = {
      {u"Ada", nullptr, u"Secret1", LOGON32_LOGON_INTERACTIVE, 0},
      {u"ADA", u".", u"Secret1", LOGON32_LOGON_INTERACTIVE, 0},          // user names ignore case
      {u"Ada", u"alpha", u"Secret1", LOGON32_LOGON_INTERACTIVE, 0},      // the computer's own domain
      {u"Ada", nullptr, u"secret1", LOGON32_LOGON_INTERACTIVE, ERROR_LOGON_FAILURE},  // passwords do not
      {u"Ada", nullptr, u"", LOGON32_LOGON_INTERACTIVE, ERROR_LOGON_FAILURE},
      {u"Nobody", nullptr, u"", LOGON32_LOGON_INTERACTIVE, ERROR_LOGON_FAILURE},
      {u"Ada", u"OTHERDOMAIN", u"Secret1", LOGON32_LOGON_INTERACTIVE, ERROR_LOGON_FAILURE},
      {u"Robin", nullptr, u"", LOGON32_LOGON_INTERACTIVE, 0},            // the host user, no password yet
      {u"Robin", nullptr, u"", LOGON32_LOGON_NETWORK, ERROR_ACCOUNT_RESTRICTION},  // blank: console only
      {u"Ada", nullptr, u"Secret1", LOGON32_LOGON_NETWORK, 0},
      {u"Ada", nullptr, u"Secret1", LOGON32_LOGON_SERVICE, ERROR_LOGON_TYPE_NOT_GRANTED},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(text::toUtf8(c.user) + "/" + text::toUtf8(c.password) + " type " + std::to_string(c.type));
    HANDLE token = nullptr;
    SetLastError(0);
    BOOL ok = LogonUserW(c.user, c.domain, c.password, c.type, LOGON32_PROVIDER_DEFAULT, &token);
    if (c.error == 0) {
      EXPECT_TRUE(ok);
      EXPECT_TRUE(CloseHandle(token));
    } else {
      EXPECT_FALSE(ok);
      EXPECT_EQ(GetLastError(), c.error);
    }
  }
}

TEST_F(Security, ImpersonationKeepsTheProcessUsersCurrentUserHive) {
  // As on XP, HKEY_CURRENT_USER of an impersonating thread is still Robin's hive: Ben reads what
  // Robin wrote there but, not being an administrator, may not write it.
  ASSERT_EQ(SHSetValueW(HKEY_CURRENT_USER, u"Software\\KipoTest", u"owner", REG_SZ, u"Robin", 12), static_cast<DWORD>(ERROR_SUCCESS));
  HANDLE ben = logon(u"Ben", u"pw");
  ASSERT_TRUE(ImpersonateLoggedOnUser(ben));
  char16_t value[16] = {};
  DWORD size = sizeof value;
  EXPECT_EQ(SHGetValueW(HKEY_CURRENT_USER, u"Software\\KipoTest", u"owner", nullptr, value, &size), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(std::u16string(value), u"Robin");
  EXPECT_EQ(SHSetValueW(HKEY_CURRENT_USER, u"Software\\KipoTest", u"owner", REG_SZ, u"Ben", 8), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  RevertToSelf();
  EXPECT_EQ(SHSetValueW(HKEY_CURRENT_USER, u"Software\\KipoTest", u"owner", REG_SZ, u"Robin", 12), static_cast<DWORD>(ERROR_SUCCESS));
  CloseHandle(ben);
}

TEST(SecuritySids, StringFormsRoundTrip) {
  kipotest::TestHost host;
  struct Case {
    const char16_t* in;
    const char16_t* out;
    DWORD length;
  } const cases[] = {
      {u"S-1-5-32-544", u"S-1-5-32-544", 16},
      {u"S-1-1-0", u"S-1-1-0", 12},
      {u"s-1-5-21-100-200-300-1003", u"S-1-5-21-100-200-300-1003", 28},
      {u"S-1-0x123456789ABC-7", u"S-1-0x123456789ABC-7", 12},  // authorities of 2^32 and above in hex
      {u"S-1-4294967295-4294967295", u"S-1-4294967295-4294967295", 12},
      {u"BA", u"S-1-5-32-544", 16},
      {u"WD", u"S-1-1-0", 12},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(text::toUtf8(c.in));
    PSID sid = nullptr;
    ASSERT_TRUE(ConvertStringSidToSidW(c.in, &sid));
    EXPECT_TRUE(IsValidSid(sid));
    EXPECT_EQ(GetLengthSid(sid), c.length);
    EXPECT_EQ(sidString(sid), c.out);
    LocalFree(sid);
  }
  for (const char16_t* bad : {u"", u"S-1", u"S-1-5", u"S-2-5-32", u"X-1-5-32", u"S-1-5-32-", u"S-1--5-32",
                              u"S-1-5-4294967296", u"S-1-5-32-5a4", u"S-1-5-1-2-3-4-5-6-7-8-9-10-11-12-13-14-15-16"}) {
    SCOPED_TRACE(text::toUtf8(bad));
    PSID sid = kSentinelHandle;
    SetLastError(0);
    EXPECT_FALSE(ConvertStringSidToSidW(bad, &sid));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_SID));
    EXPECT_EQ(sid, kSentinelHandle);
  }
}

TEST(SecuritySids, AllocatedSidsCompareAndCopy) {
  kipotest::TestHost host;
  SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
  PSID admins = nullptr, users = nullptr, parsed = nullptr;
  ASSERT_TRUE(AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, &admins));
  ASSERT_TRUE(AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_USERS, 0, 0, 0, 0, 0, 0, &users));
  ASSERT_TRUE(ConvertStringSidToSidW(u"S-1-5-32-544", &parsed));
  EXPECT_TRUE(EqualSid(admins, parsed));
  EXPECT_FALSE(EqualSid(admins, users));
  EXPECT_EQ(sidString(users), u"S-1-5-32-545");

  PSID tooMany = kSentinelHandle;
  EXPECT_FALSE(AllocateAndInitializeSid(&nt, 9, 1, 2, 3, 4, 5, 6, 7, 8, &tooMany));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(tooMany, kSentinelHandle);

  BYTE copy[SECURITY_MAX_SID_SIZE];
  std::memset(copy, kPad, sizeof copy);
  EXPECT_FALSE(CopySid(15, copy, admins));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(copy[0], kPad);
  ASSERT_TRUE(CopySid(16, copy, admins));
  EXPECT_TRUE(EqualSid(copy, admins));
  EXPECT_EQ(FreeSid(admins), nullptr);
  FreeSid(users);
  LocalFree(parsed);
}

TEST_F(Security, AccountLookupsNameUsersAndGroups) {
  struct Case {
    const char16_t* sid;  // null: the user's own SID
    const char16_t* name;
    const char16_t* domain;
    SID_NAME_USE use;
  } const cases[] = {
      {u"S-1-5-32-544", u"Administrators", u"BUILTIN", SidTypeAlias},
      {u"S-1-5-32-545", u"Users", u"BUILTIN", SidTypeAlias},
      {u"S-1-1-0", u"Everyone", u"", SidTypeWellKnownGroup},
      {u"S-1-5-18", u"SYSTEM", u"NT AUTHORITY", SidTypeWellKnownGroup},
      {nullptr, u"Robin", u"ALPHA", SidTypeUser},
      {nullptr, u"Ada", u"ALPHA", SidTypeUser},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(text::toUtf8(c.name));
    std::u16string sidText = c.sid ? c.sid : platform::security::userSid(c.name);
    PSID sid = nullptr;
    ASSERT_TRUE(ConvertStringSidToSidW(sidText.c_str(), &sid));
    char16_t name[64], domain[64];
    DWORD cchName = 64, cchDomain = 64;
    SID_NAME_USE use = SidTypeUnknown;
    ASSERT_TRUE(LookupAccountSidW(nullptr, sid, name, &cchName, domain, &cchDomain, &use));
    EXPECT_EQ(std::u16string(name), c.name);
    EXPECT_EQ(cchName, text::length(c.name)) << "length without the NUL";
    EXPECT_EQ(std::u16string(domain), c.domain);
    EXPECT_EQ(use, c.use);

    // And back from the name.
    BYTE found[SECURITY_MAX_SID_SIZE];
    DWORD cbSid = sizeof found;
    cchDomain = 64;
    ASSERT_TRUE(LookupAccountNameW(nullptr, c.name, found, &cbSid, domain, &cchDomain, &use));
    EXPECT_TRUE(EqualSid(found, sid));
    EXPECT_EQ(cbSid, GetLengthSid(sid));
    LocalFree(sid);
  }
}

TEST_F(Security, AccountLookupBufferRules) {
  PSID sid = nullptr;
  ASSERT_TRUE(ConvertStringSidToSidW(u"S-1-5-32-544", &sid));
  // "Administrators" needs 15 characters with its NUL; the caller's buffer stays untouched.
  char16_t name[14];
  std::fill(std::begin(name), std::end(name), u'#');
  char16_t domain[64];
  DWORD cchName = 14, cchDomain = 64;
  // The sentinel is no SID_NAME_USE value: it goes in and comes out as raw bytes.
  SID_NAME_USE use;
  const DWORD sentinel = kSentinel;
  static_assert(sizeof use == sizeof sentinel);
  std::memcpy(&use, &sentinel, sizeof use);
  EXPECT_FALSE(LookupAccountSidW(nullptr, sid, name, &cchName, domain, &cchDomain, &use));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(cchName, 15u);
  EXPECT_EQ(cchDomain, 8u);
  EXPECT_EQ(name[0], u'#');
  DWORD useAfter = 0;
  std::memcpy(&useAfter, &use, sizeof useAfter);
  EXPECT_EQ(useAfter, sentinel);
  // The size query the product makes: null buffers, zero sizes.
  cchName = cchDomain = 0;
  EXPECT_FALSE(LookupAccountSidW(nullptr, sid, nullptr, &cchName, nullptr, &cchDomain, &use));
  EXPECT_EQ(cchName, 15u);
  EXPECT_EQ(cchDomain, 8u);
  LocalFree(sid);

  ASSERT_TRUE(ConvertStringSidToSidW(u"S-1-5-21-9-9-9-1234", &sid));
  cchName = 14;
  cchDomain = 64;
  EXPECT_FALSE(LookupAccountSidW(nullptr, sid, name, &cchName, domain, &cchDomain, &use));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NONE_MAPPED));
  LocalFree(sid);

  BYTE found[SECURITY_MAX_SID_SIZE];
  DWORD cbSid = sizeof found;
  cchDomain = 64;
  EXPECT_FALSE(LookupAccountNameW(nullptr, u"Nobody", found, &cbSid, domain, &cchDomain, &use));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NONE_MAPPED));
  cbSid = 0;
  cchDomain = 0;
  EXPECT_FALSE(LookupAccountNameW(nullptr, u"ALPHA\\Ben", nullptr, &cbSid, nullptr, &cchDomain, &use));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(cbSid, 28u);
  EXPECT_EQ(cchDomain, 6u);
}

TEST_F(Security, UsersSidsAreTheirHivesAndFollowCreationOrder) {
  const std::u16string robin = platform::security::userSid(u"Robin");
  const std::u16string prefix = robin.substr(0, robin.rfind(u'-'));
  EXPECT_EQ(robin, prefix + u"-1003");
  EXPECT_EQ(platform::security::userSid(u"Ada"), prefix + u"-1004");
  EXPECT_EQ(platform::security::userSid(u"BEN"), prefix + u"-1005");
  // HKEY_CURRENT_USER is the hive of that name.
  ASSERT_EQ(SHSetValueW(HKEY_CURRENT_USER, u"Software\\KipoTest", u"probe", REG_DWORD, "\1\0\0\0", 4), static_cast<DWORD>(ERROR_SUCCESS));
  DWORD value = 0, size = 4;
  EXPECT_EQ(SHGetValueW(HKEY_USERS, (robin + u"\\Software\\KipoTest").c_str(), u"probe", nullptr, &value, &size),
            static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(value, 1u);
}

}  // namespace

TEST_F(Security, ProcessTokensComeOnlyFromProcessHandles) {
  HANDLE t = kSentinelHandle;
  HANDLE self = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, GetCurrentProcessId());
  ASSERT_NE(self, nullptr);
  ASSERT_TRUE(OpenProcessToken(self, TOKEN_QUERY, &t));
  BYTE buffer[256];
  DWORD size = 0;
  ASSERT_TRUE(GetTokenInformation(t, TokenUser, buffer, sizeof buffer, &size));
  EXPECT_EQ(sidString(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid), platform::security::userSid(u"Robin"));
  CloseHandle(t);
  CloseHandle(self);

  HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  t = kSentinelHandle;
  SetLastError(0);
  EXPECT_FALSE(OpenProcessToken(event, TOKEN_QUERY, &t)) << "an event is not a process";
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  CloseHandle(event);
}

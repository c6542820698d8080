// Users, SIDs and access tokens (advapi32's security calls and shell32's IsUserAnAdmin) over the
// host's users (platform/host/users.h).
//
// Every process of the host runs as the host's user (facts user_name and user_is_admin, read
// live: `kipo-host set --user-is-admin 0` takes effect at once). A thread that impersonates a
// token from LogonUserW acts as that token's user until RevertToSelf: its thread token, its
// GetUserNameW, its administrator checks and the registry's administrator rule follow that user.
// HKEY_CURRENT_USER does not: as on Windows XP, an impersonating thread's HKEY_CURRENT_USER is
// still the process user's hive (a program that wants the other user's hive opens HKEY_USERS\<SID>).
// A token's groups are fixed when it is made (at logon, or when the process token is opened), as
// on Windows.
//
// SIDs are the binary Windows layout (revision, count, 6-byte authority, 32-bit sub-authorities).
// A user's SID is the name of its registry hive under HKEY_USERS (platform::security::userSid).
// Tokens are kernel objects in the process handle table and are closed with CloseHandle.
#pragma once

#include <string>
#include <string_view>

#include "platform/base/types.h"
#include "platform/win32/error.h"

// --- SIDs ---------------------------------------------------------------------------------------

using PSID = void*;

struct SID_IDENTIFIER_AUTHORITY {
  BYTE Value[6];
};
using PSID_IDENTIFIER_AUTHORITY = SID_IDENTIFIER_AUTHORITY*;

struct SID {
  BYTE Revision;
  BYTE SubAuthorityCount;
  SID_IDENTIFIER_AUTHORITY IdentifierAuthority;
  DWORD SubAuthority[1];  // SubAuthorityCount of them
};

#define SID_REVISION 1
#define SID_MAX_SUB_AUTHORITIES 15
#define SECURITY_MAX_SID_SIZE 68

#define SECURITY_NULL_SID_AUTHORITY {{0, 0, 0, 0, 0, 0}}
#define SECURITY_WORLD_SID_AUTHORITY {{0, 0, 0, 0, 0, 1}}
#define SECURITY_LOCAL_SID_AUTHORITY {{0, 0, 0, 0, 0, 2}}
#define SECURITY_CREATOR_SID_AUTHORITY {{0, 0, 0, 0, 0, 3}}
#define SECURITY_NT_AUTHORITY {{0, 0, 0, 0, 0, 5}}

#define SECURITY_NULL_RID 0
#define SECURITY_WORLD_RID 0
#define SECURITY_LOCAL_RID 0
#define SECURITY_INTERACTIVE_RID 4
#define SECURITY_AUTHENTICATED_USER_RID 11
#define SECURITY_LOCAL_SYSTEM_RID 18
#define SECURITY_NT_NON_UNIQUE 21
#define SECURITY_BUILTIN_DOMAIN_RID 32
#define DOMAIN_USER_RID_ADMIN 500
#define DOMAIN_USER_RID_GUEST 501
#define DOMAIN_GROUP_RID_USERS 513
#define DOMAIN_ALIAS_RID_ADMINS 544
#define DOMAIN_ALIAS_RID_USERS 545
#define DOMAIN_ALIAS_RID_GUESTS 546
#define DOMAIN_ALIAS_RID_POWER_USERS 547

enum SID_NAME_USE {
  SidTypeUser = 1,
  SidTypeGroup,
  SidTypeDomain,
  SidTypeAlias,
  SidTypeWellKnownGroup,
  SidTypeDeletedAccount,
  SidTypeInvalid,
  SidTypeUnknown,
  SidTypeComputer,
};
using PSID_NAME_USE = SID_NAME_USE*;

// Allocates a SID with the first nSubAuthorityCount of the eight values (at most 8, else
// ERROR_INVALID_PARAMETER); freed with FreeSid.
BOOL AllocateAndInitializeSid(PSID_IDENTIFIER_AUTHORITY pIdentifierAuthority, BYTE nSubAuthorityCount,
                              DWORD nSubAuthority0, DWORD nSubAuthority1, DWORD nSubAuthority2, DWORD nSubAuthority3,
                              DWORD nSubAuthority4, DWORD nSubAuthority5, DWORD nSubAuthority6, DWORD nSubAuthority7,
                              PSID* pSid);
// Returns null.
PVOID FreeSid(PSID pSid);
BOOL IsValidSid(PSID pSid);
// Byte-wise equality of two valid SIDs (FALSE when either is invalid).
BOOL EqualSid(PSID pSid1, PSID pSid2);
DWORD GetLengthSid(PSID pSid);
// ERROR_INSUFFICIENT_BUFFER when nDestinationSidLength is too small (the target left alone).
BOOL CopySid(DWORD nDestinationSidLength, PSID pDestinationSid, PSID pSourceSid);
// "S-1-5-32-544" in memory from LocalAlloc (freed with LocalFree).
BOOL ConvertSidToStringSidW(PSID Sid, LPWSTR* StringSid);
BOOL ConvertSidToStringSidA(PSID Sid, LPSTR* StringSid);
// The S-R-I-S... form (authority in decimal, or 0x and twelve hex digits) or one of the
// abbreviations WD, BA, BU, BG, PU, SY, AU, IU; the SID from LocalAlloc. ERROR_INVALID_SID
// for anything else.
BOOL ConvertStringSidToSidW(LPCWSTR StringSid, PSID* Sid);
BOOL ConvertStringSidToSidA(LPCSTR StringSid, PSID* Sid);

// Account names. Users of the host have the computer name as domain; the built-in groups
// "BUILTIN"; the well-known groups "NT AUTHORITY" or none. lpSystemName is ignored (only the
// local machine exists). Sizes in characters (bytes for cbSid): on success the lengths without
// the NUL; when a buffer is too small, ERROR_INSUFFICIENT_BUFFER and every size set to what is
// needed, the NUL included. ERROR_NONE_MAPPED for an unknown SID or name.
BOOL LookupAccountSidW(LPCWSTR lpSystemName, PSID Sid, LPWSTR Name, LPDWORD cchName, LPWSTR ReferencedDomainName,
                       LPDWORD cchReferencedDomainName, PSID_NAME_USE peUse);
BOOL LookupAccountSidA(LPCSTR lpSystemName, PSID Sid, LPSTR Name, LPDWORD cchName, LPSTR ReferencedDomainName,
                       LPDWORD cchReferencedDomainName, PSID_NAME_USE peUse);
// lpAccountName is "name" or "DOMAIN\name".
BOOL LookupAccountNameW(LPCWSTR lpSystemName, LPCWSTR lpAccountName, PSID Sid, LPDWORD cbSid,
                        LPWSTR ReferencedDomainName, LPDWORD cchReferencedDomainName, PSID_NAME_USE peUse);

// --- tokens -------------------------------------------------------------------------------------

#define TOKEN_ASSIGN_PRIMARY 0x0001
#define TOKEN_DUPLICATE 0x0002
#define TOKEN_IMPERSONATE 0x0004
#define TOKEN_QUERY 0x0008
#define TOKEN_QUERY_SOURCE 0x0010
#define TOKEN_ADJUST_PRIVILEGES 0x0020
#define TOKEN_ADJUST_GROUPS 0x0040
#define TOKEN_ADJUST_DEFAULT 0x0080
#define TOKEN_ADJUST_SESSIONID 0x0100
#define TOKEN_ALL_ACCESS (STANDARD_RIGHTS_REQUIRED | 0x01FF)
#define TOKEN_READ (STANDARD_RIGHTS_READ | TOKEN_QUERY)
#define TOKEN_WRITE (STANDARD_RIGHTS_WRITE | TOKEN_ADJUST_PRIVILEGES | TOKEN_ADJUST_GROUPS | TOKEN_ADJUST_DEFAULT)
#define TOKEN_EXECUTE STANDARD_RIGHTS_EXECUTE

#define SE_GROUP_MANDATORY 0x00000001L
#define SE_GROUP_ENABLED_BY_DEFAULT 0x00000002L
#define SE_GROUP_ENABLED 0x00000004L
#define SE_GROUP_OWNER 0x00000008L
#define SE_GROUP_USE_FOR_DENY_ONLY 0x00000010L
#define SE_GROUP_LOGON_ID 0xC0000000L

enum TOKEN_TYPE { TokenPrimary = 1, TokenImpersonation };
enum SECURITY_IMPERSONATION_LEVEL {
  SecurityAnonymous,
  SecurityIdentification,
  SecurityImpersonation,
  SecurityDelegation,
};
enum TOKEN_INFORMATION_CLASS {
  TokenUser = 1,
  TokenGroups,
  TokenPrivileges,
  TokenOwner,
  TokenPrimaryGroup,
  TokenDefaultDacl,
  TokenSource,
  TokenType,
  TokenImpersonationLevel,
  TokenStatistics,
};

struct SID_AND_ATTRIBUTES {
  PSID Sid;
  DWORD Attributes;
};
struct TOKEN_USER {
  SID_AND_ATTRIBUTES User;
};
struct TOKEN_GROUPS {
  DWORD GroupCount;
  SID_AND_ATTRIBUTES Groups[1];  // GroupCount of them
};
struct TOKEN_OWNER {
  PSID Owner;
};
struct TOKEN_PRIMARY_GROUP {
  PSID PrimaryGroup;
};
using PTOKEN_USER = TOKEN_USER*;
using PTOKEN_GROUPS = TOKEN_GROUPS*;

// The process token: ProcessHandle is GetCurrentProcess() (the pseudo handle -1) or a process
// handle (see setProcessUserQuery).
BOOL OpenProcessToken(HANDLE ProcessHandle, DWORD DesiredAccess, PHANDLE TokenHandle);
// The impersonation token of a thread (GetCurrentThread(), the pseudo handle -2): ERROR_NO_TOKEN
// (*TokenHandle left alone) when the thread is not impersonating.
BOOL OpenThreadToken(HANDLE ThreadHandle, DWORD DesiredAccess, BOOL OpenAsSelf, PHANDLE TokenHandle);
// Fills TokenInformation with the structure and the SIDs it points to, and sets *ReturnLength to
// the bytes that takes; when TokenInformationLength is smaller, ERROR_INSUFFICIENT_BUFFER (122)
// with *ReturnLength set and the buffer left alone. TokenUser, TokenGroups, TokenOwner,
// TokenPrimaryGroup, TokenType and TokenImpersonationLevel are answered; ERROR_ACCESS_DENIED
// without TOKEN_QUERY.
BOOL GetTokenInformation(HANDLE TokenHandle, TOKEN_INFORMATION_CLASS TokenInformationClass, LPVOID TokenInformation,
                         DWORD TokenInformationLength, PDWORD ReturnLength);
// Whether SidToCheck is the token's user or one of its enabled groups. A null TokenHandle means
// the calling thread's effective token; any other must be an impersonation token
// (ERROR_NO_IMPERSONATION_TOKEN for a primary one, as from LogonUserW).
BOOL CheckTokenMembership(HANDLE TokenHandle, PSID SidToCheck, PBOOL IsMember);
// An impersonation token with the same user and groups.
BOOL DuplicateToken(HANDLE ExistingTokenHandle, SECURITY_IMPERSONATION_LEVEL ImpersonationLevel,
                    PHANDLE DuplicateTokenHandle);

#define LOGON32_LOGON_INTERACTIVE 2
#define LOGON32_LOGON_NETWORK 3
#define LOGON32_LOGON_BATCH 4
#define LOGON32_LOGON_SERVICE 5
#define LOGON32_LOGON_UNLOCK 7
#define LOGON32_LOGON_NETWORK_CLEARTEXT 8
#define LOGON32_LOGON_NEW_CREDENTIALS 9
#define LOGON32_PROVIDER_DEFAULT 0
#define LOGON32_PROVIDER_WINNT35 1
#define LOGON32_PROVIDER_WINNT40 2
#define LOGON32_PROVIDER_WINNT50 3

// Checks a host user's password and returns a primary token for it. The domain may be null,
// "." or the computer name. ERROR_LOGON_FAILURE (1326) for an unknown user or a wrong password;
// a blank password is refused for network logons (ERROR_ACCOUNT_RESTRICTION), as XP does;
// batch and service logons are not granted (ERROR_LOGON_TYPE_NOT_GRANTED).
BOOL LogonUserW(LPCWSTR lpszUsername, LPCWSTR lpszDomain, LPCWSTR lpszPassword, DWORD dwLogonType,
                DWORD dwLogonProvider, PHANDLE phToken);
BOOL LogonUserA(LPCSTR lpszUsername, LPCSTR lpszDomain, LPCSTR lpszPassword, DWORD dwLogonType,
                DWORD dwLogonProvider, PHANDLE phToken);
// The calling thread acts as the token's user until RevertToSelf (or another impersonation).
BOOL ImpersonateLoggedOnUser(HANDLE hToken);
// Ends the calling thread's impersonation; TRUE also when there was none.
BOOL RevertToSelf();

// shell32: whether the calling thread's effective user is a member of Administrators.
BOOL IsUserAnAdmin();

namespace platform::security {

// Who the calling thread acts as.
struct Identity {
  std::u16string name;
  bool admin = false;
  bool impersonating = false;
};
// The process's user: the host user of the facts, read now.
Identity processIdentity();
// The impersonated user on an impersonating thread, else the process's user. GetUserNameW, the
// administrator checks and the registry's administrator rule all ask this one function.
Identity effectiveIdentity();

// The SID text of a host user: the name of its hive under HKEY_USERS, given on first use and
// kept. Takes the registry lock; call it outside any database transaction.
std::u16string userSid(std::u16string_view userName);

// The process facility tells here which user a process handle's process runs as: true and *user
// set for a process handle, false for any other handle. Until one is installed, every live handle
// of the handle table is taken for a process of the host user (no program of the host runs as
// anyone else).
using ProcessUserQuery = bool (*)(HANDLE process, std::u16string* user);
void setProcessUserQuery(ProcessUserQuery query);

}  // namespace platform::security

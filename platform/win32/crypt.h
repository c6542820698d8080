// The CryptoAPI calls of advapi32 that programs use to hash data and to set up key containers:
// provider contexts of the RSA full provider type, MD5 hashes and the signature and exchange key
// pairs of a container. Named containers live in host.db, per user (or machine-wide with
// CRYPT_MACHINE_KEYSET), so every process of the host sees the same ones. Calls return BOOL and
// report failures through SetLastError with the NTE_* codes below, as Windows does.
#pragma once

#include "platform/base/types.h"
#include "platform/win32/error.h"

using HCRYPTPROV = ULONG_PTR;
using HCRYPTHASH = ULONG_PTR;
using HCRYPTKEY = ULONG_PTR;
using ALG_ID = unsigned int;

// Provider types and the names of the providers of PROV_RSA_FULL.
#define PROV_RSA_FULL 1
#define MS_DEF_PROV_W u"Microsoft Base Cryptographic Provider v1.0"
#define MS_ENHANCED_PROV_W u"Microsoft Enhanced Cryptographic Provider v1.0"
#define MS_STRONG_PROV_W u"Microsoft Strong Cryptographic Provider"

// CryptAcquireContext flags.
#define CRYPT_VERIFYCONTEXT 0xF0000000u
#define CRYPT_NEWKEYSET 0x00000008u
#define CRYPT_DELETEKEYSET 0x00000010u
#define CRYPT_MACHINE_KEYSET 0x00000020u
#define CRYPT_SILENT 0x00000040u

// Algorithms and key kinds (AT_KEYEXCHANGE, AT_SIGNATURE).
#define CALG_MD5 0x00008003u
#define CALG_RSA_SIGN 0x00002400u
#define CALG_RSA_KEYX 0x0000A400u
#define AT_KEYEXCHANGE 1u
#define AT_SIGNATURE 2u

// CryptGenKey flags (the key length in bits is in the upper 16 bits).
#define CRYPT_EXPORTABLE 0x00000001u
#define CRYPT_USER_PROTECTED 0x00000002u

// CryptGetHashParam parameters.
#define HP_ALGID 0x0001u
#define HP_HASHVAL 0x0002u
#define HP_HASHSIZE 0x0004u

// CryptGetProvParam parameters.
#define PP_NAME 4u
#define PP_CONTAINER 6u
#define PP_PROVTYPE 16u

// CryptoAPI error codes, as GetLastError reports them (their texts are in FormatMessage's table).
#define NTE_BAD_UID static_cast<DWORD>(0x80090001L)
#define NTE_BAD_HASH static_cast<DWORD>(0x80090002L)
#define NTE_BAD_KEY static_cast<DWORD>(0x80090003L)
#define NTE_BAD_LEN static_cast<DWORD>(0x80090004L)
#define NTE_BAD_DATA static_cast<DWORD>(0x80090005L)
#define NTE_BAD_SIGNATURE static_cast<DWORD>(0x80090006L)
#define NTE_BAD_VER static_cast<DWORD>(0x80090007L)
#define NTE_BAD_ALGID static_cast<DWORD>(0x80090008L)
#define NTE_BAD_FLAGS static_cast<DWORD>(0x80090009L)
#define NTE_BAD_TYPE static_cast<DWORD>(0x8009000AL)
#define NTE_BAD_KEY_STATE static_cast<DWORD>(0x8009000BL)
#define NTE_BAD_HASH_STATE static_cast<DWORD>(0x8009000CL)
#define NTE_NO_KEY static_cast<DWORD>(0x8009000DL)
#define NTE_NO_MEMORY static_cast<DWORD>(0x8009000EL)
#define NTE_EXISTS static_cast<DWORD>(0x8009000FL)
#define NTE_PERM static_cast<DWORD>(0x80090010L)
#define NTE_NOT_FOUND static_cast<DWORD>(0x80090011L)
#define NTE_DOUBLE_ENCRYPT static_cast<DWORD>(0x80090012L)
#define NTE_BAD_PROVIDER static_cast<DWORD>(0x80090013L)
#define NTE_BAD_PROV_TYPE static_cast<DWORD>(0x80090014L)
#define NTE_BAD_PUBLIC_KEY static_cast<DWORD>(0x80090015L)
#define NTE_BAD_KEYSET static_cast<DWORD>(0x80090016L)
#define NTE_PROV_TYPE_NOT_DEF static_cast<DWORD>(0x80090017L)
#define NTE_PROV_TYPE_ENTRY_BAD static_cast<DWORD>(0x80090018L)
#define NTE_KEYSET_NOT_DEF static_cast<DWORD>(0x80090019L)
#define NTE_KEYSET_ENTRY_BAD static_cast<DWORD>(0x8009001AL)
#define NTE_PROV_TYPE_NO_MATCH static_cast<DWORD>(0x8009001BL)
#define NTE_SIGNATURE_FILE_BAD static_cast<DWORD>(0x8009001CL)
#define NTE_PROVIDER_DLL_FAIL static_cast<DWORD>(0x8009001DL)
#define NTE_PROV_DLL_NOT_FOUND static_cast<DWORD>(0x8009001EL)
#define NTE_BAD_KEYSET_PARAM static_cast<DWORD>(0x8009001FL)
#define NTE_FAIL static_cast<DWORD>(0x80090020L)
#define NTE_SYS_ERR static_cast<DWORD>(0x80090021L)

// A null or empty container names the caller's default container (the user's logon name). With
// CRYPT_VERIFYCONTEXT no container is used and the container must be null or empty;
// CRYPT_DELETEKEYSET deletes the container and sets *phProv to 0.
BOOL CryptAcquireContextW(HCRYPTPROV* phProv, LPCWSTR szContainer, LPCWSTR szProvider, DWORD dwProvType,
                          DWORD dwFlags);
BOOL CryptReleaseContext(HCRYPTPROV hProv, DWORD dwFlags);
// PP_CONTAINER and PP_NAME give 8-bit text with its NUL, PP_PROVTYPE a DWORD. A null pbData asks
// for the size; a buffer too small fails with ERROR_MORE_DATA and the size needed.
BOOL CryptGetProvParam(HCRYPTPROV hProv, DWORD dwParam, BYTE* pbData, DWORD* pdwDataLen, DWORD dwFlags);

// Keys of a container: AT_SIGNATURE / CALG_RSA_SIGN and AT_KEYEXCHANGE / CALG_RSA_KEYX pairs.
// A key generated in a named container is stored with it; in a verify context it is not.
BOOL CryptGenKey(HCRYPTPROV hProv, ALG_ID Algid, DWORD dwFlags, HCRYPTKEY* phKey);
BOOL CryptGetUserKey(HCRYPTPROV hProv, DWORD dwKeySpec, HCRYPTKEY* phUserKey);
BOOL CryptDestroyKey(HCRYPTKEY hKey);

// Hashes. Reading HP_HASHVAL finishes the hash: more data is then refused (NTE_BAD_HASH_STATE),
// and the value can be read again.
BOOL CryptCreateHash(HCRYPTPROV hProv, ALG_ID Algid, HCRYPTKEY hKey, DWORD dwFlags, HCRYPTHASH* phHash);
BOOL CryptHashData(HCRYPTHASH hHash, const BYTE* pbData, DWORD dwDataLen, DWORD dwFlags);
BOOL CryptGetHashParam(HCRYPTHASH hHash, DWORD dwParam, BYTE* pbData, DWORD* pdwDataLen, DWORD dwFlags);
BOOL CryptDestroyHash(HCRYPTHASH hHash);

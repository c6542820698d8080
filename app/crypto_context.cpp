// CCryptoContext: provider context, default key container set-up, MD5 digest text and the
// CryptoAPI error boxes.
#include "app/crypto_context.h"

#include <cstring>

#include "app/log.h"
#include "app/messages.h"
#include "platform/win32/error.h"

namespace {

constexpr DWORD kMd5Size = 16;
constexpr DWORD kContainerNameBytes = 100;

struct ErrorText {
  DWORD code;
  const char16_t* text;
};

const ErrorText kErrorTexts[] = {
    {ERROR_NOT_ENOUGH_MEMORY, u"The operating system ran out of memory during the operation."},
    {ERROR_INVALID_PARAMETER,
     u"One of the parameters contains an invalid value. This is most often an illegal pointer."},
    {NTE_BAD_SIGNATURE,
     u"The provider DLL signature did not verify correctly. Either the DLL or the digital signature has been "
     u"tampered with."},
    {NTE_BAD_FLAGS, u"The dwFlags parameter has an illegal value."},
    {NTE_NO_MEMORY, u"The CSP ran out of memory during the operation."},
    {NTE_EXISTS, u"The dwFlags parameter is CRYPT_NEWKEYSET, but the key container already exists."},
    {NTE_BAD_PROV_TYPE,
     u"The value of the dwProvType parameter is out of range. All provider types must be from 1 to 999, "
     u"inclusive."},
    {NTE_BAD_KEYSET, u"The Registry entry for the key container could not be opened and may not exist."},
    {NTE_PROV_TYPE_NOT_DEF, u"No Registry entry exists for the provider type specified by dwProvType."},
    {NTE_PROV_TYPE_ENTRY_BAD,
     u"The Registry entry for the provider type specified by dwProvType is corrupt. This error may relate to "
     u"either the user default CSP list or the machine default CSP list. See the section System Administration "
     u"for details about CryptoAPI's Registry usage."},
    {NTE_KEYSET_NOT_DEF,
     u"No Registry entry exists in the HKEY_CURRENT_USER window for the key container specified by pszContainer."},
    {NTE_KEYSET_ENTRY_BAD,
     u"The Registry entry for the pszContainer key container was found (in the HKEY_CURRENT_USER window), but is "
     u"corrupt. See the section System Administration for details about CryptoAPI's Registry usage."},
    {NTE_PROV_TYPE_NO_MATCH,
     u"The provider type specified by dwProvType does not match the provider type found in the Registry. Note "
     u"that this error can only occur when pszProvider specifies an actual CSP name."},
    {NTE_SIGNATURE_FILE_BAD, u"An error occurred while loading the DLL file image, prior to verifying its signature."},
    {NTE_PROVIDER_DLL_FAIL,
     u"The provider DLL file could not be loaded, and may not exist. If it exists, then the file is not a valid "
     u"DLL."},
    {NTE_PROV_DLL_NOT_FOUND, u"The provider DLL file does not exist or is not on the current path."},
    {NTE_BAD_KEYSET_PARAM, u"The pszContainer or pszProvider parameter is set to an illegal value."},
};

// One key pair of the default container, with the captions of its failures.
struct KeyStep {
  DWORD spec;
  const char16_t* createFailed;
  const char16_t* getFailed;
};

}  // namespace

CCryptoContext::CCryptoContext(LPCWSTR container, LPCWSTR provider, DWORD providerType, DWORD flags) {
  m_lastError = 0;
  m_acquired = TRUE;
  if (CryptAcquireContextW(&m_provider, container, provider, providerType, flags)) return;
  // The set-up's own boxes and log lines may change the thread's last error: keep its code.
  if (DWORD code = createDefaultKeys()) {
    m_acquired = FALSE;
    m_provider = 0;
    m_lastError = code;
    reportError(false, code, u"CryptAcquireContext Error - Failed to Create Key Container.");
    return;
  }
  // The flag tells whether a context is held, so the destructor and the hash never use a
  // context that this second attempt did not give.
  if (!CryptAcquireContextW(&m_provider, container, provider, providerType, flags)) {
    m_acquired = FALSE;
    m_provider = 0;
  }
}

CCryptoContext::~CCryptoContext() {
  if (m_acquired) CryptReleaseContext(m_provider, 0);
}

DWORD CCryptoContext::createDefaultKeys() {
  DWORD result = 0;
  auto failed = [&](const char16_t* caption) {
    DWORD code = ::GetLastError();
    result = code ? code : NTE_FAIL;
    m_lastError = result;
    reportError(false, result, caption);
  };

  HCRYPTPROV prov = 0;
  if (!CryptAcquireContextW(&prov, nullptr, nullptr, PROV_RSA_FULL, 0) &&
      !CryptAcquireContextW(&prov, nullptr, nullptr, PROV_RSA_FULL, CRYPT_NEWKEYSET)) {
    // Without a context none of the later steps can run.
    failed(u"Could not create a new key container");
    return result;
  }

  BYTE name[kContainerNameBytes];
  DWORD nameSize = sizeof name;
  if (!CryptGetProvParam(prov, PP_CONTAINER, name, &nameSize, 0)) failed(u"Error getting key container name");

  const KeyStep steps[] = {
      {AT_SIGNATURE, u"Error creating signature key", u"Error getting signature key (NTE_NO_KEY)"},
      {AT_KEYEXCHANGE, u"Error creating exchange key", u"Error Occur (not NTE_NO_KEY)"},
  };
  for (const KeyStep& step : steps) {
    HCRYPTKEY key = 0;
    if (!CryptGetUserKey(prov, step.spec, &key)) {
      key = 0;
      if (::GetLastError() != NTE_NO_KEY) failed(step.getFailed);
      else if (!CryptGenKey(prov, step.spec, 0, &key)) {
        key = 0;
        failed(step.createFailed);
      }
    }
    if (key && !CryptDestroyKey(key)) failed(u"Error during CryptDestroyKey");
  }

  if (!CryptReleaseContext(prov, 0)) failed(u"Error during CryptReleaseContext");
  return result;
}

bool CCryptoContext::hashToHex(const void* data, DWORD size, LPWSTR output, DWORD outputBytes) {
  if (!output || outputBytes < kHexTextBytes) return false;
  std::memset(output, 0, outputBytes);
  if (!m_acquired || (!data && size)) return false;
  HCRYPTHASH hash = 0;
  if (!CryptCreateHash(m_provider, CALG_MD5, 0, 0, &hash)) return false;
  BYTE digest[kMd5Size];
  DWORD digestSize = sizeof digest;
  bool ok = CryptHashData(hash, static_cast<const BYTE*>(data), size, 0) &&
            CryptGetHashParam(hash, HP_HASHVAL, digest, &digestSize, 0) && digestSize == kMd5Size;
  CryptDestroyHash(hash);
  if (!ok) return false;
  static const char16_t kDigits[] = u"0123456789ABCDEF";
  for (DWORD i = 0; i < kMd5Size; ++i) {
    output[2 * i] = kDigits[digest[i] >> 4];
    output[2 * i + 1] = kDigits[digest[i] & 15];
  }
  return true;
}

CString CCryptoContext::errorText(DWORD code) {
  for (const auto& e : kErrorTexts)
    if (e.code == code) return CString(e.text);
  CString text;
  text.Format(u"Unknown error: %ld (0x%x).", static_cast<LONG>(code), code);
  return text;
}

void CCryptoContext::reportError(bool useLastError, DWORD code, LPCWSTR caption) {
  if (useLastError) {
    code = ::GetLastError();
    m_lastError = code;
  }
  if (code == 0) return;
  CString text = errorText(code);
  CString title = caption && *caption ? CString(caption) : CString(u"CryptoAPI Error");
  // Like every standard box of the program: system-modal and written to the log.
  writeLogText(text);
  showMessageBox(nullptr, text, title, MB_OK | MB_SYSTEMMODAL);
}

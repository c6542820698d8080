// CCryptoContext: one CryptoAPI provider context for the life of a local object, and the MD5
// digest of a byte block as 32 upper-case hexadecimal digits (the customization file's integrity
// hash is this text). When the context cannot be acquired it sets up the user's default key
// container once; CryptoAPI failures are shown in message boxes with fixed English texts.
#pragma once

#include "platform/afx/cstring.h"
#include "platform/base/types.h"
#include "platform/win32/crypt.h"

class CCryptoContext {
 public:
  // The provider the customization file hashes with.
  static constexpr const char16_t* kBaseProvider = MS_DEF_PROV_W;
  // Digest text: 32 digits and a NUL, in bytes.
  static constexpr DWORD kHexTextBytes = 33 * sizeof(WCHAR);

  CCryptoContext(LPCWSTR container, LPCWSTR provider, DWORD providerType, DWORD flags);
  ~CCryptoContext();
  CCryptoContext(const CCryptoContext&) = delete;
  CCryptoContext& operator=(const CCryptoContext&) = delete;

  bool isAcquired() const { return m_acquired != 0; }
  DWORD getLastError() const { return m_lastError; }

  // MD5 of the data as 32 upper-case hexadecimal digits ("%02X" per digest byte) and a NUL. The
  // output size is in bytes; a buffer smaller than kHexTextBytes is refused and left untouched.
  // Otherwise the whole buffer is zeroed first, so a failure leaves it empty.
  bool hashToHex(const void* data, DWORD size, LPWSTR output, DWORD outputBytes);

  // Sets up the user's default key container of PROV_RSA_FULL with a signature and an exchange
  // key pair; 0 on success, else the error code of the last failed step (each one reported).
  DWORD createDefaultKeys();

  // Shows the box for GetLastError (also stored as the last error) or for `code`; nothing for
  // code 0. The caption defaults to "CryptoAPI Error".
  void reportError(bool useLastError, DWORD code, LPCWSTR caption);

  // The box text for a CryptoAPI or system error code.
  static CString errorText(DWORD code);

 private:
  BOOL m_acquired = FALSE;
  HCRYPTPROV m_provider = 0;
  DWORD m_lastError = 0;
};

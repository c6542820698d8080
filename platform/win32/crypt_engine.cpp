// The CryptoAPI's helper library (crypt_engine.h): MD5 and RSA key generation over libcrypto.
#include "platform/win32/crypt_engine.h"

#include <openssl/evp.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>

namespace {

void* md5Begin() {
  EVP_MD_CTX* ctx = EVP_MD_CTX_new();
  if (ctx && EVP_DigestInit_ex(ctx, EVP_md5(), nullptr) != 1) {
    EVP_MD_CTX_free(ctx);
    return nullptr;
  }
  return ctx;
}

bool md5Update(void* md5, const void* data, std::size_t size) {
  return EVP_DigestUpdate(static_cast<EVP_MD_CTX*>(md5), data, size) == 1;
}

bool md5End(void* md5, unsigned char value[platform::crypt::kMd5Bytes]) {
  unsigned int size = 0;
  return EVP_DigestFinal_ex(static_cast<EVP_MD_CTX*>(md5), value, &size) == 1 && size == platform::crypt::kMd5Bytes;
}

void md5Free(void* md5) { EVP_MD_CTX_free(static_cast<EVP_MD_CTX*>(md5)); }

std::string generateRsa(unsigned bits) {
  EVP_PKEY* key = EVP_RSA_gen(bits);
  if (!key) return {};
  std::string der;
  int size = i2d_PrivateKey(key, nullptr);
  if (size > 0) {
    der.resize(static_cast<std::size_t>(size));
    auto* p = reinterpret_cast<unsigned char*>(der.data());
    if (i2d_PrivateKey(key, &p) != size) der.clear();
  }
  EVP_PKEY_free(key);
  return der;
}

}  // namespace

extern "C" const platform::crypt::Engine kipoCryptEngine{sizeof(platform::crypt::Engine), &md5Begin, &md5Update,
                                                         &md5End, &md5Free, &generateRsa};

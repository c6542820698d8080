// The table of the CryptoAPI's helper library "libkipo_crypt.so" (crypt_engine.cpp, over
// libcrypto): what crypt.cpp needs of libcrypto, loaded at the first CryptAcquireContextW as
// Windows loads a provider's library. Not for product code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform::crypt {

constexpr std::size_t kMd5Bytes = 16;

struct Engine {
  std::uint32_t size;  // sizeof(Engine), checked by the loader
  // A running MD5 computation, or null when out of memory; freed by md5Free.
  void* (*md5Begin)();
  bool (*md5Update)(void* md5, const void* data, std::size_t size);
  bool (*md5End)(void* md5, unsigned char value[kMd5Bytes]);
  void (*md5Free)(void* md5);
  // A fresh RSA private key of `bits` bits as PKCS#8 DER, or empty on failure.
  std::string (*generateRsa)(unsigned bits);
};

}  // namespace platform::crypt

extern "C" const platform::crypt::Engine kipoCryptEngine;

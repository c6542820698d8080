// The CryptoAPI calls: MD5 values of the standard vectors, the parameter size probe and its
// buffer rules, the hash's finished state, and key containers (create, open, delete, keys) as
// every process of the host sees them.
#include "platform/win32/crypt.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include "platform/base/fault.h"
#include "platform/win32/system.h"
#include "tests/support/faults.h"
#include "tests/support/test_host.h"

namespace {

constexpr BYTE kPad = 0xbd;
constexpr DWORD kSentinel = 0xdeadbeef;

std::string hex(const BYTE* data, std::size_t size) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (std::size_t i = 0; i < size; ++i) {
    out += digits[data[i] >> 4];
    out += digits[data[i] & 15];
  }
  return out;
}

using kipotest::failCall;

class Crypt : public ::testing::Test {
 protected:
  kipotest::TestHost host_;
  HCRYPTPROV verify() {
    HCRYPTPROV prov = 0;
    EXPECT_TRUE(CryptAcquireContextW(&prov, nullptr, MS_DEF_PROV_W, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT))
        << std::hex << GetLastError();
    return prov;
  }
  // MD5 of `data` hashed in the given pieces, as lower-case hex.
  std::string md5(HCRYPTPROV prov, const std::string& data, std::size_t piece) {
    HCRYPTHASH hash = 0;
    EXPECT_TRUE(CryptCreateHash(prov, CALG_MD5, 0, 0, &hash));
    for (std::size_t at = 0; at < data.size(); at += piece) {
      std::size_t n = std::min(piece, data.size() - at);
      EXPECT_TRUE(CryptHashData(hash, reinterpret_cast<const BYTE*>(data.data() + at), static_cast<DWORD>(n), 0));
    }
    BYTE value[16];
    DWORD size = sizeof value;
    EXPECT_TRUE(CryptGetHashParam(hash, HP_HASHVAL, value, &size, 0));
    EXPECT_EQ(size, 16u);
    EXPECT_TRUE(CryptDestroyHash(hash));
    return hex(value, size);
  }
};

TEST_F(Crypt, Md5OfTheStandardVectors) {
  struct Case {
    std::string data;
    const char* digest;
  } cases[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
  };
  HCRYPTPROV prov = verify();
  for (const auto& c : cases) {
    EXPECT_EQ(md5(prov, c.data, c.data.size() + 1), c.digest) << c.data;
    EXPECT_EQ(md5(prov, c.data, 7), c.digest) << c.data << " in pieces";
  }
  EXPECT_TRUE(CryptReleaseContext(prov, 0));
}

TEST_F(Crypt, HashParametersProbeTheSizeAndRefuseSmallBuffers) {
  HCRYPTPROV prov = verify();
  HCRYPTHASH hash = 0;
  ASSERT_TRUE(CryptCreateHash(prov, CALG_MD5, 0, 0, &hash));
  ASSERT_TRUE(CryptHashData(hash, reinterpret_cast<const BYTE*>("abc"), 3, 0));

  DWORD size = kSentinel;
  ASSERT_TRUE(CryptGetHashParam(hash, HP_HASHVAL, nullptr, &size, 0));
  EXPECT_EQ(size, 16u);
  // The probe leaves the hash open.
  ASSERT_TRUE(CryptHashData(hash, reinterpret_cast<const BYTE*>("d"), 1, 0));

  BYTE small[15];
  std::memset(small, kPad, sizeof small);
  size = sizeof small;
  SetLastError(0);
  EXPECT_FALSE(CryptGetHashParam(hash, HP_HASHVAL, small, &size, 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MORE_DATA));
  EXPECT_EQ(size, 16u);
  for (BYTE b : small) EXPECT_EQ(b, kPad);

  BYTE value[20];
  std::memset(value, kPad, sizeof value);
  size = sizeof value;
  ASSERT_TRUE(CryptGetHashParam(hash, HP_HASHVAL, value, &size, 0));
  EXPECT_EQ(size, 16u);
  EXPECT_EQ(hex(value, 16), "e2fc714c4727ee9395f324cd2e7f331f");  // MD5("abcd")
  for (int i = 16; i < 20; ++i) EXPECT_EQ(value[i], kPad);

  // Finished: more data is refused, the value reads the same again.
  SetLastError(0);
  EXPECT_FALSE(CryptHashData(hash, reinterpret_cast<const BYTE*>("e"), 1, 0));
  EXPECT_EQ(GetLastError(), NTE_BAD_HASH_STATE);
  BYTE again[16];
  size = sizeof again;
  ASSERT_TRUE(CryptGetHashParam(hash, HP_HASHVAL, again, &size, 0));
  EXPECT_EQ(std::memcmp(value, again, 16), 0);

  DWORD number = kSentinel;
  size = sizeof number;
  ASSERT_TRUE(CryptGetHashParam(hash, HP_HASHSIZE, reinterpret_cast<BYTE*>(&number), &size, 0));
  EXPECT_EQ(number, 16u);
  ASSERT_TRUE(CryptGetHashParam(hash, HP_ALGID, reinterpret_cast<BYTE*>(&number), &size, 0));
  EXPECT_EQ(number, CALG_MD5);
  size = 2;
  number = kSentinel;
  EXPECT_FALSE(CryptGetHashParam(hash, HP_ALGID, reinterpret_cast<BYTE*>(&number), &size, 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MORE_DATA));
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(number, kSentinel);

  EXPECT_TRUE(CryptDestroyHash(hash));
  EXPECT_TRUE(CryptReleaseContext(prov, 0));
}

TEST_F(Crypt, CallsRefuseBadArgumentsWithTheirCodes) {
  HCRYPTPROV prov = 0;
  HCRYPTHASH hash = 0;
  auto acquire = [](LPCWSTR container, LPCWSTR provider, DWORD type, DWORD flags) {
    HCRYPTPROV p = kSentinel;
    return CryptAcquireContextW(&p, container, provider, type, flags);
  };
  struct Failing {
    const char* what;
    std::function<BOOL()> call;
    DWORD error;
  };
  ASSERT_TRUE(CryptAcquireContextW(&prov, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT));
  ASSERT_TRUE(CryptCreateHash(prov, CALG_MD5, 0, 0, &hash));
  BYTE buf[16];
  DWORD size = sizeof buf;
  Failing failing[] = {
      {"type 0", [&] { return acquire(nullptr, nullptr, 0, CRYPT_VERIFYCONTEXT); }, NTE_BAD_PROV_TYPE},
      {"type 1000", [&] { return acquire(nullptr, nullptr, 1000, CRYPT_VERIFYCONTEXT); }, NTE_BAD_PROV_TYPE},
      {"type 24", [&] { return acquire(nullptr, nullptr, 24, CRYPT_VERIFYCONTEXT); }, NTE_PROV_TYPE_NOT_DEF},
      {"unknown provider",
       [&] { return acquire(nullptr, u"No Such Provider", PROV_RSA_FULL, CRYPT_VERIFYCONTEXT); },
       NTE_KEYSET_NOT_DEF},
      {"unknown flag", [&] { return acquire(nullptr, nullptr, PROV_RSA_FULL, 0x100); }, NTE_BAD_FLAGS},
      {"verify and new",
       [&] { return acquire(nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT | CRYPT_NEWKEYSET); },
       NTE_BAD_FLAGS},
      {"verify with a container",
       [&] { return acquire(u"box", nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT); }, NTE_BAD_FLAGS},
      {"sha-1", [&] { return CryptCreateHash(prov, 0x8004, 0, 0, &hash); }, NTE_BAD_ALGID},
      {"hash on a bad context", [&] { return CryptCreateHash(12345, CALG_MD5, 0, 0, &hash); }, NTE_BAD_UID},
      {"hash flags", [&] { return CryptHashData(hash, buf, 1, 0x10); }, NTE_BAD_FLAGS},
      {"bad hash", [&] { return CryptHashData(prov, buf, 1, 0); }, NTE_BAD_HASH},
      {"unknown parameter", [&] { return CryptGetHashParam(hash, 99, buf, &size, 0); }, NTE_BAD_TYPE},
      {"release flags", [&] { return CryptReleaseContext(prov, 1); }, NTE_BAD_FLAGS},
      {"release a hash handle", [&] { return CryptReleaseContext(hash, 0); }, NTE_BAD_UID},
      {"destroy a context handle", [&] { return CryptDestroyHash(prov); }, NTE_BAD_HASH},
  };
  for (auto& f : failing) {
    SetLastError(0);
    EXPECT_FALSE(f.call()) << f.what;
    EXPECT_EQ(GetLastError(), f.error) << f.what << std::hex << " got 0x" << GetLastError();
  }
  // Releasing the context ends its hashes.
  ASSERT_TRUE(CryptReleaseContext(prov, 0));
  EXPECT_FALSE(CryptHashData(hash, buf, 1, 0));
  EXPECT_EQ(GetLastError(), NTE_BAD_HASH);
  EXPECT_FALSE(CryptReleaseContext(prov, 0));
  EXPECT_EQ(GetLastError(), NTE_BAD_UID);
}

TEST_F(Crypt, KeyContainersAreCreatedOpenedAndDeletedAsOnWindows) {
  HCRYPTPROV prov = kSentinel;
  SetLastError(0);
  EXPECT_FALSE(CryptAcquireContextW(&prov, u"Kipo Test", nullptr, PROV_RSA_FULL, 0));
  EXPECT_EQ(GetLastError(), NTE_BAD_KEYSET);

  ASSERT_TRUE(CryptAcquireContextW(&prov, u"Kipo Test", nullptr, PROV_RSA_FULL, CRYPT_NEWKEYSET));
  char name[100];
  DWORD size = 0;
  ASSERT_TRUE(CryptGetProvParam(prov, PP_CONTAINER, nullptr, &size, 0));
  EXPECT_EQ(size, 10u);
  size = 5;
  EXPECT_FALSE(CryptGetProvParam(prov, PP_CONTAINER, reinterpret_cast<BYTE*>(name), &size, 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MORE_DATA));
  size = sizeof name;
  ASSERT_TRUE(CryptGetProvParam(prov, PP_CONTAINER, reinterpret_cast<BYTE*>(name), &size, 0));
  EXPECT_STREQ(name, "Kipo Test");
  EXPECT_EQ(size, 10u);

  // No keys yet; a generated key is kept with the container.
  HCRYPTKEY key = 0;
  EXPECT_FALSE(CryptGetUserKey(prov, AT_SIGNATURE, &key));
  EXPECT_EQ(GetLastError(), NTE_NO_KEY);
  ASSERT_TRUE(CryptGenKey(prov, AT_SIGNATURE, 0, &key));
  EXPECT_TRUE(CryptDestroyKey(key));
  EXPECT_FALSE(CryptDestroyKey(key));
  EXPECT_EQ(GetLastError(), NTE_BAD_KEY);
  EXPECT_TRUE(CryptReleaseContext(prov, 0));

  // Names compare without case; creating it again is refused.
  HCRYPTPROV again = 0;
  EXPECT_FALSE(CryptAcquireContextW(&again, u"KIPO TEST", nullptr, PROV_RSA_FULL, CRYPT_NEWKEYSET));
  EXPECT_EQ(GetLastError(), NTE_EXISTS);
  ASSERT_TRUE(CryptAcquireContextW(&again, u"KIPO TEST", MS_ENHANCED_PROV_W, PROV_RSA_FULL, 0));
  EXPECT_TRUE(CryptGetUserKey(again, AT_SIGNATURE, &key));
  EXPECT_TRUE(CryptDestroyKey(key));
  EXPECT_FALSE(CryptGetUserKey(again, AT_KEYEXCHANGE, &key));
  EXPECT_EQ(GetLastError(), NTE_NO_KEY);

  // Machine keysets are a namespace of their own.
  HCRYPTPROV machine = 0;
  EXPECT_FALSE(CryptAcquireContextW(&machine, u"Kipo Test", nullptr, PROV_RSA_FULL, CRYPT_MACHINE_KEYSET));
  EXPECT_EQ(GetLastError(), NTE_BAD_KEYSET);

  // Deleted while a context is open: its key calls fail, and opening fails.
  ASSERT_TRUE(CryptAcquireContextW(&prov, u"Kipo Test", nullptr, PROV_RSA_FULL, CRYPT_DELETEKEYSET));
  EXPECT_EQ(prov, 0u);
  EXPECT_FALSE(CryptGetUserKey(again, AT_SIGNATURE, &key));
  EXPECT_EQ(GetLastError(), NTE_BAD_KEYSET);
  EXPECT_TRUE(CryptReleaseContext(again, 0));
  EXPECT_FALSE(CryptAcquireContextW(&prov, u"Kipo Test", nullptr, PROV_RSA_FULL, CRYPT_DELETEKEYSET));
  EXPECT_EQ(GetLastError(), NTE_BAD_KEYSET);
  EXPECT_FALSE(CryptAcquireContextW(&prov, u"Kipo Test", nullptr, PROV_RSA_FULL, 0));
  EXPECT_EQ(GetLastError(), NTE_BAD_KEYSET);
}

TEST_F(Crypt, TheDefaultContainerIsNamedForTheUser) {
  HCRYPTPROV prov = 0;
  EXPECT_FALSE(CryptAcquireContextW(&prov, nullptr, nullptr, PROV_RSA_FULL, 0));
  EXPECT_EQ(GetLastError(), NTE_BAD_KEYSET);
  ASSERT_TRUE(CryptAcquireContextW(&prov, nullptr, nullptr, PROV_RSA_FULL, CRYPT_NEWKEYSET));
  char name[100];
  DWORD size = sizeof name;
  ASSERT_TRUE(CryptGetProvParam(prov, PP_CONTAINER, reinterpret_cast<BYTE*>(name), &size, 0));
  char16_t user[64];
  DWORD userSize = 64;
  ASSERT_TRUE(GetUserNameW(user, &userSize));
  EXPECT_EQ(std::u16string(user), std::u16string(name, name + size - 1));
  EXPECT_TRUE(CryptReleaseContext(prov, 0));
  EXPECT_TRUE(CryptAcquireContextW(&prov, nullptr, nullptr, PROV_RSA_FULL, 0));
  EXPECT_TRUE(CryptReleaseContext(prov, 0));
}

TEST_F(Crypt, InjectedFaultsFailTheCall) {
  HCRYPTPROV prov = verify();
  auto id = failCall("CryptCreateHash", NTE_NO_MEMORY, {}, 1, 1);
  HCRYPTHASH hash = 0;
  EXPECT_FALSE(CryptCreateHash(prov, CALG_MD5, 0, 0, &hash));
  EXPECT_EQ(GetLastError(), NTE_NO_MEMORY);
  EXPECT_TRUE(CryptCreateHash(prov, CALG_MD5, 0, 0, &hash));
  platform::fault::removeLocal(id);
  EXPECT_TRUE(CryptDestroyHash(hash));
  EXPECT_TRUE(CryptReleaseContext(prov, 0));
}

TEST_F(Crypt, ErrorTextsOfFormatMessage) {
  char16_t buf[128];
  struct Case {
    DWORD code;
    const char16_t* text;
  } cases[] = {
      {NTE_BAD_KEYSET, u"Keyset does not exist\r\n"},
      {NTE_EXISTS, u"Object already exists.\r\n"},
      {NTE_BAD_ALGID, u"Invalid algorithm specified.\r\n"},
  };
  for (const auto& c : cases) {
    DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, c.code, 0, buf, 128, nullptr);
    ASSERT_GT(n, 0u) << std::hex << c.code;
    EXPECT_EQ(std::u16string(buf, n), c.text);
  }
}

}  // namespace

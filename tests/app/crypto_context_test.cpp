// CCryptoContext: the MD5 digest text (standard vectors, upper case, buffer sizes), the default
// key container set up when the context cannot be acquired, and the CryptoAPI error boxes.
#include "app/crypto_context.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/base/fault.h"
#include "tests/support/faults.h"
#include "tests/app/app_fixture.h"

namespace {

using apptest::AppTest;
constexpr char16_t kPad = 0xbdbd;

using Crypto = AppTest;

using kipotest::failCall;

std::string hexOf(CCryptoContext& context, const std::string& data) {
  char16_t out[41];
  if (!context.hashToHex(data.data(), static_cast<DWORD>(data.size()), out, sizeof out)) return "failed";
  return platform::text::toUtf8(out);
}

TEST_F(Crypto, DigestTextIsUpperCaseMd5) {
  CCryptoContext context(nullptr, CCryptoContext::kBaseProvider, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT);
  ASSERT_TRUE(context.isAcquired());
  struct Case {
    std::string data;
    const char* text;
  } cases[] = {
      {"", "D41D8CD98F00B204E9800998ECF8427E"},
      {"abc", "900150983CD24FB0D6963F7D28E17F72"},
      {"message digest", "F96B697D7CB7938D525A2F31AAF161D0"},
      {std::string("\0\xff", 2), "D07D34EFAC6328007AD67C7E0A985E00"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "D174AB98D277D9F5A5611C2C9F419D9F"},
  };
  for (const auto& c : cases) EXPECT_EQ(hexOf(context, c.data), c.text) << c.data;
  std::string binary(100000, '\0');
  for (std::size_t i = 0; i < binary.size(); ++i) binary[i] = static_cast<char>(i * 7 + (i >> 8));
  EXPECT_EQ(hexOf(context, binary), "2DC29E5BABF440DB9204914BCBE05FBF");
}

TEST_F(Crypto, BuffersTooSmallForTheTextAreLeftAlone) {
  CCryptoContext context(nullptr, CCryptoContext::kBaseProvider, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT);
  struct Case {
    DWORD bytes;
    bool ok;
  } cases[] = {{0, false}, {40, false}, {41, false}, {64, false}, {65, false}, {66, true}, {67, true}, {82, true}};
  for (const auto& c : cases) {
    std::vector<char16_t> out(48, kPad);
    EXPECT_EQ(context.hashToHex("abc", 3, out.data(), c.bytes), c.ok) << c.bytes;
    if (!c.ok) {
      for (char16_t ch : out) ASSERT_EQ(ch, kPad) << c.bytes << " bytes: nothing may be written";
      continue;
    }
    EXPECT_EQ(std::u16string(out.data()), u"900150983CD24FB0D6963F7D28E17F72");
    // The whole buffer given is zeroed past the text, and nothing beyond it is touched.
    for (DWORD i = 33; i < c.bytes / 2; ++i) EXPECT_EQ(out[i], 0) << c.bytes;
    for (DWORD i = (c.bytes + 1) / 2; i < out.size(); ++i) EXPECT_EQ(out[i], kPad) << c.bytes;
  }
  EXPECT_TRUE(boxes.empty());
}

TEST_F(Crypto, AFailedHashLeavesAnEmptyText) {
  CCryptoContext context(nullptr, CCryptoContext::kBaseProvider, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT);
  auto id = failCall("CryptHashData", NTE_FAIL);
  std::vector<char16_t> out(41, kPad);
  EXPECT_FALSE(context.hashToHex("abc", 3, out.data(), 82));
  platform::fault::removeLocal(id);
  for (char16_t ch : out) EXPECT_EQ(ch, 0);
  EXPECT_TRUE(boxes.empty()) << "hashing reports nothing";
}

TEST_F(Crypto, AnUnusableProviderSetsUpTheDefaultContainerOnce) {
  // The named provider does not exist: the default container is set up, the second attempt fails
  // as well, and the object holds no context.
  CCryptoContext context(nullptr, u"No Such Provider", PROV_RSA_FULL, CRYPT_VERIFYCONTEXT);
  EXPECT_FALSE(context.isAcquired());
  char16_t out[41];
  EXPECT_FALSE(context.hashToHex("abc", 3, out, sizeof out));
  EXPECT_TRUE(boxes.empty());

  HCRYPTPROV prov = 0;
  ASSERT_TRUE(CryptAcquireContextW(&prov, nullptr, nullptr, PROV_RSA_FULL, 0)) << "the default container exists";
  for (DWORD spec : {AT_SIGNATURE, AT_KEYEXCHANGE}) {
    HCRYPTKEY key = 0;
    EXPECT_TRUE(CryptGetUserKey(prov, spec, &key)) << spec;
    CryptDestroyKey(key);
  }
  CryptReleaseContext(prov, 0);

  // Set up again: the keys are there already, nothing fails.
  CCryptoContext again(nullptr, nullptr, PROV_RSA_FULL, 0);
  EXPECT_TRUE(again.isAcquired());
  EXPECT_EQ(again.createDefaultKeys(), 0u);
  EXPECT_TRUE(boxes.empty());
}

TEST_F(Crypto, AFailedSetUpIsReportedStepByStep) {
  createLog();
  auto id = failCall("CryptAcquireContextW", NTE_PROVIDER_DLL_FAIL);
  CCryptoContext context(nullptr, CCryptoContext::kBaseProvider, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT);
  platform::fault::removeLocal(id);
  EXPECT_FALSE(context.isAcquired());
  EXPECT_EQ(context.getLastError(), NTE_PROVIDER_DLL_FAIL);
  const char* dllText =
      "The provider DLL file could not be loaded, and may not exist. If it exists, then the file is not a valid DLL.";
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(utf8(boxes[0].caption), "Could not create a new key container");
  EXPECT_EQ(utf8(boxes[1].caption), "CryptAcquireContext Error - Failed to Create Key Container.");
  for (const auto& box : boxes) {
    EXPECT_EQ(utf8(box.text), dllText);
    EXPECT_EQ(box.owner, nullptr);
    EXPECT_EQ(box.style & MB_TYPEMASK, static_cast<UINT>(MB_OK));
  }
  EXPECT_NE(logBytes().find(std::string(dllText) + "<br>"), std::string::npos);

  // A key step that fails goes on to the next one.
  boxes.clear();
  auto gen = failCall("CryptGenKey", NTE_NO_MEMORY, {}, 1, 1);
  EXPECT_EQ(context.createDefaultKeys(), NTE_NO_MEMORY);
  platform::fault::removeLocal(gen);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(utf8(boxes[0].caption), "Error creating signature key");
  EXPECT_EQ(utf8(boxes[0].text), "The CSP ran out of memory during the operation.");
  HCRYPTPROV prov = 0;
  HCRYPTKEY key = 0;
  ASSERT_TRUE(CryptAcquireContextW(&prov, nullptr, nullptr, PROV_RSA_FULL, 0));
  EXPECT_FALSE(CryptGetUserKey(prov, AT_SIGNATURE, &key));
  EXPECT_TRUE(CryptGetUserKey(prov, AT_KEYEXCHANGE, &key));
  CryptDestroyKey(key);
  CryptReleaseContext(prov, 0);
}

TEST_F(Crypto, ErrorBoxesByCode) {
  CCryptoContext context(nullptr, CCryptoContext::kBaseProvider, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT);
  struct Case {
    DWORD code;
    const char* text;
  } cases[] = {
      {8, "The operating system ran out of memory during the operation."},
      {87, "One of the parameters contains an invalid value. This is most often an illegal pointer."},
      {NTE_EXISTS, "The dwFlags parameter is CRYPT_NEWKEYSET, but the key container already exists."},
      {NTE_BAD_KEYSET, "The Registry entry for the key container could not be opened and may not exist."},
      {NTE_BAD_KEYSET_PARAM, "The pszContainer or pszProvider parameter is set to an illegal value."},
      {0x1234, "Unknown error: 4660 (0x1234)."},
      {NTE_BAD_UID, "Unknown error: -2146893823 (0x80090001)."},
  };
  for (const auto& c : cases) {
    boxes.clear();
    context.reportError(false, c.code, nullptr);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(utf8(boxes[0].text), c.text);
    EXPECT_EQ(utf8(boxes[0].caption), "CryptoAPI Error");
  }
  boxes.clear();
  context.reportError(false, 0, u"Nothing");
  SetLastError(0);
  context.reportError(true, 87, u"Ignored code");
  EXPECT_TRUE(boxes.empty()) << "code 0 shows nothing";
  SetLastError(NTE_BAD_FLAGS);
  context.reportError(true, 0, u"Mine");
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(utf8(boxes[0].caption), "Mine");
  EXPECT_EQ(utf8(boxes[0].text), "The dwFlags parameter has an illegal value.");
  EXPECT_EQ(context.getLastError(), NTE_BAD_FLAGS);
}

}  // namespace

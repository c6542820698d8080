// The Rijndael cipher against the FIPS-197 vectors (AES-128/192/256), round trips for the wider
// Rijndael blocks, and the misuse errors.
#include "app/aes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::uint8_t> hex(const std::string& text) {
  std::vector<std::uint8_t> bytes;
  for (std::size_t i = 0; i + 1 < text.size(); i += 2) bytes.push_back(static_cast<std::uint8_t>(std::stoi(text.substr(i, 2), nullptr, 16)));
  return bytes;
}

struct Vector {
  const char* name;
  const char* key;
  const char* plain;
  const char* cipher;
};

// FIPS-197 appendix B and appendix C.1 to C.3.
const Vector kFipsVectors[] = {
    {"B", "2b7e151628aed2a6abf7158809cf4f3c", "3243f6a8885a308d313198a2e0370734", "3925841d02dc09fbdc118597196a0b32"},
    {"C.1", "000102030405060708090a0b0c0d0e0f", "00112233445566778899aabbccddeeff", "69c4e0d86a7b0430d8cdb78070b4c55a"},
    {"C.2", "000102030405060708090a0b0c0d0e0f1011121314151617", "00112233445566778899aabbccddeeff",
     "dda97ca4864cdfe06eaf70a0ec0d7191"},
    {"C.3", "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f", "00112233445566778899aabbccddeeff",
     "8ea2b7ca516745bfeafc49904b496089"},
};

TEST(Rijndael, FipsVectorsEncryptAndDecrypt) {
  for (const Vector& v : kFipsVectors) {
    SCOPED_TRACE(v.name);
    const auto key = hex(v.key);
    const auto plain = hex(v.plain);
    const auto cipher = hex(v.cipher);
    CEncryptionRijndael aes;
    aes.makeKey(key.data(), nullptr, static_cast<int>(key.size()), 16);
    EXPECT_EQ(aes.rounds(), static_cast<int>(key.size()) / 4 + 6);
    std::vector<std::uint8_t> out(16);
    aes.encryptBlock(plain.data(), out.data());
    EXPECT_EQ(out, cipher);
    aes.decryptBlock(cipher.data(), out.data());
    EXPECT_EQ(out, plain);
    // In place, as the field encoder uses it.
    std::vector<std::uint8_t> buffer = plain;
    aes.encryptBlock(buffer.data(), buffer.data());
    EXPECT_EQ(buffer, cipher);
  }
}

TEST(Rijndael, WiderBlocksRoundTripAndDiffer) {
  for (int keyLength : {16, 24, 32}) {
    for (int blockLength : {24, 32}) {
      SCOPED_TRACE(testing::Message() << keyLength << "/" << blockLength);
      std::vector<std::uint8_t> key(static_cast<std::size_t>(keyLength)), plain(static_cast<std::size_t>(blockLength));
      for (std::size_t i = 0; i < key.size(); ++i) key[i] = static_cast<std::uint8_t>(i * 7 + 1);
      for (std::size_t i = 0; i < plain.size(); ++i) plain[i] = static_cast<std::uint8_t>(i * 13);
      CEncryptionRijndael rijndael;
      rijndael.makeKey(key.data(), nullptr, keyLength, blockLength);
      EXPECT_EQ(rijndael.rounds(), std::max(keyLength, blockLength) / 4 + 6);
      std::vector<std::uint8_t> cipher(plain.size()), back(plain.size());
      rijndael.encryptBlock(plain.data(), cipher.data());
      EXPECT_NE(cipher, plain);
      rijndael.decryptBlock(cipher.data(), back.data());
      EXPECT_EQ(back, plain);
    }
  }
}

TEST(Rijndael, MisuseThrowsWithItsText) {
  std::uint8_t key[32] = {};
  std::uint8_t block[32] = {};
  auto textOf = [](auto&& call) -> std::string {
    try {
      call();
    } catch (const CRijndaelException& e) {
      return e.what();
    }
    return "no exception";
  };
  CEncryptionRijndael fresh;
  EXPECT_EQ(textOf([&] { fresh.encryptBlock(block, block); }), "Object not Initialized");
  EXPECT_EQ(textOf([&] { fresh.decryptBlock(block, block); }), "Object not Initialized");
  EXPECT_EQ(textOf([&] { fresh.makeKey(nullptr, nullptr, 16, 16); }), "Empty key");
  EXPECT_EQ(textOf([&] { fresh.makeKey(key, nullptr, 20, 16); }), "Incorrect key length");
  EXPECT_EQ(textOf([&] { fresh.makeKey(key, nullptr, 16, 8); }), "Incorrect block length");
  // A failed key setup leaves the object unusable as before.
  EXPECT_EQ(textOf([&] { fresh.encryptBlock(block, block); }), "Object not Initialized");
}

}  // namespace

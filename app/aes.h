// CEncryptionRijndael: the Rijndael block cipher (AES when blocks are 16 bytes) with keys and
// blocks of 16, 24 or 32 bytes, single-block encryption and decryption. The secure-drive layer
// uses it as AES-128 on one 16-byte block of a password field.
#pragma once

#include <array>
#include <cstdint>
#include <stdexcept>

// Thrown on misuse; what() is one of the texts below.
class CRijndaelException : public std::runtime_error {
 public:
  explicit CRijndaelException(const char* text) : std::runtime_error(text) {}
};

class CEncryptionRijndael {
 public:
  static constexpr const char* kNotInitialized = "Object not Initialized";
  static constexpr const char* kEmptyKey = "Empty key";
  static constexpr const char* kBadKeyLength = "Incorrect key length";
  static constexpr const char* kBadBlockLength = "Incorrect block length";

  // Expands `key` (keyLength bytes: 16, 24 or 32) for blocks of blockLength bytes (16, 24 or
  // 32). `chain` (blockLength bytes) is the initial chain block, kept for chained modes; null
  // means zeros.
  void makeKey(const std::uint8_t* key, const std::uint8_t* chain, int keyLength, int blockLength);

  // One block of blockSize() bytes; in and out may be the same buffer.
  void encryptBlock(const std::uint8_t* in, std::uint8_t* out) const;
  void decryptBlock(const std::uint8_t* in, std::uint8_t* out) const;

  int blockSize() const { return m_blockLength; }
  int keyLength() const { return m_keyLength; }
  int rounds() const { return m_rounds; }

 private:
  static constexpr int kMaxColumns = 8;
  static constexpr int kMaxRounds = 14;

  bool m_ready = false;
  int m_keyLength = 0;
  int m_blockLength = 0;
  int m_columns = 0;  // block columns (Nb)
  int m_rounds = 0;
  std::array<std::uint8_t, kMaxColumns * 4> m_chain{};
  // Round keys, (rounds + 1) blocks of m_columns * 4 bytes, column by column.
  std::array<std::uint8_t, (kMaxRounds + 1) * kMaxColumns * 4> m_roundKeys{};
};

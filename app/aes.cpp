// The Rijndael cipher in its plain byte-oriented form: S-box from the GF(2^8) inverse and the
// affine map, ShiftRows offsets by block width, MixColumns by xtime. Speed does not matter here
// (one block per password), clarity does.
#include "app/aes.h"

#include <algorithm>
#include <cstring>

namespace {

std::uint8_t xtime(std::uint8_t b) { return static_cast<std::uint8_t>((b << 1) ^ ((b & 0x80) ? 0x1B : 0x00)); }

std::uint8_t gmul(std::uint8_t a, std::uint8_t b) {
  std::uint8_t p = 0;
  while (b != 0) {
    if (b & 1) p ^= a;
    a = xtime(a);
    b >>= 1;
  }
  return p;
}

struct SBoxes {
  std::uint8_t forward[256];
  std::uint8_t inverse[256];
  SBoxes() {
    for (int x = 0; x < 256; ++x) {
      // The multiplicative inverse (0 maps to 0), then the affine transformation.
      std::uint8_t inv = 0;
      if (x != 0) {
        for (int y = 1; y < 256; ++y) {
          if (gmul(static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(y)) == 1) {
            inv = static_cast<std::uint8_t>(y);
            break;
          }
        }
      }
      std::uint8_t s = inv;
      for (int r = 1; r <= 4; ++r) s ^= static_cast<std::uint8_t>((inv << r) | (inv >> (8 - r)));
      s ^= 0x63;
      forward[x] = s;
      inverse[s] = static_cast<std::uint8_t>(x);
    }
  }
};

const SBoxes& sboxes() {
  static const SBoxes boxes;
  return boxes;
}

// Row r of a block of `columns` columns moves left by this many columns.
int shiftOf(int row, int columns) {
  if (row == 0) return 0;
  if (columns == 8) return row == 1 ? 1 : row + 1;  // 1, 3, 4
  return row;                                        // 1, 2, 3
}

bool validLength(int length) { return length == 16 || length == 24 || length == 32; }

}  // namespace

void CEncryptionRijndael::makeKey(const std::uint8_t* key, const std::uint8_t* chain, int keyLength,
                                  int blockLength) {
  if (key == nullptr) throw CRijndaelException(kEmptyKey);
  if (!validLength(keyLength)) throw CRijndaelException(kBadKeyLength);
  if (!validLength(blockLength)) throw CRijndaelException(kBadBlockLength);
  const SBoxes& box = sboxes();
  m_keyLength = keyLength;
  m_blockLength = blockLength;
  m_columns = blockLength / 4;
  const int keyWords = keyLength / 4;
  m_rounds = std::max(keyWords, m_columns) + 6;
  m_chain.fill(0);
  if (chain != nullptr) std::memcpy(m_chain.data(), chain, static_cast<std::size_t>(blockLength));

  const int totalWords = m_columns * (m_rounds + 1);
  std::uint8_t* w = m_roundKeys.data();
  std::memcpy(w, key, static_cast<std::size_t>(keyLength));
  std::uint8_t rcon = 1;
  for (int i = keyWords; i < totalWords; ++i) {
    std::uint8_t t[4];
    std::memcpy(t, w + (i - 1) * 4, 4);
    if (i % keyWords == 0) {
      const std::uint8_t first = t[0];
      t[0] = static_cast<std::uint8_t>(box.forward[t[1]] ^ rcon);
      t[1] = box.forward[t[2]];
      t[2] = box.forward[t[3]];
      t[3] = box.forward[first];
      rcon = xtime(rcon);
    } else if (keyWords > 6 && i % keyWords == 4) {
      for (std::uint8_t& b : t) b = box.forward[b];
    }
    for (int k = 0; k < 4; ++k) w[i * 4 + k] = static_cast<std::uint8_t>(w[(i - keyWords) * 4 + k] ^ t[k]);
  }
  m_ready = true;
}

void CEncryptionRijndael::encryptBlock(const std::uint8_t* in, std::uint8_t* out) const {
  if (!m_ready) throw CRijndaelException(kNotInitialized);
  const SBoxes& box = sboxes();
  const int n = m_columns;
  std::uint8_t s[kMaxColumns * 4];
  std::uint8_t t[kMaxColumns * 4];
  const std::size_t bytes = static_cast<std::size_t>(n) * 4;
  for (std::size_t i = 0; i < bytes; ++i) s[i] = static_cast<std::uint8_t>(in[i] ^ m_roundKeys[i]);
  for (int round = 1; round <= m_rounds; ++round) {
    // SubBytes and ShiftRows together: byte (row r, column c) comes from column c + shift.
    for (int c = 0; c < n; ++c)
      for (int r = 0; r < 4; ++r) t[c * 4 + r] = box.forward[s[((c + shiftOf(r, n)) % n) * 4 + r]];
    if (round != m_rounds) {
      for (int c = 0; c < n; ++c) {
        std::uint8_t* col = t + c * 4;
        const std::uint8_t a0 = col[0], a1 = col[1], a2 = col[2], a3 = col[3];
        const std::uint8_t all = static_cast<std::uint8_t>(a0 ^ a1 ^ a2 ^ a3);
        col[0] = static_cast<std::uint8_t>(a0 ^ all ^ xtime(static_cast<std::uint8_t>(a0 ^ a1)));
        col[1] = static_cast<std::uint8_t>(a1 ^ all ^ xtime(static_cast<std::uint8_t>(a1 ^ a2)));
        col[2] = static_cast<std::uint8_t>(a2 ^ all ^ xtime(static_cast<std::uint8_t>(a2 ^ a3)));
        col[3] = static_cast<std::uint8_t>(a3 ^ all ^ xtime(static_cast<std::uint8_t>(a3 ^ a0)));
      }
    }
    const std::uint8_t* k = m_roundKeys.data() + static_cast<std::size_t>(round) * bytes;
    for (std::size_t i = 0; i < bytes; ++i) s[i] = static_cast<std::uint8_t>(t[i] ^ k[i]);
  }
  std::memcpy(out, s, bytes);
}

void CEncryptionRijndael::decryptBlock(const std::uint8_t* in, std::uint8_t* out) const {
  if (!m_ready) throw CRijndaelException(kNotInitialized);
  const SBoxes& box = sboxes();
  const int n = m_columns;
  std::uint8_t s[kMaxColumns * 4];
  std::uint8_t t[kMaxColumns * 4];
  const std::size_t bytes = static_cast<std::size_t>(n) * 4;
  const std::uint8_t* last = m_roundKeys.data() + static_cast<std::size_t>(m_rounds) * bytes;
  for (std::size_t i = 0; i < bytes; ++i) s[i] = static_cast<std::uint8_t>(in[i] ^ last[i]);
  for (int round = m_rounds - 1; round >= 0; --round) {
    // Inverse ShiftRows and SubBytes: byte (r, c + shift) goes back to (r, c).
    for (int c = 0; c < n; ++c)
      for (int r = 0; r < 4; ++r) t[((c + shiftOf(r, n)) % n) * 4 + r] = box.inverse[s[c * 4 + r]];
    const std::uint8_t* k = m_roundKeys.data() + static_cast<std::size_t>(round) * bytes;
    for (std::size_t i = 0; i < bytes; ++i) t[i] = static_cast<std::uint8_t>(t[i] ^ k[i]);
    if (round != 0) {
      for (int c = 0; c < n; ++c) {
        std::uint8_t* col = t + c * 4;
        const std::uint8_t a0 = col[0], a1 = col[1], a2 = col[2], a3 = col[3];
        col[0] = static_cast<std::uint8_t>(gmul(a0, 14) ^ gmul(a1, 11) ^ gmul(a2, 13) ^ gmul(a3, 9));
        col[1] = static_cast<std::uint8_t>(gmul(a0, 9) ^ gmul(a1, 14) ^ gmul(a2, 11) ^ gmul(a3, 13));
        col[2] = static_cast<std::uint8_t>(gmul(a0, 13) ^ gmul(a1, 9) ^ gmul(a2, 14) ^ gmul(a3, 11));
        col[3] = static_cast<std::uint8_t>(gmul(a0, 11) ^ gmul(a1, 13) ^ gmul(a2, 9) ^ gmul(a3, 14));
      }
    }
    std::memcpy(s, t, bytes);
  }
  std::memcpy(out, s, bytes);
}

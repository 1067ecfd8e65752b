#include "file/blowfish.h"

#include <cstring>

#include "base/byte_order.h"
#include "file/blowfish_tables.h"

namespace {

std::uint32_t Feistel(const BlowfishSchedule& k, std::uint32_t x) {
  return ((k.s[0][x >> 24] + k.s[1][(x >> 16) & 0xFF]) ^ k.s[2][(x >> 8) & 0xFF]) +
         k.s[3][x & 0xFF];
}



using WordCipher = void (*)(const BlowfishSchedule&, std::uint32_t*, std::uint32_t*);

void ApplyToBlocks(const BlowfishSchedule& schedule, void* data, std::size_t blocks,
                   WordCipher cipher) {
  auto* bytes = static_cast<std::uint8_t*>(data);
  for (std::size_t i = 0; i < blocks; ++i, bytes += 8) {
    std::uint32_t left = ReadLe32(bytes);
    std::uint32_t right = ReadLe32(bytes + 4);
    cipher(schedule, &left, &right);
    WriteLe32(bytes, left);
    WriteLe32(bytes + 4, right);
  }
}

}  // namespace

void BlowfishEncryptWords(const BlowfishSchedule& k, std::uint32_t* left,
                          std::uint32_t* right) {
  std::uint32_t l = *left, r = *right;
  for (int i = 0; i < 16; i += 2) {
    l ^= k.p[i];
    r ^= Feistel(k, l);
    r ^= k.p[i + 1];
    l ^= Feistel(k, r);
  }
  *left = r ^ k.p[17];
  *right = l ^ k.p[16];
}

void BlowfishDecryptWords(const BlowfishSchedule& k, std::uint32_t* left,
                          std::uint32_t* right) {
  std::uint32_t l = *left, r = *right;
  for (int i = 17; i > 1; i -= 2) {
    l ^= k.p[i];
    r ^= Feistel(k, l);
    r ^= k.p[i - 1];
    l ^= Feistel(k, r);
  }
  *left = r ^ k.p[0];
  *right = l ^ k.p[1];
}

bool BlowfishSetKey(BlowfishSchedule* schedule, const void* key, std::size_t length) {
  if (schedule == nullptr || key == nullptr || length == 0 || length > kBlowfishMaxKeyBytes)
    return false;
  const auto* bytes = static_cast<const std::uint8_t*>(key);
  std::memcpy(schedule->p, kBlowfishInitialP, sizeof schedule->p);
  std::memcpy(schedule->s, kBlowfishInitialS, sizeof schedule->s);

  // The key bytes, cycled, are taken big-endian four at a time.
  std::size_t next = 0;
  for (std::uint32_t& word : schedule->p) {
    std::uint32_t mixed = 0;
    for (int i = 0; i < 4; ++i) {
      mixed = mixed << 8 | bytes[next];
      next = (next + 1) % length;
    }
    word ^= mixed;
  }

  std::uint32_t left = 0, right = 0;
  for (int i = 0; i < 18; i += 2) {
    BlowfishEncryptWords(*schedule, &left, &right);
    schedule->p[i] = left;
    schedule->p[i + 1] = right;
  }
  for (auto& box : schedule->s) {
    for (int i = 0; i < 256; i += 2) {
      BlowfishEncryptWords(*schedule, &left, &right);
      box[i] = left;
      box[i + 1] = right;
    }
  }
  return true;
}

void BlowfishEncipherBlocks(const BlowfishSchedule& schedule, void* data, std::size_t blocks) {
  ApplyToBlocks(schedule, data, blocks, BlowfishEncryptWords);
}

void BlowfishDecipherBlocks(const BlowfishSchedule& schedule, void* data, std::size_t blocks) {
  ApplyToBlocks(schedule, data, blocks, BlowfishDecryptWords);
}

#include "file/blowfish.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

namespace {

std::uint64_t Hex(const char* text) { return std::strtoull(text, nullptr, 16); }

void KeyBytes(std::uint64_t key, std::uint8_t* bytes) {
  for (int i = 0; i < 8; ++i) bytes[i] = static_cast<std::uint8_t>(key >> (56 - 8 * i));
}

struct Vector {
  const char* key;
  const char* plain;
  const char* cipher;
};

// Published test vectors for the cipher with 8-byte keys; the words are
// big-endian in the published form.
const Vector kVectors[] = {
    {"0000000000000000", "0000000000000000", "4EF997456198DD78"},
    {"FFFFFFFFFFFFFFFF", "FFFFFFFFFFFFFFFF", "51866FD5B85ECB8A"},
    {"3000000000000000", "1000000000000001", "7D856F9A613063F2"},
    {"1111111111111111", "1111111111111111", "2466DD878B963C9D"},
    {"0123456789ABCDEF", "1111111111111111", "61F9C3802281B096"},
    {"1111111111111111", "0123456789ABCDEF", "7D0CC630AFDA1EC7"},
    {"FEDCBA9876543210", "0123456789ABCDEF", "0ACEAB0FC6A0A28D"},
};

TEST(Blowfish, PublishedVectorsBothWays) {
  for (const Vector& v : kVectors) {
    SCOPED_TRACE(v.key);
    std::uint8_t key[8];
    KeyBytes(Hex(v.key), key);
    BlowfishSchedule schedule;
    ASSERT_TRUE(BlowfishSetKey(&schedule, key, sizeof key));

    const std::uint64_t plain = Hex(v.plain), cipher = Hex(v.cipher);
    std::uint32_t left = static_cast<std::uint32_t>(plain >> 32);
    std::uint32_t right = static_cast<std::uint32_t>(plain);
    BlowfishEncryptWords(schedule, &left, &right);
    EXPECT_EQ((std::uint64_t{left} << 32) | right, cipher);
    BlowfishDecryptWords(schedule, &left, &right);
    EXPECT_EQ((std::uint64_t{left} << 32) | right, plain);
  }
}

// Short keys are cycled; empty and overlong ones are refused.
TEST(Blowfish, KeysFromOneByteToTheLongest) {
  // One byte of the published variable-length key series.
  const std::uint8_t key[] = {0xF0};
  BlowfishSchedule schedule;
  ASSERT_TRUE(BlowfishSetKey(&schedule, key, 1));
  std::uint32_t left = 0xFEDCBA98, right = 0x76543210;
  BlowfishEncryptWords(schedule, &left, &right);
  EXPECT_EQ(left, 0xF9AD597Cu);
  EXPECT_EQ(right, 0x49DB005Eu);

  schedule = {};
  const std::uint8_t zeros[kBlowfishMaxKeyBytes + 1] = {};
  EXPECT_FALSE(BlowfishSetKey(&schedule, zeros, 0));
  EXPECT_FALSE(BlowfishSetKey(&schedule, zeros, sizeof zeros));
  EXPECT_FALSE(BlowfishSetKey(&schedule, nullptr, 8));
  EXPECT_EQ(schedule.p[0], 0u);
  EXPECT_TRUE(BlowfishSetKey(&schedule, zeros, kBlowfishMaxKeyBytes));
}

// Key 3000000000000000, plain 1000000000000001, cipher 7D856F9A613063F2:
// each 32-bit half is stored little-endian, and equal blocks encipher
// equally (no chaining).
TEST(Blowfish, BlocksUseLittleEndianHalvesWithoutChaining) {
  const std::uint8_t key[8] = {0x30};
  BlowfishSchedule schedule;
  ASSERT_TRUE(BlowfishSetKey(&schedule, key, 8));
  const std::uint8_t plain[8] = {0, 0, 0, 0x10, 1, 0, 0, 0};
  const std::uint8_t cipher[8] = {0x9A, 0x6F, 0x85, 0x7D, 0xF2, 0x63, 0x30, 0x61};
  std::uint8_t data[16];
  std::memcpy(data, plain, 8);
  std::memcpy(data + 8, plain, 8);
  BlowfishEncipherBlocks(schedule, data, 2);
  EXPECT_EQ(std::memcmp(data, cipher, 8), 0);
  EXPECT_EQ(std::memcmp(data + 8, cipher, 8), 0);
  BlowfishDecipherBlocks(schedule, data, 2);
  EXPECT_EQ(std::memcmp(data, plain, 8), 0);
  EXPECT_EQ(std::memcmp(data + 8, plain, 8), 0);
}

}  // namespace

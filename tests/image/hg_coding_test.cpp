// The shared HG pixel coding: bit reader, gamma numbers, zero runs, planes
// and the row mapping.
#include "image/hg_bit_reader.h"
#include "image/hg_planes.h"
#include "support/image_test_support.h"

#include <gtest/gtest.h>

#include <random>

namespace {

using namespace qvtest;

TEST(HgBitReaderTest, ReadsGammaNumbersOfEveryLength) {
  // 1 = "1", 2 = "010", 3 = "011", 4 = "00100" as the format defines them.
  HgBitReader reader;
  const Bytes small = PackBits({1, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0, 0});
  reader.Reset(small.data(), small.size());
  EXPECT_EQ(reader.ReadGamma(), 1u);
  EXPECT_EQ(reader.ReadGamma(), 2u);
  EXPECT_EQ(reader.ReadGamma(), 3u);
  EXPECT_EQ(reader.ReadGamma(), 4u);
  EXPECT_FALSE(reader.failed());

  // Long codes take the slow path and cross refills.
  std::vector<std::uint32_t> values = {1, 63, 64, 65, 4095, 4096, 1u << 20, 0x7FFFFFFF,
                                       0x80000000u, 0xFFFFFFFFu, 5, 1};
  std::mt19937 random(7);
  for (int i = 0; i < 500; ++i) values.push_back(1 + random() % (1u << (random() % 31)));
  std::vector<int> bits;
  for (std::uint32_t v : values) AppendGamma(bits, v);
  const Bytes packed = PackBits(bits);
  reader.Reset(packed.data(), packed.size());
  for (std::uint32_t v : values) ASSERT_EQ(reader.ReadGamma(), v);
  EXPECT_FALSE(reader.failed());
}

TEST(HgBitReaderTest, FailsPastTheEndAndOnNumbersBeyond32Bits) {
  HgBitReader reader;
  const Bytes cut = PackBits({0, 0, 0, 1, 0});  // needs 7 bits, has 5 + padding zeros
  reader.Reset(cut.data(), 0);
  EXPECT_EQ(reader.ReadBit(), 0u);
  EXPECT_TRUE(reader.failed());

  const Bytes one_byte = {0x00};
  reader.Reset(one_byte.data(), one_byte.size());
  EXPECT_EQ(reader.ReadGamma(), 0u);
  EXPECT_TRUE(reader.failed());

  std::vector<int> bits(32, 0);
  bits.push_back(1);
  bits.resize(bits.size() + 32, 0);
  const Bytes huge = PackBits(bits);
  reader.Reset(huge.data(), huge.size());
  EXPECT_EQ(reader.ReadGamma(), 0u);
  EXPECT_TRUE(reader.failed());

  // A code whose value bits lie past the last byte.
  std::vector<int> partial = {0, 0, 0, 0, 0, 1, 1, 1};
  const Bytes partial_bytes = PackBits(partial);
  reader.Reset(partial_bytes.data(), partial_bytes.size());
  EXPECT_EQ(reader.ReadGamma(), 0u);
  EXPECT_TRUE(reader.failed());
}

// The byte mapping and the merge tables are pinned by the hand-made files
// of hg_fixture_test.cpp.
TEST(HgTablesTest, SplittingPadsTheLastGroupWithZeros) {
  // Splitting takes bit pairs and pads the last group with zeros: five
  // bytes; the sixth lies past the length and must not be taken.
  const std::uint8_t bytes[6] = {0xC0, 0x80, 0x40, 0x00, 0xFF, 0xFF};
  std::uint8_t planes[8] = {};
  ASSERT_EQ(HgSplitPlanes(bytes, 5, planes), 8u);
  EXPECT_EQ(Bytes(planes, planes + 8), (Bytes{0x1B, 0x03, 0x00, 0x03, 0x00, 0x03, 0x00, 0x03}));
}

// A control stream: a first bit (1: literals first), then gamma numbers.
Bytes Control(int first, const std::vector<std::uint64_t>& numbers) {
  std::vector<int> bits = {first};
  for (std::uint64_t n : numbers) AppendGamma(bits, n);
  return PackBits(bits);
}

TEST(HgZeroRunTest, EncodesALoneByteAsOneLiteralRun) {
  const std::uint8_t plane = 9;
  Bytes literals, control;
  HgEncodeZeroRuns(&plane, 1, literals, control);
  EXPECT_EQ(literals, Bytes{9});
  EXPECT_EQ(control, Control(1, {1, 1}));
}

TEST(HgZeroRunTest, RejectsRunsThatLeaveTheBuffers) {
  const Bytes literals = {1, 2};
  Bytes out(16);
  HgBitReader reader;
  auto decode = [&](const Bytes& control, std::uint64_t min_total, std::uint64_t max_total = 1000) {
    reader.Reset(control.data(), control.size());
    return HgDecodeZeroRuns(reader, literals.data(), literals.size(), out.data(), out.size(),
                            min_total, max_total);
  };
  EXPECT_EQ(decode(Control(1, {4, 3}), 0), -1);  // three literals, only two exist
  EXPECT_EQ(decode(Control(0, {4, 17}), 0), -1);  // zero run past the output
  EXPECT_EQ(decode(Control(0, {17}), 0), -1);  // total beyond the output
  EXPECT_EQ(decode(Control(0, {4, 4}), 8), -1);  // total below what the rows need
  EXPECT_EQ(decode(Control(0, {4, 4}), 0, 3), -1);  // and above what they may pad to
  EXPECT_EQ(decode(Control(0, {4, 4}), 4, 4), 4);
  EXPECT_EQ(decode(Control(0, {8, 2}), 0), -1);  // stream ends before the total is reached
}

TEST(HgZeroRunTest, EveryPairOfShortRunsAndTheCodesAroundThem) {
  // Zero runs and literal runs of 1 to 70 in every combination: pairs that
  // fit one 12-bit lookup, pairs one bit too long, and long single codes,
  // each followed by a one-literal run so that pairs start at every offset.
  std::vector<int> bits = {0};
  Bytes expected;
  Bytes literals;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> runs;
  for (std::uint32_t zeros = 1; zeros <= 70; ++zeros)
    for (std::uint32_t count = 1; count <= 70; count += (count < 8 ? 1 : 9)) runs.push_back({zeros, count});
  std::uint64_t total = 0;
  for (const auto& [zeros, count] : runs) total += zeros + count + 1 + 1;
  AppendGamma(bits, total);
  for (const auto& [zeros, count] : runs) {
    for (auto [z, n] : {std::pair{zeros, count}, std::pair{1u, 1u}}) {
      AppendGamma(bits, z);
      AppendGamma(bits, n);
      expected.insert(expected.end(), z, 0);
      for (std::uint32_t i = 0; i < n; ++i) {
        literals.push_back(static_cast<std::uint8_t>(1 + literals.size() % 255));
        expected.push_back(literals.back());
      }
    }
  }
  const Bytes control = PackBits(bits);
  HgBitReader reader;
  reader.Reset(control.data(), control.size());
  Bytes out(expected.size() + 16, 0xEE);
  ASSERT_EQ(HgDecodeZeroRuns(reader, literals.data(), literals.size(), out.data(), out.size(),
                             total, total),
            static_cast<std::int64_t>(total));
  EXPECT_EQ(Bytes(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(total)), expected);
}

TEST(HgZeroRunTest, ZerosThatEndTheTotalIgnoreTheBitsAfterThem) {
  // The last zero run reaches the total; the code after it ("1" = one
  // literal) would fit one lookup with it but is not part of the picture.
  const Bytes control = Control(0, {3, 3, 1});
  const Bytes literals;  // none: reading one would fail the decode
  HgBitReader reader;
  reader.Reset(control.data(), control.size());
  Bytes out(16, 0xEE);
  ASSERT_EQ(HgDecodeZeroRuns(reader, literals.data(), 0, out.data(), out.size(), 3, 3), 3);
  EXPECT_EQ(Bytes(out.begin(), out.begin() + 3), (Bytes{0, 0, 0}));
}

TEST(HgRowMappingTest, ChunkedMergeMatchesTheWholeBlockPath) {
  // 301 x 3-byte rows straddle the chunk borders at odd places.
  const std::uint32_t width = 301;
  const std::uint32_t height = 97;
  const std::uint32_t bpp = 3;
  const std::size_t stride = width * bpp + 1;
  const std::size_t length = (std::size_t{width} * bpp * height + 3) / 4 * 4 + 64;
  Bytes planes(length);
  std::mt19937 random(17);
  for (auto& b : planes) b = static_cast<std::uint8_t>(random());
  const HgTables tables;
  Bytes whole(stride * height, 0);
  Bytes merged(length);
  HgMergePlanes(tables, planes.data(), length, merged.data());
  HgUnmapRows(merged.data(), {whole.data(), stride, width, height, bpp, 0, height});
  Bytes chunked(stride * height, 0);
  Bytes scratch(kHgScratchSize);
  HgMergeAndUnmap(tables, planes.data(), length, scratch.data(),
                  {chunked.data(), stride, width, height, bpp, 0, height});
  EXPECT_EQ(chunked, whole);
}

}  // namespace

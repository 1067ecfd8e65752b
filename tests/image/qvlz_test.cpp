#include "image/image_qvf.h"
#include "image/qvlz.h"
#include "support/picture_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <utility>
#include <vector>

namespace qvtest {
namespace {

class QvlzTest : public ImageTest {};

// A stream with the given mode, size, flag and data bytes, laid out as the
// compressor does.
Bytes Stream(std::uint32_t mode, std::uint32_t size, const Bytes& flags, const Bytes& data) {
  Bytes out = {'Q', 'V', 'L', 'Z'};
  AppendLe32(out, mode);
  AppendLe32(out, size);
  AppendLe32(out, static_cast<std::uint32_t>(flags.size()));
  AppendLe32(out, static_cast<std::uint32_t>(data.size()));
  AppendLe32(out, 28);
  AppendLe32(out, static_cast<std::uint32_t>(28 + flags.size()));
  out.insert(out.end(), flags.begin(), flags.end());
  out.insert(out.end(), data.begin(), data.end());
  return out;
}

Bytes Decompress(const Bytes& stream) {
  const std::uint32_t size = QvlzDecompress(stream.data(), static_cast<std::uint32_t>(stream.size()),
                                            nullptr, 0, nullptr, nullptr);
  Bytes out(size);
  if (size == 0 || QvlzDecompress(stream.data(), static_cast<std::uint32_t>(stream.size()),
                                  out.data(), size, nullptr, nullptr) != size) {
    return {};
  }
  return out;
}

Bytes Compress(const Bytes& source, std::uint32_t mode) {
  const auto length = static_cast<std::uint32_t>(source.size());
  const std::uint32_t size = QvlzCompress(source.data(), length, nullptr, 0, mode, nullptr, nullptr);
  Bytes out(size);
  EXPECT_EQ(QvlzCompress(source.data(), length, out.data(), size, mode, nullptr, nullptr), size);
  return out;
}

TEST_F(QvlzTest, TokensLiteralsAndFlagBytesAsLaidOut) {
  // Three literals "abc", then token 0x0011: distance 3, length 4.
  const Bytes stream = Stream(0, 7, {0x08}, {'a', 'b', 'c', 0x11, 0x00, 0});
  const Bytes expected = {'a', 'b', 'c', 'a', 'b', 'c', 'a'};
  EXPECT_EQ(Decompress(stream), expected);
  // Eight items end with an empty flag byte.
  const Bytes source = {1, 2, 3, 4, 5, 6, 7, 8};
  const Bytes eight = Compress(source, 0);
  ASSERT_EQ(eight.size(), 28u + 2 + 9);
  // F, D (eight literals and the unwritten byte), and where each area starts.
  EXPECT_EQ(Words(eight, 12, 4), (std::vector<std::uint32_t>{2, 9, 28, 30}));
  EXPECT_EQ(eight[28], 0);
  EXPECT_EQ(eight[29], 0);
}

// The coder's rule as written, one position at a time: every position of
// the last window whose next three bytes hash alike, (b0 + 256 b1 + 65536
// b2) mod (2 x window), visited from the oldest to the newest; the first
// longest match wins, a match running into the end counts one byte less,
// and the visit stops at the longest allowed. Returns the items as
// (distance, length) or (0, literal byte).
std::vector<std::pair<std::uint32_t, std::uint32_t>> ItemsByTheRule(const Bytes& source,
                                                                    std::uint32_t mode) {
  const std::uint32_t distance_bits = 13 - mode;
  const std::uint32_t window = 1u << distance_bits;
  const std::uint32_t longest = (1u << (3 + mode)) + 2;
  const auto n = static_cast<std::uint32_t>(source.size());
  std::vector<std::uint32_t> hashes(n);
  for (std::uint32_t p = 0; p < n; ++p) {
    std::uint32_t v = 0;
    for (std::uint32_t k = 0; k < 3 && p + k < n; ++k) v += std::uint32_t{source[p + k]} << (8 * k);
    hashes[p] = v % (2 * window);
  }
  std::vector<std::pair<std::uint32_t, std::uint32_t>> items;
  std::uint32_t p = 0;
  while (p < n) {
    std::uint32_t best = 0, from = 0;
    for (std::uint32_t c = p > window ? p - window : 0; c < p; ++c) {
      if (hashes[c] != hashes[p]) continue;
      std::uint32_t k = 0;
      while (k < longest && p + k < n && source[c + k] == source[p + k]) ++k;
      if (p + k == n && k < longest) --k;
      if (k > best) {
        best = k;
        from = c;
        if (best >= longest) break;
      }
    }
    if (best >= 3) {
      items.push_back({p - from, best});
      p += best;
    } else {
      items.push_back({0, source[p]});
      p += 1;
    }
  }
  return items;
}

// The stream the format's description gives for these items.
Bytes StreamOfItems(std::uint32_t mode, std::uint32_t size,
                    const std::vector<std::pair<std::uint32_t, std::uint32_t>>& items) {
  Bytes flags(items.size() / 8 + 1, 0);
  Bytes data;
  for (std::size_t i = 0; i < items.size(); ++i) {
    const auto [distance, value] = items[i];
    if (distance == 0) {
      data.push_back(static_cast<std::uint8_t>(value));
      continue;
    }
    flags[i / 8] |= static_cast<std::uint8_t>(1u << (i % 8));
    const std::uint32_t token = (distance - 1) << (3 + mode) | (value - 3);
    data.push_back(static_cast<std::uint8_t>(token));
    data.push_back(static_cast<std::uint8_t>(token >> 8));
  }
  data.push_back(0);  // the data byte the coder counts but never writes
  return Stream(mode, size, flags, data);
}

TEST_F(QvlzTest, TheOldestOfManyEquallyLongCandidatesWins) {
  // "abcdefgh", then 120 times "abc" and a byte of its own, then "abcdefgh"
  // and "Z". Every "abc" matches 3 bytes at position 0 and at each earlier
  // copy: the oldest, position 0, is taken. The last "abcdefgh" matches 8
  // bytes at position 0 only, behind 120 newer candidates.
  Bytes source = {'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h'};
  std::vector<std::pair<std::uint32_t, std::uint32_t>> items;
  for (std::uint8_t c : source) items.push_back({0, c});
  for (std::uint32_t i = 0; i < 120; ++i) {
    items.push_back({static_cast<std::uint32_t>(source.size()), 3});
    source.insert(source.end(), {'a', 'b', 'c', static_cast<std::uint8_t>(0x80 + i)});
    items.push_back({0, 0x80 + i});
  }
  items.push_back({static_cast<std::uint32_t>(source.size()), 8});
  source.insert(source.end(), {'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 'Z'});
  items.push_back({0, 'Z'});
  EXPECT_EQ(Compress(source, 4),
            StreamOfItems(4, static_cast<std::uint32_t>(source.size()), items));
}

TEST_F(QvlzTest, EveryModeFollowsTheRuleOnStructuredData) {
  // A run of zeros, pixel-like rows, runs, repeats at every distance and near-repeats that
  // share only their first bytes: many equally long candidates, and hash
  // chains full of unrelated positions.
  std::uint32_t state = 11;
  auto next = [&] { return (state = state * 1103515245u + 12345u) >> 16; };
  Bytes source(300, 0);  // longer than the longest match of every mode
  while (source.size() < 16000) {
    const std::uint32_t kind = next() % 4;
    const std::uint32_t length = 3 + next() % 40;
    if (kind == 0 || source.size() < 64) {
      for (std::uint32_t i = 0; i < length; ++i) source.push_back(static_cast<std::uint8_t>(next() % 7));
    } else if (kind == 1) {
      const std::size_t from = source.size() - 1 - next() % std::min<std::size_t>(source.size(), 9000);
      for (std::uint32_t i = 0; i < length; ++i) source.push_back(source[from + i]);
    } else if (kind == 2) {
      source.insert(source.end(), {'a', 'b', 'c', static_cast<std::uint8_t>(next())});
    } else {
      for (std::uint32_t i = 0; i < length; ++i) source.push_back(static_cast<std::uint8_t>(i * 4));
    }
  }
  for (std::uint32_t mode = 0; mode < kQvlzModeCount; ++mode) {
    const Bytes expected =
        StreamOfItems(mode, static_cast<std::uint32_t>(source.size()), ItemsByTheRule(source, mode));
    EXPECT_EQ(Compress(source, mode), expected) << "mode " << mode;
    EXPECT_EQ(Decompress(expected), source) << "mode " << mode;
  }
}

TEST_F(QvlzTest, ProgressReportsEveryItemAndTheEnd) {
  const Bytes source(100, 9);
  std::vector<std::uint32_t> seen;
  auto record = [](std::uint32_t done, std::uint32_t total, void* user) {
    EXPECT_EQ(total, 100u);
    static_cast<std::vector<std::uint32_t>*>(user)->push_back(done);
  };
  QvlzCompress(source.data(), 100, nullptr, 0, 0, record, &seen);
  ASSERT_GE(seen.size(), 2u);
  EXPECT_EQ(seen.back(), 100u);
  EXPECT_EQ(seen[seen.size() - 2], 100u);
  EXPECT_EQ(seen.front(), 1u);  // the first literal
}

TEST_F(QvlzTest, DecompressionRefusesWhatLeavesItsBuffers) {
  const Bytes good = Stream(0, 7, {0x08}, {'a', 'b', 'c', 0x11, 0x00, 0});
  Bytes out(64);
  auto decode = [&](const Bytes& s, std::uint32_t capacity = 64) {
    return QvlzDecompress(s.data(), static_cast<std::uint32_t>(s.size()), out.data(), capacity,
                          nullptr, nullptr);
  };
  EXPECT_EQ(decode(good), 7u);
  EXPECT_EQ(decode(good, 6), 0u) << "output smaller than the stream's size";
  // A match reaching before the start of the output.
  EXPECT_EQ(decode(Stream(0, 7, {0x01}, {0x11, 0x00, 0})), 0u);
  // A match longer than what is left to produce.
  EXPECT_EQ(decode(Stream(0, 5, {0x08}, {'a', 'b', 'c', 0x11, 0x00, 0})), 0u);
  // Data bytes run out: half a token, then a missing literal.
  EXPECT_EQ(decode(Stream(0, 7, {0x08}, {'a', 'b', 'c', 0x11})), 0u);
  EXPECT_EQ(decode(Stream(0, 4, {0x00}, {'a', 'b', 'c'})), 0u);
  // Flag bytes run out after eight items.
  EXPECT_EQ(decode(Stream(0, 9, {0x00}, Bytes(10, 1))), 0u);
  // Areas outside the stream, a bad mode, a bad magic, a short header.
  for (const auto& [at, value] : {std::pair{16, 1000u}, {4, 5u}, {0, 0x584C5651u /* "QVLX" */}}) {
    Bytes bad = good;
    PutLe32(bad, at, value);
    EXPECT_EQ(decode(bad), 0u) << at;
  }
  EXPECT_EQ(QvlzDecompress(good.data(), 27, out.data(), 64, nullptr, nullptr), 0u);
  // A size no flag count can produce is refused before anything is written.
  Bytes huge = good;
  PutLe32(huge, 8, 0x7FFFFFFF);
  EXPECT_EQ(QvlzDecompress(huge.data(), static_cast<std::uint32_t>(huge.size()), nullptr, 0,
                           nullptr, nullptr),
            0u);
}

TEST_F(QvlzTest, CompressionRefusesABadModeOrTooSmallOutput) {
  const Bytes source(50, 1);
  Bytes out(1000);
  EXPECT_EQ(QvlzCompress(source.data(), 50, nullptr, 0, 5, nullptr, nullptr), 0u);
  EXPECT_EQ(QvlzCompress(nullptr, 50, nullptr, 0, 1, nullptr, nullptr), 0u);
  const std::uint32_t size = QvlzCompress(source.data(), 50, nullptr, 0, 1, nullptr, nullptr);
  EXPECT_EQ(QvlzCompress(source.data(), 50, out.data(), size - 1, 1, nullptr, nullptr), 0u);
  EXPECT_EQ(QvlzCompress(source.data(), 50, out.data(), size, 1, nullptr, nullptr), size);
  // Areas for the stream that the memory cannot hold fail the compression.
  const Bytes large(8u << 20, 0);
  MemoryCeiling ceiling(4u << 20);
  if (!ceiling.ok()) GTEST_SKIP() << "no limit on memory here";
  EXPECT_EQ(QvlzCompress(large.data(), 8u << 20, out.data(), 1000, 1, nullptr, nullptr), 0u);
}

}  // namespace
}  // namespace qvtest

#include "image/hg_planes.h"

#include <algorithm>
#include <bit>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr std::size_t kShortRun = 16;

// Bits 1-0 stay, 3-2 go to 9-8, 5-4 to 17-16, 7-6 to 25-24.
constexpr std::uint32_t Spread(std::uint32_t v) {
  return (v & 0x03) | (v & 0x0C) << 6 | (v & 0x30) << 12 | (v & 0xC0) << 18;
}

// LSB-first bit packing with Elias-gamma numbers.
class HgBitWriter {
 public:
  explicit HgBitWriter(std::vector<std::uint8_t>& out) : out_(out) {}
  void WriteBit(unsigned bit) {
    if (used_ == 0) out_.push_back(0);
    out_.back() |= static_cast<std::uint8_t>((bit & 1) << used_);
    used_ = (used_ + 1) & 7;
  }
  void WriteGamma(std::uint64_t value) {
    const int top = std::bit_width(value) - 1;
    for (int i = 0; i < top; ++i) WriteBit(0);
    WriteBit(1);
    for (int i = top - 1; i >= 0; --i) WriteBit(static_cast<unsigned>(value >> i));
  }

 private:
  std::vector<std::uint8_t>& out_;
  unsigned used_ = 0;
};

}  // namespace

HgTables::HgTables() {
  for (std::uint32_t v = 0; v < 256; ++v) {
    s6[v] = Spread(v) << 6;
    s4[v] = Spread(v) << 4;
    s2[v] = Spread(v) << 2;
    s0[v] = Spread(v);
  }
}

namespace {

std::int64_t DecodeRuns(HgBitReader& bits, const std::uint8_t* literals,
                        std::size_t literal_count, std::uint8_t* out, std::size_t capacity,
                        std::uint64_t min_total, std::uint64_t max_total) {
  const unsigned starts_with_literals = bits.ReadBit();
  std::int64_t remaining = bits.ReadGamma();
  const auto total = static_cast<std::uint64_t>(remaining);
  if (bits.failed() || total < min_total || total > max_total || total > capacity) {
    return -1;
  }
  std::size_t position = 0;
  std::size_t literal_position = 0;
  // Most runs are short: they are moved 16 bytes at a time where both
  // buffers have that much room, which beats a library call per run.
  auto copy_literals = [&](std::uint32_t n) {
    if (n > capacity - position || n > literal_count - literal_position) return false;
    if (n <= kShortRun && capacity - position >= kShortRun &&
        literal_count - literal_position >= kShortRun) {
      std::memcpy(out + position, literals + literal_position, kShortRun);
    } else {
      std::memcpy(out + position, literals + literal_position, n);
    }
    position += n;
    literal_position += n;
    remaining -= n;
    return true;
  };
  if (starts_with_literals != 0) {
    const std::uint32_t n = bits.ReadGamma();
    if (bits.failed() || !copy_literals(n)) return -1;
  }
  while (remaining > 0) {
    // A zero run and the literal run after it usually come from one lookup.
    std::uint32_t zeros = 0, n = 0;
    const bool pair = bits.ReadGammaPair(&zeros, &n);
    if (!pair) zeros = bits.ReadGamma();
    if (bits.failed() || zeros > capacity - position) return -1;
    if (zeros <= kShortRun && capacity - position >= kShortRun) {
      std::memset(out + position, 0, kShortRun);
    } else {
      std::memset(out + position, 0, zeros);
    }
    position += zeros;
    remaining -= zeros;
    if (remaining < 1) break;
    if (!pair) n = bits.ReadGamma();
    if (bits.failed() || !copy_literals(n)) return -1;
  }
  return static_cast<std::int64_t>(position);
}

}  // namespace

std::int64_t HgDecodeZeroRuns(HgBitReader& reader, const std::uint8_t* literals,
                              std::size_t literal_count, std::uint8_t* out, std::size_t capacity,
                              std::uint64_t min_total, std::uint64_t max_total) {
  // A local copy cannot be touched by the byte moves below, so it stays in
  // registers.
  HgBitReader bits = reader;
  const std::int64_t result =
      DecodeRuns(bits, literals, literal_count, out, capacity, min_total, max_total);
  reader = bits;
  return result;
}

#if defined(__SSE2__)
namespace {

// Output byte k of 16 groups: bits 2k+1..2k of each plane, packed.
inline __m128i GatherPairs(__m128i p0, __m128i p1, __m128i p2, __m128i p3, int k) {
  const __m128i three = _mm_set1_epi8(3);
  const __m128i shift = _mm_cvtsi32_si128(2 * k);
  // 16-bit shifts are safe here: the mask keeps bits that stay in their byte.
  const __m128i a = _mm_and_si128(_mm_srl_epi16(p0, shift), three);
  const __m128i b = _mm_and_si128(_mm_srl_epi16(p1, shift), three);
  const __m128i c = _mm_and_si128(_mm_srl_epi16(p2, shift), three);
  const __m128i d = _mm_and_si128(_mm_srl_epi16(p3, shift), three);
  return _mm_or_si128(_mm_or_si128(_mm_slli_epi16(a, 6), _mm_slli_epi16(b, 4)),
                      _mm_or_si128(_mm_slli_epi16(c, 2), d));
}

// Merges 16 groups (64 output bytes) at once; returns how many groups.
std::size_t MergeWide(const std::uint8_t* p0, const std::uint8_t* p1, const std::uint8_t* p2,
                      const std::uint8_t* p3, std::size_t q, std::uint8_t* out) {
  std::size_t i = 0;
  for (; i + 16 <= q; i += 16) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p0 + i));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p1 + i));
    const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p2 + i));
    const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p3 + i));
    const __m128i k0 = GatherPairs(a, b, c, d, 0);
    const __m128i k1 = GatherPairs(a, b, c, d, 1);
    const __m128i k2 = GatherPairs(a, b, c, d, 2);
    const __m128i k3 = GatherPairs(a, b, c, d, 3);
    const __m128i lo01 = _mm_unpacklo_epi8(k0, k1);
    const __m128i hi01 = _mm_unpackhi_epi8(k0, k1);
    const __m128i lo23 = _mm_unpacklo_epi8(k2, k3);
    const __m128i hi23 = _mm_unpackhi_epi8(k2, k3);
    auto* o = reinterpret_cast<__m128i*>(out + 4 * i);
    _mm_storeu_si128(o + 0, _mm_unpacklo_epi16(lo01, lo23));
    _mm_storeu_si128(o + 1, _mm_unpackhi_epi16(lo01, lo23));
    _mm_storeu_si128(o + 2, _mm_unpacklo_epi16(hi01, hi23));
    _mm_storeu_si128(o + 3, _mm_unpackhi_epi16(hi01, hi23));
  }
  return i;
}

// Unmaps 16 bytes at a time and adds the row below; returns how many bytes.
std::size_t UnmapOverWide(const std::uint8_t* bytes, const std::uint8_t* below, std::uint8_t* row,
                          std::size_t count) {
  const __m128i low7 = _mm_set1_epi8(0x7F);
  const __m128i one = _mm_set1_epi8(1);
  std::size_t i = 0;
  for (; i + 16 <= count; i += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i));
    const __m128i half = _mm_and_si128(_mm_srli_epi16(v, 1), low7);
    const __m128i odd = _mm_sub_epi8(_mm_setzero_si128(), _mm_and_si128(v, one));
    const __m128i delta = _mm_xor_si128(half, odd);
    const __m128i base = _mm_loadu_si128(reinterpret_cast<const __m128i*>(below + i));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(row + i), _mm_add_epi8(delta, base));
  }
  return i;
}

}  // namespace
#endif

void HgMergePlanes(const HgTables& tables, const std::uint8_t* planes, std::size_t length,
                   std::uint8_t* out) {
  HgMergeGroups(tables, planes, length, 0, length / 4, out);
}

void HgMergeGroups(const HgTables& tables, const std::uint8_t* planes, std::size_t length,
                   std::size_t first, std::size_t count, std::uint8_t* out) {
  const std::size_t q = length / 4;
  const std::uint8_t* p0 = planes + first;
  const std::uint8_t* p1 = planes + q + first;
  const std::uint8_t* p2 = planes + 2 * q + first;
  const std::uint8_t* p3 = planes + 3 * q + first;
  std::size_t i = 0;
#if defined(__SSE2__)
  i = MergeWide(p0, p1, p2, p3, count, out);
#endif
  for (; i < count; ++i) {
    std::uint32_t v = tables.s6[p0[i]] | tables.s4[p1[i]] | tables.s2[p2[i]] | tables.s0[p3[i]];
    if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap32(v);
    std::memcpy(out + 4 * i, &v, 4);
  }
}

void HgUnmapRows(const std::uint8_t* bytes, const HgRowTarget& t) {
  HgUnmapStretch(bytes, 0, std::size_t{t.width} * t.bytes_per_pixel * t.rows, t);
}

void HgUnmapStretch(const std::uint8_t* bytes, std::size_t begin, std::size_t count,
                    const HgRowTarget& t) {
  const std::size_t row_length = std::size_t{t.width} * t.bytes_per_pixel;
  const std::size_t b = t.bytes_per_pixel;
  std::size_t position = begin;
  const std::size_t end = begin + count;
  while (position < end) {
    const std::size_t r = position / row_length;
    std::size_t i = position % row_length;
    const std::size_t stop = std::min(row_length, i + (end - position));
    std::uint8_t* row = t.pixels + (t.height - 1 - t.first_row - r) * t.stride;
    if (r == 0) {
      for (; i < b && i < stop; ++i) row[i] = HgUnmapByte(*bytes++);
      for (; i < stop; ++i) row[i] = static_cast<std::uint8_t>(HgUnmapByte(*bytes++) + row[i - b]);
    } else {
      const std::uint8_t* below = row + t.stride;
#if defined(__SSE2__)
      const std::size_t wide = UnmapOverWide(bytes, below + i, row + i, stop - i);
      bytes += wide;
      i += wide;
#endif
      for (; i < stop; ++i) row[i] = static_cast<std::uint8_t>(HgUnmapByte(*bytes++) + below[i]);
    }
    position = r * row_length + stop;
  }
}

void HgMergeAndUnmap(const HgTables& tables, const std::uint8_t* planes, std::size_t length,
                     std::uint8_t* scratch, const HgRowTarget& target) {
  const std::size_t needed = std::size_t{target.width} * target.bytes_per_pixel * target.rows;
  for (std::size_t start = 0; start < needed; start += kHgScratchSize) {
    const std::size_t count = std::min(kHgScratchSize, needed - start);
    HgMergeGroups(tables, planes, length, start / 4, (count + 3) / 4, scratch);
    HgUnmapStretch(scratch, start, count, target);
  }
}

void HgMapRows(const HgRowTarget& t, std::uint32_t source_bpp, std::uint8_t* bytes) {
  const std::size_t b = t.bytes_per_pixel;
  const std::size_t row_length = std::size_t{t.width} * b;
  const std::uint8_t* below = nullptr;
  auto channel = [&](const std::uint8_t* row, std::size_t i) {
    return row[(i / b) * source_bpp + i % b];
  };
  for (std::uint32_t r = 0; r < t.rows; ++r, bytes += row_length) {
    const std::uint8_t* row = t.pixels + std::size_t{t.height - 1 - t.first_row - r} * t.stride;
    for (std::size_t i = 0; i < row_length; ++i) {
      std::uint8_t reference = 0;
      if (below != nullptr) {
        reference = channel(below, i);
      } else if (i >= b) {
        reference = channel(row, i - b);
      }
      bytes[i] = HgMapByte(static_cast<std::uint8_t>(channel(row, i) - reference));
    }
    below = row;
  }
}

std::size_t HgSplitPlanes(const std::uint8_t* bytes, std::size_t length, std::uint8_t* planes) {
  const std::size_t q = (length + 3) / 4;
  for (std::size_t i = 0; i < q; ++i) {
    std::uint8_t group[4] = {};
    for (std::size_t k = 0; k < 4 && 4 * i + k < length; ++k) group[k] = bytes[4 * i + k];
    for (unsigned plane = 0; plane < 4; ++plane) {
      const unsigned shift = 6 - 2 * plane;
      std::uint8_t v = 0;
      for (unsigned k = 0; k < 4; ++k) v |= static_cast<std::uint8_t>(((group[k] >> shift) & 3) << (2 * k));
      planes[plane * q + i] = v;
    }
  }
  return 4 * q;
}

void HgEncodeZeroRuns(const std::uint8_t* planes, std::size_t length,
                      std::vector<std::uint8_t>& literals, std::vector<std::uint8_t>& control) {
  HgBitWriter writer(control);
  if (length == 0) return;
  writer.WriteBit(planes[0] != 0 ? 1 : 0);
  writer.WriteGamma(length);
  std::size_t i = 0;
  while (i < length) {
    const bool literal = planes[i] != 0;
    const std::size_t start = i;
    while (i < length && (planes[i] != 0) == literal) ++i;
    if (literal) literals.insert(literals.end(), planes + start, planes + i);
    writer.WriteGamma(i - start);
  }
}

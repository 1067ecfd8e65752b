#include "image/hg_planes.h"

#include <cstring>

namespace {

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
    int top = 63;
    while (((value >> top) & 1) == 0) --top;
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

std::int64_t HgDecodeZeroRuns(HgBitReader& bits, const std::uint8_t* literals,
                              std::size_t literal_count, std::uint8_t* out, std::size_t capacity,
                              std::uint64_t min_total) {
  const unsigned starts_with_literals = bits.ReadBit();
  std::int64_t remaining = bits.ReadGamma();
  if (bits.failed() || static_cast<std::uint64_t>(remaining) < min_total ||
      static_cast<std::uint64_t>(remaining) > capacity) {
    return -1;
  }
  std::size_t position = 0;
  std::size_t literal_position = 0;
  auto copy_literals = [&]() {
    const std::uint32_t n = bits.ReadGamma();
    if (bits.failed() || n > capacity - position || n > literal_count - literal_position) {
      return false;
    }
    std::memcpy(out + position, literals + literal_position, n);
    position += n;
    literal_position += n;
    remaining -= n;
    return true;
  };
  if (starts_with_literals != 0 && !copy_literals()) return -1;
  while (remaining > 0) {
    const std::uint32_t zeros = bits.ReadGamma();
    if (bits.failed() || zeros > capacity - position) return -1;
    std::memset(out + position, 0, zeros);
    position += zeros;
    remaining -= zeros;
    if (remaining < 1) break;
    if (!copy_literals()) return -1;
  }
  return static_cast<std::int64_t>(position);
}

void HgMergePlanes(const HgTables& tables, const std::uint8_t* planes, std::size_t length,
                   std::uint8_t* out) {
  const std::size_t q = length / 4;
  const std::uint8_t* p0 = planes;
  const std::uint8_t* p1 = planes + q;
  const std::uint8_t* p2 = planes + 2 * q;
  const std::uint8_t* p3 = planes + 3 * q;
  for (std::size_t i = 0; i < q; ++i) {
    const std::uint32_t v = tables.s6[p0[i]] | tables.s4[p1[i]] | tables.s2[p2[i]] | tables.s0[p3[i]];
    out[4 * i + 0] = static_cast<std::uint8_t>(v);
    out[4 * i + 1] = static_cast<std::uint8_t>(v >> 8);
    out[4 * i + 2] = static_cast<std::uint8_t>(v >> 16);
    out[4 * i + 3] = static_cast<std::uint8_t>(v >> 24);
  }
}

void HgUnmapRows(const std::uint8_t* bytes, const HgRowTarget& t) {
  const std::size_t row_length = std::size_t{t.width} * t.bytes_per_pixel;
  const std::size_t b = t.bytes_per_pixel;
  std::uint8_t* below = nullptr;
  for (std::uint32_t r = 0; r < t.rows; ++r, bytes += row_length) {
    std::uint8_t* row = t.pixels + std::size_t{t.height - 1 - t.first_row - r} * t.stride;
    if (below == nullptr) {
      for (std::size_t i = 0; i < b && i < row_length; ++i) row[i] = HgUnmapByte(bytes[i]);
      for (std::size_t i = b; i < row_length; ++i) {
        row[i] = static_cast<std::uint8_t>(HgUnmapByte(bytes[i]) + row[i - b]);
      }
    } else {
      for (std::size_t i = 0; i < row_length; ++i) {
        row[i] = static_cast<std::uint8_t>(HgUnmapByte(bytes[i]) + below[i]);
      }
    }
    below = row;
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

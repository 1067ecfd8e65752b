#include "image/qvlz.h"

#include "base/byte_order.h"
#include "base/private_heap.h"
#include "util/memory.h"

#include <algorithm>
#include <cstddef>

namespace {

struct Mode {
  unsigned distance_bits;
  unsigned length_bits;
  std::uint32_t LongestMatch() const { return (std::uint32_t{1} << length_bits) + 2; }
};
constexpr Mode kModes[kQvlzModeCount] = {{13, 3}, {12, 4}, {11, 5}, {10, 6}, {9, 7}};

constexpr std::uint32_t kMinMatch = 3;
constexpr std::uint32_t kNoPosition = 0xFFFFFFFFu;

constexpr char kMagic[4] = {'Q', 'V', 'L', 'Z'};


template <typename T>
struct HeapArray {
  T* data = nullptr;
  explicit HeapArray(std::size_t count) {
    data = static_cast<T*>(PrivateAlloc(0, std::max<std::size_t>(count, 1) * sizeof(T)));
  }
  ~HeapArray() { PrivateFree(data); }
  HeapArray(const HeapArray&) = delete;
  HeapArray& operator=(const HeapArray&) = delete;
};

// The positions of the last window, in buckets by their next three bytes,
// each bucket linked from its oldest position to its newest.
//
// Only candidates whose first three bytes equal the current ones can give
// a match of 3 or more; the others can only lead to a literal, whichever
// of them is scored. Such candidates share any hash of the three bytes, so
// a well-mixed hash into 2 x window buckets, with the bytes themselves
// compared, visits exactly the candidates that count, in the coder's order
// (oldest first), and skips the unrelated positions that a hash keeping
// only a few bits of the bytes piles into one chain. Every position of the
// window is in the dictionary, so a bucket never holds more than a window
// of candidates.
class Dictionary {
 public:
  Dictionary(const std::uint8_t* source, std::uint32_t length, unsigned distance_bits)
      : source_(source), length_(length), window_(std::uint32_t{1} << distance_bits),
        hash_shift_(32 - (distance_bits + 1)), oldest_(2 * std::size_t{window_}),
        newest_(2 * std::size_t{window_}), newer_(window_) {
    if (ok()) {
      std::fill(oldest_.data, oldest_.data + 2 * std::size_t{window_}, kNoPosition);
      std::fill(newest_.data, newest_.data + 2 * std::size_t{window_}, kNoPosition);
    }
  }
  bool ok() const { return oldest_.data && newest_.data && newer_.data; }

  // Adds `position` (positions come in order, each once) and drops the
  // one that leaves the window, the oldest of all and so of its bucket.
  void Insert(std::uint32_t position) {
    if (position >= window_) {
      const std::uint32_t leaving = position - window_;
      const std::uint32_t bucket = Bucket(leaving);
      oldest_.data[bucket] = newer_.data[Slot(leaving)];
      if (oldest_.data[bucket] == kNoPosition) newest_.data[bucket] = kNoPosition;
    }
    const std::uint32_t bucket = Bucket(position);
    newer_.data[Slot(position)] = kNoPosition;
    if (newest_.data[bucket] == kNoPosition) {
      oldest_.data[bucket] = position;
    } else {
      newer_.data[Slot(newest_.data[bucket])] = position;
    }
    newest_.data[bucket] = position;
  }

  // The first longest match for `position` among the candidates, visited
  // from the oldest to the newest, and where it starts. A match that runs
  // into the end of the source counts one byte less; the visit stops once
  // `longest` is reached.
  std::uint32_t LongestMatch(std::uint32_t position, std::uint32_t longest,
                             std::uint32_t* from) const {
    const std::uint32_t available = length_ - position;
    if (available < kMinMatch) return 0;
    const std::uint32_t limit = std::min(longest, available);
    const std::uint8_t* b = source_ + position;
    std::uint32_t best = 0;
    for (std::uint32_t c = oldest_.data[Bucket(position)]; c != kNoPosition;
         c = newer_.data[Slot(c)]) {
      const std::uint8_t* a = source_ + c;
      // Only a candidate that also matches the byte behind the best so far
      // can do better; a tie keeps the older one. (best < limit here.)
      if (a[best] != b[best] || a[0] != b[0] || a[1] != b[1] || a[2] != b[2]) continue;
      std::uint32_t k = kMinMatch;
      while (k < limit && a[k] == b[k]) ++k;
      if (k == available && k < longest) --k;
      if (k > best) {
        best = k;
        *from = c;
        if (best >= longest) break;
      }
    }
    return best;
  }

 private:
  std::uint32_t Slot(std::uint32_t position) const { return position & (window_ - 1); }
  // Positions within the last two bytes have no three bytes and are never
  // asked for a match; they go to the bucket of the bytes there are.
  std::uint32_t Bucket(std::uint32_t position) const {
    std::uint32_t value = 0;
    for (std::uint32_t k = 0; k < 3 && position + k < length_; ++k) {
      value |= std::uint32_t{source_[position + k]} << (8 * k);
    }
    return (value * 0x9E3779B1u) >> hash_shift_;
  }

  const std::uint8_t* source_;
  std::uint32_t length_;
  std::uint32_t window_;
  unsigned hash_shift_;
  HeapArray<std::uint32_t> oldest_;
  HeapArray<std::uint32_t> newest_;
  HeapArray<std::uint32_t> newer_;
};

}  // namespace

std::uint32_t QvlzCompress(const void* source_bytes, std::uint32_t length, void* output,
                           std::uint32_t capacity, std::uint32_t mode, QvlzProgress progress,
                           void* user) {
  if (mode >= kQvlzModeCount || (source_bytes == nullptr && length != 0)) return 0;
  const Mode m = kModes[mode];
  const auto* source = static_cast<const std::uint8_t*>(source_bytes);
  Dictionary dictionary(source, length, m.distance_bits);
  if (!dictionary.ok()) return 0;

  // The areas are only kept when the stream is written.
  const std::uint64_t flag_area = std::uint64_t{length} / 8 + 1;
  const std::uint64_t data_area = std::uint64_t{length} + 1;
  HeapArray<std::uint8_t> flags(output != nullptr ? flag_area : 0);
  HeapArray<std::uint8_t> data(output != nullptr ? data_area : 0);
  if (output != nullptr && (flags.data == nullptr || data.data == nullptr)) return 0;
  if (output != nullptr) ZeroBytes(flags.data, static_cast<std::size_t>(flag_area));

  std::uint64_t items = 0;
  std::uint64_t data_bytes = 0;
  std::uint32_t position = 0;
  while (position < length) {
    std::uint32_t from = 0;
    const std::uint32_t match = dictionary.LongestMatch(position, m.LongestMatch(), &from);
    const bool is_token = match >= kMinMatch;
    const std::uint32_t advance = is_token ? match : 1;
    if (output != nullptr) {
      if (is_token) {
        const std::uint32_t token = (position - from - 1) << m.length_bits | (match - kMinMatch);
        flags.data[items / 8] |= static_cast<std::uint8_t>(1u << (items % 8));
        data.data[data_bytes] = static_cast<std::uint8_t>(token);
        data.data[data_bytes + 1] = static_cast<std::uint8_t>(token >> 8);
      } else {
        data.data[data_bytes] = source[position];
      }
    }
    data_bytes += is_token ? 2 : 1;
    ++items;
    for (std::uint32_t k = 0; k < advance; ++k) dictionary.Insert(position + k);
    position += advance;
    if (progress != nullptr) progress(position, length, user);
  }
  if (progress != nullptr) progress(length, length, user);

  // One flag byte more than the full ones, and one data byte more than
  // written; readers never touch the last data byte.
  const std::uint64_t flag_count = items / 8 + 1;
  const std::uint64_t data_count = data_bytes + 1;
  const std::uint64_t total = kQvlzHeaderSize + flag_count + data_count;
  if (total > 0xFFFFFFFFu) return 0;
  if (output == nullptr) return static_cast<std::uint32_t>(total);
  if (total > capacity) return 0;

  auto* out = static_cast<std::uint8_t*>(output);
  CopyBytes(out, kMagic, 4);
  WriteLe32(out + 4, mode);
  WriteLe32(out + 8, length);
  WriteLe32(out + 12, static_cast<std::uint32_t>(flag_count));
  WriteLe32(out + 16, static_cast<std::uint32_t>(data_count));
  WriteLe32(out + 20, kQvlzHeaderSize);
  WriteLe32(out + 24, static_cast<std::uint32_t>(kQvlzHeaderSize + flag_count));
  CopyBytes(out + kQvlzHeaderSize, flags.data, static_cast<std::size_t>(flag_count));
  data.data[data_bytes] = 0;
  CopyBytes(out + kQvlzHeaderSize + flag_count, data.data, static_cast<std::size_t>(data_count));
  return static_cast<std::uint32_t>(total);
}

std::uint32_t QvlzDecompress(const void* stream_bytes, std::uint32_t stream_size, void* output,
                             std::uint32_t capacity, QvlzProgress progress, void* user) {
  const auto* stream = static_cast<const std::uint8_t*>(stream_bytes);
  if (stream == nullptr || stream_size < kQvlzHeaderSize || CompareBytes(stream, kMagic, 4) != 0) {
    return 0;
  }
  const std::uint32_t mode = ReadLe32(stream + 4);
  const std::uint32_t size = ReadLe32(stream + 8);
  const std::uint32_t flag_count = ReadLe32(stream + 12);
  const std::uint32_t data_count = ReadLe32(stream + 16);
  const std::uint32_t flag_offset = ReadLe32(stream + 20);
  const std::uint32_t data_offset = ReadLe32(stream + 24);
  if (mode >= kQvlzModeCount || std::uint64_t{flag_offset} + flag_count > stream_size ||
      std::uint64_t{data_offset} + data_count > stream_size) {
    return 0;
  }
  const Mode m = kModes[mode];
  // Every flag bit stands for at most one longest match.
  if (std::uint64_t{size} > std::uint64_t{flag_count} * 8 * m.LongestMatch()) return 0;
  if (output == nullptr) return size;
  if (capacity < size) return 0;

  const std::uint8_t* flags = stream + flag_offset;
  const std::uint8_t* data = stream + data_offset;
  auto* out = static_cast<std::uint8_t*>(output);
  const std::uint32_t length_mask = (1u << m.length_bits) - 1;
  std::uint32_t produced = 0;
  std::uint32_t flag_index = 0;
  unsigned bit = 0;
  std::uint32_t data_position = 0;
  while (produced < size) {
    if (flag_index >= flag_count) return 0;
    const bool is_token = (flags[flag_index] >> bit & 1) != 0;
    if (++bit == 8) {
      bit = 0;
      ++flag_index;
    }
    if (is_token) {
      if (data_count - data_position < 2) return 0;
      const std::uint32_t token = data[data_position] | std::uint32_t{data[data_position + 1]} << 8;
      data_position += 2;
      const std::uint32_t length = (token & length_mask) + kMinMatch;
      const std::uint32_t distance = (token >> m.length_bits) + 1;
      if (distance > produced || length > size - produced) return 0;
      // Byte by byte: a match may overlap the bytes it produces.
      for (std::uint32_t k = 0; k < length; ++k, ++produced) out[produced] = out[produced - distance];
    } else {
      if (data_count - data_position < 1) return 0;
      out[produced++] = data[data_position++];
    }
    if (progress != nullptr) progress(produced, size, user);
  }
  if (progress != nullptr) progress(size, size, user);
  return size;
}

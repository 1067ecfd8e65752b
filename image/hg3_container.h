// The HG-3 container: a 12-byte file header, a chain of frames, and in each
// frame a chain of named tags. Every offset is checked against the block.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "base/byte_order.h"

inline constexpr std::size_t kHg3HeaderSize = 12;
inline constexpr std::size_t kHg3FrameHeaderSize = 8;
inline constexpr std::size_t kHg3TagHeaderSize = 16;
inline constexpr std::size_t kHg3TagNameSize = 8;
inline constexpr std::size_t kHg3StdinfoSize = 40;
inline constexpr std::size_t kHg3RowBlockHeaderSize = 24;
inline constexpr std::size_t kHg3AlphaHeaderSize = 8;

struct Hg3Tag {
  std::string_view name;
  const std::uint8_t* data;
  std::uint32_t size;
};

// The geometry record of a frame.
struct Hg3Stdinfo {
  std::uint32_t width;
  std::uint32_t height;
  std::uint32_t bits_per_pixel;
  std::uint32_t offset_x;
  std::uint32_t offset_y;
  std::uint32_t canvas_width;
  std::uint32_t canvas_height;
  std::uint32_t transparent;
  std::uint32_t base_x;
  std::uint32_t base_y;
};

// The header of one "img%04d" row block; the two zlib streams follow.
struct Hg3RowBlock {
  std::uint32_t first_row;
  std::uint32_t rows;
  std::uint32_t literal_packed;
  std::uint32_t literal_size;
  std::uint32_t control_packed;
  std::uint32_t control_size;
  const std::uint8_t* literal_stream;
  const std::uint8_t* control_stream;
};


// One frame's tags in chain order.
class Hg3Frame {
 public:
  std::uint32_t id = 0;
  std::vector<Hg3Tag> tags;

  // The first tag with exactly this name, or null.
  const Hg3Tag* Find(std::string_view name) const;
  bool ReadStdinfo(Hg3Stdinfo* info) const;
  // The row blocks "img0000", "img0001", ... up to the first missing
  // name. False when a present block does not fit its tag.
  bool CollectRowBlocks(std::vector<Hg3RowBlock>* blocks) const;
};

class Hg3File {
 public:
  Hg3File(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  bool HasMagic() const;
  bool HasValidHeaderSize() const;
  // Offset of the first frame with `id`, or 0 when the chain has none.
  std::size_t FindFrameById(std::uint32_t id) const;
  // Offset of the index-th frame, or 0 when the chain ends before.
  std::size_t FindFrameByIndex(std::uint32_t index) const;
  std::uint32_t FrameId(std::size_t offset) const { return ReadLe32(data_ + offset + 4); }
  // Reads the frame's tag chain; false when a tag leaves the block.
  bool ReadFrame(std::size_t offset, Hg3Frame* frame) const;

 private:
  // The frame after the one at `offset`, or 0.
  std::size_t NextFrame(std::size_t offset) const;

  const std::uint8_t* data_;
  std::size_t size_;
};

#include "image/image_psd.h"

#include "base/byte_order.h"
#include "base/private_heap.h"
#include "util/memory.h"

#include <algorithm>

namespace {

constexpr std::uint32_t kChannelsRead = 3;


// What the header walk learns.
struct PsdLayout {
  std::uint32_t channels = 0;
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  bool packbits = false;
  std::uint64_t pixels = 0;  // offset of the packed or raw planes
};

bool WalkHeader(const std::uint8_t* data, std::uint64_t size, PsdLayout* layout) {
  if (data == nullptr || size < 30 || data[0] != '8' || data[1] != 'B' || data[2] != 'P' ||
      data[3] != 'S') {
    return false;
  }
  const std::uint32_t mode = ReadBe16(data + 24);
  const std::uint32_t colour_data_high = ReadBe16(data + 26);
  if ((mode != 3 && mode != 8) || (colour_data_high != 0 && colour_data_high != 3)) return false;
  layout->channels = ReadBe16(data + 12);
  layout->height = ReadBe16(data + 16);
  layout->width = ReadBe16(data + 20);
  std::uint64_t position = 26;
  for (int section = 0; section < 3; ++section) {
    if (size - position < 4) return false;
    position += 4 + std::uint64_t{ReadBe32(data + position)};
    if (position > size) return false;
  }
  if (size - position < 2) return false;
  layout->packbits = ReadBe16(data + position) == 1;
  position += 2;
  if (layout->packbits) {
    const std::uint64_t counts = std::uint64_t{layout->channels} * layout->height * 2;
    if (size - position < counts) return false;
    position += counts;
  }
  layout->pixels = position;
  return true;
}

// Fills one plane from the source, continuing at *position. Bytes that
// would fall past the plane are dropped; false when the source ends first.
bool UnpackPlane(const std::uint8_t* data, std::uint64_t size, std::uint64_t* position,
                 bool packbits, std::uint8_t* plane, std::uint64_t plane_size) {
  std::uint64_t p = *position;
  if (!packbits) {
    if (size - p < plane_size) return false;
    CopyBytes(plane, data + p, static_cast<std::size_t>(plane_size));
    *position = p + plane_size;
    return true;
  }
  std::uint64_t written = 0;
  while (written < plane_size) {
    if (p >= size) return false;
    const std::uint32_t control = data[p++];
    if (control < 128) {
      const std::uint64_t count = control + 1;
      if (size - p < count) return false;
      const std::uint64_t kept = std::min(count, plane_size - written);
      CopyBytes(plane + written, data + p, static_cast<std::size_t>(kept));
      p += count;
      written += kept;
    } else {
      if (p >= size) return false;
      const std::uint64_t count = 257 - control;
      const std::uint64_t kept = std::min(count, plane_size - written);
      std::fill(plane + written, plane + written + kept, data[p++]);
      written += kept;
    }
  }
  *position = p;
  return true;
}

struct PlaneBuffer {
  std::uint8_t* data = nullptr;
  ~PlaneBuffer() { PrivateFree(data); }
};

}  // namespace

int qvImagePsd::Probe(const qvMemBlock* block) {
  PsdLayout layout;
  return block != nullptr && WalkHeader(block->data, block->size, &layout) ? 1 : 0;
}

int qvImagePsd::Load(const qvMemBlock* block, std::uint32_t) {
  PsdLayout layout;
  if (block == nullptr || !WalkHeader(block->data, block->size, &layout)) return 0;
  if (layout.width == 0 || layout.height == 0) return 0;
  if (!PixelBytes(layout.width, layout.height, 4)) return 0;
  const std::uint64_t plane_size = std::uint64_t{layout.width} * layout.height;
  // Two PackBits bytes give at most 129; refuse sizes the data cannot fill
  // before allocating for them.
  const std::uint64_t available = block->size - layout.pixels;
  const std::uint64_t most = layout.packbits ? available * 65 : available;
  if (most < plane_size * kChannelsRead) return 0;

  PlaneBuffer planes;
  planes.data = static_cast<std::uint8_t*>(PrivateAlloc(0, static_cast<std::size_t>(plane_size * kChannelsRead)));
  if (planes.data == nullptr) return 0;
  ZeroBytes(planes.data, static_cast<std::size_t>(plane_size * kChannelsRead));
  std::uint64_t position = layout.pixels;
  for (std::uint32_t c = 0; c < kChannelsRead; ++c) {
    if (!UnpackPlane(block->data, block->size, &position, layout.packbits,
                     planes.data + c * plane_size, plane_size)) {
      return 0;
    }
  }

  if (PrepareUnpadded(layout.width, layout.height, 4) == nullptr) return 0;
  const std::uint8_t* red = planes.data;
  const std::uint8_t* green = red + plane_size;
  const std::uint8_t* blue = green + plane_size;
  for (std::uint32_t y = 0; y < layout.height; ++y) {
    std::uint8_t* out = pixels_ + std::size_t{layout.height - 1 - y} * stride_;
    const std::size_t row = std::size_t{y} * layout.width;
    for (std::uint32_t x = 0; x < layout.width; ++x, out += 4) {
      out[0] = blue[row + x];
      out[1] = green[row + x];
      out[2] = red[row + x];
      out[3] = 255;
    }
  }
  ClearTransparentColour();
  return 1;
}

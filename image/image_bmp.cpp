#include "image/image_bmp.h"

#include "base/byte_order.h"
#include "base/private_heap.h"
#include "util/memory.h"

namespace {

constexpr std::uint32_t kFileHeaderSize = 14;
constexpr std::uint32_t kCoreHeaderSize = 12;


// The probe needs the bit count at offset 28; a file needs its headers.
constexpr std::uint32_t kProbedSize = 30;

// "BM" at the start of a block of at least `size` bytes.
bool HasMagic(const qvMemBlock* block, std::uint32_t size) {
  return block != nullptr && block->data != nullptr && block->size >= size &&
         block->data[0] == 'B' && block->data[1] == 'M';
}

}  // namespace

qvImageBmp::qvImageBmp() { ZeroBytes(info_, sizeof info_); }

int qvImageBmp::Probe(const qvMemBlock* block) {
  if (!HasMagic(block, kProbedSize)) return 0;
  const std::uint32_t bits = ReadLe16(block->data + 28);
  return bits == 24 || bits == 32 ? 1 : 0;
}

int qvImageBmp::Load(const qvMemBlock* block, std::uint32_t) {
  if (!HasMagic(block, kPixelOffset)) return Refuse(u"イメージのタイプが違います");
  const std::uint8_t* data = block->data;
  const std::uint32_t header_size = ReadLe32(data + kFileHeaderSize);
  if (header_size != kInfoHeaderSize && header_size != kCoreHeaderSize) {
    return Refuse(u"イメージのタイプが違います");
  }
  std::uint8_t info[kInfoHeaderSize] = {};
  if (header_size == kInfoHeaderSize) {
    CopyBytes(info, data + kFileHeaderSize, kInfoHeaderSize);
  } else {
    const std::uint8_t* core = data + kFileHeaderSize;
    WriteLe32(info, kInfoHeaderSize);
    WriteLe32(info + 4, ReadLe16(core + 4));
    WriteLe32(info + 8, ReadLe16(core + 6));
    WriteLe16(info + 12, ReadLe16(core + 8));
    WriteLe16(info + 14, ReadLe16(core + 10));
  }
  CopyBytes(info_, info, kInfoHeaderSize);
  const std::uint32_t width = ReadLe32(info + 4);
  const std::uint32_t height = ReadLe32(info + 8);
  const std::uint32_t bits = ReadLe16(info + 14);
  // A negative height marks a top-down bitmap, which is not supported.
  if (static_cast<std::int32_t>(height) < 0 || static_cast<std::int32_t>(width) <= 0 ||
      height == 0 || (bits != 24 && bits != 32)) {
    return 0;
  }
  const auto out_size = PixelBytes(width, height, 4);
  if (!out_size) return 0;
  const std::uint64_t row_bytes = std::uint64_t{width} * (bits / 8);
  const std::uint64_t in_stride = PaddedStride(width, bits / 8);
  // The last row needs no padding behind it.
  const std::uint64_t needed = in_stride * (height - 1) + row_bytes;
  if (block->size - kPixelOffset < needed) return 0;

  if (PrepareUnpadded(width, height, 4) == nullptr) return 0;
  const std::uint8_t* in = data + kPixelOffset;
  if (bits == 32) {
    CopyBytes(pixels_, in, *out_size);
    return 1;
  }
  for (std::uint32_t y = 0; y < height; ++y) {
    const std::uint8_t* s = in + y * in_stride;
    std::uint8_t* d = pixels_ + std::size_t{y} * stride_;
    for (std::uint32_t x = 0; x < width; ++x, s += 3, d += 4) {
      d[0] = s[0];
      d[1] = s[1];
      d[2] = s[2];
      d[3] = 255;
    }
  }
  return 1;
}

int qvImageBmp::Save(qvMemBlock* block, std::uint32_t, std::uint32_t, std::uint32_t,
                     std::uint32_t) {
  if (block == nullptr) return 0;
  block->Release();
  // No picture's buffer exceeds 512 MiB, so its sizes fit the signed fields.
  if (pixels_ == nullptr || (bytes_per_pixel_ != 3 && bytes_per_pixel_ != 4)) return 0;
  // Readers expect 24-bit rows padded to 4 bytes, whatever the stride.
  const std::uint64_t row_bytes = std::uint64_t{width_} * bytes_per_pixel_;
  const std::uint64_t out_stride = PaddedStride(width_, bytes_per_pixel_);
  const std::uint64_t image_size = out_stride * height_;
  const std::uint64_t file_size = image_size + kPixelOffset;
  const auto rounded = RoundedBlockLength(file_size);
  if (!rounded) return 0;
  auto* out = static_cast<std::uint8_t*>(PrivateAlloc(0, *rounded));
  if (out == nullptr) return 0;
  ZeroBytes(out, *rounded);
  out[0] = 'B';
  out[1] = 'M';
  WriteLe32(out + 2, static_cast<std::uint32_t>(file_size));
  WriteLe32(out + 10, kPixelOffset);
  std::uint8_t* info = out + kFileHeaderSize;
  WriteLe32(info, kInfoHeaderSize);
  WriteLe32(info + 4, width_);
  WriteLe32(info + 8, height_);
  WriteLe16(info + 12, 1);
  WriteLe16(info + 14, bytes_per_pixel_ * 8);
  WriteLe32(info + 20, static_cast<std::uint32_t>(image_size));
  for (std::uint32_t y = 0; y < height_; ++y) {
    CopyBytes(out + kPixelOffset + y * out_stride, pixels_ + std::size_t{y} * stride_,
              static_cast<std::size_t>(row_bytes));
  }
  block->Adopt(out, *rounded, *rounded);
  return 1;
}

#include "image/image_qvf.h"

#include "base/byte_order.h"
#include "image/qvlz.h"
#include "base/debug_log.h"
#include "base/private_heap.h"
#include "util/memory.h"

namespace {

constexpr std::uint32_t kHeaderSize = 12;
constexpr std::uint8_t kMagic[4] = {'Q', 'V', 'F', 0};


void LogSaveFailure() { DebugLogW(u"イメージの保存に失敗しました"); }

}  // namespace

int qvImageQvf::Probe(const qvMemBlock* block) {
  return block != nullptr && block->data != nullptr && block->size >= 4 &&
                 CompareBytes(block->data, kMagic, 4) == 0
             ? 1
             : 0;
}

int qvImageQvf::Load(const qvMemBlock* block, std::uint32_t) {
  if (Probe(block) == 0) return Refuse(u"イメージのタイプが違います");
  if (block->size < kHeaderSize) return 0;
  const std::uint8_t* header = block->data;
  const std::uint32_t width = ReadLe16(header + 4);
  const std::uint32_t height = ReadLe16(header + 6);
  const std::uint32_t stride = ReadLe16(header + 8);
  const std::uint32_t bpp = ReadLe16(header + 10);
  const std::uint8_t* stream = header + kHeaderSize;
  const std::uint32_t stream_size = block->size - kHeaderSize;
  const std::uint32_t size = QvlzDecompress(stream, stream_size, nullptr, 0, nullptr, nullptr);
  // The header must describe rows that lie inside the decoded buffer.
  if (size == 0 || size > kMaxPixelBytes || bpp < 1 || bpp > 4 || width == 0 || height == 0 ||
      stride < width * bpp || std::uint64_t{stride} * height > size) {
    return 0;
  }
  if (EnsureBuffer(size) == nullptr) return 0;
  if (QvlzDecompress(stream, stream_size, pixels_, buffer_size_, nullptr, nullptr) != size) {
    return 0;
  }
  buffer_size_ = size;
  SetWholePicture(width, height, bpp, stride);
  return 1;
}

int qvImageQvf::Save(qvMemBlock* block, std::uint32_t, std::uint32_t, std::uint32_t,
                     std::uint32_t) {
  if (block == nullptr) return 0;
  block->Release();
  // The header keeps 16 bits of each field; larger pictures cannot be
  // stored without losing their geometry.
  if (pixels_ == nullptr || width_ > 0xFFFF || height_ > 0xFFFF || stride_ > 0xFFFF ||
      bytes_per_pixel_ > 0xFFFF) {
    LogSaveFailure();
    return 0;
  }
  ClearTransparentColour();
  std::uint32_t best_mode = 0;
  std::uint32_t best_size = 0;
  for (std::uint32_t mode = 0; mode < kQvlzModeCount; ++mode) {
    const std::uint32_t size = QvlzCompress(pixels_, buffer_size_, nullptr, 0, mode, nullptr, nullptr);
    if (size == 0) {
      LogSaveFailure();
      return 0;
    }
    if (best_size == 0 || size < best_size) {
      best_size = size;
      best_mode = mode;
    }
  }
  const auto rounded = RoundedBlockLength(std::uint64_t{best_size} + kHeaderSize);
  if (!rounded) {
    LogSaveFailure();
    return 0;
  }
  auto* buffer = static_cast<std::uint8_t*>(PrivateAlloc(0, *rounded));
  if (buffer == nullptr) {
    LogSaveFailure();
    return 0;
  }
  ZeroBytes(buffer, *rounded);
  if (QvlzCompress(pixels_, buffer_size_, buffer + kHeaderSize, *rounded - kHeaderSize, best_mode,
                   nullptr, nullptr) == 0) {
    LogSaveFailure();
    PrivateFree(buffer);
    return 0;
  }
  CopyBytes(buffer, kMagic, 4);
  WriteLe16(buffer + 4, width_);
  WriteLe16(buffer + 6, height_);
  WriteLe16(buffer + 8, stride_);
  WriteLe16(buffer + 10, bytes_per_pixel_);
  block->Adopt(buffer, *rounded, *rounded);
  return 1;
}

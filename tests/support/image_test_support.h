// Helpers of the picture tests: a private heap per test, owning handles for
// pictures and blocks, generated pictures and hand-built HG-3 files.
#pragma once

#include "image/image.h"
#include "image/mem_block.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace qvtest {

using Bytes = std::vector<std::uint8_t>;

// Every picture test runs with the private heap in place.
class ImageTest : public ::testing::Test {
 protected:
  void SetUp() override;
};

// Holds the process's address space to what it uses now and `headroom`
// bytes more, so that a larger allocation fails as on a full memory. Only
// where the system has such a limit and no sanitizer reserves memory:
// otherwise ok() is false and nothing changes.
class MemoryCeiling {
 public:
  explicit MemoryCeiling(std::uint64_t headroom);
  ~MemoryCeiling();
  bool ok() const { return ok_; }

 private:
  bool ok_ = false;
  std::uint64_t soft_ = 0;
};

struct ImageReleaser {
  void operator()(qvImage* image) const {
    if (image != nullptr) image->Release();
  }
};
template <typename T>
using ImagePtr = std::unique_ptr<T, ImageReleaser>;

template <typename T>
ImagePtr<T> Make() {
  return ImagePtr<T>(new T);
}

// A block that owns its bytes and frees them at scope end.
struct OwnedBlock {
  qvMemBlock block;
  ~OwnedBlock() { block.Release(); }
  Bytes ToBytes() const { return Bytes(block.data, block.data + block.size); }
};

inline qvMemBlock View(const Bytes& bytes) {
  return qvMemBlock::Borrow(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
}

// The picture a T decodes of `bytes` (frame `id`), or null when it fails.
template <typename T>
ImagePtr<T> LoadAs(const Bytes& bytes, std::uint32_t id = 0) {
  auto image = Make<T>();
  const qvMemBlock block = View(bytes);
  if (image->Load(&block, id) == 0) return nullptr;
  return image;
}

// The file a T saves of a copy of `image` (at `quality` where T has one),
// or empty when the copy or the save fails.
template <typename T>
Bytes SaveAs(const qvImage& image, std::uint32_t quality = 0) {
  auto codec = Make<T>();
  if constexpr (requires { codec->SetQuality(quality); }) {
    if (quality != 0) codec->SetQuality(quality);
  }
  OwnedBlock out;
  if (codec->CopyFrom(&image) == 0 || codec->Save(&out.block, 0, 0, 0, 0) == 0) return {};
  EXPECT_LE(out.block.size, out.block.capacity);
  return out.ToBytes();
}

// Deterministic pixel contents.
enum class Pattern { kNoise, kGradient, kTransparent, kSparse };

// A blank picture of `bpp` bytes per pixel filled with `pattern`.
ImagePtr<qvImage> MakePicture(std::uint32_t width, std::uint32_t height, std::uint32_t bpp,
                              Pattern pattern, std::uint32_t seed = 1);

// Offset x and y, canvas width and height, base x and y.
std::array<std::uint32_t, 6> Geometry(const qvImage& image);

// Pixel (x, y) as blue, green, red, alpha (alpha 255 for 3 bytes).
std::uint32_t PixelAt(const qvImage& image, std::uint32_t x, std::uint32_t y);
// The picture as a viewer sees it: top row first, every pixel as blue,
// green, red, alpha (255 for 3 bytes).
Bytes Bgra(const qvImage& image);

// Bits packed least significant first, as the HG control streams store them.
Bytes PackBits(const std::vector<int>& bits);
// The Elias-gamma code of `value` (at least 1) appended to `bits`.
void AppendGamma(std::vector<int>& bits, std::uint64_t value);

Bytes ZlibCompress(const Bytes& data);
void AppendLe32(Bytes& out, std::uint32_t value);

// HG-3 files tag by tag, for the cases the writer never produces.
class Hg3Builder {
 public:
  Hg3Builder& Frame(std::uint32_t id);
  Hg3Builder& Tag(const std::string& name, const Bytes& data);
  Bytes Build() const;

 private:
  struct TagData {
    std::string name;
    Bytes data;
  };
  struct FrameData {
    std::uint32_t id;
    std::vector<TagData> tags;
  };
  std::vector<FrameData> frames_;
};

Bytes Stdinfo(std::uint32_t width, std::uint32_t height, std::uint32_t bits,
              std::uint32_t transparent = 0);
// An "img%04d" block from raw (unpacked) literal and control bytes.
Bytes RowBlock(std::uint32_t first_row, std::uint32_t rows, const Bytes& literals,
               const Bytes& control);

}  // namespace qvtest

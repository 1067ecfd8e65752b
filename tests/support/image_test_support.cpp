#include "support/image_test_support.h"

#include "base/private_heap.h"

#include <zlib.h>

#if defined(__linux__) && !defined(__SANITIZE_ADDRESS__)
#include <sys/resource.h>
#include <unistd.h>

#include <fstream>
#define QV_TEST_MEMORY_CEILING 1
#endif

namespace qvtest {

void ImageTest::SetUp() { CreatePrivateHeap(10 * 1024 * 1024); }

MemoryCeiling::MemoryCeiling(std::uint64_t headroom) {
#ifdef QV_TEST_MEMORY_CEILING
  std::uint64_t pages = 0;
  rlimit limit{};
  if (!(std::ifstream("/proc/self/statm") >> pages) || getrlimit(RLIMIT_AS, &limit) != 0) return;
  soft_ = limit.rlim_cur;
  const std::uint64_t ceiling = pages * static_cast<std::uint64_t>(sysconf(_SC_PAGESIZE)) + headroom;
  if (ceiling > limit.rlim_max) return;
  limit.rlim_cur = ceiling;
  ok_ = setrlimit(RLIMIT_AS, &limit) == 0;
#else
  (void)headroom;
#endif
}

MemoryCeiling::~MemoryCeiling() {
#ifdef QV_TEST_MEMORY_CEILING
  rlimit limit{};
  if (ok_ && getrlimit(RLIMIT_AS, &limit) == 0) {
    limit.rlim_cur = soft_;
    setrlimit(RLIMIT_AS, &limit);
  }
#endif
}

ImagePtr<qvImage> MakePicture(std::uint32_t width, std::uint32_t height, std::uint32_t bpp,
                              Pattern pattern, std::uint32_t seed) {
  auto image = Make<qvImage>();
  EXPECT_EQ(image->CreateBlank(width, height, bpp), 1);
  std::uint32_t state = seed * 2654435761u + 1;
  auto next = [&state] {
    state = state * 1664525u + 1013904223u;
    return static_cast<std::uint8_t>(state >> 24);
  };
  for (std::uint32_t y = 0; y < height; ++y) {
    std::uint8_t* p = image->GetPixelAddress(0, y);
    for (std::uint32_t x = 0; x < width; ++x, p += bpp) {
      for (std::uint32_t c = 0; c < bpp; ++c) {
        switch (pattern) {
          case Pattern::kNoise: p[c] = next(); break;
          case Pattern::kGradient:
            p[c] = static_cast<std::uint8_t>(c == 3 ? 255 - x : x * 3 + y * 5 + c * 40);
            break;
          case Pattern::kTransparent: p[c] = 0; break;
          case Pattern::kSparse: p[c] = (next() < 16) ? next() : 0; break;
        }
      }
    }
  }
  return image;
}

std::array<std::uint32_t, 6> Geometry(const qvImage& image) {
  std::array<std::uint32_t, 6> out{};
  image.GetOffset(&out[0], &out[1]);
  image.GetCanvasSize(&out[2], &out[3]);
  image.GetBase(&out[4], &out[5]);
  return out;
}

std::uint32_t PixelAt(const qvImage& image, std::uint32_t x, std::uint32_t y) {
  const std::uint8_t* p = image.GetPixelAddress(x, y);
  const std::uint32_t alpha = image.GetBytesPerPixel() == 4 ? p[3] : 255;
  return p[0] | p[1] << 8 | p[2] << 16 | alpha << 24;
}

Bytes Bgra(const qvImage& image) {
  Bytes out;
  for (std::uint32_t y = 0; y < image.GetHeight(); ++y) {
    for (std::uint32_t x = 0; x < image.GetWidth(); ++x) {
      const std::uint32_t p = PixelAt(image, x, y);
      for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(p >> (8 * i)));
    }
  }
  return out;
}

Bytes PackBits(const std::vector<int>& bits) {
  Bytes out((bits.size() + 7) / 8, 0);
  for (std::size_t i = 0; i < bits.size(); ++i) {
    if (bits[i] != 0) out[i / 8] |= static_cast<std::uint8_t>(1 << (i % 8));
  }
  return out;
}

void AppendGamma(std::vector<int>& bits, std::uint64_t value) {
  int top = 63;
  while (((value >> top) & 1) == 0) --top;
  for (int i = 0; i < top; ++i) bits.push_back(0);
  bits.push_back(1);
  for (int i = top - 1; i >= 0; --i) bits.push_back(static_cast<int>((value >> i) & 1));
}

Bytes ZlibCompress(const Bytes& data) {
  uLongf size = compressBound(static_cast<uLong>(data.size()));
  Bytes out(size);
  compress2(out.data(), &size, data.data(), static_cast<uLong>(data.size()), 9);
  out.resize(size);
  return out;
}

void AppendLe32(Bytes& out, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

Hg3Builder& Hg3Builder::Frame(std::uint32_t id) {
  frames_.push_back({id, {}});
  return *this;
}

Hg3Builder& Hg3Builder::Tag(const std::string& name, const Bytes& data) {
  frames_.back().tags.push_back({name, data});
  return *this;
}

Bytes Hg3Builder::Build() const {
  Bytes out = {'H', 'G', '-', '3'};
  AppendLe32(out, 12);
  AppendLe32(out, 0x300);
  for (std::size_t f = 0; f < frames_.size(); ++f) {
    Bytes frame;
    AppendLe32(frame, 0);
    AppendLe32(frame, frames_[f].id);
    const auto& tags = frames_[f].tags;
    for (std::size_t t = 0; t < tags.size(); ++t) {
      Bytes name(8, 0);
      std::copy_n(tags[t].name.begin(), std::min<std::size_t>(tags[t].name.size(), 8), name.begin());
      frame.insert(frame.end(), name.begin(), name.end());
      const bool last = t + 1 == tags.size();
      AppendLe32(frame, last ? 0 : static_cast<std::uint32_t>(16 + tags[t].data.size()));
      AppendLe32(frame, static_cast<std::uint32_t>(tags[t].data.size()));
      frame.insert(frame.end(), tags[t].data.begin(), tags[t].data.end());
    }
    if (f + 1 < frames_.size()) {
      const auto size = static_cast<std::uint32_t>(frame.size());
      for (int i = 0; i < 4; ++i) frame[i] = static_cast<std::uint8_t>(size >> (8 * i));
    }
    out.insert(out.end(), frame.begin(), frame.end());
  }
  return out;
}

Bytes Stdinfo(std::uint32_t width, std::uint32_t height, std::uint32_t bits,
              std::uint32_t transparent) {
  Bytes info;
  for (std::uint32_t v : {width, height, bits, 3u, 4u, width + 10, height + 20, transparent, 7u, 8u}) {
    AppendLe32(info, v);
  }
  return info;
}

Bytes RowBlock(std::uint32_t first_row, std::uint32_t rows, const Bytes& literals,
               const Bytes& control) {
  const Bytes packed_literals = ZlibCompress(literals);
  const Bytes packed_control = ZlibCompress(control);
  Bytes block;
  AppendLe32(block, first_row);
  AppendLe32(block, rows);
  AppendLe32(block, static_cast<std::uint32_t>(packed_literals.size()));
  AppendLe32(block, static_cast<std::uint32_t>(literals.size()));
  AppendLe32(block, static_cast<std::uint32_t>(packed_control.size()));
  AppendLe32(block, static_cast<std::uint32_t>(control.size()));
  block.insert(block.end(), packed_literals.begin(), packed_literals.end());
  block.insert(block.end(), packed_control.begin(), packed_control.end());
  return block;
}

}  // namespace qvtest

// image_bench [FILE] [--rows N]: decoding speed of HG-3 against the codec
// adapters on one real photograph. The picture (PNG, JPEG or WebP) is
// scaled to 1920x1080, given a soft alpha edge, encoded once in every
// format, and each decoder's median time over several runs is reported.
// Without FILE the Kleiber photograph of Debian's lomiri-wallpapers-20.04
// is used when it is installed, else a generated photograph-like picture.
// The last line reads "image_bench: hg3_vs_png=R hg3_mps=M".
#include "image/hg3_writer.h"
#include "image/image_hg3.h"
#include "image/image_jpeg.h"
#include "image/image_png.h"
#include "image/image_webp.h"
#include "base/private_heap.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <type_traits>
#include <vector>

namespace {

constexpr std::uint32_t kWidth = 1920;
constexpr std::uint32_t kHeight = 1080;
constexpr int kRuns = 9;
constexpr char kReferencePhoto[] = "/usr/share/backgrounds/Kleiber_by_Lukas_Baubkus.jpg";

struct Releaser {
  void operator()(qvImage* image) const { image->Release(); }
};
template <typename T>
using Ptr = std::unique_ptr<T, Releaser>;

struct Encoded {
  qvMemBlock block;
  ~Encoded() { block.Release(); }
};

// Decodes the source with whichever adapter accepts it.
Ptr<qvImage> LoadPhoto(const std::vector<std::uint8_t>& bytes) {
  const qvMemBlock block = qvMemBlock::Borrow(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
  if (qvImagePng::Probe(&block) != 0) {
    Ptr<qvImage> image(new qvImagePng);
    if (image->Load(&block, 0) != 0) return image;
  } else if (qvImageJpeg::Probe(&block) != 0) {
    Ptr<qvImage> image(new qvImageJpeg);
    if (image->Load(&block, 0) != 0) {
      image->SetChannelOrder(1);
      image->SwapRedBlue();
      return image;
    }
  } else if (qvImageWebP::Probe(&block) != 0) {
    Ptr<qvImage> image(new qvImageWebP);
    if (image->Load(&block, 0) != 0) {
      image->SetChannelOrder(1);
      image->SwapRedBlue();
      return image;
    }
  }
  return nullptr;
}

// Bilinear scaling to the benchmark size, blue first, with an alpha that
// fades out towards the corners like a soft vignette.
Ptr<qvImage> ScaleWithAlpha(const qvImage& photo) {
  Ptr<qvImage> out(new qvImage);
  out->CreateBlank(kWidth, kHeight, 4);
  const double sx = static_cast<double>(photo.GetWidth() - 1) / (kWidth - 1);
  const double sy = static_cast<double>(photo.GetHeight() - 1) / (kHeight - 1);
  for (std::uint32_t y = 0; y < kHeight; ++y) {
    const double fy = y * sy;
    const auto y0 = static_cast<std::uint32_t>(fy);
    const std::uint32_t y1 = std::min(y0 + 1, photo.GetHeight() - 1);
    const double wy = fy - y0;
    std::uint8_t* row = out->GetPixelAddress(0, y);
    for (std::uint32_t x = 0; x < kWidth; ++x, row += 4) {
      const double fx = x * sx;
      const auto x0 = static_cast<std::uint32_t>(fx);
      const std::uint32_t x1 = std::min(x0 + 1, photo.GetWidth() - 1);
      const double wx = fx - x0;
      for (int c = 0; c < 3; ++c) {
        const double top = photo.GetPixelAddress(x0, y0)[c] * (1 - wx) + photo.GetPixelAddress(x1, y0)[c] * wx;
        const double bottom = photo.GetPixelAddress(x0, y1)[c] * (1 - wx) + photo.GetPixelAddress(x1, y1)[c] * wx;
        row[c] = static_cast<std::uint8_t>(std::lround(top * (1 - wy) + bottom * wy));
      }
      const double dx = (x - kWidth / 2.0) / (kWidth / 2.0);
      const double dy = (y - kHeight / 2.0) / (kHeight / 2.0);
      const double fade = std::clamp((1.2 - std::sqrt(dx * dx + dy * dy)) * 2.5, 0.0, 1.0);
      row[3] = static_cast<std::uint8_t>(std::lround(fade * 255));
    }
  }
  return out;
}

// A stand-in for a photograph: smooth light and shade, a few soft edges
// and sensor-like noise, so that deltas are small but rarely zero.
Ptr<qvImage> GeneratedPhoto() {
  Ptr<qvImage> out(new qvImage);
  out->CreateBlank(kWidth, kHeight, 4);
  std::uint32_t noise = 1;
  for (std::uint32_t y = 0; y < kHeight; ++y) {
    std::uint8_t* row = out->GetPixelAddress(0, y);
    for (std::uint32_t x = 0; x < kWidth; ++x, row += 4) {
      const double shade = 0.5 + 0.4 * std::sin(x * 0.004) * std::cos(y * 0.006);
      const bool edge = std::hypot(x - 1200.0, y - 500.0) < 300;
      for (int c = 0; c < 3; ++c) {
        noise = noise * 1664525u + 1013904223u;
        const double value = 255 * shade * (edge ? 0.6 + 0.1 * c : 0.9 - 0.15 * c) + (noise >> 29) - 4;
        row[c] = static_cast<std::uint8_t>(std::clamp(value, 0.0, 255.0));
      }
      row[3] = 255;
    }
  }
  return out;
}

// JPEG has no alpha: its copy is flattened over white first.
template <typename Codec>
bool SaveAs(const qvImage& picture, bool red_first, Encoded* out) {
  Ptr<Codec> codec(new Codec);
  if (codec->CopyFrom(&picture) == 0) return false;
  if (std::is_same_v<Codec, qvImageJpeg> && codec->FlattenOnColour(0xFFFFFF) == 0) return false;
  if (red_first) {
    codec->SetChannelOrder(1);
    codec->SwapRedBlue();
  }
  return codec->Save(&out->block, 0, 0, 0, 0) != 0;
}

struct Timing {
  double wall = -1;  // median seconds of one decode
  double cpu = -1;   // median processor seconds, steadier on a busy machine
};

template <typename Codec>
Timing TimeDecode(const qvMemBlock& block) {
  std::vector<double> wall;
  std::vector<double> cpu;
  for (int run = 0; run < kRuns; ++run) {
    Ptr<Codec> image(new Codec);
    const std::clock_t cpu_start = std::clock();
    const auto start = std::chrono::steady_clock::now();
    const int ok = image->Load(&block, 0);
    const auto stop = std::chrono::steady_clock::now();
    const std::clock_t cpu_stop = std::clock();
    if (ok == 0) return {};
    wall.push_back(std::chrono::duration<double>(stop - start).count());
    cpu.push_back(static_cast<double>(cpu_stop - cpu_start) / CLOCKS_PER_SEC);
  }
  std::sort(wall.begin(), wall.end());
  std::sort(cpu.begin(), cpu.end());
  return {wall[wall.size() / 2], cpu[cpu.size() / 2]};
}

void Report(const char* name, const qvMemBlock& block, const Timing& t) {
  const double megapixels = kWidth * kHeight / 1e6;
  std::printf("%-5s %9u bytes  wall %8.2f ms %8.1f MP/s  cpu %8.2f ms %8.1f MP/s\n", name,
              block.size, t.wall * 1e3, megapixels / t.wall, t.cpu * 1e3, megapixels / t.cpu);
}

}  // namespace

int main(int argc, char** argv) {
  std::uint32_t rows_per_block = 0;
  const char* file = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--rows") == 0 && i + 1 < argc) rows_per_block = static_cast<std::uint32_t>(std::atoi(argv[++i]));
    else file = argv[i];
  }
  CreatePrivateHeap(10 * 1024 * 1024);
  if (!file && std::ifstream(kReferencePhoto).good()) file = kReferencePhoto;
  Ptr<qvImage> photo;
  if (file) {
    std::ifstream in(file, std::ios::binary);
    const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    photo = LoadPhoto(bytes);
    if (!photo) {
      std::fprintf(stderr, "image_bench: cannot decode %s\n", file);
      return 1;
    }
  } else {
    photo = GeneratedPhoto();
  }
  std::printf("source %s %ux%u, scaled to %ux%u with alpha\n", file ? file : "(generated)",
              photo->GetWidth(), photo->GetHeight(), kWidth, kHeight);
  Ptr<qvImage> picture = ScaleWithAlpha(*photo);

  Encoded hg3, png, jpeg, webp;
  Hg3FrameSource frame{picture.get(), {}};
  frame.options.rows_per_block = rows_per_block;
  if (WriteHg3(&frame, 1, &hg3.block) == 0 || !SaveAs<qvImagePng>(*picture, false, &png) ||
      !SaveAs<qvImageJpeg>(*picture, true, &jpeg) || !SaveAs<qvImageWebP>(*picture, true, &webp)) {
    std::fprintf(stderr, "image_bench: encoding failed\n");
    return 1;
  }
  const Timing hg3_time = TimeDecode<qvImageHg3>(hg3.block);
  const Timing png_time = TimeDecode<qvImagePng>(png.block);
  const Timing jpeg_time = TimeDecode<qvImageJpeg>(jpeg.block);
  const Timing webp_time = TimeDecode<qvImageWebP>(webp.block);
  if (hg3_time.wall < 0 || png_time.wall < 0 || jpeg_time.wall < 0 || webp_time.wall < 0) {
    std::fprintf(stderr, "image_bench: decoding failed\n");
    return 1;
  }
  Report("hg3", hg3.block, hg3_time);
  Report("png", png.block, png_time);
  Report("jpeg", jpeg.block, jpeg_time);
  Report("webp", webp.block, webp_time);
  // The ratio uses processor time, which other load on the machine disturbs
  // least.
  std::printf("image_bench: hg3_vs_png=%.2f hg3_mps=%.1f\n", hg3_time.cpu / png_time.cpu,
              kWidth * kHeight / 1e6 / hg3_time.cpu);
  return 0;
}

// pictures_bench: HG-2 decoding and encoding, QVF saving and loading, the
// QVLZ coder on natural and pathological input of the same size, and the
// cost of the holder's probe chain. The "natural" picture is synthetic: soft
// gradients, a little grain, hard-edged shapes and an antialiased alpha edge.
#include "image/hg3_writer.h"
#include "image/image_bmp.h"
#include "image/image_hg2.h"
#include "image/image_holder.h"
#include "image/image_qvf.h"
#include "image/qvlz.h"
#include "base/private_heap.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr std::uint32_t kWidth = 800;
constexpr std::uint32_t kHeight = 600;

struct Releaser {
  void operator()(qvImage* image) const { image->Release(); }
};
template <typename T>
using Ptr = std::unique_ptr<T, Releaser>;

void EnsureHeap() {
  static const int heap = CreatePrivateHeap(64 * 1024 * 1024);
  (void)heap;
}

template <typename T>
Ptr<T> NaturalPicture() {
  EnsureHeap();
  Ptr<T> image(new T);
  image->CreateBlank(kWidth, kHeight, 4);
  std::uint32_t state = 1;
  for (std::uint32_t y = 0; y < kHeight; ++y) {
    std::uint8_t* p = image->GetPixelAddress(0, y);
    for (std::uint32_t x = 0; x < kWidth; ++x, p += 4) {
      state = state * 1664525u + 1013904223u;
      const int grain = static_cast<int>(state >> 29) - 4;
      const bool shape = ((x / 80) + (y / 60)) % 3 == 0;
      p[0] = static_cast<std::uint8_t>(shape ? 40 : (x * 255 / kWidth + grain) & 0xFF);
      p[1] = static_cast<std::uint8_t>(shape ? 200 : (y * 255 / kHeight + grain) & 0xFF);
      p[2] = static_cast<std::uint8_t>(128 + 100 * std::sin((x + y) / 50.0));
      const double d = std::hypot(x - kWidth / 2.0, y - kHeight / 2.0) - 250;
      p[3] = static_cast<std::uint8_t>(d < 0 ? 255 : d > 8 ? 0 : 255 - d * 32);
    }
  }
  return image;
}

Bytes Save(qvImage& image, std::uint32_t a = 0) {
  qvMemBlock block;
  Bytes out;
  if (image.Save(&block, a, 0, 0, 0) != 0) out.assign(block.data, block.data + block.size);
  block.Release();
  return out;
}

void SetPixelRate(benchmark::State& state) {
  state.counters["MP/s"] = benchmark::Counter(static_cast<double>(kWidth) * kHeight / 1e6,
                                              benchmark::Counter::kIsIterationInvariantRate);
}

void BM_Hg2Decode(benchmark::State& state) {
  auto picture = NaturalPicture<qvImageHg2>();
  const Bytes file = Save(*picture);
  const qvMemBlock block = qvMemBlock::Borrow(file.data(), static_cast<std::uint32_t>(file.size()));
  for (auto _ : state) {
    Ptr<qvImageHg2> image(new qvImageHg2);
    if (image->Load(&block, 0) == 0) state.SkipWithError("decode failed");
  }
  SetPixelRate(state);
  state.counters["bytes"] = static_cast<double>(file.size());
}
BENCHMARK(BM_Hg2Decode)->Unit(benchmark::kMillisecond);

void BM_Hg2Encode(benchmark::State& state) {
  auto picture = NaturalPicture<qvImageHg2>();
  for (auto _ : state) {
    state.PauseTiming();
    Ptr<qvImageHg2> image(new qvImageHg2);
    image->CopyFrom(picture.get());
    state.ResumeTiming();
    benchmark::DoNotOptimize(Save(*image));
  }
  SetPixelRate(state);
}
BENCHMARK(BM_Hg2Encode)->Unit(benchmark::kMillisecond);

void BM_QvfSave(benchmark::State& state) {
  auto picture = NaturalPicture<qvImageQvf>();
  Bytes file;
  for (auto _ : state) file = Save(*picture);
  SetPixelRate(state);
  state.counters["bytes"] = static_cast<double>(file.size());
}
BENCHMARK(BM_QvfSave)->Unit(benchmark::kMillisecond);

void BM_QvfLoad(benchmark::State& state) {
  auto picture = NaturalPicture<qvImageQvf>();
  const Bytes file = Save(*picture);
  const qvMemBlock block = qvMemBlock::Borrow(file.data(), static_cast<std::uint32_t>(file.size()));
  for (auto _ : state) {
    Ptr<qvImageQvf> image(new qvImageQvf);
    if (image->Load(&block, 0) == 0) state.SkipWithError("decode failed");
  }
  SetPixelRate(state);
}
BENCHMARK(BM_QvfLoad)->Unit(benchmark::kMillisecond);

// QVLZ mode 0 (the largest window) on inputs of the picture's byte size.
enum Input { kNatural, kZeros, kTwoBytePattern, kNoise };

Bytes QvlzInput(Input kind) {
  auto picture = NaturalPicture<qvImage>();
  Bytes bytes(picture->GetPixels(), picture->GetPixels() + picture->GetBufferSize());
  std::uint32_t state = 3;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    switch (kind) {
      case kNatural: break;
      case kZeros: bytes[i] = 0; break;
      case kTwoBytePattern: bytes[i] = i % 2 ? 0x5A : 0xA5; break;
      case kNoise: bytes[i] = static_cast<std::uint8_t>((state = state * 1664525u + 1013904223u) >> 24); break;
    }
  }
  return bytes;
}

void BM_QvlzCompress(benchmark::State& state) {
  const Bytes input = QvlzInput(static_cast<Input>(state.range(0)));
  const auto mode = static_cast<std::uint32_t>(state.range(1));
  std::uint32_t size = 0;
  for (auto _ : state) {
    size = QvlzCompress(input.data(), static_cast<std::uint32_t>(input.size()), nullptr, 0, mode,
                        nullptr, nullptr);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * input.size()));
  state.counters["ratio"] = static_cast<double>(size) / static_cast<double>(input.size());
}
BENCHMARK(BM_QvlzCompress)
    ->ArgsProduct({{kNatural, kZeros, kTwoBytePattern, kNoise}, {0, 4}})
    ->ArgNames({"input", "mode"})
    ->Unit(benchmark::kMillisecond);

// The probe chain alone, for the first format tried and the last.
void BM_HolderProbe(benchmark::State& state) {
  auto picture = NaturalPicture<qvImageQvf>();
  const Bytes file = state.range(0) == 0 ? Save(*NaturalPicture<qvImageHg2>()) : Save(*picture);
  const qvMemBlock block = qvMemBlock::Borrow(file.data(), static_cast<std::uint32_t>(file.size()));
  for (auto _ : state) benchmark::DoNotOptimize(qvImageHolder::ProbeType(&block));
}
BENCHMARK(BM_HolderProbe)->Arg(0)->Arg(1)->ArgName("hg2_or_qvf");

}  // namespace

BENCHMARK_MAIN();

// pictures_fuzz_seeds DIR: writes small valid HG-2, HG-3, BMP, PSD, QVF and
// QVLZ files into DIR/<target>/ as starting points for the fuzz targets.
#include "image/hg3_writer.h"
#include "image/image_bmp.h"
#include "image/image_hg2.h"
#include "image/image_qvf.h"
#include "image/qvlz.h"
#include "base/private_heap.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

void Write(const std::filesystem::path& dir, const std::string& name, const Bytes& bytes) {
  std::filesystem::create_directories(dir);
  std::ofstream(dir / name, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// A small picture with some transparent pixels, saved by `T`.
template <typename T>
Bytes Saved(std::uint32_t bpp, std::uint32_t a = 0) {
  auto* image = new T;
  image->CreateBlank(9, 6, bpp);
  for (std::uint32_t y = 0; y < 6; ++y) {
    std::uint8_t* p = image->GetPixelAddress(0, y);
    for (std::uint32_t i = 0; i < 9 * bpp; ++i) p[i] = static_cast<std::uint8_t>(i * 7 + y * 31);
  }
  qvMemBlock block;
  Bytes out;
  if (image->Save(&block, a, 0, 0, 0) != 0) out.assign(block.data, block.data + block.size);
  block.Release();
  image->Release();
  return out;
}

// The holder target's input: the file, then a byte whose low bit asks
// for expansion to the canvas.
void WriteHolderSeed(const std::filesystem::path& root, const std::string& name, Bytes file,
                     bool expand) {
  file.push_back(expand ? 1 : 0);
  Write(root / "holder", name, file);
}

// A 4 x 3 HG-3 frame at (2, 1) on a 9 x 6 canvas.
Bytes Hg3OnCanvas() {
  auto* image = new qvImage;
  image->CreateBlank(4, 3, 4);
  for (std::uint32_t i = 0; i < 4 * 3 * 4; ++i) image->GetPixels()[i] = static_cast<std::uint8_t>(i * 13);
  image->SetCanvasSize(9, 6);
  image->SetOffset(2, 1);
  Hg3FrameSource frame;
  frame.image = image;
  qvMemBlock block;
  Bytes out;
  if (WriteHg3(&frame, 1, &block) != 0) out.assign(block.data, block.data + block.size);
  block.Release();
  image->Release();
  return out;
}

Bytes Psd(std::uint16_t compression, const Bytes& data) {
  Bytes out = {'8', 'B', 'P', 'S', 0, 1, 0, 0, 0, 0, 0, 0, 0, 3, 0, 0, 0, 2, 0, 0, 0, 2, 0, 8, 0, 3};
  out.insert(out.end(), 12, 0);
  out.push_back(static_cast<std::uint8_t>(compression >> 8));
  out.push_back(static_cast<std::uint8_t>(compression));
  out.insert(out.end(), data.begin(), data.end());
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: pictures_fuzz_seeds DIR\n");
    return 2;
  }
  CreatePrivateHeap(10 * 1024 * 1024);
  const std::filesystem::path root = argv[1];
  for (std::uint32_t bpp : {3u, 4u}) {
    const std::string n = std::to_string(bpp);
    const Bytes hg2 = Saved<qvImageHg2>(bpp, 2);
    Bytes indexed = {0};  // the fuzz target's frame index byte
    indexed.insert(indexed.end(), hg2.begin(), hg2.end());
    Write(root / "hg2", "frame" + n, indexed);
    WriteHolderSeed(root, "hg2_" + n, hg2, bpp == 4);
    Write(root / "bmp", "bmp" + n, Saved<qvImageBmp>(bpp));
    WriteHolderSeed(root, "bmp" + n, Saved<qvImageBmp>(bpp), false);
    Write(root / "qvf", "qvf" + n, Saved<qvImageQvf>(bpp));
    WriteHolderSeed(root, "qvf" + n, Saved<qvImageQvf>(bpp), false);
  }
  const Bytes raw = Psd(0, Bytes(12, 0x40));
  const Bytes packed = Psd(1, {0, 2, 0, 2, 0, 2, 0, 2, 0, 2, 0, 2, 0xFD, 1, 0xFD, 2, 0x03, 1, 2, 3, 4});
  Write(root / "psd", "raw", raw);
  Write(root / "psd", "packbits", packed);
  WriteHolderSeed(root, "psd", packed, false);
  WriteHolderSeed(root, "hg3_canvas", Hg3OnCanvas(), true);
  Bytes text;
  for (int i = 0; i < 400; ++i) text.push_back(static_cast<std::uint8_t>("abcab"[i % 5] + i / 100));
  for (std::uint32_t mode = 0; mode < kQvlzModeCount; ++mode) {
    const std::uint32_t size = QvlzCompress(text.data(), 400, nullptr, 0, mode, nullptr, nullptr);
    Bytes stream(size);
    QvlzCompress(text.data(), 400, stream.data(), size, mode, nullptr, nullptr);
    Write(root / "qvlz", "mode" + std::to_string(mode), stream);
  }
  return 0;
}

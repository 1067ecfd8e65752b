// Writes small valid pictures of every decoded kind as fuzzing seeds:
// image_fuzz_seeds DIR creates DIR/hg3, DIR/png, DIR/jpeg and DIR/webp.
#include "image/hg3_writer.h"
#include "image/image_jpeg.h"
#include "image/image_png.h"
#include "image/image_webp.h"
#include "base/private_heap.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

void Store(const std::filesystem::path& path, const std::uint8_t* prefix, std::size_t prefix_size,
           const qvMemBlock& block) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(prefix), static_cast<std::streamsize>(prefix_size));
  out.write(reinterpret_cast<const char*>(block.data), block.size);
}

template <typename Codec>
void SaveWith(qvImage* source, const std::filesystem::path& path) {
  auto* codec = new Codec;
  qvMemBlock block;
  if (codec->CopyFrom(source) != 0 && codec->Save(&block, 0, 0, 0, 0) != 0) {
    Store(path, nullptr, 0, block);
  }
  block.Release();
  codec->Release();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: image_fuzz_seeds DIR\n");
    return 2;
  }
  CreatePrivateHeap(10 * 1024 * 1024);
  const std::filesystem::path root = argv[1];
  for (const char* kind : {"hg3", "png", "jpeg", "webp"}) std::filesystem::create_directories(root / kind);
  for (std::uint32_t size : {1u, 7u, 24u}) {
    for (std::uint32_t bpp : {3u, 4u}) {
      auto* picture = new qvImage;
      picture->CreateBlank(size, size + 1, bpp);
      for (std::uint32_t i = 0; i < picture->GetBufferSize(); ++i) {
        picture->GetPixels()[i] = static_cast<std::uint8_t>(i * 37 % 251 < 120 ? 0 : i * 13);
      }
      const std::string name = std::to_string(size) + "_" + std::to_string(bpp);
      for (Hg3Payload payload : {Hg3Payload::kRowBlocks, Hg3Payload::kWebP, Hg3Payload::kJpeg}) {
        Hg3FrameSource frames[2] = {{picture, {}}, {picture, {}}};
        frames[0].options.payload = payload;
        frames[0].options.rows_per_block = 3;
        frames[1].options.id = 1;
        frames[1].options.cptype = 2;
        frames[1].options.attributes.resize(1);
        qvMemBlock block;
        if (WriteHg3(frames, 2, &block) != 0) {
          const std::uint8_t index = static_cast<std::uint8_t>(payload == Hg3Payload::kRowBlocks);
          Store(root / "hg3" / (name + "_" + std::to_string(static_cast<int>(payload))), &index, 1,
                block);
        }
        block.Release();
      }
      SaveWith<qvImagePng>(picture, root / "png" / name);
      SaveWith<qvImageJpeg>(picture, root / "jpeg" / name);
      SaveWith<qvImageWebP>(picture, root / "webp" / name);
      picture->Release();
    }
  }
  return 0;
}

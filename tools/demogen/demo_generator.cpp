// Writes the generated files of the demo patch and its sandbox game:
//
//   qv_demogen <patch folder> <game folder> [<picture.ppm>]
//
// patch: updatebg.hg3 (a 640 x 480 landscape drawn here, with a
// half-transparent band that the updater flattens over white), and
// data/game.exe 1.2.0.0 and data/engine.dll 1.1.0.0 with version resources;
// game: game.exe 1.0.0.0 (replaced by the patch) and engine.dll 2.0.0.0
// (newer than the patch's, so it is kept). The optional PPM receives the
// background as the updater shows it: decoded and flattened over white.
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "image/hg3_writer.h"
#include "image/image.h"
#include "image/image_hg3.h"
#include "support/pe_writer.h"
#include "base/private_heap.h"

namespace {

namespace fs = std::filesystem;

constexpr std::uint32_t kWidth = 640;
constexpr std::uint32_t kHeight = 480;

bool WriteBytes(const fs::path& path, const void* data, std::size_t size) {
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
  return static_cast<bool>(out);
}

std::uint8_t Mix(double a, double b, double t) {
  return static_cast<std::uint8_t>(std::lround(a + (b - a) * t));
}

// Blue, green, red, alpha of the landscape at (x, y), y from the top.
void Landscape(std::uint32_t x, std::uint32_t y, std::uint8_t* pixel) {
  double t = static_cast<double>(y) / kHeight;
  double r = Mix(70, 250, t), g = Mix(130, 200, t), b = Mix(220, 160, t);
  double a = 255;
  double sun = std::hypot(x - 480.0, y - 120.0);
  if (sun < 48) r = 255, g = 236, b = 150;
  double hill = 330 + 40 * std::sin(x / 70.0) + 18 * std::sin(x / 23.0 + 1.0);
  if (y > hill) {
    double depth = (y - hill) / (kHeight - hill);
    r = Mix(70, 30, depth), g = Mix(150, 90, depth), b = Mix(60, 40, depth);
  }
  // A band for the title, half transparent: white shows through.
  if (y >= 40 && y < 100 && x >= 40 && x < 600) {
    r = 20, g = 30, b = 60;
    a = 128;
  }
  pixel[0] = static_cast<std::uint8_t>(b);
  pixel[1] = static_cast<std::uint8_t>(g);
  pixel[2] = static_cast<std::uint8_t>(r);
  pixel[3] = static_cast<std::uint8_t>(a);
}

bool WriteBackground(const fs::path& path) {
  auto* image = new qvImage();
  bool ok = image->CreateBlank(kWidth, kHeight, 4) != 0;
  for (std::uint32_t y = 0; ok && y < kHeight; ++y)
    for (std::uint32_t x = 0; x < kWidth; ++x) Landscape(x, y, image->GetPixelAddress(x, y));
  Hg3FrameSource frame;
  frame.image = image;
  frame.options.rows_per_block = 120;
  qvMemBlock block;
  ok = ok && WriteHg3(&frame, 1, &block) && WriteBytes(path, block.data, block.size);
  block.Release();
  image->Release();
  return ok;
}

bool WriteProgram(const fs::path& path, bool dll, const char16_t* version,
                  const std::string& payload) {
  qvtest::PeVersionLayout layout;
  layout.dll = dll;
  layout.strings = {{u"FileVersion", version}, {u"ProductName", u"QV demo game"}};
  std::string bytes = qvtest::MakePeFile(layout) + payload;
  return WriteBytes(path, bytes.data(), bytes.size());
}

// Decodes the written file the way the updater does and saves the
// flattened picture as a binary PPM (top row first, red-green-blue).
bool WriteShownPicture(const fs::path& hg3, const fs::path& ppm) {
  std::ifstream in(hg3, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  qvMemBlock block = qvMemBlock::Borrow(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
  auto* image = new qvImageHg3();
  bool ok = image->Load(&block, 0) && image->FlattenOnColour(0xFFFFFF);
  std::string out = "P6\n" + std::to_string(kWidth) + " " + std::to_string(kHeight) + "\n255\n";
  for (std::uint32_t y = 0; ok && y < kHeight; ++y)
    for (std::uint32_t x = 0; x < kWidth; ++x) {
      const std::uint8_t* pixel = image->GetPixelAddress(x, y);
      out += static_cast<char>(pixel[2]);
      out += static_cast<char>(pixel[1]);
      out += static_cast<char>(pixel[0]);
    }
  image->Release();
  return ok && WriteBytes(ppm, out.data(), out.size());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 && argc != 4) {
    std::fprintf(stderr, "usage: qv_demogen <patch folder> <game folder> [<picture.ppm>]\n");
    return 2;
  }
  CreatePrivateHeap(1 << 24);
  fs::path patch = argv[1], game = argv[2];
  bool ok = WriteBackground(patch / "updatebg.hg3") &&
            WriteProgram(patch / "data" / "game.exe", false, u"1.2.0.0", "game 1.2 from the patch") &&
            WriteProgram(patch / "data" / "engine.dll", true, u"1.1.0.0", "engine 1.1 from the patch") &&
            WriteProgram(game / "game.exe", false, u"1.0.0.0", "game 1.0 as installed") &&
            WriteProgram(game / "engine.dll", true, u"2.0.0.0", "engine 2.0 as installed, newer") &&
            (argc < 4 || WriteShownPicture(patch / "updatebg.hg3", argv[3]));
  DestroyPrivateHeap();
  if (!ok) std::fprintf(stderr, "qv_demogen: could not write the demo files\n");
  return ok ? 0 : 1;
}

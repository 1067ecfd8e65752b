// Damaged files of every format: each decoder fails cleanly (the
// sanitizer builds check that nothing is read or written outside).
#include "image/hg3_writer.h"
#include "image/image_bmp.h"
#include "image/image_hg2.h"
#include "image/image_holder.h"
#include "image/image_psd.h"
#include "image/image_qvf.h"
#include "image/qvlz.h"
#include "picture_files.h"

#include <gtest/gtest.h>

namespace qvtest {
namespace {

class CorpusTest : public ImageTest {};

Bytes QvfOf(qvImage& image) {
  auto qvf = Make<qvImageQvf>();
  qvf->CopyFrom(&image);
  OwnedBlock block;
  qvf->Save(&block.block, 0, 0, 0, 0);
  return block.ToBytes();
}

// Every prefix and a deterministic set of byte changes of `good`, through
// the holder and through LoadByIndex.
void Damage(const Bytes& good) {
  auto run = [](const Bytes& bytes) {
    qvImageHolder holder;
    const qvMemBlock block = View(bytes);
    holder.LoadFromMemory(&block, 0, 0);
    auto hg2 = Make<qvImageHg2>();
    std::uint32_t id = 0;
    hg2->LoadByIndex(&block, 0, &id);
  };
  for (std::size_t cut = 0; cut < good.size(); ++cut) run(Bytes(good.begin(), good.begin() + cut));
  std::uint32_t state = 99;
  for (int round = 0; round < 600; ++round) {
    Bytes bytes = good;
    for (int k = 0; k < 1 + round % 3; ++k) {
      state = state * 1664525u + 1013904223u;
      const std::size_t at = (state >> 8) % bytes.size();
      const std::uint8_t values[] = {0, 0xFF, 0x7F, 0x80, static_cast<std::uint8_t>(state)};
      bytes[at] = values[(state >> 4) % 5];
    }
    run(bytes);
  }
}

TEST_F(CorpusTest, DamagedFilesOfEveryFormatFailCleanly) {
  auto picture = MakePicture(11, 7, 4, Pattern::kSparse);
  Damage(SaveHg2(*picture));
  Damage(Hg2AsVersion(SaveHg2(*picture), 0x10));
  Damage(QvfOf(*picture));
  Damage(BuildBmp(5, 3, 24, Bytes(48, 3)));
  Damage(BuildBmp(5, 3, 32, Bytes(60, 3), 12));
  Bytes packbits(6 * 2, 0);
  for (int c = 0; c < 3; ++c) packbits.insert(packbits.end(), {0xFD, 1, 0x01, 2, 3, 0xFE, 4});
  Damage(BuildPsd(4, 2, 3, 1, packbits));
  Damage(BuildPsd(4, 2, 3, 0, Bytes(24, 9)));
}

TEST_F(CorpusTest, DamagedQvlzStreamsNeverWritePastTheirSize) {
  Bytes source;
  for (int i = 0; i < 3000; ++i) source.push_back(static_cast<std::uint8_t>(i % 17 * (i / 300)));
  const std::uint32_t size = QvlzCompress(source.data(), 3000, nullptr, 0, 2, nullptr, nullptr);
  Bytes good(size);
  QvlzCompress(source.data(), 3000, good.data(), size, 2, nullptr, nullptr);
  std::uint32_t state = 5;
  for (int round = 0; round < 2000; ++round) {
    Bytes bytes = good;
    state = state * 1664525u + 1013904223u;
    bytes[(state >> 8) % bytes.size()] ^= static_cast<std::uint8_t>(1u << (state % 8));
    const std::uint32_t claimed = QvlzDecompress(bytes.data(), size, nullptr, 0, nullptr, nullptr);
    if (claimed == 0 || claimed > 100000) continue;
    Bytes out(claimed);
    const std::uint32_t produced =
        QvlzDecompress(bytes.data(), size, out.data(), claimed, nullptr, nullptr);
    EXPECT_TRUE(produced == 0 || produced == claimed);
  }
}

}  // namespace
}  // namespace qvtest

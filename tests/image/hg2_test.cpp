#include "image/image_hg2.h"
#include "support/picture_files.h"

#include <gtest/gtest.h>

#include <cstring>

#include "base/private_heap.h"

namespace qvtest {
namespace {

class Hg2Test : public ImageTest {};

ImagePtr<qvImageHg2> LoadHg2(const Bytes& bytes, std::uint32_t id = 0) {
  return LoadAs<qvImageHg2>(bytes, id);
}

TEST_F(Hg2Test, SaveCropsToTheOpaqueAreaOnItsCanvas) {
  auto source = MakePicture(20, 10, 4, Pattern::kTransparent);
  for (std::uint32_t y = 3; y < 6; ++y)
    for (std::uint32_t x = 4; x < 9; ++x) source->GetPixelAddress(x, y)[3] = std::uint8_t(x * 20 + y);
  auto loaded = LoadHg2(SaveHg2(*source));
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(loaded->GetWidth(), 5u);
  EXPECT_EQ(loaded->GetHeight(), 3u);
  EXPECT_EQ(Geometry(*loaded), (std::array<std::uint32_t, 6>{4, 3, 20, 10, 0, 0}));
  EXPECT_EQ(loaded->GetAlphaState(), kAlphaTransparent);
  EXPECT_EQ(PixelAt(*loaded, 0, 0), PixelAt(*source, 4, 3));

  // Saved again, the cropped frame is a picture of its own: the extension's
  // canvas (E+8, E+12) is its size, its offset 0.
  EXPECT_EQ(Words(SaveHg2(*loaded), 12 + 36 + 8, 3), (std::vector<std::uint32_t>{5, 3, 0}));
}

TEST_F(Hg2Test, FullyTransparentPictureSavesATwoByTwoFrame) {
  auto source = MakePicture(100, 100, 4, Pattern::kTransparent);
  const Bytes file = SaveHg2(*source);
  ASSERT_FALSE(file.empty());
  EXPECT_EQ(Words(file, 12, 2), (std::vector<std::uint32_t>{2, 2}));
  // Payload offset, id, canvas, offset, transparency.
  EXPECT_EQ(Words(file, 48, 7), (std::vector<std::uint32_t>{40, 0, 100, 100, 0, 0, 1}));
  auto loaded = LoadHg2(file);
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(PixelAt(*loaded, 1, 1), 0u);
}

TEST_F(Hg2Test, SaveRefusesOtherPixelSizesWithTheBlockEmptied) {
  auto hg2 = Make<qvImageHg2>();
  ASSERT_EQ(hg2->CreateBlank(4, 4, 2), 1);
  OwnedBlock block;
  ASSERT_EQ(block.block.TakeCopyRoundedTo8("old", 3), 1);
  EXPECT_EQ(hg2->Save(&block.block, 0, 0, 0, 0), 0);
  EXPECT_EQ(block.block.data, nullptr);
  EXPECT_EQ(block.block.size, 0u);

  // Saved into a block the heap hands out with stale bytes, the file
  // header's size and version words and the frame header's two reserved
  // words are written all the same.
  ASSERT_EQ(hg2->CreateBlank(4, 4, 3), 1);
  void* stale = PrivateAlloc(0, 102400);  // the smallest output block
  ASSERT_NE(stale, nullptr);
  std::memset(stale, 0xA5, 102400);
  void* guard = PrivateAlloc(0, 16);  // keeps the freed block apart from the heap's end
  PrivateFree(stale);
  EXPECT_EQ(hg2->Save(&block.block, 0, 0, 0, 0), 1);
  PrivateFree(guard);
  const Bytes saved = block.ToBytes();
  EXPECT_EQ(Words(saved, 4, 2), (std::vector<std::uint32_t>{12, 0x25}));
  EXPECT_EQ(Words(saved, 12 + 12, 2), (std::vector<std::uint32_t>{0, 0}));
}

TEST_F(Hg2Test, ChannelDepthWidensStoredValues) {
  auto source = MakePicture(2, 1, 3, Pattern::kTransparent);
  std::uint8_t* p = source->GetPixels();
  p[0] = 31;
  p[1] = 16;
  p[2] = 0;
  p[3] = 8;
  Bytes file = SaveHg2(*source);
  PutLe16(file, 12 + 10, 5);
  auto loaded = LoadHg2(file);
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(PixelAt(*loaded, 0, 0), 0xFF0084FFu);  // 31 -> 255, 16 -> 132, 0 -> 0
  EXPECT_EQ(loaded->GetPixels()[3], 66);             // 8 -> 64 | 2
  PutLe16(file, 12 + 10, 4);
  loaded = LoadHg2(file);
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(loaded->GetPixels()[3], 0x88);
  PutLe16(file, 12 + 10, 3);
  EXPECT_EQ(LoadHg2(file), nullptr);
  PutLe16(file, 12 + 10, 9);
  EXPECT_EQ(LoadHg2(file), nullptr);
}

TEST_F(Hg2Test, OlderVersionsAndFrameChains) {
  auto a = MakePicture(3, 2, 3, Pattern::kNoise, 1);
  auto b = MakePicture(4, 1, 3, Pattern::kNoise, 2);
  const Bytes saved_a = SaveHg2(*a, 3);
  const Bytes saved_b = SaveHg2(*b, 9, 5, 6);

  // 0x10: one frame, any id, alpha state left unknown, no canvas values.
  const Bytes v10 = Hg2AsVersion(saved_a, 0x10);
  auto loaded = LoadHg2(v10, 1234);
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(Bgra(*loaded), Bgra(*a));
  EXPECT_EQ(loaded->GetAlphaState(), kAlphaUnknown);
  std::uint32_t w = 0, h = 0;
  loaded->GetCanvasSize(&w, &h);
  EXPECT_EQ(w * 10 + h, 32u) << "the canvas is the frame";

  // 0x20: frames by id; LoadByIndex takes only index 0, as id 0.
  const Bytes v20 = Hg2AsVersion(saved_a, 0x20);
  ASSERT_NE(LoadHg2(v20, 3), nullptr);
  EXPECT_EQ(LoadHg2(v20, 0), nullptr);
  auto by_index = Make<qvImageHg2>();
  const qvMemBlock v20_block = View(v20);
  std::uint32_t id = 99;
  EXPECT_EQ(by_index->LoadByIndex(&v20_block, 0, &id), 0);  // no frame with id 0
  EXPECT_EQ(by_index->LoadByIndex(&v20_block, 1, &id), 0);

  // 0x25 chain: by index and by id.
  const Bytes chain = ChainHg2({saved_a, saved_b});
  const qvMemBlock block = View(chain);
  auto second = Make<qvImageHg2>();
  ASSERT_EQ(second->LoadByIndex(&block, 1, &id), 1);
  EXPECT_EQ(id, 9u);
  EXPECT_EQ(Bgra(*second), Bgra(*b));
  std::uint32_t bx = 0, by = 0;
  second->GetBase(&bx, &by);
  EXPECT_EQ(bx + by, 11u);
  EXPECT_EQ(second->LoadByIndex(&block, 2, &id), 0);
  ASSERT_NE(LoadHg2(chain, 3), nullptr);
  EXPECT_EQ(LoadHg2(chain, 4), nullptr);
  EXPECT_EQ(qvImageHg2::FrameIdAt(&block, 0, &id), 1);
  EXPECT_EQ(id, 3u);
  // The walk takes a frame whose header and extension end with the block.
  const std::uint32_t second_end = 12 + GetLe32(chain, 12 + 36 + 28) + 36 + 40;
  const qvMemBlock to_second = qvMemBlock::Borrow(chain.data(), second_end);
  const qvMemBlock into_second = qvMemBlock::Borrow(chain.data(), second_end - 1);
  EXPECT_EQ(qvImageHg2::FrameIdAt(&to_second, 1, &id), 1);
  EXPECT_EQ(id, 9u);
  EXPECT_EQ(qvImageHg2::FrameIdAt(&into_second, 1, &id), 0);
}

TEST_F(Hg2Test, TheProbeLooksAtTheFirstFourBytesOnly) {
  for (std::size_t size = 4; size <= 12; ++size) {
    Bytes bytes(size, 0);
    std::copy_n("HG-2", 4, bytes.begin());
    const qvMemBlock block = View(bytes);
    EXPECT_EQ(qvImageHg2::Probe(&block), 1) << size;
    EXPECT_EQ(LoadHg2(bytes), nullptr) << size;
  }
  const Bytes three = {'H', 'G', '-'};
  const qvMemBlock block = View(three);
  EXPECT_EQ(qvImageHg2::Probe(&block), 0);
}

TEST_F(Hg2Test, RefusesHeadersThatLeaveTheBlock) {
  auto source = MakePicture(6, 5, 4, Pattern::kGradient);
  const Bytes good = SaveHg2(*source);
  ASSERT_NE(LoadHg2(good), nullptr);
  auto refused = [&](std::size_t at, std::uint32_t value) {
    Bytes bad = good;
    PutLe32(bad, at, value);
    return LoadHg2(bad) == nullptr;
  };
  EXPECT_TRUE(refused(8, 0x24));                 // version
  EXPECT_TRUE(refused(12, 0x10000));             // huge width
  EXPECT_TRUE(refused(12, 0));                   // no columns
  EXPECT_TRUE(refused(12 + 4, 0));               // no rows
  EXPECT_TRUE(refused(12 + 20, 0x7FFFFFFF));     // literal stream past the end
  EXPECT_TRUE(refused(12 + 24, 0x7FFFFFF0));     // literal size no stream can give
  EXPECT_TRUE(refused(12 + 32, GetLe32(good, 44) + 1));  // control size mismatch
  EXPECT_TRUE(refused(48, 0xFFFFFF00));          // payload offset
  Bytes bits = good;
  PutLe16(bits, 12 + 8, 40);
  EXPECT_EQ(LoadHg2(bits), nullptr);
  for (std::size_t cut = 0; cut < good.size(); cut += 7) {
    EXPECT_EQ(LoadHg2(Bytes(good.begin(), good.begin() + cut)), nullptr) << cut;
  }
}

}  // namespace
}  // namespace qvtest

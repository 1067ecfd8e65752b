// qvImage operations.
#include "image/image.h"
#include "base/private_heap.h"
#include "support/image_test_support.h"

#include <gtest/gtest.h>

#include <tuple>

namespace {

using namespace qvtest;

class ImageBaseTest : public ImageTest {};

TEST_F(ImageBaseTest, CreateBlankPadsRowsAndClears) {
  auto image = Make<qvImage>();
  ASSERT_EQ(image->CreateBlank(5, 3, 3), 1);
  EXPECT_EQ(image->GetStride(), 16u);
  EXPECT_EQ(image->GetBufferSize(), 48u);
  for (std::uint32_t i = 0; i < 48; ++i) ASSERT_EQ(image->GetPixels()[i], 0);
  const qvRect valid = image->GetValidRect();
  EXPECT_EQ(valid.right, 5);
  EXPECT_EQ(valid.bottom, 3);
  EXPECT_EQ(Geometry(*image), (std::array<std::uint32_t, 6>{0, 0, 5, 3, 0, 0}));
  EXPECT_EQ(image->GetPixelAddress(5, 0), nullptr);
  EXPECT_EQ(image->GetPixelAddressFromBottom(0, 0), image->GetPixelAddress(0, 2));
}

TEST_F(ImageBaseTest, SizesThatWrapAroundAreRefused) {
  // The padded size is 0x3FFFC0004 x 0x40004000, 64 KiB modulo 2^64.
  auto image = Make<qvImage>();
  EXPECT_EQ(image->CreateBlank(0xFFFF0001u, 0x40004000u, 4), 0);
  EXPECT_EQ(image->GetPixels(), nullptr);
  EXPECT_EQ(PixelBytes(0x80000000u, 0x80000000u, 4), std::nullopt);
  EXPECT_EQ(PixelBytes(0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu), std::nullopt);
  // No decoder takes a pixel buffer beyond 512 MiB.
  EXPECT_EQ(PixelBytes(16384, 8192, 4), std::uint64_t{512} << 20);
  EXPECT_EQ(PixelBytes(16384, 8193, 4), std::nullopt);
  EXPECT_EQ(PixelBytes((std::uint64_t{512} << 20) + 1, 1), std::nullopt);
}

TEST_F(ImageBaseTest, SavedBlocksAreRoundedUpToEightBytesWithClearedPadding) {
  OwnedBlock block;
  const std::uint32_t cases[][2] = {{1, 8}, {8, 8}, {9, 16}};
  for (const auto& [length, rounded] : cases) {
    ASSERT_EQ(block.block.TakeCopyRoundedTo8("abcdefghi", length), 1);
    Bytes expected(rounded, 0);
    std::copy_n("abcdefghi", length, expected.begin());
    EXPECT_EQ(block.ToBytes(), expected);
    EXPECT_EQ(block.block.capacity, rounded);
  }
  EXPECT_EQ(block.block.TakeCopyRoundedTo8("", 0xFFFFFFF9u), 0) << "beyond the 32-bit size";
  EXPECT_EQ(block.block.data, nullptr);
}

TEST_F(ImageBaseTest, ReleasingABorrowedBlockLeavesItToItsOwner) {
  HeapBuffer owner = AllocateHeapBuffer(40);
  qvMemBlock view = qvMemBlock::Borrow(owner.get(), 40);
  view.Release();
  EXPECT_EQ(view.data, nullptr);
  // Had the release freed the owner's block, the heap would hand it out again.
  HeapBuffer next = AllocateHeapBuffer(40);
  EXPECT_NE(next.get(), owner.get());
  if (next.get() == owner.get()) static_cast<void>(owner.release());
}

TEST_F(ImageBaseTest, FlattenOnColourUsesTheEngineArithmetic) {
  const struct {
    std::uint32_t pixel, background, flattened;  // blue in the low byte
  } cases[] = {
      {0x00030201, 0xFFFFFF, 0xFFFFFFFF},  // transparent
      {0xFF1E140A, 0xFFFFFF, 0xFF1E140A},  // opaque
      // Blue 255 over 255 stays; red 128 over 0 at alpha 255 loses one step.
      {0xFF8000FF, 0x0000FF, 0xFF7F00FF},
  };
  for (const auto& c : cases) {
    auto image = Make<qvImage>();
    ASSERT_EQ(image->CreateBlank(1, 1, 4), 1);
    for (int i = 0; i < 4; ++i) image->GetPixels()[i] = static_cast<std::uint8_t>(c.pixel >> (8 * i));
    ASSERT_EQ(image->FlattenOnColour(c.background), 1);
    EXPECT_EQ(image->GetBytesPerPixel(), 3u);
    EXPECT_EQ(PixelAt(*image, 0, 0), c.flattened) << std::hex << c.pixel;
  }

  // Transparent everywhere: every row comes out as the background.
  auto two_rows = MakePicture(2, 2, 4, Pattern::kTransparent);
  ASSERT_EQ(two_rows->FlattenOnColour(0x123456), 1);
  EXPECT_EQ(PixelAt(*two_rows, 1, 1), 0xFF123456u);

  auto rgb = MakePicture(3, 2, 3, Pattern::kNoise);
  const std::uint8_t* before = rgb->GetPixels();
  ASSERT_EQ(rgb->FlattenOnColour(0), 1);
  EXPECT_EQ(rgb->GetPixels(), before);
  EXPECT_EQ(rgb->GetStride(), 12u);
}

// Widening 3 to 4 bytes per pixel and the red-blue swap are checked through
// the HG-3 frames that need them.
TEST_F(ImageBaseTest, OnlyThreeBytesPerPixelWidenToFour) {
  auto grey = MakePicture(3, 2, 1, Pattern::kNoise);
  EXPECT_EQ(grey->ExpandTo32(), 0);
  EXPECT_EQ(grey->GetBytesPerPixel(), 1u);
}

// Every row pair swaps, not only the outer one; the middle row stays.
TEST_F(ImageBaseTest, FlipVerticalMirrorsEveryRowAndKeepsTheMiddleRow) {
  auto image = MakePicture(2, 5, 4, Pattern::kNoise);
  std::uint32_t before[5];
  for (int y = 0; y < 5; ++y) before[y] = PixelAt(*image, 1, y);
  ASSERT_EQ(image->FlipVertical(), 1);
  for (int y = 0; y < 5; ++y) EXPECT_EQ(PixelAt(*image, 1, y), before[4 - y]) << y;
  auto single = MakePicture(4, 1, 4, Pattern::kNoise);
  const std::uint32_t only = PixelAt(*single, 3, 0);
  EXPECT_EQ(single->FlipVertical(), 1);
  EXPECT_EQ(PixelAt(*single, 3, 0), only);
}

TEST_F(ImageBaseTest, OpaqueBoundsCropAndTransparency) {
  auto image = MakePicture(10, 12, 4, Pattern::kTransparent);
  qvRect bounds;
  ASSERT_EQ(image->GetOpaqueBounds(&bounds), 1);
  EXPECT_TRUE(bounds.right <= bounds.left);
  EXPECT_EQ(image->HasTransparency(), 1);

  image->GetPixelAddress(5, 7)[3] = 1;
  image->GetPixelAddress(5, 7)[0] = 99;
  ASSERT_EQ(image->GetOpaqueBounds(&bounds), 1);
  EXPECT_EQ(std::tuple(bounds.left, bounds.top, bounds.right, bounds.bottom), std::tuple(5, 7, 6, 8));

  qvRect crop{-3, 6, 7, 40};
  ASSERT_EQ(image->Crop(&crop), 1);
  EXPECT_EQ(crop.left, 0);
  EXPECT_EQ(crop.bottom, 12);
  EXPECT_EQ(image->GetWidth(), 7u);
  EXPECT_EQ(image->GetHeight(), 6u);
  EXPECT_EQ(image->GetPixelAddress(5, 1)[0], 99);
  qvRect empty{3, 3, 3, 5};
  EXPECT_EQ(image->Crop(&empty), 0);
  EXPECT_EQ(image->GetWidth(), 7u);

  image->GetPixelAddress(0, 0)[0] = 50;
  image->GetPixelAddress(6, 5)[1] = 50;  // the last row is cleared too
  image->ClearTransparentColour();
  EXPECT_EQ(image->GetPixelAddress(0, 0)[0], 0);
  EXPECT_EQ(image->GetPixelAddress(6, 5)[1], 0);
  EXPECT_EQ(image->GetPixelAddress(5, 1)[0], 99);

  auto opaque = MakePicture(3, 3, 3, Pattern::kNoise);
  EXPECT_EQ(opaque->HasTransparency(), 0);
}

TEST_F(ImageBaseTest, BlitClipsBothSides) {
  auto target = MakePicture(4, 4, 4, Pattern::kTransparent);
  auto source = MakePicture(3, 3, 4, Pattern::kNoise);
  ASSERT_EQ(target->Blit(2, 2, source.get(), 0, 0, 3, 3), 1);
  EXPECT_EQ(PixelAt(*target, 3, 3), PixelAt(*source, 1, 1));
  EXPECT_EQ(PixelAt(*target, 1, 1), 0u);
  // A negative destination skips the source part that falls outside.
  ASSERT_EQ(target->Blit(-1, -1, source.get(), 0, 0, 3, 3), 1);
  EXPECT_EQ(PixelAt(*target, 0, 0), PixelAt(*source, 1, 1));
  EXPECT_EQ(target->Blit(4, 0, source.get(), 0, 0, 3, 3), 0);
  auto rgb = MakePicture(3, 3, 3, Pattern::kNoise);
  EXPECT_EQ(target->Blit(0, 0, rgb.get(), 0, 0, 3, 3), 0);
}

TEST_F(ImageBaseTest, CopyFromResolvesTheCanvas) {
  auto source = MakePicture(5, 4, 4, Pattern::kNoise);
  source->SetOffset(1, 2);
  source->SetBase(3, 4);
  auto copy = Make<qvImage>();
  ASSERT_EQ(copy->CopyFrom(source.get()), 1);
  EXPECT_EQ(PixelAt(*copy, 4, 3), PixelAt(*source, 4, 3));
  EXPECT_EQ(Geometry(*copy), (std::array<std::uint32_t, 6>{1, 2, 5, 4, 3, 4}));
  EXPECT_EQ(copy->GetValidRect().right, 5);
  EXPECT_EQ(copy->GetValidRect().bottom, 4);
  auto empty = Make<qvImage>();
  EXPECT_EQ(copy->CopyFrom(empty.get()), 0);
  EXPECT_EQ(copy->CopyFrom(nullptr), 0);
}

TEST_F(ImageBaseTest, AttributesKeepOneRecordPerKey) {
  auto image = Make<qvImage>();
  std::uint8_t first[20] = {1};
  std::uint8_t second[20] = {2};
  EXPECT_EQ(image->SetAttribute(3, 0, first), 1);
  // The record is the image's own copy, kept while other records come.
  EXPECT_EQ(image->SetAttribute(5, 0, second), 1);
  EXPECT_EQ(image->GetAttribute(3)[0], 1);
  EXPECT_EQ(image->SetAttribute(65536 + 3, 0, second), 1);
  ASSERT_NE(image->GetAttribute(3), nullptr);
  EXPECT_EQ(image->GetAttribute(3)[0], 2);
  EXPECT_EQ(image->SetAttribute(4, 1, first), 0);
  EXPECT_EQ(image->GetAttribute(4), nullptr);
}

}  // namespace

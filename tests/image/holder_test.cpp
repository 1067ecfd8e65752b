#include "image/image_holder.h"
#include "image/image_jpeg.h"
#include "image/image_png.h"
#include "image/image_webp.h"
#include "support/picture_files.h"

#include <gtest/gtest.h>

#include <utility>

namespace qvtest {
namespace {

class HolderTest : public ImageTest {};

std::pair<std::uint32_t, std::uint32_t> SizeOf(const qvImageHolder& holder) {
  std::uint32_t width = 0, height = 0;
  holder.GetSize(&width, &height);
  return {width, height};
}

// The type codes are the engine's: 1 BMP, 2 PSD, 3 QVF, 4 HG-2, 5 JPEG,
// 6 HG-3, 7 PNG, 8 WebP.
TEST_F(HolderTest, EachFormatGetsItsDecoderAndTypeCode) {
  auto picture = MakePicture(4, 3, 4, Pattern::kGradient);
  auto rgb = MakePicture(4, 3, 3, Pattern::kGradient);
  const struct {
    Bytes bytes;
    std::uint32_t type, width, height;
  } cases[] = {
      {BuildBmp(2, 2, 32, Bytes(16, 1)), 1, 2, 2}, {BuildPsd(2, 2, 3, 0, Bytes(12, 1)), 2, 2, 2},
      {SaveQvf(*picture), 3, 4, 3},                {SaveHg2(*picture), 4, 4, 3},
      {SaveAs<qvImageJpeg>(*rgb), 5, 4, 3},       {SaveHg3(*picture), 6, 4, 3},
      {SaveAs<qvImagePng>(*picture), 7, 4, 3},    {SaveAs<qvImageWebP>(*picture), 8, 4, 3},
  };
  for (const auto& c : cases) {
    qvImageHolder holder;
    const qvMemBlock block = View(c.bytes);
    EXPECT_EQ(qvImageHolder::ProbeType(&block), c.type);
    EXPECT_NE(holder.LoadFromMemory(&block, 0, 0), nullptr) << c.type;
    EXPECT_EQ(holder.GetImageType(), c.type);
    EXPECT_NE(holder.GetPixels(), nullptr);
    EXPECT_GT(holder.GetStride(), 0u);
    EXPECT_EQ(SizeOf(holder), std::pair(c.width, c.height)) << c.type;
  }
  // A JPEG cut before its header is complete is no JPEG to the holder.
  const Bytes jpeg = SaveAs<qvImageJpeg>(*rgb);
  const Bytes cut(jpeg.begin(), jpeg.begin() + 20);
  const qvMemBlock block = View(cut);
  EXPECT_NE(qvImageHolder::ProbeType(&block), 5u);
}

TEST_F(HolderTest, FirstProbeDecidesAndFailuresAreNotRetried) {
  // "HG-3" in front of a valid QVF body still goes to the HG-3 decoder.
  auto picture = MakePicture(4, 3, 4, Pattern::kGradient);
  Bytes bytes = SaveQvf(*picture);
  std::copy_n("HG-3", 4, bytes.begin());
  qvImageHolder holder;
  const qvMemBlock block = View(bytes);
  EXPECT_EQ(holder.LoadFromMemory(&block, 0, 0), nullptr);
  EXPECT_EQ(holder.GetImageType(), kImageTypeHg3);
  // A 16-bit bitmap is not taken as BMP; nothing else accepts it.
  const Bytes bmp16 = BuildBmp(2, 2, 16, Bytes(8, 1));
  const qvMemBlock bmp_block = View(bmp16);
  EXPECT_EQ(qvImageHolder::ProbeType(&bmp_block), kImageTypeNone);
  EXPECT_EQ(holder.LoadFromMemory(&bmp_block, 0, 0), nullptr);
  EXPECT_EQ(holder.GetImageType(), kImageTypeHg3) << "the type stays when no probe accepts";
}

TEST_F(HolderTest, GettersAreEmptyBeforeAndAfterAFailedLoad) {
  qvImageHolder holder;
  auto expect_empty = [&] {
    std::uint32_t w = 1, h = 1;
    EXPECT_EQ(holder.GetSize(&w, &h), 0u);
    EXPECT_EQ(w, 0u);
    EXPECT_EQ(h, 0u);
    EXPECT_EQ(holder.GetSize(nullptr, nullptr), 0u);
    EXPECT_EQ(holder.GetImage(), nullptr);
    EXPECT_EQ(holder.GetPixels(), nullptr);
    EXPECT_EQ(holder.GetStride(), 0u);
    EXPECT_EQ(holder.GetBytesPerPixel(), 0u);
  };
  expect_empty();
  EXPECT_EQ(holder.GetImageType(), kImageTypeNone);
  const Bytes good = BuildBmp(2, 2, 32, Bytes(16, 1));
  const qvMemBlock good_block = View(good);
  ASSERT_NE(holder.LoadFromMemory(&good_block, 0, 0), nullptr);
  const Bytes short_bmp = BuildBmp(2, 2, 32, Bytes(15, 1));
  const qvMemBlock short_block = View(short_bmp);
  EXPECT_EQ(holder.LoadFromMemory(&short_block, 0, 0), nullptr);
  EXPECT_EQ(holder.GetImageType(), kImageTypeBmp);
  expect_empty();
  EXPECT_EQ(holder.LoadFromMemory(nullptr, 0, 0), nullptr);
}

// An HG-3 file of a 2 x 2 picture placed at (x, y) on a canvas of w x h.
Bytes Hg3OnCanvas(std::uint32_t w, std::uint32_t h, std::uint32_t x, std::uint32_t y) {
  auto picture = MakePicture(2, 2, 4, Pattern::kGradient);
  picture->SetCanvasSize(w, h);
  picture->SetOffset(x, y);
  return SaveHg3(*picture);
}

TEST_F(HolderTest, ExpansionFailsForCanvasesThatCannotHoldTheFrame) {
  const struct {
    std::uint32_t w, h, x, y;
    const char* why;
  } cases[] = {
      // The padded canvas size wraps around to 64 KiB in 64 bits.
      {0xFFFF0001u, 0x40004000u, 0, 0, "a canvas size that wraps around"},
      {100000, 100000, 0, 0, "a canvas over the size limit"},
      {10, 10, 50, 50, "a frame wholly off its canvas"},
  };
  for (const auto& c : cases) {
    const Bytes file = Hg3OnCanvas(c.w, c.h, c.x, c.y);
    ASSERT_FALSE(file.empty());
    const qvMemBlock block = View(file);
    qvImageHolder holder;
    EXPECT_NE(holder.LoadFromMemory(&block, 0, 0), nullptr) << c.why;
    EXPECT_EQ(holder.LoadFromMemory(&block, 1, 0), nullptr) << c.why;
    EXPECT_EQ(holder.GetImage(), nullptr) << c.why;
  }
  // A canvas that clips the frame still holds part of it, here as wide as
  // the frame.
  const Bytes clipped = Hg3OnCanvas(2, 3, 0, 2);
  const qvMemBlock block = View(clipped);
  qvImageHolder holder;
  ASSERT_NE(holder.LoadFromMemory(&block, 1, 0), nullptr);
  EXPECT_EQ(SizeOf(holder), std::pair(2u, 3u));
}

}  // namespace
}  // namespace qvtest

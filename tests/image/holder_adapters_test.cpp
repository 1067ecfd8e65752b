// The holder picks the library-backed decoders by their signatures and
// reports the type codes the engine uses for them: 5 JPEG, 7 PNG, 8 WebP.
#include "image/image_holder.h"
#include "image/image_jpeg.h"
#include "image/image_png.h"
#include "image/image_webp.h"
#include "support/image_test_support.h"

#include <gtest/gtest.h>

namespace {

using namespace qvtest;

class HolderAdaptersTest : public ImageTest {};

template <typename Codec>
Bytes Saved(std::uint32_t bpp) {
  auto image = Make<Codec>();
  image->CreateBlank(6, 4, bpp);
  for (std::uint32_t y = 0; y < 4; ++y)
    for (std::uint32_t x = 0; x < 6; ++x) {
      std::uint8_t* p = image->GetPixelAddress(x, y);
      p[0] = static_cast<std::uint8_t>(40 * x);
      p[1] = static_cast<std::uint8_t>(60 * y);
      p[2] = 128;
      if (bpp == 4) p[3] = 255;
    }
  OwnedBlock out;
  EXPECT_EQ(image->Save(&out.block, 0, 0, 0, 0), 1);
  return out.ToBytes();
}

TEST_F(HolderAdaptersTest, JpegPngAndWebPGetTheirTypeCodes) {
  const struct {
    Bytes bytes;
    std::uint32_t type;
  } cases[] = {{Saved<qvImageJpeg>(3), 5}, {Saved<qvImagePng>(4), 7}, {Saved<qvImageWebP>(4), 8}};
  for (const auto& c : cases) {
    ASSERT_FALSE(c.bytes.empty()) << c.type;
    const qvMemBlock block = View(c.bytes);
    EXPECT_EQ(qvImageHolder::ProbeType(&block), c.type);
    qvImageHolder holder;
    ASSERT_NE(holder.LoadFromMemory(&block, 0, 0), nullptr) << c.type;
    EXPECT_EQ(holder.GetImageType(), c.type);
    std::uint32_t width = 0, height = 0;
    holder.GetSize(&width, &height);
    EXPECT_EQ(width, 6u);
    EXPECT_EQ(height, 4u);
  }
  // A JPEG cut before its header is complete is no JPEG to the holder.
  const Bytes jpeg = Saved<qvImageJpeg>(3);
  const Bytes cut(jpeg.begin(), jpeg.begin() + 20);
  const qvMemBlock block = View(cut);
  EXPECT_NE(qvImageHolder::ProbeType(&block), 5u);
}

}  // namespace

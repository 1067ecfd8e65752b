// The HG-3 writer against the decoder: every written file reads back as
// the picture it came from.
#include "image/hg3_writer.h"
#include "image/image_hg3.h"
#include "support/image_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

namespace {

using namespace qvtest;

class Hg3WriterTest : public ImageTest {};

ImagePtr<qvImageHg3> WriteAndRead(const std::vector<Hg3FrameSource>& frames, std::uint32_t id = 0) {
  OwnedBlock file;
  EXPECT_EQ(WriteHg3(frames.data(), frames.size(), &file.block), 1);
  EXPECT_EQ(file.block.size, file.block.capacity);
  auto image = Make<qvImageHg3>();
  EXPECT_EQ(image->Load(&file.block, id), 1);
  return image;
}

// With `with_alpha` false the decoded alpha must be 255.
void ExpectSamePixels(const qvImage& decoded, const qvImage& source, bool with_alpha) {
  Bytes expected = Bgra(source);
  for (std::size_t i = 3; i < expected.size() && !with_alpha; i += 4) expected[i] = 255;
  EXPECT_EQ(Bgra(decoded), expected);
}

using RoundTripCase = std::tuple<std::pair<int, int>, int, int, Pattern>;

class Hg3RoundTripTest : public ImageTest, public ::testing::WithParamInterface<RoundTripCase> {};

TEST_P(Hg3RoundTripTest, LosslessRowBlocks) {
  const auto [size, bits, rows_per_block, pattern] = GetParam();
  for (std::uint32_t source_bpp : {3u, 4u}) {
    auto source = MakePicture(size.first, size.second, source_bpp, pattern, size.first * 31 + bits);
    source->SetOffset(5, 6);
    source->SetCanvasSize(size.first + 10, size.second + 10);
    source->SetBase(1, 2);
    Hg3FrameSource frame{source.get(), {}};
    frame.options.bits_per_pixel = bits;
    frame.options.rows_per_block = rows_per_block;
    auto decoded = WriteAndRead({frame});
    ASSERT_EQ(decoded->GetBytesPerPixel(), 4u);
    ASSERT_EQ(decoded->GetStride(), size.first * 4u);
    ExpectSamePixels(*decoded, *source, bits == 32 && source_bpp == 4);
    const std::uint32_t width = size.first, height = size.second;
    EXPECT_EQ(Geometry(*decoded), (std::array<std::uint32_t, 6>{5, 6, width + 10, height + 10, 1, 2}));
    const bool transparent = bits == 32 && source->HasTransparency() != 0;
    EXPECT_EQ(decoded->GetAlphaState(), transparent ? kAlphaTransparent : kAlphaOpaque);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, Hg3RoundTripTest,
    ::testing::Combine(::testing::Values(std::pair{1, 1}, std::pair{2, 1}, std::pair{1, 3},
                                         std::pair{3, 5}, std::pair{17, 9}, std::pair{131, 67}),
                       ::testing::Values(24, 32), ::testing::Values(0, 1, 4),
                       ::testing::Values(Pattern::kNoise, Pattern::kTransparent,
                                         Pattern::kGradient, Pattern::kSparse)));

TEST_F(Hg3WriterTest, TagsAndFramesRoundTrip) {
  auto first = MakePicture(4, 4, 4, Pattern::kNoise, 1);
  auto second = MakePicture(6, 2, 4, Pattern::kGradient, 2);
  Hg3FrameSource frames[2] = {{first.get(), {}}, {second.get(), {}}};
  frames[0].options.id = 7;
  frames[1].options.id = 9;
  frames[1].options.cptype = 4;
  Hg3Attribute attribute;
  attribute.key = 300;
  attribute.record[0] = 42;
  frames[1].options.attributes = {attribute};
  auto decoded = WriteAndRead({frames[0], frames[1]}, 9);
  ExpectSamePixels(*decoded, *second, true);
  EXPECT_EQ(decoded->GetCptype(), 4u);
  ASSERT_NE(decoded->GetAttribute(300), nullptr);
  EXPECT_EQ(decoded->GetAttribute(300)[0], 42);
  // The record, the last tag of the file, holds 20 bytes after its 16-byte
  // tag header.
  OwnedBlock file;
  ASSERT_EQ(WriteHg3(&frames[1], 1, &file.block), 1);
  const Bytes bytes = file.ToBytes();
  const char name[] = "ats300";  // with its terminating zero
  EXPECT_EQ(bytes.end() - std::search(bytes.begin(), bytes.end(), name, name + 7), 16 + 20);

  // imgmode 1 stores the rows as they are; the reader then swaps them.
  frames[0].options.imgmode = 1;
  auto swapped = WriteAndRead({frames[0]}, 7);
  const std::uint8_t* in = first->GetPixelAddress(1, 1);
  const std::uint8_t* out = swapped->GetPixelAddress(1, 1);
  EXPECT_EQ(out[0], in[2]);
  EXPECT_EQ(out[2], in[0]);
}

TEST_F(Hg3WriterTest, PayloadFramesComeBackBlueFirst) {
  auto source = MakePicture(32, 16, 4, Pattern::kGradient);
  for (Hg3Payload payload : {Hg3Payload::kWebP, Hg3Payload::kJpeg}) {
    for (std::uint32_t bits : {24u, 32u}) {
      Hg3FrameSource frame{source.get(), {}};
      frame.options.payload = payload;
      frame.options.bits_per_pixel = bits;
      frame.options.quality = 100;
      auto decoded = WriteAndRead({frame});
      ASSERT_EQ(decoded->GetWidth(), 32u);
      for (std::uint32_t y = 0; y < 16; y += 5) {
        for (std::uint32_t x = 0; x < 32; x += 7) {
          const std::uint8_t* a = decoded->GetPixelAddress(x, y);
          const std::uint8_t* b = source->GetPixelAddress(x, y);
          for (int c = 0; c < 3; ++c) EXPECT_NEAR(a[c], b[c], 12) << x << "," << y << " c" << c;
          // The JPEG alpha plane is lossless.
          if (bits == 32 && payload == Hg3Payload::kJpeg) {
            EXPECT_EQ(a[3], b[3]);
          }
          if (bits == 24) {
            EXPECT_EQ(a[3], 255);
          }
        }
      }
    }
  }
}

TEST_F(Hg3WriterTest, RefusesWhatItCannotWrite) {
  OwnedBlock out;
  auto empty = Make<qvImage>();
  Hg3FrameSource frame{empty.get(), {}};
  EXPECT_EQ(WriteHg3(&frame, 1, &out.block), 0);
  auto picture = MakePicture(2, 2, 4, Pattern::kNoise);
  frame.image = picture.get();
  frame.options.bits_per_pixel = 16;
  EXPECT_EQ(WriteHg3(&frame, 1, &out.block), 0);
  EXPECT_EQ(WriteHg3(nullptr, 0, &out.block), 0);
  // Wider than WebP (16383) and JPEG (65500) can code: the coder refuses.
  for (const auto& [payload, width] : {std::pair{Hg3Payload::kWebP, 16384u},
                                       std::pair{Hg3Payload::kJpeg, 65501u}}) {
    auto wide = MakePicture(width, 1, 4, Pattern::kGradient);
    Hg3FrameSource too_wide{wide.get(), {}};
    too_wide.options.payload = payload;
    EXPECT_EQ(WriteHg3(&too_wide, 1, &out.block), 0) << width;
    EXPECT_EQ(out.block.data, nullptr);
  }
}

}  // namespace

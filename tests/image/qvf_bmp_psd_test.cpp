#include "image/image_bmp.h"
#include "image/image_psd.h"
#include "image/image_qvf.h"
#include "support/picture_files.h"

#include <gtest/gtest.h>


namespace qvtest {
namespace {

class QvfTest : public ImageTest {};
class BmpTest : public ImageTest {};
class PsdTest : public ImageTest {};

TEST_F(QvfTest, SaveClearsTransparentColourAndPicksTheLowestModeOnTies) {
  // Three bytes of noise cannot be matched: every mode gives the same size.
  const Bytes saved = SaveQvf(*MakePicture(1, 1, 3, Pattern::kNoise));
  EXPECT_EQ(GetLe32(saved, 12 + 4), 0u);
  EXPECT_EQ(saved.size() % 8, 0u) << "the block is rounded up to 8 bytes";

  auto transparent = MakePicture(2, 1, 4, Pattern::kNoise);
  transparent->GetPixels()[3] = 0;
  transparent->GetPixels()[7] = 200;
  auto loaded = LoadAs<qvImageQvf>(SaveQvf(*transparent));
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(PixelAt(*loaded, 0, 0), 0u);
  EXPECT_EQ(PixelAt(*loaded, 1, 0), PixelAt(*transparent, 1, 0));
}

TEST_F(QvfTest, RefusesHeadersThatDisagreeWithTheStreamAndFieldsTooNarrow) {
  const Bytes good = SaveQvf(*MakePicture(8, 4, 4, Pattern::kNoise));  // stride 32
  ASSERT_NE(LoadAs<qvImageQvf>(good), nullptr);
  EXPECT_EQ(good.size() % 8, 0u);
  // Width, height, stride and bytes per pixel are 16-bit fields at 4 to 10.
  const struct {
    const char* why;
    std::vector<std::pair<std::size_t, std::uint16_t>> fields;
  } cases[] = {
      {"five rows of 32 bytes in a 128-byte buffer", {{6, 5}}},
      {"a stride narrower than the row", {{8, 31}}},
      {"five bytes per pixel", {{10, 5}}},
      // Each field alone out of range, the rows still inside the buffer.
      {"no width", {{4, 0}}},
      {"no height", {{6, 0}}},
      {"no bytes per pixel", {{10, 0}}},
      {"five bytes per pixel in stride 40, 3 rows", {{6, 3}, {8, 40}, {10, 5}}},
  };
  for (const auto& c : cases) {
    Bytes bad = good;
    for (const auto& [at, value] : c.fields) PutLe16(bad, at, value);
    EXPECT_EQ(LoadAs<qvImageQvf>(bad), nullptr) << c.why;
  }
  Bytes magic = good;
  magic[3] = ' ';
  EXPECT_EQ(LoadAs<qvImageQvf>(magic), nullptr);
  EXPECT_EQ(LoadAs<qvImageQvf>(Bytes(good.begin(), good.begin() + 12)), nullptr);
  // Pictures beyond the 16-bit fields are not saved.
  auto wide = Make<qvImageQvf>();
  ASSERT_EQ(wide->CreateBlank(16384 + 1, 1, 4), 1);  // stride 65540
  OwnedBlock refused;
  EXPECT_EQ(wide->Save(&refused.block, 0, 0, 0, 0), 0);
  EXPECT_EQ(refused.block.data, nullptr);
}

TEST_F(BmpTest, TwentyFourBitRowsArePaddedToFourBytes) {
  // Width 3: 9 bytes of pixels and 3 of padding per row; the offset field
  // (here 0) is ignored.
  Bytes pixels;
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 3; ++x) pixels.insert(pixels.end(), {std::uint8_t(x), std::uint8_t(y), 9});
    pixels.insert(pixels.end(), {0xEE, 0xEE, 0xEE});
  }
  Bytes file = BuildBmp(3, 2, 24, pixels);
  PutLe32(file, 10, 0);
  auto image = LoadAs<qvImageBmp>(file);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->GetBytesPerPixel(), 4u);
  EXPECT_EQ(image->GetStride(), 12u);
  EXPECT_EQ(PixelAt(*image, 2, 0), 0xFF090002u);
  EXPECT_EQ(PixelAt(*image, 1, 1), 0xFF090101u);  // file row 1 is memory row 1
}

TEST_F(BmpTest, ReadsCoreHeadersAndThirtyTwoBitAlpha) {
  Bytes pixels = {1, 2, 3, 4, 5, 6, 7, 8};
  auto image = LoadAs<qvImageBmp>(BuildBmp(2, 1, 32, pixels, 12, 54));
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(PixelAt(*image, 1, 0), 0x08070605u);
  const Bytes info(image->GetInfoHeader(), image->GetInfoHeader() + 40);
  EXPECT_EQ(GetLe32(info, 0), 40u);
  EXPECT_EQ(GetLe32(info, 12), 32u << 16 | 1) << "one plane, 32 bits";
  // A palette between header and pixels does not move the pixels.
  Bytes with_palette = BuildBmp(2, 1, 32, pixels, 40, 54);
  PutLe32(with_palette, 10, 54 + 1024);
  image = LoadAs<qvImageBmp>(with_palette);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(PixelAt(*image, 0, 0), 0x04030201u);
}

TEST_F(BmpTest, RefusesTopDownShortAndUnsupportedFiles) {
  const Bytes pixels(2 * 2 * 4, 7);
  EXPECT_NE(LoadAs<qvImageBmp>(BuildBmp(2, 2, 32, pixels)), nullptr);
  EXPECT_EQ(LoadAs<qvImageBmp>(BuildBmp(2, -2, 32, pixels)), nullptr);
  EXPECT_EQ(LoadAs<qvImageBmp>(BuildBmp(2, 3, 32, pixels)), nullptr);
  EXPECT_EQ(LoadAs<qvImageBmp>(BuildBmp(2, 2, 16, pixels)), nullptr);
  EXPECT_EQ(LoadAs<qvImageBmp>(BuildBmp(0, 2, 32, pixels)), nullptr);
  EXPECT_EQ(LoadAs<qvImageBmp>(BuildBmp(2, 2, 32, pixels, 108)), nullptr);
  // The last 24-bit row needs no padding behind it.
  EXPECT_NE(LoadAs<qvImageBmp>(BuildBmp(1, 2, 24, Bytes(4 + 3, 1))), nullptr);
  EXPECT_EQ(LoadAs<qvImageBmp>(BuildBmp(1, 2, 24, Bytes(4 + 2, 1))), nullptr);
  // The probe reads no further than the bit count at offset 28.
  const Bytes file = BuildBmp(2, 2, 24, pixels);
  const qvMemBlock to_bit_count = qvMemBlock::Borrow(file.data(), 30);
  const qvMemBlock cut_bit_count = qvMemBlock::Borrow(file.data(), 29);
  EXPECT_EQ(qvImageBmp::Probe(&to_bit_count), 1);
  EXPECT_EQ(qvImageBmp::Probe(&cut_bit_count), 0);
}

TEST_F(BmpTest, ALoadKeepsNothingOfTheEarlierPicture) {
  auto bmp = Make<qvImageBmp>();
  ASSERT_EQ(bmp->CreateBlank(1, 1, 4), 1);
  bmp->GetPixels()[3] = 255;
  ASSERT_EQ(bmp->HasTransparency(), 0);
  bmp->SetOffset(3, 4);
  bmp->SetCanvasSize(9, 9);
  bmp->SetBase(5, 6);
  const Bytes file = BuildBmp(2, 1, 32, Bytes(8, 7));
  const qvMemBlock block = View(file);
  ASSERT_EQ(bmp->Load(&block, 0), 1);
  EXPECT_EQ(Geometry(*bmp), (std::array<std::uint32_t, 6>{0, 0, 2, 1, 0, 0}));
  EXPECT_EQ(bmp->GetValidRect().right * 10 + bmp->GetValidRect().bottom, 21);
  EXPECT_EQ(bmp->HasTransparency(), 1) << "alpha 7 is found, not the earlier answer";
}

TEST_F(BmpTest, SaveWritesTheHeaderAndRowsInMemoryOrder) {
  auto bmp = Make<qvImageBmp>();
  bmp->CreateBlank(2, 2, 4);
  const Bytes pixels = {1, 2, 3, 4, 5, 6, 7, 8, 11, 12, 13, 14, 15, 16, 17, 18};
  std::copy(pixels.begin(), pixels.end(), bmp->GetPixels());
  OwnedBlock block;
  ASSERT_EQ(bmp->Save(&block.block, 0, 0, 0, 0), 1);
  Bytes expected = {'B', 'M'};
  // File size, reserved, pixel offset; header size, width, height; planes 1
  // and 32 bits; compression, image size, resolution and colours.
  for (std::uint32_t v : {70u, 0u, 54u, 40u, 2u, 2u, 1u | 32u << 16, 0u, 16u, 0u, 0u, 0u, 0u})
    AppendLe32(expected, v);
  expected.insert(expected.end(), pixels.begin(), pixels.end());
  const Bytes file = block.ToBytes();
  ASSERT_GE(file.size(), expected.size());
  EXPECT_EQ(Bytes(file.begin(), file.begin() + 70), expected);
  EXPECT_EQ(Make<qvImageBmp>()->Save(&block.block, 0, 0, 0, 0), 0);
  EXPECT_EQ(block.block.data, nullptr);  // a failed save still releases the block
}

TEST_F(PsdTest, RawPlanesInterleaveWithTheTopRowLast) {
  // 2 x 2, red plane then green then blue, rows top first.
  const Bytes planes = {10, 11, 12, 13, 20, 21, 22, 23, 30, 31, 32, 33};
  for (std::uint16_t compression : {0, 2, 3}) {
    auto image = LoadAs<qvImagePsd>(BuildPsd(2, 2, 3, compression, planes));
    ASSERT_NE(image, nullptr) << compression;
    EXPECT_EQ(image->GetStride(), 8u);
    EXPECT_EQ(PixelAt(*image, 0, 1), 0xFF0A141Eu);  // file row 0 is the last memory row
    EXPECT_EQ(PixelAt(*image, 1, 0), 0xFF0D1721u);
  }
}

TEST_F(PsdTest, PackBitsRunsAndControlByte128) {
  // Width 129, height 1: 128 repeats the next byte 129 times; a literal run
  // of two bytes ends one byte past the green plane; that byte is dropped.
  // The blue plane ends with a run or a literal reaching 127 bytes past it.
  Bytes literal = {0x81, 9, 127, 9};
  literal.resize(literal.size() + 127, 0xEE);
  for (const Bytes& blue : {Bytes{128, 9}, Bytes{0x81, 9, 0x81, 9}, literal}) {
    Bytes data(3 * 1 * 2, 0);  // row byte counts, skipped
    data.insert(data.end(), {128, 5});
    data.insert(data.end(), {0x81, 6, 1, 6, 8});  // 128 repeats, then 2 literals: 8 is dropped
    data.insert(data.end(), blue.begin(), blue.end());
    auto image = LoadAs<qvImagePsd>(BuildPsd(129, 1, 3, 1, data));
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(PixelAt(*image, 0, 0), 0xFF050609u);
    EXPECT_EQ(PixelAt(*image, 128, 0), 0xFF050609u);
  }
  // A run whose control is the file's last byte has no byte to repeat.
  Bytes cut(3 * 1 * 2, 0);
  cut.insert(cut.end(), {0x81, 5, 0x81, 6, 0x81});
  EXPECT_EQ(LoadAs<qvImagePsd>(BuildPsd(2, 1, 3, 1, cut)), nullptr);
}

TEST_F(PsdTest, HeightIsTakenModulo65536AndShortDataIsRefused) {
  const std::uint32_t height = 70000 % 65536;
  const Bytes planes(3 * height, 4);
  auto image = LoadAs<qvImagePsd>(BuildPsd(1, 70000, 3, 0, planes));
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->GetHeight(), height);
  EXPECT_EQ(LoadAs<qvImagePsd>(BuildPsd(1, 70000, 3, 0, Bytes(3 * height - 1, 4))), nullptr);
  // Row byte counts without packed rows: the probe takes it, the load does not.
  const Bytes counts_only = BuildPsd(2, 1, 3, 1, Bytes(6, 0));
  const qvMemBlock counts_block = View(counts_only);
  const qvMemBlock cut_counts = qvMemBlock::Borrow(counts_only.data(), counts_block.size - 1);
  EXPECT_EQ(qvImagePsd::Probe(&counts_block), 1);
  EXPECT_EQ(qvImagePsd::Probe(&cut_counts), 0);
  // Without any plane data the header is still a PSD header.
  const Bytes header_only = BuildPsd(1, 1, 3, 0, {});
  const qvMemBlock header_block = View(header_only);
  EXPECT_EQ(qvImagePsd::Probe(&header_block), 1);
  EXPECT_EQ(LoadAs<qvImagePsd>(header_only), nullptr);
  EXPECT_EQ(LoadAs<qvImagePsd>(counts_only), nullptr);
  for (int i = 0; i < 4; ++i) {  // every byte of "8BPS" counts
    Bytes other_magic = header_only;
    other_magic[i] ^= 1;
    const qvMemBlock other_block = View(other_magic);
    EXPECT_EQ(qvImagePsd::Probe(&other_block), 0) << i;
  }
  Bytes grey_mode = BuildPsd(1, 1, 3, 0, Bytes(3, 0));
  grey_mode[25] = 1;
  const qvMemBlock grey_block = View(grey_mode);
  EXPECT_EQ(qvImagePsd::Probe(&grey_block), 0);
  // The high half of the colour-mode data length may be 0 or 3.
  Bytes long_colour = BuildPsd(1, 1, 3, 0, Bytes(3, 0));
  long_colour[27] = 3;
  long_colour.insert(long_colour.begin() + 30, 0x30000, 0);
  EXPECT_NE(LoadAs<qvImagePsd>(long_colour), nullptr);
  Bytes long_section = BuildPsd(1, 1, 3, 0, Bytes(3, 0));
  long_section[29] = 200;  // colour-mode data longer than the file
  EXPECT_EQ(LoadAs<qvImagePsd>(long_section), nullptr);
}

}  // namespace
}  // namespace qvtest

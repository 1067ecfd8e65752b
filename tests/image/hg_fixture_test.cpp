// HG-2 and HG-3 pictures several rows tall whose bytes are written here by
// hand: the rows stored from the bottom up, the first row predicted from
// its left neighbour and every later row from the row below it, bytes
// mapped (0→0, 1→255, 2→1 …), split into four bit-pair planes and coded as
// zero runs and literal runs. A decoder or encoder that gets any of these
// steps wrong, even in a way its own partner undoes, fails here.
#include "image/image_hg2.h"
#include "image/image_hg3.h"
#include "support/picture_files.h"

#include <gtest/gtest.h>
#include <zlib.h>

namespace {

using namespace qvtest;

class HgFixtureTest : public ImageTest {};

// A 2 × 2 picture, 4 bytes per pixel (blue, green, red, alpha), top row first.
const Bytes kTopRow = {10, 20, 30, 255, 40, 50, 60, 255};
const Bytes kBottomRow = {1, 2, 3, 255, 5, 7, 9, 255};

// Its coding, bottom row first. Deltas: 1 2 3 255 4 5 6 0 | 9 18 27 0 35 43
// 51 0; mapped: 2 4 6 1 8 10 12 0 | 18 36 54 0 70 86 102 0; the planes
// (bits 7–6, 5–4, 3–2, 1–0 of each group of four bytes):
// 00 00 00 15 | 00 00 39 24 | 14 3a 14 15 | 62 08 22 2a.
const Bytes kTwoRowLiterals = {0x15, 0x39, 0x24, 0x14, 0x3a, 0x14, 0x15, 0x62, 0x08, 0x22, 0x2a};
// Bits, least significant first: 0 (zeros first), total 16, zeros 3,
// literals 1, zeros 2, literals 10.
const Bytes kTwoRowControl = {0x20, 0xb8, 0x50};

// A third row above them, stored as a block of its own: its first row is
// predicted from the left, not from the block below.
const Bytes kThirdRow = {200, 100, 50, 128, 7, 7, 7, 0};
// Deltas 200 100 50 128 63 163 213 128; mapped 111 200 100 255 126 185 85
// 255; planes dd d9 | e2 df | db db | c3 d6, all literal.
const Bytes kThirdRowLiterals = {0xdd, 0xd9, 0xe2, 0xdf, 0xdb, 0xdb, 0xc3, 0xd6};
const Bytes kThirdRowControl = {0x11, 0x08};  // 1 (literals first), total 8, literals 8

Bytes Row(const qvImage& image, std::uint32_t y) {
  const std::uint8_t* p = image.GetPixels() + std::size_t{y} * image.GetStride();
  return Bytes(p, p + std::size_t{image.GetWidth()} * image.GetBytesPerPixel());
}

Bytes Inflate(const std::uint8_t* data, std::size_t size, std::size_t expected) {
  Bytes out(expected + 16);
  uLongf length = static_cast<uLongf>(out.size());
  if (uncompress(out.data(), &length, data, static_cast<uLong>(size)) != Z_OK) return {};
  out.resize(length);
  return out;
}

TEST_F(HgFixtureTest, Hg3BlocksCountRowsFromTheBottom) {
  const Bytes file = Hg3Builder()
                         .Frame(0)
                         .Tag("stdinfo", Stdinfo(2, 3, 32))
                         .Tag("img0000", RowBlock(0, 2, kTwoRowLiterals, kTwoRowControl))
                         .Tag("img0001", RowBlock(2, 1, kThirdRowLiterals, kThirdRowControl))
                         .Build();
  const qvMemBlock block = View(file);
  auto image = Make<qvImageHg3>();
  ASSERT_EQ(image->Load(&block, 0), 1);
  ASSERT_EQ(image->GetHeight(), 3u);
  EXPECT_EQ(Row(*image, 0), kThirdRow);
  EXPECT_EQ(Row(*image, 1), kTopRow);
  EXPECT_EQ(Row(*image, 2), kBottomRow);
}

TEST_F(HgFixtureTest, Hg2DecodesTheWholePictureAsOneBlockFromTheBottom) {
  Bytes file = {'H', 'G', '-', '2'};
  const Bytes literals = ZlibCompress(kTwoRowLiterals);
  const Bytes control = ZlibCompress(kTwoRowControl);
  for (std::uint32_t v : {12u, 0x25u, 2u, 2u, 32u /* and channel depth 0 */, 0u, 0u})
    AppendLe32(file, v);
  for (std::size_t v : {literals.size(), kTwoRowLiterals.size(), control.size(), kTwoRowControl.size()})
    AppendLe32(file, static_cast<std::uint32_t>(v));
  // Payload offset, id, canvas, offset, transparency, next frame, base.
  for (std::uint32_t v : {40u, 0u, 2u, 2u, 0u, 0u, 0u, 0u, 0u, 0u}) AppendLe32(file, v);
  file.insert(file.end(), literals.begin(), literals.end());
  file.insert(file.end(), control.begin(), control.end());

  const qvMemBlock block = View(file);
  auto image = Make<qvImageHg2>();
  ASSERT_EQ(image->Load(&block, 0), 1);
  ASSERT_EQ(image->GetHeight(), 2u);
  EXPECT_EQ(Row(*image, 0), kTopRow);
  EXPECT_EQ(Row(*image, 1), kBottomRow);
}

TEST_F(HgFixtureTest, Hg2SaveWritesTheSameCoding) {
  auto image = Make<qvImageHg2>();
  image->CreateBlank(2, 2, 4);
  std::copy(kTopRow.begin(), kTopRow.end(), image->GetPixelAddress(0, 0));
  std::copy(kBottomRow.begin(), kBottomRow.end(), image->GetPixelAddress(0, 1));
  OwnedBlock out;
  ASSERT_EQ(image->Save(&out.block, 0, 0, 0, 0), 1);
  const Bytes file = out.ToBytes();
  ASSERT_GE(file.size(), 88u);
  // The encoder codes at least 1024 bytes, so each plane is 256 bytes long
  // and the picture's bytes are followed by zeros: the same literals, runs
  // of other lengths.
  const std::size_t literals_size = GetLe32(file, 32), control_size = GetLe32(file, 40);
  ASSERT_GE(file.size(), 88 + literals_size + control_size);
  EXPECT_EQ(Inflate(&file[88], literals_size, GetLe32(file, 36)), kTwoRowLiterals);
  // 0, total 1024, zeros 3, literals 1, zeros 254, literals 2, zeros 254,
  // literals 4, zeros 252, literals 4, zeros 252.
  const Bytes control = {0x00, 0x08, 0x80, 0x03, 0xfe, 0x04, 0xf8, 0x21, 0x80, 0x1f, 0x02, 0xf8, 0x01};
  EXPECT_EQ(Inflate(&file[88 + literals_size], control_size, GetLe32(file, 44)), control);
}

}  // namespace

// Decoding HG-3 files: frame choice, geometry, payload kinds, the tag pass
// and files that must fail cleanly.
#include "support/log_text.h"
#include "support/debug_log_capture.h"
#include "image/hg3_writer.h"
#include "image/image_hg3.h"
#include "image/image_jpeg.h"
#include "image/image_webp.h"
#include "support/image_test_support.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

using namespace qvtest;

class Hg3DecoderTest : public ImageTest {};

// The one-pixel row block of the worked example: planes 0, 0, 5, 7.
Bytes WorkedBlock() { return RowBlock(0, 1, {5, 7}, {0x88, 0x04}); }

// A one-frame file with the given stdinfo and row block.
Bytes OneBlockFile(const Bytes& info, const Bytes& block) {
  return Hg3Builder().Frame(0).Tag("stdinfo", info).Tag("img0000", block).Build();
}

Bytes WorkedExample() { return OneBlockFile(Stdinfo(1, 1, 32), WorkedBlock()); }

Bytes Encode(const std::vector<Hg3FrameSource>& frames) {
  OwnedBlock out;
  EXPECT_EQ(WriteHg3(frames.data(), frames.size(), &out.block), 1);
  return out.ToBytes();
}

// A solid picture saved by one of the adapters, red first.
template <typename Codec>
Bytes SolidRedFirst(std::uint32_t width, std::uint32_t height, std::uint8_t r, std::uint8_t g,
                    std::uint8_t b, std::uint32_t bpp) {
  auto image = Make<qvImage>();
  image->CreateBlank(width, height, bpp);
  const std::uint8_t colour[] = {r, g, b, 255};
  for (std::uint32_t i = 0; i < width * height; ++i)
    std::copy_n(colour, bpp, image->GetPixelAddress(i % width, i / width));
  const Bytes file = SaveAs<Codec>(*image);
  EXPECT_FALSE(file.empty());
  return file;
}

bool Near(int a, int b) { return std::abs(a - b) <= 6; }

TEST_F(Hg3DecoderTest, WorkedOnePixelFileDecodesByteForByte) {
  const Bytes file = WorkedExample();
  auto image = LoadAs<qvImageHg3>(file);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->GetWidth(), 1u);
  EXPECT_EQ(image->GetHeight(), 1u);
  EXPECT_EQ(image->GetBytesPerPixel(), 4u);
  EXPECT_EQ(image->GetStride(), 4u);
  const std::uint8_t* p = image->GetPixels();
  EXPECT_EQ(Bytes(p, p + 4), (Bytes{252, 253, 0, 0}));
  EXPECT_EQ(Geometry(*image), (std::array<std::uint32_t, 6>{3, 4, 11, 21, 7, 8}));
  EXPECT_EQ(image->GetAlphaState(), kAlphaOpaque);
  const qvMemBlock block = View(file);
  EXPECT_EQ(qvImageHg3::Probe(&block), 1);
}

TEST_F(Hg3DecoderTest, FramesAreChosenByIdOrByIndex) {
  auto red = MakePicture(3, 2, 4, Pattern::kNoise, 1);
  auto green = MakePicture(5, 4, 4, Pattern::kNoise, 2);
  auto blue = MakePicture(2, 2, 4, Pattern::kNoise, 3);
  Hg3FrameSource frames[3] = {{red.get(), {}}, {green.get(), {}}, {blue.get(), {}}};
  frames[0].options.id = 10;
  frames[1].options.id = 20;
  frames[2].options.id = 10;
  const Bytes file = Encode({frames[0], frames[1], frames[2]});
  const qvMemBlock block = View(file);

  auto image = Make<qvImageHg3>();
  ASSERT_EQ(image->Load(&block, 20), 1);
  EXPECT_EQ(image->GetWidth(), 5u);

  std::uint32_t id = 0;
  ASSERT_EQ(image->LoadByIndex(&block, 1, &id), 1);
  EXPECT_EQ(id, 20u);
  // The third frame shares id 10 with the first; the first one is decoded.
  ASSERT_EQ(image->LoadByIndex(&block, 2, &id), 1);
  EXPECT_EQ(id, 10u);
  EXPECT_EQ(image->GetWidth(), 3u);
  EXPECT_EQ(PixelAt(*image, 2, 1), PixelAt(*red, 2, 1));
  EXPECT_EQ(image->LoadByIndex(&block, 3, &id), 0);
  EXPECT_EQ(image->Load(&block, 30), 0);
}

TEST_F(Hg3DecoderTest, OnlyFrameWithIdFiveFailsLoadSilentlyButLoadsByIndex) {
  Bytes file = WorkedExample();
  file[16] = 5;  // the frame id
  const qvMemBlock block = View(file);
  auto image = Make<qvImageHg3>();
  {
    DebugLogCapture log;
    EXPECT_EQ(image->Load(&block, 0), 0);
    EXPECT_EQ(log.Contents().find("HG3"), std::string::npos);
  }
  std::uint32_t id = 0;
  ASSERT_EQ(image->LoadByIndex(&block, 0, &id), 1);
  EXPECT_EQ(id, 5u);
}

TEST_F(Hg3DecoderTest, HeaderFaultsAreLoggedExceptMissingMagicByIndex) {
  Bytes wrong_magic = WorkedExample();
  wrong_magic[3] = '2';
  Bytes wrong_size = WorkedExample();
  wrong_size[4] = 16;
  auto image = Make<qvImageHg3>();
  std::uint32_t id = 0;
  {
    DebugLogCapture log;
    const qvMemBlock block = View(wrong_magic);
    EXPECT_EQ(image->LoadByIndex(&block, 0, &id), 0);
    EXPECT_EQ(log.Contents().find("HG3"), std::string::npos);
    EXPECT_EQ(image->Load(&block, 0), 0);
    EXPECT_TRUE(Logged(log, "HG3 : ヘッダが違います"));
    EXPECT_EQ(qvImageHg3::Probe(&block), 0);
  }
  {
    DebugLogCapture log;
    const qvMemBlock block = View(wrong_size);
    EXPECT_EQ(image->Load(&block, 0), 0);
    EXPECT_TRUE(Logged(log, "HG3 : ヘッダサイズが違います"));
  }
}

TEST_F(Hg3DecoderTest, WebPPayloadWinsOverJpegAndJpegTagSwapsChannels) {
  const Bytes webp = SolidRedFirst<qvImageWebP>(8, 8, 200, 30, 40, 4);
  const Bytes jpeg = SolidRedFirst<qvImageJpeg>(8, 8, 20, 220, 20, 3);
  auto decode = [](const Bytes& file) {
    auto image = LoadAs<qvImageHg3>(file);
    EXPECT_NE(image, nullptr);
    return image;
  };
  auto swapped = decode(Hg3Builder()
                            .Frame(0)
                            .Tag("stdinfo", Stdinfo(8, 8, 32))
                            .Tag("img_jpg", jpeg)
                            .Tag("img_wbp", webp)
                            .Build());
  const std::uint8_t* p = swapped->GetPixelAddress(3, 3);
  EXPECT_TRUE(Near(p[0], 40) && Near(p[1], 30) && Near(p[2], 200)) << int(p[0]) << " " << int(p[2]);
  EXPECT_EQ(p[3], 255);
  EXPECT_EQ(swapped->GetChannelOrder(), 0u);

  auto kept = decode(Hg3Builder()
                         .Frame(0)
                         .Tag("stdinfo", Stdinfo(8, 8, 32))
                         .Tag("img_wbp", webp)
                         .Tag("img_jpg", jpeg)
                         .Tag("imgmode", {0, 0, 0, 0})
                         .Build());
  p = kept->GetPixelAddress(3, 3);
  EXPECT_TRUE(Near(p[0], 200) && Near(p[2], 40));
}

TEST_F(Hg3DecoderTest, JpegAlphaPlaneIsUsedOnlyWhenItsSizeMatches) {
  const Bytes jpeg = SolidRedFirst<qvImageJpeg>(4, 2, 100, 100, 100, 3);
  Bytes alpha(8);
  for (std::size_t i = 0; i < alpha.size(); ++i) alpha[i] = static_cast<std::uint8_t>(i * 30);
  // A stream that inflates to more than the stated size does not match.
  Bytes longer = alpha;
  longer.push_back(99);
  auto plane = [&](const Bytes& stream, std::uint32_t unpacked) {
    const Bytes packed = ZlibCompress(stream);
    Bytes data;
    AppendLe32(data, static_cast<std::uint32_t>(packed.size()));
    AppendLe32(data, unpacked);
    data.insert(data.end(), packed.begin(), packed.end());
    return data;
  };
  const struct {
    const Bytes* stream;
    std::uint32_t unpacked;
    bool used;
  } cases[] = {{&alpha, 8, true}, {&alpha, 7, false}, {&alpha, 9, false}, {&longer, 8, false}};
  for (const auto& c : cases) {
    const Bytes file = Hg3Builder()
                           .Frame(0)
                           .Tag("stdinfo", Stdinfo(4, 2, 32, 1))
                           .Tag("img_jpg", jpeg)
                           .Tag("img_al", plane(*c.stream, c.unpacked))
                           .Build();
    auto image = LoadAs<qvImageHg3>(file);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->GetAlphaState(), kAlphaTransparent);
    for (std::uint32_t i = 0; i < 8; ++i) {
      const std::uint8_t a = image->GetPixelAddress(i % 4, i / 4)[3];
      EXPECT_EQ(a, c.used ? alpha[i] : 255) << c.stream->size() << " " << c.unpacked << " " << i;
    }
  }
}

TEST_F(Hg3DecoderTest, TagPassSetsCptypeChannelOrderAndAttributes) {
  Bytes first(20, 1);
  Bytes second(20, 2);
  const Bytes file = Hg3Builder()
                         .Frame(0)
                         .Tag("stdinfo", Stdinfo(1, 1, 32))
                         .Tag("img0000", WorkedBlock())
                         .Tag("cptype", {3, 0, 0, 0})
                         .Tag("imgmode", {1, 0, 0, 0})
                         .Tag("ats10", first)
                         .Tag("ats0x0A", second)
                         .Tag("ats-1", first)
                         .Tag("ats1.5", first)
                         .Tag("atsx", first)
                         .Tag("ats7", {9, 9})
                         .Build();
  auto image = LoadAs<qvImageHg3>(file);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->GetCptype(), 3u);
  auto copy = Make<qvImage>();
  ASSERT_EQ(copy->CopyFrom(image.get()), 1);
  EXPECT_EQ(copy->GetCptype(), 3u);
  // imgmode 1 swaps the row-block pixels too.
  const std::uint8_t* p = image->GetPixels();
  EXPECT_EQ(Bytes(p, p + 4), (Bytes{0, 253, 252, 0}));
  EXPECT_EQ(image->GetChannelOrder(), 0u);
  ASSERT_NE(image->GetAttribute(10), nullptr);
  EXPECT_EQ(image->GetAttribute(10)[19], 2);
  ASSERT_NE(image->GetAttribute(0xFFFF), nullptr);
  EXPECT_EQ(image->GetAttribute(1), nullptr);
  // A short record is completed with zeros.
  ASSERT_NE(image->GetAttribute(7), nullptr);
  EXPECT_EQ(image->GetAttribute(7)[1], 9);
  EXPECT_EQ(image->GetAttribute(7)[2], 0);
}

// Broken files: every one must fail without touching memory it does not
// own (the sanitizer builds check that part).
TEST_F(Hg3DecoderTest, BrokenFilesFailCleanly) {
  const Bytes good = WorkedBlock();
  const Bytes one_pixel = Stdinfo(1, 1, 32);
  auto worked_rows = [](std::uint32_t first, std::uint32_t rows) {
    return RowBlock(first, rows, {5, 7}, {0x88, 0x04});
  };
  auto with_tag = [](const Bytes& info, const char* tag, const Bytes& data) {
    return Hg3Builder().Frame(0).Tag("stdinfo", info).Tag(tag, data).Build();
  };
  auto two_blocks = [&](const Bytes& info, const Bytes& second) {
    return Hg3Builder().Frame(0).Tag("stdinfo", info).Tag("img0000", good).Tag("img0001", second).Build();
  };
  // `bytes` with byte `at` set to `value`.
  auto patched = [](Bytes bytes, std::size_t at, std::uint8_t value) {
    bytes[at] = value;
    return bytes;
  };
  const Bytes worked = WorkedExample();
  const std::pair<const char*, Bytes> corpus[] = {
      {"16-bit depth", OneBlockFile(Stdinfo(1, 1, 16), good)},
      {"zero depth", OneBlockFile(Stdinfo(1, 1, 0), good)},
      {"zero width", OneBlockFile(Stdinfo(0, 1, 32), good)},
      {"huge picture", OneBlockFile(Stdinfo(65535, 65535, 32), good)},
      // 2^31 x 2^31 x 4 bytes is 0 in 64-bit arithmetic.
      {"size that wraps around",
       OneBlockFile(Stdinfo(0x80000000u, 0x80000000u, 32), worked_rows(0, 0x80000000u))},
      {"short stdinfo", OneBlockFile(Bytes(39, 1), good)},
      {"no stdinfo", Hg3Builder().Frame(0).Tag("img0000", good).Build()},
      {"rows past the height", OneBlockFile(one_pixel, worked_rows(1, 1))},
      {"no row blocks", with_tag(one_pixel, "img_jp", {})},
      {"rows left uncovered", OneBlockFile(Stdinfo(1, 2, 32), good)},
      {"a row between blocks left uncovered", two_blocks(Stdinfo(1, 3, 32), worked_rows(2, 1))},
      {"an empty block past the height", two_blocks(one_pixel, worked_rows(2, 0))},
      {"block header cut", OneBlockFile(one_pixel, Bytes(good.begin(), good.begin() + 20))},
      {"packed size past the tag", OneBlockFile(one_pixel, patched(good, 8, 200))},
      // The sizes that disagree with their streams are in the logging test.
      {"control size implausible", OneBlockFile(one_pixel, patched(good, 23, 0x7F))},
      // Total 6: not a multiple of 4.
      {"run total not a multiple of 4",
       OneBlockFile(Stdinfo(2, 1, 24), RowBlock(0, 1, {5, 7, 1, 2, 3, 4}, {0x19, 0x03}))},
      {"literal run past the literals", OneBlockFile(one_pixel, RowBlock(0, 1, {5}, {0x88, 0x04}))},
      {"control bits cut", OneBlockFile(one_pixel, RowBlock(0, 1, {5, 7}, {0x88}))},
      {"webp payload of another size",
       with_tag(Stdinfo(9, 8, 32), "img_wbp", SolidRedFirst<qvImageWebP>(8, 8, 1, 2, 3, 4))},
      {"jpeg payload of another size",
       with_tag(Stdinfo(8, 9, 32), "img_jpg", SolidRedFirst<qvImageJpeg>(8, 8, 1, 2, 3, 3))},
      {"webp payload garbage", with_tag(Stdinfo(8, 8, 32), "img_wbp", Bytes(64, 0x52))},
      {"tag length past the end", patched(worked, 12 + 8 + 12, 0xFF)},
      {"tag chain past the end", patched(worked, 12 + 8 + 8, 0xF0)},
      {"header only", Bytes(worked.begin(), worked.begin() + 12)},
      {"empty", Bytes()},
  };
  for (const auto& [name, file] : corpus) {
    const qvMemBlock block = View(file);
    auto image = Make<qvImageHg3>();
    std::uint32_t id = 0;
    EXPECT_EQ(image->Load(&block, 0), 0) << name;
    EXPECT_EQ(image->LoadByIndex(&block, 0, &id), 0) << name;
  }
}

// Control bits: a first bit, then Elias-gamma numbers.
Bytes ControlBits(int first, const std::vector<std::uint32_t>& numbers) {
  std::vector<int> bits = {first};
  for (std::uint32_t n : numbers) AppendGamma(bits, n);
  return PackBits(bits);
}

TEST_F(Hg3DecoderTest, BlocksMayOverlapOrHoldNoRowTheLaterOneWins) {
  // 1 x 2: block 0 and block 1 both code the bottom row, block 1 last;
  // block 2 codes the top row; block 3 holds no row at all.
  const Bytes worked = {0x88, 0x04};  // T = 4: zero run 2, literal run 2
  const Bytes file = Hg3Builder()
                         .Frame(0)
                         .Tag("stdinfo", Stdinfo(1, 2, 32))
                         .Tag("img0000", RowBlock(0, 1, {5, 7}, worked))
                         .Tag("img0001", RowBlock(0, 1, {9, 7}, worked))
                         .Tag("img0002", RowBlock(1, 1, {5, 7}, worked))
                         .Tag("img0003", RowBlock(2, 0, {5, 7}, worked))
                         .Build();
  auto image = LoadAs<qvImageHg3>(file);
  ASSERT_NE(image, nullptr);
  // Planes 0, 0, 9, 7 merge to 7, 9, 0, 0 and unmap to 252, 251, 0, 0.
  EXPECT_EQ(PixelAt(*image, 0, 1), 0x0000FBFCu);
  EXPECT_EQ(PixelAt(*image, 0, 0), 0x0000FDFCu);
}

TEST_F(Hg3DecoderTest, ARunTotalMayReachThePictureSizeButNoMore) {
  // 1 x 2 pixels: a block of one row may give its planes the whole
  // picture's 8 bytes plus 4096. With T = 4104 each plane holds 1026
  // bytes; the row's one group takes byte 0 of each: 0, 0, 5, 7.
  auto file = [](std::uint32_t total) {
    const std::uint32_t q = total / 4;
    const Bytes control = ControlBits(0, {total, 2 * q, 1, q - 1, 1, q - 1});
    return Hg3Builder()
        .Frame(0)
        .Tag("stdinfo", Stdinfo(1, 2, 32))
        .Tag("img0000", RowBlock(0, 1, {5, 7}, control))
        .Tag("img0001", RowBlock(1, 1, {5, 7}, {0x88, 0x04}))
        .Build();
  };
  auto image = LoadAs<qvImageHg3>(file(4104));
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(PixelAt(*image, 0, 1), 0x0000FDFCu);
  EXPECT_EQ(LoadAs<qvImageHg3>(file(4108)), nullptr);
}

TEST_F(Hg3DecoderTest, SizeMismatchesAreLoggedLikeTheEngine) {
  DebugLogCapture log;
  for (const auto& [at, line] : {std::pair{12, "qvImageHg3 : バイト領域のサイズが異常です"},
                                 std::pair{20, "qvImageHg3 : ビット領域のサイズが異常です"}}) {
    Bytes block = WorkedBlock();
    block[at] = 3;
    EXPECT_EQ(LoadAs<qvImageHg3>(OneBlockFile(Stdinfo(1, 1, 32), block)), nullptr);
    EXPECT_TRUE(Logged(log, line)) << line;
  }
}

}  // namespace

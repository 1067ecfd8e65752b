// The JPEG, PNG and WebP adapters, checked against the libraries' own plain
// decoding of the same generated files.
#include "image/image_jpeg.h"
#include "image/image_png.h"
#include "image/image_webp.h"
#include "image/zlib_codec.h"
#include "support/image_test_support.h"

#include <gtest/gtest.h>

#include <png.h>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <jpeglib.h>

namespace {

using namespace qvtest;

class AdapterTest : public ImageTest {};

struct PngLayout {
  std::uint32_t width = 5;
  std::uint32_t height = 4;
  int colour_type = PNG_COLOR_TYPE_RGB;
  int bit_depth = 8;
  bool interlaced = false;
  bool with_trns = false;
};

void AppendToBytes(png_structp png, png_bytep data, png_size_t length) {
  auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + length);
}

// A PNG of the given kind with varied sample values, written by libpng.
// `samples` receives the rows as stored.
Bytes WritePng(const PngLayout& layout, std::vector<Bytes>* samples = nullptr) {
  Bytes out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png)) != 0) {
    png_destroy_write_struct(&png, &info);
    ADD_FAILURE() << "libpng could not write the test picture";
    return {};
  }
  png_set_write_fn(png, &out, AppendToBytes, nullptr);
  png_set_IHDR(png, info, layout.width, layout.height, layout.bit_depth, layout.colour_type,
               layout.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (layout.colour_type == PNG_COLOR_TYPE_PALETTE) {
    png_color palette[16];
    png_byte alpha[16];
    for (int i = 0; i < 16; ++i) {
      palette[i] = {static_cast<png_byte>(i * 16), static_cast<png_byte>(255 - i * 9),
                    static_cast<png_byte>(i * 5)};
      alpha[i] = static_cast<png_byte>(i * 17);
    }
    const int entries = std::min(16, 1 << layout.bit_depth);
    png_set_PLTE(png, info, palette, entries);
    if (layout.with_trns) png_set_tRNS(png, info, alpha, entries, nullptr);
  } else if (layout.with_trns) {
    png_color_16 key{};
    key.gray = 3;
    key.red = 3;
    png_set_tRNS(png, info, nullptr, 0, &key);
  }
  png_write_info(png, info);
  const std::size_t row_bytes = png_get_rowbytes(png, info);
  std::vector<Bytes> rows(layout.height, Bytes(row_bytes));
  std::uint32_t state = 12345;
  for (auto& row : rows) {
    for (auto& b : row) {
      state = state * 1103515245u + 12345u;
      b = static_cast<std::uint8_t>(state >> 16);
    }
    if (layout.colour_type == PNG_COLOR_TYPE_PALETTE && layout.bit_depth == 8) {
      for (auto& b : row) b &= 15;
    }
  }
  if (layout.with_trns && layout.colour_type != PNG_COLOR_TYPE_PALETTE) {
    rows[0].assign(row_bytes, 0);
    rows[0][layout.bit_depth == 16 ? 1 : 0] = 3;  // one keyed sample
  }
  std::vector<png_bytep> pointers;
  for (auto& row : rows) pointers.push_back(row.data());
  if (samples != nullptr) *samples = rows;
  png_write_image(png, pointers.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return out;
}

// Decodes `file` and compares it with libpng's simplified reader, the plain
// reference decoding.
void ExpectMatchesReference(const Bytes& file, std::uint32_t expected_bpp) {
  png_image reference{};
  reference.version = PNG_IMAGE_VERSION;
  ASSERT_NE(png_image_begin_read_from_memory(&reference, file.data(), file.size()), 0);
  reference.format = PNG_FORMAT_BGRA;
  Bytes pixels(PNG_IMAGE_SIZE(reference));
  ASSERT_NE(png_image_finish_read(&reference, nullptr, pixels.data(), 0, nullptr), 0);
  auto image = LoadAs<qvImagePng>(file);
  ASSERT_NE(image, nullptr);
  ASSERT_EQ(image->GetWidth(), reference.width);
  ASSERT_EQ(image->GetBytesPerPixel(), expected_bpp);
  EXPECT_EQ(image->GetStride(), (reference.width * expected_bpp + 3) / 4 * 4);
  EXPECT_EQ(Bgra(*image), pixels);
}

TEST_F(AdapterTest, PngDecodingMatchesLibpngForEveryKind) {
  ExpectMatchesReference(WritePng({}), 3);
  ExpectMatchesReference(WritePng({9, 9, PNG_COLOR_TYPE_RGB_ALPHA, 8, true}), 4);
  ExpectMatchesReference(WritePng({6, 2, PNG_COLOR_TYPE_PALETTE, 8, false, true}), 4);
  ExpectMatchesReference(WritePng({13, 2, PNG_COLOR_TYPE_PALETTE, 4, false, true}), 4);
  ExpectMatchesReference(WritePng({13, 2, PNG_COLOR_TYPE_PALETTE, 2}), 3);
  ExpectMatchesReference(WritePng({11, 3, PNG_COLOR_TYPE_GRAY, 1}), 3);
  // Grey with alpha keeps its alpha in 4 bytes per pixel.
  ExpectMatchesReference(WritePng({4, 4, PNG_COLOR_TYPE_GRAY_ALPHA, 8}), 4);
  ExpectMatchesReference(WritePng({4, 4, PNG_COLOR_TYPE_GRAY, 8, false, true}), 4);
  ExpectMatchesReference(WritePng({4, 4, PNG_COLOR_TYPE_RGB, 8, false, true}), 4);
}

// libpng's simplified reader treats 16-bit files as linear light, so a
// 16-bit file is checked against its stored samples: the high byte of each
// stays. (Grey and colour go on as in 8 bits.)
TEST_F(AdapterTest, SixteenBitPngKeepsTheHighBytes) {
  std::vector<Bytes> rows;
  auto image = LoadAs<qvImagePng>(WritePng({6, 5, PNG_COLOR_TYPE_RGB_ALPHA, 16}, &rows));
  ASSERT_NE(image, nullptr);
  ASSERT_EQ(image->GetBytesPerPixel(), 4u);
  Bytes expected;
  for (const Bytes& row : rows) {
    for (std::size_t x = 0; x < 6; ++x) {
      const std::uint8_t* s = &row[x * 8];
      expected.insert(expected.end(), {s[4], s[2], s[0], s[6]});
    }
  }
  EXPECT_EQ(Bgra(*image), expected);
}

TEST_F(AdapterTest, BrokenPngsFailCleanly) {
  const Bytes good = WritePng({16, 16, PNG_COLOR_TYPE_RGB_ALPHA});
  for (std::size_t cut : {std::size_t{0}, std::size_t{8}, std::size_t{30}, good.size() / 2, good.size() - 13}) {
    EXPECT_EQ(LoadAs<qvImagePng>(Bytes(good.begin(), good.begin() + cut)), nullptr) << cut;
  }
  Bytes bad_crc = good;
  bad_crc[29] ^= 0xFF;  // IHDR's CRC
  EXPECT_EQ(LoadAs<qvImagePng>(bad_crc), nullptr);
  EXPECT_EQ(qvImagePng::Probe(nullptr), 0);
}

TEST_F(AdapterTest, PngSaveCropsToTheVisiblePixels) {
  auto png = Make<qvImagePng>();
  OwnedBlock out;
  auto sparse = MakePicture(20, 20, 4, Pattern::kTransparent);
  sparse->GetPixelAddress(4, 6)[3] = 200;
  sparse->GetPixelAddress(7, 9)[3] = 255;
  png->CopyFrom(sparse.get());
  png->SetCrop(1);
  ASSERT_EQ(png->Save(&out.block, 0, 0, 0, 0), 1);
  EXPECT_EQ(out.block.size % 8, 0u);
  EXPECT_EQ(out.block.size, out.block.capacity);
  auto loaded = LoadAs<qvImagePng>(out.ToBytes());
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(loaded->GetWidth(), 4u);
  EXPECT_EQ(loaded->GetHeight(), 4u);
  EXPECT_EQ(loaded->GetPixelAddress(0, 0)[3], 200);
  // Without a visible pixel the top left 2 x 2 pixels are kept; a picture
  // that was saved or loaded before saves again.
  for (qvImagePng* again : {png.get(), loaded.get()}) {
    ASSERT_EQ(again->CopyFrom(MakePicture(5, 5, 4, Pattern::kTransparent).get()), 1);
    again->SetCrop(1);
    ASSERT_EQ(again->Save(&out.block, 0, 0, 0, 0), 1);
    auto corner = LoadAs<qvImagePng>(out.ToBytes());
    ASSERT_NE(corner, nullptr);
    EXPECT_EQ(corner->GetWidth(), 2u);
    EXPECT_EQ(corner->GetHeight(), 2u);
  }
  // Two bytes per pixel have no PNG, JPEG or WebP form.
  auto narrow = MakePicture(3, 3, 2, Pattern::kNoise);
  EXPECT_TRUE(SaveAs<qvImagePng>(*narrow).empty());
  EXPECT_TRUE(SaveAs<qvImageJpeg>(*narrow).empty());
  EXPECT_TRUE(SaveAs<qvImageWebP>(*narrow).empty());
}

Bytes SaveJpeg(const qvImage& source, std::uint32_t quality) {
  const Bytes file = SaveAs<qvImageJpeg>(source, quality);
  EXPECT_FALSE(file.empty());
  return file;
}

// Plain libjpeg decoding to RGB with the fast method, the one the adapter
// uses.
Bytes ReferenceRgb(const Bytes& file, std::uint32_t* width, std::uint32_t* height) {
  jpeg_decompress_struct info;
  jpeg_error_mgr error;
  info.err = jpeg_std_error(&error);
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, file.data(), static_cast<unsigned long>(file.size()));
  jpeg_read_header(&info, TRUE);
  info.out_color_space = JCS_RGB;
  info.dct_method = JDCT_IFAST;
  info.do_fancy_upsampling = FALSE;
  jpeg_start_decompress(&info);
  *width = info.output_width;
  *height = info.output_height;
  Bytes pixels(std::size_t{*width} * *height * 3);
  while (info.output_scanline < info.output_height) {
    JSAMPROW row = &pixels[std::size_t{info.output_scanline} * *width * 3];
    jpeg_read_scanlines(&info, &row, 1);
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  return pixels;
}

TEST_F(AdapterTest, JpegDecodingMatchesLibjpeg) {
  auto source = MakePicture(37, 21, 3, Pattern::kGradient);
  const Bytes file = SaveJpeg(*source, 90);
  auto image = LoadAs<qvImageJpeg>(file);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->GetBytesPerPixel(), 3u);
  EXPECT_EQ(image->GetStride(), 112u);
  EXPECT_EQ(image->GetChannelOrder(), 0u);
  std::uint32_t width, height;
  const Bytes fast = ReferenceRgb(file, &width, &height);
  ASSERT_EQ(image->GetWidth(), width);
  ASSERT_EQ(image->GetHeight(), height);
  double error_to_source = 0;
  for (std::uint32_t y = 0; y < height; ++y) {
    for (std::uint32_t x = 0; x < width; ++x) {
      const std::uint8_t* p = image->GetPixelAddress(x, y);
      for (int c = 0; c < 3; ++c) {
        const std::size_t i = (std::size_t{y} * width + x) * 3 + c;
        ASSERT_EQ(p[c], fast[i]);
        // Saved red first, read back red first.
        error_to_source += std::abs(p[c] - source->GetPixelAddress(x, y)[c]);
      }
    }
  }
  EXPECT_LT(error_to_source / (3.0 * width * height), 8.0);
}

TEST_F(AdapterTest, JpegCutInItsScanDataStillDecodes) {
  const Bytes file = SaveJpeg(*MakePicture(64, 64, 3, Pattern::kNoise), 90);
  for (std::size_t cut : {file.size() * 6 / 10, file.size() - 2, std::size_t{700}}) {
    auto image = LoadAs<qvImageJpeg>(Bytes(file.begin(), file.begin() + cut));
    ASSERT_NE(image, nullptr) << cut;
    EXPECT_EQ(image->GetWidth(), 64u);
  }
  Bytes garbage(200, 0x11);
  garbage[0] = 0xFF;
  garbage[1] = 0xD8;
  const Bytes too_short = {0xFF, 0xD8, 0xFF, 0xD9};
  for (const Bytes& bad : {Bytes(file.begin(), file.begin() + 20), too_short, garbage})
    EXPECT_EQ(LoadAs<qvImageJpeg>(bad), nullptr);
  const qvMemBlock block = View(too_short);
  EXPECT_EQ(qvImageJpeg::Probe(&block), 0);
}

// A picture the memory cannot hold fails to load; its header alone is read.
TEST_F(AdapterTest, JpegTooLargeForTheMemoryFailsToLoad) {
  Bytes file = SaveJpeg(*MakePicture(8, 8, 3, Pattern::kNoise), 90);
  // SOF0: FF C0, length, precision, height, width (big-endian).
  const std::uint8_t marker[] = {0xFF, 0xC0};
  const auto sof = std::search(file.begin(), file.end(), std::begin(marker), std::end(marker));
  ASSERT_NE(sof, file.end());
  for (int i : {5, 7}) {  // 12000 by 12000
    sof[i] = 0x2E;
    sof[i + 1] = 0xE0;
  }
  MemoryCeiling ceiling(64u << 20);
  if (!ceiling.ok()) GTEST_SKIP() << "no limit on memory here";
  EXPECT_EQ(LoadAs<qvImageJpeg>(file), nullptr);
}

TEST_F(AdapterTest, JpegSaverGrowsItsDestination) {
  EXPECT_GT(SaveJpeg(*MakePicture(96, 96, 4, Pattern::kNoise), 100).size(), 96u * 96 * 4);
  SaveJpeg(*MakePicture(1, 1, 3, Pattern::kNoise), 90);  // one pixel wide and high saves
}

// The pixels themselves are checked through the HG-3 WebP frames.
TEST_F(AdapterTest, WebPLoadsUnpaddedFourBytePixelsRedFirst) {
  auto source = MakePicture(16, 8, 3, Pattern::kGradient);
  const Bytes file = SaveAs<qvImageWebP>(*source, 100);
  EXPECT_EQ(file.size() % 8, 0u);
  auto loaded = LoadAs<qvImageWebP>(file);
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(loaded->GetBytesPerPixel(), 4u);
  EXPECT_EQ(loaded->GetStride(), 64u);
  EXPECT_EQ(loaded->GetChannelOrder(), 0u);
  EXPECT_FALSE(SaveAs<qvImageWebP>(*MakePicture(5, 1, 3, Pattern::kNoise)).empty())
      << "a picture one row high";
  auto broken = Make<qvImageWebP>();
  const qvMemBlock cut = qvMemBlock::Borrow(file.data(), static_cast<std::uint32_t>(file.size() / 2));
  EXPECT_EQ(broken->Load(&cut, 0), 0);
  EXPECT_EQ(broken->GetPixels(), nullptr);
}

TEST_F(AdapterTest, ZlibWrappersCutCountAndKeepWhatWasDecoded) {
  Bytes data(10000);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * i % 253);
  Bytes packed(ZlibDeflateBound(10000));
  const std::uint32_t size = ZlibDeflate(packed.data(), static_cast<std::uint32_t>(packed.size()),
                                         data.data(), 10000);
  ASSERT_LT(size, packed.size());
  packed.resize(size);
  Bytes out(10016, 0xEE);
  auto inflate = [&](const Bytes& stream, std::uint32_t length, std::uint32_t capacity = 10016) {
    std::fill(out.begin(), out.end(), 0xEE);
    return ZlibInflate(out.data(), capacity, stream.data(), length);
  };
  EXPECT_EQ(inflate(packed, size), 10000u);
  EXPECT_TRUE(std::equal(data.begin(), data.end(), out.begin()));
  EXPECT_EQ(inflate(packed, size, 100), 100u) << "output past the capacity is cut";
  // Deflate into too small a room still reports the full size.
  Bytes small(8);
  EXPECT_EQ(ZlibDeflate(small.data(), 8, data.data(), 10000), size);
  EXPECT_EQ(ZlibDeflate(small.data(), 8, nullptr, 10), 0xFFFFFFFFu) << "a missing source fails";
  // Bytes after the stream's end are not looked at.
  Bytes trailing = packed;
  trailing.insert(trailing.end(), {1, 2, 3, 4, 5, 6, 7, 8});
  EXPECT_EQ(inflate(trailing, size + 8), 10000u);
  // A wrong check value behind complete data still yields all of it, as
  // does a stream whose check value was cut off.
  Bytes bad_check = packed;
  bad_check.back() ^= 0x55;
  EXPECT_EQ(inflate(bad_check, size), 10000u);
  EXPECT_TRUE(std::equal(data.begin(), data.end(), out.begin()));
  EXPECT_EQ(inflate(packed, size - 4), 10000u);
  // A stream cut in its middle gives a part, never the whole count.
  const std::uint32_t part = inflate(packed, size / 2);
  EXPECT_LT(part, 10000u);
  EXPECT_TRUE(std::equal(out.begin(), out.begin() + part, data.begin()));
  EXPECT_EQ(inflate(packed, 0), 0u);
  // A corrupt stream makes no progress: the rest is cleared.
  EXPECT_EQ(inflate({0x78, 0x9C, 0xFF, 0xFF, 0xFF}, 5, 64), 0u);
  EXPECT_EQ(out[63], 0);
}

}  // namespace

#include "image/image_png.h"

#include "file/memory_file.h"
#include "base/private_heap.h"

#include <png.h>

namespace {

constexpr std::uint32_t kWriteStep = 0x100000;

// Library errors jump back to the setjmp of the running load or save.
[[noreturn]] void JumpOnError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void DropWarning(png_structp, png_const_charp) {}

void ReadFromFile(png_structp png, png_bytep data, png_size_t length) {
  auto* file = static_cast<qvMemFile*>(png_get_io_ptr(png));
  if (length > 0xFFFFFFFFu || file->Read(data, static_cast<std::uint32_t>(length)) !=
                                  static_cast<std::int32_t>(length)) {
    png_error(png, "unexpected end of data");
  }
}

void WriteToFile(png_structp png, png_bytep data, png_size_t length) {
  auto* file = static_cast<qvMemFile*>(png_get_io_ptr(png));
  if (length > 0xFFFFFFFFu || file->Write(data, static_cast<std::uint32_t>(length)) !=
                                  static_cast<std::int32_t>(length)) {
    png_error(png, "out of memory");
  }
}

void FlushFile(png_structp) {}

}  // namespace

qvImagePng::~qvImagePng() = default;

int qvImagePng::Probe(const qvMemBlock* block) {
  if (block == nullptr || block->data == nullptr) return 0;
  return png_sig_cmp(block->data, 0, block->size) == 0 ? 1 : 0;
}

int qvImagePng::Load(const qvMemBlock* block, std::uint32_t) {
  if (block == nullptr || block->data == nullptr || file_ != nullptr) return 0;
  qvMemFile file;
  file_ = &file;
  int result = 0;
  if (file.LoadFromMemory(u"", block->data, block->size) != 0) result = Decode();
  file_ = nullptr;
  return result;
}

int qvImagePng::Decode() {
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, JumpOnError, DropWarning);
  if (png == nullptr) return 0;
  png_infop info = png_create_info_struct(png);
  if (info == nullptr) {
    png_destroy_read_struct(&png, nullptr, nullptr);
    return 0;
  }
  // Changed after setjmp, so kept in memory for the error path.
  png_bytep* volatile rows = nullptr;
  if (setjmp(png_jmpbuf(png)) != 0) {
    PrivateFree(rows);
    png_destroy_read_struct(&png, &info, nullptr);
    return 0;
  }
  png_set_read_fn(png, file_, ReadFromFile);
  png_read_info(png, info);
  png_uint_32 width = 0;
  png_uint_32 height = 0;
  int depth = 0;
  int colour = 0;
  png_get_IHDR(png, info, &width, &height, &depth, &colour, nullptr, nullptr, nullptr);
  png_set_strip_16(png);
  png_set_packswap(png);
  if (colour == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
  if ((colour & PNG_COLOR_MASK_COLOR) == 0) {
    if (depth < 8) png_set_expand_gray_1_2_4_to_8(png);
    // Grey is widened to three equal channels; grey with alpha keeps it.
    png_set_gray_to_rgb(png);
  }
  if (png_get_valid(png, info, PNG_INFO_tRNS) != 0) png_set_tRNS_to_alpha(png);
  png_set_bgr(png);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  png_get_IHDR(png, info, &width, &height, &depth, &colour, nullptr, nullptr, nullptr);
  const std::uint32_t channels = png_get_channels(png, info);
  const std::uint32_t bpp = channels == 4 ? 4 : 3;
  const std::uint64_t stride = bpp == 4 ? std::uint64_t{width} * 4 : PaddedStride(width, 3);
  const auto size = PixelBytes(stride, height);
  if (depth != 8 || (channels != 3 && channels != 4) || !size ||
      png_get_rowbytes(png, info) > stride || EnsureBuffer(*size) == nullptr) {
    png_destroy_read_struct(&png, &info, nullptr);
    return 0;
  }
  rows = static_cast<png_bytep*>(PrivateAlloc(0, sizeof(png_bytep) * std::size_t{height}));
  if (rows == nullptr) png_error(png, "out of memory");
  for (std::uint32_t y = 0; y < height; ++y) rows[y] = pixels_ + std::size_t{y} * stride;
  png_read_image(png, rows);
  png_read_end(png, nullptr);
  PrivateFree(rows);
  png_destroy_read_struct(&png, &info, nullptr);
  SetWholePicture(width, height, bpp, static_cast<std::uint32_t>(stride));
  return 1;
}

int qvImagePng::Save(qvMemBlock* block, std::uint32_t, std::uint32_t, std::uint32_t,
                     std::uint32_t) {
  if (block == nullptr || pixels_ == nullptr || width_ == 0 || height_ == 0 ||
      (bytes_per_pixel_ != 3 && bytes_per_pixel_ != 4) || file_ != nullptr) {
    return 0;
  }
  if (crop_ != 0) {
    qvRect bounds;
    GetOpaqueBounds(&bounds);
    if (bounds.right <= bounds.left || bounds.bottom <= bounds.top) bounds = {0, 0, 2, 2};
    Crop(&bounds);
  }
  qvMemFile file;
  file_ = &file;
  int result = 0;
  if (file.Allocate(kWriteStep) != 0) result = Encode(block);
  file_ = nullptr;
  return result;
}

int qvImagePng::Encode(qvMemBlock* block) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, JumpOnError, DropWarning);
  if (png == nullptr) return 0;
  png_infop info = png_create_info_struct(png);
  if (info == nullptr) {
    png_destroy_write_struct(&png, nullptr);
    return 0;
  }
  png_bytep* volatile rows = nullptr;
  if (setjmp(png_jmpbuf(png)) != 0) {
    PrivateFree(rows);
    png_destroy_write_struct(&png, &info);
    return 0;
  }
  png_set_write_fn(png, file_, WriteToFile, FlushFile);
  png_set_IHDR(png, info, width_, height_, 8,
               bytes_per_pixel_ == 3 ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_RGB_ALPHA,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  rows = static_cast<png_bytep*>(PrivateAlloc(0, sizeof(png_bytep) * std::size_t{height_}));
  if (rows == nullptr) png_error(png, "out of memory");
  for (std::uint32_t y = 0; y < height_; ++y) rows[y] = pixels_ + std::size_t{y} * stride_;
  png_set_bgr(png);
  png_write_image(png, rows);
  png_write_end(png, nullptr);
  PrivateFree(rows);
  png_destroy_write_struct(&png, &info);
  void* data = nullptr;
  std::uint32_t length = 0;
  file_->GetData(&data, &length);
  return block->TakeCopyRoundedTo8(data, length);
}

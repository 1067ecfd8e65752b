#include "image/image_jpeg.h"

#include "base/private_heap.h"
#include "util/memory.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>
#include <jerror.h>

namespace {

constexpr std::size_t kMinimumJpegSize = 11;
constexpr std::size_t kMinimumDestination = 8192;
// What libjpeg may allocate for one picture (coefficient buffers of
// progressive files and the like).
constexpr long kMaxLibraryMemory = 1L << 30;

// Library errors jump back to the caller instead of ending the process.
struct JpegError {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
};

[[noreturn]] void JumpOnError(j_common_ptr info) {
  std::longjmp(reinterpret_cast<JpegError*>(info->err)->jump, 1);
}

void DropMessage(j_common_ptr) {}

void InstallErrorManager(jpeg_common_struct* info, JpegError* error) {
  info->err = jpeg_std_error(&error->manager);
  error->manager.error_exit = JumpOnError;
  error->manager.output_message = DropMessage;
}

// Source over a memory block. Once the data is used up, an end-of-image
// marker is supplied so that a cut file ends as if complete.
const JOCTET kEndOfImage[2] = {0xFF, 0xD9};

void InitSource(j_decompress_ptr) {}
void TermSource(j_decompress_ptr) {}

boolean FillInputBuffer(j_decompress_ptr info) {
  info->src->next_input_byte = kEndOfImage;
  info->src->bytes_in_buffer = sizeof kEndOfImage;
  return TRUE;
}

void SkipInputData(j_decompress_ptr info, long count) {
  if (count <= 0) return;
  jpeg_source_mgr* source = info->src;
  const auto skip = std::min<std::size_t>(static_cast<std::size_t>(count), source->bytes_in_buffer);
  source->next_input_byte += skip;
  source->bytes_in_buffer -= skip;
}

void AttachMemorySource(j_decompress_ptr info, jpeg_source_mgr* source, const std::uint8_t* data,
                        std::size_t size) {
  source->init_source = InitSource;
  source->fill_input_buffer = FillInputBuffer;
  source->skip_input_data = SkipInputData;
  source->resync_to_restart = jpeg_resync_to_restart;
  source->term_source = TermSource;
  source->next_input_byte = data;
  source->bytes_in_buffer = size;
  info->src = source;
}

// Destination that grows in the private heap.
struct GrowingDestination {
  jpeg_destination_mgr manager;
  std::uint8_t* buffer;
  std::size_t capacity;
};

void InitDestination(j_compress_ptr info) {
  auto* dest = reinterpret_cast<GrowingDestination*>(info->dest);
  dest->manager.next_output_byte = dest->buffer;
  dest->manager.free_in_buffer = dest->capacity;
}

boolean EmptyOutputBuffer(j_compress_ptr info) {
  auto* dest = reinterpret_cast<GrowingDestination*>(info->dest);
  const std::size_t new_capacity = dest->capacity * 2;
  auto* grown = new_capacity > 0xFFFFFFFFu
                    ? nullptr
                    : static_cast<std::uint8_t*>(PrivateAlloc(0, new_capacity));
  if (grown == nullptr) ERREXIT(info, JERR_OUT_OF_MEMORY);
  CopyBytes(grown, dest->buffer, dest->capacity);
  PrivateFree(dest->buffer);
  dest->manager.next_output_byte = grown + dest->capacity;
  dest->manager.free_in_buffer = new_capacity - dest->capacity;
  dest->buffer = grown;
  dest->capacity = new_capacity;
  return TRUE;
}

void TermDestination(j_compress_ptr) {}

bool StartsLikeJpeg(const qvMemBlock* block) {
  return block != nullptr && block->data != nullptr && block->size >= kMinimumJpegSize &&
         block->data[0] == 0xFF && block->data[1] == 0xD8;
}

// Reads the header of `block` and runs `read` on the decompressor; a
// library error inside ends it with 0. `read` keeps nothing on its stack
// that needs destroying, as the jump skips it.
template <typename Read>
int Decompress(const qvMemBlock* block, Read read) {
  if (!StartsLikeJpeg(block)) return 0;
  jpeg_decompress_struct info;
  JpegError error;
  jpeg_source_mgr source;
  InstallErrorManager(reinterpret_cast<jpeg_common_struct*>(&info), &error);
  if (setjmp(error.jump) != 0) {
    jpeg_destroy_decompress(&info);
    return 0;
  }
  jpeg_create_decompress(&info);
  info.mem->max_memory_to_use = kMaxLibraryMemory;
  AttachMemorySource(&info, &source, block->data, block->size);
  const int result = jpeg_read_header(&info, TRUE) == JPEG_HEADER_OK ? read(&info) : 0;
  jpeg_destroy_decompress(&info);
  return result;
}

}  // namespace

int qvImageJpeg::Probe(const qvMemBlock* block) {
  return Decompress(block, [](j_decompress_ptr) { return 1; });
}

int qvImageJpeg::Load(const qvMemBlock* block, std::uint32_t) {
  return Decompress(block, [this](j_decompress_ptr info) {
    info->out_color_space = JCS_RGB;
    info->dct_method = JDCT_IFAST;
    info->do_fancy_upsampling = FALSE;
    info->two_pass_quantize = FALSE;
    info->dither_mode = JDITHER_ORDERED;
    info->desired_number_of_colors = 216;
    if (info->image_width == 0 || info->image_height == 0 ||
        !PixelBytes(PaddedStride(info->image_width, 3), info->image_height)) {
      return 0;
    }
    jpeg_start_decompress(info);
    const std::uint32_t width = info->output_width;
    const std::uint32_t height = info->output_height;
    const auto size = PixelBytes(PaddedStride(width, 3), height);
    if (info->output_components != 3 || !size || EnsureBuffer(*size) == nullptr) {
      return 0;
    }
    const auto stride = static_cast<std::uint32_t>(PaddedStride(width, 3));
    // Rows are decoded straight into the picture.
    while (info->output_scanline < height) {
      JSAMPROW row = pixels_ + std::size_t{info->output_scanline} * stride;
      jpeg_read_scanlines(info, &row, 1);
    }
    jpeg_finish_decompress(info);
    SetWholePicture(width, height, 3, stride);
    return 1;
  });
}

int qvImageJpeg::Save(qvMemBlock* block, std::uint32_t, std::uint32_t, std::uint32_t,
                      std::uint32_t) {
  if (block == nullptr || pixels_ == nullptr || width_ == 0 || height_ == 0 ||
      (bytes_per_pixel_ != 3 && bytes_per_pixel_ != 4)) {
    return 0;
  }
  jpeg_compress_struct info;
  JpegError error;
  GrowingDestination dest{};
  dest.capacity = std::max<std::size_t>(std::size_t{stride_} * height_, kMinimumDestination);
  dest.buffer = static_cast<std::uint8_t*>(PrivateAlloc(0, dest.capacity));
  if (dest.buffer == nullptr) return 0;
  // Read back through memory after a jump: the buffer may have grown.
  GrowingDestination* volatile watched = &dest;
  InstallErrorManager(reinterpret_cast<jpeg_common_struct*>(&info), &error);
  if (setjmp(error.jump) != 0) {
    jpeg_destroy_compress(&info);
    PrivateFree(watched->buffer);
    return 0;
  }
  jpeg_create_compress(&info);
  dest.manager.init_destination = InitDestination;
  dest.manager.empty_output_buffer = EmptyOutputBuffer;
  dest.manager.term_destination = TermDestination;
  info.dest = &dest.manager;
  info.image_width = width_;
  info.image_height = height_;
  info.input_components = static_cast<int>(bytes_per_pixel_);
  info.in_color_space = bytes_per_pixel_ == 3 ? JCS_RGB : JCS_CMYK;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, static_cast<int>(std::min<std::uint32_t>(quality_, 100)), TRUE);
  jpeg_start_compress(&info, TRUE);
  while (info.next_scanline < height_) {
    JSAMPROW row = pixels_ + std::size_t{info.next_scanline} * stride_;
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  const std::size_t written = dest.capacity - dest.manager.free_in_buffer;
  jpeg_destroy_compress(&info);
  block->Adopt(dest.buffer, static_cast<std::uint32_t>(written),
               static_cast<std::uint32_t>(dest.capacity));
  return 1;
}

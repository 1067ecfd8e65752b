#include "image/image_webp.h"

#include <webp/decode.h>
#include <webp/encode.h>

int qvImageWebP::Probe(const qvMemBlock* block) {
  if (block == nullptr || block->data == nullptr) return 0;
  WebPDecoderConfig config;
  if (!WebPInitDecoderConfig(&config)) return 0;
  return WebPGetFeatures(block->data, block->size, &config.input) == VP8_STATUS_OK ? 1 : 0;
}

int qvImageWebP::Load(const qvMemBlock* block, std::uint32_t) {
  if (block == nullptr || block->data == nullptr) return 0;
  WebPDecoderConfig config;
  if (!WebPInitDecoderConfig(&config)) return 0;
  if (WebPGetFeatures(block->data, block->size, &config.input) != VP8_STATUS_OK) return 0;
  const int width = config.input.width;
  const int height = config.input.height;
  if (width <= 0 || height <= 0) return 0;
  if (PrepareUnpadded(static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height), 4) ==
      nullptr) {
    return 0;
  }
  config.output.colorspace = MODE_RGBA;
  config.output.is_external_memory = 1;
  config.output.u.RGBA.rgba = pixels_;
  config.output.u.RGBA.stride = static_cast<int>(stride_);
  config.output.u.RGBA.size = std::size_t{stride_} * height_;
  const VP8StatusCode status = WebPDecode(block->data, block->size, &config);
  WebPFreeDecBuffer(&config.output);
  if (status != VP8_STATUS_OK) {
    FreePixels();
    return 0;
  }
  return 1;
}

int qvImageWebP::Save(qvMemBlock* block, std::uint32_t, std::uint32_t, std::uint32_t,
                      std::uint32_t) {
  if (block == nullptr || pixels_ == nullptr || width_ == 0 || height_ == 0) return 0;
  const auto width = static_cast<int>(width_);
  const auto height = static_cast<int>(height_);
  const auto stride = static_cast<int>(stride_);
  const auto quality = static_cast<float>(quality_);
  std::uint8_t* output = nullptr;
  std::size_t size = 0;
  if (bytes_per_pixel_ == 4) {
    size = WebPEncodeRGBA(pixels_, width, height, stride, quality, &output);
  } else if (bytes_per_pixel_ == 3) {
    size = WebPEncodeRGB(pixels_, width, height, stride, quality, &output);
  } else {
    return 0;
  }
  int result = 0;
  if (size != 0 && size <= 0xFFFFFFF0u) {
    result = block->TakeCopyRoundedTo8(output, static_cast<std::uint32_t>(size));
  }
  WebPFree(output);
  return result;
}

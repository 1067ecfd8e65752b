#include "image/image_holder.h"

#include <cstring>
#include <new>

#include "image/image_bmp.h"
#include "image/image_hg2.h"
#include "image/image_hg3.h"
#include "image/image_jpeg.h"
#include "image/image_png.h"
#include "image/image_psd.h"
#include "image/image_qvf.h"
#include "image/image_webp.h"
#include "base/debug_log.h"

namespace {

struct Decoder {
  std::uint32_t type;
  const char* name;
  int (*probe)(const qvMemBlock* block);
  qvImage* (*create)();
};

template <typename Image>
qvImage* Create() {
  return new (std::nothrow) Image();
}

// The fixed probe order; the first probe that accepts decides, and a
// failing load is not retried with another decoder.
constexpr Decoder kDecoders[] = {
    {kImageTypeHg3, "HG-3", &qvImageHg3::Probe, &Create<qvImageHg3>},
    {kImageTypeHg2, "HG-2", &qvImageHg2::Probe, &Create<qvImageHg2>},
    {kImageTypePng, "PNG", &qvImagePng::Probe, &Create<qvImagePng>},
    {kImageTypeJpeg, "JPEG", &qvImageJpeg::Probe, &Create<qvImageJpeg>},
    {kImageTypeBmp, "BMP", &qvImageBmp::Probe, &Create<qvImageBmp>},
    {kImageTypePsd, "PSD", &qvImagePsd::Probe, &Create<qvImagePsd>},
    {kImageTypeWebP, "WebP", &qvImageWebP::Probe, &Create<qvImageWebP>},
    {kImageTypeQvf, "QVF", &qvImageQvf::Probe, &Create<qvImageQvf>},
};

const Decoder* ChooseDecoder(const qvMemBlock* block) {
  if (block == nullptr || block->data == nullptr) return nullptr;
  for (const Decoder& decoder : kDecoders) {
    if (decoder.probe(block)) return &decoder;
  }
  return nullptr;
}

}  // namespace

qvImageHolder::~qvImageHolder() { ReleaseImage(); }

std::uint32_t qvImageHolder::ProbeType(const qvMemBlock* block) {
  const Decoder* chosen = ChooseDecoder(block);
  return chosen ? chosen->type : kImageTypeNone;
}

const char* qvImageHolder::TypeName(std::uint32_t type) {
  for (const Decoder& decoder : kDecoders) {
    if (decoder.type == type) return decoder.name;
  }
  return "none";
}

void qvImageHolder::ReleaseImage() {
  if (image_) image_->Release();
  image_ = nullptr;
}

std::uint8_t* qvImageHolder::LoadFromMemory(const qvMemBlock* block, int expand,
                                            std::uint32_t frame) {
  ReleaseImage();
  const Decoder* chosen = ChooseDecoder(block);
  if (!chosen) {
    DebugLogW(u"展開できないイメージです");
    return nullptr;
  }
  type_ = chosen->type;
  image_ = chosen->create();
  // A picture that cannot be put on its canvas is not what was asked for.
  if (!image_ || !image_->Load(block, frame) || (expand && !ExpandToCanvas())) {
    ReleaseImage();
    return nullptr;
  }
  return image_->GetPixels();
}

int qvImageHolder::ExpandToCanvas() {
  if (!image_) return 0;
  std::uint32_t x = 0, y = 0, canvas_width = 0, canvas_height = 0, width = 0, height = 0;
  image_->GetOffset(&x, &y);
  image_->GetCanvasSize(&canvas_width, &canvas_height);
  image_->GetSize(&width, &height);
  if (canvas_width == width && canvas_height == height) return 1;
  // Canvas sizes come from files; CreateBlank refuses what no decoder
  // would allocate, and Blit a picture that lies wholly off its canvas.
  auto* canvas = new (std::nothrow) qvImage();
  if (!canvas) return 0;
  if (!canvas->CreateBlank(canvas_width, canvas_height, image_->GetBytesPerPixel()) ||
      !canvas->Blit(static_cast<std::int32_t>(x), static_cast<std::int32_t>(y), image_, 0, 0,
                    static_cast<std::int32_t>(width), static_cast<std::int32_t>(height))) {
    canvas->Release();
    return 0;
  }
  ReleaseImage();
  image_ = canvas;
  return 1;
}

std::uint32_t qvImageHolder::GetStride() const { return image_ ? image_->GetStride() : 0; }

std::uint32_t qvImageHolder::GetBytesPerPixel() const {
  return image_ ? image_->GetBytesPerPixel() : 0;
}

std::uint8_t* qvImageHolder::GetPixels() const { return image_ ? image_->GetPixels() : nullptr; }

std::uint32_t qvImageHolder::GetSize(std::uint32_t* width, std::uint32_t* height) const {
  if (!image_) {
    if (width) *width = 0;
    if (height) *height = 0;
    return 0;
  }
  return image_->GetSize(width, height);
}

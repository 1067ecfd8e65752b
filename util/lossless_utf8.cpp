#include "util/lossless_utf8.h"

#include <cstdint>

namespace {

constexpr char16_t kEscapeBase = 0xDC00;

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// The code point of the well-formed sequence at the start of `bytes` and its
// length, or 0 when it is not one (or is a zero byte).
std::size_t DecodeSequence(std::string_view bytes, std::uint32_t* code_point) {
  const auto lead = static_cast<unsigned char>(bytes[0]);
  std::size_t length = 0;
  std::uint32_t value = 0, minimum = 0;
  if (lead >= 0x01 && lead < 0x80) {
    *code_point = lead;
    return 1;
  } else if ((lead & 0xE0) == 0xC0) {
    length = 2, value = lead & 0x1F, minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, value = lead & 0x0F, minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, value = lead & 0x07, minimum = 0x10000;
  } else {
    return 0;
  }
  if (bytes.size() < length) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    const auto byte = static_cast<unsigned char>(bytes[i]);
    if (!IsContinuation(byte)) return 0;
    value = (value << 6) | (byte & 0x3F);
  }
  // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
  if (value < minimum || (value >= 0xD800 && value <= 0xDFFF) || value > 0x10FFFF) return 0;
  *code_point = value;
  return length;
}

void AppendUtf8(std::uint32_t code_point, std::string* out) {
  if (code_point < 0x80) {
    *out += static_cast<char>(code_point);
  } else if (code_point < 0x800) {
    *out += static_cast<char>(0xC0 | (code_point >> 6));
    *out += static_cast<char>(0x80 | (code_point & 0x3F));
  } else if (code_point < 0x10000) {
    *out += static_cast<char>(0xE0 | (code_point >> 12));
    *out += static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (code_point & 0x3F));
  } else {
    *out += static_cast<char>(0xF0 | (code_point >> 18));
    *out += static_cast<char>(0x80 | ((code_point >> 12) & 0x3F));
    *out += static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (code_point & 0x3F));
  }
}

}  // namespace

std::u16string DecodeUtf8Lossless(std::string_view bytes) {
  std::u16string text;
  text.reserve(bytes.size());
  while (!bytes.empty()) {
    std::uint32_t code_point = 0;
    std::size_t length = DecodeSequence(bytes, &code_point);
    if (length == 0) {
      text += static_cast<char16_t>(kEscapeBase + static_cast<unsigned char>(bytes[0]));
      length = 1;
    } else if (code_point >= 0x10000) {
      code_point -= 0x10000;
      text += static_cast<char16_t>(0xD800 + (code_point >> 10));
      text += static_cast<char16_t>(0xDC00 + (code_point & 0x3FF));
    } else {
      text += static_cast<char16_t>(code_point);
    }
    bytes.remove_prefix(length);
  }
  return text;
}

std::string EncodeUtf8Lossless(std::u16string_view text) {
  std::string bytes;
  bytes.reserve(text.size() * 3);
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      AppendUtf8(0x10000 + ((unit - 0xD800u) << 10) + (text[i + 1] - 0xDC00u), &bytes);
      ++i;
    } else if (unit >= kEscapeBase && unit <= kEscapeBase + 0xFF) {
      bytes += static_cast<char>(unit - kEscapeBase);
    } else {
      AppendUtf8(unit, &bytes);
    }
  }
  return bytes;
}

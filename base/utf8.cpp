#include "base/utf8.h"

namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsHighSurrogate(char32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

void PutUtf8(char32_t cp, std::string& out) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

void PutUtf16(char32_t cp, std::u16string& out) {
  if (cp >= 0x10000) {
    cp -= 0x10000;
    out += static_cast<char16_t>(0xD800 + (cp >> 10));
    out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
  } else {
    out += static_cast<char16_t>(cp);
  }
}

// Allowed range of the second byte for a lead byte (Unicode table 3-7);
// later continuation bytes are always 0x80..0xBF.
struct LeadInfo {
  int length;
  unsigned char low, high;
};

LeadInfo DescribeLead(unsigned char lead) {
  if (lead >= 0xC2 && lead <= 0xDF) return {2, 0x80, 0xBF};
  if (lead == 0xE0) return {3, 0xA0, 0xBF};
  if (lead == 0xED) return {3, 0x80, 0x9F};  // no encoded surrogates
  if (lead >= 0xE1 && lead <= 0xEF) return {3, 0x80, 0xBF};
  if (lead == 0xF0) return {4, 0x90, 0xBF};
  if (lead >= 0xF1 && lead <= 0xF3) return {4, 0x80, 0xBF};
  if (lead == 0xF4) return {4, 0x80, 0x8F};
  return {0, 0, 0};
}

}  // namespace

void AppendUtf8(std::u16string_view text, std::string& out) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t unit = text[i];
    if (IsHighSurrogate(unit) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      PutUtf8(0x10000 + ((unit - 0xD800) << 10) + (text[i + 1] - 0xDC00), out);
      ++i;
    } else if (IsHighSurrogate(unit) || IsLowSurrogate(unit)) {
      PutUtf8(kReplacement, out);
    } else {
      PutUtf8(unit, out);
    }
  }
}

void AppendUtf16(std::string_view bytes, std::u16string& out) {
  std::size_t i = 0;
  while (i < bytes.size()) {
    unsigned char lead = static_cast<unsigned char>(bytes[i]);
    if (lead < 0x80) {
      out += static_cast<char16_t>(lead);
      ++i;
      continue;
    }
    LeadInfo info = DescribeLead(lead);
    if (info.length == 0) {
      PutUtf16(kReplacement, out);
      ++i;
      continue;
    }
    char32_t cp = lead & (0x7F >> info.length);
    std::size_t used = 1;
    for (; used < static_cast<std::size_t>(info.length); ++used) {
      if (i + used >= bytes.size()) break;
      unsigned char next = static_cast<unsigned char>(bytes[i + used]);
      unsigned char low = used == 1 ? info.low : 0x80;
      unsigned char high = used == 1 ? info.high : 0xBF;
      if (next < low || next > high) break;
      cp = (cp << 6) | (next & 0x3F);
    }
    // A truncated sequence is one maximal subpart: one replacement for all
    // of its bytes, and the byte that broke it is read again.
    PutUtf16(used == static_cast<std::size_t>(info.length) ? cp : kReplacement, out);
    i += used;
  }
}

std::string ToUtf8(std::u16string_view text) {
  std::string out;
  AppendUtf8(text, out);
  return out;
}

std::u16string ToUtf16(std::string_view bytes) {
  std::u16string out;
  AppendUtf16(bytes, out);
  return out;
}


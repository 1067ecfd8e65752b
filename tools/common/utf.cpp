#include "tools/common/utf.h"

#include <cstdio>

std::string JsonString(std::u16string_view text) {
  std::string out = "\"";
  for (char byte : ToUtf8(text)) {
    switch (byte) {
      case '"': out += "\\\""; continue;
      case '\\': out += "\\\\"; continue;
      case '\n': out += "\\n"; continue;
      case '\r': out += "\\r"; continue;
      case '\t': out += "\\t"; continue;
      default: break;
    }
    const auto value = static_cast<unsigned char>(byte);
    if (value < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(value));
      out += escaped;
    } else {
      out += byte;
    }
  }
  return out + "\"";
}

// Bytes that are not UTF-8 become U+FFFD on the way.
std::string JsonString(std::string_view utf8) { return JsonString(ToUtf16(utf8)); }

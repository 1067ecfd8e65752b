#include "ui/emulated/transcript_text.h"

#include <cstdio>

#include "base/utf8.h"
#include "os/process.h"
#include "ui/emulated/presenter.h"

namespace ui {

std::string EscapeForTranscript(std::u16string_view text) {
  std::string out;
  for (char byte : ToUtf8(text)) {
    auto value = static_cast<unsigned char>(byte);
    switch (byte) {
      case '\\': out += "\\\\"; break;
      case '"': out += "\\\""; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      default:
        if (value < 0x20 || value == 0x7F) {
          char hex[5];
          std::snprintf(hex, sizeof hex, "\\x%02X", value);
          out += hex;
        } else {
          out += byte;
        }
    }
  }
  return out;
}

namespace {

bool ParseDimension(const char*& cursor, std::int32_t* value) {
  std::int32_t number = 0;
  const char* start = cursor;
  while (*cursor >= '0' && *cursor <= '9') {
    number = number * 10 + (*cursor - '0');
    if (number > 65535) return false;
    ++cursor;
  }
  if (cursor == start || number == 0) return false;
  *value = number;
  return true;
}

}  // namespace

bool ParseScreenSize(const char* text, std::int32_t* width, std::int32_t* height) {
  if (!text) return false;
  std::int32_t w = 0, h = 0;
  const char* cursor = text;
  if (!ParseDimension(cursor, &w) || (*cursor != 'x' && *cursor != 'X')) return false;
  ++cursor;
  if (!ParseDimension(cursor, &h) || *cursor != '\0') return false;
  *width = w;
  *height = h;
  return true;
}

void ReadScreenSize(std::int32_t* width, std::int32_t* height) {
  std::int32_t w = 1920, h = 1080;
  ParseScreenSize(os::GetEnvironment("QV_SCREEN"), &w, &h);
  if (width) *width = w;
  if (height) *height = h;
}

}  // namespace ui

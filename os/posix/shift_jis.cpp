#include "os/posix/shift_jis.h"

#include <iconv.h>

#include <cerrno>

namespace os::posix {
namespace {

constexpr char16_t kDefaultWide = 0x30FB;

// iconv descriptors are not shareable between threads; each thread keeps
// its own pair.
class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Converter() {
    if (ok()) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  // Converts as much as possible; returns false at an invalid or incomplete
  // sequence, leaving `in` there.
  bool Run(const char*& in, std::size_t& in_left, std::string& out) {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    char chunk[256];
    while (in_left > 0) {
      char* put = chunk;
      std::size_t room = sizeof(chunk);
      std::size_t result = iconv(cd_, const_cast<char**>(&in), &in_left, &put, &room);
      out.append(chunk, static_cast<std::size_t>(put - chunk));
      if (result == static_cast<std::size_t>(-1) && errno != E2BIG) return false;
    }
    return true;
  }

 private:
  iconv_t cd_;
};

Converter& ToShiftJis() {
  thread_local Converter converter("CP932", "UTF-16LE");
  return converter;
}

Converter& FromShiftJis() {
  thread_local Converter converter("UTF-16LE", "CP932");
  return converter;
}

bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

std::string LittleEndianBytes(std::u16string_view text) {
  std::string bytes;
  bytes.reserve(text.size() * 2);
  for (char16_t unit : text) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  return bytes;
}

}  // namespace

bool WideToShiftJis(std::u16string_view text, std::string& out) {
  Converter& converter = ToShiftJis();
  if (!converter.ok()) return false;
  std::string bytes = LittleEndianBytes(text);
  const char* in = bytes.data();
  std::size_t left = bytes.size();
  while (!converter.Run(in, left, out)) {
    // Skip the offending character: a surrogate pair or a single unit.
    std::size_t unit = static_cast<std::size_t>(in - bytes.data()) / 2;
    std::size_t skip = 1;
    if (IsHighSurrogate(text[unit]) && unit + 1 < text.size() && IsLowSurrogate(text[unit + 1]))
      skip = 2;
    out += '?';
    in += skip * 2;
    left -= skip * 2;
  }
  return true;
}

bool ShiftJisToWide(std::string_view bytes, std::u16string& out) {
  Converter& converter = FromShiftJis();
  if (!converter.ok()) return false;
  const char* in = bytes.data();
  std::size_t left = bytes.size();
  std::string wide;
  while (!converter.Run(in, left, wide)) {
    // One default character for the byte that cannot start a character;
    // the conversion resumes at the next byte.
    wide += static_cast<char>(kDefaultWide & 0xFF);
    wide += static_cast<char>(kDefaultWide >> 8);
    ++in;
    --left;
  }
  for (std::size_t i = 0; i + 1 < wide.size(); i += 2)
    out += static_cast<char16_t>(static_cast<unsigned char>(wide[i]) |
                                 (static_cast<unsigned char>(wide[i + 1]) << 8));
  return true;
}

}  // namespace os::posix

#include "tools/qvimg/command.h"

#include "tools/qvimg/picture_io.h"

#include <charconv>
#include <cstdio>

namespace {

// Frames listed by "info"; longer chains are cut.
constexpr std::size_t kListedFrames = 4096;

constexpr char kHelp[] =
    "Usage:\n"
    "  qvimg info FILE...\n"
    "  qvimg convert IN OUT [--frame-index N | --frame-id N] [--expand]\n"
    "                       [--flatten RRGGBB] [--quality Q]\n"
    "  qvimg --help\n"
    "\n"
    "Reads HG-3, HG-2, PNG, JPEG, BMP (24/32-bit), PSD (RGB merged image), WebP\n"
    "and QVF pictures, recognised by their contents, not their names.\n"
    "\n"
    "info     prints, per file, the format and its code, width, height, bytes\n"
    "         per pixel, canvas size, offset, base point and alpha state, and\n"
    "         for HG-2 and HG-3 files every frame's index and id. It describes\n"
    "         the first frame.\n"
    "convert  decodes IN and writes OUT in the format named by OUT's extension:\n"
    "         .png .bmp .jpg .webp .qvf .hg2 .hg3, or .bgra (raw pixels: top row\n"
    "         first, blue, green, red, alpha per pixel, no header; pictures\n"
    "         without alpha get 255). The picture keeps its orientation in\n"
    "         every format.\n"
    "\n"
    "Options of convert:\n"
    "  --frame-index N  the N-th frame of an HG-2/HG-3 file, counted from 0\n"
    "                   (default 0)\n"
    "  --frame-id N     the first frame whose id is N\n"
    "  --expand         place the frame on its full canvas, transparent around\n"
    "  --flatten RRGGBB compose the picture over this colour (hex), dropping\n"
    "                   alpha; .jpg output is flattened over white by default\n"
    "  --quality Q      quality 1-100 of .jpg and .webp output (default 90)\n"
    "\n"
    "Exit status: 0 success, 1 a file could not be read, decoded or written,\n"
    "2 bad usage. Errors are one line on standard error.\n";

struct Usage {
  std::string message;
};

bool ParseNumber(const std::string& text, int base, std::uint32_t* value) {
  const char* end = text.data() + text.size();
  const auto result = std::from_chars(text.data(), end, *value, base);
  return !text.empty() && result.ec == std::errc() && result.ptr == end;
}

const char* AlphaText(std::uint32_t state) {
  switch (state) {
    case kAlphaOpaque:
      return "opaque";
    case kAlphaTransparent:
      return "has transparent pixels";
    default:
      return "not recorded";
  }
}

std::string Describe(const std::string& path, const ByteVector& bytes, const Picture& picture) {
  const qvImage& image = *picture.image();
  std::uint32_t canvas_width = 0, canvas_height = 0, x = 0, y = 0, base_x = 0, base_y = 0;
  image.GetCanvasSize(&canvas_width, &canvas_height);
  image.GetOffset(&x, &y);
  image.GetBase(&base_x, &base_y);
  char line[512];
  std::string text = path + "\n";
  std::snprintf(line, sizeof line,
                "  type: %s (%u)\n  size: %u x %u, %u bytes per pixel\n"
                "  canvas: %u x %u, offset %u, %u, base %u, %u\n  alpha: %u (%s)\n",
                qvImageHolder::TypeName(picture.type), picture.type, image.GetWidth(),
                image.GetHeight(), image.GetBytesPerPixel(), canvas_width, canvas_height, x, y,
                base_x, base_y, image.GetAlphaState(), AlphaText(image.GetAlphaState()));
  text += line;
  const std::vector<std::uint32_t> ids = ListFrameIds(bytes, picture.type, kListedFrames);
  if (!ids.empty()) {
    text += "  frames:";
    for (std::size_t i = 0; i < ids.size(); ++i) {
      text += (i == 0 ? " " : ", ") + std::to_string(i) + " (id " + std::to_string(ids[i]) + ")";
    }
    if (ids.size() == kListedFrames) text += ", ...";
    text += "\n";
  }
  return text;
}

int Info(const std::vector<std::string>& files, std::string* out, std::string* err) {
  if (files.empty()) throw Usage{"info needs at least one FILE"};
  int status = 0;
  for (const std::string& path : files) {
    ByteVector bytes;
    Picture picture;
    std::string reason = ReadFileBytes(path, &bytes);
    if (reason.empty()) reason = LoadPicture(bytes, {}, false, &picture);
    if (!reason.empty()) {
      *err += "qvimg: " + path + ": " + reason + "\n";
      status = 1;
      continue;
    }
    *out += Describe(path, bytes, picture);
  }
  return status;
}

int Convert(const std::vector<std::string>& arguments, std::string* err) {
  std::vector<std::string> paths;
  FrameChoice frame;
  bool frame_given = false;
  bool expand = false;
  EncodeOptions options;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& a = arguments[i];
    auto value = [&]() -> const std::string& {
      if (i + 1 >= arguments.size()) throw Usage{a + " needs a value"};
      return arguments[++i];
    };
    if (a == "--frame-index" || a == "--frame-id") {
      if (frame_given) throw Usage{"give either --frame-index or --frame-id, once"};
      frame_given = true;
      frame.by_id = a == "--frame-id";
      if (!ParseNumber(value(), 10, &frame.value)) throw Usage{a + " takes a number"};
    } else if (a == "--expand") {
      expand = true;
    } else if (a == "--flatten") {
      std::string colour = value();
      std::uint32_t rgb = 0;
      if (colour.size() != 6 || !ParseNumber(colour, 16, &rgb)) {
        throw Usage{"--flatten takes a colour as RRGGBB in hex"};
      }
      options.flatten = rgb;
    } else if (a == "--quality") {
      if (!ParseNumber(value(), 10, &options.quality) || options.quality < 1 ||
          options.quality > 100) {
        throw Usage{"--quality takes a number from 1 to 100"};
      }
    } else if (a.size() > 1 && a[0] == '-') {
      throw Usage{"unknown option " + a};
    } else {
      paths.push_back(a);
    }
  }
  if (paths.size() != 2) throw Usage{"convert needs IN and OUT"};
  const std::string& in = paths[0];
  const std::string& out_path = paths[1];
  const std::optional<OutputFormat> format = OutputFormatFor(out_path);
  if (!format) {
    throw Usage{"cannot tell the output format of " + out_path +
                " (use .png .bmp .jpg .webp .qvf .hg2 .hg3 or .bgra)"};
  }
  ByteVector bytes;
  Picture picture;
  std::string reason = ReadFileBytes(in, &bytes);
  if (reason.empty()) reason = LoadPicture(bytes, frame, expand, &picture);
  if (!reason.empty()) {
    *err += "qvimg: " + in + ": " + reason + "\n";
    return 1;
  }
  ByteVector encoded;
  reason = EncodePicture(&picture, *format, options, &encoded);
  if (reason.empty()) reason = WriteFileBytes(out_path, encoded.data(), encoded.size());
  if (!reason.empty()) {
    *err += "qvimg: " + out_path + ": " + reason + "\n";
    return 1;
  }
  return 0;
}

}  // namespace

int RunQvimg(const std::vector<std::string>& arguments, std::string* out, std::string* err) {
  try {
    if (arguments.empty()) throw Usage{"no command given"};
    const std::string& command = arguments[0];
    if (command == "--help" || command == "-h" || command == "help") {
      *out += kHelp;
      return 0;
    }
    const std::vector<std::string> rest(arguments.begin() + 1, arguments.end());
    for (const std::string& a : rest) {
      if (a == "--help" || a == "-h") {
        *out += kHelp;
        return 0;
      }
    }
    if (command == "info") return Info(rest, out, err);
    if (command == "convert") return Convert(rest, err);
    throw Usage{"unknown command " + command};
  } catch (const Usage& usage) {
    *err += "qvimg: " + usage.message + " (see qvimg --help)\n";
    return 2;
  }
}

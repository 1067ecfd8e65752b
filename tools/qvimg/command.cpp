#include "tools/qvimg/command.h"

#include "tools/common/failure.h"
#include "tools/qvimg/picture_io.h"

#include <charconv>
#include <cstdio>
#include <optional>

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

// Bad usage: one line naming the problem; status 2.
int Usage(std::string* err, const std::string& problem) {
  *err += "qvimg: " + problem + " (see qvimg --help)\n";
  return 2;
}

// A file that cannot be read, decoded or written: one line; status 1.
int FileFailure(std::string* err, const std::string& path, const std::string& reason) {
  *err += "qvimg: " + path + ": " + reason + "\n";
  return 1;
}

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
  if (files.empty()) return Usage(err, "info needs at least one FILE");
  int status = 0;
  for (const std::string& path : files) {
    ByteVector bytes;
    Picture picture;
    std::string reason;
    if (!ReadFileBytes(path, &bytes, &reason) || !LoadPicture(bytes, {}, false, &picture, &reason)) {
      status = FileFailure(err, path, reason);
      continue;
    }
    *out += Describe(path, bytes, picture);
  }
  return status;
}

struct ConvertRequest {
  std::string in;
  std::string out;
  OutputFormat format = OutputFormat::kPng;
  FrameChoice frame;
  bool expand = false;
  EncodeOptions options;
};

// The value after the option at `*i`, which then points at the value.
bool TakeValue(const std::vector<std::string>& arguments, std::size_t* i, std::string* value,
               std::string* problem) {
  if (*i + 1 >= arguments.size()) return Fail(problem, arguments[*i] + " needs a value");
  *value = arguments[++*i];
  return true;
}

// False, with the problem in `problem`, for bad usage.
bool ParseConvert(const std::vector<std::string>& arguments, ConvertRequest* request,
                  std::string* problem) {
  std::vector<std::string> paths;
  bool frame_given = false;
  std::string value;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& a = arguments[i];
    if (a == "--frame-index" || a == "--frame-id") {
      if (frame_given) return Fail(problem, "give either --frame-index or --frame-id, once");
      frame_given = true;
      request->frame.by_id = a == "--frame-id";
      if (!TakeValue(arguments, &i, &value, problem)) return false;
      if (!ParseNumber(value, 10, &request->frame.value)) return Fail(problem, a + " takes a number");
    } else if (a == "--expand") {
      request->expand = true;
    } else if (a == "--flatten") {
      if (!TakeValue(arguments, &i, &value, problem)) return false;
      std::uint32_t rgb = 0;
      if (value.size() != 6 || !ParseNumber(value, 16, &rgb)) {
        return Fail(problem, "--flatten takes a colour as RRGGBB in hex");
      }
      request->options.flatten = rgb;
    } else if (a == "--quality") {
      if (!TakeValue(arguments, &i, &value, problem)) return false;
      std::uint32_t& quality = request->options.quality;
      if (!ParseNumber(value, 10, &quality) || quality < 1 || quality > 100) {
        return Fail(problem, "--quality takes a number from 1 to 100");
      }
    } else if (a.size() > 1 && a[0] == '-') {
      return Fail(problem, "unknown option " + a);
    } else {
      paths.push_back(a);
    }
  }
  if (paths.size() != 2) return Fail(problem, "convert needs IN and OUT");
  request->in = paths[0];
  request->out = paths[1];
  const std::optional<OutputFormat> format = OutputFormatFor(request->out);
  if (!format) {
    return Fail(problem, "cannot tell the output format of " + request->out +
                             " (use .png .bmp .jpg .webp .qvf .hg2 .hg3 or .bgra)");
  }
  request->format = *format;
  return true;
}

int Convert(const std::vector<std::string>& arguments, std::string* err) {
  ConvertRequest request;
  std::string problem;
  if (!ParseConvert(arguments, &request, &problem)) return Usage(err, problem);
  ByteVector bytes;
  Picture picture;
  std::string reason;
  if (!ReadFileBytes(request.in, &bytes, &reason) ||
      !LoadPicture(bytes, request.frame, request.expand, &picture, &reason)) {
    return FileFailure(err, request.in, reason);
  }
  ByteVector encoded;
  if (!EncodePicture(&picture, request.format, request.options, &encoded, &reason) ||
      !WriteFileBytes(request.out, encoded.data(), encoded.size(), &reason)) {
    return FileFailure(err, request.out, reason);
  }
  return 0;
}

}  // namespace

int RunQvimg(const std::vector<std::string>& arguments, std::string* out, std::string* err) {
  if (arguments.empty()) return Usage(err, "no command given");
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
  return Usage(err, "unknown command " + command);
}

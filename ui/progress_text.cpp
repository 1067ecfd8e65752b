#include "ui/progress_text.h"

#include <algorithm>
#include <limits>

namespace ui {

namespace {

constexpr char16_t kEllipsis = u'…';

bool IsSeparator(char16_t unit) { return unit == u'\\' || unit == u'/'; }
bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

std::u16string Decimal(std::uint64_t value) {
  std::u16string digits;
  do {
    digits.insert(digits.begin(), static_cast<char16_t>(u'0' + value % 10));
    value /= 10;
  } while (value != 0);
  return digits;
}

std::uint64_t Done(const Progress& progress) {
  return std::min(progress.total_done, progress.total_size);
}

}  // namespace

std::u16string FormatSize(std::uint64_t bytes) {
  static constexpr const char16_t* kUnits[] = {u" KB", u" MB", u" GB", u" TB"};
  if (bytes < 1024) return Decimal(bytes) + u" B";
  std::uint64_t unit = 1024;
  for (std::size_t i = 0;; ++i, unit *= 1024) {
    // Tenths of the unit, rounded half up, without overflowing 64 bits.
    const std::uint64_t remainder = bytes % unit;
    const std::uint64_t tenths = bytes / unit * 10 + (remainder * 10 + unit / 2) / unit;
    // 1023.96 KB rounds to 1024.0: that is 1.0 MB.
    if (tenths >= 10240 && i + 1 < std::size(kUnits)) continue;
    return Decimal(tenths / 10) + u'.' + static_cast<char16_t>(u'0' + tenths % 10) + kUnits[i];
  }
}

std::u16string ShortenPath(std::u16string_view path, std::size_t limit) {
  if (path.size() <= limit) return std::u16string(path);
  if (limit == 0) return {};
  std::size_t name_start = path.size();
  while (name_start > 0 && !IsSeparator(path[name_start - 1])) --name_start;
  const std::size_t name_length = path.size() - name_start;
  if (name_start > 0 && name_length + 2 <= limit) {
    // The head of the path, "…", the separator and the whole name.
    std::size_t keep = limit - name_length - 2;
    if (keep > 0 && IsHighSurrogate(path[keep - 1])) --keep;
    return std::u16string(path.substr(0, keep)) + kEllipsis + path[name_start - 1] +
           std::u16string(path.substr(name_start));
  }
  // "…" and the end of the name.
  std::size_t tail = path.size() - (limit - 1);
  if (tail < path.size() && IsLowSurrogate(path[tail])) ++tail;
  return kEllipsis + std::u16string(path.substr(tail));
}

std::u16string FormatProgressLine(const Progress& progress, std::size_t path_limit) {
  std::u16string line = progress.file ? ShortenPath(progress.file, path_limit) : u"";
  if (!line.empty()) line += u" — ";
  return line + FormatSize(Done(progress)) + u" / " + FormatSize(progress.total_size);
}

BarPosition ScaleForBar(const Progress& progress) {
  if (progress.total_size == 0) return {1, 1};
  constexpr std::uint64_t kLimit = std::numeric_limits<std::int32_t>::max();
  int shift = 0;
  while ((progress.total_size >> shift) > kLimit) ++shift;
  return {static_cast<std::int32_t>(progress.total_size >> shift),
          static_cast<std::int32_t>(Done(progress) >> shift)};
}

int ProgressPercent(const Progress& progress) {
  const BarPosition bar = ScaleForBar(progress);
  return static_cast<int>(std::int64_t{bar.position} * 100 / bar.range);
}

}  // namespace ui

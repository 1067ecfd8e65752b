// How a copy in progress is put into words and into a bar, the same way in
// every front end that shows it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "ui/ui.h"

namespace ui {

// "512 B", "1.0 KB", "1.2 GB": multiples of 1024 with the names Windows
// gives them, one decimal, rounded to the nearest tenth (up to "TB").
std::u16string FormatSize(std::uint64_t bytes);

// The path cut to at most `limit` units: the middle folders give way to
// "…" first, so the file name stays whole as long as it fits; a name that
// does not fit keeps its end. A surrogate pair is never split.
std::u16string ShortenPath(std::u16string_view path, std::size_t limit);

// "scenario\chapter07.txt — 1.2 GB / 3.4 GB", with the path shortened to
// `path_limit` units (a limit of 0 leaves the sizes alone). The bytes done
// never exceed the total shown.
std::u16string FormatProgressLine(const Progress& progress, std::size_t path_limit);

// 0 to 100; a copy with nothing to copy is complete.
int ProgressPercent(const Progress& progress);

// The bytes done and the total brought into a bar control's signed 32-bit
// range, both scaled alike, done never past the end.
struct BarPosition {
  std::int32_t range = 0;
  std::int32_t position = 0;
};
BarPosition ScaleForBar(const Progress& progress);

}  // namespace ui

#include "tools/common/progress_meter.h"

#include <algorithm>

#include "tools/common/utf.h"
#include "ui/emulated/console.h"
#include "ui/progress_text.h"

namespace {

// Leaves the last column free: a terminal that wraps there would scroll.
constexpr std::size_t kLineWidth = 79;
constexpr std::size_t kShortestPath = 12;
constexpr auto kRedrawInterval = std::chrono::milliseconds(100);

}  // namespace

ProgressMeter ProgressMeter::OnTerminal() { return ProgressMeter(stderr, ui::IsTerminalError()); }

void ProgressMeter::Begin(std::string_view step, std::uint64_t total) {
  step_ = step;
  total_ = total;
  done_ = 0;
  next_draw_ = {};
}

void ProgressMeter::Advance(std::uint64_t bytes, std::u16string_view item) {
  done_ += bytes;
  if (!enabled_) return;
  const auto now = std::chrono::steady_clock::now();
  if (now < next_draw_) return;
  next_draw_ = now + kRedrawInterval;
  Draw(item);
}

void ProgressMeter::Draw(std::u16string_view item) {
  ui::Progress progress;
  progress.total_done = done_;
  progress.total_size = total_;
  std::u16string head = ToUtf16(step_) + u" " + ToUtf16(std::to_string(ui::ProgressPercent(progress))) +
                        u"% " + ui::FormatSize(std::min(done_, total_)) + u" / " +
                        ui::FormatSize(total_) + u"  ";
  const std::size_t room = head.size() < kLineWidth - kShortestPath ? kLineWidth - head.size()
                                                                     : kShortestPath;
  const std::u16string line = head + ui::ShortenPath(item, room);
  // Blanks over what a longer line before left behind.
  const std::size_t width = line.size();
  const std::string padding(width_ > width ? width_ - width : 0, ' ');
  std::fprintf(stream_, "\r%s%s", ToUtf8(line).c_str(), padding.c_str());
  std::fflush(stream_);
  width_ = width;
  drawn_ = true;
}

void ProgressMeter::End() {
  if (!drawn_) return;
  std::fprintf(stream_, "\r%s\r", std::string(width_, ' ').c_str());
  std::fflush(stream_);
  drawn_ = false;
  width_ = 0;
}

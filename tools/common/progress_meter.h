// One line on a terminal that follows a long run through many bytes
// (hashing or copying gigabytes): the step, the percentage, the bytes done
// of the total and the file at hand, redrawn at most ten times a second.
// Where the stream is not a terminal it stays silent, so that logs and
// pipes get only the tool's own output.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

class ProgressMeter {
 public:
  // Draws on `stream` when `enabled`; a disabled meter does nothing.
  ProgressMeter(std::FILE* stream, bool enabled) : stream_(stream), enabled_(enabled) {}
  // A meter on standard error, enabled when it is a terminal.
  static ProgressMeter OnTerminal();
  ~ProgressMeter() { End(); }

  // Starts a step of `total` bytes; "hashing", "copying".
  void Begin(std::string_view step, std::uint64_t total);
  // `bytes` more are done, in `item` (a relative path).
  void Advance(std::uint64_t bytes, std::u16string_view item);
  // Clears the line.
  void End();

 private:
  void Draw(std::u16string_view item);

  std::FILE* stream_;
  bool enabled_;
  bool drawn_ = false;
  std::string step_;
  std::uint64_t total_ = 0;
  std::uint64_t done_ = 0;
  std::size_t width_ = 0;  // of the last line drawn
  std::chrono::steady_clock::time_point next_draw_{};
};

#include "ui/win32/progress_view.h"

#include <windows.h>
#include <commctrl.h>

#include <mutex>
#include <string>

#include "ui/progress_text.h"

namespace ui {

namespace {

constexpr UINT_PTR kRefreshTimer = 0x5156;  // "QV"
constexpr UINT kRefreshMilliseconds = 100;
// The path is left whole: the control's path ellipsis fits it to the line.
constexpr std::size_t kPathUnits = 259;

// The latest report; the worker's status buffer changes under the caller,
// so the path is copied.
struct Latest {
  std::mutex lock;
  std::uint64_t total_size = 0;
  std::uint64_t total_done = 0;
  std::u16string file;
  bool unseen = false;
};

Latest& TheLatest() {
  static Latest latest;
  return latest;
}

}  // namespace

void StartProgressView(Window* window) {
  HWND dialog = reinterpret_cast<HWND>(window);
  Latest& latest = TheLatest();
  {
    std::lock_guard<std::mutex> hold(latest.lock);
    latest.total_size = latest.total_done = 0;
    latest.file.clear();
    latest.unseen = false;
  }
  ::SetTimer(dialog, kRefreshTimer, kRefreshMilliseconds, nullptr);
}

void ReportProgress(const Progress& progress) {
  Latest& latest = TheLatest();
  std::lock_guard<std::mutex> hold(latest.lock);
  latest.total_size = progress.total_size;
  latest.total_done = progress.total_done;
  latest.file = progress.file ? progress.file : u"";
  latest.unseen = true;
}

bool HandleProgressTimer(Window* window, std::uint32_t message, std::uintptr_t wparam) {
  if (message != WM_TIMER || wparam != kRefreshTimer) return false;
  HWND dialog = reinterpret_cast<HWND>(window);
  Progress progress;
  std::u16string file;
  {
    Latest& latest = TheLatest();
    std::lock_guard<std::mutex> hold(latest.lock);
    if (!latest.unseen) return true;
    latest.unseen = false;
    progress.total_size = latest.total_size;
    progress.total_done = latest.total_done;
    file = latest.file;
  }
  progress.file = file.c_str();
  const BarPosition bar = ScaleForBar(progress);
  ::SendDlgItemMessageW(dialog, kProgressBarItem, PBM_SETRANGE32, 0, bar.range);
  ::SendDlgItemMessageW(dialog, kProgressBarItem, PBM_SETPOS, static_cast<WPARAM>(bar.position),
                        0);
  const std::u16string line = FormatProgressLine(progress, kPathUnits);
  ::SetDlgItemTextW(dialog, kProgressFileItem, reinterpret_cast<const wchar_t*>(line.c_str()));
  return true;
}

}  // namespace ui

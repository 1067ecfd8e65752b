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

// The line with as much of the path as fits the control in its font; the
// sizes always stay whole.
std::u16string FittedLine(HWND control, const Progress& progress) {
  const std::size_t length = progress.file ? std::char_traits<char16_t>::length(progress.file) : 0;
  RECT area;
  HDC context = ::GetDC(control);
  if (!context || !::GetClientRect(control, &area)) {
    if (context) ::ReleaseDC(control, context);
    return FormatProgressLine(progress, length);
  }
  HGDIOBJ font = reinterpret_cast<HGDIOBJ>(::SendMessageW(control, WM_GETFONT, 0, 0));
  HGDIOBJ previous = font ? ::SelectObject(context, font) : nullptr;
  auto fits = [&](std::size_t limit) {
    const std::u16string line = FormatProgressLine(progress, limit);
    SIZE size;
    return ::GetTextExtentPoint32W(context, reinterpret_cast<const wchar_t*>(line.c_str()),
                                   static_cast<int>(line.size()), &size) &&
           size.cx <= area.right;
  };
  // The widest limit that fits; a shorter path never makes the line wider.
  std::size_t low = 0, high = length;
  while (low < high) {
    const std::size_t middle = (low + high + 1) / 2;
    if (fits(middle))
      low = middle;
    else
      high = middle - 1;
  }
  if (previous) ::SelectObject(context, previous);
  ::ReleaseDC(control, context);
  return FormatProgressLine(progress, low);
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
  const std::u16string line = FittedLine(::GetDlgItem(dialog, kProgressFileItem), progress);
  ::SetDlgItemTextW(dialog, kProgressFileItem, reinterpret_cast<const wchar_t*>(line.c_str()));
  return true;
}

}  // namespace ui

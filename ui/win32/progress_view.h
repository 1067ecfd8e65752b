// The progress dialog's bar and file line. Worker threads report; the
// dialog's timer shows the latest report on the GUI thread, at most ten
// times a second, however often the worker reports.
#pragma once

#include <cstdint>

#include "ui/ui.h"

namespace ui {

// Forgets earlier reports and starts the refresh timer of a dialog that
// has just been created.
void StartProgressView(Window* dialog);
// True when `message` was the view's own timer (it has then refreshed).
bool HandleProgressTimer(Window* dialog, std::uint32_t message, std::uintptr_t wparam);
// Safe from any thread.
void ReportProgress(const Progress& progress);

}  // namespace ui

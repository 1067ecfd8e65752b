// The updater's one top-level window, "WC_UPDATE": a captionless popup
// with a thin border showing the background picture in the middle of the
// screen, whose posted messages drive the install sequence.
#pragma once

#include <cstdint>

#include "ui/ui.h"

inline constexpr char16_t kMainWindowClass[] = u"WC_UPDATE";
inline constexpr std::uint32_t kMainWindowStyle =
    ui::kStylePopup | ui::kStyleVisible | ui::kStyleBorder;  // 0x90800000
inline constexpr std::uint32_t kMainClassStyle = 3;            // CS_VREDRAW | CS_HREDRAW
inline constexpr int kLargeIconGroup = 103;
inline constexpr int kSmallIconGroup = 104;

void MainWindowProcedure(ui::Window* window, std::uint32_t message);

// On input the rectangle's right and bottom hold the client width and
// height; on success it becomes the window rectangle centred on the
// primary screen. A failed frame computation leaves it alone. A null
// rectangle is a calling error (assertion).
void CenteredWindowRect(ui::Rect* rect, std::uint32_t style, std::uint32_t extended_style,
                        bool has_menu);

// The whole run, from the framework's start to its end; the exit code
// (RunExit).
int RunUpdater();

// The updater's private window messages, always posted with both
// parameters 0.
#pragma once

#include <cstdint>

#include "ui/ui.h"

inline constexpr std::uint32_t UM_START_INSTALL = ui::kMsgUser + 2;   // 1026, dialog
inline constexpr std::uint32_t UM_CLOSE = ui::kMsgUser + 10;          // 1034, dialog or main
inline constexpr std::uint32_t UM_CONFIRM = ui::kMsgUser + 20;        // 1044, main
inline constexpr std::uint32_t UM_OPEN_PROGRESS = ui::kMsgUser + 21;  // 1045, main
inline constexpr std::uint32_t UM_REPAINT = ui::kMsgUser + 22;        // 1046, main
inline constexpr std::uint32_t UM_INSTALL_DONE = ui::kMsgUser + 23;   // 1047, dialog
inline constexpr std::uint32_t UM_INSTALL_FAILED = ui::kMsgUser + 24; // 1048, dialog

// How the terminal front end reads the answer to an OK/Cancel box.
#pragma once

#include <optional>
#include <string_view>

#include "ui/ui.h"

namespace ui {

// A clear yes ("o", "ok", "y", "yes") or no ("c", "cancel", "n", "no",
// "q"), in any case and with blanks around it; nullopt for anything else,
// an empty line included.
std::optional<Answer> ParseOkCancelAnswer(std::string_view line);

}  // namespace ui

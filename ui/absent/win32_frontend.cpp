// Builds without Windows have no real windows; the terminal view stands in.
#include "ui/frontend.h"

namespace ui {

std::unique_ptr<Frontend> MakeWin32Frontend() { return nullptr; }

}  // namespace ui

// Whether standard input and output are terminals.
#pragma once

namespace ui {

bool IsTerminalInput();
bool IsTerminalOutput();

}  // namespace ui

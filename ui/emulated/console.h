// Whether standard input, output and error are terminals.
#pragma once

namespace ui {

bool IsTerminalInput();
bool IsTerminalOutput();
bool IsTerminalError();

}  // namespace ui

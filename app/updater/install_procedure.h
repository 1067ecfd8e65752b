// The install sequence as the user sees it: the confirmation, the install
// folder lookup, the progress dialog with the deletions, install.log and
// the background copy, and the final boxes.
#pragma once

#include <cstdint>

#include "ui/ui.h"

// UM_CONFIRM of the main window: asks, finds the install folder, lists the
// files to copy, then posts UM_REPAINT (or UM_CLOSE when cancelled or the
// folder cannot be found).
void HandleConfirm(ui::Window* main_window);

// The procedure of the modal progress dialog.
void ProgressDialogProcedure(ui::Window* dialog, std::uint32_t message);

// Ends the run's install session at teardown (the worker stopped, the
// install folder's lock released) and gives the process's exit code.
int EndInstallSession();

#include "ui/emulated/console.h"

#include <cstdio>

#ifdef _WIN32
#include <io.h>
#define QV_ISATTY _isatty
#define QV_FILENO _fileno
#else
#include <unistd.h>
#define QV_ISATTY isatty
#define QV_FILENO fileno
#endif

namespace ui {

bool IsTerminalInput() { return QV_ISATTY(QV_FILENO(stdin)) != 0; }
bool IsTerminalOutput() { return QV_ISATTY(QV_FILENO(stdout)) != 0; }
bool IsTerminalError() { return QV_ISATTY(QV_FILENO(stderr)) != 0; }

}  // namespace ui

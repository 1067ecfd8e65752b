// The updater's entry point; the command line is not used.
#include "app/updater/main_window.h"

#ifdef _WIN32
int wmain() { return RunUpdater(); }
#else
int main() { return RunUpdater(); }
#endif

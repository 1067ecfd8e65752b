// The updater's entry point; the command line and show command are unused.
#include "app/updater/main_window.h"

#ifdef _WIN32
extern "C" int __stdcall wWinMain(void*, void*, wchar_t*, int) { return RunUpdater(); }
#else
int main() { return RunUpdater(); }
#endif

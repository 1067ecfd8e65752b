// Common controls and COM for the framework's start-up and shutdown.
#include "os/win32/windows_fwd.h"

#include <commctrl.h>
#include <objbase.h>

#include "os/system.h"

namespace os {

void InitCommonControls() { ::InitCommonControls(); }

bool InitializeCom() { return SUCCEEDED(::CoInitialize(nullptr)); }

void UninitializeCom() { ::CoUninitialize(); }

}  // namespace os

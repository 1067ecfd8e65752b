// Common controls and COM do not exist here.
#include "os/system.h"

namespace os {

void InitCommonControls() {}
bool InitializeCom() { return true; }
void UninitializeCom() {}

}  // namespace os

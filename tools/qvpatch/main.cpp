// qvpatch: makes a patch from two game trees and checks installations.
#include "tools/common/tool_main.h"
#include "tools/qvpatch/command.h"

QV_TOOL_MAIN("qvpatch", RunQvpatch)

// qvarc: lists, extracts and creates the engine's archives.
#include "tools/common/tool_main.h"
#include "tools/qvarc/command.h"

QV_TOOL_MAIN("qvarc", RunQvarc)

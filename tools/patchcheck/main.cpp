// patchcheck: shows a patch author what the updater will make of a patch
// folder.
#include "tools/common/tool_main.h"
#include "tools/patchcheck/command.h"

QV_TOOL_MAIN("patchcheck", RunPatchcheck)

// The two forms patchcheck prints a report in.
#pragma once

#include <string>

#include "tools/patchcheck/patch_check.h"

// Lines for people; texts quoted with C-style escapes.
std::string FormatReportText(const PatchReport& report);
// One JSON object; texts are UTF-8 JSON strings.
std::string FormatReportJson(const PatchReport& report);

#include "tools/patchcheck/command.h"

#include "os/process.h"
#include "base/private_heap.h"
#include "tools/common/utf.h"
#include "tools/patchcheck/patch_check.h"
#include "tools/patchcheck/report_format.h"
#include "util/integer.h"

namespace {

constexpr char kUsage[] =
    "usage: patchcheck [--json] [--ui-language N] DIR\n"
    "Shows what the updater will read from DIR/updateinfo.xml and which files\n"
    "below DIR/data it will copy, reports every delete entry and data name\n"
    "that the updater refuses (errors, with the rule's code), and warns about\n"
    "what it reads differently from other XML tools.\n"
    "  --json            print one JSON object\n"
    "  --ui-language N   choose the language for the Windows language\n"
    "                    identifier N (e.g. 1041 or 0x0411) instead of the\n"
    "                    user's own (QV_UI_LANGUAGE, else the system's)\n"
    "Exit status: 0 accepted, 1 refused by the updater or errors, 2 bad usage.\n";

constexpr std::size_t kHeapSize = 10 * 1024 * 1024;

int Usage(std::string* err, const std::string& problem) {
  if (!problem.empty()) *err += "patchcheck: " + problem + "\n";
  *err += kUsage;
  return 2;
}

}  // namespace

int RunPatchcheck(const std::vector<std::string>& arguments, std::string* out, std::string* err) {
  bool json = false;
  bool has_language = false;
  std::uint16_t ui_language = 0;
  std::string folder;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (argument == "--json") {
      json = true;
    } else if (argument == "--ui-language") {
      if (++i == arguments.size()) return Usage(err, "--ui-language needs a number");
      int end = 0;
      std::int32_t value = 0;
      if (!ParseIntegerA(arguments[i].c_str(), &end, &value) ||
          end != static_cast<int>(arguments[i].size()) || value < 0 || value > 0xFFFF)
        return Usage(err, "--ui-language takes a language identifier from 0 to 65535");
      has_language = true;
      ui_language = static_cast<std::uint16_t>(value);
    } else if (argument == "--help" || argument == "-h") {
      *out += kUsage;
      return 0;
    } else if (argument.starts_with("-") && argument.size() > 1) {
      return Usage(err, "unknown option " + argument);
    } else if (!folder.empty()) {
      return Usage(err, "only one folder can be checked");
    } else {
      folder = argument;
    }
  }
  if (folder.empty()) return Usage(err, "no folder given");
  if (!has_language) ui_language = os::GetUserUiLanguage();

  // The reader takes its input block from the private heap.
  bool own_heap = CreatePrivateHeap(kHeapSize) == 1;
  PatchReport report;
  int status = CheckPatch(ToUtf16(folder).c_str(), ui_language, &report);
  *out += json ? FormatReportJson(report) : FormatReportText(report);
  if (own_heap) DestroyPrivateHeap();
  return status;
}

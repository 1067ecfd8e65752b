#include "tools/qvpatch/command.h"

#include "base/private_heap.h"
#include "tools/patchcheck/command.h"
#include "tools/qvpatch/make_command.h"
#include "tools/qvpatch/verify_command.h"

namespace {

constexpr char kHelp[] =
    "usage: qvpatch COMMAND [OPTIONS]\n"
    "  qvpatch make --from OLD --to NEW --template TEMPLATE.xml --out PATCH\n"
    "               [--background PICTURE] [--updater UPDATER.exe] [--force]\n"
    "      makes the patch folder that turns the game folder OLD into NEW\n"
    "  qvpatch verify --game GAME --manifest PATCH/patch-manifest.json [--json]\n"
    "      checks an installed game against the patch's manifest\n"
    "  qvpatch check [--json] [--ui-language N] PATCH\n"
    "      shows what the updater will make of a patch folder (patchcheck)\n"
    "  qvpatch COMMAND --help   describes one command\n"
    "Exit status: 0 success, 1 failure (or a game that does not match), 2 bad usage.\n";

// Picture conversion and the description reader take their blocks from
// the private heap.
constexpr std::size_t kHeapSize = 64 * 1024 * 1024;

}  // namespace

int RunQvpatch(const std::vector<std::string>& arguments, std::string* out, std::string* err) {
  if (arguments.empty()) {
    *err += "qvpatch: no command given\n" + std::string(kHelp);
    return 2;
  }
  const std::string& command = arguments.front();
  const std::vector<std::string> rest(arguments.begin() + 1, arguments.end());
  if (command == "--help" || command == "-h" || command == "help") {
    *out += kHelp;
    return 0;
  }
  if (command == "check") return RunPatchcheck(rest, out, err);
  if (command != "make" && command != "verify") {
    *err += "qvpatch: unknown command " + command + "\n" + kHelp;
    return 2;
  }
  const bool own_heap = CreatePrivateHeap(kHeapSize) == 1;
  const int status = command == "make" ? RunMake(rest, out, err) : RunVerify(rest, out, err);
  if (own_heap) DestroyPrivateHeap();
  return status;
}

// patchcheck: shows a patch author what the updater will make of a patch
// folder.
#include <cstdio>
#include <string>
#include <vector>

#include "tools/patchcheck/command.h"
#include "tools/patchcheck/utf.h"

namespace {

int Run(std::vector<std::string> arguments) {
  std::string out;
  std::string err;
  int status = RunPatchcheck(arguments, &out, &err);
  std::fwrite(out.data(), 1, out.size(), stdout);
  std::fwrite(err.data(), 1, err.size(), stderr);
  return status;
}

}  // namespace

#ifdef _WIN32
// Wide arguments keep folder names in any language intact.
int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> arguments;
  for (int i = 1; i < argc; ++i)
    arguments.push_back(ToUtf8(reinterpret_cast<const char16_t*>(argv[i])));
  return Run(std::move(arguments));
}
#else
int main(int argc, char** argv) { return Run(std::vector<std::string>(argv + 1, argv + argc)); }
#endif

// The entry point of a command-line tool: the arguments as UTF-8 on every
// system (Windows passes them wide, so names in any language arrive
// intact), the command's output written out, its status returned.
#pragma once

#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "tools/common/utf.h"

// `arguments` exclude the program name; the command returns its exit status.
using ToolCommand = int (*)(const std::vector<std::string>& arguments, std::string* out,
                            std::string* err);

// `name` starts the line that reports a lack of memory, which ends the
// command with status 1.
inline int RunToolCommand(const char* name, ToolCommand command,
                          const std::vector<std::string>& arguments) {
  std::string out;
  std::string err;
  int status;
  try {
    status = command(arguments, &out, &err);
  } catch (const std::bad_alloc&) {
    err += std::string(name) + ": out of memory\n";
    status = 1;
  }
  std::fwrite(out.data(), 1, out.size(), stdout);
  std::fwrite(err.data(), 1, err.size(), stderr);
  return status;
}

#ifdef _WIN32
#define QV_TOOL_MAIN(name, command)                                           \
  int wmain(int argc, wchar_t** argv) {                                       \
    std::vector<std::string> arguments;                                       \
    for (int i = 1; i < argc; ++i)                                            \
      arguments.push_back(ToUtf8(reinterpret_cast<const char16_t*>(argv[i]))); \
    return RunToolCommand(name, command, arguments);                          \
  }
#else
#define QV_TOOL_MAIN(name, command)                                                      \
  int main(int argc, char** argv) {                                                      \
    return RunToolCommand(name, command, std::vector<std::string>(argv + 1, argv + argc)); \
  }
#endif

// Starts a helper program of the tests and waits for its end.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace qvtest {

// A program built into the folder of the running test executable
// (`name`, with ".exe" on Windows).
std::filesystem::path ProgramBesideTest(const std::string& name);

class ChildProcess {
 public:
  // Starts `program` with `arguments`, without a shell; the arguments must
  // not hold double quotes. Started() tells whether it runs.
  ChildProcess(const std::filesystem::path& program, const std::vector<std::string>& arguments);
  // Waits for the end (at most 30 s), then ends the program by force.
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool Started() const { return process_ != 0; }
  // The exit code once the program has ended within `timeout_ms`.
  std::optional<int> Wait(int timeout_ms);

 private:
  std::intptr_t process_ = 0;  // the process handle (Windows) or id
  std::optional<int> exit_code_;
};

}  // namespace qvtest

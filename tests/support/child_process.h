// Starts a helper program of the tests, talks to it through its standard
// input and output when asked to, and waits for its end.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qvtest {

// A program built into the folder of the running test executable
// (`name`, with ".exe" on Windows).
std::filesystem::path ProgramBesideTest(const std::string& name);

struct ChildOptions {
  // The program's working folder; empty: this process's.
  std::filesystem::path folder;
  // Standard input and output are pipes to and from this process (else
  // they are this process's own).
  bool piped = false;
};

class ChildProcess {
 public:
  // Starts `program` with `arguments`, without a shell; the arguments must
  // not hold double quotes. It sees this process's environment. Started()
  // tells whether it runs.
  ChildProcess(const std::filesystem::path& program, const std::vector<std::string>& arguments,
               const ChildOptions& options = {});
  // Closes its input, waits for the end (at most 30 s), then ends the
  // program by force.
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool Started() const { return process_ != 0; }
  // The exit code once the program has ended within `timeout_ms`.
  std::optional<int> Wait(int timeout_ms);

  // Piped only. Writes `text` to the program's input; false when it cannot.
  bool Send(std::string_view text);
  // Closes the program's input: it reads its end.
  void CloseInput();
  // Reads the program's output until `text` occurs in it after `from`
  // (an offset into Output()), the output ends or `timeout_ms` pass; the
  // offset just past the occurrence, or nothing.
  std::optional<std::size_t> WaitForOutput(std::string_view text, std::size_t from,
                                           int timeout_ms);
  // Reads the output to its end (at most `timeout_ms`); true when it ended.
  bool ReadToEnd(int timeout_ms);
  // Everything the program has written so far.
  const std::string& Output() const { return output_; }

 private:
  // Reads what is there within `timeout_ms`; false at the output's end or
  // when nothing came.
  bool ReadSome(int timeout_ms);

  std::intptr_t process_ = 0;  // the process handle (Windows) or id
  std::optional<int> exit_code_;
  std::intptr_t input_ = -1;   // our ends of the pipes (handles or descriptors)
  std::intptr_t output_pipe_ = -1;
  bool output_ended_ = false;
  std::string output_;
};

}  // namespace qvtest

// Command-line options of the tools: "--name VALUE", "--name=VALUE" and
// "--flag", in any order among the operands; "--" ends the options.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

struct OptionTable {
  std::set<std::string> with_value;  // "--from", ...
  std::set<std::string> flags;       // "--force", ...
};

struct ParsedOptions {
  std::map<std::string, std::string> values;
  std::set<std::string> flags;
  std::vector<std::string> operands;

  bool Has(const std::string& name) const { return values.count(name) || flags.count(name); }
  // The value of `name`, or empty.
  std::string Value(const std::string& name) const;
};

// False, with the problem in `error`, for an unknown option, a missing
// value or an option given twice.
bool ParseOptions(const std::vector<std::string>& arguments, const OptionTable& table,
                  ParsedOptions* parsed, std::string* error);

struct CommandTable {
  const char* name;  // "qvpatch make", for messages
  const char* help;
  OptionTable options;
  std::vector<std::string> required;  // options that must have a value
  bool takes_operands = false;
};

// The start of every command: parses the arguments, answers --help, and
// refuses unknown options, stray operands and missing required options
// with the help text. Returns -1 to go on, else the exit status (0 after
// the help, 2 for bad usage).
int StartCommand(const std::vector<std::string>& arguments, const CommandTable& command,
                 ParsedOptions* parsed, std::string* out, std::string* err);

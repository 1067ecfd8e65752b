// Command-line options of the tools: "--name VALUE", "--name=VALUE" and
// "--flag", in any order among the operands; "--" ends the options.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

struct OptionSpec {
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
bool ParseOptions(const std::vector<std::string>& arguments, const OptionSpec& spec,
                  ParsedOptions* parsed, std::string* error);

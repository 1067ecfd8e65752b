#include "tools/common/options.h"

std::string ParsedOptions::Value(const std::string& name) const {
  const auto found = values.find(name);
  return found == values.end() ? std::string() : found->second;
}

bool ParseOptions(const std::vector<std::string>& arguments, const OptionTable& table,
                  ParsedOptions* parsed, std::string* error) {
  *parsed = {};
  bool options_end = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (options_end || argument.size() < 2 || argument[0] != '-') {
      parsed->operands.push_back(argument);
      continue;
    }
    if (argument == "--") {
      options_end = true;
      continue;
    }
    const std::size_t equals = argument.find('=');
    const std::string name = argument.substr(0, equals);
    if (parsed->Has(name)) {
      *error = name + " is given twice";
      return false;
    }
    if (table.flags.count(name) && equals == std::string::npos) {
      parsed->flags.insert(name);
    } else if (table.with_value.count(name)) {
      if (equals == std::string::npos && i + 1 == arguments.size()) {
        *error = name + " needs a value";
        return false;
      }
      parsed->values[name] = equals == std::string::npos ? arguments[++i] : argument.substr(equals + 1);
    } else {
      *error = "unknown option " + argument;
      return false;
    }
  }
  return true;
}

int StartCommand(const std::vector<std::string>& arguments, const CommandTable& command,
                 ParsedOptions* parsed, std::string* out, std::string* err) {
  std::string problem;
  if (ParseOptions(arguments, command.options, parsed, &problem)) {
    if (parsed->Has("--help")) {
      *out += command.help;
      return 0;
    }
    if (!command.takes_operands && !parsed->operands.empty())
      problem = "unexpected " + parsed->operands.front();
    for (const std::string& name : command.required)
      if (problem.empty() && parsed->Value(name).empty()) problem = name + " is required";
    if (problem.empty()) return -1;
  }
  *err += std::string(command.name) + ": " + problem + "\n" + command.help;
  return 2;
}

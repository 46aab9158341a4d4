#include "cli/command_line.h"

#include "cli/diagnostics.h"

#include <algorithm>
#include <iostream>

namespace {

std::string labelOf(const CommandOption& option) {
  std::string label = option.shortName.empty() ? "" : option.shortName + ", ";
  label += option.name;
  if (!option.value.empty())
    label += " " + option.value;
  return label;
}

const CommandOption* findOption(const std::vector<CommandOption>& options,
                                const std::string& argument, std::string& inlineValue,
                                bool& hasInlineValue) {
  for (const CommandOption& option : options) {
    if (argument == option.name || (!option.shortName.empty() && argument == option.shortName)) {
      hasInlineValue = false;
      return &option;
    }
    const std::string prefix = option.name + "=";
    if (!option.value.empty() && argument.compare(0, prefix.size(), prefix) == 0) {
      inlineValue = argument.substr(prefix.size());
      hasInlineValue = true;
      return &option;
    }
  }
  return nullptr;
}

} // namespace

std::function<bool(const std::string&)> setSwitch(bool& value) {
  return [&value](const std::string& text) {
    if (text != "0" && text != "1")
      return false;
    value = text == "1";
    return true;
  };
}

std::function<bool(const std::string&)> setFlag(bool& flag) {
  return [&flag](const std::string&) { return flag = true; };
}

CommandLine parseCommandLine(int argc, char** argv, const std::vector<CommandOption>& options) {
  CommandLine line;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument.empty() || argument[0] != '-') {
      line.positional.push_back(argument);
      continue;
    }
    std::string value;
    bool hasInlineValue = false;
    const CommandOption* option = findOption(options, argument, value, hasInlineValue);
    if (option == nullptr) {
      line.problem = "unknown option " + argument;
      return line;
    }
    if (option->value == kSwitchValue && !hasInlineValue) {
      const bool given =
          i + 1 < argc && (std::string(argv[i + 1]) == "0" || std::string(argv[i + 1]) == "1");
      value = given ? argv[++i] : "1";
    } else if (!option->value.empty() && !hasInlineValue) {
      if (i + 1 >= argc) {
        line.problem = option->name + " needs a value";
        return line;
      }
      value = argv[++i];
    }
    if (!option->take(value)) {
      line.problem = option->name + " takes " + option->takes + ", not '" + value + "'";
      return line;
    }
  }
  return line;
}

void printOptions(std::ostream& stream, const std::vector<CommandOption>& options) {
  std::size_t width = 0;
  for (const CommandOption& option : options)
    width = std::max(width, labelOf(option).size());
  const std::string indent(2 + width + 2, ' ');
  for (const CommandOption& option : options) {
    const std::string label = labelOf(option);
    stream << "  " << label << std::string(width - label.size() + 2, ' ');
    for (const char c : option.help) {
      stream << c;
      if (c == '\n')
        stream << indent;
    }
    stream << '\n';
  }
}

void printUsage(std::ostream& stream, const CommandUsage& usage) {
  stream << usage.text;
  printOptions(stream, usage.options);
  stream << usage.after;
}

std::optional<int> readCommandLine(int argc, char** argv, const CommandUsage& usage,
                                   const bool& help,
                                   const std::function<std::string(const CommandLine&)>& check,
                                   CommandLine& line) {
  line = parseCommandLine(argc, argv, usage.options);
  std::string problem = line.problem;
  if (problem.empty())
    problem = check(line);
  if (!problem.empty()) {
    printProblem(problem + " (see --help)");
    printUsage(std::cerr, usage);
    return 2;
  }
  if (help) {
    printUsage(std::cout, usage);
    return 0;
  }
  return std::nullopt;
}

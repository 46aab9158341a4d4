#pragma once

// cli: the programs' command lines, their messages and the progress line.

#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

// One option of a program, declared once: its names, its value, its help and what it does.
struct CommandOption {
  std::string name;      // "--threads"
  std::string shortName; // "-h", or empty
  std::string value;     // the value's name in the help ("N"); empty for a flag
  // The help text; a line break starts a line aligned under the first.
  std::string help;
  // Takes the option: its value, or "" for a flag. False when the value is not valid.
  std::function<bool(const std::string& value)> take;
  // What a valid value is, for the message about one that is not ("a whole number from 1").
  std::string takes;
};

// The value of a switch: given alone ("-c", "--color") it means 1; it takes the next argument
// as its value only when that is 0 or 1, and "--color=0" sets it to 0.
constexpr const char* kSwitchValue = "[0|1]";

// The take of a switch: sets it to its value.
std::function<bool(const std::string&)> setSwitch(bool& value);

// The take of a flag: sets flag.
std::function<bool(const std::string&)> setFlag(bool& flag);

// What parseCommandLine found.
struct CommandLine {
  // The arguments that are not options, in order.
  std::vector<std::string> positional;
  // Empty when every option was known and valid.
  std::string problem;
};

// Reads the arguments by one rule for every program: a flag exactly as named; an option with a
// value as "--name VALUE", "--name=VALUE" or "-n VALUE"; a switch as kSwitchValue says; any other
// argument that starts with '-', a lone '-' included, is an unknown option; the rest are
// positional. Stops at the first problem.
CommandLine parseCommandLine(int argc, char** argv, const std::vector<CommandOption>& options);

// The options' lines of a usage text, in the table's order, their help texts aligned.
void printOptions(std::ostream& stream, const std::vector<CommandOption>& options);

// A program's usage: the text before its option lines (the synopsis and what it does), its
// option table, and any text after the options.
struct CommandUsage {
  std::string text;
  const std::vector<CommandOption>& options;
  std::string after;
};

void printUsage(std::ostream& stream, const CommandUsage& usage);

// The one preamble of every program: parses the arguments, then the program's own rules
// (check: a problem, or empty). On a problem it prints the problem, " (see --help)" and the usage
// on stderr and gives exit status 2; with help set it prints the usage on standard output and
// gives 0; otherwise none, and line holds the arguments.
std::optional<int> readCommandLine(int argc, char** argv, const CommandUsage& usage,
                                   const bool& help,
                                   const std::function<std::string(const CommandLine&)>& check,
                                   CommandLine& line);

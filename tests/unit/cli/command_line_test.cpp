#include "cli/command_line.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

struct Parsed {
  std::string problem;
  std::vector<std::string> positional;
  std::string threads;
  bool verbose = false;
};

Parsed parse(std::vector<std::string> arguments) {
  Parsed parsed;
  const std::vector<CommandOption> table = {
      {"--threads", "", "N", "threads",
       [&](const std::string& v) {
         parsed.threads = v;
         return !v.empty() && v.find_first_not_of("0123456789") == std::string::npos;
       },
       "a whole number"},
      {"--verbose", "-v", "", "more", [&](const std::string&) { return parsed.verbose = true; },
       ""}};
  arguments.insert(arguments.begin(), "program");
  std::vector<char*> argv;
  for (std::string& argument : arguments)
    argv.push_back(argument.data());
  const CommandLine line = parseCommandLine(static_cast<int>(argv.size()), argv.data(), table);
  parsed.problem = line.problem;
  parsed.positional = line.positional;
  return parsed;
}

} // namespace

TEST(ParseCommandLine, TakesValuesBothWaysAndNothingByPrefix) {
  EXPECT_EQ(parse({"--threads", "5"}).threads, "5");
  EXPECT_EQ(parse({"--threads=5"}).threads, "5");
  EXPECT_TRUE(parse({"-v"}).verbose);
  EXPECT_EQ(parse({"in", "--verbose", "out"}).positional, (std::vector<std::string>{"in", "out"}));
  EXPECT_EQ(parse({"--threadsx5"}).problem, "unknown option --threadsx5");
  EXPECT_EQ(parse({"--thread=5"}).problem, "unknown option --thread=5");
  EXPECT_EQ(parse({"--verbose=1"}).problem, "unknown option --verbose=1");
  EXPECT_EQ(parse({"-"}).problem, "unknown option -");
  EXPECT_EQ(parse({"--threads"}).problem, "--threads needs a value");
  EXPECT_EQ(parse({"--threads", "x"}).problem, "--threads takes a whole number, not 'x'");
  EXPECT_EQ(parse({"--threads="}).problem, "--threads takes a whole number, not ''");
}

TEST(PrintOptions, AlignsTheHelpOfEveryOptionFromTheTable) {
  const auto any = [](const std::string&) { return true; };
  std::ostringstream text;
  printOptions(text, {{"--peak", "", "VALUE", "the peak\nof every cloud", any, ""},
                      {"--help", "-h", "", "this text", any, ""}});
  EXPECT_EQ(text.str(), "  --peak VALUE  the peak\n"
                        "                of every cloud\n"
                        "  -h, --help    this text\n");
}

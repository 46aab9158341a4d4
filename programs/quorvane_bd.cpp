// quorvane-bd: the Bjøntegaard deltas of every codec family of a rate-distortion sweep against
// an anchor family, from the sweep's rd.csv.

#include "bd/bd_table.h"
#include "cli/command_line.h"
#include "cli/diagnostics.h"

#include <fstream>
#include <iostream>
#include <string>
#include <vector>

namespace {

struct Options {
  std::string anchor = "octree-offline-color";
  bool help = false;
};

std::vector<CommandOption> optionTable(Options& options) {
  return {{"--anchor", "", "FAMILY",
           "the family the others are compared with (default: " + options.anchor + ")",
           [&options](const std::string& value) {
             options.anchor = value;
             return !value.empty();
           },
           "a family of the table"},
          {"--help", "-h", "", "this text", setFlag(options.help), ""}};
}

// The synopsis and what the program does, printed before its options.
const char* const kUsage =
    "usage: quorvane-bd [--anchor FAMILY] RD_CSV\n\n"
    "Writes bd.csv to standard output: for every family of RD_CSV (the rd.csv of\n"
    "scripts/rd-sweep.sh) but the anchor, and for D1, D2 and Y PSNR, the BD-rate (%,\n"
    "negative: fewer bits for the same PSNR) and BD-PSNR (dB, positive: better at the\n"
    "same rate) against the anchor. The piecewise cubic (PCHIP) interpolation of log10\n"
    "rate over the PSNR range both curves cover is the one current common test\n"
    "conditions use; the classic cubic fit is given beside it. A curve with fewer than\n"
    "4 finite rate points, or curves that do not overlap, give empty values and the\n"
    "reason.\n\n";

} // namespace

int main(int argc, char** argv) {
  setProgramName("quorvane-bd");
  Options options;
  const std::vector<CommandOption> table = optionTable(options);
  CommandLine line;
  const auto check = [&options](const CommandLine& parsed) -> std::string {
    return !options.help && parsed.positional.size() != 1 ? "expected one RD_CSV" : "";
  };
  if (const auto status =
          readCommandLine(argc, argv, {kUsage, table, ""}, options.help, check, line))
    return *status;
  const std::string& path = line.positional.front();
  std::ifstream csv(path);
  if (!csv) {
    printProblem(printableName(path) + " cannot be read");
    return 1;
  }
  std::vector<RateDistortionRow> rows;
  std::string problem = readRateDistortion(csv, rows);
  if (problem.empty())
    problem = writeBjontegaardTable(std::cout, rows, options.anchor);
  if (!problem.empty()) {
    printProblem(printableName(path) + ": " + problem);
    return 1;
  }
  return std::cout.flush() ? 0 : 1;
}

// quorvane-metrics: pc_error's metrics of a pair of PLY or PCD files, with its options and its
// printed report, so that scripts that run pc_error can run this instead; or of a list of
// pairs, into one CSV.

#include "cli/command_line.h"
#include "cli/diagnostics.h"
#include "evaluation/ordered_comparison.h"
#include "evaluation/pair_cost.h"
#include "evaluation/pair_list.h"
#include "evaluation/pc_error_report.h"
#include "evaluation/pc_error_settings.h"

#include <pcl/console/print.h>

#include <cmath>
#include <fstream>
#include <iostream>
#include <limits>
#include <string>
#include <thread>
#include <vector>

namespace {

// The synopsis and what the program does, printed before its options.
const char* const kUsage =
    "usage: quorvane-metrics -a ORIGINAL -b DECODED [-n NORMALS] [options]\n"
    "       quorvane-metrics --pairs LIST --csv FILE [--part K/N] [options]\n\n"
    "Prints the D1 (point-to-point) and D2 (point-to-plane) errors and PSNRs of the pair both\n"
    "ways, with -c the colour ones and with -l the reflectance's, as MPEG's pc_error 0.14.1\n"
    "prints them for the same options: the same lines, labels and order, and the same\n"
    "numbers. ORIGINAL and DECODED are PLY or PCD files. D2 takes the original's normals\n"
    "from NORMALS or from the original's own file; without any, it is left out, as pc_error\n"
    "leaves it out. Options take their value as --name=VALUE, --name VALUE or -x VALUE; a\n"
    "switch alone means 1.\n\n";

// The lines pc_error prints for a cloud once it is read.
void writeLoading(std::ostream& out, const ReadSummary& read, std::size_t uniquePoints,
                  const char* done, int dropDuplicates) {
  writePcErrorLoading(out, read.lastPoint ? read.lastPoint->data() : nullptr, read.points,
                      uniquePoints, done, dropDuplicates);
}

void reportMissingNormals(const std::string& normals) {
  printProblem(printableName(normals) +
               " has no normals (nx ny nz, or normal_x normal_y normal_z): D2 is left out");
}

// One pair, with pc_error's report on standard output.
int measureOnePair(const PcErrorSettings& settings) {
  const PcErrorRun& run = settings.run;
  std::cout.precision(std::numeric_limits<float>::max_digits10);
  writePcErrorSettings(std::cout, run);
  const PairMeasurement measured =
      measurePair({run.fileA, run.fileB, run.normals}, run, run.threads);
  if (measured.normalsMissing)
    reportMissingNormals(run.normals);
  if (measured.comparison.problem) {
    const PairProblem& problem = *measured.comparison.problem;
    printProblem(printableName(problem.path) + ": " + problem.reason);
    return 1;
  }
  const PairMetrics& metrics = *measured.comparison.metrics;
  writeLoading(std::cout, measured.originalRead, metrics.originalUniquePoints,
               "Reading file 1 done.", run.dropDuplicates);
  const bool fileNormals = measured.originalRead.hasNormals;
  if (!run.normals.empty() && run.normals == run.fileA && fileNormals)
    std::cout << "Normals loaded from file1.\n";
  else if (!run.normals.empty() && fileNormals)
    writeLoading(std::cout, measured.normalsRead, measured.normalsRead.points,
                 "Reading normal 1 done.", run.dropDuplicates);
  writeLoading(std::cout, measured.decodedRead, metrics.decodedUniquePoints, "Reading file 2 done.",
               run.dropDuplicates);
  writePcErrorReport(std::cout, run, metrics, measured.peak, measured.colorsCompared);
  std::cout << "Job done! " << measured.seconds
            << " seconds elapsed (excluding the time to load the point clouds)." << std::endl;
  if (!settings.json.empty()) {
    std::ofstream json(settings.json);
    writePcErrorJson(json, run, metrics, measured.peak, measured.colorsCompared);
    if (!json.flush()) {
      printProblem(printableName(settings.json) + " cannot be written");
      return 1;
    }
  }
  return std::cout ? 0 : 1;
}

// Every pair of the list (or of its part), a row each, in the list's order.
int measureListedPairs(const PcErrorSettings& settings) {
  std::ifstream list(settings.pairs);
  if (!list) {
    printProblem(printableName(settings.pairs) + " cannot be read");
    return 1;
  }
  std::vector<ListedPair> all;
  if (const std::string problem = readPairList(list, all); !problem.empty()) {
    printProblem(printableName(settings.pairs) + ": " + problem);
    return 1;
  }
  const std::vector<ListedPair> pairs = partOf(all, settings.part, settings.parts);
  std::ofstream csv(settings.csv, std::ios::binary);
  if (!csv) {
    printProblem(printableName(settings.csv) + " cannot be written");
    return 1;
  }
  if (settings.part == 1)
    writePairListHeader(csv);
  std::vector<PairCost> costs;
  for (const ListedPair& pair : pairs)
    costs.push_back(pairCost(pair.original, pair.decoded));
  std::vector<double> peaks(pairs.size(), 0.0);
  bool succeeded = true;
  OrderedComparisonSteps steps;
  steps.compare = [&](std::size_t index, unsigned threads) {
    PairMeasurement measured = measurePair(pairs[index], settings.run, threads);
    if (measured.normalsMissing)
      reportMissingNormals(pairs[index].normals);
    peaks[index] = measured.peak;
    return std::move(measured.comparison);
  };
  steps.starting = [](std::size_t) {};
  steps.write = [&](std::size_t index, std::optional<CloudComparison> result) {
    const PairMetrics* metrics = nullptr;
    if (result && result->problem) {
      printProblem(printableName(result->problem->path) + ": " + result->problem->reason);
      succeeded = false;
    } else if (result && result->metrics) {
      metrics = &*result->metrics;
    }
    // The run's resolution in every row; pc_error's own peak where a pair was measured.
    PeakOverride peak;
    if (settings.run.resolution != 0.0)
      peak = settings.run.resolution;
    else if (metrics != nullptr && std::isfinite(peaks[index]))
      peak = peaks[index];
    writePairListRow(csv, pairs[index], metrics, peak);
    csv.flush();
  };
  compareInOrder(costs, settings.run.threads, steps);
  if (!csv.flush()) {
    printProblem(printableName(settings.csv) + " cannot be written");
    return 1;
  }
  return succeeded ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
  setProgramName("quorvane-metrics");
  // PCL's warnings, such as the missing colour field of a cloud without colour, are not
  // problems of the run; every real problem is reported with its file.
  pcl::console::setVerbosityLevel(pcl::console::L_ERROR);
  PcErrorSettings settings;
  settings.run.threads = std::max(1u, std::thread::hardware_concurrency());
  const std::vector<CommandOption> table = pcErrorOptionTable(settings);
  CommandLine line;
  const auto check = [&settings](const CommandLine& parsed) -> std::string {
    const PcErrorRun& run = settings.run;
    if (!parsed.positional.empty())
      return "unexpected argument " + parsed.positional.front();
    if (settings.help)
      return "";
    if (!settings.pairs.empty())
      return !run.fileA.empty() || !run.fileB.empty() || !run.normals.empty()
                 ? "--pairs names the pairs: no -a, -b or -n with it"
             : settings.csv.empty() ? "--pairs writes its rows to --csv FILE"
             : run.mseSpace != 1    ? "--csv gives metrics.csv's Y'CbCr columns: --mseSpace 1 only"
                                    : "";
    if (run.fileA.empty() || run.fileB.empty())
      return "-a and -b name the two clouds";
    if (!settings.csv.empty() || settings.parts != 1)
      return "--csv and --part go with --pairs";
    return "";
  };
  if (const auto status =
          readCommandLine(argc, argv, {kUsage, table, ""}, settings.help, check, line))
    return *status;
  return settings.pairs.empty() ? measureOnePair(settings) : measureListedPairs(settings);
}

// quorvane-metrics: pc_error's metrics of one pair of PLY or PCD files, with its options and
// its printed report, so that scripts that run pc_error can run this instead.

#include "cli/command_line.h"
#include "cli/diagnostics.h"
#include "evaluation/pc_error_report.h"
#include "evaluation/pc_error_settings.h"
#include "io/cloud_loading.h"
#include "metrics/cloud_comparison.h"

#include <chrono>
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
    "usage: quorvane-metrics -a ORIGINAL -b DECODED [-n NORMALS] [options]\n\n"
    "Prints the D1 (point-to-point) and D2 (point-to-plane) errors and PSNRs of the pair both\n"
    "ways, and with -c the colour ones, as MPEG's pc_error 0.14.1 prints them for the same\n"
    "options: the same lines, labels and order, and the same numbers. ORIGINAL and DECODED are\n"
    "PLY or PCD files. D2 takes the original's normals from NORMALS or from the original's\n"
    "own file; without any, it is left out, as pc_error leaves it out. Options take their value\n"
    "as --name=VALUE, --name VALUE or -x VALUE; a switch alone means 1.\n\n";

// The lines pc_error prints for a cloud once it is read.
void writeLoading(std::ostream& out, const LoadedPoints& cloud, std::size_t uniquePoints,
                  const char* done) {
  writePcErrorLoading(out, cloud.points.empty() ? nullptr : cloud.points.back().position,
                      cloud.points.size(), uniquePoints, done);
}

// Reads a cloud; prints its problem and gives false when it cannot be measured.
bool load(const std::string& path, NormalReading normals, LoadedPoints& cloud) {
  cloud = loadMeasurablePoints(path, normals);
  if (cloud.problem.empty())
    return true;
  printProblem(printableName(path) + ": " + cloud.problem);
  return false;
}

} // namespace

int main(int argc, char** argv) {
  setProgramName("quorvane-metrics");
  PcErrorSettings settings;
  settings.run.threads = std::max(1u, std::thread::hardware_concurrency());
  const std::vector<CommandOption> table = pcErrorOptionTable(settings);
  CommandLine line;
  const auto check = [&settings](const CommandLine& parsed) -> std::string {
    if (!parsed.positional.empty())
      return "unexpected argument " + parsed.positional.front();
    if (!settings.help && (settings.run.fileA.empty() || settings.run.fileB.empty()))
      return "-a and -b name the two clouds";
    return "";
  };
  if (const auto status =
          readCommandLine(argc, argv, {kUsage, table, ""}, settings.help, check, line))
    return *status;
  const PcErrorRun& run = settings.run;
  std::cout.precision(std::numeric_limits<float>::max_digits10);
  writePcErrorSettings(std::cout, run);

  LoadedPoints original;
  LoadedPoints decoded;
  LoadedPoints normals;
  if (!load(run.fileA, NormalReading::Read, original))
    return 1;
  if (!run.normals.empty() && run.normals != run.fileA) {
    if (!load(run.normals, NormalReading::Read, normals))
      return 1;
    if (normals.attributes.normals.empty()) {
      printProblem(printableName(run.normals) +
                   " has no normals (nx ny nz, or normal_x normal_y normal_z): D2 is left out");
      original.attributes.normals.clear();
    } else if (normals.points.size() != original.points.size()) {
      printProblem(printableName(run.normals) + ": " + std::to_string(normals.points.size()) +
                   " points where " + printableName(run.fileA) + " has " +
                   std::to_string(original.points.size()));
      return 1;
    } else {
      original.attributes.normals = normals.attributes.normals;
    }
  }
  if (!load(run.fileB, NormalReading::Skip, decoded))
    return 1;

  const auto start = std::chrono::steady_clock::now();
  MetricsSettings metricsSettings;
  metricsSettings.estimateNormals = false;
  metricsSettings.nearestNeighbourPeak = run.resolution == 0.0;
  metricsSettings.options = metricOptionsOf(run);
  const CloudComparison comparison =
      compareCloudsWithMetrics(original, decoded, run.threads, metricsSettings);
  if (comparison.problem) {
    printProblem(printableName(run.fileA) + ": " + comparison.problem->reason);
    return 1;
  }
  const PairMetrics& metrics = *comparison.metrics;
  const double peak = run.resolution != 0.0 ? run.resolution
                                            : metrics.largestNearestNeighbourDistance.value_or(
                                                  std::numeric_limits<double>::quiet_NaN());

  writeLoading(std::cout, original, metrics.originalUniquePoints, "Reading file 1 done.");
  if (!run.normals.empty() && run.normals == run.fileA && !original.attributes.normals.empty())
    std::cout << "Normals loaded from file1.\n";
  else if (!run.normals.empty() && !original.attributes.normals.empty())
    writeLoading(std::cout, normals, normals.points.size(), "Reading normal 1 done.");
  writeLoading(std::cout, decoded, metrics.decodedUniquePoints, "Reading file 2 done.");
  writePcErrorReport(std::cout, run, metrics, peak,
                     original.attributes.hasColor && decoded.attributes.hasColor);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::cout << "Job done! " << seconds
            << " seconds elapsed (excluding the time to load the point clouds)." << std::endl;
  if (!settings.json.empty()) {
    std::ofstream json(settings.json);
    writePcErrorJson(json, run, metrics, peak,
                     original.attributes.hasColor && decoded.attributes.hasColor);
    if (!json.flush()) {
      printProblem(printableName(settings.json) + " cannot be written");
      return 1;
    }
  }
  return std::cout ? 0 : 1;
}

// quorvane-eval: compares every original cloud of ./quorvane with its compressed file and its
// decoded cloud, and writes the console log and errors.csv (and metrics.csv with --metrics).

#include "cli/command_line.h"
#include "cli/diagnostics.h"
#include "cli/progress_line.h"
#include "dataset/dataset_layout.h"
#include "evaluation/error_report.h"
#include "evaluation/metrics_report.h"
#include "evaluation/ordered_comparison.h"
#include "evaluation/pair_cost.h"
#include "evaluation/record_writing.h"
#include "evaluation/report_files.h"
#include "metrics/cloud_comparison.h"
#include "metrics/peaks.h"

#include <pcl/console/print.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <malloc.h>

namespace {

const char* const kReportName = "errors.csv";
const char* const kMetricsName = "metrics.csv";
const char* const kSequencesName = "sequences.csv";

struct Options {
  unsigned threads = std::max(1u, std::thread::hardware_concurrency());
  bool metrics = false;
  PeakOverride peak;
  double fps = 30.0;
  bool fpsGiven = false;
  bool help = false;
};

bool parseThreadCount(const std::string& text, unsigned& threads) {
  const auto isDigit = [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; };
  if (text.empty() || text.size() > 6 || !std::all_of(text.begin(), text.end(), isDigit))
    return false;
  threads = static_cast<unsigned>(std::stoul(text));
  return threads > 0;
}

std::vector<CommandOption> optionTable(Options& options) {
  return {
      {"--threads", "", "N",
       "search with at most N threads (default: all " + std::to_string(options.threads) +
           " hardware threads)",
       [&options](const std::string& value) { return parseThreadCount(value, options.threads); },
       "a whole number from 1"},
      {"--metrics", "", "",
       "also write ./metrics.csv: bits per point, D1 and D2 PSNR both ways,\n"
       "Hausdorff distances and Y'CbCr PSNR, one row per cloud and one\n"
       "row 'all' for the dataset; and ./sequences.csv, a row per folder of\n"
       "clouds (a sequence: bits and points summed, PSNRs averaged over its\n"
       "frames) and one row 'all'",
       setFlag(options.metrics), ""},
      {"--peak", "", "VALUE",
       "the peak of the D1 and D2 PSNR of every cloud, a number or a name\n"
       "(vox10 ... vox20: 2^n - 1; lidar-1mm: 30000; default: the largest\n"
       "side of the original's bounding box)",
       [&options](const std::string& value) {
         options.peak = parsePeak(value);
         return options.peak.has_value();
       },
       kPeakForms},
      {"--fps", "", "F", "the frame rate of sequences.csv's Mbps (default: 30)",
       [&options](const std::string& value) {
         char* end = nullptr;
         errno = 0;
         options.fps = std::strtod(value.c_str(), &end);
         options.fpsGiven = true;
         return !value.empty() && *end == '\0' && errno == 0 && std::isfinite(options.fps) &&
                options.fps > 0.0;
       },
       "a number above 0"},
      {"--help", "-h", "", "this text", setFlag(options.help), ""}};
}

// The synopsis and what the program does, printed before its options.
const char* const kUsage =
    "usage: quorvane-eval [--threads N] [--metrics [--peak VALUE] [--fps F]]\n\n"
    "Compares every original cloud below ./quorvane/pcd_binary_original with its\n"
    "compressed file (./quorvane/octree_compressed) and its decoded cloud\n"
    "(./quorvane/octree_uncompressed), prints one record per cloud and writes\n"
    "./errors.csv.\n\n";

} // namespace

int main(int argc, char** argv) {
  setProgramName("quorvane-eval");
  Options options;
  const std::vector<CommandOption> table = optionTable(options);
  CommandLine line;
  const auto check = [&options](const CommandLine&) -> std::string {
    if (options.peak && !options.metrics)
      return "--peak sets the peak of metrics.csv and needs --metrics";
    return options.fpsGiven && !options.metrics
               ? "--fps sets the frame rate of sequences.csv and needs --metrics"
               : "";
  };
  if (const auto status =
          readCommandLine(argc, argv, {kUsage, table, ""}, options.help, check, line))
    return *status;
  // One malloc arena for every thread: memory that one thread frees is what the next pair
  // reuses, whichever thread reads it, so the peak does not grow with the thread count. The
  // threads allocate little once a pair is read, so they do not wait on each other for it.
  mallopt(M_ARENA_MAX, 1);
  // PCL's warnings, such as the missing colour field of a cloud without colour, are not
  // problems of the run; every real problem is reported here with its file.
  pcl::console::setVerbosityLevel(pcl::console::L_ERROR);

  // The lock on errors.csv covers metrics.csv too: both belong to one run. metrics.csv is
  // opened first, so that errors.csv stays as it was when metrics.csv cannot be opened.
  CheckedReport report{{}, kReportName};
  CheckedReport metrics{{}, kMetricsName};
  CheckedReport sequences{{}, kSequencesName};
  Dataset dataset = datasetBelow("quorvane");
  std::vector<SkippedEntry> skipped;
  std::string problem = lockReport(kReportName);
  if (problem.empty() && options.metrics)
    problem = openReport(metrics.stream, kMetricsName);
  if (problem.empty() && options.metrics)
    problem = openReport(sequences.stream, kSequencesName);
  if (problem.empty())
    problem = openReport(report.stream, kReportName);
  if (problem.empty())
    problem = listDataset(dataset, skipped);
  if (!problem.empty()) {
    printProblem(problem);
    return 1;
  }
  for (const SkippedEntry& entry : skipped)
    printProblem("skipped " + printableName(entry.path.string()) + ": " + entry.reason);

  const auto checkReports = [&] {
    const bool reportWritten = checkReport(report);
    const bool metricsWritten = !options.metrics || checkReport(metrics);
    return (!options.metrics || checkReport(sequences)) && metricsWritten && reportWritten;
  };
  writeReportHeader(report.stream);
  if (options.metrics) {
    writeMetricsHeader(metrics.stream);
    writeSequencesHeader(sequences.stream);
  }
  bool succeeded = checkReports();

  const std::vector<Pair> pairs = pairDataset(dataset);
  // The originals' points, from the headers the costs read, count on the progress line.
  std::vector<PairCost> costs;
  std::vector<std::uint64_t> points(pairs.size(), 0);
  ProgressCounts counts;
  counts.clouds = pairs.size();
  for (std::size_t i = 0; i < pairs.size(); ++i) {
    costs.push_back(pairCost(pairs[i], &points[i]));
    counts.points += points[i];
  }
  RecordOutputs outputs{
      std::cout, report.stream, options.metrics ? &metrics.stream : nullptr, options.peak, {}, {},
      {}};
  if (options.metrics)
    outputs.parts =
        readCompressedParts(dataset.originalsDirectory.parent_path() / kCompressedPartsName);
  const ProgressLine progress = progressLineOn(stderr);
  OrderedComparisonSteps steps;
  steps.compare = [&](std::size_t index, unsigned threads) {
    // A large pair is compared alone, on the writer's thread: its stages go on the line.
    StageReport stage;
    if (progress.stream != nullptr && costs[index] == PairCost::Large)
      stage = [&, index](const char* name, int number, int stages) {
        showProgress(progress, "quorvane-eval", index, counts, pairs[index].name,
                     {name, number, stages});
      };
    return loadAndCompare(pairs[index].original->string(), pairs[index].decoded->string(), threads,
                          options.metrics, stage);
  };
  steps.starting = [&](std::size_t index) {
    showProgress(progress, "quorvane-eval", index, counts, pairs[index].name);
  };
  steps.write = [&](std::size_t index, std::optional<CloudComparison> comparison) {
    clearProgress(progress);
    ++counts.cloudsDone;
    counts.pointsDone += points[index];
    succeeded = writeRecord(outputs, pairs[index], comparison) && succeeded;
    succeeded = checkReports() && succeeded;
  };
  compareInOrder(costs, options.threads, steps);

  if (options.metrics) {
    writeMetricsTotals(metrics.stream, outputs.totals, options.peak);
    metrics.stream.flush();
    writeSequences(sequences.stream, outputs.sequences, options.fps);
    sequences.stream.flush();
    succeeded = checkReports() && succeeded;
    // A dataset's distortion without some of its clouds would pass for the whole one's.
    for (const LostPair& lost : outputs.totals.lost)
      printProblem(std::string(kMetricsName) + ": the distortion of 'all' is left empty: " +
                   printableName(lost.file) + ": " + lost.reason);
    for (const auto& [sequence, sums] : outputs.sequences.sequences)
      for (const LostPair& lost : sums.lost)
        printProblem(std::string(kSequencesName) + ": the PSNRs of " + printableName(sequence) +
                     " are left empty: " + printableName(lost.file) + ": " + lost.reason);
    succeeded = succeeded && outputs.totals.lost.empty();
  }
  return succeeded ? 0 : 1;
}

// quorvane-eval: compares every original cloud of ./quorvane with its compressed file and its
// decoded cloud, and writes the console log and errors.csv.

#include "cloud_comparison.h"
#include "dataset_layout.h"
#include "error_report.h"
#include "metrics_report.h"
#include "progress_line.h"

#include <pcl/console/print.h>

#include <boost/filesystem.hpp>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <malloc.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

namespace fs = boost::filesystem;

const char* const kReportName = "errors.csv";
const char* const kMetricsName = "metrics.csv";
const char* const kNoNeighbourLine = "error no punto cercano encontrado";

void printProblem(const std::string& text) {
  pcl::console::print(pcl::console::L_ERROR, "quorvane-eval: %s\n", text.c_str());
}

void printUsage(std::ostream& stream) {
  stream << "usage: quorvane-eval [--threads N] [--metrics [--peak VALUE]]\n\n"
            "Compares every original cloud below ./quorvane/pcd_binary_original with its\n"
            "compressed file (./quorvane/octree_compressed) and its decoded cloud\n"
            "(./quorvane/octree_uncompressed), prints one record per cloud and writes\n"
            "./errors.csv.\n\n"
            "  --threads N   search with at most N threads (default: all "
         << std::max(1u, std::thread::hardware_concurrency())
         << " hardware threads)\n"
            "  --metrics     also write ./metrics.csv: bits per point, D1 and D2 PSNR both ways,\n"
            "                Hausdorff distances and Y'CbCr PSNR, one row per cloud and one\n"
            "                row 'all' for the dataset\n"
            "  --peak VALUE  the peak of the D1 and D2 PSNR of every cloud (default: the\n"
            "                largest side of the original's bounding box)\n"
            "  -h, --help    this text\n";
}

struct Options {
  unsigned threads = std::max(1u, std::thread::hardware_concurrency());
  bool metrics = false;
  PeakOverride peak;
  bool help = false;
};

bool parsePeak(const std::string& text, PeakOverride& peak) {
  char* end = nullptr;
  errno = 0;
  const double value = std::strtod(text.c_str(), &end);
  if (text.empty() || *end != '\0' || errno != 0 || !std::isfinite(value) || !(value > 0.0))
    return false;
  peak = value;
  return true;
}

// The value of an option given as "--name VALUE" or "--name=VALUE"; false, after a message,
// when it has none.
bool optionValue(int argc, char** argv, int& i, const std::string& name, std::string& value) {
  const std::string argument = argv[i];
  if (argument != name) {
    value = argument.substr(name.size() + 1);
    return true;
  }
  if (i + 1 >= argc) {
    printProblem(name + " needs a value");
    return false;
  }
  value = argv[++i];
  return true;
}

// Parses the value of an option; false, after a message, when it is missing or not what the
// option takes.
template <typename Parse>
bool parseOptionValue(int argc, char** argv, int& i, const std::string& name,
                      const std::string& takes, const Parse& parse) {
  std::string value;
  if (!optionValue(argc, argv, i, name, value))
    return false;
  if (parse(value))
    return true;
  printProblem(name + " takes " + takes + ", not '" + value + "'");
  return false;
}

bool isOption(const std::string& argument, const std::string& name) {
  return argument == name || argument.rfind(name + "=", 0) == 0;
}

bool parseThreadCount(const std::string& text, unsigned& threads) {
  const auto isDigit = [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; };
  if (text.empty() || text.size() > 6 || !std::all_of(text.begin(), text.end(), isDigit))
    return false;
  threads = static_cast<unsigned>(std::stoul(text));
  return threads > 0;
}

// Returns false, after a message, for an option it does not know; other arguments are ignored.
bool parseOptions(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--help" || argument == "-h") {
      options.help = true;
    } else if (argument == "--metrics") {
      options.metrics = true;
    } else if (isOption(argument, "--threads")) {
      if (!parseOptionValue(
              argc, argv, i, "--threads", "a whole number from 1",
              [&](const std::string& value) { return parseThreadCount(value, options.threads); }))
        return false;
    } else if (isOption(argument, "--peak")) {
      if (!parseOptionValue(
              argc, argv, i, "--peak", "a finite number above 0",
              [&](const std::string& value) { return parsePeak(value, options.peak); }))
        return false;
    } else if (!argument.empty() && argument[0] == '-') {
      printProblem("unknown option " + argument);
      return false;
    }
  }
  if (options.peak && !options.metrics) {
    printProblem("--peak sets the peak of metrics.csv and needs --metrics");
    return false;
  }
  return true;
}

void reportFileSystemError(const std::string& action, const fs::filesystem_error& error) {
  std::string text = action;
  if (!error.path1().empty())
    text += " " + error.path1().string();
  printProblem(text + ": " + error.code().message());
}

CloudComparison comparePair(const Pair& pair, unsigned threads, bool metrics) {
  return loadAndCompare(pair.original->string(), pair.decoded->string(), threads, metrics);
}

// The small pairs that helper threads compare ahead of the writer, and their results.
struct ComparisonQueue {
  ComparisonQueue(const std::vector<Pair>& all, bool withMetrics)
      : pairs(all), metrics(withMetrics), results(all.size()) {}
  const std::vector<Pair>& pairs;
  const bool metrics;
  std::vector<std::optional<CloudComparison>> results;
  std::mutex mutex;
  std::condition_variable ready;
  // Pairs below it have been taken, by a helper or by the writer.
  std::size_t next = 0;
};

// A helper's loop: takes the next small pair until none is left, one thread for each.
void compareSmallPairs(ComparisonQueue& queue) {
  for (;;) {
    std::size_t index;
    {
      std::lock_guard<std::mutex> lock(queue.mutex);
      while (queue.next < queue.pairs.size() && !queue.pairs[queue.next].small)
        ++queue.next;
      if (queue.next >= queue.pairs.size())
        return;
      index = queue.next++;
    }
    CloudComparison result = comparePair(queue.pairs[index], 1, queue.metrics);
    {
      std::lock_guard<std::mutex> lock(queue.mutex);
      queue.results[index] = std::move(result);
    }
    queue.ready.notify_all();
  }
}

std::vector<std::thread> startHelpers(ComparisonQueue& queue, unsigned threads) {
  std::vector<std::thread> helpers;
  for (unsigned i = 0; threads > 1 && i < threads; ++i) {
    try {
      helpers.emplace_back(compareSmallPairs, std::ref(queue));
    } catch (const std::system_error&) {
      break; // the writer compares what no helper takes
    }
  }
  return helpers;
}

// The writer's turn at pair index: the helpers' result, or a comparison of its own on every
// thread for a large pair or one that no helper has taken yet.
CloudComparison takeComparison(ComparisonQueue& queue, std::size_t index, unsigned threads) {
  if (!queue.pairs[index].small)
    return comparePair(queue.pairs[index], threads, queue.metrics);
  std::unique_lock<std::mutex> lock(queue.mutex);
  if (index >= queue.next) {
    queue.next = index + 1;
    lock.unlock();
    return comparePair(queue.pairs[index], threads, queue.metrics);
  }
  queue.ready.wait(lock, [&] { return queue.results[index].has_value(); });
  CloudComparison result = std::move(*queue.results[index]);
  queue.results[index].reset();
  return result;
}

// Writes the ratio piece and keeps the compressed size; returns false when a size could not be
// read.
bool writeCompressionRatio(std::ostream& report, const Pair& pair,
                           std::optional<std::uint64_t>& compressedBytes) {
  if (pair.compressed == nullptr) {
    writeRatioMissing(std::cout, report);
    return true;
  }
  try {
    const std::uintmax_t originalSize = fs::file_size(*pair.original);
    const std::uintmax_t compressedSize = fs::file_size(*pair.compressed);
    writeRatioFound(std::cout, report,
                    static_cast<float>(static_cast<double>(compressedSize) /
                                       static_cast<double>(originalSize)));
    compressedBytes = compressedSize;
    return true;
  } catch (const fs::filesystem_error& error) {
    reportFileSystemError("cannot read the size of", error);
    writeRatioMissing(std::cout, report);
    return false;
  }
}

void printComparison(const CloudComparison& comparison) {
  if (comparison.problem) {
    const PairProblem& problem = *comparison.problem;
    printProblem(problem.path + ": " + problem.reason);
    if (problem.loading)
      pcl::console::print(pcl::console::L_ERROR, "Error loading cloud %s.\n", problem.path.c_str());
    return;
  }
  // A measured record breaks its line after the ratio piece.
  std::cout << std::endl;
  for (std::size_t i = 0; i < comparison.unmatchedPoints; ++i)
    std::cout << kNoNeighbourLine << std::endl;
}

// metrics.csv and the dataset's pooled row, when the metrics are asked for.
struct MetricsOutput {
  std::ofstream csv;
  PeakOverride peak;
  MetricsTotals totals;
};

// Writes one original's console record, report row and metrics row; returns false on any
// error. The comparison comes first, so that the progress line is gone before the record.
bool writeRecord(ComparisonQueue& queue, std::size_t index, unsigned threads, std::ostream& report,
                 MetricsOutput* metrics, const ProgressLine& progress) {
  const Pair& pair = queue.pairs[index];
  showProgress(progress, "quorvane-eval", index, queue.pairs.size(), pair.name);
  std::optional<CloudComparison> comparison;
  if (pair.decoded != nullptr)
    comparison = takeComparison(queue, index, threads);
  clearProgress(progress);

  writeCloudOpening(std::cout, report, *pair.original);
  std::optional<std::uint64_t> compressedBytes;
  bool succeeded = writeCompressionRatio(report, pair, compressedBytes);
  if (comparison) {
    printComparison(*comparison);
    writeStatisticsFound(std::cout, report, comparison->stats);
    succeeded = succeeded && !comparison->problem;
  } else {
    writeStatisticsMissing(std::cout, report);
  }
  if (metrics != nullptr) {
    const PairMetrics* measured =
        comparison && comparison->metrics ? &*comparison->metrics : nullptr;
    writeMetricsRow(metrics->csv, pair.name, measured, compressedBytes, metrics->peak);
    metrics->csv.flush();
    addToTotals(metrics->totals, pair.name, measured, compressedBytes);
  }
  return succeeded;
}

// Reports the first failed write to a report file; the console log goes on regardless.
bool checkReport(const std::ostream& report, const char* name, bool& reported) {
  if (report || reported)
    return static_cast<bool>(report);
  printProblem(std::string("cannot write ") + name + ": " + std::strerror(errno));
  reported = true;
  return false;
}

bool openReport(std::ofstream& report, const char* name) {
  errno = 0;
  report.open(name);
  if (!report) {
    printProblem(std::string("cannot open ") + name + ": " + std::strerror(errno));
    return false;
  }
  return true;
}

// Takes an advisory lock on the report, held until the program ends, so that a second run in
// the same directory refuses before it truncates the first one's report.
bool lockReport() {
  const int descriptor = ::open(kReportName, O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
  if (descriptor < 0) {
    printProblem(std::string("cannot open ") + kReportName + ": " + std::strerror(errno));
    return false;
  }
  if (::flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
    printProblem(std::string(kReportName) +
                 " is being written by another run in this directory; it is left as it is");
    ::close(descriptor);
    return false;
  }
  return true;
}

} // namespace

int main(int argc, char** argv) {
  Options options;
  if (!parseOptions(argc, argv, options)) {
    printUsage(std::cerr);
    return 2;
  }
  if (options.help) {
    printUsage(std::cout);
    return 0;
  }
  // Large buffers are mapped and unmapped on their own, rather than kept in the arena of the
  // thread that freed them, so that a pair's memory is given back before the next pair's is
  // taken, whichever thread takes it: the peak does not grow with the thread count.
  mallopt(M_MMAP_THRESHOLD, 1 << 20);
  // PCL's warnings, such as the missing colour field of a cloud without colour, are not
  // problems of the run; every real problem is reported here with its file.
  pcl::console::setVerbosityLevel(pcl::console::L_ERROR);

  Dataset dataset = datasetBelow(fs::path("quorvane"));
  std::vector<SkippedEntry> skipped;
  std::ofstream report;
  if (!lockReport())
    return 1;
  // The lock on errors.csv covers metrics.csv too: both belong to one run. metrics.csv is
  // opened first, so that errors.csv stays as it was when metrics.csv cannot be opened.
  std::optional<MetricsOutput> metrics;
  if (options.metrics) {
    metrics.emplace();
    metrics->peak = options.peak;
    if (!openReport(metrics->csv, kMetricsName))
      return 1;
  }
  if (!openReport(report, kReportName))
    return 1;
  if (const std::string problem = listDataset(dataset, skipped); !problem.empty()) {
    printProblem(problem);
    return 1;
  }
  for (const SkippedEntry& entry : skipped)
    printProblem("skipped " + printableName(entry.path.string()) + ": " + entry.reason);

  bool reportFailureReported = false;
  bool metricsFailureReported = false;
  const auto checkReports = [&] {
    const bool reportWritten = checkReport(report, kReportName, reportFailureReported);
    return (!metrics || checkReport(metrics->csv, kMetricsName, metricsFailureReported)) &&
           reportWritten;
  };
  writeReportHeader(report);
  if (metrics)
    writeMetricsHeader(metrics->csv);
  bool succeeded = checkReports();
  const std::vector<Pair> pairs = pairDataset(dataset);
  ComparisonQueue queue(pairs, options.metrics);
  std::vector<std::thread> helpers = startHelpers(queue, options.threads);
  const ProgressLine progress = progressLineOn(stderr);
  for (std::size_t i = 0; i < pairs.size(); ++i) {
    succeeded =
        writeRecord(queue, i, options.threads, report, metrics ? &*metrics : nullptr, progress) &&
        succeeded;
    succeeded = checkReports() && succeeded;
  }
  for (std::thread& helper : helpers)
    helper.join();
  if (metrics) {
    writeMetricsTotals(metrics->csv, metrics->totals, metrics->peak);
    metrics->csv.flush();
    succeeded = checkReports() && succeeded;
    // A dataset's distortion without some of its clouds would pass for the whole one's.
    for (const LostPair& lost : metrics->totals.lost)
      printProblem(std::string(kMetricsName) + ": the distortion of 'all' is left empty: " +
                   printableName(lost.file) + ": " + lost.reason);
    succeeded = succeeded && metrics->totals.lost.empty();
  }
  return succeeded ? 0 : 1;
}

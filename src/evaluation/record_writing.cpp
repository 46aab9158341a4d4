#include "evaluation/record_writing.h"

#include "cli/diagnostics.h"
#include "evaluation/error_report.h"

#include <pcl/console/print.h>

#include <boost/filesystem/operations.hpp>

namespace fs = boost::filesystem;

namespace {

const char* const kNoNeighbourLine = "error no punto cercano encontrado";

// Writes the ratio piece and returns the compressed size; none without a compressed file or
// when a size could not be read (then after a message, and succeeded is cleared).
std::optional<std::uint64_t> writeCompressionRatio(RecordOutputs& outputs, const Pair& pair,
                                                   bool& succeeded) {
  if (pair.compressed == nullptr) {
    writeRatioMissing(outputs.console, outputs.report);
    return std::nullopt;
  }
  try {
    const std::uintmax_t originalSize = fs::file_size(*pair.original);
    const std::uintmax_t compressedSize = fs::file_size(*pair.compressed);
    writeRatioFound(outputs.console, outputs.report,
                    static_cast<float>(static_cast<double>(compressedSize) /
                                       static_cast<double>(originalSize)));
    return compressedSize;
  } catch (const fs::filesystem_error& error) {
    printProblem("cannot read the size of " + error.path1().string() + ": " +
                 error.code().message());
    writeRatioMissing(outputs.console, outputs.report);
    succeeded = false;
    return std::nullopt;
  }
}

void printComparison(std::ostream& console, const CloudComparison& comparison) {
  if (comparison.problem) {
    const PairProblem& problem = *comparison.problem;
    printProblem(problem.path + ": " + problem.reason);
    if (problem.loading)
      pcl::console::print(pcl::console::L_ERROR, "Error loading cloud %s.\n", problem.path.c_str());
    return;
  }
  // A measured record breaks its line after the ratio piece.
  console << std::endl;
  for (std::size_t i = 0; i < comparison.unmatchedPoints; ++i)
    console << kNoNeighbourLine << std::endl;
}

} // namespace

bool writeRecord(RecordOutputs& outputs, const Pair& pair,
                 const std::optional<CloudComparison>& comparison) {
  writeCloudOpening(outputs.console, outputs.report, *pair.original);
  bool succeeded = true;
  const std::optional<std::uint64_t> compressedBytes =
      writeCompressionRatio(outputs, pair, succeeded);
  if (comparison) {
    printComparison(outputs.console, *comparison);
    writeStatisticsFound(outputs.console, outputs.report, comparison->stats);
    succeeded = succeeded && !comparison->problem;
  } else {
    writeStatisticsMissing(outputs.console, outputs.report);
  }
  if (outputs.metrics != nullptr) {
    const PairMetrics* measured =
        comparison && comparison->metrics ? &*comparison->metrics : nullptr;
    std::optional<CompressedSize> compressed;
    if (compressedBytes) {
      compressed = CompressedSize{*compressedBytes, std::nullopt};
      if (const CompressedParts* parts =
              compressedPartsOf(outputs.parts, pair.name, *compressedBytes))
        compressed->colorBytes = parts->colorBytes;
    }
    writeMetricsRow(*outputs.metrics, pair.name, measured, compressed, outputs.peak);
    outputs.metrics->flush();
    addToTotals(outputs.totals, pair.name, measured, compressed);
    addFrame(outputs.sequences, pair.name, measured, compressed, outputs.peak);
  }
  return succeeded;
}

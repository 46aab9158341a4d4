#pragma once

#include "evaluation/metrics_report.h"
#include "evaluation/pc_error_report.h"
#include "io/cloud_loading.h"
#include "metrics/cloud_comparison.h"

#include <array>
#include <istream>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

// One pair of a list that quorvane-metrics measures: the original, the decoded cloud and the
// file of the original's normals, if any.
struct ListedPair {
  std::string original;
  std::string decoded;
  std::string normals;
};

// What pc_error's report says of a file it read: its point count and last point.
struct ReadSummary {
  std::size_t points = 0;
  std::optional<std::array<float, 3>> lastPoint;
  bool hasNormals = false;
};

ReadSummary summaryOf(const LoadedPoints& loaded);

// What measuring one pair as pc_error would gave: the clouds as read (given over to the
// comparison, which lets them go), what the report says of each file, the comparison, and
// whether the original's normals were given but missing from their file.
struct PairMeasurement {
  LoadedPoints original;
  LoadedPoints decoded;
  LoadedPoints normals;
  ReadSummary originalRead;
  ReadSummary decodedRead;
  ReadSummary normalsRead;
  bool normalsMissing = false;
  // The metrics, or the problem of the first file that cannot be read or measured.
  CloudComparison comparison;
  bool colorsCompared = false;
  // The run's resolution, or pc_error's own peak for the pair; NaN without either.
  double peak = 0.0;
  // The wall time of the measurement, reading excluded.
  double seconds = 0.0;
};

// Reads and measures a pair with a run's options. The original's normals come from the
// normals file when one is given (its point count must be the original's), else from the
// original's own file; without any, D2 is left out.
PairMeasurement measurePair(const ListedPair& pair, const PcErrorRun& run, unsigned threads);

// Measures a pair whose clouds are in `measured` already, the original with the normals it is to
// use (none for no D2): the comparison, whether colours were compared, and the peak. A problem of
// the comparison itself names no file.
void measureLoadedPair(PairMeasurement& measured, const PcErrorRun& run, unsigned threads);

// A list of pairs as CSV (RFC 4180): "original,decoded[,normals]" a record; blank lines are
// skipped. The reason, with the record's number, when a record is not of that form.
std::string readPairList(std::istream& csv, std::vector<ListedPair>& pairs);

// Part `part` of `parts` of a list: consecutive pairs, so that the parts' CSV files put one
// after another are the whole list's.
std::vector<ListedPair> partOf(const std::vector<ListedPair>& pairs, unsigned part, unsigned parts);

// The pairs' CSV: metrics.csv's columns with "decoded" and "normals" after "file" (the
// original). A pair that could not be measured keeps its names and leaves the rest empty.
void writePairListHeader(std::ostream& csv);
void writePairListRow(std::ostream& csv, const ListedPair& pair, const PairMetrics* metrics,
                      PeakOverride peak);

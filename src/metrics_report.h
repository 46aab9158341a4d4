#pragma once

#include "codec_metrics.h"

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>

// The dataset's row of metrics.csv: every measured pair pooled.
struct MetricsTotals {
  PairMetrics pooled;
  std::uint64_t compressedBytes = 0;
  // The pairs with both a compressed file and measured points, for the pooled bits per point.
  std::uint64_t compressedBytesOfMeasured = 0;
  std::size_t originalPointsOfMeasured = 0;
};

// The peak that a --peak value, when given, replaces in every row.
using PeakOverride = std::optional<double>;

void writeMetricsHeader(std::ostream& csv);

// One original's row; metrics is null for a pair that could not be measured, bytes empty
// without a compressed file.
void writeMetricsRow(std::ostream& csv, const std::string& file, const PairMetrics* metrics,
                     std::optional<std::uint64_t> compressedBytes, PeakOverride peak);

void addToTotals(MetricsTotals& totals, const PairMetrics* metrics,
                 std::optional<std::uint64_t> compressedBytes);

// The last row, named "all".
void writeMetricsTotals(std::ostream& csv, const MetricsTotals& totals, PeakOverride peak);

// A CSV field: quoted, its quotes doubled, when it holds a comma, a quote or a line break.
std::string csvField(const std::string& text);

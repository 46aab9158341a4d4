#pragma once

#include "metrics/codec_metrics.h"

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

// A pair that the dataset's distortion cannot leave out: one of its clouds has points that
// found no partner, or it could not be measured at all.
struct LostPair {
  std::string file;
  std::string reason;
};

// The dataset's row of metrics.csv: every measured pair pooled.
struct MetricsTotals {
  PairMetrics pooled;
  std::uint64_t compressedBytes = 0;
  // The pairs with both a compressed file and finite original points, for the pooled bits per
  // point.
  std::uint64_t compressedBytesOfMeasured = 0;
  std::size_t originalPointsOfMeasured = 0;
  // With any, the pooled distortion is not a number and its fields stay empty.
  std::vector<LostPair> lost;
};

// The peak that a --peak value, when given, replaces in every row.
using PeakOverride = std::optional<double>;

void writeMetricsHeader(std::ostream& csv);

// One original's row; metrics is null for a pair that could not be measured, bytes empty
// without a compressed file.
void writeMetricsRow(std::ostream& csv, const std::string& file, const PairMetrics* metrics,
                     std::optional<std::uint64_t> compressedBytes, PeakOverride peak);

// Why the pair's distortion is lost to the dataset's; empty when it was measured both ways,
// or when neither cloud has a finite point.
std::string lostReason(const PairMetrics* metrics);

void addToTotals(MetricsTotals& totals, const std::string& file, const PairMetrics* metrics,
                 std::optional<std::uint64_t> compressedBytes);

// The last row, named "all"; its distortion fields are empty when a pair was lost.
void writeMetricsTotals(std::ostream& csv, const MetricsTotals& totals, PeakOverride peak);

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

// What a pair's compressed file holds: its bytes, and those that code the colours where the
// codec counted them (the rest code the geometry).
struct CompressedSize {
  std::uint64_t bytes = 0;
  std::optional<std::uint64_t> colorBytes;
};

// The rates of pairs with both a compressed file and finite original points: their bits over
// their points, in all and for geometry and colour, known when every pair's parts are.
struct RateSums {
  std::uint64_t compressedBytes = 0;
  std::uint64_t colorBytes = 0;
  std::size_t originalPoints = 0;
  std::size_t pairsWithoutParts = 0;
};

// Adds the pair's compressed file, if any, to the sums when it has original points.
void addToRates(RateSums& rates, const PairMetrics* metrics,
                const std::optional<CompressedSize>& compressed);

// The bits per point of the sums, in all, of geometry and of colour; none without points.
struct BitsPerPoint {
  std::optional<double> all;
  std::optional<double> geometry;
  std::optional<double> color;
};
BitsPerPoint bitsPerPointOf(const RateSums& rates);

// The dataset's row of metrics.csv: every measured pair pooled.
struct MetricsTotals {
  PairMetrics pooled;
  std::uint64_t compressedBytes = 0;
  // The pairs with both a compressed file and finite original points, for the pooled bits per
  // point.
  RateSums rates;
  // With any, the pooled distortion is not a number and its fields stay empty.
  std::vector<LostPair> lost;
};

// The peak that a --peak value, when given, replaces in every row.
using PeakOverride = std::optional<double>;

void writeMetricsHeader(std::ostream& csv);

// One original's row; metrics is null for a pair that could not be measured, compressed empty
// without a compressed file.
void writeMetricsRow(std::ostream& csv, const std::string& file, const PairMetrics* metrics,
                     const std::optional<CompressedSize>& compressed, PeakOverride peak);

// A measured pair's PSNRs as its metrics.csv row gives them: D1 and D2 with the peak, the
// colour channels (Y', Cb, Cr) with pc_error's peak of 1, the reflectance; none where the row's
// field is empty.
struct PairPsnrs {
  std::optional<double> d1;
  std::optional<double> d2;
  std::optional<double> color[3];
  // With the peak 65535, where both clouds have reflectance.
  std::optional<double> reflectance;
};

// The peak of the reflectance's PSNR, as pc_error takes it: the largest 16-bit value.
constexpr double kReflectancePeak = 65535.0;
PairPsnrs pairPsnrs(const PairMetrics& metrics, double peak);

// Why the pair's distortion is lost to the dataset's; empty when it was measured both ways,
// or when neither cloud has a finite point.
std::string lostReason(const PairMetrics* metrics);

void addToTotals(MetricsTotals& totals, const std::string& file, const PairMetrics* metrics,
                 const std::optional<CompressedSize>& compressed);

// The last row, named "all"; its distortion fields are empty when a pair was lost.
void writeMetricsTotals(std::ostream& csv, const MetricsTotals& totals, PeakOverride peak);

#include "evaluation/metrics_report.h"

#include "common/csv_records.h"

#include <cstdio>
#include <vector>

namespace {

using Value = std::optional<double>;

std::string formatValue(Value value) {
  if (!value)
    return "";
  char text[32];
  std::snprintf(text, sizeof text, "%.9g", *value);
  return text;
}

std::string formatCount(std::optional<std::uint64_t> count) {
  return count ? std::to_string(*count) : "";
}

Value bitsPerPoint(std::uint64_t bytes, std::size_t points) {
  if (points == 0)
    return std::nullopt;
  return 8.0 * static_cast<double>(bytes) / static_cast<double>(points);
}

// The fields after file and the counts, from the measured sums.
std::vector<std::string> distortionFields(const PairMetrics& metrics, double peak) {
  const DirectionSums& ab = metrics.originalToDecoded;
  const DirectionSums& ba = metrics.decodedToOriginal;
  const Value d1 = symmetric(meanSquaredDistance(ab), meanSquaredDistance(ba));
  const Value d2 = symmetric(meanSquaredPlaneDistance(ab), meanSquaredPlaneDistance(ba));
  std::vector<std::string> fields = {
      formatValue(meanSquaredDistance(ab)),
      formatValue(meanSquaredDistance(ba)),
      formatValue(d1),
      formatValue(psnr(peak, d1, 3.0)),
      formatValue(peak),
      formatValue(hausdorffDistance(ab)),
      formatValue(hausdorffDistance(ba)),
      formatValue(symmetric(hausdorffDistance(ab), hausdorffDistance(ba))),
      formatValue(meanSquaredPlaneDistance(ab)),
      formatValue(meanSquaredPlaneDistance(ba)),
      formatValue(d2),
      formatValue(psnr(peak, d2, 3.0))};
  // pc_error's colours run from 0 to 1.
  for (int channel = 0; channel < 3; ++channel)
    fields.push_back(formatValue(psnr(1.0, symmetric(meanSquaredColorDifference(ab, channel),
                                                     meanSquaredColorDifference(ba, channel)))));
  return fields;
}

constexpr std::size_t kDistortionColumns = 15;
constexpr std::size_t kLaterDistortionColumns = 3;

Value squared(Value value) {
  if (!value)
    return std::nullopt;
  return *value * *value;
}

// The columns added after the first twenty, in their order: Hausdorff's PSNR and D2's
// Hausdorff distance with its PSNR.
std::vector<std::string> laterDistortionFields(const PairMetrics& metrics, double peak) {
  const DirectionSums& ab = metrics.originalToDecoded;
  const DirectionSums& ba = metrics.decodedToOriginal;
  const Value hausdorff = symmetric(hausdorffDistance(ab), hausdorffDistance(ba));
  const Value planeHausdorff = symmetric(planeHausdorffDistance(ab), planeHausdorffDistance(ba));
  return {formatValue(psnr(peak, squared(hausdorff), 3.0)), formatValue(planeHausdorff),
          formatValue(psnr(peak, squared(planeHausdorff), 3.0))};
}

// A row; its distortion only when measured is set.
void writeRow(std::ostream& csv, const std::string& file, const PairMetrics* metrics, bool measured,
              std::optional<std::uint64_t> compressedBytes, Value bpp, PeakOverride peak) {
  csv << csvField(file) << ',';
  if (metrics != nullptr)
    csv << metrics->originalPoints << ',' << metrics->decodedPoints << ',';
  else
    csv << ",,";
  csv << formatCount(compressedBytes) << ',' << formatValue(bpp);
  std::vector<std::string> fields;
  if (metrics != nullptr && measured)
    fields = distortionFields(*metrics, peak.value_or(metrics->boundingBoxPeak));
  else
    fields.assign(kDistortionColumns, "");
  if (fields[4].empty() && peak)
    fields[4] = formatValue(peak);
  for (const std::string& field : fields)
    csv << ',' << field;
  if (metrics != nullptr)
    csv << ',' << metrics->originalUniquePoints << ',' << metrics->decodedUniquePoints;
  else
    csv << ",,";
  std::vector<std::string> later;
  if (metrics != nullptr && measured)
    later = laterDistortionFields(*metrics, peak.value_or(metrics->boundingBoxPeak));
  else
    later.assign(kLaterDistortionColumns, "");
  for (const std::string& field : later)
    csv << ',' << field;
  csv << '\n';
}

} // namespace

void writeMetricsHeader(std::ostream& csv) {
  csv << "file,original_points,decoded_points,compressed_bytes,bpp,d1_mse_ab,d1_mse_ba,d1_mse,"
         "d1_psnr,peak,hausdorff_ab,hausdorff_ba,hausdorff,d2_mse_ab,d2_mse_ba,d2_mse,d2_psnr,"
         "y_psnr,cb_psnr,cr_psnr,original_unique_points,decoded_unique_points,hausdorff_psnr,"
         "d2_hausdorff,d2_hausdorff_psnr\n";
}

void writeMetricsRow(std::ostream& csv, const std::string& file, const PairMetrics* metrics,
                     std::optional<std::uint64_t> compressedBytes, PeakOverride peak) {
  Value bpp;
  if (metrics != nullptr && compressedBytes)
    bpp = bitsPerPoint(*compressedBytes, metrics->originalPoints);
  writeRow(csv, file, metrics, true, compressedBytes, bpp, peak);
}

std::string lostReason(const PairMetrics* metrics) {
  if (metrics == nullptr)
    return "it was not measured";
  if (metrics->originalPoints > 0 && metrics->decodedPoints == 0)
    return "its decoded cloud has no finite point";
  if (metrics->originalPoints == 0 && metrics->decodedPoints > 0)
    return "its original has no finite point";
  return "";
}

void addToTotals(MetricsTotals& totals, const std::string& file, const PairMetrics* metrics,
                 std::optional<std::uint64_t> compressedBytes) {
  if (compressedBytes)
    totals.compressedBytes += *compressedBytes;
  if (std::string reason = lostReason(metrics); !reason.empty())
    totals.lost.push_back(LostPair{file, std::move(reason)});
  if (metrics == nullptr)
    return;
  poolMetrics(totals.pooled, *metrics);
  if (compressedBytes && metrics->originalPoints > 0) {
    totals.compressedBytesOfMeasured += *compressedBytes;
    totals.originalPointsOfMeasured += metrics->originalPoints;
  }
}

void writeMetricsTotals(std::ostream& csv, const MetricsTotals& totals, PeakOverride peak) {
  writeRow(csv, "all", &totals.pooled, totals.lost.empty(), totals.compressedBytes,
           bitsPerPoint(totals.compressedBytesOfMeasured, totals.originalPointsOfMeasured), peak);
}

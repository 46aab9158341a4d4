#include "evaluation/metrics_report.h"

#include "common/csv_records.h"

#include <algorithm>
#include <cmath>
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
  const PairPsnrs psnrs = pairPsnrs(metrics, peak);
  std::vector<std::string> fields = {
      formatValue(meanSquaredDistance(ab)),
      formatValue(meanSquaredDistance(ba)),
      formatValue(d1),
      formatValue(psnrs.d1),
      formatValue(peak),
      formatValue(hausdorffDistance(ab)),
      formatValue(hausdorffDistance(ba)),
      formatValue(symmetric(hausdorffDistance(ab), hausdorffDistance(ba))),
      formatValue(meanSquaredPlaneDistance(ab)),
      formatValue(meanSquaredPlaneDistance(ba)),
      formatValue(d2),
      formatValue(psnrs.d2)};
  for (int channel = 0; channel < 3; ++channel)
    fields.push_back(formatValue(psnrs.color[channel]));
  // Without the original's normals there is no D2.
  if (!metrics.planes)
    for (std::size_t d2 = 8; d2 < 12; ++d2)
      fields[d2] = "";
  return fields;
}

constexpr std::size_t kDistortionColumns = 15;
constexpr std::size_t kLaterDistortionColumns = 24;

Value squared(Value value) {
  if (!value)
    return std::nullopt;
  return *value * *value;
}

// The columns added after the first twenty, in their order: Hausdorff's PSNR and D2's
// Hausdorff distance with its PSNR; then each colour channel's MSE both ways and symmetric, its
// PSNR each way, and the largest 8-bit R, G and B differences with their PSNR (peak 255).
std::vector<std::string> laterDistortionFields(const PairMetrics& metrics, double peak) {
  const DirectionSums& ab = metrics.originalToDecoded;
  const DirectionSums& ba = metrics.decodedToOriginal;
  const Value hausdorff = symmetric(hausdorffDistance(ab), hausdorffDistance(ba));
  const Value planeHausdorff = symmetric(planeHausdorffDistance(ab), planeHausdorffDistance(ba));
  std::vector<std::string> fields = {formatValue(psnr(peak, squared(hausdorff), 3.0)),
                                     formatValue(planeHausdorff),
                                     formatValue(psnr(peak, squared(planeHausdorff), 3.0))};
  for (int channel = 0; channel < 3; ++channel) {
    const Value mseAb = meanSquaredColorDifference(ab, channel);
    const Value mseBa = meanSquaredColorDifference(ba, channel);
    fields.push_back(formatValue(mseAb));
    fields.push_back(formatValue(mseBa));
    fields.push_back(formatValue(symmetric(mseAb, mseBa)));
  }
  for (int channel = 0; channel < 3; ++channel) {
    fields.push_back(formatValue(psnr(1.0, meanSquaredColorDifference(ab, channel))));
    fields.push_back(formatValue(psnr(1.0, meanSquaredColorDifference(ba, channel))));
  }
  const bool colors = ab.colorPoints > 0 && ba.colorPoints > 0;
  for (std::size_t channel = 0; channel < 3; ++channel) {
    const double largest = std::max(ab.largestSquaredRgbDifferences[channel],
                                    ba.largestSquaredRgbDifferences[channel]);
    fields.push_back(colors ? formatValue(std::sqrt(largest)) : "");
  }
  for (std::size_t channel = 0; channel < 3; ++channel) {
    const double largest = std::max(ab.largestSquaredRgbDifferences[channel],
                                    ba.largestSquaredRgbDifferences[channel]);
    fields.push_back(colors ? formatValue(psnr(255.0, largest)) : "");
  }
  // Without the original's normals there is no D2.
  if (!metrics.planes)
    fields[1] = fields[2] = "";
  return fields;
}

constexpr std::size_t kReflectanceColumns = 4;

// The reflectance's MSE (the larger of ab and ba), PSNR (peak 65535), Hausdorff distance and its
// PSNR, where both clouds have reflectance.
std::vector<std::string> reflectanceFields(const PairMetrics& metrics) {
  const DirectionSums& ab = metrics.originalToDecoded;
  const DirectionSums& ba = metrics.decodedToOriginal;
  const Value hausdorff =
      symmetric(reflectanceHausdorffDistance(ab), reflectanceHausdorffDistance(ba));
  return {formatValue(symmetric(meanSquaredReflectanceDifference(ab),
                                meanSquaredReflectanceDifference(ba))),
          formatValue(pairPsnrs(metrics, 0.0).reflectance), formatValue(hausdorff),
          formatValue(psnr(kReflectancePeak, squared(hausdorff)))};
}

// A row; its distortion only when measured is set.
void writeRow(std::ostream& csv, const std::string& file, const PairMetrics* metrics, bool measured,
              std::optional<std::uint64_t> compressedBytes, const BitsPerPoint& bpp,
              PeakOverride peak) {
  csv << csvField(file) << ',';
  if (metrics != nullptr)
    csv << metrics->originalPoints << ',' << metrics->decodedPoints << ',';
  else
    csv << ",,";
  csv << formatCount(compressedBytes) << ',' << formatValue(bpp.all);
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
  csv << ',' << formatValue(bpp.geometry) << ',' << formatValue(bpp.color);
  std::vector<std::string> reflectance(kReflectanceColumns, "");
  if (metrics != nullptr && measured)
    reflectance = reflectanceFields(*metrics);
  for (const std::string& field : reflectance)
    csv << ',' << field;
  csv << '\n';
}

} // namespace

void writeMetricsHeader(std::ostream& csv) {
  csv << "file,original_points,decoded_points,compressed_bytes,bpp,d1_mse_ab,d1_mse_ba,d1_mse,"
         "d1_psnr,peak,hausdorff_ab,hausdorff_ba,hausdorff,d2_mse_ab,d2_mse_ba,d2_mse,d2_psnr,"
         "y_psnr,cb_psnr,cr_psnr,original_unique_points,decoded_unique_points,hausdorff_psnr,"
         "d2_hausdorff,d2_hausdorff_psnr,y_mse_ab,y_mse_ba,y_mse,cb_mse_ab,cb_mse_ba,cb_mse,"
         "cr_mse_ab,cr_mse_ba,cr_mse,y_psnr_ab,y_psnr_ba,cb_psnr_ab,cb_psnr_ba,cr_psnr_ab,"
         "cr_psnr_ba,red_hausdorff,green_hausdorff,blue_hausdorff,red_hausdorff_psnr,"
         "green_hausdorff_psnr,blue_hausdorff_psnr,geometry_bpp,colour_bpp,reflectance_mse,"
         "reflectance_psnr,reflectance_hausdorff,reflectance_hausdorff_psnr\n";
}

void addToRates(RateSums& rates, const PairMetrics* metrics,
                const std::optional<CompressedSize>& compressed) {
  if (metrics == nullptr || !compressed || metrics->originalPoints == 0)
    return;
  rates.compressedBytes += compressed->bytes;
  rates.originalPoints += metrics->originalPoints;
  if (compressed->colorBytes)
    rates.colorBytes += *compressed->colorBytes;
  else
    ++rates.pairsWithoutParts;
}

BitsPerPoint bitsPerPointOf(const RateSums& rates) {
  BitsPerPoint bpp;
  bpp.all = bitsPerPoint(rates.compressedBytes, rates.originalPoints);
  if (bpp.all && rates.pairsWithoutParts == 0) {
    bpp.geometry = bitsPerPoint(rates.compressedBytes - rates.colorBytes, rates.originalPoints);
    bpp.color = bitsPerPoint(rates.colorBytes, rates.originalPoints);
  }
  return bpp;
}

PairPsnrs pairPsnrs(const PairMetrics& metrics, double peak) {
  const DirectionSums& ab = metrics.originalToDecoded;
  const DirectionSums& ba = metrics.decodedToOriginal;
  PairPsnrs psnrs;
  psnrs.d1 = psnr(peak, symmetric(meanSquaredDistance(ab), meanSquaredDistance(ba)), 3.0);
  if (metrics.planes)
    psnrs.d2 =
        psnr(peak, symmetric(meanSquaredPlaneDistance(ab), meanSquaredPlaneDistance(ba)), 3.0);
  // pc_error's colours run from 0 to 1.
  for (int channel = 0; channel < 3; ++channel)
    psnrs.color[channel] = psnr(1.0, symmetric(meanSquaredColorDifference(ab, channel),
                                               meanSquaredColorDifference(ba, channel)));
  psnrs.reflectance = psnr(kReflectancePeak, symmetric(meanSquaredReflectanceDifference(ab),
                                                       meanSquaredReflectanceDifference(ba)));
  return psnrs;
}

void writeMetricsRow(std::ostream& csv, const std::string& file, const PairMetrics* metrics,
                     const std::optional<CompressedSize>& compressed, PeakOverride peak) {
  RateSums rates;
  addToRates(rates, metrics, compressed);
  writeRow(csv, file, metrics, true,
           compressed ? std::optional<std::uint64_t>(compressed->bytes) : std::nullopt,
           bitsPerPointOf(rates), peak);
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
                 const std::optional<CompressedSize>& compressed) {
  if (compressed)
    totals.compressedBytes += compressed->bytes;
  if (std::string reason = lostReason(metrics); !reason.empty())
    totals.lost.push_back(LostPair{file, std::move(reason)});
  if (metrics == nullptr)
    return;
  poolMetrics(totals.pooled, *metrics);
  addToRates(totals.rates, metrics, compressed);
}

void writeMetricsTotals(std::ostream& csv, const MetricsTotals& totals, PeakOverride peak) {
  writeRow(csv, "all", &totals.pooled, totals.lost.empty(), totals.compressedBytes,
           bitsPerPointOf(totals.rates), peak);
}

#include "evaluation/sequence_report.h"

#include "common/csv_records.h"

#include <cmath>
#include <cstdio>

namespace {

std::string formatValue(std::optional<double> value) {
  if (!value)
    return "";
  char text[32];
  std::snprintf(text, sizeof text, "%.9g", *value);
  return text;
}

void addFrameTo(SequenceSums& sums, const std::string& name, const PairMetrics* metrics,
                const std::optional<CompressedSize>& compressed, PeakOverride peak) {
  ++sums.frames;
  if (compressed)
    sums.compressedBytes += compressed->bytes;
  addToRates(sums.rates, metrics, compressed);
  if (std::string reason = lostReason(metrics); !reason.empty()) {
    sums.lost.push_back(LostPair{name, std::move(reason)});
    return;
  }
  sums.originalPoints += metrics->originalPoints;
  // A pair without a finite point on either side has nothing to fold.
  if (metrics->originalPoints == 0)
    return;
  ++sums.framesMeasured;
  const PairPsnrs psnrs = pairPsnrs(*metrics, peak.value_or(metrics->boundingBoxPeak));
  const std::optional<double> values[6] = {psnrs.d1,       psnrs.d2,       psnrs.color[0],
                                           psnrs.color[1], psnrs.color[2], psnrs.reflectance};
  bool infinite = false;
  for (int metric = 0; metric < 6; ++metric)
    if (values[metric]) {
      sums.psnrSums[metric] += *values[metric];
      ++sums.psnrFrames[metric];
      infinite = infinite || std::isinf(*values[metric]);
    }
  if (infinite)
    ++sums.infinitePsnrFrames;
}

void writeRow(std::ostream& csv, const std::string& sequence, const SequenceSums& sums,
              double fps) {
  const BitsPerPoint bpp = bitsPerPointOf(sums.rates);
  const double bits = 8.0 * static_cast<double>(sums.compressedBytes);
  csv << csvField(sequence) << ',' << sums.frames << ',' << sums.framesMeasured << ','
      << sums.originalPoints << ',' << sums.compressedBytes * 8 << ',' << formatValue(bpp.all)
      << ',' << formatValue(bpp.geometry) << ',' << formatValue(bpp.color) << ','
      << formatValue(sums.frames > 0 ? std::optional<double>(bits * fps /
                                                             static_cast<double>(sums.frames) / 1e6)
                                     : std::nullopt);
  // The CTC fold: the mean of the frames' PSNRs, only when every frame gave one.
  for (int metric = 0; metric < 6; ++metric) {
    std::optional<double> mean;
    if (sums.lost.empty() && sums.framesMeasured > 0 &&
        sums.psnrFrames[metric] == sums.framesMeasured)
      mean = sums.psnrSums[metric] / static_cast<double>(sums.framesMeasured);
    csv << ',' << formatValue(mean);
  }
  csv << ',' << sums.infinitePsnrFrames << '\n';
}

} // namespace

std::string sequenceOf(const std::string& name) {
  const std::size_t slash = name.rfind('/');
  return slash == std::string::npos ? "." : name.substr(0, slash);
}

void addFrame(SequenceTotals& totals, const std::string& name, const PairMetrics* metrics,
              const std::optional<CompressedSize>& compressed, PeakOverride peak) {
  addFrameTo(totals.sequences[sequenceOf(name)], name, metrics, compressed, peak);
  addFrameTo(totals.all, name, metrics, compressed, peak);
}

void writeSequencesHeader(std::ostream& csv) {
  csv << "sequence,frames,frames_measured,original_points,compressed_bits,bpp,geometry_bpp,"
         "colour_bpp,mbps,d1_psnr,d2_psnr,y_psnr,cb_psnr,cr_psnr,reflectance_psnr,"
         "infinite_psnr_frames\n";
}

void writeSequences(std::ostream& csv, const SequenceTotals& totals, double fps) {
  for (const auto& [sequence, sums] : totals.sequences)
    writeRow(csv, sequence, sums, fps);
  writeRow(csv, "all", totals.all, fps);
}

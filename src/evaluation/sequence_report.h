#pragma once

#include "evaluation/metrics_report.h"

#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

// sequences.csv: the clouds of each folder below the originals' folder as one sequence, folded
// as MPEG's common test conditions fold frames: bits and points summed, PSNRs averaged over the
// frames.

// What a sequence's frames add up to.
struct SequenceSums {
  std::size_t frames = 0;
  std::size_t framesMeasured = 0;
  std::uint64_t originalPoints = 0;
  std::uint64_t compressedBytes = 0;
  RateSums rates;
  // Sums of the frames' PSNRs (D1, D2, Y', Cb, Cr, reflectance) and how many frames gave each.
  double psnrSums[6] = {0, 0, 0, 0, 0, 0};
  std::size_t psnrFrames[6] = {0, 0, 0, 0, 0, 0};
  std::size_t infinitePsnrFrames = 0;
  // The frames that could not be measured, which leave the means empty.
  std::vector<LostPair> lost;
};

// The sequences by folder ("." for the originals' folder itself), and the whole dataset.
struct SequenceTotals {
  std::map<std::string, SequenceSums> sequences;
  SequenceSums all;
};

// The sequence of an original's name below the originals' folder: its folder.
std::string sequenceOf(const std::string& name);

// Adds one original's frame; metrics is null when it could not be measured, compressed empty
// without a compressed file. The PSNRs are metrics.csv's, with the same peak.
void addFrame(SequenceTotals& totals, const std::string& name, const PairMetrics* metrics,
              const std::optional<CompressedSize>& compressed, PeakOverride peak);

void writeSequencesHeader(std::ostream& csv);

// A row per sequence in name order, then "all"; Mbps at fps frames a second.
void writeSequences(std::ostream& csv, const SequenceTotals& totals, double fps);

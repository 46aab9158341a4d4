#include "evaluation/sequence_report.h"
#include "metrics/cloud_comparison.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

// A frame of two points 2 apart, one of them moved `offset` off in the decoded cloud: D1 is
// offset^2 / 2 both ways with the peak 2, so its PSNR is 10 log10(24 / offset^2); two points
// give no normal, so D2 is D1. No colour field: no colour PSNR.
PairMetrics frame(float offset) {
  LoadedPoints original, decoded;
  original.points =
      toPointList(*cloudOf({colorPoint(0, 0, 0, 0, 0, 0), colorPoint(2, 0, 0, 0, 0, 0)}));
  decoded.points =
      toPointList(*cloudOf({colorPoint(0, 0, 0, 0, 0, 0), colorPoint(2, 0, offset, 0, 0, 0)}));
  const CloudComparison comparison = compareCloudsWithMetrics(original, decoded, 1);
  EXPECT_TRUE(comparison.metrics.has_value());
  return comparison.metrics.value_or(PairMetrics{});
}

std::string written(const SequenceTotals& totals, double fps = 30.0) {
  std::ostringstream csv;
  writeSequences(csv, totals, fps);
  return csv.str();
}

} // namespace

// Two sequences of three frames. "room": offsets 1, 0.5 and 0.25 give PSNRs 13.80, 19.82 and
// 25.84, whose mean is 19.8227 (pooling their MSEs would give 17.39); 100 + 50 + 50 bytes over
// 6 points is 266.67 bpp, of which 60 colour bytes are 80 bpp; 1600 bits at 30 fps over 3
// frames are 0.016 Mbps. "body": one lossless frame makes its means infinite, and counts.
TEST(SequenceReport, FoldsFramesAsTheCommonTestConditions) {
  SequenceTotals totals;
  const PairMetrics room[3] = {frame(1.0f), frame(0.5f), frame(0.25f)};
  addFrame(totals, "kinect/room/f0.pcd", &room[0], CompressedSize{100, 40}, std::nullopt);
  addFrame(totals, "kinect/room/f1.pcd", &room[1], CompressedSize{50, 10}, std::nullopt);
  addFrame(totals, "kinect/room/f2.pcd", &room[2], CompressedSize{50, 10}, std::nullopt);
  const PairMetrics body[3] = {frame(1.0f), frame(0.0f), frame(1.0f)};
  for (int i = 0; i < 3; ++i)
    addFrame(totals, "body/f" + std::to_string(i) + ".pcd", &body[i],
             CompressedSize{10, std::nullopt}, std::nullopt);
  std::ostringstream header;
  writeSequencesHeader(header);
  EXPECT_EQ(header.str(), "sequence,frames,frames_measured,original_points,compressed_bits,bpp,"
                          "geometry_bpp,colour_bpp,mbps,d1_psnr,d2_psnr,y_psnr,cb_psnr,cr_psnr,"
                          "reflectance_psnr,infinite_psnr_frames\n");
  EXPECT_EQ(written(totals),
            "body,3,3,6,240,40,,,0.0024,inf,inf,,,,,1\n"
            "kinect/room,3,3,6,1600,266.666667,186.666667,80,0.016,19.8227123,19.8227123,,,,,0\n"
            "all,6,6,12,1840,153.333333,,,0.0092,inf,inf,,,,,1\n");
  // Mbps at the sequence's own frame rate; --peak gives every frame's PSNR its peak.
  EXPECT_NE(written(totals, 10.0).find(",0.00533333333,"), std::string::npos);
  SequenceTotals withPeak;
  addFrame(withPeak, "a.pcd", &room[0], std::nullopt, 1023.0);
  EXPECT_EQ(written(withPeak), ".,1,1,2,0,,,,0,67.9790252,67.9790252,,,,,0\n"
                               "all,1,1,2,0,,,,0,67.9790252,67.9790252,,,,,0\n");
}

// A frame that could not be measured leaves its sequence's and the dataset's means empty and is
// named; the other sequences keep theirs. Its bits still count.
TEST(SequenceReport, AnUnmeasuredFrameLeavesItsSequencesMeansEmpty) {
  SequenceTotals totals;
  const PairMetrics measured = frame(1.0f);
  addFrame(totals, "a/f0.pcd", &measured, CompressedSize{10, std::nullopt}, std::nullopt);
  addFrame(totals, "a/f1.pcd", nullptr, CompressedSize{10, std::nullopt}, std::nullopt);
  addFrame(totals, "b/f0.pcd", &measured, std::nullopt, std::nullopt);
  EXPECT_EQ(written(totals), "a,2,1,2,160,40,,,0.0024,,,,,,,0\n"
                             "b,1,1,2,0,,,,0,13.8021124,13.8021124,,,,,0\n"
                             "all,3,2,4,160,40,,,0.0016,,,,,,,0\n");
  ASSERT_EQ(totals.sequences["a"].lost.size(), 1u);
  EXPECT_EQ(totals.sequences["a"].lost[0].file, "a/f1.pcd");
  EXPECT_EQ(sequenceOf("top.pcd"), ".");
  EXPECT_EQ(sequenceOf("kinect/room/f0.pcd"), "kinect/room");
}

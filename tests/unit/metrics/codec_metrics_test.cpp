#include "common/csv_records.h"
#include "evaluation/metrics_report.h"
#include "metrics/cloud_comparison.h"
#include "metrics/duplicate_merging.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>

namespace {

// Two clouds whose every metric is worked out by hand, as pc_error defines it. Original a1
// (0,0,0) blue, a2 (3,0,0) white, with the normals (0,.6,.8) and (1,0,0) in the file; decoded
// b1 (0,1,0) white and b1' at the same place black, merged into one grey point (127, the
// integer mean), b2 (3,0,2) and b3 (3,0,-3) white.
//   D1 ab: a1-b1 1, a2-b2 4 -> 2.5;  ba: b1-a1 1, b2-a2 4, b3-a2 9 -> 14 / 3.
//   Hausdorff ab 2, ba 3.  Peak: the original spans 3 along x.  PSNR 10 log10(27 / (14 / 3)).
//   D2 on the original's normals carried to the decoded points: a1 gives (0,.6,.8) to b1, a2
//   gives (1,0,0) to b2, b3 takes its nearest original's (1,0,0). ab: a1 (0,-1,0).n = -.6,
//   a2 0 -> 0.36 / 2; ba on the original's own normals: b1 .6, b2 and b3 0 -> 0.36 / 3 (0.6
//   stored as a float). D2's Hausdorff distance is 0.6.
//   Colour: pc_error's Y' of blue 0.0722 and of grey 127 / 255 differ by 0.42584; the ab mean of
//   their square over two points is the larger, 0.090670 -> 10.4254 dB.
struct HandWorkedPair {
  ColorCloud original;
  ColorCloud decoded;
  CloudAttributes originalAttributes;
  CloudAttributes decodedAttributes;
};

HandWorkedPair handWorkedPair() {
  HandWorkedPair pair;
  pair.original = *cloudOf({colorPoint(0, 0, 0, 0, 0, 255), colorPoint(3, 0, 0, 255, 255, 255)});
  pair.decoded =
      *cloudOf({colorPoint(0, 1, 0, 255, 255, 255), colorPoint(0, 1, 0, 0, 0, 0),
                colorPoint(3, 0, 2, 255, 255, 255), colorPoint(3, 0, -3, 255, 255, 255)});
  pair.originalAttributes = {true, {{0.0f, 0.6f, 0.8f}, {1.0f, 0.0f, 0.0f}}};
  pair.decodedAttributes = {true, Normals(4, Eigen::Vector3f(0.0f, 0.0f, 1.0f))};
  return pair;
}

LoadedPoints loadedPoints(const ColorCloud& cloud, const CloudAttributes& attributes) {
  LoadedPoints loaded;
  loaded.points = toPointList(cloud);
  loaded.attributes = attributes;
  loaded.sensorOrigin = cloud.sensor_origin_;
  return loaded;
}

PairMetrics measure(const HandWorkedPair& pair, unsigned threads = 1) {
  const CloudComparison comparison =
      compareCloudsWithMetrics(loadedPoints(pair.original, pair.originalAttributes),
                               loadedPoints(pair.decoded, pair.decodedAttributes), threads);
  EXPECT_TRUE(comparison.metrics.has_value());
  return comparison.metrics.value_or(PairMetrics{});
}

std::string row(const std::string& file, const PairMetrics* metrics,
                std::optional<std::uint64_t> bytes, PeakOverride peak = std::nullopt) {
  std::ostringstream csv;
  writeMetricsRow(csv, file, metrics, bytes, peak);
  return csv.str();
}

// One point each, 2 apart, without colour: too few points for a normal, so D2 falls back to
// the whole distance; a single point spans no box, so there is no peak for a PSNR.
HandWorkedPair pointPair() {
  HandWorkedPair pair;
  pair.original = *cloudOf({colorPoint(0, 0, 0, 0, 0, 0)});
  pair.decoded = *cloudOf({colorPoint(0, 0, 2, 0, 0, 0)});
  return pair;
}

} // namespace

TEST(MetricsRow, HoldsTheHandWorkedValueOfEveryColumn) {
  std::ostringstream header;
  writeMetricsHeader(header);
  EXPECT_EQ(header.str(),
            "file,original_points,decoded_points,compressed_bytes,bpp,d1_mse_ab,d1_mse_ba,d1_mse,"
            "d1_psnr,peak,hausdorff_ab,hausdorff_ba,hausdorff,d2_mse_ab,d2_mse_ba,d2_mse,d2_psnr,"
            "y_psnr,cb_psnr,cr_psnr,original_unique_points,decoded_unique_points,hausdorff_psnr,"
            "d2_hausdorff,d2_hausdorff_psnr\n");
  const PairMetrics metrics = measure(handWorkedPair());
  EXPECT_EQ(row("pair.pcd", &metrics, 100),
            "pair.pcd,2,4,100,400,2.5,4.66666667,4.66666667,7.62356983,3,2,3,3,0.180000014,"
            "0.12000001,0.180000014,21.7609122,10.4253868,9.03089987,29.7929905,2,3,4.77121255,"
            "0.600000024,18.7506123\n");
  // --peak replaces the box's peak: 10 log10(3 * 10^2 / (14 / 3)).
  EXPECT_EQ(row("pair.pcd", &metrics, std::nullopt, 10.0),
            "pair.pcd,2,4,,,2.5,4.66666667,4.66666667,18.0811447,10,2,3,3,0.180000014,0.12000001,"
            "0.180000014,32.2184872,10.4253868,9.03089987,29.7929905,2,3,15.2287875,0.600000024,"
            "29.2081872\n");
  const PairMetrics point = measure(pointPair());
  EXPECT_EQ(row("point.pcd", &point, 5), "point.pcd,1,1,5,40,4,4,4,,0,2,2,2,4,4,4,,,,,1,1,,2,\n");
}

// File normals are directions: scaled by 1e30 or 1e-30, whose squares single precision cannot
// hold, they give the hand-worked D2, not D1.
TEST(MetricsRow, TakesFileNormalsOfAnyLengthAsDirections) {
  const PairMetrics unit = measure(handWorkedPair());
  for (float scale : {1e30f, 1e-30f}) {
    HandWorkedPair pair = handWorkedPair();
    for (Eigen::Vector3f& normal : pair.originalAttributes.normals)
      normal *= scale;
    const PairMetrics scaled = measure(pair);
    EXPECT_EQ(row("pair.pcd", &scaled, 100), row("pair.pcd", &unit, 100)) << scale;
  }
}

TEST(MetricsRow, IsTheSameOnEveryThreadCount) {
  const SeveralThreadsPerSearch severalThreads;
  const HandWorkedPair pair = handWorkedPair();
  const PairMetrics one = measure(pair, 1);
  const PairMetrics three = measure(pair, 3);
  EXPECT_EQ(row("a", &one, 1), row("a", &three, 1));
}

TEST(MetricsRow, LeavesWhatCannotBeMeasuredEmpty) {
  EXPECT_EQ(row("bad.pcd", nullptr, 7), "bad.pcd,,,7,,,,,,,,,,,,,,,,,,,,,\n");
  EXPECT_EQ(row("bad.pcd", nullptr, std::nullopt, 2.5), "bad.pcd,,,,,,,,,2.5,,,,,,,,,,,,,,,\n");
  // An empty decoded cloud: no original point has a neighbour, no decoded point to search.
  HandWorkedPair empty = pointPair();
  empty.decoded.clear();
  const PairMetrics metrics = measure(empty);
  EXPECT_EQ(row("empty.pcd", &metrics, 0), "empty.pcd,1,0,0,0,,,,,0,,,,,,,,,,,1,0,,,\n");
  // RFC 4180: a name with a comma or a quote is quoted, its quotes doubled.
  EXPECT_EQ(row("a,\"b\".pcd", nullptr, std::nullopt),
            "\"a,\"\"b\"\".pcd\",,,,,,,,,,,,,,,,,,,,,,,,\n");
}

TEST(MetricsTotals, PoolEveryMeasuredPoint) {
  // The hand-worked pair with 100 bytes and the point pair without a compressed file, over
  // their merged points: pooled D1 ab (5 + 4) / 3, ba (14 + 4) / 4; the peak is the largest;
  // D2 ab (0.36 + 4) / 3, ba (0.36 + 4) / 4; colours only from the pair that has them; bpp
  // from the pairs with both a size and points.
  MetricsTotals totals;
  const PairMetrics pair = measure(handWorkedPair());
  const PairMetrics point = measure(pointPair());
  addToTotals(totals, "pair.pcd", &pair, 100);
  addToTotals(totals, "point.pcd", &point, std::nullopt);
  // A pair without a finite point on either side adds its bytes, and nothing to bpp.
  HandWorkedPair hollow = pointPair();
  hollow.original.clear();
  hollow.decoded.clear();
  const PairMetrics none = measure(hollow);
  addToTotals(totals, "hollow.pcd", &none, 700);
  EXPECT_TRUE(totals.lost.empty());
  std::ostringstream csv;
  writeMetricsTotals(csv, totals, std::nullopt);
  EXPECT_EQ(csv.str(),
            "all,3,5,800,400,3,4.5,4.5,7.7815125,3,2,3,3,1.45333334,1.09000001,1.45333334,"
            "12.6899853,10.4253868,9.03089987,29.7929905,3,4,4.77121255,2,8.29303773\n");
  std::ostringstream empty;
  writeMetricsTotals(empty, MetricsTotals{}, std::nullopt);
  EXPECT_EQ(empty.str(), "all,0,0,0,,,,,,0,,,,,,,,,,,0,0,,,\n");
}

TEST(MetricsTotals, APairWithPointsOnOneSideOnlyLeavesTheDistortionEmpty) {
  const PairMetrics pair = measure(handWorkedPair());
  HandWorkedPair noDecoded = pointPair();
  noDecoded.decoded.clear();
  HandWorkedPair noOriginal = pointPair();
  noOriginal.original.clear();
  const PairMetrics lostDecoded = measure(noDecoded);
  const PairMetrics lostOriginal = measure(noOriginal);
  for (const PairMetrics* lost :
       {&lostDecoded, &lostOriginal, static_cast<const PairMetrics*>(nullptr)}) {
    MetricsTotals totals;
    addToTotals(totals, "pair.pcd", &pair, 100);
    addToTotals(totals, "lost.pcd", lost, 3);
    ASSERT_EQ(totals.lost.size(), 1u);
    EXPECT_EQ(totals.lost[0].file, "lost.pcd");
    std::ostringstream csv;
    writeMetricsTotals(csv, totals, std::nullopt);
    const std::string points = lost == &lostDecoded ? "3,4" : lost == &lostOriginal ? "2,5" : "2,4";
    const std::string bpp = lost == &lostDecoded ? "274.666667" : "400";
    const std::string unique = lost == &lostDecoded ? "3,3" : lost == &lostOriginal ? "2,4" : "2,3";
    EXPECT_EQ(csv.str(), "all," + points + ",103," + bpp + ",,,,,,,,,,,,,,,," + unique + ",,,\n");
    std::ostringstream withPeak;
    writeMetricsTotals(withPeak, totals, 7.0);
    EXPECT_EQ(withPeak.str(),
              "all," + points + ",103," + bpp + ",,,,,7,,,,,,,,,,," + unique + ",,,\n");
  }
  EXPECT_EQ(lostReason(&lostDecoded), "its decoded cloud has no finite point");
  EXPECT_EQ(lostReason(&lostOriginal), "its original has no finite point");
}

TEST(Psnr, NeitherOverflowsNorUnderflowsAtExtremePeaks) {
  // 10 log10(3 peak^2 / mse) in logarithms: 3e400 and 3e-340 are beyond a double.
  EXPECT_NEAR(*psnr(1e200, 1.0, 3.0), 4000.0 + 10.0 * std::log10(3.0), 1e-9);
  EXPECT_NEAR(*psnr(1e-170, 1.0, 3.0), -3400.0 + 10.0 * std::log10(3.0), 1e-9);
  EXPECT_NEAR(*psnr(255.0, 1e-320), 20.0 * std::log10(255.0) + 3200.0, 1e-3);
  EXPECT_EQ(*psnr(1e-300, 0.0, 3.0), std::numeric_limits<double>::infinity());
  EXPECT_FALSE(psnr(0.0, 1.0, 3.0).has_value());
  EXPECT_FALSE(psnr(1.0, std::nullopt).has_value());
}

TEST(CodecMetrics, EveryAxisCountsAndHausdorffIsRootedInDoublePrecision) {
  // The box spans 2 along z alone.
  EXPECT_EQ(boundingBoxPeak(toPointList(
                *cloudOf({colorPoint(0, 0, 0, 0, 0, 0), colorPoint(0, 0, 2, 0, 0, 0)}))),
            2.0);
  // sqrt(2) is 1.41421356 in double precision, 1.41421354 in single.
  HandWorkedPair pair;
  pair.original = *cloudOf({colorPoint(0, 0, 0, 0, 0, 0)});
  pair.decoded = *cloudOf({colorPoint(1, 1, 0, 0, 0, 0)});
  EXPECT_EQ(*hausdorffDistance(measure(pair).originalToDecoded), std::sqrt(2.0));
}

TEST(MetricsRow, QuotesNamesWithLineBreaks) {
  EXPECT_EQ(csvField("a\nb.pcd"), "\"a\nb.pcd\"");
  EXPECT_EQ(csvField("a\rb.pcd"), "\"a\rb.pcd\"");
  EXPECT_EQ(csvField("a b.pcd"), "a b.pcd");
}

TEST(MetricPointError, MatchesEachNeighbourWithinTheThresholdOfTheOneBefore) {
  // From the origin: a red point 1e-3 away, a green one whose squared distance is less than
  // 1e-8 beyond it, and a blue one more than 1e-8 beyond the green one.
  const PointList reference = toPointList(
      *cloudOf({colorPoint(0.001f, 0, 0, 255, 0, 0), colorPoint(0.0010049f, 0, 0, 0, 255, 0),
                colorPoint(0.0010101f, 0, 0, 0, 0, 255)}));
  const ColorPoint query{{0, 0, 0}, 128, 128, 0};
  const double d0 = squaredDistanceOf(query, reference[0]);
  const double d1 = squaredDistanceOf(query, reference[1]);
  const double d2 = squaredDistanceOf(query, reference[2]);
  ASSERT_LT(d1 - d0, kSimilarSquaredDistance);
  ASSERT_GT(d2 - d1, kSimilarSquaredDistance);
  const Normals normals = {{0, 0, 1}, {std::nanf(""), 0, 0}, {0, 0, 1}};
  const MetricPointError error = metricPointError(query, reference, normals, {2, 0, 1});
  EXPECT_EQ(error.squaredDistance, d0);
  // The red and the green point average to (128, 128, 0) (127.5 rounds up): no colour error.
  EXPECT_EQ(error.squaredColorDifferences, (std::array<double, 3>{0, 0, 0}));
  // The red point's normal is across the error: 0; the green one has none: its squared distance.
  EXPECT_EQ(error.squaredPlaneDistance, d1 / 2);
}

// A file normal of (0,0,0) is no plane: the point's error is its whole squared distance, not
// a projection of 0 that would read as a perfect D2.
TEST(MetricPointError, TakesTheWholeDistanceAtAZeroNormal) {
  const PointList reference = toPointList(*cloudOf({colorPoint(0, 0, 0, 0, 0, 0)}));
  const ColorPoint query{{0, 0, 2}, 0, 0, 0};
  for (const Eigen::Vector3f& normal :
       {Eigen::Vector3f(0, 0, 0), Eigen::Vector3f(-0.0f, 0.0f, -0.0f)}) {
    const MetricPointError error = metricPointError(query, reference, Normals{normal}, {0});
    EXPECT_EQ(error.squaredDistance, 4.0);
    EXPECT_EQ(error.squaredPlaneDistance, 4.0);
  }
  EXPECT_EQ(metricPointError(query, reference, Normals{{0, 0, 1}}, {0}).squaredPlaneDistance, 4.0);
  EXPECT_EQ(metricPointError(query, reference, Normals{{1, 0, 0}}, {0}).squaredPlaneDistance, 0.0);
}

// pc_error looks at 10 neighbours, 5 more while the last is as near as the first, up to 30.
// The 48 integer points at squared distance 17 from the origin all tie; only the white one
// among them, placed at the k-th place of the list, tells whether it was matched.
TEST(MetricPointError, MatchesTiesUpToThirtyAndNoMore) {
  ColorCloud cloud;
  for (int x = -4; x <= 4; ++x)
    for (int y = -4; y <= 4; ++y)
      for (int z = -4; z <= 4; ++z)
        if (x * x + y * y + z * z == 17)
          cloud.push_back(colorPoint(static_cast<float>(x), static_cast<float>(y),
                                     static_cast<float>(z), 0, 0, 0));
  ASSERT_EQ(cloud.size(), 48u);
  const ColorPoint query{{0, 0, 0}, 0, 0, 0};
  const auto luma = [&](std::size_t ties, std::size_t white) {
    ColorCloud colored = cloud;
    colored[white].r = colored[white].g = colored[white].b = 255;
    // Past the ties, points a little farther away: never matched.
    for (std::size_t i = ties; i < colored.size(); ++i)
      colored[i].getVector3fMap() *= 1.5f;
    pcl::Indices nearby(colored.size());
    for (std::size_t i = 0; i < nearby.size(); ++i)
      nearby[i] = static_cast<int>(i);
    const PointList reference = toPointList(colored);
    return metricPointError(query, reference, Normals(reference.size(), Eigen::Vector3f::Zero()),
                            nearby)
        .squaredColorDifferences[0];
  };
  // 26 ties: 10, 15, 20, 25 and 30 looked at, 26 matched; the white 26th (255 / 26 -> 10).
  EXPECT_GT(luma(26, 25), 0.0);
  // 31 ties: 30 matched at the most; a white 31st is never seen, a white 30th is.
  EXPECT_EQ(luma(31, 30), 0.0);
  EXPECT_GT(luma(31, 29), 0.0);
  // 9 ties: the 10 nearest are looked at and the 9 tied ones matched; the 10th is farther.
  EXPECT_GT(luma(9, 8), 0.0);
  EXPECT_EQ(luma(9, 9), 0.0);
}

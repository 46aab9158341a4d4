#include "evaluation/metrics_report.h"
#include "metrics/cloud_comparison.h"
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
  pair.originalAttributes = {true, {{0.0f, 0.6f, 0.8f}, {1.0f, 0.0f, 0.0f}}, {}, ""};
  pair.decodedAttributes = {true, Normals(4, Eigen::Vector3f(0.0f, 0.0f, 1.0f)), {}, ""};
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
                std::optional<CompressedSize> compressed, PeakOverride peak = std::nullopt) {
  std::ostringstream csv;
  writeMetricsRow(csv, file, metrics, compressed, peak);
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

// The colour columns of the hand-worked pair. Y' MSE ab (0.42584^2 + 0) / 2, ba 0.42584^2 / 3;
// Cb: blue's 1.0 against grey's 0.5, 0.25 / 2 and / 3. The largest R, G and B differences are
// blue's against grey's: 127, 127 and 128, PSNR 10 log10(255^2 / 127^2) = 6.0547 dB.
const std::string kColourColumns =
    ",0.0906695202,0.0604463468,0.0906695202,0.125,0.0833333333,0.125,0.00104881998,"
    "0.000699213318,0.00104881998,10.4253868,12.1862994,9.03089987,10.7918125,29.7929905,"
    "31.5539031,127,127,128,6.05472919,6.05472919,5.98660422,,,,,,";
// The same columns where nothing was measured, or without colour; then no geometry_bpp and
// colour_bpp, for want of the compressed file's parts, and no reflectance.
const std::string kNone(27, ',');

} // namespace

TEST(MetricsRow, HoldsTheHandWorkedValueOfEveryColumn) {
  std::ostringstream header;
  writeMetricsHeader(header);
  EXPECT_EQ(header.str(),
            "file,original_points,decoded_points,compressed_bytes,bpp,d1_mse_ab,d1_mse_ba,d1_mse,"
            "d1_psnr,peak,hausdorff_ab,hausdorff_ba,hausdorff,d2_mse_ab,d2_mse_ba,d2_mse,d2_psnr,"
            "y_psnr,cb_psnr,cr_psnr,original_unique_points,decoded_unique_points,hausdorff_psnr,"
            "d2_hausdorff,d2_hausdorff_psnr,y_mse_ab,y_mse_ba,y_mse,cb_mse_ab,cb_mse_ba,cb_mse,"
            "cr_mse_ab,cr_mse_ba,cr_mse,y_psnr_ab,y_psnr_ba,cb_psnr_ab,cb_psnr_ba,cr_psnr_ab,"
            "cr_psnr_ba,red_hausdorff,green_hausdorff,blue_hausdorff,red_hausdorff_psnr,"
            "green_hausdorff_psnr,blue_hausdorff_psnr,geometry_bpp,colour_bpp,reflectance_mse,"
            "reflectance_psnr,reflectance_hausdorff,reflectance_hausdorff_psnr\n");
  const PairMetrics metrics = measure(handWorkedPair());
  EXPECT_EQ(row("pair.pcd", &metrics, CompressedSize{100, std::nullopt}),
            "pair.pcd,2,4,100,400,2.5,4.66666667,4.66666667,7.62356983,3,2,3,3,0.180000014,"
            "0.12000001,0.180000014,21.7609122,10.4253868,9.03089987,29.7929905,2,3,4.77121255,"
            "0.600000024,18.7506123" +
                kColourColumns + "\n");
  // --peak replaces the box's peak: 10 log10(3 * 10^2 / (14 / 3)).
  EXPECT_EQ(row("pair.pcd", &metrics, std::nullopt, 10.0),
            "pair.pcd,2,4,,,2.5,4.66666667,4.66666667,18.0811447,10,2,3,3,0.180000014,0.12000001,"
            "0.180000014,32.2184872,10.4253868,9.03089987,29.7929905,2,3,15.2287875,0.600000024,"
            "29.2081872" +
                kColourColumns + "\n");
  const PairMetrics point = measure(pointPair());
  EXPECT_EQ(row("point.pcd", &point, CompressedSize{5, std::nullopt}),
            "point.pcd,1,1,5,40,4,4,4,,0,2,2,2,4,4,4,,,,,1,1,,2," + kNone + "\n");
}

// File normals are directions: scaled by 1e30 or 1e-30, whose squares single precision cannot
// hold, they give the hand-worked D2, not D1.
// The bits of geometry and colour over the original's points, where the codec counted them; the
// dataset's only when every pair with a compressed file and points has them.
TEST(MetricsRow, GivesTheRateOfGeometryAndColourWhereKnown) {
  const PairMetrics metrics = measure(handWorkedPair());
  const std::string split = row("pair.pcd", &metrics, CompressedSize{100, 40});
  EXPECT_EQ(split.substr(split.size() - 13), ",240,160,,,,\n") << split;
  EXPECT_EQ(
      split.substr(0, split.size() - 13),
      row("pair.pcd", &metrics, CompressedSize{100, std::nullopt}).substr(0, split.size() - 13));
  const std::string lossless = row("pair.pcd", &metrics, CompressedSize{100, 0});
  EXPECT_EQ(lossless.substr(lossless.size() - 11), ",400,0,,,,\n") << lossless;
  MetricsTotals totals;
  addToTotals(totals, "a.pcd", &metrics, CompressedSize{100, 40});
  addToTotals(totals, "b.pcd", &metrics, CompressedSize{50, 0});
  // A pair without a compressed file costs no bits and adds no points.
  addToTotals(totals, "c.pcd", &metrics, std::nullopt);
  std::ostringstream csv;
  writeMetricsTotals(csv, totals, std::nullopt);
  EXPECT_EQ(csv.str().substr(csv.str().size() - 12), ",220,80,,,,\n") << csv.str();
  addToTotals(totals, "d.pcd", &metrics, CompressedSize{10, std::nullopt});
  std::ostringstream unknown;
  writeMetricsTotals(unknown, totals, std::nullopt);
  EXPECT_EQ(unknown.str().substr(unknown.str().size() - 7), ",,,,,,\n") << unknown.str();
}

TEST(MetricsRow, TakesFileNormalsOfAnyLengthAsDirections) {
  const PairMetrics unit = measure(handWorkedPair());
  for (float scale : {1e30f, 1e-30f}) {
    HandWorkedPair pair = handWorkedPair();
    for (Eigen::Vector3f& normal : pair.originalAttributes.normals)
      normal *= scale;
    const PairMetrics scaled = measure(pair);
    EXPECT_EQ(row("pair.pcd", &scaled, CompressedSize{100, std::nullopt}),
              row("pair.pcd", &unit, CompressedSize{100, std::nullopt}))
        << scale;
  }
}

TEST(MetricsRow, IsTheSameOnEveryThreadCount) {
  const SeveralThreadsPerSearch severalThreads;
  const HandWorkedPair pair = handWorkedPair();
  const PairMetrics one = measure(pair, 1);
  const PairMetrics three = measure(pair, 3);
  EXPECT_EQ(row("a", &one, CompressedSize{1, std::nullopt}),
            row("a", &three, CompressedSize{1, std::nullopt}));
}

TEST(MetricsRow, LeavesWhatCannotBeMeasuredEmpty) {
  EXPECT_EQ(row("bad.pcd", nullptr, CompressedSize{7, std::nullopt}),
            "bad.pcd,,,7,,,,,,,,,,,,,,,,,,,,," + kNone + "\n");
  EXPECT_EQ(row("bad.pcd", nullptr, std::nullopt, 2.5),
            "bad.pcd,,,,,,,,,2.5,,,,,,,,,,,,,,," + kNone + "\n");
  // An empty decoded cloud: no original point has a neighbour, no decoded point to search.
  HandWorkedPair empty = pointPair();
  empty.decoded.clear();
  const PairMetrics metrics = measure(empty);
  EXPECT_EQ(row("empty.pcd", &metrics, CompressedSize{0, std::nullopt}),
            "empty.pcd,1,0,0,0,,,,,0,,,,,,,,,,,1,0,,," + kNone + "\n");
  // RFC 4180: a name with a comma or a quote is quoted, its quotes doubled.
  EXPECT_EQ(row("a,\"b\".pcd", nullptr, std::nullopt),
            "\"a,\"\"b\"\".pcd\",,,,,,,,,,,,,,,,,,,,,,,," + kNone + "\n");
}

TEST(MetricsTotals, PoolEveryMeasuredPoint) {
  // The hand-worked pair with 100 bytes and the point pair without a compressed file, over
  // their merged points: pooled D1 ab (5 + 4) / 3, ba (14 + 4) / 4; the peak is the largest;
  // D2 ab (0.36 + 4) / 3, ba (0.36 + 4) / 4; colours only from the pair that has them; bpp
  // from the pairs with both a size and points.
  MetricsTotals totals;
  const PairMetrics pair = measure(handWorkedPair());
  const PairMetrics point = measure(pointPair());
  addToTotals(totals, "pair.pcd", &pair, CompressedSize{100, std::nullopt});
  addToTotals(totals, "point.pcd", &point, std::nullopt);
  // A pair without a finite point on either side adds its bytes, and nothing to bpp.
  HandWorkedPair hollow = pointPair();
  hollow.original.clear();
  hollow.decoded.clear();
  const PairMetrics none = measure(hollow);
  addToTotals(totals, "hollow.pcd", &none, CompressedSize{700, std::nullopt});
  EXPECT_TRUE(totals.lost.empty());
  std::ostringstream csv;
  writeMetricsTotals(csv, totals, std::nullopt);
  EXPECT_EQ(csv.str(),
            "all,3,5,800,400,3,4.5,4.5,7.7815125,3,2,3,3,1.45333334,1.09000001,1.45333334,"
            "12.6899853,10.4253868,9.03089987,29.7929905,3,4,4.77121255,2,8.29303773" +
                kColourColumns + "\n");
  std::ostringstream empty;
  writeMetricsTotals(empty, MetricsTotals{}, std::nullopt);
  EXPECT_EQ(empty.str(), "all,0,0,0,,,,,,0,,,,,,,,,,,0,0,,," + kNone + "\n");
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
    addToTotals(totals, "pair.pcd", &pair, CompressedSize{100, std::nullopt});
    addToTotals(totals, "lost.pcd", lost, CompressedSize{3, std::nullopt});
    ASSERT_EQ(totals.lost.size(), 1u);
    EXPECT_EQ(totals.lost[0].file, "lost.pcd");
    std::ostringstream csv;
    writeMetricsTotals(csv, totals, std::nullopt);
    const std::string points = lost == &lostDecoded ? "3,4" : lost == &lostOriginal ? "2,5" : "2,4";
    const std::string bpp = lost == &lostDecoded ? "274.666667" : "400";
    const std::string unique = lost == &lostDecoded ? "3,3" : lost == &lostOriginal ? "2,4" : "2,3";
    EXPECT_EQ(csv.str(),
              "all," + points + ",103," + bpp + ",,,,,,,,,,,,,,,," + unique + ",,," + kNone + "\n");
    std::ostringstream withPeak;
    writeMetricsTotals(withPeak, totals, 7.0);
    EXPECT_EQ(withPeak.str(), "all," + points + ",103," + bpp + ",,,,,7,,,,,,,,,,," + unique +
                                  ",,," + kNone + "\n");
  }
  EXPECT_EQ(lostReason(&lostDecoded), "its decoded cloud has no finite point");
  EXPECT_EQ(lostReason(&lostOriginal), "its original has no finite point");
}

// Reflectance, where both clouds have it: two points at their places, reflectance 100 and 200
// against 100 and 260. MSE 60^2 / 2 = 1800 both ways, PSNR 10 log10(65535^2 / 1800); the
// Hausdorff distance 60, PSNR 10 log10(65535^2 / 3600). Without --lidar's option, or without
// reflectance on one side, the four columns stay empty.
TEST(MetricsRow, GivesTheReflectanceWhereBothCloudsHaveIt) {
  LoadedPoints original, decoded;
  original.points =
      toPointList(*cloudOf({colorPoint(0, 0, 0, 0, 0, 0), colorPoint(2, 0, 0, 0, 0, 0)}));
  decoded.points = original.points;
  original.attributes.reflectance = {100, 200};
  decoded.attributes.reflectance = {100, 260};
  MetricsSettings settings;
  settings.options.reflectance = true;
  const auto rowOf = [](const CloudComparison& comparison) {
    const std::string text = row("r.pcd", &*comparison.metrics, std::nullopt);
    std::size_t start = text.size() - 1;
    for (int commas = 0; commas < 4; --start)
      commas += text[start - 1] == ',';
    return text.substr(start);
  };
  EXPECT_EQ(rowOf(compareCloudsWithMetrics(original, decoded, 1, settings)),
            ",1800,63.776741,60,60.7664411\n");
  EXPECT_EQ(rowOf(compareCloudsWithMetrics(original, decoded, 1)), ",,,,\n");
  decoded.attributes.reflectance.clear();
  EXPECT_EQ(rowOf(compareCloudsWithMetrics(original, decoded, 1, settings)), ",,,,\n");
}

#include "metrics/cloud_comparison.h"
#include "metrics/codec_metrics.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

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
  const CloudComparison comparison = compareCloudsWithMetrics(
      LoadedPoints{toPointList(*cloudOf({colorPoint(0, 0, 0, 0, 0, 0)})), {}, {}, ""},
      LoadedPoints{toPointList(*cloudOf({colorPoint(1, 1, 0, 0, 0, 0)})), {}, {}, ""}, 1);
  ASSERT_TRUE(comparison.metrics);
  EXPECT_EQ(*hausdorffDistance(comparison.metrics->originalToDecoded), std::sqrt(2.0));
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

// The colour compared among three tied neighbours, by --neighborsProc: from the origin in grey
// (100, 100, 100), the reds 90 (3 duplicates merged into it), 200 and 100.
TEST(MetricPointError, ComparesTheColourThatEachNeighbourRuleChooses) {
  const PointList reference =
      toPointList(*cloudOf({colorPoint(1, 0, 0, 90, 100, 100), colorPoint(0, 1, 0, 200, 100, 100),
                            colorPoint(0, 0, 1, 100, 100, 100)}));
  const ColorPoint query{{0, 0, 0}, 100, 100, 100};
  const Normals normals(3, Eigen::Vector3f::Zero());
  const std::uint32_t duplicates[3] = {3, 1, 1};
  const auto redError = [&](TiedColors rule) {
    MetricOptions options;
    options.tiedColors = rule;
    return metricPointError(query, reference, normals, {0, 1, 2}, options, duplicates)
        .squaredRgbDifferences[0];
  };
  EXPECT_EQ(redError(TiedColors::Nearest), 100.0);         // 90, the first found
  EXPECT_EQ(redError(TiedColors::Average), 900.0);         // 390 / 3 = 130
  EXPECT_EQ(redError(TiedColors::WeightedAverage), 196.0); // 570 / 5 = 114
  EXPECT_EQ(redError(TiedColors::Closest), 0.0);           // 100
  EXPECT_EQ(redError(TiedColors::Farthest), 10000.0);      // 200
  // Every tied colour equals the query's: the farthest is the first, never a point elsewhere.
  const PointList grey = toPointList(
      *cloudOf({colorPoint(1, 0, 0, 100, 100, 100), colorPoint(0, 1, 0, 100, 100, 100)}));
  MetricOptions farthest;
  farthest.tiedColors = TiedColors::Farthest;
  EXPECT_EQ(metricPointError(query, grey, Normals(2, Eigen::Vector3f::Zero()), {0, 1}, farthest)
                .squaredColorDifferences,
            (std::array<double, 3>{0, 0, 0}));
}

TEST(ToColorSpace, ConvertsAsPcErrorDoes) {
  // YCgCo-R's lifting: Co = 255, t = 127, Cg = -127, Y = 127 + (-127 >> 1) = 63; Co and Cg + 256.
  EXPECT_EQ(toColorSpace(ColorSpace::YCgCoR, 255, 0, 0), (std::array<float, 3>{63, 511, 129}));
  EXPECT_EQ(toColorSpace(ColorSpace::YCgCoR, 0, 0, 0), (std::array<float, 3>{0, 256, 256}));
  EXPECT_EQ(toColorSpace(ColorSpace::Rgb, 1, 2, 3), (std::array<float, 3>{1, 2, 3}));
  EXPECT_EQ(toColorSpace(ColorSpace::Bt709, 255, 255, 255), toYCbCr(255, 255, 255));
  EXPECT_EQ(colorPeaks(ColorSpace::YCgCoR), (std::array<double, 3>{255, 511, 511}));
  EXPECT_EQ(colorPeaks(ColorSpace::Rgb), (std::array<double, 3>{255, 255, 255}));
  EXPECT_EQ(colorPeaks(ColorSpace::Bt709), (std::array<double, 3>{1, 1, 1}));
}

// --averageNormals=0: D2 projects on the nearest's normal alone.
TEST(MetricPointError, ProjectsOnTheNearestNormalAloneWithoutAveraging) {
  const PointList reference =
      toPointList(*cloudOf({colorPoint(0, 0, 1, 0, 0, 0), colorPoint(0, 0, -1, 0, 0, 0)}));
  const ColorPoint query{{0, 0, 0}, 0, 0, 0};
  const Normals normals = {{0, 0, 1}, {1, 0, 0}};
  EXPECT_EQ(metricPointError(query, reference, normals, {0, 1}).squaredPlaneDistance, 0.5);
  MetricOptions nearestOnly;
  nearestOnly.averageNormals = false;
  EXPECT_EQ(metricPointError(query, reference, normals, {0, 1}, nearestOnly).squaredPlaneDistance,
            1.0);
}

#include "metrics/cloud_comparison.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>

namespace {

Rgb rgbOf(const pcl::PointXYZRGBA& point) {
  return Rgb{point.r, point.g, point.b};
}

// The statistics of a plain loop: every query point against every reference point, summed in
// storage order. The clouds have no ties, so the nearest point is unique.
CloudErrorStats bruteForceStats(const ColorCloud& query, const ColorCloud& reference) {
  ErrorSums sums;
  for (const auto& point : query) {
    float best = std::numeric_limits<float>::infinity();
    const pcl::PointXYZRGBA* nearest = nullptr;
    for (const auto& candidate : reference) {
      float squared = 0.0f;
      for (int axis = 0; axis < 3; ++axis) {
        const float difference = point.data[axis] - candidate.data[axis];
        squared += difference * difference;
      }
      if (squared < best) {
        best = squared;
        nearest = &candidate;
      }
    }
    if (nearest != nullptr)
      addPointErrors(sums, std::sqrt(best), colorError(rgbOf(point), rgbOf(*nearest)));
  }
  return summarizeErrors(sums, query.size());
}

// Bit for bit, so that the sign of a NaN counts too.
std::uint32_t bitsOf(float value) {
  std::uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

void expectSameStats(const CloudErrorStats& got, const CloudErrorStats& want) {
  EXPECT_EQ(bitsOf(got.meanDistance), bitsOf(want.meanDistance)) << got.meanDistance;
  EXPECT_EQ(bitsOf(got.meanColor), bitsOf(want.meanColor)) << got.meanColor;
  EXPECT_EQ(bitsOf(got.varianceDistance), bitsOf(want.varianceDistance)) << got.varianceDistance;
  EXPECT_EQ(bitsOf(got.varianceColor), bitsOf(want.varianceColor)) << got.varianceColor;
}

// A grid of points and its copy shifted by about 0.3: nearly equal errors, so the variance
// is a small difference of large sums and changes with the order in which they are taken.
std::pair<ColorCloud::Ptr, ColorCloud::Ptr> shiftedGrid(int count, bool shuffled) {
  auto reference = std::make_shared<ColorCloud>();
  auto query = std::make_shared<ColorCloud>();
  const int side = static_cast<int>(std::ceil(std::sqrt(count)));
  std::mt19937 random(static_cast<unsigned>(count));
  std::uniform_real_distribution<float> jitter(0.0f, 1e-4f);
  for (int i = 0; i < count; ++i) {
    const float x = static_cast<float>(i % side), y = static_cast<float>(i / side);
    reference->push_back(colorPoint(x, y, 0, static_cast<std::uint8_t>(i), 3, 9));
    query->push_back(colorPoint(x + jitter(random), y + jitter(random), 0.3f + jitter(random),
                                static_cast<std::uint8_t>(i * 7), 3, 1));
  }
  if (shuffled)
    std::shuffle(query->begin(), query->end(), random);
  return {query, reference};
}

} // namespace

TEST(CompareClouds, GivesTheStatisticsOfAPlainLoopAtEverySizeAndThreadCount) {
  for (int count : {0, 1, 2, 37, 3000, 15000})
    for (bool shuffled : {false, true}) {
      SCOPED_TRACE(std::to_string(count) + (shuffled ? " shuffled" : " grid"));
      const auto [query, reference] = shiftedGrid(count, shuffled);
      const CloudErrorStats want = bruteForceStats(*query, *reference);
      for (unsigned threads : {1u, 2u, 5u}) {
        const CloudComparison got =
            compareClouds(toPointList(*query), toPointList(*reference), threads);
        expectSameStats(got.stats, want);
        EXPECT_EQ(got.unmatchedPoints, 0u);
      }
    }
}

TEST(CompareClouds, MeasuresFromTheQueryCloudOnly) {
  auto query = cloudOf({colorPoint(0, 0, 0, 10, 10, 10), colorPoint(4, 0, 0, 10, 10, 10)});
  auto reference = cloudOf({colorPoint(0, 0, 0, 10, 10, 10), colorPoint(4, 0, 3, 10, 10, 10),
                            colorPoint(100, 100, 100, 0, 0, 0)});
  expectSameStats(compareClouds(toPointList(*query), toPointList(*reference), 1).stats,
                  CloudErrorStats{1.5f, 0.0f, 2.25f, 0.0f});
}

TEST(CompareClouds, CountsEverySearchInAnEmptyReferenceAsUnmatched) {
  const CloudComparison comparison = compareClouds(toPointList(*randomCloud(3, 1)), PointList(), 1);
  EXPECT_EQ(comparison.unmatchedPoints, 3u);
  EXPECT_TRUE(std::isnan(comparison.stats.meanDistance));
  EXPECT_FALSE(comparison.problem);
}

TEST(LoadAndCompare, ComparesTheOriginalAgainstTheDecodedCloud) {
  TempDirectory directory;
  const auto original = (directory.path / "original.pcd").string();
  const auto decoded = (directory.path / "decoded.pcd").string();
  writeCloud(original, *cloudOf({colorPoint(0, 0, 0, 200, 100, 50)}), PcdStorage::Ascii);
  writeCloud(decoded, *cloudOf({colorPoint(1, 1, 0, 190, 104, 47), colorPoint(9, 9, 9, 0, 0, 0)}),
             PcdStorage::BinaryCompressed);
  const CloudComparison comparison = loadAndCompare(original, decoded, 2);
  EXPECT_FALSE(comparison.problem);
  expectSameStats(comparison.stats, CloudErrorStats{1.41421354f, 11.1803398f, 0.0f, 0.0f});
}

TEST(LoadAndCompare, NamesTheFirstFileThatCannotBeLoaded) {
  TempDirectory directory;
  const std::string good = samplePath("milk_color.pcd");
  const std::string missing = (directory.path / "missing.pcd").string();
  const std::string alsoMissing = (directory.path / "also-missing.pcd").string();
  for (const auto& [first, second, failing] :
       {std::tuple{missing, good, missing}, std::tuple{good, missing, missing},
        std::tuple{missing, alsoMissing, missing}}) {
    const CloudComparison comparison = loadAndCompare(first, second, 1);
    ASSERT_TRUE(comparison.problem);
    EXPECT_EQ(comparison.problem->path, failing);
    EXPECT_EQ(comparison.problem->reason, "cannot be read: No such file or directory");
    EXPECT_TRUE(comparison.problem->loading);
    EXPECT_TRUE(std::isnan(comparison.stats.meanDistance));
  }
}

// Points whose squared distance single precision cannot hold: a pair 1e-25 across, decoded
// 3e-27 off, must not read as a perfect reconstruction; at its own position, or at a scale that
// squares, it is measured.
TEST(CompareClouds, RefusesPointsTooCloseToSquareButMeasuresTinyIdenticalOnes) {
  const PointList tiny =
      toPointList(*cloudOf({colorPoint(0, 0, 0, 0, 0, 0), colorPoint(1e-25f, 0, 0, 0, 0, 0),
                            colorPoint(0, 1e-25f, 0, 0, 0, 0)}));
  PointList shifted = tiny;
  for (ColorPoint& point : shifted)
    point.position[2] += 3e-27f;
  for (unsigned threads : {1u, 2u}) {
    for (const CloudComparison& comparison :
         {compareClouds(tiny, shifted, threads),
          compareCloudsWithMetrics(LoadedPoints{tiny, {}, {}, ""},
                                   LoadedPoints{shifted, {}, {}, ""}, threads)}) {
      ASSERT_TRUE(comparison.problem);
      EXPECT_EQ(comparison.problem->reason,
                "point 0 (0 0 0) and its nearest neighbour lie too close together to measure: "
                "their squared distance underflows single precision");
      EXPECT_FALSE(comparison.problem->loading);
      EXPECT_TRUE(std::isnan(comparison.stats.meanDistance));
      EXPECT_FALSE(comparison.metrics);
    }
    // A tiny cloud whose points square against itself is measured: every distance is 0.
    const PointList small =
        toPointList(*cloudOf({colorPoint(0, 0, 0, 0, 0, 0), colorPoint(5e-16f, 0, 0, 0, 0, 0),
                              colorPoint(0, 5e-16f, 0, 0, 0, 0)}));
    const CloudComparison identical = compareClouds(small, small, threads);
    EXPECT_FALSE(identical.problem);
    EXPECT_EQ(identical.stats.meanDistance, 0.0f);
    // 2e-19 apart squares to 4e-38, above the smallest normal float (1.18e-38); 1e-19 does not.
    const PointList origin = toPointList(*cloudOf({colorPoint(0, 0, 0, 0, 0, 0)}));
    EXPECT_TRUE(
        compareClouds(origin, toPointList(*cloudOf({colorPoint(1e-19f, 0, 0, 0, 0, 0)})), threads)
            .problem);
    const CloudComparison measured =
        compareClouds(origin, toPointList(*cloudOf({colorPoint(2e-19f, 0, 0, 0, 0, 0)})), threads);
    EXPECT_FALSE(measured.problem);
    EXPECT_FLOAT_EQ(measured.stats.meanDistance, 2e-19f);
  }
}

TEST(ScaleToUnitLength, ScalesEveryFiniteNonZeroNormalAndLeavesTheOthers) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  struct Case {
    Eigen::Vector3f normal;
    Eigen::Vector3f scaled;
  };
  for (const Case& c : std::vector<Case>{
           {{0.0f, 3.0f, 4.0f}, {0.0f, 0.6f, 0.8f}},
           // Squared, these overflow or underflow single precision.
           {{1e30f, 0.0f, 0.0f}, {1.0f, 0.0f, 0.0f}},
           {{0.0f, -3e30f, 4e30f}, {0.0f, -0.6f, 0.8f}},
           {{1e-40f, 0.0f, 0.0f}, {1.0f, 0.0f, 0.0f}},
           {{0.0f, 3e-21f, -4e-21f}, {0.0f, 0.6f, -0.8f}},
           // Zero, of either sign, and non-finite normals are no planes and stay as they are.
           {{0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 0.0f}},
           {{-0.0f, 0.0f, -0.0f}, {-0.0f, 0.0f, -0.0f}},
           {{inf, 0.0f, 0.0f}, {inf, 0.0f, 0.0f}}}) {
    Eigen::Vector3f normal = c.normal;
    scaleToUnitLength(normal);
    EXPECT_TRUE(normal.isApprox(c.scaled, 1e-6f) || normal == c.scaled)
        << c.normal.transpose() << " -> " << normal.transpose();
  }
  Eigen::Vector3f notANormal(nan, 1.0f, 0.0f);
  scaleToUnitLength(notANormal);
  EXPECT_TRUE(std::isnan(notANormal[0]));
  EXPECT_EQ(notANormal[1], 1.0f);
}

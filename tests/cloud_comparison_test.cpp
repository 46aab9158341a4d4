#include "cloud_comparison.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

namespace {

const std::string kNoNeighbour = "error no punto cercano encontrado\n";

void expectAllNaN(const CloudErrorStats& stats) {
  EXPECT_TRUE(std::isnan(stats.meanDistance));
  EXPECT_TRUE(std::isnan(stats.meanColor));
  EXPECT_TRUE(std::isnan(stats.varianceDistance));
  EXPECT_TRUE(std::isnan(stats.varianceColor));
}

} // namespace

TEST(ColorError, IsTheEuclideanDistanceOfTheRgbChannels) {
  EXPECT_EQ(colorError(colorPoint(0, 0, 0, 200, 100, 50), colorPoint(0, 0, 0, 190, 104, 47)),
            11.1803398f);
  EXPECT_EQ(colorError(colorPoint(0, 0, 0, 255, 255, 255), colorPoint(0, 0, 0, 0, 0, 0)),
            441.672943f);
  EXPECT_EQ(colorError(colorPoint(0, 0, 0, 0, 0, 0), colorPoint(0, 0, 0, 255, 255, 255)),
            441.672943f);
  pcl::PointXYZRGBA otherAlpha = colorPoint(0, 0, 0, 10, 20, 30);
  otherAlpha.a = 0;
  EXPECT_EQ(colorError(colorPoint(0, 0, 0, 10, 20, 30), otherAlpha), 0.0f);
}

TEST(ErrorSums, SquareTheSinglePrecisionDistanceNotTheSquaredDistance) {
  ErrorSums sums;
  addPointErrors(sums, std::sqrt(2.0f), 0.0f);
  EXPECT_EQ(static_cast<float>(sums.distance), 1.41421354f);
  EXPECT_EQ(sums.distanceSquared, 1.9999999315429164);
  EXPECT_EQ(sums.matchedPoints, 1u);
}

TEST(ErrorSums, UnmatchedPointsStayInTheDivisor) {
  ErrorSums sums;
  addPointErrors(sums, 1.0f, 0.0f);
  addPointErrors(sums, 2.0f, 3.0f);
  addPointErrors(sums, 3.0f, 4.0f);
  const CloudErrorStats stats = summarizeErrors(sums, 4);
  EXPECT_EQ(stats.meanDistance, 1.5f);
  EXPECT_EQ(stats.meanColor, 1.75f);
  EXPECT_EQ(stats.varianceDistance, 1.25f);
  EXPECT_EQ(stats.varianceColor, 3.1875f);
  EXPECT_TRUE(stats.cloudsLoaded);
}

TEST(ErrorSums, NoMatchedPointGivesNaNAndNoPointGivesNaN) {
  expectAllNaN(summarizeErrors(ErrorSums{}, 3));
  expectAllNaN(summarizeErrors(ErrorSums{}, 0));
}

TEST(CompareClouds, IdenticalCloudsGiveExactZeros) {
  auto cloud = randomCloud(500, 7);
  CaptureStdout();
  const CloudErrorStats stats = compareClouds(cloud, cloud);
  EXPECT_EQ(GetCapturedStdout(), "\n");
  EXPECT_EQ(stats.meanDistance, 0.0f);
  EXPECT_EQ(stats.meanColor, 0.0f);
  EXPECT_EQ(stats.varianceDistance, 0.0f);
  EXPECT_EQ(stats.varianceColor, 0.0f);
}

TEST(CompareClouds, PairsEveryQueryPointWithItsNearestReferencePoint) {
  auto query = randomCloud(300, 1);
  auto reference = randomCloud(400, 2);
  ErrorSums expected;
  for (const auto& point : *query) {
    double best = std::numeric_limits<double>::infinity();
    const pcl::PointXYZRGBA* nearest = nullptr;
    for (const auto& candidate : *reference) {
      const double dx = point.x - candidate.x, dy = point.y - candidate.y,
                   dz = point.z - candidate.z;
      const double squared = dx * dx + dy * dy + dz * dz;
      if (squared < best) {
        best = squared;
        nearest = &candidate;
      }
    }
    addPointErrors(expected, static_cast<float>(std::sqrt(best)), colorError(point, *nearest));
  }
  const CloudErrorStats want = summarizeErrors(expected, query->size());

  CaptureStdout();
  const CloudErrorStats got = compareClouds(query, reference);
  GetCapturedStdout();
  EXPECT_NEAR(got.meanDistance, want.meanDistance, 1e-6);
  EXPECT_NEAR(got.varianceDistance, want.varianceDistance, 1e-6);
  // Colours are exact whenever the neighbour is the same point.
  EXPECT_EQ(got.meanColor, want.meanColor);
  EXPECT_EQ(got.varianceColor, want.varianceColor);
}

TEST(CompareClouds, MeasuresFromTheQueryCloudOnly) {
  auto query = cloudOf({colorPoint(0, 0, 0, 10, 10, 10), colorPoint(4, 0, 0, 10, 10, 10)});
  auto reference = cloudOf({colorPoint(0, 0, 0, 10, 10, 10), colorPoint(4, 0, 3, 10, 10, 10),
                            colorPoint(100, 100, 100, 0, 0, 0)});
  CaptureStdout();
  const CloudErrorStats forward = compareClouds(query, reference);
  const CloudErrorStats backward = compareClouds(reference, query);
  GetCapturedStdout();
  EXPECT_EQ(forward.meanDistance, 1.5f);
  EXPECT_EQ(forward.varianceDistance, 2.25f);
  EXPECT_EQ(forward.meanColor, 0.0f);
  EXPECT_GT(backward.meanDistance, 50.0f);
  EXPECT_GT(backward.meanColor, 5.0f);
}

TEST(CompareClouds, EmptyReferenceFailsEverySearchAndGivesNaN) {
  auto query = cloudOf(
      {colorPoint(0, 0, 0, 1, 2, 3), colorPoint(1, 0, 0, 1, 2, 3), colorPoint(2, 0, 0, 1, 2, 3)});
  CaptureStdout();
  const CloudErrorStats stats = compareClouds(query, std::make_shared<ColorCloud>());
  EXPECT_EQ(GetCapturedStdout(), "\n" + kNoNeighbour + kNoNeighbour + kNoNeighbour);
  expectAllNaN(stats);
  EXPECT_TRUE(stats.cloudsLoaded);
}

TEST(CompareClouds, EmptyQueryWritesOnlyTheEmptyLine) {
  CaptureStdout();
  const CloudErrorStats stats =
      compareClouds(std::make_shared<ColorCloud>(), cloudOf({colorPoint(0, 0, 0, 1, 2, 3)}));
  EXPECT_EQ(GetCapturedStdout(), "\n");
  expectAllNaN(stats);
}

TEST(CompareClouds, CountsDuplicateQueryPointsEachTime) {
  auto query = cloudOf(
      {colorPoint(0, 0, 0, 0, 0, 0), colorPoint(0, 0, 0, 0, 0, 0), colorPoint(0, 0, 2, 0, 0, 0)});
  auto reference = cloudOf({colorPoint(0, 0, 1, 0, 0, 0)});
  CaptureStdout();
  const CloudErrorStats stats = compareClouds(query, reference);
  GetCapturedStdout();
  EXPECT_EQ(stats.meanDistance, 1.0f);
  EXPECT_EQ(stats.varianceDistance, 0.0f);
}

#include "cloud_comparison.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <pcl/search/kdtree.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>

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

TEST(MortonOrder, IsAPermutationThatFollowsSpace) {
  auto cloud = randomCloud(5000, 21);
  std::vector<std::uint32_t> order = mortonOrder(*cloud);
  std::vector<std::uint32_t> sorted = order;
  std::sort(sorted.begin(), sorted.end());
  for (std::uint32_t i = 0; i < sorted.size(); ++i)
    ASSERT_EQ(sorted[i], i);

  // Points on a line stored back to front come out front to back.
  auto line = std::make_shared<ColorCloud>();
  for (int i = 9; i >= 0; --i)
    line->push_back(colorPoint(static_cast<float>(i), 0.5f, -3.0f, 0, 0, 0));
  EXPECT_EQ(mortonOrder(*line), (std::vector<std::uint32_t>{9, 8, 7, 6, 5, 4, 3, 2, 1, 0}));
  EXPECT_TRUE(mortonOrder(ColorCloud()).empty());
  EXPECT_EQ(
      mortonOrder(*cloudOf({colorPoint(-3e38f, 0, 0, 0, 0, 0), colorPoint(3e38f, 0, 0, 0, 0, 0)})),
      (std::vector<std::uint32_t>{0, 1}));
}

TEST(CompareClouds, AnySearchOrderGivesTheSumsOfThePlainLoop) {
  auto query = randomCloud(20000, 31);
  auto reference = randomCloud(15000, 32);
  // The plain loop: search and sum in storage order.
  pcl::search::KdTree<pcl::PointXYZRGBA> tree(true);
  tree.setInputCloud(reference);
  pcl::Indices index(1);
  std::vector<float> squaredDistance(1);
  ErrorSums sums;
  for (const auto& point : *query) {
    ASSERT_EQ(tree.nearestKSearch(point, 1, index, squaredDistance), 1);
    addPointErrors(sums, std::sqrt(squaredDistance[0]), colorError(point, (*reference)[index[0]]));
  }

  std::vector<std::uint32_t> reversed(query->size());
  for (std::uint32_t i = 0; i < reversed.size(); ++i)
    reversed[i] = static_cast<std::uint32_t>(reversed.size() - 1 - i);
  for (const auto& order : {mortonOrder(*query), reversed}) {
    const ErrorSums reordered = sumErrors(nearestNeighbourErrors(query, reference, order));
    EXPECT_EQ(reordered.distance, sums.distance);
    EXPECT_EQ(reordered.distanceSquared, sums.distanceSquared);
    EXPECT_EQ(reordered.color, sums.color);
    EXPECT_EQ(reordered.colorSquared, sums.colorSquared);
    EXPECT_EQ(reordered.matchedPoints, sums.matchedPoints);
  }
  ASSERT_FALSE(isStoredCoherently(*query));
  CaptureStdout();
  const CloudErrorStats stats = compareClouds(query, reference);
  GetCapturedStdout();
  const CloudErrorStats plain = summarizeErrors(sums, query->size());
  EXPECT_EQ(stats.meanDistance, plain.meanDistance);
  EXPECT_EQ(stats.meanColor, plain.meanColor);
  EXPECT_EQ(stats.varianceDistance, plain.varianceDistance);
  EXPECT_EQ(stats.varianceColor, plain.varianceColor);
}

TEST(IsStoredCoherently, TellsAScannersOrderFromAShuffledOne) {
  auto grid = std::make_shared<ColorCloud>();
  for (int row = 0; row < 200; ++row)
    for (int column = 0; column < 300; ++column)
      grid->push_back(colorPoint(0.01f * column, 0.01f * row, 0.001f * (row % 7), 0, 0, 0));
  EXPECT_TRUE(isStoredCoherently(*grid));
  std::mt19937 random(4);
  std::shuffle(grid->begin(), grid->end(), random);
  EXPECT_FALSE(isStoredCoherently(*grid));
  EXPECT_TRUE(isStoredCoherently(ColorCloud()));
}

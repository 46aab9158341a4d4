#include "metrics/error_statistics.h"

#include <gtest/gtest.h>

#include <cmath>

TEST(ColorError, IsTheEuclideanDistanceOfTheRgbChannels) {
  EXPECT_EQ(colorError({200, 100, 50}, {190, 104, 47}), 11.1803398f);
  EXPECT_EQ(colorError({255, 255, 255}, {0, 0, 0}), 441.672943f);
  EXPECT_EQ(colorError({0, 0, 0}, {255, 255, 255}), 441.672943f);
  EXPECT_EQ(colorError({10, 20, 30}, {10, 20, 30}), 0.0f);
}

TEST(SummarizeErrors, UnmatchedPointsStayInTheDivisor) {
  ErrorSums sums;
  addPointErrors(sums, 1.0f, 0.0f);
  addPointErrors(sums, 2.0f, 3.0f);
  addPointErrors(sums, 3.0f, 4.0f);
  const CloudErrorStats stats = summarizeErrors(sums, 4);
  EXPECT_EQ(stats.meanDistance, 1.5f);
  EXPECT_EQ(stats.meanColor, 1.75f);
  EXPECT_EQ(stats.varianceDistance, 1.25f);
  EXPECT_EQ(stats.varianceColor, 3.1875f);
}

TEST(SummarizeErrors, AVarianceRoundedBelowZeroIsZero) {
  ErrorSums sums;
  for (int i = 0; i < 100000; ++i)
    addPointErrors(sums, 0.3f, 0.3f);
  // Unclamped, the one-pass formula gives -1.04403e-13 here.
  ASSERT_LT(sums.distanceSquared / 100000 - std::pow(sums.distance / 100000, 2), 0.0);
  const CloudErrorStats stats = summarizeErrors(sums, 100000);
  EXPECT_EQ(stats.meanDistance, 0.3f);
  EXPECT_EQ(stats.varianceDistance, 0.0f);
  EXPECT_FALSE(std::signbit(stats.varianceDistance));
  EXPECT_EQ(stats.varianceColor, 0.0f);
}

// The report spells the two NaN differently: -nan for an empty query cloud (0 / 0), nan for
// one whose points all went unmatched.
TEST(SummarizeErrors, NaNCarriesItsMeaningInItsSign) {
  const CloudErrorStats empty = summarizeErrors(ErrorSums{}, 0);
  for (float value :
       {empty.meanDistance, empty.meanColor, empty.varianceDistance, empty.varianceColor}) {
    EXPECT_TRUE(std::isnan(value));
    EXPECT_TRUE(std::signbit(value));
  }
  const CloudErrorStats unmatched = summarizeErrors(ErrorSums{}, 3);
  for (float value : {unmatched.meanDistance, unmatched.meanColor, unmatched.varianceDistance,
                      unmatched.varianceColor}) {
    EXPECT_TRUE(std::isnan(value));
    EXPECT_FALSE(std::signbit(value));
  }
}

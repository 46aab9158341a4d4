#include "bd/bjontegaard.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>

namespace {

// An irregular anchor: uneven steps in rate and in PSNR, bending more at the top.
const std::vector<RatePoint> kAnchor = {
    {0.21, 31.2}, {0.47, 35.9}, {1.3, 40.1}, {2.2, 42.0}, {5.9, 46.7}};

std::vector<RatePoint> transformed(const std::vector<RatePoint>& curve, double rateFactor,
                                   double psnrShift) {
  std::vector<RatePoint> result;
  for (const RatePoint& point : curve)
    result.push_back({point.rate * rateFactor, point.quality + psnrShift});
  return result;
}

} // namespace

TEST(Bjontegaard, ScaledAndShiftedCurvesGiveTheirExactDeltas) {
  for (Interpolation interpolation : {Interpolation::PiecewiseCubic, Interpolation::CubicFit}) {
    // 10 % fewer bits at every PSNR, on either side of the anchor.
    const BjontegaardDelta fewer =
        bjontegaardRate(kAnchor, transformed(kAnchor, 0.9, 0.0), interpolation);
    ASSERT_TRUE(fewer.value) << fewer.reason;
    EXPECT_NEAR(*fewer.value, -10.0, 1e-9);
    EXPECT_NEAR(*bjontegaardRate(transformed(kAnchor, 0.9, 0.0), kAnchor, interpolation).value,
                100.0 / 9.0, 1e-9);
    // 1 dB better at every rate.
    const BjontegaardDelta better =
        bjontegaardQuality(kAnchor, transformed(kAnchor, 1.0, 1.0), interpolation);
    ASSERT_TRUE(better.value) << better.reason;
    EXPECT_NEAR(*better.value, 1.0, 1e-9);
    EXPECT_NEAR(*bjontegaardRate(kAnchor, kAnchor, interpolation).value, 0.0, 1e-12);
  }
}

TEST(Bjontegaard, RefusesTooFewPointsRepeatsAndCurvesThatDoNotMeet) {
  const double infinity = std::numeric_limits<double>::infinity();
  std::vector<RatePoint> three = {{1, 30}, {2, 33}, {4, 36}};
  // A lossless point has an infinite PSNR and is no rate point; nor is a rate of 0.
  std::vector<RatePoint> withLossless = three;
  withLossless.push_back({9, infinity});
  withLossless.push_back({0, 40});
  for (const auto& curve : {three, withLossless}) {
    const BjontegaardDelta delta = bjontegaardRate(kAnchor, curve, Interpolation::PiecewiseCubic);
    EXPECT_FALSE(delta.value);
    EXPECT_EQ(delta.reason, "the test curve has 3 rate points with a positive rate and a finite "
                            "PSNR; at least 4 are needed");
  }
  std::vector<RatePoint> four = three;
  four.push_back({8, 39});
  EXPECT_TRUE(bjontegaardRate(kAnchor, four, Interpolation::PiecewiseCubic).value);
  four.push_back({16, 39});
  EXPECT_EQ(bjontegaardRate(kAnchor, four, Interpolation::PiecewiseCubic).reason,
            "two rate points of the test curve have the same PSNR, 39 dB");
  const BjontegaardDelta apart =
      bjontegaardRate(kAnchor, transformed(kAnchor, 1.0, 20.0), Interpolation::CubicFit);
  EXPECT_FALSE(apart.value);
  EXPECT_EQ(apart.reason, "the curves do not overlap in PSNR: the anchor spans 31.2 to 46.7 dB, "
                          "the test curve 51.2 to 66.7 dB");
}

// Curves that only touch, at the anchor's best point, share no range to average over: no
// value and the reason, never 0 / 0.
TEST(Bjontegaard, CurvesThatOnlyTouchGiveNoValue) {
  const std::vector<RatePoint> touching = {{5.9, 46.7}, {8, 48}, {12, 50}, {20, 52}};
  for (Interpolation interpolation : {Interpolation::PiecewiseCubic, Interpolation::CubicFit}) {
    const BjontegaardDelta rate = bjontegaardRate(kAnchor, touching, interpolation);
    EXPECT_FALSE(rate.value);
    EXPECT_EQ(rate.reason, "the curves do not overlap in PSNR: the anchor spans 31.2 to 46.7 dB, "
                           "the test curve 46.7 to 52 dB");
    const BjontegaardDelta quality = bjontegaardQuality(kAnchor, touching, interpolation);
    EXPECT_FALSE(quality.value);
    EXPECT_EQ(quality.reason, "the curves do not overlap in rate: the anchor spans 0.21 to 5.9 "
                              "bpp, the test curve 5.9 to 20 bpp");
  }
}

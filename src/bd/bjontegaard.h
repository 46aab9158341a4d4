#pragma once

#include <optional>
#include <string>
#include <vector>

// One rate point of a rate-distortion curve.
struct RatePoint {
  double rate;    // bits per point, > 0
  double quality; // PSNR in dB
};

// A Bjøntegaard delta of a test curve against an anchor curve, or the reason there is none.
struct BjontegaardDelta {
  std::optional<double> value;
  std::string reason; // empty when there is a value
};

// The fewest finite rate points a curve needs for a delta.
constexpr std::size_t kFewestRatePoints = 4;

// How log rate and quality are interpolated between rate points.
enum class Interpolation {
  // Piecewise cubic Hermite (PCHIP, Fritsch-Butland derivatives, shape-preserving ends), as
  // current common test conditions compute the delta.
  PiecewiseCubic,
  // One cubic polynomial fitted by least squares, as Bjøntegaard first proposed.
  CubicFit
};

// The mean difference in rate, in percent, of the test curve against the anchor at equal
// quality, over the quality range that both cover: negative when the test needs fewer bits.
// Log rates (base 10) are interpolated as functions of quality.
BjontegaardDelta bjontegaardRate(const std::vector<RatePoint>& anchor,
                                 const std::vector<RatePoint>& test, Interpolation interpolation);

// The mean difference in quality, in dB, of the test curve against the anchor at equal rate,
// over the log rate range that both cover: positive when the test is better.
BjontegaardDelta bjontegaardQuality(const std::vector<RatePoint>& anchor,
                                    const std::vector<RatePoint>& test,
                                    Interpolation interpolation);

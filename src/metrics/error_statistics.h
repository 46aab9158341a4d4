#pragma once

#include <cstddef>
#include <cstdint>

// The four error statistics of one cloud pair, means first, variances after.
struct CloudErrorStats {
  float meanDistance;
  float meanColor;
  float varianceDistance;
  float varianceColor;
};

// Running double-precision sums of the per-point errors of one comparison.
struct ErrorSums {
  double distance = 0.0;
  double distanceSquared = 0.0;
  double color = 0.0;
  double colorSquared = 0.0;
  std::size_t matchedPoints = 0;
};

// The 8-bit colour channels that the colour error compares.
struct Rgb {
  std::uint8_t r;
  std::uint8_t g;
  std::uint8_t b;
};

// Euclidean distance of two (r, g, b) colours, each step in single precision.
float colorError(Rgb point, Rgb neighbour);

// Adds one matched point's distance and colour errors to the sums.
void addPointErrors(ErrorSums& sums, float distanceError, float colorError);

// Means and population variances over queryPointCount points. A query cloud whose points
// all went unmatched gives NaN: there is nothing to measure.
CloudErrorStats summarizeErrors(const ErrorSums& sums, std::size_t queryPointCount);

// Four quiet NaN: the record of a pair that could not be measured.
CloudErrorStats unmeasuredStats();

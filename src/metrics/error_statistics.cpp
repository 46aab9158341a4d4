#include "metrics/error_statistics.h"

#include <cmath>
#include <limits>

namespace {

// The one-pass formula can round below zero when every error is the same; a variance is
// never negative. The NaN of an empty query cloud passes unchanged, sign included.
double clampedVariance(double variance) {
  return variance < 0.0 ? 0.0 : variance;
}

} // namespace

float colorError(Rgb point, Rgb neighbour) {
  const float red = static_cast<float>(static_cast<int>(point.r) - static_cast<int>(neighbour.r));
  const float green = static_cast<float>(static_cast<int>(point.g) - static_cast<int>(neighbour.g));
  const float blue = static_cast<float>(static_cast<int>(point.b) - static_cast<int>(neighbour.b));
  const float redSquared = red * red;
  const float greenSquared = green * green;
  const float blueSquared = blue * blue;
  const float sum = redSquared + greenSquared + blueSquared;
  return std::sqrt(sum);
}

void addPointErrors(ErrorSums& sums, float distanceError, float colorError) {
  const double distance = distanceError;
  const double color = colorError;
  sums.distance += distance;
  sums.distanceSquared += distance * distance;
  sums.color += color;
  sums.colorSquared += color * color;
  ++sums.matchedPoints;
}

CloudErrorStats summarizeErrors(const ErrorSums& sums, std::size_t queryPointCount) {
  if (queryPointCount > 0 && sums.matchedPoints == 0)
    return unmeasuredStats();
  const double n = static_cast<double>(queryPointCount);
  const double meanDistance = sums.distance / n;
  const double meanColor = sums.color / n;
  const double varianceDistance =
      clampedVariance(sums.distanceSquared / n - meanDistance * meanDistance);
  const double varianceColor = clampedVariance(sums.colorSquared / n - meanColor * meanColor);
  return CloudErrorStats{static_cast<float>(meanDistance), static_cast<float>(meanColor),
                         static_cast<float>(varianceDistance), static_cast<float>(varianceColor)};
}

CloudErrorStats unmeasuredStats() {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  return CloudErrorStats{nan, nan, nan, nan};
}

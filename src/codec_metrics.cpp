#include "codec_metrics.h"

#include <algorithm>
#include <cmath>
#include <limits>

std::array<double, 3> toYCbCr(double red, double green, double blue) {
  const double y = 0.2126 * red + 0.7152 * green + 0.0722 * blue;
  return {y, (blue - y) / 1.8556 + 128.0, (red - y) / 1.5748 + 128.0};
}

MetricPointError metricPointError(const pcl::PointXYZRGBA& query, const pcl::PointXYZRGBA& nearest,
                                  const Eigen::Vector3f& normal, const TiedNeighbours& match) {
  MetricPointError error{match.nearest.squaredDistance, match.nearest.squaredDistance, {}};
  if (normal.allFinite() && normal.squaredNorm() > 0.0f) {
    const Eigen::Vector3d difference =
        (query.getVector3fMap().cast<double>() - nearest.getVector3fMap().cast<double>());
    const double projection = difference.dot(normal.cast<double>());
    error.squaredPlaneDistance = projection * projection;
  }
  const double count = match.count;
  const std::array<double, 3> queryColor = toYCbCr(query.r, query.g, query.b);
  const std::array<double, 3> matchColor = toYCbCr(static_cast<double>(match.colorSums[0]) / count,
                                                   static_cast<double>(match.colorSums[1]) / count,
                                                   static_cast<double>(match.colorSums[2]) / count);
  for (int channel = 0; channel < 3; ++channel) {
    const double difference = queryColor[channel] - matchColor[channel];
    error.squaredColorDifferences[channel] = difference * difference;
  }
  return error;
}

void addPointError(DirectionSums& sums, const MetricPointError& error, bool colorsCompared) {
  ++sums.points;
  sums.squaredDistance += error.squaredDistance;
  sums.squaredPlaneDistance += error.squaredPlaneDistance;
  sums.largestSquaredDistance = std::max(sums.largestSquaredDistance, error.squaredDistance);
  if (!colorsCompared)
    return;
  ++sums.colorPoints;
  for (int channel = 0; channel < 3; ++channel)
    sums.squaredColorDifferences[channel] += error.squaredColorDifferences[channel];
}

double boundingBoxPeak(const ColorCloud& cloud) {
  if (cloud.empty())
    return 0.0;
  double peak = 0.0;
  for (int axis = 0; axis < 3; ++axis) {
    const auto [lowest, highest] =
        std::minmax_element(cloud.begin(), cloud.end(), [axis](const auto& a, const auto& b) {
          return a.data[axis] < b.data[axis];
        });
    peak = std::max(peak, static_cast<double>(highest->data[axis]) - lowest->data[axis]);
  }
  return peak;
}

namespace {

void poolDirection(DirectionSums& pooled, const DirectionSums& pair) {
  pooled.points += pair.points;
  pooled.squaredDistance += pair.squaredDistance;
  pooled.squaredPlaneDistance += pair.squaredPlaneDistance;
  pooled.largestSquaredDistance =
      std::max(pooled.largestSquaredDistance, pair.largestSquaredDistance);
  pooled.colorPoints += pair.colorPoints;
  for (int channel = 0; channel < 3; ++channel)
    pooled.squaredColorDifferences[channel] += pair.squaredColorDifferences[channel];
}

std::optional<double> mean(double sum, std::size_t count) {
  if (count == 0)
    return std::nullopt;
  return sum / static_cast<double>(count);
}

} // namespace

void poolMetrics(PairMetrics& pooled, const PairMetrics& pair) {
  pooled.originalPoints += pair.originalPoints;
  pooled.decodedPoints += pair.decodedPoints;
  pooled.boundingBoxPeak = std::max(pooled.boundingBoxPeak, pair.boundingBoxPeak);
  poolDirection(pooled.originalToDecoded, pair.originalToDecoded);
  poolDirection(pooled.decodedToOriginal, pair.decodedToOriginal);
}

std::optional<double> meanSquaredDistance(const DirectionSums& sums) {
  return mean(sums.squaredDistance, sums.points);
}

std::optional<double> meanSquaredPlaneDistance(const DirectionSums& sums) {
  return mean(sums.squaredPlaneDistance, sums.points);
}

std::optional<double> meanSquaredColorDifference(const DirectionSums& sums, int channel) {
  return mean(sums.squaredColorDifferences[channel], sums.colorPoints);
}

std::optional<double> hausdorffDistance(const DirectionSums& sums) {
  if (sums.points == 0)
    return std::nullopt;
  return std::sqrt(static_cast<double>(sums.largestSquaredDistance));
}

std::optional<double> symmetric(std::optional<double> ab, std::optional<double> ba) {
  if (!ab || !ba)
    return std::nullopt;
  return std::max(*ab, *ba);
}

std::optional<double> psnr(double peak, std::optional<double> mse, double components) {
  if (!mse || !(peak > 0.0))
    return std::nullopt;
  if (*mse == 0.0)
    return std::numeric_limits<double>::infinity();
  return 10.0 * std::log10(components) + 20.0 * std::log10(peak) - 10.0 * std::log10(*mse);
}

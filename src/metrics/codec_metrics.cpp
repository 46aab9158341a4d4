#include "metrics/codec_metrics.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

std::array<float, 3> toYCbCr(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
  const double r = red, g = green, b = blue;
  return {static_cast<float>((0.2126 * r + 0.7152 * g + 0.0722 * b) / 255.0),
          static_cast<float>((-0.1146 * r - 0.3854 * g + 0.5000 * b) / 255.0 + 0.5000),
          static_cast<float>((0.5000 * r - 0.4542 * g - 0.0458 * b) / 255.0 + 0.5000)};
}

double squaredDistanceOf(const ColorPoint& a, const ColorPoint& b) {
  double sum = 0.0;
  for (int axis = 0; axis < 3; ++axis) {
    const double difference = a.position[axis] - b.position[axis];
    sum += difference * difference;
  }
  return sum;
}

MetricPointError metricPointError(const ColorPoint& query, const PointList& reference,
                                  const Normals& referenceNormals, const pcl::Indices& nearby) {
  // The neighbours by pc_error's squared distance, nearest first; then the run of those each
  // within kSimilarSquaredDistance of the one before.
  struct Candidate {
    double squaredDistance;
    std::size_t index;
  };
  std::array<Candidate, kMostCandidates> candidates{};
  const std::size_t count = std::min(nearby.size(), candidates.size());
  for (std::size_t i = 0; i < count; ++i)
    candidates[i] =
        Candidate{squaredDistanceOf(query, reference[static_cast<std::size_t>(nearby[i])]),
                  static_cast<std::size_t>(nearby[i])};
  // Nearly sorted already (the search's order is by single-precision distance): an insertion
  // sort, which keeps equal distances in the search's order.
  for (std::size_t i = 1; i < count; ++i)
    for (std::size_t j = i;
         j > 0 && candidates[j - 1].squaredDistance > candidates[j].squaredDistance; --j)
      std::swap(candidates[j - 1], candidates[j]);
  // pc_error looks at its 10 nearest, and 5 more while the last is as near as the first.
  std::size_t looked = kFirstMatches;
  while (looked + kMoreMatches <= kMostMatches && looked <= count &&
         candidates[looked - 1].squaredDistance == candidates[0].squaredDistance)
    looked += kMoreMatches;
  const std::size_t considered = std::min(looked, count);
  std::size_t matched = 1;
  while (matched < considered &&
         std::abs(candidates[matched].squaredDistance - candidates[matched - 1].squaredDistance) <
             kSimilarSquaredDistance)
    ++matched;

  MetricPointError error{candidates[0].squaredDistance, 0.0, {}, {}};
  std::uint32_t colorSums[3] = {0, 0, 0};
  for (std::size_t i = 0; i < matched; ++i) {
    const auto& point = reference[candidates[i].index];
    const Eigen::Vector3f& normal = referenceNormals[candidates[i].index];
    if (normal.allFinite() && normal.squaredNorm() > 0.0f) {
      const Eigen::Vector3d difference =
          Eigen::Vector3f(query.position[0], query.position[1], query.position[2]).cast<double>() -
          Eigen::Vector3f(point.position[0], point.position[1], point.position[2]).cast<double>();
      const double projection = difference.dot(normal.cast<double>());
      error.squaredPlaneDistance += projection * projection;
    } else {
      error.squaredPlaneDistance += candidates[i].squaredDistance;
    }
    colorSums[0] += point.r;
    colorSums[1] += point.g;
    colorSums[2] += point.b;
  }
  error.squaredPlaneDistance /= static_cast<double>(matched);
  const auto meanOf = [matched](std::uint32_t sum) {
    return static_cast<std::uint8_t>(
        std::round(static_cast<double>(sum) / static_cast<double>(matched)));
  };
  const std::uint8_t mean[3] = {meanOf(colorSums[0]), meanOf(colorSums[1]), meanOf(colorSums[2])};
  const std::uint8_t own[3] = {query.r, query.g, query.b};
  for (int channel = 0; channel < 3; ++channel) {
    const double difference = static_cast<double>(own[channel]) - mean[channel];
    error.squaredRgbDifferences[channel] = difference * difference;
  }
  const std::array<float, 3> queryColor = toYCbCr(query.r, query.g, query.b);
  const std::array<float, 3> matchColor = toYCbCr(mean[0], mean[1], mean[2]);
  for (int channel = 0; channel < 3; ++channel) {
    const float difference = queryColor[channel] - matchColor[channel];
    error.squaredColorDifferences[channel] = difference * difference;
  }
  return error;
}

void addPointError(DirectionSums& sums, const MetricPointError& error, bool colorsCompared) {
  ++sums.points;
  sums.squaredDistance += error.squaredDistance;
  sums.squaredPlaneDistance += error.squaredPlaneDistance;
  sums.largestSquaredDistance = std::max(sums.largestSquaredDistance, error.squaredDistance);
  sums.largestSquaredPlaneDistance =
      std::max(sums.largestSquaredPlaneDistance, error.squaredPlaneDistance);
  if (!colorsCompared)
    return;
  ++sums.colorPoints;
  for (int channel = 0; channel < 3; ++channel) {
    sums.squaredColorDifferences[channel] += error.squaredColorDifferences[channel];
    sums.largestSquaredRgbDifferences[channel] =
        std::max(sums.largestSquaredRgbDifferences[channel], error.squaredRgbDifferences[channel]);
  }
}

double boundingBoxPeak(const PointList& points) {
  if (points.empty())
    return 0.0;
  double peak = 0.0;
  for (int axis = 0; axis < 3; ++axis) {
    const auto [lowest, highest] =
        std::minmax_element(points.begin(), points.end(), [axis](const auto& a, const auto& b) {
          return a.position[axis] < b.position[axis];
        });
    peak = std::max(peak, static_cast<double>(highest->position[axis]) - lowest->position[axis]);
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
  pooled.largestSquaredPlaneDistance =
      std::max(pooled.largestSquaredPlaneDistance, pair.largestSquaredPlaneDistance);
  pooled.colorPoints += pair.colorPoints;
  for (int channel = 0; channel < 3; ++channel) {
    pooled.squaredColorDifferences[channel] += pair.squaredColorDifferences[channel];
    pooled.largestSquaredRgbDifferences[channel] = std::max(
        pooled.largestSquaredRgbDifferences[channel], pair.largestSquaredRgbDifferences[channel]);
  }
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
  pooled.originalUniquePoints += pair.originalUniquePoints;
  pooled.decodedUniquePoints += pair.decodedUniquePoints;
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
  return std::sqrt(sums.largestSquaredDistance);
}

std::optional<double> planeHausdorffDistance(const DirectionSums& sums) {
  if (sums.points == 0)
    return std::nullopt;
  return std::sqrt(sums.largestSquaredPlaneDistance);
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

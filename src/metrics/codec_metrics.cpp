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

std::array<float, 3> toColorSpace(ColorSpace space, std::uint8_t red, std::uint8_t green,
                                  std::uint8_t blue) {
  switch (space) {
  case ColorSpace::Rgb:
    return {static_cast<float>(red), static_cast<float>(green), static_cast<float>(blue)};
  case ColorSpace::YCgCoR: {
    // The lifting steps of YCgCo-R, with Co and Cg moved up by 256 to be positive.
    const int co = red - blue;
    const int t = blue + (co >> 1);
    const int cg = green - t;
    return {static_cast<float>(t + (cg >> 1)), static_cast<float>(co + 256),
            static_cast<float>(cg + 256)};
  }
  default:
    return toYCbCr(red, green, blue);
  }
}

std::array<double, 3> colorPeaks(ColorSpace space) {
  switch (space) {
  case ColorSpace::Rgb:
    return {255.0, 255.0, 255.0};
  case ColorSpace::YCgCoR:
    return {255.0, 511.0, 511.0};
  default:
    return {1.0, 1.0, 1.0};
  }
}

double squaredDistanceOf(const ColorPoint& a, const ColorPoint& b) {
  double sum = 0.0;
  for (int axis = 0; axis < 3; ++axis) {
    const double difference = a.position[axis] - b.position[axis];
    sum += difference * difference;
  }
  return sum;
}

namespace {

bool isPlane(const Eigen::Vector3f& normal) {
  return normal.allFinite() && normal.squaredNorm() > 0.0f;
}

// The query's error vector to a reference point projected on a normal, squared.
double squaredProjection(const ColorPoint& query, const ColorPoint& point,
                         const Eigen::Vector3f& normal) {
  const Eigen::Vector3d difference =
      Eigen::Vector3f(query.position[0], query.position[1], query.position[2]).cast<double>() -
      Eigen::Vector3f(point.position[0], point.position[1], point.position[2]).cast<double>();
  const double projection = difference.dot(normal.cast<double>());
  return projection * projection;
}

int squaredRgbDistance(const ColorPoint& a, const ColorPoint& b) {
  return (a.r - b.r) * (a.r - b.r) + (a.g - b.g) * (a.g - b.g) + (a.b - b.b) * (a.b - b.b);
}

} // namespace

MetricPointError metricPointError(const ColorPoint& query, const PointList& reference,
                                  const Normals& referenceNormals, const pcl::Indices& nearby,
                                  const MetricOptions& options, const std::uint32_t* duplicates,
                                  PcErrorSearch* ties, bool nearestMatters) {
  // The neighbours by pc_error's squared distance, nearest first; then the run of those each
  // within kSimilarSquaredDistance of the one before.
  struct Candidate {
    double squaredDistance;
    std::size_t index;
  };
  std::array<Candidate, kMostCandidates> candidates{};
  const std::size_t found = std::min(nearby.size(), candidates.size());
  for (std::size_t i = 0; i < found; ++i)
    candidates[i] =
        Candidate{squaredDistanceOf(query, reference[static_cast<std::size_t>(nearby[i])]),
                  static_cast<std::size_t>(nearby[i])};
  // Nearly sorted already (the search's order is by single-precision distance): an insertion
  // sort, which keeps equal distances in the search's order.
  for (std::size_t i = 1; i < found; ++i)
    for (std::size_t j = i;
         j > 0 && candidates[j - 1].squaredDistance > candidates[j].squaredDistance; --j)
      std::swap(candidates[j - 1], candidates[j]);
  // Where the nearest tie, pc_error's own search decides their order, and which of more than
  // its lists hold it keeps: its 10 nearest, and 5 more while the last is as near as the first.
  // That matters where one of them is chosen (the nearest's colour, normal or reflectance, the
  // closest or farthest colour), or where the tied run outgrows the list; averages of the
  // whole run are the same in any order.
  std::size_t count = found;
  const bool frontTies =
      count > 1 && std::abs(candidates[1].squaredDistance - candidates[0].squaredDistance) <
                       kSimilarSquaredDistance;
  const bool oneChosen =
      nearestMatters || !options.averageNormals || options.tiedColors == TiedColors::Nearest ||
      options.tiedColors == TiedColors::Closest || options.tiedColors == TiedColors::Farthest;
  const auto runOutgrowsList = [&] {
    std::size_t run = 1;
    while (run < count && std::abs(candidates[run].squaredDistance -
                                   candidates[run - 1].squaredDistance) < kSimilarSquaredDistance)
      ++run;
    return run >= kFirstMatches;
  };
  if (ties != nullptr && frontTies && (oneChosen || runOutgrowsList())) {
    std::array<std::uint32_t, kMostMatches> indices;
    std::array<double, kMostMatches> distances;
    std::size_t asked = kFirstMatches, given = 0;
    for (;;) {
      given = pcErrorNearest(*ties, query.position, asked, indices.data(), distances.data());
      if (!(options.averageNormals && given == asked && distances[0] == distances[asked - 1] &&
            asked + kMoreMatches <= kMostMatches))
        break;
      asked += kMoreMatches;
    }
    for (std::size_t i = 0; i < given; ++i)
      candidates[i] = Candidate{distances[i], indices[i]};
    if (given > 0)
      count = given;
  }
  // pc_error looks at its 10 nearest, and 5 more while the last is as near as the first.
  std::size_t looked = kFirstMatches;
  while (options.averageNormals && looked + kMoreMatches <= kMostMatches && looked <= count &&
         candidates[looked - 1].squaredDistance == candidates[0].squaredDistance)
    looked += kMoreMatches;
  const std::size_t considered = std::min(looked, count);
  std::size_t matched = 1;
  while (matched < considered &&
         std::abs(candidates[matched].squaredDistance - candidates[matched - 1].squaredDistance) <
             kSimilarSquaredDistance)
    ++matched;

  MetricPointError error{candidates[0].squaredDistance, 0.0, {}, {}, candidates[0].index};
  const ColorPoint& nearest = reference[candidates[0].index];
  if (!options.averageNormals) {
    const Eigen::Vector3f& normal = referenceNormals[candidates[0].index];
    error.squaredPlaneDistance =
        isPlane(normal) ? squaredProjection(query, nearest, normal) : candidates[0].squaredDistance;
  } else {
    for (std::size_t i = 0; i < matched; ++i) {
      const Eigen::Vector3f& normal = referenceNormals[candidates[i].index];
      error.squaredPlaneDistance +=
          isPlane(normal) ? squaredProjection(query, reference[candidates[i].index], normal)
                          : candidates[i].squaredDistance;
    }
    error.squaredPlaneDistance /= static_cast<double>(matched);
  }
  std::uint8_t color[3] = {nearest.r, nearest.g, nearest.b};
  if (options.tiedColors == TiedColors::Average ||
      options.tiedColors == TiedColors::WeightedAverage) {
    const bool weighted = options.tiedColors == TiedColors::WeightedAverage && duplicates;
    std::uint64_t sums[3] = {0, 0, 0};
    std::uint64_t weights = 0;
    for (std::size_t i = 0; i < matched; ++i) {
      const ColorPoint& point = reference[candidates[i].index];
      const std::uint64_t weight = weighted ? duplicates[candidates[i].index] : 1;
      sums[0] += weight * point.r;
      sums[1] += weight * point.g;
      sums[2] += weight * point.b;
      weights += weight;
    }
    for (int channel = 0; channel < 3; ++channel)
      color[channel] = static_cast<std::uint8_t>(
          std::round(static_cast<double>(sums[channel]) / static_cast<double>(weights)));
  } else if (options.tiedColors == TiedColors::Closest ||
             options.tiedColors == TiedColors::Farthest) {
    // The first of the matched points at the closest or farthest colour. pc_error starts its
    // search for the farthest from its cloud's point 0, which it keeps when every matched colour
    // equals the query's: the first matched point stands in for it here.
    std::size_t chosen = 0;
    int chosenDistance = squaredRgbDistance(query, nearest);
    for (std::size_t i = 1; i < matched; ++i) {
      const int distance = squaredRgbDistance(query, reference[candidates[i].index]);
      if (options.tiedColors == TiedColors::Closest ? distance < chosenDistance
                                                    : distance > chosenDistance) {
        chosen = i;
        chosenDistance = distance;
      }
    }
    const ColorPoint& point = reference[candidates[chosen].index];
    color[0] = point.r;
    color[1] = point.g;
    color[2] = point.b;
  }
  const std::uint8_t own[3] = {query.r, query.g, query.b};
  for (int channel = 0; channel < 3; ++channel) {
    const double difference = static_cast<double>(own[channel]) - color[channel];
    error.squaredRgbDifferences[channel] = difference * difference;
  }
  const std::array<float, 3> queryColor =
      toColorSpace(options.colorSpace, query.r, query.g, query.b);
  const std::array<float, 3> matchColor =
      toColorSpace(options.colorSpace, color[0], color[1], color[2]);
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
  pooled.reflectancePoints += pair.reflectancePoints;
  pooled.squaredReflectanceDifference += pair.squaredReflectanceDifference;
  pooled.largestSquaredReflectanceDifference = std::max(pooled.largestSquaredReflectanceDifference,
                                                        pair.largestSquaredReflectanceDifference);
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

std::optional<double> meanSquaredReflectanceDifference(const DirectionSums& sums) {
  return mean(sums.squaredReflectanceDifference, sums.reflectancePoints);
}

std::optional<double> reflectanceHausdorffDistance(const DirectionSums& sums) {
  if (sums.reflectancePoints == 0)
    return std::nullopt;
  return std::sqrt(sums.largestSquaredReflectanceDifference);
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

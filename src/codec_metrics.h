#pragma once

#include "color_cloud.h"
#include "neighbour.h"

#include <array>
#include <cstddef>
#include <optional>

// One query point's errors against its nearest reference point.
struct MetricPointError {
  float squaredDistance;
  // The error vector projected on the reference point's normal, squared; the squared distance
  // where the reference point has no normal.
  double squaredPlaneDistance;
  // Squared differences of Y', Cb and Cr (BT.709, 8-bit full range) between the query point
  // and the mean colour of every reference point at the nearest distance.
  std::array<double, 3> squaredColorDifferences;
};

// Sums of one direction's errors, from the query cloud to the reference cloud.
struct DirectionSums {
  std::size_t points = 0; // query points with a neighbour
  double squaredDistance = 0.0;
  double squaredPlaneDistance = 0.0;
  float largestSquaredDistance = 0.0f;
  std::size_t colorPoints = 0; // points whose colours were compared
  std::array<double, 3> squaredColorDifferences{};
};

// What the codec metrics of one pair, or of a dataset's pairs pooled, are computed from.
struct PairMetrics {
  std::size_t originalPoints = 0;
  std::size_t decodedPoints = 0;
  // The largest side of the original's bounding box.
  double boundingBoxPeak = 0.0;
  DirectionSums originalToDecoded;
  DirectionSums decodedToOriginal;
};

// The BT.709 Y', Cb and Cr of an 8-bit (r, g, b) colour, full range, Cb and Cr around 128.
std::array<double, 3> toYCbCr(double red, double green, double blue);

// The errors of a query point against its match: the nearest point, that point's normal (NaN
// or zero where it has none) and the points tied with it.
MetricPointError metricPointError(const pcl::PointXYZRGBA& query, const pcl::PointXYZRGBA& nearest,
                                  const Eigen::Vector3f& normal, const TiedNeighbours& match);

// Adds a query point's errors; its colours count only when both clouds have colour.
void addPointError(DirectionSums& sums, const MetricPointError& error, bool colorsCompared);

double boundingBoxPeak(const ColorCloud& cloud);

// Adds a pair's sums to a dataset's: counts and sums added, largest distance and peak kept.
void poolMetrics(PairMetrics& pooled, const PairMetrics& pair);

// The mean of the squared errors; none without a measured point.
std::optional<double> meanSquaredDistance(const DirectionSums& sums);
std::optional<double> meanSquaredPlaneDistance(const DirectionSums& sums);
std::optional<double> meanSquaredColorDifference(const DirectionSums& sums, int channel);
// The largest nearest-neighbour distance; none without a measured point.
std::optional<double> hausdorffDistance(const DirectionSums& sums);

// The larger of the two directions' values; none unless both have one.
std::optional<double> symmetric(std::optional<double> ab, std::optional<double> ba);

// 10 log10(components peak^2 / mse), taken in logarithms so that no peak or error overflows
// or underflows on the way: infinite for an error of 0, none without an error or for a peak
// of 0.
std::optional<double> psnr(double peak, std::optional<double> mse, double components = 1.0);

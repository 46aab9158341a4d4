#pragma once

#include "common/color_cloud.h"
#include "common/point_list.h"
#include "search/pc_error_search.h"

#include <pcl/types.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

// pc_error's similarPointThreshold: two squared distances closer than this count as one.
constexpr double kSimilarSquaredDistance = 1e-8;

// One query point's errors against the reference points that pc_error matches it with (its
// defaults --neighborsProc=1 --averageNormals=1): the nearest, and after it each next nearest
// whose squared distance is within kSimilarSquaredDistance of the one before.
struct MetricPointError {
  // To the nearest, in double precision from single-precision differences, as pc_error has it.
  double squaredDistance;
  // The error vector to each matched point projected on that point's normal, squared, and
  // averaged over the matched points; a matched point whose normal is zero or not finite gives
  // its squared distance instead.
  double squaredPlaneDistance;
  // Squared differences of Y', Cb and Cr (pc_error's BT.709, from 0 to 1) between the query
  // point and the matched points' mean colour rounded to 8 bits.
  std::array<double, 3> squaredColorDifferences;
  // The same colours' squared differences in 8-bit R, G and B, for the colour Hausdorff distance.
  std::array<double, 3> squaredRgbDifferences;
  // The reference point nearest, the first the search found among equals: the one whose
  // reflectance pc_error compares, whatever --neighborsProc says.
  std::size_t nearest;
};

// The colour space of the colour errors: pc_error's --mseSpace 0, 1 and 8.
enum class ColorSpace { Rgb = 0, Bt709 = 1, YCgCoR = 8 };

// Which colour a query point is compared with among the reference points it is matched with:
// pc_error's --neighborsProc 0 to 4.
enum class TiedColors {
  Nearest = 0,         // the nearest's, the first the search found
  Average = 1,         // their mean, rounded to 8 bits
  WeightedAverage = 2, // their mean, each weighted by the duplicates merged into it
  Closest = 3,         // the one nearest in (r, g, b) to the query's
  Farthest = 4         // the one farthest in (r, g, b) from the query's
};

// pc_error's options that shape each point's errors; the defaults are its own.
struct MetricOptions {
  ColorSpace colorSpace = ColorSpace::Bt709;
  TiedColors tiedColors = TiedColors::Average;
  // --averageNormals=1: D2 averages the projections on every matched point's normal, and the
  // search looks past 10 neighbours while they tie; 0: the nearest's normal alone, 10 neighbours.
  bool averageNormals = true;
  // --dropdups=2: the colours of duplicate points are averaged; 1: the first point's is kept.
  bool averageDuplicates = true;
  // --dropdups=0: duplicate points are kept apart (averageDuplicates does not apply).
  bool keepDuplicates = false;
  // --lidar: the reflectance is compared when both clouds have it.
  bool reflectance = false;
};

// The peaks of the three colour channels' PSNR in a colour space: 1 for BT.709 (0 to 1), 255
// for RGB, 255, 511 and 511 for YCgCo-R.
std::array<double, 3> colorPeaks(ColorSpace space);

// A colour's three channels in a colour space, as pc_error converts them, in single precision.
std::array<float, 3> toColorSpace(ColorSpace space, std::uint8_t red, std::uint8_t green,
                                  std::uint8_t blue);

// Sums of one direction's errors, from the query cloud to the reference cloud.
struct DirectionSums {
  std::size_t points = 0; // query points with a neighbour
  double squaredDistance = 0.0;
  double squaredPlaneDistance = 0.0;
  double largestSquaredDistance = 0.0;
  double largestSquaredPlaneDistance = 0.0;
  std::size_t colorPoints = 0; // points whose colours were compared
  std::array<double, 3> squaredColorDifferences{};
  std::array<double, 3> largestSquaredRgbDifferences{};
  std::size_t reflectancePoints = 0; // points whose reflectance was compared
  double squaredReflectanceDifference = 0.0;
  double largestSquaredReflectanceDifference = 0.0;
};

// What the codec metrics of one pair, or of a dataset's pairs pooled, are computed from.
struct PairMetrics {
  // The finite points of each cloud, and its positions once duplicates are merged.
  std::size_t originalPoints = 0;
  std::size_t decodedPoints = 0;
  std::size_t originalUniquePoints = 0;
  std::size_t decodedUniquePoints = 0;
  // The largest side of the original's bounding box.
  double boundingBoxPeak = 0.0;
  // pc_error's intrinsic resolution of the merged original, whose largest distance is its peak
  // without a resolution, when it was asked for.
  std::optional<double> smallestNearestNeighbourDistance;
  std::optional<double> largestNearestNeighbourDistance;
  // D2 was measured: the original has normals, from its file or estimated.
  bool planes = true;
  DirectionSums originalToDecoded;
  DirectionSums decodedToOriginal;
};

// The squared distance between two points as pc_error computes it: single-precision
// differences, squared and summed in double precision.
double squaredDistanceOf(const ColorPoint& a, const ColorPoint& b);

// pc_error's Y', Cb and Cr of an 8-bit (r, g, b) colour: BT.709, from 0 to 1, Cb and Cr around
// 0.5, in single precision.
std::array<float, 3> toYCbCr(std::uint8_t red, std::uint8_t green, std::uint8_t blue);

// pc_error looks at a point's 10 nearest points, and 5 more while the last is as near as the
// first, up to 30.
constexpr std::size_t kFirstMatches = 10;
constexpr std::size_t kMoreMatches = 5;
constexpr std::size_t kMostMatches = 30;
// The most candidates that metricPointError takes.
constexpr std::size_t kMostCandidates = 64;

// The errors of a query point against the reference, given the reference points near enough
// to be matched with it, in any order (at least one; the first kMostCandidates count).
// With options other than the defaults, as pc_error's options ask; duplicates gives the number
// of points merged into each reference point, for TiedColors::WeightedAverage.
MetricPointError metricPointError(const ColorPoint& query, const PointList& reference,
                                  const Normals& referenceNormals, const pcl::Indices& nearby,
                                  const MetricOptions& options = MetricOptions(),
                                  const std::uint32_t* duplicates = nullptr,
                                  PcErrorSearch* ties = nullptr, bool nearestMatters = false);

// Adds a query point's errors; its colours count only when both clouds have colour.
void addPointError(DirectionSums& sums, const MetricPointError& error, bool colorsCompared);

double boundingBoxPeak(const PointList& points);

// Adds a pair's sums to a dataset's: counts and sums added, largest distance and peak kept.
void poolMetrics(PairMetrics& pooled, const PairMetrics& pair);

// The mean of the squared errors; none without a measured point.
std::optional<double> meanSquaredDistance(const DirectionSums& sums);
std::optional<double> meanSquaredPlaneDistance(const DirectionSums& sums);
std::optional<double> meanSquaredColorDifference(const DirectionSums& sums, int channel);
// Of the reflectance (0 to 65535); none where it was not compared.
std::optional<double> meanSquaredReflectanceDifference(const DirectionSums& sums);
// The largest difference of reflectance; none where it was not compared.
std::optional<double> reflectanceHausdorffDistance(const DirectionSums& sums);
// The largest nearest-neighbour distance, and the largest point-to-plane one (square roots of
// what pc_error prints); none without a measured point.
std::optional<double> hausdorffDistance(const DirectionSums& sums);
std::optional<double> planeHausdorffDistance(const DirectionSums& sums);

// The larger of the two directions' values; none unless both have one.
std::optional<double> symmetric(std::optional<double> ab, std::optional<double> ba);

// 10 log10(components peak^2 / mse), taken in logarithms so that no peak or error overflows
// or underflows on the way: infinite for an error of 0, none without an error or for a peak
// of 0.
std::optional<double> psnr(double peak, std::optional<double> mse, double components = 1.0);

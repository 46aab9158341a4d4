#pragma once

#include <pcl/point_cloud.h>
#include <pcl/point_types.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The four error statistics of one cloud pair, means first, variances after.
struct CloudErrorStats {
  float meanDistance;
  float meanColor;
  float varianceDistance;
  float varianceColor;
  // False when a cloud of the pair could not be loaded; the four values are then NaN.
  bool cloudsLoaded = true;
};

// Running double-precision sums of the per-point errors of one comparison.
struct ErrorSums {
  double distance = 0.0;
  double distanceSquared = 0.0;
  double color = 0.0;
  double colorSquared = 0.0;
  std::size_t matchedPoints = 0;
};

using ColorCloud = pcl::PointCloud<pcl::PointXYZRGBA>;

// Euclidean distance of the (r, g, b) colours, each step in single precision.
float colorError(const pcl::PointXYZRGBA& point, const pcl::PointXYZRGBA& neighbour);

// Adds one matched point's distance and colour errors to the sums.
void addPointErrors(ErrorSums& sums, float distanceError, float colorError);

// Means and population variances over queryPointCount points. A query cloud whose
// points all went unmatched gives NaN: there is nothing to measure.
CloudErrorStats summarizeErrors(const ErrorSums& sums, std::size_t queryPointCount);

// True when consecutive points of the cloud lie near each other, as a scanner stores them.
bool isStoredCoherently(const ColorCloud& cloud);

// The storage positions of the cloud's points in Morton (Z-curve) order of their coordinates.
std::vector<std::uint32_t> mortonOrder(const ColorCloud& cloud);

// The errors of one query point; distance is kUnmatched where the search found no neighbour.
struct PointError {
  float distance;
  float color;
};

// The errors of every query point, by storage position.
struct PointErrors {
  std::vector<PointError> points;
  std::size_t unmatched = 0;
};

// A distance that no search produces marks a point without a neighbour.
constexpr float kUnmatched = -1.0f;

// Searches the nearest neighbour in reference of every query point, in the given order of
// storage positions. The order changes the speed only: errors are kept by position.
PointErrors nearestNeighbourErrors(const ColorCloud::Ptr& query, const ColorCloud::Ptr& reference,
                                   const std::vector<std::uint32_t>& searchOrder);

// Sums the matched points' errors in storage order, so that the rounding is that of a plain
// loop over the query cloud whatever the order of the searches.
ErrorSums sumErrors(const PointErrors& errors);

// The four statistics of the nearest neighbour in reference of every query point.
CloudErrorStats compareClouds(ColorCloud::Ptr query, ColorCloud::Ptr reference);

// Reads a PCD file into cloud after checking that PCL's reader can take it safely. On
// failure it prints the reason, if the reader did not, and returns false.
bool readCloudFile(const std::string& path, ColorCloud& cloud);

// The record that stands for a pair that could not be compared.
CloudErrorStats unloadedCloudStats();

// Reads both PCD files, drops non-finite points and compares the original against the
// reconstruction. A file that cannot be loaded is reported and gives unloadedCloudStats().
CloudErrorStats loadAndCompare(std::string originalPath, std::string reconstructedPath);

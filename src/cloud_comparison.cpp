#include "cloud_comparison.h"

#include "pcd_file_check.h"

#include <pcl/console/print.h>
#include <pcl/filters/filter.h>
#include <pcl/io/pcd_io.h>
#include <pcl/search/kdtree.h>

#include <cmath>
#include <exception>
#include <iostream>
#include <limits>
#include <memory>
#include <vector>

namespace {

const char* const kNoNeighbourMessage = "error no punto cercano encontrado";

void reportUnmatchedPoints(std::size_t count) {
  for (std::size_t i = 0; i < count; ++i)
    std::cout << kNoNeighbourMessage << std::endl;
}

void removeNonFinitePoints(ColorCloud& cloud, pcl::Indices& indices) {
  // The reader marks a cloud dense even when ascii inf or -nan values are present.
  cloud.is_dense = false;
  pcl::removeNaNFromPointCloud(cloud, cloud, indices);
}

CloudErrorStats reportLoadFailure(const std::string& path) {
  pcl::console::print(pcl::console::L_ERROR, "Error loading cloud %s.\n", path.c_str());
  return unloadedCloudStats();
}

} // namespace

float colorError(const pcl::PointXYZRGBA& point, const pcl::PointXYZRGBA& neighbour) {
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
  if (queryPointCount > 0 && sums.matchedPoints == 0) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    return CloudErrorStats{nan, nan, nan, nan};
  }
  const double n = static_cast<double>(queryPointCount);
  const double meanDistance = sums.distance / n;
  const double meanColor = sums.color / n;
  const double varianceDistance = sums.distanceSquared / n - meanDistance * meanDistance;
  const double varianceColor = sums.colorSquared / n - meanColor * meanColor;
  return CloudErrorStats{static_cast<float>(meanDistance), static_cast<float>(meanColor),
                         static_cast<float>(varianceDistance), static_cast<float>(varianceColor)};
}

CloudErrorStats compareClouds(ColorCloud::Ptr query, ColorCloud::Ptr reference) {
  auto tree = std::make_shared<pcl::search::KdTree<pcl::PointXYZRGBA>>(true);
  pcl::Indices neighbourIndices(1);
  std::vector<float> squaredDistances(1);
  std::cout << std::endl;

  ErrorSums sums;
  // FLANN cannot index an empty cloud; every search on it counts as failed.
  if (reference->empty()) {
    reportUnmatchedPoints(query->size());
    return summarizeErrors(sums, query->size());
  }
  tree->setInputCloud(reference);
  for (const auto& point : query->points) {
    if (tree->nearestKSearch(point, 1, neighbourIndices, squaredDistances) <= 0) {
      reportUnmatchedPoints(1);
      continue;
    }
    const float distanceError = std::sqrt(squaredDistances.at(0));
    const auto& neighbour = (*reference)[neighbourIndices.at(0)];
    addPointErrors(sums, distanceError, colorError(point, neighbour));
  }
  return summarizeErrors(sums, query->size());
}

bool readCloudFile(const std::string& path, ColorCloud& cloud) {
  const PcdFileCheck check = checkPcdFile(path);
  if (!check.problem.empty()) {
    pcl::console::print(pcl::console::L_WARN, "%s: %s\n", path.c_str(), check.problem.c_str());
    return false;
  }
  // PCL's conversion takes the address of the first point even when there is none.
  if (check.points == 0) {
    cloud.clear();
    return true;
  }
  // The reader's own failures, exceptions included, count as a failed load.
  try {
    pcl::PCDReader reader;
    return reader.read(path, cloud, 0) >= 0;
  } catch (const std::exception& error) {
    pcl::console::print(pcl::console::L_WARN, "%s: %s\n", path.c_str(), error.what());
    return false;
  }
}

CloudErrorStats unloadedCloudStats() {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  CloudErrorStats stats{nan, nan, nan, nan};
  stats.cloudsLoaded = false;
  return stats;
}

CloudErrorStats loadAndCompare(std::string originalPath, std::string reconstructedPath) {
  auto original = std::make_shared<ColorCloud>();
  auto reconstructed = std::make_shared<ColorCloud>();
  if (!readCloudFile(originalPath, *original))
    return reportLoadFailure(originalPath);
  if (!readCloudFile(reconstructedPath, *reconstructed))
    return reportLoadFailure(reconstructedPath);

  pcl::Indices indices;
  removeNonFinitePoints(*original, indices);
  removeNonFinitePoints(*reconstructed, indices);
  return compareClouds(original, reconstructed);
}

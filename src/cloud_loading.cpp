#include "cloud_loading.h"

#include "pcd_file_check.h"

#include <pcl/filters/filter.h>
#include <pcl/io/pcd_io.h>

#include <cmath>
#include <exception>
#include <new>
#include <sstream>

namespace {

void removeNonFinitePoints(ColorCloud& cloud) {
  // The reader marks a cloud dense even when ascii inf or -nan values are present.
  cloud.is_dense = false;
  pcl::Indices kept;
  pcl::removeNaNFromPointCloud(cloud, cloud, kept);
}

float largestMagnitude(const ColorCloud& cloud) {
  float largest = 0.0f;
  for (const auto& point : cloud)
    for (int axis = 0; axis < 3; ++axis)
      largest = std::max(largest, std::abs(point.data[axis]));
  return largest;
}

} // namespace

std::string readCloudFile(const std::string& path, ColorCloud& cloud) {
  const PcdFileCheck check = checkPcdFile(path);
  if (!check.problem.empty())
    return check.problem;
  // PCL's conversion takes the address of the first point even when there is none.
  if (check.points == 0) {
    cloud.clear();
    return "";
  }
  try {
    if (pcl::PCDReader().read(path, cloud, 0) < 0)
      return "PCL's reader failed";
  } catch (const std::bad_alloc&) {
    return "out of memory while reading";
  } catch (const std::exception& error) {
    return error.what();
  }
  return "";
}

std::string loadMeasurableCloud(const std::string& path, ColorCloud& cloud) {
  std::string problem = readCloudFile(path, cloud);
  if (!problem.empty())
    return problem;
  try {
    removeNonFinitePoints(cloud);
  } catch (const std::bad_alloc&) {
    return "out of memory while dropping non-finite points";
  }
  const float largest = largestMagnitude(cloud);
  if (largest > kLargestMeasurableCoordinate) {
    std::ostringstream reason;
    reason << "a coordinate of magnitude " << largest << " exceeds " << kLargestMeasurableCoordinate
           << ", beyond which squared distances overflow single precision";
    return reason.str();
  }
  return "";
}

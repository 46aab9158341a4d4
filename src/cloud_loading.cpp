#include "cloud_loading.h"

#include "pcd_file_check.h"

#include <pcl/filters/filter.h>
#include <pcl/io/pcd_io.h>

#include <cmath>
#include <exception>
#include <new>
#include <sstream>
#include <stdexcept>

namespace {

// Drops the points with a non-finite coordinate, and their normals when there are any.
void removeNonFinitePoints(ColorCloud& cloud, Normals* normals) {
  // The reader marks a cloud dense even when ascii inf or -nan values are present.
  cloud.is_dense = false;
  pcl::Indices kept;
  pcl::removeNaNFromPointCloud(cloud, cloud, kept);
  if (normals == nullptr || normals->empty())
    return;
  for (std::size_t i = 0; i < kept.size(); ++i)
    (*normals)[i] = (*normals)[static_cast<std::size_t>(kept[i])];
  normals->resize(kept.size());
}

// PCL's reader, keeping the normals too when attributes asks for them.
void readWithPcl(const std::string& path, bool withNormals, ColorCloud& cloud,
                 CloudAttributes* attributes) {
  if (!withNormals) {
    if (pcl::PCDReader().read(path, cloud, 0) < 0)
      throw std::runtime_error("PCL's reader failed");
    return;
  }
  pcl::PCLPointCloud2 blob;
  int version = 0;
  if (pcl::PCDReader().read(path, blob, cloud.sensor_origin_, cloud.sensor_orientation_, version,
                            0) < 0)
    throw std::runtime_error("PCL's reader failed");
  pcl::fromPCLPointCloud2(blob, cloud);
  pcl::PointCloud<pcl::Normal> normals;
  pcl::fromPCLPointCloud2(blob, normals);
  attributes->normals.resize(normals.size());
  for (std::size_t i = 0; i < normals.size(); ++i)
    attributes->normals[i] = normals[i].getNormalVector3fMap();
}

float largestMagnitude(const ColorCloud& cloud) {
  float largest = 0.0f;
  for (const auto& point : cloud)
    for (int axis = 0; axis < 3; ++axis)
      largest = std::max(largest, std::abs(point.data[axis]));
  return largest;
}

// readCloudFile, also reading the attributes when asked for.
std::string readCloud(const std::string& path, ColorCloud& cloud, CloudAttributes* attributes) {
  const PcdFileCheck check = checkPcdFile(path);
  if (!check.problem.empty())
    return check.problem;
  if (attributes != nullptr)
    attributes->hasColor = check.hasColor;
  // PCL's conversion takes the address of the first point even when there is none.
  if (check.points == 0) {
    cloud.clear();
    return "";
  }
  try {
    readWithPcl(path, attributes != nullptr && check.hasNormals, cloud, attributes);
  } catch (const std::bad_alloc&) {
    return "out of memory while reading";
  } catch (const std::exception& error) {
    return error.what();
  }
  return "";
}

// loadMeasurableCloud, also reading the attributes when asked for.
std::string loadCloud(const std::string& path, ColorCloud& cloud, CloudAttributes* attributes) {
  std::string problem = readCloud(path, cloud, attributes);
  if (!problem.empty())
    return problem;
  try {
    removeNonFinitePoints(cloud, attributes != nullptr ? &attributes->normals : nullptr);
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

} // namespace

std::string readCloudFile(const std::string& path, ColorCloud& cloud) {
  return readCloud(path, cloud, nullptr);
}

std::string readCloudFile(const std::string& path, ColorCloud& cloud, CloudAttributes& attributes) {
  return readCloud(path, cloud, &attributes);
}

std::string loadMeasurableCloud(const std::string& path, ColorCloud& cloud) {
  return loadCloud(path, cloud, nullptr);
}

std::string loadMeasurableCloud(const std::string& path, ColorCloud& cloud,
                                CloudAttributes& attributes) {
  return loadCloud(path, cloud, &attributes);
}

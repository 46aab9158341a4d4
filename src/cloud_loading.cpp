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

// PCL's reader, keeping the file's normals too when normals is given.
void readWithPcl(const std::string& path, ColorCloud& cloud, Normals* normals) {
  if (normals == nullptr) {
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
  pcl::PointCloud<pcl::Normal> fileNormals;
  pcl::fromPCLPointCloud2(blob, fileNormals);
  normals->resize(fileNormals.size());
  for (std::size_t i = 0; i < fileNormals.size(); ++i)
    (*normals)[i] = fileNormals[i].getNormalVector3fMap();
}

float largestMagnitude(const ColorCloud& cloud) {
  float largest = 0.0f;
  for (const auto& point : cloud)
    for (int axis = 0; axis < 3; ++axis)
      largest = std::max(largest, std::abs(point.data[axis]));
  return largest;
}

// readCloudFile, also telling whether the file has colour and reading its normals, each when
// asked for.
std::string readCloud(const std::string& path, ColorCloud& cloud, bool* hasColor,
                      Normals* normals) {
  const PcdFileCheck check = checkPcdFile(path);
  if (!check.problem.empty())
    return check.problem;
  if (hasColor != nullptr)
    *hasColor = check.hasColor;
  // PCL's conversion takes the address of the first point even when there is none.
  if (check.points == 0) {
    cloud.clear();
    return "";
  }
  try {
    readWithPcl(path, cloud, check.hasNormals ? normals : nullptr);
  } catch (const std::bad_alloc&) {
    return "out of memory while reading";
  } catch (const std::exception& error) {
    return error.what();
  }
  return "";
}

// loadMeasurableCloud, also reading the attributes when asked for.
std::string loadCloud(const std::string& path, ColorCloud& cloud, CloudAttributes* attributes) {
  std::string problem = attributes != nullptr
                            ? readCloud(path, cloud, &attributes->hasColor, &attributes->normals)
                            : readCloud(path, cloud, nullptr, nullptr);
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
  return readCloud(path, cloud, nullptr, nullptr);
}

std::string readCloudFile(const std::string& path, ColorCloud& cloud, bool& hasColor) {
  return readCloud(path, cloud, &hasColor, nullptr);
}

std::string loadMeasurableCloud(const std::string& path, ColorCloud& cloud) {
  return loadCloud(path, cloud, nullptr);
}

std::string loadMeasurableCloud(const std::string& path, ColorCloud& cloud,
                                CloudAttributes& attributes) {
  return loadCloud(path, cloud, &attributes);
}

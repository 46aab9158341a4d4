#include "cloud_loading.h"

#include "pcd_file_check.h"

#include <pcl/filters/filter.h>
#include <pcl/io/pcd_io.h>

#include <cmath>
#include <exception>
#include <new>
#include <sstream>
#include <stdexcept>
#include <system_error>
#include <thread>

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

// readCloudFile into loaded.
void readCloud(const std::string& path, NormalReading normals, LoadedCloud& loaded) {
  const PcdFileCheck check = checkPcdFile(path);
  if (!check.problem.empty()) {
    loaded.problem = check.problem;
    return;
  }
  loaded.attributes.hasColor = check.hasColor;
  // PCL's conversion takes the address of the first point even when there is none.
  if (check.points == 0)
    return;
  try {
    readWithPcl(path, loaded.cloud,
                check.hasNormals && normals == NormalReading::Read ? &loaded.attributes.normals
                                                                   : nullptr);
  } catch (const std::bad_alloc&) {
    loaded.problem = "out of memory while reading";
  } catch (const std::exception& error) {
    loaded.problem = error.what();
  }
}

// The reason a loaded cloud cannot be measured; empty when it can.
std::string makeMeasurable(LoadedCloud& loaded) {
  try {
    removeNonFinitePoints(loaded.cloud, &loaded.attributes.normals);
  } catch (const std::bad_alloc&) {
    return "out of memory while dropping non-finite points";
  }
  const float largest = largestMagnitude(loaded.cloud);
  if (largest > kLargestMeasurableCoordinate) {
    std::ostringstream reason;
    reason << "a coordinate of magnitude " << largest << " exceeds " << kLargestMeasurableCoordinate
           << ", beyond which squared distances overflow single precision";
    return reason.str();
  }
  return "";
}

} // namespace

LoadedCloud readCloudFile(const std::string& path, NormalReading normals) {
  LoadedCloud loaded;
  readCloud(path, normals, loaded);
  return loaded;
}

LoadedCloud loadMeasurableCloud(const std::string& path, NormalReading normals) {
  LoadedCloud loaded = readCloudFile(path, normals);
  if (loaded.problem.empty())
    loaded.problem = makeMeasurable(loaded);
  return loaded;
}

LoadedPair loadPair(const std::string& originalPath, const std::string& decodedPath,
                    unsigned threads, NormalReading normals) {
  LoadedPair pair;
  std::thread reader;
  if (threads > 1) {
    // With threads to spare the decoded cloud is read while the original is.
    try {
      reader = std::thread([&] { pair.decoded = loadMeasurableCloud(decodedPath, normals); });
    } catch (const std::system_error&) {
      // read it afterwards instead
    }
  }
  pair.original = loadMeasurableCloud(originalPath, normals);
  if (reader.joinable())
    reader.join();
  else if (pair.original.problem.empty())
    pair.decoded = loadMeasurableCloud(decodedPath, normals);
  // The first file that cannot be loaded is the one reported.
  if (!pair.original.problem.empty())
    pair.problem = PairProblem{originalPath, pair.original.problem};
  else if (!pair.decoded.problem.empty())
    pair.problem = PairProblem{decodedPath, pair.decoded.problem};
  return pair;
}

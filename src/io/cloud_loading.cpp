#include "io/cloud_loading.h"

#include "common/finite_points.h"
#include "io/detail/pcd_binary_reading.h"
#include "io/pcd_file_check.h"
#include "io/pcl_pcd_reader.h"
#include "io/ply_loading.h"

#include <pcl/conversions.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <exception>
#include <new>
#include <sstream>
#include <stdexcept>
#include <system_error>
#include <thread>

namespace {

// Keeps the values of the points kept, in order.
template <typename Values> void keepValues(Values& values, const pcl::Indices& kept) {
  if (values.empty())
    return;
  for (std::size_t i = 0; i < kept.size(); ++i)
    values[i] = values[static_cast<std::size_t>(kept[i])];
  values.resize(kept.size());
}

// Drops the points with a non-finite coordinate, and their normals and reflectance when there
// are any.
void removeNonFinitePoints(ColorCloud& cloud, CloudAttributes& attributes) {
  // The reader marks a cloud dense even when ascii inf or -nan values are present.
  cloud.is_dense = false;
  pcl::Indices kept;
  keepFinitePoints(cloud, kept);
  keepValues(attributes.normals, kept);
  keepValues(attributes.reflectance, kept);
}

// The reflectance of every point from the blob's field, or why it is not reflectance: a field
// of one value a point holding whole numbers from 0 to 65535.
std::string readReflectance(const pcl::PCLPointCloud2& blob, const std::string& name,
                            Reflectance& reflectance) {
  const auto field =
      std::find_if(blob.fields.begin(), blob.fields.end(),
                   [&name](const pcl::PCLPointField& candidate) { return candidate.name == name; });
  if (field == blob.fields.end())
    return "";
  if (field->count != 1)
    return "its " + name + " field has " + std::to_string(field->count) +
           " values a point, where reflectance is one";
  const std::size_t points = static_cast<std::size_t>(blob.width) * blob.height;
  reflectance.resize(points);
  for (std::size_t i = 0; i < points; ++i) {
    const std::uint8_t* bytes = blob.data.data() + i * blob.point_step + field->offset;
    const auto read = [bytes](auto value) {
      std::memcpy(&value, bytes, sizeof value);
      return static_cast<double>(value);
    };
    double value = 0.0;
    switch (field->datatype) {
    case pcl::PCLPointField::INT8:
      value = read(std::int8_t{});
      break;
    case pcl::PCLPointField::UINT8:
      value = read(std::uint8_t{});
      break;
    case pcl::PCLPointField::INT16:
      value = read(std::int16_t{});
      break;
    case pcl::PCLPointField::UINT16:
      value = read(std::uint16_t{});
      break;
    case pcl::PCLPointField::INT32:
      value = read(std::int32_t{});
      break;
    case pcl::PCLPointField::UINT32:
      value = read(std::uint32_t{});
      break;
    case pcl::PCLPointField::FLOAT32:
      value = read(float{});
      break;
    case pcl::PCLPointField::FLOAT64:
      value = read(double{});
      break;
    default:
      reflectance.clear();
      return "its " + name + " field is of a type that reflectance cannot be";
    }
    if (!(value >= 0.0 && value <= 65535.0 && std::floor(value) == value)) {
      reflectance.clear();
      std::ostringstream reason;
      reason << "its " << name << " field holds " << value << " at point " << i
             << ", where reflectance is a whole number from 0 to 65535";
      return reason.str();
    }
    reflectance[i] = static_cast<std::uint16_t>(value);
  }
  return "";
}

// PCL's reader, keeping the file's normals too when normals is given, and the reflectance of
// the field named, if any.
void readWithPcl(const std::string& path, ColorCloud& cloud, Normals* normals,
                 const std::string& reflectanceField = "", CloudAttributes* attributes = nullptr) {
  pcl::PCLPointCloud2 blob;
  int version = 0;
  if (readPcdWithPcl(path, blob, cloud.sensor_origin_, cloud.sensor_orientation_, version) < 0)
    throw std::runtime_error("PCL's reader failed");
  pcl::fromPCLPointCloud2(blob, cloud);
  if (attributes != nullptr && !reflectanceField.empty())
    attributes->reflectanceProblem =
        readReflectance(blob, reflectanceField, attributes->reflectance);
  if (normals == nullptr)
    return;
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

// readPcdFile into loaded, for a file whose check has passed.
void readCheckedCloud(const std::string& path, const PcdFileCheck& check, NormalReading normals,
                      LoadedCloud& loaded,
                      ReflectanceReading reflectance = ReflectanceReading::Skip) {
  loaded.attributes.hasColor = check.hasColor;
  // PCL's conversion takes the address of the first point even when there is none.
  if (check.points == 0)
    return;
  try {
    readWithPcl(
        path, loaded.cloud,
        check.hasNormals && normals == NormalReading::Read ? &loaded.attributes.normals : nullptr,
        reflectance == ReflectanceReading::Read ? check.reflectanceField : "", &loaded.attributes);
  } catch (const std::bad_alloc&) {
    loaded.problem = "out of memory while reading";
  } catch (const std::exception& error) {
    loaded.problem = error.what();
  }
}

// readPcdFile into loaded.
void readCloud(const std::string& path, NormalReading normals, LoadedCloud& loaded) {
  const PcdFileCheck check = checkPcdFile(path);
  if (!check.problem.empty())
    loaded.problem = check.problem;
  else
    readCheckedCloud(path, check, normals, loaded);
}

// The reason a loaded cloud cannot be measured; empty when it can.
std::string makeMeasurable(LoadedCloud& loaded) {
  try {
    removeNonFinitePoints(loaded.cloud, loaded.attributes);
  } catch (const std::bad_alloc&) {
    return "out of memory while dropping non-finite points";
  }
  const float largest = largestMagnitude(loaded.cloud);
  if (largest > kLargestMeasurableCoordinate)
    return tooLargeCoordinate(largest);
  return "";
}

// A PLY file's measurable points, through the PLY reader.
LoadedPoints readMeasurablePlyPoints(const std::string& path, NormalReading normals,
                                     ReflectanceReading reflectance) {
  LoadedPoints loaded = readPlyPoints(path);
  if (normals == NormalReading::Skip)
    loaded.attributes.normals.clear();
  if (reflectance == ReflectanceReading::Skip) {
    loaded.attributes.reflectance.clear();
    loaded.attributes.reflectanceProblem.clear();
  }
  if (loaded.problem.empty())
    loaded.problem = keepMeasurablePoints(loaded);
  // A cloud that cannot be measured keeps nothing but its problem.
  if (!loaded.problem.empty()) {
    loaded.points = PointList();
    loaded.attributes = CloudAttributes();
  }
  return loaded;
}

bool isPlyPath(const std::string& path) {
  return path.size() >= 4 && path.compare(path.size() - 4, 4, ".ply") == 0;
}

LoadedPoints readMeasurablePoints(const std::string& path, NormalReading normals,
                                  ReflectanceReading reflectance) {
  if (isPlyPath(path))
    return readMeasurablePlyPoints(path, normals, reflectance);
  LoadedPoints loaded;
  const PcdFileCheck check = checkPcdFile(path);
  if (!check.problem.empty()) {
    loaded.problem = check.problem;
    return loaded;
  }
  loaded.attributes.hasColor = check.hasColor;
  const bool readNormals = check.hasNormals && normals == NormalReading::Read;
  // The reflectance is read from PCL's blob: such a file does not take the direct path.
  if (reflectance == ReflectanceReading::Skip || check.reflectanceField.empty())
    reflectance = ReflectanceReading::Skip;
  if (check.binaryLayout && reflectance == ReflectanceReading::Skip) {
    const PcdBinaryLayout& layout = *check.binaryLayout;
    loaded.sensorOrigin = Eigen::Vector4f(layout.sensorOrigin[0], layout.sensorOrigin[1],
                                          layout.sensorOrigin[2], 0.0f);
    const std::optional<std::string> problem =
        readPointsDirectly(path, layout, check.points, loaded.points,
                           readNormals ? &loaded.attributes.normals : nullptr);
    if (problem) {
      loaded.problem = *problem;
      return loaded;
    }
    loaded.points.clear();
    loaded.attributes.normals.clear();
  }
  LoadedCloud cloud;
  readCheckedCloud(path, check, normals, cloud, reflectance);
  if (cloud.problem.empty())
    cloud.problem = makeMeasurable(cloud);
  loaded.problem = cloud.problem;
  if (!loaded.problem.empty())
    return loaded;
  loaded.points = toPointList(cloud.cloud);
  loaded.attributes.normals = std::move(cloud.attributes.normals);
  loaded.attributes.reflectance = std::move(cloud.attributes.reflectance);
  loaded.attributes.reflectanceProblem = std::move(cloud.attributes.reflectanceProblem);
  loaded.sensorOrigin = cloud.cloud.sensor_origin_;
  return loaded;
}

// Loads both clouds with load, the decoded one on a second thread when there are threads to
// spare; the first that cannot be loaded is the problem reported.
template <typename Loaded, typename Load>
LoadedClouds<Loaded> loadBoth(const std::string& originalPath, const std::string& decodedPath,
                              unsigned threads, const Load& load) {
  LoadedClouds<Loaded> pair;
  std::thread reader;
  if (threads > 1) {
    try {
      reader = std::thread([&] { pair.decoded = load(decodedPath); });
    } catch (const std::system_error&) {
      // read it afterwards instead
    }
  }
  pair.original = load(originalPath);
  if (reader.joinable())
    reader.join();
  else if (pair.original.problem.empty())
    pair.decoded = load(decodedPath);
  if (!pair.original.problem.empty())
    pair.problem = PairProblem{originalPath, pair.original.problem};
  else if (!pair.decoded.problem.empty())
    pair.problem = PairProblem{decodedPath, pair.decoded.problem};
  return pair;
}

} // namespace

LoadedCloud readPcdFile(const std::string& path, NormalReading normals) {
  LoadedCloud loaded;
  readCloud(path, normals, loaded);
  return loaded;
}

LoadedCloud loadMeasurableCloud(const std::string& path, NormalReading normals) {
  LoadedCloud loaded = readPcdFile(path, normals);
  if (loaded.problem.empty())
    loaded.problem = makeMeasurable(loaded);
  return loaded;
}

LoadedPoints loadMeasurablePoints(const std::string& path, NormalReading normals,
                                  ReflectanceReading reflectance) {
  try {
    return readMeasurablePoints(path, normals, reflectance);
  } catch (const std::bad_alloc&) {
    LoadedPoints failed;
    failed.problem = "out of memory while reading";
    return failed;
  } catch (const std::exception& error) {
    LoadedPoints failed;
    failed.problem = error.what();
    return failed;
  }
}

std::string keepMeasurablePoints(LoadedPoints& loaded) {
  PointList& points = loaded.points;
  Normals& normals = loaded.attributes.normals;
  Reflectance& reflectance = loaded.attributes.reflectance;
  const bool withNormals = normals.size() == points.size();
  const bool withReflectance = reflectance.size() == points.size();
  std::size_t kept = 0;
  float largest = 0.0f;
  for (std::size_t i = 0; i < points.size(); ++i) {
    const float* position = points[i].position;
    if (!std::isfinite(position[0]) || !std::isfinite(position[1]) || !std::isfinite(position[2]))
      continue;
    for (int axis = 0; axis < 3; ++axis)
      largest = std::max(largest, std::abs(position[axis]));
    points[kept] = points[i];
    if (withNormals)
      normals[kept] = normals[i];
    if (withReflectance)
      reflectance[kept] = reflectance[i];
    ++kept;
  }
  points.resize(kept);
  if (withNormals)
    normals.resize(kept);
  if (withReflectance)
    reflectance.resize(kept);
  return largest > kLargestMeasurableCoordinate ? tooLargeCoordinate(largest) : "";
}

ColorCloud toColorCloud(const LoadedPoints& loaded) {
  ColorCloud cloud;
  cloud.resize(loaded.points.size());
  for (std::size_t i = 0; i < loaded.points.size(); ++i) {
    const ColorPoint& point = loaded.points[i];
    cloud[i] = pcl::PointXYZRGBA(point.position[0], point.position[1], point.position[2], point.r,
                                 point.g, point.b, 255);
  }
  cloud.sensor_origin_ = loaded.sensorOrigin;
  return cloud;
}

LoadedPointPair loadPointPair(const std::string& originalPath, const std::string& decodedPath,
                              unsigned threads, NormalReading normals,
                              ReflectanceReading reflectance) {
  return loadBoth<LoadedPoints>(originalPath, decodedPath, threads, [&](const std::string& path) {
    return loadMeasurablePoints(path, normals, reflectance);
  });
}

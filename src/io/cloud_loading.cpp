#include "io/cloud_loading.h"

#include "io/pcd_file_check.h"
#include "io/pcl_pcd_reader.h"

#include <pcl/conversions.h>
#include <pcl/filters/filter.h>

#include <lzf.h>

#include <fcntl.h>
#include <unistd.h>

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
  pcl::PCLPointCloud2 blob;
  int version = 0;
  if (readPcdWithPcl(path, blob, cloud.sensor_origin_, cloud.sensor_orientation_, version) < 0)
    throw std::runtime_error("PCL's reader failed");
  pcl::fromPCLPointCloud2(blob, cloud);
  if (normals == nullptr)
    return;
  pcl::PointCloud<pcl::Normal> fileNormals;
  pcl::fromPCLPointCloud2(blob, fileNormals);
  normals->resize(fileNormals.size());
  for (std::size_t i = 0; i < fileNormals.size(); ++i)
    (*normals)[i] = fileNormals[i].getNormalVector3fMap();
}

std::string tooLargeCoordinate(float largest) {
  std::ostringstream reason;
  reason << "a coordinate of magnitude " << largest << " exceeds " << kLargestMeasurableCoordinate
         << ", beyond which squared distances overflow single precision";
  return reason.str();
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
                      LoadedCloud& loaded) {
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
    removeNonFinitePoints(loaded.cloud, &loaded.attributes.normals);
  } catch (const std::bad_alloc&) {
    return "out of memory while dropping non-finite points";
  }
  const float largest = largestMagnitude(loaded.cloud);
  if (largest > kLargestMeasurableCoordinate)
    return tooLargeCoordinate(largest);
  return "";
}

// Closes a file descriptor on every way out.
struct OpenFile {
  int descriptor;
  ~OpenFile() {
    if (descriptor >= 0)
      close(descriptor);
  }
};

// Fills buffer from the file at offset; false when the file ends first.
bool readFully(int descriptor, unsigned char* buffer, std::size_t bytes, std::uint64_t offset) {
  while (bytes > 0) {
    const ssize_t got = pread(descriptor, buffer, bytes, static_cast<off_t>(offset));
    if (got < 0 && errno == EINTR)
      continue;
    if (got < 0)
      throw std::runtime_error(std::string("cannot be read: ") + std::strerror(errno));
    if (got == 0)
      return false;
    buffer += got;
    bytes -= static_cast<std::size_t>(got);
    offset += static_cast<std::uint64_t>(got);
  }
  return true;
}

float readFloat(const unsigned char* bytes) {
  float value;
  std::memcpy(&value, bytes, sizeof value);
  return value;
}

// The points taken so far from a file's bytes.
struct PointsRead {
  PointList& points;
  Normals* normals; // when the normals are read
  std::size_t kept = 0;
  float largest = 0.0f;
};

// Takes the points with finite coordinates out of decoded bytes where the field at offset o of
// point i lies at i * pointStride + o * fieldScale: the same values that PCL's reader copies
// into a PointXYZRGBA (its rgba bytes are blue, green, red, alpha) and a Normal.
void takePoints(const unsigned char* data, std::size_t count, std::size_t pointStride,
                std::size_t fieldScale, const PcdBinaryLayout& layout, PointsRead& read) {
  const auto field = [&](std::size_t i, std::uint64_t offset) {
    return data + i * pointStride + offset * fieldScale;
  };
  for (std::size_t i = 0; i < count; ++i) {
    ColorPoint& point = read.points[read.kept];
    bool finite = true;
    for (int axis = 0; axis < 3; ++axis) {
      const float value = readFloat(field(i, layout.coordinateOffsets[axis]));
      finite = finite && std::isfinite(value);
      point.position[axis] = value;
    }
    if (!finite)
      continue;
    for (int axis = 0; axis < 3; ++axis)
      read.largest = std::max(read.largest, std::abs(point.position[axis]));
    if (layout.colorOffset) {
      const unsigned char* color = field(i, *layout.colorOffset);
      point.r = color[2];
      point.g = color[1];
      point.b = color[0];
    } else {
      point.r = point.g = point.b = 0;
    }
    if (read.normals != nullptr)
      for (int axis = 0; axis < 3; ++axis)
        (*read.normals)[read.kept][axis] = readFloat(field(i, (*layout.normalOffsets)[axis]));
    ++read.kept;
  }
}

// A binary body, a block at a time, without holding the whole file in memory.
std::string readBinaryBody(int descriptor, const PcdBinaryLayout& layout, std::uint64_t count,
                           PointsRead& read) {
  constexpr std::size_t kBlockBytes = std::size_t{1} << 18;
  const std::size_t step = layout.pointStep;
  const std::size_t blockPoints = std::max<std::size_t>(1, kBlockBytes / step);
  std::vector<unsigned char> block(blockPoints * step);
  for (std::uint64_t done = 0; done < count;) {
    const auto inBlock =
        static_cast<std::size_t>(std::min<std::uint64_t>(blockPoints, count - done));
    if (!readFully(descriptor, block.data(), inBlock * step, layout.dataOffset + done * step))
      return "the file ended while it was read";
    takePoints(block.data(), inBlock, step, 1, layout, read);
    done += inBlock;
  }
  return "";
}

// A binary_compressed body, decompressed whole with liblzf (PCL's LZF is liblzf's); false when it
// does not decompress to exactly the size it claims, which is left to PCL's reader to report.
bool readCompressedBody(int descriptor, const PcdBinaryLayout& layout, std::uint64_t count,
                        PointsRead& read) {
  unsigned char prefix[8];
  if (!readFully(descriptor, prefix, sizeof prefix, layout.dataOffset))
    return false;
  std::uint32_t sizes[2];
  std::memcpy(sizes, prefix, sizeof sizes);
  std::vector<unsigned char, BulkAllocator<unsigned char>> compressed(sizes[0]);
  std::vector<unsigned char, BulkAllocator<unsigned char>> data(sizes[1]);
  if (sizes[1] != count * layout.pointStep ||
      !readFully(descriptor, compressed.data(), compressed.size(), layout.dataOffset + 8) ||
      lzf_decompress(compressed.data(), sizes[0], data.data(), sizes[1]) != sizes[1])
    return false;
  std::vector<unsigned char, BulkAllocator<unsigned char>>().swap(compressed);
  takePoints(data.data(), static_cast<std::size_t>(count), 4, static_cast<std::size_t>(count),
             layout, read);
  return true;
}

// The points of a DATA binary or binary_compressed file with finite coordinates, and their
// normals when normals is given; none when PCL's reader is left to read the file.
std::optional<std::string> readPointsDirectly(const std::string& path,
                                              const PcdBinaryLayout& layout, std::uint64_t count,
                                              PointList& points, Normals* normals) {
  const OpenFile file{open(path.c_str(), O_RDONLY | O_CLOEXEC)};
  if (file.descriptor < 0)
    return std::string("cannot be opened: ") + std::strerror(errno);
  points.resize(count);
  if (normals != nullptr)
    normals->resize(count);
  PointsRead read{points, normals};
  std::string problem;
  if (!layout.compressed)
    problem = readBinaryBody(file.descriptor, layout, count, read);
  else if (!readCompressedBody(file.descriptor, layout, count, read))
    return std::nullopt;
  points.resize(read.kept);
  if (normals != nullptr)
    normals->resize(read.kept);
  if (problem.empty() && read.largest > kLargestMeasurableCoordinate)
    problem = tooLargeCoordinate(read.largest);
  return problem;
}

LoadedPoints readMeasurablePoints(const std::string& path, NormalReading normals) {
  LoadedPoints loaded;
  const PcdFileCheck check = checkPcdFile(path);
  if (!check.problem.empty()) {
    loaded.problem = check.problem;
    return loaded;
  }
  loaded.attributes.hasColor = check.hasColor;
  const bool readNormals = check.hasNormals && normals == NormalReading::Read;
  if (check.binaryLayout) {
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
  readCheckedCloud(path, check, normals, cloud);
  if (cloud.problem.empty())
    cloud.problem = makeMeasurable(cloud);
  loaded.problem = cloud.problem;
  if (!loaded.problem.empty())
    return loaded;
  loaded.points = toPointList(cloud.cloud);
  loaded.attributes.normals = std::move(cloud.attributes.normals);
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

LoadedPoints loadMeasurablePoints(const std::string& path, NormalReading normals) {
  try {
    return readMeasurablePoints(path, normals);
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
                              unsigned threads, NormalReading normals) {
  return loadBoth<LoadedPoints>(originalPath, decodedPath, threads, [&](const std::string& path) {
    return loadMeasurablePoints(path, normals);
  });
}

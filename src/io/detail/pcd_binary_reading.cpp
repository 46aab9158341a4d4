#include "io/detail/pcd_binary_reading.h"

#include "io/cloud_loading.h"

#include <lzf.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <sstream>
#include <stdexcept>
#include <vector>

std::string tooLargeCoordinate(float largest) {
  std::ostringstream reason;
  reason << "a coordinate of magnitude " << largest << " exceeds " << kLargestMeasurableCoordinate
         << ", beyond which squared distances overflow single precision";
  return reason.str();
}

namespace {

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

} // namespace

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

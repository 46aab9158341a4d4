#include "cloud_comparison.h"

#include "pcd_file_check.h"

#include <pcl/console/print.h>
#include <pcl/filters/filter.h>
#include <pcl/io/pcd_io.h>
#include <pcl/search/kdtree.h>

#include <cmath>
#include <cstdint>
#include <exception>
#include <iostream>
#include <limits>
#include <memory>
#include <optional>
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

constexpr double kMortonCells = 1 << 10;
constexpr std::size_t kPrefetchDistance = 8;

struct Bounds {
  float lowest[3];
  float highest[3];
  // In double precision the span of any two finite floats is finite.
  double span(int axis) const { return static_cast<double>(highest[axis]) - lowest[axis]; }
};

Bounds boundsOf(const ColorCloud& cloud) {
  const float largest = std::numeric_limits<float>::max();
  Bounds bounds{{largest, largest, largest}, {-largest, -largest, -largest}};
  for (const auto& point : cloud)
    for (int axis = 0; axis < 3; ++axis) {
      bounds.lowest[axis] = std::min(bounds.lowest[axis], point.data[axis]);
      bounds.highest[axis] = std::max(bounds.highest[axis], point.data[axis]);
    }
  return bounds;
}

// Spreads the low ten bits of value to every third bit.
std::uint64_t spreadBits(std::uint32_t value) {
  std::uint64_t bits = value & 0x3ff;
  bits = (bits | bits << 16) & 0x30000ff;
  bits = (bits | bits << 8) & 0x300f00f;
  bits = (bits | bits << 4) & 0x30c30c3;
  bits = (bits | bits << 2) & 0x9249249;
  return bits;
}

// Least significant digit radix sort on the 30-bit Morton codes in the upper half of the keys;
// positions in the lower half stay in storage order within a cell.
void sortByMortonCode(std::vector<std::uint64_t>& keys) {
  constexpr int kDigitBits = 10;
  std::vector<std::uint64_t> buffer(keys.size());
  for (int shift = 32; shift < 62; shift += kDigitBits) {
    std::vector<std::size_t> offsets((1 << kDigitBits) + 1, 0);
    for (const std::uint64_t key : keys)
      ++offsets[((key >> shift) & ((1 << kDigitBits) - 1)) + 1];
    for (std::size_t digit = 1; digit < offsets.size(); ++digit)
      offsets[digit] += offsets[digit - 1];
    for (const std::uint64_t key : keys)
      buffer[offsets[(key >> shift) & ((1 << kDigitBits) - 1)]++] = key;
    keys.swap(buffer);
  }
}

// Searches the nearest neighbour in reference of the query point at each position of the
// sequence and hands the point's errors to record(position, distance, colour). Returns the
// number of points without a neighbour.
template <typename PositionAt, typename Record>
std::size_t searchNeighbours(const ColorCloud& query, const ColorCloud::Ptr& reference,
                             PositionAt positionAt, Record record) {
  // FLANN cannot index an empty cloud; every search on it counts as failed.
  if (reference->empty())
    return query.size();
  auto tree = std::make_shared<pcl::search::KdTree<pcl::PointXYZRGBA>>(true);
  pcl::Indices neighbourIndices(1);
  std::vector<float> squaredDistances(1);
  tree->setInputCloud(reference);
  // The neighbour's colour is read one search later, after a prefetch: the kd-tree keeps
  // coordinates of its own, so the reference point itself is not in cache after the search.
  struct Match {
    std::uint32_t position;
    pcl::index_t neighbour;
    float distance;
  };
  std::optional<Match> previous;
  const auto recordPrevious = [&] {
    if (previous)
      record(previous->position, previous->distance,
             colorError(query[previous->position], (*reference)[previous->neighbour]));
  };
  std::size_t unmatched = 0;
  for (std::size_t i = 0; i < query.size(); ++i) {
    // In a scattered order the next query points lie anywhere in memory; fetch them early.
    if (i + kPrefetchDistance < query.size())
      __builtin_prefetch(&query[positionAt(i + kPrefetchDistance)]);
    const std::uint32_t position = positionAt(i);
    if (tree->nearestKSearch(query[position], 1, neighbourIndices, squaredDistances) <= 0) {
      ++unmatched;
      continue;
    }
    __builtin_prefetch(&(*reference)[neighbourIndices.at(0)]);
    recordPrevious();
    previous = Match{position, neighbourIndices.at(0), std::sqrt(squaredDistances.at(0))};
  }
  recordPrevious();
  return unmatched;
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

std::vector<std::uint32_t> mortonOrder(const ColorCloud& cloud) {
  const Bounds bounds = boundsOf(cloud);
  // A flat axis puts every point in cell 0.
  double scale[3];
  for (int axis = 0; axis < 3; ++axis)
    scale[axis] = bounds.span(axis) > 0.0 ? (kMortonCells - 1) / bounds.span(axis) : 0.0;

  // Each key holds the cell's Morton code above the point's storage position.
  std::vector<std::uint64_t> keys(cloud.size());
  for (std::size_t i = 0; i < cloud.size(); ++i) {
    std::uint64_t code = 0;
    for (int axis = 0; axis < 3; ++axis) {
      const double offset = static_cast<double>(cloud[i].data[axis]) - bounds.lowest[axis];
      const auto cell =
          static_cast<std::uint32_t>(std::min(offset * scale[axis], kMortonCells - 1));
      code |= spreadBits(cell) << axis;
    }
    keys[i] = code << 32 | i;
  }
  sortByMortonCode(keys);
  std::vector<std::uint32_t> order(keys.size());
  for (std::size_t i = 0; i < keys.size(); ++i)
    order[i] = static_cast<std::uint32_t>(keys[i]);
  return order;
}

PointErrors nearestNeighbourErrors(const ColorCloud::Ptr& query, const ColorCloud::Ptr& reference,
                                   const std::vector<std::uint32_t>& searchOrder) {
  PointErrors errors;
  errors.points.assign(query->size(), PointError{kUnmatched, 0.0f});
  errors.unmatched = searchNeighbours(
      *query, reference, [&](std::size_t i) { return searchOrder[i]; },
      [&](std::uint32_t position, float distance, float color) {
        errors.points[position] = {distance, color};
      });
  return errors;
}

ErrorSums sumErrors(const PointErrors& errors) {
  ErrorSums sums;
  for (const PointError& point : errors.points)
    if (point.distance != kUnmatched)
      addPointErrors(sums, point.distance, point.color);
  return sums;
}

bool isStoredCoherently(const ColorCloud& cloud) {
  if (cloud.size() < 2)
    return true;
  double steps = 0.0;
  for (std::size_t i = 1; i < cloud.size(); ++i)
    for (int axis = 0; axis < 3; ++axis)
      steps += std::abs(static_cast<double>(cloud[i].data[axis]) - cloud[i - 1].data[axis]);
  const Bounds bounds = boundsOf(cloud);
  const double diagonal = bounds.span(0) + bounds.span(1) + bounds.span(2);
  // Points of a volume lie about diagonal / cbrt(n) apart, of a surface closer still; a
  // scanner's order steps about that far, a shuffled order about half the diagonal.
  const double meanStep = steps / static_cast<double>(cloud.size() - 1);
  return meanStep * std::cbrt(static_cast<double>(cloud.size())) < diagonal;
}

CloudErrorStats compareClouds(ColorCloud::Ptr query, ColorCloud::Ptr reference) {
  std::cout << std::endl;
  // A cloud in a scanner's order is searched and summed in one plain pass. A scattered one
  // is searched in Morton order, where neighbouring queries walk the same branches of the
  // tree, and its errors are summed in storage order afterwards.
  ErrorSums sums;
  std::size_t unmatched = 0;
  if (isStoredCoherently(*query)) {
    unmatched = searchNeighbours(
        *query, reference, [](std::size_t i) { return static_cast<std::uint32_t>(i); },
        [&](std::uint32_t, float distance, float color) { addPointErrors(sums, distance, color); });
  } else {
    const PointErrors errors = nearestNeighbourErrors(query, reference, mortonOrder(*query));
    sums = sumErrors(errors);
    unmatched = errors.unmatched;
  }
  reportUnmatchedPoints(unmatched);
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

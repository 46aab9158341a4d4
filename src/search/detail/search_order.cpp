#include "search/detail/search_order.h"

#include "common/bulk_allocator.h"
#include "common/radix_sort.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

namespace {

constexpr int kAxes = 3;

struct Bounds {
  float lowest[kAxes];
  float highest[kAxes];
  // In double precision the span of any two finite floats is finite.
  double span(int axis) const { return static_cast<double>(highest[axis]) - lowest[axis]; }
};

template <typename Cloud> Bounds boundsOf(const Cloud& cloud) {
  const float largest = std::numeric_limits<float>::max();
  Bounds bounds{{largest, largest, largest}, {-largest, -largest, -largest}};
  for (std::size_t i = 0; i < cloud.size(); ++i) {
    const float* point = coordinatesOf(cloud, i);
    for (int axis = 0; axis < kAxes; ++axis) {
      bounds.lowest[axis] = std::min(bounds.lowest[axis], point[axis]);
      bounds.highest[axis] = std::max(bounds.highest[axis], point[axis]);
    }
  }
  return bounds;
}

// True when consecutive points lie near each other, as a scanner stores them. Points of a
// volume lie about diagonal / cbrt(n) apart, of a surface closer still; a scanner's order
// steps about that far, a shuffled order about half the diagonal.
template <typename Cloud> bool isStoredCoherently(const Cloud& cloud) {
  if (cloud.size() < 2)
    return true;
  double steps = 0.0;
  for (std::size_t i = 1; i < cloud.size(); ++i)
    for (int axis = 0; axis < kAxes; ++axis)
      steps += std::abs(static_cast<double>(coordinatesOf(cloud, i)[axis]) -
                        coordinatesOf(cloud, i - 1)[axis]);
  const Bounds bounds = boundsOf(cloud);
  const double diagonal = bounds.span(0) + bounds.span(1) + bounds.span(2);
  const double meanStep = steps / static_cast<double>(cloud.size() - 1);
  return meanStep * std::cbrt(static_cast<double>(cloud.size())) < diagonal;
}

constexpr double kMortonCells = 1 << 10;

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
using Keys = std::vector<std::uint64_t, BulkAllocator<std::uint64_t>>;

void sortByMortonCode(Keys& keys) {
  Keys buffer(keys.size());
  radixSort(
      keys, buffer, [](std::uint64_t key) { return key; }, 32, 62, 10);
}

// The storage positions of the points in Morton (Z-curve) order of their coordinates, so
// that consecutive searches walk the same branches of the tree.
template <typename Cloud> std::vector<std::uint32_t> mortonOrder(const Cloud& cloud) {
  const Bounds bounds = boundsOf(cloud);
  // A flat axis puts every point in cell 0.
  double scale[kAxes];
  for (int axis = 0; axis < kAxes; ++axis)
    scale[axis] = bounds.span(axis) > 0.0 ? (kMortonCells - 1) / bounds.span(axis) : 0.0;
  Keys keys(cloud.size());
  for (std::size_t i = 0; i < cloud.size(); ++i) {
    std::uint64_t code = 0;
    for (int axis = 0; axis < kAxes; ++axis) {
      const double offset =
          static_cast<double>(coordinatesOf(cloud, i)[axis]) - bounds.lowest[axis];
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

} // namespace

std::vector<std::uint32_t> searchOrder(const ColorCloud& query) {
  return isStoredCoherently(query) ? std::vector<std::uint32_t>() : mortonOrder(query);
}

std::vector<std::uint32_t> searchOrder(const PointList& query) {
  return isStoredCoherently(query) ? std::vector<std::uint32_t>() : mortonOrder(query);
}

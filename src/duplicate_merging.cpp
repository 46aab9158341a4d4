#include "duplicate_merging.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace {

// A point's position and storage position, sorted as records rather than through an index,
// so that the sort reads memory in sequence.
struct SortedPosition {
  float x, y, z;
  std::uint32_t position;
};

// By x, then y, then z; storage order among equal positions (-0 equals 0).
bool comesBefore(const SortedPosition& p, const SortedPosition& q) {
  if (p.x != q.x)
    return p.x < q.x;
  if (p.y != q.y)
    return p.y < q.y;
  if (p.z != q.z)
    return p.z < q.z;
  return p.position < q.position;
}

bool samePosition(const SortedPosition& a, const SortedPosition& b) {
  return a.x == b.x && a.y == b.y && a.z == b.z;
}

} // namespace

MergedCloud mergeDuplicates(const PointList& points, const Normals& normals) {
  std::vector<SortedPosition, BulkAllocator<SortedPosition>> sorted(points.size());
  for (std::size_t i = 0; i < points.size(); ++i) {
    const float* position = points[i].position;
    sorted[i] =
        SortedPosition{position[0], position[1], position[2], static_cast<std::uint32_t>(i)};
  }
  std::sort(sorted.begin(), sorted.end(), comesBefore);
  MergedCloud merged;
  merged.cloud.reserve(points.size());
  if (!normals.empty())
    merged.normals.reserve(points.size());
  for (std::size_t begin = 0; begin < sorted.size();) {
    const ColorPoint& first = points[sorted[begin].position];
    std::uint64_t sums[3] = {first.r, first.g, first.b};
    std::size_t end = begin + 1;
    for (; end < sorted.size() && samePosition(sorted[end], sorted[begin]); ++end) {
      const ColorPoint& same = points[sorted[end].position];
      sums[0] += same.r;
      sums[1] += same.g;
      sums[2] += same.b;
    }
    const std::uint64_t count = end - begin;
    merged.cloud.push_back(pcl::PointXYZRGBA(
        first.position[0], first.position[1], first.position[2],
        static_cast<std::uint8_t>(sums[0] / count), static_cast<std::uint8_t>(sums[1] / count),
        static_cast<std::uint8_t>(sums[2] / count), 255));
    if (!normals.empty())
      merged.normals.push_back(normals[sorted[begin].position]);
    begin = end;
  }
  return merged;
}

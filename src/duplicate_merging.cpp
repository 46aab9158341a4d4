#include "duplicate_merging.h"

#include <algorithm>
#include <cstdint>
#include <numeric>
#include <vector>

namespace {

bool samePosition(const pcl::PointXYZRGBA& a, const pcl::PointXYZRGBA& b) {
  return a.x == b.x && a.y == b.y && a.z == b.z;
}

} // namespace

MergedCloud mergeDuplicates(const ColorCloud& cloud, const Normals& normals) {
  std::vector<std::uint32_t> order(cloud.size());
  std::iota(order.begin(), order.end(), 0u);
  // A stable sort keeps storage order among equal positions.
  std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
    const auto& p = cloud[a];
    const auto& q = cloud[b];
    if (p.x != q.x)
      return p.x < q.x;
    if (p.y != q.y)
      return p.y < q.y;
    return p.z < q.z;
  });
  MergedCloud merged;
  merged.cloud.sensor_origin_ = cloud.sensor_origin_;
  merged.cloud.sensor_orientation_ = cloud.sensor_orientation_;
  merged.cloud.reserve(cloud.size());
  if (!normals.empty())
    merged.normals.reserve(cloud.size());
  for (std::size_t begin = 0; begin < order.size();) {
    std::size_t end = begin + 1;
    std::uint64_t sums[3] = {cloud[order[begin]].r, cloud[order[begin]].g, cloud[order[begin]].b};
    while (end < order.size() && samePosition(cloud[order[end]], cloud[order[begin]])) {
      sums[0] += cloud[order[end]].r;
      sums[1] += cloud[order[end]].g;
      sums[2] += cloud[order[end]].b;
      ++end;
    }
    pcl::PointXYZRGBA point = cloud[order[begin]];
    const std::uint64_t count = end - begin;
    point.r = static_cast<std::uint8_t>(sums[0] / count);
    point.g = static_cast<std::uint8_t>(sums[1] / count);
    point.b = static_cast<std::uint8_t>(sums[2] / count);
    merged.cloud.push_back(point);
    if (!normals.empty())
      merged.normals.push_back(normals[order[begin]]);
    begin = end;
  }
  return merged;
}

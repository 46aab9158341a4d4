#include "metrics/duplicate_merging.h"

#include "common/radix_sort.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

namespace {

// A point's position and storage position, sorted as records rather than through an index,
// so that the sort reads memory in sequence.
struct SortedPosition {
  float x, y, z;
  std::uint32_t position;
};

using SortedPositions = std::vector<SortedPosition, BulkAllocator<SortedPosition>>;

// The float's place in the order of finite floats as an unsigned key; -0 and 0 share one.
std::uint32_t orderKey(float value) {
  std::uint32_t bits;
  value = value == 0.0f ? 0.0f : value;
  std::memcpy(&bits, &value, sizeof bits);
  return (bits & 0x80000000u) != 0 ? ~bits : bits | 0x80000000u;
}

// Sorts by x, then y, then z, keeping storage order among equal positions: stable radix passes
// over z's key, then y's, then x's, 11 bits at a time.
void sortByPosition(SortedPositions& sorted) {
  SortedPositions buffer(sorted.size());
  for (int axis = 2; axis >= 0; --axis) {
    const auto keyOf = [axis](const SortedPosition& point) {
      return orderKey(axis == 0 ? point.x : axis == 1 ? point.y : point.z);
    };
    radixSort(sorted, buffer, keyOf, 0, 32, 11);
  }
}

bool samePosition(const SortedPosition& a, const SortedPosition& b) {
  return a.x == b.x && a.y == b.y && a.z == b.z;
}

} // namespace

MergedCloud mergeDuplicates(const PointList& points, const Normals& normals, DuplicateColors colors,
                            MergedColors* colorsOnly) {
  std::vector<SortedPosition, BulkAllocator<SortedPosition>> sorted(points.size());
  for (std::size_t i = 0; i < points.size(); ++i) {
    const float* position = points[i].position;
    sorted[i] =
        SortedPosition{position[0], position[1], position[2], static_cast<std::uint32_t>(i)};
  }
  sortByPosition(sorted);
  MergedCloud merged;
  if (colorsOnly != nullptr) {
    colorsOnly->clear();
    colorsOnly->reserve(points.size());
  } else {
    merged.points.reserve(points.size());
  }
  merged.mergedIndexOf.resize(points.size());
  merged.firstPositionOf.reserve(points.size());
  if (!normals.empty())
    merged.normals.reserve(points.size());
  for (std::size_t begin = 0; begin < sorted.size();) {
    const ColorPoint& first = points[sorted[begin].position];
    std::uint64_t sums[3] = {first.r, first.g, first.b};
    std::size_t end = begin + 1;
    for (; colors != DuplicateColors::Kept && end < sorted.size() &&
           samePosition(sorted[end], sorted[begin]);
         ++end) {
      const ColorPoint& same = points[sorted[end].position];
      sums[0] += same.r;
      sums[1] += same.g;
      sums[2] += same.b;
    }
    const auto index = static_cast<std::uint32_t>(merged.firstPositionOf.size());
    for (std::size_t i = begin; i < end; ++i)
      merged.mergedIndexOf[sorted[i].position] = index;
    merged.firstPositionOf.push_back(sorted[begin].position);
    const std::uint64_t count = colors == DuplicateColors::Average ? end - begin : 1;
    if (colors == DuplicateColors::First) {
      sums[0] = first.r;
      sums[1] = first.g;
      sums[2] = first.b;
    }
    const Rgb color{static_cast<std::uint8_t>(sums[0] / count),
                    static_cast<std::uint8_t>(sums[1] / count),
                    static_cast<std::uint8_t>(sums[2] / count)};
    if (colorsOnly != nullptr)
      colorsOnly->push_back(color);
    else
      merged.points.push_back(ColorPoint{
          {first.position[0], first.position[1], first.position[2]}, color.r, color.g, color.b});
    if (!normals.empty())
      merged.normals.push_back(normals[sorted[begin].position]);
    begin = end;
  }
  return merged;
}

void takeMergedPointsBack(MergedCloud& merged, const PointList& given, const MergedColors& colors) {
  merged.points.resize(colors.size());
  for (std::size_t m = 0; m < colors.size(); ++m) {
    const float* position = given[merged.firstPositionOf[m]].position;
    merged.points[m] =
        ColorPoint{{position[0], position[1], position[2]}, colors[m].r, colors[m].g, colors[m].b};
  }
}

Reflectance mergeReflectance(const MergedCloud& merged, const Reflectance& given,
                             DuplicateColors colors) {
  Reflectance reflectance(merged.firstPositionOf.size());
  if (colors != DuplicateColors::Average) {
    for (std::size_t m = 0; m < reflectance.size(); ++m)
      reflectance[m] = given[merged.firstPositionOf[m]];
    return reflectance;
  }
  std::vector<std::uint64_t> sums(reflectance.size(), 0), counts(reflectance.size(), 0);
  for (std::size_t i = 0; i < given.size(); ++i) {
    sums[merged.mergedIndexOf[i]] += given[i];
    ++counts[merged.mergedIndexOf[i]];
  }
  for (std::size_t m = 0; m < reflectance.size(); ++m)
    reflectance[m] = static_cast<std::uint16_t>(sums[m] / counts[m]);
  return reflectance;
}

#pragma once

#include "common/color_cloud.h"
#include "common/point_list.h"
#include "metrics/error_statistics.h"

#include <cstdint>
#include <vector>

// A cloud with every position once, as MPEG's pc_error merges duplicate points (its default
// --dropdups=2): the points sorted by x, then y, then z (storage order among equals); each run
// of equal positions becomes one point with the integer mean of the run's red, green and blue
// and the normal of the run's first point.
struct MergedCloud {
  PointList points;
  Normals normals; // empty when none were given
  // The merged point of each given point, by the given point's position.
  std::vector<std::uint32_t, BulkAllocator<std::uint32_t>> mergedIndexOf;
  // The first given point of each merged point, by the merged point's index.
  std::vector<std::uint32_t, BulkAllocator<std::uint32_t>> firstPositionOf;
};

// What a run of equal positions keeps of its points' colours: their integer mean (pc_error's
// --dropdups=2) or the first point's (--dropdups=1, the others dropped); or every point is kept
// apart, sorted all the same (--dropdups=0).
enum class DuplicateColors { Average, First, Kept };

// The merged points' colours, by merged index, while their coordinates are set aside.
using MergedColors = std::vector<Rgb, BulkAllocator<Rgb>>;

// With colorsOnly, merged.points stays empty and the merged points' colours go to *colorsOnly:
// their coordinates are those of the given points at firstPositionOf, so a caller short of
// memory that keeps those takes the points back only once it needs them.
MergedCloud mergeDuplicates(const PointList& points, const Normals& normals,
                            DuplicateColors colors = DuplicateColors::Average,
                            MergedColors* colorsOnly = nullptr);

// merged.points from the colours of a colours-only merge and the given points.
void takeMergedPointsBack(MergedCloud& merged, const PointList& given, const MergedColors& colors);

// The merged points' reflectance, given one a point: each run's integer mean, truncated as
// pc_error truncates it (--dropdups=2), or its first point's (1).
Reflectance mergeReflectance(const MergedCloud& merged, const Reflectance& given,
                             DuplicateColors colors = DuplicateColors::Average);

#pragma once

#include "common/point_list.h"

#include <optional>

// The smallest and the largest distance from a point to its nearest other point.
struct NearestNeighbourDistances {
  double smallest;
  double largest;
};

// pc_error's intrinsic resolution, whose largest is its peak when no resolution is given: over
// the points of a cloud without duplicates, leaving out the points whose nearest other one is
// within 1e-5 (a squared distance of at most 1e-10). None when every point is left out.
std::optional<NearestNeighbourDistances> nearestNeighbourDistances(const PointList& points,
                                                                   unsigned threads);

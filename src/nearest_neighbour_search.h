#pragma once

#include "color_cloud.h"

#include <cstdint>
#include <vector>

// The nearest reference point of one query point.
struct Neighbour {
  // Position in the reference cloud, or kNoNeighbour.
  std::int32_t index;
  float squaredDistance;
};

constexpr std::int32_t kNoNeighbour = -1;

// The nearest neighbour in reference of every query point, by the query point's storage
// position, searched on up to `threads` threads. Each neighbour, ties included, is the one that
// pcl::search::KdTree<pcl::PointXYZRGBA> with sorted results returns for k = 1. Every
// search in an empty reference cloud finds nothing. Coordinates must be finite and small enough
// that squared distances do not overflow (see kLargestMeasurableCoordinate in cloud_loading.h).
std::vector<Neighbour> nearestNeighbours(const ColorCloud& query, const ColorCloud& reference,
                                         unsigned threads);

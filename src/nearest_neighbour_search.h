#pragma once

#include "color_cloud.h"

#include <cstdint>
#include <functional>
#include <vector>

// The nearest reference point of one query point.
struct Neighbour {
  // Position in the reference cloud, or kNoNeighbour.
  std::int32_t index;
  float squaredDistance;
};

constexpr std::int32_t kNoNeighbour = -1;

// Receives the neighbour of the query point at a storage position.
using NeighbourVisitor = std::function<void(std::size_t position, const Neighbour& neighbour)>;

// Searches the nearest neighbour in reference of every query point and hands it to visit,
// once for each query point, in an order of its own and from up to `threads` threads at once.
// Each neighbour, ties included, is the one that pcl::search::KdTree<pcl::PointXYZRGBA> with
// sorted results returns for k = 1. Every search in an empty reference cloud finds nothing.
// Coordinates must be finite and small enough that squared distances do not overflow (see
// kLargestMeasurableCoordinate in cloud_loading.h).
void visitNearestNeighbours(const ColorCloud& query, const ColorCloud& reference, unsigned threads,
                            const NeighbourVisitor& visit);

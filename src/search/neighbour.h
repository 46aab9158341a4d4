#pragma once

#include <cstdint>

// The nearest reference point of one query point.
struct Neighbour {
  // Position in the reference cloud, or kNoNeighbour.
  std::int32_t index;
  float squaredDistance;
};

constexpr std::int32_t kNoNeighbour = -1;

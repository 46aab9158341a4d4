#pragma once

#include <cstdint>

// The nearest reference point of one query point.
struct Neighbour {
  // The reference point's index in its cloud, or kNoNeighbour.
  std::int32_t index;
  float squaredDistance;
};

constexpr std::int32_t kNoNeighbour = -1;

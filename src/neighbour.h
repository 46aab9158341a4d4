#pragma once

#include <array>
#include <cstdint>

// The nearest reference point of one query point.
struct Neighbour {
  // Position in the reference cloud, or kNoNeighbour.
  std::int32_t index;
  float squaredDistance;
};

constexpr std::int32_t kNoNeighbour = -1;

// The nearest reference point of one query point, and every reference point at exactly its
// distance, the nearest included: how many there are and their colour sums.
struct TiedNeighbours {
  Neighbour nearest;
  std::uint32_t count;
  std::array<std::uint64_t, 3> colorSums; // red, green, blue
};

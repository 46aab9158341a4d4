#include "evaluation/pair_cost.h"

#include "io/pcd_file_check.h"

#include <optional>

PairCost pairCost(const Pair& pair) {
  if (pair.decoded == nullptr)
    return PairCost::None;
  const std::optional<std::uint64_t> originalPoints = readPointCount(pair.original->string());
  const std::optional<std::uint64_t> decodedPoints = readPointCount(pair.decoded->string());
  return originalPoints && decodedPoints && *originalPoints + *decodedPoints <= kSmallPairPoints
             ? PairCost::Small
             : PairCost::Large;
}

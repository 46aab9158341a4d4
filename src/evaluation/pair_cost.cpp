#include "evaluation/pair_cost.h"

#include "io/pcd_file_check.h"

#include <optional>

PairCost pairCost(const Pair& pair) {
  if (pair.decoded == nullptr)
    return PairCost::None;
  return pairCost(pair.original->string(), pair.decoded->string());
}

PairCost pairCost(const std::string& original, const std::string& decoded) {
  const std::optional<std::uint64_t> originalPoints = readPointCount(original);
  const std::optional<std::uint64_t> decodedPoints = readPointCount(decoded);
  return originalPoints && decodedPoints && *originalPoints + *decodedPoints <= kSmallPairPoints
             ? PairCost::Small
             : PairCost::Large;
}

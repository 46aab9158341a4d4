#include "evaluation/pair_cost.h"

#include "io/pcd_file_check.h"

#include <optional>

PairCost pairCost(const Pair& pair, std::uint64_t* originalPoints) {
  if (originalPoints != nullptr)
    *originalPoints = 0;
  if (pair.decoded == nullptr)
    return PairCost::None;
  return pairCost(pair.original->string(), pair.decoded->string(), originalPoints);
}

PairCost pairCost(const std::string& original, const std::string& decoded,
                  std::uint64_t* originalPoints) {
  const std::optional<std::uint64_t> points = readPointCount(original);
  const std::optional<std::uint64_t> decodedPoints = readPointCount(decoded);
  if (originalPoints != nullptr)
    *originalPoints = points.value_or(0);
  return points && decodedPoints && *points + *decodedPoints <= kSmallPairPoints ? PairCost::Small
                                                                                 : PairCost::Large;
}

#pragma once

#include "dataset/dataset_layout.h"
#include "evaluation/ordered_comparison.h"

#include <cstdint>
#include <string>

// Pairs whose two clouds together declare at most this many points are small: cheap enough in
// memory to be compared several at a time, one thread each.
constexpr std::uint64_t kSmallPairPoints = 1 << 19;

// What comparing the pair costs, from the points its two headers declare: small when both can
// be read and declare at most kSmallPairPoints together, large otherwise (a header that cannot be
// read is reported by the comparison itself), none without a decoded cloud.
// originalPoints, when given, receives the original's declared points (0 where its header was
// not read or cannot be).
PairCost pairCost(const Pair& pair, std::uint64_t* originalPoints = nullptr);

// The same for two files given by path: small or large, never none.
PairCost pairCost(const std::string& original, const std::string& decoded,
                  std::uint64_t* originalPoints = nullptr);

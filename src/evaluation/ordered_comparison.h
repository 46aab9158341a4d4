#pragma once

#include "metrics/cloud_comparison.h"

#include <cstddef>
#include <functional>
#include <optional>
#include <vector>

// What comparing a pair costs, which decides where it runs.
enum class PairCost {
  // Nothing to compare: the pair has no decoded cloud.
  None,
  // Cheap in memory: compared on one thread, several such pairs at a time.
  Small,
  // Compared alone, on every thread, so that at most one large pair is in memory.
  Large
};

struct OrderedComparisonSteps {
  // Compares the pair at index on the given number of threads.
  std::function<CloudComparison(std::size_t index, unsigned threads)> compare;
  // The writer's turn has come to the pair at index; its result follows.
  std::function<void(std::size_t index)> starting;
  // The result of the pair at index, none for a pair that costs nothing.
  std::function<void(std::size_t index, std::optional<CloudComparison> result)> write;
};

// Compares every pair and hands the results to steps.write in list order, from the calling
// thread (the writer). With more than one thread, threads - 1 helper threads compare the small
// pairs ahead of the writer, one thread each, at most kMostResultsAhead pairs ahead of it; the
// writer too compares small pairs while it waits for one. A large pair waits until no helper
// is comparing, and no helper starts while it is compared, so at most `threads` threads are
// busy at any time and one large pair at most is in memory.
void compareInOrder(const std::vector<PairCost>& costs, unsigned threads,
                    const OrderedComparisonSteps& steps);

// How far the helpers may run ahead of the writer, in pairs, so that the results waiting to
// be written stay few.
constexpr std::size_t kMostResultsAhead = 256;

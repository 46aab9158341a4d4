#include "evaluation/ordered_comparison.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

// Records what runs at once: comparisons in flight and the threads they were given.
struct Recorder {
  std::mutex mutex;
  std::condition_variable changed;
  unsigned inFlight = 0;
  unsigned threadsInFlight = 0;
  unsigned mostInFlight = 0;
  unsigned mostThreadsInFlight = 0;
  bool largeInFlight = false;
  bool largeOverlapped = false;
  std::vector<std::size_t> started;
  std::vector<std::size_t> written;
  std::vector<std::optional<float>> results;

  // A comparison that lasts until `together` comparisons have run at once (or ten seconds
  // passed), and then a tenth of a second more, time for any further thread to join.
  CloudComparison compare(const std::vector<PairCost>& costs, std::size_t index, unsigned threads,
                          unsigned together) {
    std::unique_lock<std::mutex> lock(mutex);
    started.push_back(index);
    ++inFlight;
    threadsInFlight += threads;
    mostInFlight = std::max(mostInFlight, inFlight);
    mostThreadsInFlight = std::max(mostThreadsInFlight, threadsInFlight);
    const bool large = costs[index] == PairCost::Large;
    if ((large && inFlight > 1) || largeInFlight)
      largeOverlapped = true;
    largeInFlight = largeInFlight || large;
    changed.notify_all();
    changed.wait_for(lock, std::chrono::seconds(10), [&] { return mostInFlight >= together; });
    if (together > 1)
      changed.wait_for(lock, std::chrono::milliseconds(100), [] { return false; });
    --inFlight;
    threadsInFlight -= threads;
    largeInFlight = largeInFlight && !large;
    CloudComparison comparison{};
    comparison.stats.meanDistance = static_cast<float>(index);
    comparison.unmatchedPoints = threads;
    return comparison;
  }
};

OrderedComparisonSteps stepsFor(Recorder& recorder, const std::vector<PairCost>& costs,
                                unsigned together, std::vector<unsigned>& threadsGiven) {
  threadsGiven.assign(costs.size(), 0);
  OrderedComparisonSteps steps;
  steps.compare = [&recorder, &costs, together](std::size_t index, unsigned threads) {
    return recorder.compare(costs, index, threads, together);
  };
  steps.starting = [](std::size_t) {};
  steps.write = [&recorder, &threadsGiven](std::size_t index,
                                           std::optional<CloudComparison> result) {
    recorder.written.push_back(index);
    recorder.results.push_back(result ? std::optional<float>(result->stats.meanDistance)
                                      : std::nullopt);
    if (result)
      threadsGiven[index] = static_cast<unsigned>(result->unmatchedPoints);
  };
  return steps;
}

} // namespace

TEST(CompareInOrder, WritesEveryPairOnceInListOrderOnEveryThreadCount) {
  using C = PairCost;
  const std::vector<PairCost> costs = {C::Small, C::None,  C::Large, C::Small, C::Small,
                                       C::None,  C::Large, C::Small, C::Small, C::Small};
  for (const unsigned threads : {1u, 2u, 3u, 5u}) {
    SCOPED_TRACE(threads);
    Recorder recorder;
    std::vector<unsigned> threadsGiven;
    compareInOrder(costs, threads, stepsFor(recorder, costs, 1, threadsGiven));
    ASSERT_EQ(recorder.written.size(), costs.size());
    for (std::size_t i = 0; i < costs.size(); ++i) {
      EXPECT_EQ(recorder.written[i], i);
      if (costs[i] == C::None) {
        EXPECT_FALSE(recorder.results[i].has_value());
        continue;
      }
      EXPECT_EQ(recorder.results[i], std::optional<float>(static_cast<float>(i)));
      // A large pair gets every thread, a small one a single thread.
      EXPECT_EQ(threadsGiven[i], costs[i] == C::Large ? threads : 1u);
    }
    EXPECT_FALSE(recorder.largeOverlapped);
    EXPECT_LE(recorder.mostThreadsInFlight, threads);
  }
}

TEST(CompareInOrder, StartsEveryThreadOnSmallPairsAndNoMore) {
  // Each comparison waits until three run at once, and a little longer: a fourth thread would
  // show.
  const std::vector<PairCost> costs(9, PairCost::Small);
  Recorder recorder;
  std::vector<unsigned> threadsGiven;
  compareInOrder(costs, 3, stepsFor(recorder, costs, 3, threadsGiven));
  EXPECT_EQ(recorder.mostInFlight, 3u);
  EXPECT_EQ(recorder.mostThreadsInFlight, 3u);
}

TEST(CompareInOrder, ALargePairRunsAloneBetweenSmallOnes) {
  using C = PairCost;
  std::vector<PairCost> costs(16, C::Small);
  costs[3] = C::Large;
  costs[12] = C::Large;
  Recorder recorder;
  std::vector<unsigned> threadsGiven;
  // Small pairs wait for company, so helpers are mid-comparison when the large pair's turn
  // comes.
  compareInOrder(costs, 3, stepsFor(recorder, costs, 3, threadsGiven));
  EXPECT_FALSE(recorder.largeOverlapped);
  EXPECT_EQ(threadsGiven[3], 3u);
  EXPECT_EQ(threadsGiven[12], 3u);
  // Helpers pause for it rather than working through every small pair first.
  const auto startOf = [&](std::size_t index) {
    return std::find(recorder.started.begin(), recorder.started.end(), index) -
           recorder.started.begin();
  };
  EXPECT_LT(startOf(3), startOf(11));
  EXPECT_LE(recorder.mostThreadsInFlight, 3u);
}

TEST(CompareInOrder, HelpersStayABoundedDistanceAheadOfTheWriter) {
  const std::vector<PairCost> costs(kMostResultsAhead * 3, PairCost::Small);
  std::atomic<std::size_t> written{0};
  std::atomic<std::size_t> farthestAhead{0};
  OrderedComparisonSteps steps;
  steps.compare = [&](std::size_t index, unsigned) {
    // The first pair is slow, so the others race ahead of the writer.
    if (index == 0)
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const std::size_t ahead = index - std::min(index, written.load());
    std::size_t seen = farthestAhead.load();
    while (ahead > seen && !farthestAhead.compare_exchange_weak(seen, ahead)) {
    }
    return CloudComparison{};
  };
  steps.starting = [](std::size_t) {};
  steps.write = [&](std::size_t, std::optional<CloudComparison>) { ++written; };
  compareInOrder(costs, 3, steps);
  EXPECT_EQ(written.load(), costs.size());
  // The writer marks a pair written just before it hands it over.
  EXPECT_LE(farthestAhead.load(), kMostResultsAhead);
  EXPECT_GE(farthestAhead.load(), kMostResultsAhead - 3);
}

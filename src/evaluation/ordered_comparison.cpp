#include "evaluation/ordered_comparison.h"

#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

namespace {

// The pairs that the helpers and the writer share, and the results waiting to be written.
struct Schedule {
  Schedule(const std::vector<PairCost>& pairCosts, const OrderedComparisonSteps& comparisonSteps)
      : costs(pairCosts), steps(comparisonSteps), results(pairCosts.size()) {}
  const std::vector<PairCost>& costs;
  const OrderedComparisonSteps& steps;
  std::vector<std::optional<CloudComparison>> results;
  std::mutex mutex;
  std::condition_variable changed;
  // Small pairs below it have been taken, by a helper or by the writer.
  std::size_t next = 0;
  // The pair the writer writes next.
  std::size_t writing = 0;
  unsigned busyHelpers = 0;
  bool largeRunning = false;
};

// The next small pair at or after schedule.next, or the end.
std::size_t nextSmall(const Schedule& schedule) {
  std::size_t index = schedule.next;
  while (index < schedule.costs.size() && schedule.costs[index] != PairCost::Small)
    ++index;
  return index;
}

// A helper's loop: takes the next small pair, one thread for each, until none is left.
void compareSmallPairs(Schedule& schedule) {
  std::unique_lock<std::mutex> lock(schedule.mutex);
  for (;;) {
    schedule.changed.wait(lock, [&] {
      return !schedule.largeRunning && (nextSmall(schedule) >= schedule.costs.size() ||
                                        nextSmall(schedule) < schedule.writing + kMostResultsAhead);
    });
    const std::size_t index = nextSmall(schedule);
    if (index >= schedule.costs.size())
      return;
    schedule.next = index + 1;
    ++schedule.busyHelpers;
    lock.unlock();
    CloudComparison result = schedule.steps.compare(index, 1);
    lock.lock();
    schedule.results[index] = std::move(result);
    --schedule.busyHelpers;
    schedule.changed.notify_all();
  }
}

// The writer's result for the pair at index: a helper's, or one of its own.
CloudComparison takeResult(Schedule& schedule, std::size_t index, unsigned threads) {
  std::unique_lock<std::mutex> lock(schedule.mutex);
  if (schedule.costs[index] == PairCost::Large) {
    schedule.largeRunning = true;
    schedule.changed.wait(lock, [&] { return schedule.busyHelpers == 0; });
    lock.unlock();
    CloudComparison result = schedule.steps.compare(index, threads);
    lock.lock();
    schedule.largeRunning = false;
    schedule.changed.notify_all();
    return result;
  }
  if (index >= schedule.next) {
    // No helper has taken it: the writer compares it, on one thread, as a helper would.
    schedule.next = index + 1;
    lock.unlock();
    return schedule.steps.compare(index, 1);
  }
  // While a helper compares it, the writer compares the next small pairs itself, so that every
  // thread stays busy.
  while (!schedule.results[index]) {
    const std::size_t other = nextSmall(schedule);
    if (other >= schedule.costs.size() || other >= schedule.writing + kMostResultsAhead) {
      schedule.changed.wait(lock);
      continue;
    }
    schedule.next = other + 1;
    lock.unlock();
    CloudComparison result = schedule.steps.compare(other, 1);
    lock.lock();
    schedule.results[other] = std::move(result);
  }
  CloudComparison result = std::move(*schedule.results[index]);
  schedule.results[index].reset();
  return result;
}

} // namespace

void compareInOrder(const std::vector<PairCost>& costs, unsigned threads,
                    const OrderedComparisonSteps& steps) {
  Schedule schedule(costs, steps);
  std::vector<std::thread> helpers;
  for (unsigned i = 1; i < threads; ++i) {
    try {
      helpers.emplace_back(compareSmallPairs, std::ref(schedule));
    } catch (const std::system_error&) {
      break; // the writer compares what no helper takes
    }
  }
  for (std::size_t index = 0; index < costs.size(); ++index) {
    steps.starting(index);
    std::optional<CloudComparison> result;
    if (costs[index] != PairCost::None)
      result = takeResult(schedule, index, threads);
    {
      std::lock_guard<std::mutex> lock(schedule.mutex);
      schedule.writing = index + 1;
    }
    schedule.changed.notify_all();
    steps.write(index, std::move(result));
  }
  for (std::thread& helper : helpers)
    helper.join();
}

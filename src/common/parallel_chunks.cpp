#include "common/parallel_chunks.h"

namespace {

std::atomic<std::size_t> minimumItems{8192};

} // namespace

std::size_t minimumItemsPerThread() {
  return minimumItems.load(std::memory_order_relaxed);
}

void setMinimumItemsPerThread(std::size_t items) {
  minimumItems.store(std::max<std::size_t>(items, 1), std::memory_order_relaxed);
}

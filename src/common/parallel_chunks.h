#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <system_error>
#include <thread>
#include <vector>

// Work on fewer items than this a thread is done on fewer threads: below it a second thread
// costs more than it saves.
std::size_t minimumItemsPerThread();

// Sets minimumItemsPerThread(), for tests that must see several threads on small inputs;
// 8192 unless set.
void setMinimumItemsPerThread(std::size_t items);

constexpr std::size_t kChunkItems = 4096;

// Runs work(begin, end) over [0, count) in chunks on up to `threads` threads, the calling one
// included. A chunk is kChunkItems, or half the minimum a thread, so that every thread started
// gets work. A thread that cannot be started only costs time.
template <typename Work> void forEachChunk(std::size_t count, unsigned threads, const Work& work) {
  const std::size_t chunk =
      std::max<std::size_t>(1, std::min(kChunkItems, minimumItemsPerThread() / 2));
  std::atomic<std::size_t> next{0};
  const auto worker = [&] {
    for (std::size_t begin = next.fetch_add(chunk); begin < count; begin = next.fetch_add(chunk))
      work(begin, std::min(count, begin + chunk));
  };
  const std::size_t wanted = std::min<std::size_t>(threads, count / minimumItemsPerThread() + 1);
  std::vector<std::thread> helpers;
  for (std::size_t i = 1; i < wanted; ++i) {
    try {
      helpers.emplace_back(worker);
    } catch (const std::system_error&) {
      break;
    }
  }
  worker();
  for (std::thread& helper : helpers)
    helper.join();
}

#include "common/radix_sort.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

// Against std::stable_sort on the same bits: equal keys keep their order, bits outside the
// range do not count, and passes whose digit all records share change nothing.
TEST(RadixSort, SortsStablyByTheGivenBits) {
  std::mt19937_64 generator(7);
  struct Record {
    std::uint64_t key;
    std::size_t position;
  };
  for (int round = 0; round < 40; ++round) {
    const std::size_t count = generator() % 500;
    // Few distinct values, so that many keys tie; noise below bit 8 and above bit 40.
    std::vector<Record> records(count);
    for (std::size_t i = 0; i < count; ++i)
      records[i] = {(generator() % 7) << 20 | (generator() & 0xff) |
                        (generator() % 2 == 0 ? std::uint64_t{1} << 50 : 0),
                    i};
    const auto keyOf = [](const Record& record) { return record.key; };
    const auto bits = [](const Record& record) { return (record.key >> 8) & 0xffffffffu; };
    std::vector<Record> expected = records;
    std::stable_sort(expected.begin(), expected.end(),
                     [&](const Record& a, const Record& b) { return bits(a) < bits(b); });
    std::vector<Record> buffer(count);
    radixSort(records, buffer, keyOf, 8, 40, 11);
    ASSERT_EQ(records.size(), count);
    for (std::size_t i = 0; i < count; ++i)
      ASSERT_EQ(records[i].position, expected[i].position) << "round " << round << ", " << i;
  }
}

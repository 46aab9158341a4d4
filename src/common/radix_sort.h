#pragma once

#include <algorithm>
#include <cstddef>
#include <utility>
#include <vector>

// Sorts records stably by an unsigned key's digits of digitBits bits that start at lowestBit,
// lowestBit + digitBits, ... below highestBit, least significant first; a pass in which every
// record has the same digit is skipped. buffer must hold as many records as records; the two
// may be swapped.
template <typename Records, typename KeyOf>
void radixSort(Records& records, Records& buffer, const KeyOf& keyOf, int lowestBit, int highestBit,
               int digitBits) {
  const std::size_t digits = std::size_t{1} << digitBits;
  std::vector<std::size_t> offsets(digits);
  for (int shift = lowestBit; shift < highestBit; shift += digitBits) {
    std::fill(offsets.begin(), offsets.end(), 0);
    for (const auto& record : records)
      ++offsets[(keyOf(record) >> shift) & (digits - 1)];
    if (std::find(offsets.begin(), offsets.end(), records.size()) != offsets.end())
      continue;
    std::size_t start = 0;
    for (std::size_t& offset : offsets)
      start += std::exchange(offset, start);
    for (const auto& record : records)
      buffer[offsets[(keyOf(record) >> shift) & (digits - 1)]++] = record;
    records.swap(buffer);
  }
}

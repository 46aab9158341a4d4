#include "metrics/normal_transfer.h"

#include "metrics/codec_metrics.h"
#include "search/nearest_neighbour_search.h"

#include <algorithm>
#include <array>
#include <limits>
#include <utility>
#include <vector>

namespace {

// To carry normals, pc_error looks at 5 neighbours first, and 5 more while all are as near as
// the first, up to 30: its own limit, apart from the metrics' 10 first and 30 at the most.
constexpr std::size_t kMostNeighbours = 30;
constexpr std::size_t kFirstNeighbours = 5;

// The neighbours at exactly the smallest squared distance, in double precision: how many, at
// the front of nearest. Where several tie, pc_error's own search (ties, when given) decides
// which and in what order: the first it finds alone without average, else those among its 5
// nearest, 5 more while the last ties with the first, up to 30.
std::size_t keepNearest(const ColorPoint& query, const PointList& reference,
                        const pcl::Indices& neighbours,
                        std::array<std::int32_t, kMostNeighbours>& nearest, bool average,
                        PcErrorSearch* ties) {
  double smallest = std::numeric_limits<double>::infinity();
  for (const auto index : neighbours)
    smallest = std::min(smallest, squaredDistanceOf(query, reference[index]));
  std::size_t count = 0;
  for (const auto index : neighbours)
    if (count < nearest.size() && squaredDistanceOf(query, reference[index]) == smallest)
      nearest[count++] = index;
  // Averaged over the whole run, the order is the sum's alone; pc_error's search decides only
  // the one chosen, or which of a run that outgrows its list.
  if (count < 2 || ties == nullptr || (average && count < kMostNeighbours))
    return average ? count : std::min<std::size_t>(count, 1);
  std::array<std::uint32_t, kMostNeighbours> indices;
  std::array<double, kMostNeighbours> distances;
  std::size_t asked = average ? kFirstNeighbours : 1;
  std::size_t given =
      pcErrorNearest(*ties, query.position, asked, indices.data(), distances.data());
  while (average && given == asked && distances[0] == distances[asked - 1] &&
         asked + kFirstNeighbours <= kMostNeighbours) {
    asked += kFirstNeighbours;
    given = pcErrorNearest(*ties, query.position, asked, indices.data(), distances.data());
  }
  if (given == 0)
    return average ? count : 1;
  count = 0;
  for (std::size_t k = 0; k < given; ++k)
    if (distances[k] == distances[0])
      nearest[count++] = static_cast<std::int32_t>(indices[k]);
  return count;
}

} // namespace

Normals transferNormals(const PointList& original, const Normals& originalNormals,
                        const PointList& decoded, const NearbyLists& originalToDecoded,
                        const NearbyLists& decodedToOriginal, bool average,
                        PcErrorSearch* decodedTies, PcErrorSearch* originalTies) {
  Normals normals(decoded.size(), Eigen::Vector3f::Zero());
  if (original.empty() || decoded.empty())
    return normals;
  // The decoded points each original point gives its normal to: mostly one, kept by position;
  // the rare others aside, so that the sums below run in the original's order.
  std::vector<std::int32_t, BulkAllocator<std::int32_t>> receiver(original.size());
  std::vector<std::pair<std::size_t, pcl::Indices>> receivers;
  pcl::Indices nearby;
  for (std::size_t position = 0; position < original.size(); ++position) {
    const std::size_t first = originalToDecoded.first[position];
    const std::size_t length = originalToDecoded.first[position + 1] - first;
    // A lone point is the nearest.
    if (length == 1) {
      receiver[position] = originalToDecoded.indices[first];
      continue;
    }
    const auto begin = originalToDecoded.indices.begin() + static_cast<std::ptrdiff_t>(first);
    nearby.assign(begin, begin + static_cast<std::ptrdiff_t>(length));
    std::array<std::int32_t, kMostNeighbours> nearest;
    const std::size_t count =
        keepNearest(original[position], decoded, nearby, nearest, average, decodedTies);
    receiver[position] = nearest[0];
    if (average && count > 1)
      receivers.emplace_back(position, pcl::Indices(nearest.begin(), nearest.begin() + count));
  }
  std::sort(receivers.begin(), receivers.end());
  std::vector<int, BulkAllocator<int>> counts(decoded.size());
  std::fill(counts.begin(), counts.end(), 0);
  auto extra = receivers.begin();
  for (std::size_t i = 0; i < original.size(); ++i) {
    if (extra != receivers.end() && extra->first == i) {
      for (const auto index : extra->second) {
        normals[static_cast<std::size_t>(index)] += originalNormals[i];
        ++counts[static_cast<std::size_t>(index)];
      }
      ++extra;
      continue;
    }
    normals[static_cast<std::size_t>(receiver[i])] += originalNormals[i];
    ++counts[static_cast<std::size_t>(receiver[i])];
  }
  for (std::size_t i = 0; i < decoded.size(); ++i)
    if (counts[i] > 0)
      normals[i] /= static_cast<float>(counts[i]);
  // A decoded point that no original point reached takes the mean of its nearest originals'.
  for (std::size_t i = 0; i < decoded.size(); ++i) {
    if (counts[i] > 0)
      continue;
    const auto begin = decodedToOriginal.indices.begin();
    nearby.assign(begin + static_cast<std::ptrdiff_t>(decodedToOriginal.first[i]),
                  begin + static_cast<std::ptrdiff_t>(decodedToOriginal.first[i + 1]));
    std::array<std::int32_t, kMostNeighbours> nearest;
    const std::size_t count =
        keepNearest(decoded[i], original, nearby, nearest, average, originalTies);
    Eigen::Vector3f sum = Eigen::Vector3f::Zero();
    for (std::size_t k = 0; k < count; ++k)
      sum += originalNormals[static_cast<std::size_t>(nearest[k])];
    normals[i] = sum / static_cast<float>(count);
  }
  return normals;
}

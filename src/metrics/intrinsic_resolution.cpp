#include "metrics/intrinsic_resolution.h"

#include "metrics/codec_metrics.h"
#include "search/nearest_neighbour_search.h"

#include <algorithm>
#include <cmath>
#include <mutex>

namespace {

// pc_error's bound below which a point's nearest other point counts as the same position.
constexpr double kSamePositionSquaredDistance = 1e-10;

} // namespace

std::optional<NearestNeighbourDistances> nearestNeighbourDistances(const PointList& points,
                                                                   unsigned threads) {
  if (points.size() < 2)
    return std::nullopt;
  std::mutex mutex;
  std::optional<NearestNeighbourDistances> range;
  visitNearestNeighboursOfOwnPoints(
      buildSearchTree(points, threads), 2, threads, nullptr,
      [&](std::size_t position, const pcl::Indices& neighbours, const std::vector<float>&) {
        // The nearest is the point itself: its position is found once in a cloud without
        // duplicates.
        if (neighbours.size() < 2 || static_cast<std::size_t>(neighbours[0]) != position)
          return;
        const double squared =
            squaredDistanceOf(points[position], points[static_cast<std::size_t>(neighbours[1])]);
        if (squared <= kSamePositionSquaredDistance)
          return;
        const double distance = std::sqrt(squared);
        const std::lock_guard<std::mutex> lock(mutex);
        if (!range)
          range = NearestNeighbourDistances{distance, distance};
        range->smallest = std::min(range->smallest, distance);
        range->largest = std::max(range->largest, distance);
      });
  return range;
}

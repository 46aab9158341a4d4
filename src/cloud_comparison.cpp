#include "cloud_comparison.h"

#include "cloud_loading.h"
#include "nearest_neighbour_search.h"

#include <cmath>
#include <new>

namespace {

Rgb rgbOf(const pcl::PointXYZRGBA& point) { return Rgb{point.r, point.g, point.b}; }

CloudComparison unmeasured(PairProblem problem) {
  CloudComparison comparison{unmeasuredStats(), 0, std::move(problem)};
  return comparison;
}

} // namespace

CloudComparison compareClouds(const ColorCloud& query, const ColorCloud& reference,
                              unsigned threads) {
  const std::vector<Neighbour> neighbours = nearestNeighbours(query, reference, threads);
  ErrorSums sums;
  std::size_t unmatched = 0;
  for (std::size_t i = 0; i < query.size(); ++i) {
    const Neighbour& neighbour = neighbours[i];
    if (neighbour.index == kNoNeighbour) {
      ++unmatched;
      continue;
    }
    addPointErrors(sums, std::sqrt(neighbour.squaredDistance),
                   colorError(rgbOf(query[i]), rgbOf(reference[neighbour.index])));
  }
  return CloudComparison{summarizeErrors(sums, query.size()), unmatched, std::nullopt};
}

CloudComparison loadAndCompare(const std::string& originalPath,
                               const std::string& reconstructedPath, unsigned threads) {
  try {
    ColorCloud original, reconstructed;
    for (const auto& [path, cloud] :
         {std::pair{&originalPath, &original}, std::pair{&reconstructedPath, &reconstructed}}) {
      std::string reason = loadMeasurableCloud(*path, *cloud);
      if (!reason.empty())
        return unmeasured(PairProblem{*path, std::move(reason)});
    }
    try {
      return compareClouds(original, reconstructed, threads);
    } catch (const std::bad_alloc&) {
      return unmeasured(
          PairProblem{originalPath, "out of memory comparing it with " + reconstructedPath, false});
    }
  } catch (const std::bad_alloc&) {
    return unmeasured(PairProblem{originalPath, "out of memory while loading the pair"});
  }
}

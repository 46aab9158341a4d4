#include "cloud_comparison.h"

#include "cloud_loading.h"
#include "nearest_neighbour_search.h"

#include <cmath>
#include <new>
#include <system_error>
#include <thread>

namespace {

Rgb rgbOf(const pcl::PointXYZRGBA& point) {
  return Rgb{point.r, point.g, point.b};
}

CloudComparison unmeasured(PairProblem problem) {
  return CloudComparison{unmeasuredStats(), 0, std::move(problem)};
}

} // namespace

CloudComparison compareClouds(const ColorCloud& query, const ColorCloud& reference,
                              unsigned threads) {
  // Each point's errors are kept by position, computed right after its search while the
  // neighbour is in cache, and summed in storage order whatever the order of the searches.
  struct PointError {
    float distance; // kNoNeighbour for a point without a neighbour
    float color;
  };
  std::vector<PointError> errors(query.size());
  visitNearestNeighbours(query, reference, threads, [&](std::size_t i, const Neighbour& neighbour) {
    errors[i] = neighbour.index == kNoNeighbour
                    ? PointError{kNoNeighbour, 0.0f}
                    : PointError{std::sqrt(neighbour.squaredDistance),
                                 colorError(rgbOf(query[i]), rgbOf(reference[neighbour.index]))};
  });
  ErrorSums sums;
  std::size_t unmatched = 0;
  for (const PointError& point : errors) {
    if (point.distance == kNoNeighbour)
      ++unmatched;
    else
      addPointErrors(sums, point.distance, point.color);
  }
  return CloudComparison{summarizeErrors(sums, query.size()), unmatched, std::nullopt};
}

CloudComparison loadAndCompare(const std::string& originalPath,
                               const std::string& reconstructedPath, unsigned threads) {
  ColorCloud original, reconstructed;
  std::string originalProblem, reconstructedProblem;
  std::thread reader;
  if (threads > 1) {
    // With threads to spare the decoded cloud is read while the original is.
    try {
      reader = std::thread(
          [&] { reconstructedProblem = loadMeasurableCloud(reconstructedPath, reconstructed); });
    } catch (const std::system_error&) {
      // read it afterwards instead
    }
  }
  originalProblem = loadMeasurableCloud(originalPath, original);
  if (reader.joinable())
    reader.join();
  else if (originalProblem.empty())
    reconstructedProblem = loadMeasurableCloud(reconstructedPath, reconstructed);
  // The first file that cannot be loaded is the one reported.
  if (!originalProblem.empty())
    return unmeasured(PairProblem{originalPath, std::move(originalProblem)});
  if (!reconstructedProblem.empty())
    return unmeasured(PairProblem{reconstructedPath, std::move(reconstructedProblem)});
  try {
    return compareClouds(original, reconstructed, threads);
  } catch (const std::bad_alloc&) {
    return unmeasured(
        PairProblem{originalPath, "out of memory comparing it with " + reconstructedPath, false});
  }
}

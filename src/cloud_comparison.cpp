#include "cloud_comparison.h"

#include "nearest_neighbour_search.h"
#include "normal_estimation.h"

#include <cmath>
#include <new>

namespace {

Rgb rgbOf(const pcl::PointXYZRGBA& point) {
  return Rgb{point.r, point.g, point.b};
}

CloudComparison unmeasured(PairProblem problem) {
  return CloudComparison{unmeasuredStats(), 0, std::move(problem), std::nullopt};
}

// One query point's errors in the report.
struct PointError {
  float distance; // kNoNeighbour for a point without a neighbour
  float color;
};

PointError pointError(const pcl::PointXYZRGBA& query, const ColorCloud& reference,
                      const Neighbour& neighbour) {
  if (neighbour.index == kNoNeighbour)
    return PointError{kNoNeighbour, 0.0f};
  return PointError{std::sqrt(neighbour.squaredDistance),
                    colorError(rgbOf(query), rgbOf(reference[neighbour.index]))};
}

// The report's statistics, summed in storage order whatever the order of the searches.
CloudComparison summarizePointErrors(const std::vector<PointError>& errors) {
  ErrorSums sums;
  std::size_t unmatched = 0;
  for (const PointError& point : errors) {
    if (point.distance == kNoNeighbour)
      ++unmatched;
    else
      addPointErrors(sums, point.distance, point.color);
  }
  return CloudComparison{summarizeErrors(sums, errors.size()), unmatched, std::nullopt,
                         std::nullopt};
}

// The metric sums of one direction; also the report's errors when reportErrors is given. The
// reference's normals are the file's, or else estimated for the points that are some query
// point's nearest, the only ones whose normal is used.
DirectionSums measureDirection(const ColorCloud& query, const ColorCloud& reference,
                               const CloudAttributes& referenceAttributes, bool colorsCompared,
                               unsigned threads, std::vector<PointError>* reportErrors) {
  const SearchTree tree = buildSearchTree(reference, TreeColors::Keep);
  std::vector<TiedNeighbours> matches(query.size());
  visitTiedNeighbours(tree, query, threads,
                      [&](std::size_t i, const TiedNeighbours& match) { matches[i] = match; });
  if (reportErrors != nullptr) {
    reportErrors->resize(query.size());
    for (std::size_t i = 0; i < query.size(); ++i)
      (*reportErrors)[i] = pointError(query[i], reference, matches[i].nearest);
  }
  DirectionSums sums;
  // In a cloud with points every search finds one; in an empty one none does.
  if (reference.empty())
    return sums;
  Normals estimated;
  if (referenceAttributes.normals.empty()) {
    std::vector<bool> matched(reference.size(), false);
    for (const TiedNeighbours& match : matches)
      matched[static_cast<std::size_t>(match.nearest.index)] = true;
    estimated = estimateNormals(reference, tree, threads, &matched);
  }
  const Normals& normals = estimated.empty() ? referenceAttributes.normals : estimated;
  for (std::size_t i = 0; i < query.size(); ++i)
    addPointError(
        sums,
        metricPointError(query[i], reference[static_cast<std::size_t>(matches[i].nearest.index)],
                         normals[static_cast<std::size_t>(matches[i].nearest.index)], matches[i]),
        colorsCompared);
  return sums;
}

} // namespace

CloudComparison compareClouds(const ColorCloud& query, const ColorCloud& reference,
                              unsigned threads) {
  // Each point's errors are kept by position, computed right after its search while the
  // neighbour is in cache.
  std::vector<PointError> errors(query.size());
  visitNearestNeighbours(buildSearchTree(reference), query, threads,
                         [&](std::size_t i, const Neighbour& neighbour) {
                           errors[i] = pointError(query[i], reference, neighbour);
                         });
  return summarizePointErrors(errors);
}

CloudComparison compareCloudsWithMetrics(const ColorCloud& original,
                                         const CloudAttributes& originalAttributes,
                                         const ColorCloud& decoded,
                                         const CloudAttributes& decodedAttributes,
                                         unsigned threads) {
  const bool colorsCompared = originalAttributes.hasColor && decodedAttributes.hasColor;
  PairMetrics metrics;
  metrics.originalPoints = original.size();
  metrics.decodedPoints = decoded.size();
  metrics.boundingBoxPeak = boundingBoxPeak(original);
  std::vector<PointError> reportErrors;
  metrics.originalToDecoded = measureDirection(original, decoded, decodedAttributes, colorsCompared,
                                               threads, &reportErrors);
  metrics.decodedToOriginal =
      measureDirection(decoded, original, originalAttributes, colorsCompared, threads, nullptr);
  CloudComparison comparison = summarizePointErrors(reportErrors);
  comparison.metrics = metrics;
  return comparison;
}

CloudComparison loadAndCompare(const std::string& originalPath, const std::string& decodedPath,
                               unsigned threads, bool withMetrics) {
  const LoadedPair pair = loadPair(originalPath, decodedPath, threads,
                                   withMetrics ? NormalReading::Read : NormalReading::Skip);
  if (pair.problem)
    return unmeasured(*pair.problem);
  try {
    if (withMetrics)
      return compareCloudsWithMetrics(pair.original.cloud, pair.original.attributes,
                                      pair.decoded.cloud, pair.decoded.attributes, threads);
    return compareClouds(pair.original.cloud, pair.decoded.cloud, threads);
  } catch (const std::bad_alloc&) {
    return unmeasured(
        PairProblem{originalPath, "out of memory comparing it with " + decodedPath, false});
  }
}

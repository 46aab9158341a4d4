#include "cloud_comparison.h"

#include "duplicate_merging.h"
#include "nearest_neighbour_search.h"
#include "normal_estimation.h"
#include "normal_transfer.h"

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

// The metric sums of one direction, from the query cloud to the reference cloud and its tree,
// with each reference point's normal. The errors are kept by position and summed in storage
// order, so the sums do not depend on the thread count.
DirectionSums measureDirection(const ColorCloud& query, const ColorCloud& reference,
                               const SearchTree& referenceTree, const Normals& referenceNormals,
                               bool colorsCompared, unsigned threads) {
  DirectionSums sums;
  // In a cloud with points every search finds one; in an empty one none does.
  if (reference.empty())
    return sums;
  std::vector<MetricPointError> errors(query.size());
  visitNearbyNeighbours(referenceTree, query, threads,
                        [&](std::size_t i, const pcl::Indices& nearby, const std::vector<float>&) {
                          errors[i] =
                              metricPointError(query[i], reference, referenceNormals, nearby);
                        });
  for (const MetricPointError& error : errors)
    addPointError(sums, error, colorsCompared);
  return sums;
}

// The original's normals for D2: the file's, each scaled to unit length, or else PCL's
// estimate from its kNormalNeighbours nearest points.
Normals originalNormals(const ColorCloud& original, const Normals& fileNormals, unsigned threads) {
  if (fileNormals.empty())
    return estimateNormals(original, threads);
  Normals normals = fileNormals;
  for (Eigen::Vector3f& normal : normals)
    if (normal.allFinite() && normal.squaredNorm() > 0.0f)
      normal.normalize();
  return normals;
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
  // The report keeps PCL's nearest neighbour of every point; the metrics follow pc_error.
  CloudComparison comparison = compareClouds(original, decoded, threads);
  const bool colorsCompared = originalAttributes.hasColor && decodedAttributes.hasColor;
  PairMetrics metrics;
  metrics.originalPoints = original.size();
  metrics.decodedPoints = decoded.size();
  metrics.boundingBoxPeak = boundingBoxPeak(original);
  MergedCloud mergedOriginal = mergeDuplicates(
      original, original.empty() || decoded.empty()
                    ? Normals()
                    : originalNormals(original, originalAttributes.normals, threads));
  const MergedCloud mergedDecoded = mergeDuplicates(decoded, Normals());
  metrics.originalUniquePoints = mergedOriginal.cloud.size();
  metrics.decodedUniquePoints = mergedDecoded.cloud.size();
  if (!original.empty() && !decoded.empty()) {
    const SearchTree originalTree = buildSearchTree(mergedOriginal.cloud);
    const SearchTree decodedTree = buildSearchTree(mergedDecoded.cloud);
    const Normals decodedNormals =
        carryNormals(mergedOriginal.cloud, originalTree, mergedOriginal.normals,
                     mergedDecoded.cloud, decodedTree, threads);
    metrics.originalToDecoded =
        measureDirection(mergedOriginal.cloud, mergedDecoded.cloud, decodedTree, decodedNormals,
                         colorsCompared, threads);
    metrics.decodedToOriginal =
        measureDirection(mergedDecoded.cloud, mergedOriginal.cloud, originalTree,
                         mergedOriginal.normals, colorsCompared, threads);
  }
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

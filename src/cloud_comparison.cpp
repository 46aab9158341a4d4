#include "cloud_comparison.h"

#include "duplicate_merging.h"
#include "nearest_neighbour_search.h"
#include "normal_estimation.h"
#include "normal_transfer.h"

#include <cmath>
#include <new>
#include <utility>

namespace {

Rgb rgbOf(const ColorPoint& point) {
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

// The report's statistics, summed in storage order whatever the order of the searches.
CloudComparison
summarizePointErrors(const std::vector<PointError, BulkAllocator<PointError>>& errors) {
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

CloudComparison compareClouds(const PointList& query, PointList reference, unsigned threads) {
  const SearchTree tree = buildSearchTree(reference, threads);
  // The tree holds the reference's coordinates now; only its colours are kept beside it.
  std::vector<Rgb, BulkAllocator<Rgb>> referenceColors(reference.size());
  for (std::size_t i = 0; i < reference.size(); ++i)
    referenceColors[i] = rgbOf(reference[i]);
  PointList().swap(reference);
  // Each point's errors are kept by position, computed right after its search while the
  // neighbour is in cache.
  std::vector<PointError, BulkAllocator<PointError>> errors(query.size());
  visitNearestNeighbours(
      tree, query, threads,
      [&](const std::uint32_t* positions, const Neighbour* neighbours, std::size_t count) {
        for (std::size_t i = 0; i < count; ++i) {
          const Neighbour& neighbour = neighbours[i];
          PointError& error = errors[positions[i]];
          if (neighbour.index == kNoNeighbour) {
            error = PointError{kNoNeighbour, 0.0f};
          } else {
            error.distance = std::sqrt(neighbour.squaredDistance);
            error.color = colorError(rgbOf(query[positions[i]]),
                                     referenceColors[static_cast<std::size_t>(neighbour.index)]);
          }
        }
      });
  return summarizePointErrors(errors);
}

CloudComparison compareCloudsWithMetrics(const ColorCloud& original,
                                         const CloudAttributes& originalAttributes,
                                         const ColorCloud& decoded,
                                         const CloudAttributes& decodedAttributes,
                                         unsigned threads) {
  // The report keeps PCL's nearest neighbour of every point; the metrics follow pc_error.
  CloudComparison comparison = compareClouds(toPointList(original), toPointList(decoded), threads);
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
  try {
    if (withMetrics) {
      const LoadedPair pair = loadPair(originalPath, decodedPath, threads, NormalReading::Read);
      if (pair.problem)
        return unmeasured(*pair.problem);
      return compareCloudsWithMetrics(pair.original.cloud, pair.original.attributes,
                                      pair.decoded.cloud, pair.decoded.attributes, threads);
    }
    LoadedPointPair pair = loadPointPair(originalPath, decodedPath, threads);
    if (pair.problem)
      return unmeasured(*pair.problem);
    return compareClouds(pair.original.points, std::move(pair.decoded.points), threads);
  } catch (const std::bad_alloc&) {
    return unmeasured(
        PairProblem{originalPath, "out of memory comparing it with " + decodedPath, false});
  }
}

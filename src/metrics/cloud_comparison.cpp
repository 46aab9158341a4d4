#include "metrics/cloud_comparison.h"

#include "common/parallel_chunks.h"
#include "metrics/duplicate_merging.h"
#include "metrics/intrinsic_resolution.h"
#include "metrics/normal_estimation.h"
#include "metrics/normal_transfer.h"
#include "search/nearest_neighbour_search.h"

#include <atomic>
#include <cmath>
#include <limits>
#include <mutex>
#include <new>
#include <optional>
#include <sstream>
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

constexpr std::size_t kMeasuredTogether = std::size_t{1} << 16;

// The metric sums of one direction, from the query cloud to the reference cloud, given the
// reference points near each query point, with each reference point's normal. The errors are
// kept by position and summed in storage order, so the sums do not depend on the thread count.
// The reflectance of both clouds, when it is compared.
struct ReflectancePair {
  const Reflectance* query = nullptr;
  const Reflectance* reference = nullptr;
};

DirectionSums measureDirection(const PointList& query, const PointList& reference,
                               const NearbyLists& nearby, const Normals& referenceNormals,
                               bool colorsCompared, const MetricOptions& options,
                               const std::uint32_t* duplicates, unsigned threads,
                               PcErrorSearch& ties,
                               const ReflectancePair& reflectance = ReflectancePair()) {
  DirectionSums sums;
  // In a cloud with points every search finds one; in an empty one none does.
  if (reference.empty())
    return sums;
  // A window of points at a time is measured on the threads and then summed in order, so that
  // the errors of the whole cloud are never held at once.
  std::vector<MetricPointError, BulkAllocator<MetricPointError>> errors(
      std::min(query.size(), kMeasuredTogether));
  for (std::size_t start = 0; start < query.size(); start += errors.size()) {
    const std::size_t count = std::min(errors.size(), query.size() - start);
    forEachChunk(count, threads, [&](std::size_t begin, std::size_t end) {
      pcl::Indices matches;
      for (std::size_t i = start + begin; i < start + end; ++i) {
        const auto first = nearby.indices.begin();
        matches.assign(first + static_cast<std::ptrdiff_t>(nearby.first[i]),
                       first + static_cast<std::ptrdiff_t>(nearby.first[i + 1]));
        errors[i - start] =
            metricPointError(query[i], reference, referenceNormals, matches, options, duplicates,
                             &ties, reflectance.query != nullptr);
      }
    });
    for (std::size_t i = 0; i < count; ++i) {
      addPointError(sums, errors[i], colorsCompared);
      if (reflectance.query == nullptr)
        continue;
      // pc_error compares the nearest point's reflectance alone.
      const double difference = static_cast<double>((*reflectance.query)[start + i]) -
                                (*reflectance.reference)[errors[i].nearest];
      ++sums.reflectancePoints;
      sums.squaredReflectanceDifference += difference * difference;
      sums.largestSquaredReflectanceDifference =
          std::max(sums.largestSquaredReflectanceDifference, difference * difference);
    }
  }
  // pc_error's tree for tied neighbours did not fit in memory: the pair cannot be measured.
  if (ties.outOfMemory)
    throw std::bad_alloc();
  return sums;
}

} // namespace

void scaleToUnitLength(Eigen::Vector3f& normal) {
  if (!normal.allFinite() || normal.isZero(0.0f))
    return;
  const float squaredLength = normal.squaredNorm();
  if (squaredLength >= std::numeric_limits<float>::min() && std::isfinite(squaredLength)) {
    normal.normalize();
    return;
  }
  // Its squared length overflows or underflows single precision: scaled in double.
  const Eigen::Vector3d wide = normal.cast<double>();
  normal = (wide / wide.norm()).cast<float>();
}

namespace {

// The merged original's normals for D2: the file's, each scaled to unit length (those of the
// merged points only, which are the same), or else PCL's estimate from its kNormalNeighbours
// nearest points; zero normals, which are no planes, when the file has none and estimate is
// false. Of merged duplicates the first point's normal is kept.
Normals mergedNormals(const LoadedPoints& original, const MergedCloud& merged, bool estimate,
                      unsigned threads) {
  const Normals& given = original.attributes.normals;
  if (given.empty() && !estimate)
    return Normals(merged.firstPositionOf.size(), Eigen::Vector3f::Zero());
  if (given.empty())
    return estimateMergedNormals(original.points, merged, original.sensorOrigin, threads);
  Normals normals(merged.firstPositionOf.size());
  for (std::size_t m = 0; m < normals.size(); ++m) {
    normals[m] = given[merged.firstPositionOf[m]];
    scaleToUnitLength(normals[m]);
  }
  return normals;
}

using Counts = std::vector<std::uint32_t>;

// How many given points each merged point stands for.
Counts duplicatesOf(const MergedCloud& merged) {
  Counts counts(merged.points.size(), 0);
  for (const std::uint32_t index : merged.mergedIndexOf)
    ++counts[index];
  return counts;
}

// The reference's colours, kept beside its tree, which holds the coordinates.
std::vector<Rgb, BulkAllocator<Rgb>> colorsOf(const PointList& points) {
  std::vector<Rgb, BulkAllocator<Rgb>> colors(points.size());
  for (std::size_t i = 0; i < points.size(); ++i)
    colors[i] = rgbOf(points[i]);
  return colors;
}

using PointErrors = std::vector<PointError, BulkAllocator<PointError>>;

// A nearest neighbour that is not the query point's position but whose squared distance
// falls below the smallest normal float: the search squares in single precision, so it ranks
// such neighbours by rounded or vanished distances and would report 0 for points apart.
struct TooCloseToMeasure {
  std::atomic<bool> found{false};
  std::mutex mutex;
  std::uint32_t position = 0; // the first such query point found
};

// Whether a neighbour at this squared distance lies too close to square. A distance of 0 is
// either the query point's own position or two points whose tiny coordinates differ by less than
// about 2.6e-23; reference is given whenever the clouds hold coordinates that small.
bool squaresBelowPrecision(const float* query, const PointList* reference, std::size_t index,
                           float squaredDistance) {
  if (squaredDistance >= std::numeric_limits<float>::min())
    return false;
  if (squaredDistance > 0.0f || reference == nullptr)
    return squaredDistance > 0.0f;
  const float* neighbour = (*reference)[index].position;
  return query[0] != neighbour[0] || query[1] != neighbour[1] || query[2] != neighbour[2];
}

// The merged points of the tree's cloud from a colours-only merge, their coordinates read from
// the tree, as the cloud may be gone. The tree's nodes go first: only its searches read them;
// the colours go last, as nothing reads them after.
void takeMergedPointsBack(MergedCloud& merged, SearchTree& tree, MergedColors& colors) {
  decltype(tree.nodes)().swap(tree.nodes);
  merged.points.resize(colors.size());
  for (std::size_t slot = 0; slot < tree.size(); ++slot) {
    const auto position = static_cast<std::uint32_t>(tree.order[slot]);
    const std::uint32_t m = merged.mergedIndexOf[position];
    if (merged.firstPositionOf[m] != position)
      continue;
    const float* coordinates = &tree.ordered[slot * kDimensions];
    merged.points[m] = ColorPoint{
        {coordinates[0], coordinates[1], coordinates[2]}, colors[m].r, colors[m].g, colors[m].b};
  }
  MergedColors().swap(colors);
}

// Two floats that differ by so little that the square vanishes are both below 2^-50 in
// magnitude, one of them not zero.
bool hasTinyCoordinate(const PointList& points) {
  constexpr float kTiny = 8.8817842e-16f; // 2^-50
  for (const ColorPoint& point : points)
    for (float coordinate : point.position)
      if (coordinate != 0.0f && std::abs(coordinate) < kTiny)
        return true;
  return false;
}

// The errors of a run of query points from their nearest neighbours, kept by position; each
// is worked out right after its search, while the neighbour is in cache.
void recordErrors(PointErrors& errors, const PointList& query, const PointList* reference,
                  const std::vector<Rgb, BulkAllocator<Rgb>>& referenceColors,
                  TooCloseToMeasure& tooClose, const std::uint32_t* positions,
                  const Neighbour* neighbours, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    const Neighbour& neighbour = neighbours[i];
    PointError& error = errors[positions[i]];
    if (neighbour.index == kNoNeighbour) {
      error = PointError{kNoNeighbour, 0.0f};
    } else {
      const auto index = static_cast<std::size_t>(neighbour.index);
      error.distance = std::sqrt(neighbour.squaredDistance);
      error.color = colorError(rgbOf(query[positions[i]]), referenceColors[index]);
      if (squaresBelowPrecision(query[positions[i]].position, reference, index,
                                neighbour.squaredDistance) &&
          !tooClose.found.exchange(true)) {
        std::lock_guard<std::mutex> lock(tooClose.mutex);
        tooClose.position = positions[i];
      }
    }
  }
}

// The report's sums once its search is done. What only the search read goes first, the
// reference's colours and each point's errors, so that the merged reference's points, when
// asked for, are taken back from the tree into their room.
CloudComparison finishReport(PointErrors& errors,
                             std::vector<Rgb, BulkAllocator<Rgb>>& referenceColors,
                             SearchTree& tree, MergedCloud* mergedReference,
                             MergedColors* mergedReferenceColors) {
  std::vector<Rgb, BulkAllocator<Rgb>>().swap(referenceColors);
  CloudComparison comparison = summarizePointErrors(errors);
  PointErrors().swap(errors);
  if (mergedReference != nullptr)
    takeMergedPointsBack(*mergedReference, tree, *mergedReferenceColors);
  return comparison;
}

// The problem of a comparison whose search met points too close together to square.
CloudComparison refusedAsTooClose(const PointList& query, const TooCloseToMeasure& tooClose) {
  const float* point = query[tooClose.position].position;
  std::ostringstream reason;
  reason << "point " << tooClose.position << " (" << point[0] << " " << point[1] << " " << point[2]
         << ") and its nearest neighbour lie too close together to measure: their squared "
            "distance underflows single precision";
  return unmeasured(PairProblem{"", reason.str(), false});
}

// compareClouds, with the reference given back (when the caller can spare it) once the tree
// holds its coordinates; and with the merged reference's points taken back from the tree after
// the search, when they are asked for.
CloudComparison compareWith(const PointList& query, const PointList& reference,
                            PointList* spareReference, unsigned threads,
                            MergedCloud* mergedReference = nullptr,
                            MergedColors* mergedReferenceColors = nullptr) {
  SearchTree tree = buildSearchTree(reference, threads);
  auto referenceColors = colorsOf(reference);
  const bool tiny = hasTinyCoordinate(query) || hasTinyCoordinate(reference);
  if (spareReference != nullptr && !tiny)
    PointList().swap(*spareReference);
  PointErrors errors(query.size());
  TooCloseToMeasure tooClose;
  visitNearestNeighbours(
      tree, query, threads,
      [&](const std::uint32_t* positions, const Neighbour* neighbours, std::size_t count) {
        recordErrors(errors, query, tiny ? &reference : nullptr, referenceColors, tooClose,
                     positions, neighbours, count);
      });
  if (tooClose.found)
    return refusedAsTooClose(query, tooClose);
  return finishReport(errors, referenceColors, tree, mergedReference, mergedReferenceColors);
}

// compareClouds of the original against the decoded cloud, whose search also finds the merged
// decoded points near each merged original point: their lists go to nearby (started here, by
// merged index); the merged original points whose lists it could not be sure of go to unsure.
// The merged decoded points are taken back from the tree after the search.
CloudComparison compareFindingNearby(const PointList& original, const MergedCloud& mergedOriginal,
                                     PointList& decoded, MergedCloud& mergedDecoded,
                                     MergedColors& mergedDecodedColors, unsigned threads,
                                     std::optional<NearbyListsBuilder>& nearby,
                                     std::vector<std::uint32_t>& unsure) {
  SearchTree tree = buildSearchTree(decoded, threads);
  auto decodedColors = colorsOf(decoded);
  // The tree holds the coordinates: the points are let go, unless they are needed to tell
  // points too close to square apart; only then is room taken for the lists.
  const bool tiny = hasTinyCoordinate(original) || hasTinyCoordinate(decoded);
  if (!tiny)
    PointList().swap(decoded);
  nearby.emplace(mergedOriginal.firstPositionOf.size());
  PointErrors errors(original.size());
  TooCloseToMeasure tooClose;
  std::mutex unsureMutex;
  visitNearestAndNearby(tree, mergedDecoded.mergedIndexOf.data(), original, threads,
                        [&](const std::uint32_t* positions, const Neighbour* neighbours,
                            const NearbyRun& run, std::size_t count) {
                          recordErrors(errors, original, tiny ? &decoded : nullptr, decodedColors,
                                       tooClose, positions, neighbours, count);
                          for (std::size_t i = 0; i < count; ++i) {
                            // A merged point takes the list of its first point.
                            const std::uint32_t merged = mergedOriginal.mergedIndexOf[positions[i]];
                            if (mergedOriginal.firstPositionOf[merged] != positions[i])
                              continue;
                            if (run.sure[i]) {
                              nearby->add(merged, run.indices + run.starts[i],
                                          run.starts[i + 1] - run.starts[i]);
                            } else {
                              std::lock_guard<std::mutex> lock(unsureMutex);
                              unsure.push_back(merged);
                            }
                          }
                        });
  if (tooClose.found)
    return refusedAsTooClose(original, tooClose);
  return finishReport(errors, decodedColors, tree, &mergedDecoded, &mergedDecodedColors);
}

} // namespace

CloudComparison compareClouds(const PointList& query, PointList reference, unsigned threads) {
  return compareWith(query, reference, &reference, threads);
}

CloudComparison compareCloudsWithMetrics(LoadedPoints original, LoadedPoints decoded,
                                         unsigned threads, const MetricsSettings& settings) {
  const bool colorsCompared = original.attributes.hasColor && decoded.attributes.hasColor;
  const bool bothHavePoints = !original.points.empty() && !decoded.points.empty();
  PairMetrics metrics;
  metrics.originalPoints = original.points.size();
  metrics.decodedPoints = decoded.points.size();
  metrics.boundingBoxPeak = boundingBoxPeak(original.points);
  metrics.planes = settings.estimateNormals || !original.attributes.normals.empty();
  const DuplicateColors duplicateColors = settings.options.keepDuplicates ? DuplicateColors::Kept
                                          : settings.options.averageDuplicates
                                              ? DuplicateColors::Average
                                              : DuplicateColors::First;
  const auto enter = [&settings](const char* stage, int number) {
    if (settings.stage)
      settings.stage(stage, number, 4);
  };
  enter("merging", 2);
  // The merged points are colours alone until the searches that read the clouds as given are
  // done: their coordinates are those of each run's first given point (3 bytes a point rather
  // than 16 meanwhile).
  MergedColors mergedOriginalColors, mergedDecodedColors;
  MergedCloud mergedOriginal =
      mergeDuplicates(original.points, Normals(), duplicateColors, &mergedOriginalColors);
  if (settings.nearestNeighbourPeak) {
    takeMergedPointsBack(mergedOriginal, original.points, mergedOriginalColors);
    if (const auto range = nearestNeighbourDistances(mergedOriginal.points, threads)) {
      metrics.smallestNearestNeighbourDistance = range->smallest;
      metrics.largestNearestNeighbourDistance = range->largest;
    }
    PointList().swap(mergedOriginal.points);
  }
  metrics.originalUniquePoints = mergedOriginal.firstPositionOf.size();
  MergedCloud mergedDecoded =
      mergeDuplicates(decoded.points, Normals(), duplicateColors, &mergedDecodedColors);
  metrics.decodedUniquePoints = mergedDecoded.firstPositionOf.size();
  if (!bothHavePoints) {
    CloudComparison comparison = compareWith(original.points, decoded.points, nullptr, threads);
    comparison.metrics = metrics;
    return comparison;
  }
  // The report keeps PCL's nearest neighbour of every point; the metrics follow pc_error. The
  // report's search also finds the decoded points near each original point, which serve both
  // the normals carried over and the first direction; the few it cannot be sure of are searched
  // again over the merged decoded cloud.
  enter("searching", 3);
  // pc_error's own trees, for the order of tied neighbours (built only if a tie comes), or for
  // every list where duplicates are kept apart and every position ties.
  PcErrorSearch decodedTies(mergedDecoded.points), originalTies(mergedOriginal.points);
  CloudComparison comparison;
  NearbyLists originalToDecoded, decodedToOriginal;
  // Reflectance is compared when asked for and both clouds have it, merged as the colours are.
  const bool reflectanceCompared = settings.options.reflectance &&
                                   !original.attributes.reflectance.empty() &&
                                   !decoded.attributes.reflectance.empty();
  // pc_error counts the duplicates it averages (--dropdups=2) alone: with 1 every weight is 1.
  const bool weighted = settings.options.tiedColors == TiedColors::WeightedAverage &&
                        settings.options.averageDuplicates;
  // The maps between a cloud and its merged points serve the searches, the normals and, when
  // they are compared or weighed, the reflectance and the duplicate counts; else they go once
  // the searches and normals that read them are done.
  const auto letMapsGo = [&](MergedCloud& merged) {
    if (reflectanceCompared || weighted)
      return;
    decltype(merged.mergedIndexOf)().swap(merged.mergedIndexOf);
    decltype(merged.firstPositionOf)().swap(merged.firstPositionOf);
  };
  // The original's normals come once the report's search is done, so that they and their tree
  // are never held beside the decoded cloud's; then the merged original's points are taken
  // back, the original as read goes, and so do the maps that served the searches and the
  // normals.
  const auto takeNormalsAndLetGo = [&] {
    letMapsGo(mergedDecoded);
    mergedOriginal.normals =
        mergedNormals(original, mergedOriginal, settings.estimateNormals, threads);
    takeMergedPointsBack(mergedOriginal, original.points, mergedOriginalColors);
    MergedColors().swap(mergedOriginalColors);
    PointList().swap(original.points);
    Normals().swap(original.attributes.normals);
    letMapsGo(mergedOriginal);
  };
  if (settings.options.keepDuplicates) {
    comparison = compareWith(original.points, decoded.points, &decoded.points, threads,
                             &mergedDecoded, &mergedDecodedColors);
    if (comparison.problem)
      return comparison;
    takeNormalsAndLetGo();
    originalToDecoded = pcErrorNearbyLists(decodedTies, mergedOriginal.points, threads);
    decodedToOriginal = pcErrorNearbyLists(originalTies, mergedDecoded.points, threads);
  } else {
    std::optional<NearbyListsBuilder> nearby;
    std::vector<std::uint32_t> unsure;
    comparison = compareFindingNearby(original.points, mergedOriginal, decoded.points,
                                      mergedDecoded, mergedDecodedColors, threads, nearby, unsure);
    if (comparison.problem)
      return comparison;
    if (!unsure.empty()) {
      // A merged point is searched at its first given point, which has its coordinates.
      std::vector<std::uint32_t> firstPositions(unsure.size());
      for (std::size_t i = 0; i < unsure.size(); ++i)
        firstPositions[i] = mergedOriginal.firstPositionOf[unsure[i]];
      const SearchTree decodedTree = buildSearchTree(mergedDecoded.points, threads);
      addNearbyNeighbours(decodedTree, original.points, firstPositions, unsure, threads, *nearby);
    }
    originalToDecoded = nearby->finish();
    nearby.reset();
    takeNormalsAndLetGo();
    decodedToOriginal = findNearbyNeighbours(mergedOriginal.points, mergedDecoded.points, threads);
  }
  enter("measuring", 4);
  const Normals decodedNormals = transferNormals(
      mergedOriginal.points, mergedOriginal.normals, mergedDecoded.points, originalToDecoded,
      decodedToOriginal, settings.options.averageNormals, &decodedTies, &originalTies);
  if (decodedTies.outOfMemory || originalTies.outOfMemory)
    throw std::bad_alloc();
  Reflectance originalReflectance, decodedReflectance;
  ReflectancePair abReflectance, baReflectance;
  if (reflectanceCompared) {
    originalReflectance =
        mergeReflectance(mergedOriginal, original.attributes.reflectance, duplicateColors);
    decodedReflectance =
        mergeReflectance(mergedDecoded, decoded.attributes.reflectance, duplicateColors);
    abReflectance = {&originalReflectance, &decodedReflectance};
    baReflectance = {&decodedReflectance, &originalReflectance};
  }
  const auto originalDuplicates = weighted ? duplicatesOf(mergedOriginal) : Counts();
  const auto decodedDuplicates = weighted ? duplicatesOf(mergedDecoded) : Counts();
  metrics.originalToDecoded = measureDirection(
      mergedOriginal.points, mergedDecoded.points, originalToDecoded, decodedNormals,
      colorsCompared, settings.options, weighted ? decodedDuplicates.data() : nullptr, threads,
      decodedTies, abReflectance);
  metrics.decodedToOriginal = measureDirection(
      mergedDecoded.points, mergedOriginal.points, decodedToOriginal, mergedOriginal.normals,
      colorsCompared, settings.options, weighted ? originalDuplicates.data() : nullptr, threads,
      originalTies, baReflectance);
  comparison.metrics = metrics;
  return comparison;
}

CloudComparison loadAndCompare(const std::string& originalPath, const std::string& decodedPath,
                               unsigned threads, bool withMetrics, const StageReport& stage) {
  try {
    CloudComparison comparison;
    if (stage)
      stage("loading", 1, withMetrics ? 4 : 2);
    if (withMetrics) {
      LoadedPointPair pair = loadPointPair(originalPath, decodedPath, threads, NormalReading::Read,
                                           ReflectanceReading::Read);
      if (pair.problem)
        return unmeasured(*pair.problem);
      // The reflectance is compared where both files have it.
      MetricsSettings settings;
      settings.options.reflectance = true;
      settings.stage = stage;
      comparison = compareCloudsWithMetrics(std::move(pair.original), std::move(pair.decoded),
                                            threads, settings);
    } else {
      LoadedPointPair pair = loadPointPair(originalPath, decodedPath, threads);
      if (pair.problem)
        return unmeasured(*pair.problem);
      if (stage)
        stage("searching", 2, 2);
      comparison = compareClouds(pair.original.points, std::move(pair.decoded.points), threads);
    }
    // A comparison's own problem names the pair by its original.
    if (comparison.problem && comparison.problem->path.empty())
      comparison.problem->path = originalPath;
    return comparison;
  } catch (const std::bad_alloc&) {
    return unmeasured(
        PairProblem{originalPath, "out of memory comparing it with " + decodedPath, false});
  }
}

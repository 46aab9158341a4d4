#pragma once

// search: nearest-neighbour searches that find exactly what PCL's FLANN kd-tree finds.

#include "common/color_cloud.h"
#include "common/point_list.h"
#include "search/neighbour.h"
#include "search/search_tree.h"

#include <pcl/types.h>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <vector>

// The queries of a SearchTree. Each hands its results to a visitor, once for each query point
// (or for each run of them), in an order of its own and from up to `threads` threads at once. The
// searches follow FLANN's traversal over the tree, so that each neighbour, ties included, is the
// one that pcl::search::KdTree<pcl::PointXYZRGBA> with sorted results returns. Coordinates must be
// finite and small enough that squared distances do not overflow (see
// kLargestMeasurableCoordinate in cloud_loading.h).

// Receives the neighbours of a run of query points searched one after another: neighbours[i]
// is that of the query point at storage position positions[i]. One call a run keeps the
// per-point work free of indirect calls.
using NearestNeighbourRunVisitor = std::function<void(
    const std::uint32_t* positions, const Neighbour* neighbours, std::size_t count)>;

// The nearest point of the tree's cloud to every query point; PCL's k = 1 search. In an empty
// cloud every query point gets kNoNeighbour.
void visitNearestNeighbours(const SearchTree& reference, const PointList& query, unsigned threads,
                            const NearestNeighbourRunVisitor& visit);

// Receives the positions and squared distances of the neighbours of the point at a storage
// position, nearest first.
using KNeighboursVisitor = std::function<void(std::size_t position, const pcl::Indices& neighbours,
                                              const std::vector<float>& squaredDistances)>;

// The points of a cloud near each query point, kept for several passes over them: those of the
// query point at position p are indices[first[p]] .. indices[first[p + 1] - 1], nearest first.
// The starts take 32 bits, as the positions do: lists of more than 2^32 points in all, 16 GB
// of indices, are refused as out of memory.
struct NearbyLists {
  std::vector<std::uint32_t, BulkAllocator<std::uint32_t>> first;
  std::vector<std::int32_t, BulkAllocator<std::int32_t>> indices;
};

// NearbyLists put together from lists handed in by query position, in any order and from
// several threads at once, each position at most once (a position never handed in gets an
// empty list). Most lists hold one point and are kept by position, the others aside until
// finish() knows where each list starts.
class NearbyListsBuilder {
public:
  explicit NearbyListsBuilder(std::size_t count);
  void add(std::size_t position, const std::int32_t* nearby, std::size_t length);
  NearbyLists finish();

private:
  NearbyLists lists_;
  std::vector<std::int32_t, BulkAllocator<std::int32_t>> single_;
  std::mutex mutex_;
  // Blocks rather than one growing buffer: a dense cloud hands in tens of millions of longer
  // lists' points, and a doubling buffer would hold up to twice them, three times while it grows.
  std::deque<std::uint32_t> longerPositions_;
  std::deque<std::int32_t> longerIndices_;
};

// Every point of the reference cloud within a narrow window beyond each query point's nearest,
// nearest first (NearbyResult): all the points that pc_error can match the query point with.
// The same on any number of threads. The reference's tree is built here, after the queries'
// order is sorted and let go before the lists are put together, so that no two of these
// passes hold their memory at once.
NearbyLists findNearbyNeighbours(const PointList& reference, const PointList& query,
                                 unsigned threads);

// The lists of findNearbyNeighbours for the query points at the given positions only, that of
// positions[i] added to lists as list listIndices[i].
void addNearbyNeighbours(const SearchTree& reference, const PointList& query,
                         const std::vector<std::uint32_t>& positions,
                         const std::vector<std::uint32_t>& listIndices, unsigned threads,
                         NearbyListsBuilder& lists);

// The merged points near each query point of a run: those of the i-th are
// indices[starts[i]] .. indices[starts[i + 1] - 1], nearest first; sure[i] is false when they
// may not be those of findNearbyNeighbours over the merged cloud (see NearestAndNearbyResult).
struct NearbyRun {
  const std::uint32_t* starts;
  const std::int32_t* indices;
  const bool* sure;
};

// Receives a run of query points searched one after another, as NearestNeighbourRunVisitor does,
// with the merged points near each.
using NearestAndNearbyVisitor =
    std::function<void(const std::uint32_t* positions, const Neighbour* neighbours,
                       const NearbyRun& nearby, std::size_t count)>;

// visitNearestNeighbours over a tree whose cloud has duplicate points, in the same search
// finding each query point's merged points (mergedIndexOf, by position in the tree's cloud)
// within NearbyResult's window. The tree's cloud must have points.
void visitNearestAndNearby(const SearchTree& reference, const std::uint32_t* mergedIndexOf,
                           const PointList& query, unsigned threads,
                           const NearestAndNearbyVisitor& visit);

void visitNearestNeighboursOfOwnPoints(const SearchTree& cloud, std::size_t k, unsigned threads,
                                       const std::vector<bool>* selected,
                                       const KNeighboursVisitor& visit);

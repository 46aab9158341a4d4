#pragma once

// search: pc_error's own k-d tree (nanoflann's, leaves of 10 points) over a merged cloud, for
// the order in which it gives points at equal distance. Where neighbours tie, pc_error's
// "nearest" is the first its search found, and its lists stop at 10, 15, ... 30 points in that
// order; our own tree finds the same points and distances but orders ties as PCL's FLANN does.

#include "common/point_list.h"
#include "search/nearest_neighbour_search.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>

namespace detail {
struct PcErrorTree;
}

// The tree over points, built on first use (most clouds have no ties), once, whichever thread
// asks first; points must outlive it.
struct PcErrorSearch {
  explicit PcErrorSearch(const PointList& points);
  ~PcErrorSearch();
  const PointList& points;
  std::once_flag built;
  std::unique_ptr<detail::PcErrorTree> tree;
  // The tree could not be built for want of memory: the caller, on its own thread, says so.
  std::atomic<bool> outOfMemory{false};
};

// The k nearest points of query as pc_error's search gives them: their indices and squared
// distances (single-precision differences squared in double), nearest first, ties in its
// order. Returns how many were found: k, or every point of a smaller cloud; none when the tree
// could not be built (outOfMemory is then set), which never throws, so that worker threads
// may call it.
std::size_t pcErrorNearest(PcErrorSearch& search, const float* query, std::size_t k,
                           std::uint32_t* indices, double* squaredDistances);

// pc_error's list of every query point in the tree's cloud: its 10 nearest, and 5 more while the
// last is as near as the first, up to 30, in its order; on up to `threads` threads. Empty lists
// when the tree could not be built (search.outOfMemory is then set).
NearbyLists pcErrorNearbyLists(PcErrorSearch& search, const PointList& query, unsigned threads);

#pragma once

#include "search/neighbour.h"
#include "search/search_tree.h"

#include <pcl/types.h>

#include <array>
#include <cstddef>
#include <limits>
#include <vector>

// Result sets collect what a search finds and bound where it looks. The one search loop
// (nearest_neighbour_search.cpp) is written against this interface, as nanoflann's is:
//
//   void clear()
//       Forgets every point, before the next query.
//   float searchRadius() const
//       The squared distance that bounds the search: a subtree whose lower bound exceeds it is
//       not entered.
//   bool addPoint(const SearchTree& tree, std::int32_t slot, float distance)
//       Offers the point at a slot in tree order. Returns whether a further point at the same
//       distance could still be kept, so that a walk over points at one position can stop.
//   void addOnePosition(const SearchTree& tree, const TreeNode& node, const float* query,
//                       float distance)
//       Offers every point below a node whose points share one position, all at distance.

// Keeps, in order, the first count entries of distances and ids whose distance is at most
// radius; returns how many: the points a narrower window leaves out go.
template <typename Id, std::size_t kSize>
std::size_t keepWithin(float radius, std::array<float, kSize>& distances,
                       std::array<Id, kSize>& ids, std::size_t count) {
  std::size_t kept = 0;
  for (std::size_t i = 0; i < count; ++i)
    if (distances[i] <= radius) {
      distances[kept] = distances[i];
      ids[kept++] = ids[i];
    }
  return kept;
}

// The child FLANN searches first.
inline bool searchesFirstChild(const TreeNode& node, const float* query) {
  const float value = query[node.divfeat];
  return (value - node.divlow) + (value - node.divhigh) < 0;
}

// FLANN's one-neighbour result set: a point replaces the best only when it is strictly
// nearer, so among equidistant points the first one visited stays.
struct NearestResult {
  Neighbour best{kNoNeighbour, std::numeric_limits<float>::max()};

  void clear() { best = Neighbour{kNoNeighbour, std::numeric_limits<float>::max()}; }
  float searchRadius() const { return best.squaredDistance; }
  bool addPoint(const SearchTree& tree, std::int32_t slot, float distance) {
    if (distance < best.squaredDistance)
      best = {tree.order[static_cast<std::size_t>(slot)], distance};
    return false;
  }
  // Every point below the node is as far as the first; FLANN would keep the first one visited.
  void addOnePosition(const SearchTree& tree, const TreeNode& node, const float* query,
                      float distance);
};

// FLANN's KNNSimpleResultSet: the k nearest sorted by distance, a new point going after those
// as near as it.
struct NearestKResult {
  explicit NearestKResult(std::size_t k) : capacity(k), distances(k), slots(k) {}
  std::size_t capacity;
  std::size_t count = 0;
  // The distance a point must beat, kept at hand since every node asks for it.
  float worstDistance = std::numeric_limits<float>::max();
  std::vector<float> distances;    // nearest first
  std::vector<std::int32_t> slots; // in tree order
  // The points found as positions in the tree's cloud, and their distances, for a visitor;
  // filled by handOver, kept to be reused by the next query of the same thread.
  pcl::Indices handedPositions;
  std::vector<float> handedDistances;

  void handOver(const SearchTree& tree) {
    handedPositions.resize(count);
    handedDistances.assign(distances.begin(), distances.begin() + count);
    for (std::size_t i = 0; i < count; ++i)
      handedPositions[i] = tree.order[static_cast<std::size_t>(slots[i])];
  }

  void clear() {
    count = 0;
    worstDistance = std::numeric_limits<float>::max();
  }
  float searchRadius() const { return worstDistance; }
  bool addPoint(const SearchTree&, std::int32_t slot, float distance) {
    if (distance >= worstDistance)
      return false;
    if (count < capacity)
      ++count;
    std::size_t i = count - 1;
    for (; i > 0 && distances[i - 1] > distance; --i) {
      distances[i] = distances[i - 1];
      slots[i] = slots[i - 1];
    }
    distances[i] = distance;
    slots[i] = slot;
    if (count == capacity)
      worstDistance = distances[capacity - 1];
    return true;
  }
  // FLANN walks the node's leaves always taking the same side first, since every cut there is
  // at the one position; once a point is refused, so is every later one at the same distance.
  void addOnePosition(const SearchTree& tree, const TreeNode& node, const float* query,
                      float distance);
};

// Every point within a window beyond the nearest, nearest first: pc_error's matches of a point
// all lie there. The window is kWindow, the 29 steps of 1e-8 that pc_error's chain of similar
// distances can take within its 30 neighbours and more, plus kRelativeSlack of the nearest
// distance, which covers the rounding of single-precision squared distances. At most
// kMostNearby points are kept, the nearest ones.
struct NearbyResult {
  static constexpr float kWindow = 4e-7f;
  static constexpr float kRelativeSlack = 1e-6f;
  static constexpr std::size_t kMostNearby = 64;

  float nearest = std::numeric_limits<float>::max();
  // The window's far end, kept at hand since every node asks for it.
  float radius = std::numeric_limits<float>::max();
  std::size_t count = 0;
  std::array<float, kMostNearby> distances;
  std::array<std::int32_t, kMostNearby> slots;
  pcl::Indices handedPositions;
  std::vector<float> handedDistances;

  void clear() {
    nearest = radius = std::numeric_limits<float>::max();
    count = 0;
  }
  float searchRadius() const { return radius; }
  bool addPoint(const SearchTree&, std::int32_t slot, float distance) {
    if (distance > radius)
      return false;
    if (distance < nearest) {
      nearest = distance;
      radius = nearest + kWindow + nearest * kRelativeSlack;
      count = keepWithin(radius, distances, slots, count);
    }
    if (count == kMostNearby) {
      // Full: the point replaces the farthest kept, when it is nearer.
      std::size_t farthest = 0;
      for (std::size_t i = 1; i < count; ++i)
        if (distances[i] > distances[farthest])
          farthest = i;
      if (distance >= distances[farthest])
        return false;
      distances[farthest] = distance;
      slots[farthest] = slot;
      return true;
    }
    distances[count] = distance;
    slots[count++] = slot;
    return true;
  }
  void addOnePosition(const SearchTree& tree, const TreeNode& node, const float* query,
                      float distance);
  // Sorts the points kept, nearest first, into the hand-over buffers.
  void handOver(const SearchTree& tree);
};

// NearestResult and NearbyResult in one search over a cloud with duplicate points: FLANN's
// nearest point, and every merged point (mergeDuplicates) within NearbyResult's window, each
// once. Entering the subtrees that the window needs as well never changes the nearest: a point
// replaces it only when strictly nearer, and the points at the nearest distance are met in the
// same order. The window's points, ordered by distance, are those NearbyResult finds over the
// merged cloud, unless two of them are equally far (the merged cloud's tree orders those) or
// more than kMostNearby are found; handOver says so.
struct NearestAndNearbyResult {
  static constexpr std::size_t kMostNearby = NearbyResult::kMostNearby;

  explicit NearestAndNearbyResult(const std::uint32_t* mergedIndexOf)
      : mergedIndexOf(mergedIndexOf) {}

  const std::uint32_t* mergedIndexOf; // by position in the tree's cloud
  Neighbour best{kNoNeighbour, std::numeric_limits<float>::max()};
  float radius = std::numeric_limits<float>::max();
  std::size_t count = 0;
  bool overflowed = false;
  std::array<float, kMostNearby> distances;
  std::array<std::uint32_t, kMostNearby> merged;
  // The merged points, nearest first, filled by handOver.
  pcl::Indices handedPositions;

  void clear() {
    best = Neighbour{kNoNeighbour, std::numeric_limits<float>::max()};
    radius = std::numeric_limits<float>::max();
    count = 0;
    overflowed = false;
  }
  float searchRadius() const { return radius; }
  bool addPoint(const SearchTree& tree, std::int32_t slot, float distance) {
    if (distance > radius)
      return false;
    const std::int32_t position = tree.order[static_cast<std::size_t>(slot)];
    if (distance < best.squaredDistance) {
      best = {position, distance};
      narrow();
    }
    addMerged(mergedIndexOf[position], distance);
    return true;
  }
  void addOnePosition(const SearchTree& tree, const TreeNode& node, const float* query,
                      float distance);
  // Sorts the merged points, nearest first, into handedPositions; false when their order or
  // their set may differ from NearbyResult's over the merged cloud.
  bool handOver();

private:
  // The window narrows around a new nearest distance, as NearbyResult's does.
  void narrow() {
    radius = best.squaredDistance + NearbyResult::kWindow +
             best.squaredDistance * NearbyResult::kRelativeSlack;
    count = keepWithin(radius, distances, merged, count);
  }
  void addMerged(std::uint32_t index, float distance) {
    for (std::size_t i = 0; i < count; ++i)
      if (merged[i] == index)
        return;
    if (count == kMostNearby) {
      overflowed = true;
      return;
    }
    distances[count] = distance;
    merged[count++] = index;
  }
};

#include "search/detail/result_sets.h"

#include <algorithm>

namespace {

// The first point FLANN visits below a node whose points share one position: the one reached
// by descending to the nearer child all the way down.
std::int32_t firstVisited(const SearchTree& tree, const TreeNode& node, const float* query) {
  const TreeNode* first = &node;
  while (first->child1 >= 0)
    first = &tree.nodes[static_cast<std::size_t>(
        searchesFirstChild(*first, query) ? first->child1 : first->child2)];
  return first->left;
}

// Offers the points below node to result, leaf by leaf, the first or the second child first
// at every level; false once result keeps no further point at that distance.
template <typename Result>
bool walkLeaves(Result& result, const SearchTree& tree, const TreeNode& node, bool firstChildFirst,
                float distance) {
  if (node.child1 < 0) {
    for (std::int32_t slot = node.left; slot < node.right; ++slot)
      if (!result.addPoint(tree, slot, distance))
        return false;
    return true;
  }
  const auto child = [&](std::int32_t index) -> const TreeNode& {
    return tree.nodes[static_cast<std::size_t>(index)];
  };
  const TreeNode& first = child(firstChildFirst ? node.child1 : node.child2);
  const TreeNode& second = child(firstChildFirst ? node.child2 : node.child1);
  return walkLeaves(result, tree, first, firstChildFirst, distance) &&
         walkLeaves(result, tree, second, firstChildFirst, distance);
}

// Sorts count points, the i-th at distances[i] and at positionOf(i), by distance into sorted
// distances and positions. An insertion sort: points at one distance stay in the order found,
// and nothing is allocated for the one or two points most queries find.
template <typename PositionOf>
void sortByDistance(const float* distances, std::size_t count, float* sortedDistances,
                    std::int32_t* sortedPositions, const PositionOf& positionOf) {
  for (std::size_t i = 0; i < count; ++i) {
    std::size_t place = i;
    for (; place > 0 && sortedDistances[place - 1] > distances[i]; --place) {
      sortedDistances[place] = sortedDistances[place - 1];
      sortedPositions[place] = sortedPositions[place - 1];
    }
    sortedDistances[place] = distances[i];
    sortedPositions[place] = positionOf(i);
  }
}

} // namespace

void NearestResult::addOnePosition(const SearchTree& tree, const TreeNode& node, const float* query,
                                   float distance) {
  if (distance < best.squaredDistance)
    best = {tree.order[static_cast<std::size_t>(firstVisited(tree, node, query))], distance};
}

void NearestKResult::addOnePosition(const SearchTree& tree, const TreeNode& node,
                                    const float* query, float distance) {
  const bool firstChildFirst = node.child1 < 0 || searchesFirstChild(node, query);
  walkLeaves(*this, tree, node, firstChildFirst, distance);
}

void NearbyResult::addOnePosition(const SearchTree& tree, const TreeNode& node, const float* query,
                                  float distance) {
  const bool firstChildFirst = node.child1 < 0 || searchesFirstChild(node, query);
  walkLeaves(*this, tree, node, firstChildFirst, distance);
}

void NearbyResult::handOver(const SearchTree& tree) {
  handedPositions.resize(count);
  handedDistances.resize(count);
  sortByDistance(distances.data(), count, handedDistances.data(), handedPositions.data(),
                 [&](std::size_t i) { return tree.order[static_cast<std::size_t>(slots[i])]; });
}

void NearestAndNearbyResult::addOnePosition(const SearchTree& tree, const TreeNode& node,
                                            const float* query, float distance) {
  if (distance > radius)
    return;
  if (distance < best.squaredDistance) {
    best = {tree.order[static_cast<std::size_t>(firstVisited(tree, node, query))], distance};
    narrow();
  }
  // Every point below the node is one merged point.
  addMerged(mergedIndexOf[tree.order[static_cast<std::size_t>(node.left)]], distance);
}

bool NearestAndNearbyResult::handOver() {
  std::array<float, kMostNearby> sorted;
  handedPositions.resize(count);
  sortByDistance(distances.data(), count, sorted.data(), handedPositions.data(),
                 [&](std::size_t i) { return static_cast<std::int32_t>(merged[i]); });
  bool distinct = true;
  for (std::size_t i = 1; i < count; ++i)
    if (sorted[i] == sorted[i - 1])
      distinct = false;
  return distinct && !overflowed;
}
